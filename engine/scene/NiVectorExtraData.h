#pragma once

#include "engine/scene/NiExtraData.h"

// Four floats.
class NiVectorExtraData : public NiExtraData
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiVectorExtraData)

public:
    NiVectorExtraData() = default;

    [[nodiscard]] const float* GetValue() const { return m_afVector; }
    void SetValue(float fX, float fY, float fZ, float fW);

    // Files before 5.0.0.14 hold three floats; the fourth is then 0.
    void ReadFromStream(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

private:
    float m_afVector[4] = {0.0f, 0.0f, 0.0f, 0.0f};
};
