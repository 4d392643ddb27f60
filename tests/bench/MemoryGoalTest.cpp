#include "bench/MemoryGoal.h"

#include <gtest/gtest.h>

namespace
{
TEST(MemoryGoalTest, TheGoalItselfIsMetAndAnythingAboveItIsMissed)
{
    EXPECT_TRUE(bench::MemoryGoalMet(256.0, 256.0));
    EXPECT_TRUE(bench::MemoryGoalMet(249.1, 256.0));
    // Printed to one place and as a ratio to two, both of these read as the
    // goal (256.0 / 256 = 1.00, 257.0 / 256 = 1.00).
    EXPECT_FALSE(bench::MemoryGoalMet(257.0, 256.0));
    EXPECT_FALSE(bench::MemoryGoalMet(256.04, 256.0));
}
} // namespace
