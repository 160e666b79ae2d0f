// search_util.h: helpers of the search tests: a network set up directly in
// the global state, readable views of bit rows and tree arcs, a recursion
// pass run by hand, and the checkers that every solved instance goes through.
//
// The checkers recompute what they compare from first principles (own
// Bellman-Ford schedules, own sums of discounted cash flows, own walks over
// the tree rows), so they do not share code with the search they check.
#ifndef GPRNPV_SEARCH_UTIL_H
#define GPRNPV_SEARCH_UTIL_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "testutil.h"

namespace searchutil {

using Set = std::vector<int>;  // activities in increasing order

constexpr int NOLAG = gpr::NOLAG;

// ------------------------------------------------ direct network set-up

// A network written straight into the globals. Arcs enter the successor
// lists in the order they are added; where a pair gets several cells, the
// largest stays, as in a read.
struct Net {
  int n = 0;
  std::vector<int> dur, cf;
  struct Arc {
    int from, to, cell;
  };
  std::vector<Arc> arcs;  // listed, in list order per tail

  explicit Net(int activities) : n(activities), dur(activities, 0), cf(activities, 0) {}

  // Lists from->to; its cell lag[from][to] becomes at least `cell`. NOLAG
  // lists the arc without giving it a relation.
  Net& arc(int from, int to, int cell) {
    arcs.push_back({from, to, cell});
    return *this;
  }

  // Writes the network into the globals with the given deadline; the cells
  // are taken as they are (no normalisation).
  void load(int deadline) const {
    gpr::build_bit_tables();
    gpr::nract = n;
    for (int i = 0; i <= n; i++) {
      for (int j = 0; j <= n; j++) gpr::lag[i][j] = NOLAG;
      gpr::lag[i][i] = 0;
      gpr::nrsuc[i] = gpr::nrpred[i] = 0;
    }
    for (int i = 0; i < n; i++) {
      gpr::dur[i] = dur[i];
      gpr::cf[i] = cf[i];
    }
    for (const Arc& a : arcs) {
      gpr::suc[a.from][gpr::nrsuc[a.from]++] = a.to;
      if (a.cell > gpr::lag[a.from][a.to]) gpr::lag[a.from][a.to] = a.cell;
    }
    // Predecessor lists as a file read builds them: by increasing tail, then
    // in the order of the tail's list.
    for (int i = 0; i < n; i++)
      for (int k = 0; k < gpr::nrsuc[i]; k++) {
        int j = gpr::suc[i][k];
        gpr::pred[j][gpr::nrpred[j]++] = i;
      }
    gpr::deadline = deadline;
    gpr::pack_arcs();  // as a read leaves them
  }

