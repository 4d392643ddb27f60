#include "engine/shaders/framework/NiD3DDefaultShader.h"

#include "engine/render/NiDX9GeometryBufferGroup.h"
#include "engine/render/NiDX9Renderer.h"
#include "engine/scene/NiAlphaProperty.h"
#include "engine/scene/NiEffectSet.h"
#include "engine/scene/NiFogProperty.h"
#include "engine/scene/NiGeometry.h"
#include "engine/scene/NiPropertySet.h"
#include "engine/scene/NiTextureEffect.h"
#include "engine/scene/NiTexturingProperty.h"
#include "engine/scene/NiVertexColorProperty.h"
#include "engine/shaders/framework/NiD3DRenderStateGroup.h"
#include "engine/shaders/framework/NiD3DTextureStage.h"

#include <algorithm>
#include <cstring>

NiImplementTypeInfo(NiD3DDefaultShader, NiD3DShader)

using namespace gfx;

namespace
{
constexpr std::uint32_t NONE_LEFT = 0xFFFFFFFFu;

std::uint32_t FloatBits(float f)
{
    std::uint32_t ui = 0;
    std::memcpy(&ui, &f, sizeof(ui));
    return ui;
}

std::uint64_t HashWords(const std::vector<std::uint64_t>& kWords)
{
    std::uint64_t uiHash = 0x9E3779B97F4A7C15ull ^ kWords.size();
    for (std::uint64_t uiWord : kWords)
    {
        uiHash ^= uiWord + 0x9E3779B97F4A7C15ull + (uiHash << 6) + (uiHash >> 2);
        uiHash *= 0xFF51AFD7ED558CCDull;
    }
    return uiHash ^ (uiHash >> 33);
}

bool HasTexture(const NiTextureMap* pkMap)
{
    return pkMap != nullptr && pkMap->GetTexture() != nullptr;
}

void Set(NiD3DTextureStage* pkStage, std::uint32_t uiState, std::uint32_t uiValue)
{
    if (pkStage != nullptr)
        pkStage->GetStageGroup()->SetStageState(uiState, uiValue, false);
}
} // namespace

NiD3DDefaultShader::NiD3DDefaultShader()
    : m_apfnSetters{&NiD3DDefaultShader::SetWorldParallel, &NiD3DDefaultShader::SetWorldPerspective,
                    &NiD3DDefaultShader::SetSphereMap, &NiD3DDefaultShader::SetSpecularCubeMap,
                    &NiD3DDefaultShader::SetDiffuseCubeMap}
{
}

NiD3DDefaultShader::~NiD3DDefaultShader()
{
    ResetPassCache();
    ForgetBuilds();
    m_spOpenPass = nullptr;
}

bool NiD3DDefaultShader::Initialize(NiDX9Renderer* pkRenderer)
{
    if (m_bInitialized != 0 && pkRenderer == m_pkRenderer && pkRenderer != nullptr)
        return true;
    if (!NiD3DShader::Initialize(pkRenderer))
        return false;
    ReadTextureOpCaps();
    return true;
}

void NiD3DDefaultShader::ReadTextureOpCaps()
{
    if (m_pkRenderer != nullptr)
        ReadTextureOpCaps(m_pkRenderer->GetD3DCaps());
}

void NiD3DDefaultShader::ReadTextureOpCaps(const gfx::D3DCAPS9& kCaps)
{
    const std::uint32_t uiCaps = kCaps.TextureOpCaps;
    m_bBlendTextureAlpha = (uiCaps & (1u << 12)) != 0 ? 1 : 0;
    if ((uiCaps & (1u << 22)) != 0)
        m_uiBumpOp = D3DTOP_BUMPENVMAPLUMINANCE;
    else if ((uiCaps & (1u << 21)) != 0)
        m_uiBumpOp = D3DTOP_BUMPENVMAP;
}

std::uint32_t NiD3DDefaultShader::PreProcessPipeline(NiGeometry* pkGeometry, const NiSkinInstance* pkSkin,
                                                     NiDX9GeometryBufferData* pkBuffers, const NiPropertySet* pkState,
                                                     const NiEffectSet* pkEffects, const NiXform& kWorld,
                                                     const NiBoundSphere& kBound)
{
    if (m_pkRenderState != nullptr)
        m_pkRenderState->UpdateRenderState(pkState);
    if (m_pkRenderer != nullptr && m_pkRenderer->GetLightManager() != nullptr && pkState != nullptr)
    {
        m_pkRenderer->GetLightManager()->ApplyVertexColorMode(
            pkEffects, static_cast<const NiTexturingProperty*>(pkState->GetProperty(NiProperty::TEXTURING)),
            static_cast<const NiVertexColorProperty*>(pkState->GetProperty(NiProperty::VERTEX_COLOR)));
    }
    const std::uint32_t uiResult =
        NiD3DShader::PreProcessPipeline(pkGeometry, pkSkin, pkBuffers, pkState, pkEffects, kWorld, kBound);
    if (m_pkRenderState != nullptr)
        m_uiSavedLighting = m_pkRenderState->GetRenderState(D3DRS_LIGHTING);
    return uiResult;
}

std::uint32_t NiD3DDefaultShader::UpdatePipeline(NiGeometry* pkGeometry, const NiSkinInstance*,
                                                 NiDX9GeometryBufferData* pkBuffers, const NiPropertySet* pkState,
                                                 const NiEffectSet* pkEffects, const NiXform&, const NiBoundSphere&)
{
    ReleasePasses();
    m_spOpenPass = nullptr;
    m_uiStagesLeft = 0;
    m_uiTexturesLeft = 0;
    if (pkBuffers == nullptr || pkState == nullptr || (pkGeometry == nullptr && !pkBuffers->HasAllStreams()))
        return NONE_LEFT;
    BuildEffectLists(pkEffects);
    const bool bKeep = ReadBuildInputs(pkGeometry, pkBuffers, pkState);
    const std::uint64_t uiHash = bKeep ? HashWords(m_kInputs) : 0;
    if (bKeep)
    {
        if (auto kIt = m_kBuilds.find(uiHash); kIt != m_kBuilds.end() && kIt->second.m_kInputs == m_kInputs)
        {
            KeptBuild& kBuild = kIt->second;
            const auto uiCount = static_cast<std::uint32_t>(kBuild.m_kPasses.size());
            for (std::uint32_t ui = 0; ui < uiCount; ++ui)
                SetPass(ui, kBuild.m_kPasses[ui]);
            m_uiPassCount = uiCount;
            if (kBuild.m_bFogFlags != 0)
                m_kFogFlags = kBuild.m_kFogFlags;
            kBuild.m_uiFrame = m_uiFrame;
            return 0;
        }
    }
    m_bFogFlagsWritten = 0;
    const std::uint32_t uiResult = BuildPasses(pkGeometry, pkBuffers, pkState);
    if (uiResult != 0)
    {
        m_spOpenPass = nullptr;
        ReleasePasses();
        return uiResult;
    }
    if (bKeep)
    {
        if (m_kBuilds.size() >= MAX_KEPT_BUILDS)
            m_kBuilds.clear();
        KeptBuild& kBuild = m_kBuilds[uiHash];
        kBuild.m_kInputs = m_kInputs;
        kBuild.m_kPasses.assign(m_kPasses.begin(), m_kPasses.begin() + m_uiPassCount);
        kBuild.m_bFogFlags = m_bFogFlagsWritten;
        if (m_bFogFlagsWritten != 0)
            kBuild.m_kFogFlags = m_kFogFlags;
        kBuild.m_uiFrame = m_uiFrame;
    }
    return 0;
}

