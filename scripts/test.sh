#!/usr/bin/env bash
# Installs what the tests need, builds Tesk twice (plain, and with
# AddressSanitizer + UndefinedBehaviorSanitizer) and runs every test of
# both builds on a virtual screen, then a short fuzzing run of each reader.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

passed=0
run_ctest() {
  # GL and GUI tests draw into a real context on a virtual X screen
  local dir="$1" log
  shift
  log=$(mktemp)
  xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" ctest --test-dir "$dir" --output-on-failure -j1 "$@" | tee "$log"
  passed=$((passed + $(sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\).*/\1/p' "$log")))
  rm -f "$log"
}

echo "== plain build"
scripts/build.sh build -DTESK_TESTS=ON -DCMAKE_COMPILE_WARNING_AS_ERROR=ON
run_ctest build

echo "== sanitizer build (address, undefined)"
# built with clang and libFuzzer's coverage hooks, so that the fuzz targets
# come from the same build instead of a third one
fuzz_flags=-fsanitize=fuzzer-no-link
CC=clang CXX=clang++ scripts/build.sh build-asan -DTESK_TESTS=ON -DTESK_SANITIZE=ON -DTESK_FUZZ=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_FLAGS="$fuzz_flags" -DCMAKE_CXX_FLAGS="$fuzz_flags"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# Leak checking covers everything that opens no GL context. Programs that do
# end with glfwTerminate unloading the Mesa driver, whose cached allocations
# LeakSanitizer then reports from an unnamed module; they run without it.
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 run_ctest build-asan -E '^(gl_|gui_|app_)'
ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 run_ctest build-asan -R '^(gl_|gui_|app_)'

if [ -x fuzz/run.sh ]; then
  echo "== fuzz smoke run"
  # a fixed seed and count: the same inputs on every run, so a red run is a
  # fault of the change, not of the draw; longer campaigns: fuzz/run.sh
  FUZZ_BUILD=build-asan FUZZ_NO_BUILD=1 FUZZ_SECONDS="${FUZZ_SECONDS:-20}" FUZZ_RUNS="${FUZZ_RUNS:-10000}" \
    FUZZ_SEED="${FUZZ_SEED:-1}" fuzz/run.sh
fi

echo "tests: $passed passed, 0 failed"
