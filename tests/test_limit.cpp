// test_limit.cpp: what depends on the activity limit of the build
// (GPRNPV_MAXACT, gpr::maxact): files at the limit and one past it, networks
// of 1002 activities (the largest of the public sets, two dummies included)
// solved by gprnpv and proved by gprnpv-check in both directions, and a
// chain as long as the limit allows solved by the program itself, which
// nests one evaluation call per activity on its own stack. The same tests
// run in every build; the 1002-activity case needs a limit of 1002 or more.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "convert.h"
#include "netgen.h"
#include "network/network.h"
#include "testutil.h"

namespace {

using testutil::Instance;
using testutil::read_file;
using testutil::ScratchDir;

// Activities 0 .. n-1, durations 1 but the dummies, finish-start chain.
Instance chain(int n) {
  Instance in;
  for (int k = 0; k < n; k++) in.add(k == 0 || k == n - 1 ? 0 : 1);
  for (int k = 1; k < n; k++) in.fs(k, k + 1);
  return in;
}

// Runs gprnpv on D1..D<last> of the working folder, with a soft stack
// limit of `stack_kb` when it is not 0; false when it fails.
bool run_gprnpv(int last, int pctneg, int stack_kb = 0) {
  std::string limit = stack_kb ? "ulimit -S -s " + std::to_string(stack_kb) + "; " : "";
  std::string cmd = limit + "printf '1 " + std::to_string(last) + " " + std::to_string(pctneg) +
                    " 10 0.01' | '" GPRNPV_BIN "' >console.txt 2>&1";
  return std::system(cmd.c_str()) == 0;
}

// The npv column of the result rows of output.txt (failure rows have text
// where the passes stand).
std::vector<std::string> result_values() {
  std::istringstream rows(read_file("output.txt"));
  std::vector<std::string> values;
  std::string line;
  while (std::getline(rows, line)) {
    std::istringstream f(line);
    std::string nr, passes, npv, time;
    auto digits = [](const std::string& t) {
      return !t.empty() && t.find_first_not_of("0123456789") == std::string::npos;
    };
    if (f >> nr >> passes >> npv >> time && digits(nr) && digits(passes)) values.push_back(npv);
  }
  return values;
}

TEST(Limit, ReadsUpToTheLimitAndRefusesOneMore) {
  ScratchDir dir;
  testutil::quiet_run(50, 10, 0.01);
  std::vector<int> sizes = {gpr::maxact};
  if (gpr::maxact > 1001) sizes.push_back(1001);
  for (int n : sizes) {
    chain(n).write(1);
    testutil::Outcome o = testutil::read_logged(1);
    ASSERT_EQ(o.rc, 1) << n;
    EXPECT_EQ(gpr::nract, n);
    EXPECT_EQ(gpr::st[n - 1], n - 2);
    EXPECT_EQ(std::count(o.info.begin(), o.info.end(), '('), n);
    EXPECT_TRUE(o.info.ends_with(" (" + std::to_string(n - 1) + "/0) ")) << n;
  }
  chain(gpr::maxact + 1).write(1);
  testutil::Outcome o = testutil::read_logged(1);
  EXPECT_EQ(o.rc, 0);
  EXPECT_EQ(o.console, "\n       D1\t\t\t\t\t maxact too low");
  EXPECT_EQ(o.info, "");
}

// Three generated networks of 1000 real activities (one with the awkward
// features), solved by gprnpv forward and backward; gprnpv-check solves them
// the same way, finds every schedule feasible and proves it optimal, with
// the same net present values.
TEST(Limit, ThousandTwoActivityNetworksSolvedAndProvedBothWays) {
  if (gpr::maxact < 1002) GTEST_SKIP() << "the build reads at most " << gpr::maxact;
  ScratchDir dir;
  netgen::Options o;
  o.seed = 1002;
  o.min_activities = o.max_activities = 1000;
  o.min_arcs = 2;
  o.max_arcs = 3;
  for (int k = 1; k <= 3; k++) {
    o.awkward = k == 3;
    testutil::write_file("D" + std::to_string(k) + ".gpr", netgen::generate_instance(o, k));
  }
  for (int pctneg : {30, 70}) {
    SCOPED_TRACE(pctneg);
    ASSERT_TRUE(run_gprnpv(3, pctneg)) << read_file("console.txt");
    std::vector<std::string> values = result_values();
    ASSERT_EQ(values.size(), 3u) << read_file("output.txt");
    std::string cmd = "'" GPRNPV_BINARY_DIR "/gprnpv-check' --first 1 --last 3 --pctneg " +
                      std::to_string(pctneg) + " --deadext 10 --interest 0.01 >check.txt 2>&1";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
    std::string report = read_file("check.txt");
    EXPECT_NE(report.find("proved 3 of 3 solved instances (3 feasible)"), std::string::npos)
        << report;
    for (const std::string& v : values) EXPECT_NE(report.find(" " + v + " "), std::string::npos) << v;
  }
}

// The longest chain the build reads, solved by the program in both
// directions: the first pass of each nests gpr::maxact calls, 2.5 MB of
// stack at 10000, which the program finds even under a soft limit of 1 MB.
TEST(Limit, ChainAtTheLimitSolvedBothWays) {
  ScratchDir dir;
  chain(gpr::maxact).write(1);
  for (int pctneg : {30, 70}) {
    ASSERT_TRUE(run_gprnpv(1, pctneg, 1024)) << read_file("console.txt");
    EXPECT_EQ(result_values().size(), 1u) << read_file("output.txt");
  }
}

// The generator writes networks up to the limit of its build; past it, its
// refusal and the converter's warning name the way to a larger build.
TEST(Limit, ToolsFollowTheLimitAndNameTheLargerBuild) {
  netgen::Options o;
  o.min_activities = o.max_activities = gpr::maxact - 2;
  EXPECT_EQ(netgen::check_options(o), "");
  o.max_activities = gpr::maxact - 1;
  EXPECT_NE(netgen::check_options(o).find("GPRNPV_MAXACT="), std::string::npos);

  ScratchDir dir;
  std::string rcp = std::to_string(gpr::maxact + 1) + " 0\n";
  for (int j = 1; j <= gpr::maxact + 1; j++)
    rcp += j <= gpr::maxact ? "0 1 " + std::to_string(j + 1) + "\n" : "0 0\n";
  testutil::write_file("big.rcp", rcp);
  std::string args[] = {"gprnpv-convert", "-o", "out", "big.rcp"};
  char* argv[] = {args[0].data(), args[1].data(), args[2].data(), args[3].data()};
  std::ostringstream out, err;
  EXPECT_EQ(convert::convert_main(4, argv, out, err), 0);
  EXPECT_NE(err.str().find(std::to_string(gpr::maxact + 1) + " activities, more than"),
            std::string::npos) << err.str();
  EXPECT_NE(err.str().find("GPRNPV_MAXACT="), std::string::npos) << err.str();

  // Three jobs, job 1 listing job 2 once more than the reader takes: the
  // file converts, with a warning, as gprnpv would call it invalid.
  std::string twice = "3 0\n0 " + std::to_string(gpr::maxact + 1);
  for (int k = 0; k <= gpr::maxact; k++) twice += " 2";
  testutil::write_file("twice.rcp", twice + "\n0 1 3\n0 0\n");
  std::string args2[] = {"gprnpv-convert", "-o", "out2", "twice.rcp"};
  char* argv2[] = {args2[0].data(), args2[1].data(), args2[2].data(), args2[3].data()};
  std::ostringstream out2, err2;
  EXPECT_EQ(convert::convert_main(4, argv2, out2, err2), 0);
  EXPECT_NE(err2.str().find("activity 1 lists " + std::to_string(gpr::maxact + 1) + " successors"),
            std::string::npos) << err2.str();
}

// Builds whose chains can carry a start value past 32 bits (wide_starts)
// stop the propagation at 2^30 and report the deadline as out of range: a
// chain of finish-start lags of 100000 after durations of 100000 reaches
// 2 * 10^5 per arc.
TEST(Limit, StartValuesBeyondThirtyBitsRefused) {
  if (!gpr::wide_starts) GTEST_SKIP() << "no chain of this build leaves 2^30";
  ScratchDir dir;
  Instance in;
  const int n = gpr::maxact;
  for (int k = 0; k < n; k++) in.add(k == 0 || k == n - 1 ? 0 : 100000);
  for (int k = 1; k < n; k++) in.rel(k, k + 1, 1, 3, 100000);
  in.write(1);
  for (int pctneg : {30, 70}) {
    ASSERT_TRUE(run_gprnpv(1, pctneg)) << read_file("console.txt");
    EXPECT_NE(read_file("output.txt").find("deadline out of range"), std::string::npos)
        << read_file("output.txt");
  }
}

}  // namespace
