// Labels: the glyph atlas, the font's table in the label program, and one
// record per label.
#include "render/labels_layer.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <limits>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <glad/gl.h>
#include <glm/gtc/type_ptr.hpp>

#include "render/quad_batch.h"
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
constexpr int kLetters = 12;      // characters a label holds at most, as in the shader
constexpr GLsizei kBatch = 64;    // labels per instance, as in the shader
constexpr GLint kLabelsUnit = 1;  // texture unit of the records
constexpr int kCell = 8;          // pixels along a block where a still view's labels are laid over

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
            out[(static_cast<size_t>(y) * W + static_cast<size_t>(x)) * 2 + 1] =
                static_cast<unsigned char>(most + 0.5f);
        }
    return out;
}

}  // namespace

std::string MakeAtomLabel(unsigned i, unsigned e, bool show_symbol, bool show_index)
{
    if (!show_symbol)
        return std::to_string(i);
    const std::string& s = element_symbol[e < species_count ? e : DUMMY_ATOM_INDEX];
    return show_index ? s + std::to_string(i) : s;
}

CLabelsLayer::CLabelsLayer()
{
    FontShader.SetShader(BeforeMain(font_vs, font_glyphs_glsl).c_str(),
                         BeforeMain(font_frag, font_glyphs_glsl).c_str());
    glGenVertexArrays(1, &VAOF);
    glGenBuffers(1, &VBOF);
    glGenTextures(1, &TBOF);
    LoadFont();
}

void CLabelsLayer::Delete()
{
    glDeleteVertexArrays(1, &VAOF);
    glDeleteBuffers(1, &VBOF);
    glDeleteTextures(1, &TBOF);
    glDeleteTextures(1, &TEXF);
    glDeleteFramebuffers(1, &u_cache_fbo);
    glDeleteTextures(1, &u_cache_texture);
    glDeleteBuffers(1, &u_rects_vbo);
    glDeleteTextures(1, &u_rects_tbo);
    VAOF = VBOF = TBOF = TEXF = u_cache_fbo = u_cache_texture = u_rects_vbo = u_rects_tbo = 0;
    u_capacity = u_rects_capacity = 0;
    m_cache_size = glm::ivec2(0);
    is_cached = false;
    is_uploaded = false;
    for (CShader* shader : {&FontShader, &CacheShader}) {
        if (shader->Program != 0)
            glDeleteProgram(shader->Program);
        shader->Program = 0;
    }
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
    SetGlyphTable();
}

void CLabelsLayer::SetGlyphTable()
{
    std::vector<glm::vec4>& box = v_glyph_box;
    std::vector<float>& advance = v_advance;
    box.assign(128, glm::vec4(1.0f, 0.0f, 0.0f, 0.0f));
    advance.assign(128, 0.0f);
    std::vector<glm::vec4> atlas(128, glm::vec4(0.0f));
    for (const auto& [c, ch] : Characters) {
        const size_t k = static_cast<unsigned char>(c);
        if (k >= 128)
            continue;
        if (ch.Size.x > 0 && ch.Size.y > 0)
            box[k] = glm::vec4(ch.Bearing.x, ch.Bearing.y - ch.Size.y, ch.Bearing.x + ch.Size.x, ch.Bearing.y);
        atlas[k] = ch.Atlas;
        advance[k] = static_cast<float>(ch.Advance >> 6);
    }
    if (FontShader.Program == 0)
        return;
    FontShader.Use();
    const GLuint prog = FontShader.Program;
    glUniform4fv(glGetUniformLocation(prog, "GlyphBox"), 128, glm::value_ptr(box[0]));
    glUniform4fv(glGetUniformLocation(prog, "GlyphAtlas"), 128, glm::value_ptr(atlas[0]));
    glUniform1fv(glGetUniformLocation(prog, "Advance"), 128, advance.data());
    glUniform1i(glGetUniformLocation(prog, "Labels"), kLabelsUnit);
    glUniform1i(glGetUniformLocation(prog, "text"), 0);
    glUseProgram(0);
}

