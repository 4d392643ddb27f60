#include "engine/shaders/effect/NiD3DXEffectShader.h"

#include "engine/render/NiDX9GeometryBufferGroup.h"
#include "engine/render/NiDX9RenderState.h"
#include "engine/render/NiDX9Renderer.h"
#include "engine/scene/NiAVObject.h"
#include "engine/scene/NiGeometry.h"
#include "engine/scene/NiGeometryData.h"
#include "engine/shaders/effect/NiD3DXEffectFile.h"
#include "engine/shaders/effect/NiD3DXEffectParameter.h"
#include "engine/shaders/effect/NiD3DXEffectStateManager.h"
#include "engine/shaders/effect/NiD3DXEffectTechnique.h"
#include "engine/shaders/framework/NiD3DPass.h"
#include "engine/shaders/framework/NiD3DShaderDeclaration.h"
#include "engine/shaders/framework/NiD3DTimeSyncController.h"
#include "engine/shaders/framework/NiD3DUtility.h"
#include "platform/gfxutil/GfxUtilShader.h"

#include <utility>
#include <vector>

NiImplementTypeInfo(NiD3DXEffectShader, NiD3DShader)

namespace
{
const char* NameOf(const NiShader* pkShader)
{
    return pkShader->GetName() != nullptr ? pkShader->GetName() : "";
}
} // namespace

NiD3DXEffectShader::~NiD3DXEffectShader()
{
    ReleaseEffect();
}

bool NiD3DXEffectShader::SetupGeometry(NiGeometry* pkGeometry)
{
    if (pkGeometry == nullptr)
        return false;
    if (m_pkTechnique != nullptr && m_pkTechnique->UsesTime())
    {
        // The controller keeps the geometry's time value; selective update
        // along the path to the root lets it run.
        NiRefPtr<NiD3DTimeSyncController> spTime = new NiD3DTimeSyncController;
        spTime->SetTarget(pkGeometry);
        for (NiAVObject* pkObject = pkGeometry; pkObject != nullptr; pkObject = pkObject->GetParent())
            pkObject->SetFlags(static_cast<std::uint16_t>(pkObject->GetFlags() | NiAVObject::SELECTIVE_UPDATE));
    }
    BuildShaderDecl();
    return NiD3DShader::SetupGeometry(pkGeometry);
}

bool NiD3DXEffectShader::Initialize(NiDX9Renderer* pkRenderer)
{
    if (IsInitialized())
        return true;
    if (!NiD3DShader::Initialize(pkRenderer))
        return false;
    if (GetName() == nullptr)
    {
        m_bInitialized = 0;
        return false;
    }
    RecreateRendererData();
    m_bInitialized = (m_pkD3DXEffect != nullptr && m_hTechnique != nullptr) ? 1 : 0;
    return m_bInitialized != 0;
}

std::uint32_t NiD3DXEffectShader::PreProcessPipeline(NiGeometry* pkGeometry, const NiSkinInstance* pkSkin,
                                                     NiDX9GeometryBufferData* pkBuffers, const NiPropertySet* pkState,
                                                     const NiEffectSet* pkEffects, const NiXform& kWorld,
                                                     const NiBoundSphere& kBound)
{
    const std::uint32_t uiResult =
        NiD3DShader::PreProcessPipeline(pkGeometry, pkSkin, pkBuffers, pkState, pkEffects, kWorld, kBound);
    if (m_pkD3DXEffect == nullptr || m_hTechnique == nullptr)
        RecreateRendererData();
    if (m_pkD3DXEffect == nullptr || m_hTechnique == nullptr)
    {
        // Every later step would need the effect: the batch is skipped.
        NiD3DUtility::Log("NiD3DXEffectShader::PreProcessPipeline - %s - Effect failed to load\n", NameOf(this));
        return 0xFFFFFFFFu;
    }
    m_pkD3DXEffect->SetTechnique(m_hTechnique);
    return uiResult;
}

std::uint32_t NiD3DXEffectShader::UpdatePipeline(NiGeometry*, const NiSkinInstance*, NiDX9GeometryBufferData*,
                                                 const NiPropertySet*, const NiEffectSet*, const NiXform&,
                                                 const NiBoundSphere&)
{
    return 0;
}

std::uint32_t NiD3DXEffectShader::SetupRenderingPass(NiGeometry*, const NiSkinInstance*, NiDX9GeometryBufferData*,
                                                     const NiPropertySet*, const NiEffectSet*, const NiXform&,
                                                     const NiBoundSphere&)
{
    return 0;
}

