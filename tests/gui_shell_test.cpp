// The control windows, the mouse and keyboard steps and the pie step driven
// through Dear ImGui with the input a GLFW back-end would feed it, on a real
// (hidden) OpenGL 3.3 window so that the display controller draws and picks.
#include <csignal>
#include <memory>

#include <sys/resource.h>
#include <stb/stb_image.h>

#include <glad/gl.h>
#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>

#include <imgui_internal.h>

#include "cdisplay.h"
#include "cformat.h"
#include "filechooser.h"
#include "shell_test_support.h"
#include "tesk.h"

namespace {

const char* const SETTINGS = "Settings (ctrl+c)";
const char* const CHOOSER = "Choose File (ctrl+f)";
const char* const ACTION = "Action (ctrl+a)";
const std::string THREE = std::string(TESK_TEST_DATA) + "/shell/three.xyz";
const std::string PAIR = std::string(TESK_TEST_DATA) + "/shell/pair.xyz";
const ImVec2 SCENE_POINT(900.0f, 500.0f);  // empty scene, no window there
const ImVec2 CENTRE(640.0f, 360.0f);       // the middle atom of three.xyz

class ShellGuiTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ASSERT_TRUE(glfwInit());
        glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
        glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 3);
        glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
        glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
        window = glfwCreateWindow(1280, 720, "shell test", nullptr, nullptr);
        ASSERT_NE(window, nullptr);
        glfwMakeContextCurrent(window);
        ASSERT_TRUE(gladLoadGL(glfwGetProcAddress));
    }
    // No glfwTerminate: it unloads the GL driver, whose global caches then
    // show up as leaks that no suppression can name. Process exit frees all.
    static void TearDownTestSuite() { glfwDestroyWindow(window); }

    void SetUp() override
    {
        ASSERT_NE(window, nullptr);
        NewGuiContext(ImVec2(1280.0f, 720.0f));
        ImGui::GetIO().MousePos = ImVec2(-FLT_MAX, -FLT_MAX);
        atom = std::make_unique<CDisplay>();
        s = std::make_unique<CShellState>();
        atom->SetClearColor(s->clear_color[0], s->clear_color[1], s->clear_color[2], s->clear_color[3]);
        Frame();
        // taller than the first-use 120 px so that every widget can be reached
        // without scrolling, as a user would drag the corners
        ImGui::NewFrame();
        ImGui::SetWindowSize(SETTINGS, ImVec2(300.0f, 240.0f));
        ImGui::SetWindowSize(CHOOSER, ImVec2(300.0f, 160.0f));
        ImGui::SetWindowSize(ACTION, ImVec2(300.0f, 160.0f));
        ImGui::Render();
        Frame();
    }
    void TearDown() override
    {
        if (atom) atom->Delete();
        atom.reset();
        s.reset();
        ImGui::DestroyContext();
    }

    // One pass of the frame loop, steps 2 to 10.
    void Frame()
    {
        ImGui::NewFrame();
        SetFrameSize(*s, 1280, 720, 1280, 720);
        glViewport(0, 0, 1280, 720);
        OpenRequestStep(*s, *atom);
        MouseStep(*s, *atom);
        KeyboardStep(*s, *atom);
        PieStep(*s, *atom);
        ControlWindows(*s, *atom);
        ClearFrame(*s);
        ScenePass(*s, *atom);
        SaveImageStep(*s);
        wait = FrameWait(*s);
        ImGui::Render();
        ImGui::GetIO().MouseWheel = 0.0f;
    }
    // Frames the loop draws in `seconds` of real time, waiting as it would.
    int FramesIn(double seconds)
    {
        int n = 0;
        const double end = glfwGetTime() + seconds;
        for (double now = glfwGetTime(); now < end; now = glfwGetTime(), ++n) {
            WaitForEvents(std::min(wait, end - now));
            Frame();
        }
        return n;
    }
    // The letters the Choose File window drew in the last frame, read back
    // from its draw list (each glyph is a quad whose first corner carries the
    // glyph's texture corner); blanks draw nothing and are left out.
    std::string ShownText()
    {
        Frame();
        const ImDrawList* dl = ImGui::FindWindowByName(CHOOSER)->DrawList;
        const ImFont* font = ImGui::GetFont();
        std::string text;
        for (int v = 0; v + 3 < dl->VtxBuffer.Size; ++v)
            for (const ImFontGlyph& g : font->Glyphs)
                if (g.Visible && dl->VtxBuffer[v].uv.x == g.U0 && dl->VtxBuffer[v].uv.y == g.V0 &&
                    dl->VtxBuffer[v + 2].uv.x == g.U1 && dl->VtxBuffer[v + 2].uv.y == g.V1 && g.Codepoint < 128) {
                    text += static_cast<char>(g.Codepoint);
                    v += 3;
                    break;
                }
        return text;
    }
    // Clicks an entry of the open file dialog.
    void ClickInDialog(FileChooser::ShownItem::Kind kind, const std::string& text)
    {
        for (const FileChooser::ShownItem& it : s->dlg->getShownItems())
            if (it.kind == kind && (text.empty() || it.text == text)) {
                const ImVec2 p = kind == FileChooser::ShownItem::WINDOW
                                     ? ImVec2(it.max.x - 12.0f, it.min.y + 9.0f)  // its close button
                                     : ImVec2((it.min.x + it.max.x) * 0.5f, (it.min.y + it.max.y) * 0.5f);
                Click(p);
                return;
            }
        ADD_FAILURE() << "not in the dialog: " << text;
    }
    void MoveTo(ImVec2 p)
    {
        ImGui::GetIO().MousePos = p;
        Frame();
    }
    void Button(int b, bool down)
    {
        ImGui::GetIO().MouseDown[b] = down;
        Frame();
    }
    void Click(ImVec2 p, int b = 0)
    {
        MoveTo(p);
        Button(b, true);
        Button(b, false);
    }
    void Key(int key, bool ctrl)
    {
        ImGuiIO& io = ImGui::GetIO();
        io.KeyCtrl = ctrl;
        io.KeysDown[key] = true;
        Frame();
        io.KeysDown[key] = false;
        io.KeyCtrl = false;
        Frame();
    }
    void Wheel(float steps, int frames)
    {
        for (int i = 0; i < frames; ++i) {
            ImGui::GetIO().MouseWheel = steps;
            Frame();
        }
    }

    // Where a pointer hovers widget `id` of window `w`: the middle of all
    // points of a 3-pixel grid that hover it.
    ImVec2 FindId(ImGuiWindow* w, ImGuiID id, const char* label)
    {
        const ImVec2 saved = ImGui::GetIO().MousePos;
        float x0 = 1e9f, y0 = 1e9f, x1 = -1e9f, y1 = -1e9f;
        for (float y = w->Pos.y; y < w->Pos.y + w->Size.y; y += 3.0f)
            for (float x = w->Pos.x; x < w->Pos.x + w->Size.x; x += 3.0f) {
                ImGui::GetIO().MousePos = ImVec2(x, y);
                ImGui::NewFrame();
                ControlWindows(*s, *atom);
                ImGui::Render();
                if (GImGui->HoveredId == id) {
                    x0 = std::min(x0, x);
                    y0 = std::min(y0, y);
                    x1 = std::max(x1, x);
                    y1 = std::max(y1, y);
                }
            }
        ImGui::GetIO().MousePos = saved;
        EXPECT_LE(x0, x1) << "widget not found: " << label;
        return ImVec2((x0 + x1) * 0.5f, (y0 + y1) * 0.5f);
    }
    ImVec2 Find(ImGuiWindow* w, const char* label)
    {
        EXPECT_NE(w, nullptr) << label;
        return w ? FindId(w, w->GetIDNoKeepAlive(label), label) : ImVec2(-1, -1);
    }
    ImVec2 Find(const char* window_name, const char* label)
    {
        return Find(ImGui::FindWindowByName(window_name), label);
    }
    // Opens a combo or popup with `opener`, then clicks `entry` in it.
    void Choose(const char* window_name, const char* opener, const char* entry)
    {
        Click(Find(window_name, opener));
        ASSERT_FALSE(GImGui->OpenPopupStack.empty()) << opener;
        Click(Find(GImGui->OpenPopupStack.back().Window, entry));
    }

    void Load(const std::string& path, int format = 0)
    {
        atom->input_format = format;
        const std::string dir = path.substr(0, path.rfind('/'));
        LoadStructure(*s, *atom, dir.c_str(), path.c_str(), true);
        Frame();
    }
    // Loads three.xyz and selects its middle atom with a left click.
    void LoadAndSelect()
    {
        Load(THREE);
        Click(CENTRE);
        ASSERT_TRUE(atom->is_atom_selected);
    }

    // Drops `path` on the window, as the window system reports it.
    void Drop(const std::string& path)
    {
        const char* paths[1] = {path.c_str()};
        NoteDrop(*s, 1, paths);
        Frame();
    }
    // The centre of a widget the save dialog `d` drew in the last frame.
    ImVec2 Item(const FileChooser::Dialog* d, FileChooser::ShownItem::Kind kind, std::string* text = nullptr,
                const std::string& label = std::string())
    {
        EXPECT_NE(d, nullptr);
        if (d)
            for (const FileChooser::ShownItem& it : d->getShownItems())
                if (it.kind == kind && (label.empty() || it.text == label)) {
                    if (text) *text = it.text;
                    return ImVec2((it.min.x + it.max.x) * 0.5f, (it.min.y + it.max.y) * 0.5f);
                }
        if (text) *text = "(not shown)";
        return ImVec2(-1.0f, -1.0f);
    }
    std::string ItemText(const FileChooser::Dialog* d, FileChooser::ShownItem::Kind kind)
    {
        Frame();  // what a click changed shows from the next frame on
        std::string text;
        Item(d, kind, &text);
        return text;
    }

    static GLFWwindow* window;
    double wait = 0.0;
    std::unique_ptr<CDisplay> atom;
    std::unique_ptr<CShellState> s;
};

