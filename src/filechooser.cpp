// The file chooser: a modal popup that lists one folder at a time and
// returns the path of the file the user clicks, in that frame only.
#include "filechooser.h"

#include <imgui_internal.h>

#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <tuple>

namespace FileChooser {

ImVec2 Dialog::WindowSize(600, 400);
ImVec4 Dialog::WindowLTRBOffsets(0, 0, 0, 0);
ImGuiWindowFlags Dialog::ExtraWindowFlags = 0;
bool Dialog::WrapMode = true;
Dialog::DrawIconCallback Dialog::DrawFileIconCallback = nullptr;
Dialog::DrawIconCallback Dialog::DrawFolderIconCallback = nullptr;

namespace {

// Copies `src` into `dst` of `size` bytes; false (and `dst` untouched) when
// it does not fit, so a path is never silently cut.
bool CopyPath(char* dst, size_t size, const char* src)
{
    size_t n = strnlen(src, size);
    if (n >= size) return false;
    memcpy(dst, src, n + 1);
    return true;
}

bool FitsPath(const std::string& s) { return s.size() < static_cast<size_t>(MAX_PATH_BYTES); }

bool IsFolder(const std::string& path)
{
    struct stat st;
    return !path.empty() && FitsPath(path) && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Absolute resolved form of an existing folder; empty when it cannot be had.
std::string ResolveFolder(const std::string& path)
{
    if (!IsFolder(path)) return std::string();
    char* resolved = realpath(path.c_str(), nullptr);
    if (!resolved) return std::string();
    std::string out(resolved);
    free(resolved);
    if (!FitsPath(out) || !IsFolder(out)) return std::string();
    return out;
}

bool SkipName(const char* name)
{
    size_t n = strlen(name);
    return n == 0 || name[0] == '.' || name[n - 1] == '~';
}

const char* Extension(const std::string& name)
{
    size_t dot = name.rfind('.');
    return dot == std::string::npos ? "" : name.c_str() + dot;
}

std::string Lower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

struct Entry {
    std::string name;
    std::string folded;  // lower-cased once: the sort compares it many times
    bool hasStatus = false;
    long long mtime = 0, size = 0;
};

// Ascending order of the criterion, with the name as tie-break so that the
// order is the same on every listing; descending is the exact reverse.
bool LessThan(const Entry& a, const Entry& b, int criterion)
{
    if (criterion == 1 || criterion == 2) {
        if (a.hasStatus != b.hasStatus) return !a.hasStatus;  // unreadable first
        const long long ka = criterion == 1 ? a.mtime : a.size, kb = criterion == 1 ? b.mtime : b.size;
        if (ka != kb) return ka < kb;
    } else if (criterion == 3) {
        int c = strcmp(Extension(a.folded), Extension(b.folded));
        if (c != 0) return c < 0;
    }
    if (a.folded != b.folded) return a.folded < b.folded;
    return a.name < b.name;
}

// Folders have no size or type order: they keep name order for those.
void SortEntries(std::vector<Entry>& entries, int sortingMode, bool folders)
{
    if (sortingMode < 0 || sortingMode > 7) sortingMode = 0;
    if (folders && sortingMode >= 4) sortingMode &= 1;
    const int criterion = sortingMode / 2;
    const bool descending = (sortingMode & 1) != 0;
    std::sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
        return descending ? LessThan(b, a, criterion) : LessThan(a, b, criterion);
    });
}

bool NeedsStatus(int sortingMode) { return sortingMode >= 2 && sortingMode <= 5; }

// Reads the status of every entry of `folder` that lacks one.
void ReadStatus(const char* folder, std::vector<Entry>& entries)
{
    DIR* d = opendir(folder);
    if (!d) return;
    for (Entry& e : entries) {
        struct stat st;
        if (e.hasStatus || fstatat(dirfd(d), e.name.c_str(), &st, 0) != 0) continue;
        e.hasStatus = true;
        e.mtime = static_cast<long long>(st.st_mtime);
        e.size = static_cast<long long>(st.st_size);
    }
    closedir(d);
}

// Reads `folder` once into its listed subfolders and regular files, in no
// particular order, with their status when `withStatus`.
bool ReadFolder(const char* folder, bool withStatus, std::vector<Entry>& dirs, std::vector<Entry>& files)
{
    dirs.clear();
    files.clear();
    if (!folder || strnlen(folder, MAX_PATH_BYTES) >= static_cast<size_t>(MAX_PATH_BYTES)) return false;
    DIR* d = opendir(folder);
    if (!d) return false;
    const size_t folderLength = JoinPath(folder, "").size();
    bool ok = true;
    try {
        while (const struct dirent* e = readdir(d)) {
            const bool isDir = e->d_type == DT_DIR;
            if ((!isDir && e->d_type != DT_REG) || SkipName(e->d_name)) continue;
            if (folderLength + strlen(e->d_name) >= static_cast<size_t>(MAX_PATH_BYTES)) continue;  // could not be handed on
            Entry entry;
            entry.name = e->d_name;
            entry.folded = Lower(entry.name);
            (isDir ? dirs : files).push_back(std::move(entry));
        }
    } catch (const std::exception&) {
        ok = false;
    }
    closedir(d);
    if (!ok) {
        dirs.clear();
        files.clear();
        return false;
    }
    if (withStatus) {
        ReadStatus(folder, dirs);
        ReadStatus(folder, files);
    }
    return true;
}

struct KnownFolder {
    std::string path;
    std::string name;
};

// Found once on first use and shared by every dialog.
std::vector<KnownFolder> g_knownFolders;
int g_numberKnownUserDirectoriesExceptDrives = 0;
bool g_knownFoldersDetected = false;

void AddKnownFolder(const std::string& path, const std::string& name)
{
    for (const KnownFolder& k : g_knownFolders)
        if (k.path == path) return;
    g_knownFolders.push_back({path, name});
}

void DetectKnownFolders()
{
    g_knownFolders.clear();
    g_numberKnownUserDirectoriesExceptDrives = 0;
    g_knownFoldersDetected = true;

    std::string home;
    const char* env = getenv("HOME");
    if (env && *env) home = ResolveFolder(env);
    if (home.empty()) {
        const struct passwd* pw = getpwuid(getuid());
        if (pw && pw->pw_dir) home = ResolveFolder(pw->pw_dir);
    }
    if (home.empty()) return;

    AddKnownFolder(home, "Home");
    static const char* const userFolders[] = {"Desktop", "Documents", "Downloads", "Music", "Pictures", "Videos"};
    for (const char* sub : userFolders) {
        std::string p = ResolveFolder(JoinPath(home, sub));
        if (!p.empty()) AddKnownFolder(p, sub);
    }
    g_numberKnownUserDirectoriesExceptDrives = static_cast<int>(g_knownFolders.size());

    std::vector<std::string> parts = SplitPath(home);
    std::string user = parts.size() > 1 ? parts.back() : std::string();
    static const char* const mounts[] = {"/media", "/mnt", "/Volumes", "/vol", "/data"};
    for (const char* mount : mounts) {
        std::string location;
        if (!user.empty() && IsFolder(JoinPath(mount, user)))
            location = JoinPath(mount, user);
        else if (IsFolder(mount))
            location = mount;
        else
            continue;
        std::vector<std::string> names;
        ListFolder(location.c_str(), true, 0, names);
        for (const std::string& n : names) {
            std::string p = ResolveFolder(JoinPath(location, n));  // same form as the folders shown
            if (!p.empty()) AddKnownFolder(p, n);
        }
    }
}

// History of visited folders. Each entry remembers the deepest folder of its
// line of folders, so that after going up with a path button the deeper
// components stay on the row.
struct FolderInfo {
    std::string fullFolder;
    std::string currentFolder;
    int splitPathIndex = 0;
};

struct History {
    std::vector<FolderInfo> info;
    int currentInfoIndex = -1;

