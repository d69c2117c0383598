// The frame loop's steps (control windows, mouse, keyboard, pie menu, load,
// save, selection and undo) driven through Dear ImGui with the input a GLFW
// back-end feeds it, on a real hidden OpenGL 3.3 window whose pixels are read.
#include <chrono>
#include <cmath>
#include <memory>
#include <thread>

#include <stb/stb_image.h>

#include <glad/gl.h>
#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>

#include <imgui_internal.h>

#include "render/display.h"
#include "model/convert.h"
#include "ui/command_line.h"
#include "ui/gl_window.h"
#include "ui/file_dialog.h"
#include "shell_test_support.h"
#include "ui/shell.h"
#include "ui/volume_panel.h"

namespace {

using Kind = FileChooser::ShownItem::Kind;
const char* const SETTINGS = "Settings (ctrl+c)";
const char* const CHOOSER = "Choose File (ctrl+f)";
const char* const ACTION = "Action (ctrl+a)";
const std::string THREE = std::string(TESK_TEST_DATA) + "/shell/three.xyz";
const std::string PAIR = std::string(TESK_TEST_DATA) + "/shell/pair.xyz";
const ImVec2 SCENE_POINT(900.0f, 500.0f);  // empty scene, no window there
const ImVec2 CENTRE(640.0f, 360.0f);       // the middle atom of three.xyz
const ImVec2 EMPTY(1100.0f, 600.0f);       // scene without atoms or windows
const std::vector<int> BACKGROUND{102, 153, 178};

ImVec2 Offset(ImVec2 p, float radius, float degrees)
{
    const float a = degrees * 3.14159265f / 180.0f;
    return ImVec2(p.x + radius * std::cos(a), p.y + radius * std::sin(a));
}

class ShellGuiTest : public ::testing::Test, protected GuiInput {
protected:
    static void SetUpTestSuite()
    {
        ASSERT_TRUE(glfwInit());
        GlWindowOptions options;
        options.title = "shell test";
        options.is_visible = false;
        window = OpenGlWindow(options);
        ASSERT_NE(window, nullptr);
    }
    // No glfwTerminate: it unloads the GL driver, whose caches then show up as leaks.
    static void TearDownTestSuite() { glfwDestroyWindow(window); }

    void SetUp() override
    {
        frame = [this] { Frame(); };
        NewGuiContext(ImVec2(1280.0f, 720.0f));
        ImGui::GetIO().MousePos = ImVec2(-FLT_MAX, -FLT_MAX);
        display = std::make_unique<CDisplay>();
        s = std::make_unique<CShellState>();
        display->SetClearColor(s->clear_color[0], s->clear_color[1], s->clear_color[2], s->clear_color[3]);
        // as the GLFW back-end maps them
        ImGui::GetIO().KeyMap[ImGuiKey_Enter] = GLFW_KEY_ENTER;
        ImGui::GetIO().KeyMap[ImGuiKey_Escape] = GLFW_KEY_ESCAPE;
        Frame(), Frame();  // the windows take the size of what they hold
    }
    void TearDown() override { display->Delete(), ImGui::DestroyContext(); }
    // One pass of the frame loop.
    void Frame() { wait = FramePass(*s, *display, 1280, 720, 1280, 720); }
    double wait = 0.0;  // how long the loop would sleep after this frame
    // Where a pointer hovers widget `label` of window `w` (the middle of the
    // points of a 3-pixel grid that hover it), and whether it is disabled.
    ImVec2 Find(ImGuiWindow* w, const char* label, bool* disabled = nullptr)
    {
        const ImVec2 saved = ImGui::GetIO().MousePos;
        const ImGuiID id = w->GetIDNoKeepAlive(label);
        glm::vec2 lo(1e9f), hi(-1e9f);
        for (float y = w->Pos.y; y < w->Pos.y + w->Size.y; y += 3.0f)
            for (float x = w->Pos.x; x < w->Pos.x + w->Size.x; x += 3.0f) {
                ImGui::GetIO().MousePos = ImVec2(x, y);
                ImGui::NewFrame();
                ControlWindows(*s, *display);
                ImGui::Render();
                if (GImGui->HoveredId != id)
                    continue;
                if (disabled)
                    *disabled = GImGui->HoveredIdDisabled;
                lo = glm::min(lo, glm::vec2(x, y));
                hi = glm::max(hi, glm::vec2(x, y));
            }
        ImGui::GetIO().MousePos = saved;
        EXPECT_LE(lo.x, hi.x) << "widget not found: " << label;
        return ImVec2((lo.x + hi.x) * 0.5f, (lo.y + hi.y) * 0.5f);
    }
    ImVec2 Find(const char* win, const char* label, bool* off = nullptr)
    {
        return Find(ImGui::FindWindowByName(win), label, off);
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
        s->input_format = format;
        LoadStructure(*s, *display, path.substr(0, path.rfind('/')).c_str(), path.c_str(), true), Frame();
    }
    // Drops `path` on the window, as the window system reports it.
    void Drop(const std::string& path)
    {
        const char* paths[1] = {path.c_str()};
        NoteDrop(*s, 1, paths), Frame();
    }
    std::string ItemText(const FileChooser::Dialog* d, Kind kind)
    {
        Frame();  // what a click changed shows from the next frame on
        return Shown(d, kind) ? Shown(d, kind)->text : "(not shown)";
    }
    // Window point of atom i as drawn in the last frame.
    ImVec2 Screen(unsigned i) const
    {
        const glm::vec4 c = display->Projection * display->track.View * display->track.Model *
                            glm::vec4(display->data.Positions()[i], 1.0f);
        return ImVec2((c.x / c.w + 1.0f) * 640.0f, (1.0f - c.y / c.w) * 360.0f);
    }
    glm::ivec3 Pixel(ImVec2 p) const
    {
        unsigned char rgb[4] = {};
        glReadPixels(int(p.x), 720 - int(p.y), 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgb);
        return glm::ivec3(rgb[0], rgb[1], rgb[2]);
    }

