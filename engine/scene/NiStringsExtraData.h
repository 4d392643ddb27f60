#pragma once

#include "engine/scene/NiExtraData.h"

#include <cstdint>

// An array of strings (entries may be null).
class NiStringsExtraData : public NiExtraData
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiStringsExtraData)

public:
    NiStringsExtraData() = default;
    ~NiStringsExtraData() override;

    [[nodiscard]] std::uint32_t GetSize() const { return m_uiSize; }
    [[nodiscard]] const char* GetValue(std::uint32_t uiIndex) const;
    // Copies the strings.
    void SetValue(std::uint32_t uiSize, const char* const* ppcStrings);

    void ReadFromStream(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

private:
    std::uint32_t m_uiSize = 0;
    char** m_ppcValue = nullptr;
};
