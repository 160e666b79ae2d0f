// report.cpp: `gprnpv-sweep report` and `gprnpv-sweep merge`.
//
// report loads every row of `results` (a few hundred bytes a row, so even a
// large sweep fits in memory), groups them by the chosen key columns and
// prints one table line per group: counts of instances, optimal results and
// each failure kind, solve times (mean, median, max over optimal results,
// in milliseconds), mean passes and mean net present value. --csv writes the
// rows as they are stored; --plots writes gnuplot data, a script and the
// charts (PNG and SVG) and runs gnuplot on them.
//
// merge copies the rows of shard databases into a target in one
// transaction; a key already present with a different result refuses the
// whole merge, so the target never mixes two answers for one solve.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <ostream>
#include <set>
#include <sstream>

#include "network/network.h"
#include "sweep.h"

namespace sweep {
namespace {

struct Row {
  std::string set_dir;
  int instance = 0;
  std::string source;
  std::optional<int> activities, arcs;
  int pctneg = 0, deadext = 0;
  double interest = 0;
  std::string outcome;
  std::optional<double> npv;
  std::optional<int> passes;
  std::optional<double> solve_seconds, read_seconds;
  std::optional<std::string> certificate;
};

const char* const columns =
    "set_dir, instance, source, activities, arcs, pctneg, deadext, interest, outcome, npv, "
    "passes, solve_seconds, read_seconds, certificate";

std::vector<Row> load_rows(sqlite3* db) {
  std::vector<Row> rows;
  Statement s(db, std::string("SELECT ") + columns +
                      " FROM results ORDER BY set_dir, instance, pctneg, deadext, interest");
  while (s.step()) {
    sqlite3_stmt* q = s.get();
    auto text = [&](int c) { return std::string(reinterpret_cast<const char*>(sqlite3_column_text(q, c))); };
    auto null = [&](int c) { return sqlite3_column_type(q, c) == SQLITE_NULL; };
    Row r;
    r.set_dir = text(0);
    r.instance = sqlite3_column_int(q, 1);
    r.source = text(2);
    if (!null(3)) r.activities = sqlite3_column_int(q, 3);
    if (!null(4)) r.arcs = sqlite3_column_int(q, 4);
    r.pctneg = sqlite3_column_int(q, 5);
    r.deadext = sqlite3_column_int(q, 6);
    r.interest = sqlite3_column_double(q, 7);
    r.outcome = text(8);
    if (!null(9)) r.npv = sqlite3_column_double(q, 9);
    if (!null(10)) r.passes = sqlite3_column_int(q, 10);
    if (!null(11)) r.solve_seconds = sqlite3_column_double(q, 11);
    if (!null(12)) r.read_seconds = sqlite3_column_double(q, 12);
    if (!null(13)) r.certificate = text(13);
    rows.push_back(std::move(r));
  }
  return rows;
}

// Shortest text that reads back as the same double.
std::string exact(double x) {
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::general);
  return std::string(buf, res.ptr);
}

std::string fixed(double x, int decimals) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, x);
  return buf;
}

std::string csv_field(const std::string& s) {
  if (s.find_first_of(",\"\n\r") == std::string::npos) return s;
  std::string q = "\"";
  for (char c : s) q += c == '"' ? std::string("\"\"") : std::string(1, c);
  return q + "\"";
}

// Short column titles of the failure texts, in the order of the codes.
struct Kind {
  std::string outcome, title;
};
std::vector<Kind> failure_kinds() {
  const char* titles[] = {"not found", "too large", "invalid", "cycle",
                          "dl range",  "no tree",   "tight",   "no disp"};
  std::vector<Kind> k;
  for (int c = gpr::fail_notfound; c <= gpr::fail_nodisp; c++) k.push_back({outcome_text(c), titles[c]});
  return k;
}

