// Colour-ID picking with real clicks resolved in the next frame: the
// background, the window's top row, the outline, a large structure,
// overlapping atoms, and edits without a valid selection.
#include "render_gl_support.h"

using namespace render_test;

constexpr unsigned kC = 5, kN = 6, kO = 7;

class Picking : public GlTest {};

TEST_F(Picking, BackgroundAndPointsOutsideClearTheSelectionAndTheFrameShowsTheSceneNotTheIds)
{
    // the oxygen covers the top of the window (y = 6 is the top edge)
    SetAtoms({{kC, {-2, 0, 0}}, {kO, {2, 5.8f, 0}}}, 8.0f);
    Frame();
    const glm::ivec2 o = ToPixel({2, 5.8f, 0});
    ClickOnPixel(o);
    ASSERT_EQ(display_->selection.Last(), 1u);
    // the pick pass is cleared away: background and the highlighted atom remain
    EXPECT_TRUE(IsBackground(Pixel(5, 5))) << Pixel(5, 5);
    EXPECT_GT(Pixel(o.x, o.y).r, 150) << Pixel(o.x, o.y);  // highlight, not the identity colour (2/255, 0, 0)
    Click(o.x, 1);                                         // GL row 299, the window's top row
    EXPECT_TRUE(!display_->selection.IsEmpty() && display_->pcolor == glm::ivec2(o.x, kHeight - 1));
    // the background; row 300 past the framebuffer, and points left, right and below it
    for (const glm::ivec2& p : {glm::ivec2(200, 150), glm::ivec2(o.x, 0), glm::ivec2(-1, 150), glm::ivec2(kWidth, 150),
                                glm::ivec2(o.x, kHeight + 5)}) {
        ClickOnPixel(o);
        ASSERT_FALSE(display_->selection.IsEmpty());
        Click(p.x, p.y);
        EXPECT_TRUE(display_->selection.IsEmpty() && display_->selection.Last() == NO_ATOM_SELECTED)
            << p.x << ", " << p.y;
    }
    // edits with nothing selected, or a selection left over from a larger structure, change nothing
    display_->UpdateAtomType(kN);
    display_->selection.Pick(5, 6, false);
    display_->UpdateAtomType(kN), display_->DeleteAtom(5), display_->DeleteAtom(NO_ATOM_SELECTED);
    EXPECT_EQ(display_->data.Elements(), (std::vector<unsigned>{kC, kO}));
    // with no atoms at all a click selects nothing and draws the background
    SetAtoms({}, 8.0f);
    display_->selection.Pick(0, 1, false);
    Click(200, 150);
    EXPECT_TRUE(display_->selection.IsEmpty());
    EXPECT_TRUE(IsBackground(Pixel(200, 150)));
}

TEST_F(Picking, TheOutermostDrawnPixelSelectsAndTheNextOneOutDoesNot)
{
    SetAtoms({{kO, {0.3f, -0.2f, 0}}}, 4.0f);
    Frame();
    // the last drawn pixel along the centre row, column and diagonals
    const glm::ivec2 c = ToPixel({0.3f, -0.2f, 0});
    for (const glm::ivec2 step : {glm::ivec2(1, 0), glm::ivec2(-1, 0), glm::ivec2(0, 1), glm::ivec2(0, -1),
                                  glm::ivec2(1, 1), glm::ivec2(-1, 1), glm::ivec2(1, -1), glm::ivec2(-1, -1)}) {
        glm::ivec2 edge = c;
        while (!IsBackground(Pixel(edge.x + step.x, edge.y + step.y)))
            edge += step;
        ASSERT_GT(glm::length(glm::vec2(edge - c)), 35.0f);
        ClickOnPixel(edge);
        EXPECT_FALSE(display_->selection.IsEmpty()) << edge.x << ", " << edge.y;
        ClickOnPixel(edge + step);
        EXPECT_TRUE(display_->selection.IsEmpty()) << edge.x + step.x << ", " << edge.y + step.y;
    }
}

TEST_F(Picking, TwoHundredThousandAtomsDrawAndPickTheFrontOne)
{
    // 48 x 36 columns of 116 atoms each, one behind the other; the front
    // layer has the highest atom numbers (past 65536: all three bytes count)
    constexpr int kCols = 48, kRows = 36, kLayers = 116;
    std::vector<std::pair<unsigned, glm::vec3>> atoms;
    for (int l = 0; l < kLayers; ++l)
        for (int r = 0; r < kRows; ++r)
            for (int c = 0; c < kCols; ++c)
                atoms.push_back({(r + c + l) % 2 ? kO : kN, glm::vec3(-29.375f + 1.25f * c, -21.875f + 1.25f * r,
                                                                      -40.0f + 0.3f * static_cast<float>(l))});
    SetAtoms(atoms, 31.0f);
    display_->SetAtomScale(true);
    Frame();
    const unsigned front = (kLayers - 1) * kRows * kCols;
    for (unsigned k : {front, front + 7, front + 1000, front + 1727}) {
        const glm::ivec2 px = ToPixel(atoms[k].second);
        const Rgb p = Pixel(px.x, px.y);
        EXPECT_EQ(p.r > p.b + 40, atoms[k].first == kO) << k << " " << p;
        ClickOnPixel(px);
        ASSERT_FALSE(display_->selection.IsEmpty()) << k;
        EXPECT_EQ(display_->selection.Last(), k);
    }
    // between the columns: nothing
    ClickOnPixel(ToPixel({-28.75f, -21.25f, 0}));
    EXPECT_TRUE(display_->selection.IsEmpty());
}

TEST_F(Picking, TheFrontAtomWinsWhereTwoOverlap)
{
    SetAtoms({{kC, {0, 0, 1}}, {kO, {0, 0, -1}}}, 8.0f);
    Frame();
    ClickOnPixel(ToPixel({0, 0, 0}));
    EXPECT_EQ(display_->selection.Last(), 0u);
    // a turn of the trackball half around y brings the other atom forward
    display_->SetTrackLastPosition(200, 150);
    display_->SetTrackCurretPosition(390, 150);
    display_->SetTrackLastRotation();
    Frame();
    const glm::vec3 front = glm::vec3(display_->track.Model * glm::vec4(0, 0, 1, 0));
    ASSERT_GT(front.x, 0.5f);  // (0, 0, 1) now points mostly right
    ClickOnPixel(ToPixel({0, 0, 1}));
    EXPECT_EQ(display_->selection.Last(), 0u);
    ClickOnPixel(ToPixel({0, 0, -1}));
    EXPECT_EQ(display_->selection.Last(), 1u);
}
