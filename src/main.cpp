// main.cpp: gprnpv. Without arguments it runs one batch (the dialogue, the
// instances, the summary) and exits with the closing key. With any argument
// it touches no file: -h/--help prints the usage and --version the version,
// both with status 0; anything else is one line on standard error and
// status 2. The option parser is only built when there are arguments, so
// the batch starts as fast as it did without one.
//
// The evaluation of a pass nests one call per activity, some 200 bytes each
// at -O2: 2 MB at a limit of 10000 activities. Before the batch starts,
// a soft stack limit below maxact * 512 bytes + 1 MB is raised to that
// (as far as the hard limit allows), so a small `ulimit -s` cannot stop a
// solve of a long chain. The default build (1.5 MB) leaves the usual 8 MB
// as it is.
#include <sys/resource.h>

#include <CLI/CLI.hpp>

#include <cstdio>
#include <string>

#include "driver/driver.h"
#include "network/network.h"

namespace {

const char* const usage_text =
    "Usage: gprnpv            (no arguments: runs one batch)\n"
    "       gprnpv -h|--help | --version\n"
    "\n"
    "gprnpv finds start times of maximum net present value for projects with\n"
    "generalized precedence relations. Started in the folder of the instance\n"
    "files, it asks five answers on standard input, separated by any white space:\n"
    "the first and the last instance number, the percentage of negative cash\n"
    "flows, the deadline in time units above the critical path, and the interest\n"
    "rate. It reads D<first>.gpr .. D<last>.gpr, prints one row per instance, and\n"
    "writes output.txt (one result row per instance and the average solve time)\n"
    "and info.out (the answers and the cash flows drawn), both emptied first.\n"
    "The exit status is the code of the key pressed at the end (without a\n"
    "terminal: the next byte of the input after the answers, 0 at its end).\n"
    "\n"
    "Tools beside it: gprnpv-convert (benchmark library files to D<n>.gpr),\n"
    "gprnpv-generate (seeded random networks), gprnpv-check (schedules and\n"
    "proofs of optimality), gprnpv-sweep. See README.md.\n"
    "\n"
    "  -h, --help    show this text\n"
    "  --version     show the version\n";

int run_options(int argc, char** argv) {
  CLI::App app("gprnpv", "gprnpv");
  app.set_help_flag();
  bool help = false, version = false;
  app.add_flag("-h,--help", help)->disable_flag_override();
  app.add_flag("--version", version)->disable_flag_override();
  try {
    app.parse(argc, argv);
  } catch (const CLI::Error& e) {
    std::string what = e.what();
    for (char& c : what)
      if (c == '\n' || c == '\r') c = ' ';
    std::fprintf(stderr, "gprnpv: %s (gprnpv takes no arguments but -h, --help or --version)\n",
                 what.c_str());
    return 2;
  }
  if (help)
    std::fputs(usage_text, stdout);
  else if (version)
    std::printf("gprnpv %s\n", gpr::version_text());
  return 0;
}

void ensure_stack() {
  const rlim_t need = static_cast<rlim_t>(gpr::maxact) * 512 + (rlim_t{1} << 20);
  rlimit r;
  if (getrlimit(RLIMIT_STACK, &r) != 0 || r.rlim_cur == RLIM_INFINITY || r.rlim_cur >= need)
    return;
  r.rlim_cur = r.rlim_max == RLIM_INFINITY || r.rlim_max >= need ? need : r.rlim_max;
  setrlimit(RLIMIT_STACK, &r);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc <= 1) {
    ensure_stack();
    return gpr::run_batch();
  }
  return run_options(argc, argv);
}