  // As a read does it: the deadline from the earliest end over the cells as
  // given, plus `deadext`; then the dummy arcs normalised.
  void load_ext(int deadext) const;
};

// Four activities, durations (0, 3, 2, 0), cash flows (0, 100, -50, 0), arcs
// 0->1: 0, 1->2: 3, 2->3: 2; with deadline 15 (earliest end 5 plus 10).
inline Net worked_example() {
  Net g(4);
  g.dur = {0, 3, 2, 0};
  g.cf = {0, 100, -50, 0};
  g.arc(0, 1, 0).arc(1, 2, 3).arc(2, 3, 2);
  return g;
}

// Run parameters of a library-level test: nothing printed, no files.
inline void quiet(int pctneg, double interest) {
  testutil::quiet_run(pctneg, 0, interest);
}

// ------------------------------------------------ independent schedules

// Longest-path starts over the listed arcs with cells (the current lists).
// Forward: from st[0] = 0, others -999, raised. Backward: from the dummy end
// at `deadline`, others 2^30, lowered. Empty result on a positive cycle.
inline std::vector<int> bellman(bool backward, int deadline) {
  int n = gpr::nract;
  std::vector<std::int64_t> s(n, backward ? (1LL << 30) : -999);
  if (backward)
    s[n - 1] = deadline;
  else
    s[0] = 0;
  for (int round = 0; round <= n + 1; round++) {
    bool changed = false;
    for (int i = 0; i < n; i++)
      for (int k = 0; k < gpr::nrsuc[i]; k++) {
        int j = gpr::suc[i][k];
        std::int64_t c = gpr::lag[i][j];
        if (c == NOLAG) continue;
        if (!backward && s[i] + c > s[j]) s[j] = s[i] + c, changed = true;
        if (backward && s[j] - c < s[i]) s[i] = s[j] - c, changed = true;
      }
    if (!changed) return std::vector<int>(s.begin(), s.end());
  }
  return {};
}

inline void Net::load_ext(int deadext) const {
  load(0);
  std::vector<int> es = bellman(false, 0);
  gpr::deadline = es.at(n - 1) + deadext;
  gpr::normalise_dummy_arcs();
}

// Own value of activity a at start time s: discounted to 0 forward,
// compounded to the deadline backward.
inline double own(int a, int s, bool backward) {
  double t = backward ? gpr::deadline - (s + gpr::dur[a]) : -(s + gpr::dur[a]);
  return gpr::cf[a] * std::exp(gpr::interest * t);
}

inline double npv_of(const std::vector<int>& s) {
  double v = 0.0;
  for (int i = 1; i < gpr::nract; i++) v += gpr::cf[i] * std::exp(-gpr::interest * (s[i] + gpr::dur[i]));
  return v;
}

inline std::vector<int> starts() { return std::vector<int>(gpr::st, gpr::st + gpr::nract); }

// ------------------------------------------------------ bit-row views

inline bool has(const gpr::word* row, int i) { return (row[i >> 5] >> (i & 31)) & 1u; }

// Members below nract, in increasing order (empty words skipped).
inline Set members(const gpr::word* row) {
  Set s;
  for (int w = 0; 32 * w < gpr::nract; w++)
    if (row[w] != 0)
      for (int i = 32 * w; i < 32 * w + 32 && i < gpr::nract; i++)
        if (has(row, i)) s.push_back(i);
  return s;
}

inline void set_row(gpr::word* row, const Set& s) {
  for (int w = 0; w < gpr::rowwords; w++) row[w] = 0;
  for (int i : s) row[i >> 5] |= 1u << (i & 31);
}

// Tree bits as (row, bit) pairs, by increasing row then bit.
inline std::vector<std::pair<int, int>> tree_arcs() {
  std::vector<std::pair<int, int>> t;
  for (int p = 0; p < gpr::nract; p++)
    for (int r : members(gpr::tree[p])) t.emplace_back(p, r);
  return t;
}

inline void set_tree(const std::vector<std::pair<int, int>>& arcs) {
  for (int p = 0; p < gpr::nract; p++) set_row(gpr::tree[p], {});
  for (auto [p, r] : arcs) gpr::tree[p][r >> 5] |= 1u << (r & 31);
}

// Cut sets given by hand, as a pass would leave them.
inline void set_cuts(const std::vector<Set>& sets) {
  gpr::nrcut = static_cast<int>(sets.size());
  set_row(gpr::shiftset, {});
  for (int c = 0; c < gpr::nrcut; c++) {
    set_row(gpr::cutset[c], sets[c]);
    for (int i : sets[c]) gpr::shiftset[i >> 5] |= 1u << (i & 31);
  }
}

inline void set_starts(const std::vector<int>& s) {
  for (size_t i = 0; i < s.size(); i++) gpr::st[i] = s[i];
}

// One recursion pass from the root, prepared the way the solver prepares it.
inline double pass(bool backward) {
  gpr::level = 0;
  for (int w = gpr::nrbin - 1; w >= 0; w--) gpr::shiftset[w] = gpr::visited[w] = 0;
  gpr::nrcut = 0;
  return backward ? gpr::eval_backward(gpr::nract - 1) : gpr::eval_forward(0);
}

// ------------------------------------------------------------ checkers

// True when the arc i->j with cell c is met by s (64-bit, no overflow).
inline bool meets(const std::vector<int>& s, int i, int j, int c) {
  return static_cast<std::int64_t>(s[j]) - s[i] >= c;
}

// Every listed arc with a cell (successor and predecessor lists), and the
// closing arc, hold in the current schedule.
inline void expect_feasible(const char* when) {
  std::vector<int> s = starts();
  int n = gpr::nract;
  for (int i = 0; i < n; i++) {
    for (int k = 0; k < gpr::nrsuc[i]; k++) {
      int j = gpr::suc[i][k];
      if (gpr::lag[i][j] != NOLAG || (i == n - 1 && j == 0)) {
        EXPECT_TRUE(meets(s, i, j, gpr::lag[i][j])) << when << ": arc " << i << "->" << j;
      }
    }
    for (int k = 0; k < gpr::nrpred[i]; k++) {
      int r = gpr::pred[i][k];
      if (gpr::lag[r][i] != NOLAG) {
        EXPECT_TRUE(meets(s, r, i, gpr::lag[r][i])) << when << ": arc " << r << "->" << i;
      }
    }
  }
  EXPECT_LE(static_cast<std::int64_t>(s[n - 1]) - s[0], gpr::deadline) << when << ": closing arc";
}

// Every tree bit is a tight list arc with a cell, oriented per direction; the
// tree has nract-1 bits and joins every activity to the root.
inline void expect_spanning_tight_tree(bool backward, const char* when) {
  int n = gpr::nract;
  auto t = tree_arcs();
  EXPECT_EQ(static_cast<int>(t.size()), n - 1) << when;
  std::vector<std::vector<int>> adj(n);
  for (auto [p, r] : t) {
    int from = backward ? r : p, to = backward ? p : r;  // the list arc
    bool listed = false;
    for (int k = 0; k < gpr::nrsuc[from]; k++) listed |= gpr::suc[from][k] == to;
    bool closing = from == n - 1 && to == 0;
    EXPECT_TRUE(listed) << when << ": tree arc " << from << "->" << to << " not listed";
    EXPECT_TRUE(gpr::lag[from][to] != NOLAG || closing) << when;
    EXPECT_EQ(gpr::st[from] + gpr::lag[from][to], gpr::st[to])
        << when << ": tree arc " << from << "->" << to << " not tight";
    adj[p].push_back(r);
    adj[r].push_back(p);
  }
  std::vector<int> seen(n, 0), stack{backward ? n - 1 : 0};
  seen[stack[0]] = 1;
  while (!stack.empty()) {
    int a = stack.back();
    stack.pop_back();
    for (int b : adj[a])
      if (!seen[b]) seen[b] = 1, stack.push_back(b);
  }
  EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), n) << when << ": tree does not span";
}

