// The structure shown by the program: atoms, bonds, cell or bounding box,
// and one reader/writer per file format.
#ifndef TESK_CMODEL_H
#define TESK_CMODEL_H

#include <string>
#include <vector>

#include <glm/glm.hpp>

#include "cpdb.h"
#include "ctrajectory.h"
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

// An edit of the shown structure, replayed on every frame read later: the
// deletion of atom u_atom, or its change to element u_element.
struct CFrameEdit {
    bool is_delete;
    unsigned u_atom;
    unsigned u_element;
};

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
    void ChangeAtom(unsigned num, unsigned idx);
    void DeleteAtom(unsigned u);
    // Writes with the writer of the format the structure was read in; false
    // before any structure was read or when the file cannot be written.
    bool SaveFile(std::string d, std::string f, int fmt);
    // Writes the structure to `path` in format `fmt`: through the writer of
    // the format it was read in when that is `fmt`, else from the atoms,
    // their elements and the cell. An existing file is left as it was on
    // failure.
    bool SaveFileAs(const std::string& path, int fmt);
    unsigned GetTotalAtoms() const { return static_cast<unsigned>(v_float_raw_xyz.size()); }

    // frames of a trajectory file (a file of one structure has one)
    // The count of the whole file; finishes the index first.
    std::size_t GetFrameCount();
    std::size_t GetShownFrame() const { return u_frame; }
    // Shows frame k (0-based) with its bonds and cell and the edits made so
    // far. False, with the shown frame left as it was and the reason in
    // frame_message, for a frame that does not exist, cannot be read or
    // holds another number of atoms than the first.
    bool SetFrame(std::size_t k);
    // Reads frame k into the model; its bonds only with `bonds`.
    bool LoadFrame(std::size_t k, bool bonds);
    // Writes every frame that can be read, one after another, as XYZ.
    bool SaveAllFrames(const std::string& path);
    // The reader of each format on a structure's text held in memory.
    static bool ReadText(CXyz& r, const std::string& d, const std::string& f, const std::string& text,
                         std::vector<glm::vec3>& xyz, std::vector<unsigned>& idx);
    static bool ReadText(CVasp& r, const std::string& d, const std::string& f, const std::string& text,
                         std::vector<glm::vec3>& xyz, std::vector<unsigned>& idx);
    static bool ReadText(CPdb& r, const std::string& d, const std::string& f, const std::string& text,
                         std::vector<glm::vec3>& xyz, std::vector<unsigned>& idx);

    // bond detection
    void EvalCutRadius();
    void EvalAtomicBonds();
    void EvalLinkedList();
    void SetCells();
    void SetNeighbourList();
    void SetInverseCell();
    void SetCellList();

    // Writes bond record i_number_of_bonds for atoms i < j, growing the
    // record vectors when they are full.
    void AppendBond(unsigned i, unsigned j, const glm::vec3& pi, const glm::vec3& pj, const glm::vec3& d, float d2);
    // Cell coordinate of a position along one axis, kept inside the grid.
    int GetCellCoordinate(float p, int axis) const;

    CXyz xyz;
    CVasp vasp;
    CPdb pdb;
    int file_format = INPUT_FILE_TYPE_XYZ;
    CTrajectory trajectory;
    std::string frame_folder;  // where the file's POTCAR is looked for
    std::string frame_message;  // why the last frame asked for is not shown
    std::size_t u_frame = 0;
    std::size_t u_frame_atoms = 0;  // atoms of the first frame as read
    glm::vec3 frame_center_xyz{0.0f};  // every frame is shown around the first one's centre
    std::vector<CFrameEdit> v_edits;
    bool is_saving_frames = false;
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
