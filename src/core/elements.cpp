#include "core/elements.h"

#include <algorithm>
#include <array>

namespace {

char Upper(char c)
{
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}
char Lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

// The element of every possible pair of first characters, found once;
// readers call the look-up once per atom, millions of times.
struct LookupTable {
    std::array<unsigned short, 256 * 256> two;  // [first][second], first two characters normalised
    std::array<unsigned short, 256> one;        // text of exactly one character

    // The first entry of symbol_sorted that matches wins: filled from the last
    // entry to the first, so earlier entries overwrite later ones. A one-letter
    // entry matches whatever follows its letter, a two-letter entry only its
    // own second letter.
    LookupTable()
    {
        one.fill((unsigned short)DUMMY_ATOM_INDEX);
        two.fill((unsigned short)DUMMY_ATOM_INDEX);
        for (unsigned k = periodic_table_atoms; k-- > 0;) {
            const std::string& e = symbol_sorted[k];
            const unsigned first = (unsigned char)e[0];
            const auto index = (unsigned short)atom_index[k];
            if (e.size() == 2) {
                two[first * 256 + (unsigned char)e[1]] = index;
                continue;
            }
            one[first] = index;
            std::fill(two.begin() + first * 256, two.begin() + first * 256 + 256, index);
        }
    }
};

const LookupTable& Table()
{
    static const LookupTable table;
    return table;
}

}  // namespace

unsigned GetAtomIndex(const char* s, size_t length)
{
    if (length == 0 || s[0] == '\0')
        return DUMMY_ATOM_INDEX;
    const unsigned char first = (unsigned char)Upper(s[0]);
    if (length == 1 || s[1] == '\0')
        return Table().one[first];
    const unsigned char second = (unsigned char)Lower(s[1]);
    return Table().two[first * 256u + second];
}

unsigned GetAtomIndex(const std::string& s)
{
    return GetAtomIndex(s.data(), s.size());
}

bool IsElementSymbol(const char* s, size_t length, unsigned& index)
{
    if (length == 0 || length > 2)
        return false;
    index = GetAtomIndex(s, length);
    const std::string& e = element_symbol[index];
    if (e.size() != length)
        return false;
    for (size_t i = 0; i < length; ++i)
        if (Upper(s[i]) != Upper(e[i]))
            return false;
    return true;
}

bool IsUnknownSymbol(const char* s, size_t length)
{
    if (GetAtomIndex(s, length) != DUMMY_ATOM_INDEX)
        return false;
    const bool letter = length > 1 && ((s[1] >= 'a' && s[1] <= 'z') || (s[1] >= 'A' && s[1] <= 'Z'));
    return !(length > 0 && Upper(s[0]) == 'X' && !letter);
}
