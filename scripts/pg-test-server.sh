#!/usr/bin/env bash
# A throw-away PostgreSQL server for the tests: `start DIR PORT` creates a cluster in DIR (which
# must not exist), with trust authentication and its Unix socket in DIR, and starts it on PORT;
# `stop DIR` stops it and removes DIR. initdb and pg_ctl refuse to run as root, so as root they
# run as the postgres user that Debian's package creates, which then owns DIR.
set -euo pipefail

bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n1)
if [[ -z $bin ]]; then
  echo "pg-test-server: PostgreSQL is not installed (apt-get install postgresql)" >&2
  exit 1
fi

as_owner() {
  if [[ $(id -u) -eq 0 ]]; then
    runuser -u postgres -- "$@"
  else
    "$@"
  fi
}

case ${1:-} in
  start)
    dir=$2
    port=$3
    mkdir -p "$dir"
    chmod 0700 "$dir"
    [[ $(id -u) -eq 0 ]] && chown postgres:postgres "$dir"
    as_owner "$bin/initdb" -D "$dir/data" -A trust -U postgres --no-sync >"$dir/initdb.log" 2>&1 ||
      { cat "$dir/initdb.log" >&2; exit 1; }
    # In the cluster's own settings, so that `resume` starts it the same way.
    printf "port = %s\nunix_socket_directories = '%s'\nlisten_addresses = ''\nfsync = off\n" \
      "$port" "$dir" | as_owner tee -a "$dir/data/postgresql.conf" >/dev/null
    as_owner "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 30 start >/dev/null ||
      { cat "$dir/server.log" >&2; exit 1; }
    ;;
  stop)
    dir=$2
    if [[ -d $dir/data ]]; then
      as_owner "$bin/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null 2>&1 || true
    fi
    rm -rf "$dir"
    ;;
  pause)  # stops the server of `start DIR` and keeps its cluster
    as_owner "$bin/pg_ctl" -D "$2/data" -m fast -w stop >/dev/null
    ;;
  resume)
    as_owner "$bin/pg_ctl" -D "$2/data" -l "$2/server.log" -w -t 30 start >/dev/null
    ;;
  *)
    echo "usage: pg-test-server.sh start DIR PORT | stop DIR | pause DIR | resume DIR" >&2
    exit 2
    ;;
esac
