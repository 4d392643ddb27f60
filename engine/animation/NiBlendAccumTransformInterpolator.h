#pragma once

#include "engine/animation/NiBlendInterpolator.h"
#include "engine/animation/NiQuatTransform.h"
#include "engine/core/NiMatrix3x3.h"

#include <cstdint>
#include <memory>

// The blend of an accumulation root: it blends each item's motion since the
// previous update and adds it to a transform it keeps, so that a looping
// walk carries on forward instead of jumping back at each loop.
class NiBlendAccumTransformInterpolator : public NiBlendInterpolator
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiBlendAccumTransformInterpolator)

public:
    // Per item slot.
    struct AccumArrayItem
    {
        float m_fLastTime = NI_MIN_FLOAT;
        NiQuatTransform m_kLastValue;
        NiQuatTransform m_kDeltaValue;
        NiMatrix3x3 m_kRefFrame = NiMatrix3x3::IDENTITY;

        void ClearValues();
    };

    NiBlendAccumTransformInterpolator() = default;
    NiBlendAccumTransformInterpolator(bool bManagerControlled, float fWeightThreshold, std::uint8_t ucArraySize);
    ~NiBlendAccumTransformInterpolator() override = default;

    [[nodiscard]] static NiObject* CreateObject();

    std::uint8_t AddInterpInfo(NiInterpolator* pkInterpolator, float fWeight, std::int8_t cPriority = 0,
                               float fEaseSpinner = 1.0f) override;
    NiInterpolatorPtr RemoveInterpInfo(std::uint8_t ucIndex) override;
    bool ReallocateArrays() override;
    [[nodiscard]] bool InterpolatorIsCorrectType(NiInterpolator* pkInterpolator) const override
    {
        return pkInterpolator != nullptr && pkInterpolator->IsTransformValueSupported();
    }
    [[nodiscard]] bool IsTransformValueSupported() const override { return true; }

    bool UpdateTransform(float fTime, NiObjectNET* pkTarget, NiQuatTransform& kValue) override;
    // False while nothing has accumulated.
    bool GetAccumulatedTransform(NiQuatTransform& kValue) const;
    void SetAccumulatedTransform(const NiQuatTransform& kValue) { m_kAccumulatedTransform = kValue; }
    [[nodiscard]] const AccumArrayItem* GetAccumItem(std::uint8_t ucIndex) const
    {
        return ucIndex < m_ucArraySize && m_pkAccumArray ? &m_pkAccumArray[ucIndex] : nullptr;
    }

    void ReadFromStream(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

private:
    bool UpdateSingle(float fTime, NiObjectNET* pkTarget, NiQuatTransform& kValue);
    void AccumulateItem(std::uint8_t ucIndex, float fTime, NiObjectNET* pkTarget);
    bool Blend(NiQuatTransform& kValue);
    // The item's transform at a time (invalid when it gives none).
    static NiQuatTransform Ask(NiInterpolator* pkInterpolator, float fTime, NiObjectNET* pkTarget);

    NiQuatTransform m_kAccumulatedTransform;
    std::unique_ptr<AccumArrayItem[]> m_pkAccumArray;
    bool m_bReset = false;
};

using NiBlendAccumTransformInterpolatorPtr = NiRefPtr<NiBlendAccumTransformInterpolator>;
