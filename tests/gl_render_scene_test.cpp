// The scene drawn for real into a window and read back pixel by pixel:
// atoms, highlight, bonds, cell box, labels, and the shader diagnostics.
#include <fstream>
#include <string>

#include "render_gl_support.h"

using namespace render_test;

namespace {

constexpr unsigned kH = 0, kC = 5, kN = 6, kO = 7;

// Lit colour at the centre of a sphere seen from the front with no rotation:
// normal (0, 0, 1), camera at (0, 0, 3), light at (4, 4, 4).
glm::vec3 LitFront(const glm::vec3& c)
{
    const glm::vec3 light(4.0f);
    const glm::vec3 pos(0, 0, 1);
    const glm::vec3 eye = -(pos + glm::vec3(0, 0, -3));
    const glm::vec3 l = glm::normalize(light + glm::vec3(0, 0, -3) + eye);
    const glm::vec3 n(0, 0, 1);
    const float cos_theta = glm::clamp(glm::dot(n, l), 0.0f, 1.0f);
    const float cos_alpha = glm::clamp(glm::dot(glm::normalize(eye), glm::reflect(-l, n)), 0.0f, 1.0f);
    const float d2 = glm::dot(light - pos, light - pos);
    return 0.2f * c + c * 0.6f * 50.0f * cos_theta / d2 + glm::vec3(0.3f * 0.6f * 50.0f * std::pow(cos_alpha, 5.0f) / d2);
}

// The sphere's normals are interpolated over level-2 facets: a few levels
// of slack in value, little in hue.
bool IsLitAs(const Rgb& p, const glm::vec3& colour)
{
    if (!IsNear(p, LitFront(colour), 5))
        return false;
    const glm::vec3 got(p.r, p.g, p.b);
    const glm::vec3 want = LitFront(colour) * 255.0f;
    return glm::length(got / glm::length(got) - want / glm::length(want)) < 0.05f;
}

// The four pixels around a pixel corner: the shading gradient cancels out, and
// what is left is the colour at the corner itself.
Rgb CornerAverage(int x, int y)
{
    int r = 0, g = 0, b = 0;
    for (int dy = -1; dy <= 0; ++dy)
        for (int dx = -1; dx <= 0; ++dx) {
            unsigned char p[4] = {0, 0, 0, 0};
            glReadPixels(x + dx, y + dy, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
            r += p[0];
            g += p[1];
            b += p[2];
        }
    return {(r + 2) / 4, (g + 2) / 4, (b + 2) / 4};
}

bool IsBackground(const Rgb& p)
{
    return IsNear(p, glm::vec3(kBackground), 1);
}

bool IsGrey(const Rgb& p)
{
    return std::abs(p.r - p.g) <= 3 && std::abs(p.g - p.b) <= 3 && p.r > 60;
}

bool IsRed(const Rgb& p)
{
    return p.r > 40 && p.r > p.g + 30 && p.r > p.b + 30;
}

bool IsYellow(const Rgb& p)
{
    return p.r > 170 && p.g > 170 && p.b < 120;
}

struct Extent {
    int count = 0;
    int xmin = 1 << 20, xmax = -1;
};

template <typename Pred>
Extent Find(const std::vector<unsigned char>& rgb, Pred pred)
{
    Extent e;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const size_t k = (static_cast<size_t>(y) * kWidth + x) * 3;
            if (pred(Rgb{rgb[k], rgb[k + 1], rgb[k + 2]})) {
                ++e.count;
                e.xmin = std::min(e.xmin, x);
                e.xmax = std::max(e.xmax, x);
            }
        }
    return e;
}

}  // namespace

class Scene : public GlTest {};

