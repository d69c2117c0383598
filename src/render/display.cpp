// The display controller: the scene passes, colour-ID picking, and the
// operations that change the model on the user's request, each followed by
// the upload of what changed.
#include "render/display.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>

#include <glad/gl.h>
#include <glm/gtc/matrix_transform.hpp>

#include "core/elements.h"
#include "render/view.h"

namespace {

// Element indices come from the symbol look-up; one that does not fit the
// table is shown as the dummy element rather than read past the table.
// the most atom copies a supercell may draw
constexpr double kMostCopies = 8e6;

unsigned DrawnElement(unsigned e)
{
    return e < species_count ? e : DUMMY_ATOM_INDEX;
}

}  // namespace

void SetSceneState(bool keep_alpha)
{
    if (keep_alpha)
        glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    else
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDepthFunc(GL_LESS);
    glDisable(GL_CULL_FACE);
    glDisable(GL_SCISSOR_TEST);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
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

CDisplay::CDisplay() = default;

void CDisplay::Delete()
{
    atoms.Delete();
    bonds.Delete();
    box.Delete();
    labels.Delete();
    measure.Delete();
    glDeleteFramebuffers(1, &u_half_fbo);
    glDeleteRenderbuffers(1, &u_half_colour);
    glDeleteRenderbuffers(1, &u_half_depth);
    u_half_fbo = u_half_colour = u_half_depth = 0;
    half_size = glm::ivec2(0);
}

// --- scene -----------------------------------------------------------------

void CDisplay::DrawScene(int w, int h)
{
    // While the view moves a quarter of the pixels is drawn: the visibility
    // pass and the shading cost follow the pixels, and a moving picture needs
    // no detail. A click is read from a full frame.
    const glm::ivec2 half((w + 1) / 2, (h + 1) / 2);
    if (!is_moving || is_picking || w < 2 || h < 2 || !HalfTarget(half)) {
        DrawTile(glm::ivec2(w, h), glm::ivec2(0), glm::ivec2(w, h));
        return;
    }
    GLint target = 0, viewport[4] = {0, 0, w, h};
    GLfloat clear[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &target);
    glGetIntegerv(GL_VIEWPORT, viewport);
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    glBindFramebuffer(GL_FRAMEBUFFER, u_half_fbo);
    glViewport(0, 0, half.x, half.y);
    glClearColor(clear[0], clear[1], clear[2], clear[3]);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    DrawTile(half, glm::ivec2(0), half);
    // the mouse still moves over the whole window
    track.SetViewSize(w, h);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, u_half_fbo);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, static_cast<GLuint>(target));
    glBlitFramebuffer(0, 0, half.x, half.y, 0, 0, w, h, GL_COLOR_BUFFER_BIT, GL_LINEAR);
    // what is drawn after the scene (a surface) meets it at its depth
    glBlitFramebuffer(0, 0, half.x, half.y, 0, 0, w, h, GL_DEPTH_BUFFER_BIT, GL_NEAREST);
    glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(target));
    glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
}

bool CDisplay::HalfTarget(glm::ivec2 size)
{
    if (u_half_fbo != 0 && size == half_size)
        return true;
    if (u_half_fbo == 0) {
        glGenFramebuffers(1, &u_half_fbo);
        glGenRenderbuffers(1, &u_half_colour);
        glGenRenderbuffers(1, &u_half_depth);
    }
    glBindRenderbuffer(GL_RENDERBUFFER, u_half_colour);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, size.x, size.y);
    glBindRenderbuffer(GL_RENDERBUFFER, u_half_depth);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, size.x, size.y);
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
    GLint target = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &target);
    glBindFramebuffer(GL_FRAMEBUFFER, u_half_fbo);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, u_half_colour);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, u_half_depth);
    const bool complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(target));
    half_size = complete ? size : glm::ivec2(0);
    return complete;
}

glm::mat4 CDisplay::ViewMatrix() const
{
    if (!is_perspective)
        return track.View;
    // the eye steps back to where the perspective frames the scene
    return glm::translate(glm::mat4(1.0f), glm::vec3(0.0f, 0.0f, 3.0f - PERSPECTIVE_DISTANCE * target_width)) *
           track.View;
}

void CDisplay::SetView(const CViewDirection& view)
{
    track.SetRotation(ViewTurn(data.IsPeriodic() ? data.Cell() : glm::dmat3(1.0), view));
}

