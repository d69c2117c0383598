#include "render/isosurface_layer.h"

#include <string>

#include <glad/gl.h>
#include <glm/gtc/type_ptr.hpp>

#include "cquadbatch.h"
#include "shaders/light.h"

namespace {

const char* const iso_vs = R"(#version 330 core
layout (location = 0) in vec3 Position;
layout (location = 1) in vec3 Normal;
uniform mat4 P;
uniform mat4 MV;
uniform vec3 Shift;
out vec3 NormalV;
void main()
{
    NormalV = mat3(MV) * Normal;
    gl_Position = P * MV * vec4(Position + Shift, 1.0);
}
)";

// The surface is shaded as a unit sphere with the same normal would be, as
// the atoms are; a face seen from behind (a surface cut open by the cell's
// faces) is lit from the front.
const char* const iso_fs_head = R"(#version 330 core
in vec3 NormalV;
uniform vec4 Colour;
out vec4 outColor;
)";

const char* const iso_fs_main = R"(
void main()
{
    vec3 n = normalize(NormalV);
    if (n.z < 0.0)
        n = -n;
    outColor = vec4(Lit(Colour.rgb, n, n), Colour.a);
}
)";

}  // namespace

void CIsoLayer::Delete()
{
    for (Part& p : parts_) {
        glDeleteVertexArrays(1, &p.vao);
        glDeleteBuffers(1, &p.vbo);
        glDeleteBuffers(1, &p.ebo);
    }
    parts_.clear();
    if (shader_.Program != 0)
        glDeleteProgram(shader_.Program);
    shader_.Program = 0;
}

void CIsoLayer::Upload(const std::vector<core::IsoMesh>& meshes)
{
    for (Part& p : parts_) {
        glDeleteVertexArrays(1, &p.vao);
        glDeleteBuffers(1, &p.vbo);
        glDeleteBuffers(1, &p.ebo);
    }
    parts_.clear();
    for (const core::IsoMesh& m : meshes) {
        Part p;
        p.indices = m.indices.size();
        glGenVertexArrays(1, &p.vao);
        glGenBuffers(1, &p.vbo);
        glGenBuffers(1, &p.ebo);
        glBindVertexArray(p.vao);
        glBindBuffer(GL_ARRAY_BUFFER, p.vbo);
        // positions, then normals, in one buffer
        const GLsizeiptr half = GLsizeiptr(m.positions.size() * sizeof(glm::vec3));
        glBufferData(GL_ARRAY_BUFFER, 2 * half, nullptr, GL_STATIC_DRAW);
        glBufferSubData(GL_ARRAY_BUFFER, 0, half, m.positions.data());
        glBufferSubData(GL_ARRAY_BUFFER, half, half, m.normals.data());
        glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, sizeof(glm::vec3), nullptr);
        glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, sizeof(glm::vec3), reinterpret_cast<const void*>(half));
        glEnableVertexAttribArray(0);
        glEnableVertexAttribArray(1);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, p.ebo);
        glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(m.indices.size() * sizeof(uint32_t)), m.indices.data(),
                     GL_STATIC_DRAW);
        glBindVertexArray(0);
        parts_.push_back(p);
    }
    if (!parts_.empty())
        glBindBuffer(GL_ARRAY_BUFFER, 0);
}

std::size_t CIsoLayer::Triangles() const
{
    std::size_t n = 0;
    for (const Part& p : parts_)
        n += p.indices / 3;
    return n;
}

void CIsoLayer::Draw(const glm::mat4& P, const glm::mat4& V, const glm::mat4& M, const std::vector<glm::vec3>& shifts,
                     const glm::vec4 colours[2], bool front_only) const
{
    if (parts_.empty())
        return;
    if (shader_.Program == 0) {
        const std::string fs = std::string(iso_fs_head) + light_glsl + iso_fs_main;
        const_cast<CShader&>(shader_).SetShader(iso_vs, fs.c_str());
    }
    shader_.Use();
    const GLuint program = shader_.Program;
    const glm::mat4 MV = V * M;
    glUniformMatrix4fv(glGetUniformLocation(program, "P"), 1, GL_FALSE, glm::value_ptr(P));
    glUniformMatrix4fv(glGetUniformLocation(program, "MV"), 1, GL_FALSE, glm::value_ptr(MV));
    SetViewLight(program, V);
    const GLint shift = glGetUniformLocation(program, "Shift");
    const GLint colour = glGetUniformLocation(program, "Colour");
    const bool translucent = colours[0].a < 1.0f || colours[1].a < 1.0f;
    // translucent surfaces show what lies behind them: they write no depth
    if (translucent) {
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glDepthMask(GL_FALSE);
    }
    // the meshes wind counter-clockwise seen from outside
    if (front_only) {
        glEnable(GL_CULL_FACE);
        glCullFace(GL_BACK);
        glFrontFace(GL_CCW);
    }
    for (std::size_t k = 0; k < parts_.size(); ++k) {
        const glm::vec4& c = colours[k < 1 ? 0 : 1];
        glUniform4fv(colour, 1, glm::value_ptr(c));
        glBindVertexArray(parts_[k].vao);
        for (const glm::vec3& s : shifts) {
            glUniform3fv(shift, 1, glm::value_ptr(s));
            glDrawElements(GL_TRIANGLES, GLsizei(parts_[k].indices), GL_UNSIGNED_INT, nullptr);
        }
    }
    glBindVertexArray(0);
    if (front_only)
        glDisable(GL_CULL_FACE);
    if (translucent)
        glDepthMask(GL_TRUE);
}
