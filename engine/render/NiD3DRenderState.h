#pragma once

#include "engine/core/NiRefObject.h"
#include "engine/core/NiRefPtr.h"
#include "engine/render/NiD3DMaterialCache.h"
#include "engine/render/NiDX9ShaderConstantCache.h"
#include "platform/gfx/Gfx.h"

#include <array>
#include <cstdint>
#include <vector>

class NiAlphaProperty;
class NiDitherProperty;
class NiDX9Renderer;
class NiFogProperty;
class NiMaterialProperty;
class NiPropertySet;
class NiShadeProperty;
class NiSpecularProperty;
class NiStencilProperty;
class NiWireframeProperty;
class NiXform;
class NiZBufferProperty;

// The last value sent to the device for every render, texture-stage and
// sampler state, bound texture and shader, with a saved value beside each
// so that a pass can change states and put them back. A Set whose value is
// unchanged costs one comparison and no device call. Also turns the engine's
// properties into render states, and holds the material and shader-constant
// caches.
class NiD3DRenderState : public NiRefObject
{
public:
    // Sizes of the state arrays, indexed by the device's own state numbers.
    static constexpr std::uint32_t RENDER_STATES = 256;
    static constexpr std::uint32_t STAGES = 16;
    static constexpr std::uint32_t STAGE_STATES = 33;
    static constexpr std::uint32_t SAMPLERS = 16;
    static constexpr std::uint32_t SAMPLER_STATES = 17;
    // Engine sampler indices 0-12 are device sampler states 1-13; the
    // remaining slots of each sampler carry no device state.
    static constexpr std::uint32_t DEVICE_SAMPLER_STATES = 13;
    // "Not known yet": differs from any first value set.
    static constexpr std::uint32_t UNKNOWN = 0x7FFFFFFF;

    // Capability flags.
    enum CapsFlag : std::uint32_t
    {
        CAPS_TABLE_FOG = 0x01,
        CAPS_OPTION_ONE = 0x02,
        CAPS_STENCIL = 0x04,
        CAPS_DEPTH_ON = 0x08,
        CAPS_WBUFFER = 0x10,
        CAPS_BORDER_ADDRESS = 0x20,
    };

    ~NiD3DRenderState() override;
    NiD3DRenderState(const NiD3DRenderState&) = delete;
    NiD3DRenderState& operator=(const NiD3DRenderState&) = delete;

    // ---- properties ----
    // Wireframe, shade, alpha, z-buffer, dither, specular, stencil, material, fog.
    virtual void UpdateRenderState(const NiPropertySet* pkProperties);
    virtual void ApplyAlpha(const NiAlphaProperty* pkNew);
    virtual void ApplyDither(const NiDitherProperty* pkNew);
    virtual void ApplyFog(const NiFogProperty* pkNew);
    virtual void ApplyMaterial(NiMaterialProperty* pkNew);
    virtual void ApplyShading(const NiShadeProperty* pkNew);
    virtual void ApplySpecular(const NiSpecularProperty* pkNew);
    virtual void ApplyStencil(const NiStencilProperty* pkNew);
    virtual void ApplyWireframe(const NiWireframeProperty* pkNew);
    virtual void ApplyZBuffer(const NiZBufferProperty* pkNew);
    virtual void DisableAlpha();

    virtual void SetBoneCount(std::uint16_t usNumBones);
    virtual void UpdateNormalizeNormals(const NiXform& kXform);
    [[nodiscard]] virtual std::uint32_t GetDepthBias() const { return 0; }
    virtual void SetDepthBias(std::uint32_t) {}
    virtual void SetUseWBuffer(bool bUseWBuffer);
    [[nodiscard]] bool GetUseWBuffer() const { return m_bUseWBuffer != 0; }
    [[nodiscard]] virtual float GetMaxFogValue() const { return m_fMaxFogValue; }
    virtual void SetMaxFogValue(float fFogVal);
    [[nodiscard]] float GetFogEndFactor() const { return m_fFogEndFactor; }
    virtual void SetCameraNearAndFar(float fNear, float fFar);
    [[nodiscard]] virtual bool GetLeftRightSwap() const { return m_bLeftRightSwap != 0; }
    virtual void SetLeftRightSwap(bool bSwap) { m_bLeftRightSwap = bSwap ? 1 : 0; }
    virtual void PurgeMaterial(NiMaterialProperty* pkMaterial);

