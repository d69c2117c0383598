#include "io/trajectory.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <string_view>
#include <unistd.h>
#include <utility>

#include "io/format_registry.h"
#include "io/text_source.h"
#include "io/textio.h"

namespace {

constexpr std::size_t CHUNK = std::size_t(1) << 20;

using textio::IsBlank;

bool IsBlankLine(std::string_view line)
{
    for (char c : line)
        if (!IsBlank(c))
            return false;
    return true;
}

// The XYZ count line as its reader takes it ("%i"); 0 when it is none.
long CountOf(std::string_view line)
{
    long count = 0;
    return textio::ParseCountLine(line, count) && count > 0 ? count : 0;
}

// "Direct configuration=     3" (or Cartesian) before each XDATCAR frame;
// a title that merely holds the word is none
bool IsConfigurationLine(std::string_view line)
{
    const std::string_view word = textio::FirstWord(line);
    auto is = [&](std::string_view name) {
        if (word.size() != name.size())
            return false;
        for (std::size_t i = 0; i < name.size(); ++i)
            if ((word[i] | 0x20) != name[i])
                return false;
        return true;
    };
    return (is("direct") || is("cartesian")) && line.find("configuration") != std::string_view::npos;
}

// The sum of an XDATCAR counts line ("4 8"); 0 when it holds anything but
// whole numbers.
std::uint64_t SumOfCounts(std::string_view line)
{
    std::uint64_t sum = 0;
    bool any = false;
    for (std::size_t i = 0; i < line.size();) {
        if (IsBlank(line[i])) {
            ++i;
            continue;
        }
        std::uint64_t v = 0;
        const std::size_t from = i;
        while (i < line.size() && line[i] >= '0' && line[i] <= '9' && v < (std::uint64_t(1) << 40))
            v = v * 10 + std::uint64_t(line[i++] - '0');
        if (i == from || (i < line.size() && !IsBlank(line[i])))
            return 0;
        sum += v;
        any = true;
    }
    return any ? sum : 0;
}

bool IsItem(std::string_view line, std::string_view item)
{
    std::size_t i = 0;
    while (i < line.size() && IsBlank(line[i]))
        ++i;
    return line.substr(i, item.size()) == item;
}

// A gzip file's decompressed size is known only once its end was read.
constexpr std::uint64_t UNKNOWN_SIZE = std::uint64_t(1) << 62;

constexpr int LAMMPS_DUMP = int(io::Format::LammpsDump);

}  // namespace

CTrajectory::~CTrajectory()
{
    Close();
}

long long CTrajectory::ReadAt(std::uint64_t at, char* to, std::size_t size)
{
    if (gz_) {
        const long long n = gz_->ReadAt(at, to, size);
        if (n >= 0 && std::size_t(n) < size && gz_->IsAtEnd())
            u_file_size = at + std::uint64_t(n);
        return n;
    }
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::pread(fd_, to + got, size - got, off_t(at + got));
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        got += std::size_t(n);
    }
    return static_cast<long long>(got);
}

CTrajectory::CTrajectory(const CTrajectory& other)
{
    *this = other;
}

CTrajectory& CTrajectory::operator=(const CTrajectory& other)
{
    if (this != &other) {
        Close();
        path = other.path;
        file_format = other.file_format;
        u_header_size = other.u_header_size;
        u_file_size = other.u_file_size;
        u_frames_end = other.u_frames_end;
        u_vasp_atoms = other.u_vasp_atoms;
        v_frame_start = other.v_frame_start;
        is_indexed = other.is_indexed;
        fd_ = other.fd_ >= 0 ? ::fcntl(other.fd_, F_DUPFD_CLOEXEC, 0) : -1;
        if (other.gz_) {
            gz_ = std::make_unique<io::GzInput>();
            if (!gz_->Open(path))
                gz_.reset();
        }
        scan_ = other.scan_;
        buffer_at_ = 0;
    }
    return *this;
}

