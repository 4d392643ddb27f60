#pragma once

#include "engine/core/NiColor.h"
#include "engine/scene/NiExtraData.h"

// A colour with alpha.
class NiColorExtraData : public NiExtraData
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiColorExtraData)

public:
    NiColorExtraData() = default;

    [[nodiscard]] const NiColorRGBA& GetValue() const { return m_kColor; }
    void SetValue(float fR, float fG, float fB, float fA) { m_kColor = NiColorRGBA(fR, fG, fB, fA); }

    // Files before 5.0.0.14 hold three floats; alpha is then 1.
    void ReadFromStream(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

private:
    NiColorRGBA m_kColor = NiColorRGBA::BLACK;
};
