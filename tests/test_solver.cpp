// test_solver.cpp: whole solves: the direction, the number of passes, the
// final schedule and its net present value, the rows of instances the
// search cannot solve, and random networks solved in both directions, each
// checked step by step and against the other direction.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "netgen.h"
#include "search_util.h"

namespace {

using searchutil::Net;
using testutil::Instance;
using testutil::ScratchDir;

const double e = std::exp(1.0);

struct SolveCase {
  std::string name;
  Net net;
  int deadline;
  int pctneg;
  double interest;
  int nriter;
  std::vector<int> st;
  double npv;
};

// 1 (worth -10) must end at 2 (worth +5), which starts at 4 at the
// earliest; both are best at the deadline 10. Forward it takes three
// displacements: 1 to 4, then {1, 3} by 0, then {1, 2, 3} to 10.
Net three_moves() {
  Net g(4);
  g.cf = {0, -10, 5, 0};
  g.arc(0, 1, 0).arc(0, 2, 4).arc(1, 2, 0).arc(1, 3, 0).arc(2, 3, 0);
  return g;
}

Net chain3(int cf1) {
  Net g(3);
  g.cf = {0, cf1, 0};
  g.arc(0, 1, 0).arc(1, 2, 0);
  return g;
}

std::vector<SolveCase> solve_cases() {
  Net worked = searchutil::worked_example();
  double worked_npv = 100 * std::pow(e, -0.03) - 50 * std::pow(e, -0.15);
  Net idle = worked;  // nothing to gain: each direction keeps its start
  idle.cf = {0, 0, 0, 0};
  Net pos = worked, neg = worked;
  pos.cf = {0, 100, 50, 0};
  neg.cf = {0, -100, -50, 0};
  return {
      {"worked example forward", worked, 15, 50, 0.01, 2, {0, 0, 13, 15}, worked_npv},
      {"worked example backward", worked, 15, 51, 0.01, 2, {0, 0, 13, 15}, worked_npv},
      // the deadline equals the earliest end: the closing arc is tight
      {"no slack forward", worked, 5, 50, 0.01, 2, {0, 0, 3, 5}, 100 * std::pow(e, -0.03) - 50 * std::pow(e, -0.05)},
      {"no slack backward", worked, 5, 51, 0.01, 2, {0, 0, 3, 5}, 100 * std::pow(e, -0.03) - 50 * std::pow(e, -0.05)},
      {"pctneg 50 runs forward", idle, 15, 50, 0.01, 1, {0, 0, 3, 5}, 0.0},
      {"pctneg 51 runs backward", idle, 15, 51, 0.01, 1, {10, 10, 13, 15}, 0.0},
      {"negative pctneg runs forward", idle, 15, -1, 0.01, 1, {0, 0, 3, 5}, 0.0},
      {"no cut forward", pos, 15, 0, 0.01, 1, {0, 0, 3, 5}, 100 * std::pow(e, -0.03) + 50 * std::pow(e, -0.05)},
      {"no cut backward", neg, 15, 100, 0.01, 1, {10, 10, 13, 15},
       -100 * std::pow(e, -0.13) - 50 * std::pow(e, -0.15)},
      {"three displacements forward", three_moves(), 10, 0, 0.01, 4, {0, 10, 10, 10}, -5 * std::pow(e, -0.1)},
      {"one displacement backward", three_moves(), 10, 100, 0.01, 2, {6, 10, 10, 10}, -5 * std::pow(e, -0.1)},
      {"slack 20000 forward", chain3(-10), 20000, 0, 0.0001, 2, {0, 20000, 20000}, -10 * std::pow(e, -2.0)},
      {"slack 20000 backward", chain3(10), 20000, 100, 0.0001, 2, {0, 0, 20000}, 10.0},
      {"deadline 999999 forward", chain3(-10), 999999, 0, 0.0, 2, {0, 999999, 999999}, -10.0},
      {"deadline 999999 backward", chain3(10), 999999, 100, 0.0, 2, {0, 0, 999999}, 10.0},
  };
}

TEST(Solver, Cases) {
  for (const SolveCase& c : solve_cases()) {
    SCOPED_TRACE(c.name);
    searchutil::quiet(c.pctneg, c.interest);
    c.net.load(c.deadline);
    ASSERT_EQ(searchutil::solve_checked(), gpr::fail_none);
    EXPECT_EQ(gpr::nriter, c.nriter);
    EXPECT_EQ(searchutil::starts(), c.st);
    EXPECT_NEAR(gpr::npv, c.npv, 1e-9);
    // the same path, checked after every pass and displacement
    c.net.load(c.deadline);
    EXPECT_EQ(searchutil::stepped_solve(c.pctneg > 50), c.nriter);
    EXPECT_EQ(searchutil::starts(), c.st);
  }
}

// The worked example through the real steps, pass by pass: initial tree,
// first pass, the one move, second pass.
TEST(Solver, WorkedExamplePassByPass) {
  using searchutil::members;
  using Set = searchutil::Set;
  using Arcs = std::vector<std::pair<int, int>>;
  struct Step {
    bool backward;
    std::vector<int> st0;
    Arcs tree0, tree1, tree2;
    double value1;
    Set cut;
    int dispfrom, dispto;
    double value2;
  };
  const Step steps[] = {
      {false, {0, 0, 3, 5}, {{0, 1}, {1, 2}, {2, 3}}, {{0, 1}, {2, 3}}, {{0, 1}, {2, 3}, {3, 0}},
       100 * std::pow(e, -0.03), {2, 3}, 3, 0, 100 * std::pow(e, -0.03) - 50 * std::pow(e, -0.15)},
      {true, {10, 10, 13, 15}, {{1, 0}, {2, 1}, {3, 2}}, {{1, 0}, {3, 2}}, {{0, 3}, {1, 0}, {3, 2}}, -50.0, {0, 1}, 0,
       3, 100 * std::pow(e, 0.12) - 50},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.backward ? "backward" : "forward");
    searchutil::quiet(s.backward ? 51 : 50, 0.01);
    searchutil::worked_example().load_ext(10);
    ASSERT_EQ(gpr::deadline, 15);
    gpr::reset_solve();
    s.backward ? gpr::build_late_tree() : gpr::build_early_tree();
    EXPECT_EQ(searchutil::starts(), s.st0);
    EXPECT_EQ(searchutil::tree_arcs(), s.tree0);

    double v = searchutil::pass(s.backward);
    EXPECT_NEAR(v, s.value1, 1e-9);
    EXPECT_EQ(gpr::nrcut, 1);
    EXPECT_EQ(members(gpr::cutset[0]), s.cut);
    EXPECT_EQ(members(gpr::shiftset), s.cut);
    EXPECT_EQ(searchutil::tree_arcs(), s.tree1);
    Set kept;
    for (int i = 0; i < 4; i++)
      if (i != s.cut[0] && i != s.cut[1]) kept.push_back(i);
    EXPECT_EQ(members(gpr::subset[1]), kept);
    searchutil::expect_pass_state(s.backward, v);

    s.backward ? gpr::shift_backward() : gpr::shift_forward();
    EXPECT_EQ(gpr::mindisp, 10);
    EXPECT_EQ(gpr::dispfrom, s.dispfrom);
    EXPECT_EQ(gpr::dispto, s.dispto);
    EXPECT_EQ(searchutil::starts(), (std::vector<int>{0, 0, 13, 15}));
    EXPECT_TRUE(members(gpr::shiftset).empty());
    EXPECT_EQ(searchutil::tree_arcs(), s.tree2);

    v = searchutil::pass(s.backward);
    EXPECT_NEAR(v, s.value2, 1e-9);
    EXPECT_EQ(gpr::nrcut, 0);
    EXPECT_EQ(members(gpr::subset[1]), (Set{0, 1, 2, 3}));
    searchutil::expect_pass_state(s.backward, v);
  }
}

