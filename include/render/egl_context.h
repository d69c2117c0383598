// An OpenGL 3.3 core context without a window or an X display, through EGL:
// Mesa's surfaceless platform, else the first device of the device platform
// (a GPU machine). Drawing goes into framebuffer objects only.
#ifndef TESK_RENDER_EGL_CONTEXT_H
#define TESK_RENDER_EGL_CONTEXT_H

#include <string>

class CEglContext {
public:
    CEglContext() = default;
    ~CEglContext();
    CEglContext(const CEglContext&) = delete;
    CEglContext& operator=(const CEglContext&) = delete;

    // Makes the context current and loads the GL functions; false, with
    // `why`, when no EGL platform or context can be had.
    bool Create(std::string& why);

private:
    void* display = nullptr;  // EGLDisplay
    void* context = nullptr;  // EGLContext
};

#endif
