// Front-to-back occlusion pass over a CPU depth buffer, one float per pixel.
// The GPU shades a pixel for a sphere when its centre lies in the sphere's
// disc, so the same rule decides here, with a little slack in the safe
// direction: an occludee counts every pixel it might cover, an occluder only
// the pixels it surely covers, at the farthest depth it may have there.
//
// Pixels only interact with themselves, so the window is cut into tiles that
// are done one after the other: what is drawn over a tile is sorted into it
// (nearest first), and the tile's depths stay in the first-level cache.
#include "cvisibility.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "elements.h"

namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kSlack = 1e-3f;  // relative, on radii: float rounding on the GPU side
constexpr int kTile = 64;        // pixels along a tile's side
constexpr int kBlock = 4;        // pixels along a block's side; a tile keeps each block's farthest depth
constexpr int kBlocks = kTile / kBlock;

// floor and ceil to int without the library calls that plain x86-64 needs;
// the range is cut to what a window can have
[[gnu::always_inline]] inline int Floor(float x)
{
    x = std::clamp(x, -1e7f, 1e7f);
    const int i = static_cast<int>(x);
    return i - (static_cast<float>(i) > x ? 1 : 0);
}

[[gnu::always_inline]] inline int Ceil(float x)
{
    return -Floor(-x);
}

// The pixels whose centres (i + 0.5) lie in [a, b], kept within [lo, hi].
struct Range {
    int lo = 0, hi = -1;
};

[[gnu::always_inline]] inline Range Centres(float a, float b, int lo, int hi)
{
    return {std::max(lo, Ceil(a - 0.5f)), std::min(hi, Floor(b - 0.5f))};
}

// The x range where the row at height y meets the band of half-width rho
// around the segment from a along d (a capsule), if it does.
bool CapsuleRow(glm::vec2 a, glm::vec2 d, float rho, float y, float& x0, float& x1)
{
    x0 = kInf;
    x1 = -kInf;
    // the two end discs
    for (const glm::vec2 c : {a, a + d}) {
        const float q = rho * rho - (y - c.y) * (y - c.y);
        if (q >= 0.0f) {
            const float h = std::sqrt(q);
            x0 = std::min(x0, c.x - h);
            x1 = std::max(x1, c.x + h);
        }
    }
    // the band between them: 0 <= (p - a).d <= |d|^2 and |(p - a) x d| <= rho |d|,
    // both linear in x along the row
    const float len2 = d.x * d.x + d.y * d.y;
    if (len2 > 0.0f) {
        float lo = -kInf, hi = kInf;
        const float ey = y - a.y;
        auto clip = [&](float k, float c, float min, float max) {  // min <= k x' + c <= max, x' = x - a.x
            if (k == 0.0f) {
                if (c < min || c > max)
                    hi = -kInf;
                return;
            }
            const float u = (min - c) / k, v = (max - c) / k;
            lo = std::max(lo, std::min(u, v));
            hi = std::min(hi, std::max(u, v));
        };
        clip(d.x, ey * d.y, 0.0f, len2);
        const float w = rho * std::sqrt(len2);
        clip(d.y, -ey * d.x, -w, w);
        if (lo <= hi) {
            x0 = std::min(x0, a.x + lo);
            x1 = std::max(x1, a.x + hi);
        }
    }
    return x0 <= x1;
}

// One tile's depths, with the farthest depth of each block: most hidden
// things are found behind one or two blocks without reading their pixels.
class CTile {
public:
    void Reset(int x0, int y0, int w, int h)
    {
        i_x0 = x0;
        i_y0 = y0;
        i_w = w;
        i_h = h;
        std::fill(std::begin(r_depth), std::end(r_depth), kInf);
        std::fill(std::begin(r_block), std::end(r_block), kInf);
        std::fill(std::begin(is_dirty), std::end(is_dirty), false);
    }
    Range Columns(float a, float b) const { return Centres(a, b, i_x0, i_x0 + i_w - 1); }
    Range Rows(float a, float b) const { return Centres(a, b, i_y0, i_y0 + i_h - 1); }
    // Row j (window pixels), from the tile's first column.
    float* Row(int j) { return r_depth + (j - i_y0) * kTile; }
    int X0() const { return i_x0; }

