#!/usr/bin/env bash
# Sets everything up, builds, and starts Ferrymark.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/setup.sh" "$root/build"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "Ferrymark needs a graphical display (no DISPLAY or WAYLAND_DISPLAY is set)." >&2
  exit 1
fi
exec "$root/build/src/app/ferrymark" "$@"
