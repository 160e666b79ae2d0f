// fuzz_workdir.cpp: the private working folder of a fuzz run (see
// fuzz_workdir.h).
#include "fuzz_workdir.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace fuzzdir {
namespace {

std::string workdir;
std::vector<std::string> args;  // the rewritten arguments, kept alive
std::vector<char*> argp;

// Flags of libFuzzer whose value is a path.
constexpr const char* path_flags[] = {"-dict=", "-artifact_prefix=", "-exact_artifact_path=",
                                      "-merge_control_file=", "-features_dir=",
                                      "-data_flow_trace=", "-stop_file="};

std::string absolute(const std::string& cwd, const std::string& path) {
  return path.empty() || path[0] == '/' ? path : cwd + "/" + path;
}

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

}  // namespace

void enter(int* argc, char*** argv, const char* name) {
  absolute_arguments(argc, argv);
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/" + name + "-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr || chdir(pattern.c_str()) != 0) {
    std::perror((std::string(name) + ": private working folder").c_str());
    std::abort();
  }
  workdir = pattern;
  std::atexit(remove_workdir);
}

void write_instance(const std::uint8_t* data, std::size_t size) {
  std::FILE* f = std::fopen("D1.gpr", "wb");
  if (f == nullptr) std::abort();
  bool ok = std::fwrite(data, 1, size, f) == size;
  if (std::fclose(f) != 0 || !ok) std::abort();
}

}  // namespace fuzzdir
