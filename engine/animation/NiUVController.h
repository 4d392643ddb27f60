#pragma once

#include "engine/animation/NiTimeController.h"
#include "engine/animation/NiUVData.h"

#include <cstdint>

// Scrolls and tiles one texture-coordinate set of a geometry from the four
// channels of its UV data. The coordinates are moved in place just before
// the geometry is drawn, relative to what was applied last.
class NiUVController : public NiTimeController
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiUVController)

public:
    NiUVController() = default;
    ~NiUVController() override = default;

    [[nodiscard]] static NiObject* CreateObject();

    // Only marks the deferred step pending.
    void Update(float fTime) override;
    void ApplyDeferredUpdate() override;
    // The UV data forgets what it applied.
    void SetTarget(NiObjectNET* pkTarget) override;
    [[nodiscard]] bool IsVertexController() const override { return true; }
    [[nodiscard]] bool IsTargetClassValid(NiObjectNET* pkTarget) const override;

    // Resets the hints and the key range.
    void SetUVData(NiUVData* pkData);
    [[nodiscard]] NiUVData* GetUVData() const { return m_spUVData; }
    [[nodiscard]] std::uint16_t GetTextureSet() const { return m_usTextureSet; }
    void SetTextureSet(std::uint16_t us) { m_usTextureSet = us; }
    [[nodiscard]] bool IsUpdatePending() const { return m_bUpdatePending; }

    // Record: the time controller's, u16 texture set, link to the UV data.
    void ReadFromStream(NiObjectStream& kStream) override;
    void ResolveLinks(NiObjectStream& kStream) override;
    bool RegisterForSave(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;
    void DropCountedLinks() override;

private:
    std::uint32_t m_auiLastIdx[NiUVData::CHANNEL_COUNT] = {0, 0, 0, 0};
    std::uint16_t m_usTextureSet = 0;
    NiUVDataPtr m_spUVData;
    bool m_bUpdatePending = false;
};

using NiUVControllerPtr = NiRefPtr<NiUVController>;
