#!/usr/bin/env bash
# Compiles the Notes-side exporter against the lotus.domino stubs, with its tests, and runs the
# tests over fakes: they check the export of a small mail database against
# tests/data/dxl/notes-export-golden.dxl.
# Usage: tools/notes-export/test.sh [CLASSES_DIR] [--update]   (--update rewrites the golden file)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)

if ! command -v javac >/dev/null || ! command -v java >/dev/null; then
  echo "error: javac and java are needed (Debian package default-jdk-headless; scripts/setup.sh installs it)" >&2
  exit 1
fi

classes=${1:-}
if [ -z "$classes" ] || [ "$classes" = "--update" ]; then
  classes=$(mktemp -d)
  trap 'rm -rf "$classes"' EXIT
else
  shift
fi
update=${1:-}
rm -rf "$classes/ferrymark" "$classes/lotus"
mkdir -p "$classes"

# Java 8, as the JVMs of Notes and Domino releases still in use run it.
mapfile -t sources < <(find "$here/stubs" "$here/src" "$here/tests" -name '*.java' | sort)
javac --release 8 -Xlint:all -Werror -encoding UTF-8 -d "$classes" "${sources[@]}"
java -cp "$classes" ferrymark.notesexport.NotesExportTest "$root/tests/data/dxl/notes-export-golden.dxl" $update
