#pragma once

#include "engine/scene/NiExtraData.h"

#include <cstdint>

// One 32-bit integer.
class NiIntegerExtraData : public NiExtraData
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiIntegerExtraData)

public:
    NiIntegerExtraData() = default;
    explicit NiIntegerExtraData(std::int32_t value) : m_iValue(value) {}

    [[nodiscard]] std::int32_t GetValue() const { return m_iValue; }
    void SetValue(std::int32_t value) { m_iValue = value; }

    void ReadFromStream(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

private:
    std::int32_t m_iValue = 0;
};
