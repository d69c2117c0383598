// The file chooser: a modal popup that lists one folder at a time and
// returns the path of the file the user clicks, in that frame only.
#include "ui/file_dialog.h"

#include <imgui_internal.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <tuple>

#include "file_dialog_internal.h"

namespace FileChooser {

ImVec2 Dialog::WindowSize(600, 400);
ImVec4 Dialog::WindowLTRBOffsets(0, 0, 0, 0);
ImGuiWindowFlags Dialog::ExtraWindowFlags = 0;
bool Dialog::WrapMode = true;
Dialog::DrawIconCallback Dialog::DrawFileIconCallback = nullptr;
Dialog::DrawIconCallback Dialog::DrawFolderIconCallback = nullptr;

bool CopyPath(char* dst, size_t size, const char* src)
{
    size_t n = strnlen(src, size);
    if (n >= size)
        return false;
    memcpy(dst, src, n + 1);
    return true;
}

namespace {

// Found once on first use and shared by every dialog; again at each opening
// for a dialog that asks.
const KnownFolders& Known(bool detect_again)
{
    static KnownFolders known = DetectKnownFolders();
    if (detect_again)
        known = DetectKnownFolders();
    return known;
}

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
    return std::search(name.begin(), name.end(), b, e, [&](char x, char y) { return fold(x) == fold(y); }) !=
           name.end();
}

// The text filter's rule: a word with a leading minus excludes the names
// holding it; any other word includes them; no including word lets all pass.
bool PassesFilter(const ImGuiTextFilter& filter, const std::string& name)
{
    bool anyInclude = false;
    for (const ImGuiTextFilter::ImGuiTextRange& f : filter.Filters) {
        if (f.empty())
            continue;
        if (f.b[0] == '-') {
            if (f.e - f.b > 1 && Contains(name, f.b + 1, f.e))
                return false;
        } else {
            anyInclude = true;
            if (Contains(name, f.b, f.e))
                return true;
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
        ImGui::GetWindowDrawList()->AddText(ImVec2(at.x + pad.x, at.y + pad.y), ImGui::GetColorU32(ImGuiCol_Text),
                                            begin, end);
    }
    return pressed;
}

}  // namespace

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
            if (slash != std::string::npos)
                start = ResolveFolder(slash == 0 ? std::string("/") : dir.substr(0, slash));
        }
    }
    if (start.empty())
        start = ResolveFolder("./");
    if (start.empty())
        start = "/";  // the working folder is gone
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

    if (options.detect_known_folders_at_each_opening)
        Known(true);

    ImGui::OpenPopup(wndTitle);
    forceSetWindowPositionAndSize = 2;
}

