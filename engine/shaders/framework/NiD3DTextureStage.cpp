#include "engine/shaders/framework/NiD3DTextureStage.h"

#include "engine/render/NiDX9Renderer.h"
#include "engine/scene/NiTexturingProperty.h"
#include "engine/shaders/framework/NiD3DPass.h"
#include "engine/shaders/framework/NiD3DShaderFactory.h"

#include <algorithm>
#include <cstring>

NiDX9Renderer* NiD3DTextureStage::ms_pkRenderer = nullptr;
gfx::IDirect3DDevice9* NiD3DTextureStage::ms_pkD3DDevice = nullptr;
NiD3DRenderState* NiD3DTextureStage::ms_pkRenderState = nullptr;
std::unique_ptr<NiD3DPool<NiD3DTextureStage>> NiD3DTextureStage::ms_spPool;
NiD3DTextureStage::DisabledStages NiD3DTextureStage::ms_kDisabled;

namespace
{
constexpr std::uint32_t SAMPLER_ADDRESSU = 0;
constexpr std::uint32_t SAMPLER_ADDRESSV = 1;
constexpr std::uint32_t SAMPLER_MAGFILTER = 4;
constexpr std::uint32_t SAMPLER_MINFILTER = 5;
constexpr std::uint32_t SAMPLER_MIPFILTER = 6;

gfx::D3DMATRIX Identity()
{
    gfx::D3DMATRIX k{};
    for (int i = 0; i < 4; ++i)
        k.m[i][i] = 1.0f;
    return k;
}

// The scratch matrix the projected transforms share.
gfx::D3DMATRIX s_kProjected{};
} // namespace

NiD3DTextureStage::NiD3DTextureStage()
{
    m_pkGroup = NiD3DTextureStageGroup::GetFreeGroup();
    if (m_pkGroup == nullptr)
    {
        m_pkGroup = new NiD3DTextureStageGroup;
        m_bOwnGroup = 1;
    }
}

NiD3DTextureStage::~NiD3DTextureStage()
{
    ReleaseGlobalSource();
    if (m_bOwnGroup != 0)
        delete m_pkGroup;
    else
        NiD3DTextureStageGroup::ReleaseGroup(m_pkGroup);
    m_pkGroup = nullptr;
}

void NiD3DTextureStage::DecRefCount()
{
    if (m_uiRefCount == 0 || --m_uiRefCount != 0)
        return;
    if (m_bPooled == 0)
    {
        delete this;
        return;
    }
    m_spTexture = nullptr;
    m_pkGroup->RemoveAllStageStates();
    m_pkGroup->RemoveAllSamplerStates();
    ReleaseGlobalSource();
    m_uiStage = 0;
    m_uiTextureFlags = 0;
    m_uiTextureTransformFlags = 0;
    m_uiTexCoordIndex = 0;
    m_bSaveTexCoordIndex = 0;
    m_bTextureTransform = 0;
    if (ms_spPool != nullptr)
        ms_spPool->Return(this);
}

void NiD3DTextureStage::ReleaseGlobalSource()
{
    if (m_pkGlobalEntry == nullptr)
        return;
    const std::string kName = m_pkGlobalEntry->GetName();
    m_pkGlobalEntry = nullptr;
    NiD3DShaderFactory::ReleaseGlobalData(kName.c_str());
}

void NiD3DTextureStage::SetTextureTransformation(std::uint32_t uiSelector, const char* pcGlobalName)
{
    m_uiTextureTransformFlags = uiSelector;
    ReleaseGlobalSource();
    if ((uiSelector >> TSTTF_SOURCE_SHIFT) == 1 && pcGlobalName != nullptr)
    {
        NiD3DGlobalDataEntry* pkEntry = NiD3DShaderFactory::GetGlobalDataEntry(pcGlobalName);
        if (pkEntry != nullptr)
        {
            // One more user, through the factory's own count.
            NiD3DShaderFactory::AddGlobalData(pcGlobalName, pkEntry->GetType(), 0, nullptr);
            m_pkGlobalEntry = pkEntry;
        }
    }
    if (uiSelector != 0)
        m_bTextureTransform = 1;
}

void NiD3DTextureStage::SetClampMode(std::uint32_t uiClamp)
{
    std::uint32_t uiU = 0;
    std::uint32_t uiV = 0;
    if (!NiDX9Renderer::GetClampAddressModes(uiClamp, uiU, uiV))
        return;
    m_pkGroup->SetSamplerState(SAMPLER_ADDRESSU, uiU, false);
    m_pkGroup->SetSamplerState(SAMPLER_ADDRESSV, uiV, false);
}

