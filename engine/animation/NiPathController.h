#pragma once

#include "engine/animation/NiPathCurve.h"
#include "engine/animation/NiTimeController.h"

// The old path controller: moves (and, following, turns) its object along
// the curve itself. Files before 10.1.0.104 are converted into a path
// interpolator after loading.
class NiPathController : public NiTimeController
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiPathController)

public:
    NiPathController() = default;
    ~NiPathController() override = default;

    [[nodiscard]] static NiObject* CreateObject();

    void Update(float fTime) override;
    [[nodiscard]] bool IsTransformController() const override { return true; }
    [[nodiscard]] bool IsTargetClassValid(NiObjectNET* pkTarget) const override;

    [[nodiscard]] NiPathCurve& GetCurve() { return m_kCurve; }
    [[nodiscard]] const NiPathCurve& GetCurve() const { return m_kCurve; }

    // Record: the time controller's, then the curve's (files before
    // 10.0.1.2 keep its flags in the flags word).
    void ReadFromStream(NiObjectStream& kStream) override;
    void ResolveLinks(NiObjectStream& kStream) override;
    bool RegisterForSave(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;
    void DropCountedLinks() override;

private:
    NiPathCurve m_kCurve;
};

using NiPathControllerPtr = NiRefPtr<NiPathController>;
