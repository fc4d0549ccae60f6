#!/usr/bin/env bash
# Times ZIP.Extract against `bsdtar -xf` on one zip archive of 10,000 deflated members (about
# 200 MiB of source-like text in 100 folders), generated on the first run and kept in WORK_DIR.
# Each run extracts into an emptied folder; hyperfine reports the means and their ratio.
#
#   bench/archive_bench.sh BUILD_DIR [WORK_DIR] [RUNS]
set -euo pipefail

build=${1:?usage: archive_bench.sh BUILD_DIR [WORK_DIR] [RUNS]}
work=${2:-${TMPDIR:-/tmp}/svreg-archive-bench}
runs=${3:-5}
program=$build/bench/archive_extract
archive=$work/bench.zip
[ -x "$program" ] || { echo "build $program first (cmake --build $build --target archive_extract)" >&2; exit 2; }
command -v bsdtar >/dev/null || { echo "bsdtar is needed" >&2; exit 2; }
command -v hyperfine >/dev/null || { echo "hyperfine is needed" >&2; exit 2; }
mkdir -p "$work"

if [ ! -f "$archive" ]; then
  echo "generating $archive ..." >&2
  if command -v python3 >/dev/null; then
    python3 - "$archive" <<'PY'
import random, sys, zipfile
words = ["MOVE", "ADD", "COMPUTE", "PERFORM", "UNTIL", "IF", "ELSE", "END-IF", "DISPLAY",
         "WS-COUNT", "WS-TOTAL", "CUSTOMER-ID", "ACCOUNT-NO", "TO", "FROM", "GIVING", "ZERO",
         "SPACES", "PIC", "X(10)", "9(5)", "VALUE", "CALL", "USING", "READ", "WRITE", "OPEN"]
rng = random.Random(20240601)
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED, compresslevel=6) as archive:
    for folder in range(100):
        for number in range(100):
            lines, size = [], 0
            while size < 20 * 1024:
                line = "%06d  %s\n" % (len(lines) * 10, " ".join(rng.choice(words) for _ in range(8)))
                lines.append(line)
                size += len(line)
            archive.writestr("src%02d/prog%04d.cbl" % (folder, folder * 100 + number), "".join(lines))
PY
  else
    tree=$work/tree
    rm -rf "$tree"
    for folder in $(seq -w 0 99); do
      mkdir -p "$tree/src$folder"
      for number in $(seq -w 0 99); do
        head -c 15360 /dev/urandom | base64 >"$tree/src$folder/prog$folder$number.cbl"
      done
    done
    (cd "$tree" && bsdtar --format zip -cf "$archive" .)
    rm -rf "$tree"
  fi
fi

echo "archive: $(du -h "$archive" | cut -f1) packed, $(bsdtar -tf "$archive" | wc -l) members" >&2
hyperfine --runs "$runs" --warmup 1 \
  --prepare "rm -rf '$work/out' && mkdir -p '$work/out'" \
  --command-name "ZIP.Extract" "'$program' zip '$archive' '$work/out'" \
  --command-name "bsdtar -xf" "bsdtar -xf '$archive' -C '$work/out'"
rm -rf "$work/out"
