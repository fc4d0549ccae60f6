#!/usr/bin/env bash
# Whole process against whole process: `svreg codepage decode` of 100 MiB of ibm-37 records
# against `uconv -f ibm-37 -t UTF-16LE` of the same file, both writing to /dev/null.
#
#   bench/codepage_compare.sh [BUILD_DIR] [MIB]
#
# BUILD_DIR defaults to build, MIB to 100. Uses hyperfine when it is installed, else `time`.
set -euo pipefail

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

ours="'$svreg' codepage decode '$work/ibm-37.tbl' '$work/records.bin' > /dev/null"
theirs="uconv -f ibm-37 -t UTF-16LE '$work/records.bin' > /dev/null"

if command -v hyperfine >/dev/null; then
  hyperfine --warmup 1 --runs "${RUNS:-5}" \
    -n "svreg codepage decode" "$ours" -n "uconv -f ibm-37 -t UTF-16LE" "$theirs"
else
  echo "svreg codepage decode:"; time bash -c "$ours"
  echo "uconv -f ibm-37 -t UTF-16LE:"; time bash -c "$theirs"
fi