// With interest 0 the value is the plain sum of the cash flows of activities
// 1 .. nract-1; the dummy start's (set here against the rule) is left out.
TEST(Solver, ZeroInterestSumsTheCashFlows) {
  for (int pctneg : {0, 100}) {
    Net g = three_moves();
    g.cf = {1000, -10, 5, 7};
    searchutil::quiet(pctneg, 0.0);
    g.load(10);
    ASSERT_EQ(searchutil::solve_checked(), gpr::fail_none);
    EXPECT_EQ(gpr::npv, 2.0);
  }
}

// A chain of 1000 activities: recursion 1000 calls deep in every pass.
TEST(Solver, ThousandActivityChain) {
  const int n = gpr::maxact;
  Net g(n);
  for (int i = 0; i + 1 < n; i++) g.arc(i, i + 1, i % 3);
  for (int i = 1; i < n - 1; i++) g.cf[i] = (i % 7 == 0 ? -40 : 0) + (i % 5 == 0 ? 30 : 0) + 1;
  double npv[2];
  for (int backward : {0, 1}) {
    searchutil::quiet(backward ? 100 : 0, 0.001);
    g.load_ext(50);
    ASSERT_EQ(searchutil::solve_checked(), gpr::fail_none);
    npv[backward] = gpr::npv;
  }
  EXPECT_NEAR(npv[0], npv[1], 1e-6 * std::fabs(npv[0]));
}

