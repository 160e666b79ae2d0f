// gantt.h: the schedule of one checked instance as a Gantt chart in SVG 1.1.
//
// One row per activity in file numbering on a time axis: a bar from start to
// finish (a diamond for zero duration) coloured by the sign of the cash flow,
// darker for larger amounts; the deadline as a vertical line; the tight
// relations (slack 0, the ones that hold the schedule in place) as thin
// connectors up to `connector_limit` activities. Every bar is an element of
// class "activity" with a <title> (number, start, finish, cash flow,
// discounted cash flow). The text is plain SVG with no script; rows shrink
// with the size of the network down to 3 px and only every k-th row is
// labelled when they are dense, so 1000 activities still give readable rows.
// Cost: linear in activities plus arcs; about 200 bytes per activity.
#ifndef GPRNPV_GANTT_H
#define GPRNPV_GANTT_H

#include <string>
#include <vector>

#include "check.h"

namespace gprcheck {

// Connectors between bars are drawn for networks up to this many activities;
// above it they would cover the bars, and the legend says they are left out.
constexpr int connector_limit = 300;

// What the title line says about the run.
struct GanttTitle {
  int instance = 0;       // the number n of D<n>.gpr
  int pctneg = 0;
  int deadext = 0;
  double interest = 0.0;
  double npv = 0.0;       // as printed on the console line
  std::string verdict;    // feasibility and certificate, as on the console line
};

// The chart of schedule `st` (one start time per activity, st.size() ==
// m.nract) of model `m`. The deadline drawn is the bound of the closing arc,
// the last arc of the model: the dummy end starts at most that long after
// the dummy start.
std::string gantt_svg(const Model& m, const std::vector<int>& st, const GanttTitle& title);

// Creates folder `dir` if needed and returns its absolute path, so that it
// stays valid when the working folder changes; empty, with the system's
// reason in `why`, when it cannot be made or is not a folder.
std::string gantt_folder(const std::string& dir, std::string& why);

// Writes `svg` as dir/D<number>.svg, whole or not at all (a temporary file
// renamed into place). False, with the system's reason in `why`, on failure.
bool write_gantt(const std::string& dir, int number, const std::string& svg, std::string& why);

}  // namespace gprcheck

#endif  // GPRNPV_GANTT_H
