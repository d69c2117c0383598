// Atom records on the GPU and their instanced sphere-impostor draw.
#include "catoms.h"

#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

#include <glad/gl.h>
#include <glm/gtc/type_ptr.hpp>

#include "cquadbatch.h"
#include "elements.h"
#include "shaders/atom.h"

namespace {

constexpr GLint kAtomsUnit = 1;   // texture units of the atom records and the light table
constexpr GLint kLightUnit = 3;
constexpr GLint kListUnit = 4;
constexpr int kLightTable = 256;  // texels along each side of the unit disc
constexpr GLsizei kBatch = 64;    // atoms per instance, as in the shader

// Element indices come from the symbol look-up; one that does not fit the
// table is drawn as the dummy element rather than read past it.
float DrawnElement(unsigned e)
{
    return static_cast<float>(e < periodic_table_atoms ? e : DUMMY_ATOM_INDEX);
}

std::vector<glm::vec4> Records(const CModel& m, unsigned first, unsigned count)
{
    std::vector<glm::vec4> v(count);
    for (unsigned i = 0; i < count; ++i)
        v[i] = glm::vec4(m.v_float_raw_xyz[first + i], DrawnElement(m.v_atom_index[first + i]));
    return v;
}

unsigned DrawableAtoms(const CModel& m)
{
    return static_cast<unsigned>(std::min(m.v_float_raw_xyz.size(), m.v_atom_index.size()));
}

}  // namespace

CAtomsLayer::CAtomsLayer()
{
    AtomShader.SetShader(atom_vs, (std::string(atom_hit_glsl) + atom_frag_main).c_str());
    PickShader.SetShader(atom_vs, (std::string(atom_hit_glsl) + atom_pick_frag_main).c_str());
    // element colours and radii never change: set once per program
    std::vector<glm::vec4> elements(atom_rgbs, atom_rgbs + periodic_table_atoms);
    for (const CShader* s : {&AtomShader, &PickShader}) {
        s->Use();
        glUniform4fv(glGetUniformLocation(s->Program, "Elements"), periodic_table_atoms,
                     glm::value_ptr(elements[0]));
        glUniform1i(glGetUniformLocation(s->Program, "Pick"), s == &PickShader);
        glUniform1i(glGetUniformLocation(s->Program, "Atoms"), kAtomsUnit);
        glUniform1i(glGetUniformLocation(s->Program, "Light"), kLightUnit);
        glUniform1i(glGetUniformLocation(s->Program, "List"), kListUnit);
    }
    glUseProgram(0);

    // the shaders read everything from the buffer texture: no vertex attributes
    glGenVertexArrays(1, &VAOA);
    glGenBuffers(1, &VBOA);
    glGenTextures(1, &TBOA);
    glGenTextures(1, &TEXL);
    glGenBuffers(1, &VBOL);
    glGenTextures(1, &TBOL);
}

void CAtomsLayer::BuildLightTable(const glm::mat4& V)
{
    // The same model as the bonds' shader: light at (4, 4, 4), colour 0.6,
    // power 50, ambient 0.2, specular 0.3 with exponent 5, all in world space
    // for the unit-sphere point that faces the viewer along this direction.
    const glm::vec3 light(4.0f), eye = glm::vec3(glm::inverse(V)[3]);
    const glm::mat3 to_world = glm::transpose(glm::mat3(V));
    std::vector<glm::vec2> table(static_cast<size_t>(kLightTable) * kLightTable);
    for (int j = 0; j < kLightTable; ++j)
        for (int i = 0; i < kLightTable; ++i) {
            glm::vec2 o = (glm::vec2(i, j) + 0.5f) / static_cast<float>(kLightTable) * 2.0f - 1.0f;
            // texels past the rim hold the rim's value, for filtering
            if (glm::dot(o, o) > 1.0f)
                o = glm::normalize(o);
            const glm::vec3 n = to_world * glm::vec3(o, std::sqrt(std::max(0.0f, 1.0f - glm::dot(o, o))));
            const glm::vec3 to_light = light - n;
            const float d2 = glm::dot(to_light, to_light);
            const glm::vec3 l = glm::normalize(to_light);
            const float cos_theta = glm::clamp(glm::dot(n, l), 0.0f, 1.0f);
            const float cos_alpha = glm::clamp(glm::dot(glm::normalize(eye - n), glm::reflect(-l, n)), 0.0f, 1.0f);
            table[static_cast<size_t>(j) * kLightTable + i] =
                glm::vec2(0.2f + 0.6f * 50.0f * cos_theta / d2, 0.3f * 0.6f * 50.0f * std::pow(cos_alpha, 5.0f) / d2);
        }
    glBindTexture(GL_TEXTURE_2D, TEXL);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RG16F, kLightTable, kLightTable, 0, GL_RG, GL_FLOAT, table.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glBindTexture(GL_TEXTURE_2D, 0);
    m_light_view = V;
}

