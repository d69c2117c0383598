// The pie menu driven through a Dear ImGui context with real pointer input:
// which entry a click chooses, the dead zone, the outer limit and the colours
// the sectors are drawn in.
#include <cmath>

#include "menupie.h"
#include "shell_test_support.h"

namespace {

constexpr ImU32 HOVER_COLOUR = IM_COL32(100, 100, 150, 255);
constexpr ImU32 SELECTED_COLOUR = IM_COL32(120, 120, 140, 255);

ImVec2 Polar(float radius, float degrees)
{
    const float a = degrees * 3.14159265f / 180.0f;
    return ImVec2(radius * std::cos(a), radius * std::sin(a));
}

// Number of vertices of this frame's draw data in colour `col`.
int VerticesInColour(ImU32 col)
{
    int count = 0;
    const ImDrawData* dd = ImGui::GetDrawData();
    for (int l = 0; dd && l < dd->CmdListsCount; ++l)
        for (const ImDrawVert& v : dd->CmdLists[l]->VtxBuffer) count += v.col == col;
    return count;
}

class PieMenuTest : public ::testing::Test {
protected:
    void SetUp() override { NewGuiContext(ImVec2(1280.0f, 720.0f)); }
    void TearDown() override { ImGui::DestroyContext(); }

    // One frame with the pointer at `offset` from the centre and the buttons
    // as given; the popup is (re)opened while `is_open` and `reopen` hold.
    int Frame(ImVec2 offset, bool left, bool reopen = true, bool right = false)
    {
        ImGuiIO& io = ImGui::GetIO();
        io.MousePos = ImVec2(center.x + offset.x, center.y + offset.y);
        io.MouseDown[0] = left;
        io.MouseDown[1] = right;
        ImGui::NewFrame();
        if (reopen && is_open) ImGui::OpenPopup("##piepopup");
        const int n = PiePopupSelectMenu(center, "##piepopup", items, 6, &selected, &is_open);
        ImGui::Render();
        return n;
    }
    // Hover at `offset`, then press and release the left button there; the
    // result of the press frame.
    int ClickAt(ImVec2 offset)
    {
        is_open = true;
        Frame(offset, false);
        Frame(offset, false);
        const int n = Frame(offset, true);
        Frame(offset, false);
        return n;
    }

    ImVec2 center{640.0f, 360.0f};
    const char* items[6] = {"Close", "Move", "Edit", "Select", "Delete", "Si-12345"};
    int selected = -1;
    bool is_open = true;
};

TEST_F(PieMenuTest, ClickResultsByDirectionAndDistance)
{
    struct Row {
        float radius, degrees;
        int before, result, after;
        const char* what;
    } rows[] = {
        // screen y grows downwards: 0 right, 60 lower right, ... 300 upper right
        {60, 0, -1, 0, 0, "sector 0"},   {60, 60, -1, 1, 1, "sector 1"},   {60, 120, -1, 2, 2, "sector 2"},
        {60, 180, -1, 3, 3, "sector 3"}, {60, 240, -1, 4, 4, "sector 4"},  {60, 300, -1, 5, 5, "sector 5"},
        {100, 20, -1, 0, 0, "outer edge of a sector"},
        {35, -20, -1, 0, 0, "other side of a sector"},
        {25, 180, -1, 3, 3, "just outside the dead zone"},
        {10, 0, 4, -1, -1, "10 px: dead zone clears the choice"},
        {19, 60, 2, -1, -1, "inside the 20 px dead zone"},
        {70, 30, 1, -1, -1, "in the gap between Close and Move"},
        {130, 0, 3, -1, 3, "130 px: beyond the ring closes and keeps the choice"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        selected = r.before;
        const ImVec2 at = Polar(r.radius, r.degrees);
        EXPECT_EQ(ClickAt(at), r.result);
        EXPECT_EQ(selected, r.after);
        EXPECT_FALSE(is_open) << "a click closes the menu";
        // really closed: without reopening nothing is drawn or chosen
        EXPECT_EQ(Frame(at, true, false), -1);
    }
}

TEST_F(PieMenuTest, HoverAndSelectionColours)
{
    selected = 2;
    Frame(ImVec2(5.0f, 0.0f), false);
    Frame(ImVec2(5.0f, 0.0f), false);
    EXPECT_EQ(VerticesInColour(HOVER_COLOUR), 0) << "nothing hovered in the dead zone";
    const int selected_vertices = VerticesInColour(SELECTED_COLOUR);
    EXPECT_GT(selected_vertices, 0) << "the last choice is highlighted";

    // hovering the selected sector: hover wins
    Frame(Polar(60.0f, 120.0f), false);
    EXPECT_EQ(VerticesInColour(SELECTED_COLOUR), 0);
    EXPECT_EQ(VerticesInColour(HOVER_COLOUR), selected_vertices);
    EXPECT_TRUE(is_open) << "hovering does not close";

    // the sector under the pointer lights up although it is beyond the ring
    Frame(ImVec2(130.0f, 0.0f), false);
    EXPECT_GT(VerticesInColour(HOVER_COLOUR), 0);
}

TEST_F(PieMenuTest, NotOpenOrRightButtonChoosesNothing)
{
    EXPECT_EQ(Frame(Polar(60.0f, 0.0f), false, false), -1);
    EXPECT_EQ(Frame(Polar(60.0f, 0.0f), true, false), -1);
    EXPECT_TRUE(is_open) << "the flag is the caller's while the popup is not open";
    EXPECT_EQ(selected, -1);
    EXPECT_EQ(VerticesInColour(HOVER_COLOUR), 0);

    Frame(Polar(60.0f, 0.0f), false);
    EXPECT_EQ(Frame(Polar(60.0f, 0.0f), false, true, true), -1);
    Frame(Polar(60.0f, 0.0f), false);
    EXPECT_TRUE(is_open);
    EXPECT_EQ(selected, -1);
}

}  // namespace
