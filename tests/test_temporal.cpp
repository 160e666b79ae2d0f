// test_temporal.cpp: earliest starts, the deadline, the normalisation of the
// dummy arcs, and the refusal of positive cycles and out-of-range deadlines.
#include <gtest/gtest.h>

#include <climits>
#include <initializer_list>
#include <cstdlib>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "testutil.h"

namespace {

using testutil::Instance;
using testutil::ScratchDir;
using testutil::read_file;
using testutil::Outcome;

// Reads instance 1 with the console captured and both files on disk.
Outcome read_logged() { return testutil::read_logged(1); }

constexpr int NOLAG = gpr::NOLAG;

// An instance with these durations and no relations yet.
Instance net(std::initializer_list<int> durs) {
  Instance in;
  for (int d : durs) in.add(d);
  return in;
}

// ---- direct set-up of a network, for the comparison with Bellman-Ford

struct Arc {
  int from, to, lag;
};

// Puts the arcs into the lists and the lag matrix (keep-the-larger on cells
// shared by repeated pairs).
void load(int n, const std::vector<Arc>& arcs) {
  gpr::nract = n;
  for (int i = 0; i <= n; i++) {
    gpr::nrsuc[i] = gpr::nrpred[i] = 0;
    for (int j = 0; j <= n; j++) gpr::lag[i][j] = i == j ? 0 : NOLAG;
  }
  for (const Arc& a : arcs) {
    gpr::suc[a.from][gpr::nrsuc[a.from]++] = a.to;
    if (a.lag > gpr::lag[a.from][a.to]) gpr::lag[a.from][a.to] = a.lag;
  }
}

// Longest paths by plain rounds of relaxation over every listed arc, from 0
// for the dummy start and -999 for the rest; empty on a positive cycle.
std::vector<long long> bellman_ford(int n, const std::vector<Arc>& arcs) {
  std::vector<long long> d(n, -999);
  d[0] = 0;
  for (int round = 0; round <= n; round++) {
    bool changed = false;
    for (const Arc& a : arcs) {
      long long c = gpr::lag[a.from][a.to];
      if (c == NOLAG) continue;
      if (d[a.from] + c > d[a.to]) {
        d[a.to] = d[a.from] + c;
        changed = true;
      }
    }
    if (!changed) return d;
  }
  return {};
}

void expect_earliest_starts(int n, const std::vector<Arc>& arcs) {
  load(n, arcs);
  std::vector<long long> expected = bellman_ford(n, arcs);
  ASSERT_FALSE(expected.empty());
  gpr::st[n] = 4711;
  gpr::failcode = gpr::fail_none;
  gpr::compute_earliest_starts();
  EXPECT_EQ(gpr::failcode, gpr::fail_none);
  for (int i = 0; i < n; i++) ASSERT_EQ(gpr::st[i], expected[i]) << i;
  EXPECT_EQ(gpr::st[n], -999);
}

// Random arcs that a hidden schedule t satisfies, so every cycle has a total
// of at most 0; some listed arcs carry no relation.
std::vector<Arc> feasible_arcs(int n, int perpair_percent, unsigned seed) {
  std::mt19937 gen(seed);
  std::vector<int> t(n);
  for (int i = 1; i < n; i++) t[i] = static_cast<int>(gen() % 2000);
  std::vector<Arc> arcs;
  for (int i = 0; i < n; i++)
    for (int j = 0; j < n; j++) {
      if (i == j || static_cast<int>(gen() % 100) >= perpair_percent) continue;
      int slack = static_cast<int>(gen() % 4) == 0 ? 0 : static_cast<int>(gen() % 300);
      arcs.push_back({i, j, gen() % 50 == 0 ? NOLAG : t[j] - t[i] - slack});
    }
  return arcs;
}

}  // namespace

// ------------------------------------------------------- small networks

