// testutil.h: helpers shared by the tests: a scratch folder that is the
// working directory for one test, instance files written from a compact
// description, and a reset of the run state between steps of one test.
#ifndef GPRNPV_TESTUTIL_H
#define GPRNPV_TESTUTIL_H

#include <dirent.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "driver/driver.h"
#include "network/network.h"
#include "search/search.h"

namespace testutil {

// A fresh folder under $TMPDIR that is the working directory while the
// object lives; removed with its contents afterwards.
class ScratchDir {
 public:
  ScratchDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/gprnpv-test-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    path_ = mkdtemp(buf.data());
    char cwd[4096];
    old_ = getcwd(cwd, sizeof cwd) ? cwd : "/";
    if (chdir(path_.c_str()) != 0) std::abort();
  }
  ~ScratchDir() {
    if (chdir(old_.c_str()) != 0) {}
    std::string cmd = "chmod -R u+w '" + path_ + "' 2>/dev/null; rm -rf '" + path_ + "'";
    if (std::system(cmd.c_str()) != 0) {}
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_, old_;
};

inline void write_file(const std::string& name, const std::string& text) {
  std::ofstream(name, std::ios::binary) << text;
}

inline std::string read_file(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// One successor entry of an instance file: successor (1-based, as in the
// file), relation kind, precedence type, lag.
struct Entry {
  int succ, kind, type, lag;
};

// An instance as the file lists it, activity records in file order.
struct Instance {
  std::vector<int> dur;
  std::vector<std::vector<Entry>> succ;
  int nrres = 0;

  // Adds an activity and returns its 1-based file number.
  int add(int duration) {
    dur.push_back(duration);
    succ.emplace_back();
    return static_cast<int>(dur.size());
  }
  // Finish-start relation with lag 0 from file activity i to j (1-based).
  void fs(int i, int j, int l = 0) { succ[i - 1].push_back({j, 1, 3, l}); }
  void rel(int i, int j, int kind, int type, int l) { succ[i - 1].push_back({j, kind, type, l}); }

  std::string text() const {
    std::ostringstream o;
    o << dur.size() << ' ' << nrres;
    for (int r = 0; r < nrres; r++) o << ' ' << 1;
    o << '\n';
    for (size_t i = 0; i < dur.size(); i++) {
      o << dur[i];
      for (int r = 0; r < nrres; r++) o << ' ' << 0;
      o << ' ' << succ[i].size();
      for (const Entry& e : succ[i]) o << "  " << e.succ << ' ' << e.kind << ' ' << e.type << ' ' << e.lag;
      o << '\n';
    }
    return o.str();
  }
  void write(int number) const { write_file("D" + std::to_string(number) + ".gpr", text()); }
};

// An instance from its durations and finish-start arcs of lag 0 (file
// numbers, from 1).
inline Instance network(std::vector<int> durations, std::vector<std::pair<int, int>> arcs) {
  Instance in;
  for (int d : durations) in.add(d);
  for (auto [i, j] : arcs) in.fs(i, j);
  return in;
}

// The small worked network: dummy start 1, activities 2 (duration 3) and 3
// (duration 2), dummy end 4, a finish-start chain 1 -> 2 -> 3 -> 4, written
// as D<number>.gpr. With deadline increment 10 its deadline is 15.
inline void write_worked_example(int number = 1) {
  Instance in;
  int s = in.add(0), a = in.add(3), b = in.add(2), e = in.add(0);
  in.fs(s, a);
  in.fs(a, b);
  in.fs(b, e);
  in.write(number);
}

// Run parameters for library-level tests: silent console, no files open.
inline void quiet_run(int pctneg, int deadext, double interest) {
  gpr::console = nullptr;
  gpr::outfile = nullptr;
  gpr::infofile = nullptr;
  std::snprintf(gpr::prefix, sizeof gpr::prefix, "D");
  std::snprintf(gpr::outname, sizeof gpr::outname, "output.txt");
  gpr::pctneg = pctneg;
  gpr::deadext = deadext;
  gpr::interest = interest;
}

// Reads instance `number` of the working directory with the parameters set.
inline int read(int number) {
  gpr::probnr = number;
  return gpr::read_instance();
}

// Where the packed lists differ from the lists and their cells, as
// "activity 3 successor 1" (empty when they agree).
inline std::string packed_difference() {
  for (int i = 0; i < gpr::nract; i++) {
    for (int k = 0; k < gpr::nrsuc[i]; k++) {
      gpr::arcentry e = gpr::packed_suc(i)[k];
      if (e.node != gpr::suc[i][k] || e.cell != gpr::lag[i][gpr::suc[i][k]])
        return "activity " + std::to_string(i) + " successor " + std::to_string(k);
    }
    for (int k = 0; k < gpr::nrpred[i]; k++) {
      gpr::arcentry e = gpr::packed_pred(i)[k];
      if (e.node != gpr::pred[i][k] || e.cell != gpr::lag[gpr::pred[i][k]][i])
        return "activity " + std::to_string(i) + " predecessor " + std::to_string(k);
    }
  }
  return "";
}

// What one read left: its result, the console text and both files.
struct Outcome {
  int rc;
  std::string console, out, info;
};

// Reads instance `number` with the console captured and "output.txt" and
// "info.out" open on disk, as the batch has them.
inline Outcome read_logged(int number) {
  char* buf = nullptr;
  std::size_t len = 0;
  std::FILE* con = open_memstream(&buf, &len);
  gpr::console = con;
  gpr::outfile = std::fopen("output.txt", "w");
  gpr::infofile = std::fopen("info.out", "w");
  Outcome o;
  o.rc = read(number);
  std::fclose(gpr::outfile);
  std::fclose(gpr::infofile);
  gpr::outfile = gpr::infofile = nullptr;
  gpr::console = nullptr;
  std::fclose(con);
  o.console.assign(buf, len);
  std::free(buf);
  o.out = read_file("output.txt");
  o.info = read_file("info.out");
  return o;
}

// Number of file descriptors this process has open.
inline int open_fds() {
  int n = 0;
  DIR* d = opendir("/proc/self/fd");
  while (readdir(d) != nullptr) n++;
  closedir(d);
  return n;
}

}  // namespace testutil

#endif  // GPRNPV_TESTUTIL_H
