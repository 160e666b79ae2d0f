// platform.cpp: console output, checked file output, the millisecond clock
// and the closing key read.
//
// Console text is written at once (the program makes stdout unbuffered), so
// every prompt shows before its answer is awaited and every instance name
// shows while that instance is read and solved.
//
// A file of results that cannot be created, written or closed ends the run
// with one line on standard error, naming the file and the system's reason,
// and exit status 1: the program never goes on while results are being lost.
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <termios.h>
#include <unistd.h>

#include "driver/driver.h"

namespace gpr {

std::FILE* console = stdout;

void console_printf(const char* fmt, ...) {
  if (console == nullptr) return;
  va_list args;
  va_start(args, fmt);
  std::vfprintf(console, fmt, args);
  va_end(args);
}

// The console may stand in the middle of a row; a line end there keeps the
// error, exactly one line on standard error, on a line of its own.
void fail_write(const char* name) {
  int err = errno;
  console_printf("\n");
  std::fprintf(stderr, "gprnpv: cannot write %s: %s\n", name,
               err != 0 ? std::strerror(err) : "write error");
  std::exit(1);
}

std::FILE* file_open(const char* name, const char* mode) {
  errno = 0;
  std::FILE* f = std::fopen(name, mode);
  if (f == nullptr) fail_write(name);
  return f;
}

void file_printf(std::FILE* f, const char* name, const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  errno = 0;
  int n = std::vfprintf(f, fmt, args);
  va_end(args);
  if (n < 0 || std::ferror(f)) fail_write(name);
}

void file_flush(std::FILE* f, const char* name) {
  errno = 0;
  if (std::fflush(f) != 0) fail_write(name);
}

void file_close(std::FILE* f, const char* name) {
  errno = 0;
  bool failed = std::ferror(f) != 0;
  if (std::fclose(f) != 0 || failed) fail_write(name);
}

// ---------------------------------------------------------------- clock
namespace {
const std::chrono::steady_clock::time_point origin = std::chrono::steady_clock::now();
}

int elapsed_ms() {
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now() - origin).count();
  return static_cast<int>(static_cast<std::uint32_t>(ms));
}

int ms_between(int from, int to) {
  return static_cast<int>(static_cast<std::uint32_t>(to) - static_cast<std::uint32_t>(from));
}

// ------------------------------------------------------------- key read
namespace {

struct termios saved_tty;
volatile std::sig_atomic_t tty_changed = 0;
constexpr int tty_signals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
struct sigaction old_actions[4];

// Restores the terminal, then lets the signal take its usual course.
extern "C" void restore_and_reraise(int sig) {
  if (tty_changed) tcsetattr(STDIN_FILENO, TCSANOW, &saved_tty);
  tty_changed = 0;
  std::signal(sig, SIG_DFL);
  std::raise(sig);
}

int read_terminal_key() {
  if (tcgetattr(STDIN_FILENO, &saved_tty) != 0) return -1;
  struct sigaction act;
  std::memset(&act, 0, sizeof act);
  act.sa_handler = restore_and_reraise;
  sigemptyset(&act.sa_mask);
  for (int k = 0; k < 4; k++) sigaction(tty_signals[k], &act, &old_actions[k]);

  struct termios raw = saved_tty;
  raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  tty_changed = 1;
  tcsetattr(STDIN_FILENO, TCSANOW, &raw);

  unsigned char c = 0;
  ssize_t n;
  do {
    n = read(STDIN_FILENO, &c, 1);
  } while (n < 0 && errno == EINTR);

  tcsetattr(STDIN_FILENO, TCSANOW, &saved_tty);
  tty_changed = 0;
  for (int k = 0; k < 4; k++) sigaction(tty_signals[k], &old_actions[k], nullptr);
  return n == 1 ? c : 0;
}

}  // namespace

int read_key() {
  if (isatty(STDIN_FILENO)) {
    int key = read_terminal_key();
    if (key >= 0) return key;
  }
  int c = std::getchar();
  return c == EOF ? 0 : c;
}

}  // namespace gpr
