#include "engine/core/NiHashMap.h"

#include "engine/core/NiRefObject.h"
#include "engine/core/NiRefPtr.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace
{
// Pointer keys are only hashed and compared, never followed, so small
// integers stand in for them and place each key in a known bucket.
const int* Key(std::uintptr_t n)
{
    return reinterpret_cast<const int*>(n);
}

class Counted : public NiRefObject
{
public:
    explicit Counted(int* piDeaths) : m_piDeaths(piDeaths) {}
    ~Counted() override { ++*m_piDeaths; }
    NiRefPtr<Counted> m_spChild;

private:
    int* m_piDeaths;
};

template <class Map>
std::vector<std::uintptr_t> IterationKeys(const Map& kMap)
{
    std::vector<std::uintptr_t> kKeys;
    NiHashMapPos kPos = kMap.GetFirstPos();
    while (kPos)
    {
        int* pkKey = nullptr;
        int* pkVal = nullptr;
        kMap.GetNext(kPos, pkKey, pkVal);
        kKeys.push_back(reinterpret_cast<std::uintptr_t>(pkKey));
        SCOPED_TRACE(kKeys.back());
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(pkVal), reinterpret_cast<std::uintptr_t>(pkKey) + 1000);
    }
    return kKeys;
}

class NiHashMapTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(NiListNodePool::GetNodesInUse(), 0u);
        NiListNodePool::FreeAll();
    }
    void TearDown() override
    {
        EXPECT_EQ(NiListNodePool::GetNodesInUse(), 0u);
        NiListNodePool::FreeAll();
    }

    static void Put(NiTPointerMap<int, int>& kMap, std::uintptr_t n)
    {
        kMap.SetAt(Key(n), reinterpret_cast<int*>(n + 1000));
    }
};
} // namespace

TEST_F(NiHashMapTest, IteratesBucketByBucketNewestFirstInAChain)
{
    NiTPointerMap<int, int> kMap(37);
    // Buckets: 38, 1, 75 -> 1; 36 -> 36; 37 -> 0; 40 -> 3.
    for (std::uintptr_t n : {38u, 36u, 1u, 37u, 75u, 40u})
        Put(kMap, n);
    EXPECT_EQ(kMap.GetCount(), 6u);
    EXPECT_EQ(IterationKeys(kMap), (std::vector<std::uintptr_t>{37, 75, 1, 38, 40, 36}));

    // Out of the middle of a chain, then a whole bucket.
    EXPECT_TRUE(kMap.RemoveAt(Key(1)));
    EXPECT_EQ(IterationKeys(kMap), (std::vector<std::uintptr_t>{37, 75, 38, 40, 36}));
    EXPECT_TRUE(kMap.RemoveAt(Key(40)));
    EXPECT_FALSE(kMap.RemoveAt(Key(40)));
    EXPECT_EQ(IterationKeys(kMap), (std::vector<std::uintptr_t>{37, 75, 38, 36}));
    EXPECT_EQ(kMap.GetCount(), 4u);
    EXPECT_EQ(NiListNodePool::GetNodesInUse(), 4u) << "pooled nodes";

    // Re-setting a present key keeps its place in the chain.
    Put(kMap, 38);
    EXPECT_EQ(IterationKeys(kMap), (std::vector<std::uintptr_t>{37, 75, 38, 36}));
    EXPECT_EQ(kMap.GetCount(), 4u);
}

TEST_F(NiHashMapTest, IterationOfAnEmptyMapEndsAtOnce)
{
    NiTPointerMap<int, int> kMap(37);
    EXPECT_EQ(kMap.GetFirstPos(), nullptr);
    Put(kMap, 36); // only the last bucket
    EXPECT_EQ(IterationKeys(kMap), (std::vector<std::uintptr_t>{36}));
    kMap.RemoveAll();
    EXPECT_EQ(kMap.GetFirstPos(), nullptr);
    EXPECT_EQ(kMap.GetCount(), 0u);
    EXPECT_EQ(NiListNodePool::GetNodesInUse(), 0u);
}

TEST_F(NiHashMapTest, GetAtFindsOnlyPresentKeys)
{
    NiTPointerMap<int, int> kMap(37);
    Put(kMap, 5);
    Put(kMap, 42); // same bucket as 5
    int* pkVal = nullptr;
    ASSERT_TRUE(kMap.GetAt(Key(5), pkVal));
    EXPECT_EQ(pkVal, reinterpret_cast<int*>(1005));
    ASSERT_TRUE(kMap.GetAt(Key(42), pkVal));
    EXPECT_EQ(pkVal, reinterpret_cast<int*>(1042));
    pkVal = nullptr;
    EXPECT_FALSE(kMap.GetAt(Key(79), pkVal));
    EXPECT_EQ(pkVal, nullptr) << "a miss leaves the out value alone";
}

TEST_F(NiHashMapTest, FlagMapStoresEightBitFlags)
{
    NiTFlagMap<int> kFlags(37);
    kFlags.SetAt(Key(3), 1);
    kFlags.SetAt(Key(40), 255);
    std::uint8_t ucFlag = 0;
    ASSERT_TRUE(kFlags.GetAt(Key(3), ucFlag));
    EXPECT_EQ(ucFlag, 1u);
    ASSERT_TRUE(kFlags.GetAt(Key(40), ucFlag));
    EXPECT_EQ(ucFlag, 255u);
    EXPECT_FALSE(kFlags.GetAt(Key(4), ucFlag));
    EXPECT_TRUE(kFlags.RemoveAt(Key(3)));
    EXPECT_FALSE(kFlags.GetAt(Key(3), ucFlag));
    EXPECT_EQ(NiListNodePool::GetNodesInUse(), 1u);
}

