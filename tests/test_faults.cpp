// test_faults.cpp: what happens to the results when the process or the disk
// fails. The program itself runs here, in a folder of its own, with the five
// answers on a pipe:
//   - killed with SIGKILL in the middle of a batch, it leaves every row of
//     the instances it finished, complete, and every cash-flow entry;
//   - a result file it cannot create, or a disk that fills up, ends the run
//     at once with one line on standard error and exit status 1;
//   - a batch of 10,000 numbers leaves no file open and needs no more memory
//     than a batch of 100.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "testutil.h"

namespace {

using testutil::Instance;
using testutil::read_file;

// A running program: its process and the files that catch its console and
// its error output. A program still running when the test leaves is killed.
struct Program {
  pid_t pid = -1;
  std::string out, err;
  ~Program() {
    if (pid > 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  }
};

// Starts the program in `folder` with `answers` on standard input, which
// then ends: the closing key read gets the byte after the last answer.
void start(Program& p, const std::string& folder, const std::string& answers) {
  p.out = folder + ".console";
  p.err = folder + ".errors";
  int fds[2];
  if (pipe(fds) != 0) std::abort();
  p.pid = fork();
  if (p.pid == 0) {
    int o = open(p.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int e = open(p.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (o < 0 || e < 0 || chdir(folder.c_str()) != 0) _exit(127);
    dup2(fds[0], 0);
    dup2(o, 1);
    dup2(e, 2);
    close_range(3, ~0U, 0);  // nothing of the test process stays open
    // A sanitizer build keeps freed memory aside for a while; its peak would
    // then grow with the number of files opened and closed.
    std::string asan = std::getenv("ASAN_OPTIONS") ? std::getenv("ASAN_OPTIONS") : "";
    asan += ":quarantine_size_mb=0:thread_local_quarantine_size_kb=0";
    setenv("ASAN_OPTIONS", asan.c_str(), 1);
    execl(GPRNPV_BIN, GPRNPV_BIN, static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[0]);
  if (write(fds[1], answers.data(), answers.size()) != static_cast<ssize_t>(answers.size()))
    std::abort();
  close(fds[1]);
}

// Waits for the program to end; its wait status, or -1 after five minutes.
int finish(Program& p) {
  for (int tick = 0; tick < 30000; tick++) {
    int status;
    if (waitpid(p.pid, &status, WNOHANG) == p.pid) {
      p.pid = -1;
      return status;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return -1;
}

// Makes instance file `name` a named pipe and waits until the program opens
// it: by then every instance before it is finished. The program stays
// blocked reading it until the returned descriptor is written or closed;
// -1 when the program ended first or did not get there in five minutes.
int await_open(Program& p, const char* name) {
  if (mkfifo(name, 0644) != 0) return -1;
  for (int tick = 0; tick < 30000; tick++) {
    int writer = open(name, O_WRONLY | O_NONBLOCK);  // fails until a reader has it open
    if (writer >= 0) return writer;
    if (waitpid(p.pid, nullptr, WNOHANG) == p.pid) {
      p.pid = -1;
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return -1;
}

// A folder for one run of the program inside the scratch folder.
std::string run_folder(const testutil::ScratchDir& dir) {
  std::string folder = dir.path() + "/run";
  mkdir(folder.c_str(), 0755);
  return folder;
}

// Chain 1 -> 2 -> 3 -> 4, durations 0 3 2 0, finish-start lags 0. With
// pctneg 50 the cash flows are 0, -239, 356, 0 (the draws 21238, 2437 and
// 8855, 11797 of the generator seeded with 0), the earliest starts 0, 0, 3,
// 5, and nothing is cut: npv = -239 e^(-3r) + 356 e^(-5r).
Instance chain() {
  Instance in;
  int s = in.add(0), a = in.add(3), b = in.add(2), e = in.add(0);
  in.fs(s, a);
  in.fs(a, b);
  in.fs(b, e);
  return in;
}

std::string chain_row(int probnr, double interest) {
  char row[64];
  std::snprintf(row, sizeof row, "\n%5d %5d %8.2lf", probnr, 1,
                -239 * std::exp(-3 * interest) + 356 * std::exp(-5 * interest));
  return row;
}

const char* const info_head =
    "\nPercentage negative cash flows : 50 \nDeadline (number of time units above critical"
    " path) : 10\ninterest : 0.010000 \n\ninformation about the generated cash flows"
    "\nproblem number :   (number of activity / cash flow)";

// ----------------------------------------------------------- SIGKILL
// Instances 1 to 6 finish (solved, missing, invalid); the file of 7 is a
// named pipe, so the program blocks opening it until the test opens the
// other end. That is the moment to kill it: 1 to 6 are done, 7 is not.
TEST(Faults, KilledRunKeepsEveryFinishedRowAndEntry) {
  testutil::ScratchDir dir;
  std::string folder = run_folder(dir);
  ASSERT_EQ(chdir(folder.c_str()), 0);
  for (int n : {1, 2, 5}) chain().write(n);
  testutil::write_file("D4.gpr", "4 0\n0 0 1\n");  // ends before its records

  Program p;
  start(p, folder, "1 9 50 10 0.01\n");
  int writer = await_open(p, "D7.gpr");
  ASSERT_GE(writer, 0) << read_file(p.out);
  ASSERT_EQ(kill(p.pid, SIGKILL), 0);
  int status = finish(p);
  close(writer);
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);

  // Every finished row, complete; nothing of 7.
  std::string out = read_file("output.txt");
  std::regex solved(R"( +\d+\.\d{4})");
  const char* const lines[] = {"",
                               "",
                               "\n    3    problem not found",
                               "\n    4    invalid instance file",
                               "",
                               "\n    6    problem not found"};
  std::size_t at = 0;
  for (int n = 1; n <= 6; n++) {
    SCOPED_TRACE(n);
    std::string want = lines[n - 1];
    if (want.empty()) {  // a solved chain: the row up to its time, then the time
      want = chain_row(n, 0.01);
      ASSERT_EQ(out.compare(at, want.size(), want), 0) << out;
      at += want.size();
      std::smatch m;
      std::string rest = out.substr(at);
      ASSERT_TRUE(std::regex_search(rest, m, solved, std::regex_constants::match_continuous));
      at += m.length(0);
    } else {
      ASSERT_EQ(out.compare(at, want.size(), want), 0) << out;
      at += want.size();
    }
  }
  EXPECT_EQ(at, out.size()) << out;

  // Every entry of 1 to 6; of 7 at most its head, which comes before it is
  // read.
  std::string entries =
      "\n   1 : (0/0) (1/-239) (2/356) (3/0) \n   2 : (0/0) (1/-239) (2/356) (3/0) "
      "\n   3 : \n   4 : \n   5 : (0/0) (1/-239) (2/356) (3/0) \n   6 : ";
  std::string info = read_file("info.out");
  std::string want = info_head + entries;
  EXPECT_TRUE(info == want || info == want + "\n   7 : ") << info;
}

// ------------------------------------------------ files that cannot be written
struct Unwritable {
  const char* what;
  const char* file;     // the file named in the error line
  int error;            // the reason it gives
  void (*prepare)();    // makes that file fail, in the run's folder
};

void folder_named(const char* name) { ASSERT_EQ(mkdir(name, 0755), 0); }
void full_disk(const char* name) { ASSERT_EQ(symlink("/dev/full", name), 0); }

const Unwritable unwritable[] = {
    {"output.txt is a folder", "output.txt", EISDIR, [] { folder_named("output.txt"); }},
    {"info.out is a folder", "info.out", EISDIR, [] { folder_named("info.out"); }},
    {"output.txt on a full disk", "output.txt", ENOSPC, [] { full_disk("output.txt"); }},
    {"info.out on a full disk", "info.out", ENOSPC, [] { full_disk("info.out"); }},
};

// The error output must be exactly one line naming the file and the reason.
void expect_one_error_line(const Program& p, const char* file, int error) {
  std::string err = read_file(p.err);
  std::size_t first = err.find_first_not_of('\n'), last = err.find_last_not_of('\n');
  ASSERT_NE(first, std::string::npos) << "nothing on standard error";
  std::string line = err.substr(first, last - first + 1);
  EXPECT_EQ(line.find('\n'), std::string::npos) << err;
  EXPECT_NE(line.find(file), std::string::npos) << line;
  EXPECT_NE(line.find(std::strerror(error)), std::string::npos) << line;
}

TEST(Faults, UnwritableResultFileEndsTheRunAtOnce) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  for (const Unwritable& u : unwritable) {
    SCOPED_TRACE(u.what);
    testutil::ScratchDir dir;
    std::string folder = run_folder(dir);
    ASSERT_EQ(chdir(folder.c_str()), 0);
    chain().write(1);
    chain().write(2);
    u.prepare();
    Program p;
    start(p, folder, "1 2 50 10 0.01\n");
    int status = finish(p);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    expect_one_error_line(p, u.file, u.error);
    // At once: the failure comes no later than the end of instance 1, so
    // instance 2 is never started.
    EXPECT_EQ(read_file(p.out).find("D2"), std::string::npos);
  }
}

TEST(Faults, ReadOnlyFolderEndsTheRun) {
  testutil::ScratchDir dir;
  std::string folder = run_folder(dir);
  ASSERT_EQ(chdir(folder.c_str()), 0);
  chain().write(1);
  ASSERT_EQ(chmod(folder.c_str(), 0555), 0);
  if (access(folder.c_str(), W_OK) == 0) GTEST_SKIP() << "this user can write a read-only folder";
  Program p;
  start(p, folder, "1 1 50 10 0.01\n");
  int status = finish(p);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  expect_one_error_line(p, "output.txt", EACCES);
  EXPECT_EQ(read_file(p.out).find("D1"), std::string::npos);  // not one instance tried
}

// ------------------------------------------- long batches: memory and files
struct Usage {
  long hwm_kb = -1;                // peak resident memory
  std::vector<std::string> open;   // what the open descriptors name
  std::string out;                 // "output.txt" at the end
};

// What the open descriptors of a process name: files of the run's folder by
// their own name, the others by descriptor and kind.
std::vector<std::string> open_files(const std::string& proc, const std::string& folder) {
  std::vector<std::string> open;
  if (DIR* fds = opendir((proc + "/fd").c_str())) {
    while (dirent* d = readdir(fds)) {
      if (d->d_name[0] == '.') continue;
      char target[4096];
      ssize_t n = readlink((proc + "/fd/" + d->d_name).c_str(), target, sizeof target - 1);
      std::string name = n > 0 ? std::string(target, n) : "?";
      if (name.compare(0, folder.size() + 1, folder + "/") == 0)
        name = name.substr(folder.size() + 1);
      else
        name = std::string(d->d_name) + (name.compare(0, 5, "pipe:") == 0 ? " pipe" : " file");
      open.push_back(name);
    }
    closedir(fds);
  }
  std::sort(open.begin(), open.end());
  return open;
}

// Runs numbers 1 to `last`, of which 50, 150, 250, ... are solvable chains
// and the rest are missing, and looks at the process while
// it opens the file of `last`, a named pipe into which the test then writes
// a malformed instance.
Usage long_batch(int last) {
  testutil::ScratchDir dir;
  std::string folder = run_folder(dir);
  if (chdir(folder.c_str()) != 0) std::abort();
  for (int n = 50; n < last; n += 100) chain().write(n);
  std::string lastname = "D" + std::to_string(last) + ".gpr";
  Program p;
  start(p, folder, "1 " + std::to_string(last) + " 50 10 0.01\n");
  Usage u;
  int writer = await_open(p, lastname.c_str());
  EXPECT_GE(writer, 0) << "the run did not reach its last instance";
  if (writer < 0) return u;
  std::string proc = "/proc/" + std::to_string(p.pid);
  // The program's descriptor of the pipe appears as its open() returns.
  for (int tick = 0; tick < 3000; tick++) {
    u.open = open_files(proc, folder);
    if (std::find(u.open.begin(), u.open.end(), lastname) != u.open.end()) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::string status = read_file(proc + "/status");
  std::size_t at = status.find("VmHWM:");
  if (at != std::string::npos) u.hwm_kb = std::atol(status.c_str() + at + 6);
  if (write(writer, "x", 1) != 1) {}
  close(writer);
  int end = finish(p);
  EXPECT_TRUE(WIFEXITED(end) && WEXITSTATUS(end) == '\n');  // the key read gets the line end
  u.out = read_file("output.txt");
  return u;
}

TEST(Faults, LongBatchRunsInConstantMemoryAndClosesEveryFile) {
  Usage small = long_batch(100);
  Usage large = long_batch(10000);
  ASSERT_GT(small.hwm_kb, 0);
  ASSERT_GT(large.hwm_kb, 0);
  // Standard input, console and error output, the log, the results file of
  // the instance in hand and its instance file: nothing is left of the
  // instances before.
  std::vector<std::string> want = {"0 pipe",     "1 file",   "2 file",
                                   "D10000.gpr", "info.out", "output.txt"};
  EXPECT_EQ(large.open, want);
  want[3] = "D100.gpr";
  EXPECT_EQ(small.open, want);
  // 9,900 more instances may not cost memory: even 100 bytes lost per
  // instance would add about a megabyte.
  EXPECT_LT(large.hwm_kb - small.hwm_kb, 512) << small.hwm_kb << " kB for 100, " << large.hwm_kb
                                               << " kB for 10000";
  // One complete row per number, then the average line.
  std::regex row(
      R"(\n *\d+ (   problem not found|   invalid instance file| +1 +-?\d+\.\d\d +\d+\.\d{4}))");
  auto rows = std::distance(std::sregex_iterator(large.out.begin(), large.out.end(), row),
                            std::sregex_iterator());
  EXPECT_EQ(rows, 10000);
  EXPECT_NE(large.out.find("\n 9999    problem not found"), std::string::npos);
  EXPECT_NE(large.out.find(chain_row(9950, 0.01)), std::string::npos);
  EXPECT_NE(large.out.find("\n10000    invalid instance file"), std::string::npos);
  EXPECT_NE(large.out.find("Average computation time"), std::string::npos);
}

}  // namespace
