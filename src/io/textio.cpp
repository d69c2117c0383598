#include "io/textio.h"

#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <new>

namespace textio {

int OpenRegularFile(const std::string& path, std::uint64_t& size)
{
    // O_NONBLOCK: opening a FIFO handed over as a structure file must not
    // wait for a writer; it is refused below like any non-regular file.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return -1;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    size = std::uint64_t(st.st_size);
    return fd;
}

bool ReadWholeFile(const std::string& path, std::string& out)
{
    std::uint64_t size = 0;
    const int fd = OpenRegularFile(path, size);
    if (fd < 0)
        return false;
    bool ok = true;
    try {
        out.clear();
        out.reserve(static_cast<std::size_t>(size));
        char buffer[1 << 16];
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0) {
                ok = false;
                break;
            }
            if (n == 0)
                break;
            out.append(buffer, static_cast<std::size_t>(n));
        }
    } catch (const std::bad_alloc&) {
        ok = false;
    }
    ::close(fd);
    return ok;
}

bool IsRegularFile(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool ReadFileHead(const std::string& path, std::size_t most, std::string& out)
{
    out.clear();
    // stat first: opening a FIFO, even without blocking, is already a reader
    // its writer may see
    if (!IsRegularFile(path))
        return false;
    std::uint64_t size = 0;
    const int fd = OpenRegularFile(path, size);
    if (fd < 0)
        return false;
    bool ok = true;
    try {
        out.resize(ok ? most : 0);
        std::size_t got = 0;
        while (ok && got < most) {
            const ssize_t n = ::read(fd, &out[got], most - got);
            if (n < 0)
                ok = false;
            if (n <= 0)
                break;
            got += std::size_t(n);
        }
        out.resize(got);
    } catch (const std::bad_alloc&) {
        ok = false;
    }
    ::close(fd);
    return ok;
}

bool LineCursor::Next(std::string_view& line)
{
    if (pos_ >= text_.size())
        return false;
    const std::size_t end = text_.find('\n', pos_);
    if (end == std::string_view::npos) {
        line = text_.substr(pos_);
        pos_ = text_.size();
    } else {
        line = text_.substr(pos_, end - pos_);
        pos_ = end + 1;
    }
    ++line_number_;
    return true;
}

template <typename T>
bool ScanNumber(const char*& p, const char* end, T& value)
{
    while (p < end && IsSpace(*p))
        ++p;
    const char* const start = p;
    const char* q = p;
    const bool negative = q < end && *q == '-';
    if (q < end && (*q == '+' || *q == '-'))
        ++q;
    if (q >= end || *q == '+' || *q == '-')
        return false;
    T v = 0;
    std::from_chars_result r;
    if (end - q >= 2 && q[0] == '0' && (q[1] == 'x' || q[1] == 'X')) {
        r = std::from_chars(q + 2, end, v, std::chars_format::hex);
        if (r.ec == std::errc::invalid_argument) {  // a bare "0x" is the number 0
            v = 0;
            r.ptr = q + 1;
            r.ec = std::errc();
        }
    } else {
        r = std::from_chars(q, end, v);
        // Fortran programs write the exponent with a D (7.4D-01): read it as
        // an E rather than stop at the D and take 7.4
        if (r.ec != std::errc::invalid_argument && r.ptr < end && (*r.ptr == 'D' || *r.ptr == 'd')) {
            const char* e = r.ptr + 1;
            if (e < end && (*e == '+' || *e == '-'))
                ++e;
            if (e < end && *e >= '0' && *e <= '9') {
                while (e < end && *e >= '0' && *e <= '9')
                    ++e;
                std::string token(start, e);
                token[std::size_t(r.ptr - start)] = 'e';
                const char* t = token.c_str();
                value = sizeof(T) == sizeof(float) ? T(std::strtof(t, nullptr)) : T(std::strtod(t, nullptr));
                p = e;
                return true;
            }
        }
    }
    if (r.ec == std::errc::invalid_argument)
        return false;
    if (r.ec == std::errc::result_out_of_range) {
        // rare: let the C library decide between infinity and zero
        const std::string token(start, r.ptr);
        value = sizeof(T) == sizeof(float) ? T(std::strtof(token.c_str(), nullptr))
                                           : T(std::strtod(token.c_str(), nullptr));
    } else {
        value = negative ? -v : v;
    }
    p = r.ptr;
    return true;
}

template bool ScanNumber<float>(const char*&, const char*, float&);
template bool ScanNumber<double>(const char*&, const char*, double&);

void AppendShortest(std::string& out, double value, int width, bool separate)
{
    char text[64];  // the shortest form of any double is at most 24 characters
    const float single = static_cast<float>(value);
    const bool is_float = std::isfinite(value) && double(single) == value;
    const auto r =
        is_float ? std::to_chars(text, text + sizeof text, single) : std::to_chars(text, text + sizeof text, value);
    const std::size_t length = std::size_t(r.ptr - text);
    if (length < std::size_t(width))
        out.append(std::size_t(width) - length, ' ');
    else if (separate)
        out.push_back(' ');
    out.append(text, length);
}

namespace {

constexpr char SCRATCH_PREFIX[] = ".tesk-";
constexpr std::size_t SCRATCH_RANDOM = 6;  // mkstemp's XXXXXX
// a scratch file this much older than now belongs to no save still running
constexpr std::time_t SCRATCH_AGE = 2;

std::string FolderOfPath(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
}

// Removes scratch files that saves killed before their rename left behind.
// A save holds a lock on its scratch file while it writes: a file nobody
// holds and that is not brand new is stale.
void RemoveStaleScratch(const std::string& folder)
{
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr)
        return;
    const std::time_t now = std::time(nullptr);
    while (const dirent* entry = ::readdir(dir)) {
        if (!IsScratchName(entry->d_name))
            continue;
        const std::string path = (folder == "." ? std::string() : folder) + entry->d_name;
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0)
            continue;
        struct stat st;
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
            st.st_mtime + SCRATCH_AGE < now && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
            ::unlink(path.c_str());
        ::close(fd);
    }
    ::closedir(dir);
}

