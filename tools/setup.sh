#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need (only the missing
# ones), then configures and builds in build/.
#
#   tools/setup.sh [cmake options...]   install, configure, build everything
#   tools/setup.sh --packages-only      install only
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(
  build-essential cmake pkg-config
  qtbase5-dev libqt5datavisualization5-dev qtscript5-dev libqcustomplot-dev
  ocl-icd-opencl-dev opencl-clhpp-headers pocl-opencl-icd
  xvfb xauth libgl1-mesa-dri
  python3 python3-sklearn python3-numpy
  libfftw3-dev gdal-bin python3-segyio libbenchmark-dev
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

if [ "${1:-}" = "--packages-only" ]; then
  exit 0
fi

jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
cmake --build build -j"$jobs"
