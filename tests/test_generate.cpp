// test_generate.cpp: gprnpv-generate and its library. Generated networks are
// checked by an independent reading of the file (lag cells, reachability,
// cycles, the bounds of the options), then read and solved by the program in
// both search directions; series are reproducible byte for byte; the
// command line checks its options.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include "netgen.h"
#include "testutil.h"

namespace {

namespace fs = std::filesystem;
using testutil::read_file;

constexpr long NONE = -999999;

// A D<n>.gpr text taken apart without the program's reader.
struct Net {
  int n = 0, nrres = 0;
  std::vector<int> cap, dur;
  std::vector<std::vector<int>> req;
  std::vector<std::vector<testutil::Entry>> succ;  // 0-based successors
  std::vector<std::vector<long>> cell;             // keep-the-larger lag cells
};

Net parse(const std::string& text) {
  std::istringstream in(text);
  Net g;
  in >> g.n >> g.nrres;
  g.cap.resize(g.nrres);
  for (int& c : g.cap) in >> c;
  g.dur.resize(g.n);
  g.req.assign(g.n, std::vector<int>(g.nrres));
  g.succ.resize(g.n);
  for (int i = 0; i < g.n; i++) {
    int k;
    in >> g.dur[i];
    for (int& r : g.req[i]) in >> r;
    in >> k;
    g.succ[i].resize(k);
    for (auto& e : g.succ[i]) {
      in >> e.succ >> e.kind >> e.type >> e.lag;
      e.succ--;
    }
  }
  std::string rest;
  EXPECT_TRUE(in && !(in >> rest)) << "the text does not hold the numbers its counts announce";
  g.cell.assign(g.n, std::vector<long>(g.n, NONE));
  for (int i = 0; i < g.n; i++) {
    for (const auto& e : g.succ[i]) {
      int j = e.succ;
      long di = g.dur[i], dj = g.dur[j], l = e.lag, v;
      int a = i, b = j;
      if (e.type < 1 || e.type > 4 || (e.kind != 1 && e.kind != 2)) continue;
      const long min_cell[5] = {0, l, l - dj, l + di, l + di - dj};
      const long max_cell[5] = {0, -l, dj - l, -(l + di), dj - di - l};
      if (e.kind == 1) {
        v = min_cell[e.type];
      } else {
        v = max_cell[e.type];
        std::swap(a, b);
      }
      g.cell[a][b] = std::max(g.cell[a][b], v);
    }
  }
  return g;
}

bool has_cell(const Net& g, int i, int j) { return g.cell[i][j] != NONE; }

// Longest paths from activity 0 over the listed arcs with a cell; false on
// a cycle of positive length.
bool earliest(const Net& g, std::vector<long>& es) {
  es.assign(g.n, NONE);
  es[0] = 0;
  for (int round = 0; round <= g.n; round++) {
    bool changed = false;
    for (int i = 0; i < g.n; i++) {
      if (es[i] == NONE) continue;
      for (const auto& e : g.succ[i])
        if (has_cell(g, i, e.succ) && es[i] + g.cell[i][e.succ] > es[e.succ]) {
          es[e.succ] = es[i] + g.cell[i][e.succ];
          changed = true;
        }
    }
    if (!changed) return true;
  }
  return false;
}

// True when some cycle over all cells, listed or not, has positive length.
bool positive_cycle_anywhere(const Net& g) {
  struct Arc {
    int i, j;
    long c;
  };
  std::vector<Arc> arcs;
  for (int i = 0; i < g.n; i++)
    for (int j = 0; j < g.n; j++)
      if (g.cell[i][j] != NONE) arcs.push_back({i, j, g.cell[i][j]});
  std::vector<long> d(g.n, 0);
  for (int round = 0; round <= g.n; round++) {
    bool changed = false;
    for (const Arc& a : arcs)
      if (d[a.i] + a.c > d[a.j]) {
        d[a.j] = d[a.i] + a.c;
        changed = true;
      }
    if (!changed) return false;
  }
  return true;
}

// Activities reached from `from` over listed arcs with a cell, forward or
// against the arcs.
std::vector<bool> reach(const Net& g, int from, bool forward) {
  std::vector<std::vector<int>> next(g.n);
  for (int i = 0; i < g.n; i++)
    for (const auto& e : g.succ[i])
      if (has_cell(g, i, e.succ)) (forward ? next[i] : next[e.succ]).push_back(forward ? e.succ : i);
  std::vector<bool> seen(g.n, false);
  std::vector<int> todo{from};
  seen[from] = true;
  while (!todo.empty()) {
    int a = todo.back();
    todo.pop_back();
    for (int b : next[a])
      if (!seen[b]) {
        seen[b] = true;
        todo.push_back(b);
      }
  }
  return seen;
}

// Every property a default network promises, from the text alone.
void check_well_posed(const Net& g, const netgen::Options& o) {
  ASSERT_GE(g.n - 2, o.min_activities);
  ASSERT_LE(g.n - 2, o.max_activities);
  EXPECT_EQ(g.nrres, o.nrres);
  EXPECT_EQ(g.dur[0], 0);
  EXPECT_EQ(g.dur[g.n - 1], 0);
  for (int i = 1; i < g.n - 1; i++) {
    EXPECT_GE(g.dur[i], o.min_duration);
    EXPECT_LE(g.dur[i], o.max_duration);
    for (int r = 0; r < g.nrres; r++) EXPECT_LE(g.req[i][r], g.cap[r]);
  }
  int end = g.n - 1;
  for (int i = 0; i < g.n; i++) {
    std::set<int> listed;
    for (const auto& e : g.succ[i]) {
      int j = e.succ;
      ASSERT_TRUE(j >= 0 && j < g.n);
      EXPECT_NE(j, i);
      EXPECT_TRUE(listed.insert(j).second) << "pair " << i << "->" << j << " listed twice";
      EXPECT_TRUE(e.kind == 1 || e.kind == 2);
      EXPECT_TRUE(e.type >= 1 && e.type <= 4);
      EXPECT_TRUE(has_cell(g, i, j)) << "listed arc " << i << "->" << j << " without a cell";
      if (e.kind == 2) {  // listed both ways
        bool back = false;
        for (const auto& f : g.succ[j]) back = back || f.succ == i;
        EXPECT_TRUE(back) << "maximal lag " << i << "->" << j << " listed one way only";
      }
      if (e.kind == 1 && i != 0 && j != end) {
        EXPECT_GE(e.lag, o.min_lag);
        EXPECT_LE(e.lag, o.max_lag);
      }
      if (i == 0) {
        EXPECT_GE(g.cell[0][j], 0);
      }
      if (j == end) {
        EXPECT_GE(g.cell[i][end], g.dur[i]);
      }
      EXPECT_LE(std::abs(e.lag), netgen::maxabs);
    }
  }
  EXPECT_TRUE(g.succ[end].empty());
  std::vector<bool> from_start = reach(g, 0, true), to_end = reach(g, end, false);
  for (int i = 0; i < g.n; i++) EXPECT_TRUE(from_start[i] && to_end[i]) << "activity " << i << " off every chain";
  EXPECT_FALSE(positive_cycle_anywhere(g));
}

// Solves instance `number` of the working folder in both directions and
// checks the deadline against the independent earliest starts.
void solve_both_ways(int number, const Net& g, int deadext) {
  std::vector<long> es;
  ASSERT_TRUE(earliest(g, es));
  for (int pct : {number % 50, 51 + number % 50}) {
    SCOPED_TRACE("D" + std::to_string(number) + ", " + std::to_string(pct) + "% negative");
    testutil::quiet_run(pct, deadext, 0.01);
    ASSERT_EQ(testutil::read(number), 1);
    EXPECT_EQ(gpr::deadline, es[g.n - 1] + deadext);
    gpr::solve_instance();
    EXPECT_EQ(gpr::failcode, gpr::fail_none);
  }
}

netgen::Options options(int amin, int amax, double share, int lmin, int lmax) {
  netgen::Options o;
  o.min_activities = amin;
  o.max_activities = amax;
  o.maxlag_share = share;
  o.min_lag = lmin;
  o.max_lag = lmax;
  return o;
}

TEST(Generate, DefaultNetworksAreWellPosedAndSolveBothWays) {
  struct Case {
    const char* what;
    netgen::Options opt;
    int count;
  };
  std::vector<Case> cases = {
      {"defaults", netgen::Options(), 40},
      {"tiny", options(0, 3, 0.5, 0, 5), 30},
      {"mid, negative lags", options(100, 300, 0.5, -5, 5), 10},
      {"large", options(900, 998, 0.3, 0, 5), 4},
      {"largest, all paired", options(998, 998, 1.0, -10, 10), 2},
  };
  Case c{"no arcs drawn", options(5, 60, 0.2, 0, 5), 10};
  c.opt.min_arcs = c.opt.max_arcs = 0;
  cases.push_back(c);
  c = {"zero durations, start-start only, resources", options(20, 50, 0.6, -3, 3), 10};
  c.opt.min_duration = c.opt.max_duration = 0;
  c.opt.type_weight[1] = c.opt.type_weight[2] = c.opt.type_weight[3] = 0;
  c.opt.nrres = 3;
  cases.push_back(c);
  c = {"many arcs, finish-finish heavy", options(50, 150, 0.4, -20, 20), 8};
  c.opt.min_arcs = 3;
  c.opt.max_arcs = 12;
  c.opt.type_weight[3] = 10;
  c.opt.seed = 77;
  cases.push_back(c);

  testutil::ScratchDir dir;
  int number = 1;
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    ASSERT_EQ(netgen::check_options(k.opt), "");
    ASSERT_EQ(netgen::write_instances(k.opt, number, k.count, "."), "");
    for (int m = number; m < number + k.count; m++) {
      SCOPED_TRACE("D" + std::to_string(m));
      Net g = parse(read_file("D" + std::to_string(m) + ".gpr"));
      check_well_posed(g, k.opt);
      solve_both_ways(m, g, m % 3 * 5);
    }
    number += k.count;
  }
}

