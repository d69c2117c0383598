#include "model/model.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <exception>
#include <functional>
#include <new>
#include <utility>

#include "core/elements.h"
#include "io/text_source.h"

namespace {

constexpr std::size_t RECORDS_PER_ATOM = 15;
// Atoms piled closer than bonds reach (thousands of atoms bonded to thousands)
// would fill memory with records: the search stops at this many per atom.
constexpr std::size_t MAX_RECORDS_PER_ATOM = 64;
// Storage a new structure needs before it may replace the current one, taken
// while the current one is still intact, so that a lack of memory refuses
// the file instead of leaving half a structure.
struct Storage {
    std::vector<glm::uvec2> pair;
    std::vector<glm::ivec3> image;
    core::BondGrid grid;

    explicit Storage(std::size_t atoms)
    {
        const std::size_t records = atoms * RECORDS_PER_ATOM;
        pair.reserve(records);
        image.reserve(records);
        grid.Reserve(atoms);
    }
};

}  // namespace

bool IsShowable(const io::ReadResult& r, io::Refusal& refusal)
{
    if (r.positions.empty() || r.positions.size() != r.elements.size()) {
        refusal = {0, "holds no atoms"};
        return false;
    }
    if (r.positions.size() > std::size_t(INT_MAX)) {
        refusal = {0, "holds more atoms than can be shown"};
        return false;
    }
    for (unsigned e : r.elements)
        if (e >= species_count) {
            refusal = {0, "holds an element Tesk does not know"};
            return false;
        }
    for (const glm::vec3& p : r.positions)
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) {
            refusal = {0, "holds a coordinate that is not a finite number"};
            return false;
        }
    return true;
}

CModel::CModel() = default;

void CModel::AddNote(const std::string& note)
{
    if (note.empty() || notes.find(note) != std::string::npos)
        return;
    notes += (notes.empty() ? "" : "; ") + note;
}

bool CModel::ReadFile(std::string d, std::string f, int fmt)
{
    notes.clear();
    const io::FormatEntry* entry = io::FindFormat(fmt);
    io::HeldCopy copy = entry != nullptr ? io::NewFileCopy(entry->format) : nullptr;
    if (!copy) {
        read_refusal = {0, "is in no format Tesk reads"};
        return false;
    }
    read_refusal = {0, std::string("is not a readable ") + entry->label + " file"};
    try {
        if (!io::CheckInput(f, read_refusal))
            return false;
        // only the first frame of a trajectory is read here; the others
        // when they are shown
        CTrajectory frames;
        std::string text;
        if (entry->has_frames) {
            std::string refusal;
            if (!frames.Open(f, fmt) || !frames.ReadFrameText(0, text, &refusal)) {
                if (!refusal.empty())
                    read_refusal = {0, refusal};
                AddNote(refusal);
                return false;
            }
        } else if (!io::ReadInput(f, text, read_refusal)) {
            return false;
        }
        io::ReadOptions options = read_options;
        options.folder = d;
        io::ReadResult read;
        if (!copy->Read(text, options, f, read)) {
            if (!read.refusal.reason.empty())
                read_refusal = read.refusal;
            return false;
        }
        std::string().swap(text);
        if (!IsShowable(read, read_refusal))
            return false;
        return Adopt(std::move(copy), std::move(read), std::move(frames), d);
    } catch (const std::bad_alloc&) {
        read_refusal = {0, "too large for the memory"};
    } catch (const std::exception&) {
    }
    return false;
}

bool CModel::Adopt(io::HeldCopy copy, io::ReadResult&& read, CTrajectory&& frames, const std::string& folder)
{
    try {
        // the bond records and grid the new structure needs, before the old one goes
        Storage storage(read.positions.size());
        std::vector<int> types = read.type_numbers;
        file_copy = std::move(copy);
        type_numbers.swap(types);
        is_periodic = read.is_periodic;
        periodic_axes = read.periodic_axes;
        if (read.is_periodic)
            m_cell_box = read.cell;
        min_xyz = glm::vec3(read.low);
        max_xyz = glm::vec3(read.high);
        v_positions.swap(read.positions);
        v_elements.swap(read.elements);
        v_bond_pairs.swap(storage.pair);
        v_bond_images.swap(storage.image);
        bond_grid = std::move(storage.grid);
    } catch (const std::bad_alloc&) {
        read_refusal = {0, "too large for the memory"};
        return false;
    }
    StartFrames(std::move(frames), folder);
    notes.clear();
    history.Clear();
    SetModel();
    frame_center_xyz = center_xyz;
    AddNote(read.note);
    AddNote(trajectory.note);
    return true;
}