void CLabelsLayer::Draw(const std::vector<glm::vec3>& positions, const std::vector<unsigned>& elements,
                        const std::vector<unsigned>& labelled, const glm::mat4& P, const glm::mat4& V,
                        const glm::mat4& Model, float scale, float font_scale, bool show_symbol, bool show_index,
                        unsigned version)
{
    const glm::mat4 mv = V * Model;
    const unsigned shows = (show_symbol ? 1u : 0u) | (show_index ? 2u : 0u);
    // a view drawn again (a still frame): the glyphs are where they were
    const bool same = is_uploaded && version == u_uploaded_version && shows == u_uploaded_shows && P == m_uploaded_p &&
                      mv == m_uploaded_mv && glm::vec2(scale, font_scale) == m_uploaded_scales &&
                      labelled == v_uploaded_labels;
    if (!same) {
        Build(positions, elements, labelled, P, mv, scale, font_scale, show_symbol, show_index);
        is_uploaded = false;
        v_uploaded_labels = labelled;
        m_uploaded_p = P;
        m_uploaded_mv = mv;
        m_uploaded_scales = glm::vec2(scale, font_scale);
        u_uploaded_version = version;
        u_uploaded_shows = shows;
        is_cached = false;
        if (!v_records.empty())
            FillRecordBuffer(VBOF, TBOF, GL_RGBA32UI, v_records.data(), static_cast<unsigned>(v_records.size()),
                             sizeof(CRecord), u_capacity);
    }
    is_uploaded = true;
    if (v_records.empty())
        return;
    GLint viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, viewport);
    const glm::ivec2 frame(viewport[2], viewport[3]);
    // The same labels again: from the texture (made in the second frame of
    // a view), when they blend as the scene pass blends them (over, by their
    // coverage). The colours are those of drawing them directly, to a step
    // of rounding; the window's alpha channel, which nothing shows, takes
    // their coverage as alpha.
    GLint source = 0, target = 0;
    glGetIntegerv(GL_BLEND_SRC_RGB, &source);
    glGetIntegerv(GL_BLEND_DST_RGB, &target);
    const bool over = glIsEnabled(GL_BLEND) && !glIsEnabled(GL_SCISSOR_TEST) && source == GL_SRC_ALPHA &&
                      target == GL_ONE_MINUS_SRC_ALPHA;
    if (!same || !over || frame.x <= 0 || frame.y <= 0 ||
        ((!is_cached || frame != m_cache_size) && !DrawCache(frame))) {
        DrawRecords(frame);
        return;
    }
    GLint alpha_source = 0, alpha_target = 0;
    glGetIntegerv(GL_BLEND_SRC_ALPHA, &alpha_source);
    glGetIntegerv(GL_BLEND_DST_ALPHA, &alpha_target);
    const GLboolean depth = glIsEnabled(GL_DEPTH_TEST);
    glDisable(GL_DEPTH_TEST);
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    CacheShader.Use();
    glUniform2i(glGetUniformLocation(CacheShader.Program, "Corner"), viewport[0], viewport[1]);
    glActiveTexture(GL_TEXTURE0 + kLabelsUnit);
    glBindTexture(GL_TEXTURE_BUFFER, u_rects_tbo);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, u_cache_texture);
    glBindVertexArray(VAOF);
    glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(6 * v_cache_rects.size()));
    glActiveTexture(GL_TEXTURE0 + kLabelsUnit);
    glBindTexture(GL_TEXTURE_BUFFER, 0);
    glActiveTexture(GL_TEXTURE0);
    glBindVertexArray(0);
    glBindTexture(GL_TEXTURE_2D, 0);
    glBlendFuncSeparate(source, target, alpha_source, alpha_target);
    if (depth)
        glEnable(GL_DEPTH_TEST);
}

bool CLabelsLayer::DrawCache(glm::ivec2 frame)
{
    if (CacheShader.Program == 0) {
        CacheShader.SetShader(label_cache_vs, label_cache_frag);
        CacheShader.Use();
        glUniform1i(glGetUniformLocation(CacheShader.Program, "Rects"), kLabelsUnit);
        glUniform1i(glGetUniformLocation(CacheShader.Program, "Cache"), 0);
    }
    if (u_cache_fbo == 0) {
        glGenFramebuffers(1, &u_cache_fbo);
        glGenTextures(1, &u_cache_texture);
        glGenBuffers(1, &u_rects_vbo);
        glGenTextures(1, &u_rects_tbo);
    }
    GLint target = 0, read = 0, viewport[4] = {0, 0, 0, 0};
    GLfloat clear[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &target);
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &read);
    glGetIntegerv(GL_VIEWPORT, viewport);
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    if (frame != m_cache_size) {
        glBindTexture(GL_TEXTURE_2D, u_cache_texture);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, frame.x, frame.y, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glBindTexture(GL_TEXTURE_2D, 0);
        glBindFramebuffer(GL_FRAMEBUFFER, u_cache_fbo);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, u_cache_texture, 0);
        m_cache_size = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE ? frame : glm::ivec2(0);
    }
    const bool made = m_cache_size == frame;
    if (made) {
        glBindFramebuffer(GL_FRAMEBUFFER, u_cache_fbo);
        glViewport(0, 0, frame.x, frame.y);
        glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        // colour weighted by coverage, and coverage, as the labels lie over each other
        GLint source = 0, target_rgb = 0, alpha_source = 0, alpha_target = 0;
        glGetIntegerv(GL_BLEND_SRC_RGB, &source);
        glGetIntegerv(GL_BLEND_DST_RGB, &target_rgb);
        glGetIntegerv(GL_BLEND_SRC_ALPHA, &alpha_source);
        glGetIntegerv(GL_BLEND_DST_ALPHA, &alpha_target);
        glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
        DrawRecords(frame);
        glBlendFuncSeparate(source, target_rgb, alpha_source, alpha_target);
        glClearColor(clear[0], clear[1], clear[2], clear[3]);
    }
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, static_cast<GLuint>(target));
    glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(read));
    glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
    if (made) {
        CacheRects(frame);
        FillRecordBuffer(u_rects_vbo, u_rects_tbo, GL_RGBA32F, v_cache_rects.data(),
                         static_cast<unsigned>(v_cache_rects.size()), sizeof(glm::vec4), u_rects_capacity);
    }
    is_cached = made;
    return made;
}

