// Atom records on the GPU and their instanced sphere-impostor draw.
#include "render/atoms_layer.h"

#include <algorithm>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include <glad/gl.h>
#include <glm/gtc/type_ptr.hpp>

#include "core/elements.h"
#include "render/shaders/atom.h"
#include "render/shaders/cover.h"
#include "render/shaders/light.h"

namespace {

constexpr GLint kAtomsUnit = 1;  // texture units of the atom records and the list drawn
constexpr GLint kListUnit = 4;
constexpr GLint kOriginsUnit = 6;
constexpr GLsizei kBatch = 64;  // atoms per instance, as in the shader

// Element indices come from the symbol look-up; one that does not fit the
// table is drawn as the dummy element rather than read past it.
float DrawnElement(unsigned e)
{
    return static_cast<float>(e < species_count ? e : DUMMY_ATOM_INDEX);
}

std::vector<glm::vec4> Records(const std::vector<glm::vec3>& positions, const std::vector<unsigned>& elements,
                               unsigned first, unsigned count)
{
    std::vector<glm::vec4> v(count);
    for (unsigned i = 0; i < count; ++i)
        v[i] = glm::vec4(positions[first + i], DrawnElement(elements[first + i]));
    return v;
}

unsigned DrawableAtoms(const std::vector<glm::vec3>& positions, const std::vector<unsigned>& elements)
{
    return static_cast<unsigned>(std::min(positions.size(), elements.size()));
}

// Splices shader texts: `piece` goes before the first function of `text`.
std::string BeforeFirstFunction(const std::string& text, const char* piece)
{
    const size_t at = text.find("\nvec3 ");
    return text.substr(0, at + 1) + piece + text.substr(at + 1);
}

}  // namespace

CAtomsLayer::CAtomsLayer()
{
    MakePrograms(false);

    // the shaders read everything from the buffer textures: no vertex attributes
    glGenVertexArrays(1, &VAOA);
    glGenBuffers(1, &VBOA);
    glGenTextures(1, &TBOA);
    picked.Create();
    boxed.Create();
    origins.Create();
}

void CAtomsLayer::UseProjection(bool perspective)
{
    if (perspective == is_perspective_built || AtomShader.Program == 0)
        return;
    for (CShader* s : {&AtomShader, &PickShader}) {
        glDeleteProgram(s->Program);
        s->Program = 0;
    }
    MakePrograms(perspective);
}

void CAtomsLayer::MakePrograms(bool perspective)
{
    is_perspective_built = perspective;
    const std::string hit = BeforeFirstFunction(atom_hit_glsl, light_glsl);
    const std::string vs = ForProjection(BeforeMain(atom_vs, cover_glsl), perspective);
    AtomShader.SetShader(vs.c_str(), ForProjection(hit + atom_frag_main, perspective).c_str());
    PickShader.SetShader(vs.c_str(),
                         ForProjection(std::string(atom_hit_glsl) + atom_pick_frag_main, perspective).c_str());
    // element colours and radii never change: set once per program
    static_assert(species_count == 126, "the shaders' Elements arrays hold every species");
    std::vector<glm::vec4> elements(atom_rgbs, atom_rgbs + species_count);
    for (const CShader* s : {&AtomShader, &PickShader}) {
        s->Use();
        glUniform4fv(glGetUniformLocation(s->Program, "Elements"), species_count, glm::value_ptr(elements[0]));
        glUniform1i(glGetUniformLocation(s->Program, "Pick"), s == &PickShader);
        glUniform1i(glGetUniformLocation(s->Program, "Atoms"), kAtomsUnit);
        glUniform1i(glGetUniformLocation(s->Program, "List"), kListUnit);
        glUniform1i(glGetUniformLocation(s->Program, "Origins"), kOriginsUnit);
    }
    glUseProgram(0);
}

