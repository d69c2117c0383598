#include <gtest/gtest.h>

#include "elements.h"

TEST(ElementLookup, CaseIsNormalisedAndTwoLetterSymbolsComeFirst) {
    EXPECT_EQ(GetAtomIndex("cl"), 16u);
    EXPECT_EQ(GetAtomIndex("CL"), 16u);
    EXPECT_EQ(GetAtomIndex("Cl"), 16u);
    EXPECT_EQ(GetAtomIndex("C"), 5u);
    EXPECT_EQ(GetAtomIndex("CA"), 19u);  // calcium, not an alpha carbon
    EXPECT_EQ(GetAtomIndex("C1"), 5u);
    EXPECT_EQ(GetAtomIndex("Cx"), 5u);
    EXPECT_EQ(GetAtomIndex("C-ring"), 5u);
    EXPECT_EQ(GetAtomIndex("Carbon"), 19u);
    EXPECT_EQ(GetAtomIndex("Hydrogen"), 0u);
    EXPECT_EQ(GetAtomIndex("Oxygen"), 7u);
    EXPECT_EQ(GetAtomIndex("Xe"), 53u);
    EXPECT_EQ(GetAtomIndex("X"), 109u);
    EXPECT_EQ(GetAtomIndex("X2"), 109u);
    EXPECT_EQ(GetAtomIndex("He"), 1u);
    EXPECT_EQ(GetAtomIndex("H"), 0u);
    EXPECT_EQ(GetAtomIndex("Hf"), 71u);
    EXPECT_EQ(GetAtomIndex("Fe_pv"), 25u);
}

TEST(ElementLookup, UnknownTextsGiveTheDummyElement) {
    for (const char* s : {"", "Q", "J", "Zz", "1H", " H", "?", "\xff"}) EXPECT_EQ(GetAtomIndex(s), 109u) << s;
    // the caller's text stays as it was
    std::string upper = "FE";
    EXPECT_EQ(GetAtomIndex(upper), 25u);
    EXPECT_EQ(upper, "FE");
}

TEST(ElementLookup, EverySymbolResolvesToItsOwnIndex) {
    for (unsigned i = 0; i < periodic_table_atoms; ++i) {
        EXPECT_EQ(GetAtomIndex(symbol[i]), i) << symbol[i];
        std::string lower = symbol[i];
        for (char& c : lower) c = char(std::tolower((unsigned char)c));
        EXPECT_EQ(GetAtomIndex(lower), i) << lower;
    }
}

TEST(ElementTable, SpotChecks) {
    EXPECT_EQ(symbol[0], "H");
    EXPECT_EQ(name[0], "Hydrogen");
    EXPECT_EQ(symbol[108], "Mt");
    EXPECT_EQ(name[108], "Meitnerium");
    EXPECT_EQ(symbol[109], "X");
    EXPECT_EQ(name[109], "dummy");
    EXPECT_EQ(atom_rgbs[13], glm::vec4(0.69f, 0.77f, 0.87f, 1.17f));  // silicon, steelblue
    EXPECT_EQ(atom_rgbs[63], glm::vec4(1.00f, 0.84f, 0.00f, 2.09f));  // gadolinium, gold
    EXPECT_EQ(atom_rgbs[7], glm::vec4(0.80f, 0.20f, 0.20f, 0.74f));   // oxygen
    EXPECT_FLOAT_EQ(atom_rgbs[84].w, 5.43f);                          // astatine, the largest
    EXPECT_EQ(atom_rgbs[109], glm::vec4(1.00f, 0.20f, 0.10f, 0.40f));
    float largest = 0.0f;
    for (const glm::vec4& e : atom_rgbs) largest = std::max(largest, e.w);
    EXPECT_FLOAT_EQ(largest, 5.43f);

    unsigned silver_count = 0;
    for (const glm::vec4& e : atom_rgbs)
        if (glm::vec3(e) == silver) ++silver_count;
    EXPECT_EQ(silver_count, 79u);
}

TEST(ElementTable, LookupOrderAndChooserPositions) {
    EXPECT_EQ(symbol_sorted[0], "He");
    EXPECT_EQ(symbol_sorted[94], "Mt");
    EXPECT_EQ(symbol_sorted[95], "H");
    EXPECT_EQ(symbol_sorted[109], "X");
    for (unsigned k = 0; k < periodic_table_atoms; ++k) EXPECT_EQ(symbol[atom_index[k]], symbol_sorted[k]);

    EXPECT_EQ(ptable_position[0], glm::vec2(7, 30));     // H
    EXPECT_EQ(ptable_position[1], glm::vec2(517, 30));   // He
    EXPECT_EQ(ptable_position[56], glm::vec2(67, 130));  // La stays in column 2
    EXPECT_EQ(ptable_position[57], glm::vec2(127, 190)); // Ce opens the f-block row
    EXPECT_EQ(ptable_position[102], glm::vec2(517, 210));
    EXPECT_EQ(ptable_position[109], glm::vec2(7, 210));  // X
    // the buttons tile a grid of 30 x 20 cells
    for (unsigned i = 0; i < periodic_table_atoms; ++i) {
        EXPECT_EQ((int(ptable_position[i].x) - 7) % 30, 0) << i;
        EXPECT_EQ((int(ptable_position[i].y) - 30) % 20, 0) << i;
    }
}
