#include "engine/core/NiLoadArena.h"

#include "engine/core/NiRefObject.h"
#include "engine/core/NiRefPtr.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace
{
class Piece : public NiRefObject
{
public:
    std::uint64_t m_aui[6] = {1, 2, 3, 4, 5, 6};
};

// An object owning a text and holding others, as a loaded node does.
class Holder : public NiRefObject
{
public:
    explicit Holder(const char* pcName) : m_pcName(NiArenaStrDup(pcName)) {}
    ~Holder() override { NiLoadArena::Free(m_pcName); }
    char* m_pcName;
    std::vector<NiRefPtr<NiRefObject>> m_kHeld;
};

TEST(NiLoadArena, PiecesComeFromTheActiveArenaAndTheHeapOtherwise)
{
    void* pvHeap = NiLoadArena::Allocate(24);
    EXPECT_EQ(NiLoadArena::GetOwner(pvHeap), nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(pvHeap) % NiLoadArena::ALIGNMENT, 0u);

    NiLoadArena* pkArena = NiLoadArena::Create(4096);
    std::vector<void*> kPieces;
    {
        NiLoadArena::Scope kScope(pkArena);
        EXPECT_EQ(NiLoadArena::GetActive(), pkArena);
        for (std::size_t n : {1u, 15u, 16u, 17u, 100u})
        {
            kPieces.push_back(NiLoadArena::Allocate(n));
            EXPECT_EQ(NiLoadArena::GetOwner(kPieces.back()), pkArena);
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(kPieces.back()) % NiLoadArena::ALIGNMENT, 0u);
            std::memset(kPieces.back(), 0xAB, n);
        }
        {
            // A scope without an arena: the heap again, then back.
            NiLoadArena::Scope kHeap(nullptr);
            void* pv = NiLoadArena::Allocate(8);
            EXPECT_EQ(NiLoadArena::GetOwner(pv), nullptr);
            NiLoadArena::Free(pv);
        }
        EXPECT_EQ(NiLoadArena::GetActive(), pkArena);
        // Engine objects and texts follow the same rule.
        NiRefPtr<Piece> sp = new Piece;
        EXPECT_EQ(NiLoadArena::GetOwner(sp.Get()), pkArena);
        char* pc = NiArenaStrDup("name");
        EXPECT_EQ(NiLoadArena::GetOwner(pc), pkArena);
        EXPECT_STREQ(pc, "name");
        NiLoadArena::Free(pc);
    }
    EXPECT_EQ(NiLoadArena::GetActive(), nullptr);
    // The five pieces and the creator's reference.
    EXPECT_EQ(pkArena->GetLiveCount(), 6u);
    pkArena->Release();
    for (std::size_t i = 0; i + 1 < kPieces.size(); ++i)
        NiLoadArena::Free(kPieces[i]);
    EXPECT_EQ(pkArena->GetLiveCount(), 1u);
    // The last piece frees the arena (the leak checker sees it go).
    NiLoadArena::Free(kPieces.back());
    NiLoadArena::Free(pvHeap);
    NiLoadArena::Free(nullptr);
}

TEST(NiLoadArena, BlocksGrowAndTakePiecesLargerThanABlock)
{
    NiLoadArena* pkArena = NiLoadArena::Create(4096);
    std::vector<void*> kPieces;
    {
        NiLoadArena::Scope kScope(pkArena);
        for (int i = 0; i < 100; ++i)
            kPieces.push_back(NiLoadArena::Allocate(200));
        EXPECT_GT(pkArena->GetBlockCount(), 1u);
        std::uint32_t uiBefore = pkArena->GetBlockCount();
        kPieces.push_back(NiLoadArena::Allocate(1 << 20));
        std::memset(kPieces.back(), 0, 1 << 20);
        EXPECT_EQ(pkArena->GetBlockCount(), uiBefore + 1);
    }
    pkArena->Release();
    for (void* pv : kPieces)
        NiLoadArena::Free(pv);
}

