#include "tesk.h"

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

#include "cdisplay.h"
#include "cformat.h"
#include "elements.h"
#include "filechooser.h"
#include "menupie.h"
#include "render/coffscreen.h"
#include "textio.h"
#include "ui/file_opening.h"
#include "ui/cviewpanel.h"
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

const char* FormatName(const CShellState&, int code) { return FormatLabel(code); }

// The codes and labels of the formats a list offers: every format (and
// Auto) to read, the writable ones to save.
struct FormatList {
    std::vector<int> codes;
    std::vector<const char*> labels;
    std::vector<const char*> extensions;  // the first of each format's
};

const FormatList& ListOfFormats(bool writable)
{
    static const FormatList lists[2] = {
        [] {
            FormatList l;
            for (const io::FormatEntry& e : io::Formats()) {
                l.codes.push_back(int(e.format));
                l.labels.push_back(e.label);
            }
            l.codes.push_back(INPUT_FILE_TYPE_AUTO);
            l.labels.push_back("Auto");
            return l;
        }(),
        [] {
            FormatList l;
            static std::vector<std::string> firsts;
            for (const io::FormatEntry& e : io::Formats())
                if (e.is_writable) {
                    const std::string all = e.extensions;
                    firsts.push_back(all.substr(0, all.find(' ')));
                }
            std::size_t k = 0;
            for (const io::FormatEntry& e : io::Formats())
                if (e.is_writable) {
                    l.codes.push_back(int(e.format));
                    l.labels.push_back(e.label);
                    l.extensions.push_back(firsts[k++].c_str());
                }
            return l;
        }()};
    return lists[writable ? 1 : 0];
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

bool HasValidSelection(const CDisplay& atom)
{
    return atom.is_atom_selected && atom.selected_atom < atom.GetNumberOfAtoms();
}

void ClearSelection(CDisplay& atom)
{
    atom.is_atom_selected = false;
    atom.selected_atom = NO_ATOM_SELECTED;
    atom.selected_zatom = 0;
    atom.selected_symbol.clear();
    atom.v_selected_atoms.clear();
}

void MouseStep(CShellState& s, CDisplay& atom)
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
        if (atom.is_visible)
            atom.SetPicking(static_cast<int>(fx), static_cast<int>(fy), false, true);
        s.is_select_pie = true;
    } else if (ImGui::IsMouseClicked(0)) {
        s.iposx = mx;
        s.iposy = my;
        atom.SetTrackLastPosition(fx, fy);
        s.is_scene_press = true;
    } else if (ImGui::IsMouseDragging(0)) {
        s.eposx = mx;
        s.eposy = my;
        atom.SetTrackCurretPosition(fx, fy);
        s.is_mouse = true;
    } else if (ImGui::IsMouseReleased(0) && s.is_mouse) {
        atom.SetTrackLastRotation();
        s.is_mouse = false;
        s.is_scene_press = false;
    } else if (ImGui::IsMouseReleased(0) && s.is_scene_press) {
        // let go within the drag threshold: a click, which picks where it
        // was pressed; a drag only turns, so a selection survives a look around
        s.is_scene_press = false;
        if (atom.is_visible) {
            // Shift adds the atom to the selection or takes it out
            atom.SetPicking(static_cast<int>(s.iposx * s.fb_scale_x), static_cast<int>(s.iposy * s.fb_scale_y),
                            io.KeyShift);
            s.is_atom_lock = true;
        }
    } else if (io.MouseWheel != 0.0f) {
        s.zoom = static_cast<float>(std::max(0.5, static_cast<double>(s.zoom) + io.MouseWheel * 0.1));
        atom.SetZoom(s.zoom);
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

void KeyboardStep(CShellState& s, CDisplay& atom)
{
    const ImGuiIO& io = ImGui::GetIO();
    const unsigned pending = s.pending_keys;
    s.pending_keys = 0;

    // keys typed into a text field belong to it, and while a dialog or popup
    // is open every key is its own
    if (!io.WantTextInput && !IsModalOpen()) {
        const bool del = ImGui::IsKeyPressed(GLFW_KEY_DELETE, true) || (pending & PENDING_DELETE);
        if (del && HasValidSelection(atom))
            atom.DeleteSelectedAtoms();

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
            atom.is_show_bond = !atom.is_show_bond;
            atom.SetAtomScale(atom.is_show_bond);
            break;
        case 4:
            atom.is_show_symbol = !atom.is_show_symbol;
            break;
        case SHORTCUT_UNDO:
            if (io.KeyShift || (pending & PENDING_SHIFT))
                atom.Redo();
            else
                atom.Undo();
            break;
        case SHORTCUT_REDO:
            atom.Redo();
            break;
        default:
            break;
        }
        ViewKeys(s, atom);
    }
    atom.is_show_label = atom.is_show_symbol || atom.is_show_index;
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

void PieStep(CShellState& s, CDisplay& atom)
{
    if (!s.is_select_pie)
        return;

    if (HasValidSelection(atom))
        s.buff = atom.selected_symbol + "-" + std::to_string(atom.selected_atom);
    else
        s.buff = "-";
    s.items[5] = s.buff.c_str();

    ImGui::OpenPopup("##piepopup");
    s.pie_menu_center = ImVec2(s.pposx, s.pposy);
    const int n = PiePopupSelectMenu(s.pie_menu_center, "##piepopup", s.items, 6, &s.selected, &s.is_select_pie);
    if (n < 0 || !atom.is_visible)
        return;
    if (n == 2) {
        s.is_atom_lock = false;
    } else if (n == 4) {
        if (HasValidSelection(atom))
            atom.DeleteSelectedAtoms();
    }
}

bool LoadStructure(CShellState& s, CDisplay& atom, const char* dir, const char* path, bool set_title, int fmt)
{
    // volumetric files have their own reader, which hands the model their structure
    const int asked = fmt < 0 ? atom.input_format : fmt;
    std::string volume_message;
    const bool volume = CVolumeView::Claims(path, asked == INPUT_FILE_TYPE_AUTO);
    // the display reads with its input format: lend it the resolved one
    const int code = volume ? asked : ResolveFormat(path, asked);
    const int kept = atom.input_format;
    atom.input_format = code;
    const bool ok = volume ? s.volume->Load(path, atom, volume_message) : atom.ReadFile(dir, path);
    atom.input_format = kept;
    if (ok && !volume)
        s.volume->Clear();
    if (!ok && volume) {
        s.load_message = "Could not read " + volume_message;
        std::printf("%s\n", s.load_message.c_str());
        std::fflush(stdout);
    } else if (ok) {
        s.is_playing = false;
        s.play_clock = 0.0f;
        // atom numbers of the previous structure mean nothing now
        ClearSelection(atom);
        s.is_atom_lock = true;
        s.load_message = atom.data.notes;  // what the reader noticed, if anything
        if (set_title) {
            char title[TITLE_SIZE];
            std::snprintf(title, sizeof title, "Tesk ");
            CopyTextCut(title + 5, sizeof title - 5, path);
            std::memcpy(s.win_title, title, sizeof title);
            if (s.window)
                glfwSetWindowTitle(s.window, s.win_title);
        }
    } else {
        // where the reader stopped and why, else what the model noted
        s.load_message = code != INPUT_FILE_TYPE_UNKNOWN && !atom.data.read_refusal.reason.empty()
                             ? io::RefusalText(path, atom.data.read_refusal)
                             : std::string("Could not read ") + path + " as " + FormatName(s, code) +
                                   (atom.data.notes.empty() ? "" : ": " + atom.data.notes);
        std::printf("%s\n", s.load_message.c_str());
        std::fflush(stdout);
    }
    return ok;
}

namespace {

constexpr float kItemWidth = 170.0f;  // sliders, fields and lists of the control windows
constexpr float kTextWidth = 280.0f;  // where their text wraps

// A control window at its first-use place, sized to what it holds (nothing
// hides behind a scrollbar) but never past the screen. Items and text get
// fixed widths: widths that follow the window would chase its size.
void BeginControlWindow(const char* name, bool* open, float x)
{
    const ImVec2 screen = ImGui::GetIO().DisplaySize;
    ImGui::SetNextWindowPos(ImVec2(x, 10.0f), ImGuiCond_FirstUseEver);
    ImGui::SetNextWindowSizeConstraints(ImVec2(0.0f, 0.0f),
                                        ImVec2(std::max(screen.x - 20.0f, 100.0f), std::max(screen.y - 20.0f, 100.0f)));
    ImGui::Begin(name, open, ImGuiWindowFlags_AlwaysAutoResize);
    ImGui::PushItemWidth(kItemWidth);
    ImGui::PushTextWrapPos(ImGui::GetCursorPosX() + kTextWidth);
}

void EndControlWindow()
{
    ImGui::PopTextWrapPos();
    ImGui::PopItemWidth();
    ImGui::End();
}

constexpr std::size_t kIndexSlice = std::size_t(16) << 20;  // bytes of the file per pass, some ms

// The frame slider, play/pause, speed and loop of a file of several frames.
void FrameControls(CShellState& s, CDisplay& atom)
{
    if (!atom.is_visible)
        return;
    const std::size_t count = atom.data.GetIndexedFrames();
    const bool whole = atom.data.IsFrameIndexWhole();
    if (count == 0 || (count < 2 && whole))
        return;
    ImGui::Separator();
    int shown = static_cast<int>(atom.data.GetShownFrame()) + 1;
    const int last = static_cast<int>(std::min<std::size_t>(count, 0x7fffffff));
    char format[64];
    std::snprintf(format, sizeof format, whole ? "%%d / %d" : "%%d / %d...", last);
    if (ImGui::SliderInt("Frame", &shown, 1, std::max(last, 1), format, ImGuiSliderFlags_AlwaysClamp) &&
        shown >= 1 && static_cast<std::size_t>(shown - 1) != atom.data.GetShownFrame()) {
        ShowFrame(s, atom, static_cast<std::size_t>(shown - 1));
    }
    if (ImGui::Button(s.is_playing ? "Pause" : "Play")) {
        s.is_playing = !s.is_playing;
        s.play_clock = 0.0f;
        // played again where playback ended: from the first frame
        if (s.is_playing && !s.is_loop && whole && atom.data.GetShownFrame() + 1 >= count)
            ShowFrame(s, atom, 0);
    }
    ImGui::SameLine();
    ImGui::Checkbox("Loop", &s.is_loop);
    ImGui::SliderFloat("Speed", &s.frame_rate, 1.0f, 60.0f, "%.0f frames/s", ImGuiSliderFlags_AlwaysClamp);
    if (!atom.data.frame_message.empty())
        ImGui::TextWrapped("%s", atom.data.frame_message.c_str());
}

}  // namespace

void SettingsWindow(CShellState& s, CDisplay& atom)
{
    if (!s.is_font_set) {
        s.font = atom.font_scale;
        s.is_font_set = true;
    }
    BeginControlWindow("Settings (ctrl+c)", &s.show_config_window, 10.0f);
    ImGui::Text("%s", s.user_version);
    ImGui::SliderFloat("radius", &atom.atom_scale, 0.0f, 2.0f, "%.3f");
    if (ImGui::SliderFloat("zoom", &s.zoom, 0.5f, 10.0f, "%.3f"))
        atom.SetZoom(s.zoom);
    if (ImGui::SliderFloat("font", &s.font, 0.001f, 0.01f, "%.3f"))
        atom.SetFont(s.font);
    if (ImGui::ColorEdit3("Background", s.clear_color))
        atom.SetClearColor(s.clear_color[0], s.clear_color[1], s.clear_color[2], s.clear_color[3]);
    ImGui::Checkbox("Cell", &atom.is_show_box);
    ImGui::SameLine();
    if (ImGui::Checkbox("Bonds", &atom.is_show_bond))
        atom.SetAtomScale(atom.is_show_bond);
    ImGui::SameLine();
    ImGui::Checkbox("Symbol", &atom.is_show_symbol);
    ImGui::SameLine();
    ImGui::Checkbox("Index", &atom.is_show_index);
    atom.is_show_label = atom.is_show_index || atom.is_show_symbol;
    ImGui::Checkbox("Boundary atoms", &atom.is_show_boundary);
    if (ImGui::InputInt3("Repeat", &atom.v_repeat.x))
        atom.v_repeat = glm::clamp(atom.v_repeat, glm::ivec3(1), glm::ivec3(10));
    // the file's coordinates moved so that the structure's centre is the origin
    if (ImGui::Button("Centre on (0,0,0)") && atom.is_visible)
        atom.CenterCoordinates();
    ViewControls(s, atom);
    if (ImGui::Button("Close"))
        s.show_config_window = false;
    EndControlWindow();
}

namespace {

void Report(CShellState& s, bool ok, const std::string& path, const std::string& notes)
{
    s.load_message = (ok ? "Saved " : "Could not save ") + path + (notes.empty() ? "" : ": " + notes);
    std::printf("%s\n", s.load_message.c_str());
    std::fflush(stdout);
}

// The name of the file shown, with its extension replaced by `ext`, as the
// name a save starts from; `fallback` before any file was opened.
std::string StartName(const CShellState& s, const char* ext, const char* fallback)
{
    std::string name(s.filePath);
    name = name.substr(name.find_last_of('/') + 1);
    if (name.empty())
        return fallback;
    if (ext) {
        const std::size_t dot = name.find_last_of('.');
        if (dot != std::string::npos && dot > 0)
            name.erase(dot);
        name += ext;
    }
    return name;
}

void SaveAsDialog(CShellState& s, CDisplay& atom, bool open)
{
    if (!s.save_dlg)
        s.save_dlg = std::make_unique<FileChooser::Dialog>(false, false, false, false, false, false);
    std::string start;
    if (open) {
        // offered first: the format it was read in, where that has a writer
        const FormatList& list = ListOfFormats(true);
        s.save_format = 0;
        for (std::size_t k = 0; k < list.codes.size(); ++k)
            if (list.codes[k] == atom.data.file_format)
                s.save_format = int(k);
        start = StartName(s, nullptr, "structure.xyz");
    }
    // saving edits before another file opens: over the file they belong to,
    // wherever the user went to find the other one
    const char* folder = s.is_saving_before_open ? s.dirPath : DialogFolder(s);
    const FormatList& list = ListOfFormats(true);
    // while volumetric data is shown, its surfaces come last, as OBJ
    std::vector<const char*> labels = list.labels, extensions = list.extensions;
    const int SAVE_SURFACE = int(list.codes.size());
    if (s.volume->Active()) {
        labels.push_back("OBJ surface");
        extensions.push_back(".obj");
    }
    const char* chosen = s.save_dlg->saveFileDialog(open, folder, start.c_str(), labels.data(), extensions.data(),
                                                    int(labels.size()), &s.save_format);
    NoteDialogFolder(s, *s.save_dlg);
    const bool tried = chosen != nullptr && chosen[0] != '\0';
    if (tried && s.save_format == SAVE_SURFACE) {
        const std::string path(chosen);
        Report(s, s.volume->SaveObj(path), path, std::string());
    } else if (tried) {
        const std::string path(chosen);
        const int code = list.codes[std::size_t(std::clamp(s.save_format, 0, int(list.codes.size()) - 1))];
        const bool saved = atom.is_visible && atom.data.SaveFileAs(path, code);
        Report(s, saved, path, atom.data.notes);
        if (saved)
            atom.is_edited = false;
    }
    if (s.is_saving_before_open && (tried || s.save_dlg->hasUserJustCancelledDialog())) {
        // saved, or the save failed or was given up: the file waiting is
        // opened or dropped
        s.is_saving_before_open = false;
        if (!atom.is_edited)
            OpenPending(s, atom);
        s.pending_path.clear();
    }
}

void SaveImageDialog(CShellState& s, bool open)
{
    if (!s.image_dlg)
        s.image_dlg = std::make_unique<FileChooser::Dialog>(false, false, false, false, false, false);
    static const char* const label[1] = {"PNG"};
    static const char* const extension[1] = {".png"};
    int format = 0;
    const std::string start = open ? StartName(s, ".png", "tesk.png") : std::string();
    const char* chosen = s.image_dlg->saveFileDialog(open, DialogFolder(s), start.c_str(), label, extension, 1, &format);
    NoteDialogFolder(s, *s.image_dlg);
    // written after this pass's scene is drawn, before the GUI covers it
    if (chosen != nullptr && chosen[0] != '\0')
        s.image_request = chosen;
}

}  // namespace

namespace {

// LAMMPS atom types and their elements: a symbol typed for a type reads the
// file again with it (as --types does on the command line).
void TypesTable(CShellState& s, CDisplay& atom)
{
    const std::vector<int>& types = atom.data.file_structure.type_numbers;
    if (!atom.is_visible || types.empty() || !atom.data.IsTableFormat())
        return;
    if (!ImGui::BeginTable("Types", 2, ImGuiTableFlags_Borders | ImGuiTableFlags_SizingFixedFit))
        return;
    ImGui::TableSetupColumn("Type");
    ImGui::TableSetupColumn("Element");
    ImGui::TableHeadersRow();
    const auto& chosen = atom.data.read_options.type_elements;
    for (int t : types) {
        ImGui::TableNextRow();
        ImGui::TableSetColumnIndex(0);
        ImGui::Text("%d", t);
        ImGui::TableSetColumnIndex(1);
        const auto it = chosen.find(t);
        char text[8];
        std::snprintf(text, sizeof text, "%s", it != chosen.end() ? symbol[it->second].c_str() : "");
        ImGui::PushID(t);
        ImGui::SetNextItemWidth(60.0f);
        if (ImGui::InputTextWithHint("##element", "auto", text, sizeof text, ImGuiInputTextFlags_EnterReturnsTrue)) {
            unsigned element = 0;
            auto& map = atom.data.read_options.type_elements;
            if (text[0] == '\0')
                map.erase(t);
            else if (IsElementSymbol(text, std::strlen(text), element))
                map[t] = element;
            LoadStructure(s, atom, s.dirPath, s.filePath, false);
        }
        ImGui::PopID();
    }
    ImGui::EndTable();
}

}  // namespace

void ChooseFileWindow(CShellState& s, CDisplay& atom)
{
    if (!s.dlg)
        s.dlg = std::make_unique<FileChooser::Dialog>(false, false, false, false, false, false);
    if (s.item_current == nullptr)
        s.item_current = FormatName(s, atom.input_format);

    BeginControlWindow("Choose File (ctrl+f)", &s.show_file_chooser, 320.0f);

    if (ImGui::BeginCombo("Input Format", s.item_current)) {
        const FormatList& list = ListOfFormats(false);
        for (std::size_t n = 0; n < list.codes.size(); ++n) {
            const bool is_selected = std::strcmp(s.item_current, list.labels[n]) == 0;
            if (ImGui::Selectable(list.labels[n], is_selected))
                atom.input_format = list.codes[n];
            s.item_current = FormatName(s, atom.input_format);
            if (is_selected)
                ImGui::SetItemDefaultFocus();
        }
        ImGui::EndCombo();
    }

    const bool open = ImGui::Button("Open");
    const char* chosen = s.dlg->chooseFileDialog(open, DialogFolder(s), nullptr, nullptr, ImVec2(-1.0f, -1.0f),
                                                 ImVec2(-1.0f, -1.0f), 0.875f);
    NoteDialogFolder(s, *s.dlg);
    if (chosen != nullptr && chosen[0] != '\0') {
        const char* path = s.dlg->getChosenPath();
        const char* dir = s.dlg->getLastDirectory();
        if (path == nullptr || dir == nullptr || std::strlen(path) >= PATH_SIZE || std::strlen(dir) >= PATH_SIZE) {
            s.load_message = "Could not read the chosen file: its path is longer than 16383 bytes";
            std::printf("%s\n", s.load_message.c_str());
            std::fflush(stdout);
        } else {
            OpenFile(s, atom, dir, path, -1);
        }
    }

    ImGui::SameLine();
    if (ImGui::Button("Reload") && atom.is_visible)
        OpenFile(s, atom, s.dirPath, s.filePath, -1);
    ImGui::SameLine();
    // the file shown, which Reload reads; a failed open leaves it
    ImGui::Text("File: %s", s.filePath);
    if (!s.load_message.empty())
        ImGui::TextWrapped("%s", s.load_message.c_str());
    TypesTable(s, atom);
    ImGui::BeginDisabled(!atom.is_visible);
    const bool save_as = ImGui::Button("Save As") || s.is_save_asked;
    s.is_saving_before_open = s.is_saving_before_open || s.is_save_asked;
    s.is_save_asked = false;
    ImGui::EndDisabled();
    ImGui::SameLine();
    const bool save_image = ImGui::Button("Save Image");
    SaveAsDialog(s, atom, save_as);
    SaveImageDialog(s, ImageOptionsPopup(s, save_image));
    ImGui::SameLine();
    if (ImGui::Button("Close"))
        s.show_file_chooser = false;
    EndControlWindow();
}

std::string MeasurementText(const CDisplay& atom)
{
    const std::vector<unsigned>& a = atom.v_selected_atoms;
    for (unsigned u : a)
        if (u >= atom.GetNumberOfAtoms())
            return std::string();
    char text[128] = "";
    if (a.size() == 2)
        std::snprintf(text, sizeof text, "Distance %u-%u: %.4f \xc3\x85", a[0], a[1], atom.data.Distance(a[0], a[1]));
    else if (a.size() == 3)
        std::snprintf(text, sizeof text, "Angle %u-%u-%u: %.4f\xc2\xb0", a[0], a[1], a[2],
                      atom.data.Angle(a[0], a[1], a[2]));
    else if (a.size() == 4)
        std::snprintf(text, sizeof text, "Dihedral %u-%u-%u-%u: %.4f\xc2\xb0", a[0], a[1], a[2], a[3],
                      atom.data.Dihedral(a[0], a[1], a[2], a[3]));
    return text;
}

void ActionWindow(CShellState& s, CDisplay& atom)
{
    BeginControlWindow("Action (ctrl+a)", &s.show_info_window, 630.0f);
    ImGui::Text("%s", s.user_version);
    ImGui::Text("Total Atoms: %u", atom.GetNumberOfAtoms());
    // beside the count, so the first-use window still shows the element row
    ImGui::SameLine();
    ImGui::BeginDisabled(!atom.data.history.CanUndo());
    if (ImGui::Button("Undo"))
        atom.Undo();
    ImGui::EndDisabled();
    ImGui::SameLine();
    ImGui::BeginDisabled(!atom.data.history.CanRedo());
    if (ImGui::Button("Redo"))
        atom.Redo();
    ImGui::EndDisabled();
    ImGui::SameLine();
    ImGui::BeginDisabled(!atom.data.is_periodic);
    if (ImGui::Button("Wrap")) {
        atom.Wrap();
        if (!atom.data.notes.empty())
            s.load_message = atom.data.notes;  // atoms too far out to move
    }
    ImGui::EndDisabled();
    if (HasValidSelection(atom)) {
        ImGui::Text("Selected atom : No. %u, Symbol [%s], Z [%u]", atom.selected_atom, atom.selected_symbol.c_str(),
                    atom.selected_zatom);
        // locked until "Edit" is chosen in the pie menu; drawn at half alpha
        ImGui::PushStyleVar(ImGuiStyleVar_DisabledAlpha, 0.5f);
        ImGui::BeginDisabled(s.is_atom_lock);
        if (ImGui::Button("Symbol:"))
            ImGui::OpenPopup("select");
        ImGui::SameLine();
        ImGui::TextUnformatted(atom.selected_symbol.c_str());
        if (ImGui::BeginPopup("select")) {
            ImGui::Text("Select atom");
            ImGui::Separator();
            for (unsigned i = 0; i < periodic_table_atoms; ++i) {
                ImGui::SetCursorPos(ImVec2(ptable_position[i].x, ptable_position[i].y));
                if (ImGui::Button(symbol[i].c_str(), ImVec2(30.0f, 20.0f))) {
                    if (HasValidSelection(atom))
                        atom.UpdateAtomType(i);
                    ImGui::CloseCurrentPopup();
                }
            }
            ImGui::EndPopup();
        }
        ImGui::EndDisabled();
        ImGui::PopStyleVar();
        const std::string measured = MeasurementText(atom);
        if (!measured.empty())
            ImGui::TextUnformatted(measured.c_str());
    }
    FrameControls(s, atom);
    EndControlWindow();
}

bool ShowFrame(CShellState& s, CDisplay& atom, std::size_t k)
{
    (void)s;
    if (!atom.data.SetFrame(k))
        return false;  // the model keeps the reason, the Action window shows it
    atom.OnFrameChanged();
    return true;
}

void FramesStep(CShellState& s, CDisplay& atom)
{
    s.is_indexing = false;
    if (!atom.is_visible)
        return;
    CTrajectory& frames = atom.data.trajectory;
    // a slice of the index per pass keeps the window answering
    s.is_indexing = !frames.IndexStep(kIndexSlice);
    if (!s.is_playing)
        return;
    const float period = 1.0f / std::max(s.frame_rate, 0.1f);
    s.play_clock += ImGui::GetIO().DeltaTime;
    if (s.play_clock < period)
        return;
    // one frame per pass at most: a slow frame does not pile up steps
    s.play_clock = std::min(s.play_clock - period, period);
    const std::size_t count = atom.data.GetIndexedFrames();
    std::size_t k = atom.data.GetShownFrame();
    // frames that cannot be shown are passed over, a few per pass
    for (int tries = 0; tries < 8; ++tries) {
        ++k;
        if (k >= count) {
            if (!atom.data.IsFrameIndexWhole())
                return;  // the next frame is not indexed yet
            if (!s.is_loop) {
                s.is_playing = false;
                return;
            }
            k = 0;
        }
        if (k == atom.data.GetShownFrame() || ShowFrame(s, atom, k))
            return;
    }
}

void ControlWindows(CShellState& s, CDisplay& atom)
{
    FramesStep(s, atom);
    s.volume->Step();
    if (s.show_volume_window)
        s.volume->Window(&s.show_volume_window);
    if (s.show_config_window)
        SettingsWindow(s, atom);
    if (s.show_file_chooser)
        ChooseFileWindow(s, atom);
    if (s.show_info_window)
        ActionWindow(s, atom);
    UnsavedEditsQuestion(s, atom);
    // labels follow the two flags even while the Settings window is hidden
    atom.is_show_label = atom.is_show_symbol || atom.is_show_index;
}

void ClearFrame(const CShellState& s)
{
    glClearColor(s.clear_color[0], s.clear_color[1], s.clear_color[2], s.clear_color[3]);
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void ScenePass(const CShellState& s, CDisplay& atom)
{
    if (atom.is_visible) {
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glDepthFunc(GL_LESS);
        glDisable(GL_CULL_FACE);
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_BLEND);
        atom.is_moving = s.is_mouse;
        atom.DrawScene(s.display_w, s.display_h);
        s.volume->Draw(atom, s.is_mouse);
    }
    glUseProgram(0);
}

void OpenRequestStep(CShellState& s, CDisplay& atom)
{
    if (s.open_request.empty())
        return;
    const std::string path = s.open_request;
    s.open_request.clear();
    const std::string dir = FolderOf(path);
    if (path.size() >= PATH_SIZE || dir.size() >= PATH_SIZE) {
        s.load_message = "Could not read the file: its path is longer than 16383 bytes";
        std::printf("%s\n", s.load_message.c_str());
        std::fflush(stdout);
        return;
    }
    OpenFile(s, atom, dir, path, s.open_format);
}

void NoteDrop(CShellState& s, int count, const char** paths)
{
    if (count < 1 || paths == nullptr || paths[0] == nullptr)
        return;
    s.open_request = paths[0];
    s.open_format = INPUT_FILE_TYPE_AUTO;
}

void SaveImageStep(CShellState& s, CDisplay& atom)
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
    const bool ok = RenderImage(atom, w, h, background, image, why) && EncodePng(image, s.is_image_transparent, png) &&
                    textio::WriteFileAtomically(path, png);
    Report(s, ok, path, std::string());
    if (!why.empty()) {
        s.load_message += ": " + why;
        std::printf("%s\n", why.c_str());
        std::fflush(stdout);
    }
}
