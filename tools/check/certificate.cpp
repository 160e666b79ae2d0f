// certificate.cpp: the model of an instance, the feasibility check and the
// optimality certificate by maximum flow.
//
// The flow network. Node k (an activity other than the anchor) must receive
// a net inflow of b_k = r * w_k over the tight arcs: for max sum cf_k *
// exp(-r(st_k + dur_k)) subject to st_j - st_i >= lag, stationarity of the
// Lagrangian at k reads -r * w_k + (multipliers into k) - (multipliers out of
// k) = 0. A node with b_k < 0 is fed from the source with capacity -b_k, a
// node with b_k > 0 drains into the sink with capacity b_k, and every tight
// arc i->j carries flow from i to j without limit. The anchor's balance is
// minus the sum of all others, so supply and demand are equal. The schedule
// is optimal exactly when the maximum flow saturates them all.
//
// Exact arithmetic. The balances are scaled by a power of two so that their
// absolute sum lies just below 2^60 and rounded to 64-bit integers; the
// flow is then computed exactly. The only errors are the rounding of each
// balance (half a unit of 2^-59 of the total) and of the discount factors
// themselves, far below the default tolerance `reltol`.
//
// The cut. With X the activities the source reaches in the residual graph,
// no tight arc leaves X (it would have unlimited capacity), so X can be
// delayed by one time unit; the deficit of the flow equals the largest
// first-order gain -sum_X b of such a set. If the anchor lies in X, the
// rest can be advanced instead. The same holds for the activities that reach
// the sink. Each such set falls apart into pieces that no tight arc joins,
// and each piece can be shifted on its own; the piece with the largest gain
// is reported.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>

#include <boost/graph/adjacency_list.hpp>
#include <boost/graph/push_relabel_max_flow.hpp>

#include "check.h"
#include "network/network.h"

