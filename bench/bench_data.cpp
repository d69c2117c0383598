// Benchmarks of the structure data: CModel::ReadFile with bonds per format
// and size, and the bond search alone. Inputs come from bench/generate.py
// (bench/run.sh makes them); TESK_BENCH_DATA names their folder.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <sys/resource.h>

#include "model/model.h"

namespace {

std::string DataFolder()
{
    const char* env = std::getenv("TESK_BENCH_DATA");
    return env ? env : "bench/data";
}

struct Input {
    int format;
    std::string folder, path;
};

Input InputFor(int format, long atoms)
{
    const std::string stem = DataFolder() + "/water-" + std::to_string(atoms);
    if (format == INPUT_FILE_TYPE_VSP)
        return {format, stem + "-vasp", stem + "-vasp/POSCAR"};
    if (format == INPUT_FILE_TYPE_PDB)
        return {format, DataFolder(), stem + ".pdb"};
    if (format == int(io::Format::LammpsDump))
        return {format, DataFolder(), stem + ".dump"};
    if (format == int(io::Format::Mmcif))
        return {format, DataFolder(), stem + ".cif"};
    return {format, DataFolder(), stem + ".xyz"};
}

void BM_ReadFile(benchmark::State& state)
{
    const Input in = InputFor(int(state.range(0)), state.range(1));
    CModel model;
    for (auto _ : state) {
        if (!model.ReadFile(in.folder, in.path, in.format)) {
            state.SkipWithError(("cannot read " + in.path).c_str());
            return;
        }
        benchmark::DoNotOptimize(model.BondCount());
    }
    state.counters["atoms"] = model.GetTotalAtoms();
    state.counters["bonds"] = model.BondCount();
    state.counters["atoms/s"] =
        benchmark::Counter(double(model.GetTotalAtoms()), benchmark::Counter::kIsIterationInvariantRate);
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_bytes/atom"] = double(usage.ru_maxrss) * 1024.0 / double(model.GetTotalAtoms());
}

// Spreads of atoms a search over the bounding box handles badly: shape 0
// two far blobs, 1 a thin diagonal line, 2 every atom at one point.
void BM_ReadShape(benchmark::State& state)
{
    static const char* const shapes[] = {"blobs", "line", "point"};
    const std::string path =
        DataFolder() + "/" + shapes[state.range(0)] + "-" + std::to_string(state.range(1)) + ".xyz";
    CModel model;
    for (auto _ : state) {
        if (!model.ReadFile(DataFolder(), path, INPUT_FILE_TYPE_XYZ)) {
            state.SkipWithError(("cannot read " + path).c_str());
            return;
        }
        benchmark::DoNotOptimize(model.BondCount());
    }
    state.counters["atoms"] = model.GetTotalAtoms();
    state.counters["bonds"] = model.BondCount();
}

// The bond search on the positions as read: the box, cut radius, cell grid
// and bonds of SetModel, the way every load runs them.
void BM_BondSearch(benchmark::State& state)
{
    const Input in = InputFor(INPUT_FILE_TYPE_XYZ, state.range(0));
    CModel model;
    if (!model.ReadFile(in.folder, in.path, in.format)) {
        state.SkipWithError(("cannot read " + in.path).c_str());
        return;
    }
    // undo the centring so the positions match the box again
    std::vector<glm::vec3> raw = model.Positions();
    for (glm::vec3& p : raw)
        p += model.Centre();
    const std::vector<unsigned> elements = model.Elements();
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<glm::vec3> positions = raw;
        std::vector<unsigned> copy = elements;
        state.ResumeTiming();
        model.SetAtoms(std::move(positions), std::move(copy));
        benchmark::DoNotOptimize(model.BondCount());
    }
    state.counters["bonds"] = model.BondCount();
    state.counters["cells"] = model.BondGridCells();
}

void Sizes(benchmark::internal::Benchmark* b)
{
    for (int format : {INPUT_FILE_TYPE_XYZ, INPUT_FILE_TYPE_VSP, INPUT_FILE_TYPE_PDB, int(io::Format::LammpsDump),
                       int(io::Format::Mmcif)})
        for (long n : {10000L, 100000L, 1000000L})
            b->Args({format, n});
}

}  // namespace

BENCHMARK(BM_ReadFile)->Apply(Sizes)->Unit(benchmark::kMillisecond)->ArgNames({"format", "atoms"});
BENCHMARK(BM_ReadShape)
    ->ArgsProduct({{0, 1, 2}, {20000, 100000, 1000000}})
    ->Unit(benchmark::kMillisecond)
    ->ArgNames({"shape", "atoms"});
BENCHMARK(BM_BondSearch)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
