#include "engine/core/NiRecursiveLock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

TEST(NiRecursiveLock, NestedEntriesRecordOwnerAndDepth)
{
    NiRecursiveLock kLock;
    EXPECT_EQ(kLock.GetDepth(), 0u);
    EXPECT_EQ(kLock.GetOwner(), std::thread::id());
    {
        NiRecursiveLockGuard kOuter(kLock);
        EXPECT_EQ(kLock.GetOwner(), std::this_thread::get_id());
        EXPECT_EQ(kLock.GetDepth(), 1u);
        {
            NiRecursiveLockGuard kInner(kLock);
            EXPECT_EQ(kLock.GetDepth(), 2u);
        }
        EXPECT_EQ(kLock.GetDepth(), 1u);
        EXPECT_EQ(kLock.GetOwner(), std::this_thread::get_id()) << "still held by the outer entry";
    }
    EXPECT_EQ(kLock.GetDepth(), 0u);
    EXPECT_EQ(kLock.GetOwner(), std::thread::id());
}

TEST(NiRecursiveLock, ThreadsTakeTurns)
{
    NiRecursiveLock kLock;
    int iShared = 0; // deliberately not atomic: the lock alone protects it
    bool bOwnerWasMe = true;
    auto fnWork = [&] {
        for (int i = 0; i < 20000; ++i)
        {
            NiRecursiveLockGuard kGuard(kLock);
            NiRecursiveLockGuard kAgain(kLock);
            ++iShared;
            if (kLock.GetOwner() != std::this_thread::get_id() || kLock.GetDepth() != 2u)
                bOwnerWasMe = false;
        }
    };
    std::thread kA(fnWork);
    std::thread kB(fnWork);
    kA.join();
    kB.join();
    EXPECT_EQ(iShared, 40000);
    EXPECT_TRUE(bOwnerWasMe);
    EXPECT_EQ(kLock.GetDepth(), 0u);
}

TEST(NiRecursiveLock, TheSevenGlobalLocksAreDistinctAndStable)
{
    std::set<NiRecursiveLock*> kLocks = {&NiStreamLoadLock(), &NiListNodePoolLock(), &NiControllerLock(),
                                         &NiTextureListLock(), &NiPaletteLock(),      &NiBltSourceLock(),
                                         &NiGeometryDataLock()};
    EXPECT_EQ(kLocks.size(), 7u);
    EXPECT_EQ(&NiListNodePoolLock(), &NiListNodePoolLock());
}

TEST(NiRecursiveLockThreadsTest, OwnerAndDepthCanBeWatchedFromAnotherThread)
{
    // A watcher reads the records while the holder changes them; each read
    // must give a state the lock really passed through.
    NiRecursiveLock kLock;
    std::atomic<bool> bDone{false};
    std::thread::id kHolderId;
    std::thread kHolder([&] {
        for (int i = 0; i < 20000; ++i)
        {
            NiRecursiveLockGuard kGuard(kLock);
            NiRecursiveLockGuard kAgain(kLock);
        }
        bDone = true;
    });
    kHolderId = kHolder.get_id();
    std::uint32_t uiOddStates = 0;
    while (!bDone)
    {
        const std::uint32_t uiDepth = kLock.GetDepth();
        const std::thread::id kOwner = kLock.GetOwner();
        if (uiDepth > 2 || (kOwner != std::thread::id() && kOwner != kHolderId))
            ++uiOddStates;
    }
    kHolder.join();
    EXPECT_EQ(uiOddStates, 0u);
    EXPECT_EQ(kLock.GetDepth(), 0u);
    EXPECT_EQ(kLock.GetOwner(), std::thread::id());
}
