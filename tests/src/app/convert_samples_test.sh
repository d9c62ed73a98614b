#!/usr/bin/env bash
# ferrymark-convert on the bundled samples: one PST per database, accepted by the strict
# checker and the independent readers, holding the default folders and "Folders".
# Usage: convert_samples_test.sh CONVERTER SOURCE_DIR SHARED_DIR
set -euo pipefail
converter=$1 source=$2 shared=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export FERRYMARK_PROFILE="$work/profile" QT_QPA_PLATFORM=offscreen

fail() { echo "FAIL: $*"; exit 1; }

"$converter" --out "$work" "$source/samples/mailfile.dxl" "$source/samples/personaljournal.dxl" > "$work/log" 2>&1 \
  || { cat "$work/log"; fail "the converter failed"; }
mapfile -t psts < <(grep -E '^/.*\.pst$' "$work/log")
[ ${#psts[@]} -eq 2 ] || { cat "$work/log"; fail "expected two PST paths"; }
for pst in "${psts[@]}"; do
  [ -f "$pst" ] || fail "missing $pst"
  /usr/bin/python3 "$shared/tools/pstcheck.py" "$pst" || fail "pstcheck: $pst"
  pffinfo "$pst" > "$work/info" 2>&1 || { cat "$work/info"; fail "pffinfo: $pst"; }
  readpst -q -o "$work" "$pst" > "$work/readpst" 2>&1 || { cat "$work/readpst"; fail "readpst: $pst"; }
  dump=$(/usr/bin/python3 "$shared/tools/pstdump.py" "$pst")
  for folder in Inbox "Sent Items" "Deleted Items" Calendar Contacts Tasks Notes Drafts Folders; do
    grep -q "\"path\": \"Top of Personal Folders/$folder\"" <<<"$dump" || fail "no folder $folder in $pst"
  done
done
# The mail reached its folders with sender, recipients and attachments.
items=$(/usr/bin/python3 "$source/tests/platform/pst/list_items.py" "$shared/tools/pstdump.py" "${psts[0]}")
for expected in "Top of Personal Folders/Inbox | Quarterly figures | IPM.Note | bo.yu@acme.example" \
                "Top of Personal Folders/Projects/2009 | 2009 budget" \
                "Top of Personal Folders/Sent Items | Offer for the new catalogue" \
                "offer.doc 2500" "CC:carla.mendes@acme.example"; do
  grep -qF "$expected" <<<"$items" || { echo "$items"; fail "missing: $expected"; }
done
# A bad database gives an error line and a non-zero exit.
if "$converter" --out "$work" "$work/missing.dxl" > "$work/bad" 2>&1; then fail "a missing database succeeded"; fi
grep -q '^error: ' "$work/bad" || { cat "$work/bad"; fail "no error line"; }
echo "ferrymark-convert: samples converted"
