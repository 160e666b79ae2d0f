// bench_core.cpp: read_instance and solve_instance measured apart.
//
// The networks (instances.h) have 30, 100, 300 and 1000 activities, about
// three list arcs per activity, and each is run in both directions of the
// search: 30 and 70 percent negative cash flows. The files are written once
// into a temporary folder, which is the working directory while the
// benchmarks run and is removed afterwards.
//
// BM_read_instance times one read_instance() call: both passes over the
// file, the cash flows and their log entries (written to /dev/null), the lag
// matrix reset and the earliest starts. BM_solve_instance reads the instance
// once and then times solve_instance() alone; the closing arc that a solve
// installs is taken out again before the next one (five cells, restored
// inside the timed loop), so every iteration solves the same network along
// the same path. Counters: activities, list arcs, and the passes of a solve.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "driver/driver.h"
#include "instances.h"
#include "network/network.h"
#include "search/search.h"

namespace {

constexpr int sizes[] = {30, 100, 300, 1000};
std::string folder;

bool write_files() {
  char tmpl[] = "/tmp/gprnpv-bench-XXXXXX";
  if (mkdtemp(tmpl) == nullptr) return false;
  folder = tmpl;
  for (int n : sizes)
    if (!bench::write_instance(folder, n)) return false;
  return chdir(folder.c_str()) == 0;
}

void remove_files() {
  if (folder.empty()) return;
  for (int n : sizes) std::remove((folder + "/D" + std::to_string(n) + ".gpr").c_str());
  if (chdir("/") == 0) rmdir(folder.c_str());
}

// Run parameters of the batch dialogue for one benchmark case.
bool prepare(benchmark::State& state) {
  gpr::console = nullptr;
  gpr::outfile = nullptr;
  if (gpr::infofile == nullptr) gpr::infofile = std::fopen("/dev/null", "w");
  gpr::probnr = static_cast<int>(state.range(0));
  gpr::pctneg = static_cast<int>(state.range(1));
  gpr::deadext = 10;
  gpr::interest = 0.01;
  std::snprintf(gpr::prefix, sizeof gpr::prefix, "D");
  if (gpr::read_instance() != 1) {
    state.SkipWithError("instance not read");
    return false;
  }
  return true;
}

void BM_read_instance(benchmark::State& state) {
  if (!prepare(state)) return;
  long bytes = 0;
  if (std::FILE* f = std::fopen(gpr::probname, "rb")) {
    std::fseek(f, 0, SEEK_END);
    bytes = std::ftell(f);
    std::fclose(f);
  }
  for (auto _ : state) {
    int ok = gpr::read_instance();
    benchmark::DoNotOptimize(ok);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * bytes);
  state.counters["activities"] = gpr::nract;
  state.counters["arcs"] = bench::list_arcs();
}

void BM_solve_instance(benchmark::State& state) {
  if (!prepare(state)) return;
  const int arcs = bench::list_arcs();
  const bench::closing_cells cells;
  for (auto _ : state) {
    cells.restore();
    gpr::starttick = gpr::thread_cpu_ns();
    gpr::solve_instance();
    benchmark::ClobberMemory();
  }
  if (gpr::failcode != gpr::fail_none) state.SkipWithError("solve failed");
  state.counters["activities"] = gpr::nract;
  state.counters["arcs"] = arcs;
  state.counters["passes"] = gpr::nriter;
}

void both_directions(benchmark::internal::Benchmark* b) {
  for (int n : sizes)
    for (int pctneg : {30, 70}) b->Args({n, pctneg});
  b->ArgNames({"act", "neg"})->Unit(benchmark::kMicrosecond);
}

BENCHMARK(BM_read_instance)->Apply(both_directions);
BENCHMARK(BM_solve_instance)->Apply(both_directions);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  if (!write_files()) {
    std::fprintf(stderr, "gprnpv_bench: cannot write the instances\n");
    remove_files();
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  remove_files();
  return 0;
}