    void reset()
    {
        info.clear();
        currentInfoIndex = -1;
    }
    bool canGoBack() const { return currentInfoIndex >= 1; }
    bool canGoForward() const { return currentInfoIndex >= 0 && currentInfoIndex < static_cast<int>(info.size()) - 1; }
    const FolderInfo* current() const { return currentInfoIndex >= 0 ? &info[currentInfoIndex] : nullptr; }

    // False when the current entry already shows `folder`.
    bool switchTo(const std::string& folder)
    {
        const FolderInfo* cur = current();
        if (cur && cur->currentFolder == folder) return false;
        FolderInfo next;
        next.fullFolder = folder;
        next.currentFolder = folder;
        next.splitPathIndex = static_cast<int>(SplitPath(folder).size()) - 1;
        if (cur) {
            std::vector<std::string> parts = SplitPath(cur->fullFolder);
            std::string p;
            for (size_t i = 0; i < parts.size(); ++i) {
                p = i == 0 ? parts[0] : JoinPath(p, parts[i]);
                if (p == folder) {
                    next.fullFolder = cur->fullFolder;
                    next.splitPathIndex = static_cast<int>(i);
                    break;
                }
            }
            info.resize(static_cast<size_t>(currentInfoIndex) + 1);  // drop the forward entries
        }
        info.push_back(next);
        currentInfoIndex = static_cast<int>(info.size()) - 1;
        return true;
    }
};

ImVec4 Tinted(const ImVec4& c, const ImVec4& tint, float alphaScale)
{
    float grey = (c.x + c.y + c.z) / 3.0f;
    return ImVec4(grey * tint.x, grey * tint.y, grey * tint.z, c.w * alphaScale);
}

// Whether `name` contains the words of a filter range, ASCII letters in any
// case and every other byte as it is (the GUI library's own test mangles
// bytes above 127, so no name in another script would ever match).
bool Contains(const std::string& name, const char* b, const char* e)
{
    auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return std::search(name.begin(), name.end(), b, e, [&](char x, char y) { return fold(x) == fold(y); }) != name.end();
}

// The text filter's rule: a word with a leading minus excludes the names
// holding it; any other word includes them; no including word lets all pass.
bool PassesFilter(const ImGuiTextFilter& filter, const std::string& name)
{
    bool anyInclude = false;
    for (const ImGuiTextFilter::ImGuiTextRange& f : filter.Filters) {
        if (f.empty()) continue;
        if (f.b[0] == '-') {
            if (f.e - f.b > 1 && Contains(name, f.b + 1, f.e)) return false;
        } else {
            anyInclude = true;
            if (Contains(name, f.b, f.e)) return true;
        }
    }
    return !anyInclude;
}

// A button that shows `text` whole. A file name may hold "##", which a
// widget label would take as the start of a hidden id, so the name is drawn
// as plain text over a button without a label; the caller pushes the id.
bool NameButton(const std::string& text, bool small)
{
    const ImGuiStyle& style = ImGui::GetStyle();
    const char* begin = text.c_str();
    const char* end = begin + text.size();
    const ImVec2 pad(style.FramePadding.x, small ? 0.0f : style.FramePadding.y);
    const ImVec2 textSize = ImGui::CalcTextSize(begin, end, false);
    const bool pressed = ImGui::Button("##name", ImVec2(textSize.x + pad.x * 2.0f, textSize.y + pad.y * 2.0f));
    if (ImGui::IsItemVisible()) {
        const ImVec2 at = ImGui::GetItemRectMin();
        ImGui::GetWindowDrawList()->AddText(ImVec2(at.x + pad.x, at.y + pad.y), ImGui::GetColorU32(ImGuiCol_Text), begin, end);
    }
    return pressed;
}

}  // namespace

