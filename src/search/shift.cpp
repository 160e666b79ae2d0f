// shift.cpp: the displacement of the cut sets of a pass.
//
// A displacement makes one move per cut set. Each move takes, among the arcs
// that join an activity still to be moved (in shiftset) to one that is not -
// arcs to successors forward, arcs from predecessors backward - the one with
// the least slack, shifts the whole cut set holding its inner end by exactly
// that slack (delays it forward, advances it backward), which makes the arc
// tight, and adds the arc to the tree. The call returns when shiftset is
// empty, after exactly nrcut moves.
//
// Ties go to the arc that a scan in these orders meets first, since only a
// strictly smaller slack would replace it: forward a = nract-1 .. 1 and
// suc[a] from the last entry to the first; backward a = nract-2 .. 0 and
// pred[a] from the last to the first. Among equal least slacks the arc of
// the highest-numbered inner end wins, and for the same inner end the one
// latest in its list.
//
// A move starts with no arc rather than a bound, so any least slack, 9999
// or more included, moves its set by exactly that slack. An arc whose cell
// is NOLAG carries no relation and is skipped; the closing arc (dummy end to
// dummy start) always counts, whatever its lag. A move that finds no arc at
// all could move its set without bound: it sets failcode to fail_nodisp and
// the displacement stops.
//
// How the least arc is found without scanning every arc in every move. While
// a displacement runs, an arc from a set still to move to an activity outside
// shiftset keeps its slack: its inner end has not moved, and its outer end
// never moves again. So each set keeps the least of its arcs that count
// (`best`), and a move takes the least of those. When a set moves, the only
// arcs that start to count are those into it from sets still waiting; they
// are listed per set when the displacement starts (`pending`) and are added
// to their sets' minima then. The sets waiting to move are kept in a heap
// on their minima, and a set's move is found through the set of each
// activity (`setof`) rather than by searching the cut set rows; the sets'
// members come from one walk over shiftset where the pass named each
// member's set (see list_members), not from a walk over every row. A
// displacement thus looks at each arc of shiftset a bounded number of
// times, plus O(log nrcut) heap steps per arc offered and per move, and
// makes the same moves as the full scans.
//
// Slacks are formed in 64 bits; with the reader's bounds every start time
// and slack fits 32 bits, which the assertions state.
#include <cassert>
#include <climits>
#include <cstdint>

#include "network/network.h"
#include "search/search.h"

