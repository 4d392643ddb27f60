#pragma once

#include "engine/core/NiRefObject.h"
#include "platform/gfx/Gfx.h"

#include <cstdint>
#include <set>

class NiMaterialProperty;

// The device material of one engine material, attached to the property as
// its renderer data: the colours as the device takes them and the property
// revision they were taken at.
struct NiD3DMaterialData
{
    gfx::D3DMATERIAL9 m_kD3DMat;
    std::uint32_t m_uiRevID = 0;
};

// Sends a material to the device only when it changed or another one became
// current.
class NiD3DMaterialCache : public NiRefObject
{
public:
    NiD3DMaterialCache() = default;
    // Frees every record still attached to a property, clearing the
    // property's renderer data: a property outliving the renderer keeps no
    // pointer into freed memory.
    ~NiD3DMaterialCache() override;
    NiD3DMaterialCache(const NiD3DMaterialCache&) = delete;
    NiD3DMaterialCache& operator=(const NiD3DMaterialCache&) = delete;

    // Makes or refills the property's record and makes it current.
    void Update(NiMaterialProperty* pkMaterial);
    // Sends the current record when it changed since the last commit.
    void Commit(gfx::IDirect3DDevice9* pkDevice);
    // Current none, the engine's default material made current, dirty.
    void Reset();
    // Frees the property's record and forgets it when current.
    void Purge(NiMaterialProperty* pkMaterial);

    [[nodiscard]] const NiD3DMaterialData* GetCurrent() const { return m_pkCurrent; }
    [[nodiscard]] bool IsDirty() const { return m_bDirty != 0; }

private:
    NiD3DMaterialData* m_pkCurrent = nullptr; // link: owned through its property
    std::uint8_t m_bDirty = 0;
    // The properties holding a record of this cache.
    std::set<NiMaterialProperty*> m_kOwners;
};
