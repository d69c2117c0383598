// The pixel side of the visibility pass: a window's depths kept in square
// tiles, with the farthest depth of each small block of pixels, and the tests
// of one sphere or tube against a tile's depths.
//
// The GPU shades a pixel for a sphere when the pixel's centre lies in the
// sphere's disc, so the same rule decides here, with a little slack in the
// safe direction: a thing tested counts every pixel it might cover, a thing
// written only the pixels it surely covers, at the farthest depth it may have
// there. Everything here is inline: it runs for every atom and bond of a view.
#ifndef TESK_RENDER_PIXEL_TESTS_H
#define TESK_RENDER_PIXEL_TESTS_H

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>
#include <vector>

#include <glm/glm.hpp>

namespace pixel_tests {

inline constexpr float INF = std::numeric_limits<float>::infinity();
inline constexpr float SLACK = 1e-3f;  // relative, on radii: float rounding on the GPU side
// absolute, in pixels: llvmpipe snaps vertices to 1/256 px, which moves a
// small sphere's rim by more than the relative slack
inline constexpr float PIXEL_SLACK = 1.0f / 128.0f;
inline constexpr int TILE = 64;  // pixels along a tile's side
inline constexpr int BLOCK = 2;  // pixels along a block's side; a tile keeps each block's farthest depth
inline constexpr int BLOCKS = TILE / BLOCK;

// A sphere as the window sees it: its disc (centre and radii in pixels, with
// the slack), its centre's distance from the camera and its radius in view
// units, and its record number.
struct ScreenSphere {
    float cx, cy, rx, ry, dist, radius;
    unsigned k;
};

// A tube: its axis ends in pixels, its nearest distance, its record number;
// and the band it surely covers, everywhere nearer than `back`: the axis
// with `cut` pixels cut off each end (no band when negative).
struct ScreenTube {
    glm::vec2 a, e;
    float front;
    unsigned k;
    float back, cut;
};

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

// The x range where the row at height y meets the band of half-width w
// around the segment from a along d (the segment's ends cut square), if it does:
// 0 <= (p - a).d <= |d|^2 and |(p - a) x d| <= w |d|, both linear in x along the row.
inline bool BandRow(glm::vec2 a, glm::vec2 d, float w, float y, float& x0, float& x1)
{
    const float len2 = d.x * d.x + d.y * d.y;
    if (!(len2 > 0.0f))
        return false;
    float lo = -INF, hi = INF;
    const float ey = y - a.y;
    auto clip = [&](float k, float c, float min, float max) {  // min <= k x' + c <= max, x' = x - a.x
        if (k == 0.0f) {
            if (c < min || c > max)
                hi = -INF;
            return;
        }
        const float u = (min - c) / k, v = (max - c) / k;
        lo = std::max(lo, std::min(u, v));
        hi = std::min(hi, std::max(u, v));
    };
    clip(d.x, ey * d.y, 0.0f, len2);
    const float r = w * std::sqrt(len2);
    clip(d.y, -ey * d.x, -r, r);
    x0 = a.x + lo;
    x1 = a.x + hi;
    return lo <= hi;
}

// The x range where the row at height y meets the band of half-width rho
// around the segment from a along d with round ends (a capsule), if it does.
inline bool CapsuleRow(glm::vec2 a, glm::vec2 d, float rho, float y, float& x0, float& x1)
{
    x0 = INF;
    x1 = -INF;
    for (const glm::vec2 c : {a, a + d}) {
        const float q = rho * rho - (y - c.y) * (y - c.y);
        if (q >= 0.0f) {
            const float h = std::sqrt(q);
            x0 = std::min(x0, c.x - h);
            x1 = std::max(x1, c.x + h);
        }
    }
    float b0 = 0.0f, b1 = 0.0f;
    if (BandRow(a, d, rho, y, b0, b1)) {
        x0 = std::min(x0, b0);
        x1 = std::max(x1, b1);
    }
    return x0 <= x1;
}

// One tile's depths, with the farthest depth of each block: most hidden
// things are found behind one or two blocks without reading their pixels.
class DepthTile {
public:
    // Tile number t of a w x h window's depths (TILE x TILE floats per
    // tile, tiles_x tiles across).
    DepthTile(std::vector<float>& depth, std::vector<float>& block, std::vector<unsigned char>& dirty, size_t t,
              int tiles_x, int w, int h)
        : depth_(depth.data() + t * TILE * TILE),
          block_(block.data() + t * BLOCKS * BLOCKS),
          dirty_(dirty.data() + t * BLOCKS * BLOCKS),
          x0_(static_cast<int>(t % static_cast<size_t>(tiles_x)) * TILE),
          y0_(static_cast<int>(t / static_cast<size_t>(tiles_x)) * TILE),
          width_(std::min(TILE, w - x0_)),
          height_(std::min(TILE, h - y0_))
    {
    }
    Range Columns(float a, float b) const { return Centres(a, b, x0_, x0_ + width_ - 1); }
    Range Rows(float a, float b) const { return Centres(a, b, y0_, y0_ + height_ - 1); }
    // Row j (window pixels), from the tile's first column; every row holds
    // TILE floats, also where the window ends inside the tile.
    float* Row(int j) { return depth_ + (j - y0_) * TILE; }
    int X0() const { return x0_; }

