#!/usr/bin/env bash
# Sets everything up, builds, and runs the whole test suite twice: plain, then under
# AddressSanitizer + UndefinedBehaviorSanitizer; between the two, the fuzz targets of the DXL
# reader (raw items and MIME included), the PST verifier, the formula evaluator, the user's
# names input and the calendar entries' zone and repeat items run for a short fixed time each.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export QT_QPA_PLATFORM=offscreen

"$root/scripts/setup.sh" "$root/build"
# The npm package pst-extractor, one of the independent readers the tests judge PSTs by.
if ! command -v npm >/dev/null; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends npm
fi
(cd "$root/tests/support" && npm ci --no-audit --no-fund --loglevel=error)
(cd "$root/build" && ctest --output-on-failure -j"$(nproc)" --timeout 600)

"$root/fuzz/notes/run.sh" 30 "$root/build-fuzz"
"$root/fuzz/pst/run.sh" 20 "$root/build-fuzz"
"$root/fuzz/notes/run.sh" 15 "$root/build-fuzz" formula
"$root/fuzz/pim_names/run.sh" 10 "$root/build-fuzz" names
"$root/fuzz/pim_names/run.sh" 10 "$root/build-fuzz" calendar

"$root/scripts/setup.sh" "$root/build-asan" -DFERRYMARK_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd "$root/build-asan" && ctest --output-on-failure -j"$(nproc)" --timeout 900 -LE no-sanitize)
