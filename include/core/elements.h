// The element table: symbol, colour, radius and periodic-table position
// of every element from hydrogen to meitnerium, plus the dummy element "X".
// The element index of an element is Z - 1; the dummy "X" is index 109.
#ifndef TESK_CORE_ELEMENTS_H
#define TESK_CORE_ELEMENTS_H

#include <string>

#include <glm/glm.hpp>

inline constexpr unsigned periodic_table_atoms = 110;
inline constexpr unsigned DUMMY_ATOM_INDEX = 109;

// Atom types of a file that name no element (LAMMPS types without masses)
// each show as a dummy species of their own, after the table: a colour of
// their own, one fixed radius, no bonds, written as "X". More types than
// species share them in turn.
inline constexpr unsigned dummy_species_count = 16;
inline constexpr unsigned species_count = periodic_table_atoms + dummy_species_count;

// The dummy atom X and the dummy species bond to nothing.
inline bool IsDummy(unsigned e)
{
    return e >= DUMMY_ATOM_INDEX;
}

// The dummy species of atom type `type` (1, 2, ...).
inline unsigned DummySpecies(long long type)
{
    const long long n = dummy_species_count;
    return periodic_table_atoms + unsigned(((type - 1) % n + n) % n);
}

namespace element_colours {
// named colours of the colour column
inline const glm::vec3 silver(0.64f, 0.67f, 0.68f);
inline const glm::vec3 steelblue(0.69f, 0.77f, 0.87f);
inline const glm::vec3 gold(1.00f, 0.84f, 0.00f);
}  // namespace element_colours

inline const std::string element_symbol[species_count] = {
    "H",  "He", "Li", "Be", "B",  "C",  "N",  "O",  "F",  "Ne", "Na", "Mg", "Al", "Si", "P",  "S",  "Cl", "Ar",
    "K",  "Ca", "Sc", "Ti", "V",  "Cr", "Mn", "Fe", "Co", "Ni", "Cu", "Zn", "Ga", "Ge", "As", "Se", "Br", "Kr",
    "Rb", "Sr", "Y",  "Zr", "Nb", "Mo", "Tc", "Ru", "Rh", "Pd", "Ag", "Cd", "In", "Sn", "Sb", "Te", "I",  "Xe",
    "Cs", "Ba", "La", "Ce", "Pr", "Nd", "Pm", "Sm", "Eu", "Gd", "Tb", "Dy", "Ho", "Er", "Tm", "Yb", "Lu", "Hf",
    "Ta", "W",  "Re", "Os", "Ir", "Pt", "Au", "Hg", "Tl", "Pb", "Bi", "Po", "At", "Rn", "Fr", "Ra", "Ac", "Th",
    "Pa", "U",  "Np", "Pu", "Am", "Cm", "Bk", "Cf", "Es", "Fm", "Md", "No", "Lr", "Rf", "Db", "Sg", "Bh", "Hs",
    "Mt", "X",  "X",  "X",  "X",  "X",  "X",  "X",  "X",  "X",  "X",  "X",  "X",  "X",  "X",  "X",  "X",  "X",
};

