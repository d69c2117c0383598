#include "ui/gl_window.h"

#include <glad/gl.h>
#include <GLFW/glfw3.h>

GLFWwindow* OpenGlWindow(const GlWindowOptions& options)
{
    glfwDefaultWindowHints();
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 3);
    glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
    glfwWindowHint(GLFW_VISIBLE, options.is_visible ? GLFW_TRUE : GLFW_FALSE);
    glfwWindowHint(GLFW_RESIZABLE, options.is_resizable ? GLFW_TRUE : GLFW_FALSE);
    GLFWwindow* window = glfwCreateWindow(options.width, options.height, options.title, nullptr, nullptr);
    if (window == nullptr)
        return nullptr;
    glfwMakeContextCurrent(window);
    glfwSwapInterval(options.swap_interval);
    if (!gladLoadGL(glfwGetProcAddress)) {
        glfwDestroyWindow(window);
        return nullptr;
    }
    return window;
}
