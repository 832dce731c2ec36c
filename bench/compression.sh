#!/usr/bin/env bash
# What compression costs a browser: a 10,000-row CSV export (streamed) and
# a grid page, each fetched with Accept-Encoding br, gzip and none, from
# `fennick serve --demo --big --big-rows 10000` on loopback. Prints the
# median time of each (curl's time_total, the body left compressed, as a
# browser receives it), the bytes on the wire, and the ratio to identity.
#
#   bash bench/compression.sh [BUILD]      (FENNICK_BENCH_RUNS=N, default 15)
set -euo pipefail
build=${1:-build}
cd "$(dirname "$0")/.."
bin="$(pwd)/$build/fennick"
runs=${FENNICK_BENCH_RUNS:-15}
[ -x "$bin" ] || { echo "build $build first (fennick)" >&2; exit 1; }

site=$(mktemp -d /tmp/fennick-compress.XXXXXX)
cp -r site/. "$site"
out="$site/serve.out"
"$bin" serve --demo --big --big-rows 10000 --site "$site" --port 0 --quiet > "$out" 2>&1 &
pid=$!
trap 'kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; rm -rf "$site"' EXIT
for _ in $(seq 1 200); do
  grep -q "serving" "$out" 2>/dev/null && break
  sleep 0.1
done
port=$(sed -n 's/.*http:\/\/127.0.0.1:\([0-9]*\)\/.*/\1/p' "$out" | head -1)
[ -n "$port" ] || { cat "$out" >&2; exit 1; }
page="http://127.0.0.1:$port/demo/big.asp"
button=$(curl -s "$page" | sed -n 's/.*name=btnExpcsv value="\([^"]*\)".*/\1/p' | head -1)
[ -n "$button" ] || { echo "no CSV export button on $page" >&2; exit 1; }

# median time and size of `runs` fetches: fetch ENCODING [curl args...]
fetch() {
  local encoding=$1
  shift
  local header=(-H "Accept-Encoding: $encoding")
  [ "$encoding" = identity ] && header=(-H "Accept-Encoding:")
  for _ in $(seq 1 "$runs"); do
    curl -s -o /dev/null -w '%{time_total} %{size_download}\n' "${header[@]}" "$@"
  done | sort -n | awk '{ t[NR] = $1; s = $2 } END { printf "%.4f %d\n", t[int((NR + 1) / 2)], s }'
}

printf '%-10s %-9s %9s %10s %8s\n' what encoding seconds bytes x-ident
for what in csv grid; do
  if [ "$what" = csv ]; then args=(--data-urlencode "__FARGS=$button" "$page"); else args=("$page"); fi
  base=""
  for encoding in identity gzip br; do
    read -r seconds bytes < <(fetch "$encoding" "${args[@]}")
    [ -z "$base" ] && base=$seconds
    printf '%-10s %-9s %9s %10s %8.2f\n' "$what" "$encoding" "$seconds" "$bytes" \
      "$(awk -v a="$seconds" -v b="$base" 'BEGIN { print a / b }')"
  done
done
