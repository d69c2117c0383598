#include "ui/shell.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/types.h>

#include <glad/gl.h>
#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>

#include <imgui_internal.h>

#include "render/display.h"
#include "ui/command_line.h"
#include "model/volume_convert.h"
#include "ui/pie_menu.h"
#include "render/offscreen.h"
#include "io/textio.h"
#include "ui/view_panel.h"
#include "ui/file_dialog.h"
#include "ui/file_opening.h"
#include "ui/volume_panel.h"
#include "version.h"

namespace {

const char* const NO_LAYOUT = "; the window layout will not be saved";

// A user name that is safe as one folder name under the home root.
const char* CheckUserName(const char* p_user)
{
    if (p_user == nullptr)
        return "USER is not set";
    if (p_user[0] == '\0')
        return "USER is empty";
    if (std::strcmp(p_user, ".") == 0 || std::strstr(p_user, "..") != nullptr || std::strchr(p_user, '/') != nullptr)
        return "USER cannot be used as a folder name";
    for (const char* c = p_user; *c; ++c) {
        const unsigned char u = static_cast<unsigned char>(*c);
        if (u < 0x20 || u == 0x7f)
            return "USER contains control characters";
    }
    return nullptr;
}

// Creates every missing folder of `path` (absolute, ending in '/'), like mkdir -p.
bool MakeFolders(const std::string& path, int& err)
{
    err = 0;
    for (std::size_t pos = path.find('/', 1); pos != std::string::npos; pos = path.find('/', pos + 1)) {
        const std::string part = path.substr(0, pos);
        if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) {
            err = errno;
            return false;
        }
    }
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        err = errno;
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        err = ENOTDIR;
        return false;
    }
    return true;
}

}  // namespace

bool CopyTextCut(char* buf, std::size_t size, const char* text)
{
    if (size == 0)
        return false;
    if (text == nullptr)
        text = "";
    std::size_t len = std::strlen(text);
    const bool fits = len < size;
    if (!fits) {
        len = size - 1;
        // step back over continuation bytes so no character is split
        while (len > 0 && (static_cast<unsigned char>(text[len]) & 0xC0) == 0x80)
            --len;
    }
    std::memcpy(buf, text, len);
    buf[len] = '\0';
    return fits;
}

bool SetupSettingsPath(const char* home_root, const char* p_user, char (&config)[CONFIG_SIZE], std::string& line)
{
    config[0] = '\0';
    line.clear();
    if (const char* why = CheckUserName(p_user)) {
        line = std::string(" settings: ") + why + NO_LAYOUT + "\n";
        return false;
    }
    const int n = std::snprintf(config, CONFIG_SIZE, "%s/%s/.tesk-org/tesk.ini", home_root, p_user);
    if (n < 0 || static_cast<std::size_t>(n) >= CONFIG_SIZE) {
        config[0] = '\0';
        line = std::string(" settings: USER is too long for the settings path") + NO_LAYOUT + "\n";
        return false;
    }

    std::ifstream infile(config);
    if (infile.is_open()) {
        line = std::string(" settings: ") + config + "\n";
        infile.close();
        return true;
    }

    // The user name is bounded by the settings path, so the text always fits.
    char command[COMMAND_SIZE];
    std::snprintf(command, sizeof command, "mkdir -p %s/%s/.tesk-org/", home_root, p_user);
    line = std::string(" settings: ") + command + "\n";

    const std::string folder = std::string(home_root) + "/" + p_user + "/.tesk-org/";
    int err = 0;
    if (!MakeFolders(folder, err)) {
        line += " settings: could not create " + folder + ": " + std::strerror(err) + NO_LAYOUT + "\n";
        config[0] = '\0';
        return false;
    }
    return true;
}

CShellState::CShellState()
{
    std::snprintf(user_version, sizeof user_version, "Tesk %s %s(%s)", AutoVersion::STATUS,
                  AutoVersion::UBUNTU_VERSION_STYLE, AutoVersion::DATE);
    volume = std::make_unique<CVolumeView>();
}

CShellState::~CShellState() = default;

void SetFrameSize(CShellState& s, int display_w, int display_h, int window_w, int window_h)
{
    s.display_w = display_w;
    s.display_h = display_h;
    s.fb_scale_x = (window_w > 0 && display_w > 0) ? static_cast<float>(display_w) / window_w : 1.0f;
    s.fb_scale_y = (window_h > 0 && display_h > 0) ? static_cast<float>(display_h) / window_h : 1.0f;
}

