#include "engine/core/NiTList.h"

void NiListBase::RemoveAll()
{
    NiListNode* pkNode = m_pkHead;
    m_pkHead = nullptr;
    m_pkTail = nullptr;
    m_uiCount = 0;
    while (pkNode != nullptr)
    {
        NiListNode* pkNext = pkNode->m_pkNext;
        ReleaseElement(pkNode);
        pkNode->m_pvElement = nullptr;
        DeleteNode(pkNode);
        pkNode = pkNext;
    }
}

std::uint32_t NiListBase::AddHeadRaw(void* pvElement)
{
    return InsertRaw(pvElement, nullptr, m_pkHead);
}

std::uint32_t NiListBase::AddTailRaw(void* pvElement)
{
    return InsertRaw(pvElement, m_pkTail, nullptr);
}

std::uint32_t NiListBase::AddHeadRawCounted(void* pvElement)
{
    return InsertRaw(pvElement, nullptr, m_pkHead, false);
}

std::uint32_t NiListBase::InsertRaw(void* pvElement, NiListNode* pkPrev, NiListNode* pkNext, bool bAcquire)
{
    NiListNode* pkNode = NewNode();
    pkNode->m_pvElement = pvElement;
    if (bAcquire)
        AcquireElement(pkNode);
    pkNode->m_pkPrev = pkPrev;
    pkNode->m_pkNext = pkNext;
    // A missing neighbour means the new node is that end of the list.
    (pkPrev ? pkPrev->m_pkNext : m_pkHead) = pkNode;
    (pkNext ? pkNext->m_pkPrev : m_pkTail) = pkNode;
    return ++m_uiCount;
}

void* NiListBase::RemovePosRaw(NiListPos& kPos)
{
    NiListNode* pkNode = kPos;
    if (pkNode == nullptr)
        return nullptr;
    if (pkNode->m_pkPrev)
        pkNode->m_pkPrev->m_pkNext = pkNode->m_pkNext;
    else
        m_pkHead = pkNode->m_pkNext;
    if (pkNode->m_pkNext)
        pkNode->m_pkNext->m_pkPrev = pkNode->m_pkPrev;
    else
        m_pkTail = pkNode->m_pkPrev;
    kPos = pkNode->m_pkNext;
    void* pvElement = pkNode->m_pvElement;
    pkNode->m_pvElement = nullptr;
    DeleteNode(pkNode);
    --m_uiCount;
    return pvElement;
}

NiListPos NiListBase::FindPosRaw(const void* pvElement) const
{
    for (NiListNode* pkNode = m_pkHead; pkNode != nullptr; pkNode = pkNode->m_pkNext)
    {
        if (pkNode->m_pvElement == pvElement)
            return pkNode;
    }
    return nullptr;
}
