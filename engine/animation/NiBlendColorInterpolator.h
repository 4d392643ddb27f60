#pragma once

#include "engine/animation/NiBlendInterpolator.h"

#include <cstdint>

// Weighted mean of colour items, alpha included.
class NiBlendColorInterpolator : public NiBlendInterpolator
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiBlendColorInterpolator)

public:
    NiBlendColorInterpolator() = default;
    NiBlendColorInterpolator(bool bManagerControlled, float fWeightThreshold, std::uint8_t ucArraySize)
        : NiBlendInterpolator(bManagerControlled, fWeightThreshold, ucArraySize)
    {
    }
    ~NiBlendColorInterpolator() override = default;

    [[nodiscard]] static NiObject* CreateObject();

    bool UpdateColor(float fTime, NiObjectNET* pkTarget, NiColorRGBA& kValue) override;
    [[nodiscard]] bool IsColorValueSupported() const override { return true; }
    [[nodiscard]] bool InterpolatorIsCorrectType(NiInterpolator* pkInterpolator) const override
    {
        return pkInterpolator != nullptr && pkInterpolator->IsColorValueSupported();
    }
    [[nodiscard]] const NiColorRGBA& GetValue() const { return m_kColorValue; }
    [[nodiscard]] bool IsValueValid() const { return m_bValidValue != 0; }

    void ReadFromStream(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

private:
    bool StoreSingleValue(float fTime, NiObjectNET* pkTarget, NiColorRGBA& kValue);
    bool BlendValues(float fTime, NiObjectNET* pkTarget, NiColorRGBA& kValue);

    NiColorRGBA m_kColorValue = INVALID_COLOR;
    std::uint8_t m_bValidValue = 0;
};
