// The display controller: owns the structure model, the trackball, the
// picking palette, the shader programs, the unit shapes and the glyph table,
// and draws the scene once per frame.
#ifndef TESK_CDISPLAY_H
#define TESK_CDISPLAY_H

#include <map>
#include <string>
#include <vector>

#include <glm/glm.hpp>

#include "cmeasure.h"
#include "cmodel.h"
#include "cmouse.h"
#include "cpalette.h"
#include "cshader.h"

// One rasterised glyph of the label font.
struct Character {
    unsigned int TextureID = 0;  // GL texture with the coverage bitmap
    glm::ivec2 Size{0};          // bitmap width and rows, pixels
    glm::ivec2 Bearing{0};       // pen to left edge, baseline to top edge, pixels
    unsigned int Advance = 0;    // pen advance in 1/64 pixel
};

inline constexpr unsigned NO_ATOM_SELECTED = 0xffffff;

// One face of the icosahedron the sphere is subdivided from; rows of the
// subdivision start at corner pt[1].
struct triangle {
    glm::vec3 pt[3];
};
extern const triangle icosahedron[20];
// The 16 corners of the unit cube, centred on the origin, as one line strip
// that covers all 12 edges.
extern const glm::vec3 cube_strip2[16];

// The shapes and layouts below are pure computations, kept apart from the GL
// calls so they can be checked without a window.

// a + (b - a) t, in single precision.
glm::vec3 LinearMix(const glm::vec3& a, const glm::vec3& b, float t);
// Unit sphere as one triangle strip: each icosahedron face cut into
// 2^res rows; 20 (n^2 + 2n) vertices for n = 2^res (levels above 8 build 8).
std::vector<glm::vec3> MakeSphereVertices(unsigned res);
// Open tube of radius 1 around z from -1 to 1 as a triangle strip; at least
// 20 vertices (at most 65536), the last two repeating the first two.
std::vector<glm::vec3> MakeCylinderVertices(unsigned res);
// The cell box line strip: cell (columns = cell vectors) times each cube corner.
std::vector<glm::vec3> MakeBoxVertices(const glm::dmat3& cell);
// Orthographic projection showing 2 tw model units along the longer window side.
glm::mat4 MakeProjection(int w, int h, float tw);
// The six (x, y, u, v) vertices of one glyph quad with the pen at x and f model
// units per glyph pixel; returns the pen position for the next character.
float LayoutGlyphQuad(const Character& ch, float x, float f, float quad[6][4]);
// Label of atom i with element index e: symbol, index, or both run together;
// the index alone when symbols are off.
std::string MakeAtomLabel(unsigned i, unsigned e, bool show_symbol, bool show_index);

class CDisplay {
public:
    // Needs a current OpenGL 3.3 context with its functions loaded.
    CDisplay();
    void Delete();

    void DrawScene(int w, int h);
    void DrawAtoms(unsigned int Program, bool b);
    void DrawBonds();
    void DrawBox(unsigned int Program);

    // user actions
    bool ReadFile(std::string d, std::string f);
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
    // After `data` changed directly: whatever is built from the atoms.
    void OnModelChanged();
    // A pick of atom `index` (NO_ATOM_SELECTED for none): replaces the
    // selection, or with `add` toggles the atom in it (at most four atoms).
    void SelectAtom(unsigned index, bool add);
    void SetAtomScale(bool b) { atom_scale = b ? 0.6f : 1.0f; }
    void SetZoom(float f) { view_zoom = f; }
    void SetFont(float f) { font_scale = f; }
    void ShowBonds(bool b) { is_show_bond = b; }
    void ShowSymbols(bool b) { is_show_symbol = b; }
    void ShowIndex(bool b) { is_show_index = b; }
    void SetClearColor(float r, float g, float b, float a) { CColor = glm::vec4(r, g, b, a); }
    unsigned GetNumberOfAtoms() const { return data.GetTotalAtoms(); }

    // trackball
    void SetTrackLastPosition(float x, float y) { track.SetLastVector(x, y); }
    void SetTrackCurretPosition(float x, float y) { track.SetMouseMotion(x, y); }
    void SetTrackLastRotation() { track.SetLastRotation(); }

    // picking
    // `add`: the pick adds the atom to the selection or removes it (Shift)
    void SetPicking(int cx, int cy, bool add = false);
    void ProcessPicking(bool b);

    // geometry
    void BuildSphere(unsigned res);
    void BuildCylinder(unsigned res);
    void BuildCube();
    void SetSphereBuffer();
    void SetCylinderBuffer();
    // After the model holds a new structure: box, palette and visibility.
    void OnStructureLoaded();
    // Rebuild the picking palette for the current atom count.
    void ResetPalette();

    // labels
    void LoadFont();
    void RenderText();
    void RenderText(unsigned int Program, float s, std::string text);

    CModel data;
    CMouse track;
    CPalette pick;
    bool is_atom_selected = false;
    bool is_picking = false;
    bool is_visible = false;
    bool is_show_bond = false;
    bool is_show_box = false;
    bool is_show_label = false;
    bool is_show_symbol = false;
    bool is_show_index = false;
    // periodic structures: atoms on the cell faces also drawn on the opposite
    // face, and the cells drawn along each axis (1 to 10)
    bool is_show_boundary = false;
    glm::ivec3 v_repeat{1};
    int input_format = INPUT_FILE_TYPE_XYZ;
    unsigned selected_atom = NO_ATOM_SELECTED;
    unsigned selected_zatom = 0;
    std::string selected_symbol;
    std::vector<unsigned> v_selected_atoms;  // selected atoms in click order, at most 4; selected_atom is the last
    bool is_pick_adding = false;             // the pending pick toggles an atom in the selection
    CMeasure measure;                        // lines between the selected atoms
    unsigned int VAOM = 0, VBOM = 0;
    unsigned int VAOB = 0, VBOB = 0;
    unsigned int VAOC = 0, VBOC = 0;
    unsigned int VAOF = 0, VBOF = 0;
    float atom_scale = 1.0f;
    float view_zoom = 1.0f;
    float font_scale = 0.005f;
    float target_width = 0.0f;
    std::vector<glm::vec3> v_sphere;
    int nvtx = 0;
    std::vector<glm::vec3> v_cylinder;
    int cylinder_vertex = 0;
    std::map<char, Character> Characters;
    glm::vec4 CColor{0.0f, 0.0f, 0.0f, 1.0f};
    glm::mat4 Projection{1.0f};
    glm::mat4 mvp{1.0f};
    CShader AtomShader, BondShader, FontShader, PickShader;
    glm::ivec2 pcolor{0};
    // framebuffer size of the frame being drawn; bounds of the picked pixel
    glm::ivec2 frame_size{0};
    // label fonts, tried in order; the first that opens is used
    std::vector<std::string> v_font_paths{
        "/usr/share/fonts/truetype/roboto/hinted/Roboto-Medium.ttf",
        "/usr/share/fonts/truetype/liberation2/LiberationMono-Regular.ttf",
        "/usr/share/fonts/truetype/liberation/LiberationMono-Regular.ttf"};
};

#endif
