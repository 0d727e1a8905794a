#!/bin/sh
# The download as a user uses it, under Wine: the zip unpacked into a fresh
# folder, the program started there by the end-to-end test, which also
# checks that its version resource and about box name the version in the
# zip's name.
#   zip_test.sh <zip> <torvane_e2e_test.exe> <scenario file>
set -eu
zip=$1 test=$2 scenarios=$3
[ -f "$zip" ] || { echo "no $zip: run scripts/release.sh first" >&2; exit 1; }
version=$(basename "$zip" | sed -n 's/^Torvane-\([0-9.]*\)-win64\.zip$/\1/p')
[ -n "$version" ] || { echo "not a release zip: $zip" >&2; exit 1; }
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$zip" "$folder"
here=$(dirname "$0")
# The version first, in a scenario of its own: the about box is a window of
# the program.
printf 'scenario Release.TheVersionIsTheZips\n  start\n  version %s\n' "$version" > "$folder.version.txt"
trap 'rm -rf "$folder" "$folder.version.txt"' EXIT
export TORVANE_EXE="$folder/torvane.exe" TORVANE_FOLDER="$folder"
TORVANE_SCENARIOS="$folder.version.txt" "$here/../../../cmake/wine-run.sh" "$test"
rm -f "$folder/zrk.ini"
TORVANE_SCENARIOS=$scenarios exec "$here/../../../cmake/wine-run.sh" "$test"
