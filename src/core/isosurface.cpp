#include "core/isosurface.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <exception>
#include <new>
#include <thread>
#include <utility>

namespace core {

namespace {

// --- the case table -----------------------------------------------------------
//
// Corner c of a cube sits at (c & 1, c >> 1 & 1, c >> 2 & 1). Edge 4a + m runs
// along axis a from the corner whose other two bits are m (in axis order) and
// whose bit a is clear. For each of the 256 inside/outside patterns, the
// surface is the boundary of the inside corners on the cube's faces: on each
// face the crossed edges are joined in pairs (a face with two inside corners
// on a diagonal keeps them apart, a rule that depends only on the face, so
// neighbouring cubes agree and the mesh is closed). Every crossed edge lies
// on two faces, so the pieces close into loops; each loop becomes a fan of
// triangles, wound counter-clockwise seen from outside.

constexpr int MAX_CASE_INDICES = 30;

struct CaseTable {
    uint8_t count[256];
    uint8_t edges[256][MAX_CASE_INDICES];
};

glm::vec3 CornerPoint(int c)
{
    return glm::vec3(c & 1, (c >> 1) & 1, (c >> 2) & 1);
}

int EdgeBetween(int a, int b)
{
    const int diff = a ^ b;
    const int axis = diff == 1 ? 0 : diff == 2 ? 1 : 2;
    const int low = a & ~diff;
    int m = 0, bit = 0;
    for (int k = 0; k < 3; ++k)
        if (k != axis)
            m |= ((low >> k) & 1) << bit++;
    return axis * 4 + m;
}

glm::vec3 EdgeMiddle(int e)
{
    const int axis = e / 4, m = e % 4;
    glm::vec3 p(0.0f);
    int bit = 0;
    for (int k = 0; k < 3; ++k)
        p[k] = k == axis ? 0.5f : float((m >> bit++) & 1);
    return p;
}

CaseTable MakeCaseTable()
{
    CaseTable t{};
    for (int pattern = 0; pattern < 256; ++pattern) {
        int next[12];
        std::fill(next, next + 12, -1);
        for (int axis = 0; axis < 3; ++axis)
            for (int side = 0; side < 2; ++side) {
                const int u = (axis + 1) % 3, v = (axis + 2) % 3;
                const int base = side << axis;
                // the face's corners in turn around it
                const int q[4] = {base, base | 1 << u, base | 1 << u | 1 << v, base | 1 << v};
                bool in[4];
                for (int k = 0; k < 4; ++k)
                    in[k] = (pattern >> q[k]) & 1;
                int crossed = 0;
                for (int k = 0; k < 4; ++k)
                    crossed += in[k] != in[(k + 1) % 4];
                // segments as pairs of face edges k (from q[k] to q[k+1]), each
                // with an inside corner that lies on its inner side
                int pairs[2][3];
                int n = 0;
                if (crossed == 2) {
                    int first = -1, second = -1;
                    for (int k = 0; k < 4; ++k)
                        if (in[k] != in[(k + 1) % 4])
                            (first < 0 ? first : second) = k;
                    int corner = 0;
                    while (!in[corner])
                        ++corner;
                    pairs[n][0] = first, pairs[n][1] = second, pairs[n][2] = corner, ++n;
                } else if (crossed == 4) {
                    for (int k = 0; k < 4; ++k)
                        if (in[k])
                            pairs[n][0] = (k + 3) % 4, pairs[n][1] = k, pairs[n][2] = k, ++n;
                }
                glm::vec3 outward(0.0f);
                outward[axis] = side ? 1.0f : -1.0f;
                for (int s = 0; s < n; ++s) {
                    int a = EdgeBetween(q[pairs[s][0]], q[(pairs[s][0] + 1) % 4]);
                    int b = EdgeBetween(q[pairs[s][1]], q[(pairs[s][1] + 1) % 4]);
                    const glm::vec3 pa = EdgeMiddle(a), pb = EdgeMiddle(b);
                    const glm::vec3 inner = CornerPoint(q[pairs[s][2]]) - pa;
                    if (glm::dot(glm::cross(pb - pa, outward), inner) < 0.0f)
                        std::swap(a, b);
                    next[a] = b;
                }
            }
        int k = 0;
        bool used[12] = {};
        for (int start = 0; start < 12; ++start) {
            if (next[start] < 0 || used[start])
                continue;
            int loop[12], length = 0;
            for (int e = start; e >= 0 && !used[e] && length < 12; e = next[e]) {
                used[e] = true;
                loop[length++] = e;
            }
            for (int i = 1; i + 1 < length && k + 3 <= MAX_CASE_INDICES; ++i) {
                t.edges[pattern][k++] = uint8_t(loop[0]);
                t.edges[pattern][k++] = uint8_t(loop[i]);
                t.edges[pattern][k++] = uint8_t(loop[i + 1]);
            }
        }
        t.count[pattern] = uint8_t(k);
    }
    return t;
}

const CaseTable& Cases()
{
    static const CaseTable table = MakeCaseTable();
    return table;
}

// --- the mesh -------------------------------------------------------------

constexpr uint32_t NONE = 0xffffffffu;
constexpr uint32_t NEXT = 0x80000000u;  // a vertex of the following chunk

// One slab of cube layers, built by one thread; the extra last chunk holds
// only the top plane's vertices.
struct Chunk {
    int first = 0, last = 0;                 // cube layers [first, last); the plane `first` is this chunk's
    std::vector<uint32_t> plane_x, plane_y;  // vertex of each in-plane edge of plane `first`
    std::vector<glm::vec3> positions, normals;
    std::vector<uint32_t> indices;
    bool failed = false;
};

// A plane of the (wrapped) grid, signed so that inside is above the level,
// and for each point a code: bit 0 its side, bit 1 that of the next point
// along x. A cube's pattern is two codes of each of its planes.
struct PlaneValues {
    std::vector<float> values;
    std::vector<uint8_t> codes;
};

class Builder {
public:
    Builder(const IsoGrid& g, float level, bool above)
        : g_(g), sign_(above ? 1.0f : -1.0f), level_(above ? level : -level)
    {
        for (int a = 0; a < 3; ++a)
            points_[a] = g.is_periodic ? g.size[a] + 1 : g.size[a];
        to_normal_ = glm::transpose(glm::inverse(g.voxel));
        flip_ = glm::determinant(g.voxel) < 0.0;
    }

