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
// to their sets' minima then. A displacement thus looks at each arc of
// shiftset a bounded number of times, plus nrcut^2 comparisons of minima,
// and makes the same moves as the full scans.
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

// Moves the cut set that holds dispfrom by `delta` and joins it to the tree
// through the arc dispfrom/dispto. The sets are disjoint, so the first row
// from nrcut-1 down that holds dispfrom is the only one.
void move_set(int delta) {
  int c = nrcut - 1;
  while (c >= 0 && !row_test(cutset[c], dispfrom)) c--;
  assert(c >= 0);
  row_members(cutset[c], [delta](int m) {
    st[m] += delta;
    row_toggle(shiftset, m);
  });
  row_toggle(tree[dispfrom], dispto);
}

// An arc of the scan: position k in the list of its inner end a.
struct arc_choice {
  std::int64_t slack;
  int a;  // -1: no arc
  int k;
};

// True when the arc (slack, a, k) comes before `b` in the order of the full
// scan: a smaller slack, then the higher inner end, then the later position.
inline bool before(std::int64_t slack, int a, int k, const arc_choice& b) {
  if (b.a < 0 || slack != b.slack) return b.a < 0 || slack < b.slack;
  return a != b.a ? a > b.a : k > b.k;
}

int setof[maxact + 1];          // cut set of each activity of shiftset
arc_choice best[maxact + 1];    // least arc that counts, per cut set
bool moved[maxact + 1];         // per cut set: moved in this displacement
int pendfirst[maxact + 3];      // pending[pendfirst[c] .. pendfirst[c+1]-1]
int pending[(maxact + 1) * maxact];  // a * maxact + k: arcs into set c

// The lists and slacks of the two directions: forward the arcs a -> suc[a][k],
// slack st[f] - st[a] - lag[a][f]; backward the arcs pred[a][k] -> a, slack
// st[a] - st[f] - lag[f][a]. Sources: a = 1 .. end forward, 0 .. end-1
// backward.
template <bool Forward>
inline int nrarcs(int a) {
  return Forward ? nrsuc[a] : nrpred[a];
}
template <bool Forward>
inline int other_end(int a, int k) {
  return Forward ? suc[a][k] : pred[a][k];
}
template <bool Forward>
inline bool is_source(int a, int end) {
  return Forward ? a >= 1 && a <= end : a <= end - 1;
}
// False when the arc carries no relation.
template <bool Forward>
inline bool counts(int a, int f, int end) {
  int c = Forward ? lag[a][f] : lag[f][a];
  return c != NOLAG || (Forward ? a == end && f == 0 : f == end && a == 0);
}
template <bool Forward>
inline std::int64_t slack_of(int a, int f) {
  return Forward ? static_cast<std::int64_t>(st[f]) - st[a] - lag[a][f]
                 : static_cast<std::int64_t>(st[a]) - st[f] - lag[f][a];
}

inline void offer(int s, std::int64_t slack, int a, int k) {
  if (before(slack, a, k, best[s])) best[s] = {slack, a, k};
}

template <bool Forward>
void displace() {
  const int end = nract - 1;
  for (int c = 0; c < nrcut; c++) {
    row_members(cutset[c], [c](int m) { setof[m] = c; });
    best[c].a = -1;
    moved[c] = false;
  }
  for (int c = 0; c <= nrcut + 1; c++) pendfirst[c] = 0;

  // The arcs that count from the start go into the minima; those into
  // another set waiting to move are counted per set, then listed.
  row_members(shiftset, [end](int a) {
    if (!is_source<Forward>(a, end)) return;
    for (int k = nrarcs<Forward>(a) - 1; k >= 0; k--) {
      int f = other_end<Forward>(a, k);
      if (!counts<Forward>(a, f, end)) continue;
      if (!row_test(shiftset, f))
        offer(setof[a], slack_of<Forward>(a, f), a, k);
      else if (setof[f] != setof[a])
        pendfirst[setof[f] + 2]++;
    }
  });
  for (int c = 2; c <= nrcut + 1; c++) pendfirst[c] += pendfirst[c - 1];
  // pendfirst[c + 1] is where the list of set c starts; filling moves it to
  // where that list ends, which is where the list of set c + 1 starts.
  row_members(shiftset, [end](int a) {
    if (!is_source<Forward>(a, end)) return;
    for (int k = nrarcs<Forward>(a) - 1; k >= 0; k--) {
      int f = other_end<Forward>(a, k);
      if (counts<Forward>(a, f, end) && row_test(shiftset, f) && setof[f] != setof[a])
        pending[pendfirst[setof[f] + 1]++] = a * maxact + k;
    }
  });

  do {
    int win = -1;
    for (int c = 0; c < nrcut; c++)
      if (!moved[c] && best[c].a >= 0 &&
          (win < 0 || before(best[c].slack, best[c].a, best[c].k, best[win])))
        win = c;
    if (win < 0) {
      failcode = fail_nodisp;
      return;
    }
    std::int64_t least = best[win].slack;
    assert(least >= INT_MIN && least <= INT_MAX);
    mindisp = static_cast<int>(least);
    dispfrom = best[win].a;
    dispto = other_end<Forward>(dispfrom, best[win].k);
    move_set(Forward ? mindisp : -mindisp);
    moved[win] = true;
    // Arcs into the set just moved count from now on, with its new starts.
    for (int n = pendfirst[win]; n < pendfirst[win + 1]; n++) {
      int a = pending[n] / maxact, k = pending[n] % maxact;
      if (!moved[setof[a]]) offer(setof[a], slack_of<Forward>(a, other_end<Forward>(a, k)), a, k);
    }
  } while (!row_empty(shiftset));
}

}  // namespace

void shift_forward() { displace<true>(); }

void shift_backward() { displace<false>(); }

}  // namespace gpr
