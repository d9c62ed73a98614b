#!/usr/bin/env bash
# Builds ferrymark-notes-export.jar (Java 8 bytecode). The lotus.domino classes come from the
# Notes.jar given, or else from the compile-only stubs; either way they are not put in the jar:
# the Notes.jar of the Notes client or Domino server supplies them when the program runs.
# Usage: tools/notes-export/build.sh [OUTPUT_DIR] [Notes.jar]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
out=$(mkdir -p "${1:-.}" && cd "${1:-.}" && pwd)
notes_jar=${2:-}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if [ -n "$notes_jar" ]; then
  classpath=$notes_jar
else
  mkdir -p "$work/stubs"
  javac --release 8 -d "$work/stubs" $(find "$here/stubs" -name '*.java')
  classpath=$work/stubs
fi
mkdir -p "$work/classes"
javac --release 8 -Xlint:all -encoding UTF-8 -cp "$classpath" -d "$work/classes" $(find "$here/src" -name '*.java')
jar --create --file "$out/ferrymark-notes-export.jar" --main-class ferrymark.notesexport.NotesExport -C "$work/classes" .
echo "$out/ferrymark-notes-export.jar"
