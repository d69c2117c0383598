// Figures without a display: views along a cell's directions, the command
// line's --render run with DISPLAY unset, and offscreen images drawn in tiles
// through the same EGL context --render uses.
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <glad/gl.h>
#include <stb/stb_image.h>

#include "render/display.h"
#include "model/convert.h"
#include "ui/command_line.h"
#include "render/egl_context.h"
#include "render/offscreen.h"
#include "render/view.h"
#include "test_support.h"

namespace {

// A cubic cell of 4 A with two atoms near opposite corners: the view is
// centred on the atoms, and so on the cell, and the middle row and column of
// the picture cross only the box.
const char* const CUBE = "cube\n1.0\n4 0 0\n0 4 0\n0 0 4\nH\n2\nDirect\n0.1 0.1 0.1\n0.9 0.9 0.9\n";
const std::string RUTILE = std::string(TESK_SOURCE_DIR) + "/examples/rutile/POSCAR";
// --render with no X display at all
const std::string NO_DISPLAY = "env -u DISPLAY -u WAYLAND_DISPLAY ";

struct Png {
    int w = 0, h = 0, channels = 0;
    std::vector<unsigned char> rgba;
    const unsigned char* At(int x, int y) const { return &rgba[(std::size_t(y) * w + x) * 4]; }
};

Png Load(const std::string& path)
{
    Png p;
    if (unsigned char* data = stbi_load(path.c_str(), &p.w, &p.h, &p.channels, 4)) {
        p.rgba.assign(data, data + std::size_t(p.w) * p.h * 4);
        stbi_image_free(data);
    }
    return p;
}

// Where the pixels along a row (or a column) differ from the background:
// the first and last pixel of each run.
std::vector<std::pair<int, int>> Runs(const Png& p, int line, bool column)
{
    std::vector<std::pair<int, int>> runs;
    const unsigned char* bg = p.At(0, 0);
    const int n = column ? p.h : p.w;
    for (int k = 0; k < n; ++k) {
        const unsigned char* c = column ? p.At(line, k) : p.At(k, line);
        if (std::equal(c, c + 3, bg))
            continue;
        if (!runs.empty() && runs.back().second == k - 1)
            runs.back().second = k;
        else
            runs.emplace_back(k, k);
    }
    return runs;
}

TEST(Figure, ViewTurnPointsTheDirectionAtTheViewer)
{
    // hexagonal: a* and b* are not along a and b
    const glm::dvec3 a(3.0, 0.0, 0.0), b(-1.5, 2.598076, 0.0), c(0.0, 0.0, 5.0);
    const glm::dmat3 cell(a, b, c);
    const struct {
        const char* view;
        glm::dvec3 toward;
    } rows[] = {{"a", a},
                {"b", b},
                {"c", c},
                {"a*", glm::cross(b, c)},
                {"b*", glm::cross(c, a)},
                {"c*", glm::cross(a, b)},
                {"1,1,0", a + b},
                {"-1, 0, 2", -a + 2.0 * c}};
    for (const auto& r : rows) {
        CViewDirection view;
        std::string why;
        ASSERT_TRUE(ParseViewDirection(r.view, view, why)) << r.view;
        const glm::mat4 turn = ViewTurn(cell, view);
        const glm::vec3 seen = glm::mat3(turn) * glm::vec3(glm::normalize(r.toward));
        EXPECT_NEAR(seen.z, 1.0f, 1e-5f) << r.view;
        EXPECT_NEAR(glm::determinant(glm::mat3(turn)), 1.0f, 1e-5f) << r.view << ": a turn, not a mirror";
    }
    // along c: a points right, b up
    CViewDirection along_c;
    std::string why;
    ASSERT_TRUE(ParseViewDirection("c", along_c, why));
    const glm::mat3 turn(ViewTurn(cell, along_c));
    EXPECT_NEAR(glm::normalize(turn * glm::vec3(a)).x, 1.0f, 1e-5f);
    EXPECT_GT((turn * glm::vec3(b)).y, 0.0f);
    for (const char* bad : {"d", "0,0,0", "1,2", "1,2,3,4", "a**", ""})
        EXPECT_FALSE(ParseViewDirection(bad, along_c, why)) << bad;
}

TEST(Figure, RenderOptionsInAnyOrderWhileBondsAloneStaysTheReport)
{
    const struct {
        std::vector<const char*> args;
        CCommandLine::Action action;
        const char* bonds;
    } rows[] = {
        {{"--render", "in", "out.png", "--bonds", "on"}, CCommandLine::RENDER, "on"},
        {{"--bonds", "off", "--size=9x9", "--render", "in", "out.png"}, CCommandLine::RENDER, "off"},
        {{"--bonds", "in"}, CCommandLine::BONDS, ""},
        {{"--size", "9x9", "in"}, CCommandLine::BAD_USAGE, ""},
        {{"--render", "in", "out.png", "--ortho", "--perspective"}, CCommandLine::BAD_USAGE, ""},
        {{"--render", "in", "out.png", "--view"}, CCommandLine::BAD_USAGE, ""},
        {{"--", "--render", "in"}, CCommandLine::BAD_USAGE, ""},
    };
    for (const auto& r : rows) {
        std::vector<const char*> argv{"tesk"};
        argv.insert(argv.end(), r.args.begin(), r.args.end());
        const CCommandLine cmd = ParseCommandLine(int(argv.size()), argv.data());
        EXPECT_EQ(cmd.action, r.action) << r.args[0] << " " << r.args[1] << ": " << cmd.message;
        EXPECT_EQ(cmd.render.bonds, r.bonds) << r.args[0];
    }
}

TEST(Figure, OrthographicAlongCShowsTheCubeAsOneCentredSquare)
{
    ScratchDir dir;
    std::ofstream(dir.path("POSCAR")) << CUBE;
    // orthographic: the back edges lie under the front ones, one line each
    // side; in perspective the back square shows inside the front one
    const struct {
        const char* projection;
        std::size_t lines;
    } rows[] = {{"--ortho", 2}, {"--perspective", 4}};
    for (const auto& r : rows) {
        const Outcome o =
            Tesk(dir, std::string("--render POSCAR c.png --view c --size 400x300 --background=#203040 ") + r.projection,
                 NO_DISPLAY);
        ASSERT_EQ(o.status, 0) << o.err;
        const Png p = Load(dir.path("c.png"));
        ASSERT_EQ(p.w, 400);
        const auto across = Runs(p, p.h / 2, false), down = Runs(p, p.w / 2, true);
        ASSERT_EQ(across.size(), r.lines) << r.projection;
        ASSERT_EQ(down.size(), r.lines) << r.projection;
        if (r.lines != 2)
            continue;
        for (const auto& run : {across[0], across[1], down[0], down[1]})
            EXPECT_LE(run.second - run.first, 2) << "a line, not a face";
        const int width = across[1].first - across[0].first, height = down[1].first - down[0].first;
        EXPECT_NEAR(width, height, 1) << "a square";
        EXPECT_NEAR(across[0].first + across[1].second, p.w - 1, 1) << "centred across";
        EXPECT_NEAR(down[0].first + down[1].second, p.h - 1, 1) << "centred down";
    }
}

TEST(Figure, RenderMakesTheSizeAskedTransparentAndRepeatable)
{
    ScratchDir dir;
    const std::string args = "--render " + RUTILE +
                             " %s --size 321x123 --background transparent --bonds on "
                             "--labels on --repeat 2x1x3 --view 1,1,0";
    auto render = [&](const std::string& out) {
        std::string line = args;
        line.replace(line.find("%s"), 2, out);
        const Outcome o = Tesk(dir, line, NO_DISPLAY);
        EXPECT_EQ(o.status, 0) << o.err;
        return Load(dir.path(out));
    };
    const Png first = render("one.png");
    render("two.png");
    ASSERT_EQ(first.w, 321);
    ASSERT_EQ(first.h, 123);
    EXPECT_EQ(first.channels, 4);
    EXPECT_EQ(first.At(0, 0)[3], 0) << "nothing drawn: transparent";
    EXPECT_EQ(first.At(160, 61)[3], 255) << "an atom in the middle";
    EXPECT_EQ(Slurp(dir.path("one.png")), Slurp(dir.path("two.png"))) << "byte for byte";
}

TEST(Figure, RenderRefusalsSayWhy)
{
    ScratchDir dir;
    std::ofstream(dir.path("POSCAR")) << CUBE;
    std::ofstream(dir.path("words.txt")) << "no structure here\n";
    const struct {
        const char* args;
        int status;
        const char* says;
    } rows[] = {
        {"--size 8192x1", 0, ""},
        {"--size 8193x1", 1, "tesk: an image is 1 to 8192 pixels a side, not 8193 x 1\n"},
        {"--size 0x10", 1, "tesk: an image is 1 to 8192 pixels a side, not 0 x 10\n"},
        {"--size 10", 1, "tesk: --size is WIDTHxHEIGHT in pixels, not '10'\n"},
        {"--view d", 1, "tesk: a view is a, b, c, a*, b*, c* or u,v,w, not 'd'\n"},
        {"--repeat 11x1x1", 1, "tesk: --repeat is NxMxK with each from 1 to 10, not '11x1x1'\n"},
        {"--background red", 1, "tesk: --background is transparent or #rrggbb, not 'red'\n"},
        {"--bonds yes", 1, "tesk: --bonds is on or off, not 'yes'\n"},
    };
    for (const auto& r : rows) {
        const Outcome o = Tesk(dir, std::string("--render POSCAR out.png ") + r.args, NO_DISPLAY);
        EXPECT_EQ(o.status, r.status) << r.args << ": " << o.err;
        if (r.status != 0) {
            EXPECT_EQ(o.err, r.says) << r.args;
        }
    }
    // the reading path and messages of --convert
    for (const char* input : {"missing.xyz", "words.txt"}) {
        const Outcome render = Tesk(dir, std::string("--render ") + input + " out.png", NO_DISPLAY);
        const Outcome convert = Tesk(dir, std::string("--convert ") + input + " out.xyz");
        EXPECT_EQ(render.status, 1) << input;
        EXPECT_EQ(render.err, "tesk: " + convert.err) << input;
    }
    EXPECT_EQ(Tesk(dir, "--render POSCAR").status, 2) << "usage: an output is needed";
    EXPECT_EQ(Tesk(dir, "--size 10x10 POSCAR").status, 2) << "usage: a render option alone";
}

// One EGL context for the in-process drawing.
class FigureGl : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        context_ = new CEglContext;
        std::string why;
        ASSERT_TRUE(context_->Create(why)) << why;
    }
    static void TearDownTestSuite() { delete context_; }
    static CEglContext* context_;
};
CEglContext* FigureGl::context_ = nullptr;