TEST_F(Scene, AtomsOfTwoElementsAtTheirProjectedPixelsInElementColours)
{
    // box 8 in a 400 x 300 window: 16 units across, 25 pixels per unit
    SetAtoms({{kO, {-2, 0, 0}}, {kN, {2, 0, 0}}}, 8.0f);
    EXPECT_TRUE(display_->is_visible);
    EXPECT_FALSE(display_->is_show_box);
    Frame();
    EXPECT_FLOAT_EQ(display_->target_width, 8.0f);

    // (-2, 0) lands at column (−2 + 8) × 25 = 150, row 150
    const Rgb o = CornerAverage(150, 150);
    const Rgb n = CornerAverage(250, 150);
    EXPECT_TRUE(IsLitAs(o, glm::vec3(atom_rgbs[kO]))) << o;
    EXPECT_TRUE(IsLitAs(n, glm::vec3(atom_rgbs[kN]))) << n;
    EXPECT_GT(o.r, o.b + 40);
    EXPECT_GT(n.b, n.r + 40);

    // radius 0.74 is 18.5 pixels: inside at 15, outside at 25
    EXPECT_FALSE(IsBackground(Pixel(150 + 15, 150)));
    EXPECT_FALSE(IsBackground(Pixel(150, 150 - 15)));
    EXPECT_TRUE(IsBackground(Pixel(150 + 25, 150)));
    EXPECT_TRUE(IsBackground(Pixel(150, 150 + 25)));
    EXPECT_TRUE(IsBackground(Pixel(200, 150)));
    EXPECT_TRUE(IsBackground(Pixel(0, 0)));
    EXPECT_TRUE(IsBackground(Pixel(kWidth - 1, kHeight - 1)));

    // zooming out halves the distances on screen
    display_->SetZoom(2.0f);
    Frame();
    EXPECT_TRUE(IsLitAs(CornerAverage(175, 150), glm::vec3(atom_rgbs[kO])));
    EXPECT_TRUE(IsBackground(Pixel(150, 150)));
}

TEST_F(Scene, OverlappingSpheresMeetAlongTheirTrueIntersection)
{
    // oxygen (red) and nitrogen (blue) of different radii and depths; box 4:
    // 50 pixels per unit. At every pixel the sphere whose front is nearer
    // the viewer shows, up to a pixel at the seam.
    const glm::vec3 co(-0.4f, 0.1f, 0.3f), cn(0.5f, -0.1f, -0.2f);
    const float ro = atom_rgbs[kO].w, rn = atom_rgbs[kN].w;
    SetAtoms({{kO, co}, {kN, cn}}, 4.0f);
    Frame();
    const std::vector<unsigned char> rgb = Screen();
    const float ppu = kWidth / 8.0f;
    auto front = [](const glm::vec2& p, const glm::vec3& c, float r) {
        const float d2 = glm::dot(p - glm::vec2(c), p - glm::vec2(c));
        return d2 < r * r ? c.z + std::sqrt(r * r - d2) : -1e9f;
    };
    int red = 0, blue = 0, seam = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const glm::vec2 p((x + 0.5f - kWidth / 2.0f) / ppu, (y + 0.5f - kHeight / 2.0f) / ppu);
            const float zo = front(p, co, ro), zn = front(p, cn, rn);
            if (zo < -1e8f && zn < -1e8f)
                continue;
            // within a pixel of the seam or the outline either may show
            const float px = 1.0f / ppu;
            if (std::abs(zo - zn) < 2.0f * px || (zo < -1e8f) != (front(p + glm::vec2(px), co, ro) < -1e8f) ||
                (zn < -1e8f) != (front(p + glm::vec2(px), cn, rn) < -1e8f)) {
                ++seam;
                continue;
            }
            const size_t k = (static_cast<size_t>(y) * kWidth + x) * 3;
            const bool is_red = rgb[k] > rgb[k + 2];
            ASSERT_EQ(is_red, zo > zn) << "pixel " << x << ", " << y;
            (is_red ? red : blue)++;
        }
    EXPECT_GT(red, 1000);
    EXPECT_GT(blue, 1000);
}

TEST_F(Scene, SelectedAtomInHighlightColourAndShadingIndependentOfPlace)
{
    SetAtoms({{kO, {-2, 0, 0}}, {kO, {2, 0, 0}}}, 8.0f);
    Frame();
    // the same element looks alike wherever it is
    for (int dx = -12; dx <= 12; dx += 4)
        for (int dy = -12; dy <= 12; dy += 4) {
            const Rgb a = Pixel(150 + dx, 150 + dy);
            const Rgb b = Pixel(250 + dx, 150 + dy);
            EXPECT_TRUE(IsNear(a, glm::vec3(b.r, b.g, b.b) / 255.0f, 1)) << a << " vs " << b;
        }

    display_->is_atom_selected = true;
    display_->selected_atom = 1;
    Frame();
    EXPECT_TRUE(IsLitAs(CornerAverage(150, 150), glm::vec3(atom_rgbs[kO])));
    const Rgb sel = CornerAverage(250, 150);
    EXPECT_TRUE(IsLitAs(sel, glm::vec3(1.5f, 0.75f, 0.45f))) << sel;

    // every atom of a multiple selection is highlighted (off the line that
    // joins their centres)
    display_->v_selected_atoms = {0, 1};
    Frame();
    const Rgb second = CornerAverage(250, 140);
    EXPECT_TRUE(IsNear(CornerAverage(150, 140), glm::vec3(second.r, second.g, second.b) / 255.0f, 1));
    EXPECT_GT(second.g, second.b + 8) << "highlight, not oxygen's red: " << second;
}

