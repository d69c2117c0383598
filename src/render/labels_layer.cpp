// Labels: the glyph atlas and the per-frame batch of glyph quads.
#include "render/labels_layer.h"

#include <algorithm>
#include <cmath>
#include <iostream>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <glad/gl.h>
#include <glm/gtc/type_ptr.hpp>

#include "core/elements.h"
#include "render/shaders/font.h"

namespace {

const glm::vec3 kLabelColor(1.0f, 1.0f, 0.0f);
constexpr float kLabelOrigin = -0.15f;  // pen start and baseline, model units
constexpr int kAtlasWidth = 1024;
constexpr int kGlyphPixels = 48;
// The dark rim around the letters, in atlas texels (a twelfth of a glyph
// height): it keeps a label readable on an atom of its own colour.
constexpr int kRim = 4;
constexpr size_t kFloatsPerVertex = 8;  // anchor xyz, plane x y depth, u v

struct Bitmap {
    unsigned code;
    int w, h;
    std::vector<unsigned char> pixels;  // two bytes a texel: the letter's coverage, and its rim's
};

// The glyph's coverage `in` (w x h) with a margin of kRim all round, paired
// with the coverage grown by kRim: every texel takes the most of its
// neighbours within the rim's radius, softened over its last texel.
std::vector<unsigned char> WithRim(const std::vector<unsigned char>& in, int w, int h)
{
    const int W = w + 2 * kRim, H = h + 2 * kRim;
    std::vector<unsigned char> out(static_cast<size_t>(W) * static_cast<size_t>(H) * 2, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            out[(static_cast<size_t>(y + kRim) * W + static_cast<size_t>(x + kRim)) * 2] =
                in[static_cast<size_t>(y) * w + static_cast<size_t>(x)];
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            float most = 0.0f;
            for (int dy = -kRim; dy <= kRim; ++dy)
                for (int dx = -kRim; dx <= kRim; ++dx) {
                    const int sx = x + dx, sy = y + dy;
                    if (sx < 0 || sy < 0 || sx >= W || sy >= H)
                        continue;
                    const float weight = std::clamp(kRim + 0.5f - std::sqrt(float(dx * dx + dy * dy)), 0.0f, 1.0f);
                    most = std::max(most, weight * out[(static_cast<size_t>(sy) * W + static_cast<size_t>(sx)) * 2]);
                }
            out[(static_cast<size_t>(y) * W + static_cast<size_t>(x)) * 2 + 1] = static_cast<unsigned char>(most + 0.5f);
        }
    return out;
}

}  // namespace

float LayoutGlyphQuad(const Character& ch, float x, float f, float quad[6][4])
{
    const float xpos = x + static_cast<float>(ch.Bearing.x) * f;
    const float ypos = kLabelOrigin - static_cast<float>(ch.Size.y - ch.Bearing.y) * f;
    const float w = static_cast<float>(ch.Size.x) * f;
    const float h = static_cast<float>(ch.Size.y) * f;
    const float u0 = ch.Atlas.x, v0 = ch.Atlas.y, u1 = ch.Atlas.z, v1 = ch.Atlas.w;
    // v0 is the bitmap's top row
    const float vertices[6][4] = {
        {xpos, ypos + h, u0, v0}, {xpos, ypos, u0, v1},     {xpos + w, ypos, u1, v1},
        {xpos, ypos + h, u0, v0}, {xpos + w, ypos, u1, v1}, {xpos + w, ypos + h, u1, v0},
    };
    std::copy(&vertices[0][0], &vertices[0][0] + 24, &quad[0][0]);
    return x + static_cast<float>(ch.Advance >> 6) * f;
}

std::string MakeAtomLabel(unsigned i, unsigned e, bool show_symbol, bool show_index)
{
    if (!show_symbol)
        return std::to_string(i);
    const std::string& s = element_symbol[e < species_count ? e : DUMMY_ATOM_INDEX];
    return show_index ? s + std::to_string(i) : s;
}

CLabelsLayer::CLabelsLayer()
{
    FontShader.SetShader(font_vs, font_frag);
    glGenVertexArrays(1, &VAOF);
    glGenBuffers(1, &VBOF);
    glBindVertexArray(VAOF);
    glBindBuffer(GL_ARRAY_BUFFER, VBOF);
    const GLsizei stride = kFloatsPerVertex * sizeof(float);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, stride, nullptr);
    glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(3 * sizeof(float)));
    glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(6 * sizeof(float)));
    for (GLuint a = 0; a < 3; ++a)
        glEnableVertexAttribArray(a);
    glBindVertexArray(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    LoadFont();
}

