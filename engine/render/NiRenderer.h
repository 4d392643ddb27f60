#pragma once

#include "engine/core/NiColor.h"
#include "engine/core/NiObject.h"
#include "engine/core/NiRecursiveLock.h"
#include "engine/core/NiRefPtr.h"
#include "engine/render/NiRect.h"

#include <cstdint>

class NiAccumulator;
class NiBltSource;
class NiDynamicEffect;
class NiEffectSet;
class NiGeometryData;
class NiLines;
class NiParticles;
class NiPixelData;
class NiRenderedCubeMap;
class NiRenderedTexture;
class NiSkinInstance;
class NiSkinPartition;
class NiTriBasedGeom;
class NiMaterialProperty;
class NiPropertySet;
class NiScreenPolygon;
class NiScreenTexture;
class NiSourceCubeMap;
class NiTexture;
struct NiViewFrustum;
class NiVec3;

// The renderer interface the engine talks to: the one current renderer, the
// purges that drop cached data for objects going away, the frame operations
// the framework drives, and the sorting accumulator visible geometry is
// offered to during culling.
class NiRenderer : public NiObject
{
    NiDeclareTypeInfo()

public:
    // A new renderer becomes the current one.
    NiRenderer();
    ~NiRenderer() override;
    NiRenderer(const NiRenderer&) = delete;
    NiRenderer& operator=(const NiRenderer&) = delete;

    // The renderer in use; null when none exists. Not counted: the holder
    // that made the renderer owns it and clears this before it goes.
    [[nodiscard]] static NiRenderer* GetRenderer() { return ms_pkRenderer; }
    static void SetRenderer(NiRenderer* pkRenderer) { ms_pkRenderer = pkRenderer; }
    // From the engine's shut-down: no renderer is current any more.
    static void ClearRenderer() { ms_pkRenderer = nullptr; }
    // The tests' reset of the same process-wide pointer.
    static void ResetRenderer() { ClearRenderer(); }

    // Called from the destructors of the objects the renderer keeps data
    // for; they act only when a current renderer exists.
    static void PurgeMaterialData(NiMaterialProperty* pkMaterial);
    static void PurgeEffectData(NiDynamicEffect* pkEffect);

    // The renderer's own handling of the purges.
    virtual void PurgeMaterialRendererData(NiMaterialProperty* pkMaterial) = 0;
    virtual void PurgeEffectRendererData(NiDynamicEffect* pkEffect) = 0;

    // Geometry data, skin instances and skin partitions: the renderer's
    // caches of them. A renderer that caches nothing keeps the defaults.
    static void PurgeGeometryData(NiGeometryData* pkData);
    static void PurgeSkinPartitionData(NiSkinPartition* pkPartition);
    static void PurgeSkinInstanceData(NiSkinInstance* pkSkin);
    virtual void PurgeGeometryRendererData(NiGeometryData* pkData) { (void)pkData; }
    virtual void PurgeSkinPartitionRendererData(NiSkinPartition* pkPartition) { (void)pkPartition; }
    virtual void PurgeSkinInstanceRendererData(NiSkinInstance* pkSkin) { (void)pkSkin; }

    // Geometry draws (triangle shapes and strips; particles), after the
    // geometry stored its state with SetGeometryDrawState.
    virtual void DrawTriShape(NiTriBasedGeom* pkGeometry) { (void)pkGeometry; }
    virtual void DrawPoints(NiParticles* pkParticles) { (void)pkParticles; }
    // Line segments, drawn at once with the given state.
    virtual void DrawLines(NiLines* pkLines, NiPropertySet* pkPropertySet, NiEffectSet* pkEffectSet)
    {
        (void)pkLines, (void)pkPropertySet, (void)pkEffectSet;
    }

    // The camera of the frame about to be drawn: view from its world
    // vectors, projection from its frustum, the viewport on the target.
    virtual void SetCameraData(const NiVec3& kWorldLoc, const NiVec3& kWorldDir, const NiVec3& kWorldUp,
                               const NiVec3& kWorldRight, const NiViewFrustum& kFrustum, const NiRect<float>& kPort)
    {
        (void)kWorldLoc, (void)kWorldDir, (void)kWorldUp, (void)kWorldRight, (void)kFrustum, (void)kPort;
    }

