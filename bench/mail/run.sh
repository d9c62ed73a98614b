#!/usr/bin/env bash
# Benchmarks a whole mail conversion, headless: a synthetic database of messages averaging about
# 30 KB (a body of about 10 KB, and a 200,000-byte attachment on every tenth message) goes
# through ferrymark-convert; readpst and pffexport then read the PST it wrote.
# Prints messages per second, input MB/s, the conversion time as a ratio to readpst reading the
# result (goal: at most 2.0) and to pffexport, the converter's peak memory, and the conversion time
# with a Domino Directory export of 10,000 Person documents resolving names (goal: at most 1.10).
# Usage: bench/mail/run.sh [messages=20000] [build-dir=build-bench-gui]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
messages=${1:-20000}
build=${2:-"$root/build-bench-gui"}
folders=30
paragraphs=120         # about 85 bytes each: a body of about 10 KB
attachment_size=200000 # on every tenth message: 20 KB per message on average
attachment_every=10

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER_LAUNCHER=ccache >/dev/null
cmake --build "$build" --target ferrymark_gen_dxl ferrymark-convert ferrymark-verify >/dev/null

data_dir="$build/bench/mail"
mkdir -p "$data_dir"
data="$data_dir/mail-$messages-$folders-$paragraphs-$attachment_size-$attachment_every.dxl"
if [ ! -f "$data" ]; then
    "$build/bench/notes/ferrymark_gen_dxl" --out "$data.part" --messages "$messages" --folders "$folders" \
        --body-paragraphs "$paragraphs" --attachment-size "$attachment_size" --attachment-every "$attachment_every"
    mv "$data.part" "$data"
fi