void CLabelsLayer::Delete()
{
    glDeleteVertexArrays(1, &VAOF);
    glDeleteBuffers(1, &VBOF);
    glDeleteTextures(1, &TEXF);
    VAOF = VBOF = TEXF = 0;
    is_uploaded = false;
    if (FontShader.Program != 0)
        glDeleteProgram(FontShader.Program);
    FontShader.Program = 0;
}

void CLabelsLayer::LoadFont()
{
    is_uploaded = false;
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

    // Without a face every glyph would fail the same way: the table stays
    // empty and the labels draw nothing.
    std::vector<Bitmap> bitmaps;
    if (face != nullptr) {
        FT_Set_Pixel_Sizes(face, 0, kGlyphPixels);
        for (unsigned c = 0; c < 128; ++c) {
            if (FT_Load_Char(face, c, FT_LOAD_RENDER) != 0) {
                std::cout << "ERROR::FREETYTPE: Failed to load Glyph" << std::endl;
                continue;
            }
            const FT_Bitmap& b = face->glyph->bitmap;
            Bitmap bm{c, static_cast<int>(b.width), static_cast<int>(b.rows), {}};
            bm.w = std::min(bm.w, kAtlasWidth - 2 - 2 * kRim);
            std::vector<unsigned char> coverage(static_cast<size_t>(bm.w) * static_cast<size_t>(bm.h));
            for (int y = 0; y < bm.h; ++y)
                std::copy(b.buffer + static_cast<ptrdiff_t>(y) * b.pitch,
                          b.buffer + static_cast<ptrdiff_t>(y) * b.pitch + bm.w,
                          coverage.begin() + static_cast<ptrdiff_t>(y) * bm.w);
            Character ch;
            // an empty glyph (space) stays empty: no rim around nothing
            if (bm.w > 0 && bm.h > 0) {
                bm.pixels = WithRim(coverage, bm.w, bm.h);
                bm.w += 2 * kRim;
                bm.h += 2 * kRim;
                ch.Bearing = glm::ivec2(face->glyph->bitmap_left - kRim, face->glyph->bitmap_top + kRim);
            } else {
                bm.w = bm.h = 0;
                ch.Bearing = glm::ivec2(face->glyph->bitmap_left, face->glyph->bitmap_top);
            }
            ch.Size = glm::ivec2(bm.w, bm.h);
            ch.Advance = static_cast<unsigned>(face->glyph->advance.x);
            if (Characters.emplace(static_cast<char>(c), ch).second)
                bitmaps.push_back(std::move(bm));
        }
        FT_Done_Face(face);
    }
    if (library_ok)
        FT_Done_FreeType(ft);

    // Shelf packing, one pixel apart so linear filtering never bleeds.
    int x = 1, y = 1, shelf = 0;
    std::vector<glm::ivec2> place(bitmaps.size());
    for (size_t k = 0; k < bitmaps.size(); ++k) {
        if (x + bitmaps[k].w + 1 > kAtlasWidth) {
            x = 1;
            y += shelf + 1;
            shelf = 0;
        }
        place[k] = glm::ivec2(x, y);
        x += bitmaps[k].w + 1;
        shelf = std::max(shelf, bitmaps[k].h);
    }
    const int height = y + shelf + 1;
    std::vector<unsigned char> atlas(static_cast<size_t>(kAtlasWidth) * static_cast<size_t>(height) * 2, 0);
    for (size_t k = 0; k < bitmaps.size(); ++k) {
        const Bitmap& b = bitmaps[k];
        for (int row = 0; row < b.h; ++row)
            std::copy(b.pixels.begin() + static_cast<ptrdiff_t>(row) * b.w * 2,
                      b.pixels.begin() + static_cast<ptrdiff_t>(row + 1) * b.w * 2,
                      atlas.begin() + (static_cast<ptrdiff_t>(place[k].y + row) * kAtlasWidth + place[k].x) * 2);
        Character& ch = Characters[static_cast<char>(b.code)];
        ch.Atlas = glm::vec4(static_cast<float>(place[k].x) / kAtlasWidth, static_cast<float>(place[k].y) / height,
                             static_cast<float>(place[k].x + b.w) / kAtlasWidth,
                             static_cast<float>(place[k].y + b.h) / height);
    }

    if (TEXF == 0)
        glGenTextures(1, &TEXF);
    glBindTexture(GL_TEXTURE_2D, TEXF);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RG8, kAtlasWidth, height, 0, GL_RG, GL_UNSIGNED_BYTE, atlas.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glBindTexture(GL_TEXTURE_2D, 0);
}