void CModel::SetModel()
{
    is_linked_list = false;
    is_centered = false;
    // in double: the sum of two coordinates near the float limit overflows
    center_xyz = glm::vec3((glm::dvec3(min_xyz) + glm::dvec3(max_xyz)) * 0.5);
    EvalCutRadius();
    const float margin = float(double(max_radius) * 1.1);
    min_xyz -= glm::vec3(margin);
    max_xyz += glm::vec3(margin);
    box_size = max_xyz - min_xyz;
    if (!is_periodic) {
        m_cell_box = glm::dmat3(0.0);
        for (int a = 0; a < 3; ++a)
            m_cell_box[a][a] = double(box_size[a]);
    }
    cell_origin = glm::dvec3(0.0);  // the files' cells start at their origin
    EvalAtomicBonds();
    CenterView();
}

void CModel::SetAtoms(std::vector<glm::vec3> positions, std::vector<unsigned> elements)
{
    v_positions = std::move(positions);
    v_elements = std::move(elements);
    min_xyz = max_xyz = v_positions.empty() ? glm::vec3(0.0f) : v_positions[0];
    for (const glm::vec3& p : v_positions) {
        min_xyz = glm::min(min_xyz, p);
        max_xyz = glm::max(max_xyz, p);
    }
    SetModel();
}

void CModel::SetCell(const glm::dmat3& cell, bool periodic)
{
    m_cell_box = cell;
    is_periodic = periodic;
    cell_origin = glm::dvec3(0.0);
}

void CModel::PlaceAtoms(std::vector<glm::vec3> positions, std::vector<unsigned> elements, glm::vec3 box,
                        const glm::dmat3& cell, bool periodic, glm::dvec3 origin)
{
    v_positions = std::move(positions);
    v_elements = std::move(elements);
    box_size = box;
    m_cell_box = cell;
    is_periodic = periodic;
    cell_origin = origin;
}

void CModel::SetBonds(std::vector<glm::uvec2> pairs, std::vector<glm::ivec3> images)
{
    images.resize(pairs.size(), glm::ivec3(0));
    v_bond_pairs = std::move(pairs);
    v_bond_images = std::move(images);
    bond_count = unsigned(v_bond_pairs.size());
    is_loaded = true;
}

void CModel::FindBonds()
{
    EvalCutRadius();
    is_linked_list = false;
    EvalAtomicBonds();
}

void CModel::CenterView()
{
    for (glm::vec3& p : v_positions)
        p -= center_xyz;
    cell_origin -= glm::dvec3(center_xyz);
}

void CModel::CenterCoordinates()
{
    if (!is_centered) {
        glm::dvec3 by(0.0);
        if (file_copy && file_copy->Centre(by)) {
            // deleted atoms kept for undo move with the others
            history.ForEachFileAtom([&](std::any& atom) { file_copy->ShiftAtom(atom, -by); });
            // the file's coordinates now match the drawn ones, under a cell at the origin
            cell_origin = glm::dvec3(0.0);
        }
        center_xyz = glm::vec3(0.0f);
        is_centered = true;
    }
}

template <typename Edit>
bool CModel::RunEdit(const char* doing, Edit edit)
{
    bool changed = true;
    try {
        changed = edit();
    } catch (const std::exception&) {
        // out of memory: the edit may be half done, so it cannot be undone
        history.Clear();
        AddNote(std::string("out of memory while ") + doing + "; undo history cleared");
    }
    // the grid holds the positions and elements before the edit
    if (changed)
        is_linked_list = false;
    return changed;
}

void CModel::ChangeAtom(unsigned num, unsigned idx)
{
    if (num >= v_elements.size() || idx >= periodic_table_atoms || v_elements[num] == idx)
        return;
    RunEdit("changing an element", [&] {
        CEditStep step;
        step.v_records.emplace_back();
        SetElement(num, idx, step.v_records.back());
        history.Push(std::move(step));
        return true;
    });
}

void CModel::DeleteAtom(unsigned u)
{
    DeleteAtoms({u});
}

void CModel::DeleteAtoms(std::vector<unsigned> atoms)
{
    // from the highest number down, so that the lower numbers stay valid
    std::sort(atoms.begin(), atoms.end(), std::greater<unsigned>());
    atoms.erase(std::unique(atoms.begin(), atoms.end()), atoms.end());
    while (!atoms.empty() && atoms.front() >= GetTotalAtoms())
        atoms.erase(atoms.begin());
    if (atoms.empty())
        return;
    RunEdit("deleting atoms", [&] {
        CEditStep step;
        step.v_records.resize(atoms.size());
        for (std::size_t n = 0; n < atoms.size(); ++n)
            RemoveAtom(atoms[n], step.v_records[n]);
        history.Push(std::move(step));
        return true;
    });
}