    // ---- render states ----
    virtual void InitRenderStates();
    virtual void SaveRenderStates();
    virtual void RestoreRenderState(std::uint32_t uiState);
    virtual void RestoreRenderStates();
    // A state beyond the array is ignored: values come from shader files.
    virtual void SetRenderState(std::uint32_t uiState, std::uint32_t uiValue, bool bSave = false);
    // 0 for a state beyond the array.
    [[nodiscard]] virtual std::uint32_t GetRenderState(std::uint32_t uiState) const;
    [[nodiscard]] std::uint32_t GetSavedRenderState(std::uint32_t uiState) const;

    // ---- shaders ----
    virtual void InitShaderState();
    virtual void SaveShaderState();
    virtual void RestoreShaderState();
    virtual void SetPixelShader(gfx::IDirect3DPixelShader9* pkShader, bool bSave = false);
    [[nodiscard]] virtual gfx::IDirect3DPixelShader9* GetPixelShader() const { return m_pkCurrentPixelShader; }
    virtual void RestorePixelShader();
    virtual void ClearPixelShader(gfx::IDirect3DPixelShader9* pkShader);
    virtual void SetVertexShader(gfx::IDirect3DVertexShader9*, bool = false) {}
    [[nodiscard]] virtual gfx::IDirect3DVertexShader9* GetVertexShader() const { return nullptr; }
    virtual void RestoreVertexShader() {}
    virtual void ClearVertexShader(gfx::IDirect3DVertexShader9*) {}
    virtual void SetFVF(std::uint32_t, bool = false) {}
    [[nodiscard]] virtual std::uint32_t GetFVF() const { return 0; }
    virtual void RestoreFVF() {}
    virtual void ClearFVF(std::uint32_t) {}
    virtual void SetVertexDeclaration(gfx::IDirect3DVertexDeclaration9*, bool = false) {}
    [[nodiscard]] virtual gfx::IDirect3DVertexDeclaration9* GetVertexDeclaration() const { return nullptr; }
    virtual void RestoreVertexDeclaration() {}
    virtual void ClearVertexDeclaration(gfx::IDirect3DVertexDeclaration9*) {}

    // ---- texture stages and samplers ----
    virtual void InitTextureStageStates();
    virtual void SaveTextureStageStates();
    virtual void RestoreTextureStageState(std::uint32_t uiStage, std::uint32_t uiState);
    virtual void RestoreTextureStageStates();
    // Out-of-range stages and states are ignored; their Get is 0.
    virtual void SetTextureStageState(std::uint32_t uiStage, std::uint32_t uiState, std::uint32_t uiValue,
                                      bool bSave = false);
    [[nodiscard]] virtual std::uint32_t GetTextureStageState(std::uint32_t uiStage, std::uint32_t uiState) const;
    // Stages 0 to uiStages - 1 read their own coordinate set untransformed,
    // as programs expect; unsaved. Effects ask it around every draw.
    void SetProgramTexCoordStates(std::uint32_t uiStages);
    // Takes a new value, unique in the process, whenever a cached texture
    // stage or sampler state changes: a stage group applied at one value has
    // nothing to send while the value stays.
    [[nodiscard]] std::uint64_t GetStageStateSerial() const { return m_uiStageStateSerial; }
    [[nodiscard]] std::uint32_t GetSavedTextureStageState(std::uint32_t uiStage, std::uint32_t uiState) const;
    virtual void SetSamplerState(std::uint32_t, std::uint32_t, std::uint32_t, bool = false) {}
    [[nodiscard]] virtual std::uint32_t GetSamplerState(std::uint32_t, std::uint32_t) const { return 0; }
    virtual void RestoreSamplerState(std::uint32_t, std::uint32_t) {}
    [[nodiscard]] std::uint32_t GetSavedSamplerState(std::uint32_t uiSampler, std::uint32_t uiState) const;
    virtual void ClearTextureCache();
    virtual void SetTexture(std::uint32_t uiStage, gfx::IDirect3DBaseTexture9* pkTexture);
    [[nodiscard]] virtual gfx::IDirect3DBaseTexture9* GetTexture(std::uint32_t uiStage) const;
    virtual void ClearTexture(gfx::IDirect3DBaseTexture9* pkTexture);

