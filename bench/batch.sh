#!/usr/bin/env bash
# batch.sh: whole-program timing of gprnpv against the parse-only floor.
#
#   bench/batch.sh [BUILD_DIR]        (default: build)
#
# Generates COUNT seeded instances of ACTIVITIES activities (dummies
# included, two or three relations drawn per activity, a fifth of them
# bounded both ways by maximal lags) into a temporary folder, then times,
# RUNS times each, in the same round so that a busy machine slows all three
# alike:
#   floor  - BUILD_DIR/bench/gprnpv-floor: opens each file twice, reads it
#            whole and parses its integers, nothing else;
#   fwd    - gprnpv with the answers "1 COUNT 30 10 0.01" (forward search);
#   bwd    - gprnpv with "1 COUNT 70 10 0.01" (backward search).
# It prints the median wall time of each and the ratios to the floor, then
# the peak resident memory (GNU time) of a batch of COUNT instances, of one
# of COUNT/10, and of BIG instances of 1000 activities.
#
# With hyperfine installed (and HYPERFINE=1, the default when it is found)
# the timings come from hyperfine instead of the built-in loop.
#
# REF=/path/to/another/gprnpv also runs that binary on the same folder in
# both directions and compares console output, output.txt and info.out with
# the times masked: any difference is printed and the script exits 1.
#
# AWKWARD=1 generates the networks with --awkward (relations without a lag,
# pairs listed twice, maximal lags listed one way only).
#
# Environment: COUNT (1000), ACTIVITIES (100), RUNS (11), SEED (7), BIG (20),
# HYPERFINE (1 when hyperfine is on the PATH), REF (unset), AWKWARD (0).
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
count=${COUNT:-1000}
activities=${ACTIVITIES:-100}
runs=${RUNS:-11}
seed=${SEED:-7}
big=${BIG:-20}
use_hyperfine=${HYPERFINE:-$(command -v hyperfine >/dev/null && echo 1 || echo 0)}

gprnpv=$build/gprnpv
generate=$build/gprnpv-generate
floor=$build/bench/gprnpv-floor
for tool in "$gprnpv" "$generate" "$floor"; do
  [ -x "$tool" ] || { echo "batch.sh: $tool not built" >&2; exit 2; }
done

work=$(mktemp -d /tmp/gprnpv-batch-XXXXXX)
trap 'rm -rf "$work"' EXIT

awkward=()
[ "${AWKWARD:-0}" = 1 ] && awkward=(--awkward)
"$generate" -n "$count" -s "$seed" -a $((activities - 2)) --arcs 2..3 -m 0.2 "${awkward[@]}" \
  "$work/batch" >/dev/null
cd "$work/batch"

answers() { printf '1 %d %d 10 0.01' "$1" "$2"; }
# The timed runs read their answers from a file: a pipe would add the fork
# of its writer to every gprnpv figure and to none of the floor's.
answers "$count" 30 >"$work/answers.30"
answers "$count" 70 >"$work/answers.70"
run_floor() { "$floor" 1 "$count" >/dev/null; }
run_gprnpv() { "$gprnpv" <"$work/answers.$1" >/dev/null; }

# Microseconds from bash's own clock: an external `date` around each run
# would add two process starts (some 10 ms on a slow virtual machine) to
# every figure, the floor's included.
now_us() { now=${EPOCHREALTIME/[.,]/}; }
median() { sort -n | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }

echo "gprnpv batch: $count ${awkward:+awkward }instances of $activities activities, seed $seed, $runs runs each"
echo "machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"

declare -A med
if [ "$use_hyperfine" = 1 ]; then
  hyperfine --warmup 2 --runs "$runs" --style basic --export-csv "$work/times.csv" \
    -n floor "$floor 1 $count" \
    -n fwd "$gprnpv <$work/answers.30" \
    -n bwd "$gprnpv <$work/answers.70" >/dev/null
  # CSV columns: command,mean,stddev,median,...; seconds.
  while IFS=, read -r name _ _ m _; do
    [ "$name" = command ] && continue
    med[$name]=$(awk -v s="$m" 'BEGIN {printf "%.1f", s * 1000}')
  done <"$work/times.csv"