GLFWwindow* ShellGuiTest::window = nullptr;

TEST_F(ShellGuiTest, FirstUsePlacementSideBySide)
{
    ImGui::DestroyContext();
    NewGuiContext(ImVec2(1280.0f, 720.0f));
    Frame();
    const char* names[3] = {SETTINGS, CHOOSER, ACTION};
    for (int i = 0; i < 3; ++i) {
        const ImGuiWindow* win = ImGui::FindWindowByName(names[i]);
        ASSERT_NE(win, nullptr);
        EXPECT_EQ(win->Pos, ImVec2(10.0f + 310.0f * i, 10.0f)) << names[i];
        EXPECT_EQ(win->Size, ImVec2(300.0f, 120.0f)) << names[i];
    }
}

TEST_F(ShellGuiTest, BondsMoveTheRadiusAndLabelsFollowTheirBoxes)
{
    const ImVec2 bonds = Find(SETTINGS, "Bonds");
    Click(bonds);
    EXPECT_TRUE(atom->is_show_bond);
    EXPECT_FLOAT_EQ(atom->atom_scale, 0.6f);
    atom->atom_scale = 1.7f;  // whatever the slider says
    Click(bonds);
    EXPECT_FALSE(atom->is_show_bond);
    EXPECT_FLOAT_EQ(atom->atom_scale, 1.0f);

    Click(Find(SETTINGS, "Index"));
    EXPECT_TRUE(atom->is_show_index);
    EXPECT_TRUE(atom->is_show_label);
    Click(Find(SETTINGS, "Symbol"));
    Click(Find(SETTINGS, "Index"));
    EXPECT_TRUE(atom->is_show_label);
    Click(Find(SETTINGS, "Symbol"));
    EXPECT_FALSE(atom->is_show_label) << "both clear: labels off in the same frame";

    Click(Find(SETTINGS, "Cell"));
    EXPECT_TRUE(atom->is_show_box);

    Click(Find(SETTINGS, "Close"));
    EXPECT_FALSE(s->show_config_window);
    // Ctrl+S still reaches the labels while the window is hidden
    Key(GLFW_KEY_S, true);
    EXPECT_TRUE(atom->is_show_symbol);
    EXPECT_TRUE(atom->is_show_label);
}

