// Reader and writer of PDB files: header lines kept for writing, a CRYST1
// cell, and ATOM/HETATM records.
//
// Atom records are read in one of two ways, chosen from the first one:
// records in the standard fixed-column layout are read by columns (every
// atom of the first model, across TER records and chains); any other first
// record selects one of six blank-separated token variants, and then only
// the first contiguous run of atom records is read.
//
// A refused file (false from GetFormat or ReadFile) leaves the object as it
// was: everything is parsed into a fresh object first.
#ifndef TESK_CPDB_H
#define TESK_CPDB_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <glm/glm.hpp>

#include "ctimer.h"

class CPdb {
public:
    // pdb_format of a file read by columns (the token variants are 1 to 6)
    static constexpr uint32_t PDB_FORMAT_COLUMNS = 7;
    // the product's web address in the generated HEADER line
    static constexpr const char* PRODUCT_ADDRESS = "https://github.com/tesk-viewer/tesk";

    CPdb();

    bool GetFormat(std::string d, std::string f);
    bool ReadFile(std::string d, std::string f, std::vector<glm::vec3>& xyz, std::vector<unsigned>& idx);
    // The same for a structure's text held in memory.
    bool ReadText(std::string_view text, std::vector<glm::vec3>& xyz, std::vector<unsigned>& idx);
    // False when idx does not match the stored atoms or the file cannot be
    // written; the target is replaced atomically.
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

private:
    // Recognises and reads the text of a PDB file held in memory.
    bool Parse(std::string_view text, std::vector<glm::vec3>& xyz, std::vector<unsigned>& idx);
    void ReadCryst1(std::string_view line);
};

#endif
