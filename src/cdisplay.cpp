// The display controller: generated shapes and their buffers, the scene
// passes (atoms, bonds, cell box, labels), colour-ID picking, the glyph table
// and the operations that change the model on the user's request.
#include "cdisplay.h"

#include <algorithm>
#include <cmath>
#include <iostream>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <glad/gl.h>
#include <glm/gtc/constants.hpp>
#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/type_ptr.hpp>

#include "elements.h"
#include "shaders/atom.h"
#include "shaders/bond.h"
#include "shaders/font.h"
#include "shaders/pick.h"

namespace {

constexpr float kIcoR = 0.894427180f;  // 2 / sqrt(5)
constexpr float kIcoH = 0.447213590f;  // 1 / sqrt(5)
const glm::vec3 kN(0.0f, 0.0f, 1.0f);
const glm::vec3 kS(0.0f, 0.0f, -1.0f);
const glm::vec3 kU1(-0.525731087f, -0.723606825f, kIcoH);
const glm::vec3 kU2(0.525731087f, -0.723606825f, kIcoH);
const glm::vec3 kU3(0.850650787f, 0.276393205f, kIcoH);
const glm::vec3 kU4(0.0f, kIcoR, kIcoH);
const glm::vec3 kU5(-0.850650787f, 0.276393205f, kIcoH);
const glm::vec3 kD1(0.0f, -kIcoR, -kIcoH);
const glm::vec3 kD2(0.850650787f, -0.276393205f, -kIcoH);
const glm::vec3 kD3(0.525731087f, 0.723606825f, -kIcoH);
const glm::vec3 kD4(-0.525731087f, 0.723606825f, -kIcoH);
const glm::vec3 kD5(-0.850650787f, -0.276393205f, -kIcoH);

const glm::vec3 kHighlightColor(1.5f, 0.75f, 0.45f);
const glm::vec3 kBondColor(0.9f, 0.9f, 0.9f);
const glm::vec3 kBoxColor(1.0f, 0.0f, 0.0f);
const glm::vec3 kLabelColor(1.0f, 1.0f, 0.0f);
constexpr float kBondRadius = 0.1f;
constexpr float kLabelOrigin = -0.15f;  // pen start and baseline, model units
constexpr unsigned kMaxSphereLevel = 8;
constexpr unsigned kMaxCylinderVertices = 1u << 16;

// Element indices come from the symbol look-up; one that does not fits the
// table is drawn as the dummy element rather than read past the table.
unsigned DrawnElement(unsigned e)
{
    return e < periodic_table_atoms ? e : DUMMY_ATOM_INDEX;
}

struct ItemUniforms {
    GLint mvp, m, v, s, c;
};

ItemUniforms LocateUniforms(GLuint program)
{
    return {glGetUniformLocation(program, "MVP"), glGetUniformLocation(program, "M"),
            glGetUniformLocation(program, "V"), glGetUniformLocation(program, "S"),
            glGetUniformLocation(program, "C")};
}

void UploadShape(const std::vector<glm::vec3>& vertices, unsigned int& vao, unsigned int& vbo)
{
    glGenVertexArrays(1, &vao);
    glBindVertexArray(vao);
    glGenBuffers(1, &vbo);
    glBindBuffer(GL_ARRAY_BUFFER, vbo);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertices.size() * sizeof(glm::vec3)),
                 vertices.data(), GL_STATIC_DRAW);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 3 * sizeof(float), nullptr);
    glEnableVertexAttribArray(0);
    glBindVertexArray(0);
}

}  // namespace

const triangle icosahedron[20] = {
    {{kN, kU1, kU2}},   {{kN, kU5, kU1}},   {{kN, kU4, kU5}},   {{kN, kU3, kU4}},
    {{kN, kU2, kU3}},   {{kU1, kD5, kD1}},  {{kD5, kU1, kU5}},  {{kU5, kD4, kD5}},
    {{kD4, kU5, kU4}},  {{kU4, kD3, kD4}},  {{kD3, kU4, kU3}},  {{kU3, kD2, kD3}},
    {{kD2, kU3, kU2}},  {{kU2, kD1, kD2}},  {{kD1, kU2, kU1}},  {{kD3, kD2, kS}},
    {{kD4, kD3, kS}},   {{kD5, kD4, kS}},   {{kD1, kD5, kS}},   {{kD2, kD1, kS}},
};

