// The program's own file chooser: a modal Dear ImGui popup that browses one
// folder at a time and hands back the full path of the file the user clicks.
#ifndef TESK_UI_FILE_DIALOG_H
#define TESK_UI_FILE_DIALOG_H

#include <imgui.h>

#include <string>
#include <vector>

#include "ui/folder_listing.h"

namespace FileChooser {

// One widget the dialog drew in its last frame, with its screen rectangle.
// Lets a caller (and the tests) see what is on screen and where to click.
struct ShownItem {
    enum Kind {
        HISTORY_BACK,
        HISTORY_FORWARD,
        EDIT_LOCATION_BUTTON,
        EDIT_LOCATION_FIELD,
        PATH_BUTTON,
        KNOWN_FOLDERS_HEADER,
        KNOWN_FOLDER,
        FILTERING_HEADER,
        FILTER_FIELD,
        SORT_BUTTON,
        DISPLAY_BY_BUTTON,
        FOLDER_ENTRY,
        FILE_ENTRY,
        WINDOW,           // the popup itself; its close button sits at the right of the title bar
        SAVE_NAME_FIELD,  // save mode: the file name, the output format and the Save button
        SAVE_FORMAT,
        SAVE_BUTTON,
        OVERWRITE_YES,  // "Yes" to the question asked before a file is replaced; its text is the question
        OVERWRITE_NO
    };
    Kind kind;
    std::string text;  // shown label (a name, a path component, ...)
    ImVec2 min, max;   // screen rectangle
    bool highlighted;  // current path component, current sort criterion
    bool enabled;      // history buttons: an entry exists that way
};

// The sections a dialog shows.
struct DialogOptions {
    bool has_known_folders = true;  // the home folder, its usual subfolders, mounted drives
    bool has_filter = true;         // a text filter over the names
    bool has_display_by = false;    // entries by row or by column
    bool detect_known_folders_at_each_opening = false;
};

class Dialog {
public:
    // Painter for an icon left of an entry; none is installed by the program.
    typedef void (*DrawIconCallback)(const char* fullPath, const ImVec2& pos, float size);

    static ImVec2 WindowSize;         // used when the caller gives no size
    static ImVec4 WindowLTRBOffsets;  // margins that keep the window in the display
    static ImGuiWindowFlags ExtraWindowFlags;
    static bool WrapMode;  // path buttons wrap at the window edge
    static DrawIconCallback DrawFileIconCallback;
    static DrawIconCallback DrawFolderIconCallback;

    explicit Dialog(const DialogOptions& options = DialogOptions());
    ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Call once per frame. The trigger opens the dialog afresh in `directory`
    // (a folder, or a file whose folder is used). Returns the chosen file's
    // full path in the frame of the click only, else the empty text.
    // `fileFilterExtensionString` is like ".xyz;.pdb" (null: every file).
    // A size or position that is not positive selects the default.
    // `windowAlpha` is accepted and not used.
    const char* chooseFileDialog(bool dialogTriggerButton, const char* directory = nullptr,
                                 const char* fileFilterExtensionString = nullptr, const char* windowTitle = nullptr,
                                 const ImVec2& windowSize = ImVec2(-1, -1), const ImVec2& windowPos = ImVec2(-1, -1),
                                 const float windowAlpha = 0.875f);

    // The same dialog for saving: a name field (starting with `startName`,
    // selected and taking the keys when the dialog opens),
    // an output format list when `formatCount` > 0 (`*format` is the chosen
    // entry; a name ending in one format's extension takes the next one's
    // when the format changes) and a Save button. Clicking a listed file puts
    // its name in the field; a name that exists as a file asks "Overwrite
    // %s?" first. Returns the full path to write in the frame it is
    // confirmed only, else the empty text.
    const char* saveFileDialog(bool dialogTriggerButton, const char* directory, const char* startName,
                               const char* const* formatLabels, const char* const* formatExtensions, int formatCount,
                               int* format, const char* windowTitle = nullptr);

    const char* getChosenPath() const;     // empty before a choice and after each trigger
    const char* getLastDirectory() const;  // the folder shown last
    bool hasUserJustCancelledDialog() const;

    // The widgets drawn in the last frame the dialog was shown.
    const std::vector<ShownItem>& getShownItems() const;

    struct Internal;

private:
    Internal* internal;
};

}  // namespace FileChooser

#endif