// The state a complete pass leaves (root value `value`), when the tree it
// started from spanned every activity.
inline void expect_pass_state(bool backward, double value) {
  int n = gpr::nract, root = backward ? n - 1 : 0;
  EXPECT_EQ(gpr::level, 1);
  std::vector<int> part(n, -2);  // -1: root's kept set; c: cut set c
  for (int i : members(gpr::subset[1])) part[i] = -1;
  Set uni;
  for (int c = 0; c < gpr::nrcut; c++) {
    double sum = 0.0;
    for (int i : members(gpr::cutset[c])) {
      EXPECT_EQ(part[i], -2) << "activity " << i << " in two sets";
      part[i] = c;
      uni.push_back(i);
      sum += own(i, gpr::st[i], backward);
    }
    // The value at which the set was cut is the sum over its own members.
    if (backward)
      EXPECT_GT(sum, gpr::DCTOL - 1e-9) << "cut set " << c;
    else
      EXPECT_LT(sum, -gpr::DCTOL + 1e-9) << "cut set " << c;
  }
  std::sort(uni.begin(), uni.end());
  EXPECT_EQ(members(gpr::shiftset), uni);
  EXPECT_EQ(part[root], -1);
  for (int i = 0; i < n; i++) EXPECT_NE(part[i], -2) << "activity " << i << " not entered";
  EXPECT_EQ(static_cast<int>(members(gpr::visited).size()), n);
  // and no bit past the activities in the last word of either row
  if (n % 32 != 0) {
    for (const gpr::word* row : {gpr::subset[1], gpr::visited}) {
      EXPECT_EQ(row[n >> 5] >> (n & 31), 0u) << "bits past nract";
    }
  }
  double kept = 0.0;
  for (int i : members(gpr::subset[1])) kept += own(i, gpr::st[i], backward);
  EXPECT_NEAR(value, kept, 1e-9 * (1.0 + std::fabs(kept)));
  // Tree arcs stay inside one part, and each part is connected by them.
  auto t = tree_arcs();
  EXPECT_EQ(static_cast<int>(t.size()), n - 1 - gpr::nrcut);
  std::vector<int> comp(n);
  for (int i = 0; i < n; i++) comp[i] = i;
  auto find = [&](int x) {
    while (comp[x] != x) x = comp[x] = comp[comp[x]];
    return x;
  };
  for (auto [p, r] : t) {
    EXPECT_EQ(part[p], part[r]) << "tree arc " << p << "/" << r << " crosses a cut";
    comp[find(p)] = find(r);
  }
  int components = 0;
  for (int i = 0; i < n; i++) components += find(i) == i;
  EXPECT_EQ(components, 1 + gpr::nrcut);
}

// What a solve is checked against: its direction and the initial schedule,
// computed independently before the solve.
struct Snapshot {
  bool backward = false;
  std::vector<int> initial;  // empty when the instance has a positive cycle
};

inline Snapshot snapshot() {
  Snapshot s;
  s.backward = gpr::pctneg > 50;
  s.initial = bellman(s.backward, gpr::deadline);
  return s;
}

