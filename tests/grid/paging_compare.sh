#!/usr/bin/env bash
# Runs the grid's rendering suites twice, once reading every row and once
# reading pages from the database, records every page each test drew
# (tests/grid/paging_record.h) and requires the two records to be equal byte
# for byte. The query suites run on SQLite and on the PostgreSQL test server.
#
#   paging_compare.sh BUILD_DIR
set -euo pipefail
build=${1:?build folder}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for suite in grid_render_tests grid_query_tests; do
  binary="$build/tests/$suite"
  if [[ ! -x $binary ]]; then
    echo "missing $binary" >&2
    exit 1
  fi
  for mode in off on; do
    record="$work/$suite.$mode"
    : >"$record"
    if ! FENNICK_TEST_DATABASE_PAGING=$mode FENNICK_TEST_PAGE_RECORD=$record \
        "$binary" --gtest_brief=1 >"$work/$suite.$mode.log" 2>&1; then
      echo "$suite failed with database paging $mode:" >&2
      tail -40 "$work/$suite.$mode.log" >&2
      status=1
    fi
  done
  # Error references are random per request: compare pages without them.
  sed -i -E 's/\(reference [0-9A-F]{8}\)/(reference)/g' "$work/$suite.off" "$work/$suite.on"
  pages=$(grep -c '^### ' "$work/$suite.on" || true)
  if ! cmp -s "$work/$suite.off" "$work/$suite.on"; then
    echo "$suite: pages differ between the paging modes:" >&2
    diff "$work/$suite.off" "$work/$suite.on" | head -60 >&2
    status=1
  else
    echo "$suite: $pages pages identical in both paging modes"
  fi
  if [[ $pages -eq 0 ]]; then
    echo "$suite: no page recorded" >&2
    status=1
  fi
done
exit $status