std::uint32_t NiD3DDefaultShader::TextureSetsOf(NiGeometry* pkGeometry, const NiDX9GeometryBufferData* pkBuffers)
{
    std::uint32_t uiSets = 0;
    NiGeometryData* pkData = pkGeometry != nullptr ? pkGeometry->GetModelData() : nullptr;
    if (pkData != nullptr && (pkData->GetDirtyFlags() & NiGeometryData::CONSISTENCY_MASK) != NiGeometryData::STATIC)
        uiSets = pkData->GetTextureSets();
    else
        uiSets = (pkBuffers->m_uiKey & NiDX9GeometryBufferData::KEY_SETS_MASK) >> NiDX9GeometryBufferData::KEY_SETS_SHIFT;
    return std::min(uiSets, 8u);
}

bool NiD3DDefaultShader::ReadBuildInputs(NiGeometry* pkGeometry, const NiDX9GeometryBufferData* pkBuffers,
                                         const NiPropertySet* pkState)
{
    for (const std::vector<NiTextureEffect*>& kList : m_akLists)
    {
        if (!kList.empty())
            return false;
    }
    const auto* pkTexturing = static_cast<const NiTexturingProperty*>(pkState->GetProperty(NiProperty::TEXTURING));
    const auto* pkAlpha = static_cast<const NiAlphaProperty*>(pkState->GetProperty(NiProperty::ALPHA));
    const auto* pkFog = static_cast<const NiFogProperty*>(pkState->GetProperty(NiProperty::FOG));
    const bool bFog = pkFog != nullptr && pkFog->GetFog();
    std::vector<std::uint64_t>& kIn = m_kInputs;
    kIn.clear();
    kIn.push_back(std::uint64_t(TextureSetsOf(pkGeometry, pkBuffers)) | std::uint64_t(m_bBlendTextureAlpha) << 8 |
                  std::uint64_t(pkTexturing != nullptr) << 9 | std::uint64_t(pkAlpha != nullptr) << 10 |
                  std::uint64_t(bFog) << 11 | std::uint64_t(m_uiBumpOp) << 32);
    kIn.push_back(std::uint64_t(NiD3DPass::GetMaxTextureBlendStages()) |
                  std::uint64_t(NiD3DPass::GetMaxSimultaneousTextures()) << 16 |
                  std::uint64_t(NiD3DPass::GetMaxSamplers()) << 32);
    if (pkAlpha != nullptr)
        kIn.push_back(std::uint64_t(pkAlpha->GetAlphaBlending()) | std::uint64_t(pkAlpha->GetAlphaTesting()) << 1 |
                      std::uint64_t(pkAlpha->GetSrcBlendMode()) << 16 | std::uint64_t(pkAlpha->GetDestBlendMode()) << 32);
    if (bFog)
        kIn.push_back(m_pkRenderState != nullptr ? m_pkRenderState->GetRenderState(D3DRS_FOGCOLOR) : 0);
    if (pkTexturing == nullptr)
        return true;
    const std::uint32_t uiSlots = pkTexturing->GetMapArrayCount();
    kIn.push_back(std::uint64_t(pkTexturing->GetApplyMode()) | std::uint64_t(pkTexturing->GetDecalMapCount()) << 16 |
                  std::uint64_t(uiSlots) << 32);
    const std::uint32_t uiRead = std::max<std::uint32_t>(uiSlots, NiTexturingProperty::DECAL_BASE);
    for (std::uint32_t ui = 0; ui < uiRead; ++ui)
    {
        const NiTextureMap* pkMap = pkTexturing->GetMap(ui);
        if (pkMap == nullptr)
        {
            kIn.push_back(0);
            continue;
        }
        // Bump maps read values of their own; they are used with environment
        // maps only, which are effects and never kept.
        const NiTextureTransform* pkTransform = pkMap->GetTextureTransform();
        kIn.push_back(1 | std::uint64_t(pkTransform != nullptr) << 1 | std::uint64_t(pkMap->GetClampMode()) << 8 |
                      std::uint64_t(pkMap->GetFilterMode()) << 16 | std::uint64_t(pkMap->GetTextureIndex()) << 32);
        // The build holds the texture, so its address stays its own.
        kIn.push_back(reinterpret_cast<std::uintptr_t>(pkMap->GetTexture()));
        if (pkTransform != nullptr)
        {
            const NiMatrix3x3& kM = pkTransform->GetMatrix();
            for (int i = 0; i < 3; ++i)
                kIn.push_back(std::uint64_t(FloatBits(kM.GetEntry(0, i))) | std::uint64_t(FloatBits(kM.GetEntry(1, i))) << 32);
        }
    }
    return true;
}

std::uint32_t NiD3DDefaultShader::PostProcessPipeline(NiGeometry* pkGeometry, const NiSkinInstance* pkSkin,
                                                      NiDX9GeometryBufferData* pkBuffers,
                                                      const NiPropertySet* pkState, const NiEffectSet* pkEffects,
                                                      const NiXform& kWorld, const NiBoundSphere& kBound)
{
    if (m_pkRenderState != nullptr)
        m_pkRenderState->SetRenderState(D3DRS_LIGHTING, m_uiSavedLighting, false);
    return NiD3DShader::PostProcessPipeline(pkGeometry, pkSkin, pkBuffers, pkState, pkEffects, kWorld, kBound);
}

void NiD3DDefaultShader::ClearEffectLists()
{
    for (std::vector<NiTextureEffect*>& kList : m_akLists)
        kList.clear();
    m_pkCachedEffects = nullptr;
}

void NiD3DDefaultShader::ResetPassCache()
{
    ClearEffectLists();
    ++m_uiFrame;
    std::erase_if(m_kBuilds, [this](const auto& kEntry) { return kEntry.second.m_uiFrame + 1 < m_uiFrame; });
}

void NiD3DDefaultShader::ForgetBuilds()
{
    m_kBuilds.clear();
}

// ---- effect lists ----

