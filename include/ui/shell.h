// The application shell: its state and the steps of one pass of the frame
// loop. The steps work on the current Dear ImGui frame and the display
// controller, so they can be driven without the real program window.
#ifndef TESK_UI_SHELL_H
#define TESK_UI_SHELL_H

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include <imgui.h>

struct GLFWwindow;
class CDisplay;
class CVolumeView;
namespace FileChooser {
class Dialog;
}

inline constexpr std::size_t CONFIG_SIZE = 200;    // settings file path
inline constexpr std::size_t COMMAND_SIZE = 1024;  // the folder-creation text shown to the user
inline constexpr std::size_t PATH_SIZE = 16384;    // chosen file and its folder
inline constexpr std::size_t TITLE_SIZE = 256;     // window title
inline constexpr std::size_t VERSION_SIZE = 64;    // version text

// Works out the settings file "<home_root>/<p_user>/.tesk-org/tesk.ini" into
// `config` and creates its folder (with mkdir calls, no shell) when the file is
// missing. `line` receives the text to print on standard output, one or two
// lines each ending in a line end. Returns false when no usable path exists:
// the caller then runs without a layout file. `config` is always terminated.
bool SetupSettingsPath(const char* home_root, const char* p_user, char (&config)[CONFIG_SIZE], std::string& line);

// Copies `text` into `buf` of `size` bytes, cutting it at a UTF-8 character
// boundary when it is too long. Returns false if it had to be cut.
bool CopyTextCut(char* buf, std::size_t size, const char* text);

class CShellState {
public:
    CShellState();
    ~CShellState();
    CShellState(const CShellState&) = delete;
    CShellState& operator=(const CShellState&) = delete;

    GLFWwindow* window = nullptr;  // for the title; may be null (tests)
    char config[CONFIG_SIZE] = {};
    char user_version[VERSION_SIZE] = {};
    char win_title[TITLE_SIZE] = {};
    bool show_config_window = true;
    bool show_file_chooser = true;
    bool show_info_window = true;
    float clear_color[4] = {0.4f, 0.6f, 0.7f, 1.0f};
    int display_w = 0, display_h = 0;
    // framebuffer pixels per window unit; pointer positions are in window units
    float fb_scale_x = 1.0f, fb_scale_y = 1.0f;
    float iposx = 0.0f, iposy = 0.0f;
    float eposx = 0.0f, eposy = 0.0f;
    float pposx = 0.0f, pposy = 0.0f;
    bool is_mouse = false;        // a drag on the scene is turning the structure
    bool is_scene_press = false;  // the left button went down on the scene: a click if let go unmoved
    bool is_select_pie = false;
    bool is_atom_lock = true;
    ImVec2 pie_menu_center{0.0f, 0.0f};
    std::string buff;  // label of the selected atom, sixth pie entry
    float zoom = 1.0f;
    float font = 0.0f;
    bool is_font_set = false;
    const char* items[6] = {"Close", "Move", "Edit", "Select", "Delete", "-"};
    int selected = -1;
    std::unique_ptr<FileChooser::Dialog> dlg;
    const char* item_current = nullptr;
    char filePath[PATH_SIZE] = {};
    char dirPath[PATH_SIZE] = {};
    std::string load_message;  // why the last load failed, or what the last save did
    // where the file dialogs open: the folder last shown in one, or of the file last opened
    std::string browse_folder;
    // A file to open once the user answered what becomes of unsaved edits:
    // its folder, path and format code; the question is to be asked, Save
    // was chosen (Save As opens), and the Save As dialog is saving first.
    std::string pending_dir, pending_path;
    int pending_format = -1;
    bool is_unsaved_asked = false;
    bool is_save_asked = false;
    bool is_saving_before_open = false;
    // A file to load in the next pass (command line, dropped on the window)
    // and its format code, INPUT_FILE_TYPE_AUTO to tell it from the file.
    std::string open_request;
    int open_format = 0;
    // The Input Format list's choice: the format code loads use, Auto to
    // tell it from the file.
    int input_format = 0;
    // Save As: its dialog and the output format, an entry of the format
    // table's writable formats.
    std::unique_ptr<FileChooser::Dialog> save_dlg;
    int save_format = 0;
    // Save Image: its dialog, and the PNG to write from the next scene pass.
    std::unique_ptr<FileChooser::Dialog> image_dlg;
    std::string image_request;
    // its size (0: the window's) and whether nothing drawn stays transparent
    int image_size[2] = {0, 0};
    bool is_image_transparent = false;
    // the typed direction of the Settings window's [u v w] view
    float view_uvw[3] = {0.0f, 0.0f, 1.0f};
    // Presses seen by the window system since the last keyboard step (bits of
    // the keys below). The GUI library samples key state once per frame, so a
    // tap shorter than a frame would otherwise be lost.
    unsigned pending_keys = 0;
    // Keys pressed since the last frame, those of them let go again (taps),
    // and the taps shown held in the current frame.
    std::vector<int> v_pressed_keys, v_tapped_keys, v_held_taps;
    // Frame pacing: frames still to draw before the loop may sleep, and what
    // the last frame saw of the window and pointer.
    int settle_frames = 0;
    ImVec2 last_display{0.0f, 0.0f};
    bool last_mouse_valid = false;
    // Trajectory playback: running, speed in frames per second, back to the
    // first frame after the last, and the time gathered towards the next step.
    bool is_playing = false;
    bool is_loop = true;
    float frame_rate = 10.0f;
    float play_clock = 0.0f;
    // the trajectory index is still being built, a slice per pass: like
    // playback, this needs passes even when no event arrives
    bool is_indexing = false;
    // volumetric data shown over the structure, and its window
    std::unique_ptr<CVolumeView> volume;
    bool show_volume_window = true;
    // a volumetric file being read off the frame loop, as LoadStructure was
    // asked for it: its folder, format code and whether it names the window
    // and becomes the file shown once it is read
    std::string volume_dir;
    int volume_format = -1;
    bool is_volume_titled = false;
};