// The last component of each set folder, or the whole path where two sets
// share it.
std::map<std::string, std::string> set_names(const std::vector<Row>& rows) {
  std::map<std::string, std::string> names;
  std::map<std::string, int> uses;
  for (const Row& r : rows)
    if (!names.count(r.set_dir)) {
      std::string base = std::filesystem::path(r.set_dir).filename().string();
      names[r.set_dir] = base.empty() ? r.set_dir : base;
      uses[names[r.set_dir]]++;
    }
  for (auto& [dir, name] : names)
    if (uses[name] > 1) name = dir;
  return names;
}

struct Stats {
  int instances = 0, optimal = 0, proved = 0;
  std::map<std::string, int> failures;
  std::vector<double> times;  // seconds, optimal rows
  double passes = 0, npv = 0;
};

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  std::size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

void print_table(const std::vector<std::vector<std::string>>& cells, std::size_t left_cols,
                 std::ostream& out) {
  std::vector<std::size_t> width(cells[0].size(), 0);
  for (const auto& row : cells)
    for (std::size_t c = 0; c < row.size(); c++) width[c] = std::max(width[c], row[c].size());
  for (const auto& row : cells) {
    std::string line;
    for (std::size_t c = 0; c < row.size(); c++) {
      std::string pad(width[c] - row[c].size(), ' ');
      line += (c ? "  " : "") + (c < left_cols ? row[c] + pad : pad + row[c]);
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out << line << "\n";
  }
}

int run_gnuplot(const std::string& dir, std::ostream& err) {
  pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0) _exit(127);
    execlp("gnuplot", "gnuplot", "charts.gp", static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 127) {
    err << "gprnpv-sweep: cannot run gnuplot (Debian package gnuplot-nox)\n";
    return 1;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
}

std::string gp_quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("''") : std::string(1, c);
  return q + "'";
}

