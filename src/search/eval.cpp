// eval.cpp: one recursion pass over the current spanning tree.
//
// eval_forward(a) / eval_backward(a) return the value of the subtree kept
// below a: a's own cash flow valued at its completion (discounted to time 0
// forward, compounded to the deadline backward) plus the values of the kept
// children. A child that hangs from a through a's own tree row (a successor
// forward, a predecessor backward) is cut when its value is below -DCTOL
// (forward) or above +DCTOL (backward), strictly: its tree arc is removed and
// its activities become the next cut set. Children whose own tree row names
// a are always kept, whatever their value.
//
// Protocol of `level` and `subset`: a call raises level by one and returns
// without lowering it; the caller lowers it again. The subtree kept below
// each call is kept as a chain of activities (see `nextin`), and the
// outermost call leaves its own kept subtree in subset[level] - the root
// call of a pass in subset[1]. A cut child's set is moved into
// cutset[nrcut] and shiftset.
//
// After the root call: every activity entered is in visited, and in
// subset[1] or in exactly one cut set; cut sets are disjoint, never hold the
// root, and an inner cut gets the lower cutset index; shiftset is their
// union. Each activity is entered once, so the recursion is at most nract
// calls deep; a call calls the next directly, and a frame takes 192 bytes
// at -O2 by -fstack-usage, 200 with the return address, so 1000 nested
// calls use some 200 KB of the default 8 MB stack and 10000
// (GPRNPV_MAXACT=10000) some 2 MB: with the rest of the program such a
// chain fails under a 2 MB limit and runs under 2.25 MB. main() raises a
// lower soft limit.
//
// Subtrees that a pass leaves as they were. From one pass to the next of a
// solve most of the tree stays as it was: only the cut sets move and only
// their arcs change. A call on an activity whose kept subtree saw no cut in
// the last pass, whose members have kept their start times and tree arcs
// since, and which hangs from the same parent, would enter the same
// activities in the same order and return the same value, bit for bit, with
// no cut. Such a child is not entered again: its value and its chain of
// activities from the last pass are taken as they are. See `stale`. And a
// call skips a list that the tree degrees (nrtreeout, nrtreein) show to
// hold no tree arc but the one to its parent, as at every leaf.
#include <algorithm>
#include <bit>
#include <cassert>
#include <cmath>
#include <cstdint>

#include "network/network.h"
#include "search/search.h"

