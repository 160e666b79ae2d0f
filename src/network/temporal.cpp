// temporal.cpp: longest-path start times, the earliest starts with which the
// reader fixes the deadline, and the normalisation of the dummy arcs.
//
// What is computed. Given start values st[0..nract-1] (0 for the dummy start
// and -999 for every other activity in the earliest-start case), the forward
// propagation yields the smallest assignment that is at least those values
// and meets st[j] >= st[i] + lag[i][j] for every arc i->j of the successor
// lists whose cell is not NOLAG. The backward propagation yields, dually, the
// largest assignment at most its start values with st[r] <= st[p] - lag[r][p]
// over the predecessor lists. For reached activities these are the longest-
// path distances from the dummy start (to the dummy end); activities that no
// listed path reaches keep their start value, or a value carried to them from
// other unreached activities.
//
// How. A label-correcting scan in a fixed order, topological where the
// arcs allow (see queue_all and scan), close to linear in the number of
// arcs on the networks that occur; O(nract * arcs) in the worst case. The
// backward propagation takes the activities by decreasing earliest start
// (see queue_by_earliest), else the reverse of the last forward order when
// that order still lists every activity (queue_reversed), and the forward
// propagation of the earliest-start tree starts from the earliest starts of
// the reader where that provably gives the same values (see resume_forward).
// Both read the packed lists (network.h), which compute_earliest_starts
// packs from the lists and the matrix before its propagation.
//
// Infeasible input. Each value carries the number of arcs of the chain of
// improvements that produced it. A chain of nract arcs repeats an activity,
// and since every step of it was a strict improvement, the repeated part is a
// cycle of positive total lag: the values have no finite limit. The
// propagation stops there and returns 0 instead of looping. Before that
// point every value stays within nract * 300000 of its start value, so no
// 32-bit sum overflows up to 3579 activities; builds with a larger limit
// (wide_starts) form the sums in 64 bits and stop with 2 at a value beyond
// +-2^30, a project far longer than any deadline the program accepts.
#include <algorithm>
#include <bit>
#include <cassert>
#include <cstdint>
#include <utility>

#include "network/network.h"

