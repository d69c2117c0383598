// Cell box, projection, trackball and label text: the computations behind
// the scene, checked without a window.
#include <cmath>

#include <gtest/gtest.h>

#include "cdisplay.h"
#include "cmouse.h"

namespace {

void ExpectNear(const glm::vec3& a, const glm::vec3& b, float tol = 1e-5f)
{
    EXPECT_LT(glm::length(a - b), tol) << a.x << " " << a.y << " " << a.z;
}

bool IsFinite(const glm::mat4& m)
{
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r)
            if (!std::isfinite(m[c][r])) return false;
    return true;
}

}  // namespace

TEST(Box, ShearFollowsTheCellVectors)
{
    const glm::dvec3 a(4.0, 0.0, 0.0), b(2.0, 3.0, 0.0), c(1.0, 1.0, 5.0);
    const std::vector<glm::vec3> v = MakeBoxVertices(glm::dmat3(a, b, c));
    ASSERT_EQ(v.size(), 16u);
    // entry 0 is (-,-,-), 7 is (+,-,-), 1 is (-,-,+), 5 is (-,+,-), 3 is (+,+,+)
    ExpectNear(v[0], glm::vec3(-(a + b + c) / 2.0));
    ExpectNear(v[7] - v[0], glm::vec3(a));
    ExpectNear(v[5] - v[0], glm::vec3(b));
    ExpectNear(v[1] - v[0], glm::vec3(c));
    ExpectNear(v[3] + v[0], glm::vec3(0.0f));
}

TEST(Projection, LongerSideShowsTwiceTheTargetWidthAndDegenerateSizesStayFinite)
{
    const glm::mat4 wide = MakeProjection(800, 600, 7.5f), tall = MakeProjection(600, 800, 7.5f);
    EXPECT_FLOAT_EQ(wide[0][0], 1.0f / 7.5f);
    EXPECT_FLOAT_EQ(wide[1][1], 800.0f / (600.0f * 7.5f));
    EXPECT_FLOAT_EQ(tall[0][0], 800.0f / (600.0f * 7.5f));
    EXPECT_FLOAT_EQ(tall[1][1], 1.0f / 7.5f);
    EXPECT_TRUE(IsFinite(MakeProjection(0, 0, 7.5f)));
    EXPECT_TRUE(IsFinite(MakeProjection(800, 600, 0.0f)));
}

TEST(Trackball, PointsMapOntoTheStretchedSphereAndDragsCompose)
{
    CMouse m;
    m.SetViewSize(800, 600);
    glm::vec3 v;
    const struct {
        int x, y;
        glm::vec3 v;
    } points[] = {{400, 300, {0, 0, 1}},
                  {600, 300, {0.57735f, 0.0f, 0.816497f}},
                  {800, 0, {0.707107f, 0.707107f, 0.0f}},
                  {1000, 300, {1, 0, 0}}};
    for (const auto& p : points) {
        m.PointToVector(p.x, p.y, v);
        ExpectNear(v, p.v);
    }
    // right from the centre: the front turns right about y, by the chord
    m.SetLastVector(400, 300);
    m.SetMouseMotion(500, 300);
    m.SetMouseMotion(600, 300);
    const glm::vec3 front = glm::vec3(m.Model * glm::vec4(0, 0, 1, 0));
    EXPECT_GT(front.x, 0.1f);
    ExpectNear(glm::vec3(m.Model * glm::vec4(0, 1, 0, 0)), glm::vec3(0, 1, 0));
    EXPECT_NEAR(std::acos(glm::dot(front, glm::vec3(0, 0, 1))), glm::length(points[1].v - points[0].v), 1e-4f);
    const glm::mat4 first = m.rot_matrix;
    m.SetLastRotation();
    // a second drag, up from the centre, composes with the first
    m.SetLastVector(400, 300);
    m.SetMouseMotion(400, 100);
    const glm::mat4 second = m.rot_matrix;
    EXPECT_GT(glm::vec3(second * glm::vec4(0, 0, 1, 0)).y, 0.1f);
    m.SetLastRotation();
    const glm::mat4 both = second * first;
    for (int c = 0; c < 4; ++c) ExpectNear(glm::vec3(m.last_rotation[c]), glm::vec3(both[c]), 1e-4f);
    // a drag back onto its start point (zero axis) brings no NaN
    m.SetLastVector(100, 100);
    m.SetMouseMotion(100, 100);
    EXPECT_TRUE(IsFinite(m.Model));
    // nor does use before the window size is known
    CMouse fresh;
    fresh.SetLastVector(10, 10);
    fresh.SetMouseMotion(50, 80);
    fresh.SetLastRotation();
    EXPECT_TRUE(IsFinite(fresh.Model));
}

TEST(Labels, TextFromSymbolAndIndex)
{
    EXPECT_EQ(MakeAtomLabel(5, 5, true, false), "C");
    EXPECT_EQ(MakeAtomLabel(12, 5, true, true), "C12");
    EXPECT_EQ(MakeAtomLabel(5, 5, false, false), "5");  // symbols off, pass still on
    EXPECT_EQ(MakeAtomLabel(1, 5000, true, false), "X");  // past the table: the dummy
}
