// test_check.cpp: the feasibility check and the optimality certificate of
// gprnpv-check, against schedules whose optimality is known independently:
// worked examples computed by hand, every schedule of small networks
// enumerated, spoiled copies of solved schedules, and generated networks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "check.h"
#include "check_cli.h"
#include "driver/driver.h"
#include "netgen.h"
#include "testutil.h"

namespace {

using gprcheck::Model;
using gprcheck::Status;
using Schedule = std::vector<int>;

struct Solved {
  Model m;
  Schedule st;
};

// Reads instance `number` of the working folder, captures its model, lets
// `adjust` change the read state (cash flows), and solves it.
Solved solve(int number, int pctneg, double rate, int deadext,
             const std::function<void()>& adjust = [] {}) {
  testutil::quiet_run(pctneg, deadext, rate);
  Solved s;
  if (testutil::read(number) != 1) return s;
  adjust();
  s.m = gprcheck::capture_model();
  gpr::solve_instance();
  if (gpr::failcode == gpr::fail_none) s.st.assign(gpr::st, gpr::st + gpr::nract);
  return s;
}

bool feasible(const Model& m, const Schedule& st) {
  for (const gprcheck::Arc& a : m.arcs)
    if (st[a.to] - st[a.from] < a.lag) return false;
  return true;
}

// Independent value: cash flows discounted from their completion.
double value(const Model& m, const Schedule& st) {
  double v = 0.0;
  for (int i = 0; i < m.nract; i++) v += m.cf[i] * std::exp(-m.interest * (st[i] + m.dur[i]));
  return v;
}

// The reported shift must be a real improvement: feasible for its whole
// step, and worth the gain it names.
void expect_improving_shift(const Model& m, const Schedule& st, const gprcheck::Certificate& c) {
  ASSERT_EQ(c.status, Status::not_proved);
  ASSERT_FALSE(c.shift.empty());
  ASSERT_GE(c.step, 1);
  Schedule moved = st;
  for (int k : c.shift) {
    EXPECT_NE(k, m.anchor);
    moved[k] += static_cast<int>(c.direction * c.step);
  }
  EXPECT_TRUE(feasible(m, moved));
  double gain = value(m, moved) - value(m, st);
  EXPECT_GT(gain, 0.0);
  EXPECT_NEAR(c.gain, gain, 1e-9 * (1.0 + std::fabs(gain)));
  // One unit further would break an arc.
  for (int k : c.shift) moved[k] += c.direction;
  EXPECT_FALSE(feasible(m, moved));
}

std::vector<int> file_numbers(const std::vector<int>& set) {
  std::vector<int> out;
  for (int k : set) out.push_back(k + 1);
  return out;
}

// ------------------------------------------------------------ worked example

// Dummy start 1, activities 2 (duration 3, cash flow 100) and 3 (duration 2,
// cash flow -50), dummy end 4; finish-start chain 1 -> 2 -> 3 -> 4 and a
// deadline of 15 at interest 0.01. By hand: 2 stays at 0 and 3 is delayed
// to the deadline, so st = (0, 0, 13, 15) in both directions.
using testutil::write_worked_example;

void set_example_flows() {
  gpr::cf[1] = 100;
  gpr::cf[2] = -50;
}

TEST(CheckWorkedExample, OptimalInBothDirectionsAndSpoiledCopiesNamed) {
  testutil::ScratchDir dir;
  write_worked_example();
  for (int pctneg : {30, 70}) {
    SCOPED_TRACE(pctneg);
    Solved s = solve(1, pctneg, 0.01, 10, set_example_flows);
    ASSERT_EQ(s.st, (Schedule{0, 0, 13, 15}));
    EXPECT_EQ(s.m.anchor, pctneg > 50 ? 3 : 0);
    gprcheck::Verdict v = gprcheck::check(s.m, s.st);
    EXPECT_TRUE(v.feasibility.ok);
    EXPECT_EQ(v.certificate.status, Status::proved);
    EXPECT_TRUE(v.passed());
  }

  // Forward: activity 2 one unit late has only slack arcs; advancing it
  // (step 1, up to its predecessor) is the improvement. 3 and 4 one unit
  // early may be delayed again by one, up to the deadline.
  Solved s = solve(1, 30, 0.01, 10, set_example_flows);
  struct Spoil {
    Schedule st;
    std::vector<int> set;  // file numbers
    int direction;
    double gain, rate;     // over the step of 1; first-order, per time unit
  } spoils[] = {
      {{0, 1, 13, 15}, {2}, -1, 100 * (std::exp(-0.03) - std::exp(-0.04)),
       0.01 * 100 * std::exp(-0.04)},
      {{0, 0, 12, 14}, {3, 4}, +1, -50 * (std::exp(-0.15) - std::exp(-0.14)),
       0.01 * 50 * std::exp(-0.14)},
  };
  for (const Spoil& sp : spoils) {
    gprcheck::Certificate c = gprcheck::certify(s.m, sp.st);
    ASSERT_EQ(c.status, Status::not_proved);
    EXPECT_EQ(file_numbers(c.shift), sp.set);
    EXPECT_EQ(c.direction, sp.direction);
    EXPECT_EQ(c.step, 1);
    EXPECT_NEAR(c.gain, sp.gain, 1e-12);
    EXPECT_NEAR(c.rate, sp.rate, 1e-12);
    EXPECT_NEAR(c.residual, sp.rate, 1e-12);
  }

  // Backward (the dummy end stays): the dummy start and 2 one unit late are
  // advanced together, since the tight arc 1 -> 2 ties them.
  Solved b = solve(1, 70, 0.01, 10, set_example_flows);
  gprcheck::Certificate c = gprcheck::certify(b.m, {1, 1, 13, 15});
  ASSERT_EQ(c.status, Status::not_proved);
  EXPECT_EQ(file_numbers(c.shift), (std::vector<int>{1, 2}));
  EXPECT_EQ(c.direction, -1);
  expect_improving_shift(b.m, {1, 1, 13, 15}, c);
}

// --------------------------------------------------------------- the model

TEST(CheckModel, ListedCellsOnceClosingArcLastAnchorByDirection) {
  testutil::ScratchDir dir;
  testutil::Instance in;
  int s = in.add(0), a = in.add(4), b = in.add(2), e = in.add(0);
  in.rel(s, a, 1, 1, -3);  // cell raised to 0 by the normalisation
  in.fs(s, b);
  in.fs(a, b, 2);          // 6
  in.rel(a, b, 1, 1, 9);   // same pair again: the cell keeps 9, one arc
  in.rel(b, a, 2, 1, 5);   // maximal lag: writes lag[a][b], lists b -> a without a cell
  in.rel(b, e, 1, 1, 0);   // cell raised to the duration 2
  in.rel(a, e, 3, 1, 0);   // kind 3: listed without a cell, until the
                           // normalisation gives it the duration 4
  in.write(1);
  for (int pctneg : {50, 51}) {
    testutil::quiet_run(pctneg, 4, 0.01);
    ASSERT_EQ(testutil::read(1), 1);
    Model m = gprcheck::capture_model();
    EXPECT_EQ(m.anchor, pctneg == 50 ? 0 : 3);
    std::vector<std::vector<int>> arcs;
    for (const gprcheck::Arc& x : m.arcs) arcs.push_back({x.from + 1, x.to + 1, x.lag});
    // Earliest starts over the cells as read: 2 at -3, 3 at -3 + 9 = 6, the
    // dummy end at 6 (start-start 0), so the deadline is 6 + 4 = 10.
    EXPECT_EQ(arcs, (std::vector<std::vector<int>>{
                        {1, 2, 0}, {1, 3, 0}, {2, 3, 9}, {2, 4, 4}, {3, 4, 2}, {4, 1, -10}}));
  }
}

// ------------------------------------------- every schedule of small networks

// Two networks of four real activities (cash flows -239, 356, 366, -451 at
// 50 % negative): finish-start chains with a pair bounded both ways by
// maximal lags; and start-start, start-finish and finish-finish relations
// with a maximal lag whose list entry sets no lag itself.
void write_small_networks() {
  testutil::Instance n1;
  for (int d : {0, 3, 2, 4, 1, 0}) n1.add(d);
  n1.fs(1, 2);
  n1.fs(1, 3);
  n1.fs(2, 4);
  n1.rel(2, 5, 1, 1, 1);
  n1.rel(3, 4, 2, 1, 4);   // S4 <= S3 + 4
  n1.fs(3, 5);
  n1.rel(4, 3, 2, 1, -2);  // S4 >= S3 + 2
  n1.fs(4, 6);
  n1.rel(5, 6, 1, 4, 1);
  n1.write(1);

  testutil::Instance n2;
  for (int d : {0, 2, 5, 1, 3, 0}) n2.add(d);
  n2.rel(1, 2, 1, 1, 0);
  n2.rel(1, 3, 1, 1, 0);
  n2.fs(1, 4);
  n2.rel(2, 3, 1, 2, 4);
  n2.fs(2, 5, 1);
  n2.rel(3, 6, 1, 1, 0);
  n2.rel(3, 5, 2, 4, 3);   // S5 <= S3 + 5
  n2.fs(4, 5);
  n2.rel(5, 3, 3, 1, 0);   // lists 5 -> 3 for that bound
  n2.fs(5, 6);
  n2.write(2);
}

// Calls visit(st) for every integer schedule that meets the model with the
// anchor at `at`.
void for_each_schedule(const Model& m, int at, const std::function<void(const Schedule&)>& visit) {
  int n = m.nract;
  // Longest paths to and from the anchor bound each start.
  std::vector<long long> from(n, -1000000), to(n, -1000000);
  from[m.anchor] = to[m.anchor] = 0;
  for (int round = 0; round < n; round++)
    for (const gprcheck::Arc& a : m.arcs) {
      from[a.to] = std::max(from[a.to], from[a.from] + a.lag);
      to[a.from] = std::max(to[a.from], to[a.to] + a.lag);
    }
  Schedule st(n);
  std::function<void(int)> walk = [&](int k) {
    if (k == n) {
      if (feasible(m, st)) visit(st);
      return;
    }
    if (k == m.anchor) {
      st[k] = at;
      walk(k + 1);
      return;
    }
    for (long long t = at + from[k]; t <= at - to[k]; t++) {
      st[k] = static_cast<int>(t);
      walk(k + 1);
    }
  };
  walk(0);
}

TEST(CheckEnumerated, ProvedExactlyAtTheOptimaAndEveryCutImproves) {
  testutil::ScratchDir dir;
  write_small_networks();
  for (int number : {1, 2}) {
    for (int pctneg : {50, 51}) {
      for (double rate : {0.05, -0.05, 0.0}) {
        SCOPED_TRACE(testing::Message() << "network " << number << ", pctneg " << pctneg
                                        << ", rate " << rate);
        testutil::quiet_run(pctneg, 3, rate);
        ASSERT_EQ(testutil::read(number), 1);
        Model m = gprcheck::capture_model();
        int at = m.anchor == 0 ? 0 : gpr::deadline;
        double best = -1e300;
        int count = 0;
        for_each_schedule(m, at, [&](const Schedule& st) {
          best = std::max(best, value(m, st));
          count++;
        });
        ASSERT_GT(count, 20);
        int optima = 0;
        for_each_schedule(m, at, [&](const Schedule& st) {
          gprcheck::Verdict v = gprcheck::check(m, st);
          ASSERT_TRUE(v.feasibility.ok);
          bool optimal = value(m, st) >= best - 1e-9;
          optima += optimal;
          if (rate == 0.0) {
            EXPECT_EQ(v.certificate.status, Status::flat);
          } else if (optimal) {
            EXPECT_EQ(v.certificate.status, Status::proved);
          } else {
            expect_improving_shift(m, st, v.certificate);
          }
        });
        if (rate != 0.0) {
          EXPECT_LT(optima, count);
        }
      }
    }
  }
}

// ------------------------------------------------------------- infeasibility

TEST(CheckFeasibility, NamesTheWorstArcAndSkipsTheCertificate) {
  testutil::ScratchDir dir;
  write_worked_example();
  Solved s = solve(1, 30, 0.0, 10, set_example_flows);
  // 3 two units early breaks 2 -> 3 (lag 3) by 2; 4 past the deadline
  // breaks the closing arc by 1.
  gprcheck::Verdict v = gprcheck::check(s.m, {0, 0, 1, 16});
  EXPECT_FALSE(v.feasibility.ok);
  EXPECT_EQ(v.feasibility.violated, 2);
  EXPECT_EQ(v.feasibility.worst.from, 1);
  EXPECT_EQ(v.feasibility.worst.to, 2);
  EXPECT_EQ(v.feasibility.shortfall, 2);
  EXPECT_EQ(v.certificate.status, Status::not_checked);
  EXPECT_FALSE(v.passed());
  // At interest 0 any feasible schedule is as good as the solver's.
  EXPECT_TRUE(gprcheck::check(s.m, {0, 4, 9, 15}).passed());
}

// -------------------------------------------------------- generated networks

netgen::Options series(std::uint64_t seed, int amin, int amax, bool awkward = false) {
  netgen::Options o;
  o.seed = seed;
  o.min_activities = amin;
  o.max_activities = amax;
  o.awkward = awkward;
  return o;
}

// Long projects: more relations, longer durations and lags.
netgen::Options long_series(std::uint64_t seed) {
  netgen::Options o = series(seed, 998, 998);
  o.min_arcs = 2;
  o.max_arcs = 5;
  o.maxlag_share = 0.5;
  o.max_duration = 20;
  o.max_lag = 10;
  return o;
}

void write_series(const netgen::Options& o, int first, int count) {
  for (int k = first; k < first + count; k++)
    testutil::write_file("D" + std::to_string(k) + ".gpr", netgen::generate_instance(o, k));
}

TEST(CheckGenerated, EveryResultFeasibleAndProved) {
  testutil::ScratchDir dir;
  write_series(series(101, 1, 60), 1, 60);
  write_series(series(102, 100, 400), 61, 10);
  write_series(series(103, 5, 150, true), 71, 15);
  write_series(series(104, 998, 998), 86, 2);
  write_series(series(105, 998, 998, true), 88, 1);
  write_series(long_series(109), 89, 1);
  for (int pctneg : {0, 30, 50, 51, 70, 100}) {
    for (int k = 1; k <= 89; k++) {
      Solved s = solve(k, pctneg, 0.01, 10);
      ASSERT_FALSE(s.st.empty()) << "instance " << k;
      gprcheck::Verdict v = gprcheck::check(s.m, s.st);
      EXPECT_TRUE(v.feasibility.ok) << "instance " << k << ", pctneg " << pctneg;
      EXPECT_EQ(v.certificate.status, Status::proved)
          << "instance " << k << ", pctneg " << pctneg << ", residual " << v.certificate.residual;
    }
  }
}

// A high rate on a long project discounts late cash flows below the
// search's cut tolerance; forward, such a set is never delayed. Every result
// the certificate rejects must show it: the last pass kept a subtree within
// the tolerance, and the shift it names is real.
TEST(CheckGenerated, HighRateGapsComeFromTheCutTolerance) {
  testutil::ScratchDir dir;
  write_series(long_series(106), 1, 2);
  int rejected = 0;
  for (int k = 1; k <= 2; k++) {
    for (int pctneg : {30, 50}) {
      Solved s = solve(k, pctneg, 0.05, 10);
      ASSERT_FALSE(s.st.empty());
      double nearcut = gprcheck::closest_kept_cut();
      gprcheck::Verdict v = gprcheck::check(s.m, s.st);
      ASSERT_TRUE(v.feasibility.ok);
      if (v.certificate.status == Status::proved) continue;
      rejected++;
      EXPECT_LT(nearcut, 0.0);
      EXPECT_GE(nearcut, -gpr::DCTOL);
      expect_improving_shift(s.m, s.st, v.certificate);
    }
  }
  EXPECT_GT(rejected, 0);
}

// A solved schedule with one activity moved a unit the costly way, where
// every arc at it keeps some slack: the certificate fails and names exactly
// that activity, to be moved back.
TEST(CheckGenerated, SpoiledActivityIsNamed) {
  testutil::ScratchDir dir;
  write_series(series(107, 20, 150), 1, 12);
  int spoiled = 0;
  for (int k = 1; k <= 12; k++) {
    int pctneg = k % 2 ? 30 : 70;
    Solved s = solve(k, pctneg, 0.01, 10);
    ASSERT_FALSE(s.st.empty());
    const Model& m = s.m;
    for (int a = m.nract - 2; a >= 1; a--) {
      int dir = m.cf[a] > 0 ? +1 : -1;  // the move that loses value
      Schedule st = s.st;
      st[a] += dir;
      bool loose = true;
      for (const gprcheck::Arc& x : m.arcs)
        if ((x.from == a) != (x.to == a) && st[x.to] - st[x.from] - x.lag < 1) loose = false;
      if (!loose) continue;
      SCOPED_TRACE(testing::Message() << "instance " << k << ", activity " << a);
      gprcheck::Certificate c = gprcheck::certify(m, st);
      ASSERT_EQ(c.status, Status::not_proved);
      EXPECT_EQ(c.shift, std::vector<int>{a});
      EXPECT_EQ(c.direction, -dir);
      expect_improving_shift(m, st, c);
      spoiled++;
      break;
    }
  }
  EXPECT_GE(spoiled, 10);
}

// ---------------------------------------------------------------- command line

TEST(CheckCommandLine, LinesSchedulesAndSummary) {
  testutil::ScratchDir dir;
  write_worked_example();
  write_series(series(108, 30, 40), 3, 1);
  std::string out, err;
  int rc = run_cli({"--first", "1", "--last", "3", "--pctneg", "30", "--deadext", "10",
                    "--interest", "0.01", "--schedules", "sched"},
                   out, err);
  EXPECT_EQ(rc, 0) << err;
  EXPECT_NE(out.find("\n        2  not found\n"), std::string::npos) << out;
  EXPECT_NE(out.find(" proved 2 of 2 solved instances (2 feasible), 1 not solved;"),
            std::string::npos)
      << out;

  // The schedule file: one row per activity in file numbering, finish =
  // start + duration, and discounted cash flows that add up to the value
  // on the instance's line.
  std::istringstream csv(testutil::read_file("sched/D3.csv"));
  std::string line;
  std::getline(csv, line);
  EXPECT_EQ(line, "activity,start,finish,cash_flow,discounted_cash_flow,version");
  int rows = 0;
  double sum = 0.0;
  while (std::getline(csv, line)) {
    int act, start, finish, flow;
    double w;
    ASSERT_EQ(std::sscanf(line.c_str(), "%d,%d,%d,%d,%lf", &act, &start, &finish, &flow, &w), 5);
    EXPECT_EQ(line.substr(line.rfind(',') + 1), gpr::version_text());
    EXPECT_EQ(act, ++rows);
    EXPECT_EQ(finish - start, gpr::dur[act - 1]);
    EXPECT_NEAR(w, flow * std::exp(-0.01 * finish), 1e-6);
    sum += w;
  }
  EXPECT_EQ(rows, gpr::nract);
  std::size_t row = out.find("\n        3  optimal");
  ASSERT_NE(row, std::string::npos) << out;
  double npv = 0.0;
  ASSERT_EQ(std::sscanf(out.c_str() + row, " 3 optimal %lf", &npv), 1);
  EXPECT_NEAR(npv, sum, 0.005 + 1e-4);
  EXPECT_FALSE(testutil::read_file("sched/D1.csv").empty());

  // Interest 0 is proved with its meaning spelled out.
  EXPECT_EQ(run_cli({"--first", "1", "--last", "1", "--pctneg", "70", "--deadext", "10",
                     "--interest", "0"},
                    out, err),
            0);
  EXPECT_NE(out.find("feasible     proved (r = 0)"), std::string::npos) << out;
  EXPECT_NE(out.find("every feasible schedule has the same value"), std::string::npos);
}

TEST(CheckCommandLine, UsageErrors) {
  std::string out, err;
  const std::vector<std::vector<std::string>> bad = {
      {"--first", "1", "--last", "2", "--pctneg", "30", "--deadext", "10"},  // no interest
      {"--first", "x", "--last", "2", "--pctneg", "30", "--deadext", "10", "--interest", "0.01"},
      {"--first", "1", "--last", "2", "--pctneg", "30", "--deadext", "10", "--interest", "nan"},
      {"--first", "1", "--last", "2", "--pctneg", "30", "--deadext", "10", "--interest"},
      {"--frist", "1"},
      {"--first", "1", "--last", "2", "--pctneg", "30", "--deadext", "10", "--interest", "0.01",
       "--tolerance", "-1e-9"},
      {"--first", "1", "--last", "2", "--pctneg", "30", "--deadext", "10", "--interest", "0.01",
       "--tolerance", "inf"},
      {"--first", "4294967296", "--last", "2", "--pctneg", "30", "--deadext", "10", "--interest",
       "0.01"},
  };
  for (const auto& args : bad) {
    EXPECT_EQ(run_cli(args, out, err), 2) << args[0];
    EXPECT_NE(err.find("gprnpv-check: "), std::string::npos);
    EXPECT_TRUE(out.empty());
  }
  // The missing option is named.
  EXPECT_EQ(run_cli({"--first", "1", "--last", "2", "--interest", "0.01", "--deadext", "1"}, out,
                    err),
            2);
  EXPECT_NE(err.find("--pctneg"), std::string::npos) << err;
  EXPECT_EQ(run_cli({"--version"}, out, err), 0);
  EXPECT_EQ(out, std::string("gprnpv-check ") + gpr::version_text() + "\n");
}

// --tolerance decides what counts as proved, and with it the exit status;
// "--opt=value" reads as "--opt value".
TEST(CheckCommandLine, ToleranceGatesTheExitStatus) {
  testutil::ScratchDir dir;
  netgen::Options o;
  o.seed = 12;
  o.min_activities = 100;
  o.max_activities = 400;
  o.min_arcs = 1;
  o.max_arcs = 4;
  ASSERT_EQ(netgen::write_instances(o, 25, 1, "."), "");
  std::string out, err;
  std::vector<std::string> args = {"--first=25", "--last=25", "--pctneg=30", "--deadext=10",
                                   "--interest=0.05"};
  ASSERT_EQ(run_cli(args, out, err), 1) << out << err;  // stops within its cut tolerance
  std::size_t at = out.find(" of the supply)");
  ASSERT_NE(at, std::string::npos) << out;
  double relative = std::atof(out.c_str() + out.rfind('(', at) + 1);
  ASSERT_GT(relative, 0.0);
  auto tolerance = [](double t) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "--tolerance=%.17g", t);
    return std::string(buf);
  };
  args.push_back(tolerance(relative * 0.5));
  EXPECT_EQ(run_cli(args, out, err), 1) << out;
  args.back() = tolerance(relative * 2);
  EXPECT_EQ(run_cli(args, out, err), 0) << out;
  EXPECT_NE(out.find("feasible     proved\n"), std::string::npos) << out;
}

}  // namespace

