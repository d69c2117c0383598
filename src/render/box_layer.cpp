// The cell box: 16 corners as one line strip in flat red.
#include "render/box_layer.h"

#include <glad/gl.h>
#include <glm/gtc/type_ptr.hpp>

#include "render/shaders/box.h"

const glm::vec3 cube_strip2[16] = {
    {-0.5f, -0.5f, -0.5f}, {-0.5f, -0.5f, 0.5f}, {-0.5f, 0.5f, 0.5f},   {0.5f, 0.5f, 0.5f},
    {0.5f, 0.5f, -0.5f},   {-0.5f, 0.5f, -0.5f}, {-0.5f, -0.5f, -0.5f}, {0.5f, -0.5f, -0.5f},
    {0.5f, -0.5f, 0.5f},   {-0.5f, -0.5f, 0.5f}, {-0.5f, 0.5f, 0.5f},   {-0.5f, 0.5f, -0.5f},
    {0.5f, 0.5f, -0.5f},   {0.5f, -0.5f, -0.5f}, {0.5f, -0.5f, 0.5f},   {0.5f, 0.5f, 0.5f},
};

std::vector<glm::vec3> MakeBoxVertices(const glm::dmat3& cell)
{
    std::vector<glm::vec3> v(16);
    for (size_t i = 0; i < 16; ++i)
        v[i] = glm::vec3(cell * glm::dvec3(cube_strip2[i]));
    return v;
}

CBoxLayer::CBoxLayer()
{
    BoxShader.SetShader(box_vs, box_frag);
}

void CBoxLayer::Delete()
{
    glDeleteVertexArrays(1, &VAOC);
    glDeleteBuffers(1, &VBOC);
    VAOC = VBOC = 0;
    if (BoxShader.Program != 0)
        glDeleteProgram(BoxShader.Program);
    BoxShader.Program = 0;
}

void CBoxLayer::BuildCube(const glm::dmat3& cell)
{
    const std::vector<glm::vec3> v = MakeBoxVertices(cell);
    if (VAOC == 0) {
        glGenVertexArrays(1, &VAOC);
        glGenBuffers(1, &VBOC);
    }
    glBindVertexArray(VAOC);
    glBindBuffer(GL_ARRAY_BUFFER, VBOC);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(v.size() * sizeof(glm::vec3)), v.data(), GL_STATIC_DRAW);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, sizeof(glm::vec3), nullptr);
    glEnableVertexAttribArray(0);
    glBindVertexArray(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

void CBoxLayer::Draw(const glm::mat4& mvp) const
{
    if (VAOC == 0)
        return;
    BoxShader.Use();
    glUniformMatrix4fv(glGetUniformLocation(BoxShader.Program, "MVP"), 1, GL_FALSE, glm::value_ptr(mvp));
    glUniform3f(glGetUniformLocation(BoxShader.Program, "C"), 1.0f, 0.0f, 0.0f);
    glBindVertexArray(VAOC);
    glDrawArrays(GL_LINE_STRIP, 0, 16);
    glBindVertexArray(0);
}
