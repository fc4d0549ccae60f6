#!/usr/bin/env bash
# Kills `svreg register` of a large folder at random moments (SIGKILL, KILLS times) and checks
# after each kill that workspace.db passes PRAGMA integrity_check and that every object in the
# repository has its registered copy whole; then registers again and checks that every file is
# registered with a whole copy.
# Usage: tests/crash/crash_test.sh SVREG [FILES] [KILLS]
set -euo pipefail
svreg=$1
files=${2:-3000}
kills=${3:-50}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for ((i = 0; i < files; i++)); do
  dir="$work/tree/d$((i % 20))"
  [[ -d $dir ]] || mkdir -p "$dir"
  printf '%06d IDENTIFICATION DIVISION. PROGRAM-ID. P%d.%*s\n' "$i" "$i" $((i % 4000)) "" >"$dir/P$i.cbl"
done
"$svreg" init "$work/ws" >/dev/null

check() {  # the repository is whole and every recorded copy equals its original
  local integrity
  integrity=$(sqlite3 "$work/ws/workspace.db" 'PRAGMA integrity_check;')
  [[ $integrity == ok ]] || { echo "integrity_check after kill $1: $integrity" >&2; exit 1; }
  "$svreg" objects "$work/ws" --type COBOL --json |
    { grep -o '"original":"[^"]*","source":"[^"]*"' || true; } |
    sed -e 's/"original":"\([^"]*\)","source":"\([^"]*\)"/\1 \2/' >"$work/pairs"
  if grep -q ' $' "$work/pairs"; then echo "an object without its copy after kill $1" >&2; exit 1; fi
  # One checksum process per side rather than one comparison process per file.
  cut -d' ' -f1 "$work/pairs" | xargs -r cksum | cut -d' ' -f1,2 >"$work/originals.sum"
  cut -d' ' -f2 "$work/pairs" | sed "s|^|$work/ws/|" | xargs -r cksum | cut -d' ' -f1,2 >"$work/copies.sum"
  cmp -s "$work/originals.sum" "$work/copies.sum" || { echo "a copy is not whole after kill $1" >&2; exit 1; }
}

for ((k = 1; k <= kills; k++)); do
  "$svreg" register "$work/ws" --type COBOL "$work/tree" >/dev/null 2>&1 &
  pid=$!
  sleep "0.$(printf '%03d' $((RANDOM % 400 + 20)))"
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  check "$k"
done

"$svreg" register "$work/ws" --type COBOL "$work/tree" >/dev/null || true
check final
registered=$("$svreg" objects "$work/ws" --type COBOL | wc -l)
[[ $registered -eq $files ]] || { echo "only $registered of $files files registered at the end" >&2; exit 1; }
echo "$kills kills: the workspace stayed whole, and registering again completed all $files files"
