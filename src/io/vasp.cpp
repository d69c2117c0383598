#include "io/vasp.h"

#include <cmath>
#include <cstring>
#include <new>
#include <utility>

#include "core/elements.h"
#include "io/textio.h"

namespace {

using textio::IsSpace;

// Separators of the species, counts and title tokens: blanks, and tabs too,
// which editors and some tools put there; a carriage return of a file saved
// with CR LF line ends must not become part of the last token.
inline bool IsSeparator(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

void SplitTokens(std::string_view line, std::vector<std::string_view>& out)
{
    out.clear();
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && IsSeparator(line[i]))
            ++i;
        const std::size_t start = i;
        while (i < line.size() && !IsSeparator(line[i]))
            ++i;
        if (i > start)
            out.push_back(line.substr(start, i - start));
    }
}

// Number of leading numbers of a line, at most `count`, read into `values`.
int ScanDoubles(std::string_view line, double* values, int count)
{
    const char* p = line.data();
    const char* end = p + line.size();
    int n = 0;
    while (n < count && textio::ScanNumber(p, end, values[n]))
        ++n;
    return n;
}

// The layout test of line 6 ("%d %d %d"): -1 at the end of the input, 0 when
// the first token is no integer, 1 otherwise (only the first matters).
int FirstIntegerConversion(std::string_view line)
{
    std::size_t i = 0;
    while (i < line.size() && IsSpace(line[i]))
        ++i;
    if (i == line.size())
        return -1;
    if (line[i] == '+' || line[i] == '-')
        ++i;
    return (i < line.size() && line[i] >= '0' && line[i] <= '9') ? 1 : 0;
}

// A count token read as a decimal integer (its leading digits, none gives 0).
// False for a negative count. Large values saturate; the caller compares the
// sum with what the file can hold.
bool ParseCount(std::string_view token, uint64_t& count)
{
    std::size_t i = 0;
    bool negative = false;
    if (i < token.size() && (token[i] == '+' || token[i] == '-'))
        negative = (token[i++] == '-');
    uint64_t v = 0;
    for (; i < token.size() && token[i] >= '0' && token[i] <= '9'; ++i) {
        v = v * 10 + uint64_t(token[i] - '0');
        if (v > (uint64_t(1) << 40))
            v = uint64_t(1) << 40;
    }
    if (negative && v != 0)
        return false;
    count = v;
    return true;
}

// First character of a line after leading blanks; a blank line gives 0.
char FirstNonBlank(const char* line)
{
    while (*line == ' ' || *line == '\t')
        ++line;
    return *line;
}

// The element a label after a position names ("Fe", "Fe1", "O2-"): its
// leading letters must be exactly an element symbol.
bool LabelElement(std::string_view token, unsigned& index)
{
    std::size_t n = 0;
    while (n < token.size() && n < 3 && ((token[n] >= 'A' && token[n] <= 'Z') || (token[n] >= 'a' && token[n] <= 'z')))
        ++n;
    return IsElementSymbol(token.data(), n, index);
}

inline bool Finite(const double* v, int n)
{
    for (int i = 0; i < n; ++i)
        if (!std::isfinite(v[i]))
            return false;
    return true;
}

}  // namespace

CVasp::CVasp()
{
    is_periodic = false;
}

unsigned CVasp::GetAtomIndex(std::string s) const
{
    return ::GetAtomIndex(s);
}