std::string JoinPath(const std::string& folder, const std::string& name)
{
    std::string out = folder;
    while (out.size() > 1 && out.back() == '/') out.pop_back();
    if (out.empty() || out.back() != '/') out += '/';
    out += name;
    return out;
}

std::vector<std::string> SplitPath(const std::string& path)
{
    std::vector<std::string> parts;
    if (path.empty()) return parts;
    size_t i = 0;
    if (path[0] == '/') {
        parts.push_back("/");
        i = 1;
    }
    while (i < path.size()) {
        size_t j = path.find('/', i);
        if (j == std::string::npos) j = path.size();
        if (j > i) parts.push_back(path.substr(i, j - i));
        i = j + 1;
    }
    return parts;
}

bool ListFolder(const char* folder, bool wantFolders, int sortingMode, std::vector<std::string>& names)
{
    names.clear();
    std::vector<Entry> dirs, files;
    if (!ReadFolder(folder, NeedsStatus(sortingMode), dirs, files)) return false;
    std::vector<Entry>& entries = wantFolders ? dirs : files;
    SortEntries(entries, sortingMode, wantFolders);
    try {
        names.reserve(entries.size());
        for (Entry& e : entries) names.push_back(std::move(e.name));
    } catch (const std::exception&) {
        names.clear();
        return false;
    }
    return true;
}

struct Dialog::Internal {
    static bool BrowsingPerRow;

    std::vector<std::string> dirs, dirNames;
    std::vector<std::string> files, fileNames;
    std::vector<std::string> currentSplitPath;
    char currentFolder[MAX_PATH_BYTES];
    bool forceRescan = false;
    bool open = true;
    ImVec2 wndPos, wndSize;
    char wndTitle[512];
    int sortingMode = 0;
    bool userHasJustCancelledDialog = false;
    History history;
    char chosenPath[MAX_PATH_BYTES];
    bool rescan = true;
    int uniqueNumber = 0;
    ImGuiTextFilter filter;
    int totalNumBrowsingEntries = 0;
    int numBrowsingColumns = 1;
    int numBrowsingEntriesPerColumn = 1000;
    bool editLocationCheckButtonPressed = false;
    char editLocationInputText[MAX_PATH_BYTES];
    bool editLocationJustOpened = false;
    int forceSetWindowPositionAndSize = 0;  // frames left in which to apply wndPos/wndSize
    bool allowKnownDirectoriesSection = true;
    bool allowFiltering = true;
    bool allowDisplayByOption = false;
    bool detectKnownDirectoriesAtEveryOpening = false;

    std::string extensionFilter;  // lower-cased pieces joined with ';'
    std::vector<ShownItem> shownItems;

    // save mode: the name typed or clicked, the output format, and the file
    // waiting for the user's yes before it is replaced
    bool saveMode = false;
    char saveName[MAX_PATH_BYTES];
    const char* const* formatLabels = nullptr;
    const char* const* formatExtensions = nullptr;
    int formatCount = 0;
    int* format = nullptr;
    std::string overwritePath;
    bool focusSaveName = false;  // the name takes the keys when the dialog opens

    // The listed entries that pass the filter, as of `shownFilterText`.
    struct Shown {
        bool isFolder;
        size_t index;
    };
    std::vector<Shown> shown;
    std::string shownFilterText;
    bool shownStale = true;
    std::string listedFolder;  // the folder the lists were last read from
    bool scrollToTop = true;
    std::vector<Entry> dirEntries, fileEntries;  // as read, with status once an order needs it
    bool resort = false;                         // the order changed: sort again, read nothing

    Internal()
    {
        CopyPath(currentFolder, sizeof(currentFolder), "./");
        wndTitle[0] = '\0';
        chosenPath[0] = '\0';
        editLocationInputText[0] = '\0';
        saveName[0] = '\0';
    }

    void freeLists()
    {
        dirs.clear();
        dirNames.clear();
        files.clear();
        fileNames.clear();
        dirEntries.clear();
        fileEntries.clear();
        currentSplitPath.clear();
        totalNumBrowsingEntries = 0;
        shown.clear();
        shownStale = true;
    }

    void record(ShownItem::Kind kind, const std::string& text, bool highlighted = false, bool enabled = true)
    {
        shownItems.push_back({kind, text, ImGui::GetItemRectMin(), ImGui::GetItemRectMax(), highlighted, enabled});
    }

    void showFolder(const std::string& folder)
    {
        if (!history.switchTo(folder)) return;
        CopyPath(currentFolder, sizeof(currentFolder), history.current()->currentFolder.c_str());
        forceRescan = true;
    }

    void showHistoryEntry(int index)
    {
        history.currentInfoIndex = index;
        CopyPath(currentFolder, sizeof(currentFolder), history.current()->currentFolder.c_str());
        forceRescan = true;
    }

    bool passesExtensionFilter(const std::string& name) const
    {
        if (extensionFilter.empty()) return true;
        std::string ext = Lower(Extension(name));
        size_t start = 0;
        while (start <= extensionFilter.size()) {
            size_t end = extensionFilter.find(';', start);
            if (end == std::string::npos) end = extensionFilter.size();
            if (extensionFilter.compare(start, end - start, ext) == 0 && end > start) return true;
            start = end + 1;
        }
        return false;
    }

