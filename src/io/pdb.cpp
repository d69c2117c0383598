#include "io/pdb.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

#include "core/crystal.h"
#include "core/elements.h"
#include "io/textio.h"
#include "version.h"

namespace {

using textio::IsSpace;
inline bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}
inline bool IsLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// A tiny scanf for the record patterns. Directives: 'k' skips a token
// ("%*s", not counted), 's' a token ("%s"), 'i' an integer in decimal, octal
// or hexadecimal notation ("%i"), 'I' the same but only when the integer is
// the whole token, 'f' a float ("%f"). Returns the number of conversions, or
// -1 when the line ends before the first one, as scanf does. The floats go
// to `floats` (room for every 'f' of the pattern), their number to
// `float_count`.
int ScanRecord(std::string_view line, const char* pattern, float* floats, std::string_view* token,
               int* float_count = nullptr)
{
    const char* p = line.data();
    const char* end = p + line.size();
    int conversions = 0;
    int nf = 0;
    if (float_count)
        *float_count = 0;
    for (const char* d = pattern; *d; ++d) {
        while (p < end && IsSpace(*p))
            ++p;
        if (p >= end)
            return conversions == 0 ? -1 : conversions;
        switch (*d) {
        case 'k':
        case 's': {
            const char* start = p;
            while (p < end && !IsSpace(*p))
                ++p;
            if (*d == 's') {
                if (token)
                    *token = std::string_view(start, std::size_t(p - start));
                ++conversions;
            }
            break;
        }
        case 'i':
        case 'I': {
            const char* q = p;
            if (q < end && (*q == '+' || *q == '-'))
                ++q;
            const char* digits = q;
            if (q + 1 < end && q[0] == '0' && (q[1] == 'x' || q[1] == 'X') && q + 2 < end &&
                std::isxdigit(static_cast<unsigned char>(q[2]))) {
                q += 2;
                while (q < end && std::isxdigit(static_cast<unsigned char>(*q)))
                    ++q;
            } else if (q < end && *q == '0') {
                while (q < end && *q >= '0' && *q <= '7')
                    ++q;
            } else {
                while (q < end && IsDigit(*q))
                    ++q;
            }
            if (q == digits)
                return conversions;
            // "1.5" read by "%i" gives 1 and leaves ".5" for the next
            // "%f"; where the variant needs a whole integer the partial
            // match does not count
            if (*d == 'I' && q < end && !IsSpace(*q))
                return conversions;
            p = q;
            ++conversions;
            break;
        }
        case 'f': {
            float v;
            if (!textio::ScanNumber(p, end, v))
                return conversions;
            if (floats)
                floats[nf] = v;
            ++nf;
            if (float_count)
                *float_count = nf;
            ++conversions;
            break;
        }
        default:
            return conversions;
        }
    }
    return conversions;
}

// Detection and reading patterns of the token variants, indexed by variant.
struct Variant {
    const char* detect;
    const char* read;
};
const Variant kVariants[9] = {
    {nullptr, nullptr},           {"kisfff", "kisfff"},  // 1: position right after the element token
    {"kisIfff", "kisifffk"},                             // 2: residue number, then the position
    {"kisIffff", "kisifffk"},                            // 3: the same with one more number
    {"kisIfffff", "kisifffk"},                           // 4: the same with two more numbers (charges)
    {"kisIffffff", "kiskkkffff"},                        // 5: the same with three more numbers
    {"kiskiffffff", "kiskifffk"},                        // 6: residue name and number, Tesk's earlier writer
    {nullptr, nullptr},                                  // 7: read by columns
    {"kiskkIfff", "kiskkifffk"},                         // 8: residue name, chain identifier and number
};

// Variant of the first atom record, tried in the order 5, 4, 3, 2, 1, 6; 0
// when none fits.
uint32_t DetectVariant(std::string_view line)
{
    static const int order[5] = {5, 4, 3, 2, 1};
    static const int wanted[6] = {0, 5, 6, 7, 8, 9};
    for (int v : order)
        if (ScanRecord(line, kVariants[v].detect, nullptr, nullptr) == wanted[v])
            return uint32_t(v);
    if (ScanRecord(line, kVariants[6].detect, nullptr, nullptr) >= 6)
        return 6;
    if (ScanRecord(line, kVariants[8].detect, nullptr, nullptr) >= 6)
        return CPdb::PDB_FORMAT_CHAIN;
    return 0;
}

