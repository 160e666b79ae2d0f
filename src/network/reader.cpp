// reader.cpp: the instance reader and the cash-flow generator.
//
// read_instance() turns instance number probnr into a ready network: the
// file "D<probnr>.gpr" is parsed twice, cash flows are drawn from the reseeded
// generator and logged to "info.out", the relations fill the lists and the
// lag matrix, and the temporal analysis yields the earliest starts and the
// deadline.
//
// The file is a stream of whitespace-separated integers, each read as "%d"
// reads it: white space skipped, an optional sign, at least one digit. The
// first pass checks the whole file and takes the durations; only a file that
// passes it has cash flows drawn and logged. The second pass builds the
// relations, which need the durations of successors that the file may list
// later; it reads the numbers that the first pass converted (see the
// number scanner). Every number that indexes an array or enters a sum is
// range-checked before use, so no file can make the program read or write
// outside its arrays, or overflow a 32-bit sum: |duration|, |lag| <= 100000
// keep every lag cell within 300000 and every start time within 3 * 10^8.
//
// Refused files, each with one row and no solve:
//   - no file: "not found";
//   - more than maxact activities (checked first, right after the count is
//     read): "maxact too low";
//   - anything malformed (see check_file): "invalid file", with the reason
//     and its place in failwhy (activity and entry numbered from 1 as in the
//     file, or the byte offset of a number that does not convert). The text
//     is formatted only when a file is refused; the scanners merely leave
//     the place of the failing number behind;
//   - a cycle of positive total lag: "positive cycle";
//   - a deadline beyond +-10^8: "deadline out of range".
// An accepted instance has the relations the solve leaves out listed in
// leftout (find_leftout).
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "driver/driver.h"
#include "network/network.h"