TEST(Temporal, ChainGivesEarliestStartsAndDeadline) {
  ScratchDir dir;
  Instance in = net({0, 4, 0});
  in.fs(1, 2);
  in.fs(2, 3);
  in.write(1);
  testutil::quiet_run(50, 10, 0.01);
  gpr::st[3] = 4711;
  ASSERT_EQ(testutil::read(1), 1);
  EXPECT_EQ(gpr::st[0], 0);
  EXPECT_EQ(gpr::st[1], 0);
  EXPECT_EQ(gpr::st[2], 4);
  EXPECT_EQ(gpr::st[3], -999);
  EXPECT_EQ(gpr::deadline, 14);
  EXPECT_EQ(gpr::lag[0][2], 0);
  EXPECT_EQ(gpr::lag[0][1], 0);
  EXPECT_EQ(gpr::lag[1][2], 4);
}

TEST(Temporal, DeadlineUsesTheLagsAsRead) {
  ScratchDir dir;
  testutil::quiet_run(50, 10, 0.01);

  // Duration 5, into the end only by start-start 0: counts with 0.
  Instance ss = net({0, 5, 0});
  ss.fs(1, 2);
  ss.rel(2, 3, 1, 1, 0);
  ss.write(1);
  ASSERT_EQ(testutil::read(1), 1);
  EXPECT_EQ(gpr::st[2], 0);
  EXPECT_EQ(gpr::deadline, 10);
  EXPECT_EQ(gpr::lag[1][2], 5);
  EXPECT_EQ(testutil::packed_difference(), "");  // the raised cells packed too

  // Start-start -3 from the dummy start is the only arc into 2 (dur 2).
  Instance early = net({0, 2, 0});
  early.rel(1, 2, 1, 1, -3);
  early.fs(2, 3);
  early.write(1);
  ASSERT_EQ(testutil::read(1), 1);
  EXPECT_EQ(gpr::st[1], -3);
  EXPECT_EQ(gpr::st[2], -1);
  EXPECT_EQ(gpr::deadline, 9);
  EXPECT_EQ(gpr::lag[0][1], 0);
  EXPECT_EQ(gpr::lag[0][2], 0);  // raised from NOLAG, dur[0] = 0
  EXPECT_EQ(testutil::packed_difference(), "");

  // A dummy start of duration 3 must finish before the dummy end too.
  Instance start = net({3, 1, 0});
  start.fs(1, 2);
  start.fs(2, 3);
  start.write(1);
  ASSERT_EQ(testutil::read(1), 1);
  EXPECT_EQ(gpr::deadline, 14);
  EXPECT_EQ(gpr::lag[0][2], 3);
}

TEST(Temporal, UnreachedActivitiesCountFromTheFloor) {
  ScratchDir dir;
  // 2 has no predecessor; 3 is reached only from 2.
  Instance in = net({0, 3, 2, 0});
  in.fs(1, 4);
  in.fs(2, 3);
  in.fs(3, 4);
  in.write(1);
  testutil::quiet_run(50, 10, 0.01);
  ASSERT_EQ(testutil::read(1), 1);
  EXPECT_EQ(gpr::st[1], -999);
  EXPECT_EQ(gpr::st[2], -996);
  EXPECT_EQ(gpr::st[3], 0);
  EXPECT_EQ(gpr::deadline, 10);
}

TEST(Temporal, MaximalLagListedOneWayDoesNotBind) {
  ScratchDir dir;
  Instance in = net({0, 0, 0, 0});
  in.fs(1, 2);
  in.rel(2, 3, 2, 1, 2);  // st[3] - st[2] <= 2, listed only 2 -> 3
  in.fs(1, 3, 10);
  in.fs(3, 4);
  in.fs(2, 4);
  in.write(1);
  testutil::quiet_run(50, 0, 0.01);
  ASSERT_EQ(testutil::read(1), 1);
  EXPECT_EQ(gpr::lag[2][1], -2);
  EXPECT_EQ(gpr::st[1], 0);
  EXPECT_EQ(gpr::st[2], 10);
  EXPECT_EQ(gpr::deadline, 10);

  // Listed the other way as well, it pulls 2 up to 8.
  in.rel(3, 2, 1, 1, -1000);  // lists 3 -> 2; the weaker bound leaves -2
  in.write(1);
  ASSERT_EQ(testutil::read(1), 1);
  EXPECT_EQ(gpr::st[1], 8);
}