void CAtomsLayer::Delete()
{
    glDeleteVertexArrays(1, &VAOA);
    glDeleteBuffers(1, &VBOA);
    glDeleteTextures(1, &TBOA);
    VAOA = VBOA = TBOA = 0;
    shown.Delete();
    boxed.Delete();
    picked.Delete();
    origins.Delete();
    for (CShader* s : {&AtomShader, &PickShader}) {
        if (s->Program != 0)
            glDeleteProgram(s->Program);
        s->Program = 0;
    }
    u_atoms = u_capacity = 0;
    v_records.clear();
}

void CAtomsLayer::Store(std::vector<glm::vec4> records, unsigned drawn)
{
    // OpenGL 3.3 promises buffer textures of only 65536 texels; common
    // drivers give far more, but one that does not cannot show every atom.
    GLint most = 0;
    glGetIntegerv(GL_MAX_TEXTURE_BUFFER_SIZE, &most);
    const unsigned n = static_cast<unsigned>(records.size());
    if (most > 0 && n > static_cast<unsigned>(most))
        std::cout << "WARNING: this OpenGL driver draws at most " << most << " atoms" << std::endl;
    FillRecordBuffer(VBOA, TBOA, GL_RGBA32F, records.data(), n, sizeof(glm::vec4), u_capacity);
    v_records = std::move(records);
    u_atoms = std::min(drawn, n);
    is_copies = false;
    ++u_version;
}

void CAtomsLayer::Upload(const std::vector<glm::vec3>& positions, const std::vector<unsigned>& elements)
{
    const unsigned n = DrawableAtoms(positions, elements);
    Store(Records(positions, elements, 0, n), n);
}

void CAtomsLayer::UploadCopies(const std::vector<glm::vec4>& records, unsigned drawn,
                               const std::vector<unsigned>& atom_of)
{
    Store(records, drawn);
    origins.Fill(atom_of);
    u_atoms = std::min(u_atoms, static_cast<unsigned>(atom_of.size()));
    is_copies = true;
}

void CAtomsLayer::UploadFrom(const std::vector<glm::vec3>& positions, const std::vector<unsigned>& elements,
                             unsigned first, unsigned count)
{
    const unsigned n = DrawableAtoms(positions, elements);
    if (n > u_capacity || first > n || v_records.size() < first) {
        Upload(positions, elements);
        return;
    }
    count = std::min(count, n - first);
    v_records.resize(n);
    if (count > 0) {
        const std::vector<glm::vec4> v = Records(positions, elements, first, count);
        std::copy(v.begin(), v.end(), v_records.begin() + first);
        glBindBuffer(GL_ARRAY_BUFFER, VBOA);
        glBufferSubData(GL_ARRAY_BUFFER, static_cast<GLintptr>(first * sizeof(glm::vec4)),
                        static_cast<GLsizeiptr>(count * sizeof(glm::vec4)), v.data());
        glBindBuffer(GL_ARRAY_BUFFER, 0);
    }
    u_atoms = n;
    is_copies = false;
    ++u_version;
}

void CAtomsLayer::Draw(const glm::mat4& P, const glm::mat4& V, const glm::mat4& Model, float scale,
                       const int selected[4]) const
{
    AtomShader.Use();
    SetViewLight(AtomShader.Program, V);
    for (unsigned n = 0; n < shown.u_parts; ++n)
        DrawWith(AtomShader, P, V, Model, scale, selected, shown.v_parts[n]);
    if (boxed.u_count > 0)
        DrawWith(AtomShader, P, V, Model, scale, selected, boxed, true, m_boxed_frame);
}

void CAtomsLayer::Keep(const std::vector<unsigned>& list, const std::vector<unsigned>& boxed_list)
{
    shown.Add(list.data(), list.size(), true);
    boxed.Fill(boxed_list);
}

void CAtomsLayer::DrawBoxed(const glm::mat4& P, const glm::mat4& V, const glm::mat4& Model, float scale,
                            const int selected[4], const std::vector<unsigned>& list, glm::ivec2 frame)
{
    boxed.Fill(list);
    m_boxed_frame = frame;
    if (boxed.u_count == 0)
        return;
    AtomShader.Use();
    SetViewLight(AtomShader.Program, V);
    DrawWith(AtomShader, P, V, Model, scale, selected, boxed, true, frame);
}

