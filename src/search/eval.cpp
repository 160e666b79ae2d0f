// eval.cpp: one recursion pass over the current spanning tree.
//
// eval_forward(a) / eval_backward(a) return the value of the subtree kept
// below a: a's own cash flow valued at its completion (discounted to time 0
// forward, compounded to the deadline backward) plus the values of the kept
// children. A child that hangs from a through a's own tree row (a successor
// forward, a predecessor backward) is cut when its value is below -DCTOL
// (forward) or above +DCTOL (backward), strictly: its tree arc is removed and
// its activities become the next cut set. Children whose own tree row names
// a are always kept, whatever their value.
//
// Protocol of `level` and `subset`: a call raises level by one and collects
// its subtree in subset[level]; it returns without lowering level, so the
// caller finds the child's set in subset[level], then lowers level and
// merges (keep) or moves the set into cutset[nrcut] and shiftset (cut).
//
// After the root call: every activity entered is in visited, and in
// subset[1] or in exactly one cut set; cut sets are disjoint, never hold the
// root, and an inner cut gets the lower cutset index; shiftset is their
// union. Each activity is entered once, so the recursion is at most nract
// calls deep; each frame holds a handful of scalars (measured well below
// 200 bytes at -O2), far inside the default stack for 1000 calls.
#include <cassert>
#include <cmath>

#include "network/network.h"
#include "search/search.h"

namespace gpr {

double eval_forward(int a) {
  level++;
  assert(level <= maxact);
  row_single(subset[level], a);
  double value = std::exp(-interest * static_cast<double>(st[a] + dur[a])) *
                 static_cast<double>(cf[a]);
  row_insert(visited, a);

  for (int k = 0; k < nrsuc[a]; k++) {
    int t = suc[a][k];
    if (!row_test(tree[a], t) || row_test(visited, t)) continue;
    double v = eval_forward(t);
    if (v < -DCTOL) {
      row_remove(tree[a], t);
      for (int w = nrbin - 1; w >= 0; w--) {
        shiftset[w] |= subset[level][w];
        cutset[nrcut][w] = subset[level][w];
        subset[level][w] = 0;
      }
      level--;
      nrcut++;
    } else {
      value += v;
      level--;
      row_union(subset[level], subset[level + 1]);
    }
  }
  for (int k = 0; k < nrpred[a]; k++) {
    int t = pred[a][k];
    if (!row_test(tree[t], a) || row_test(visited, t)) continue;
    double v = eval_forward(t);
    value += v;
    level--;
    row_union(subset[level], subset[level + 1]);
  }
  return value;
}

double eval_backward(int a) {
  level++;
  assert(level <= maxact);
  row_single(subset[level], a);
  double value = std::exp(interest * static_cast<double>(deadline - (st[a] + dur[a]))) *
                 static_cast<double>(cf[a]);
  row_insert(visited, a);

  for (int k = 0; k < nrpred[a]; k++) {
    int t = pred[a][k];
    if (!row_test(tree[a], t) || row_test(visited, t)) continue;
    double v = eval_backward(t);
    if (v > DCTOL) {
      row_remove(tree[a], t);
      for (int w = nrbin - 1; w >= 0; w--) {
        shiftset[w] |= subset[level][w];
        cutset[nrcut][w] = subset[level][w];
        subset[level][w] = 0;
      }
      level--;
      nrcut++;
    } else {
      value += v;
      level--;
      row_union(subset[level], subset[level + 1]);
    }
  }
  for (int k = 0; k < nrsuc[a]; k++) {
    int t = suc[a][k];
    if (!row_test(tree[t], a) || row_test(visited, t)) continue;
    double v = eval_backward(t);
    value += v;
    level--;
    row_union(subset[level], subset[level + 1]);
  }
  return value;
}

}  // namespace gpr
