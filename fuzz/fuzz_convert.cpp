// fuzz_convert.cpp: libFuzzer entry for the readers of gprnpv-convert. The
// first byte of an input chooses the format by its value modulo 3 (0 sch,
// 1 sm, 2 rcp; the seeds start with '0', '1' or '2'); the rest is the file.
//
// Each input must either parse or throw ParseError; any other exception
// escapes and ends the run as a crash. Beyond that, a failed check prints
// what is wrong and aborts, so libFuzzer keeps the input:
//   - a ParseError names a line of the file (1 .. the number of lines; 0
//     for a file without any);
//   - the same text with CR LF line ends parses to the same network, or
//     fails on the same line with the same message;
//   - a parsed network has the shape its format promises: at least two
//     activities (n + 2 for sch), one request per resource type in every
//     row, durations >= 0, successors in 1..n, entries of kind 1 and type 1
//     (sch) or finish-start with lag 0 (sm, rcp);
//   - to_gpr's text holds exactly the numbers the file layout takes;
//   - that text, as D1.gpr, goes through the program's own reader. Within
//     the reader's limits (at most 1000 activities and 1000 entries per
//     list and per successor, |duration| and |lag| at most 100000) it is
//     accepted, or refused only for what the network itself is (a positive
//     cycle, a deadline out of range), and the reader's durations, lists
//     and inner lag cells are the network's; beyond them it is refused.
// The reader's globals carry over from input to input, so the lag cells
// also check that the reader clears what an earlier instance wrote.
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <utility>

#include "convert.h"
#include "driver/driver.h"
#include "fuzz_workdir.h"
#include "network/network.h"