void NiD3DDefaultShader::BuildEffectLists(const NiEffectSet* pkEffects)
{
    if (pkEffects == m_pkCachedEffects)
        return;
    ClearEffectLists();
    m_pkCachedEffects = pkEffects;
    if (pkEffects == nullptr)
        return;
    for (const NiEffectSet::EffectList* pkList : {&pkEffects->GetProjectedLights(), &pkEffects->GetProjectedShadows()})
    {
        for (NiListPos kPos = pkList->GetHeadPos(); kPos != nullptr;)
        {
            auto* pkEffect = NiDynamicCast<NiTextureEffect>(NiEffectSet::EffectList::GetNext(kPos));
            if (pkEffect != nullptr)
                Classify(pkEffect, pkEffect->GetClippingPlaneEnable());
        }
    }
    Classify(pkEffects->GetEnvironmentMap(), false);
    Classify(pkEffects->GetFogMap(), false);
}

void NiD3DDefaultShader::Classify(NiTextureEffect* pkEffect, bool bPlane)
{
    if (pkEffect == nullptr || !pkEffect->GetSwitch() || pkEffect->GetEffectTexture() == nullptr)
        return;
    // Only the five coordinate modes have a setter; scene files may carry
    // others.
    if (pkEffect->GetTextureCoordGen() > NiTextureEffect::DIFFUSE_CUBE_MAP)
        return;
    if (m_pkRenderer != nullptr && m_pkRenderer->GetTextureManager() != nullptr &&
        m_pkRenderer->GetTextureManager()->GetFormatIndex(pkEffect->GetEffectTexture()) ==
            NiDX9TextureManager::FORMAT_NONE)
        return;
    switch (pkEffect->GetTextureType())
    {
    case NiTextureEffect::PROJECTED_LIGHT:
        m_akLists[bPlane ? LIGHT_PLANE : LIGHT].push_back(pkEffect);
        break;
    case NiTextureEffect::PROJECTED_SHADOW:
        m_akLists[bPlane ? SHADOW_PLANE : SHADOW].push_back(pkEffect);
        break;
    case NiTextureEffect::ENVIRONMENT_MAP:
        m_akLists[ENVIRONMENT].push_back(pkEffect);
        break;
    case NiTextureEffect::FOG_MAP:
        m_akLists[FOG_MAP].push_back(pkEffect);
        break;
    default:
        break;
    }
}

// ---- pass primitives ----

std::uint32_t NiD3DDefaultShader::MapAlpha(std::uint32_t uiFunction) const
{
    return m_pkRenderState != nullptr ? m_pkRenderState->GetD3DBlend(uiFunction) : D3DBLEND_ONE;
}

void NiD3DDefaultShader::StartNewPass(std::uint32_t uiSrc, std::uint32_t uiDest, bool bReserveBase,
                                      bool bAlphaFromDiffuse)
{
    if (IsPassOpen())
        return;
    NiD3DPass::CreateNewPass(m_spOpenPass);
    if (m_spOpenPass == nullptr)
        return;
    SetPass(m_uiPassCount, m_spOpenPass);
    if (m_uiPassCount != 0)
    {
        NiD3DRenderStateGroup* pkGroup = NiD3DRenderStateGroup::CreateRenderStateGroup();
        if (pkGroup != nullptr)
        {
            pkGroup->SetRenderState(D3DRS_SRCBLEND, uiSrc, false);
            pkGroup->SetRenderState(D3DRS_DESTBLEND, uiDest, false);
            pkGroup->SetRenderState(D3DRS_ALPHABLENDENABLE, 1, true);
            m_spOpenPass->SetRenderStateGroup(pkGroup);
        }
    }
    m_bReserveBase = bReserveBase ? 1 : 0;
    m_bAlphaFromDiffuse = bAlphaFromDiffuse ? 1 : 0;
    const std::uint32_t uiReserve = bReserveBase ? 1 : 0;
    m_uiStagesLeft = NiD3DPass::GetMaxTextureBlendStages() - std::min(uiReserve, NiD3DPass::GetMaxTextureBlendStages());
    m_uiTexturesLeft =
        NiD3DPass::GetMaxSimultaneousTextures() - std::min(uiReserve, NiD3DPass::GetMaxSimultaneousTextures());
}