TEST(Temporal, TwoActivitiesOnlyGiveTheDeadlineExtension) {
  ScratchDir dir;
  Instance in = net({0, 0});
  in.fs(1, 2);
  in.write(1);
  testutil::quiet_run(50, 37, 0.01);
  ASSERT_EQ(testutil::read(1), 1);
  EXPECT_EQ(gpr::st[0], 0);
  EXPECT_EQ(gpr::st[1], 0);
  EXPECT_EQ(gpr::deadline, 37);
}

TEST(Temporal, SelfLoopsWithoutPositiveLagAreHarmless) {
  ScratchDir dir;
  Instance in = net({0, 3, 0});
  in.fs(1, 2);
  in.rel(2, 2, 1, 1, 0);
  in.rel(2, 2, 1, 1, -3);
  in.rel(2, 2, 2, 1, 0);
  in.fs(2, 3);
  in.write(1);
  testutil::quiet_run(50, 10, 0.01);
  ASSERT_EQ(testutil::read(1), 1);
  EXPECT_EQ(gpr::lag[1][1], 0);
  EXPECT_EQ(gpr::deadline, 13);
}

// ------------------------------------------------------ refused networks

TEST(Temporal, PositiveCyclesAreRefusedAfterTheCashFlowsAreLogged) {
  // Activities 2 (dur 4) and 3 (dur 1) between the dummies; the relations
  // of each case, in file numbering.
  struct Case {
    const char* what;
    std::vector<testutil::Entry> from2, from3;
    bool chained;  // 1 -> 2 -> 3 -> 4 by finish-start 0 as well
  } cases[] = {
      // 2 -> 3 finish-start 0 (lag 4) against 3 -> 2 start-start -2: +2.
      {"two activities", {}, {{2, 1, 1, -2}}, true},
      {"self-loop", {}, {{3, 1, 1, 1}}, true},
      // Not reached from the dummy start: 5 - 4 = +1 around.
      {"unreached cycle", {{3, 1, 1, 5}}, {{2, 1, 1, -4}}, false},
      // The maximal start-start lag 1 of 2 -> 3 gives the cell -1 of 3 -> 2,
      // which counts once 3 lists 2 (with a weaker bound of its own).
      {"maximal lag", {{3, 2, 1, 1}}, {{2, 1, 1, -3}}, true},
  };
  ScratchDir dir;
  testutil::quiet_run(50, 10, 0.01);
  for (const Case& c : cases) {
    Instance in = net({0, 4, 1, 0});
    if (c.chained) {
      in.fs(1, 2);
      in.fs(2, 3);
      in.fs(3, 4);
    } else {
      in.fs(1, 4);
    }
    for (const testutil::Entry& e : c.from2) in.rel(2, e.succ, e.kind, e.type, e.lag);
    for (const testutil::Entry& e : c.from3) in.rel(3, e.succ, e.kind, e.type, e.lag);
    in.write(1);
    Outcome o = read_logged();
    EXPECT_EQ(o.rc, 0) << c.what;
    EXPECT_EQ(o.console, "\n       D1\t\t\t\t\t positive cycle") << c.what;
    EXPECT_EQ(o.out, "\n    1    positive cycle in time lags") << c.what;
    EXPECT_EQ(o.info, "(0/0) (1/-239) (2/356) (3/0) ") << c.what;
    EXPECT_EQ(gpr::probfile, nullptr) << c.what;
  }
}