// --- the standard fixed-column layout of PDB entries -----------------------

// Record name in columns 1-6. Besides "ATOM  " and "HETATM", "ATOM" followed
// by digits: some programs let serial numbers of 100000 and more run into
// the record name.
bool IsColumnAtomName(std::string_view line)
{
    if (line.size() < 6)
        return false;
    if (line.compare(0, 6, "HETATM") == 0)
        return true;
    if (line.compare(0, 4, "ATOM") != 0)
        return false;
    return (line[4] == ' ' || IsDigit(line[4])) && (line[5] == ' ' || IsDigit(line[5]));
}

// A fixed-width field without its padding: blanks on both sides, and the
// carriage return of a CRLF line at the end.
std::string_view Unpadded(std::string_view field)
{
    while (!field.empty() && field.front() == ' ')
        field.remove_prefix(1);
    while (!field.empty() && (field.back() == ' ' || field.back() == '\r'))
        field.remove_suffix(1);
    return field;
}

// One coordinate field of 8 columns holding exactly one number. With
// `strict`, the number must be right-aligned with a decimal point (Real(8.3),
// or more decimals as some programs write). This keeps records of Tesk's
// earlier writer (coordinates one column to the left) from passing as the
// standard layout.
bool ParseField(std::string_view field, bool strict, float& value)
{
    if (strict && field.find('.') == std::string_view::npos)
        return false;
    const std::string_view text = Unpadded(field);
    if (text.empty())
        return false;
    if (strict && text.data() + text.size() != field.data() + field.size())
        return false;
    const char* p = text.data();
    const char* end = text.data() + text.size();
    return textio::ScanNumber(p, end, value) && p == end;
}

bool ParseColumnPosition(std::string_view line, bool strict, glm::vec3& position)
{
    if (line.size() < 54)
        return false;
    return ParseField(line.substr(30, 8), strict, position.x) && ParseField(line.substr(38, 8), strict, position.y) &&
           ParseField(line.substr(46, 8), strict, position.z);
}

// The test on the first atom record that selects reading by columns: record
// name, length, columns 27-30 without a digit of a coordinate (a blank or an
// insertion code in 27, blanks in 28-30), three right-aligned decimal
// numbers in 31-54.
bool IsColumnRecord(std::string_view line)
{
    if (!IsColumnAtomName(line) || line.size() < 54)
        return false;
    if (!(line[26] == ' ' || IsLetter(line[26])))
        return false;
    if (line[27] != ' ' || line[28] != ' ' || line[29] != ' ')
        return false;
    glm::vec3 p;
    return ParseColumnPosition(line, true, p);
}

inline bool IsUpper(char c)
{
    return c >= 'A' && c <= 'Z';
}
inline bool IsLower(char c)
{
    return c >= 'a' && c <= 'z';
}

// Element of a record in the fixed-column layout: columns 77-78 when they
// hold a known symbol (D, deuterium, is hydrogen), else from the atom name
// in columns 13-16.
unsigned ColumnElement(std::string_view line)
{
    if (line.size() >= 77) {
        const std::string_view field = Unpadded(line.substr(76, 2));
        unsigned index;
        if (field.size() == 1 && (field[0] == 'D' || field[0] == 'd'))
            return 0;
        if (IsElementSymbol(field.data(), field.size(), index))
            return index;
    }
    const char c13 = line[12];
    const char c14 = line[13];
    // " CA ", "1HG1", " D1 ": a one-letter element in column 14
    if (c13 == ' ' || IsDigit(c13))
        return (c14 == 'D' || c14 == 'd') ? 0 : GetAtomIndex(&c14, 1);
    unsigned index;
    // "Hg13", "HH31": four characters starting with H in a standard residue
    // are hydrogens, whatever the case
    if (c13 == 'H' && c14 != ' ' && line[14] != ' ' && line[15] != ' ' && line.compare(0, 6, "HETATM") != 0)
        return 0;
    // "Fe  ", "Pt  ", "Cl  ": mixed case names the element itself
    if (IsUpper(c13) && IsLower(c14) && IsElementSymbol(line.data() + 12, 2, index))
        return index;
    // "HH31", "HD21", "HG12": four characters from column 13 starting with H
    // are hydrogens (mercury would be "HG" alone)
    if (c13 == 'H' && c14 != ' ' && line[14] != ' ' && line[15] != ' ')
        return 0;
    // "D   ", "D1  ": deuterium
    if (c13 == 'D' && (c14 == ' ' || IsDigit(c14)))
        return 0;
    // standard residues hold only C, N, O, S and H
    if (line.compare(0, 6, "HETATM") != 0)
        return GetAtomIndex(&c13, 1);
    // hetero groups: "FE  ", "CL1 " start with a two-letter symbol
    if (IsElementSymbol(line.data() + 12, 2, index))
        return index;
    return GetAtomIndex(&c13, 1);
}

