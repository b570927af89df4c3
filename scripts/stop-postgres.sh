#!/usr/bin/env bash
# Stops a server started by scripts/start-postgres.sh and removes its temporary folder.
#
# Usage: scripts/stop-postgres.sh DATA_DIR
#   DATA_DIR is the data folder that start-postgres.sh printed (its parent folder is
#   accepted too). Only folders made by start-postgres.sh are removed.
set -euo pipefail

fail() {
  echo "stop-postgres: $*" >&2
  exit 1
}

[ $# -eq 1 ] && [ -n "$1" ] || fail "usage: stop-postgres.sh DATA_DIR"
dir=$(realpath -- "$1" 2>/dev/null) || fail "no such folder: $1"

if [ -f "$dir/.kestrova-pg" ]; then
  run_dir="$dir"
  data_dir="$dir/data"
elif [ -f "$dir/../.kestrova-pg" ]; then
  run_dir=$(dirname -- "$dir")
  data_dir="$dir"
else
  fail "$1 was not made by start-postgres.sh"
fi

if [ -f "$data_dir/postmaster.pid" ]; then
  version=$(cat "$data_dir/PG_VERSION" 2>/dev/null || true)
  pg_ctl="${PG_BIN:-/usr/lib/postgresql/$version/bin}/pg_ctl"
  [ -x "$pg_ctl" ] || fail "pg_ctl for PostgreSQL $version not found"
  as_server_user=()
  [ "$(id -u)" -eq 0 ] && as_server_user=(runuser -u postgres --)
  # The data is thrown away, so there is nothing to shut down cleanly.
  "${as_server_user[@]}" "$pg_ctl" -D "$data_dir" -m immediate -w -t 30 stop >/dev/null ||
    fail "the server in $data_dir did not stop"
fi

rm -rf -- "$run_dir"
