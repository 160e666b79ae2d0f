// cli.cpp: the command line of gprnpv-generate.
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <string>
#include <system_error>

#include "netgen.h"

namespace netgen {
namespace {

const char* const usage_text =
    "Usage: gprnpv-generate [options] FOLDER\n"
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
    "  -h, --help               show this text\n"
    "\n"
    "Without --awkward every network is well-posed for gprnpv: each activity lies\n"
    "on a chain of relations from the dummy start to the dummy end, no cycle of\n"
    "lags is positive, and the earliest-start schedule meets every bound.\n"
    "\n"
    "Exit status: 0 all files written, 1 a file could not be written, 2 usage error.\n";

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
  Options opt;
  long long count = 10, first = 1;
  std::string folder;
  bool have_folder = false;
  auto usage_error = [&](const std::string& what) {
    err << "gprnpv-generate: " << what << "\n(see gprnpv-generate --help)\n";
    return 2;
  };

  for (int k = 1; k < argc; k++) {
    std::string arg = argv[k];
    if (arg == "-h" || arg == "--help") {
      out << usage_text;
      return 0;
    }
    if (arg == "--awkward") {
      opt.awkward = true;
      continue;
    }
    if (arg.empty() || arg[0] != '-' || arg == "-") {
      if (have_folder) return usage_error("more than one folder given: " + arg);
      folder = arg;
      have_folder = true;
      continue;
    }
    // An option with a value: "--name value", "--name=value" or "-x value".
    std::string name = arg, value;
    bool inline_value = false;
    if (arg.rfind("--", 0) == 0) {
      std::size_t eq = arg.find('=');
      if (eq != std::string::npos) {
        name = arg.substr(0, eq);
        value = arg.substr(eq + 1);
        inline_value = true;
      }
    }
    static const char* const known[] = {"-n", "--count", "-f", "--first", "-s", "--seed",
                                        "-a", "--activities", "--arcs", "-m", "--maxlag-share",
                                        "-t", "--types", "-d", "--durations", "-l", "--lags",
                                        "-r", "--resources"};
    bool is_known = false;
    for (const char* o : known) is_known = is_known || name == o;
    if (!is_known) return usage_error("unknown option " + name);
    if (!inline_value) {
      if (k + 1 >= argc) return usage_error(name + " needs a value");
      value = argv[++k];
    }
    auto bad = [&]() { return usage_error("bad value for " + name + ": '" + value + "'"); };

    long long v;
    if (name == "-n" || name == "--count") {
      if (!parse_int(value, 0, INT_MAX, count)) return bad();
    } else if (name == "-f" || name == "--first") {
      if (!parse_int(value, 0, INT_MAX, first)) return bad();
    } else if (name == "-s" || name == "--seed") {
      errno = 0;
      char* endp = nullptr;
      unsigned long long s = std::strtoull(value.c_str(), &endp, 10);
      if (value.empty() || value[0] == '-' || errno != 0 || *endp != '\0') return bad();
      opt.seed = s;
    } else if (name == "-a" || name == "--activities") {
      if (!parse_range(value, opt.min_activities, opt.max_activities)) return bad();
    } else if (name == "--arcs") {
      if (!parse_range(value, opt.min_arcs, opt.max_arcs)) return bad();
    } else if (name == "-m" || name == "--maxlag-share") {
      char* endp = nullptr;
      double x = std::strtod(value.c_str(), &endp);
      if (value.empty() || *endp != '\0') return bad();
      opt.maxlag_share = x;
    } else if (name == "-t" || name == "--types") {
      std::string rest = value;
      for (int t = 0; t < 4; t++) {
        std::size_t comma = rest.find(',');
        if ((t < 3) != (comma != std::string::npos)) return bad();
        if (!parse_int(rest.substr(0, comma), INT_MIN, INT_MAX, v)) return bad();
        opt.type_weight[t] = static_cast<int>(v);
        rest = comma == std::string::npos ? "" : rest.substr(comma + 1);
      }
    } else if (name == "-d" || name == "--durations") {
      if (!parse_range(value, opt.min_duration, opt.max_duration)) return bad();
    } else if (name == "-l" || name == "--lags") {
      if (!parse_range(value, opt.min_lag, opt.max_lag)) return bad();
    } else {  // -r, --resources
      if (!parse_int(value, INT_MIN, INT_MAX, v)) return bad();
      opt.nrres = static_cast<int>(v);
    }
  }

  if (!have_folder) return usage_error("no output folder given");
  std::string why = check_options(opt);
  if (!why.empty()) return usage_error(why);
  if (count > 0 && first + count - 1 > INT_MAX)
    return usage_error("instance numbers beyond " + std::to_string(INT_MAX));

  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec || !std::filesystem::is_directory(folder)) {
    err << "gprnpv-generate: cannot create folder " << folder << ": "
        << (ec ? ec.message() : "not a folder") << "\n";
    return 1;
  }
  std::string failure = write_instances(opt, static_cast<int>(first), static_cast<int>(count), folder);
  if (!failure.empty()) {
    err << "gprnpv-generate: cannot write " << failure << "\n";
    return 1;
  }
  if (count == 0)
    out << "no instances written\n";
  else
    out << "wrote " << count << (count == 1 ? " instance" : " instances") << ", D" << first
        << ".gpr to D" << first + count - 1 << ".gpr, into " << folder << "\n";
  return 0;
}

}  // namespace netgen
