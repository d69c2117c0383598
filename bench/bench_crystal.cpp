// Benchmarks of periodic structures: the bond search under periodic boundary
// conditions on a silicon crystal of up to a million atoms (target: 1 s),
// beside the search that ignores the boundary, on the same positions.
#include <benchmark/benchmark.h>

#include <random>

#include "model/model.h"

namespace {

// n x n x n conventional diamond cells of silicon, atoms shaken a little.
void Silicon(CModel& m, int n) {
    const double a = 5.431;
    const glm::dvec3 basis[8] = {{0, 0, 0},       {0.5, 0.5, 0},    {0.5, 0, 0.5},    {0, 0.5, 0.5},
                                 {0.25, 0.25, 0.25}, {0.75, 0.75, 0.25}, {0.75, 0.25, 0.75}, {0.25, 0.75, 0.75}};
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> shake(-0.05f, 0.05f);
    m.v_positions.clear();
    for (int z = 0; z < n; ++z)
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < n; ++x)
                for (const glm::dvec3& b : basis)
                    m.v_positions.push_back(glm::vec3((glm::dvec3(x, y, z) + b) * a) +
                                                glm::vec3(shake(rng), shake(rng), shake(rng)));
    m.v_elements.assign(m.v_positions.size(), 13);
    m.m_cell_box = glm::dmat3(a * n);
    m.cell_origin = glm::dvec3(0.0);
}

void Search(benchmark::State& state, bool periodic) {
    CModel model;
    Silicon(model, int(state.range(0)));
    model.is_periodic = periodic;
    for (auto _ : state) {
        model.FindBonds();
        benchmark::DoNotOptimize(model.bond_count);
    }
    state.counters["atoms"] = double(model.GetTotalAtoms());
    state.counters["bonds"] = model.bond_count;
}

void BM_PeriodicBonds(benchmark::State& state) { Search(state, true); }
void BM_BondsInsideCell(benchmark::State& state) { Search(state, false); }

}  // namespace

// 10 -> 8,000 atoms, 23 -> 97,336, 50 -> 1,000,000
BENCHMARK(BM_PeriodicBonds)->Arg(10)->Arg(23)->Arg(50)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BondsInsideCell)->Arg(10)->Arg(23)->Arg(50)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
