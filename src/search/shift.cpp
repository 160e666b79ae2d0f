// shift.cpp: the displacement of the cut sets of a pass.
//
// A displacement makes one move per cut set. Each move scans every arc that
// joins an activity still to be moved (in shiftset) to one that is not -
// arcs to successors forward, arcs from predecessors backward - takes the
// one with the least slack, shifts the whole cut set holding its inner end
// by exactly that slack (delays it forward, advances it backward), which
// makes the arc tight, and adds the arc to the tree. The call returns when
// shiftset is empty, after exactly nrcut moves.
//
// Scan orders, which decide ties (only a strictly smaller slack replaces the
// one found): forward a = nract-1 .. 1 and suc[a] from the last entry to the
// first; backward a = nract-2 .. 0 and pred[a] from the last to the first.
// Among equal least slacks the arc of the highest-numbered inner end wins,
// and for the same inner end the one latest in its list.
//
// A move starts with no arc rather than a bound, so any least slack, 9999
// or more included, moves its set by exactly that slack. An arc whose cell
// is NOLAG carries no relation and is skipped; the closing arc (dummy end to
// dummy start) always counts, whatever its lag. A move that finds no arc at
// all could move its set without bound: it sets failcode to fail_nodisp and
// the displacement stops.
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

}  // namespace

void shift_forward() {
  int end = nract - 1;
  do {
    bool found = false;
    std::int64_t least = 0;
    for (int a = end; a >= 1; a--) {
      if (!row_test(shiftset, a)) continue;
      for (int k = nrsuc[a] - 1; k >= 0; k--) {
        int f = suc[a][k];
        if (row_test(shiftset, f)) continue;
        int c = lag[a][f];
        if (c == NOLAG && !(a == end && f == 0)) continue;
        std::int64_t slack = static_cast<std::int64_t>(st[f]) - st[a] - c;
        if (!found || slack < least) {
          found = true;
          least = slack;
          dispfrom = a;
          dispto = f;
        }
      }
    }
    if (!found) {
      failcode = fail_nodisp;
      return;
    }
    assert(least >= INT_MIN && least <= INT_MAX);
    mindisp = static_cast<int>(least);
    move_set(mindisp);
  } while (!row_empty(shiftset));
}

void shift_backward() {
  int end = nract - 1;
  do {
    bool found = false;
    std::int64_t least = 0;
    for (int a = end - 1; a >= 0; a--) {
      if (!row_test(shiftset, a)) continue;
      for (int k = nrpred[a] - 1; k >= 0; k--) {
        int f = pred[a][k];
        if (row_test(shiftset, f)) continue;
        int c = lag[f][a];
        if (c == NOLAG && !(f == end && a == 0)) continue;
        std::int64_t slack = static_cast<std::int64_t>(st[a]) - st[f] - c;
        if (!found || slack < least) {
          found = true;
          least = slack;
          dispfrom = a;
          dispto = f;
        }
      }
    }
    if (!found) {
      failcode = fail_nodisp;
      return;
    }
    assert(least >= INT_MIN && least <= INT_MAX);
    mindisp = static_cast<int>(least);
    move_set(-mindisp);
  } while (!row_empty(shiftset));
}

}  // namespace gpr
