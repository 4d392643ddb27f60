#include "engine/core/NiRefObject.h"

#include "engine/core/NiInstanceList.h"
#include "engine/core/NiRefPtr.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace
{
// Counts its own destructions so a test can tell "deleted" from "leaked"
// without touching freed memory.
class Tracked : public NiRefObject
{
public:
    explicit Tracked(int* piDeaths = nullptr) : m_piDeaths(piDeaths) {}
    ~Tracked() override
    {
        if (m_piDeaths)
            ++*m_piDeaths;
    }

    NiRefPtr<Tracked> m_spChild;

private:
    int* m_piDeaths;
};

using TrackedPtr = NiRefPtr<Tracked>;

// The live count is process-wide and other suites may hold objects: every
// assertion is on the change since SetUp.
class NiRefObjectTest : public ::testing::Test
{
protected:
    void SetUp() override { m_uiLiveAtStart = NiRefObject::GetTotalObjectCount(); }
    void TearDown() override { EXPECT_EQ(NiRefObject::GetTotalObjectCount(), m_uiLiveAtStart); }

    [[nodiscard]] std::uint32_t LiveSinceSetUp() const { return NiRefObject::GetTotalObjectCount() - m_uiLiveAtStart; }

    std::uint32_t m_uiLiveAtStart = 0;
};
} // namespace

TEST_F(NiRefObjectTest, CountStartsAtZeroAndLiveCountFollowsConstruction)
{
    Tracked* pkObject = new Tracked;
    EXPECT_EQ(pkObject->GetRefCount(), 0u);
    EXPECT_EQ(LiveSinceSetUp(), 1u);
    {
        Tracked kOnStack;
        EXPECT_EQ(LiveSinceSetUp(), 2u);
    }
    EXPECT_EQ(LiveSinceSetUp(), 1u);
    pkObject->IncRefCount();
    pkObject->DecRefCount(); // last reference: deleted through the virtual destructor
    EXPECT_EQ(LiveSinceSetUp(), 0u);
}

TEST_F(NiRefObjectTest, AFirstReferenceIsOneAndOnAHeldObjectAddsOne)
{
    NiRefPtr<Tracked> spFresh = NiRefPtr<Tracked>::Adopt([] {
        auto* pk = new Tracked;
        pk->IncRefCountFirst();
        return pk;
    }());
    EXPECT_EQ(spFresh->GetRefCount(), 1u);
    // An object someone holds already (a create function may hand out a
    // shared one) keeps that reference too.
    spFresh->IncRefCountFirst();
    EXPECT_EQ(spFresh->GetRefCount(), 2u);
    spFresh->DecRefCount();
    EXPECT_EQ(LiveSinceSetUp(), 1u);
    spFresh.Clear();
    EXPECT_EQ(LiveSinceSetUp(), 0u);
}

TEST_F(NiRefObjectTest, LastReleaseDeletesOnceAndNotBefore)
{
    int iDeaths = 0;
    Tracked* pkObject = new Tracked(&iDeaths);
    {
        TrackedPtr spA = pkObject;
        TrackedPtr spB = spA;
        EXPECT_EQ(pkObject->GetRefCount(), 2u);
        spA.Clear();
        EXPECT_FALSE(spA);
        EXPECT_EQ(iDeaths, 0);
        EXPECT_EQ(pkObject->GetRefCount(), 1u);
    }
    EXPECT_EQ(iDeaths, 1);
    EXPECT_EQ(LiveSinceSetUp(), 0u);
}

TEST_F(NiRefObjectTest, AssigningTheHeldPointerKeepsTheSoleReference)
{
    int iDeaths = 0;
    TrackedPtr sp = new Tracked(&iDeaths);
    Tracked* pkRaw = sp;

    sp = pkRaw;
    EXPECT_EQ(iDeaths, 0);
    EXPECT_EQ(sp->GetRefCount(), 1u);

    TrackedPtr& spAlias = sp;
    sp = spAlias; // the same smart pointer, as sole reference
    EXPECT_EQ(iDeaths, 0);
    EXPECT_EQ(sp.Get(), pkRaw);
    EXPECT_EQ(sp->GetRefCount(), 1u);

    sp = std::move(spAlias);
    EXPECT_EQ(iDeaths, 0);
    EXPECT_EQ(sp.Get(), pkRaw);
    EXPECT_EQ(sp->GetRefCount(), 1u);
}

