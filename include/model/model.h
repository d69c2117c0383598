// The structure shown by the program: atoms, bonds, cell or bounding box,
// and the file's own copy of it for saving.
#ifndef TESK_MODEL_MODEL_H
#define TESK_MODEL_MODEL_H

#include <string>
#include <vector>

#include <glm/glm.hpp>

#include "core/crystal.h"
#include "core/history.h"
#include "io/trajectory.h"
#include "core/bond_search.h"
#include "io/file_copy.h"
#include "io/format_registry.h"

inline constexpr int INPUT_FILE_TYPE_XYZ = int(io::Format::Xyz);
inline constexpr int INPUT_FILE_TYPE_VSP = int(io::Format::Vasp);
inline constexpr int INPUT_FILE_TYPE_PDB = int(io::Format::Pdb);
inline constexpr int INPUT_FILE_TYPE_UNKNOWN = int(io::Format::Unknown);
// the reader is chosen from the file itself
inline constexpr int INPUT_FILE_TYPE_AUTO = int(io::Format::Auto);

// An edit of the shown structure, replayed on every frame read later: the
// deletion of atom u_atom, its change to element u_element, or (is_wrap)
// every atom moved into the cell.
struct CFrameEdit {
    bool is_delete;
    unsigned u_atom;
    unsigned u_element;
    bool is_wrap = false;
};

// One frame of the file read apart from the shown one (for a save), with the
// edits made so far: the file's copy of it, its elements and its cell.
struct CFrame {
    io::HeldCopy copy;
    std::vector<glm::vec3> positions;  // as in the file, not centred
    std::vector<unsigned> elements;
    bool periodic = false;
    glm::dmat3 cell{1.0};
};

// A read's result the model can show: at least one atom, one element per
// atom, every element in the table and every position finite as a float;
// else false with the reason.
bool IsShowable(const io::ReadResult& read, io::Refusal& refusal);

class CModel {
public:
    CModel();

    // Reads a structure with the reader of format code `fmt` (an io::Format).
    // A refused file, or any other code, changes nothing at all; the reason
    // and the line are left in read_refusal.
    bool ReadFile(std::string d, std::string f, int fmt);
    // Shows a structure read elsewhere (the atoms of a volumetric file):
    // its file copy, what the read found, and the frames of its file (none:
    // an empty CTrajectory). False, with nothing changed, without the memory.
    bool Adopt(io::HeldCopy copy, io::ReadResult&& read, CTrajectory&& frames, const std::string& folder);
    // The format of the structure shown; Unknown before any was read.
    io::Format FileFormat() const { return file_copy ? file_copy->GetFormat() : io::Format::Unknown; }
    // Box, cut radius, bonds and centring of the positions and elements in
    // place, as every read ends.
    void SetModel();
    // The bond search again from scratch over the atoms as they are.
    void FindBonds();
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
    // Writes `path` in the format the structure was read in; false before
    // any structure was read or when the file cannot be written.
    bool Save(const std::string& path);
    // Writes the structure to `path` in format `fmt`: through the writer of
    // the format it was read in when that is `fmt`, else from the atoms,
    // their elements and the cell. Every frame of a trajectory goes into the
    // file where the format holds several (XYZ, PDB models, a VASP file
    // named XDATCAR...), else the frame shown, with a note. One atomic save:
    // an existing file is left as it was on failure, and `notes` says why.
    bool SaveFileAs(const std::string& path, int fmt);
    // The text SaveFileAs writes, appended to `out` (`path` only decides
    // between POSCAR and XDATCAR); false, with the reason in `notes`, when
    // there is nothing to save or a frame cannot be written in `fmt`.
    bool BuildSaveText(const std::string& path, int fmt, std::string& out);
    // Moves every atom of a periodic structure into the cell (fractional
    // coordinates in [0, 1)), in the readers' copies too, as one undo step;
    // the bonds keep their partners, only their images change. False when
    // nothing moved.
    bool Wrap();
    // The cell with the drawn position of its origin.
    CLattice GetLattice() const { return CLattice(m_cell_box, cell_origin, periodic_axes); }
    unsigned GetTotalAtoms() const { return static_cast<unsigned>(v_positions.size()); }