    void readLists()
    {
        freeLists();
        try {
            ReadFolder(currentFolder, false, dirEntries, fileEntries);  // sortLists reads the status it needs
            fileEntries.erase(std::remove_if(fileEntries.begin(), fileEntries.end(),
                                             [&](const Entry& e) { return !passesExtensionFilter(e.name); }),
                              fileEntries.end());
            sortLists();
            if (const FolderInfo* cur = history.current()) currentSplitPath = SplitPath(cur->fullFolder);
        } catch (const std::exception&) {
            freeLists();
        }
        totalNumBrowsingEntries = static_cast<int>(dirs.size() + files.size());
        shownStale = true;
        if (listedFolder != currentFolder) scrollToTop = true;
        listedFolder = currentFolder;
    }

    // Puts the entries read last in the order of sortingMode. A new order of
    // the same folder needs no second reading of it, only the status once.
    void sortLists()
    {
        if (NeedsStatus(sortingMode)) {
            ReadStatus(currentFolder, dirEntries);
            ReadStatus(currentFolder, fileEntries);
        }
        SortEntries(dirEntries, sortingMode, true);
        SortEntries(fileEntries, sortingMode, false);
        dirs.clear();
        dirNames.clear();
        files.clear();
        fileNames.clear();
        dirs.reserve(dirEntries.size());
        dirNames.reserve(dirEntries.size());
        files.reserve(fileEntries.size());
        fileNames.reserve(fileEntries.size());
        for (const Entry& e : dirEntries) {
            dirNames.push_back(e.name);
            dirs.push_back(JoinPath(currentFolder, e.name));
        }
        for (const Entry& e : fileEntries) {
            fileNames.push_back(e.name);
            files.push_back(JoinPath(currentFolder, e.name));
        }
        shownStale = true;
    }

    void rereadIfNeeded()
    {
        if (resort && !forceRescan) {
            try {
                sortLists();
            } catch (const std::exception&) {
                freeLists();
            }
        }
        resort = false;
        if (!forceRescan) return;
        forceRescan = false;
        readLists();
    }

    void openAfresh(const char* directory, const char* windowTitle, const ImVec2& windowSize,
                    const ImVec2& windowPos);
    void drawHistoryAndLocation();
    void drawPathButtons();
    void drawKnownFolders();
    void drawFilterAndSorting();
    bool drawList();  // true when a file was chosen
    bool drawSaveRow();  // true when the path to save to was confirmed
    bool confirmSaveName();
    void changeFormat(int n);
};

bool Dialog::Internal::BrowsingPerRow = false;

void Dialog::Internal::openAfresh(const char* directory, const char* windowTitle, const ImVec2& windowSize,
                                  const ImVec2& windowPos)
{
    // Start folder: the folder named, else its parent, else the working folder.
    std::string start;
    if (directory && strnlen(directory, MAX_PATH_BYTES) < static_cast<size_t>(MAX_PATH_BYTES) && *directory) {
        std::string dir(directory);
        start = ResolveFolder(dir);
        if (start.empty()) {
            size_t slash = dir.find_last_of('/');
            if (slash != std::string::npos) start = ResolveFolder(slash == 0 ? std::string("/") : dir.substr(0, slash));
        }
    }
    if (start.empty()) start = ResolveFolder("./");
    if (start.empty()) start = "/";  // the working folder is gone
    CopyPath(currentFolder, sizeof(currentFolder), start.c_str());

    history.reset();
    history.switchTo(currentFolder);
    freeLists();
    listedFolder.clear();  // even the same folder opens at the top

    forceRescan = true;
    open = true;
    filter.Clear();
    editLocationCheckButtonPressed = false;
    editLocationInputText[0] = '\0';

    const char* title = (windowTitle && *windowTitle) ? windowTitle : "Please choose a file";
    char suffix[32];
    snprintf(suffix, sizeof(suffix), "##%d", uniqueNumber);
    // A long caller title is cut so that the hidden suffix always survives.
    size_t room = sizeof(wndTitle) - strlen(suffix) - 1;
    size_t n = strnlen(title, room);
    memcpy(wndTitle, title, n);
    memcpy(wndTitle + n, suffix, strlen(suffix) + 1);

    wndSize.x = windowSize.x > 0 ? windowSize.x : Dialog::WindowSize.x;
    wndSize.y = windowSize.y > 0 ? windowSize.y : Dialog::WindowSize.y;
    const ImGuiIO& io = ImGui::GetIO();
    ImVec2 mouse = ImGui::IsMousePosValid() ? io.MousePos : ImVec2(io.DisplaySize.x * 0.5f, io.DisplaySize.y * 0.5f);
    wndPos.x = windowPos.x > 0 ? windowPos.x : mouse.x - wndSize.x * 0.5f;
    wndPos.y = windowPos.y > 0 ? windowPos.y : mouse.y - wndSize.y * 0.5f;
    const ImVec4& o = Dialog::WindowLTRBOffsets;
    wndPos.x = std::min(wndPos.x, io.DisplaySize.x - o.z - wndSize.x);
    wndPos.y = std::min(wndPos.y, io.DisplaySize.y - o.w - wndSize.y);
    wndPos.x = std::max(wndPos.x, o.x);
    wndPos.y = std::max(wndPos.y, o.y);

    if (detectKnownDirectoriesAtEveryOpening) DetectKnownFolders();

    ImGui::OpenPopup(wndTitle);
    forceSetWindowPositionAndSize = 2;
}

