#include "render/isosurface_layer.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

#include <glad/gl.h>
#include <glm/gtc/type_ptr.hpp>

#include "render/quad_batch.h"
#include "render/shaders/light.h"

namespace {

// The surface is shaded as a unit sphere with the same normal would be, as
// the atoms are; a face seen from behind (a surface cut open by the cell's
// faces) is lit from the front. The light is worked out per vertex: a large
// surface's triangles cover a few pixels each, and llvmpipe shades the
// fragments of every layer it draws, hidden or not.
const char* const iso_vs_head = R"(#version 330 core
layout (location = 0) in vec3 Position;
layout (location = 1) in vec4 Normal;
uniform mat4 P;
uniform mat4 MV;
uniform vec3 Shift;
uniform vec4 Colour;
out vec3 LitV;
)";

const char* const iso_vs_main = R"(
void main()
{
    vec3 n = normalize(mat3(MV) * Normal.xyz);
    if (n.z < 0.0)
        n = -n;
    LitV = Lit(Colour.rgb, n, n);
    gl_Position = P * MV * vec4(Position + Shift, 1.0);
}
)";

const char* const iso_fs = R"(#version 330 core
in vec3 LitV;
uniform vec4 Colour;
out vec4 outColor;
void main()
{
    outColor = vec4(LitV, Colour.a);
}
)";

struct Vertex {
    glm::vec3 position;
    uint32_t normal;
};

// A unit vector as three signed 10-bit fractions.
uint32_t PackNormal(const glm::vec3& n)
{
    uint32_t packed = 0;
    for (int a = 0; a < 3; ++a) {
        const int v = int(std::lround(std::clamp(n[a], -1.0f, 1.0f) * 511.0f));
        packed |= (uint32_t(v) & 0x3ffu) << (10 * a);
    }
    return packed;
}

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
        // interleaved, the normal packed in 10 bits a component: 16 bytes a
        // vertex rather than 24, what llvmpipe's vertex fetch reads
        std::vector<Vertex> vertices;
        try {
            vertices.resize(m.positions.size());
            parts_.reserve(parts_.size() + 1);
        } catch (const std::exception&) {
            break;  // no memory for this mesh: those before it are drawn
        }
        glGenVertexArrays(1, &p.vao);
        glGenBuffers(1, &p.vbo);
        glGenBuffers(1, &p.ebo);
        glBindVertexArray(p.vao);
        glBindBuffer(GL_ARRAY_BUFFER, p.vbo);
        for (std::size_t i = 0; i < vertices.size(); ++i)
            vertices[i] = {m.positions[i], PackNormal(m.normals[i])};
        glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(vertices.size() * sizeof(Vertex)), vertices.data(), GL_STATIC_DRAW);
        glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, sizeof(Vertex), nullptr);
        glVertexAttribPointer(1, 4, GL_INT_2_10_10_10_REV, GL_TRUE, sizeof(Vertex),
                              reinterpret_cast<const void*>(offsetof(Vertex, normal)));
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
        const std::string vs = std::string(iso_vs_head) + light_glsl + iso_vs_main;
        const_cast<CShader&>(shader_).SetShader(vs.c_str(), iso_fs);
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
    // translucent surfaces show what lies behind them: they write no depth;
    // opaque ones need no blending, which costs llvmpipe a read of every pixel
    const bool blending = glIsEnabled(GL_BLEND) == GL_TRUE;
    if (translucent) {
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glDepthMask(GL_FALSE);
    } else if (blending) {
        glDisable(GL_BLEND);
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
    if (blending && !translucent)
        glEnable(GL_BLEND);
}
