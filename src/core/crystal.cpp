#include "core/crystal.h"

#include <algorithm>
#include <cmath>

#include "core/bond_search.h"
#include "core/elements.h"

namespace {

// The longest distance the criterion bonds for radius r, with a little to
// spare for rounding: the cut every search must cover.
double BondReach(float max_radius)
{
    return std::sqrt(1.2) * 2.0 * double(max_radius) * (1.0 + 1e-4) + 1e-6;
}

// Most images searched along one axis either way.
constexpr int MAX_REACH = 10;

// The image of atom j in cell s, as every periodic search places it.
inline glm::vec3 ImageOf(const CLattice& lattice, const std::vector<glm::vec3>& pos, unsigned j, const glm::ivec3& s)
{
    return pos[j] + lattice.Translation(s);
}

// The canonical form of a bond found from a to the image s of b.
inline CCrystalBond Canonical(unsigned a, unsigned b, const glm::ivec3& s)
{
    if (a < b)
        return {a, b, s};
    if (a > b)
        return {b, a, -s};
    const bool positive = s.x > 0 || (s.x == 0 && (s.y > 0 || (s.y == 0 && s.z > 0)));
    return {a, a, positive ? s : -s};
}

// The criterion on the canonical bond, in the arithmetic the model stores.
inline bool IsBonded(const CLattice& lattice, const std::vector<glm::vec3>& pos, const std::vector<unsigned>& elem,
                     const CCrystalBond& b)
{
    const glm::vec3 d = ImageOf(lattice, pos, b.j, b.image) - pos[b.i];
    return IsBondLength(d.x * d.x + d.y * d.y + d.z * d.z, BondLimit(elem[b.i], elem[b.j]));
}

// No image is met across an axis along which the structure does not repeat.
inline bool IsAlongPeriodicAxes(const CLattice& lattice, const glm::ivec3& image)
{
    for (int a = 0; a < 3; ++a)
        if (image[a] != 0 && !lattice.v_periodic[a])
            return false;
    return true;
}

// Fractional coordinates beyond this are so far out that a float position
// there cannot tell images apart; such atoms bond to nothing and stay put.
constexpr double FAR_OUT = 1e9;

struct GridAtom {
    glm::vec3 q;  // the position wrapped into the cell
    unsigned atom;
    unsigned element;
    glm::ivec3 shift;  // the cell the atom lies in: q is its position minus this cell's translation
};

constexpr double PI = 3.14159265358979323846;

// cos and sin of an angle in degrees, exact at right angles (cos(pi / 2) in
// floating point is 6e-17, not 0)
double CosDegrees(double angle)
{
    return angle == 90.0 ? 0.0 : std::cos(angle * PI / 180.0);
}
double SinDegrees(double angle)
{
    return angle == 90.0 ? 1.0 : std::sin(angle * PI / 180.0);
}

}  // namespace

void CellParameters(const glm::dmat3& cell, double p[6])
{
    const glm::dvec3 a = cell[0], b = cell[1], c = cell[2];
    p[0] = glm::length(a);
    p[1] = glm::length(b);
    p[2] = glm::length(c);
    auto angle = [](const glm::dvec3& u, const glm::dvec3& v) {
        const double cosine = glm::dot(u, v) / (glm::length(u) * glm::length(v));
        return std::acos(std::fmax(-1.0, std::fmin(1.0, cosine))) * 180.0 / PI;
    };
    p[3] = angle(b, c);
    p[4] = angle(a, c);
    p[5] = angle(a, b);
}

bool CellFromParameters(const double p[6], glm::dmat3& cell)
{
    for (int k = 0; k < 6; ++k)
        if (!std::isfinite(p[k]))
            return false;
    if (!(p[0] > 0 && p[1] > 0 && p[2] > 0))
        return false;
    for (int k = 3; k < 6; ++k)
        if (!(p[k] > 0 && p[k] < 180))
            return false;
    const double ca = CosDegrees(p[3]), cb = CosDegrees(p[4]);
    const double cg = CosDegrees(p[5]), sg = SinDegrees(p[5]);
    const double cx = p[2] * cb, cy = p[2] * (ca - cb * cg) / sg;
    const double cz2 = p[2] * p[2] - cx * cx - cy * cy;
    if (!(cz2 > 0))
        return false;
    cell = glm::dmat3(0.0);
    cell[0] = glm::dvec3(p[0], 0.0, 0.0);
    cell[1] = glm::dvec3(p[1] * cg, p[1] * sg, 0.0);
    cell[2] = glm::dvec3(cx, cy, std::sqrt(cz2));
    return true;
}

