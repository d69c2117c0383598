#!/usr/bin/env bash
# Times the whole load of the same generated XYZ files in Tesk (tesk_load),
# Open Babel (obabel -ixyz FILE -as -ocml: reads and connects by distance,
# skips bond orders) and ASE (ase.io.read plus a neighbour list with Tesk's
# criterion), prints each time, peak memory and the ratios, and checks that
# Tesk finds the bonds ASE's neighbour list finds under Tesk's criterion.
#
#   bench/compare.sh [SIZE ...]      default sizes: 10000 100000 1000000
#   OBABEL_TIMEOUT=SECONDS           give up on one Open Babel run after this long (default 900)
set -euo pipefail
cd "$(dirname "$0")/.."
sizes=("$@")
[ ${#sizes[@]} -eq 0 ] && sizes=(10000 100000 1000000)
scripts/install-deps.sh --bench
scripts/build.sh build-bench -DTESK_BENCH=ON -DTESK_TESTS=OFF >/dev/null
/usr/bin/python3 bench/generate.py bench/data "${sizes[@]}"
timeout_obabel="${OBABEL_TIMEOUT:-900}"

# runs a command; leaves its wall time in $mt, its peak memory (KB) in $mm
# and its output in $out
measure() {
  local log
  log=$(mktemp)
  out=$(/usr/bin/time -f "%e %M" -o "$log" "$@" 2>/dev/null) || true
  read -r mt mm < <(tail -1 "$log")
  rm -f "$log"
}

printf "%-10s %-8s %10s %10s %12s %10s %8s\n" atoms tool seconds peak_MB bytes/atom bonds ratio
status=0
for n in "${sizes[@]}"; do
  file="bench/data/water-$n.xyz"
  measure build-bench/bench/tesk_load xyz "$file"
  t_tesk=$mt m_tesk=$mm
  b_tesk=$(sed -n 's/.*bonds \([0-9]*\).*/\1/p' <<<"$out")
  measure /usr/bin/python3 bench/ase_load.py "$file" include/elements.h
  t_ase=$mt m_ase=$mm
  b_ase=$(sed -n 's/.*bonds \([0-9]*\).*/\1/p' <<<"$out")
  e_ase=$(sed -n 's/.*exact \([0-9]*\).*/\1/p' <<<"$out")
  measure timeout "$timeout_obabel" sh -c "obabel -ixyz '$file' -as -ocml 2>/dev/null | grep -c '<bond '"
  t_ob=$mt m_ob=$mm
  b_ob=$(tr -d '[:space:]' <<<"$out")
  for row in "tesk $t_tesk $m_tesk $b_tesk" "ase $t_ase $m_ase $b_ase" "obabel $t_ob $m_ob $b_ob"; do
    read -r tool t m b <<<"$row"
    awk -v n="$n" -v tool="$tool" -v t="$t" -v m="$m" -v b="$b" -v base="$t_tesk" 'BEGIN {
      printf "%-10d %-8s %10.2f %10.1f %12.0f %10s %7.1fx\n", n, tool, t, m / 1024, m * 1024 / n, b, t / base }'
  done
  if [ "$b_tesk" != "$e_ase" ]; then
    echo "bond counts differ for $n atoms: tesk $b_tesk, ase under Tesk's float criterion $e_ase"
    status=1
  elif [ "$b_tesk" != "$b_ase" ]; then
    echo "$n atoms: ASE in double precision counts $b_ase; the $((b_tesk - b_ase)) pair(s) between lie within float rounding of the cutoff"
  fi
done
exit $status
