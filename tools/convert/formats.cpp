// formats.cpp: the readers of the sch, sm and rcp network formats and the
// D<n>.gpr writer.
//
// Every reader works on the file's lines (a CR before the LF dropped) and
// throws ParseError with the line of the first fault, so the caller can
// name file and line and write nothing for that input.
#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <string>

#include "convert.h"

namespace convert {
namespace {

std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) start = 3;  // byte-order mark
  while (start < text.size()) {
    std::size_t nl = text.find('\n', start);
    std::size_t stop = nl == std::string::npos ? text.size() : nl;
    std::string line = text.substr(start, stop - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    if (nl == std::string::npos) break;
    start = nl + 1;
  }
  return lines;
}

std::string trim(const std::string& s) {
  std::size_t a = s.find_first_not_of(" \t\v\f\r");
  if (a == std::string::npos) return "";
  std::size_t b = s.find_last_not_of(" \t\v\f\r");
  return s.substr(a, b - a + 1);
}

bool parse_int(const std::string& s, int& v) {
  std::size_t k = 0;
  if (k < s.size() && (s[k] == '+' || s[k] == '-')) k++;
  if (k == s.size()) return false;
  for (std::size_t d = k; d < s.size(); d++)
    if (!std::isdigit(static_cast<unsigned char>(s[d]))) return false;
  if (s.size() - k > 11) return false;
  long long x = std::strtoll(s.c_str(), nullptr, 10);
  if (x < INT_MIN || x > INT_MAX) return false;
  v = static_cast<int>(x);
  return true;
}

struct Token {
  std::string text;
  int line;
};

// Whitespace-separated tokens of lines [from, to); with `brackets`, '[' and
// ']' are tokens of their own, so "[5]" and "[ 5 ]" read alike.
class Scanner {
 public:
  Scanner(const std::vector<std::string>& lines, std::size_t from, std::size_t to, bool brackets)
      : end_line_(static_cast<int>(to)) {
    for (std::size_t l = from; l < to && l < lines.size(); l++) {
      const std::string& s = lines[l];
      std::size_t k = 0;
      while (k < s.size()) {
        unsigned char c = s[k];
        if (std::isspace(c)) {
          k++;
        } else if (brackets && (c == '[' || c == ']')) {
          toks_.push_back({std::string(1, static_cast<char>(c)), static_cast<int>(l) + 1});
          k++;
        } else {
          std::size_t b = k;
          while (k < s.size() && !std::isspace(static_cast<unsigned char>(s[k])) &&
                 !(brackets && (s[k] == '[' || s[k] == ']')))
            k++;
          toks_.push_back({s.substr(b, k - b), static_cast<int>(l) + 1});
        }
      }
    }
  }
  bool done() const { return pos_ == toks_.size(); }
  const Token& peek() const { return toks_[pos_]; }
  Token next(const std::string& what) {
    if (done()) throw ParseError(end_line_, "the file ends where " + what + " should follow");
    return toks_[pos_++];
  }
  int next_int(const std::string& what) {
    Token t = next(what);
    int v;
    if (!parse_int(t.text, v))
      throw ParseError(t.line, "expected " + what + " (an integer), found '" + t.text + "'");
    last_line_ = t.line;
    return v;
  }
  // An integer that must lie in lo..hi.
  int next_in(const std::string& what, int lo, int hi) {
    int v = next_int(what);
    if (v < lo || v > hi)
      throw ParseError(last_line_, what + " is " + std::to_string(v) + ", outside " +
                                       std::to_string(lo) + ".." + std::to_string(hi));
    return v;
  }
  void expect(const std::string& text, const std::string& what) {
    Token t = next(what);
    if (t.text != text) throw ParseError(t.line, "expected " + what + ", found '" + t.text + "'");
  }
  void expect_end(const std::string& after) {
    if (!done())
      throw ParseError(peek().line, "unexpected '" + peek().text + "' after " + after);
  }
  int last_line() const { return last_line_; }

