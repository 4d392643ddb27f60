#include "engine/shaders/framework/NiD3DShader.h"

#include "engine/render/NiDX9GeometryBufferGroup.h"
#include "engine/render/NiDX9Renderer.h"
#include "engine/scene/NiGeometry.h"
#include "engine/scene/NiPropertySet.h"
#include "engine/scene/NiSCMExtraData.h"
#include "engine/scene/NiTexturingProperty.h"
#include "engine/scene/NiVertexColorProperty.h"
#include "engine/shaders/framework/NiD3DRenderStateGroup.h"
#include "engine/shaders/framework/NiShaderFactory.h"

NiImplementTypeInfo(NiD3DShader, NiD3DShaderInterface)

NiD3DShader::~NiD3DShader()
{
    // Out of the factory, when it holds this very object.
    if (NiShaderFactory* pkFactory = NiShaderFactory::GetInstance(); pkFactory != nullptr && GetName() != nullptr)
    {
        if (pkFactory->FindShader(GetName(), GetImplementation()) == this)
            pkFactory->RemoveShader(GetName(), GetImplementation());
        if (IsDefaultImplementation() && pkFactory->FindShader(GetName(), 0xFFFFFFFFu) == this)
            pkFactory->RemoveShader(GetName(), 0xFFFFFFFFu);
    }
    m_bInitialized = 0;
    NiD3DRenderStateGroup::DeleteRenderStateGroup(m_pkRenderStateGroup);
    m_pkRenderStateGroup = nullptr;
    m_spCurrentPass = nullptr;
    m_kPasses.clear();
}

bool NiD3DShader::SetupGeometry(NiGeometry* pkGeometry)
{
    if (pkGeometry == nullptr)
        return true;
    pkGeometry->RemoveExtraData(SCM_EXTRA_DATA);
    // Records of the entries bound to the geometry's extra data, per side in
    // the order a draw reads them: each pass's own map, then the shader's.
    auto Count = [](const NiD3DShaderConstantMap* pkMap) { return pkMap ? pkMap->GetAttributeEntryCount() : 0u; };
    const std::uint32_t uiPasses = static_cast<std::uint32_t>(m_kPasses.size());
    std::uint32_t auiCount[2] = {uiPasses * Count(m_spPixelConstantMap), uiPasses * Count(m_spVertexConstantMap)};
    for (const NiD3DPassPtr& spPass : m_kPasses)
    {
        if (spPass == nullptr)
            continue;
        auiCount[0] += Count(spPass->GetPixelConstantMap());
        auiCount[1] += Count(spPass->GetVertexConstantMap());
    }
    if (auiCount[0] == 0 && auiCount[1] == 0)
        return true;
    auto* pkRecords = new NiSCMExtraData(SCM_EXTRA_DATA, auiCount[0], auiCount[1]);
    for (std::uint32_t ui = 0; ui < uiPasses; ++ui)
    {
        if (NiD3DPass* pkPass = m_kPasses[ui])
        {
            if (pkPass->GetPixelConstantMap() != nullptr)
                pkPass->GetPixelConstantMap()->AppendSCMRecords(pkRecords, pkGeometry, ui, false);
            if (pkPass->GetVertexConstantMap() != nullptr)
                pkPass->GetVertexConstantMap()->AppendSCMRecords(pkRecords, pkGeometry, ui, false);
        }
        if (m_spPixelConstantMap != nullptr)
            m_spPixelConstantMap->AppendSCMRecords(pkRecords, pkGeometry, ui, true);
        if (m_spVertexConstantMap != nullptr)
            m_spVertexConstantMap->AppendSCMRecords(pkRecords, pkGeometry, ui, true);
    }
    pkGeometry->AddExtraData(pkRecords);
    return true;
}

bool NiD3DShader::Initialize(NiDX9Renderer* pkRenderer)
{
    if (pkRenderer == nullptr)
        return false;
    return NiD3DShaderInterface::Initialize(pkRenderer);
}

std::uint32_t NiD3DShader::PreProcessPipeline(NiGeometry*, const NiSkinInstance*, NiDX9GeometryBufferData*,
                                              const NiPropertySet* pkState, const NiEffectSet* pkEffects,
                                              const NiXform&, const NiBoundSphere&)
{
    if (m_bInitialized == 0)
        return 0xFFFFFFFFu;
    if (m_bApplyProperties != 0 && m_pkRenderState != nullptr)
        m_pkRenderState->UpdateRenderState(pkState);
    if (m_bApplyVertexColorLighting != 0 && m_pkRenderer != nullptr && m_pkRenderer->GetLightManager() != nullptr &&
        pkState != nullptr)
    {
        m_pkRenderer->GetLightManager()->ApplyVertexColorMode(
            pkEffects, static_cast<const NiTexturingProperty*>(pkState->GetProperty(NiProperty::TEXTURING)),
            static_cast<const NiVertexColorProperty*>(pkState->GetProperty(NiProperty::VERTEX_COLOR)));
    }
    if (m_pkRenderStateGroup != nullptr)
        m_pkRenderStateGroup->SetRenderStates();
    return 0;
}

