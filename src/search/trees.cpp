// trees.cpp: the initial schedule and spanning tree of each direction, and
// the closing arc that carries the deadline.
//
// build_early_tree: earliest starts over the normalised lags, then a tree of
// tight arcs grown from the dummy start along the successor lists.
// build_late_tree: latest starts with the dummy end at the deadline, then a
// tree grown from the dummy end along the predecessor lists.
//
// The start times may come from any computation that gives the same values
// (propagate_forward/backward); the growth sweeps decide which of several
// tight arcs enters the tree, and with it the path of the whole search, so
// they keep their exact order:
//   - forward: p = 0 .. nract-1, entries of suc[p] from the last to the
//     first; an activity joins through the first tight arc from a tree
//     member met in that order, so within a sweep its lowest-numbered tight
//     predecessor wins;
//   - backward: p = nract-1 .. 0, entries of pred[p] from the last to the
//     first; the highest-numbered tight successor wins.
// Sweeps repeat, keeping flags and bits, until every activity is in. Arcs
// whose cell is NOLAG carry no relation and never join the tree.
//
// Tree rows: forward, row p holds r for a tree arc p->r; backward, row p
// holds r for a tree arc r->p. A complete tree has nract-1 bits (one per
// activity other than the root).
//
// Failures, reported through failcode instead of looping: a positive cycle
// in the start-time computation (fail_cycle), and a sweep that joins nothing
// while an activity is still outside (fail_notree) - no later sweep could
// join anything either.
#include <cassert>

#include "network/network.h"
#include "search/search.h"

namespace gpr {
namespace {

// 1 when the activity is in the tree being grown.
int intree[maxact + 1];

// True when every activity is in; the caller then stops sweeping.
bool all_in() {
  for (int i = 0; i < nract; i++)
    if (!intree[i]) return false;
  return true;
}

}  // namespace

void build_early_tree() {
  st[0] = 0;  // every other start is still -999 from reset_solve
  if (!propagate_forward()) {
    failcode = fail_cycle;
    return;
  }
  for (int i = 0; i < nract; i++) intree[i] = 0;
  intree[0] = 1;
  while (!all_in()) {
    bool joined = false;
    for (int p = 0; p < nract; p++) {
      for (int k = nrsuc[p] - 1; k >= 0; k--) {
        int r = suc[p][k];
        int c = lag[p][r];
        if (c == NOLAG) continue;
        if (st[p] + c == st[r] && intree[p] && !intree[r]) {
          intree[r] = 1;
          row_insert(tree[p], r);
          joined = true;
        }
      }
    }
    if (!joined) {
      failcode = fail_notree;
      return;
    }
  }
  add_closing_arc();
}

void build_late_tree() {
  int end = nract - 1;
  for (int i = 0; i < nract; i++) {
    intree[i] = 0;
    st[i] = unreached_late;
  }
  st[end] = deadline;
  if (!propagate_backward()) {
    failcode = fail_cycle;
    return;
  }
  // The first tight arc into the dummy end starts the tree there.
  for (int k = nrpred[end] - 1; k >= 0; k--) {
    int r = pred[end][k];
    int c = lag[r][end];
    if (c == NOLAG) continue;
    if (st[end] - c == st[r]) {
      intree[r] = 1;
      intree[end] = 1;
      row_insert(tree[end], r);
      break;
    }
  }
  while (!all_in()) {
    bool joined = false;
    for (int p = end; p >= 0; p--) {
      for (int k = nrpred[p] - 1; k >= 0; k--) {
        int r = pred[p][k];
        int c = lag[r][p];
        if (c == NOLAG) continue;
        if (st[p] - c == st[r] && intree[p] && !intree[r]) {
          intree[r] = 1;
          row_insert(tree[p], r);
          joined = true;
        }
      }
    }
    if (!joined) {
      failcode = fail_notree;
      return;
    }
  }
  add_closing_arc();
}

// The dummy start becomes the only successor of the dummy end and the dummy
// end the only predecessor of the dummy start; entries this drops stay in
// the lists at their other ends. No tree bit is touched.
void add_closing_arc() {
  int end = nract - 1;
  nrsuc[end] = 0;
  suc[end][0] = 0;
  nrsuc[end] = 1;
  lag[end][0] = -deadline;
  nrpred[0] = 0;
  pred[0][0] = end;
  nrpred[0] = 1;
}

}  // namespace gpr
