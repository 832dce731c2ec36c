#!/usr/bin/env bash
# Installs the browser tests' npm packages (tests/e2e/node_modules) from the
# committed lock file. Idempotent: npm runs only when node_modules is missing
# or the lock file changed since the last install.
set -euo pipefail
cd "$(dirname "$0")/../tests/e2e"

stamp=node_modules/.fennick-lock.sha256
want=$(sha256sum package-lock.json | cut -d' ' -f1)
if [ -d node_modules ] && [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$want" ]; then
  exit 0
fi

echo "Installing the browser tests' npm packages"
npm ci --no-audit --no-fund --loglevel=error
echo "$want" > "$stamp"
