// profile.cpp: a fixed amount of work for instruction counting.
//
//   gprnpv-profile ACTIVITIES PCTNEG REPEATS
//
// Writes the benchmark network of ACTIVITIES activities (instances.h) into a
// temporary folder, reads it REPEATS times and solves it REPEATS times with
// PCTNEG percent negative cash flows, then prints the passes and the net
// present value of the solve. Unlike wall times, the instructions that
// callgrind counts in read_instance and solve_instance do not depend on what
// else the machine is doing:
//
//   valgrind --tool=callgrind --toggle-collect='gpr::solve_instance()'
//            build/bench/gprnpv-profile 1000 30 10
//
// (one command line) gives ten solves' worth of instructions in its
// "Collected" line.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "driver/driver.h"
#include "instances.h"
#include "network/network.h"
#include "search/search.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: gprnpv-profile ACTIVITIES PCTNEG REPEATS\n");
    return 2;
  }
  int activities = std::atoi(argv[1]);
  int repeats = std::atoi(argv[3]);
  char tmpl[] = "/tmp/gprnpv-profile-XXXXXX";
  if (activities < 2 || activities > gpr::maxact || mkdtemp(tmpl) == nullptr ||
      !bench::write_instance(tmpl, activities) || chdir(tmpl) != 0) {
    std::fprintf(stderr, "gprnpv-profile: cannot write the instance\n");
    return 1;
  }
  gpr::console = nullptr;
  gpr::outfile = nullptr;
  gpr::infofile = std::fopen("/dev/null", "w");
  gpr::probnr = activities;
  gpr::pctneg = std::atoi(argv[2]);
  gpr::deadext = 10;
  gpr::interest = 0.01;
  std::snprintf(gpr::prefix, sizeof gpr::prefix, "D");

  int ok = 1;
  for (int k = 0; k < repeats; k++) ok &= gpr::read_instance();
  const bench::closing_cells cells;
  for (int k = 0; k < repeats && ok; k++) {
    cells.restore();
    gpr::starttick = gpr::thread_cpu_ns();
    gpr::solve_instance();
  }
  std::remove(gpr::probname);
  if (chdir("/") == 0) rmdir(tmpl);
  if (!ok || gpr::failcode != gpr::fail_none) {
    std::fprintf(stderr, "gprnpv-profile: instance not solved\n");
    return 1;
  }
  std::printf("passes %d npv %.6f\n", gpr::nriter, gpr::npv);
  return 0;
}
