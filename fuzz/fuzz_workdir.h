// fuzz_workdir.h: the private working folder of a fuzz run.
//
// The program's reader opens its instance file by a relative name, so every
// fuzz target writes its inputs to D1.gpr in a folder of its own (parallel
// jobs must not share one), made the working directory of the whole run.
#ifndef GPRNPV_FUZZ_WORKDIR_H
#define GPRNPV_FUZZ_WORKDIR_H

#include <cstddef>
#include <cstdint>

namespace fuzzdir {

// Called from LLVMFuzzerInitialize: makes the relative paths among
// libFuzzer's arguments (corpus folders, dictionary, artifacts) absolute,
// sends artifacts to the starting folder unless the command line says
// where, then creates $TMPDIR/<name>-XXXXXX, changes into it and removes it
// at exit. Aborts when the folder cannot be made.
void enter(int* argc, char*** argv, const char* name);

// Writes the bytes to D1.gpr in the working folder; aborts on failure.
void write_instance(const std::uint8_t* data, std::size_t size);

}  // namespace fuzzdir

#endif  // GPRNPV_FUZZ_WORKDIR_H
