#!/usr/bin/env bash
# Installs the Debian packages needed to build, run and test Tesk.
# Idempotent: packages already present are skipped by apt-get.
set -euo pipefail

packages=(
  build-essential cmake pkg-config git
  libglfw3-dev libegl-dev libimgui-dev libglm-dev libfreetype-dev python3-glad
  fonts-roboto-hinted fonts-liberation2 fonts-liberation fonts-dejavu-core
  libgtest-dev googletest libbenchmark-dev
  xvfb xauth xdotool imagemagick x11-utils
  clang libclang-rt-dev
  python3-gemmi gemmi-dev tao-pegtl-dev zlib1g-dev python3-ase
)
if [ "${1:-}" = "--bench" ]; then
  # tools Tesk is compared with in bench/compare.sh
  packages+=(openbabel python3-ase python3-skimage time)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