void Dialog::Internal::drawHistoryAndLocation()
{
    const ImGuiStyle& style = ImGui::GetStyle();
    const bool canBack = history.canGoBack();
    const bool canForward = history.canGoForward();
    ImVec4 dim = style.Colors[ImGuiCol_TextDisabled];

    if (!canBack) ImGui::PushStyleColor(ImGuiCol_Text, dim);
    bool back = ImGui::Button("<");
    if (!canBack) ImGui::PopStyleColor();
    record(ShownItem::HISTORY_BACK, "<", false, canBack);
    ImGui::SameLine();
    if (!canForward) ImGui::PushStyleColor(ImGuiCol_Text, dim);
    bool forward = ImGui::Button(">");
    if (!canForward) ImGui::PopStyleColor();
    record(ShownItem::HISTORY_FORWARD, ">", false, canForward);
    if (back && canBack) showHistoryEntry(history.currentInfoIndex - 1);
    else if (forward && canForward) showHistoryEntry(history.currentInfoIndex + 1);

    ImGui::SameLine();
    const bool wasPressed = editLocationCheckButtonPressed;
    if (wasPressed) ImGui::PushStyleColor(ImGuiCol_Button, style.Colors[ImGuiCol_ButtonActive]);
    bool toggled = ImGui::Button("L##EditLocationCheckButton");
    if (wasPressed) ImGui::PopStyleColor();
    record(ShownItem::EDIT_LOCATION_BUTTON, "L", wasPressed);
    if (toggled) {
        editLocationCheckButtonPressed = !editLocationCheckButtonPressed;
        if (editLocationCheckButtonPressed) {
            CopyPath(editLocationInputText, sizeof(editLocationInputText), currentFolder);
            editLocationJustOpened = true;
        }
    }
    if (!editLocationCheckButtonPressed) return;

    ImGui::SameLine();
    if (editLocationJustOpened) {
        ImGui::SetKeyboardFocusHere();
        editLocationJustOpened = false;
    }
    ImGui::PushItemWidth(-1);
    bool entered = ImGui::InputText("##EditLocationInputText", editLocationInputText, sizeof(editLocationInputText),
                                    ImGuiInputTextFlags_EnterReturnsTrue | ImGuiInputTextFlags_AutoSelectAll);
    ImGui::PopItemWidth();
    record(ShownItem::EDIT_LOCATION_FIELD, editLocationInputText);
    if (!entered) return;

    std::string typed(editLocationInputText);
    const bool hadText = !typed.empty();
    while (!typed.empty() && (typed.back() == '/' || typed.back() == '\\')) typed.pop_back();
    if (typed.empty() && hadText) typed = "/";  // only slashes: the root, not an empty text
    if (typed.empty()) {
        editLocationCheckButtonPressed = false;
        return;
    }
    if (typed[0] != '/') typed = JoinPath(currentFolder, typed);  // relative to the folder shown
    std::string resolved = ResolveFolder(typed);
    if (!resolved.empty() && resolved != currentFolder) {
        editLocationCheckButtonPressed = false;
        showFolder(resolved);
    } else {
        editLocationJustOpened = true;  // Enter let go of the field: take it back, text selected
    }
}

void Dialog::Internal::drawPathButtons()
{
    const FolderInfo* cur = history.current();
    if (!cur) return;
    const ImGuiStyle& style = ImGui::GetStyle();
    const float right = ImGui::GetWindowPos().x + ImGui::GetWindowContentRegionMax().x;
    int clicked = -1;
    for (size_t i = 0; i < currentSplitPath.size(); ++i) {
        const std::string& label = currentSplitPath[i];
        if (i > 0) {
            float width = ImGui::CalcTextSize(label.c_str(), nullptr, false).x + style.FramePadding.x * 2.0f;
            ImGui::SameLine();
            if (WrapMode && ImGui::GetCursorScreenPos().x + width > right) ImGui::NewLine();
        }
        const bool current = static_cast<int>(i) == cur->splitPathIndex;
        if (current) ImGui::PushStyleColor(ImGuiCol_Button, style.Colors[ImGuiCol_ButtonActive]);
        ImGui::PushID("##path");
        ImGui::PushID(static_cast<int>(i));
        if (NameButton(label, false)) clicked = static_cast<int>(i);
        ImGui::PopID();
        ImGui::PopID();
        if (current) ImGui::PopStyleColor();
        record(ShownItem::PATH_BUTTON, label, current);
    }
    if (clicked >= 0 && clicked != cur->splitPathIndex) {
        std::string p = currentSplitPath[0];
        for (int i = 1; i <= clicked; ++i) p = JoinPath(p, currentSplitPath[i]);
        showFolder(p);
    }
}

void Dialog::Internal::drawKnownFolders()
{
    if (!allowKnownDirectoriesSection || g_knownFolders.empty()) return;
    bool opened = ImGui::CollapsingHeader("Known Directories##filechooser_UserKnownDirectories");
    record(ShownItem::KNOWN_FOLDERS_HEADER, "Known Directories", opened);
    if (!opened) return;
    int clicked = -1;
    for (size_t i = 0; i < g_knownFolders.size(); ++i) {
        // A new line after every seventh user folder; drives follow on.
        const bool newLine = i > 0 && i % 7 == 0 && static_cast<int>(i) <= g_numberKnownUserDirectoriesExceptDrives;
        if (i > 0 && !newLine) ImGui::SameLine();
        ImGui::PushID("##known");
        ImGui::PushID(static_cast<int>(i));
        if (NameButton(g_knownFolders[i].name, true)) clicked = static_cast<int>(i);
        ImGui::PopID();
        ImGui::PopID();
        record(ShownItem::KNOWN_FOLDER, g_knownFolders[i].name, g_knownFolders[i].path == currentFolder);
    }
    if (clicked >= 0 && g_knownFolders[clicked].path != currentFolder) showFolder(g_knownFolders[clicked].path);
}

