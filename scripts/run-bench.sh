#!/usr/bin/env bash
# Runs every benchmark executable of a build folder (built from
# bench/bench_*.cc and bench/*_bench.cc), one after the other.
set -euo pipefail
build=${1:-build}
cd "$(dirname "$0")/.."

shopt -s nullglob
benches=("$build"/bench/bench_* "$build"/bench/*_bench)
if [ ${#benches[@]} -eq 0 ]; then
  echo "No benchmarks in $build/bench (configure with -DFENNICK_BENCH=ON)." >&2
  exit 1
fi
for bench in "${benches[@]}"; do
  if [ -x "$bench" ]; then
    echo "== $(basename "$bench")"
    "$bench"
  fi
done
