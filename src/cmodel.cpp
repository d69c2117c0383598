#include "cmodel.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <exception>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>

#include "elements.h"

namespace {

constexpr std::size_t RECORDS_PER_ATOM = 15;

// Storage a new structure needs before it may replace the current one, taken
// while the current one is still intact, so that a lack of memory refuses
// the file instead of leaving half a structure.
struct Storage {
    std::vector<float> length;
    std::vector<glm::vec3> middle;
    std::vector<glm::vec2> angle;
    std::vector<glm::uvec2> pair;
    std::vector<int> head;
    std::vector<int> next;
    std::vector<unsigned> start;
    std::vector<CCellAtom> ordered;

    explicit Storage(std::size_t atoms) {
        const std::size_t records = atoms * RECORDS_PER_ATOM;
        const std::size_t cells = atoms * 4 + 64;  // the most cells the grid takes
        length.reserve(records);
        middle.reserve(records);
        angle.reserve(records);
        pair.reserve(records);
        head.reserve(cells);
        next.reserve(atoms);
        start.reserve(cells + 1);
        ordered.reserve(atoms);
    }
};

// A reader's result the model can show: at least one atom, one element per
// atom, every element in the table and every position finite.
bool IsUsable(const std::vector<glm::vec3>& positions, const std::vector<unsigned>& elements) {
    if (positions.empty() || positions.size() != elements.size() || positions.size() > std::size_t(INT_MAX))
        return false;
    for (unsigned e : elements)
        if (e >= periodic_table_atoms) return false;
    for (const glm::vec3& p : positions)
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) return false;
    return true;
}

// Largest squared distance that still bonds elements a and b: s = ra + rb in
// float, s^2 times 1.2 in double, back to float.
float BondLimit(unsigned a, unsigned b) {
    const float s = atom_rgbs[a][3] + atom_rgbs[b][3];
    return float(1.2 * double(s * s));
}

}  // namespace

CModel::CModel() = default;

bool CModel::ReadFile(std::string d, std::string f, int fmt) {
    if (fmt != INPUT_FILE_TYPE_XYZ && fmt != INPUT_FILE_TYPE_VSP && fmt != INPUT_FILE_TYPE_PDB) return false;
    try {
        std::vector<glm::vec3> positions;
        std::vector<unsigned> elements;
        glm::dvec3 lo(0.0), hi(0.0);
        bool periodic = false;
        glm::dmat3 cell(1.0);
        std::unique_ptr<Storage> storage;

        // Each reader works on a fresh object; it replaces the model's only
        // when the whole structure was read and its storage is in hand.
        // only the first frame of a trajectory is read here; the others
        // when they are shown
        CTrajectory frames;
        std::string text;
        if (!frames.Open(f, fmt) || !frames.ReadFrameText(0, text)) return false;

        auto read = [&](auto& current) {
            std::remove_reference_t<decltype(current)> reader;
            if (!ReadText(reader, d, f, text, positions, elements) || !IsUsable(positions, elements)) return false;
            lo = glm::dvec3(reader.GetMinCoordinate());
            hi = glm::dvec3(reader.GetMaxCoordinate());
            periodic = reader.is_periodic;
            cell = reader.cell_xyz;
            storage = std::make_unique<Storage>(positions.size());
            current = std::move(reader);
            return true;
        };
        const bool ok = fmt == INPUT_FILE_TYPE_XYZ ? read(xyz) : fmt == INPUT_FILE_TYPE_VSP ? read(vasp) : read(pdb);
        if (!ok) return false;

        file_format = fmt;
        is_periodic = periodic;
        if (periodic) m_cell_box = cell;
        min_xyz = glm::vec3(lo);
        max_xyz = glm::vec3(hi);
        v_float_raw_xyz.swap(positions);
        v_atom_index.swap(elements);
        v_bond_length.swap(storage->length);
        m_bond_xyz.swap(storage->middle);
        m_bond_ang.swap(storage->angle);
        m_bond_indices.swap(storage->pair);
        v_cell_head.swap(storage->head);
        v_cell_list.swap(storage->next);
        v_cell_start.swap(storage->start);
        v_cell_atoms.swap(storage->ordered);
        storage.reset();
        trajectory = std::move(frames);
        frame_folder = d;
        frame_message.clear();
        u_frame = 0;
        u_frame_atoms = v_float_raw_xyz.size();
        v_edits.clear();
    } catch (const std::exception&) {
        return false;
    }
    SetModel();
    frame_center_xyz = center_xyz;
    return true;
}

