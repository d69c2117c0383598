// The model's bonds: the whole search (linked cells, or periodic images in
// a cell), the bonds a file lists, and the records of one atom taken out,
// put back and found again around an edit.
#include <algorithm>
#include <cmath>
#include <new>

#include "core/elements.h"
#include "model/model.h"

void CModel::FindBonds()
{
    EvalCutRadius();
    is_linked_list = false;
    EvalAtomicBonds();
}

void CModel::TakeBondsOf(unsigned u, std::vector<CBondEntry>& out)
{
    out.clear();
    const std::size_t n = bond_count;
    std::size_t kept = 0;
    for (std::size_t k = 0; k < n; ++k) {
        const glm::uvec2 p = v_bond_pairs[k];
        if (p.x == u || p.y == u) {
            out.push_back(CBondEntry{k, p, v_bond_images[k]});
            continue;
        }
        v_bond_pairs[kept] = p;
        v_bond_images[kept] = v_bond_images[k];
        ++kept;
    }
    const std::ptrdiff_t from = std::ptrdiff_t(kept), to = std::ptrdiff_t(n);
    v_bond_pairs.erase(v_bond_pairs.begin() + from, v_bond_pairs.begin() + to);
    v_bond_images.erase(v_bond_images.begin() + from, v_bond_images.begin() + to);
    bond_count = unsigned(kept);
}

void CModel::PutBondsBack(const std::vector<CBondEntry>& in)
{
    if (in.empty())
        return;
    const std::size_t n = bond_count, m = in.size();
    const std::ptrdiff_t at = std::ptrdiff_t(n);
    v_bond_pairs.insert(v_bond_pairs.begin() + at, m, glm::uvec2(0u));
    v_bond_images.insert(v_bond_images.begin() + at, m, glm::ivec3(0));
    // merge from the back: the records put back go to their old places,
    // the others keep their order around them
    std::size_t src = n, next = m;
    for (std::size_t k = n + m; k-- > 0;) {
        if (next > 0 && in[next - 1].k == k) {
            const CBondEntry& e = in[--next];
            v_bond_pairs[k] = e.pair;
            v_bond_images[k] = e.image;
        } else {
            --src;
            v_bond_pairs[k] = v_bond_pairs[src];
            v_bond_images[k] = v_bond_images[src];
        }
    }
    bond_count = unsigned(n + m);
}

void CModel::FindBondsOf(unsigned u)
{
    const unsigned n = GetTotalAtoms();
    if (u >= n)
        return;
    if (is_periodic_bonds) {
        if (IsDummy(v_elements[u]))
            return;
        std::vector<CCrystalBond> found;
        const CLattice lattice = GetLattice();
        FindPeriodicBondsOf(lattice, u, v_positions, v_elements, found);
        for (const CCrystalBond& b : found)
            AppendPeriodicBond(b);
        return;
    }
    std::vector<unsigned> partners;
    FindBondsOfAtom(u, partners);
    for (unsigned j : partners) {
        // the same pair order and arithmetic as the full search
        const unsigned lo = std::min(u, j), hi = std::max(u, j);
        AppendBond(lo, hi);
    }
}

void CModel::EvalCutRadius()
{
    max_radius = 0.0f;
    for (unsigned e : v_elements)
        if (e < periodic_table_atoms)
            max_radius = std::max(max_radius, atom_rgbs[e][3]);
    r_cut_radius = 2.0f * max_radius;
}

void CModel::EvalLinkedList()
{
    bond_grid.Build(v_positions, v_elements, max_radius);
    is_linked_list = true;
}

void CModel::AppendBond(unsigned i, unsigned j, const glm::ivec3& image)
{
    v_bond_pairs.push_back(glm::uvec2(i, j));
    v_bond_images.push_back(image);
    ++bond_count;
}

