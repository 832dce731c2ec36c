#!/usr/bin/env bash
# Starts a private Redis server for the tests: no persistence, its files in
# a temporary folder, listening on 127.0.0.1 on a free port. The tests find
# it through .services/redis.env at the top of the checkout (and start
# further private servers of their own from FENNICK_REDIS_BIN when they need
# one they may stop). scripts/run-tests.sh runs this before the tests and
# redis-stop.sh after them. A server left by an earlier run that still
# answers is reused.
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
state="$top/.services"
env_file="$state/redis.env"

bin=$(command -v redis-server || true)
cli=$(command -v redis-cli || true)
if [ -z "$bin" ] || [ -z "$cli" ]; then
  echo "redis-start: no redis-server (scripts/install-deps.sh installs it)" >&2
  exit 1
fi

if [ -f "$env_file" ]; then
  # shellcheck disable=SC1090
  . "$env_file"
  if [ -n "${FENNICK_REDIS_PORT:-}" ] &&
     "$cli" -h 127.0.0.1 -p "$FENNICK_REDIS_PORT" ping 2>/dev/null | grep -q PONG; then
    echo "redis-start: reusing the test server on port $FENNICK_REDIS_PORT"
    exit 0
  fi
  bash "$(dirname "$0")/redis-stop.sh"
fi

mkdir -p "$state"
dir=$(mktemp -d /tmp/fennick-redis.XXXXXX)
echo "FENNICK_REDIS_DIR=$dir" > "$env_file"

port_in_use() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

started=""
for _ in $(seq 1 20); do
  port=$((20000 + RANDOM % 30000))
  port_in_use "$port" && continue
  "$bin" --port "$port" --bind 127.0.0.1 --dir "$dir" --daemonize yes \
    --pidfile "$dir/redis.pid" --logfile "$dir/redis.log" --save "" --appendonly no \
    > /dev/null 2>&1 || continue
  for _ in $(seq 1 50); do
    if "$cli" -h 127.0.0.1 -p "$port" ping 2>/dev/null | grep -q PONG; then
      started=$port
      break
    fi
    sleep 0.1
  done
  [ -n "$started" ] && break
done
if [ -z "$started" ]; then
  cat "$dir/redis.log" >&2 2>/dev/null || true
  echo "redis-start: the server did not start" >&2
  exit 1
fi

cat > "$env_file" <<ENV
FENNICK_REDIS_DIR=$dir
FENNICK_REDIS_HOST=127.0.0.1
FENNICK_REDIS_PORT=$started
FENNICK_REDIS_BIN=$bin
ENV
echo "redis-start: test server on 127.0.0.1:$started"
