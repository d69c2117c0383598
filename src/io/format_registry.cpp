#include "io/format_registry.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "io/cif.h"
#include "io/lammps.h"
#include "io/text_source.h"
#include "io/volume.h"
#include "io/textio.h"

namespace io {

namespace {

bool StartsWith(std::string_view s, std::string_view prefix)
{
    return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

// How many numbers a line holds when it holds nothing else; -1 when another
// word stands on it.
int CountNumbers(std::string_view line)
{
    std::vector<std::string_view> words;
    SplitWords(line, words);
    double v = 0.0;
    for (std::string_view w : words)
        if (!ParseDouble(w, v))
            return -1;
    return int(words.size());
}

bool IsCountLine(std::string_view line)
{
    std::size_t i = 0;
    while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i])))
        ++i;
    const std::size_t digits = i;
    while (i < line.size() && std::isdigit(static_cast<unsigned char>(line[i])))
        ++i;
    if (i == digits)
        return false;
    while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i])))
        ++i;
    return i == line.size();
}

bool SniffPdb(const HeadLines& lines)
{
    static const char* const records[] = {"ATOM  ", "ATOM ", "HETATM", "CRYST1", "HEADER", "MODEL "};
    for (std::string_view line : lines)
        for (const char* r : records)
            if (StartsWith(line, r))
                return true;
    return false;
}

// Three lines of three bare numbers are lattice vectors, never XYZ atom
// lines (those start with a symbol): a VASP title may well be a number.
bool SniffVasp(const HeadLines& lines)
{
    if (lines.size() < 5)
        return false;
    const int scale = CountNumbers(lines[1]);
    if (scale != 1 && scale != 3)
        return false;
    for (int k = 2; k < 5; ++k)
        if (CountNumbers(lines[k]) != 3)
            return false;
    return true;
}

bool SniffXyz(const HeadLines& lines)
{
    return !lines.empty() && IsCountLine(lines[0]);
}

// The numbers of a line that holds nothing else, at most `most`; -1 when
// another word stands on it or there are more.
int ReadNumbers(std::string_view line, double* out, int most)
{
    std::vector<std::string_view> words;
    SplitWords(line, words);
    if (words.size() > std::size_t(most))
        return -1;
    for (std::size_t k = 0; k < words.size(); ++k)
        if (!ParseDouble(words[k], out[k]))
            return -1;
    return int(words.size());
}

// A POSCAR whose positions are followed by a line of three grid sizes.
bool SniffVaspVolume(const HeadLines& lines)
{
    if (!SniffVasp(lines))
        return false;
    std::vector<std::string_view> words;
    std::size_t k = 5;
    if (k < lines.size() && CountNumbers(lines[k]) < 0)
        ++k;  // the element names before their counts
    if (k >= lines.size())
        return false;
    SplitWords(lines[k], words);
    long long atoms = 0;
    for (std::string_view w : words) {
        long long n = 0;
        if (!ParseLong(w, n) || n < 0 || n > (1 << 30))
            return false;
        atoms += n;  // no more words than the 64 KiB hold: no overflow
    }
    ++k;
    if (words.empty() || atoms < 1 || k >= lines.size())
        return false;
    const std::string_view mode = Trim(lines[k]);
    if (!mode.empty() && (mode[0] == 's' || mode[0] == 'S'))
        ++k;  // selective dynamics, then the coordinates' kind
    k += 1 + std::size_t(atoms);
    while (k < lines.size() && Trim(lines[k]).empty())
        ++k;
    if (k >= lines.size())
        return false;
    SplitWords(lines[k], words);
    long long size = 0;
    if (words.size() != 3)
        return false;
    for (std::string_view w : words)
        if (!ParseLong(w, size) || size < 1)
            return false;
    return true;
}