CLattice::CLattice(const glm::dmat3& cell, const glm::dvec3& origin, const glm::bvec3& periodic)
    : m_cell(cell), v_origin(origin), v_periodic(periodic)
{
    const double det = glm::determinant(cell);
    bool finite = std::isfinite(det) && det != 0.0;
    if (finite)
        m_inverse = glm::inverse(cell);
    for (int a = 0; a < 3 && finite; ++a) {
        // row a of the inverse is the normal of the planes of constant
        // fractional coordinate a, scaled by one over their spacing
        const glm::dvec3 row(m_inverse[0][a], m_inverse[1][a], m_inverse[2][a]);
        const double l = glm::length(row);
        finite = std::isfinite(l) && l > 0.0;
        if (finite)
            v_plane[a] = 1.0 / l;
    }
    is_usable = finite && v_plane.x > 1e-6 && v_plane.y > 1e-6 && v_plane.z > 1e-6;
}

glm::ivec3 CLattice::Reach(double r) const
{
    glm::ivec3 k(0);
    for (int a = 0; a < 3; ++a)
        k[a] = int(std::min(double(1 << 20), std::ceil(r / v_plane[a])));
    return k;
}

bool IsPeriodicSearchable(const CLattice& lattice, std::size_t atoms, float max_radius)
{
    if (!lattice.is_usable)
        return false;
    const double reach = BondReach(max_radius);
    const glm::ivec3 k = lattice.Reach(reach);
    if (k.x > MAX_REACH || k.y > MAX_REACH || k.z > MAX_REACH)
        return false;
    // atoms expected within bonding reach of one atom
    const double volume = std::fabs(glm::determinant(lattice.m_cell));
    const double around = double(atoms) / volume * 4.18879 * reach * reach * reach;
    return around <= 500.0;
}

