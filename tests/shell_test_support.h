// Pieces shared by the shell tests: a Dear ImGui context that needs no
// window, and those of every test.
#ifndef TESK_TESTS_SHELL_TEST_SUPPORT_H
#define TESK_TESTS_SHELL_TEST_SUPPORT_H

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>
#include <imgui.h>

#include "tesk.h"
#include "test_support.h"

inline bool operator==(const ImVec2& a, const ImVec2& b) { return a.x == b.x && a.y == b.y; }
inline std::ostream& operator<<(std::ostream& os, const ImVec2& v) { return os << "(" << v.x << ", " << v.y << ")"; }

// A GUI context as the GLFW back-end would set it up: built font atlas (the
// program's GUI font when asked), 60 frames a second, no layout file.
inline ImGuiContext* NewGuiContext(ImVec2 display, bool gui_font = false)
{
    ImGuiContext* ctx = ImGui::CreateContext();
    ImGuiIO& io = ImGui::GetIO();
    if (gui_font) {
        EXPECT_TRUE(LoadGuiFont(io));
    }
    io.IniFilename = nullptr;
    io.DisplaySize = display;
    io.DeltaTime = 1.0f / 60.0f;
    unsigned char* pixels = nullptr;
    int w = 0, h = 0;
    io.Fonts->GetTexDataAsRGBA32(&pixels, &w, &h);
    return ctx;
}

#endif
