#pragma once

#include "engine/animation/NiExtraDataController.h"
#include "engine/core/NiColor.h"

#include <cstdint>

class NiFloatExtraData;

// Drives the value of the target's float extra data of the controller's name.
class NiFloatExtraDataController : public NiValueInterpController<NiExtraDataController, float>
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiFloatExtraDataController)

public:
    NiFloatExtraDataController() = default;
    ~NiFloatExtraDataController() override = default;

    [[nodiscard]] static NiObject* CreateObject();

    void Update(float fTime) override;
    // The extra data's current value; left as it is without one.
    void GetTargetValue(float& kValue) const;

    // Files before 10.1.0.104 link key data instead of an interpolator.
    void ReadFromStream(NiObjectStream& kStream) override;
    void ResolveLinks(NiObjectStream& kStream) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

protected:
    void GetPoseValue(float& kValue) override { GetTargetValue(kValue); }
};

using NiFloatExtraDataControllerPtr = NiRefPtr<NiFloatExtraDataController>;