// Two comment lines (the first no atom count, as an XYZ file's), the atom
// count and origin, three voxel lines of a whole count and a vector, and
// atom lines of five numbers.
bool SniffCube(const HeadLines& lines)
{
    if (lines.size() < 6 || IsCountLine(lines[0]))
        return false;
    double v[5];
    const int head = ReadNumbers(lines[2], v, 5);
    if ((head != 4 && head != 5) || v[0] != std::floor(v[0]) || std::fabs(v[0]) > 1e7)
        return false;
    const std::size_t atoms = std::size_t(std::fabs(v[0]));
    for (std::size_t k = 3; k < 6; ++k)
        if (ReadNumbers(lines[k], v, 4) != 4 || v[0] != std::floor(v[0]) || v[0] == 0.0)
            return false;
    for (std::size_t k = 6; k < lines.size() && k < 6 + atoms; ++k)
        if (ReadNumbers(lines[k], v, 5) != 5)
            return false;
    return true;
}

// The first line that is not blank or a comment opens a data block.
bool IsCifText(const HeadLines& lines)
{
    for (std::string_view line : lines) {
        const std::string_view t = Trim(line);
        if (t.empty() || t[0] == '#')
            continue;
        return StartsWith(Lower(t.substr(0, 5)), "data_");
    }
    return false;
}

bool HasMmcifAtoms(const HeadLines& lines)
{
    for (std::string_view line : lines)
        if (StartsWith(Trim(line), "_atom_site.") || StartsWith(Trim(line), "_cell.") ||
            StartsWith(Trim(line), "_entry.id"))
            return true;
    return false;
}

bool SniffMmcif(const HeadLines& lines)
{
    return IsCifText(lines) && HasMmcifAtoms(lines);
}
bool SniffCif(const HeadLines& lines)
{
    return IsCifText(lines) && !HasMmcifAtoms(lines);
}

bool SniffLammpsDump(const HeadLines& lines)
{
    return !lines.empty() && StartsWith(Trim(lines[0]), "ITEM: TIMESTEP");
}

// A count line "N atoms" and the box line "xlo xhi" among the header lines.
bool SniffLammpsData(const HeadLines& lines)
{
    bool atoms = false, box = false;
    std::vector<std::string_view> words;
    for (std::size_t k = 1; k < lines.size() && k < 40; ++k) {
        SplitWords(lines[k], words);
        long long n = 0;
        if (words.size() >= 2 && ParseLong(words[0], n) && words[1] == "atoms")
            atoms = true;
        if (words.size() >= 4 && words[2] == "xlo" && words[3] == "xhi")
            box = true;
    }
    return atoms && box;
}

// Sniffers are asked in this order: mmCIF's atom lines start with ATOM, so
// it goes before PDB; a CIF or LAMMPS header looks like no older format; a
// VASP volumetric file starts as a POSCAR, so it goes before VASP.
const std::vector<FormatEntry>& Table()
{
    static const std::vector<FormatEntry> table = {
        {Format::Xyz, "xyz", "XYZ", ".xyz .extxyz", "", SniffXyz, nullptr, nullptr, true, true},
        {Format::Vasp, "vasp", "VASP", ".vasp .poscar", "poscar contcar xdatcar", SniffVasp, nullptr, nullptr, true,
         true},
        {Format::Pdb, "pdb", "PDB", ".pdb .ent", "", SniffPdb, nullptr, nullptr, true, true},
        {Format::Cif, "cif", "CIF", ".cif", "", SniffCif, ReadCif, WriteCif, true, false},
        {Format::Mmcif, "mmcif", "mmCIF", ".mmcif .mcif", "", SniffMmcif, ReadMmcif, WriteMmcif, true, false},
        {Format::LammpsData, "lammps-data", "LAMMPS data", ".data .lmp .lammps", "data.", SniffLammpsData,
         ReadLammpsData, WriteLammpsData, true, false},
        {Format::LammpsDump, "lammps-dump", "LAMMPS dump", ".dump .lammpstrj", "dump.", SniffLammpsDump, ReadLammpsDump,
         nullptr, false, true},
        {Format::VaspVolume, "vasp-volume", "VASP volumetric", "", "chgcar chg parchg aeccar locpot elfcar",
         SniffVaspVolume, ReadVaspVolumeStructure, nullptr, false, false, true},
        {Format::Cube, "cube", "Gaussian cube", ".cube .cub", "", SniffCube, ReadCubeStructure, nullptr, false, false,
         true},
    };
    return table;
}