TEST_F(ShellGuiTest, BackgroundEditReachesTheDisplayInTheSameFrame)
{
    // the red field of "Backgroud": a drag field inside the editor's own ID scope
    ImGuiWindow* w = ImGui::FindWindowByName(SETTINGS);
    const ImVec2 p = FindId(w, ImHashStr("##X", 0, w->GetIDNoKeepAlive("Backgroud")), "Backgroud red");
    MoveTo(p);
    Button(0, true);
    for (int i = 1; i <= 10; ++i) {
        MoveTo(ImVec2(p.x + 5.0f * i, p.y));
        // every frame that changes it hands it on before the scene is drawn
        EXPECT_EQ(atom->CColor.r, s->clear_color[0]);
    }
    Button(0, false);
    EXPECT_GT(s->clear_color[0], 0.5f) << "dragged right from 102/255";
    EXPECT_FLOAT_EQ(s->clear_color[1], 0.6f);
    EXPECT_FLOAT_EQ(s->clear_color[3], 1.0f) << "alpha is not edited";
    EXPECT_EQ(atom->CColor.r, s->clear_color[0]);
    EXPECT_EQ(atom->CColor.a, 1.0f);
    EXPECT_FALSE(s->is_mouse) << "the drag belonged to the GUI";
}

TEST_F(ShellGuiTest, LoadsTitlesMessagesInputFormatAndReload)
{
    LoadAndSelect();
    EXPECT_EQ(std::string(s->win_title), "Tesk " + THREE);
    EXPECT_TRUE(s->load_message.empty());
    Load(THREE);
    EXPECT_FALSE(atom->is_atom_selected) << "a successful load clears the selection";
    EXPECT_EQ(atom->selected_atom, NO_ATOM_SELECTED);

    // a failed Open of pair.xyz as PDB keeps the title and the old structure
    CopyTextCut(s->filePath, PATH_SIZE, PAIR.c_str());
    CopyTextCut(s->dirPath, PATH_SIZE, TESK_TEST_DATA "/shell");
    Load(PAIR, 2);
    EXPECT_EQ(std::string(s->win_title), "Tesk " + THREE);
    EXPECT_EQ(s->load_message, "Could not read " + PAIR + " as PDB");
    EXPECT_TRUE(atom->is_visible);
    EXPECT_EQ(atom->GetNumberOfAtoms(), 3u);

    // the combo changes the format and loads nothing; "Reload" reads the same file again
    Choose(CHOOSER, "Input Format", "VASP");
    EXPECT_EQ(atom->input_format, 1);
    EXPECT_STREQ(s->item_current, "VASP");
    EXPECT_EQ(atom->GetNumberOfAtoms(), 3u);
    Click(Find(CHOOSER, "Reload"));
    EXPECT_EQ(s->load_message, "Could not read " + PAIR + " as VASP");
    // "Auto" tells the format from the file
    Choose(CHOOSER, "Input Format", "Auto");
    EXPECT_EQ(atom->input_format, INPUT_FILE_TYPE_AUTO);
    Click(Find(CHOOSER, "Reload"));
    EXPECT_EQ(atom->GetNumberOfAtoms(), 2u);
    EXPECT_EQ(std::string(s->win_title), "Tesk " + PAIR);
    EXPECT_TRUE(s->load_message.empty()) << "the message lasts until the next load attempt";

    // a failed load of an over-long path keeps the title
    const std::string long_path = "/nonexistent/" + std::string(400, 'a') + ".xyz";
    LoadStructure(*s, *atom, "/nonexistent", long_path.c_str(), true);
    EXPECT_EQ(s->load_message, "Could not read " + long_path + " as XYZ");
    EXPECT_EQ(std::string(s->win_title), "Tesk " + PAIR);

    // a good load of one is cut to the 256-byte title, never past it
    ScratchDir scratch("tesk_title");
    const std::string deep = scratch.root + "/" + std::string(200, 'b') + "/" + std::string(100, 'c');
    std::filesystem::create_directories(deep);
    std::filesystem::copy_file(THREE, deep + "/three.xyz");
    Load(deep + "/three.xyz");
    EXPECT_TRUE(s->load_message.empty());
    EXPECT_EQ(std::string(s->win_title), ("Tesk " + deep).substr(0, TITLE_SIZE - 1));
}

