// Views for figures: the turn that looks along a direction of the cell, the
// perspective projection beside the orthographic one, and the projection of
// one tile of an image larger than a framebuffer. Pure maths, no GL calls.
#ifndef TESK_RENDER_VIEW_H
#define TESK_RENDER_VIEW_H

#include <string>

#include <glm/glm.hpp>

// A direction to look along: [u v w] in the cell's vectors, or with
// `reciprocal` in its reciprocal vectors (a*, b*, c*).
struct CViewDirection {
    glm::dvec3 uvw{0.0, 0.0, 1.0};
    bool reciprocal = false;
};

// "a", "b", "c", "a*", "b*", "c*" or "u,v,w" (three numbers, not all 0).
// False, with `why` set, for anything else.
bool ParseViewDirection(const std::string& text, CViewDirection& view, std::string& why);

// The turn that points `view` (in the cell whose columns are its vectors)
// at the viewer, with the cell's c pointing up as far as it can; looking
// along c, a points right and b up. A cell that is not one
// (zero volume) counts as the Cartesian axes.
glm::mat4 ViewTurn(const glm::dmat3& cell, const CViewDirection& view);

// Perspective projection that shows, in the plane through the scene's centre
// at `distance` from the eye, what MakeProjection shows: 2 tw model units
// along the longer side. The eye sits PERSPECTIVE_DISTANCE tw from the centre.
inline constexpr float PERSPECTIVE_DISTANCE = 3.0f;
glm::mat4 MakePerspective(int w, int h, float tw);

// The matrix that, applied after a projection made for an image of
// `image` pixels, shows only the tile of `tile_size` pixels whose lower left
// pixel is `tile_origin` (GL counts rows from the bottom).
glm::mat4 TileMatrix(glm::ivec2 image, glm::ivec2 tile_origin, glm::ivec2 tile_size);

#endif
