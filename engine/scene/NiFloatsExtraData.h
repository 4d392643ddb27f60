#pragma once

#include "engine/scene/NiExtraData.h"

#include <cstdint>

// An array of floats.
class NiFloatsExtraData : public NiExtraData
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiFloatsExtraData)

public:
    NiFloatsExtraData() = default;
    ~NiFloatsExtraData() override;

    [[nodiscard]] std::uint32_t GetSize() const { return m_uiSize; }
    [[nodiscard]] const float* GetArray() const { return m_pfValue; }
    // Copies the values.
    void SetArray(std::uint32_t uiSize, const float* p);
    // False (nothing stored) when the index is not below the count.
    bool SetValue(std::uint32_t uiIndex, float fValue);
    // 0.0 when the index is not below the count.
    [[nodiscard]] float GetValue(std::uint32_t uiIndex) const;

    void ReadFromStream(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

private:
    std::uint32_t m_uiSize = 0;
    float* m_pfValue = nullptr;
};