bool HasWord(const char* list, std::string_view word)
{
    std::vector<std::string_view> words;
    SplitWords(list, words);
    for (std::string_view w : words)
        if (w == word)
            return true;
    return false;
}

std::string BaseName(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The sniffers see the lines of the first 64 KiB: a volumetric file's grid
// sizes follow all of its atoms.
constexpr std::size_t DETECT_BYTES = 1 << 16;

}  // namespace

std::string RefusalText(const std::string& path, const Refusal& refusal)
{
    if (refusal.line == 0)
        return path + ": " + refusal.reason;
    return path + " line " + std::to_string(refusal.line) + ": " + refusal.reason;
}

const std::vector<FormatEntry>& Formats()
{
    return Table();
}

const FormatEntry* FindFormat(Format format)
{
    for (const FormatEntry& e : Table())
        if (e.format == format)
            return &e;
    return nullptr;
}

const FormatEntry* FindFormat(int code)
{
    return FindFormat(static_cast<Format>(code));
}

const char* FormatLabel(Format format)
{
    if (format == Format::Auto)
        return "Auto";
    const FormatEntry* e = FindFormat(format);
    return e != nullptr ? e->label : "an unknown format";
}

Format FormatFromName(const std::string& name)
{
    const std::string n = Lower(name);
    for (const FormatEntry& e : Table())
        if (n == e.name)
            return e.format;
    return Format::Unknown;
}

std::string FormatNames(bool writable_only)
{
    std::string names;
    for (const FormatEntry& e : Table()) {
        if (writable_only && !e.is_writable)
            continue;
        names += (names.empty() ? "" : ", ") + std::string(e.name);
    }
    return names;
}

bool IsGz(const std::string& path)
{
    return path.size() > 3 && Lower(std::string_view(path).substr(path.size() - 3)) == ".gz";
}

std::string WithoutGz(const std::string& path)
{
    return IsGz(path) ? path.substr(0, path.size() - 3) : path;
}

Format DetectByName(const std::string& path)
{
    const std::string lower = Lower(BaseName(WithoutGz(path)));
    const std::size_t dot = lower.find_last_of('.');
    if (dot != std::string::npos && dot > 0) {
        const std::string ext = lower.substr(dot);
        for (const FormatEntry& e : Table())
            if (HasWord(e.extensions, ext))
                return e.format;
    }
    std::vector<std::string_view> prefixes;
    for (const FormatEntry& e : Table()) {
        SplitWords(e.prefixes, prefixes);
        for (std::string_view p : prefixes)
            if (StartsWith(lower, p) &&
                !(std::isalpha(static_cast<unsigned char>(p.back())) && lower.size() > p.size() &&
                  std::isalpha(static_cast<unsigned char>(lower[p.size()]))))
                return e.format;
    }
    return Format::Unknown;
}

Format DetectByContent(std::string_view text)
{
    HeadLines lines;
    std::string_view rest = textio::SkipByteOrderMark(text);
    rest = rest.substr(0, DETECT_BYTES);
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        if (end == std::string_view::npos)
            break;
        rest.remove_prefix(end + 1);
    }
    static const Format order[] = {Format::Mmcif,      Format::Cif,  Format::LammpsDump,
                                   Format::LammpsData, Format::Cube, Format::VaspVolume,
                                   Format::Pdb,        Format::Vasp, Format::Xyz};
    for (Format f : order)
        if (FindFormat(f)->sniff(lines))
            return f;
    return Format::Unknown;
}

Format Detect(const std::string& path)
{
    const Format by_name = DetectByName(path);
    // PDB archive files are mmCIF under the .cif extension
    if (by_name != Format::Unknown && by_name != Format::Cif)
        return by_name;
    std::string head;
    if (!ReadInputHead(path, DETECT_BYTES, head))
        return by_name;
    const Format by_content = DetectByContent(head);
    if (by_name == Format::Cif)
        return by_content == Format::Mmcif ? Format::Mmcif : Format::Cif;
    return by_content;
}

Format Resolve(const std::string& path, Format asked)
{
    return asked == Format::Auto ? Detect(path) : asked;
}

}  // namespace io
