#pragma once

#include "engine/scene/NiExtraData.h"

#include <cstdint>

// One float.
class NiFloatExtraData : public NiExtraData
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiFloatExtraData)

public:
    NiFloatExtraData() = default;
    explicit NiFloatExtraData(float value) : m_fValue(value) {}

    [[nodiscard]] float GetValue() const { return m_fValue; }
    void SetValue(float value) { m_fValue = value; }

    void ReadFromStream(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

private:
    float m_fValue = 0.0f;
};