// red, green, blue, radius
inline const glm::vec4 atom_rgbs[species_count] = {
    glm::vec4(0.80f, 0.80f, 0.80f, 0.46f),         // H
    glm::vec4(element_colours::silver, 1.60f),     // He
    glm::vec4(0.70f, 0.70f, 0.70f, 0.68f),         // Li
    glm::vec4(element_colours::silver, 0.35f),     // Be
    glm::vec4(0.90f, 0.40f, 0.00f, 0.82f),         // B
    glm::vec4(0.35f, 0.35f, 0.35f, 0.85f),         // C
    glm::vec4(0.20f, 0.20f, 0.80f, 0.75f),         // N
    glm::vec4(0.80f, 0.20f, 0.20f, 0.74f),         // O
    glm::vec4(0.70f, 0.85f, 0.45f, 0.72f),         // F
    glm::vec4(element_colours::silver, 1.12f),     // Ne
    glm::vec4(0.60f, 0.60f, 0.60f, 1.54f),         // Na
    glm::vec4(0.60f, 0.60f, 0.70f, 1.37f),         // Mg
    glm::vec4(element_colours::silver, 1.33f),     // Al
    glm::vec4(element_colours::steelblue, 1.17f),  // Si
    glm::vec4(0.10f, 0.70f, 0.30f, 1.06f),         // P
    glm::vec4(0.95f, 0.90f, 0.20f, 1.02f),         // S
    glm::vec4(0.15f, 0.50f, 0.10f, 0.99f),         // Cl
    glm::vec4(element_colours::silver, 1.54f),     // Ar
    glm::vec4(0.50f, 0.50f, 0.50f, 1.33f),         // K
    glm::vec4(0.80f, 0.80f, 0.70f, 1.74f),         // Ca
    glm::vec4(element_colours::silver, 1.91f),     // Sc
    glm::vec4(element_colours::silver, 1.63f),     // Ti
    glm::vec4(element_colours::silver, 1.61f),     // V
    glm::vec4(0.00f, 0.80f, 0.00f, 1.55f),         // Cr
    glm::vec4(element_colours::silver, 1.42f),     // Mn
    glm::vec4(0.52f, 0.58f, 0.65f, 1.37f),         // Fe
    glm::vec4(element_colours::silver, 1.55f),     // Co
    glm::vec4(0.26f, 0.27f, 0.27f, 1.55f),         // Ni
    glm::vec4(0.95f, 0.79f, 0.02f, 1.17f),         // Cu
    glm::vec4(element_colours::silver, 1.47f),     // Zn
    glm::vec4(0.90f, 0.00f, 1.00f, 1.52f),         // Ga
    glm::vec4(element_colours::silver, 1.53f),     // Ge
    glm::vec4(1.00f, 1.00f, 0.30f, 1.55f),         // As
    glm::vec4(element_colours::silver, 1.46f),     // Se
    glm::vec4(0.50f, 0.08f, 0.12f, 1.44f),         // Br
    glm::vec4(element_colours::silver, 1.60f),     // Kr
    glm::vec4(element_colours::silver, 2.78f),     // Rb
    glm::vec4(element_colours::silver, 2.45f),     // Sr
    glm::vec4(element_colours::silver, 2.08f),     // Y
    glm::vec4(element_colours::silver, 1.89f),     // Zr
    glm::vec4(element_colours::silver, 1.73f),     // Nb
    glm::vec4(element_colours::silver, 1.56f),     // Mo
    glm::vec4(element_colours::silver, 1.65f),     // Tc
    glm::vec4(element_colours::silver, 1.63f),     // Ru
    glm::vec4(element_colours::silver, 1.65f),     // Rh
    glm::vec4(element_colours::silver, 1.68f),     // Pd
    glm::vec4(element_colours::silver, 1.75f),     // Ag
    glm::vec4(element_colours::silver, 1.79f),     // Cd
    glm::vec4(element_colours::silver, 1.93f),     // In
    glm::vec4(element_colours::silver, 1.71f),     // Sn
    glm::vec4(element_colours::silver, 1.75f),     // Sb
    glm::vec4(element_colours::silver, 1.73f),     // Te
    glm::vec4(0.50f, 0.10f, 0.50f, 1.63f),         // I
    glm::vec4(element_colours::silver, 1.70f),     // Xe
    glm::vec4(element_colours::silver, 2.95f),     // Cs
    glm::vec4(element_colours::silver, 2.47f),     // Ba
    glm::vec4(element_colours::silver, 2.17f),     // La
    glm::vec4(0.80f, 0.80f, 0.00f, 1.82f),         // Ce
    glm::vec4(element_colours::silver, 2.12f),     // Pr
    glm::vec4(element_colours::silver, 2.11f),     // Nd
    glm::vec4(element_colours::silver, 2.11f),     // Pm
    glm::vec4(element_colours::silver, 2.10f),     // Sm
    glm::vec4(element_colours::silver, 2.29f),     // Eu
    glm::vec4(element_colours::gold, 2.09f),       // Gd
    glm::vec4(element_colours::silver, 2.06f),     // Tb
    glm::vec4(element_colours::silver, 2.05f),     // Dy
    glm::vec4(element_colours::silver, 2.04f),     // Ho
    glm::vec4(element_colours::silver, 2.03f),     // Er
    glm::vec4(element_colours::silver, 2.03f),     // Tm
    glm::vec4(element_colours::silver, 2.24f),     // Yb
    glm::vec4(element_colours::silver, 2.02f),     // Lu
    glm::vec4(element_colours::silver, 1.86f),     // Hf
    glm::vec4(element_colours::silver, 1.73f),     // Ta
    glm::vec4(element_colours::silver, 1.58f),     // W
    glm::vec4(element_colours::silver, 1.67f),     // Re
    glm::vec4(element_colours::silver, 1.64f),     // Os
    glm::vec4(element_colours::silver, 1.66f),     // Ir
    glm::vec4(element_colours::silver, 1.69f),     // Pt
    glm::vec4(0.90f, 0.80f, 0.00f, 1.74f),         // Au
    glm::vec4(element_colours::silver, 1.80f),     // Hg
    glm::vec4(element_colours::silver, 2.00f),     // Tl
    glm::vec4(element_colours::silver, 2.05f),     // Pb
    glm::vec4(element_colours::silver, 1.85f),     // Bi
    glm::vec4(element_colours::silver, 1.48f),     // Po
    glm::vec4(0.80f, 0.20f, 0.20f, 5.43f),         // At
    glm::vec4(element_colours::silver, 1.90f),     // Rn
    glm::vec4(element_colours::silver, 3.15f),     // Fr
    glm::vec4(element_colours::silver, 2.52f),     // Ra
    glm::vec4(element_colours::silver, 2.18f),     // Ac
    glm::vec4(element_colours::silver, 2.10f),     // Th
    glm::vec4(element_colours::silver, 1.91f),     // Pa
    glm::vec4(element_colours::silver, 1.69f),     // U
    glm::vec4(element_colours::silver, 0.95f),     // Np
    glm::vec4(element_colours::silver, 1.81f),     // Pu
    glm::vec4(element_colours::silver, 1.61f),     // Am
    glm::vec4(element_colours::silver, 0.91f),     // Cm
    glm::vec4(element_colours::silver, 0.90f),     // Bk
    glm::vec4(0.10f, 0.70f, 0.30f, 1.85f),         // Cf
    glm::vec4(0.10f, 0.30f, 0.70f, 2.22f),         // Es
    glm::vec4(element_colours::silver, 0.87f),     // Fm
    glm::vec4(element_colours::silver, 0.86f),     // Md
    glm::vec4(element_colours::silver, 0.85f),     // No
    glm::vec4(element_colours::silver, 0.84f),     // Lr
    glm::vec4(element_colours::silver, 0.84f),     // Rf
    glm::vec4(0.90f, 0.80f, 0.00f, 1.85f),         // Db
    glm::vec4(element_colours::silver, 0.84f),     // Sg
    glm::vec4(element_colours::silver, 0.84f),     // Bh
    glm::vec4(element_colours::silver, 0.84f),     // Hs
    glm::vec4(element_colours::silver, 0.84f),     // Mt
    glm::vec4(1.00f, 0.20f, 0.10f, 0.40f),         // X
    // the dummy species: colours far apart from each other
    glm::vec4(0.12f, 0.47f, 0.71f, 0.50f),
    glm::vec4(1.00f, 0.50f, 0.05f, 0.50f),
    glm::vec4(0.17f, 0.63f, 0.17f, 0.50f),
    glm::vec4(0.84f, 0.15f, 0.16f, 0.50f),
    glm::vec4(0.58f, 0.40f, 0.74f, 0.50f),
    glm::vec4(0.55f, 0.34f, 0.29f, 0.50f),
    glm::vec4(0.89f, 0.47f, 0.76f, 0.50f),
    glm::vec4(0.50f, 0.50f, 0.50f, 0.50f),
    glm::vec4(0.74f, 0.74f, 0.13f, 0.50f),
    glm::vec4(0.09f, 0.75f, 0.81f, 0.50f),
    glm::vec4(0.00f, 0.00f, 0.50f, 0.50f),
    glm::vec4(0.60f, 1.00f, 0.60f, 0.50f),
    glm::vec4(0.50f, 0.00f, 0.00f, 0.50f),
    glm::vec4(1.00f, 0.85f, 0.70f, 0.50f),
    glm::vec4(0.30f, 0.00f, 0.40f, 0.50f),
    glm::vec4(0.95f, 0.95f, 0.95f, 0.50f),
};

