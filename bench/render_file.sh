#!/usr/bin/env bash
# Times `tesk --render` of a box of 100,000 atoms into a 1920 x 1080 PNG with
# no display, the load included: whole processes, five runs per input file,
# the median and the slowest.
#   bench/render_file.sh [TESK_BINARY] [more --render options, e.g. --bonds on]
set -euo pipefail
cd "$(dirname "$0")/.."
tesk="${1:-build/tesk}"
[ $# -gt 0 ] && shift
data=bench/data
[ -f "$data/water-100000.xyz" ] || /usr/bin/python3 bench/generate.py "$data" 100000 >/dev/null
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
for input in water-100000.xyz water-100000.pdb water-100000-vasp/POSCAR; do
  times=()
  for run in 1 2 3 4 5; do
    start=$(date +%s.%N)
    env -u DISPLAY "$tesk" --render "$data/$input" "$out/figure.png" --size 1920x1080 "$@" >/dev/null 2>"$out/err" ||
      { cat "$out/err" >&2; exit 1; }
    end=$(date +%s.%N)
    times+=("$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", b - a }')")
  done
  sorted=$(printf '%s\n' "${times[@]}" | sort -n)
  echo "$input $*: median $(echo "$sorted" | sed -n 3p) s, slowest $(echo "$sorted" | tail -1) s"
done
