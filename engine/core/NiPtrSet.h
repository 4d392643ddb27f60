#pragma once

#include <cstdint>

// Array of distinct pointers.
template <class T>
class NiPtrSet
{
public:
    NiPtrSet() = default;
    ~NiPtrSet() { delete[] m_pBase; }
    NiPtrSet(const NiPtrSet&) = delete;
    NiPtrSet& operator=(const NiPtrSet&) = delete;

    [[nodiscard]] std::uint32_t GetSize() const { return m_uiCount; }
    [[nodiscard]] std::uint32_t GetCapacity() const { return m_uiCapacity; }
    [[nodiscard]] T GetAt(std::uint32_t uiIndex) const { return uiIndex < m_uiCount ? m_pBase[uiIndex] : T(); }

    [[nodiscard]] int Find(T p) const
    {
        for (std::uint32_t i = 0; i < m_uiCount; ++i)
        {
            if (m_pBase[i] == p)
                return static_cast<int>(i);
        }
        return -1;
    }

    std::uint32_t AddUnique(T p)
    {
        int iFound = Find(p);
        if (iFound >= 0)
            return static_cast<std::uint32_t>(iFound);
        if (m_uiCount == m_uiCapacity)
            Realloc(m_uiCapacity ? m_uiCapacity * 2 : 1);
        m_pBase[m_uiCount] = p;
        return m_uiCount++;
    }

    // Keeps min(n, count) entries; a smaller n lowers the count.
    void Realloc(std::uint32_t n)
    {
        T* pNew = n ? new T[n]() : nullptr;
        if (m_uiCount > n)
            m_uiCount = n;
        for (std::uint32_t i = 0; i < m_uiCount; ++i)
            pNew[i] = m_pBase[i];
        delete[] m_pBase;
        m_pBase = pNew;
        m_uiCapacity = n;
    }

    void RemoveAll() { m_uiCount = 0; }

private:
    T* m_pBase = nullptr;
    std::uint32_t m_uiCapacity = 0;
    std::uint32_t m_uiCount = 0;
};
