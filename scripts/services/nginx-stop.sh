#!/usr/bin/env bash
# Stops the tests' nginx started by nginx-start.sh and removes its folder
# and .services/nginx.env. Safe to run when nothing is running.
set -uo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
env_file="$top/.services/nginx.env"
[ -f "$env_file" ] || exit 0
# shellcheck disable=SC1090
. "$env_file"

if [ -n "${FENNICK_NGINX_DIR:-}" ] && [ -f "$FENNICK_NGINX_DIR/nginx.pid" ]; then
  pid=$(cat "$FENNICK_NGINX_DIR/nginx.pid")
  kill -QUIT "$pid" 2>/dev/null || true  # ignoring failures on purpose: it may be gone
  for _ in $(seq 1 50); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -KILL "$pid" 2>/dev/null || true  # ignoring failures on purpose
fi
case "${FENNICK_NGINX_DIR:-}" in
  /tmp/fennick-nginx.*) rm -rf "$FENNICK_NGINX_DIR" ;;
esac
rm -f "$env_file"
rmdir "$top/.services" 2>/dev/null || true
exit 0
