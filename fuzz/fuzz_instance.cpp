// fuzz_instance.cpp: libFuzzer entry that treats each input as an instance
// file and runs it through the reader and, when the reader accepts it, the
// solve, once in each direction.
//
// The input is written to D1.gpr in a private folder that is the working
// directory of the whole run (the reader opens its file by a relative name,
// and parallel jobs must not share one). Since libFuzzer reads and writes
// its corpus folders, dictionary and artifacts after this initialisation,
// relative paths among the arguments are made absolute first, and crash
// artifacts go to the folder the fuzzer was started in.
//
// Console output is silenced and no result file is open (outfile and
// infofile stay null), so nothing in the library calls exit(): every outcome
// is a row that is simply not written. The solve changes the lists and the
// lag matrix, so the file is read again before the second direction. The
// deadline increment comes from the input's length, which lets the fuzzer
// reach tight and negative increments too.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "driver/driver.h"
#include "network/network.h"
#include "search/search.h"

namespace {

std::string workdir;
std::vector<std::string> args;     // the rewritten arguments, kept alive
std::vector<char*> argp;

// Flags of libFuzzer whose value is a path.
constexpr const char* path_flags[] = {"-dict=", "-artifact_prefix=", "-exact_artifact_path=",
                                      "-merge_control_file=", "-features_dir=",
                                      "-data_flow_trace=", "-stop_file="};

std::string absolute(const std::string& cwd, const std::string& path) {
  return path.empty() || path[0] == '/' ? path : cwd + "/" + path;
}

// Makes the corpus folders and the path flags absolute, and sends artifacts
// to the starting folder unless the command line says where.
void absolute_arguments(int* argc, char*** argv) {
  char buf[4096];
  if (getcwd(buf, sizeof buf) == nullptr) return;
  std::string cwd = buf;
  bool artifacts = false;
  args.emplace_back((*argv)[0]);
  for (int k = 1; k < *argc; k++) {
    std::string a = (*argv)[k];
    if (a[0] != '-') {
      a = absolute(cwd, a);
    } else {
      for (const char* flag : path_flags) {
        std::size_t n = std::strlen(flag);
        if (a.compare(0, n, flag) != 0) continue;
        a = flag + absolute(cwd, a.substr(n));
        if (std::strncmp(flag, "-artifact", 9) == 0 || std::strncmp(flag, "-exact", 6) == 0)
          artifacts = true;
      }
    }
    args.push_back(a);
  }
  if (!artifacts) args.push_back("-artifact_prefix=" + cwd + "/");
  for (std::string& a : args) argp.push_back(a.data());
  argp.push_back(nullptr);
  *argc = static_cast<int>(args.size());
  *argv = argp.data();
}

void remove_workdir() {
  if (workdir.empty()) return;
  std::remove((workdir + "/D1.gpr").c_str());
  rmdir(workdir.c_str());
}

bool write_instance(const std::uint8_t* data, std::size_t size) {
  std::FILE* f = std::fopen("D1.gpr", "wb");
  if (f == nullptr) return false;
  bool ok = std::fwrite(data, 1, size, f) == size;
  return std::fclose(f) == 0 && ok;
}

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
  absolute_arguments(argc, argv);
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/gprnpv-fuzz-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr || chdir(pattern.c_str()) != 0) {
    std::perror("gprnpv_fuzz: private working folder");
    std::abort();
  }
  workdir = pattern;
  std::atexit(remove_workdir);

  gpr::console = nullptr;
  gpr::outfile = nullptr;
  gpr::infofile = nullptr;
  std::strcpy(gpr::prefix, "D");
  std::strcpy(gpr::outname, "output.txt");
  gpr::interest = 0.01;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (!write_instance(data, size)) std::abort();
  gpr::deadext = static_cast<int>(size % 23) - 3;
  read_and_solve(30);
  read_and_solve(70);
  return 0;
}
