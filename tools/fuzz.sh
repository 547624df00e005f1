#!/usr/bin/env bash
# Builds the reader fuzz targets with Clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) in build-fuzz/ and runs them side by side.
#
#   tools/fuzz.sh [seconds] [reader...]
#
# seconds: how long each target runs (default 60); readers: any of
# cube_file surfer_grid segy effects_file project bln fault_sticks xyz
# mean_density (default: all). At most TOLMERA_FUZZ_JOBS targets run at once
# and the build uses as many jobs (default: half the cores, so the machine
# stays usable); the others wait for a free slot. Each target starts from its seeds in
# fuzz/corpus/<reader>/ and keeps what it finds in build-fuzz/work/<reader>/
# (the seeds in the tree are not touched); an input that crashes a reader is
# written to build-fuzz/artifacts/<reader>/ and the script says so at the end.
# Once the reader is fixed, copy that input to fuzz/corpus/<reader>/ (named
# crash-<what it did>) so ./test.sh keeps running it.
set -uo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
readers=("$@")
[ ${#readers[@]} -gt 0 ] || readers=(cube_file surfer_grid segy effects_file project bln fault_sticks xyz mean_density)
dir=build-fuzz
command -v clang++ >/dev/null || { echo "The fuzz targets need Clang: apt-get install clang" >&2; exit 1; }

cores=$(nproc 2>/dev/null || echo 2)
jobs=${TOLMERA_FUZZ_JOBS:-$(( cores > 1 ? cores / 2 : 1 ))}

CC=clang CXX=clang++ cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOLMERA_BUILD_FUZZERS=ON \
  -DTOLMERA_BUILD_TESTS=OFF -DTOLMERA_BUILD_BENCH=OFF >/dev/null || exit 1
cmake --build "$dir" -j"$jobs" --target fuzzers || exit 1

# The readers take files: their scratch copies go to memory when it can.
[ -d /dev/shm ] && export TMPDIR=/dev/shm
failed=0
declare -A reader_of=()
# Waits for one running target and reports it.
reap() {
  local pid
  wait -n -p pid
  local status=$?
  local r=${reader_of[$pid]}
  unset "reader_of[$pid]"
  if [ $status -eq 0 ]; then
    echo "$r: $(grep -h '^Done' "$dir/work/$r.log" | tail -1)"
  else
    failed=1
    echo "$r: FAILED, see $dir/work/$r.log and $dir/artifacts/$r/"
  fi
}
for r in "${readers[@]}"; do
  [ ${#reader_of[@]} -lt "$jobs" ] || reap
  mkdir -p "$dir/work/$r" "$dir/artifacts/$r"
  "$dir/fuzz/fuzz_$r" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$dir/artifacts/$r/" "$dir/work/$r" "fuzz/corpus/$r" >"$dir/work/$r.log" 2>&1 &
  reader_of[$!]=$r
done
while [ ${#reader_of[@]} -gt 0 ]; do
  reap
done
exit $failed