std::uint32_t NiD3DShader::SetupRenderingPass(NiGeometry* pkGeometry, const NiSkinInstance* pkSkin,
                                              NiDX9GeometryBufferData* pkBuffers, const NiPropertySet* pkState,
                                              const NiEffectSet* pkEffects, const NiXform& kWorld,
                                              const NiBoundSphere& kBound)
{
    if (m_spCurrentPass == nullptr)
        return 0;
    return m_spCurrentPass->SetupRenderingPass(pkGeometry, pkSkin, pkBuffers, pkState, pkEffects, kWorld, kBound);
}

std::uint32_t NiD3DShader::SetupTransformations(NiGeometry*, const NiSkinInstance* pkSkin,
                                                const Partition* pkPartition, NiDX9GeometryBufferData*,
                                                const NiPropertySet*, const NiEffectSet*, const NiXform& kWorld,
                                                const NiBoundSphere&)
{
    if (m_pkRenderState == nullptr || m_pkRenderer == nullptr)
        return 0;
    if (pkPartition != nullptr)
    {
        // The device blends the partition's bones: their matrices (made once
        // a frame) into the world slots, and the blend count.
        if (pkSkin != nullptr)
        {
            auto* pkSkinned = const_cast<NiSkinInstance*>(pkSkin);
            m_pkRenderer->CalculateBoneMatrices(pkSkinned, kWorld);
            m_pkRenderer->SetSkinBoneTransforms(pkPartition, pkSkin, kWorld);
        }
        m_pkRenderState->SetBoneCount(pkPartition->m_usBonesPerVertex);
        return 0;
    }
    if (m_uiCurrentPass == 0)
    {
        m_pkRenderState->SetBoneCount(0);
        m_pkRenderer->SetModelTransform(kWorld, true);
    }
    return 0;
}

std::uint32_t NiD3DShader::SetupShaderPrograms(NiGeometry* pkGeometry, const NiSkinInstance* pkSkin,
                                               const Partition* pkPartition, NiDX9GeometryBufferData* pkBuffers,
                                               const NiPropertySet* pkState, const NiEffectSet* pkEffects,
                                               const NiXform& kWorld, const NiBoundSphere& kBound)
{
    std::uint32_t uiResult = 0;
    if (pkGeometry != nullptr)
        NiD3DShaderConstantMap::ResetSCMCursors(
            NiDynamicCast<NiSCMExtraData>(pkGeometry->GetExtraData(SCM_EXTRA_DATA)), m_uiCurrentPass);
    if (m_spCurrentPass != nullptr)
        uiResult = m_spCurrentPass->SetupShaderPrograms(pkGeometry, pkSkin, pkPartition, pkBuffers, pkState,
                                                        pkEffects, kWorld, kBound, m_uiCurrentPass);
    // The shader's own maps, for every pass's programs, after the pass's.
    if (m_spCurrentPass != nullptr && m_spPixelConstantMap != nullptr && m_spCurrentPass->HasPixelProgram())
        m_spPixelConstantMap->SetShaderConstants(m_spCurrentPass->GetPixelShader(), pkGeometry, pkSkin, pkPartition,
                                                 pkBuffers, pkState, pkEffects, kWorld, kBound, m_uiCurrentPass,
                                                 true);
    if (m_spCurrentPass != nullptr && m_spVertexConstantMap != nullptr && m_spCurrentPass->HasVertexProgram())
        m_spVertexConstantMap->SetShaderConstants(m_spCurrentPass->GetVertexShader(), pkGeometry, pkSkin,
                                                  pkPartition, pkBuffers, pkState, pkEffects, kWorld, kBound,
                                                  m_uiCurrentPass, true);
    if (m_uiCurrentPass == 0 && m_spShaderDecl != nullptr && m_pkRenderState != nullptr)
        m_pkRenderState->SetVertexDeclaration(m_spShaderDecl->GetD3DDeclaration());
    return uiResult;
}

NiDX9GeometryBufferData* NiD3DShader::PrepareGeometryForRendering(NiGeometry*, const Partition*,
                                                                  NiDX9GeometryBufferData* pkBuffers,
                                                                  const NiPropertySet*)
{
    if (pkBuffers == nullptr || m_pkD3DDevice == nullptr)
        return pkBuffers;
    for (std::uint32_t ui = 0; ui < pkBuffers->GetStreamCount(); ++ui)
    {
        NiDX9VertexBufferRange* pkRange = pkBuffers->GetStream(ui);
        m_pkD3DDevice->SetStreamSource(ui, pkRange != nullptr ? pkRange->m_pkVB : nullptr, 0,
                                       pkBuffers->GetStride(ui));
    }
    m_pkD3DDevice->SetIndices(pkBuffers->m_pkIB);
    return pkBuffers;
}