work=$(mktemp -d "$data_dir/run.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/out" "$work/tmp"

# The messages the converter takes: all but those in the ($JunkMail) and ($Follow-Up) folders,
# which it leaves out.
expected_file="$data.expected"
if [ ! -f "$expected_file" ]; then
    awk -v total="$messages" '
        /^<folder name=.\(\$(JunkMail|Follow-Up)\)./ { inside = 1 }
        inside { left_out += gsub(/<fm:entry /, "") }
        inside && /<\/folder>/ { inside = 0 }
        END { print total - left_out }' "$data" >"$expected_file"
fi
expected=$(cat "$expected_file")

ms() { echo $(((($2) - ($1)) / 1000000)); }
# Median wall time in ms of REPEAT runs (default 3) of a command writing into a fresh folder $out.
median_ms() {
    local times=() start end
    for _ in $(seq "${REPEAT:-3}"); do
        rm -rf "$work/reader" && mkdir "$work/reader"
        start=$(date +%s%N)
        "$@" >/dev/null
        end=$(date +%s%N)
        times+=("$(ms "$start" "$end")")
    done
    printf '%s\n' "${times[@]}" | sort -n | awk '{ t[NR] = $1 } END { print t[int((NR + 1) / 2)] }'
}

cat "$data" >/dev/null # the database from the page cache, as the PST is for the readers
start=$(date +%s%N)
QT_QPA_PLATFORM=offscreen FERRYMARK_PROFILE="$work/profile" TMPDIR="$work/tmp" \
    /usr/bin/time -v -o "$work/time.txt" \
    "$build/src/app/ferrymark-convert" --only emails --format unicode --out "$work/out" "$data" \
    >"$work/convert.txt" 2>"$work/convert-errors.txt"
end=$(date +%s%N)
convert_ms=$(ms "$start" "$end")
pst=$(tail -n 1 "$work/convert.txt")
if [ ! -f "$pst" ]; then
    echo "conversion failed:" >&2
    tail -n 5 "$work/convert.txt" "$work/convert-errors.txt" >&2
    exit 1
fi
# The same conversion with a Domino Directory export of DIRECTORY_PEOPLE Person documents
# (default 10,000) resolving the senders' and recipients' names (goal: at most 1.10 times the
# time without). The PST of this run is left aside.
directory_people=${DIRECTORY_PEOPLE:-10000}
directory="$data_dir/directory-$directory_people.dxl"
[ -f "$directory" ] || "$root/bench/mail/gen_directory.py" "$directory" "$directory_people"
mkdir -p "$work/out-names"
start=$(date +%s%N)
QT_QPA_PLATFORM=offscreen FERRYMARK_PROFILE="$work/profile" TMPDIR="$work/tmp" \
    "$build/src/app/ferrymark-convert" --only emails --format unicode --directory "$directory" \
    --out "$work/out-names" "$data" >"$work/convert-names.txt" 2>&1
end=$(date +%s%N)
names_ms=$(ms "$start" "$end")
grep -q '\.pst$' "$work/convert-names.txt" || { tail -n 5 "$work/convert-names.txt" >&2; exit 1; }
rm -rf "$work/out-names"

peak_kb=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/time.txt")
user_s=$(sed -n 's/.*User time (seconds): //p' "$work/time.txt")
system_s=$(sed -n 's/.*System time (seconds): //p' "$work/time.txt")

# -D: Deleted Items too, so that the readers read every message written.
readpst_ms=$(median_ms readpst -q -D -o "$work/reader" "$pst")
pffexport_ms=$(median_ms pffexport -q -t "$work/reader/pff" "$pst")
# The verifier alone, as the run's read-back does it (the conversion time above includes it).
verify_ms=$(median_ms "$build/tools/verify/ferrymark-verify" "$pst")

# Correct enough to count: readpst reads every message (one mbox "From " line each) and its
# summary skips none ("items done" counts subfolders too).
rm -rf "$work/reader" && mkdir "$work/reader"
readpst -D -o "$work/reader" "$pst" >"$work/readpst.txt" 2>&1
summary() {
    sed -n "s/.* - \([0-9]*\) items done, \([0-9]*\) items skipped\./\\$1/p" "$work/readpst.txt" |
        awk '{ s += $1 } END { print s + 0 }'
}
done_items=$(summary 1)
skipped=$(summary 2)
read_back=$(cat "$work/reader"/*.mbox | grep -c '^From ' || true)

db_bytes=$(stat -c %s "$data")
pst_bytes=$(stat -c %s "$pst")
awk -v m="$messages" -v f="$folders" -v c="$convert_ms" -v r="$readpst_ms" -v p="$pffexport_ms" \
    -v db="$db_bytes" -v pst="$pst_bytes" -v peak="$peak_kb" -v expected="$expected" \
    -v done_items="$done_items" -v skipped="$skipped" -v read_back="$read_back" -v user="$user_s" \
    -v sys="$system_s" -v v="$verify_ms" -v names="$names_ms" -v people="$directory_people" 'BEGIN {
    printf "database:       %.1f MB, %d messages in %d user folders and the standard ones\n", db / 1e6, m, f
    printf "                (bodies ~10 KB, a 200,000-byte attachment on every 10th message)\n"
    printf "converted:      %d messages (%d in ($JunkMail) and ($Follow-Up) are left out); PST %.1f MB\n",
        expected, m - expected, pst / 1e6
    printf "conversion:     %.2f s, %.0f messages/s, %.1f MB/s of input\n", c / 1000, expected / (c / 1000),
        db / 1e6 / (c / 1000)
    printf "                CPU %.2f s user + %.2f s system (the wall time varies with the disk)\n", user, sys
    printf "with directory: %.2f s with %d Person documents resolving names; ratio %.2f (goal <= 1.10)\n",
        names / 1000, people, names / c
    printf "readpst -q -D:  %.2f s; ratio conversion/readpst %.2f (goal <= 2.0)\n", r / 1000, c / r
    printf "pffexport -q:   %.2f s; ratio conversion/pffexport %.2f\n", p / 1000, c / p
    printf "verifier:       %.2f s; ratio verifier/conversion %.2f (goal <= 0.2)\n", v / 1000, v / c
    printf "peak memory:    %.1f MB resident (converter)\n", peak / 1024
    printf "readpst check:  %d messages read back; summary %d items done (with subfolders), %d skipped\n",
        read_back, done_items, skipped
}'
if [ "$read_back" -ne "$expected" ] || [ "$skipped" -ne 0 ]; then
    trap - EXIT
    echo "readpst did not read every message back: the figures do not count" >&2
    echo "kept for a look: $pst and readpst's report $work/readpst.txt" >&2
    exit 1
fi
