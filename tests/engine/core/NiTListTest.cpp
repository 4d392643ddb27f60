#include "engine/core/NiTList.h"

#include "engine/core/NiRefObject.h"
#include "engine/core/NiRefPtr.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{
class Item : public NiRefObject
{
public:
    explicit Item(int iId = 0, int* piDeaths = nullptr) : m_iId(iId), m_piDeaths(piDeaths) {}
    ~Item() override
    {
        if (m_piDeaths)
            ++*m_piDeaths;
    }
    int m_iId;

private:
    int* m_piDeaths;
};

template <class L>
std::vector<int> Forward(const L& kList)
{
    std::vector<int> kIds;
    for (NiListPos kPos = kList.GetHeadPos(); kPos; kPos = kList.GetNextPos(kPos))
        kIds.push_back(L::Get(kPos)->m_iId);
    return kIds;
}

template <class L>
std::vector<int> Backward(const L& kList)
{
    std::vector<int> kIds;
    for (NiListPos kPos = kList.GetTailPos(); kPos; kPos = kList.GetPrevPos(kPos))
        kIds.push_back(L::Get(kPos)->m_iId);
    return kIds;
}

class NiTListTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(NiListNodePool::GetNodesInUse(), 0u);
        NiListNodePool::FreeAll();
        for (int i = 0; i < 5; ++i)
            m_akItems[i].m_iId = i;
    }
    void TearDown() override
    {
        EXPECT_EQ(NiListNodePool::GetNodesInUse(), 0u) << "every node went back to the pool";
        NiListNodePool::FreeAll();
    }

    // Fills 0 1 2 3 4, built from both ends.
    void Fill(NiTList<Item>& kList)
    {
        kList.AddTail(&m_akItems[2]);
        kList.AddHead(&m_akItems[1]);
        kList.AddTail(&m_akItems[3]);
        kList.AddHead(&m_akItems[0]);
        EXPECT_EQ(kList.AddTail(&m_akItems[4]), 5u);
    }

    Item m_akItems[5];
};
} // namespace