const glm::vec3 cube_strip2[16] = {
    {-0.5f, -0.5f, -0.5f}, {-0.5f, -0.5f, 0.5f}, {-0.5f, 0.5f, 0.5f},  {0.5f, 0.5f, 0.5f},
    {0.5f, 0.5f, -0.5f},   {-0.5f, 0.5f, -0.5f}, {-0.5f, -0.5f, -0.5f}, {0.5f, -0.5f, -0.5f},
    {0.5f, -0.5f, 0.5f},   {-0.5f, -0.5f, 0.5f}, {-0.5f, 0.5f, 0.5f},  {-0.5f, 0.5f, -0.5f},
    {0.5f, 0.5f, -0.5f},   {0.5f, -0.5f, -0.5f}, {0.5f, -0.5f, 0.5f},  {0.5f, 0.5f, 0.5f},
};

glm::vec3 LinearMix(const glm::vec3& a, const glm::vec3& b, float t)
{
    return a + (b - a) * t;
}

std::vector<glm::vec3> MakeSphereVertices(unsigned res)
{
    // Level 8 is already 1.3 million vertices; deeper levels would only fail
    // to allocate.
    const unsigned n = 1u << std::min(res, kMaxSphereLevel);
    std::vector<glm::vec3> v;
    v.reserve(20u * (static_cast<size_t>(n) * n + 2u * n));
    const float fn = static_cast<float>(n);
    for (const triangle& face : icosahedron) {
        const glm::vec3& a = face.pt[0];
        const glm::vec3& b = face.pt[1];
        const glm::vec3& c = face.pt[2];
        for (unsigned r = 0; r < n; ++r) {
            const float t0 = static_cast<float>(r) / fn;
            const float t1 = static_cast<float>(r + 1) / fn;
            const glm::vec3 p0 = LinearMix(b, a, t0);
            const glm::vec3 q0 = LinearMix(b, c, t0);
            const glm::vec3 p1 = LinearMix(b, a, t1);
            const glm::vec3 q1 = LinearMix(b, c, t1);
            const float lower = static_cast<float>(r + 1);
            auto lower_point = [&](unsigned k) { return LinearMix(p1, q1, static_cast<float>(k) / lower); };
            auto upper_point = [&](unsigned k) {
                return r == 0 ? p0 : LinearMix(p0, q0, static_cast<float>(k) / static_cast<float>(r));
            };
            // L0, U0, L1, U1, ..., Lr, Ur, L(r+1): the 2r + 1 triangles of the row
            v.push_back(glm::normalize(lower_point(0)));
            v.push_back(glm::normalize(upper_point(0)));
            for (unsigned k = 1; k <= r; ++k) {
                v.push_back(glm::normalize(lower_point(k)));
                v.push_back(glm::normalize(upper_point(k)));
            }
            v.push_back(glm::normalize(lower_point(r + 1)));
        }
    }
    return v;
}

std::vector<glm::vec3> MakeCylinderVertices(unsigned res)
{
    const unsigned n = std::min(res > 19 ? res : 20u, kMaxCylinderVertices);
    std::vector<glm::vec3> v(n);
    // 2 pi as a float widened to double, so the tube closes the same way
    // wherever it is built.
    const double step = static_cast<double>(glm::two_pi<float>()) / static_cast<double>(n - 2);
    for (unsigned i = 0; i < n; ++i) {
        const double a = i * step;
        v[i] = glm::vec3(static_cast<float>(std::cos(a)), static_cast<float>(std::sin(a)),
                         (i % 2 == 0) ? -1.0f : 1.0f);
    }
    return v;
}