TEST_F(NiRefObjectTest, AssigningAnObjectOwnedOnlyByTheOldOneKeepsIt)
{
    // ASan catches the old order (release first, then add): the new object
    // would be freed with its owner before it got its reference.
    int iDeaths = 0;
    TrackedPtr sp = new Tracked(&iDeaths);
    sp->m_spChild = new Tracked(&iDeaths);
    Tracked* pkChild = sp->m_spChild;

    sp = sp->m_spChild;
    EXPECT_EQ(iDeaths, 1);
    ASSERT_EQ(sp.Get(), pkChild);
    EXPECT_EQ(pkChild->GetRefCount(), 1u);

    // Same chain through a raw pointer and through a move.
    sp->m_spChild = new Tracked(&iDeaths);
    sp = sp->m_spChild.Get();
    EXPECT_EQ(iDeaths, 2);
    EXPECT_EQ(sp->GetRefCount(), 1u);

    sp->m_spChild = new Tracked(&iDeaths);
    sp = std::move(sp->m_spChild);
    EXPECT_EQ(iDeaths, 3);
    EXPECT_EQ(sp->GetRefCount(), 1u);

    sp = nullptr;
    EXPECT_EQ(iDeaths, 4);
}

TEST_F(NiRefObjectTest, CopyMoveAndConversionKeepCountsBalanced)
{
    int iDeaths = 0;
    TrackedPtr spA = new Tracked(&iDeaths);
    TrackedPtr spB = new Tracked(&iDeaths);
    Tracked* pkA = spA;

    spB = spA; // B's object had one reference: gone
    EXPECT_EQ(iDeaths, 1);
    EXPECT_EQ(pkA->GetRefCount(), 2u);

    TrackedPtr spC = std::move(spA);
    EXPECT_FALSE(spA);
    EXPECT_EQ(pkA->GetRefCount(), 2u);

    NiRefPtr<NiRefObject> spBase = spC; // derived to base adds a reference
    EXPECT_EQ(pkA->GetRefCount(), 3u);

    spC = std::move(spB); // moving in the object it already holds
    EXPECT_EQ(pkA->GetRefCount(), 2u);
    spBase.Clear();
    spBase.Clear(); // clearing an empty pointer is harmless
    spC.Clear();
    EXPECT_EQ(iDeaths, 2);
}

TEST_F(NiRefObjectTest, NullPointersAreAllowedEverywhere)
{
    TrackedPtr sp;
    TrackedPtr spNull(nullptr);
    EXPECT_FALSE(sp);
    EXPECT_EQ(sp.Get(), nullptr);
    sp = spNull;
    sp = static_cast<Tracked*>(nullptr);
    sp.Clear();
    EXPECT_FALSE(sp);
    EXPECT_EQ(LiveSinceSetUp(), 0u);
}

TEST_F(NiRefObjectTest, CountsStayExactUnderConcurrentUse)
{
    int iDeaths = 0;
    TrackedPtr spShared = new Tracked(&iDeaths);
    auto fnWork = [&spShared] {
        for (int i = 0; i < 20000; ++i)
        {
            TrackedPtr spCopy = spShared;    // shared object: count up and down
            TrackedPtr spOwn = new Tracked;  // own objects: live count up and down
            spOwn = spCopy;
        }
    };
    std::vector<std::thread> kThreads;
    for (int t = 0; t < 4; ++t)
        kThreads.emplace_back(fnWork);
    for (std::thread& kThread : kThreads)
        kThread.join();
    EXPECT_EQ(spShared->GetRefCount(), 1u);
    EXPECT_EQ(iDeaths, 0);
    EXPECT_EQ(LiveSinceSetUp(), 1u);
    spShared.Clear();
    EXPECT_EQ(iDeaths, 1);
}

namespace
{
// Tries to take itself when its last reference went, as a search of a list
// that still holds it would, then deletes itself.
class Dying : public Tracked
{
public:
    Dying(int* piDeaths, int* piTakenWhileDying) : Tracked(piDeaths), m_piTakenWhileDying(piTakenWhileDying) {}

protected:
    void DeleteThis() override
    {
        *m_piTakenWhileDying = TryIncRefCount() ? 1 : 0;
        delete this;
    }

private:
    int* m_piTakenWhileDying;
};
} // namespace

TEST_F(NiRefObjectTest, TryIncRefCountTakesOnlyAnObjectThatStillHasAnOwner)
{
    int iDeaths = 0;
    auto* pkFresh = new Tracked(&iDeaths);
    EXPECT_FALSE(pkFresh->TryIncRefCount()) << "count 0";
    EXPECT_EQ(pkFresh->GetRefCount(), 0u);
    TrackedPtr sp = pkFresh;
    EXPECT_TRUE(sp->TryIncRefCount());
    EXPECT_EQ(sp->GetRefCount(), 2u);
    sp->DecRefCount();
    sp.Clear();
    EXPECT_EQ(iDeaths, 1);

    int iTakenWhileDying = -1;
    NiRefPtr<Dying> spDying = new Dying(&iDeaths, &iTakenWhileDying);
    spDying.Clear();
    EXPECT_EQ(iTakenWhileDying, 0) << "a dying object cannot be taken again";
    EXPECT_EQ(iDeaths, 2) << "deleted once, by its own hook";
}

