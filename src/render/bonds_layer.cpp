// Bond records on the GPU and their instanced cylinder-impostor draw.
#include "render/bonds_layer.h"

#include <algorithm>
#include <string>
#include <vector>

#include <glad/gl.h>
#include <glm/gtc/type_ptr.hpp>

#include "core/elements.h"
#include "render/shaders/bond.h"
#include "render/shaders/cover.h"
#include "render/shaders/light.h"

namespace {

const glm::vec3 kBondColor(0.9f, 0.9f, 0.9f);
constexpr GLint kAtomsUnit = 1;  // texture units of the atom and bond records, and the list drawn
constexpr GLint kBondsUnit = 2;
constexpr GLint kListUnit = 5;

}  // namespace

CBondsLayer::CBondsLayer()
{
    MakeProgram(false);
    glGenVertexArrays(1, &VAOB);
    EBOB = MakeQuadBatchIndices(VAOB);
    glGenBuffers(1, &VBOB);
    glGenTextures(1, &TBOB);
}

void CBondsLayer::UseProjection(bool perspective)
{
    if (perspective == is_perspective_built || BondShader.Program == 0)
        return;
    glDeleteProgram(BondShader.Program);
    BondShader.Program = 0;
    MakeProgram(perspective);
}

void CBondsLayer::MakeProgram(bool perspective)
{
    is_perspective_built = perspective;
    // the light model goes after the declarations, before main
    BondShader.SetShader(ForProjection(BeforeMain(bond_vs, cover_glsl), perspective).c_str(),
                         ForProjection(BeforeMain(bond_frag_main, light_glsl), perspective).c_str());
    BondShader.Use();
    glUniform1i(glGetUniformLocation(BondShader.Program, "Atoms"), kAtomsUnit);
    glUniform1i(glGetUniformLocation(BondShader.Program, "Bonds"), kBondsUnit);
    glUniform1i(glGetUniformLocation(BondShader.Program, "List"), kListUnit);
    glUniform1f(glGetUniformLocation(BondShader.Program, "R"), BOND_RADIUS);
    glUniform3fv(glGetUniformLocation(BondShader.Program, "C"), 1, glm::value_ptr(kBondColor));
    const std::vector<glm::vec4> elements(atom_rgbs, atom_rgbs + species_count);
    glUniform4fv(glGetUniformLocation(BondShader.Program, "Elements"), species_count, glm::value_ptr(elements[0]));
    glUseProgram(0);
}

void CBondsLayer::Delete()
{
    glDeleteVertexArrays(1, &VAOB);
    glDeleteBuffers(1, &EBOB);
    glDeleteBuffers(1, &VBOB);
    glDeleteTextures(1, &TBOB);
    VAOB = EBOB = VBOB = TBOB = 0;
    shown.Delete();
    v_pairs.clear();
    if (BondShader.Program != 0)
        glDeleteProgram(BondShader.Program);
    BondShader.Program = 0;
    u_bonds = u_capacity = 0;
}

void CBondsLayer::Upload(const std::vector<glm::uvec2>& pairs, std::size_t count, std::size_t atoms)
{
    const size_t n = std::min(count, pairs.size());
    std::vector<glm::uvec2> v;
    v.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        const glm::uvec2 b = pairs[i];
        if (b.x < atoms && b.y < atoms)
            v.push_back(b);
    }
    UploadPairs(v, static_cast<unsigned>(n));
}

void CBondsLayer::UploadPairs(const std::vector<glm::uvec2>& v, unsigned source)
{
    const unsigned count = static_cast<unsigned>(v.size());
    FillRecordBuffer(VBOB, TBOB, GL_RG32UI, v.data(), count, sizeof(glm::uvec2), u_capacity);
    v_pairs = v;
    u_bonds = count;
    u_source = source;
    ++u_version;
}

void CBondsLayer::Draw(const glm::mat4& P, const glm::mat4& V, const glm::mat4& Model, float scale, unsigned drawn,
                       unsigned int atoms) const
{
    for (unsigned n = 0; n < shown.u_parts; ++n)
        DrawWith(P, V, Model, scale, drawn, atoms, shown.v_parts[n]);
}

void CBondsLayer::DrawNewPart(const glm::mat4& P, const glm::mat4& V, const glm::mat4& Model, float scale,
                              unsigned drawn, unsigned int atoms, const unsigned* list, size_t count, bool first)
{
    DrawWith(P, V, Model, scale, drawn, atoms, shown.Add(list, count, first));
}

void CBondsLayer::DrawWith(const glm::mat4& P, const glm::mat4& V, const glm::mat4& Model, float scale, unsigned drawn,
                           unsigned int atoms, const CRecordList& list) const
{
    if (list.u_count == 0)
        return;
    BondShader.Use();
    const GLuint p = BondShader.Program;
    const glm::mat4 mv = V * Model;
    glUniformMatrix4fv(glGetUniformLocation(p, "P"), 1, GL_FALSE, glm::value_ptr(P));
    glUniformMatrix4fv(glGetUniformLocation(p, "MV"), 1, GL_FALSE, glm::value_ptr(mv));
    SetViewLight(p, V);
    glUniform1f(glGetUniformLocation(p, "S"), scale);
    glUniform1i(glGetUniformLocation(p, "Drawn"), static_cast<GLint>(drawn));
    glUniform1i(glGetUniformLocation(p, "Count"), static_cast<GLint>(list.u_count));
    glActiveTexture(GL_TEXTURE0 + kAtomsUnit);
    glBindTexture(GL_TEXTURE_BUFFER, atoms);
    glActiveTexture(GL_TEXTURE0 + kBondsUnit);
    glBindTexture(GL_TEXTURE_BUFFER, TBOB);
    glActiveTexture(GL_TEXTURE0 + kListUnit);
    glBindTexture(GL_TEXTURE_BUFFER, list.TBO);
    glBindVertexArray(VAOB);
    DrawQuadBatches(list.u_count);
    glBindVertexArray(0);
    glBindTexture(GL_TEXTURE_BUFFER, 0);
    glActiveTexture(GL_TEXTURE0 + kBondsUnit);
    glBindTexture(GL_TEXTURE_BUFFER, 0);
    glActiveTexture(GL_TEXTURE0 + kAtomsUnit);
    glBindTexture(GL_TEXTURE_BUFFER, 0);
    glActiveTexture(GL_TEXTURE0);
}
