#pragma once

#include "engine/animation/NiSingleInterpController.h"

// Shows and hides an object from a bool value (true = visible). Files before
// 10.1.0.104 link bool key data instead of an interpolator.
class NiVisController : public NiBoolInterpController
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiVisController)

public:
    NiVisController() = default;
    ~NiVisController() override = default;

    [[nodiscard]] static NiObject* CreateObject();

    void Update(float fTime) override;
    [[nodiscard]] bool InterpTargetIsCorrectType(NiObjectNET* pkTarget) const override;
    // True when the target is not app-culled.
    void GetTargetBoolValue(bool& bValue) override;

    void ReadFromStream(NiObjectStream& kStream) override;
    void ResolveLinks(NiObjectStream& kStream) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;
};

using NiVisControllerPtr = NiRefPtr<NiVisController>;
