// Benchmarks of trajectories: stepping through the frames of a 10,000-atom
// XYZ trajectory (read + bonds, and read + bonds + draw under a real OpenGL
// context when there is a display), and indexing a 1 GB XYZ trajectory. The
// inputs are written at run time into TESK_BENCH_DATA (bench/data).
#include <benchmark/benchmark.h>

#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>
#include <glad/gl.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "render/display.h"
#include "ui/gl_window.h"
#include "model/model.h"

namespace {

std::string DataFolder()
{
    const char* env = std::getenv("TESK_BENCH_DATA");
    return env ? env : "bench/data";
}

double PeakMegabytes()
{
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

// Water molecules on a grid, `frames` frames of `atoms` atoms (a multiple of
// three), each frame shifted a little; written once and kept.
std::string Trajectory(const std::string& name, long atoms, long frames)
{
    const std::string path = DataFolder() + "/" + name;
    struct stat st;
    if (::stat(path.c_str(), &st) == 0)
        return path;
    ::mkdir(DataFolder().c_str(), 0777);
    const std::string temp = path + ".part";
    std::FILE* f = std::fopen(temp.c_str(), "w");
    if (!f)
        return std::string();
    const long molecules = atoms / 3;
    const long side = long(std::ceil(std::cbrt(double(molecules))));
    std::string frame;
    for (long k = 0; k < frames; ++k) {
        frame.clear();
        char line[128];
        std::snprintf(line, sizeof line, "%ld\nframe %ld\n", molecules * 3, k);
        frame += line;
        const double shift = 0.01 * double(k % 50);
        for (long m = 0; m < molecules; ++m) {
            const double x = 3.1 * double(m % side) + shift, y = 3.1 * double((m / side) % side);
            const double z = 3.1 * double(m / (side * side));
            std::snprintf(line, sizeof line, "O %10.5f %10.5f %10.5f\nH %10.5f %10.5f %10.5f\nH %10.5f %10.5f %10.5f\n",
                          x, y, z, x + 0.96, y, z, x - 0.24, y + 0.93, z);
            frame += line;
        }
        if (std::fwrite(frame.data(), 1, frame.size(), f) != frame.size()) {
            std::fclose(f);
            return std::string();
        }
    }
    std::fclose(f);
    std::rename(temp.c_str(), path.c_str());
    return path;
}

// read + bonds of the next frame, frame after frame
void BM_StepFrames(benchmark::State& state)
{
    const std::string path =
        Trajectory("steps-10000x" + std::to_string(state.range(0)) + ".xyz", 10002, state.range(0));
    CModel model;
    if (path.empty() || !model.ReadFile(DataFolder(), path, INPUT_FILE_TYPE_XYZ)) {
        state.SkipWithError("cannot write or read the trajectory");
        return;
    }
    const std::size_t count = model.GetFrameCount();
    std::size_t k = 0;
    for (auto _ : state) {
        k = (k + 1) % count;
        if (!model.SetFrame(k)) {
            state.SkipWithError("a frame was refused");
            return;
        }
        benchmark::DoNotOptimize(model.BondCount());
    }
    state.counters["frames"] = double(count);
    state.counters["bonds"] = model.BondCount();
    state.counters["frames/s"] = benchmark::Counter(1.0, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["peak_MB"] = PeakMegabytes();
}

// read + bonds + one drawn scene per frame
void BM_StepAndDraw(benchmark::State& state)
{
    const std::string path = Trajectory("steps-10000x300.xyz", 10002, 300);
    if (path.empty() || !glfwInit()) {
        state.SkipWithError("no input or no display");
        return;
    }
    GlWindowOptions options;
    options.title = "bench";
    GLFWwindow* window = OpenGlWindow(options);
    if (!window) {
        state.SkipWithError("no GL window");
        return;
    }
    {
        auto display = std::make_unique<CDisplay>();
        if (display->ReadFile(DataFolder(), path, INPUT_FILE_TYPE_XYZ)) {
            display->is_show_bond = true;
            const std::size_t count = display->data.GetFrameCount();
            std::size_t k = 0;
            for (auto _ : state) {
                k = (k + 1) % count;
                display->data.SetFrame(k);
                display->OnFrameChanged();
                glViewport(0, 0, 1280, 720);
                glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
                SetSceneState();
                display->DrawScene(1280, 720);
                glFinish();
            }
            state.counters["frames/s"] = benchmark::Counter(1.0, benchmark::Counter::kIsIterationInvariantRate);
        } else {
            state.SkipWithError("cannot read the trajectory");
        }
        display->Delete();
    }
    glfwDestroyWindow(window);
}

// the whole index of a 1 GB file, as GetFrameCount builds it (page cache warm)
void BM_Index1GB(benchmark::State& state)
{
    // 2,900 frames of 10,002 atoms, about 1.0 GB
    const std::string path = Trajectory("index-1GB.xyz", 10002, 2900);
    struct stat st;
    if (path.empty() || ::stat(path.c_str(), &st) != 0) {
        state.SkipWithError("cannot write the 1 GB trajectory");
        return;
    }
    std::size_t frames = 0;
    for (auto _ : state) {
        CTrajectory index;
        if (!index.Open(path, INPUT_FILE_TYPE_XYZ)) {
            state.SkipWithError("cannot open it");
            return;
        }
        frames = index.GetFrameCount();
    }
    state.counters["frames"] = double(frames);
    state.counters["GB"] = double(st.st_size) / 1e9;
    state.counters["peak_MB"] = PeakMegabytes();
}

}  // namespace

BENCHMARK(BM_StepFrames)->Arg(30)->Arg(300)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Index1GB)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_StepAndDraw)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK_MAIN();
