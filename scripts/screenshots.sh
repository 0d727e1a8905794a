#!/bin/bash
# Pictures of the program for the documents, taken under Wine on a private
# virtual screen by the end-to-end driver playing scripts/screenshots.txt:
#
#   scripts/screenshots.sh <build-dir> <out-dir>
#
# <build-dir> is a Windows build (torvane.exe and the e2e driver built).
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
taskset -c 0 wine "$build/tests/wine/e2e/torvane_e2e_driver.exe" --torvane="$build/torvane.exe" --shots="$shots" \
  "$here/screenshots.txt" </dev/null
for bmp in "$shots"/*.bmp; do
  name="$(basename "$bmp" .bmp)"
  # The tray menu opens above the icon in the screen's bottom-right corner.
  if [ "$name" = tray-menu ]; then crop=(-gravity SouthEast -crop 320x300+0+0 +repage); else crop=(); fi
  convert "$bmp" "${crop[@]}" "$out/$name.png"
  echo "screenshots: $out/$name.png"
done
