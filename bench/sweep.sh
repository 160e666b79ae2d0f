#!/usr/bin/env bash
# sweep.sh: throughput of gprnpv-sweep run.
#
#   bench/sweep.sh [BUILD_DIR]        (default: build)
#
# Generates COUNT seeded instances of ACTIVITIES activities (dummies
# included) and sweeps them over pctneg 30,70 x deadext 0,10 x interest 0.01
# (4 x COUNT solves), RUNS times, each round in this order into fresh
# databases:
#   gprnpv - the same solves as four plain gprnpv batches (the baseline
#            of what a hand-written script gets on one core);
#   j1     - gprnpv-sweep run --jobs 1;
#   j2     - gprnpv-sweep run --jobs 2.
# It prints the median wall time of each, the solves per second of j1 and
# j2 and their ratio, and the processor time per solve of the whole j1 run
# (parent and worker, GNU time) against the read plus solve CPU time that
# the database records. Processor time is what a busy, shared machine
# leaves comparable; the wall-time ratio of j2 to j1 needs two idle cores.
#
# Environment: COUNT (1000), ACTIVITIES (100), RUNS (5), SEED (7).
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
count=${COUNT:-1000}
activities=${ACTIVITIES:-100}
runs=${RUNS:-5}
seed=${SEED:-7}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$build/gprnpv-generate" -n "$count" -s "$seed" -a $((activities - 2)) "$work/set" >/dev/null
solves=$((4 * count))

now() { date +%s.%N; }
median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

: >"$work/t.gprnpv"; : >"$work/t.j1"; : >"$work/t.j2"; : >"$work/cpu.j1"; : >"$work/all.j1"
for ((r = 1; r <= runs; r++)); do
  t0=$(now)
  (cd "$work/set" && for p in 30 70; do for d in 0 10; do
     printf '1 %d %d %d 0.01' "$count" "$p" "$d" | "$build/gprnpv" >/dev/null; done; done)
  t1=$(now)
  echo "$t1 - $t0" | bc -l >>"$work/t.gprnpv"
  for j in 1 2; do
    rm -f "$work/j$j.sqlite"*
    t0=$(now)
    /usr/bin/time -f "%U %S" -o "$work/time.j$j" "$build/gprnpv-sweep" run -q --jobs "$j" --db "$work/j$j.sqlite" --pctneg 30,70 \
      --deadext 0,10 --interest 0.01 "$work/set"
    t1=$(now)
    echo "$t1 - $t0" | bc -l >>"$work/t.j$j"
  done
  awk '{print $1 + $2}' "$work/time.j1" >>"$work/all.j1"
  "$build/gprnpv-sweep" report --db "$work/j1.sqlite" --csv "$work/j1.csv" >/dev/null
  # read_seconds + solve_seconds of every row (columns 13 and 12).
  awk -F, 'NR > 1 {s += $12 + $13} END {printf "%.6f\n", s}' "$work/j1.csv" >>"$work/cpu.j1"
done

g=$(median <"$work/t.gprnpv"); j1=$(median <"$work/t.j1"); j2=$(median <"$work/t.j2")
cpu=$(median <"$work/cpu.j1"); all=$(median <"$work/all.j1")
printf '%d solves of %d activities, medians of %d rounds (load %s)\n' "$solves" "$activities" \
  "$runs" "$(cut -d' ' -f1-3 /proc/loadavg)"
printf '  gprnpv batches   %8.3f s  %8.1f us per solve\n' "$g" "$(echo "1000000 * $g / $solves" | bc -l)"
printf '  sweep --jobs 1   %8.3f s  %8.1f solves/s\n' "$j1" "$(echo "$solves / $j1" | bc -l)"
printf '  sweep --jobs 2   %8.3f s  %8.1f solves/s\n' "$j2" "$(echo "$solves / $j2" | bc -l)"
printf '  --jobs 2 / --jobs 1 solves per second: %.2fx\n' "$(echo "$j1 / $j2" | bc -l)"
printf '  read + solve CPU per solve (database): %.1f us\n' "$(echo "1000000 * $cpu / $solves" | bc -l)"
printf '  sweep --jobs 1 CPU per solve (parent + worker): %.1f us, %+.0f %% over read + solve\n' \
  "$(echo "1000000 * $all / $solves" | bc -l)" "$(echo "100 * ($all / $cpu - 1)" | bc -l)"
printf '  sweep --jobs 1 wall time against gprnpv batches: %+.0f %%\n' \
  "$(echo "100 * ($j1 / $g - 1)" | bc -l)"