void CAtomsLayer::Delete()
{
    glDeleteVertexArrays(1, &VAOA);
    glDeleteBuffers(1, &VBOA);
    glDeleteTextures(1, &TBOA);
    glDeleteTextures(1, &TEXL);
    glDeleteBuffers(1, &VBOL);
    glDeleteTextures(1, &TBOL);
    TEXL = VBOL = TBOL = 0;
    u_list_capacity = 0;
    VAOA = VBOA = TBOA = 0;
    for (CShader* s : {&AtomShader, &PickShader}) {
        if (s->Program != 0)
            glDeleteProgram(s->Program);
        s->Program = 0;
    }
    u_atoms = u_capacity = 0;
}

void CAtomsLayer::Upload(const CModel& m)
{
    const unsigned n = DrawableAtoms(m);
    // OpenGL 3.3 promises buffer textures of only 65536 texels; common
    // drivers give far more, but one that does not cannot show every atom.
    GLint most = 0;
    glGetIntegerv(GL_MAX_TEXTURE_BUFFER_SIZE, &most);
    if (most > 0 && n > static_cast<unsigned>(most))
        std::cout << "WARNING: this OpenGL driver draws at most " << most << " atoms" << std::endl;
    const std::vector<glm::vec4> v = Records(m, 0, n);
    v_copy_records.clear();
    FillRecordBuffer(VBOA, TBOA, GL_RGBA32F, v.data(), n, sizeof(glm::vec4), u_capacity);
    u_atoms = n;
}

void CAtomsLayer::UploadCopies(const std::vector<glm::vec4>& records, unsigned drawn)
{
    const unsigned n = static_cast<unsigned>(records.size());
    FillRecordBuffer(VBOA, TBOA, GL_RGBA32F, records.data(), n, sizeof(glm::vec4), u_capacity);
    v_copy_records = records;
    u_atoms = std::min(drawn, n);
}

void CAtomsLayer::UploadFrom(const CModel& m, unsigned first, unsigned count)
{
    const unsigned n = DrawableAtoms(m);
    if (n > u_capacity || first > n) {
        Upload(m);
        return;
    }
    count = std::min(count, n - first);
    if (count > 0) {
        const std::vector<glm::vec4> v = Records(m, first, count);
        glBindBuffer(GL_ARRAY_BUFFER, VBOA);
        glBufferSubData(GL_ARRAY_BUFFER, static_cast<GLintptr>(first * sizeof(glm::vec4)),
                        static_cast<GLsizeiptr>(count * sizeof(glm::vec4)), v.data());
        glBindBuffer(GL_ARRAY_BUFFER, 0);
    }
    u_atoms = n;
}

void CAtomsLayer::Draw(const glm::mat4& P, const glm::mat4& V, const glm::mat4& Model, float scale,
                       const int selected[4])
{
    if (V != m_light_view)
        BuildLightTable(V);
    glActiveTexture(GL_TEXTURE0 + kLightUnit);
    glBindTexture(GL_TEXTURE_2D, TEXL);
    glActiveTexture(GL_TEXTURE0);
    DrawWith(AtomShader, P, V, Model, scale, selected, u_atoms);
    glActiveTexture(GL_TEXTURE0 + kLightUnit);
    glBindTexture(GL_TEXTURE_2D, 0);
    glActiveTexture(GL_TEXTURE0);
}