TEST_F(ShellGuiTest, WheelZoomClampedBelowAndUnboundedAbove)
{
    MoveTo(SCENE_POINT);
    Wheel(-1.0f, 10);
    EXPECT_FLOAT_EQ(s->zoom, 0.5f);
    EXPECT_FLOAT_EQ(atom->view_zoom, 0.5f);
    Wheel(1.0f, 120);
    EXPECT_NEAR(s->zoom, 12.5f, 1e-3f);
    EXPECT_EQ(atom->view_zoom, s->zoom);

    // over a window the wheel belongs to the GUI
    const float before = s->zoom;
    MoveTo(ImVec2(160.0f, 40.0f));
    Wheel(-1.0f, 1);
    EXPECT_EQ(s->zoom, before);
}

TEST_F(ShellGuiTest, CtrlShortcutsToggleWindowsAndBonds)
{
    MoveTo(SCENE_POINT);
    const struct {
        int key;
        bool CShellState::*shown;
    } windows[] = {{GLFW_KEY_C, &CShellState::show_config_window},
                   {GLFW_KEY_F, &CShellState::show_file_chooser},
                   {GLFW_KEY_A, &CShellState::show_info_window}};
    for (const auto& w : windows) {
        SCOPED_TRACE(w.key);
        Key(w.key, true);
        EXPECT_FALSE((*s).*w.shown);
        Key(w.key, true);
        EXPECT_TRUE((*s).*w.shown);
    }
    Key(GLFW_KEY_C, true);
    EXPECT_FALSE(ImGui::FindWindowByName(SETTINGS)->Active);
    Key(GLFW_KEY_C, true);

    atom->atom_scale = 1.4f;
    Key(GLFW_KEY_B, true);
    EXPECT_TRUE(atom->is_show_bond);
    EXPECT_FLOAT_EQ(atom->atom_scale, 0.6f);
    Key(GLFW_KEY_B, true);
    EXPECT_FALSE(atom->is_show_bond);
    EXPECT_FLOAT_EQ(atom->atom_scale, 1.0f);

    // without Ctrl the letters do nothing
    Key(GLFW_KEY_C, false);
    Key(GLFW_KEY_B, false);
    EXPECT_TRUE(s->show_config_window);
    EXPECT_FALSE(atom->is_show_bond);

}

TEST_F(ShellGuiTest, TapsShorterThanAFrame)
{
    // pressed and released between two frames: only the key callback saw it
    MoveTo(SCENE_POINT);
    NoteKeyPress(*s, GLFW_KEY_F, GLFW_PRESS, GLFW_MOD_CONTROL);
    NoteKeyPress(*s, GLFW_KEY_F, GLFW_RELEASE, GLFW_MOD_CONTROL);
    Frame();
    EXPECT_FALSE(s->show_file_chooser);
    Frame();
    EXPECT_FALSE(s->show_file_chooser) << "acts once";

    NoteKeyPress(*s, GLFW_KEY_F, GLFW_PRESS, 0);
    NoteKeyPress(*s, GLFW_KEY_B, GLFW_REPEAT, GLFW_MOD_CONTROL);
    Frame();
    EXPECT_FALSE(s->show_file_chooser) << "no Ctrl, no shortcut";
    EXPECT_FALSE(atom->is_show_bond) << "repeats come through the GUI library";

    // a press seen both ways in one frame counts once
    NoteKeyPress(*s, GLFW_KEY_A, GLFW_PRESS, GLFW_MOD_CONTROL);
    Key(GLFW_KEY_A, true);
    EXPECT_FALSE(s->show_info_window);

    // two shortcuts in one frame: the first of C, F, A, B, S wins
    NoteKeyPress(*s, GLFW_KEY_S, GLFW_PRESS, GLFW_MOD_CONTROL);
    NoteKeyPress(*s, GLFW_KEY_C, GLFW_PRESS, GLFW_MOD_CONTROL);
    Frame();
    EXPECT_FALSE(s->show_config_window);
    EXPECT_FALSE(atom->is_show_symbol);
}