void CDisplay::ResetView()
{
    track.SetRotation(glm::mat4(1.0f));
    view_zoom = 1.0f;
}

void CDisplay::SetDepthCue()
{
    // from the nearest to the farthest corner of the drawn cells (of the
    // atoms' box for a molecule), as the view turns them
    glm::dmat3 block = data.Cell();
    for (int a = 0; a < 3; ++a)
        block[a] *= data.IsPeriodic() ? double(repeat_cells[a]) : 1.0;
    const glm::mat4 to_view = ViewMatrix() * SceneModel() * BoxPlacement();
    float front = -1e30f, back = 1e30f;
    for (int corner = 0; corner < 8; ++corner) {
        const glm::dvec3 at(corner & 1 ? 0.5 : -0.5, corner & 2 ? 0.5 : -0.5, corner & 4 ? 0.5 : -0.5);
        const float z = (to_view * glm::vec4(glm::vec3(block * at), 1.0f)).z;
        front = std::max(front, z);
        back = std::min(back, z);
    }
    auto depth = [this](float z) {
        const glm::vec4 clip = Projection * glm::vec4(0.0f, 0.0f, z, 1.0f);
        return 0.5f * clip.z / clip.w + 0.5f;
    };
    // the far side fades most of the way into the background
    const glm::vec4 cue(glm::vec3(CColor), is_depth_cue ? 0.7f : 0.0f);
    const glm::vec2 range(depth(front), depth(back));
    for (const unsigned program : {atoms.AtomShader.Program, bonds.BondShader.Program}) {
        glUseProgram(program);
        glUniform4fv(glGetUniformLocation(program, "Cue"), 1, &cue[0]);
        glUniform2fv(glGetUniformLocation(program, "CueDepth"), 1, &range[0]);
    }
}

void CDisplay::DrawTile(glm::ivec2 image, glm::ivec2 tile_origin, glm::ivec2 tile_size)
{
    const int w = image.x, h = image.y;
    frame_size = tile_size;
    const glm::vec3& size = data.BoxSize();
    target_width = view_zoom * std::max(size.x, std::max(size.y, size.z));
    if (data.IsPeriodic())
        target_width *= float(std::max(repeat_cells.x, std::max(repeat_cells.y, repeat_cells.z)));
    track.SetViewSize(w, h);
    Projection = is_perspective ? MakePerspective(w, h, target_width) : MakeProjection(w, h, target_width);
    if (tile_size != image)
        Projection = TileMatrix(image, tile_origin, tile_size) * Projection;
    atoms.UseProjection(is_perspective);
    bonds.UseProjection(is_perspective);
    SetDepthCue();
    // the visibility pass works with parallel rays only
    const bool culling = visible.is_culling;
    visible.is_culling = culling && !is_perspective;
    // the settings or the model changed behind our back: old copies would be wrong
    const bool crystal = data.IsPeriodic();
    if (crystal != is_scene_shown ||
        (crystal && (repeat_cells != scene_repeat_cells || is_show_boundary != is_scene_boundary ||
                     u_scene_atoms != data.GetTotalAtoms() || u_scene_bonds != data.BondCount())))
        UploadScene();
    else if (!crystal && atoms.u_atoms != std::min(data.Positions().size(), data.Elements().size()))
        OnModelChanged();
    else if (!crystal && bonds.u_source != std::min<size_t>(data.BondCount(), data.BondPairs().size()))
        bonds.Upload(data.BondPairs(), data.BondCount(), data.GetTotalAtoms());

    const glm::mat4 V = ViewMatrix();
    const glm::mat4 M = SceneModel();
    if (is_picking)
        PickPass();
    // Atoms, bonds and box are opaque: blending would only cost a read of
    // every covered pixel. The labels below need it.
    const GLboolean blend = glIsEnabled(GL_BLEND);
    glDisable(GL_BLEND);
    if (is_show_box)
        box.Draw(Projection * V * M * BoxPlacement());
    // Only what this view may show goes to the GPU, found again when the
    // view, the window or the structure changed; each part found is drawn at
    // once, so that the GPU works while the CPU looks for the rest.
    int selected[4];
    HighlightedAtoms(selected);
    const bool bonds_drawn = data.is_loaded && is_show_bond;
    if (is_atoms_thinned && (!bonds_drawn || bonds.u_version != thinned_bonds_version))
        visible.Forget();
    const bool found = visible.FindAtoms(atoms.v_records, atoms.u_atoms, atom_scale, Projection, V * M, frame_size,
                                         atoms.u_version, [&](size_t begin, size_t end) {
                                             atoms.DrawNewPart(Projection, V, M, atom_scale, selected,
                                                               visible.v_atoms.data() + begin, end - begin, begin == 0);
                                             glFlush();
                                         });
    if (found) {
        atoms.DrawBoxed(Projection, V, M, atom_scale, selected, visible.v_boxed, frame_size);
        is_atoms_thinned = false;
    } else {
        atoms.Draw(Projection, V, M, atom_scale, selected);
    }
    if (bonds_drawn) {
        // the GPU may start on the atoms while the CPU finds the bonds that show
        glFlush();
        // a view that stays is drawn again from its lists: worth a second look
        visible.is_second_look = !is_moving;
        const bool found_bonds =
            visible.FindBonds(bonds.v_pairs, BOND_RADIUS, bonds.u_version, [&](size_t begin, size_t end) {
                bonds.DrawNewPart(Projection, V, M, atom_scale, atoms.u_atoms, atoms.TBOA,
                                  visible.v_bonds.data() + begin, end - begin, begin == 0);
                glFlush();
            });
        if (!found_bonds) {
            bonds.Draw(Projection, V, M, atom_scale, atoms.u_atoms, atoms.TBOA);
        } else if (visible.is_thinned) {
            atoms.Keep(visible.v_atoms, visible.v_boxed);
            bonds.Keep(visible.v_bonds);
            is_atoms_thinned = true;
            thinned_bonds_version = bonds.u_version;
        }
    }
    if (blend)
        glEnable(GL_BLEND);
    if (is_show_label) {
        LabelledAtoms(selected);
        labels.Draw(data.Positions(), data.Elements(), v_labelled, Projection, V, M, atom_scale, font_scale,
                    is_show_symbol, is_show_index, atoms.u_version);
    }
    measure.Draw(Projection * V * M, data.Positions(), selection.Atoms());
    visible.is_culling = culling;
}

