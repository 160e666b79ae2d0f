// lists.cpp: the parameter lists, the shard and the instance sets of a
// sweep, checked before any work starts. Every problem is a UsageError with
// a message that names the option or folder and what is wrong.
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "sweep.h"

namespace sweep {
namespace {

std::vector<std::string> split(const std::string& s, char sep) {
  std::vector<std::string> parts;
  std::string cur;
  for (char c : s) {
    if (c == sep) {
      parts.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  parts.push_back(cur);
  return parts;
}

std::string trim(const std::string& s) {
  std::size_t a = s.find_first_not_of(" \t"), b = s.find_last_not_of(" \t");
  return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

bool to_int(const std::string& s, int& v) {
  errno = 0;
  char* end = nullptr;
  long long x = std::strtoll(s.c_str(), &end, 10);
  if (s.empty() || errno != 0 || *end != '\0' || x < INT_MIN || x > INT_MAX) return false;
  v = static_cast<int>(x);
  return true;
}

bool to_double(const std::string& s, double& v) {
  errno = 0;
  char* end = nullptr;
  v = std::strtod(s.c_str(), &end);
  return !s.empty() && errno == 0 && *end == '\0' && std::isfinite(v);
}

// Walks the items of a list; `one` converts a value, `range` expands a
// FROM:TO:STEP item.
template <class T, class One, class Range>
std::vector<T> parse_list(const std::string& text, const std::string& option, One one,
                          Range range) {
  std::vector<T> values;
  auto bad = [&](const std::string& why) {
    return UsageError(option + " '" + text + "': " + why +
                      " (a list is comma-separated values or FROM:TO:STEP)");
  };
  if (trim(text).empty()) throw bad("empty list");
  for (const std::string& raw : split(text, ',')) {
    std::string item = trim(raw);
    if (item.empty()) throw bad("empty item");
    std::vector<std::string> r = split(item, ':');
    std::vector<T> add;
    if (r.size() == 1) {
      T v;
      if (!one(item, v)) throw bad("'" + item + "' is not a number");
      add.push_back(v);
    } else if (r.size() == 3) {
      T from, to, step;
      if (!one(trim(r[0]), from) || !one(trim(r[1]), to) || !one(trim(r[2]), step))
        throw bad("range '" + item + "' needs three numbers");
      if (!(step > 0)) throw bad("range '" + item + "' needs a step above 0");
      if (from > to) throw bad("range '" + item + "' runs backwards");
      add = range(from, to, step);
      if (add.size() > 100000) throw bad("range '" + item + "' has too many values");
    } else {
      throw bad("'" + item + "' is neither a value nor FROM:TO:STEP");
    }
    for (T v : add) {
      bool seen = false;
      for (T w : values) seen = seen || w == v;
      if (!seen) values.push_back(v);
    }
  }
  return values;
}

}  // namespace

std::vector<int> parse_int_list(const std::string& text, const std::string& option) {
  return parse_list<int>(text, option, to_int, [](int from, int to, int step) {
    std::vector<int> v;
    for (long long x = from; x <= to && v.size() <= 100000; x += step) v.push_back(static_cast<int>(x));
    return v;
  });
}

std::vector<double> parse_rate_list(const std::string& text, const std::string& option) {
  return parse_list<double>(text, option, to_double, [](double from, double to, double step) {
    std::vector<double> v;
    for (long long k = 0; v.size() <= 100000; k++) {
      double x = from + static_cast<double>(k) * step;
      if (x > to + 1e-9 * step) break;
      char buf[64];
      std::snprintf(buf, sizeof buf, "%.12g", x);
      v.push_back(std::strtod(buf, nullptr));
    }
    return v;
  });
}

std::pair<int, int> parse_shard(const std::string& text) {
  std::vector<std::string> p = split(text, '/');
  int k = 0, n = 0;
  if (p.size() != 2 || !to_int(trim(p[0]), k) || !to_int(trim(p[1]), n) || n < 1)
    throw UsageError("--shard '" + text + "': expected K/N, as 2/4");
  if (k < 1 || k > n)
    throw UsageError("--shard '" + text + "': K must lie in 1.." + std::to_string(n));
  return {k, n};
}

InstanceSet scan_set(const std::string& dir, std::optional<int> first, std::optional<int> last) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) throw UsageError(dir + ": no such folder");
  InstanceSet set;
  set.dir = fs::weakly_canonical(fs::absolute(dir, ec), ec).string();
  if (ec) throw UsageError(dir + ": " + ec.message());

  std::map<int, std::string> files;  // number -> file name
  for (fs::directory_iterator it(set.dir, ec), end; !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (name.size() < 6 || name[0] != 'D' || name.substr(name.size() - 4) != ".gpr") continue;
    int n;
    std::string digits = name.substr(1, name.size() - 5);
    // Only the name that gprnpv would open for n: no sign, no leading zero.
    if (to_int(digits, n) && std::to_string(n) == digits) files[n] = name;
  }
  if (ec) throw UsageError(dir + ": " + ec.message());
  if (files.empty()) throw UsageError(dir + ": no D<n>.gpr instance files in this folder");

  std::map<int, std::string> manifest;
  std::ifstream mf(set.dir + "/manifest.tsv");
  for (std::string line; std::getline(mf, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::size_t tab = line.find('\t');
    int n;
    if (tab != std::string::npos && to_int(line.substr(0, tab), n)) manifest[n] = line.substr(tab + 1);
  }

  auto add = [&](int n) {
    set.numbers.push_back(n);
    auto m = manifest.find(n);
    set.sources.push_back(m != manifest.end() ? m->second : "D" + std::to_string(n) + ".gpr");
  };
  if (!first && !last) {
    for (const auto& f : files) add(f.first);
  } else {
    int a = first ? *first : files.begin()->first;
    int b = last ? *last : files.rbegin()->first;
    if (a > b)
      throw UsageError("--first " + std::to_string(a) + " lies above --last " + std::to_string(b));
    if (static_cast<long long>(b) - a >= 10000000)
      throw UsageError("--first .. --last spans more than 10000000 numbers");
    for (long long n = a; n <= b; n++) add(static_cast<int>(n));
  }
  return set;
}

}  // namespace sweep
