// Pieces shared by the shell tests: a Dear ImGui context that needs no
// window, and a scratch folder tree removed when the test ends.
#ifndef TESK_TESTS_SHELL_TEST_SUPPORT_H
#define TESK_TESTS_SHELL_TEST_SUPPORT_H

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>
#include <imgui.h>

// A GUI context as the GLFW back-end would set it up: built font atlas,
// 60 frames a second, no layout file.
inline ImGuiContext* NewGuiContext(ImVec2 display)
{
    ImGuiContext* ctx = ImGui::CreateContext();
    ImGuiIO& io = ImGui::GetIO();
    io.IniFilename = nullptr;
    io.DisplaySize = display;
    io.DeltaTime = 1.0f / 60.0f;
    unsigned char* pixels = nullptr;
    int w = 0, h = 0;
    io.Fonts->GetTexDataAsRGBA32(&pixels, &w, &h);
    return ctx;
}

// A temporary folder under its real path (the dialog resolves links).
// remove_all does not follow symbolic links, so links in it are safe.
struct ScratchDir {
    explicit ScratchDir(const std::string& prefix = "tesk_test")
    {
        std::string tmpl = "/tmp/" + prefix + "_XXXXXX";
        if (mkdtemp(tmpl.data())) root = std::filesystem::canonical(tmpl).string();
        EXPECT_FALSE(root.empty()) << "no scratch folder";
    }
    ~ScratchDir()
    {
        std::error_code ec;
        if (!root.empty()) std::filesystem::remove_all(root, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    std::string path(const std::string& rel) const { return rel.empty() ? root : root + "/" + rel; }
    std::string dir(const std::string& rel) const
    {
        EXPECT_TRUE(std::filesystem::create_directory(path(rel))) << rel;
        return path(rel);
    }
    // A file of `size` zero bytes.
    std::string file(const std::string& rel, std::size_t size = 0) const
    {
        std::ofstream(path(rel), std::ios::binary) << std::string(size, '\0');
        EXPECT_TRUE(std::filesystem::is_regular_file(path(rel))) << rel;
        return path(rel);
    }
    std::string root;
};

#endif
