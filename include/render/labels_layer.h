// Text labels over the atoms: the glyphs of the label font rasterised once
// into one atlas texture, their metrics in the label program, and per view one
// record per label in view (its atom's position and its text), drawn with one
// call that lays the glyphs out on the GPU.
#ifndef TESK_RENDER_LABELS_LAYER_H
#define TESK_RENDER_LABELS_LAYER_H

#include <map>
#include <string>
#include <vector>

#include <glm/glm.hpp>

#include <vector>

#include <glm/glm.hpp>
#include "render/shader.h"

// One rasterised glyph of the label font.
struct Character {
    glm::ivec2 Size{0};        // bitmap width and rows, pixels
    glm::ivec2 Bearing{0};     // pen to left edge, baseline to top edge, pixels
    unsigned int Advance = 0;  // pen advance in 1/64 pixel
    glm::vec4 Atlas{0.0f};     // u0, v0 (bitmap's top left), u1, v1 in the atlas
};

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
    void Draw(const std::vector<glm::vec3>& positions, const std::vector<unsigned>& elements,
              const std::vector<unsigned>& labelled, const glm::mat4& P, const glm::mat4& V, const glm::mat4& Model,
              float scale, float font_scale, bool show_symbol, bool show_index, unsigned version);

    std::map<char, Character> Characters;
    unsigned int TEXF = 0;            // the glyph atlas
    unsigned int VAOF = 0;            // no attributes: the shaders read the records' buffer texture
    unsigned int VBOF = 0, TBOF = 0;  // the labels' records
    unsigned u_capacity = 0;          // records VBOF has room for
    CShader FontShader;
    // Per label: its atom's position and its plane's depth (float bits), then
    // its text, four characters a word.
    struct CRecord {
        glm::uvec4 at, text;
    };
    std::vector<CRecord> v_records;  // those of the labels drawn
    // The labels of a still view drawn once into a texture, laid over every
    // frame of that view: llvmpipe pays for each small label's blocks of
    // pixels far more than for one pass over the window.
    unsigned int u_cache_fbo = 0, u_cache_texture = 0;
    glm::ivec2 m_cache_size{0};
    // per label drawn, where it lies (lower left, upper right, in device
    // coordinates); and the quads the texture is laid over the frame with
    std::vector<glm::vec4> v_label_rects, v_cache_rects;
    unsigned int u_rects_vbo = 0, u_rects_tbo = 0;
    unsigned u_rects_capacity = 0;
    bool is_cached = false;  // the texture holds the uploaded labels
    CShader CacheShader;

private:
    // The uploaded labels, drawn into the target bound, of `frame` pixels.
    void DrawRecords(glm::ivec2 frame);
    // The uploaded labels into the texture (made or sized to `frame` pixels
    // first); false when it cannot be had.
    bool DrawCache(glm::ivec2 frame);
    // The quads over the blocks of a `frame`-pixel viewport that the labels reach, into v_cache_rects.
    void CacheRects(glm::ivec2 frame);
    // The font's metrics into the program's glyph table, and v_glyph_box, v_advance.
    void SetGlyphTable();
    std::vector<glm::vec4> v_glyph_box;  // per character code, as the program's GlyphBox
    std::vector<float> v_advance;
    // The records of the labels into v_records.
    void Build(const std::vector<glm::vec3>& positions, const std::vector<unsigned>& elements,
               const std::vector<unsigned>& labelled, const glm::mat4& P, const glm::mat4& mv, float scale,
               float font_scale, bool show_symbol, bool show_index);
    // what the uploaded glyphs were made for
    std::vector<unsigned> v_uploaded_labels;
    glm::mat4 m_uploaded_p{0.0f}, m_uploaded_mv{0.0f};
    glm::vec2 m_uploaded_scales{0.0f};
    unsigned u_uploaded_version = 0, u_uploaded_shows = 0;
    bool is_uploaded = false;
    // label fonts, tried in order; the first that opens is used
    std::vector<std::string> v_font_paths{"/usr/share/fonts/truetype/roboto/hinted/Roboto-Medium.ttf",
                                          "/usr/share/fonts/truetype/liberation2/LiberationMono-Regular.ttf",
                                          "/usr/share/fonts/truetype/liberation/LiberationMono-Regular.ttf"};
};

#endif
