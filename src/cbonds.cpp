// Bond records on the GPU and their instanced cylinder-impostor draw.
#include "cbonds.h"

#include <algorithm>
#include <string>
#include <vector>

#include <glad/gl.h>
#include <glm/gtc/type_ptr.hpp>

#include "cquadbatch.h"
#include "shaders/bond.h"
#include "shaders/light.h"

namespace {

const glm::vec3 kBondColor(0.9f, 0.9f, 0.9f);
constexpr float kBondRadius = 0.1f;
constexpr GLint kAtomsUnit = 1;   // texture units of the atom and bond records
constexpr GLint kBondsUnit = 2;

}  // namespace

CBondsLayer::CBondsLayer()
{
    const std::string frag = std::string(bond_frag_main);
    // the light model goes after the declarations, before main
    const size_t at = frag.find("void main()");
    BondShader.SetShader(bond_vs, (frag.substr(0, at) + light_glsl + frag.substr(at)).c_str());
    BondShader.Use();
    glUniform1i(glGetUniformLocation(BondShader.Program, "Atoms"), kAtomsUnit);
    glUniform1i(glGetUniformLocation(BondShader.Program, "Bonds"), kBondsUnit);
    glUniform1f(glGetUniformLocation(BondShader.Program, "R"), kBondRadius);
    glUniform3fv(glGetUniformLocation(BondShader.Program, "C"), 1, glm::value_ptr(kBondColor));
    glUseProgram(0);

    glGenVertexArrays(1, &VAOB);
    EBOB = MakeQuadBatchIndices(VAOB);
    glGenBuffers(1, &VBOB);
    glGenTextures(1, &TBOB);
}

void CBondsLayer::Delete()
{
    glDeleteVertexArrays(1, &VAOB);
    glDeleteBuffers(1, &EBOB);
    glDeleteBuffers(1, &VBOB);
    glDeleteTextures(1, &TBOB);
    VAOB = EBOB = VBOB = TBOB = 0;
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
    UploadPairs(v, static_cast<unsigned>(n));
}

void CBondsLayer::UploadPairs(const std::vector<glm::uvec2>& v, unsigned source)
{
    const unsigned count = static_cast<unsigned>(v.size());
    FillRecordBuffer(VBOB, TBOB, GL_RG32UI, v.data(), count, sizeof(glm::uvec2), u_capacity);
    u_bonds = count;
    u_source = source;
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
    glUniform1i(glGetUniformLocation(p, "Count"), static_cast<GLint>(u_bonds));
    if (u_bonds == 0)
        return;
    glActiveTexture(GL_TEXTURE0 + kAtomsUnit);
    glBindTexture(GL_TEXTURE_BUFFER, atoms);
    glActiveTexture(GL_TEXTURE0 + kBondsUnit);
    glBindTexture(GL_TEXTURE_BUFFER, TBOB);
    glBindVertexArray(VAOB);
    DrawQuadBatches(u_bonds);
    glBindVertexArray(0);
    glBindTexture(GL_TEXTURE_BUFFER, 0);
    glActiveTexture(GL_TEXTURE0 + kAtomsUnit);
    glBindTexture(GL_TEXTURE_BUFFER, 0);
    glActiveTexture(GL_TEXTURE0);
}
