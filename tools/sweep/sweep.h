// sweep.h: gprnpv-sweep, factorial experiments over instance sets.
//
// A sweep solves every (set, instance, pctneg, deadext, interest) once, in
// worker processes that call the library exactly as gprnpv does (the
// library's state is global per process), and one parent process stores
// each result as a row of the SQLite table `results`, keyed uniquely by
// those five values. Rows are committed in transactions, so a run killed at
// any moment leaves only whole rows, and the next run solves only what is
// missing. `report` summarises a database as tables, tidy CSV and gnuplot
// charts; `merge` unites the databases of shards.
//
// Usage errors are reported as one line naming the problem and exit status
// 2, always before any instance is solved.
#ifndef GPRNPV_SWEEP_H
#define GPRNPV_SWEEP_H

#include <sqlite3.h>

#include <iosfwd>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace sweep {

// A problem with the user's input: the message, and exit status 2.
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// ------------------------------------------------------------ lists
// "0,30,50" or ranges "FROM:TO:STEP" (STEP > 0, FROM <= TO), which may be
// mixed: "0:20:10,50". Values keep their first order; repeats are dropped.
// Throws UsageError for an empty list, an empty item or a bad number.
std::vector<int> parse_int_list(const std::string& text, const std::string& option);
// The same for rates; range values are rounded to 12 significant digits,
// so 0:0.3:0.1 gives exactly the doubles of 0, 0.1, 0.2 and 0.3.
std::vector<double> parse_rate_list(const std::string& text, const std::string& option);
// "K/N" with 1 <= K <= N.
std::pair<int, int> parse_shard(const std::string& text);

// One instance set: the folder (absolute), and the numbers with the source
// each stands for (manifest.tsv, else the file name).
struct InstanceSet {
  std::string dir;
  std::vector<int> numbers;
  std::vector<std::string> sources;
};
// The D<n>.gpr files of `dir`, or every number from first to last when a
// range is given (a missing file then gets its failure row). Throws
// UsageError for a folder that does not exist or holds no D<n>.gpr.
InstanceSet scan_set(const std::string& dir, std::optional<int> first, std::optional<int> last);

// --------------------------------------------------------------- jobs
struct Job {
  int set;  // index into the sets of the run
  int instance;
  int pctneg;
  int deadext;
  double interest;
};

// Certificate verdicts, as stored in the column `certificate`.
enum Certified : int { cert_none = 0, cert_proved, cert_not_proved, cert_infeasible };
const char* certificate_text(int verdict);  // nullptr for cert_none

// What a worker hands back, through memory shared with the parent.
struct Result {
  int job;            // index into the run's job list
  int worker;
  int failcode;       // gpr::fail_none when optimal
  int activities;     // -1: unknown (file missing, too large, invalid)
  int arcs;
  int passes;
  int certificate;    // Certified
  double npv;
  double solve_seconds;
  double read_seconds;
};

// Solves one job in the calling process, as gprnpv would with the same five
// answers: chdir into the set, read_instance, solve_instance. With
// `certify`, the model is captured before the solve and an optimal schedule
// checked afterwards.
Result solve_job(const Job& job, const std::string& dir, bool certify);

// The outcome column: "optimal" or the failure text of output.txt.
std::string outcome_text(int failcode);

// ------------------------------------------------------------ database
// The key of a row.
struct Key {
  std::string set_dir;
  int instance;
  int pctneg;
  int deadext;
  double interest;
  bool operator<(const Key& o) const;
};

// An open results database. Opening checks that the file is one of this
// tool (or new or empty, in which case the schema is created when
// `create`); anything else is a UsageError.
class Database {
 public:
  Database(const std::string& path, bool create, bool readonly = false);
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  sqlite3* handle() const { return db_; }
  void exec(const std::string& sql);
  const std::string& path() const { return path_; }

 private:
  sqlite3* db_ = nullptr;
  std::string path_;
};

// A prepared statement, finalised on destruction.
class Statement {
 public:
  Statement(sqlite3* db, const std::string& sql);
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  sqlite3_stmt* get() const { return st_; }
  bool step();  // true while a row is available; throws on an error
  void reset();

 private:
  sqlite3_stmt* st_ = nullptr;
};

// An exclusive claim on a database for the life of the object, held by an
// fcntl lock on "<path>.lock". Throws UsageError naming the holder's
// process id when another run has it.
class RunLock {
 public:
  explicit RunLock(const std::string& db_path);
  ~RunLock();
  RunLock(const RunLock&) = delete;
  RunLock& operator=(const RunLock&) = delete;

 private:
  int fd_ = -1;
};

// ------------------------------------------------------------ commands
struct RunOptions {
  std::string db;
  int jobs = 0;  // 0: the number of cores
  int shard = 1, shards = 1;
  std::vector<int> pctneg, deadext;
  std::vector<double> interest;
  std::optional<int> first, last;
  std::vector<std::string> set_dirs;
  bool certify = false;
  bool quiet = false;
  std::string command_line;
};
// Exit status: 0 everything of the shard stored, 1 some solve lost (a worker
// died), 130 interrupted (finished work kept).
int run_sweep(const RunOptions& o, std::ostream& out, std::ostream& err);

struct ReportOptions {
  std::string db;
  std::vector<std::string> by;  // of set, pctneg, deadext, interest
  std::string csv, plots;
};
int report(const ReportOptions& o, std::ostream& out, std::ostream& err);

// Unites `sources` into `target` in one transaction; a row whose key is
// already present with another outcome, value, pass count, size, source or
// verdict refuses the whole merge (exit status 1, nothing written).
int merge(const std::string& target, const std::vector<std::string>& sources, std::ostream& out,
          std::ostream& err);

int sweep_main(int argc, char** argv, std::ostream& out, std::ostream& err);

}  // namespace sweep

#endif  // GPRNPV_SWEEP_H
