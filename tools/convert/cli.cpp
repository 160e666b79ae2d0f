// cli.cpp: the command line of gprnpv-convert: collects the inputs, converts
// them one by one and writes each D<n>.gpr and the manifest under a
// temporary name that is renamed only when the file is complete.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>
#include <system_error>

#include "convert.h"
#include "netgen.h"

namespace convert {
namespace {

namespace fs = std::filesystem;

const char* const usage_text =
    "Usage: gprnpv-convert [options] INPUT...\n"
    "Converts project networks of the public benchmark libraries into D<n>.gpr\n"
    "files for gprnpv. An INPUT is a file or a folder; a folder stands for every\n"
    ".sch, .sm and .rcp file in it and its subfolders. The files are numbered from\n"
    "the first number on, in the natural order of their names (net2 before\n"
    "net10), and the folder gets manifest.tsv: number and source of every file\n"
    "written.\n"
    "\n"
    "  -o, --output FOLDER  where to write (default: the current folder); created\n"
    "                       if it does not exist\n"
    "  -f, --first N        number of the first file (default 1)\n"
    "      --format F       read every input as F (sch, sm or rcp), whatever its\n"
    "                       extension\n"
    "  -q, --quiet          no line per converted file\n"
    "  -h, --help           show this text\n"
    "\n"
    "Formats:\n"
    "  .sch  networks with minimal and maximal lags; every arc i->j with lag L\n"
    "        becomes a minimal start-start relation with lag L (a negative L states\n"
    "        a maximal lag of -L from j to i)\n"
    "  .sm   single-mode networks in blocks; finish-start relations with lag 0\n"
    "  .rcp  compact single-mode networks; finish-start relations with lag 0\n"
    "Capacities and requests are carried into the resource numbers of the file.\n"
    "\n"
    "A file that does not parse is reported with its line and gets no D<n>.gpr;\n"
    "its number stays unused, so every other file keeps the number its place in\n"
    "the order gives it. The others are converted all the same.\n"
    "\n"
    "Exit status: 0 every input converted, 1 some input failed or a file could not\n"
    "be written, 2 usage error.\n";

bool read_whole(const std::string& path, std::string& text, std::string& why) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    why = std::strerror(errno);
    return false;
  }
  std::ostringstream ss;
  ss << in.rdbuf();
  if (in.bad()) {
    why = "read error";
    return false;
  }
  text = ss.str();
  return true;
}

// Limits of the program that reads the files: a converted network beyond
// them is still written faithfully, with a warning.
std::string beyond_limits(const Network& net) {
  if (net.act.size() > static_cast<std::size_t>(netgen::max_real_activities + 2))
    return std::to_string(net.act.size()) + " activities, more than this gprnpv reads (" +
           std::to_string(netgen::max_real_activities + 2) + "; " + netgen::larger_limit_hint +
           ")";
  for (const Activity& a : net.act) {
    if (a.dur > 100000) return "a duration above 100000, which gprnpv refuses";
    for (const Entry& e : a.succ)
      if (e.lag > 100000 || e.lag < -100000) return "a lag beyond +-100000, which gprnpv refuses";
  }
  return "";
}

}  // namespace

