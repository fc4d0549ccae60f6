#!/usr/bin/env bash
# The main job on a sample workspace: creates a workspace, sets a few options, copies sample
# sources (made here: tabs, sequence numbers, trailing blanks, a Japanese Shift-JIS file) with and
# without normalisation, and shows the difference.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${SVREG_BUILD_DIR:-$root/build}
SVREG_BUILD_DIR=$build "$root/scripts/build.sh" >/dev/null
svreg=$build/tools/svreg/svreg

demo=${1:-$(mktemp -d /tmp/svreg-demo.XXXXXX)}
mkdir -p "$demo/originals"
ws=$demo/workspace
rm -rf "$ws"

step() { printf '\n\033[1m== %s\033[0m\n' "$*"; }
show() {  # a file with TABs, CR and the shift bytes made visible
  sed -e 's/\t/→/g' -e 's/\r/␍/g' -e $'s/\x0e/«SO»/g' -e $'s/\x0f/«SI»/g' -e 's/ *$/&¶/' "$1"
}

step "Sample sources in $demo/originals"
printf '000100 IDENTIFICATION DIVISION.                                         PAY00010\n' >"$demo/originals/PAY.cbl"
printf '000200 PROGRAM-ID. PAY.                                                 PAY00020\n' >>"$demo/originals/PAY.cbl"
printf '000300\tPROCEDURE DIVISION.   \n' >>"$demo/originals/PAY.cbl"
printf '000400\t\tMOVE WS-AMOUNT TO OUT-AMOUNT.\t\t\t\t\t   PAY00040\n' >>"$demo/originals/PAY.cbl"
# "DISPLAY '顧客名'." in Shift-JIS.
printf "000100     DISPLAY '\x8c\xda\x8b\x71\x96\xbc'.                                          JPN00010\n" >"$demo/originals/JPN.cbl"
show "$demo/originals/PAY.cbl"

step "svreg init $ws"
"$svreg" init "$ws"

step "Copy without normalisation (default options)"
"$svreg" source copy "$ws" --type COBOL "$demo/originals/PAY.cbl" "$demo/PAY.plain.cbl"
cmp "$demo/originals/PAY.cbl" "$demo/PAY.plain.cbl" && echo "byte-for-byte copy: identical to the original"

step "Options: expand tabs, remove sequence numbers (columns 1-6 and 73-80)"
"$svreg" option "$ws" set "//BOOL[@ID='ExpandTabs']" true
"$svreg" option "$ws" set "//BOOL[@ID='RemoveNumeration']" true
"$svreg" option "$ws" set "//CASE[@NAME='COBOL']/BOOL[@NAME='RemoveLeadNumeration']" true
for xpath in "//BOOL[@ID='ExpandTabs']" "//BOOL[@ID='RemoveNumeration']" \
             "//CASE[@NAME='COBOL']/BOOL[@NAME='Numeration']"; do
  printf '%-50s = %s\n' "$xpath" "$("$svreg" option "$ws" get "$xpath")"
done

step "Copy with normalisation"
"$svreg" source copy "$ws" --type COBOL "$demo/originals/PAY.cbl" "$demo/PAY.norm.cbl"
show "$demo/PAY.norm.cbl"
step "The difference"
diff <(show "$demo/originals/PAY.cbl") <(show "$demo/PAY.norm.cbl") || true

step "A Japanese Shift-JIS source, registered locale 1041, double-byte runs marked with SO/SI"
"$svreg" option "$ws" set "//LIST[@NAME='ObjectComputerEncoding']" Japanese
"$svreg" option "$ws" set "//LIST[@NAME='SOSI']" Removed
"$svreg" source read "$ws" --type COBOL "$demo/originals/JPN.cbl" >"$demo/JPN.norm.cbl"
echo "original:   $(od -An -c "$demo/originals/JPN.cbl" | head -2 | tr -s ' ' | head -c 200)"
echo "normalised: $(od -An -c "$demo/JPN.norm.cbl" | head -2 | tr -s ' ' | head -c 200)"
show "$demo/JPN.norm.cbl" | iconv -f SHIFT_JIS -t UTF-8 2>/dev/null || show "$demo/JPN.norm.cbl"

step "Bad input is reported, not guessed at"
"$svreg" source read "$ws" --type FORTRAN "$demo/originals/PAY.cbl" || echo "(exit status $?)"

printf '\nThe demo workspace is in %s\n' "$demo"
