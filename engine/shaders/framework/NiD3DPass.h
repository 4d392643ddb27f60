#pragma once

#include "engine/core/NiRefPtr.h"
#include "engine/scene/NiSkinPartition.h"
#include "engine/shaders/framework/NiD3DPool.h"
#include "engine/shaders/framework/NiD3DShaderConstantMap.h"
#include "engine/shaders/framework/NiD3DShaderProgram.h"
#include "engine/shaders/framework/NiD3DTextureStage.h"
#include "platform/gfx/Gfx.h"

#include <cstdint>
#include <memory>
#include <vector>

class NiBoundSphere;
class NiD3DRenderState;
class NiD3DRenderStateGroup;
class NiDX9GeometryBufferData;
class NiDX9Renderer;
class NiEffectSet;
class NiGeometry;
class NiPropertySet;
class NiSkinInstance;
class NiXform;

// One trip of a geometry through the device: a render-state group, the
// texture stages, and the programs with their constant maps. Passes come
// from a pool (the default shader builds them for every batch) and go back
// to it when the last holder lets go. The class also keeps the device limits
// every pass works within: the renderer sets them from the device's
// capabilities; the state cache and the vertex layout read them.
class NiD3DPass
{
public:
    // Texture stages in use before any device exists.
    static constexpr std::uint32_t DEFAULT_STAGES = 2;
    static constexpr std::uint32_t BLOCK = 8;

    NiD3DPass();
    virtual ~NiD3DPass();
    NiD3DPass(const NiD3DPass&) = delete;
    NiD3DPass& operator=(const NiD3DPass&) = delete;

    void IncRefCount() { ++m_uiRefCount; }
    // At 0 a pooled pass is emptied and goes back to the pool; another is
    // deleted.
    void DecRefCount();
    [[nodiscard]] std::uint32_t GetRefCount() const { return m_uiRefCount; }

    // A pass from the pool, held once by the caller's pointer.
    static void CreateNewPass(NiRefPtr<NiD3DPass>& spPass);

    // 1 for an index at or above the samplers; else 0.
    std::uint32_t SetStage(std::uint32_t uiIndex, NiD3DTextureStage* pkStage);
    [[nodiscard]] NiD3DTextureStage* GetStage(std::uint32_t uiIndex) const;
    [[nodiscard]] std::uint32_t GetStageCount() const { return m_uiStageCount; }
    [[nodiscard]] std::uint32_t GetActiveStageCount() const { return m_uiStagesSet; }
    [[nodiscard]] std::uint32_t GetTexturedStageCount() const { return m_uiStagesWithTexture; }
    [[nodiscard]] bool CanAddStages(std::uint32_t uiStages, std::uint32_t uiTextures) const;

    // The pass owns its group; a new one replaces (and frees) the old.
    void SetRenderStateGroup(NiD3DRenderStateGroup* pkGroup);
    [[nodiscard]] NiD3DRenderStateGroup* GetRenderStateGroup() const { return m_pkRenderStateGroup; }
    void SetSoftwareVertexProcessing(bool bSoftware) { m_bSoftwareVP = bSoftware ? 1 : 0; }
    [[nodiscard]] bool GetSoftwareVertexProcessing() const { return m_bSoftwareVP != 0; }
    [[nodiscard]] bool IsPooled() const { return m_bPooled != 0; }

    // Program file names, entry points and targets (owned copies; null or
    // "" clears).
    enum ProgramString : std::uint32_t
    {
        PIXEL_FILE,
        PIXEL_ENTRY,
        PIXEL_TARGET,
        VERTEX_FILE,
        VERTEX_ENTRY,
        VERTEX_TARGET,
        PROGRAM_STRINGS
    };
    void SetProgramString(ProgramString eWhich, const char* pcText);
    [[nodiscard]] const char* GetProgramString(ProgramString eWhich) const { return m_aspStrings[eWhich].get(); }
    // The pass's programs (counted; null clears).
    void SetPixelShader(NiD3DPixelShader* pkShader) { m_spPixelShader = pkShader; }
    [[nodiscard]] NiD3DPixelShader* GetPixelShader() const { return m_spPixelShader; }
    void SetVertexShader(NiD3DVertexShader* pkShader) { m_spVertexShader = pkShader; }
    [[nodiscard]] NiD3DVertexShader* GetVertexShader() const { return m_spVertexShader; }
    [[nodiscard]] bool HasPixelProgram() const { return m_spPixelShader != nullptr; }
    [[nodiscard]] bool HasVertexProgram() const { return m_spVertexShader != nullptr; }
    // Ask the program factory for the program the pass's file name gives:
    // the name without its folders (".vsh" / ".psh" added when it has no
    // extension), kept under the file name, or "file##entry" with an entry
    // point. True when there is no file name or the program was made; a
    // failure leaves the pass without that program.
    bool LoadVertexProgram(gfx::IDirect3DVertexDeclaration9* pkDeclaration);
    bool LoadPixelProgram();
    // The constant maps of the pass's programs (held; null: none).
    void SetPixelConstantMap(NiD3DShaderConstantMap* pkMap) { m_spPixelConstantMap = pkMap; }
    [[nodiscard]] NiD3DShaderConstantMap* GetPixelConstantMap() const { return m_spPixelConstantMap; }
    void SetVertexConstantMap(NiD3DShaderConstantMap* pkMap) { m_spVertexConstantMap = pkMap; }
    [[nodiscard]] NiD3DShaderConstantMap* GetVertexConstantMap() const { return m_spVertexConstantMap; }

