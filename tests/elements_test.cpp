// Element look-up as the readers use it: a symbol of a file becomes the
// element shown, whatever its case and whatever follows it.
#include <gtest/gtest.h>

#include "elements.h"

TEST(ElementLookup, SymbolsOfRealFiles) {
    const std::pair<const char*, unsigned> rows[] = {
        {"cl", 16}, {"CL", 16},   {"C", 5},      {"CA", 19},   {"C1", 5},   {"C-ring", 5}, {"Carbon", 19},
        {"Hf", 71}, {"Fe_pv", 25}, {"mt", 108}, {"X2", 109},  {"", 109},   {"Zz", 109},   {"1H", 109}, {" H", 109}};
    for (const auto& [text, index] : rows) EXPECT_EQ(GetAtomIndex(text), index) << text;
    for (unsigned i = 0; i < periodic_table_atoms; ++i) EXPECT_EQ(GetAtomIndex(symbol[i]), i) << symbol[i];
}
