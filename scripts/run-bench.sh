#!/usr/bin/env bash
# Runs every benchmark of a build folder (the executables built from
# bench/*_bench.cc), one after the other.
set -euo pipefail
build=${1:-build}
cd "$(dirname "$0")/.."
shopt -s nullglob
benches=("$build"/bench/*_bench)
if [ ${#benches[@]} -eq 0 ]; then
  echo "run-bench: no benchmarks under $build/bench (is FENNICK_BENCH on?)" >&2
  exit 1
fi
for bench in "${benches[@]}"; do
  echo "== $(basename "$bench")"
  "$bench"
done