bool CVasp::ReadPotcar(std::string d)
{
    try {
        std::string text;
        if (!textio::ReadWholeFile(d + "/POTCAR", text))
            return false;
        textio::LineCursor cursor(text);
        std::string_view line;
        // lines of any length: the whole file is in memory, nothing is cut
        while (cursor.Next(line)) {
            if (line.find("VRHFIN") == std::string_view::npos)
                continue;
            const std::size_t eq = line.rfind('=');
            if (eq == std::string_view::npos)
                continue;  // no "=": no symbol, the line is skipped
            std::string_view rest = line.substr(eq + 1);
            auto separator = [](char c) { return c == ' ' || c == '=' || c == ':' || c == '\t' || c == '\r'; };
            std::size_t i = 0;
            while (i < rest.size() && separator(rest[i]))
                ++i;
            std::size_t j = i;
            while (j < rest.size() && !separator(rest[j]))
                ++j;
            if (j == i)
                continue;  // nothing but separators: skipped as well
            v_table_index.push_back(::GetAtomIndex(rest.data() + i, j - i));
        }
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool CVasp::Recognise(const std::string& d, textio::LineCursor& cursor, std::string_view& first_coordinate_line)
{
    note.clear();
    is_periodic = false;
    is_extended = false;
    header_lines = 0;
    total_atoms = 0;
    v_table_index.clear();
    v_table_atoms.clear();

    // Header scan up to the first line, from line 8 on, that starts with
    // three numbers. A header that needs more than the ten slots, a line
    // longer than a slot, or a file that ends first is refused.
    bool found = false;
    std::string_view line;
    while (cursor.Next(line)) {
        if (header_lines >= HEADER_SLOTS)
            return false;
        if (line.size() >= HEADER_SLOT_SIZE)
            return false;
        std::memcpy(header_info[header_lines], line.data(), line.size());
        header_info[header_lines][line.size()] = '\0';
        ++header_lines;
        double v[3];
        if (header_lines >= 8 && ScanDoubles(line, v, 3) == 3) {
            found = true;
            first_coordinate_line = line;
            break;
        }
    }
    if (!found)
        return false;

    auto slot = [this](unsigned k) { return std::string_view(header_info[k]); };

    is_extended = FirstIntegerConversion(slot(5)) == 0;
    std::vector<std::string_view> tokens;
    std::vector<uint64_t> counts;
    auto read_counts = [&](std::string_view text) {
        SplitTokens(text, tokens);
        for (std::string_view t : tokens) {
            uint64_t c = 0;
            if (!ParseCount(t, c))
                return false;  // a negative count
            counts.push_back(c);
        }
        return true;
    };

    unsigned mode_slot;
    if (!is_extended) {
        if (!read_counts(slot(5)))
            return false;
        is_dynamics = (FirstNonBlank(header_info[6]) == 'S' || FirstNonBlank(header_info[6]) == 's');
        if (!ReadPotcar(d) && !SpeciesFromLabels(cursor, first_coordinate_line, counts)) {
            // Older POSCAR files written without a POTCAR at hand often name
            // their species in the title line ("Si O"): take them when every
            // title token is exactly an element symbol and they match the
            // counts in number.
            SplitTokens(slot(0), tokens);
            std::vector<uint32_t> species;
            for (std::string_view t : tokens) {
                unsigned index;
                if (!IsElementSymbol(t.data(), t.size(), index)) {
                    species.clear();
                    break;
                }
                species.push_back(index);
            }
            if (!species.empty() && species.size() == counts.size())
                v_table_index = species;
        }
        mode_slot = is_dynamics ? 7 : 6;
    } else {
        SplitTokens(slot(5), tokens);
        for (std::string_view t : tokens) {
            v_table_index.push_back(::GetAtomIndex(t.data(), t.size()));
            if (note.empty() && IsUnknownSymbol(t.data(), t.size()))
                note = "line 6: unknown element '" + std::string(t.substr(0, 16)) + "', read as the dummy atom X";
        }
        if (!read_counts(slot(6)))
            return false;
        is_dynamics = (FirstNonBlank(header_info[7]) == 'S' || FirstNonBlank(header_info[7]) == 's');
        mode_slot = is_dynamics ? 8 : 7;
    }
    // files written by hand or by other tools often indent these lines
    is_direct = (FirstNonBlank(header_info[mode_slot]) == 'D' || FirstNonBlank(header_info[mode_slot]) == 'd');

    glm::dmat3 lattice(1.0);
    for (int i = 0; i < 3; ++i) {
        double v[3];
        // a lattice line without three finite numbers would give a garbage cell
        if (ScanDoubles(slot(2 + unsigned(i)), v, 3) != 3 || !Finite(v, 3))
            return false;
        lattice[i] = glm::dvec3(v[0], v[1], v[2]);
    }
    // The scale line: one positive factor; a negative number, the volume
    // the cell is scaled to; or three factors, one per Cartesian axis.
    double scale[3];
    const int factors = ScanDoubles(slot(1), scale, 3);
    if (factors == 3) {
        if (!Finite(scale, 3) || !(scale[0] > 0.0 && scale[1] > 0.0 && scale[2] > 0.0))
            return false;
        v_scale = glm::dvec3(scale[0], scale[1], scale[2]);
    } else {
        if (factors < 1 || !Finite(scale, 1) || scale[0] == 0.0)
            return false;
        if (scale[0] > 0.0) {
            v_scale = glm::dvec3(scale[0]);
        } else {
            const double volume = std::fabs(glm::determinant(lattice));
            const double factor = std::cbrt(-scale[0] / volume);
            if (!(volume > 0.0) || !std::isfinite(factor) || !(factor > 0.0))
                return false;
            v_scale = glm::dvec3(factor);
        }
    }
    parameter = v_scale.x;
    for (int i = 0; i < 3; ++i) {
        cell_xyz[i] = lattice[i] * v_scale;
        const double scaled[3] = {cell_xyz[i].x, cell_xyz[i].y, cell_xyz[i].z};
        if (!Finite(scaled, 3))
            return false;
    }
    is_periodic = true;

    uint64_t sum = 0;
    for (uint64_t c : counts)
        sum += c;
    if (sum == 0)
        return false;  // no counts, or only zero counts
    // every further atom needs a line of at least "0 0 0": never believe
    // (or allocate for) a count the rest of the file cannot hold
    if (sum - 1 > (uint64_t(cursor.Remaining()) + 1) / 6)
        return false;
    total_atoms = uint32_t(sum);
    for (uint64_t c : counts)
        v_table_atoms.push_back(uint32_t(c));

    return v_table_atoms.size() == v_table_index.size();
}

bool CVasp::SpeciesFromLabels(const textio::LineCursor& cursor, std::string_view line,
                              const std::vector<uint64_t>& counts)
{
    // Each position may carry its element after the numbers (and the
    // selective-dynamics flags): "0.25 0.75 0.47 Fe". Every atom of a species
    // must name the same element.
    textio::LineCursor ahead = cursor;
    std::vector<uint32_t> species;
    for (std::size_t k = 0; k < counts.size(); ++k) {
        unsigned element = DUMMY_ATOM_INDEX;
        for (uint64_t j = 0; j < counts[k]; ++j) {
            if (!(k == 0 && j == 0) && !ahead.Next(line))
                return false;
            const char* p = line.data();
            const char* end = p + line.size();
            double v;
            for (int c = 0; c < 3; ++c)
                if (!textio::ScanNumber(p, end, v))
                    return false;
            std::vector<std::string_view> tokens;
            SplitTokens(std::string_view(p, std::size_t(end - p)), tokens);
            const std::size_t at = is_dynamics ? 3 : 0;
            unsigned index;
            if (tokens.size() <= at || !LabelElement(tokens[at], index))
                return false;
            if (j > 0 && index != element)
                return false;
            element = index;
        }
        if (counts[k] == 0)
            return false;  // an empty species names no element
        species.push_back(element);
    }
    v_table_index = species;
    return true;
}

bool CVasp::ReadFile(std::string d, std::string f, std::vector<glm::vec3>& xyz, std::vector<unsigned>& idx)
{
    try {
        std::string text;
        if (!textio::ReadWholeFile(f, text))
            return false;
        return ReadText(d, text, xyz, idx);
    } catch (const std::exception&) {
        return false;
    }
}

bool CVasp::ReadText(const std::string& d, std::string_view text, std::vector<glm::vec3>& xyz,
                     std::vector<unsigned>& idx)
{
    try {
        CVasp fresh;
        textio::LineCursor cursor(textio::SkipByteOrderMark(text));
        std::string_view line;
        if (!fresh.Recognise(d, cursor, line)) {
            refusal = {cursor.LineNumber(),
                       "the lines up to here are no POSCAR header (title, scale, three "
                       "lattice vectors, species and counts, Direct or Cartesian)"};
            return false;
        }

        const std::size_t n = fresh.total_atoms;
        std::vector<glm::vec3> positions(n);
        std::vector<unsigned> indices(n);
        fresh.v_atom_type.resize(n);
        fresh.v_carte_xyz.resize(n);
        if (fresh.is_direct)
            fresh.v_fract_xyz.resize(n);
        if (fresh.is_dynamics)
            fresh.v_dynamics.resize(n);

        std::size_t atom = 0;
        for (std::size_t k = 0; k < fresh.v_table_atoms.size(); ++k)
            for (uint32_t j = 0; j < fresh.v_table_atoms[k]; ++j, ++atom) {
                indices[atom] = fresh.v_table_index[k];
                fresh.v_atom_type[atom] = uint32_t(k);
            }

        const glm::dvec3 scale = fresh.v_scale;
        for (std::size_t i = 0; i < n; ++i) {
            if (i > 0 && !cursor.Next(line)) {
                refusal = {cursor.LineNumber(), "the file ends after " + std::to_string(i) + " of the " +
                                                    std::to_string(n) + " atoms the counts give"};
                return false;
            }
            const char* p = line.data();
            const char* end = p + line.size();
            double v[3];
            bool numbers = true;
            for (int c = 0; c < 3 && numbers; ++c)
                numbers = textio::ScanNumber(p, end, v[c]);
            if (!numbers || !Finite(v, 3)) {
                refusal = {cursor.LineNumber(), textio::Quoted(line) + " is not three numbers"};
                return false;
            }
            const glm::dvec3 written(v[0], v[1], v[2]);
            glm::dvec3 cartesian;
            if (fresh.is_direct) {
                fresh.v_fract_xyz[i] = written;
                cartesian = fresh.cell_xyz * written;
                fresh.v_carte_xyz[i] = cartesian;
            } else {
                // Cartesian positions scale like the lattice; the stored copy
                // keeps the numbers as written for the writer
                fresh.v_carte_xyz[i] = written;
                cartesian = written * scale;  // per axis
            }
            if (fresh.is_dynamics) {
                // the next three non-blank characters; a missing flag is T,
                // the VASP default (the atom may move)
                Dyn& dyn = fresh.v_dynamics[i];
                for (int c = 0; c < 3; ++c) {
                    while (p < end && IsSpace(*p))
                        ++p;
                    dyn.d[c] = (p < end) ? *p++ : 'T';
                }
            }
            positions[i] = glm::vec3(cartesian);
            // the model draws in single precision: a position beyond its
            // range would poison the box and the bond search
            if (!std::isfinite(positions[i].x) || !std::isfinite(positions[i].y) || !std::isfinite(positions[i].z)) {
                refusal = {cursor.LineNumber(), textio::Quoted(line) + " holds a number out of range"};
                return false;
            }
            if (i == 0) {
                fresh.min_coord = fresh.max_coord = cartesian;
            } else {
                fresh.min_coord = glm::min(fresh.min_coord, cartesian);
                fresh.max_coord = glm::max(fresh.max_coord, cartesian);
            }
        }

        *this = std::move(fresh);
        xyz.swap(positions);
        idx.swap(indices);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool CVasp::SaveFile(std::string, std::string f, const std::vector<unsigned>& idx)
{
    try {
        std::string out;
        return AppendText(out, idx) && textio::WriteFileAtomically(f, out);
    } catch (const std::exception&) {
        return false;
    }
}

bool CVasp::AppendText(std::string& out, const std::vector<unsigned>& idx)
{
    const std::size_t n = v_carte_xyz.size();
    if (idx.size() != n)
        return false;
    // a structure set up in code rather than read has no species yet
    if (header_lines == 0)
        v_atom_type.resize(n);
    if (v_atom_type.size() != n)
        return false;
    if (is_direct && v_fract_xyz.size() != n)
        return false;
    if (is_dynamics && v_dynamics.size() != n)
        return false;
    for (unsigned e : idx)
        if (e >= species_count)
            return false;

    // Species table: the species as read keep their order, species that
    // edits introduced follow in order of first appearance, and species
    // left without atoms stay with a count of 0.
    for (std::size_t i = 0; i < n; ++i) {
        std::size_t k = 0;
        while (k < v_table_index.size() && v_table_index[k] != idx[i])
            ++k;
        if (k == v_table_index.size())
            v_table_index.push_back(idx[i]);
        v_atom_type[i] = uint32_t(k);
    }
    const std::size_t species = v_table_index.size();
    v_table_atoms.assign(species, 0);
    for (std::size_t i = 0; i < n; ++i)
        ++v_table_atoms[v_atom_type[i]];

    out.reserve(out.size() + n * (is_dynamics ? 58 : 52) + 2048);
    if (header_lines >= 5) {
        for (unsigned k = 0; k < 5; ++k)
            textio::AppendLine(out, std::string_view(header_info[k], strnlen(header_info[k], HEADER_SLOT_SIZE)));
    } else {
        // nothing read: a title, no scaling and the cell as it stands
        out += "Structure saved by Tesk\n1.0\n";
        for (int c = 0; c < 3; ++c) {
            for (int r = 0; r < 3; ++r)
                textio::AppendShortest(out, cell_xyz[c][r], 17, r > 0);
            out.push_back('\n');
        }
    }
    if (species > 0) {
        for (std::size_t k = 0; k < species; ++k) {
            if (k)
                out.push_back(' ');
            out += element_symbol[v_table_index[k]];
        }
        out.push_back('\n');
        for (std::size_t k = 0; k < species; ++k) {
            if (k)
                out.push_back(' ');
            out += std::to_string(v_table_atoms[k]);
        }
        out.push_back('\n');
    }
    if (is_dynamics)
        out += "Selective Dynamics\n";
    out += is_direct ? "Direct coordinates\n" : "Cartesian coordinates\n";

    // atoms grouped by species, in stored order within a species
    std::vector<std::size_t> start(species + 1, 0);
    for (std::size_t k = 0; k < species; ++k)
        start[k + 1] = start[k] + v_table_atoms[k];
    std::vector<std::size_t> order(n);
    for (std::size_t i = 0; i < n; ++i)
        order[start[v_atom_type[i]]++] = i;

    const std::vector<glm::dvec3>& written = is_direct ? v_fract_xyz : v_carte_xyz;
    for (std::size_t u : order) {
        const glm::dvec3& p = written[u];
        for (int c = 0; c < 3; ++c)
            textio::AppendShortest(out, p[c], 17, c > 0);
        if (is_dynamics) {
            const Dyn& dyn = v_dynamics[u];
            for (int c = 0; c < 3; ++c) {
                out.push_back(' ');
                out.push_back(dyn.d[c]);
            }
        }
        out.push_back('\n');
    }
    return true;
}

void CVasp::DeleteAtom(unsigned u)
{
    if (u >= v_carte_xyz.size())
        return;
    v_carte_xyz.erase(v_carte_xyz.begin() + u);
    if (u < v_atom_type.size())
        v_atom_type.erase(v_atom_type.begin() + u);
    if (is_dynamics && u < v_dynamics.size())
        v_dynamics.erase(v_dynamics.begin() + u);
    if (is_direct && u < v_fract_xyz.size())
        v_fract_xyz.erase(v_fract_xyz.begin() + u);
}

CVaspAtom CVasp::GetAtom(unsigned u) const
{
    CVaspAtom a;
    if (u >= v_carte_xyz.size())
        return a;
    a.carte = v_carte_xyz[u];
    a.has_type = u < v_atom_type.size();
    if (a.has_type)
        a.type = v_atom_type[u];
    a.has_dynamics = is_dynamics && u < v_dynamics.size();
    if (a.has_dynamics)
        a.dynamics = v_dynamics[u];
    a.has_fract = is_direct && u < v_fract_xyz.size();
    if (a.has_fract)
        a.fract = v_fract_xyz[u];
    return a;
}

void CVasp::InsertAtom(unsigned u, const CVaspAtom& a)
{
    if (u > v_carte_xyz.size())
        return;
    v_carte_xyz.insert(v_carte_xyz.begin() + u, a.carte);
    if (a.has_type && u <= v_atom_type.size())
        v_atom_type.insert(v_atom_type.begin() + u, a.type);
    if (a.has_dynamics && u <= v_dynamics.size())
        v_dynamics.insert(v_dynamics.begin() + u, a.dynamics);
    if (a.has_fract && u <= v_fract_xyz.size())
        v_fract_xyz.insert(v_fract_xyz.begin() + u, a.fract);
}
