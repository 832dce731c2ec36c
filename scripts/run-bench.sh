#!/usr/bin/env bash
# Runs every benchmark executable of a build folder (bench/bench_*.cc).
set -euo pipefail
build=${1:-build}
cd "$(dirname "$0")/.."

shopt -s nullglob
benches=("$build"/bench/bench_*)
if [ ${#benches[@]} -eq 0 ]; then
  echo "No benchmarks in $build/bench (configure with -DFENNICK_BENCH=ON)." >&2
  exit 1
fi
for bench in "${benches[@]}"; do
  [ -x "$bench" ] && { echo "== $(basename "$bench")"; "$bench"; }
done
