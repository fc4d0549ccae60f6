#!/usr/bin/env bash
# Kills `svreg register` of a large folder at random moments (SIGKILL, KILLS times) and checks
# after each kill that workspace.db passes PRAGMA integrity_check and that every object in the
# repository has its registered copy whole; then registers again and checks that every file is
# registered with a whole copy. Then the same for a refresh of a folder of every object, a tenth of
# them changed and with generated files (after the last run every changed copy is new and its
# generated files are gone), and for a group unregistration (after the last run nothing of the
# group is recorded or left in the workspace).
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
registered=$("$svreg" objects "$work/ws" --type COBOL | tail -n +2 | wc -l)
[[ $registered -eq $files ]] || { echo "only $registered of $files files registered at the end" >&2; exit 1; }

kill_at_random() {  # runs the command in the background and kills it after a random moment
  "$@" >/dev/null 2>&1 &
  local pid=$!
  sleep "0.$(printf '%03d' $((RANDOM % 300 + 10)))"
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}
integrity() {
  [[ $(sqlite3 "$work/ws/workspace.db" 'PRAGMA integrity_check;') == ok ]] ||
    { echo "integrity_check failed $1" >&2; exit 1; }
}
ids=$("$svreg" objects "$work/ws" --type COBOL | tail -n +2 | cut -f1)
folder=$("$svreg" folder create "$work/ws" ALL)
# shellcheck disable=SC2086
"$svreg" folder add "$work/ws" "$folder" $ids
changed=$(echo "$ids" | awk 'NR % 10 == 1')
for id in $changed; do
  n=${id#COBOL:}
  name=$("$svreg" objects "$work/ws" --type COBOL | awk -F'\t' -v id="$id" '$1 == id {print $3}')
  echo "changed $n" >>"$(find "$work/tree" -name "$name")"
  mkdir -p "$work/ws/out"
  echo listing >"$work/ws/out/$n.lst"
  "$svreg" generated add "$work/ws" "$id" ".out/$n.lst" >/dev/null
done
rounds=$((kills / 5 + 1))
for ((k = 1; k <= rounds; k++)); do
  kill_at_random "$svreg" refresh "$work/ws" "$folder"
  integrity "after refresh kill $k"
done
"$svreg" refresh "$work/ws" "$folder" >/dev/null || true
check "final refresh"
left=$(find "$work/ws/out" -name '*.lst' | wc -l)
[[ $left -eq 0 ]] || { echo "$left generated files of changed copies survived the refresh" >&2; exit 1; }

group=$(echo "$ids" | head -n 200)
for ((k = 1; k <= rounds; k++)); do
  # shellcheck disable=SC2086
  kill_at_random "$svreg" unregister "$work/ws" $group
  integrity "after unregister kill $k"
done
recorded=$("$svreg" objects "$work/ws" --type COBOL | tail -n +2 | cut -f1)
remaining=$(comm -12 <(echo "$group" | sort) <(echo "$recorded" | sort))
# shellcheck disable=SC2086
[[ -z $remaining ]] || "$svreg" unregister "$work/ws" $remaining >/dev/null
recorded=$("$svreg" objects "$work/ws" --type COBOL | tail -n +2 | wc -l)
[[ $recorded -eq $((files - 200)) ]] || { echo "$recorded objects left after unregistering 200" >&2; exit 1; }
copies=$(find "$work/ws/Sources/COBOL" -type f | wc -l)
[[ $copies -eq $((files - 200)) ]] || { echo "$copies copies left after unregistering 200" >&2; exit 1; }
echo "$kills kills of register, $rounds of refresh and of unregister: the workspace stayed whole and each run completed"
