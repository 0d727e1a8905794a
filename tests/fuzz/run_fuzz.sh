#!/usr/bin/env bash
# Builds the settings fuzzer with clang and runs it for a while.
#
#   tests/fuzz/run_fuzz.sh <build-dir> [seconds]
#
# The seed corpus in tests/fuzz/corpus is copied into <build-dir>/fuzz/corpus,
# which also keeps what the fuzzer finds, so that later runs go on from there.
# A crash, leak, timeout or broken invariant leaves its input in
# <build-dir>/fuzz/artifacts and makes the script exit non-zero.
set -euo pipefail

if [[ $# -lt 1 || $# -gt 2 ]]; then
  echo "usage: $0 <build-dir> [seconds]" >&2
  exit 2
fi
seconds=${2:-30}
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [[ "$seconds" -eq 0 ]]; then
  echo "$0: seconds must be a positive whole number, not '$seconds'" >&2
  exit 2
fi

source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
mkdir -p "$1"
build_dir=$(cd "$1" && pwd)

cd "$source_dir"
CC=clang CXX=clang++ cmake -S . -B "$build_dir" -DTORVANE_FUZZ=ON -DTORVANE_BENCH=OFF
cmake --build "$build_dir" --target torvane_settings_fuzzer -j "$(nproc)"

corpus="$build_dir/fuzz/corpus"
artifacts="$build_dir/fuzz/artifacts"
mkdir -p "$corpus" "$artifacts"
cp tests/fuzz/corpus/* "$corpus"/

status=0
"$build_dir/tests/fuzz/torvane_settings_fuzzer" \
  -max_len=65536 \
  -max_total_time="$seconds" \
  -timeout=10 \
  -print_final_stats=1 \
  -artifact_prefix="$artifacts/" \
  "$corpus" || status=$?

if [[ $status -ne 0 ]]; then
  echo "settings fuzzer failed (exit status $status); inputs are in $artifacts" >&2
  exit "$status"
fi
echo "settings fuzzer: no failure in ${seconds} s; corpus in $corpus"
