#!/usr/bin/env bash
# Measures the resident engine under Wine: the latency from a matching window's
# ShowWindow in another process to its placement, and the CPU time of the four
# workers with 100 windows and 20 rules (with the wine server's CPU time beside
# it). Builds the Windows targets first; runs in a private Wine session.
#   bench/wine_bench.sh [openings] [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."
OPENINGS=${1:-200}
SECONDS_CPU=${2:-5}
BUILD=${TORVANE_BUILD_DIR:-$PWD/build}

scripts/setup.sh
cmake -S . -B "$BUILD/mingw" -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$BUILD/mingw" -j"$(nproc)" --target torvane_wine_bench >/dev/null

session=$BUILD/wine-bench
trap 'scripts/wine_session.sh stop "$session" || true' EXIT
scripts/wine_session.sh start "$session"
# shellcheck disable=SC1091
. "$session/wine-session.env"
bench=$BUILD/mingw/bench/torvane_wine_bench.exe

ticks() {  # utime + stime of a process, in clock ticks
  awk '{print $14 + $15}' "/proc/$1/stat"
}
# The wine server of this prefix works in a folder named after the prefix's
# device and inode numbers.
server_pid() {
  local dir
  dir=$(printf 'server-%x-%x' "$(stat -c %d "$WINEPREFIX")" "$(stat -c %i "$WINEPREFIX")")
  for p in $(pgrep -f '^/usr/lib/wine/wineserver' || true); do
    if [[ $(readlink "/proc/$p/cwd" 2>/dev/null) == */"$dir" ]]; then
      echo "$p"
      return
    fi
  done
}

echo "== latency, $OPENINGS openings"
taskset -c 0 wine "$bench" latency "$OPENINGS"

echo "== CPU time, $SECONDS_CPU s"
server=$(server_pid)
before=$( [[ -n $server ]] && ticks "$server" || echo 0)
start=$(date +%s.%N)
taskset -c 0 wine "$bench" cpu "$SECONDS_CPU"
end=$(date +%s.%N)
if [[ -n $server ]]; then
  after=$(ticks "$server")
  hz=$(getconf CLK_TCK)
  awk -v t=$((after - before)) -v hz="$hz" -v s="$start" -v e="$end" \
    'BEGIN { printf "wineserver cpu=%.2f%% of one core over %.1f s\n", 100 * t / hz / (e - s), e - s }'
fi
