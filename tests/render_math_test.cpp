// Shapes, projection, trackball, palette and label layout: the computations
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

// The icosahedron's own corners, to check the table against.
const glm::vec3 N(0, 0, 1);
const glm::vec3 U1(-0.525731087f, -0.723606825f, 0.447213590f);
const glm::vec3 U2(0.525731087f, -0.723606825f, 0.447213590f);

}  // namespace

TEST(Sphere, VertexCountsPerLevelAndUnitLength)
{
    const unsigned expected[3] = {60, 160, 480};
    for (unsigned level = 0; level < 3; ++level) {
        const std::vector<glm::vec3> v = MakeSphereVertices(level);
        ASSERT_EQ(v.size(), expected[level]) << "level " << level;
        for (const glm::vec3& p : v)
            EXPECT_NEAR(glm::length(p), 1.0f, 1e-6f);
    }
}

TEST(Sphere, AbsurdLevelsAreCappedInsteadOfExhaustingMemory)
{
    EXPECT_EQ(MakeSphereVertices(40).size(), MakeSphereVertices(8).size());
    EXPECT_EQ(MakeSphereVertices(8).size(), 20u * (256u * 256u + 2u * 256u));
    EXPECT_EQ(MakeCylinderVertices(0xffffffffu).size(), 65536u);
}

TEST(Sphere, LevelZeroIsEachFaceAsOneStrip)
{
    const std::vector<glm::vec3> v = MakeSphereVertices(0);
    ASSERT_EQ(v.size(), 60u);
    for (unsigned f = 0; f < 20; ++f)
        for (unsigned k = 0; k < 3; ++k)
            ExpectNear(v[3 * f + k], glm::normalize(icosahedron[f].pt[k]));
    // the table starts with the north-pole face (N, U1, U2) and its 12 points are unit vectors
    ExpectNear(icosahedron[0].pt[0], N);
    ExpectNear(icosahedron[0].pt[1], U1);
    ExpectNear(icosahedron[0].pt[2], U2);
    for (const triangle& t : icosahedron)
        for (const glm::vec3& p : t.pt)
            EXPECT_NEAR(glm::length(p), 1.0f, 1e-6f);
}

TEST(Sphere, LevelTwoFirstRowsStartAtCornerB)
{
    const std::vector<glm::vec3> v = MakeSphereVertices(2);
    ASSERT_EQ(v.size(), 480u);
    // row 0 of the first face: 3 vertices
    ExpectNear(v[0], glm::normalize(U1 + (N - U1) / 4.0f));
    ExpectNear(v[1], glm::normalize(U1));
    ExpectNear(v[2], glm::normalize(U1 + (U2 - U1) / 4.0f));
    // row 1: 5 vertices
    ExpectNear(v[3], glm::normalize(U1 + (N - U1) / 2.0f));
    ExpectNear(v[7], glm::normalize(U1 + (U2 - U1) / 2.0f));
    // the face takes 3 + 5 + 7 + 9 vertices; the next face starts at its own row 0
    ExpectNear(v[24], glm::normalize(icosahedron[1].pt[1] + (icosahedron[1].pt[0] - icosahedron[1].pt[1]) / 4.0f));
}

TEST(Cylinder, AtLeastTwentyVerticesClosingTheTube)
{
    EXPECT_EQ(MakeCylinderVertices(5).size(), 20u);
    const std::vector<glm::vec3> v = MakeCylinderVertices(20);
    ASSERT_EQ(v.size(), 20u);
    // 20-degree steps; the last two repeat the first two
    ExpectNear(v[1], glm::vec3(std::cos(glm::radians(20.0f)), std::sin(glm::radians(20.0f)), 1.0f));
    ExpectNear(v[18], v[0]);
    ExpectNear(v[19], v[1]);
    for (size_t i = 0; i < v.size(); ++i) {
        EXPECT_NEAR(glm::length(glm::vec2(v[i])), 1.0f, 1e-6f);
        EXPECT_EQ(v[i].z, i % 2 == 0 ? -1.0f : 1.0f);
    }

    const std::vector<glm::vec3> w = MakeCylinderVertices(24);
    ASSERT_EQ(w.size(), 24u);
    const float step = glm::two_pi<float>() / 22.0f;
    ExpectNear(w[1], glm::vec3(std::cos(step), std::sin(step), 1.0f));
    ExpectNear(w[22], w[0]);
}

