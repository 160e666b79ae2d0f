// test_gantt.cpp: the Gantt charts of gprnpv-check. The geometry and the
// tooltips of the bars are read back from the SVG text and compared with the
// schedule; the files of a run are checked with xmllint and rendered with
// rsvg-convert, and the picture is decoded (zlib) to see that it is drawn.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "check.h"
#include "check_cli.h"
#include "gantt.h"
#include "testutil.h"

namespace {

using gprcheck::Model;

// Six activities: dummy start 1, 2 -> 3 finish-start, 1 -> 4 -> 5, both
// into the dummy end 6, a maximal lag 3 -> 4 and a closing arc (deadline
// 20). In schedule {0, 0, 3, 2, 6, 7} the tight relations are 1->2, 2->3,
// 4->5 and 5->6.
Model six() {
  Model m;
  m.nract = 6;
  m.interest = 0.01;
  m.dur = {0, 3, 2, 4, 1, 0};
  m.cf = {0, 100, -50, 10, 0, 0};
  m.arcs = {{0, 1, 0}, {1, 2, 3}, {0, 3, 0}, {3, 4, 4}, {2, 5, 2},
            {4, 5, 1}, {2, 3, -10}, {5, 0, -20}};
  return m;
}
const std::vector<int> six_st = {0, 0, 3, 2, 6, 7};

// n activities spread over 250 time units, each held by a tight relation to
// the one before (some of them maximal lags), the dummy end on the deadline.
Model chain(int n, std::vector<int>& st) {
  Model m;
  m.nract = n;
  m.interest = 0.01;
  st.assign(n, 0);
  for (int i = 0; i < n; i++) {
    m.dur.push_back(i == 0 || i == n - 1 ? 0 : 1 + i % 7 * 3);
    m.cf.push_back((i % 3 - 1) * (i % 200));
    st[i] = i == n - 1 ? 260 : i * 37 % 240;
    if (i > 0) m.arcs.push_back({i - 1, i, st[i] - st[i - 1]});
  }
  m.arcs.push_back({n - 1, 0, -st[n - 1]});
  return m;
}

struct Bar {
  std::string shape, attrs;
  int number, start, finish, cf;
  double discounted;
};

std::vector<Bar> bars(const std::string& svg) {
  static const std::regex re(
      "<(rect|polygon) class=\"activity[^\"]*\"([^>]*)><title>activity (\\d+): start (-?\\d+), "
      "finish (-?\\d+), cash flow (-?\\d+), discounted cash flow (-?[0-9.]+)</title>");
  std::vector<Bar> out;
  for (std::sregex_iterator it(svg.begin(), svg.end(), re), end; it != end; ++it) {
    const std::smatch& s = *it;
    out.push_back({s[1], s[2], std::stoi(s[3]), std::stoi(s[4]), std::stoi(s[5]),
                   std::stoi(s[6]), std::stod(s[7])});
  }
  return out;
}

double attr(const std::string& attrs, const std::string& name) {
  std::smatch s;
  if (!std::regex_search(attrs, s, std::regex(" " + name + "=\"(-?[0-9.]+)\""))) return NAN;
  return std::stod(s[1]);
}

std::string fill(const std::string& attrs) {
  std::smatch s;
  return std::regex_search(attrs, s, std::regex(" fill=\"#([0-9a-f]{6})\"")) ? s[1].str() : "";
}

int count(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) n++;
  return n;
}

