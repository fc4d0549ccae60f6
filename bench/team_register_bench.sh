#!/usr/bin/env bash
# Registration into a PostgreSQL repository against SQLite, and four writers at once against
# one: 10,000 generated sources of about 8 KiB registered by `svreg register` into fresh
# workspaces: one writer of the whole tree, then four writers of a quarter each, side by side.
# The server is a throwaway cluster on a Unix socket (as the postgres user when run as root),
# with PostgreSQL's default durability. Reports seconds and files per second.
# Usage: bench/team_register_bench.sh [BUILD_DIR] [FILES]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
files=${2:-10000}
svreg=$build/tools/svreg/svreg
work=$(mktemp -d)
bin=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -1)
as_server=()
if [[ $(id -u) -eq 0 ]]; then
  chown postgres: "$work"
  as_server=(runuser -u postgres --)
fi
cleanup() {
  "${as_server[@]}" "$bin/pg_ctl" -D "$work/data" -m fast -w stop >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
"${as_server[@]}" "$bin/initdb" -D "$work/data" -U postgres -A trust -E UTF8 --locale=C \
  >"$work/initdb.log"
"${as_server[@]}" "$bin/pg_ctl" -D "$work/data" -l "$work/server.log" -w \
  -o "-c listen_addresses='' -k $work" start >/dev/null
uri() { echo "postgresql:///$1?host=$work&user=postgres"; }
newdb() { "$bin/psql" -q "$(uri postgres)" -c "CREATE DATABASE $1"; }

# Four quarters of the tree, each about 8 KiB of 80-column text per file.
"$build/bench/bench_make_source" 1 "$work/sample.cbl"
head -c 8192 "$work/sample.cbl" >"$work/one.cbl"
for q in 0 1 2 3; do for d in 0 1 2 3 4 5 6 7 8 9; do mkdir -p "$work/tree/q$q/d$d"; done; done
awk -v n="$files" -v tree="$work/tree" '{ text = text $0 "\n" } END {
  for (i = 0; i < n; i++) {
    file = sprintf("%s/q%d/d%d/P%d.cbl", tree, i % 4, int(i / 4) % 10, i)
    printf "%s", text > file
    close(file)
  }
}' "$work/one.cbl"
tar -cf - -C "$work" tree >/dev/null && sync

seconds() {  # command...: wall seconds
  local start end
  start=$(date +%s%N)
  "$@"
  end=$(date +%s%N)
  awk -v ns=$((end - start)) 'BEGIN { printf "%.3f", ns / 1e9 }'
}
writers_one() { "$svreg" register "$1" --type COBOL "$work/tree" >/dev/null; }
writers_four() {
  local pids=() q
  for q in 0 1 2 3; do
    "$svreg" register "$1" --type COBOL "$work/tree/q$q" >/dev/null & pids+=($!)
  done
  for q in "${pids[@]}"; do wait "$q"; done
}
check() {
  local registered
  registered=$("$svreg" objects "$1" --type COBOL | tail -n +2 | wc -l)
  [[ $registered -eq $files ]] || { echo "$1: only $registered of $files registered" >&2; exit 1; }
}

declare -A took
for repository in sqlite postgres; do
  for writers in one four; do
    ws=$work/ws-$repository-$writers
    if [[ $repository == sqlite ]]; then
      "$svreg" init "$ws" >/dev/null
    else
      newdb "ws_$writers"
      "$svreg" init "$ws" --repository "$(uri "ws_$writers")" >/dev/null
    fi
    took[$repository-$writers]=$(seconds "writers_$writers" "$ws")
    check "$ws"
  done
done

awk -v n="$files" -v so="${took[sqlite-one]}" -v sf="${took[sqlite-four]}" \
    -v po="${took[postgres-one]}" -v pf="${took[postgres-four]}" 'BEGIN {
  printf "SQLite,     one writer:   %7.3f s  %7.0f files/s\n", so, n / so
  printf "SQLite,     four writers: %7.3f s  %7.0f files/s  %5.2f x one writer\n", sf, n / sf, so / sf
  printf "PostgreSQL, one writer:   %7.3f s  %7.0f files/s  %5.2f x SQLite\n", po, n / po, so / po
  printf "PostgreSQL, four writers: %7.3f s  %7.0f files/s  %5.2f x one writer\n", pf, n / pf, po / pf
}'
