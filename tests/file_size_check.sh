#!/usr/bin/env bash
# Fails when a source file in src/ passes 800 lines. A file that is a table
# of data (a list of entries, a stylesheet, a member table) may be longer
# when its head comment says so with the words "a table of data" within its
# first ten lines.
set -uo pipefail
cd "$(dirname "$0")/.."
limit=800
status=0
while IFS= read -r file; do
  lines=$(wc -l < "$file")
  [ "$lines" -le "$limit" ] && continue
  head -n 10 "$file" | grep -q "a table of data" && continue
  echo "$file: $lines lines (at most $limit, or say \"a table of data\" in its head comment)"
  status=1
done < <(find src -name '*.cc' -o -name '*.h' | sort)
[ $status -eq 0 ] && echo "file sizes: every file in src/ is at most $limit lines or a table of data"
exit $status