bool HasValidSelection(const CDisplay& display)
{
    return display.selection.Last() < display.GetNumberOfAtoms();
}

void MouseStep(CShellState& s, CDisplay& display)
{
    const ImGuiIO& io = ImGui::GetIO();

    const bool gui_has_mouse = ImGui::IsAnyItemActive() || io.WantCaptureMouse;
    const bool gate = !s.is_select_pie && ImGui::IsMousePosValid() &&
                      (s.is_mouse || !gui_has_mouse);
    if (!gate) {
        s.is_mouse = false;
        s.is_scene_press = false;
        return;
    }

    const float mx = io.MousePos.x, my = io.MousePos.y;
    // picking and the trackball work in framebuffer pixels
    const float fx = mx * s.fb_scale_x, fy = my * s.fb_scale_y;

    if (ImGui::IsMouseClicked(1)) {
        s.pposx = mx;
        s.pposy = my;
        // an atom of a multiple selection keeps it: the menu acts on all
        if (display.is_visible)
            display.SetPicking(static_cast<int>(fx), static_cast<int>(fy), false, true);
        s.is_select_pie = true;
    } else if (ImGui::IsMouseClicked(0)) {
        s.iposx = mx;
        s.iposy = my;
        display.SetTrackLastPosition(fx, fy);
        s.is_scene_press = true;
    } else if (ImGui::IsMouseDragging(0)) {
        s.eposx = mx;
        s.eposy = my;
        display.SetTrackCurretPosition(fx, fy);
        s.is_mouse = true;
    } else if (ImGui::IsMouseReleased(0) && s.is_mouse) {
        display.SetTrackLastRotation();
        s.is_mouse = false;
        s.is_scene_press = false;
    } else if (ImGui::IsMouseReleased(0) && s.is_scene_press) {
        // let go within the drag threshold: a click, which picks where it
        // was pressed; a drag only turns, so a selection survives a look around
        s.is_scene_press = false;
        if (display.is_visible) {
            // Shift adds the atom to the selection or takes it out
            display.SetPicking(static_cast<int>(s.iposx * s.fb_scale_x), static_cast<int>(s.iposy * s.fb_scale_y),
                            io.KeyShift);
            s.is_atom_lock = true;
        }
    } else if (io.MouseWheel != 0.0f) {
        s.zoom = static_cast<float>(std::max(0.5, static_cast<double>(s.zoom) + io.MouseWheel * 0.1));
        display.SetZoom(s.zoom);
    }
}

namespace {

// Keys the shell acts on, in the order the Ctrl shortcuts are tried.
constexpr int SHORTCUTS = 7;
const int SHORTCUT_KEYS[SHORTCUTS] = {GLFW_KEY_C, GLFW_KEY_F, GLFW_KEY_A, GLFW_KEY_B,
                                      GLFW_KEY_S, GLFW_KEY_Z, GLFW_KEY_Y};
constexpr int SHORTCUT_UNDO = 5, SHORTCUT_REDO = 6;
constexpr unsigned PENDING_DELETE = 1u;
constexpr unsigned PENDING_SHIFT = 1u << 30;  // Ctrl+Shift+Z redoes

unsigned ShortcutBit(int n)
{
    return 2u << n;
}

}  // namespace

bool IsModalOpen()
{
    return ImGui::IsPopupOpen("", ImGuiPopupFlags_AnyPopupId | ImGuiPopupFlags_AnyPopupLevel);
}

void NoteKeyPress(CShellState& s, int key, int action, int mods)
{
    // any key event is input: the frames after it are drawn at once, also
    // for a tap that the GUI library never saw held
    s.settle_frames = SETTLE_FRAMES;
    if (key >= 0 && key < IM_ARRAYSIZE(ImGuiIO::KeysDown)) {
        const auto pressed = std::find(s.v_pressed_keys.begin(), s.v_pressed_keys.end(), key);
        if (action == GLFW_PRESS && pressed == s.v_pressed_keys.end())
            s.v_pressed_keys.push_back(key);
        else if (action == GLFW_RELEASE && pressed != s.v_pressed_keys.end())
            s.v_tapped_keys.push_back(key);
    }
    if (action != GLFW_PRESS)
        return;
    if (key == GLFW_KEY_DELETE)
        s.pending_keys |= PENDING_DELETE;
    if (mods & GLFW_MOD_CONTROL)
        for (int n = 0; n < SHORTCUTS; ++n)
            if (key == SHORTCUT_KEYS[n]) {
                s.pending_keys |= ShortcutBit(n);
                if (n == SHORTCUT_UNDO && (mods & GLFW_MOD_SHIFT))
                    s.pending_keys |= PENDING_SHIFT;
            }
}