void NiD3DTextureStage::SetFilterMode(std::uint32_t uiFilter)
{
    std::uint32_t uiMag = 0;
    std::uint32_t uiMin = 0;
    std::uint32_t uiMip = 0;
    if (!NiDX9Renderer::GetFilterModeStates(uiFilter, uiMag, uiMin, uiMip))
        return;
    m_pkGroup->SetSamplerState(SAMPLER_MAGFILTER, uiMag, false);
    m_pkGroup->SetSamplerState(SAMPLER_MINFILTER, uiMin, false);
    m_pkGroup->SetSamplerState(SAMPLER_MIPFILTER, uiMip, false);
}

NiTextureMap* NiD3DTextureStage::GetMapFromSelector(std::uint32_t uiSelector, const NiTexturingProperty* pkTexturing)
{
    if (pkTexturing == nullptr || uiSelector == 0)
        return nullptr;
    const std::uint32_t uiFamily = (uiSelector & TSTF_MAP_MASK) >> TSTF_MAP_SHIFT;
    const std::uint32_t uiNumber = uiSelector & TSTF_INDEX_MASK;
    switch (uiFamily)
    {
    case 0: {
        const std::uint32_t uiMap = (uiSelector >> TSTF_FIXED_MAP_SHIFT) & 0xF;
        if (uiMap < 2 || uiMap > 7)
            return nullptr;
        return pkTexturing->GetMap(uiMap - 2);
    }
    case 1:
        // Valid while the slot lies inside the map array (the count is
        // unsigned: no wrap below six maps).
        if (NiTexturingProperty::DECAL_BASE + uiNumber < pkTexturing->GetMapArrayCount())
            return pkTexturing->GetMap(NiTexturingProperty::DECAL_BASE + uiNumber);
        return nullptr;
    case 2:
        return pkTexturing->GetArrayMapAt(uiNumber);
    default:
        return nullptr;
    }
}

bool NiD3DTextureStage::ApplyTextureStage(const NiTexturingProperty* pkTexturing)
{
    if (m_pkGroup->SetToDevice(m_uiStage) != 0)
        return false;
    if (ms_pkRenderState == nullptr)
        return true;
    NiTexture* pkTexture = nullptr;
    if (m_uiTextureFlags == 0)
    {
        ms_pkRenderState->SetTextureStageState(m_uiStage, gfx::D3DTSS_TEXCOORDINDEX, m_uiTexCoordIndex,
                                               m_bSaveTexCoordIndex != 0);
        pkTexture = m_spTexture;
    }
    else if (NiTextureMap* pkMap = GetMapFromSelector(m_uiTextureFlags, pkTexturing))
    {
        pkTexture = pkMap->GetTexture();
        if ((m_uiTextureFlags >> TSTTF_SOURCE_SHIFT) == 1)
        {
            const std::uint32_t uiIndex = (m_uiTexCoordIndex & 0xFFFF0000u) | (pkMap->GetTextureIndex() & 0xFFFFu);
            ms_pkRenderState->SetTextureStageState(m_uiStage, gfx::D3DTSS_TEXCOORDINDEX, uiIndex,
                                                   m_bSaveTexCoordIndex != 0);
        }
    }
    gfx::IDirect3DBaseTexture9* pkD3DTexture = nullptr;
    bool bMipmapped = false;
    if (pkTexture != nullptr && ms_pkRenderer != nullptr && ms_pkRenderer->GetTextureManager() != nullptr)
    {
        bool bChanged = false;
        pkD3DTexture = ms_pkRenderer->GetTextureManager()->GetD3DTextureForRendering(pkTexture, bChanged, bMipmapped);
    }
    ms_pkRenderState->SetTexture(m_uiStage, pkD3DTexture);
    if (pkD3DTexture != nullptr)
    {
        if (!bMipmapped)
            ms_pkRenderState->SetSamplerState(m_uiStage, SAMPLER_MIPFILTER, gfx::D3DTEXF_NONE, false);
        ApplyTextureTransform();
    }
    return true;
}

void NiD3DTextureStage::ComputeProjectedMatrix(std::uint32_t uiMode, const gfx::D3DMATRIX& kC,
                                               const gfx::D3DMATRIX& kM, gfx::D3DMATRIX& kR)
{
    kR = gfx::D3DMATRIX{};
    if (uiMode == 4)
    {
        kR.m[1][1] = kR.m[2][0] = kR.m[3][0] = kR.m[3][1] = 0.5f;
        return;
    }
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            kR.m[i][j] = kC.m[i][0] * kM.m[0][j] + kC.m[i][1] * kM.m[1][j] + kC.m[i][2] * kM.m[2][j];
    for (int j = 0; j < 3; ++j)
    {
        if (uiMode == 1 || uiMode == 2)
            kR.m[3][j] = kC.m[3][0] * kM.m[0][j] + kC.m[3][1] * kM.m[1][j] + kC.m[3][2] * kM.m[2][j] + kM.m[3][j];
        else
            kR.m[3][j] = kM.m[3][j];
    }
}

