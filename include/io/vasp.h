// Reader and writer of VASP structure files (POSCAR/CONTCAR layout), plain
// or extended, with optional selective dynamics, Direct or Cartesian.
//
// Positions: for a Direct file v_fract_xyz holds the fractions as written and
// v_carte_xyz the Cartesian positions. For a Cartesian file v_carte_xyz holds
// the numbers as written (so a save writes them back unchanged), while the
// positions handed to the model and the extent are those numbers multiplied
// by the scale factor, as VASP itself reads them.
//
// A refused file (false from ReadFile) leaves the object as it
// was: everything is parsed into a fresh object first.
#ifndef TESK_IO_VASP_H
#define TESK_IO_VASP_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <glm/glm.hpp>

#include "io/structure.h"

namespace textio {
class LineCursor;
}

// selective-dynamics flags of one atom, exactly as written (normally T or F)
struct Dyn {
    char d[3];
};

// Everything CVasp keeps of one atom, so that a deletion can be undone
// exactly; the has_ flags say which per-atom vectors held an entry for it.
struct CVaspAtom {
    glm::dvec3 carte{0.0};
    glm::dvec3 fract{0.0};
    uint32_t type = 0;
    Dyn dynamics{};
    bool has_type = false;
    bool has_fract = false;
    bool has_dynamics = false;
};

class CVasp {
public:
    static constexpr unsigned HEADER_SLOTS = 10;
    static constexpr unsigned HEADER_SLOT_SIZE = 256;

    CVasp();

    bool ReadFile(std::string d, std::string f, std::vector<glm::vec3>& xyz, std::vector<unsigned>& idx);
    // The same for a structure's text held in memory; `d` is where a POTCAR is looked for.
    bool ReadText(const std::string& d, std::string_view text, std::vector<glm::vec3>& xyz, std::vector<unsigned>& idx);
    // False when idx does not match the stored atoms or the file cannot be
    // written; the target is replaced atomically. An object that read
    // nothing writes v_carte_xyz (Cartesian) in the cell cell_xyz.
    bool SaveFile(std::string d, std::string f, const std::vector<unsigned>& idx);
    // The text SaveFile writes, appended to `out`; adds the species that
    // edits brought in to the table.
    bool AppendText(std::string& out, const std::vector<unsigned>& idx);
    void DeleteAtom(unsigned u);
    // What DeleteAtom(u) would remove, and its exact inverse.
    CVaspAtom GetAtom(unsigned u) const;
    void InsertAtom(unsigned u, const CVaspAtom& a);
    unsigned GetAtomIndex(std::string s) const;
    unsigned GetTotalAtoms() const { return static_cast<unsigned>(v_carte_xyz.size()); }
    glm::dvec3 GetMinCoordinate() const { return min_coord; }
    glm::dvec3 GetMaxCoordinate() const { return max_coord; }
    // Appends the species of d/POTCAR to v_table_index; false when there is
    // no readable POTCAR.
    bool ReadPotcar(std::string d);

    uint32_t header_lines = 0;
    uint32_t total_atoms = 0;
    double parameter = 1.0;
    // the scale factor of each Cartesian axis: three equal numbers unless the
    // scale line gave three; for a volume, the factor that gives it
    glm::dvec3 v_scale{1.0};
    glm::dvec3 min_coord{0.0};
    glm::dvec3 max_coord{0.0};
    glm::dmat3 cell_xyz{1.0};
    bool is_periodic = false;
    bool is_extended = false;
    bool is_direct = false;
    // why the last read refused its text, and where
    io::Refusal refusal;
    bool is_dynamics = false;
    char header_info[HEADER_SLOTS][HEADER_SLOT_SIZE] = {};
    std::vector<uint32_t> v_table_index;
    std::vector<uint32_t> v_table_atoms;
    std::vector<uint32_t> v_atom_type;
    std::vector<glm::dvec3> v_fract_xyz;
    std::vector<glm::dvec3> v_carte_xyz;
    std::vector<Dyn> v_dynamics;
    // what the last read has to say (an unknown species symbol, with its line)
    std::string note;

private:
    // Recognises the text of a structure file held in memory; on success the
    // cursor stands after the first coordinate line, which is returned.
    bool Recognise(const std::string& d, textio::LineCursor& cursor, std::string_view& first_coordinate_line);
    // Species named by a label after each position, for a plain-layout file
    // without POTCAR; false when the labels do not name one element per species.
    bool SpeciesFromLabels(const textio::LineCursor& cursor, std::string_view first_coordinate_line,
                           const std::vector<uint64_t>& counts);
};

#endif
