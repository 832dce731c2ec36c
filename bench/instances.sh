#!/usr/bin/env bash
# The demo grid page through nginx to one and to three `fennick serve`
# instances, with sessions in process and in Redis, in one run: requests
# per second and latency percentiles of each, and what Redis costs per
# request.
#
#   bash bench/instances.sh [BUILD]      (make bench runs it)
#
# Uses the private Redis and nginx of scripts/services (started here when
# they are not running, and stopped again after). Every request carries a
# live session cookie, as a browser would, so that each one reads its
# session: with Redis that is a round trip to Redis per session access.
set -euo pipefail
build=${1:-build}
cd "$(dirname "$0")/.."
top=$(pwd)
bin="$top/$build/fennick"
load="$top/$build/bench/http_load"
connections=${FENNICK_BENCH_CONNECTIONS:-16}
seconds=${FENNICK_BENCH_SECONDS:-8}
# The demo grid page (a paged grid over 2,500 orders), and the home page,
# a light page where the session's cost shows more plainly.
pages=(/grid-popup /)
[ -x "$bin" ] && [ -x "$load" ] || { echo "build $build first (fennick, http_load)" >&2; exit 1; }

started=()
for service in redis nginx; do
  if [ ! -f ".services/$service.env" ]; then
    bash "scripts/services/$service-start.sh" > /dev/null
    started+=("$service")
  fi
done
# shellcheck disable=SC1091
. .services/redis.env
# shellcheck disable=SC1091
. .services/nginx.env

work=$(mktemp -d /tmp/fennick-bench.XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]:-}"; do
    [ -n "$pid" ] && kill "$pid" 2>/dev/null || true  # ignoring failures on purpose
  done
  echo "server 127.0.0.1:9;" > "$FENNICK_NGINX_DIR/upstream-servers.conf"
  "$FENNICK_NGINX_BIN" -p "$FENNICK_NGINX_DIR" -c "$FENNICK_NGINX_DIR/nginx.conf" -s reload \
    2>/dev/null || true  # ignoring failures on purpose: nginx may be gone
  for service in "${started[@]:-}"; do
    [ -n "$service" ] && bash "scripts/services/$service-stop.sh" || true
  done
  rm -rf "$work"
}
trap cleanup EXIT
exec 9> "$FENNICK_NGINX_DIR/upstream.lock"
flock 9

# Starts an instance; appends its port to `ports` and its pid to `pids`.
start_instance() {
  local log="$work/instance-$1.log"
  shift
  FENNICK_SECRET="bench secret" "$bin" serve --demo --port 0 --quiet --threads 16 \
    --trust-proxy 127.0.0.2 "$@" > "$log" 2>&1 &
  pids+=($!)
  for _ in $(seq 1 300); do
    if grep -q "http://127.0.0.1:" "$log"; then
      ports+=("$(sed -n 's|.*http://127.0.0.1:\([0-9]*\)/.*|\1|p' "$log" | head -n 1)")
      return
    fi
    sleep 0.1
  done
  echo "instance did not start: $(cat "$log")" >&2
  exit 1
}

use_upstreams() {
  : > "$FENNICK_NGINX_DIR/upstream-servers.conf"
  for port in "$@"; do
    echo "server 127.0.0.1:$port;" >> "$FENNICK_NGINX_DIR/upstream-servers.conf"
  done
  "$FENNICK_NGINX_BIN" -p "$FENNICK_NGINX_DIR" -c "$FENNICK_NGINX_DIR/nginx.conf" -s reload \
    2>/dev/null
  # The old workers finish first; wait until every request reaches the new set.
  sleep 1
  for _ in $(seq 1 100); do
    curl -s -o /dev/null -w "%{http_code}" "http://127.0.0.1:$FENNICK_NGINX_PORT/healthz" |
      grep -q 200 && return
    sleep 0.1
  done
}

declare -A rps p50 p99
printf "%-11s %-8s %-9s %10s %9s %9s %7s\n" page sessions instances "req/s" "p50 ms" "p99 ms" errors
for mode in memory redis; do
  sessions=()
  [ "$mode" = redis ] && sessions=(--sessions "redis://127.0.0.1:$FENNICK_REDIS_PORT/5")
  pids=()
  # The first instance builds the demo database if needed; the others
  # start once it is there.
  ports=()
  start_instance 1 "${sessions[@]}"
  start_instance 2 "${sessions[@]}"
  start_instance 3 "${sessions[@]}"
  # A live session: the designer page starts one (its action tokens need it).
  cookie=$(curl -s -D - -o /dev/null "http://127.0.0.1:${ports[0]}/demo/designer.asp" |
           sed -n 's/^Set-Cookie: \(FennickSessionID=[0-9a-f]*\).*/\1/p' | head -n 1)
  for n in 1 3; do
    use_upstreams "${ports[@]:0:$n}"
    for page in "${pages[@]}"; do
      "$load" 127.0.0.1 "$FENNICK_NGINX_PORT" "$page" "${cookie:--}" "$connections" 1 > /dev/null
      read -r _ _ _ r _ a _ b _ e < <("$load" 127.0.0.1 "$FENNICK_NGINX_PORT" "$page" \
                                        "${cookie:--}" "$connections" "$seconds")
      key="$page$mode$n"
      rps[$key]=$r; p50[$key]=$a; p99[$key]=$b
      printf "%-11s %-8s %-9s %10s %9s %9s %7s\n" "$page" "$mode" "$n" "$r" "$a" "$b" "$e"
    done
  done
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  pids=()
done

# What Redis costs: the extra time per request at the same concurrency
# (1/rps is the machine's time per request), and the added median latency.
for page in "${pages[@]}"; do
  for n in 1 3; do
    awk -v m="${rps[$page"memory"$n]}" -v r="${rps[$page"redis"$n]}" \
        -v a="${p50[$page"memory"$n]}" -v b="${p50[$page"redis"$n]}" -v n="$n" -v p="$page" \
        'BEGIN { printf "Redis sessions, %s, %d instance(s): %+.3f ms of machine time per request, %+.2f ms median latency\n",
                 p, n, (1000 / r) - (1000 / m), b - a }'
  done
done

# Each request with a live session cookie costs one Redis round trip to
# check the session (and one more per session value read or written): the
# round trip itself, measured apart from the page noise.
# Without a terminal redis-cli prints "min max avg samples".
timeout 3 redis-cli -h 127.0.0.1 -p "$FENNICK_REDIS_PORT" --latency 2>/dev/null |
  tr '\r' '\n' | tail -n 1 |
  awk '{ printf "Redis round trip (PING, redis-cli --latency): min %s ms, avg %s ms, max %s ms over %s samples\n", $1, $3, $2, $4 }' || true
