// Benchmarks of periodic structures: the bond search under periodic boundary
// conditions on a silicon crystal of up to a million atoms (target: 1 s),
// beside the search that ignores the boundary, on the same positions.
#include <benchmark/benchmark.h>

#include <random>

#include "model/model.h"

namespace {

// n x n x n conventional diamond cells of silicon, atoms shaken a little.
void Silicon(CModel& m, int n, bool periodic)
{
    const double a = 5.431;
    const glm::dvec3 basis[8] = {{0, 0, 0},          {0.5, 0.5, 0},      {0.5, 0, 0.5},      {0, 0.5, 0.5},
                                 {0.25, 0.25, 0.25}, {0.75, 0.75, 0.25}, {0.75, 0.25, 0.75}, {0.25, 0.75, 0.75}};
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> shake(-0.05f, 0.05f);
    std::vector<glm::vec3> positions;
    for (int z = 0; z < n; ++z)
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < n; ++x)
                for (const glm::dvec3& b : basis)
                    positions.push_back(glm::vec3((glm::dvec3(x, y, z) + b) * a) +
                                        glm::vec3(shake(rng), shake(rng), shake(rng)));
    std::vector<unsigned> silicon(positions.size(), 13);
    m.PlaceAtoms(std::move(positions), std::move(silicon), glm::vec3(float(a * n)), glm::dmat3(a * n), periodic,
                 glm::dvec3(0.0));
}

void Search(benchmark::State& state, bool periodic)
{
    CModel model;
    Silicon(model, int(state.range(0)), periodic);
    for (auto _ : state) {
        model.FindBonds();
        benchmark::DoNotOptimize(model.BondCount());
    }
    state.counters["atoms"] = double(model.GetTotalAtoms());
    state.counters["bonds"] = model.BondCount();
}

void BM_PeriodicBonds(benchmark::State& state)
{
    Search(state, true);
}
void BM_BondsInsideCell(benchmark::State& state)
{
    Search(state, false);
}

}  // namespace

// 10 -> 8,000 atoms, 23 -> 97,336, 50 -> 1,000,000
BENCHMARK(BM_PeriodicBonds)->Arg(10)->Arg(23)->Arg(50)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BondsInsideCell)->Arg(10)->Arg(23)->Arg(50)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
