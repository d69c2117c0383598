// Isosurfaces on the GPU: one indexed mesh per surface, lit like the atoms,
// opaque or translucent, drawn once per cell shown.
#ifndef TESK_RENDER_ISOSURFACE_LAYER_H
#define TESK_RENDER_ISOSURFACE_LAYER_H

#include <cstddef>
#include <vector>

#include <glm/glm.hpp>

#include "core/isosurface.h"
#include "render/shader.h"

class CIsoLayer {
public:
    // Needs a current OpenGL 3.3 context when it uploads or draws.
    void Delete();
    // Replaces the meshes on the GPU; a mesh there is no memory for is left
    // out, with those after it.
    void Upload(const std::vector<core::IsoMesh>& meshes);
    // Mesh k in colours[min(k, 1)] (alpha below 1: translucent), once at
    // each model-space shift. The meshes are in the frame of the model
    // matrix M. With `front_only` the faces turned away are not drawn: half
    // the work, but a surface cut open by the cell's faces shows no inside.
    void Draw(const glm::mat4& P, const glm::mat4& V, const glm::mat4& M, const std::vector<glm::vec3>& shifts,
              const glm::vec4 colours[2], bool front_only = false) const;
    std::size_t Triangles() const;
    bool Empty() const { return parts_.empty(); }

private:
    struct Part {
        unsigned vao = 0, vbo = 0, ebo = 0;
        std::size_t indices = 0;
    };
    std::vector<Part> parts_;
    CShader shader_;
};

#endif
