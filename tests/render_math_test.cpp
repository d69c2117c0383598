// Cell box, projection, trackball, palette and label layout: the computations
// behind the scene, checked without a window.
#include <cmath>

#include <gtest/gtest.h>
#include <glm/gtc/constants.hpp>
#include <glm/gtc/matrix_transform.hpp>

#include "cdisplay.h"
#include "cmouse.h"
#include "cpalette.h"
#include "elements.h"

namespace {

void ExpectNear(const glm::vec3& a, const glm::vec3& b, float tol = 1e-5f)
{
    EXPECT_NEAR(a.x, b.x, tol);
    EXPECT_NEAR(a.y, b.y, tol);
    EXPECT_NEAR(a.z, b.z, tol);
}

void ExpectNear(const glm::mat4& a, const glm::mat4& b, float tol = 1e-5f)
{
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r)
            EXPECT_NEAR(a[c][r], b[c][r], tol) << "column " << c << " row " << r;
}

bool IsFinite(const glm::mat4& m)
{
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r)
            if (!std::isfinite(m[c][r]))
                return false;
    return true;
}

}  // namespace

TEST(Box, UnitCellGivesTheCubeStripAndShearFollowsTheCellVectors)
{
    const std::vector<glm::vec3> unit = MakeBoxVertices(glm::dmat3(1.0));
    ASSERT_EQ(unit.size(), 16u);
    for (size_t i = 0; i < 16; ++i)
        EXPECT_EQ(unit[i], cube_strip2[i]) << i;

    const glm::dvec3 a(4.0, 0.0, 0.0), b(2.0, 3.0, 0.0), c(1.0, 1.0, 5.0);
    const std::vector<glm::vec3> sheared = MakeBoxVertices(glm::dmat3(a, b, c));
    ASSERT_EQ(sheared.size(), 16u);
    // entry 0 is (-,-,-), 7 is (+,-,-), 1 is (-,-,+), 5 is (-,+,-), 3 is (+,+,+)
    ExpectNear(sheared[0], glm::vec3(-(a + b + c) / 2.0));
    ExpectNear(sheared[7] - sheared[0], glm::vec3(a));
    ExpectNear(sheared[5] - sheared[0], glm::vec3(b));
    ExpectNear(sheared[1] - sheared[0], glm::vec3(c));
    ExpectNear(sheared[3] + sheared[0], glm::vec3(0.0f));
}

TEST(Projection, LongerSideShowsTwiceTheTargetWidth)
{
    // box (3, 5, 4) with zoom 1.5 gives tw = 7.5
    const float tw = 1.5f * 5.0f;
    const glm::mat4 wide = MakeProjection(800, 600, tw);
    EXPECT_FLOAT_EQ(wide[0][0], 1.0f / 7.5f);
    EXPECT_FLOAT_EQ(wide[1][1], 800.0f / (600.0f * 7.5f));
    EXPECT_FLOAT_EQ(wide[2][2], -1.0f / 75.0f);
    EXPECT_FLOAT_EQ(wide[3][3], 1.0f);
    EXPECT_FLOAT_EQ(wide[3][0], 0.0f);
    EXPECT_FLOAT_EQ(wide[3][1], 0.0f);
    EXPECT_FLOAT_EQ(wide[3][2], 0.0f);

    const glm::mat4 tall = MakeProjection(600, 800, tw);
    EXPECT_FLOAT_EQ(tall[0][0], 800.0f / (600.0f * 7.5f));
    EXPECT_FLOAT_EQ(tall[1][1], 1.0f / 7.5f);
    EXPECT_FLOAT_EQ(tall[2][2], -1.0f / 75.0f);

    const glm::mat4 square = MakeProjection(500, 500, tw);
    EXPECT_FLOAT_EQ(square[0][0], 1.0f / tw);
    EXPECT_FLOAT_EQ(square[1][1], 1.0f / tw);

    // a minimised window or an empty model still gives a usable matrix
    EXPECT_TRUE(IsFinite(MakeProjection(0, 0, tw)));
    EXPECT_TRUE(IsFinite(MakeProjection(800, 600, 0.0f)));
}