void CLabelsLayer::CacheRects(glm::ivec2 frame)
{
    // the blocks a label's pixels (and one more all round) reach
    const int across = (frame.x + kCell - 1) / kCell, down = (frame.y + kCell - 1) / kCell;
    std::vector<unsigned char> used(static_cast<size_t>(across) * static_cast<size_t>(down), 0);
    const glm::vec2 size(frame);
    for (const glm::vec4& r : v_label_rects) {
        const glm::vec2 lo =
            glm::clamp((glm::vec2(r.x, r.y) * 0.5f + 0.5f) * size - 1.0f, glm::vec2(0.0f), size - 1.0f);
        const glm::vec2 hi =
            glm::clamp((glm::vec2(r.z, r.w) * 0.5f + 0.5f) * size + 1.0f, glm::vec2(0.0f), size - 1.0f);
        if (!(lo.x <= hi.x && lo.y <= hi.y))
            continue;
        for (int j = static_cast<int>(lo.y) / kCell; j <= static_cast<int>(hi.y) / kCell; ++j)
            for (int i = static_cast<int>(lo.x) / kCell; i <= static_cast<int>(hi.x) / kCell; ++i)
                used[static_cast<size_t>(j) * static_cast<size_t>(across) + static_cast<size_t>(i)] = 1;
    }
    // one quad per run of used blocks in a row
    v_cache_rects.clear();
    auto ndc = [&](int pixel, float extent) {
        return std::min(static_cast<float>(pixel), extent) / extent * 2.0f - 1.0f;
    };
    for (int j = 0; j < down; ++j)
        for (int i = 0; i < across;) {
            if (!used[static_cast<size_t>(j) * static_cast<size_t>(across) + static_cast<size_t>(i)]) {
                ++i;
                continue;
            }
            const int first = i;
            while (i < across && used[static_cast<size_t>(j) * static_cast<size_t>(across) + static_cast<size_t>(i)])
                ++i;
            v_cache_rects.emplace_back(ndc(first * kCell, size.x), ndc(j * kCell, size.y), ndc(i * kCell, size.x),
                                       ndc((j + 1) * kCell, size.y));
        }
}

void CLabelsLayer::DrawRecords(glm::ivec2 frame)
{
    FontShader.Use();
    const GLuint prog = FontShader.Program;
    glUniformMatrix4fv(glGetUniformLocation(prog, "P"), 1, GL_FALSE, glm::value_ptr(m_uploaded_p));
    glUniformMatrix4fv(glGetUniformLocation(prog, "MV"), 1, GL_FALSE, glm::value_ptr(m_uploaded_mv));
    glUniform3fv(glGetUniformLocation(prog, "textColor"), 1, glm::value_ptr(kLabelColor));
    glUniform1f(glGetUniformLocation(prog, "F"), m_uploaded_scales.y);
    glUniform1f(glGetUniformLocation(prog, "Origin"), kLabelOrigin);
    glUniform2f(glGetUniformLocation(prog, "Frame"), static_cast<float>(frame.x), static_cast<float>(frame.y));
    const GLsizei count = static_cast<GLsizei>(v_records.size());
    glUniform1i(glGetUniformLocation(prog, "Count"), count);
    glActiveTexture(GL_TEXTURE0 + kLabelsUnit);
    glBindTexture(GL_TEXTURE_BUFFER, TBOF);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, TEXF);
    glBindVertexArray(VAOF);
    // on top of the scene: a bond or atom in front hides no label
    const GLboolean depth = glIsEnabled(GL_DEPTH_TEST);
    glDisable(GL_DEPTH_TEST);
    glDrawArraysInstanced(GL_TRIANGLES, 0, 3 * kBatch, (count + kBatch - 1) / kBatch);
    if (depth)
        glEnable(GL_DEPTH_TEST);
    glBindVertexArray(0);
    glBindTexture(GL_TEXTURE_2D, 0);
    glActiveTexture(GL_TEXTURE0 + kLabelsUnit);
    glBindTexture(GL_TEXTURE_BUFFER, 0);
    glActiveTexture(GL_TEXTURE0);
}

