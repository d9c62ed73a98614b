#!/bin/sh
# Message benchmark of the PST writer, one command:
#   bench/pst/run_message_bench.sh [N small messages] [M attachments] [attachment MB] [folder messages]
# Builds the library optimised (build-bench), then reports: messages per second; attachment bytes
# per second as a ratio to cp of the same bytes in the same run (goal >= 0.5); time to write a PST
# as a ratio to readpst reading it back (goal <= 1.0); peak memory for growing attachment sizes
# (goal: flat); and the N-message folder opened by pffinfo and readpst.
set -eu
N=${1:-20000}
M=${2:-8}
MB=${3:-64}
FOLDER=${4:-100000}
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=$ROOT/build-bench
WORK=$(mktemp -d "${TMPDIR:-/tmp}/pst-message-bench.XXXXXX")
trap 'rm -rf "$WORK"' EXIT

cmake -S "$ROOT" -B "$BUILD" -G Ninja -DFERRYMARK_GUI=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$BUILD" --target ferrymark_pst >/dev/null
c++ -O2 -std=c++20 -I"$ROOT/platform/pst/include" "$ROOT/bench/pst/message_bench.cpp" \
    "$BUILD/platform/pst/libferrymark_pst.a" "$BUILD/platform/pst/libferrymark_pst_error.a" -o "$WORK/message_bench"
B=$WORK/message_bench
field() { sed -n "s/^$1 //p"; }
ratio() { awk "BEGIN { printf \"%.2f\", $1 / $2 }"; }
now() { date +%s.%N; }

# 1. Small messages.
out=$("$B" small "$WORK/small.pst" "$N")
s=$(echo "$out" | field seconds)
echo "small messages: $N in ${s} s = $(awk "BEGIN { printf \"%.0f\", $N / $s }") messages/s, peak $(echo "$out" | field rss_kb) KB"

# 2. Attachments against cp of the same bytes.
i=0
files=""
while [ $i -lt "$M" ]; do
    head -c $((MB * 1024 * 1024)) /dev/urandom >"$WORK/att$i.bin"
    files="$files $WORK/att$i.bin"
    i=$((i + 1))
done
sync
# Three alternating rounds (the disk is noisy); the best time of each counts.
cpsbest=""
ps=""
for _ in 1 2 3; do
    mkdir "$WORK/cp"
    t0=$(now)
    # shellcheck disable=SC2086
    cp $files "$WORK/cp/"
    sync
    t1=$(now)
    rm -rf "$WORK/cp" "$WORK/attach.pst"
    sync
    c=$(awk "BEGIN { print $t1 - $t0 }")
    t0=$(now)
    # shellcheck disable=SC2086
    "$B" attach "$WORK/attach.pst" "$M" $files >/dev/null
    sync
    t1=$(now)
    p=$(awk "BEGIN { print $t1 - $t0 }")
    ps=$(awk -v a="$ps" -v b="$p" 'BEGIN { print (a == "" || b < a) ? b : a }')
    cps=$(awk -v a="$cpsbest" -v b="$c" 'BEGIN { print (a == "" || b < a) ? b : a }')
    cpsbest=$cps
done
bytes=$((M * MB * 1024 * 1024))
echo "attachments: $M x $MB MB: PST $(awk "BEGIN { printf \"%.0f\", $bytes / $ps / 1048576 }") MB/s, cp $(awk "BEGIN { printf \"%.0f\", $bytes / $cps / 1048576 }") MB/s, ratio to cp $(ratio "$cps" "$ps") (goal >= 0.5)"

# 3. Writing against readpst reading the same file back.
mkdir "$WORK/readpst"
t0=$(now)
readpst -q -o "$WORK/readpst" "$WORK/attach.pst" >/dev/null 2>&1
t1=$(now)
rs=$(awk "BEGIN { print $t1 - $t0 }")
rm -rf "$WORK/readpst"
mkdir "$WORK/readpst"
t0=$(now)
readpst -q -o "$WORK/readpst" "$WORK/small.pst" >/dev/null 2>&1
t1=$(now)
rss=$(awk "BEGIN { print $t1 - $t0 }")
rm -rf "$WORK/readpst" "$WORK/attach.pst"
echo "write / readpst: attachments $(ratio "$ps" "$rs"), small messages $(ratio "$s" "$rss") (goal <= 1.0)"

# 4. Peak memory as the attachment grows.
for size in 1 16 256; do
    head -c $((size * 1024 * 1024)) /dev/zero >"$WORK/grow.bin"
    out=$("$B" attach "$WORK/grow.pst" 1 "$WORK/grow.bin")
    echo "peak memory with one ${size} MB attachment: $(echo "$out" | field rss_kb) KB"
    rm -f "$WORK/grow.pst" "$WORK/grow.bin"
done
rm -f $files

# 5. One folder with many messages, read back by pffinfo and readpst.
out=$("$B" folder "$WORK/folder.pst" "$FOLDER")
echo "one folder: $FOLDER messages in $(echo "$out" | field seconds) s, peak $(echo "$out" | field rss_kb) KB, $(stat -c %s "$WORK/folder.pst") bytes"
if pffinfo "$WORK/folder.pst" >/dev/null 2>&1; then echo "pffinfo: opens"; else echo "pffinfo: FAILED"; fi
mkdir "$WORK/readpst"
readpst -o "$WORK/readpst" "$WORK/folder.pst" 2>&1 | grep '"Bench"' || echo "readpst: FAILED"