int convert_main(int argc, char** argv, std::ostream& out, std::ostream& err) {
  std::string outdir = ".";
  long long first = 1;
  std::optional<Format> forced;
  bool quiet = false;
  std::vector<std::string> inputs;
  auto usage_error = [&](const std::string& what) {
    err << "gprnpv-convert: " << what << "\n(see gprnpv-convert --help)\n";
    return 2;
  };

  bool options_end = false;
  for (int k = 1; k < argc; k++) {
    std::string arg = argv[k];
    if (options_end || arg.empty() || arg[0] != '-' || arg == "-") {
      inputs.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_end = true;
      continue;
    }
    if (arg == "-h" || arg == "--help") {
      out << usage_text;
      return 0;
    }
    if (arg == "-q" || arg == "--quiet") {
      quiet = true;
      continue;
    }
    std::string name = arg, value;
    bool inline_value = false;
    std::size_t eq = arg.find('=');
    if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
      name = arg.substr(0, eq);
      value = arg.substr(eq + 1);
      inline_value = true;
    }
    if (name != "-o" && name != "--output" && name != "-f" && name != "--first" && name != "--format")
      return usage_error("unknown option " + name);
    if (!inline_value) {
      if (k + 1 >= argc) return usage_error(name + " needs a value");
      value = argv[++k];
    }
    if (name == "-o" || name == "--output") {
      if (value.empty()) return usage_error("empty output folder");
      outdir = value;
    } else if (name == "--format") {
      forced = format_named(value);
      if (!forced) return usage_error("unknown format '" + value + "' (sch, sm or rcp)");
    } else {
      char* endp = nullptr;
      errno = 0;
      first = std::strtoll(value.c_str(), &endp, 10);
      if (value.empty() || *endp != '\0' || errno != 0 || first < 0 || first > INT_MAX)
        return usage_error("bad value for " + name + ": '" + value + "'");
    }
  }
  if (inputs.empty()) return usage_error("no input given");

  // Collect the files: given files as they are, folders searched for the
  // known extensions. Missing inputs are failures of their own.
  int failed = 0;
  std::vector<std::string> files;
  for (const std::string& in : inputs) {
    std::error_code ec;
    fs::file_status st = fs::status(in, ec);
    if (ec || !fs::exists(st)) {
      err << "gprnpv-convert: " << in << ": cannot open: "
          << (ec ? ec.message() : std::string("No such file or directory")) << "\n";
      failed++;
    } else if (fs::is_directory(st)) {
      std::size_t before = files.size();
      for (fs::recursive_directory_iterator it(in, ec), stop; !ec && it != stop; it.increment(ec)) {
        std::error_code fe;
        if (it->is_regular_file(fe) && format_of(it->path().filename().string()))
          files.push_back(it->path().string());
      }
      if (ec) {
        err << "gprnpv-convert: " << in << ": " << ec.message() << "\n";
        failed++;
      } else if (files.size() == before) {
        err << "gprnpv-convert: " << in << ": no .sch, .sm or .rcp file in this folder\n";
        failed++;
      }
    } else {
      files.push_back(in);
    }
  }
  std::sort(files.begin(), files.end(), natural_less);
  files.erase(std::unique(files.begin(), files.end()), files.end());
  if (!files.empty() && first + static_cast<long long>(files.size()) - 1 > INT_MAX)
    return usage_error("instance numbers beyond " + std::to_string(INT_MAX));

  std::error_code ec;
  fs::create_directories(outdir, ec);
  if (ec || !fs::is_directory(outdir)) {
    err << "gprnpv-convert: cannot create folder " << outdir << ": "
        << (ec ? ec.message() : "not a folder") << "\n";
    return 1;
  }

  std::string manifest = "number\tsource\n";
  int written = 0;
  for (std::size_t k = 0; k < files.size(); k++) {
    const std::string& path = files[k];
    int number = static_cast<int>(first + static_cast<long long>(k));
    std::optional<Format> format = forced ? forced : format_of(path);
    if (!format) {
      err << "gprnpv-convert: " << path << ": unknown format (expected .sch, .sm or .rcp, or --format)\n";
      failed++;
      continue;
    }
    std::string text, why;
    if (!read_whole(path, text, why)) {
      err << "gprnpv-convert: " << path << ": cannot read: " << why << "\n";
      failed++;
      continue;
    }
    Network net;
    try {
      net = parse(*format, text);
    } catch (const ParseError& e) {
      err << "gprnpv-convert: " << path << ":" << e.line << ": " << e.what() << "\n";
      failed++;
      continue;
    }
    std::string name = "D" + std::to_string(number) + ".gpr";
    if (!netgen::write_atomic(outdir, name, to_gpr(net), why)) {
      err << "gprnpv-convert: cannot write " << outdir << "/" << name << ": " << why << "\n";
      failed++;
      continue;
    }
    std::string limit = beyond_limits(net);
    if (!limit.empty()) err << "gprnpv-convert: warning: " << path << ": " << limit << "\n";
    if (!quiet) out << name << "\t" << path << "\n";
    manifest += std::to_string(number) + "\t" + path + "\n";
    written++;
  }

  std::string why;
  if (!netgen::write_atomic(outdir, "manifest.tsv", manifest, why)) {
    err << "gprnpv-convert: cannot write " << outdir << "/manifest.tsv: " << why << "\n";
    return 1;
  }
  out << "converted " << written << " of " << files.size() << (files.size() == 1 ? " file" : " files")
      << " into " << outdir;
  if (failed > 0) out << "; " << failed << " failed";
  out << "\n";
  return failed > 0 ? 1 : 0;
}

}  // namespace convert
