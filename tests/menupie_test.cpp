// The pie menu driven through a Dear ImGui context with real pointer input:
// which entry a click chooses, the dead zone, the outer limit and the colours
// the sectors are drawn in.
#include <cmath>

#include <gtest/gtest.h>
#include <imgui.h>

#include "menupie.h"

namespace {

constexpr ImU32 HOVER_COLOUR = IM_COL32(100, 100, 150, 255);
constexpr ImU32 SELECTED_COLOUR = IM_COL32(120, 120, 140, 255);

class PieMenuTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ImGui::CreateContext();
        ImGuiIO& io = ImGui::GetIO();
        io.IniFilename = nullptr;
        io.DisplaySize = ImVec2(1280.0f, 720.0f);
        io.DeltaTime = 1.0f / 60.0f;
        unsigned char* pixels = nullptr;
        int w = 0, h = 0;
        io.Fonts->GetTexDataAsRGBA32(&pixels, &w, &h);
    }
    void TearDown() override { ImGui::DestroyContext(); }

    // One frame with the pointer at `offset` from the centre; `down` holds the
    // left button. Returns the menu's result of that frame.
    int Frame(ImVec2 offset, bool down, bool open_popup = true)
    {
        ImGuiIO& io = ImGui::GetIO();
        io.MousePos = ImVec2(center.x + offset.x, center.y + offset.y);
        io.MouseDown[0] = down;
        ImGui::NewFrame();
        if (open_popup && is_open)
            ImGui::OpenPopup("##piepopup");
        const int n = PiePopupSelectMenu(center, "##piepopup", items, 6, &selected, &is_open);
        ImGui::Render();
        return n;
    }

    // Hover at `offset`, then press and release the left button there.
    int ClickAt(ImVec2 offset)
    {
        is_open = true;
        Frame(offset, false);
        Frame(offset, false);
        const int n = Frame(offset, true);
        Frame(offset, false);
        return n;
    }

    static ImVec2 Polar(float radius, float degrees)
    {
        const float a = degrees * 3.14159265f / 180.0f;
        return ImVec2(radius * std::cos(a), radius * std::sin(a));
    }

    // Number of vertices of this frame's draw data in colour `col`.
    static int VerticesInColour(ImU32 col)
    {
        int count = 0;
        const ImDrawData* dd = ImGui::GetDrawData();
        for (int l = 0; dd && l < dd->CmdListsCount; ++l) {
            const ImDrawList* list = dd->CmdLists[l];
            for (const ImDrawVert& v : list->VtxBuffer)
                count += v.col == col;
        }
        return count;
    }

    ImVec2 center{640.0f, 360.0f};
    const char* items[6] = {"Close", "Move", "Edit", "Select", "Delete", "Si-12345"};
    int selected = -1;
    bool is_open = true;
};

TEST_F(PieMenuTest, EachSectorChosenByAClickInItsDirection)
{
    // screen y grows downwards: 0 right, 60 lower right, ... 300 upper right
    const int expected[6] = {0, 1, 2, 3, 4, 5};
    for (int n = 0; n < 6; ++n) {
        selected = -1;
        EXPECT_EQ(ClickAt(Polar(60.0f, 60.0f * n)), expected[n]) << "sector " << n;
        EXPECT_EQ(selected, expected[n]);
        EXPECT_FALSE(is_open) << "a click closes the menu";
        // the popup is really closed: without reopening nothing is drawn or chosen
        EXPECT_EQ(Frame(Polar(60.0f, 60.0f * n), true, false), -1);
    }
    // near the edges of a sector, still inside the ring
    EXPECT_EQ(ClickAt(Polar(100.0f, 20.0f)), 0);
    EXPECT_EQ(ClickAt(Polar(35.0f, -20.0f)), 0);
    EXPECT_EQ(ClickAt(Polar(25.0f, 180.0f)), 3);
}

TEST_F(PieMenuTest, DeadZoneAndGapsChooseNothingAndClearTheChoice)
{
    selected = 4;
    EXPECT_EQ(ClickAt(ImVec2(10.0f, 0.0f)), -1);
    EXPECT_EQ(selected, -1);
    EXPECT_FALSE(is_open);

    selected = 2;
    EXPECT_EQ(ClickAt(Polar(19.0f, 60.0f)), -1) << "inside the 20 px dead zone";
    EXPECT_EQ(selected, -1);

    selected = 1;
    EXPECT_EQ(ClickAt(Polar(70.0f, 30.0f)), -1) << "in the gap between Close and Move";
    EXPECT_EQ(selected, -1);
}

TEST_F(PieMenuTest, ClickBeyondTheRingClosesAndKeepsTheChoice)
{
    selected = 3;
    is_open = true;
    Frame(ImVec2(130.0f, 0.0f), false);
    Frame(ImVec2(130.0f, 0.0f), false);
    // the sector under the pointer lights up although it is beyond the ring
    EXPECT_GT(VerticesInColour(HOVER_COLOUR), 0);
    EXPECT_EQ(Frame(ImVec2(130.0f, 0.0f), true), -1);
    EXPECT_EQ(selected, 3);
    EXPECT_FALSE(is_open);
}

TEST_F(PieMenuTest, HoverAndSelectionColours)
{
    is_open = true;
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
}

TEST_F(PieMenuTest, NotOpenReturnsMinusOneAndKeepsTheFlag)
{
    is_open = true;
    EXPECT_EQ(Frame(Polar(60.0f, 0.0f), false, false), -1);
    EXPECT_EQ(Frame(Polar(60.0f, 0.0f), true, false), -1);
    EXPECT_TRUE(is_open);
    EXPECT_EQ(selected, -1);
    EXPECT_EQ(VerticesInColour(HOVER_COLOUR), 0);
}

TEST_F(PieMenuTest, RightClickDoesNotChoose)
{
    is_open = true;
    Frame(Polar(60.0f, 0.0f), false);
    ImGuiIO& io = ImGui::GetIO();
    io.MouseDown[1] = true;
    EXPECT_EQ(Frame(Polar(60.0f, 0.0f), false), -1);
    io.MouseDown[1] = false;
    EXPECT_TRUE(is_open);
}

}  // namespace
