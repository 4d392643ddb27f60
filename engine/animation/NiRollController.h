#pragma once

#include "engine/animation/NiFloatController.h"

#include <cstdint>

// The old roll controller: turns its object about its local Z axis by the
// value of its float keys, on top of the rotation it already has.
class NiRollController : public NiFloatController
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiRollController)

public:
    NiRollController() = default;
    ~NiRollController() override = default;

    [[nodiscard]] static NiObject* CreateObject();

    void Update(float fTime) override;
    [[nodiscard]] bool IsTransformController() const override { return true; }
    [[nodiscard]] bool IsTargetClassValid(NiObjectNET* pkTarget) const override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

private:
    std::uint32_t m_uiLastIdx = 0;
};

using NiRollControllerPtr = NiRefPtr<NiRollController>;