void HoldKeyTaps(CShellState& s)
{
    ImGuiIO& io = ImGui::GetIO();
    // let go of last frame's taps, unless pressed again since
    for (int key : s.v_held_taps)
        if (std::find(s.v_pressed_keys.begin(), s.v_pressed_keys.end(), key) == s.v_pressed_keys.end())
            io.KeysDown[key] = false;
    s.v_held_taps.swap(s.v_tapped_keys);
    for (int key : s.v_held_taps)
        io.KeysDown[key] = true;
    s.v_tapped_keys.clear();
    s.v_pressed_keys.clear();
}

void KeyboardStep(CShellState& s, CDisplay& display)
{
    const ImGuiIO& io = ImGui::GetIO();
    const unsigned pending = s.pending_keys;
    s.pending_keys = 0;

    // keys typed into a text field belong to it, and while a dialog or popup
    // is open every key is its own
    if (!io.WantTextInput && !IsModalOpen()) {
        const bool del = ImGui::IsKeyPressed(GLFW_KEY_DELETE, true) || (pending & PENDING_DELETE);
        if (del && HasValidSelection(display))
            display.DeleteSelectedAtoms();

        int shortcut = -1;
        for (int n = 0; n < SHORTCUTS && shortcut < 0; ++n)
            if ((io.KeyCtrl && ImGui::IsKeyPressed(SHORTCUT_KEYS[n], true)) || (pending & ShortcutBit(n)))
                shortcut = n;
        switch (shortcut) {
        case 0:
            s.show_config_window = !s.show_config_window;
            break;
        case 1:
            s.show_file_chooser = !s.show_file_chooser;
            break;
        case 2:
            s.show_info_window = !s.show_info_window;
            break;
        case 3:
            display.is_show_bond = !display.is_show_bond;
            display.SetAtomScale(display.is_show_bond);
            break;
        case 4:
            display.is_show_symbol = !display.is_show_symbol;
            break;
        case SHORTCUT_UNDO:
            if (io.KeyShift || (pending & PENDING_SHIFT))
                display.Redo();
            else
                display.Undo();
            break;
        case SHORTCUT_REDO:
            display.Redo();
            break;
        default:
            break;
        }
        ViewKeys(s, display);
    }
    display.is_show_label = display.is_show_symbol || display.is_show_index;
}

bool LoadGuiFont(ImGuiIO& io, const char* path)
{
    // Latin-1, Latin Extended A and B, Greek, Cyrillic, Latin Extended
    // Additional, punctuation and the replacement mark, which the atlas then
    // uses for every character outside these ranges.
    static const ImWchar ranges[] = {0x0020, 0x024F, 0x0370, 0x03FF, 0x0400, 0x052F, 0x1E00, 0x1EFF,
                                     0x2000, 0x206F, 0x20A0, 0x20CF, 0xFFFD, 0xFFFD, 0};
    std::ifstream probe(path, std::ios::binary);
    ImFont* font = probe.is_open() ? io.Fonts->AddFontFromFileTTF(path, GUI_FONT_SIZE, nullptr, ranges) : nullptr;
    if (font == nullptr) {
        std::printf(" font: cannot read %s; names outside ASCII show as ?\n", path);
        std::fflush(stdout);
        io.Fonts->AddFontDefault();
        return false;
    }
    return true;
}

