#include "engine/render/NiDX9VertexBufferPool.h"

#include "engine/render/NiDX9GeometryBufferGroup.h"

#include <new>

namespace
{
// Idle nodes, process-wide; emptied only by FreeChunkPool.
NiDX9VertexBufferRange* gs_pkFreeRanges = nullptr;
NiDX9VertexBufferChunk* gs_pkFreeChunks = nullptr;
std::uint32_t gs_uiFreeRanges = 0;
std::uint32_t gs_uiFreeChunks = 0;
std::uint32_t gs_uiRefills = 0;

template <class Node>
Node* TakeNode(Node*& pkHead, std::uint32_t& uiCount)
{
    if (!pkHead)
    {
        ++gs_uiRefills;
        for (std::uint32_t i = 0; i < NiDX9VertexBufferPool::FREE_LIST_REFILL; ++i)
        {
            Node* pkNew = new (std::nothrow) Node();
            if (!pkNew)
                break;
            pkNew->m_pkNext = pkHead;
            pkHead = pkNew;
            ++uiCount;
        }
        if (!pkHead)
            return nullptr;
    }
    Node* pkNode = pkHead;
    pkHead = pkNode->m_pkNext;
    --uiCount;
    pkNode->m_pkNext = nullptr;
    pkNode->m_pkPrev = nullptr;
    return pkNode;
}

template <class Node>
void GiveNode(Node*& pkHead, std::uint32_t& uiCount, Node* pkNode)
{
    pkNode->m_pkPrev = nullptr;
    pkNode->m_pkNext = pkHead;
    pkHead = pkNode;
    ++uiCount;
}
} // namespace

NiDX9VertexBufferRange* NiDX9VertexBufferRange::Take()
{
    return TakeNode(gs_pkFreeRanges, gs_uiFreeRanges);
}

void NiDX9VertexBufferRange::Give(NiDX9VertexBufferRange* pkRange)
{
    if (pkRange)
        GiveNode(gs_pkFreeRanges, gs_uiFreeRanges, pkRange);
}

void NiDX9GeometryBufferGroup::FreeNodePool()
{
    while (gs_pkFreeRanges)
    {
        NiDX9VertexBufferRange* pkNext = gs_pkFreeRanges->m_pkNext;
        delete gs_pkFreeRanges;
        gs_pkFreeRanges = pkNext;
    }
    gs_uiFreeRanges = 0;
}

// ---- chunk ----
NiDX9VertexBufferRange* NiDX9VertexBufferChunk::AllocateRange(std::uint32_t uiSize)
{
    if (m_uiRoom < uiSize)
        return nullptr;
    NiDX9VertexBufferRange* pkRange = NiDX9VertexBufferRange::Take();
    if (!pkRange)
        return nullptr;
    pkRange->m_pkChunk = this;
    pkRange->m_pkVB = m_pkVB;
    pkRange->m_uiOffset = m_uiTail;
    pkRange->m_uiSize = uiSize;
    pkRange->m_uiLockFlags = 0;
    m_uiRoom -= uiSize;
    m_uiFree -= uiSize;
    m_uiTail += uiSize;
    pkRange->m_uiIndex = m_kRanges.AddFirstEmpty(pkRange);
    return pkRange;
}

std::uint32_t NiDX9VertexBufferChunk::FreeRange(std::uint32_t uiRangeIndex)
{
    NiDX9VertexBufferRange* pkRange = m_kRanges.GetAt(uiRangeIndex);
    if (!pkRange)
        return 0;
    m_kRanges.SetAt(uiRangeIndex, nullptr);
    if (pkRange->m_uiOffset + pkRange->m_uiSize == m_uiTail)
    {
        std::uint32_t uiTail = 0;
        for (std::uint32_t i = 0; i < m_kRanges.GetSize(); ++i)
        {
            const NiDX9VertexBufferRange* pkOther = m_kRanges.GetAt(i);
            if (pkOther && pkOther->m_uiOffset + pkOther->m_uiSize > uiTail)
                uiTail = pkOther->m_uiOffset + pkOther->m_uiSize;
        }
        m_uiTail = uiTail;
    }
    m_uiRoom = m_uiSize - m_uiTail;
    m_uiFree += pkRange->m_uiSize;
    const std::uint32_t uiBytes = pkRange->m_uiSize;
    NiDX9VertexBufferRange::Give(pkRange);
    return uiBytes;
}

