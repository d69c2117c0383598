// Element look-up as the readers use it: a symbol of a file becomes the
// element shown, whatever its case and whatever follows it.
#include <cctype>

#include <gtest/gtest.h>

#include "elements.h"

TEST(ElementLookup, SymbolsOfRealFiles) {
    const struct {
        const char* text;
        unsigned index;
    } rows[] = {
        {"cl", 16},  {"CL", 16},     {"Cl", 16},       {"C", 5},      {"CA", 19},  // calcium, not an alpha carbon
        {"C1", 5},   {"C-ring", 5},  {"Carbon", 19},   {"Oxygen", 7}, {"Hf", 71},
        {"Fe_pv", 25}, {"X", 109},   {"X2", 109},      {"", 109},     {"Q", 109},
        {"Zz", 109}, {"1H", 109},    {" H", 109},      {"\xff", 109},
    };
    for (const auto& r : rows) EXPECT_EQ(GetAtomIndex(r.text), r.index) << r.text;
}

TEST(ElementLookup, EverySymbolResolvesToItsOwnIndexInAnyCase) {
    for (unsigned i = 0; i < periodic_table_atoms; ++i) {
        std::string lower = symbol[i];
        for (char& c : lower) c = char(std::tolower((unsigned char)c));
        EXPECT_EQ(GetAtomIndex(symbol[i]), i) << symbol[i];
        EXPECT_EQ(GetAtomIndex(lower), i) << lower;
    }
}