bool CModel::Undo()
{
    CEditStep* step = history.Undo();
    if (step == nullptr)
        return false;
    return RunEdit("undoing", [&] {
        for (auto r = step->v_records.rbegin(); r != step->v_records.rend(); ++r) {
            if (r->is_wrap)
                RestoreWrap(*r);
            else if (r->is_delete)
                RestoreAtom(*r);
            else
                RestoreElement(*r);
        }
        return true;
    });
}

bool CModel::Redo()
{
    CEditStep* step = history.Redo();
    if (step == nullptr)
        return false;
    return RunEdit("redoing", [&] {
        for (CEditRecord& r : step->v_records) {
            if (r.is_wrap)
                ApplyWrap(r, false);
            else if (r.is_delete)
                RemoveAtom(r.atom, r);
            else
                SetElement(r.atom, r.new_element, r);
        }
        return true;
    });
}

void CModel::RemoveAtom(unsigned u, CEditRecord& r)
{
    r = CEditRecord();
    r.is_delete = true;
    r.atom = u;
    r.element = v_elements[u];
    r.position = v_positions[u];
    if (file_copy)
        r.file_atom = file_copy->TakeAtom(u);
    v_positions.erase(v_positions.begin() + u);
    v_elements.erase(v_elements.begin() + u);
    TakeBondsOf(u, r.v_removed_bonds);
    for (unsigned k = 0; k < bond_count; ++k) {
        glm::uvec2& p = v_bond_pairs[k];
        if (p.x > u)
            --p.x;
        if (p.y > u)
            --p.y;
    }
    // every frame read later loses the atom too
    v_edits.push_back({true, u, 0});
}

void CModel::RestoreAtom(const CEditRecord& r)
{
    const unsigned u = r.atom;
    if (u > GetTotalAtoms())
        return;
    if (file_copy)
        file_copy->InsertAtom(u, r.file_atom);
    v_positions.insert(v_positions.begin() + u, r.position);
    v_elements.insert(v_elements.begin() + u, r.element);
    for (unsigned k = 0; k < bond_count; ++k) {
        glm::uvec2& p = v_bond_pairs[k];
        if (p.x >= u)
            ++p.x;
        if (p.y >= u)
            ++p.y;
    }
    PutBondsBack(r.v_removed_bonds);
    // undo runs in the reverse order of the edits: the last one recorded is this
    if (!v_edits.empty())
        v_edits.pop_back();
}

void CModel::SetElement(unsigned num, unsigned idx, CEditRecord& r)
{
    r = CEditRecord();
    r.atom = num;
    r.element = v_elements[num];
    r.new_element = idx;
    TakeBondsOf(num, r.v_removed_bonds);
    v_elements[num] = idx;
    const unsigned before = bond_count;
    FindBondsOf(num);
    r.u_added_bonds = bond_count - before;
    v_edits.push_back({false, num, idx});
}