void CDisplay::PickPass()
{
    // Only the clicked pixel is touched: the rest of the frame stays as the
    // frame loop cleared it.
    const bool inside = pcolor.x >= 0 && pcolor.y >= 0 && pcolor.x < frame_size.x && pcolor.y < frame_size.y;
    if (inside) {
        glEnable(GL_SCISSOR_TEST);
        glScissor(pcolor.x, pcolor.y, 1, 1);
        // white decodes to "no atom"
        glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        // the pixel's centre in view space, and a pixel's size there
        const glm::vec2 ndc = (glm::vec2(pcolor) + 0.5f) / glm::vec2(frame_size) * 2.0f - 1.0f;
        const glm::vec2 at = (ndc - glm::vec2(Projection[3])) / glm::vec2(Projection[0][0], Projection[1][1]);
        const float slack = 2.0f / std::min(frame_size.x * Projection[0][0], frame_size.y * Projection[1][1]);
        atoms.DrawPick(Projection, ViewMatrix(), SceneModel(), atom_scale, at, slack);
    }
    ProcessPicking(true);
    glClearColor(CColor.r, CColor.g, CColor.b, CColor.a);
    if (inside) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glDisable(GL_SCISSOR_TEST);
    }
    is_picking = false;
}

void CDisplay::LabelledAtoms(const int highlighted[4])
{
    // Labels are drawn over the scene: one of an atom hidden behind others
    // would show through them. So the atoms the visibility pass kept, each
    // once (copies of a cell share their atom's label), and the highlighted.
    const size_t n = data.GetTotalAtoms();
    v_labelled.clear();
    v_label_mark.assign(n, 0);
    auto add = [&](size_t a) {
        if (a < n && !v_label_mark[a]) {
            v_label_mark[a] = 1;
            v_labelled.push_back(static_cast<unsigned>(a));
        }
    };
    const bool copies_drawn = is_scene_shown && !scene.v_atom.empty();
    auto add_record = [&](unsigned k) { add(copies_drawn ? (k < scene.v_atom.size() ? scene.v_atom[k] : n) : k); };
    for (const unsigned k : visible.v_atoms)
        add_record(k);
    for (size_t b = 0; b < visible.v_boxed.size(); b += 3)
        add_record(visible.v_boxed[b]);
    for (int k = 0; k < 4; ++k)
        if (highlighted[k] >= 0)
            add(static_cast<size_t>(highlighted[k]));
}

