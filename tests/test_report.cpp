// test_report.cpp: the outcome rows of an instance and the statistics of the
// solve times with their average line.
#include <dirent.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "testutil.h"

namespace {

using testutil::ScratchDir;
using testutil::read_file;
using testutil::open_fds;

// Console text written while it lives.
class ConsoleCapture {
 public:
  ConsoleCapture() : f_(open_memstream(&buf_, &len_)) { gpr::console = f_; }
  ~ConsoleCapture() {
    gpr::console = nullptr;
    std::fclose(f_);
    std::free(buf_);
  }
  std::string text() {
    std::fflush(f_);
    return std::string(buf_, len_);
  }

 private:
  char* buf_ = nullptr;
  std::size_t len_ = 0;
  std::FILE* f_;
};

void zero_statistics() {
  gpr::sumtime = 0.0f;
  gpr::sumsq = 0.0;
  gpr::nrsolved = 0;
  std::snprintf(gpr::outname, sizeof gpr::outname, "output.txt");
  gpr::outfile = nullptr;
  gpr::console = nullptr;
}

std::string average_line(const char* avg, const char* dev) {
  return std::string("\n\n Average computation time (seconds)    : ") + avg +
         "  (standard deviation : " + dev + ")";
}

}  // namespace

TEST(Report, ResultRowOnConsoleAndInFile) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    int probnr, nriter;
    double npv;
    float cputime;
    const char* console;
    const char* file;
  } cases[] = {
      {7, 3, 1234.567, 0.016f, "   optimal   1234.57      0.016", "\n    7     3  1234.57      0.0160"},
      {12345, 99999, -239.5, 0.0f, "   optimal   -239.50      0.000",
       "\n12345 99999  -239.50      0.0000"},
      {1, 0, 0.0, 12.34567f, "   optimal      0.00     12.346", "\n    1     0     0.00     12.3457"},
      {-3, 1, 123456789.126, 0.5f, "   optimal  123456789.13      0.500",
       "\n   -3     1 123456789.13      0.5000"},
      {1, 0, -nan, 0.0f, "   optimal       nan      0.000", "\n    1     0      nan      0.0000"},
      {1, 0, nan, 0.0f, "   optimal       nan      0.000", "\n    1     0      nan      0.0000"},
      {1, 0, -inf, 0.0f, "   optimal      -inf      0.000", "\n    1     0     -inf      0.0000"},
  };
  ScratchDir dir;
  for (const Case& c : cases) {
    zero_statistics();
    gpr::outfile = std::fopen("output.txt", "w");
    gpr::probnr = c.probnr;
    gpr::nriter = c.nriter;
    gpr::npv = c.npv;
    gpr::cputime = c.cputime;
    std::string console;
    {
      ConsoleCapture cap;
      gpr::report_result();
      console = cap.text();
    }
    std::fclose(gpr::outfile);
    gpr::outfile = nullptr;
    EXPECT_EQ(console, c.console);
    EXPECT_EQ(read_file("output.txt"), c.file);
    EXPECT_EQ(gpr::nrsolved, 1);
  }
}

TEST(Report, TimesAreSummedInSinglePrecisionAndSquaredInDouble) {
  zero_statistics();
  std::vector<float> times = {0.1f, 1.0f};
  for (int k = 0; k < 10; k++) times.push_back(1e-8f);
  float sum = 0.0f;
  double sq = 0.0;
  for (float t : times) {
    gpr::cputime = t;
    gpr::report_result();
    sum = sum + t;
    sq = sq + static_cast<double>(t) * static_cast<double>(t);
  }
  EXPECT_EQ(gpr::nrsolved, static_cast<int>(times.size()));
  EXPECT_EQ(gpr::sumtime, sum);
  EXPECT_EQ(gpr::sumsq, sq);
  // Summed in double, the ten small times would not have vanished.
  double wide = 0.0;
  for (float t : times) wide += t;
  EXPECT_NE(static_cast<float>(wide), sum);
}

