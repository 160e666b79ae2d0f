// reader.cpp: the instance reader and the cash-flow generator.
//
// read_instance() turns instance number probnr into a ready network: the
// file "D<probnr>.gpr" is read twice, cash flows are drawn from the reseeded
// generator and logged to "info.out", the relations fill the lists and the
// lag matrix, and the temporal analysis yields the earliest starts and the
// deadline.
//
// The file is a stream of whitespace-separated integers, each read as "%d"
// reads it: white space skipped, an optional sign, at least one digit. The
// first pass checks the whole file and takes the durations; only a file that
// passes it has cash flows drawn and logged. The second pass builds the
// relations, which need the durations of successors that the file may list
// later. Every number that indexes an array or enters a sum is range-checked
// before use, so no file can make the program read or write outside its
// arrays, or overflow a 32-bit sum: |duration|, |lag| <= 100000 keep every
// lag cell within 300000 and every start time within 3 * 10^8.
//
// Refused files, each with one row and no solve:
//   - no file: "not found";
//   - more than maxact activities (checked first, right after the count is
//     read): "maxact too low", the file closed by the report;
//   - anything malformed (see check_file): "invalid file";
//   - a cycle of positive total lag: "positive cycle";
//   - a deadline beyond +-10^8: "deadline out of range".
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "driver/driver.h"
#include "network/network.h"