    // frames of a trajectory file (a file of one structure has one)
    // The count of the whole file; finishes the index first.
    std::size_t GetFrameCount();
    // Frames known so far, and whether they are all (models held in memory:
    // at once; a file's frames: once its index is whole). The window's
    // frame controls read these.
    std::size_t GetIndexedFrames() const;
    bool IsFrameIndexWhole() const;
    std::size_t GetShownFrame() const { return shown_frame; }
    // Shows frame k (0-based) with its bonds and cell and the edits made so
    // far. False, with the shown frame left as it was and the reason in
    // frame_message, for a frame that does not exist, cannot be read or
    // holds another number of atoms than the first.
    bool SetFrame(std::size_t k);
    // The structure as drawn, for the renderer, the window and the reports;
    // only the model's reads and edits change it.
    const std::vector<glm::vec3>& Positions() const { return v_positions; }
    const std::vector<unsigned>& Elements() const { return v_elements; }
    // The bonds: atom pairs i < j, the cell of j's image, and how many of the
    // records hold bonds.
    const std::vector<glm::uvec2>& BondPairs() const { return v_bond_pairs; }
    const std::vector<glm::ivec3>& BondImages() const { return v_bond_images; }
    unsigned BondCount() const { return bond_count; }
    bool AreBondsPeriodic() const { return is_periodic_bonds; }
    bool IsPeriodic() const { return is_periodic; }
    // Columns are the cell vectors; a molecule's is its box.
    const glm::dmat3& Cell() const { return m_cell_box; }
    glm::dvec3 CellOrigin() const { return cell_origin; }
    glm::vec3 BoxSize() const { return box_size; }
    // The middle of the first frame's box, taken off every drawn position.
    glm::vec3 Centre() const { return center_xyz; }
    const CHistory& History() const { return history; }
    // What the last read, save or Wrap had to say; the reason the last read
    // refused its file; why the last frame asked for is not shown.
    const std::string& Notes() const { return notes; }
    void ClearNotes() { notes.clear(); }
    const io::Refusal& ReadRefusal() const { return read_refusal; }
    const std::string& FrameMessage() const { return frame_message; }

    // Structures made by a program rather than read (tests, benchmarks,
    // figures). SetAtoms boxes, bonds and centres them as a read does.
    void SetAtoms(std::vector<glm::vec3> positions, std::vector<unsigned> elements);
    // Atoms placed as a read leaves them (centred in a box of `box_size`),
    // with no bond search, and bonds given instead of searched.
    void PlaceAtoms(std::vector<glm::vec3> positions, std::vector<unsigned> elements, glm::vec3 box,
                    const glm::dmat3& cell, bool periodic, glm::dvec3 origin);
    void SetBonds(std::vector<glm::uvec2> pairs, std::vector<glm::ivec3> images);

    // What the structure's file says that only some parts of the program read.
    const io::FileCopy* FileCopy() const { return file_copy.get(); }
    const std::vector<int>& TypeNumbers() const { return type_numbers; }
    // The frames' file and its index, which the window extends a slice at a time.
    CTrajectory& Frames() { return trajectory; }
    // Every frame is shown around the first one's centre: the file's
    // coordinates are the drawn ones plus this.
    glm::vec3 FrameCentre() const { return frame_center_xyz; }
    bool IsCentered() const { return is_centered; }
    std::size_t BondGridCells() const { return bond_grid.CellCount(); }

    io::ReadOptions read_options;  // what the user told the readers (LAMMPS types)
    // a structure was read and its bonds found
    bool is_loaded = false;

