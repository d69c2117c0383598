// Benchmark of saving a trajectory: 2,000 frames of a three-atom molecule
// read from an XYZ file and saved again as XYZ, every frame built into one
// text and written with one atomic save (one fsync). The input is written at
// run time into TESK_BENCH_DATA (bench/data).
#include <benchmark/benchmark.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "model/model.h"

namespace {

std::string DataFolder()
{
    const char* env = std::getenv("TESK_BENCH_DATA");
    return env ? env : "bench/data";
}

// `frames` frames of water, the oxygen moving a little from frame to frame.
std::string SmallFrames(long frames)
{
    const std::string path = DataFolder() + "/frames-" + std::to_string(frames) + ".xyz";
    ::mkdir(DataFolder().c_str(), 0777);
    std::FILE* f = std::fopen(path.c_str(), "w");
    if (!f)
        return std::string();
    for (long k = 0; k < frames; ++k)
        std::fprintf(f, "3\nstep=%ld energy=-3.2\nO 0 0 %.4f\nH 0 0.7572 -0.4692\nH 0 -0.7572 -0.4692\n", k,
                     0.1173 + 0.001 * double(k % 100));
    std::fclose(f);
    return path;
}

void BM_SaveSmallFrames(benchmark::State& state)
{
    const std::string in = SmallFrames(state.range(0));
    CModel model;
    if (in.empty() || !model.ReadFile(DataFolder(), in, INPUT_FILE_TYPE_XYZ) ||
        model.GetFrameCount() != std::size_t(state.range(0))) {
        state.SkipWithError("cannot write or read the trajectory");
        return;
    }
    const std::string out = DataFolder() + "/saved-frames.xyz";
    for (auto _ : state)
        if (!model.SaveFileAs(out, INPUT_FILE_TYPE_XYZ))
            state.SkipWithError("save failed");
    state.counters["frames"] = double(state.range(0));
}
BENCHMARK(BM_SaveSmallFrames)->Arg(2000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
