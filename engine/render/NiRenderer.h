#pragma once

#include "engine/core/NiObject.h"
#include "engine/core/NiRefPtr.h"
#include "engine/core/NiColor.h"
#include "engine/render/NiRect.h"

#include <cstdint>

class NiAccumulator;
class NiDynamicEffect;
class NiEffectSet;
class NiGeometryData;
class NiMaterialProperty;
class NiParticles;
class NiPropertySet;
class NiSkinInstance;
class NiSkinPartition;
class NiTriBasedGeom;

// The renderer interface the scene graph talks to: the current renderer,
// the purges that drop cached data for objects going away, and the sorting
// accumulator visible geometry is offered to during culling.
class NiRenderer : public NiObject
{
    NiDeclareTypeInfo()

public:
    NiRenderer();
    ~NiRenderer() override;

    // The renderer in use; null when none exists. Not counted: the holder
    // that made the renderer owns it and clears this before it goes.
    [[nodiscard]] static NiRenderer* GetRenderer() { return ms_pkRenderer; }
    static void SetRenderer(NiRenderer* pkRenderer) { ms_pkRenderer = pkRenderer; }
    static void ResetRenderer() { ms_pkRenderer = nullptr; }

    // Act only when a current renderer exists.
    static void PurgeMaterialData(NiMaterialProperty* pkMaterial);
    static void PurgeEffectData(NiDynamicEffect* pkEffect);

    static void PurgeGeometryData(NiGeometryData* pkData);
    static void PurgeSkinPartitionData(NiSkinPartition* pkPartition);
    static void PurgeSkinInstanceData(NiSkinInstance* pkSkin);

    // The renderer's own handling of the purges.
    virtual void PurgeMaterial(NiMaterialProperty* pkMaterial) = 0;
    virtual void PurgeEffect(NiDynamicEffect* pkEffect) = 0;
    // A renderer that caches nothing for geometry keeps these.
    virtual void PurgeGeometry(NiGeometryData* pkData) { (void)pkData; }
    virtual void PurgeSkinPartition(NiSkinPartition* pkPartition) { (void)pkPartition; }
    virtual void PurgeSkinInstance(NiSkinInstance* pkSkin) { (void)pkSkin; }

    // Geometry draws: triangle shapes and strips, and particles.
    virtual void DrawTriShape(NiTriBasedGeom* pkGeometry) { (void)pkGeometry; }
    virtual void DrawPoints(NiParticles* pkParticles) { (void)pkParticles; }

    // State of the next draw, set by the geometry being drawn. Not counted:
    // the geometry holds both sets while it draws.
    void SetCurrentDrawState(NiPropertySet* pkProperties, NiEffectSet* pkEffects, std::uint32_t uiPlaneMask)
    {
        m_pkCurrentProperties = pkProperties;
        m_pkCurrentEffects = pkEffects;
        m_uiCurrentPlaneMask = uiPlaneMask;
    }
    [[nodiscard]] NiPropertySet* GetCurrentProperties() const { return m_pkCurrentProperties; }
    [[nodiscard]] NiEffectSet* GetCurrentEffects() const { return m_pkCurrentEffects; }
    [[nodiscard]] std::uint32_t GetCurrentPlaneMask() const { return m_uiCurrentPlaneMask; }

    [[nodiscard]] NiAccumulator* GetAccumulator() const;
    void SetAccumulator(NiAccumulator* pkAccumulator);

    // ClearBuffer flags.
    enum ClearFlags : std::uint32_t
    {
        CLEAR_BACKBUFFER = 0x1,
        CLEAR_ZBUFFER = 0x2,
        CLEAR_STENCIL = 0x4,
        CLEAR_ALL = CLEAR_BACKBUFFER | CLEAR_ZBUFFER | CLEAR_STENCIL,
    };

    // Frame operations.
    virtual void SetBackgroundColor(const NiColorRGBA& kColor) = 0;
    [[nodiscard]] virtual NiColorRGBA GetBackgroundColor() const = 0;
    // Bracket one frame's drawing; EndScene acts only inside a scene.
    virtual bool BeginScene() = 0;
    virtual void EndScene() = 0;
    // Clears part of the target (fractions of it; null: all of it).
    virtual void ClearBuffer(const NiRect<float>* pkViewport, std::uint32_t uiFlags) = 0;
    // Presents the finished frame.
    virtual void DisplayFrame() = 0;
    // The render target's size in pixels.
    [[nodiscard]] virtual std::uint32_t GetWidth() const = 0;
    [[nodiscard]] virtual std::uint32_t GetHeight() const = 0;
    [[nodiscard]] virtual std::uint32_t GetFlags() const = 0;

private:
    static NiRenderer* ms_pkRenderer;
    NiRefPtr<NiAccumulator> m_spAccumulator;
    NiPropertySet* m_pkCurrentProperties = nullptr;
    NiEffectSet* m_pkCurrentEffects = nullptr;
    std::uint32_t m_uiCurrentPlaneMask = 0;
};

using NiRendererPtr = NiRefPtr<NiRenderer>;