TEST(NiLoadArena, ObjectsAndDataFillEachBlockFromOppositeEnds)
{
    // A first block size that is no multiple of the alignment.
    NiLoadArena* pkArena = NiLoadArena::Create(4100);
    std::vector<std::pair<void*, std::size_t>> kPieces;
    {
        NiLoadArena::Scope kScope(pkArena);
        auto* pucObject = static_cast<std::uint8_t*>(NiLoadArena::Allocate(40));
        auto* pucData = static_cast<std::uint8_t*>(NiLoadArena::AllocateData(5));
        auto* pucObject2 = static_cast<std::uint8_t*>(NiLoadArena::Allocate(24));
        auto* pucData2 = static_cast<std::uint8_t*>(NiLoadArena::AllocateData(33));
        EXPECT_LT(pucObject, pucObject2);
        EXPECT_LT(pucData2, pucData);
        EXPECT_LT(pucObject2, pucData2);
        kPieces = {{pucObject, 40}, {pucData, 5}, {pucObject2, 24}, {pucData2, 33}};
        // Texts and plain arrays are data; arrays of pointers lie with the
        // objects.
        char* pcText = NiArenaStrDup("text");
        auto* piPlain = NiArenaNewArray<std::int32_t>(3);
        auto** ppvPointers = NiArenaNewArray<void*>(3);
        EXPECT_LT(reinterpret_cast<std::uint8_t*>(pcText), pucData2);
        EXPECT_LT(reinterpret_cast<std::uint8_t*>(piPlain), reinterpret_cast<std::uint8_t*>(pcText));
        EXPECT_LT(reinterpret_cast<std::uint8_t*>(ppvPointers), reinterpret_cast<std::uint8_t*>(piPlain));
        EXPECT_GT(reinterpret_cast<std::uint8_t*>(ppvPointers), pucObject2);
        kPieces.insert(kPieces.end(), {{pcText, 5}, {piPlain, 12}, {ppvPointers, 24}});
        // Either end running into the other takes a new block.
        EXPECT_EQ(pkArena->GetBlockCount(), 1u);
        for (int i = 0; i < 120; ++i)
        {
            std::size_t uiBytes = 1 + static_cast<std::size_t>(i % 7) * 9;
            void* pv = i % 3 == 0 ? NiLoadArena::Allocate(uiBytes) : NiLoadArena::AllocateData(uiBytes);
            kPieces.emplace_back(pv, uiBytes);
        }
        EXPECT_GT(pkArena->GetBlockCount(), 1u);
    }
    // Every piece aligned, owned and apart from every other.
    for (std::size_t i = 0; i < kPieces.size(); ++i)
    {
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(kPieces[i].first) % NiLoadArena::ALIGNMENT, 0u);
        EXPECT_EQ(NiLoadArena::GetOwner(kPieces[i].first), pkArena);
        std::memset(kPieces[i].first, static_cast<int>(i & 0xFF), kPieces[i].second);
    }
    for (std::size_t i = 0; i < kPieces.size(); ++i)
    {
        const auto* puc = static_cast<const std::uint8_t*>(kPieces[i].first);
        for (std::size_t j = 0; j < kPieces[i].second; ++j)
            ASSERT_EQ(puc[j], i & 0xFF) << "piece " << i;
    }
    EXPECT_EQ(pkArena->GetLiveCount(), kPieces.size() + 1);
    pkArena->Release();
    {
        // Data pieces are known by their address in a batch as objects are.
        NiLoadArena::FreeBatch kBatch;
        for (std::size_t i = 0; i + 1 < kPieces.size(); ++i)
            NiLoadArena::Free(kPieces[i].first);
    }
    EXPECT_EQ(pkArena->GetLiveCount(), 1u);
    NiLoadArena::Free(kPieces.back().first);
}

TEST(NiLoadArena, PiecesMayDieOnAnotherThread)
{
    NiLoadArena* pkArena = NiLoadArena::Create(4096);
    std::vector<NiRefPtr<Piece>> kPieces;
    {
        NiLoadArena::Scope kScope(pkArena);
        for (int i = 0; i < 1000; ++i)
            kPieces.emplace_back(new Piece);
    }
    pkArena->Release();
    std::vector<std::thread> kThreads;
    for (int t = 0; t < 4; ++t)
    {
        kThreads.emplace_back([&kPieces, t] {
            for (std::size_t i = static_cast<std::size_t>(t); i < kPieces.size(); i += 4)
                kPieces[i].Clear();
        });
    }
    for (std::thread& k : kThreads)
        k.join();
}

TEST(NiLoadArena, APieceFreedElsewhereWhileTheLoadRunsKeepsTheArena)
{
    // A load's shared textures reach other threads before it ends.
    NiLoadArena* pkArena = NiLoadArena::Create(4096);
    {
        NiLoadArena::Scope kScope(pkArena);
        void* pvShared = NiLoadArena::Allocate(32);
        void* pvOwn = NiLoadArena::Allocate(32);
        std::thread([pvShared] { NiLoadArena::Free(pvShared); }).join();
        void* pvLater = NiLoadArena::Allocate(32);
        EXPECT_EQ(NiLoadArena::GetOwner(pvLater), pkArena);
        EXPECT_EQ(pkArena->GetLiveCount(), 3u); // two pieces and the creator's hold
        NiLoadArena::Free(pvOwn);
        NiLoadArena::Free(pvLater);
    }
    EXPECT_EQ(pkArena->GetLiveCount(), 1u);
    pkArena->Release();
}

