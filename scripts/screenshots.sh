#!/bin/bash
# Pictures of the program for the documents, taken under Wine on a private
# virtual screen by torvane_screenshots.exe (scripts/screenshots.cpp) playing
# scripts/screenshots.txt:
#
#   scripts/screenshots.sh <build-dir> <out-dir>
#
# <build-dir> is a Windows build (torvane.exe and torvane_screenshots built).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd -P)"
[ $# -eq 2 ] || { echo "usage: $0 <build-dir> <out-dir>" >&2; exit 1; }
build="$(cd "$1" && pwd -P)"
mkdir -p "$2"
out="$(cd "$2" && pwd -P)"
session="$build/wine-screenshots"
shots="$(mktemp -d)"
trap '"$here/wine_session.sh" stop "$session" || true; rm -rf "$shots"' EXIT
"$here/wine_session.sh" start "$session"
# shellcheck disable=SC1091
. "$session/wine-session.env"
TORVANE_EXE="$build/torvane.exe" taskset -c 0 wine "$build/tests/wine/e2e/torvane_screenshots.exe" \
  "$here/screenshots.txt" "$shots" </dev/null
for bmp in "$shots"/*.bmp; do
  name="$(basename "$bmp" .bmp)"
  # The tray menu opens above the icon in the screen's bottom-right corner.
  if [ "$name" = tray-menu ]; then crop=(-gravity SouthEast -crop 320x300+0+0 +repage); else crop=(); fi
  convert "$bmp" "${crop[@]}" "$out/$name.png"
  echo "screenshots: $out/$name.png"
done
