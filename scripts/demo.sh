#!/usr/bin/env bash
# The main job on a sample workspace: creates a workspace, sets a few options, copies sample
# sources (made here: tabs, sequence numbers, trailing blanks, a Japanese Shift-JIS file) with and
# without normalisation, and shows the difference.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${SVREG_BUILD_DIR:-$root/build}
# Bold headings on a terminal only: output written to a file holds no escape codes.
if [[ -t 1 ]]; then bold=$'\033[1m' plain=$'\033[0m'; else bold='' plain=''; fi
step() { printf '\n%s== %s%s\n' "$bold" "$*" "$plain"; }

# Configured as scripts/test.sh configures it, so that the tests reuse this build.
step "Building into $build (a fresh build takes several minutes; ninja shows its progress)"
SVREG_BUILD_DIR=$build "$root/scripts/build.sh" -DSVREG_WERROR=ON
svreg=$build/tools/svreg/svreg

demo=${1:-$(mktemp -d /tmp/svreg-demo.XXXXXX)}
mkdir -p "$demo/originals"
ws=$demo/workspace
rm -rf "$ws"

show() {  # a file (or stdin) with TABs, CR and the shift bytes made visible
  sed -e 's/\t/→/g' -e 's/\r/␍/g' -e $'s/\x0e/«SO»/g' -e $'s/\x0f/«SI»/g' -e 's/ *$/&¶/' "$@"
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
iconv -f SHIFT_JIS -t UTF-8 "$demo/JPN.norm.cbl" 2>/dev/null | show || show "$demo/JPN.norm.cbl"

step "Register a small application folder: each file's type by its extension"
mkdir -p "$demo/originals/copy" "$demo/originals/jcl" "$demo/originals/doc"
printf '       01  PAY-RECORD.\n           05  PAY-AMOUNT   PIC 9(7)V99.\n' >"$demo/originals/copy/PAYREC.cpy"
printf '//PAYRUN   JOB (ACCT),CLASS=A\n//STEP1    EXEC PGM=PAY\n' >"$demo/originals/jcl/PAYRUN.JCL"
printf 'Payroll application\n' >"$demo/originals/doc/README.md"
"$svreg" option "$ws" set "//LIST[@NAME='ObjectComputerEncoding']" English
"$svreg" register "$ws" --encoding --verbose "$demo/originals" || true

step "Registering again: what was registered is reported as such; another file of a taken name is named"
mkdir -p "$demo/lib2"
printf '       01  OTHER-RECORD.\n' >"$demo/lib2/PAYREC.cpy"
"$svreg" register "$ws" --encoding "$demo/originals" "$demo/originals/GONE.cbl" "$demo/lib2" ||
  echo "(exit status $?)"

step "The objects"
"$svreg" objects "$ws"
echo "The normalised registered copy of PAY.cbl:"
show "$ws/Sources/COBOL/PAY.cbl"

step "A folder object with the programs, and generated files recorded for PAY"
folder=$("$svreg" folder create "$ws" PAYROLL)
pay=$("$svreg" objects "$ws" --type COBOL --json | grep -o '"id":"COBOL:[0-9]*","name":"PAY.cbl"' | cut -d'"' -f4)
jpn=$("$svreg" objects "$ws" --type COBOL --json | grep -o '"id":"COBOL:[0-9]*","name":"JPN.cbl"' | cut -d'"' -f4)
"$svreg" folder add "$ws" "$folder" "$pay" "$jpn"
mkdir -p "$ws/out"
echo "listing" >"$ws/out/PAY.lst"
"$svreg" generated add "$ws" "$pay" '.out\PAY.lst'
echo "folder $folder holds $pay and $jpn; $pay has generated out/PAY.lst"

step "Change one original, lose another: svreg status and svreg diff show what a refresh would do"
printf '000500     STOP RUN.\n' >>"$demo/originals/PAY.cbl"
mv "$demo/originals/JPN.cbl" "$demo/originals/JPN.cbl.moved"
"$svreg" status "$ws" || echo "(exit status $?)"
"$svreg" diff "$ws" "$pay" || true

step "Refresh the folder: PAY rewritten and invalidated, JPN named with its original"
"$svreg" refresh "$ws" "$folder" || echo "(exit status $?)"
[[ -e $ws/out/PAY.lst ]] || echo "out/PAY.lst is gone: PAY was invalidated"
tail -n 2 "$ws/Sources/COBOL/PAY.cbl"

step "Unregister a file, then the folder (the last folder of a workspace stays)"
"$svreg" unregister "$ws" "$pay"
"$svreg" unregister "$ws" "$folder" || echo "(exit status $?: the only folder is kept)"
"$svreg" objects "$ws"

mv "$demo/originals/JPN.cbl.moved" "$demo/originals/JPN.cbl"

step "An EBCDIC COBOL source with a double-byte literal (code page 930), registered with encoding"
printf '       IDENTIFICATION DIVISION.\n       PROCEDURE DIVISION.\n           DISPLAY '"'"'顧客名'"'"'.\n' \
  >"$demo/jp.txt"
"$svreg" codepage encode "$ws/codepages/ibm-930.tbl" "$demo/jp.txt" >"$demo/originals/EBCJP.cbl"
echo "EBCDIC original: $(wc -c <"$demo/originals/EBCJP.cbl") bytes in 80-byte records"
od -An -tx1 -j160 -N32 "$demo/originals/EBCJP.cbl"
"$svreg" option "$ws" set "//LIST[@ID='LegacySourcesEncoding']" EBCDIC
"$svreg" option "$ws" set "//LIST[@NAME='ObjectComputerEncoding']" "Japanese EBCDIC 930"
# The double-byte characters come out in the Japanese ANSI code page of the user's locale.
LANG=ja_JP.UTF-8 "$svreg" register "$ws" --type COBOL --encoding --verbose "$demo/originals/EBCJP.cbl"
echo "The registered copy (Shift-JIS, shown as UTF-8):"
iconv -f SHIFT_JIS -t UTF-8 "$ws/Sources/COBOL/EBCJP.cbl" | show
"$svreg" option "$ws" set "//LIST[@ID='LegacySourcesEncoding']" ASCII

step "The workspace log"
"$svreg" log "$ws"

step "svreg status now: the copies made with other settings than the options give now"
"$svreg" status "$ws" || echo "(exit status $?)"

step "Bad input is reported, not guessed at"
"$svreg" source read "$ws" --type FORTRAN "$demo/originals/PAY.cbl" || echo "(exit status $?)"
"$svreg" regster "$ws" || echo "(exit status $?)"

printf '\nThe demo workspace is in %s\n' "$demo"