TEST(Generate, SeriesAreReproducibleFileByFile) {
  testutil::ScratchDir dir;
  netgen::Options o = options(5, 200, 0.3, -2, 6);
  o.nrres = 2;
  fs::create_directory("a");
  fs::create_directory("b");
  fs::create_directory("c");
  ASSERT_EQ(netgen::write_instances(o, 1, 6, "a"), "");
  ASSERT_EQ(netgen::write_instances(o, 1, 6, "b"), "");
  ASSERT_EQ(netgen::write_instances(o, 4, 2, "c"), "");  // a part of the same series
  for (int m = 1; m <= 6; m++) {
    std::string name = "/D" + std::to_string(m) + ".gpr";
    EXPECT_EQ(read_file("a" + name), read_file("b" + name));
    EXPECT_EQ(read_file("a" + name), netgen::generate_instance(o, m));
    if (m == 4 || m == 5) {
      EXPECT_EQ(read_file("a" + name), read_file("c" + name));
    }
  }
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator("c")) names.insert(e.path().filename().string());
  EXPECT_EQ(names, (std::set<std::string>{"D4.gpr", "D5.gpr"}));  // no temporary left over

  // Other seeds and other numbers give other networks.
  std::set<std::string> texts;
  for (int m = 1; m <= 6; m++) texts.insert(netgen::generate_instance(o, m));
  o.seed = 2;
  for (int m = 1; m <= 6; m++) texts.insert(netgen::generate_instance(o, m));
  EXPECT_EQ(texts.size(), 12u);
}

