// netgen.cpp: the random network generator behind gprnpv-generate.
//
// A network is built in an internal order in which every minimal relation
// runs from a lower to a higher activity, so the earliest starts follow in
// one sweep. Maximal lags are then set against those earliest starts: a
// bound that the earliest-start schedule meets can close no cycle of
// positive length. Last, the real activities get random file numbers and
// every successor list a random order, so that files do not always list
// arcs from lower to higher numbers.
#include "netgen.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace netgen {
namespace {

// splitmix64: a small generator whose sequence is the same on every
// platform, unlike the distributions of the standard library.
class Rng {
 public:
  Rng(std::uint64_t seed, int number) : s_(seed) {
    s_ = next() ^ (static_cast<std::uint64_t>(static_cast<std::int64_t>(number)) *
                   0xD1B54A32D192ED03ull);
    next();
  }
  std::uint64_t next() {
    std::uint64_t z = (s_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // Uniform in lo..hi (lo <= hi).
  int range(int lo, int hi) {
    std::uint64_t width = static_cast<std::uint64_t>(static_cast<std::int64_t>(hi) - lo) + 1;
    auto off = static_cast<std::int64_t>((static_cast<unsigned __int128>(next()) * width) >> 64);
    return static_cast<int>(lo + off);
  }
  double unit() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
  template <typename T>
  void shuffle(std::vector<T>& v) {
    for (int k = static_cast<int>(v.size()) - 1; k > 0; k--) std::swap(v[k], v[range(0, k)]);
  }

 private:
  std::uint64_t s_;
};

// One successor entry, with internal activity numbers.
struct Rel {
  int to, kind, type, lag;
};

constexpr int SS = 1, SF = 2, FS = 3, FF = 4;

// The lag L that an entry in the list of a naming b, with this kind and
// type, needs so that its cell gets value c: the cell is lag[a][b] for a
// minimal relation and lag[b][a] for a maximal one.
std::int64_t lag_for(int kind, int type, int a, int b, std::int64_t c, const std::vector<int>& dur) {
  std::int64_t da = dur[a], db = dur[b];
  if (kind == 1) {
    switch (type) {
      case SS: return c;
      case SF: return c + db;
      case FS: return c - da;
      default: return c - da + db;
    }
  }
  switch (type) {
    case SS: return -c;
    case SF: return db - c;
    case FS: return -c - da;
    default: return db - da - c;
  }
}

// Cell lag[a][b] of a minimal relation from a to b.
std::int64_t min_cell(int type, int a, int b, std::int64_t l, const std::vector<int>& dur) {
  switch (type) {
    case SS: return l;
    case SF: return l - dur[b];
    case FS: return l + dur[a];
    case FF:
    default: return l + dur[a] - dur[b];
  }
}

// The same bound seen from the other activity: a minimal relation of type
// t from a to b is a maximal relation from b to a with the mirrored type
// and the negated lag.
int mirror(int type) { return type == SF ? FS : type == FS ? SF : type; }

int pick_type(Rng& rng, const Options& opt) {
  int total = 0;
  for (int w : opt.type_weight) total += w;
  int x = rng.range(0, total - 1);
  for (int t = 0; t < 4; t++) {
    if (x < opt.type_weight[t]) return t + 1;
    x -= opt.type_weight[t];
  }
  return FS;
}

bool in_range(std::int64_t l) { return l >= -maxabs && l <= maxabs; }

}  // namespace

std::string check_options(const Options& o) {
  auto range_ok = [](int lo, int hi) { return lo <= hi; };
  if (o.min_activities < 0 || !range_ok(o.min_activities, o.max_activities) ||
      o.max_activities > max_real_activities)
    return "activities must be a range within 0.." + std::to_string(max_real_activities) +
           " (" + larger_limit_hint + ")";
  if (o.min_arcs < 0 || !range_ok(o.min_arcs, o.max_arcs) || o.max_arcs > 500)
    return "arcs per activity must be a range within 0..500";
  if (!(o.maxlag_share >= 0.0 && o.maxlag_share <= 1.0))
    return "the share of maximal lags must lie between 0 and 1";
  long total = 0;
  for (int w : o.type_weight) {
    if (w < 0 || w > 1000000) return "type weights must lie between 0 and 1000000";
    total += w;
  }
  if (total == 0) return "at least one type weight must be above 0";
  if (o.min_duration < 0 || !range_ok(o.min_duration, o.max_duration) || o.max_duration > maxabs)
    return "durations must be a range within 0..100000";
  if (o.min_lag < -maxabs || !range_ok(o.min_lag, o.max_lag) || o.max_lag > maxabs)
    return "lags must be a range within -100000..100000";
  if (o.nrres < 0 || o.nrres > 100) return "resource types must lie between 0 and 100";
  // Every cell of a minimal relation is at most max_lag + max_duration, and
  // the longest chain has max_activities + 1 arcs: keep the project length,
  // and with it the deadline, far inside what the program accepts.
  std::int64_t step = std::max(o.max_lag, 0) + static_cast<std::int64_t>(o.max_duration);
  if (step * (o.max_activities + 1) > 50000000)
    return "durations and lags too large for that many activities (project length above 50000000)";
  return "";
}

std::string generate_instance(const Options& opt, int number) {
  Rng rng(opt.seed, number);
  const int nreal = rng.range(opt.min_activities, opt.max_activities);
  const int n = nreal + 2, end = n - 1;

  std::vector<int> dur(n, 0);
  for (int i = 1; i <= nreal; i++) dur[i] = rng.range(opt.min_duration, opt.max_duration);

  // Minimal relations between real activities, each towards a higher one
  // within a window, so that chains grow long as the network grows.
  struct Fwd {
    int i, j, type, lag;
    bool paired;  // bounded both ways by maximal lags
  };
  std::vector<Fwd> fwd;
  std::vector<std::vector<std::pair<int, std::int64_t>>> into(n);  // (tail, cell)
  std::vector<bool> has_real_succ(n, false);
  const int window = std::max({4, 2 * opt.max_arcs, nreal / 10});
  for (int i = 1; i <= nreal; i++) {
    int k = rng.range(opt.min_arcs, opt.max_arcs);
    std::vector<int> cand;
    for (int j = i + 1; j <= std::min(nreal, i + window); j++) cand.push_back(j);
    int take = std::min<int>(k, static_cast<int>(cand.size()));
    for (int s = 0; s < take; s++) {
      std::swap(cand[s], cand[rng.range(s, static_cast<int>(cand.size()) - 1)]);
      int j = cand[s];
      int t = pick_type(rng, opt);
      int l = rng.range(opt.min_lag, opt.max_lag);
      bool paired = rng.unit() < opt.maxlag_share;
      fwd.push_back({i, j, t, l, paired});
      into[j].push_back({i, min_cell(t, i, j, l, dur)});
      has_real_succ[i] = true;
    }
  }

  // Earliest starts in internal order. An activity with no predecessor, or
  // one that its predecessors would let start before the project, is tied
  // to the dummy start by a finish-start relation with lag 0.
  std::vector<std::vector<Rel>> list(n);
  std::vector<std::int64_t> es(n, 0);
  for (int j = 1; j <= nreal; j++) {
    bool have = false;
    std::int64_t best = 0;
    for (auto [p, c] : into[j]) {
      if (!have || es[p] + c > best) best = es[p] + c;
      have = true;
    }
    if (!have || best < 0) {
      list[0].push_back({j, 1, FS, 0});
      best = std::max<std::int64_t>(best, 0);
    }
    es[j] = best;
  }
  // Activities without a real successor lead to the dummy end.
  if (nreal == 0) list[0].push_back({end, 1, FS, 0});
  for (int i = 1; i <= nreal; i++) {
    if (has_real_succ[i]) continue;
    list[i].push_back({end, 1, FS, 0});
    es[end] = std::max(es[end], es[i] + dur[i]);
  }

  // Write the relations. A paired relation states its minimal distance in
  // the list of j (as a maximal lag from j to i) and its maximal lag in the
  // list of i; the maximal lag leaves 0 to (max_lag - min_lag) time units
  // of play over the earliest-start schedule.
  const int play = std::max(1, opt.max_lag - opt.min_lag);
  auto bound_back = [&](int i, int j) { return es[i] - es[j] - rng.range(0, play); };
  for (const Fwd& f : fwd) {
    if (f.paired) {
      int t2 = pick_type(rng, opt);
      std::int64_t u = lag_for(2, t2, f.i, f.j, bound_back(f.i, f.j), dur);
      if (in_range(u)) {
        list[f.j].push_back({f.i, 2, mirror(f.type), -f.lag});
        list[f.i].push_back({f.j, 2, t2, static_cast<int>(u)});
        continue;
      }
    }
    list[f.i].push_back({f.j, 1, f.type, f.lag});
  }

  if (opt.awkward && nreal >= 2) {
    auto other = [&](int i) {
      int j = rng.range(1, nreal - 1);
      return j >= i ? j + 1 : j;
    };
    for (int i = 1; i <= nreal; i++) {
      if (rng.unit() < 0.15) {  // a relation that sets no lag
        static const int shapes[4][2] = {{3, SS}, {0, FS}, {1, 5}, {2, 0}};
        const int* s = shapes[rng.range(0, 3)];
        int j = other(i);
        list[i].push_back({j, s[0], s[1], rng.range(opt.min_lag, opt.max_lag)});
      }
      if (rng.unit() < 0.15) {  // a second relation for a listed pair
        std::vector<int> real;
        for (const Rel& r : list[i])
          if (r.to != end) real.push_back(r.to);
        if (!real.empty()) {
          int j = real[rng.range(0, static_cast<int>(real.size()) - 1)];
          int t = pick_type(rng, opt);
          std::int64_t c = std::min(min_cell(t, i, j, rng.range(opt.min_lag, opt.max_lag), dur),
                                    es[j] - es[i]);
          std::int64_t l = lag_for(1, t, i, j, c, dur);
          if (in_range(l)) list[i].push_back({j, 1, t, static_cast<int>(l)});
        }
      }
      if (rng.unit() < 0.15) {  // a maximal lag that the other side does not list
        int j = other(i);
        int t = pick_type(rng, opt);
        std::int64_t u = lag_for(2, t, i, j, bound_back(i, j), dur);
        if (in_range(u)) list[i].push_back({j, 2, t, static_cast<int>(u)});
      }
    }
  }

  std::vector<int> cap(opt.nrres);
  for (int& c : cap) c = rng.range(1, 10);
  std::vector<std::vector<int>> req(n, std::vector<int>(opt.nrres, 0));
  for (int i = 1; i <= nreal; i++)
    for (int r = 0; r < opt.nrres; r++) req[i][r] = rng.range(0, cap[r]);

  // File numbers: dummies first and last, the real activities shuffled.
  std::vector<int> order(n);  // order[p]: internal activity at file position p
  for (int i = 0; i < n; i++) order[i] = i;
  if (nreal > 1) {
    std::vector<int> mid(order.begin() + 1, order.end() - 1);
    rng.shuffle(mid);
    std::copy(mid.begin(), mid.end(), order.begin() + 1);
  }
  std::vector<int> fileno(n);
  for (int p = 0; p < n; p++) fileno[order[p]] = p + 1;
  for (auto& l : list) rng.shuffle(l);

  std::string text = std::to_string(n) + ' ' + std::to_string(opt.nrres);
  for (int c : cap) text += ' ' + std::to_string(c);
  text += '\n';
  for (int p = 0; p < n; p++) {
    int a = order[p];
    text += std::to_string(dur[a]);
    for (int r : req[a]) text += ' ' + std::to_string(r);
    text += ' ' + std::to_string(list[a].size());
    for (const Rel& r : list[a])
      text += "  " + std::to_string(fileno[r.to]) + ' ' + std::to_string(r.kind) + ' ' +
              std::to_string(r.type) + ' ' + std::to_string(r.lag);
    text += '\n';
  }
  return text;
}

bool write_atomic(const std::string& dir, const std::string& name, const std::string& text,
                  std::string& why) {
  std::string path = dir + "/" + name;
  std::string temp = dir + "/." + name + "." + std::to_string(getpid()) + ".tmp";
  std::FILE* f = std::fopen(temp.c_str(), "wb");
  if (!f) {
    why = std::strerror(errno);
    return false;
  }
  bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  int err = errno;
  if (std::fclose(f) != 0 && ok) {
    ok = false;
    err = errno;
  }
  if (ok && std::rename(temp.c_str(), path.c_str()) != 0) {
    ok = false;
    err = errno;
  }
  if (!ok) {
    std::remove(temp.c_str());
    why = std::strerror(err);
  }
  return ok;
}

std::string write_instances(const Options& opt, int first, int count, const std::string& dir) {
  for (int k = 0; k < count; k++) {
    int number = first + k;
    std::string name = "D" + std::to_string(number) + ".gpr";
    std::string why;
    if (!write_atomic(dir, name, generate_instance(opt, number), why))
      return dir + "/" + name + ": " + why;
  }
  return "";
}

namespace {

// "3 8 12", shortened after ten numbers.
std::string number_list(const std::vector<int>& v) {
  std::string s;
  for (std::size_t k = 0; k < v.size(); k++) {
    if (k == 10) return s + " ... (" + std::to_string(v.size()) + " in all)";
    s += (k ? " " : "") + std::to_string(v[k]);
  }
  return s;
}

// "D<n>.gpr" for an int n written as gprnpv writes it ("D-3.gpr", not "D03.gpr").
bool instance_name(const std::string& name) {
  if (name.size() < 6 || name[0] != 'D' || name.compare(name.size() - 4, 4, ".gpr") != 0)
    return false;
  std::string digits = name.substr(1, name.size() - 5);
  errno = 0;
  char* end = nullptr;
  long long n = std::strtoll(digits.c_str(), &end, 10);
  return errno == 0 && *end == '\0' && n >= INT_MIN && n <= INT_MAX &&
         std::to_string(n) == digits;
}

}  // namespace

Unlinked unlinked_activities(const std::string& gpr_text) {
  std::istringstream in(gpr_text);
  long long n = 0, r = 0;
  Unlinked none;
  if (!(in >> n >> r) || n < 2 || r < 0 || n > 10000000) return none;
  long long skip;
  for (long long k = 0; k < r; k++)
    if (!(in >> skip)) return none;
  struct Entry {
    int to, kind, type;
  };
  std::vector<std::vector<Entry>> list(n);
  std::unordered_set<long long> cell;  // i * n + j: the pair has a lag cell
  for (long long i = 0; i < n; i++) {
    long long count;
    if (!(in >> skip)) return none;  // duration
    for (long long k = 0; k < r; k++)
      if (!(in >> skip)) return none;
    if (!(in >> count) || count < 0) return none;
    for (long long k = 0; k < count; k++) {
      long long j, kind, type, lag;
      if (!(in >> j >> kind >> type >> lag) || j < 1 || j > n) return none;
      list[i].push_back({static_cast<int>(j - 1), static_cast<int>(kind), static_cast<int>(type)});
      if (type >= 1 && type <= 4 && kind == 1) cell.insert(i * n + (j - 1));
      if (type >= 1 && type <= 4 && kind == 2) cell.insert((j - 1) * n + i);
    }
  }
  const int end = static_cast<int>(n - 1);
  // Arcs that carry a relation and survive the closing arc, both ways.
  std::vector<std::vector<int>> fwd(n), back(n);
  for (int i = 0; i < n; i++)
    for (const Entry& e : list[i]) {
      int j = e.to;
      if (i == j || i == end || j == 0) continue;
      if (i == 0 || j == end || cell.count(static_cast<long long>(i) * n + j)) {
        fwd[i].push_back(j);
        back[j].push_back(i);
      }
    }
  auto unreached = [&](int root, const std::vector<std::vector<int>>& arcs) {
    std::vector<char> seen(n, 0);
    std::vector<int> todo{root};
    seen[root] = 1;
    while (!todo.empty()) {
      int a = todo.back();
      todo.pop_back();
      for (int b : arcs[a])
        if (!seen[b]) {
          seen[b] = 1;
          todo.push_back(b);
        }
    }
    std::vector<int> out;
    for (int a = 0; a < n; a++)
      if (!seen[a]) out.push_back(a + 1);
    return out;
  };
  Unlinked u;
  u.from_start = unreached(0, fwd);
  u.to_end = unreached(end, back);
  return u;
}

std::string unlinked_text(const Unlinked& u) {
  std::string s;
  if (!u.from_start.empty())
    s = (u.from_start.size() == 1 ? "activity " : "activities ") + number_list(u.from_start) +
        " without a listed path from the dummy start (no spanning tree for 50 % or fewer "
        "negative cash flows)";
  if (!u.to_end.empty())
    s += (s.empty() ? "" : "; ") +
         std::string(u.to_end.size() == 1 ? "activity " : "activities ") +
         number_list(u.to_end) +
         " without a listed path to the dummy end (no spanning tree for more than 50 % "
         "negative cash flows)";
  return s;
}

std::vector<std::string> stale_files(const std::string& dir) {
  std::vector<std::string> found;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(dir, ec), stop; !ec && it != stop;
       it.increment(ec)) {
    std::string name = it->path().filename().string();
    std::error_code fe;
    if (it->is_directory(fe)) continue;  // a folder of that name is no file to replace
    if (name == "manifest.tsv" || instance_name(name)) found.push_back(name);
  }
  std::sort(found.begin(), found.end());
  return found;
}

bool clear_stale(const std::string& dir, bool force, std::string& why) {
  std::vector<std::string> stale = stale_files(dir);
  if (stale.empty()) return true;
  if (!force) {
    why = dir + " already holds " + stale[0];
    if (stale.size() > 1) why += " and " + std::to_string(stale.size() - 1) + " more";
    why += " (instance files or a manifest); choose an empty folder, or --force to remove the "
           "D<n>.gpr files and manifest.tsv there first";
    return false;
  }
  for (const std::string& name : stale) {
    std::error_code ec;
    std::filesystem::remove(std::filesystem::path(dir) / name, ec);
    if (ec) {
      why = "cannot remove " + dir + "/" + name + ": " + ec.message();
      return false;
    }
  }
  return true;
}

}  // namespace netgen
