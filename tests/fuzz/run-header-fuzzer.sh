#!/usr/bin/env bash
# Builds the header fuzzer with clang (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer)
# and runs it over a scratch copy of the checked-in corpus and the sample messages.
# Usage: tests/fuzz/run-header-fuzzer.sh [seconds, default 60] [extra libFuzzer options...]
# Exits non-zero when the fuzzer finds a crash, a hang or a broken rule; the input is written
# to build/fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/../.."

seconds=${1:-60}
shift || true

CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DMOXEL_FUZZ=ON -DMOXEL_BUILD_BENCH=OFF >/dev/null
cmake --build build/fuzz --target header_fuzzer -j 2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp tests/fuzz/corpus/* tests/database/messages/*.eml "$work"/
mkdir -p build/fuzz/findings

# -timeout catches inputs that make the parser slow (quadratic work); -max_len allows the
# 100 KB header lines real mail can carry.
build/fuzz/tests/fuzz/header_fuzzer "$work" \
  -max_total_time="$seconds" -max_len=262144 -timeout=10 -rss_limit_mb=2048 \
  -artifact_prefix=build/fuzz/findings/ -print_final_stats=1 "$@"