void FindPeriodicBonds(const CLattice& lattice, const std::vector<glm::vec3>& pos, const std::vector<unsigned>& elem,
                       float max_radius, std::vector<CCrystalBond>& out)
{
    out.clear();
    const std::size_t n = std::min(pos.size(), elem.size());
    if (n == 0 || !lattice.is_usable)
        return;
    const double reach = BondReach(max_radius);

    // Grid over fractional coordinates: each cell at least `reach` thick
    // between its faces, at most a few cells per atom.
    glm::ivec3 side;
    for (int a = 0; a < 3; ++a)
        side[a] = int(std::max(1.0, std::min(double(1 << 10), std::floor(lattice.v_plane[a] / reach))));
    const double max_cells = 4.0 * double(n) + 64.0;
    while (double(side.x) * side.y * side.z > max_cells) {
        int& big = side.x >= side.y && side.x >= side.z ? side.x : side.y >= side.z ? side.y : side.z;
        big = std::max(1, big * 3 / 4);
    }
    // cells a bonded pair can lie apart along each axis
    glm::ivec3 k;
    for (int a = 0; a < 3; ++a)
        k[a] = std::max(1, int(std::ceil(reach * side[a] / lattice.v_plane[a] - 1e-9)));
    const std::size_t cells = std::size_t(side.x) * side.y * side.z;

    // the atoms wrapped into the cell, cell after cell
    std::vector<unsigned> cell_of(n);
    std::vector<glm::ivec3> shift_of(n);
    std::vector<unsigned> start(cells + 1, 0);
    for (std::size_t i = 0; i < n; ++i) {
        const glm::dvec3 f = lattice.Fractional(pos[i]);
        glm::ivec3 c, s;
        for (int a = 0; a < 3; ++a) {
            const double whole = std::isfinite(f[a]) ? std::floor(f[a]) : 0.0;
            double w = f[a] - whole;
            s[a] = int(std::max(-1e9, std::min(1e9, whole)));
            // just below a whole number the difference may round up to 1
            if (!(w >= 0.0 && w < 1.0)) {
                w = 0.0;
                s[a] += 1;
            }
            c[a] = std::min(side[a] - 1, int(w * side[a]));
        }
        cell_of[i] = unsigned((std::size_t(c.z) * side.y + c.y) * side.x + c.x);
        shift_of[i] = s;
        if (!IsDummy(elem[i]))
            ++start[cell_of[i] + 1];
    }
    for (std::size_t c = 0; c < cells; ++c)
        start[c + 1] += start[c];
    std::vector<GridAtom> grid(start[cells]);
    {
        std::vector<unsigned> fill(start.begin(), start.end() - 1);
        for (std::size_t i = 0; i < n; ++i) {
            if (IsDummy(elem[i]))
                continue;
            const glm::ivec3 s = shift_of[i];
            grid[fill[cell_of[i]]++] = GridAtom{pos[i] - lattice.Translation(s), unsigned(i), elem[i], s};
        }
    }

    // half of the offsets: each pair of cells (and images) is met once
    std::vector<glm::ivec3> offsets;
    for (int z = -k.z; z <= k.z; ++z)
        for (int y = -k.y; y <= k.y; ++y)
            for (int x = -k.x; x <= k.x; ++x) {
                const glm::ivec3 o(x, y, z);
                if (o.z > 0 || (o.z == 0 && (o.y > 0 || (o.y == 0 && o.x >= 0))))
                    offsets.push_back(o);
            }
    // translations of the images the offsets reach, indexed from -K to K cells
    const glm::ivec3 span = k / side + 1;
    auto image_slot = [&](const glm::ivec3& t) {
        return std::size_t(((t.z + span.z) * (2 * span.y + 1) + (t.y + span.y)) * (2 * span.x + 1) + (t.x + span.x));
    };
    std::vector<glm::vec3> shift(std::size_t(2 * span.x + 1) * (2 * span.y + 1) * (2 * span.z + 1));
    for (int z = -span.z; z <= span.z; ++z)
        for (int y = -span.y; y <= span.y; ++y)
            for (int x = -span.x; x <= span.x; ++x)
                shift[image_slot({x, y, z})] = lattice.Translation({x, y, z});

    float limit[periodic_table_atoms][periodic_table_atoms];
    for (unsigned a = 0; a < periodic_table_atoms; ++a)
        for (unsigned b = 0; b < periodic_table_atoms; ++b)
            limit[a][b] = float(double(BondLimit(a, b)) * (1.0 + 1e-3) + 1e-3);

    auto floordiv = [](int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); };
    auto found = [&](const GridAtom& a, const GridAtom& b, const glm::ivec3& t) {
        // the image offset between the atoms as stored, then the exact test
        const CCrystalBond bond = Canonical(a.atom, b.atom, t - b.shift + a.shift);
        if (IsAlongPeriodicAxes(lattice, bond.image) && IsBonded(lattice, pos, elem, bond))
            out.push_back(bond);
    };

    for (int cz = 0; cz < side.z; ++cz)
        for (int cy = 0; cy < side.y; ++cy)
            for (int cx = 0; cx < side.x; ++cx) {
                const std::size_t ca = (std::size_t(cz) * side.y + cy) * side.x + cx;
                const GridAtom* a0 = grid.data() + start[ca];
                const GridAtom* a1 = grid.data() + start[ca + 1];
                if (a0 == a1)
                    continue;
                for (const glm::ivec3& o : offsets) {
                    const glm::ivec3 u(cx + o.x, cy + o.y, cz + o.z);
                    const glm::ivec3 t(floordiv(u.x, side.x), floordiv(u.y, side.y), floordiv(u.z, side.z));
                    const glm::ivec3 w = u - t * side;
                    const std::size_t cb = (std::size_t(w.z) * side.y + w.y) * side.x + w.x;
                    const GridAtom* b0 = grid.data() + start[cb];
                    const GridAtom* b1 = grid.data() + start[cb + 1];
                    if (b0 == b1)
                        continue;
                    const glm::vec3 tv = shift[image_slot(t)];
                    const bool same = o == glm::ivec3(0);
                    for (const GridAtom* a = a0; a < a1; ++a) {
                        const glm::vec3 qa = a->q - tv;  // so that b needs no shift
                        const float* row = limit[a->element];
                        for (const GridAtom* b = same ? a + 1 : b0; b < b1; ++b) {
                            const glm::vec3 d = b->q - qa;
                            const float d2 = d.x * d.x + d.y * d.y + d.z * d.z;
                            if (d2 <= row[b->element])
                                found(*a, *b, t);
                        }
                    }
                }
            }
}

