#!/usr/bin/env bash
# scaling.sh: how read and solve time grow with the network.
#
#   bench/scaling.sh [BUILD_DIR]      (default: build-maxact10000)
#
# BUILD_DIR must be built with GPRNPV_MAXACT of at least the largest size
# (10000 by default). For each size n in SIZES it generates COUNT distinct
# networks of n activities (dummies included) of the same density as the
# other benchmarks (two or three relations drawn per activity, a fifth of
# them bounded both ways by maximal lags) and runs BUILD_DIR/bench/
# gprnpv-scaling over them, forward (30 % negative cash flows) and backward
# (70 %): one read and one solve per instance, none repeated. It prints the
# median read and solve time per size and the growth exponent fitted by least
# squares to log(time) over log(n), from 100 to 1000 and from 1000 to 10000,
# and writes the medians to OUT.dat and a chart to OUT.svg (gnuplot).
#
# Environment: SIZES ("100 200 500 1000 2000 5000 10000"), COUNT (31; 15 for
# 5000 and more), SEED (11), OUT (bench/scaling); CHART_ONLY=1 redraws the
# chart and the fits from an existing OUT.dat without measuring.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build-maxact10000}" && pwd)
sizes=${SIZES:-"100 200 500 1000 2000 5000 10000"}
seed=${SEED:-11}
out=${OUT:-$root/bench/scaling}
generate=$build/gprnpv-generate
scaling=$build/bench/gprnpv-scaling
for tool in "$generate" "$scaling"; do
  [ -x "$tool" ] || { echo "scaling.sh: $tool not built" >&2; exit 2; }
done

work=$(mktemp -d /tmp/gprnpv-scaling-XXXXXX)
trap 'rm -rf "$work"' EXIT

median() { sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }

echo "machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%6s %6s %6s %10s %10s %10s %10s %8s %8s\n' n count arcs "read fwd" "read bwd" "solve fwd" "solve bwd" "passes f" "passes b"
[ "${CHART_ONLY:-0}" = 1 ] && sizes=""
[ -n "$sizes" ] && : >"$out.dat"
for n in $sizes; do
  count=${COUNT:-$([ "$n" -ge 5000 ] && echo 15 || echo 31)}
  "$generate" -n "$count" -s "$seed" -a $((n - 2)) --arcs 2..3 -m 0.2 "$work/$n" >/dev/null
  for pct in 30 70; do
    (cd "$work/$n" && "$scaling" 1 "$count" "$pct") >"$work/$n.$pct"
    if grep -q failed "$work/$n.$pct"; then
      echo "scaling.sh: $n activities, $pct %: $(grep -c failed "$work/$n.$pct") instances not solved" >&2
    fi
  done
  col() { grep -v failed "$work/$n.$1" | awk -v c="$2" '{print $c}' | median; }
  row="$n $count $(col 30 3) $(col 30 4) $(col 70 4) $(col 30 5) $(col 70 5) $(col 30 6) $(col 70 6)"
  echo "$row" >>"$out.dat"
  echo "$row" | awk '{printf "%6d %6d %6d %10.1f %10.1f %10.1f %10.1f %8d %8d\n", $1, $2, $3, $4, $5, $6, $7, $8, $9}'
done
echo "(times: medians in microseconds of thread processor time per instance)"

# Least-squares slope of log(time) over log(n) for lo <= n <= hi.
fit() {  # fit COLUMN LO HI
  awk -v c="$1" -v lo="$2" -v hi="$3" '$1 >= lo && $1 <= hi {
      x = log($1); y = log($c); sx += x; sy += y; sxx += x * x; sxy += x * y; k++ }
    END { if (k < 2) print "-"; else printf "%.2f", (k * sxy - sx * sy) / (k * sxx - sx * sx) }' "$out.dat"
}
echo "fitted growth exponent        100..1000   1000..10000"
for spec in "read fwd:4" "read bwd:5" "solve fwd:6" "solve bwd:7"; do
  printf '  %-26s %9s %13s\n' "${spec%%:*}" "$(fit "${spec##*:}" 100 1000)" "$(fit "${spec##*:}" 1000 10000)"
done

if command -v gnuplot >/dev/null; then
  gnuplot <<GP
set terminal svg size 720,480 font "sans,12" background "white"
set output "$out.svg"
set logscale xy
set xlabel "activities (dummies included)"
set ylabel "median time per instance (µs)"
set key top left
set grid
set xrange [80:12500]
plot "$out.dat" using 1:4 with linespoints title "read, forward run", \
     "" using 1:6 with linespoints title "solve, forward", \
     "" using 1:7 with linespoints title "solve, backward", \
     "" using 1:($(awk '$1 == 1000 {print $6}' "$out.dat") * (\$1 / 1000.0)**1.5) with lines dashtype 2 title "n^{1.5} through solve fwd at 1000"
GP
  echo "chart: $out.svg"
fi
