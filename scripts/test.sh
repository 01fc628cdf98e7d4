#!/usr/bin/env bash
# Installs what is missing, builds Moxel with warnings as errors and runs the whole test suite
# three times: a normal build, one under AddressSanitizer and UndefinedBehaviorSanitizer, and one
# under ThreadSanitizer (the collection, the local server and the shell run threads side by side).
# The sanitizer builds leave out the benchmarks, which no test runs.
# The tests start the servers they talk to (on loopback) themselves.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh test
jobs=$(nproc)

run_suite() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -G Ninja -DMOXEL_WERROR=ON "$@"
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs"
}

run_suite build/test -DCMAKE_BUILD_TYPE=RelWithDebInfo
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_suite build/sanitize -DCMAKE_BUILD_TYPE=Debug -DMOXEL_SANITIZE=ON -DMOXEL_BUILD_BENCH=OFF
# Optimised like the normal build: ThreadSanitizer slows every memory access, and the tests that
# start the program and real servers would otherwise crowd their time limits.
TSAN_OPTIONS="halt_on_error=1:suppressions=$PWD/scripts/tsan.supp" \
  run_suite build/tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMOXEL_TSAN=ON -DMOXEL_BUILD_BENCH=OFF
echo "All tests passed."