std::vector<glm::vec3> MakeBoxVertices(const glm::dmat3& cell)
{
    std::vector<glm::vec3> v(16);
    for (size_t i = 0; i < 16; ++i)
        v[i] = glm::vec3(cell * glm::dvec3(cube_strip2[i]));
    return v;
}

glm::mat4 MakeProjection(int w, int h, float tw)
{
    // A minimised window or an empty model has no extent to show; a unit
    // extent keeps the matrix finite.
    const float fw = w > 0 ? static_cast<float>(w) : 1.0f;
    const float fh = h > 0 ? static_cast<float>(h) : 1.0f;
    if (!(tw > 0.0f) || !std::isfinite(tw))
        tw = 1.0f;
    if (fw > fh)
        return glm::ortho(-tw, tw, -tw * fh / fw, tw * fh / fw, -10.0f * tw, 10.0f * tw);
    return glm::ortho(-tw * fw / fh, tw * fw / fh, -tw, tw, -10.0f * tw, 10.0f * tw);
}

float LayoutGlyphQuad(const Character& ch, float x, float f, float quad[6][4])
{
    const float xpos = x + static_cast<float>(ch.Bearing.x) * f;
    const float ypos = kLabelOrigin - static_cast<float>(ch.Size.y - ch.Bearing.y) * f;
    const float w = static_cast<float>(ch.Size.x) * f;
    const float h = static_cast<float>(ch.Size.y) * f;
    // Texture row 0 is the bitmap's top row.
    const float vertices[6][4] = {
        {xpos, ypos + h, 0.0f, 0.0f}, {xpos, ypos, 0.0f, 1.0f},     {xpos + w, ypos, 1.0f, 1.0f},
        {xpos, ypos + h, 0.0f, 0.0f}, {xpos + w, ypos, 1.0f, 1.0f}, {xpos + w, ypos + h, 1.0f, 0.0f},
    };
    std::copy(&vertices[0][0], &vertices[0][0] + 24, &quad[0][0]);
    return x + static_cast<float>(ch.Advance >> 6) * f;
}

std::string MakeAtomLabel(unsigned i, unsigned e, bool show_symbol, bool show_index)
{
    if (!show_symbol)
        return std::to_string(i);
    const std::string& s = symbol[DrawnElement(e)];
    return show_index ? s + std::to_string(i) : s;
}

// ---------------------------------------------------------------------------

CDisplay::CDisplay()
{
    BuildCylinder(20);
    SetCylinderBuffer();
    BuildSphere(2);
    SetSphereBuffer();
    AtomShader.SetShader(atom_vs, atom_frag);
    BondShader.SetShader(bond_vs, bond_frag);
    FontShader.SetShader(font_vs, font_frag);
    PickShader.SetShader(pick_vs, pick_frag);
    LoadFont();
}

void CDisplay::Delete()
{
    const GLuint arrays[4] = {VAOM, VAOB, VAOC, VAOF};
    const GLuint buffers[4] = {VBOM, VBOB, VBOC, VBOF};
    glDeleteVertexArrays(4, arrays);
    glDeleteBuffers(4, buffers);
    VAOM = VAOB = VAOC = VAOF = 0;
    VBOM = VBOB = VBOC = VBOF = 0;
    // Glyph textures and programs go with the rest, so that a context that
    // outlives the display does not keep them.
    for (auto& entry : Characters) {
        if (entry.second.TextureID != 0)
            glDeleteTextures(1, &entry.second.TextureID);
        entry.second.TextureID = 0;
    }
    for (CShader* shader : {&AtomShader, &BondShader, &FontShader, &PickShader}) {
        if (shader->Program != 0)
            glDeleteProgram(shader->Program);
        shader->Program = 0;
    }
    measure.Delete();
}

// --- geometry --------------------------------------------------------------

void CDisplay::BuildSphere(unsigned res)
{
    v_sphere = MakeSphereVertices(res);
    nvtx = static_cast<int>(v_sphere.size());
}

void CDisplay::BuildCylinder(unsigned res)
{
    v_cylinder = MakeCylinderVertices(res);
    cylinder_vertex = static_cast<int>(v_cylinder.size());
}

