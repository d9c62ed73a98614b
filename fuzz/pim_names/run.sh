#!/usr/bin/env bash
# Builds one of the libFuzzer targets for the user's names input and the calendar items with
# clang (AddressSanitizer and UndefinedBehaviorSanitizer on) and runs it for a fixed time from
# its seeds:
#   names     the names file, the address rule and the names resolved with them: names-seeds/
#   calendar  time zone strings and repeat rules with their instances: calendar-seeds/
# Usage: fuzz/pim_names/run.sh [seconds=30] [build-dir=build-fuzz] [names|calendar]. Exit status
# is non-zero on a finding.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
seconds=${1:-30}
build=${2:-"$root/build-fuzz"}
which=${3:-names}

case "$which" in
  names | calendar) target=${which}_fuzz ;;
  *)
    echo "usage: fuzz/pim_names/run.sh [seconds] [build-dir] [names|calendar]" >&2
    exit 2 ;;
esac

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DFERRYMARK_GUI=OFF -DFERRYMARK_FUZZ=ON \
  -DFERRYMARK_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link \
  >/dev/null
cmake --build "$build" --target "$target"

corpus="$build/fuzz/pim_names/$which-corpus"
artifacts="$build/fuzz/pim_names/$which-artifacts/"
mkdir -p "$corpus" "$artifacts"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
exec "$build/fuzz/pim_names/$target" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
  -rss_limit_mb=2048 -dict="$root/fuzz/pim_names/$which.dict" -artifact_prefix="$artifacts" \
  -print_final_stats=1 "$corpus" "$root/fuzz/pim_names/$which-seeds"
