// Selecting several atoms, deleting them, undo and redo, driven through the
// frame loop's steps with the input a GLFW back-end feeds Dear ImGui, on a
// real (hidden) OpenGL 3.3 window whose pixels are read back.
#include <memory>

#include <glad/gl.h>
#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>

#include <imgui_internal.h>

#include "cdisplay.h"
#include "shell_test_support.h"
#include "tesk.h"

namespace {

const char* const ACTION = "Action (ctrl+a)";
const ImVec2 EMPTY(1100.0f, 600.0f);  // scene without atoms or windows
// a chain 0-1-2-3 with right angles and a trans dihedral, atom 4 aside
const char* const CHAIN = "5\n\nC 0 2 0\nC 0 0 0\nC 2 0 0\nC 2 -2 0\nO -2 -2 0\n";

class EditGuiTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ASSERT_TRUE(glfwInit());
        glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
        glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 3);
        glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
        glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
        window = glfwCreateWindow(1280, 720, "edit test", nullptr, nullptr);
        ASSERT_NE(window, nullptr);
        glfwMakeContextCurrent(window);
        ASSERT_TRUE(gladLoadGL(glfwGetProcAddress));
    }
    static void TearDownTestSuite() { glfwDestroyWindow(window); }

    void SetUp() override
    {
        ASSERT_NE(window, nullptr);
        NewGuiContext(ImVec2(1280.0f, 720.0f));
        atom = std::make_unique<CDisplay>();
        s = std::make_unique<CShellState>();
        atom->SetClearColor(s->clear_color[0], s->clear_color[1], s->clear_color[2], s->clear_color[3]);
        std::ofstream(dir.path("chain.xyz")) << CHAIN;
        LoadStructure(*s, *atom, dir.root.c_str(), dir.path("chain.xyz").c_str(), true);
        MoveTo(EMPTY);
    }
    void TearDown() override
    {
        atom->Delete();
        ImGui::DestroyContext();
    }

    void Frame()
    {
        ImGui::NewFrame();
        SetFrameSize(*s, 1280, 720, 1280, 720);
        glViewport(0, 0, 1280, 720);
        MouseStep(*s, *atom);
        KeyboardStep(*s, *atom);
        PieStep(*s, *atom);
        ControlWindows(*s, *atom);
        ClearFrame(*s);
        ScenePass(*s, *atom);
        ImGui::Render();
    }
    void MoveTo(ImVec2 p)
    {
        ImGui::GetIO().MousePos = p;
        Frame();
    }
    void Click(ImVec2 p, bool shift = false)
    {
        ImGuiIO& io = ImGui::GetIO();
        MoveTo(p);
        io.KeyShift = shift;
        io.MouseDown[0] = true;
        Frame();
        io.MouseDown[0] = false;
        Frame();
        io.KeyShift = false;
    }
    void Key(int key, bool ctrl, bool shift = false)
    {
        ImGuiIO& io = ImGui::GetIO();
        io.KeyCtrl = ctrl;
        io.KeyShift = shift;
        io.KeysDown[key] = true;
        Frame();
        io.KeysDown[key] = false;
        io.KeyCtrl = io.KeyShift = false;
        Frame();
    }
    // Window point of atom i as drawn in the last frame.
    ImVec2 Screen(unsigned i) const
    {
        const glm::vec4 c = atom->Projection * atom->track.View * atom->track.Model *
                            glm::vec4(atom->data.v_float_raw_xyz[i], 1.0f);
        return ImVec2((c.x / c.w + 1.0f) * 640.0f, (1.0f - c.y / c.w) * 360.0f);
    }
    glm::ivec3 Pixel(ImVec2 p) const
    {
        unsigned char rgb[4] = {};
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(int(p.x), 720 - int(p.y), 1, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb);
        return glm::ivec3(rgb[0], rgb[1], rgb[2]);
    }
    // The measurement line's colour somewhere in the 5 x 5 pixels around p.
    bool LineNear(ImVec2 p) const
    {
        for (int dy = -2; dy <= 2; ++dy)
            for (int dx = -2; dx <= 2; ++dx) {
                const glm::ivec3 c = Pixel(ImVec2(p.x + dx, p.y + dy));
                if (std::abs(c.r - 255) <= 2 && std::abs(c.g - 191) <= 2 && std::abs(c.b - 115) <= 2) return true;
            }
        return false;
    }
    // Where widget `label` of the Action window is, and whether it is disabled.
    ImVec2 Find(const char* label, bool* disabled = nullptr)
    {
        ImGuiWindow* w = ImGui::FindWindowByName(ACTION);
        const ImGuiID id = w->GetIDNoKeepAlive(label);
        for (float y = w->Pos.y; y < w->Pos.y + w->Size.y; y += 3.0f)
            for (float x = w->Pos.x; x < w->Pos.x + w->Size.x; x += 3.0f) {
                ImGui::GetIO().MousePos = ImVec2(x + 1.0f, y + 1.0f);
                ImGui::NewFrame();
                ControlWindows(*s, *atom);
                ImGui::Render();
                if (GImGui->HoveredId == id) {
                    if (disabled) *disabled = GImGui->HoveredIdDisabled;
                    return ImVec2(x + 1.0f, y + 1.0f);
                }
            }
        ADD_FAILURE() << "no widget " << label;
        return EMPTY;
    }
    std::vector<unsigned> Selected() const { return atom->v_selected_atoms; }

    static GLFWwindow* window;
    ScratchDir dir{"tesk_gui_edit"};
    std::unique_ptr<CDisplay> atom;
    std::unique_ptr<CShellState> s;
};