void CModel::SetModel() {
    is_linked_list = false;
    is_centered = false;
    // in double: the sum of two coordinates near the float limit overflows
    center_xyz = glm::vec3((glm::dvec3(min_xyz) + glm::dvec3(max_xyz)) * 0.5);
    EvalCutRadius();
    const float margin = float(double(max_radius) * 1.1);
    min_xyz -= glm::vec3(margin);
    max_xyz += glm::vec3(margin);
    v_box_size = max_xyz - min_xyz;
    if (!is_periodic) {
        m_cell_box = glm::dmat3(0.0);
        for (int a = 0; a < 3; ++a) m_cell_box[a][a] = double(v_box_size[a]);
    }
    EvalAtomicBonds();
    is_unchanged = true;
    CenterView();
}

void CModel::CenterView() {
    for (glm::vec3& p : v_float_raw_xyz) p -= center_xyz;
    const std::size_t records = std::min<std::size_t>(i_number_of_bonds, m_bond_xyz.size());
    for (std::size_t k = 0; k < records; ++k) m_bond_xyz[k] -= center_xyz;
}

void CModel::CenterCoordinates() {
    if (!is_centered) {
        xyz.CenterCoordinates();
        center_xyz = glm::vec3(0.0f);
        is_centered = true;
    }
    is_unchanged = false;
}

void CModel::ChangeAtom(unsigned num, unsigned idx) {
    if (num >= v_atom_index.size() || idx >= periodic_table_atoms) return;
    v_atom_index[num] = idx;
    v_edits.push_back({false, num, idx});
    is_unchanged = false;
}

void CModel::DeleteAtom(unsigned u) {
    if (u >= GetTotalAtoms()) return;
    if (file_format == INPUT_FILE_TYPE_XYZ)
        xyz.DeleteAtom(u);
    else if (file_format == INPUT_FILE_TYPE_VSP)
        vasp.DeleteAtom(u);
    else if (file_format == INPUT_FILE_TYPE_PDB)
        pdb.DeleteAtom(u);
    v_float_raw_xyz.erase(v_float_raw_xyz.begin() + u);
    v_atom_index.erase(v_atom_index.begin() + u);
    v_edits.push_back({true, u, 0});
    is_unchanged = false;
}

bool CModel::SaveFile(std::string d, std::string f, int fmt) {
    (void)fmt;  // a structure is always written in the format it was read in
    // nothing read yet, or every atom deleted: no file that could be read back
    if (!is_bond_eval || v_atom_index.empty()) return false;
    if (file_format == INPUT_FILE_TYPE_XYZ && !is_saving_frames && GetFrameCount() > 1) return SaveAllFrames(f);
    switch (file_format) {
        case INPUT_FILE_TYPE_XYZ: return xyz.SaveFile(d, f, v_atom_index);
        case INPUT_FILE_TYPE_VSP: return vasp.SaveFile(d, f, v_atom_index);
        case INPUT_FILE_TYPE_PDB: return pdb.SaveFile(d, f, v_atom_index);
        default: return false;
    }
}

// ---------------------------------------------------------------------------
// Bond detection

void CModel::EvalCutRadius() {
    max_radius = 0.0f;
    for (unsigned e : v_atom_index)
        if (e < periodic_table_atoms) max_radius = std::max(max_radius, atom_rgbs[e][3]);
    r_cut_radius = 2.0f * max_radius;
}

