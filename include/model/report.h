// Plain-text reports of a loaded structure for scripts and other tools: what
// `tesk --info` and `tesk --bonds` print. They read the model only.
#ifndef TESK_MODEL_REPORT_H
#define TESK_MODEL_REPORT_H

#include <string>
#include <vector>

class CModel;

// Element counts in Hill order (C, then H, then the rest alphabetically;
// alphabetically throughout when there is no carbon), e.g. "C2H6O", "O4Ti2".
std::string FormulaOf(const std::vector<unsigned>& elements);

// One "key: value" line each: format, atoms, formula, the three cell vectors
// (rows, in A) or "cell: none", periodic, frames.
std::string InfoReport(CModel& model, const char* format_label);

// The bonds the viewer draws, one "i j length a b c" line each: atom numbers
// from 0 in file order, i <= j, the length in A, and the cell of j's image
// (0 0 0 inside the cell). Sorted, so that the list does not depend on the
// order in which the search found the bonds.
std::string BondReport(const CModel& model);

#endif
