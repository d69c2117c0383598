// A window with an OpenGL 3.3 core context, current and with its functions
// loaded: the viewer's, and the one the GL tests and benchmarks draw in.
#ifndef TESK_UI_GL_WINDOW_H
#define TESK_UI_GL_WINDOW_H

struct GLFWwindow;

struct GlWindowOptions {
    int width = 1280, height = 720;
    const char* title = "Tesk";
    bool is_visible = true;
    bool is_resizable = true;
    int swap_interval = 0;  // 1 waits for the screen's refresh
};

// Needs glfwInit to have succeeded. Null, with no window left open, when
// no window or no OpenGL 3.3 core context can be had.
GLFWwindow* OpenGlWindow(const GlWindowOptions& options);

#endif
