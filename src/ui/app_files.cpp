// What the shell does with files: the settings path, the GUI font, loading a
// structure, a file asked for on the command line or dropped, saves and
// Save Image.
#include "ui/shell.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/types.h>

#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>

#include <imgui_internal.h>

#include "render/display.h"
#include "ui/command_line.h"
#include "render/offscreen.h"
#include "io/textio.h"
#include "model/volume_convert.h"
#include "ui/file_opening.h"
#include "ui/volume_panel.h"

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

void ShowLoaded(CShellState& s, CDisplay& display, const char* path, bool set_title)
{
    s.is_playing = false;
    s.play_clock = 0.0f;
    // atom numbers of the previous structure mean nothing now
    display.selection.Clear();
    s.is_atom_lock = true;
    s.load_message = display.data.Notes();  // what the reader noticed, if anything
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
    const int asked = fmt < 0 ? s.input_format : fmt;
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
    const bool ok = display.ReadFile(dir, path, code);
    if (ok) {
        s.volume->Clear();
        ShowLoaded(s, display, path, set_title);
    } else {
        // where the reader stopped and why, else what the model noted
        s.load_message = code != INPUT_FILE_TYPE_UNKNOWN && !display.data.ReadRefusal().reason.empty()
                             ? io::RefusalText(path, display.data.ReadRefusal())
                             : std::string("Could not read ") + path + " as " + io::FormatLabel(io::Format(code)) +
                                   (display.data.Notes().empty() ? "" : ": " + display.data.Notes());
        std::printf("%s\n", s.load_message.c_str());
        std::fflush(stdout);
    }
    return ok;
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
    const bool ok = RenderImage(display, w, h, background, image, why) &&
                    EncodePng(image, s.is_image_transparent, png) && textio::WriteFileAtomically(path, png);
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