    static inline GLFWwindow* window = nullptr;
    std::unique_ptr<CDisplay> display;
    std::unique_ptr<CShellState> s;
    ScratchDir dir{"tesk_gui"};
};

TEST_F(ShellGuiTest, SettingsCheckboxesAndCtrlShortcuts)
{
    MoveTo(SCENE_POINT);
    // bonds shrink the atoms; a radius the user set with bonds or without
    // comes back with them
    const struct {
        float set;
        bool bonds;
        float shown;
    } steps[] = {{1.7f, true, 0.6f}, {0.4f, false, 1.7f}, {1.7f, true, 0.4f}};
    for (const auto& st : steps) {
        display->atom_scale = st.set;
        st.bonds ? Click(Find(SETTINGS, "Bonds")) : Key(GLFW_KEY_B, true);
        EXPECT_EQ(display->is_show_bond, st.bonds);
        EXPECT_FLOAT_EQ(display->atom_scale, st.shown);
    }
    Key(GLFW_KEY_B, true);
    // labels are on while either box is
    for (const char* box : {"Index", "Symbol", "Index"})
        Click(Find(SETTINGS, box));
    EXPECT_TRUE(display->is_show_label);
    Click(Find(SETTINGS, "Symbol"));
    EXPECT_FALSE(display->is_show_label) << "both clear: labels off in the same frame";
    Click(Find(SETTINGS, "Cell"));
    EXPECT_TRUE(display->is_show_box);

    const std::pair<int, bool CShellState::*> windows[] = {{GLFW_KEY_C, &CShellState::show_config_window},
                                                           {GLFW_KEY_F, &CShellState::show_file_chooser},
                                                           {GLFW_KEY_A, &CShellState::show_info_window}};
    for (const auto& [key, shown] : windows) {
        SCOPED_TRACE(key);
        Key(key, false);
        EXPECT_TRUE((*s).*shown) << "without Ctrl the letters do nothing";
        Key(key, true);
        EXPECT_FALSE((*s).*shown);
        // a tap shorter than a frame, seen only by the key callback, acts once
        NoteKeyPress(*s, key, GLFW_PRESS, GLFW_MOD_CONTROL);
        NoteKeyPress(*s, key, GLFW_RELEASE, GLFW_MOD_CONTROL);
        Frame(), Frame();
        EXPECT_TRUE((*s).*shown);
    }
    Key(GLFW_KEY_C, true);
    Key(GLFW_KEY_S, true);  // still reaches the labels while Settings is hidden
    EXPECT_TRUE(display->is_show_symbol && display->is_show_label);
    // a press seen both ways in one frame counts once; repeats come only through the GUI library
    NoteKeyPress(*s, GLFW_KEY_A, GLFW_PRESS, GLFW_MOD_CONTROL);
    Key(GLFW_KEY_A, true);
    EXPECT_FALSE(s->show_info_window);
    NoteKeyPress(*s, GLFW_KEY_B, GLFW_REPEAT, GLFW_MOD_CONTROL);
    Frame();
    EXPECT_FALSE(display->is_show_bond);
}

TEST_F(ShellGuiTest, LoadsDropsTitlesMessagesInputFormatAndReload)
{
    // a dropped file's format is told from the file, though the list says XYZ
    const std::string rutile = std::string(TESK_SOURCE_DIR) + "/examples/rutile/POSCAR";
    Drop(rutile);
    EXPECT_EQ(display->GetNumberOfAtoms(), 6u);
    EXPECT_EQ(std::string(s->filePath), rutile) << "Reload and the dialogs carry on from it";
    std::ofstream(dir.path("notes")) << "no atoms here\n";
    Drop(dir.path("notes"));
    EXPECT_EQ(s->load_message, "Could not read " + dir.path("notes") + " as an unknown format");
    EXPECT_EQ(display->GetNumberOfAtoms(), 6u);

    Drop(THREE);
    Click(CENTRE);
    Drop(THREE);
    EXPECT_TRUE(display->selection.IsEmpty()) << "a successful load clears the selection";
    // a failed Open of pair.xyz as PDB keeps the structure, its name and what Reload reads
    Choose(CHOOSER, "Input Format", "PDB");
    Click(Find(CHOOSER, "Open")), Frame();
    Click(Centre(Shown(s->dlg.get(), Kind::FILE_ENTRY, "pair.xyz")));
    EXPECT_EQ(s->load_message, PAIR + ": holds no ATOM or HETATM record");
    EXPECT_EQ(display->GetNumberOfAtoms(), 3u);
    EXPECT_EQ(std::string(s->win_title), "Tesk " + THREE);
    EXPECT_EQ(std::string(s->filePath), THREE) << "the File line";
    // the combo changes the format and loads nothing; "Reload" reads the structure shown again
    Choose(CHOOSER, "Input Format", "Auto");
    EXPECT_EQ(display->GetNumberOfAtoms(), 3u);
    Click(Find(CHOOSER, "Reload"));
    EXPECT_EQ(display->GetNumberOfAtoms(), 3u);
    EXPECT_TRUE(s->load_message.empty()) << "the message lasts until the next load attempt";
}

TEST_F(ShellGuiTest, VolumetricFilesAreReadOffTheFrameLoopAndTheLastOneAskedForWins)
{
    Load(THREE);
    const Blob small{glm::dmat3(8.0), {32, 32, 32}, {0.5, 0.5, 0.5}, 1.0, 0.2},
        large{glm::dmat3(11.0), {64, 64, 64}, {0.5, 0.5, 0.5}, 1.0, 0.2};
    const std::string small_path = dir.path("CHGCAR_small"), large_path = dir.path("CHGCAR_large"),
                      cut_path = dir.path("CHGCAR_cut");
    std::ofstream(small_path) << BlobChgcar(small);
    std::ofstream(large_path) << BlobChgcar(large);
    const std::string whole = BlobChgcar(small);
    std::ofstream(cut_path) << whole.substr(0, whole.size() / 2);
    auto open = [&](const std::string& path) {
        return LoadStructure(*s, *display, dir.root.c_str(), path.c_str(), true);
    };
    bool large_shown = false;  // in any pass
    auto passes = [&](int count) {
        for (int k = 0; k < count; ++k) {
            Frame(), std::this_thread::sleep_for(std::chrono::milliseconds(5));
            large_shown = large_shown || std::fabs(display->data.Cell()[0][0] - 11.0) < 1e-9;
        }
    };
    auto settle = [&] {
        for (int k = 0; k < 2000 && s->volume->Opening(); ++k)
            passes(1);
        Frame();
    };

    // started, not shown: the scene, the title and the file shown stay while
    // it is read; its name wins over the list's XYZ
    EXPECT_FALSE(open(large_path));
    EXPECT_EQ(s->load_message, "Reading " + large_path + "...");
    EXPECT_EQ(display->GetNumberOfAtoms(), 3u);
    EXPECT_EQ(std::string(s->win_title), "Tesk " + THREE);
    settle();
    EXPECT_EQ(display->GetNumberOfAtoms(), 1u);
    EXPECT_NEAR(display->data.Cell()[0][0], 11.0, 1e-9);
    EXPECT_TRUE(s->volume->Active());
    EXPECT_GT(s->volume->Triangles(), 100u);
    EXPECT_EQ(std::string(s->win_title), "Tesk " + large_path);
    EXPECT_EQ(std::string(s->filePath), large_path);

    // a second open while one is read: the second is shown, the first never
    Drop(THREE);
    large_shown = false;
    open(large_path);
    open(small_path);
    settle();
    passes(100);
    EXPECT_FALSE(large_shown);
    EXPECT_NEAR(display->data.Cell()[0][0], 8.0, 1e-9);
    EXPECT_EQ(std::string(s->filePath), small_path);
    // a structure file opened meanwhile wins as well
    open(large_path);
    Drop(THREE);
    passes(100);
    EXPECT_EQ(display->GetNumberOfAtoms(), 3u);
    EXPECT_FALSE(s->volume->Active());

    // a file that cannot be read says why; what was shown stays
    open(cut_path);
    settle();
    EXPECT_EQ(s->load_message.find("Could not read " + cut_path + " line "), 0u) << s->load_message;
    EXPECT_EQ(display->GetNumberOfAtoms(), 3u);
    EXPECT_EQ(std::string(s->filePath), THREE);
}

// Enter, Esc and a tap of either shorter than a frame, as fast typing makes them
TEST_F(ShellGuiTest, TheDialogGoesToATypedFolderOnEnterClosesOnEscAndOpensWhereTheUserWas)
{
    const std::string other = dir.dir("other");
    std::filesystem::copy_file(PAIR, other + "/pair.xyz");
    Drop(THREE);
    auto tap = [&](int key) {
        NoteKeyPress(*s, key, GLFW_PRESS, 0), NoteKeyPress(*s, key, GLFW_RELEASE, 0);
        Frame(), Frame();
    };
    Click(Find(CHOOSER, "Open")), Frame();
    const FileChooser::Dialog* d = s->dlg.get();
    EXPECT_NE(Shown(d, Kind::FILE_ENTRY, "three.xyz"), nullptr) << "the folder of the file shown";
    Click(Centre(Shown(d, Kind::EDIT_LOCATION_BUTTON))), Frame();
    ImGui::GetIO().AddInputCharactersUTF8(other.c_str());
    tap(GLFW_KEY_ENTER);
    EXPECT_EQ(std::string(d->getLastDirectory()), other);
    EXPECT_NE(Shown(d, Kind::FILE_ENTRY, "pair.xyz"), nullptr);
    tap(GLFW_KEY_ESCAPE);
    EXPECT_FALSE(IsModalOpen());
    // Open and Save As start where the user left off
    Click(Find(CHOOSER, "Open")), Frame();
    EXPECT_NE(Shown(d, Kind::FILE_ENTRY, "pair.xyz"), nullptr);
    tap(GLFW_KEY_ESCAPE);
    Click(Find(CHOOSER, "Save As")), Frame();
    EXPECT_EQ(std::string(s->save_dlg->getLastDirectory()), other);
    tap(GLFW_KEY_ESCAPE);
    EXPECT_FALSE(IsModalOpen());
}

TEST_F(ShellGuiTest, OpeningAnotherFileAsksWhatBecomesOfUnsavedEdits)
{
    const std::string three = dir.path("three.xyz");
    std::filesystem::copy_file(THREE, three);
    auto answer = [&](const char* button) {
        ASSERT_FALSE(GImGui->OpenPopupStack.empty()) << "no question";
        Click(Find(GImGui->OpenPopupStack.back().Window, button));
    };
    Drop(three);
    Click(CENTRE);
    Key(GLFW_KEY_DELETE);
    Drop(PAIR);
    EXPECT_EQ(std::string(s->win_title), "Tesk " + three) << "asked first";
    answer("Cancel");
    EXPECT_EQ(std::string(s->win_title), "Tesk " + three);
    EXPECT_EQ(display->GetNumberOfAtoms(), 2u);
    Drop(PAIR);
    answer("Discard");
    EXPECT_EQ(std::string(s->win_title), "Tesk " + PAIR);
    EXPECT_EQ(Slurp(three), Slurp(THREE));
    // Save: through Save As, over the file shown though the other file was
    // chosen from another folder; then the other file opens
    Drop(three);
    Click(CENTRE);
    Key(GLFW_KEY_DELETE);
    Click(Find(CHOOSER, "Open")), Frame();
    Click(Centre(Shown(s->dlg.get(), Kind::EDIT_LOCATION_BUTTON))), Frame();
    ImGui::GetIO().AddInputCharactersUTF8(TESK_TEST_DATA "/shell");
    Key(GLFW_KEY_ENTER);
    Click(Centre(Shown(s->dlg.get(), Kind::FILE_ENTRY, "pair.xyz")));
    answer("Save");
    Frame();
    ASSERT_EQ(std::string(s->save_dlg->getLastDirectory()), dir.root);
    Click(Centre(Shown(s->save_dlg.get(), Kind::SAVE_BUTTON)));
    Click(Centre(Shown(s->save_dlg.get(), Kind::OVERWRITE_YES)));
    EXPECT_EQ(Slurp(three).substr(0, 2), "2\n");
    EXPECT_EQ(std::string(s->win_title), "Tesk " + PAIR);
}

// Everything the control windows hold shows without scrolling: the repeat
// fields, the frame controls and a dihedral
TEST_F(ShellGuiTest, TheControlWindowsTakeTheSizeOfWhatTheyHold)
{
    std::ofstream(dir.path("chain.xyz"))
        << "4\n\nC 0 2 0\nC 0 0 0\nC 2 0 0\nC 2 -2 0\n4\n\nC 0 2 0\nC 0 0 0\nC 2 0 0\nC 2 -2 1\n";
    Drop(dir.path("chain.xyz"));
    for (unsigned i = 0; i < 4; ++i)
        Click(Screen(i), 0, i > 0);
    ASSERT_EQ(display->selection.Atoms().size(), 4u);
    Frame();
    for (const char* name : {SETTINGS, CHOOSER, ACTION}) {
        const ImGuiWindow* w = ImGui::FindWindowByName(name);
        EXPECT_FALSE(w->ScrollbarX || w->ScrollbarY) << name;
        EXPECT_TRUE(w->Pos.x >= 0.0f && w->Pos.y >= 0.0f && w->Pos.x + w->Size.x <= 1280.0f &&
                    w->Pos.y + w->Size.y <= 720.0f)
            << name;
    }
}

TEST_F(ShellGuiTest, WheelPressesAndDragsOnTheSceneAndOnWindowsInFramebufferPixels)
{
    Load(THREE);
    // a press inside the Action window where no widget is, dragged onto the scene: no pick, no rotation
    s->is_atom_lock = false;
    const glm::mat4 model = display->track.Model;
    const ImGuiWindow* action = ImGui::FindWindowByName(ACTION);
    const ImVec2 inside(action->Pos.x + action->Size.x - 4.0f, action->Pos.y + action->Size.y - 4.0f);
    MoveTo(inside);
    Button(0, true);
    EXPECT_FALSE(display->is_picking || s->is_atom_lock);
    for (int i = 1; i <= 10; ++i)
        MoveTo(ImVec2(inside.x + 20.0f * i, inside.y + 30.0f * i));
    EXPECT_FALSE(s->is_mouse);
    Button(0, false);
    EXPECT_EQ(display->track.Model, model);
    // a drag from the scene across the Settings window keeps rotating
    const glm::mat4 start = display->track.last_rotation;
    MoveTo(ImVec2(700.0f, 400.0f));
    Button(0, true);
    MoveTo(ImVec2(703.0f, 401.0f));
    EXPECT_FALSE(s->is_mouse) << "below the drag threshold";
    for (int i = 1; i <= 12; ++i)
        MoveTo(ImVec2(700.0f - 50.0f * i, 400.0f - 28.0f * i));
    EXPECT_TRUE(s->is_mouse && !ImGui::IsAnyItemActive()) << "no widget took the drag";
    Button(0, false);
    EXPECT_NE(display->track.last_rotation, start) << "the rotation was made permanent";
    // a press on the scene locks; without movement it does not rotate
    const glm::mat4 after = display->track.last_rotation;
    s->is_atom_lock = false;
    Click(SCENE_POINT);
    EXPECT_TRUE(s->is_atom_lock && display->track.last_rotation == after);

    Wheel(-1.0f, 10);
    EXPECT_FLOAT_EQ(display->view_zoom, 0.5f) << "clamped below";
    MoveTo(ImVec2(160.0f, 40.0f));
    Wheel(1.0f, 1);
    EXPECT_FLOAT_EQ(display->view_zoom, 0.5f) << "over a window the wheel is the GUI's";

    // a window of 640 x 360 units drawn into 1280 x 720 pixels: its middle is
    // the middle atom (the control windows, sized to what they hold, would cover it)
    s->show_config_window = s->show_file_chooser = s->show_info_window = false;
    Frame();
    ImGuiIO& io = ImGui::GetIO();
    io.MousePos = ImVec2(320.0f, 180.0f), io.DisplaySize = ImVec2(640.0f, 360.0f);
    for (bool down : {true, false}) {
        io.MouseDown[0] = down;
        ImGui::NewFrame();
        SetFrameSize(*s, 1280, 720, 640, 360);
        MouseStep(*s, *display);
        ClearFrame(*s);
        ScenePass(*s, *display);
        ImGui::Render();
    }
    EXPECT_TRUE(!display->selection.IsEmpty() && display->selection.Last() == 0u);
}

TEST_F(ShellGuiTest, PieMenuChoicesByDirectionAndDistance)
{
    // opened by a right press on the middle atom, closed by a left one this far in this direction
    const struct {
        float radius, degrees;
        int selected;
        unsigned atoms;
        bool locked;
    } rows[] = {
        {60, 0, 0, 3, true},     // Close
        {60, 120, 2, 3, false},  // Edit unlocks
        {60, 240, 4, 2, true},   // Delete
        {10, 240, -1, 3, true},  // the dead zone clears the choice
        {70, 30, -1, 3, true},   // the gap between two sectors
        {130, 240, 3, 3, true},  // beyond the ring: closes, keeps the last choice
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::Message() << r.radius << " px at " << r.degrees << " degrees");
        Load(THREE);
        s->selected = 3;
        Click(CENTRE, 1);
        ASSERT_TRUE(s->is_select_pie);
        EXPECT_EQ(s->buff, "Si-0") << "the last entry names the selection";
        Click(Offset(CENTRE, r.radius, r.degrees));
        EXPECT_FALSE(s->is_select_pie);
        EXPECT_EQ(s->selected, r.selected);
        EXPECT_EQ(display->GetNumberOfAtoms(), r.atoms);
        EXPECT_EQ(s->is_atom_lock, r.locked);
    }
    // unlocked by "Edit": the periodic table changes the element; "X" is the dummy
    Load(THREE);
    Click(CENTRE);
    Click(Find(ACTION, "Symbol:"));
    EXPECT_FALSE(ImGui::IsPopupOpen("select", ImGuiPopupFlags_AnyPopupId)) << "locked";
    Click(CENTRE, 1);
    Click(Offset(CENTRE, 60, 120));
    for (const auto& c : {std::make_pair("C", 5u), {"X", 109u}}) {
        Choose(ACTION, "Symbol:", c.first);
        EXPECT_TRUE(GImGui->OpenPopupStack.empty()) << c.first;
        EXPECT_EQ(display->data.Elements()[0], c.second) << c.first;
    }
    // the click that closes the menu, held and dragged, neither picks nor
    // rotates, and the wheel while it is open does not zoom
    const glm::mat4 start = display->track.last_rotation;
    Click(SCENE_POINT, 1);
    Wheel(1.0f, 1);
    EXPECT_FLOAT_EQ(s->zoom, 1.0f);
    MoveTo(Offset(SCENE_POINT, 60, 0));
    Button(0, true);
    EXPECT_FALSE(s->is_select_pie || display->is_picking);
    for (int i = 1; i <= 8; ++i)
        MoveTo(ImVec2(SCENE_POINT.x + 60.0f + 15.0f * i, SCENE_POINT.y + 10.0f * i));
    Button(0, false);
    EXPECT_EQ(display->track.last_rotation, start);
}