TEST(Report, AverageAndDeviationOfTheSolveTimes) {
  struct Case {
    std::vector<float> times;
    const char* avg;
    const char* dev;
  } cases[] = {
      {{0.016f, 0.0f}, "   0.008", "   0.011"},
      {{}, "     nan", "     nan"},
      {{0.5f}, "   0.500", "     nan"},
      {{0.047f, 0.047f, 0.047f}, "   0.047", "   0.000"},
      {{0.0f, 0.0f, 0.0f, 0.0f}, "   0.000", "   0.000"},
      {{1.0f, 3.0f}, "   2.000", "   1.414"},
      {{2.0f, 4.0f, 9.0f}, "   5.000", "   3.606"},
  };
  ScratchDir dir;
  for (const Case& c : cases) {
    zero_statistics();
    for (float t : c.times) {
      gpr::cputime = t;
      gpr::report_result();
    }
    testutil::write_file("output.txt", "X");
    std::string console;
    {
      ConsoleCapture cap;
      gpr::report_averages();
      console = cap.text();
    }
    EXPECT_EQ(console, average_line(c.avg, c.dev)) << c.times.size();
    EXPECT_EQ(read_file("output.txt"), "X" + average_line(c.avg, c.dev));
  }
}

TEST(Report, EqualTimesGiveDeviationZeroNotNan) {
  zero_statistics();
  for (int k = 0; k < 3; k++) {
    gpr::cputime = 0.047f;
    gpr::report_result();
  }
  // The single-precision sum makes the plain numerator negative.
  ASSERT_LT(3.0 * gpr::sumsq - static_cast<double>(gpr::sumtime) * gpr::sumtime, 0.0);
  ScratchDir dir;
  gpr::report_averages();
  EXPECT_EQ(gpr::stdtime, 0.0);
  EXPECT_EQ(gpr::avgtime, static_cast<float>(static_cast<double>(gpr::sumtime) / 3));
}

TEST(Report, DivisorOfManySolvesDoesNotOverflow) {
  ScratchDir dir;
  zero_statistics();
  // 50000 solves, half of 0.01 s and half of 0.03 s.
  gpr::nrsolved = 50000;
  gpr::sumtime = 1000.0f;
  gpr::sumsq = 25.0;
  std::string console;
  {
    ConsoleCapture cap;
    gpr::report_averages();
    console = cap.text();
  }
  EXPECT_TRUE(std::isfinite(gpr::stdtime));
  EXPECT_NEAR(gpr::stdtime, std::sqrt(250000.0 / (49999.0 * 50000.0)), 1e-12);
  EXPECT_EQ(console, average_line("   0.020", "   0.010"));
}

TEST(Report, FailureRowsLeaveTheStatistics) {
  struct Case {
    int code;
    const char* console;
    const char* file;
  } cases[] = {
      {gpr::fail_notfound, "\t\t\t\t\t not found", "\n   42    problem not found"},
      {gpr::fail_toolarge, "\t\t\t\t\t maxact too low", "\n   42    too many activities"},
      {gpr::fail_invalid, "\t\t\t\t\t invalid file", "\n   42    invalid instance file"},
      {gpr::fail_cycle, "\t\t\t\t\t positive cycle", "\n   42    positive cycle in time lags"},
      {gpr::fail_deadline, "\t\t\t\t\t deadline out of range", "\n   42    deadline out of range"},
      {gpr::fail_notree, "\t\t\t\t\t no spanning tree", "\n   42    no spanning tree"},
      {gpr::fail_tight, "\t\t\t\t\t deadline too tight", "\n   42    deadline too tight"},
      {gpr::fail_nodisp, "\t\t\t\t\t no displacement arc", "\n   42    no displacement arc"},
  };
  ScratchDir dir;
  for (const Case& c : cases) {
    zero_statistics();
    gpr::sumtime = 0.25f;
    gpr::sumsq = 0.0625;
    gpr::nrsolved = 1;
    gpr::probnr = 42;
    gpr::outfile = std::fopen("output.txt", "w");
    std::string console;
    {
      ConsoleCapture cap;
      gpr::report_read_failure(c.code);
      console = cap.text();
    }
    std::fclose(gpr::outfile);
    gpr::outfile = nullptr;
    EXPECT_EQ(console, c.console) << c.code;
    EXPECT_EQ(read_file("output.txt"), c.file) << c.code;
    EXPECT_EQ(gpr::sumtime, 0.25f);
    EXPECT_EQ(gpr::sumsq, 0.0625);
    EXPECT_EQ(gpr::nrsolved, 1);
  }
}

TEST(Report, TooManyActivitiesClosesTheInstanceFile) {
  ScratchDir dir;
  zero_statistics();
  testutil::write_file("D1.gpr", "1001 0\n");
  int fds = open_fds();
  gpr::probfile = std::fopen("D1.gpr", "r");
  ASSERT_NE(gpr::probfile, nullptr);
  gpr::report_read_failure(gpr::fail_toolarge);
  EXPECT_EQ(gpr::probfile, nullptr);
  EXPECT_EQ(open_fds(), fds);
}
