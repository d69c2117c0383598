// The only unit that includes gemmi: its CIF grammar and symmetry tables
// are heavy templates, compiled here once.
#include "io/cif.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <unordered_map>

#include <gemmi/cif.hpp>
#include <gemmi/elem.hpp>
#include <gemmi/numb.hpp>
#include <gemmi/symmetry.hpp>
#include <gemmi/unitcell.hpp>

#include "core/crystal.h"
#include "core/elements.h"

namespace io {

namespace {

// gemmi names the place of a syntax error as "name:LINE:"; the line is
// taken from there.
Refusal RefusalOf(const std::exception& e)
{
    std::string what = e.what();
    Refusal r;
    const std::size_t colon = what.find(':');
    if (colon != std::string::npos) {
        char* end = nullptr;
        const long line = std::strtol(what.c_str() + colon + 1, &end, 10);
        if (end != what.c_str() + colon + 1 && *end == ':' && line > 0) {
            r.line = std::size_t(line);
            // and a column after it, "name:LINE:COLUMN:"
            char* after = nullptr;
            std::strtol(end + 1, &after, 10);
            if (after != end + 1 && *after == ':')
                end = after;
            what = what.substr(std::size_t(end - what.c_str()) + 1);
        }
    }
    while (!what.empty() && what[0] == ' ')
        what.erase(0, 1);
    r.reason = what.empty() ? "is not CIF" : what;
    return r;
}

gemmi::cif::Document Parse(std::string_view text)
{
    return gemmi::cif::read_memory(text.data(), text.size(), "cif");
}

const std::string* FindValue(gemmi::cif::Block& block, std::initializer_list<const char*> tags)
{
    for (const char* tag : tags)
        if (const std::string* v = block.find_value(tag))
            if (!gemmi::cif::is_null(*v))
                return v;
    return nullptr;
}

// The symmetry operations of a block: listed, or from the Hall symbol, or
// from the Hermann-Mauguin symbol; the identity alone when none is given.
std::vector<gemmi::Op> SymmetryOf(gemmi::cif::Block& block, std::string& why)
{
    for (const char* tag : {"_space_group_symop_operation_xyz", "_symmetry_equiv_pos_as_xyz"}) {
        gemmi::cif::Column column = block.find_values(tag);
        if (!column || column.length() == 0)
            continue;
        std::vector<gemmi::Op> ops;
        for (const std::string& v : column)
            ops.push_back(gemmi::parse_triplet(gemmi::cif::as_string(v)));
        return ops;
    }
    if (const std::string* hall = FindValue(block, {"_space_group_name_Hall", "_symmetry_space_group_name_Hall"}))
        return gemmi::symops_from_hall(gemmi::cif::as_string(*hall).c_str()).all_ops_sorted();
    if (const std::string* hm = FindValue(block, {"_space_group_name_H-M_alt", "_symmetry_space_group_name_H-M"})) {
        const std::string name = gemmi::cif::as_string(*hm);
        if (const gemmi::SpaceGroup* sg = gemmi::find_spacegroup_by_name(name))
            return sg->operations().all_ops_sorted();
        why = "space group \"" + name + "\" is not known";
        return {};
    }
    return {gemmi::Op::identity()};
}

// One asymmetric site as read.
struct Site {
    std::string label;
    unsigned element = DUMMY_ATOM_INDEX;
    gemmi::Fractional fract;
    double occupancy = 1.0;
};

// Expanded sites that land within 0.01 A of each other (across the cell's
// faces too) are one atom: sites are binned by fractional position, bins
// wrapping around the cell.
class SiteMerger {
public:
    explicit SiteMerger(const gemmi::UnitCell& cell) : cell_(cell)
    {
        const double lengths[3] = {cell.a, cell.b, cell.c};
        for (int a = 0; a < 3; ++a)
            bins_[a] = std::max(1, std::min(256, int(lengths[a] / 0.5)));
    }

