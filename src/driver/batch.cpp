// batch.cpp: the program's main routine. It asks the five questions, empties
// "output.txt", keeps "info.out" open for the whole run, and walks the
// instance numbers firstprob .. lastprob: each is read and, when that
// succeeds, timed and solved. Then the averages, the credit lines and one
// key, whose value is the exit status.
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

void read_parameters() {
  console_printf("\n An Optimal Recursive Search Procedure for the Deterministic Unconstrained Max-npv PSP\n");
  console_printf(" =======================================================================================\n\n");
  std::strcpy(prefix, "D");
  // A read that converts nothing leaves its parameter (and, since the text
  // stays in the input, every later one) at 0.
  console_printf("\n Number of first problem : ");
  if (std::scanf("%d", &firstprob) != 1) {}
  console_printf("\n Number of last problem : ");
  if (std::scanf("%d", &lastprob) != 1) {}
  console_printf("\n Percentage negative cash flows (e.g. 50) : ");
  if (std::scanf("%d", &pctneg) != 1) {}
  console_printf("\n Deadline (expressed as number of time units above critical path ) : ");
  if (std::scanf("%d", &deadext) != 1) {}
  console_printf("\n Interest rate (e.g. 0.01) : ");
  if (std::scanf("%lf", &interest) != 1) {}
  console_printf("\n\n filename  solution     npv     CPU time (sec)     error\n");
}

void reset_results() {
  std::strcpy(outname, "output");
  std::strcat(outname, ".txt");
  file_close(file_open(outname, "w"), outname);
  sumtime = 0.0f;
  sumsq = 0.0;
  nrsolved = 0;
}

int run_batch() {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  console = stdout;
  read_parameters();
  reset_results();

  infofile = file_open("info.out", "w");
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
      if (read_instance()) {
        starttick = thread_cpu_ns();
        solve_instance();
      }
      results_close();
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
