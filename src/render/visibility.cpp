// Front-to-back occlusion pass over a CPU depth buffer, one float per pixel
// (the tests of one pixel against a thing: render/pixel_tests.h).
//
// Pixels only interact with themselves, so the window is cut into tiles,
// shared by two threads (render/two_threads.h), each doing its tiles one
// after the other: what is drawn over a tile is sorted into it (nearest
// first), and the tile's depths stay in the first-level cache while it is
// done. Band by band of tiles, what is found goes to the GPU while the rest is
// looked for. The depths are kept: the bonds are tested after the atoms, while
// the GPU still draws those.
#include "render/visibility.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <exception>
#include <limits>
#include <new>
#include <utility>

#include "core/elements.h"
#include "render/two_threads.h"

using namespace pixel_tests;
using namespace two_threads;

namespace {

constexpr size_t PART_MIN = 1024;              // atoms or bonds found before the GPU gets them
constexpr unsigned char SEEN = 1, LISTED = 2;  // of an atom: a pixel may show; and it is in the list
// pixels of radius above which an atom is drawn over the box where it may
// show: below it the box's second triangle costs more than it spares
constexpr float BOXED_RADIUS = 3.0f;
// cosine of the largest turn of the line of sight after which the last
// sort's order is still used (about 3 degrees)
constexpr float SAME_ORDER = 0.9986f;
constexpr unsigned NONE = std::numeric_limits<unsigned>::max();  // no place in an order

// Counts per bin to where each bin starts; returns the total.
size_t StartsOfBins(std::vector<size_t>& count)
{
    size_t sum = 0;
    for (size_t& c : count)
        sum += std::exchange(c, sum);
    return sum;
}

// The numbers 0 to count - 1 into `order` by key(n), least first, in buckets
// over [lo, hi] (keys that are not finite last): near keys may come in either
// order, which makes the pass only a little less effective, never wrong.
template <class Key>
void BucketOrder(unsigned count, float lo, float hi, Key key, std::vector<size_t>& bins, std::vector<unsigned>& order)
{
    const unsigned buckets = std::clamp(count / 4u, 1u, 65536u);
    const float to_bucket = hi > lo ? static_cast<float>(buckets) / (hi - lo) * 0.999f : 0.0f;
    auto bucket = [&](unsigned n) {
        const float f = key(n) - lo;
        return std::isfinite(f) ? std::min(buckets - 1, static_cast<unsigned>(std::max(0.0f, f * to_bucket))) : buckets;
    };
    bins.assign(buckets + 1, 0);
    for (unsigned n = 0; n < count; ++n)
        ++bins[bucket(n)];
    StartsOfBins(bins);
    order.resize(count);
    for (unsigned n = 0; n < count; ++n)
        order[bins[bucket(n)]++] = n;
}

// Calls f(tile number) for the tiles of a w x h window (tiles_x across)
// that the pixel box [x0, x1] x [y0, y1] reaches.
template <class F>
void EachTile(int w, int h, int tiles_x, float x0, float x1, float y0, float y1, F f)
{
    const Range c = Centres(x0, x1, 0, w - 1), r = Centres(y0, y1, 0, h - 1);
    if (c.lo > c.hi || r.lo > r.hi)
        return;
    for (int ty = r.lo / TILE; ty <= r.hi / TILE; ++ty)
        for (int tx = c.lo / TILE; tx <= c.hi / TILE; ++tx)
            f(static_cast<size_t>(ty) * static_cast<size_t>(tiles_x) + static_cast<size_t>(tx));
}

// Every record counts as shown; when even that list finds no memory, none.
void ListAll(std::vector<unsigned>& list, size_t count)
{
    list.clear();
    try {
        list.reserve(count);
        for (size_t k = 0; k < count; ++k)
            list.push_back(static_cast<unsigned>(k));
    } catch (const std::exception&) {
        list.clear();
        list.shrink_to_fit();
    }
}

}  // namespace