TEST_F(ShellGuiTest, SaveAsAsksBeforeOverwritingAndSaveImageWritesTheScene)
{
    Click(Find(CHOOSER, "Save As"));
    EXPECT_FALSE(s->save_dlg && !s->save_dlg->getShownItems().empty()) << "nothing to save yet";

    const std::string three = dir.path("three.xyz"), original = Slurp(THREE);
    std::filesystem::copy_file(THREE, three);
    Drop(three);
    const FileChooser::Dialog* d = nullptr;
    auto open = [&] { Click(Find(CHOOSER, "Save As")), Frame(), d = s->save_dlg.get(); };
    open();
    EXPECT_EQ(ItemText(d, Kind::SAVE_FORMAT), "XYZ") << "the format it was read in";
    // VASP: the name follows the format; a new file is written at once
    Click(Centre(Shown(d, Kind::SAVE_FORMAT)));
    ASSERT_FALSE(GImGui->OpenPopupStack.empty());
    Click(Find(GImGui->OpenPopupStack.back().Window, "VASP"));
    EXPECT_EQ(ItemText(d, Kind::SAVE_NAME_FIELD), "three.vasp");
    Click(Centre(Shown(d, Kind::SAVE_BUTTON)));
    // the message line says what the save added: a molecule needs a cell in VASP
    EXPECT_EQ(s->load_message,
              "Saved " + dir.path("three.vasp") + ": the molecule was given a cell with 10 A of vacuum on every side");
    CModel back;
    ASSERT_TRUE(back.ReadFile(dir.root, dir.path("three.vasp"), INPUT_FILE_TYPE_VSP));
    EXPECT_EQ(back.Elements(), display->data.Elements());
    // the image: the scene alone, at framebuffer size
    Click(Find(CHOOSER, "Save Image"));
    ASSERT_FALSE(GImGui->OpenPopupStack.empty()) << "the size is asked first";
    Click(Find(GImGui->OpenPopupStack.back().Window, "Choose File"));
    Frame(), Frame();
    Click(Centre(Shown(s->image_dlg.get(), Kind::SAVE_BUTTON)));
    EXPECT_EQ(s->load_message, "Saved " + dir.path("three.png"));
    int w = 0, h = 0, n = 0;
    unsigned char* png = stbi_load(dir.path("three.png").c_str(), &w, &h, &n, 3);
    ASSERT_NE(png, nullptr);
    EXPECT_EQ(glm::ivec2(w, h), glm::ivec2(1280, 720));
    auto at = [&](ImVec2 p) {
        const unsigned char* c = png + (int(p.y) * w + int(p.x)) * 3;
        return std::vector<int>(c, c + 3);
    };
    EXPECT_NE(at(CENTRE), BACKGROUND) << "the middle atom";
    EXPECT_EQ(at(SCENE_POINT), BACKGROUND);
    EXPECT_EQ(at(ImVec2(150.0f, 100.0f)), BACKGROUND) << "without the Settings window";
    stbi_image_free(png);
    // over the file it came from, after an edit: asked first; "No" keeps it
    Click(CENTRE);
    Key(GLFW_KEY_DELETE, false);
    ASSERT_EQ(display->GetNumberOfAtoms(), 2u);
    open();
    Click(Centre(Shown(d, Kind::FILE_ENTRY, "three.xyz")));
    EXPECT_EQ(ItemText(d, Kind::SAVE_NAME_FIELD), "three.xyz") << "a listed file gives its name";
    Click(Centre(Shown(d, Kind::SAVE_BUTTON)));
    EXPECT_EQ(ItemText(d, Kind::OVERWRITE_YES), "Overwrite " + three + "?");
    Click(Centre(Shown(d, Kind::OVERWRITE_NO)));
    EXPECT_EQ(Slurp(three), original);
    Click(Centre(Shown(d, Kind::SAVE_BUTTON)));
    Click(Centre(Shown(d, Kind::OVERWRITE_YES)));
    EXPECT_EQ(s->load_message, "Saved " + three);
    ASSERT_TRUE(back.ReadFile(dir.root, three, INPUT_FILE_TYPE_XYZ));
    EXPECT_EQ(back.GetTotalAtoms(), 2u);
}

