// Pieces shared by the shell tests: a Dear ImGui context that needs no
// window, real input fed to it, and the pieces of every test.
#ifndef TESK_TESTS_SHELL_TEST_SUPPORT_H
#define TESK_TESTS_SHELL_TEST_SUPPORT_H

#include <functional>

#include <imgui.h>

#include "ui/file_dialog.h"
#include "ui/shell.h"
#include "test_support.h"

// A GUI context as the GLFW back-end would set it up: built font atlas (the
// program's GUI font when asked), 60 frames a second, no layout file.
inline ImGuiContext* NewGuiContext(ImVec2 display, bool gui_font = false)
{
    ImGuiContext* ctx = ImGui::CreateContext();
    ImGuiIO& io = ImGui::GetIO();
    EXPECT_TRUE(!gui_font || LoadGuiFont(io));
    io.IniFilename = nullptr;
    io.DisplaySize = display;
    io.DeltaTime = 1.0f / 60.0f;
    io.Fonts->Build();  // as a back-end would before the first frame
    return ctx;
}

// Input as a GLFW back-end feeds it to the GUI library, one frame for each
// change; `frame` runs one pass of whatever is under test.
struct GuiInput {
    std::function<void()> frame;

    void MoveTo(ImVec2 p) { ImGui::GetIO().MousePos = p, frame(); }
    void Button(int b, bool down) { ImGui::GetIO().MouseDown[b] = down, frame(); }
    void Click(ImVec2 p, int b = 0, bool shift = false)
    {
        MoveTo(p), ImGui::GetIO().KeyShift = shift;
        Button(b, true), Button(b, false), ImGui::GetIO().KeyShift = false;
    }
    void Key(int key, bool ctrl = false, bool shift = false)
    {
        ImGuiIO& io = ImGui::GetIO();
        io.KeyCtrl = ctrl, io.KeyShift = shift, io.KeysDown[key] = true, frame();
        io.KeyCtrl = io.KeyShift = io.KeysDown[key] = false, frame();
    }
    void Wheel(float steps, int frames)
    {
        for (int i = 0; i < frames; ++i)
            ImGui::GetIO().MouseWheel = steps, frame(), ImGui::GetIO().MouseWheel = 0.0f;
    }
};

// An entry of `kind` (with `text` when given) that dialog `d` drew last frame, or null.
inline const FileChooser::ShownItem* Shown(const FileChooser::Dialog* d, FileChooser::ShownItem::Kind kind,
                                           const std::string& text = std::string())
{
    if (d)
        for (const FileChooser::ShownItem& it : d->getShownItems())
            if (it.kind == kind && (text.empty() || it.text == text))
                return &it;
    return nullptr;
}
inline ImVec2 Centre(const FileChooser::ShownItem* it)
{
    EXPECT_NE(it, nullptr) << "not in the dialog";
    return it ? ImVec2((it->min.x + it->max.x) * 0.5f, (it->min.y + it->max.y) * 0.5f) : ImVec2(-1.0f, -1.0f);
}

#endif