void CVisibility::OutOfMemory()
{
    // the pass's own copies go, and everything is drawn until a later view fits
    for (auto* v : {&v_depth, &v_block, &v_depth_atoms})
        std::vector<float>().swap(*v);
    std::vector<unsigned>().swap(v_order);
    std::vector<unsigned>().swap(v_bonds_other);
    std::vector<unsigned char>().swap(v_keep);
    std::vector<unsigned>().swap(v_atom_order);
    std::vector<unsigned>().swap(v_atom_rank);
    std::vector<unsigned>().swap(v_bond_rank);
    is_order_valid = is_bond_order_valid = false;
    u_saved_generation = 0;
    std::vector<glm::vec4>().swap(v_view);
    std::vector<ScreenSphere>().swap(v_sorted);
    std::vector<ScreenSphere>().swap(v_spheres);
    std::vector<ScreenTube>().swap(v_tubes);
    std::vector<ScreenTube>().swap(v_found);
    std::vector<ScreenTube>().swap(v_unsorted);
    std::vector<size_t>().swap(v_count);
    for (auto* v : {&v_dirty, &v_atom_seen, &v_bond_seen})
        std::vector<unsigned char>().swap(*v);
    std::vector<glm::ivec4>().swap(v_box);
    v_boxed.clear();
    is_all_shown = true;
    if (!is_out_of_memory)
        std::printf("Out of memory while finding what the view shows; everything is drawn\n");
    is_out_of_memory = true;
}

pixel_tests::ScreenSphere CVisibility::SphereOf(unsigned k) const
{
    const glm::vec4& s = v_view[k];
    const CGrid& g = m_grid;
    return ScreenSphere{g.ax * s.x + g.bx,
                        g.ay * s.y + g.by,
                        g.ax * s.w * (1.0f + SLACK) + PIXEL_SLACK,
                        g.ay * s.w * (1.0f + SLACK) + PIXEL_SLACK,
                        s.z,
                        s.w,
                        k};
}

bool CVisibility::FindAtoms(const std::vector<glm::vec4>& atoms, unsigned drawn, float scale, const glm::mat4& P,
                            const glm::mat4& MV, glm::ivec2 frame, unsigned version, const CPartFound& part)
{
    drawn = std::min<unsigned>(drawn, static_cast<unsigned>(atoms.size()));
    if (is_valid && P == m_p && MV == m_mv && frame == m_frame && scale == r_scale && drawn == u_drawn &&
        atoms.size() == u_records && version == u_version && is_culling == is_culled && is_boxing == is_boxed)
        return false;
    is_valid = true;
    is_culled = is_culling;
    is_boxed = is_boxing;
    m_p = P;
    m_mv = MV;
    m_frame = frame;
    r_scale = scale;
    u_drawn = drawn;
    u_records = atoms.size();
    u_version = version;
    ++u_generation;
    is_all_shown = !is_culling;
    if (!is_all_shown) {
        try {
            AtomsOfView(atoms, drawn, scale, P, frame, part);
            is_out_of_memory = false;
            return true;
        } catch (const std::exception&) {
            OutOfMemory();
        }
    }
    ListAll(v_atoms, drawn);
    v_boxed.clear();
    if (part)
        part(0, v_atoms.size());
    return true;
}

