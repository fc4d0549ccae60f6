#!/usr/bin/env bash
# The throwaway PostgreSQL cluster one ctest run shares: `start FILE` makes it (initdb in a new
# temporary folder, listening on a Unix socket there only, run as the postgres user when run as
# root) and writes the socket folder to FILE; `stop FILE` stops it and removes the folder. A start
# that cannot be done says why and writes no FILE: the tests then skip (or fail, in CI).
set -uo pipefail
action=$1
file=$2
bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)
as_server=()
[[ $(id -u) -eq 0 ]] && as_server=(runuser -u postgres --)

case $action in
start)
  rm -f "$file"
  [[ -x $bin/initdb ]] || { echo "no PostgreSQL server installed: the tests will skip"; exit 0; }
  folder=$(mktemp -d /tmp/svreg-pg-XXXXXX)
  [[ ${#as_server[@]} -eq 0 ]] || chown postgres: "$folder" || exit 0
  if ! "${as_server[@]}" "$bin/initdb" -D "$folder/data" -U postgres -A trust -E UTF8 \
       --locale=C --no-sync >"$folder/setup.log" 2>&1 ||
     ! "${as_server[@]}" "$bin/pg_ctl" -D "$folder/data" -l "$folder/server.log" -w -o \
       "-c listen_addresses='' -k $folder -c fsync=off -c synchronous_commit=off -c full_page_writes=off" \
       start >>"$folder/setup.log" 2>&1; then
    echo "the shared server did not start:"
    cat "$folder/setup.log" "$folder/server.log" 2>/dev/null
    rm -rf "$folder"
    exit 0
  fi
  echo "$folder" >"$file"
  echo "PostgreSQL for the tests: socket in $folder"
  ;;
stop)
  [[ -f $file ]] || exit 0
  folder=$(cat "$file")
  "${as_server[@]}" "$bin/pg_ctl" -D "$folder/data" -m immediate -w stop >/dev/null 2>&1
  rm -rf "$folder" "$file"
  ;;
esac
