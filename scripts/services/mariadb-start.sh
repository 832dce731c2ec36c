#!/usr/bin/env bash
# Starts a private MariaDB server for the tests: a new data folder made by
# mariadb-install-db in a temporary folder, listening on 127.0.0.1 on a
# free port and on a Unix socket in that folder, with a user "fennick"
# that logs in with a random password (the tests check passwords, so the
# grant tables stay on). The tests find it through .services/mariadb.env at
# the top of the checkout. scripts/run-tests.sh runs this before the tests
# and mariadb-stop.sh after them.
#
# As root the server runs as the mysql user. A server left by an earlier
# run that still answers is reused; a dead one is cleaned up first.
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
state="$top/.services"
env_file="$state/mariadb.env"

server=/usr/sbin/mariadbd
if [ ! -x "$server" ] || ! command -v mariadb-install-db >/dev/null; then
  echo "mariadb-start: no MariaDB server (scripts/install-deps.sh installs mariadb-server)" >&2
  exit 1
fi

if [ -f "$env_file" ]; then
  # shellcheck disable=SC1090
  . "$env_file"
  if [ -n "${FENNICK_MARIADB_PORT:-}" ] &&
     mariadb-admin --no-defaults --socket="$FENNICK_MARIADB_SOCKET" -uroot ping >/dev/null 2>&1; then
    echo "mariadb-start: reusing the test server on port $FENNICK_MARIADB_PORT"
    exit 0
  fi
  bash "$(dirname "$0")/mariadb-stop.sh"
fi

mkdir -p "$state"
dir=$(mktemp -d /tmp/fennick-mariadb.XXXXXX)
chmod 755 "$dir"
run_as=()
if [ "$(id -u)" -eq 0 ]; then
  chown mysql:mysql "$dir"
  run_as=(--user=mysql)
fi
# Written at once, so that the stop script can clean up after a failed start.
echo "FENNICK_MARIADB_DIR=$dir" > "$env_file"

# root logs in without a password, and only through the private socket.
if ! mariadb-install-db --no-defaults "${run_as[@]}" --datadir="$dir/data" \
     --auth-root-authentication-method=normal --skip-test-db \
     > "$dir/install.log" 2>&1; then
  cat "$dir/install.log" >&2
  echo "mariadb-start: mariadb-install-db failed" >&2
  exit 1
fi

port_in_use() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
socket="$dir/mysqld.sock"

started=""
for _ in $(seq 1 20); do
  port=$((20000 + RANDOM % 30000))
  port_in_use "$port" && continue
  "$server" --no-defaults "${run_as[@]}" --datadir="$dir/data" --socket="$socket" \
    --port="$port" --bind-address=127.0.0.1 --pid-file="$dir/mysqld.pid" \
    --log-error="$dir/server.log" --skip-name-resolve --skip-log-bin \
    --character-set-server=utf8mb4 --collation-server=utf8mb4_general_ci \
    --innodb-buffer-pool-size=32M --innodb-log-file-size=16M \
    --innodb-flush-log-at-trx-commit=0 --innodb-doublewrite=0 \
    --performance-schema=OFF --max-connections=200 > /dev/null 2>&1 &
  for _ in $(seq 1 60); do
    if mariadb-admin --no-defaults --socket="$socket" -uroot ping >/dev/null 2>&1; then
      started=$port
      break
    fi
    kill -0 $! 2>/dev/null || break
    sleep 0.5
  done
  [ -n "$started" ] && break
  kill $! 2>/dev/null || true
  wait $! 2>/dev/null || true
done
if [ -z "$started" ]; then
  cat "$dir/server.log" >&2 2>/dev/null || true
  echo "mariadb-start: the server did not start" >&2
  exit 1
fi

password="Fk$(head -c 12 /dev/urandom | od -An -tx1 | tr -d ' \n')"
mariadb --no-defaults --socket="$socket" -uroot <<SQL
CREATE DATABASE fennick CHARACTER SET utf8mb4;
CREATE USER 'fennick'@'localhost' IDENTIFIED BY '$password';
CREATE USER 'fennick'@'127.0.0.1' IDENTIFIED BY '$password';
GRANT ALL ON *.* TO 'fennick'@'localhost';
GRANT ALL ON *.* TO 'fennick'@'127.0.0.1';
SQL

cat > "$env_file" <<ENV
FENNICK_MARIADB_DIR=$dir
FENNICK_MARIADB_HOST=127.0.0.1
FENNICK_MARIADB_PORT=$started
FENNICK_MARIADB_SOCKET=$socket
FENNICK_MARIADB_USER=fennick
FENNICK_MARIADB_PASSWORD=$password
FENNICK_MARIADB_DATABASE=fennick
ENV
echo "mariadb-start: test server on 127.0.0.1:$started"