    // Bond records reserved per atom; a structure with more grows them.
    static constexpr std::size_t RECORDS_PER_ATOM = 15;
    // Atoms piled closer than bonds reach (thousands bonded to thousands)
    // would fill memory with records: the search stops at this many per atom.
    static constexpr std::size_t MAX_RECORDS_PER_ATOM = 64;

private:
    // Reads frame k into the model; its bonds only with `bonds`.
    bool LoadFrame(std::size_t k, bool bonds);
    // Reads frame k with the edits made so far, leaving the model as it is;
    // false, with the reason in `why`, as for SetFrame.
    bool ReadFrame(std::size_t k, CFrame& frame, std::string& why);
    // The frames of a file just read, shown from its first with no edits;
    // the positions of that frame are already in place.
    void StartFrames(CTrajectory&& frames, const std::string& folder);
    // The shown structure for a table writer: the file's own coordinates,
    // the shown elements, and labels and occupancies where the file had them.
    bool StructureForSave(io::Structure& out) const;
    // The bonds the file listed, instead of the bond search.
    void UseFileBonds();

    // Moves the drawn atoms and the cell's origin by -center_xyz.
    void CenterView();
    // bond detection
    void EvalCutRadius();
    void EvalAtomicBonds();
    void EvalLinkedList();

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

    // Writes bond record bond_count for atoms i < j, the second in
    // cell `image`, growing the record vectors when they are full.
    void AppendBond(unsigned i, unsigned j, const glm::ivec3& image = glm::ivec3(0));
    void AppendPeriodicBond(const CCrystalBond& b);

    // The atoms now bonded to atom i under the same criterion as the bond
    // search (partners in ascending order, i itself never). It tests every
    // atom of the current positions, so it stays right after edits that
    // moved, added or removed atoms; a dummy atom has no partners.
    void FindBondsOfAtom(unsigned i, std::vector<unsigned>& partners) const;
    void AddNote(const std::string& note);

    io::Refusal read_refusal;   // why the last ReadFile refused its file
    CHistory history;           // edits since the last read
    std::string frame_message;  // why the last frame asked for is not shown
    // What the last read, save or Wrap has to say besides success or
    // failure: a refusal's reason, an unknown element symbol, the frames a
    // save left out. Sentences separated by "; ", empty when all went well.
    std::string notes;
    // the cell axes along which the structure repeats (extended XYZ pbc)
    glm::bvec3 periodic_axes{true};
    unsigned bond_count = 0;
    glm::vec3 box_size{0.0f};
    glm::dmat3 m_cell_box{0.0};
    bool is_periodic = false;
    glm::vec3 min_xyz{0.0f};
    glm::vec3 max_xyz{0.0f};
    glm::vec3 center_xyz{0.0f};
    // the atoms as drawn: positions centred on the box of the first read
    // (float), and their element indices
    std::vector<glm::vec3> v_positions;
    std::vector<unsigned> v_elements;
    std::vector<glm::uvec2> v_bond_pairs;
    // cell of the second atom's image, (0, 0, 0) for a bond inside the cell
    std::vector<glm::ivec3> v_bond_images;
    // bonds were found under periodic boundary conditions
    bool is_periodic_bonds = false;
    // drawn position of the cell's origin; moves with the atoms when centred
    glm::dvec3 cell_origin{0.0};

    // the structure as its file holds it, with the edits; null before a read
    io::HeldCopy file_copy;
    std::vector<int> type_numbers;  // LAMMPS atom types of the file, for the window's table
    CTrajectory trajectory;
    std::string frame_folder;  // where the file's POTCAR is looked for
    std::size_t shown_frame = 0;
    std::size_t frame_atom_count = 0;  // atoms of the first frame as read
    glm::vec3 frame_center_xyz{0.0f};  // every frame is shown around the first one's centre
    std::vector<CFrameEdit> v_edits;
    float max_radius = 0.0f;
    float r_cut_radius = 0.0f;
    bool is_linked_list = false;
    bool is_centered = false;
    // the linked-cell grid of the bond search, built with is_linked_list
    core::BondGrid bond_grid;

    // Runs one edit of the history; out of memory, the history is cleared
    // with a note saying what was being done. What `edit` returns (false:
    // nothing changed), true after running out of memory.
    template <typename Edit>
    bool RunEdit(const char* doing, Edit edit);
};

#endif
