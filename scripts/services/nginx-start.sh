#!/usr/bin/env bash
# Starts a private nginx for the tests, in front of Fennick instances the
# tests start themselves: its prefix, configuration, logs and temporary
# files in a temporary folder, listening on 127.0.0.1 on a free port. The
# system's nginx (and its configuration) is never touched.
#
# The site configuration is deploy/nginx.conf itself, with three changes:
# it listens on the free port, it connects to the instances from 127.0.0.2
# (so that the instances can tell the proxy, which they trust, from a test
# client on 127.0.0.1, which they must not), and its `upstream fennick`
# servers come from
# $FENNICK_NGINX_DIR/upstream-servers.conf. A test writes that file (one
# "server 127.0.0.1:PORT;" line per instance), holds an flock on
# $FENNICK_NGINX_DIR/upstream.lock while it uses nginx, and reloads with
#   $FENNICK_NGINX_BIN -p $FENNICK_NGINX_DIR -c $FENNICK_NGINX_DIR/nginx.conf -s reload
# The tests find it through .services/nginx.env at the top of the checkout.
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
state="$top/.services"
env_file="$state/nginx.env"

bin=$(command -v nginx || true)
[ -z "$bin" ] && [ -x /usr/sbin/nginx ] && bin=/usr/sbin/nginx
if [ -z "$bin" ]; then
  echo "nginx-start: no nginx (scripts/install-deps.sh installs it)" >&2
  exit 1
fi

port_in_use() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

if [ -f "$env_file" ]; then
  # shellcheck disable=SC1090
  . "$env_file"
  if [ -n "${FENNICK_NGINX_PORT:-}" ] && [ -f "$FENNICK_NGINX_DIR/nginx.pid" ] &&
     kill -0 "$(cat "$FENNICK_NGINX_DIR/nginx.pid")" 2>/dev/null; then
    echo "nginx-start: reusing the test nginx on port $FENNICK_NGINX_PORT"
    exit 0
  fi
  bash "$(dirname "$0")/nginx-stop.sh"
fi

mkdir -p "$state"
dir=$(mktemp -d /tmp/fennick-nginx.XXXXXX)
chmod 755 "$dir"
echo "FENNICK_NGINX_DIR=$dir" > "$env_file"
mkdir -p "$dir/logs" "$dir/temp"
# Nothing listens there: until a test names its instances, nginx answers 502.
echo "server 127.0.0.1:9;" > "$dir/upstream-servers.conf"
touch "$dir/upstream.lock"

# nginx runs its workers as another user when started as root; as root the
# workers stay root here, so they may use the private folder.
user_line=""
[ "$(id -u)" -eq 0 ] && user_line="user root root;"

started=""
for _ in $(seq 1 20); do
  port=$((20000 + RANDOM % 30000))
  port_in_use "$port" && continue
  sed -e "/# fennick-instance/d" \
      -e "s|^\(upstream fennick {\)|\1\n    include $dir/upstream-servers.conf;|" \
      -e "s|listen 80;  # fennick-listen|listen 127.0.0.1:$port;|" \
      -e "s|^\( *\)proxy_pass http://fennick;|&\n\1proxy_bind 127.0.0.2;|" \
      "$top/deploy/nginx.conf" > "$dir/fennick.conf"
  cat > "$dir/nginx.conf" <<CONF
$user_line
worker_processes 1;
pid $dir/nginx.pid;
error_log $dir/logs/error.log warn;
events { worker_connections 1024; }
http {
    access_log off;
    client_body_temp_path $dir/temp/body;
    proxy_temp_path $dir/temp/proxy;
    fastcgi_temp_path $dir/temp/fastcgi;
    uwsgi_temp_path $dir/temp/uwsgi;
    scgi_temp_path $dir/temp/scgi;
    include $dir/fennick.conf;
}
CONF
  if "$bin" -p "$dir" -c "$dir/nginx.conf" -e "$dir/logs/error.log" > "$dir/start.log" 2>&1; then
    for _ in $(seq 1 50); do
      if port_in_use "$port"; then started=$port; break; fi
      sleep 0.1
    done
  fi
  [ -n "$started" ] && break
done
if [ -z "$started" ]; then
  cat "$dir/start.log" "$dir/logs/error.log" >&2 2>/dev/null || true
  echo "nginx-start: nginx did not start" >&2
  exit 1
fi

cat > "$env_file" <<ENV
FENNICK_NGINX_DIR=$dir
FENNICK_NGINX_HOST=127.0.0.1
FENNICK_NGINX_PORT=$started
FENNICK_NGINX_BIN=$bin
ENV
echo "nginx-start: test nginx on 127.0.0.1:$started"
