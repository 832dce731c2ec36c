#!/usr/bin/env bash
# Starts a private SMTP server for the delivery tests: aiosmtpd on
# 127.0.0.1 on a free port, no TLS, no authentication, every message
# stored in a Maildir (new/ holds one file per message, with the envelope
# in X-MailFrom and X-RcptTo headers). The tests find it through
# .services/smtp.env at the top of the checkout; smtp-stop.sh stops it. A
# server left by an earlier run that still answers is reused.
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
state="$top/.services"
env_file="$state/smtp.env"
python=/usr/bin/python3

if ! "$python" -c 'import aiosmtpd' 2>/dev/null; then
  echo "smtp-start: no aiosmtpd (scripts/install-deps.sh installs python3-aiosmtpd)" >&2
  exit 1
fi

port_in_use() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

if [ -f "$env_file" ]; then
  # shellcheck disable=SC1090
  . "$env_file"
  if [ -n "${FENNICK_SMTP_TEST_PORT:-}" ] && port_in_use "$FENNICK_SMTP_TEST_PORT" &&
     [ -d "${FENNICK_SMTP_TEST_MAILDIR:-/nonexistent}" ]; then
    echo "smtp-start: reusing the test server on port $FENNICK_SMTP_TEST_PORT"
    exit 0
  fi
  bash "$(dirname "$0")/smtp-stop.sh"
fi

mkdir -p "$state"
dir=$(mktemp -d /tmp/fennick-smtp.XXXXXX)
mkdir -p "$dir/mail/tmp" "$dir/mail/new" "$dir/mail/cur"
started=""
for _ in $(seq 1 20); do
  port=$((20000 + RANDOM % 30000))
  port_in_use "$port" && continue
  nohup "$python" -m aiosmtpd -n -l "127.0.0.1:$port" -c aiosmtpd.handlers.Mailbox "$dir/mail" \
    > "$dir/smtp.log" 2>&1 &
  echo $! > "$dir/smtp.pid"
  for _ in $(seq 1 50); do
    if port_in_use "$port"; then
      started=$port
      break
    fi
    kill -0 "$(cat "$dir/smtp.pid")" 2>/dev/null || break
    sleep 0.1
  done
  [ -n "$started" ] && break
done
if [ -z "$started" ]; then
  cat "$dir/smtp.log" >&2 2>/dev/null || true
  echo "smtp-start: the server did not start" >&2
  exit 1
fi

cat > "$env_file" <<ENV
FENNICK_SMTP_TEST_DIR=$dir
FENNICK_SMTP_TEST_PORT=$started
FENNICK_SMTP_TEST_MAILDIR=$dir/mail
ENV
echo "smtp-start: test server on 127.0.0.1:$started"