    // True when the blocks under the pixels `cols` x `rows` all lie behind `front`.
    bool BlocksBehind(Range cols, Range rows, float front)
    {
        for (int by = (rows.lo - i_y0) / kBlock; by <= (rows.hi - i_y0) / kBlock; ++by)
            for (int bx = (cols.lo - i_x0) / kBlock; bx <= (cols.hi - i_x0) / kBlock; ++bx)
                if (!(BlockMax(bx, by) < front))
                    return false;
        return true;
    }
    // After a write to row j, columns c: those blocks need their maximum again.
    void Touched(int j, Range c)
    {
        bool* row = is_dirty + (j - i_y0) / kBlock * kBlocks;
        for (int bx = (c.lo - i_x0) / kBlock; bx <= (c.hi - i_x0) / kBlock; ++bx)
            row[bx] = true;
    }

private:
    float BlockMax(int bx, int by)
    {
        const int b = by * kBlocks + bx;
        if (is_dirty[b]) {
            float m = -kInf;
            const int i1 = std::min(i_w, (bx + 1) * kBlock), j1 = std::min(i_h, (by + 1) * kBlock);
            for (int j = by * kBlock; j < j1; ++j)
                for (int i = bx * kBlock; i < i1; ++i)
                    m = std::max(m, r_depth[j * kTile + i]);
            r_block[b] = m;
            is_dirty[b] = false;
        }
        return r_block[b];
    }

    int i_x0 = 0, i_y0 = 0, i_w = 0, i_h = 0;
    float r_depth[kTile * kTile];
    float r_block[kBlocks * kBlocks];
    bool is_dirty[kBlocks * kBlocks];
};

}  // namespace

