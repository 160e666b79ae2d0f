// test_e2e.cpp: runs the gprnpv program itself in a scratch folder, with the
// five answers on standard input, and compares the console text, output.txt,
// info.out and the exit status byte for byte with texts worked out by hand.
// Only what depends on the clock is masked: the solve-time fields of the
// rows and, when several instances were solved, the average line's numbers.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "testutil.h"

namespace {

using testutil::Instance;
using testutil::network;
using testutil::read_file;
using testutil::ScratchDir;
using testutil::write_file;

// ------------------------------------------------------------ the program
// The program as a child process: answers written to its standard input
// (then closed), console and standard error collected through pipes. Every
// wait is bounded, so a program that hangs fails the test instead of
// stalling it.
class Program {
 public:
  explicit Program(const std::string& input, const std::vector<std::string>& args = {}) {
    std::signal(SIGPIPE, SIG_IGN);  // the program may stop reading early
    int in[2], out[2], err[2];
    if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) std::abort();
    pid_ = fork();
    if (pid_ < 0) std::abort();
    if (pid_ == 0) {
      dup2(in[0], 0);
      dup2(out[1], 1);
      dup2(err[1], 2);
      for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
      std::vector<char*> argv{const_cast<char*>("gprnpv")};
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(GPRNPV_BIN, argv.data());
      _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    out_fd_ = out[0];
    err_fd_ = err[0];
    for (size_t done = 0; done < input.size();) {
      ssize_t n = write(in[1], input.data() + done, input.size() - done);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    close(in[1]);
    deadline_ = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  }
  ~Program() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (out_fd_ >= 0) close(out_fd_);
    if (err_fd_ >= 0) close(err_fd_);
  }

  // Collects console text until it holds `marker`; false at the end of the
  // output or on the time limit.
  bool read_until(const std::string& marker) {
    while (out.find(marker) == std::string::npos)
      if (!pump()) return false;
    return true;
  }

  // Reads both streams to their end and reaps the program. status is its
  // exit status, or -1 if it did not exit normally in time.
  void finish() {
    while (pump()) {
    }
    if (out_fd_ >= 0 || err_fd_ >= 0) {
      kill(pid_, SIGKILL);  // the time limit ran out
    }
    int ws = 0;
    waitpid(pid_, &ws, 0);
    pid_ = -1;
    status = WIFEXITED(ws) ? WEXITSTATUS(ws) : -1;
  }

  std::string out, err;
  int status = -1;

 private:
  // Waits for data on either stream; false when both ended or time is up.
  bool pump() {
    pollfd fds[2];
    int nfds = 0;
    if (out_fd_ >= 0) fds[nfds++] = {out_fd_, POLLIN, 0};
    if (err_fd_ >= 0) fds[nfds++] = {err_fd_, POLLIN, 0};
    if (nfds == 0) return false;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline_ - std::chrono::steady_clock::now()).count();
    if (left <= 0 || poll(fds, nfds, static_cast<int>(left)) <= 0) return false;
    for (int k = 0; k < nfds; k++) {
      if (fds[k].revents == 0) continue;
      int& fd = fds[k].fd == out_fd_ ? out_fd_ : err_fd_;
      std::string& text = fds[k].fd == out_fd_ ? out : err;
      char buf[4096];
      ssize_t n = read(fd, buf, sizeof buf);
      if (n > 0) {
        text.append(buf, static_cast<size_t>(n));
      } else {
        close(fd);
        fd = -1;
      }
    }
    return true;
  }

  pid_t pid_ = -1;
  int out_fd_ = -1, err_fd_ = -1;
  std::chrono::steady_clock::time_point deadline_;
};

// -------------------------------------------------------- masked compare
// `expected` is literal text except for these fields:
//   {W.D}  W characters holding a non-negative number with D decimals,
//          right-aligned (a clock-dependent solve time or average);
//   {L}    the rest of a line: at least one character, no line end.
std::string visible(const std::string& s) {
  std::string r;
  for (char c : s) {
    if (c == '\n') r += "\\n";
    else if (c == '\t') r += "\\t";
    else r += c;
  }
  return r;
}