TEST_F(ShellGuiTest, FieldsAndPopupsOwnTheKeys)
{
    Load(THREE);
    Click(CENTRE);
    ASSERT_FALSE(display->selection.IsEmpty());
    // Delete and the shortcuts, held or tapped shorter than a frame, do
    // nothing while a text field has the keyboard or a popup is open
    auto keys_do_nothing = [&](const char* owner) {
        for (int key : {GLFW_KEY_DELETE, GLFW_KEY_C, GLFW_KEY_F, GLFW_KEY_B}) {
            Key(key, key != GLFW_KEY_DELETE);
            NoteKeyPress(*s, key, GLFW_PRESS, key != GLFW_KEY_DELETE ? GLFW_MOD_CONTROL : 0);
            Frame();
        }
        EXPECT_TRUE(display->GetNumberOfAtoms() == 3u && s->show_config_window && s->show_file_chooser &&
                    !display->is_show_bond)
            << owner;
        Key(GLFW_KEY_1);
        EXPECT_EQ(display->track.Model, glm::mat4(1.0f)) << owner << ": no view along a";
    };
    // the first "Repeat" field of Settings, above the centring button, takes the keyboard
    const float repeat_y = Find(SETTINGS, "Centre on (0,0,0)").y - ImGui::GetFrameHeightWithSpacing();
    Click(ImVec2(ImGui::FindWindowByName(SETTINGS)->Pos.x + 30.0f, repeat_y));
    ASSERT_TRUE(ImGui::GetIO().WantTextInput);
    keys_do_nothing("text field");
    Click(Find(CHOOSER, "Open"));
    ASSERT_TRUE(IsModalOpen());
    keys_do_nothing("file dialog");
    const FileChooser::ShownItem* wnd = Shown(s->dlg.get(), Kind::WINDOW);
    ASSERT_NE(wnd, nullptr);
    Click(ImVec2(wnd->max.x - 12.0f, wnd->min.y + 9.0f));  // its close button
    ASSERT_FALSE(IsModalOpen());
    EXPECT_EQ(std::string(s->win_title), "Tesk " + THREE) << "a cancel keeps the structure";
    Click(CENTRE, 1);
    ASSERT_TRUE(s->is_select_pie);
    keys_do_nothing("pie menu");
    // with the scene's keyboard again a tap deletes
    Click(Offset(CENTRE, 60, 0));  // "Close"
    NoteKeyPress(*s, GLFW_KEY_DELETE, GLFW_PRESS, 0);
    Frame();
    EXPECT_EQ(display->GetNumberOfAtoms(), 2u);
}