// The solve time is the thread's CPU time in nanoseconds: a solve of some
// hundred microseconds shows a positive time that is not a whole number of
// milliseconds (a millisecond clock gives 0 or multiples of 0.001), and
// the row keeps its "%11.4f" field.
TEST(Solver, SolveTimeIsThreadCpuTime) {
  const int n = gpr::maxact;
  Net g(n);
  for (int i = 0; i + 1 < n; i++) g.arc(i, i + 1, i % 3);
  for (int i = 1; i < n - 1; i++) g.cf[i] = (i % 7 == 0 ? -40 : 0) + (i % 5 == 0 ? 30 : 0) + 1;
  bool fractional = false;
  for (int run = 0; run < 5; run++) {
    searchutil::quiet(0, 0.001);
    g.load_ext(50);
    char* buf = nullptr;
    std::size_t len = 0;
    gpr::outfile = open_memstream(&buf, &len);
    gpr::starttick = gpr::thread_cpu_ns();
    gpr::solve_instance();
    std::fclose(gpr::outfile);
    gpr::outfile = nullptr;
    std::string row(buf, len);
    std::free(buf);
    ASSERT_EQ(gpr::failcode, gpr::fail_none);
    EXPECT_GT(gpr::cputime, 0.0f);
    double ms = static_cast<double>(gpr::cputime) * 1000.0;
    if (std::fabs(ms - std::round(ms)) > 1e-3) fractional = true;
    // "\n%5d %5d %8.2lf %11.4f": the time field is the last 11 characters.
    ASSERT_GE(row.size(), 11u);
    char expected[32];
    std::snprintf(expected, sizeof expected, "%11.4f", static_cast<double>(gpr::cputime));
    EXPECT_EQ(row.substr(row.size() - 11), expected);
  }
  EXPECT_TRUE(fractional) << "every solve took a whole number of milliseconds";
}

// ------------------------------------------------------- failure rows

struct FailCase {
  std::string name;
  Instance inst;
  int pctneg, deadext;
  std::vector<int> cf;  // set after the read when not empty
  int code;
  std::string console, out;
};

