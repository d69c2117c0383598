// Shared by the drawing tests: a real GLFW window with an OpenGL 3.3 core
// context, the frame set-up the application does around DrawScene, pixel
// read-back and a way to put atoms into the model without a file.
#ifndef TESK_TESTS_RENDER_GL_SUPPORT_H
#define TESK_TESTS_RENDER_GL_SUPPORT_H

#include <cmath>
#include <memory>
#include <ostream>
#include <vector>

#include <glad/gl.h>
#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>
#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>
#include <gtest/gtest.h>

#include "render/display.h"
#include "ui/gl_window.h"
#include "core/elements.h"

namespace render_test {

constexpr int kWidth = 400;
constexpr int kHeight = 300;
const glm::vec4 kBackground(0.4f, 0.6f, 0.7f, 1.0f);

struct Rgb {
    int r = 0, g = 0, b = 0;
};

inline bool IsNear(const Rgb& p, const glm::vec3& c, int tol)
{
    const auto near = [tol](int got, float v) {
        return std::abs(got - int(std::lround(glm::clamp(v, 0.0f, 1.0f) * 255.0f))) <= tol;
    };
    return near(p.r, c.r) && near(p.g, c.g) && near(p.b, c.b);
}
inline bool IsBackground(const Rgb& p)
{
    return IsNear(p, glm::vec3(kBackground), 1);
}
inline std::ostream& operator<<(std::ostream& os, const Rgb& p)
{
    return os << "(" << p.r << ", " << p.g << ", " << p.b << ")";
}

// The frame as RGB rows from the bottom; Pixel(x, y) counts GL rows from the bottom too.
inline std::vector<unsigned char> Screen(int x = 0, int y = 0, int w = kWidth, int h = kHeight)
{
    std::vector<unsigned char> rgb(static_cast<size_t>(w) * h * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, w, h, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    return rgb;
}
inline Rgb Pixel(int x, int y)
{
    const auto p = Screen(x, y, 1, 1);
    return {p[0], p[1], p[2]};
}

// One window for the whole test program; each test builds its own display.
class GlTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ASSERT_TRUE(glfwInit()) << "no display: run under Xvfb";
        GlWindowOptions options;
        options.width = kWidth, options.height = kHeight;
        options.title = "render test";
        options.is_resizable = false;
        window_ = OpenGlWindow(options);
        ASSERT_NE(window_, nullptr);
    }
    static void TearDownTestSuite()
    {
        glfwDestroyWindow(window_);
        glfwTerminate();
    }
    void SetUp() override { display_->SetClearColor(kBackground.r, kBackground.g, kBackground.b, kBackground.a); }
    void TearDown() override
    {
        display_->Delete();
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    }
    // What the frame loop does around the scene pass.
    void Frame()
    {
        glViewport(0, 0, kWidth, kHeight);
        glClearColor(kBackground.r, kBackground.g, kBackground.b, kBackground.a);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        SetSceneState();
        display_->DrawScene(kWidth, kHeight);
        glUseProgram(0);
        glFinish();
    }
    // A click at window pixel (x, y), origin top left, resolved in the next frame.
    void Click(int x, int y)
    {
        glViewport(0, 0, kWidth, kHeight);
        display_->SetPicking(x, y);
        Frame();
    }
    // Atoms as (element index, position), shown in a cube of the given edge.
    // A periodic structure keeps its own cell (cube of edge `cell`).
    void SetAtoms(const std::vector<std::pair<unsigned, glm::vec3>>& atoms, float box, bool periodic = false,
                  float cell = 0.0f)
    {
        std::vector<glm::vec3> positions;
        std::vector<unsigned> elements;
        for (const auto& a : atoms)
            elements.push_back(a.first), positions.push_back(a.second);
        // a read centres the atoms, and the cell with them
        display_->data.PlaceAtoms(std::move(positions), std::move(elements), glm::vec3(box),
                                  glm::dmat3(static_cast<double>(periodic ? cell : box)), periodic,
                                  glm::dvec3(periodic ? -0.5 * static_cast<double>(cell) : 0.0));
        display_->OnStructureLoaded();
    }
    // A bond between atoms i and j of the model (replacing all others), as the bond search records it.
    void SetBond(unsigned i, unsigned j)
    {
        display_->data.SetBonds({glm::uvec2(i, j)}, {glm::ivec3(0)});
        display_->OnModelChanged();
    }
    // Window pixel (GL row from the bottom) of a model point, as last drawn
    // (copies and centring included).
    glm::ivec2 ToPixel(const glm::vec3& p) const
    {
        const glm::vec3 w = glm::project(p, display_->track.View * display_->SceneModel(), display_->Projection,
                                         glm::vec4(0, 0, kWidth, kHeight));
        return glm::ivec2(glm::floor(glm::vec2(w)));
    }
    Rgb At(const glm::vec3& p) const
    {
        const glm::ivec2 q = ToPixel(p);
        return Pixel(q.x, q.y);
    }
    // A click on the pixel at GL column and row px.
    void ClickOnPixel(const glm::ivec2& px) { Click(px.x, kHeight - px.y); }

    static inline GLFWwindow* window_ = nullptr;
    std::unique_ptr<CDisplay> display_ = std::make_unique<CDisplay>();
};

}  // namespace render_test

#endif
