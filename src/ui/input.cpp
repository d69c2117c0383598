// The scene's share of the mouse and keyboard, and the pie menu.
#include "ui/shell.h"

#include <algorithm>
#include <string>
#include <vector>

#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>

#include <imgui_internal.h>

#include "render/display.h"
#include "ui/command_line.h"
#include "ui/pie_menu.h"
#include "ui/view_panel.h"

void MouseStep(CShellState& s, CDisplay& display)
{
    const ImGuiIO& io = ImGui::GetIO();

    const bool gui_has_mouse = ImGui::IsAnyItemActive() || io.WantCaptureMouse;
    const bool gate = !s.is_select_pie && ImGui::IsMousePosValid() && (s.is_mouse || !gui_has_mouse);
    if (!gate) {
        s.is_mouse = false;
        s.is_scene_press = false;
        return;
    }

    const float mx = io.MousePos.x, my = io.MousePos.y;
    // picking and the trackball work in framebuffer pixels
    const float fx = mx * s.fb_scale_x, fy = my * s.fb_scale_y;

    if (ImGui::IsMouseClicked(1)) {
        s.pposx = mx;
        s.pposy = my;
        // an atom of a multiple selection keeps it: the menu acts on all
        if (display.is_visible)
            display.SetPicking(static_cast<int>(fx), static_cast<int>(fy), false, true);
        s.is_select_pie = true;
    } else if (ImGui::IsMouseClicked(0)) {
        s.iposx = mx;
        s.iposy = my;
        display.SetTrackLastPosition(fx, fy);
        s.is_scene_press = true;
    } else if (ImGui::IsMouseDragging(0)) {
        s.eposx = mx;
        s.eposy = my;
        display.SetTrackCurretPosition(fx, fy);
        s.is_mouse = true;
    } else if (ImGui::IsMouseReleased(0) && s.is_mouse) {
        display.SetTrackLastRotation();
        s.is_mouse = false;
        s.is_scene_press = false;
    } else if (ImGui::IsMouseReleased(0) && s.is_scene_press) {
        // let go within the drag threshold: a click, which picks where it
        // was pressed; a drag only turns, so a selection survives a look around
        s.is_scene_press = false;
        if (display.is_visible) {
            // Shift adds the atom to the selection or takes it out
            display.SetPicking(static_cast<int>(s.iposx * s.fb_scale_x), static_cast<int>(s.iposy * s.fb_scale_y),
                               io.KeyShift);
            s.is_atom_lock = true;
        }
    } else if (io.MouseWheel != 0.0f) {
        s.zoom = static_cast<float>(std::max(0.5, static_cast<double>(s.zoom) + io.MouseWheel * 0.1));
        display.SetZoom(s.zoom);
    }
}

namespace {

// Keys the shell acts on, in the order the Ctrl shortcuts are tried.
constexpr int SHORTCUTS = 7;
const int SHORTCUT_KEYS[SHORTCUTS] = {GLFW_KEY_C, GLFW_KEY_F, GLFW_KEY_A, GLFW_KEY_B,
                                      GLFW_KEY_S, GLFW_KEY_Z, GLFW_KEY_Y};
constexpr int SHORTCUT_UNDO = 5, SHORTCUT_REDO = 6;
constexpr unsigned PENDING_DELETE = 1u;
constexpr unsigned PENDING_SHIFT = 1u << 30;  // Ctrl+Shift+Z redoes

unsigned ShortcutBit(int n)
{
    return 2u << n;
}

}  // namespace

bool IsModalOpen()
{
    return ImGui::IsPopupOpen("", ImGuiPopupFlags_AnyPopupId | ImGuiPopupFlags_AnyPopupLevel);
}

