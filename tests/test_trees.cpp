// test_trees.cpp: the initial schedules and spanning trees of both directions
// and the closing arc. Which tight arc an activity joins through decides the
// whole search path, so every case states the exact tree.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "search_util.h"

namespace {

using searchutil::Net;
using searchutil::NOLAG;
using Arcs = std::vector<std::pair<int, int>>;

using searchutil::build_initial;

struct TreeCase {
  std::string name;
  Net net;
  int deadline;
  bool backward;
  std::vector<int> st;
  Arcs tree;  // (row, bit)
};

// Durations 0 unless set; arcs with their cells.
Net net(int n, std::vector<Net::Arc> arcs, std::vector<int> dur = {}) {
  Net g(n);
  for (auto a : arcs) g.arc(a.from, a.to, a.cell);
  if (!dur.empty()) g.dur = dur;
  return g;
}

// Activity 3 has the tight predecessors 1 and 2 (forward: 1 wins) and
// activity 1 the tight successors 2 and 3 (backward: 3 wins).
Net diamond() { return net(5, {{0, 1, 0}, {1, 2, 2}, {1, 3, 2}, {2, 4, 0}, {3, 4, 0}}); }

// Activity 3 has the tight predecessors 1 and 2, but 1 joins only at the
// turn of 4, after the turn of 1 has passed: 3 joins through 2.
Net late_joiner() {
  return net(6, {{0, 2, 0}, {0, 4, 0}, {1, 3, 5}, {1, 5, 0}, {2, 3, 5}, {2, 5, 0}, {3, 5, 0}, {4, 1, 0}, {4, 5, 0}});
}

// The mirror image (a->b becomes 5-b -> 5-a): activity 2 has the tight
// successors 3 and 4, but 4 joins only at the turn of 1.
Net late_joiner_mirrored() {
  return net(6, {{0, 1, 0}, {0, 2, 0}, {0, 3, 0}, {0, 4, 0}, {1, 5, 0}, {2, 3, 5}, {2, 4, 5}, {3, 5, 0}, {4, 1, 0}});
}

// Lists that run from high to low numbers: each sweep joins one more.
Net downward() { return net(5, {{0, 3, 0}, {1, 4, 0}, {2, 1, 0}, {3, 2, 0}}); }

Net worked() { return net(4, {{0, 1, 0}, {1, 2, 3}, {2, 3, 2}}, {0, 3, 2, 0}); }

// Forward: 1->3 is listed without a relation; 1 + NOLAG equals the start of 3
// (999000 - 999999 = -999), yet 3 joins through 2->3.
Net nolag_forward() { return net(5, {{0, 1, 999000}, {0, 2, 0}, {1, 3, NOLAG}, {1, 4, 0}, {2, 3, -999}, {3, 4, 0}}); }

// Backward: 1->3 without a relation; st[3] - NOLAG equals st[1] (1 + 999999),
// yet 1 joins through 1->2. The deadline is far above 99999.
Net nolag_backward() { return net(5, {{0, 1, 0}, {1, 2, 0}, {1, 3, NOLAG}, {2, 4, 0}, {3, 4, 999999}}); }

// The dummy end lists a successor and the dummy start a predecessor before
// the closing arc replaces both lists.
Net extra_dummy_arcs() {
  return net(4, {{0, 1, 0}, {1, 2, 3}, {1, 0, -30}, {2, 3, 2}, {3, 1, -20}}, {0, 3, 2, 0});
}

Net twice_listed() { return net(3, {{0, 1, 0}, {0, 1, 0}, {1, 2, 0}, {1, 2, 0}}); }

std::vector<TreeCase> tree_cases() {
  return {
      {"lowest tight predecessor", diamond(), 2, false, {0, 0, 2, 2, 2}, {{0, 1}, {1, 2}, {1, 3}, {2, 4}}},
      {"highest tight successor", diamond(), 2, true, {0, 0, 2, 2, 2}, {{1, 0}, {3, 1}, {4, 2}, {4, 3}}},
      {"first sweep decides forward", late_joiner(), 5, false, {0, 0, 0, 5, 0, 5},
       {{0, 2}, {0, 4}, {2, 3}, {3, 5}, {4, 1}}},
      {"late joiner backward", late_joiner(), 5, true, {0, 0, 0, 5, 0, 5},
       {{1, 4}, {2, 0}, {3, 1}, {3, 2}, {5, 3}}},
      {"first sweep decides backward", late_joiner_mirrored(), 5, true, {0, 5, 0, 5, 5, 5},
       {{1, 4}, {2, 0}, {3, 2}, {5, 1}, {5, 3}}},
      {"mirrored forward", late_joiner_mirrored(), 5, false, {0, 5, 0, 5, 5, 5},
       {{0, 2}, {2, 3}, {2, 4}, {3, 5}, {4, 1}}},
      {"several sweeps forward", downward(), 0, false, {0, 0, 0, 0, 0}, {{0, 3}, {1, 4}, {2, 1}, {3, 2}}},
      {"several sweeps backward", downward(), 0, true, {0, 0, 0, 0, 0}, {{1, 2}, {2, 3}, {3, 0}, {4, 1}}},
      {"worked example forward", worked(), 15, false, {0, 0, 3, 5}, {{0, 1}, {1, 2}, {2, 3}}},
      // the dummy start gets its own latest start, 15 - 5, not 0
      {"worked example backward", worked(), 15, true, {10, 10, 13, 15}, {{1, 0}, {2, 1}, {3, 2}}},
      {"NOLAG arc forward", nolag_forward(), 999000, false, {0, 999000, 0, -999, 999000},
       {{0, 1}, {0, 2}, {1, 4}, {2, 3}}},
      {"NOLAG arc backward", nolag_backward(), 1000000, true, {1000000, 1000000, 1000000, 1, 1000000},
       {{1, 0}, {2, 1}, {4, 2}, {4, 3}}},
      {"dummy lists replaced forward", extra_dummy_arcs(), 15, false, {0, 0, 3, 5}, {{0, 1}, {1, 2}, {2, 3}}},
      {"dummy lists replaced backward", extra_dummy_arcs(), 15, true, {10, 10, 13, 15},
       {{1, 0}, {2, 1}, {3, 2}}},
      {"pair listed twice forward", twice_listed(), 0, false, {0, 0, 0}, {{0, 1}, {1, 2}}},
      {"pair listed twice backward", twice_listed(), 0, true, {0, 0, 0}, {{1, 0}, {2, 1}}},
  };
}

TEST(Trees, ScheduleTreeAndClosingArc) {
  searchutil::quiet(0, 0.01);
  for (const TreeCase& c : tree_cases()) {
    SCOPED_TRACE(c.name);
    c.net.load(c.deadline);
    // what the closing arc must leave alone
    std::vector<std::vector<int>> sucs, preds;
    for (int i = 0; i < c.net.n; i++) {
      sucs.emplace_back(gpr::suc[i], gpr::suc[i] + gpr::nrsuc[i]);
      preds.emplace_back(gpr::pred[i], gpr::pred[i] + gpr::nrpred[i]);
    }
    std::vector<int> cells;
    for (auto a : c.net.arcs) cells.push_back(gpr::lag[a.from][a.to]);

    build_initial(c.backward);
    ASSERT_EQ(gpr::failcode, gpr::fail_none);
    EXPECT_EQ(searchutil::starts(), c.st);
    EXPECT_EQ(searchutil::tree_arcs(), c.tree);
    EXPECT_EQ(static_cast<int>(c.tree.size()), c.net.n - 1);

    int end = c.net.n - 1;
    ASSERT_EQ(gpr::nrsuc[end], 1);
    EXPECT_EQ(gpr::suc[end][0], 0);
    EXPECT_EQ(gpr::lag[end][0], -c.deadline);
    ASSERT_EQ(gpr::nrpred[0], 1);
    EXPECT_EQ(gpr::pred[0][0], end);
    for (int i = 1; i < end; i++) {
      EXPECT_EQ(std::vector<int>(gpr::suc[i], gpr::suc[i] + gpr::nrsuc[i]), sucs[i]) << i;
      EXPECT_EQ(std::vector<int>(gpr::pred[i], gpr::pred[i] + gpr::nrpred[i]), preds[i]) << i;
    }
    EXPECT_EQ(std::vector<int>(gpr::suc[0], gpr::suc[0] + gpr::nrsuc[0]), sucs[0]);
    EXPECT_EQ(std::vector<int>(gpr::pred[end], gpr::pred[end] + gpr::nrpred[end]), preds[end]);
    for (size_t k = 0; k < c.net.arcs.size(); k++) {
      auto a = c.net.arcs[k];
      if (!(a.from == end && a.to == 0)) {
        EXPECT_EQ(gpr::lag[a.from][a.to], cells[k]);
      }
    }
    // The packed lists that the search reads are the lists and cells, the
    // closing arc's included; also when packed again from the lists as a
    // solve leaves them (a list of a dummy replaced, its entries kept at
    // the other ends).
    for (const char* when : {"first solve", "lists as a solve leaves them"}) {
      SCOPED_TRACE(when);
      EXPECT_EQ(testutil::packed_difference(), "");
      for (int k = 0; k <= gpr::closingentry + 1; k++) gpr::arclist[k] = {-1, -1};
      gpr::pack_arcs();
    }
  }
}

// An activity the root cannot reach over tight arcs, and cycles that only
// the normalised cells close.
TEST(Trees, IncompleteTreesAndCyclesAreReported) {
  searchutil::quiet(0, 0.01);
  struct Case {
    std::string name;
    Net net;
    bool backward;
    int code;
  };
  Net cycle(3);
  cycle.dur = {0, 5, 0};
  // 1->2 start-start 0 becomes 5 once normalised; with 2->1 at -3 the cycle
  // 1->2->1 turns from -3 to +2
  cycle.arc(0, 1, 0).arc(1, 2, 0).arc(2, 1, -3);
  std::vector<Case> cases = {
      {"no predecessor", net(4, {{0, 1, 0}, {1, 3, 0}, {2, 3, 0}}), false, gpr::fail_notree},
      {"no successor", net(4, {{0, 1, 0}, {0, 2, 0}, {1, 3, 0}}), true, gpr::fail_notree},
      // the longest path to 2 is -2000, below the floor of -999
      {"below the floor", net(4, {{0, 1, 0}, {1, 2, -2000}, {1, 3, 0}, {2, 3, 0}}), false, gpr::fail_notree},
      {"normalised cycle forward", cycle, false, gpr::fail_cycle},
      {"normalised cycle backward", cycle, true, gpr::fail_cycle},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.net.load_ext(0);
    build_initial(c.backward);
    EXPECT_EQ(gpr::failcode, c.code);
  }
  // the same floor case is fine backward: 2 gets a latest start of its own
  net(4, {{0, 1, 0}, {1, 2, -2000}, {1, 3, 0}, {2, 3, 0}}).load(0);
  build_initial(true);
  EXPECT_EQ(gpr::failcode, gpr::fail_none);
  EXPECT_EQ(searchutil::starts(), (std::vector<int>{0, 0, 0, 0}));
}

}  // namespace
