// The linked-cell grid and the search for bonded pairs over it.
#include "core/bond_search.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <string>
#include <utility>

#include "core/elements.h"

namespace {

// A cell with more atoms than this is split into clumps (BondGrid::Clump).
constexpr unsigned CROWDED_CELL = 32;
// Edge of the clump sub-cubes: two atoms in one are at most 0.18 * sqrt(3)
// = 0.312 apart, d^2 <= 0.0972, below the 0.1 every bond must exceed.
constexpr double CLUMP_EDGE = 0.18;
// Cell coordinates are kept within this; atoms beyond lie so far out that
// their float positions are farther apart than any bond, or equal.
constexpr double MAX_CELL_COORDINATE = 4.0e18;

// Cells and sub-cubes are counted from the origin of space, not from the
// atoms' corner: then only a position far from the origin gets its
// coordinate clamped, and there floats are farther apart than any bond.
long long CellCoordinate(float p, double edge)
{
    const double u = std::floor(double(p) / edge);
    if (!(u > -MAX_CELL_COORDINATE))
        return -(long long)MAX_CELL_COORDINATE;
    if (u >= MAX_CELL_COORDINATE)
        return (long long)MAX_CELL_COORDINATE;
    return (long long)u;
}

}  // namespace

float BondLimit(unsigned a, unsigned b)
{
    const float s = atom_rgbs[a][3] + atom_rgbs[b][3];
    return float(1.2 * double(s * s));
}

