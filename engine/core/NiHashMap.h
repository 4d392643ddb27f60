#pragma once

#include "engine/core/NiListNodePool.h"

#include <cstdint>
#include <cstring>

struct NiHashMapNode
{
    NiHashMapNode* m_pkNext;
    std::uintptr_t m_key;
    std::uintptr_t m_val;
};

// Position in a map iteration; null at the end.
using NiHashMapPos = NiHashMapNode*;

// Chained hash map of pointer-sized keys and values. Hashing, key equality
// and node handling are virtual so pointer-keyed, string-keyed and counted
// maps share this one algorithm.
class NiHashMap
{
public:
    explicit NiHashMap(std::uint32_t uiBuckets);
    virtual ~NiHashMap();
    NiHashMap(const NiHashMap&) = delete;
    NiHashMap& operator=(const NiHashMap&) = delete;

    [[nodiscard]] std::uint32_t GetCount() const { return m_uiCount; }
    [[nodiscard]] std::uint32_t GetBucketCount() const { return m_uiBuckets; }
    [[nodiscard]] bool IsEmpty() const { return m_uiCount == 0; }

    [[nodiscard]] bool GetAtRaw(std::uintptr_t key, std::uintptr_t& val) const;
    void SetAtRaw(std::uintptr_t key, std::uintptr_t val);
    bool RemoveAtRaw(std::uintptr_t key);
    void RemoveAll();

    [[nodiscard]] NiHashMapPos GetFirstPos() const;
    // Hands out the node's key and value and moves kPos on: along the chain,
    // then to the first node of the next non-empty bucket.
    void GetNextRaw(NiHashMapPos& kPos, std::uintptr_t& key, std::uintptr_t& val) const;

protected:
    virtual std::uint32_t KeyToHashIndex(std::uintptr_t key) const;
    virtual bool IsKeysEqual(std::uintptr_t key1, std::uintptr_t key2) const;
    virtual void SetValue(NiHashMapNode* pkNode, std::uintptr_t key, std::uintptr_t val);
    virtual void ClearValue(NiHashMapNode* pkNode);
    virtual NiHashMapNode* NewItem();
    virtual void DeleteItem(NiHashMapNode* pkNode);

    // Derived destructors run this while their overrides still exist.
    void DestroyAll();

private:
    NiHashMapNode** m_ppkBuckets;
    std::uint32_t m_uiBuckets;
    std::uint32_t m_uiCount = 0;
};

// Nodes from the shared list-node pool (the clone and processed maps).
class NiPooledHashMap : public NiHashMap
{
public:
    using NiHashMap::NiHashMap;
    ~NiPooledHashMap() override;

protected:
    NiHashMapNode* NewItem() override;
    void DeleteItem(NiHashMapNode* pkNode) override;
};

// Pointer -> pointer map (key modulo bucket count, pointer identity).
template <class K, class V>
class NiTPointerMap : public NiPooledHashMap
{
public:
    explicit NiTPointerMap(std::uint32_t uiBuckets = 37) : NiPooledHashMap(uiBuckets) {}

    bool GetAt(const K* pkKey, V*& pkVal) const
    {
        std::uintptr_t v = 0;
        if (!GetAtRaw(reinterpret_cast<std::uintptr_t>(pkKey), v))
            return false;
        pkVal = reinterpret_cast<V*>(v);
        return true;
    }
    void SetAt(const K* pkKey, V* pkVal)
    {
        SetAtRaw(reinterpret_cast<std::uintptr_t>(pkKey), reinterpret_cast<std::uintptr_t>(pkVal));
    }
    bool RemoveAt(const K* pkKey) { return RemoveAtRaw(reinterpret_cast<std::uintptr_t>(pkKey)); }
    void GetNext(NiHashMapPos& kPos, K*& pkKey, V*& pkVal) const
    {
        std::uintptr_t k = 0, v = 0;
        GetNextRaw(kPos, k, v);
        pkKey = reinterpret_cast<K*>(k);
        pkVal = reinterpret_cast<V*>(v);
    }
};

// Pointer -> 8-bit flag map; the flag is cleared when the node goes.
template <class K>
class NiTFlagMap : public NiPooledHashMap
{
public:
    explicit NiTFlagMap(std::uint32_t uiBuckets = 37) : NiPooledHashMap(uiBuckets) {}
    ~NiTFlagMap() override { DestroyAll(); }

