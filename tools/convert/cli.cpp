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
#include "driver/driver.h"
#include "netgen.h"
#include "tool_options.h"

namespace convert {
namespace {

namespace fs = std::filesystem;

const char* const usage_text =
    "Usage: gprnpv-convert [options] INPUT...\n"
    "Converts project networks of the public benchmark libraries into D<n>.gpr\n"
    "files for gprnpv. An INPUT is a file or a folder; a folder stands for every\n"
    ".sch, .sm and .rcp file in it and its subfolders. The files are numbered from\n"
    "the first number on, in the natural order of their names (net2 before\n"
    "net10), and the folder gets manifest.tsv: a header line, then number, source\n"
    "and version of every file written.\n"
    "\n"
    "  -o, --output FOLDER  where to write (default: the current folder); created\n"
    "                       if it does not exist\n"
    "  -f, --first N        number of the first file (default 1)\n"
    "      --format F       read every input as F (sch, sm or rcp), whatever its\n"
    "                       extension\n"
    "      --force          first remove the D<n>.gpr files and manifest.tsv that\n"
    "                       FOLDER holds (without it such a folder is refused)\n"
    "  -q, --quiet          no line per converted file\n"
    "  -h, --help           show this text\n"
    "      --version        show the version\n"
    "Options take '--opt value' or '--opt=value'; '--' ends them.\n"
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
    "the order gives it. The others are converted all the same. An activity that\n"
    "no chain of relations joins to the dummy start or to the dummy end is named\n"
    "in a warning; the file is written all the same.\n"
    "\n"
    "Exit status: 0 every input converted, 1 some input failed or a file could not\n"
    "be written or removed, 2 usage error or an output folder that already holds\n"
    "instance files (nothing written).\n";

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
  // The reader takes at most as many entries per activity, and as many
  // naming one activity, as the build reads activities.
  const std::size_t most = static_cast<std::size_t>(netgen::max_real_activities + 2);
  std::vector<std::size_t> naming(net.act.size() + 1, 0);
  for (std::size_t i = 0; i < net.act.size(); i++) {
    const Activity& a = net.act[i];
    if (a.dur > 100000) return "a duration above 100000, which gprnpv refuses";
    if (a.succ.size() > most)
      return "activity " + std::to_string(i + 1) + " lists " + std::to_string(a.succ.size()) +
             " successors, more than gprnpv reads (" + std::to_string(most) + ")";
    for (const Entry& e : a.succ) {
      if (e.lag > 100000 || e.lag < -100000) return "a lag beyond +-100000, which gprnpv refuses";
      if (e.succ >= 1 && static_cast<std::size_t>(e.succ) <= net.act.size() &&
          ++naming[e.succ] > most)
        return "more than " + std::to_string(most) + " entries name activity " +
               std::to_string(e.succ) + ", more than gprnpv reads";
    }
  }
  return "";
}

}  // namespace

int convert_main(int argc, char** argv, std::ostream& out, std::ostream& err) {
  const char* const tool = "gprnpv-convert";
  std::string outdir = ".", format_word;
  int first = 1;
  std::optional<Format> forced;
  bool quiet = false, force = false;
  std::vector<std::string> inputs;
  CLI::App app{tool};
  gprtools::prepare(app);
  app.add_option("-o,--output", outdir);
  app.add_option("-f,--first", first)->check(gprtools::in_range(0, INT_MAX));
  app.add_option("--format", format_word);
  app.add_flag("-q,--quiet", quiet);
  app.add_flag("--force", force);
  app.add_option("inputs", inputs);
  if (auto done = gprtools::parse(app, argc, argv, tool, usage_text, out, err)) return *done;
  auto usage_error = [&](const std::string& what) { return gprtools::usage_error(err, tool, what); };
  if (outdir.empty()) return usage_error("empty output folder");
  if (!format_word.empty()) {
    forced = format_named(format_word);
    if (!forced) return usage_error("unknown format '" + format_word + "' (sch, sm or rcp)");
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

  std::string why;
  if (!netgen::clear_stale(outdir, force, why)) {
    err << tool << ": " << why << "\n";
    return force ? 1 : 2;
  }
  std::error_code ec;
  fs::create_directories(outdir, ec);
  if (ec || !fs::is_directory(outdir)) {
    err << "gprnpv-convert: cannot create folder " << outdir << ": "
        << (ec ? ec.message() : "not a folder") << "\n";
    return 1;
  }

  // The manifest names the version that wrote it in a trailing column, so
  // readers by position or by header both keep working.
  const std::string version = gpr::version_text();
  std::string manifest = "number\tsource\tversion\n";
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
    std::string text;
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
    std::string gpr_text = to_gpr(net);
    if (!netgen::write_atomic(outdir, name, gpr_text, why)) {
      err << "gprnpv-convert: cannot write " << outdir << "/" << name << ": " << why << "\n";
      failed++;
      continue;
    }
    std::string limit = beyond_limits(net);
    if (!limit.empty()) err << "gprnpv-convert: warning: " << path << ": " << limit << "\n";
    std::string unlinked = netgen::unlinked_text(netgen::unlinked_activities(gpr_text));
    if (!unlinked.empty())
      err << "gprnpv-convert: warning: " << path << " (" << name << "): " << unlinked << "\n";
    if (!quiet) out << name << "\t" << path << "\n";
    manifest += std::to_string(number) + "\t" + path + "\t" + version + "\n";
    written++;
  }

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