// The details of a record in the standard columns (the line has at least 54).
CPdbAtom ColumnDetails(std::string_view line, unsigned element)
{
    CPdbAtom a;
    if (line.compare(0, 6, "HETATM") == 0)
        std::memcpy(a.record, "HETATM", 7);
    std::memcpy(a.name, line.data() + 12, 4);
    a.name[4] = '\0';
    std::memcpy(a.residue, line.data() + 17, 3);
    a.residue[3] = '\0';
    a.chain = line[21];
    std::string_view number = line.substr(22, 4);
    while (!number.empty() && number.front() == ' ')
        number.remove_prefix(1);
    int value = 0;
    const auto r = std::from_chars(number.data(), number.data() + number.size(), value);
    if (r.ec == std::errc() && value > -1000 && value < 10000)
        a.residue_number = value;
    auto field = [&](std::size_t at, float& out) {
        if (line.size() < at + 6)
            return;
        const char* p = line.data() + at;
        float v;
        if (textio::ScanNumber(p, line.data() + at + 6, v) && v > -1000.0f && v < 10000.0f)
            out = v;
    };
    field(54, a.occupancy);
    field(60, a.b_factor);
    a.element = element;
    return a;
}

bool FitsFloat(const glm::vec3& p)
{
    return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

}  // namespace

CPdb::CPdb()
{
    is_periodic = false;
}

unsigned CPdb::GetAtomIndex(std::string s) const
{
    return ::GetAtomIndex(s);
}

void CPdb::ReadCryst1(std::string_view line)
{
    // the last CRYST1 record of the header decides
    is_periodic = false;
    float v[6];
    if (ScanRecord(line, "kffffff", v, nullptr) != 6)
        return;
    a = v[0];
    b = v[1];
    c = v[2];
    alpha = v[3];
    beta = v[4];
    gamma = v[5];
    for (float x : v)
        if (!std::isfinite(x))
            return;
    if (!(a > 0 && b > 0 && c > 0))
        return;
    // 1 1 1 90 90 90 is the PDB's placeholder for structures without a
    // crystal cell (NMR models, predictions): no periodic cell
    if (a == 1 && b == 1 && c == 1 && alpha == 90 && beta == 90 && gamma == 90)
        return;
    // the standard crystallographic setting: a along x, b in the xy plane at
    // angle gamma, c from alpha, beta and gamma
    const double parameters[6] = {a, b, c, alpha, beta, gamma};
    if (!CellFromParameters(parameters, cell_xyz))
        return;
    is_periodic = true;
}

