#!/usr/bin/env bash
# Builds the tests with sanitizers and runs them under a virtual X display,
# as test.sh does. Any sanitizer report fails the test that triggered it.
#
#   tools/sanitize.sh                 AddressSanitizer and UndefinedBehaviorSanitizer
#                                     (undefined behaviour stops the program) in
#                                     build-sanitize/: build and run every test
#   tools/sanitize.sh -R tst_segy     the same, running only the matching tests
#   tools/sanitize.sh thread          ThreadSanitizer in build-tsan/: builds and runs
#                                     the engine tests (worker pool, forward and
#                                     inversion splits), which need no window
#   tools/sanitize.sh thread -R tst_parallel
#                                     the same, running only the matching ones
#   TOLMERA_SANITIZE_LEAKS=1 tools/sanitize.sh
#                                     report leaks too (Qt, fontconfig and Mesa
#                                     keep memory until exit, so expect noise)
#   TOLMERA_SANITIZE_JOBS=8 tools/sanitize.sh
#                                     build and test jobs (default: half the cores,
#                                     so the machine stays usable)
#
# The out-of-memory cases of tst_inversion_window and tst_layered_window cap
# the address space (RLIMIT_AS) just above the test's own size, which
# AddressSanitizer's shadow memory cannot live with: they fail here only.
#
# Sanitized builds get the default build of the engine's cloned loops only
# (engine/target_clones.h): their resolvers would run before the sanitizer's
# runtime is ready.
#
# Other arguments are handed to ctest. Not part of CI: the build takes a while
# and the tests run several times slower than in build/.
set -euo pipefail
cd "$(dirname "$0")/.."
mode=address
if [ "${1:-}" = thread ]; then
  mode=thread
  shift
fi
cores=$(nproc 2>/dev/null || echo 2)
jobs=${TOLMERA_SANITIZE_JOBS:-$(( cores > 1 ? cores / 2 : 1 ))}

export LIBGL_ALWAYS_SOFTWARE=1
export GALLIUM_DRIVER=llvmpipe

if [ "$mode" = thread ]; then
  dir=build-tsan
  flags="-fsanitize=thread -fno-omit-frame-pointer"
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOLMERA_BUILD_TESTS=ON -DTOLMERA_BUILD_BENCH=OFF \
    -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread"
  # The engine tests: those of tests/engine linked with the engine library alone.
  targets=$(sed -n 's/^tolmera_add_test(\([A-Za-z0-9_]*\) .*LIBS tolmera_engine\( [^)]*\)\?)$/\1/p' \
    tests/engine/CMakeLists.txt)
  [ -n "$targets" ] || { echo "No engine tests found in tests/engine/CMakeLists.txt" >&2; exit 1; }
  # shellcheck disable=SC2086
  cmake --build "$dir" -j"$jobs" --target $targets
  export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/tools/tsan.supp${TSAN_OPTIONS:+:$TSAN_OPTIONS}"
  xvfb-run -a -s '-screen 0 1280x1024x24' \
    ctest --test-dir "$dir" --output-on-failure -j"$jobs" -R "^($(echo $targets | tr ' ' '|'))\$" "$@"
  exit
fi

dir=build-sanitize
flags="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOLMERA_BUILD_TESTS=ON -DTOLMERA_BUILD_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined"
cmake --build "$dir" -j"$jobs"

leaks=${TOLMERA_SANITIZE_LEAKS:-0}
export ASAN_OPTIONS="detect_leaks=$leaks:abort_on_error=1:detect_stack_use_after_return=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"
xvfb-run -a -s '-screen 0 1280x1024x24' \
  ctest --test-dir "$dir" --output-on-failure -j"$jobs" "$@"
