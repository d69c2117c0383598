#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each campaign: one per
# reader, and one over frames, Wrap, edits, undo, Repeat and saves. The whole
# library is built with UBSan fatal, and a "runtime error" in a log fails the
# run even so.
#   FUZZ_SECONDS  seconds per target (default 60)
#   FUZZ_RUNS     stop a target after this many executions instead (optional)
#   FUZZ_SEED     libFuzzer's random seed (optional; with FUZZ_RUNS a repeatable run)
#   FUZZ_TARGETS  which targets (default: xyz vasp vasp_potcar pdb frames cif mmcif lammps_data lammps_dump volume)
#   FUZZ_NO_BUILD set to use the targets already built
#   FUZZ_BUILD    the build folder (default build-fuzz)
# Seeds come from tests/data; findings land in fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${FUZZ_SECONDS:-60}"
build="${FUZZ_BUILD:-build-fuzz}"
if [ -z "${FUZZ_NO_BUILD:-}" ]; then
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESK_FUZZ=ON -DTESK_TESTS=OFF \
  -DCMAKE_C_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined" \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined" >/dev/null
cmake --build "$build" -j"$(nproc)" --target fuzz_xyz fuzz_vasp fuzz_vasp_potcar fuzz_pdb fuzz_frames fuzz_cif \
  fuzz_mmcif fuzz_lammps_data fuzz_lammps_dump fuzz_volume >/dev/null
fi

mkdir -p fuzz/artifacts
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
status=0
for name in ${FUZZ_TARGETS:-xyz vasp vasp_potcar pdb frames cif mmcif lammps_data lammps_dump volume}; do
  corpus="fuzz/corpus-$name"
  mkdir -p "$corpus"
  seeds=(fuzz/seeds/"$name" tests/data/fuzz/"${name%_potcar}")
  case $name in
    xyz) seeds+=(tests/data/xyz tests/data/bad/xyz examples/water.xyz examples/silicon.xyz) ;;
    vasp|vasp_potcar) seeds+=(tests/data/vasp tests/data/bad/vasp examples/rutile/POSCAR examples/quartz-plain/POSCAR) ;;
    pdb) seeds+=(tests/data/pdb tests/data/bad/pdb examples/ethanol.pdb) ;;
    cif) seeds+=(tests/data/formats/salt.cif tests/data/bad/cif) ;;
    mmcif) seeds+=(tests/data/formats/two.mmcif tests/data/bad/mmcif) ;;
    lammps_data) seeds+=(tests/data/formats/water.data tests/data/bad/lammps-data) ;;
    lammps_dump) seeds+=(tests/data/formats/two.dump tests/data/bad/lammps-dump) ;;
  esac
  for s in "${seeds[@]}"; do
    [ -e "$s" ] || continue
    if [ -d "$s" ]; then find "$s" -type f -exec cp {} "$corpus"/ \; ; else cp "$s" "$corpus"/; fi
  done
  if [ "$name" = frames ]; then
    # a format byte and sixteen operations before each trajectory of the tests
    for f in tests/data/frames/*; do
      case $f in *.xyz) c='\x00' ;; *.pdb) c='\x02' ;; *) c='\x01' ;; esac
      { printf "$c"'\x00\x08\x01\x07\x02\x03\x0f\x17\x04\x05\x06\x0e\x10\x02\x01\x1f'; cat "$f"; } >"$corpus/seed-${f##*/}"
    done
  fi
  limit=(-max_total_time="$seconds")
  [ -n "${FUZZ_RUNS:-}" ] && limit+=(-runs="$FUZZ_RUNS")
  [ -n "${FUZZ_SEED:-}" ] && limit+=(-seed="$FUZZ_SEED")
  echo "fuzz_$name: ${seconds}s"
  if ! "$build/fuzz/fuzz_$name" "$corpus" "${limit[@]}" -max_len=16384 -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix="fuzz/artifacts/$name-" -print_final_stats=1 >/dev/null 2>"fuzz/artifacts/$name.log" ||
     grep -q "runtime error" "fuzz/artifacts/$name.log"; then
    echo "fuzz_$name found a problem: see fuzz/artifacts/$name.log"
    grep -m5 "runtime error" "fuzz/artifacts/$name.log" || tail -40 "fuzz/artifacts/$name.log"
    status=1
  fi
  grep -E "stat::number_of_executed_units|stat::peak_rss_mb" "fuzz/artifacts/$name.log" | sed "s/^/  /"
done
exit $status
