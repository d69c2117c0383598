#include "io/text_source.h"

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include "io/format_registry.h"
#include "io/textio.h"

namespace io {

namespace {

constexpr std::size_t CHUNK = std::size_t(1) << 20;

// Only regular files: a FIFO or a device would block or never end.
bool IsRegularFile(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

bool CheckInput(const std::string& path, Refusal& refusal)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        refusal = {0, errno == ENOENT ? "no such file" : "cannot be reached"};
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        refusal = {0, "is a folder"};
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        refusal = {0, "is not a regular file"};
        return false;
    }
    if (::access(path.c_str(), R_OK) != 0) {
        refusal = {0, "cannot be read (no permission)"};
        return false;
    }
    return true;
}

bool ReadInput(const std::string& path, std::string& out, Refusal& refusal)
{
    if (!IsRegularFile(path)) {
        refusal = {0, "not a regular file that can be read"};
        return false;
    }
    if (!IsGz(path)) {
        if (!textio::ReadWholeFile(path, out)) {
            refusal = {0, "cannot be read"};
            return false;
        }
        return true;
    }
    GzInput in;
    if (!in.Open(path)) {
        refusal = {0, "cannot be opened"};
        return false;
    }
    out.clear();
    std::string chunk(CHUNK, '\0');
    for (;;) {
        const long long n = in.ReadAt(out.size(), &chunk[0], chunk.size());
        if (n < 0) {
            refusal = {0, "is not a whole gzip file"};
            return false;
        }
        if (n == 0)
            break;
        out.append(chunk, 0, std::size_t(n));
    }
    return true;
}

bool ReadInputHead(const std::string& path, std::size_t bytes, std::string& out)
{
    out.clear();
    if (!IsRegularFile(path))
        return false;
    if (IsGz(path)) {
        GzInput in;
        if (!in.Open(path))
            return false;
        out.resize(bytes);
        const long long n = in.ReadAt(0, &out[0], bytes);
        out.resize(n > 0 ? std::size_t(n) : 0);
        return n >= 0;
    }
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr)
        return false;
    out.resize(bytes);
    out.resize(std::fread(&out[0], 1, bytes, f));
    std::fclose(f);
    return true;
}

GzInput::~GzInput()
{
    Close();
}

bool GzInput::Open(const std::string& path)
{
    Close();
    if (!IsRegularFile(path))
        return false;
    gzFile f = gzopen(path.c_str(), "rb");
    if (f == nullptr)
        return false;
    gzbuffer(f, 1 << 17);
    file_ = f;
    position_ = 0;
    at_end_ = false;
    return true;
}

void GzInput::Close()
{
    if (file_ != nullptr)
        gzclose(static_cast<gzFile>(file_));
    file_ = nullptr;
}

long long GzInput::ReadAt(std::uint64_t at, char* to, std::size_t size)
{
    gzFile f = static_cast<gzFile>(file_);
    if (f == nullptr)
        return -1;
    if (at != position_) {
        // zlib skips forward by decompressing, and backward by starting over
        if (gzseek(f, z_off_t(at), SEEK_SET) < 0)
            return -1;
        position_ = at;
        at_end_ = false;
    }
    std::size_t got = 0;
    while (got < size) {
        const unsigned want = unsigned(std::min<std::size_t>(size - got, 1u << 30));
        const int n = gzread(f, to + got, want);
        if (n < 0)
            return -1;
        if (n == 0) {
            int code = Z_OK;
            gzerror(f, &code);
            if (code != Z_OK && code != Z_BUF_ERROR)
                return -1;
            at_end_ = true;
            break;
        }
        got += std::size_t(n);
    }
    position_ += got;
    return static_cast<long long>(got);
}

void SplitWords(std::string_view line, std::vector<std::string_view>& words)
{
    words.clear();
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && textio::IsSpace(line[i]))
            ++i;
        const std::size_t start = i;
        while (i < line.size() && !textio::IsSpace(line[i]))
            ++i;
        if (i > start)
            words.push_back(line.substr(start, i - start));
    }
}

bool ParseDouble(std::string_view word, double& value)
{
    const char* p = word.data();
    const char* const end = word.data() + word.size();
    return textio::ScanNumber(p, end, value) && p == end;
}

bool ParseLong(std::string_view word, long long& value)
{
    if (!word.empty() && word[0] == '+')
        word.remove_prefix(1);
    const auto r = std::from_chars(word.data(), word.data() + word.size(), value);
    return r.ec == std::errc() && r.ptr == word.data() + word.size();
}

std::string_view Trim(std::string_view line)
{
    while (!line.empty() && textio::IsSpace(line.front()))
        line.remove_prefix(1);
    while (!line.empty() && textio::IsSpace(line.back()))
        line.remove_suffix(1);
    return line;
}

std::string Lower(std::string_view text)
{
    // ASCII only: the same under every locale (GLFW sets the user's)
    std::string s(text);
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::string FolderOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace io
