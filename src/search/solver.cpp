// solver.cpp: solves the instance in hand and reports its row.
//
// Direction: backward when pctneg > 50, forward otherwise (50 and negative
// values included). After the reset and the initial tree, recursion passes
// and displacements alternate until a pass cuts nothing; nriter counts the
// passes, the last one included. The net present value is summed over
// activities nract-1 down to 1, each cash flow discounted continuously from
// its activity's completion. cputime is the processor time of this thread
// from starttick, taken by the batch just before the call, to the end of
// that sum, in seconds.
//
// A solve that cannot run reports its failure row instead and adds nothing
// to the statistics: a positive cycle or an incomplete tree (from the tree
// builders), an initial schedule that violates the closing arc
// (st[nract-1] - st[0] > deadline), or a displacement move without an arc.
// The pass loop itself has no bound: every pass that cuts something is
// followed by a displacement that moves each cut set by its least slack.
#include <cmath>
#include <cstdint>

#include "driver/driver.h"
#include "network/network.h"
#include "search/search.h"

namespace gpr {

void solve_instance() {
  bool backward = pctneg > 50;
  failcode = fail_none;
  reset_solve();
  if (backward)
    build_late_tree();
  else
    build_early_tree();
  if (failcode == fail_none &&
      static_cast<std::int64_t>(st[nract - 1]) - st[0] > deadline)
    failcode = fail_tight;

  while (failcode == fail_none) {
    level = 0;
    for (int w = nrbin - 1; w >= 0; w--) {
      shiftset[w] = 0;
      visited[w] = 0;
    }
    nriter = nriter + 1;
    nrcut = 0;
    if (backward)
      eval_backward(nract - 1);
    else
      eval_forward(0);
    if (nrcut == 0) break;
    if (backward)
      shift_backward();
    else
      shift_forward();
  }
  if (failcode != fail_none) {
    report_read_failure(failcode);
    return;
  }

  npv = 0.0;
  for (int i = nract - 1; i >= 1; i--)
    npv = npv + static_cast<double>(cf[i]) * completion_discount(i);
  cputime = static_cast<float>(static_cast<double>(thread_cpu_ns() - starttick) / 1e9);
  report_result();
}

}  // namespace gpr