CTrajectory::CTrajectory(CTrajectory&& other) noexcept
{
    *this = std::move(other);
}

CTrajectory& CTrajectory::operator=(CTrajectory&& other) noexcept
{
    if (this != &other) {
        Close();
        path = std::move(other.path);
        file_format = other.file_format;
        u_header_size = other.u_header_size;
        u_file_size = other.u_file_size;
        u_frames_end = other.u_frames_end;
        u_vasp_atoms = other.u_vasp_atoms;
        v_frame_start = std::move(other.v_frame_start);
        is_indexed = other.is_indexed;
        fd_ = other.fd_;
        gz_ = std::move(other.gz_);
        scan_ = other.scan_;
        buffer_ = std::move(other.buffer_);
        buffer_at_ = other.buffer_at_;
        other.fd_ = -1;
        other.v_frame_start.clear();
        other.buffer_.clear();
    }
    return *this;
}

void CTrajectory::Close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    gz_.reset();
    v_frame_start.clear();
    buffer_.clear();
    is_indexed = false;
}

bool CTrajectory::Fill(std::uint64_t at)
{
    // keeps what is buffered from `at` on and appends a chunk after it
    if (at < buffer_at_ || at > buffer_at_ + buffer_.size()) {
        buffer_.clear();
        buffer_at_ = at;
    } else {
        buffer_.erase(0, std::size_t(at - buffer_at_));
        buffer_at_ = at;
    }
    const std::uint64_t from = buffer_at_ + buffer_.size();
    if (from >= u_file_size)
        return false;
    const std::size_t want = std::size_t(std::min<std::uint64_t>(CHUNK, u_file_size - from));
    const std::size_t old = buffer_.size();
    buffer_.resize(old + want);
    const long long n = ReadAt(from, &buffer_[old], want);
    const std::size_t got = n > 0 ? std::size_t(n) : 0;
    buffer_.resize(old + got);
    return got > 0;
}

bool CTrajectory::LineAt(std::uint64_t at, std::string& line, std::uint64_t& next)
{
    if (at >= u_file_size)
        return false;
    std::size_t searched = 0;  // bytes of the line already looked at: each is looked at once
    for (;;) {
        if (at >= buffer_at_ && at < buffer_at_ + buffer_.size()) {
            const std::size_t from = std::size_t(at - buffer_at_);
            searched = std::min(searched, buffer_.size() - from);
            const void* nl = std::memchr(buffer_.data() + from + searched, '\n', buffer_.size() - from - searched);
            if (nl != nullptr) {
                const std::size_t end = std::size_t(static_cast<const char*>(nl) - buffer_.data());
                // the buffer may hold a line up to twice the limit: the limit is the line's
                if (end - from > MAX_LINE)
                    return false;
                line.assign(buffer_, from, end - from);
                next = buffer_at_ + end + 1;
                return true;
            }
            if (buffer_.size() - from > MAX_LINE)
                return false;
            if (buffer_at_ + buffer_.size() >= u_file_size) {  // a last line without a line feed
                line.assign(buffer_, from, std::string::npos);
                next = u_file_size;
                return true;
            }
            searched = buffer_.size() - from;
        }
        // a gzip file that just met its end keeps its last line
        if (!Fill(at) &&
            !(at >= buffer_at_ && at < buffer_at_ + buffer_.size() && buffer_at_ + buffer_.size() >= u_file_size))
            return false;
    }
}

