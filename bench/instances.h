// instances.h: the networks of the benchmarks, and what repeating a solve of
// the same instance needs.
//
// Every benchmark network is drawn by the generator library with one fixed
// seed: well-posed, `activities` activities with the dummies, two or three
// relations drawn per activity and a fifth of them bounded both ways by
// maximal lags, which gives about three list arcs per activity. The instance
// of n activities is written as D<n>.gpr.
#ifndef GPRNPV_BENCH_INSTANCES_H
#define GPRNPV_BENCH_INSTANCES_H

#include <cstdint>
#include <fstream>
#include <string>

#include "netgen.h"
#include "network/network.h"

namespace bench {

constexpr std::uint64_t seed = 20240611;

inline netgen::Options options_for(int activities) {
  netgen::Options opt;
  opt.seed = seed;
  opt.min_activities = opt.max_activities = activities - 2;
  opt.min_arcs = 2;
  opt.max_arcs = 3;
  opt.maxlag_share = 0.2;
  return opt;
}

// Writes D<activities>.gpr into `folder`; false when it cannot.
inline bool write_instance(const std::string& folder, int activities) {
  std::ofstream out(folder + "/D" + std::to_string(activities) + ".gpr");
  out << netgen::generate_instance(options_for(activities), activities);
  return static_cast<bool>(out);
}

// A solve installs the closing arc in five cells of the instance and points
// two packed lists at it. Taken right after read_instance and put back
// before each solve, they make every repeated solve start from the network
// as read.
struct closing_cells {
  int end, nrsuc_end, suc_end0, nrpred_0, pred_00, lag_end0, sucfirst_end, predfirst_0;
  closing_cells()
      : end(gpr::nract - 1),
        nrsuc_end(gpr::nrsuc[end]),
        suc_end0(gpr::suc[end][0]),
        nrpred_0(gpr::nrpred[0]),
        pred_00(gpr::pred[0][0]),
        lag_end0(gpr::lag[end][0]),
        sucfirst_end(gpr::sucfirst[end]),
        predfirst_0(gpr::predfirst[0]) {}
  void restore() const {
    gpr::nrsuc[end] = nrsuc_end;
    gpr::suc[end][0] = suc_end0;
    gpr::nrpred[0] = nrpred_0;
    gpr::pred[0][0] = pred_00;
    gpr::lag[end][0] = lag_end0;
    gpr::sucfirst[end] = sucfirst_end;  // the packed entries themselves stay
    gpr::predfirst[0] = predfirst_0;
  }
};

// Number of entries of the successor lists.
inline int list_arcs() {
  int arcs = 0;
  for (int i = 0; i < gpr::nract; i++) arcs += gpr::nrsuc[i];
  return arcs;
}

}  // namespace bench

#endif  // GPRNPV_BENCH_INSTANCES_H
