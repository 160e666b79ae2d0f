// netgen.h: seeded random project networks in the D<n>.gpr instance format.
//
// A network is drawn from the options and its own instance number alone, so
// every file of a series can be made again on its own, byte for byte. By
// default every network is well-posed for the search:
//   - every activity lies on a chain of listed arcs with real lag cells from
//     the dummy start to the dummy end;
//   - every lag cell is met by the earliest-start schedule, so no cycle has a
//     positive length and the deadline is the earliest end plus the increment;
//   - the dummy start lists its successors with cells of at least 0 and the
//     dummy end is listed with cells of at least the duration of the tail;
//   - every number stays within the bounds the reader accepts.
// A maximal lag between two activities i and j is listed both ways, so the
// search sees both bounds of the pair: i lists j with the maximal lag (the
// bound on j), and j lists i with a maximal lag that states the pair's minimal
// distance from i to j (the bound on i).
//
// With `awkward` set, some activities also get the features the format
// permits but a clean network avoids: relations that set no lag (a kind or
// type outside the table), pairs listed twice, and maximal lags listed one
// way only. Their lag cells, where they have one, are still met by the
// earliest starts.
#ifndef GPRNPV_NETGEN_H
#define GPRNPV_NETGEN_H

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace netgen {

struct Options {
  std::uint64_t seed = 1;
  int min_activities = 10;     // real activities, the two dummies not counted
  int max_activities = 30;     // at most max_real_activities
  int min_arcs = 1;            // successor relations drawn per real activity
  int max_arcs = 3;
  double maxlag_share = 0.2;   // share of those relations that become a pair
                               // bounded both ways by maximal lags
  int type_weight[4] = {1, 1, 2, 1};  // start-start, start-finish,
                                      // finish-start, finish-finish
  int min_duration = 1;
  int max_duration = 10;
  int min_lag = 0;             // lags of the minimal relations
  int max_lag = 5;
  int nrres = 0;               // resource types
  bool awkward = false;
};

// Largest |duration| and |lag| a file may hold, and the activity limit:
// the real activities that a file for gprnpv of the same build (limit
// GPRNPV_MAXACT, dummies included) may hold, and how to build a larger one.
#ifndef GPRNPV_MAXACT
#define GPRNPV_MAXACT 1000
#endif
constexpr int maxabs = 100000;
constexpr int max_real_activities = GPRNPV_MAXACT - 2;
constexpr const char* larger_limit_hint =
    "a build with a larger limit reads more: GPRNPV_MAXACT=5000 bash setup.sh examples";

// Empty when the options can be used; otherwise a one-line reason.
std::string check_options(const Options& opt);

// The text of the instance with number `number` of the series `opt` defines.
// The options must pass check_options.
std::string generate_instance(const Options& opt, int number);

// Writes `text` to dir/name through a temporary file in the same folder,
// renamed into place when complete, so no half-written file is ever seen.
// False, with the system's reason in `why`, when that fails.
bool write_atomic(const std::string& dir, const std::string& name, const std::string& text,
                  std::string& why);

// Writes D<first>.gpr .. D<first+count-1>.gpr into folder `dir` (which must
// exist). Each file is written under a temporary name in the folder and
// renamed when complete, so no half-written instance is ever seen. Returns
// an empty string, or a one-line reason for the first file that failed.
std::string write_instances(const Options& opt, int first, int count, const std::string& dir);

// Activities of a D<n>.gpr text (file numbers, from 1) that no chain of
// listed relations joins to a dummy: `from_start` lacks a path from the
// dummy start, `to_end` a path to the dummy end. A list entry i->j carries a
// relation when the pair has a lag cell in that direction after the whole
// list is read: a minimal lag of a known type listed by i, a maximal lag of
// a known type listed by j naming i, and every entry out of the dummy start
// or into the dummy end (the reader raises those cells). Entries out of the
// dummy end and into the dummy start do not count: the closing arc of the
// search replaces them. Linear in the size of the text, no activity limit;
// a text that does not parse gives two empty lists.
struct Unlinked {
  std::vector<int> from_start, to_end;
};
Unlinked unlinked_activities(const std::string& gpr_text);

// One line (without "tool: warning: FILE: " and without a newline) naming
// the activities of `u` and the search direction they defeat; empty when
// both lists are empty. Long lists are shortened.
std::string unlinked_text(const Unlinked& u);

// Instance files (D<n>.gpr for any int n, as gprnpv names them) and
// manifest.tsv in folder `dir`, by name; empty when `dir` does not exist.
std::vector<std::string> stale_files(const std::string& dir);

// The check of both writing tools before they write into `dir`: without
// `force`, a folder holding stale_files() is refused (message in `why`,
// false); with `force` those files, and nothing else, are removed first
// (false with the reason when a removal fails).
bool clear_stale(const std::string& dir, bool force, std::string& why);

// The gprnpv-generate command line, with its messages on `out` and `err`:
// exit status 0 (all written), 1 (a file could not be written) or 2 (usage
// error, nothing written).
int generate_main(int argc, char** argv, std::ostream& out, std::ostream& err);

}  // namespace netgen

#endif  // GPRNPV_NETGEN_H