TEST_F(NiHashMapTest, CountedMapReSetToItsOwnValueKeepsItAlive)
{
    int iDeaths = 0;
    NiStringRefMap<Counted> kMap;
    Counted* pkObject = new Counted(&iDeaths);
    kMap.SetAt("key", pkObject);
    EXPECT_EQ(pkObject->GetRefCount(), 1u);

    // The map holds the only reference: releasing before adding would free it.
    kMap.SetAt("key", pkObject);
    EXPECT_EQ(iDeaths, 0);
    EXPECT_EQ(pkObject->GetRefCount(), 1u);
    EXPECT_EQ(kMap.GetCount(), 1u);

    // The new value is kept alive only by the old one.
    Counted* pkChild = new Counted(&iDeaths);
    pkObject->m_spChild = pkChild;
    kMap.SetAt("key", pkChild);
    EXPECT_EQ(iDeaths, 1);
    EXPECT_EQ(pkChild->GetRefCount(), 1u);

    Counted* pkFound = nullptr;
    ASSERT_TRUE(kMap.GetAt("key", pkFound));
    EXPECT_EQ(pkFound, pkChild);

    EXPECT_TRUE(kMap.RemoveAt("key"));
    EXPECT_EQ(iDeaths, 2);
    EXPECT_EQ(kMap.GetCount(), 0u);
}

TEST_F(NiHashMapTest, CountedMapReleasesEveryValueWhenDestroyed)
{
    int iDeaths = 0;
    NiRefPtr<Counted> spKept = new Counted(&iDeaths);
    {
        NiStringRefMap<Counted> kMap;
        kMap.SetAt("a", new Counted(&iDeaths));
        kMap.SetAt("b", spKept);
        kMap.SetAt("c", nullptr);
        EXPECT_EQ(spKept->GetRefCount(), 2u);
        EXPECT_EQ(kMap.GetCount(), 3u);
    }
    EXPECT_EQ(iDeaths, 1);
    EXPECT_EQ(spKept->GetRefCount(), 1u);
}

TEST_F(NiHashMapTest, StringMapComparesTextAndOptionallyOwnsKeyCopies)
{
    int aiValues[2] = {};
    char acKey[] = "NiNode";
    NiStringHashMap<int> kBorrowing(59, false);
    NiStringHashMap<int> kOwning(59, true);
    kBorrowing.SetAt(acKey, &aiValues[0]);
    kOwning.SetAt(acKey, &aiValues[1]);

    int* pkVal = nullptr;
    EXPECT_TRUE(kBorrowing.GetAt("NiNode", pkVal));
    EXPECT_FALSE(kBorrowing.GetAt("ninode", pkVal)) << "case matters";
    EXPECT_FALSE(kBorrowing.GetAt("NiNod", pkVal));
    EXPECT_FALSE(kBorrowing.GetAt(nullptr, pkVal));

    NiHashMapPos kPos = kBorrowing.GetFirstPos();
    const char* pcKey = nullptr;
    kBorrowing.GetNext(kPos, pcKey, pkVal);
    EXPECT_EQ(pcKey, acKey) << "the borrowing map keeps the caller's pointer";
    kPos = kOwning.GetFirstPos();
    kOwning.GetNext(kPos, pcKey, pkVal);
    EXPECT_NE(pcKey, acKey);
    EXPECT_STREQ(pcKey, "NiNode");

    // The owning map no longer depends on the caller's buffer.
    acKey[0] = 'X';
    ASSERT_TRUE(kOwning.GetAt("NiNode", pkVal));
    EXPECT_EQ(pkVal, &aiValues[1]);

    // Re-setting replaces the value, keeps one entry (and one key copy).
    kOwning.SetAt("NiNode", &aiValues[0]);
    EXPECT_EQ(kOwning.GetCount(), 1u);
    ASSERT_TRUE(kOwning.GetAt("NiNode", pkVal));
    EXPECT_EQ(pkVal, &aiValues[0]);
}

TEST_F(NiHashMapTest, StringHashPlacesNamesInTheirBuckets)
{
    // 59 buckets, h = h * 33 + signed byte. Single digits sit in the buckets
    // of their codes (49, 51, 53, 55, 57), so the iteration order pins
    // "\xFF" to 50, "NiNode" to 54 and "NiExtraData" to 58.
    int iValue = 0;
    NiStringHashMap<int> kMap(59, false);
    for (const char* pcKey : {"NiExtraData", "9", "7", "NiNode", "5", "3", "\xFF", "1"})
        kMap.SetAt(pcKey, &iValue);

    std::vector<std::string> kOrder;
    NiHashMapPos kPos = kMap.GetFirstPos();
    while (kPos)
    {
        const char* pcKey = nullptr;
        int* pkVal = nullptr;
        kMap.GetNext(kPos, pcKey, pkVal);
        kOrder.emplace_back(pcKey);
    }
    EXPECT_EQ(kOrder, (std::vector<std::string>{"1", "\xFF", "3", "5", "NiNode", "7", "9", "NiExtraData"}));
}