void Dialog::Internal::drawFilterAndSorting()
{
    if (allowFiltering) {
        bool opened = ImGui::CollapsingHeader("Filtering##filechooser_fileNameFiltering");
        record(ShownItem::FILTERING_HEADER, "Filtering", opened);
        if (opened) {
            filter.Draw("Filter (inc,-exc)");
            record(ShownItem::FILTER_FIELD, filter.InputBuf);
        }
    }

    const ImGuiStyle& style = ImGui::GetStyle();
    ImGui::Text("Sorting by: ");
    static const char* const criteria[] = {"Name", "Modified", "Size", "Type"};
    const int current = sortingMode / 2;
    int clicked = -1;
    for (int c = 0; c < 4; ++c) {
        ImGui::SameLine();
        if (c == current) ImGui::PushStyleColor(ImGuiCol_Button, style.Colors[ImGuiCol_ButtonActive]);
        if (ImGui::SmallButton(criteria[c])) clicked = c;
        if (c == current) ImGui::PopStyleColor();
        record(ShownItem::SORT_BUTTON, criteria[c], c == current);
    }
    if (clicked >= 0) {
        sortingMode = clicked == current ? (sortingMode ^ 1) : clicked * 2;
        resort = true;
    }

    if (allowDisplayByOption && numBrowsingColumns > 1) {
        ImGui::SameLine();
        ImGui::Text("   Display by:");
        ImGui::SameLine();
        const char* label = BrowsingPerRow ? "Row##browsingPerRow" : "Column##browsingPerRow";
        if (ImGui::SmallButton(label)) BrowsingPerRow = !BrowsingPerRow;
        record(ShownItem::DISPLAY_BY_BUTTON, BrowsingPerRow ? "Row" : "Column");
    }
}

bool Dialog::Internal::drawList()
{
    // The entries that pass the name filter: folders first, then files. Kept
    // until the lists or the filter text change, so a big folder costs only
    // its visible rows per frame.
    if (shownStale || shownFilterText != filter.InputBuf) {
        shownStale = false;
        shownFilterText = filter.InputBuf;
        shown.clear();
        for (size_t i = 0; i < dirNames.size(); ++i)
            if (PassesFilter(filter, dirNames[i])) shown.push_back({true, i});
        for (size_t i = 0; i < fileNames.size(); ++i)
            if (PassesFilter(filter, fileNames[i])) shown.push_back({false, i});
    }
    const int total = static_cast<int>(shown.size());

    // Columns from the frame's size: as many lines as fit, a further column
    // only when more than half of one would spill over.
    const ImVec2 avail = ImGui::GetContentRegionAvail();
    const float lineHeight = ImGui::GetTextLineHeightWithSpacing();
    int rows = avail.y > 0 && lineHeight > 0 ? static_cast<int>(avail.y / lineHeight) : 20;
    if (rows < 1) rows = 1;
    int maxColumns = avail.x > 0 ? std::max(static_cast<int>(avail.x / 100.0f), 1) : 6;
    int columns = total / rows + ((total % rows) > rows / 2 ? 1 : 0);
    columns = std::max(columns, 1);
    columns = std::min(columns, maxColumns);
    numBrowsingColumns = columns;
    numBrowsingEntriesPerColumn = (total + columns - 1) / columns;
    if (numBrowsingEntriesPerColumn < 1) numBrowsingEntriesPerColumn = 1;

    const ImGuiStyle& style = ImGui::GetStyle();
    const ImVec4 folderTint(0.9f, 0.9f, 0.3f, 1.0f), fileTint(0.7f, 0.7f, 0.7f, 1.0f);
    const ImVec4 textColor = style.Colors[ImGuiCol_Text];

    int chosen = -1, folderClicked = -1;
    if (scrollToTop) ImGui::SetNextWindowScroll(ImVec2(0.0f, 0.0f));  // a newly shown folder starts at the top
    scrollToTop = false;
    // in save mode the name row and the overwrite question stay below the list
    const float footer = saveMode ? ImGui::GetFrameHeightWithSpacing() * 2.0f : 0.0f;
    ImGui::BeginChild("##filechooser_browsingFrame", ImVec2(0, -footer), true, ImGuiWindowFlags_HorizontalScrollbar);
    if (columns > 1) ImGui::Columns(columns, nullptr, false);
    // Drawn row by row, only the rows in view. Down the columns, row r holds
    // entries r, r + perColumn, ...; across the rows, r * columns, ...
    const int perColumn = numBrowsingEntriesPerColumn;
    const bool acrossRows = BrowsingPerRow || columns == 1;
    const int numRows = acrossRows ? (total + columns - 1) / columns : perColumn;
    ImGuiListClipper clipper;
    clipper.Begin(numRows, lineHeight);
    while (clipper.Step()) {
        for (int r = clipper.DisplayStart; r < clipper.DisplayEnd; ++r) {
            for (int col = 0; col < columns; ++col) {
                const int i = acrossRows ? r * columns + col : col * perColumn + r;
                if (i < total) {
                    const Shown& s = shown[i];
                    const ImVec4& tint = s.isFolder ? folderTint : fileTint;
                    const std::string& name = s.isFolder ? dirNames[s.index] : fileNames[s.index];
                    DrawIconCallback icon = s.isFolder ? DrawFolderIconCallback : DrawFileIconCallback;
                    if (icon) {
                        const std::string& full = s.isFolder ? dirs[s.index] : files[s.index];
                        icon(full.c_str(), ImGui::GetCursorScreenPos(), ImGui::GetTextLineHeight());
                        ImGui::Dummy(ImVec2(ImGui::GetTextLineHeight(), ImGui::GetTextLineHeight()));
                        ImGui::SameLine();
                    }
                    ImGui::PushStyleColor(ImGuiCol_Button, Tinted(style.Colors[ImGuiCol_Button], tint, 0.65f));
                    ImGui::PushStyleColor(ImGuiCol_ButtonHovered, Tinted(style.Colors[ImGuiCol_ButtonHovered], tint, 0.65f));
                    ImGui::PushStyleColor(ImGuiCol_ButtonActive, Tinted(style.Colors[ImGuiCol_ButtonActive], tint, 0.65f));
                    ImGui::PushStyleColor(ImGuiCol_Text, ImVec4(textColor.x * tint.x, textColor.y * tint.y, textColor.z * tint.z, textColor.w));
                    ImGui::PushID(i);
                    if (NameButton(name, true)) {
                        if (s.isFolder) folderClicked = static_cast<int>(s.index);
                        else chosen = static_cast<int>(s.index);
                    }
                    ImGui::PopID();
                    ImGui::PopStyleColor(4);
                    record(s.isFolder ? ShownItem::FOLDER_ENTRY : ShownItem::FILE_ENTRY, name);
                }
                if (columns > 1) ImGui::NextColumn();
            }
        }
    }
    clipper.End();
    if (columns > 1) ImGui::Columns(1);
    ImGui::EndChild();

    if (chosen >= 0 && saveMode) {
        // saving: a listed file only gives its name; Save confirms
        CopyPath(saveName, sizeof(saveName), fileNames[chosen].c_str());
        overwritePath.clear();
        return false;
    }
    if (chosen >= 0) {
        CopyPath(chosenPath, sizeof(chosenPath), files[chosen].c_str());
        return true;
    }
    if (folderClicked >= 0) showFolder(dirs[folderClicked]);
    return false;
}