bool number_field(const std::string& f, int decimals) {
  size_t k = 0;
  while (k < f.size() && f[k] == ' ') k++;
  size_t digits = k;
  while (k < f.size() && std::isdigit(static_cast<unsigned char>(f[k]))) k++;
  if (k == digits || k >= f.size() || f[k] != '.') return false;
  k++;
  size_t dec = k;
  while (k < f.size() && std::isdigit(static_cast<unsigned char>(f[k]))) k++;
  return k == f.size() && static_cast<int>(k - dec) == decimals;
}

testing::AssertionResult matches(const std::string& expected, const std::string& actual) {
  size_t e = 0, a = 0;
  auto fail = [&](const char* what) {
    return testing::AssertionFailure()
           << what << " at byte " << a << " of the actual text\n  expected: " << visible(expected)
           << "\n  actual:   " << visible(actual);
  };
  while (e < expected.size()) {
    if (expected[e] == '{') {
      size_t close = expected.find('}', e);
      std::string field = expected.substr(e + 1, close - e - 1);
      e = close + 1;
      if (field == "L") {
        size_t end = actual.find('\n', a);
        if (end == std::string::npos) end = actual.size();
        if (end == a) return fail("empty line text");
        a = end;
        continue;
      }
      size_t width = std::stoul(field);
      int decimals = std::stoi(field.substr(field.find('.') + 1));
      if (a + width > actual.size() || !number_field(actual.substr(a, width), decimals))
        return fail("no number field");
      a += width;
      continue;
    }
    if (a >= actual.size() || actual[a] != expected[e]) return fail("difference");
    a++;
    e++;
  }
  if (a != actual.size()) return fail("extra text");
  return testing::AssertionSuccess();
}

// ------------------------------------------------------ expected texts
const std::string dialogue =
    "\n An Optimal Recursive Search Procedure for the Deterministic Unconstrained Max-npv PSP\n"
    " " + std::string(87, '=') + "\n\n"
    "\n Number of first problem : "
    "\n Number of last problem : "
    "\n Percentage negative cash flows (e.g. 50) : "
    "\n Deadline (expressed as number of time units above critical path ) : "
    "\n Interest rate (e.g. 0.01) : "
    "\n\n filename  solution     npv     CPU time (sec)     error\n";
const std::string closing = "\n\n {L}\n e-mail: {L}\n website: {L}\n\n PRESS ANY KEY";
const std::string nan8 = "     nan";
const std::string time8 = "{8.3}";

std::string format(const char* fmt, auto... args) {
  char buf[256];
  std::snprintf(buf, sizeof buf, fmt, args...);
  return buf;
}

std::string average(const std::string& avg, const std::string& dev) {
  return "\n\n Average computation time (seconds)    : " + avg + "  (standard deviation : " + dev + ")";
}

// One instance on the console: its name, then the outcome.
std::string console_solved(int n, double npv) {
  return format("\n %8s", ("D" + std::to_string(n)).c_str()) + format("   optimal  %8.2f ", npv) + "{10.3}";
}
std::string console_failed(int n, const char* text) {
  return format("\n %8s", ("D" + std::to_string(n)).c_str()) + "\t\t\t\t\t " + text;
}
std::string file_solved(int n, int passes, double npv) {
  return format("\n%5d %5d %8.2f ", n, passes, npv) + "{11.4}";
}
std::string file_failed(int n, const char* text) { return format("\n%5d    ", n) + text; }

std::string info_head(int pctneg, int deadext, const char* interest) {
  return format("\nPercentage negative cash flows : %d \n", pctneg) +
         format("Deadline (number of time units above critical path) : %d\n", deadext) +
         "interest : " + interest + " \n" + "\ninformation about the generated cash flows" +
         "\nproblem number :   (number of activity / cash flow)";
}
std::string info_entry(int n, const std::string& flows = "") { return format("\n%4d : ", n) + flows; }

// The log entries of an instance of nract activities, drawn with the
// generator's own recurrence (reseeded with 0 for every instance).
std::string drawn_flows(int nract, int pctneg) {
  std::uint32_t s = 0;
  auto draw = [&] {
    s = s * 214013u + 2531011u;
    return static_cast<int>((s >> 16) & 0x7FFF);
  };
  std::string text;
  for (int i = 0; i < nract; i++) {
    int c = draw() % 500 + 1;
    if (draw() % 100 < pctneg) c = -c;
    if (i == 0 || i == nract - 1) c = 0;
    text += format("(%d/%d) ", i, c);
  }
  return text;
}

