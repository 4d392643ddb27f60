#pragma once

#include "engine/scene/NiFloatExtraData.h"
#include "engine/shaders/framework/NiD3DController.h"

// Keeps the time shaders read up to date: on every update the controller's
// time goes into the target's float extra data "ZRB_UpdateTime". Made for
// the geometry that needs it when a shader is set up, so it is never
// written to scene files.
class NiD3DTimeSyncController : public NiD3DController
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiD3DTimeSyncController)

public:
    static constexpr const char* TIME_NAME = "ZRB_UpdateTime";

    NiD3DTimeSyncController() = default;
    ~NiD3DTimeSyncController() override;

    void Update(float fTime) override;
    // Keeps the target's float entry of the time name, or gives the target
    // a new one (an entry of that name of another class is replaced).
    void SetTarget(NiObjectNET* pkTarget) override;
    [[nodiscard]] bool IsStreamable() const override { return false; }

    [[nodiscard]] NiFloatExtraData* GetTimeData() const { return m_spTimeData; }

    void ReadFromStream(NiObjectStream&) override {}
    void ResolveLinks(NiObjectStream&) override {}
    void WriteToStream(NiObjectStream&) override {}
    // Only the rest of the target's chain is registered.
    bool RegisterForSave(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

private:
    NiRefPtr<NiFloatExtraData> m_spTimeData;
};

using NiD3DTimeSyncControllerPtr = NiRefPtr<NiD3DTimeSyncController>;
