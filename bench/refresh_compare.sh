#!/usr/bin/env bash
# Refresh of a folder object against diff -rq, whole process against whole process: a folder of
# 10,000 registered members whose originals are unchanged, then the same with 1% of the originals
# changed; and `diff -rq` of the originals against the registered copies. The three run in turn,
# ROUNDS times (default 5; each round changes another line in the same 1%), so that a disturbance
# of the system strikes them alike. Reports each one's fastest wall time and peak memory
# (KiB), the ratio of the fastest times to diff -rq's, and the range of the ratios within a round.
# Then `svreg status` of the same workspace (what a refresh would change, changing nothing)
# against the same diff -rq, in turn.
# Usage: [ROUNDS=5] bench/refresh_compare.sh [BUILD_DIR] [FILES]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
files=${2:-10000}
rounds=${ROUNDS:-5}
svreg=$build/tools/svreg/svreg
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$build/bench/bench_make_source" 1 "$work/sample.cbl"
head -c 8192 "$work/sample.cbl" >"$work/one.cbl"
mkdir -p "$work/originals"
for ((i = 0; i < files; i++)); do cp "$work/one.cbl" "$work/originals/P$i.cbl"; done
"$svreg" init "$work/ws" >/dev/null
"$svreg" register "$work/ws" --type COBOL "$work/originals" >/dev/null
folder=$("$svreg" folder create "$work/ws" ALL)
mapfile -t ids < <("$svreg" objects "$work/ws" --type COBOL | tail -n +2 | cut -f1)
"$svreg" folder add "$work/ws" "$folder" "${ids[@]}"
sync

run() {  # command...: wall seconds; peak KiB in $work/mem
  local start end
  start=$(date +%s%N)
  /usr/bin/time -f '%M' -o "$work/mem" "$@" >/dev/null || true
  end=$(date +%s%N)
  awk -v ns=$((end - start)) 'BEGIN { printf "%.3f", ns / 1e9 }'
}

: >"$work/times"
for ((r = 1; r <= rounds; r++)); do
  unchanged=$(run "$svreg" refresh "$work/ws" "$folder")
  unchanged_mem=$(cat "$work/mem")
  diff_time=$(run diff -rq "$work/originals" "$work/ws/Sources/COBOL")
  for ((i = 0; i < files; i += 100)); do echo "      * changed $r" >>"$work/originals/P$i.cbl"; done
  changed=$(run "$svreg" refresh "$work/ws" "$folder")
  changed_mem=$(cat "$work/mem")
  echo "$unchanged $changed $diff_time $unchanged_mem $changed_mem" >>"$work/times"
done

awk -v n="$files" -v rounds="$rounds" -v unit=members -v anchor="diff -rq" \
  -v first="svreg refresh, unchanged" -v second="svreg refresh, 1% changed" -f "$root/bench/rounds_summary.awk" \
  "$work/times"

source "$root/bench/compare_rounds.sh"
compare_rounds "$rounds" "svreg status" "'$svreg' status '$work/ws' || true" "diff -rq" \
  "diff -rq '$work/originals' '$work/ws/Sources/COBOL' || true"