    // Screen polygons: drawn with the current property set (the polygon sets
    // its own first); the purge drops what the renderer keeps for one.
    static void PurgeScreenPolygonData(NiScreenPolygon* pkPolygon);
    virtual void PurgeScreenPolygonRendererData(NiScreenPolygon* pkPolygon) { (void)pkPolygon; }
    virtual void RenderScreenPolygon(NiScreenPolygon* pkPolygon) { (void)pkPolygon; }
    void SetGeometryDrawState(NiPropertySet* pkPropertySet, NiEffectSet* pkEffectSet, std::uint32_t uiPlaneMask);
    [[nodiscard]] std::uint32_t GetPlaneMask() const { return m_uiPlaneMask; }

    // Textures, cube maps, blit sources and screen textures. A renderer that
    // keeps nothing for them keeps these defaults.
    static void PurgeScreenTextureData(NiScreenTexture* pkScreenTexture);
    virtual bool PurgeScreenTextureRendererData(NiScreenTexture* pkScreenTexture)
    {
        (void)pkScreenTexture;
        return true;
    }
    virtual void RenderScreenTexture(NiScreenTexture* pkScreenTexture) { (void)pkScreenTexture; }
    // False when the renderer refuses the texture outright.
    virtual bool PrecacheTexture(NiTexture* pkTexture)
    {
        (void)pkTexture;
        return true;
    }
    virtual bool PrecacheCubeMap(NiSourceCubeMap* pkCubeMap)
    {
        (void)pkCubeMap;
        return true;
    }
    // Delete the renderer's data of one texture, or of every live texture.
    virtual bool PurgeTextureRendererData(NiTexture* pkTexture)
    {
        (void)pkTexture;
        return true;
    }
    virtual bool PurgeAllTextureRendererData() { return true; }
    // Lets go of memory the renderer keeps only to make the next resources
    // faster (blocks of textures that went); nothing live changes.
    virtual void ReleaseSpareMemory() {}
    // How many top mipmap levels textures leave out on the device.
    virtual bool SetMipmapSkipLevel(std::uint32_t uiLevel)
    {
        (void)uiLevel;
        return false;
    }
    [[nodiscard]] virtual std::uint32_t GetMipmapSkipLevel() const { return 0; }
    virtual bool CreateBltSourceData(NiBltSource* pkBltSource)
    {
        (void)pkBltSource;
        return true;
    }

    // (x, y) in pixels of the current target to (u, v) in 0..1 with v
    // running upwards. False, leaving u and v alone, while the renderer's
    // target has no size.
    [[nodiscard]] static bool PixelToUnit(std::uint32_t uiX, std::uint32_t uiY, float& fU, float& fV);

    [[nodiscard]] NiAccumulator* GetAccumulator() const;
    void SetAccumulator(NiAccumulator* pkAccumulator);

    // ClearBuffer flags: colour 1, stencil 2, depth 4 (callers pass the
    // numbers themselves, so 5 is colour and depth).
    enum ClearFlags : std::uint32_t
    {
        CLEAR_BACKBUFFER = 0x1,
        CLEAR_STENCIL = 0x2,
        CLEAR_ZBUFFER = 0x4,
        CLEAR_ALL = CLEAR_BACKBUFFER | CLEAR_ZBUFFER | CLEAR_STENCIL,
    };

    // Adapter and device in words; empty for a renderer without a device.
    [[nodiscard]] virtual const char* GetDriverInfo() const { return ""; }
    // Capability flags of the device.
    [[nodiscard]] virtual std::uint32_t GetFlags() const = 0;