TEST_F(ShellGuiTest, ViewsByKeyAndButtonThenTheTrackballTurnsOnAndImagesTakeTheSizeAsked)
{
    Load(THREE);  // a molecule: its a, b, c are x, y, z
    MoveTo(SCENE_POINT);
    auto toward_viewer = [&](glm::vec3 d) { return (display->track.Model * glm::vec4(glm::normalize(d), 0.0f)).z; };
    const struct {
        int key;
        const char* button;
        glm::vec3 toward;
    } views[] = {{GLFW_KEY_1, "a", {1, 0, 0}}, {GLFW_KEY_2, "b", {0, 1, 0}}, {GLFW_KEY_3, "c", {0, 0, 1}}};
    for (const auto& v : views) {
        SCOPED_TRACE(v.button);
        Key(v.key);
        EXPECT_NEAR(toward_viewer(v.toward), 1.0f, 1e-5f);
        Key(GLFW_KEY_0);
        EXPECT_EQ(display->track.Model, glm::mat4(1.0f)) << "0 resets";
        Click(Find(SETTINGS, v.button));
        EXPECT_NEAR(toward_viewer(v.toward), 1.0f, 1e-5f);
        Click(Find(SETTINGS, "Reset view"));
    }
    s->view_uvw[0] = s->view_uvw[1] = 1.0f, s->view_uvw[2] = 0.0f;
    Click(Find(SETTINGS, "[u v w]"));
    EXPECT_NEAR(toward_viewer({1, 1, 0}), 1.0f, 1e-5f);
    // a drag turns on from the view, in either projection
    for (const char* projection : {"Perspective", "Orthographic"}) {
        Click(Find(SETTINGS, projection));
        EXPECT_EQ(display->is_perspective, projection[0] == 'P');
        Key(GLFW_KEY_1);
        MoveTo(SCENE_POINT), Button(0, true), MoveTo(ImVec2(SCENE_POINT.x + 150.0f, SCENE_POINT.y)), Button(0, false);
        EXPECT_LT(toward_viewer({1, 0, 0}), 0.99f) << projection;
        EXPECT_NEAR(glm::determinant(glm::mat3(display->track.Model)), 1.0f, 1e-4f) << projection << ": still a turn";
    }
    // Save Image at its own size: transparent where nothing is drawn
    s->image_size[0] = 300, s->image_size[1] = 200, s->is_image_transparent = true;
    s->image_request = dir.path("image.png");
    Frame();
    int w = 0, h = 0, n = 0;
    unsigned char* png = stbi_load(dir.path("image.png").c_str(), &w, &h, &n, 4);
    ASSERT_NE(png, nullptr) << s->load_message;
    EXPECT_EQ(glm::ivec3(w, h, n), glm::ivec3(300, 200, 4));
    EXPECT_EQ(png[3], 0) << "the corner";
    EXPECT_EQ(png[(100 * 300 + 150) * 4 + 3], 255) << "the middle atom";
    stbi_image_free(png);
}

