#!/usr/bin/env bash
# Builds the download for Windows users (Debian 12, as root; installs what is
# missing first):
#
#   scripts/release.sh [OUT_DIR]        (default: dist/)
#
#   OUT_DIR/Torvane-<version>-win64.zip  torvane.exe, readme.txt, HowtoUse.pdf
#   OUT_DIR/SHA256SUMS                   the zip's SHA-256
#
# The build starts from nothing: the tracked files as they are in the working
# tree are copied to a fresh folder and built there, so nothing left over from
# earlier builds gets in. Two runs on one tree give the same bytes: every date
# is the last commit's (SOURCE_DATE_EPOCH), no build folder reaches the
# objects (-ffile-prefix-map), the linker writes no time stamp, and the zip
# holds its files in a fixed order with fixed dates.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
OUT=$(realpath -m "${1:-$ROOT/dist}")

scripts/setup.sh
version=$(sed -n 's/^project(Torvane VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
[[ -n $version ]] || { echo "release: no version in CMakeLists.txt" >&2; exit 1; }
if [[ -z ${SOURCE_DATE_EPOCH:-} ]]; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || echo 315532800)
fi
export SOURCE_DATE_EPOCH

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/src"
git ls-files -z | xargs -0 cp --parents -t "$work/src"
echo "release: building Torvane $version for Windows ..."
cmake -S "$work/src" -B "$work/build" -DCMAKE_TOOLCHAIN_FILE="$work/src/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$work/build" -j"$(nproc)" --target torvane torvane_docs 2>&1 | grep -E '^\[ *[0-9]+%\]' || true
[[ -f $work/build/torvane.exe ]] || { echo "release: the build failed" >&2; exit 1; }

files=(torvane.exe readme.txt HowtoUse.pdf)
[[ -f $ROOT/LICENSE ]] && cp "$ROOT/LICENSE" "$work/build/" && files+=(LICENSE)
mkdir -p "$OUT"
zip=Torvane-$version-win64.zip
rm -f "$OUT/$zip" "$OUT/SHA256SUMS"
python3 - "$work/build" "$OUT/$zip" "${files[@]}" <<'PYTHON'
import os, sys, time, zipfile
folder, out, names = sys.argv[1], sys.argv[2], sys.argv[3:]
# Zip dates begin in 1980.
when = time.gmtime(max(int(os.environ["SOURCE_DATE_EPOCH"]), 315532800))[:6]
with zipfile.ZipFile(out + ".tmp", "w") as z:
    for name in names:
        info = zipfile.ZipInfo(name, date_time=when)
        info.compress_type = zipfile.ZIP_DEFLATED
        info.create_system = 0  # made on "MS-DOS": no Unix mode in the entry
        with open(os.path.join(folder, name), "rb") as f:
            z.writestr(info, f.read(), compresslevel=9)
os.replace(out + ".tmp", out)
PYTHON
(cd "$OUT" && sha256sum "$zip" > SHA256SUMS)
echo "release: $OUT/$zip"
cat "$OUT/SHA256SUMS"
