// check.h: an independent check of the schedules that the search returns.
//
// Two checks per schedule:
//   - feasibility: every listed arc with a lag cell, and the closing arc,
//     is met (st[j] - st[i] >= lag);
//   - an optimality certificate. With x_i = exp(-r * st_i) the problem is a
//     linear program, so a feasible schedule is optimal exactly when its
//     Karush-Kuhn-Tucker conditions hold: non-negative multipliers on the
//     tight arcs whose net inflow at every activity k equals r * w_k, with
//     w_k = cf_k * exp(-r * (st_k + dur_k)) its discounted cash flow. The
//     activity that the search keeps in place (the dummy start forward, the
//     dummy end backward) takes whatever balance is left. Such multipliers
//     exist exactly when a maximum flow over the tight arcs meets every
//     supply and demand; when it does not, a minimum cut gives a set of
//     activities whose joint shift is feasible and raises the value.
//
// Activities are the library's 0-based numbers throughout; the command line
// prints them as the instance file numbers them (one higher).
#ifndef GPRNPV_CHECK_H
#define GPRNPV_CHECK_H

#include <iosfwd>
#include <string>
#include <vector>

namespace gprcheck {

// By default a residual up to this share of the total supply counts as met
// (gprnpv-check --tolerance changes it). The README ("Checking results")
// explains the choice.
constexpr double reltol = 1e-12;

// One constraint st[to] - st[from] >= lag. `dropped`: a relation of the file
// that the search leaves out by design (see capture_model).
struct Arc {
  int from, to, lag;
  bool dropped = false;
};

// The problem that the search solves for one instance.
struct Model {
  int nract = 0;
  int anchor = 0;         // kept in place by the search: 0 forward, nract-1 backward
  int deadline = 0;
  double interest = 0.0;
  std::vector<int> dur, cf;
  std::vector<Arc> arcs;  // each listed pair once, the closing arc last
};

// The model of the instance that read_instance() has just left in the
// network state, for the direction that gpr::pctneg selects. Must be taken
// before solve_instance(), which replaces the lists of the dummies by the
// closing arc. A pair listed more than once gives one arc; an arc whose
// cell is NOLAG carries no relation and is left out. The closing arc is
// st[0] - st[end] >= -deadline, exactly as the search sets it.
//
// The solve replaces the dummy end's successors and the dummy start's
// predecessors by the closing arc, so it never enforces relations listed
// into the dummy start or out of the dummy end, nor a listed bound from the
// dummy end to the dummy start above -deadline. They stay in the model, so
// a schedule that breaks one is still infeasible, marked `dropped`.
Model capture_model();

// The arcs of `m` marked dropped, as "5->1, 12->3" in file numbers
// (shortened after eight); empty when there are none.
std::string dropped_text(const Model& m);

// The outcome text of an instance without a result, as gprnpv prints it
// without its tabs; for an invalid file with the reader's reason `why`
// (gpr::failwhy) "invalid file: <why>".
std::string failure_text(int failcode, const std::string& why);

struct Feasibility {
  bool ok = true;
  int violated = 0;       // arcs not met
  Arc worst{0, 0, 0};     // the arc with the largest shortfall
  long long shortfall = 0;
  int dropped = 0;        // violated arcs that the search leaves out
};

enum class Status {
  proved,      // multipliers exist within the tolerance: the schedule is optimal
  flat,        // interest 0: every feasible schedule has the same value
  not_proved,  // no multipliers: `shift` raises the value
  not_checked  // see `reason`
};

struct Certificate {
  Status status = Status::not_checked;
  std::string reason;        // for not_checked
  double supply = 0.0;       // total supply of the flow, value per time unit
  double residual = 0.0;     // supply the flow cannot meet, same unit
  double relative = 0.0;     // residual / supply
  // For not_proved: activities whose joint shift by `direction` (+1 later,
  // -1 earlier) raises the value, for every step from 1 to `step` (-1 when
  // no arc bounds it); `rate` is the first-order gain per time unit and
  // `gain` the value gained by the whole step (by one unit when unbounded).
  std::vector<int> shift;
  int direction = 0;
  long long step = 0;
  double rate = 0.0;
  double gain = 0.0;
};

struct Verdict {
  Feasibility feasibility;
  Certificate certificate;  // not_checked when the schedule is infeasible
  bool passed() const {
    return feasibility.ok &&
           (certificate.status == Status::proved || certificate.status == Status::flat);
  }
};

Feasibility check_feasible(const Model& m, const std::vector<int>& st);
// `tolerance`: the share of the supply that may stay unmet for `proved`.
Certificate certify(const Model& m, const std::vector<int>& st, double tolerance = reltol);
Verdict check(const Model& m, const std::vector<int>& st, double tolerance = reltol);

// Right after solve_instance(): among the subtrees that the search's last
// pass could have cut, the value of the one that came closest to the cut on
// the side that moves (negative forward, positive backward), or 0 when no
// subtree lies on that side. A value here lies within the cut tolerance
// DCTOL, since the last pass cut nothing; it shows that the search stopped
// on its tolerance rather than on an optimal schedule.
double closest_kept_cut();

// The gprnpv-check command line, output on `out`, messages on `err`. Exit
// status 0: every solved instance feasible and proved; 1: some solved
// instance is not; 2: usage error or a schedule file that cannot be written.
int check_main(int argc, char** argv, std::ostream& out, std::ostream& err);

}  // namespace gprcheck

#endif  // GPRNPV_CHECK_H
