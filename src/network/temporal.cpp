// temporal.cpp: longest-path start times, the earliest starts with which the
// reader fixes the deadline, and the normalisation of the dummy arcs.
//
// What is computed. Given start values st[0..nract-1] (0 for the dummy start
// and -999 for every other activity in the earliest-start case), the forward
// propagation yields the smallest assignment that is at least those values
// and meets st[j] >= st[i] + lag[i][j] for every arc i->j of the successor
// lists whose cell is not NOLAG. The backward propagation yields, dually, the
// largest assignment at most its start values with st[r] <= st[p] - lag[r][p]
// over the predecessor lists. For reached activities these are the longest-
// path distances from the dummy start (to the dummy end); activities that no
// listed path reaches keep their start value, or a value carried to them from
// other unreached activities.
//
// How. A FIFO label-correcting scan (each activity queued at most once at a
// time), started in depth-first order (see queue_all), close to linear in
// the number of arcs on the networks that occur; O(nract * arcs) in the
// worst case.
//
// Infeasible input. Each value carries the number of arcs of the chain of
// improvements that produced it. A chain of nract arcs repeats an activity,
// and since every step of it was a strict improvement, the repeated part is a
// cycle of positive total lag: the values have no finite limit. The
// propagation stops there and returns 0 instead of looping. Before that
// point every value stays within nract * 300000 of its start value, so no
// 32-bit sum overflows.
#include <cassert>

#include "network/network.h"

namespace gpr {
namespace {

int queue[maxact + 1];          // circular FIFO of activities to scan
unsigned char queued[maxact + 1];
int chain[maxact + 1];          // arcs in the chain that set st[i]

int stacknode[maxact + 1];      // depth-first search: path of activities
int stackarc[maxact + 1];       // and the next list entry of each
unsigned char seen[maxact + 1];

// Queues every activity, in an order in which, as far as the arcs allow,
// each comes after the activities whose arcs lead into it: the reverse of
// the order in which a depth-first search along the lists (successors
// forward, predecessors backward) finishes them, started from `root` and
// then from every activity not yet found. The search follows only arcs
// whose cell is 0 or more: an arc with a negative cell (a maximal lag,
// typically, which closes a cycle with the minimal lag the other way) seldom
// moves a start, and following it would make the order meaningless inside
// the cycle. Where the arcs followed hold every move, each activity is then
// scanned once, with its final value; other arcs only cost extra scans. The
// order changes the number of scans, never the values.
void queue_all(bool forward, int root) {
  for (int i = 0; i < nract; i++) {
    seen[i] = 0;
    queued[i] = 1;
    chain[i] = 0;
  }
  int filled = nract;
  for (int s = -1; s < nract; s++) {
    int start = s < 0 ? root : s;
    if (seen[start]) continue;
    seen[start] = 1;
    int top = 0;
    stacknode[0] = start;
    stackarc[0] = (forward ? nrsuc[start] : nrpred[start]) - 1;
    while (top >= 0) {
      int v = stacknode[top];
      if (stackarc[top] >= 0) {
        int k = stackarc[top]--;
        int w = forward ? suc[v][k] : pred[v][k];
        int c = forward ? lag[v][w] : lag[w][v];
        if (c >= 0 && !seen[w]) {
          seen[w] = 1;
          top++;
          stacknode[top] = w;
          stackarc[top] = (forward ? nrsuc[w] : nrpred[w]) - 1;
        }
      } else {
        queue[--filled] = v;
        top--;
      }
    }
  }
}

}  // namespace

int propagate_forward() {
  queue_all(true, 0);
  int head = 0, count = nract;
  while (count > 0) {
    int i = queue[head];
    head = head == maxact ? 0 : head + 1;
    count--;
    queued[i] = 0;
    for (int k = nrsuc[i] - 1; k >= 0; k--) {
      int j = suc[i][k];
      int c = lag[i][j];
      if (c == NOLAG) continue;
      int t = st[i] + c;
      if (t > st[j]) {
        st[j] = t;
        chain[j] = chain[i] + 1;
        if (chain[j] >= nract) return 0;
        if (!queued[j]) {
          int tail = head + count;
          queue[tail > maxact ? tail - (maxact + 1) : tail] = j;
          queued[j] = 1;
          count++;
        }
      }
    }
  }
  return 1;
}

int propagate_backward() {
  queue_all(false, nract - 1);
  int head = 0, count = nract;
  while (count > 0) {
    int p = queue[head];
    head = head == maxact ? 0 : head + 1;
    count--;
    queued[p] = 0;
    for (int k = nrpred[p] - 1; k >= 0; k--) {
      int r = pred[p][k];
      int c = lag[r][p];
      if (c == NOLAG) continue;
      int t = st[p] - c;
      if (t < st[r]) {
        st[r] = t;
        chain[r] = chain[p] + 1;
        if (chain[r] >= nract) return 0;
        if (!queued[r]) {
          int tail = head + count;
          queue[tail > maxact ? tail - (maxact + 1) : tail] = r;
          queued[r] = 1;
          count++;
        }
      }
    }
  }
  return 1;
}

// Earliest starts over the lags as read (before normalisation): st[0] = 0,
// every other activity from -999 up, and -999 in st[nract].
void compute_earliest_starts() {
  assert(nract >= 1 && nract <= maxact);
  for (int i = 0; i <= nract; i++) st[i] = unreached_early;
  st[0] = 0;
  if (!propagate_forward()) failcode = fail_cycle;
}

// Every activity starts at least 0 after the dummy start, and the dummy end
// starts no earlier than any activity finishes. Changes cells only, never
// the lists: the raised cells act on the arcs that the lists already hold.
void normalise_dummy_arcs() {
  for (int j = nract - 1; j >= 1; j--)
    if (lag[0][j] < 0) lag[0][j] = 0;
  int end = nract - 1;
  for (int i = nract - 2; i >= 0; i--)
    if (lag[i][end] < dur[i]) lag[i][end] = dur[i];
}

}  // namespace gpr