Dialog::Dialog(bool noKnownDirectoriesSection, bool /*noCreateDirectorySection*/, bool noFilteringSection,
               bool detectKnownDirectoriesAtEachOpening, bool addDisplayByOption,
               bool /*dontFilterSaveFilePathsEnteredByTheUser*/)
{
    static int numberOfDialogs = 0;
    internal = new Internal();
    internal->uniqueNumber = numberOfDialogs++;
    internal->allowKnownDirectoriesSection = !noKnownDirectoriesSection;
    internal->allowFiltering = !noFilteringSection;
    internal->detectKnownDirectoriesAtEveryOpening = detectKnownDirectoriesAtEachOpening;
    internal->allowDisplayByOption = addDisplayByOption;
}

Dialog::~Dialog() { delete internal; }

const char* Dialog::chooseFileDialog(bool dialogTriggerButton, const char* directory,
                                     const char* fileFilterExtensionString, const char* windowTitle,
                                     const ImVec2& windowSize, const ImVec2& windowPos, const float /*windowAlpha*/)
{
    Internal& I = *internal;
    I.shownItems.clear();
    if (dialogTriggerButton) {
        I.forceSetWindowPositionAndSize = 2;
        I.rescan = true;
        I.open = true;
        I.chosenPath[0] = '\0';
        I.userHasJustCancelledDialog = false;
    } else if (I.rescan || !I.open || I.chosenPath[0] != '\0') {
        return "";
    }

    I.extensionFilter.clear();
    if (fileFilterExtensionString && strnlen(fileFilterExtensionString, MAX_PATH_BYTES) < static_cast<size_t>(MAX_PATH_BYTES))
        I.extensionFilter = Lower(fileFilterExtensionString);

    if (!g_knownFoldersDetected) DetectKnownFolders();
    if (I.rescan) {
        I.rescan = false;
        I.openAfresh(directory, windowTitle, windowSize, windowPos);
    }

    if (I.forceSetWindowPositionAndSize > 0) {
        ImGui::SetNextWindowPos(I.wndPos);
        ImGui::SetNextWindowSize(I.wndSize);
        --I.forceSetWindowPositionAndSize;
    }

    bool chosen = false;
    if (ImGui::BeginPopupModal(I.wndTitle, &I.open, ExtraWindowFlags | ImGuiWindowFlags_NoCollapse)) {
        I.rereadIfNeeded();
        I.shownItems.push_back({ShownItem::WINDOW, I.wndTitle, ImGui::GetWindowPos(),
                                ImVec2(ImGui::GetWindowPos().x + ImGui::GetWindowSize().x,
                                       ImGui::GetWindowPos().y + ImGui::GetWindowSize().y),
                                false, true});
        // A click in one section may change the folder or the order: the
        // lists are read again before the next section uses them.
        I.drawHistoryAndLocation();
        I.rereadIfNeeded();
        I.drawPathButtons();
        I.rereadIfNeeded();
        I.drawKnownFolders();
        I.rereadIfNeeded();
        I.drawFilterAndSorting();
        I.rereadIfNeeded();
        chosen = I.drawList();
        if (I.saveMode) chosen = I.drawSaveRow();
        if (chosen) {
            ImGui::CloseCurrentPopup();
            I.freeLists();
        } else if (ImGui::IsWindowFocused() && ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_Escape), false)) {
            // Esc closes it, also from its text fields; a list open over it
            // (the output formats) has the focus and closes first
            ImGui::CloseCurrentPopup();
            I.open = false;
        }
        ImGui::EndPopup();
    } else {
        // Closed by its close button, or by the GUI library behind our back.
        I.open = false;
    }

    if (!I.open) {
        I.userHasJustCancelledDialog = true;
        I.freeLists();
    }
    return chosen ? I.chosenPath : "";
}

