#include "ui/pie_menu.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr float PIE_PI = 3.14159265358979323846f;
}

int PiePopupSelectMenu(const ImVec2& center, const char* popup_id, const char* const items[], int items_count,
                       int* p_selected, bool* sw)
{
    int ret = -1;

    // The popup's own window only carries the draw list: keep it transparent
    // and off-screen so that only the ring is seen.
    ImGui::PushStyleColor(ImGuiCol_WindowBg, ImVec4(0, 0, 0, 0));
    ImGui::PushStyleColor(ImGuiCol_Border, ImVec4(0, 0, 0, 0));
    ImGui::SetNextWindowPos(ImVec2(-100.0f, -100.0f), ImGuiCond_Always);
    if (!ImGui::BeginPopup(popup_id)) {
        ImGui::PopStyleColor(2);
        return -1;
    }

    const ImGuiStyle& style = ImGui::GetStyle();
    const ImVec2 mouse = ImGui::GetIO().MousePos;
    const ImVec2 drag_delta(mouse.x - center.x, mouse.y - center.y);
    const float drag_dist2 = drag_delta.x * drag_delta.x + drag_delta.y * drag_delta.y;

    ImDrawList* draw_list = ImGui::GetWindowDrawList();
    draw_list->PushClipRectFullScreen();

    const float ring_radius = (RADIUS_MIN + RADIUS_MAX) * 0.5f;
    draw_list->PathArcTo(center, ring_radius, 0.0f, 2.0f * PIE_PI * 0.99f, 32);
    draw_list->PathStroke(IM_COL32(0, 0, 0, 255), ImDrawFlags_Closed, RADIUS_MAX - RADIUS_MIN);

    const float item_arc_span = 2.0f * PIE_PI / static_cast<float>(std::max(ITEMS_MIN, items_count));
    float drag_angle = std::atan2(drag_delta.y, drag_delta.x);
    if (drag_angle < -0.5f * item_arc_span)
        drag_angle += 2.0f * PIE_PI;

    int item_hovered = -1;
    for (int item_n = 0; item_n < items_count; ++item_n) {
        const char* item_label = items[item_n] ? items[item_n] : "";
        const float inner_spacing = style.ItemInnerSpacing.x / RADIUS_MIN / 2.0f;
        const float item_inner_ang_min = item_arc_span * (item_n - 0.5f + inner_spacing);
        const float item_inner_ang_max = item_arc_span * (item_n + 0.5f - inner_spacing);
        const float outer_factor = RADIUS_MIN / RADIUS_MAX;
        const float item_outer_ang_min = item_arc_span * (item_n - 0.5f + inner_spacing * outer_factor);
        const float item_outer_ang_max = item_arc_span * (item_n + 0.5f - inner_spacing * outer_factor);

        const bool hovered = drag_dist2 >= RADIUS_INTERACT_MIN * RADIUS_INTERACT_MIN &&
                             drag_angle >= item_inner_ang_min && drag_angle < item_inner_ang_max;
        const bool selected = p_selected != nullptr && *p_selected == item_n;

        const int arc_segments = static_cast<int>(32.0f * item_arc_span / (2.0f * PIE_PI)) + 1;
        draw_list->PathArcTo(center, RADIUS_MAX - style.ItemInnerSpacing.x, item_outer_ang_min, item_outer_ang_max,
                             arc_segments);
        draw_list->PathArcTo(center, RADIUS_MIN + style.ItemInnerSpacing.x, item_inner_ang_max, item_inner_ang_min,
                             arc_segments);
        const ImU32 fill = hovered    ? IM_COL32(100, 100, 150, 255)
                           : selected ? IM_COL32(120, 120, 140, 255)
                                      : IM_COL32(70, 70, 70, 255);
        draw_list->PathFillConvex(fill);

        const ImVec2 text_size = ImGui::CalcTextSize(item_label, nullptr, false, -1.0f);
        const float label_angle = (item_inner_ang_min + item_inner_ang_max) * 0.5f;
        const ImVec2 text_pos(center.x + std::cos(label_angle) * ring_radius - text_size.x * 0.5f,
                              center.y + std::sin(label_angle) * ring_radius - text_size.y * 0.5f);
        draw_list->AddText(text_pos, IM_COL32(255, 255, 255, 255), item_label);

        if (hovered)
            item_hovered = item_n;
    }

    draw_list->PopClipRect();

    if (ImGui::IsMouseClicked(0)) {
        ImGui::CloseCurrentPopup();
        if (sw)
            *sw = false;
        if (drag_dist2 < RADIUS_MAX * RADIUS_MAX) {
            ret = item_hovered;
            if (p_selected)
                *p_selected = item_hovered;
        }
    }

    ImGui::EndPopup();
    ImGui::PopStyleColor(2);
    return ret;
}