void Dialog::Internal::drawHistoryAndLocation()
{
    const ImGuiStyle& style = ImGui::GetStyle();
    const bool canBack = history.canGoBack();
    const bool canForward = history.canGoForward();
    ImVec4 dim = style.Colors[ImGuiCol_TextDisabled];

    if (!canBack)
        ImGui::PushStyleColor(ImGuiCol_Text, dim);
    bool back = ImGui::Button("<");
    if (!canBack)
        ImGui::PopStyleColor();
    record(ShownItem::HISTORY_BACK, "<", false, canBack);
    ImGui::SameLine();
    if (!canForward)
        ImGui::PushStyleColor(ImGuiCol_Text, dim);
    bool forward = ImGui::Button(">");
    if (!canForward)
        ImGui::PopStyleColor();
    record(ShownItem::HISTORY_FORWARD, ">", false, canForward);
    if (back && canBack)
        showHistoryEntry(history.currentInfoIndex - 1);
    else if (forward && canForward)
        showHistoryEntry(history.currentInfoIndex + 1);

    ImGui::SameLine();
    const bool wasPressed = editLocationCheckButtonPressed;
    if (wasPressed)
        ImGui::PushStyleColor(ImGuiCol_Button, style.Colors[ImGuiCol_ButtonActive]);
    bool toggled = ImGui::Button("L##EditLocationCheckButton");
    if (wasPressed)
        ImGui::PopStyleColor();
    record(ShownItem::EDIT_LOCATION_BUTTON, "L", wasPressed);
    if (toggled) {
        editLocationCheckButtonPressed = !editLocationCheckButtonPressed;
        if (editLocationCheckButtonPressed) {
            CopyPath(editLocationInputText, sizeof(editLocationInputText), currentFolder);
            editLocationJustOpened = true;
        }
    }
    if (!editLocationCheckButtonPressed)
        return;

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
    if (!entered)
        return;

    std::string typed(editLocationInputText);
    const bool hadText = !typed.empty();
    while (!typed.empty() && (typed.back() == '/' || typed.back() == '\\'))
        typed.pop_back();
    if (typed.empty() && hadText)
        typed = "/";  // only slashes: the root, not an empty text
    if (typed.empty()) {
        editLocationCheckButtonPressed = false;
        return;
    }
    if (typed[0] != '/')
        typed = JoinPath(currentFolder, typed);  // relative to the folder shown
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
    if (!cur)
        return;
    const ImGuiStyle& style = ImGui::GetStyle();
    const float right = ImGui::GetWindowPos().x + ImGui::GetWindowContentRegionMax().x;
    int clicked = -1;
    for (size_t i = 0; i < currentSplitPath.size(); ++i) {
        const std::string& label = currentSplitPath[i];
        if (i > 0) {
            float width = ImGui::CalcTextSize(label.c_str(), nullptr, false).x + style.FramePadding.x * 2.0f;
            ImGui::SameLine();
            if (WrapMode && ImGui::GetCursorScreenPos().x + width > right)
                ImGui::NewLine();
        }
        const bool current = static_cast<int>(i) == cur->splitPathIndex;
        if (current)
            ImGui::PushStyleColor(ImGuiCol_Button, style.Colors[ImGuiCol_ButtonActive]);
        ImGui::PushID("##path");
        ImGui::PushID(static_cast<int>(i));
        if (NameButton(label, false))
            clicked = static_cast<int>(i);
        ImGui::PopID();
        ImGui::PopID();
        if (current)
            ImGui::PopStyleColor();
        record(ShownItem::PATH_BUTTON, label, current);
    }
    if (clicked >= 0 && clicked != cur->splitPathIndex) {
        std::string p = currentSplitPath[0];
        for (int i = 1; i <= clicked; ++i)
            p = JoinPath(p, currentSplitPath[i]);
        showFolder(p);
    }
}

void Dialog::Internal::drawKnownFolders()
{
    const KnownFolders& known = Known(false);
    if (!options.has_known_folders || known.folders.empty())
        return;
    bool opened = ImGui::CollapsingHeader("Known Directories##filechooser_UserKnownDirectories");
    record(ShownItem::KNOWN_FOLDERS_HEADER, "Known Directories", opened);
    if (!opened)
        return;
    int clicked = -1;
    for (size_t i = 0; i < known.folders.size(); ++i) {
        // A new line after every seventh user folder; drives follow on.
        const bool newLine = i > 0 && i % 7 == 0 && static_cast<int>(i) <= known.user_folder_count;
        if (i > 0 && !newLine)
            ImGui::SameLine();
        ImGui::PushID("##known");
        ImGui::PushID(static_cast<int>(i));
        if (NameButton(known.folders[i].name, true))
            clicked = static_cast<int>(i);
        ImGui::PopID();
        ImGui::PopID();
        record(ShownItem::KNOWN_FOLDER, known.folders[i].name, known.folders[i].path == currentFolder);
    }
    if (clicked >= 0 && known.folders[clicked].path != currentFolder)
        showFolder(known.folders[clicked].path);
}

