#include "engine/core/NiRandom.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace
{
class NiRandomTest : public ::testing::Test
{
protected:
    void SetUp() override { NiResetRandom(); }
    void TearDown() override { NiResetRandom(); }
};

std::vector<int> Draw(int iCount)
{
    std::vector<int> kValues;
    for (int i = 0; i < iCount; ++i)
        kValues.push_back(NiRand());
    return kValues;
}
} // namespace

// A seed replays the C library's sequence for the same seed, so a recorded
// seed reproduces what the game drew.
TEST_F(NiRandomTest, SeedReplaysTheCLibrarySequence)
{
    for (unsigned int uiSeed : {1u, 7u, 12345u, 4294967295u})
    {
        SCOPED_TRACE(uiSeed);
        std::srand(uiSeed);
        NiSeedRandom(uiSeed);
        for (int i = 0; i < 2000; ++i)
            ASSERT_EQ(NiRand(), std::rand()) << i;
    }
}

TEST_F(NiRandomTest, ResetRestartsTheSequenceOfSeedOneAndZeroActsAsOne)
{
    std::vector<int> kFirst = Draw(50);
    NiResetRandom();
    EXPECT_EQ(Draw(50), kFirst);
    NiSeedRandom(0);
    EXPECT_EQ(Draw(50), kFirst);
    NiSeedRandom(2);
    EXPECT_NE(Draw(50), kFirst);
}

TEST_F(NiRandomTest, DrawsStayInRangeAndCoverSmallModuli)
{
    int aiHits[11] = {};
    for (int i = 0; i < 11000; ++i)
    {
        int iValue = NiRand();
        ASSERT_GE(iValue, 0);
        ASSERT_LE(iValue, NI_RAND_MAX);
        ++aiHits[iValue % 11];
    }
    for (int iHits : aiHits)
        EXPECT_GT(iHits, 800);
}