void CModel::RestoreElement(const CEditRecord& r)
{
    if (r.atom >= GetTotalAtoms() || r.u_added_bonds > bond_count)
        return;
    const std::ptrdiff_t to = std::ptrdiff_t(bond_count), from = to - std::ptrdiff_t(r.u_added_bonds);
    v_bond_pairs.erase(v_bond_pairs.begin() + from, v_bond_pairs.begin() + to);
    v_bond_images.erase(v_bond_images.begin() + from, v_bond_images.begin() + to);
    bond_count -= r.u_added_bonds;
    v_elements[r.atom] = r.element;
    PutBondsBack(r.v_removed_bonds);
    if (!v_edits.empty())
        v_edits.pop_back();
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

double CModel::Distance(unsigned i, unsigned j) const
{
    const unsigned n = GetTotalAtoms();
    if (i >= n || j >= n)
        return 0.0;
    return glm::length(glm::dvec3(v_positions[j]) - glm::dvec3(v_positions[i]));
}

double CModel::Angle(unsigned i, unsigned j, unsigned k) const
{
    const unsigned n = GetTotalAtoms();
    if (i >= n || j >= n || k >= n)
        return 0.0;
    const glm::dvec3 a = glm::dvec3(v_positions[i]) - glm::dvec3(v_positions[j]);
    const glm::dvec3 b = glm::dvec3(v_positions[k]) - glm::dvec3(v_positions[j]);
    // atan2 keeps its precision near 0 and 180 degrees, where acos does not
    return glm::degrees(std::atan2(glm::length(glm::cross(a, b)), glm::dot(a, b)));
}

double CModel::Dihedral(unsigned i, unsigned j, unsigned k, unsigned l) const
{
    const unsigned n = GetTotalAtoms();
    if (i >= n || j >= n || k >= n || l >= n)
        return 0.0;
    const glm::dvec3 b1 = glm::dvec3(v_positions[j]) - glm::dvec3(v_positions[i]);
    const glm::dvec3 b2 = glm::dvec3(v_positions[k]) - glm::dvec3(v_positions[j]);
    const glm::dvec3 b3 = glm::dvec3(v_positions[l]) - glm::dvec3(v_positions[k]);
    const glm::dvec3 n1 = glm::cross(b1, b2), n2 = glm::cross(b2, b3);
    const double deg = glm::degrees(std::atan2(glm::length(b2) * glm::dot(b1, n2), glm::dot(n1, n2)));
    return deg <= -180.0 ? deg + 360.0 : deg;
}

// ---------------------------------------------------------------------------
// Bond detection

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

// ---------------------------------------------------------------------------
// Wrapping into the cell

bool CModel::Wrap()
{
    notes.clear();
    if (!is_periodic || v_positions.empty())
        return false;
    const CLattice lattice = GetLattice();
    if (!lattice.is_usable)
        return false;
    return RunEdit("wrapping atoms", [&] {
        CEditStep step;
        step.v_records.emplace_back();
        CEditRecord& r = step.v_records.back();
        r.is_wrap = true;
        std::size_t far_out = 0;
        const std::vector<glm::ivec3> shifts = WrapShifts(lattice, v_positions, &far_out);
        if (far_out > 0)
            AddNote(std::to_string(far_out) + (far_out == 1 ? " atom lies" : " atoms lie") +
                    " too far outside the cell to be wrapped");
        for (unsigned i = 0; i < shifts.size(); ++i)
            if (shifts[i] != glm::ivec3(0))
                r.v_wrapped.push_back(CWrapEntry{i, shifts[i], v_positions[i], {}});
        if (r.v_wrapped.empty())
            return false;
        ApplyWrap(r, true);
        history.Push(std::move(step));
        return true;
    });
}

void CModel::ApplyWrap(CEditRecord& r, bool first)
{
    const CLattice lattice = GetLattice();
    const unsigned n = GetTotalAtoms();
    std::vector<glm::ivec3> shift(n, glm::ivec3(0));
    for (CWrapEntry& e : r.v_wrapped) {
        if (e.atom >= n)
            continue;
        const unsigned i = e.atom;
        shift[i] = e.shift;
        e.position = v_positions[i];
        v_positions[i] += lattice.Translation(e.shift);
        // the file's copy moves too, so that a save keeps the wrap
        if (file_copy) {
            e.file_place = file_copy->PlaceOf(i);
            file_copy->MoveAtom(i, e.shift, lattice.m_cell);
        }
    }
    // every frame read later is wrapped too
    v_edits.push_back({false, 0, 0, true});
    // A bond keeps its atoms; the image of its second atom makes up for the
    // moves of both.
    if (first)
        r.v_removed_bonds.clear();
    for (unsigned k = 0; k < bond_count; ++k) {
        const glm::uvec2 p = v_bond_pairs[k];
        if (p.x >= n || p.y >= n)
            continue;
        const glm::ivec3 si = shift[p.x], sj = shift[p.y];
        if (si == glm::ivec3(0) && sj == glm::ivec3(0))
            continue;
        if (first)
            r.v_removed_bonds.push_back(CBondEntry{k, p, v_bond_images[k]});
        v_bond_images[k] += si - sj;
    }
}

void CModel::RestoreWrap(const CEditRecord& r)
{
    const unsigned n = GetTotalAtoms();
    for (const CWrapEntry& e : r.v_wrapped) {
        if (e.atom >= n)
            continue;
        const unsigned i = e.atom;
        v_positions[i] = e.position;
        if (file_copy)
            file_copy->SetPlace(i, e.file_place);
    }
    for (const CBondEntry& b : r.v_removed_bonds) {
        if (b.k < bond_count)
            v_bond_images[b.k] = b.image;
    }
    if (!v_edits.empty())
        v_edits.pop_back();
}
