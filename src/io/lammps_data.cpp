#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <unordered_map>

#include "core/elements.h"
#include "io/cif.h"
#include "io/lammps.h"
#include "io/text_source.h"
#include "io/textio.h"

namespace io {

namespace {

// The words of a line before its comment.
void WordsOf(std::string_view line, std::vector<std::string_view>& words)
{
    const std::size_t hash = line.find('#');
    SplitWords(hash == std::string_view::npos ? line : line.substr(0, hash), words);
}

// Section names that open a block of lines in a data file.
bool IsSectionName(std::string_view line)
{
    static const char* const names[] = {"Atoms",
                                        "Velocities",
                                        "Masses",
                                        "Ellipsoids",
                                        "Lines",
                                        "Triangles",
                                        "Bodies",
                                        "Bonds",
                                        "Angles",
                                        "Dihedrals",
                                        "Impropers",
                                        "Pair Coeffs",
                                        "PairIJ Coeffs",
                                        "Bond Coeffs",
                                        "Angle Coeffs",
                                        "Dihedral Coeffs",
                                        "Improper Coeffs",
                                        "BondBond Coeffs",
                                        "BondAngle Coeffs",
                                        "MiddleBondTorsion Coeffs",
                                        "EndBondTorsion Coeffs",
                                        "AngleTorsion Coeffs",
                                        "AngleAngleTorsion Coeffs",
                                        "BondBond13 Coeffs",
                                        "AngleAngle Coeffs"};
    const std::size_t hash = line.find('#');
    const std::string_view t = Trim(hash == std::string_view::npos ? line : line.substr(0, hash));
    for (const char* n : names)
        if (t == n)
            return true;
    return false;
}

// Columns before x y z, by atom style; -1 for a style not read.
int PositionColumn(std::string_view style)
{
    if (style == "atomic")
        return 2;
    if (style == "charge" || style == "bond" || style == "angle" || style == "molecular")
        return 3;
    if (style == "full")
        return 4;
    return -1;
}

int TypeColumn(std::string_view style)
{
    return style == "atomic" || style == "charge" ? 1 : 2;
}

// A style told from the first atom line: 5 or 8 columns are atomic, 7 or
// 10 full; 6 or 9 are charge when the third column is a fraction, else
// molecular.
std::string StyleOfColumns(const std::vector<std::string_view>& w)
{
    long long n = 0;
    switch (w.size()) {
    case 5:
    case 8:
        return "atomic";
    case 7:
    case 10:
        return "full";
    case 6:
    case 9:
        return ParseLong(w[2], n) ? "molecular" : "charge";
    default:
        return "";
    }
}

}  // namespace

unsigned ElementOfType(int type, const ReadOptions& options, const std::map<int, double>& masses)
{
    const auto chosen = options.type_elements.find(type);
    if (chosen != options.type_elements.end())
        return chosen->second;
    const auto mass = masses.find(type);
    unsigned element = DUMMY_ATOM_INDEX;
    if (mass != masses.end() && ElementOfMass(mass->second, element))
        return element;
    // each type apart, in a colour of its own
    return DummySpecies(type);
}

bool ParseTypeMap(const std::string& text, std::map<int, unsigned>& types, std::string& why)
{
    std::size_t at = 0;
    while (at <= text.size()) {
        std::size_t comma = text.find(',', at);
        if (comma == std::string::npos)
            comma = text.size();
        const std::string_view piece = Trim(std::string_view(text).substr(at, comma - at));
        const std::size_t eq = piece.find('=');
        long long type = 0;
        unsigned element = 0;
        const std::string_view sym = eq == std::string_view::npos ? std::string_view() : Trim(piece.substr(eq + 1));
        if (eq == std::string_view::npos || !ParseLong(Trim(piece.substr(0, eq)), type) || type < 1 || type > 1000000 ||
            !IsElementSymbol(sym.data(), sym.size(), element)) {
            why = "\"" + std::string(piece) + "\" is not TYPE=ELEMENT, such as 1=Cu";
            return false;
        }
        types[int(type)] = element;
        at = comma + 1;
    }
    return true;
}

bool ReadLammpsData(std::string_view text, const ReadOptions& options, Structure& out, Refusal& refusal)
{
    try {
        textio::LineCursor cursor(text);
        std::string_view line;
        std::vector<std::string_view> w;
        auto refuse = [&](const std::string& why) {
            refusal = {cursor.LineNumber(), why};
            return false;
        };
        cursor.Next(line);  // the title
        long long atoms = -1, bonds = 0, types = 0;
        double lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0}, tilt[3] = {0, 0, 0};
        bool box[3] = {false, false, false};
        // the header: counts and box up to the first section name
        std::string_view section;
        while (cursor.Next(line)) {
            if (IsSectionName(line)) {
                section = line;
                break;
            }
            WordsOf(line, w);
            if (w.empty())
                continue;
            long long n = 0;
            double a = 0.0, b = 0.0, c = 0.0;
            if (w.size() >= 2 && w.size() <= 3 && ParseLong(w[0], n) && n >= 0 && !ParseDouble(w[1], a)) {
                if (w.size() == 2 && w[1] == "atoms")
                    atoms = n;
                else if (w.size() == 2 && w[1] == "bonds")
                    bonds = n;
                else if (w.size() == 3 && w[1] == "atom" && w[2] == "types")
                    types = n;
                continue;
            }
            if (w.size() == 4 && ParseDouble(w[0], a) && ParseDouble(w[1], b) && w[2].size() == 3 && w[3].size() == 3 &&
                w[2][1] == 'l' && w[3][1] == 'h' && w[2][0] >= 'x' && w[2][0] <= 'z') {
                const int axis = w[2][0] - 'x';
                lo[axis] = a;
                hi[axis] = b;
                box[axis] = true;
                continue;
            }
            if (w.size() == 6 && w[3] == "xy" && w[4] == "xz" && w[5] == "yz" && ParseDouble(w[0], a) &&
                ParseDouble(w[1], b) && ParseDouble(w[2], c)) {
                tilt[0] = a;
                tilt[1] = b;
                tilt[2] = c;
                continue;
            }
            return refuse(textio::Quoted(line) + " is no header line of a LAMMPS data file");
        }
        if (atoms < 0)
            return refuse("the header has no \"N atoms\" line");
        if (atoms == 0 || atoms > 2000000000LL)
            return refuse("the header's atom count " + std::to_string(atoms) + " is out of range");
        for (int a = 0; a < 3; ++a)
            if (!box[a] || !(hi[a] > lo[a]))
                return refuse(std::string("the box has no ") + "xyz"[a] + "lo " + "xyz"[a] + "hi line with lo < hi");

        Structure s;
        std::map<int, double> masses;
        std::vector<long long> ids;
        std::vector<int> atom_types;
        std::vector<std::pair<long long, long long>> bond_ids;
        s.cell = glm::dmat3(glm::dvec3(hi[0] - lo[0], 0, 0), glm::dvec3(tilt[0], hi[1] - lo[1], 0),
                            glm::dvec3(tilt[1], tilt[2], hi[2] - lo[2]));
        s.is_periodic = true;
        const glm::dvec3 origin(lo[0], lo[1], lo[2]);

        // the body: sections one after another, each with a blank line after its name
        while (!section.empty()) {
            const std::string_view name = Trim(section.substr(0, section.find('#')));
            const std::size_t hash = section.find('#');
            const std::string style(hash == std::string_view::npos ? "" : Trim(section.substr(hash + 1)));
            std::string_view next;
            long long expected = -1;
            if (name == "Atoms")
                expected = atoms;
            else if (name == "Masses")
                expected = types;
            else if (name == "Bonds")
                expected = bonds;
            long long taken = 0;
            std::string atom_style = style;
            int pcol = -1, tcol = 1;
            section = {};
            while (cursor.Next(next)) {
                if (IsSectionName(next)) {
                    section = next;
                    break;
                }
                WordsOf(next, w);
                if (w.empty())
                    continue;
                if (expected >= 0 && taken >= expected)
                    return refuse("more lines in " + std::string(name) + " than the header counts");
                ++taken;
                if (name == "Masses") {
                    long long type = 0;
                    double mass = 0.0;
                    if (w.size() < 2 || !ParseLong(w[0], type) || !ParseDouble(w[1], mass))
                        return refuse(textio::Quoted(next) + " is not a type and its mass");
                    masses[int(type)] = mass;
                } else if (name == "Atoms") {
                    if (pcol < 0) {
                        if (atom_style.empty())
                            atom_style = StyleOfColumns(w);
                        pcol = PositionColumn(atom_style);
                        tcol = TypeColumn(atom_style);
                        if (pcol < 0)
                            return refuse("atom style \"" + atom_style +
                                          "\" is not read (atomic, charge, bond, angle, molecular, full)");
                    }
                    long long id = 0, type = 0;
                    double x[3];
                    if (int(w.size()) < pcol + 3 || !ParseLong(w[0], id) || !ParseLong(w[tcol], type) ||
                        !ParseDouble(w[pcol], x[0]) || !ParseDouble(w[pcol + 1], x[1]) ||
                        !ParseDouble(w[pcol + 2], x[2]))
                        return refuse(textio::Quoted(next) + " is not an atom line of style " + atom_style);
                    long long image = 0;
                    for (int k = pcol + 3; k < int(w.size()) && k < pcol + 6; ++k)
                        if (!ParseLong(w[std::size_t(k)], image))
                            return refuse(textio::Quoted(next) + ": column " + std::to_string(k + 1) +
                                          " is not an image flag");
                    ids.push_back(id);
                    atom_types.push_back(int(type));
                    s.positions.emplace_back(x[0], x[1], x[2]);
                } else if (name == "Bonds") {
                    long long id = 0, type = 0, a = 0, b = 0;
                    if (w.size() < 4 || !ParseLong(w[0], id) || !ParseLong(w[1], type) || !ParseLong(w[2], a) ||
                        !ParseLong(w[3], b))
                        return refuse(textio::Quoted(next) + " is not a bond line (id type atom atom)");
                    bond_ids.emplace_back(a, b);
                }
            }
            if (expected >= 0 && taken < expected)
                return refuse(std::string(name) + " holds " + std::to_string(taken) + " lines, the header counts " +
                              std::to_string(expected));
        }
        if (s.positions.size() != std::size_t(atoms))
            return refuse("no Atoms section");
        if (bond_ids.size() != std::size_t(bonds))
            return refuse("the header counts " + std::to_string(bonds) + " bonds, but there is no Bonds section");

        // atoms in id order, as LAMMPS numbers them. Image flags are read
        // but not applied: the atoms stay in the box, and a bond across a
        // face is drawn to the partner's nearest image.
        std::vector<std::size_t> order(ids.size());
        for (std::size_t i = 0; i < order.size(); ++i)
            order[i] = i;
        std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return ids[a] < ids[b]; });
        std::unordered_map<long long, unsigned> number_of_id;
        Structure sorted;
        sorted.cell = s.cell;
        sorted.is_periodic = true;
        for (std::size_t k = 0; k < order.size(); ++k) {
            const std::size_t i = order[k];
            if (!number_of_id.emplace(ids[i], unsigned(k)).second) {
                refusal = {0, "atom id " + std::to_string(ids[i]) + " is given twice"};
                return false;
            }
            sorted.positions.push_back(s.positions[i] - origin);
            sorted.elements.push_back(ElementOfType(atom_types[i], options, masses));
        }
        for (const auto& b : bond_ids) {
            const auto a = number_of_id.find(b.first), c = number_of_id.find(b.second);
            if (a == number_of_id.end() || c == number_of_id.end()) {
                refusal = {0, "a bond names atom " + std::to_string(a == number_of_id.end() ? b.first : b.second) +
                                  ", which is not in Atoms"};
                return false;
            }
            if (a->second != c->second)
                sorted.bonds.emplace_back(std::min(a->second, c->second), std::max(a->second, c->second));
        }
        for (const auto& m : masses)
            sorted.type_numbers.push_back(m.first);
        for (int t : atom_types)
            if (!masses.count(t) &&
                std::find(sorted.type_numbers.begin(), sorted.type_numbers.end(), t) == sorted.type_numbers.end())
                sorted.type_numbers.push_back(t);
        std::sort(sorted.type_numbers.begin(), sorted.type_numbers.end());
        std::size_t unknown = 0;
        for (unsigned e : sorted.elements)
            unknown += IsDummy(e) ? 1 : 0;
        if (unknown > 0)
            sorted.note = std::to_string(unknown) + " atoms of types without a known element (give them with --types)";
        out = std::move(sorted);
        return true;
    } catch (const std::bad_alloc&) {
        refusal = {0, "too large for the memory"};
        return false;
    }
}