namespace gpr {
namespace {

// An arc of the scan, position k in the list of its inner end a, with its
// slack, as one number that orders arcs as the full scan meets them: a
// smaller slack first, then the higher inner end, then the later position.
// a and k are below 2^actbits (at most 2^14), and every slack fits 32 bits,
// so the key fits 64.
using arc_key = std::int64_t;
constexpr arc_key noarc = INT64_MAX;
inline arc_key key_of(std::int64_t slack, int a, int k) {
  return slack * (std::int64_t{1} << 2 * actbits) + (actmask - a) * (1 << actbits) + (actmask - k);
}
inline std::int64_t key_slack(arc_key key) { return key >> 2 * actbits; }
inline int key_source(arc_key key) {
  return actmask - static_cast<int>((key >> actbits) & actmask);
}
inline int key_position(arc_key key) { return actmask - static_cast<int>(key & actmask); }

int setof[maxact + 1];          // cut set of each activity of shiftset
arc_key best[maxact + 1];       // least arc that counts, per cut set
bool moved[maxact + 1];         // per cut set: moved in this displacement
int memfirst[maxact + 2];       // members[memfirst[c] .. memfirst[c+1]-1]
int members[maxact + 1];        // the members of each cut set
int nrwaiting;                  // members of shiftset
int pendfirst[maxact + 3];      // pending[pendfirst[c] .. pendfirst[c+1]-1]
int pending[(maxact + 1) * maxact];   // a << actbits | k: arcs into set c
int listed[(maxact + 1) * maxact];    // the same, in the order found

// The sets waiting to move that have an arc that counts, as a binary heap on
// their least arcs: heap[0] is the set whose arc the full scan would take.
// Keys of distinct arcs differ, and an arc belongs to the one set holding
// its inner end, so the top of the heap is the set the scan over all sets
// would pick. place[c] is the position of set c, -1 when it is not in the
// heap.
int heap[maxact + 1];
int place[maxact + 1];
int nrheap;

inline void heap_set(int i, int c) {
  heap[i] = c;
  place[c] = i;
}
void sift_up(int i) {
  int c = heap[i];
  arc_key key = best[c];
  while (i > 0 && key < best[heap[(i - 1) / 2]]) {
    heap_set(i, heap[(i - 1) / 2]);
    i = (i - 1) / 2;
  }
  heap_set(i, c);
}
// Moves the set at position i down to where its key belongs.
void sift_down(int i) {
  int c = heap[i];
  arc_key key = best[c];
  for (;;) {
    int l = 2 * i + 1;
    if (l >= nrheap) break;
    // The lesser child, by arithmetic: which one it is is as good as
    // random. heap[nrheap] may be read, a stale set number, and its key
    // is then not taken.
    l += (l + 1 < nrheap) & (best[heap[l + 1]] < best[heap[l]]);
    if (!(best[heap[l]] < key)) break;
    heap_set(i, heap[l]);
    i = l;
  }
  heap_set(i, c);
}
// Takes the top set off the heap.
int heap_pop() {
  int top = heap[0];
  place[top] = -1;
  int c = heap[--nrheap];
  if (nrheap > 0) {
    heap_set(0, c);
    sift_down(0);
  }
  return top;
}

// Moves cut set c by `delta` and joins it to the tree through the arc
// dispfrom/dispto. c is setof[dispfrom]: the last row of 0..nrcut-1 that
// holds dispfrom, the only one since the sets are disjoint. Every member
// and both ends of the new arc are reported to the next pass as changed.
void move_set(int c, int delta) {
  assert(row_test(cutset[c], dispfrom));
  for (int n = memfirst[c]; n < memfirst[c + 1]; n++) {
    int m = members[n];
    st[m] += delta;
    nrwaiting += row_test(shiftset, m) ? -1 : 1;
    row_toggle(shiftset, m);
    mark_changed(m);
  }
  // A toggle: the bit is clear, since the pass cut every arc of the set.
  if (row_test(tree[dispfrom], dispto))
    tree_remove(dispfrom, dispto);
  else
    tree_add(dispfrom, dispto);
  mark_changed(dispto);
}

// The lists and slacks of the two directions: forward the arcs a -> suc[a][k],
// slack st[f] - st[a] - lag[a][f]; backward the arcs pred[a][k] -> a, slack
// st[a] - st[f] - lag[f][a]. Sources: a = 1 .. end forward, 0 .. end-1
// backward. The entries and their cells come from the packed lists.
template <bool Forward>
inline int nrarcs(int a) {
  return Forward ? nrsuc[a] : nrpred[a];
}
template <bool Forward>
inline const arcentry* arcs_of(int a) {
  return Forward ? packed_suc(a) : packed_pred(a);
}
template <bool Forward>
inline int other_end(int a, int k) {
  return arcs_of<Forward>(a)[k].node;
}
template <bool Forward>
inline bool is_source(int a, int end) {
  return Forward ? a >= 1 && a <= end : a <= end - 1;
}
// False when the arc a-f with cell c carries no relation.
template <bool Forward>
inline bool counts(int a, int f, int c, int end) {
  return c != NOLAG || (Forward ? a == end && f == 0 : f == end && a == 0);
}
template <bool Forward>
inline std::int64_t slack_of(int a, int f, int c) {
  return Forward ? static_cast<std::int64_t>(st[f]) - st[a] - c
                 : static_cast<std::int64_t>(st[a]) - st[f] - c;
}

// A set's least arc can only fall; the heap follows it.
inline void offer(int s, arc_key key) {
  if (!(key < best[s])) return;
  best[s] = key;
  if (place[s] < 0) {
    place[s] = nrheap;
    heap[nrheap++] = s;
  }
  sift_up(place[s]);
}

// The members of each set, listed once, in decreasing order within a set.
// The pass names the set of each activity it cut off (cutinto); when that
// agrees with the rows for every member of shiftset - the sets are
// disjoint, so a row that holds its member is its set - the members are
// bucketed from one walk over shiftset. Otherwise (sets written by other
// means) every row is listed, as the walk would list it.
void list_members() {
  bool agree = true;
  for (int c = 0; c <= nrcut; c++) memfirst[c] = 0;
  row_members(shiftset, [&agree](int m) {
    int c = cutinto[m];
    if (c < 0 || c >= nrcut || !row_test(cutset[c], m)) {
      agree = false;
      return;
    }
    setof[m] = c;
    memfirst[c + 1]++;
  });
  if (agree) {
    for (int c = 0; c < nrcut; c++) memfirst[c + 1] += memfirst[c];
    // memfirst[c] is where set c starts; filling moves it to where it ends
    for (int c = nrcut; c > 0; c--) memfirst[c] = memfirst[c - 1];
    memfirst[0] = 0;
    row_members(shiftset, [](int m) { members[memfirst[setof[m] + 1]++] = m; });
    return;
  }
  int nrmembers = 0;
  for (int c = 0; c < nrcut; c++) {
    memfirst[c] = nrmembers;
    row_members(cutset[c], [c, &nrmembers](int m) {
      assert(nrmembers <= maxact);  // the sets are disjoint
      members[nrmembers++] = m;
      setof[m] = c;
    });
  }
  memfirst[nrcut] = nrmembers;
}

template <bool Forward>
void displace() {
  const int end = nract - 1;
  list_members();
  for (int c = 0; c < nrcut; c++) {
    best[c] = noarc;
    moved[c] = false;
    place[c] = -1;
  }
  nrheap = 0;
  nrwaiting = 0;
  for (int c = 0; c <= nrcut + 1; c++) pendfirst[c] = 0;

  // The arcs that count from the start go into the minima, and the heap is
  // built from those once all are in (its top is the least key whatever
  // the order of building, keys being distinct); the arcs into another set
  // waiting to move are counted per set, then listed.
  int nrpend = 0;
  row_members(shiftset, [end, &nrpend](int a) {
    nrwaiting++;
    if (!is_source<Forward>(a, end)) return;
    const arcentry* arcs = arcs_of<Forward>(a);
    const int s = setof[a];
    // Whether the other end waits too decides between the set's least arc
    // and the list of pending arcs. The outcome is as good as random, so it
    // acts through masks, not branches (a conditional select was compiled
    // to a branch): an entry is written either way and kept only when it
    // counts, and setof[f] is read for every f - outside shiftset it holds
    // the set of an earlier displacement, or 0, an index like any other.
    arc_key least = best[s];
    for (int k = nrarcs<Forward>(a) - 1; k >= 0; k--) {
      int f = arcs[k].node, c = arcs[k].cell;
      if (!counts<Forward>(a, f, c, end)) continue;
      const bool waits = row_test(shiftset, f);
      const arc_key key = key_of(slack_of<Forward>(a, f, c), a, k);
      least = pick(!waits & (key < least), key, least);
      const int other = pick(waits, setof[f], s);
      const bool pends = other != s;
      pendfirst[other + 2] += pends;
      listed[nrpend] = a << actbits | k;
      nrpend += pends;
    }
    best[s] = least;
  });
  for (int c = 0; c < nrcut; c++)
    if (best[c] != noarc) heap_set(nrheap++, c);
  for (int i = nrheap / 2 - 1; i >= 0; i--) sift_down(i);
  for (int c = 2; c <= nrcut + 1; c++) pendfirst[c] += pendfirst[c - 1];
  // pendfirst[c + 1] is where the list of set c starts; filling moves it to
  // where that list ends, which is where the list of set c + 1 starts.
  for (int n = 0; n < nrpend; n++) {
    int e = listed[n];
    int c = setof[other_end<Forward>(e >> actbits, e & actmask)];
    pending[pendfirst[c + 1]++] = e;
  }

  do {
    if (nrheap == 0) {
      failcode = fail_nodisp;
      return;
    }
    int win = heap_pop();
    std::int64_t least = key_slack(best[win]);
    assert(least >= INT_MIN && least <= INT_MAX);
    mindisp = static_cast<int>(least);
    dispfrom = key_source(best[win]);
    dispto = other_end<Forward>(dispfrom, key_position(best[win]));
    move_set(setof[dispfrom], Forward ? mindisp : -mindisp);
    moved[win] = true;
    // Arcs into the set just moved count from now on, with its new starts.
    for (int n = pendfirst[win]; n < pendfirst[win + 1]; n++) {
      int a = pending[n] >> actbits, k = pending[n] & actmask;
      if (!moved[setof[a]]) {
        const arcentry& e = arcs_of<Forward>(a)[k];
        offer(setof[a], key_of(slack_of<Forward>(a, e.node, e.cell), a, k));
      }
    }
  } while (nrwaiting != 0);  // shiftset is empty
}

}  // namespace

void shift_forward() { displace<true>(); }

void shift_backward() { displace<false>(); }

}  // namespace gpr
