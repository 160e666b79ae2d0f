// cli.cpp: the command line of gprnpv-generate.
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <string>
#include <system_error>
#include <vector>

#include "netgen.h"
#include "tool_options.h"

namespace netgen {
namespace {

const char* const usage_text =
    "Usage: gprnpv-generate [options] FOLDER   (or -o FOLDER)\n"
    "Writes seeded random project networks as FOLDER/D<n>.gpr, ready for gprnpv.\n"
    "The same options give the same files, byte for byte; each file depends only\n"
    "on the options and its own number. FOLDER is created if it does not exist.\n"
    "\n"
    "  -n, --count N            instances to write (default 10)\n"
    "  -f, --first N            number of the first instance (default 1)\n"
    "  -s, --seed S             seed of the series, 0 to 2^64-1 (default 1)\n"
    "  -a, --activities A[..B]  real activities per network, the two dummies not\n"
    "                           counted; at most GPRNPV_MAXACT - 2 of the build\n"
    "                           (998 unless built larger; default 10..30)\n"
    "      --arcs A[..B]        successor relations drawn per activity (default 1..3)\n"
    "  -m, --maxlag-share X     share of those relations whose pair is also bounded\n"
    "                           by a maximal lag, 0 to 1 (default 0.2)\n"
    "  -t, --types SS,SF,FS,FF  weights of the four precedence types (default 1,1,2,1)\n"
    "  -d, --durations A[..B]   durations (default 1..10)\n"
    "  -l, --lags A[..B]        lags of the minimal relations (default 0..5)\n"
    "  -r, --resources R        resource types, with random capacities and requests\n"
    "                           (default 0)\n"
    "      --awkward            also write what the format permits but a clean\n"
    "                           network avoids: relations that set no lag, pairs\n"
    "                           listed twice, maximal lags listed one way only\n"
    "  -o, --output FOLDER      the folder to write into, instead of FOLDER\n"
    "      --force              first remove the D<n>.gpr files and manifest.tsv that\n"
    "                           FOLDER holds (without it such a folder is refused)\n"
    "  -q, --quiet              no summary line\n"
    "  -h, --help               show this text\n"
    "      --version            show the version\n"
    "Options take '--opt value' or '--opt=value'.\n"
    "\n"
    "Without --awkward every network is well-posed for gprnpv: each activity lies\n"
    "on a chain of relations from the dummy start to the dummy end, no cycle of\n"
    "lags is positive, and the earliest-start schedule meets every bound.\n"
    "\n"
    "An activity that no chain of listed relations joins to the dummy start or to\n"
    "the dummy end is named in a warning on standard error; the file is written.\n"
    "\n"
    "Exit status: 0 all files written, 1 a file could not be written or removed,\n"
    "2 usage error or a folder that already holds instance files (nothing written).\n";

bool parse_int(const std::string& s, long long lo, long long hi, long long& v) {
  if (s.empty()) return false;
  errno = 0;
  char* endp = nullptr;
  v = std::strtoll(s.c_str(), &endp, 10);
  return errno == 0 && *endp == '\0' && v >= lo && v <= hi;
}

bool parse_range(const std::string& s, int& lo, int& hi) {
  std::size_t dots = s.find("..");
  long long a, b;
  if (dots == std::string::npos) {
    if (!parse_int(s, INT_MIN, INT_MAX, a)) return false;
    b = a;
  } else if (!parse_int(s.substr(0, dots), INT_MIN, INT_MAX, a) ||
             !parse_int(s.substr(dots + 2), INT_MIN, INT_MAX, b)) {
    return false;
  }
  lo = static_cast<int>(a);
  hi = static_cast<int>(b);
  return true;
}

}  // namespace

int generate_main(int argc, char** argv, std::ostream& out, std::ostream& err) {
  const char* const tool = "gprnpv-generate";
  Options opt;
  int count = 10, first = 1;
  std::vector<std::string> folders;
  std::string folder, output, activities, arcs, types, durations, lags;
  bool quiet = false, force = false;
  CLI::App app{tool};
  gprtools::prepare(app);
  app.add_option("-n,--count", count)->check(gprtools::in_range(0, INT_MAX));
  app.add_option("-f,--first", first)->check(gprtools::in_range(0, INT_MAX));
  app.add_option("-s,--seed", opt.seed)->check(gprtools::unsigned_number);
  app.add_option("-a,--activities", activities);
  app.add_option("--arcs", arcs);
  app.add_option("-m,--maxlag-share", opt.maxlag_share)->check(gprtools::in_range(0.0, 1.0));
  app.add_option("-t,--types", types);
  app.add_option("-d,--durations", durations);
  app.add_option("-l,--lags", lags);
  app.add_option("-r,--resources", opt.nrres)->check(gprtools::in_range(0, 100));
  app.add_flag("--awkward", opt.awkward);
  app.add_flag("--force", force);
  app.add_flag("-q,--quiet", quiet);
  app.add_option("-o,--output", output);
  app.add_option("folder", folders);
  if (auto done = gprtools::parse(app, argc, argv, tool, usage_text, out, err)) return *done;
  auto usage_error = [&](const std::string& what) { return gprtools::usage_error(err, tool, what); };
  auto bad = [&](const char* name, const std::string& value) {
    return usage_error("bad value for " + std::string(name) + ": '" + value + "'");
  };
  if (!output.empty()) folders.insert(folders.begin(), output);
  if (folders.size() > 1) return usage_error("more than one folder given: " + folders[1]);
  if (!folders.empty()) folder = folders[0];
  bool have_folder = !folder.empty();
  if (!activities.empty() && !parse_range(activities, opt.min_activities, opt.max_activities))
    return bad("--activities", activities);
  if (!arcs.empty() && !parse_range(arcs, opt.min_arcs, opt.max_arcs)) return bad("--arcs", arcs);
  if (!durations.empty() && !parse_range(durations, opt.min_duration, opt.max_duration))
    return bad("--durations", durations);
  if (!lags.empty() && !parse_range(lags, opt.min_lag, opt.max_lag)) return bad("--lags", lags);
  if (!types.empty()) {
    std::string rest = types;
    long long v;
    for (int t = 0; t < 4; t++) {
      std::size_t comma = rest.find(',');
      if ((t < 3) != (comma != std::string::npos)) return bad("--types", types);
      if (!parse_int(rest.substr(0, comma), INT_MIN, INT_MAX, v)) return bad("--types", types);
      opt.type_weight[t] = static_cast<int>(v);
      rest = comma == std::string::npos ? "" : rest.substr(comma + 1);
    }
  }

  if (!have_folder) return usage_error("no output folder given");
  std::string why = check_options(opt);
  if (!why.empty()) return usage_error(why);

  if (count > 0 && static_cast<long long>(first) + count - 1 > INT_MAX)
    return usage_error("instance numbers beyond " + std::to_string(INT_MAX));
  if (!clear_stale(folder, force, why)) {
    err << tool << ": " << why << "\n";
    return force ? 1 : 2;
  }

  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec || !std::filesystem::is_directory(folder)) {
    err << "gprnpv-generate: cannot create folder " << folder << ": "
        << (ec ? ec.message() : "not a folder") << "\n";
    return 1;
  }
  for (int k = 0; k < count; k++) {
    int number = first + k;
    std::string name = "D" + std::to_string(number) + ".gpr";
    std::string text = generate_instance(opt, number);
    if (!write_atomic(folder, name, text, why)) {
      err << "gprnpv-generate: cannot write " << folder << "/" << name << ": " << why << "\n";
      return 1;
    }
    std::string unlinked = unlinked_text(unlinked_activities(text));
    if (!unlinked.empty()) err << tool << ": warning: " << name << ": " << unlinked << "\n";
  }
  if (quiet) return 0;
  if (count == 0)
    out << "no instances written\n";
  else
    out << "wrote " << count << (count == 1 ? " instance" : " instances") << ", D" << first
        << ".gpr to D" << first + count - 1 << ".gpr, into " << folder << "\n";
  return 0;
}

}  // namespace netgen
