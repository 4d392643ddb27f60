#include "engine/render/NiDX9RenderState.h"

#include "engine/render/NiDX9Renderer.h"

using namespace gfx;

namespace
{
// Saved values after InitShaderState: no real format, declaration or shader
// has them, so the next restore always reaches the device. The pointers are
// never handed to the device, which would take them for objects.
constexpr std::uint32_t NO_FVF = 1;
IDirect3DVertexDeclaration9* const NO_DECLARATION = reinterpret_cast<IDirect3DVertexDeclaration9*>(1);
IDirect3DVertexShader9* const NO_VERTEX_SHADER = reinterpret_cast<IDirect3DVertexShader9*>(1);
} // namespace

NiRefPtr<NiDX9RenderState> NiDX9RenderState::Create(NiDX9Renderer* pkRenderer, const D3DCAPS9& kCaps,
                                                    bool bOptionOne, bool bDepthOn, bool bWBufferPreferred,
                                                    bool bStencil)
{
    NiRefPtr<NiDX9RenderState> spState = new NiDX9RenderState(pkRenderer);
    spState->m_bSoftwareVertexProcessing = 0;
    spState->m_kD3DCaps9 = kCaps;
    if (bOptionOne)
        spState->m_uiFlags |= CAPS_OPTION_ONE;
    spState->UpdateCapabilities();

    std::uint32_t uiZEnable = bDepthOn ? D3DZB_TRUE : D3DZB_FALSE;
    if (bStencil)
    {
        spState->m_uiFlags |= CAPS_STENCIL;
        uiZEnable = D3DZB_TRUE;
    }
    if (bDepthOn)
        spState->m_uiFlags |= CAPS_DEPTH_ON;
    for (StateValue& k : spState->m_kDefaultRenderStates)
        if (k.m_uiState == D3DRS_ZENABLE)
            k.m_uiValue = uiZEnable;
    spState->m_bWBufferPreferred = bWBufferPreferred ? 1 : 0;
    spState->m_spConstantCache = new NiDX9ShaderConstantCache(pkRenderer, kCaps);
    return spState;
}

void NiDX9RenderState::UpdateCapabilities()
{
    const std::uint32_t uiRaster = m_kD3DCaps9.RasterCaps;
    if ((uiRaster & D3DPRASTERCAPS_FOGTABLE) != 0 && (uiRaster & D3DPRASTERCAPS_WFOG) != 0)
        m_uiFlags |= CAPS_TABLE_FOG;
    else
        m_uiFlags &= ~CAPS_TABLE_FOG;
    if ((m_kD3DCaps9.TextureAddressCaps & D3DPTADDRESSCAPS_BORDER) != 0)
        m_uiFlags |= CAPS_BORDER_ADDRESS;
    else
        m_uiFlags &= ~CAPS_BORDER_ADDRESS;
    if ((uiRaster & D3DPRASTERCAPS_WBUFFER) != 0)
        m_uiFlags |= CAPS_WBUFFER;
    else
        m_uiFlags &= ~CAPS_WBUFFER;
    const bool bSoftware = m_pkRenderer != nullptr && m_pkRenderer->GetSWVertexCapable() &&
                           !m_pkRenderer->GetSWVertexSwitchable();
    m_bSoftwareVertexProcessing = bSoftware ? 1 : 0;
}

// ---- shaders and vertex formats ----

void NiDX9RenderState::InitShaderState()
{
    m_bDeclaration = 0;
    m_uiCurrentFVF = 0;
    m_uiSavedFVF = NO_FVF;
    m_pkCurrentVertexDeclaration = nullptr;
    m_pkSavedVertexDeclaration = NO_DECLARATION;
    NiD3DRenderState::InitShaderState();
}

void NiDX9RenderState::SaveShaderState()
{
    m_uiSavedFVF = m_uiCurrentFVF;
    m_pkSavedVertexDeclaration = m_pkCurrentVertexDeclaration;
}

void NiDX9RenderState::RestoreShaderState()
{
    RestoreFVF();
    RestoreVertexDeclaration();
}

void NiDX9RenderState::SetVertexShader(IDirect3DVertexShader9* pkShader, bool bSave)
{
    ChangeShader(m_pkCurrentVertexShader, m_pkSavedVertexShader, pkShader, NO_VERTEX_SHADER, bSave,
                 &IDirect3DDevice9::SetVertexShader);
}

void NiDX9RenderState::RestoreVertexShader()
{
    SetVertexShader(m_pkSavedVertexShader, false);
}

void NiDX9RenderState::ClearVertexShader(IDirect3DVertexShader9* pkShader)
{
    DropShader(m_pkCurrentVertexShader, m_pkSavedVertexShader, pkShader, &IDirect3DDevice9::SetVertexShader);
}

void NiDX9RenderState::SetFVF(std::uint32_t uiFVF, bool bSave)
{
    if (uiFVF == 0)
        return;
    if (m_bDeclaration == 0 && m_uiCurrentFVF == uiFVF)
        return;
    m_bDeclaration = 0;
    if (bSave)
        m_uiSavedFVF = m_uiCurrentFVF;
    m_uiCurrentFVF = uiFVF;
    if (m_pkD3DDevice9 != nullptr)
        m_pkD3DDevice9->SetFVF(uiFVF);
}

std::uint32_t NiDX9RenderState::GetFVF() const
{
    return m_bDeclaration != 0 ? 0 : m_uiCurrentFVF;
}

