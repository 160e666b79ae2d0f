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
// Protocol of `level` and `subset`: a call raises level by one and returns
// without lowering it; the caller lowers it again. The subtree kept below
// each call is collected in one list of entered activities (see `entered`),
// and the outermost call leaves its own kept subtree in subset[level] - the
// root call of a pass in subset[1]. A cut child's set is moved into
// cutset[nrcut] and shiftset.
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
namespace {

// The activities entered by the calls under way, in the order they were
// entered, less those of the subtrees cut off so far: the subtree kept below
// a call is the stretch from where that call began to the end. Merging a
// kept child costs nothing, and a cut lists only the child's own members,
// so no call touches whole rows of nrbin words except to write a cut set.
int entered[maxact + 1];
int nrentered;
int depth;  // calls under way

// A cut: the child's stretch, from `from` on, becomes cutset[nrcut] and joins
// shiftset, and leaves the stretch of its parent.
void cut_off(int from) {
  row_clear(cutset[nrcut]);
  for (int n = from; n < nrentered; n++) {
    row_insert(cutset[nrcut], entered[n]);
    row_insert(shiftset, entered[n]);
  }
  nrentered = from;
}

// The outermost call leaves its kept subtree in subset[level].
void leave(int from) {
  if (--depth > 0) return;
  row_clear(subset[level]);
  for (int n = from; n < nrentered; n++) row_insert(subset[level], entered[n]);
  nrentered = from;
}

// Discount factors of the activities, kept from pass to pass of a solve: a
// pass that finds an activity at the same completion time as the last pass
// (most do) reuses the factor instead of calling exp again. A factor depends
// only on the integer argument, the interest rate and the direction, so the
// value reused is the very value the call would give. Each direction has its
// own table.
struct discount_table {
  double factor[maxact + 1];
  int arg[maxact + 1];
  unsigned made[maxact + 1];  // == epoch when the entry is valid
  unsigned epoch = 0;
  double rate = 0.0;
};
discount_table early, late;

// At the start of an outermost call: the entries go when a solve begins
// (its first pass) or the rate has changed, so every solve computes its own
// factors once.
void check_rate(discount_table& t) {
  if (depth == 0 && (nriter <= 1 || t.epoch == 0 || t.rate != interest)) {
    t.epoch++;
    t.rate = interest;
  }
}

// forward: exp(-interest * x) with x = st[a] + dur[a];
// backward: exp(interest * x) with x = deadline - (st[a] + dur[a]).
inline double discount(discount_table& t, bool forward, int a, int x) {
  if (t.made[a] == t.epoch && t.arg[a] == x) return t.factor[a];
  t.factor[a] = forward ? std::exp(-interest * static_cast<double>(x))
                        : std::exp(interest * static_cast<double>(x));
  t.arg[a] = x;
  t.made[a] = t.epoch;
  return t.factor[a];
}

}  // namespace

double eval_forward(int a) {
  level++;
  assert(level <= maxact);
  check_rate(early);
  depth++;
  int from = nrentered;
  entered[nrentered++] = a;
  double value = discount(early, true, a, st[a] + dur[a]) * static_cast<double>(cf[a]);
  row_insert(visited, a);

  for (int k = 0; k < nrsuc[a]; k++) {
    int t = suc[a][k];
    if (!row_test(tree[a], t) || row_test(visited, t)) continue;
    int child = nrentered;
    double v = eval_forward(t);
    if (v < -DCTOL) {
      row_remove(tree[a], t);
      cut_off(child);
      level--;
      nrcut++;
    } else {
      value += v;
      level--;
    }
  }
  for (int k = 0; k < nrpred[a]; k++) {
    int t = pred[a][k];
    if (!row_test(tree[t], a) || row_test(visited, t)) continue;
    double v = eval_forward(t);
    value += v;
    level--;
  }
  leave(from);
  return value;
}

double eval_backward(int a) {
  level++;
  assert(level <= maxact);
  check_rate(late);
  depth++;
  int from = nrentered;
  entered[nrentered++] = a;
  double value = discount(late, false, a, deadline - (st[a] + dur[a])) * static_cast<double>(cf[a]);
  row_insert(visited, a);

  for (int k = 0; k < nrpred[a]; k++) {
    int t = pred[a][k];
    if (!row_test(tree[a], t) || row_test(visited, t)) continue;
    int child = nrentered;
    double v = eval_backward(t);
    if (v > DCTOL) {
      row_remove(tree[a], t);
      cut_off(child);
      level--;
      nrcut++;
    } else {
      value += v;
      level--;
    }
  }
  for (int k = 0; k < nrsuc[a]; k++) {
    int t = suc[a][k];
    if (!row_test(tree[t], a) || row_test(visited, t)) continue;
    double v = eval_backward(t);
    value += v;
    level--;
  }
  leave(from);
  return value;
}

}  // namespace gpr
