#pragma once

#include "engine/core/NiRefPtr.h"
#include "engine/scene/NiExtraData.h"

#include <cstdint>
#include <memory>

// The shader system's constant mapping for one geometry: entries of a key
// word and the extra data (of the same owner) that supplies the value. Kept
// at run time only: never written, never copied with its owner.
class NiSCMExtraData : public NiExtraData
{
    NiDeclareTypeInfo()

public:
    struct Entry
    {
        std::uint32_t m_uiKey = 0;
        // Counted: the entry keeps its source alive when the owner removes
        // or replaces it, so the mapping never reads a freed object.
        NiRefPtr<NiExtraData> m_spSource;
    };

    NiSCMExtraData(const char* pcName, std::uint32_t uiFirstCapacity, std::uint32_t uiSecondCapacity);

    [[nodiscard]] bool IsStreamable() const override { return false; }
    [[nodiscard]] bool IsCloneable() const override { return false; }

    // Array 0 or 1. False when the array is full.
    bool AddEntry(std::uint32_t uiArray, std::uint32_t uiKey, NiExtraData* pkSource);
    [[nodiscard]] std::uint32_t GetCapacity(std::uint32_t uiArray) const;
    [[nodiscard]] std::uint32_t GetCount(std::uint32_t uiArray) const;
    // Null beyond the count.
    [[nodiscard]] const Entry* GetEntry(std::uint32_t uiArray, std::uint32_t uiIndex) const;
    // The next entry a reader of the array expects (array 0 or 1).
    [[nodiscard]] std::uint32_t GetCursor(std::uint32_t uiArray) const { return uiArray < 2 ? m_auiCursor[uiArray] : 0; }
    void SetCursor(std::uint32_t uiArray, std::uint32_t uiIndex)
    {
        if (uiArray < 2)
            m_auiCursor[uiArray] = uiIndex;
    }

private:
    std::uint32_t m_auiCapacity[2];
    std::uint32_t m_auiCount[2] = {0, 0};
    std::uint32_t m_auiCursor[2] = {0, 0};
    std::unique_ptr<Entry[]> m_aspEntries[2];
};