void NiDX9RenderState::RestoreFVF()
{
    SetFVF(m_uiSavedFVF, false);
}

void NiDX9RenderState::ClearFVF(std::uint32_t uiFVF)
{
    if (uiFVF == 0 || m_bDeclaration != 0)
        return;
    if (m_uiCurrentFVF == uiFVF)
    {
        m_uiCurrentFVF = D3DFVF_XYZ;
        if (m_pkD3DDevice9 != nullptr)
            m_pkD3DDevice9->SetFVF(D3DFVF_XYZ);
    }
    if (m_uiSavedFVF == uiFVF)
        m_uiSavedFVF = D3DFVF_XYZ;
}

void NiDX9RenderState::SetVertexDeclaration(IDirect3DVertexDeclaration9* pkDecl, bool bSave)
{
    if (pkDecl == nullptr)
        return;
    if (m_bDeclaration != 0 && m_pkCurrentVertexDeclaration == pkDecl)
        return;
    if (pkDecl == NO_DECLARATION)
        return; // nothing known to restore: the device keeps what it has
    m_bDeclaration = 1;
    if (bSave)
        m_pkSavedVertexDeclaration = m_pkCurrentVertexDeclaration;
    m_pkCurrentVertexDeclaration = pkDecl;
    if (m_pkD3DDevice9 != nullptr)
        m_pkD3DDevice9->SetVertexDeclaration(pkDecl);
}

IDirect3DVertexDeclaration9* NiDX9RenderState::GetVertexDeclaration() const
{
    return m_bDeclaration != 0 ? m_pkCurrentVertexDeclaration : nullptr;
}

void NiDX9RenderState::RestoreVertexDeclaration()
{
    SetVertexDeclaration(m_pkSavedVertexDeclaration, false);
}

void NiDX9RenderState::ClearVertexDeclaration(IDirect3DVertexDeclaration9* pkDecl)
{
    if (m_bDeclaration == 0)
        return;
    if (m_pkCurrentVertexDeclaration == pkDecl)
    {
        m_pkCurrentVertexDeclaration = nullptr;
        if (m_pkD3DDevice9 != nullptr)
            m_pkD3DDevice9->SetVertexDeclaration(nullptr);
    }
    if (m_pkSavedVertexDeclaration == pkDecl)
        m_pkSavedVertexDeclaration = nullptr;
}

// ---- samplers ----

void NiDX9RenderState::SetSamplerState(std::uint32_t uiSampler, std::uint32_t uiState, std::uint32_t uiValue,
                                       bool bSave)
{
    if (uiSampler >= SAMPLERS || uiState >= SAMPLER_STATES)
        return;
    CachedState& k = m_akSamplerStates[uiSampler * SAMPLER_STATES + uiState];
    if (k.m_uiCurrent == uiValue)
        return;
    if (bSave)
        k.m_uiSaved = k.m_uiCurrent;
    k.m_uiCurrent = uiValue;
    StageStatesChanged();
    if (uiState < DEVICE_SAMPLER_STATES && m_pkD3DDevice9 != nullptr)
        m_pkD3DDevice9->SetSamplerState(uiSampler, uiState + 1, uiValue);
}

std::uint32_t NiDX9RenderState::GetSamplerState(std::uint32_t uiSampler, std::uint32_t uiState) const
{
    if (uiSampler >= SAMPLERS || uiState >= SAMPLER_STATES)
        return 0;
    return m_akSamplerStates[uiSampler * SAMPLER_STATES + uiState].m_uiCurrent;
}

void NiDX9RenderState::RestoreSamplerState(std::uint32_t uiSampler, std::uint32_t uiState)
{
    if (uiSampler < SAMPLERS && uiState < SAMPLER_STATES)
        SetSamplerState(uiSampler, uiState, m_akSamplerStates[uiSampler * SAMPLER_STATES + uiState].m_uiSaved,
                        false);
}

// ---- software vertex processing ----

void NiDX9RenderState::SetSoftwareVertexProcessing(bool bSoftware)
{
    if ((m_bSoftwareVertexProcessing != 0) == bSoftware)
        return;
    if (m_pkRenderer == nullptr || !m_pkRenderer->GetSWVertexSwitchable())
        return;
    m_bSoftwareVertexProcessing = bSoftware ? 1 : 0;
    if (m_pkD3DDevice9 != nullptr)
        m_pkD3DDevice9->SetSoftwareVertexProcessing(bSoftware ? 1 : 0);
    // A program made for the other mode must not stay bound.
    ClearVertexShader(m_pkCurrentVertexShader);
}

// ---- defaults ----

void NiDX9RenderState::ResetToDefaults()
{
    ResetSharedDefaults(false);
    SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_LINEAR);
    SetRenderState(D3DRS_RANGEFOGENABLE, 0);
    SetRenderState(D3DRS_FOGCOLOR, 0);
    SetRenderState(D3DRS_NORMALIZENORMALS, 1);
    SetRenderState(D3DRS_ZENABLE,
                   (m_bWBufferPreferred != 0 && (m_uiFlags & CAPS_WBUFFER) != 0) ? D3DZB_USEW : D3DZB_TRUE);
    SetRenderState(D3DRS_COLORVERTEX, 1);
    m_fFogRed = m_fFogGreen = m_fFogBlue = 0.0f;
    m_uiFogColor = 0xFF000000;
}
