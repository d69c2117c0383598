// Periodic structures: the cell as a lattice, the bond search under periodic
// boundary conditions in any (also triclinic) cell, wrapping atoms into the
// cell, and the copies of atoms and bonds drawn for boundary atoms and
// supercells. Pure data; the model and the display call these.
#ifndef TESK_CORE_CRYSTAL_H
#define TESK_CORE_CRYSTAL_H

#include <array>
#include <vector>

#include <glm/glm.hpp>

// The cell: one cell vector per column, with the drawn position of its origin.
class CLattice {
public:
    CLattice() = default;
    CLattice(const glm::dmat3& cell, const glm::dvec3& origin, const glm::bvec3& periodic = glm::bvec3(true));

    glm::dvec3 Fractional(const glm::vec3& p) const { return m_inverse * (glm::dvec3(p) - v_origin); }
    // The Cartesian translation of a whole number of cells, as drawn.
    glm::vec3 Translation(const glm::ivec3& s) const { return glm::vec3(m_cell * glm::dvec3(s)); }
    // How many cells along each axis a distance r can span: the largest
    // fractional step of a vector no longer than r, rounded up.
    glm::ivec3 Reach(double r) const;

    glm::dmat3 m_cell{1.0};
    glm::dmat3 m_inverse{1.0};
    glm::dvec3 v_origin{0.0};
    glm::dvec3 v_plane{0.0};  // distance between lattice planes along each axis
    bool is_usable = false;   // finite and not flat
    // the axes the structure repeats along; bonds and wrapping keep to them
    glm::bvec3 v_periodic{true};
};

// Lengths and angles (degrees) of a cell whose columns are its vectors.
void CellParameters(const glm::dmat3& cell, double parameters[6]);
// The cell of lengths a, b, c and angles alpha, beta, gamma (degrees) in the
// standard setting: a along x, b in the xy plane. Right angles give exact
// zeros. False for lengths or angles that close no cell.
bool CellFromParameters(const double parameters[6], glm::dmat3& cell);

// One bond found: atoms i <= j, and the cell offset of j's image.
struct CCrystalBond {
    unsigned i;
    unsigned j;
    glm::ivec3 image;
};

// True when bonds may be searched under periodic boundary conditions in
// `lattice` for `atoms` atoms: a usable cell, not absurdly dense (a
// placeholder cell such as 1 x 1 x 1 around a molecule), and not so thin
// that the images to search run into the thousands.
bool IsPeriodicSearchable(const CLattice& lattice, std::size_t atoms, float max_radius);

// Every bond of the structure under periodic boundary conditions with the
// shared criterion: each pair once per image, stored with i < j, or with
// i == j and the image's first nonzero component positive. Dummy atoms bond
// to nothing. Linear in the atoms: a grid over fractional coordinates.
void FindPeriodicBonds(const CLattice& lattice, const std::vector<glm::vec3>& pos, const std::vector<unsigned>& elem,
                       float max_radius, std::vector<CCrystalBond>& out);
// The bonds of atom u alone, against every atom and every image.
void FindPeriodicBondsOf(const CLattice& lattice, unsigned u, const std::vector<glm::vec3>& pos,
                         const std::vector<unsigned>& elem, std::vector<CCrystalBond>& out);

// The whole cells each atom must move by to lie in the cell (fractional
// coordinates in [0, 1)).
// Only periodic axes count; an atom so far out (fractional 1e9 or more) that
// float positions cannot be wrapped stays, and `far_out` counts such atoms.
std::vector<glm::ivec3> WrapShifts(const CLattice& lattice, const std::vector<glm::vec3>& pos,
                                   std::size_t* far_out = nullptr);

// One drawn copy of an atom: its atom number and the cell it is drawn in.
struct CAtomCopy {
    unsigned atom;
    glm::ivec3 cell;
};

// Which copies are drawn: n1 x n2 x n3 cells, and with boundary atoms an
// atom within 1e-4 of a face (fractional 0 or 1) also on the opposite face
// of the whole block.
class CCopies {
public:
    static constexpr double BOUNDARY = 1e-4;

    void Build(const CLattice& lattice, const std::vector<glm::vec3>& pos, const glm::ivec3& repeat, bool boundary);
    // The copies Build would make for `repeat`, boundary copies included,
    // from the atoms' faces counted once by CountFaces.
    void CountFaces(const CLattice& lattice, const std::vector<glm::vec3>& pos, bool boundary);
    double CopyCount(const glm::ivec3& repeat) const;
    // bit a: the position lies on the face at fractional 0 of axis a; bit a + 3: at 1
    static unsigned char FaceBits(const CLattice& lattice, const glm::vec3& p);
    bool HasCopy(unsigned atom, const glm::ivec3& cell) const { return CopyIndex(atom, cell) >= 0; }
    // The place of that copy among the atom's copies, -1 when not drawn.
    int CopyIndex(unsigned atom, const glm::ivec3& cell) const;

    glm::ivec3 repeat_cells{1};
    // per atom, bit a: near fractional 0 along axis a; bit a + 3: near 1
    std::vector<unsigned char> v_face;
    std::vector<CAtomCopy> v_copies;             // the original (cell 0, 0, 0) first for every atom
    std::array<std::size_t, 64> v_face_count{};  // atoms per combination of face bits
};

// What is drawn of a periodic structure: the atom copies (the originals
// first, at their atom numbers, then the extra copies), after them the
// free ends of half-bonds, and the bond pieces as pairs of those points. A
// bond whose two ends are both drawn is one whole piece; otherwise each
// drawn end gets a half-bond towards the other atom's image.
struct CCrystalScene {
    std::vector<glm::vec3> v_xyz;
    std::vector<unsigned> v_atom;  // the atom number of every drawn copy
    unsigned u_drawn = 0;          // points that are atoms; the rest end half-bonds
    std::vector<glm::uvec2> v_pairs;
};

void BuildCrystalScene(const CLattice& lattice, const std::vector<glm::vec3>& pos, const std::vector<glm::uvec2>& pairs,
                       const std::vector<glm::ivec3>& images, unsigned bonds, const CCopies& copies,
                       CCrystalScene& out);

#endif