namespace gpr {

int cutinto[maxact + 1];

namespace {

// A discount factor kept for an activity (see `discount`).
struct discount_entry {
  double factor;
  int arg;
  unsigned made;  // == epoch when the entry is valid
};

// What the calls keep of each activity, in half a cache line per activity
// (a call reads and writes most of it; 32 KB at 1000 activities, where a
// whole line each took 64): the fields are explained below. Activity
// numbers fit 16 bits under every limit the build allows.
static_assert(maxact <= 32767, "activity numbers and counts fit 16 bits");
struct alignas(32) callstate {
  double kept;
  discount_entry factor;  // of the last pass that met it, either direction
  std::int16_t keptfrom;
  std::int16_t nextin;
  std::int16_t lastin;
  std::int16_t sizein;  // activities in the stretch of each
};
static_assert(sizeof(callstate) == 32);
callstate calls[maxact + 1];

// The kept subtree of an activity as a chain: `nextin` links the activities
// in the order they were entered, and a call's subtree is the stretch from
// the activity itself to its `lastin` (`sizein` activities). A kept child's stretch is linked
// behind its parent's; a cut child's stretch becomes the cut set and is left
// out. Merging a kept child costs one link, and a cut or the outermost call
// lists only the members of its own stretch, so no call touches whole rows
// of nrbin words except to write a set.
int nrcutout;            // activities cut off in this pass
int depth;   // calls under way
int caller;  // the activity whose call is entering the next one; -1: root
bool callerrow;  // the child is in the caller's tree row (its first list)

// What the last call on each activity found, and whether it can stand for a
// call in this pass:
//   - kept: the value it returned, keptfrom: its parent (-1: root);
//   - stale[a] = 0 when that call cut nothing below a and, since then, no
//     member of its subtree has moved or changed a tree arc (an array of
//     its own, so that the call state keeps to half a line).
// Invariant between the calls of a solve: for an activity reached by the
// last pass, its chain of keptfrom links is its path to the root in that
// pass, and when it is stale so is every activity on that path. A change at
// an activity (mark_changed) therefore marks its path up to the first
// stale one, and a child that is not stale, hangs from the same parent and
// is reached again stands for a call with the same result: no activity of
// its subtree can have changed without marking it.
//
// Results carry over only from one pass to the next of a solve in the same
// direction (the displacement between them reports every change it makes);
// any other pass starts with every activity stale.
unsigned char stale[maxact + 1];
bool keptforward;       // direction of the pass that left them
unsigned keptepoch;     // its discount epoch
int keptiter = -1;      // its nriter

// A cut: the child's stretch becomes cutset[nrcut] and joins shiftset.
void cut_off(int t) {
  word* row = cutset[nrcut];
  row_clear(row);
  for (int m = t, last = calls[t].lastin;; m = calls[m].nextin) {
    row_insert(row, m);
    row_insert(shiftset, m);
    cutinto[m] = nrcut;
    if (m == last) break;
  }
}

// The outermost call leaves its kept subtree in subset[level]. The members
// of subtrees taken over from the last pass were not entered one by one:
// visited gets them here, with those of the cut sets. When the kept
// subtree and the cut sets hold all nract activities (a pass from the root
// over a spanning tree, as in every solve), the row is the complement of
// shiftset and nothing needs listing.
void leave(int a) {
  if (--depth > 0) return;
  word* row = subset[level];
  if (calls[a].sizein + nrcutout == nract) {
    for (int w = nrbin - 1; w >= 0; w--) {
      word all = 32 * w + 32 <= nract ? ~word{0} : (word{1} << (nract & 31)) - 1;
      row[w] = all & ~shiftset[w];
      visited[w] |= all;
    }
    return;
  }
  row_clear(row);
  for (int m = a, last = calls[a].lastin;; m = calls[m].nextin) {
    row_insert(row, m);
    if (m == last) break;
  }
  for (int w = nrbin - 1; w >= 0; w--) visited[w] |= row[w] | shiftset[w];
}

// Discount factors of the activities, kept from pass to pass of a solve: a
// pass that finds an activity at the same completion time as the last pass
// (most do) reuses the factor instead of calling exp again. A factor depends
// only on the integer argument, the interest rate and the direction, so the
// value reused is the very value the call would give. Each direction has its
// own table; the entry per activity (callstate::factor) serves both, since
// the epochs of the two tables come from one count and an entry's epoch
// names the table it is valid for (a run solves in one direction). Behind
// the entries per activity, a factor is also kept by its argument (slot x
// mod bytimeslots): a moved activity often completes when another one did,
// and takes that factor.
constexpr int bytimeslots = 1024;
struct discount_table {
  discount_entry bytime[bytimeslots];
  unsigned epoch = 0;
  double rate = 0.0;
};
discount_table early, late;
unsigned epochs;  // the last epoch given to either table

// At the start of a pass (the outermost call): the factors go when a solve
// begins (its first pass) or the rate has changed, so every solve computes
// its own factors once. The results of the last pass carry over when it was
// the pass just before this one in the same solve and direction.
void start_pass(discount_table& t, bool forward) {
  if (nriter <= 1 || t.epoch == 0 || t.rate != interest) {
    t.epoch = ++epochs;
    t.rate = interest;
  }
  bool carry = keptforward == forward && keptepoch == t.epoch && nriter == keptiter + 1;
  if (!carry)
    for (int i = nract - 1; i >= 0; i--) {
      stale[i] = 1;
      treemaskheld[i] = 0;
    }
  keptforward = forward;
  keptepoch = t.epoch;
  keptiter = nriter;
  nrcutout = 0;
  caller = -1;
  callerrow = false;
}

// forward: exp(-interest * x) with x = st[a] + dur[a];
// backward: exp(interest * x) with x = deadline - (st[a] + dur[a]).
inline double discount(discount_table& t, bool forward, int a, int x) {
  discount_entry& e = calls[a].factor;
  if (e.made == t.epoch && e.arg == x) return e.factor;
  discount_entry& c = t.bytime[static_cast<unsigned>(x) % bytimeslots];
  if (c.made != t.epoch || c.arg != x) {
    c.factor = forward ? std::exp(-interest * static_cast<double>(x))
                       : std::exp(interest * static_cast<double>(x));
    c.arg = x;
    c.made = t.epoch;
  }
  e = c;
  return e.factor;
}

template <bool Forward>
double enter(int a);

// Bit k set for each of the n <= 32 entries whose arc is in the tree: in
// a's own row for the first list, in the row of the entry's activity (which
// must hold a) for the second.
template <bool First>
inline word tree_mask(const arcentry* e, int n, const word* arow, int a) {
  word mask = 0;
  for (int k = 0; k < n; k++) {
    int t = e[k].node;
    word held = First ? arow[t >> 5] >> (t & 31) : tree[t][a >> 5] >> (a & 31);
    mask |= (held & 1) << k;
  }
  return mask;
}

// The tree masks of lists of at most 32 entries, kept from pass to pass: a
// tree mask changes only where a tree arc is added or removed, and
// tree_add and tree_remove drop the two masks that such a change can alter
// (treemaskheld). Masks are kept only while the tree is counted, that is
// while every change goes through those two; a pass that does not carry
// over from the last one drops them all (start_pass).
word keptmask[maxact + 1][2];  // first list, second list

template <bool First>
inline word list_mask(const arcentry* e, int n, const word* arow, int a) {
  constexpr unsigned char held = First ? 1 : 2;
  word& kept = keptmask[a][First ? 0 : 1];
  if (treemaskheld[a] & held) return kept;
  kept = tree_mask<First>(e, n, arow, a);
  if (treecounted) treemaskheld[a] |= held;
  return kept;
}

// One call of either direction. First list: the neighbours a may cut
// (successors forward, predecessors backward) - a child when a's tree row
// holds it. Second list: the neighbours that are always kept - a child when
// its own tree row holds a. Both are read from the packed lists.
template <bool Forward>
double enter(int a) {
  level++;
  assert(level <= maxact);
  discount_table& table = Forward ? early : late;
  if (depth == 0) start_pass(table, Forward);
  depth++;
  const int parent = caller;
  const bool inparentrow = callerrow;
  const int cutsbefore = nrcut;
  double value = discount(table, Forward, a,
                          Forward ? st[a] + dur[a] : deadline - (st[a] + dur[a])) *
                 static_cast<double>(cf[a]);
  row_insert(visited, a);
  int tail = a;  // end of a's stretch so far
  int size = 1;  // and its activities

  // The tree degrees tell when a list cannot yield a child: when the only
  // bit of a's row, or the only row holding a, is the arc to the parent
  // (a tree has no second arc between two activities). Leaves skip both.
  const bool mayfirst = !treecounted || nrtreeout[a] > (parent >= 0 && !inparentrow);
  const bool maysecond = !treecounted || nrtreein[a] > (parent >= 0 && inparentrow);

  // The entries whose tree bit is set are found 32 at a time as the bits of
  // a mask, without a branch per entry, and taken in list order. A bit
  // that a child's call clears on the way belongs to an activity it has
  // entered, which the visited test skips, as the test of the bit would.
  const arcentry* first = Forward ? packed_suc(a) : packed_pred(a);
  const int nrfirst = mayfirst ? (Forward ? nrsuc[a] : nrpred[a]) : 0;
  const word* arow = tree[a];
  for (int k0 = 0; k0 < nrfirst; k0 += 32) {
    word mask = nrfirst <= 32 ? list_mask<true>(first, nrfirst, arow, a)
                              : tree_mask<true>(first + k0, std::min(32, nrfirst - k0), arow, a);
    for (; mask != 0; mask &= mask - 1) {
      int t = first[k0 + std::countr_zero(mask)].node;
      if (row_test(visited, t)) continue;
      double v;
      bool called = stale[t] || calls[t].keptfrom != a;
      if (called) {
        caller = a;
        callerrow = true;
        v = enter<Forward>(t);
      } else {
        row_insert(visited, t);
        v = calls[t].kept;
      }
      if (Forward ? v < -DCTOL : v > DCTOL) {
        tree_remove(a, t);
        cut_off(t);
        nrcut++;
        nrcutout += calls[t].sizein;
      } else {
        value += v;
        calls[tail].nextin = static_cast<std::int16_t>(t);
        tail = calls[t].lastin;
        size += calls[t].sizein;
      }
      if (called) level--;
    }
  }
  const arcentry* second = Forward ? packed_pred(a) : packed_suc(a);
  const int nrsecond = maysecond ? (Forward ? nrpred[a] : nrsuc[a]) : 0;
  for (int k0 = 0; k0 < nrsecond; k0 += 32) {
    word mask = nrsecond <= 32 ? list_mask<false>(second, nrsecond, arow, a)
                               : tree_mask<false>(second + k0, std::min(32, nrsecond - k0), arow, a);
    for (; mask != 0; mask &= mask - 1) {
      int t = second[k0 + std::countr_zero(mask)].node;
      if (row_test(visited, t)) continue;
      double v;
      if (stale[t] || calls[t].keptfrom != a) {
        caller = a;
        callerrow = false;
        v = enter<Forward>(t);
        level--;
      } else {
        row_insert(visited, t);
        v = calls[t].kept;
      }
      value += v;
      calls[tail].nextin = static_cast<std::int16_t>(t);
      tail = calls[t].lastin;
      size += calls[t].sizein;
    }
  }
  calls[a].lastin = static_cast<std::int16_t>(tail);
  calls[a].sizein = static_cast<std::int16_t>(size);
  calls[a].kept = value;
  calls[a].keptfrom = static_cast<std::int16_t>(parent);
  stale[a] = nrcut != cutsbefore;
  leave(a);
  return value;
}

}  // namespace

// A change of start time or of a tree arc at activity a: the subtrees that
// hold a (its path to the root in the last pass) must be entered again.
void mark_changed(int a) {
  for (int z = a; z >= 0 && !stale[z]; z = calls[z].keptfrom) stale[z] = 1;
}

double completion_discount(int a) {
  const int x = st[a] + dur[a];
  const discount_entry& e = calls[a].factor;
  if (early.epoch != 0 && e.made == early.epoch && e.arg == x && early.rate == interest)
    return e.factor;
  return std::exp(-interest * static_cast<double>(x));
}

double eval_forward(int a) { return enter<true>(a); }

double eval_backward(int a) { return enter<false>(a); }

}  // namespace gpr
