// driver.h: the batch driver, the reporting of results and statistics, and
// the small platform layer (console, files, clock, key read).
//
// All output of the program goes through the functions below, so that every
// write to "output.txt" and "info.out" is checked: a file that cannot be
// created, written or closed ends the run at once with one line on standard
// error and exit status 1, because going on would silently lose results.
#ifndef GPRNPV_DRIVER_H
#define GPRNPV_DRIVER_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace gpr {

// ------------------------------------------------------------- batch
int run_batch();          // the program: dialogue, loop, summary; key value
void read_parameters();   // banner, the five questions, the column header
void reset_results();     // empties "output.txt" and zeroes the statistics

// --------------------------------------------------------- reporting
void report_result();            // one "optimal" row, statistics updated
void report_read_failure(int code);  // one failure row (fail_* of network.h)
void report_averages();          // average and deviation of the solve times
// The warning naming the relations of the instance in hand that the solve
// leaves out (leftout of network.h), on the diagnostics stream.
void report_leftout();

// Console and log texts of each failure code, for the README and the tests.
const char* failure_console_text(int code);
const char* failure_file_text(int code);

// ---------------------------------------------------------- platform
// Where console text goes: stdout for the program (unbuffered), or nullptr
// to silence the library in tools, tests and benchmarks.
extern std::FILE* console;
void console_printf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// Where the program's diagnostics go, one line each ("gprnpv: D7.gpr: ...":
// why a file is invalid, relations left out, answers not read whole):
// stderr for the program, nullptr (the default) to keep the library silent.
extern std::FILE* diagnostics;
void diag_printf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Checked file output. `name` is the file's name for the error line.
std::FILE* file_open(const char* name, const char* mode);
void file_printf(std::FILE* f, const char* name, const char* fmt, ...)
    __attribute__((format(printf, 3, 4)));
void file_flush(std::FILE* f, const char* name);
void file_close(std::FILE* f, const char* name);
[[noreturn]] void fail_write(const char* name);  // the error line, exit 1

// The results file of the instance in hand, as the batch keeps it:
// results_open opens outname for appending (creating it when missing) and
// results_close closes it again, around each instance. Rows go out with
// results_printf, each formatted into a static buffer and written with one
// write(): no stdio stream is made per instance and a row is in the file as
// soon as it is written. When outfile is set (library use), results_printf
// writes to it instead; when neither is open, nowhere.
void results_open();
void results_close();
void results_printf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// NaN printed without a sign, as "nan", wherever a value is printed.
double printable(double x);

// Processor time of the calling thread in nanoseconds
// (CLOCK_THREAD_CPUTIME_ID). A solve is timed as the difference of two
// readings on the thread that solves, so the time stays comparable on a
// busy machine and has no millisecond steps.
std::int64_t thread_cpu_ns();

// Large pages for the rows of a big matrix that an instance brings into use.
// Each small (4 KB) page of the fixed arrays costs a page fault the first
// time the process touches it, some 3400 faults for an instance of 1000
// activities, and on some virtual machines each fault costs 10 us or more.
// prefer_large_pages asks the system (madvise) to back rows 0..rows-1 of a
// matrix of `size` bytes, rows of `stride` bytes, with large pages, when
// each of those rows is written in its first `inrow` bytes at least: then
// every small page the rows span is touched anyway (what a row leaves
// unwritten is shorter than a page), and a large page costs no memory the
// small ones would not, but for the half page at most where the rows in use
// end (see large_page_span). A hint only: where the system has no large
// pages, or none free, the small ones are used as before.
struct page_span {
  std::uintptr_t from, to;  // large-page aligned, to >= from; empty when equal
};
// The large pages for the first `used` of `size` bytes at `base`: from base
// rounded up to a large page, to the large page boundary nearest to the end
// of those bytes.
page_span large_page_span(std::uintptr_t base, std::size_t size, std::size_t used);
void prefer_large_pages(const void* matrix, std::size_t size, std::size_t stride,
                        std::size_t rows, std::size_t inrow);
// The large pages that hold any byte of the `size` bytes at `array`, for
// small arrays that lie together and are touched nearly whole: one fault
// for each large page instead of one for each small page. What else shares
// those large pages becomes resident with them. A hint only, as above; it
// takes effect for a large page none of whose small pages has been touched.
page_span large_pages_around(std::uintptr_t array, std::size_t size);
void prefer_large_pages_around(const void* array, std::size_t size);

// The version of gprnpv and its tools, "1.1.0 (git c52f972)".
const char* version_text();

// The next byte an answer of the dialogue left unread, or -1 when none
// is left (read_parameters keeps it; read_key takes it before stdin).
int take_leftover_byte();

// One key: from a terminal without echo and without Enter (settings restored
// afterwards, also on an interrupt); otherwise the next byte of standard
// input (what the answers left over first). 0 at end of input.
int read_key();

}  // namespace gpr

#endif  // GPRNPV_DRIVER_H
