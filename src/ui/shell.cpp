// The frame loop's pass, the same for the window and the tests, and its
// pacing.
#include "ui/shell.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include <glad/gl.h>
#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>

#include <imgui_internal.h>

#include "render/display.h"
#include "ui/command_line.h"
#include "ui/file_dialog.h"
#include "ui/file_opening.h"
#include "ui/volume_panel.h"
#include "version.h"

CShellState::CShellState()
{
    std::snprintf(user_version, sizeof user_version, "Tesk %s %s(%s)", AutoVersion::STATUS,
                  AutoVersion::UBUNTU_VERSION_STYLE, AutoVersion::DATE);
    volume = std::make_unique<CVolumeView>();
}

CShellState::~CShellState() = default;

void SetFrameSize(CShellState& s, int display_w, int display_h, int window_w, int window_h)
{
    s.display_w = display_w;
    s.display_h = display_h;
    s.fb_scale_x = (window_w > 0 && display_w > 0) ? static_cast<float>(display_w) / window_w : 1.0f;
    s.fb_scale_y = (window_h > 0 && display_h > 0) ? static_cast<float>(display_h) / window_h : 1.0f;
}

bool HasValidSelection(const CDisplay& display)
{
    return display.selection.Last() < display.GetNumberOfAtoms();
}

double FrameWait(CShellState& s)
{
    const ImGuiIO& io = ImGui::GetIO();
    bool input = io.MouseDelta.x != 0.0f || io.MouseDelta.y != 0.0f || io.MouseWheel != 0.0f ||
                 io.MouseWheelH != 0.0f || !io.InputQueueCharacters.empty() || io.DisplaySize.x != s.last_display.x ||
                 io.DisplaySize.y != s.last_display.y || ImGui::IsMousePosValid() != s.last_mouse_valid;
    bool held = false;
    for (int b = 0; b < IM_ARRAYSIZE(io.MouseDown); ++b) {
        input = input || io.MouseClicked[b] || io.MouseReleased[b];
        held = held || io.MouseDown[b];
    }
    for (int k = 0; k < IM_ARRAYSIZE(io.KeysDown); ++k) {
        input = input || io.KeysDownDuration[k] == 0.0f || (!io.KeysDown[k] && io.KeysDownDurationPrev[k] >= 0.0f);
        // a held letter or arrow repeats; a held modifier alone changes nothing
        const bool modifier = k >= GLFW_KEY_LEFT_SHIFT && k <= GLFW_KEY_RIGHT_SUPER;
        held = held || (io.KeysDown[k] && !modifier);
    }
    s.last_display = io.DisplaySize;
    s.last_mouse_valid = ImGui::IsMousePosValid();
    if (input)
        s.settle_frames = SETTLE_FRAMES;
    if (s.settle_frames > 0) {
        --s.settle_frames;
        return 0.0;
    }
    // the dimmed background of a modal dialog fades in over a few frames;
    // playback and a trajectory index still being built need passes too
    const float dim = GImGui->DimBgRatio;
    if (held || (dim > 0.0f && dim < 1.0f) || s.is_playing || s.is_indexing || s.volume->Busy())
        return ANIMATION_WAIT;
    if (io.WantTextInput)
        return CARET_WAIT;
    // the layout is written by a frame once its timer has run out
    const float save_in = GImGui->SettingsDirtyTimer;
    return save_in > 0.0f ? std::min(IDLE_WAIT, save_in + 0.05) : IDLE_WAIT;
}

void WaitForEvents(double seconds)
{
    if (seconds > 0.0)
        glfwWaitEventsTimeout(seconds);
    else
        glfwPollEvents();
}

void ClearFrame(const CShellState& s)
{
    glClearColor(s.clear_color[0], s.clear_color[1], s.clear_color[2], s.clear_color[3]);
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void ScenePass(const CShellState& s, CDisplay& display)
{
    if (display.is_visible) {
        SetSceneState();
        display.is_moving = s.is_mouse;
        display.DrawScene(s.display_w, s.display_h);
        // the coarse copy of a large surface also in the frames that follow
        // input (hovering, the wheel) and those that wait for a worker; the
        // frame the loop rests on is drawn in full
        s.volume->Draw(display, s.is_mouse || s.settle_frames > 0 || s.volume->Busy());
    }
    glUseProgram(0);
}

double FramePass(CShellState& s, CDisplay& display, int display_w, int display_h, int window_w, int window_h)
{
    HoldKeyTaps(s);
    ImGui::NewFrame();
    SetFrameSize(s, display_w, display_h, window_w, window_h);
    glViewport(0, 0, display_w, display_h);
    OpenRequestStep(s, display);
    MouseStep(s, display);
    KeyboardStep(s, display);
    PieStep(s, display);
    ControlWindows(s, display);
    ClearFrame(s);
    ScenePass(s, display);
    SaveImageStep(s, display);
    const double wait = FrameWait(s);
    ImGui::Render();
    return wait;
}