TEST_F(ShellGuiTest, GateForPressesOnWindowsAndDragsAcrossThem)
{
    Load(THREE);
    ASSERT_TRUE(atom->is_visible);
    s->is_atom_lock = false;
    const glm::vec3 last = atom->track.last_position;
    const glm::mat4 model = atom->track.Model;

    // inside the Action window, below its texts: no widget there
    const ImVec2 on_window(900.0f, 140.0f);
    MoveTo(on_window);
    Button(0, true);
    EXPECT_FALSE(atom->is_picking);
    EXPECT_FALSE(s->is_atom_lock) << "no scene press happened";
    EXPECT_EQ(atom->track.last_position, last);
    // dragging off the window onto the scene does not rotate either
    for (int i = 1; i <= 10; ++i) MoveTo(ImVec2(on_window.x + 20.0f * i, on_window.y + 30.0f * i));
    EXPECT_FALSE(s->is_mouse);
    Button(0, false);
    EXPECT_EQ(atom->track.Model, model);

    // a drag from the scene towards and across the Settings window keeps rotating
    const glm::mat4 start = atom->track.last_rotation;
    MoveTo(ImVec2(700.0f, 400.0f));
    Button(0, true);
    MoveTo(ImVec2(703.0f, 401.0f));
    EXPECT_FALSE(s->is_mouse) << "below the drag threshold";
    for (int i = 1; i <= 12; ++i) {
        MoveTo(ImVec2(700.0f - 50.0f * i, 400.0f - 28.0f * i));
        EXPECT_TRUE(s->is_mouse) << "step " << i;
    }
    EXPECT_LT(s->eposx, 310.0f);
    EXPECT_LT(s->eposy, 130.0f);
    EXPECT_FALSE(ImGui::IsAnyItemActive()) << "no widget took the drag";
    Button(0, false);
    EXPECT_FALSE(s->is_mouse);
    EXPECT_NE(atom->track.last_rotation, start) << "the rotation was made permanent";

    // a press on the scene picks and locks; without movement it does not rotate
    const glm::mat4 after = atom->track.last_rotation;
    s->is_atom_lock = false;
    MoveTo(SCENE_POINT);
    ImGui::GetIO().MouseDown[0] = true;
    ImGui::NewFrame();
    SetFrameSize(*s, 1280, 720, 1280, 720);
    MouseStep(*s, *atom);
    EXPECT_TRUE(atom->is_picking);
    EXPECT_TRUE(s->is_atom_lock);
    ImGui::Render();
    Frame();
    Button(0, false);
    EXPECT_EQ(atom->track.last_rotation, after);
}

TEST_F(ShellGuiTest, PickEditAndChangeTheElement)
{
    Load(THREE);
    ASSERT_EQ(atom->GetNumberOfAtoms(), 3u);
    ASSERT_EQ(atom->data.v_atom_index[0], 13u);  // Si

    // locked: "Symbol:" cannot be pressed
    Click(CENTRE);
    ASSERT_TRUE(atom->is_atom_selected);
    EXPECT_EQ(atom->selected_atom, 0u);
    EXPECT_EQ(atom->selected_symbol, "Si");
    EXPECT_TRUE(s->is_atom_lock);
    Click(Find(ACTION, "Symbol:"));
    EXPECT_FALSE(ImGui::IsPopupOpen("select", ImGuiPopupFlags_AnyPopupId));

    // right press on the atom: selects it and opens the pie; "Edit" unlocks
    MoveTo(SCENE_POINT);
    Click(CENTRE, 1);
    EXPECT_TRUE(s->is_select_pie);
    EXPECT_EQ(s->buff, "Si-0");
    Click(ImVec2(CENTRE.x - 30.0f, CENTRE.y + 52.0f));  // lower left
    EXPECT_FALSE(s->is_select_pie);
    EXPECT_FALSE(s->is_atom_lock);
    EXPECT_EQ(s->selected, 2);
    ASSERT_TRUE(atom->is_atom_selected);

    // the periodic-table popup: a choice closes it; "X" is the dummy element
    const struct {
        const char* button;
        unsigned index, z;
    } choices[] = {{"C", 5, 6}, {"X", 109, 110}};
    for (const auto& c : choices) {
        SCOPED_TRACE(c.button);
        Choose(ACTION, "Symbol:", c.button);
        EXPECT_TRUE(GImGui->OpenPopupStack.empty());
        EXPECT_EQ(atom->data.v_atom_index[0], c.index);
        EXPECT_EQ(atom->selected_zatom, c.z);
        EXPECT_EQ(atom->selected_symbol, c.button);
    }

    // a left press on the scene locks again
    Click(SCENE_POINT);
    EXPECT_TRUE(s->is_atom_lock);
}

TEST_F(ShellGuiTest, DeleteKeyAndPieDeleteActOnlyOnAnExistingAtom)
{
    LoadAndSelect();
    Key(GLFW_KEY_DELETE, false);
    EXPECT_EQ(atom->GetNumberOfAtoms(), 2u);
    EXPECT_FALSE(atom->is_atom_selected);
    Key(GLFW_KEY_DELETE, false);
    EXPECT_EQ(atom->GetNumberOfAtoms(), 2u) << "nothing selected any more";

    // pie "Delete" with a selection; the sixth entry names it
    Load(THREE);
    Click(CENTRE, 1);
    EXPECT_EQ(s->buff, "Si-0");
    Click(ImVec2(CENTRE.x - 30.0f, CENTRE.y - 52.0f));  // upper left
    EXPECT_EQ(atom->GetNumberOfAtoms(), 2u);
    EXPECT_FALSE(atom->is_atom_selected);
    // without a selection it does nothing and the label reads "-"
    Click(SCENE_POINT, 1);
    EXPECT_EQ(s->buff, "-");
    Click(ImVec2(SCENE_POINT.x - 30.0f, SCENE_POINT.y - 52.0f));
    EXPECT_EQ(atom->GetNumberOfAtoms(), 2u);

    // a selection left over from a larger structure never reaches the model
    Load(THREE);
    atom->is_atom_selected = true;
    atom->selected_atom = 7;
    Key(GLFW_KEY_DELETE, false);
    EXPECT_EQ(atom->GetNumberOfAtoms(), 3u);
}

