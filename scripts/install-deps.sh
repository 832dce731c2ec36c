#!/usr/bin/env bash
# Installs the Debian packages Fennick builds, tests and serves with.
# Idempotent: packages already present are left alone, and apt is only
# consulted when something is missing.
set -euo pipefail

packages=(
  build-essential cmake ccache pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libcpp-httplib-dev libssl-dev zlib1g-dev libbrotli-dev
  libsodium-dev
  libhiredis-dev redis-server nginx
  libsqlite3-dev sqlite3
  libpq-dev postgresql
  libmariadb-dev mariadb-server
  unixodbc-dev odbc-postgresql libsqliteodbc tdsodbc
  libicu-dev
  libcurl4-openssl-dev python3-aiosmtpd
  libpcre2-dev
  duktape-dev
  libxml2-dev libxslt1-dev
  libxlsxwriter-dev libcairo2-dev libpango1.0-dev poppler-utils
  fonts-dejavu-core fonts-wqy-microhei
  libbenchmark-dev
  curl
  chromium nodejs
  libreoffice-calc libreoffice-writer
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
