// The window every drawing benchmark draws into: 1280 x 720, OpenGL 3.3
// core, no swap pacing, and a display controller with the shell's background.
#ifndef TESK_BENCH_WINDOW_H
#define TESK_BENCH_WINDOW_H

#include <memory>

#include <glad/gl.h>
#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>

#include "render/display.h"
#include "ui/gl_window.h"

inline constexpr int kWidth = 1280, kHeight = 720;

// What the shell's frame loop does before the scene: a w x h viewport
// cleared to the background, depth test and blending as the scene expects.
inline void StartFrame(int w, int h)
{
    glViewport(0, 0, w, h);
    glClearColor(0.4f, 0.6f, 0.7f, 1.0f);
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    SetSceneState();
}

// `display` stays empty when no window or no GL could be had.
struct BenchWindow {
    GLFWwindow* window = nullptr;
    std::unique_ptr<CDisplay> display;

    BenchWindow()
    {
        if (!glfwInit())
            return;
        GlWindowOptions options;
        options.width = kWidth, options.height = kHeight;
        options.title = "bench";
        window = OpenGlWindow(options);
        if (!window)
            return;
        display = std::make_unique<CDisplay>();
        display->SetClearColor(0.4f, 0.6f, 0.7f, 1.0f);
    }
    ~BenchWindow()
    {
        if (display)
            display->Delete();
        display.reset();
        if (window)
            glfwDestroyWindow(window);
        glfwTerminate();
    }
    BenchWindow(const BenchWindow&) = delete;
    BenchWindow& operator=(const BenchWindow&) = delete;
};

#endif