void NiD3DDefaultShader::FinishPass(const NiTextureMap* pkBase, std::uint32_t uiBaseIndex)
{
    if (!IsPassOpen())
        return;
    if (m_bReserveBase != 0 && pkBase != nullptr)
    {
        // The reserved stage and texture are the base map's.
        ++m_uiStagesLeft;
        ++m_uiTexturesLeft;
        NiD3DTextureStage* pkStage = AddTextureStage(pkBase, uiBaseIndex);
        Set(pkStage, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
        Set(pkStage, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
        Set(pkStage, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
    }
    m_spOpenPass = nullptr;
    ++m_uiPassCount;
    m_uiStagesLeft = 0;
    m_uiTexturesLeft = 0;
}

bool NiD3DDefaultShader::PassBlendMatches(std::uint32_t uiSrc, std::uint32_t uiDest) const
{
    if (m_uiPassCount == 0 || !IsPassOpen())
        return true;
    const NiD3DRenderStateGroup* pkGroup = m_spOpenPass->GetRenderStateGroup();
    if (pkGroup == nullptr)
        return false;
    std::uint32_t uiValue = 0;
    bool bSave = false;
    if (!pkGroup->GetRenderState(D3DRS_SRCBLEND, uiValue, bSave) || uiValue != uiSrc)
        return false;
    return pkGroup->GetRenderState(D3DRS_DESTBLEND, uiValue, bSave) && uiValue == uiDest;
}

NiD3DTextureStage* NiD3DDefaultShader::TakeStage(bool bTexture)
{
    if (!IsPassOpen() || !m_spOpenPass->CanAddStages(1, bTexture ? 1 : 0))
        return nullptr;
    NiD3DTextureStage* pkStage = NiD3DTextureStage::GetFreeStage();
    if (pkStage != nullptr)
        pkStage->SetStage(m_spOpenPass->GetStageCount());
    return pkStage;
}

void NiD3DDefaultShader::AppendStage(NiD3DTextureStage* pkStage)
{
    if (m_uiStagesLeft > 0)
        --m_uiStagesLeft;
    m_spOpenPass->SetStage(m_spOpenPass->GetStageCount(), pkStage);
}

std::uint32_t NiD3DDefaultShader::DiffuseOrCurrent()
{
    if (m_bAlphaFromDiffuse == 0)
        return D3DTA_CURRENT;
    m_bAlphaFromDiffuse = 0;
    return D3DTA_DIFFUSE;
}

void NiD3DDefaultShader::SetMapTransform(NiD3DTextureStage* pkStage, const NiTextureMap* pkMap)
{
    const NiTextureTransform* pkTransform = pkMap->GetTextureTransform();
    if (pkTransform == nullptr)
    {
        pkStage->SetTextureTransformEnabled(false);
        Set(pkStage, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
        return;
    }
    const NiMatrix3x3& kM = pkTransform->GetMatrix();
    D3DMATRIX& kR = pkStage->GetTextureMatrix();
    kR = D3DMATRIX{};
    for (int i = 0; i < 3; ++i)
    {
        kR.m[i][0] = kM.GetEntry(0, i);
        kR.m[i][1] = kM.GetEntry(1, i);
    }
    pkStage->SetTextureTransformEnabled(true);
    Set(pkStage, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
}

NiD3DTextureStage* NiD3DDefaultShader::AddTextureStage(const NiTextureMap* pkMap, std::uint32_t uiIndex)
{
    const bool bTexture = HasTexture(pkMap);
    NiD3DTextureStage* pkStage = TakeStage(pkMap != nullptr);
    if (pkStage == nullptr)
        return nullptr;
    Set(pkStage, D3DTSS_RESULTARG, D3DTA_CURRENT);
    if (bTexture)
    {
        pkStage->SetTexture(pkMap->GetTexture());
        pkStage->SetTexCoordIndex(uiIndex, false);
        Set(pkStage, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        Set(pkStage, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        Set(pkStage, D3DTSS_COLORARG2, D3DTA_CURRENT);
        Set(pkStage, D3DTSS_ALPHAOP, D3DTOP_SELECTARG2);
        Set(pkStage, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
        Set(pkStage, D3DTSS_ALPHAARG2, DiffuseOrCurrent());
        pkStage->SetClampMode(pkMap->GetClampMode());
        pkStage->SetFilterMode(pkMap->GetFilterMode());
        SetMapTransform(pkStage, pkMap);
        if (m_uiTexturesLeft > 0)
            --m_uiTexturesLeft;
    }
    else
    {
        Set(pkStage, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        Set(pkStage, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
        Set(pkStage, D3DTSS_COLORARG2, D3DTA_CURRENT);
        Set(pkStage, D3DTSS_ALPHAOP, m_bAlphaFromDiffuse != 0 ? D3DTOP_SELECTARG1 : D3DTOP_SELECTARG2);
        m_bAlphaFromDiffuse = 0;
        Set(pkStage, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
        Set(pkStage, D3DTSS_ALPHAARG2, D3DTA_CURRENT);
        if (m_uiTexturesLeft > 0)
            --m_uiTexturesLeft;
    }
    AppendStage(pkStage);
    return pkStage;
}

NiD3DTextureStage* NiD3DDefaultShader::AddEffectStage(const NiTextureEffect* pkEffect)
{
    NiD3DTextureStage* pkStage = TakeStage(true);
    if (pkStage == nullptr)
        return nullptr;
    pkStage->SetTexture(pkEffect->GetEffectTexture());
    Set(pkStage, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    Set(pkStage, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    Set(pkStage, D3DTSS_COLORARG2, D3DTA_CURRENT);
    Set(pkStage, D3DTSS_ALPHAOP, D3DTOP_SELECTARG2);
    Set(pkStage, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    Set(pkStage, D3DTSS_ALPHAARG2, DiffuseOrCurrent());
    (this->*m_apfnSetters[pkEffect->GetTextureCoordGen()])(pkStage, pkEffect);
    pkStage->SetFilterMode(pkEffect->GetTextureFilter());
    pkStage->SetClampMode(pkEffect->GetTextureClamp());
    if (m_uiTexturesLeft > 0)
        --m_uiTexturesLeft;
    AppendStage(pkStage);
    return pkStage;
}

NiD3DTextureStage* NiD3DDefaultShader::AddClipPlaneStage(const NiTextureEffect* pkEffect)
{
    NiD3DTextureStage* pkStage = TakeStage(true);
    if (pkStage == nullptr)
        return nullptr;
    pkStage->SetTexture(m_pkRenderer != nullptr ? m_pkRenderer->GetDefaultTexture() : nullptr);
    pkStage->SetTexCoordIndex(D3DTSS_TCI_CAMERASPACEPOSITION, false);
    pkStage->SetTextureTransformEnabled(true);
    Set(pkStage, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
    Set(pkStage, D3DTSS_COLOROP, D3DTOP_MODULATE);
    Set(pkStage, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    Set(pkStage, D3DTSS_COLORARG2, D3DTA_CURRENT);
    Set(pkStage, D3DTSS_ALPHAOP, D3DTOP_SELECTARG2);
    Set(pkStage, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    Set(pkStage, D3DTSS_ALPHAARG2, DiffuseOrCurrent());
    pkStage->SetClampMode(NiTextureMap::CLAMP_S_CLAMP_T);
    pkStage->SetFilterMode(NiTextureMap::FILTER_NEAREST);
    const NiPlane& kPlane = pkEffect->GetWorldClippingPlane();
    const float fSign = pkEffect->GetTextureType() == NiTextureEffect::PROJECTED_SHADOW ? -1.0f : 1.0f;
    const float fX = fSign * kPlane.m_kNormal.x;
    const float fY = fSign * kPlane.m_kNormal.y;
    const float fZ = fSign * kPlane.m_kNormal.z;
    const float fD = fSign * kPlane.m_fConstant;
    const D3DMATRIX kC = m_pkRenderer != nullptr ? m_pkRenderer->GetInvView() : D3DMATRIX{};
    D3DMATRIX& kR = pkStage->GetTextureMatrix();
    kR = D3DMATRIX{};
    for (int i = 0; i < 4; ++i)
        kR.m[i][0] = fX * kC.m[i][0] + fY * kC.m[i][1] + fZ * kC.m[i][2];
    // u = signed distance + 0.5: the texel boundary lies on the plane.
    kR.m[3][0] += 0.5f - fD;
    if (m_uiTexturesLeft > 0)
        --m_uiTexturesLeft;
    AppendStage(pkStage);
    return pkStage;
}

NiD3DTextureStage* NiD3DDefaultShader::AddBumpMapStage(const NiTextureMap* pkMap, std::uint32_t uiIndex)
{
    NiD3DTextureStage* pkStage = TakeStage(true);
    if (pkStage == nullptr)
        return nullptr;
    pkStage->SetTexture(pkMap->GetTexture());
    pkStage->SetTexCoordIndex(uiIndex, false);
    Set(pkStage, D3DTSS_COLOROP, m_uiBumpOp);
    Set(pkStage, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    Set(pkStage, D3DTSS_COLORARG2, D3DTA_CURRENT);
    Set(pkStage, D3DTSS_ALPHAOP, D3DTOP_SELECTARG2);
    Set(pkStage, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    Set(pkStage, D3DTSS_ALPHAARG2, DiffuseOrCurrent());
    if (HasTexture(pkMap))
    {
        pkStage->SetClampMode(pkMap->GetClampMode());
        pkStage->SetFilterMode(pkMap->GetFilterMode());
        SetMapTransform(pkStage, pkMap);
        NiBumpMap kDefaults;
        const auto* pkBump = dynamic_cast<const NiBumpMap*>(pkMap);
        if (pkBump == nullptr)
            pkBump = &kDefaults;
        Set(pkStage, D3DTSS_BUMPENVMAT00, FloatBits(pkBump->m_fBumpMat00));
        Set(pkStage, D3DTSS_BUMPENVMAT01, FloatBits(pkBump->m_fBumpMat01));
        Set(pkStage, D3DTSS_BUMPENVMAT10, FloatBits(pkBump->m_fBumpMat10));
        Set(pkStage, D3DTSS_BUMPENVMAT11, FloatBits(pkBump->m_fBumpMat11));
        Set(pkStage, D3DTSS_BUMPENVLSCALE, FloatBits(pkBump->m_fLumaScale));
        Set(pkStage, D3DTSS_BUMPENVLOFFSET, FloatBits(pkBump->m_fLumaOffset));
    }
    if (m_uiTexturesLeft > 0)
        --m_uiTexturesLeft;
    AppendStage(pkStage);
    return pkStage;
}

// ---- coordinate generation ----

void NiD3DDefaultShader::FillEffectMatrix(NiD3DTextureStage* pkStage, const NiTextureEffect* pkEffect,
                                          bool bPositionRow)
{
    const D3DMATRIX kC = m_pkRenderer != nullptr ? m_pkRenderer->GetInvView() : D3DMATRIX{};
    const NiMatrix3x3& kP = pkEffect->GetWorldProjectionMatrix();
    const NiVec3& kT = pkEffect->GetWorldProjectionTranslation();
    const float afT[3] = {kT.x, kT.y, kT.z};
    D3DMATRIX& kR = pkStage->GetTextureMatrix();
    kR = D3DMATRIX{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            kR.m[i][j] = kC.m[i][0] * kP.GetEntry(j, 0) + kC.m[i][1] * kP.GetEntry(j, 1) + kC.m[i][2] * kP.GetEntry(j, 2);
    for (int j = 0; j < 3; ++j)
    {
        kR.m[3][j] = afT[j];
        if (bPositionRow)
            kR.m[3][j] += kC.m[3][0] * kP.GetEntry(j, 0) + kC.m[3][1] * kP.GetEntry(j, 1) + kC.m[3][2] * kP.GetEntry(j, 2);
    }
    pkStage->SetTextureTransformEnabled(true);
}

void NiD3DDefaultShader::SetWorldParallel(NiD3DTextureStage* pkStage, const NiTextureEffect* pkEffect)
{
    pkStage->SetTexCoordIndex(D3DTSS_TCI_CAMERASPACEPOSITION, false);
    Set(pkStage, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
    FillEffectMatrix(pkStage, pkEffect, true);
}

void NiD3DDefaultShader::SetWorldPerspective(NiD3DTextureStage* pkStage, const NiTextureEffect* pkEffect)
{
    pkStage->SetTexCoordIndex(D3DTSS_TCI_CAMERASPACEPOSITION, false);
    const std::uint32_t uiFlags = NiDX9Renderer::GetProjectedTextureFlags();
    Set(pkStage, D3DTSS_TEXTURETRANSFORMFLAGS, uiFlags);
    FillEffectMatrix(pkStage, pkEffect, true);
    if (uiFlags == 0 || uiFlags == D3DTTFF_PROJECTED)
        pkStage->SetTextureTransformEnabled(false);
}

void NiD3DDefaultShader::SetSphereMap(NiD3DTextureStage* pkStage, const NiTextureEffect* pkEffect)
{
    pkStage->SetTexCoordIndex(D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR, false);
    Set(pkStage, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
    FillEffectMatrix(pkStage, pkEffect, false);
}

void NiD3DDefaultShader::SetSpecularCubeMap(NiD3DTextureStage* pkStage, const NiTextureEffect* pkEffect)
{
    pkStage->SetTexCoordIndex(D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR, false);
    Set(pkStage, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT3);
    FillEffectMatrix(pkStage, pkEffect, false);
}

void NiD3DDefaultShader::SetDiffuseCubeMap(NiD3DTextureStage* pkStage, const NiTextureEffect* pkEffect)
{
    pkStage->SetTexCoordIndex(D3DTSS_TCI_CAMERASPACENORMAL, false);
    Set(pkStage, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT3);
    FillEffectMatrix(pkStage, pkEffect, false);
}

// ---- the pass builder ----

std::uint32_t NiD3DDefaultShader::BuildPasses(NiGeometry* pkGeometry, NiDX9GeometryBufferData* pkBuffers,
                                              const NiPropertySet* pkState)
{
    const auto* pkTexturing = static_cast<const NiTexturingProperty*>(pkState->GetProperty(NiProperty::TEXTURING));
    const auto* pkAlpha = static_cast<const NiAlphaProperty*>(pkState->GetProperty(NiProperty::ALPHA));
    const auto* pkFog = static_cast<const NiFogProperty*>(pkState->GetProperty(NiProperty::FOG));

    // Texture-coordinate sets of the batch.
    const std::uint32_t uiSets = TextureSetsOf(pkGeometry, pkBuffers);
    m_uiMaxTexIndex = uiSets > 0 ? uiSets - 1 : 0;
    auto Index = [this](const NiTextureMap* pkMap) {
        return pkMap != nullptr ? std::min(pkMap->GetTextureIndex(), m_uiMaxTexIndex) : 0u;
    };

    const NiTextureMap* pkBase = nullptr;
    const NiTextureMap* pkDark = nullptr;
    const NiTextureMap* pkDetail = nullptr;
    const NiTextureMap* pkGloss = nullptr;
    const NiTextureMap* pkGlow = nullptr;
    const NiTextureMap* pkBump = nullptr;
    if (pkTexturing != nullptr && uiSets > 0)
    {
        pkBase = pkTexturing->GetMap(NiTexturingProperty::BASE_INDEX);
        pkDark = pkTexturing->GetMap(NiTexturingProperty::DARK_INDEX);
        pkDetail = pkTexturing->GetMap(NiTexturingProperty::DETAIL_INDEX);
        pkGloss = pkTexturing->GetMap(NiTexturingProperty::GLOSS_INDEX);
        pkGlow = pkTexturing->GetMap(NiTexturingProperty::GLOW_INDEX);
        pkBump = pkTexturing->GetMap(NiTexturingProperty::BUMP_INDEX);
    }
    const std::uint32_t uiApply = pkTexturing != nullptr ? pkTexturing->GetApplyMode() : 2;
    const std::uint32_t uiBaseIndex = Index(pkBase);

    auto IsAlphaFunction = [](std::uint32_t ui) { return ui >= NiAlphaProperty::ALPHA_SRCALPHA && ui <= NiAlphaProperty::ALPHA_SRCALPHASAT; };
    const bool bBlending = pkAlpha != nullptr && pkAlpha->GetAlphaBlending() &&
                           (IsAlphaFunction(pkAlpha->GetSrcBlendMode()) || IsAlphaFunction(pkAlpha->GetDestBlendMode()));
    const bool bTesting = pkAlpha != nullptr && pkAlpha->GetAlphaTesting();
    const bool bR = (bBlending || bTesting) && pkBase != nullptr && uiApply != 1;
    const bool bD = (bBlending || bTesting) && uiApply != 0;
    bool bV = uiApply != 0;
    const std::vector<NiTextureEffect*>& kA = m_akLists[LIGHT_PLANE];
    const std::vector<NiTextureEffect*>& kB = m_akLists[LIGHT];
    bool bDarkLeft = HasTexture(pkDark);
    std::uint32_t uiL = static_cast<std::uint32_t>(kB.size() + 2 * kA.size()) + (bDarkLeft ? 1 : 0);
    std::uint32_t uiK = (HasTexture(pkBase) ? 1 : 0) + (HasTexture(pkDetail) ? 1 : 0);
    const std::uint32_t uiMapped = bBlending ? MapAlpha(pkAlpha->GetSrcBlendMode()) : D3DBLEND_ONE;
    std::size_t uiNextA = 0;
    std::size_t uiNextB = 0;
    const std::uint32_t uiMaxTextures = NiD3DPass::GetMaxSimultaneousTextures();

    // Base passes: light effects, the dark map, base, detail, vertex colour.
    for (;;)
    {
        if (!bV && uiK + uiL == 0)
            break;
        const bool bALeft = uiNextA < kA.size();
        const std::uint32_t uiNeed = uiK + ((bV && !(!bALeft && uiL <= 1 && uiK != 0)) ? 1 : 0);
        bool bFits = false;
        if (m_uiPassCount == 0)
            bFits = kA.size() - uiNextA > 1 ? false : uiNeed + uiL <= uiMaxTextures;
        else
            bFits = uiL != 0 ? false : uiNeed <= uiMaxTextures;
        const std::uint32_t uiKBefore = uiK;
        const std::uint32_t uiLBefore = uiL;
        const bool bVBefore = bV;
        if (uiL == 0)
            StartNewPass(D3DBLEND_ZERO, D3DBLEND_SRCCOLOR, bR && !bFits, bD && !bFits);
        else
            StartNewPass(uiMapped, D3DBLEND_ONE, bR && !bFits, bD && !bFits);
        bool bPrecedes = false;

        if (uiNextA < kA.size() && BudgetLasts())
        {
            const NiTextureEffect* pkEffect = kA[uiNextA++];
            AddEffectStage(pkEffect);
            if (BudgetLasts())
            {
                NiD3DTextureStage* pkClip = AddClipPlaneStage(pkEffect);
                Set(pkClip, D3DTSS_COLOROP, D3DTOP_MODULATE);
                Set(pkClip, D3DTSS_ALPHAOP, D3DTOP_SELECTARG2);
            }
            uiL -= std::min(uiL, 2u);
            bPrecedes = true;
        }
        auto LightOverrides = [&](NiD3DTextureStage* pkStage, bool bVertexColourCase) {
            if (bPrecedes)
                Set(pkStage, D3DTSS_COLOROP, D3DTOP_ADD);
            else if (bV && bVertexColourCase)
            {
                Set(pkStage, D3DTSS_COLOROP, D3DTOP_MODULATE);
                Set(pkStage, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
                Set(pkStage, D3DTSS_ALPHAOP, D3DTOP_SELECTARG2);
                Set(pkStage, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
                bV = false;
            }
        };
        if (bDarkLeft && BudgetLasts())
        {
            NiD3DTextureStage* pkStage = AddTextureStage(pkDark, Index(pkDark));
            LightOverrides(pkStage, kA.empty() && kB.empty());
            bDarkLeft = false;
            uiL -= std::min(uiL, 1u);
            bPrecedes = true;
        }
        while (uiNextB < kB.size() && BudgetLasts())
        {
            NiD3DTextureStage* pkStage = AddEffectStage(kB[uiNextB++]);
            LightOverrides(pkStage, kA.empty() && kB.size() == 1 && !bDarkLeft);
            uiL -= std::min(uiL, 1u);
            bPrecedes = true;
        }
        if (!bFits)
        {
            FinishPass(pkBase, uiBaseIndex);
            // A pass that placed nothing would repeat for ever (stage limits
            // below two): the build ends.
            if (uiK == uiKBefore && uiL == uiLBefore && bV == bVBefore)
                return NONE_LEFT;
            continue;
        }
        if (HasTexture(pkBase))
        {
            NiD3DTextureStage* pkStage = AddTextureStage(pkBase, uiBaseIndex);
            if (bPrecedes)
            {
                Set(pkStage, D3DTSS_COLOROP, D3DTOP_MODULATE);
                Set(pkStage, D3DTSS_ALPHAOP, bD && !bV ? D3DTOP_MODULATE : D3DTOP_SELECTARG1);
            }
            else if (bV)
            {
                Set(pkStage, D3DTSS_COLOROP, D3DTOP_MODULATE);
                Set(pkStage, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
                Set(pkStage, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
                Set(pkStage, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
                bV = false;
            }
            else
            {
                Set(pkStage, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
                Set(pkStage, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
            }
            --uiK;
            bPrecedes = true;
        }
        if (HasTexture(pkDetail))
        {
            NiD3DTextureStage* pkStage = AddTextureStage(pkDetail, Index(pkDetail));
            if (!bPrecedes)
            {
                Set(pkStage, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
                Set(pkStage, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
                Set(pkStage, D3DTSS_ALPHAOP, D3DTOP_MODULATE2X);
                bV = false;
            }
            Set(pkStage, D3DTSS_COLOROP, D3DTOP_MODULATE2X);
            --uiK;
            bPrecedes = true;
        }
        if (bV)
        {
            NiD3DTextureStage* pkStage = AddTextureStage(nullptr, 0);
            const bool bModulate = bPrecedes && uiApply == 2;
            Set(pkStage, D3DTSS_COLOROP, bModulate ? D3DTOP_MODULATE : D3DTOP_SELECTARG1);
            Set(pkStage, D3DTSS_ALPHAOP, bModulate ? D3DTOP_MODULATE : D3DTOP_SELECTARG1);
            bV = false;
        }
        if (uiK == uiKBefore && uiL == uiLBefore && bV == bVBefore)
            return NONE_LEFT;
    }

    // Decals.
    std::uint32_t uiDecals = 0;
    const std::uint32_t uiSlots = pkTexturing != nullptr ? pkTexturing->GetMapArrayCount() : 0;
    if (pkTexturing != nullptr)
    {
        uiDecals = pkTexturing->GetDecalMapCount();
        for (std::uint32_t ui = NiTexturingProperty::DECAL_BASE; ui < uiSlots; ++ui)
        {
            const NiTextureMap* pkMap = pkTexturing->GetMap(ui);
            if (pkMap != nullptr && pkMap->GetTexture() == nullptr && uiDecals > 0)
                --uiDecals;
        }
    }
    std::uint32_t uiSlot = NiTexturingProperty::DECAL_BASE;
    auto NextDecal = [&]() -> const NiTextureMap* {
        for (; uiSlot < uiSlots; ++uiSlot)
        {
            const NiTextureMap* pkMap = pkTexturing->GetMap(uiSlot);
            if (HasTexture(pkMap))
            {
                ++uiSlot;
                return pkMap;
            }
        }
        return nullptr;
    };
    if (uiDecals > 0)
    {
        bool bIntoOpen = false;
        if (m_bBlendTextureAlpha != 0 && m_uiPassCount == 0 && !bBlending && !bTesting && uiApply == 0)
        {
            bIntoOpen = true;
            while (uiDecals > 0 && BudgetLasts())
            {
                const NiTextureMap* pkDecal = NextDecal();
                if (pkDecal == nullptr)
                {
                    uiDecals = 0;
                    break;
                }
                Set(AddTextureStage(pkDecal, Index(pkDecal)), D3DTSS_COLOROP, D3DTOP_BLENDTEXTUREALPHA);
                --uiDecals;
            }
            if (uiDecals > 0)
                ClosePass();
        }
        if (!bIntoOpen)
            FinishPass(pkBase, uiBaseIndex);
        while (uiDecals > 0)
        {
            const NiTextureMap* pkDecal = NextDecal();
            if (pkDecal == nullptr)
                break;
            StartNewPass(D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, false, false);
            NiD3DTextureStage* pkStage = AddTextureStage(pkDecal, Index(pkDecal));
            --uiDecals;
            if (uiApply != 0)
            {
                Set(pkStage, D3DTSS_COLOROP, D3DTOP_MODULATE);
                Set(pkStage, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
                Set(pkStage, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
                Set(pkStage, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
                ClosePass();
            }
            else if (m_bBlendTextureAlpha == 0)
            {
                Set(pkStage, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
                ClosePass();
            }
            else
            {
                Set(pkStage, D3DTSS_COLOROP, D3DTOP_MODULATE);
                Set(pkStage, D3DTSS_COLORARG2, D3DTA_TEXTURE | D3DTA_ALPHAREPLICATE);
                Set(pkStage, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
                while (uiDecals > 0 && BudgetLasts())
                {
                    const NiTextureMap* pkMore = NextDecal();
                    if (pkMore == nullptr)
                    {
                        uiDecals = 0;
                        break;
                    }
                    NiD3DTextureStage* pkNext = AddTextureStage(pkMore, Index(pkMore));
                    Set(pkNext, D3DTSS_COLOROP, D3DTOP_BLENDTEXTUREALPHA);
                    Set(pkNext, D3DTSS_ALPHAOP, D3DTOP_ADD);
                    --uiDecals;
                }
                if (uiDecals > 0)
                    ClosePass();
            }
        }
    }

    // Shadows.
    const std::vector<NiTextureEffect*>& kC = m_akLists[SHADOW_PLANE];
    const std::vector<NiTextureEffect*>& kDList = m_akLists[SHADOW];
    if (!kC.empty() || !kDList.empty())
    {
        if (!(kC.empty() && PassBlendMatches(D3DBLEND_ZERO, D3DBLEND_SRCCOLOR)))
            FinishPass(pkBase, uiBaseIndex);
        std::size_t uiNextC = 0;
        std::size_t uiNextD = 0;
        while (uiNextC < kC.size() || uiNextD < kDList.size())
        {
            const std::size_t uiBefore = uiNextC + uiNextD;
            bool bHasStage = true;
            if (!IsPassOpen())
            {
                StartNewPass(D3DBLEND_ZERO, D3DBLEND_SRCCOLOR, bR, bD);
                bHasStage = false;
                if (uiNextC < kC.size())
                {
                    const NiTextureEffect* pkEffect = kC[uiNextC++];
                    if (AddEffectStage(pkEffect) != nullptr)
                        bHasStage = true;
                    if (BudgetLasts())
                        Set(AddClipPlaneStage(pkEffect), D3DTSS_COLOROP, D3DTOP_ADD);
                }
            }
            while (uiNextD < kDList.size() && BudgetLasts())
            {
                NiD3DTextureStage* pkStage = AddEffectStage(kDList[uiNextD++]);
                if (bHasStage)
                    Set(pkStage, D3DTSS_COLOROP, D3DTOP_MODULATE);
                bHasStage = true;
            }
            if (uiNextC < kC.size() || uiNextD < kDList.size())
            {
                FinishPass(pkBase, uiBaseIndex);
                if (uiNextC + uiNextD == uiBefore)
                    return NONE_LEFT;
            }
        }
    }

    // The environment map with gloss and bump maps.
    const std::vector<NiTextureEffect*>& kE = m_akLists[ENVIRONMENT];
    if (!kE.empty())
    {
        bool bBumpUsed = HasTexture(pkBump) && m_uiBumpOp != 1;
        bool bGlossUsed = HasTexture(pkGloss);
        std::uint32_t uiNeeded = 1 + (bGlossUsed ? 1 : 0) + (bBumpUsed ? 1 : 0);
        const std::uint32_t uiReserve = bR ? 1 : 0;
        while (uiNeeded + uiReserve > NiD3DPass::GetMaxTextureBlendStages() &&
               uiNeeded + uiReserve > NiD3DPass::GetMaxSimultaneousTextures() && (bGlossUsed || bBumpUsed))
        {
            if (bGlossUsed)
                bGlossUsed = false;
            else
                bBumpUsed = false;
            --uiNeeded;
        }
        const bool bStayed = IsPassOpen() && !bGlossUsed && PassBlendMatches(D3DBLEND_ONE, D3DBLEND_ONE) &&
                             m_uiStagesLeft >= uiNeeded && m_uiTexturesLeft >= uiNeeded;
        if (!bStayed)
            FinishPass(pkBase, uiBaseIndex);
        if (!IsPassOpen())
            StartNewPass(uiMapped, D3DBLEND_ONE, bR, bD);
        if (bBumpUsed && m_uiStagesLeft >= 2 && m_uiTexturesLeft >= 2)
            AddBumpMapStage(pkBump, Index(pkBump));
        NiD3DTextureStage* pkEnvironment = AddEffectStage(kE.front());
        if (bStayed)
            Set(pkEnvironment, D3DTSS_COLOROP, D3DTOP_ADD);
        if (bGlossUsed)
            Set(AddTextureStage(pkGloss, Index(pkGloss)), D3DTSS_COLOROP, D3DTOP_MODULATE);
    }

    // The glow map.
    if (HasTexture(pkGlow))
    {
        const bool bStayed = IsPassOpen() && PassBlendMatches(D3DBLEND_ONE, D3DBLEND_ONE) && m_uiStagesLeft != 0 &&
                             m_uiTexturesLeft != 0;
        if (!bStayed)
            FinishPass(pkBase, uiBaseIndex);
        if (!IsPassOpen())
            StartNewPass(uiMapped, D3DBLEND_ONE, bR, bD);
        Set(AddTextureStage(pkGlow, Index(pkGlow)), D3DTSS_COLOROP, bStayed ? D3DTOP_ADD : D3DTOP_SELECTARG1);
    }

    // Fog maps.
    const std::vector<NiTextureEffect*>& kF = m_akLists[FOG_MAP];
    std::size_t uiNextF = 0;
    if (!kF.empty())
    {
        bool bPlaced = false;
        if (m_bBlendTextureAlpha != 0 && m_uiPassCount == 0)
        {
            while (uiNextF < kF.size() && BudgetLasts())
                Set(AddEffectStage(kF[uiNextF++]), D3DTSS_COLOROP, D3DTOP_BLENDTEXTUREALPHA);
            if (uiNextF == kF.size())
                bPlaced = true;
            else
                ClosePass();
        }
        else if (!PassBlendMatches(D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA))
        {
            ClosePass();
        }
        while (!bPlaced && uiNextF < kF.size())
        {
            if (IsPassOpen() && !BudgetLasts())
                ClosePass();
            if (!IsPassOpen())
                StartNewPass(D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, bR, bD);
            Set(AddEffectStage(kF[uiNextF++]), D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
            ClosePass();
        }
    }

    FinishPass(pkBase, uiBaseIndex);
    FogFixUp(pkFog, pkAlpha, pkBase, uiBaseIndex, uiApply);
    return 0;
}

void NiD3DDefaultShader::FogFixUp(const NiFogProperty* pkFog, const NiAlphaProperty* pkAlpha,
                                  const NiTextureMap* pkBase, std::uint32_t uiBaseIndex, std::uint32_t uiApplyMode)
{
    if (m_uiPassCount < 2 || pkFog == nullptr || !pkFog->GetFog())
        return;
    const bool bAlpha = pkAlpha != nullptr && (pkAlpha->GetAlphaBlending() || pkAlpha->GetAlphaTesting());
    const bool bBaseInFogPass = bAlpha && pkBase != nullptr && uiApplyMode != 1;
    const bool bDiffuseAlpha = bAlpha && uiApplyMode != 0;

    if (m_kFogFlags.size() < m_uiPassCount)
        m_kFogFlags.resize(m_uiPassCount);
    m_bFogFlagsWritten = 1;
    m_kFogFlags[0] = 1;
    for (std::uint32_t ui = 1; ui < m_uiPassCount; ++ui)
    {
        std::uint32_t uiSrc = 0;
        std::uint32_t uiDest = 0;
        bool bSave = false;
        const NiD3DRenderStateGroup* pkGroup = GetPass(ui)->GetRenderStateGroup();
        if (pkGroup != nullptr)
        {
            pkGroup->GetRenderState(D3DRS_SRCBLEND, uiSrc, bSave);
            pkGroup->GetRenderState(D3DRS_DESTBLEND, uiDest, bSave);
        }
        if (uiSrc == D3DBLEND_SRCCOLOR || uiSrc == D3DBLEND_INVSRCCOLOR)
            m_kFogFlags[ui] = 1;
        else if (uiDest == D3DBLEND_INVSRCCOLOR || uiDest == D3DBLEND_DESTCOLOR)
            m_kFogFlags[ui] = 1;
        else if (uiSrc == D3DBLEND_ZERO || uiSrc == D3DBLEND_DESTCOLOR)
            m_kFogFlags[ui] = 0;
        else if (uiDest == D3DBLEND_ZERO || uiDest == D3DBLEND_SRCCOLOR)
        {
            for (std::uint32_t uiEarlier = 0; uiEarlier < ui; ++uiEarlier)
                m_kFogFlags[uiEarlier] = 0;
            m_kFogFlags[ui] = 1;
        }
        else
            m_kFogFlags[ui] = 1;
    }
    const std::uint32_t uiFogColor = m_pkRenderState != nullptr ? m_pkRenderState->GetRenderState(D3DRS_FOGCOLOR) : 0;
    for (std::uint32_t ui = 0; ui < m_uiPassCount; ++ui)
    {
        NiD3DPass* pkPass = GetPass(ui);
        NiD3DRenderStateGroup* pkGroup = pkPass->GetRenderStateGroup();
        if (pkGroup == nullptr)
        {
            pkGroup = NiD3DRenderStateGroup::CreateRenderStateGroup();
            if (pkGroup == nullptr)
                continue;
            pkPass->SetRenderStateGroup(pkGroup);
        }
        if (m_kFogFlags[ui] != 0)
        {
            pkGroup->SetRenderState(D3DRS_FOGENABLE, 1, false);
            pkGroup->SetRenderState(D3DRS_FOGCOLOR, 0xFF000000, false);
        }
        else
        {
            pkGroup->SetRenderState(D3DRS_FOGENABLE, 0, false);
        }
    }

    const std::uint32_t uiSrc = MapAlpha(pkAlpha != nullptr ? pkAlpha->GetSrcBlendMode() : std::uint16_t(NiAlphaProperty::ALPHA_ONE));
    StartNewPass(uiSrc, D3DBLEND_ONE, false, false);
    NiD3DTextureStage* pkStage = AddTextureStage(bBaseInFogPass ? pkBase : nullptr, bBaseInFogPass ? uiBaseIndex : 0);
    Set(pkStage, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    Set(pkStage, D3DTSS_COLORARG1, D3DTA_TFACTOR);
    if (bDiffuseAlpha && bBaseInFogPass)
    {
        Set(pkStage, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
        Set(pkStage, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
    }
    else if (bDiffuseAlpha)
    {
        Set(pkStage, D3DTSS_ALPHAOP, D3DTOP_SELECTARG2);
        Set(pkStage, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
    }
    else
    {
        Set(pkStage, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    }
    if (IsPassOpen())
    {
        NiD3DRenderStateGroup* pkGroup = m_spOpenPass->GetRenderStateGroup();
        if (pkGroup != nullptr)
        {
            pkGroup->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFF000000, false);
            pkGroup->SetRenderState(D3DRS_FOGENABLE, 1, false);
            pkGroup->SetRenderState(D3DRS_FOGCOLOR, uiFogColor, false);
        }
    }
    ClosePass();
}
