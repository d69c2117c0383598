// Text labels over the atoms: the glyphs of the label font rasterised once
// into one atlas texture, and per frame one vertex buffer holding every glyph
// quad of every label in view, drawn with one call.
#ifndef TESK_RENDER_LABELS_LAYER_H
#define TESK_RENDER_LABELS_LAYER_H

#include <map>
#include <string>
#include <vector>

#include <glm/glm.hpp>

#include "model/model.h"
#include "render/shader.h"

// One rasterised glyph of the label font.
struct Character {
    glm::ivec2 Size{0};          // bitmap width and rows, pixels
    glm::ivec2 Bearing{0};       // pen to left edge, baseline to top edge, pixels
    unsigned int Advance = 0;    // pen advance in 1/64 pixel
    glm::vec4 Atlas{0.0f};       // u0, v0 (bitmap's top left), u1, v1 in the atlas
};

// The six (x, y, u, v) vertices of one glyph quad with the pen at x and f model
// units per glyph pixel; returns the pen position for the next character.
float LayoutGlyphQuad(const Character& ch, float x, float f, float quad[6][4]);
// Label of atom i with element index e: symbol, index, or both run together;
// the index alone when symbols are off.
std::string MakeAtomLabel(unsigned i, unsigned e, bool show_symbol, bool show_index);

class CLabelsLayer {
public:
    // Needs a current OpenGL 3.3 context; loads the font.
    CLabelsLayer();
    void Delete();

    // Rasterises characters 0 to 127 of the first font that opens into the
    // atlas; messages on standard output.
    void LoadFont();
    // Labels of the atoms listed (numbers of the model's atoms) whose label
    // may be in view; `scale` is the atom scale. `version` changes whenever
    // the atoms do: the same list in the same view and version draws the
    // glyphs uploaded last time again.
    void Draw(const CModel& m, const std::vector<unsigned>& labelled, const glm::mat4& P, const glm::mat4& V,
              const glm::mat4& Model, float scale, float font_scale, bool show_symbol, bool show_index,
              unsigned version);

    std::map<char, Character> Characters;
    unsigned int TEXF = 0;           // the glyph atlas
    unsigned int VAOF = 0, VBOF = 0;
    CShader FontShader;
    std::vector<float> v_vertices;   // this frame's glyph vertices, kept to reuse the memory
private:
    // The glyph vertices of the labels into v_vertices.
    void Build(const CModel& m, const std::vector<unsigned>& labelled, const glm::mat4& P, const glm::mat4& mv,
               float scale, float font_scale, bool show_symbol, bool show_index);
    // what the uploaded glyphs were made for
    std::vector<unsigned> v_uploaded_labels;
    glm::mat4 m_uploaded_p{0.0f}, m_uploaded_mv{0.0f};
    glm::vec2 m_uploaded_scales{0.0f};
    unsigned u_uploaded_version = 0, u_uploaded_shows = 0;
    bool is_uploaded = false;
    // label fonts, tried in order; the first that opens is used
    std::vector<std::string> v_font_paths{
        "/usr/share/fonts/truetype/roboto/hinted/Roboto-Medium.ttf",
        "/usr/share/fonts/truetype/liberation2/LiberationMono-Regular.ttf",
        "/usr/share/fonts/truetype/liberation/LiberationMono-Regular.ttf"};
};

#endif
