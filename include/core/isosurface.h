// Isosurfaces of a grid by marching cubes: an indexed triangle mesh whose
// vertices lie on the grid's edges, where the linearly interpolated field
// equals the level, with normals from the field's gradient.
//
// A periodic grid wraps: the cubes between its last and first plane of each
// axis are included, so that a surface crossing the cell's faces is whole
// up to them. The mesh is built in the grid's index space and mapped through
// the voxel vectors, which may be skewed.
#ifndef TESK_CORE_ISOSURFACE_H
#define TESK_CORE_ISOSURFACE_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include <glm/glm.hpp>

namespace core {

// A grid as the mesh builder sees it: point (i, j, k) is values[i + nx * (j + ny * k)].
struct IsoGrid {
    const float* values = nullptr;
    glm::ivec3 size{0};
    glm::dmat3 voxel{1.0};  // columns: from one point to the next along each axis
    glm::dvec3 origin{0.0};
    bool is_periodic = false;
};

struct IsoMesh {
    std::vector<glm::vec3> positions;
    std::vector<glm::vec3> normals;  // unit, pointing out of the enclosed region
    std::vector<uint32_t> indices;   // three per triangle, counter-clockwise seen from outside
    std::size_t Triangles() const { return indices.size() / 3; }
};

// The surface at `level` around the region where the field is above it
// (`above`), or below it: for signed data the surface at -level encloses the
// negative lobes, and its normals point away from them. False when memory
// runs out; the mesh is then empty.
bool BuildIsosurface(const IsoGrid& grid, float level, bool above, IsoMesh& out);

// The grid with every `step`-th point along each axis (values copied into
// `storage`), for a surface of about 1/step^2 of the triangles to draw while
// the view turns. A periodic axis whose length is no multiple of the step is
// sampled at the nearest points.
IsoGrid CoarseGrid(const IsoGrid& grid, int step, std::vector<float>& storage);

// While the view turns, a surface of about this many triangles at most is
// drawn: under llvmpipe every triangle costs, whether it covers a pixel or not.
constexpr std::size_t TURNING_TRIANGLES = 150000;
// The step of CoarseGrid that brings a surface of `triangles` to about
// TURNING_TRIANGLES; 1 for one that is there already.
int TurningStep(std::size_t triangles);

// The smallest and largest value.
glm::vec2 ValueRange(const float* values, std::size_t count);
// Data of both signs, neither side under a tenth of the other: orbitals,
// magnetisation, potentials and density differences get a surface at +level
// and one at -level.
bool IsSigned(glm::vec2 range);
// A level to start from: a high percentile of the values' magnitudes, at
// least a tenth of the largest and at most half of it.
float DefaultLevel(const float* values, std::size_t count);

// Area and enclosed volume of a closed mesh (the volume by the divergence
// theorem; positive for outward triangles).
double MeshArea(const IsoMesh& mesh);
double MeshVolume(const IsoMesh& mesh);

}  // namespace core

#endif