TEST_F(ShellGuiTest, ClickThatClosesThePieNeitherPicksNorRotates)
{
    Load(THREE);
    const glm::mat4 start = atom->track.last_rotation;
    Click(SCENE_POINT, 1);
    ASSERT_TRUE(s->is_select_pie);
    // the wheel while it is open does not reach the scene
    Wheel(1.0f, 1);
    EXPECT_FLOAT_EQ(s->zoom, 1.0f);
    // choose "Close", keep the button down and drag away
    MoveTo(ImVec2(SCENE_POINT.x + 60.0f, SCENE_POINT.y));
    Button(0, true);
    EXPECT_FALSE(s->is_select_pie);
    EXPECT_FALSE(atom->is_picking);
    for (int i = 1; i <= 8; ++i) {
        MoveTo(ImVec2(SCENE_POINT.x + 60.0f + 15.0f * i, SCENE_POINT.y + 10.0f * i));
        EXPECT_FALSE(s->is_mouse);
    }
    Button(0, false);
    EXPECT_EQ(atom->track.last_rotation, start);
    // the next press is the scene's again
    Click(SCENE_POINT);
    EXPECT_TRUE(s->is_atom_lock);
    EXPECT_EQ(s->iposx, SCENE_POINT.x);
}

TEST_F(ShellGuiTest, PointerScaledToFramebufferPixels)
{
    Load(THREE);
    // a window of 640 x 360 units drawn into 1280 x 720 pixels
    ImGuiIO& io = ImGui::GetIO();
    io.MousePos = ImVec2(320.0f, 180.0f);
    io.DisplaySize = ImVec2(640.0f, 360.0f);
    io.MouseDown[0] = true;
    ImGui::NewFrame();
    SetFrameSize(*s, 1280, 720, 640, 360);
    glViewport(0, 0, 1280, 720);
    MouseStep(*s, *atom);
    EXPECT_EQ(atom->pcolor.x, 640);
    EXPECT_EQ(atom->pcolor.y, 720 - 360);
    ClearFrame(*s);
    ScenePass(*s, *atom);
    ImGui::Render();
    EXPECT_TRUE(atom->is_atom_selected);
    EXPECT_EQ(atom->selected_atom, 0u);
}

using Kind = FileChooser::ShownItem::Kind;

std::size_t CountFiles(const std::string& dir)
{
    std::size_t n = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir)) n += e.is_regular_file();
    return n;
}

TEST_F(ShellGuiTest, DroppedFilesLoadWithTheirFormatToldFromTheFile)
{
    const std::string rutile = std::string(TESK_SOURCE_DIR) + "/examples/rutile/POSCAR";
    Drop(rutile);  // a VASP file while the list says XYZ
    EXPECT_EQ(atom->GetNumberOfAtoms(), 6u);
    EXPECT_EQ(std::string(s->win_title), "Tesk " + rutile);
    EXPECT_EQ(std::string(s->filePath), rutile) << "Reload and the dialogs carry on from it";
    EXPECT_STREQ(s->item_current, "Auto");

    // a dropped file that is none of the formats leaves the structure
    ScratchDir dir("tesk_drop");
    std::ofstream(dir.path("notes")) << "no atoms here\n";
    Drop(dir.path("notes"));
    EXPECT_EQ(s->load_message, "Could not read " + dir.path("notes") + " as an unknown format");
    EXPECT_EQ(atom->GetNumberOfAtoms(), 6u);
    EXPECT_EQ(std::string(s->win_title), "Tesk " + rutile);
}