std::uint32_t NiD3DShader::PostProcessPipeline(NiGeometry*, const NiSkinInstance*, NiDX9GeometryBufferData*,
                                               const NiPropertySet*, const NiEffectSet*, const NiXform&,
                                               const NiBoundSphere&)
{
    if (m_pkRenderStateGroup != nullptr)
        m_pkRenderStateGroup->RestoreRenderStates();
    return 0;
}

std::uint32_t NiD3DShader::FirstPass()
{
    m_uiCurrentPass = 0;
    m_spCurrentPass = GetPass(0);
    return m_uiPassCount;
}

std::uint32_t NiD3DShader::NextPass()
{
    if (m_spCurrentPass != nullptr)
        m_spCurrentPass->PostProcessRenderingPass(m_uiCurrentPass);
    ++m_uiCurrentPass;
    if (m_uiCurrentPass >= m_uiPassCount)
    {
        m_spCurrentPass = nullptr;
        return 0;
    }
    m_spCurrentPass = GetPass(m_uiCurrentPass);
    return m_uiPassCount - m_uiCurrentPass;
}

void NiD3DShader::PurgeRendererData()
{
    for (std::uint32_t ui = 0; ui < m_uiPassCount; ++ui)
    {
        NiD3DPass* pkPass = GetPass(ui);
        if (pkPass == nullptr)
            continue;
        if (pkPass->GetPixelShader() != nullptr)
            pkPass->GetPixelShader()->DestroyRendererData();
        if (pkPass->GetVertexShader() != nullptr)
            pkPass->GetVertexShader()->DestroyRendererData();
    }
    m_bInitialized = 0;
}

void NiD3DShader::RecreateRendererData()
{
    if (m_pkRenderer == nullptr)
        return;
    for (std::uint32_t ui = 0; ui < m_uiPassCount; ++ui)
    {
        NiD3DPass* pkPass = GetPass(ui);
        if (pkPass == nullptr)
            continue;
        if (pkPass->GetPixelShader() != nullptr)
            pkPass->GetPixelShader()->RecreateRendererData();
        if (pkPass->GetVertexShader() != nullptr)
            pkPass->GetVertexShader()->RecreateRendererData();
    }
    m_bInitialized = 1;
}

bool NiD3DShader::AllPassesHaveVertexShader() const
{
    for (std::uint32_t ui = 0; ui < m_uiPassCount; ++ui)
    {
        if (GetPass(ui) == nullptr || !GetPass(ui)->HasVertexProgram())
            return false;
    }
    return true;
}

bool NiD3DShader::AnyPassHasVertexShader() const
{
    for (std::uint32_t ui = 0; ui < m_uiPassCount; ++ui)
    {
        if (GetPass(ui) != nullptr && GetPass(ui)->HasVertexProgram())
            return true;
    }
    return false;
}

bool NiD3DShader::AllPassesHavePixelShader() const
{
    for (std::uint32_t ui = 0; ui < m_uiPassCount; ++ui)
    {
        if (GetPass(ui) == nullptr || !GetPass(ui)->HasPixelProgram())
            return false;
    }
    return true;
}

bool NiD3DShader::AnyPassHasPixelShader() const
{
    for (std::uint32_t ui = 0; ui < m_uiPassCount; ++ui)
    {
        if (GetPass(ui) != nullptr && GetPass(ui)->HasPixelProgram())
            return true;
    }
    return false;
}

void NiD3DShader::ReleasePasses()
{
    for (std::uint32_t ui = 0; ui < m_uiPassCount && ui < m_kPasses.size(); ++ui)
        m_kPasses[ui] = nullptr;
    m_spCurrentPass = nullptr;
    m_uiCurrentPass = 0;
    m_uiPassCount = 0;
}

void NiD3DShader::SetPass(std::uint32_t uiIndex, NiD3DPass* pkPass)
{
    if (uiIndex >= m_kPasses.size())
        m_kPasses.resize(uiIndex + 1);
    m_kPasses[uiIndex] = pkPass;
}

void NiD3DShader::SetRenderStateGroup(NiD3DRenderStateGroup* pkGroup)
{
    if (pkGroup == m_pkRenderStateGroup)
        return;
    NiD3DRenderStateGroup::DeleteRenderStateGroup(m_pkRenderStateGroup);
    m_pkRenderStateGroup = pkGroup;
}
