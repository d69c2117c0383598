// Benchmarks of drawing under a real OpenGL 3.3 context (run it on Xvfb):
// one DrawScene of the generated water boxes with bonds shown, one that also
// carries a colour-ID pick pass, and one with element-symbol labels on.
#include <benchmark/benchmark.h>

#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>
#include <glad/gl.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "bench_window.h"
#include "cdisplay.h"

namespace {

struct Context {
    BenchWindow base;
    GLFWwindow*& window = base.window;
    std::unique_ptr<CDisplay>& display = base.display;
    long loaded = 0;

    bool Load(long atoms) {
        if (!display) return false;
        if (loaded == atoms) return true;
        const char* env = std::getenv("TESK_BENCH_DATA");
        const std::string folder = env ? env : "bench/data";
        display->input_format = INPUT_FILE_TYPE_XYZ;
        if (!display->ReadFile(folder, folder + "/water-" + std::to_string(atoms) + ".xyz")) return false;
        display->is_show_bond = true;
        display->SetAtomScale(true);
        display->is_show_label = false;
        display->ShowSymbols(false);
        loaded = atoms;
        return true;
    }

    void Frame() {
        int w = 0, h = 0;
        glfwGetFramebufferSize(window, &w, &h);
        glViewport(0, 0, w, h);
        glClearColor(0.4f, 0.6f, 0.7f, 1.0f);
        glClearDepth(1.0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glDepthFunc(GL_LESS);
        glDisable(GL_CULL_FACE);
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_BLEND);
        display->DrawScene(w, h);
        glUseProgram(0);
        glFinish();
    }
};

Context& Gl() {
    static Context context;
    return context;
}

void BM_DrawScene(benchmark::State& state) {
    Context& gl = Gl();
    if (!gl.Load(state.range(0))) {
        state.SkipWithError("no GL context or no input (run bench/run.sh)");
        return;
    }
    for (auto _ : state) gl.Frame();
    state.counters["atoms"] = gl.display->GetNumberOfAtoms();
    state.counters["bonds"] = gl.display->data.i_number_of_bonds;
}

void BM_DrawSceneWithPick(benchmark::State& state) {
    Context& gl = Gl();
    if (!gl.Load(state.range(0))) {
        state.SkipWithError("no GL context or no input (run bench/run.sh)");
        return;
    }
    for (auto _ : state) {
        gl.display->SetPicking(kWidth / 2, kHeight / 2);
        gl.Frame();
    }
    state.counters["atoms"] = gl.display->GetNumberOfAtoms();
}

void BM_DrawSceneWithLabels(benchmark::State& state) {
    Context& gl = Gl();
    if (!gl.Load(state.range(0))) {
        state.SkipWithError("no GL context or no input (run bench/run.sh)");
        return;
    }
    gl.display->ShowSymbols(true);
    gl.display->is_show_label = true;
    for (auto _ : state) gl.Frame();
    gl.display->is_show_label = false;
    gl.display->ShowSymbols(false);
    state.counters["atoms"] = gl.display->GetNumberOfAtoms();
}

}  // namespace

BENCHMARK(BM_DrawScene)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_DrawSceneWithPick)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_DrawSceneWithLabels)->Arg(10000)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK_MAIN();