void CDisplay::HighlightedAtoms(int out[4]) const
{
    std::fill(out, out + 4, -1);
    int k = 0;
    for (unsigned a : selection.Atoms())
        if (k < 4 && a < NO_ATOM_SELECTED)
            out[k++] = static_cast<int>(a);
}

// --- model changes ---------------------------------------------------------

bool CDisplay::ReadFile(const std::string& d, const std::string& f, int format)
{
    if (!data.ReadFile(d, f, format))
        return false;
    OnStructureLoaded();
    return true;
}

void CDisplay::OnStructureLoaded()
{
    is_edited = false;
    is_show_boundary = data.IsPeriodic();
    OnModelChanged();
    is_visible = true;
    is_show_box = data.IsPeriodic();
}

void CDisplay::UploadScene()
{
    repeat_cells = glm::clamp(repeat_cells, glm::ivec3(1), glm::ivec3(10));
    // a large crystal repeated many times would not fit in memory: fewer cells
    // the copies on the faces count too: a corner atom is drawn eight times
    if (data.IsPeriodic())
        copies.CountFaces(data.GetLattice(), data.Positions(), is_show_boundary);
    while (data.IsPeriodic() && copies.CopyCount(repeat_cells) > kMostCopies) {
        int& most = repeat_cells.x >= repeat_cells.y && repeat_cells.x >= repeat_cells.z ? repeat_cells.x
                    : repeat_cells.y >= repeat_cells.z                                   ? repeat_cells.y
                                                                                         : repeat_cells.z;
        if (most == 1)
            break;
        --most;
        std::printf("Too many atoms to repeat: %d x %d x %d cells\n", repeat_cells.x, repeat_cells.y, repeat_cells.z);
    }
    is_scene_shown = data.IsPeriodic();
    scene_repeat_cells = repeat_cells;
    is_scene_boundary = is_show_boundary;
    u_scene_atoms = data.GetTotalAtoms();
    u_scene_bonds = data.BondCount();
    if (!is_scene_shown) {
        copies = CCopies();
        scene = CCrystalScene();
        atoms.Upload(data.Positions(), data.Elements());
        bonds.Upload(data.BondPairs(), data.BondCount(), data.GetTotalAtoms());
        box.BuildCube(data.Cell());
        return;
    }
    try {
        const CLattice lattice = data.GetLattice();
        const size_t n = std::min(data.Positions().size(), data.Elements().size());
        copies.Build(lattice, data.Positions(), repeat_cells, is_show_boundary);
        BuildCrystalScene(lattice, data.Positions(), data.BondPairs(), data.BondImages(), data.BondCount(), copies,
                          scene);
        std::vector<glm::vec4> records(scene.v_xyz.size());
        for (size_t k = 0; k < records.size(); ++k) {
            // the free ends of half-bonds are never drawn as atoms
            const unsigned a = k < scene.u_drawn ? scene.v_atom[k] : 0;
            records[k] = glm::vec4(scene.v_xyz[k], float(a < n ? DrawnElement(data.Elements()[a]) : DUMMY_ATOM_INDEX));
        }
        atoms.UploadCopies(records, scene.u_drawn, scene.v_atom);
        bonds.UploadPairs(scene.v_pairs, data.BondCount());
        glm::dmat3 block = data.Cell();
        for (int a = 0; a < 3; ++a)
            block[a] *= double(repeat_cells[a]);
        box.BuildCube(block);
    } catch (const std::exception&) {
        // out of memory: the cell alone, its bonds inside it
        std::printf("Out of memory while repeating the cell; one cell shown\n");
        repeat_cells = scene_repeat_cells = glm::ivec3(1);
        copies = CCopies();
        scene = CCrystalScene();
        atoms.Upload(data.Positions(), data.Elements());
        bonds.Upload(data.BondPairs(), data.BondCount(), data.GetTotalAtoms());
        box.BuildCube(data.Cell());
    }
}

glm::mat4 CDisplay::SceneModel() const
{
    if (!data.IsPeriodic())
        return track.Model;
    // the middle of the block of cells sits where the middle of one cell would
    const glm::dvec3 shift = data.Cell() * (glm::dvec3(repeat_cells - 1) * 0.5);
    return glm::translate(track.Model, -glm::vec3(shift));
}

glm::mat4 CDisplay::BoxPlacement() const
{
    if (!data.IsPeriodic())
        return glm::mat4(1.0f);
    // the cell's true place: from its origin along the cell vectors
    const glm::dvec3 middle = data.CellOrigin() + data.Cell() * (glm::dvec3(repeat_cells) * 0.5);
    return glm::translate(glm::mat4(1.0f), glm::vec3(middle));
}

