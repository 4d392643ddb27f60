#pragma once

#include "engine/scene/NiExtraData.h"

#include <cstdint>

// A block of bytes.
class NiBinaryExtraData : public NiExtraData
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiBinaryExtraData)

public:
    NiBinaryExtraData() = default;
    // Takes ownership of the new[] buffer.
    NiBinaryExtraData(std::uint32_t uiSize, std::uint8_t* pucData);
    ~NiBinaryExtraData() override;

    [[nodiscard]] std::uint32_t GetSize() const { return m_uiSize; }
    [[nodiscard]] const std::uint8_t* GetData() const { return m_pucData; }
    // Takes ownership of the new[] buffer; the old one is freed.
    void SetValue(std::uint32_t uiSize, std::uint8_t* pucData);

    void ReadFromStream(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

private:
    std::uint32_t m_uiSize = 0;
    std::uint8_t* m_pucData = nullptr;
};
