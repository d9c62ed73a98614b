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

. "$root/fuzz/common.sh"
fuzz_target "$root" "$build" "$seconds" pim_names "$target" "$which" 4096 "$root/fuzz/pim_names/$which.dict" \
  "$root/fuzz/pim_names/$which-seeds"
