// test_eval.cpp: one recursion pass in either direction: subtree values, the
// cut test and its tolerance, which children can be cut, the order and
// contents of the cut sets, and a recursion 1000 calls deep.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "search_util.h"

namespace {

using searchutil::members;
using searchutil::Net;
using searchutil::pass;
using searchutil::Set;
using Arcs = std::vector<std::pair<int, int>>;

const double e = std::exp(1.0);

// Loads the network and prepares a solve state with the given schedule and
// tree, as a pass finds them.
void state(const Net& g, int deadline, const std::vector<int>& st, const Arcs& tree) {
  g.load(deadline);
  gpr::reset_solve();
  searchutil::set_starts(st);
  searchutil::set_tree(tree);
}

Set all(int n) {
  Set s;
  for (int i = 0; i < n; i++) s.push_back(i);
  return s;
}

// A root without tree arcs returns its own value: cf * exp(-r (st + dur))
// forward, cf * exp(r (deadline - st - dur)) backward.
TEST(Eval, RootWithoutTreeArcs) {
  searchutil::quiet(0, 0.01);
  Net g = searchutil::worked_example();
  g.cf = {3, 100, -50, 7};
  g.dur = {1, 3, 2, 1};
  state(g, 10, {2, 0, 3, 4}, {});
  EXPECT_NEAR(pass(false), 3 * std::pow(e, -0.03), 1e-12);
  EXPECT_EQ(gpr::nrcut, 0);
  EXPECT_EQ(members(gpr::visited), (Set{0}));
  EXPECT_EQ(members(gpr::subset[1]), (Set{0}));
  EXPECT_NEAR(pass(true), 7 * std::pow(e, 0.05), 1e-12);
  EXPECT_EQ(gpr::nrcut, 0);
  EXPECT_EQ(members(gpr::visited), (Set{3}));
}

// Rate r and cash flow c with c * exp(-r) == 0.00001 exactly, as the search
// computes it (the exponential first, then the cash flow).
std::pair<double, int> exact_tolerance() {
  for (int c = 1; c <= 500; c++) {
    double x = std::log(gpr::DCTOL / c);
    for (int k = 0; k < 40; k++) x = std::nextafter(x, -1e9);
    for (int k = 0; k < 80; k++, x = std::nextafter(x, 1e9)) {
      double r = -x;
      if (std::exp(-r * 1.0) * static_cast<double>(c) == gpr::DCTOL) return {r, c};
    }
  }
  return {0.0, 0};
}

// Moves the rate until c * exp(-r) lies strictly beyond (outward) or inside
// the tolerance.
double nudge(double r, int c, bool outward) {
  for (;;) {
    r = std::nextafter(r, outward ? 0.0 : 1e9);
    double v = std::exp(-r * 1.0) * c;
    if (outward ? v > gpr::DCTOL : v < gpr::DCTOL) return r;
  }
}

// A leaf worth exactly -0.00001 (forward) or +0.00001 (backward) is kept;
// one slightly beyond is cut; one slightly inside is kept.
TEST(Eval, ToleranceOfTheCutTest) {
  auto [r, c] = exact_tolerance();
  ASSERT_GT(c, 0) << "no rate found that gives the tolerance exactly";
  struct Case {
    double rate;
    bool cut;
  };
  std::vector<Case> cases = {{r, false}, {nudge(r, c, true), true}, {nudge(r, c, false), false}};
  Net g(3);
  g.arc(0, 1, 0).arc(0, 2, 0).arc(1, 2, 0);
  for (bool backward : {false, true})
    for (const Case& k : cases) {
      SCOPED_TRACE(::testing::Message() << (backward ? "backward" : "forward") << " rate " << k.rate);
      searchutil::quiet(backward ? 100 : 0, k.rate);
      g.cf = {0, backward ? c : -c, 0};
      // leaf 1 completes one unit after time 0 (forward) or one unit after
      // the deadline 10 (backward), so its value is -+c * exp(-rate)
      if (backward)
        state(g, 10, {0, 11, 10}, {{2, 0}, {2, 1}});
      else
        state(g, 10, {0, 1, 1}, {{0, 1}, {0, 2}});
      double v = pass(backward);
      double leaf = std::exp(-k.rate) * c * (backward ? 1 : -1);
      EXPECT_EQ(gpr::nrcut, k.cut ? 1 : 0);
      if (k.cut) {
        EXPECT_EQ(members(gpr::cutset[0]), (Set{1}));
        EXPECT_EQ(v, 0.0);
      } else {
        EXPECT_EQ(v, leaf);
        EXPECT_EQ(members(gpr::subset[1]), all(3));
      }
    }
}

// Which loop reaches a child decides whether it can be cut. A child reached
// through the second loop (its own tree row names its parent) is merged
// whatever its value; the root is never cut.
TEST(Eval, SecondLoopChildrenAreAlwaysMerged) {
  struct Case {
    std::string name;
    bool backward;
    Net net;
    std::vector<int> st;
    Arcs tree;
    int nrcut;
    double value;
  };
  const double r = 0.01;
  auto d = [&](double t) { return std::exp(-r * t); };

  // forward: 2 -> 1 is a tree arc; 2 (worth -100) is merged into 1
  Net fwd(4);
  fwd.cf = {0, 300, -100, 0};
  fwd.arc(0, 1, 0).arc(0, 2, 0).arc(1, 3, 0).arc(2, 1, 0).arc(2, 3, 0);
  // backward mirror: tree arc 2 -> 1 held in row 1; 1 (worth +100) merged into 2
  Net bwd(4);
  bwd.cf = {0, 100, -300, 0};
  bwd.arc(0, 1, 0).arc(0, 2, 0).arc(1, 3, 0).arc(2, 1, 0).arc(2, 3, 0);
  // both arcs 1 -> 2 and 2 -> 1 listed; the tree holds one of them
  Net both(4);
  both.cf = {0, 50, -20, 0};
  both.arc(0, 1, 0).arc(1, 2, 0).arc(1, 3, 0).arc(2, 1, 0).arc(2, 3, 0);
  // the root's own value is all there is below it through a second loop:
  // the closing arc 3 -> 0 is a tree arc, everything hangs from 3
  Net root = searchutil::worked_example();
  root.cf = {0, 10, -50, 0};

  std::vector<Case> cases = {
      {"forward second loop", false, fwd, {0, 2, 1, 5}, {{0, 1}, {1, 3}, {2, 1}}, 0,
       300 * d(2) - 100 * d(1)},
      {"backward second loop", true, bwd, {0, 2, 1, 5}, {{1, 2}, {2, 0}, {3, 2}}, 0,
       100 * std::exp(r * 3) - 300 * std::exp(r * 4)},
      {"tree arc 1->2: 2 can be cut", false, both, {0, 0, 1, 3}, {{0, 1}, {1, 2}, {1, 3}}, 1, 50.0},
      {"tree arc 2->1: 2 merged", false, both, {0, 0, 1, 3}, {{0, 1}, {1, 3}, {2, 1}}, 0,
       50.0 - 20 * d(1)},
      {"negative root", false, root, {0, 0, 13, 15}, {{0, 1}, {2, 3}, {3, 0}}, 0,
       10 * d(3) - 50 * d(15)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    searchutil::quiet(c.backward ? 100 : 0, r);
    state(c.net, 5, c.st, c.tree);
    gpr::add_closing_arc();
    double v = pass(c.backward);
    EXPECT_EQ(gpr::nrcut, c.nrcut);
    EXPECT_NEAR(v, c.value, 1e-9);
    searchutil::expect_pass_state(c.backward, v);
  }
}

// Two nested cuts: 3 (with 4) is cut below 1, then 1 below the root. The
// inner set comes first; the sets are disjoint and both in shiftset.
TEST(Eval, NestedCuts) {
  searchutil::quiet(0, 0.01);
  Net g(5);
  g.cf = {0, -10, 100, -20, 0};
  g.arc(0, 1, 0).arc(0, 2, 0).arc(1, 3, 0).arc(1, 2, -1).arc(2, 4, -1).arc(3, 4, 0);
  g.load(5);
  gpr::reset_solve();
  gpr::build_early_tree();
  ASSERT_EQ(searchutil::tree_arcs(), (Arcs{{0, 1}, {0, 2}, {1, 3}, {3, 4}}));
  double v = pass(false);
  EXPECT_EQ(v, 100.0);
  ASSERT_EQ(gpr::nrcut, 2);
  EXPECT_EQ(members(gpr::cutset[0]), (Set{3, 4}));
  EXPECT_EQ(members(gpr::cutset[1]), (Set{1}));
  EXPECT_EQ(members(gpr::shiftset), (Set{1, 3, 4}));
  EXPECT_EQ(members(gpr::subset[1]), (Set{0, 2}));
  EXPECT_EQ(searchutil::tree_arcs(), (Arcs{{0, 2}, {3, 4}}));
  searchutil::expect_pass_state(false, v);
}

// Cut sets are numbered in the order of the parent's list.
TEST(Eval, CutSetsInListOrder) {
  searchutil::quiet(0, 0.01);
  Net g(5);
  g.dur = {0, 1, 2, 3, 0};
  g.cf = {0, -10, -20, -30, 0};
  g.arc(0, 1, 0).arc(0, 2, 0).arc(0, 3, 0).arc(1, 4, 1).arc(2, 4, 2).arc(3, 4, 3);
  g.load(10);
  gpr::reset_solve();
  gpr::build_early_tree();
  ASSERT_EQ(searchutil::tree_arcs(), (Arcs{{0, 1}, {0, 2}, {0, 3}, {3, 4}}));
  EXPECT_EQ(pass(false), 0.0);
  ASSERT_EQ(gpr::nrcut, 3);
  EXPECT_EQ(members(gpr::cutset[0]), (Set{1}));
  EXPECT_EQ(members(gpr::cutset[1]), (Set{2}));
  EXPECT_EQ(members(gpr::cutset[2]), (Set{3, 4}));
  EXPECT_EQ(searchutil::tree_arcs(), (Arcs{{3, 4}}));
}

// An activity the tree does not connect to the root is entered by no call
// and lands in no set.
TEST(Eval, UnconnectedActivityIsInNoSet) {
  searchutil::quiet(0, 0.01);
  state(searchutil::worked_example(), 15, {0, 0, 3, 5}, {{0, 1}, {1, 2}});
  pass(false);
  EXPECT_EQ(members(gpr::visited), (Set{0, 1, 2}));
  ASSERT_EQ(gpr::nrcut, 1);
  EXPECT_EQ(members(gpr::cutset[0]), (Set{2}));
  EXPECT_EQ(members(gpr::shiftset), (Set{2}));
  EXPECT_EQ(members(gpr::subset[1]), (Set{0, 1}));
}

// A chain of 1000 activities nests 1000 calls; the one cut sits at the
// bottom of the chain.
TEST(Eval, ThousandNestedCalls) {
  const int n = gpr::maxact;
  Net g(n);
  for (int i = 0; i + 1 < n; i++) g.arc(i, i + 1, 0);
  Arcs chain_fwd, chain_bwd;
  for (int i = 0; i + 1 < n; i++) {
    chain_fwd.emplace_back(i, i + 1);
    chain_bwd.emplace_back(i + 1, i);
  }
  std::sort(chain_bwd.begin(), chain_bwd.end());
  std::vector<int> zero(n, 0);

  searchutil::quiet(0, 0.0);
  for (int i = 1; i < n - 1; i++) g.cf[i] = 1;
  g.cf[n - 2] = -5;  // {998, 999} is worth -5
  state(g, 0, zero, chain_fwd);
  EXPECT_EQ(pass(false), n - 3.0);
  EXPECT_EQ(gpr::level, 1);
  ASSERT_EQ(gpr::nrcut, 1);
  EXPECT_EQ(members(gpr::cutset[0]), (Set{n - 2, n - 1}));
  EXPECT_EQ(members(gpr::visited), all(n));
  searchutil::expect_pass_state(false, n - 3.0);

  searchutil::quiet(100, 0.0);
  for (int i = 1; i < n - 1; i++) g.cf[i] = -1;
  g.cf[1] = 5;  // {0, 1} is worth +5
  state(g, 0, zero, chain_bwd);
  EXPECT_EQ(pass(true), -(n - 3.0));
  EXPECT_EQ(gpr::level, 1);
  ASSERT_EQ(gpr::nrcut, 1);
  EXPECT_EQ(members(gpr::cutset[0]), (Set{0, 1}));
  EXPECT_EQ(members(gpr::visited), all(n));
}

}  // namespace