namespace {

// The closing arc is the deadline itself, however far beyond 999,999 it
// lies: long chains and long generated networks are feasible both ways.
TEST(CheckCommandLine, DeadlinesBeyondTheNoRelationMarker) {
  testutil::ScratchDir dir;
  // Ten activities of 100000 (critical path 1,000,000) and of 99999
  // (999,990): deadlines from 999,998 to 100,000,000.
  for (int d : {100000, 99999}) {
    std::string chain = "12 0\n0 1  2 1 3 0\n";
    for (int a = 2; a <= 11; a++)
      chain += std::to_string(d) + " 1  " + std::to_string(a + 1) + " 1 3 0\n";
    testutil::write_file("D" + std::to_string(d) + ".gpr", chain + "0 0\n");
  }
  struct Case {
    const char* number;
    const char* deadext;
  };
  const Case cases[] = {{"99999", "8"},   {"99999", "9"},  {"99999", "11"},
                        {"100000", "10"}, {"100000", "99000000"}};
  std::string out, err;
  for (int pctneg : {30, 70})
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << pctneg << " % negative, D" << c.number << ", deadext "
                                      << c.deadext);
      run_cli({"--first", c.number, "--last", c.number, "--pctneg", std::to_string(pctneg),
               "--deadext", c.deadext, "--interest", "0.0001"},
              out, err);
      EXPECT_NE(out.find("(1 feasible)"), std::string::npos) << out;
    }

  netgen::Options o;
  o.seed = 11;
  o.min_activities = o.max_activities = 100;
  o.min_duration = 1;
  o.max_duration = 100000;
  o.min_lag = 0;
  o.max_lag = 100000;
  ASSERT_EQ(netgen::write_instances(o, 1, 50, "."), "");
  for (int pctneg : {30, 70}) {
    run_cli({"--first", "1", "--last", "50", "--pctneg", std::to_string(pctneg), "--deadext",
             "10", "--interest", "0.0001"},
            out, err);
    EXPECT_NE(out.find(" of 50 solved instances (50 feasible), 0 not solved"), std::string::npos)
        << out;
  }
}

