// The EGL context of --render.
#include "render/egl_context.h"

#include <cstring>
#include <vector>

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <glad/gl.h>

namespace {

bool HasExtension(const char* list, const char* name)
{
    if (list == nullptr)
        return false;
    const std::size_t n = std::strlen(name);
    for (const char* p = std::strstr(list, name); p; p = std::strstr(p + n, name))
        if ((p == list || p[-1] == ' ') && (p[n] == ' ' || p[n] == '\0'))
            return true;
    return false;
}

GLADapiproc LoadGl(const char* name)
{
    return reinterpret_cast<GLADapiproc>(eglGetProcAddress(name));
}

// The display of the first platform that offers one: no X, no Wayland.
EGLDisplay OpenDisplay(std::string& why)
{
    const char* client = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    const auto get_display =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (client == nullptr || get_display == nullptr) {
        why = "EGL offers no platform displays (eglGetPlatformDisplayEXT)";
        return EGL_NO_DISPLAY;
    }
    if (HasExtension(client, "EGL_MESA_platform_surfaceless")) {
        EGLDisplay d = get_display(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
        if (d != EGL_NO_DISPLAY)
            return d;
    }
    if (HasExtension(client, "EGL_EXT_platform_device")) {
        const auto query_devices = reinterpret_cast<PFNEGLQUERYDEVICESEXTPROC>(eglGetProcAddress("eglQueryDevicesEXT"));
        EGLint count = 0;
        if (query_devices && query_devices(0, nullptr, &count) && count > 0) {
            std::vector<EGLDeviceEXT> devices(static_cast<std::size_t>(count));
            if (query_devices(count, devices.data(), &count) && count > 0) {
                EGLDisplay d = get_display(EGL_PLATFORM_DEVICE_EXT, devices[0], nullptr);
                if (d != EGL_NO_DISPLAY)
                    return d;
            }
        }
    }
    why = "EGL has neither the surfaceless nor the device platform";
    return EGL_NO_DISPLAY;
}

}  // namespace

CEglContext::~CEglContext()
{
    if (display == nullptr)
        return;
    eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (context != nullptr)
        eglDestroyContext(display, context);
    eglTerminate(display);
}

bool CEglContext::Create(std::string& why)
{
    EGLDisplay d = OpenDisplay(why);
    if (d == EGL_NO_DISPLAY)
        return false;
    EGLint major = 0, minor = 0;
    if (!eglInitialize(d, &major, &minor)) {
        why = "EGL could not be initialised";
        return false;
    }
    display = d;
    if (!HasExtension(eglQueryString(d, EGL_EXTENSIONS), "EGL_KHR_surfaceless_context")) {
        why = "EGL cannot make a context current without a surface";
        return false;
    }
    if (!eglBindAPI(EGL_OPENGL_API)) {
        why = "EGL offers no desktop OpenGL";
        return false;
    }
    const EGLint config_wanted[] = {EGL_SURFACE_TYPE, EGL_DONT_CARE, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
    EGLConfig config = nullptr;
    EGLint configs = 0;
    if (!eglChooseConfig(d, config_wanted, &config, 1, &configs) || configs < 1) {
        why = "EGL has no configuration for desktop OpenGL";
        return false;
    }
    const EGLint context_wanted[] = {
        EGL_CONTEXT_MAJOR_VERSION,           3,       EGL_CONTEXT_MINOR_VERSION, 3, EGL_CONTEXT_OPENGL_PROFILE_MASK,
        EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT, EGL_NONE};
    EGLContext c = eglCreateContext(d, config, EGL_NO_CONTEXT, context_wanted);
    if (c == EGL_NO_CONTEXT) {
        why = "EGL could not make an OpenGL 3.3 core context";
        return false;
    }
    context = c;
    if (!eglMakeCurrent(d, EGL_NO_SURFACE, EGL_NO_SURFACE, c)) {
        why = "EGL could not make the context current";
        return false;
    }
    if (!gladLoadGL(LoadGl)) {
        why = "the OpenGL functions could not be loaded through EGL";
        return false;
    }
    return true;
}
