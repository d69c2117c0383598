// LAMMPS data files (the input: box, masses, atoms, bonds) and text dump
// files (the output: one ITEM block per timestep).
#ifndef TESK_IO_LAMMPS_H
#define TESK_IO_LAMMPS_H

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "io/structure.h"

namespace io {

bool ReadLammpsData(std::string_view text, const ReadOptions& options, Structure& out, Refusal& refusal);
// Atomic style, one type per element, with their masses.
bool WriteLammpsData(const Structure& in, std::string& out, std::string& why);
// One timestep of a dump: the atoms in id order.
bool ReadLammpsDump(std::string_view text, const ReadOptions& options, Structure& out, Refusal& refusal);

// "1=Cu,2=Zr" into type numbers and element indices; false with the reason
// for a piece that is not NUMBER=ELEMENT.
bool ParseTypeMap(const std::string& text, std::map<int, unsigned>& types, std::string& why);

// The element of each atom type: the user's map first, then a mass within
// 0.1 u of an element's, else the dummy element. `masses` by type number.
unsigned ElementOfType(int type, const ReadOptions& options, const std::map<int, double>& masses);

}  // namespace io

#endif
