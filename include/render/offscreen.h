// Figures: the scene drawn into an image of its own size, offscreen, in tiles
// when the image is larger than the GL allows one framebuffer to be, and the
// image as PNG bytes. Save Image and the command line's --render share it.
#ifndef TESK_RENDER_OFFSCREEN_H
#define TESK_RENDER_OFFSCREEN_H

#include <string>
#include <vector>

#include <glm/glm.hpp>

class CDisplay;

// The largest image side Save Image and --render make.
inline constexpr int IMAGE_MOST = 8192;

// RGBA pixels, rows from the top.
struct CImage {
    int width = 0, height = 0;
    std::vector<unsigned char> rgba;
};

// Says why a size cannot be made (empty when it can): each side from 1 to
// IMAGE_MOST.
std::string CheckImageSize(int width, int height);

// Draws the display's scene, as its window of `width` x `height` pixels would
// show it, on `background` (alpha 0: transparent where nothing is drawn).
// Tiles are at most `tile_most` pixels a side, and never more than the GL's
// largest renderbuffer and viewport. Needs a current OpenGL 3.3 context;
// leaves the default framebuffer bound and the viewport as it found it.
// False, with `why`, when the size is refused or the GL or memory fails.
bool RenderImage(CDisplay& display, int width, int height, const glm::vec4& background, CImage& image, std::string& why,
                 int tile_most = IMAGE_MOST);

// The image as PNG bytes: RGBA with `alpha`, else RGB.
bool EncodePng(const CImage& image, bool alpha, std::string& png);

#endif
