#!/usr/bin/env bash
# Builds the formula evaluator's libFuzzer target with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer on) and runs it for a fixed time from the seeds in formula-seeds/.
# Usage: fuzz/notes/run_formula.sh [seconds=30] [build-dir=build-fuzz]. Exit status is non-zero on a finding.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
seconds=${1:-30}
build=${2:-"$root/build-fuzz"}

extra=()
if ! grep -q 'add_subdirectory(fuzz' "$root/CMakeLists.txt"; then
  extra+=("-DCMAKE_PROJECT_INCLUDE=$root/fuzz/notes/add_fuzz.cmake")
fi
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DFERRYMARK_GUI=OFF -DFERRYMARK_FUZZ=ON \
  -DFERRYMARK_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link \
  "${extra[@]}" >/dev/null
cmake --build "$build" --target formula_fuzz

corpus="$build/fuzz/notes/formula-corpus"
artifacts="$build/fuzz/notes/formula-artifacts/"
mkdir -p "$corpus" "$artifacts"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
exec "$build/fuzz/notes/formula_fuzz" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
  -rss_limit_mb=2048 -dict="$root/fuzz/notes/formula.dict" -artifact_prefix="$artifacts" \
  -print_final_stats=1 "$corpus" "$root/fuzz/notes/formula-seeds"
