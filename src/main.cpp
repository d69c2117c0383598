// Tesk: viewer and light editor for atomic structures. The command line,
// start-up, the frame loop and shutdown; the steps of each pass live in ui/shell.cpp and the units beside it.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include <glad/gl.h>
#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>

#include <imgui.h>
#include <imgui_impl_glfw.h>
#include <imgui_impl_opengl3.h>

#include "render/display.h"
#include "ui/command_line.h"
#include "ui/gl_window.h"
#include "ui/file_dialog.h"
#include "render/render_file.h"
#include "ui/shell.h"

static void glfw_error_callback(int error, const char* description)
{
    std::fprintf(stderr, "Error %d: %s\n", error, description ? description : "");
}

// Installed before the GUI back-end, which chains to it: it sees every press,
// also one released again before the next frame starts.
static void key_callback(GLFWwindow* window, int key, int, int action, int mods)
{
    if (auto* s = static_cast<CShellState*>(glfwGetWindowUserPointer(window)))
        NoteKeyPress(*s, key, action, mods);
}

// Files dropped on the window are loaded by the next pass.
static void drop_callback(GLFWwindow* window, int count, const char** paths)
{
    if (auto* s = static_cast<CShellState*>(glfwGetWindowUserPointer(window)))
        NoteDrop(*s, count, paths);
}

int main(int argc, char** argv)
{
    // help, version, conversion and usage errors open no window
    const CCommandLine cmd = ParseCommandLine(argc, argv);
    if (cmd.action == CCommandLine::RENDER)
        return RenderFigure({cmd.input, cmd.format, cmd.output, cmd.render}, stderr);
    const int status = RunCommandLine(cmd, stdout, stderr);
    if (status >= 0)
        return status;

    glfwSetErrorCallback(glfw_error_callback);
    if (!glfwInit())
        return 1;

    GlWindowOptions options;
    options.title = "Tesk ImGui GLFW+OpenGL3.3";
    options.swap_interval = 1;
    GLFWwindow* window = OpenGlWindow(options);
    if (window == nullptr) {
        std::printf("Failed to initialize OpenGL context\n");
        std::fflush(stdout);
        glfwTerminate();
        return -1;
    }

    // The shell state holds the path buffers (32 KiB): keep it off the stack.
    auto shell = std::make_unique<CShellState>();
    CShellState& s = *shell;
    s.window = window;
    glfwSetWindowUserPointer(window, &s);
    glfwSetKeyCallback(window, key_callback);
    glfwSetDropCallback(window, drop_callback);
    s.open_request = cmd.file;
    s.open_format = cmd.format;

    const char* glsl_version = "#version 130";
    IMGUI_CHECKVERSION();
    ImGui::CreateContext();
    ImGuiIO& io = ImGui::GetIO();
    io.ConfigFlags |= ImGuiConfigFlags_NavEnableKeyboard;
    ImGui_ImplGlfw_InitForOpenGL(window, true);
    ImGui_ImplOpenGL3_Init(glsl_version);
    ImGui::StyleColorsDark();
    LoadGuiFont(io);

    std::string settings_line;
    const bool has_settings = SetupSettingsPath("/home", std::getenv("USER"), s.config, settings_line);
    std::fputs(settings_line.c_str(), stdout);
    std::fflush(stdout);
    // the path lives in `s`, which outlives the GUI context
    io.IniFilename = has_settings ? s.config : nullptr;

    s.show_config_window = true;
    s.show_file_chooser = true;
    s.show_info_window = true;

    {
        CDisplay display;
        display.data.read_options.type_elements = cmd.type_elements;
        display.SetClearColor(s.clear_color[0], s.clear_color[1], s.clear_color[2], s.clear_color[3]);

        s.is_select_pie = false;
        s.is_atom_lock = true;
        s.is_mouse = false;
        s.pposx = s.pposy = 0.0f;

        // the first frames are drawn at once; then the loop sleeps until input
        double wait = 0.0;
        while (!glfwWindowShouldClose(window)) {
            WaitForEvents(wait);

            ImGui_ImplOpenGL3_NewFrame();
            ImGui_ImplGlfw_NewFrame();
            int display_w = 0, display_h = 0, window_w = 0, window_h = 0;
            glfwGetFramebufferSize(window, &display_w, &display_h);
            glfwGetWindowSize(window, &window_w, &window_h);
            wait = FramePass(s, display, display_w, display_h, window_w, window_h);
            ImGui_ImplOpenGL3_RenderDrawData(ImGui::GetDrawData());

            glfwSwapBuffers(window);
        }

        display.Delete();
        ImGui_ImplOpenGL3_Shutdown();
        ImGui_ImplGlfw_Shutdown();
        ImGui::DestroyContext();
        // the file chooser holds only memory; drop it with the GUI it drew in
        s.dlg.reset();
    }

    glfwDestroyWindow(window);
    glfwTerminate();
    return 0;
}