void CLabelsLayer::Draw(const CModel& m, const std::vector<unsigned>& labelled, const glm::mat4& P,
                        const glm::mat4& V, const glm::mat4& Model, float scale, float font_scale, bool show_symbol,
                        bool show_index, unsigned version)
{
    const glm::mat4 mv = V * Model;
    const unsigned shows = (show_symbol ? 1u : 0u) | (show_index ? 2u : 0u);
    // a view drawn again (a still frame): the glyphs are where they were
    const bool same = is_uploaded && version == u_uploaded_version && shows == u_uploaded_shows && P == m_uploaded_p &&
                      mv == m_uploaded_mv && glm::vec2(scale, font_scale) == m_uploaded_scales &&
                      labelled == v_uploaded_labels;
    if (!same) {
        Build(m, labelled, P, mv, scale, font_scale, show_symbol, show_index);
        is_uploaded = false;
        v_uploaded_labels = labelled;
        m_uploaded_p = P;
        m_uploaded_mv = mv;
        m_uploaded_scales = glm::vec2(scale, font_scale);
        u_uploaded_version = version;
        u_uploaded_shows = shows;
    }

    FontShader.Use();
    const GLuint prog = FontShader.Program;
    glUniformMatrix4fv(glGetUniformLocation(prog, "P"), 1, GL_FALSE, glm::value_ptr(P));
    glUniformMatrix4fv(glGetUniformLocation(prog, "MV"), 1, GL_FALSE, glm::value_ptr(mv));
    glUniform3fv(glGetUniformLocation(prog, "textColor"), 1, glm::value_ptr(kLabelColor));
    if (v_vertices.empty())
        return;
    if (!same) {
        glBindBuffer(GL_ARRAY_BUFFER, VBOF);
        // a fresh store each time: the driver need not wait for the last draw
        glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(v_vertices.size() * sizeof(float)), v_vertices.data(),
                     GL_STREAM_DRAW);
        glBindBuffer(GL_ARRAY_BUFFER, 0);
    }
    is_uploaded = true;
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, TEXF);
    glBindVertexArray(VAOF);
    // on top of the scene: a bond or atom in front hides no label
    const GLboolean depth = glIsEnabled(GL_DEPTH_TEST);
    glDisable(GL_DEPTH_TEST);
    glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(v_vertices.size() / kFloatsPerVertex));
    if (depth)
        glEnable(GL_DEPTH_TEST);
    glBindVertexArray(0);
    glBindTexture(GL_TEXTURE_2D, 0);
}

void CLabelsLayer::Build(const CModel& m, const std::vector<unsigned>& labelled, const glm::mat4& P,
                         const glm::mat4& mv, float scale, float font_scale, bool show_symbol, bool show_index)
{
    const size_t n = std::min(m.v_positions.size(), m.v_elements.size());
    v_vertices.clear();
    // half the visible extent in view space, and how far a label reaches
    // from its atom: up to a glyph height, and its text's width
    const float hx = 1.0f / std::abs(P[0][0]), hy = 1.0f / std::abs(P[1][1]);
    const float glyph = 1.5f * kGlyphPixels * std::abs(font_scale) - kLabelOrigin;
    std::string text;
    for (const unsigned i : labelled) {
        if (i >= n)
            continue;
        const glm::vec3& p = m.v_positions[i];
        const glm::vec3 a = glm::vec3(mv * glm::vec4(p, 1.0f));
        // under a perspective the visible extent grows with the distance
        const float reach = P[2][3] != 0.0f ? std::max(-a.z, 0.0f) : 1.0f;
        if (a.y - glyph > hy * reach || a.y + glyph < -hy * reach || a.x - glyph > hx * reach)
            continue;
        const unsigned e = m.v_elements[i];
        text = MakeAtomLabel(static_cast<unsigned>(i), e, show_symbol, show_index);
        if (a.x + glyph * static_cast<float>(text.size() + 1) < -hx * reach)
            continue;
        const float s = atom_rgbs[e < species_count ? e : DUMMY_ATOM_INDEX].w * scale;
        float x = kLabelOrigin;
        for (char c : text) {
            // A character outside the table gets an empty entry: it draws
            // nothing and does not move the pen.
            const Character& ch = Characters[c];
            float quad[6][4];
            x = LayoutGlyphQuad(ch, x, font_scale, quad);
            if (ch.Size.x == 0 || ch.Size.y == 0)
                continue;
            for (const auto& q : quad)
                v_vertices.insert(v_vertices.end(), {p.x, p.y, p.z, q[0], q[1], s, q[2], q[3]});
        }
    }
}
