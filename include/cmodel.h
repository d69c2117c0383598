// The structure shown by the program: atoms, bonds, cell or bounding box,
// and one reader/writer per file format.
#ifndef TESK_CMODEL_H
#define TESK_CMODEL_H

#include <string>
#include <vector>

#include <glm/glm.hpp>

#include "ccrystal.h"
#include "chistory.h"
#include "cpdb.h"
#include "cvasp.h"
#include "cxyz.h"

inline constexpr int INPUT_FILE_TYPE_XYZ = 0;
inline constexpr int INPUT_FILE_TYPE_VSP = 1;
inline constexpr int INPUT_FILE_TYPE_PDB = 2;
inline constexpr int INPUT_FILE_TYPE_GAU = 3;
inline constexpr int INPUT_FILE_TYPE_DLP = 4;
inline constexpr int INPUT_FILE_TYPE_ZMT = 5;
inline constexpr int INPUT_FILE_TYPE_UNKNOWN = 100;

// neighbour-cell offsets of the linked-cell bond search, in search order
inline const glm::ivec3 neighbor_cells[27] = {
    {0, 0, 0},   {1, 0, 0},   {1, 1, 0},   {0, 1, 0},   {-1, 1, 0},   {0, 0, 1},   {1, 0, 1},
    {-1, 0, 1},  {1, 1, 1},   {0, 1, 1},   {-1, 1, 1},  {-1, -1, 1},  {0, -1, 1},  {1, -1, 1},
    {0, 0, -1},  {1, 0, -1},  {-1, 0, -1}, {1, 1, -1},  {0, 1, -1},   {-1, 1, -1}, {-1, -1, -1},
    {0, -1, -1}, {1, -1, -1}, {-1, 0, 0},  {-1, -1, 0}, {0, -1, 0},   {1, -1, 0}};

// The bond criterion, shared by every bond search: the largest squared
// distance that still bonds elements a and b (s = ra + rb in float, s^2
// times 1.2 in double, back to float), and the test of a squared distance
// against it (atoms on top of each other are never bonded).
float BondLimit(unsigned a, unsigned b);
inline bool IsBondLength(float d2, float limit) { return d2 <= limit && double(d2) > 0.1; }

// One atom of the cell-ordered copy the bond search walks: its position,
// atom number and element index.
struct CCellAtom {
    glm::vec3 p;
    unsigned atom;
    unsigned element;
};

class CModel {
public:
    CModel();

    // Reads a structure with the reader of format code `fmt` (0, 1 or 2).
    // A refused file, or any other code, changes nothing at all.
    bool ReadFile(std::string d, std::string f, int fmt);
    void SetModel();
    void CenterView();
    void CenterCoordinates();
    // Edits, each one undo step; the bonds of the atoms touched follow.
    void ChangeAtom(unsigned num, unsigned idx);
    void DeleteAtom(unsigned u);
    // Deletes every listed atom that exists, as one step.
    void DeleteAtoms(std::vector<unsigned> atoms);
    // Put back the structure before the last step, or apply the next one
    // again; false when there is none.
    bool Undo();
    bool Redo();
    // Measurements on the drawn positions: length, and angles in degrees
    // (the angle at j; the dihedral about j-k, in (-180, 180]). 0 for an
    // atom number that does not exist.
    double Distance(unsigned i, unsigned j) const;
    double Angle(unsigned i, unsigned j, unsigned k) const;
    double Dihedral(unsigned i, unsigned j, unsigned k, unsigned l) const;
    // Writes with the writer of the format the structure was read in; false
    // before any structure was read or when the file cannot be written.
    bool SaveFile(std::string d, std::string f, int fmt);
    // Writes the structure to `path` in format `fmt`: through the writer of
    // the format it was read in when that is `fmt`, else from the atoms,
    // their elements and the cell. An existing file is left as it was on
    // failure.
    bool SaveFileAs(const std::string& path, int fmt);
    // Moves every atom of a periodic structure into the cell (fractional
    // coordinates in [0, 1)), in the readers' copies too, as one undo step;
    // the bonds keep their partners, only their images change. False when
    // nothing moved.
    bool Wrap();
    // The cell with the drawn position of its origin.
    CLattice GetLattice() const { return CLattice(m_cell_box, v_cell_origin); }
    unsigned GetTotalAtoms() const { return static_cast<unsigned>(v_float_raw_xyz.size()); }

