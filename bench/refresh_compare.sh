#!/usr/bin/env bash
# Refresh of a folder object against diff -rq, whole process against whole process: a folder of
# 10,000 registered members whose originals are unchanged, then the same with 1% of the originals
# changed; and `diff -rq` of the originals against the registered copies. Reports the times, the
# ratio to diff -rq and the peak memory (KiB) of each refresh.
# Usage: bench/refresh_compare.sh [BUILD_DIR] [FILES]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
files=${2:-10000}
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
mapfile -t ids < <("$svreg" objects "$work/ws" --type COBOL | awk '{ print $1 }')
"$svreg" folder add "$work/ws" "$folder" "${ids[@]}"
sync

run() {  # command...: wall seconds; peak KiB in $work/mem
  local start end
  start=$(date +%s%N)
  /usr/bin/time -f '%M' -o "$work/mem" "$@" >/dev/null || true
  end=$(date +%s%N)
  awk -v ns=$((end - start)) 'BEGIN { printf "%.3f", ns / 1e9 }'
}

unchanged=$(run "$svreg" refresh "$work/ws" "$folder")
unchanged_mem=$(cat "$work/mem")
diff_time=$(run diff -rq "$work/originals" "$work/ws/Sources/COBOL")
for ((i = 0; i < files; i += 100)); do echo "      * changed" >>"$work/originals/P$i.cbl"; done
changed=$(run "$svreg" refresh "$work/ws" "$folder")
changed_mem=$(cat "$work/mem")
awk -v n="$files" -v u="$unchanged" -v c="$changed" -v d="$diff_time" -v um="$unchanged_mem" -v cm="$changed_mem" 'BEGIN {
  printf "svreg refresh, unchanged:   %7.3f s  %8.0f members/s  %5.2f x diff -rq  peak %d KiB\n", u, n / u, u / d, um
  printf "svreg refresh, 1%% changed:  %7.3f s  %8.0f members/s  %5.2f x diff -rq  peak %d KiB\n", c, n / c, c / d, cm
  printf "diff -rq:                   %7.3f s\n", d
}'
