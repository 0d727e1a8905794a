#!/usr/bin/env bash
# Measures the resident engine under Wine, each figure with the window events
# watched and with the poll alone, side by side in one run: the latency from a
# matching window's ShowWindow in another process to its placement, a locked
# window's way back after its program moved it, the CPU time of the four
# workers with 100 windows and 20 rules and at idle (with the wine server's CPU
# time beside it), and a scan pass against the calls it cannot do without.
# Builds the Windows targets first; runs in a private Wine session.
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

# Each measurement twice, with the window events on, then off (the program
# always watches them; the switch exists for this comparison).
both() {
  for run in 1 2; do
    for events in 1 0; do
      TORVANE_EVENTS=$events "$@"
    done
  done
}
# One run of the benchmark, with the wine server's CPU over it in % of one core.
bench_with_server_cpu() {
  local server before after start end
  server=$(server_pid)
  before=$([[ -n $server ]] && ticks "$server" || echo 0)
  start=$(date +%s.%N)
  taskset -c 0 wine "$bench" "$@"
  end=$(date +%s.%N)
  if [[ -n $server ]]; then
    after=$(ticks "$server")
    awk -v t=$((after - before)) -v hz="$(getconf CLK_TCK)" -v s="$start" -v e="$end" \
      'BEGIN { printf "  wineserver cpu=%.2f%% of one core over %.1f s\n", 100 * t / hz / (e - s), e - s }'
  fi
}

# The idle rows first: the wine server still tidies up after a process with
# 100 windows has ended.
echo "== CPU time at idle, $SECONDS_CPU s each"
both bench_with_server_cpu idle "$SECONDS_CPU"
echo "== CPU time with 100 windows, $SECONDS_CPU s each"
both bench_with_server_cpu cpu "$SECONDS_CPU"
echo "== latency, $OPENINGS openings"
both taskset -c 0 wine "$bench" latency "$OPENINGS"
echo "== snap-back of a locked window, $OPENINGS moves"
both taskset -c 0 wine "$bench" snapback "$OPENINGS"
echo "== a scan pass against its floor, 500 passes"
taskset -c 0 wine "$bench" floor 500
