#pragma once

#include "engine/core/NiRefObject.h"
#include "engine/core/NiRefPtr.h"
#include "engine/render/NiDX9GeometryBufferGroup.h"
#include "engine/scene/NiGeometryData.h"
#include "platform/gfx/Gfx.h"

#include <cstdint>
#include <vector>

class NiScreenPolygon;
class NiScreenTexture;
class NiSkinInstance;

// Makes and lists the buffer groups and makes and releases the geometry
// records in them.
class NiDX9GeometryDataManager : public NiRefObject, public NiGeometryDataManager
{
public:
    // Null when memory runs out. bHardwareSkinning: records per skin partition.
    [[nodiscard]] static NiDX9GeometryDataManager* Create(gfx::IDirect3DDevice9* pkDevice, bool bHardwareSkinning);
    ~NiDX9GeometryDataManager() override;

    virtual NiDX9GeometryBufferGroup* CreateGroup(std::uint32_t uiKind, std::uint32_t uiIdentifierBits);
    virtual bool DestroyGroup(NiDX9GeometryBufferGroup* pkGroup);
    virtual bool IsGroupEmpty(const NiDX9GeometryBufferGroup* pkGroup) const;
    virtual bool CreateScreenTextureData(NiDX9GeometryBufferGroup* pkGroup, NiScreenTexture* pkTexture,
                                         std::uint32_t uiFlags);
    virtual bool CreateScreenPolygonData(NiDX9GeometryBufferGroup* pkGroup, NiScreenPolygon* pkPolygon,
                                         std::uint32_t uiFlags);
    virtual bool CreateGeometryData(NiDX9GeometryBufferGroup* pkGroup, NiGeometryData* pkData, NiSkinInstance* pkSkin,
                                    std::uint32_t uiFlags);
    virtual bool ReleaseScreenTextureData(NiScreenTexture* pkTexture);
    virtual bool ReleaseScreenPolygonData(NiScreenPolygon* pkPolygon);
    virtual bool ReleaseGeometryData(NiGeometryData* pkData, NiSkinInstance* pkSkin);

    // The record-making core with an explicit switch (the drawing code's own).
    bool CreateGeometryRecords(NiDX9GeometryBufferGroup* pkGroup, NiGeometryData* pkData, NiSkinInstance* pkSkin,
                               std::uint32_t uiFlags, bool bHardwareSkinning);
    bool ReleaseSkinPartitionData(NiSkinInstance* pkSkin);

    [[nodiscard]] std::uint32_t GetGroupCount() const { return static_cast<std::uint32_t>(m_kGroups.size()); }
    [[nodiscard]] NiDX9GeometryBufferGroup* GetGroup(std::uint32_t ui) const
    {
        return ui < m_kGroups.size() ? m_kGroups[ui] : nullptr;
    }
    [[nodiscard]] bool GetHardwareSkinning() const { return m_bHardwareSkinning; }

private:
    NiDX9GeometryDataManager(gfx::IDirect3DDevice9* pkDevice, bool bHardwareSkinning);
    static void PurgeIfEmpty(NiDX9GeometryBufferGroup* pkGroup);
    // Another live manager that lists the group (the process-wide kinds), or null.
    [[nodiscard]] NiDX9GeometryDataManager* FindOtherHolder(const NiDX9GeometryBufferGroup* pkGroup) const;

    std::vector<NiDX9GeometryBufferGroup*> m_kGroups; // owned
    gfx::IDirect3DDevice9* m_pkDevice = nullptr;      // one reference
    bool m_bHardwareSkinning = false;
};

using NiDX9GeometryDataManagerPtr = NiRefPtr<NiDX9GeometryDataManager>;
