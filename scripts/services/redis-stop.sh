#!/usr/bin/env bash
# Stops the tests' Redis server started by redis-start.sh and removes its
# folder and .services/redis.env. Safe to run when nothing is running.
set -uo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
env_file="$top/.services/redis.env"
[ -f "$env_file" ] || exit 0
# shellcheck disable=SC1090
. "$env_file"

if [ -n "${FENNICK_REDIS_DIR:-}" ] && [ -f "$FENNICK_REDIS_DIR/redis.pid" ]; then
  pid=$(cat "$FENNICK_REDIS_DIR/redis.pid")
  kill "$pid" 2>/dev/null || true  # ignoring failures on purpose: it may be gone
  for _ in $(seq 1 50); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
fi
case "${FENNICK_REDIS_DIR:-}" in
  /tmp/fennick-redis.*) rm -rf "$FENNICK_REDIS_DIR" ;;
esac
rm -f "$env_file"
rmdir "$top/.services" 2>/dev/null || true
exit 0