void CVisibility::AtomsOfView(const std::vector<glm::vec4>& atoms, unsigned drawn, float scale, const glm::mat4& P,
                              glm::ivec2 frame, const CPartFound& part)
{
    const glm::mat4& MV = m_mv;
    v_atoms.clear();
    v_boxed.clear();
    // the pixel grid as seen from view space: window x = ax * x + bx, y = ay * y + by
    CGrid& g = m_grid;
    g = CGrid{};
    g.i_w = std::max(frame.x, 0);
    g.i_h = std::max(frame.y, 0);
    g.ax = 0.5f * static_cast<float>(g.i_w) * P[0][0];
    g.bx = 0.5f * static_cast<float>(g.i_w) * (1.0f + P[3][0]);
    g.ay = 0.5f * static_cast<float>(g.i_h) * P[1][1];
    g.by = 0.5f * static_cast<float>(g.i_h) * (1.0f + P[3][1]);
    if (g.i_w == 0 || g.i_h == 0 || !(g.ax > 0.0f) || !(g.ay > 0.0f) || P[2][2] == 0.0f) {
        g.i_w = g.i_h = 0;
        if (part)
            part(0, 0);
        return;
    }
    // distances from the camera that the projection keeps, and the depth
    // buffer's step there (24 bits), as a margin for every comparison
    const float d_near = (P[3][2] + 1.0f) / P[2][2], d_far = (P[3][2] - 1.0f) / P[2][2];
    g.lo = std::min(d_near, d_far);
    g.hi = std::max(d_near, d_far);
    g.margin = 4.0f * (g.hi - g.lo) / 16777216.0f;
    g.i_tiles_x = (g.i_w + TILE - 1) / TILE;
    const size_t tiles = static_cast<size_t>(g.i_tiles_x) * static_cast<size_t>((g.i_h + TILE - 1) / TILE);
    const float lo = g.lo, hi = g.hi, margin = g.margin;

    // view-space centres, distances and radii of all records, for the bonds too
    v_view.resize(atoms.size());
    float side_min[2] = {INF, INF}, side_max[2] = {-INF, -INF};
    auto to_view = [&](size_t begin, size_t end, size_t side) {
        for (size_t k = begin; k < end; ++k) {
            const glm::vec4& a = atoms[k];
            const glm::vec3 c = glm::vec3(MV * glm::vec4(glm::vec3(a), 1.0f));
            const int e = std::clamp(static_cast<int>(a.w), 0, static_cast<int>(species_count) - 1);
            const float r = k < drawn ? atom_rgbs[e].w * scale : 0.0f;
            v_view[k] = glm::vec4(c.x, c.y, -c.z, r);
            if (k < drawn && std::isfinite(c.x + c.y + c.z)) {
                side_min[side] = std::min(side_min[side], -c.z - r);
                side_max[side] = std::max(side_max[side], -c.z - r);
            }
        }
    };
    if (!InTwoHalves(atoms.size(), split_from, to_view))
        throw std::bad_alloc();
    const float fmin = std::min(side_min[0], side_min[1]), fmax = std::max(side_max[0], side_max[1]);

    // Front to back by the sphere's nearest point: the record numbers sorted
    // in buckets, or the last frame's order while the line of sight turned
    // only a little. The order only makes the pass effective, never wrong.
    m_view_axis = glm::vec3(MV[0][2], MV[1][2], MV[2][2]);
    m_view_axis /= std::max(glm::length(m_view_axis), 1e-30f);
    if (!(is_order_valid && u_order_version == u_version && u_order_drawn == drawn && u_order_records == atoms.size() &&
          glm::dot(m_view_axis, m_order_axis) > SAME_ORDER)) {
        auto front = [&](unsigned k) {
            const glm::vec4& s = v_view[k];
            return std::isfinite(s.x + s.y) ? s.z - s.w : INF;
        };
        BucketOrder(drawn, fmin, fmax, front, v_count, v_atom_order);
        v_atom_rank.resize(drawn);
        for (unsigned n = 0; n < drawn; ++n)
            v_atom_rank[v_atom_order[n]] = n;
        is_order_valid = true;
        m_order_axis = m_view_axis;
        u_order_version = u_version;
        u_order_drawn = drawn;
        u_order_records = atoms.size();
    }
    // Each sphere to its place in the order, the records read one after the
    // other: gathering them in the order missed the cache on nearly every
    // atom. Atoms with a position that is not finite are not drawn at all.
    v_sorted.resize(drawn);
    bool side_gaps[2] = {false, false};
    auto place = [&](size_t begin, size_t end, size_t side) {
        for (size_t k = begin; k < end; ++k) {
            const glm::vec4& s = v_view[k];
            ScreenSphere& to = v_sorted[v_atom_rank[k]];
            if (std::isfinite(s.x + s.y + s.z)) {
                to = SphereOf(static_cast<unsigned>(k));
            } else {
                to.k = NONE;
                side_gaps[side] = true;
            }
        }
    };
    if (!InTwoHalves(drawn, split_from, place))
        throw std::bad_alloc();
    if (side_gaps[0] || side_gaps[1])
        v_sorted.erase(
            std::remove_if(v_sorted.begin(), v_sorted.end(), [](const ScreenSphere& s) { return s.k == NONE; }),
            v_sorted.end());
    const size_t finite = v_sorted.size();

    // each sphere goes to every tile its disc may reach, nearest first
    auto sphere_tiles = [&](const ScreenSphere& s, auto f) {
        EachTile(g.i_w, g.i_h, g.i_tiles_x, s.cx - s.rx, s.cx + s.rx, s.cy - s.ry, s.cy + s.ry, f);
    };
    BinInTwoHalves(v_sorted, tiles, split_from, sphere_tiles, v_tile_spheres, v_count, v_spheres);

    // tile by tile; the bin ends now stand where the next tile's begin
    v_depth.assign(tiles * TILE * TILE, INF);
    v_block.assign(tiles * BLOCKS * BLOCKS, INF);
    v_dirty.assign(tiles * BLOCKS * BLOCKS, 0);
    v_atom_seen.assign(drawn, 0);
    // boxes only in windows whose pixels they fit, and only if an atom is large enough
    const bool boxing = is_boxing && g.i_w <= 65536 && g.i_h <= 65536 &&
                        std::any_of(v_sorted.begin(), v_sorted.begin() + static_cast<std::ptrdiff_t>(finite),
                                    [](const ScreenSphere& s) { return s.rx > BOXED_RADIUS; });
    // per atom and side of the pass, the box of the pixels where it may
    // show, empty to begin with: both sides may see parts of one atom
    if (boxing)
        v_box.assign(2 * static_cast<size_t>(drawn),
                     glm::ivec4(std::numeric_limits<int>::max(), std::numeric_limits<int>::max(),
                                std::numeric_limits<int>::min(), std::numeric_limits<int>::min()));
    // After a band of tiles, the atoms whose last tiles it holds are final:
    // those seen go to the list, and when enough have gathered, to the GPU.
    const size_t tiles_x = static_cast<size_t>(g.i_tiles_x);
    size_t reported = 0;
    auto band_done = [&](size_t band) {
        const size_t begin = band > 0 ? v_tile_spheres[band * tiles_x - 1] : 0;
        for (size_t n = begin; n < v_tile_spheres[(band + 1) * tiles_x - 1]; ++n) {
            const ScreenSphere& s = v_spheres[n];
            // (an atom that reaches a later band may still be marked by the other thread)
            if (Centres(s.cy - s.ry, s.cy + s.ry, 0, g.i_h - 1).hi / TILE == static_cast<int>(band) &&
                v_atom_seen[s.k] == SEEN) {
                v_atom_seen[s.k] = LISTED;
                if (boxing && s.rx > BOXED_RADIUS) {
                    const glm::ivec4 &left = v_box[2 * s.k], &right = v_box[2 * s.k + 1];
                    const glm::uvec4 b(glm::min(glm::ivec2(left), glm::ivec2(right)),
                                       glm::max(glm::ivec2(left.z, left.w), glm::ivec2(right.z, right.w)));
                    v_boxed.insert(v_boxed.end(), {s.k, b.x | b.y << 16, b.z | b.w << 16});
                } else {
                    v_atoms.push_back(s.k);
                }
            }
        }
        const bool last = (band + 1) * tiles_x >= tiles;
        if (part && (v_atoms.size() - reported >= PART_MIN || (last && (v_atoms.size() > reported || reported == 0)))) {
            part(reported, v_atoms.size());
            reported = v_atoms.size();
        }
    };
    auto spheres_of_tile = [&](size_t i, size_t side) {
        DepthTile tile(v_depth, v_block, v_dirty, i, g.i_tiles_x, g.i_w, g.i_h);
        for (size_t n = i > 0 ? v_tile_spheres[i - 1] : 0; n < v_tile_spheres[i]; ++n) {
            const ScreenSphere& s = v_spheres[n];
            // every pixel the sphere may cover: hidden if all lie behind its front
            const float front = s.dist - s.radius - margin;
            const Range rows = tile.Rows(s.cy - s.ry, s.cy + s.ry);
            const Range cols = tile.Columns(s.cx - s.rx, s.cx + s.rx);
            if (rows.lo > rows.hi || cols.lo > cols.hi)
                continue;
            // A sphere the near or far plane cuts is not drawn whole: no occluder.
            const bool occluder = s.dist - s.radius >= lo + margin && s.dist + s.radius <= hi - margin;
            const float shrink = (1.0f - SLACK) / (1.0f + SLACK);
            const float sx = (s.rx - PIXEL_SLACK) * shrink - PIXEL_SLACK;
            const float sy = (s.ry - PIXEL_SLACK) * shrink - PIXEL_SLACK;
            if (IsSmall(tile, cols) && !(boxing && s.rx > BOXED_RADIUS)) {
                if (SmallSphere(tile, cols, rows, s, occluder ? sx : 0.0f, occluder ? sy : 0.0f, margin))
                    Mark(v_atom_seen[s.k], SEEN);
                continue;
            }
            if (tile.BlocksBehind(cols, rows, front))
                continue;
            // One pass does both: the test, and the pixels the sphere surely
            // covers written at its farthest depth in each row. Where the row
            // is hidden the writes could change nothing, so they are skipped.
            const float to_outer = 1.0f / s.ry, to_inner = sy > 0.0f ? 1.0f / sy : INF;
            bool seen = false;
            for (int j = rows.lo; j <= rows.hi; ++j) {
                const float y = static_cast<float>(j) + 0.5f - s.cy;
                const float dy = y * to_outer;
                const Range c = tile.Columns(s.cx - s.rx * std::sqrt(std::max(0.0f, 1.0f - dy * dy)),
                                             s.cx + s.rx * std::sqrt(std::max(0.0f, 1.0f - dy * dy)));
                float* row = tile.Row(j);
                bool row_seen = false;
                if (boxing && s.rx > BOXED_RADIUS) {
                    // the first and last pixel of the row that may show, into the box
                    // (none when the disc's chord misses this tile's columns)
                    int first = std::numeric_limits<int>::max(), last = std::numeric_limits<int>::min();
                    for (int x = c.lo - tile.X0(); x <= c.hi - tile.X0(); ++x)
                        if (!(row[x] < front)) {
                            first = std::min(first, x + tile.X0());
                            last = x + tile.X0();
                        }
                    row_seen = first <= last;
                    if (row_seen) {
                        glm::ivec4& b = v_box[2 * s.k + side];
                        b = glm::ivec4(std::min(b.x, first), std::min(b.y, j), std::max(b.z, last), std::max(b.w, j));
                    }
                } else {
                    // one pixel that may show is enough
                    for (int x = c.lo - tile.X0(); x <= c.hi - tile.X0() && !row_seen; ++x)
                        row_seen = !(row[x] < front);
                }
                seen |= row_seen;
                const float di = y * to_inner, q = 1.0f - di * di;
                if (!row_seen || !occluder || !(q >= 0.0f) || !(sx > 0.0f))
                    continue;
                const float hw = sx * std::sqrt(q);
                const Range w = tile.Columns(s.cx - hw, s.cx + hw);
                if (w.lo > w.hi)
                    continue;
                const float dx =
                    std::max(s.cx - (static_cast<float>(w.lo) + 0.5f), static_cast<float>(w.hi) + 0.5f - s.cx) / sx;
                const float z =
                    s.dist - s.radius * std::sqrt(std::max(0.0f, 1.0f - dx * dx - di * di)) + s.radius * SLACK + margin;
                for (int x = w.lo - tile.X0(); x <= w.hi - tile.X0(); ++x)
                    row[x] = std::min(row[x], z);
                tile.Touched(j, w);
            }
            if (seen)
                Mark(v_atom_seen[s.k], SEEN);
        }
    };
    if (!TilesOnTwoThreads(tiles / tiles_x, tiles_x, v_spheres.size(), split_from, spheres_of_tile, band_done))
        throw std::bad_alloc();
}

