#pragma once

#include "engine/scene/NiExtraData.h"

#include <cstdint>

// An array of strings and the index of the chosen one (-1: none).
class NiSwitchStringExtraData : public NiExtraData
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiSwitchStringExtraData)

public:
    NiSwitchStringExtraData() = default;
    ~NiSwitchStringExtraData() override;

    [[nodiscard]] std::uint32_t GetSize() const { return m_uiSize; }
    [[nodiscard]] const char* GetValue(std::uint32_t uiIndex) const;
    // Copies the strings.
    void SetValue(std::uint32_t uiSize, const char* const* ppcStrings);
    [[nodiscard]] std::int32_t GetIndex() const { return m_iIndex; }
    void SetIndex(std::int32_t iIndex) { m_iIndex = iIndex; }

    void ReadFromStream(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

private:
    std::uint32_t m_uiSize = 0;
    char** m_ppcValue = nullptr;
    std::int32_t m_iIndex = -1;
};