namespace core {

namespace {

template <class Key>
std::size_t HashKey(const Key& k)
{
    unsigned long long h = (unsigned long long)k.x * 0x9E3779B97F4A7C15ull;
    h ^= (unsigned long long)k.y * 0xC2B2AE3D27D4EB4Full + (h >> 29);
    h ^= (unsigned long long)k.z * 0x165667B19E3779F9ull + (h >> 31);
    return std::size_t(h ^ (h >> 32));
}

}  // namespace

// Open-addressing table from cell keys to cell numbers.
class BondGrid::CellTable {
public:
    CellTable(std::size_t cells, const std::vector<CellKey>& keys) : keys_(keys)
    {
        std::size_t size = 16;
        while (size < 2 * cells)
            size *= 2;
        slots_.assign(size, EMPTY);
        mask_ = size - 1;
    }
    // The cell of `k`, or EMPTY.
    unsigned Find(const CellKey& k) const
    {
        for (std::size_t s = HashKey(k) & mask_;; s = (s + 1) & mask_)
            if (slots_[s] == EMPTY || keys_[slots_[s]] == k)
                return slots_[s];
    }
    // The cell of `k`, numbered `next` when it is new.
    unsigned Insert(const CellKey& k, unsigned next)
    {
        for (std::size_t s = HashKey(k) & mask_;; s = (s + 1) & mask_) {
            if (slots_[s] == EMPTY)
                return slots_[s] = next;
            if (keys_[slots_[s]] == k)
                return slots_[s];
        }
    }
    static constexpr unsigned EMPTY = 0xffffffffu;

private:
    const std::vector<CellKey>& keys_;
    std::vector<unsigned> slots_;
    std::size_t mask_ = 0;
};

void BondGrid::Reserve(std::size_t atoms)
{
    const std::size_t cells = atoms * 4 + 64;  // the most cells the grid takes
    v_atom_cell.reserve(atoms);
    v_cell_start.reserve(cells + 1);
    v_cell_atoms.reserve(atoms);
}

void BondGrid::Build(const std::vector<glm::vec3>& positions, const std::vector<unsigned>& elements, float max_radius)
{
    SetCells(positions, elements, max_radius);
    for (int a = 0; a < 3; ++a)
        v_grid_frac[a] = !is_sparse_grid && v_grid_size[a] > 0.0 ? double(v_cell_side[a]) / v_grid_size[a] : 0.0;
    SetCellList(positions, elements);
}

void BondGrid::SetCells(const std::vector<glm::vec3>& positions, const std::vector<unsigned>& elements,
                        float max_radius)
{
    // Every cell edge is at least the longest distance the bond criterion
    // allows (sqrt(1.2) times twice the largest radius), with a little to
    // spare for rounding, so a bonded pair always lies in neighbouring cells.
    const double reach = std::sqrt(1.2) * 2.0 * double(max_radius);
    r_cell_edge = reach * (1.0 + 1e-4) + 1e-6;

    // the extent of the atoms that can bond (dummy atoms never do)
    const unsigned n = unsigned(std::min(positions.size(), elements.size()));
    glm::dvec3 lo(0.0), hi(0.0);
    bool first = true;
    for (unsigned i = 0; i < n; ++i) {
        if (IsDummy(elements[i]))
            continue;
        const glm::dvec3 p(positions[i]);
        lo = first ? p : glm::min(lo, p);
        hi = first ? p : glm::max(hi, p);
        first = false;
    }
    v_grid_origin = lo;
    double total = 1.0;
    for (int a = 0; a < 3; ++a) {
        v_grid_size[a] = hi[a] - lo[a];
        if (!(v_grid_size[a] > 0.0) || !std::isfinite(v_grid_size[a]))
            v_grid_size[a] = 0.0;
        const double cells = std::max(1.0, std::floor(v_grid_size[a] / r_cell_edge));
        v_cell_side[a] = int(std::min(cells, double(1 << 30)));
        total *= cells;
    }
    // a box of a few cells per atom is cheapest walked directly; anything
    // wider (blobs far apart, a long diagonal line) only keeps its occupied cells
    is_sparse_grid = total > std::min(4.0 * double(n) + 64.0, double(1 << 30));
    u_cell_number = is_sparse_grid ? 0u : unsigned(total);
    if (is_sparse_grid)
        v_cell_side = glm::ivec3(0);
}

int BondGrid::GetCellCoordinate(float p, int axis) const
{
    const double u = (double(p) - v_grid_origin[axis]) * v_grid_frac[axis];
    if (!(u > 0.0))
        return 0;
    if (u >= double(v_cell_side[axis]))
        return v_cell_side[axis] - 1;
    return int(u);
}

BondGrid::CellKey BondGrid::GetClumpKey(const glm::vec3& p)
{
    return CellKey{CellCoordinate(p.x, CLUMP_EDGE), CellCoordinate(p.y, CLUMP_EDGE), CellCoordinate(p.z, CLUMP_EDGE)};
}

void BondGrid::SetCellList(const std::vector<glm::vec3>& positions, const std::vector<unsigned>& elements)
{
    const unsigned n = unsigned(std::min(positions.size(), elements.size()));
    v_atom_cell.assign(n, -1);
    v_cell_keys.clear();
    v_near_start.clear();
    v_near.clear();
    if (!is_sparse_grid) {
        const std::size_t nx = std::size_t(v_cell_side.x), ny = std::size_t(v_cell_side.y);
        for (unsigned i = 0; i < n; ++i) {
            if (IsDummy(elements[i]))
                continue;
            const glm::vec3& p = positions[i];
            v_atom_cell[i] =
                int((std::size_t(GetCellCoordinate(p.z, 2)) * ny + std::size_t(GetCellCoordinate(p.y, 1))) * nx +
                    std::size_t(GetCellCoordinate(p.x, 0)));
        }
    } else {
        // cells numbered as atoms first reach them
        CellTable table(n, v_cell_keys);
        CellKey last{LLONG_MIN, LLONG_MIN, LLONG_MIN};
        unsigned last_cell = 0;
        for (unsigned i = 0; i < n; ++i) {
            if (IsDummy(elements[i]))
                continue;
            const glm::vec3& p = positions[i];
            const CellKey k{CellCoordinate(p.x, r_cell_edge), CellCoordinate(p.y, r_cell_edge),
                            CellCoordinate(p.z, r_cell_edge)};
            if (!(k == last)) {  // files list neighbours together: skip the look-up
                last_cell = table.Insert(k, unsigned(v_cell_keys.size()));
                if (last_cell == v_cell_keys.size())
                    v_cell_keys.push_back(k);
                last = k;
            }
            v_atom_cell[i] = int(last_cell);
        }
        u_cell_number = unsigned(v_cell_keys.size());
        // each cell's neighbours, itself first
        v_near_start.assign(std::size_t(u_cell_number) + 1, 0);
        v_near.reserve(std::size_t(u_cell_number) * 8);
        for (unsigned c = 0; c < u_cell_number; ++c) {
            v_near_start[c] = unsigned(v_near.size());
            const CellKey k = v_cell_keys[c];
            for (const glm::ivec3& o : neighbor_cells) {
                const unsigned near = table.Find(CellKey{k.x + o.x, k.y + o.y, k.z + o.z});
                if (near != CellTable::EMPTY)
                    v_near.push_back(near);
            }
        }
        v_near_start[u_cell_number] = unsigned(v_near.size());
    }

    // the atoms laid out cell after cell, each cell in descending atom number
    v_cell_start.assign(std::size_t(u_cell_number) + 1, 0);
    for (unsigned i = 0; i < n; ++i)
        if (v_atom_cell[i] >= 0)
            ++v_cell_start[std::size_t(v_atom_cell[i]) + 1];
    for (std::size_t c = 0; c < u_cell_number; ++c)
        v_cell_start[c + 1] += v_cell_start[c];
    v_cell_atoms.resize(v_cell_start[u_cell_number]);
    {
        std::vector<unsigned> fill(v_cell_start.begin(), v_cell_start.end() - 1);
        for (unsigned i = n; i-- > 0;)
            if (v_atom_cell[i] >= 0)
                v_cell_atoms[fill[std::size_t(v_atom_cell[i])]++] = CellAtom{positions[i], i, elements[i]};
    }

    // Crowded cells: atoms piled up in one spot would make every pair of
    // them a candidate. Ordered by sub-cube (keeping descending atom numbers
    // within one), the atoms of each sub-cube form a clump the search skips
    // as a whole when the atom it pairs lies in the same sub-cube.
    v_cell_clumps.assign(u_cell_number, glm::uvec2(0));
    v_clumps.clear();
    std::vector<std::pair<CellKey, CellAtom>> items;
    for (unsigned c = 0; c < u_cell_number; ++c) {
        const unsigned from = v_cell_start[c], to = v_cell_start[c + 1];
        if (to - from <= CROWDED_CELL)
            continue;
        v_cell_clumps[c].x = unsigned(v_clumps.size());
        const CellKey first = GetClumpKey(v_cell_atoms[from].p);
        unsigned same = from + 1;
        while (same < to && GetClumpKey(v_cell_atoms[same].p) == first)
            ++same;
        if (same == to) {  // one pile: nothing to order
            v_clumps.push_back(Clump{from, to, first});
            v_cell_clumps[c].y = unsigned(v_clumps.size());
            continue;
        }
        items.clear();
        for (unsigned k = from; k < to; ++k)
            items.emplace_back(GetClumpKey(v_cell_atoms[k].p), v_cell_atoms[k]);
        std::stable_sort(items.begin(), items.end(), [](const auto& a, const auto& b) {
            return a.first.x != b.first.x   ? a.first.x < b.first.x
                   : a.first.y != b.first.y ? a.first.y < b.first.y
                                            : a.first.z < b.first.z;
        });
        for (unsigned k = 0; k < items.size(); ++k) {
            v_cell_atoms[from + k] = items[k].second;
            if (k == 0 || !(items[k].first == items[k - 1].first))
                v_clumps.push_back(Clump{from + k, from + k, items[k].first});
            v_clumps.back().end = from + k + 1;
        }
        v_cell_clumps[c].y = unsigned(v_clumps.size());
    }
}

bool BondGrid::FindPairs(const std::vector<glm::vec3>& positions, const std::vector<unsigned>& elements,
                         std::vector<glm::uvec2>& pairs, std::size_t most) const
{
    const unsigned n = unsigned(std::min(positions.size(), elements.size()));
    const std::size_t first = pairs.size();
    if (n <= 1)
        return true;
    // squared bond limit of every element pair
    float limit[periodic_table_atoms][periodic_table_atoms];
    for (unsigned a = 0; a < periodic_table_atoms; ++a)
        for (unsigned b = 0; b < periodic_table_atoms; ++b)
            limit[a][b] = BondLimit(a, b);

    const glm::vec3* pos = positions.data();
    const unsigned* elem = elements.data();
    if (u_cell_number <= 8 && n <= 1024) {
        // a few atoms in a few cells: every pair
        for (unsigned i = 0; i + 1 < n; ++i) {
            if (IsDummy(elem[i]))
                continue;
            const glm::vec3 pi = pos[i];
            const float* row = limit[elem[i]];
            for (unsigned j = i + 1; j < n; ++j) {
                if (IsDummy(elem[j]))
                    continue;
                const glm::vec3 d = pos[j] - pi;
                const float d2 = d.x * d.x + d.y * d.y + d.z * d.z;
                if (IsBondLength(d2, row[elem[j]]))
                    pairs.emplace_back(i, j);
            }
        }
    } else {
        const int nx = v_cell_side.x, ny = v_cell_side.y, nz = v_cell_side.z;
        const unsigned* start = v_cell_start.data();
        const CellAtom* cells = v_cell_atoms.data();
        const glm::uvec2* clumps = v_cell_clumps.data();
        // one bit per cell, read only for cells whose block is not ordinary
        std::vector<bool> crowded(u_cell_number, false);
        for (std::size_t c = 0; c < u_cell_number; ++c)
            crowded[c] = clumps[c].x != clumps[c].y;
        const bool any_crowded = !v_clumps.empty();
        // Away from the grid's faces no offset wraps and the 27 cells are
        // distinct: their numbers are the atom's cell plus a fixed step.
        std::ptrdiff_t step[27];
        for (int k = 0; k < 27; ++k) {
            const glm::ivec3& o = neighbor_cells[k];
            step[k] = (std::ptrdiff_t(o.z) * ny + o.y) * nx + o.x;
        }
        std::size_t around[27];
        for (unsigned i = 0; i + 1 < n; ++i) {
            if (IsDummy(elem[i]))
                continue;
            const glm::vec3 pi = pos[i];
            const float* row = limit[elem[i]];
            int n_around = 0;
            if (is_sparse_grid) {
                const std::size_t c = std::size_t(v_atom_cell[i]);
                for (unsigned k = v_near_start[c]; k < v_near_start[c + 1]; ++k)
                    around[n_around++] = v_near[k];
            } else {
                const int cx = GetCellCoordinate(pi.x, 0);
                const int cy = GetCellCoordinate(pi.y, 1);
                const int cz = GetCellCoordinate(pi.z, 2);
                if (cx > 0 && cx < nx - 1 && cy > 0 && cy < ny - 1 && cz > 0 && cz < nz - 1) {
                    const std::ptrdiff_t c = (std::ptrdiff_t(cz) * ny + cy) * nx + cx;
                    for (int k = 0; k < 27; ++k)
                        around[k] = std::size_t(c + step[k]);
                    n_around = 27;
                } else {
                    // at a face the offsets wrap to the far side of the grid,
                    // and with fewer than three cells along an axis two
                    // offsets can reach the same cell
                    for (int k = 0; k < 27; ++k) {
                        const glm::ivec3& o = neighbor_cells[k];
                        int x = cx + o.x, y = cy + o.y, z = cz + o.z;
                        if (x >= nx)
                            x = 0;
                        else if (x < 0)
                            x = nx - 1;
                        if (y >= ny)
                            y = 0;
                        else if (y < 0)
                            y = ny - 1;
                        if (z >= nz)
                            z = 0;
                        else if (z < 0)
                            z = nz - 1;
                        const std::size_t c =
                            (std::size_t(z) * std::size_t(ny) + std::size_t(y)) * std::size_t(nx) + std::size_t(x);
                        if (c >= u_cell_number)
                            continue;
                        if (std::find(around, around + n_around, c) != around + n_around)
                            continue;
                        around[n_around++] = c;
                    }
                }
            }
            // each block runs from its highest atom number down: stop at i
            auto scan = [&](unsigned from, unsigned to) {
                for (const CellAtom* a = cells + from; a < cells + to && a->atom > i; ++a) {
                    const glm::vec3 d = a->p - pi;
                    const float d2 = d.x * d.x + d.y * d.y + d.z * d.z;
                    if (IsBondLength(d2, row[a->element]))
                        pairs.emplace_back(i, a->atom);
                }
            };
            bool have_key = false;
            CellKey own{0, 0, 0};
            for (int k = 0; k < n_around; ++k) {
                const std::size_t c = around[k];
                if (!any_crowded || !crowded[c]) {
                    scan(start[c], start[c + 1]);
                    continue;
                }
                if (!have_key) {
                    own = GetClumpKey(pi);
                    have_key = true;
                }
                for (unsigned m = clumps[c].x; m < clumps[c].y; ++m)
                    if (!(v_clumps[m].key == own))
                        scan(v_clumps[m].begin, v_clumps[m].end);
            }
            if (pairs.size() - first >= most)
                return false;
        }
    }
    return true;
}

}  // namespace core
