#include "io/volume.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <thread>

#include <sys/mman.h>
#include <unistd.h>

#include "io/vasp.h"
#include "core/elements.h"
#include "io/text_source.h"
#include "io/textio.h"

namespace io {

namespace {

using textio::IsSpace;

// Bohr radius in A, the value ASE converts with, so both read the same numbers.
constexpr double BOHR = 0.5291772105638411;
// A grid axis longer than this is taken for a damaged file.
constexpr long MOST_POINTS_PER_AXIS = 1 << 16;

std::string Upper(std::string_view s)
{
    std::string u(s);
    for (char& c : u)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return u;
}

std::string BaseName(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FolderOfPath(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The line number of `at` in `text`, 1-based.
std::size_t LineOf(std::string_view text, const char* at)
{
    const std::size_t offset = std::size_t(std::max(at, text.data()) - text.data());
    return 1 + std::size_t(std::count(text.data(), text.data() + std::min(offset, text.size()), '\n'));
}

// Whole numbers of a line, at most `most`; -1 when another word stands on it.
int ReadIntegers(std::string_view line, long* out, int most)
{
    const char* p = line.data();
    const char* end = p + line.size();
    int n = 0;
    for (;;) {
        while (p < end && IsSpace(*p))
            ++p;
        if (p >= end)
            return n;
        if (n == most)
            return -1;
        if (*p == '+')
            ++p;
        const auto r = std::from_chars(p, end, out[n]);
        if (r.ec != std::errc() || (r.ptr < end && !IsSpace(*r.ptr)))
            return -1;
        p = r.ptr;
        ++n;
    }
}

// Reads up to `most` numbers of a line; their count, or -1 when a word that
// is no number stands among them.
int ReadNumbers(std::string_view line, double* out, int most)
{
    const char* p = line.data();
    const char* end = p + line.size();
    int n = 0;
    while (n < most && textio::ScanNumber(p, end, out[n]))
        ++n;
    while (p < end && IsSpace(*p))
        ++p;
    return p == end ? n : -1;
}

// The VASP structure part: the reader's copy, and where its last position
// line ends. False when the text does not start with a POSCAR.
bool ReadStructurePart(std::string_view text, const std::string& folder, CVasp& reader, std::vector<glm::vec3>& xyz,
                       std::vector<unsigned>& idx, textio::LineCursor& cursor)
{
    if (!reader.ReadText(folder, text, xyz, idx))
        return false;
    std::string_view line;
    const std::size_t lines = std::size_t(reader.header_lines) + reader.total_atoms - 1;
    for (std::size_t k = 0; k < lines; ++k)
        if (!cursor.Next(line))
            return false;
    return true;
}

// The next line that is not blank.
bool NextFilled(textio::LineCursor& cursor, std::string_view& line)
{
    while (cursor.Next(line)) {
        for (char c : line)
            if (!IsSpace(c))
                return true;
    }
    return false;
}

bool Refuse(Refusal& refusal, std::size_t line, const std::string& reason)
{
    refusal.line = line;
    refusal.reason = reason;
    return false;
}

// Grid sizes on a line: three positive whole numbers, no more points than
// `remaining` characters hold (a value and a blank or line feed each, the
// last one's line feed may be missing).
bool ReadSizes(std::string_view line, std::size_t remaining, glm::ivec3& size)
{
    long n[3];
    if (ReadIntegers(line, n, 3) != 3)
        return false;
    double points = 1.0;
    for (int a = 0; a < 3; ++a) {
        if (n[a] < 1 || n[a] > MOST_POINTS_PER_AXIS)
            return false;
        size[a] = int(n[a]);
        points *= double(n[a]);
    }
    return points <= (double(remaining) + 1.0) / 2.0;
}

// The structure part and the grid's sizes; `cursor` is left after them.
bool ReadVaspHead(std::string_view text, const std::string& folder, Volume& v, textio::LineCursor& cursor,
                  Refusal& refusal, std::string* note = nullptr)
{
    CVasp reader;
    std::vector<glm::vec3> xyz;
    std::vector<unsigned> idx;
    if (!ReadStructurePart(text, folder, reader, xyz, idx, cursor))
        return Refuse(refusal, 1, "the structure part is not a POSCAR");
    if (note)
        *note = reader.note;
    const std::size_t structure_end = text.size() - cursor.Remaining();
    v.structure_text.assign(text.data(), structure_end);
    v.cell = reader.cell_xyz;
    v.is_periodic = true;
    v.elements = idx;
    v.positions.resize(xyz.size());
    for (std::size_t i = 0; i < xyz.size(); ++i)
        v.positions[i] = reader.is_direct ? reader.v_carte_xyz[i] : reader.v_carte_xyz[i] * reader.v_scale;

    std::string_view line;
    if (!NextFilled(cursor, line))
        return Refuse(refusal, cursor.LineNumber(), "no grid after the positions");
    const std::size_t sizes_line = cursor.LineNumber();
    if (!ReadSizes(line, cursor.Remaining(), v.size))
        return Refuse(refusal, sizes_line, "the grid sizes are not three positive whole numbers the file can hold");
    for (int a = 0; a < 3; ++a)
        v.voxel[a] = v.cell[a] / double(v.size[a]);
    return true;
}

bool ReadVasp(std::string_view text, const std::string& path, Volume& v, Refusal& refusal)
{
    textio::LineCursor cursor(text);
    if (!ReadVaspHead(text, FolderOfPath(path), v, cursor, refusal))
        return false;
    std::string_view line;
    const std::string base = Upper(BaseName(path));
    const bool potential = base.compare(0, 6, "LOCPOT") == 0;
    const bool elf = base.compare(0, 6, "ELFCAR") == 0;
    v.is_volume_scaled = !potential && !elf;
    v.unit = potential ? "eV" : elf ? "" : "e/A^3";
    const double volume = std::fabs(glm::determinant(v.cell));
    if (v.is_volume_scaled && !(volume > 0.0))
        return Refuse(refusal, 3, "the cell has no volume");
    const float scale = v.is_volume_scaled ? float(1.0 / volume) : 1.0f;

    // the grid; in a spin-polarised file the magnetisation follows the
    // augmentation blocks under the same sizes line, and a non-collinear one
    // has three such grids
    const std::size_t points = v.Points();
    const char* const end = text.data() + text.size();
    const char* at = text.data() + (text.size() - cursor.Remaining());
    static const char* const collinear[] = {"total", "magnetisation"};
    static const char* const noncollinear[] = {"total", "m_x", "m_y", "m_z"};
    for (int k = 0; k < 4; ++k) {
        VolumeGrid grid;
        SizeValues(grid.values, points);
        const char *stop = nullptr, *fail = nullptr;
        if (!ParseGridNumbers(at, end, points, scale, grid.values.data(), stop, fail)) {
            if (k == 0)
                return Refuse(refusal, LineOf(text, fail),
                              "the grid holds fewer than " + std::to_string(points) + " numbers, or a word among them");
            break;  // a later grid cut short: the grids before it stand
        }
        v.grids.push_back(std::move(grid));
        // the next block: augmentation occupancies and moments, then the sizes again
        textio::LineCursor rest(std::string_view(stop, std::size_t(end - stop)));
        rest.Next(line);  // what is left of the last grid line
        bool found = false;
        if (NextFilled(rest, line)) {
            const bool augmentation = line.find("augmentation") != std::string_view::npos;
            glm::ivec3 again(0);
            do {
                found = ReadSizes(line, rest.Remaining(), again) && again == v.size;
            } while (!found && augmentation && NextFilled(rest, line));
        }
        if (!found)
            break;
        at = end - rest.Remaining();
    }
    const bool four = v.grids.size() == 4;
    if (v.grids.size() == 3)
        v.grids.resize(2);
    for (std::size_t k = 0; k < v.grids.size(); ++k)
        v.grids[k].name = four ? noncollinear[k] : collinear[k];
    return true;
}

// Without `with_grid` only the header and the atoms are read.
bool ReadCube(std::string_view text, Volume& v, Refusal& refusal, bool with_grid = true)
{
    textio::LineCursor cursor(text);
    std::string_view line;
    for (int k = 0; k < 2; ++k)
        if (!cursor.Next(line))
            return Refuse(refusal, cursor.LineNumber() + 1, "the file ends in its comment lines");
    double head[5];
    if (!cursor.Next(line))
        return Refuse(refusal, 3, "no atom count and origin line");
    const int head_count = ReadNumbers(line, head, 5);
    if (head_count < 4 || head[0] != std::floor(head[0]) || std::fabs(head[0]) > 1e7)
        return Refuse(refusal, 3, "the atom count and origin line is not a whole number and three numbers");
    const long atoms = long(head[0]);
    long per_point =
        head_count == 5 && head[4] >= 1.0 && head[4] <= 1e4 && head[4] == std::floor(head[4]) ? long(head[4]) : 1;

    // the cube's axes in reverse: its third axis runs fastest, as VASP's first
    double in_bohr = BOHR;
    glm::dvec3 vectors[3];
    long counts[3];
    for (int a = 0; a < 3; ++a) {
        double n[4];
        if (!cursor.Next(line) || ReadNumbers(line, n, 4) != 4 || n[0] != std::floor(n[0]) || n[0] == 0.0 ||
            std::fabs(n[0]) > MOST_POINTS_PER_AXIS)
            return Refuse(refusal, cursor.LineNumber(), "a voxel line is not a point count and a vector");
        // a negative count gives the vectors in A rather than Bohr
        counts[a] = long(std::fabs(n[0]));
        const double unit = n[0] < 0.0 ? 1.0 : BOHR;
        if (a == 0)
            in_bohr = unit;
        vectors[a] = glm::dvec3(n[1], n[2], n[3]) * unit;
    }
    v.origin = glm::dvec3(head[1], head[2], head[3]) * in_bohr;
    for (int a = 0; a < 3; ++a) {
        v.size[a] = int(counts[2 - a]);
        v.voxel[a] = vectors[2 - a];
        v.cell[a] = vectors[2 - a] * double(counts[2 - a]);
    }
    if ((std::size_t(std::labs(atoms)) > cursor.Remaining() / 10 + 1))
        return Refuse(refusal, 3, "more atoms than the file has lines");
    for (long i = 0; i < std::labs(atoms); ++i) {
        double a[5];
        if (!cursor.Next(line) || ReadNumbers(line, a, 5) != 5)
            return Refuse(refusal, cursor.LineNumber(), "an atom line is not a number, a charge and three coordinates");
        // 0 (a ghost) or anything past the table is drawn as the dummy element
        v.elements.push_back(a[0] >= 1.0 && a[0] < double(periodic_table_atoms) ? unsigned(a[0]) - 1
                                                                                : DUMMY_ATOM_INDEX);
        v.positions.push_back(glm::dvec3(a[2], a[3], a[4]) * in_bohr);
    }
    std::vector<long> orbitals;
    const char* end = text.data() + text.size();
    const char* at = end - cursor.Remaining();
    if (atoms < 0) {
        // the orbital line: their count, then their numbers, over as many lines as it takes
        double m;
        const char* p = at;
        if (!textio::ScanNumber(p, end, m) || m < 1.0 || m != std::floor(m) || m > 1e4)
            return Refuse(refusal, LineOf(text, p), "no orbital count after the atoms");
        per_point = long(m);
        for (long k = 0; k < per_point; ++k) {
            double number;
            if (!textio::ScanNumber(p, end, number))
                return Refuse(refusal, LineOf(text, p), "fewer orbital numbers than their count");
            orbitals.push_back(std::fabs(number) < 1e9 ? long(number) : 0);
        }
        at = p;
    }

    const std::size_t points = v.Points();
    const double values = double(points) * double(per_point);
    if (values > (double(end - at) + 1.0) / 2.0)
        return Refuse(refusal, LineOf(text, at), "the grid is larger than the file can hold");
    if (!with_grid)
        return true;
    std::vector<float> all;
    SizeValues(all, points * std::size_t(per_point));
    const char *stop = nullptr, *fail = nullptr;
    if (!ParseGridNumbers(at, end, all.size(), 1.0f, all.data(), stop, fail))
        return Refuse(refusal, LineOf(text, fail),
                      "the grid holds fewer than " + std::to_string(all.size()) + " numbers, or a word among them");
    for (long k = 0; k < per_point; ++k) {
        VolumeGrid grid;
        grid.name = orbitals.empty() ? (per_point == 1 ? "values" : "value " + std::to_string(k + 1))
                                     : "orbital " + std::to_string(orbitals[std::size_t(k)]);
        if (per_point == 1) {
            grid.values.swap(all);
        } else {
            SizeValues(grid.values, points);
            for (std::size_t i = 0; i < points; ++i)
                grid.values[i] = all[i * std::size_t(per_point) + std::size_t(k)];
        }
        v.grids.push_back(std::move(grid));
    }
    return true;
}

}  // namespace

namespace {

// Memory for a file's text, not cleared first: every byte is overwritten.
// A large text goes into huge pages: faulting it in 4 KiB at a time costs
// more than the copy from the page cache, and several times more than the
// parse on a machine whose page faults are slow.
class TextMemory {
public:
    TextMemory() = default;
    ~TextMemory()
    {
        if (mapped_ != 0)
            ::munmap(base_, mapped_);
        else
            delete[] base_;
    }
    TextMemory(const TextMemory&) = delete;
    TextMemory& operator=(const TextMemory&) = delete;

    // False when there is no memory for `size` bytes.
    bool Allocate(std::size_t size)
    {
        constexpr std::size_t HUGE_PAGE = std::size_t(2) << 20;
        if (size < 2 * HUGE_PAGE) {
            base_ = data_ = new (std::nothrow) char[size + 1];
            return data_ != nullptr;
        }
        // one huge page more, to start the text on a huge page's boundary
        const std::size_t length = (size + 2 * HUGE_PAGE) & ~(HUGE_PAGE - 1);
        void* at = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (at == MAP_FAILED)
            return false;
        base_ = static_cast<char*>(at);
        mapped_ = length;
        data_ = base_ + ((HUGE_PAGE - reinterpret_cast<std::uintptr_t>(base_) % HUGE_PAGE) % HUGE_PAGE);
        ::madvise(data_, size, MADV_HUGEPAGE);  // a hint: without it the text is read all the same
        return true;
    }
    char* Data() const { return data_; }

private:
    char* base_ = nullptr;
    char* data_ = nullptr;
    std::size_t mapped_ = 0;  // 0: from new[]
};

// The whole of a regular file, copied once, two halves at once for a large one.
bool ReadWholeFile(const std::string& path, TextMemory& out, std::size_t& size)
{
    std::uint64_t file_size = 0;
    const int fd = textio::OpenRegularFile(path, file_size);
    if (fd < 0)
        return false;
    bool ok = out.Allocate(std::size_t(file_size));
    if (ok) {
        size = std::size_t(file_size);
        char* const to = out.Data();
        auto copy = [&](std::size_t from, std::size_t until) {
            std::size_t done = from;
            while (done < until) {
                const ssize_t n = ::pread(fd, to + done, until - done, off_t(done));
                if (n <= 0)
                    break;
                done += std::size_t(n);
            }
            return done;
        };
        const std::size_t half = size > (std::size_t(16) << 20) ? size / 2 : size;
        std::size_t second = size;
        std::thread other;
        try {
            if (half < size)
                other = std::thread([&] { second = copy(half, size); });
        } catch (const std::exception&) {
            second = copy(half, size);
        }
        const std::size_t first = copy(0, half);
        if (other.joinable())
            other.join();
        // a file that shrank meanwhile is read as far as it goes
        size = first < half ? first : second;
    }
    ::close(fd);
    return ok;
}

}  // namespace

bool ReadVolumeText(std::string_view text, VolumeKind kind, const std::string& path, Volume& out, Refusal& refusal)
{
    try {
        Volume v;
        v.kind = kind;
        const bool ok = kind == VolumeKind::Vasp   ? ReadVasp(text, path, v, refusal)
                        : kind == VolumeKind::Cube ? ReadCube(text, v, refusal)
                                                   : Refuse(refusal, 0, "not a volumetric file");
        if (!ok)
            return false;
        out = std::move(v);
        return true;
    } catch (const std::bad_alloc&) {
        return Refuse(refusal, 0, "not enough memory for the grid");
    } catch (const std::exception&) {
        return Refuse(refusal, 0, "the file could not be read");
    }
}

bool ReadVolumeFile(const std::string& path, VolumeKind kind, Volume& out, Refusal& refusal)
{
    try {
        // a compressed file through zlib; a plain one straight into memory
        if (path.size() > 3 && Upper(std::string_view(path).substr(path.size() - 3)) == ".GZ") {
            std::string text;
            return ReadInput(path, text, refusal) && ReadVolumeText(text, kind, path, out, refusal);
        }
        TextMemory text;
        std::size_t size = 0;
        if (!ReadWholeFile(path, text, size))
            return Refuse(refusal, 0, "cannot be read");
        return ReadVolumeText(std::string_view(text.Data(), size), kind, path, out, refusal);
    } catch (const std::bad_alloc&) {
        return Refuse(refusal, 0, "not enough memory for the file");
    }
}

bool ReadVaspVolumeStructure(std::string_view text, const ReadOptions& options, Structure& out, Refusal& refusal)
{
    try {
        Volume v;
        textio::LineCursor cursor(text);
        std::string note;
        if (!ReadVaspHead(text, options.folder, v, cursor, refusal, &note))
            return false;
        out = Structure();
        out.positions = std::move(v.positions);
        out.elements = std::move(v.elements);
        out.is_periodic = true;
        out.cell = v.cell;
        out.note = note;
        return true;
    } catch (const std::exception&) {
        return Refuse(refusal, 0, "not enough memory for the structure");
    }
}

bool ReadCubeStructure(std::string_view text, const ReadOptions&, Structure& out, Refusal& refusal)
{
    try {
        Volume v;
        if (!ReadCube(text, v, refusal, false))
            return false;
        out = Structure();
        out.positions = std::move(v.positions);
        out.elements = std::move(v.elements);
        return true;
    } catch (const std::exception&) {
        return Refuse(refusal, 0, "not enough memory for the structure");
    }
}

}  // namespace io