void NoteKeyPress(CShellState& s, int key, int action, int mods)
{
    // any key event is input: the frames after it are drawn at once, also
    // for a tap that the GUI library never saw held
    s.settle_frames = SETTLE_FRAMES;
    if (key >= 0 && key < IM_ARRAYSIZE(ImGuiIO::KeysDown)) {
        const auto pressed = std::find(s.v_pressed_keys.begin(), s.v_pressed_keys.end(), key);
        if (action == GLFW_PRESS && pressed == s.v_pressed_keys.end())
            s.v_pressed_keys.push_back(key);
        else if (action == GLFW_RELEASE && pressed != s.v_pressed_keys.end())
            s.v_tapped_keys.push_back(key);
    }
    if (action != GLFW_PRESS)
        return;
    if (key == GLFW_KEY_DELETE)
        s.pending_keys |= PENDING_DELETE;
    if (mods & GLFW_MOD_CONTROL)
        for (int n = 0; n < SHORTCUTS; ++n)
            if (key == SHORTCUT_KEYS[n]) {
                s.pending_keys |= ShortcutBit(n);
                if (n == SHORTCUT_UNDO && (mods & GLFW_MOD_SHIFT))
                    s.pending_keys |= PENDING_SHIFT;
            }
}

void HoldKeyTaps(CShellState& s)
{
    ImGuiIO& io = ImGui::GetIO();
    // let go of last frame's taps, unless pressed again since
    for (int key : s.v_held_taps)
        if (std::find(s.v_pressed_keys.begin(), s.v_pressed_keys.end(), key) == s.v_pressed_keys.end())
            io.KeysDown[key] = false;
    s.v_held_taps.swap(s.v_tapped_keys);
    for (int key : s.v_held_taps)
        io.KeysDown[key] = true;
    s.v_tapped_keys.clear();
    s.v_pressed_keys.clear();
}

void KeyboardStep(CShellState& s, CDisplay& display)
{
    const ImGuiIO& io = ImGui::GetIO();
    const unsigned pending = s.pending_keys;
    s.pending_keys = 0;

    // keys typed into a text field belong to it, and while a dialog or popup
    // is open every key is its own
    if (!io.WantTextInput && !IsModalOpen()) {
        const bool del = ImGui::IsKeyPressed(GLFW_KEY_DELETE, true) || (pending & PENDING_DELETE);
        if (del && HasValidSelection(display))
            display.DeleteSelectedAtoms();

        int shortcut = -1;
        for (int n = 0; n < SHORTCUTS && shortcut < 0; ++n)
            if ((io.KeyCtrl && ImGui::IsKeyPressed(SHORTCUT_KEYS[n], true)) || (pending & ShortcutBit(n)))
                shortcut = n;
        switch (shortcut) {
        case 0:
            s.show_config_window = !s.show_config_window;
            break;
        case 1:
            s.show_file_chooser = !s.show_file_chooser;
            break;
        case 2:
            s.show_info_window = !s.show_info_window;
            break;
        case 3:
            display.is_show_bond = !display.is_show_bond;
            display.SetAtomScale(display.is_show_bond);
            break;
        case 4:
            display.is_show_symbol = !display.is_show_symbol;
            break;
        case SHORTCUT_UNDO:
            if (io.KeyShift || (pending & PENDING_SHIFT))
                display.Redo();
            else
                display.Undo();
            break;
        case SHORTCUT_REDO:
            display.Redo();
            break;
        default:
            break;
        }
        ViewKeys(s, display);
    }
    display.is_show_label = display.is_show_symbol || display.is_show_index;
}

void PieStep(CShellState& s, CDisplay& display)
{
    if (!s.is_select_pie)
        return;

    if (HasValidSelection(display))
        s.buff = display.SelectedSymbol() + "-" + std::to_string(display.selection.Last());
    else
        s.buff = "-";
    s.items[5] = s.buff.c_str();

    ImGui::OpenPopup("##piepopup");
    s.pie_menu_center = ImVec2(s.pposx, s.pposy);
    const int n = PiePopupSelectMenu(s.pie_menu_center, "##piepopup", s.items, 6, &s.selected, &s.is_select_pie);
    if (n < 0 || !display.is_visible)
        return;
    if (n == 2) {
        s.is_atom_lock = false;
    } else if (n == 4) {
        if (HasValidSelection(display))
            display.DeleteSelectedAtoms();
    }
}

void NoteDrop(CShellState& s, int count, const char** paths)
{
    if (count < 1 || paths == nullptr || paths[0] == nullptr)
        return;
    s.open_request = paths[0];
    s.open_format = INPUT_FILE_TYPE_AUTO;
}
