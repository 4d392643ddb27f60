#pragma once

#include "engine/animation/NiExtraDataController.h"
#include "engine/core/NiColor.h"

#include <cstdint>

class NiColorExtraData;

// Drives the value of the target's color extra data (r, g, b, a) of the controller's name.
class NiColorExtraDataController : public NiValueInterpController<NiExtraDataController, NiColorRGBA>
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiColorExtraDataController)

public:
    NiColorExtraDataController() = default;
    ~NiColorExtraDataController() override = default;

    [[nodiscard]] static NiObject* CreateObject();

    void Update(float fTime) override;
    // The extra data's current value; left as it is without one.
    void GetTargetValue(NiColorRGBA& kValue) const;

    // Files before 10.1.0.104 link key data instead of an interpolator.
    void ReadFromStream(NiObjectStream& kStream) override;
    void ResolveLinks(NiObjectStream& kStream) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

protected:
    void GetPoseValue(NiColorRGBA& kValue) override { GetTargetValue(kValue); }
};

using NiColorExtraDataControllerPtr = NiRefPtr<NiColorExtraDataController>;
