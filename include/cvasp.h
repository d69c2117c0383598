// Reader and writer of VASP structure files (POSCAR/CONTCAR layout), plain
// or extended, with optional selective dynamics, Direct or Cartesian.
#ifndef TESK_CVASP_H
#define TESK_CVASP_H

#include <cstdint>
#include <string>
#include <vector>

#include <glm/glm.hpp>

// selective-dynamics flags of one atom, exactly as written (normally T or F)
struct Dyn {
    char d[3];
};

class CVasp {
public:
    static constexpr unsigned HEADER_SLOTS = 10;
    static constexpr unsigned HEADER_SLOT_SIZE = 256;

    CVasp();

    bool GetFormat(std::string d, std::string f);
    bool ReadFile(std::string d, std::string f, std::vector<glm::vec3>& xyz, std::vector<unsigned>& idx);
    bool SaveFile(std::string d, std::string f, const std::vector<unsigned>& idx);
    void DeleteAtom(unsigned u);
    unsigned GetAtomIndex(std::string s) const;
    unsigned GetTotalAtoms() const { return static_cast<unsigned>(v_carte_xyz.size()); }
    glm::dvec3 GetMinCoordinate() const { return min_coord; }
    glm::dvec3 GetMaxCoordinate() const { return max_coord; }
    bool ReadPotcar(std::string d);

    uint32_t header_lines = 0;
    uint32_t total_atoms = 0;
    double parameter = 1.0;
    glm::dvec3 min_coord{0.0};
    glm::dvec3 max_coord{0.0};
    glm::dmat3 cell_xyz{1.0};
    bool is_periodic = false;
    bool is_extended = false;
    bool is_direct = false;
    bool is_dynamics = false;
    char header_info[HEADER_SLOTS][HEADER_SLOT_SIZE] = {};
    std::vector<uint32_t> v_table_index;
    std::vector<uint32_t> v_table_atoms;
    std::vector<uint32_t> v_atom_type;
    std::vector<glm::dvec3> v_fract_xyz;
    std::vector<glm::dvec3> v_carte_xyz;
    std::vector<Dyn> v_dynamics;
};

#endif
