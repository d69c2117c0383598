// Cell box, projection, trackball and label text: the computations behind
// the scene, checked without a window.
#include <algorithm>
#include <cmath>

#include <glm/gtc/matrix_transform.hpp>
#include <gtest/gtest.h>

#include "render/display.h"
#include "render/trackball.h"
#include "render/visibility.h"
#include "core/elements.h"

namespace {

void ExpectNear(const glm::vec3& a, const glm::vec3& b, float tol = 1e-5f)
{
    EXPECT_LT(glm::length(a - b), tol) << a.x << " " << a.y << " " << a.z;
}

bool IsFinite(const glm::mat4& m)
{
    return std::isfinite(glm::dot(m[0], m[0]) + glm::dot(m[1], m[1]) + glm::dot(m[2], m[2]) + glm::dot(m[3], m[3]));
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

// The drawing tests use a wide window; a tall one shows the target width
// along its width. A minimised window or a zero target stays finite.
TEST(Projection, TallWindowsShowTheTargetWidthAcrossAndDegenerateSizesStayFinite)
{
    const glm::mat4 tall = MakeProjection(600, 800, 7.5f);
    EXPECT_FLOAT_EQ(tall[0][0], 800.0f / (600.0f * 7.5f));
    EXPECT_FLOAT_EQ(tall[1][1], 1.0f / 7.5f);
    EXPECT_TRUE(IsFinite(MakeProjection(0, 0, 7.5f)) && IsFinite(MakeProjection(800, 600, 0.0f)));
}

TEST(Trackball, PointsMapOntoTheStretchedSphereAndDragsCompose)
{
    CMouse m;
    m.SetViewSize(800, 600);
    glm::vec3 v;
    m.PointToVector(600, 300, v);
    ExpectNear(v, {0.57735f, 0.0f, 0.816497f});
    m.PointToVector(1000, 300, v);  // outside the sphere: on its rim
    ExpectNear(v, {1, 0, 0});
    // right from the centre: the front turns right about y, by the chord
    m.SetLastVector(400, 300);
    m.SetMouseMotion(500, 300);
    m.SetMouseMotion(600, 300);
    const glm::vec3 front = glm::vec3(m.Model * glm::vec4(0, 0, 1, 0));
    ExpectNear(glm::vec3(m.Model * glm::vec4(0, 1, 0, 0)), glm::vec3(0, 1, 0));
    EXPECT_NEAR(std::acos(glm::dot(front, glm::vec3(0, 0, 1))), glm::length(glm::vec3(0.57735f, 0.0f, -0.183503f)),
                1e-4f);
    EXPECT_GT(front.x, 0.1f);
    const glm::mat4 first = m.rot_matrix;
    m.SetLastRotation();
    // a second drag, up from the centre, composes with the first
    m.SetLastVector(400, 300);
    m.SetMouseMotion(400, 100);
    const glm::mat4 both = m.rot_matrix * first;
    EXPECT_GT(glm::vec3(m.rot_matrix * glm::vec4(0, 0, 1, 0)).y, 0.1f);
    m.SetLastRotation();
    for (int c = 0; c < 4; ++c)
        ExpectNear(glm::vec3(m.last_rotation[c]), glm::vec3(both[c]), 1e-4f);
    // a drag back onto its start point (zero axis), or before the window
    // size is known, brings no NaN
    m.SetLastVector(100, 100);
    m.SetMouseMotion(100, 100);
    CMouse fresh;
    fresh.SetLastVector(10, 10);
    fresh.SetMouseMotion(50, 80);
    fresh.SetLastRotation();
    EXPECT_TRUE(IsFinite(m.Model) && IsFinite(fresh.Model));
}

TEST(Labels, IndexAloneAndAnElementPastTheTableAsTheDummy)
{
    EXPECT_EQ(MakeAtomLabel(5, 5, false, false), "5");
    EXPECT_EQ(MakeAtomLabel(1, 5000, true, true), "X1");
}

// A small atom in front of a pixel centre near its rim hides what lies behind
// there only when the centre is inside it by more than the GPU's vertex
// snapping can move the rim (1/128 px): nearer the rim, the atom behind stays.
TEST(Visibility, SmallAtomsHideOnlyPixelsWellInsideTheirRim)
{
    // one view unit a pixel: a 16 x 16 window over [-8, 8]; the pixel
    // centre (8.5, 8.5) is the view point (0.5, 0.5)
    const glm::mat4 P = glm::ortho(-8.0f, 8.0f, -8.0f, 8.0f, -100.0f, 100.0f);
    const unsigned kHydrogen = 0;
    const float radius = 0.79f, scale = radius / atom_rgbs[kHydrogen].w;
    // the rim's distance from the pixel centre, in pixels
    for (const auto& [gap, behind_shown] : {std::pair{0.004f, true}, {0.012f, false}, {0.2f, false}}) {
        const glm::vec4 front(0.5f - (radius - gap), 0.5f, 1.0f, float(kHydrogen));
        // far behind, and so small that it reaches only that pixel centre
        const glm::vec4 behind(0.5f, 0.5f, -5.0f, float(kHydrogen));
        CVisibility pass;
        ASSERT_TRUE(pass.FindAtoms({front, behind}, 2, scale, P, glm::mat4(1.0f), {16, 16}, 1));
        const bool shown = std::find(pass.v_atoms.begin(), pass.v_atoms.end(), 1u) != pass.v_atoms.end();
        EXPECT_EQ(shown, behind_shown) << "gap " << gap;
    }
}