bool CPdb::Parse(std::string_view text, std::vector<glm::vec3>& xyz, std::vector<unsigned>& idx)
{
    header_info.clear();
    is_periodic = false;
    is_charges = false;
    header_lines = 0;
    total_atoms = 0;
    pdb_format = 0;
    xyz.clear();
    idx.clear();
    v_atom_info.clear();
    note.clear();
    // the first symbol that names no element, with its line
    auto check_element = [&](unsigned element, std::string_view written, std::size_t line_number) {
        while (!written.empty() && (written.front() == ' ' || IsDigit(written.front())))
            written.remove_prefix(1);
        while (!written.empty() && (written.back() == ' ' || written.back() == '\r'))
            written.remove_suffix(1);
        if (note.empty() && element == DUMMY_ATOM_INDEX && IsUnknownSymbol(written.data(), written.size()))
            note = "line " + std::to_string(line_number) + ": unknown element '" + std::string(written.substr(0, 16)) +
                   "', read as the dummy atom X";
    };

    // Header scan: every line up to and including the first atom record.
    // Lines and tokens of any length are held as they are.
    textio::LineCursor cursor(textio::SkipByteOrderMark(text));
    std::string_view line;
    bool found = false;
    bool columns = false;
    while (cursor.Next(line)) {
        header_info.emplace_back(line);
        ++header_lines;
        const std::string_view token = textio::FirstWord(line);
        if (token == "ATOM" || token == "HETATM") {
            found = true;
            columns = IsColumnRecord(line);
            break;
        }
        // "HETATM12345": a five-digit serial number runs into the record
        // name of a standard record
        if (IsColumnRecord(line)) {
            found = true;
            columns = true;
            break;
        }
        if (token == "CRYST1")
            ReadCryst1(line);
    }
    if (!found) {
        refusal = {0, "holds no ATOM or HETATM record"};
        return false;
    }

    // a rough guess of the atom count keeps the vectors from growing often
    const std::size_t guess = cursor.Remaining() / 81 + 1;
    xyz.reserve(guess);
    idx.reserve(guess);
    if (columns)
        v_atom_info.reserve(guess);

    if (columns) {
        // Standard PDB entries: every ATOM and HETATM record of the first
        // model, across TER records and chains, up to ENDMDL, END or the end
        // of the file. Chain identifiers, insertion codes, segment
        // identifiers and charges are not needed.
        pdb_format = PDB_FORMAT_COLUMNS;
        do {
            if (IsColumnAtomName(line)) {
                glm::vec3 p;
                if (!ParseColumnPosition(line, false, p) || !FitsFloat(p)) {
                    refusal = {cursor.LineNumber(),
                               textio::Quoted(line.substr(std::min<std::size_t>(line.size(), 30), 24)) +
                                   " in columns 31-54 is not three coordinates"};
                    return false;
                }
                xyz.push_back(p);
                idx.push_back(ColumnElement(line));
                const bool element_field = line.size() >= 78 && (line[76] != ' ' || line[77] != ' ');
                check_element(idx.back(), element_field ? line.substr(76, 2) : line.substr(12, 4), cursor.LineNumber());
                v_atom_info.push_back(ColumnDetails(line, idx.back()));
            } else {
                const std::string_view token = textio::FirstWord(line);
                if (token == "END" || token == "ENDMDL" || token == "MODEL")
                    break;
            }
        } while (cursor.Next(line));
    } else {
        pdb_format = DetectVariant(line);
        if (pdb_format == 0) {
            refusal = {cursor.LineNumber(), textio::Quoted(line) + " is an atom record in no layout Tesk reads"};
            return false;
        }
        if (pdb_format == 4)
            is_charges = true;
        const char* pattern = kVariants[pdb_format].read;
        // the first run of atom records: it ends at the first other line (TER,
        // END, a blank line); a last record without a line feed counts
        for (;;) {
            float v[4];
            int floats = 0;
            std::string_view element;
            ScanRecord(line, pattern, v, &element, &floats);
            const glm::vec3 position(v[0], v[1], v[2]);
            // the record must give its three coordinates
            if (floats < 3 || !FitsFloat(position)) {
                refusal = {cursor.LineNumber(), textio::Quoted(line) + " does not give three coordinates"};
                return false;
            }
            xyz.push_back(position);
            idx.push_back(::GetAtomIndex(element.data(), element.size()));
            check_element(idx.back(), element, cursor.LineNumber());
            if (!cursor.Next(line))
                break;
            const std::string_view token = textio::FirstWord(line);
            if (token != "ATOM" && token != "HETATM")
                break;
        }
    }
    if (xyz.empty() || xyz.size() > 0xffffffffu) {
        refusal = {0, "holds no atoms that can be read"};
        return false;
    }
    total_atoms = uint32_t(xyz.size());
    v_carte_xyz = xyz;
    min_coord = max_coord = xyz[0];
    for (const glm::vec3& p : xyz) {
        min_coord = glm::min(min_coord, p);
        max_coord = glm::max(max_coord, p);
    }
    return true;
}