TEST(Box, UnitCellGivesTheCubeStripAndShearFollowsTheCellVectors)
{
    const std::vector<glm::vec3> unit = MakeBoxVertices(glm::dmat3(1.0));
    ASSERT_EQ(unit.size(), 16u);
    for (size_t i = 0; i < 16; ++i)
        EXPECT_EQ(unit[i], cube_strip2[i]) << i;
    // the strip visits all 8 corners
    int corners = 0;
    for (int sx = -1; sx <= 1; sx += 2)
        for (int sy = -1; sy <= 1; sy += 2)
            for (int sz = -1; sz <= 1; sz += 2) {
                const glm::vec3 c(0.5f * sx, 0.5f * sy, 0.5f * sz);
                for (const glm::vec3& p : unit)
                    if (p == c) {
                        ++corners;
                        break;
                    }
            }
    EXPECT_EQ(corners, 8);

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

TEST(Trackball, StartsAtTheFixedCameraWithNoRotation)
{
    const CMouse m;
    ExpectNear(m.Model, glm::mat4(1.0f));
    ExpectNear(m.View, glm::translate(glm::mat4(1.0f), glm::vec3(0, 0, -3)));
    const glm::vec4 camera = glm::inverse(m.View) * glm::vec4(0, 0, 0, 1);
    ExpectNear(glm::vec3(camera), glm::vec3(0, 0, 3));
}

TEST(Trackball, DragToTheRightTurnsTheFrontRight)
{
    CMouse m;
    m.SetViewSize(800, 600);
    m.SetLastVector(400, 300);
    m.SetMouseMotion(600, 300);
    const glm::vec3 front = glm::vec3(m.Model * glm::vec4(0, 0, 1, 0));
    EXPECT_GT(front.x, 0.1f);
    EXPECT_NEAR(front.y, 0.0f, 1e-6f);
    // about the y axis only: y stays fixed
    ExpectNear(glm::vec3(m.Model * glm::vec4(0, 1, 0, 0)), glm::vec3(0, 1, 0));
    // the chord is the angle
    EXPECT_NEAR(m.angle, glm::length(glm::vec3(0.57735f, 0.0f, 0.816497f) - glm::vec3(0, 0, 1)), 1e-5f);
    EXPECT_NEAR(std::acos(glm::dot(front, glm::vec3(0, 0, 1))), m.angle, 1e-4f);
}

TEST(Trackball, TwoDragsComposeAndTheReleaseDoesNotJump)
{
    CMouse m;
    m.SetViewSize(800, 600);
    m.SetLastVector(400, 300);
    m.SetMouseMotion(500, 300);  // intermediate motion is superseded by the last one
    m.SetMouseMotion(600, 300);
    const glm::mat4 first = m.rot_matrix;
    m.SetLastRotation();
    ExpectNear(m.Model, first);
    ExpectNear(m.last_rotation, first);

    m.SetLastVector(400, 300);
    m.SetMouseMotion(400, 100);
    const glm::mat4 second = m.rot_matrix;
    ExpectNear(m.Model, second * first);
    m.SetLastRotation();
    ExpectNear(m.last_rotation, second * first);
    ExpectNear(m.Model, second * first);

    // independent check of the second drag: up from the centre turns about -x
    const glm::vec3 up = glm::vec3(second * glm::vec4(0, 0, 1, 0));
    EXPECT_GT(up.y, 0.1f);
    EXPECT_NEAR(up.x, 0.0f, 1e-6f);
}

TEST(Trackball, ClickWithoutMotionAndZeroAxisChangeNothing)
{
    CMouse m;
    m.SetViewSize(800, 600);
    m.SetLastVector(400, 300);
    m.SetMouseMotion(700, 200);
    m.SetLastRotation();
    const glm::mat4 before = m.Model;

    // press and release without motion: the shell sends no motion and no release
    m.SetLastVector(100, 100);
    ExpectNear(m.Model, before);
    ExpectNear(m.last_rotation, before);

    // back exactly on the start point: zero axis, no rotation, no NaN
    m.SetMouseMotion(100, 100);
    EXPECT_TRUE(IsFinite(m.rot_matrix));
    ExpectNear(m.rot_matrix, glm::mat4(1.0f));
    ExpectNear(m.Model, before);
    m.SetLastRotation();
    ExpectNear(m.last_rotation, before);
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
