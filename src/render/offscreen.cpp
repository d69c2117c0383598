// Offscreen figures: a framebuffer object with colour and depth
// renderbuffers, the scene drawn once per tile, each tile read back into its
// place in the image.
#include "render/offscreen.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <new>

#include <glad/gl.h>
#include <stb/stb_image_write.h>

#include "render/display.h"

namespace {

// The framebuffer and its two renderbuffers, freed on every way out.
struct CFramebuffer {
    GLuint fbo = 0, colour = 0, depth = 0;
    ~CFramebuffer()
    {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glDeleteRenderbuffers(1, &colour);
        glDeleteRenderbuffers(1, &depth);
        glDeleteFramebuffers(1, &fbo);
    }
    bool Create(int w, int h)
    {
        glGenFramebuffers(1, &fbo);
        glGenRenderbuffers(1, &colour);
        glGenRenderbuffers(1, &depth);
        glBindRenderbuffer(GL_RENDERBUFFER, colour);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, w, h);
        glBindRenderbuffer(GL_RENDERBUFFER, depth);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, w, h);
        glBindRenderbuffer(GL_RENDERBUFFER, 0);
        glBindFramebuffer(GL_FRAMEBUFFER, fbo);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth);
        return glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    }
};

void AppendBytes(void* context, void* data, int size)
{
    static_cast<std::string*>(context)->append(static_cast<const char*>(data), static_cast<std::size_t>(size));
}

}  // namespace

std::string CheckImageSize(int width, int height)
{
    if (width < 1 || height < 1 || width > IMAGE_MOST || height > IMAGE_MOST)
        return "an image is 1 to " + std::to_string(IMAGE_MOST) + " pixels a side, not " + std::to_string(width) +
               " x " + std::to_string(height);
    return std::string();
}

bool RenderImage(CDisplay& display, int width, int height, const glm::vec4& background, CImage& image, std::string& why,
                 int tile_most)
{
    why = CheckImageSize(width, height);
    if (!why.empty())
        return false;
    GLint most_buffer = 0, most_viewport[2] = {0, 0}, viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &most_buffer);
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, most_viewport);
    glGetIntegerv(GL_VIEWPORT, viewport);
    const int tile = std::min({tile_most, int(most_buffer), int(most_viewport[0]), int(most_viewport[1])});
    if (tile < 1) {
        why = "the OpenGL driver offers no offscreen framebuffer";
        return false;
    }
    const glm::ivec2 size(std::min(width, tile), std::min(height, tile));
    try {
        image.width = width;
        image.height = height;
        image.rgba.assign(std::size_t(width) * std::size_t(height) * 4, 0);
        std::vector<unsigned char> pixels(std::size_t(size.x) * std::size_t(size.y) * 4);
        CFramebuffer target;
        if (!target.Create(size.x, size.y)) {
            why = "the OpenGL driver could not make a framebuffer of " + std::to_string(size.x) + " x " +
                  std::to_string(size.y) + " pixels";
            return false;
        }
        const glm::ivec2 full(width, height);
        for (int y0 = 0; y0 < height; y0 += size.y)
            for (int x0 = 0; x0 < width; x0 += size.x) {
                glViewport(0, 0, size.x, size.y);
                glClearColor(background.r, background.g, background.b, background.a);
                glClearDepth(1.0);
                glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
                // labels over a transparent background keep their coverage as alpha
                SetSceneState(true);
                if (display.is_visible)
                    display.DrawTile(full, glm::ivec2(x0, y0), size);
                glUseProgram(0);
                glPixelStorei(GL_PACK_ALIGNMENT, 1);
                glReadPixels(0, 0, size.x, size.y, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
                // GL's rows go up from the bottom, the image's down from the top
                const int cols = std::min(size.x, width - x0);
                for (int row = 0; row < size.y && y0 + row < height; ++row) {
                    const std::size_t to = (std::size_t(height - 1 - y0 - row) * std::size_t(width) + x0) * 4;
                    std::memcpy(&image.rgba[to], &pixels[std::size_t(row) * std::size_t(size.x) * 4],
                                std::size_t(cols) * 4);
                }
            }
    } catch (const std::bad_alloc&) {
        why = "not enough memory for an image of " + std::to_string(width) + " x " + std::to_string(height) + " pixels";
        glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
        return false;
    }
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
    return true;
}

bool EncodePng(const CImage& image, bool alpha, std::string& png)
{
    png.clear();
    try {
        const int channels = alpha ? 4 : 3;
        std::vector<unsigned char> rgb;
        const unsigned char* rows = image.rgba.data();
        if (!alpha) {
            rgb.resize(std::size_t(image.width) * std::size_t(image.height) * 3);
            for (std::size_t k = 0, n = rgb.size() / 3; k < n; ++k)
                std::memcpy(&rgb[k * 3], &image.rgba[k * 4], 3);
            rows = rgb.data();
        }
        return stbi_write_png_to_func(AppendBytes, &png, image.width, image.height, channels, rows,
                                      image.width * channels) != 0;
    } catch (const std::exception&) {
        png.clear();
        return false;
    }
}