void CDisplay::SetSphereBuffer()
{
    UploadShape(v_sphere, VAOM, VBOM);
}

void CDisplay::SetCylinderBuffer()
{
    UploadShape(v_cylinder, VAOB, VBOB);
}

void CDisplay::BuildCube()
{
    if (VAOC != 0)
        glDeleteVertexArrays(1, &VAOC);
    if (VBOC != 0)
        glDeleteBuffers(1, &VBOC);
    VAOC = VBOC = 0;
    UploadShape(MakeBoxVertices(data.m_cell_box), VAOC, VBOC);
}

// --- scene -----------------------------------------------------------------

void CDisplay::DrawScene(int w, int h)
{
    frame_size = glm::ivec2(w, h);
    const glm::vec3& box = data.v_box_size;
    target_width = view_zoom * std::max(box.x, std::max(box.y, box.z));
    track.SetViewSize(w, h);
    Projection = MakeProjection(w, h, target_width);

    if (is_picking) {
        PickShader.Use();
        DrawAtoms(PickShader.Program, true);
    }

    // The box is made of lines whose corners lie far from the light: lit like
    // the atoms they come out nearly black. The flat program keeps them red.
    if (is_show_box) {
        PickShader.Use();
        DrawBox(PickShader.Program);
    }
    AtomShader.Use();
    DrawAtoms(AtomShader.Program, false);

    BondShader.Use();
    if (data.is_bond_eval && is_show_bond)
        DrawBonds();

    if (is_show_label) {
        FontShader.Use();
        RenderText();
    }
    measure.Draw(Projection * track.View * track.Model, data.v_float_raw_xyz, v_selected_atoms);
}

void CDisplay::DrawAtoms(unsigned int Program, bool b)
{
    glBindVertexArray(VAOM);
    const ItemUniforms u = LocateUniforms(Program);
    glUniformMatrix4fv(u.m, 1, GL_FALSE, glm::value_ptr(track.Model));
    glUniformMatrix4fv(u.v, 1, GL_FALSE, glm::value_ptr(track.View));

    if (b) {
        // white decodes to "no atom"
        glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }

    const glm::mat4 pvm = Projection * track.View * track.Model;
    const size_t n = std::min(data.v_float_raw_xyz.size(), data.v_atom_index.size());
    for (size_t i = 0; i < n; ++i) {
        const unsigned e = DrawnElement(data.v_atom_index[i]);
        mvp = glm::translate(pvm, data.v_float_raw_xyz[i]);
        glUniformMatrix4fv(u.mvp, 1, GL_FALSE, glm::value_ptr(mvp));
        glUniform1f(u.s, atom_rgbs[e].w * atom_scale);
        glm::vec3 color;
        if (b)
            color = pick.get_index(static_cast<unsigned>(i));
        else if ((is_atom_selected && selected_atom == i) ||
                 std::find(v_selected_atoms.begin(), v_selected_atoms.end(), i) != v_selected_atoms.end())
            color = kHighlightColor;
        else
            color = glm::vec3(atom_rgbs[e]);
        glUniform3fv(u.c, 1, glm::value_ptr(color));
        glDrawArrays(GL_TRIANGLE_STRIP, 0, nvtx);
    }

    if (b) {
        ProcessPicking(b);
        glClearColor(CColor.r, CColor.g, CColor.b, CColor.a);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        is_picking = false;
    }
}

