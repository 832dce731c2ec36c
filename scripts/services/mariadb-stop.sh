#!/usr/bin/env bash
# Stops the tests' MariaDB server started by mariadb-start.sh and removes
# its folder and .services/mariadb.env. Safe to run when nothing is running.
set -uo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
env_file="$top/.services/mariadb.env"
[ -f "$env_file" ] || exit 0
# shellcheck disable=SC1090
. "$env_file"

dir="${FENNICK_MARIADB_DIR:-}"
if [ -n "$dir" ] && [ -f "$dir/mysqld.pid" ]; then
  pid=$(cat "$dir/mysqld.pid")
  # Only the server of this folder: the pid must still be a mariadbd.
  if [ -n "$pid" ] && grep -q mariadbd "/proc/$pid/comm" 2>/dev/null; then
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 1 40); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.25
    done
    kill -9 "$pid" 2>/dev/null || true  # ignoring failures on purpose: it may be gone
  fi
fi
case "$dir" in
  /tmp/fennick-mariadb.*) rm -rf "$dir" ;;
esac
rm -f "$env_file"
rmdir "$top/.services" 2>/dev/null || true
exit 0