void FindPeriodicBondsOf(const CLattice& lattice, unsigned u, const std::vector<glm::vec3>& pos,
                         const std::vector<unsigned>& elem, std::vector<CCrystalBond>& out)
{
    out.clear();
    const std::size_t n = std::min(pos.size(), elem.size());
    if (u >= n || IsDummy(elem[u]) || !lattice.is_usable)
        return;
    float max_radius = 0.0f;
    for (unsigned e : elem)
        max_radius = std::max(max_radius, atom_rgbs[e][3]);
    const double reach = BondReach(max_radius);
    glm::dvec3 r;
    for (int a = 0; a < 3; ++a)
        r[a] = reach / lattice.v_plane[a];
    for (std::size_t j = 0; j < n; ++j) {
        if (IsDummy(elem[j]))
            continue;
        const glm::dvec3 f = lattice.m_inverse * (glm::dvec3(pos[j]) - glm::dvec3(pos[u]));
        glm::ivec3 lo, hi;
        bool far = false;
        for (int a = 0; a < 3; ++a) {
            // in double before the conversion: a far-out atom would not fit an int
            if (!(std::fabs(f[a]) < FAR_OUT))
                far = true;
            if (far)
                break;
            const double reach_a = lattice.v_periodic[a] ? r[a] : 0.0;
            lo[a] = int(std::ceil(-f[a] - reach_a));
            hi[a] = int(std::floor(-f[a] + reach_a));
            if (!lattice.v_periodic[a])
                lo[a] = hi[a] = 0;
        }
        if (far)
            continue;
        for (int z = lo.z; z <= hi.z; ++z)
            for (int y = lo.y; y <= hi.y; ++y)
                for (int x = lo.x; x <= hi.x; ++x) {
                    const glm::ivec3 s(x, y, z);
                    if (j == u && s == glm::ivec3(0))
                        continue;
                    const CCrystalBond b = Canonical(u, unsigned(j), s);
                    // an atom's bond with its own image is met as s and -s
                    if (j == u && b.image != s)
                        continue;
                    if (IsBonded(lattice, pos, elem, b))
                        out.push_back(b);
                }
    }
}

std::vector<glm::ivec3> WrapShifts(const CLattice& lattice, const std::vector<glm::vec3>& pos, std::size_t* far_out)
{
    std::vector<glm::ivec3> shifts(pos.size(), glm::ivec3(0));
    if (far_out != nullptr)
        *far_out = 0;
    if (!lattice.is_usable)
        return shifts;
    for (std::size_t i = 0; i < pos.size(); ++i) {
        const glm::dvec3 f = lattice.Fractional(pos[i]);
        glm::ivec3 s(0);
        glm::bvec3 movable = lattice.v_periodic;
        for (int a = 0; a < 3; ++a) {
            if (!movable[a])
                continue;
            movable[a] = std::isfinite(f[a]) && std::fabs(f[a]) < FAR_OUT;
            if (movable[a])
                s[a] = -int(std::floor(f[a]));
        }
        if (movable != lattice.v_periodic && far_out != nullptr)
            ++*far_out;
        // a coordinate just below 0 may round onto the far face
        const glm::dvec3 g = lattice.Fractional(pos[i] + lattice.Translation(s));
        for (int a = 0; a < 3; ++a)
            if (movable[a] && g[a] >= 1.0)
                --s[a];
        shifts[i] = s;
    }
    return shifts;
}

unsigned char CCopies::FaceBits(const CLattice& lattice, const glm::vec3& p)
{
    const glm::dvec3 f = lattice.Fractional(p);
    unsigned char bits = 0;
    for (int a = 0; a < 3; ++a) {
        if (!lattice.v_periodic[a])
            continue;
        if (std::fabs(f[a]) <= BOUNDARY)
            bits |= (unsigned char)(1u << a);
        if (std::fabs(f[a] - 1.0) <= BOUNDARY)
            bits |= (unsigned char)(8u << a);
    }
    return bits;
}

void CCopies::CountFaces(const CLattice& lattice, const std::vector<glm::vec3>& pos, bool boundary)
{
    v_face_count.fill(0);
    for (const glm::vec3& p : pos)
        ++v_face_count[boundary && lattice.is_usable ? FaceBits(lattice, p) : 0];
}

double CCopies::CopyCount(const glm::ivec3& repeat) const
{
    double total = 0.0;
    for (unsigned bits = 0; bits < v_face_count.size(); ++bits) {
        if (v_face_count[bits] == 0)
            continue;
        double per_atom = 1.0;
        for (int a = 0; a < 3; ++a)
            per_atom *= double(repeat[a] + ((bits >> a) & 1u) + ((bits >> (a + 3)) & 1u));
        total += per_atom * double(v_face_count[bits]);
    }
    return total;
}