void CDisplay::DrawBonds()
{
    glBindVertexArray(0);
    BondShader.Use();
    glBindVertexArray(VAOB);
    const ItemUniforms u = LocateUniforms(BondShader.Program);
    glUniformMatrix4fv(u.v, 1, GL_FALSE, glm::value_ptr(track.View));
    glUniform3fv(u.c, 1, glm::value_ptr(kBondColor));

    const glm::mat4 pvm = Projection * track.View * track.Model;
    // Only records present in every bond vector can be drawn.
    const size_t n = std::min<size_t>(
        {data.i_number_of_bonds, data.m_bond_ang.size(), data.m_bond_xyz.size(), data.v_bond_length.size()});
    const glm::vec3 zaxis(0.0f, 0.0f, 1.0f);
    const glm::vec3 yaxis(0.0f, 1.0f, 0.0f);
    for (size_t i = 0; i < n; ++i) {
        const glm::vec2 ang = data.m_bond_ang[i];
        // turns the tube's +z axis onto the bond direction
        const glm::mat4 r =
            glm::rotate(glm::mat4(1.0f), ang.x, zaxis) * glm::rotate(glm::mat4(1.0f), ang.y, yaxis);
        mvp = glm::translate(pvm, data.m_bond_xyz[i]) * r;
        const glm::mat4 m = track.Model * r;
        const glm::vec3 s(kBondRadius, kBondRadius, 0.5f * data.v_bond_length[i]);
        glUniformMatrix4fv(u.mvp, 1, GL_FALSE, glm::value_ptr(mvp));
        glUniformMatrix4fv(u.m, 1, GL_FALSE, glm::value_ptr(m));
        glUniform3fv(u.s, 1, glm::value_ptr(s));
        glUniform3fv(u.c, 1, glm::value_ptr(kBondColor));
        glDrawArrays(GL_TRIANGLE_STRIP, 0, cylinder_vertex);
    }
}

void CDisplay::DrawBox(unsigned int Program)
{
    if (VAOC == 0)
        return;
    // With the view matrix, like atoms and bonds, so the box is depth-tested
    // against them at its true place.
    mvp = Projection * track.View * track.Model;
    const ItemUniforms u = LocateUniforms(Program);
    glUniformMatrix4fv(u.mvp, 1, GL_FALSE, glm::value_ptr(mvp));
    glUniformMatrix4fv(u.m, 1, GL_FALSE, glm::value_ptr(track.Model));
    glUniformMatrix4fv(u.v, 1, GL_FALSE, glm::value_ptr(track.View));
    glUniform1f(u.s, 1.0f);
    glBindVertexArray(VAOC);
    glUniform3fv(u.c, 1, glm::value_ptr(kBoxColor));
    glDrawArrays(GL_LINE_STRIP, 0, 16);
}

// --- user actions ----------------------------------------------------------

bool CDisplay::ReadFile(std::string d, std::string f)
{
    if (!data.ReadFile(d, f, input_format))
        return false;
    OnStructureLoaded();
    return true;
}

void CDisplay::OnStructureLoaded()
{
    BuildCube();
    ResetPalette();
    is_visible = true;
    is_show_box = data.is_periodic;
    is_show_boundary = data.is_periodic;
}

void CDisplay::ResetPalette()
{
    pick._lvls = data.GetTotalAtoms();
    pick.update_palette_index();
}

bool CDisplay::SaveFile(std::string f)
{
    return data.SaveFile(f, f, input_format);
}

void CDisplay::CenterCoordinates()
{
    data.CenterCoordinates();
    BuildCube();
}

void CDisplay::DeleteAtom(unsigned u)
{
    // A selection left over from a previous structure may point past the atoms.
    if (!is_atom_selected || selected_atom == NO_ATOM_SELECTED || u >= data.GetTotalAtoms())
        return;
    data.DeleteAtom(u);
    OnModelChanged();
    SelectAtom(NO_ATOM_SELECTED, false);
}

void CDisplay::DeleteSelectedAtoms()
{
    std::vector<unsigned> atoms = v_selected_atoms;
    if (is_atom_selected)
        atoms.push_back(selected_atom);
    // DeleteAtoms skips numbers past the atoms: a selection left from a previous structure
    data.DeleteAtoms(atoms);
    OnModelChanged();
    SelectAtom(NO_ATOM_SELECTED, false);
}

bool CDisplay::Undo()
{
    if (!data.Undo())
        return false;
    OnModelChanged();
    SelectAtom(NO_ATOM_SELECTED, false);
    return true;
}

bool CDisplay::Redo()
{
    if (!data.Redo())
        return false;
    OnModelChanged();
    SelectAtom(NO_ATOM_SELECTED, false);
    return true;
}