// ------------------------------------------------------------ instances
// The generator gives activities 1 to 4 the cash flows 239, 356, 366, 451
// in absolute value; activity 4 is negative for pctneg above 12, activity 1
// above 37, activities 2 and 3 only above 97 and 85.

// 0 -> 1 (3) -> 2 (2) -> 3. Activity 2's cash flow outweighs activity 1's,
// so nothing is worth delaying or advancing: 1 completes at 3 and 2 at 5 in
// every direction.
Instance chain() { return network({0, 3, 2, 0}, {{1, 2}, {2, 3}, {3, 4}}); }
double chain_npv(int cf1) { return cf1 * std::exp(-0.03) + 356 * std::exp(-0.05); }

// Four parallel activities of durations 2, 3, 4, 5 between the dummies;
// the dummy end can start at 5, so the deadline is 15 with deadext 10.
// Positive activities complete at once, negative ones at the deadline.
Instance star() {
  return network({0, 2, 3, 4, 5, 0},
                 {{1, 2}, {1, 3}, {1, 4}, {1, 5}, {2, 6}, {3, 6}, {4, 6}, {5, 6}});
}
double star_npv(int cf1) {
  double first = cf1 > 0 ? cf1 * std::exp(-0.02) : cf1 * std::exp(-0.15);
  return first + 356 * std::exp(-0.03) + 366 * std::exp(-0.04) - 451 * std::exp(-0.15);
}

// ------------------------------------------------------------------ tests

// Both directions of the search, through the whole program. With pctneg 30
// and 50 the search runs forward from the earliest starts: the star needs a
// second pass after its negative activities are delayed to the deadline.
// With 70 it runs backward from the latest starts: the chain is advanced
// once (2 passes) and the star twice (3 passes).
TEST(EndToEnd, SolvesABatchInBothDirections) {
  struct Case {
    int pctneg, cf1, chain_passes, star_passes;
  } cases[] = {{30, 239, 1, 2}, {50, -239, 1, 2}, {70, -239, 2, 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pctneg);
    ScratchDir dir;
    chain().write(1);
    star().write(2);
    Program p(format("1 2 %d 10 0.01\n", c.pctneg));
    p.finish();
    EXPECT_EQ(p.status, 10);
    EXPECT_EQ(p.err, "");
    std::string avg = average(time8, time8);
    EXPECT_TRUE(matches(dialogue + console_solved(1, chain_npv(c.cf1)) +
                            console_solved(2, star_npv(c.cf1)) + avg + closing,
                        p.out));
    EXPECT_TRUE(matches(file_solved(1, c.chain_passes, chain_npv(c.cf1)) +
                            file_solved(2, c.star_passes, star_npv(c.cf1)) + avg,
                        read_file("output.txt")));
    std::string f1 = format("(1/%d) ", c.cf1);
    EXPECT_EQ(read_file("info.out"),
              info_head(c.pctneg, 10, "0.010000") + info_entry(1, "(0/0) " + f1 + "(2/356) (3/0) ") +
                  info_entry(2, "(0/0) " + f1 + "(2/356) (3/366) (4/-451) (5/0) "));
  }
}

