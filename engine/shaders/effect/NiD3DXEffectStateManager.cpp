#include "engine/shaders/effect/NiD3DXEffectStateManager.h"

#include "engine/render/NiDX9RenderState.h"
#include "engine/render/NiDX9Renderer.h"
#include "engine/shaders/framework/NiD3DPass.h"

NiD3DXEffectStateManager* NiD3DXEffectStateManager::ms_pkInstance = nullptr;

NiD3DXEffectStateManager* NiD3DXEffectStateManager::GetInstance(NiDX9Renderer* pkRenderer)
{
    if (ms_pkInstance != nullptr)
        return ms_pkInstance;
    if (pkRenderer == nullptr || pkRenderer->GetRenderState() == nullptr || pkRenderer->GetD3DDevice() == nullptr)
        return nullptr;
    ms_pkInstance = new NiD3DXEffectStateManager(pkRenderer->GetRenderState(), pkRenderer->GetD3DDevice());
    return ms_pkInstance;
}

NiD3DXEffectStateManager::NiD3DXEffectStateManager(NiDX9RenderState* pkRenderState, gfx::IDirect3DDevice9* pkDevice)
    : m_spRenderState(pkRenderState), m_pkDevice(pkDevice)
{
    m_pkDevice->AddRef();
}

NiD3DXEffectStateManager::~NiD3DXEffectStateManager()
{
    m_pkDevice->Release();
    if (ms_pkInstance == this)
        ms_pkInstance = nullptr;
}

gfx::HRESULT NiD3DXEffectStateManager::QueryInterface(const gfx::GUID& kIID, void** ppvOut)
{
    if (ppvOut == nullptr)
        return gfx::D3DERR_INVALIDCALL;
    if (kIID == gfx::IID_IUnknown || kIID == gfx::IID_ID3DXEffectStateManager)
    {
        *ppvOut = this;
        AddRef();
        return gfx::D3D_OK;
    }
    *ppvOut = nullptr;
    return gfx::E_NOINTERFACE;
}

std::uint32_t NiD3DXEffectStateManager::AddRef()
{
    return m_uiRefs.fetch_add(1) + 1;
}

std::uint32_t NiD3DXEffectStateManager::Release()
{
    const std::uint32_t uiLeft = m_uiRefs.fetch_sub(1) - 1;
    if (uiLeft == 0)
        delete this;
    return uiLeft;
}

gfx::HRESULT NiD3DXEffectStateManager::SetTransform(std::uint32_t uiState, const gfx::D3DMATRIX* pkMatrix)
{
    return m_pkDevice->SetTransform(uiState, pkMatrix);
}

gfx::HRESULT NiD3DXEffectStateManager::SetMaterial(const gfx::D3DMATERIAL9* pkMaterial)
{
    return m_pkDevice->SetMaterial(pkMaterial);
}

gfx::HRESULT NiD3DXEffectStateManager::SetLight(std::uint32_t uiIndex, const gfx::D3DLIGHT9* pkLight)
{
    return m_pkDevice->SetLight(uiIndex, pkLight);
}

gfx::HRESULT NiD3DXEffectStateManager::LightEnable(std::uint32_t uiIndex, std::int32_t iEnable)
{
    return m_pkDevice->LightEnable(uiIndex, iEnable);
}

gfx::HRESULT NiD3DXEffectStateManager::SetRenderState(std::uint32_t uiState, std::uint32_t uiValue)
{
    m_spRenderState->SetRenderState(uiState, uiValue, false);
    return gfx::D3D_OK;
}

gfx::HRESULT NiD3DXEffectStateManager::SetTexture(std::uint32_t uiStage, gfx::IDirect3DBaseTexture9* pkTexture)
{
    m_spRenderState->SetTexture(uiStage, pkTexture);
    return gfx::D3D_OK;
}

gfx::HRESULT NiD3DXEffectStateManager::SetTextureStageState(std::uint32_t uiStage, std::uint32_t uiType,
                                                             std::uint32_t uiValue)
{
    m_spRenderState->SetTextureStageState(uiStage, uiType, uiValue, false);
    return gfx::D3D_OK;
}