bool CVisibility::FindBonds(const std::vector<glm::uvec2>& bonds, float bond_radius, unsigned version,
                            const CPartFound& part)
{
    if (is_bonds_valid && u_bonds_generation == u_generation && &bonds == m_bonds && bonds.size() == u_bonds &&
        version == u_bonds_version && bond_radius == r_bond_radius)
        return false;
    is_bonds_valid = true;
    is_thinned = false;
    u_bonds_generation = u_generation;
    m_bonds = &bonds;
    u_bonds = bonds.size();
    u_bonds_version = version;
    r_bond_radius = bond_radius;
    if (!is_all_shown) {
        try {
            BondsOfView(bonds, bond_radius, part);
            return true;
        } catch (const std::exception&) {
            OutOfMemory();
        }
    }
    ListAll(v_bonds, bonds.size());
    if (part)
        part(0, v_bonds.size());
    return true;
}

void CVisibility::BondsOfView(const std::vector<glm::uvec2>& bonds, float bond_radius, const CPartFound& part)
{
    v_bonds.clear();
    const CGrid& g = m_grid;
    if (g.i_w == 0 || g.i_h == 0) {
        if (part)
            part(0, 0);
        return;
    }
    const size_t tiles = static_cast<size_t>(g.i_tiles_x) * static_cast<size_t>((g.i_h + TILE - 1) / TILE);
    const size_t records = v_view.size();
    // The kept bonds write into the atoms' depths: bonds found again for the
    // same atoms start from those depths, not from what earlier bonds wrote.
    if (u_saved_generation == u_generation) {
        std::copy(v_depth_atoms.begin(), v_depth_atoms.end(), v_depth.begin());
        std::fill(v_dirty.begin(), v_dirty.end(), 1);
    } else {
        v_depth_atoms = v_depth;
        u_saved_generation = u_generation;
    }

    // A tube lies within the band of its radius around the projected axis,
    // and only its part outside both spheres is drawn (a little more here).
    const float rho = std::max(g.ax, g.ay) * bond_radius * (1.0f + SLACK) + 0.01f;
    // What it surely covers: the band a little narrower, its ends cut square
    // and drawn in by the radius, since a tilted tube's front is seen up to a
    // radius beyond where its axis ends.
    const float half = std::min(g.ax, g.ay) * bond_radius * (1.0f - SLACK) - PIXEL_SLACK;
    const unsigned count = static_cast<unsigned>(bonds.size());
    auto inside = [&](float r, float len) {
        return len > 0.0f ? std::sqrt(std::max(r * r - bond_radius * bond_radius, 0.0f)) / len : 0.0f;
    };
    auto tube = [&](unsigned b, ScreenTube& t) {
        const glm::uvec2 ends = bonds[b];
        if (ends.x >= records || ends.y >= records)
            return false;
        const glm::vec4 A = v_view[ends.x], B = v_view[ends.y];
        const glm::vec3 axis = glm::vec3(B) - glm::vec3(A);
        const float len = glm::length(axis);
        const float t0 = inside(A.w, len) * (1.0f - SLACK), t1 = 1.0f - inside(B.w, len) * (1.0f - SLACK);
        if (!(t0 < t1))
            return false;
        const glm::vec3 a = glm::mix(glm::vec3(A), glm::vec3(B), t0), e = glm::mix(glm::vec3(A), glm::vec3(B), t1);
        const glm::vec2 pa(g.ax * a.x + g.bx, g.ay * a.y + g.by), pe(g.ax * e.x + g.bx, g.ay * e.y + g.by);
        t = ScreenTube{pa, pe, std::min(a.z, e.z) - bond_radius - g.margin, b, 0.0f, -1.0f};
        if (!std::isfinite(t.front + t.a.x + t.a.y + t.e.x + t.e.y))
            return false;
        // the band, only for a tube the near and far planes leave whole and
        // that is not seen nearly end-on (where the GPU draws none of it)
        const float far = std::max(a.z, e.z) + bond_radius;
        const glm::vec2 d = pe - pa;
        const float plen = glm::length(d);
        const float cut = rho + 2.0f * PIXEL_SLACK + std::max(g.ax, g.ay) * (A.w + B.w) * SLACK;
        if (half > 0.0f && plen > 2.0f * cut && axis.z * axis.z < 0.999f * len * len && t.front >= g.lo + g.margin &&
            far <= g.hi - g.margin) {
            t.cut = cut;
            t.back = std::max(a.z, e.z) + bond_radius * SLACK + g.margin;
        }
        return true;
    };
    auto tube_tiles = [&](const ScreenTube& t, auto f) {
        EachTile(g.i_w, g.i_h, g.i_tiles_x, std::min(t.a.x, t.e.x) - rho, std::max(t.a.x, t.e.x) + rho,
                 std::min(t.a.y, t.e.y) - rho, std::max(t.a.y, t.e.y) + rho, f);
    };
    // Nearest first, so that the bonds in front hide those behind. While the
    // view turns only a little, the tubes are made in the last frame's order;
    // else in bond order, their numbers sorted in buckets by the tube's front
    // and the tubes gathered in that order.
    v_found.clear();
    ScreenTube t;
    if (is_bond_order_valid && m_order_bonds == &bonds && u_bond_order_version == u_bonds_version &&
        u_bond_order_atoms == u_version && r_order_scale == r_scale && r_order_bond_radius == bond_radius &&
        glm::dot(m_view_axis, m_bond_order_axis) > SAME_ORDER) {
        // each tube to its place in the order, the bonds read one after the other
        v_found.resize(v_order.size());
        bool side_gaps[2] = {false, false};
        auto place = [&](size_t begin, size_t end, size_t side) {
            for (size_t b = begin; b < end; ++b) {
                const unsigned n = v_bond_rank[b];
                if (n == NONE || tube(static_cast<unsigned>(b), v_found[n]))
                    continue;
                v_found[n].k = NONE;
                side_gaps[side] = true;
            }
        };
        if (!InTwoHalves(std::min<size_t>(count, v_bond_rank.size()), split_from, place))
            throw std::bad_alloc();
        if (side_gaps[0] || side_gaps[1])
            v_found.erase(
                std::remove_if(v_found.begin(), v_found.end(), [](const ScreenTube& f) { return f.k == NONE; }),
                v_found.end());
    } else {
        v_unsorted.clear();
        float fmin = INF, fmax = -INF;
        for (unsigned b = 0; b < count; ++b)
            if (tube(b, t)) {
                v_unsorted.push_back(t);
                fmin = std::min(fmin, t.front);
                fmax = std::max(fmax, t.front);
            }
        const unsigned found = static_cast<unsigned>(v_unsorted.size());
        BucketOrder(
            found, fmin, fmax, [&](unsigned n) { return v_unsorted[n].front; }, v_count, v_order);
        v_found.resize(found);
        v_bond_rank.assign(count, NONE);
        for (unsigned n = 0; n < found; ++n) {
            v_found[n] = v_unsorted[v_order[n]];
            v_order[n] = v_found[n].k;
            v_bond_rank[v_order[n]] = n;
        }
        is_bond_order_valid = true;
        m_order_bonds = &bonds;
        u_bond_order_version = u_bonds_version;
        u_bond_order_atoms = u_version;
        r_order_scale = r_scale;
        r_order_bond_radius = bond_radius;
        m_bond_order_axis = m_view_axis;
    }

    BinInTwoHalves(v_found, tiles, split_from, tube_tiles, v_tile_tubes, v_count, v_tubes);

    // A bond is final once a tile finds it may show: it joins the list at
    // once, and after a band of tiles the bonds found go to the GPU. In every
    // tile a kept bond writes its band at the farthest depth it has there.
    // The calling thread lists its bonds at once; the second thread in a list
    // of its own, with room for all, read after each band.
    v_bond_seen.assign(count, 0);
    v_bonds_other.clear();
    v_bonds_other.reserve(count);
    std::atomic<size_t> other_found{0};
    size_t other_taken = 0;
    const size_t tiles_x = static_cast<size_t>(g.i_tiles_x);
    size_t reported = 0;
    // Bonds that meet at one depth in a pixel show the one drawn first, as
    // when everything is drawn in bond order: each part goes in that order.
    auto report = [&] {
        std::sort(v_bonds.begin() + static_cast<std::ptrdiff_t>(reported), v_bonds.end());
        part(reported, v_bonds.size());
        reported = v_bonds.size();
    };
    auto tubes_of_tile = [&](size_t i, size_t side) {
        DepthTile tile(v_depth, v_block, v_dirty, i, g.i_tiles_x, g.i_w, g.i_h);
        auto found = [&](unsigned k) {
            if (side == 0) {
                v_bonds.push_back(k);
            } else {
                v_bonds_other.push_back(k);
                other_found.store(v_bonds_other.size(), std::memory_order_release);
            }
        };
        for (size_t n = i > 0 ? v_tile_tubes[i - 1] : 0; n < v_tile_tubes[i]; ++n) {
            const ScreenTube& b = v_tubes[n];
            const Range rows = tile.Rows(std::min(b.a.y, b.e.y) - rho, std::max(b.a.y, b.e.y) + rho);
            const Range cols = tile.Columns(std::min(b.a.x, b.e.x) - rho, std::max(b.a.x, b.e.x) + rho);
            if (rows.lo > rows.hi || cols.lo > cols.hi)
                continue;
            if (IsSmall(tile, cols)) {
                if (SmallTube(tile, cols, rows, b, rho, half) && MarkFirst(v_bond_seen[b.k]))
                    found(b.k);
                continue;
            }
            if (!__atomic_load_n(&v_bond_seen[b.k], __ATOMIC_RELAXED)) {
                if (tile.BlocksBehind(cols, rows, b.front) || !TubeMayShow(tile, b, rho))
                    continue;
                if (MarkFirst(v_bond_seen[b.k]))
                    found(b.k);
            }
            if (!(b.cut >= 0.0f))
                continue;
            const glm::vec2 d = b.e - b.a;
            const glm::vec2 band_a = b.a + d * (b.cut / glm::length(d)), band_e = b.e - d * (b.cut / glm::length(d));
            const Range band_rows = tile.Rows(std::min(band_a.y, band_e.y) - half, std::max(band_a.y, band_e.y) + half);
            for (int j = band_rows.lo; j <= band_rows.hi; ++j) {
                float x0 = 0.0f, x1 = 0.0f;
                if (!BandRow(band_a, band_e - band_a, half, static_cast<float>(j) + 0.5f, x0, x1))
                    continue;
                const Range w = tile.Columns(x0, x1);
                if (w.lo > w.hi)
                    continue;
                float* row = tile.Row(j);
                for (int x = w.lo - tile.X0(); x <= w.hi - tile.X0(); ++x)
                    row[x] = std::min(row[x], b.back);
                tile.Touched(j, w);
            }
        }
    };
    // like the atoms, at most one part a band: each part costs the GPU a pass over the window
    auto band_done = [&](size_t) {
        const size_t other = other_found.load(std::memory_order_acquire);
        v_bonds.insert(v_bonds.end(), v_bonds_other.begin() + static_cast<std::ptrdiff_t>(other_taken),
                       v_bonds_other.begin() + static_cast<std::ptrdiff_t>(other));
        other_taken = other;
        if (part && v_bonds.size() - reported >= PART_MIN)
            report();
    };
    if (!TilesOnTwoThreads(tiles / tiles_x, tiles_x, v_tubes.size(), split_from, tubes_of_tile, band_done))
        throw std::bad_alloc();
    if (part && (v_bonds.size() > reported || reported == 0))
        report();
    if (is_second_look)
        SecondLook(tube, rho);
}

