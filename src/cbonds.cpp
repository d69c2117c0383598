// Bond records on the GPU and their instanced cylinder-impostor draw.
#include "cbonds.h"

#include <algorithm>
#include <string>
#include <vector>

#include <glad/gl.h>
#include <glm/gtc/type_ptr.hpp>

#include "shaders/bond.h"
#include "shaders/light.h"

namespace {

const float kQuad[8] = {-1.0f, -1.0f, 1.0f, -1.0f, -1.0f, 1.0f, 1.0f, 1.0f};
const glm::vec3 kBondColor(0.9f, 0.9f, 0.9f);
constexpr float kBondRadius = 0.1f;
constexpr GLint kAtomsUnit = 1;

}  // namespace

CBondsLayer::CBondsLayer()
{
    const std::string frag = std::string(bond_frag_main);
    // the light model goes after the declarations, before main
    const size_t at = frag.find("void main()");
    BondShader.SetShader(bond_vs, (frag.substr(0, at) + light_glsl + frag.substr(at)).c_str());
    BondShader.Use();
    glUniform1i(glGetUniformLocation(BondShader.Program, "Atoms"), kAtomsUnit);
    glUniform1f(glGetUniformLocation(BondShader.Program, "R"), kBondRadius);
    glUniform3fv(glGetUniformLocation(BondShader.Program, "C"), 1, glm::value_ptr(kBondColor));
    glUseProgram(0);

    glGenVertexArrays(1, &VAOB);
    glBindVertexArray(VAOB);
    glGenBuffers(1, &VBOQ);
    glBindBuffer(GL_ARRAY_BUFFER, VBOQ);
    glBufferData(GL_ARRAY_BUFFER, sizeof(kQuad), kQuad, GL_STATIC_DRAW);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 2 * sizeof(float), nullptr);
    glEnableVertexAttribArray(0);
    glGenBuffers(1, &VBOB);
    glBindBuffer(GL_ARRAY_BUFFER, VBOB);
    glVertexAttribIPointer(1, 2, GL_UNSIGNED_INT, sizeof(glm::uvec2), nullptr);
    glVertexAttribDivisor(1, 1);
    glEnableVertexAttribArray(1);
    glBindVertexArray(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

void CBondsLayer::Delete()
{
    glDeleteVertexArrays(1, &VAOB);
    const GLuint buffers[2] = {VBOQ, VBOB};
    glDeleteBuffers(2, buffers);
    VAOB = VBOQ = VBOB = 0;
    if (BondShader.Program != 0)
        glDeleteProgram(BondShader.Program);
    BondShader.Program = 0;
    u_bonds = u_capacity = 0;
}

void CBondsLayer::Upload(const CModel& m)
{
    const size_t atoms = std::min(m.v_float_raw_xyz.size(), m.v_atom_index.size());
    const size_t n = std::min<size_t>(m.i_number_of_bonds, m.m_bond_indices.size());
    std::vector<glm::uvec2> v;
    v.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        const glm::uvec2 b = m.m_bond_indices[i];
        if (b.x < atoms && b.y < atoms)
            v.push_back(b);
    }
    const unsigned count = static_cast<unsigned>(v.size());
    glBindBuffer(GL_ARRAY_BUFFER, VBOB);
    if (count > u_capacity) {
        u_capacity = count;
        glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(u_capacity * sizeof(glm::uvec2)), nullptr,
                     GL_STATIC_DRAW);
    }
    if (count > 0)
        glBufferSubData(GL_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(count * sizeof(glm::uvec2)), v.data());
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    u_bonds = count;
    u_source = static_cast<unsigned>(n);
}

void CBondsLayer::Draw(const glm::mat4& P, const glm::mat4& V, const glm::mat4& Model, unsigned int atoms) const
{
    BondShader.Use();
    const GLuint p = BondShader.Program;
    const glm::mat4 mv = V * Model;
    glUniformMatrix4fv(glGetUniformLocation(p, "P"), 1, GL_FALSE, glm::value_ptr(P));
    glUniformMatrix4fv(glGetUniformLocation(p, "V"), 1, GL_FALSE, glm::value_ptr(V));
    glUniformMatrix4fv(glGetUniformLocation(p, "MV"), 1, GL_FALSE, glm::value_ptr(mv));
    glUniform3fv(glGetUniformLocation(p, "Eye"), 1, glm::value_ptr(glm::vec3(glm::inverse(V)[3])));
    if (u_bonds == 0)
        return;
    glActiveTexture(GL_TEXTURE0 + kAtomsUnit);
    glBindTexture(GL_TEXTURE_BUFFER, atoms);
    glBindVertexArray(VAOB);
    glDrawArraysInstanced(GL_TRIANGLE_STRIP, 0, 4, static_cast<GLsizei>(u_bonds));
    glBindVertexArray(0);
    glBindTexture(GL_TEXTURE_BUFFER, 0);
    glActiveTexture(GL_TEXTURE0);
}
