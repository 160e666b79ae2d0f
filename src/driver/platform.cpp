// platform.cpp: console output, checked file output, the thread's CPU-time
// clock, the closing key read and the large-page hint for the big matrices.
//
// Console text is written at once (the program makes stdout unbuffered), so
// every prompt shows before its answer is awaited and every instance name
// shows while that instance is read and solved.
//
// A file of results that cannot be created, written or closed ends the run
// with one line on standard error, naming the file and the system's reason,
// and exit status 1: the program never goes on while results are being lost.
// The results file of each instance is written through a descriptor rather
// than a stream (see results_open).
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <sys/mman.h>
#include <termios.h>
#include <unistd.h>

#include "driver/driver.h"
#include "network/network.h"

namespace gpr {

std::FILE* console = stdout;
std::FILE* diagnostics = nullptr;

void console_printf(const char* fmt, ...) {
  if (console == nullptr) return;
  va_list args;
  va_start(args, fmt);
  std::vfprintf(console, fmt, args);
  va_end(args);
}

// A console row is open until the next one begins with its line end. When
// the diagnostics and the console go to one terminal, a line end goes
// before the line instead of after it, so the line stands on its own and
// the row after it starts on the next line as usual.
void diag_printf(const char* fmt, ...) {
  if (diagnostics == nullptr) return;
  bool shared = console != nullptr && isatty(fileno(diagnostics)) && isatty(fileno(console));
  if (shared) std::fputc('\n', diagnostics);
  va_list args;
  va_start(args, fmt);
  std::vfprintf(diagnostics, fmt, args);
  va_end(args);
  if (!shared) std::fputc('\n', diagnostics);
  std::fflush(diagnostics);
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

// -------------------------------------------------------- results file
namespace {
int resultfd = -1;     // outname, open for appending while an instance runs
char rowtext[1024];    // one row; the longest, with a 309-digit npv, is < 400
}  // namespace

void results_open() {
  errno = 0;
  do resultfd = ::open(outname, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  while (resultfd < 0 && errno == EINTR);
  if (resultfd < 0) fail_write(outname);
}

void results_close() {
  if (resultfd < 0) return;
  errno = 0;
  int fd = resultfd;
  resultfd = -1;
  if (::close(fd) != 0 && errno != EINTR) fail_write(outname);
}

void results_printf(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  if (outfile != nullptr) {
    errno = 0;
    int n = std::vfprintf(outfile, fmt, args);
    va_end(args);
    if (n < 0 || std::ferror(outfile)) fail_write(outname);
    return;
  }
  if (resultfd < 0) {
    va_end(args);
    return;
  }
  int n = std::vsnprintf(rowtext, sizeof rowtext, fmt, args);
  va_end(args);
  if (n < 0 || static_cast<std::size_t>(n) >= sizeof rowtext) {
    errno = EOVERFLOW;
    fail_write(outname);
  }
  for (int done = 0; done < n;) {
    errno = 0;
    ssize_t w = ::write(resultfd, rowtext + done, static_cast<std::size_t>(n - done));
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) fail_write(outname);
    done += static_cast<int>(w);
  }
}

// ---------------------------------------------------------------- clock
// The thread's CPU-time clock, read directly (the program then needs
// nothing of the C++ runtime library, which would cost every run the time
// to load it).
std::int64_t thread_cpu_ns() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// ---------------------------------------------------------- large pages
page_span large_page_span(std::uintptr_t base, std::size_t size, std::size_t used) {
  constexpr std::uintptr_t large = largepagebytes;
  std::uintptr_t from = (base + large - 1) & ~(large - 1);
  std::uintptr_t to = (base + std::min(used, size) + large / 2) & ~(large - 1);
  return {from, std::max(from, to)};
}

page_span large_pages_around(std::uintptr_t array, std::size_t size) {
  constexpr std::uintptr_t large = largepagebytes;
  return {array & ~(large - 1), (array + size + large - 1) & ~(large - 1)};
}

void prefer_large_pages_around(const void* array, std::size_t size) {
#ifdef MADV_HUGEPAGE
  page_span s = large_pages_around(reinterpret_cast<std::uintptr_t>(array), size);
  if (s.to > s.from) madvise(reinterpret_cast<void*>(s.from), s.to - s.from, MADV_HUGEPAGE);
#else
  (void)array, (void)size;
#endif
}

void prefer_large_pages(const void* matrix, std::size_t size, std::size_t stride,
                        std::size_t rows, std::size_t inrow) {
#ifdef MADV_HUGEPAGE
  static const long smallpage = sysconf(_SC_PAGESIZE);
  if (smallpage <= 0 || stride - std::min(inrow, stride) >= static_cast<std::size_t>(smallpage))
    return;  // the rows in use leave whole small pages untouched
  page_span s = large_page_span(reinterpret_cast<std::uintptr_t>(matrix), size, stride * rows);
  if (s.to > s.from) madvise(reinterpret_cast<void*>(s.from), s.to - s.from, MADV_HUGEPAGE);
#else
  (void)matrix, (void)size, (void)stride, (void)rows, (void)inrow;
#endif
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
  int c = take_leftover_byte();
  if (c >= 0) return c;
  c = std::getchar();
  return c == EOF ? 0 : c;
}

}  // namespace gpr
