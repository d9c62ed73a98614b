#!/usr/bin/env bash
# Builds the PST verifier's libFuzzer target with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer on) and runs it for a fixed time, starting from the Outlook-written
# files in tests/data/pst.
# Usage: fuzz/pst/run.sh [seconds=30] [build-dir=build-fuzz]. Exit status is non-zero on a finding.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
seconds=${1:-30}
build=${2:-"$root/build-fuzz"}

. "$root/fuzz/common.sh"
fuzz_target "$root" "$build" "$seconds" pst pst_verify_fuzz verify 300000 "" "$root/tests/data/pst"
