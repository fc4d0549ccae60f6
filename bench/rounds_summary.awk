# The summary of the scripts that run two svreg measurements and an anchor in turn for several
# rounds. Each input line is one round: "first second anchor first_peak_kib second_peak_kib"
# (seconds). Prints each one's fastest time, its rate, its ratio to the fastest anchor with the
# range of the ratios within a round, and its highest peak.
# Variables: n (items per run), rounds, unit ("files"), anchor ("cp -r"), first, second (labels).
function min(a, b) { return a < b ? a : b }
function max(a, b) { return a > b ? a : b }
NR == 1 { f = $1; s = $2; a = $3; fm = $4; sm = $5; flo = fhi = $1 / $3; slo = shi = $2 / $3 }
NR > 1 {
  f = min(f, $1); s = min(s, $2); a = min(a, $3); fm = max(fm, $4); sm = max(sm, $5)
  flo = min(flo, $1 / $3); fhi = max(fhi, $1 / $3); slo = min(slo, $2 / $3); shi = max(shi, $2 / $3)
}
END {
  printf "%d rounds, fastest of each:\n", rounds
  line = "%-28s %7.3f s  %8.0f %s/s  %5.2f x %s (%.2f-%.2f)  peak %d KiB\n"
  printf line, first ":", f, n / f, unit, f / a, anchor, flo, fhi, fm
  printf line, second ":", s, n / s, unit, s / a, anchor, slo, shi, sm
  printf "%-28s %7.3f s\n", anchor ":", a
}
