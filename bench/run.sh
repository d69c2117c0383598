#!/usr/bin/env bash
# Generates the benchmark inputs and runs the Google Benchmark programs:
# loading per format and size, the bond search, and (on a virtual screen)
# drawing and picking. bench/compare.sh compares with other tools.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build-bench -DTESK_BENCH=ON -DTESK_TESTS=OFF >/dev/null
/usr/bin/python3 bench/generate.py bench/data 1000 10000 20000 100000 1000000
/usr/bin/python3 bench/volume_generate.py bench/data 160
/usr/bin/python3 bench/silicon_generate.py bench/data 10000 100000 1000000 >/dev/null
export TESK_BENCH_DATA="$PWD/bench/data"
build-bench/bench/bench_data --benchmark_min_time=1 "$@"
build-bench/bench/bench_ui --benchmark_min_time=1 "$@"
build-bench/bench/bench_edit --benchmark_min_time=1 "$@"
build-bench/bench/bench_save "$@"
xvfb-run -a -s "-screen 0 1280x1024x24" build-bench/bench/bench_trajectory "$@"
xvfb-run -a -s "-screen 0 1280x1024x24" build-bench/bench/bench_volume "$@"
# Tesk beside the floor (only what shows, drawn once), one size after the other
xvfb-run -a -s "-screen 0 1280x1024x24" build-bench/bench/floor_render "$@"
if [ -x build-bench/bench/bench_render ]; then
  xvfb-run -a -s "-screen 0 1280x1024x24" build-bench/bench/bench_render --benchmark_min_time=1 "$@"
fi
# figures without a display, the load included: 100,000 atoms to 1920 x 1080
scripts/build.sh build >/dev/null
bench/render_file.sh build/tesk
bench/render_file.sh build/tesk --bonds on
bench/render_file.sh build/tesk --perspective --bonds on