std::uint32_t NiD3DXEffectShader::SetupTransformations(NiGeometry* pkGeometry, const NiSkinInstance* pkSkin,
                                                       const Partition* pkPartition,
                                                       NiDX9GeometryBufferData* pkBuffers,
                                                       const NiPropertySet* pkState, const NiEffectSet* pkEffects,
                                                       const NiXform& kWorld, const NiBoundSphere& kBound)
{
    if (m_pkRenderState != nullptr)
        m_pkRenderState->SetSoftwareVertexProcessing(m_bSoftwareVP);
    std::uint32_t uiResult = 0;
    if (m_pkTechnique != nullptr && m_pkTechnique->PassHasVertexShader(m_uiCurrentPass) && m_pkRenderer != nullptr &&
        m_pkRenderState != nullptr)
    {
        // The program blends the bones itself: the palette is made once per
        // batch, and the device's own blending stays off.
        if (pkPartition != nullptr)
        {
            if (m_uiCurrentPass == 0 && pkSkin != nullptr)
                m_pkRenderer->CalculateBoneMatrices(const_cast<NiSkinInstance*>(pkSkin), kWorld, true,
                                                    m_uiBoneMatrixRows, m_bBonePaletteKind);
            m_pkRenderState->SetBoneCount(pkPartition->m_usBonesPerVertex);
        }
        else
            m_pkRenderState->SetBoneCount(0);
        m_pkRenderer->SetModelTransform(kWorld, false);
    }
    else
        uiResult = NiD3DShader::SetupTransformations(pkGeometry, pkSkin, pkPartition, pkBuffers, pkState, pkEffects,
                                                     kWorld, kBound);
    if (m_pkTechnique == nullptr || m_pkD3DXEffect == nullptr)
        return uiResult;
    for (NiD3DXEffectParameter* pkParameter : m_pkTechnique->GetParameters())
    {
        if (!pkParameter->BindValue(m_pkD3DXEffect, m_pkRenderer, pkGeometry, pkSkin, pkPartition, pkBuffers, pkState,
                                    pkEffects, kWorld, kBound, m_uiCurrentPass))
            NiD3DUtility::Log("NiD3DXEffectShader::SetupTransformations - %s - Parameter %s failed to be set\n",
                              NameOf(this), pkParameter->GetName());
    }
    return uiResult;
}

std::uint32_t NiD3DXEffectShader::SetupShaderPrograms(NiGeometry* pkGeometry, const NiSkinInstance*,
                                                      const Partition* pkPartition,
                                                      NiDX9GeometryBufferData* pkBuffers, const NiPropertySet*,
                                                      const NiEffectSet*, const NiXform&, const NiBoundSphere&)
{
    if (m_uiCurrentPass == 0 && m_pkRenderState != nullptr)
        m_pkRenderState->SetProgramTexCoordStates(NiD3DPass::GetMaxTextureBlendStages());
    if (m_pkD3DXEffect != nullptr)
    {
        if (gfx::FAILED(m_pkD3DXEffect->BeginPass(m_uiCurrentPass)))
            NiD3DUtility::Log("NiD3DXEffectShader::SetupShaderPrograms - %s - ID3DXEffect::BeginPass failed\n",
                              NameOf(this));
        if (gfx::FAILED(m_pkD3DXEffect->CommitChanges()))
            NiD3DUtility::Log("NiD3DXEffectShader::SetupShaderPrograms - %s - ID3DXEffect::CommitChanges failed\n",
                              NameOf(this));
    }
    if (m_uiCurrentPass == 0 && m_pkRenderState != nullptr)
    {
        NiDX9GeometryBufferData* pkData = pkBuffers;
        if (pkData == nullptr && pkPartition != nullptr)
            pkData = static_cast<NiDX9GeometryBufferData*>(pkPartition->m_pvRendererData);
        if (pkData == nullptr && pkGeometry != nullptr && pkGeometry->GetModelData() != nullptr)
            pkData = static_cast<NiDX9GeometryBufferData*>(pkGeometry->GetModelData()->GetRendererData());
        if (pkData != nullptr)
        {
            if (pkData->m_uiFVF != 0)
                m_pkRenderState->SetFVF(pkData->m_uiFVF, false);
            else
                m_pkRenderState->SetVertexDeclaration(pkData->m_pkDeclaration, false);
        }
    }
    return 0;
}