TEST(NiLoadArena, ABatchCountsItsFreesWhenTheOutermostBatchCloses)
{
    NiLoadArena* pkA = NiLoadArena::Create(4096);
    NiLoadArena* pkB = NiLoadArena::Create(4096);
    std::vector<void*> kA, kB;
    {
        NiLoadArena::Scope kScope(pkA);
        for (int i = 0; i < 6; ++i)
            kA.push_back(NiLoadArena::Allocate(40));
    }
    {
        NiLoadArena::Scope kScope(pkB);
        for (int i = 0; i < 4; ++i)
            kB.push_back(NiLoadArena::Allocate(40));
    }
    // The first arena grows a second block: its pieces are known in both.
    {
        NiLoadArena::Scope kScope(pkA);
        kA.push_back(NiLoadArena::Allocate(8000));
        EXPECT_EQ(pkA->GetBlockCount(), 2u);
    }
    void* pvHeap = NiLoadArena::Allocate(40);
    {
        NiLoadArena::FreeBatch kOuter;
        NiLoadArena::Free(kA[0]);
        NiLoadArena::Free(kA[6]);
        NiLoadArena::Free(pvHeap); // heap pieces go at once
        NiLoadArena::Free(kB[0]);  // another arena: the first run is counted
        EXPECT_EQ(pkA->GetLiveCount(), 6u);
        {
            NiLoadArena::FreeBatch kInner;
            NiLoadArena::Free(kB[1]);
            NiLoadArena::Free(kA[1]);
        }
        // Only the outermost batch's end counts what is pending.
        EXPECT_EQ(pkA->GetLiveCount(), 6u);
        EXPECT_EQ(pkB->GetLiveCount(), 3u);
    }
    EXPECT_EQ(pkA->GetLiveCount(), 5u);
    EXPECT_EQ(pkB->GetLiveCount(), 3u);
    // Outside a batch a free counts at once.
    NiLoadArena::Free(kA[2]);
    EXPECT_EQ(pkA->GetLiveCount(), 4u);
    // Every piece of an arena freed in one batch after its creator let go:
    // the arena dies when the batch closes (the leak checker sees it go).
    pkA->Release();
    pkB->Release();
    {
        NiLoadArena::FreeBatch kBatch;
        for (std::size_t i : {3u, 4u, 5u})
            NiLoadArena::Free(kA[i]);
        NiLoadArena::Free(kB[2]);
        NiLoadArena::Free(kB[3]);
    }
}

TEST(NiLoadArena, ABatchCountsEachPieceForItsOwnArenaWhicheverBlockItLiesIn)
{
    // Alternating arenas and blocks: the block a batch remembered for its
    // run must never take a piece of another arena or block.
    NiLoadArena* pkA = NiLoadArena::Create(4096);
    NiLoadArena* pkB = NiLoadArena::Create(4096);
    std::vector<void*> kA, kB;
    {
        NiLoadArena::Scope kScope(pkA);
        for (int i = 0; i < 4; ++i)
            kA.push_back(NiLoadArena::Allocate(64));
        kA.push_back(NiLoadArena::AllocateData(6000)); // a second block
        kA.push_back(NiLoadArena::AllocateData(16));
        EXPECT_EQ(pkA->GetBlockCount(), 2u);
    }
    {
        NiLoadArena::Scope kScope(pkB);
        for (int i = 0; i < 4; ++i)
            kB.push_back(NiLoadArena::Allocate(64));
    }
    pkA->Release();
    pkB->Release();
    {
        NiLoadArena::FreeBatch kBatch;
        NiLoadArena::Free(kA[0]);
        NiLoadArena::Free(kA[1]); // remembered: A's first block
        NiLoadArena::Free(kB[0]); // A's run counted
        EXPECT_EQ(pkA->GetLiveCount(), 4u);
        NiLoadArena::Free(kB[1]); // remembered: B's block
        NiLoadArena::Free(kA[4]); // A's second block: B's run counted
        EXPECT_EQ(pkB->GetLiveCount(), 2u);
        NiLoadArena::Free(kA[5]);
        NiLoadArena::Free(kA[2]); // back in A's first block
        EXPECT_EQ(pkA->GetLiveCount(), 4u);
    }
    EXPECT_EQ(pkA->GetLiveCount(), 1u);
    EXPECT_EQ(pkB->GetLiveCount(), 2u);
    // Outside a batch every free counts at once.
    NiLoadArena::Free(kB[2]);
    EXPECT_EQ(pkB->GetLiveCount(), 1u);
    NiLoadArena::Free(kB[3]);
    NiLoadArena::Free(kA[3]);
}

