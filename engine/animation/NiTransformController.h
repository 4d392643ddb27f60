#pragma once

#include "engine/animation/NiSingleInterpController.h"

class NiAVObject;
class NiTransformData;

// Drives the local transform of one object from one interpolator. Files
// before 10.1.0.104 linked transform key data instead; that is wrapped in an
// interpolator on load.
class NiTransformController : public NiSingleInterpController
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiTransformController)

public:
    NiTransformController() = default;
    ~NiTransformController() override = default;

    [[nodiscard]] static NiObject* CreateObject();

    void Update(float fTime) override;
    [[nodiscard]] bool IsTransformController() const override { return true; }
    [[nodiscard]] bool InterpTargetIsCorrectType(NiObjectNET* pkTarget) const override;
    [[nodiscard]] bool InterpolatorIsCorrectType(NiInterpolator* pkInterpolator, std::uint16_t) const override
    {
        return pkInterpolator != nullptr && pkInterpolator->IsTransformValueSupported();
    }
    [[nodiscard]] NiInterpolator* CreatePoseInterpolator(std::uint16_t usIndex) override;
    void SynchronizePoseInterpolator(NiInterpolator* pkInterpolator, std::uint16_t usIndex) override;
    [[nodiscard]] NiBlendInterpolator* CreateBlendInterpolator(std::uint16_t usIndex, bool bManagerControlled,
                                                               bool bAccumulate, float fWeightThreshold,
                                                               std::uint8_t ucArraySize) const override;

    // Writes the valid parts of a transform into an object's local
    // transform; a scale is applied as its absolute value.
    static void ApplyTransform(NiAVObject* pkTarget, const NiQuatTransform& kTransform);
    // A constant transform interpolator posed at the object's local
    // transform.
    [[nodiscard]] static NiQuatTransform GetPose(const NiAVObject* pkTarget);

    void ReadFromStream(NiObjectStream& kStream) override;
    void ResolveLinks(NiObjectStream& kStream) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;
};

using NiTransformControllerPtr = NiRefPtr<NiTransformController>;
