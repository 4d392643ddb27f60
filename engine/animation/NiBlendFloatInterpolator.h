#pragma once

#include "engine/animation/NiBlendInterpolator.h"

#include <cstdint>

// Weighted mean of float items.
class NiBlendFloatInterpolator : public NiBlendInterpolator
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiBlendFloatInterpolator)

public:
    NiBlendFloatInterpolator() = default;
    NiBlendFloatInterpolator(bool bManagerControlled, float fWeightThreshold, std::uint8_t ucArraySize)
        : NiBlendInterpolator(bManagerControlled, fWeightThreshold, ucArraySize)
    {
    }
    ~NiBlendFloatInterpolator() override = default;

    [[nodiscard]] static NiObject* CreateObject();

    bool UpdateFloat(float fTime, NiObjectNET* pkTarget, float& kValue) override;
    [[nodiscard]] bool IsFloatValueSupported() const override { return true; }
    [[nodiscard]] bool InterpolatorIsCorrectType(NiInterpolator* pkInterpolator) const override
    {
        return pkInterpolator != nullptr && pkInterpolator->IsFloatValueSupported();
    }
    [[nodiscard]] float GetValue() const { return m_fFloatValue; }

    void ReadFromStream(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

private:
    bool StoreSingleValue(float fTime, NiObjectNET* pkTarget, float& kValue);
    bool BlendValues(float fTime, NiObjectNET* pkTarget, float& kValue);

    float m_fFloatValue = NI_MIN_FLOAT;
};
