// network.h: the one global state of gprnpv and the operations of the network
// model.
//
// The whole program works on a single set of fixed-size arrays and scalars that
// live for the whole run: the instance in hand (durations, cash flows, lists,
// the start-to-start distance matrix `lag`), the state of its solve (schedule,
// spanning tree, cut sets), the run parameters of the dialogue, and the open
// files. Operations take no arguments for this state; they read and write it
// directly. Nothing is allocated while a batch runs.
//
// Activities are numbered 0 .. nract-1; 0 is the dummy start, nract-1 the
// dummy end. Sets of activities are bit rows: activity i is bit (i & 31) of
// word (i >> 5). Only the first `nrbin` words of a row are used for an
// instance; words beyond them may hold values of an earlier, larger instance
// and are never read.
//
// Invariants after read_instance() has returned 1 and until the next read:
//   - 2 <= nract <= maxact, and |dur[i]| <= maxabs;
//   - j is in suc[i] exactly when i is in pred[j] (the solve later replaces
//     the lists of the two dummies by the closing arc);
//   - lag[i][i] == 0 for i <= nract; any other cell of rows and columns
//     0..nract is NOLAG or the largest bound the relations give the pair;
//   - cf[0] == cf[nract-1] == 0;
//   - the packed arc lists (below) equal the lists and their cells.
#ifndef GPRNPV_NETWORK_H
#define GPRNPV_NETWORK_H

#include <bit>
#include <cstdint>
#include <cstdio>

