#pragma once

#include "engine/animation/NiTimeController.h"

#include <cstdint>

class NiAVObject;

// The old look-at controller: writes the look-at rotation straight into its
// object's local rotation. Files before 10.1.0.104 are converted into a
// look-at interpolator after loading.
class NiLookAtController : public NiTimeController
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiLookAtController)

public:
    NiLookAtController() = default;
    ~NiLookAtController() override = default;

    [[nodiscard]] static NiObject* CreateObject();

    void Update(float fTime) override;
    [[nodiscard]] bool IsTransformController() const override { return true; }
    [[nodiscard]] bool IsTargetClassValid(NiObjectNET* pkTarget) const override;

    [[nodiscard]] NiAVObject* GetLookAt() const { return m_pkLookAt; }
    void SetLookAt(NiAVObject* pk) { m_pkLookAt = pk; }
    // Bit 0 flip, bits 1-2 the axis, as the interpolator's.
    [[nodiscard]] std::uint16_t GetLookAtFlags() const { return m_usLookAtFlags; }
    void SetLookAtFlags(std::uint16_t us) { m_usLookAtFlags = us; }

    // Record: u16 flags (files before 10.0.1.2 keep them in the flags
    // word), the look-at link.
    void ReadFromStream(NiObjectStream& kStream) override;
    void ResolveLinks(NiObjectStream& kStream) override;
    bool RegisterForSave(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;
    void FinishClone(NiCloneContext& kCloning) override;

private:
    std::uint16_t m_usLookAtFlags = 0;
    NiAVObject* m_pkLookAt = nullptr; // the scene graph's
};

using NiLookAtControllerPtr = NiRefPtr<NiLookAtController>;