bool WriteLammpsData(const Structure& in, std::string& out, std::string& why)
{
    if (in.positions.empty() || in.positions.size() != in.elements.size()) {
        why = "no atoms to write";
        return false;
    }
    // a LAMMPS box has a along x and b in the xy plane
    glm::dmat3 cell = in.cell;
    glm::dvec3 lo(0.0);
    if (!in.is_periodic) {
        glm::dvec3 hi = in.positions[0];
        lo = hi;
        for (const glm::dvec3& r : in.positions) {
            lo = glm::min(lo, r);
            hi = glm::max(hi, r);
        }
        lo -= glm::dvec3(5.0);
        cell = glm::dmat3(glm::dvec3(hi.x - lo.x + 5.0, 0, 0), glm::dvec3(0, hi.y - lo.y + 5.0, 0),
                          glm::dvec3(0, 0, hi.z - lo.z + 5.0));
    } else if (cell[0].y != 0.0 || cell[0].z != 0.0 || cell[1].z != 0.0) {
        why = "the cell is not in LAMMPS's orientation (a along x, b in the xy plane)";
        return false;
    }
    // Type numbers: elements take the lowest free ones in order of first
    // appearance; a type that had no element when read (a dummy species)
    // takes a number that reads back as the same species, so that its atoms
    // keep their colour through a save.
    constexpr unsigned UNUSED = ~0u;
    std::vector<unsigned> kinds;  // the element of type t + 1, UNUSED for none
    std::map<unsigned, std::size_t> type_of;
    for (unsigned e : in.elements) {
        if (type_of.count(e) != 0)
            continue;
        const bool dummy = e >= periodic_table_atoms && e < species_count;
        std::size_t t = dummy ? e - periodic_table_atoms : 0;
        while (t < kinds.size() && kinds[t] != UNUSED)
            t += dummy ? dummy_species_count : 1;
        if (t >= kinds.size())
            kinds.resize(t + 1, UNUSED);
        kinds[t] = e;
        type_of[e] = t + 1;
    }
    char line[256];
    out = "LAMMPS data file written by Tesk\n\n";
    out += std::to_string(in.positions.size()) + " atoms\n" + std::to_string(kinds.size()) + " atom types\n\n";
    std::snprintf(line, sizeof line, "%.10g %.10g xlo xhi\n%.10g %.10g ylo yhi\n%.10g %.10g zlo zhi\n", lo.x,
                  lo.x + cell[0].x, lo.y, lo.y + cell[1].y, lo.z, lo.z + cell[2].z);
    out += line;
    if (cell[1].x != 0.0 || cell[2].x != 0.0 || cell[2].y != 0.0) {
        std::snprintf(line, sizeof line, "%.10g %.10g %.10g xy xz yz\n", cell[1].x, cell[2].x, cell[2].y);
        out += line;
    }
    out += "\nMasses\n\n";
    for (std::size_t t = 0; t < kinds.size(); ++t) {
        if (kinds[t] == UNUSED)
            std::snprintf(line, sizeof line, "%zu 0  # no atoms\n", t + 1);
        else
            std::snprintf(line, sizeof line, "%zu %.6g  # %s\n", t + 1, ElementMass(kinds[t]),
                          element_symbol[kinds[t]].c_str());
        out += line;
    }
    out += "\nAtoms # atomic\n\n";
    out.reserve(out.size() + in.positions.size() * 64);
    for (std::size_t i = 0; i < in.positions.size(); ++i) {
        const std::size_t type = type_of[in.elements[i]];
        const glm::dvec3& r = in.positions[i];
        std::snprintf(line, sizeof line, "%zu %zu %.10g %.10g %.10g\n", i + 1, type, r.x, r.y, r.z);
        out += line;
    }
    return true;
}

}  // namespace io
