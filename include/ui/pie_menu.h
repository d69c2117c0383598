// Circular context menu drawn with Dear ImGui draw lists inside an invisible
// popup window; one left click chooses an entry and closes it.
#ifndef TESK_UI_PIE_MENU_H
#define TESK_UI_PIE_MENU_H

#include <imgui.h>

inline constexpr float RADIUS_MIN = 30.0f;           // inner radius of the item ring
inline constexpr float RADIUS_MAX = 120.0f;          // outer radius; clicks beyond choose nothing
inline constexpr float RADIUS_INTERACT_MIN = 20.0f;  // dead zone around the centre
inline constexpr int ITEMS_MIN = 6;                  // the circle has at least this many sectors

// Draws the menu around `center` while the popup `popup_id` is open (the
// caller opens it). Returns the entry chosen by a left click in this frame or
// -1. Any left click closes the menu and clears *sw; a click inside the outer
// radius also stores the (possibly -1) choice in *p_selected when given.
int PiePopupSelectMenu(const ImVec2& center, const char* popup_id, const char* const items[], int items_count,
                       int* p_selected, bool* sw);

#endif