inline const std::string symbol_sorted[periodic_table_atoms] = {
    "He", "Li", "Be", "Ne", "Na", "Mg", "Al", "Si", "Cl", "Ar", "Ca", "Sc", "Ti", "Cr", "Mn", "Fe", "Co", "Ni", "Cu",
    "Zn", "Ga", "Ge", "As", "Se", "Br", "Kr", "Rb", "Sr", "Zr", "Nb", "Mo", "Tc", "Ru", "Rh", "Pd", "Ag", "Cd", "In",
    "Sn", "Sb", "Te", "Xe", "Cs", "Ba", "La", "Ce", "Pr", "Nd", "Pm", "Sm", "Eu", "Gd", "Tb", "Dy", "Ho", "Er", "Tm",
    "Yb", "Lu", "Hf", "Ta", "Re", "Os", "Ir", "Pt", "Au", "Hg", "Tl", "Pb", "Bi", "Po", "At", "Rn", "Fr", "Ra", "Ac",
    "Th", "Pa", "Np", "Pu", "Am", "Cm", "Bk", "Cf", "Es", "Fm", "Md", "No", "Lr", "Rf", "Db", "Sg", "Bh", "Hs", "Mt",
    "H",  "B",  "C",  "N",  "O",  "F",  "P",  "S",  "K",  "V",  "Y",  "I",  "W",  "U",  "X",
};