bool CTrajectory::SkipLines(std::uint64_t at, std::uint64_t count, std::uint64_t& next)
{
    while (count > 0) {
        if (at >= u_file_size)
            return false;
        if (!(at >= buffer_at_ && at < buffer_at_ + buffer_.size()) && !Fill(at))
            return false;
        const char* p = buffer_.data() + (at - buffer_at_);
        const char* const end = buffer_.data() + buffer_.size();
        while (count > 0) {
            const void* nl = std::memchr(p, '\n', std::size_t(end - p));
            if (nl == nullptr)
                break;
            if (std::size_t(static_cast<const char*>(nl) - p) > MAX_LINE)
                return false;
            p = static_cast<const char*>(nl) + 1;
            --count;
        }
        at = buffer_at_ + std::uint64_t(p - buffer_.data());
        if (count == 0)
            break;
        if (buffer_at_ + buffer_.size() >= u_file_size) {
            // a last line without a line feed still counts
            if (count == 1 && at < u_file_size) {
                next = u_file_size;
                return true;
            }
            return false;
        }
        // the buffer ends inside a line: keep that part and read on
        if (buffer_at_ + buffer_.size() - at > MAX_LINE)
            return false;
        if (!Fill(at) && buffer_at_ + buffer_.size() < u_file_size)
            return false;
    }
    next = at;
    return true;
}

void CTrajectory::Finish(std::uint64_t end)
{
    u_frames_end = end;
    is_indexed = true;
    buffer_.clear();
    buffer_.shrink_to_fit();
}

bool CTrajectory::Open(const std::string& file, int fmt)
{
    Close();
    try {
        if (io::IsGz(file)) {
            gz_ = std::make_unique<io::GzInput>();
            if (!gz_->Open(file)) {
                gz_.reset();
                return false;
            }
            u_file_size = UNKNOWN_SIZE;
        } else {
            // a FIFO or a device is refused before it is opened for reading
            if (!textio::IsRegularFile(file))
                return false;
            std::uint64_t size = 0;
            const int fd = textio::OpenRegularFile(file, size);
            if (fd < 0)
                return false;
            fd_ = fd;
            u_file_size = size;
        }
        path = file;
        file_format = fmt;
        u_header_size = 0;
        u_vasp_atoms = 0;
        scan_ = 0;
        buffer_at_ = 0;
        v_frame_start.assign(1, 0);
        is_indexed = false;
        note.clear();

        std::string line;
        std::uint64_t at = 0, next = 0;
        // a byte-order mark is no part of the first line
        char head[3] = {0, 0, 0};
        if (ReadAt(0, head, sizeof head) == static_cast<long long>(sizeof head))
            at = scan_ = textio::ByteOrderMarkSize(std::string_view(head, sizeof head));
        if (fmt == int(io::Format::Vasp)) {
            // an XDATCAR: title, scale, three lattice lines, species, counts,
            // then "Direct configuration=" before each frame's positions
            std::string counts;
            bool xdatcar = false;
            for (int k = 0; k < 8 && LineAt(at, line, next); ++k) {
                if (k == 6)
                    counts = line;
                if (k == 7)
                    xdatcar = IsConfigurationLine(line);
                if (k < 7)
                    at = next;
            }
            if (!xdatcar) {
                Finish(u_file_size);  // a POSCAR: one structure, the whole file
                return true;
            }
            const char* p = counts.c_str();
            for (;;) {
                char* end = nullptr;
                const long c = std::strtol(p, &end, 10);
                if (end == p)
                    break;
                if (c > 0)
                    u_vasp_atoms += std::uint64_t(c);
                p = end;
            }
            u_header_size = at;
        } else if (fmt == int(io::Format::Pdb)) {
            // models only when a MODEL record comes before the first atom
            bool models = false;
            while (LineAt(at, line, next)) {
                const std::string_view name = textio::FirstWord(line);
                if (name == "MODEL") {
                    models = true;
                    break;
                }
                if (name.substr(0, 4) == "ATOM" || name.substr(0, 6) == "HETATM")
                    break;
                at = next;
            }
            if (!models) {
                Finish(u_file_size);
                return true;
            }
            u_header_size = at;
        }
        ScanFrame();
        return true;
    } catch (const std::exception&) {
        Close();
        return false;
    }
}