bool CPdb::ReadFile(std::string, std::string f, std::vector<glm::vec3>& xyz, std::vector<unsigned>& idx)
{
    try {
        std::string text;
        if (!textio::ReadWholeFile(f, text))
            return false;
        return ReadText(text, xyz, idx);
    } catch (const std::exception&) {
        return false;
    }
}

bool CPdb::ReadText(std::string_view text, std::vector<glm::vec3>& xyz, std::vector<unsigned>& idx)
{
    try {
        CPdb fresh;
        std::vector<glm::vec3> positions;
        std::vector<unsigned> indices;
        if (!fresh.Parse(text, positions, indices)) {
            refusal = fresh.refusal;
            return false;
        }
        *this = std::move(fresh);
        xyz.swap(positions);
        idx.swap(indices);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

namespace {

// A number right-aligned in `columns` columns, at most `longest` of them
// used, with 3 decimals or as few as `fewest` when it is too wide for them;
// false when it does not fit even so.
bool AppendInColumns(std::string& out, double value, std::size_t columns, std::size_t longest, int fewest)
{
    for (int decimals = 3; decimals >= fewest; --decimals) {
        char text[64];
        const auto r = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
        if (r.ec != std::errc())
            return false;
        const std::size_t length = std::size_t(r.ptr - text);
        if (length <= longest) {
            out.append(columns - length, ' ');
            out.append(text, length);
            return true;
        }
    }
    return false;
}

// A coordinate in its 8 columns, with at least one decimal.
bool AppendCoordinate(std::string& out, double value)
{
    return AppendInColumns(out, value, 8, 8, 1);
}

}  // namespace

namespace {

// Occupancy and B-factor have six columns each: a value too wide for two
// decimals gets fewer, one too wide for any is left blank, since a wider
// field would push the element out of its columns.
void AppendColumns6(std::string& out, float value)
{
    char field[32];
    for (int decimals = 2; decimals >= 0; --decimals) {
        const int n = std::snprintf(field, sizeof field, "%6.*f", decimals, double(value));
        if (n == 6) {
            out += field;
            return;
        }
    }
    out += "      ";
}

}  // namespace

bool CPdb::SaveFile(std::string, std::string f, const std::vector<unsigned>& idx)
{
    try {
        std::string out, why;
        if (!AppendHeader(out, why) || !AppendAtoms(out, idx))
            return false;
        out += "END\n";
        return textio::WriteFileAtomically(f, out);
    } catch (const std::exception&) {
        return false;
    }
}

bool CPdb::AppendHeader(std::string& out, std::string& why) const
{
    // CRYST1 lengths have 9 columns, one kept blank so that the numbers stay
    // apart: up to 99,999,999 A, with fewer decimals the longer they are; a
    // flat or endless cell has no angles at all
    std::string cryst1 = "CRYST1";
    if (is_periodic) {
        double p[6];
        CellParameters(cell_xyz, p);
        bool fits = true;
        for (int k = 0; k < 3 && fits; ++k)
            fits = AppendInColumns(cryst1, p[k], 9, 8, 0);
        char angles[64];
        std::snprintf(angles, sizeof angles, "%7.2f%7.2f%7.2f P 1           1\n", p[3], p[4], p[5]);
        cryst1 += angles;
        // angles keep two decimals: a nearly flat cell can turn flat in
        // them, and would come back without a cell; judge the record as the
        // reader will see it
        CPdb reread;
        if (fits)
            reread.ReadCryst1(cryst1);
        if (!fits || !reread.is_periodic) {
            why =
                "its cell cannot be written as CRYST1 (flat, endless, the 1 A placeholder or longer than 99,999,999 A)";
            return false;
        }
    }
    if (header_info.size() < 2) {
        out += "HEADER    Tesk ";
        out += AutoVersion::STATUS;
        out += ' ';
        out += AutoVersion::UBUNTU_VERSION_STYLE;
        out += '\n';
    } else {
        // CRYST1 is written from the cell; MODEL records belong to the frames
        for (std::size_t i = 0; i + 1 < header_info.size(); ++i) {
            const std::string_view record = textio::FirstWord(header_info[i]);
            if ((!is_periodic || record != "CRYST1") && record != "MODEL")
                textio::AppendLine(out, header_info[i]);
        }
    }
    if (is_periodic)
        out += cryst1;
    return true;
}

bool CPdb::AppendAtoms(std::string& out, const std::vector<unsigned>& idx) const
{
    const std::size_t n = v_carte_xyz.size();
    if (idx.size() != n)
        return false;
    for (unsigned e : idx)
        if (e >= species_count)
            return false;
    const bool details = v_atom_info.size() == n;
    out.reserve(out.size() + n * 82 + 256);
    char line[128];
    for (std::size_t u = 0; u < n; ++u) {
        CPdbAtom a = details ? v_atom_info[u] : CPdbAtom();
        const std::string& s = element_symbol[idx[u]];
        char element[3] = {' ', ' ', '\0'};
        for (std::size_t k = 0; k < s.size() && k < 2; ++k)
            element[2 - s.size() + k] = char(std::toupper(static_cast<unsigned char>(s[k])));
        if (!details || a.element != idx[u] || std::strlen(a.name) != 4) {
            // a one-letter element starts in column 14, a two-letter one in 13
            std::snprintf(a.name, sizeof a.name, s.size() == 1 ? " %c  " : "%c%c  ", element[s.size() == 1 ? 1 : 0],
                          element[1]);
        }
        // Control characters read from a damaged file become blanks: a NUL
        // chain would end the line early and shift every later column.
        for (char* text : {a.name, a.residue})
            for (char* c = text; *c; ++c)
                if (static_cast<unsigned char>(*c) < 0x20 || *c == 0x7f)
                    *c = ' ';
        if (static_cast<unsigned char>(a.chain) < 0x20 || a.chain == 0x7f)
            a.chain = ' ';
        // serial numbers have five columns; larger ones wrap as in big PDB entries
        std::snprintf(line, sizeof line, "%-6.6s%5u %-4.4s %-3.3s %c%4d    ", a.record, unsigned((u + 1) % 100000),
                      a.name, a.residue, a.chain, a.residue_number);
        out += line;
        const glm::vec3& p = v_carte_xyz[u];
        for (int k = 0; k < 3; ++k)
            if (!AppendCoordinate(out, double(p[k])))
                return false;
        AppendColumns6(out, a.occupancy);
        AppendColumns6(out, a.b_factor);
        std::snprintf(line, sizeof line, "          %s\n", element);
        out += line;
    }
    return true;
}

bool AppendPdbFrame(const CPdb& writer, std::string& out, const std::vector<unsigned>& elements,
                    const io::FrameSlot& slot, std::string& why)
{
    if (slot.is_first && !writer.AppendHeader(out, why))
        return false;
    if (slot.is_several)
        out += "MODEL     " + std::to_string(slot.number + 1) + '\n';
    if (!writer.AppendAtoms(out, elements)) {
        why = "a coordinate does not fit the 8 columns of PDB; save as mmCIF";
        return false;
    }
    if (slot.is_several)
        out += "ENDMDL\n";
    return true;
}

void CPdb::DeleteAtom(unsigned u)
{
    if (u < v_atom_info.size() && v_atom_info.size() == v_carte_xyz.size())
        v_atom_info.erase(v_atom_info.begin() + u);
    if (u < v_carte_xyz.size())
        v_carte_xyz.erase(v_carte_xyz.begin() + u);
}

void CPdb::InsertAtom(unsigned u, const glm::vec3& r, const CPdbAtom* info)
{
    if (u > v_carte_xyz.size())
        return;
    // the details stay in step with the positions, or are not kept at all
    if (info && v_atom_info.size() == v_carte_xyz.size())
        v_atom_info.insert(v_atom_info.begin() + u, *info);
    v_carte_xyz.insert(v_carte_xyz.begin() + u, r);
}

void CPdb::CenterCoordinates()
{
    const glm::vec3 center = (min_coord + max_coord) * 0.5f;
    for (glm::vec3& p : v_carte_xyz)
        p -= center;
}
