// cli.cpp: the command line of gprnpv-sweep (run, report, merge), parsed
// with CLI11. Every usage error, from the parser or from the checks of the
// lists, sets and database, is one line on `err` and exit status 2.
#include <CLI/CLI.hpp>

#include <ostream>

#include "driver/driver.h"
#include "sweep.h"
#include "tool_options.h"

namespace sweep {
namespace {

std::string shell_word(const std::string& s) {
  if (!s.empty() && s.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                        "0123456789-_./:,=+%@") == std::string::npos)
    return s;
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

}  // namespace

int sweep_main(int argc, char** argv, std::ostream& out, std::ostream& err) {
  CLI::App app{
      "gprnpv-sweep: factorial experiments with gprnpv. Solves every instance of each set\n"
      "for every combination of the lists, stores the results in SQLite, resumes where a\n"
      "run stopped, and reports tables, CSV and charts.",
      "gprnpv-sweep"};
  app.set_version_flag("--version", std::string("gprnpv-sweep ") + gpr::version_text());
  app.require_subcommand(1);

  RunOptions ro;
  std::string pctneg, deadext, interest, shard;
  int first = 0, last = 0;
  std::vector<std::string> dirs;
  CLI::App* run = app.add_subcommand("run", "solve what the database does not hold yet");
  run->add_option("--db", ro.db, "results database (created when missing)")->required();
  run->add_option("-j,--jobs", ro.jobs, "worker processes (default: the number of cores)")
      ->check(CLI::Range(1, 1024));
  run->add_option("--shard", shard, "K/N: solve only the K-th of N fixed parts of the work");
  run->add_option("--pctneg", pctneg, "percentages of negative cash flows, e.g. 0,30,50 or 0:100:10")
      ->required();
  run->add_option("--deadext", deadext, "deadline increments, e.g. 0,10,50")->required();
  run->add_option("--interest", interest, "interest rates, e.g. 0.01,0.05")->required();
  CLI::Option* o_first = run->add_option("--first", first, "first instance number");
  CLI::Option* o_last = run->add_option("--last", last, "last instance number");
  run->add_flag("--certify", ro.certify, "prove every optimal result as gprnpv-check does");
  run->add_flag("-q,--quiet", ro.quiet, "no progress and no summary");
  run->add_option("--dir", dirs, "an instance set (as SET_DIR; may be repeated)");
  run->add_option("SET_DIR", ro.set_dirs, "folders of D<n>.gpr files");

  ReportOptions po;
  CLI::App* rep = app.add_subcommand("report", "tables, CSV and charts of a database");
  rep->add_option("--db", po.db, "results database")->required();
  rep->add_option("--by", po.by, "group by these of set,pctneg,deadext,interest")->delimiter(',');
  rep->add_option("--csv", po.csv, "write every result as one CSV row, with a header");
  rep->add_option("--plots", po.plots, "write the charts (PNG and SVG) into this folder");

  std::string target;
  std::vector<std::string> sources;
  CLI::App* mer = app.add_subcommand("merge", "unite shard databases, refusing conflicting rows");
  mer->add_option("--db", target, "target database (created when missing)")->required();
  mer->add_option("SHARD_DB", sources, "databases to merge")->required();

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) return app.exit(e, out, err);
    return gprtools::usage_error(err, "gprnpv-sweep", gprtools::error_text(e));
  }

  try {
    if (*run) {
      ro.pctneg = parse_int_list(pctneg, "--pctneg");
      ro.deadext = parse_int_list(deadext, "--deadext");
      ro.interest = parse_rate_list(interest, "--interest");
      if (!shard.empty()) std::tie(ro.shard, ro.shards) = parse_shard(shard);
      if (*o_first) ro.first = first;
      if (*o_last) ro.last = last;
      ro.set_dirs.insert(ro.set_dirs.begin(), dirs.begin(), dirs.end());
      if (ro.set_dirs.empty()) throw UsageError("no SET_DIR given");
      for (int k = 0; k < argc; k++) ro.command_line += (k ? " " : "") + shell_word(argv[k]);
      return run_sweep(ro, out, err);
    }
    if (*rep) return report(po, out, err);
    return merge(target, sources, out, err);
  } catch (const UsageError& e) {
    err << "gprnpv-sweep: " << e.what() << "\n";
    return 2;
  } catch (const std::exception& e) {
    err << "gprnpv-sweep: " << e.what() << "\n";
    return 1;
  }
}

}  // namespace sweep