TEST_F(ShellGuiTest, SaveAsWritesTheChosenFormatAndAsksBeforeOverwriting)
{
    Click(Find(CHOOSER, "Save As"));
    EXPECT_FALSE(s->save_dlg && !s->save_dlg->getShownItems().empty()) << "nothing to save yet";

    ScratchDir dir("tesk_save");
    const std::string three = dir.path("three.xyz");
    std::filesystem::copy_file(THREE, three);
    const std::string original = Slurp(three);
    Drop(three);
    const FileChooser::Dialog* d = nullptr;
    auto open = [&] {
        Click(Find(CHOOSER, "Save As"));
        Frame();
        d = s->save_dlg.get();
    };
    open();
    EXPECT_EQ(ItemText(d, Kind::SAVE_NAME_FIELD), "three.xyz");
    EXPECT_EQ(ItemText(d, Kind::SAVE_FORMAT), "XYZ") << "the format it was read in";

    // VASP: the name follows the format; a new file is written at once
    Click(Item(d, Kind::SAVE_FORMAT));
    ASSERT_FALSE(GImGui->OpenPopupStack.empty());
    Click(Find(GImGui->OpenPopupStack.back().Window, "VASP"));
    EXPECT_EQ(ItemText(d, Kind::SAVE_NAME_FIELD), "three.vasp");
    Click(Item(d, Kind::SAVE_BUTTON));
    EXPECT_EQ(s->load_message, "Saved " + dir.path("three.vasp"));
    auto back = std::make_unique<CModel>();
    ASSERT_TRUE(back->ReadFile(dir.root, dir.path("three.vasp"), INPUT_FILE_TYPE_VSP));
    EXPECT_EQ(back->v_atom_index, atom->data.v_atom_index);

    // over the file it came from, after an edit: asked first; "No" keeps it
    Click(CENTRE);
    Key(GLFW_KEY_DELETE, false);
    ASSERT_EQ(atom->GetNumberOfAtoms(), 2u);
    open();
    Click(Item(d, Kind::FILE_ENTRY, nullptr, "three.vasp"));
    EXPECT_EQ(ItemText(d, Kind::SAVE_NAME_FIELD), "three.vasp") << "a listed file gives its name";
    Click(Item(d, Kind::FILE_ENTRY, nullptr, "three.xyz"));
    EXPECT_EQ(ItemText(d, Kind::SAVE_NAME_FIELD), "three.xyz");
    Click(Item(d, Kind::SAVE_BUTTON));
    EXPECT_EQ(ItemText(d, Kind::OVERWRITE_YES), "Overwrite " + three + "?");
    Click(Item(d, Kind::OVERWRITE_NO));
    EXPECT_EQ(ItemText(d, Kind::OVERWRITE_YES), "(not shown)");
    EXPECT_EQ(Slurp(three), original);

    // a disk that fills up while it is written: the old file stays whole
    Click(Item(d, Kind::SAVE_BUTTON));
    rlimit saved;
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 16;
    const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    Click(Item(d, Kind::OVERWRITE_YES));
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, old_handler);
    EXPECT_EQ(s->load_message, "Could not save " + three);
    EXPECT_EQ(Slurp(three), original);
    EXPECT_EQ(CountFiles(dir.root), 2u) << "nothing left beside it";

    open();
    Click(Item(d, Kind::SAVE_BUTTON));
    Click(Item(d, Kind::OVERWRITE_YES));
    EXPECT_EQ(s->load_message, "Saved " + three);
    ASSERT_TRUE(back->ReadFile(dir.root, three, INPUT_FILE_TYPE_XYZ));
    EXPECT_EQ(back->GetTotalAtoms(), 2u);
}

TEST_F(ShellGuiTest, SaveImageWritesTheSceneAtFramebufferSize)
{
    ScratchDir dir("tesk_image");
    std::filesystem::copy_file(THREE, dir.path("three.xyz"));
    Drop(dir.path("three.xyz"));
    Click(Find(CHOOSER, "Save Image"));
    Frame();
    const FileChooser::Dialog* d = s->image_dlg.get();
    EXPECT_EQ(ItemText(d, Kind::SAVE_NAME_FIELD), "three.png");
    EXPECT_EQ(ItemText(d, Kind::SAVE_FORMAT), "PNG");
    Click(Item(d, Kind::SAVE_BUTTON));
    EXPECT_EQ(s->load_message, "Saved " + dir.path("three.png"));

    int w = 0, h = 0, n = 0;
    unsigned char* png = stbi_load(dir.path("three.png").c_str(), &w, &h, &n, 3);
    ASSERT_NE(png, nullptr);
    EXPECT_EQ(w, 1280);
    EXPECT_EQ(h, 720);
    auto at = [&](ImVec2 p) {
        const unsigned char* c = png + (static_cast<int>(p.y) * w + static_cast<int>(p.x)) * 3;
        return std::vector<int>{c[0], c[1], c[2]};
    };
    const std::vector<int> background{102, 153, 178};
    EXPECT_EQ(at(SCENE_POINT), background);
    EXPECT_NE(at(CENTRE), background) << "the middle atom, the right way up";
    EXPECT_NE(at(ImVec2(CENTRE.x, CENTRE.y - 40.0f)), background);
    stbi_image_free(png);
}

TEST_F(ShellGuiTest, FieldsAndPopupsOwnTheKeysAndFileKeepsNamingTheLoadedFile)
{
    using FileChooser::ShownItem;
    CopyTextCut(s->filePath, PATH_SIZE, THREE.c_str());  // the dialog starts in its folder
    Click(Find(CHOOSER, "Open"));
    ClickInDialog(ShownItem::FILE_ENTRY, "three.xyz");
    ASSERT_EQ(atom->GetNumberOfAtoms(), 3u);
    const std::string file = "File:" + THREE.substr(0, 12);
    EXPECT_NE(ShownText().find(file), std::string::npos);
    Click(CENTRE);
    ASSERT_TRUE(atom->is_atom_selected);

    // Delete and the shortcuts, held or tapped shorter than a frame, do
    // nothing while a text field has the keyboard or a popup is open
    auto keys_do_nothing = [&](const char* owner) {
        for (int key : {GLFW_KEY_DELETE, GLFW_KEY_C, GLFW_KEY_F, GLFW_KEY_B}) {
            Key(key, key != GLFW_KEY_DELETE);
            NoteKeyPress(*s, key, GLFW_PRESS, key != GLFW_KEY_DELETE ? GLFW_MOD_CONTROL : 0);
            Frame();
        }
        EXPECT_EQ(atom->GetNumberOfAtoms(), 3u) << owner;
        EXPECT_TRUE(s->show_config_window && s->show_file_chooser) << owner;
        EXPECT_FALSE(atom->is_show_bond) << owner;
    };
    const ImVec2 centre_button = Find(SETTINGS, "(0,0,0)");  // right of the first "Set" field
    Click(ImVec2(ImGui::FindWindowByName(SETTINGS)->Pos.x + 30.0f, centre_button.y));
    ASSERT_TRUE(ImGui::GetIO().WantTextInput);
    keys_do_nothing("text field");
    Click(Find(CHOOSER, "Open"));
    ASSERT_TRUE(IsModalOpen());
    EXPECT_NE(ShownText().find(file), std::string::npos) << "Open keeps the name";
    keys_do_nothing("file dialog");
    ClickInDialog(ShownItem::WINDOW, "");  // its close button
    ASSERT_FALSE(IsModalOpen());
    EXPECT_NE(ShownText().find(file), std::string::npos) << "a cancel keeps the name";
    Click(CENTRE, 1);
    ASSERT_TRUE(s->is_select_pie);
    keys_do_nothing("pie menu");

    // with the scene's keyboard again a tap deletes
    Click(ImVec2(CENTRE.x + 60.0f, CENTRE.y));  // "Close"
    ASSERT_FALSE(s->is_select_pie);
    NoteKeyPress(*s, GLFW_KEY_DELETE, GLFW_PRESS, 0);
    Frame();
    EXPECT_EQ(atom->GetNumberOfAtoms(), 2u);
}

