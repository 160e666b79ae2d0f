// common_gpr.cpp: the per-solve reset, the packed arc lists, the bit tables.
//
// reset_solve() prepares the solve state of the instance that the reader left:
// it derives the number of row words from nract, marks every start time as
// unset (-999), clears the tree and subset rows and drops the tree degrees.
// Rows, entries and words beyond the instance keep what an earlier, larger
// instance left; no operation reads them.
//
// The assertion in reset_solve() states that the words in use fit the
// declared rows. The reader keeps nract <= maxact, which gives nrbin <=
// maxbin - 1, so it cannot fail for an accepted instance; if it ever does, the program
// stops with the expression "nrbin<=maxbin" at line 34 of this file.
#include <cassert>

#include "network/network.h"

namespace gpr {

// Per-solve reset, run first by every solve before the initial tree is built,
// in this order:
//   1. nriter and npv start at 0;
//   2. nrbin = ceil(nract / 32), computed as the search always has: nract in
//      double, divided by 32.0, 0.9999 added and the sum truncated, which
//      equals the ceiling for every nract from 0 to 16000;
//   3. the assertion below;
//   4. treecounted cleared; st[i] = -999 and the words in use of subset[i]
//      and tree[i] cleared, i = nract-1 .. 0.
// st[nract] and everything beyond is left as it was, and so are the rows of
// activities at or above nract, and the packed lists (the reader's).
void reset_solve() {
  nriter = 0;
  npv = 0.0;
  nrbin = static_cast<int>(nract / 32.0 + 0.9999);
  assert(nrbin<=maxbin);
  treecounted = false;
  for (int i = nract - 1; i >= 0; i--) {
    st[i] = unreached_early;
    for (int w = nrbin - 1; w >= 0; w--) {
      subset[i][w] = 0;
      tree[i][w] = 0;
    }
  }
}

// The packed lists (see network.h), activity by activity. A successor
// entry's cell is in the row of its own activity; a predecessor entry's
// cell is in the row of the other end. The successor entries are counted
// into followedin[] on the way. Cost: the entries of all lists.
unsigned packings;
int followedin[maxact + 1];

void pack_arcs() {
  packings++;
  for (int a = 0; a < nract; a++) followedin[a] = 0;
  int n = 0;
  for (int a = 0; a < nract; a++) {
    sucfirst[a] = n;
    const int* s = suc[a];
    const int* row = lag[a];
    for (int k = 0, m = nrsuc[a]; k < m; k++) {
      const int cell = row[s[k]];
      arclist[n++] = {s[k], cell};
      followedin[s[k]] += cell >= 0;
    }
    predfirst[a] = n;
    const int* p = pred[a];
    for (int k = 0, m = nrpred[a]; k < m; k++) arclist[n++] = {p[k], lag[p[k]][a]};
  }
  assert(n <= maxarcentries - 2);
  closingentry = n;
  arclist[n] = arclist[n + 1] = {0, NOLAG};  // until add_closing_arc fills them
}

// bit[k] by repeated doubling in 32-bit arithmetic: 2^k for k = 0..30, the
// sign bit for k = 31, and 0 from 32 on (every use reduces its index & 31).
// (hibit[] needs no building: see state.cpp.)
void build_bit_tables() {
  std::uint32_t b = 1;
  bit[0] = 1;
  for (int k = 1; k <= maxact; k++) {
    b <<= 1;
    bit[k] = static_cast<std::int32_t>(b);
  }
}

}  // namespace gpr
