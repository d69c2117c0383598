// Folder listings for the file chooser: read once, sorted by name, time,
// size or type without reading the folder again.
#include "ui/folder_listing.h"

#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <exception>

namespace FileChooser {

namespace {

bool FitsPath(const std::string& s)
{
    return s.size() < static_cast<size_t>(MAX_PATH_BYTES);
}

bool SkipName(const char* name)
{
    size_t n = strlen(name);
    return n == 0 || name[0] == '.' || name[n - 1] == '~';
}

bool LessThan(const Entry& a, const Entry& b, SortKey key)
{
    if (key == SortKey::Time || key == SortKey::Size) {
        if (a.has_status != b.has_status)
            return !a.has_status;  // unreadable first
        const long long ka = key == SortKey::Time ? a.mtime : a.size, kb = key == SortKey::Time ? b.mtime : b.size;
        if (ka != kb)
            return ka < kb;
    } else if (key == SortKey::Type) {
        int c = strcmp(Extension(a.folded), Extension(b.folded));
        if (c != 0)
            return c < 0;
    }
    if (a.folded != b.folded)
        return a.folded < b.folded;
    return a.name < b.name;
}

void AddKnownFolder(KnownFolders& known, const std::string& path, const std::string& name)
{
    for (const KnownFolder& k : known.folders)
        if (k.path == path)
            return;
    known.folders.push_back({path, name});
}

}  // namespace

std::string JoinPath(const std::string& folder, const std::string& name)
{
    std::string out = folder;
    while (out.size() > 1 && out.back() == '/')
        out.pop_back();
    if (out.empty() || out.back() != '/')
        out += '/';
    out += name;
    return out;
}

std::vector<std::string> SplitPath(const std::string& path)
{
    std::vector<std::string> parts;
    if (path.empty())
        return parts;
    size_t i = 0;
    if (path[0] == '/') {
        parts.push_back("/");
        i = 1;
    }
    while (i < path.size()) {
        size_t j = path.find('/', i);
        if (j == std::string::npos)
            j = path.size();
        if (j > i)
            parts.push_back(path.substr(i, j - i));
        i = j + 1;
    }
    return parts;
}

bool IsFolder(const std::string& path)
{
    struct stat st;
    return !path.empty() && FitsPath(path) && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string ResolveFolder(const std::string& path)
{
    if (!IsFolder(path))
        return std::string();
    char* resolved = realpath(path.c_str(), nullptr);
    if (!resolved)
        return std::string();
    std::string out(resolved);
    free(resolved);
    if (!FitsPath(out) || !IsFolder(out))
        return std::string();
    return out;
}

const char* Extension(const std::string& name)
{
    size_t dot = name.rfind('.');
    return dot == std::string::npos ? "" : name.c_str() + dot;
}

void SortEntries(std::vector<Entry>& entries, SortOrder order, bool are_folders)
{
    if (are_folders && (order.key == SortKey::Size || order.key == SortKey::Type))
        order.key = SortKey::Name;
    std::sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
        return order.is_descending ? LessThan(b, a, order.key) : LessThan(a, b, order.key);
    });
}

bool NeedsStatus(SortOrder order)
{
    return order.key == SortKey::Time || order.key == SortKey::Size;
}

void ReadStatus(const char* folder, std::vector<Entry>& entries)
{
    DIR* d = opendir(folder);
    if (!d)
        return;
    for (Entry& e : entries) {
        struct stat st;
        if (e.has_status || fstatat(dirfd(d), e.name.c_str(), &st, 0) != 0)
            continue;
        e.has_status = true;
        e.mtime = static_cast<long long>(st.st_mtime);
        e.size = static_cast<long long>(st.st_size);
    }
    closedir(d);
}

bool ReadFolder(const char* folder, bool with_status, std::vector<Entry>& dirs, std::vector<Entry>& files)
{
    dirs.clear();
    files.clear();
    if (!folder || strnlen(folder, MAX_PATH_BYTES) >= static_cast<size_t>(MAX_PATH_BYTES))
        return false;
    DIR* d = opendir(folder);
    if (!d)
        return false;
    const size_t folderLength = JoinPath(folder, "").size();
    bool ok = true;
    try {
        while (const struct dirent* e = readdir(d)) {
            const bool isDir = e->d_type == DT_DIR;
            if ((!isDir && e->d_type != DT_REG) || SkipName(e->d_name))
                continue;
            if (folderLength + strlen(e->d_name) >= static_cast<size_t>(MAX_PATH_BYTES))
                continue;  // could not be handed on
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
    if (with_status) {
        ReadStatus(folder, dirs);
        ReadStatus(folder, files);
    }
    return true;
}

bool ListFolder(const char* folder, bool want_folders, SortOrder order, std::vector<std::string>& names)
{
    names.clear();
    std::vector<Entry> dirs, files;
    if (!ReadFolder(folder, NeedsStatus(order), dirs, files))
        return false;
    std::vector<Entry>& entries = want_folders ? dirs : files;
    SortEntries(entries, order, want_folders);
    try {
        names.reserve(entries.size());
        for (Entry& e : entries)
            names.push_back(std::move(e.name));
    } catch (const std::exception&) {
        names.clear();
        return false;
    }
    return true;
}

KnownFolders DetectKnownFolders()
{
    KnownFolders known;
    std::string home;
    const char* env = getenv("HOME");
    if (env && *env)
        home = ResolveFolder(env);
    if (home.empty()) {
        const struct passwd* pw = getpwuid(getuid());
        if (pw && pw->pw_dir)
            home = ResolveFolder(pw->pw_dir);
    }
    if (home.empty())
        return known;

    AddKnownFolder(known, home, "Home");
    static const char* const userFolders[] = {"Desktop", "Documents", "Downloads", "Music", "Pictures", "Videos"};
    for (const char* sub : userFolders) {
        std::string p = ResolveFolder(JoinPath(home, sub));
        if (!p.empty())
            AddKnownFolder(known, p, sub);
    }
    known.user_folder_count = static_cast<int>(known.folders.size());

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
        ListFolder(location.c_str(), true, SortOrder(), names);
        for (const std::string& n : names) {
            std::string p = ResolveFolder(JoinPath(location, n));  // same form as the folders shown
            if (!p.empty())
                AddKnownFolder(known, p, n);
        }
    }
    return known;
}

}  // namespace FileChooser