inline const unsigned atom_index[periodic_table_atoms] = {
    1,   2,   3,   9,   10,  11,  12,  13, 16, 17, 19, 20, 21, 23, 24, 25, 26, 27, 28, 29, 30,  31,
    32,  33,  34,  35,  36,  37,  39,  40, 41, 42, 43, 44, 45, 46, 47, 48, 49, 50, 51, 53, 54,  55,
    56,  57,  58,  59,  60,  61,  62,  63, 64, 65, 66, 67, 68, 69, 70, 71, 72, 74, 75, 76, 77,  78,
    79,  80,  81,  82,  83,  84,  85,  86, 87, 88, 89, 90, 92, 93, 94, 95, 96, 97, 98, 99, 100, 101,
    102, 103, 104, 105, 106, 107, 108, 0,  4,  5,  6,  7,  8,  14, 15, 18, 22, 38, 52, 73, 91,  109,
};

inline const glm::vec2 ptable_position[119] = {
    {7, 30},    {517, 30},  {7, 50},    {37, 50},   {367, 50},  {397, 50},  {427, 50},  {457, 50},  {487, 50},
    {517, 50},  {7, 70},    {37, 70},   {367, 70},  {397, 70},  {427, 70},  {457, 70},  {487, 70},  {517, 70},
    {7, 90},    {37, 90},   {67, 90},   {97, 90},   {127, 90},  {157, 90},  {187, 90},  {217, 90},  {247, 90},
    {277, 90},  {307, 90},  {337, 90},  {367, 90},  {397, 90},  {427, 90},  {457, 90},  {487, 90},  {517, 90},
    {7, 110},   {37, 110},  {67, 110},  {97, 110},  {127, 110}, {157, 110}, {187, 110}, {217, 110}, {247, 110},
    {277, 110}, {307, 110}, {337, 110}, {367, 110}, {397, 110}, {427, 110}, {457, 110}, {487, 110}, {517, 110},
    {7, 130},   {37, 130},  {67, 130},  {127, 190}, {157, 190}, {187, 190}, {217, 190}, {247, 190}, {277, 190},
    {307, 190}, {337, 190}, {367, 190}, {397, 190}, {427, 190}, {457, 190}, {487, 190}, {517, 190}, {97, 130},
    {127, 130}, {157, 130}, {187, 130}, {217, 130}, {247, 130}, {277, 130}, {307, 130}, {337, 130}, {367, 130},
    {397, 130}, {427, 130}, {457, 130}, {487, 130}, {517, 130}, {7, 150},   {37, 150},  {67, 150},  {127, 210},
    {157, 210}, {187, 210}, {217, 210}, {247, 210}, {277, 210}, {307, 210}, {337, 210}, {367, 210}, {397, 210},
    {427, 210}, {457, 210}, {487, 210}, {517, 210}, {97, 150},  {127, 150}, {157, 150}, {187, 150}, {217, 150},
    {247, 150}, {7, 210},   {307, 150}, {337, 150}, {367, 150}, {397, 150}, {427, 150}, {457, 150}, {487, 150},
    {517, 150}, {7, 150},
};

// Resolves an element symbol read from a file to its element index.
// The case is normalised first ("CL" -> "Cl"); two-letter symbols are tried
// before one-letter ones, so "CA" is calcium and "C1" carbon. Only the first
// two characters matter. A text that matches nothing gives the dummy "X".
unsigned GetAtomIndex(const std::string& s);
unsigned GetAtomIndex(const char* s, size_t length);

// True when the text is exactly an element symbol in any case ("FE", "si",
// "O"), not a longer word ("Silicon") or a name ("CA1"); `index` receives it.
bool IsElementSymbol(const char* s, size_t length, unsigned& index);
// True for a symbol GetAtomIndex reads as the dummy atom although it does not
// name it ("Xx", "Q"): "X" alone or followed by a non-letter ("X1") is the
// dummy on purpose.
bool IsUnknownSymbol(const char* s, size_t length);

#endif
