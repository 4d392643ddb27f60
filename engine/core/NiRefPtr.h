#pragma once

#include <cstddef>
#include <utility>

// Counted pointer to an engine object (anything with IncRefCount and
// DecRefCount). Null is allowed.
template <class T>
class NiRefPtr
{
public:
    NiRefPtr() = default;
    NiRefPtr(std::nullptr_t) {}
    NiRefPtr(T* pkObject) : m_pkObject(pkObject)
    {
        if (m_pkObject)
            m_pkObject->IncRefCount();
    }
    NiRefPtr(const NiRefPtr& kOther) : NiRefPtr(kOther.m_pkObject) {}
    template <class U>
    NiRefPtr(const NiRefPtr<U>& kOther) : NiRefPtr(static_cast<T*>(kOther.Get()))
    {
    }
    NiRefPtr(NiRefPtr&& kOther) noexcept : m_pkObject(std::exchange(kOther.m_pkObject, nullptr)) {}
    ~NiRefPtr()
    {
        if (m_pkObject)
            m_pkObject->DecRefCount();
    }

    NiRefPtr& operator=(T* pkObject)
    {
        if (pkObject != m_pkObject)
        {
            // The new object gets its reference before the old one is let
            // go: the old object may own the only reference to the new one.
            if (pkObject)
                pkObject->IncRefCount();
            T* pkOld = m_pkObject;
            m_pkObject = pkObject;
            if (pkOld)
                pkOld->DecRefCount();
        }
        return *this;
    }
    NiRefPtr& operator=(const NiRefPtr& kOther) { return *this = kOther.m_pkObject; }
    NiRefPtr& operator=(NiRefPtr&& kOther) noexcept
    {
        if (this != &kOther)
        {
            T* pkOld = m_pkObject;
            m_pkObject = std::exchange(kOther.m_pkObject, nullptr);
            if (pkOld)
                pkOld->DecRefCount();
        }
        return *this;
    }
    NiRefPtr& operator=(std::nullptr_t)
    {
        Clear();
        return *this;
    }

    void Clear()
    {
        if (T* pkOld = std::exchange(m_pkObject, nullptr))
            pkOld->DecRefCount();
    }

    // Takes over a reference the caller counted already.
    [[nodiscard]] static NiRefPtr Adopt(T* pkObject)
    {
        NiRefPtr sp;
        sp.m_pkObject = pkObject;
        return sp;
    }

    // Gives up the pointer and the reference it held, which the caller now
    // owns (the counterpart of Adopt).
    [[nodiscard]] T* Detach() { return std::exchange(m_pkObject, nullptr); }

    [[nodiscard]] T* Get() const { return m_pkObject; }
    operator T*() const { return m_pkObject; }
    T* operator->() const { return m_pkObject; }
    T& operator*() const { return *m_pkObject; }
    explicit operator bool() const { return m_pkObject != nullptr; }

private:
    T* m_pkObject = nullptr;
};
