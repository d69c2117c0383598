// What the file chooser shows of the file system, without any drawing: the
// entries of one folder in a chosen order, paths split and joined, and the
// user's well-known folders.
#ifndef TESK_UI_FOLDER_LISTING_H
#define TESK_UI_FOLDER_LISTING_H

#include <string>
#include <vector>

#include "io/text_source.h"

namespace FileChooser {

// Every path the dialog keeps or hands out fits in this many bytes,
// terminator included; longer paths are refused.
constexpr int MAX_PATH_BYTES = 16384;

enum class SortKey { Name, Time, Size, Type };

struct SortOrder {
    SortKey key = SortKey::Name;
    bool is_descending = false;
};

// One listed name, with its status once an order needs it.
struct Entry {
    std::string name;
    std::string folded;  // lower-cased once: the sort compares it many times
    bool has_status = false;
    long long mtime = 0, size = 0;
};

// The full path of `name` inside `folder` ("/" + name for the root).
std::string JoinPath(const std::string& folder, const std::string& name);
// The components of an absolute path: "/" first, then each folder name.
std::vector<std::string> SplitPath(const std::string& path);
// An existing folder whose path fits MAX_PATH_BYTES.
bool IsFolder(const std::string& path);
// Absolute resolved form of an existing folder; empty when it cannot be had.
std::string ResolveFolder(const std::string& path);
// "path" -> ".xyz" (the last dot on), "" without a dot.
const char* Extension(const std::string& name);
using io::Lower;  // file names are compared without case

// Reads `folder` once into its listed subfolders and regular files, in no
// particular order, with their status when `with_status`. Dot-names, names
// ending with "~", symbolic links, devices and entries of unreported type
// are left out, and so is every entry whose full path would not fit
// MAX_PATH_BYTES. False (and empty lists) when the folder cannot be read.
bool ReadFolder(const char* folder, bool with_status, std::vector<Entry>& folders, std::vector<Entry>& files);
// Reads the status of every entry of `folder` that lacks one.
void ReadStatus(const char* folder, std::vector<Entry>& entries);
// Whether `order` needs the entries' status.
bool NeedsStatus(SortOrder order);
// Ascending by the key with the name as tie-break, so that every listing
// has the same order; descending is the exact reverse. Folders have no size
// or type: they keep name order for those.
void SortEntries(std::vector<Entry>& entries, SortOrder order, bool are_folders);
// The sorted names of the subfolders (`want_folders`) or files of `folder`.
bool ListFolder(const char* folder, bool want_folders, SortOrder order, std::vector<std::string>& names);

// The home folder and its usual subfolders (Desktop, Documents, ...), then
// the folders of the mount points; each once, resolved.
struct KnownFolder {
    std::string path;
    std::string name;
};
struct KnownFolders {
    std::vector<KnownFolder> folders;
    int user_folder_count = 0;  // the home folder and its subfolders come first
};
KnownFolders DetectKnownFolders();

}  // namespace FileChooser

#endif
