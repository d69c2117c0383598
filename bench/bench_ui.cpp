// Benchmarks of the file chooser on a generated folder of 20,000 files: one
// GUI frame with the dialog open on it (no GL: the frame ends with the draw
// data built), and a click on each sorting button.
#include <benchmark/benchmark.h>

#include <imgui.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ui/file_dialog.h"

namespace {

constexpr int kFiles = 20000;

// A scratch folder of kFiles files of differing names, sizes and times,
// removed when the program ends.
struct Tree {
    std::string root;
    Tree()
    {
        char tmpl[] = "/tmp/tesk_bench_ui_XXXXXX";
        if (!mkdtemp(tmpl))
            return;
        root = tmpl;
        const char* stems[] = {"POSCAR_", "water-", "Run", "cell.", "b"};
        const char* exts[] = {".xyz", ".pdb", "", ".vasp", ".XYZ"};
        for (int i = 0; i < kFiles; ++i) {
            char name[64];
            std::snprintf(name, sizeof name, "%s%05d%s", stems[i % 5], (i * 7919) % kFiles, exts[(i / 5) % 5]);
            std::ofstream(root + "/" + name) << std::string(static_cast<std::size_t>(i % 97), 'x');
        }
        for (int i = 0; i < 50; ++i)
            std::filesystem::create_directory(root + "/folder" + std::to_string(i));
    }
    ~Tree()
    {
        std::error_code ec;
        if (!root.empty())
            std::filesystem::remove_all(root, ec);
    }
};

Tree& TheTree()
{
    static Tree tree;
    return tree;
}

void Frame(FileChooser::Dialog& dlg, bool trigger, const std::string& folder)
{
    ImGui::NewFrame();
    ImGui::Begin("Host");
    dlg.chooseFileDialog(trigger, folder.c_str());
    ImGui::End();
    ImGui::Render();
}

ImGuiContext* NewContext()
{
    ImGuiContext* ctx = ImGui::CreateContext();
    ImGuiIO& io = ImGui::GetIO();
    io.IniFilename = nullptr;
    io.DisplaySize = ImVec2(1280, 720);
    io.DeltaTime = 1.0f / 60.0f;
    io.MousePos = ImVec2(640, 360);
    unsigned char* pixels = nullptr;
    int w = 0, h = 0;
    io.Fonts->GetTexDataAsRGBA32(&pixels, &w, &h);
    return ctx;
}

void BM_ChooserFrame(benchmark::State& state)
{
    const std::string folder = TheTree().root + "/";
    ImGuiContext* ctx = NewContext();
    {
        FileChooser::Dialog dlg;
        Frame(dlg, true, folder);
        for (int i = 0; i < 4; ++i)
            Frame(dlg, false, folder);  // placed, sized and listed
        for (auto _ : state)
            Frame(dlg, false, folder);
        state.counters["entries"] = static_cast<double>(kFiles);
    }
    ImGui::DestroyContext(ctx);
}
BENCHMARK(BM_ChooserFrame)->Unit(benchmark::kMillisecond);

// A click on a sorting button: the press frame and the release frame, in
// which the folder is read again in the new order. The criterion is clicked
// again each time, so the order flips between ascending and descending.
void BM_SortClick(benchmark::State& state)
{
    static const char* const criteria[] = {"Name", "Modified", "Size", "Type"};
    const std::string button = criteria[state.range(0)];
    const std::string folder = TheTree().root + "/";
    ImGuiContext* ctx = NewContext();
    {
        FileChooser::Dialog dlg;
        Frame(dlg, true, folder);
        for (int i = 0; i < 4; ++i)
            Frame(dlg, false, folder);
        ImVec2 at(-1, -1);
        for (const FileChooser::ShownItem& it : dlg.getShownItems())
            if (it.kind == FileChooser::ShownItem::SORT_BUTTON && it.text == button)
                at = ImVec2((it.min.x + it.max.x) * 0.5f, (it.min.y + it.max.y) * 0.5f);
        ImGuiIO& io = ImGui::GetIO();
        io.MousePos = at;
        for (auto _ : state) {
            io.MouseDown[0] = true;
            Frame(dlg, false, folder);
            io.MouseDown[0] = false;
            Frame(dlg, false, folder);
        }
        if (at.x < 0)
            state.SkipWithError("no sorting button");
    }
    ImGui::DestroyContext(ctx);
}
BENCHMARK(BM_SortClick)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

// Opening the dialog on the folder in a given order (set by one click
// before): the folder is read, with every file's status for the time and
// size orders, and sorted. The first click on "Modified" or "Size" costs the
// same reading of the status.
void BM_OpenSorted(benchmark::State& state)
{
    static const char* const criteria[] = {"Name", "Modified", "Size", "Type"};
    const std::string button = criteria[state.range(0)];
    const std::string folder = TheTree().root + "/";
    ImGuiContext* ctx = NewContext();
    {
        FileChooser::Dialog dlg;
        Frame(dlg, true, folder);
        for (int i = 0; i < 4; ++i)
            Frame(dlg, false, folder);
        ImGuiIO& io = ImGui::GetIO();
        for (const FileChooser::ShownItem& it : dlg.getShownItems())
            if (it.kind == FileChooser::ShownItem::SORT_BUTTON && it.text == button && !it.highlighted)
                io.MousePos = ImVec2((it.min.x + it.max.x) * 0.5f, (it.min.y + it.max.y) * 0.5f);
        io.MouseDown[0] = true;
        Frame(dlg, false, folder);
        io.MouseDown[0] = false;
        Frame(dlg, false, folder);
        io.MousePos = ImVec2(640, 360);
        for (auto _ : state)
            Frame(dlg, true, folder);
    }
    ImGui::DestroyContext(ctx);
}
BENCHMARK(BM_OpenSorted)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
