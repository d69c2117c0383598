// Benchmarks of drawing under a real OpenGL 3.3 context (run it on Xvfb):
// one DrawScene of the generated water boxes with bonds shown, one that also
// carries a colour-ID pick pass, and one with element-symbol labels on. The
// model turns a little every frame, as under the mouse, so what depends on
// the view is found again each time; "turned" starts from an oblique view,
// "still" draws one view again and again.
#include <benchmark/benchmark.h>

#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>
#include <glad/gl.h>

#include <cstdlib>
#include <glm/gtc/matrix_transform.hpp>
#include <memory>
#include <string>

#include "bench_window.h"
#include "render/display.h"

namespace {

struct Context {
    BenchWindow base;
    GLFWwindow*& window = base.window;
    std::unique_ptr<CDisplay>& display = base.display;
    long loaded = 0;
    glm::mat4 start{1.0f};
    bool is_turning = true;
    int frames = 0;

    bool Load(long atoms)
    {
        if (!display)
            return false;
        if (loaded == atoms)
            return true;
        const char* env = std::getenv("TESK_BENCH_DATA");
        const std::string folder = env ? env : "bench/data";
        if (!display->ReadFile(folder, folder + "/water-" + std::to_string(atoms) + ".xyz", INPUT_FILE_TYPE_XYZ))
            return false;
        display->is_show_bond = true;
        display->SetAtomScale(true);
        display->is_show_label = false;
        display->ShowSymbols(false);
        loaded = atoms;
        return true;
    }

    void Frame()
    {
        const float turn = is_turning ? (++frames % 2 ? 1e-3f : -1e-3f) : 0.0f;
        display->track.Model = glm::rotate(start, turn, glm::vec3(0.0f, 1.0f, 0.0f));
        int w = 0, h = 0;
        glfwGetFramebufferSize(window, &w, &h);
        StartFrame(w, h);
        display->DrawScene(w, h);
        glUseProgram(0);
        glFinish();
    }
};

// The one context, with the box of state.range(0) atoms loaded; null, with
// the benchmark skipped, when there is no GL or no input.
Context* Loaded(benchmark::State& state)
{
    static Context context;
    if (context.Load(state.range(0)))
        return &context;
    state.SkipWithError("no GL context or no input (run bench/run.sh)");
    return nullptr;
}

void BM_DrawScene(benchmark::State& state)
{
    Context* loaded = Loaded(state);
    if (!loaded)
        return;
    Context& gl = *loaded;
    for (auto _ : state)
        gl.Frame();
    state.counters["atoms"] = gl.display->GetNumberOfAtoms();
    state.counters["bonds"] = gl.display->data.BondCount();
    state.counters["atoms shown"] = gl.display->visible.v_atoms.size();
    state.counters["bonds shown"] = gl.display->visible.v_bonds.size();
}

// The same view drawn again (a changed selection, a window uncovered): what
// it shows is known, so this is the drawing alone.
void BM_DrawSceneStill(benchmark::State& state)
{
    Context* loaded = Loaded(state);
    if (!loaded)
        return;
    Context& gl = *loaded;
    gl.is_turning = false;
    for (auto _ : state)
        gl.Frame();
    gl.is_turning = true;
}

// The search for what a view may show, alone (the CPU side of a turned frame).
void BM_FindShown(benchmark::State& state)
{
    Context* loaded = Loaded(state);
    if (!loaded)
        return;
    Context& gl = *loaded;
    gl.Frame();
    CDisplay& d = *gl.display;
    int frames = 0;
    for (auto _ : state) {
        const glm::mat4 mv =
            d.track.View * glm::rotate(d.SceneModel(), (++frames % 2 ? 1e-3f : -1e-3f), glm::vec3(0, 1, 0));
        d.visible.FindAtoms(d.atoms.v_records, d.atoms.u_atoms, d.atom_scale, d.Projection, mv, d.frame_size, 0);
        d.visible.FindBonds(d.bonds.v_pairs, BOND_RADIUS, 0);
    }
    state.counters["atoms shown"] = d.visible.v_atoms.size();
    state.counters["bonds shown"] = d.visible.v_bonds.size();
}

void BM_DrawSceneTurned(benchmark::State& state)
{
    Context* loaded = Loaded(state);
    if (!loaded)
        return;
    Context& gl = *loaded;
    gl.start = glm::rotate(glm::mat4(1.0f), 0.5f, glm::normalize(glm::vec3(1.0f, 1.0f, 0.0f)));
    for (auto _ : state)
        gl.Frame();
    gl.start = glm::mat4(1.0f);
    state.counters["atoms shown"] = gl.display->visible.v_atoms.size();
    state.counters["bonds shown"] = gl.display->visible.v_bonds.size();
}

void BM_DrawSceneWithPick(benchmark::State& state)
{
    Context* loaded = Loaded(state);
    if (!loaded)
        return;
    Context& gl = *loaded;
    for (auto _ : state) {
        gl.display->SetPicking(kWidth / 2, kHeight / 2);
        gl.Frame();
    }
    state.counters["atoms"] = gl.display->GetNumberOfAtoms();
}

void BM_DrawSceneWithLabels(benchmark::State& state)
{
    Context* loaded = Loaded(state);
    if (!loaded)
        return;
    Context& gl = *loaded;
    gl.display->ShowSymbols(true);
    gl.display->is_show_label = true;
    for (auto _ : state)
        gl.Frame();
    gl.display->is_show_label = false;
    gl.display->ShowSymbols(false);
    state.counters["atoms"] = gl.display->GetNumberOfAtoms();
}

}  // namespace

// every size, wall time with the CPU time of all threads beside it (llvmpipe draws on its own)
void DrawnAtEverySize(benchmark::internal::Benchmark* b)
{
    b->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
}

BENCHMARK(BM_DrawScene)->Apply(DrawnAtEverySize);
BENCHMARK(BM_DrawSceneStill)->Apply(DrawnAtEverySize);
BENCHMARK(BM_DrawSceneTurned)->Apply(DrawnAtEverySize);
BENCHMARK(BM_FindShown)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawSceneWithPick)->Apply(DrawnAtEverySize);
BENCHMARK(BM_DrawSceneWithLabels)->Arg(10000)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK_MAIN();
