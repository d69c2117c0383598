#include "ui/folder_history.h"

#include "ui/folder_listing.h"

namespace FileChooser {

bool History::switchTo(const std::string& folder)
{
    const FolderInfo* cur = current();
    if (cur && cur->currentFolder == folder)
        return false;
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

}  // namespace FileChooser