TEST(Generate, AwkwardNetworksHoldEveryFeatureAndStillSolve) {
  testutil::ScratchDir dir;
  netgen::Options o = options(20, 120, 0.4, -4, 8);
  o.awkward = true;
  const int count = 12;
  ASSERT_EQ(netgen::write_instances(o, 1, count, "."), "");
  int nolag = 0, twice = 0, oneway = 0;
  for (int m = 1; m <= count; m++) {
    SCOPED_TRACE("D" + std::to_string(m));
    Net g = parse(read_file("D" + std::to_string(m) + ".gpr"));
    for (int i = 0; i < g.n; i++) {
      std::map<int, int> times;
      for (const auto& e : g.succ[i]) {
        times[e.succ]++;
        if (e.kind < 1 || e.kind > 2 || e.type < 1 || e.type > 4) nolag++;
        if (e.kind == 2) {
          bool back = false;
          for (const auto& f : g.succ[e.succ]) back = back || f.succ == i;
          oneway += back ? 0 : 1;
        }
      }
      for (auto [j, t] : times) twice += t > 1 ? 1 : 0;
    }
    EXPECT_FALSE(positive_cycle_anywhere(g));
    solve_both_ways(m, g, 4);
  }
  EXPECT_GT(nolag, 0);
  EXPECT_GT(twice, 0);
  EXPECT_GT(oneway, 0);
}

