#include "engine/render/NiDX9DynamicVertexBuffer.h"
#include "engine/render/NiDX9VertexBufferPool.h"
#include "tests/engine/render/BufferTestSupport.h"

#include <memory>

namespace
{
using buffertest::BufferTest;

class NiDX9VertexBufferPoolTest : public BufferTest
{
public:
    std::unique_ptr<NiDX9VertexBufferPool> MakePool(std::uint32_t uiFlags = 0)
    {
        return std::unique_ptr<NiDX9VertexBufferPool>(
            NiDX9VertexBufferPool::Create(NiDX9VertexBufferPool::DEFAULT_CHUNK_SIZE, m_pkDevice, 0x80000020u, uiFlags));
    }
};

TEST_P(NiDX9VertexBufferPoolTest, RangesAreCutAtTheTailAndAnEmptiedChunkIsReleased)
{
    auto spPool = MakePool();
    ASSERT_NE(spPool, nullptr);
    NiDX9VertexBufferRange* pkA = spPool->AllocateRange(1000, false);
    ASSERT_NE(pkA, nullptr);
    NiDX9VertexBufferChunk* pkChunk = pkA->m_pkChunk;
    EXPECT_EQ(pkA->m_uiOffset, 0u);
    EXPECT_EQ(pkChunk->m_uiSize, 65536u);
    EXPECT_EQ(pkA->m_uiLockFlags, 0u);
    const gfx::D3DVERTEXBUFFER_DESC kDesc = buffertest::Describe(pkChunk->m_pkVB);
    EXPECT_EQ(kDesc.Usage, gfx::D3DUSAGE_WRITEONLY);
    EXPECT_EQ(kDesc.Pool, gfx::D3DPOOL_MANAGED);
    EXPECT_EQ(kDesc.FVF, 0x80000020u); // the stride key is kept as the buffer's format word

    NiDX9VertexBufferRange* pkB = spPool->AllocateRange(2000, false);
    ASSERT_NE(pkB, nullptr);
    EXPECT_EQ(pkB->m_pkChunk, pkChunk);
    EXPECT_EQ(pkB->m_uiOffset, 1000u);

    const std::uint32_t uiChunkIndex = pkChunk->m_uiIndex;
    const std::uint32_t uiRefs = pkChunk->m_pkVB->RefCount();
    spPool->FreeRange(uiChunkIndex, pkA->m_uiIndex);
    EXPECT_EQ(pkChunk->m_uiTail, 3000u);
    EXPECT_EQ(pkChunk->m_uiFree, 65536u - 2000u);
    EXPECT_EQ(spPool->GetChunkCount(), 1u);

    gfx::IDirect3DVertexBuffer9* pkVB = pkChunk->m_pkVB;
    pkVB->AddRef();
    spPool->FreeRange(uiChunkIndex, pkB->m_uiIndex);
    EXPECT_EQ(spPool->GetChunkCount(), 0u);
    EXPECT_EQ(pkVB->RefCount(), uiRefs); // the pool's reference is gone
    pkVB->Release();
}

TEST_P(NiDX9VertexBufferPoolTest, BigForcedAndBestFitAllocations)
{
    auto spPool = MakePool();
    NiDX9VertexBufferRange* pkBig = spPool->AllocateRange(100000, false);
    ASSERT_NE(pkBig, nullptr);
    EXPECT_EQ(pkBig->m_pkChunk->m_uiSize, 100000u);
    EXPECT_FALSE(spPool->IsInRoomList(pkBig->m_pkChunk));

    NiDX9VertexBufferRange* pkSmall = spPool->AllocateRange(100, false);
    NiDX9VertexBufferRange* pkForced = spPool->AllocateRange(100, true);
    ASSERT_NE(pkSmall, nullptr);
    ASSERT_NE(pkForced, nullptr);
    EXPECT_NE(pkForced->m_pkChunk, pkSmall->m_pkChunk);
    EXPECT_EQ(pkForced->m_uiOffset, 0u);

    // Room exactly 128 leaves the list; 129 stays.
    auto spEdge = MakePool();
    NiDX9VertexBufferRange* pk128 = spEdge->AllocateRange(65536 - 128, false);
    EXPECT_FALSE(spEdge->IsInRoomList(pk128->m_pkChunk));
    NiDX9VertexBufferRange* pk129 = spEdge->AllocateRange(65536 - 129, true);
    EXPECT_TRUE(spEdge->IsInRoomList(pk129->m_pkChunk));

    // Rooms 500 and 300: a request of 200 takes the 300 one.
    auto spFit = MakePool();
    NiDX9VertexBufferRange* pk500 = spFit->AllocateRange(65536 - 500, true);
    NiDX9VertexBufferRange* pk300 = spFit->AllocateRange(65536 - 300, true);
    NiDX9VertexBufferRange* pkFit = spFit->AllocateRange(200, false);
    EXPECT_EQ(pkFit->m_pkChunk, pk300->m_pkChunk);
    EXPECT_EQ(pkFit->m_uiOffset, 65536u - 300u);
    EXPECT_EQ(pk500->m_pkChunk->m_uiRoom, 500u);

    for (auto* pk : {pkBig, pkSmall, pkForced})
        spPool->FreeRange(pk->m_pkChunk->m_uiIndex, pk->m_uiIndex);
    for (auto* pk : {pk128, pk129})
        spEdge->FreeRange(pk->m_pkChunk->m_uiIndex, pk->m_uiIndex);
    for (auto* pk : {pk500, pk300, pkFit})
        spFit->FreeRange(pk->m_pkChunk->m_uiIndex, pk->m_uiIndex);
    EXPECT_EQ(spPool->GetChunkCount() + spEdge->GetChunkCount() + spFit->GetChunkCount(), 0u);
}

TEST_P(NiDX9VertexBufferPoolTest, FreeListsRefillByThirtyTwoAndSteadyStateAllocatesNothing)
{
    NiDX9VertexBufferPool::FreeChunkPool();
    auto spPool = MakePool();
    const std::uint32_t uiRefills = NiDX9VertexBufferPool::GetFreeListRefills();
    NiDX9VertexBufferRange* pk = spPool->AllocateRange(64, false);
    EXPECT_EQ(NiDX9VertexBufferPool::GetFreeListRefills(), uiRefills + 2); // a chunk node and a range node
    EXPECT_EQ(NiDX9VertexBufferPool::GetFreeRangeNodes(), 31u);
    EXPECT_EQ(NiDX9VertexBufferPool::GetFreeChunkNodes(), 31u);
    spPool->FreeRange(pk->m_pkChunk->m_uiIndex, pk->m_uiIndex);
    for (int i = 0; i < 100; ++i)
    {
        NiDX9VertexBufferRange* pkAgain = spPool->AllocateRange(64, false);
        ASSERT_NE(pkAgain, nullptr);
        spPool->FreeRange(pkAgain->m_pkChunk->m_uiIndex, pkAgain->m_uiIndex);
    }
    EXPECT_EQ(NiDX9VertexBufferPool::GetFreeListRefills(), uiRefills + 2);
    spPool.reset();
    NiDX9VertexBufferPool::FreeChunkPool();
    EXPECT_EQ(NiDX9VertexBufferPool::GetFreeRangeNodes(), 0u);
    EXPECT_EQ(NiDX9VertexBufferPool::GetFreeChunkNodes(), 0u);
}

TEST_P(NiDX9VertexBufferPoolTest, SoftwareProcessingPoolsUseTheirOwnUsage)
{
    auto spPool = MakePool(NiDX9VertexBufferPool::SOFTWARE_PROCESSING);
    NiDX9VertexBufferRange* pk = spPool->AllocateRange(10, false);
    ASSERT_NE(pk, nullptr);
    EXPECT_EQ(buffertest::Describe(pk->m_pkVB).Usage, 0x18u);
    spPool->FreeRange(pk->m_pkChunk->m_uiIndex, pk->m_uiIndex);
}

TEST_P(NiDX9VertexBufferPoolTest, DynamicBufferAppendsThenStartsAgainWithDiscard)
{
    std::unique_ptr<NiDX9DynamicVertexBuffer> spSmall(NiDX9DynamicVertexBuffer::Create(100, m_pkDevice, 0x112));
    EXPECT_EQ(spSmall->GetCapacity(), 128u);
    std::unique_ptr<NiDX9DynamicVertexBuffer> spBig(NiDX9DynamicVertexBuffer::Create(2048, m_pkDevice, 0x112));
    EXPECT_EQ(spBig->GetCapacity(), 2048u);

    std::unique_ptr<NiDX9DynamicVertexBuffer> spBuffer(NiDX9DynamicVertexBuffer::Create(64, m_pkDevice, 0x112));
    std::uint32_t uiOffset = 99, uiFlags = 99;
    gfx::IDirect3DVertexBuffer9* pkVB = spBuffer->ReserveBuffer(100, uiOffset, uiFlags, false, false);
    ASSERT_NE(pkVB, nullptr);
    EXPECT_EQ(spBuffer->GetCapacity(), 128u);
    EXPECT_EQ(buffertest::Describe(pkVB).Size, 128u);
    EXPECT_EQ(buffertest::Describe(pkVB).Usage, 0x208u);
    EXPECT_EQ(buffertest::Describe(pkVB).Pool, gfx::D3DPOOL_DEFAULT);
    EXPECT_EQ(uiOffset, 0u);
    EXPECT_EQ(uiFlags, gfx::D3DLOCK_DISCARD);
    spBuffer->ReserveBuffer(20, uiOffset, uiFlags, false, false);
    EXPECT_EQ(uiOffset, 100u);
    EXPECT_EQ(uiFlags, gfx::D3DLOCK_NOOVERWRITE);
    spBuffer->ReserveBuffer(20, uiOffset, uiFlags, false, false);
    EXPECT_EQ(uiOffset, 0u);
    EXPECT_EQ(uiFlags, gfx::D3DLOCK_DISCARD);
    spBuffer->ReserveBuffer(4, uiOffset, uiFlags, true, false);
    EXPECT_EQ(uiOffset, 0u);
    EXPECT_EQ(uiFlags, gfx::D3DLOCK_DISCARD);

    // Software processing on a fresh buffer asks for its usage bit.
    std::unique_ptr<NiDX9DynamicVertexBuffer> spSoft(NiDX9DynamicVertexBuffer::Create(64, m_pkDevice, 0x112));
    EXPECT_EQ(buffertest::Describe(spSoft->ReserveBuffer(16, uiOffset, uiFlags, false, true)).Usage, 0x218u);
}

BUFFER_NULL_BACKEND(NiDX9VertexBufferPoolTest);
} // namespace