// The row of one instance that reads fine but cannot be solved: exact texts
// on the console and in "output.txt", and statistics untouched.
void expect_failure_row(const FailCase& c) {
  SCOPED_TRACE(c.name);
  ScratchDir dir;
  c.inst.write(1);
  testutil::quiet_run(c.pctneg, c.deadext, 0.01);
  ASSERT_EQ(testutil::read(1), 1);
  for (size_t i = 0; i < c.cf.size(); i++) gpr::cf[i] = c.cf[i];
  searchutil::Row r = searchutil::solve_logged();
  EXPECT_EQ(r.failcode, c.code);
  EXPECT_EQ(r.console, c.console);
  EXPECT_EQ(r.out, c.out);
  EXPECT_EQ(r.nrsolved_after, r.nrsolved_before);
  EXPECT_EQ(r.sumtime_after, r.sumtime_before);
  EXPECT_EQ(r.sumsq_after, r.sumsq_before);
}

TEST(Solver, FailureRows) {
  const std::string tree_con = "\t\t\t\t\t no spanning tree", tree_out = "\n    1    no spanning tree";
  const std::string tight_con = "\t\t\t\t\t deadline too tight", tight_out = "\n    1    deadline too tight";
  const std::string cycle_con = "\t\t\t\t\t positive cycle", cycle_out = "\n    1    positive cycle in time lags";
  const std::string disp_con = "\t\t\t\t\t no displacement arc", disp_out = "\n    1    no displacement arc";
  std::vector<FailCase> cases;
  auto add = [&](std::string name, Instance in, int pctneg, std::vector<int> cf, int code, std::string con,
                 std::string out) { cases.push_back({name, in, pctneg, 0, cf, code, con, out}); };

  {  // 3 has no predecessor: the forward tree cannot reach it
    Instance in;
    int s = in.add(0), a = in.add(3), b = in.add(2), t = in.add(0);
    in.fs(s, a);
    in.fs(a, t);
    in.fs(b, t);
    add("unreachable forward", in, 50, {}, gpr::fail_notree, tree_con, tree_out);
  }
  {  // 3 has no successor: the backward tree cannot reach it
    Instance in;
    int s = in.add(0), a = in.add(3), b = in.add(2), t = in.add(0);
    in.fs(s, a);
    in.fs(s, b);
    in.fs(a, t);
    add("unreachable backward", in, 51, {}, gpr::fail_notree, tree_con, tree_out);
  }
  // 2 (duration 5) reaches the end by start-start 0 (or 4): the deadline is
  // 0 (or 4), the earliest end over the normalised cells 5
  for (int pctneg : {50, 51})
    for (int ss : {0, 4}) {
      Instance in;
      int s = in.add(0), a = in.add(5), t = in.add(0);
      in.fs(s, a);
      in.rel(a, t, 1, 1, ss);
      add("deadline too tight by " + std::to_string(5 - ss) + ", pctneg " + std::to_string(pctneg), in, pctneg, {},
          gpr::fail_tight, tight_con, tight_out);
    }
  {  // both faults: the missing tree wins
    Instance in;
    int s = in.add(0), a = in.add(5), b = in.add(1), t = in.add(0);
    in.fs(s, a);
    in.rel(a, t, 1, 1, 0);
    in.fs(b, t);
    add("tree before deadline forward", in, 50, {}, gpr::fail_notree, tree_con, tree_out);
  }
  {
    Instance in;
    int s = in.add(0), a = in.add(5), b = in.add(1), t = in.add(0);
    in.fs(s, a);
    in.fs(s, b);
    in.rel(a, t, 1, 1, 0);
    add("tree before deadline backward", in, 51, {}, gpr::fail_notree, tree_con, tree_out);
  }
  // 2 -> end start-start 0 and end -> 2 start-start -3: a cycle of -3 as
  // read, +2 once the cell into the end is raised to the duration 5
  for (int pctneg : {50, 51}) {
    Instance in;
    int s = in.add(0), a = in.add(5), t = in.add(0);
    in.fs(s, a);
    in.rel(a, t, 1, 1, 0);
    in.rel(t, a, 1, 1, -3);
    add("cycle after normalisation " + std::to_string(pctneg), in, pctneg, {}, gpr::fail_cycle, cycle_con,
        cycle_out);
  }
  {  // 2 is cut (worth -10) and has no successor to stop its delay
    Instance in;
    int s = in.add(0), a = in.add(2), b = in.add(3), t = in.add(0);
    in.fs(s, a);
    in.fs(s, b);
    in.fs(b, t);
    add("no displacement arc forward", in, 50, {0, -10, 10, 0}, gpr::fail_nodisp, disp_con, disp_out);
  }
  {  // 2 is cut (worth +10) and has no predecessor to stop its advance
    Instance in;
    int s = in.add(0), a = in.add(2), b = in.add(3), t = in.add(0);
    in.fs(s, b);
    in.fs(a, t);
    in.fs(b, t);
    add("no displacement arc backward", in, 51, {0, 10, -10, 0}, gpr::fail_nodisp, disp_con, disp_out);
  }
  for (const FailCase& c : cases) expect_failure_row(c);
}

