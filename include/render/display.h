// The display controller: owns the structure model, the trackball, the
// picking palette and one drawing unit per kind of thing drawn (atoms, bonds,
// cell box, labels); keeps their GPU copies in step with the model and draws
// the scene once per frame.
#ifndef TESK_RENDER_DISPLAY_H
#define TESK_RENDER_DISPLAY_H

#include <string>
#include <vector>

#include <glm/glm.hpp>

#include "render/atoms_layer.h"
#include "render/bonds_layer.h"
#include "render/box_layer.h"
#include "render/labels_layer.h"
#include "render/measure_layer.h"
#include "model/model.h"
#include "render/trackball.h"
#include "render/visibility.h"
#include "render/view.h"
#include "render/selection.h"

// The GL state every scene pass draws in (the window's, images', tests'):
// depth test and blending for labels on top. With `keep_alpha` (an image
// over a transparent background) labels keep their coverage as alpha.
void SetSceneState(bool keep_alpha = false);

// Orthographic projection showing 2 tw model units along the longer window side.
glm::mat4 MakeProjection(int w, int h, float tw);

class CDisplay {
public:
    // Needs a current OpenGL 3.3 context with its functions loaded.
    CDisplay();
    void Delete();

    void DrawScene(int w, int h);
    // The part of an image of `image` pixels that the framebuffer's
    // `tile_size` pixels show, from pixel `tile_origin` (rows from the
    // bottom): images larger than a framebuffer are drawn in tiles.
    void DrawTile(glm::ivec2 image, glm::ivec2 tile_origin, glm::ivec2 tile_size);
    // The camera for the projection in use.
    glm::mat4 ViewMatrix() const;
    // Turns the structure to look along a direction of its cell (the
    // Cartesian axes for a molecule); the trackball turns on from there.
    void SetView(const CViewDirection& view);
    // The view a fresh window shows: no turn, no zoom.
    void ResetView();

    // user actions
    // Reads `f` (in folder `d`) with format code `format` and shows it.
    bool ReadFile(const std::string& d, const std::string& f, int format);
    bool SaveFile(std::string f);
    void CenterCoordinates();
    void DeleteAtom(unsigned u);
    void UpdateAtomType(unsigned u);
    // Deletes every selected atom as one undo step and clears the selection.
    void DeleteSelectedAtoms();
    // Undo and redo of the model's edits; the selection is cleared, since
    // atom numbers move. False when there was nothing to undo or redo.
    bool Undo();
    bool Redo();
    // Moves every atom into the cell, as one undo step.
    bool Wrap();
    // A pick of atom `index` (NO_ATOM_SELECTED for none): replaces the
    // selection, or with `add` toggles the atom in it (at most four atoms).
    void SelectAtom(unsigned index, bool add);
    // The radius for atoms with bonds (`bonds`) or without; each keeps what
    // the user set in it while the other is shown.
    void SetAtomScale(bool bonds)
    {
        if (bonds == is_scale_with_bonds)
            return;
        (is_scale_with_bonds ? scale_with_bonds : scale_without_bonds) = atom_scale;
        atom_scale = bonds ? scale_with_bonds : scale_without_bonds;
        is_scale_with_bonds = bonds;
    }
    void SetZoom(float f) { view_zoom = f; }
    void SetFont(float f) { font_scale = f; }
    void ShowBonds(bool b) { is_show_bond = b; }
    void ShowSymbols(bool b) { is_show_symbol = b; }
    void ShowIndex(bool b) { is_show_index = b; }
    void SetClearColor(float r, float g, float b, float a) { CColor = glm::vec4(r, g, b, a); }
    unsigned GetNumberOfAtoms() const { return data.GetTotalAtoms(); }
    // The element as drawn of the atom picked last, and its symbol; false
    // and "" when no atom of the structure is selected.
    bool SelectedElement(unsigned& element) const;
    std::string SelectedSymbol() const;

    // trackball
    void SetTrackLastPosition(float x, float y) { track.SetLastVector(x, y); }
    void SetTrackCurretPosition(float x, float y) { track.SetMouseMotion(x, y); }
    void SetTrackLastRotation() { track.SetLastRotation(); }