    // True when the blocks under the pixels `cols` x `rows` all lie behind `front`.
    bool BlocksBehind(Range cols, Range rows, float front)
    {
        for (int by = (rows.lo - y0_) / BLOCK; by <= (rows.hi - y0_) / BLOCK; ++by)
            for (int bx = (cols.lo - x0_) / BLOCK; bx <= (cols.hi - x0_) / BLOCK; ++bx)
                if (!(BlockMax(bx, by) < front))
                    return false;
        return true;
    }
    // After a write to row j (or rows), columns c: those blocks need their maximum again.
    void Touched(int j, Range c)
    {
        unsigned char* row = dirty_ + (j - y0_) / BLOCK * BLOCKS;
        for (int bx = (c.lo - x0_) / BLOCK; bx <= (c.hi - x0_) / BLOCK; ++bx)
            row[bx] = 1;
    }
    void Touched(Range rows, Range c)
    {
        for (int by = (rows.lo - y0_) / BLOCK; by <= (rows.hi - y0_) / BLOCK; ++by)
            Touched(y0_ + by * BLOCK, c);
    }

private:
    float BlockMax(int bx, int by)
    {
        const int b = by * BLOCKS + bx;
        if (dirty_[b]) {
            float m = -INF;
            const int i1 = std::min(width_, (bx + 1) * BLOCK), j1 = std::min(height_, (by + 1) * BLOCK);
            for (int j = by * BLOCK; j < j1; ++j)
                for (int i = bx * BLOCK; i < i1; ++i)
                    m = std::max(m, depth_[j * TILE + i]);
            block_[b] = m;
            dirty_[b] = 0;
        }
        return block_[b];
    }

