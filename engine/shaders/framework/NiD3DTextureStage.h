#pragma once

#include "engine/core/NiRefPtr.h"
#include "engine/render/NiTexture.h"
#include "engine/shaders/framework/NiD3DPool.h"
#include "engine/shaders/framework/NiD3DTextureStageGroup.h"
#include "platform/gfx/Gfx.h"

#include <cstdint>
#include <memory>

class NiD3DGlobalDataEntry;
class NiD3DRenderState;
class NiDX9Renderer;
class NiTextureMap;
class NiTexturingProperty;

// One texture stage of a pass: its texture (its own, or a map of the
// geometry's texturing property named by the selector), the coordinate set,
// an optional texture transform and the group of stage and sampler states it
// sets. Counted by the passes that hold it; pooled stages go back to the pool.
class NiD3DTextureStage
{
public:
    // Selector: bits 28-31 = 1 also take the map's coordinate set; bits 24-27
    // the family (0 the standard maps 2-7 of bits 20-23, 1 decals, 2 shader
    // maps); bits 0-15 the decal or shader-map number.
    static constexpr std::uint32_t TSTF_MAP_USE_INDEX = 0x10000000;
    static constexpr std::uint32_t TSTF_MAP_MASK = 0x0F000000;
    static constexpr std::uint32_t TSTF_MAP_SHIFT = 24;
    // Family 0: bits 20-23 name one of the property's fixed maps (2-7).
    static constexpr std::uint32_t TSTF_FIXED_MAP_SHIFT = 20;
    static constexpr std::uint32_t TSTF_INDEX_MASK = 0x0000FFFF;
    // Transform selector: bits 28-31 the source, bits 0-27 the mode.
    static constexpr std::uint32_t TSTTF_SOURCE_SHIFT = 28;
    static constexpr std::uint32_t TSTTF_MODE_MASK = 0x0FFFFFFF;

    NiD3DTextureStage();
    ~NiD3DTextureStage();
    NiD3DTextureStage(const NiD3DTextureStage&) = delete;
    NiD3DTextureStage& operator=(const NiD3DTextureStage&) = delete;

    void IncRefCount() { ++m_uiRefCount; }
    // At 0 a pooled stage is cleared and goes back to the pool; another is
    // deleted.
    void DecRefCount();
    [[nodiscard]] std::uint32_t GetRefCount() const { return m_uiRefCount; }

    [[nodiscard]] std::uint32_t GetStage() const { return m_uiStage; }
    void SetStage(std::uint32_t uiStage) { m_uiStage = uiStage; }
    [[nodiscard]] NiTexture* GetTexture() const { return m_spTexture; }
    void SetTexture(NiTexture* pkTexture) { m_spTexture = pkTexture; }
    [[nodiscard]] std::uint32_t GetTextureSelector() const { return m_uiTextureFlags; }
    void SetTextureSelector(std::uint32_t uiSelector) { m_uiTextureFlags = uiSelector; }
    [[nodiscard]] std::uint32_t GetTexCoordIndex() const { return m_uiTexCoordIndex; }
    void SetTexCoordIndex(std::uint32_t uiIndex, bool bSave)
    {
        m_uiTexCoordIndex = uiIndex;
        m_bSaveTexCoordIndex = bSave ? 1 : 0;
    }
    [[nodiscard]] const gfx::D3DMATRIX& GetTextureMatrix() const { return m_kTextureMatrix; }
    gfx::D3DMATRIX& GetTextureMatrix() { return m_kTextureMatrix; }
    void SetTextureMatrix(const gfx::D3DMATRIX& kMatrix) { m_kTextureMatrix = kMatrix; }
    [[nodiscard]] bool GetTextureTransformEnabled() const { return m_bTextureTransform != 0; }
    void SetTextureTransformEnabled(bool bOn) { m_bTextureTransform = bOn ? 1 : 0; }
    [[nodiscard]] std::uint32_t GetTextureTransformSelector() const { return m_uiTextureTransformFlags; }
    // A source of 1 with a name takes that global data block as its matrix.
    void SetTextureTransformation(std::uint32_t uiSelector, const char* pcGlobalName);
    [[nodiscard]] NiD3DGlobalDataEntry* GetGlobalTransformSource() const { return m_pkGlobalEntry; }
    // The renderer's address modes and filters for the engine's modes.
    void SetClampMode(std::uint32_t uiClamp);
    void SetFilterMode(std::uint32_t uiFilter);
    [[nodiscard]] NiD3DTextureStageGroup* GetStageGroup() const { return m_pkGroup; }
    [[nodiscard]] bool IsPooled() const { return m_bPooled != 0; }

    // The group's states, then the texture and its transform. False only
    // when the states cannot be applied.
    bool ApplyTextureStage(const NiTexturingProperty* pkTexturing);
    // The map the selector names, or null.
    [[nodiscard]] static NiTextureMap* GetMapFromSelector(std::uint32_t uiSelector,
                                                         const NiTexturingProperty* pkTexturing);
    // The projected matrix R of mode 1-6 for the camera-to-world matrix C and
    // the source M (R may not alias either).
    static void ComputeProjectedMatrix(std::uint32_t uiMode, const gfx::D3DMATRIX& kC, const gfx::D3DMATRIX& kM,
                                       gfx::D3DMATRIX& kR);

    // No texture and disabled colour and alpha from the first stage up to
    // the blend stages; no texture up to the samplers.
    static void DisableStagesFrom(std::uint32_t uiFirst);
    static void SetRenderer(NiDX9Renderer* pkRenderer);
    [[nodiscard]] static NiDX9Renderer* GetRenderer() { return ms_pkRenderer; }

    [[nodiscard]] static NiD3DTextureStage* GetFreeStage();
    static void CreatePool();
    static void DestroyPool();
    [[nodiscard]] static NiD3DPool<NiD3DTextureStage>* GetPool() { return ms_spPool.get(); }
    static constexpr std::uint32_t BLOCK = 8;

private:
    void ApplyTextureTransform();
    void ReleaseGlobalSource();

    std::uint32_t m_uiStage = 0;
    NiTexturePtr m_spTexture;
    std::uint32_t m_uiTextureFlags = 0;
    NiD3DTextureStageGroup* m_pkGroup = nullptr;
    std::uint8_t m_bOwnGroup = 0;
    std::uint32_t m_uiTexCoordIndex = 0;
    std::uint8_t m_bSaveTexCoordIndex = 0;
    std::uint32_t m_uiTextureTransformFlags = 0;
    NiD3DGlobalDataEntry* m_pkGlobalEntry = nullptr; // one reference through the factory
    gfx::D3DMATRIX m_kTextureMatrix{};
    std::uint8_t m_bTextureTransform = 0;
    std::uint8_t m_bPooled = 0;
    std::uint32_t m_uiRefCount = 0;

    static NiDX9Renderer* ms_pkRenderer;
    static gfx::IDirect3DDevice9* ms_pkD3DDevice;
    static NiD3DRenderState* ms_pkRenderState;
    static std::unique_ptr<NiD3DPool<NiD3DTextureStage>> ms_spPool;
    // The last DisableStagesFrom: its cache, the cache's stage serial after
    // it, its first stage and the blend stages then (SetRenderer forgets it).
    struct DisabledStages
    {
        const NiD3DRenderState* m_pkState = nullptr;
        std::uint64_t m_uiSerial = 0;
        std::uint32_t m_uiFirst = 0;
        std::uint32_t m_uiBlend = 0;
    };
    static DisabledStages ms_kDisabled;
};

// A counted hold on a stage (passes keep these).
using NiD3DTextureStagePtr = NiRefPtr<NiD3DTextureStage>;