void CModel::SetCells() {
    // Every cell edge is at least the longest distance the bond criterion
    // allows (sqrt(1.2) times twice the largest radius), with a little to
    // spare for rounding, so a bonded pair always lies in neighbouring cells.
    const double reach = std::sqrt(1.2) * 2.0 * double(max_radius);
    double edge = reach * (1.0 + 1e-4) + 1e-6;

    // The grid spans the atoms themselves, so every atom falls inside it
    // whatever bounds a reader reported.
    const unsigned n = GetTotalAtoms();
    glm::dvec3 lo(0.0), hi(0.0);
    bool finite = true;
    for (unsigned i = 0; i < n; ++i) {
        const glm::dvec3 p(v_float_raw_xyz[i]);
        finite = finite && std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
        if (i == 0) {
            lo = hi = p;
        } else {
            lo = glm::min(lo, p);
            hi = glm::max(hi, p);
        }
    }
    v_grid_origin = lo;
    for (int a = 0; a < 3; ++a) {
        v_grid_size[a] = hi[a] - lo[a];
        if (!(v_grid_size[a] > 0.0) || !std::isfinite(v_grid_size[a])) v_grid_size[a] = 0.0;
    }

    const double max_cells = std::min(4.0 * double(n) + 64.0, double(1 << 30));
    const double max_side = double(1 << 30);
    auto cells_for = [&](double e) {
        double total = 1.0;
        for (int a = 0; a < 3; ++a) total *= std::min(max_side, std::max(1.0, std::floor(v_grid_size[a] / e)));
        return total;
    };
    if (cells_for(edge) > max_cells && n >= 200 && finite) {
        // A few atoms far from the rest would spread the grid so thin that
        // the bulk shares a handful of cells. The grid then covers the
        // middle 99 % along each axis; atoms outside fall into the outer
        // cells, which keeps every bonded pair in neighbouring cells.
        std::vector<float> values(n);
        const std::size_t low = n / 200, high = n - 1 - n / 200;
        for (int a = 0; a < 3; ++a) {
            for (unsigned i = 0; i < n; ++i) values[i] = v_float_raw_xyz[i][a];
            std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(low), values.end());
            const double from = values[low];
            std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(high), values.end());
            const double to = values[high];
            v_grid_origin[a] = from;
            v_grid_size[a] = to > from ? to - from : 0.0;
        }
    }

    // Atoms far apart would still ask for an enormous grid: the cells are
    // widened until there are at most a few per atom.
    for (;;) {
        double total = 1.0;
        for (int a = 0; a < 3; ++a) {
            double cells = std::floor(v_grid_size[a] / edge);
            if (!(cells >= 1.0)) cells = 1.0;
            if (cells > max_side) cells = max_side;
            v_cell_side[a] = int(cells);
            total *= cells;
        }
        if (total <= max_cells) break;
        edge *= std::max(1.01, std::cbrt(total / max_cells));
    }
    u_cell_number = unsigned(v_cell_side.x) * unsigned(v_cell_side.y) * unsigned(v_cell_side.z);
    SetNeighbourList();
}

void CModel::SetNeighbourList() {
    neighbor_cells_xyz.clear();
    i_neighbor_cells = 0;
    if (u_cell_number < 2) return;
    neighbor_cells_xyz.assign(std::begin(neighbor_cells), std::end(neighbor_cells));
    i_neighbor_cells = 27;
}

void CModel::SetInverseCell() {
    for (int a = 0; a < 3; ++a) {
        v_grid_frac[a] = v_grid_size[a] > 0.0 ? double(v_cell_side[a]) / v_grid_size[a] : 0.0;
        v_cell_frac[a] = float(v_grid_frac[a]);
    }
}

int CModel::GetCellCoordinate(float p, int axis) const {
    const double u = (double(p) - v_grid_origin[axis]) * v_grid_frac[axis];
    if (!(u > 0.0)) return 0;
    if (u >= double(v_cell_side[axis])) return v_cell_side[axis] - 1;
    return int(u);
}

