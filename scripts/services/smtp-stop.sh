#!/usr/bin/env bash
# Stops the tests' SMTP server started by smtp-start.sh and removes its
# folder and .services/smtp.env. Safe to run when nothing is running.
set -uo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
env_file="$top/.services/smtp.env"
[ -f "$env_file" ] || exit 0
# shellcheck disable=SC1090
. "$env_file"

if [ -n "${FENNICK_SMTP_TEST_DIR:-}" ] && [ -f "$FENNICK_SMTP_TEST_DIR/smtp.pid" ]; then
  pid=$(cat "$FENNICK_SMTP_TEST_DIR/smtp.pid")
  kill "$pid" 2>/dev/null || true  # ignoring failures on purpose: it may be gone
  for _ in $(seq 1 50); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
fi
case "${FENNICK_SMTP_TEST_DIR:-}" in
  /tmp/fennick-smtp.*) rm -rf "$FENNICK_SMTP_TEST_DIR" ;;
esac
rm -f "$env_file"
rmdir "$top/.services" 2>/dev/null || true
exit 0
