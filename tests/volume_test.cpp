// Volumetric files and their isosurfaces, on synthetic fields whose answers
// are known: Gaussian blobs (spheres of known area and volume) in skewed and
// periodic cells, a signed p-like lobe, and files read against ASE.
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "core/isosurface.h"
#include "io/volume.h"
#include "test_support.h"

namespace {

constexpr double PI = 3.14159265358979323846;

struct Blob {
    glm::dmat3 cell;      // columns
    glm::ivec3 size;
    glm::dvec3 centre;    // fractional
    double sigma, level;  // the peak is 1
};

// A periodic Gaussian: the images in the neighbouring cells add in.
std::vector<float> BlobField(const Blob& b)
{
    std::vector<float> v(std::size_t(b.size.x) * b.size.y * b.size.z);
    std::size_t o = 0;
    for (int k = 0; k < b.size.z; ++k)
        for (int j = 0; j < b.size.y; ++j)
            for (int i = 0; i < b.size.x; ++i) {
                const glm::dvec3 f = glm::dvec3(i, j, k) / glm::dvec3(b.size) - b.centre;
                double sum = 0.0;
                for (int a = -1; a <= 1; ++a)
                    for (int c = -1; c <= 1; ++c)
                        for (int d = -1; d <= 1; ++d) {
                            const glm::dvec3 r = b.cell * (f + glm::dvec3(a, c, d));
                            sum += std::exp(-glm::dot(r, r) / (2.0 * b.sigma * b.sigma));
                        }
                v[o++] = float(sum);
            }
    return v;
}

core::IsoGrid GridOf(const Blob& b, const std::vector<float>& v)
{
    core::IsoGrid g;
    g.values = v.data();
    g.size = b.size;
    for (int a = 0; a < 3; ++a)
        g.voxel[a] = b.cell[a] / double(b.size[a]);
    g.is_periodic = true;
    return g;
}

// Every edge of the mesh in exactly two triangles, once in each direction.
bool IsClosed(const core::IsoMesh& m)
{
    std::map<std::pair<uint32_t, uint32_t>, int> directed;
    for (std::size_t t = 0; t < m.indices.size(); t += 3)
        for (int e = 0; e < 3; ++e)
            ++directed[{m.indices[t + e], m.indices[t + (e + 1) % 3]}];
    for (const auto& [edge, count] : directed)
        if (count != 1 || directed.count({edge.second, edge.first}) != 1)
            return false;
    return !m.indices.empty();
}

TEST(Isosurface, GaussianBlobsGiveSpheresOfTheirAreaAndVolume)
{
    const glm::dmat3 cubic(10.0);
    glm::dmat3 skewed(0.0);
    skewed[0] = {10.0, 0.0, 0.0};
    skewed[1] = {3.0, 9.0, 0.0};
    skewed[2] = {2.0, -2.5, 11.0};
    glm::dmat3 left = skewed;  // a left-handed cell
    std::swap(left[0], left[1]);
    const Blob blobs[] = {
        {cubic, {40, 40, 40}, {0.5, 0.5, 0.5}, 1.0, 0.3},
        {skewed, {48, 44, 52}, {0.45, 0.55, 0.5}, 1.1, 0.2},
        {left, {44, 48, 52}, {0.5, 0.5, 0.5}, 1.1, 0.2},
        // across every face: the pieces in the corners make one sphere
        {skewed, {48, 44, 52}, {0.02, 0.97, 0.0}, 1.1, 0.2},
    };
    for (const Blob& b : blobs) {
        SCOPED_TRACE("centre " + std::to_string(b.centre.x) + " " + std::to_string(b.centre.y));
        const std::vector<float> v = BlobField(b);
        core::IsoMesh mesh;
        ASSERT_TRUE(core::BuildIsosurface(GridOf(b, v), float(b.level), true, mesh));
        const double r = b.sigma * std::sqrt(2.0 * std::log(1.0 / b.level));
        const glm::dvec3 centre = b.cell * b.centre;
        const glm::dmat3 to_fraction = glm::inverse(b.cell);
        // pieces cut by the cell's faces go back to the blob's own side
        core::IsoMesh whole = mesh;
        for (glm::vec3& p : whole.positions) {
            const glm::dvec3 f = to_fraction * glm::dvec3(p) - b.centre;
            p = glm::vec3(glm::dvec3(p) - b.cell * glm::round(f));
        }
        EXPECT_NEAR(core::MeshArea(whole), 4.0 * PI * r * r, 0.02 * 4.0 * PI * r * r);
        EXPECT_NEAR(core::MeshVolume(whole), 4.0 / 3.0 * PI * r * r * r, 0.02 * 4.0 / 3.0 * PI * r * r * r);
        const bool inside = b.centre.x > 0.2;
        EXPECT_EQ(IsClosed(mesh), inside);
        std::size_t off_level = 0, inward = 0, against = 0;
        for (std::size_t i = 0; i < whole.positions.size(); ++i) {
            const glm::dvec3 d = glm::dvec3(whole.positions[i]) - centre;
            off_level += std::fabs(glm::length(d) - r) > 0.03 * r;
            inward += glm::dot(glm::dvec3(whole.normals[i]), d) < 0.9 * glm::length(d);
        }
        for (std::size_t t = 0; t < mesh.indices.size(); t += 3) {
            const glm::vec3 a = mesh.positions[mesh.indices[t]], c = mesh.positions[mesh.indices[t + 1]],
                            d = mesh.positions[mesh.indices[t + 2]];
            const glm::vec3 n = glm::cross(c - a, d - a);
            against += glm::length(n) > 1e-6f && glm::dot(n, mesh.normals[mesh.indices[t]]) < 0.0f;
        }
        EXPECT_EQ(off_level, 0u);
        EXPECT_EQ(inward, 0u);
        EXPECT_EQ(against, 0u);
    }
}

// p_z-like: z exp(-r^2 / 2 sigma^2) about the grid's middle, in Bohr.
std::string LobeCube(glm::dvec3 origin, double step, int n)
{
    std::string text = "lobe\nOUTER LOOP: X, Y, Z\n";
    char line[160];
    std::snprintf(line, sizeof line, "%5d %12.6f %12.6f %12.6f\n", 1, origin.x, origin.y, origin.z);
    text += line;
    for (int a = 0; a < 3; ++a) {
        glm::dvec3 v(0.0);
        v[a] = step;
        if (a == 2)
            v.x = 0.3 * step;  // skewed, in the mirror plane's own direction
        std::snprintf(line, sizeof line, "%5d %12.6f %12.6f %12.6f\n", n, v.x, v.y, v.z);
        text += line;
    }
    const glm::dvec3 middle = origin + glm::dvec3(step * (n - 1) * 1.3, step * (n - 1), step * (n - 1)) * 0.5;
    std::snprintf(line, sizeof line, "%5d %12.6f %12.6f %12.6f %12.6f\n", 8, 0.0, middle.x, middle.y, middle.z);
    text += line;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            for (int k = 0; k < n; ++k) {
                const glm::dvec3 p = origin + glm::dvec3(i * step + 0.3 * k * step, j * step, k * step) - middle;
                const double value = p.z * std::exp(-glm::dot(p, p) / 8.0);
                std::snprintf(line, sizeof line, " %12.5E", value);
                text += line;
                if (k % 6 == 5 || k == n - 1)
                    text += "\n";
            }
        }
    return text;
}

