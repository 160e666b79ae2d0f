// main.cpp: gprnpv runs one batch; its exit status is the closing key.
//
// The evaluation of a pass nests one call per activity, some 250 bytes each
// at -O2: 2.5 MB at a limit of 10000 activities. Before the batch starts,
// a soft stack limit below maxact * 512 bytes + 1 MB is raised to that
// (as far as the hard limit allows), so a small `ulimit -s` cannot stop a
// solve of a long chain. The default build (1.5 MB) leaves the usual 8 MB
// as it is.
#include <sys/resource.h>

#include "driver/driver.h"
#include "network/network.h"

namespace {

void ensure_stack() {
  const rlim_t need = static_cast<rlim_t>(gpr::maxact) * 512 + (rlim_t{1} << 20);
  rlimit r;
  if (getrlimit(RLIMIT_STACK, &r) != 0 || r.rlim_cur == RLIM_INFINITY || r.rlim_cur >= need)
    return;
  r.rlim_cur = r.rlim_max == RLIM_INFINITY || r.rlim_max >= need ? need : r.rlim_max;
  setrlimit(RLIMIT_STACK, &r);
}

}  // namespace

int main() {
  ensure_stack();
  return gpr::run_batch();
}
