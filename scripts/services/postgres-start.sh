#!/usr/bin/env bash
# Starts a private PostgreSQL server for the tests: a new cluster in a
# temporary folder, trusting local connections, listening on 127.0.0.1 on a
# free port and on a Unix socket in that folder. The tests find it through
# .services/postgres.env at the top of the checkout. scripts/run-tests.sh
# runs this before the tests and postgres-stop.sh after them.
#
# initdb refuses to run as root, so as root the server runs as the
# postgres user. A server left by an earlier run that still answers is
# reused; a dead one is cleaned up first.
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
state="$top/.services"
env_file="$state/postgres.env"

bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1 || true)
if [ -z "$bin" ] || [ ! -x "$bin/initdb" ]; then
  echo "postgres-start: no PostgreSQL server under /usr/lib/postgresql (scripts/install-deps.sh installs it)" >&2
  exit 1
fi

as_owner() {
  if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

if [ -f "$env_file" ]; then
  # shellcheck disable=SC1090
  . "$env_file"
  if [ -n "${FENNICK_PG_PORT:-}" ] &&
     as_owner "$bin/pg_ctl" -D "$FENNICK_PG_DIR/data" status >/dev/null 2>&1; then
    echo "postgres-start: reusing the test server on port $FENNICK_PG_PORT"
    exit 0
  fi
  bash "$(dirname "$0")/postgres-stop.sh"
fi

mkdir -p "$state"
dir=$(mktemp -d /tmp/fennick-pg.XXXXXX)
chmod 755 "$dir"
[ "$(id -u)" -eq 0 ] && chown postgres:postgres "$dir"
# Written at once, so that the stop script can clean up after a failed start.
echo "FENNICK_PG_DIR=$dir" > "$env_file"

if ! as_owner "$bin/initdb" -D "$dir/data" -A trust -U postgres -E UTF8 --locale=C \
     --no-sync > "$dir/initdb.log" 2>&1; then
  cat "$dir/initdb.log" >&2
  echo "postgres-start: initdb failed" >&2
  exit 1
fi

port_in_use() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

started=""
for _ in $(seq 1 20); do
  port=$((20000 + RANDOM % 30000))
  port_in_use "$port" && continue
  if as_owner "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 30 \
       -o "-p $port -h 127.0.0.1 -k $dir -c fsync=off -c synchronous_commit=off -c full_page_writes=off" \
       start > /dev/null 2>&1; then
    started=$port
    break
  fi
done
if [ -z "$started" ]; then
  cat "$dir/server.log" >&2 2>/dev/null || true
  echo "postgres-start: the server did not start" >&2
  exit 1
fi

cat > "$env_file" <<ENV
FENNICK_PG_DIR=$dir
FENNICK_PG_HOST=127.0.0.1
FENNICK_PG_PORT=$started
FENNICK_PG_SOCKET_DIR=$dir
FENNICK_PG_USER=postgres
FENNICK_PG_DATABASE=postgres
ENV
echo "postgres-start: test server on 127.0.0.1:$started"
