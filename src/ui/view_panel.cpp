// The view section of the Settings window, the view keys and the image
// options of Save Image.
#include "ui/view_panel.h"

#include <algorithm>

#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>
#include <imgui.h>

#include "render/display.h"
#include "render/offscreen.h"
#include "render/view.h"
#include "ui/shell.h"

namespace {

void LookAlong(CDisplay& display, int axis, bool reciprocal)
{
    CViewDirection view;
    view.uvw = glm::dvec3(0.0);
    view.uvw[axis] = 1.0;
    view.reciprocal = reciprocal;
    display.SetView(view);
}

void ResetView(CShellState& s, CDisplay& display)
{
    display.ResetView();
    s.zoom = display.view_zoom;
}

}  // namespace

void ViewControls(CShellState& s, CDisplay& display)
{
    ImGui::Separator();
    int projection = display.is_perspective ? 1 : 0;
    ImGui::RadioButton("Orthographic", &projection, 0);
    ImGui::SameLine();
    ImGui::RadioButton("Perspective", &projection, 1);
    display.is_perspective = projection == 1;
    ImGui::SameLine();
    ImGui::Checkbox("Depth cue", &display.is_depth_cue);
    static const char* const axes[3] = {"a", "b", "c"};
    static const char* const reciprocal_axes[3] = {"a*", "b*", "c*"};
    ImGui::TextUnformatted("View along");
    for (int k = 0; k < 3; ++k) {
        ImGui::SameLine();
        if (ImGui::Button(axes[k]))
            LookAlong(display, k, false);
    }
    for (int k = 0; k < 3; ++k) {
        ImGui::SameLine();
        if (ImGui::Button(reciprocal_axes[k]))
            LookAlong(display, k, true);
    }
    ImGui::SetNextItemWidth(150.0f);
    ImGui::InputFloat3("##uvw", s.view_uvw, "%.0f");
    ImGui::SameLine();
    // [0 0 0] points nowhere: the button waits for a direction
    const bool none = s.view_uvw[0] == 0.0f && s.view_uvw[1] == 0.0f && s.view_uvw[2] == 0.0f;
    ImGui::BeginDisabled(none);
    if (ImGui::Button("[u v w]")) {
        CViewDirection view;
        view.uvw = glm::dvec3(s.view_uvw[0], s.view_uvw[1], s.view_uvw[2]);
        display.SetView(view);
    }
    ImGui::EndDisabled();
    ImGui::SameLine();
    if (ImGui::Button("Reset view"))
        ResetView(s, display);
}

void ViewKeys(CShellState& s, CDisplay& display)
{
    const ImGuiIO& io = ImGui::GetIO();
    if (io.KeyCtrl || io.KeyAlt || io.KeySuper)
        return;
    for (int k = 0; k < 3; ++k)
        if (ImGui::IsKeyPressed(GLFW_KEY_1 + k, false))
            LookAlong(display, k, false);
    if (ImGui::IsKeyPressed(GLFW_KEY_0, false))
        ResetView(s, display);
}

bool ImageOptionsPopup(CShellState& s, bool open)
{
    if (open) {
        // the window's own size to start from
        s.image_size[0] = std::clamp(s.display_w, 1, IMAGE_MOST);
        s.image_size[1] = std::clamp(s.display_h, 1, IMAGE_MOST);
        ImGui::OpenPopup("Image");
    }
    bool go_on = false;
    if (ImGui::BeginPopupModal("Image", nullptr, ImGuiWindowFlags_AlwaysAutoResize)) {
        ImGui::SetNextItemWidth(160.0f);
        if (ImGui::InputInt2("Size (pixels)", s.image_size))
            for (int& side : s.image_size)
                side = std::clamp(side, 1, IMAGE_MOST);
        ImGui::Text("up to %d x %d", IMAGE_MOST, IMAGE_MOST);
        ImGui::Checkbox("Transparent background", &s.is_image_transparent);
        if (ImGui::Button("Choose File")) {
            go_on = true;
            ImGui::CloseCurrentPopup();
        }
        ImGui::SameLine();
        if (ImGui::Button("Cancel"))
            ImGui::CloseCurrentPopup();
        ImGui::EndPopup();
    }
    return go_on;
}
