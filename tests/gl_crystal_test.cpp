// Crystals on screen, read from files: a bond across the cell face drawn as
// two half-bonds, the eight corners of a simple cubic cell, and picking and
// highlighting in a repeated cell.
#include <fstream>

#include "render_gl_support.h"
#include "test_support.h"

using namespace render_test;

class Crystal : public GlTest {
protected:
    void Load(const std::string& text)
    {
        std::ofstream(scratch.path("POSCAR")) << text;
        ASSERT_TRUE(display_->ReadFile(scratch.root, scratch.path("POSCAR"), INPUT_FILE_TYPE_VSP));
        display_->is_show_box = false;
        display_->ShowBonds(true);
        display_->atom_scale = 0.2f;  // small atoms leave the bonds in view
    }
    bool IsBackground(const glm::vec3& p) const { return IsNear(At(p), glm::vec3(kBackground), 3); }
    ScratchDir scratch{"tesk-gl-crystal"};
};

// Two carbon atoms 1.2 apart through the x face of a 6 A cell, 4.8 apart inside it.
const char* kAcrossTheFace = "pair\n1.0\n6 0 0\n0 6 0\n0 0 6\nC\n2\nDirect\n0.1 0.5 0.5\n0.9 0.5 0.5\n";

TEST_F(Crystal, ABondAcrossTheFaceIsTwoHalvesEndingAtTheFace)
{
    Load(kAcrossTheFace);
    ASSERT_EQ(display_->data.BondCount(), 1u);
    Frame();
    // drawn at x = -2.4 and 2.4; the faces at -3 and 3
    for (float side : {-1.0f, 1.0f}) {
        EXPECT_FALSE(IsBackground({side * 2.75f, 0, 0})) << "the half-bond towards the face, side " << side;
        EXPECT_TRUE(IsBackground({side * 3.3f, 0, 0})) << "nothing past the face, side " << side;
    }
    EXPECT_TRUE(IsBackground({0, 0, 0})) << "no bond through the cell";
    // repeated along x, the two halves at the shared face meet as one bond
    display_->repeat_cells = glm::ivec3(2, 1, 1);
    Frame();
    EXPECT_TRUE(!IsBackground({3.0f, 0, 0}) && !IsBackground({-2.75f, 0, 0}));
    EXPECT_TRUE(IsBackground({0, 0, 0}) && IsBackground({-3.3f, 0, 0}));
}

// A click on any copy selects its atom, and every copy of that atom lights up.
TEST_F(Crystal, PickingACopySelectsItsAtomEverywhere)
{
    Load(kAcrossTheFace);
    display_->repeat_cells = glm::ivec3(3, 2, 1);
    Frame();
    auto copy = [this](unsigned atom, int c) {
        return display_->data.Positions()[atom] + glm::vec3(6.0f * float(c % 3), 6.0f * float(c / 3), 0.0f);
    };
    for (int c = 0; c < 6; ++c)
        for (unsigned atom = 0; atom < 2; ++atom) {
            ClickOnPixel(ToPixel(copy(atom, c)));
            EXPECT_TRUE(!display_->selection.IsEmpty() && display_->selection.Last() == atom) << "cell " << c;
            for (int other = 0; other < 6; ++other)
                for (unsigned a = 0; a < 2; ++a) {
                    const Rgb p = At(copy(a, other));
                    EXPECT_EQ(p.b * 4 < p.g * 3, a == atom) << "atom " << a << " in cell " << other << ": " << p;
                }
        }
}

TEST_F(Crystal, ACornerAtomIsDrawnOnAllEightCorners)
{
    Load("simple cubic\n1.0\n3 0 0\n0 3 0\n0 0 3\nC\n1\nDirect\n0 0 0\n");
    ASSERT_TRUE(display_->is_show_boundary);
    display_->ShowBonds(false);
    display_->atom_scale = 0.5f;
    display_->SetZoom(4.0f);  // one atom alone gets a view of its own size
    // turned so that no corner hides another
    display_->track.Model = glm::rotate(glm::mat4(1.0f), 0.5f, glm::normalize(glm::vec3(1.0f, 2.0f, 0.3f)));
    const glm::vec3 origin(display_->data.CellOrigin());
    for (bool boundary : {true, false}) {
        display_->is_show_boundary = boundary;
        Frame();
        for (int k = 0; k < 8; ++k) {
            const glm::vec3 corner = origin + 3.0f * glm::vec3(k & 1, (k >> 1) & 1, (k >> 2) & 1);
            const glm::ivec2 q = ToPixel(corner);
            ASSERT_TRUE(q.x > 0 && q.y > 0 && q.x < kWidth && q.y < kHeight) << "corner " << k;
            EXPECT_EQ(IsBackground(corner), !boundary && k != 0) << "corner " << k << " boundary " << boundary;
        }
    }
}

// A crystal trajectory whose atoms cross the cell faces from frame to frame:
// a stepped frame draws what a full rebuild of that frame draws, with its
// half-bonds, boundary copies and repeated cells, from every side.
TEST_F(Crystal, ASteppedFrameOfACrystalTrajectoryIsDrawnAsARebuildOfIt)
{
    ASSERT_TRUE(
        display_->ReadFile(TESK_TEST_DATA "/frames", TESK_TEST_DATA "/frames/si8-XDATCAR", INPUT_FILE_TYPE_VSP));
    ASSERT_EQ(display_->data.GetFrameCount(), 4u);
    display_->ShowBonds(true);
    display_->atom_scale = 0.3f;
    const glm::ivec3 repeats[] = {glm::ivec3(1), glm::ivec3(2, 1, 1)};
    for (const glm::ivec3& repeat : repeats)
        for (std::size_t k : {1, 2, 3, 0, 2})
            for (float turn : {0.0f, 0.6f}) {
                SCOPED_TRACE(testing::Message() << "frame " << k << " repeat " << repeat.x << " turn " << turn);
                display_->repeat_cells = repeat;
                display_->track.Model = glm::rotate(glm::mat4(1.0f), turn, glm::normalize(glm::vec3(1.0f, 2.0f, 0.3f)));
                ASSERT_TRUE(display_->data.SetFrame(k));
                display_->OnFrameChanged();
                Frame();
                const std::vector<unsigned char> stepped = Screen();
                display_->OnModelChanged();
                Frame();
                const std::vector<unsigned char> rebuilt = Screen();
                std::size_t differ = 0;
                for (std::size_t i = 0; i < stepped.size(); ++i)
                    differ += stepped[i] != rebuilt[i];
                EXPECT_EQ(differ, 0u);
            }
}
