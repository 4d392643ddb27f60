#pragma once

#include <cstdint>
#include <cstring>

// Growable array of pointers that knows both its used size (one past the
// highest index ever stored) and how many entries are non-null.
template <class T>
class NiSparsePtrArray
{
public:
    explicit NiSparsePtrArray(std::uint32_t uiCapacity = 0, std::uint32_t uiGrowBy = 1) : m_uiGrowBy(uiGrowBy ? uiGrowBy : 1)
    {
        SetCapacity(uiCapacity);
    }
    ~NiSparsePtrArray() { delete[] m_pBase; }
    NiSparsePtrArray(const NiSparsePtrArray&) = delete;
    NiSparsePtrArray& operator=(const NiSparsePtrArray&) = delete;

    [[nodiscard]] std::uint32_t GetCapacity() const { return m_uiCapacity; }
    [[nodiscard]] std::uint32_t GetSize() const { return m_uiSize; }
    [[nodiscard]] std::uint32_t GetEffectiveSize() const { return m_uiNonNull; }
    [[nodiscard]] std::uint32_t GetGrowBy() const { return m_uiGrowBy; }
    void SetGrowBy(std::uint32_t uiGrowBy) { m_uiGrowBy = uiGrowBy ? uiGrowBy : 1; }

    [[nodiscard]] T GetAt(std::uint32_t uiIndex) const { return uiIndex < m_uiCapacity ? m_pBase[uiIndex] : T(); }

    // Ignored (returns the index) when the index is not below the capacity.
    std::uint32_t SetAt(std::uint32_t uiIndex, T pElement)
    {
        if (uiIndex >= m_uiCapacity)
            return uiIndex;
        if (m_pBase[uiIndex] != T() && pElement == T())
            --m_uiNonNull;
        else if (m_pBase[uiIndex] == T() && pElement != T())
            ++m_uiNonNull;
        m_pBase[uiIndex] = pElement;
        if (uiIndex >= m_uiSize)
            m_uiSize = uiIndex + 1;
        return uiIndex;
    }

    std::uint32_t AddTail(T pElement)
    {
        if (m_uiSize >= m_uiCapacity)
            SetCapacity(m_uiSize + m_uiGrowBy);
        return SetAt(m_uiSize, pElement);
    }

    std::uint32_t AddFirstEmpty(T pElement)
    {
        for (std::uint32_t i = 0; i < m_uiSize; ++i)
        {
            if (m_pBase[i] == T())
                return SetAt(i, pElement);
        }
        return AddTail(pElement);
    }

    // Clears the entry; when it was the last used one the size drops by one.
    T RemoveAt(std::uint32_t uiIndex)
    {
        if (uiIndex >= m_uiSize)
            return T();
        T pOld = m_pBase[uiIndex];
        SetAt(uiIndex, T());
        if (uiIndex + 1 == m_uiSize)
            --m_uiSize;
        return pOld;
    }

    void SetCapacity(std::uint32_t uiCapacity)
    {
        if (uiCapacity == m_uiCapacity)
            return;
        for (std::uint32_t i = uiCapacity; i < m_uiSize; ++i)
        {
            if (m_pBase[i] != T())
                --m_uiNonNull;
        }
        if (m_uiSize > uiCapacity)
            m_uiSize = uiCapacity;
        T* pNew = nullptr;
        if (uiCapacity > 0)
        {
            pNew = new T[uiCapacity]();
            for (std::uint32_t i = 0; i < m_uiSize; ++i)
                pNew[i] = m_pBase[i];
        }
        delete[] m_pBase;
        m_pBase = pNew;
        m_uiCapacity = uiCapacity;
    }

    // Clears every entry; capacity kept.
    void RemoveAll()
    {
        for (std::uint32_t i = 0; i < m_uiCapacity; ++i)
            m_pBase[i] = T();
        m_uiSize = 0;
        m_uiNonNull = 0;
    }

private:
    T* m_pBase = nullptr;
    std::uint32_t m_uiCapacity = 0;
    std::uint32_t m_uiSize = 0;
    std::uint32_t m_uiNonNull = 0;
    std::uint32_t m_uiGrowBy = 1;
};

// Owns heap strings (new[]) appended to it, such as viewer strings.
class NiStringArray : public NiSparsePtrArray<char*>
{
public:
    explicit NiStringArray(std::uint32_t uiGrowBy = 16) : NiSparsePtrArray<char*>(0, uiGrowBy) {}
    ~NiStringArray()
    {
        for (std::uint32_t i = 0; i < GetSize(); ++i)
            delete[] GetAt(i);
    }
};