gfx::HRESULT NiD3DXEffectStateManager::SetSamplerState(std::uint32_t uiSampler, std::uint32_t uiType,
                                                        std::uint32_t uiValue)
{
    // The cache holds samplers 0-15 under engine numbers (device type - 1)
    // for the device's types; anything else it cannot keep true.
    if (uiSampler >= NiD3DRenderState::SAMPLERS || uiType == 0 || uiType > NiD3DRenderState::DEVICE_SAMPLER_STATES)
    {
        m_pkDevice->SetSamplerState(uiSampler, uiType, uiValue);
        return gfx::D3D_OK;
    }
    m_spRenderState->SetSamplerState(uiSampler, uiType - 1, uiValue, false);
    return gfx::D3D_OK;
}

gfx::HRESULT NiD3DXEffectStateManager::SetNPatchMode(float fSegments)
{
    return m_pkDevice->SetNPatchMode(fSegments);
}

gfx::HRESULT NiD3DXEffectStateManager::SetFVF(std::uint32_t uiFVF)
{
    m_spRenderState->SetFVF(uiFVF, false);
    return gfx::D3D_OK;
}

gfx::HRESULT NiD3DXEffectStateManager::SetVertexShader(gfx::IDirect3DVertexShader9* pkShader)
{
    m_spRenderState->SetVertexShader(pkShader, false);
    if (pkShader != nullptr)
        m_spRenderState->SetProgramTexCoordStates(NiD3DPass::GetMaxTextureBlendStages());
    return gfx::D3D_OK;
}

gfx::HRESULT NiD3DXEffectStateManager::SetPixelShader(gfx::IDirect3DPixelShader9* pkShader)
{
    m_spRenderState->SetPixelShader(pkShader, false);
    return gfx::D3D_OK;
}

namespace
{
gfx::HRESULT Accepted(bool bAccepted)
{
    return bAccepted ? gfx::D3D_OK : gfx::D3DERR_INVALIDCALL;
}
} // namespace

gfx::HRESULT NiD3DXEffectStateManager::SetVertexShaderConstantF(std::uint32_t uiStart, const float* pfData,
                                                                 std::uint32_t uiCount)
{
    NiDX9ShaderConstantCache* pkCache = m_spRenderState->GetShaderConstantCache();
    return Accepted(pkCache != nullptr && pkCache->SetVertexConstantsF(uiStart, pfData, uiCount, false));
}

gfx::HRESULT NiD3DXEffectStateManager::SetVertexShaderConstantI(std::uint32_t uiStart, const std::int32_t* piData,
                                                                 std::uint32_t uiCount)
{
    NiDX9ShaderConstantCache* pkCache = m_spRenderState->GetShaderConstantCache();
    return Accepted(pkCache != nullptr && pkCache->SetVertexConstantsI(uiStart, piData, uiCount, false));
}

gfx::HRESULT NiD3DXEffectStateManager::SetVertexShaderConstantB(std::uint32_t uiStart, const std::int32_t* piData,
                                                                 std::uint32_t uiCount)
{
    NiDX9ShaderConstantCache* pkCache = m_spRenderState->GetShaderConstantCache();
    return Accepted(pkCache != nullptr && pkCache->SetVertexConstantsB(uiStart, piData, uiCount, false));
}

gfx::HRESULT NiD3DXEffectStateManager::SetPixelShaderConstantF(std::uint32_t uiStart, const float* pfData,
                                                                std::uint32_t uiCount)
{
    NiDX9ShaderConstantCache* pkCache = m_spRenderState->GetShaderConstantCache();
    return Accepted(pkCache != nullptr && pkCache->SetPixelConstantsF(uiStart, pfData, uiCount, false));
}

gfx::HRESULT NiD3DXEffectStateManager::SetPixelShaderConstantI(std::uint32_t uiStart, const std::int32_t* piData,
                                                                std::uint32_t uiCount)
{
    NiDX9ShaderConstantCache* pkCache = m_spRenderState->GetShaderConstantCache();
    return Accepted(pkCache != nullptr && pkCache->SetPixelConstantsI(uiStart, piData, uiCount, false));
}

gfx::HRESULT NiD3DXEffectStateManager::SetPixelShaderConstantB(std::uint32_t uiStart, const std::int32_t* piData,
                                                                std::uint32_t uiCount)
{
    NiDX9ShaderConstantCache* pkCache = m_spRenderState->GetShaderConstantCache();
    return Accepted(pkCache != nullptr && pkCache->SetPixelConstantsB(uiStart, piData, uiCount, false));
}
