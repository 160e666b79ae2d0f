// tool_options.h: the command-line conventions every gprnpv tool shares,
// on top of CLI11. Options take "--opt value" or "--opt=value"; -h/--help
// prints the tool's own usage text on `out`, --version prints
// "<tool> <version>" on `out` (both exit 0); any parse error (unknown or
// missing option, a value that does not convert or lies outside its range)
// prints one line naming the option on `err` and gives exit status 2.
//
// Options of the same name mean the same everywhere:
//   --dir FOLDER   folder the instance files are read from
//   -o FOLDER      folder the tool writes into
//   --first N, --last N, --pctneg P, --deadext D, --interest R
//                  the instance range and the five answers of gprnpv
//   -q             fewer lines on standard output
#ifndef GPRNPV_TOOL_OPTIONS_H
#define GPRNPV_TOOL_OPTIONS_H

#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <ostream>
#include <string>

#include "driver/driver.h"

namespace gprtools {

// A new parser for `tool`: CLI11's help flag is kept (its text is replaced
// by `usage` in parse()), --version is added.
inline void prepare(CLI::App& app) {
  app.set_help_flag("-h,--help");
  app.set_version_flag("--version", std::string(gpr::version_text()));
}

// CLI11's message in the words every tool uses: "unknown option --x",
// "--first needs a value", "bad value for --first: ...", "--interest is
// required".
inline std::string error_text(const CLI::ParseError& e) {
  std::string what = e.what();
  std::size_t colon = what.find(": ");
  std::string head = what.substr(0, colon);
  std::string rest = colon == std::string::npos ? "" : what.substr(colon + 2);
  if (dynamic_cast<const CLI::ExtrasError*>(&e) != nullptr) {
    std::string first = rest.substr(0, rest.find(' '));
    return (first.size() > 1 && first[0] == '-' ? "unknown option " : "unexpected argument ") +
           first;
  }
  if (dynamic_cast<const CLI::ArgumentMismatch*>(&e) != nullptr &&
      what.find("missing") != std::string::npos)
    return head + " needs a value";
  if (dynamic_cast<const CLI::ConversionError*>(&e) != nullptr) {
    std::size_t eq = rest.find(" = ");
    if (eq != std::string::npos)
      return "bad value for " + rest.substr(0, eq) + ": '" + rest.substr(eq + 3) + "'";
  }
  if (dynamic_cast<const CLI::ValidationError*>(&e) != nullptr && colon != std::string::npos)
    return "bad value for " + head + ": " + rest;
  return what;
}

// Parses the command line. Returns an exit status when the tool is done
// (0 after --help or --version, 2 after a usage error), or nothing when the
// tool goes on with the parsed values.
inline std::optional<int> parse(CLI::App& app, int argc, char** argv, const char* tool,
                                const char* usage, std::ostream& out, std::ostream& err) {
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    out << usage;
    return 0;
  } catch (const CLI::CallForVersion&) {
    out << tool << " " << gpr::version_text() << "\n";
    return 0;
  } catch (const CLI::ParseError& e) {
    err << tool << ": " << error_text(e) << "\n(see " << tool << " --help)\n";
    return 2;
  }
  return std::nullopt;
}

// Refuses numbers that are not finite ("nan", "inf").
inline const CLI::Validator finite_number(
    [](std::string& s) -> std::string {
      char* end = nullptr;
      double x = std::strtod(s.c_str(), &end);
      return std::isfinite(x) ? "" : "'" + s + "' is not a finite number";
    },
    "FINITE");

// Refuses numbers outside lo..hi; hi may be omitted (no upper bound).
inline CLI::Validator in_range(double lo, double hi = HUGE_VAL) {
  auto text = [](double x) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.15g", x);
    return std::string(buf);
  };
  std::string range = hi == HUGE_VAL ? "at least " + text(lo) : text(lo) + " to " + text(hi);
  return CLI::Validator(
      [lo, hi, range](std::string& s) -> std::string {
        double x = std::strtod(s.c_str(), nullptr);
        return x >= lo && x <= hi ? "" : "'" + s + "' must be " + range;
      },
      range);
}

// Refuses a sign in front of an unsigned number (which would wrap around).
inline const CLI::Validator unsigned_number(
    [](std::string& s) -> std::string {
      return s.find_first_of("+-") == std::string::npos ? "" : "'" + s + "' must not be signed";
    },
    "UNSIGNED");

// The usage error of a check made after parsing, in the same form.
inline int usage_error(std::ostream& err, const char* tool, const std::string& what) {
  err << tool << ": " << what << "\n(see " << tool << " --help)\n";
  return 2;
}

}  // namespace gprtools

#endif  // GPRNPV_TOOL_OPTIONS_H
