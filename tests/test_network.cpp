// test_network.cpp: the bit tables, the bit-row primitives, member iteration
// and the per-solve reset.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "testutil.h"

namespace {

std::vector<int> members(const gpr::word* row) {
  std::vector<int> seen;
  gpr::row_members(row, [&](int i) { seen.push_back(i); });
  return seen;
}

}  // namespace

TEST(BitTables, BitHoldsPowersThenTheSignBitThenZeros) {
  gpr::build_bit_tables();
  for (int k = 0; k <= 30; k++) EXPECT_EQ(gpr::bit[k], std::int32_t{1} << k) << k;
  EXPECT_LT(gpr::bit[31], 0);
  EXPECT_EQ(static_cast<std::uint32_t>(gpr::bit[31]), 0x80000000u);
  for (int k = 32; k <= gpr::maxact; k++) ASSERT_EQ(gpr::bit[k], 0) << k;
}

TEST(BitTables, HibitIsTheHighestSetBitOfEverySixteenBitValue) {
  gpr::build_bit_tables();
  EXPECT_EQ(gpr::hibit[0], 0);
  for (int x = 1; x < 65536; x++) {
    int h = 0;
    while ((x >> (h + 1)) != 0) h++;
    ASSERT_EQ(gpr::hibit[x], h) << x;
  }
}

TEST(BitTables, HibitIndexAtTheWordAndHalfWordBoundaries) {
  gpr::build_bit_tables();
  struct Case {
    std::uint32_t x;
    int index;
  } cases[] = {
      {0, 0},           {1, 0},           {2, 1},           {0x8000, 15},
      {0xFFFF, 15},     {0x10000, 16},    {0x1FFFF, 16},    {0x10001, 16},
      {0x7FFFFFFF, 30}, {0x80000000, 31}, {0x80000001, 31}, {0xFFFFFFFF, 31},
  };
  for (const Case& c : cases) EXPECT_EQ(gpr::hibit_index(c.x), c.index) << std::hex << c.x;
  for (int k = 0; k < 32; k++) EXPECT_EQ(gpr::hibit_index(std::uint32_t{1} << k), k);
}

TEST(BitRows, MembersAreVisitedInDescendingOrder) {
  gpr::build_bit_tables();
  gpr::nrbin = 2;
  gpr::word row[gpr::rowwords] = {};
  gpr::row_insert(row, 0);
  gpr::row_insert(row, 37);
  gpr::row_insert(row, 5);
  EXPECT_EQ(members(row), (std::vector<int>{37, 5, 0}));
  EXPECT_EQ(row[0], 0x21u);  // the row itself is not consumed
  EXPECT_EQ(row[1], 0x20u);

  // Words beyond nrbin are not part of the row.
  row[2] = 1;
  EXPECT_EQ(members(row), (std::vector<int>{37, 5, 0}));

  gpr::word full[gpr::rowwords] = {0xFFFFFFFFu, 0xFFFFFFFFu};
  std::vector<int> all = members(full);
  ASSERT_EQ(all.size(), 64u);
  for (int k = 0; k < 64; k++) EXPECT_EQ(all[k], 63 - k);
}

TEST(BitRows, SignBitMembersAreOrdinaryMembers) {
  gpr::build_bit_tables();
  gpr::nrbin = 2;
  gpr::word row[gpr::rowwords] = {};
  gpr::row_insert(row, 31);
  EXPECT_LT(static_cast<std::int32_t>(row[0]), 0);
  EXPECT_FALSE(gpr::row_empty(row));
  EXPECT_TRUE(gpr::row_test(row, 31));
  EXPECT_FALSE(gpr::row_test(row, 63));
  gpr::row_insert(row, 63);
  EXPECT_EQ(members(row), (std::vector<int>{63, 31}));
  gpr::row_remove(row, 31);
  EXPECT_EQ(members(row), (std::vector<int>{63}));
  gpr::row_toggle(row, 63);
  EXPECT_TRUE(gpr::row_empty(row));
}

TEST(BitRows, PrimitivesTouchOnlyTheWordsInUse) {
  gpr::build_bit_tables();
  gpr::nrbin = 2;
  gpr::word a[gpr::rowwords] = {0xFu, 0xF0u, 0x77u};
  gpr::row_single(a, 32);
  EXPECT_EQ(a[0], 0u);
  EXPECT_EQ(a[1], 1u);
  EXPECT_EQ(a[2], 0x77u);

  gpr::word b[gpr::rowwords] = {0x100u, 0u, 0x55u};
  gpr::row_union(a, b);
  EXPECT_EQ(members(a), (std::vector<int>{32, 8}));
  EXPECT_EQ(a[2], 0x77u);
  gpr::row_copy(b, a);
  EXPECT_EQ(members(b), (std::vector<int>{32, 8}));
  EXPECT_EQ(b[2], 0x55u);
  gpr::row_clear(b);
  EXPECT_TRUE(gpr::row_empty(b));
  EXPECT_EQ(b[2], 0x55u);
}

TEST(ResetSolve, WordsInUseAreTheCeilingOfNractOver32) {
  for (int n : {0, 1, 31, 32, 33, 64, 65, 999, 1000}) {
    gpr::nract = n;
    gpr::reset_solve();
    EXPECT_EQ(gpr::nrbin, (n + 31) / 32) << n;
  }
}

TEST(ResetSolve, ClearsTheActivitiesInUseAndNothingBeyond) {
  gpr::nract = 40;
  for (int i = 0; i <= 41; i++) {
    gpr::st[i] = 77;
    for (int w = 0; w < gpr::rowwords; w++) gpr::tree[i][w] = gpr::subset[i][w] = 0xABu;
  }
  gpr::nriter = 5;
  gpr::npv = 3.5;
  gpr::reset_solve();
  EXPECT_EQ(gpr::nriter, 0);
  EXPECT_EQ(gpr::npv, 0.0);
  for (int i = 0; i < 40; i++) {
    EXPECT_EQ(gpr::st[i], -999) << i;
    EXPECT_EQ(gpr::tree[i][0], 0u);
    EXPECT_EQ(gpr::tree[i][1], 0u);
    EXPECT_EQ(gpr::subset[i][1], 0u);
  }
  EXPECT_EQ(gpr::st[40], 77);
  EXPECT_EQ(gpr::tree[40][0], 0xABu);
  EXPECT_EQ(gpr::subset[40][0], 0xABu);
}