TEST(NiLoadArena, AnObjectDyingFreesWhatItHoldsAndKeepsWhatOthersHold)
{
    NiLoadArena* pkArena = NiLoadArena::Create(4096);
    NiRefPtr<Holder> spRoot;
    NiRefPtr<Holder> spKept;
    std::uint32_t uiObjects = NiRefObject::GetTotalObjectCount();
    {
        NiLoadArena::Scope kScope(pkArena);
        spRoot = new Holder("root");
        for (int i = 0; i < 3; ++i)
        {
            NiRefPtr<Holder> spChild = new Holder("child");
            for (int j = 0; j < 3; ++j)
                spChild->m_kHeld.emplace_back(new Piece);
            spRoot->m_kHeld.emplace_back(spChild);
        }
        spKept = static_cast<Holder*>(spRoot->m_kHeld[1].Get());
    }
    pkArena->Release();
    EXPECT_EQ(NiRefObject::GetTotalObjectCount(), uiObjects + 13);
    // Root, two children, their pieces, their names and the held vectors'
    // memory (heap) go; the kept child keeps its arena.
    spRoot.Clear();
    EXPECT_EQ(NiRefObject::GetTotalObjectCount(), uiObjects + 4);
    ASSERT_EQ(NiLoadArena::GetOwner(spKept.Get()), pkArena);
    EXPECT_EQ(pkArena->GetLiveCount(), 5u); // the child, its name, three pieces
    EXPECT_STREQ(spKept->m_pcName, "child");
    EXPECT_EQ(static_cast<Piece*>(spKept->m_kHeld[2].Get())->m_aui[5], 6u);
    spKept.Clear();
    EXPECT_EQ(NiRefObject::GetTotalObjectCount(), uiObjects);
}

TEST(NiLoadArena, PieceTextsCompareAsStrcmpDoesAtEveryLengthAndByte)
{
    // Prefixes that end in every place of an eight-byte word, bytes above
    // 0x7F, a zero-free 0x01 byte next to the end, and each text against
    // every other: the sign matches strcmp's (unsigned bytes).
    std::vector<std::string> kTexts = {"", "a", "b", "\x01", "\x80", "\xFF", "NiIntegerED000", "NiIntegersED006"};
    const std::string kLong = "NiTextKeyExtraDataEntryNumber";
    for (std::size_t n = 1; n <= kLong.size(); ++n)
        kTexts.push_back(kLong.substr(0, n));
    kTexts.push_back(kLong + "\x01");
    kTexts.push_back(kLong.substr(0, 15) + "\x80");
    kTexts.push_back(kLong.substr(0, 16) + "\x01\x01");
    auto Sign = [](int i) { return (i > 0) - (i < 0); };
    for (int iArena = 0; iArena < 2; ++iArena)
    {
        NiLoadArena* pkArena = iArena ? NiLoadArena::Create(4096) : nullptr;
        std::vector<char*> kPieces;
        {
            NiLoadArena::Scope kScope(pkArena);
            for (const std::string& k : kTexts)
                kPieces.push_back(NiArenaStrDup(k.c_str(), k.size()));
        }
        for (std::size_t i = 0; i < kPieces.size(); ++i)
        {
            for (std::size_t j = 0; j < kPieces.size(); ++j)
            {
                SCOPED_TRACE(kTexts[i] + " / " + kTexts[j]);
                EXPECT_EQ(Sign(NiComparePieceTexts(kPieces[i], kPieces[j])),
                          Sign(std::strcmp(kTexts[i].c_str(), kTexts[j].c_str())));
            }
        }
        for (char* pc : kPieces)
            NiLoadArena::Free(pc);
        if (pkArena != nullptr)
            pkArena->Release();
    }
}

#if defined(__SANITIZE_ADDRESS__)
TEST(NiLoadArena, AFreedPieceIsPoisonedLikeFreedHeap)
{
    NiLoadArena* pkArena = NiLoadArena::Create(4096);
    char* pcKept = nullptr;
    char* pcFreed = nullptr;
    {
        NiLoadArena::Scope kScope(pkArena);
        pcKept = NiArenaStrDup("kept");
        pcFreed = NiArenaStrDup("freed");
    }
    pkArena->Release();
    NiLoadArena::Free(pcFreed);
    EXPECT_STREQ(pcKept, "kept");
    EXPECT_DEATH((void)*static_cast<volatile char*>(pcFreed), "use-after-poison");
    NiLoadArena::Free(pcKept);
}
#endif
} // namespace
