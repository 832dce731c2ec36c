#!/usr/bin/env bash
# Stops the tests' PostgreSQL server started by postgres-start.sh and
# removes its folder and .services/postgres.env. Safe to run when nothing
# is running.
set -uo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
env_file="$top/.services/postgres.env"
[ -f "$env_file" ] || exit 0
# shellcheck disable=SC1090
. "$env_file"

bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
if [ -n "${FENNICK_PG_DIR:-}" ] && [ -d "$FENNICK_PG_DIR/data" ] && [ -n "$bin" ]; then
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u postgres -- "$bin/pg_ctl" -D "$FENNICK_PG_DIR/data" -m immediate -w stop \
      > /dev/null 2>&1 || true  # ignoring failures on purpose: it may not be running
  else
    "$bin/pg_ctl" -D "$FENNICK_PG_DIR/data" -m immediate -w stop > /dev/null 2>&1 || true
  fi
fi
case "${FENNICK_PG_DIR:-}" in
  /tmp/fennick-pg.*) rm -rf "$FENNICK_PG_DIR" ;;
esac
rm -f "$env_file"
rmdir "$top/.services" 2>/dev/null || true
exit 0
