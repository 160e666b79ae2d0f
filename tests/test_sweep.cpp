// test_sweep.cpp: gprnpv-sweep as a program: its rows against gprnpv's
// output.txt, resuming after SIGKILL, the refusal of a second run, Ctrl-C,
// shards and merge, bad input, the report's numbers and the charts.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <thread>

#include "sweep.h"
#include "testutil.h"

namespace {

using testutil::Instance;
using testutil::network;
using testutil::read_file;
using testutil::ScratchDir;
using testutil::write_file;

const std::string sweep_bin = GPRNPV_BINARY_DIR "/gprnpv-sweep";

// Runs a shell command line; stdout and stderr land in the returned texts.
struct Ran {
  int status;
  std::string out, err;
};
Ran sh(const std::string& cmd) {
  int rc = std::system((cmd + " >sh.out 2>sh.err").c_str());
  return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, read_file("sh.out"), read_file("sh.err")};
}
Ran sweep(const std::string& args) { return sh(sweep_bin + " " + args); }

// Starts gprnpv-sweep in the background with the given arguments; its
// standard error goes to `errfile`.
pid_t spawn(const std::vector<std::string>& args, const char* errfile = "/dev/null") {
  pid_t pid = fork();
  if (pid == 0) {
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(open(errfile, O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
    std::vector<char*> argv{const_cast<char*>(sweep_bin.c_str())};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(sweep_bin.c_str(), argv.data());
    _exit(127);
  }
  return pid;
}
int wait_status(pid_t pid) {
  int st = 0;
  waitpid(pid, &st, 0);
  return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
}

// Rows of a database as text, times left out, in key order.
std::vector<std::string> rows(const std::string& db, const std::string& where = "1") {
  sqlite3* h = nullptr;
  std::vector<std::string> r;
  if (sqlite3_open_v2(db.c_str(), &h, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    sqlite3_close(h);
    return r;
  }
  std::string sql =
      "SELECT set_dir, instance, source, activities, arcs, pctneg, deadext, interest, outcome, "
      "quote(npv), passes, certificate FROM results WHERE " + where +
      " ORDER BY set_dir, instance, pctneg, deadext, interest";
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(h, sql.c_str(), -1, &st, nullptr);
  while (st && sqlite3_step(st) == SQLITE_ROW) {
    std::string line;
    for (int c = 0; c < 12; c++) {
      const unsigned char* t = sqlite3_column_text(st, c);
      line += (c ? "|" : "") + std::string(t ? reinterpret_cast<const char*>(t) : "NULL");
    }
    r.push_back(line);
  }
  sqlite3_finalize(st);
  sqlite3_close(h);
  return r;
}
// The first column of the first row of `sql`, as text ("" when none).
std::string query(const std::string& db, const std::string& sql) {
  sqlite3* h = nullptr;
  sqlite3_open_v2(db.c_str(), &h, SQLITE_OPEN_READWRITE, nullptr);
  sqlite3_stmt* st = nullptr;
  std::string v;
  if (sqlite3_prepare_v2(h, sql.c_str(), -1, &st, nullptr) == SQLITE_OK &&
      sqlite3_step(st) == SQLITE_ROW && sqlite3_column_text(st, 0))
    v = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
  sqlite3_finalize(st);
  sqlite3_close(h);
  return v;
}

// In the current folder: D1..D14 with a row of every failure kind among
// them (for deadext 5 and 10, forward and backward), and seeded networks.
void write_mixed_set() {
  Instance chain = network({0, 3, 2, 0}, {{1, 2}, {2, 3}, {3, 4}});
  chain.write(1);  // D2 missing
  write_file("D3.gpr", "1001 0\n");
  write_file("D4.gpr", "3 0\n0 1  2 1 3 0\n4 1\n");
  Instance cycle = network({0, 1, 1, 0}, {{1, 2}, {3, 4}});
  cycle.rel(2, 3, 1, 1, 1);
  cycle.rel(3, 2, 1, 1, 1);
  cycle.write(5);
  Instance distant;
  distant.add(0);
  for (int k = 0; k < 500; k++) distant.add(100000);
  distant.add(0);
  distant.fs(1, 2);
  for (int k = 2; k <= 501; k++) distant.fs(k, k + 1, 100000);
  distant.write(6);
  network({0, 2, 3, 0}, {{1, 2}, {2, 4}}).write(7);
  Instance tight = network({0, 20, 0}, {{1, 2}});
  tight.rel(2, 3, 1, 1, 0);
  tight.write(8);
  network({0, 2, 0}, {{1, 2}, {1, 3}}).write(9);
  network({0, 2, 3, 4, 5, 0}, {{1, 2}, {1, 3}, {1, 4}, {1, 5}, {2, 6}, {3, 6}, {4, 6}, {5, 6}})
      .write(10);
  // The generator refuses a folder that already holds instances: generate
  // beside them and move the files in.
  ASSERT_EQ(sh(GPRNPV_BINARY_DIR "/gprnpv-generate -q -f 11 -n 4 -s 7 -a 20..120 --awkward gen && "
               "mv gen/D*.gpr . && rmdir gen").status, 0);
}

// gprnpv's output.txt, row by row: instance -> "outcome|npv 2 decimals|passes".
std::map<int, std::string> gprnpv_rows(int last, int pctneg, int deadext, const char* rate) {
  std::string input = "1 " + std::to_string(last) + " " + std::to_string(pctneg) + " " +
                      std::to_string(deadext) + " " + rate;
  EXPECT_EQ(sh("printf '" + input + "' | " GPRNPV_BIN).status, 0);
  std::map<int, std::string> m;
  std::istringstream in(read_file("output.txt"));
  for (std::string line; std::getline(in, line);) {
    int n, passes;
    double npv, secs;
    char text[64];
    if (std::sscanf(line.c_str(), "%d %d %lf %lf", &n, &passes, &npv, &secs) == 4) {
      char v[32];
      std::snprintf(v, sizeof v, "%.2f", npv);
      m[n] = std::string("optimal|") + v + "|" + std::to_string(passes);
    } else if (std::sscanf(line.c_str(), "%d %63[^\n]", &n, text) == 2) {
      m[n] = std::string(text) + "|NULL|NULL";
    }
  }
  return m;
}

// Every row equals gprnpv's: the same outcome text, value to the printed
// decimals, and passes; no row missing on either side.
TEST(Sweep, RowsEqualThoseOfGprnpvForEveryOutcome) {
  ScratchDir dir;
  mkdir("set", 0755);
  ASSERT_EQ(chdir("set"), 0);
  write_mixed_set();
  ASSERT_EQ(chdir(".."), 0);
  Ran r = sweep("run -q --jobs 2 --db r.sqlite --first 1 --last 14 --pctneg 50,70 --deadext 5,10 "
                "--interest 0.01 set");
  ASSERT_EQ(r.status, 0) << r.err;
  std::set<std::string> outcomes;
  ASSERT_EQ(chdir("set"), 0);
  for (int p : {50, 70})
    for (int d : {5, 10}) {
      SCOPED_TRACE(std::to_string(p) + " " + std::to_string(d));
      std::map<int, std::string> want = gprnpv_rows(14, p, d, "0.01"), got;
      sqlite3* h = nullptr;
      sqlite3_open_v2("../r.sqlite", &h, SQLITE_OPEN_READONLY, nullptr);
      sqlite3_stmt* st = nullptr;
      std::string sql = "SELECT instance, outcome, npv, passes FROM results WHERE pctneg = " +
                        std::to_string(p) + " AND deadext = " + std::to_string(d);
      sqlite3_prepare_v2(h, sql.c_str(), -1, &st, nullptr);
      while (sqlite3_step(st) == SQLITE_ROW) {
        std::string outcome = reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
        outcomes.insert(outcome);
        std::string npv = "NULL", passes = "NULL";
        if (sqlite3_column_type(st, 2) != SQLITE_NULL) {
          char v[32];
          std::snprintf(v, sizeof v, "%.2f", sqlite3_column_double(st, 2));
          npv = v;
          passes = std::to_string(sqlite3_column_int(st, 3));
        }
        got[sqlite3_column_int(st, 0)] = outcome + "|" + npv + "|" + passes;
      }
      sqlite3_finalize(st);
      sqlite3_close(h);
      EXPECT_EQ(want.size(), 14u);
      EXPECT_EQ(got, want);
    }
  std::string seen;
  for (const std::string& o : outcomes) seen += o + "; ";
  EXPECT_EQ(outcomes.size(), 9u) << seen;  // optimal and the eight failure kinds
}

// The process ids of the children of `parent`, from /proc.
std::vector<pid_t> children_of(pid_t parent) {
  std::vector<pid_t> found;
  for (const auto& e : std::filesystem::directory_iterator("/proc")) {
    std::string stat = read_file(e.path().string() + "/stat");
    std::size_t close = stat.rfind(')');
    int ppid = 0;
    if (close != std::string::npos && std::sscanf(stat.c_str() + close + 1, " %*c %d", &ppid) == 1 &&
        ppid == parent)
      found.push_back(std::stoi(e.path().filename().string()));
  }
  return found;
}

// Whether process `pid` is gone (or a zombie) within two seconds.
bool ended_soon(pid_t pid) {
  for (int k = 0; k < 200; k++) {
    std::string stat = read_file("/proc/" + std::to_string(pid) + "/stat");
    std::size_t close = stat.rfind(')');
    if (close == std::string::npos || stat.compare(close, 3, ") Z") == 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

// SIGKILL at random moments, then the same command: at no point a partial
// or repeated row, and at the end the rows of one uninterrupted run.
TEST(Sweep, ResumesAfterSigkillAtAnyMoment) {
  ScratchDir dir;
  ASSERT_EQ(sh(GPRNPV_BINARY_DIR "/gprnpv-generate -n 40 -s 11 -a 200..400 set").status, 0);
  std::vector<std::string> args = {"run", "-q", "--jobs", "2", "--db", "k.sqlite", "--pctneg",
                                   "20,80", "--deadext", "0,10", "--interest", "0.01", "--certify", "set"};
  std::mt19937 rng(5);
  int kills = 0;
  for (int round = 0; round < 12; round++) {
    pid_t pid = spawn(args);
    std::this_thread::sleep_for(std::chrono::milliseconds(std::uniform_int_distribution<int>(20, 150)(rng)));
    if (kill(pid, SIGKILL) == 0) kills++;
    wait_status(pid);
    if (query("k.sqlite", "SELECT count(*) FROM results").empty()) continue;  // killed before its schema
    EXPECT_EQ(query("k.sqlite", "SELECT count(*) - count(DISTINCT set_dir || instance || '/' || "
                                 "pctneg || '/' || deadext || '/' || interest) FROM results"),
              "0");
    EXPECT_EQ(query("k.sqlite", "SELECT count(*) FROM results WHERE outcome = 'optimal' AND "
                                 "(npv IS NULL OR passes IS NULL OR certificate IS NULL)"),
              "0");
  }
  EXPECT_GT(kills, 0);
  Ran done = sweep("run -q --db k.sqlite --pctneg 20,80 --deadext 0,10 --interest 0.01 --certify set");
  ASSERT_EQ(done.status, 0) << done.err;
  Ran whole = sweep("run -q --db w.sqlite --pctneg 20,80 --deadext 0,10 --interest 0.01 --certify set");
  ASSERT_EQ(whole.status, 0) << whole.err;
  std::vector<std::string> a = rows("k.sqlite"), b = rows("w.sqlite");
  EXPECT_EQ(a.size(), 160u);
  EXPECT_EQ(a, b);
  EXPECT_EQ(query("k.sqlite", "PRAGMA integrity_check"), "ok");
}

// While a worker waits on D2.gpr (a named pipe nobody writes yet), a second
// run on the database is refused; Ctrl-C then stops the first one, which
// keeps what finished, including the solve it was in.
TEST(Sweep, SecondRunRefusedAndInterruptKeepsFinishedWork) {
  ScratchDir dir;
  mkdir("set", 0755);
  std::string chain = network({0, 3, 2, 0}, {{1, 2}, {2, 3}, {3, 4}}).text();
  write_file("set/D1.gpr", chain);
  ASSERT_EQ(mkfifo("set/D2.gpr", 0600), 0);
  for (int n = 3; n <= 6; n++) write_file("set/D" + std::to_string(n) + ".gpr", chain);
  pid_t pid = spawn({"run", "--jobs", "1", "--db", "c.sqlite", "--pctneg", "30", "--deadext", "10",
                     "--interest", "0.01", "set"});
  for (int k = 0; k < 500 && query("c.sqlite", "SELECT count(*) FROM results") != "1"; k++)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_EQ(query("c.sqlite", "SELECT count(*) FROM results"), "1");
  Ran second = sweep("run --db c.sqlite --pctneg 30 --deadext 10 --interest 0.01 set");
  EXPECT_EQ(second.status, 2);
  EXPECT_NE(second.err.find("c.sqlite is in use by another gprnpv-sweep run"), std::string::npos)
      << second.err;
  kill(pid, SIGINT);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  write_file("set/D2.gpr", chain);  // the worker's read ends, its job finishes
  EXPECT_EQ(wait_status(pid), 130);
  std::vector<std::string> kept = rows("c.sqlite");
  ASSERT_GE(kept.size(), 2u);
  EXPECT_LT(kept.size(), 6u);
  EXPECT_NE(kept[1].find("|2|D2.gpr|4|3|30|10|0.01|optimal|"), std::string::npos) << kept[1];
  EXPECT_NE(query("c.sqlite", "SELECT ended FROM runs"), "");
}

// A worker killed while it waits on D2.gpr: that solve is reported lost and
// left out, the jobs queued behind it go to a new worker, the run ends with
// status 1. A run killed while its worker waits there takes the worker with
// it. The next run adds the missing row.
TEST(Sweep, DeadWorkerLosesOnlyItsSolve) {
  ScratchDir dir;
  mkdir("set", 0755);
  std::string chain = network({0, 3, 2, 0}, {{1, 2}, {2, 3}, {3, 4}}).text();
  for (int n = 1; n <= 6; n++)
    if (n != 2) write_file("set/D" + std::to_string(n) + ".gpr", chain);
  ASSERT_EQ(mkfifo("set/D2.gpr", 0600), 0);
  pid_t pid = spawn({"run", "--jobs", "1", "--db", "d.sqlite", "--pctneg", "30", "--deadext", "10",
                     "--interest", "0.01", "set"},
                    "err.txt");
  for (int k = 0; k < 500 && query("d.sqlite", "SELECT count(*) FROM results") != "1"; k++)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::vector<pid_t> workers = children_of(pid);
  ASSERT_EQ(workers.size(), 1u);
  kill(workers[0], SIGKILL);
  EXPECT_EQ(wait_status(pid), 1);
  EXPECT_NE(read_file("err.txt").find("a worker died (signal 9) while solving " +
                                      std::filesystem::current_path().string() +
                                      "/set/D2.gpr pctneg 30 deadext 10 interest 0.01; not stored"),
            std::string::npos)
      << read_file("err.txt");
  EXPECT_EQ(query("d.sqlite", "SELECT group_concat(instance) FROM results"), "1,3,4,5,6");
  pid = spawn({"run", "--db", "d.sqlite", "--pctneg", "30", "--deadext", "10", "--interest", "0.01", "set"});
  for (int k = 0; k < 500 && (workers = children_of(pid)).empty(); k++)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_EQ(workers.size(), 1u);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  kill(pid, SIGKILL);
  wait_status(pid);
  EXPECT_TRUE(ended_soon(workers[0])) << "the worker outlived its run";
  unlink("set/D2.gpr");
  write_file("set/D2.gpr", chain);
  EXPECT_EQ(sweep("run -q --db d.sqlite --pctneg 30 --deadext 10 --interest 0.01 set").status, 0);
  EXPECT_EQ(rows("d.sqlite").size(), 6u);
}

// Three shards, disjoint and together complete, merge into the rows of one
// unsharded run; a shard whose row disagrees is refused as a whole.
TEST(Sweep, ThreeShardsMergeIntoOneRunAndConflictsAreRefused) {
  ScratchDir dir;
  ASSERT_EQ(sh(GPRNPV_BINARY_DIR "/gprnpv-generate -n 7 -s 3 -a 10..40 set").status, 0);
  const std::string common = " -q --pctneg 0:100:50 --deadext 0,10 --interest 0.01,0.02 set";
  std::size_t parts = 0;
  for (int k = 1; k <= 3; k++) {
    Ran r = sweep("run --shard " + std::to_string(k) + "/3 --db s" + std::to_string(k) + ".sqlite" + common);
    ASSERT_EQ(r.status, 0) << r.err;
    parts += rows("s" + std::to_string(k) + ".sqlite").size();
  }
  ASSERT_EQ(sweep("run --db all.sqlite" + common).status, 0);
  EXPECT_EQ(parts, 84u);
  Ran m = sweep("merge --db m.sqlite s1.sqlite s2.sqlite s3.sqlite");
  ASSERT_EQ(m.status, 0) << m.err;
  EXPECT_EQ(rows("m.sqlite"), rows("all.sqlite"));
  EXPECT_EQ(query("m.sqlite", "SELECT count(*) FROM runs"), "3");
  EXPECT_EQ(sweep("merge --db m.sqlite s2.sqlite").status, 0);  // the same rows again: no change
  EXPECT_EQ(rows("m.sqlite"), rows("all.sqlite"));

  std::filesystem::copy_file("s2.sqlite", "s2b.sqlite");
  query("s2b.sqlite", "UPDATE results SET passes = passes + 1 WHERE rowid = "
                      "(SELECT min(rowid) FROM results WHERE outcome = 'optimal')");
  Ran bad = sweep("merge --db m2.sqlite s1.sqlite s2.sqlite s2b.sqlite");
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.err.find("conflict in s2b.sqlite"), std::string::npos) << bad.err;
  Ran into = sweep("merge --db m.sqlite s2b.sqlite");
  EXPECT_EQ(into.status, 1);
  EXPECT_EQ(rows("m.sqlite"), rows("all.sqlite"));
  EXPECT_EQ(query("m2.sqlite", "SELECT count(*) FROM results"), "0");
}

// Each bad input: exit 2, one message, and no database made or changed.
TEST(Sweep, BadInputExitsTwoBeforeAnyWork) {
  ScratchDir dir;
  mkdir("set", 0755);
  mkdir("empty", 0755);
  write_file("set/D1.gpr", "2 0\n0 0 1 1 1 3 0\n0 0 0\n");
  write_file("text.sqlite", "not a database at all, just text\n");
  sqlite3* h = nullptr;
  sqlite3_open("other.sqlite", &h);
  sqlite3_exec(h, "CREATE TABLE t(x)", nullptr, nullptr, nullptr);
  sqlite3_close(h);
  const std::string lists = " --pctneg 30 --deadext 10 --interest 0.01 ";
  struct Case {
    std::string args, says;
  } cases[] = {
      {"run --db n.sqlite" + lists + "nowhere", "nowhere: no such folder"},
      {"run --db n.sqlite" + lists + "empty", "no D<n>.gpr"},
      {"run --db n.sqlite --pctneg '' --deadext 10 --interest 0.01 set", "empty list"},
      {"run --db n.sqlite --pctneg 10,,20 --deadext 10 --interest 0.01 set", "empty item"},
      {"run --db n.sqlite --pctneg 30 --deadext ten --interest 0.01 set", "not a number"},
      {"run --db n.sqlite --pctneg 30 --deadext 10:0:5 --interest 0.01 set", "backwards"},
      {"run --db n.sqlite --pctneg 30 --deadext 10 --interest 0:1:0 set", "step above 0"},
      {"run --db n.sqlite --shard 4/3" + lists + "set", "1..3"},
      {"run --db n.sqlite --shard 0/3" + lists + "set", "1..3"},
      {"run --db n.sqlite --shard two" + lists + "set", "K/N"},
      {"run --db n.sqlite --first 5 --last 2" + lists + "set", "above --last"},
      {"run --db text.sqlite" + lists + "set", "text.sqlite"},
      {"run --db other.sqlite" + lists + "set", "not a gprnpv-sweep database"},
      {"report --db other.sqlite", "not a gprnpv-sweep database"},
      {"report --db n.sqlite", "no such database"},
      {"report --db text.sqlite --by colour", "--by 'colour'"},
      {"run --db n.sqlite --pctneg 30 set", "--deadext"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    Ran r = sweep(c.args);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists("n.sqlite"));
  }
  EXPECT_EQ(read_file("text.sqlite"), "not a database at all, just text\n");
  EXPECT_EQ(query("other.sqlite", "SELECT count(*) FROM sqlite_master"), "1");
}

// The small database worked by hand: two groups of one set.
void write_hand_database(const std::string& path) {
  sweep::Database db(path, true);
  db.exec(
      "INSERT INTO results VALUES"
      "('/x/a', 1, 'D1.gpr', 10, 12, 30, 10, 0.01, 'optimal', 100, 2, 0.001, 0.0001, NULL),"
      "('/x/a', 2, 'D2.gpr', 20, 25, 30, 10, 0.01, 'optimal', 200, 4, 0.003, 0.0001, NULL),"
      "('/x/a', 3, 'D3.gpr', 40, 50, 30, 10, 0.01, 'optimal', 600, 3, 0.008, 0.0001, NULL),"
      "('/x/a', 4, 'D4.gpr', NULL, NULL, 30, 10, 0.01, 'problem not found', NULL, NULL, NULL, 0.0001, NULL),"
      "('/x/a', 5, 'D5.gpr', 8, 9, 30, 10, 0.01, 'no spanning tree', NULL, NULL, 0.0002, 0.0001, NULL),"
      "('/x/a', 1, 'D1.gpr', 10, 12, 70, 10, 0.01, 'optimal', -50, 1, 0.002, 0.0001, NULL),"
      "('/x/a', 5, 'D5.gpr', 8, 9, 70, 10, 0.01, 'no spanning tree', NULL, NULL, 0.0002, 0.0001, NULL)");
}

std::vector<std::string> words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> w;
  for (std::string s; in >> s;) w.push_back(s);
  return w;
}

TEST(Sweep, ReportNumbersOfAHandWorkedDatabase) {
  ScratchDir dir;
  write_hand_database("h.sqlite");
  Ran r = sweep("report --db h.sqlite --csv h.csv");
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<std::string> lines;
  std::istringstream in(r.out);
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  ASSERT_GE(lines.size(), 4u) << r.out;
  using W = std::vector<std::string>;
  EXPECT_EQ(words(lines[1]), (W{"set", "pctneg", "deadext", "interest", "instances", "optimal",
                                "not", "found", "no", "tree", "mean", "ms", "median", "ms", "max",
                                "ms", "passes", "mean", "npv"}));
  // 1, 3, 8 ms: mean 4, median 3; passes (2 + 4 + 3) / 3; npv 900 / 3.
  EXPECT_EQ(words(lines[2]), (W{"a", "30", "10", "0.01", "5", "3", "1", "1", "4.000", "3.000",
                                "8.000", "3.00", "300.00"}));
  EXPECT_EQ(words(lines[3]), (W{"a", "70", "10", "0.01", "2", "1", "0", "1", "2.000", "2.000",
                                "2.000", "1.00", "-50.00"}));

  Ran by = sweep("report --db h.sqlite --by deadext");
  std::istringstream bin(by.out);
  std::vector<std::string> bl;
  for (std::string l; std::getline(bin, l);) bl.push_back(l);
  ASSERT_GE(bl.size(), 3u) << by.out;
  // Times 1, 3, 8, 2: median (2 + 3) / 2; passes 10 / 4; npv 850 / 4.
  EXPECT_EQ(words(bl[2]), (W{"10", "7", "4", "1", "2", "3.500", "2.500", "8.000", "2.50", "212.50"}));

  std::string csv = read_file("h.csv");
  EXPECT_EQ(csv.substr(0, csv.find('\n')),
            "set_dir,instance,source,activities,arcs,pctneg,deadext,interest,outcome,npv,passes,"
            "solve_seconds,read_seconds,certificate");
  EXPECT_NE(csv.find("\n/x/a,4,D4.gpr,,,30,10,0.01,problem not found,,,,0.0001,\n"), std::string::npos);
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 8);

  sweep::Database("e.sqlite", true);
  Ran empty = sweep("report --db e.sqlite --plots p");
  EXPECT_EQ(empty.status, 0);
  EXPECT_NE(empty.out.find("no results yet"), std::string::npos);
}

// The charts exist in both formats, are well-formed and carry content.
TEST(Sweep, ChartsAreRendered) {
  ScratchDir dir;
  write_hand_database("h.sqlite");
  Ran r = sweep("report --db h.sqlite --plots charts");
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char* name : {"solve_time_vs_activities", "time_passes_by_pctneg", "npv_by_deadline"}) {
    SCOPED_TRACE(name);
    std::string png = read_file(std::string("charts/") + name + ".png");
    std::string svg = read_file(std::string("charts/") + name + ".svg");
    EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
    EXPECT_GT(png.size(), 10000u);
    EXPECT_NE(svg.find("<svg"), std::string::npos);
    EXPECT_GT(svg.size(), 10000u);
    EXPECT_NE(svg.find("</svg>"), std::string::npos);
  }
  EXPECT_NE(read_file("charts/solve_time.dat").find("40 8"), std::string::npos);
}

TEST(Sweep, ListsAndRanges) {
  using V = std::vector<int>;
  EXPECT_EQ(sweep::parse_int_list("0:100:25", "-"), (V{0, 25, 50, 75, 100}));
  EXPECT_EQ(sweep::parse_int_list("0:20:10, 50,10", "-"), (V{0, 10, 20, 50}));
  EXPECT_EQ(sweep::parse_rate_list("0:0.3:0.1", "-"), (std::vector<double>{0, 0.1, 0.2, 0.3}));
  EXPECT_EQ(sweep::parse_shard("2/4"), std::make_pair(2, 4));
}

}  // namespace