void CAtomsLayer::DrawNewPart(const glm::mat4& P, const glm::mat4& V, const glm::mat4& Model, float scale,
                              const int selected[4], const unsigned* list, size_t count, bool first)
{
    const CRecordList& part = shown.Add(list, count, first);
    AtomShader.Use();
    SetViewLight(AtomShader.Program, V);
    DrawWith(AtomShader, P, V, Model, scale, selected, part);
}

void CAtomsLayer::DrawPick(const glm::mat4& P, const glm::mat4& V, const glm::mat4& Model, float scale,
                           const glm::vec2& at, float slack)
{
    const glm::mat4 mv = V * Model;
    v_pick_list.clear();
    for (unsigned i = 0; i < u_atoms; ++i) {
        const glm::vec4& a = v_records[i];
        const float dx = mv[0][0] * a.x + mv[1][0] * a.y + mv[2][0] * a.z + mv[3][0] - at.x;
        const float dy = mv[0][1] * a.x + mv[1][1] * a.y + mv[2][1] * a.z + mv[3][1] - at.y;
        const float r = atom_rgbs[std::clamp(int(a.w), 0, int(species_count) - 1)].w * scale + slack;
        // under a perspective the rays fan out: every atom goes to the GPU
        if (dx * dx + dy * dy <= r * r || P[2][3] != 0.0f)
            v_pick_list.push_back(i);
    }
    picked.Fill(v_pick_list);
    const int none[4] = {-1, -1, -1, -1};
    DrawWith(PickShader, P, V, Model, scale, none, picked);
}

void CAtomsLayer::DrawWith(const CShader& shader, const glm::mat4& P, const glm::mat4& V, const glm::mat4& Model,
                           float scale, const int selected[4], const CRecordList& list, bool is_boxed,
                           glm::ivec2 frame) const
{
    shader.Use();
    const GLuint p = shader.Program;
    const glm::mat4 mv = V * Model;
    glUniformMatrix4fv(glGetUniformLocation(p, "P"), 1, GL_FALSE, glm::value_ptr(P));
    glUniformMatrix4fv(glGetUniformLocation(p, "MV"), 1, GL_FALSE, glm::value_ptr(mv));
    glUniform1f(glGetUniformLocation(p, "S"), scale);
    glUniform1iv(glGetUniformLocation(p, "Selected"), 4, selected);
    // a boxed list holds three numbers an atom
    const unsigned count = is_boxed ? list.u_count / 3 : list.u_count;
    glUniform1i(glGetUniformLocation(p, "Count"), static_cast<GLint>(count));
    glUniform1i(glGetUniformLocation(p, "Boxed"), is_boxed);
    glUniform2f(glGetUniformLocation(p, "Frame"), static_cast<float>(frame.x), static_cast<float>(frame.y));
    glUniform1i(glGetUniformLocation(p, "Copies"), is_copies);
    if (count == 0)
        return;
    glActiveTexture(GL_TEXTURE0 + kOriginsUnit);
    glBindTexture(GL_TEXTURE_BUFFER, is_copies ? origins.TBO : 0);
    glActiveTexture(GL_TEXTURE0 + kAtomsUnit);
    glBindTexture(GL_TEXTURE_BUFFER, TBOA);
    glActiveTexture(GL_TEXTURE0 + kListUnit);
    glBindTexture(GL_TEXTURE_BUFFER, list.TBO);
    glBindVertexArray(VAOA);
    glDrawArraysInstanced(GL_TRIANGLES, 0, (is_boxed ? 6 : 3) * kBatch,
                          static_cast<GLsizei>((count + kBatch - 1) / kBatch));
    glBindVertexArray(0);
    glBindTexture(GL_TEXTURE_BUFFER, 0);
    glActiveTexture(GL_TEXTURE0 + kAtomsUnit);
    glBindTexture(GL_TEXTURE_BUFFER, 0);
    glActiveTexture(GL_TEXTURE0 + kOriginsUnit);
    glBindTexture(GL_TEXTURE_BUFFER, 0);
    glActiveTexture(GL_TEXTURE0);
}