TEST(Trackball, PointsMapOntoTheStretchedSphere)
{
    CMouse m;
    // the camera sits at (0, 0, 3) with no rotation yet
    ExpectNear(m.Model, glm::mat4(1.0f));
    ExpectNear(glm::vec3(glm::inverse(m.View) * glm::vec4(0, 0, 0, 1)), glm::vec3(0, 0, 3));
    m.SetViewSize(800, 600);
    glm::vec3 v;
    m.PointToVector(400, 300, v);
    ExpectNear(v, glm::vec3(0, 0, 1));
    m.PointToVector(600, 300, v);
    ExpectNear(v, glm::vec3(0.57735f, 0.0f, 0.816497f));
    m.PointToVector(800, 0, v);
    ExpectNear(v, glm::vec3(0.707107f, 0.707107f, 0.0f));
    EXPECT_LE(v.z, 0.0f);
    m.PointToVector(1000, 300, v);
    ExpectNear(v, glm::vec3(1, 0, 0));
    // the right edge's middle is (1, 0, 0) whatever the aspect ratio
    m.SetViewSize(300, 900);
    m.PointToVector(300, 450, v);
    ExpectNear(v, glm::vec3(1, 0, 0));
}

TEST(Trackball, DragsTurnTheWayThePointerMovesComposeAndStopCleanly)
{
    CMouse m;
    m.SetViewSize(800, 600);
    m.SetLastVector(400, 300);
    m.SetMouseMotion(500, 300);  // intermediate motion is superseded by the last one
    m.SetMouseMotion(600, 300);
    // right from the centre: the front turns right about y, by the chord
    const glm::vec3 front = glm::vec3(m.Model * glm::vec4(0, 0, 1, 0));
    EXPECT_GT(front.x, 0.1f);
    ExpectNear(glm::vec3(m.Model * glm::vec4(0, 1, 0, 0)), glm::vec3(0, 1, 0));
    EXPECT_NEAR(m.angle, glm::length(glm::vec3(0.57735f, 0.0f, 0.816497f) - glm::vec3(0, 0, 1)), 1e-5f);
    EXPECT_NEAR(std::acos(glm::dot(front, glm::vec3(0, 0, 1))), m.angle, 1e-4f);
    const glm::mat4 first = m.rot_matrix;
    m.SetLastRotation();
    ExpectNear(m.Model, first);

    // a second drag, up from the centre, composes with the first
    m.SetLastVector(400, 300);
    m.SetMouseMotion(400, 100);
    const glm::mat4 second = m.rot_matrix;
    EXPECT_GT(glm::vec3(second * glm::vec4(0, 0, 1, 0)).y, 0.1f);
    ExpectNear(m.Model, second * first);
    m.SetLastRotation();
    ExpectNear(m.last_rotation, second * first);

    // a press without motion, or a drag back onto its start point (zero
    // axis), changes nothing and brings no NaN
    m.SetLastVector(100, 100);
    ExpectNear(m.Model, second * first);
    m.SetMouseMotion(100, 100);
    EXPECT_TRUE(IsFinite(m.rot_matrix));
    ExpectNear(m.Model, second * first);
}

TEST(Trackball, UseBeforeTheWindowSizeIsKnownStaysFinite)
{
    CMouse m;
    m.SetLastVector(10, 10);
    m.SetMouseMotion(50, 80);
    m.SetLastRotation();
    EXPECT_TRUE(IsFinite(m.Model));
    EXPECT_TRUE(IsFinite(m.last_rotation));
}

