// CIF (small-molecule and inorganic crystals) and mmCIF (PDBx, large
// biomolecules). Both read through gemmi's CIF parser, whose templates are
// compiled in one unit only (cif_read.cpp); the writers are plain text.
#ifndef TESK_IO_CIF_H
#define TESK_IO_CIF_H

#include <string>
#include <string_view>

#include "io/structure.h"

namespace io {

// The first data block that holds atoms: cell, sites expanded by the block's
// symmetry, one atom per position (the species of larger occupancy).
bool ReadCif(std::string_view text, const ReadOptions& options, Structure& out, Refusal& refusal);
// The first model's atoms, the cell of _cell, every model as a frame.
bool ReadMmcif(std::string_view text, const ReadOptions& options, Structure& out, Refusal& refusal);
// P 1 with the cell and fractional positions, labels and type symbols.
bool WriteCif(const Structure& in, std::string& out, std::string& why);
// One model, _atom_site in Cartesian angstrom; _cell for a periodic one.
bool WriteMmcif(const Structure& in, std::string& out, std::string& why);
// The element whose standard atomic mass lies within 0.1 u of `mass`;
// false when none does.
bool ElementOfMass(double mass, unsigned& element);
// The standard atomic mass of an element (0 for the dummy).
double ElementMass(unsigned element);
// The element of a CIF type symbol or label: "Li1+" and "O2-" lose their
// charge, "Fe1a" is iron; false when no element starts the text.
bool ElementOfCifSymbol(std::string_view text, unsigned& element);

}  // namespace io

#endif
