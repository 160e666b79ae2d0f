// report.cpp: the outcome rows of each instance and the statistics of the
// solve times.
//
// Precisions are part of the results: the sum of times and the average are
// single precision, the sum of squares and the deviation double. Every row
// starts with a line end, on the console (after the instance name that the
// reader printed) and in "output.txt".
//
// The deviation is the sample standard deviation over the two sums,
// sqrt((n * sumsq - sumtime^2) / ((n - 1) * n)). Its numerator is taken as 0
// when the single-precision sum makes it slightly negative, so equal times
// give 0; the divisor is formed in 64 bits. No solved instance gives NaN for
// both values and one solved instance NaN for the deviation (0 / 0); a NaN
// is printed as "nan", without a sign.
//
// An invalid file's row is followed by its reason (failwhy) on the
// diagnostics stream, as "gprnpv: D7.gpr: <reason>".
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "driver/driver.h"
#include "network/network.h"

namespace gpr {
namespace {

struct failure_texts {
  const char* console;
  const char* file;
};

// Indexed by the fail_* codes of network.h.
constexpr failure_texts failures[] = {
    {"\t\t\t\t\t not found", "    problem not found"},
    {"\t\t\t\t\t maxact too low", "    too many activities"},
    {"\t\t\t\t\t invalid file", "    invalid instance file"},
    {"\t\t\t\t\t positive cycle", "    positive cycle in time lags"},
    {"\t\t\t\t\t deadline out of range", "    deadline out of range"},
    {"\t\t\t\t\t no spanning tree", "    no spanning tree"},
    {"\t\t\t\t\t deadline too tight", "    deadline too tight"},
    {"\t\t\t\t\t no displacement arc", "    no displacement arc"},
};
constexpr int nrfailures = sizeof failures / sizeof failures[0];

#define AVERAGE_LINE \
  "\n\n Average computation time (seconds)    : %8.3f  (standard deviation : %8.3f)"

}  // namespace

double printable(double x) { return std::isnan(x) ? std::fabs(x) : x; }

const char* failure_console_text(int code) {
  return code >= 0 && code < nrfailures ? failures[code].console : "";
}
const char* failure_file_text(int code) {
  return code >= 0 && code < nrfailures ? failures[code].file : "";
}

void report_result() {
  sumtime = sumtime + cputime;
  sumsq = sumsq + static_cast<double>(cputime) * static_cast<double>(cputime);
  nrsolved = nrsolved + 1;
  console_printf("   optimal  %8.2lf %10.3f", printable(npv),
                 printable(static_cast<double>(cputime)));
  results_printf("\n%5d %5d %8.2lf %11.4f", probnr, nriter, printable(npv),
                 printable(static_cast<double>(cputime)));
}

void report_read_failure(int code) {
  if (code < 0 || code >= nrfailures) code = fail_invalid;
  failcode = code;
  console_printf("%s", failures[code].console);
  results_printf("\n%5d%s", probnr, failures[code].file);
  if (code == fail_invalid && failwhy[0] != '\0') diag_printf("gprnpv: %s: %s", probname, failwhy);
  if (code == fail_toolarge && probfile != nullptr) {
    std::fclose(probfile);
    probfile = nullptr;
  }
}

// At most `shown` pairs, then how many more.
void report_leftout() {
  constexpr int shown = 8;
  char list[shown * 16 + 32];
  char* p = list;
  for (int k = 0; k < nrleftout && k < shown; k++)
    p += std::snprintf(p, list + sizeof list - p, "%s%d->%d", k > 0 ? ", " : "",
                       leftout[k][0] + 1, leftout[k][1] + 1);
  if (nrleftout > shown) std::snprintf(p, list + sizeof list - p, " and %d more", nrleftout - shown);
  diag_printf("gprnpv: %s: warning: the search leaves out %d relation%s into the dummy start or "
              "out of the dummy end: %s",
              probname, nrleftout, nrleftout == 1 ? "" : "s", list);
}

void report_averages() {
  avgtime = static_cast<float>(static_cast<double>(sumtime) / nrsolved);
  double n = nrsolved;
  double numerator = n * sumsq - static_cast<double>(sumtime) * static_cast<double>(sumtime);
  if (numerator < 0.0) numerator = 0.0;
  double divisor = static_cast<double>(static_cast<std::int64_t>(nrsolved - 1) * nrsolved);
  stdtime = std::sqrt(numerator / divisor);

  double avg = printable(static_cast<double>(avgtime));
  double dev = printable(stdtime);
  console_printf(AVERAGE_LINE, avg, dev);
  outfile = file_open(outname, "a");
  file_printf(outfile, outname, AVERAGE_LINE, avg, dev);
  file_close(outfile, outname);
  outfile = nullptr;
}

}  // namespace gpr
