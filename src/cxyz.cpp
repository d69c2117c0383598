#include "cxyz.h"

#include <cerrno>
#include <charconv>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string_view>

#include "elements.h"
#include "textio.h"

namespace {

// Blanks inside one line; a line feed never occurs there.
inline bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

// The first line converted as "%i" does: leading blanks, a sign, and base
// 8 for a leading 0, base 16 for 0x. False when no number starts the line
// or it does not fit an int.
bool ParseCount(std::string_view line, long& count) {
    const std::string text(line);
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(begin, &end, 0);
    if (end == begin || errno == ERANGE || value > INT_MAX || value < INT_MIN) return false;
    count = value;
    return true;
}

// Nine numbers of a cell text split at blanks, each piece read for its
// leading number. Pieces that hold no number (words such as "Cell=") are
// passed over. False for fewer than nine numbers or one that is not finite.
bool ParseCellNumbers(std::string_view text, glm::dmat3& cell) {
    double numbers[9];
    int found = 0;
    const char* p = text.data();
    const char* const end = text.data() + text.size();
    while (found < 9) {
        while (p < end && IsBlank(*p)) ++p;
        if (p >= end) break;
        const char* piece_end = p;
        while (piece_end < end && !IsBlank(*piece_end)) ++piece_end;
        const char* q = p;
        double v = 0.0;
        if (textio::ScanNumber(q, piece_end, v)) {
            if (!std::isfinite(v)) return false;
            numbers[found++] = v;
        }
        p = piece_end;
    }
    if (found < 9) return false;
    for (int c = 0; c < 3; ++c)
        for (int r = 0; r < 3; ++r) cell[c][r] = numbers[3 * c + r];
    return true;
}

// The quoted value of an extended-XYZ Lattice="..." key, if the line has one.
bool FindLattice(std::string_view line, std::string_view& value) {
    static const char key[] = "lattice";
    const std::size_t key_size = sizeof key - 1;
    for (std::size_t at = 0; at + key_size <= line.size(); ++at) {
        if (at > 0 && !IsBlank(line[at - 1])) continue;
        std::size_t k = 0;
        while (k < key_size) {
            char c = line[at + k];
            if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
            if (c != key[k]) break;
            ++k;
        }
        if (k < key_size) continue;
        std::size_t p = at + key_size;
        while (p < line.size() && IsBlank(line[p])) ++p;
        if (p >= line.size() || line[p] != '=') continue;
        ++p;
        while (p < line.size() && IsBlank(line[p])) ++p;
        if (p >= line.size() || line[p] != '"') continue;
        const std::size_t close = line.find('"', p + 1);
        if (close == std::string_view::npos) continue;
        value = line.substr(p + 1, close - p - 1);
        return true;
    }
    return false;
}

struct Header {
    long count = 0;
    bool periodic = false;
    bool cell_keyword = false;
    glm::dmat3 cell{1.0};
};

// Count line and comment line. The count must be a positive number.
bool ParseHeader(textio::LineCursor& cursor, const std::string& f, Header& header, io::Refusal& refusal) {
    std::string_view line;
    if (!cursor.Next(line)) {
        refusal = {0, "is empty"};
        return false;
    }
    if (!ParseCount(line, header.count) || header.count <= 0) {
        refusal = {1, textio::Quoted(line) + " is not a count of atoms"};
        return false;
    }
    if (!cursor.Next(line)) {
        refusal = {1, "the file ends before the comment line"};
        return false;
    }
    if (line.find("Cell") != std::string_view::npos) {
        // the cell text runs from the first to the last double quote
        std::string_view text = line;
        const std::size_t first = line.find('"');
        if (first != std::string_view::npos) {
            const std::size_t last = line.rfind('"');
            text = last > first ? line.substr(first + 1, last - first - 1) : std::string_view();
        }
        header.periodic = ParseCellNumbers(text, header.cell);
        header.cell_keyword = true;
        if (!header.periodic)
            std::printf("%s: the Cell of line 2 does not hold nine numbers; read without a cell\n", f.c_str());
    } else {
        std::string_view lattice;
        if (FindLattice(line, lattice)) {
            header.periodic = ParseCellNumbers(lattice, header.cell);
            if (!header.periodic)
                std::printf("%s: the Lattice of line 2 does not hold nine numbers; read without a cell\n",
                            f.c_str());
        }
    }
    return true;
}

}  // namespace