TEST(Isosurface, SignedLobeSurfacesMirrorEachOther)
{
    ScratchDir dir;
    const std::string path = dir.path("lobe.cube");
    std::ofstream(path) << LobeCube({-3.0, 2.0, 5.0}, 0.4, 41);
    io::Volume v;
    io::VolumeRefusal why;
    ASSERT_TRUE(io::ReadVolumeFile(path, v, why)) << why.line << ": " << why.reason;
    ASSERT_EQ(v.grids.size(), 1u);
    const glm::vec2 range = core::ValueRange(v.grids[0].values.data(), v.Points());
    EXPECT_TRUE(core::IsSigned(range));
    core::IsoGrid g;
    g.values = v.grids[0].values.data();
    g.size = v.size;
    g.voxel = v.voxel;
    g.origin = v.origin;
    core::IsoMesh plus, minus;
    ASSERT_TRUE(core::BuildIsosurface(g, 0.3f * range.y, true, plus));
    ASSERT_TRUE(core::BuildIsosurface(g, -0.3f * range.y, false, minus));
    EXPECT_TRUE(IsClosed(plus));
    EXPECT_TRUE(IsClosed(minus));
    EXPECT_GT(core::MeshVolume(plus), 0.0);
    EXPECT_NEAR(core::MeshVolume(minus), core::MeshVolume(plus), 1e-3 * core::MeshVolume(plus));
    EXPECT_NEAR(core::MeshArea(minus), core::MeshArea(plus), 1e-3 * core::MeshArea(plus));
    // the centroids lie mirrored through the atom (the field is odd about it), in A
    const glm::dvec3 atom = v.positions.at(0);
    auto centroid = [](const core::IsoMesh& m) {
        glm::dvec3 sum(0.0);
        for (const glm::vec3& p : m.positions)
            sum += glm::dvec3(p);
        return sum / double(m.positions.size());
    };
    const glm::dvec3 up = centroid(plus) - atom, down = centroid(minus) - atom;
    EXPECT_GT(up.z, 0.5);
    EXPECT_NEAR(up.z, -down.z, 1e-3);
    EXPECT_NEAR(up.x, -down.x, 1e-3);  // the skewed axis carries z into x
    EXPECT_NEAR(up.y, -down.y, 1e-3);
}

}  // namespace
