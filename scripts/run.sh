#!/usr/bin/env bash
# Sets everything up, builds, and starts Ferrymark. Without a display, converts the bundled
# sample mail database with the command-line converter and prints where the PST is.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/setup.sh" "$root/build"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  out=${FERRYMARK_OUT:-"$HOME/Ferrymark"}
  mkdir -p "$out"
  echo "No display: converting the sample mail database into $out"
  exec "$root/build/src/app/ferrymark-convert" --out "$out" "$root/samples/mailfile.dxl"
fi
exec "$root/build/src/app/ferrymark" "$@"
