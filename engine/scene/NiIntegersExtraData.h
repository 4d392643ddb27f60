#pragma once

#include "engine/scene/NiExtraData.h"

#include <cstdint>

// An array of 32-bit integers.
class NiIntegersExtraData : public NiExtraData
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiIntegersExtraData)

public:
    NiIntegersExtraData() = default;
    ~NiIntegersExtraData() override;

    [[nodiscard]] std::uint32_t GetSize() const { return m_uiSize; }
    [[nodiscard]] const std::int32_t* GetArray() const { return m_piValue; }
    // Copies the values.
    void SetArray(std::uint32_t uiSize, const std::int32_t* p);

    void ReadFromStream(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

private:
    std::uint32_t m_uiSize = 0;
    std::int32_t* m_piValue = nullptr;
};