TEST(GanttChart, BarsFollowTheScheduleWithTightRelationsAndTitle) {
  gprcheck::GanttTitle title{7, 30, 10, 0.01, 1234.5, "feasible; not proved <a & b>"};
  const Model m = six();
  std::string svg = gprcheck::gantt_svg(m, six_st, title);

  std::vector<Bar> b = bars(svg);
  ASSERT_EQ(b.size(), 6u);
  // Time maps linearly to x: x = x0 + scale * t, width = scale * duration.
  double scale = attr(b[1].attrs, "width") / 3.0;
  double x0 = attr(b[1].attrs, "x");  // activity 2 starts at 0
  for (int i = 0; i < 6; i++) {
    EXPECT_EQ(b[i].number, i + 1);
    EXPECT_EQ(b[i].start, six_st[i]);
    EXPECT_EQ(b[i].finish, six_st[i] + m.dur[i]);
    EXPECT_EQ(b[i].cf, m.cf[i]);
    EXPECT_NEAR(b[i].discounted, m.cf[i] * std::exp(-0.01 * b[i].finish), 1e-6);
    if (m.dur[i] == 0) {  // a marker centred on its start
      EXPECT_EQ(b[i].shape, "polygon") << i;
      std::smatch p;
      ASSERT_TRUE(std::regex_search(b[i].attrs, p, std::regex("points=\"([0-9.]+),")));
      EXPECT_NEAR(std::stod(p[1]), x0 + scale * six_st[i], 0.02) << i;
    } else {
      EXPECT_EQ(b[i].shape, "rect");
      EXPECT_NEAR(attr(b[i].attrs, "x"), x0 + scale * six_st[i], 0.02) << i;
      EXPECT_NEAR(attr(b[i].attrs, "width"), scale * m.dur[i], 0.02) << i;
    }
  }

  // Colours: green for inflow, red for outflow, the larger inflow darker.
  std::string big = fill(b[1].attrs), small = fill(b[3].attrs), out = fill(b[2].attrs);
  auto channel = [](const std::string& hex, int k) {
    return std::stoi(hex.substr(2 * k, 2), nullptr, 16);
  };
  EXPECT_GT(channel(big, 1), channel(big, 0));
  EXPECT_GT(channel(out, 0), channel(out, 1));
  EXPECT_LT(channel(big, 0) + channel(big, 1) + channel(big, 2),
            channel(small, 0) + channel(small, 1) + channel(small, 2));

  // The deadline line at start of the dummy start + 20, not binding here.
  std::smatch d;
  ASSERT_TRUE(std::regex_search(svg, d, std::regex("<line class=\"deadline\" x1=\"([0-9.]+)\"")));
  EXPECT_NEAR(std::stod(d[1]), x0 + scale * 20, 0.02);
  EXPECT_NE(svg.find(">deadline</text>"), std::string::npos);
  // Four tight relations; the maximal lag and the closing arc are slack.
  EXPECT_EQ(count(svg, "class=\"tight\""), 4);
  EXPECT_NE(svg.find("4 tight relations (slack 0)"), std::string::npos);
  // Title with the run and the verdict, escaped.
  EXPECT_NE(svg.find("D7 \u00b7 30 % negative cash flows, deadline +10, interest 0.01"),
            std::string::npos);
  EXPECT_NE(svg.find("npv 1234.50"), std::string::npos);
  EXPECT_NE(svg.find("not proved &lt;a &amp; b&gt;"), std::string::npos);

  // Pushing the dummy end onto the deadline makes it binding.
  std::vector<int> late = six_st;
  late[5] = 20;
  EXPECT_NE(gprcheck::gantt_svg(m, late, title).find("deadline (binding)"), std::string::npos);
}

TEST(GanttChart, DenseNetworksKeepRowsAndDropConnectors) {
  std::vector<int> st;
  Model m = chain(gprcheck::connector_limit, st);
  EXPECT_EQ(count(gprcheck::gantt_svg(m, st, {}), "class=\"tight\""),
            gprcheck::connector_limit - 1);

  m = chain(1000, st);
  std::string svg = gprcheck::gantt_svg(m, st, {});
  std::vector<Bar> b = bars(svg);
  ASSERT_EQ(b.size(), 1000u);
  EXPECT_EQ(count(svg, "class=\"tight\""), 0);
  EXPECT_NE(svg.find("999 tight relations (slack 0), not drawn above"), std::string::npos);
  // Every row keeps a bar of at least 2 px below the one before it.
  double last = -1.0;
  for (const Bar& bar : b) {
    if (bar.shape != "rect") continue;
    double y = attr(bar.attrs, "y");
    EXPECT_GE(attr(bar.attrs, "height"), 2.0);
    EXPECT_GT(y, last + 2.0);
    last = y;
  }
  // Labels on every k-th row only, so that they do not overlap.
  int labels = count(svg, "class=\"label\"");
  EXPECT_GE(labels, 50);
  EXPECT_LE(labels, 400);
}

// ------------------------------------------------------------ files and pictures