void CModel::SetCellList() {
    const unsigned n = GetTotalAtoms();
    v_cell_head.assign(u_cell_number, -1);
    v_cell_list.assign(n, 0);
    const std::size_t nx = std::size_t(v_cell_side.x), ny = std::size_t(v_cell_side.y);
    unsigned kept = 0;
    for (unsigned i = 0; i < n; ++i) {
        const glm::vec3& p = v_float_raw_xyz[i];
        const std::size_t c = (std::size_t(GetCellCoordinate(p.z, 2)) * ny + std::size_t(GetCellCoordinate(p.y, 1))) * nx +
                              std::size_t(GetCellCoordinate(p.x, 0));
        v_cell_list[i] = v_cell_head[c];
        v_cell_head[c] = int(i);
        if (v_atom_index[i] != DUMMY_ATOM_INDEX) ++kept;
    }
    // the same lists laid out cell after cell, for a search that reads memory in order
    v_cell_start.assign(std::size_t(u_cell_number) + 1, 0);
    v_cell_atoms.resize(kept);
    std::size_t k = 0;
    for (std::size_t c = 0; c < u_cell_number; ++c) {
        v_cell_start[c] = unsigned(k);
        for (int j = v_cell_head[c]; j != -1; j = v_cell_list[std::size_t(j)])
            if (v_atom_index[std::size_t(j)] != DUMMY_ATOM_INDEX)
                v_cell_atoms[k++] = CCellAtom{v_float_raw_xyz[std::size_t(j)], unsigned(j), v_atom_index[std::size_t(j)]};
    }
    v_cell_start[u_cell_number] = unsigned(k);
}

void CModel::EvalLinkedList() {
    SetCells();
    if (u_cell_number <= 1) return;
    SetInverseCell();
    SetCellList();
    is_linked_list = true;
}

void CModel::AppendBond(unsigned i, unsigned j, const glm::vec3& pi, const glm::vec3& pj, const glm::vec3& d,
                        float d2) {
    m_bond_indices.push_back(glm::uvec2(i, j));
    // in double: two neighbours near the float limit would overflow the sum
    m_bond_xyz.push_back(glm::vec3((glm::dvec3(pi) + glm::dvec3(pj)) * 0.5));
    const double dx = d.x, dy = d.y, dz = d.z;
    m_bond_ang.push_back(glm::vec2(float(std::atan2(dy, dx)), float(std::fabs(std::atan2(std::sqrt(dx * dx + dy * dy), dz)))));
    v_bond_length.push_back(std::sqrt(d2));
    ++i_number_of_bonds;
}