    // The index of an atom already there, or -1 after adding it.
    long Find(const gemmi::Fractional& f) const
    {
        const int k[3] = {Bin(f.x, 0), Bin(f.y, 1), Bin(f.z, 2)};
        for (int dx = -1; dx <= 1; ++dx)
            for (int dy = -1; dy <= 1; ++dy)
                for (int dz = -1; dz <= 1; ++dz) {
                    auto it = map_.find(Key(k[0] + dx, k[1] + dy, k[2] + dz));
                    if (it == map_.end())
                        continue;
                    for (long atom : it->second)
                        if (Near(f, fract_[std::size_t(atom)]))
                            return atom;
                }
        return -1;
    }
    void Add(const gemmi::Fractional& f)
    {
        map_[Key(Bin(f.x, 0), Bin(f.y, 1), Bin(f.z, 2))].push_back(long(fract_.size()));
        fract_.push_back(f);
    }
    const std::vector<gemmi::Fractional>& Positions() const { return fract_; }

private:
    int Bin(double v, int axis) const { return std::min(bins_[axis] - 1, int(v * bins_[axis])); }
    long long Key(int x, int y, int z) const
    {
        x = (x % bins_[0] + bins_[0]) % bins_[0];
        y = (y % bins_[1] + bins_[1]) % bins_[1];
        z = (z % bins_[2] + bins_[2]) % bins_[2];
        return (static_cast<long long>(z) * bins_[1] + y) * bins_[0] + x;
    }
    bool Near(const gemmi::Fractional& a, const gemmi::Fractional& b) const
    {
        gemmi::Fractional d(a.x - b.x, a.y - b.y, a.z - b.z);
        d.x -= std::round(d.x);
        d.y -= std::round(d.y);
        d.z -= std::round(d.z);
        return cell_.orthogonalize_difference(d).length_sq() < 0.01 * 0.01;
    }