bool CTrajectory::ScanFrame()
{
    if (is_indexed || v_frame_start.empty())
        return false;
    std::string line;
    std::uint64_t at = scan_, next = 0;
    const std::size_t k = v_frame_start.size() - 1;
    // the frame that turned out to be none: frames stop where it starts
    auto no_frame = [&](bool quiet) {
        if (k == 0) {
            Finish(u_file_size);  // the reader decides about the only frame
            return false;
        }
        v_frame_start.pop_back();
        // after a single frame, text that follows is no news: it always was ignored
        if (!quiet && k >= 2)
            note = "the text after frame " + std::to_string(k) + " starts no frame; the frames end there";
        Finish(at);
        return false;
    };
    std::uint64_t end = 0;
    if (file_format == int(io::Format::Xyz)) {
        bool got;
        while ((got = LineAt(at, line, next)) && IsBlankLine(line))
            at = next;
        if (!got)
            return no_frame(at >= u_file_size);
        v_frame_start[k] = at;
        const long n = CountOf(line);
        if (n <= 0)
            return no_frame(false);
        if (!SkipLines(next, std::uint64_t(n) + 1, end)) {
            Finish(u_file_size);  // a cut last frame: it is there, but will not read
            return false;
        }
    } else if (file_format == int(io::Format::Vasp)) {
        if (k == 0)
            at = u_header_size;
        // the configuration line, after a header of the frame's own (a cell
        // per frame) or after text that is no frame (then that text is a
        // frame of its own that will not read, and the configuration starts
        // the next one)
        bool found = false;
        std::uint64_t text_lines = 0, atoms = u_vasp_atoms;
        std::string previous;
        for (std::uint64_t lines = 0; lines < u_vasp_atoms + 12 && LineAt(at, line, next); ++lines) {
            if (IsConfigurationLine(line)) {
                found = true;
                break;
            }
            if (!IsBlankLine(line)) {
                ++text_lines;
                previous = line;
            }
            at = next;
        }
        if (!found) {
            at = scan_;
            return no_frame(text_lines == 0);
        }
        if (text_lines == 7 && SumOfCounts(previous) > 0) {
            atoms = SumOfCounts(previous);
        } else if (text_lines > 0) {
            v_frame_start.push_back(at);
            scan_ = at;
            return true;
        }
        if (!SkipLines(next, atoms, end)) {
            Finish(u_file_size);
            return false;
        }
    } else if (file_format == LAMMPS_DUMP) {
        // ITEM blocks up to ITEM: ATOMS, then as many lines as the count says
        while (LineAt(at, line, next) && IsBlankLine(line))
            at = next;
        if (at >= u_file_size)
            return no_frame(true);
        v_frame_start[k] = at;
        if (!IsItem(line, "ITEM: TIMESTEP"))
            return no_frame(false);
        long atoms = 0;
        bool found = false;
        std::uint64_t p = next;
        for (int items = 0; items < 64 && !found; ++items) {
            if (!LineAt(p, line, next))
                break;
            p = next;
            if (IsItem(line, "ITEM: NUMBER OF ATOMS") && LineAt(p, line, next)) {
                atoms = CountOf(line);
                p = next;
            }
            found = IsItem(line, "ITEM: ATOMS");
        }
        if (!found || atoms <= 0 || !SkipLines(p, std::uint64_t(atoms), end)) {
            Finish(u_file_size);  // a cut last frame: the reader says what is wrong
            return false;
        }
    } else {
        // PDB: from this frame's MODEL record to the next one
        if (k == 0)
            at = u_header_size;
        if (!LineAt(at, line, next))
            return no_frame(true);
        at = next;
        for (;;) {
            if (!LineAt(at, line, next)) {
                Finish(u_file_size);
                return false;
            }
            if (textio::FirstWord(line) == "MODEL")
                break;
            at = next;
        }
        end = at;
    }
    if (end >= u_file_size) {
        Finish(u_file_size);
        return false;
    }
    v_frame_start.push_back(end);
    scan_ = end;
    return true;
}