// The three charts: data files, one script, both formats.
int write_plots(const std::vector<Row>& rows, const std::string& dir, std::ostream& out,
                std::ostream& err) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (!fs::is_directory(dir, ec)) {
    err << "gprnpv-sweep: cannot create " << dir << "\n";
    return 2;
  }
  auto names = set_names(rows);
  std::vector<const Row*> solved;
  for (const Row& r : rows)
    if (r.outcome == "optimal" && r.npv && r.solve_seconds && r.activities) solved.push_back(&r);
  if (solved.empty()) {
    out << "no optimal result to chart\n";
    return 0;
  }

  std::ofstream gp(dir + "/charts.gp");
  gp << "# Written by gprnpv-sweep report --plots; run with: gnuplot charts.gp\n";
  auto both = [&](const std::string& name, std::string body) {
    body = "reset\nset grid\nset key top left box opaque\n" + body;
    gp << "set terminal pngcairo size 900,520 font 'sans,10'\nset output '" << name << ".png'\n"
       << body << "set terminal svg size 900,520 dynamic font 'sans,10'\nset output '" << name
       << ".svg'\n" << body << "unset output\n";
  };

  // Solve time against activities, one series per set.
  {
    std::ofstream d(dir + "/solve_time.dat");
    std::string plot = "plot ";
    std::map<std::string, std::vector<const Row*>> per;
    for (const Row* r : solved)
      if (*r->solve_seconds > 0) per[r->set_dir].push_back(r);
    int index = 0;
    for (const auto& [set, list] : per) {
      d << "# " << set << "\n";
      for (const Row* r : list) d << *r->activities << " " << exact(*r->solve_seconds * 1000) << "\n";
      d << "\n\n";
      plot += std::string(index ? ", " : "") + "'solve_time.dat' index " + std::to_string(index) +
              " using 1:2 with points pt 7 ps 0.6 title " + gp_quote(names[set]);
      index++;
    }
    if (index > 0)
      both("solve_time_vs_activities",
           "set title 'Solve time against activities (optimal results)'\nset logscale xy\n"
           "set xlabel 'activities'\nset ylabel 'solve time (ms, CPU)'\n" + plot +
               "\nunset logscale\n");
  }

  // Mean solve time and passes by share of negative cash flows, per deadline.
  std::map<int, std::map<int, std::vector<const Row*>>> by_dl;  // deadext -> pctneg
  std::map<int, std::map<int, std::vector<const Row*>>> by_pn;  // pctneg -> deadext
  for (const Row* r : solved) {
    by_dl[r->deadext][r->pctneg].push_back(r);
    by_pn[r->pctneg][r->deadext].push_back(r);
  }
  {
    std::ofstream d(dir + "/by_pctneg.dat");
    std::string time_plot = "plot ", pass_plot = "plot ";
    int index = 0;
    for (const auto& [dl, per] : by_dl) {
      d << "# deadext " << dl << ": pctneg, mean solve ms, mean passes\n";
      for (const auto& [pn, list] : per) {
        double t = 0, p = 0;
        for (const Row* r : list) t += *r->solve_seconds, p += *r->passes;
        d << pn << " " << exact(1000 * t / list.size()) << " " << exact(p / list.size()) << "\n";
      }
      d << "\n\n";
      std::string series = std::string(index ? ", " : "") + "'by_pctneg.dat' index " +
                           std::to_string(index) + " using 1:%d with linespoints pt 7 title " +
                           gp_quote("deadline +" + std::to_string(dl));
      char buf[512];
      std::snprintf(buf, sizeof buf, series.c_str(), 2);
      time_plot += buf;
      std::snprintf(buf, sizeof buf, series.c_str(), 3);
      pass_plot += buf;
      index++;
    }
    both("time_passes_by_pctneg",
         "set multiplot layout 1,2 title 'Mean solve time and passes by share of negative cash "
         "flows'\nset xlabel 'negative cash flows (%)'\nset ylabel 'mean solve time (ms, CPU)'\n"
         "set title 'solve time'\n" + time_plot + "\nset title 'passes'\nset ylabel 'mean passes'\n" +
             pass_plot + "\nunset multiplot\n");
  }
  {
    std::ofstream d(dir + "/npv_by_deadline.dat");
    std::string plot = "plot ";
    int index = 0;
    for (const auto& [pn, per] : by_pn) {
      d << "# pctneg " << pn << ": deadext, mean npv\n";
      for (const auto& [dl, list] : per) {
        double v = 0;
        for (const Row* r : list) v += *r->npv;
        d << dl << " " << exact(v / list.size()) << "\n";
      }
      d << "\n\n";
      plot += std::string(index ? ", " : "") + "'npv_by_deadline.dat' index " + std::to_string(index) +
              " using 1:2 with linespoints pt 7 title " + gp_quote(std::to_string(pn) + "% negative");
      index++;
    }
    both("npv_by_deadline",
         "set title 'Mean net present value against deadline'\nset xlabel 'deadline (time units "
         "above the critical path)'\nset ylabel 'mean net present value'\n" + plot + "\n");
  }
  gp.close();
  if (!gp) {
    err << "gprnpv-sweep: cannot write " << dir << "/charts.gp\n";
    return 2;
  }
  if (run_gnuplot(dir, err) != 0) {
    err << "gprnpv-sweep: gnuplot failed on " << dir << "/charts.gp\n";
    return 1;
  }
  out << "charts written to " << dir << " (PNG and SVG)\n";
  return 0;
}

}  // namespace