void CDisplay::OnModelChanged()
{
    UploadScene();
    selection.DropFrom(data.GetTotalAtoms());
}

void CDisplay::OnFrameChanged()
{
    // Same atoms and bonds in other places, maybe in another cell. In a
    // crystal, which copies exist, where half-bonds end and which atoms sit on
    // a face all follow the positions: built again as for a new structure.
    UploadScene();
}

bool CDisplay::SaveFile(std::string f)
{
    return data.Save(f);
}

void CDisplay::CenterCoordinates()
{
    data.CenterCoordinates();
    is_edited = true;
    UploadScene();
}

void CDisplay::DeleteAtom(unsigned u)
{
    // A selection left over from a previous structure may point past the atoms.
    if (selection.IsEmpty() || u >= data.GetTotalAtoms())
        return;
    data.DeleteAtom(u);
    is_edited = true;
    // every later atom moved down by one; the model dropped and renumbered the bonds
    if (is_scene_shown) {
        UploadScene();
    } else {
        atoms.UploadFrom(data.Positions(), data.Elements(), u, data.GetTotalAtoms() - u);
        bonds.Upload(data.BondPairs(), data.BondCount(), data.GetTotalAtoms());
    }
    SelectAtom(NO_ATOM_SELECTED, false);
}

void CDisplay::DeleteSelectedAtoms()
{
    // DeleteAtoms skips numbers past the atoms: a selection left from a previous structure
    data.DeleteAtoms(selection.Atoms());
    is_edited = true;
    OnModelChanged();
    SelectAtom(NO_ATOM_SELECTED, false);
}

bool CDisplay::Undo()
{
    if (!data.Undo())
        return false;
    is_edited = true;
    OnModelChanged();
    SelectAtom(NO_ATOM_SELECTED, false);
    return true;
}

bool CDisplay::Redo()
{
    if (!data.Redo())
        return false;
    is_edited = true;
    OnModelChanged();
    SelectAtom(NO_ATOM_SELECTED, false);
    return true;
}

bool CDisplay::Wrap()
{
    if (!data.Wrap())
        return false;
    is_edited = true;
    OnModelChanged();
    return true;
}

void CDisplay::SelectAtom(unsigned index, bool add)
{
    selection.Pick(index, data.GetTotalAtoms(), add);
}

bool CDisplay::SelectedElement(unsigned& element) const
{
    const unsigned atom = selection.Last();
    if (atom >= data.GetTotalAtoms() || atom >= data.Elements().size())
        return false;
    element = DrawnElement(data.Elements()[atom]);
    return true;
}

std::string CDisplay::SelectedSymbol() const
{
    unsigned element = 0;
    return SelectedElement(element) ? element_symbol[element] : std::string();
}

void CDisplay::UpdateAtomType(unsigned u)
{
    const unsigned atom = selection.Last();
    if (atom >= data.GetTotalAtoms() || atom >= data.Elements().size() || u >= periodic_table_atoms)
        return;
    data.ChangeAtom(atom, u);
    is_edited = true;
    // one atom record; the model found that atom's bonds again
    if (is_scene_shown) {
        UploadScene();
    } else {
        atoms.UploadFrom(data.Positions(), data.Elements(), atom, 1);
        bonds.Upload(data.BondPairs(), data.BondCount(), data.GetTotalAtoms());
    }
}

// --- picking ---------------------------------------------------------------

void CDisplay::SetPicking(int cx, int cy, bool add, bool keep)
{
    is_pick_adding = add;
    is_pick_keeping = keep;
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
        // the pick shader writes atom k as the bytes of k, lowest first
        unsigned index = unsigned(pixel[0]) | unsigned(pixel[1]) << 8 | unsigned(pixel[2]) << 16;
        // a copy stands for its original atom
        if (is_scene_shown && index < scene.u_drawn && index < scene.v_atom.size())
            index = scene.v_atom[index];
        if (index < NO_ATOM_SELECTED && index < data.GetTotalAtoms() && index < data.Elements().size()) {
            if (!is_pick_keeping || !selection.Contains(index))
                SelectAtom(index, is_pick_adding);
            return;
        }
    }
    // a miss clears the selection, unless it was to add to it
    if (!is_pick_adding)
        SelectAtom(NO_ATOM_SELECTED, false);
}
