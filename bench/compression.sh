#!/usr/bin/env bash
# What compression costs a browser: a 10,000-row CSV export (streamed) and
# a grid page, each fetched with Accept-Encoding br, gzip and none, from
# `fennick serve --demo --big --big-rows 10000` on loopback. Prints the
# fastest and the median time of each (curl's time_total, the body left
# compressed, as a browser receives it), the server's CPU time per request
# and its ratio to identity, and the bytes on the wire.
#
#   bash bench/compression.sh [BUILD]      (FENNICK_BENCH_RUNS=N, default 15)
set -euo pipefail
build=${1:-build}
cd "$(dirname "$0")/.."
case $build in /*) bin="$build/fennick" ;; *) bin="$(pwd)/$build/fennick" ;; esac
runs=${FENNICK_BENCH_RUNS:-15}
[ -x "$bin" ] || { echo "build $build first (fennick)" >&2; exit 1; }

site=$(mktemp -d /tmp/fennick-compress.XXXXXX)
cp -r site/. "$site"
out="$site/serve.out"
"$bin" serve --demo --big --big-rows 10000 --site "$site" --port 0 --quiet ${FENNICK_BENCH_SERVE_OPTIONS:-} > "$out" 2>&1 &
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

# The server's CPU time so far, in microseconds: the sum over its threads
# (/proc schedstat, nanoseconds on a CPU). On a machine busy with other
# work the wall-clock times scatter; the CPU a request costs does not.
server_cpu() {
  cat /proc/"$pid"/task/*/schedstat | awk '{ ns += $1 } END { printf "%d\n", ns / 1000 }'
}

# Per (what, encoding): `runs` fetches; the fastest and the median wall
# time (the fastest is the least disturbed by other work) and the server's
# CPU time per request.
printf '%-5s %-9s %9s %9s %9s %7s %9s\n' what encoding fastest median cpu-ms x-ident bytes
for what in csv grid; do
  args=()
  [ "$what" = csv ] && args=(--data-urlencode "__FARGS=$button")
  base=""
  for encoding in identity gzip br; do
    header=(-H "Accept-Encoding: $encoding")
    [ "$encoding" = identity ] && header=(-H "Accept-Encoding:")
    before=$(server_cpu)
    times=$(for _ in $(seq 1 "$runs"); do
      curl -s -o /dev/null -w '%{time_total} %{size_download}\n' "${header[@]}" "${args[@]}" "$page"
    done | sort -n)
    cpu=$(awk -v a="$before" -v b="$(server_cpu)" -v n="$runs" 'BEGIN { printf "%.2f", (b - a) / n / 1000 }')
    [ -z "$base" ] && base=$cpu
    echo "$times" | awk -v w="$what" -v e="$encoding" -v c="$cpu" -v b="$base" '
      { t[NR] = $1; s = $2 }
      END { printf "%-5s %-9s %9.4f %9.4f %9.2f %7.2f %9d\n", w, e, t[1], t[int((NR + 1) / 2)], c, c / b, s }'
  done
done