TEST(Temporal, DeadlineRange) {
  // The dummy end starts at 100000 (one activity of that duration), or is
  // unreached (-999).
  struct Case {
    int enddur;
    bool reached;
    int deadext;
    bool accepted;
  } cases[] = {
      {100000, true, 99900000, true},    {100000, true, 99900001, false},
      {0, true, 100000000, true},        {0, true, 100000001, false},
      {0, true, -100000000, true},       {0, true, -100000001, false},
      {100000, true, INT_MAX, false},    {0, false, INT_MIN, false},
      {0, false, -99999001, true},       {0, false, -99999002, false},
  };
  ScratchDir dir;
  for (const Case& c : cases) {
    Instance in = net({0, c.enddur, 0});
    in.fs(1, 2);
    if (c.reached) in.fs(2, 3);
    in.write(1);
    testutil::quiet_run(50, c.deadext, 0.01);
    Outcome o = read_logged();
    long long end = c.reached ? c.enddur : -999;
    EXPECT_EQ(o.rc, c.accepted ? 1 : 0) << c.deadext;
    EXPECT_EQ(o.info, "(0/0) (1/-239) (2/0) ") << c.deadext;
    if (c.accepted) {
      EXPECT_EQ(gpr::deadline, end + c.deadext);
      EXPECT_EQ(o.out, "");
    } else {
      EXPECT_EQ(o.console, "\n       D1\t\t\t\t\t deadline out of range") << c.deadext;
      EXPECT_EQ(o.out, "\n    1    deadline out of range") << c.deadext;
    }
  }
}

// -------------------------------------------- larger networks, directly

TEST(EarliestStarts, LongChainsInBothListingOrders) {
  const int n = 1000;
  std::vector<Arc> up, down;
  for (int i = 0; i + 1 < n; i++) {
    int l = i % 7 - 2;
    up.push_back({i, i + 1, l});
    up.push_back({i + 1, i, -l - i % 3});  // a maximal lag, never tight beyond
  }
  // The same chain visited 0 -> 999 -> 998 -> ... -> 1.
  down.push_back({0, n - 1, 5});
  for (int i = n - 1; i > 1; i--) down.push_back({i, i - 1, i % 5});
  expect_earliest_starts(n, up);
  expect_earliest_starts(n, down);
}

TEST(EarliestStarts, DenseNetworksWithNonPositiveCycles) {
  expect_earliest_starts(200, feasible_arcs(200, 30, 1));
  expect_earliest_starts(60, feasible_arcs(60, 90, 2));
  expect_earliest_starts(1000, feasible_arcs(1000, 1, 3));
}

TEST(EarliestStarts, LongPositiveCycleIsFoundAndAZeroOneIsNot) {
  const int n = 1000;
  for (int total : {1, 0}) {
    std::vector<Arc> ring;
    for (int i = 0; i + 1 < n; i++) ring.push_back({i, i + 1, i % 2 == 0 ? 3 : -3});
    ring.push_back({n - 1, 1, total});  // ring 1 .. 999 sums to `total`
    load(n, ring);
    gpr::failcode = gpr::fail_none;
    gpr::compute_earliest_starts();
    if (total > 0) {
      EXPECT_EQ(gpr::failcode, gpr::fail_cycle);
    } else {
      EXPECT_EQ(gpr::failcode, gpr::fail_none);
      std::vector<long long> expected = bellman_ford(n, ring);
      ASSERT_FALSE(expected.empty());
      for (int i = 0; i < n; i++) ASSERT_EQ(gpr::st[i], expected[i]) << i;
    }
  }
}

// An arc listed without a relation moves nothing, however far apart the
// values of its ends: here a million or more, forward from a high tail and
// backward into an activity still at its start value.
TEST(Propagation, ArcsWithoutARelationMoveNothing) {
  load(3, {{0, 1, 0}, {1, 2, NOLAG}});
  for (int i = 0; i < 3; i++)
    for (int k = 0; k < gpr::nrsuc[i]; k++) {
      int j = gpr::suc[i][k];
      gpr::pred[j][gpr::nrpred[j]++] = i;
    }
  gpr::pack_arcs();
  gpr::st[0] = 0;
  gpr::st[1] = 2000000;
  gpr::st[2] = -999;
  ASSERT_EQ(gpr::propagate_forward(), 1);
  EXPECT_EQ(gpr::st[1], 2000000);
  EXPECT_EQ(gpr::st[2], -999);
  gpr::st[0] = gpr::st[1] = gpr::unreached_late;
  gpr::st[2] = 5;
  ASSERT_EQ(gpr::propagate_backward(), 1);
  EXPECT_EQ(gpr::st[1], gpr::unreached_late);
}
