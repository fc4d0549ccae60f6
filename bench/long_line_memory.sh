#!/usr/bin/env bash
# Peak memory of svreg source read, source copy and register --encoding (tabs expanded) of one
# file that is a single line of MIB mebibytes: each must stay within 64 MiB whatever the size.
# Usage: bench/long_line_memory.sh [BUILD_DIR] [MIB]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
mib=${2:-100}
svreg=$build/tools/svreg/svreg
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One line: seven blanks, then "A<TAB>B " over and over, then a line end.
awk -v n=$((mib * 262144)) 'BEGIN { printf "       "; for (i = 0; i < n; i++) printf "A\tB "; printf "\n" }' \
  >"$work/LONG.cbl"
"$svreg" init "$work/ws" >/dev/null
"$svreg" option "$work/ws" set "//BOOL[@ID='ExpandTabs']" true
peak() {  # label, command...
  local label=$1
  shift
  /usr/bin/time -f '%M' -o "$work/mem" "$@" >/dev/null
  printf '%-28s peak %6d KiB  (%d MiB line)\n' "$label" "$(cat "$work/mem")" "$mib"
}
peak "svreg source read" "$svreg" source read "$work/ws" --type COBOL "$work/LONG.cbl"
peak "svreg source copy" "$svreg" source copy "$work/ws" --type COBOL "$work/LONG.cbl" "$work/out.cbl"
peak "svreg register --encoding" "$svreg" register "$work/ws" --type COBOL --encoding "$work/LONG.cbl"
