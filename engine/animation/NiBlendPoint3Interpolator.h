#pragma once

#include "engine/animation/NiBlendInterpolator.h"

#include <cstdint>

// Weighted mean of point items.
class NiBlendPoint3Interpolator : public NiBlendInterpolator
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiBlendPoint3Interpolator)

public:
    NiBlendPoint3Interpolator() = default;
    NiBlendPoint3Interpolator(bool bManagerControlled, float fWeightThreshold, std::uint8_t ucArraySize)
        : NiBlendInterpolator(bManagerControlled, fWeightThreshold, ucArraySize)
    {
    }
    ~NiBlendPoint3Interpolator() override = default;

    [[nodiscard]] static NiObject* CreateObject();

    bool UpdatePoint3(float fTime, NiObjectNET* pkTarget, NiVec3& kValue) override;
    [[nodiscard]] bool IsPoint3ValueSupported() const override { return true; }
    [[nodiscard]] bool InterpolatorIsCorrectType(NiInterpolator* pkInterpolator) const override
    {
        return pkInterpolator != nullptr && pkInterpolator->IsPoint3ValueSupported();
    }
    [[nodiscard]] const NiVec3& GetValue() const { return m_kPoint3Value; }
    [[nodiscard]] bool IsValueValid() const { return m_bValidValue != 0; }

    void ReadFromStream(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

private:
    bool StoreSingleValue(float fTime, NiObjectNET* pkTarget, NiVec3& kValue);
    bool BlendValues(float fTime, NiObjectNET* pkTarget, NiVec3& kValue);

    NiVec3 m_kPoint3Value = INVALID_POINT3;
    std::uint8_t m_bValidValue = 0;
};