TEST_F(ShellGuiTest, ShiftClicksSelectUpToFourAndMeasureThenDeleteUndoAndRedo)
{
    // the chain 0-1-2-3 with right angles and a trans dihedral, atom 4 aside
    std::ofstream(dir.path("chain.xyz")) << "5\n\nC 0 2 0\nC 0 0 0\nC 2 0 0\nC 2 -2 0\nO -2 -2 0\n";
    Load(dir.path("chain.xyz"));
    MoveTo(EMPTY);
    ImVec2 at[5];
    for (unsigned i = 0; i < 5; ++i)
        at[i] = Screen(i);
    const ImVec2 middle02((at[0].x + at[2].x) / 2, (at[0].y + at[2].y) / 2);
    // the measurement line's colour somewhere in the 5 x 5 pixels around p
    auto line_near = [&](ImVec2 p) {
        bool seen = false;
        for (int d = 0; d < 25; ++d)
            seen |= glm::all(glm::lessThanEqual(
                glm::abs(Pixel(ImVec2(p.x + d % 5 - 2, p.y + d / 5 - 2)) - glm::ivec3(255, 191, 115)), glm::ivec3(2)));
        return seen;
    };

    Click(at[0]);
    Click(at[2], 0, true);
    EXPECT_EQ(MeasurementText(*display), "Distance 0-2: 2.8284 \xc3\x85");
    // both drawn in the highlight colour beside the line, the others in
    // their own; the line joins them
    for (unsigned i : {0u, 2u, 1u, 4u}) {
        const glm::ivec3 c = Pixel(ImVec2(at[i].x + 7, at[i].y - 7));
        EXPECT_EQ(c.g - c.b > 25, i == 0 || i == 2) << i << ": " << c.r << " " << c.g << " " << c.b;
    }
    EXPECT_TRUE(line_near(middle02));
    // shift-click again takes an atom out; click order is kept; a fifth is
    // not taken, nor does a shift-click on nothing clear
    const struct {
        unsigned atom;
        std::vector<unsigned> selected;
        const char* measure;
    } steps[] = {
        {2, {0}, ""},
        {1, {0, 1}, "Distance 0-1: 2.0000 \xc3\x85"},
        {2, {0, 1, 2}, "Angle 0-1-2: 90.0000\xc2\xb0"},
        {3, {0, 1, 2, 3}, "Dihedral 0-1-2-3: 180.0000\xc2\xb0"},
        {4, {0, 1, 2, 3}, "Dihedral 0-1-2-3: 180.0000\xc2\xb0"},
        {5, {0, 1, 2, 3}, "Dihedral 0-1-2-3: 180.0000\xc2\xb0"},
        {1, {0, 2, 3}, "Angle 0-2-3: 135.0000\xc2\xb0"},
    };
    for (const auto& st : steps) {
        Click(st.atom < 5 ? at[st.atom] : EMPTY, 0, true);
        EXPECT_EQ(display->selection.Atoms(), st.selected) << "after " << st.atom;
        EXPECT_EQ(MeasurementText(*display), st.measure);
    }
    EXPECT_EQ(display->selection.Last(), 3u);
    // a plain click selects one, a click on nothing none; the lines go
    Click(at[4]);
    EXPECT_EQ(display->selection.Atoms(), (std::vector<unsigned>{4}));
    Click(EMPTY);
    EXPECT_TRUE(display->selection.IsEmpty());
    EXPECT_FALSE(line_near(middle02));

    // delete three; one step of undo puts them back at their numbers
    const std::vector<glm::vec3> original = display->data.Positions();
    Click(at[1]);
    Click(at[4], 0, true);
    Click(at[3], 0, true);
    Key(GLFW_KEY_DELETE, false);
    ASSERT_EQ(display->data.Elements(), (std::vector<unsigned>{5, 5}));
    EXPECT_TRUE(display->selection.IsEmpty());
    Key(GLFW_KEY_DELETE, false);
    EXPECT_EQ(display->GetNumberOfAtoms(), 2u) << "nothing selected any more";
    Key(GLFW_KEY_Z, true);
    EXPECT_EQ(display->data.Positions(), original);
    const struct {
        int key;
        bool shift;
        unsigned atoms;
    } keys[] = {{GLFW_KEY_Z, true, 2}, {GLFW_KEY_Z, false, 5}, {GLFW_KEY_Y, false, 2}, {GLFW_KEY_Z, false, 5}};
    for (const auto& k : keys) {
        Key(k.key, true, k.shift);
        EXPECT_EQ(display->GetNumberOfAtoms(), k.atoms) << k.key << " shift " << k.shift;
    }
    // a press shorter than a frame, seen only by the key callback
    NoteKeyPress(*s, GLFW_KEY_Z, GLFW_PRESS, GLFW_MOD_CONTROL | GLFW_MOD_SHIFT);
    Frame();
    EXPECT_EQ(display->GetNumberOfAtoms(), 2u);

    Click(Find(ACTION, "Undo"));
    EXPECT_EQ(display->GetNumberOfAtoms(), 5u);
    Click(Find(ACTION, "Redo"));
    EXPECT_EQ(display->GetNumberOfAtoms(), 2u);
    bool disabled = false;
    Find(ACTION, "Redo", &disabled);
    EXPECT_TRUE(disabled) << "nothing left to redo";
    // a load clears the history
    Load(dir.path("chain.xyz"));
    Key(GLFW_KEY_Y, true);
    Key(GLFW_KEY_Z, true);
    EXPECT_EQ(display->GetNumberOfAtoms(), 5u);
}

