// state.cpp: definitions of the global state declared in network.h, but
// for the three big matrices (matrices.cpp).
//
// Everything starts out zero (or empty) when the program starts, and lives
// for the whole run; each instance overwrites what the previous one left.
#include "driver/driver.h"
#include "network/network.h"

namespace gpr {

int nract;
int nrres;
int dur[maxact + 1];
int cf[maxact + 1];
int nrsuc[maxact + 1];
int nrpred[maxact + 1];
int deadline;

int st[maxact + 1];
word tree[maxact + 1][rowwords];
int nrtreeout[maxact + 1];
int nrtreein[maxact + 1];
bool treecounted;
unsigned char treemaskheld[maxact + 1];
word visited[rowwords];
word subset[maxact + 1][rowwords];
int level;
word cutset[maxact + 1][rowwords];
int nrcut;
word shiftset[maxact + 1];
int mindisp;
int dispfrom;
int dispto;
int nriter;
double npv;
float cputime;
int nrbin;
int failcode = fail_none;

std::int32_t bit[maxact + 1];

// hibit[x] is the index of the highest set bit of the 16-bit value x,
// hibit[0] = 0: for b = 15 down to 0, the values from 2^(b+1) - 1 down to
// 2^b have b. The table is fixed when the program is compiled and lies
// with the constants, so a run that never reads it (the search finds
// highest bits by the processor's count of leading zeros) never pays for
// its 64 pages; built at run time it took some 0.7 ms of page faults on
// virtual machines where each fault costs 10 us.
namespace {
struct HibitTable {
  int of[65536];
  constexpr HibitTable() : of() {
    for (int b = 15; b >= 0; b--)
      for (int x = (2 << b) - 1; x >= (1 << b); x--) of[x] = b;
  }
};
constexpr HibitTable hibittable;
}  // namespace
const int (&hibit)[65536] = hibittable.of;

int probnr;
int firstprob;
int lastprob;
int pctneg;
int deadext;
double interest;
char prefix[8];
char probname[32];
std::FILE* probfile;
char outname[16];
std::FILE* outfile;
std::int64_t starttick;
std::FILE* infofile;

float sumtime;
double sumsq;
int nrsolved;
float avgtime;
double stdtime;

char failwhy[256];
arcentry arclist[maxarcentries];
int sucfirst[maxact + 1];
int predfirst[maxact + 1];
int closingentry;
int leftout[maxleftout][2];
int nrleftout;

std::uint32_t randstate;

// Every solve touches most of the small pages of the arrays of the solve
// state, and the batch also the run parameters beside them: some 100 page
// faults in the first instance of 1000 activities, which cost 11 us each on
// the virtual machines of bench/README.md. Where the bit-row matrices (tree,
// subset, cutset) are below half a large page, the arrays lie together and
// take the large pages around them (one at 1000 activities, resident
// whatever the instance). In larger builds the matrices' rows lie between
// them, and large pages around them would make rows resident that a small
// instance never touches: there the rows of tree and subset take large
// pages as an instance brings them into use (the reader's
// back_rows_in_use), and the rest keeps its small pages.
void prefer_large_pages_for_state() {
  if (sizeof tree > largepagebytes / 2) return;
  const struct {
    const void* array;
    std::size_t size;
  } arrays[] = {
      {dur, sizeof dur},
      {cf, sizeof cf},
      {nrsuc, sizeof nrsuc},
      {nrpred, sizeof nrpred},
      {st, sizeof st},
      {tree, sizeof tree},
      {nrtreeout, sizeof nrtreeout},
      {nrtreein, sizeof nrtreein},
      {treemaskheld, sizeof treemaskheld},
      {visited, sizeof visited},
      {subset, sizeof subset},
      {cutset, sizeof cutset},
      {shiftset, sizeof shiftset},
      {bit, sizeof bit},
      {&probnr, sizeof probnr},
  };
  for (const auto& a : arrays) prefer_large_pages_around(a.array, a.size);
}

}  // namespace gpr