double FrameWait(CShellState& s)
{
    const ImGuiIO& io = ImGui::GetIO();
    bool input = io.MouseDelta.x != 0.0f || io.MouseDelta.y != 0.0f ||
                 io.MouseWheel != 0.0f || io.MouseWheelH != 0.0f || !io.InputQueueCharacters.empty() ||
                 io.DisplaySize.x != s.last_display.x || io.DisplaySize.y != s.last_display.y ||
                 ImGui::IsMousePosValid() != s.last_mouse_valid;
    bool held = false;
    for (int b = 0; b < IM_ARRAYSIZE(io.MouseDown); ++b) {
        input = input || io.MouseClicked[b] || io.MouseReleased[b];
        held = held || io.MouseDown[b];
    }
    for (int k = 0; k < IM_ARRAYSIZE(io.KeysDown); ++k) {
        input = input || io.KeysDownDuration[k] == 0.0f || (!io.KeysDown[k] && io.KeysDownDurationPrev[k] >= 0.0f);
        // a held letter or arrow repeats; a held modifier alone changes nothing
        const bool modifier = k >= GLFW_KEY_LEFT_SHIFT && k <= GLFW_KEY_RIGHT_SUPER;
        held = held || (io.KeysDown[k] && !modifier);
    }
    s.last_display = io.DisplaySize;
    s.last_mouse_valid = ImGui::IsMousePosValid();
    if (input)
        s.settle_frames = SETTLE_FRAMES;
    if (s.settle_frames > 0) {
        --s.settle_frames;
        return 0.0;
    }
    // the dimmed background of a modal dialog fades in over a few frames;
    // playback and a trajectory index still being built need passes too
    const float dim = GImGui->DimBgRatio;
    if (held || (dim > 0.0f && dim < 1.0f) || s.is_playing || s.is_indexing || s.volume->Busy())
        return ANIMATION_WAIT;
    if (io.WantTextInput)
        return CARET_WAIT;
    // the layout is written by a frame once its timer has run out
    const float save_in = GImGui->SettingsDirtyTimer;
    return save_in > 0.0f ? std::min(IDLE_WAIT, save_in + 0.05) : IDLE_WAIT;
}

void WaitForEvents(double seconds)
{
    if (seconds > 0.0)
        glfwWaitEventsTimeout(seconds);
    else
        glfwPollEvents();
}

void PieStep(CShellState& s, CDisplay& display)
{
    if (!s.is_select_pie)
        return;

    if (HasValidSelection(display))
        s.buff = display.SelectedSymbol() + "-" + std::to_string(display.selection.Last());
    else
        s.buff = "-";
    s.items[5] = s.buff.c_str();

    ImGui::OpenPopup("##piepopup");
    s.pie_menu_center = ImVec2(s.pposx, s.pposy);
    const int n = PiePopupSelectMenu(s.pie_menu_center, "##piepopup", s.items, 6, &s.selected, &s.is_select_pie);
    if (n < 0 || !display.is_visible)
        return;
    if (n == 2) {
        s.is_atom_lock = false;
    } else if (n == 4) {
        if (HasValidSelection(display))
            display.DeleteSelectedAtoms();
    }
}

void ShowLoaded(CShellState& s, CDisplay& display, const char* path, bool set_title)
{
    s.is_playing = false;
    s.play_clock = 0.0f;
    // atom numbers of the previous structure mean nothing now
    display.selection.Clear();
    s.is_atom_lock = true;
    s.load_message = display.data.notes;  // what the reader noticed, if anything
    if (set_title) {
        char title[TITLE_SIZE];
        std::snprintf(title, sizeof title, "Tesk ");
        CopyTextCut(title + 5, sizeof title - 5, path);
        std::memcpy(s.win_title, title, sizeof title);
        if (s.window)
            glfwSetWindowTitle(s.window, s.win_title);
    }
}

bool LoadStructure(CShellState& s, CDisplay& display, const char* dir, const char* path, bool set_title, int fmt)
{
    const int asked = fmt < 0 ? display.input_format : fmt;
    int code = int(io::Resolve(path, io::Format(asked)));
    s.volume->CancelOpen();
    // a volumetric name wins over a structure format of the list, which
    // starts at XYZ: no structure reader makes sense of a grid
    auto volumetric = [](int c) { return io::FindFormat(c) != nullptr && io::FindFormat(c)->is_volumetric; };
    if (!volumetric(code) && volumetric(int(io::DetectByName(path))))
        code = int(io::DetectByName(path));
    // a volumetric file is read off the frame loop: a large grid takes seconds
    const io::FormatEntry* entry = io::FindFormat(code);
    if (entry != nullptr && entry->is_volumetric) {
        s.volume->Open(path, io::VolumeKindOf(entry->format));
        s.volume_dir = dir;
        s.volume_format = fmt;
        s.is_volume_titled = set_title;
        s.load_message = std::string("Reading ") + path + "...";
        return false;
    }
    // the display reads with its input format: lend it the resolved one
    const int kept = display.input_format;
    display.input_format = code;
    const bool ok = display.ReadFile(dir, path);
    display.input_format = kept;
    if (ok) {
        s.volume->Clear();
        ShowLoaded(s, display, path, set_title);
    } else {
        // where the reader stopped and why, else what the model noted
        s.load_message = code != INPUT_FILE_TYPE_UNKNOWN && !display.data.read_refusal.reason.empty()
                             ? io::RefusalText(path, display.data.read_refusal)
                             : std::string("Could not read ") + path + " as " + io::FormatLabel(io::Format(code)) +
                                   (display.data.notes.empty() ? "" : ": " + display.data.notes);
        std::printf("%s\n", s.load_message.c_str());
        std::fflush(stdout);
    }
    return ok;
}