TEST_F(ShellGuiTest, ADragTurnsAndKeepsTheSelectionAClickSelectsAndTheMenuActsOnAll)
{
    std::ofstream(dir.path("chain.xyz")) << "5\n\nC 0 2 0\nC 0 0 0\nC 2 0 0\nC 2 -2 0\nO -2 -2 0\n";
    Load(dir.path("chain.xyz"));
    Click(Screen(0));
    for (unsigned i : {1u, 2u, 3u})
        Click(Screen(i), 0, true);
    const std::string dihedral = MeasurementText(*display);
    ASSERT_EQ(dihedral, "Dihedral 0-1-2-3: 180.0000\xc2\xb0");
    // turning to look at it, from empty space or from an atom, keeps it
    auto drag = [&](ImVec2 from, ImVec2 by) {
        const glm::mat4 before = display->track.last_rotation;
        MoveTo(from), Button(0, true);
        for (int i = 1; i <= 8; ++i)
            MoveTo(ImVec2(from.x + by.x * i / 8, from.y + by.y * i / 8));
        Button(0, false);
        EXPECT_NE(display->track.last_rotation, before) << "turned";
    };
    drag(EMPTY, ImVec2(-60.0f, 30.0f));
    drag(Screen(4), ImVec2(40.0f, 50.0f));
    EXPECT_EQ(display->selection.Atoms(), (std::vector<unsigned>{0, 1, 2, 3}));
    EXPECT_EQ(MeasurementText(*display), dihedral);
    // a right-click on one of them keeps all four; the menu's Delete deletes them
    const ImVec2 second = Screen(1);
    Click(second, 1);
    ASSERT_TRUE(s->is_select_pie);
    EXPECT_EQ(display->selection.Atoms(), (std::vector<unsigned>{0, 1, 2, 3}));
    Click(Offset(second, 60, 240));
    ASSERT_EQ(display->GetNumberOfAtoms(), 1u);
    EXPECT_EQ(display->data.Elements()[0], 7u) << "the oxygen is left";
    // a click that wobbles less than the drag threshold is still a click
    Key(GLFW_KEY_Z, true);
    Click(Screen(2));
    const glm::mat4 still = display->track.last_rotation;
    MoveTo(EMPTY), Button(0, true), MoveTo(ImVec2(EMPTY.x + 2.0f, EMPTY.y + 1.0f)), Button(0, false);
    EXPECT_TRUE(display->selection.IsEmpty());
    EXPECT_EQ(display->track.last_rotation, still);
}

