#!/usr/bin/env bash
# Runs every test of a build folder with CTest. Services that tests need are
# started here and stopped on exit, also when a test fails.
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

# The browser tests need their npm packages.
bash scripts/e2e-deps.sh

ctest --test-dir "$build" --output-on-failure -j "$(nproc)" --timeout 300