void Dialog::Internal::drawFilterAndSorting()
{
    if (options.has_filter) {
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
    const int current = static_cast<int>(order.key);
    int clicked = -1;
    for (int c = 0; c < 4; ++c) {
        ImGui::SameLine();
        if (c == current)
            ImGui::PushStyleColor(ImGuiCol_Button, style.Colors[ImGuiCol_ButtonActive]);
        if (ImGui::SmallButton(criteria[c]))
            clicked = c;
        if (c == current)
            ImGui::PopStyleColor();
        record(ShownItem::SORT_BUTTON, criteria[c], c == current);
    }
    if (clicked >= 0) {
        // the criterion shown again turns the order round; a new one starts ascending
        order = SortOrder{static_cast<SortKey>(clicked), clicked == current && !order.is_descending};
        resort = true;
    }

    if (options.has_display_by && numBrowsingColumns > 1) {
        ImGui::SameLine();
        ImGui::Text("   Display by:");
        ImGui::SameLine();
        const char* label = BrowsingPerRow ? "Row##browsingPerRow" : "Column##browsingPerRow";
        if (ImGui::SmallButton(label))
            BrowsingPerRow = !BrowsingPerRow;
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
            if (PassesFilter(filter, dirNames[i]))
                shown.push_back({true, i});
        for (size_t i = 0; i < fileNames.size(); ++i)
            if (PassesFilter(filter, fileNames[i]))
                shown.push_back({false, i});
    }
    const int total = static_cast<int>(shown.size());

    // Columns from the frame's size: as many lines as fit, a further column
    // only when more than half of one would spill over.
    const ImVec2 avail = ImGui::GetContentRegionAvail();
    const float lineHeight = ImGui::GetTextLineHeightWithSpacing();
    int rows = avail.y > 0 && lineHeight > 0 ? static_cast<int>(avail.y / lineHeight) : 20;
    if (rows < 1)
        rows = 1;
    int maxColumns = avail.x > 0 ? std::max(static_cast<int>(avail.x / 100.0f), 1) : 6;
    int columns = total / rows + ((total % rows) > rows / 2 ? 1 : 0);
    columns = std::max(columns, 1);
    columns = std::min(columns, maxColumns);
    numBrowsingColumns = columns;
    numBrowsingEntriesPerColumn = (total + columns - 1) / columns;
    if (numBrowsingEntriesPerColumn < 1)
        numBrowsingEntriesPerColumn = 1;

    const ImGuiStyle& style = ImGui::GetStyle();
    const ImVec4 folderTint(0.9f, 0.9f, 0.3f, 1.0f), fileTint(0.7f, 0.7f, 0.7f, 1.0f);
    const ImVec4 textColor = style.Colors[ImGuiCol_Text];

    int chosen = -1, folderClicked = -1;
    if (scrollToTop)
        ImGui::SetNextWindowScroll(ImVec2(0.0f, 0.0f));  // a newly shown folder starts at the top
    scrollToTop = false;
    // in save mode the name row and the overwrite question stay below the list
    const float footer = saveMode ? ImGui::GetFrameHeightWithSpacing() * 2.0f : 0.0f;
    ImGui::BeginChild("##filechooser_browsingFrame", ImVec2(0, -footer), true, ImGuiWindowFlags_HorizontalScrollbar);
    if (columns > 1)
        ImGui::Columns(columns, nullptr, false);
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
                    ImGui::PushStyleColor(ImGuiCol_ButtonHovered,
                                          Tinted(style.Colors[ImGuiCol_ButtonHovered], tint, 0.65f));
                    ImGui::PushStyleColor(ImGuiCol_ButtonActive,
                                          Tinted(style.Colors[ImGuiCol_ButtonActive], tint, 0.65f));
                    ImGui::PushStyleColor(ImGuiCol_Text, ImVec4(textColor.x * tint.x, textColor.y * tint.y,
                                                                textColor.z * tint.z, textColor.w));
                    ImGui::PushID(i);
                    if (NameButton(name, true)) {
                        if (s.isFolder)
                            folderClicked = static_cast<int>(s.index);
                        else
                            chosen = static_cast<int>(s.index);
                    }
                    ImGui::PopID();
                    ImGui::PopStyleColor(4);
                    record(s.isFolder ? ShownItem::FOLDER_ENTRY : ShownItem::FILE_ENTRY, name);
                }
                if (columns > 1)
                    ImGui::NextColumn();
            }
        }
    }
    clipper.End();
    if (columns > 1)
        ImGui::Columns(1);
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
    if (folderClicked >= 0)
        showFolder(dirs[folderClicked]);
    return false;
}

Dialog::Dialog(const DialogOptions& options)
{
    static int numberOfDialogs = 0;
    internal = new Internal();
    internal->uniqueNumber = numberOfDialogs++;
    internal->options = options;
}

Dialog::~Dialog()
{
    delete internal;
}

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
    if (fileFilterExtensionString &&
        strnlen(fileFilterExtensionString, MAX_PATH_BYTES) < static_cast<size_t>(MAX_PATH_BYTES))
        I.extensionFilter = Lower(fileFilterExtensionString);

    Known(false);
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
        if (I.saveMode)
            chosen = I.drawSaveRow();
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

const char* Dialog::getChosenPath() const
{
    return internal->chosenPath;
}

const char* Dialog::getLastDirectory() const
{
    return internal->currentFolder;
}

bool Dialog::hasUserJustCancelledDialog() const
{
    return internal->userHasJustCancelledDialog;
}

const std::vector<ShownItem>& Dialog::getShownItems() const
{
    return internal->shownItems;
}

}  // namespace FileChooser