void CModel::EvalAtomicBonds() {
    const unsigned n = GetTotalAtoms();
    i_number_of_bonds = 0;
    v_bond_length.clear();
    m_bond_xyz.clear();
    m_bond_ang.clear();
    m_bond_indices.clear();
    try {
        // room for 15 bonds per atom; a structure with more grows the records
        const std::size_t records = std::size_t(n) * RECORDS_PER_ATOM;
        v_bond_length.reserve(records);
        m_bond_xyz.reserve(records);
        m_bond_ang.reserve(records);
        m_bond_indices.reserve(records);
        if (!is_linked_list) EvalLinkedList();
        if (n <= 1) {
            is_bond_eval = true;
            return;
        }

        // squared bond limit of every element pair
        float limit[periodic_table_atoms][periodic_table_atoms];
        for (unsigned a = 0; a < periodic_table_atoms; ++a)
            for (unsigned b = 0; b < periodic_table_atoms; ++b) limit[a][b] = BondLimit(a, b);

        const glm::vec3* pos = v_float_raw_xyz.data();
        const unsigned* elem = v_atom_index.data();
        const bool cell_search = is_linked_list && u_cell_number > 8;
        if (!cell_search) {
            for (unsigned i = 0; i + 1 < n; ++i) {
                if (elem[i] == DUMMY_ATOM_INDEX) continue;
                const glm::vec3 pi = pos[i];
                const float* row = limit[elem[i]];
                for (unsigned j = i + 1; j < n; ++j) {
                    if (elem[j] == DUMMY_ATOM_INDEX) continue;
                    const glm::vec3 d = pos[j] - pi;
                    const float d2 = d.x * d.x + d.y * d.y + d.z * d.z;
                    if (d2 <= row[elem[j]] && double(d2) > 0.1) AppendBond(i, j, pi, pos[j], d, d2);
                }
            }
        } else {
            const int nx = v_cell_side.x, ny = v_cell_side.y, nz = v_cell_side.z;
            const unsigned* start = v_cell_start.data();
            const CCellAtom* cells = v_cell_atoms.data();
            // Away from the grid's faces no offset wraps and the 27 cells are
            // distinct: their numbers are the atom's cell plus a fixed step.
            std::ptrdiff_t step[27];
            for (int k = 0; k < i_neighbor_cells; ++k) {
                const glm::ivec3& o = neighbor_cells_xyz[std::size_t(k)];
                step[k] = (std::ptrdiff_t(o.z) * ny + o.y) * nx + o.x;
            }
            std::size_t around[27];
            for (unsigned i = 0; i + 1 < n; ++i) {
                if (elem[i] == DUMMY_ATOM_INDEX) continue;
                const glm::vec3 pi = pos[i];
                const float* row = limit[elem[i]];
                const int cx = GetCellCoordinate(pi.x, 0);
                const int cy = GetCellCoordinate(pi.y, 1);
                const int cz = GetCellCoordinate(pi.z, 2);
                int n_around = 0;
                if (cx > 0 && cx < nx - 1 && cy > 0 && cy < ny - 1 && cz > 0 && cz < nz - 1) {
                    const std::ptrdiff_t c = (std::ptrdiff_t(cz) * ny + cy) * nx + cx;
                    for (int k = 0; k < i_neighbor_cells; ++k) around[k] = std::size_t(c + step[k]);
                    n_around = i_neighbor_cells;
                } else {
                    // at a face the offsets wrap to the far side of the grid,
                    // and with fewer than three cells along an axis two
                    // offsets can reach the same cell
                    for (int k = 0; k < i_neighbor_cells; ++k) {
                        const glm::ivec3& o = neighbor_cells_xyz[std::size_t(k)];
                        int x = cx + o.x, y = cy + o.y, z = cz + o.z;
                        if (x >= nx) x = 0; else if (x < 0) x = nx - 1;
                        if (y >= ny) y = 0; else if (y < 0) y = ny - 1;
                        if (z >= nz) z = 0; else if (z < 0) z = nz - 1;
                        const std::size_t c =
                            (std::size_t(z) * std::size_t(ny) + std::size_t(y)) * std::size_t(nx) + std::size_t(x);
                        if (c >= u_cell_number) continue;
                        if (std::find(around, around + n_around, c) != around + n_around) continue;
                        around[n_around++] = c;
                    }
                }
                for (int k = 0; k < n_around; ++k) {
                    // each cell runs from its highest atom number down: stop at i
                    const CCellAtom* a = cells + start[around[k]];
                    const CCellAtom* const last = cells + start[around[k] + 1];
                    for (; a < last && a->atom > i; ++a) {
                        const glm::vec3 d = a->p - pi;
                        const float d2 = d.x * d.x + d.y * d.y + d.z * d.z;
                        if (d2 <= row[a->element] && double(d2) > 0.1) AppendBond(i, a->atom, pi, a->p, d, d2);
                    }
                }
            }
        }
    } catch (const std::bad_alloc&) {
        // out of memory while growing the records: the bonds found so far stay
        const std::size_t kept = std::min({v_bond_length.size(), m_bond_xyz.size(), m_bond_ang.size(), m_bond_indices.size()});
        v_bond_length.resize(kept);
        m_bond_xyz.resize(kept);
        m_bond_ang.resize(kept);
        m_bond_indices.resize(kept);
        i_number_of_bonds = unsigned(kept);
        std::printf("Out of memory after %u bonds; the remaining bonds are not shown\n", i_number_of_bonds);
    }
    is_bond_eval = true;
}