TEST(Palette, EncodesIndicesIntoBytesAndBack)
{
    CPalette p;
    p._lvls = 3;
    p.update_palette_index();
    ASSERT_EQ(p._index_palette.size(), 4u);
    for (unsigned k = 0; k < 4; ++k)
        EXPECT_EQ(p.get_index(k), glm::vec3(static_cast<float>(k) / 255.0f, 0.0f, 0.0f));
    // atom 0 is black, a valid atom
    EXPECT_EQ(p.get_index(0), glm::vec3(0.0f));
    EXPECT_EQ(CPalette::get_index_rgb(0, 0, 0), 0u);

    CPalette big;
    big._lvls = 70000;
    big.update_palette_index();
    ASSERT_EQ(big._index_palette.size(), 70001u);
    EXPECT_EQ(big.get_index(300), glm::vec3(44.0f / 255.0f, 1.0f / 255.0f, 0.0f));
    EXPECT_EQ(big.get_index(65536 + 257), glm::vec3(1.0f / 255.0f, 1.0f / 255.0f, 1.0f / 255.0f));
    // every entry survives the trip through 8-bit channels
    for (unsigned k = 0; k <= 70000; ++k) {
        const glm::vec3 c = big.get_index(k);
        const int r = static_cast<int>(std::lround(c.r * 255.0f));
        const int g = static_cast<int>(std::lround(c.g * 255.0f));
        const int b = static_cast<int>(std::lround(c.b * 255.0f));
        ASSERT_EQ(CPalette::get_index_rgb(r, g, b), k);
    }
    // beyond the palette the colour is computed, not read past the vector
    EXPECT_EQ(p.get_index(300), glm::vec3(44.0f / 255.0f, 1.0f / 255.0f, 0.0f));

    EXPECT_EQ(CPalette::get_index_rgb(255, 255, 255), NO_ATOM_SELECTED);
    EXPECT_EQ(CPalette::get_index_rgb(-5, 1, -1), 256u);

    CPalette overflow;
    overflow._lvls = 0xffffffffu;
    overflow.update_palette_index();
    EXPECT_TRUE(overflow._index_palette.empty());
}

TEST(Labels, GlyphQuadLayout)
{
    Character c;
    c.Size = glm::ivec2(30, 40);
    c.Bearing = glm::ivec2(2, 35);
    c.Advance = 1600;
    c.Atlas = glm::vec4(0.0f, 0.0f, 1.0f, 1.0f);
    float quad[6][4];
    const float pen = LayoutGlyphQuad(c, -0.15f, 0.005f, quad);
    EXPECT_NEAR(pen, -0.025f, 1e-6f);
    float xmin = 1e9f, xmax = -1e9f, ymin = 1e9f, ymax = -1e9f;
    for (const auto& v : quad) {
        xmin = std::min(xmin, v[0]);
        xmax = std::max(xmax, v[0]);
        ymin = std::min(ymin, v[1]);
        ymax = std::max(ymax, v[1]);
    }
    EXPECT_NEAR(xmin, -0.14f, 1e-6f);
    EXPECT_NEAR(xmax, 0.01f, 1e-6f);
    EXPECT_NEAR(ymin, -0.175f, 1e-6f);
    EXPECT_NEAR(ymax, 0.025f, 1e-6f);
    // top-left corner samples the bitmap's first row; bottom-right its last
    EXPECT_FLOAT_EQ(quad[0][0], -0.14f);
    EXPECT_FLOAT_EQ(quad[0][3], 0.0f);
    EXPECT_FLOAT_EQ(quad[2][2], 1.0f);
    EXPECT_FLOAT_EQ(quad[2][3], 1.0f);

    // a missing character draws an empty quad and leaves the pen in place
    const float same = LayoutGlyphQuad(Character{}, 0.3f, 0.005f, quad);
    EXPECT_FLOAT_EQ(same, 0.3f);
    for (const auto& v : quad) {
        EXPECT_FLOAT_EQ(v[0], 0.3f);
    }
}

TEST(Labels, TextFromSymbolAndIndex)
{
    const unsigned carbon = 5;
    EXPECT_EQ(MakeAtomLabel(5, carbon, true, false), "C");
    EXPECT_EQ(MakeAtomLabel(5, carbon, false, true), "5");
    EXPECT_EQ(MakeAtomLabel(12, carbon, true, true), "C12");
    // symbols off but the pass still running: the index
    EXPECT_EQ(MakeAtomLabel(5, carbon, false, false), "5");
    EXPECT_EQ(MakeAtomLabel(3000000000u, 7, true, true), "O3000000000");
    // an element index past the table is labelled as the dummy element
    EXPECT_EQ(MakeAtomLabel(1, 5000, true, false), "X");
}
