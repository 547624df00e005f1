#!/usr/bin/env bash
# Installs what is missing, builds in build/ and runs the whole test suite
# under a virtual X display with Mesa's software OpenGL.
set -euo pipefail
cd "$(dirname "$0")"
./tools/setup.sh -DTOLMERA_BUILD_TESTS=ON
export LIBGL_ALWAYS_SOFTWARE=1
export GALLIUM_DRIVER=llvmpipe
jobs=$(nproc 2>/dev/null || echo 2)
xvfb-run -a -s '-screen 0 1280x1024x24' \
  ctest --test-dir build --output-on-failure -j"$jobs" "$@"
