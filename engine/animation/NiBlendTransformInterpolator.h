#pragma once

#include "engine/animation/NiBlendInterpolator.h"

#include <cstdint>

// Blends transform items part by part: translation and scale as weighted means, rotation as a normalised sum.
class NiBlendTransformInterpolator final : public NiBlendInterpolator
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
    // The update that can give no value: one item and no time to ask it at
    // (a model's bones while its sequence does not run). It keeps the time,
    // as every update does, and says whether it was that update; a model's
    // controller asks every bone each pass.
    bool KeepTimeWhenNothingToAsk(float fTime)
    {
        if (m_ucInterpCount != 1 || (GetSingleUpdateTime(fTime) != NI_MIN_FLOAT && m_pkSingleInterpolator != nullptr))
            return false;
        m_fLastTime = fTime;
        return true;
    }
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