void CModel::FindBondsOfAtom(unsigned i, std::vector<unsigned>& partners) const
{
    partners.clear();
    const std::size_t n = std::min(v_positions.size(), v_elements.size());
    if (i >= n || IsDummy(v_elements[i]))
        return;
    const glm::vec3 pi = v_positions[i];
    for (std::size_t j = 0; j < n; ++j) {
        if (j == i || IsDummy(v_elements[j]))
            continue;
        const glm::vec3 d = v_positions[j] - pi;
        const float d2 = d.x * d.x + d.y * d.y + d.z * d.z;
        if (IsBondLength(d2, BondLimit(v_elements[i], v_elements[j])))
            partners.push_back(unsigned(j));
    }
}

void CModel::EvalAtomicBonds()
{
    const unsigned n = GetTotalAtoms();
    bond_count = 0;
    v_bond_pairs.clear();
    v_bond_images.clear();
    is_periodic_bonds = false;
    bool images_follow = false;  // the pair search fills the images after the pairs
    try {
        // room for 15 bonds per atom; a structure with more grows the records
        const std::size_t records = std::size_t(n) * RECORDS_PER_ATOM;
        v_bond_pairs.reserve(records);
        v_bond_images.reserve(records);
        const CLattice lattice = GetLattice();
        if (file_copy && !file_copy->ListedBonds().empty()) {
            // the file lists its bonds: those are the bonds
            if (!is_linked_list)
                EvalLinkedList();
            UseFileBonds();
            is_loaded = true;
            return;
        }
        if (is_periodic && IsPeriodicSearchable(lattice, n, max_radius)) {
            // one atom alone can bond to its own images
            is_periodic_bonds = true;
            std::vector<CCrystalBond> found;
            FindPeriodicBonds(lattice, v_positions, v_elements, max_radius, found);
            for (const CCrystalBond& b : found)
                AppendPeriodicBond(b);
            is_loaded = true;
            return;
        }
        if (is_periodic)
            AddNote("the cell is too small or too thin for bonds across it; bonds inside only");
        if (!is_linked_list)
            EvalLinkedList();
        if (n <= 1) {
            is_loaded = true;
            return;
        }
        const std::size_t most = std::size_t(n) * MAX_RECORDS_PER_ATOM + 4096;
        images_follow = true;
        const bool whole = bond_grid.FindPairs(v_positions, v_elements, v_bond_pairs, most);
        v_bond_images.resize(v_bond_pairs.size(), glm::ivec3(0));
        bond_count = unsigned(v_bond_pairs.size());
        if (!whole)
            AddNote("more than " + std::to_string(MAX_RECORDS_PER_ATOM) + " bonds per atom: the search stopped after " +
                    std::to_string(bond_count) + " bonds");
    } catch (const std::bad_alloc&) {
        // out of memory while growing the records: the bonds found so far
        // stay (after the pair search, as many as the images have room for)
        const std::size_t kept =
            std::min(v_bond_pairs.size(), images_follow ? v_bond_images.capacity() : v_bond_images.size());
        v_bond_pairs.resize(kept);
        v_bond_images.resize(kept, glm::ivec3(0));
        bond_count = unsigned(kept);
        AddNote("out of memory after " + std::to_string(bond_count) + " bonds; the remaining bonds are not shown");
    }
    is_loaded = true;
}

void CModel::UseFileBonds()
{
    const glm::dmat3 to_fract = is_periodic ? glm::inverse(m_cell_box) : glm::dmat3(1.0);
    const unsigned n = GetTotalAtoms();
    for (const glm::uvec2& b : file_copy->ListedBonds()) {
        if (b.x >= n || b.y >= n)
            continue;
        glm::ivec3 image(0);
        if (is_periodic) {
            // the nearest image of the partner: a bond across the box
            const glm::dvec3 f = to_fract * (glm::dvec3(v_positions[b.y]) - glm::dvec3(v_positions[b.x]));
            image = glm::ivec3(-int(std::lround(f.x)), -int(std::lround(f.y)), -int(std::lround(f.z)));
            is_periodic_bonds = true;
        }
        AppendBond(b.x, b.y, image);
    }
}

void CModel::AppendPeriodicBond(const CCrystalBond& b)
{
    AppendBond(b.i, b.j, b.image);
}
