#!/usr/bin/env bash
# Installs what is missing, builds the program in build/ and starts Tolmera3D
# in the directory this script was called from (the inversion's log folder
# and other relative paths are then yours, not the checkout's).
#
# CMake is configured only when build/ has no configuration yet, and only the
# program's own target (with the machine-learning scripts beside it) is
# built, so a second start with an up-to-date build takes a few seconds.
# ./test.sh configures and builds everything, tests included.
set -euo pipefail
src="$(cd "$(dirname "$0")" && pwd)"
build="$src/build"

"$src/tools/setup.sh" --packages-only
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOLMERA_BUILD_TESTS=ON
fi
jobs=$(nproc 2>/dev/null || echo 2)
cmake --build "$build" -j"$jobs" --target Tolmera3D

# "python" for the machine-learning process: the system interpreter with
# scikit-learn (the program runs "python" from the search path).
mkdir -p "$build/pybin"
ln -sf /usr/bin/python3 "$build/pybin/python"
export PATH="$build/pybin:$PATH"
exec "$build/src/app/Tolmera3D" "$@"
