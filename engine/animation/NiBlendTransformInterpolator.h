#pragma once

#include "engine/animation/NiBlendInterpolator.h"

#include <cstdint>

// Blends transform items part by part: translation and scale as weighted means, rotation as a normalised sum.
class NiBlendTransformInterpolator : public NiBlendInterpolator
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiBlendTransformInterpolator)

public:
    NiBlendTransformInterpolator() = default;
    NiBlendTransformInterpolator(bool bManagerControlled, float fWeightThreshold, std::uint8_t ucArraySize)
        : NiBlendInterpolator(bManagerControlled, fWeightThreshold, ucArraySize)
    {
    }
    ~NiBlendTransformInterpolator() override = default;

    [[nodiscard]] static NiObject* CreateObject();

    bool UpdateTransform(float fTime, NiObjectNET* pkTarget, NiQuatTransform& kValue) override;
    [[nodiscard]] bool IsTransformValueSupported() const override { return true; }
    [[nodiscard]] bool InterpolatorIsCorrectType(NiInterpolator* pkInterpolator) const override
    {
        return pkInterpolator != nullptr && pkInterpolator->IsTransformValueSupported();
    }

    void ReadFromStream(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

private:
    bool StoreSingleValue(float fTime, NiObjectNET* pkTarget, NiQuatTransform& kValue);
    bool BlendValues(float fTime, NiObjectNET* pkTarget, NiQuatTransform& kValue);
};
