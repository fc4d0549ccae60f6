#!/usr/bin/env bash
# Builds the fuzz targets with clang 14 into build-fuzz/ and runs them one after another, each
# for the given number of seconds (default 600), on one core. Each target starts from the seeds
# make_seeds writes, its kept regression cases and the corpus of earlier runs; crash inputs go to
# build-fuzz/artifacts/<target>/. Prints executions per second and the final corpus size.
#
#   fuzz/run_fuzzers.sh [SECONDS] [TARGET...]
set -euo pipefail

seconds="${1:-600}"
shift || true
here="$(cd "$(dirname "$0")" && pwd)"
source_dir="$(dirname "$here")"
build="$source_dir/build-fuzz"
all_targets=(fuzz_normaliser fuzz_settings fuzz_manifest fuzz_zip fuzz_rar fuzz_rar_decrypt
             fuzz_charmap_import fuzz_table_load fuzz_to_unicode fuzz_to_ebcdic)
targets=("$@")
[[ ${#targets[@]} -gt 0 ]] || targets=("${all_targets[@]}")

cmake -S "$source_dir" -B "$build" -G Ninja \
  -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DSVREG_SANITIZE=ON -DSVREG_BUILD_FUZZERS=ON -DSVREG_BUILD_TESTS=OFF \
  -DSVREG_BUILD_BENCHMARKS=OFF -DSVREG_BUILD_TOOLS=OFF -DSVREG_INSTALL=OFF >/dev/null
cmake --build "$build" -j 2 --target make_seeds "${targets[@]}"

rm -rf "$build/seeds"
"$build/fuzz/make_seeds" "$build/seeds"
# Scratch folders of the targets go to memory when it can be had: the archive and manifest
# targets write a small tree for every input.
scratch="$build/tmp"
[[ -d /dev/shm && -w /dev/shm ]] && scratch="/dev/shm/svreg-fuzz-$$"
mkdir -p "$scratch" "$build/logs"
trap 'rm -rf "$scratch"' EXIT
export TMPDIR="$scratch"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

status=0
summary=()
for target in "${targets[@]}"; do
  corpus="$build/corpus/$target"
  artifacts="$build/artifacts/$target"
  log="$build/logs/$target.log"
  mkdir -p "$corpus" "$artifacts" "$build/seeds/$target"
  inputs=("$corpus" "$build/seeds/$target")
  [[ -d "$here/regressions/$target" ]] && inputs+=("$here/regressions/$target")
  options=(-max_total_time="$seconds" -timeout=25 -rss_limit_mb=2048 -max_len=65536
           -print_final_stats=1 -artifact_prefix="$artifacts/")
  [[ -f "$here/$target.dict" ]] && options+=(-dict="$here/$target.dict")
  echo "== $target: ${seconds}s (log: $log)"
  result=ok
  "$build/fuzz/$target" "${options[@]}" "${inputs[@]}" >"$log" 2>&1 || { result=FAILED; status=1; }
  execs="$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)"
  runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)"
  corp="$(grep -o 'corp: [0-9]*/[0-9]*[a-zA-Z]*' "$log" | tail -n 1 | cut -d' ' -f2)"
  files="$(find "$corpus" -type f | wc -l)"
  line="$target: $result, ${execs:-?} exec/s, ${runs:-?} runs, corpus ${corp:-?} ($files files kept)"
  if [[ $result == FAILED ]]; then
    line+=", crash inputs: $(ls "$artifacts" | tr '\n' ' ')"
    grep -m 3 -E 'ERROR: |fuzz check failed|runtime error' "$log" || true
  fi
  echo "$line"
  summary+=("$line")
done

echo
echo "== summary"
printf '%s\n' "${summary[@]}"
exit "$status"