namespace gprcheck {
namespace {

using Traits = boost::adjacency_list_traits<boost::vecS, boost::vecS, boost::directedS>;
using Graph = boost::adjacency_list<
    boost::vecS, boost::vecS, boost::directedS, boost::no_property,
    boost::property<boost::edge_capacity_t, long long,
                    boost::property<boost::edge_residual_capacity_t, long long,
                                    boost::property<boost::edge_reverse_t,
                                                    Traits::edge_descriptor>>>>;
using Edge = Traits::edge_descriptor;

constexpr int scalebits = 60;                  // balances sum to just below 2^60
constexpr long long unlimited = 1LL << 62;     // above any cut

Edge add_arc(Graph& g, int u, int v, long long cap) {
  Edge e = boost::add_edge(u, v, g).first;
  Edge r = boost::add_edge(v, u, g).first;
  boost::put(boost::edge_capacity, g, e, cap);
  boost::put(boost::edge_capacity, g, r, 0);
  boost::put(boost::edge_reverse, g, e, r);
  boost::put(boost::edge_reverse, g, r, e);
  return e;
}

long long slack(const Arc& a, const std::vector<int>& st) {
  return static_cast<long long>(st[a.to]) - st[a.from] - a.lag;
}

bool tight(const Arc& a, const std::vector<int>& st) { return a.from != a.to && slack(a, st) == 0; }

// Splits `members` into the pieces that tight arcs with both ends inside
// join.
std::vector<std::vector<int>> pieces(const Model& m, const std::vector<int>& st,
                                     const std::vector<char>& in) {
  std::vector<int> parent(m.nract);
  for (int k = 0; k < m.nract; k++) parent[k] = k;
  auto root = [&](int k) {
    while (parent[k] != k) k = parent[k] = parent[parent[k]];
    return k;
  };
  for (const Arc& a : m.arcs)
    if (in[a.from] && in[a.to] && tight(a, st)) parent[root(a.from)] = root(a.to);
  std::vector<std::vector<int>> out;
  std::vector<int> slot(m.nract, -1);
  for (int k = 0; k < m.nract; k++) {
    if (!in[k]) continue;
    int r = root(k);
    if (slot[r] < 0) {
      slot[r] = static_cast<int>(out.size());
      out.emplace_back();
    }
    out[slot[r]].push_back(k);
  }
  return out;
}

// Largest whole shift of `set` by `dir` that keeps every arc met, -1 when no
// arc bounds it.
long long largest_step(const Model& m, const std::vector<int>& st, const std::vector<char>& in,
                       int dir) {
  long long best = -1;
  for (const Arc& a : m.arcs) {
    bool limits = dir > 0 ? (in[a.from] && !in[a.to]) : (!in[a.from] && in[a.to]);
    if (limits && (best < 0 || slack(a, st) < best)) best = slack(a, st);
  }
  return best;
}

}  // namespace

Model capture_model() {
  using namespace gpr;
  Model m;
  m.nract = nract;
  int end = nract - 1;
  m.anchor = pctneg > 50 ? end : 0;
  m.interest = interest;
  m.deadline = deadline;
  m.dur.assign(dur, dur + nract);
  m.cf.assign(cf, cf + nract);
  std::vector<int> seen(nract, -1);
  for (int i = 0; i < nract; i++) {
    for (int k = 0; k < nrsuc[i]; k++) {
      int j = suc[i][k];
      if (seen[j] == i || lag[i][j] == NOLAG) continue;
      seen[j] = i;
      if (i == end && j == 0) {
        // The closing arc takes this pair over: a listed bound it implies
        // adds nothing, a tighter one is left out by the search.
        if (lag[i][j] > -deadline) m.arcs.push_back({i, j, lag[i][j], true});
        continue;
      }
      m.arcs.push_back({i, j, lag[i][j], i != j && (j == 0 || i == end)});
    }
  }
  m.arcs.push_back({end, 0, -deadline});
  return m;
}

std::string dropped_text(const Model& m) {
  std::string s;
  int count = 0;
  for (const Arc& a : m.arcs) {
    if (!a.dropped) continue;
    if (++count <= 8)
      s += (s.empty() ? "" : ", ") + std::to_string(a.from + 1) + "->" + std::to_string(a.to + 1);
  }
  if (count > 8) s += ", ... (" + std::to_string(count) + " in all)";
  return s;
}

Feasibility check_feasible(const Model& m, const std::vector<int>& st) {
  Feasibility f;
  for (const Arc& a : m.arcs) {
    long long s = slack(a, st);
    if (s >= 0) continue;
    f.ok = false;
    f.violated++;
    if (a.dropped) f.dropped++;
    if (-s > f.shortfall) {
      f.shortfall = -s;
      f.worst = a;
    }
  }
  return f;
}

Certificate certify(const Model& m, const std::vector<int>& st, double tolerance) {
  Certificate c;
  const int n = m.nract;
  const double r = m.interest;
  if (r == 0.0) {
    c.status = Status::flat;
    return c;
  }

  // Balances b_k = r * w_k, the anchor's left open.
  std::vector<double> b(n, 0.0);
  double total = 0.0;
  bool underflow = false;
  for (int k = 0; k < n; k++) {
    if (k == m.anchor) continue;
    b[k] = r * m.cf[k] * std::exp(-r * static_cast<double>(st[k] + m.dur[k]));
    if (!std::isfinite(b[k])) {
      c.reason = "discounted cash flows not finite";
      return c;
    }
    if (b[k] == 0.0 && m.cf[k] != 0) underflow = true;
    total += std::fabs(b[k]);
  }
  if (!std::isfinite(total)) {
    c.reason = "discounted cash flows not finite";
    return c;
  }
  if (total == 0.0) {
    if (underflow) {
      c.reason = "discount factors below the range of double";
      return c;
    }
    c.status = Status::proved;  // no cash flow to balance
    return c;
  }

  int e;
  std::frexp(total, &e);  // total < 2^e
  const int shift = scalebits - e;
  std::vector<long long> q(n, 0);
  long long sum = 0;
  for (int k = 0; k < n; k++) {
    if (k == m.anchor) continue;
    q[k] = std::llround(std::ldexp(b[k], shift));
    sum += q[k];
  }
  q[m.anchor] = -sum;

  const int src = n, snk = n + 1;
  Graph g(n + 2);
  long long supply = 0;
  for (int k = 0; k < n; k++) {
    if (q[k] < 0) {
      add_arc(g, src, k, -q[k]);
      supply += -q[k];
    } else if (q[k] > 0) {
      add_arc(g, k, snk, q[k]);
    }
  }
  std::vector<std::pair<int, Edge>> carriers;  // (arc index, edge) of the tight arcs
  for (int a = 0; a < static_cast<int>(m.arcs.size()); a++)
    if (tight(m.arcs[a], st))
      carriers.push_back({a, add_arc(g, m.arcs[a].from, m.arcs[a].to, unlimited)});

  long long flow = boost::push_relabel_max_flow(g, src, snk);
  long long deficit = supply - flow;
  c.supply = std::ldexp(static_cast<double>(supply), -shift);
  c.residual = std::ldexp(static_cast<double>(deficit), -shift);
  c.relative = supply > 0 ? static_cast<double>(deficit) / static_cast<double>(supply) : 0.0;

  if (static_cast<double>(deficit) <= tolerance * static_cast<double>(supply)) {
    // The multipliers, read back unscaled, must balance the unrounded
    // gradient at every activity but the anchor.
    auto res = boost::get(boost::edge_residual_capacity, g);
    std::vector<double> net(n, 0.0);
    for (auto& [a, edge] : carriers) {
      double lambda = std::ldexp(static_cast<double>(unlimited - res[edge]), -shift);
      net[m.arcs[a].to] += lambda;
      net[m.arcs[a].from] -= lambda;
    }
    double err = 0.0;
    for (int k = 0; k < n; k++)
      if (k != m.anchor) err += std::fabs(net[k] - b[k]);
    // Allowed: the unmet part (counted at both ends) and the rounding of
    // the balances and of the sums.
    if (!(err <= 2.0 * c.residual + 1e-13 * total)) {
      c.reason = "the flow does not balance the gradient";
      return c;
    }
    c.status = Status::proved;
    return c;
  }
  c.status = Status::not_proved;

  // Residual reachability from the source and into the sink.
  auto res = boost::get(boost::edge_residual_capacity, g);
  std::vector<std::vector<int>> back(n + 2);
  for (auto [it, stop] = boost::edges(g); it != stop; ++it)
    if (res[*it] > 0)
      back[boost::target(*it, g)].push_back(static_cast<int>(boost::source(*it, g)));
  std::vector<char> from_src(n + 2, 0), to_snk(n + 2, 0);
  std::vector<int> todo{src};
  from_src[src] = 1;
  while (!todo.empty()) {
    int u = todo.back();
    todo.pop_back();
    for (auto [it, stop] = boost::out_edges(u, g); it != stop; ++it) {
      int v = static_cast<int>(boost::target(*it, g));
      if (res[*it] > 0 && !from_src[v]) {
        from_src[v] = 1;
        todo.push_back(v);
      }
    }
  }
  todo = {snk};
  to_snk[snk] = 1;
  while (!todo.empty()) {
    int v = todo.back();
    todo.pop_back();
    for (int u : back[v])
      if (!to_snk[u]) {
        to_snk[u] = 1;
        todo.push_back(u);
      }
  }

  // Candidate sets: the source side delayed (or the rest advanced when it
  // holds the anchor), and the sink side advanced (or the rest delayed).
  struct Candidate {
    std::vector<char> in;
    int dir;
  };
  std::vector<Candidate> cands;
  for (int side = 0; side < 2; side++) {
    const std::vector<char>& reach = side == 0 ? from_src : to_snk;
    bool flip = reach[m.anchor];
    Candidate cd{std::vector<char>(n, 0), (side == 0) != flip ? +1 : -1};
    for (int k = 0; k < n; k++) cd.in[k] = reach[k] != flip;
    cands.push_back(cd);
  }
  bool found = false;
  for (const Candidate& cd : cands) {
    for (const std::vector<int>& piece : pieces(m, st, cd.in)) {
      double rate = 0.0;
      for (int k : piece) rate -= cd.dir * b[k];
      if (!found || rate > c.rate || (rate == c.rate && piece.size() < c.shift.size())) {
        found = true;
        c.rate = rate;
        c.shift = piece;
        c.direction = cd.dir;
      }
    }
  }
  std::vector<char> in(n, 0);
  for (int k : c.shift) in[k] = 1;
  c.step = largest_step(m, st, in, c.direction);
  long long s = c.step < 0 ? 1 : c.step;
  c.gain = 0.0;
  for (int k : c.shift) {
    double t = static_cast<double>(st[k] + m.dur[k]);
    double moved = t + static_cast<double>(c.direction * s);
    c.gain += m.cf[k] * (std::exp(-r * moved) - std::exp(-r * t));
  }
  return c;
}

namespace {

// The recursion of a pass over the final tree, without cutting: the same
// children in the same order, so the same sums as the search's last pass.
double kept_value(int a, bool forward, std::vector<char>& seen, double& closest) {
  using namespace gpr;
  seen[a] = 1;
  double time = forward ? -static_cast<double>(st[a] + dur[a])
                        : static_cast<double>(deadline - (st[a] + dur[a]));
  double value = std::exp(interest * time) * static_cast<double>(cf[a]);
  const int* first = forward ? suc[a] : pred[a];
  int nrfirst = forward ? nrsuc[a] : nrpred[a];
  for (int k = 0; k < nrfirst; k++) {
    int t = first[k];
    if (!row_test(tree[a], t) || seen[t]) continue;
    double v = kept_value(t, forward, seen, closest);
    if (forward ? (v < 0.0 && v < closest) : (v > 0.0 && v > closest)) closest = v;
    value += v;
  }
  const int* second = forward ? pred[a] : suc[a];
  int nrsecond = forward ? nrpred[a] : nrsuc[a];
  for (int k = 0; k < nrsecond; k++) {
    int t = second[k];
    if (!row_test(tree[t], a) || seen[t]) continue;
    value += kept_value(t, forward, seen, closest);
  }
  return value;
}

}  // namespace

double closest_kept_cut() {
  bool forward = gpr::pctneg <= 50;
  std::vector<char> seen(gpr::nract, 0);
  double closest = 0.0;
  kept_value(forward ? 0 : gpr::nract - 1, forward, seen, closest);
  return closest;
}

Verdict check(const Model& m, const std::vector<int>& st, double tolerance) {
  Verdict v;
  v.feasibility = check_feasible(m, st);
  if (v.feasibility.ok)
    v.certificate = certify(m, st, tolerance);
  else
    v.certificate.reason = "the schedule is infeasible";
  return v;
}

}  // namespace gprcheck
