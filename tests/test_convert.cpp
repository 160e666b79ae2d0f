// test_convert.cpp: gprnpv-convert on small hand-written networks in each
// input format: the exact D<n>.gpr text, the network the reader builds from
// it, malformed inputs, and the command line (numbering, manifest, exit
// status, nothing half-written).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "convert.h"
#include "driver/driver.h"
#include "testutil.h"

namespace {

namespace fs = std::filesystem;
using testutil::read_file;
using testutil::write_file;

// Activities 0..4 (1..3 real). 2 -> 1 with lag -6 is a maximal lag: 1 may
// start at most 6 after 2. The lags are written "[4]" and "[ 4 ]".
const char* const sample_sch =
    "3 2 0 0\n"
    "0 1 2 1 2 [0] [0]\n"
    "1 1 2 3 4 [5] [ 4 ]\n"
    "2 1 2 1 4 [-6] [3]\n"
    "3 1 1 4 [2]\n"
    "4 1 0\n"
    "0 1 0 0 0\n"
    "1 1 4 2 1\n"
    "2 1 3 0 2\n"
    "3 1 2 1 1\n"
    "4 1 0 0 0\n"
    "3 2\n";
const char* const expect_sch =
    "5 2 3 2\n"
    "0 0 0 2  2 1 1 0  3 1 1 0\n"
    "4 2 1 2  4 1 1 5  5 1 1 4\n"
    "3 0 2 2  2 1 1 -6  5 1 1 3\n"
    "2 1 1 1  5 1 1 2\n"
    "0 0 0 0\n";

const char* const sample_sm =
    "************************************************************************\n"
    "file with basedata            : hand1.bas\n"
    "initial value random generator: 1\n"
    "************************************************************************\n"
    "projects                      :  1\n"
    "jobs (incl. supersource/sink ):  5\n"
    "horizon                       :  20\n"
    "RESOURCES\n"
    "  - renewable                 :  2   R\n"
    "  - nonrenewable              :  0   N\n"
    "  - doubly constrained        :  0   D\n"
    "************************************************************************\n"
    "PROJECT INFORMATION:\n"
    "pronr.  #jobs rel.date duedate tardcost  MPM-Time\n"
    "    1      3      0       10        3       10\n"
    "************************************************************************\n"
    "PRECEDENCE RELATIONS:\n"
    "jobnr.    #modes  #successors   successors\n"
    "   1        1          2           2   3\n"
    "   2        1          1           4\n"
    "   3        1          2           4   5\n"
    "   4        1          1           5\n"
    "   5        1          0\n"
    "************************************************************************\n"
    "REQUESTS/DURATIONS:\n"
    "jobnr. mode duration  R 1  R 2\n"
    "------------------------------------------------------------------------\n"
    "  1      1     0       0    0\n"
    "  2      1     3       2    1\n"
    "  3      1     5       1    0\n"
    "  4      1     2       0    3\n"
    "  5      1     0       0    0\n"
    "************************************************************************\n"
    "RESOURCEAVAILABILITIES:\n"
    "  R 1  R 2\n"
    "    4    3\n"
    "************************************************************************\n";
const char* const expect_sm =
    "5 2 4 3\n"
    "0 0 0 2  2 1 3 0  3 1 3 0\n"
    "3 2 1 1  4 1 3 0\n"
    "5 1 0 2  4 1 3 0  5 1 3 0\n"
    "2 0 3 1  5 1 3 0\n"
    "0 0 0 0\n";

// Job 1's successor list and job 3's record wrap over lines.
const char* const sample_rcp =
    "6 1\n"
    "5\n"
    "0 0 3 2 3\n"
    "        4\n"
    "3 2 1 6\n"
    "2 3 2 4\n"
    "5\n"
    "1 1 1 6\n"
    "4 2 1 6\n"
    "0 0 0\n";
const char* const expect_rcp =
    "6 1 5\n"
    "0 0 3  2 1 3 0  3 1 3 0  4 1 3 0\n"
    "3 2 1  6 1 3 0\n"
    "2 3 2  4 1 3 0  5 1 3 0\n"
    "1 1 1  6 1 3 0\n"
    "4 2 1  6 1 3 0\n"
    "0 0 0\n";

// The least a block file can say: two jobs, no resource types.
const char* const sample_bare_sm =
    "jobs (incl. supersource/sink ):  2\n"
    "****\n"
    "PRECEDENCE RELATIONS:\n"
    "jobnr.    #modes  #successors   successors\n"
    "   1        1          1           2\n"
    "   2        1          0\n"
    "****\n"
    "REQUESTS/DURATIONS:\n"
    "jobnr. mode duration\n"
    "  1      1     0\n"
    "  2      1     0\n"
    "****\n"
    "RESOURCEAVAILABILITIES:\n"
    "****\n";
const char* const expect_bare_sm = "2 0\n0 1  2 1 3 0\n0 0\n";

std::string crlf(const std::string& s) {
  std::string t;
  for (char c : s) {
    if (c == '\n') t += '\r';
    t += c;
  }
  return t;
}

struct Sample {
  const char* file;
  convert::Format format;
  const char* text;
  const char* gpr;
};
const Sample samples[] = {
    {"net.sch", convert::Format::sch, sample_sch, expect_sch},
    {"net.sm", convert::Format::sm, sample_sm, expect_sm},
    {"net.rcp", convert::Format::rcp, sample_rcp, expect_rcp},
    {"bare.sm", convert::Format::sm, sample_bare_sm, expect_bare_sm},
};

// Runs the command line with the given arguments; captures both streams.
struct Outcome {
  int status;
  std::string out, err;
};
Outcome run_convert(std::vector<std::string> args) {
  args.insert(args.begin(), "gprnpv-convert");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  std::ostringstream out, err;
  int status = convert::convert_main(static_cast<int>(argv.size()), argv.data(), out, err);
  return {status, out.str(), err.str()};
}

std::vector<std::string> listing(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(ConvertFormats, HandWrittenSamplesGiveTheExpectedFile) {
  for (const Sample& s : samples) {
    SCOPED_TRACE(s.file);
    EXPECT_EQ(convert::to_gpr(convert::parse(s.format, s.text)), s.gpr);
    EXPECT_EQ(convert::to_gpr(convert::parse(s.format, crlf(s.text))), s.gpr) << "CR LF line ends";
  }
}

// The converted files as the program's reader sees them; every number below
// is worked out by hand from the samples.
TEST(ConvertFormats, ConvertedFilesAreReadBackByTheReader) {
  testutil::ScratchDir dir;
  for (const Sample& s : samples) write_file(s.file, crlf(s.text));
  Outcome r = run_convert({"-q", "-o", "out", "net.sch", "net.sm", "net.rcp"});
  ASSERT_EQ(r.status, 0) << r.err;
  // Natural order: net.rcp, net.sch, net.sm.
  const std::string v = std::string("\t") + gpr::version_text() + "\n";
  EXPECT_EQ(read_file("out/manifest.tsv"),
            "number\tsource\tversion\n1\tnet.rcp" + v + "2\tnet.sch" + v + "3\tnet.sm" + v);
  ASSERT_EQ(chdir("out"), 0);
  testutil::quiet_run(50, 0, 0.01);
  const int N = gpr::NOLAG;

  // rcp: finish-start lags are the durations of the tails.
  ASSERT_EQ(testutil::read(1), 1);
  EXPECT_EQ(gpr::nract, 6);
  EXPECT_EQ(gpr::nrres, 1);
  EXPECT_EQ((std::vector<int>(gpr::dur, gpr::dur + 6)), (std::vector<int>{0, 3, 2, 1, 4, 0}));
  EXPECT_EQ(gpr::nrsuc[0], 3);
  EXPECT_EQ(gpr::lag[2][3], 2);
  EXPECT_EQ(gpr::lag[2][4], 2);
  EXPECT_EQ(gpr::lag[4][5], 4);
  EXPECT_EQ(gpr::lag[3][2], N);
  EXPECT_EQ(gpr::deadline, 6);  // 0 -> 3 (2) -> 5 (4) -> end

  // sch: start-start lags as written, the maximal lag as a negative cell.
  ASSERT_EQ(testutil::read(2), 1);
  EXPECT_EQ(gpr::nract, 5);
  EXPECT_EQ(gpr::nrres, 2);
  EXPECT_EQ((std::vector<int>(gpr::dur, gpr::dur + 5)), (std::vector<int>{0, 4, 3, 2, 0}));
  EXPECT_EQ(gpr::lag[1][3], 5);
  EXPECT_EQ(gpr::lag[1][4], 4);
  EXPECT_EQ(gpr::lag[2][1], -6);
  EXPECT_EQ(gpr::lag[1][2], N);
  EXPECT_EQ(gpr::lag[3][4], 2);
  EXPECT_EQ(gpr::nrpred[1], 2);  // from the dummy start and from 2
  EXPECT_EQ(gpr::deadline, 7);  // 0 -> 1 (5) -> 3 (2) -> end

  // sm: like rcp.
  ASSERT_EQ(testutil::read(3), 1);
  EXPECT_EQ(gpr::nract, 5);
  EXPECT_EQ((std::vector<int>(gpr::dur, gpr::dur + 5)), (std::vector<int>{0, 3, 5, 2, 0}));
  EXPECT_EQ(gpr::lag[2][3], 5);
  EXPECT_EQ(gpr::lag[2][4], 5);
  EXPECT_EQ(gpr::lag[1][3], 3);
  EXPECT_EQ(gpr::deadline, 7);  // 0 -> 2 (5) -> 3 (2) -> end

  for (int number = 1; number <= 3; number++)
    for (int pct : {0, 100}) {
      SCOPED_TRACE("D" + std::to_string(number) + " with " + std::to_string(pct) + "% negative");
      testutil::quiet_run(pct, 3, 0.01);
      ASSERT_EQ(testutil::read(number), 1);
      gpr::solve_instance();
      EXPECT_EQ(gpr::failcode, gpr::fail_none);
    }
  ASSERT_EQ(chdir(".."), 0);
}

// Each case: a sample with one fault, the line that must be named, and a
// part of the message.
struct Bad {
  const char* name;
  std::string text;
  int line;
  const char* says;
};

std::string replace(std::string s, const std::string& from, const std::string& to) {
  std::size_t at = s.find(from);
  if (at == std::string::npos) ADD_FAILURE() << "sample has no '" << from << "'";
  else s.replace(at, from.size(), to);
  return s;
}

std::vector<Bad> bad_inputs() {
  const std::string sch = sample_sch, sm = sample_sm, rcp = sample_rcp;
  return {
      {"truncated.sch", sch.substr(0, sch.size() - 4), 11, "capacity of resource 1 should follow"},
      {"nobracket.sch", replace(sch, "[5]", "5"), 3, "expected '[' opening the lag of activity 1 to activity 3"},
      {"badlag.sch", replace(sch, "[-6]", "[-6x]"), 4, "found '-6x'"},
      {"succrange.sch", replace(sch, "3 1 1 4", "3 1 1 5"), 5, "successor id of activity 3 is 5, outside 0..4"},
      {"multimode.sch", replace(sch, "2 1 2 1 4", "2 2 2 1 4"), 4, "only single-mode"},
      {"order.sch", replace(sch, "3 1 2 1 1", "4 1 2 1 1"), 10, "duration of activity 3, found id 4"},
      {"extra.sch", sch + "7\n", 13, "unexpected '7' after the capacities"},
      {"empty.sch", "\n\n", 2, "empty"},
      {"nojobs.sm", replace(sm, "jobs (incl. supersource/sink ):  5", "tasks: 5"), 37, "no 'jobs"},
      {"noprec.sm", replace(sm, "PRECEDENCE RELATIONS:", "PRECEDENCES:"), 37, "no 'PRECEDENCE RELATIONS:' block"},
      {"succ.sm", replace(sm, "   4        1          1           5", "   4        1          1           6"), 22,
       "successor of job 4 is 6, outside 1..5"},
      {"shortrow.sm", replace(sm, "  3      1     5       1    0", "  3      1     5       1"), 30,
       "row of job 3 has 1 requests, expected 2"},
      {"caps.sm", replace(sm, "    4    3\n", "    4\n"), 36, "2 resource labels but 1 capacities"},
      // The block, and the file, end after the labels: the labels' line is named.
      {"nocaps.sm", replace(sm, "    4    3\n" + std::string(72, '*') + "\n", ""), 35,
       "2 resource labels but 0 capacities"},
      {"modes.sm", replace(sm, "   2        1          1           4", "   2        3          1           4"), 20,
       "2 has 3 modes"},
      {"truncated.rcp", rcp.substr(0, rcp.size() - 2), 10, "the successor count of job 6 should follow"},
      {"succ.rcp", replace(rcp, "1 1 1 6", "1 1 1 7"), 8, "successor of job 4 is 7, outside 1..6"},
      {"negdur.rcp", replace(rcp, "4 2 1 6", "-4 2 1 6"), 9, "duration of job 5 is -4"},
      {"word.rcp", replace(rcp, "3 2 1 6", "3 two 1 6"), 5, "request 1 of job 2 (an integer), found 'two'"},
      {"extra.rcp", rcp + "1\n", 11, "unexpected '1' after the last job"},
  };
}

TEST(ConvertFormats, MalformedInputsNameTheLineAndTheFault) {
  for (const Bad& b : bad_inputs()) {
    SCOPED_TRACE(b.name);
    for (bool windows : {false, true}) {
      try {
        convert::parse(*convert::format_of(b.name), windows ? crlf(b.text) : b.text);
        ADD_FAILURE() << "parsed without error";
      } catch (const convert::ParseError& e) {
        EXPECT_EQ(e.line, b.line) << e.what();
        EXPECT_NE(std::string(e.what()).find(b.says), std::string::npos) << e.what();
      }
    }
  }
}

// A batch of good and bad files: every bad one is reported with file and
// line and gets no file, the good ones are converted with the numbers their
// place gives them, the status is 1, and no temporary file is left over.
TEST(ConvertCli, BadFilesAreSkippedAndReported) {
  testutil::ScratchDir dir;
  fs::create_directory("in");
  std::vector<Bad> bad = bad_inputs();
  for (const Bad& b : bad) write_file("in/" + std::string(b.name), b.text);
  for (const Sample& s : samples) write_file("in/good_" + std::string(s.file), s.text);
  Outcome r = run_convert({"in", "--output=out", "--first", "100"});
  EXPECT_EQ(r.status, 1);

  std::vector<std::string> names;
  for (const Bad& b : bad) names.push_back(std::string("in/") + b.name);
  for (const Sample& s : samples) names.push_back("in/good_" + std::string(s.file));
  std::sort(names.begin(), names.end(), convert::natural_less);

  std::vector<std::string> expect_files;
  std::string manifest = "number\tsource\tversion\n";
  for (std::size_t k = 0; k < names.size(); k++) {
    std::string d = "D" + std::to_string(100 + k) + ".gpr";
    const Sample* good = nullptr;
    for (const Sample& s : samples)
      if (names[k] == "in/good_" + std::string(s.file)) good = &s;
    if (good) {
      expect_files.push_back(d);
      manifest += std::to_string(100 + k) + "\t" + names[k] + "\t" + gpr::version_text() + "\n";
      EXPECT_EQ(read_file("out/" + d), good->gpr) << names[k];
      EXPECT_NE(r.out.find(d + "\t" + names[k]), std::string::npos) << r.out;
    } else {
      for (const Bad& b : bad) {
        if (names[k] != std::string("in/") + b.name) continue;
        EXPECT_NE(r.err.find(names[k] + ":" + std::to_string(b.line) + ": "), std::string::npos) << r.err;
      }
    }
  }
  expect_files.push_back("manifest.tsv");
  std::sort(expect_files.begin(), expect_files.end());
  EXPECT_EQ(listing("out"), expect_files);
  EXPECT_EQ(read_file("out/manifest.tsv"), manifest);
  std::string summary = "converted " + std::to_string(std::size(samples)) + " of " + std::to_string(names.size()) +
                        " files into out; " + std::to_string(bad.size()) + " failed";
  EXPECT_NE(r.out.find(summary), std::string::npos) << r.out;
}

TEST(ConvertCli, FoldersAreSearchedAndNumberedInNaturalOrder) {
  testutil::ScratchDir dir;
  fs::create_directories("lib/sub");
  for (const char* n : {"lib/n10.rcp", "lib/n2.RCP", "lib/sub/n1.rcp", "extra/x.rcp"}) {
    fs::create_directories(fs::path(n).parent_path());
    write_file(n, sample_rcp);
  }
  write_file("lib/notes.txt", "not a network");
  write_file("plain.txt", sample_rcp);
  // A folder and a file that lies in it are listed once; other names in
  // the folder are left alone.
  Outcome r = run_convert({"-q", "-f", "5", "lib", "lib/n10.rcp", "extra/x.rcp"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string v = std::string("\t") + gpr::version_text() + "\n";
  EXPECT_EQ(read_file("manifest.tsv"), "number\tsource\tversion\n5\textra/x.rcp" + v +
                                           "6\tlib/n2.RCP" + v + "7\tlib/n10.rcp" + v +
                                           "8\tlib/sub/n1.rcp" + v);
  EXPECT_EQ(read_file("D8.gpr"), expect_rcp);
  EXPECT_FALSE(fs::exists("D9.gpr"));

  // An unknown extension is an error unless the format is named.
  r = run_convert({"-q", "-o", "o1", "plain.txt"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("plain.txt: unknown format"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists("o1/D1.gpr"));
  r = run_convert({"-q", "-o", "o2", "--format", "rcp", "plain.txt"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(read_file("o2/D1.gpr"), expect_rcp);
}

TEST(ConvertCli, UsageErrorsAndMissingInputs) {
  testutil::ScratchDir dir;
  write_file("a.rcp", sample_rcp);
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* says;
  };
  const Case cases[] = {
      {{}, 2, "no input given"},
      {{"--bogus", "a.rcp"}, 2, "unknown option --bogus"},
      {{"-f", "x", "a.rcp"}, 2, "bad value for --first"},
      {{"-f", "-1", "a.rcp"}, 2, "bad value for --first"},
      {{"--format", "xml", "a.rcp"}, 2, "unknown format 'xml'"},
      {{"a.rcp", "-o"}, 2, "--output needs a value"},
      {{"-f", "2147483647", "a.rcp", "a.sch"}, 1, "a.sch: cannot open"},
      {{"--force", "missing.sm", "a.rcp"}, 1, "missing.sm: cannot open"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.says);
    Outcome r = run_convert(c.args);
    EXPECT_EQ(r.status, c.status);
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
  }
  EXPECT_EQ(run_convert({"--force", "-f", "2147483647", "a.rcp", "a.rcp"}).status, 0);
  fs::create_directory("x");
  write_file("x/b.rcp", sample_rcp);
  EXPECT_EQ(run_convert({"--force", "-f", "2147483647", "a.rcp", "x"}).status, 2);  // numbers would overflow
  Outcome help = run_convert({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("Usage: gprnpv-convert"), std::string::npos);
}

TEST(ConvertText, NaturalOrder) {
  const char* ordered[] = {"a", "a1", "a2", "a02", "a10", "a10b", "b", "set1_1.sm", "set1_2.sm", "set1_10.sm",
                           "set2_1.sm"};
  for (std::size_t i = 0; i < std::size(ordered); i++)
    for (std::size_t j = 0; j < std::size(ordered); j++)
      EXPECT_EQ(convert::natural_less(ordered[i], ordered[j]), i < j) << ordered[i] << " vs " << ordered[j];
}

}  // namespace

namespace {

// Shaped like pat3.rcp of the Patterson set: job 5 has no successor, so no
// listed path leads from it to the sink. The file is written, with a warning.
TEST(ConvertCli, ActivitiesWithoutPathToTheSinkAreNamed) {
  testutil::ScratchDir dir;
  write_file("dead.rcp", "6 1\n5\n0 0 3 2 3 4\n3 2 1 6\n2 3 2 4 5\n1 1 1 6\n4 2 0\n0 0 0\n");
  write_file("good.rcp", sample_rcp);
  Outcome r = run_convert({"-q", "dead.rcp", "good.rcp"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err,
            "gprnpv-convert: warning: dead.rcp (D1.gpr): activity 5 without a listed path to the "
            "dummy end (no spanning tree for more than 50 % negative cash flows)\n");
  EXPECT_TRUE(fs::exists("D1.gpr"));
}

// A folder that already holds instance files or a manifest is refused
// before anything is written; --force removes those and nothing else.
TEST(ConvertCli, StaleInstanceFilesAreRefusedOrRemoved) {
  testutil::ScratchDir dir;
  write_file("a.rcp", sample_rcp);
  fs::create_directory("out");
  write_file("out/D3.gpr", "old");
  write_file("out/keep.txt", "mine");
  Outcome r = run_convert({"-o", "out", "a.rcp"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("out already holds D3.gpr"), std::string::npos) << r.err;
  EXPECT_EQ(listing("out"), (std::vector<std::string>{"D3.gpr", "keep.txt"}));
  fs::remove("out/D3.gpr");
  write_file("out/manifest.tsv", "number\tsource\n3\told.sm\n");
  EXPECT_EQ(run_convert({"-o", "out", "a.rcp"}).status, 2);
  EXPECT_FALSE(fs::exists("out/D1.gpr"));

  write_file("out/D-2.gpr", "old");
  r = run_convert({"-q", "--force", "-o", "out", "-f", "7", "a.rcp"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(listing("out"), (std::vector<std::string>{"D7.gpr", "keep.txt", "manifest.tsv"}));
  EXPECT_EQ(read_file("out/manifest.tsv"),
            std::string("number\tsource\tversion\n7\ta.rcp\t") + gpr::version_text() + "\n");
}

}  // namespace
