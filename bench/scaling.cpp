// scaling.cpp: read and solve time of each instance of a folder, once each.
//
//   gprnpv-scaling FIRST LAST PCTNEG
//
// Reads D<FIRST>.gpr .. D<LAST>.gpr of the working folder one after the
// other, as the batch does (deadline increment 10, interest 0.01), and
// solves each once with PCTNEG percent negative cash flows; no instance is
// read or solved twice, so no run profits from a warm repeat of the same
// network. Prints one line per instance: number, activities, list arcs,
// read and solve time in microseconds (thread processor time), passes, and
// the time of one more reset_solve() after the solve, with the lists put
// back as read: the part of a solve that clears the tree and subset rows
// (nract rows each).
// Instances that are refused or not solved print their failure code instead
// of the times.
#include <cstdio>
#include <cstdlib>

#include "driver/driver.h"
#include "instances.h"
#include "network/network.h"
#include "search/search.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: gprnpv-scaling FIRST LAST PCTNEG\n");
    return 2;
  }
  int first = std::atoi(argv[1]), last = std::atoi(argv[2]);
  gpr::console = nullptr;
  gpr::outfile = nullptr;
  gpr::infofile = std::fopen("/dev/null", "w");
  gpr::pctneg = std::atoi(argv[3]);
  gpr::deadext = 10;
  gpr::interest = 0.01;
  std::snprintf(gpr::prefix, sizeof gpr::prefix, "D");
  for (int k = first; k <= last; k++) {
    gpr::probnr = k;
    std::int64_t t0 = gpr::thread_cpu_ns();
    int ok = gpr::read_instance();
    std::int64_t t1 = gpr::thread_cpu_ns();
    if (!ok) {
      std::printf("%d failed %d\n", k, gpr::failcode);
      continue;
    }
    int arcs = bench::list_arcs();
    const bench::closing_cells cells;
    gpr::starttick = gpr::thread_cpu_ns();
    gpr::solve_instance();
    std::int64_t t2 = gpr::thread_cpu_ns();
    if (gpr::failcode != gpr::fail_none) {
      std::printf("%d failed %d\n", k, gpr::failcode);
      continue;
    }
    int passes = gpr::nriter;
    cells.restore();
    gpr::reset_solve();
    std::int64_t t3 = gpr::thread_cpu_ns();
    std::printf("%d %d %d %.2f %.2f %d %.2f\n", k, gpr::nract, arcs, (t1 - t0) / 1e3,
                (t2 - gpr::starttick) / 1e3, passes, (t3 - t2) / 1e3);
  }
  return 0;
}
