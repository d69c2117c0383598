// Volumetric data: a 160^3 CHGCAR (about 75 MB of text, made by
// bench/volume_generate.py) read, its first surface at the default level,
// and a surface at a new level; and the drawing of a surface of about a
// million triangles under a real OpenGL 3.3 context (run it on Xvfb).
// Targets: read and first surface in at most 0.25 s; the million triangles
// interactive under llvmpipe.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include <glm/gtc/matrix_transform.hpp>

#include "bench_window.h"
#include "model/volume_convert.h"
#include "render/isosurface_layer.h"

namespace {

// Reads bench/data/CHGCAR-160, or marks the benchmark skipped.
bool ReadChgcar(benchmark::State& state, io::Volume& v)
{
    const char* dir = std::getenv("TESK_BENCH_DATA");
    io::Refusal why;
    if (io::ReadVolumeFile(std::string(dir ? dir : "bench/data") + "/CHGCAR-160", io::VolumeKind::Vasp, v, why))
        return true;
    state.SkipWithError("no bench/data/CHGCAR-160: run bench/volume_generate.py");
    return false;
}

void BM_ReadChgcar160(benchmark::State& state)
{
    for (auto _ : state) {
        io::Volume v;
        if (!ReadChgcar(state, v))
            return;
        benchmark::DoNotOptimize(v.grids[0].values.data());
    }
}
BENCHMARK(BM_ReadChgcar160)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReadAndFirstSurface160(benchmark::State& state)
{
    std::size_t triangles = 0;
    for (auto _ : state) {
        io::Volume v;
        if (!ReadChgcar(state, v))
            return;
        std::vector<core::IsoMesh> meshes;
        io::BuildSurfaces(v, 0, core::DefaultLevel(v.grids[0].values.data(), v.Points()), meshes);
        triangles = meshes[0].Triangles();
    }
    state.counters["triangles"] = double(triangles);
}
BENCHMARK(BM_ReadAndFirstSurface160)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_NewLevel160(benchmark::State& state)
{
    io::Volume v;
    if (!ReadChgcar(state, v))
        return;
    std::size_t triangles = 0;
    for (auto _ : state) {
        std::vector<core::IsoMesh> meshes;
        io::BuildSurfaces(v, 0, 0.3f, meshes);
        triangles = meshes[0].Triangles();
    }
    state.counters["triangles"] = double(triangles);
}
BENCHMARK(BM_NewLevel160)->Unit(benchmark::kMillisecond)->UseRealTime();

// A gyroid over a periodic 150^3 grid, five periods across: about a million
// triangles, drawn as the window draws it (blending on, as for the atoms);
// with state.range(0), the copy drawn while the view turns: from the coarser
// grid the window picks (core::TurningStep), without the faces turned away.
void BM_DrawMillionTriangles(benchmark::State& state)
{
    BenchWindow window;
    if (!window.display) {
        state.SkipWithError("no OpenGL 3.3 window: run on Xvfb");
        return;
    }
    const int n = 150;
    std::vector<float> values(std::size_t(n) * n * n);
    const double w = 2.0 * 3.14159265358979 * 5.0 / n;
    for (int k = 0, o = 0; k < n; ++k)
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i, ++o)
                values[std::size_t(o)] = float(std::sin(w * i) * std::cos(w * j) + std::sin(w * j) * std::cos(w * k) +
                                               std::sin(w * k) * std::cos(w * i));
    core::IsoGrid grid;
    grid.values = values.data();
    grid.size = glm::ivec3(n);
    grid.voxel = glm::dmat3(20.0 / n);
    grid.is_periodic = true;
    std::vector<core::IsoMesh> meshes(1);
    core::BuildIsosurface(grid, 0.3f, true, meshes[0]);
    std::vector<float> coarse;
    if (state.range(0)) {
        grid = core::CoarseGrid(grid, core::TurningStep(meshes[0].Triangles()), coarse);
        core::BuildIsosurface(grid, 0.3f, true, meshes[0]);
    }
    CIsoLayer layer;
    layer.Upload(meshes);
    const glm::mat4 P = MakeProjection(kWidth, kHeight, 20.0f);
    const glm::vec4 colours[2] = {glm::vec4(0.95f, 0.8f, 0.2f, 1.0f), glm::vec4(0.25f, 0.5f, 1.0f, 1.0f)};
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    float angle = 0.0f;
    layer.Draw(P, glm::mat4(1.0f), glm::mat4(1.0f), {glm::vec3(0.0f)}, colours);  // the shader compiled
    glFinish();
    for (auto _ : state) {
        glViewport(0, 0, kWidth, kHeight);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        // turning a little every frame, as under the mouse
        angle += 0.01f;
        const glm::mat4 V = glm::rotate(glm::mat4(1.0f), angle, glm::vec3(0.3f, 1.0f, 0.1f));
        layer.Draw(P, V, glm::translate(glm::mat4(1.0f), glm::vec3(-10.0f)), {glm::vec3(0.0f)}, colours,
                   state.range(0) != 0);
        glFinish();
    }
    state.counters["triangles"] = double(layer.Triangles());
    layer.Delete();
}
BENCHMARK(BM_DrawMillionTriangles)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