bool CDisplay::Wrap()
{
    if (!data.Wrap())
        return false;
    OnModelChanged();
    return true;
}

void CDisplay::OnModelChanged()
{
    ResetPalette();
}

void CDisplay::SelectAtom(unsigned index, bool add)
{
    const unsigned n = data.GetTotalAtoms();
    if (!add)
        v_selected_atoms.clear();
    // numbers from a previous structure or past a deletion mean nothing now
    v_selected_atoms.erase(std::remove_if(v_selected_atoms.begin(), v_selected_atoms.end(),
                                          [n](unsigned a) { return a >= n; }),
                           v_selected_atoms.end());
    if (index < n) {
        const auto it = std::find(v_selected_atoms.begin(), v_selected_atoms.end(), index);
        if (it != v_selected_atoms.end())
            v_selected_atoms.erase(it);
        else if (v_selected_atoms.size() < 4)
            v_selected_atoms.push_back(index);
    }
    if (v_selected_atoms.empty()) {
        is_atom_selected = false;
        selected_atom = NO_ATOM_SELECTED;
        selected_zatom = 0;
        selected_symbol.clear();
        return;
    }
    is_atom_selected = true;
    selected_atom = v_selected_atoms.back();
    const unsigned e = DrawnElement(data.v_atom_index[selected_atom]);
    selected_zatom = e + 1;
    selected_symbol = symbol[e];
}

void CDisplay::UpdateAtomType(unsigned u)
{
    if (!is_atom_selected || selected_atom >= data.GetTotalAtoms() || selected_atom >= data.v_atom_index.size() ||
        u >= periodic_table_atoms)
        return;
    data.ChangeAtom(selected_atom, u);
    OnModelChanged();
    const unsigned e = DrawnElement(data.v_atom_index[selected_atom]);
    selected_zatom = e + 1;
    selected_symbol = symbol[e];
}

// --- picking ---------------------------------------------------------------

void CDisplay::SetPicking(int cx, int cy, bool add)
{
    is_pick_adding = add;
    GLint viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, viewport);
    pcolor = glm::ivec2(cx, viewport[3] - cy);
    is_picking = true;
}

void CDisplay::ProcessPicking(bool /*b*/)
{
    const bool inside = pcolor.x >= 0 && pcolor.y >= 0 && pcolor.x < frame_size.x && pcolor.y < frame_size.y;
    if (inside) {
        // Room for a padded pixel whatever the pack alignment says.
        unsigned char pixel[4] = {255, 255, 255, 255};
        GLint alignment = 4;
        glGetIntegerv(GL_PACK_ALIGNMENT, &alignment);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(pcolor.x, pcolor.y, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, pixel);
        glPixelStorei(GL_PACK_ALIGNMENT, alignment);
        const unsigned index = CPalette::get_index_rgb(pixel[0], pixel[1], pixel[2]);
        if (index < NO_ATOM_SELECTED && index < data.GetTotalAtoms() && index < data.v_atom_index.size()) {
            SelectAtom(index, is_pick_adding);
            return;
        }
    }
    // a miss clears the selection, unless it was to add to it
    if (!is_pick_adding)
        SelectAtom(NO_ATOM_SELECTED, false);
}

// --- labels ----------------------------------------------------------------