    virtual void SetSoftwareVertexProcessing(bool) {}
    [[nodiscard]] virtual bool GetSoftwareVertexProcessing() const { return false; }
    virtual void SetForceNormalizeNormals(bool bSet) { m_bForceNormalizeNormals = bSet ? 1 : 0; }
    [[nodiscard]] virtual bool GetForceNormalizeNormals() const { return m_bForceNormalizeNormals != 0; }
    virtual void SetInternalNormalizeNormals(bool bSet) { m_bInternalNormalizeNormals = bSet ? 1 : 0; }
    [[nodiscard]] virtual bool GetInternalNormalizeNormals() const { return m_bInternalNormalizeNormals != 0; }

    virtual void ResetToDefaults();
    virtual void UpdateCapabilities() = 0;

    // ---- views ----
    [[nodiscard]] std::uint32_t GetFlags() const { return m_uiFlags; }
    [[nodiscard]] bool GetWBufferPreferred() const { return m_bWBufferPreferred != 0; }
    [[nodiscard]] std::uint32_t GetFogColor() const { return m_uiFogColor; }
    // The device blend factor of an engine alpha function (ONE for others).
    [[nodiscard]] std::uint32_t GetD3DBlend(std::uint32_t uiFunction) const
    {
        return uiFunction < m_auiAlphaBlendModes.size() ? m_auiAlphaBlendModes[uiFunction] : 2u;
    }
    [[nodiscard]] float GetCameraNear() const { return m_fCameraNear; }
    [[nodiscard]] float GetCameraFar() const { return m_fCameraFar; }
    [[nodiscard]] NiD3DMaterialCache& GetMaterialCache() { return m_kMaterials; }
    [[nodiscard]] NiDX9ShaderConstantCache* GetShaderConstantCache() const { return m_spConstantCache; }
    [[nodiscard]] gfx::IDirect3DDevice9* GetD3DDevice() const { return m_pkD3DDevice9; }
    // The render-state defaults as InitRenderStates sends them.
    struct StateValue
    {
        std::uint32_t m_uiState;
        std::uint32_t m_uiValue;
    };
    [[nodiscard]] const std::vector<StateValue>& GetDefaultRenderStates() const { return m_kDefaultRenderStates; }

protected:
    explicit NiD3DRenderState(NiDX9Renderer* pkRenderer);
    void ResetSharedDefaults(bool bMultisampleOff);

    // The shader setters' rule, for vertex and pixel shaders alike: bSave
    // keeps the current one first; pkUnknown (InitShaderState's saved
    // marker) makes the device use none; otherwise only a change reaches the
    // device, through pfnSend.
    template <class TShader, class TSend>
    void ChangeShader(TShader*& pkCurrent, TShader*& pkSaved, TShader* pkShader, TShader* pkUnknown, bool bSave,
                      TSend pfnSend)
    {
        if (bSave)
            pkSaved = pkCurrent;
        if (pkShader == pkUnknown)
        {
            pkCurrent = nullptr;
            if (m_pkD3DDevice9 != nullptr)
                (m_pkD3DDevice9->*pfnSend)(nullptr);
            return;
        }
        if (pkCurrent != pkShader)
        {
            pkCurrent = pkShader;
            if (m_pkD3DDevice9 != nullptr)
                (m_pkD3DDevice9->*pfnSend)(pkShader);
        }
    }
    // A shader going away: where it is current the device is told none, and
    // neither the current nor the saved one refers to it any more.
    template <class TShader, class TSend>
    void DropShader(TShader*& pkCurrent, TShader*& pkSaved, TShader* pkShader, TSend pfnSend)
    {
        if (pkCurrent == pkShader)
        {
            pkCurrent = nullptr;
            if (m_pkD3DDevice9 != nullptr)
                (m_pkD3DDevice9->*pfnSend)(nullptr);
        }
        if (pkSaved == pkShader)
            pkSaved = nullptr;
    }