TEST_F(ShellGuiTest, LoopSleepsWithoutInputAndKeepsDrawingWhileNeeded)
{
    MoveTo(SCENE_POINT);
    EXPECT_LE(FramesIn(1.0), SETTLE_FRAMES + 2) << "a few frames to settle, then it sleeps";

    // a held shortcut needs frames: the loop never waits longer than an
    // animation step, so the key repeats at the key-repeat rate
    ImGuiIO& io = ImGui::GetIO();
    io.KeyCtrl = true;
    io.KeysDown[GLFW_KEY_C] = true;
    Frame();  // the press event wakes the loop
    int toggles = 1;
    const double end = glfwGetTime() + 1.0;
    for (bool last = s->show_config_window; glfwGetTime() < end; last = s->show_config_window) {
        EXPECT_LE(wait, ANIMATION_WAIT);
        WaitForEvents(std::min(wait, end - glfwGetTime()));
        Frame();
        toggles += s->show_config_window != last;
    }
    io.KeysDown[GLFW_KEY_C] = false;
    io.KeyCtrl = false;
    EXPECT_GE(toggles, 2);
    s->show_config_window = true;  // as it was, whatever the repeats left
    Frame();
    ASSERT_TRUE(ImGui::FindWindowByName(SETTINGS)->Active);
    EXPECT_LE(FramesIn(1.0), SETTLE_FRAMES + 2) << "let go: asleep again";

    // a text field with the keyboard blinks its caret: woken for each blink
    const ImVec2 centre_button = Find(SETTINGS, "(0,0,0)");  // right of the first "Set" field
    Click(ImVec2(ImGui::FindWindowByName(SETTINGS)->Pos.x + 30.0f, centre_button.y));
    ASSERT_TRUE(io.WantTextInput);
    for (int n = 0; n <= SETTLE_FRAMES; ++n) Frame();
    EXPECT_EQ(wait, CARET_WAIT);
}

}  // namespace

TEST_F(ShellGuiTest, FrameSliderAndPlaybackSkipTheFramesThatCannotBeShown)
{
    // frames 3 and 4 (of 5) cannot be shown: three atoms, a line without numbers
    Load(std::string(TESK_TEST_DATA) + "/frames/traj.xyz");
    ImGui::NewFrame();
    ImGui::SetWindowSize(ACTION, ImVec2(300.0f, 240.0f));
    ImGui::Render();
    Frame();
    ASSERT_TRUE(atom->data.trajectory.IsIndexed());

    // pressed in the middle of the slider: frame 3, refused with a message;
    // dragged to its right end: frame 5
    const ImVec2 slider = Find(ACTION, "Frame");
    MoveTo(slider);
    Button(0, true);
    EXPECT_EQ(atom->data.GetShownFrame(), 0u);
    EXPECT_NE(atom->data.frame_message.find("3 atoms"), std::string::npos);
    MoveTo(ImVec2(slider.x + 300.0f, slider.y));
    Button(0, false);
    EXPECT_EQ(atom->data.GetShownFrame(), 4u);
    EXPECT_NEAR(atom->data.m_cell_box[0][0], 12.0, 1e-9);

    // playing at 10 frames a second (6 passes of 1/60 s): past the end back
    // to the first frame, then on, never stopping at a refused frame
    const ImVec2 play = Find(ACTION, "Play");  // "Pause" takes its place
    Click(play);
    ASSERT_TRUE(s->is_playing);
    std::vector<std::size_t> shown;
    for (int pass = 0; pass < 20; ++pass) {
        Frame();
        if (shown.empty() || shown.back() != atom->data.GetShownFrame())
            shown.push_back(atom->data.GetShownFrame());
    }
    EXPECT_EQ(shown, (std::vector<std::size_t>{4, 0, 1, 4}));

    // without loop the last frame ends playback; Pause stops it anywhere
    Click(Find(ACTION, "Loop"));
    EXPECT_FALSE(s->is_loop);
    for (int pass = 0; pass < 30; ++pass)
        Frame();
    EXPECT_FALSE(s->is_playing);
    EXPECT_EQ(atom->data.GetShownFrame(), 4u);
    Click(play);
    EXPECT_TRUE(s->is_playing);
    Click(play);
    EXPECT_FALSE(s->is_playing);
}