    bool GetAt(const K* pkKey, std::uint8_t& ucVal) const
    {
        std::uintptr_t v = 0;
        if (!GetAtRaw(reinterpret_cast<std::uintptr_t>(pkKey), v))
            return false;
        ucVal = static_cast<std::uint8_t>(v);
        return true;
    }
    void SetAt(const K* pkKey, std::uint8_t ucVal) { SetAtRaw(reinterpret_cast<std::uintptr_t>(pkKey), ucVal); }
    bool RemoveAt(const K* pkKey) { return RemoveAtRaw(reinterpret_cast<std::uintptr_t>(pkKey)); }

protected:
    void ClearValue(NiHashMapNode* pkNode) override { pkNode->m_val = 0; }
};

// Narrow-string keys, compared byte for byte; heap nodes. Keys are the
// caller's pointers unless the map was asked to own copies.
class NiStringHashMapBase : public NiHashMap
{
public:
    NiStringHashMapBase(std::uint32_t uiBuckets, bool bCopyKeys) : NiHashMap(uiBuckets), m_bCopyKeys(bCopyKeys) {}
    ~NiStringHashMapBase() override;

    [[nodiscard]] bool GetCopyKeys() const { return m_bCopyKeys; }

protected:
    std::uint32_t KeyToHashIndex(std::uintptr_t key) const override;
    bool IsKeysEqual(std::uintptr_t key1, std::uintptr_t key2) const override;
    void SetValue(NiHashMapNode* pkNode, std::uintptr_t key, std::uintptr_t val) override;
    void DeleteItem(NiHashMapNode* pkNode) override;

private:
    bool m_bCopyKeys;
};

template <class V>
class NiStringHashMap : public NiStringHashMapBase
{
public:
    explicit NiStringHashMap(std::uint32_t uiBuckets = 37, bool bCopyKeys = false) : NiStringHashMapBase(uiBuckets, bCopyKeys) {}
    ~NiStringHashMap() override { DestroyAll(); }

    bool GetAt(const char* pcKey, V*& pkVal) const
    {
        std::uintptr_t v = 0;
        if (pcKey == nullptr || !GetAtRaw(reinterpret_cast<std::uintptr_t>(pcKey), v))
            return false;
        pkVal = reinterpret_cast<V*>(v);
        return true;
    }
    void SetAt(const char* pcKey, V* pkVal)
    {
        if (pcKey)
            SetAtRaw(reinterpret_cast<std::uintptr_t>(pcKey), reinterpret_cast<std::uintptr_t>(pkVal));
    }
    bool RemoveAt(const char* pcKey) { return pcKey && RemoveAtRaw(reinterpret_cast<std::uintptr_t>(pcKey)); }
    void GetNext(NiHashMapPos& kPos, const char*& pcKey, V*& pkVal) const
    {
        std::uintptr_t k = 0, v = 0;
        GetNextRaw(kPos, k, v);
        pcKey = reinterpret_cast<const char*>(k);
        pkVal = reinterpret_cast<V*>(v);
    }
};

// String keys with counted values: the map holds one reference per entry.
template <class V>
class NiStringRefMap : public NiStringHashMap<V>
{
public:
    explicit NiStringRefMap(std::uint32_t uiBuckets = 37, bool bCopyKeys = true) : NiStringHashMap<V>(uiBuckets, bCopyKeys) {}
    ~NiStringRefMap() override { this->DestroyAll(); }

protected:
    void SetValue(NiHashMapNode* pkNode, std::uintptr_t key, std::uintptr_t val) override
    {
        // New reference first: re-setting an entry to its own value, or to
        // an object only the old value keeps alive, must not free it.
        V* pkNew = reinterpret_cast<V*>(val);
        V* pkOld = reinterpret_cast<V*>(pkNode->m_val);
        if (pkNew)
            pkNew->IncRefCount();
        NiStringHashMap<V>::SetValue(pkNode, key, val);
        if (pkOld)
            pkOld->DecRefCount();
    }
    void ClearValue(NiHashMapNode* pkNode) override
    {
        V* pkOld = reinterpret_cast<V*>(pkNode->m_val);
        pkNode->m_val = 0;
        if (pkOld)
            pkOld->DecRefCount();
    }
};
