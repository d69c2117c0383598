// The red line box of the cell (or of the bounding box of a molecule).
#ifndef TESK_RENDER_BOX_LAYER_H
#define TESK_RENDER_BOX_LAYER_H

#include <vector>

#include <glm/glm.hpp>

#include "render/shader.h"

// The 16 corners of the unit cube, centred on the origin, as one line strip
// that covers all 12 edges.
extern const glm::vec3 cube_strip2[16];

// The cell box line strip: cell (columns = cell vectors) times each cube corner.
std::vector<glm::vec3> MakeBoxVertices(const glm::dmat3& cell);

class CBoxLayer {
public:
    // Needs a current OpenGL 3.3 context.
    CBoxLayer();
    void Delete();

    void BuildCube(const glm::dmat3& cell);
    void Draw(const glm::mat4& mvp) const;

    unsigned int VAOC = 0, VBOC = 0;
    CShader BoxShader;
};

#endif