    float* depth_;
    float* block_;
    unsigned char* dirty_;
    int x0_, y0_, width_, height_;
};

// Small things: those whose pixels in a tile fit a few groups of four
// columns are tested and written four pixels of a row at once, without
// branches. In a dense lattice nearly every such thing has a pixel of an open
// channel under one of its blocks, so the blocks spare nothing, and a walk
// pixel by pixel mispredicts its branches. Writes where the thing is hidden
// change nothing (it lies behind what is there), so they are not avoided.
// (GCC and Clang vector extensions: SSE on x86-64, NEON on arm64, plain code
// elsewhere.)
inline constexpr int SMALL_GROUPS = 2;  // groups of four columns at most
typedef float Float4 __attribute__((vector_size(16)));
typedef int Int4 __attribute__((vector_size(16)));

inline Float4 Load4(const float* p)
{
    Float4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void Store4(float* p, Float4 v)
{
    std::memcpy(p, &v, sizeof v);
}

inline bool Any(Int4 m)
{
    return (m[0] | m[1] | m[2] | m[3]) != 0;
}

// Whether the columns `cols` of `tile` may be done four at once.
inline bool IsSmall(const DepthTile& tile, Range cols)
{
    const int groups = (cols.hi - cols.lo + 4) / 4;
    return groups <= SMALL_GROUPS && cols.lo - tile.X0() + 4 * groups <= TILE;
}

// A sphere over the pixels `cols` x `rows` of `tile` (IsSmall): true when
// one may show. Where it is an occluder (sx, sy > 0: the radii it surely
// covers), those pixels get its depth, a little farther, with `margin`.
inline bool SmallSphere(DepthTile& tile, Range cols, Range rows, const ScreenSphere& s, float sx, float sy,
                        float margin)
{
    const float front = s.dist - s.radius - margin;
    const bool writes = sx > 0.0f && sy > 0.0f;
    const float to_y = 1.0f / (s.ry * s.ry), in_y = writes ? 1.0f / (sy * sy) : 0.0f;
    const float base = s.dist + s.radius * SLACK + margin;
    const Float4 lane = {0.0f, 1.0f, 2.0f, 3.0f};
    Int4 seen = {};
    for (int x = cols.lo; x <= cols.hi; x += 4) {
        const Int4 in_cols = lane < static_cast<float>(cols.hi + 1 - x);
        const Float4 ex = lane + (static_cast<float>(x) + 0.5f - s.cx);
        const Float4 ox = ex * ex * (1.0f / (s.rx * s.rx));
        const Float4 ix = writes ? ex * ex * (1.0f / (sx * sx)) : Float4{};
        for (int j = rows.lo; j <= rows.hi; ++j) {
            float* row = tile.Row(j) + (x - tile.X0());
            const float ey = static_cast<float>(j) + 0.5f - s.cy;
            const Float4 depth = Load4(row);
            seen |= in_cols & (ox + ey * ey * to_y <= 1.0f) & (depth >= front);
            if (!writes)
                continue;
            // the sphere's depth there, a little farther: sqrt(v) >= v (3 - v) / 2 on [0, 1]
            const Float4 u = ix + ey * ey * in_y;
            Float4 v = 1.0f - u;
            v = v > 0.0f ? v : 0.0f;
            const Float4 z = base - s.radius * 0.5f * v * (3.0f - v);
            Store4(row, (in_cols & (u <= 1.0f) & (z < depth)) ? z : depth);
        }
    }
    if (writes)
        tile.Touched(rows, cols);
    return Any(seen);
}

// A tube over the pixels `cols` x `rows` of `tile` (IsSmall): true when the
// capsule of radius rho around its axis may show there. Where it has a band
// (cut >= 0) and half > 0, the band of half-width `half` gets its depth `back`.
inline bool SmallTube(DepthTile& tile, Range cols, Range rows, const ScreenTube& b, float rho, float half)
{
    const glm::vec2 d = b.e - b.a;
    const float len2 = d.x * d.x + d.y * d.y;
    const float to_t = len2 > 0.0f ? 1.0f / len2 : 0.0f;
    const bool band = b.cut >= 0.0f && len2 > 0.0f && half > 0.0f;
    const float t0 = band ? b.cut / std::sqrt(len2) : 2.0f, t1 = 1.0f - t0;
    const float width2 = half * half * len2;
    const Float4 lane = {0.0f, 1.0f, 2.0f, 3.0f};
    Int4 seen = {};
    for (int x = cols.lo; x <= cols.hi; x += 4) {
        const Int4 in_cols = lane < static_cast<float>(cols.hi + 1 - x);
        const Float4 px = lane + (static_cast<float>(x) + 0.5f - b.a.x);
        for (int j = rows.lo; j <= rows.hi; ++j) {
            float* row = tile.Row(j) + (x - tile.X0());
            const float py = static_cast<float>(j) + 0.5f - b.a.y;
            // along the axis (t, 0 to 1 between the ends) and the nearest axis point
            const Float4 along = px * d.x + py * d.y, t = along * to_t;
            Float4 tc = t > 0.0f ? t : 0.0f;
            tc = tc < 1.0f ? tc : 1.0f;
            const Float4 qx = px - tc * d.x, qy = py - tc * d.y;
            const Float4 depth = Load4(row);
            seen |= in_cols & (qx * qx + qy * qy <= rho * rho) & (depth >= b.front);
            if (!band)
                continue;
            const Float4 across = px * d.y - py * d.x;  // |d| times the distance from the axis
            const Int4 inside = in_cols & (t >= t0) & (t <= t1) & (across * across <= width2) & (b.back < depth);
            Store4(row, inside ? Float4{} + b.back : depth);
        }
    }
    if (band)
        tile.Touched(rows, cols);
    return Any(seen);
}

// Whether a sphere may show at a pixel of `tile`, nothing written.
inline bool SphereMayShow(DepthTile& tile, const ScreenSphere& s, float margin)
{
    const Range rows = tile.Rows(s.cy - s.ry, s.cy + s.ry), cols = tile.Columns(s.cx - s.rx, s.cx + s.rx);
    if (rows.lo > rows.hi || cols.lo > cols.hi)
        return false;
    if (IsSmall(tile, cols))
        return SmallSphere(tile, cols, rows, s, 0.0f, 0.0f, margin);
    const float front = s.dist - s.radius - margin;
    for (int j = rows.lo; j <= rows.hi; ++j) {
        const float dy = (static_cast<float>(j) + 0.5f - s.cy) / s.ry;
        const float chord = s.rx * std::sqrt(std::max(0.0f, 1.0f - dy * dy));
        const Range c = tile.Columns(s.cx - chord, s.cx + chord);
        const float* row = tile.Row(j) - tile.X0();
        for (int x = c.lo; x <= c.hi; ++x)
            if (!(row[x] < front))
                return true;
    }
    return false;
}

// Whether a tube (the capsule of radius rho around its axis) may show at a
// pixel of `tile`, nothing written.
inline bool TubeMayShow(DepthTile& tile, const ScreenTube& b, float rho)
{
    const Range rows = tile.Rows(std::min(b.a.y, b.e.y) - rho, std::max(b.a.y, b.e.y) + rho);
    const Range cols = tile.Columns(std::min(b.a.x, b.e.x) - rho, std::max(b.a.x, b.e.x) + rho);
    if (rows.lo > rows.hi || cols.lo > cols.hi)
        return false;
    if (IsSmall(tile, cols))
        return SmallTube(tile, cols, rows, b, rho, -1.0f);
    for (int j = rows.lo; j <= rows.hi; ++j) {
        float x0 = 0.0f, x1 = 0.0f;
        if (!CapsuleRow(b.a, b.e - b.a, rho, static_cast<float>(j) + 0.5f, x0, x1))
            continue;
        const Range c = tile.Columns(x0, x1);
        const float* row = tile.Row(j) - tile.X0();
        for (int x = c.lo; x <= c.hi; ++x)
            if (!(row[x] < b.front))
                return true;
    }
    return false;
}

}  // namespace pixel_tests

#endif