TEST_F(NiRefObjectTest, PrivateCountsMatchTheLockedOnes)
{
    int iDeaths = 0;
    auto* pk = new Tracked(&iDeaths);
    pk->IncRefCountPrivate();
    pk->IncRefCountPrivate();
    pk->IncRefCount();
    EXPECT_EQ(pk->GetRefCount(), 3u);
    pk->DecRefCountPrivate();
    pk->DecRefCount();
    EXPECT_EQ(pk->GetRefCount(), 1u);
    EXPECT_EQ(iDeaths, 0);
    pk->DecRefCountPrivate();
    EXPECT_EQ(iDeaths, 1) << "the last reference deletes";
    EXPECT_EQ(LiveSinceSetUp(), 0u);

    TrackedPtr sp = new Tracked(&iDeaths);
    Tracked* pkHeld = sp.Detach();
    EXPECT_EQ(sp, nullptr);
    EXPECT_EQ(pkHeld->GetRefCount(), 1u) << "the reference went with the pointer";
    sp = TrackedPtr::Adopt(pkHeld);
    sp.Clear();
    EXPECT_EQ(iDeaths, 2);
}

namespace
{
// An object on a process-wide list, as textures are: searches on other
// threads take it (TryIncRefCount under the list's lock) while its owner
// lets go of it.
std::mutex s_kListMutex;
std::atomic<int> s_iListedDeaths{0};
class Listed;
Listed* s_pkListHead = nullptr;
Listed* s_pkListTail = nullptr;
class Listed : public NiRefObject
{
public:
    Listed()
    {
        std::lock_guard<std::mutex> kLock(s_kListMutex);
        NiInstanceListAppend(s_pkListHead, s_pkListTail, this, &Listed::m_pkPrev, &Listed::m_pkNext);
    }
    ~Listed() override { s_iListedDeaths.fetch_add(1); }
    Listed* m_pkPrev = nullptr;
    Listed* m_pkNext = nullptr;

protected:
    void DeleteThis() override
    {
        {
            std::lock_guard<std::mutex> kLock(s_kListMutex);
            NiInstanceListRemove(s_pkListHead, s_pkListTail, this, &Listed::m_pkPrev, &Listed::m_pkNext);
        }
        delete this;
    }
};
} // namespace

TEST(NiRefObjectThreadsTest, AListedObjectTakenWhileItsOwnerLetsGoDiesOnceAfterTheLast)
{
    const std::uint32_t uiLive = NiRefObject::GetTotalObjectCount();
    s_iListedDeaths = 0;
    constexpr int OBJECTS = 20000;
    std::atomic<bool> bDone{false};
    std::atomic<int> iTaken{0};
    auto fnSearch = [&] {
        while (!bDone.load())
        {
            NiRefPtr<Listed> sp;
            {
                std::lock_guard<std::mutex> kLock(s_kListMutex);
                sp = NiInstanceListFind(s_pkListHead, &Listed::m_pkNext, [](const Listed&) { return true; });
            }
            if (sp != nullptr)
            {
                iTaken.fetch_add(1);
                NiRefPtr<Listed> spCopy = sp; // counted up and down beside the owner
            }
        }
    };
    std::vector<std::thread> kSearches;
    for (int t = 0; t < 2; ++t)
        kSearches.emplace_back(fnSearch);
    // The owner keeps the last few objects and lets go of the oldest, the
    // one the searches find first: its reference is often the last one it
    // sees while a search takes the object at the same moment.
    std::vector<NiRefPtr<Listed>> kRing(16);
    for (int i = 0; i < OBJECTS; ++i)
        kRing[static_cast<std::size_t>(i) % kRing.size()] = new Listed;
    kRing.clear();
    bDone = true;
    for (std::thread& kThread : kSearches)
        kThread.join();
    EXPECT_EQ(s_iListedDeaths.load(), OBJECTS) << "every object died, and died once";
    EXPECT_EQ(s_pkListHead, nullptr);
    EXPECT_EQ(NiRefObject::GetTotalObjectCount(), uiLive);
    std::printf("the searches took an object %d times (%d objects)\n", iTaken.load(), OBJECTS);
}