TEST_F(Scene, BondsGreyBetweenBondedAtomsOnlyWhileShownAndEvaluated)
{
    // box 6: 400 / 12 = 33.3 pixels per unit
    SetAtoms({{kC, {-1.5f, 0, 0}}, {kC, {1.5f, 0, 0}}, {kH, {0, 2.5f, 0}}}, 6.0f);
    display_->SetAtomScale(true);
    AddBond(0, 1);
    display_->data.is_bond_eval = false;

    const glm::vec3 mid(0, 0, 0);
    const glm::vec3 along(0.6f, 0, 0);
    const glm::vec3 beside(0, 0.25f, 0);         // 2.5 radii off the axis
    const glm::vec3 unbonded(-0.75f, 1.25f, 0);   // between atoms 0 and 2
    auto at = [&](const glm::vec3& p) {
        const glm::ivec2 px = ToPixel(p);
        return Pixel(px.x, px.y);
    };

    display_->ShowBonds(true);
    Frame();  // not evaluated: nothing
    EXPECT_TRUE(IsBackground(at(mid))) << at(mid);

    display_->data.is_bond_eval = true;
    display_->ShowBonds(false);
    Frame();  // evaluated but hidden
    EXPECT_TRUE(IsBackground(at(mid))) << at(mid);

    display_->ShowBonds(true);
    Frame();
    EXPECT_TRUE(IsGrey(at(mid))) << at(mid);
    EXPECT_TRUE(IsGrey(at(along))) << at(along);
    EXPECT_TRUE(IsGrey(at(-along))) << at(-along);
    EXPECT_TRUE(IsBackground(at(beside))) << at(beside);
    EXPECT_TRUE(IsBackground(at(unbonded))) << at(unbonded);

    // a bond along y: the rotation turns the tube onto the bond direction
    display_->data.m_bond_xyz.clear();
    display_->data.v_bond_length.clear();
    display_->data.m_bond_ang.clear();
    display_->data.m_bond_indices.clear();
    AddBond(1, 2);
    Frame();
    EXPECT_TRUE(IsBackground(at(mid)));
    const glm::vec3 a = display_->data.v_float_raw_xyz[1], b = display_->data.v_float_raw_xyz[2];
    EXPECT_TRUE(IsGrey(at((a + b) * 0.5f))) << at((a + b) * 0.5f);

    // the bond radius does not follow the atom scale
    display_->SetAtomScale(false);
    Frame();
    EXPECT_TRUE(IsGrey(at((a + b) * 0.5f)));
}

TEST_F(Scene, RedCellBoxForACrystalHiddenBehindAnAtomInFrontOfIt)
{
    // cell 6 inside a view of box 8: edges at x, y = ±3, z = ±3
    SetAtoms({{kC, {0, 0, 0}}, {kC, {3, 0, 3.5f}}}, 8.0f, true, 6.0f);
    EXPECT_TRUE(display_->is_show_box);
    Frame();

    auto red_in_columns = [&](int row, int x0, int x1) {
        for (int x = x0; x <= x1; ++x)
            if (IsRed(Pixel(x, row)))
                return true;
        return false;
    };
    auto red_in_rows = [&](int column, int y0, int y1) {
        for (int y = y0; y <= y1; ++y)
            if (IsRed(Pixel(column, y)))
                return true;
        return false;
    };
    // right edge (x = 3 at column 275), left edge (column 125), top edge (row 225)
    EXPECT_TRUE(red_in_columns(200, 272, 278));
    EXPECT_TRUE(red_in_columns(100, 122, 128));
    EXPECT_TRUE(red_in_rows(200, 222, 228));
    EXPECT_TRUE(red_in_rows(170, 72, 78));
    // where the atom at z = 3.5 covers the right edge, the atom wins
    EXPECT_FALSE(red_in_columns(150, 272, 278));
    EXPECT_FALSE(red_in_columns(160, 272, 278));

    display_->is_show_box = false;
    Frame();
    EXPECT_FALSE(red_in_columns(200, 272, 278));
    EXPECT_FALSE(red_in_rows(200, 222, 228));
}