TEST(Generate, OptionsOutsideTheirRangesAreRefused) {
  struct Case {
    const char* what;
    void (*change)(netgen::Options&);
  };
  const Case cases[] = {
      {"activities", [](netgen::Options& o) { o.max_activities = netgen::max_real_activities + 1; }},
      {"activities", [](netgen::Options& o) { o.min_activities = 40; }},  // above the maximum
      {"arcs", [](netgen::Options& o) { o.min_arcs = -1; }},
      {"share", [](netgen::Options& o) { o.maxlag_share = 1.5; }},
      {"weight", [](netgen::Options& o) { o.type_weight[2] = -1; }},
      {"weight", [](netgen::Options& o) { o.type_weight[0] = o.type_weight[1] = o.type_weight[2] = o.type_weight[3] = 0; }},
      {"durations", [](netgen::Options& o) { o.min_duration = -1; }},
      {"lags", [](netgen::Options& o) { o.max_lag = 100001; }},
      {"resource", [](netgen::Options& o) { o.nrres = -1; }},
      {"too large", [](netgen::Options& o) { o.max_activities = netgen::max_real_activities, o.max_duration = 100000; }},
  };
  for (const Case& c : cases) {
    netgen::Options o;
    c.change(o);
    EXPECT_NE(netgen::check_options(o).find(c.what), std::string::npos) << netgen::check_options(o);
  }
}

struct Outcome {
  int status;
  std::string out, err;
};
Outcome run_generate(std::vector<std::string> args) {
  args.insert(args.begin(), "gprnpv-generate");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  std::ostringstream out, err;
  int status = netgen::generate_main(static_cast<int>(argv.size()), argv.data(), out, err);
  return {status, out.str(), err.str()};
}

TEST(GenerateCli, OptionsReachTheFiles) {
  testutil::ScratchDir dir;
  Outcome r = run_generate({"-n", "3", "--first=7", "-s", "99", "--activities", "4..6", "--arcs=2",
                            "-m", "0.5", "-t", "1,0,0,0", "-d", "2..3", "--lags", "-3..-1", "-r", "2", "out"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("wrote 3 instances, D7.gpr to D9.gpr"), std::string::npos) << r.out;
  netgen::Options o = options(4, 6, 0.5, -3, -1);
  o.seed = 99;
  o.min_arcs = o.max_arcs = 2;
  o.type_weight[1] = o.type_weight[2] = o.type_weight[3] = 0;
  o.min_duration = 2;
  o.max_duration = 3;
  o.nrres = 2;
  for (int m = 7; m <= 9; m++) {
    std::string text = read_file("out/D" + std::to_string(m) + ".gpr");
    EXPECT_EQ(text, netgen::generate_instance(o, m));
    Net g = parse(text);
    check_well_posed(g, o);
    for (int i = 1; i < g.n - 1; i++)  // start-start only; dummy arcs are finish-start
      for (const auto& e : g.succ[i])
        if (e.succ != g.n - 1) {
          EXPECT_EQ(e.type, 1);
        }
  }
  EXPECT_FALSE(fs::exists("out/D6.gpr"));
  EXPECT_FALSE(fs::exists("out/D10.gpr"));
}

TEST(GenerateCli, UsageErrorsAndWriteFailures) {
  testutil::ScratchDir dir;
  testutil::write_file("plain", "x");
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* says;
  };
  const Case cases[] = {
      {{}, 2, "no output folder"},
      {{"a", "b"}, 2, "more than one folder"},
      {{"--colour", "a"}, 2, "unknown option --colour"},
      {{"a", "-n"}, 2, "--count needs a value"},
      {{"-n", "-1", "a"}, 2, "bad value for --count"},
      {{"-a", "5..x", "a"}, 2, "bad value for --activities"},
      {{"-t", "1,2,3", "a"}, 2, "bad value for --types"},
      {{"-s", "-4", "a"}, 2, "bad value for --seed"},
      {{"-m", "0.5x", "a"}, 2, "bad value for --maxlag-share"},
      {{"-a", std::to_string(netgen::max_real_activities + 1), "a"}, 2, "activities must be"},
      {{"-f", "2147483647", "-n", "2", "a"}, 2, "beyond"},
      {{"plain"}, 1, "cannot create folder plain"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.says);
    Outcome r = run_generate(c.args);
    EXPECT_EQ(r.status, c.status);
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
  }
  EXPECT_FALSE(fs::exists("a"));  // a usage error writes nothing
  Outcome help = run_generate({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("Usage: gprnpv-generate"), std::string::npos);
  // A file that cannot be put in place (a folder holds its name): the status
  // is 1 and no temporary file is left behind.
  fs::create_directories("w/D1.gpr");
  Outcome r = run_generate({"-n", "2", "w"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("cannot write w/D1.gpr"), std::string::npos) << r.err;
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator("w")) left.push_back(e.path().filename().string());
  EXPECT_EQ(left, std::vector<std::string>{"D1.gpr"});
}

}  // namespace

