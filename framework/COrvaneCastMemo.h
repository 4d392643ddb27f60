#pragma once

#include <cstddef>
#include <cstdint>
#include <typeinfo>

// A dynamic cast remembered by the object's dynamic type. The answer, and
// the pointer's adjustment, depend on nothing else (the classes it serves
// have no virtual bases), while the AI's hottest paths ask it hundreds of
// thousands of times a game day about a handful of classes: the library's
// cast walks the class records and compares their names each time. A few
// types are kept, the oldest replaced first. Constant-initialised, so a
// function-local thread_local needs no guard.
template <class To> class COrvaneCastMemo
{
public:
    template <class From> To* Cast(From* pkFrom)
    {
        if (pkFrom == nullptr)
            return nullptr;
        const std::type_info* pkType = &typeid(*pkFrom);
        const auto uiFrom = reinterpret_cast<std::uintptr_t>(pkFrom);
        for (const Entry& kEntry : m_akEntries)
        {
            if (kEntry.m_pkType == pkType)
                return kEntry.m_bNull ? nullptr : reinterpret_cast<To*>(uiFrom + kEntry.m_iOffset);
        }
        To* pkTo = dynamic_cast<To*>(pkFrom);
        Entry& kEntry = m_akEntries[m_uiNext];
        m_uiNext = (m_uiNext + 1) % ENTRIES;
        kEntry.m_pkType = pkType;
        kEntry.m_bNull = pkTo == nullptr;
        kEntry.m_iOffset = pkTo != nullptr ? reinterpret_cast<std::uintptr_t>(pkTo) - uiFrom : 0;
        return pkTo;
    }

private:
    static constexpr std::size_t ENTRIES = 8;
    struct Entry
    {
        const std::type_info* m_pkType = nullptr;
        std::uintptr_t m_iOffset = 0;
        bool m_bNull = true;
    };
    Entry m_akEntries[ENTRIES] = {};
    std::size_t m_uiNext = 0;
};
