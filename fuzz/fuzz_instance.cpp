// fuzz_instance.cpp: libFuzzer entry that treats each input as an instance
// file and runs it through the reader and, when the reader accepts it, the
// solve, once in each direction.
//
// The input is written to D1.gpr in the run's private working folder
// (fuzz_workdir.h).
//
// Console output is silenced and no result file is open (outfile and
// infofile stay null), so nothing in the library calls exit(): every outcome
// is a row that is simply not written. The solve changes the lists and the
// lag matrix, so the file is read again before the second direction. The
// deadline increment comes from the input's length, which lets the fuzzer
// reach tight and negative increments too.
#include <cstdint>
#include <cstring>

#include "driver/driver.h"
#include "fuzz_workdir.h"
#include "network/network.h"
#include "search/search.h"

namespace {

void read_and_solve(int pctneg) {
  gpr::pctneg = pctneg;
  gpr::probnr = 1;
  if (gpr::read_instance()) {
    gpr::starttick = gpr::thread_cpu_ns();
    gpr::solve_instance();
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzzdir::enter(argc, argv, "gprnpv-fuzz");
  gpr::console = nullptr;
  gpr::outfile = nullptr;
  gpr::infofile = nullptr;
  std::strcpy(gpr::prefix, "D");
  std::strcpy(gpr::outname, "output.txt");
  gpr::interest = 0.01;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzdir::write_instance(data, size);
  gpr::deadext = static_cast<int>(size % 23) - 3;
  read_and_solve(30);
  read_and_solve(70);
  return 0;
}
