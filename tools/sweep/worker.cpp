// worker.cpp: one solve, in the calling process, with the same library
// calls and the same globals as gprnpv's batch loop, so that outcome, value
// and passes equal what gprnpv writes to output.txt for the same answers.
// The library prints nothing (console and files closed); the outcome comes
// from gpr::failcode, which every failure row sets.
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "check.h"
#include "driver/driver.h"
#include "network/network.h"
#include "search/search.h"
#include "sweep.h"

namespace sweep {

std::string outcome_text(int failcode) {
  if (failcode == gpr::fail_none) return "optimal";
  std::string t = gpr::failure_file_text(failcode);
  std::size_t p = t.find_first_not_of(' ');
  return p == std::string::npos ? t : t.substr(p);
}

const char* certificate_text(int verdict) {
  switch (verdict) {
    case cert_proved: return "proved";
    case cert_not_proved: return "not proved";
    case cert_infeasible: return "infeasible";
    default: return nullptr;
  }
}

Result solve_job(const Job& job, const std::string& dir, bool certify) {
  static std::string here;  // the set folder this process is in
  Result r{};
  r.activities = r.arcs = -1;
  r.certificate = cert_none;
  r.solve_seconds = -1.0;  // no solve
  gpr::console = nullptr;
  gpr::outfile = nullptr;
  gpr::infofile = nullptr;
  if (here != dir) {
    if (chdir(dir.c_str()) != 0) {
      here.clear();
      r.failcode = gpr::fail_notfound;  // the folder is gone: so is the file
      return r;
    }
    here = dir;
  }
  std::snprintf(gpr::prefix, sizeof gpr::prefix, "D");
  gpr::probnr = job.instance;
  gpr::pctneg = job.pctneg;
  gpr::deadext = job.deadext;
  gpr::interest = job.interest;

  // Three readings of the thread clock per solve (each is a system call):
  // the end of the read is the start of the solve, and the solver takes
  // the end of an optimal solve itself.
  std::int64_t t0 = gpr::thread_cpu_ns();
  bool read = gpr::read_instance() != 0;
  int code = gpr::failcode;
  if (code != gpr::fail_notfound && code != gpr::fail_toolarge && code != gpr::fail_invalid) {
    r.activities = gpr::nract;
    int arcs = 0;
    for (int i = 0; i < gpr::nract; i++) arcs += gpr::nrsuc[i];
    r.arcs = arcs;
  }
  std::int64_t t1 = gpr::thread_cpu_ns();
  r.read_seconds = static_cast<double>(t1 - t0) * 1e-9;
  if (read) {
    gprcheck::Model model;
    if (certify) model = gprcheck::capture_model();
    gpr::starttick = certify ? gpr::thread_cpu_ns() : t1;
    gpr::solve_instance();
    if (gpr::failcode != gpr::fail_none) {
      // A failed solve has no row time of its own; it is timed the same way.
      r.solve_seconds = static_cast<double>(gpr::thread_cpu_ns() - gpr::starttick) * 1e-9;
    } else {
      r.npv = gpr::npv;
      r.solve_seconds = gpr::cputime;
      if (certify) {
        std::vector<int> st(gpr::st, gpr::st + model.nract);
        gprcheck::Verdict v = gprcheck::check(model, st);
        r.certificate = !v.feasibility.ok ? cert_infeasible
                        : v.passed()      ? cert_proved
                                          : cert_not_proved;
      }
      r.passes = gpr::nriter;
    }
  }
  r.failcode = gpr::failcode;
  return r;
}

}  // namespace sweep
