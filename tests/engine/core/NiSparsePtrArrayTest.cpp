#include "engine/core/NiSparsePtrArray.h"

#include <gtest/gtest.h>

namespace
{
int g_aiValues[8];
int* P(int i)
{
    return &g_aiValues[i];
}
} // namespace

TEST(NiSparsePtrArray, SetAtKeepsSizeAndNonNullCount)
{
    NiSparsePtrArray<int*> kArray(4);
    EXPECT_EQ(kArray.GetCapacity(), 4u);
    EXPECT_EQ(kArray.GetSize(), 0u);

    kArray.SetAt(2, P(2));
    EXPECT_EQ(kArray.GetSize(), 3u) << "one past the highest index stored";
    EXPECT_EQ(kArray.GetEffectiveSize(), 1u);
    kArray.SetAt(0, P(0));
    EXPECT_EQ(kArray.GetSize(), 3u);
    EXPECT_EQ(kArray.GetEffectiveSize(), 2u);

    kArray.SetAt(2, P(5)); // non-null over non-null
    EXPECT_EQ(kArray.GetEffectiveSize(), 2u);
    kArray.SetAt(2, nullptr); // null over non-null
    EXPECT_EQ(kArray.GetEffectiveSize(), 1u);
    EXPECT_EQ(kArray.GetSize(), 3u) << "clearing does not shrink the size";
    kArray.SetAt(1, nullptr); // null over null
    EXPECT_EQ(kArray.GetEffectiveSize(), 1u);

    // At and beyond the capacity: ignored.
    kArray.SetAt(4, P(4));
    kArray.SetAt(100, P(4));
    EXPECT_EQ(kArray.GetCapacity(), 4u);
    EXPECT_EQ(kArray.GetSize(), 3u);
    EXPECT_EQ(kArray.GetEffectiveSize(), 1u);
    EXPECT_EQ(kArray.GetAt(4), nullptr);
}

TEST(NiSparsePtrArray, AddTailGrowsByTheGrowStep)
{
    NiSparsePtrArray<int*> kArray(0, 3);
    EXPECT_EQ(kArray.AddTail(P(0)), 0u);
    EXPECT_EQ(kArray.GetCapacity(), 3u);
    kArray.AddTail(nullptr);
    EXPECT_EQ(kArray.AddTail(P(2)), 2u);
    EXPECT_EQ(kArray.GetCapacity(), 3u);
    EXPECT_EQ(kArray.AddTail(P(3)), 3u);
    EXPECT_EQ(kArray.GetCapacity(), 6u);
    EXPECT_EQ(kArray.GetSize(), 4u);
    EXPECT_EQ(kArray.GetEffectiveSize(), 3u);
    EXPECT_EQ(kArray.GetAt(0), P(0));
    EXPECT_EQ(kArray.GetAt(1), nullptr);
    EXPECT_EQ(kArray.GetAt(3), P(3));
}

TEST(NiSparsePtrArray, AddFirstEmptyFillsTheFirstHoleElseAppends)
{
    NiSparsePtrArray<int*> kArray(0, 2);
    kArray.AddTail(P(0));
    kArray.AddTail(P(1));
    kArray.AddTail(P(2));
    kArray.SetAt(1, nullptr);
    kArray.SetAt(0, nullptr);
    EXPECT_EQ(kArray.AddFirstEmpty(P(5)), 0u);
    EXPECT_EQ(kArray.AddFirstEmpty(P(6)), 1u);
    EXPECT_EQ(kArray.AddFirstEmpty(P(7)), 3u);
    EXPECT_EQ(kArray.GetSize(), 4u);
    EXPECT_EQ(kArray.GetEffectiveSize(), 4u);
    EXPECT_EQ(kArray.GetAt(2), P(2));
}

TEST(NiSparsePtrArray, ShrinkingTheCapacityCutsSizeAndNonNullCount)
{
    NiSparsePtrArray<int*> kArray(6);
    for (std::uint32_t i = 0; i < 6; ++i)
        kArray.SetAt(i, (i % 2) ? P(static_cast<int>(i)) : nullptr); // 1, 3, 5 set
    EXPECT_EQ(kArray.GetEffectiveSize(), 3u);

    kArray.SetCapacity(4);
    EXPECT_EQ(kArray.GetCapacity(), 4u);
    EXPECT_EQ(kArray.GetSize(), 4u);
    EXPECT_EQ(kArray.GetEffectiveSize(), 2u);
    EXPECT_EQ(kArray.GetAt(1), P(1));
    EXPECT_EQ(kArray.GetAt(3), P(3));

    kArray.SetCapacity(8); // growing keeps everything, new entries null
    EXPECT_EQ(kArray.GetSize(), 4u);
    EXPECT_EQ(kArray.GetEffectiveSize(), 2u);
    EXPECT_EQ(kArray.GetAt(5), nullptr);
    EXPECT_EQ(kArray.GetAt(3), P(3));

    kArray.SetCapacity(1);
    EXPECT_EQ(kArray.GetSize(), 1u);
    EXPECT_EQ(kArray.GetEffectiveSize(), 0u);

    kArray.SetCapacity(0);
    EXPECT_EQ(kArray.GetCapacity(), 0u);
    EXPECT_EQ(kArray.GetSize(), 0u);
    EXPECT_EQ(kArray.GetEffectiveSize(), 0u);
    EXPECT_EQ(kArray.GetAt(0), nullptr);
    EXPECT_EQ(kArray.AddTail(P(1)), 0u) << "usable again after being emptied";
}

TEST(NiSparsePtrArray, RemoveAtClearsAndShrinksOnlyFromTheEnd)
{
    NiSparsePtrArray<int*> kArray(0, 4);
    kArray.AddTail(P(0));
    kArray.AddTail(P(1));
    kArray.AddTail(P(2));
    EXPECT_EQ(kArray.RemoveAt(1), P(1));
    EXPECT_EQ(kArray.GetSize(), 3u);
    EXPECT_EQ(kArray.GetEffectiveSize(), 2u);
    EXPECT_EQ(kArray.RemoveAt(2), P(2));
    EXPECT_EQ(kArray.GetSize(), 2u);
    EXPECT_EQ(kArray.RemoveAt(7), nullptr);
    kArray.RemoveAll();
    EXPECT_EQ(kArray.GetSize(), 0u);
    EXPECT_EQ(kArray.GetEffectiveSize(), 0u);
    EXPECT_EQ(kArray.GetCapacity(), 4u);
    EXPECT_EQ(kArray.GetAt(0), nullptr);
}