namespace gpr {
namespace {

// ------------------------------------------------------ number scanner
// The file is read into one static buffer, sized once. A file that fits is
// read whole by one series of read() calls right after it is opened, and
// the first pass parses the bytes in memory, keeping every number it
// converts in `numbers`; the second pass reads the same numbers again, in
// the same order, from there instead of parsing the text twice. A larger
// file is read through the same buffer chunk by chunk, and the second pass
// reads and parses it again from its start. Either way the instance costs
// one open and nothing is allocated.
constexpr std::size_t bufsize = 1 << 20;
unsigned char buffer[bufsize + 1];  // a whole file ends with a 0 byte after it
const unsigned char* pos;  // next byte to parse
const unsigned char* lim;  // end of the bytes in the buffer
bool whole;                // the whole file is in the buffer
int source = -1;           // descriptor of the open instance file
std::int64_t chunkbase;    // file offset of buffer[0] (0 for a whole file)

// Left by a conversion that fails, for the reason text: the file offset of
// the text where a number belongs (after white space) and that text.
std::int64_t failoffset;
const unsigned char* failtext;

// Every number takes at least one digit and one separator, but the last, so
// a whole file holds at most (bufsize + 1) / 2 of them.
int numbers[bufsize / 2 + 1];
int nrnumbers;  // numbers converted by the first pass

// Reads up to `room` bytes into dst; fewer only at the end of the file or on
// a read error, which ends the input like the end of the file.
std::size_t read_bytes(unsigned char* dst, std::size_t room) {
  std::size_t got = 0;
  while (got < room) {
    ssize_t n = ::read(source, dst + got, room - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  return got;
}

// The second pass starts at the first number of the file: a whole file's
// numbers are already in `numbers`, a larger file is read again.
bool scan_start() {
  if (whole) return true;
  if (lseek(source, 0, SEEK_SET) != 0) return false;
  pos = lim = buffer;
  chunkbase = 0;
  return true;
}

// Opens the instance file and reads it, or its first chunk.
bool open_source(const char* name) {
  do source = ::open(name, O_RDONLY | O_CLOEXEC);
  while (source < 0 && errno == EINTR);
  if (source < 0) return false;
  std::size_t len = read_bytes(buffer, bufsize);
  whole = len < bufsize;
  chunkbase = 0;
  pos = buffer;
  lim = buffer + len;
  buffer[len] = 0;
  nrnumbers = 0;
  return true;
}

void close_source() {
  if (source >= 0) ::close(source);
  source = -1;
}

// Byte at pos, the next chunk read first where needed; -1 at the end.
int refill_at() {
  if (whole) return -1;
  chunkbase += lim - buffer;
  std::size_t len = read_bytes(buffer, bufsize);
  pos = buffer;
  lim = buffer + len;
  return len > 0 ? *pos : -1;
}
inline int at() { return pos < lim ? *pos : refill_at(); }

constexpr bool is_space(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// is_space as a table, for the first pass: one load and one test per byte.
struct SpaceTable {
  bool space[256];
  constexpr SpaceTable() : space() {
    for (int c = 0; c < 256; c++) space[c] = is_space(c);
  }
};
constexpr SpaceTable spacetable;

inline bool is_digit(int c) { return c >= '0' && c <= '9'; }

// A failed conversion of a whole file leaves its place (cold path).
[[gnu::cold, gnu::noinline]] bool whole_failure(const unsigned char* token) {
  pos = token;
  failoffset = token - buffer;
  failtext = token;
  return false;
}

// The end of a conversion that leaves the common case: its value, and the
// byte after it (nullptr when it fails, its place left by whole_failure).
struct Converted {
  const unsigned char* next;
  std::int64_t value;
};

// One "%d" conversion from `token`, the first byte after the white space:
// an optional sign, then digits, the value within the int range. The
// checked loop, for a sign or more than nine digits.
[[gnu::noinline]] Converted convert_checked(const unsigned char* token) {
  const unsigned char* p = token;
  bool negative = false;
  if (*p == '+' || *p == '-') {
    negative = *p == '-';
    p++;
  }
  if (!is_digit(*p)) return {nullptr, whole_failure(token)};
  std::int64_t m = 0;
  do {
    m = m * 10 + (*p - '0');
    if (m > 2147483648LL) return {nullptr, whole_failure(token)};
    p++;
  } while (is_digit(*p));
  if (negative) m = -m;
  if (m > 2147483647LL) return {nullptr, whole_failure(token)};
  return {p, m};
}

// The first pass over a whole file: its text from `p` on, every number it
// converts appended at `out` (the numbers of the second pass). Both live in
// registers while the pass runs.
//
// The 0 byte after the file stops every loop at its end, as any other byte
// that is neither white space nor a digit does, so no loop tests for the
// end. The common number, up to nine digits without a sign, cannot leave
// 32 bits and takes the unchecked loop; a sign or a tenth digit goes to
// convert_checked, which converts it again from its first byte.
struct TextCursor {
  const unsigned char* p;
  int* out;

  [[gnu::always_inline]] bool next(int& value) {
    while (spacetable.space[*p]) p++;
    const unsigned char* first = p;
    unsigned c = *p;
    std::uint32_t u = c - '0';
    if (u <= 9) {
      std::uint32_t d;
      while ((d = static_cast<std::uint32_t>(*++p) - '0') <= 9) u = u * 10 + d;  // wraps past 9 digits
      if (p - first <= 9) {
        value = static_cast<int>(u);
        *out++ = value;
        return true;
      }
    }
    Converted r = convert_checked(first);
    if (r.next == nullptr) return false;
    p = r.next;
    value = static_cast<int>(r.value);
    *out++ = value;
    return true;
  }
  bool skip(int count) {
    int v;
    for (int k = 0; k < count; k++)
      if (!next(v)) return false;
    return true;
  }
};

// The place of a failed conversion of a chunked file; its text from the
// token's start when that is still in the buffer, else from where it failed.
[[gnu::cold, gnu::noinline]] bool chunked_failure(std::int64_t token) {
  failoffset = token;
  failtext = token >= chunkbase ? buffer + (token - chunkbase) : pos;
  return false;
}

// The same conversion over a file read in chunks.
bool scan_chunked(int& value) {
  int c = at();
  while (is_space(c)) {
    pos++;
    c = at();
  }
  std::int64_t token = chunkbase + (pos - buffer);
  bool negative = false;
  if (c == '+' || c == '-') {
    negative = c == '-';
    pos++;
    c = at();
  }
  if (!is_digit(c)) return chunked_failure(token);
  std::int64_t m = 0;
  do {
    m = m * 10 + (c - '0');
    if (m > 2147483648LL) return chunked_failure(token);
    pos++;
    c = at();
  } while (is_digit(c));
  if (negative) m = -m;
  if (m > 2147483647LL) return chunked_failure(token);
  value = static_cast<int>(m);
  return true;
}

// Both passes over a file read in chunks.
struct ChunkCursor {
  bool next(int& value) { return scan_chunked(value); }
  bool skip(int count) {
    int v;
    for (int k = 0; k < count; k++)
      if (!next(v)) return false;
    return true;
  }
  bool entry(int* e) { return next(e[0]) && next(e[1]) && next(e[2]) && next(e[3]); }
};

// The second pass over a whole file: the numbers the first pass converted,
// from `q` up to `end`.
struct NumberCursor {
  const int* q;
  const int* end;

  [[gnu::always_inline]] bool next(int& value) {
    if (q == end) return false;
    value = *q++;
    return true;
  }
  bool skip(int count) {
    if (end - q < count) return false;
    q += count;
    return true;
  }
  // The four numbers of a successor entry, with one test of the end.
  [[gnu::always_inline]] bool entry(int* e) {
    if (end - q < 4) return false;
    std::memcpy(e, q, 4 * sizeof(int));
    q += 4;
    return true;
  }
};

// The number of activities, the first number of the file.
bool scan_count(int& value) {
  if (!whole) return scan_chunked(value);
  TextCursor text{pos, numbers};
  if (!text.next(value)) return false;
  pos = text.p;
  nrnumbers = static_cast<int>(text.out - numbers);
  return true;
}

bool tables_built = false;  // bit[] is in place

inline bool within(int v, int bound) {
  return static_cast<unsigned>(v) + static_cast<unsigned>(bound) <= 2u * static_cast<unsigned>(bound);
}

// ------------------------------------------------------- relation table
// The cell a relation from i (duration di) to j writes and its value, false
// for kinds and types outside 1..2 and 1..4, which carry no lag. Kind 1 (a
// minimal lag) bounds lag[i][j] by l, plus di for the types that start at
// i's finish (3, 4), less j's duration for those that end at j's finish
// (2, 4); kind 2 (a maximal lag) bounds lag[j][i] by the negative of the
// same sum. Both are formed by arithmetic: kind and type are as good as
// random from one relation to the next, and a branch on them would miss
// about every other time.
[[gnu::always_inline]] inline bool relation_target(int i, int di, int j, int kind, int type, int l,
                                                   int*& cell, int& value) {
  if (static_cast<unsigned>(kind) - 1u > 1u || static_cast<unsigned>(type) - 1u > 3u) return false;
  const int t = type - 1;
  const int sum = l + (t >> 1) * di - (t & 1) * dur[j];
  const int back = kind - 1;  // 1: the maximal lag bounds the cell j -> i
  value = (sum ^ -back) + back;
  const int row = i ^ ((i ^ j) & -back);
  cell = &lag[row][i ^ j ^ row];
  return true;
}

// Keep-the-larger: of several bounds on one pair the tightest stays, and a
// value at or below NOLAG changes nothing. So the order in which the values
// reach their cells is immaterial, and the second pass enters each a few
// relations late: a cell of the matrix (4 MB at 1000 activities, mostly
// outside the cache) is fetched when its relation is met and written when
// `lateby` more have been, so that the misses of those relations overlap
// instead of each stalling the pass. A pass that stops part way leaves its
// last values unwritten, which the matrix reset allows: the lists still name
// every cell written, and so does the log of cells below.
//
// Every cell a relation aims at is also logged for the reset before the
// next instance (see reset_lag): up to maxlogged of them; nrlogged counts on
// past that, and the reset then goes by the lists instead.
constexpr int maxlogged = 16 * maxact;
int* logged[maxlogged];
int nrlogged = 0;

constexpr unsigned lateby = 16;
struct LateCells {
  int* cell[lateby];
  int value[lateby];
  unsigned n = 0;  // values met so far; the last min(n, lateby) are pending

  [[gnu::always_inline]] void keep_larger(int* c, int v) {
    __builtin_prefetch(c, 1);
    if (nrlogged < maxlogged) logged[nrlogged] = c;
    nrlogged++;
    unsigned k = n++ % lateby;
    if (n > lateby && value[k] > *cell[k]) *cell[k] = value[k];
    cell[k] = c;
    value[k] = v;
  }
  void flush() {
    for (unsigned k = 0, m = n < lateby ? n : lateby; k < m; k++)
      if (value[k] > *cell[k]) *cell[k] = value[k];
    n = 0;
  }
};

// ------------------------------------------------------ refusal reasons
// The reason of a refused file, in failwhy: its place (the header, activity
// a or entry e of activity a, both numbered from 1 as the file counts them)
// and what is wrong there. Both run only when a file is refused; they
// return false for the caller to pass on.
void put_place(char*& p, const char* end, int activity, int entry) {
  int n = activity < 0 ? std::snprintf(p, end - p, "header: ")
          : entry < 0  ? std::snprintf(p, end - p, "activity %d: ", activity + 1)
                       : std::snprintf(p, end - p, "activity %d, entry %d: ", activity + 1, entry + 1);
  p += n > 0 && n < end - p ? n : 0;
}

[[gnu::cold, gnu::noinline, gnu::format(printf, 3, 4)]] bool refused(int activity, int entry,
                                                                    const char* fmt, ...) {
  char* p = failwhy;
  put_place(p, failwhy + sizeof failwhy, activity, entry);
  va_list args;
  va_start(args, fmt);
  std::vsnprintf(p, failwhy + sizeof failwhy - p, fmt, args);
  va_end(args);
  return false;
}

// A number that did not convert where `field` belongs: the end of the file,
// text that is not a number, or digits beyond the int range; the text is
// shown up to its next white space (at most 24 bytes, other than printable
// characters as '?').
[[gnu::cold, gnu::noinline]] bool bad_number(int activity, int entry, const char* field) {
  if (failtext == lim) return refused(activity, entry, "the file ends where %s belongs", field);
  char text[32];
  int n = 0;
  for (const unsigned char* q = failtext; q < lim && !is_space(*q) && n < 24; q++)
    text[n++] = *q >= 0x20 && *q < 0x7f ? static_cast<char>(*q) : '?';
  text[n] = '\0';
  const char* more = failtext + n < lim && !is_space(failtext[n]) ? "..." : "";
  const unsigned char* digit = failtext + (*failtext == '+' || *failtext == '-');
  if (digit < lim && is_digit(*digit))
    return refused(activity, entry, "%s \"%s%s\" at byte offset %lld is beyond the int range",
                   field, text, more, static_cast<long long>(failoffset));
  return refused(activity, entry, "%s is not a number at byte offset %lld: \"%s%s\"", field,
                 static_cast<long long>(failoffset), text, more);
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
// entries naming one successor; |duration| or |lag| above 100000. Each
// refusal states its reason in failwhy. It keeps the durations, and counts
// the entries per successor in nrpred.
//
// Both are written once for any cursor (TextCursor or ChunkCursor for the
// first pass, NumberCursor or ChunkCursor for the second); the counts and
// the cursor stay in locals, since every store into an int array might
// otherwise be taken to change them.
template <typename Cursor>
bool check_file(Cursor& in) {
  const int n = nract;
  if (n < 2) return refused(-1, -1, "fewer than 2 activities: %d", n);
  int res;
  if (!in.next(res)) return bad_number(-1, -1, "the number of resource types");
  nrres = res;
  if (res < 0) return refused(-1, -1, "negative number of resource types: %d", res);
  if (!in.skip(res)) return bad_number(-1, -1, "a resource number");
  for (int j = 0; j < n; j++) nrpred[j] = 0;
  for (int i = 0; i < n; i++) {
    int d, count;
    if (!in.next(d)) return bad_number(i, -1, "the duration");
    dur[i] = d;
    if (!within(d, maxabs)) return refused(i, -1, "duration %d beyond +-%d", d, maxabs);
    if (!in.skip(res)) return bad_number(i, -1, "a resource number");
    if (!in.next(count)) return bad_number(i, -1, "the number of entries");
    if (count < 0 || count > maxact)
      return refused(i, -1, "entry count %d outside 0..%d", count, maxact);
    for (int s = 0; s < count; s++) {
      int succ, kind, type, l;
      if (!in.next(succ)) return bad_number(i, s, "the successor");
      if (succ < 1 || succ > n) return refused(i, s, "successor %d outside 1..%d", succ, n);
      if (++nrpred[succ - 1] > maxact)
        return refused(i, s, "more than %d entries name activity %d", maxact, succ);
      if (!in.next(kind)) return bad_number(i, s, "the kind");
      if (!in.next(type)) return bad_number(i, s, "the type");
      if (!in.next(l)) return bad_number(i, s, "the lag");
      if (!within(l, maxabs)) return refused(i, s, "lag %d beyond +-%d", l, maxabs);
    }
  }
  return true;
}

// The first pass from the second number of the file on.
bool first_pass() {
  if (!whole) {
    ChunkCursor in;
    return check_file(in);
  }
  TextCursor in{pos, numbers + nrnumbers};
  bool ok = check_file(in);
  pos = in.p;
  nrnumbers = static_cast<int>(in.out - numbers);
  return ok;
}

// ------------------------------------------------------ lag matrix reset
// Each instance needs every cell of rows and columns 0..nract at NOLAG, the
// diagonal at 0, before its relations are entered; no operation reads a
// cell beyond them. Rewriting them all would cost four megabytes of stores
// per instance of 1000 activities, so the reader keeps the matrix clean
// instead: every cell of rows and columns 0..cleanto holds its reset value,
// except cells that the last instance whose relations were entered (`lastn`
// activities) may have written. Those are put back before the next one:
//   - its relations: the cells logged as the relations were entered, or,
//     when there were more than the log holds, lag[i][j] and lag[j][i] for
//     each entry j of suc[i] (one of the two was written); the lists of
//     activities 1..lastn-2 are still as that instance's read left them, and
//     of a read that stopped part way they name every cell written and at
//     worst some that were not;
//   - rows and columns 0 and lastn-1, over 0..lastn-1: the relations of the
//     two dummies (the closing arc replaces the dummy end's list), the
//     normalised arcs from the dummy start and into the dummy end, and the
//     closing arc itself.
// The reader, the normalisation and the closing arc are the only writers of
// lag, so this restores every cell in use. An instance larger than any
// before first extends the clean square to its size.
int cleanto = -1;  // rows and columns 0..cleanto are clean but for lastn's cells
int lastn = 0;

// A row of NOLAG cells, the source of the rows the reset rewrites whole.
struct NolagRow {
  int cell[maxact + 1];
  constexpr NolagRow() : cell() {
    for (int& c : cell) c = NOLAG;
  }
};
constexpr NolagRow nolagrow;

// Cells from..last of row i at NOLAG, by one copy; the diagonal is left to
// the caller.
inline void clear_row(int i, int from, int last) {
  std::memcpy(&lag[i][from], &nolagrow.cell[from], sizeof(int) * (last + 1 - from));
}

// The rows of the big matrices that an instance larger than any before
// brings into use are touched for the first time by this read and its
// solve: rows 0..nract of lag, whole (the clean square grows to them), the
// first entries of the lists of suc and pred, the tree and subset rows that
// every solve clears. They are offered large pages first.
void back_rows_in_use() {
  const std::size_t rows = static_cast<std::size_t>(nract) + 1;
  prefer_large_pages(lag, sizeof lag, sizeof lag[0], rows, sizeof(int) * rows);
  prefer_large_pages(suc, sizeof suc, sizeof suc[0], rows, sizeof(int));
  prefer_large_pages(pred, sizeof pred, sizeof pred[0], rows, sizeof(int));
  prefer_large_pages(tree, sizeof tree, sizeof tree[0], rows, sizeof(word));
  prefer_large_pages(subset, sizeof subset, sizeof subset[0], rows, sizeof(word));
}

void reset_lag() {
  if (lastn > 0) {
    int end = lastn - 1;
    if (nrlogged <= maxlogged) {
      // A cell of the diagonal lies a multiple of maxact + 2 cells in.
      const auto first = reinterpret_cast<std::uintptr_t>(&lag[0][0]);
      constexpr std::uintptr_t diagonal = sizeof(int) * (maxact + 2);
      for (int k = nrlogged - 1; k >= 0; k--)
        *logged[k] = (reinterpret_cast<std::uintptr_t>(logged[k]) - first) % diagonal == 0 ? 0 : NOLAG;
    } else {
      for (int i = 1; i < end; i++) {
        int* row = lag[i];
        const int* list = suc[i];
        for (int s = nrsuc[i] - 1; s >= 0; s--) {
          int j = list[s];
          int value = i == j ? 0 : NOLAG;
          row[j] = value;
          lag[j][i] = value;
        }
      }
    }
    for (int k = 0; k <= end; k++) {
      lag[k][0] = NOLAG;
      lag[k][end] = NOLAG;
    }
    clear_row(0, 0, end);
    clear_row(end, 0, end);
    lag[0][0] = 0;
    lag[end][end] = 0;
  }
  if (nract > cleanto) {
    back_rows_in_use();
    for (int i = 0; i <= nract; i++) {
      clear_row(i, i <= cleanto ? cleanto + 1 : 0, nract);
      if (i > cleanto) lag[i][i] = 0;
    }
    cleanto = nract;
  }
  lastn = nract;
  nrlogged = 0;
}

[[gnu::cold, gnu::noinline]] bool changed(int activity) {
  return refused(activity, -1, "the file changed between the two passes of the reader");
}

// Second pass: lists and lag cells. The same checks guard every index again,
// so a file read in chunks, which may change between the passes, cannot
// break an invariant.
template <typename Cursor>
bool build_relations(Cursor& in) {
  const int n = nract, res = nrres;
  int count0, r;
  if (!in.next(count0) || count0 != n || !in.next(r) || r != res) return changed(-1);
  if (!in.skip(res)) return changed(-1);
  for (int i = n - 1; i >= 0; i--) nrpred[i] = 0;
  reset_lag();
  LateCells late;
  for (int i = 0; i < n; i++) {
    int d, count;
    if (!in.next(d) || !in.skip(res)) return changed(i);
    if (!in.next(count) || count < 0 || count > maxact) return changed(i);
    nrsuc[i] = count;
    const int di = dur[i];
    int* list = suc[i];
    for (int s = 0; s < count; s++) {
      int e[4];  // successor, kind, type, lag
      if (!in.entry(e) || e[0] < 1 || e[0] > n) return changed(i);
      int j = e[0] - 1;
      int np = nrpred[j];
      if (np >= maxact) return changed(i);
      list[s] = j;
      pred[j][np] = i;
      nrpred[j] = np + 1;
      if (!within(e[3], maxabs)) return changed(i);
      int* cell;
      int value;
      if (relation_target(i, di, j, e[1], e[2], e[3], cell, value)) late.keep_larger(cell, value);
    }
  }
  late.flush();
  return true;
}

bool second_pass() {
  if (!whole) {
    ChunkCursor in;
    return build_relations(in);
  }
  NumberCursor in{numbers, numbers + nrnumbers};
  return build_relations(in);
}

int refuse(int code) {
  close_source();
  report_read_failure(code);
  return 0;
}

// The log entries "(%d/%d) " of one instance, written with one call. Each
// entry is put together from two pieces of at most 8 bytes, each copied
// whole and the pointer advanced by its length: "(i/", the activity number
// counted up in place, and the cash flow's digits with ") " from a table
// (after a '-' when negative). An entry takes at most 13 characters (an
// activity number below 16000, a cash flow of at most 500 in magnitude), so
// 16 per activity leave room for the last copies.
char logtext[maxact * 16 + 8];

struct FlowTexts {
  char text[501][8];       // digits of m, then ") "
  unsigned char len[501];  // characters of text[m] in use
  constexpr FlowTexts() : text(), len() {
    for (int m = 0; m <= 500; m++) {
      char digits[3] = {};
      int n = 0;
      for (int v = m;; v /= 10) {
        digits[n++] = static_cast<char>('0' + v % 10);
        if (v < 10) break;
      }
      int k = 0;
      while (n > 0) text[m][k++] = digits[--n];
      text[m][k++] = ')';
      text[m][k++] = ' ';
      len[m] = static_cast<unsigned char>(k);
    }
  }
};
constexpr FlowTexts flowtexts;

// Counts the activity number of "(i/" in head[0..len) up by one.
inline void next_head(char* head, int& len) {
  int k = len - 2;  // last digit
  while (k >= 1 && head[k] == '9') head[k--] = '0';
  if (k >= 1) {
    head[k]++;
    return;
  }
  head[1] = '1';  // 9.. became 0..: one digit more
  head[len - 1] = '0';
  head[len] = '/';
  len++;
}

// Two draws per activity, the dummies included, then the dummies set to 0.
void draw_cash_flows() {
  static_assert(maxact < 100000, "activity numbers fit \"(%d/\" in 8 bytes");
  char* p = logtext;
  char head[8] = {'(', '0', '/'};
  int headlen = 3;
  const int n = nract, share = pctneg;
  for (int i = 0; i < n; i++) {
    int c = draw_random() % 500 + 1;
    if (draw_random() % 100 < share) c = -c;
    if (i == 0 || i == n - 1) c = 0;
    cf[i] = c;
    std::memcpy(p, head, 8);
    p += headlen;
    *p = '-';
    p += c < 0;
    int m = c < 0 ? -c : c;
    std::memcpy(p, flowtexts.text[m], 8);
    p += flowtexts.len[m];
    next_head(head, headlen);
  }
  *p = '\0';
  if (infofile != nullptr) file_printf(infofile, "info.out", "%s", logtext);
}

}  // namespace

int read_instance() {
  failwhy[0] = '\0';
  seed_random(0);
  std::snprintf(probname, sizeof probname, "%s%d", prefix, probnr);
  console_printf("\n %8s", probname);
  std::strcat(probname, ".gpr");

  if (!open_source(probname)) {
    report_read_failure(fail_notfound);
    return 0;
  }
  if (!scan_count(nract)) {
    bad_number(-1, -1, "the number of activities");
    return refuse(fail_invalid);
  }
  if (nract > maxact) {
    close_source();
    report_read_failure(fail_toolarge);
    return 0;
  }
  // bit[] never changes: built by the first read of the run.
  if (!tables_built) {
    build_bit_tables();
    tables_built = true;
  }
  if (!first_pass()) return refuse(fail_invalid);
  if (!scan_start()) {
    refused(-1, -1, "the file cannot be read again for the second pass");
    return refuse(fail_invalid);
  }
  draw_cash_flows();
  if (!second_pass()) return refuse(fail_invalid);
  close_source();

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
  find_leftout();
  return 1;
}

namespace {
unsigned char listed[maxact + 1];  // marks of find_leftout, 0 between calls
}  // namespace

int find_leftout() {
  int end = nract - 1;
  nrleftout = 0;
  for (int k = 0; k < nrpred[0]; k++) {
    int i = pred[0][k];
    int cell = lag[i][0];
    if (i == 0 || listed[i] || cell == NOLAG || (i == end && cell <= -deadline)) continue;
    listed[i] = 1;
    leftout[nrleftout][0] = i;
    leftout[nrleftout++][1] = 0;
  }
  for (int k = 0; k < nrleftout; k++) listed[leftout[k][0]] = 0;
  int first = nrleftout;
  for (int k = 0; k < nrsuc[end]; k++) {
    int j = suc[end][k];  // end->0 was met in pred[0]
    if (j == 0 || j == end || listed[j] || lag[end][j] == NOLAG) continue;
    listed[j] = 1;
    leftout[nrleftout][0] = end;
    leftout[nrleftout++][1] = j;
  }
  for (int k = first; k < nrleftout; k++) listed[leftout[k][1]] = 0;
  return nrleftout;
}

}  // namespace gpr