int shell(const std::string& command) {
  int rc = std::system(command.c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

// Renders an SVG file on white with rsvg-convert, decodes the PNG (8-bit RGB
// or RGBA, not interlaced, as rsvg-convert writes it) and counts the pixels
// drawn, the green ones and the red ones.
struct Ink {
  unsigned width = 0, height = 0;
  long drawn = 0, green = 0, red = 0;
};

Ink render(const std::string& svg) {
  Ink ink;
  EXPECT_EQ(shell("rsvg-convert -b white -o '" + svg + ".png' '" + svg + "'"), 0)
      << "rsvg-convert (Debian librsvg2-bin) must be installed";
  std::string data = testutil::read_file(svg + ".png"), idat;
  auto u = [&](std::size_t p) { return unsigned{static_cast<unsigned char>(data[p])}; };
  auto be32 = [&](std::size_t p) { return u(p) << 24 | u(p + 1) << 16 | u(p + 2) << 8 | u(p + 3); };
  unsigned type = 0, ok = data.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0;
  for (std::size_t at = 8; ok && at + 12 <= data.size(); at += 12 + be32(at)) {
    if (data.compare(at + 4, 4, "IHDR") == 0) {
      ink.width = be32(at + 8);
      ink.height = be32(at + 12);
      type = u(at + 17);
      ok = u(at + 16) == 8 && (type == 2 || type == 6) && u(at + 20) == 0;
    } else if (data.compare(at + 4, 4, "IDAT") == 0) {
      idat.append(data, at + 8, be32(at));
    }
  }
  const std::size_t bpp = type == 6 ? 4 : 3, stride = ink.width * bpp;
  std::vector<unsigned char> raw(ink.height * (stride + 1)), prev(stride, 0), cur(stride);
  uLongf size = raw.size();
  ok = ok && uncompress(raw.data(), &size, reinterpret_cast<const Bytef*>(idat.data()),
                        idat.size()) == Z_OK && size == raw.size();
  EXPECT_TRUE(ok) << svg << ".png";
  for (unsigned y = 0; ok && y < ink.height; y++, prev = cur) {
    const unsigned char* line = &raw[y * (stride + 1)];
    for (std::size_t i = 0; i < stride; i++) {  // undo the row filter
      int a = i >= bpp ? cur[i - bpp] : 0, b = prev[i], c = i >= bpp ? prev[i - bpp] : 0;
      int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
      int paeth = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
      int pred[] = {0, a, b, (a + b) / 2, paeth};
      cur[i] = static_cast<unsigned char>(line[1 + i] + pred[std::min(4, int{line[0]})]);
    }
    for (std::size_t i = 0; i < stride; i += bpp) {
      int r = cur[i], g = cur[i + 1], b = cur[i + 2];
      ink.drawn += r < 245 || g < 245 || b < 245;
      ink.green += g > r + 40 && g > b + 20;
      ink.red += r > g + 60 && r > b + 60;
    }
  }
  return ink;
}

TEST(GanttFiles, ChartsOfARunAreWellFormedAndRender) {
  testutil::ScratchDir dir;
  for (int k : {1, 2, 3, 5, 6}) {
    std::string name = "D" + std::to_string(k) + ".gpr";
    testutil::write_file(name, testutil::read_file(GPRNPV_SOURCE_DIR "/examples/" + name));
  }
  std::string out, err;
  ASSERT_EQ(run_cli({"--first", "1", "--last", "6", "--pctneg", "30", "--deadext", "10",
                     "--interest", "0.01", "--gantt", "charts/new"},
                    out, err),
            0)
      << err;
  for (int k : {1, 2, 3, 5, 6})
    EXPECT_TRUE(std::filesystem::exists("charts/new/D" + std::to_string(k) + ".svg")) << k;
  EXPECT_FALSE(std::filesystem::exists("charts/new/D4.svg"));  // not solved
  std::string d3 = testutil::read_file("charts/new/D3.svg");
  EXPECT_EQ(bars(d3).size(), 7u);
  EXPECT_NE(d3.find("npv 194.63 \u00b7 feasible; proved"), std::string::npos);

  std::vector<int> st;
  testutil::write_file("dense.svg", gprcheck::gantt_svg(chain(1000, st), st, {}));
  EXPECT_EQ(shell("xmllint --noout charts/new/*.svg dense.svg"), 0)
      << "xmllint (Debian libxml2-utils) must be installed";

  Ink ink = render("charts/new/D3.svg");
  EXPECT_EQ(ink.width, 1200u);
  EXPECT_GT(ink.drawn, static_cast<long>(ink.width) * ink.height / 50);
  EXPECT_GT(ink.green, 1000);  // D3 has large inflows and outflows
  EXPECT_GT(ink.red, 1000);
  ink = render("dense.svg");
  EXPECT_GT(ink.height, 2000u);
  EXPECT_GT(ink.drawn, static_cast<long>(ink.width) * ink.height / 50);
  EXPECT_GT(ink.green, 5000);
  EXPECT_GT(ink.red, 5000);
}

TEST(GanttFiles, FolderOrFileThatCannotBeWrittenIsExit2) {
  testutil::ScratchDir dir;
  testutil::write_worked_example();
  testutil::write_file("plain", "a file, not a folder\n");
  std::string out, err;
  std::vector<std::string> args = {"--first", "1", "--last", "1", "--pctneg", "30",
                                   "--deadext", "10", "--interest", "0.01", "--gantt"};
  args.push_back("plain/charts");
  EXPECT_EQ(run_cli(args, out, err), 2);
  EXPECT_NE(err.find("gprnpv-check: cannot create plain/charts: "), std::string::npos) << err;
  EXPECT_TRUE(out.empty());

  // A folder in the way of the file: the rename fails, nothing half-written.
  std::filesystem::create_directories("charts/D1.svg");
  args.back() = "charts";
  EXPECT_EQ(run_cli(args, out, err), 2);
  EXPECT_NE(err.find("gprnpv-check: cannot write "), std::string::npos) << err;
  EXPECT_NE(err.find("charts/D1.svg: "), std::string::npos) << err;
  int entries = 0;
  for (const auto& e : std::filesystem::directory_iterator("charts")) entries += !e.path().empty();
  EXPECT_EQ(entries, 1);
}

}  // namespace