else
  run_floor; run_gprnpv 30; run_gprnpv 70   # warm the page cache
  : >"$work/floor.ms"; : >"$work/fwd.ms"; : >"$work/bwd.ms"
  for ((r = 0; r < runs; r++)); do
    now_us; t0=$now; run_floor; now_us; t1=$now; run_gprnpv 30; now_us; t2=$now
    run_gprnpv 70; now_us; t3=$now
    echo $((t1 - t0)) >>"$work/floor.ms"
    echo $((t2 - t1)) >>"$work/fwd.ms"
    echo $((t3 - t2)) >>"$work/bwd.ms"
  done
  for name in floor fwd bwd; do
    med[$name]=$(median <"$work/$name.ms" | awk '{printf "%.1f", $1 / 1000}')
  done
fi

ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }
printf '%-34s %10s %8s\n' "median wall time" "ms" "x floor"
printf '%-34s %10s %8s\n' "floor (parse only, two opens)" "${med[floor]}" "1.00"
printf '%-34s %10s %8s\n' "gprnpv forward (30% negative)" "${med[fwd]}" "$(ratio "${med[fwd]}" "${med[floor]}")"
printf '%-34s %10s %8s\n' "gprnpv backward (70% negative)" "${med[bwd]}" "$(ratio "${med[bwd]}" "${med[floor]}")"

# Peak resident memory in KB, from GNU time; empty without it.
peak_kb() {  # peak_kb LAST PCTNEG
  [ -x /usr/bin/time ] || return 0
  answers "$1" "$2" | /usr/bin/time -f '%M' -o "$work/rss" "$gprnpv" >/dev/null && cat "$work/rss"
}
if [ -x /usr/bin/time ]; then
  echo "peak resident memory (KB):"
  echo "  $count instances of $activities activities: $(peak_kb "$count" 30) forward, $(peak_kb "$count" 70) backward"
  echo "  $((count / 10)) instances of $activities activities: $(peak_kb $((count / 10)) 30) forward"
  "$generate" -n "$big" -s "$seed" -a 998 --arcs 2..3 -m 0.2 "$work/big" >/dev/null
  (cd "$work/big" && echo "  $big instances of 1000 activities: $(peak_kb "$big" 30) forward, $(peak_kb "$big" 70) backward")
else
  echo "peak resident memory: /usr/bin/time (GNU time) not installed"
fi

if [ -n "${REF:-}" ]; then
  # Times masked: the last field of result rows, the figures of the average
  # line, and the time column of the console rows.
  mask() {
    sed -E -e 's/^( *-?[0-9]+ +[0-9]+ +[^ ]+) +[^ ]+$/\1/' \
           -e 's/(seconds\) *:).*/\1/' \
           -e 's/(optimal +[^ ]+) +[^ ]+/\1/g' "$@"
  }
  status=0
  for pct in 30 70; do
    for tag in ref new; do
      bin=$([ $tag = ref ] && echo "$REF" || echo "$gprnpv")
      rm -f output.txt info.out
      answers "$count" "$pct" | "$bin" >"$work/console.$tag" 2>"$work/stderr.$tag" || true
      mask output.txt >"$work/output.$tag" 2>/dev/null || true
      mask "$work/console.$tag" >"$work/console-masked.$tag"
      cp info.out "$work/info.$tag" 2>/dev/null || : >"$work/info.$tag"
    done
    for f in output console-masked info; do
      if ! cmp -s "$work/$f.ref" "$work/$f.new"; then
        echo "DIFFERENT: $f with $pct% negative cash flows"
        diff "$work/$f.ref" "$work/$f.new" | head -5
        status=1
      fi
    done
  done
  [ $status = 0 ] && echo "output identical to $REF in both directions (times masked)"
  exit $status
fi