namespace {

[[noreturn]] void fault(const std::string& what) {
  std::fprintf(stderr, "gprnpv_fuzz_convert: %s\n", what.c_str());
  std::abort();
}

void check(bool ok, const std::string& what) {
  if (!ok) fault(what);
}

int count_lines(const std::string& text) {
  std::size_t from = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  if (from >= text.size()) return 0;
  int n = 1;
  for (std::size_t k = from; k + 1 < text.size(); k++) n += text[k] == '\n';
  return n;
}

std::string crlf(const std::string& s) {
  std::string t;
  for (char c : s) {
    if (c == '\n') t += '\r';
    t += c;
  }
  return t;
}

// The network's text, or the line and message of its ParseError.
struct Outcome {
  bool parsed;
  convert::Network net;
  int line = 0;
  std::string error;
};

Outcome attempt(convert::Format f, const std::string& text) {
  try {
    return {true, convert::parse(f, text), 0, ""};
  } catch (const convert::ParseError& e) {
    return {false, {}, e.line, e.what()};
  }
}

void check_shape(convert::Format f, const convert::Network& net, const std::string& text) {
  const int n = static_cast<int>(net.act.size());
  check(n >= 2, "fewer than two activities");
  if (f == convert::Format::sch) {
    std::size_t from = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    int declared = std::atoi(text.c_str() + text.find_first_not_of(" \t\v\f\r\n", from));
    check(n == declared + 2, "sch: " + std::to_string(n) + " activities for a header of " +
                                 std::to_string(declared));
  }
  for (int i = 0; i < n; i++) {
    const convert::Activity& a = net.act[i];
    std::string who = "activity " + std::to_string(i + 1);
    check(a.dur >= 0, who + ": negative duration");
    check(a.req.size() == net.cap.size(), who + ": " + std::to_string(a.req.size()) + " requests for " +
                                              std::to_string(net.cap.size()) + " resource types");
    for (const convert::Entry& e : a.succ) {
      check(e.succ >= 1 && e.succ <= n, who + ": successor " + std::to_string(e.succ));
      bool form = f == convert::Format::sch ? e.kind == 1 && e.type == 1
                                            : e.kind == 1 && e.type == 3 && e.lag == 0;
      check(form, who + ": entry of kind " + std::to_string(e.kind) + ", type " + std::to_string(e.type));
    }
  }
}

void check_text(const convert::Network& net, const std::string& gpr) {
  std::size_t expected = 2 + net.cap.size();
  for (const convert::Activity& a : net.act) expected += 2 + a.req.size() + 4 * a.succ.size();
  std::size_t found = 0;
  for (std::size_t k = 0; k < gpr.size();) {
    while (k < gpr.size() && std::isspace(static_cast<unsigned char>(gpr[k]))) k++;
    if (k == gpr.size()) break;
    std::size_t b = k;
    if (gpr[k] == '-') k++;
    while (k < gpr.size() && std::isdigit(static_cast<unsigned char>(gpr[k]))) k++;
    check(k > b && (k == gpr.size() || std::isspace(static_cast<unsigned char>(gpr[k]))),
          "to_gpr: a token that is not an integer at byte " + std::to_string(b));
    found++;
  }
  check(found == expected, "to_gpr: " + std::to_string(found) + " numbers, the layout takes " +
                               std::to_string(expected));
}

bool within_reader_limits(const convert::Network& net) {
  const int n = static_cast<int>(net.act.size());
  if (n > gpr::maxact) return false;
  std::map<int, int> named;  // entries per successor
  for (const convert::Activity& a : net.act) {
    if (a.dur > gpr::maxabs || a.succ.size() > static_cast<std::size_t>(gpr::maxact)) return false;
    for (const convert::Entry& e : a.succ)
      if (e.lag < -gpr::maxabs || e.lag > gpr::maxabs || ++named[e.succ] > gpr::maxact) return false;
  }
  return true;
}

void check_reader(const convert::Network& net, const std::string& gpr) {
  fuzzdir::write_instance(reinterpret_cast<const std::uint8_t*>(gpr.data()), gpr.size());
  gpr::probnr = 1;
  gpr::read_instance();
  const int code = gpr::failcode;
  if (!within_reader_limits(net)) {
    check(code == gpr::fail_toolarge || code == gpr::fail_invalid,
          "reader: a network beyond its limits gets outcome " + std::to_string(code));
    return;
  }
  check(code == gpr::fail_none || code == gpr::fail_cycle || code == gpr::fail_deadline,
        "reader: a network within its limits gets outcome " + std::to_string(code));

  const int n = static_cast<int>(net.act.size());
  check(gpr::nract == n && gpr::nrres == static_cast<int>(net.cap.size()), "reader: counts differ");
  std::map<std::pair<int, int>, int> cell;  // largest start-start distance per pair
  for (int i = 0; i < n; i++) {
    const convert::Activity& a = net.act[i];
    std::string who = "reader: activity " + std::to_string(i + 1);
    check(gpr::dur[i] == a.dur, who + ": duration differs");
    check(gpr::nrsuc[i] == static_cast<int>(a.succ.size()), who + ": entry count differs");
    for (std::size_t s = 0; s < a.succ.size(); s++) {
      const convert::Entry& e = a.succ[s];
      check(gpr::suc[i][s] == e.succ - 1, who + ": successor differs");
      int value = e.type == 1 ? e.lag : e.lag + a.dur;
      auto [it, fresh] = cell.try_emplace({i, e.succ - 1}, value);
      if (!fresh && value > it->second) it->second = value;
    }
  }
  // Cells between real activities; the dummies' rows and columns are
  // normalised by the reader.
  for (const auto& [pair, value] : cell) {
    auto [i, j] = pair;
    if (i == 0 || j == 0 || i == n - 1 || j == n - 1 || i == j) continue;
    check(gpr::lag[i][j] == value, "reader: lag " + std::to_string(i) + "->" + std::to_string(j) + " is " +
                                       std::to_string(gpr::lag[i][j]) + ", expected " + std::to_string(value));
    if (cell.count({j, i}) == 0)
      check(gpr::lag[j][i] == gpr::NOLAG, "reader: lag " + std::to_string(j) + "->" + std::to_string(i) +
                                              " set without a relation");
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzzdir::enter(argc, argv, "gprnpv-fuzz-convert");
  gpr::console = nullptr;
  gpr::outfile = nullptr;
  gpr::infofile = nullptr;
  std::strcpy(gpr::prefix, "D");
  std::strcpy(gpr::outname, "output.txt");
  gpr::pctneg = 50;
  gpr::deadext = 0;
  gpr::interest = 0.01;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const convert::Format f = static_cast<convert::Format>(data[0] % 3);
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);

  Outcome plain = attempt(f, text);
  Outcome windows = attempt(f, crlf(text));
  if (!plain.parsed) {
    int lines = count_lines(text);
    check(lines == 0 ? plain.line == 0 : plain.line >= 1 && plain.line <= lines,
          "ParseError on line " + std::to_string(plain.line) + " of " + std::to_string(lines));
    check(!windows.parsed && windows.line == plain.line && windows.error == plain.error,
          "CR LF line ends change the outcome: '" + plain.error + "' became '" +
              (windows.parsed ? "parsed" : windows.error) + "'");
    return 0;
  }
  check(windows.parsed, "CR LF line ends change the outcome: parsed, then '" + windows.error + "'");
  const std::string gpr = convert::to_gpr(plain.net);
  check(convert::to_gpr(windows.net) == gpr, "CR LF line ends change the network");
  check_shape(f, plain.net, text);
  check_text(plain.net, gpr);
  check_reader(plain.net, gpr);
  return 0;
}
