// The folders a file chooser visited, for its back and forward buttons. Each
// entry remembers the deepest folder of its line of folders, so that after
// going up with a path button the deeper components stay on the row.
#ifndef TESK_UI_FOLDER_HISTORY_H
#define TESK_UI_FOLDER_HISTORY_H

#include <string>
#include <vector>

namespace FileChooser {

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
    bool switchTo(const std::string& folder);
};

}  // namespace FileChooser

#endif
