// Cost of one edit on a large structure: an element change (whose bonds are
// found again by testing that atom against every other) and a deletion,
// beside the whole bond search a load runs. The structure is made here: a
// jittered carbon lattice with hydrogen and oxygen mixed in.
#include <benchmark/benchmark.h>

#include <random>

#include "model/model.h"

namespace {

CModel MakeModel(long atoms)
{
    CModel m;
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> jitter(-0.2f, 0.2f);
    const unsigned elements[] = {5, 5, 5, 0, 0, 7};
    long side = 1;
    while (side * side * side < atoms)
        ++side;
    std::vector<glm::vec3> positions;
    std::vector<unsigned> kinds;
    for (long k = 0; k < atoms; ++k) {
        const float x = float(k % side), y = float(k / side % side), z = float(k / (side * side));
        positions.push_back(glm::vec3(x, y, z) * 1.5f + glm::vec3(jitter(rng), jitter(rng), jitter(rng)));
        kinds.push_back(elements[rng() % 6]);
    }
    m.SetAtoms(std::move(positions), std::move(kinds));
    return m;
}

// Turns one atom into oxygen and back: two edits a round.
void BM_ChangeAtom(benchmark::State& state)
{
    CModel m = MakeModel(state.range(0));
    const unsigned atom = m.GetTotalAtoms() / 2;
    for (auto _ : state) {
        m.ChangeAtom(atom, 7);
        m.ChangeAtom(atom, 0);
        benchmark::DoNotOptimize(m.BondCount());
    }
    state.counters["bonds"] = m.BondCount();
}

// Deletes the middle atom of a fresh copy.
void BM_DeleteAtom(benchmark::State& state)
{
    const CModel base = MakeModel(state.range(0));
    CModel m;
    for (auto _ : state) {
        state.PauseTiming();
        m = base;
        state.ResumeTiming();
        m.DeleteAtom(m.GetTotalAtoms() / 2);
        benchmark::DoNotOptimize(m.BondCount());
    }
}

// The whole bond search, what an edit would cost if it searched again.
void BM_WholeBondSearch(benchmark::State& state)
{
    CModel m = MakeModel(state.range(0));
    for (auto _ : state) {
        m.FindBonds();
        benchmark::DoNotOptimize(m.BondCount());
    }
}

BENCHMARK(BM_ChangeAtom)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DeleteAtom)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WholeBondSearch)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