    // Frame operations.
    virtual void SetBackgroundColor(const NiColorRGBA& kColor) = 0;
    // The same colour, opaque.
    virtual void SetBackgroundColor(const NiColorRGB& kColor);
    [[nodiscard]] virtual NiColorRGBA GetBackgroundColor() const = 0;
    // Values ClearBuffer fills depth and stencil with; ignored by renderers
    // that keep none.
    virtual void SetDepthClear(float fZClear) { (void)fZClear; }
    virtual void SetStencilClear(std::uint32_t uiClear) { (void)uiClear; }
    // Bracket one frame's drawing; EndScene acts only inside a scene.
    virtual bool BeginScene() = 0;
    virtual void EndScene() = 0;
    // Clears part of the target (fractions of it; null: all of it).
    virtual void ClearBuffer(const NiRect<float>* pkViewport, std::uint32_t uiFlags) = 0;
    // Presents the finished frame.
    virtual void DisplayFrame() = 0;
    // The render target's size in pixels and bits per pixel.
    [[nodiscard]] virtual std::uint32_t GetWidth() const = 0;
    [[nodiscard]] virtual std::uint32_t GetHeight() const = 0;
    [[nodiscard]] virtual std::uint32_t GetBitDepth() const { return 0; }

    // Render targets: a rendered texture, or the back buffer for null.
    // False inside a scene, and for a texture the renderer keeps nothing for.
    virtual bool SetRenderTarget(NiRenderedTexture* pkTarget);
    // The renderer's target for a rendered texture or cube map; false when
    // it cannot be made.
    virtual bool CreateRenderedTextureData(NiRenderedTexture* pkTexture);
    virtual bool CreateRenderedCubeMapData(NiRenderedCubeMap* pkCubeMap);
    // A copy of the back buffer (whole, or the inclusive pixel rectangle cut
    // at its edges); null when it cannot be read.
    [[nodiscard]] virtual NiRefPtr<NiPixelData> CaptureBackBuffer(const NiRect<std::int32_t>* pkRect);

    // Mirror the picture left to right; a renderer that cannot says false.
    [[nodiscard]] virtual bool GetLeftRightSwap() const { return false; }
    virtual bool SetLeftRightSwap(bool bSwap);
    // True when the wish is met: without W-buffering, only "no".
    virtual bool SetUseWBuffer(bool bUseWBuffer) { return !bUseWBuffer; }
    [[nodiscard]] virtual float GetMaxFogValue() const { return 1.0f; }
    virtual void SetMaxFogValue(float fFogVal) { (void)fFogVal; }

    // Batched drawing takes one property and effect state for the batch.
    virtual void BeginBatch(NiPropertySet* pkPropertySet, NiEffectSet* pkEffectSet);
    virtual void EndBatch() { m_bBatchRendering = false; }
    [[nodiscard]] bool IsBatching() const { return m_bBatchRendering; }

    // The properties and effects in force for the geometry being drawn.
    [[nodiscard]] NiPropertySet* GetPropertyState() const;
    [[nodiscard]] NiEffectSet* GetEffectState() const;
    void SetPropertyState(NiPropertySet* pkPropertySet);
    void SetEffectState(NiEffectSet* pkEffectSet);

    // The renderer lock guards the maps of geometry data, the precache lock
    // the making of texture data; both re-entrant on the holding thread.
    void LockRenderer() { m_kRendererLock.Lock(); }
    void UnlockRenderer() { m_kRendererLock.Unlock(); }
    void LockPrecache() { m_kPrecacheLock.Lock(); }
    void UnlockPrecache() { m_kPrecacheLock.Unlock(); }
    [[nodiscard]] const NiRecursiveLock& GetRendererLock() const { return m_kRendererLock; }
    [[nodiscard]] const NiRecursiveLock& GetPrecacheLock() const { return m_kPrecacheLock; }

    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

private:
    static NiRenderer* ms_pkRenderer;
    NiRefPtr<NiAccumulator> m_spAccumulator;
    NiRefPtr<NiPropertySet> m_spPropertyState;
    NiRefPtr<NiEffectSet> m_spEffectState;
    NiRecursiveLock m_kRendererLock;
    NiRecursiveLock m_kPrecacheLock;
    bool m_bBatchRendering = false;
    std::uint32_t m_uiPlaneMask = 0;
};

using NiRendererPtr = NiRefPtr<NiRenderer>;