TEST_F(ShellGuiTest, FramesSkipThoseThatCannotBeShownAndTheLoopSleepsWhenIdle)
{
    // frames 3 and 4 (of 5) cannot be shown: three atoms, a line without numbers
    Load(std::string(TESK_TEST_DATA) + "/frames/traj.xyz");
    // pressed in the middle of the slider: frame 3, refused with a message;
    // dragged to its right end: frame 5
    const ImVec2 slider = Find(ACTION, "Frame");
    MoveTo(slider);
    Button(0, true);
    EXPECT_EQ(display->data.GetShownFrame(), 0u);
    EXPECT_NE(display->data.FrameMessage().find("3 atoms"), std::string::npos);
    MoveTo(ImVec2(slider.x + 300.0f, slider.y));
    Button(0, false);
    EXPECT_EQ(display->data.GetShownFrame(), 4u);
    EXPECT_NEAR(display->data.Cell()[0][0], 12.0, 1e-9);
    // playing at 10 frames a second (6 passes of 1/60 s): past the end back
    // to the first frame, then on, never stopping at a refused frame
    Click(Find(ACTION, "Play"));
    ASSERT_TRUE(s->is_playing);
    std::vector<std::size_t> shown;
    for (int pass = 0; pass < 20; ++pass)
        if (Frame(), shown.empty() || shown.back() != display->data.GetShownFrame())
            shown.push_back(display->data.GetShownFrame());
    EXPECT_EQ(shown, (std::vector<std::size_t>{4, 0, 1, 4}));
    // without loop the last frame ends playback
    Click(Find(ACTION, "Loop"));
    EXPECT_FALSE(s->is_loop);
    for (int pass = 0; pass < 30; ++pass)
        Frame();
    EXPECT_FALSE(s->is_playing);
    EXPECT_EQ(display->data.GetShownFrame(), 4u);
    // Play again from there starts from the first frame
    const ImVec2 play = Find(ACTION, "Play");
    Click(play);
    EXPECT_TRUE(s->is_playing && display->data.GetShownFrame() == 0u);
    Click(play);  // Pause
    // nothing happens: it sleeps; a held shortcut (it repeats) or playback wakes it
    auto wait_after = [&] {
        for (int n = 0; n <= SETTLE_FRAMES; ++n)
            Frame();
        return wait;
    };
    MoveTo(SCENE_POINT);
    EXPECT_GE(wait_after(), 1.0);
    ImGuiIO& io = ImGui::GetIO();
    io.KeyCtrl = io.KeysDown[GLFW_KEY_B] = true;
    EXPECT_LE(wait_after(), ANIMATION_WAIT);
    io.KeyCtrl = io.KeysDown[GLFW_KEY_B] = false;
    s->is_playing = s->is_loop = true;
    EXPECT_LE(wait_after(), ANIMATION_WAIT);
    s->is_playing = false;
    EXPECT_GE(wait_after(), 1.0) << "let go: asleep again";
}

}  // namespace
