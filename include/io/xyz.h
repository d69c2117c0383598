// Reader and writer of XYZ files: a count line, a comment line (which may
// carry a cell) and one "symbol x y z" line per atom.
#ifndef TESK_IO_XYZ_H
#define TESK_IO_XYZ_H

#include <string>
#include <string_view>
#include <vector>

#include <glm/glm.hpp>

#include "io/structure.h"

class CXyz {
public:
    CXyz();

    // Reads the whole structure. On failure nothing changes: not the object,
    // not `xyz`, not `idx`.
    bool ReadFile(std::string d, std::string f, std::vector<glm::vec3>& xyz, std::vector<unsigned>& idx);
    // The same for a structure's text held in memory; `f` names it in messages.
    bool ReadText(std::string_view text, const std::string& f, std::vector<glm::vec3>& xyz, std::vector<unsigned>& idx);
    // Writes the stored atoms, and for a periodic structure its cell on the
    // comment line in the form it was read in. False when `idx` does not hold
    // one element per stored atom or the file cannot be written; an existing
    // file is then left as it was.
    bool SaveFile(std::string d, std::string f, const std::vector<unsigned>& idx);
    // The text SaveFile writes, appended to `out` (a frame of a trajectory).
    bool AppendText(std::string& out, const std::vector<unsigned>& idx) const;
    unsigned GetAtomIndex(std::string s) const;
    void DeleteAtom(unsigned u);
    // Undoes DeleteAtom(u) of an atom whose stored position was `r`.
    void InsertAtom(unsigned u, const glm::dvec3& r);
    void CenterCoordinates();
    unsigned GetTotalAtoms() const { return total_atoms; }
    glm::dvec3 GetMinCoordinate() const { return min_coord; }
    glm::dvec3 GetMaxCoordinate() const { return max_coord; }

    unsigned header_lines = 1;
    unsigned total_atoms = 0;
    glm::dvec3 min_coord{0.0};
    glm::dvec3 max_coord{0.0};
    glm::dmat3 cell_xyz{1.0};
    std::vector<glm::dvec3> v_carte_xyz;
    bool is_periodic = false;
    // the cell came as Cell="..." (else a periodic structure is written with
    // the extended-XYZ Lattice="...", as such files come)
    bool is_cell_keyword = false;
    // the extended-XYZ pbc="T T F" flags: which cell axes are periodic
    glm::bvec3 v_pbc{true};
    // the comment line as read, written back with the cell put in its place
    std::string comment;
    // what the last read has to say: a cell it could not take, an unknown
    // element symbol (the first, with its line)
    std::string note;
    // why the last read refused its text, and where
    io::Refusal refusal;
};

#endif