    std::uint32_t m_uiFlags = 0;
    std::uint8_t m_bWBufferPreferred = 0;
    std::array<std::uint32_t, 5> m_auiVertexBlend{};
    std::array<std::uint32_t, 11> m_auiAlphaBlendModes{};
    std::array<std::uint32_t, 8> m_auiAlphaTestModes{};
    NiRefPtr<NiAlphaProperty> m_spDisabledAlphaProperty;
    float m_fCameraNear = 0.0f;
    float m_fCameraFar = 0.0f;
    float m_fCameraDepthRange = 0.0f;
    float m_fFogEndFactor = 0.0f;
    float m_fMaxFogValue = 1.0f;
    float m_fFogRed = 0.0f;
    float m_fFogGreen = 0.0f;
    float m_fFogBlue = 0.0f;
    std::uint32_t m_uiFogColor = 0xFF000000;
    std::array<std::uint32_t, 8> m_auiStencilTestModes{};
    std::array<std::uint32_t, 6> m_auiStencilActions{};
    std::array<std::uint32_t, 8> m_auiCullModes{};
    std::uint32_t m_bLeftRightSwap = 0;
    NiD3DMaterialCache m_kMaterials;
    std::uint8_t m_bUseWBuffer = 0;
    std::array<std::uint32_t, 8> m_auiZBufferTestModes{};

    struct CachedState
    {
        std::uint32_t m_uiCurrent = UNKNOWN;
        std::uint32_t m_uiSaved = UNKNOWN;
    };
    std::array<CachedState, RENDER_STATES> m_akRenderStates{};
    std::array<CachedState, STAGES * STAGE_STATES> m_akTextureStageStates{};
    std::array<CachedState, SAMPLERS * SAMPLER_STATES> m_akSamplerStates{};
    void StageStatesChanged() { m_uiStageStateSerial = ++ms_uiStageStateSerials; }
    std::uint64_t m_uiStageStateSerial = ++ms_uiStageStateSerials;
    inline static std::uint64_t ms_uiStageStateSerials = 0;
    // The stage states' serial when SetProgramTexCoordStates last left its
    // first m_uiProgramTexCoordStages stages as programs read them.
    std::uint64_t m_uiProgramTexCoordSerial = 0;
    std::uint32_t m_uiProgramTexCoordStages = 0;
    // Links, not references: the shader or texture owner unbinds through Clear.
    std::array<gfx::IDirect3DBaseTexture9*, STAGES> m_apkTextures{};
    gfx::IDirect3DVertexShader9* m_pkCurrentVertexShader = nullptr;
    gfx::IDirect3DVertexShader9* m_pkSavedVertexShader = nullptr;
    gfx::IDirect3DPixelShader9* m_pkCurrentPixelShader = nullptr;
    gfx::IDirect3DPixelShader9* m_pkSavedPixelShader = nullptr;
    NiDX9ShaderConstantCachePtr m_spConstantCache;
    std::uint8_t m_bForceNormalizeNormals = 0;
    std::uint8_t m_bInternalNormalizeNormals = 0;
    gfx::IDirect3DDevice9* m_pkD3DDevice9 = nullptr; // one reference
    NiDX9Renderer* m_pkRenderer = nullptr;           // link: the renderer owns the cache
    std::vector<StateValue> m_kDefaultRenderStates;
};

using NiD3DRenderStatePtr = NiRefPtr<NiD3DRenderState>;