void CCopies::Build(const CLattice& lattice, const std::vector<glm::vec3>& pos, const glm::ivec3& repeat, bool boundary)
{
    repeat_cells = glm::clamp(repeat, glm::ivec3(1), glm::ivec3(10));
    v_face.assign(pos.size(), 0);
    v_copies.clear();
    for (std::size_t i = 0; i < pos.size(); ++i) {
        if (boundary && lattice.is_usable)
            v_face[i] = FaceBits(lattice, pos[i]);
        // per axis the cells the atom is drawn in; the original's cell first
        int along[3][12];
        int count[3];
        for (int a = 0; a < 3; ++a) {
            count[a] = 0;
            for (int c = 0; c < repeat_cells[a]; ++c)
                along[a][count[a]++] = c;
            if (v_face[i] & (1u << a))
                along[a][count[a]++] = repeat_cells[a];
            if (v_face[i] & (8u << a))
                along[a][count[a]++] = -1;
        }
        for (int z = 0; z < count[2]; ++z)
            for (int y = 0; y < count[1]; ++y)
                for (int x = 0; x < count[0]; ++x)
                    v_copies.push_back(CAtomCopy{unsigned(i), glm::ivec3(along[0][x], along[1][y], along[2][z])});
    }
}

int CCopies::CopyIndex(unsigned atom, const glm::ivec3& cell) const
{
    if (atom >= v_face.size())
        return -1;
    // the per-axis lists of Build: 0 .. n-1, then n when near 0, then -1 when near 1
    int index = 0, stride = 1;
    for (int a = 0; a < 3; ++a) {
        const int n = repeat_cells[a], c = cell[a];
        const bool low = v_face[atom] & (1u << a), high = v_face[atom] & (8u << a);
        int at;
        if (c >= 0 && c < n)
            at = c;
        else if (c == n && low)
            at = n;
        else if (c == -1 && high)
            at = n + (low ? 1 : 0);
        else
            return -1;
        index += at * stride;
        stride *= n + (low ? 1 : 0) + (high ? 1 : 0);
    }
    return index;
}

void BuildCrystalScene(const CLattice& lattice, const std::vector<glm::vec3>& pos, const std::vector<glm::uvec2>& pairs,
                       const std::vector<glm::ivec3>& images, unsigned bonds, const CCopies& copies, CCrystalScene& out)
{
    const std::size_t n = pos.size();
    out.v_xyz.clear();
    out.v_atom.clear();
    out.v_pairs.clear();
    // v_copies is grouped by atom, the original first in each group
    std::vector<std::size_t> first(n + 1, 0);
    for (const CAtomCopy& c : copies.v_copies)
        if (c.atom < n)
            ++first[c.atom + 1];
    for (std::size_t i = 0; i < n; ++i)
        first[i + 1] += first[i];
    if (first[n] != copies.v_copies.size() || first[n] < n)
        return;  // copies of another structure
    out.v_xyz.resize(first[n]);
    out.v_atom.resize(first[n]);
    auto drawn = [&](std::size_t atom, std::size_t local) {
        return local == 0 ? atom : n + first[atom] - atom + local - 1;
    };
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t c = first[i]; c < first[i + 1]; ++c) {
            const std::size_t at = drawn(i, c - first[i]);
            out.v_xyz[at] = pos[i] + lattice.Translation(copies.v_copies[c].cell);
            out.v_atom[at] = unsigned(i);
        }
    out.u_drawn = unsigned(out.v_xyz.size());
    auto half = [&](std::size_t from, const glm::vec3& other) {
        out.v_pairs.push_back(glm::uvec2(unsigned(from), unsigned(out.v_xyz.size())));
        out.v_xyz.push_back((out.v_xyz[from] + other) * 0.5f);
    };
    const std::size_t records = std::min<std::size_t>({bonds, pairs.size(), images.size()});
    out.v_pairs.reserve(records * (first[n] / n) + 16);
    for (std::size_t k = 0; k < records; ++k) {
        const unsigned i = pairs[k].x, j = pairs[k].y;
        const glm::ivec3 s = images[k];
        if (i >= n || j >= n)
            continue;
        for (std::size_t c = first[i]; c < first[i + 1]; ++c) {
            const glm::ivec3 t = copies.v_copies[c].cell;
            const std::size_t a = drawn(i, c - first[i]);
            const int other = copies.CopyIndex(j, t + s);
            if (other >= 0)
                out.v_pairs.push_back(glm::uvec2(unsigned(a), unsigned(drawn(j, std::size_t(other)))));
            else
                half(a, pos[j] + lattice.Translation(t + s));
        }
        for (std::size_t c = first[j]; c < first[j + 1]; ++c) {
            const glm::ivec3 t = copies.v_copies[c].cell;
            if (copies.HasCopy(i, t - s))
                continue;  // drawn whole from i's side
            half(drawn(j, c - first[j]), pos[i] + lattice.Translation(t - s));
        }
    }
}