CXyz::CXyz() = default;

unsigned CXyz::GetAtomIndex(std::string s) const { return ::GetAtomIndex(s); }

bool CXyz::GetFormat(std::string d, std::string f) {
    (void)d;
    try {
        std::string text;
        if (!textio::ReadWholeFile(f, text)) return false;
        textio::LineCursor cursor(text);
        Header header;
        if (!ParseHeader(cursor, f, header, refusal)) return false;
        total_atoms = static_cast<unsigned>(header.count);
        is_periodic = header.periodic;
        is_cell_keyword = header.cell_keyword;
        if (header.periodic) cell_xyz = header.cell;
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool CXyz::ReadFile(std::string d, std::string f, std::vector<glm::vec3>& xyz, std::vector<unsigned>& idx) {
    (void)d;
    try {
        std::string text;
        if (!textio::ReadWholeFile(f, text)) return false;
        return ReadText(text, f, xyz, idx);
    } catch (const std::exception&) {
        return false;
    }
}

bool CXyz::ReadText(std::string_view text, const std::string& f, std::vector<glm::vec3>& xyz,
                    std::vector<unsigned>& idx) {
    try {
        textio::LineCursor cursor(text);
        Header header;
        if (!ParseHeader(cursor, f, header, refusal)) return false;

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
        for (std::size_t k = 0; k < n; ++k) {
            if (!cursor.Next(line)) {
                refusal = {cursor.LineNumber(), "the file ends after " + std::to_string(k) + " of " +
                                                    std::to_string(n) + " atoms"};
                return false;
            }
            const char* p = line.data();
            const char* const end = p + line.size();
            while (p < end && IsBlank(*p)) ++p;
            const char* const name = p;
            while (p < end && !IsBlank(*p)) ++p;
            if (p == name) {
                refusal = {cursor.LineNumber(), "a blank line stands where atom " + std::to_string(k + 1) + " of " +
                                                    std::to_string(n) + " should"};
                return false;
            }
            const unsigned element = ::GetAtomIndex(name, static_cast<std::size_t>(p - name));
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
        if (header.periodic) cell_xyz = header.cell;
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

bool CXyz::SaveFile(std::string d, std::string f, const std::vector<unsigned>& idx) {
    (void)d;
    if (idx.size() != v_carte_xyz.size()) return false;
    try {
        std::string out;
        out.reserve(v_carte_xyz.size() * 64 + 32);
        out += std::to_string(v_carte_xyz.size());
        out += '\n';
        if (is_periodic) {
            // the nine numbers in their shortest form that reads back exactly
            std::string cell;
            char number[32];
            for (int c = 0; c < 3; ++c)
                for (int r = 0; r < 3; ++r) {
                    const auto res = std::to_chars(number, number + sizeof number, cell_xyz[c][r]);
                    if (res.ec != std::errc()) return false;
                    if (!cell.empty()) cell += ' ';
                    cell.append(number, res.ptr);
                }
            if (is_cell_keyword)
                out += "Cell=\"" + cell + "\"";
            else
                out += "Lattice=\"" + cell + "\" Properties=species:S:1:pos:R:3 pbc=\"T T T\"";
        }
        out += '\n';
        for (std::size_t k = 0; k < v_carte_xyz.size(); ++k) {
            const std::string& name = symbol[idx[k] < periodic_table_atoms ? idx[k] : DUMMY_ATOM_INDEX];
            out += name;
            out.append(3 - name.size(), ' ');
            for (int c = 0; c < 3; ++c)
                if (!textio::AppendFixed(out, v_carte_xyz[k][c], 20, 12, c > 0)) return false;
            out += '\n';
        }
        return textio::WriteFileAtomically(f, out);
    } catch (const std::exception&) {
        return false;
    }
}

void CXyz::DeleteAtom(unsigned u) {
    if (u < v_carte_xyz.size()) v_carte_xyz.erase(v_carte_xyz.begin() + u);
}

void CXyz::InsertAtom(unsigned u, const glm::dvec3& r) {
    if (u <= v_carte_xyz.size()) v_carte_xyz.insert(v_carte_xyz.begin() + u, r);
}

void CXyz::CenterCoordinates() {
    const glm::dvec3 c = (min_coord + max_coord) * 0.5;
    for (glm::dvec3& r : v_carte_xyz) r -= c;
}
