#pragma once

#include "engine/core/NiListNodePool.h"

#include <cstdint>

// Position in a list: the node itself; null past the end.
using NiListPos = NiListNode*;

// Doubly linked list of pointer-sized elements over pooled nodes. The
// untyped base carries the algorithms once; NiTList and NiRefList give them
// their element types.
class NiListBase
{
public:
    NiListBase() = default;
    virtual ~NiListBase() = default; // derived classes call RemoveAll
    NiListBase(const NiListBase&) = delete;
    NiListBase& operator=(const NiListBase&) = delete;

    [[nodiscard]] std::uint32_t GetSize() const { return m_uiCount; }
    [[nodiscard]] bool IsEmpty() const { return m_uiCount == 0; }
    [[nodiscard]] NiListPos GetHeadPos() const { return m_pkHead; }
    [[nodiscard]] NiListPos GetTailPos() const { return m_pkTail; }
    [[nodiscard]] static NiListPos GetNextPos(NiListPos kPos) { return kPos ? kPos->m_pkNext : nullptr; }
    [[nodiscard]] static NiListPos GetPrevPos(NiListPos kPos) { return kPos ? kPos->m_pkPrev : nullptr; }

    void RemoveAll();

protected:
    virtual NiListNode* NewNode() { return NiListNodePool::Allocate(); }
    virtual void DeleteNode(NiListNode* pkNode) { NiListNodePool::Free(pkNode); }
    // Called on a node's element before the node goes back (counted lists
    // release their reference here).
    virtual void ReleaseElement(NiListNode*) {}
    virtual void AcquireElement(NiListNode*) {}

    std::uint32_t AddHeadRaw(void* pvElement);
    std::uint32_t AddTailRaw(void* pvElement);
    // AddHeadRaw for an element whose list reference the caller counted
    // already: AcquireElement is not called.
    std::uint32_t AddHeadRawCounted(void* pvElement);
    // Unlinks and frees the node; returns its element (without releasing it:
    // the caller takes over whatever reference it held).
    void* RemovePosRaw(NiListPos& kPos);
    NiListPos FindPosRaw(const void* pvElement) const;

private:
    // Links a new node for the element between two neighbours (null: that
    // end of the list); returns the new count.
    std::uint32_t InsertRaw(void* pvElement, NiListNode* pkPrev, NiListNode* pkNext, bool bAcquire = true);

    NiListNode* m_pkHead = nullptr;
    NiListNode* m_pkTail = nullptr;
    std::uint32_t m_uiCount = 0;
};

template <class T>
class NiTList : public NiListBase
{
public:
    ~NiTList() override { RemoveAll(); }

    std::uint32_t AddHead(T* pkElement) { return AddHeadRaw(pkElement); }
    std::uint32_t AddTail(T* pkElement) { return AddTailRaw(pkElement); }
    // Empty list: null, list unchanged.
    T* RemoveHead()
    {
        NiListPos kPos = GetHeadPos();
        return kPos ? static_cast<T*>(RemovePosRaw(kPos)) : nullptr;
    }
    T* RemoveTail()
    {
        NiListPos kPos = GetTailPos();
        return kPos ? static_cast<T*>(RemovePosRaw(kPos)) : nullptr;
    }
    // Removes the node at kPos, moving kPos to the following node.
    T* RemovePos(NiListPos& kPos) { return kPos ? static_cast<T*>(RemovePosRaw(kPos)) : nullptr; }
    // Removes the first node holding the element; false when absent.
    bool Remove(const T* pkElement)
    {
        NiListPos kPos = FindPosRaw(pkElement);
        if (kPos == nullptr)
            return false;
        RemovePosRaw(kPos);
        return true;
    }
    [[nodiscard]] NiListPos FindPos(const T* pkElement) const { return FindPosRaw(pkElement); }
    [[nodiscard]] static T* Get(NiListPos kPos) { return kPos ? static_cast<T*>(kPos->m_pvElement) : nullptr; }
    // Returns the element at kPos and advances kPos.
    static T* GetNext(NiListPos& kPos)
    {
        T* pkElement = Get(kPos);
        kPos = GetNextPos(kPos);
        return pkElement;
    }
    [[nodiscard]] T* GetHead() const { return Get(GetHeadPos()); }
    [[nodiscard]] T* GetTail() const { return Get(GetTailPos()); }
};

// A list whose elements are counted references: storing adds one, a node's
// removal or the list's destruction releases it.
template <class T>
class NiRefList : public NiTList<T>
{
public:
    ~NiRefList() override { this->RemoveAll(); }

    // The removed element comes back alive in a counted pointer-free form:
    // callers that keep it must take their reference before the list's goes.
    // To keep that safe the element is released only after the caller's
    // pointer exists, so these return a held reference through the out arg.
    template <class P>
    bool RemoveHead(P& spOut)
    {
        NiListPos kPos = this->GetHeadPos();
        return RemoveAtPos(kPos, spOut);
    }
    template <class P>
    bool RemoveTail(P& spOut)
    {
        NiListPos kPos = this->GetTailPos();
        return RemoveAtPos(kPos, spOut);
    }
    template <class P>
    bool RemovePos(NiListPos& kPos, P& spOut)
    {
        return RemoveAtPos(kPos, spOut);
    }
    bool Remove(const T* pkElement)
    {
        NiListPos kPos = this->FindPos(pkElement);
        if (kPos == nullptr)
            return false;
        T* pk = static_cast<T*>(this->RemovePosRaw(kPos));
        if (pk)
            pk->DecRefCount();
        return true;
    }

    // Adds an element whose reference for the list the caller counted
    // already (a loader counts without a locked instruction what no other
    // thread can reach yet).
    std::uint32_t AddHeadCounted(T* pkElement) { return this->AddHeadRawCounted(pkElement); }

protected:
    void AcquireElement(NiListNode* pkNode) override
    {
        if (pkNode->m_pvElement)
            static_cast<T*>(pkNode->m_pvElement)->IncRefCount();
    }
    void ReleaseElement(NiListNode* pkNode) override
    {
        if (pkNode->m_pvElement)
            static_cast<T*>(pkNode->m_pvElement)->DecRefCount();
    }

private:
    template <class P>
    bool RemoveAtPos(NiListPos& kPos, P& spOut)
    {
        if (kPos == nullptr)
            return false;
        T* pk = static_cast<T*>(this->RemovePosRaw(kPos));
        spOut = pk; // the caller's reference first ...
        if (pk)
            pk->DecRefCount(); // ... then the node's own goes
        return true;
    }
};