template <class Tube>
void CVisibility::SecondLook(const Tube& tube, float rho)
{
    // Each atom and bond of the lists again, against the depths all of them
    // left: what only the bonds (or things nearer, found later) hide goes.
    // The thing at the nearest depth a pixel was given stays, since nothing
    // hides it there, so whatever else that depth hid stays hidden.
    const CGrid& g = m_grid;
    auto shows = [&](auto box, auto may_show) {
        bool seen = false;
        EachTile(g.i_w, g.i_h, g.i_tiles_x, box.x, box.y, box.z, box.w, [&](size_t t) {
            DepthTile tile(v_depth, v_block, v_dirty, t, g.i_tiles_x, g.i_w, g.i_h);
            seen = seen || may_show(tile);
        });
        return seen;
    };
    auto atom_shows = [&](unsigned k) {
        const ScreenSphere s = SphereOf(k);
        return shows(glm::vec4(s.cx - s.rx, s.cx + s.rx, s.cy - s.ry, s.cy + s.ry),
                     [&](DepthTile& tile) { return SphereMayShow(tile, s, g.margin); });
    };
    auto bond_shows = [&](unsigned k) {
        ScreenTube b;
        if (!tube(k, b))
            return true;
        return shows(glm::vec4(std::min(b.a.x, b.e.x) - rho, std::max(b.a.x, b.e.x) + rho, std::min(b.a.y, b.e.y) - rho,
                               std::max(b.a.y, b.e.y) + rho),
                     [&](DepthTile& tile) { return TubeMayShow(tile, b, rho); });
    };
    // marks first, on two threads; the lists shrink after
    const size_t atoms = v_atoms.size(), boxed = v_boxed.size() / 3;
    v_keep.assign(atoms + boxed + v_bonds.size(), 1);
    auto mark = [&](size_t begin, size_t end, size_t) {
        for (size_t n = begin; n < end; ++n)
            v_keep[n] = n < atoms           ? atom_shows(v_atoms[n])
                        : n < atoms + boxed ? atom_shows(v_boxed[3 * (n - atoms)])
                                            : bond_shows(v_bonds[n - atoms - boxed]);
    };
    if (!InTwoHalves(v_keep.size(), split_from, mark))
        throw std::bad_alloc();
    size_t to = 0;
    for (size_t n = 0; n < atoms; ++n)
        if (v_keep[n])
            v_atoms[to++] = v_atoms[n];
    v_atoms.resize(to);
    to = 0;
    for (size_t n = 0; n < boxed; ++n)
        if (v_keep[atoms + n])
            for (size_t i = 0; i < 3; ++i)
                v_boxed[to++] = v_boxed[3 * n + i];
    v_boxed.resize(to);
    to = 0;
    for (size_t n = 0; n < v_bonds.size(); ++n)
        if (v_keep[atoms + boxed + n])
            v_bonds[to++] = v_bonds[n];
    is_thinned = to < v_bonds.size() || v_atoms.size() < atoms || v_boxed.size() < 3 * boxed;
    v_bonds.resize(to);
}
