#pragma once

#include "engine/animation/NiExtraDataController.h"
#include "engine/core/NiColor.h"

#include <cstdint>

class NiFloatExtraData;

// Drives the value of the target's float extra data of the controller's name.
class NiFloatExtraDataController : public NiExtraDataController
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiFloatExtraDataController)

public:
    NiFloatExtraDataController() = default;
    ~NiFloatExtraDataController() override = default;

    [[nodiscard]] static NiObject* CreateObject();

    void Update(float fTime) override;
    [[nodiscard]] NiInterpolator* CreatePoseInterpolator(std::uint16_t usIndex) override;
    void SynchronizePoseInterpolator(NiInterpolator* pkInterpolator, std::uint16_t usIndex) override;
    [[nodiscard]] NiBlendInterpolator* CreateBlendInterpolator(std::uint16_t usIndex, bool bManagerControlled,
                                                               bool bAccumulate, float fWeightThreshold,
                                                               std::uint8_t ucArraySize) const override;
    [[nodiscard]] bool InterpolatorIsCorrectType(NiInterpolator* pkInterpolator, std::uint16_t) const override
    {
        return pkInterpolator != nullptr && pkInterpolator->IsFloatValueSupported();
    }
    // The extra data's current value; left as it is without one.
    void GetTargetValue(float& kValue) const;

    // Files before 10.1.0.104 link key data instead of an interpolator.
    void ReadFromStream(NiObjectStream& kStream) override;
    void ResolveLinks(NiObjectStream& kStream) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;
};

using NiFloatExtraDataControllerPtr = NiRefPtr<NiFloatExtraDataController>;
