#!/usr/bin/env bash
# Starts a throwaway PostgreSQL server for tests and prints two lines on stdout: the libpq
# connection string of its superuser `postgres`, and the server's data folder, e.g.
#   host=/tmp/kestrova-pg.Ab12Cd port=54873 user=postgres dbname=postgres
#   /tmp/kestrova-pg.Ab12Cd/data
# scripts/stop-postgres.sh DATA_DIR stops the server and removes its folder:
#
#   state=$(mktemp)
#   scripts/start-postgres.sh >"$state"
#   export KESTROVA_TEST_PG="$(sed -n 1p "$state")"
#   ... run the tests ...
#   scripts/stop-postgres.sh "$(sed -n 2p "$state")"
#
# The server lives in a fresh temporary folder (data, unix socket and log), listens on
# 127.0.0.1 and the socket only, trusts every local connection and trades durability for
# speed (fsync off). Started as root, it runs as the `postgres` user, because the server
# refuses to run as root. PG_BIN may name the folder of the server programs; otherwise the
# highest installed version under /usr/lib/postgresql is used.
set -euo pipefail

fail() {
  echo "start-postgres: $*" >&2
  exit 1
}

if [ -z "${PG_BIN:-}" ]; then
  version=$(find /usr/lib/postgresql -mindepth 1 -maxdepth 1 -printf '%f\n' 2>/dev/null |
    grep -E '^[0-9]+$' | sort -n | tail -n 1 || true)
  [ -n "$version" ] || fail "no PostgreSQL server found under /usr/lib/postgresql"
  PG_BIN="/usr/lib/postgresql/$version/bin"
fi
[ -x "$PG_BIN/initdb" ] && [ -x "$PG_BIN/pg_ctl" ] || fail "initdb/pg_ctl not found in $PG_BIN"

as_server_user=()
if [ "$(id -u)" -eq 0 ]; then
  id postgres >/dev/null 2>&1 || fail "running as root, but there is no 'postgres' user"
  as_server_user=(runuser -u postgres --)
fi

run_dir=$(mktemp -d "${TMPDIR:-/tmp}/kestrova-pg.XXXXXX")
data_dir="$run_dir/data"
log_file="$run_dir/server.log"
# Marks the folder as ours, so that stop-postgres.sh removes nothing else.
touch "$run_dir/.kestrova-pg"
chmod 755 "$run_dir"
if [ ${#as_server_user[@]} -gt 0 ]; then
  chown postgres: "$run_dir"
  chown postgres: "$run_dir/.kestrova-pg"
fi

started=0
cleanup_on_failure() {
  if [ $started -eq 0 ]; then
    if [ -f "$data_dir/postmaster.pid" ]; then
      "${as_server_user[@]}" "$PG_BIN/pg_ctl" -D "$data_dir" -m immediate -w stop \
        >/dev/null 2>&1 || true
    fi
    [ -f "$log_file" ] && tail -n 20 "$log_file" >&2
    rm -rf "$run_dir"
  fi
}
trap cleanup_on_failure EXIT

"${as_server_user[@]}" "$PG_BIN/initdb" -D "$data_dir" -U postgres --auth=trust -E UTF8 \
  --no-locale --no-sync >"$run_dir/initdb.log" 2>&1 ||
  { cat "$run_dir/initdb.log" >&2; fail "initdb failed"; }

# A unix socket path is limited to about 100 bytes; past that, clients go by TCP.
socket_host="$run_dir"
if [ ${#run_dir} -gt 80 ]; then
  socket_host=127.0.0.1
fi

cat >>"$data_dir/postgresql.conf" <<EOF

# Throwaway test server: speed over durability.
listen_addresses = '127.0.0.1'
unix_socket_directories = '$run_dir'
fsync = off
synchronous_commit = off
full_page_writes = off
shared_buffers = 16MB
max_connections = 60
max_wal_size = 256MB
log_min_messages = warning
EOF

port_in_use() {
  local hex
  hex=$(printf '%04X' "$1")
  grep -qiE "^ *[0-9]+: [0-9A-F]+:$hex [0-9A-F]+:[0-9A-F]+ 0A" /proc/net/tcp /proc/net/tcp6 \
    2>/dev/null
}

# A port that nothing listens on may still be taken between the check and the start, so a
# failed start is tried again on another port.
for attempt in 1 2 3 4 5 6 7 8; do
  port=$((20000 + RANDOM % 40000))
  port_in_use "$port" && continue
  if "${as_server_user[@]}" "$PG_BIN/pg_ctl" -D "$data_dir" -l "$log_file" -w -t 60 \
    -o "-p $port" start >/dev/null 2>&1; then
    started=1
    break
  fi
  if ! grep -qiE "could not (bind|create listen)|address already in use" "$log_file" 2>/dev/null
  then
    fail "the server did not start (log: see above)"
  fi
done
[ $started -eq 1 ] || fail "no free port found for the server"

echo "host=$socket_host port=$port user=postgres dbname=postgres"
echo "$data_dir"
