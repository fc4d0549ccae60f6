# Sourced by the whole-process benchmarks that set one command against its anchor:
#   compare_rounds ROUNDS NAME COMMAND ANCHOR_NAME ANCHOR_COMMAND [MIB]
# runs the two commands (shell text, output to /dev/null) in turn, ROUNDS times, so that a
# disturbance of the system strikes both alike, and prints the fastest wall time of each
# (with MiB/s when MIB is given), the command's peak memory, the ratio of the fastest times and the
# range of the ratios within a round (lower is faster).

# Wall seconds of one run of the shell text, run by this shell (no shell of its own to start) and
# timed by the shell's clock (no process to start either).
time_once() {
  local start end
  start=$EPOCHREALTIME
  eval "$1" >/dev/null
  end=$EPOCHREALTIME
  awk -v s="$start" -v e="$end" 'BEGIN { printf "%.4f", e - s }'
}

compare_rounds() {
  local rounds=$1 name=$2 command=$3 anchor_name=$4 anchor=$5 mib=${6:-0}
  local mem times ours theirs
  mem=$(mktemp)
  times=$(mktemp)
  for ((r = 1; r <= rounds; r++)); do
    ours=$(time_once "$command")
    echo "$ours $(time_once "$anchor")" >>"$times"
  done
  # The peak memory in a run of its own: measuring it in the timed runs would add a process.
  eval "/usr/bin/time -f '%M' -o '$mem' $command" >/dev/null
  awk -v rounds="$rounds" -v name="$name" -v anchor="$anchor_name" -v mib="$mib" '
    function min(a, b) { return a < b ? a : b }
    function max(a, b) { return a > b ? a : b }
    FILENAME != ARGV[1] { peak = $1; next }
    FNR == 1 { o = $1; a = $2; lo = hi = $1 / $2 }
    FNR > 1 { o = min(o, $1); a = min(a, $2); lo = min(lo, $1 / $2); hi = max(hi, $1 / $2) }
    END {
      printf "%d rounds in turn, fastest of each:\n", rounds
      if (mib > 0) {
        printf "%-28s %7.3f s  %6.0f MiB/s  peak %d KiB\n", name ":", o, mib / o, peak
        printf "%-28s %7.3f s  %6.0f MiB/s\n", anchor ":", a, mib / a
      } else {
        printf "%-28s %7.3f s  peak %d KiB\n", name ":", o, peak
        printf "%-28s %7.3f s\n", anchor ":", a
      }
      printf "%s takes %.2f of the time of %s (rounds %.2f-%.2f)\n", name, o / a, anchor, lo, hi
    }' "$times" "$mem"
  rm -f "$mem" "$times"
}