GLFWwindow* EditGuiTest::window = nullptr;

TEST_F(EditGuiTest, ShiftClicksBuildASelectionOfUpToFourWithItsLinesAndMeasure)
{
    ImVec2 at[5];
    for (unsigned i = 0; i < 5; ++i) at[i] = Screen(i);
    const ImVec2 middle02((at[0].x + at[2].x) / 2, (at[0].y + at[2].y) / 2);

    Click(at[0]);
    Click(at[2], true);
    EXPECT_EQ(Selected(), (std::vector<unsigned>{0, 2}));
    EXPECT_EQ(atom->selected_atom, 2u);
    EXPECT_EQ(MeasurementText(*atom), "Distance 0-2: 2.8284 \xc3\x85");
    // both drawn in the highlight colour (beside the line through their
    // centres), the others in their own; the line joins them
    for (unsigned i : {0u, 2u, 1u, 4u}) {
        const glm::ivec3 c = Pixel(ImVec2(at[i].x + 7, at[i].y - 7));
        EXPECT_EQ(c.g - c.b > 25, i == 0 || i == 2) << i << ": " << c.r << " " << c.g << " " << c.b;
    }
    EXPECT_TRUE(LineNear(middle02));

    // shift-click again takes an atom out; click order is kept
    Click(at[2], true);
    Click(at[1], true);
    Click(at[2], true);
    EXPECT_EQ(MeasurementText(*atom), "Angle 0-1-2: 90.0000\xc2\xb0");
    Click(at[3], true);
    EXPECT_EQ(MeasurementText(*atom), "Dihedral 0-1-2-3: 180.0000\xc2\xb0");
    Click(at[4], true);  // a fifth is not taken
    Click(EMPTY, true);  // nor does a shift-click on nothing clear
    EXPECT_EQ(Selected(), (std::vector<unsigned>{0, 1, 2, 3}));
    Click(at[1], true);
    EXPECT_EQ(Selected(), (std::vector<unsigned>{0, 2, 3}));
    EXPECT_EQ(atom->selected_atom, 3u);
    EXPECT_EQ(MeasurementText(*atom), "Angle 0-2-3: 135.0000\xc2\xb0");

    // a plain click selects one, a click on nothing none; the lines go
    Click(at[4]);
    EXPECT_EQ(Selected(), (std::vector<unsigned>{4}));
    EXPECT_EQ(atom->selected_symbol, "O");
    EXPECT_EQ(MeasurementText(*atom), "");
    Click(EMPTY);
    EXPECT_TRUE(Selected().empty());
    EXPECT_FALSE(atom->is_atom_selected);
    EXPECT_FALSE(LineNear(middle02));
}

TEST_F(EditGuiTest, DeleteTheSelectionThenUndoAndRedoByKeysAndButtons)
{
    const std::vector<glm::vec3> original = atom->data.v_float_raw_xyz;
    bool disabled = false;
    Find("Undo", &disabled);
    EXPECT_TRUE(disabled) << "nothing to undo after a load";

    Click(Screen(1));
    Click(Screen(4), true);
    Click(Screen(3), true);
    Key(GLFW_KEY_DELETE, false);
    ASSERT_EQ(atom->GetNumberOfAtoms(), 2u);
    EXPECT_EQ(atom->data.v_atom_index, (std::vector<unsigned>{5, 5}));
    EXPECT_FALSE(atom->is_atom_selected);

    // one step puts all three back at their numbers
    Key(GLFW_KEY_Z, true);
    EXPECT_EQ(atom->data.v_float_raw_xyz, original);
    const struct {
        int key;
        bool shift;
        unsigned atoms;
    } keys[] = {{GLFW_KEY_Z, true, 2}, {GLFW_KEY_Z, false, 5}, {GLFW_KEY_Y, false, 2}, {GLFW_KEY_Z, false, 5}};
    for (const auto& k : keys) {
        Key(k.key, true, k.shift);
        EXPECT_EQ(atom->GetNumberOfAtoms(), k.atoms) << k.key << " shift " << k.shift;
    }
    // a press shorter than a frame, seen only by the key callback
    NoteKeyPress(*s, GLFW_KEY_Z, GLFW_PRESS, GLFW_MOD_CONTROL | GLFW_MOD_SHIFT);
    Frame();
    EXPECT_EQ(atom->GetNumberOfAtoms(), 2u);

    Click(Find("Undo"));
    EXPECT_EQ(atom->GetNumberOfAtoms(), 5u);
    const ImVec2 redo = Find("Redo", &disabled);
    EXPECT_FALSE(disabled);
    Click(redo);
    EXPECT_EQ(atom->GetNumberOfAtoms(), 2u);
    Find("Redo", &disabled);
    EXPECT_TRUE(disabled) << "nothing left to redo";

    // a load clears the history
    LoadStructure(*s, *atom, dir.root.c_str(), dir.path("chain.xyz").c_str(), true);
    Key(GLFW_KEY_Y, true);
    Key(GLFW_KEY_Z, true);
    EXPECT_EQ(atom->GetNumberOfAtoms(), 5u);
}

}  // namespace