bool Fail(std::string* why, const char* reason)
{
    if (why != nullptr)
        *why = reason;
    return false;
}

}  // namespace

bool IsScratchName(std::string_view name)
{
    const std::size_t prefix = sizeof SCRATCH_PREFIX - 1;
    if (name.size() < prefix + SCRATCH_RANDOM)
        return false;
    const std::string_view tail = name.substr(name.size() - prefix - SCRATCH_RANDOM);
    if (tail.substr(0, prefix) != SCRATCH_PREFIX)
        return false;
    for (char c : tail.substr(prefix))
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
            return false;
    return true;
}

bool WriteFileAtomically(const std::string& path, const std::string& content, std::string* why)
{
    std::string target, temp, folder;
    try {
        // Saving over a symbolic link writes the file it points to, so the
        // link stays a link (a chain of links is followed to its end).
        target = path;
        for (int hops = 0; hops < 40; ++hops) {
            struct stat st;
            if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
                break;
            std::string link(4096, '\0');
            const ssize_t n = ::readlink(target.c_str(), link.data(), link.size());
            if (n <= 0 || std::size_t(n) >= link.size())
                return Fail(why, "its symbolic link cannot be followed");
            link.resize(std::size_t(n));
            const std::size_t slash = target.rfind('/');
            target = (link[0] == '/' || slash == std::string::npos) ? link : target.substr(0, slash + 1) + link;
        }
        // The temporary file gets a short name of its own in the same folder:
        // a name as long as the file system allows has no room for a suffix.
        folder = FolderOfPath(target);
        temp = (folder == "." ? std::string() : folder) + SCRATCH_PREFIX + "XXXXXX";
    } catch (const std::bad_alloc&) {
        return Fail(why, "out of memory");
    }
    // an existing target must be a regular file we may write: a rename over
    // a device or a FIFO would replace it with a plain file
    struct stat old;
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode))
        return Fail(why, "it is not a regular file");
    if (exists && (::access(target.c_str(), W_OK) != 0 || (old.st_mode & 0222) == 0))
        return Fail(why, "it is read-only");
    RemoveStaleScratch(folder);
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return Fail(why, "its folder cannot be written");
    ::flock(fd, LOCK_EX);  // marks the scratch file as in use (see RemoveStaleScratch)
    // an existing file keeps its permission bits (and owner, where allowed);
    // a new one gets what a plain new file would, not mkstemp's 0600
    if (exists) {
        ::fchmod(fd, old.st_mode & 07777);
        if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
            // another user's file: it becomes ours, with its bits
        }
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
    }
    std::size_t done = 0;
    bool ok = true;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n <= 0) {
            ok = false;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    // on disk before the rename: a crash must leave the old file or the new one
    if (ok && ::fsync(fd) != 0)
        ok = false;
    if (ok && std::rename(temp.c_str(), target.c_str()) != 0)
        ok = false;
    if (!ok)
        ::unlink(temp.c_str());
    ::close(fd);  // after fsync a close has nothing left to report
    if (!ok)
        return Fail(why, "the disk refused the write (full?)");
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);  // the rename itself
        ::close(dir);
    }
    return true;
}

void AppendLine(std::string& out, std::string_view line)
{
    while (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    out.append(line.data(), line.size());
    out.push_back('\n');
}

std::string Quoted(std::string_view text)
{
    while (!text.empty() && IsSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsSpace(text.back()))
        text.remove_suffix(1);
    if (text.size() > 60)
        return "\"" + std::string(text.substr(0, 57)) + "...\"";
    return "\"" + std::string(text) + "\"";
}

std::string_view FirstWord(std::string_view line)
{
    std::size_t i = 0;
    while (i < line.size() && IsSpace(line[i]))
        ++i;
    std::size_t j = i;
    while (j < line.size() && !IsSpace(line[j]))
        ++j;
    return line.substr(i, j - i);
}

bool ParseCountLine(std::string_view line, long& count)
{
    const std::string text(line);
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 0);
    if (end == text.c_str() || errno == ERANGE || value > INT_MAX || value < INT_MIN)
        return false;
    count = value;
    return true;
}

}  // namespace textio