TEST_F(FigureGl, TilesMakeTheSameImageAsOnePiece)
{
    auto display = std::make_unique<CDisplay>();
    std::string why;
    ASSERT_NE(ReadInputFile(RUTILE, INPUT_FILE_TYPE_AUTO, display->data, why), INPUT_FILE_TYPE_UNKNOWN) << why;
    display->OnStructureLoaded();
    display->repeat_cells = glm::ivec3(2, 2, 1);
    display->is_show_bond = true;
    const glm::vec4 background(0.1f, 0.2f, 0.3f, 1.0f);
    for (const bool perspective : {false, true}) {
        display->is_perspective = perspective;
        CImage whole, tiled;
        ASSERT_TRUE(RenderImage(*display, 130, 90, background, whole, why)) << why;
        // uneven tiles: the last column and row are cut
        ASSERT_TRUE(RenderImage(*display, 130, 90, background, tiled, why, 48)) << why;
        ASSERT_EQ(whole.rgba.size(), tiled.rgba.size());
        int differ = 0, drawn = 0;
        for (std::size_t k = 0; k < whole.rgba.size(); k += 4) {
            differ += std::abs(int(whole.rgba[k]) - int(tiled.rgba[k])) > 2;
            drawn += whole.rgba[k] != 26;
        }
        EXPECT_GT(drawn, 1000) << "the structure is in the picture";
        EXPECT_LE(differ, 10) << "rounding at a seam may move a pixel of a line: "
                              << (perspective ? "perspective" : "orthographic");
    }
    display->Delete();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(FigureGl, DepthCueingFadesTheFarAtomOnly)
{
    ScratchDir dir;
    std::ofstream(dir.path("POSCAR")) << CUBE;
    auto display = std::make_unique<CDisplay>();
    std::string why;
    ASSERT_NE(ReadInputFile(dir.path("POSCAR"), INPUT_FILE_TYPE_AUTO, display->data, why), INPUT_FILE_TYPE_UNKNOWN);
    display->OnStructureLoaded();
    const glm::vec4 background(0.0f, 0.0f, 0.0f, 1.0f);
    display->SetClearColor(background.r, background.g, background.b, background.a);
    // along c the atom at 0.9 c is in front, the one at 0.1 c behind
    CImage image[2];
    for (const bool cue : {false, true}) {
        display->is_depth_cue = cue;
        ASSERT_TRUE(RenderImage(*display, 200, 200, background, image[cue], why)) << why;
    }
    auto brightness = [&](const CImage& im, int k) {
        const glm::vec4 clip = display->Projection * display->ViewMatrix() * display->SceneModel() *
                               glm::vec4(display->data.Positions()[k], 1.0f);
        const int x = int((clip.x / clip.w + 1.0f) * 100.0f), y = int((1.0f - clip.y / clip.w) * 100.0f);
        const unsigned char* c = &im.rgba[(std::size_t(y) * 200 + x) * 4];
        return int(c[0]) + c[1] + c[2];
    };
    const int far = 0, near = 1;
    ASSERT_GT(brightness(image[0], far), 100) << "the atom is where the test looks";
    EXPECT_LT(brightness(image[1], far), brightness(image[0], far) * 2 / 3) << "the far atom fades";
    EXPECT_GT(brightness(image[1], near), brightness(image[0], near) * 9 / 10) << "the near one keeps its colour";
    display->Delete();
}

}  // namespace
