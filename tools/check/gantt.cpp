// gantt.cpp: writes the SVG text of a schedule's Gantt chart (see gantt.h).
//
// Layout, top to bottom: the title line (a second line for a long verdict),
// the legend, the time axis with its labels, one row per activity, the axis
// labels again and its caption. The page is 1200 px wide; rows are 20 px
// for small networks and shrink to 3 px, so 1000 activities make a page
// about 3100 px high. Activity labels sit left of the plot, on every k-th
// row when rows are closer than 11 px. Coordinates are written with at most
// two decimals; every text is escaped for XML.
#include "gantt.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "netgen.h"

namespace gprcheck {
namespace {

constexpr double page_width = 1200.0;
constexpr double left_margin = 64.0;   // room for the activity numbers
constexpr double right_margin = 24.0;
constexpr double plot_width = page_width - left_margin - right_margin;
constexpr double inset = 10.0;         // between the frame and the time range

// The colour of a bar: green for a cash inflow, red for an outflow, grey for
// none, mixed with white so that the smallest amount keeps a quarter of the
// colour and the largest of the instance all of it.
struct Rgb {
  int r, g, b;
};
constexpr Rgb inflow{27, 127, 59}, outflow{198, 40, 40}, noflow{158, 158, 158};
constexpr Rgb connector{68, 68, 68}, deadline_blue{31, 79, 163};

std::string hex(Rgb c) {
  char b[8];
  std::snprintf(b, sizeof b, "#%02x%02x%02x", c.r, c.g, c.b);
  return b;
}

Rgb base(int cf) { return cf > 0 ? inflow : cf < 0 ? outflow : noflow; }

Rgb shade(int cf, double maxabs) {
  Rgb c = base(cf);
  if (cf == 0) return c;
  double mix = 0.25 + 0.75 * std::fabs(static_cast<double>(cf)) / maxabs;
  auto blend = [mix](int v) { return static_cast<int>(std::lround(255.0 + (v - 255.0) * mix)); };
  return {blend(c.r), blend(c.g), blend(c.b)};
}

// A coordinate: two decimals, trailing zeros dropped.
std::string num(double x) {
  char b[48];
  std::snprintf(b, sizeof b, "%.2f", x);
  std::string s = b;
  while (s.back() == '0') s.pop_back();
  if (s.back() == '.') s.pop_back();
  return s == "-0" ? "0" : s;
}

std::string escape(const std::string& text) {
  std::string s;
  for (char c : text) {
    switch (c) {
      case '&': s += "&amp;"; break;
      case '<': s += "&lt;"; break;
      case '>': s += "&gt;"; break;
      case '"': s += "&quot;"; break;
      default: s += c;
    }
  }
  return s;
}

// Time between axis ticks: 1, 2 or 5 times a power of ten, for about ten
// ticks over `span`, never below one time unit.
long long tick_step(double span) {
  double raw = span / 10.0;
  for (long long p = 1;; p *= 10)
    for (long long m : {1, 2, 5})
      if (static_cast<double>(m * p) >= raw) return m * p;
}

// Rough width of a text in px at a font size, for laying out the legend.
double text_width(const std::string& s, double size) { return 0.56 * size * s.size(); }

}  // namespace

std::string gantt_svg(const Model& m, const std::vector<int>& st, const GanttTitle& t) {
  const int n = m.nract;
  const bool closing = !m.arcs.empty() && m.arcs.back().from == n - 1 && m.arcs.back().to == 0;
  const std::size_t relations = m.arcs.size() - (closing ? 1 : 0);
  auto start = [&](int i) { return static_cast<double>(st[i]); };
  auto finish = [&](int i) { return static_cast<double>(st[i]) + m.dur[i]; };

  // Time range: every bar, the deadline and time 0.
  double deadline = closing ? start(0) - m.arcs.back().lag : 0.0;
  double tmin = 0.0, tmax = closing ? deadline : 0.0, maxabs = 1.0;
  for (int i = 0; i < n; i++) {
    tmin = std::min({tmin, start(i), finish(i)});
    tmax = std::max({tmax, start(i), finish(i)});
    maxabs = std::max(maxabs, std::fabs(static_cast<double>(m.cf[i])));
  }
  const double scale = (plot_width - 2 * inset) / std::max(1.0, tmax - tmin);
  auto x = [&](double time) { return left_margin + inset + (time - tmin) * scale; };

  // Rows, and every k-th one labelled when they are dense.
  const double rowh = std::clamp(1500.0 / n, 3.0, 20.0);
  const double barh = rowh >= 6.0 ? 0.7 * rowh : rowh - 0.8;
  int k = 1;
  for (int step : {1, 2, 5, 10, 20, 50, 100, 200, 500, 1000}) {
    k = step;
    if (step * rowh >= 11.0) break;
  }
  const double label_size = std::min(12.0, 0.8 * k * rowh);

  // Title: instance, parameters, value and verdict; the verdict moves to a
  // line of its own when the whole does not fit the page.
  char params[512];  // room for any value printed with %.2f
  std::snprintf(params, sizeof params,
                "D%d \u00b7 %d %% negative cash flows, deadline +%d, interest %g (%s search) "
                "\u00b7 npv %.2f",
                t.instance, t.pctneg, t.deadext, t.interest, t.pctneg > 50 ? "backward" : "forward",
                t.npv);
  std::string head = std::string(params) + " \u00b7 " + t.verdict, second;
  if (text_width(head, 14.0) > page_width - 32.0) {
    head = params;
    second = t.verdict;
  }
  double y = 26.0;
  std::string body;
  body += "<text x=\"16\" y=\"" + num(y) + "\" font-size=\"14\" font-weight=\"bold\">" +
          escape(head) + "</text>\n";
  if (!second.empty()) {
    y += 18.0;
    body += "<text x=\"16\" y=\"" + num(y) + "\" font-size=\"12\">" + escape(second) + "</text>\n";
  }

  // Tight relations: slack 0 in this schedule. The closing arc is shown by
  // the deadline line instead. Each connector joins the ends of the two bars
  // that lie closest in time, preferring finish to start, as the relation
  // most likely reads.
  struct Joint {
    int from, to;
    double p, q;
  };
  std::vector<Joint> joints;
  int tight = 0;
  for (std::size_t a = 0; a < relations; a++) {
    const Arc& arc = m.arcs[a];
    if (arc.from == arc.to || st[arc.to] - st[arc.from] != arc.lag) continue;
    tight++;
    if (n > connector_limit) continue;
    Joint j{arc.from, arc.to, finish(arc.from), start(arc.to)};
    for (auto [p, q] : {std::pair{start(arc.from), start(arc.to)},
                        std::pair{finish(arc.from), finish(arc.to)},
                        std::pair{start(arc.from), finish(arc.to)}})
      if (std::fabs(q - p) < std::fabs(j.q - j.p)) j.p = p, j.q = q;
    joints.push_back(j);
  }
  const bool binding = closing && start(n - 1) == deadline;

  // Legend: a mark drawn at (lx, y) and its meaning, wrapped to the page.
  y += 24.0;
  double lx = 16.0;
  std::string legend;
  auto item = [&](double mark_width, const std::string& text, auto mark) {
    double w = mark_width + 6.0 + text_width(text, 11.0) + 16.0;
    if (lx + w > page_width - right_margin && lx > 16.0) {
      lx = 16.0;
      y += 18.0;
    }
    legend += "<g transform=\"translate(" + num(lx) + "," + num(y) + ")\">" + mark() +
              "<text x=\"" + num(mark_width + 6.0) + "\" y=\"4\" font-size=\"11\">" +
              escape(text) + "</text></g>\n";
    lx += w;
  };
  auto swatches = [](int sign) {  // amounts 1, 50 and 100 of 100
    std::string s;
    for (int j = 0; j < 3; j++)
      s += "<rect x=\"" + std::to_string(12 * j) +
           "\" y=\"-5\" width=\"12\" height=\"10\" fill=\"" +
           hex(shade(sign * std::max(1, 50 * j), 100.0)) + "\"/>";
    return s;
  };
  item(36.0, "cash inflow (darker: larger)", [&] { return swatches(1); });
  item(36.0, "cash outflow (darker: larger)", [&] { return swatches(-1); });
  item(12.0, "no cash flow", [] {
    return "<rect y=\"-5\" width=\"12\" height=\"10\" fill=\"" + hex(noflow) + "\"/>";
  });
  item(12.0, "zero duration", [] {
    return "<polygon points=\"6,-5 11,0 6,5 1,0\" fill=\"" + hex(noflow) + "\"/>";
  });
  if (closing)
    item(12.0, binding ? "deadline (binding)" : "deadline", [] {
      return "<line x1=\"6\" y1=\"-6\" x2=\"6\" y2=\"6\" stroke=\"" + hex(deadline_blue) +
             "\" stroke-width=\"1.5\" stroke-dasharray=\"3 2\"/>";
    });
  std::string tight_text =
      std::to_string(tight) + (tight == 1 ? " tight relation" : " tight relations") + " (slack 0)";
  if (n > connector_limit)
    tight_text += ", not drawn above " + std::to_string(connector_limit) + " activities";
  item(22.0, tight_text, [] {
    return "<path d=\"M0 -5 V0 H20\" fill=\"none\" stroke=\"" + hex(connector) +
           "\" stroke-width=\"0.8\" marker-end=\"url(#arrow)\"/>";
  });

  // The plot.
  const double top = y + 40.0;
  const double bottom = top + n * rowh;
  auto row = [&](int i) { return top + (i + 0.5) * rowh; };
  std::string connectors;
  for (const Joint& j : joints) {
    connectors += "<path class=\"tight\" d=\"M" + num(x(j.p)) + " " + num(row(j.from)) + " V" +
                  num(row(j.to));
    if (num(x(j.p)) != num(x(j.q))) connectors += " H" + num(x(j.q));
    connectors += "\"/>\n";
  }

  std::string plot;
  // Bands of k rows (single rows when all are labelled) to follow a row.
  for (int b = 0; b * k < n; b += 2) {
    int rows = std::min(k, n - b * k);
    plot += "<rect x=\"" + num(left_margin) + "\" y=\"" + num(top + b * k * rowh) +
            "\" width=\"" + num(plot_width) + "\" height=\"" + num(rows * rowh) +
            "\" fill=\"#f2f4f7\"/>\n";
  }
  // Time axis: grid lines, tick labels above and below.
  const long long step = tick_step(tmax - tmin);
  for (long long tick = static_cast<long long>(std::ceil(tmin / step)) * step; tick <= tmax;
       tick += step) {
    std::string tx = num(x(static_cast<double>(tick)));
    plot += "<line x1=\"" + tx + "\" y1=\"" + num(top - 3) + "\" x2=\"" + tx + "\" y2=\"" +
            num(bottom + 3) + "\" stroke=\"#d5dae1\" stroke-width=\"0.6\"/>\n";
    for (double ty : {top - 6.0, bottom + 15.0})
      plot += "<text x=\"" + tx + "\" y=\"" + num(ty) +
              "\" font-size=\"10\" text-anchor=\"middle\" fill=\"#444\">" + std::to_string(tick) +
              "</text>\n";
  }
  plot += "<rect x=\"" + num(left_margin) + "\" y=\"" + num(top) + "\" width=\"" +
          num(plot_width) + "\" height=\"" + num(n * rowh) +
          "\" fill=\"none\" stroke=\"#8a929c\" stroke-width=\"0.8\"/>\n";
  plot += "<text x=\"" + num(left_margin + plot_width / 2) + "\" y=\"" + num(bottom + 32) +
          "\" font-size=\"11\" text-anchor=\"middle\" fill=\"#444\">time</text>\n";
  plot += "<text x=\"" + num(left_margin - 6) + "\" y=\"" + num(top - 6) +
          "\" font-size=\"10\" text-anchor=\"end\" fill=\"#444\">activity</text>\n";
  if (closing) {
    std::string dx = num(x(deadline));
    plot += "<line class=\"deadline\" x1=\"" + dx + "\" y1=\"" + num(top - 18) + "\" x2=\"" + dx +
            "\" y2=\"" + num(bottom) + "\" stroke=\"" + hex(deadline_blue) +
            "\" stroke-width=\"1.5\" stroke-dasharray=\"6 3\"/>\n";
    plot += "<text x=\"" + dx + "\" y=\"" + num(top - 21) + "\" font-size=\"10\" text-anchor=\"" +
            (x(deadline) > page_width - 80 ? "end" : "middle") + "\" fill=\"" + hex(deadline_blue) +
            "\">deadline " + num(deadline) + "</text>\n";
  }

  // Bars, markers and labels.
  const std::string outline = rowh >= 8.0 ? " stroke-width=\"0.6\" stroke=\"" : "";
  for (int i = 0; i < n; i++) {
    double w = m.cf[i] * std::exp(-m.interest * finish(i));
    char tip[512];
    std::snprintf(tip, sizeof tip,
                  "activity %d: start %d, finish %.0f, cash flow %d, discounted cash flow %.6f",
                  i + 1, st[i], finish(i), m.cf[i], w);
    std::string cls = m.cf[i] > 0 ? "activity inflow" : m.cf[i] < 0 ? "activity outflow"
                                                                    : "activity noflow";
    std::string fill = "\" fill=\"" + hex(shade(m.cf[i], maxabs)) + "\"" +
                       (outline.empty() ? "" : outline + hex(base(m.cf[i])) + "\"");
    double yc = row(i);
    if (m.dur[i] == 0) {
      double h = std::max(1.5, barh / 2), cx = x(start(i));
      plot += "<polygon class=\"" + cls + " milestone\" points=\"" + num(cx) + "," + num(yc - h) +
              " " + num(cx + h) + "," + num(yc) + " " + num(cx) + "," + num(yc + h) + " " +
              num(cx - h) + "," + num(yc) + fill + "><title>" + tip + "</title></polygon>\n";
    } else {
      double x0 = x(std::min(start(i), finish(i))), x1 = x(std::max(start(i), finish(i)));
      plot += "<rect class=\"" + cls + "\" x=\"" + num(x0) + "\" y=\"" + num(yc - barh / 2) +
              "\" width=\"" + num(std::max(1.0, x1 - x0)) + "\" height=\"" + num(barh) + fill +
              "><title>" + tip + "</title></rect>\n";
    }
    if (k == 1 || (i + 1) % k == 0)
      plot += "<text class=\"label\" x=\"" + num(left_margin - 6) + "\" y=\"" +
              num(yc + 0.35 * label_size) + "\" font-size=\"" + num(label_size) +
              "\" text-anchor=\"end\">" + std::to_string(i + 1) + "</text>\n";
  }

  // Connectors over the bars, so that their arrowheads show.
  if (!connectors.empty())
    plot += "<g fill=\"none\" stroke=\"" + hex(connector) +
            "\" stroke-width=\"0.7\" stroke-opacity=\"0.8\" marker-end=\"url(#arrow)\">\n" +
            connectors + "</g>\n";

  const double height = bottom + 44.0;
  std::string svg =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" +
      num(page_width) + "\" height=\"" + num(height) + "\" viewBox=\"0 0 " + num(page_width) +
      " " + num(height) + "\" font-family=\"sans-serif\">\n";
  svg += "<title>" + escape(std::string(params)) + "</title>\n";
  svg += "<defs><marker id=\"arrow\" viewBox=\"0 0 6 6\" refX=\"6\" refY=\"3\" markerWidth=\"5\" "
         "markerHeight=\"5\" orient=\"auto\"><path d=\"M0,0 L6,3 L0,6 z\" fill=\"" +
         hex(connector) + "\"/></marker></defs>\n";
  svg += "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
  return svg + body + legend + plot + "</svg>\n";
}

std::string gantt_folder(const std::string& dir, std::string& why) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (!ec) {
    std::filesystem::path path = std::filesystem::absolute(dir, ec);
    if (!ec && std::filesystem::is_directory(path, ec)) return path.string();
  }
  why = ec ? ec.message() : "not a folder";
  return "";
}

bool write_gantt(const std::string& dir, int number, const std::string& svg, std::string& why) {
  return netgen::write_atomic(dir, "D" + std::to_string(number) + ".svg", svg, why);
}

}  // namespace gprcheck
