#pragma once

#include "engine/animation/NiSingleInterpController.h"

// Drives a material's alpha. Files before 10.1.0.104 link float key data
// instead of an interpolator.
class NiAlphaController : public NiFloatInterpController
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiAlphaController)

public:
    NiAlphaController() = default;
    ~NiAlphaController() override = default;

    [[nodiscard]] static NiObject* CreateObject();

    void Update(float fTime) override;
    [[nodiscard]] bool InterpTargetIsCorrectType(NiObjectNET* pkTarget) const override;
    void GetTargetFloatValue(float& fValue) override;

    void ReadFromStream(NiObjectStream& kStream) override;
    void ResolveLinks(NiObjectStream& kStream) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;
};

using NiAlphaControllerPtr = NiRefPtr<NiAlphaController>;
