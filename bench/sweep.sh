#!/usr/bin/env bash
# sweep.sh: throughput and overhead of gprnpv-sweep run.
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
#   j2     - gprnpv-sweep run --jobs 2;
#   one    - gprnpv-sweep run --jobs 1 of a single solve: its processor
#            time less its read + solve is the fixed cost of a run
#            (start-up, database creation, fork, end).
# Every run of the sweep is timed by BUILD_DIR/bench/gprnpv-cputime: wall
# time, and processor time of the whole process tree (parent and workers,
# user + system). It prints medians over the rounds of:
#   - wall time and solves per second of j1 and j2 and their ratio, for the
#     whole process and as the tool's own closing line counts them (from
#     the first fork to the last row stored, start-up left out);
#   - the overhead: processor time of the whole run per solve against the
#     read + solve time per solve that the run's database records (both
#     thread processor times), for j1 and j2, and for j1 without the fixed
#     cost of `one`.
# The load average before and after is printed: on a shared machine the
# wall times of j2 mean something only when both cores are idle.
#
# Environment: COUNT (5000), ACTIVITIES (100), RUNS (5), SEED (7).
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
count=${COUNT:-5000}
activities=${ACTIVITIES:-100}
runs=${RUNS:-5}
seed=${SEED:-7}
timer=$build/bench/gprnpv-cputime
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$build/gprnpv-generate" -n "$count" -s "$seed" -a $((activities - 2)) "$work/set" >/dev/null
solves=$((4 * count))
load0=$(cut -d' ' -f1-3 /proc/loadavg)

now() { date +%s.%N; }
median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
sweep() {  # sweep NAME JOBS ARGS...: times one run into $work/NAME.sqlite
  local name=$1 jobs=$2
  shift 2
  rm -f "$work/$name.sqlite"*
  "$timer" "$build/gprnpv-sweep" run --jobs "$jobs" --db "$work/$name.sqlite" "$@" \
    >"$work/$name.out" 2>"$work/$name.time"
  read -r wall user sys < <(tail -n 1 "$work/$name.time")  # after any progress line
  echo "$wall" >>"$work/wall.$name"
  echo "$user + $sys" | bc -l >>"$work/cpu.$name"
  # The closing line: "... (N in this run, S s, R per second)".
  sed -n 's/.*in this run, [0-9.]* s, \([0-9.]*\) per second.*/\1/p' "$work/$name.out" >>"$work/own.$name"
}
recorded() {  # read_seconds + solve_seconds of every row (columns 13 and 12)
  "$build/gprnpv-sweep" report --db "$work/$1.sqlite" --csv "$work/$1.csv" >/dev/null
  awk -F, 'NR > 1 {s += $12 + $13} END {printf "%.6f\n", s}' "$work/$1.csv" >>"$work/rec.$1"
}

args=(--pctneg 30,70 --deadext 0,10 --interest 0.01 "$work/set")
for ((r = 1; r <= runs; r++)); do
  t0=$(now)
  (cd "$work/set" && for p in 30 70; do for d in 0 10; do
     printf '1 %d %d %d 0.01' "$count" "$p" "$d" | "$build/gprnpv" >/dev/null; done; done)
  t1=$(now)
  echo "$t1 - $t0" | bc -l >>"$work/wall.gprnpv"
  sweep j1 1 "${args[@]}"
  sweep j2 2 "${args[@]}"
  sweep one 1 --pctneg 30 --deadext 0 --interest 0.01 --first 1 --last 1 "$work/set"
  recorded j1
  recorded j2
  recorded one
done

m() { median <"$work/$1"; }
us() { echo "1000000 * ($1) / $solves" | bc -l; }
pct() { echo "100 * (($1) / ($2) - 1)" | bc -l; }
g=$(m wall.gprnpv)
w1=$(m wall.j1) w2=$(m wall.j2) o1=$(echo "$solves / $(m own.j1)" | bc -l) o2=$(echo "$solves / $(m own.j2)" | bc -l)
c1=$(m cpu.j1) c2=$(m cpu.j2) w0=$(m wall.one)
paste "$work/cpu.one" "$work/rec.one" | awk '{print $1 - $2}' >"$work/fixed.one"
c0=$(m fixed.one)
r1=$(m rec.j1) r2=$(m rec.j2)
printf '%d solves of %d activities, medians of %d rounds (load %s before, %s after)\n' \
  "$solves" "$activities" "$runs" "$load0" "$(cut -d' ' -f1-3 /proc/loadavg)"
printf '  gprnpv batches   %8.3f s  %8.1f us per solve\n' "$g" "$(us "$g")"
printf '  sweep --jobs 1   %8.3f s  %8.1f solves/s   (own count: %.3f s, %.1f solves/s)\n' \
  "$w1" "$(echo "$solves / $w1" | bc -l)" "$o1" "$(echo "$solves / $o1" | bc -l)"
printf '  sweep --jobs 2   %8.3f s  %8.1f solves/s   (own count: %.3f s, %.1f solves/s)\n' \
  "$w2" "$(echo "$solves / $w2" | bc -l)" "$o2" "$(echo "$solves / $o2" | bc -l)"
printf '  --jobs 2 / --jobs 1 solves per second: %.2fx whole process, %.2fx own count\n' \
  "$(echo "$w1 / $w2" | bc -l)" "$(echo "$o1 / $o2" | bc -l)"
printf '  fixed cost of a run (one solve): %.1f ms processor time, %.1f ms wall\n' \
  "$(echo "1000 * $c0" | bc -l)" "$(echo "1000 * $w0" | bc -l)"
printf '  --jobs 1: read + solve %.1f us per solve; whole run %.1f us (%+.1f %%); without the fixed cost %.1f us (%+.1f %%)\n' \
  "$(us "$r1")" "$(us "$c1")" "$(pct "$c1" "$r1")" "$(us "$c1 - $c0")" "$(pct "$c1 - $c0" "$r1")"
printf '  --jobs 2: read + solve %.1f us per solve; whole run %.1f us (%+.1f %%)\n' \
  "$(us "$r2")" "$(us "$c2")" "$(pct "$c2" "$r2")"
printf '  sweep --jobs 1 wall time against gprnpv batches: %+.0f %%\n' "$(pct "$w1" "$g")"