// The GUI font, covering Latin, Latin Extended, Greek and Cyrillic names.
inline constexpr const char* GUI_FONT_PATH = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
inline constexpr float GUI_FONT_SIZE = 13.0f;

// Adds the GUI font to the GUI context's atlas before its first frame; a
// character the font lacks is drawn as the replacement mark. When the font
// cannot be read, says so on standard output and keeps the built-in font.
bool LoadGuiFont(ImGuiIO& io, const char* path = GUI_FONT_PATH);

// Frame pacing: after input the loop draws SETTLE_FRAMES frames at once (the
// GUI lays out what changed), then waits for the next event: briefly while a
// key or button is held or something fades in, until the GUI library's
// delayed save of a changed layout is due, else up to IDLE_WAIT. A frame of a
// big structure can take a good part of a second on a software renderer, so
// an idle program draws nothing it need not.
inline constexpr int SETTLE_FRAMES = 3;
inline constexpr double ANIMATION_WAIT = 1.0 / 60.0;  // seconds
inline constexpr double CARET_WAIT = 0.1;             // a text field's blinking caret
inline constexpr double IDLE_WAIT = 60.0;

// True while any GUI popup or modal dialog is open: it owns the keyboard.
bool IsModalOpen();
// How long the loop may wait for events after the frame built so far (call
// it before the GUI frame is rendered); 0 means draw the next frame at once.
double FrameWait(CShellState& s);
// Handles window-system events, waiting up to `seconds` for the first one.
void WaitForEvents(double seconds);

// Records one key event of the window system (GLFW key, action and modifier
// bits) for the next keyboard step: Delete, and C, F, A, B, S with Ctrl; and
// every press and tap for HoldKeyTaps. Any key event also keeps the loop
// drawing for SETTLE_FRAMES frames.
void NoteKeyPress(CShellState& s, int key, int action, int mods);

// Before the GUI frame starts: a key pressed and let go since the last frame
// would never be seen down by the GUI library (which reads key state once a
// frame; fast typing ends a path with such an Enter), so it is shown held
// for this frame and let go in the next.
void HoldKeyTaps(CShellState& s);

// Frame loop step 3 helper: framebuffer size and its ratio to the window size.
void SetFrameSize(CShellState& s, int display_w, int display_h, int window_w, int window_h);
// Step 4: the scene's share of the mouse.
void MouseStep(CShellState& s, CDisplay& display);
// Step 5: the Delete key and the Ctrl shortcuts.
void KeyboardStep(CShellState& s, CDisplay& display);
// Step 6: the pie menu while it is open.
void PieStep(CShellState& s, CDisplay& display);
// Part of step 7: a slice more of the trajectory index, and the next frame
// when playback is due (time from the GUI frame's delta).
void FramesStep(CShellState& s, CDisplay& display);
// Shows frame k (0-based) of the trajectory; false when the model refuses it.
bool ShowFrame(CShellState& s, CDisplay& display, std::size_t k);
// Step 7: the Settings, Choose File and Action windows.
void ControlWindows(CShellState& s, CDisplay& display);
void SettingsWindow(CShellState& s, CDisplay& display);
void ChooseFileWindow(CShellState& s, CDisplay& display);
void ActionWindow(CShellState& s, CDisplay& display);
// Step 1 of a pass: loads the file asked for on the command line or dropped
// on the window, if any.
void OpenRequestStep(CShellState& s, CDisplay& display);
// Records the first of the paths dropped on the window for the next pass.
void NoteDrop(CShellState& s, int count, const char** paths);
// Step 8: clear to the background colour.
void ClearFrame(const CShellState& s);
// Step 9: draw the structure, if one is shown, and leave no program bound.
void ScenePass(const CShellState& s, CDisplay& display);
// Step 10, before the GUI is drawn: writes the scene, without the control
// windows, as the PNG asked for by Save Image, at the size it asked for.
void SaveImageStep(CShellState& s, CDisplay& display);
// "Saved PATH" or "Could not save PATH: NOTES" on the message line and
// standard output.
void ReportSave(CShellState& s, bool ok, const std::string& path, const std::string& notes);
// One pass of the frame loop, the same for the window and the tests: from
// the GUI's new frame to its draw lists, with the framebuffer and window
// sizes of this frame. Returns how long the loop may wait for input next.
double FramePass(CShellState& s, CDisplay& display, int display_w, int display_h, int window_w, int window_h);

// Loads `path` (in folder `dir`) with format code `fmt`, by default the
// display's input format; the Auto code tells it from the file. On success
// the selection is cleared and, if `set_title`, the title becomes
// "Tesk <path>"; on failure the reason is kept in load_message and printed.
// A volumetric file is only started (false, load_message says it is being
// read): FinishVolumeOpen shows it when it is read. Any load drops a
// volumetric file still being read.
bool LoadStructure(CShellState& s, CDisplay& display, const char* dir, const char* path, bool set_title, int fmt = -1);
// What a successful load does besides the model: playback stops, the
// selection goes, the reader's notes show and the title names `path`.
void ShowLoaded(CShellState& s, CDisplay& display, const char* path, bool set_title);
// True when an atom is selected and its number exists in the shown structure.
bool HasValidSelection(const CDisplay& display);
// What the selected atoms measure, in click order: the distance of two, the
// angle at the middle one of three, the dihedral of four; empty otherwise.
std::string MeasurementText(const CDisplay& display);

#endif