namespace gpr {
namespace {

int queue[maxact + 1];          // the order in which activities are scanned
int chain[maxact + 1];          // arcs in the chain that set st[i]
int reason[maxact + 1];         // forward: the arc that set st[j], i << actbits | k
                                // with suc[i][k] == j; -1 for a start value

int stacknode[maxact + 1];      // depth-first search: the path below the top
int stackbase[maxact + 1];      // and its block of entries under way
word stackmask[maxact + 1];     // and the entries of that block still to follow
unsigned char seen[maxact + 1];

// The order of the last forward propagation (a permutation of
// 0..nrorder-1; nrorder is 0 when it failed), and the earliest starts of
// the last compute_earliest_starts with the arcs that set them
// (nrearliest activities; 0 when it failed).
int order[maxact + 1];
int nrorder;
int earliest[maxact + 1];
int earliestwhy[maxact + 1];
int earliestchain[maxact + 1];  // the chain count of each (see resume_forward)
int nrearliest;
unsigned earliestpacking;  // the packing of the lists they were found on

// An activity's packed list of one direction (network.h): its successor
// entries forward, its predecessor entries backward.
template <bool Forward>
struct list_of {
  const arcentry* arcs;
  int count;
  explicit list_of(int a)
      : arcs(Forward ? packed_suc(a) : packed_pred(a)), count(Forward ? nrsuc[a] : nrpred[a]) {}
  int node(int k) const { return arcs[k].node; }
  int cell(int k) const { return arcs[k].cell; }
};

// The entries that the search may follow, of the up to 32 entries from
// `base` on: bit k for entry base + k when its cell is 0 or more (NOLAG is
// below 0). Whether an entry qualifies is as good as random, so the search
// takes the bits of this mask, highest first, instead of testing each entry
// with a branch.
template <bool Forward>
inline word followed(const list_of<Forward>& list, int base) {
  const int n = std::min(32, list.count - base);
  word mask = 0;
  for (int k = 0; k < n; k++) mask |= static_cast<word>(list.cell(base + k) >= 0) << k;
  return mask;
}

// The start of the last block of 32 entries of a list (0 when it is empty).
inline int last_block(int count) { return count > 0 ? (count - 1) & ~31 : 0; }

// Queues every activity, in an order in which, as far as the arcs allow,
// each comes after the activities whose arcs lead into it. The order
// follows only arcs whose cell is 0 or more: an arc with a negative cell (a
// maximal lag, typically, which closes a cycle with the minimal lag the
// other way) seldom moves a start, and following it would make the order
// meaningless inside the cycle. Where the arcs followed hold every move,
// each activity is then scanned once, with its final value; other arcs only
// cost extra scans. The order changes the number of scans, never the
// values.
//
// First every activity that no followed arc leads into, then each one as
// the last followed arc into it is passed (a topological order by in-
// degrees, without a branch per arc). Activities on a cycle of followed
// arcs, and those behind one, are left; they come last, in the reverse of
// the order in which a depth-first search along the followed arcs finishes
// them, started from `root` and then from every activity left in turn.
// (The depth-first search alone costs more, as it stalls on each list it
// descends to, and on generated networks of 1000 activities gives 4 % more
// scans.) Lists run along the successors forward and the predecessors
// backward. The forward propagation builds this order as it scans (scan
// with Building), which saves a pass over the lists; queue_all builds it
// whole, for the backward propagation when it has no better order.
int indegree[maxact + 1];  // followed entries into each, not yet passed

// indegree[] for the lists of one direction, as pack_arcs counts them
// into followedin[] for the successor lists.
template <bool Forward>
void count_followed_in() {
  for (int i = 0; i < nract; i++) indegree[i] = 0;
  for (int v = 0; v < nract; v++) {
    list_of<Forward> list(v);
    for (int k = 0; k < list.count; k++) indegree[list.node(k)] += list.cell(k) >= 0;
  }
}

// Starts an order: clears the marks of the search and the chains and arcs
// of the scan, and queues the activities that no followed arc leads into,
// queue[0..tail-1].
int queue_sources() {
  int tail = 0;
  for (int v = 0; v < nract; v++) {
    seen[v] = 0;
    chain[v] = 0;
    reason[v] = -1;
    queue[tail] = v;
    tail += indegree[v] == 0;
  }
  return tail;
}

// Fills queue[tail..nract-1] with the activities not yet seen, once the
// topological order has taken all it can: the reverse of the order in
// which a depth-first search along the followed arcs finishes them.
template <bool Forward>
void queue_rest(int root, int tail) {
  int filled = nract;
  for (int s = -1; s < nract; s++) {
    int start = s < 0 ? root : s;
    if (seen[start]) continue;
    seen[start] = 1;
    // The activity on top of the path, its list, the block of 32 entries
    // under way and the entries of that block still to follow stay in
    // locals; the path below it keeps each activity with its block and
    // mask. Blocks are taken from the last to the first and bits from the
    // highest, so the entries are met from the last to the first.
    int top = -1;
    int v = start;
    list_of<Forward> list(v);
    int base = last_block(list.count);
    word mask = followed(list, base);
    for (;;) {
      for (;;) {
        while (mask != 0) {
          int k = 31 - std::countl_zero(mask);
          mask ^= word{1} << k;
          int w = list.node(base + k);
          if (seen[w]) continue;
          seen[w] = 1;
          top++;
          stacknode[top] = v;
          stackbase[top] = base;
          stackmask[top] = mask;
          v = w;
          list = list_of<Forward>(v);
          base = last_block(list.count);
          mask = followed(list, base);
        }
        if (base == 0) break;
        base -= 32;
        mask = followed(list, base);
      }
      queue[--filled] = v;
      if (top < 0) break;
      v = stacknode[top];
      base = stackbase[top];
      mask = stackmask[top];
      top--;
      list = list_of<Forward>(v);
    }
  }
  assert(filled == tail);
  (void)tail;
}

template <bool Forward>
void queue_all(int root) {
  count_followed_in<Forward>();
  int tail = queue_sources();
  // queue[tail] may be written past the last one queued (tail <= nract).
  for (int h = 0; h < tail; h++) {
    const int v = queue[h];
    seen[v] = 1;
    list_of<Forward> list(v);
    for (int k = list.count - 1; k >= 0; k--) {
      const int w = list.node(k);
      const int f = list.cell(k) >= 0;
      const int d = indegree[w] -= f;
      queue[tail] = w;
      tail += f & (d == 0);
    }
  }
  if (tail < nract) queue_rest<Forward>(root, tail);
}

// The backward propagation over the predecessor lists wants each activity
// after those that its arcs lead to: the reverse of a forward order serves
// as well as its own search (the arcs followed are the same but for the
// normalised dummy arcs), and saves it. The order of the last forward
// search, a permutation of 0..nrorder-1, is taken when it has nract
// activities; otherwise the search runs, and this returns false. (Any
// order gives the same values; a good one saves scans.)
bool queue_reversed() {
  if (nrorder != nract) return false;
  for (int q = 0; q < nract; q++) {
    int v = order[nract - 1 - q];
    queue[q] = v;
    chain[v] = 0;
  }
  return true;
}

// Better still for the backward propagation: the activities by decreasing
// earliest start (ties by decreasing number), from the earliest starts of
// the last compute_earliest_starts when they cover nract activities. An arc
// r->p of positive cell that those starts meet has p's start above r's, so
// p comes first, as a depth-first order has it; but unlike that order this
// one also places the two ends of a maximal lag as the schedule does,
// which saves the rescans that the maximal lags cause against the
// depth-first order: on generated networks of 1000 activities some 1.4
// scans per activity instead of 2.1. A stable counting sort on the
// distance below the latest earliest start, eleven bits a pass over the
// range in use (one pass on the networks that occur); returns false,
// queueing nothing, without those starts. (Any order gives the same
// values.)
constexpr int digitbits = 11;
int sortbuffer[maxact + 1];
unsigned sortkey[maxact + 1];
int sortcount[(1 << digitbits) + 1];
bool queue_by_earliest() {
  if (nrearliest != nract) return false;
  int top = earliest[0];
  for (int i = 1; i < nract; i++) top = earliest[i] > top ? earliest[i] : top;
  unsigned range = 0;
  for (int i = 0; i < nract; i++) {
    sortkey[i] = static_cast<unsigned>(top) - static_cast<unsigned>(earliest[i]);
    range |= sortkey[i];
    chain[i] = 0;
  }
  // The passes alternate between the two arrays; the first starts in the
  // one that makes the last end in queue.
  int passes = 0;
  for (int shift = 0; shift < 32 && (range >> shift) != 0; shift += digitbits) passes++;
  int* from = passes % 2 == 0 ? queue : sortbuffer;
  int* to = passes % 2 == 0 ? sortbuffer : queue;
  for (int q = 0; q < nract; q++) from[q] = nract - 1 - q;
  for (int shift = 0; shift < 32 && (range >> shift) != 0; shift += digitbits) {
    const unsigned digitmask = (1u << digitbits) - 1;
    const int used = static_cast<int>(std::min(range >> shift, digitmask)) + 1;
    for (int d = 0; d <= used; d++) sortcount[d] = 0;
    for (int q = 0; q < nract; q++) sortcount[((sortkey[from[q]] >> shift) & digitmask) + 1]++;
    for (int d = 1; d <= used; d++) sortcount[d] += sortcount[d - 1];
    for (int q = 0; q < nract; q++) to[sortcount[(sortkey[from[q]] >> shift) & digitmask]++] = from[q];
    std::swap(from, to);
  }
  assert(from == queue);
  return true;
}

// The scan of both propagations. queue[0..nract-1] holds every activity
// once, in the order of queue_all; waiting[] marks the positions in it of
// the activities still to scan. The scan always takes the waiting activity
// that comes first in the order, so that one that an arc against the order
// has raised again is rescanned before the activities after it, which it
// may raise in turn, rather than after them. Forward raises st[j] over the
// successor lists, backward lowers st[r] over the predecessor lists; see
// the file comment for the chain counts.
int place[maxact + 1];       // position of each activity in queue
word waiting[rowwords];      // a bit row over the positions

void start_scan() {
  for (int w = 0; w < rowwords; w++) waiting[w] = 0;
  for (int q = 0; q < nract; q++) place[queue[q]] = q;
}
inline void wait_for(int v) {
  int q = place[v];
  waiting[q >> 5] |= word{1} << (q & 31);
}

// With Building (forward only), the order is built as the scan goes, as
// queue_all<true>(0) would build it beforehand: queue[0..tail-1] holds the
// activities queued so far, place[] their positions (maxact for the rest),
// indegree[] the followed entries into each not yet passed, and positions
// from h on wait for their first scan, in order. The first scan of an
// activity passes its entries for the topological order too; when that
// order has taken all it can, queue_rest completes it. Only positions
// below h are marked in waiting[], and a rescan below h comes before the
// next first scan, so the scans are exactly those of the order built whole.
template <bool Forward, bool Building = false>
int scan(int tail = nract) {
  static_assert(Forward || !Building);
  const int nrwords = (nract + 31) >> 5;
  int w = 0;  // no waiting position lies in a word before w
  int h = 0;             // with Building: the next position to scan the first time
  bool sorting = true;   // and whether its first scan passes entries for the order
  for (;;) {
    int q;
    bool passing = false;  // this scan passes entries for the order
    if constexpr (Building) {
      while (w < (h >> 5) && waiting[w] == 0) w++;
      if (waiting[w] != 0) {
        q = 32 * w + std::countr_zero(waiting[w]);
        waiting[w] &= waiting[w] - 1;
      } else {
        if (h == tail) {
          if (tail == nract) return 1;
          queue_rest<true>(0, tail);
          for (int r = tail; r < nract; r++) place[queue[r]] = r;
          tail = nract;
          sorting = false;
        }
        q = h++;
        passing = sorting;
        seen[queue[q]] = 1;
      }
    } else {
      while (waiting[w] == 0)
        if (++w == nrwords) return 1;
      q = 32 * w + std::countr_zero(waiting[w]);
      waiting[w] &= waiting[w] - 1;
    }
    int i = queue[q];
    list_of<Forward> list(i);
    // The next in the order is most often the next to scan: its list is
    // fetched while this one is scanned.
    if (q + 1 < nract) __builtin_prefetch(list_of<Forward>(queue[q + 1]).arcs);
    // The value and chain that i's arcs pass on, as at the start of its
    // scan: an arc that moves i itself (a self-loop of positive lag) puts
    // i back among the waiting, which passes the new value on.
    const int si = st[i];
    const int ci = chain[i] + 1;
    bool moved = false;  // some arc of i improved a value
    for (int k = list.count - 1; k >= 0; k--) {
      int j = list.node(k);
      int c = list.cell(k);
      if (Building && passing) {
        // queue[tail] may be written past the last one queued.
        const int f = c >= 0;
        const int queued = f & ((indegree[j] -= f) == 0);
        queue[tail] = j;
        place[j] = pick(queued != 0, tail, place[j]);
        tail += queued;
      }
      int t;
      if constexpr (wide_starts) {
        std::int64_t u = Forward ? std::int64_t{si} + c : std::int64_t{si} - c;
        // Values only rise forward (from -999 at least) and only fall
        // backward (from 2^30 at most), so only the side they move to can
        // leave 32 bits; there any value past 2^30 would be taken.
        if (Forward ? u > unreached_late : u < -unreached_late) return 2;
        t = static_cast<int>(u);
      } else {
        t = Forward ? si + c : si - c;
      }
      // Whether an arc improves its head is as good as random, so the
      // improvement is written through masks rather than a branch: every
      // arc writes its head's value, chain and waiting bit, unchanged when
      // it does not improve them. An arc whose cell is NOLAG never does.
      const int sj = st[j];
      const bool better = c != NOLAG && (Forward ? t > sj : t < sj);
      st[j] = pick(better, t, sj);
      chain[j] = pick(better, ci, chain[j]);
      if constexpr (Forward) reason[j] = pick(better, i << actbits | k, reason[j]);
      const int p = place[j];
      const bool mark = Building ? better && p < h : better;
      waiting[p >> 5] |= word{mark} << (p & 31);
      w = pick(mark && (p >> 5) < w, p >> 5, w);
      moved |= better;
    }
    if (moved && ci >= nract) return 0;
  }
}

}  // namespace

namespace {
// The forward propagation from the values in st with the followed in-
// degrees in indegree[]; the order it builds is kept when it succeeds.
int propagate_forward_counted() {
  for (int v = 0; v < nract; v++) place[v] = maxact;
  const int tail = queue_sources();
  for (int q = 0; q < tail; q++) place[queue[q]] = q;
  for (int w = 0; w < rowwords; w++) waiting[w] = 0;
  nrorder = 0;
  const int r = scan<true, true>(tail);
  if (r == 1) {
    for (int q = 0; q < nract; q++) order[q] = queue[q];
    nrorder = nract;
  }
  return r;
}
}  // namespace

int propagate_forward() {
  count_followed_in<true>();
  return propagate_forward_counted();
}

// Whether an arc of the successor lists is not met by the values in st;
// with Mark, the tail of each such arc waits for the scan. When the lists
// have not been packed again since the earliest starts were found
// (dummiesonly), the only arcs whose cells can have changed since are
// those out of the dummy start and into the dummy end (raised by
// normalise_dummy_arcs), and the only list the dummy end's (replaced by the
// closing arc of an earlier solve): only those are looked at, as network.h
// states for every writer of lists and cells. Otherwise every list is.
namespace {
template <bool Mark>
bool find_unmet(bool dummiesonly) {
  bool any = false;
  auto look = [&any](int i, int j, int c) {
    if (c != NOLAG && st[i] + c > st[j]) {
      any = true;
      if (Mark) wait_for(i);
    }
  };
  if (dummiesonly) {
    const int end = nract - 1;
    for (int k = nrsuc[0] - 1; k >= 0; k--) look(0, packed_suc(0)[k].node, packed_suc(0)[k].cell);
    for (int k = nrpred[end] - 1; k >= 0; k--)
      look(packed_pred(end)[k].node, end, packed_pred(end)[k].cell);
    for (int k = nrsuc[end] - 1; k >= 0; k--)
      look(end, packed_suc(end)[k].node, packed_suc(end)[k].cell);
    return any;
  }
  for (int i = 0; i < nract; i++)
    for (int k = nrsuc[i] - 1; k >= 0; k--) look(i, packed_suc(i)[k].node, packed_suc(i)[k].cell);
  return any;
}
}  // namespace

// The earliest starts of the reader as start values of the forward
// propagation of the earliest-start tree, which runs over the same lists
// with the dummy arcs normalised (lag[0][j] and lag[i][end] raised). From
// start values v with st0 <= v <= F, where st0 are the usual start values
// (0 for the dummy start, -999 for the rest) and F is the result from st0,
// the propagation reaches exactly F: F meets every arc and lies above v, and
// everything it raises is forced from st0 as well. The earliest starts are
// taken only when that is certain for the lists and cells in hand:
//   - every value is at least its usual start value, and
//   - every value above it has an arc (kept in earliestwhy: the one that
//     set it) that is listed, has a cell, and allows it: the value is at most
//     the tail's value plus the cell; and following those arcs back from any
//     activity ends, without a cycle, at a start value. Along such a chain
//     each value is at most F, by induction from the start value, since F
//     meets every arc. The chain counts of the propagation that found the
//     values (earliestchain) certify that no such cycle exists: along an
//     arc that set a value the count rose by one, and after the last
//     change of the tail's value each such arc's head was set anew, so
//     every arc kept in earliestwhy leads to a higher count, which no
//     cycle allows. Counts that do not rise are taken as a cycle.
// Then only the arcs that the values do not meet (normally none: those of
// the normalised cells) need scanning. Returns 0 on a positive cycle, as
// the propagation does; otherwise 1 with st as propagate_forward leaves it.
int resume_forward() {
  bool usable = nrearliest == nract;
  for (int i = 0; i < nract && usable; i++) {
    int v = earliest[i], why = earliestwhy[i];
    int base = i == 0 ? 0 : unreached_early;
    if (v < base) usable = false;
    if (why < 0) {
      if (v != base) usable = false;
      continue;
    }
    int p = why >> actbits, k = why & actmask;
    if (p < 0 || p >= nract || k >= nrsuc[p]) {
      usable = false;
      continue;
    }
    const arcentry& e = packed_suc(p)[k];
    if (e.node != i || e.cell == NOLAG ||
        static_cast<std::int64_t>(v) > static_cast<std::int64_t>(earliest[p]) + e.cell ||
        earliestchain[i] <= earliestchain[p])
      usable = false;
  }
  if (!usable) {
    for (int i = 1; i < nract; i++) st[i] = unreached_early;
    st[0] = 0;
    return propagate_forward();
  }
  for (int i = 0; i < nract; i++) {
    st[i] = earliest[i];
    chain[i] = 0;
    reason[i] = earliestwhy[i];
  }
  // The arcs that the values do not meet (normally none) start the scan
  // from their tails, in the order of the last search (any order gives the
  // same values).
  const bool dummiesonly = earliestpacking == packings;
  if (!find_unmet<false>(dummiesonly)) return 1;
  for (int q = 0; q < nract; q++) queue[q] = nrorder == nract ? order[q] : q;
  start_scan();
  find_unmet<true>(dummiesonly);
  return scan<true>();
}

int propagate_backward() {
  if (!queue_by_earliest() && !queue_reversed()) queue_all<false>(nract - 1);
  start_scan();
  for (int i = 0; i < nract; i++) wait_for(i);
  return scan<false>();
}

// Earliest starts over the lags as read (before normalisation): st[0] = 0,
// every other activity from -999 up, and -999 in st[nract]. They are kept,
// with the arcs that set them, for resume_forward. The lists are packed
// first: the propagation reads them so, and so does the solve.
void compute_earliest_starts() {
  assert(nract >= 1 && nract <= maxact);
  pack_arcs();
  for (int i = 0; i <= nract; i++) st[i] = unreached_early;
  st[0] = 0;
  nrearliest = 0;
  for (int i = 0; i < nract; i++) indegree[i] = followedin[i];
  if (int r = propagate_forward_counted(); r != 1) {
    failcode = r == 0 ? fail_cycle : fail_deadline;
    return;
  }
  for (int i = 0; i < nract; i++) {
    earliest[i] = st[i];
    earliestwhy[i] = reason[i];
    earliestchain[i] = chain[i];
  }
  earliestpacking = packings;
  nrearliest = nract;
}

// Every activity starts at least 0 after the dummy start, and the dummy end
// starts no earlier than any activity finishes. Changes cells only, never
// the lists: the raised cells act on the arcs that the lists already hold.
// The packed entries of those arcs take the new cells: the successor
// entries of the dummy start and the predecessor entries of the dummy end,
// and at the other end of each the entries that name the dummy, each
// neighbour's list once however often a pair is listed (seen, free between
// propagations, marks them). Cost: the entries of all lists at most.
void normalise_dummy_arcs() {
  for (int j = nract - 1; j >= 1; j--)
    if (lag[0][j] < 0) lag[0][j] = 0;
  int end = nract - 1;
  for (int i = nract - 2; i >= 0; i--)
    if (lag[i][end] < dur[i]) lag[i][end] = dur[i];
  for (int i = 0; i < nract; i++) seen[i] = 0;
  for (int k = nrsuc[0] - 1; k >= 0; k--) {
    int j = suc[0][k];
    arclist[sucfirst[0] + k].cell = lag[0][j];
    if (seen[j] & 1) continue;
    seen[j] |= 1;
    for (int m = nrpred[j] - 1; m >= 0; m--)
      if (pred[j][m] == 0) arclist[predfirst[j] + m].cell = lag[0][j];
  }
  for (int k = nrpred[end] - 1; k >= 0; k--) {
    int i = pred[end][k];
    arclist[predfirst[end] + k].cell = lag[i][end];
    if (seen[i] & 2) continue;
    seen[i] |= 2;
    for (int m = nrsuc[i] - 1; m >= 0; m--)
      if (suc[i][m] == end) arclist[sucfirst[i] + m].cell = lag[i][end];
  }
}

}  // namespace gpr
