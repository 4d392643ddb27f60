#pragma once

#include "engine/core/NiRefObject.h"
#include "engine/core/NiRefPtr.h"
#include "platform/gfx/Gfx.h"

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

class NiD3DRenderState;
class NiEffectSet;
class NiLight;
class NiTexturingProperty;
class NiVertexColorProperty;

// The device light of one engine light, attached to the light as its
// renderer data.
struct NiDX9LightEntry
{
    gfx::D3DLIGHT9 m_kD3DLight;
    std::uint32_t m_uiRevID = 0;
    std::uint32_t m_uiIndex = 0; // the device light index: the light's own index
    std::uint8_t m_bStale = 0;
    std::uint8_t m_bEnabled = 0;
};

// Turns the engine lights of each drawn geometry into device lights, keeps
// one device light per engine light while it lives, switches them as the set
// of lights changes, sums the ambient lights into the ambient state, and sets
// the lighting and material-source states from the vertex-colour property.
class NiDX9LightManager : public NiRefObject
{
public:
    NiDX9LightManager(NiD3DRenderState* pkRenderState, gfx::IDirect3DDevice9* pkDevice);
    ~NiDX9LightManager() override;
    NiDX9LightManager(const NiDX9LightManager&) = delete;
    NiDX9LightManager& operator=(const NiDX9LightManager&) = delete;

    void Reset();
    // Every device light off at the start of a frame.
    void BeginFrame();
    void ApplyVertexColorMode(const NiEffectSet* pkEffects, const NiTexturingProperty* pkTexturing,
                              const NiVertexColorProperty* pkVertexColor);
    void SetLights(const NiEffectSet* pkEffects);
    void RemoveLight(NiLight* pkLight);
    void ReleaseAllLights();

    // Fills a device light from an engine light (no revision check).
    static void FillLight(const NiLight& kLight, gfx::D3DLIGHT9& kD3DLight);

    [[nodiscard]] bool GetLightingSwitch() const { return m_bLightingSwitch != 0; }
    [[nodiscard]] std::size_t GetActiveLightCount() const { return m_kActiveLights.size(); }
    [[nodiscard]] const NiDX9LightEntry* GetEntry(const NiLight* pkLight) const;

private:
    std::unordered_map<const NiLight*, std::unique_ptr<NiDX9LightEntry>> m_kLights;
    std::vector<NiLight*> m_kActiveLights;        // enabled device lights, newest first
    gfx::IDirect3DDevice9* m_pkD3DDevice9 = nullptr; // one reference
    NiD3DRenderState* m_pkRenderState = nullptr;     // link: the renderer owns both
    const NiEffectSet* m_pkLastEffects = nullptr;
    std::uint8_t m_bLastLightingSwitch = 0;
    std::uint32_t m_eApplyMode = 0;
    std::uint8_t m_bLightingSwitch = 0;
    std::uint32_t m_eLastSourceMode = 0;
    std::uint32_t m_uiMaxActiveLights = 0xFFFFFFFFu; // the device's count; no limit known without caps
};

using NiDX9LightManagerPtr = NiRefPtr<NiDX9LightManager>;
