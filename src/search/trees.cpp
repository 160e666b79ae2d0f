// trees.cpp: the initial schedule and spanning tree of each direction, and
// the closing arc that carries the deadline.
//
// build_early_tree: earliest starts over the normalised lags, then a tree of
// tight arcs grown from the dummy start along the successor lists.
// build_late_tree: latest starts with the dummy end at the deadline, then a
// tree grown from the dummy end along the predecessor lists.
//
// The start times may come from any computation that gives the same values
// (resume_forward, which starts from the reader's earliest starts where it
// safely can, and propagate_backward); the growth sweeps decide which of
// several tight arcs enters the tree, and with it the path of the whole
// search, so they keep their exact order:
//   - forward: p = 0 .. nract-1, entries of suc[p] from the last to the
//     first; an activity joins through the first tight arc from a tree
//     member met in that order, so within a sweep its lowest-numbered tight
//     predecessor wins;
//   - backward: p = nract-1 .. 0, entries of pred[p] from the last to the
//     first; the highest-numbered tight successor wins.
// The sweeps read the packed lists (network.h), which hold the same entries
// in the same order. Sweeps repeat, keeping flags and bits, until every
// activity is in; each sweep visits only the activities whose arcs can
// still join something (see `now` below). Arcs whose cell is NOLAG carry no
// relation and never join the tree.
//
// Tree rows: forward, row p holds r for a tree arc p->r; backward, row p
// holds r for a tree arc r->p. A complete tree has nract-1 bits (one per
// activity other than the root). The growth counts the bits per row and per
// activity (nrtreeout, nrtreein) and, once the tree is complete, declares
// the counts kept (treecounted).
//
// Failures, reported through failcode instead of looping: a positive cycle
// in the start-time computation (fail_cycle), start values beyond +-2^30 in
// builds with wide_starts (fail_deadline), and a sweep that joins nothing
// while an activity is still outside (fail_notree) - no later sweep could
// join anything either.
#include <bit>
#include <cassert>

#include "network/network.h"
#include "search/search.h"