bool CTrajectory::IndexStep(std::size_t bytes)
{
    if (is_indexed || !IsOpen())
        return true;
    try {
        const std::uint64_t target = scan_ + bytes;
        while (!is_indexed && scan_ < target)
            ScanFrame();
    } catch (const std::exception&) {
        // out of memory for the index: the frames found so far stay, not the
        // one whose end was still to be found
        if (v_frame_start.size() > 1)
            v_frame_start.pop_back();
        note = "out of memory while indexing: the frames end after frame " + std::to_string(v_frame_start.size());
        Finish(scan_);
    }
    return is_indexed;
}

std::size_t CTrajectory::GetFrameCount()
{
    while (!IndexStep(std::size_t(1) << 30)) {
    }
    return v_frame_start.size();
}

std::size_t CTrajectory::GetIndexedFrames() const
{
    if (is_indexed || v_frame_start.empty())
        return v_frame_start.size();
    return v_frame_start.size() - 1;
}

bool CTrajectory::ReadFrameText(std::size_t k, std::string& out, std::string* why)
{
    if (!IsOpen())
        return false;
    try {
        while (!is_indexed && k + 1 >= v_frame_start.size())
            ScanFrame();
        if (k >= v_frame_start.size())
            return false;
        const std::uint64_t start = v_frame_start[k];
        const std::uint64_t end = k + 1 < v_frame_start.size() ? v_frame_start[k + 1] : u_frames_end;
        if (end < start)
            return false;
        out.clear();
        bool header = k > 0 && (file_format == int(io::Format::Pdb) || file_format == int(io::Format::Vasp));
        if (header && file_format == int(io::Format::Vasp)) {
            // a frame of a cell-per-frame XDATCAR starts with its own header
            std::string line;
            std::uint64_t next;
            header = LineAt(start, line, next) && IsConfigurationLine(line);
        }
        const std::uint64_t lead = header ? u_header_size : 0;
        // room taken, not touched: only what is read costs memory
        if (!gz_)
            out.reserve(std::size_t(lead + (end - start)));
        // Read a slice at a time, each line's length followed across the
        // slices: a line too long is refused when its first MAX_LINE bytes
        // are in, whatever the size of the frame.
        std::size_t line_length = 0, line_number = 1;
        std::string slice;
        auto read = [&](std::uint64_t from, std::uint64_t size) {
            while (size > 0) {
                std::size_t want = std::size_t(std::min<std::uint64_t>(size, CHUNK));
                slice.resize(want);
                const long long got = ReadAt(from, &slice[0], want);
                // the last frame of a gzip file runs to an end not known before
                if (got < 0 || (std::size_t(got) < want && !gz_))
                    return false;
                if (got == 0)
                    return true;
                want = std::size_t(got);
                slice.resize(want);
                const char* p = slice.data();
                const char* const stop = p + want;
                while (const void* nl = std::memchr(p, '\n', std::size_t(stop - p))) {
                    line_length += std::size_t(static_cast<const char*>(nl) - p);
                    if (line_length > MAX_LINE)
                        break;
                    line_length = 0;
                    ++line_number;
                    p = static_cast<const char*>(nl) + 1;
                }
                if (line_length <= MAX_LINE)
                    line_length += std::size_t(stop - p);
                if (line_length > MAX_LINE) {
                    if (why != nullptr)
                        *why = "line " + std::to_string(line_number) + " is longer than " +
                               std::to_string(MAX_LINE >> 20) + " MiB: no structure file has such lines";
                    out.clear();
                    out.shrink_to_fit();
                    return false;
                }
                out.append(slice);
                from += want;
                size -= want;
            }
            return true;
        };
        return (lead == 0 || read(0, lead)) && read(start, end - start);
    } catch (const std::exception&) {
        if (why != nullptr)
            *why = "out of memory for the frame";
        return false;
    }
}
