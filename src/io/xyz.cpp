#include "io/xyz.h"

#include <cerrno>
#include <charconv>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <string_view>

#include "core/elements.h"
#include "io/textio.h"

namespace {

using textio::IsBlank;

// Nine numbers of a cell text split at blanks, each piece read for its
// leading number. Pieces that hold no number (words such as "Cell=") are
// passed over. False for fewer than nine numbers or one that is not finite.
bool ParseCellNumbers(std::string_view text, glm::dmat3& cell)
{
    double numbers[9];
    int found = 0;
    const char* p = text.data();
    const char* const end = text.data() + text.size();
    while (found < 9) {
        while (p < end && IsBlank(*p))
            ++p;
        if (p >= end)
            break;
        const char* piece_end = p;
        while (piece_end < end && !IsBlank(*piece_end))
            ++piece_end;
        const char* q = p;
        double v = 0.0;
        if (textio::ScanNumber(q, piece_end, v)) {
            if (!std::isfinite(v))
                return false;
            numbers[found++] = v;
        }
        p = piece_end;
    }
    if (found < 9)
        return false;
    for (int c = 0; c < 3; ++c)
        for (int r = 0; r < 3; ++r)
            cell[c][r] = numbers[3 * c + r];
    return true;
}

// Where `key` (any case) starts a word of the line and is followed by
// blanks and one of `marks`: the place just after the mark, else npos.
std::size_t FindKey(std::string_view line, std::string_view key, std::string_view marks, std::size_t& key_at)
{
    for (std::size_t at = 0; at + key.size() <= line.size(); ++at) {
        if (at > 0 && !IsBlank(line[at - 1]))
            continue;
        std::size_t k = 0;
        while (k < key.size()) {
            char c = line[at + k];
            if (c >= 'A' && c <= 'Z')
                c = char(c - 'A' + 'a');
            if (c != key[k])
                break;
            ++k;
        }
        if (k < key.size())
            continue;
        std::size_t p = at + key.size();
        while (p < line.size() && IsBlank(line[p]))
            ++p;
        if (p >= line.size() || marks.find(line[p]) == std::string_view::npos)
            continue;
        key_at = at;
        return p + 1;
    }
    return std::string_view::npos;
}

// The value of an extended-XYZ key="..." (or key=word) and where the whole
// pair lies in the line. False when the line has no such key.
bool FindValue(std::string_view line, std::string_view key, std::string_view& value, std::size_t& from, std::size_t& to)
{
    std::size_t p = FindKey(line, key, "=", from);
    if (p == std::string_view::npos)
        return false;
    while (p < line.size() && IsBlank(line[p]))
        ++p;
    if (p < line.size() && line[p] == '"') {
        const std::size_t close = line.find('"', p + 1);
        if (close == std::string_view::npos)
            return false;
        value = line.substr(p + 1, close - p - 1);
        to = close + 1;
        return true;
    }
    std::size_t end = p;
    while (end < line.size() && !IsBlank(line[end]))
        ++end;
    value = line.substr(p, end - p);
    to = end;
    return true;
}

// The line without one key=value pair and the blanks after it.
std::string WithoutPair(std::string_view line, std::size_t from, std::size_t to)
{
    while (to < line.size() && IsBlank(line[to]))
        ++to;
    std::string rest(line.substr(0, from));
    rest.append(line.substr(to));
    while (!rest.empty() && IsBlank(rest.back()))
        rest.pop_back();
    return rest;
}

struct Header {
    long count = 0;
    bool periodic = false;
    bool cell_keyword = false;
    glm::dmat3 cell{1.0};
    glm::bvec3 pbc{true};
    std::string comment;
    std::string note;
};

// Count line and comment line. The count must be a positive number. The
// cell comes as Cell="nine numbers" (or Cell: and the numbers) or as the
// extended-XYZ Lattice="..." with its pbc flags; another word that merely
// starts with "Cell" is no cell.
bool ParseHeader(textio::LineCursor& cursor, Header& header, io::Refusal& refusal)
{
    std::string_view line;
    if (!cursor.Next(line)) {
        refusal = {0, "is empty"};
        return false;
    }
    if (!textio::ParseCountLine(line, header.count) || header.count <= 0) {
        refusal = {1, textio::Quoted(line) + " is not a count of atoms"};
        return false;
    }
    if (!cursor.Next(line)) {
        refusal = {1, "the file ends before the comment line"};
        return false;
    }
    while (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    header.comment = std::string(line);
    std::size_t key_at = 0;
    const std::size_t after = FindKey(line, "cell", "=:", key_at);
    if (after != std::string_view::npos && line.compare(key_at, 4, "Cell") == 0) {
        // the cell text runs from the first to the last double quote
        std::string_view text = line.substr(after);
        const std::size_t first = text.find('"');
        if (first != std::string_view::npos) {
            const std::size_t last = text.rfind('"');
            text = last > first ? text.substr(first + 1, last - first - 1) : std::string_view();
        }
        header.periodic = ParseCellNumbers(text, header.cell);
        header.cell_keyword = true;
        if (!header.periodic)
            header.note = "the Cell of line 2 does not hold nine numbers; read without a cell";
        return true;
    }
    std::string_view lattice;
    std::size_t from = 0, to = 0;
    if (FindValue(line, "lattice", lattice, from, to)) {
        header.periodic = ParseCellNumbers(lattice, header.cell);
        if (!header.periodic)
            header.note = "the Lattice of line 2 does not hold nine numbers; read without a cell";
    }
    std::string_view pbc;
    if (FindValue(line, "pbc", pbc, from, to)) {
        // "T T F", "true true false": one word per axis; "TTF": one letter each
        const bool letters = pbc.find_first_of(" \t") == std::string_view::npos && pbc.size() == 3;
        int axis = 0;
        for (std::size_t k = 0; k < pbc.size() && axis < 3; ++k) {
            if (IsBlank(pbc[k]))
                continue;
            header.pbc[axis++] = pbc[k] == 'T' || pbc[k] == 't';
            if (!letters)
                while (k + 1 < pbc.size() && !IsBlank(pbc[k + 1]))
                    ++k;  // the rest of "true"
        }
    }
    return true;
}

}  // namespace

CXyz::CXyz() = default;

unsigned CXyz::GetAtomIndex(std::string s) const
{
    return ::GetAtomIndex(s);
}

bool CXyz::ReadFile(std::string d, std::string f, std::vector<glm::vec3>& xyz, std::vector<unsigned>& idx)
{
    (void)d;
    try {
        std::string text;
        if (!textio::ReadWholeFile(f, text))
            return false;
        return ReadText(text, f, xyz, idx);
    } catch (const std::exception&) {
        return false;
    }
}

bool CXyz::ReadText(std::string_view text, const std::string& f, std::vector<glm::vec3>& xyz,
                    std::vector<unsigned>& idx)
{
    (void)f;
    try {
        textio::LineCursor cursor(textio::SkipByteOrderMark(text));
        Header header;
        if (!ParseHeader(cursor, header, refusal))
            return false;

        // The shortest atom line, "H 0 0 0", and its line feed take 8 bytes:
        // a count the rest of the file cannot hold is refused before any
        // memory is taken for it.
        const std::size_t n = static_cast<std::size_t>(header.count);
        if (n > (cursor.Remaining() + 1) / 8) {
            refusal = {1, "the count " + std::to_string(n) + " is more atoms than the file can hold"};
            return false;
        }

        std::vector<glm::dvec3> carte(n);
        std::vector<glm::vec3> positions(n);
        std::vector<unsigned> elements(n);
        glm::dvec3 lo(0.0), hi(0.0);
        std::string_view line;
        std::string unknown;  // the first symbol that names no element
        for (std::size_t k = 0; k < n; ++k) {
            if (!cursor.Next(line)) {
                refusal = {cursor.LineNumber(),
                           "the file ends after " + std::to_string(k) + " of " + std::to_string(n) + " atoms"};
                return false;
            }
            const char* p = line.data();
            const char* const end = p + line.size();
            while (p < end && IsBlank(*p))
                ++p;
            const char* const name = p;
            while (p < end && !IsBlank(*p))
                ++p;
            if (p == name) {
                refusal = {cursor.LineNumber(), "a blank line stands where atom " + std::to_string(k + 1) + " of " +
                                                    std::to_string(n) + " should"};
                return false;
            }
            const std::size_t name_size = static_cast<std::size_t>(p - name);
            const unsigned element = ::GetAtomIndex(name, name_size);
            if (unknown.empty() && element == DUMMY_ATOM_INDEX && IsUnknownSymbol(name, name_size))
                unknown = "line " + std::to_string(cursor.LineNumber()) + ": unknown element '" +
                          std::string(name, name_size).substr(0, 16) + "', read as the dummy atom X";
            const std::string_view numbers(p, static_cast<std::size_t>(end - p));
            glm::dvec3 r;
            for (int c = 0; c < 3; ++c) {
                if (!textio::ScanNumber(p, end, r[c])) {
                    refusal = {cursor.LineNumber(), textio::Quoted(numbers) + " is not three numbers"};
                    return false;
                }
                // the model draws in float: a value beyond its range is as
                // unusable as infinity
                if (!std::isfinite(r[c]) || std::fabs(r[c]) > double(FLT_MAX)) {
                    refusal = {cursor.LineNumber(), textio::Quoted(numbers) + " holds a number out of range"};
                    return false;
                }
            }
            carte[k] = r;
            positions[k] = glm::vec3(r);
            elements[k] = element;
            if (k == 0) {
                lo = hi = r;
            } else {
                lo = glm::min(lo, r);
                hi = glm::max(hi, r);
            }
        }

        header_lines = 1;
        total_atoms = static_cast<unsigned>(n);
        is_periodic = header.periodic;
        is_cell_keyword = header.cell_keyword;
        if (header.periodic)
            cell_xyz = header.cell;
        v_pbc = header.pbc;
        comment = std::move(header.comment);
        note = header.note;
        if (!unknown.empty())
            note += (note.empty() ? "" : "; ") + unknown;
        min_coord = lo;
        max_coord = hi;
        v_carte_xyz.swap(carte);
        xyz.swap(positions);
        idx.swap(elements);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

namespace {

// The comment line of a save: the comment read with the cell in its place.
// Cell="..." takes the place of the Cell text read; the extended-XYZ
// Lattice goes first with the columns and pbc flags this writer writes, and
// the comment's other key=value pairs follow.
std::string CommentWithCell(const std::string& comment, const std::string& cell, bool cell_keyword,
                            const glm::bvec3& pbc)
{
    std::string rest = comment;
    std::string_view value;
    std::size_t from = 0, to = 0;
    if (cell_keyword) {
        const std::size_t after = FindKey(rest, "cell", "=:", from);
        if (after != std::string::npos) {
            const std::size_t first = rest.find('"', after), last = rest.rfind('"');
            if (first != std::string::npos && last > first) {
                rest = WithoutPair(rest, from, last + 1);
            } else {  // Cell: and nine numbers
                to = after;
                for (int k = 0; k < 9; ++k) {
                    while (to < rest.size() && IsBlank(rest[to]))
                        ++to;
                    while (to < rest.size() && !IsBlank(rest[to]))
                        ++to;
                }
                rest = WithoutPair(rest, from, to);
            }
        }
        return "Cell=\"" + cell + "\"" + (rest.empty() ? "" : " " + rest);
    }
    for (const char* key : {"lattice", "properties", "pbc"})
        while (FindValue(rest, key, value, from, to))
            rest = WithoutPair(rest, from, to);
    std::string flags;
    for (int a = 0; a < 3; ++a)
        flags += std::string(a ? " " : "") + (pbc[a] ? "T" : "F");
    return "Lattice=\"" + cell + "\" Properties=species:S:1:pos:R:3 pbc=\"" + flags + "\"" +
           (rest.empty() ? "" : " " + rest);
}

}  // namespace

bool CXyz::AppendText(std::string& out, const std::vector<unsigned>& idx) const
{
    if (idx.size() != v_carte_xyz.size())
        return false;
    out.reserve(out.size() + v_carte_xyz.size() * 56 + comment.size() + 256);
    out += std::to_string(v_carte_xyz.size());
    out += '\n';
    if (is_periodic) {
        // the nine numbers in their shortest form that reads back exactly
        std::string cell;
        char number[32];
        for (int c = 0; c < 3; ++c)
            for (int r = 0; r < 3; ++r) {
                const auto res = std::to_chars(number, number + sizeof number, cell_xyz[c][r]);
                if (res.ec != std::errc())
                    return false;
                if (!cell.empty())
                    cell += ' ';
                cell.append(number, res.ptr);
            }
        out += CommentWithCell(comment, cell, is_cell_keyword, v_pbc);
    } else {
        // the columns written are the symbol and the position, whatever
        // columns the file read had
        std::string_view value;
        std::size_t from = 0, to = 0;
        if (FindValue(comment, "properties", value, from, to))
            out += "Properties=species:S:1:pos:R:3 " + WithoutPair(comment, from, to);
        else
            out += comment;
    }
    out += '\n';
    for (std::size_t k = 0; k < v_carte_xyz.size(); ++k) {
        const std::string& name = element_symbol[idx[k] < species_count ? idx[k] : DUMMY_ATOM_INDEX];
        out += name;
        out.append(3 - name.size(), ' ');
        for (int c = 0; c < 3; ++c)
            textio::AppendShortest(out, v_carte_xyz[k][c], 16, c > 0);
        out += '\n';
    }
    return true;
}

bool CXyz::SaveFile(std::string d, std::string f, const std::vector<unsigned>& idx)
{
    (void)d;
    try {
        std::string out;
        return AppendText(out, idx) && textio::WriteFileAtomically(f, out);
    } catch (const std::exception&) {
        return false;
    }
}

void CXyz::DeleteAtom(unsigned u)
{
    if (u < v_carte_xyz.size())
        v_carte_xyz.erase(v_carte_xyz.begin() + u);
}

void CXyz::InsertAtom(unsigned u, const glm::dvec3& r)
{
    if (u <= v_carte_xyz.size())
        v_carte_xyz.insert(v_carte_xyz.begin() + u, r);
}

void CXyz::CenterCoordinates()
{
    const glm::dvec3 c = (min_coord + max_coord) * 0.5;
    for (glm::dvec3& r : v_carte_xyz)
        r -= c;
}