// ------------------------------------------------------ random networks

// Solves each network of a generated series in both directions, whatever
// share of negative cash flows it was drawn with: step by step with every
// state checked, and by solve_instance, which must take the same path. The
// problem is a linear program in exp(-r S), so both directions reach the
// same optimum. Returns the number of solves that displaced something.
int solve_series(std::uint64_t seed, int min_real, int max_real, int count, bool awkward) {
  int moved = 0;
  ScratchDir dir;
  netgen::Options o;
  o.seed = seed;
  o.min_activities = min_real;
  o.max_activities = max_real;
  o.awkward = awkward;
  o.min_lag = awkward ? -3 : 0;
  o.maxlag_share = 0.3;
  EXPECT_EQ(netgen::check_options(o), "");
  const int pctnegs[] = {0, 30, 50, 51, 70, 100};
  const double rates[] = {0.01, 0.002, 0.05};
  for (int k = 1; k <= count; k++) {
    testutil::write_file("D" + std::to_string(k) + ".gpr", netgen::generate_instance(o, k));
    int pctneg = pctnegs[k % 6];
    SCOPED_TRACE(::testing::Message() << "seed " << seed << " instance " << k << " pctneg " << pctneg);
    double npv[2] = {0, 0};
    for (int backward : {0, 1}) {
      // the cash flows are drawn with the series' share; the solve then
      // takes the direction asked for
      auto reread = [&] {
        testutil::quiet_run(pctneg, (k * 7) % 20, rates[k % 3]);
        if (testutil::read(k) != 1) return false;
        gpr::pctneg = backward ? 100 : 0;
        return true;
      };
      if (!reread()) {
        ADD_FAILURE() << "instance not read";
        return moved;
      }
      int passes = searchutil::stepped_solve(backward);
      if (passes <= 0) {
        ADD_FAILURE() << "search failed";
        return moved;
      }
      std::vector<int> st = searchutil::starts();

      EXPECT_TRUE(reread());
      EXPECT_EQ(searchutil::solve_checked(), gpr::fail_none);
      EXPECT_EQ(gpr::nriter, passes);
      moved += passes > 1;
      EXPECT_EQ(searchutil::starts(), st);
      npv[backward] = gpr::npv;
    }
    EXPECT_NEAR(npv[0], npv[1], 1e-6 * std::max(1.0, std::fabs(npv[0])));
    if (::testing::Test::HasFailure()) return moved;
  }
  return moved;
}

// Sizes 5 to 1000 activities; at least a third of the solves must move
// something, or the series would not exercise the search.
TEST(RandomNetworks, Small) {
  EXPECT_GT(solve_series(11, 3, 40, 120, false), 80);
  EXPECT_GT(solve_series(12, 3, 40, 120, true), 80);
}

TEST(RandomNetworks, Medium) {
  EXPECT_GT(solve_series(21, 50, 300, 30, false), 20);
  EXPECT_GT(solve_series(22, 50, 300, 30, true), 20);
}

TEST(RandomNetworks, Large) {
  EXPECT_GT(solve_series(31, 900, 997, 6, true), 4);
  EXPECT_GT(solve_series(32, 998, 998, 2, false), 1);
}

}  // namespace