void NiDX9VertexBufferChunk::Reset()
{
    if (m_pkVB)
        m_pkVB->Release();
    // A range still in use stays with its record, which gives the node back
    // when it lets the stream go; it only loses its chunk and buffer here.
    for (std::uint32_t i = 0; i < m_kRanges.GetSize(); ++i)
    {
        if (NiDX9VertexBufferRange* pkRange = m_kRanges.GetAt(i))
        {
            pkRange->m_pkChunk = nullptr;
            pkRange->m_pkVB = nullptr;
        }
    }
    m_kRanges.RemoveAll();
    m_pkPool = nullptr;
    m_uiIndex = 0;
    m_pkVB = nullptr;
    m_uiSize = m_uiFVF = m_uiFlags = m_uiUsage = m_uiPool = 0;
    m_uiTail = m_uiRoom = m_uiFree = 0;
    m_pkNext = m_pkPrev = nullptr;
}

// ---- pool ----
NiDX9VertexBufferPool* NiDX9VertexBufferPool::Create(std::uint32_t uiChunkSize, gfx::IDirect3DDevice9* pkDevice,
                                                     std::uint32_t uiFVF, std::uint32_t uiFlags)
{
    auto* pkPool = new (std::nothrow) NiDX9VertexBufferPool();
    if (!pkPool)
        return nullptr;
    pkPool->m_uiChunkSize = uiChunkSize;
    pkPool->m_uiFVF = uiFVF;
    pkPool->m_uiFlags = uiFlags;
    pkPool->m_uiUsage = (uiFlags & SOFTWARE_PROCESSING)
                            ? (gfx::D3DUSAGE_WRITEONLY | gfx::D3DUSAGE_SOFTWAREPROCESSING)
                            : gfx::D3DUSAGE_WRITEONLY;
    pkPool->m_pkDevice = pkDevice;
    if (pkDevice)
        pkDevice->AddRef();
    return pkPool;
}

NiDX9VertexBufferPool::~NiDX9VertexBufferPool()
{
    for (std::uint32_t i = 0; i < m_kChunks.GetSize(); ++i)
    {
        NiDX9VertexBufferChunk* pkChunk = m_kChunks.GetAt(i);
        if (!pkChunk)
            continue;
        m_kChunks.SetAt(i, nullptr);
        GiveBack(pkChunk);
    }
    m_pkRoomList = nullptr;
    if (m_pkDevice)
        m_pkDevice->Release();
}

void NiDX9VertexBufferPool::GiveBack(NiDX9VertexBufferChunk* pkChunk)
{
    pkChunk->Reset();
    GiveNode(gs_pkFreeChunks, gs_uiFreeChunks, pkChunk);
}

NiDX9VertexBufferChunk* NiDX9VertexBufferPool::CreateChunk(std::uint32_t uiSize)
{
    const std::uint32_t uiLength = (m_uiFlags & EXACT_SIZE) ? uiSize : std::max(uiSize, m_uiChunkSize);
    if (!m_pkDevice)
        return nullptr;
    gfx::IDirect3DVertexBuffer9* pkVB = nullptr;
    if (gfx::FAILED(m_pkDevice->CreateVertexBuffer(uiLength, m_uiUsage, m_uiFVF, m_uiPool, &pkVB, nullptr)) || !pkVB)
        return nullptr;
    NiDX9VertexBufferChunk* pkChunk = TakeNode(gs_pkFreeChunks, gs_uiFreeChunks);
    if (!pkChunk)
    {
        pkVB->Release();
        return nullptr;
    }
    pkChunk->m_pkPool = this;
    pkChunk->m_pkVB = pkVB;
    pkChunk->m_uiSize = pkChunk->m_uiRoom = pkChunk->m_uiFree = uiLength;
    pkChunk->m_uiTail = 0;
    pkChunk->m_uiFVF = m_uiFVF;
    pkChunk->m_uiFlags = m_uiFlags;
    pkChunk->m_uiUsage = m_uiUsage;
    pkChunk->m_uiPool = m_uiPool;
    pkChunk->m_uiIndex = m_kChunks.AddFirstEmpty(pkChunk);
    return pkChunk;
}

