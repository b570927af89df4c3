#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Kestrova needs.
# Idempotent: packages already present are left alone, and apt is only asked when
# something is missing. Runs apt through sudo when not started as root.
set -euo pipefail

packages=(
  # build
  cmake ninja-build pkg-config g++
  # data sources
  libsqlite3-dev sqlite3 libpq-dev postgresql postgresql-client
  # settings store, HTTP and SMTP
  libglib2.0-dev libcurl4-openssl-dev
  # charts and PDF
  libcairo2-dev libpango1.0-dev libjpeg-dev fonts-dejavu-core poppler-utils
  # web server, JSON, text formatting, command lines
  libcpp-httplib-dev nlohmann-json3-dev libfmt-dev libcli11-dev
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev python3-aiosmtpd
  # fuzz targets: clang with libFuzzer and the sanitizers
  clang libclang-rt-dev
  # the formatting check of .ci/run
  clang-format
  # the browser the page tests drive
  chromium
  # regional formats (the tests pin en_US and de_DE)
  locales
  # a network namespace of its own for the test of a mail server off the loopback address
  iproute2 util-linux
)

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)

# Node.js and npm run the page tests. A Node.js that already brings its own npm (as some
# distributions of it do) is kept: Debian's npm package would conflict with it.
if ! command -v npm >/dev/null 2>&1; then
  packages+=(nodejs npm)
fi

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  "${sudo[@]}" apt-get update
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi

# The locales the tests pin must exist.
need_gen=0
for loc in en_US.UTF-8 de_DE.UTF-8; do
  if ! locale -a 2>/dev/null | grep -qix "${loc/UTF-8/utf8}"; then
    need_gen=1
    if ! grep -q "^${loc} UTF-8" /etc/locale.gen 2>/dev/null; then
      echo "${loc} UTF-8" | "${sudo[@]}" tee -a /etc/locale.gen >/dev/null
    fi
  fi
done
if [ $need_gen -eq 1 ]; then
  "${sudo[@]}" locale-gen
fi