    int Points(int a) const { return points_[a]; }
    void Plane(int k, PlaneValues& out) const
    {
        const std::size_t nx = std::size_t(g_.size.x), ny = std::size_t(g_.size.y);
        const float* src = g_.values + nx * ny * std::size_t(k % g_.size.z);
        const std::size_t px = std::size_t(points_[0]), py = std::size_t(points_[1]);
        out.values.resize(px * py);
        out.codes.resize(px * py);
        float* to = out.values.data();
        for (std::size_t j = 0; j < py; ++j) {
            const float* row = src + nx * (j == ny ? 0 : j);
            for (std::size_t i = 0; i < nx; ++i)
                to[i] = sign_ * row[i];
            if (px > nx)
                to[nx] = sign_ * row[0];  // the wrapped point
            // each point's side and that of the next along x, for the cubes
            uint8_t* code = out.codes.data() + j * px;
            for (std::size_t i = 0; i < px; ++i)
                code[i] = uint8_t(to[i] > level_);
            for (std::size_t i = 0; i + 1 < px; ++i)
                code[i] = uint8_t(code[i] | code[i + 1] << 1);
            to += px;
        }
    }
    // Vertices of the in-plane edges of plane k.
    void InPlane(int k, const PlaneValues& p, std::vector<uint32_t>& xs, std::vector<uint32_t>& ys, Chunk& c) const
    {
        const int px = points_[0], py = points_[1];
        const std::vector<float>& v = p.values;
        const uint8_t* code = p.codes.data();
        xs.assign(v.size(), NONE);
        ys.assign(v.size(), NONE);
        for (int j = 0; j < py; ++j)
            for (int i = 0; i < px; ++i) {
                const std::size_t o = std::size_t(j) * std::size_t(px) + std::size_t(i);
                if (i + 1 < px && (code[o] == 1 || code[o] == 2))
                    xs[o] = Vertex(glm::ivec3(i, j, k), 0, v[o], v[o + 1], c);
                if (j + 1 < py && (code[o] & 1) != (code[o + std::size_t(px)] & 1))
                    ys[o] = Vertex(glm::ivec3(i, j, k), 1, v[o], v[o + std::size_t(px)], c);
            }
    }
    // Vertices of the edges from plane k to plane k + 1.
    void Between(int k, const PlaneValues& below, const PlaneValues& above, std::vector<uint32_t>& zs, Chunk& c) const
    {
        const int px = points_[0], py = points_[1];
        zs.assign(below.values.size(), NONE);
        for (int j = 0; j < py; ++j)
            for (int i = 0; i < px; ++i) {
                const std::size_t o = std::size_t(j) * std::size_t(px) + std::size_t(i);
                if ((below.codes[o] & 1) != (above.codes[o] & 1))
                    zs[o] = Vertex(glm::ivec3(i, j, k), 2, below.values[o], above.values[o], c);
            }
    }
    // The triangles of cube layer k.
    void Layer(const PlaneValues& below, const PlaneValues& above, const std::vector<uint32_t>* ids[5], Chunk& c) const
    {
        const CaseTable& table = Cases();
        const int px = points_[0], py = points_[1];
        const uint8_t* low = below.codes.data();
        const uint8_t* high = above.codes.data();
        for (int j = 0; j + 1 < py; ++j)
            for (int i = 0; i + 1 < px; ++i) {
                const std::size_t o = std::size_t(j) * std::size_t(px) + std::size_t(i);
                const std::size_t oy = o + std::size_t(px);
                const int pattern = low[o] | low[oy] << 2 | high[o] << 4 | high[oy] << 6;
                const int n = table.count[pattern];
                if (n == 0)
                    continue;
                // the twelve edges, 4a + m with m the other two corner bits in axis order
                const uint32_t e[12] = {(*ids[0])[o], (*ids[0])[oy],    (*ids[2])[o],  (*ids[2])[oy],       // x: (y,z)
                                        (*ids[1])[o], (*ids[1])[o + 1], (*ids[3])[o],  (*ids[3])[o + 1],    // y: (x,z)
                                        (*ids[4])[o], (*ids[4])[o + 1], (*ids[4])[oy], (*ids[4])[oy + 1]};  // z: (x,y)
                const uint8_t* edges = table.edges[pattern];
                for (int t = 0; t < n; t += 3) {
                    const uint32_t a = e[edges[t]], b = e[edges[t + 1]], d = e[edges[t + 2]];
                    c.indices.push_back(a);
                    c.indices.push_back(flip_ ? d : b);
                    c.indices.push_back(flip_ ? b : d);
                }
            }
    }

private:
    float At(int i, int j, int k) const
    {
        const glm::ivec3 n = g_.size;
        return g_.values[std::size_t(i) + std::size_t(n.x) * (std::size_t(j) + std::size_t(n.y) * std::size_t(k))];
    }
    // The gradient in index space at a point of the (wrapped) grid.
    glm::vec3 Gradient(glm::ivec3 p) const
    {
        const glm::ivec3 n = g_.size;
        if (g_.is_periodic)
            for (int a = 0; a < 3; ++a)
                p[a] = p[a] == n[a] ? 0 : p[a];
        glm::vec3 out;
        for (int a = 0; a < 3; ++a) {
            glm::ivec3 lo = p, hi = p;
            if (g_.is_periodic) {
                lo[a] = p[a] == 0 ? n[a] - 1 : p[a] - 1;
                hi[a] = p[a] + 1 == n[a] ? 0 : p[a] + 1;
            } else {
                lo[a] = std::max(p[a] - 1, 0);
                hi[a] = std::min(p[a] + 1, n[a] - 1);
            }
            // one-sided at a non-periodic grid's faces
            const float span = g_.is_periodic ? 2.0f : float(hi[a] - lo[a]);
            out[a] = span > 0.0f ? (At(hi.x, hi.y, hi.z) - At(lo.x, lo.y, lo.z)) / span : 0.0f;
        }
        return out;
    }
    uint32_t Vertex(glm::ivec3 p, int axis, float v0, float v1, Chunk& c) const
    {
        const float t = (level_ - v0) / (v1 - v0);
        glm::dvec3 at(p);
        at[axis] += double(t);
        glm::ivec3 q = p;
        q[axis] += 1;
        const glm::vec3 gradient = (1.0f - t) * Gradient(p) + t * Gradient(q);
        // towards lower values of the field this surface bounds
        glm::dvec3 normal = to_normal_ * glm::dvec3(-sign_ * gradient);
        const double length = glm::length(normal);
        normal = length > 0.0 ? normal / length : glm::dvec3(0.0);
        if (c.positions.size() >= NEXT - 1)
            c.failed = true;
        c.positions.push_back(glm::vec3(g_.origin + g_.voxel * at));
        c.normals.push_back(glm::vec3(normal));
        return uint32_t(c.positions.size() - 1);
    }