    const gemmi::UnitCell& cell_;
    int bins_[3];
    std::unordered_map<long long, std::vector<long>> map_;
    std::vector<gemmi::Fractional> fract_;
};

double Wrap(double v)
{
    v -= std::floor(v);
    return v >= 1.0 ? 0.0 : v;
}

bool ReadSites(gemmi::cif::Block& block, const gemmi::UnitCell& cell, std::vector<Site>& sites, Refusal& refusal)
{
    using gemmi::cif::as_number;
    enum { LABEL, SYMBOL, FX, FY, FZ, CX, CY, CZ, OCC };
    // gemmi's look-up needs one column that must be there: the label, or
    // else the type symbol standing in for it
    const char* first = block.find_values("_atom_site_label") ? "label" : "type_symbol";
    gemmi::cif::Table table = block.find("_atom_site_", {first, "?type_symbol", "?fract_x", "?fract_y", "?fract_z",
                                                         "?Cartn_x", "?Cartn_y", "?Cartn_z", "?occupancy"});
    if (!table.ok() || table.length() == 0)
        return true;
    const bool fractional = table.has_column(FX) && table.has_column(FY) && table.has_column(FZ);
    const bool cartesian = table.has_column(CX) && table.has_column(CY) && table.has_column(CZ);
    if (!fractional && !cartesian) {
        refusal = {0, "block " + block.name + " has atom sites without _atom_site_fract_x/y/z or Cartn_x/y/z"};
        return false;
    }
    for (auto row : table) {
        Site s;
        if (row.has(LABEL))
            s.label = gemmi::cif::as_string(row[LABEL]);
        const bool by_symbol = row.has2(SYMBOL) && ElementOfCifSymbol(gemmi::cif::as_string(row[SYMBOL]), s.element);
        if (!by_symbol && !ElementOfCifSymbol(s.label, s.element))
            s.element = DUMMY_ATOM_INDEX;
        const int base = fractional ? FX : CX;
        double v[3];
        for (int a = 0; a < 3; ++a) {
            v[a] = as_number(row[base + a]);
            if (!std::isfinite(v[a])) {
                refusal = {0, "atom site " + s.label + " has no number for its " + "xyz"[a] + " coordinate"};
                return false;
            }
        }
        s.fract =
            fractional ? gemmi::Fractional(v[0], v[1], v[2]) : cell.fractionalize(gemmi::Position(v[0], v[1], v[2]));
        if (row.has2(OCC))
            s.occupancy = as_number(row[OCC], 1.0);
        sites.push_back(s);
    }
    return true;
}

}  // namespace

bool ElementOfCifSymbol(std::string_view text, unsigned& element)
{
    std::size_t letters = 0;
    while (letters < text.size() && letters < 2 && std::isalpha(static_cast<unsigned char>(text[letters])))
        ++letters;
    if (letters == 2 && IsElementSymbol(text.data(), 2, element) && element != DUMMY_ATOM_INDEX)
        return true;
    return letters >= 1 && IsElementSymbol(text.data(), 1, element);
}

bool ElementOfMass(double mass, unsigned& element)
{
    double best = 0.1;
    bool found = false;
    for (unsigned e = 0; e + 1 < periodic_table_atoms; ++e) {
        const double d = std::fabs(gemmi::molecular_weight(static_cast<gemmi::El>(e + 1)) - mass);
        if (d <= best) {
            best = d;
            element = e;
            found = true;
        }
    }
    return found;
}

double ElementMass(unsigned element)
{
    return element + 1 < periodic_table_atoms ? gemmi::molecular_weight(static_cast<gemmi::El>(element + 1)) : 0.0;
}

bool ReadCif(std::string_view text, const ReadOptions&, Structure& out, Refusal& refusal)
{
    try {
        gemmi::cif::Document doc = Parse(text);
        gemmi::cif::Block* chosen = nullptr;
        for (gemmi::cif::Block& b : doc.blocks)
            if (b.find_values("_atom_site_label") || b.find_values("_atom_site_type_symbol")) {
                chosen = &b;
                break;
            }
        if (chosen == nullptr) {
            refusal = {0, doc.blocks.empty() ? "holds no data block" : "no data block holds atom sites"};
            return false;
        }
        gemmi::cif::Block& block = *chosen;
        gemmi::cif::Table cell_table =
            block.find("_cell_", {"length_a", "length_b", "length_c", "angle_alpha", "angle_beta", "angle_gamma"});
        if (!cell_table.ok()) {
            refusal = {0, "block " + block.name + " has no _cell_length_a/b/c and _cell_angle_alpha/beta/gamma"};
            return false;
        }
        auto c = cell_table.one();
        double p[6];
        for (int k = 0; k < 6; ++k)
            p[k] = gemmi::cif::as_number(c[k]);
        for (int k = 0; k < 6; ++k)
            if (!std::isfinite(p[k]) || p[k] <= 0.0 || (k >= 3 && p[k] >= 180.0)) {
                refusal = {0, "block " + block.name + " has no usable cell (" + "abc"[k % 3] +
                                  (k < 3 ? " length" : " angle") + ")"};
                return false;
            }
        gemmi::UnitCell cell(p[0], p[1], p[2], p[3], p[4], p[5]);
        if (!(cell.volume > 0.0)) {
            refusal = {0, "block " + block.name + " has a cell of no volume"};
            return false;
        }
        std::vector<Site> sites;
        if (!ReadSites(block, cell, sites, refusal))
            return false;
        std::string why;
        const std::vector<gemmi::Op> ops = SymmetryOf(block, why);
        if (ops.empty()) {
            refusal = {0, why};
            return false;
        }

        Structure s;
        SiteMerger merger(cell);
        std::size_t mixed = 0;
        std::vector<bool> counted;
        for (const Site& site : sites) {
            for (const gemmi::Op& op : ops) {
                const std::array<double, 3> x = op.apply_to_xyz({site.fract.x, site.fract.y, site.fract.z});
                const gemmi::Fractional f(Wrap(x[0]), Wrap(x[1]), Wrap(x[2]));
                const long there = merger.Find(f);
                if (there < 0) {
                    merger.Add(f);
                    s.elements.push_back(site.element);
                    s.labels.push_back(site.label);
                    s.occupancies.push_back(float(site.occupancy));
                    counted.push_back(site.occupancy < 1.0 - 1e-6);
                    mixed += counted.back() ? 1 : 0;
                    continue;
                }
                const std::size_t k = std::size_t(there);
                if (s.labels[k] == site.label)
                    continue;  // the same site again: a special position
                // another species on the same place: the larger occupancy shows
                if (!counted[k]) {
                    counted[k] = true;
                    ++mixed;
                }
                if (site.occupancy > double(s.occupancies[k])) {
                    s.elements[k] = site.element;
                    s.labels[k] = site.label;
                    s.occupancies[k] = float(site.occupancy);
                }
            }
        }
        if (s.elements.empty()) {
            refusal = {0, "block " + block.name + " lists no atom sites"};
            return false;
        }
        // the cell maths every format shares: right angles give exact zeros
        if (!CellFromParameters(p, s.cell)) {
            refusal = {0, "block " + block.name + " has lengths and angles that close no cell"};
            return false;
        }
        for (const gemmi::Fractional& f : merger.Positions())
            s.positions.push_back(s.cell * glm::dvec3(f.x, f.y, f.z));
        s.is_periodic = true;
        if (doc.blocks.size() > 1)
            s.note = std::to_string(doc.blocks.size()) + " data blocks; shown: " + block.name;
        if (mixed > 0)
            s.note += (s.note.empty() ? "" : "; ") + std::to_string(mixed) +
                      " sites mixed or partly occupied, each drawn as its species of larger occupancy";
        out = std::move(s);
        return true;
    } catch (const std::bad_alloc&) {
        refusal = {0, "too large for the memory"};
    } catch (const std::exception& e) {
        refusal = RefusalOf(e);
    }
    return false;
}

bool ReadMmcif(std::string_view text, const ReadOptions&, Structure& out, Refusal& refusal)
{
    try {
        // The _atom_site table is walked row by row, in file order: building
        // gemmi's chain and residue hierarchy first costs time quadratic in
        // the residues of one chain (a water box of a million atoms took minutes).
        gemmi::cif::Document doc = Parse(text);
        if (doc.blocks.empty()) {
            refusal = {0, "holds no data block"};
            return false;
        }
        gemmi::cif::Block& block = doc.blocks[0];
        gemmi::cif::Table table = block.find("_atom_site.", {"type_symbol", "Cartn_x", "Cartn_y", "Cartn_z",
                                                             "?label_atom_id", "?occupancy", "?pdbx_PDB_model_num"});
        if (!table.ok() || table.length() == 0) {
            refusal = {0, "holds no _atom_site atoms with type_symbol and Cartn_x/y/z"};
            return false;
        }
        Structure s;
        std::vector<glm::dvec3> frame;
        std::string model;
        std::size_t skipped = 0, row_number = 0;
        auto close_model = [&]() {
            if (s.positions.empty())
                s.positions.swap(frame);
            else if (frame.size() == s.positions.size())
                s.extra_frames.push_back(std::move(frame));
            else
                ++skipped;
            frame.clear();
        };
        for (gemmi::cif::Table::Row row : table) {
            ++row_number;
            const std::string this_model = row.has(6) ? row.str(6) : std::string();
            if (row_number > 1 && this_model != model)
                close_model();
            model = this_model;
            const glm::dvec3 p(gemmi::cif::as_number(row[1]), gemmi::cif::as_number(row[2]),
                               gemmi::cif::as_number(row[3]));
            if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) {
                refusal = {0, "atom site " + std::to_string(row_number) + " has no number for Cartn_x, y or z"};
                return false;
            }
            frame.push_back(p);
            if (!s.positions.empty())
                continue;  // later models: positions only
            const int z = gemmi::Element(row.str(0)).atomic_number();
            s.elements.push_back(z >= 1 && z < int(periodic_table_atoms) ? unsigned(z - 1) : DUMMY_ATOM_INDEX);
            s.labels.push_back(row.has(4) ? row.str(4) : std::string());
            const double occupancy = row.has(5) ? gemmi::cif::as_number(row[5], 1.0) : 1.0;
            s.occupancies.push_back(std::isfinite(occupancy) ? float(occupancy) : 1.0f);
        }
        close_model();
        const char* const tags[6] = {"_cell.length_a",    "_cell.length_b",   "_cell.length_c",
                                     "_cell.angle_alpha", "_cell.angle_beta", "_cell.angle_gamma"};
        double cell[6];
        bool has_cell = true;
        for (int k = 0; k < 6; ++k) {
            const std::string* value = block.find_value(tags[k]);
            cell[k] = value != nullptr ? gemmi::cif::as_number(*value) : NAN;
            has_cell = has_cell && std::isfinite(cell[k]);
        }
        // a placeholder cell of 1 x 1 x 1 A around a model is no crystal
        if (has_cell && !(cell[0] == 1.0 && cell[1] == 1.0 && cell[2] == 1.0))
            s.is_periodic = CellFromParameters(cell, s.cell);
        if (skipped > 0)
            s.note = std::to_string(skipped) + " models with another number of atoms than the first left out";
        out = std::move(s);
        return true;
    } catch (const std::bad_alloc&) {
        refusal = {0, "too large for the memory"};
    } catch (const std::exception& e) {
        refusal = RefusalOf(e);
    }
    return false;
}

}  // namespace io
