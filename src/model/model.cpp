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

// Storage a new structure needs before it may replace the current one, taken
// while the current one is still intact, so that a lack of memory refuses
// the file instead of leaving half a structure.
struct Storage {
    std::vector<glm::uvec2> pair;
    std::vector<glm::ivec3> image;
    core::BondGrid grid;

    explicit Storage(std::size_t atoms)
    {
        const std::size_t records = atoms * CModel::RECORDS_PER_ATOM;
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
