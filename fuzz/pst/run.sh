#!/usr/bin/env bash
# Builds the PST verifier's libFuzzer target with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer on) and runs it for a fixed time, starting from the Outlook-written
# files in tests/data/pst.
# Usage: fuzz/pst/run.sh [seconds=30] [build-dir=build-fuzz]. Exit status is non-zero on a finding.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
seconds=${1:-30}
build=${2:-"$root/build-fuzz"}

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DFERRYMARK_GUI=OFF -DFERRYMARK_FUZZ=ON \
  -DFERRYMARK_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link >/dev/null
cmake --build "$build" --target pst_verify_fuzz

corpus="$build/fuzz/pst/corpus"
mkdir -p "$corpus"
artifacts="$build/fuzz/pst/artifacts/"
mkdir -p "$artifacts"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
exec "$build/fuzz/pst/pst_verify_fuzz" -max_total_time="$seconds" -max_len=300000 -timeout=10 \
  -rss_limit_mb=2048 -artifact_prefix="$artifacts" -print_final_stats=1 "$corpus" "$root/tests/data/pst"
