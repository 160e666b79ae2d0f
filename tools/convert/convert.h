// convert.h: readers for the network formats of the public benchmark
// libraries, and the D<n>.gpr writer behind gprnpv-convert.
//
// Three formats are read, each into one Network in the terms of a D<n>.gpr
// file (activities numbered from 1, dummies included, successor entries of
// kind, type and lag):
//   - sch: networks with minimal and maximal start-to-start lags. Ids are
//     0-based, every arc i->j with lag L is a minimal start-start distance
//     (kind 1, type 1, lag L; a negative L is how the format states a
//     maximal lag in the opposite direction).
//   - sm: single-mode networks in blocks headed by lines of asterisks;
//     finish-start precedences with lag 0 (kind 1, type 3, lag 0).
//   - rcp: compact single-mode networks; finish-start, lag 0.
// The resource data goes along: capacities into the header's resource
// numbers, requests into each activity's.
#ifndef GPRNPV_CONVERT_H
#define GPRNPV_CONVERT_H

#include <iosfwd>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace convert {

struct Entry {
  int succ, kind, type, lag;  // successor numbered from 1
  bool operator==(const Entry&) const = default;
};

struct Activity {
  int dur = 0;
  std::vector<int> req;       // one request per resource type
  std::vector<Entry> succ;
};

struct Network {
  std::vector<int> cap;       // one capacity per resource type
  std::vector<Activity> act;  // file order, dummies first and last
};

enum class Format { sch, sm, rcp };

// A file that does not parse: the 1-based line and what is wrong there.
struct ParseError : std::runtime_error {
  ParseError(int line, const std::string& what) : std::runtime_error(what), line(line) {}
  int line;
};

// The format an input name's extension stands for (.sch, .sm, .rcp, in any
// letter case), or none.
std::optional<Format> format_of(const std::string& name);
std::optional<Format> format_named(const std::string& word);  // "sch", "sm", "rcp"

// Reads a whole file's text; throws ParseError. Lines may end in LF or CR LF.
Network parse(Format format, const std::string& text);

// The network as a D<n>.gpr text: "n r cap_1..cap_r", then one line per
// activity "dur req_1..req_r nsucc" followed by its entries.
std::string to_gpr(const Network& net);

// Order of names in which runs of digits compare by their value:
// "net2.sm" comes before "net10.sm".
bool natural_less(const std::string& a, const std::string& b);

// The gprnpv-convert command line, with its messages on `out` and `err`:
// exit status 0 (every input converted), 1 (some input failed to parse or
// a file could not be written; the others are converted) or 2 (usage
// error, nothing done).
int convert_main(int argc, char** argv, std::ostream& out, std::ostream& err);

}  // namespace convert

#endif  // GPRNPV_CONVERT_H
