#include "elements.h"

#include <array>

namespace {

char Upper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

// The walk over symbol_sorted, done once for every possible pair of first
// characters; readers call the look-up once per atom, millions of times.
struct LookupTable {
    std::array<unsigned short, 256 * 256> two;  // [first][second], first two characters normalised
    std::array<unsigned short, 256> one;        // text of exactly one character

    LookupTable() {
        for (unsigned a = 0; a < 256; ++a) {
            one[a] = Walk(char(a), '\0');
            for (unsigned b = 0; b < 256; ++b)
                two[a * 256 + b] = Walk(char(a), char(b));
        }
    }

    // The first position of symbol_sorted that matches; two-letter entries
    // need a second character, one-letter entries compare the first only.
    static unsigned short Walk(char first, char second) {
        for (unsigned k = 0; k < periodic_table_atoms; ++k) {
            const std::string& e = symbol_sorted[k];
            if (e.size() == 2) {
                if (second != '\0' && e[0] == first && e[1] == second) return (unsigned short)atom_index[k];
            } else if (e[0] == first) {
                return (unsigned short)atom_index[k];
            }
        }
        return DUMMY_ATOM_INDEX;
    }
};

const LookupTable& Table() {
    static const LookupTable table;
    return table;
}

}  // namespace

unsigned GetAtomIndex(const char* s, size_t length) {
    if (length == 0 || s[0] == '\0') return DUMMY_ATOM_INDEX;
    const unsigned char first = (unsigned char)Upper(s[0]);
    if (length == 1 || s[1] == '\0') return Table().one[first];
    const unsigned char second = (unsigned char)Lower(s[1]);
    return Table().two[first * 256u + second];
}

unsigned GetAtomIndex(const std::string& s) { return GetAtomIndex(s.data(), s.size()); }

bool IsElementSymbol(const char* s, size_t length, unsigned& index) {
    if (length == 0 || length > 2) return false;
    index = GetAtomIndex(s, length);
    const std::string& e = symbol[index];
    if (e.size() != length) return false;
    for (size_t i = 0; i < length; ++i)
        if (Upper(s[i]) != Upper(e[i])) return false;
    return true;
}