void Dialog::Internal::changeFormat(int n)
{
    const int old = *format;
    *format = n;
    overwritePath.clear();
    if (!formatExtensions || old == n) return;
    const std::string from = formatExtensions[old] ? formatExtensions[old] : "";
    const std::string to = formatExtensions[n] ? formatExtensions[n] : "";
    std::string name(saveName);
    if (from.empty() || name.size() <= from.size() || Lower(name.substr(name.size() - from.size())) != Lower(from))
        return;
    name.replace(name.size() - from.size(), from.size(), to);
    CopyPath(saveName, sizeof(saveName), name.c_str());
}

bool Dialog::Internal::confirmSaveName()
{
    const std::string name(saveName);
    if (name.empty()) return false;
    const std::string path = name[0] == '/' ? name : JoinPath(currentFolder, name);
    if (!FitsPath(path)) return false;
    struct stat st;
    if (stat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            // a folder's name goes into that folder
            saveName[0] = '\0';
            showFolder(ResolveFolder(path));
            return false;
        }
        overwritePath = path;  // asked below; only "Yes" writes
        return false;
    }
    CopyPath(chosenPath, sizeof(chosenPath), path.c_str());
    return true;
}

bool Dialog::Internal::drawSaveRow()
{
    const ImGuiStyle& style = ImGui::GetStyle();
    ImGui::AlignTextToFramePadding();
    ImGui::TextUnformatted("Name:");
    ImGui::SameLine();
    const float saveWidth = ImGui::CalcTextSize("Save").x + style.FramePadding.x * 2.0f;
    const float comboWidth = formatCount > 0 ? 90.0f : 0.0f;
    ImGui::PushItemWidth(-(saveWidth + (formatCount > 0 ? comboWidth + style.ItemSpacing.x : 0.0f) +
                           style.ItemSpacing.x));
    if (focusSaveName) {
        ImGui::SetKeyboardFocusHere();
        focusSaveName = false;
    }
    bool confirmed = ImGui::InputText("##SaveFileName", saveName, sizeof(saveName),
                                      ImGuiInputTextFlags_EnterReturnsTrue | ImGuiInputTextFlags_AutoSelectAll);
    ImGui::PopItemWidth();
    if (ImGui::IsItemEdited()) overwritePath.clear();
    record(ShownItem::SAVE_NAME_FIELD, saveName);

    if (formatCount > 0) {
        ImGui::SameLine();
        ImGui::SetNextItemWidth(comboWidth);
        const bool opened = ImGui::BeginCombo("##SaveFileFormat", formatLabels[*format]);
        record(ShownItem::SAVE_FORMAT, formatLabels[*format]);
        if (opened) {
            for (int n = 0; n < formatCount; ++n) {
                const bool selected = n == *format;
                if (ImGui::Selectable(formatLabels[n], selected) && !selected) changeFormat(n);
                if (selected) ImGui::SetItemDefaultFocus();
            }
            ImGui::EndCombo();
        }
    }
    ImGui::SameLine();
    confirmed = ImGui::Button("Save##SaveFileButton") || confirmed;
    record(ShownItem::SAVE_BUTTON, "Save");
    if (confirmed && confirmSaveName()) return true;

    if (overwritePath.empty()) return false;
    const std::string question = "Overwrite " + overwritePath + "?";
    ImGui::AlignTextToFramePadding();
    ImGui::TextUnformatted(question.c_str());
    ImGui::SameLine();
    const bool yes = ImGui::Button("Yes##OverwriteYes");
    record(ShownItem::OVERWRITE_YES, question);
    ImGui::SameLine();
    const bool no = ImGui::Button("No##OverwriteNo");
    record(ShownItem::OVERWRITE_NO, "No");
    if (no) overwritePath.clear();
    if (!yes) return false;
    CopyPath(chosenPath, sizeof(chosenPath), overwritePath.c_str());
    overwritePath.clear();
    return true;
}

const char* Dialog::saveFileDialog(bool dialogTriggerButton, const char* directory, const char* startName,
                                   const char* const* formatLabels, const char* const* formatExtensions,
                                   int formatCount, int* format, const char* windowTitle)
{
    Internal& I = *internal;
    I.saveMode = true;
    I.formatLabels = formatLabels;
    I.formatExtensions = formatExtensions;
    const bool hasFormats = formatLabels && format && formatCount > 0;
    I.formatCount = hasFormats ? formatCount : 0;
    I.format = format;
    if (hasFormats && (*format < 0 || *format >= formatCount)) *format = 0;
    if (dialogTriggerButton) {
        CopyPath(I.saveName, sizeof(I.saveName), startName ? startName : "");
        I.overwritePath.clear();
        I.focusSaveName = true;
    }
    return chooseFileDialog(dialogTriggerButton, directory, nullptr,
                            windowTitle ? windowTitle : "Please choose/create a file for saving");
}

const char* Dialog::getChosenPath() const { return internal->chosenPath; }

const char* Dialog::getLastDirectory() const { return internal->currentFolder; }

bool Dialog::hasUserJustCancelledDialog() const { return internal->userHasJustCancelledDialog; }

const std::vector<ShownItem>& Dialog::getShownItems() const { return internal->shownItems; }

}  // namespace FileChooser