namespace gpr {
namespace {

// ------------------------------------------------------ number scanner
// Reads integers from the open file through one fixed buffer.
constexpr std::size_t chunk = 1 << 16;
unsigned char buffer[chunk];
std::size_t bufpos, buflen;
bool bufend;
std::FILE* source;

void scan_from(std::FILE* f) {
  source = f;
  bufpos = buflen = 0;
  bufend = false;
}

// Next byte, not consumed; -1 at the end of the file or on a read error.
inline int peek_byte() {
  if (bufpos == buflen) {
    if (bufend) return -1;
    buflen = std::fread(buffer, 1, chunk, source);
    bufpos = 0;
    if (buflen == 0) {
      bufend = true;
      return -1;
    }
  }
  return buffer[bufpos];
}

inline bool is_space(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
inline bool is_digit(int c) { return c >= '0' && c <= '9'; }

// One "%d" conversion. False when no number converts here or the number
// does not fit a 32-bit int.
bool scan_int(int& value) {
  int c = peek_byte();
  while (is_space(c)) {
    bufpos++;
    c = peek_byte();
  }
  bool negative = false;
  if (c == '+' || c == '-') {
    negative = c == '-';
    bufpos++;
    c = peek_byte();
  }
  if (!is_digit(c)) return false;
  std::int64_t m = 0;
  while (is_digit(c)) {
    m = m * 10 + (c - '0');
    if (m > 2147483648LL) return false;
    bufpos++;
    c = peek_byte();
  }
  if (negative) m = -m;
  if (m > 2147483647LL) return false;
  value = static_cast<int>(m);
  return true;
}

bool skip_ints(int count) {
  int v;
  for (int k = 0; k < count; k++)
    if (!scan_int(v)) return false;
  return true;
}

inline bool within(int v, int bound) { return v >= -bound && v <= bound; }

// ------------------------------------------------------- relation table
// The cell a relation writes and its value; kinds and types outside 1..2 and
// 1..4 carry no lag. Keep-the-larger: of several bounds on one pair the
// tightest stays, and a value at or below NOLAG changes nothing.
void apply_relation(int i, int j, int kind, int type, int l) {
  int di = dur[i], dj = dur[j];
  int* cell;
  int value;
  if (kind == 1) {
    cell = &lag[i][j];
    switch (type) {
      case 1: value = l; break;
      case 2: value = l - dj; break;
      case 3: value = l + di; break;
      case 4: value = l + di - dj; break;
      default: return;
    }
  } else if (kind == 2) {
    cell = &lag[j][i];
    switch (type) {
      case 1: value = -l; break;
      case 2: value = dj - l; break;
      case 3: value = -(l + di); break;
      case 4: value = dj - di - l; break;
      default: return;
    }
  } else {
    return;
  }
  if (value > *cell) *cell = value;
}

// --------------------------------------------------------------- passes
// Both passes read the same numbers: nract, nrres, nrres resource numbers;
// then per activity its duration, nrres resource numbers, the number of
// successor entries and four numbers per entry (successor, kind, type,
// lag). Anything after the last activity record is not read.
//
// check_file (first pass, after nract) refuses: a number that does not
// convert or an early end of the file; nract < 2; nrres < 0; an entry count
// below 0 or above maxact; a successor outside 1..nract; more than maxact
// entries naming one successor; |duration| or |lag| above 100000. It keeps
// the durations, and counts the entries per successor in nrpred.
bool check_file() {
  if (nract < 2) return false;
  if (!scan_int(nrres) || nrres < 0 || !skip_ints(nrres)) return false;
  for (int j = 0; j < nract; j++) nrpred[j] = 0;
  for (int i = 0; i < nract; i++) {
    int count;
    if (!scan_int(dur[i]) || !within(dur[i], maxabs)) return false;
    if (!skip_ints(nrres)) return false;
    if (!scan_int(count) || count < 0 || count > maxact) return false;
    for (int s = 0; s < count; s++) {
      int succ, kind, type, l;
      if (!scan_int(succ) || succ < 1 || succ > nract) return false;
      if (++nrpred[succ - 1] > maxact) return false;
      if (!scan_int(kind) || !scan_int(type) || !scan_int(l)) return false;
      if (!within(l, maxabs)) return false;
    }
  }
  return true;
}

// Second pass: lists and lag cells. The same checks guard every index again,
// so a file changed between the two openings cannot break an invariant.
bool build_relations() {
  int n, r;
  if (!scan_int(n) || n != nract || !scan_int(r) || r != nrres) return false;
  if (!skip_ints(nrres)) return false;
  for (int i = nract - 1; i >= 0; i--) nrpred[i] = 0;
  // Only rows and columns 0..nract are ever read for this instance.
  for (int i = 0; i <= nract; i++) {
    for (int j = 0; j <= nract; j++) lag[i][j] = NOLAG;
    lag[i][i] = 0;
  }
  for (int i = 0; i < nract; i++) {
    int d, count;
    if (!scan_int(d) || !skip_ints(nrres)) return false;
    if (!scan_int(count) || count < 0 || count > maxact) return false;
    nrsuc[i] = count;
    for (int s = 0; s < count; s++) {
      int succ, kind, type, l;
      if (!scan_int(succ) || succ < 1 || succ > nract) return false;
      int j = succ - 1;
      if (nrpred[j] >= maxact) return false;
      suc[i][s] = j;
      pred[j][nrpred[j]++] = i;
      if (!scan_int(kind) || !scan_int(type) || !scan_int(l)) return false;
      if (!within(l, maxabs)) return false;
      apply_relation(i, j, kind, type, l);
    }
  }
  return true;
}

void close_probfile() {
  if (probfile != nullptr) std::fclose(probfile);
  probfile = nullptr;
}

int refuse(int code) {
  close_probfile();
  report_read_failure(code);
  return 0;
}

// Two draws per activity, the dummies included, then the dummies set to 0.
void draw_cash_flows() {
  for (int i = 0; i < nract; i++) {
    cf[i] = draw_random() % 500 + 1;
    if (draw_random() % 100 < pctneg) cf[i] = -cf[i];
    if (i == 0 || i == nract - 1) cf[i] = 0;
    if (infofile != nullptr) file_printf(infofile, "info.out", "(%d/%d) ", i, cf[i]);
  }
}

}  // namespace

int read_instance() {
  seed_random(0);
  std::snprintf(probname, sizeof probname, "%s%d", prefix, probnr);
  console_printf("\n %8s", probname);
  std::strcat(probname, ".gpr");

  probfile = std::fopen(probname, "r");
  if (probfile == nullptr) {
    report_read_failure(fail_notfound);
    return 0;
  }
  scan_from(probfile);
  if (!scan_int(nract)) return refuse(fail_invalid);
  if (nract > maxact) {
    report_read_failure(fail_toolarge);  // closes probfile
    return 0;
  }
  build_bit_tables();
  if (!check_file()) return refuse(fail_invalid);
  close_probfile();

  probfile = std::fopen(probname, "r");
  if (probfile == nullptr) return refuse(fail_invalid);
  draw_cash_flows();
  scan_from(probfile);
  if (!build_relations()) return refuse(fail_invalid);
  close_probfile();

  failcode = fail_none;
  compute_earliest_starts();
  if (failcode != fail_none) {
    report_read_failure(failcode);
    return 0;
  }
  std::int64_t dl = static_cast<std::int64_t>(st[nract - 1]) + deadext;
  if (dl < -maxdeadline || dl > maxdeadline) {
    report_read_failure(fail_deadline);
    return 0;
  }
  deadline = static_cast<int>(dl);
  normalise_dummy_arcs();
  return 1;
}

}  // namespace gpr