TEST_F(Scene, YellowLabelsWithSymbolIndexOrBoth)
{
    if (display_->labels.Characters.empty())
        GTEST_SKIP() << "no label font installed";
    // box 2: 100 pixels per unit, the label lies over the atom at the centre
    std::vector<std::pair<unsigned, glm::vec3>> atoms(13, {kH, {0, 5, 0}});
    atoms[12] = {kC, {0, 0, 0}};
    for (int i = 0; i < 12; ++i)
        atoms[i].second.x = 3.0f + static_cast<float>(i);  // out of sight
    SetAtoms(atoms, 2.0f);

    Frame();
    EXPECT_EQ(Find(Screen(), IsYellow).count, 0);

    display_->is_show_label = true;
    display_->ShowSymbols(true);
    Frame();
    const Extent sym = Find(Screen(), IsYellow);
    display_->ShowSymbols(false);
    display_->ShowIndex(true);
    Frame();
    const Extent idx = Find(Screen(), IsYellow);
    display_->ShowSymbols(true);
    Frame();
    const Extent both = Find(Screen(), IsYellow);

    // every label starts 0.15 left of the centre: column 200 - 15
    EXPECT_GT(sym.count, 30);
    EXPECT_GT(idx.count, 30);
    EXPECT_NEAR(sym.xmin, 186, 5);
    EXPECT_NEAR(idx.xmin, 186, 5);
    EXPECT_NEAR(both.xmin, 186, 5);
    // "C" is one glyph, "12" two, "C12" three
    EXPECT_GT(idx.xmax, sym.xmax + 10);
    EXPECT_GT(both.xmax, idx.xmax + 10);
    EXPECT_GT(both.count, idx.count);

    // symbols off, index off, pass still on: the index
    display_->ShowSymbols(false);
    display_->ShowIndex(false);
    Frame();
    const Extent neither = Find(Screen(), IsYellow);
    EXPECT_EQ(neither.count, idx.count);
}

TEST_F(Scene, FontsLoadedOnceAndNoFontLeavesAnEmptyGlyphTable)
{
    bool any_font = false;
    for (const std::string& path : display_->labels.v_font_paths)
        any_font = any_font || std::ifstream(path).good();
    if (any_font) {
        EXPECT_EQ(display_->labels.Characters.size(), 128u);
    }

    // drop the loaded glyphs and try again with fonts that do not exist
    display_->labels.Characters.clear();
    display_->labels.v_font_paths = {"/nonexistent/tesk/a.ttf", "/nonexistent/tesk/b.ttf"};
    testing::internal::CaptureStdout();
    display_->labels.LoadFont();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out,
              "ERROR::FREETYPE: Failed to load the follwing fonts\n"
              "/nonexistent/tesk/a.ttf\n/nonexistent/tesk/b.ttf\n");
    EXPECT_TRUE(display_->labels.Characters.empty());

    // labels then draw nothing, and nothing goes wrong
    SetAtoms({{kC, {0, 0, 0}}}, 2.0f);
    display_->is_show_label = true;
    display_->ShowSymbols(true);
    Frame();
    EXPECT_EQ(Find(Screen(), IsYellow).count, 0);
}

TEST_F(Scene, ShaderFailuresPrintTheStageAndTheLinkButKeepTheProgram)
{
    const char* good_vs = "#version 330 core\nlayout (location = 0) in vec3 position;\nvoid main() { gl_Position = vec4(position, 1.0); }\n";
    const char* good_fs = "#version 330 core\nout vec4 c;\nvoid main() { c = vec4(1.0); }\n";
    std::string bad = "#version 330 core\nvoid main() {\n";
    for (int i = 0; i < 200; ++i)
        bad += "  undefined_name_" + std::to_string(i) + " = 1;\n";
    bad += "}\n";

    CShader vs_broken;
    testing::internal::CaptureStdout();
    vs_broken.SetShader(bad.c_str(), good_fs);
    std::string out = testing::internal::GetCapturedStdout();
    const std::string head = "ERROR::SHADER::VERTEX::COMPILATION_FAILED\n";
    ASSERT_EQ(out.rfind(head, 0), 0u) << out;
    const size_t link = out.find("ERROR::SHADER::PROGRAM::LINKING_FAILED\n");
    ASSERT_NE(link, std::string::npos) << out;
    // the log between the two messages is cut at 512 characters
    EXPECT_LE(link - head.size(), 512u + 1u);
    EXPECT_NE(vs_broken.Program, 0u);
    EXPECT_EQ(out.find("FRAGMENT"), std::string::npos);

    CShader fine;
    testing::internal::CaptureStdout();
    fine.SetShader(good_vs, good_fs);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    for (GLuint p : {vs_broken.Program, fine.Program})
        glDeleteProgram(p);
}