namespace gpr {

// ---------------------------------------------------------------- limits
// The activity limit is fixed when the program is built: the CMake option
// GPRNPV_MAXACT (1000 unless set, at most 16000) passes it to every source,
// and every array below is sized from it. A larger limit reserves more
// address space; the pages an instance does not touch are never resident.
#ifndef GPRNPV_MAXACT
#define GPRNPV_MAXACT 1000
#endif
constexpr int maxact = GPRNPV_MAXACT;  // activities per instance, dummies included
static_assert(maxact >= 1000 && maxact <= 16000, "GPRNPV_MAXACT lies within 1000..16000");
constexpr int maxbin = (maxact + 31) / 32 + 1;  // words per bit row, one to spare (33)
// Bits that hold an activity number or a list position in the packed arc
// numbers of the search (a << actbits | k): 10 for 1000.
constexpr int actbits = maxact < 1024 ? 10 : maxact < 2048 ? 11 : maxact < 4096 ? 12
                      : maxact < 8192 ? 13 : 14;
constexpr int actmask = (1 << actbits) - 1;
constexpr int rowwords = maxbin + 1;  // declared words of every bit row
constexpr int largepagebytes = 1 << 21;  // a large page of the system, see prefer_large_pages
constexpr int NOLAG = -999999;   // lag cell of a pair without a relation
constexpr double DCTOL = 0.00001;  // tolerance of the cut tests on subtree values
constexpr int maxabs = 100000;   // largest |duration| and |lag| a file may hold
constexpr int maxdeadline = 100000000;  // |deadline| above this is refused
constexpr int unreached_early = -999;   // start value before forward propagation
constexpr int unreached_late = 1 << 30; // start value before backward propagation
// A propagation moves a start value by at most maxact * 300000 from a value
// within +-2^30. Where that can leave 32 bits (maxact above 3579) the
// propagation forms its sums in 64 bits and stops at a value beyond +-2^30
// (see propagate_forward); below that limit no value comes near 2^30.
constexpr bool wide_starts =
    static_cast<long long>(maxact) * 3 * maxabs + unreached_late > 2147483647LL;

using word = std::uint32_t;      // one word of a bit row

// ------------------------------------------------------- outcome codes
// Codes of report_read_failure(): why an instance got no "optimal" row.
// The first two come from the reader's size checks; the rest mark files and
// instances that cannot be solved.
constexpr int fail_none = -1;
constexpr int fail_notfound = 0;      // the instance file does not exist
constexpr int fail_toolarge = 1;      // more than maxact activities
constexpr int fail_invalid = 2;       // malformed or out-of-range file
constexpr int fail_cycle = 3;         // cycle of positive total lag
constexpr int fail_deadline = 4;      // deadline outside +-maxdeadline
constexpr int fail_notree = 5;        // initial tree cannot be completed
constexpr int fail_tight = 6;         // initial schedule violates the deadline
constexpr int fail_nodisp = 7;        // a displacement move finds no arc

// ----------------------------------------------------------- instance
extern int nract;                          // activities, dummies included
extern int nrres;                          // resource types of the file header
extern int dur[maxact + 1];                // durations
extern int cf[maxact + 1];                 // generated cash flows
extern int lag[maxact + 1][maxact + 1];    // minimal start-to-start distances
extern int suc[maxact + 1][maxact];        // successor lists, in file order
extern int nrsuc[maxact + 1];
extern int pred[maxact + 1][maxact];       // predecessor lists, in reading order
extern int nrpred[maxact + 1];
extern int deadline;                       // earliest end + deadext

// -------------------------------------------------------- solve state
extern int st[maxact + 1];                 // start times of the current schedule
extern word tree[maxact + 1][rowwords];    // spanning tree, oriented per direction
// Tree degrees for the passes: nrtreeout[a] bits in row a of tree,
// nrtreein[a] rows of tree that hold a. The operations that change tree
// rows during a solve (tree growth, the cuts of a pass, the moves of a
// displacement) keep them, the last two with tree_add/tree_remove; they hold while
// treecounted is set, which the tree builders set once their tree is
// complete and reset_solve clears. Rows written by other means are read
// without them.
extern int nrtreeout[maxact + 1];
extern int nrtreein[maxact + 1];
extern bool treecounted;
// The tree masks that a pass keeps per activity (eval.cpp), bit 0 of
// treemaskheld[a] for a's first list, bit 1 for its second: tree_add and
// tree_remove drop the two that a change of row p at r can alter, p's first
// and r's second. (The tree growth, which comes before the first pass of a
// solve, leaves them: that pass drops them all.)
extern unsigned char treemaskheld[maxact + 1];
extern word visited[rowwords];             // entered by the current pass
extern word subset[maxact + 1][rowwords];  // row `level`: subtree being collected
extern int level;                          // recursion depth
extern word cutset[maxact + 1][rowwords];  // rows 0..nrcut-1: cut sets of a pass
extern int nrcut;
extern word shiftset[maxact + 1];          // union of the cut sets still to move
extern int mindisp;                        // least slack of the current move
extern int dispfrom;                       // inner end of the arc giving mindisp
extern int dispto;                         // outer end of that arc
extern int nriter;                         // recursion passes of this solve
extern double npv;                         // net present value of the result
extern float cputime;                      // seconds of this solve
extern int nrbin;                          // words in use per bit row
extern int failcode;                       // fail_none, or why the instance got no result
// Where a file refused as invalid is wrong, for the line on standard error:
// "activity 3, entry 2: successor 12 outside 1..10". Empty for other outcomes.
extern char failwhy[256];

// Relations the solve leaves out. The closing arc replaces the successor
// list of the dummy end and the predecessor list of the dummy start (see
// add_closing_arc), so a relation listed into the dummy start or out of
// the dummy end is never enforced: every listed arc i->0 and end->j (end =
// nract-1), self-arcs excluded, whose cell is not NOLAG, and the arc
// end->0 when its cell is above -deadline, the closing arc's own bound.
// find_leftout() lists them as (from, to) pairs, internal numbers, each pair
// once: arcs into the dummy start in the order of pred[0], then arcs out of
// the dummy end in the order of suc[end]. It reads the lists as the reader
// leaves them, before a solve changes them; read_instance calls it for every
// instance it accepts. Cost: the entries of the two lists.
constexpr int maxleftout = 2 * maxact;
extern int leftout[maxleftout][2];
extern int nrleftout;
int find_leftout();

// ------------------------------------------------ packed arc lists
// The successor and predecessor lists of the instance with each entry's
// cell, packed for the search: activity a's successor entries, then its
// predecessor entries, then those of a+1, so that one activity's arcs lie
// together instead of in three rows 4 KB apart. Entry k of suc[a] is
// arclist[sucfirst[a] + k] = {suc[a][k], lag[a][suc[a][k]]}; entry k of
// pred[a] is arclist[predfirst[a] + k] = {pred[a][k], lag[pred[a][k]][a]};
// the counts stay nrsuc and nrpred. compute_earliest_starts packs them from
// the lists and cells in hand (cost: the entries of all lists) for the
// reader, normalise_dummy_arcs updates the entries of the cells it raises,
// add_closing_arc points the two lists it replaces at two entries past the
// packed ones, and nothing else changes lists or cells, so from the read to
// the end of the solve, and for further solves of the same instance, the
// packed lists equal the lists. Code that writes lists or cells by other
// means (the tests) calls pack_arcs before it propagates or solves. The
// start-time propagations, the tree builders, the passes and the
// displacements read the packed lists; the reader and the tests write the
// lists and the matrix.
struct arcentry {
  int node;  // the other end
  int cell;  // the arc's lag cell, NOLAG when it carries no relation
};
constexpr long maxarcentries = 2L * (maxact + 1) * maxact + 2;
extern arcentry arclist[maxarcentries];
extern int sucfirst[maxact + 1];
extern int predfirst[maxact + 1];
extern int closingentry;   // the two entries past the packed ones
void pack_arcs();          // called by compute_earliest_starts
extern unsigned packings;  // calls of pack_arcs so far
// Also counted by pack_arcs: for each activity, the successor entries with
// a cell of 0 or more that lead into it (the arcs whose order the forward
// propagation follows). compute_earliest_starts, which propagates right
// after packing, takes them; every other propagation counts its own.
extern int followedin[maxact + 1];
// The packed successor entries of activity a (nrsuc[a] of them) and its
// predecessor entries (nrpred[a]).
inline const arcentry* packed_suc(int a) { return arclist + sucfirst[a]; }
inline const arcentry* packed_pred(int a) { return arclist + predfirst[a]; }

// ------------------------------------------------------ lookup tables
extern std::int32_t bit[maxact + 1];       // bit[k] = 2^k for k < 32, 0 above
extern const int (&hibit)[65536];          // highest set bit of a 16-bit value

// ---------------------------------------------- run parameters, files
extern int probnr;
extern int firstprob;
extern int lastprob;
extern int pctneg;
extern int deadext;
extern double interest;
extern char prefix[8];
extern char probname[32];   // "D" + any int + ".gpr" fits with room to spare
extern std::FILE* probfile;
extern char outname[16];
extern std::FILE* outfile;
extern std::int64_t starttick;           // thread CPU time (ns) when the solve began
extern std::FILE* infofile;

// ---------------------------------------------------- run statistics
extern float sumtime;
extern double sumsq;
extern int nrsolved;
extern float avgtime;
extern double stdtime;

// ------------------------------------------------- pseudo-random draws
// Linear congruential generator with 32-bit state: s = s*214013 + 2531011,
// a draw is (s >> 16) & 0x7FFF. The cash flows, and so every result, depend
// on this exact sequence.
extern std::uint32_t randstate;
inline void seed_random(std::uint32_t seed) { randstate = seed; }
inline int draw_random() {
  randstate = randstate * 214013u + 2531011u;
  return static_cast<int>((randstate >> 16) & 0x7FFFu);
}

// ------------------------------------------------- bit-row primitives
// The mask of activity i in its word: bit[i & 31], formed by a shift rather
// than loaded from the table (the same value; no memory access in the loops
// of the search).
inline word bitmask(int i) { return word{1} << (i & 31); }
inline bool row_test(const word* row, int i) { return (row[i >> 5] & bitmask(i)) != 0; }
inline void row_insert(word* row, int i) { row[i >> 5] |= bitmask(i); }
inline void row_remove(word* row, int i) { row[i >> 5] &= ~bitmask(i); }
inline void row_toggle(word* row, int i) { row[i >> 5] ^= bitmask(i); }
inline void row_clear(word* row) {
  for (int w = nrbin - 1; w >= 0; w--) row[w] = 0;
}
inline void row_single(word* row, int i) {
  row_clear(row);
  row[i >> 5] = bitmask(i);
}
inline void row_union(word* dst, const word* src) {
  for (int w = nrbin - 1; w >= 0; w--) dst[w] |= src[w];
}
inline void row_copy(word* dst, const word* src) {
  for (int w = nrbin - 1; w >= 0; w--) dst[w] = src[w];
}
inline bool row_empty(const word* row) {
  for (int w = nrbin - 1; w >= 0; w--)
    if (row[w] != 0) return false;
  return true;
}

// x when b holds, else y, by arithmetic instead of a branch: for choices
// whose outcome is as good as random, which a branch would often miss.
template <typename T>
inline T pick(bool b, T x, T y) { return y ^ ((y ^ x) & -static_cast<T>(b)); }

// Adds the tree bit r to row p, or removes it; the bit is absent or
// present, as the caller knows. The tree degrees follow, and the kept masks
// of the pair are dropped.
inline void tree_add(int p, int r) {
  row_insert(tree[p], r);
  nrtreeout[p]++;
  nrtreein[r]++;
  treemaskheld[p] &= 2;
  treemaskheld[r] &= 1;
}
inline void tree_remove(int p, int r) {
  row_remove(tree[p], r);
  nrtreeout[p]--;
  nrtreein[r]--;
  treemaskheld[p] &= 2;
  treemaskheld[r] &= 1;
}

// Index (0..31) of the highest set bit of x; 0 for x == 0.
inline int hibit_index(word x) {
  return (x >> 16) != 0 ? hibit[x >> 16] + 16 : hibit[x];
}

// Calls visit(i) for every member of row, in decreasing order of i. (The
// highest bit is found by the processor's count of leading zeros, which
// gives what hibit_index gives without the table.)
template <typename Visit>
inline void row_members(const word* row, Visit visit) {
  for (int w = nrbin - 1; w >= 0; w--) {
    word x = row[w];
    while (x != 0) {
      int k = 31 - std::countl_zero(x);
      x ^= bitmask(k);
      visit(32 * w + k);
    }
  }
}

// ---------------------------------------------------------- operations
void build_bit_tables();   // bit[] (hibit[] is fixed when the program is compiled)
void prefer_large_pages_for_state();  // before the batch touches it (state.cpp)
void reset_solve();        // per-solve reset (common_gpr.cpp)

// Reads instance `probnr`: 1 when it is ready to solve, 0 when its failure row
// has been written (to the console and to `outfile`).
int read_instance();

// Packs the lists, then the earliest starts over the listed arcs from the
// dummy start (leaves -999 in st[nract]); sets failcode to fail_cycle on a
// cycle of positive total lag.
void compute_earliest_starts();
// Raises lag[0][j] to at least 0 and lag[i][nract-1] to at least dur[i],
// and the packed entries of those arcs with them (the lists packed).
void normalise_dummy_arcs();

// Longest-path propagation that the earliest starts and the initial trees
// share, over the packed lists. Both start from the values in
// st[0..nract-1] and only move them in one direction: forward raises st[j]
// to st[i] + lag[i][j] over the successor lists, backward lowers st[r] to
// st[p] - lag[r][p] over the predecessor lists. Arcs whose cell is NOLAG
// carry no relation and are skipped. Both return 1, or 0 when a cycle of
// positive total lag makes the values grow without bound; builds with
// wide_starts also return 2 when a value leaves +-2^30, which callers
// report as fail_deadline.
int propagate_forward();
int propagate_backward();
// The forward propagation of the earliest-start tree: from st0 (0 for the
// dummy start, -999 for the rest) over the current cells, as
// propagate_forward, but starting from the earliest starts of the last
// compute_earliest_starts where they provably lead to the same values.
int resume_forward();

}  // namespace gpr

#endif  // GPRNPV_NETWORK_H
