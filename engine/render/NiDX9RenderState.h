#pragma once

#include "engine/render/NiD3DRenderState.h"

// The render-state cache of the device renderer: adds the vertex format or
// declaration, software vertex processing and the device's capabilities.
class NiDX9RenderState : public NiD3DRenderState
{
public:
    // The one cache of a renderer, made right after its device.
    [[nodiscard]] static NiRefPtr<NiDX9RenderState> Create(NiDX9Renderer* pkRenderer, const gfx::D3DCAPS9& kCaps,
                                                         bool bOptionOne, bool bDepthOn, bool bWBufferPreferred,
                                                         bool bStencil);
    ~NiDX9RenderState() override = default;

    void InitShaderState() override;
    void SaveShaderState() override;
    void RestoreShaderState() override;
    void SetVertexShader(gfx::IDirect3DVertexShader9* pkShader, bool bSave = false) override;
    [[nodiscard]] gfx::IDirect3DVertexShader9* GetVertexShader() const override { return m_pkCurrentVertexShader; }
    void RestoreVertexShader() override;
    void ClearVertexShader(gfx::IDirect3DVertexShader9* pkShader) override;
    void SetFVF(std::uint32_t uiFVF, bool bSave = false) override;
    [[nodiscard]] std::uint32_t GetFVF() const override;
    void RestoreFVF() override;
    void ClearFVF(std::uint32_t uiFVF) override;
    void SetVertexDeclaration(gfx::IDirect3DVertexDeclaration9* pkDecl, bool bSave = false) override;
    [[nodiscard]] gfx::IDirect3DVertexDeclaration9* GetVertexDeclaration() const override;
    void RestoreVertexDeclaration() override;
    void ClearVertexDeclaration(gfx::IDirect3DVertexDeclaration9* pkDecl) override;

    // Sampler 0-15, engine index 0-16; indices 13-16 are kept but carry no
    // device state. Anything beyond is ignored, and reads 0.
    void SetSamplerState(std::uint32_t uiSampler, std::uint32_t uiState, std::uint32_t uiValue,
                         bool bSave = false) override;
    [[nodiscard]] std::uint32_t GetSamplerState(std::uint32_t uiSampler, std::uint32_t uiState) const override;
    void RestoreSamplerState(std::uint32_t uiSampler, std::uint32_t uiState) override;

    void SetSoftwareVertexProcessing(bool bSoftware) override;
    [[nodiscard]] bool GetSoftwareVertexProcessing() const override { return m_bSoftwareVertexProcessing != 0; }
    [[nodiscard]] std::uint32_t GetDepthBias() const override { return GetRenderState(gfx::D3DRS_DEPTHBIAS); }
    void SetDepthBias(std::uint32_t uiBias) override { SetRenderState(gfx::D3DRS_DEPTHBIAS, uiBias); }

    void ResetToDefaults() override;
    void UpdateCapabilities() override;

    [[nodiscard]] bool GetDeclarationInUse() const { return m_bDeclaration != 0; }
    [[nodiscard]] std::uint32_t GetSavedFVF() const { return m_uiSavedFVF; }
    [[nodiscard]] const gfx::D3DCAPS9& GetD3DCaps() const { return m_kD3DCaps9; }

private:
    explicit NiDX9RenderState(NiDX9Renderer* pkRenderer) : NiD3DRenderState(pkRenderer) {}

    std::uint8_t m_bDeclaration = 0;
    std::uint32_t m_uiCurrentFVF = 0;
    std::uint32_t m_uiSavedFVF = 0;
    // Links: the declaration's owner unbinds it through ClearVertexDeclaration.
    gfx::IDirect3DVertexDeclaration9* m_pkCurrentVertexDeclaration = nullptr;
    gfx::IDirect3DVertexDeclaration9* m_pkSavedVertexDeclaration = nullptr;
    std::uint8_t m_bSoftwareVertexProcessing = 0;
    gfx::D3DCAPS9 m_kD3DCaps9{};
};

using NiDX9RenderStatePtr = NiRefPtr<NiDX9RenderState>;