void CLabelsLayer::Build(const std::vector<glm::vec3>& positions, const std::vector<unsigned>& elements,
                         const std::vector<unsigned>& labelled, const glm::mat4& P, const glm::mat4& mv, float scale,
                         float font_scale, bool show_symbol, bool show_index)
{
    const size_t n = std::min(positions.size(), elements.size());
    v_records.clear();
    // half the visible extent in view space, and how far a label reaches
    // from its atom: up to a glyph height, and its text's width
    const float hx = 1.0f / std::abs(P[0][0]), hy = 1.0f / std::abs(P[1][1]);
    const float glyph = 1.5f * kGlyphPixels * std::abs(font_scale) - kLabelOrigin;
    std::string text;
    v_label_rects.clear();
    for (const unsigned i : labelled) {
        if (i >= n)
            continue;
        const glm::vec3& p = positions[i];
        const glm::vec3 a = glm::vec3(mv * glm::vec4(p, 1.0f));
        // under a perspective the visible extent grows with the distance
        const float reach = P[2][3] != 0.0f ? std::max(-a.z, 0.0f) : 1.0f;
        if (a.y - glyph > hy * reach || a.y + glyph < -hy * reach || a.x - glyph > hx * reach)
            continue;
        const unsigned e = elements[i];
        text = MakeAtomLabel(static_cast<unsigned>(i), e, show_symbol, show_index);
        if (a.x + glyph * static_cast<float>(text.size() + 1) < -hx * reach)
            continue;
        const float s = atom_rgbs[e < species_count ? e : DUMMY_ATOM_INDEX].w * scale;
        CRecord r{glm::uvec4(glm::floatBitsToUint(p), glm::floatBitsToUint(s)), glm::uvec4(0u)};
        // a character outside the table draws nothing and does not move the pen
        const size_t letters = std::min(text.size(), static_cast<size_t>(kLetters));
        for (size_t k = 0, put = 0; k < letters; ++k) {
            const unsigned c = static_cast<unsigned char>(text[k]);
            if (c > 0 && c < 128) {
                r.text[put / 4] |= c << (8 * (put % 4));
                ++put;
            }
        }
        v_records.push_back(r);
        // the quad over the glyphs' bitmaps, as the program lays them out
        glm::vec2 lo(std::numeric_limits<float>::max()), hi(-std::numeric_limits<float>::max());
        float pen = 0.0f;
        for (size_t k = 0; k < letters; ++k) {
            const unsigned c = static_cast<unsigned char>(text[k]);
            if (c == 0 || c >= v_glyph_box.size())
                continue;
            const glm::vec4& b = v_glyph_box[c];
            if (b.z > b.x) {
                lo = glm::min(lo, glm::vec2(b.x + pen, b.y));
                hi = glm::max(hi, glm::vec2(b.z + pen, b.w));
            }
            pen += v_advance[c];
        }
        if (!(lo.x <= hi.x))
            continue;
        const glm::vec4 at = mv * glm::vec4(p, 1.0f);
        const glm::vec4 c0 = P * (at + glm::vec4(kLabelOrigin + font_scale * lo, s, 0.0f));
        const glm::vec4 c1 = P * (at + glm::vec4(kLabelOrigin + font_scale * hi, s, 0.0f));
        // one that reaches behind the eye may cover anything
        if (c0.w > 0.0f && c1.w > 0.0f)
            v_label_rects.emplace_back(glm::min(glm::vec2(c0) / c0.w, glm::vec2(c1) / c1.w),
                                       glm::max(glm::vec2(c0) / c0.w, glm::vec2(c1) / c1.w));
        else
            v_label_rects.emplace_back(-1.0f, -1.0f, 1.0f, 1.0f);
    }
}