void NiD3DTextureStage::ApplyTextureTransform()
{
    if (m_bTextureTransform == 0)
    {
        ms_pkRenderState->SetTextureStageState(m_uiStage, gfx::D3DTSS_TEXTURETRANSFORMFLAGS, gfx::D3DTTFF_DISABLE,
                                               false);
        return;
    }
    if (ms_pkD3DDevice == nullptr)
        return;
    const std::uint32_t uiSource = m_uiTextureTransformFlags >> TSTTF_SOURCE_SHIFT;
    const std::uint32_t uiMode = m_uiTextureTransformFlags & TSTTF_MODE_MASK;
    if (uiSource > 2)
        return;
    // A global source the stage does not hold stands for no transform.
    gfx::D3DMATRIX kSource = m_kTextureMatrix;
    if (uiSource == 1)
    {
        kSource = Identity();
        if (m_pkGlobalEntry != nullptr && m_pkGlobalEntry->GetData() != nullptr)
            std::memcpy(&kSource, m_pkGlobalEntry->GetData(), std::min<std::size_t>(sizeof(kSource), m_pkGlobalEntry->GetSize()));
    }
    const std::uint32_t uiTransform = gfx::D3DTS_TEXTURE0 + m_uiStage;
    if (uiSource == 0 || uiMode == 0)
    {
        ms_pkD3DDevice->SetTransform(uiTransform, &kSource);
        return;
    }
    if (uiMode > 6 || ms_pkRenderer == nullptr)
        return;
    ComputeProjectedMatrix(uiMode, ms_pkRenderer->GetInvView(), kSource, s_kProjected);
    ms_pkD3DDevice->SetTransform(uiTransform, &s_kProjected);
}

void NiD3DTextureStage::DisableStagesFrom(std::uint32_t uiFirst)
{
    if (ms_pkRenderState == nullptr)
        return;
    const std::uint32_t uiBlend = NiD3DPass::GetMaxTextureBlendStages();
    // The operations stay disabled while no cached stage state changed since
    // the same call; the textures are checked each time.
    const bool bOpsDisabled = ms_kDisabled.m_pkState == ms_pkRenderState && ms_kDisabled.m_uiFirst == uiFirst &&
                              ms_kDisabled.m_uiBlend == uiBlend &&
                              ms_kDisabled.m_uiSerial == ms_pkRenderState->GetStageStateSerial();
    std::uint32_t ui = uiFirst;
    for (; ui < uiBlend; ++ui)
    {
        ms_pkRenderState->SetTexture(ui, nullptr);
        if (bOpsDisabled)
            continue;
        ms_pkRenderState->SetTextureStageState(ui, gfx::D3DTSS_COLOROP, gfx::D3DTOP_DISABLE, false);
        ms_pkRenderState->SetTextureStageState(ui, gfx::D3DTSS_ALPHAOP, gfx::D3DTOP_DISABLE, false);
    }
    ms_kDisabled = {ms_pkRenderState, ms_pkRenderState->GetStageStateSerial(), uiFirst, uiBlend};
    for (; ui < NiD3DPass::GetMaxSamplers(); ++ui)
        ms_pkRenderState->SetTexture(ui, nullptr);
}

void NiD3DTextureStage::SetRenderer(NiDX9Renderer* pkRenderer)
{
    gfx::IDirect3DDevice9* pkDevice = pkRenderer != nullptr ? pkRenderer->GetD3DDevice() : nullptr;
    if (pkDevice != nullptr)
        pkDevice->AddRef();
    if (ms_pkD3DDevice != nullptr)
        ms_pkD3DDevice->Release();
    ms_pkD3DDevice = pkDevice;
    ms_pkRenderer = pkRenderer;
    ms_pkRenderState = pkRenderer != nullptr ? pkRenderer->GetRenderState() : nullptr;
    ms_kDisabled = DisabledStages();
}

NiD3DTextureStage* NiD3DTextureStage::GetFreeStage()
{
    if (ms_spPool == nullptr)
        return nullptr;
    NiD3DTextureStage* pkStage = ms_spPool->Take();
    pkStage->m_bPooled = 1;
    return pkStage;
}

void NiD3DTextureStage::CreatePool()
{
    if (ms_spPool == nullptr)
        ms_spPool = std::make_unique<NiD3DPool<NiD3DTextureStage>>(BLOCK);
}

void NiD3DTextureStage::DestroyPool()
{
    ms_spPool.reset();
}