    const IsoGrid& g_;
    float sign_, level_;
    int points_[3];
    glm::dmat3 to_normal_;
    bool flip_;
};

// Runs work(0) ... work(count - 1), one thread each; false when a thread
// could not be started (what ran has finished).
template <typename Work>
bool RunParallel(std::size_t count, Work work)
{
    std::vector<std::thread> threads;
    bool started = true;
    try {
        for (std::size_t k = 1; k < count; ++k)
            threads.emplace_back(work, k);
    } catch (const std::exception&) {
        started = false;
    }
    if (started && count > 0)
        work(0);
    for (std::thread& t : threads)
        t.join();
    return started;
}

}  // namespace

bool BuildIsosurface(const IsoGrid& grid, float level, bool above, IsoMesh& out)
{
    out = IsoMesh();
    if (!grid.values || grid.size.x < 1 || grid.size.y < 1 || grid.size.z < 1 || !std::isfinite(level))
        return true;
    try {
        Builder b(grid, level, above);
        const int layers = b.Points(2) - 1;
        if (b.Points(0) < 2 || b.Points(1) < 2 || layers < 1)
            return true;
        const int threads = std::max(1, std::min<int>({int(std::thread::hardware_concurrency()), layers, 8}));
        // chunk `threads` owns only the top plane
        std::vector<Chunk> chunks(std::size_t(threads) + 1);
        for (int c = 0; c <= threads; ++c) {
            chunks[std::size_t(c)].first = int(std::int64_t(layers) * c / threads);
            chunks[std::size_t(c)].last = c < threads ? int(std::int64_t(layers) * (c + 1) / threads) : layers;
        }
        auto first_planes = [&](std::size_t c) {
            Chunk& chunk = chunks[c];
            try {
                PlaneValues values;
                b.Plane(chunk.first, values);
                b.InPlane(chunk.first, values, chunk.plane_x, chunk.plane_y, chunk);
            } catch (const std::exception&) {
                chunk.failed = true;
            }
        };
        auto layers_of = [&](std::size_t c) {
            Chunk& chunk = chunks[c];
            const Chunk& next = chunks[c + 1];
            try {
                PlaneValues below, above;
                std::vector<uint32_t> below_x = chunk.plane_x, below_y = chunk.plane_y, above_x, above_y, zs;
                std::vector<uint32_t> tagged_x, tagged_y;
                b.Plane(chunk.first, below);
                for (int k = chunk.first; k < chunk.last; ++k) {
                    b.Plane(k + 1, above);
                    if (k + 1 == chunk.last) {
                        // the next chunk's plane: its vertices, marked as such
                        tagged_x = next.plane_x;
                        tagged_y = next.plane_y;
                        for (uint32_t& v : tagged_x)
                            v = v == NONE ? NONE : v | NEXT;
                        for (uint32_t& v : tagged_y)
                            v = v == NONE ? NONE : v | NEXT;
                        above_x.swap(tagged_x);
                        above_y.swap(tagged_y);
                    } else {
                        b.InPlane(k + 1, above, above_x, above_y, chunk);
                    }
                    b.Between(k, below, above, zs, chunk);
                    const std::vector<uint32_t>* ids[5] = {&below_x, &below_y, &above_x, &above_y, &zs};
                    b.Layer(below, above, ids, chunk);
                    std::swap(below, above);
                    below_x.swap(above_x);
                    below_y.swap(above_y);
                }
            } catch (const std::exception&) {
                chunk.failed = true;
            }
        };
        if (!RunParallel(chunks.size(), first_planes) || !RunParallel(chunks.size() - 1, layers_of))
            return false;
        std::vector<std::size_t> offset(chunks.size() + 1, 0);
        std::size_t triangles = 0;
        for (std::size_t c = 0; c < chunks.size(); ++c) {
            if (chunks[c].failed)
                return false;
            offset[c + 1] = offset[c] + chunks[c].positions.size();
            triangles += chunks[c].indices.size();
        }
        if (offset.back() >= NEXT)
            return false;
        out.positions.reserve(offset.back());
        out.normals.reserve(offset.back());
        out.indices.reserve(triangles);
        for (std::size_t c = 0; c < chunks.size(); ++c) {
            Chunk& chunk = chunks[c];
            out.positions.insert(out.positions.end(), chunk.positions.begin(), chunk.positions.end());
            out.normals.insert(out.normals.end(), chunk.normals.begin(), chunk.normals.end());
            const uint32_t own = uint32_t(offset[c]);
            const uint32_t next = uint32_t(offset[std::min(c + 1, chunks.size() - 1)]);
            for (uint32_t v : chunk.indices)
                out.indices.push_back(v & NEXT ? next + (v & ~NEXT) : own + v);
            chunk = Chunk();
        }
        return true;
    } catch (const std::exception&) {
        out = IsoMesh();
        return false;
    }
}

IsoGrid CoarseGrid(const IsoGrid& grid, int step, std::vector<float>& storage)
{
    step = std::max(step, 1);
    IsoGrid coarse = grid;
    for (int a = 0; a < 3; ++a) {
        const int n = grid.size[a];
        coarse.size[a] = grid.is_periodic ? std::max(1, n / step) : (n - 1) / step + 1;
        // periodic: the coarse points span the same cell
        coarse.voxel[a] =
            grid.is_periodic ? grid.voxel[a] * (double(n) / coarse.size[a]) : grid.voxel[a] * double(step);
    }
    auto pick = [&](int a, int i) {
        return grid.is_periodic ? int(std::int64_t(i) * grid.size[a] / coarse.size[a]) : step * i;
    };
    storage.resize(std::size_t(coarse.size.x) * std::size_t(coarse.size.y) * std::size_t(coarse.size.z));
    std::size_t o = 0;
    for (int k = 0; k < coarse.size.z; ++k)
        for (int j = 0; j < coarse.size.y; ++j) {
            const float* row =
                grid.values + std::size_t(grid.size.x) *
                                  (std::size_t(pick(1, j)) + std::size_t(grid.size.y) * std::size_t(pick(2, k)));
            for (int i = 0; i < coarse.size.x; ++i)
                storage[o++] = row[pick(0, i)];
        }
    coarse.values = storage.data();
    return coarse;
}

int TurningStep(std::size_t triangles)
{
    if (triangles <= TURNING_TRIANGLES)
        return 1;
    return int(std::ceil(std::sqrt(double(triangles) / double(TURNING_TRIANGLES))));
}

glm::vec2 ValueRange(const float* values, std::size_t count)
{
    if (count == 0)
        return glm::vec2(0.0f);
    float lo = values[0], hi = values[0];
    for (std::size_t i = 1; i < count; ++i) {
        lo = std::min(lo, values[i]);
        hi = std::max(hi, values[i]);
    }
    return glm::vec2(lo, hi);
}

bool IsSigned(glm::vec2 range)
{
    const float negative = -range.x, positive = range.y;
    return negative > 0.0f && positive > 0.0f && std::min(negative, positive) >= 0.1f * std::max(negative, positive);
}

float DefaultLevel(const float* values, std::size_t count)
{
    if (count == 0)
        return 0.0f;
    // an even sample is as good as all values for a percentile
    const std::size_t step = std::max<std::size_t>(1, count / 65536);
    std::vector<float> sample;
    sample.reserve(count / step + 1);
    for (std::size_t i = 0; i < count; i += step)
        sample.push_back(std::fabs(values[i]));
    const std::size_t at = std::min(sample.size() - 1, sample.size() * 9 / 10);
    std::nth_element(sample.begin(), sample.begin() + std::ptrdiff_t(at), sample.end());
    // a molecule in a large box is mostly empty space: not below a tenth of
    // the largest; and flat data still gets a surface: not above half of it
    const float largest = *std::max_element(sample.begin(), sample.end());
    return std::min(std::max(sample[at], 0.1f * largest), 0.5f * largest);
}

double MeshArea(const IsoMesh& mesh)
{
    double area = 0.0;
    for (std::size_t t = 0; t + 2 < mesh.indices.size(); t += 3) {
        const glm::dvec3 a(mesh.positions[mesh.indices[t]]), b(mesh.positions[mesh.indices[t + 1]]),
            c(mesh.positions[mesh.indices[t + 2]]);
        area += 0.5 * glm::length(glm::cross(b - a, c - a));
    }
    return area;
}

double MeshVolume(const IsoMesh& mesh)
{
    double volume = 0.0;
    for (std::size_t t = 0; t + 2 < mesh.indices.size(); t += 3) {
        const glm::dvec3 a(mesh.positions[mesh.indices[t]]), b(mesh.positions[mesh.indices[t + 1]]),
            c(mesh.positions[mesh.indices[t + 2]]);
        volume += glm::dot(a, glm::cross(b, c)) / 6.0;
    }
    return volume;
}

}  // namespace core