// Relations listed into the dummy start or out of the dummy end are not
// enforced by the search: the check keeps them, and names them.
TEST(CheckCommandLine, RelationsTheSearchLeavesOutAreNamed) {
  testutil::ScratchDir dir;
  // 2 lists the dummy start (2 starts at most 2 after it), the dummy end
  // lists 2 (2 starts at most 15 before it).
  testutil::write_file("D1.gpr",
                       "4 0\n0 2  2 1 3 0  3 1 3 0\n3 2  4 1 3 0  1 1 1 -2\n10 1  4 1 3 0\n"
                       "0 1  2 1 1 -15\n");
  std::string out, err;
  EXPECT_EQ(run_cli({"--first=1", "--last=1", "--pctneg=60", "--deadext=10", "--interest=0.01"},
                    out, err),
            1);
  EXPECT_NE(out.find("infeasible (1 arc; 2->1 short by 10: a relation into the dummy start, "
                     "which the search leaves out)"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("note: relations the search leaves out by design (into the dummy start, "
                     "out of the dummy end): 2->1, 4->2;"),
            std::string::npos)
      << out;

  // A listed bound from the dummy end to the dummy start: left out when it
  // is tighter than the deadline, implied by the closing arc otherwise.
  testutil::quiet_run(30, 10, 0.01);
  testutil::write_file("D2.gpr", "3 0\n0 1  2 1 3 0\n5 1  3 1 3 0\n0 1  1 1 1 -12\n");
  ASSERT_EQ(testutil::read(2), 1);
  EXPECT_EQ(gprcheck::dropped_text(gprcheck::capture_model()), "3->1");
  testutil::quiet_run(30, 5, 0.01);
  ASSERT_EQ(testutil::read(2), 1);
  gprcheck::Model m = gprcheck::capture_model();
  EXPECT_EQ(gprcheck::dropped_text(m), "");
  EXPECT_EQ(m.arcs.back().lag, -10);  // the closing arc: -deadline
}

// The row of an invalid file carries the reader's reason, as gprnpv's
// line on standard error does.
TEST(CheckCommandLine, InvalidFileRowsCarryTheReason) {
  EXPECT_EQ(gprcheck::failure_text(gpr::fail_invalid, "activity 2, entry 1: successor 9 outside 1..3"),
            "invalid file: activity 2, entry 1: successor 9 outside 1..3");
  EXPECT_EQ(gprcheck::failure_text(gpr::fail_invalid, ""), "invalid file");
  EXPECT_EQ(gprcheck::failure_text(gpr::fail_notree, "ignored"), "no spanning tree");
  testutil::ScratchDir dir;
  testutil::write_file("D1.gpr", "3 0\n0 1  2 1 3 0\n5 1  9 1 3 0\n0 0\n");
  std::string out, err;
  EXPECT_EQ(run_cli({"--first=1", "--last=1", "--pctneg=30", "--deadext=10", "--interest=0.01"},
                    out, err),
            0);
  std::string why = gpr::failwhy;  // what the read left there
  EXPECT_NE(out.find("\n        1  invalid file" + (why.empty() ? "" : ": " + why) + "\n"),
            std::string::npos)
      << out;
}

}  // namespace
