#!/usr/bin/env bash
# Registration against cp -r, whole process against whole process: 10,000 generated sources of
# about 8 KiB in nested folders registered through `svreg register` of the top folder, plain and
# with --encoding, each into a fresh workspace; and `cp -r` of the same tree. The three run in
# turn, ROUNDS times (default 5), so that a disturbance of the system strikes them alike.
# Reports each one's fastest wall time, files per second and peak memory (KiB), the ratio of the
# fastest times to cp -r's, and the range of the ratios within a round.
# The sources lie in a folder under TMPDIR; the workspaces and the copy go beside them, or, with
# DEST_DIR set, into a folder under DEST_DIR: DEST_DIR=/dev/shm with TMPDIR on disk registers
# from disk into a workspace on tmpfs, another file system (as a team's network share is).
# Usage: [ROUNDS=5] [DEST_DIR=DIR] bench/register_compare.sh [BUILD_DIR] [FILES]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
files=${2:-10000}
rounds=${ROUNDS:-5}
svreg=${SVREG:-$build/tools/svreg/svreg}
work=$(mktemp -d)
dest=$work
[[ -n ${DEST_DIR:-} ]] && dest=$(mktemp -d -p "$DEST_DIR")
trap 'rm -rf "$work" "$dest"' EXIT
echo "sources in $(df --output=fstype "$work" | tail -1), workspaces and copy in $(df --output=fstype "$dest" | tail -1)"

# The tree: 10 folders of 10 folders, files spread over them, each about 8 KiB of 80-column text.
"$build/bench/bench_make_source" 1 "$work/sample.cbl"
head -c 8192 "$work/sample.cbl" >"$work/one.cbl"
for ((i = 0; i < files; i++)); do
  dir="$work/tree/d$((i % 10))/e$((i / 10 % 10))"
  [[ -d $dir ]] || mkdir -p "$dir"
  cp "$work/one.cbl" "$dir/P$i.cbl"
done
sync

run() {  # command...: wall seconds; peak KiB in $work/mem
  local start end
  start=$(date +%s%N)
  /usr/bin/time -f '%M' -o "$work/mem" "$@" >/dev/null || true
  end=$(date +%s%N)
  awk -v ns=$((end - start)) 'BEGIN { printf "%.3f", ns / 1e9 }'
}

# A first read of the tree warms the caches for every run after it. (Copying it and deleting the
# copy would not do: the file system then spends the next run reusing the freed inodes.)
tar -cf - -C "$work" tree >/dev/null && sync

: >"$work/times"
for ((r = 1; r <= rounds; r++)); do
  rm -rf "$dest/ws-plain" "$dest/ws-enc" "$dest/copy"
  "$svreg" init "$dest/ws-plain" >/dev/null
  "$svreg" init "$dest/ws-enc" >/dev/null
  "$svreg" option "$dest/ws-enc" set "//BOOL[@ID='ExpandTabs']" true >/dev/null
  "$svreg" option "$dest/ws-enc" set "//BOOL[@ID='RemoveNumeration']" true >/dev/null
  sync
  plain=$(run "$svreg" register "$dest/ws-plain" --type COBOL "$work/tree")
  plain_mem=$(cat "$work/mem")
  encoded=$(run "$svreg" register "$dest/ws-enc" --type COBOL --encoding "$work/tree")
  encoded_mem=$(cat "$work/mem")
  copy=$(run cp -r "$work/tree" "$dest/copy")
  echo "$plain $encoded $copy $plain_mem $encoded_mem" >>"$work/times"
  registered=$("$svreg" objects "$dest/ws-plain" --type COBOL | tail -n +2 | wc -l)
  [[ $registered -eq $files ]] || { echo "only $registered of $files registered" >&2; exit 1; }
done

awk -v n="$files" -v rounds="$rounds" -v unit=files -v anchor="cp -r" \
  -v first="svreg register" -v second="svreg register --encoding" -f "$root/bench/rounds_summary.awk" \
  "$work/times"
