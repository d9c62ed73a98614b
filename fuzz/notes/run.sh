#!/usr/bin/env bash
# Builds one of the Notes stand-in's libFuzzer targets with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer on) and runs it for a fixed time from its seeds:
#   dxl    the DXL reader (raw items and MIME included): the bundled samples and reference exports
#   formula the selection formula evaluator: formula-seeds/
# Usage: fuzz/notes/run.sh [seconds=30] [build-dir=build-fuzz] [dxl|formula]. Exit status is
# non-zero on a finding.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
seconds=${1:-30}
build=${2:-"$root/build-fuzz"}
which=${3:-dxl}

case "$which" in
  dxl)
    target=dxl_reader_fuzz name=dxl max_len=65536
    seeds=("$root/fuzz/notes/seeds" "$root/samples" "$root/tests/data/dxl" "$root/tests/data/dxl/real") ;;
  formula)
    target=formula_fuzz name=formula max_len=4096
    seeds=("$root/fuzz/notes/formula-seeds") ;;
  *)
    echo "usage: fuzz/notes/run.sh [seconds] [build-dir] [dxl|formula]" >&2
    exit 2 ;;
esac

. "$root/fuzz/common.sh"
fuzz_target "$root" "$build" "$seconds" notes "$target" "$name" "$max_len" "$root/fuzz/notes/$name.dict" "${seeds[@]}"
