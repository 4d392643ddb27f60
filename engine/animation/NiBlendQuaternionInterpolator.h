#pragma once

#include "engine/animation/NiBlendInterpolator.h"

#include <cstdint>

// Normalised running mean of rotation items, each turned into the hemisphere of the sum so far.
class NiBlendQuaternionInterpolator : public NiBlendInterpolator
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiBlendQuaternionInterpolator)

public:
    NiBlendQuaternionInterpolator() = default;
    NiBlendQuaternionInterpolator(bool bManagerControlled, float fWeightThreshold, std::uint8_t ucArraySize)
        : NiBlendInterpolator(bManagerControlled, fWeightThreshold, ucArraySize)
    {
    }
    ~NiBlendQuaternionInterpolator() override = default;

    [[nodiscard]] static NiObject* CreateObject();

    bool UpdateQuaternion(float fTime, NiObjectNET* pkTarget, NiQuat& kValue) override;
    [[nodiscard]] bool IsQuaternionValueSupported() const override { return true; }
    [[nodiscard]] bool InterpolatorIsCorrectType(NiInterpolator* pkInterpolator) const override
    {
        return pkInterpolator != nullptr && pkInterpolator->IsQuaternionValueSupported();
    }
    [[nodiscard]] const NiQuat& GetValue() const { return m_kQuaternionValue; }

    void ReadFromStream(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

private:
    bool StoreSingleValue(float fTime, NiObjectNET* pkTarget, NiQuat& kValue);
    bool BlendValues(float fTime, NiObjectNET* pkTarget, NiQuat& kValue);

    NiQuat m_kQuaternionValue = NiQuat::INVALID_QUATERNION;
};
