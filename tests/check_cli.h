// check_cli.h: gprnpv-check's command line called in-process, for the tests
// of the checker and of its charts.
#ifndef GPRNPV_CHECK_CLI_H
#define GPRNPV_CHECK_CLI_H

#include <sstream>
#include <string>
#include <vector>

#include "check.h"

// Runs gprnpv-check with `args` (without the program name); its output and
// messages land in `out` and `err`, the exit status is returned.
inline int run_cli(std::vector<std::string> args, std::string& out, std::string& err) {
  args.insert(args.begin(), "gprnpv-check");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  std::ostringstream o, e;
  int rc = gprcheck::check_main(static_cast<int>(argv.size()), argv.data(), o, e);
  out = o.str();
  err = e.str();
  return rc;
}

#endif  // GPRNPV_CHECK_CLI_H
