#!/usr/bin/env bash
# Builds the test suite with AddressSanitizer and UndefinedBehaviorSanitizer
# in build-sanitize/ and runs it under a virtual X display, as test.sh does.
# Any sanitizer report fails the test that triggered it (undefined behaviour
# stops the program instead of going on).
#
#   tools/sanitize.sh                 build and run every test
#   tools/sanitize.sh -R tst_segy     build, then run only the matching tests
#   TOLMERA_SANITIZE_LEAKS=1 tools/sanitize.sh
#                                     report leaks too (Qt, fontconfig and Mesa
#                                     keep memory until exit, so expect noise)
#
# The out-of-memory cases of tst_inversion_window and tst_layered_window cap
# the address space (RLIMIT_AS) just above the test's own size, which
# AddressSanitizer's shadow memory cannot live with: they fail here only.
#
# Arguments are handed to ctest. Not part of CI: the build takes a while and
# the tests run several times slower than in build/.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=build-sanitize
jobs=${TOLMERA_SANITIZE_JOBS:-$(nproc 2>/dev/null || echo 2)}
flags="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"

cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOLMERA_BUILD_TESTS=ON -DTOLMERA_BUILD_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined"
cmake --build "$dir" -j"$jobs"

leaks=${TOLMERA_SANITIZE_LEAKS:-0}
export ASAN_OPTIONS="detect_leaks=$leaks:abort_on_error=1:detect_stack_use_after_return=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"
export LIBGL_ALWAYS_SOFTWARE=1
export GALLIUM_DRIVER=llvmpipe
xvfb-run -a -s '-screen 0 1280x1024x24' \
  ctest --test-dir "$dir" --output-on-failure -j"$jobs" "$@"
