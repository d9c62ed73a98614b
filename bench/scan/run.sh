#!/usr/bin/env bash
# Benchmarks the scan of a synthetic mail database through the main window, offscreen.
# Usage: bench/scan/run.sh [messages=100000] [folders=200] [build-dir=build-bench-gui]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
messages=${1:-100000}
folders=${2:-200}
build=${3:-"$root/build-bench-gui"}
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target ferrymark_gen_dxl ferrymark_scan_bench >/dev/null
data="$build/bench/scan/mail-$messages-$folders.dxl"
[ -f "$data" ] || "$build/bench/notes/ferrymark_gen_dxl" --out "$data" --messages "$messages" --folders "$folders"
start=$(date +%s%N); cat "$data" > /dev/null; end=$(date +%s%N)
echo "database: $(du -h "$data" | cut -f1), cat: $(( (end - start) / 1000000 )) ms"
"$build/bench/scan/ferrymark_scan_bench" "$data"
