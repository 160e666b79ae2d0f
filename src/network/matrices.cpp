// matrices.cpp: the lag matrix and the successor and predecessor lists,
// each on large pages of its own.
//
// An instance first touches rows 0..nract of these matrices, some 3000
// small pages for 1000 activities, each a page fault (see
// prefer_large_pages in driver.h). Each matrix starts on a large page, and
// nothing but another of them or a marker shares a large page with it: the
// markers, the first and the last definition of this file, place a large
// page boundary before and after the three whichever order the compiler
// lays them out in, so no variable of another file sits in the large page
// that holds a matrix's end (a variable touched there first would keep that
// page small, and a large page must lie wholly within the program's memory).
// Only the three matrices and the markers are defined here.
#include "network/network.h"

namespace gpr {

alignas(largepagebytes) char matrices_marker_a[1];

alignas(largepagebytes) int lag[maxact + 1][maxact + 1];
alignas(largepagebytes) int suc[maxact + 1][maxact];
alignas(largepagebytes) int pred[maxact + 1][maxact];

alignas(largepagebytes) char matrices_marker_b[1];

}  // namespace gpr