std::uint32_t NiD3DXEffectShader::PostRender(NiGeometry*, const NiSkinInstance*, const Partition*,
                                             NiDX9GeometryBufferData*, const NiPropertySet*, const NiEffectSet*,
                                             const NiXform&, const NiBoundSphere&)
{
    if (m_pkD3DXEffect != nullptr && gfx::FAILED(m_pkD3DXEffect->EndPass()))
        NiD3DUtility::Log("NiD3DXEffectShader::PostRender - %s - ID3DXEffect::EndPass failed\n", NameOf(this));
    return 0;
}

std::uint32_t NiD3DXEffectShader::PostProcessPipeline(NiGeometry* pkGeometry, const NiSkinInstance* pkSkin,
                                                      NiDX9GeometryBufferData* pkBuffers,
                                                      const NiPropertySet* pkState, const NiEffectSet* pkEffects,
                                                      const NiXform& kWorld, const NiBoundSphere& kBound)
{
    // The effect restores nothing: the programs its passes set go here.
    if (m_pkRenderState != nullptr)
    {
        m_pkRenderState->ClearPixelShader(m_pkRenderState->GetPixelShader());
        m_pkRenderState->ClearVertexShader(m_pkRenderState->GetVertexShader());
    }
    return NiD3DShader::PostProcessPipeline(pkGeometry, pkSkin, pkBuffers, pkState, pkEffects, kWorld, kBound);
}

std::uint32_t NiD3DXEffectShader::FirstPass()
{
    m_uiCurrentPass = 0;
    m_uiPassCount = 0;
    if (m_pkD3DXEffect == nullptr)
        return 0;
    std::uint32_t uiPasses = 0;
    if (gfx::FAILED(m_pkD3DXEffect->Begin(&uiPasses, BEGIN_FLAGS)))
    {
        // Nothing was begun: no pass is drawn and nothing is ended.
        NiD3DUtility::Log("NiD3DXEffectShader::FirstPass - %s - ID3DXEffect::Begin failed\n", NameOf(this));
        return 0;
    }
    m_uiPassCount = uiPasses;
    if (m_uiPassCount == 0)
        m_pkD3DXEffect->End();
    return m_uiPassCount;
}

std::uint32_t NiD3DXEffectShader::NextPass()
{
    if (m_uiCurrentPass >= m_uiPassCount)
        return 0;
    ++m_uiCurrentPass;
    const std::uint32_t uiLeft = m_uiPassCount - m_uiCurrentPass;
    if (uiLeft == 0 && m_pkD3DXEffect != nullptr)
        m_pkD3DXEffect->End();
    return uiLeft;
}

void NiD3DXEffectShader::HandleLostDevice()
{
    NiD3DXEffectFactory::HandleLostDevice(m_pkRenderer != nullptr ? m_pkRenderer->GetResetCounter() : 0);
}

void NiD3DXEffectShader::HandleResetDevice()
{
    NiD3DXEffectFactory::HandleResetDevice(m_pkRenderer != nullptr ? m_pkRenderer->GetResetCounter() : 0);
}

void NiD3DXEffectShader::ReleaseEffect()
{
    if (m_pkD3DXEffect != nullptr)
        m_pkD3DXEffect->Release();
    m_pkD3DXEffect = nullptr;
    m_pkEffect = nullptr;
    m_hTechnique = nullptr;
    m_spShaderDecl = nullptr;
}

void NiD3DXEffectShader::PurgeRendererData()
{
    // The file's release reaches this shader again through the technique.
    if (m_pkTechnique != nullptr && m_pkTechnique->GetFile() != nullptr)
        m_pkTechnique->GetFile()->ReleaseDeviceObjects();
    ReleaseEffect();
}

void NiD3DXEffectShader::RecreateRendererData()
{
    if (m_pkTechnique == nullptr || m_pkTechnique->GetFile() == nullptr)
        return;
    NiD3DXEffectFile* pkFile = m_pkTechnique->GetFile();
    if (pkFile->GetEffect() == nullptr || !pkFile->IsCreatedWithDevice())
        pkFile->PrepareForRenderer(m_pkRenderer);
    if (pkFile->GetEffect() == nullptr || !pkFile->IsCreatedWithDevice())
        return;
    m_pkEffect = pkFile->GetEffect();
    if (m_pkD3DXEffect != nullptr)
        m_pkD3DXEffect->Release();
    m_pkD3DXEffect = nullptr;
    void* pvEffect = nullptr;
    if (gfx::FAILED(m_pkEffect->QueryInterface(gfx::IID_ID3DXEffect, &pvEffect)))
        return;
    m_pkD3DXEffect = static_cast<gfx::ID3DXEffect*>(pvEffect);
    // A recompiled effect starts without the state manager; its passes
    // must still go through the cache.
    if (NiD3DXEffectStateManager* pkManager = NiD3DXEffectStateManager::GetInstance(m_pkRenderer))
        m_pkD3DXEffect->SetStateManager(pkManager);
    NiD3DXEffectTechnique* pkTechnique = pkFile->GetTechnique(GetName(), m_uiTechniqueImplementation);
    m_hTechnique = pkTechnique != nullptr ? pkTechnique->GetTechniqueHandle() : nullptr;
    BuildShaderDecl();
}

