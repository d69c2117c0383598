// Reader and writer of PDB files: header lines kept for writing, a CRYST1
// cell, and ATOM/HETATM records.
#ifndef TESK_CPDB_H
#define TESK_CPDB_H

#include <cstdint>
#include <string>
#include <vector>

#include <glm/glm.hpp>

#include "ctimer.h"

class CPdb {
public:
    CPdb();

    bool GetFormat(std::string d, std::string f);
    bool ReadFile(std::string d, std::string f, std::vector<glm::vec3>& xyz, std::vector<unsigned>& idx);
    bool SaveFile(std::string d, std::string f, const std::vector<unsigned>& idx);
    void DeleteAtom(unsigned u);
    unsigned GetAtomIndex(std::string s) const;
    void CenterCoordinates();
    unsigned GetTotalAtoms() const { return total_atoms; }
    glm::vec3 GetMinCoordinate() const { return min_coord; }
    glm::vec3 GetMaxCoordinate() const { return max_coord; }

    CTimer Timer;
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
    bool is_periodic = false;
    bool is_charges = false;
};

#endif
