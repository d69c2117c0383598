#!/usr/bin/env bash
# Times the load of the same synthetic CHGCAR (bench/volume_generate.py) and
# its first isosurface at the same level in Tesk (tesk_volume) and in ASE's
# reader plus scikit-image's marching cubes, then a surface at half the
# level; prints wall time, CPU time and peak memory of each, and the ratio.
#
#   bench/volume_compare.sh [N ...]     grid sizes, default 160
set -euo pipefail
cd "$(dirname "$0")/.."
sizes=("$@")
[ ${#sizes[@]} -eq 0 ] && sizes=(160)
scripts/install-deps.sh --bench
scripts/build.sh build-bench -DTESK_BENCH=ON -DTESK_TESTS=OFF >/dev/null
/usr/bin/python3 bench/volume_generate.py bench/data "${sizes[@]}"
for n in "${sizes[@]}"; do
  file="bench/data/CHGCAR-$n"
  build-bench/bench/tesk_volume "$file" >/dev/null  # the file in the page cache for both
  level=$(build-bench/bench/tesk_volume "$file" | sed 's/.* level \([^ ]*\) .*/\1/')
  for tool in tesk ase; do
    log=$(mktemp)
    if [ $tool = tesk ]; then
      out=$(/usr/bin/time -f "%e %U %S %M" -o "$log" build-bench/bench/tesk_volume "$file" "$level")
    else
      out=$(/usr/bin/time -f "%e %U %S %M" -o "$log" /usr/bin/python3 bench/ase_volume.py "$file" "$level")
    fi
    read -r wall user sys peak < <(tail -1 "$log")
    rm -f "$log"
    echo "$n^3 $tool: $out | process wall ${wall}s cpu $(awk -v u="$user" -v s="$sys" 'BEGIN{print u+s}')s peak $((peak / 1024)) MB"
  done
done