TEST_F(NiTListTest, AddsAtBothEndsAndLinksBothWays)
{
    NiTList<Item> kList;
    EXPECT_TRUE(kList.IsEmpty());
    Fill(kList);
    EXPECT_EQ(kList.GetSize(), 5u);
    EXPECT_EQ(Forward(kList), (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(Backward(kList), (std::vector<int>{4, 3, 2, 1, 0}));
    EXPECT_EQ(kList.GetHead(), &m_akItems[0]);
    EXPECT_EQ(kList.GetTail(), &m_akItems[4]);
    EXPECT_EQ(NiListNodePool::GetNodesInUse(), 5u);
}

TEST_F(NiTListTest, RemovesAtHeadMiddleAndTail)
{
    NiTList<Item> kList;
    Fill(kList);

    EXPECT_EQ(kList.RemoveHead(), &m_akItems[0]);
    EXPECT_EQ(Forward(kList), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(Backward(kList), (std::vector<int>{4, 3, 2, 1}));

    EXPECT_EQ(kList.RemoveTail(), &m_akItems[4]);
    EXPECT_EQ(Forward(kList), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(Backward(kList), (std::vector<int>{3, 2, 1}));

    NiListPos kPos = kList.FindPos(&m_akItems[2]);
    EXPECT_EQ(kList.RemovePos(kPos), &m_akItems[2]);
    EXPECT_EQ(NiTList<Item>::Get(kPos), &m_akItems[3]) << "position moves to the following node";
    EXPECT_EQ(Forward(kList), (std::vector<int>{1, 3}));
    EXPECT_EQ(Backward(kList), (std::vector<int>{3, 1}));
    EXPECT_EQ(kList.GetSize(), 2u);
    EXPECT_EQ(NiListNodePool::GetNodesInUse(), 2u);

    // Removing the tail through a position leaves the position at the end.
    kPos = kList.GetTailPos();
    EXPECT_EQ(kList.RemovePos(kPos), &m_akItems[3]);
    EXPECT_EQ(kPos, nullptr);
    EXPECT_EQ(kList.GetHead(), &m_akItems[1]);
    EXPECT_EQ(kList.GetTail(), &m_akItems[1]);

    // The last node: head and tail both go.
    EXPECT_EQ(kList.RemoveHead(), &m_akItems[1]);
    EXPECT_TRUE(kList.IsEmpty());
    EXPECT_EQ(kList.GetHeadPos(), nullptr);
    EXPECT_EQ(kList.GetTailPos(), nullptr);

    // And the list is usable again.
    kList.AddTail(&m_akItems[4]);
    EXPECT_EQ(Forward(kList), (std::vector<int>{4}));
    EXPECT_EQ(Backward(kList), (std::vector<int>{4}));
}

TEST_F(NiTListTest, RemovingFromAnEmptyListGivesNullAndChangesNothing)
{
    NiTList<Item> kList;
    EXPECT_EQ(kList.RemoveHead(), nullptr);
    EXPECT_EQ(kList.RemoveTail(), nullptr);
    NiListPos kPos = nullptr;
    EXPECT_EQ(kList.RemovePos(kPos), nullptr);
    EXPECT_FALSE(kList.Remove(&m_akItems[0]));
    EXPECT_EQ(kList.GetSize(), 0u);
    EXPECT_EQ(kList.GetHeadPos(), nullptr);
    EXPECT_EQ(kList.GetTailPos(), nullptr);

    // Emptied by removals rather than never filled.
    kList.AddHead(&m_akItems[0]);
    EXPECT_EQ(kList.RemoveTail(), &m_akItems[0]);
    EXPECT_EQ(kList.RemoveTail(), nullptr);
    EXPECT_EQ(kList.RemoveHead(), nullptr);
    EXPECT_EQ(kList.GetSize(), 0u);
}

TEST_F(NiTListTest, RemoveTakesTheFirstMatchOnly)
{
    NiTList<Item> kList;
    kList.AddTail(&m_akItems[1]);
    kList.AddTail(&m_akItems[2]);
    kList.AddTail(&m_akItems[1]);
    EXPECT_TRUE(kList.Remove(&m_akItems[1]));
    EXPECT_EQ(Forward(kList), (std::vector<int>{2, 1}));
    EXPECT_FALSE(kList.Remove(&m_akItems[3]));
    kList.RemoveAll();
    EXPECT_TRUE(kList.IsEmpty());
    EXPECT_EQ(NiListNodePool::GetNodesInUse(), 0u);
}

TEST_F(NiTListTest, DestroyingAListReturnsItsNodes)
{
    {
        NiTList<Item> kList;
        Fill(kList);
        EXPECT_EQ(NiListNodePool::GetNodesInUse(), 5u);
    }
    EXPECT_EQ(NiListNodePool::GetNodesInUse(), 0u);
}

TEST_F(NiTListTest, RefListTakesOverAReferenceCountedForIt)
{
    int iDeaths = 0;
    Item* pkA = new Item(1, &iDeaths);
    Item* pkB = new Item(2, &iDeaths);
    {
        NiRefList<Item> kList;
        kList.AddTail(pkB);
        // The caller counts the list's reference itself: the list counts
        // nothing more, puts A first and lets go of it like any element.
        pkA->IncRefCount();
        EXPECT_EQ(kList.AddHeadCounted(pkA), 2u);
        EXPECT_EQ(pkA->GetRefCount(), 1u);
        NiListPos kPos = kList.GetHeadPos();
        EXPECT_EQ(NiRefList<Item>::GetNext(kPos), pkA);
        NiRefPtr<Item> spHead;
        ASSERT_TRUE(kList.RemoveHead(spHead));
        EXPECT_EQ(spHead.Get(), pkA);
        EXPECT_EQ(pkA->GetRefCount(), 1u) << "the caller's, the list's gone";
        spHead.Clear();
        EXPECT_EQ(iDeaths, 1);
        pkA = new Item(3, &iDeaths);
        pkA->IncRefCount();
        kList.AddHeadCounted(pkA);
    }
    EXPECT_EQ(iDeaths, 3) << "the list let go of both";
}

TEST_F(NiTListTest, RefListHoldsOneReferencePerNode)
{
    int iDeaths = 0;
    Item* pkA = new Item(1, &iDeaths);
    Item* pkB = new Item(2, &iDeaths);
    Item* pkC = new Item(3, &iDeaths);
    {
        NiRefList<Item> kList;
        kList.AddTail(pkA);
        kList.AddTail(pkB);
        kList.AddTail(pkC);
        kList.AddTail(pkA);
        EXPECT_EQ(pkA->GetRefCount(), 2u);
        EXPECT_EQ(pkB->GetRefCount(), 1u);

        // A removed element comes back holding the caller's reference.
        NiRefPtr<Item> spHead;
        ASSERT_TRUE(kList.RemoveHead(spHead));
        EXPECT_EQ(spHead.Get(), pkA);
        EXPECT_EQ(pkA->GetRefCount(), 2u);

        // The only reference was the list's: the caller's keeps it alive.
        NiListPos kPos = kList.GetHeadPos();
        NiRefPtr<Item> spMiddle;
        ASSERT_TRUE(kList.RemovePos(kPos, spMiddle));
        EXPECT_EQ(iDeaths, 0);
        EXPECT_EQ(spMiddle->GetRefCount(), 1u);
        spMiddle.Clear();
        EXPECT_EQ(iDeaths, 1) << "B had no other owner";

        EXPECT_TRUE(kList.Remove(pkC));
        EXPECT_EQ(iDeaths, 2);

        NiRefPtr<Item> spTail;
        ASSERT_TRUE(kList.RemoveTail(spTail));
        EXPECT_EQ(spTail.Get(), pkA);
        EXPECT_FALSE(kList.RemoveTail(spTail)) << "empty";
        EXPECT_FALSE(kList.RemoveHead(spTail));
        EXPECT_EQ(spTail.Get(), pkA) << "a failed removal leaves the out pointer alone";
        kList.AddHead(pkA);
        spTail.Clear();
        spHead.Clear();
        EXPECT_EQ(iDeaths, 2) << "the list still holds A";
    }
    EXPECT_EQ(iDeaths, 3) << "destroying the list released A";
}
