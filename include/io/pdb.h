// Reader and writer of PDB files: header lines kept for writing, a CRYST1
// cell, and ATOM/HETATM records.
//
// Atom records are read in one of two ways, chosen from the first one:
// records in the standard fixed-column layout are read by columns (every
// atom of the first model, across TER records and chains); any other first
// record selects one of six blank-separated token variants, and then only
// the first contiguous run of atom records is read.
//
// A refused file (false from ReadFile) leaves the object as it
// was: everything is parsed into a fresh object first.
#ifndef TESK_IO_PDB_H
#define TESK_IO_PDB_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <glm/glm.hpp>

#include "io/file_copy.h"
#include "io/structure.h"

// What a record in the standard columns says about its atom besides the
// position and element, kept so that a save writes it back.
struct CPdbAtom {
    char record[7] = "ATOM  ";  // columns 1-6
    char name[5] = "";          // columns 13-16 as read
    char residue[4] = "LIG";    // columns 18-20
    char chain = ' ';           // column 22
    int residue_number = 1;     // columns 23-26
    float occupancy = 1.0f;     // columns 55-60
    float b_factor = 0.0f;      // columns 61-66
    unsigned element = 0;       // the element read; another one gets a name of its own
};

class CPdb {
public:
    // pdb_format of a file read by columns (the token variants are 1 to 6)
    static constexpr uint32_t PDB_FORMAT_COLUMNS = 7;
    // pdb_format of token records with a chain identifier after the residue name
    static constexpr uint32_t PDB_FORMAT_CHAIN = 8;

    CPdb();

    bool ReadFile(std::string d, std::string f, std::vector<glm::vec3>& xyz, std::vector<unsigned>& idx);
    // The same for a structure's text held in memory.
    bool ReadText(std::string_view text, std::vector<glm::vec3>& xyz, std::vector<unsigned>& idx);
    // Writes the standard fixed columns (CRYST1 from cell_xyz when periodic,
    // the atom details of v_atom_info when it has one entry per atom, else
    // defaults). False when idx does not match the stored atoms, a
    // coordinate does not fit its 8 columns, or the file cannot be written;
    // the target is replaced atomically.
    bool SaveFile(std::string d, std::string f, const std::vector<unsigned>& idx);
    // The parts SaveFile writes, appended to `out`: the header lines (with
    // CRYST1; false for a cell CRYST1 cannot hold, with the reason in
    // `why`), then the atom records, which a trajectory wraps in MODEL n /
    // ENDMDL; "END" closes the file.
    bool AppendHeader(std::string& out, std::string& why) const;
    bool AppendAtoms(std::string& out, const std::vector<unsigned>& idx) const;
    void DeleteAtom(unsigned u);
    // Undoes DeleteAtom(u) of an atom whose stored position was `r`.
    // The inverse of DeleteAtom: `info` is the atom's details, when they were kept.
    void InsertAtom(unsigned u, const glm::vec3& r, const CPdbAtom* info = nullptr);
    unsigned GetAtomIndex(std::string s) const;
    void CenterCoordinates();
    unsigned GetTotalAtoms() const { return total_atoms; }
    glm::vec3 GetMinCoordinate() const { return min_coord; }
    glm::vec3 GetMaxCoordinate() const { return max_coord; }

    uint32_t header_lines = 0;
    uint32_t total_atoms = 0;
    uint32_t pdb_format = 0;
    float a = 0, b = 0, c = 0;
    float alpha = 0, beta = 0, gamma = 0;
    glm::vec3 min_coord{0.0f};
    glm::vec3 max_coord{0.0f};
    glm::dmat3 cell_xyz{1.0};
    std::vector<glm::vec3> v_carte_xyz;
    std::vector<std::string> header_info;
    // per atom, filled for files read by columns (else empty)
    std::vector<CPdbAtom> v_atom_info;
    // why the last read refused its text, and where
    io::Refusal refusal;
    bool is_periodic = false;
    bool is_charges = false;
    // what the last read has to say (an unknown element, with its line)
    std::string note;

private:
    // Recognises and reads the text of a PDB file held in memory.
    bool Parse(std::string_view text, std::vector<glm::vec3>& xyz, std::vector<unsigned>& idx);
    void ReadCryst1(std::string_view line);
};

// One frame of a PDB save: the header before the first, each frame's atoms
// in MODEL n / ENDMDL when the save holds several. False with the reason in
// `why` for a cell or coordinate the columns cannot hold.
bool AppendPdbFrame(const CPdb& writer, std::string& out, const std::vector<unsigned>& elements,
                    const io::FrameSlot& slot, std::string& why);

#endif