int report(const ReportOptions& o, std::ostream& out, std::ostream& err) {
  std::vector<std::string> by = o.by.empty() ? std::vector<std::string>{"set", "pctneg", "deadext", "interest"} : o.by;
  for (const std::string& b : by)
    if (b != "set" && b != "pctneg" && b != "deadext" && b != "interest")
      throw UsageError("--by '" + b + "': expected set, pctneg, deadext or interest");
  if (!std::filesystem::exists(o.db)) throw UsageError(o.db + ": no such database");
  Database db(o.db, false, true);
  std::vector<Row> rows = load_rows(db.handle());
  int runs = 0;
  {
    Statement s(db.handle(), "SELECT count(*) FROM runs");
    if (s.step()) runs = sqlite3_column_int(s.get(), 0);
  }

  if (!o.csv.empty()) {
    std::ofstream f(o.csv, std::ios::binary | std::ios::trunc);
    std::string header = columns;
    header.erase(std::remove(header.begin(), header.end(), ' '), header.end());
    f << header << "\n";
    auto opt = [](const auto& v) {
      if (!v) return std::string();
      if constexpr (std::is_same_v<std::decay_t<decltype(*v)>, double>) return exact(*v);
      else if constexpr (std::is_same_v<std::decay_t<decltype(*v)>, int>) return std::to_string(*v);
      else return csv_field(*v);
    };
    for (const Row& r : rows)
      f << csv_field(r.set_dir) << "," << r.instance << "," << csv_field(r.source) << ","
        << opt(r.activities) << "," << opt(r.arcs) << "," << r.pctneg << "," << r.deadext << ","
        << exact(r.interest) << "," << csv_field(r.outcome) << "," << opt(r.npv) << ","
        << opt(r.passes) << "," << opt(r.solve_seconds) << "," << opt(r.read_seconds) << ","
        << opt(r.certificate) << "\n";
    f.close();
    if (!f) {
      err << "gprnpv-sweep: cannot write " << o.csv << "\n";
      return 2;
    }
  }
  if (rows.empty()) {
    out << o.db << ": no results yet (" << runs << (runs == 1 ? " run" : " runs")
        << " recorded); nothing to report\n";
    return 0;
  }

  auto names = set_names(rows);
  std::vector<Kind> kinds = failure_kinds();
  std::set<std::string> present;
  bool certified = false;
  for (const Row& r : rows) {
    if (r.outcome != "optimal") present.insert(r.outcome);
    certified = certified || r.certificate.has_value();
  }
  using GroupKey = std::tuple<std::string, int, int, double>;
  std::map<GroupKey, Stats> groups;
  auto has = [&](const char* name) { return std::find(by.begin(), by.end(), name) != by.end(); };
  for (const Row& r : rows) {
    GroupKey k{has("set") ? r.set_dir : "", has("pctneg") ? r.pctneg : 0,
               has("deadext") ? r.deadext : 0, has("interest") ? r.interest : 0.0};
    Stats& s = groups[k];
    s.instances++;
    if (r.outcome == "optimal") {
      s.optimal++;
      if (r.certificate == "proved") s.proved++;
      if (r.solve_seconds) s.times.push_back(*r.solve_seconds);
      s.passes += r.passes.value_or(0);
      s.npv += r.npv.value_or(0);
    } else {
      s.failures[r.outcome]++;
    }
  }

  std::vector<std::vector<std::string>> cells(1);
  for (const std::string& b : by) cells[0].push_back(b);
  std::size_t left = has("set") ? 1 : 0;
  if (has("set") && by[0] != "set") left = 0;
  for (const char* h : {"instances", "optimal"}) cells[0].push_back(h);
  if (certified) cells[0].push_back("proved");
  for (const Kind& k : kinds)
    if (present.count(k.outcome)) cells[0].push_back(k.title);
  for (const char* h : {"mean ms", "median ms", "max ms", "passes", "mean npv"}) cells[0].push_back(h);
  for (const auto& [k, s] : groups) {
    std::vector<std::string> line;
    for (const std::string& b : by) {
      if (b == "set") line.push_back(names[std::get<0>(k)]);
      if (b == "pctneg") line.push_back(std::to_string(std::get<1>(k)));
      if (b == "deadext") line.push_back(std::to_string(std::get<2>(k)));
      if (b == "interest") line.push_back(exact(std::get<3>(k)));
    }
    line.push_back(std::to_string(s.instances));
    line.push_back(std::to_string(s.optimal));
    if (certified) line.push_back(std::to_string(s.proved));
    for (const Kind& kd : kinds)
      if (present.count(kd.outcome)) {
        auto f = s.failures.find(kd.outcome);
        line.push_back(std::to_string(f == s.failures.end() ? 0 : f->second));
      }
    if (s.optimal > 0 && !s.times.empty()) {
      double sum = 0;
      for (double t : s.times) sum += t;
      line.push_back(fixed(1000 * sum / s.times.size(), 3));
      line.push_back(fixed(1000 * median(s.times), 3));
      line.push_back(fixed(1000 * *std::max_element(s.times.begin(), s.times.end()), 3));
    } else {
      line.insert(line.end(), {"-", "-", "-"});
    }
    if (s.optimal > 0) {
      line.push_back(fixed(s.passes / s.optimal, 2));
      line.push_back(fixed(s.npv / s.optimal, 2));
    } else {
      line.insert(line.end(), {"-", "-"});
    }
    cells.push_back(line);
  }
  out << o.db << ": " << rows.size() << " results from " << runs << (runs == 1 ? " run" : " runs")
      << "; times are CPU milliseconds of the solve, over optimal results\n";
  print_table(cells, left, out);
  std::string legend;
  for (const Kind& k : kinds)
    if (present.count(k.outcome)) legend += (legend.empty() ? "" : ", ") + k.title + ": " + k.outcome;
  if (!legend.empty()) out << "failures: " << legend << "\n";
  if (has("set"))
    for (const auto& [dir, name] : names)
      if (name != dir) out << "set " << name << ": " << dir << "\n";

  if (!o.plots.empty()) return write_plots(rows, o.plots, out, err);
  return 0;
}

