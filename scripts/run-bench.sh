#!/usr/bin/env bash
# Runs every benchmark executable of a build folder (bench/bench_*.cc).
# Services that benchmarks need are started here and stopped on exit, as
# scripts/run-tests.sh does for the tests.
set -euo pipefail
build=${1:-build}
cd "$(dirname "$0")/.."

cleanup() {
  for stop in scripts/services/*-stop.sh; do
    [ -e "$stop" ] && bash "$stop" || true   # ignoring failures on purpose
  done
}
trap cleanup EXIT
for start in scripts/services/*-start.sh; do
  [ -e "$start" ] && bash "$start"
done

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
