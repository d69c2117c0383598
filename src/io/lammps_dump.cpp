// One timestep of a LAMMPS text dump. A frame of a million atoms is read in
// one pass over its lines, without splitting them into strings.
#include <algorithm>
#include <cmath>

#include "core/elements.h"
#include "io/lammps.h"
#include "io/text_source.h"
#include "io/textio.h"

namespace io {

namespace {

bool StartsWith(std::string_view s, std::string_view prefix)
{
    return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

// Which columns hold what: -1 for none.
struct Columns {
    int id = -1, type = -1, element = -1, mass = -1;
    int position[3] = {-1, -1, -1};
    bool is_scaled = false;
    int count = 0;
};

// Positions from the first complete set of x y z, xu yu zu, xs ys zs or
// xsu ysu zsu columns.
bool ColumnsOf(const std::vector<std::string_view>& names, Columns& c)
{
    c.count = int(names.size());
    static const char* const sets[4][3] = {
        {"x", "y", "z"}, {"xu", "yu", "zu"}, {"xs", "ys", "zs"}, {"xsu", "ysu", "zsu"}};
    for (int s = 0; s < 4 && c.position[0] < 0; ++s) {
        int found[3] = {-1, -1, -1};
        for (int k = 0; k < c.count; ++k)
            for (int a = 0; a < 3; ++a)
                if (names[std::size_t(k)] == sets[s][a])
                    found[a] = k;
        if (found[0] >= 0 && found[1] >= 0 && found[2] >= 0) {
            std::copy(found, found + 3, c.position);
            c.is_scaled = s >= 2;
        }
    }
    for (int k = 0; k < c.count; ++k) {
        const std::string_view n = names[std::size_t(k)];
        if (n == "id")
            c.id = k;
        else if (n == "type")
            c.type = k;
        else if (n == "element")
            c.element = k;
        else if (n == "mass")
            c.mass = k;
    }
    return c.position[0] >= 0;
}

}  // namespace

bool ReadLammpsDump(std::string_view text, const ReadOptions& options, Structure& out, Refusal& refusal)
{
    try {
        textio::LineCursor cursor(text);
        std::string_view line;
        std::vector<std::string_view> w;
        auto refuse = [&](const std::string& why) {
            refusal = {cursor.LineNumber(), why};
            return false;
        };
        long long atoms = -1;
        std::size_t count_line = 0;
        double bounds[3][3] = {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}};
        bool box = false, triclinic = false;
        Columns columns;
        // ITEM blocks up to the atoms
        for (;;) {
            if (!cursor.Next(line))
                return refuse(atoms < 0 ? "no ITEM: NUMBER OF ATOMS" : "no ITEM: ATOMS");
            const std::string_view t = Trim(line);
            if (t.empty())
                continue;
            if (!StartsWith(t, "ITEM:"))
                return refuse(textio::Quoted(line) + " is not an ITEM line");
            const std::string_view item = Trim(t.substr(5));
            if (StartsWith(item, "NUMBER OF ATOMS")) {
                if (!cursor.Next(line) || !ParseLong(Trim(line), atoms) || atoms < 1 || atoms > 2000000000LL)
                    return refuse(textio::Quoted(line) + " is not a count of atoms");
                count_line = cursor.LineNumber();
            } else if (StartsWith(item, "BOX BOUNDS")) {
                SplitWords(item, w);
                triclinic = w.size() >= 5 && w[2] == "xy";
                for (int a = 0; a < 3; ++a) {
                    if (!cursor.Next(line))
                        return refuse("the box ends early");
                    SplitWords(line, w);
                    const std::size_t need = triclinic ? 3 : 2;
                    if (w.size() < need || !ParseDouble(w[0], bounds[a][0]) || !ParseDouble(w[1], bounds[a][1]) ||
                        (triclinic && !ParseDouble(w[2], bounds[a][2])))
                        return refuse(textio::Quoted(line) + " is not " + (triclinic ? "three" : "two") +
                                      " box numbers");
                }
                box = true;
            } else if (StartsWith(item, "ATOMS")) {
                SplitWords(item.substr(5), w);
                if (!ColumnsOf(w, columns))
                    return refuse("the ATOMS columns have no x y z, xu yu zu, xs ys zs or xsu ysu zsu");
                break;
            } else if (!cursor.Next(line)) {  // TIMESTEP and other items: one value line
                return refuse("the file ends after " + textio::Quoted(t));
            }
        }
        if (atoms < 0)
            return refuse("ITEM: ATOMS comes before ITEM: NUMBER OF ATOMS");
        if (!box)
            return refuse("ITEM: ATOMS comes before ITEM: BOX BOUNDS");

        // the box: bounds of a triclinic box enclose the tilted cell
        const double xy = triclinic ? bounds[0][2] : 0.0, xz = triclinic ? bounds[1][2] : 0.0,
                     yz = triclinic ? bounds[2][2] : 0.0;
        const double xlo = bounds[0][0] - std::min({0.0, xy, xz, xy + xz});
        const double xhi = bounds[0][1] - std::max({0.0, xy, xz, xy + xz});
        const double ylo = bounds[1][0] - std::min(0.0, yz), yhi = bounds[1][1] - std::max(0.0, yz);
        const double zlo = bounds[2][0], zhi = bounds[2][1];
        Structure s;
        s.is_periodic = true;
        s.cell = glm::dmat3(glm::dvec3(xhi - xlo, 0, 0), glm::dvec3(xy, yhi - ylo, 0), glm::dvec3(xz, yz, zhi - zlo));
        const glm::dvec3 origin(xlo, ylo, zlo);

        const int last_needed = std::max({columns.id, columns.type, columns.element, columns.mass, columns.position[0],
                                          columns.position[1], columns.position[2]});
        // every atom line holds a word and a blank or line feed for each
        // column read: a count the frame cannot hold takes no memory
        const std::size_t n = std::size_t(atoms);
        if (n > (cursor.Remaining() + 1) / (2 * std::size_t(last_needed + 1))) {
            refusal = {count_line, "the count " + std::to_string(n) + " is more atoms than the frame holds"};
            return false;
        }
        std::vector<long long> ids(columns.id >= 0 ? n : 0);
        std::vector<int> types(n, 0);
        std::vector<double> masses_of_atoms(columns.mass >= 0 ? n : 0);
        s.positions.resize(n);
        s.elements.assign(n, DUMMY_ATOM_INDEX);
        for (std::size_t i = 0; i < n; ++i) {
            if (!cursor.Next(line))
                return refuse("the frame ends after " + std::to_string(i) + " of " + std::to_string(n) + " atoms");
            const char* p = line.data();
            const char* const end = line.data() + line.size();
            double x[3] = {0, 0, 0};
            for (int k = 0; k <= last_needed; ++k) {
                while (p < end && textio::IsSpace(*p))
                    ++p;
                const char* word = p;
                while (p < end && !textio::IsSpace(*p))
                    ++p;
                if (word == p)
                    return refuse(textio::Quoted(line) + " has fewer than " + std::to_string(columns.count) +
                                  " columns");
                const std::string_view v(word, std::size_t(p - word));
                bool ok = true;
                if (k == columns.element) {
                    unsigned e = DUMMY_ATOM_INDEX;
                    s.elements[i] = IsElementSymbol(v.data(), v.size(), e) ? e : DUMMY_ATOM_INDEX;
                } else if (k == columns.id) {
                    ok = ParseLong(v, ids[i]);
                } else if (k == columns.type) {
                    long long t = 0;
                    ok = ParseLong(v, t) && t >= -2147483647LL && t <= 2147483647LL;
                    types[i] = int(t);
                } else if (k == columns.mass) {
                    ok = ParseDouble(v, masses_of_atoms[i]);
                } else {
                    for (int a = 0; a < 3; ++a)
                        if (k == columns.position[a])
                            ok = ParseDouble(v, x[a]);
                }
                if (!ok)
                    return refuse(textio::Quoted(line) + ": column " + std::to_string(k + 1) + " is not a number");
            }
            s.positions[i] =
                columns.is_scaled ? s.cell * glm::dvec3(x[0], x[1], x[2]) : glm::dvec3(x[0], x[1], x[2]) - origin;
        }

        // elements by type where no element column gave them
        if (columns.element < 0 && columns.type >= 0) {
            std::map<int, double> masses;
            for (std::size_t i = 0; i < masses_of_atoms.size(); ++i)
                masses.emplace(types[i], masses_of_atoms[i]);
            std::map<int, unsigned> known;
            for (std::size_t i = 0; i < n; ++i) {
                auto it = known.find(types[i]);
                if (it == known.end())
                    it = known.emplace(types[i], ElementOfType(types[i], options, masses)).first;
                s.elements[i] = it->second;
            }
            for (const auto& k : known)
                s.type_numbers.push_back(k.first);
        }

        // LAMMPS writes atoms in any order: put them in id order
        if (columns.id >= 0) {
            const long long min_id = *std::min_element(ids.begin(), ids.end());
            const long long max_id = *std::max_element(ids.begin(), ids.end());
            std::vector<std::size_t> order(n, n);
            bool dense = max_id - min_id == (long long)n - 1;
            for (std::size_t i = 0; dense && i < n; ++i) {
                std::size_t& slot = order[std::size_t(ids[i] - min_id)];
                dense = slot == n;
                slot = i;
            }
            if (!dense) {
                for (std::size_t i = 0; i < n; ++i)
                    order[i] = i;
                std::stable_sort(order.begin(), order.end(),
                                 [&](std::size_t a, std::size_t b) { return ids[a] < ids[b]; });
                for (std::size_t k = 1; k < n; ++k)
                    if (ids[order[k]] == ids[order[k - 1]]) {
                        refusal = {0, "atom id " + std::to_string(ids[order[k]]) + " is given twice in one frame"};
                        return false;
                    }
            }
            std::vector<glm::dvec3> positions(n);
            std::vector<unsigned> elements(n);
            for (std::size_t k = 0; k < n; ++k) {
                positions[k] = s.positions[order[k]];
                elements[k] = s.elements[order[k]];
            }
            s.positions.swap(positions);
            s.elements.swap(elements);
        }
        out = std::move(s);
        return true;
    } catch (const std::bad_alloc&) {
        refusal = {0, "too large for the memory"};
        return false;
    }
}

}  // namespace io