int merge(const std::string& target, const std::vector<std::string>& sources, std::ostream& out,
          std::ostream& err) {
  namespace fs = std::filesystem;
  std::vector<std::vector<Row>> loaded;
  for (const std::string& s : sources) {
    if (!fs::exists(s)) throw UsageError(s + ": no such database");
    std::error_code ec;
    if (fs::exists(target) && fs::equivalent(s, target, ec))
      throw UsageError(s + ": is the target itself");
    Database src(s, false, true);
    loaded.push_back(load_rows(src.handle()));
  }
  RunLock lock(target);
  Database db(target, true);
  db.exec("BEGIN IMMEDIATE");
  Statement find(db.handle(), std::string("SELECT ") + columns +
                                  " FROM results WHERE set_dir = ? AND instance = ? AND pctneg = ? "
                                  "AND deadext = ? AND interest = ?");
  Statement insert(db.handle(), std::string("INSERT INTO results(") + columns +
                                    ") VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
  Statement certify(db.handle(),
                    "UPDATE results SET certificate = ? WHERE set_dir = ? AND instance = ? AND "
                    "pctneg = ? AND deadext = ? AND interest = ?");
  std::size_t added = 0, same = 0, conflicts = 0;
  auto bind_key = [](sqlite3_stmt* q, int at, const Row& r) {
    sqlite3_bind_text(q, at, r.set_dir.c_str(), -1, SQLITE_STATIC);
    sqlite3_bind_int(q, at + 1, r.instance);
    sqlite3_bind_int(q, at + 2, r.pctneg);
    sqlite3_bind_int(q, at + 3, r.deadext);
    sqlite3_bind_double(q, at + 4, r.interest);
  };
  for (std::size_t k = 0; k < sources.size(); k++) {
    for (const Row& r : loaded[k]) {
      bind_key(find.get(), 1, r);
      if (find.step()) {
        std::vector<Row> one;
        sqlite3_stmt* q = find.get();
        Row m;
        m.source = reinterpret_cast<const char*>(sqlite3_column_text(q, 2));
        if (sqlite3_column_type(q, 3) != SQLITE_NULL) m.activities = sqlite3_column_int(q, 3);
        if (sqlite3_column_type(q, 4) != SQLITE_NULL) m.arcs = sqlite3_column_int(q, 4);
        m.outcome = reinterpret_cast<const char*>(sqlite3_column_text(q, 8));
        if (sqlite3_column_type(q, 9) != SQLITE_NULL) m.npv = sqlite3_column_double(q, 9);
        if (sqlite3_column_type(q, 10) != SQLITE_NULL) m.passes = sqlite3_column_int(q, 10);
        if (sqlite3_column_type(q, 13) != SQLITE_NULL)
          m.certificate = reinterpret_cast<const char*>(sqlite3_column_text(q, 13));
        find.reset();
        bool npv_differs = m.npv.has_value() != r.npv.has_value() ||
                           (m.npv && std::fabs(*m.npv - *r.npv) > 1e-9 * std::max(1.0, std::fabs(*m.npv)));
        bool differs = m.source != r.source || m.activities != r.activities || m.arcs != r.arcs ||
                       m.outcome != r.outcome || npv_differs || m.passes != r.passes ||
                       (m.certificate && r.certificate && *m.certificate != *r.certificate);
        if (differs) {
          if (++conflicts <= 10) {
            char text[128];
            std::snprintf(text, sizeof text, " pctneg %d deadext %d interest %s: ", r.pctneg,
                          r.deadext, exact(r.interest).c_str());
            auto show = [](const Row& x) {
              return x.outcome + (x.npv ? " " + fixed(*x.npv, 6) : "") +
                     (x.passes ? " passes " + std::to_string(*x.passes) : "");
            };
            err << "gprnpv-sweep: conflict in " << sources[k] << ": " << r.set_dir << "/D"
                << r.instance << ".gpr" << text << show(m) << " against " << show(r) << "\n";
          }
          continue;
        }
        if (!m.certificate && r.certificate) {
          sqlite3_bind_text(certify.get(), 1, r.certificate->c_str(), -1, SQLITE_STATIC);
          bind_key(certify.get(), 2, r);
          certify.step();
          certify.reset();
        }
        same++;
        continue;
      }
      find.reset();
      sqlite3_stmt* q = insert.get();
      sqlite3_bind_text(q, 1, r.set_dir.c_str(), -1, SQLITE_STATIC);
      sqlite3_bind_int(q, 2, r.instance);
      sqlite3_bind_text(q, 3, r.source.c_str(), -1, SQLITE_STATIC);
      if (r.activities) sqlite3_bind_int(q, 4, *r.activities);
      if (r.arcs) sqlite3_bind_int(q, 5, *r.arcs);
      sqlite3_bind_int(q, 6, r.pctneg);
      sqlite3_bind_int(q, 7, r.deadext);
      sqlite3_bind_double(q, 8, r.interest);
      sqlite3_bind_text(q, 9, r.outcome.c_str(), -1, SQLITE_STATIC);
      if (r.npv) sqlite3_bind_double(q, 10, *r.npv);
      if (r.passes) sqlite3_bind_int(q, 11, *r.passes);
      if (r.solve_seconds) sqlite3_bind_double(q, 12, *r.solve_seconds);
      if (r.read_seconds) sqlite3_bind_double(q, 13, *r.read_seconds);
      if (r.certificate) sqlite3_bind_text(q, 14, r.certificate->c_str(), -1, SQLITE_STATIC);
      insert.step();
      insert.reset();
      added++;
    }
  }
  if (conflicts > 0) {
    db.exec("ROLLBACK");
    err << "gprnpv-sweep: " << conflicts << (conflicts == 1 ? " row conflicts" : " rows conflict")
        << " with rows already merged; nothing was merged into " << target << "\n";
    return 1;
  }
  // The runs of the shards, each once.
  for (const std::string& s : sources) {
    Database src(s, false, true);
    Statement read(src.handle(), "SELECT version, host, command, started, ended FROM runs");
    Statement put(db.handle(),
                  "INSERT INTO runs(version, host, command, started, ended) SELECT ?1,?2,?3,?4,?5 "
                  "WHERE NOT EXISTS (SELECT 1 FROM runs WHERE version = ?1 AND host = ?2 AND "
                  "command = ?3 AND started = ?4)");
    while (read.step()) {
      for (int c = 0; c < 5; c++) sqlite3_bind_value(put.get(), c + 1, sqlite3_column_value(read.get(), c));
      put.step();
      put.reset();
    }
  }
  db.exec("COMMIT");
  out << "gprnpv-sweep: merged " << sources.size() << (sources.size() == 1 ? " database" : " databases")
      << " into " << target << ": " << added << " rows added, " << same << " already present\n";
  return 0;
}

}  // namespace sweep
