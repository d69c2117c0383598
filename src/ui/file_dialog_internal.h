// The state of one file dialog, shared by its units: browsing
// (file_dialog.cpp) and the save row (file_dialog_save.cpp).
#ifndef TESK_UI_FILE_DIALOG_INTERNAL_H
#define TESK_UI_FILE_DIALOG_INTERNAL_H

#include <algorithm>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "ui/file_dialog.h"
#include "ui/folder_history.h"

namespace FileChooser {

// Copies `src` into `dst` of `size` bytes; false (and `dst` untouched) when
// it does not fit, so a path is never silently cut.
bool CopyPath(char* dst, size_t size, const char* src);

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
    SortOrder order;
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
    DialogOptions options;

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
        if (!history.switchTo(folder))
            return;
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
        if (extensionFilter.empty())
            return true;
        std::string ext = Lower(Extension(name));
        size_t start = 0;
        while (start <= extensionFilter.size()) {
            size_t end = extensionFilter.find(';', start);
            if (end == std::string::npos)
                end = extensionFilter.size();
            if (extensionFilter.compare(start, end - start, ext) == 0 && end > start)
                return true;
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
            if (const FolderInfo* cur = history.current())
                currentSplitPath = SplitPath(cur->fullFolder);
        } catch (const std::exception&) {
            freeLists();
        }
        totalNumBrowsingEntries = static_cast<int>(dirs.size() + files.size());
        shownStale = true;
        if (listedFolder != currentFolder)
            scrollToTop = true;
        listedFolder = currentFolder;
    }

    // Puts the entries read last in `order`. A new order of
    // the same folder needs no second reading of it, only the status once.
    void sortLists()
    {
        if (NeedsStatus(order)) {
            ReadStatus(currentFolder, dirEntries);
            ReadStatus(currentFolder, fileEntries);
        }
        SortEntries(dirEntries, order, true);
        SortEntries(fileEntries, order, false);
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
        if (!forceRescan)
            return;
        forceRescan = false;
        readLists();
    }

    void openAfresh(const char* directory, const char* windowTitle, const ImVec2& windowSize, const ImVec2& windowPos);
    void drawHistoryAndLocation();
    void drawPathButtons();
    void drawKnownFolders();
    void drawFilterAndSorting();
    bool drawList();     // true when a file was chosen
    bool drawSaveRow();  // true when the path to save to was confirmed
    bool confirmSaveName();
    void changeFormat(int n);
};

}  // namespace FileChooser

#endif