void CDisplay::LoadFont()
{
    FT_Library ft = nullptr;
    const bool library_ok = FT_Init_FreeType(&ft) == 0;
    if (!library_ok)
        std::cout << "ERROR::FREETYPE: Could not init FreeType Library" << std::endl;

    FT_Face face = nullptr;
    if (library_ok) {
        for (const std::string& path : v_font_paths) {
            if (FT_New_Face(ft, path.c_str(), 0, &face) == 0) {
                std::cout << "MESSAGE::FREETYPE: loaded font " << path << std::endl;
                break;
            }
            face = nullptr;
        }
    }
    if (face == nullptr) {
        std::cout << "ERROR::FREETYPE: Failed to load the follwing fonts" << std::endl;
        for (const std::string& path : v_font_paths)
            std::cout << path << std::endl;
    }

    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    // Without a face every glyph would fail the same way: the table stays
    // empty and the labels draw nothing.
    if (face != nullptr) {
        FT_Set_Pixel_Sizes(face, 0, 48);
        for (unsigned c = 0; c < 128; ++c) {
            if (FT_Load_Char(face, c, FT_LOAD_RENDER) != 0) {
                std::cout << "ERROR::FREETYTPE: Failed to load Glyph" << std::endl;
                continue;
            }
            const FT_Bitmap& bitmap = face->glyph->bitmap;
            GLuint texture = 0;
            glGenTextures(1, &texture);
            glBindTexture(GL_TEXTURE_2D, texture);
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RED, static_cast<GLsizei>(bitmap.width),
                         static_cast<GLsizei>(bitmap.rows), 0, GL_RED, GL_UNSIGNED_BYTE, bitmap.buffer);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
            Character ch;
            ch.TextureID = texture;
            ch.Size = glm::ivec2(static_cast<int>(bitmap.width), static_cast<int>(bitmap.rows));
            ch.Bearing = glm::ivec2(face->glyph->bitmap_left, face->glyph->bitmap_top);
            ch.Advance = static_cast<unsigned>(face->glyph->advance.x);
            if (!Characters.emplace(static_cast<char>(c), ch).second)
                glDeleteTextures(1, &texture);
        }
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    if (face != nullptr)
        FT_Done_Face(face);
    if (library_ok)
        FT_Done_FreeType(ft);

    glGenVertexArrays(1, &VAOF);
    glGenBuffers(1, &VBOF);
    glBindVertexArray(VAOF);
    glBindBuffer(GL_ARRAY_BUFFER, VBOF);
    glBufferData(GL_ARRAY_BUFFER, 6 * 4 * sizeof(float), nullptr, GL_DYNAMIC_DRAW);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, 4 * sizeof(float), nullptr);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindVertexArray(0);
}

void CDisplay::RenderText()
{
    const size_t n = std::min(data.v_float_raw_xyz.size(), data.v_atom_index.size());
    if (n == 0)
        return;
    const glm::mat4 pvm = Projection * track.View * track.Model;
    for (size_t i = 0; i < n; ++i) {
        const unsigned e = DrawnElement(data.v_atom_index[i]);
        mvp = glm::translate(pvm, data.v_float_raw_xyz[i]);
        const std::string text = MakeAtomLabel(static_cast<unsigned>(i), e, is_show_symbol, is_show_index);
        RenderText(FontShader.Program, atom_rgbs[e].w * atom_scale, text);
    }
}

void CDisplay::RenderText(unsigned int Program, float s, std::string text)
{
    // Undo the trackball rotation in the label's frame: the label stays
    // upright and faces the viewer while following its atom.
    mvp = mvp * glm::inverse(track.Model);
    glUniformMatrix4fv(glGetUniformLocation(Program, "MVP"), 1, GL_FALSE, glm::value_ptr(mvp));
    glUniform3fv(glGetUniformLocation(Program, "textColor"), 1, glm::value_ptr(kLabelColor));
    glUniform1f(glGetUniformLocation(Program, "S"), s);
    glActiveTexture(GL_TEXTURE0);
    glBindVertexArray(VAOF);

    float x = kLabelOrigin;
    for (char c : text) {
        // A character outside the table gets an empty entry: it draws nothing
        // and does not move the pen.
        const Character& ch = Characters[c];
        float quad[6][4];
        x = LayoutGlyphQuad(ch, x, font_scale, quad);
        glBindTexture(GL_TEXTURE_2D, ch.TextureID);
        glBindBuffer(GL_ARRAY_BUFFER, VBOF);
        glBufferSubData(GL_ARRAY_BUFFER, 0, sizeof(quad), quad);
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        glDrawArrays(GL_TRIANGLES, 0, 6);
    }
    glBindVertexArray(0);
    glBindTexture(GL_TEXTURE_2D, 0);
}
