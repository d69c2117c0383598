// Drawing a supercell under a real OpenGL 3.3 context (run it on Xvfb): a
// 10,648-atom silicon cell repeated 3 x 3 x 3 beside the same 287,496 atoms
// read as one cell, bonds shown, the model turning a little every frame as
// under the mouse. Target: the repeated cell draws at most 1.5 times as slowly.
#include <benchmark/benchmark.h>

#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>
#include <glad/gl.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <glm/gtc/matrix_transform.hpp>
#include <memory>
#include <string>

#include "bench_window.h"
#include "render/display.h"

namespace {

// n x n x n conventional diamond cells of silicon as a POSCAR.
std::string WriteSilicon(int n)
{
    const std::string path = "/tmp/tesk-bench-silicon-" + std::to_string(getpid()) + "-" + std::to_string(n);
    std::ofstream out(path);
    const double a = 5.431 * n;
    out << "silicon\n1.0\n" << a << " 0 0\n0 " << a << " 0\n0 0 " << a << "\nSi\n" << 8L * n * n * n << "\nDirect\n";
    const double basis[8][3] = {{0, 0, 0},          {0.5, 0.5, 0},      {0.5, 0, 0.5},      {0, 0.5, 0.5},
                                {0.25, 0.25, 0.25}, {0.75, 0.75, 0.25}, {0.75, 0.25, 0.75}, {0.25, 0.75, 0.75}};
    char line[96];
    for (int z = 0; z < n; ++z)
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < n; ++x)
                for (const auto& b : basis) {
                    std::snprintf(line, sizeof line, "%.8f %.8f %.8f\n", (x + b[0]) / n, (y + b[1]) / n,
                                  (z + b[2]) / n);
                    out << line;
                }
    return path;
}

struct Context {
    BenchWindow base;
    GLFWwindow*& window = base.window;
    std::unique_ptr<CDisplay>& display = base.display;
    int loaded = 0;
    int frames = 0;

    bool Load(int n)
    {
        if (!display)
            return false;
        if (loaded == n)
            return true;
        const std::string path = WriteSilicon(n);
        const bool ok = display->ReadFile("/tmp", path, INPUT_FILE_TYPE_VSP);
        std::remove(path.c_str());
        if (!ok)
            return false;
        display->is_show_bond = true;
        display->SetAtomScale(true);
        loaded = n;
        return true;
    }

    void Frame()
    {
        display->track.Model =
            glm::rotate(glm::mat4(1.0f), (++frames % 2 ? 1e-3f : -1e-3f), glm::vec3(0.0f, 1.0f, 0.0f));
        glViewport(0, 0, kWidth, kHeight);
        glClearColor(0.4f, 0.6f, 0.7f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        SetSceneState();
        display->DrawScene(kWidth, kHeight);
        glUseProgram(0);
        glFinish();
    }
};

Context& Gl()
{
    static Context context;
    return context;
}

// range(0): diamond cells along each side of the file; range(1): repeats
void BM_DrawCrystal(benchmark::State& state)
{
    Context& gl = Gl();
    if (!gl.Load(int(state.range(0)))) {
        state.SkipWithError("no GL context");
        return;
    }
    gl.display->repeat_cells = glm::ivec3(int(state.range(1)));
    gl.Frame();  // uploads the copies once
    for (auto _ : state)
        gl.Frame();
    state.counters["atoms drawn"] = gl.display->atoms.u_atoms;
    state.counters["bond pieces"] = gl.display->bonds.u_bonds;
}

}  // namespace

BENCHMARK(BM_DrawCrystal)
    ->Args({33, 1})
    ->Args({11, 3})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK_MAIN();