bool CVisibility::Update(const std::vector<glm::vec4>& atoms, unsigned drawn, const std::vector<glm::uvec2>* bonds,
                         float scale, float bond_radius, const glm::mat4& P, const glm::mat4& MV, glm::ivec2 frame,
                         unsigned version)
{
    drawn = std::min<unsigned>(drawn, static_cast<unsigned>(atoms.size()));
    if (is_valid && P == m_p && MV == m_mv && frame == m_frame && scale == r_scale && bond_radius == r_bond_radius &&
        drawn == u_drawn && version == u_version && bonds == m_bonds && is_culling == is_culled)
        return false;
    is_valid = true;
    is_culled = is_culling;
    m_p = P;
    m_mv = MV;
    m_frame = frame;
    r_scale = scale;
    r_bond_radius = bond_radius;
    u_drawn = drawn;
    u_version = version;
    m_bonds = bonds;
    v_atoms.clear();
    v_bonds.clear();
    if (!is_culling) {
        for (unsigned k = 0; k < drawn; ++k)
            v_atoms.push_back(k);
        for (unsigned b = 0; bonds && b < bonds->size(); ++b)
            v_bonds.push_back(b);
        return true;
    }

    // the pixel grid as seen from view space: window x = ax * x + bx, y = ay * y + by
    const int w = std::max(frame.x, 0), h = std::max(frame.y, 0);
    const float ax = 0.5f * static_cast<float>(w) * P[0][0], bx = 0.5f * static_cast<float>(w) * (1.0f + P[3][0]);
    const float ay = 0.5f * static_cast<float>(h) * P[1][1], by = 0.5f * static_cast<float>(h) * (1.0f + P[3][1]);
    if (w == 0 || h == 0 || !(ax > 0.0f) || !(ay > 0.0f) || P[2][2] == 0.0f)
        return true;
    // distances from the camera that the projection keeps, and the depth
    // buffer's step there (24 bits), as a margin for every comparison
    const float d_near = (P[3][2] + 1.0f) / P[2][2], d_far = (P[3][2] - 1.0f) / P[2][2];
    const float lo = std::min(d_near, d_far), hi = std::max(d_near, d_far);
    const float margin = 4.0f * (hi - lo) / 16777216.0f;

    // view-space centres, distances and radii; records past `drawn` only end bonds
    const size_t records = bonds ? atoms.size() : drawn;
    v_view.resize(records);
    float fmin = kInf, fmax = -kInf;
    for (size_t k = 0; k < records; ++k) {
        const glm::vec4& a = atoms[k];
        const glm::vec3 c = glm::vec3(MV * glm::vec4(glm::vec3(a), 1.0f));
        const int e = std::clamp(static_cast<int>(a.w), 0, static_cast<int>(periodic_table_atoms) - 1);
        const float r = k < drawn ? atom_rgbs[e].w * scale : 0.0f;
        v_view[k] = glm::vec4(c.x, c.y, -c.z, r);
        if (k < drawn && std::isfinite(c.x + c.y + c.z)) {
            fmin = std::min(fmin, -c.z - r);
            fmax = std::max(fmax, -c.z - r);
        }
    }

    // front to back by the sphere's nearest point, in buckets: the order only
    // makes the pass effective, it never makes it wrong
    const unsigned buckets = std::clamp(drawn / 4u, 1u, 65536u);
    const float to_bucket = fmax > fmin ? static_cast<float>(buckets) / (fmax - fmin) * 0.999f : 0.0f;
    v_count.assign(buckets + 1, 0);
    auto bucket = [&](unsigned k) {
        const glm::vec4& s = v_view[k];
        const float f = s.z - s.w - fmin;
        return std::isfinite(f + s.x + s.y) ? std::min(buckets - 1, static_cast<unsigned>(std::max(0.0f, f * to_bucket)))
                                            : buckets;
    };
    for (unsigned k = 0; k < drawn; ++k)
        ++v_count[bucket(k)];
    size_t sum = 0;
    for (size_t& c : v_count)
        sum += std::exchange(c, sum);
    auto sphere = [&](unsigned k) {
        const glm::vec4& s = v_view[k];
        return CSphere{ax * s.x + bx, ay * s.y + by, ax * s.w * (1.0f + kSlack), ay * s.w * (1.0f + kSlack), s.z,
                       s.w, k};
    };
    v_sorted.resize(drawn);
    for (unsigned k = 0; k < drawn; ++k)
        v_sorted[v_count[bucket(k)]++] = sphere(k);
    // atoms with a position that is not finite are not drawn at all
    const size_t finite = v_count[buckets - 1];

    // Each sphere goes to every tile its disc may reach, nearest first; the
    // same for the tubes.
    const int tiles_x = (w + kTile - 1) / kTile, tiles_y = (h + kTile - 1) / kTile;
    const size_t tiles = static_cast<size_t>(tiles_x) * static_cast<size_t>(tiles_y);
    auto each_tile = [&](float x0, float x1, float y0, float y1, auto f) {
        const Range c = Centres(x0, x1, 0, w - 1), r = Centres(y0, y1, 0, h - 1);
        if (c.lo > c.hi || r.lo > r.hi)
            return;
        for (int ty = r.lo / kTile; ty <= r.hi / kTile; ++ty)
            for (int tx = c.lo / kTile; tx <= c.hi / kTile; ++tx)
                f(static_cast<size_t>(ty) * static_cast<size_t>(tiles_x) + static_cast<size_t>(tx));
    };
    auto sphere_tiles = [&](const CSphere& s, auto f) { each_tile(s.cx - s.rx, s.cx + s.rx, s.cy - s.ry, s.cy + s.ry, f); };
    v_tile_spheres.assign(tiles + 1, 0);
    for (size_t n = 0; n < finite; ++n)
        sphere_tiles(v_sorted[n], [&](size_t t) { ++v_tile_spheres[t]; });
    sum = 0;
    for (size_t& c : v_tile_spheres)
        sum += std::exchange(c, sum);
    v_spheres.resize(sum);
    for (size_t n = 0; n < finite; ++n) {
        const CSphere& s = v_sorted[n];
        sphere_tiles(s, [&](size_t t) { v_spheres[v_tile_spheres[t]++] = s; });
    }

    // A tube lies within the band of its radius around the projected axis.
    const float rho = std::max(ax, ay) * bond_radius * (1.0f + kSlack) + 0.01f;
    const unsigned bond_count = bonds ? static_cast<unsigned>(bonds->size()) : 0u;
    auto tube = [&](unsigned b, CTube& t) {
        const glm::uvec2 ends = (*bonds)[b];
        if (ends.x >= records || ends.y >= records)
            return false;
        // only the part outside both spheres is drawn (a little more here)
        const glm::vec4 A = v_view[ends.x], B = v_view[ends.y];
        const float len = glm::length(glm::vec3(B) - glm::vec3(A));
        auto inside = [&](float r) {
            return len > 0.0f ? std::sqrt(std::max(r * r - bond_radius * bond_radius, 0.0f)) / len * (1.0f - kSlack) : 0.0f;
        };
        const float t0 = inside(A.w), t1 = 1.0f - inside(B.w);
        if (!(t0 < t1))
            return false;
        const glm::vec3 a = glm::mix(glm::vec3(A), glm::vec3(B), t0), e = glm::mix(glm::vec3(A), glm::vec3(B), t1);
        t = CTube{glm::vec2(ax * a.x + bx, ay * a.y + by), glm::vec2(ax * e.x + bx, ay * e.y + by),
                  std::min(a.z, e.z) - bond_radius - margin, b};
        return std::isfinite(t.front + t.a.x + t.a.y + t.e.x + t.e.y);
    };
    auto tube_tiles = [&](const CTube& t, auto f) {
        each_tile(std::min(t.a.x, t.e.x) - rho, std::max(t.a.x, t.e.x) + rho, std::min(t.a.y, t.e.y) - rho,
                  std::max(t.a.y, t.e.y) + rho, f);
    };
    v_tile_tubes.assign(tiles + 1, 0);
    CTube t;
    for (unsigned b = 0; b < bond_count; ++b)
        if (tube(b, t))
            tube_tiles(t, [&](size_t i) { ++v_tile_tubes[i]; });
    sum = 0;
    for (size_t& c : v_tile_tubes)
        sum += std::exchange(c, sum);
    v_tubes.resize(sum);
    for (unsigned b = 0; b < bond_count; ++b)
        if (tube(b, t))
            tube_tiles(t, [&](size_t i) { v_tubes[v_tile_tubes[i]++] = t; });

    // tile by tile; the bin ends now stand where the next tile's begin
    v_atom_seen.assign(drawn, 0);
    v_bond_seen.assign(bond_count, 0);
    CTile tile;
    for (size_t i = 0; i < tiles; ++i) {
        const int x0 = static_cast<int>(i % static_cast<size_t>(tiles_x)) * kTile;
        const int y0 = static_cast<int>(i / static_cast<size_t>(tiles_x)) * kTile;
        tile.Reset(x0, y0, std::min(kTile, w - x0), std::min(kTile, h - y0));
        for (size_t n = i > 0 ? v_tile_spheres[i - 1] : 0; n < v_tile_spheres[i]; ++n) {
            const CSphere& s = v_spheres[n];
            // every pixel the sphere may cover: hidden if all lie behind its front
            const float front = s.dist - s.radius - margin;
            const Range rows = tile.Rows(s.cy - s.ry, s.cy + s.ry);
            if (rows.lo > rows.hi || tile.BlocksBehind(tile.Columns(s.cx - s.rx, s.cx + s.rx), rows, front))
                continue;
            // One pass does both: the test, and the pixels the sphere surely
            // covers written at its farthest depth in each row. Where the row
            // is hidden the writes could change nothing, so they are skipped.
            // A sphere the near or far plane cuts is not drawn whole: no occluder.
            const bool occluder = s.dist - s.radius >= lo + margin && s.dist + s.radius <= hi - margin;
            const float shrink = (1.0f - kSlack) / (1.0f + kSlack);
            const float sx = s.rx * shrink, to_outer = 1.0f / s.ry, to_inner = 1.0f / (s.ry * shrink);
            bool seen = false;
            for (int j = rows.lo; j <= rows.hi; ++j) {
                const float y = static_cast<float>(j) + 0.5f - s.cy;
                const float dy = y * to_outer;
                const Range c = tile.Columns(s.cx - s.rx * std::sqrt(std::max(0.0f, 1.0f - dy * dy)),
                                             s.cx + s.rx * std::sqrt(std::max(0.0f, 1.0f - dy * dy)));
                float* row = tile.Row(j);
                bool row_seen = false;
                for (int x = c.lo - tile.X0(); x <= c.hi - tile.X0(); ++x)
                    row_seen |= !(row[x] < front);
                seen |= row_seen;
                const float di = y * to_inner, q = 1.0f - di * di;
                if (!row_seen || !occluder || q < 0.0f)
                    continue;
                const float hw = sx * std::sqrt(q);
                const Range w = tile.Columns(s.cx - hw, s.cx + hw);
                if (w.lo > w.hi)
                    continue;
                const float dx = std::max(s.cx - (static_cast<float>(w.lo) + 0.5f), static_cast<float>(w.hi) + 0.5f - s.cx) / sx;
                const float z = s.dist - s.radius * std::sqrt(std::max(0.0f, 1.0f - dx * dx - di * di)) +
                                s.radius * kSlack + margin;
                for (int x = w.lo - tile.X0(); x <= w.hi - tile.X0(); ++x)
                    row[x] = std::min(row[x], z);
                tile.Touched(j, w);
            }
            if (seen)
                v_atom_seen[s.k] = 1;
        }
        for (size_t n = i > 0 ? v_tile_tubes[i - 1] : 0; n < v_tile_tubes[i]; ++n) {
            const CTube& b = v_tubes[n];
            if (v_bond_seen[b.k])
                continue;
            const Range rows = tile.Rows(std::min(b.a.y, b.e.y) - rho, std::max(b.a.y, b.e.y) + rho);
            const Range cols = tile.Columns(std::min(b.a.x, b.e.x) - rho, std::max(b.a.x, b.e.x) + rho);
            if (rows.lo > rows.hi || cols.lo > cols.hi || tile.BlocksBehind(cols, rows, b.front))
                continue;
            bool hidden = true;
            for (int j = rows.lo; j <= rows.hi && hidden; ++j) {
                float x0 = 0.0f, x1 = 0.0f;
                if (!CapsuleRow(b.a, b.e - b.a, rho, static_cast<float>(j) + 0.5f, x0, x1))
                    continue;
                const Range c = tile.Columns(x0, x1);
                const float* row = tile.Row(j);
                for (int x = c.lo - tile.X0(); x <= c.hi - tile.X0(); ++x)
                    if (!(row[x] < b.front)) {
                        hidden = false;
                        break;
                    }
            }
            if (!hidden)
                v_bond_seen[b.k] = 1;
        }
    }

    for (size_t n = 0; n < finite; ++n)
        if (v_atom_seen[v_sorted[n].k])
            v_atoms.push_back(v_sorted[n].k);
    for (unsigned b = 0; b < bond_count; ++b)
        if (v_bond_seen[b])
            v_bonds.push_back(b);
    return true;
}