namespace {

// A folder that already holds instance files is refused before anything is
// written; --force removes exactly its D<n>.gpr files and manifest.tsv.
TEST(GenerateCli, StaleInstanceFilesAreRefusedOrRemoved) {
  testutil::ScratchDir dir;
  fs::create_directories("g/D5.gpr");  // a folder: not an instance file
  for (const char* name : {"g/D1.gpr", "g/D-4.gpr", "g/D9.gpr", "g/D007.gpr", "g/notes.txt"})
    testutil::write_file(name, "old");
  Outcome r = run_generate({"-n", "2", "g"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("g already holds D-4.gpr and 2 more"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("--force"), std::string::npos) << r.err;
  EXPECT_EQ(testutil::read_file("g/D1.gpr"), "old");

  fs::create_directory("m");
  testutil::write_file("m/manifest.tsv", "number\tsource\n");
  EXPECT_EQ(run_generate({"-n", "1", "m"}).status, 2);
  EXPECT_FALSE(fs::exists("m/D1.gpr"));

  r = run_generate({"-n", "2", "--force", "-o", "g"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(r.err.empty()) << r.err;  // well-posed networks: no warning
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator("g")) left.push_back(e.path().filename().string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"D007.gpr", "D1.gpr", "D2.gpr", "D5.gpr", "notes.txt"}));
  EXPECT_EQ(testutil::read_file("g/D1.gpr"), netgen::generate_instance(netgen::Options{}, 1));
  EXPECT_EQ(run_generate({"-n", "1", "--force", "-q", "m"}).status, 0);
  EXPECT_FALSE(fs::exists("m/manifest.tsv"));
}

// Which list entries join an activity to the dummies: cells set by minimal
// lags of the lister, by maximal lags of the other side, always out of the
// dummy start and into the dummy end, never into the dummy start or out of
// the dummy end.
TEST(Unlinked, ActivitiesWithoutPathToADummy) {
  // 2->3 sets no lag (type 9); 3 lists the dummy start and a maximal lag
  // to 4 (a cell 4->3, not 3->4); the dummy end lists 4.
  const std::string head =
      "5 0\n"
      "0 1  2 1 3 0\n"
      "1 2  3 1 9 0  5 1 3 0\n"
      "1 2  1 1 1 0  4 2 1 3\n";
  const std::string tail = "0 1  4 1 1 0\n";
  netgen::Unlinked u = netgen::unlinked_activities(head + "1 1  5 1 3 0\n" + tail);
  EXPECT_EQ(u.from_start, (std::vector<int>{3, 4}));
  EXPECT_EQ(u.to_end, std::vector<int>{3});
  // 4 now lists 3 with a maximal lag: the cell 3->4 exists, 3 reaches the end.
  u = netgen::unlinked_activities(head + "1 2  5 1 3 0  3 2 1 2\n" + tail);
  EXPECT_EQ(u.from_start, (std::vector<int>{3, 4}));
  EXPECT_TRUE(u.to_end.empty());
  EXPECT_EQ(netgen::unlinked_text(u),
            "activities 3 4 without a listed path from the dummy start (no spanning tree for 50 % "
            "or fewer negative cash flows)");
  // An entry out of the dummy start carries a relation whatever it says.
  u = netgen::unlinked_activities("3 0\n0 1  2 7 7 0\n1 1  3 1 3 0\n0 0\n");
  EXPECT_TRUE(u.from_start.empty() && u.to_end.empty());

  netgen::Unlinked many;
  for (int k = 2; k <= 13; k++) many.to_end.push_back(k);
  EXPECT_NE(netgen::unlinked_text(many).find("activities 2 3 4 5 6 7 8 9 10 11 ... (12 in all) "
                                             "without a listed path to the dummy end"),
            std::string::npos);
}

}  // namespace
