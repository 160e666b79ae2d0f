// cli.cpp: the command line of gprnpv-check. It reads and solves each
// instance with the library exactly as gprnpv does, checks the final
// schedule, prints one line per instance, optionally writes the schedule as
// CSV, and ends with a summary line.
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>

#include "check.h"
#include "tool_options.h"
#include "gantt.h"
#include "driver/driver.h"
#include "network/network.h"
#include "search/search.h"

namespace gprcheck {
namespace {

const char* const usage_text =
    "Usage: gprnpv-check --first N --last N --pctneg P --deadext D --interest R\n"
    "                    [--dir FOLDER] [--schedules FOLDER] [--gantt FOLDER]\n"
    "                    [--tolerance T] [-q]\n"
    "Solves the instances D<N>.gpr of FOLDER (default: the current folder) exactly\n"
    "as gprnpv does with the same five answers, and checks every result:\n"
    "  feasibility  the start times meet every listed relation and the deadline;\n"
    "  certificate  'proved' when multipliers on the tight relations balance the\n"
    "               gradient of the net present value at every activity, which\n"
    "               makes the schedule optimal; otherwise 'not proved' with the\n"
    "               unmet residual and a set of activities whose shift raises\n"
    "               the value. With interest 0 every feasible schedule has the\n"
    "               same value and is reported as 'proved (r = 0)'.\n"
    "Activities are numbered as in the instance file (the dummy start is 1).\n"
    "Options take '--opt value' or '--opt=value'.\n"
    "\n"
    "  --first N, --last N   range of instance numbers\n"
    "  --pctneg P            percentage of negative cash flows\n"
    "  --deadext D           deadline, in time units above the critical path\n"
    "  --interest R          interest rate per time unit\n"
    "  --dir FOLDER          folder of the instance files\n"
    "  --schedules FOLDER    also write FOLDER/D<N>.csv for every solved instance\n"
    "                        (activity, start, finish, cash flow, discounted cash\n"
    "                        flow, version); FOLDER is created if needed\n"
    "  --tolerance T         share of the supply that may stay unmet and still\n"
    "                        count as proved, T >= 0 (default 1e-12)\n"
    "  -q, --quiet           print only the rows of instances that do not pass,\n"
    "                        and the summary\n"
    "  --gantt FOLDER        also write FOLDER/D<N>.svg, a Gantt chart of every\n"
    "                        solved schedule; FOLDER is created if needed\n"
    "  -h, --help            show this text\n"
    "      --version         show the version\n"
    "\n"
    "Exit status: 0 every solved instance feasible and proved, 1 some solved\n"
    "instance not, 2 usage error or a schedule or chart file that cannot be written.\n";

// "{4 9 12}" in file numbers, shortened after twelve members.
std::string set_text(const std::vector<int>& set) {
  std::string s = "{";
  for (std::size_t k = 0; k < set.size(); k++) {
    if (k == 10 && set.size() > 12) {
      s += " ... " + std::to_string(set.back() + 1) + "} (" + std::to_string(set.size()) +
           " activities)";
      return s;
    }
    s += (k ? " " : "") + std::to_string(set[k] + 1);
  }
  return s + "}";
}

std::string format(const char* fmt, double x) {
  char buf[64];
  std::snprintf(buf, sizeof buf, fmt, x);
  return buf;
}

// What kind of relation the search leaves out `a` is.
std::string dropped_kind(const Arc& a, int end) {
  if (a.from == end && a.to == 0)
    return "a bound from the dummy end to the dummy start tighter than the deadline";
  return a.to == 0 ? "a relation into the dummy start" : "a relation out of the dummy end";
}

std::string feasibility_text(const Feasibility& f, int nract) {
  if (f.ok) return "feasible";
  std::string s = "infeasible (" + std::to_string(f.violated) +
                  (f.violated == 1 ? " arc" : " arcs") + "; " + std::to_string(f.worst.from + 1) +
                  "->" + std::to_string(f.worst.to + 1) + " short by " +
                  std::to_string(f.shortfall);
  if (f.worst.dropped)
    s += ": " + dropped_kind(f.worst, nract - 1) + ", which the search leaves out";
  int others = f.dropped - (f.worst.dropped ? 1 : 0);
  if (others > 0)
    s += "; " + std::to_string(others) + (others == 1 ? " other is a relation" : " others are relations") +
         " the search leaves out";
  return s + ")";
}

std::string certificate_text(const Certificate& c, double nearcut) {
  switch (c.status) {
    case Status::proved: return "proved";
    case Status::flat: return "proved (r = 0)";
    case Status::not_checked: return "not checked: " + c.reason;
    case Status::not_proved: break;
  }
  std::string s = "not proved: residual " + format("%.3g", c.residual) + " (" +
                  format("%.3g", c.relative) + " of the supply); " +
                  (c.direction > 0 ? "delay " : "advance ") + set_text(c.shift);
  if (c.step < 0)
    s += " (no bound) for " + format("%+.6g", c.gain) + " per time unit";
  else
    s += " by up to " + std::to_string(c.step) + " for " + format("%+.6g", c.gain);
  if (nearcut != 0.0)
    s += "; the search stopped on a subtree of value " + format("%.3g", nearcut) +
         ", within its cut tolerance";
  return s;
}

// Writes the schedule of the instance in hand; false when the file fails.
// The last column names the version that made it.
bool write_schedule(const std::string& path, const Model& m) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  const char* version = gpr::version_text();
  f << "activity,start,finish,cash_flow,discounted_cash_flow,version\n";
  for (int i = 0; i < m.nract; i++) {
    double w = m.cf[i] * std::exp(-m.interest * static_cast<double>(gpr::st[i] + m.dur[i]));
    char buf[128];
    std::snprintf(buf, sizeof buf, "%d,%d,%d,%d,%.6f,", i + 1, gpr::st[i],
                  gpr::st[i] + m.dur[i], m.cf[i], w);
    f << buf << version << "\n";
  }
  f.close();
  return !f.fail();
}

}  // namespace

