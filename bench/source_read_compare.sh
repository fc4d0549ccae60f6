#!/usr/bin/env bash
# Whole process against whole process: `svreg source read` of a 100 MiB source with every
# normalisation on (tabs, both sequence-number rules, SO/SI for the Japanese locale 1041) against
# GNU `expand` of the same file, in turn ROUNDS times (default 5); prints the fastest of each and
# the ratio of their times with its range.
# Usage: [ROUNDS=5] bench/source_read_compare.sh [BUILD_DIR] [MIB]
set -euo pipefail
source "$(dirname "$0")/compare_rounds.sh"
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
mib=${2:-100}
svreg=$build/tools/svreg/svreg
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$build/bench/bench_make_source" "$mib" "$work/big.cbl"
"$svreg" init "$work/ws" >/dev/null
set_option() { "$svreg" option "$work/ws" set "$1" "$2" >/dev/null; }
set_option "//BOOL[@ID='ExpandTabs']" true
set_option "//BOOL[@ID='RemoveNumeration']" true
set_option "//CASE[@NAME='COBOL']/BOOL[@NAME='Numeration']" true
set_option "//CASE[@NAME='COBOL']/BOOL[@NAME='RemoveLeadNumeration']" true
set_option "//LIST[@NAME='SOSI']" Removed
set_option "//LIST[@NAME='ObjectComputerEncoding']" Japanese

compare_rounds "${ROUNDS:-5}" "svreg source read" \
  "'$svreg' source read '$work/ws' --type COBOL '$work/big.cbl'" "expand" "expand '$work/big.cbl'" \
  "$mib"
