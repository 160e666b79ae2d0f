#include <gtest/gtest.h>

#include "testutil.h"

TEST(Smoke, ReadsAndSolvesAChain) {
  testutil::ScratchDir dir;
  testutil::Instance in;
  int s = in.add(0), a = in.add(3), b = in.add(2), e = in.add(0);
  in.fs(s, a);
  in.fs(a, b);
  in.fs(b, e);
  in.write(1);
  testutil::quiet_run(50, 10, 0.01);
  ASSERT_EQ(testutil::read(1), 1);
  EXPECT_EQ(gpr::deadline, 15);
  gpr::solve_instance();
  EXPECT_EQ(gpr::nriter, 1);
  EXPECT_NEAR(gpr::npv, -239 * std::exp(-0.03) + 356 * std::exp(-0.05), 1e-9);
}