    // picking
    // `add`: the pick adds the atom to the selection or removes it (Shift);
    // `keep`: an atom already selected keeps the whole selection (the pie
    // menu acts on all of it)
    void SetPicking(int cx, int cy, bool add = false, bool keep = false);
    void ProcessPicking(bool b);

    // After the model holds a new structure: GPU copies, palette, box and visibility.
    void OnStructureLoaded();
    // After `data` was changed directly (atoms, elements, positions or bonds):
    // uploads everything again, resets the palette and drops selections past
    // the last atom.
    void OnModelChanged();
    // The model matrix that centres the drawn cells, and where the box goes.
    glm::mat4 SceneModel() const;
    glm::mat4 BoxPlacement() const;
    // After the model moved to another frame: its cell may have changed.
    void OnFrameChanged();

    CModel data;
    CMouse track;
    CAtomsLayer atoms;
    CBondsLayer bonds;
    CLabelsLayer labels;
    CVisibility visible;  // the atoms and bonds the current view may show
    CSelection selection;
    bool is_edited = false;  // the structure was edited since it was read or saved
    bool is_picking = false;
    // The view is moving (the user drags it): frames are drawn at half the
    // resolution and scaled up, the still one after in full.
    bool is_moving = false;
    bool is_visible = false;
    bool is_show_bond = false;
    bool is_show_box = false;
    bool is_show_label = false;
    bool is_show_symbol = false;
    bool is_show_index = false;
    // periodic structures: atoms on the cell faces also drawn on the opposite
    // face, and the cells drawn along each axis (1 to 10)
    bool is_show_boundary = false;
    glm::ivec3 repeat_cells{1};
    glm::ivec3 scene_repeat_cells{1};
    CMeasure measure;  // lines between the selected atoms
    float atom_scale = 1.0f;
    float view_zoom = 1.0f;
    float font_scale = 0.005f;
    bool is_perspective = false;  // else orthographic, as a fresh window shows
    bool is_depth_cue = false;    // the far atoms fade into the background
    glm::mat4 Projection{1.0f};
    glm::ivec2 pcolor{0};
    // framebuffer size of the frame being drawn; bounds of the picked pixel
    glm::ivec2 frame_size{0};

private:
    CBoxLayer box;
    // what the buffers hold for a periodic structure: the copies drawn, and
    // the settings and model size they were made for
    CCopies copies;
    CCrystalScene scene;
    bool is_scene_shown = false;
    bool is_scene_boundary = false;
    unsigned u_scene_atoms = 0, u_scene_bonds = 0;
    bool is_pick_adding = false;   // the pending pick toggles an atom in the selection
    bool is_pick_keeping = false;  // the pending pick keeps a selection it lands in
    float scale_with_bonds = 0.6f, scale_without_bonds = 1.0f;
    bool is_scale_with_bonds = false;  // the mode atom_scale belongs to
    float target_width = 0.0f;
    glm::vec4 CColor{0.0f, 0.0f, 0.0f, 1.0f};
    void PickPass();
    // The atoms to highlight, -1 for unused places.
    void HighlightedAtoms(int out[4]) const;
    // Fills v_labelled: the atoms whose labels this frame draws.
    void LabelledAtoms(const int highlighted[4]);
    std::vector<unsigned> v_labelled;
    std::vector<unsigned char> v_label_mark;
    // Uploads the atoms and bonds as drawn: the model's own, or for a
    // periodic structure its copies and the bond pieces between them.
    void UploadScene();
    // Depth cueing's colour and depth range, for this frame's projection.
    void SetDepthCue();
    // The offscreen target of `size` pixels for frames drawn while the view
    // moves; false when it cannot be had.
    bool HalfTarget(glm::ivec2 size);
    unsigned int u_half_fbo = 0, u_half_colour = 0, u_half_depth = 0;
    glm::ivec2 half_size{0};
    // The atoms on the GPU leave out some that only the bonds of this version
    // hide: they stand while those bonds are drawn.
    bool is_atoms_thinned = false;
    unsigned thinned_bonds_version = 0;
};

#endif