void ClearFrame(const CShellState& s)
{
    glClearColor(s.clear_color[0], s.clear_color[1], s.clear_color[2], s.clear_color[3]);
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void ScenePass(const CShellState& s, CDisplay& display)
{
    if (display.is_visible) {
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glDepthFunc(GL_LESS);
        glDisable(GL_CULL_FACE);
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_BLEND);
        display.is_moving = s.is_mouse;
        display.DrawScene(s.display_w, s.display_h);
        // the coarse copy of a large surface also in the frames that follow
        // input (hovering, the wheel) and those that wait for a worker; the
        // frame the loop rests on is drawn in full
        s.volume->Draw(display, s.is_mouse || s.settle_frames > 0 || s.volume->Busy());
    }
    glUseProgram(0);
}

void OpenRequestStep(CShellState& s, CDisplay& display)
{
    if (s.open_request.empty())
        return;
    const std::string path = s.open_request;
    s.open_request.clear();
    const std::string dir = io::FolderOf(path);
    if (path.size() >= PATH_SIZE || dir.size() >= PATH_SIZE) {
        s.load_message = "Could not read the file: its path is longer than 16383 bytes";
        std::printf("%s\n", s.load_message.c_str());
        std::fflush(stdout);
        return;
    }
    OpenFile(s, display, dir, path, s.open_format);
}

void NoteDrop(CShellState& s, int count, const char** paths)
{
    if (count < 1 || paths == nullptr || paths[0] == nullptr)
        return;
    s.open_request = paths[0];
    s.open_format = INPUT_FILE_TYPE_AUTO;
}

void SaveImageStep(CShellState& s, CDisplay& display)
{
    if (s.image_request.empty())
        return;
    const std::string path = s.image_request;
    s.image_request.clear();
    const int w = s.image_size[0] > 0 ? s.image_size[0] : s.display_w;
    const int h = s.image_size[1] > 0 ? s.image_size[1] : s.display_h;
    const glm::vec4 background(s.clear_color[0], s.clear_color[1], s.clear_color[2],
                               s.is_image_transparent ? 0.0f : 1.0f);
    CImage image;
    std::string why, png;
    const bool ok = RenderImage(display, w, h, background, image, why) && EncodePng(image, s.is_image_transparent, png) &&
                    textio::WriteFileAtomically(path, png);
    ReportSave(s, ok, path, std::string());
    if (!why.empty()) {
        s.load_message += ": " + why;
        std::printf("%s\n", why.c_str());
        std::fflush(stdout);
    }
}

void ReportSave(CShellState& s, bool ok, const std::string& path, const std::string& notes)
{
    s.load_message = (ok ? "Saved " : "Could not save ") + path + (notes.empty() ? "" : ": " + notes);
    std::printf("%s\n", s.load_message.c_str());
    std::fflush(stdout);
}

double FramePass(CShellState& s, CDisplay& display, int display_w, int display_h, int window_w, int window_h)
{
    HoldKeyTaps(s);
    ImGui::NewFrame();
    SetFrameSize(s, display_w, display_h, window_w, window_h);
    glViewport(0, 0, display_w, display_h);
    OpenRequestStep(s, display);
    MouseStep(s, display);
    KeyboardStep(s, display);
    PieStep(s, display);
    ControlWindows(s, display);
    ClearFrame(s);
    ScenePass(s, display);
    SaveImageStep(s, display);
    const double wait = FrameWait(s);
    ImGui::Render();
    return wait;
}
