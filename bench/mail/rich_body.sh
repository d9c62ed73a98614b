#!/usr/bin/env bash
# Benchmarks the bodies as the sender wrote them: the mail benchmark's synthetic database (that of
# bench/mail/run.sh: a body of about 10 KB, a 200,000-byte attachment on every tenth message)
# converted twice, once with plain text bodies and once with formatted rich text bodies (bold,
# italic and coloured runs, a bullet list, a table, a link; a picture on every tenth message),
# which the converter writes as HTML too.
# Prints both throughputs, their ratio (rich over plain; goal: at least 0.7) and the peak memory of
# each run, and of a rich run of a quarter of the messages: bodies are not held at once when the
# rich run's peak stays close to the plain run's.
# The two conversions alternate for a number of rounds, each after the page cache's dirty pages
# of the one before were written out (else one run pays for the other's 500 MB file), and the
# medians are compared, by wall-clock and by CPU time. CPU time counts every thread of the
# converter: documents are read ahead on a second one, so it can exceed the wall-clock time.
# Usage: bench/mail/rich_body.sh [messages=20000] [build-dir=build-bench-gui] [rounds=3]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
messages=${1:-20000}
build=${2:-"$root/build-bench-gui"}
rounds=${3:-3}
folders=30             # as bench/mail/run.sh
paragraphs=120
attachment_size=200000
attachment_every=10

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER_LAUNCHER=ccache >/dev/null
cmake --build "$build" --target ferrymark_gen_dxl ferrymark-convert ferrymark-verify >/dev/null

data_dir="$build/bench/mail"
mkdir -p "$data_dir"
work=$(mktemp -d "$data_dir/rich.XXXXXX")
trap 'rm -rf "$work"' EXIT

# run FORMAT MESSAGES: prints "wall-ms cpu-ms peak-kB" of one conversion.
run() {
    local data="$data_dir/bodies-$2-$1-$paragraphs-$attachment_size.dxl"
    if [ ! -f "$data" ]; then
        "$build/bench/notes/ferrymark_gen_dxl" --out "$data.part" --messages "$2" --folders "$folders" \
            --body-paragraphs "$paragraphs" --attachment-size "$attachment_size" --attachment-every "$attachment_every" \
            --body-format "$1"
        mv "$data.part" "$data"
    fi
    rm -rf "$work/out" "$work/tmp" && mkdir -p "$work/out" "$work/tmp"
    cat "$data" >/dev/null
    sync
    local start end
    start=$(date +%s%N)
    QT_QPA_PLATFORM=offscreen FERRYMARK_PROFILE="$work/profile" TMPDIR="$work/tmp" \
        /usr/bin/time -v -o "$work/time.txt" \
        "$build/src/app/ferrymark-convert" --only emails --format unicode --out "$work/out" "$data" \
        >"$work/convert.txt" 2>"$work/convert-errors.txt" || {
        tail -n 5 "$work/convert.txt" "$work/convert-errors.txt" >&2
        exit 1
    }
    end=$(date +%s%N)
    local user sys
    user=$(sed -n 's/.*User time (seconds): //p' "$work/time.txt")
    sys=$(sed -n 's/.*System time (seconds): //p' "$work/time.txt")
    echo "$(((end - start) / 1000000)) $(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%d", (u + s) * 1000 }')" \
        "$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/time.txt")"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

: >"$work/plain.txt"
: >"$work/rich.txt"
for ((round = 1; round <= rounds; ++round)); do
    run 1 "$messages" >>"$work/plain.txt"
    run 2 "$messages" >>"$work/rich.txt"
done
plain_ms=$(cut -d' ' -f1 "$work/plain.txt" | median)
plain_cpu=$(cut -d' ' -f2 "$work/plain.txt" | median)
plain_kb=$(cut -d' ' -f3 "$work/plain.txt" | median)
rich_ms=$(cut -d' ' -f1 "$work/rich.txt" | median)
rich_cpu=$(cut -d' ' -f2 "$work/rich.txt" | median)
rich_kb=$(cut -d' ' -f3 "$work/rich.txt" | median)
read -r quarter_ms _ quarter_kb < <(run 2 $((messages / 4)))
awk -v n="$messages" -v pm="$plain_ms" -v rm="$rich_ms" -v pk="$plain_kb" -v rk="$rich_kb" -v qk="$quarter_kb" \
    -v qm="$quarter_ms" -v pc="$plain_cpu" -v rc="$rich_cpu" -v rounds="$rounds" 'BEGIN {
    printf "medians of %d alternating rounds\n", rounds
    printf "plain text bodies:  %d messages in %.1f s (CPU %.1f s), %.0f messages/s, peak %.0f MB\n", n, pm / 1000, pc / 1000, n * 1000 / pm, pk / 1024
    printf "rich text bodies:   %d messages in %.1f s (CPU %.1f s), %.0f messages/s, peak %.0f MB\n", n, rm / 1000, rc / 1000, n * 1000 / rm, rk / 1024
    printf "rich, quarter size: %d messages in %.1f s, peak %.0f MB\n", n / 4, qm / 1000, qk / 1024
    printf "throughput ratio rich/plain: %.2f by wall-clock time, %.2f by CPU time (goal: at least 0.7)\n", pm / rm, pc / rc
    printf "peak memory rich/plain: %.2f, rich full/quarter: %.2f (the index and the PST layer grow with\n", rk / pk, rk / qk
    printf "the messages in both runs; bodies held at once would show as rich/plain growing with them)\n"
}'