// The final schedule meets every listed arc with a cell and the closing arc,
// the root kept its start, npv is the value of the final starts, and the
// search did not end below its initial schedule.
inline void expect_solution(const Snapshot& s) {
  int n = gpr::nract;
  std::vector<int> fin = starts();
  expect_feasible("final schedule");
  if (s.backward)
    EXPECT_EQ(fin[n - 1], gpr::deadline);
  else
    EXPECT_EQ(fin[0], 0);
  double scale = 1.0;
  for (int i = 1; i < n; i++) scale += std::abs(gpr::cf[i]);
  EXPECT_NEAR(gpr::npv, npv_of(fin), 1e-12 * scale);
  EXPECT_GE(gpr::nriter, 1);
  ASSERT_FALSE(s.initial.empty());
  EXPECT_GE(gpr::npv, npv_of(s.initial) - 1e-9 * scale);
}

// solve_instance with the checks above when it succeeds; the failure code
// otherwise.
inline int solve_checked() {
  Snapshot s = snapshot();
  gpr::solve_instance();
  if (gpr::failcode == gpr::fail_none) expect_solution(s);
  return gpr::failcode;
}

// A freshly reset solve state with the initial tree of one direction.
inline void build_initial(bool backward) {
  gpr::failcode = gpr::fail_none;
  gpr::reset_solve();
  if (backward)
    gpr::build_late_tree();
  else
    gpr::build_early_tree();
}

// The solve done step by step, with the state checked after every pass and
// every displacement. Returns the number of passes; the final schedule is
// left in st. A failure of the search ends it early with -1.
inline int stepped_solve(bool backward) {
  int n = gpr::nract;
  build_initial(backward);
  if (gpr::failcode != gpr::fail_none) return -1;
  if (static_cast<std::int64_t>(gpr::st[n - 1]) - gpr::st[0] > gpr::deadline) return -1;
  expect_spanning_tight_tree(backward, "initial tree");
  expect_feasible("initial schedule");
  int passes = 0;
  for (;;) {
    passes++;
    double value = pass(backward);
    expect_pass_state(backward, value);
    if (gpr::nrcut == 0) break;
    std::vector<int> before = starts();
    std::vector<Set> sets;
    for (int c = 0; c < gpr::nrcut; c++) sets.push_back(members(gpr::cutset[c]));
    backward ? gpr::shift_backward() : gpr::shift_forward();
    if (gpr::failcode != gpr::fail_none) return -1;
    EXPECT_TRUE(members(gpr::shiftset).empty());
    std::vector<int> after = starts(), moved(n, 0);
    for (const Set& set : sets) {
      int d = after[set[0]] - before[set[0]];
      EXPECT_TRUE(backward ? d <= 0 : d >= 0) << "set moved the wrong way";
      for (int i : set) {
        EXPECT_EQ(after[i] - before[i], d) << "cut set split by a move";
        moved[i] = 1;
      }
    }
    for (int i = 0; i < n; i++)
      if (!moved[i]) {
        EXPECT_EQ(after[i], before[i]) << "activity " << i << " outside every cut set moved";
      }
    expect_spanning_tight_tree(backward, "after displacement");
    expect_feasible("after displacement");
    double scale = 1.0;
    for (int i = 1; i < n; i++) scale += std::abs(gpr::cf[i]);
    EXPECT_GE(npv_of(after), npv_of(before) - 1e-9 * scale);
    if (::testing::Test::HasFailure()) return -1;
  }
  return passes;
}

// ---------------------------------------------- captured failure rows

// Console and "output.txt" text of one solve, with the statistics before and
// after it.
struct Row {
  int failcode;
  std::string console, out;
  int nrsolved_before, nrsolved_after;
  float sumtime_before, sumtime_after;
  double sumsq_before, sumsq_after;
};

inline Row solve_logged() {
  char* buf = nullptr;
  std::size_t len = 0;
  std::FILE* con = open_memstream(&buf, &len);
  gpr::console = con;
  std::snprintf(gpr::outname, sizeof gpr::outname, "output.txt");
  gpr::outfile = std::fopen("output.txt", "w");
  Row r;
  gpr::nrsolved = 3;
  gpr::sumtime = 1.5f;
  gpr::sumsq = 0.75;
  r.nrsolved_before = gpr::nrsolved;
  r.sumtime_before = gpr::sumtime;
  r.sumsq_before = gpr::sumsq;
  r.failcode = solve_checked();
  r.nrsolved_after = gpr::nrsolved;
  r.sumtime_after = gpr::sumtime;
  r.sumsq_after = gpr::sumsq;
  std::fclose(gpr::outfile);
  gpr::outfile = nullptr;
  gpr::console = nullptr;
  std::fclose(con);
  r.console.assign(buf, len);
  std::free(buf);
  r.out = testutil::read_file("output.txt");
  return r;
}

}  // namespace searchutil

#endif  // GPRNPV_SEARCH_UTIL_H