void CAtomsLayer::DrawPick(const CModel& m, const glm::mat4& P, const glm::mat4& V, const glm::mat4& Model,
                           float scale, const glm::vec2& at, float slack)
{
    const glm::mat4 mv = V * Model;
    const bool copies = !v_copy_records.empty();
    const unsigned n = copies ? std::min<unsigned>(u_atoms, unsigned(v_copy_records.size())) : std::min(u_atoms, DrawableAtoms(m));
    v_pick_list.clear();
    for (unsigned i = 0; i < n; ++i) {
        const glm::vec3 p = copies ? glm::vec3(v_copy_records[i]) : m.v_float_raw_xyz[i];
        const float dx = mv[0][0] * p.x + mv[1][0] * p.y + mv[2][0] * p.z + mv[3][0] - at.x;
        const float dy = mv[0][1] * p.x + mv[1][1] * p.y + mv[2][1] * p.z + mv[3][1] - at.y;
        const unsigned e = copies ? unsigned(v_copy_records[i].w) : m.v_atom_index[i];
        const float r = atom_rgbs[e < periodic_table_atoms ? e : DUMMY_ATOM_INDEX].w * scale + slack;
        if (dx * dx + dy * dy <= r * r)
            v_pick_list.push_back(i);
    }
    const unsigned count = static_cast<unsigned>(v_pick_list.size());
    glBindBuffer(GL_ARRAY_BUFFER, VBOL);
    if (count > u_list_capacity || u_list_capacity == 0) {
        u_list_capacity = std::max(count, 1u);
        glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(u_list_capacity * sizeof(unsigned)), nullptr,
                     GL_STREAM_DRAW);
        glBindTexture(GL_TEXTURE_BUFFER, TBOL);
        glTexBuffer(GL_TEXTURE_BUFFER, GL_R32UI, VBOL);
        glBindTexture(GL_TEXTURE_BUFFER, 0);
    }
    if (count > 0)
        glBufferSubData(GL_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(count * sizeof(unsigned)), v_pick_list.data());
    glBindBuffer(GL_ARRAY_BUFFER, 0);

    const int none[4] = {-1, -1, -1, -1};
    glActiveTexture(GL_TEXTURE0 + kListUnit);
    glBindTexture(GL_TEXTURE_BUFFER, TBOL);
    glActiveTexture(GL_TEXTURE0);
    DrawWith(PickShader, P, V, Model, scale, none, count);
    glActiveTexture(GL_TEXTURE0 + kListUnit);
    glBindTexture(GL_TEXTURE_BUFFER, 0);
    glActiveTexture(GL_TEXTURE0);
}

void CAtomsLayer::DrawWith(const CShader& shader, const glm::mat4& P, const glm::mat4& V, const glm::mat4& Model,
                           float scale, const int selected[4], unsigned count) const
{
    shader.Use();
    const GLuint p = shader.Program;
    const glm::mat4 mv = V * Model;
    glUniformMatrix4fv(glGetUniformLocation(p, "P"), 1, GL_FALSE, glm::value_ptr(P));
    glUniformMatrix4fv(glGetUniformLocation(p, "V"), 1, GL_FALSE, glm::value_ptr(V));
    glUniformMatrix4fv(glGetUniformLocation(p, "MV"), 1, GL_FALSE, glm::value_ptr(mv));
    glUniform1f(glGetUniformLocation(p, "S"), scale);
    glUniform1iv(glGetUniformLocation(p, "Selected"), 4, selected);
    glUniform1i(glGetUniformLocation(p, "Count"), static_cast<GLint>(count));
    if (count == 0)
        return;
    glActiveTexture(GL_TEXTURE0 + kAtomsUnit);
    glBindTexture(GL_TEXTURE_BUFFER, TBOA);
    glBindVertexArray(VAOA);
    glDrawArraysInstanced(GL_TRIANGLES, 0, 3 * kBatch, static_cast<GLsizei>((count + kBatch - 1) / kBatch));
    glBindVertexArray(0);
    glBindTexture(GL_TEXTURE_BUFFER, 0);
    glActiveTexture(GL_TEXTURE0);
}