namespace gpr {
namespace {

// 1 when the activity is in the tree being grown.
int intree[maxact + 1];
int nrin;  // activities in the tree

// Sources of the growth sweeps, as bit rows: `now` holds the activities whose
// arcs the sweep under way has still to look at, `later` those of the next
// sweep.
//
// A sweep looks at the arcs of every activity that is in the tree when its
// turn comes. Once an activity has had its turn inside the tree, every tight
// arc from it leads to an activity in the tree, and flags are never cleared,
// so in every later sweep its arcs join nothing. The only activities whose
// arcs can join anything are therefore those that have not yet had a turn
// inside the tree: the ones in it before the first sweep, and each one that
// joins - in the same sweep when its turn is still to come, otherwise in the
// next. Visiting just those, in the sweep's order, makes exactly the joins
// of the full sweeps, in the same order.
word sweeps[2][rowwords];
word* const now = sweeps[0];
word* const later = sweeps[1];

// Starts the sweeps from the activities already in the tree.
void start_sweeps() {
  row_clear(now);
  row_clear(later);
  nrin = 0;
  for (int i = 0; i < nract; i++)
    if (intree[i]) {
      row_insert(now, i);
      nrin++;
    }
}

// After a sweep: the sources of the next one.
void next_sweep() {
  row_copy(now, later);
  row_clear(later);
}

// The arc of p's list to r joins r to the tree when it is tight and r is
// not yet in: r goes into the sweep under way when its turn is still to
// come (`thissweep`), else into the next. Whether an arc joins is as good
// as random, so the join is written through masks rather than a branch:
// every arc writes the flag, row bits and count it would change, unchanged
// when it does not join. Returns 1 for a join, else 0; the caller counts
// p's joins into nrtreeout[p] and nrin once its list is done. (This is
// tree_add without dropping kept tree masks: the first pass of every solve
// drops them all.)
inline int join_if(bool tight, int p, int r, bool thissweep) {
  const int join = tight & (intree[r] == 0);
  intree[r] |= join;
  tree[p][r >> 5] |= static_cast<word>(join) << (r & 31);
  nrtreein[r] += join;
  sweeps[!thissweep][r >> 5] |= static_cast<word>(join) << (r & 31);
  return join;
}

}  // namespace

void build_early_tree() {
  st[0] = 0;  // every other start is still -999 from reset_solve
  if (int r = resume_forward(); r != 1) {
    failcode = r == 0 ? fail_cycle : fail_deadline;
    return;
  }
  for (int i = 0; i < nract; i++) {
    intree[i] = 0;
    nrtreeout[i] = nrtreein[i] = 0;
  }
  intree[0] = 1;
  start_sweeps();
  // Sweeps by increasing p: a source that joins behind p waits for the next.
  while (nrin < nract) {
    bool joined = false;
    for (int w = 0; w < nrbin; w++) {
      while (now[w] != 0) {
        int p = 32 * w + std::countr_zero(now[w]);
        now[w] &= now[w] - 1;
        const arcentry* arcs = packed_suc(p);
        int joins = 0;
        for (int k = nrsuc[p] - 1; k >= 0; k--) {
          int r = arcs[k].node;
          int c = arcs[k].cell;
          joins += join_if((c != NOLAG) & (st[p] + c == st[r]), p, r, r > p);
        }
        nrtreeout[p] += joins;
        nrin += joins;
        joined |= joins != 0;
      }
    }
    if (!joined) {
      failcode = fail_notree;
      return;
    }
    next_sweep();
  }
  treecounted = true;
  add_closing_arc();
}

void build_late_tree() {
  int end = nract - 1;
  for (int i = 0; i < nract; i++) {
    intree[i] = 0;
    nrtreeout[i] = nrtreein[i] = 0;
    st[i] = unreached_late;
  }
  st[end] = deadline;
  if (int r = propagate_backward(); r != 1) {
    failcode = r == 0 ? fail_cycle : fail_deadline;
    return;
  }
  // The first tight arc into the dummy end starts the tree there.
  const arcentry* endarcs = packed_pred(end);
  for (int k = nrpred[end] - 1; k >= 0; k--) {
    int r = endarcs[k].node;
    int c = endarcs[k].cell;
    if (c == NOLAG) continue;
    if (st[end] - c == st[r]) {
      intree[r] = 1;
      intree[end] = 1;
      tree_add(end, r);
      break;
    }
  }
  start_sweeps();
  // Sweeps by decreasing p: a source that joins above p waits for the next.
  while (nrin < nract) {
    bool joined = false;
    for (int w = nrbin - 1; w >= 0; w--) {
      while (now[w] != 0) {
        int b = 31 - std::countl_zero(now[w]);
        int p = 32 * w + b;
        now[w] ^= word{1} << b;
        const arcentry* arcs = packed_pred(p);
        int joins = 0;
        for (int k = nrpred[p] - 1; k >= 0; k--) {
          int r = arcs[k].node;
          int c = arcs[k].cell;
          joins += join_if((c != NOLAG) & (st[p] - c == st[r]), p, r, r < p);
        }
        nrtreeout[p] += joins;
        nrin += joins;
        joined |= joins != 0;
      }
    }
    if (!joined) {
      failcode = fail_notree;
      return;
    }
    next_sweep();
  }
  treecounted = true;
  add_closing_arc();
}

// The dummy start becomes the only successor of the dummy end and the dummy
// end the only predecessor of the dummy start; entries this drops stay in
// the lists at their other ends. No tree bit is touched. The packed lists
// follow: the two replaced lists become the two entries reserved past the
// packed ones (no other entry names the pair end -> 0).
void add_closing_arc() {
  int end = nract - 1;
  nrsuc[end] = 0;
  suc[end][0] = 0;
  nrsuc[end] = 1;
  lag[end][0] = -deadline;
  nrpred[0] = 0;
  pred[0][0] = end;
  nrpred[0] = 1;
  arclist[closingentry] = {0, -deadline};
  arclist[closingentry + 1] = {end, -deadline};
  sucfirst[end] = closingentry;
  predfirst[0] = closingentry + 1;
}

}  // namespace gpr
