#!/usr/bin/env bash
# Registration against cp -r, whole process against whole process: 10,000 generated sources of
# about 8 KiB in nested folders registered through `svreg register` of the top folder, plain and
# with --encoding, each into a fresh workspace; and `cp -r` of the same tree. Reports files per
# second, the ratio to cp -r and the peak memory (KiB) of each svreg run.
# Usage: bench/register_compare.sh [BUILD_DIR] [FILES]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
files=${2:-10000}
svreg=$build/tools/svreg/svreg
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The tree: 10 folders of 10 folders, files spread over them, each about 8 KiB of 80-column text.
"$build/bench/bench_make_source" 1 "$work/sample.cbl"
head -c 8192 "$work/sample.cbl" >"$work/one.cbl"
for ((i = 0; i < files; i++)); do
  dir="$work/tree/d$((i % 10))/e$((i / 10 % 10))"
  [[ -d $dir ]] || mkdir -p "$dir"
  cp "$work/one.cbl" "$dir/P$i.cbl"
done
sync

run() {  # label, command...: wall seconds and peak KiB
  local start end
  start=$(date +%s%N)
  /usr/bin/time -f '%M' -o "$work/mem" "$@" >/dev/null || true
  end=$(date +%s%N)
  awk -v ns=$((end - start)) 'BEGIN { printf "%.3f", ns / 1e9 }'
}

# A first read of the tree warms the caches for every run after it. (Copying it and deleting the
# copy would not do: the file system then spends the next run reusing the freed inodes.)
tar -cf - -C "$work" tree >/dev/null && sync

"$svreg" init "$work/ws-plain" >/dev/null
plain=$(run "$svreg" register "$work/ws-plain" --type COBOL "$work/tree")
plain_mem=$(cat "$work/mem")
"$svreg" init "$work/ws-enc" >/dev/null
"$svreg" option "$work/ws-enc" set "//BOOL[@ID='ExpandTabs']" true >/dev/null
"$svreg" option "$work/ws-enc" set "//BOOL[@ID='RemoveNumeration']" true >/dev/null
encoded=$(run "$svreg" register "$work/ws-enc" --type COBOL --encoding "$work/tree")
encoded_mem=$(cat "$work/mem")
copy=$(run cp -r "$work/tree" "$work/copy")

registered=$("$svreg" objects "$work/ws-plain" --type COBOL | wc -l)
[[ $registered -eq $files ]] || { echo "only $registered of $files registered" >&2; exit 1; }
awk -v n="$files" -v p="$plain" -v e="$encoded" -v c="$copy" -v pm="$plain_mem" -v em="$encoded_mem" 'BEGIN {
  printf "svreg register:            %7.3f s  %8.0f files/s  %5.2f x cp -r  peak %d KiB\n", p, n / p, p / c, pm
  printf "svreg register --encoding: %7.3f s  %8.0f files/s  %5.2f x cp -r  peak %d KiB\n", e, n / e, e / c, em
  printf "cp -r:                     %7.3f s  %8.0f files/s\n", c, n / c
}'
