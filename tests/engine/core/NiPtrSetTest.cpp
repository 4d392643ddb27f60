#include "engine/core/NiPtrSet.h"

#include <gtest/gtest.h>

namespace
{
int g_aiValues[8];
int* P(int i)
{
    return &g_aiValues[i];
}
} // namespace

TEST(NiPtrSet, AddUniqueDoublesFromOneAndFindsDuplicates)
{
    NiPtrSet<int*> kSet;
    EXPECT_EQ(kSet.GetCapacity(), 0u);
    const std::uint32_t auiCapacities[] = {1, 2, 4, 4, 8};
    for (int i = 0; i < 5; ++i)
    {
        SCOPED_TRACE(i);
        EXPECT_EQ(kSet.AddUnique(P(i)), static_cast<std::uint32_t>(i));
        EXPECT_EQ(kSet.GetCapacity(), auiCapacities[i]);
    }
    // A pointer already present: its index, no growth.
    EXPECT_EQ(kSet.AddUnique(P(2)), 2u);
    EXPECT_EQ(kSet.AddUnique(P(0)), 0u);
    EXPECT_EQ(kSet.GetSize(), 5u);
    EXPECT_EQ(kSet.GetCapacity(), 8u);
    EXPECT_EQ(kSet.Find(P(4)), 4);
    EXPECT_EQ(kSet.Find(P(7)), -1);
}

TEST(NiPtrSet, ReallocBelowTheCountKeepsTheFirstEntriesAndLowersTheCount)
{
    NiPtrSet<int*> kSet;
    for (int i = 0; i < 5; ++i)
        kSet.AddUnique(P(i));

    kSet.Realloc(3);
    EXPECT_EQ(kSet.GetCapacity(), 3u);
    ASSERT_EQ(kSet.GetSize(), 3u);
    for (int i = 0; i < 3; ++i)
    {
        SCOPED_TRACE(i);
        EXPECT_EQ(kSet.GetAt(static_cast<std::uint32_t>(i)), P(i));
    }
    EXPECT_EQ(kSet.Find(P(3)), -1);
    // The dropped pointer can come back, at the end; ASan checks the
    // doubled storage.
    EXPECT_EQ(kSet.AddUnique(P(4)), 3u);
    EXPECT_EQ(kSet.GetCapacity(), 6u);

    kSet.Realloc(10); // above the count: all kept
    EXPECT_EQ(kSet.GetSize(), 4u);
    EXPECT_EQ(kSet.GetAt(3), P(4));

    kSet.Realloc(0);
    EXPECT_EQ(kSet.GetSize(), 0u);
    EXPECT_EQ(kSet.GetCapacity(), 0u);
    EXPECT_EQ(kSet.AddUnique(P(1)), 0u);
    EXPECT_EQ(kSet.GetCapacity(), 1u);
}
