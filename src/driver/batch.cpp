// batch.cpp: the program's main routine. It asks the five questions, empties
// "output.txt", keeps "info.out" open for the whole run, and walks the
// instance numbers firstprob .. lastprob: each is read and, when that
// succeeds, timed and solved (a warning on the diagnostics stream follows
// the row of an instance whose file lists relations the solve leaves out).
// Then the averages, the credit lines and one key, whose value is the exit
// status. The questions themselves are in dialogue.cpp.
//
// "output.txt" is opened for appending around each instance and closed after
// it (through a descriptor, see results_open), so every finished row is in
// the file; "info.out" is flushed after each instance's entries. The loop
// handles lastprob = INT_MAX without stepping its variable past the top of
// the int range.
#include <cstdio>
#include <cstring>

#include "driver/driver.h"
#include "network/network.h"
#include "search/search.h"

namespace gpr {
namespace {
// The buffer of "info.out": an instance's entries (some 12 KB at 1000
// activities) leave in one write at its flush rather than in pieces of the
// default size.
char infobuffer[1 << 16];
}  // namespace

void reset_results() {
  std::strcpy(outname, "output");
  std::strcat(outname, ".txt");
  file_close(file_open(outname, "w"), outname);
  sumtime = 0.0f;
  sumsq = 0.0;
  nrsolved = 0;
}

int run_batch() {
  prefer_large_pages_for_state();
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  console = stdout;
  diagnostics = stderr;
  read_parameters();
  reset_results();

  infofile = file_open("info.out", "w");
  std::setvbuf(infofile, infobuffer, _IOFBF, sizeof infobuffer);
  file_printf(infofile, "info.out",
              "\nPercentage negative cash flows : %d \nDeadline (number of time units above "
              "critical path) : %d\ninterest : %lf \n",
              pctneg, deadext, printable(interest));
  file_printf(infofile, "info.out", "\ninformation about the generated cash flows");
  file_printf(infofile, "info.out", "\nproblem number :   (number of activity / cash flow)");

  if (firstprob <= lastprob) {
    for (probnr = firstprob;; probnr++) {
      file_printf(infofile, "info.out", "\n%4d : ", probnr);
      results_open();
      bool ready = read_instance() != 0;
      if (ready) {
        starttick = thread_cpu_ns();
        solve_instance();
      }
      results_close();
      if (ready && nrleftout > 0) report_leftout();
      file_flush(infofile, "info.out");
      if (probnr == lastprob) break;
    }
  }

  report_averages();
  file_close(infofile, "info.out");
  infofile = nullptr;

  console_printf("\n\n gprnpv: optimal recursive search for max-npv project scheduling");
  console_printf("\n e-mail: none; report problems through the gprnpv issue tracker");
  console_printf("\n website: the gprnpv source repository (see its README.md)");
  console_printf("\n\n PRESS ANY KEY");
  return read_key();
}

}  // namespace gpr