 private:
  std::vector<Token> toks_;
  std::size_t pos_ = 0;
  int end_line_;
  int last_line_ = 0;
};

// A sanity bound on counts. Nothing is allocated ahead for a count: lists
// grow with the numbers actually read, so memory and time stay in
// proportion to the file however large the counts it states.
const int maxcount = 1000000;

std::string job(int k) { return "job " + std::to_string(k); }

// ------------------------------------------------------------------ sch
Network parse_sch(const std::vector<std::string>& lines) {
  std::size_t first = 0;
  while (first < lines.size() && trim(lines[first]).empty()) first++;
  if (first == lines.size()) throw ParseError(static_cast<int>(lines.size()), "the file is empty");
  Scanner head(lines, first, first + 1, false);
  int n = head.next_in("the number of activities", 0, maxcount);
  int r = head.next_in("the number of resource types", 0, maxcount);
  while (!head.done()) head.next_int("a number of the first line");

  Scanner s(lines, first + 1, lines.size(), true);
  const int count = n + 2;
  Network net;
  for (int a = 0; a < count; a++) {
    net.act.emplace_back();
    std::string who = "activity " + std::to_string(a);
    int id = s.next_int("the id of " + who);
    if (id != a)
      throw ParseError(s.last_line(), "expected the relations of " + who + ", found id " +
                                          std::to_string(id));
    int modes = s.next_int("the modes of " + who);
    if (modes != 1)
      throw ParseError(s.last_line(), who + " has " + std::to_string(modes) +
                                          " modes; only single-mode networks can be converted");
    int k = s.next_in("the successor count of " + who, 0, maxcount);
    std::vector<int> succ;
    for (int q = 0; q < k; q++) succ.push_back(s.next_in("a successor id of " + who, 0, count - 1));
    for (int q = 0; q < k; q++) {
      std::string what = "the lag of " + who + " to activity " + std::to_string(succ[q]);
      s.expect("[", "'[' opening " + what);
      int l = s.next_int(what);
      s.expect("]", "']' closing " + what);
      net.act[a].succ.push_back({succ[q] + 1, 1, 1, l});
    }
  }
  for (int a = 0; a < count; a++) {
    std::string who = "activity " + std::to_string(a);
    int id = s.next_int("the id of " + who);
    if (id != a)
      throw ParseError(s.last_line(), "expected the duration of " + who + ", found id " +
                                          std::to_string(id));
    int mode = s.next_int("the mode of " + who);
    if (mode != 1)
      throw ParseError(s.last_line(), who + " has mode " + std::to_string(mode) +
                                          "; only single-mode networks can be converted");
    net.act[a].dur = s.next_in("the duration of " + who, 0, INT_MAX);
    for (int q = 1; q <= r; q++)
      net.act[a].req.push_back(s.next_int("request " + std::to_string(q) + " of " + who));
  }
  for (int q = 1; q <= r; q++)
    net.cap.push_back(s.next_int("the capacity of resource " + std::to_string(q)));
  s.expect_end("the capacities");
  return net;
}

// ------------------------------------------------------------------- sm
bool is_rule(const std::string& line) {
  std::string t = trim(line);
  return t.size() >= 3 && t.find_first_not_of('*') == std::string::npos;
}

bool starts_with(const std::string& s, const std::string& p) { return s.compare(0, p.size(), p) == 0; }

// Lines after the heading that starts with `title`, up to the next rule;
// throws when the block is missing.
std::pair<std::size_t, std::size_t> block(const std::vector<std::string>& lines,
                                          const std::string& title) {
  for (std::size_t l = 0; l < lines.size(); l++) {
    if (!starts_with(trim(lines[l]), title)) continue;
    std::size_t e = l + 1;
    while (e < lines.size() && !is_rule(lines[e])) e++;
    return {l + 1, e};
  }
  throw ParseError(static_cast<int>(lines.size()), "no '" + title + "' block");
}

// Skips blank lines and the column heading (a line that starts with a
// letter, or a line of dashes) at the top of a table.
std::size_t skip_heading(const std::vector<std::string>& lines, std::size_t l, std::size_t e) {
  while (l < e) {
    std::string t = trim(lines[l]);
    if (!t.empty() && !std::isalpha(static_cast<unsigned char>(t[0])) &&
        t.find_first_not_of('-') != std::string::npos)
      break;
    l++;
  }
  return l;
}

Network parse_sm(const std::vector<std::string>& lines) {
  int njobs = -1;
  for (std::size_t l = 0; l < lines.size() && njobs < 0; l++) {
    std::string t = trim(lines[l]);
    if (!starts_with(t, "jobs")) continue;
    std::size_t colon = t.find(':');
    int v;
    if (colon == std::string::npos || !parse_int(trim(t.substr(colon + 1)), v))
      throw ParseError(static_cast<int>(l) + 1, "expected 'jobs (incl. supersource/sink ): <count>'");
    if (v < 2 || v > maxcount)
      throw ParseError(static_cast<int>(l) + 1, "the number of jobs is " + std::to_string(v) +
                                                    ", outside 2.." + std::to_string(maxcount));
    njobs = v;
  }
  if (njobs < 0)
    throw ParseError(static_cast<int>(lines.size()), "no 'jobs (incl. supersource/sink )' line");

  // Capacities first: their count is the number of resource types. A line
  // of labels ("R 1  R 2") heads the line of capacities; an empty block
  // means no resource types.
  auto [al, ae] = block(lines, "RESOURCEAVAILABILITIES:");
  std::size_t labels = al;
  while (labels < ae && trim(lines[labels]).empty()) labels++;
  int nlabels = 0;
  if (labels < ae) {
    Scanner s(lines, labels, labels + 1, false);
    while (!s.done()) nlabels += std::isalpha(static_cast<unsigned char>(s.next("").text[0])) ? 1 : 0;
  }
  Network net;
  Scanner caps(lines, std::min(labels + 1, ae), ae, false);
  while (!caps.done()) net.cap.push_back(caps.next_int("a resource capacity"));
  if (static_cast<int>(net.cap.size()) != nlabels) {
    // The line of the capacities, or of the labels when the block ends there.
    int line = static_cast<int>(labels + 1 < ae ? labels + 2 : labels + 1);
    throw ParseError(line, std::to_string(nlabels) + " resource labels but " + std::to_string(net.cap.size()) +
                               " capacities");
  }
  const int r = nlabels;

  auto [pl, pe] = block(lines, "PRECEDENCE RELATIONS:");
  Scanner p(lines, skip_heading(lines, pl, pe), pe, false);
  for (int k = 1; k <= njobs; k++) {
    net.act.emplace_back();
    int id = p.next_int("the number of " + job(k));
    if (id != k)
      throw ParseError(p.last_line(), "expected the relations of " + job(k) + ", found job " + std::to_string(id));
    int modes = p.next_int("the modes of " + job(k));
    if (modes != 1)
      throw ParseError(p.last_line(), job(k) + " has " + std::to_string(modes) +
                                          " modes; only single-mode networks can be converted");
    int ns = p.next_in("the successor count of " + job(k), 0, maxcount);
    for (int q = 0; q < ns; q++)
      net.act[k - 1].succ.push_back({p.next_in("a successor of " + job(k), 1, njobs), 1, 3, 0});
  }
  p.expect_end("the relations of the last job");

  // One row per job, each on a line of its own.
  auto [rl, re] = block(lines, "REQUESTS/DURATIONS:");
  std::size_t l = skip_heading(lines, rl, re);
  for (int k = 1; k <= njobs; k++) {
    while (l < re && trim(lines[l]).empty()) l++;
    if (l == re)
      throw ParseError(static_cast<int>(re), "the REQUESTS/DURATIONS block ends before the row of " + job(k));
    Scanner d(lines, l, l + 1, false);
    int id = d.next_int("the number of " + job(k));
    if (id != k)
      throw ParseError(d.last_line(), "expected the duration of " + job(k) + ", found job " + std::to_string(id));
    int mode = d.next_int("the mode of " + job(k));
    if (mode != 1)
      throw ParseError(d.last_line(), job(k) + " has mode " + std::to_string(mode) +
                                          "; only single-mode networks can be converted");
    net.act[k - 1].dur = d.next_in("the duration of " + job(k), 0, INT_MAX);
    for (int q = 1; q <= r; q++) {
      if (d.done())
        throw ParseError(static_cast<int>(l) + 1, "the row of " + job(k) + " has " + std::to_string(q - 1) +
                                                      " requests, expected " + std::to_string(r));
      net.act[k - 1].req.push_back(d.next_int("request " + std::to_string(q) + " of " + job(k)));
    }
    d.expect_end("the " + std::to_string(r) + " requests of " + job(k));
    l++;
  }
  Scanner rest(lines, l, re, false);
  rest.expect_end("the requests of the last job");
  return net;
}

// ------------------------------------------------------------------ rcp
Network parse_rcp(const std::vector<std::string>& lines) {
  Scanner s(lines, 0, lines.size(), false);
  if (s.done()) throw ParseError(static_cast<int>(lines.size()), "the file is empty");
  int n = s.next_in("the number of jobs", 2, maxcount);
  int r = s.next_in("the number of resource types", 0, maxcount);
  Network net;
  for (int q = 1; q <= r; q++)
    net.cap.push_back(s.next_int("the capacity of resource " + std::to_string(q)));
  for (int k = 1; k <= n; k++) {
    Activity& a = net.act.emplace_back();
    a.dur = s.next_in("the duration of " + job(k), 0, INT_MAX);
    for (int q = 1; q <= r; q++) a.req.push_back(s.next_int("request " + std::to_string(q) + " of " + job(k)));
    int ns = s.next_in("the successor count of " + job(k), 0, maxcount);
    for (int q = 0; q < ns; q++) a.succ.push_back({s.next_in("a successor of " + job(k), 1, n), 1, 3, 0});
  }
  s.expect_end("the last job");
  return net;
}

}  // namespace

