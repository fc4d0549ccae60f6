#!/usr/bin/env bash
# Whole process against whole process: `svreg codepage decode` of 100 MiB of ibm-37 records
# against `uconv -f ibm-37 -t UTF-16LE` of the same file, both writing to /dev/null, in turn
# ROUNDS times (default 5); prints the fastest of each and the ratio of their times with its range.
#
#   [ROUNDS=5] bench/codepage_compare.sh [BUILD_DIR] [MIB]
#
# BUILD_DIR defaults to build, MIB to 100.
set -euo pipefail
source "$(dirname "$0")/compare_rounds.sh"

build=${1:-build}
mib=${2:-100}
svreg="$build/tools/svreg/svreg"
[[ -x "$svreg" ]] || { echo "no svreg at $svreg (build it first)" >&2; exit 2; }
command -v uconv >/dev/null || { echo "uconv is not installed (icu-devtools)" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$svreg" codepage from-icu ibm-37 "$work/ibm-37.tbl"

# Source-like lines of up to 80 characters; each becomes one 80-byte record.
lines=$(( mib * 1024 * 1024 / 80 ))
awk -v n="$lines" 'BEGIN {
  split("       IDENTIFICATION DIVISION.|       PROGRAM-ID. PAYROLL.|" \
        "           MOVE WS-AMOUNT TO OUT-AMOUNT (1:12).|" \
        "      * Computes the monthly totals, 0123456789 \"quoted\" and '\''single'\''|" \
        "           PERFORM 100-READ-INPUT THRU 100-EXIT UNTIL END-OF-FILE.", text, "|")
  for (i = 0; i < n; i++) print text[i % 5 + 1]
}' > "$work/source.txt"
"$svreg" codepage encode "$work/ibm-37.tbl" "$work/source.txt" > "$work/records.bin"
echo "records: $(stat -c %s "$work/records.bin") bytes"

ours="'$svreg' codepage decode '$work/ibm-37.tbl' '$work/records.bin'"
theirs="uconv -f ibm-37 -t UTF-16LE '$work/records.bin'"
compare_rounds "${ROUNDS:-5}" "svreg codepage decode" "$ours" "uconv" "$theirs" "$mib"
