#!/usr/bin/env bash
# Runs every test: the native unit tests, the same under AddressSanitizer with
# UndefinedBehaviorSanitizer and under ThreadSanitizer, a zero-allocation
# check of the engine benchmarks, a short fuzzing run of the settings loader,
# the release zip built twice and compared byte for byte, and the Windows
# build's tests (the zip's among them) under Wine on a private virtual screen.
# Installs what is missing first (Debian 12, as root).
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD=${TORVANE_BUILD_DIR:-$ROOT/build}
JOBS=$(nproc)
FUZZ_SECONDS=${TORVANE_FUZZ_SECONDS:-20}

scripts/setup.sh

SUMMARY=$BUILD/test-summary.txt
mkdir -p "$BUILD"
: > "$SUMMARY"
START=$(date +%s)

step() { printf '\n===== %s =====\n' "$*"; }

# Runs ctest and notes its counts for the closing line.
run_ctest() {
  local name=$1; shift
  local log=$BUILD/ctest-$name.log
  set +e
  ctest "$@" --output-on-failure 2>&1 | tee "$log"
  local rc=${PIPESTATUS[0]}
  set -e
  local line
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1 || true)
  if [[ -z $line ]]; then
    echo "$name 0 1" >> "$SUMMARY"
  else
    local failed total
    failed=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
    total=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line")
    echo "$name $((total - failed)) $failed" >> "$SUMMARY"
  fi
  return "$rc"
}

configure_native() {  # dir, extra cmake args...
  local dir=$1; shift
  cmake -S "$ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$dir" -j"$JOBS"
}

status=0

step "native build and unit tests"
configure_native "$BUILD/native"
run_ctest native --test-dir "$BUILD/native" -L unit -j"$JOBS" || status=1

step "AddressSanitizer + UndefinedBehaviorSanitizer"
configure_native "$BUILD/asan" -DTORVANE_SANITIZE=address -DTORVANE_BENCH=OFF
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_ctest asan --test-dir "$BUILD/asan" -L unit -j"$JOBS" || status=1

step "ThreadSanitizer"
configure_native "$BUILD/tsan" -DTORVANE_SANITIZE=thread -DTORVANE_BENCH=OFF
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  run_ctest tsan --test-dir "$BUILD/tsan" -L unit -j"$JOBS" || status=1

step "benchmarks: no allocation in a steady cycle"
cmake -S "$ROOT" -B "$BUILD/release" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$BUILD/release" -j"$JOBS" --target torvane_bench
bench_out=$("$BUILD/release/bench/torvane_bench" --benchmark_filter='SteadyState|Cycle' \
  --benchmark_min_time=0.05 2>&1)
echo "$bench_out" | grep '^BM_'
allocating=$(grep '^BM_' <<<"$bench_out" | grep -Ev 'allocs_per_(pass|cycle)=0( |$)' || true)
if [[ -z $allocating ]] && grep -q '^BM_' <<<"$bench_out"; then
  echo "bench 1 0" >> "$SUMMARY"
else
  echo "these steady cycles allocate: $allocating" >&2
  echo "bench 0 1" >> "$SUMMARY"
  status=1
fi

step "fuzzing the settings loader for ${FUZZ_SECONDS}s"
CC=clang CXX=clang++ cmake -S "$ROOT" -B "$BUILD/fuzz" -DTORVANE_FUZZ=ON -DTORVANE_BENCH=OFF \
  -DTORVANE_FUZZ_SECONDS="$FUZZ_SECONDS" >/dev/null
cmake --build "$BUILD/fuzz" -j"$JOBS" --target torvane_settings_fuzzer
run_ctest fuzz --test-dir "$BUILD/fuzz" -L fuzz || status=1

step "the release, built twice: the same bytes"
release_ok=1
for run in a b; do
  scripts/release.sh "$BUILD/release-$run" || release_ok=0
done
if ((release_ok)) && cmp -s "$BUILD/release-a/SHA256SUMS" "$BUILD/release-b/SHA256SUMS"; then
  cat "$BUILD/release-a/SHA256SUMS"
  echo "release 1 0" >> "$SUMMARY"
else
  echo "the two builds of the release differ, or one failed:" >&2
  cat "$BUILD"/release-?/SHA256SUMS >&2 || true
  echo "release 0 1" >> "$SUMMARY"
  status=1
fi
export TORVANE_RELEASE_ZIP
TORVANE_RELEASE_ZIP=$(ls "$BUILD"/release-a/Torvane-*-win64.zip 2>/dev/null | head -n1)

step "Windows build (MinGW-w64)"
cmake -S "$ROOT" -B "$BUILD/mingw" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$BUILD/mingw" -j"$JOBS"

step "tests under Wine"
stop_wine() { scripts/wine_session.sh stop "$BUILD/wine" || true; }
trap stop_wine EXIT
scripts/wine_session.sh start "$BUILD/wine"
(
  # shellcheck disable=SC1091
  . "$BUILD/wine/wine-session.env"
  run_ctest wine --test-dir "$BUILD/mingw" -L wine
) || status=1
# run_ctest ran in a subshell; its line is in the summary file all the same.
stop_wine
trap - EXIT

step "summary"
passed=0
failed=0
while read -r name p f; do
  printf '%-8s %4d passed, %d failed\n' "$name" "$p" "$f"
  passed=$((passed + p))
  failed=$((failed + f))
done < "$SUMMARY"
echo "took $(( $(date +%s) - START ))s"
echo "$passed passed, $failed failed"
exit "$status"