std::optional<Format> format_named(const std::string& word) {
  if (word == "sch") return Format::sch;
  if (word == "sm") return Format::sm;
  if (word == "rcp") return Format::rcp;
  return std::nullopt;
}

std::optional<Format> format_of(const std::string& name) {
  std::size_t slash = name.find_last_of('/');
  std::size_t dot = name.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return std::nullopt;
  std::string ext = name.substr(dot + 1);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return format_named(ext);
}

Network parse(Format format, const std::string& text) {
  std::vector<std::string> lines = split_lines(text);
  switch (format) {
    case Format::sch: return parse_sch(lines);
    case Format::sm: return parse_sm(lines);
    default: return parse_rcp(lines);
  }
}

std::string to_gpr(const Network& net) {
  std::string text = std::to_string(net.act.size()) + ' ' + std::to_string(net.cap.size());
  for (int c : net.cap) text += ' ' + std::to_string(c);
  text += '\n';
  for (const Activity& a : net.act) {
    text += std::to_string(a.dur);
    for (int q : a.req) text += ' ' + std::to_string(q);
    text += ' ' + std::to_string(a.succ.size());
    for (const Entry& e : a.succ)
      text += "  " + std::to_string(e.succ) + ' ' + std::to_string(e.kind) + ' ' + std::to_string(e.type) +
              ' ' + std::to_string(e.lag);
    text += '\n';
  }
  return text;
}

bool natural_less(const std::string& a, const std::string& b) {
  std::size_t i = 0, j = 0;
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  while (i < a.size() && j < b.size()) {
    if (digit(a[i]) && digit(b[j])) {
      std::size_t ei = i, ej = j;
      while (ei < a.size() && digit(a[ei])) ei++;
      while (ej < b.size() && digit(b[ej])) ej++;
      std::size_t zi = i, zj = j;  // leading zeros do not change the value
      while (zi + 1 < ei && a[zi] == '0') zi++;
      while (zj + 1 < ej && b[zj] == '0') zj++;
      if (ei - zi != ej - zj) return ei - zi < ej - zj;
      int c = a.compare(zi, ei - zi, b, zj, ej - zj);
      if (c != 0) return c < 0;
      if (ei - i != ej - j) return ei - i < ej - j;  // "01" after "1": stable, total order
      i = ei;
      j = ej;
    } else {
      if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
      i++;
      j++;
    }
  }
  return a.size() - i < b.size() - j;
}

}  // namespace convert
