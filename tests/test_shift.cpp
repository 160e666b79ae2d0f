// test_shift.cpp: the displacement of the cut sets. Each case gives the state
// a pass leaves (schedule, tree, cut sets) and the state after the call: new
// start times, the tree arcs added, and the least slack and arc of the last
// move, which shows the order of the moves.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "search_util.h"

namespace {

using searchutil::members;
using searchutil::Net;
using searchutil::NOLAG;
using searchutil::Set;
using Arcs = std::vector<std::pair<int, int>>;

struct ShiftCase {
  std::string name;
  bool backward;
  Net net;
  int deadline;
  std::vector<int> st;
  Arcs tree;
  std::vector<Set> cuts;
  // expected
  std::vector<int> st_after;
  Arcs tree_after;
  int mindisp, dispfrom, dispto;  // of the last move
};

Net net(int n, std::vector<Net::Arc> arcs, std::vector<int> dur = {}) {
  Net g(n);
  for (auto a : arcs) g.arc(a.from, a.to, a.cell);
  if (!dur.empty()) g.dur = dur;
  return g;
}

// What the displacement is told of the set of each activity (cutinto): a
// pass's true sets, nothing, or a wrong set; it must move the same either way.
enum Hint { true_sets, no_sets, wrong_sets };

// Sets up the state a pass left and runs the displacement. Rows of cutset
// past nrcut hold stale sets of "earlier passes", which no move may use.
void run(const Net& g, int deadline, bool backward, const std::vector<int>& st, const Arcs& tree,
         const std::vector<Set>& cuts, Hint hint = no_sets) {
  g.load(deadline);
  gpr::reset_solve();
  gpr::add_closing_arc();
  searchutil::set_starts(st);
  searchutil::set_tree(tree);
  searchutil::set_cuts(cuts);
  for (int i = 0; i <= g.n; i++) gpr::cutinto[i] = -1;
  if (hint != no_sets)
    for (int c = 0; c < static_cast<int>(cuts.size()); c++)
      for (int m : cuts[c]) gpr::cutinto[m] = hint == true_sets ? c : c + 1;
  Set everything;
  for (int i = 0; i < g.n; i++) everything.push_back(i);
  for (int c = gpr::nrcut; c < gpr::nrcut + 3; c++) searchutil::set_row(gpr::cutset[c], everything);
  gpr::failcode = gpr::fail_none;
  gpr::mindisp = gpr::dispfrom = gpr::dispto = -12345;
  backward ? gpr::shift_backward() : gpr::shift_forward();
}

// 1 and {3, 4} are nested cut sets (3 was cut below 1); 1 -> 2 has the cell
// lag12 (no arc when lag12 is NOLAG).
Net nested(int lag12) {
  Net g(5);
  g.arc(0, 1, 0).arc(0, 2, 0).arc(1, 3, 0);
  if (lag12 != NOLAG) g.arc(1, 2, lag12);
  g.arc(2, 4, -1).arc(3, 4, 0);
  return g;
}

// Three cut sets below the root; all finish at the deadline 10 once moved.
Net star() {
  return net(5, {{0, 1, 0}, {0, 2, 0}, {0, 3, 0}, {1, 4, 1}, {2, 4, 2}, {3, 4, 3}}, {0, 1, 2, 3, 0});
}

Net chain3() { return net(3, {{0, 1, 0}, {1, 2, 0}}); }

std::vector<ShiftCase> cases() {
  Net worked = searchutil::worked_example();
  std::vector<ShiftCase> v = {
      {"least slack 0", false, worked, 5, {0, 0, 3, 5}, {{0, 1}, {2, 3}}, {{2, 3}}, {0, 0, 3, 5},
       {{0, 1}, {2, 3}, {3, 0}}, 0, 3, 0},
      // {1} (slack 1 over 1 -> 2) moves before {3, 4} (slack 5 to the deadline)
      {"nested, outer tighter", false, nested(-1), 5, {0, 0, 0, 0, 0}, {{0, 2}, {3, 4}}, {{3, 4}, {1}},
       {0, 1, 0, 5, 5}, {{0, 2}, {1, 2}, {3, 4}, {4, 0}}, 5, 4, 0},
      // {3, 4} moves first; then 1 -> 3 (slack 5) beats 1 -> 2 (slack 7)
      {"nested, inner tighter", false, nested(-7), 5, {0, 0, 0, 0, 0}, {{0, 2}, {3, 4}}, {{3, 4}, {1}},
       {0, 5, 0, 5, 5}, {{0, 2}, {1, 3}, {3, 4}, {4, 0}}, 5, 1, 3},
      // {1} only leads into {3, 4}: it waits until that set has moved
      {"set waits for the set it leads into", false, nested(NOLAG), 5, {0, 0, 0, 0, 0}, {{0, 2}, {3, 4}},
       {{3, 4}, {1}}, {0, 5, 0, 5, 5}, {{0, 2}, {1, 3}, {3, 4}, {4, 0}}, 5, 1, 3},
      {"three cut sets", false, star(), 10, {0, 0, 0, 0, 3}, {{3, 4}}, {{1}, {2}, {3, 4}}, {0, 9, 8, 7, 10},
       {{1, 4}, {2, 4}, {3, 4}, {4, 0}}, 9, 1, 4},
      // slack 2 for both sets: the higher inner end (2) moves first
      {"equal slacks, two sets", false, net(5, {{0, 1, 0}, {0, 2, 0}, {0, 3, 0}, {1, 3, -2}, {2, 3, -2}, {3, 4, 0}}),
       10, {0, 0, 0, 0, 0}, {{0, 3}, {3, 4}}, {{1}, {2}}, {0, 2, 2, 0, 0}, {{0, 3}, {1, 3}, {2, 3}, {3, 4}}, 2, 1,
       3},
      // slack 2 from 1 and from 2: the arc of the higher inner end is taken
      {"equal slacks, one set", false, net(4, {{0, 1, 0}, {1, 2, 0}, {1, 3, -2}, {2, 3, -2}}), 10, {0, 0, 0, 10},
       {{1, 2}, {3, 0}}, {{1, 2}}, {0, 12, 12, 10}, {{1, 2}, {2, 3}, {3, 0}}, 12, 2, 3},
      // slack 2 over 1 -> 2 and 1 -> 3: the one later in the list of 1
      {"equal slacks, list order 2 3", false, net(4, {{0, 1, 0}, {0, 2, 0}, {1, 2, -2}, {1, 3, -2}, {2, 3, 0}}), 10,
       {0, 0, 0, 0}, {{0, 2}, {2, 3}}, {{1}}, {0, 2, 0, 0}, {{0, 2}, {1, 3}, {2, 3}}, 2, 1, 3},
      {"equal slacks, list order 3 2", false, net(4, {{0, 1, 0}, {0, 2, 0}, {1, 3, -2}, {1, 2, -2}, {2, 3, 0}}), 10,
       {0, 0, 0, 0}, {{0, 2}, {2, 3}}, {{1}}, {0, 2, 0, 0}, {{0, 2}, {1, 2}, {2, 3}}, 2, 1, 2},
      // backward mirror of the two sets: the higher inner end (3) moves first
      {"equal slacks, two sets backward", true,
       net(5, {{0, 1, 0}, {1, 2, -2}, {1, 3, -2}, {1, 4, 0}, {2, 4, 0}, {3, 4, 0}}), 10, {10, 10, 10, 10, 10},
       {{1, 0}, {4, 1}}, {{3}, {2}}, {10, 10, 8, 8, 10}, {{1, 0}, {2, 1}, {3, 1}, {4, 1}}, 2, 2, 1},
      // slack 2 over 0 -> 2 and 1 -> 2: the later predecessor in the list of 2
      {"equal slacks, predecessor list", true, net(4, {{0, 1, 0}, {0, 2, -2}, {1, 2, -2}, {1, 3, 0}, {2, 3, 0}}), 10,
       {10, 10, 10, 10}, {{1, 0}, {3, 1}}, {{2}}, {10, 10, 8, 10}, {{1, 0}, {2, 1}, {3, 1}}, 2, 2, 1},
      // 1 -> 2 carries no relation: its "slack" of 999999 must not stop the set
      {"NOLAG arc skipped", false, net(4, {{0, 1, 0}, {0, 2, 0}, {1, 3, 0}, {1, 2, NOLAG}, {2, 3, 0}}), 2000000,
       {0, 0, 0, 0}, {{0, 2}, {1, 3}}, {{1, 3}}, {0, 2000000, 0, 2000000}, {{0, 2}, {1, 3}, {3, 0}}, 2000000, 3, 0},
  };
  // A least slack of 9999 or more moves the set by exactly that slack; the
  // closing arc counts even when its cell equals NOLAG (deadline 999999).
  for (int d : {9998, 9999, 10000, 20000, 999999}) {
    v.push_back({"large slack forward " + std::to_string(d), false, chain3(), d, {0, 0, 0}, {{1, 2}}, {{1, 2}},
                 {0, d, d}, {{1, 2}, {2, 0}}, d, 2, 0});
    v.push_back({"large slack backward " + std::to_string(d), true, chain3(), d, {d, d, d}, {{1, 0}}, {{0, 1}},
                 {0, 0, d}, {{0, 2}, {1, 0}}, d, 0, 2});
  }
  return v;
}

TEST(Shift, MovesOfEachCase) {
  searchutil::quiet(0, 0.01);
  for (const ShiftCase& c : cases()) {
    for (Hint hint : {true_sets, no_sets, wrong_sets}) {
      const char* told[] = {", sets named", ", no sets named", ", wrong sets"};
      SCOPED_TRACE(c.name + told[hint]);
      run(c.net, c.deadline, c.backward, c.st, c.tree, c.cuts, hint);
      ASSERT_EQ(gpr::failcode, gpr::fail_none);
      EXPECT_EQ(searchutil::starts(), c.st_after);
      EXPECT_EQ(searchutil::tree_arcs(), c.tree_after);
      EXPECT_EQ(gpr::mindisp, c.mindisp);
      EXPECT_EQ(gpr::dispfrom, c.dispfrom);
      EXPECT_EQ(gpr::dispto, c.dispto);
      EXPECT_TRUE(members(gpr::shiftset).empty());
      // one arc per cut set, the cut sets themselves unchanged
      EXPECT_EQ(c.tree_after.size(), c.tree.size() + c.cuts.size());
      ASSERT_EQ(gpr::nrcut, static_cast<int>(c.cuts.size()));
      for (int k = 0; k < gpr::nrcut; k++) EXPECT_EQ(members(gpr::cutset[k]), c.cuts[k]);
      searchutil::expect_feasible("after the displacement");
      searchutil::expect_spanning_tight_tree(c.backward, "after the displacement");
    }
  }
}

// A cut set with no arc to the rest that carries a cell cannot be bounded.
TEST(Shift, MoveWithoutArcFails) {
  searchutil::quiet(0, 0.01);
  struct Case {
    std::string name;
    bool backward;
    Net net;
    Arcs tree;
  };
  std::vector<Case> v = {
      {"forward, no successor", false, net(4, {{0, 1, 0}, {0, 2, 0}, {2, 3, 0}}), {{0, 2}, {2, 3}}},
      {"forward, only a NOLAG successor", false, net(4, {{0, 1, 0}, {0, 2, 0}, {1, 2, NOLAG}, {2, 3, 0}}),
       {{0, 2}, {2, 3}}},
      {"backward, no predecessor", true, net(4, {{0, 2, 0}, {1, 3, 0}, {2, 3, 0}}), {{2, 0}, {3, 2}}},
  };
  for (const Case& c : v) {
    SCOPED_TRACE(c.name);
    run(c.net, 10, c.backward, c.backward ? std::vector<int>{10, 10, 10, 10} : std::vector<int>{0, 0, 0, 0}, c.tree,
        {{1}});
    EXPECT_EQ(gpr::failcode, gpr::fail_nodisp);
  }
}

}  // namespace
