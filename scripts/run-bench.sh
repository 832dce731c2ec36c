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
# Several instances behind nginx, with in-process and Redis sessions.
if [ -x "$build/bench/http_load" ]; then
  echo "== instances (nginx, one and three instances, in-process and Redis sessions)"
  bash bench/instances.sh "$build"
fi
