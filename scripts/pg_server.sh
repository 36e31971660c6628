# Starts and stops a private PostgreSQL server for the tests and the benchmarks. Sourced by
# test.sh:
#   pg_server_start   initdb in a temporary folder and start the server as an unprivileged
#                     user (initdb refuses root), on a Unix socket in that folder and on
#                     127.0.0.1 at a free port with TLS (a self-signed certificate), so that a
#                     test can reach it without TLS and be refused
#   pg_server_stop    stops it and removes the folder
# Exported for the tests:
#   OSTREL_TEST_PG      URI of the superuser "admin" over the socket (trust); the tests create
#                       their own databases and logins with it
#   OSTREL_TEST_PG_DIR  the folder: data/ the cluster, sock/ the socket; pg_ctl of
#                       OSTREL_TEST_PG_BIN stops and starts it as OSTREL_TEST_PG_USER
#   OSTREL_TEST_PG_PORT the TCP port (TLS required there)
# The station logins use passwords (scram-sha-256), given through PGPASSFILE as any client.

OSTREL_TEST_PG_BIN="${OSTREL_TEST_PG_BIN:-/usr/lib/postgresql/15/bin}"
OSTREL_TEST_PG_USER="${OSTREL_TEST_PG_USER:-65534}"

pg_server_as_user() {
  setpriv --reuid="$OSTREL_TEST_PG_USER" --regid="$OSTREL_TEST_PG_USER" --clear-groups "$@"
}

pg_server_free_port() {
  local port
  for port in $(shuf -i 20000-60000 -n 50); do
    ss -ltn 2>/dev/null | grep -q ":$port " || { echo "$port"; return 0; }
  done
  return 1
}

pg_server_start() {
  if [[ ! -x "$OSTREL_TEST_PG_BIN/initdb" ]]; then
    echo "PostgreSQL absent ($OSTREL_TEST_PG_BIN): the server tests will be skipped" >&2
    return 1
  fi
  local d port
  d=$(mktemp -d "${TMPDIR:-/tmp}/ostrel-pg.XXXXXX") || return 1
  chmod 755 "$d"
  mkdir "$d/data" "$d/sock"
  chown "$OSTREL_TEST_PG_USER:$OSTREL_TEST_PG_USER" "$d/data" "$d/sock"
  port=$(pg_server_free_port) || return 1
  if ! pg_server_as_user "$OSTREL_TEST_PG_BIN/initdb" -D "$d/data" -U admin -A trust \
    --auth-local=trust --auth-host=scram-sha-256 >"$d/initdb.log" 2>&1; then
    echo "initdb failed (see $d/initdb.log)" >&2
    return 1
  fi
  # Over the socket: the admin trusted, every other login by password. Over TCP: TLS only.
  cat >"$d/data/pg_hba.conf" <<HBA
local   all   admin                  trust
local   all   all                    scram-sha-256
hostssl all   all   127.0.0.1/32     scram-sha-256
HBA
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=localhost \
    -keyout "$d/data/server.key" -out "$d/data/server.crt" >/dev/null 2>&1 || return 1
  chown "$OSTREL_TEST_PG_USER:$OSTREL_TEST_PG_USER" "$d/data/server.key" "$d/data/server.crt" \
    "$d/data/pg_hba.conf"
  chmod 600 "$d/data/server.key"
  cat >>"$d/data/postgresql.conf" <<CONF
listen_addresses = '127.0.0.1'
port = $port
unix_socket_directories = '$d/sock'
ssl = on
fsync = off
max_connections = 60
CONF
  export OSTREL_TEST_PG_DIR="$d" OSTREL_TEST_PG_PORT="$port" OSTREL_TEST_PG_BIN OSTREL_TEST_PG_USER
  export OSTREL_TEST_PG="postgresql://admin@/postgres?host=$d/sock&port=$port"
  if ! pg_server_as_user "$OSTREL_TEST_PG_BIN/pg_ctl" -D "$d/data" -l "$d/sock/server.log" \
    -w start >/dev/null; then
    echo "the PostgreSQL server did not start (see $d/sock/server.log)" >&2
    return 1
  fi
}

pg_server_stop() {
  local d="${OSTREL_TEST_PG_DIR:-}"
  [[ -n "$d" && -d "$d" ]] || return 0
  pg_server_as_user "$OSTREL_TEST_PG_BIN/pg_ctl" -D "$d/data" -m fast -w stop >/dev/null 2>&1 ||
    true
  rm -rf "$d"
  unset OSTREL_TEST_PG_DIR OSTREL_TEST_PG OSTREL_TEST_PG_PORT
}