void NiDX9VertexBufferPool::Unlink(NiDX9VertexBufferChunk* pkChunk)
{
    if (pkChunk->m_pkPrev)
        pkChunk->m_pkPrev->m_pkNext = pkChunk->m_pkNext;
    else if (m_pkRoomList == pkChunk)
        m_pkRoomList = pkChunk->m_pkNext;
    if (pkChunk->m_pkNext)
        pkChunk->m_pkNext->m_pkPrev = pkChunk->m_pkPrev;
    pkChunk->m_pkNext = pkChunk->m_pkPrev = nullptr;
}

bool NiDX9VertexBufferPool::IsInRoomList(const NiDX9VertexBufferChunk* pkChunk) const
{
    for (const NiDX9VertexBufferChunk* p = m_pkRoomList; p; p = p->m_pkNext)
        if (p == pkChunk)
            return true;
    return false;
}

void NiDX9VertexBufferPool::InsertByRoom(NiDX9VertexBufferChunk* pkChunk)
{
    NiDX9VertexBufferChunk* pkPrev = nullptr;
    NiDX9VertexBufferChunk* pkAt = m_pkRoomList;
    while (pkAt && pkAt->m_uiRoom <= pkChunk->m_uiRoom)
    {
        pkPrev = pkAt;
        pkAt = pkAt->m_pkNext;
    }
    pkChunk->m_pkPrev = pkPrev;
    pkChunk->m_pkNext = pkAt;
    if (pkAt)
        pkAt->m_pkPrev = pkChunk;
    if (pkPrev)
        pkPrev->m_pkNext = pkChunk;
    else
        m_pkRoomList = pkChunk;
}

NiDX9VertexBufferRange* NiDX9VertexBufferPool::AllocateRange(std::uint32_t uiSize, bool bForceNewChunk)
{
    NiDX9VertexBufferChunk* pkChunk = nullptr;
    if (!bForceNewChunk)
    {
        for (NiDX9VertexBufferChunk* p = m_pkRoomList; p; p = p->m_pkNext)
        {
            if (p->m_uiRoom >= uiSize)
            {
                pkChunk = p;
                Unlink(p);
                break;
            }
        }
    }
    if (!pkChunk)
    {
        pkChunk = CreateChunk(uiSize);
        if (!pkChunk)
            return nullptr;
    }
    NiDX9VertexBufferRange* pkRange = pkChunk->AllocateRange(uiSize);
    if (pkChunk->m_uiRoom > m_uiMinRoom)
        InsertByRoom(pkChunk);
    return pkRange;
}

void NiDX9VertexBufferPool::FreeRange(std::uint32_t uiChunkIndex, std::uint32_t uiRangeIndex)
{
    NiDX9VertexBufferChunk* pkChunk = m_kChunks.GetAt(uiChunkIndex);
    if (!pkChunk)
        return;
    const std::uint32_t uiRoom = pkChunk->m_uiRoom;
    pkChunk->FreeRange(uiRangeIndex);
    if (pkChunk->m_uiRoom == uiRoom)
        return;
    if (IsInRoomList(pkChunk))
        Unlink(pkChunk);
    if (pkChunk->m_uiFree == pkChunk->m_uiSize)
    {
        m_kChunks.SetAt(uiChunkIndex, nullptr);
        GiveBack(pkChunk);
    }
    else
    {
        InsertByRoom(pkChunk);
    }
}

void NiDX9VertexBufferPool::FreeChunkPool()
{
    NiDX9GeometryBufferGroup::FreeNodePool();
    while (gs_pkFreeChunks)
    {
        NiDX9VertexBufferChunk* pkNext = gs_pkFreeChunks->m_pkNext;
        delete gs_pkFreeChunks;
        gs_pkFreeChunks = pkNext;
    }
    gs_uiFreeChunks = 0;
}

std::uint32_t NiDX9VertexBufferPool::GetFreeChunkNodes() { return gs_uiFreeChunks; }
std::uint32_t NiDX9VertexBufferPool::GetFreeRangeNodes() { return gs_uiFreeRanges; }
std::uint32_t NiDX9VertexBufferPool::GetFreeListRefills() { return gs_uiRefills; }