std::string failure_text(int failcode, const std::string& why) {
  std::string t = gpr::failure_console_text(failcode);
  if (t.empty()) return "not solved";
  std::size_t p = t.find_first_not_of("\t ");
  t = p == std::string::npos ? t : t.substr(p);
  if (failcode == gpr::fail_invalid && !why.empty()) t += ": " + why;
  return t;
}

int check_main(int argc, char** argv, std::ostream& out, std::ostream& err) {
  int first = 0, last = 0, pctneg = 0, deadext = 0;
  double rate = 0.0, tolerance = reltol;
  bool quiet = false;
  std::string dir = ".", schedules, gantt;
  CLI::App app{"gprnpv-check"};
  gprtools::prepare(app);
  app.add_option("--first", first)->required();
  app.add_option("--last", last)->required();
  app.add_option("--pctneg", pctneg)->required();
  app.add_option("--deadext", deadext)->required();
  app.add_option("--interest", rate)->required()->check(gprtools::finite_number);
  app.add_option("--dir", dir);
  app.add_option("--schedules", schedules);
  app.add_option("--gantt", gantt);
  app.add_option("--tolerance", tolerance)
      ->check(gprtools::finite_number)
      ->check(gprtools::in_range(0.0));
  app.add_flag("-q,--quiet", quiet);
  if (auto done = gprtools::parse(app, argc, argv, "gprnpv-check", usage_text, out, err))
    return *done;

  std::error_code ec;
  if (!schedules.empty()) {
    std::filesystem::create_directories(schedules, ec);
    schedules = std::filesystem::absolute(schedules, ec).string();
    if (ec || !std::filesystem::is_directory(schedules)) {
      err << "gprnpv-check: cannot create " << schedules << "\n";
      return 2;
    }
  }
  if (!gantt.empty()) {
    std::string why, asked = gantt;
    if ((gantt = gantt_folder(asked, why)).empty()) {
      err << "gprnpv-check: cannot create " << asked << ": " << why << "\n";
      return 2;
    }
  }
  std::string home = std::filesystem::current_path(ec).string();
  if (chdir(dir.c_str()) != 0) {
    err << "gprnpv-check: " << dir << ": " << std::strerror(errno) << "\n";
    return 2;
  }

  std::FILE* saved_console = gpr::console;
  gpr::outfile = nullptr;
  gpr::infofile = nullptr;
  std::snprintf(gpr::prefix, sizeof gpr::prefix, "D");
  gpr::pctneg = pctneg;
  gpr::deadext = deadext;
  gpr::interest = rate;

  char line[256];
  std::snprintf(line, sizeof line,
                " gprnpv-check: D%d .. D%d, %d %% negative cash flows, deadline +%d, "
                "interest %g (%s search)\n",
                first, last, pctneg, deadext, rate, pctneg > 50 ? "backward" : "forward");
  out << line << " instance  outcome             npv  passes  feasibility  certificate\n";

  int solved = 0, proved = 0, feasible = 0, unsolved = 0, within = 0, status = 0;
  double checktime = 0.0, checkmax = 0.0;
  for (int number = first; first <= last; number++) {
    gpr::probnr = number;
    gpr::console = nullptr;  // the table replaces gprnpv's console rows
    Model m;
    bool read = gpr::read_instance() == 1;
    double took = 0.0;
    if (read) {
      auto t0 = std::chrono::steady_clock::now();
      m = capture_model();
      took = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
      gpr::starttick = gpr::thread_cpu_ns();
      gpr::solve_instance();
    }
    gpr::console = saved_console;

    if (!read || gpr::failcode != gpr::fail_none) {
      std::snprintf(line, sizeof line, "%9d  ", number);
      out << line << failure_text(gpr::failcode, gpr::failwhy) << "\n";  // shown with -q too
      unsolved++;
    } else {
      solved++;
      auto t0 = std::chrono::steady_clock::now();
      std::vector<int> st(gpr::st, gpr::st + m.nract);
      Verdict v = check(m, st, tolerance);
      double nearcut = closest_kept_cut();
      took += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
      checktime += took;
      if (took > checkmax) checkmax = took;
      if (v.feasibility.ok) feasible++;
      if (v.passed())
        proved++;
      else
        status = 1;
      if (v.certificate.status != Status::not_proved) nearcut = 0.0;
      if (nearcut != 0.0) within++;
      std::snprintf(line, sizeof line, "%9d  optimal  %14.2f %7d  ", number,
                    gpr::printable(gpr::npv), gpr::nriter);
      std::string f = feasibility_text(v.feasibility, m.nract);
      if (f.size() < 11) f.resize(11, ' ');
      if (!quiet || !v.passed()) {
        out << line << f << "  " << certificate_text(v.certificate, nearcut) << "\n";
        std::string dropped = dropped_text(m);
        if (!dropped.empty())
          out << "           note: relations the search leaves out by design (into the dummy "
                 "start, out of the dummy end): "
              << dropped << "; restate them between real activities to have them kept\n";
      }
      if (!schedules.empty()) {
        std::string path = schedules + "/D" + std::to_string(number) + ".csv";
        if (!write_schedule(path, m)) {
          err << "gprnpv-check: cannot write " << path << "\n";
          status = 2;
          break;
        }
      }
      if (!gantt.empty()) {
        std::string why, verdict = feasibility_text(v.feasibility, m.nract) + "; " +
                                   certificate_text(v.certificate, nearcut);
        GanttTitle title{number, pctneg, deadext, rate, gpr::printable(gpr::npv), verdict};
        if (!write_gantt(gantt, number, gantt_svg(m, st, title), why)) {
          err << "gprnpv-check: cannot write " << gantt << "/D" << number << ".svg: " << why
              << "\n";
          status = 2;
          break;
        }
      }
    }
    if (number == last) break;
  }

  if (status != 2) {
    if (rate == 0.0)
      out << " interest 0: every feasible schedule has the same value, so each feasible one is "
             "optimal\n";
    if (rate < 0.0)
      out << " negative interest: the certificate holds as for a positive rate, but the search "
             "shifts sets as for a positive one, so 'not proved' is a true finding here\n";
    if (within > 0)
      out << " " << within << (within == 1 ? " result is" : " results are")
          << " not proved where the search stopped on a subtree within its cut tolerance\n";
    std::snprintf(line, sizeof line,
                  " proved %d of %d solved instances (%d feasible), %d not solved; check %.3f ms "
                  "per instance, %.3f ms at most\n",
                  proved, solved, feasible, unsolved, solved ? 1000.0 * checktime / solved : 0.0,
                  1000.0 * checkmax);
    out << line;
  }
  if (chdir(home.c_str()) != 0) {}
  return status;
}

}  // namespace gprcheck
