// The linked-cell grid of the bond search: atoms sorted into cubic cells at
// least as wide as the longest possible bond, so that a bonded pair always
// lies in neighbouring cells, and the search for every bonded pair over it.
#ifndef TESK_CORE_BOND_SEARCH_H
#define TESK_CORE_BOND_SEARCH_H

#include <cstddef>
#include <vector>

#include <glm/glm.hpp>

// The bond criterion, shared by every bond search: the largest squared
// distance that still bonds elements a and b (s = ra + rb in float, s^2
// times 1.2 in double, back to float), and the test of a squared distance
// against it (atoms on top of each other are never bonded).
float BondLimit(unsigned a, unsigned b);
inline bool IsBondLength(float d2, float limit)
{
    return d2 <= limit && double(d2) > 0.1;
}

// neighbour-cell offsets of the linked-cell bond search, in search order
inline const glm::ivec3 neighbor_cells[27] = {
    {0, 0, 0},  {1, 0, 0},   {1, 1, 0},    {0, 1, 0},   {-1, 1, 0},  {0, 0, 1},  {1, 0, 1},   {-1, 0, 1},  {1, 1, 1},
    {0, 1, 1},  {-1, 1, 1},  {-1, -1, 1},  {0, -1, 1},  {1, -1, 1},  {0, 0, -1}, {1, 0, -1},  {-1, 0, -1}, {1, 1, -1},
    {0, 1, -1}, {-1, 1, -1}, {-1, -1, -1}, {0, -1, -1}, {1, -1, -1}, {-1, 0, 0}, {-1, -1, 0}, {0, -1, 0},  {1, -1, 0}};

namespace core {

class BondGrid {
public:
    // Room for the grid of `atoms` atoms, taken before a structure replaces
    // the shown one, so that a lack of memory refuses the file instead.
    void Reserve(std::size_t atoms);
    // Sorts the atoms that can bond (not the dummies) into cells for atoms
    // of radius up to `max_radius`.
    void Build(const std::vector<glm::vec3>& positions, const std::vector<unsigned>& elements, float max_radius);
    // Appends every bonded pair (i, j), i < j, to `pairs`; false when it
    // stopped after atom i's pairs because `pairs` had grown by `most`.
    // Throws std::bad_alloc when out of memory, with the pairs found so far.
    bool FindPairs(const std::vector<glm::vec3>& positions, const std::vector<unsigned>& elements,
                   std::vector<glm::uvec2>& pairs, std::size_t most) const;
    // cells of the grid: of the box over the atoms, or the occupied ones
    unsigned CellCount() const { return u_cell_number; }

private:
    // One atom of the cell-ordered copy: its position, number and element.
    struct CellAtom {
        glm::vec3 p;
        unsigned atom;
        unsigned element;
    };
    // Integer coordinates of a cell.
    struct CellKey {
        long long x, y, z;
        bool operator==(const CellKey& o) const { return x == o.x && y == o.y && z == o.z; }
    };
    // Atoms of a crowded cell that share one small sub-cube: they lie closer
    // together than any bond, so the search never pairs them with each other.
    struct Clump {
        unsigned begin, end;  // their entries in v_cell_atoms
        CellKey key;          // the sub-cube
    };
    class CellTable;

    void SetCells(const std::vector<glm::vec3>& positions, const std::vector<unsigned>& elements, float max_radius);
    void SetCellList(const std::vector<glm::vec3>& positions, const std::vector<unsigned>& elements);
    // Cell coordinate of a position along one axis, kept inside the dense grid.
    int GetCellCoordinate(float p, int axis) const;
    // Sub-cube of a position for telling crowded atoms apart.
    static CellKey GetClumpKey(const glm::vec3& p);

    // The grid in double precision: its origin is the lowest corner of the
    // atoms. When a box of cells over the atoms is small (at most a few
    // cells per atom) it is dense: cell (x, y, z) is number
    // (z * ny + y) * nx + x and v_grid_frac gives cells per unit length.
    // Otherwise only the cells that hold atoms exist (is_sparse_grid), found
    // through a hash of their keys, so the cost follows the atoms, not the
    // size of the box.
    unsigned u_cell_number = 0;
    glm::ivec3 v_cell_side{0};
    glm::dvec3 v_grid_origin{0.0};
    glm::dvec3 v_grid_size{0.0};
    glm::dvec3 v_grid_frac{0.0};
    double r_cell_edge = 0.0;
    bool is_sparse_grid = false;
    // per atom: its cell, -1 for a dummy atom (never bonded, in no cell)
    std::vector<int> v_atom_cell;
    // The atoms of every cell in one block, cell after cell, each block in
    // descending atom number; cell c holds entries v_cell_start[c] to
    // v_cell_start[c + 1] - 1.
    std::vector<unsigned> v_cell_start;
    std::vector<CellAtom> v_cell_atoms;
    // sparse grid: each cell's key, and its neighbour cells (itself
    // included) as entries v_near_start[c] to v_near_start[c + 1] - 1 of v_near
    std::vector<CellKey> v_cell_keys;
    std::vector<unsigned> v_near_start;
    std::vector<unsigned> v_near;
    // Crowded cells have their block ordered by sub-cube: clumps
    // v_cell_clumps[c].x to .y - 1 of v_clumps (an empty range elsewhere).
    std::vector<glm::uvec2> v_cell_clumps;
    std::vector<Clump> v_clumps;
};

}  // namespace core

#endif