    virtual std::uint32_t SetupShaderPrograms(NiGeometry* pkGeometry, const NiSkinInstance* pkSkin,
                                              const NiSkinPartition::Partition* pkPartition,
                                              NiDX9GeometryBufferData* pkBuffers, const NiPropertySet* pkState,
                                              const NiEffectSet* pkEffects, const NiXform& kWorld,
                                              const NiBoundSphere& kBound, std::uint32_t uiPass);
    virtual std::uint8_t SetupRenderingPass(NiGeometry* pkGeometry, const NiSkinInstance* pkSkin,
                                            NiDX9GeometryBufferData* pkBuffers, const NiPropertySet* pkState,
                                            const NiEffectSet* pkEffects, const NiXform& kWorld,
                                            const NiBoundSphere& kBound);
    virtual std::uint32_t PostProcessRenderingPass(std::uint32_t uiPass);

    static void SetMaxTextureBlendStages(std::uint32_t uiStages) { ms_uiMaxTextureBlendStages = uiStages; }
    static void SetMaxSimultaneousTextures(std::uint32_t uiTextures) { ms_uiMaxSimultaneousTextures = uiTextures; }
    static void SetMaxSamplers(std::uint32_t uiSamplers) { ms_uiMaxSamplers = uiSamplers; }
    [[nodiscard]] static std::uint32_t GetMaxTextureBlendStages() { return ms_uiMaxTextureBlendStages; }
    [[nodiscard]] static std::uint32_t GetMaxSimultaneousTextures() { return ms_uiMaxSimultaneousTextures; }
    [[nodiscard]] static std::uint32_t GetMaxSamplers() { return ms_uiMaxSamplers; }

    // The renderer, its device (one reference) and its state cache every
    // pass works with; null lets go.
    static void SetRenderer(NiDX9Renderer* pkRenderer);
    [[nodiscard]] static NiDX9Renderer* GetRenderer() { return ms_pkRenderer; }
    [[nodiscard]] static gfx::IDirect3DDevice9* GetD3DDevice() { return ms_pkD3DDevice; }
    [[nodiscard]] static NiD3DRenderState* GetRenderState() { return ms_pkRenderState; }

    static void CreatePool();
    static void DestroyPool();
    [[nodiscard]] static NiD3DPool<NiD3DPass>* GetPool() { return ms_spPool.get(); }

    // Back to the limits of a process without a device (tests).
    static void ResetStageLimits();

private:
    void Empty();

    std::uint32_t m_uiStageCount = 0;
    std::uint32_t m_uiStagesSet = 0;
    std::uint32_t m_uiStagesWithTexture = 0;
    std::vector<NiD3DTextureStagePtr> m_kStages;
    NiD3DRenderStateGroup* m_pkRenderStateGroup = nullptr;
    std::unique_ptr<char[]> m_aspStrings[PROGRAM_STRINGS];
    NiD3DPixelShaderPtr m_spPixelShader;
    NiD3DVertexShaderPtr m_spVertexShader;
    NiD3DShaderConstantMapPtr m_spPixelConstantMap;
    NiD3DShaderConstantMapPtr m_spVertexConstantMap;
    std::uint8_t m_bSoftwareVP = 0;
    std::uint8_t m_bPooled = 0;
    std::uint32_t m_uiRefCount = 0;

    static std::uint32_t ms_uiMaxTextureBlendStages;
    static std::uint32_t ms_uiMaxSimultaneousTextures;
    static std::uint32_t ms_uiMaxSamplers;
    static NiDX9Renderer* ms_pkRenderer;
    static gfx::IDirect3DDevice9* ms_pkD3DDevice;
    static NiD3DRenderState* ms_pkRenderState;
    static std::unique_ptr<NiD3DPool<NiD3DPass>> ms_spPool;
};

using NiD3DPassPtr = NiRefPtr<NiD3DPass>;
