// search.h: the recursive search over spanning trees of tight arcs.
//
// Two mirrored directions. Forward (pctneg <= 50): start from the earliest
// starts with a tree grown from the dummy start, cut off subtrees whose
// discounted cash flow is negative and delay them. Backward (pctneg > 50):
// start from the latest starts against the deadline with a tree grown from
// the dummy end, cut off subtrees whose compounded cash flow is positive and
// advance them. Passes and displacements alternate until a pass cuts nothing.
//
// An instance on which the search cannot run ends with failcode set and one
// failure row instead of a result: a positive cycle met by the start-time
// sweeps, a tree that cannot be completed, an initial schedule that violates
// the deadline, or a displacement move with no arc to stop it.
#ifndef GPRNPV_SEARCH_H
#define GPRNPV_SEARCH_H

#include "network/network.h"

namespace gpr {

// The cut set each activity went into when a pass last cut it off
// (cutset[cutinto[m]] held m then). The displacement takes it as a hint
// and checks it against the rows.
extern int cutinto[maxact + 1];

void build_early_tree();   // earliest starts, tree from the dummy start
void build_late_tree();    // latest starts, tree from the dummy end
void add_closing_arc();    // dummy end -> dummy start with lag -deadline

double eval_forward(int a);   // value of the kept subtree below a (forward)
// exp(-interest * (st[a] + dur[a])): the discount factor of a's completion,
// as the forward passes kept it when they met a there at this rate, else
// computed; the same value either way.
double completion_discount(int a);
double eval_backward(int a);  // the same, backward
// Tells the next pass that activity a has moved or changed a tree arc since
// the last one; the displacement calls it for everything it changes.
void mark_changed(int a);

void shift_forward();      // delay the cut sets of the last pass
void shift_backward();     // advance them

void solve_instance();     // the whole solve and its row

}  // namespace gpr

#endif  // GPRNPV_SEARCH_H
