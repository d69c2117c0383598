// The atoms the user picked, in the order picked: up to four, enough for a
// distance, an angle or a dihedral. The last one is the atom the element
// buttons change and the pie menu names.
#ifndef TESK_RENDER_SELECTION_H
#define TESK_RENDER_SELECTION_H

#include <algorithm>
#include <cstddef>
#include <vector>

inline constexpr unsigned NO_ATOM_SELECTED = 0xffffff;

class CSelection {
public:
    static constexpr std::size_t MAX_ATOMS = 4;

    const std::vector<unsigned>& Atoms() const { return atoms_; }
    bool IsEmpty() const { return atoms_.empty(); }
    // The atom picked last; NO_ATOM_SELECTED when none is.
    unsigned Last() const { return atoms_.empty() ? NO_ATOM_SELECTED : atoms_.back(); }
    bool Contains(unsigned atom) const { return std::find(atoms_.begin(), atoms_.end(), atom) != atoms_.end(); }
    void Clear() { atoms_.clear(); }
    // Drops the atoms numbered `count` or higher: numbers from a previous
    // structure or past a deletion mean nothing now.
    void DropFrom(unsigned count)
    {
        atoms_.erase(std::remove_if(atoms_.begin(), atoms_.end(), [count](unsigned a) { return a >= count; }),
                     atoms_.end());
    }
    // A pick of `atom` in a structure of `count` atoms: replaces the
    // selection, or with `add` puts the atom in it or takes it out (a fifth
    // is not taken). An atom past `count` (a miss) selects nothing.
    void Pick(unsigned atom, unsigned count, bool add)
    {
        if (!add)
            atoms_.clear();
        DropFrom(count);
        if (atom >= count)
            return;
        const auto it = std::find(atoms_.begin(), atoms_.end(), atom);
        if (it != atoms_.end())
            atoms_.erase(it);
        else if (atoms_.size() < MAX_ATOMS)
            atoms_.push_back(atom);
    }

private:
    std::vector<unsigned> atoms_;
};

#endif
