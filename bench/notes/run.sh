#!/usr/bin/env bash
# Benchmarks the Notes stand-in: builds optimised, generates synthetic mail databases and prints
# the reader's speed as ratios to baselines of the same run.
# Usage: bench/notes/run.sh [messages=50000] [build-dir=build-bench]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
messages=${1:-50000}
build=${2:-"$root/build-bench"}
cmake -S "$root" -B "$build" -G Ninja -DFERRYMARK_GUI=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target ferrymark_gen_dxl ferrymark_notes_bench >/dev/null
work="$build/bench/notes/data"
mkdir -p "$work"
gen="$build/bench/notes/ferrymark_gen_dxl"
bench="$build/bench/notes/ferrymark_notes_bench"

echo "== small mail: $messages messages, no attachments"
"$gen" --out "$work/small.dxl" --messages "$messages" --folders 12
"$bench" "$work/small.dxl"
echo
echo "== mail with attachments: $((messages / 20)) messages, 256 KiB on every second one"
"$gen" --out "$work/attachments.dxl" --messages $((messages / 20)) --attachment-size 262144 --attachment-every 2
"$bench" "$work/attachments.dxl"
echo
echo "== native MIME mail against rich text mail: $messages messages"
"$gen" --out "$work/mime.dxl" --messages "$messages" --folders 12 --native-mime 1
"$bench" "$work/mime.dxl" | grep -E '^(database|open|documents read)' | tee "$work/mime.txt"
"$bench" "$work/small.dxl" | grep -E '^(documents read)' > "$work/rich.txt"
rate() { awk '/^documents read/ { sub("/s", "", $3); print $3 }' "$1"; }
awk -v a="$(rate "$work/mime.txt")" -v b="$(rate "$work/rich.txt")" \
  'BEGIN { printf "documents read, native MIME / rich text: %.2f   [goal >= 0.7]\n", a / b }'
echo
echo "== views by entries against views by selection formula: $((messages * 2)) messages"
"$gen" --out "$work/entries.dxl" --messages $((messages * 2)) --folders 12
"$gen" --out "$work/formulas.dxl" --messages $((messages * 2)) --folders 12 --view-formulas 1
echo "-- entries"
"$bench" "$work/entries.dxl" | grep -E '^(database|open|view)' | tee "$work/entries.txt"
echo "-- formulas"
"$bench" "$work/formulas.dxl" | grep -E '^(database|open|view)' | tee "$work/formulas.txt"
# The scan of the calendar and to-do views, open included: by formula as a ratio to by entries.
seconds() { awk -v v="view $2" 'index($0, v) == 1 { for (i = 1; i <= NF; ++i) if ($i == "in") print $(i + 1) }' "$1"; }
for view in '($Calendar)' '($ToDo)'; do
  awk -v a="$(seconds "$work/formulas.txt" "$view")" -v b="$(seconds "$work/entries.txt" "$view")" -v v="$view" \
    'BEGIN { printf "view %-12s by formula / by entries: %.2f   [goal <= 1.5]\n", v, a / b }'
done
