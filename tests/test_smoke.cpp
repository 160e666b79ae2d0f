#include <gtest/gtest.h>

#include "testutil.h"

TEST(Smoke, ReadsAndSolvesAChain) {
  testutil::ScratchDir dir;
  testutil::write_worked_example();
  testutil::quiet_run(50, 10, 0.01);
  ASSERT_EQ(testutil::read(1), 1);
  EXPECT_EQ(gpr::deadline, 15);
  gpr::solve_instance();
  EXPECT_EQ(gpr::nriter, 1);
  EXPECT_NEAR(gpr::npv, -239 * std::exp(-0.03) + 356 * std::exp(-0.05), 1e-9);
}