// Ranges that try no instance, one, only missing ones, the top of the int
// range (the loop must stop after 2147483647), and negative numbers. The
// average line is known exactly when at most one instance was solved.
TEST(EndToEnd, RangesOfInstanceNumbers) {
  struct Case {
    const char* input;
    std::vector<int> present;  // numbers that get the chain instance
    std::string console, file, info, avg;
  } cases[] = {
      {"2 1 50 10 0.01\n", {1, 2}, "", "", "", average(nan8, nan8)},
      {"2 2 50 10 0.01\n", {1, 2, 3}, console_solved(2, chain_npv(-239)),
       file_solved(2, 1, chain_npv(-239)), info_entry(2, "(0/0) (1/-239) (2/356) (3/0) "),
       average(time8, nan8)},
      {"1 3 50 10 0.01\n", {}, console_failed(1, "not found") + console_failed(2, "not found") +
       console_failed(3, "not found"),
       file_failed(1, "problem not found") + file_failed(2, "problem not found") +
       file_failed(3, "problem not found"),
       info_entry(1) + info_entry(2) + info_entry(3), average(nan8, nan8)},
      {"2147483646 2147483647 50 10 0.01\n", {},
       console_failed(2147483646, "not found") + console_failed(2147483647, "not found"),
       "\n2147483646    problem not found\n2147483647    problem not found",
       "\n2147483646 : \n2147483647 : ", average(nan8, nan8)},
      {"-3 -2 50 10 0.01\n", {-3}, "\n      D-3" + format("   optimal  %8.2f ", chain_npv(-239)) +
       "{10.3}\n      D-2\t\t\t\t\t not found",
       "\n   -3     1 " + format("%8.2f ", chain_npv(-239)) + "{11.4}\n   -2    problem not found",
       "\n  -3 : (0/0) (1/-239) (2/356) (3/0) \n  -2 : ", average(time8, nan8)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    ScratchDir dir;
    for (int n : c.present) chain().write(n);
    Program p(c.input);
    p.finish();
    EXPECT_EQ(p.status, 10);
    EXPECT_EQ(p.err, "");
    EXPECT_TRUE(matches(dialogue + c.console + c.avg + closing, p.out));
    std::string out = read_file("output.txt");
    EXPECT_TRUE(matches(c.file + c.avg, out));
    EXPECT_EQ(read_file("info.out"), info_head(50, 10, "0.010000") + c.info);
    if (c.avg == average(time8, nan8)) {
      // One solved instance, in the first row: the average is its time,
      // rounded to 3 places where the row has 4 (a time such as 0.00049...
      // shows as 0.0005 in the row and 0.000 in the average).
      std::string label = "(seconds)    : ";
      size_t at = out.find(label) + label.size();
      EXPECT_NEAR(std::stod(out.substr(at, 8)), std::stod(out.substr(22, 11)), 0.00056);
    }
  }
}

// Text where a number is expected leaves that answer and every later one at
// 0: instance 0 only, no negative cash flows, deadline increment 0, interest
// 0 (so the value is the plain sum 239 + 356). The letter is the key byte.
// Each of the five answers gets its warning.
TEST(EndToEnd, LetterAsFirstAnswer) {
  ScratchDir dir;
  chain().write(0);
  Program p("x 2 3 4 5\n");
  p.finish();
  EXPECT_EQ(p.status, 'x');
  EXPECT_TRUE(p.err.starts_with(
      "gprnpv: warning: first problem: \"x\" is not a number; taken as 0, \"x\" left for the "
      "last problem\n"))
      << p.err;
  EXPECT_EQ(std::count(p.err.begin(), p.err.end(), '\n'), 5);
  EXPECT_TRUE(matches(dialogue + console_solved(0, 595.0) + average(time8, nan8) + closing, p.out));
  EXPECT_TRUE(matches(file_solved(0, 1, 595.0) + average(time8, nan8), read_file("output.txt")));
  EXPECT_EQ(read_file("info.out"),
            info_head(0, 0, "0.000000") + info_entry(0, "(0/0) (1/239) (2/356) (3/0) "));
}

// One run over every kind of row: solved, missing, too large, malformed,
// positive cycle, deadline out of range, no spanning tree, deadline too
// tight, no displacement arc. Files refused before any cash flow is drawn
// leave only their entry head in info.out; the others have their flows.
TEST(EndToEnd, EveryFailureRowInOneRun) {
  ScratchDir dir;
  chain().write(1);
  write_file("D3.gpr", std::to_string(gpr::maxact + 1) + " 0\n");
  write_file("D4.gpr", "3 0\n0 1  2 1 3 0\n4 1\n");  // ends inside activity 2
  Instance cycle = network({0, 1, 1, 0}, {{1, 2}, {3, 4}});
  cycle.rel(2, 3, 1, 1, 1);  // 2 and 3 each start at least 1 after the other
  cycle.rel(3, 2, 1, 1, 1);
  cycle.write(5);
  Instance distant;  // 500 finish-start steps of 200000: the end starts at 10^8
  distant.add(0);
  for (int k = 0; k < 500; k++) distant.add(100000);
  distant.add(0);
  distant.fs(1, 2);
  for (int k = 2; k <= 501; k++) distant.fs(k, k + 1, 100000);
  distant.write(6);
  network({0, 2, 3, 0}, {{1, 2}, {2, 4}}).write(7);  // 3 is in no relation: no tree reaches it
  // 2 -> end is start-start 0: the deadline counts the end at 0 (so 10),
  // but the search keeps the end after 2 has finished, at 20.
  Instance tight = network({0, 20, 0}, {{1, 2}});
  tight.rel(2, 3, 1, 1, 0);
  tight.write(8);
  network({0, 2, 0}, {{1, 2}, {1, 3}}).write(9);  // nothing bounds the delay of negative 2
  star().write(10);

  Program p("1 10 50 10 0.01\n");
  p.finish();
  EXPECT_EQ(p.status, 10);
  EXPECT_EQ(p.err, "gprnpv: D4.gpr: activity 2, entry 1: the file ends where the successor belongs\n");
  std::string avg = average(time8, time8);
  EXPECT_TRUE(matches(dialogue + console_solved(1, chain_npv(-239)) + console_failed(2, "not found") +
                          console_failed(3, "maxact too low") + console_failed(4, "invalid file") +
                          console_failed(5, "positive cycle") +
                          console_failed(6, "deadline out of range") +
                          console_failed(7, "no spanning tree") +
                          console_failed(8, "deadline too tight") +
                          console_failed(9, "no displacement arc") +
                          console_solved(10, star_npv(-239)) + avg + closing,
                      p.out));
  EXPECT_TRUE(matches(file_solved(1, 1, chain_npv(-239)) + file_failed(2, "problem not found") +
                          file_failed(3, "too many activities") +
                          file_failed(4, "invalid instance file") +
                          file_failed(5, "positive cycle in time lags") +
                          file_failed(6, "deadline out of range") +
                          file_failed(7, "no spanning tree") + file_failed(8, "deadline too tight") +
                          file_failed(9, "no displacement arc") + file_solved(10, 2, star_npv(-239)) +
                          avg,
                      read_file("output.txt")));
  std::string four = "(0/0) (1/-239) (2/356) (3/0) ", three = "(0/0) (1/-239) (2/0) ";
  EXPECT_EQ(read_file("info.out"),
            info_head(50, 10, "0.010000") + info_entry(1, four) + info_entry(2) + info_entry(3) +
                info_entry(4) + info_entry(5, four) + info_entry(6, drawn_flows(502, 50)) +
                info_entry(7, four) + info_entry(8, three) + info_entry(9, three) +
                info_entry(10, drawn_flows(6, 50)));
}

// The closing key is the byte that follows the last answer; at the end of
// the input it is 0. An unfinished dialogue leaves the rest of the answers
// at 0, here an empty range from 5 to 0, and the stray text is the key.
// Every answer not read whole has one warning line.
TEST(EndToEnd, ExitStatusIsTheByteAfterTheAnswers) {
  struct Case {
    const char* input;
    int status, warnings;
  } cases[] = {{"1 1 50 10 0.01\n", 10, 0}, {"1 1 50 10 0.01x", 120, 1}, {"1 1 50 10 0.01", 0, 0},
               {"1 1 50 10 0.01 \n", 32, 0}, {"5 q\n", 113, 4}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    ScratchDir dir;
    Program p(c.input);
    p.finish();
    EXPECT_EQ(p.status, c.status);
    EXPECT_EQ(std::count(p.err.begin(), p.err.end(), '\n'), c.warnings) << p.err;
  }
}

// Answers not read whole: the values and the key byte are those of scanf
// (info.out shows the values), and each such answer names its question on
// standard error. "10.0" gives the deadline 10 and leaves ".0", which the
// interest question reads as 0; " 0.01" stays in the input, so the key is
// the blank.
TEST(EndToEnd, AnswersNotReadWhole) {
  struct Case {
    const char* input;
    int pctneg, deadext;
    const char* interest;
    int status;
    const char* err;
  } cases[] = {
      {"1 1 50 10.0 0.01", 50, 10, "0.000000", ' ',
       "gprnpv: warning: deadline: \"10.0\" is not read whole; taken as 10, \".0\" left for the "
       "interest rate\n"
       "gprnpv: warning: interest rate: \".0\" (left over by the previous answer) read as the "
       "answer; taken as 0\n"},
      {"1 1 50 10 0.01x", 50, 10, "0.010000", 'x',
       "gprnpv: warning: interest rate: \"0.01x\" is not read whole; taken as 0.01, \"x\" left in "
       "the input\n"},
      {"1 1 50 -x 0.01\n", 50, 0, "0.000000", 'x',
       "gprnpv: warning: deadline: \"-x\" is not a number; taken as 0, \"x\" left for the interest "
       "rate\n"
       "gprnpv: warning: interest rate: \"x\" (left over by the previous answer) is not a number; "
       "taken as 0, \"x\" left in the input\n"},
      {"1 1 50\n", 50, 0, "0.000000", 0,
       "gprnpv: warning: deadline: no answer (end of input); taken as 0\n"
       "gprnpv: warning: interest rate: no answer (end of input); taken as 0\n"},
      {"1 1 70 1e2 5e-3\n", 70, 1, "0.000000", 'e',
       "gprnpv: warning: deadline: \"1e2\" is not read whole; taken as 1, \"e2\" left for the "
       "interest rate\n"
       "gprnpv: warning: interest rate: \"e2\" (left over by the previous answer) is not a number; "
       "taken as 0, \"e2\" left in the input\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    ScratchDir dir;
    Program p(c.input);
    p.finish();
    EXPECT_EQ(p.status, c.status);
    EXPECT_EQ(p.err, c.err);
    EXPECT_TRUE(matches(dialogue + console_failed(1, "not found") + average(nan8, nan8) + closing,
                        p.out));
    EXPECT_EQ(read_file("info.out"), info_head(c.pctneg, c.deadext, c.interest) + info_entry(1));
  }
}

// With any argument gprnpv runs no batch: output.txt and info.out stay as
// they are, whatever the input holds.
TEST(EndToEnd, ArgumentsTouchNoFile) {
  struct Case {
    std::vector<std::string> args;
    int status;
    bool out, err;  // text on standard output, one line on standard error
  } cases[] = {
      {{"--help"}, 0, true, false},        {{"-h"}, 0, true, false},
      {{"--version"}, 0, true, false},     {{"--bogus"}, 2, false, true},
      {{"1", "1"}, 2, false, true},        {{"--help", "x"}, 2, false, true},
      {{"--version=2"}, 2, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0]);
    ScratchDir dir;
    chain().write(1);
    write_file("output.txt", "earlier results\n");
    write_file("info.out", "earlier log\n");
    Program p("1 1 50 10 0.01\n", c.args);
    p.finish();
    EXPECT_EQ(p.status, c.status);
    EXPECT_EQ(read_file("output.txt"), "earlier results\n");
    EXPECT_EQ(read_file("info.out"), "earlier log\n");
    EXPECT_EQ(!p.out.empty(), c.out) << p.out;
    if (c.err) {
      EXPECT_TRUE(p.err.starts_with("gprnpv: ")) << p.err;
      EXPECT_EQ(std::count(p.err.begin(), p.err.end(), '\n'), 1) << p.err;
    } else {
      EXPECT_EQ(p.err, "");
    }
  }
  ScratchDir dir;
  Program version("", {"--version"});
  version.finish();
  EXPECT_EQ(version.out, std::string("gprnpv ") + gpr::version_text() + "\n");
  Program help("", {"--help"});
  help.finish();
  for (const char* word : {"output.txt", "info.out", "D<first>.gpr", "interest", "gprnpv-convert",
                           "gprnpv-generate", "gprnpv-check", "gprnpv-sweep"})
    EXPECT_NE(help.out.find(word), std::string::npos) << word;
}

// Relations listed into the dummy start or out of the dummy end are named
// after the instance's row, in file numbering; the rows stay as they are.
// Not named: a relation without a lag cell, a self-relation, and the end
// back to the start with a bound the deadline already implies.
TEST(EndToEnd, RelationsLeftOutAreNamed) {
  ScratchDir dir;
  Instance in = chain();  // 1 -> 2 -> 3 -> 4
  in.rel(2, 1, 1, 1, -5);   // into the start: left out
  in.rel(3, 1, 0, 0, 0);    // no lag cell
  in.rel(4, 2, 1, 1, -50);  // out of the end: left out
  in.rel(4, 4, 1, 1, 0);    // self
  in.rel(4, 1, 1, 1, -1000);  // end -> start, looser than the deadline
  in.rel(4, 3, 1, 1, -60);  // left out, listed twice
  in.rel(4, 3, 1, 1, -70);
  in.write(1);
  Instance many;  // a chain of 12; 2..11 and the end back to the start
  for (int k = 1; k <= 12; k++) many.add(k == 1 || k == 12 ? 0 : 1);
  for (int k = 1; k < 12; k++) many.fs(k, k + 1);
  for (int k = 2; k <= 11; k++) many.rel(k, 1, 1, 1, -200);
  many.rel(12, 1, 1, 1, -15);  // end -> start, above -deadline (-20)
  many.write(2);
  chain().write(3);

  Program p("1 3 50 10 0.01\n");
  p.finish();
  EXPECT_EQ(p.status, 10);
  EXPECT_EQ(p.err,
            "gprnpv: D1.gpr: warning: the search leaves out 3 relations into the dummy start or "
            "out of the dummy end: 2->1, 4->2, 4->3\n"
            "gprnpv: D2.gpr: warning: the search leaves out 11 relations into the dummy start or "
            "out of the dummy end: 2->1, 3->1, 4->1, 5->1, 6->1, 7->1, 8->1, 9->1 and 3 more\n");
}

// While instance 2 is being read, instance 1 is complete on disk: its row
// in output.txt (closed after each instance) and its cash flows in info.out
// (flushed after each instance). D2.gpr is a named pipe that nobody writes,
// so the program waits on it with instance 1 done.
TEST(EndToEnd, FilesAreCompleteAfterEachInstance) {
  ScratchDir dir;
  chain().write(1);
  ASSERT_EQ(mkfifo("D2.gpr", 0600), 0);
  Program p("1 2 50 10 0.01\n");
  ASSERT_TRUE(p.read_until("\n       D2")) << visible(p.out);
  EXPECT_TRUE(matches(file_solved(1, 1, chain_npv(-239)), read_file("output.txt")));
  std::string done = info_head(50, 10, "0.010000") + info_entry(1, "(0/0) (1/-239) (2/356) (3/0) ");
  std::string info = read_file("info.out");
  // The head of entry 2 may or may not have reached the file yet.
  EXPECT_TRUE(info == done || info == done + info_entry(2)) << visible(info);
}

// A results file that cannot be created or written stops the run at once:
// one line on standard error naming the file and the reason, status 1.
void expect_write_failure(const Program& p, const char* name, int error) {
  EXPECT_EQ(p.status, 1);
  EXPECT_EQ(std::count(p.err.begin(), p.err.end(), '\n'), 1) << p.err;
  EXPECT_EQ(p.err.back(), '\n');
  EXPECT_NE(p.err.find(name), std::string::npos) << p.err;
  EXPECT_NE(p.err.find(std::strerror(error)), std::string::npos) << p.err;
  EXPECT_EQ(p.out.find("PRESS ANY KEY"), std::string::npos);
}

TEST(EndToEnd, UnwritableResultFiles) {
  struct Case {
    const char* name;
    bool directory;  // else a link to a device that is always full
    int error;
  } cases[] = {{"output.txt", true, EISDIR},
               {"info.out", true, EISDIR},
               {"output.txt", false, ENOSPC},
               {"info.out", false, ENOSPC}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + (c.directory ? " directory" : " full"));
    ScratchDir dir;
    chain().write(1);
    if (c.directory)
      ASSERT_EQ(mkdir(c.name, 0700), 0);
    else
      ASSERT_EQ(symlink("/dev/full", c.name), 0);
    Program p("1 1 50 10 0.01\n");
    p.finish();
    expect_write_failure(p, c.name, c.error);
  }
}

TEST(EndToEnd, ReadOnlyFolder) {
  ScratchDir dir;
  chain().write(1);
  ASSERT_EQ(chmod(".", 0555), 0);
  int probe = open("probe", O_CREAT | O_WRONLY, 0600);
  if (probe >= 0) {
    close(probe);
    GTEST_SKIP() << "permissions are not enforced for this user";
  }
  Program p("1 1 50 10 0.01\n");
  p.finish();
  expect_write_failure(p, "output.txt", EACCES);
}

}  // namespace
