#include "io/volume.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <exception>
#include <memory>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cvasp.h"
#include "elements.h"
#include "io/text_source.h"
#include "textio.h"

namespace io {

namespace {

using textio::IsSpace;

// Bohr radius in A, the value ASE converts with, so both read the same numbers.
constexpr double BOHR = 0.5291772105638411;
// Below this many values one core parses faster than two start up.
constexpr std::size_t PARALLEL_VALUES = 1 << 16;
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

struct Chunk {
    const char* begin = nullptr;
    const char* end = nullptr;
    std::size_t count = 0;
    const char* stop = nullptr;   // where the scan ended
    const char* after = nullptr;  // just after the last number
    bool bad_value = false;  // a word that starts like a number, or an infinite one
    std::vector<float> own;  // chunks after the first parse into their own store
};

// Numbers from `c.begin` until `limit` of them, the chunk's end, a word that
// is no number, or a blank line (a grid never holds one: the next block starts).
void ParseChunk(Chunk& c, std::size_t limit, float scale, float* out)
{
    const char* p = c.begin;
    const char* const end = c.end;
    std::size_t n = 0;
    c.after = p;
    while (n < limit) {
        bool newline = false;
        while (p < end && IsSpace(*p)) {
            if (*p == '\n') {
                if (newline) {
                    c.count = n;
                    c.stop = p;
                    return;
                }
                newline = true;
            }
            ++p;
        }
        if (p >= end)
            break;
        float v;
        const char* q = p;
        // the plain form at full speed; a sign '+', a Fortran D exponent
        // or a hexadecimal number through the general scanner
        const auto r = std::from_chars(p, end, v);
        if (r.ec == std::errc() && (r.ptr >= end || IsSpace(*r.ptr)) && (*p != '0' || p[1] != 'x')) {
            q = r.ptr;
        } else if (!textio::ScanNumber(q, end, v)) {
            break;
        }
        if ((q < end && !IsSpace(*q)) || !std::isfinite(v)) {
            c.bad_value = true;
            break;
        }
        out[n++] = v * scale;
        p = c.after = q;
    }
    c.count = n;
    c.stop = p;
}

bool ParseSerially(const char* begin, const char* end, std::size_t count, float scale, float* out,
                   const char*& stop, const char*& fail)
{
    Chunk c;
    c.begin = begin;
    c.end = end;
    ParseChunk(c, count, scale, out);
    stop = c.after;
    fail = c.stop;
    return c.count == count && !c.bad_value;
}

}  // namespace

bool ParseGridNumbers(const char* begin, const char* end, std::size_t count, float scale, float* out,
                      const char*& stop, const char*& fail)
{
    unsigned cores = std::max(1u, std::min(8u, std::thread::hardware_concurrency()));
    if (count < PARALLEL_VALUES || cores < 2)
        return ParseSerially(begin, end, count, scale, out, stop, fail);

    // Where the grid ends, guessed from the first full line: VASP and cube
    // files write numbers of one width, a fixed count to a line.
    const char* first_end = static_cast<const char*>(std::memchr(begin, '\n', std::size_t(end - begin)));
    const char* second_end =
        first_end ? static_cast<const char*>(std::memchr(first_end + 1, '\n', std::size_t(end - first_end - 1)))
                  : nullptr;
    if (!second_end)
        return ParseSerially(begin, end, count, scale, out, stop, fail);
    double on_line[16];
    const int per_line = ReadNumbers(std::string_view(first_end + 1, std::size_t(second_end - first_end - 1)), on_line, 16);
    if (per_line <= 0)
        return ParseSerially(begin, end, count, scale, out, stop, fail);
    const double bytes_per_value = double(second_end - first_end) / per_line;
    const char* guess_end = begin + std::size_t(std::min(double(end - begin), bytes_per_value * double(count)));

    // chunk boundaries at line starts
    std::vector<Chunk> chunks;
    const char* at = begin;
    for (unsigned k = 1; k <= cores; ++k) {
        const char* next = end;
        if (k < cores) {
            const char* cut = begin + std::size_t(double(guess_end - begin) * k / cores);
            const char* nl = cut < end ? static_cast<const char*>(std::memchr(cut, '\n', std::size_t(end - cut))) : nullptr;
            next = nl ? nl + 1 : end;
        }
        if (next <= at)
            continue;
        Chunk c;
        c.begin = at;
        c.end = next;
        chunks.push_back(std::move(c));
        at = next;
        if (at >= end)
            break;
    }
    if (chunks.size() < 2)
        return ParseSerially(begin, end, count, scale, out, stop, fail);

    auto work = [&](std::size_t k) {
        Chunk& c = chunks[k];
        if (k == 0) {
            ParseChunk(c, count, scale, out);
            return;
        }
        const double expected = double(c.end - c.begin) / bytes_per_value;
        const std::size_t limit = count;
        c.own.resize(std::min<std::size_t>(limit, std::size_t(expected * 1.05) + 1024));
        ParseChunk(c, c.own.size(), scale, c.own.data());
        // a chunk that held more numbers than guessed goes on in a larger store
        while (c.count == c.own.size() && c.count < limit && c.stop < c.end && !c.bad_value) {
            Chunk rest;
            rest.begin = c.stop;
            rest.end = c.end;
            const std::size_t done = c.count;
            c.own.resize(std::min(limit, done * 2));
            ParseChunk(rest, c.own.size() - done, scale, c.own.data() + done);
            c.count = done + rest.count;
            c.stop = rest.stop;
            c.after = rest.after;
            c.bad_value = rest.bad_value;
        }
    };
    std::vector<std::thread> threads;
    try {
        for (std::size_t k = 1; k < chunks.size(); ++k)
            threads.emplace_back(work, k);
    } catch (const std::exception&) {
        for (std::thread& t : threads)
            t.join();
        return ParseSerially(begin, end, count, scale, out, stop, fail);
    }
    work(0);
    for (std::thread& t : threads)
        t.join();

    std::size_t offset = 0;
    for (std::size_t k = 0; k < chunks.size(); ++k) {
        Chunk& c = chunks[k];
        const bool whole = c.stop >= c.end || (k + 1 < chunks.size() && c.stop == chunks[k + 1].begin);
        if (offset + c.count >= count) {
            if (offset + c.count == count && !c.bad_value) {
                if (k > 0)
                    std::memcpy(out + offset, c.own.data(), c.count * sizeof(float));
                stop = c.after;
                fail = c.stop;
                return true;
            }
            // the grid ends inside this chunk: the numbers after it belong to what follows
            Chunk last;
            last.begin = c.begin;
            last.end = c.end;
            ParseChunk(last, count - offset, scale, out + offset);
            stop = last.after;
            fail = last.stop;
            return last.count == count - offset && !last.bad_value;
        }
        if (k > 0)
            std::memcpy(out + offset, c.own.data(), c.count * sizeof(float));
        offset += c.count;
        if (!whole || c.bad_value) {
            stop = fail = c.stop;
            return false;  // the grid stops short
        }
    }
    stop = fail = chunks.back().stop;
    return false;
}

namespace {

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

// Grid sizes on a line: three positive whole numbers, at most `remaining`
// points in all (every value needs at least two characters).
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
    return points <= double(remaining) / 2.0 + 1.0;
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
        grid.values.resize(points);
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
    long per_point = head_count == 5 && head[4] >= 1.0 && head[4] <= 1e4 && head[4] == std::floor(head[4]) ? long(head[4]) : 1;

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
        v.elements.push_back(a[0] >= 1.0 && a[0] < double(periodic_table_atoms) ? unsigned(a[0]) - 1 : DUMMY_ATOM_INDEX);
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
    if (values > double(end - at) / 2.0 + 1.0)
        return Refuse(refusal, LineOf(text, at), "the grid is larger than the file can hold");
    if (!with_grid)
        return true;
    std::vector<float> all(points * std::size_t(per_point));
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
            grid.values.resize(points);
            for (std::size_t i = 0; i < points; ++i)
                grid.values[i] = all[i * std::size_t(per_point) + std::size_t(k)];
        }
        v.grids.push_back(std::move(grid));
    }
    return true;
}

}  // namespace

namespace {

// The whole of a regular file, copied once into memory that is not cleared
// first: a grid's text is large, and every byte is overwritten anyway.
bool ReadFileUninitialised(const std::string& path, std::unique_ptr<char[]>& out, std::size_t& size)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat st;
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (ok) {
        size = std::size_t(st.st_size);
        out.reset(new char[size + 1]);
        // a large file is copied in two halves at once, one per core
        auto copy = [&](std::size_t from, std::size_t to) {
            std::size_t done = from;
            while (done < to) {
                const ssize_t n = ::pread(fd, out.get() + done, to - done, off_t(done));
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

bool ReadVolumeText(std::string_view text, VolumeKind kind, const std::string& path, Volume& out,
                    Refusal& refusal)
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
        std::unique_ptr<char[]> buffer;
        std::size_t size = 0;
        if (!ReadFileUninitialised(path, buffer, size))
            return Refuse(refusal, 0, "cannot be read");
        return ReadVolumeText(std::string_view(buffer.get(), size), kind, path, out, refusal);
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