void NiD3DXEffectShader::BuildShaderDecl()
{
    if (m_spShaderDecl != nullptr || m_pkD3DXEffect == nullptr || m_hTechnique == nullptr || m_pkRenderer == nullptr)
        return;
    gfx::D3DXTECHNIQUE_DESC kTechnique;
    if (gfx::FAILED(m_pkD3DXEffect->GetTechniqueDesc(m_hTechnique, &kTechnique)))
        return;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> kInputs;
    for (std::uint32_t uiPass = 0; uiPass < kTechnique.Passes; ++uiPass)
    {
        gfx::D3DXPASS_DESC kPass;
        if (gfx::FAILED(m_pkD3DXEffect->GetPassDesc(m_pkD3DXEffect->GetPass(m_hTechnique, uiPass), &kPass)) ||
            kPass.pVertexShaderFunction == nullptr)
            continue;
        std::uint32_t uiCount = 0;
        if (gfx::FAILED(gfx::D3DXGetShaderInputSemantics(kPass.pVertexShaderFunction, nullptr, &uiCount)) ||
            uiCount == 0)
            continue;
        std::vector<gfx::D3DXSEMANTIC> kSemantics(uiCount);
        if (gfx::FAILED(gfx::D3DXGetShaderInputSemantics(kPass.pVertexShaderFunction, kSemantics.data(), &uiCount)))
            continue;
        for (std::uint32_t ui = 0; ui < uiCount && ui < kSemantics.size(); ++ui)
        {
            const std::pair<std::uint32_t, std::uint32_t> kPair(kSemantics[ui].Usage, kSemantics[ui].UsageIndex);
            bool bSeen = false;
            for (const auto& kOld : kInputs)
                bSeen = bSeen || kOld == kPair;
            if (!bSeen)
                kInputs.push_back(kPair);
        }
    }
    if (kInputs.empty())
        return;
    NiRefPtr<NiD3DShaderDeclaration> spDecl =
        NiD3DShaderDeclaration::Create(m_pkRenderer, static_cast<std::uint32_t>(kInputs.size()), 1);
    if (spDecl == nullptr)
        return;
    std::uint32_t uiEntry = 0;
    for (const auto& [uiUsage, uiUsageIndex] : kInputs)
    {
        std::int32_t iParameter = 0;
        std::uint32_t uiType = 0, uiOutUsage = 0, uiOutIndex = 0;
        if (!NiD3DShaderDeclaration::GetParameterForUsage(uiUsage, uiUsageIndex, iParameter, uiType, uiOutUsage,
                                                          uiOutIndex))
            continue;
        spDecl->SetEntry(0, uiEntry, uiEntry, iParameter, uiType, uiOutUsage, uiOutIndex,
                         gfx::D3DDECLMETHOD_DEFAULT);
        ++uiEntry;
    }
    spDecl->SetSoftwareVertexProcessing(m_bSoftwareVP);
    SetShaderDecl(spDecl);
}

bool NiD3DXEffectShader::AllPassesHaveVertexShader() const
{
    return m_pkTechnique != nullptr && m_pkTechnique->AllPassesHaveVertexShaders();
}

bool NiD3DXEffectShader::AnyPassHasVertexShader() const
{
    return m_pkTechnique != nullptr && m_pkTechnique->AnyPassHasVertexShader();
}

bool NiD3DXEffectShader::AllPassesHavePixelShader() const
{
    return m_pkTechnique != nullptr && m_pkTechnique->AllPassesHavePixelShaders();
}

bool NiD3DXEffectShader::AnyPassHasPixelShader() const
{
    return m_pkTechnique != nullptr && m_pkTechnique->AnyPassHasPixelShader();
}
