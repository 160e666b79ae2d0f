// test_pty.cpp: runs the gprnpv program on a pseudo-terminal, the way a user
// at a console meets it: each prompt must show before its answer is typed,
// the closing key is taken without Enter and without echo, and the terminal
// settings are back as they were afterwards, also when the program is
// interrupted during the key wait. Every wait is bounded by a time limit.
#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "testutil.h"

namespace {

using Clock = std::chrono::steady_clock;

// The program as the child of a pseudo-terminal; the test holds the master
// side and so plays the user at the keyboard.
class Terminal {
 public:
  Terminal() {
    pid_ = forkpty(&master_, nullptr, nullptr, nullptr);
    if (pid_ < 0) std::abort();
    if (pid_ == 0) {
      execl(GPRNPV_BIN, "gprnpv", static_cast<char*>(nullptr));
      _exit(127);
    }
    deadline_ = Clock::now() + std::chrono::seconds(60);
  }
  ~Terminal() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    close(master_);
  }

  // Collects the screen text until it holds `text`; false on the time limit
  // or at the end of the output.
  bool wait_for(const std::string& text) {
    while (screen.find(text, seen_) == std::string::npos)
      if (!pump()) return false;
    seen_ = screen.find(text, seen_) + text.size();
    return true;
  }

  void type(const std::string& keys) {
    ASSERT_EQ(write(master_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
  }

  // The settings of the terminal as the program sees them (on Linux the
  // master side reports those of its slave).
  termios settings() const {
    termios t{};
    EXPECT_EQ(tcgetattr(master_, &t), 0);
    return t;
  }

  // Waits until the program has switched off line input, that is until it
  // waits for its single key.
  bool wait_for_key_mode() {
    while (Clock::now() < deadline_) {
      if ((settings().c_lflag & ICANON) == 0) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }

  // Reads the rest of the output and reaps the program; the wait status, or
  // -1 when it did not end in time.
  int finish() {
    while (pump()) {
    }
    int ws = 0;
    while (Clock::now() < deadline_) {
      pid_t r = waitpid(pid_, &ws, WNOHANG);
      if (r == pid_) {
        pid_ = -1;
        return ws;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return -1;
  }

  pid_t pid() const { return pid_; }
  std::string screen;

 private:
  // One read from the master; false at the end (the slave side closed) or on
  // the time limit.
  bool pump() {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - Clock::now()).count();
    pollfd fd{master_, POLLIN, 0};
    if (left <= 0 || poll(&fd, 1, static_cast<int>(left)) <= 0) return false;
    char buf[4096];
    ssize_t n = read(master_, buf, sizeof buf);
    if (n <= 0) return false;  // EIO once the program has closed the terminal
    screen.append(buf, static_cast<size_t>(n));
    return true;
  }

  pid_t pid_ = -1;
  int master_ = -1;
  size_t seen_ = 0;  // the screen text up to here has been matched
  Clock::time_point deadline_;
};

const char* const prompts[] = {
    "Number of first problem : ", "Number of last problem : ",
    "Percentage negative cash flows (e.g. 50) : ",
    "Deadline (expressed as number of time units above critical path ) : ",
    "Interest rate (e.g. 0.01) : "};
const char* const answers[] = {"1\n", "1\n", "50\n", "10\n", "0.01\n"};

// Plays the dialogue: every prompt must be on the screen before its answer
// is typed, then the instance row and the closing key wait.
void answer_dialogue(Terminal& t) {
  for (int k = 0; k < 5; k++) {
    ASSERT_TRUE(t.wait_for(prompts[k])) << "prompt " << k << " not shown:\n" << t.screen;
    t.type(answers[k]);
  }
  ASSERT_TRUE(t.wait_for("D1   optimal")) << t.screen;
  ASSERT_TRUE(t.wait_for("PRESS ANY KEY")) << t.screen;
  ASSERT_TRUE(t.wait_for_key_mode()) << "line input never switched off";
}

testutil::Instance chain() {
  testutil::Instance in;
  int s = in.add(0), a = in.add(3), b = in.add(2), e = in.add(0);
  in.fs(s, a);
  in.fs(a, b);
  in.fs(b, e);
  return in;
}

TEST(Terminal, DialogueAndSingleKeyWithoutEcho) {
  testutil::ScratchDir dir;
  chain().write(1);
  Terminal t;
  termios before = t.settings();
  ASSERT_NE(before.c_lflag & ICANON, 0u);
  ASSERT_NE(before.c_lflag & ECHO, 0u);
  answer_dialogue(t);
  if (HasFatalFailure()) return;
  size_t key_wait = t.screen.size();
  t.type("q");  // no Enter
  int ws = t.finish();
  ASSERT_TRUE(WIFEXITED(ws)) << "program did not end after one key";
  EXPECT_EQ(WEXITSTATUS(ws), 'q');
  EXPECT_EQ(t.screen.find('q', key_wait), std::string::npos) << "key echoed";
  termios after = t.settings();
  EXPECT_EQ(after.c_lflag & (ICANON | ECHO), before.c_lflag & (ICANON | ECHO));
}

TEST(Terminal, SettingsRestoredWhenInterruptedAtTheKeyWait) {
  testutil::ScratchDir dir;
  chain().write(1);
  Terminal t;
  termios before = t.settings();
  answer_dialogue(t);
  if (HasFatalFailure()) return;
  ASSERT_EQ(kill(t.pid(), SIGINT), 0);
  int ws = t.finish();
  ASSERT_TRUE(WIFSIGNALED(ws)) << "wait status " << ws;
  EXPECT_EQ(WTERMSIG(ws), SIGINT);
  termios after = t.settings();
  EXPECT_EQ(after.c_lflag & (ICANON | ECHO), before.c_lflag & (ICANON | ECHO));
}

}  // namespace