    // bond detection
    void EvalCutRadius();
    void EvalAtomicBonds();
    void EvalLinkedList();
    void SetCells();
    void SetNeighbourList();
    void SetInverseCell();
    void SetCellList();

    // Edit primitives without history: each fills or reads a record that
    // holds exactly what its inverse needs.
    void RemoveAtom(unsigned u, CEditRecord& r);
    void RestoreAtom(const CEditRecord& r);
    void SetElement(unsigned num, unsigned idx, CEditRecord& r);
    void RestoreElement(const CEditRecord& r);
    // Moves the bond records of atom u out (keeping the order of the rest),
    // puts such records back at their places, and appends the bonds of atom
    // u found by testing it against every other atom.
    void TakeBondsOf(unsigned u, std::vector<CBondEntry>& out);
    void PutBondsBack(const std::vector<CBondEntry>& in);
    void FindBondsOf(unsigned u);
    // Moves the atoms by whole cells and brings the bond records along;
    // fills the record's old values on first use, reads its shifts after.
    void ApplyWrap(CEditRecord& r, bool first);
    void RestoreWrap(const CEditRecord& r);

    // Writes bond record i_number_of_bonds for atoms i < j, growing the
    // record vectors when they are full.
    // `pj` is the image of atom j in cell `image` for a periodic bond.
    void AppendBond(unsigned i, unsigned j, const glm::vec3& pi, const glm::vec3& pj, const glm::vec3& d, float d2,
                    const glm::ivec3& image = glm::ivec3(0));
    void AppendPeriodicBond(const CLattice& lattice, const CCrystalBond& b);
    // Cell coordinate of a position along one axis, kept inside the grid.
    int GetCellCoordinate(float p, int axis) const;

    CXyz xyz;
    CVasp vasp;
    CPdb pdb;
    CHistory history;  // edits since the last read
    int file_format = INPUT_FILE_TYPE_XYZ;
    int i_neighbor_cells = 0;
    bool is_bond_eval = false;
    bool is_unchanged = true;
    unsigned u_cell_number = 0;
    float max_radius = 0.0f;
    float r_cut_radius = 0.0f;
    unsigned i_number_of_bonds = 0;
    glm::vec3 v_cell_frac{0.0f};
    glm::vec3 v_box_size{0.0f};
    glm::dmat3 m_cell_box{0.0};
    glm::ivec3 v_cell_side{0};
    std::vector<int> v_cell_head;
    std::vector<int> v_cell_list;
    std::vector<glm::ivec3> neighbor_cells_xyz;
    bool is_periodic = false;
    bool is_linked_list = false;
    bool is_centered = false;
    glm::vec3 min_xyz{0.0f};
    glm::vec3 max_xyz{0.0f};
    glm::vec3 center_xyz{0.0f};
    std::vector<glm::vec3> v_float_raw_xyz;
    std::vector<unsigned> v_atom_index;
    std::vector<float> v_bond_length;
    std::vector<glm::vec3> m_bond_xyz;
    std::vector<glm::vec2> m_bond_ang;
    std::vector<glm::uvec2> m_bond_indices;
    // cell of the second atom's image, (0, 0, 0) for a bond inside the cell
    std::vector<glm::ivec3> m_bond_image;
    // bonds were found under periodic boundary conditions
    bool is_periodic_bonds = false;
    // drawn position of the cell's origin; moves with the atoms when centred
    glm::dvec3 v_cell_origin{0.0};

    // The grid in double precision: it spans the atoms' own extent (origin
    // and size) and has v_grid_frac cells per unit length. The float box may
    // overflow for coordinates near the float limits; these never do.
    glm::dvec3 v_grid_origin{0.0};
    glm::dvec3 v_grid_size{0.0};
    glm::dvec3 v_grid_frac{0.0};
    // The atoms of every cell in one block, cell after cell, each block in
    // descending atom number like the cell lists; cell c holds entries
    // v_cell_start[c] to v_cell_start[c + 1] - 1. Dummy atoms are left out.
    std::vector<unsigned> v_cell_start;
    std::vector<CCellAtom> v_cell_atoms;
};

#endif
