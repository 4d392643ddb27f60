#include "engine/core/NiHashMap.h"

#include <new>

static_assert(sizeof(NiHashMapNode) == sizeof(NiListNode), "pooled map nodes share the list-node pool");

NiHashMap::NiHashMap(std::uint32_t uiBuckets) : m_uiBuckets(uiBuckets ? uiBuckets : 1)
{
    m_ppkBuckets = new NiHashMapNode*[m_uiBuckets]();
}

NiHashMap::~NiHashMap()
{
    DestroyAll();
    delete[] m_ppkBuckets;
}

void NiHashMap::DestroyAll()
{
    if (m_uiCount > 0)
        RemoveAll();
}

std::uint32_t NiHashMap::KeyToHashIndex(std::uintptr_t key) const
{
    return static_cast<std::uint32_t>(key % m_uiBuckets);
}

bool NiHashMap::IsKeysEqual(std::uintptr_t key1, std::uintptr_t key2) const
{
    return key1 == key2;
}

void NiHashMap::SetValue(NiHashMapNode* pkNode, std::uintptr_t key, std::uintptr_t val)
{
    pkNode->m_key = key;
    pkNode->m_val = val;
}

void NiHashMap::ClearValue(NiHashMapNode*)
{
}

NiHashMapNode* NiHashMap::NewItem()
{
    return new NiHashMapNode{};
}

void NiHashMap::DeleteItem(NiHashMapNode* pkNode)
{
    delete pkNode;
}

bool NiHashMap::GetAtRaw(std::uintptr_t key, std::uintptr_t& val) const
{
    for (NiHashMapNode* pkNode = m_ppkBuckets[KeyToHashIndex(key)]; pkNode; pkNode = pkNode->m_pkNext)
    {
        if (IsKeysEqual(key, pkNode->m_key))
        {
            val = pkNode->m_val;
            return true;
        }
    }
    return false;
}

void NiHashMap::SetAtRaw(std::uintptr_t key, std::uintptr_t val)
{
    std::uint32_t uiIndex = KeyToHashIndex(key);
    for (NiHashMapNode* pkNode = m_ppkBuckets[uiIndex]; pkNode; pkNode = pkNode->m_pkNext)
    {
        if (IsKeysEqual(key, pkNode->m_key))
        {
            // SetValue takes the new value before letting the old go, so
            // a counted value re-set to itself stays alive.
            SetValue(pkNode, pkNode->m_key, val);
            return;
        }
    }
    NiHashMapNode* pkNode = NewItem();
    pkNode->m_key = 0;
    pkNode->m_val = 0;
    SetValue(pkNode, key, val);
    pkNode->m_pkNext = m_ppkBuckets[uiIndex];
    m_ppkBuckets[uiIndex] = pkNode;
    ++m_uiCount;
}

bool NiHashMap::RemoveAtRaw(std::uintptr_t key)
{
    std::uint32_t uiIndex = KeyToHashIndex(key);
    NiHashMapNode** ppkLink = &m_ppkBuckets[uiIndex];
    while (*ppkLink)
    {
        NiHashMapNode* pkNode = *ppkLink;
        if (IsKeysEqual(key, pkNode->m_key))
        {
            *ppkLink = pkNode->m_pkNext;
            ClearValue(pkNode);
            DeleteItem(pkNode);
            --m_uiCount;
            return true;
        }
        ppkLink = &pkNode->m_pkNext;
    }
    return false;
}

void NiHashMap::RemoveAll()
{
    for (std::uint32_t i = 0; i < m_uiBuckets; ++i)
    {
        while (NiHashMapNode* pkNode = m_ppkBuckets[i])
        {
            m_ppkBuckets[i] = pkNode->m_pkNext;
            ClearValue(pkNode);
            DeleteItem(pkNode);
        }
    }
    m_uiCount = 0;
}

NiHashMapPos NiHashMap::GetFirstPos() const
{
    for (std::uint32_t i = 0; i < m_uiBuckets; ++i)
    {
        if (m_ppkBuckets[i])
            return m_ppkBuckets[i];
    }
    return nullptr;
}

void NiHashMap::GetNextRaw(NiHashMapPos& kPos, std::uintptr_t& key, std::uintptr_t& val) const
{
    if (kPos == nullptr)
        return;
    key = kPos->m_key;
    val = kPos->m_val;
    if (kPos->m_pkNext)
    {
        kPos = kPos->m_pkNext;
        return;
    }
    for (std::uint32_t i = KeyToHashIndex(key) + 1; i < m_uiBuckets; ++i)
    {
        if (m_ppkBuckets[i])
        {
            kPos = m_ppkBuckets[i];
            return;
        }
    }
    kPos = nullptr;
}

NiPooledHashMap::~NiPooledHashMap()
{
    DestroyAll();
}

NiHashMapNode* NiPooledHashMap::NewItem()
{
    NiListNode* pkRaw = NiListNodePool::Allocate();
    return new (pkRaw) NiHashMapNode{};
}

void NiPooledHashMap::DeleteItem(NiHashMapNode* pkNode)
{
    NiListNodePool::Free(new (pkNode) NiListNode{});
}

NiStringHashMapBase::~NiStringHashMapBase()
{
    DestroyAll();
}

std::uint32_t NiStringHashMapBase::KeyToHashIndex(std::uintptr_t key) const
{
    const char* pc = reinterpret_cast<const char*>(key);
    std::uint32_t h = 0;
    for (; *pc; ++pc)
        h = (h << 5) + h + static_cast<std::uint32_t>(static_cast<int>(static_cast<signed char>(*pc)));
    return h % GetBucketCount();
}

bool NiStringHashMapBase::IsKeysEqual(std::uintptr_t key1, std::uintptr_t key2) const
{
    return std::strcmp(reinterpret_cast<const char*>(key1), reinterpret_cast<const char*>(key2)) == 0;
}

void NiStringHashMapBase::SetValue(NiHashMapNode* pkNode, std::uintptr_t key, std::uintptr_t val)
{
    if (m_bCopyKeys && pkNode->m_key != key)
    {
        const char* pcKey = reinterpret_cast<const char*>(key);
        std::size_t uiLen = std::strlen(pcKey) + 1;
        char* pcCopy = new char[uiLen];
        std::memcpy(pcCopy, pcKey, uiLen);
        delete[] reinterpret_cast<char*>(pkNode->m_key);
        key = reinterpret_cast<std::uintptr_t>(pcCopy);
    }
    NiHashMap::SetValue(pkNode, key, val);
}

void NiStringHashMapBase::DeleteItem(NiHashMapNode* pkNode)
{
    if (m_bCopyKeys)
        delete[] reinterpret_cast<char*>(pkNode->m_key);
    NiHashMap::DeleteItem(pkNode);
}
