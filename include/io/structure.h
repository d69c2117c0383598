// What a format reader hands over: the atoms of one structure (or of every
// frame held in memory), or why it refused the file and where.
#ifndef TESK_IO_STRUCTURE_H
#define TESK_IO_STRUCTURE_H

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include <glm/glm.hpp>

namespace io {

// A file that cannot be read: the line the reader stopped at (0 when the
// fault has no line, such as an empty file) and why, in the user's words.
struct Refusal {
    std::size_t line = 0;
    std::string reason;
};

// "bad.xyz line 5: ..." or "bad.xyz: ..." without a line.
std::string RefusalText(const std::string& path, const Refusal& refusal);

// One structure in Cartesian angstrom. Labels and occupancies are either
// empty or one per atom; bonds, when the file lists them, are pairs of atom
// numbers and then stand for the bond search.
struct Structure {
    std::vector<glm::dvec3> positions;
    std::vector<unsigned> elements;
    std::vector<std::string> labels;
    std::vector<float> occupancies;
    std::vector<glm::uvec2> bonds;
    bool is_periodic = false;
    glm::dmat3 cell{1.0};  // columns are the cell vectors
    // frames after the first, when the file keeps them all in one table
    // (mmCIF models): positions of the same atoms
    std::vector<std::vector<glm::dvec3>> extra_frames;
    // LAMMPS: the atom type numbers the file uses, ascending, for the
    // window's table of type elements
    std::vector<int> type_numbers;
    // one line the window shows after the load (mixed sites, blocks, ...)
    std::string note;
};

// What the user told about a file that cannot be told from it: LAMMPS atom
// types by number to element indices.
struct ReadOptions {
    std::map<int, unsigned> type_elements;
    // the file's folder, where a VASP file without element names finds its POTCAR
    std::string folder = ".";
};

}  // namespace io

#endif
