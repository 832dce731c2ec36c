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
# The million-row demo page: its last page beside its first, through HTTP
# (the grid posts its start; the last page is read from the end of its
# order, so it should answer about as fast as the first).
if [ -x "$build/bench/http_load" ] && [ -x "$build/fennick" ]; then
  echo "== /demo/big.asp: first and last page of 1,000,000 rows (8 connections, 8 s)"
  log=$(mktemp)
  FENNICK_SECRET="bench secret" "$build/fennick" serve --demo --big --port 0 --quiet \
    --threads 16 > "$log" 2>&1 &
  server=$!
  port=""
  for _ in $(seq 1 1200); do  # the first start builds the table
    port=$(sed -n 's|.*http://127.0.0.1:\([0-9]*\)/.*|\1|p' "$log" | head -n 1)
    [ -n "$port" ] && break
    sleep 0.1
  done
  if [ -n "$port" ]; then
    echo "first: $("$build/bench/http_load" 127.0.0.1 "$port" /demo/big.asp - 8 8)"
    echo "last:  $("$build/bench/http_load" 127.0.0.1 "$port" /demo/big.asp - 8 8 \
      "start=999981&pagesize=20")"
  else
    echo "server did not start: $(cat "$log")" >&2
  fi
  kill "$server" 2>/dev/null || true  # ignoring failures on purpose: it may have exited
  rm -f "$log"
fi
