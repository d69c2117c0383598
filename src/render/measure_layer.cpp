#include "render/measure_layer.h"

#include <glad/gl.h>
#include <glm/gtc/type_ptr.hpp>

#include "render/shaders/box.h"

void CMeasure::Build()
{
    LineShader.SetShader(box_vs, box_frag);
    glGenVertexArrays(1, &VAOL);
    glBindVertexArray(VAOL);
    glGenBuffers(1, &VBOL);
    glBindBuffer(GL_ARRAY_BUFFER, VBOL);
    glBufferData(GL_ARRAY_BUFFER, 4 * sizeof(glm::vec3), nullptr, GL_DYNAMIC_DRAW);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 3 * sizeof(float), nullptr);
    glEnableVertexAttribArray(0);
    glBindVertexArray(0);
}

void CMeasure::Delete()
{
    if (VAOL != 0)
        glDeleteVertexArrays(1, &VAOL);
    if (VBOL != 0)
        glDeleteBuffers(1, &VBOL);
    if (LineShader.Program != 0)
        glDeleteProgram(LineShader.Program);
    VAOL = VBOL = 0;
    LineShader.Program = 0;
}

void CMeasure::Draw(const glm::mat4& mvp, const std::vector<glm::vec3>& positions, const std::vector<unsigned>& atoms)
{
    glm::vec3 points[4];
    GLsizei n = 0;
    for (unsigned a : atoms)
        if (a < positions.size() && n < 4)
            points[n++] = positions[a];
    if (n < 2)
        return;
    if (VAOL == 0)
        Build();

    LineShader.Use();
    glBindVertexArray(VAOL);
    glBindBuffer(GL_ARRAY_BUFFER, VBOL);
    glBufferSubData(GL_ARRAY_BUFFER, 0, GLsizeiptr(n) * GLsizeiptr(sizeof(glm::vec3)), points);
    glUniformMatrix4fv(glGetUniformLocation(LineShader.Program, "MVP"), 1, GL_FALSE, glm::value_ptr(mvp));
    glUniform3fv(glGetUniformLocation(LineShader.Program, "C"), 1, glm::value_ptr(v_color));
    // over atoms and bonds: a line between bonded atoms runs inside the bond
    const GLboolean depth = glIsEnabled(GL_DEPTH_TEST);
    glDisable(GL_DEPTH_TEST);
    glDrawArrays(GL_LINE_STRIP, 0, n);
    if (depth)
        glEnable(GL_DEPTH_TEST);
    glBindVertexArray(0);
}
