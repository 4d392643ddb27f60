#pragma once

#include "engine/animation/NiBlendInterpolator.h"

#include <cstdint>

// Weighted vote of bool items: true from half the weight on.
class NiBlendBoolInterpolator : public NiBlendInterpolator
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiBlendBoolInterpolator)

public:
    NiBlendBoolInterpolator() = default;
    NiBlendBoolInterpolator(bool bManagerControlled, float fWeightThreshold, std::uint8_t ucArraySize)
        : NiBlendInterpolator(bManagerControlled, fWeightThreshold, ucArraySize)
    {
    }
    ~NiBlendBoolInterpolator() override = default;

    [[nodiscard]] static NiObject* CreateObject();

    bool UpdateBool(float fTime, NiObjectNET* pkTarget, std::uint8_t& kValue) override;
    [[nodiscard]] bool IsBoolValueSupported() const override { return true; }
    [[nodiscard]] bool InterpolatorIsCorrectType(NiInterpolator* pkInterpolator) const override
    {
        return pkInterpolator != nullptr && pkInterpolator->IsBoolValueSupported();
    }
    [[nodiscard]] std::uint8_t GetValue() const { return m_bBoolValue; }

    void ReadFromStream(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

private:
    bool StoreSingleValue(float fTime, NiObjectNET* pkTarget, std::uint8_t& kValue);
    bool BlendValues(float fTime, NiObjectNET* pkTarget, std::uint8_t& kValue);

    std::uint8_t m_bBoolValue = INVALID_BOOL;
};
