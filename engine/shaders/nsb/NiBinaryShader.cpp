#include "engine/shaders/nsb/NiBinaryShader.h"

#include "engine/render/NiD3DRenderState.h"
#include "engine/render/NiDX9Renderer.h"
#include "engine/scene/NiAlphaProperty.h"
#include "engine/scene/NiGeometry.h"
#include "engine/shaders/framework/NiD3DRenderStateGroup.h"
#include "engine/shaders/framework/NiD3DShaderConstantMap.h"
#include "engine/shaders/framework/NiD3DShaderDeclaration.h"
#include "engine/shaders/framework/NiD3DTimeSyncController.h"
#include "platform/gfx/GfxTypes.h"

#include <cstring>

NiImplementTypeInfo(NiBinaryShader, NiD3DShader)

namespace
{
// Constants whose value is the running time.
constexpr const char* TIME_NAMES[] = {"time", "sin_time", "cos_time", "tan_time", "time_sin_cos_tan"};

// Object flag that keeps a branch in the selective update.
constexpr std::uint16_t SELECTIVE_UPDATE = NiAVObject::SELECTIVE_UPDATE;

bool StateIsOne(const NiD3DRenderStateGroup* pkGroup, std::uint32_t uiState)
{
    std::uint32_t uiValue = 0;
    bool bSave = false;
    return pkGroup != nullptr && pkGroup->GetRenderState(uiState, uiValue, bSave) && uiValue == 1;
}
} // namespace

NiBinaryShader::~NiBinaryShader()
{
    m_kPassUserData.clear();
    m_spImplementationUserData = nullptr;
    m_spShaderUserData = nullptr;
}

void NiBinaryShader::AppendPass(NiD3DPass* pkPass, NSBUserDefinedDataSet* pkUserData)
{
    const std::uint32_t uiPosition = m_uiPassCount;
    SetPass(uiPosition, pkPass);
    SetPassCount(uiPosition + 1);
    // The data goes with the pass to its compacted position.
    m_kPassUserData.resize(uiPosition + 1);
    m_kPassUserData[uiPosition] = pkUserData;
}

void NiBinaryShader::SetPassUserDefinedDataSet(std::uint32_t uiPass, NSBUserDefinedDataSet* pkSet)
{
    if (uiPass >= m_kPassUserData.size())
        m_kPassUserData.resize(uiPass + 1);
    m_kPassUserData[uiPass] = pkSet;
}

bool NiBinaryShader::MapUsesTime(const NiD3DShaderConstantMap* pkMap)
{
    if (pkMap == nullptr)
        return false;
    for (const char* pcName : TIME_NAMES)
    {
        if (pkMap->GetEntry(pcName) != nullptr)
            return true;
    }
    return false;
}

bool NiBinaryShader::UsesTime() const
{
    if (MapUsesTime(m_spPixelConstantMap) || MapUsesTime(m_spVertexConstantMap))
        return true;
    for (const NiD3DPassPtr& spPass : m_kPasses)
    {
        if (spPass != nullptr && (MapUsesTime(spPass->GetPixelConstantMap()) ||
                                  MapUsesTime(spPass->GetVertexConstantMap())))
            return true;
    }
    return false;
}

bool NiBinaryShader::SetupGeometry(NiGeometry* pkGeometry)
{
    if (pkGeometry == nullptr)
        return false;

    // Blending or testing the states switch on needs an alpha property to
    // say so; one the geometry already has that does either is kept.
    NiAlphaPropertyPtr spAlpha;
    for (const NiD3DRenderStateGroup* pkGroup : {m_pkRenderStateGroup, GetPass(0) ? GetPass(0)->GetRenderStateGroup()
                                                                                     : nullptr})
    {
        if (StateIsOne(pkGroup, gfx::D3DRS_ALPHABLENDENABLE))
        {
            if (spAlpha == nullptr)
                spAlpha = new NiAlphaProperty;
            spAlpha->SetAlphaBlending(true);
        }
        if (StateIsOne(pkGroup, gfx::D3DRS_ALPHATESTENABLE))
        {
            if (spAlpha == nullptr)
                spAlpha = new NiAlphaProperty;
            spAlpha->SetAlphaTesting(true);
        }
    }
    if (spAlpha != nullptr)
    {
        auto* pkOld = static_cast<NiAlphaProperty*>(pkGeometry->GetProperty(NiProperty::ALPHA));
        if (pkOld == nullptr)
        {
            pkGeometry->AttachProperty(spAlpha);
        }
        else if (!pkOld->GetAlphaBlending() && !pkOld->GetAlphaTesting())
        {
            pkGeometry->DetachProperty(pkOld);
            pkGeometry->AttachProperty(spAlpha);
        }
    }

    if (UsesTime())
    {
        NiRefPtr<NiD3DTimeSyncController> spTime = new NiD3DTimeSyncController;
        spTime->SetTarget(pkGeometry);
        for (NiAVObject* pkObject = pkGeometry; pkObject != nullptr; pkObject = pkObject->GetParent())
            pkObject->SetFlags(static_cast<std::uint16_t>(pkObject->GetFlags() | SELECTIVE_UPDATE));
    }

    if (auto* pkDecl = NiDynamicCast<NiD3DShaderDeclaration>(m_spShaderDecl.Get()))
    {
        bool bSoftware = false;
        for (const NiD3DPassPtr& spPass : m_kPasses)
            bSoftware = bSoftware || (spPass != nullptr && spPass->GetSoftwareVertexProcessing());
        pkDecl->SetSoftwareVertexProcessing(bSoftware);
    }

    return NiD3DShader::SetupGeometry(pkGeometry);
}

bool NiBinaryShader::Initialize(NiDX9Renderer* pkRenderer)
{
    if (IsInitialized())
        return true;
    if (!NiD3DShader::Initialize(pkRenderer))
        return false;
    gfx::IDirect3DVertexDeclaration9* pkDeclaration = nullptr;
    if (auto* pkDecl = NiDynamicCast<NiD3DShaderDeclaration>(m_spShaderDecl.Get()))
        pkDeclaration = pkDecl->GetD3DDeclaration();
    for (std::uint32_t ui = 0; ui < m_uiPassCount; ++ui)
    {
        if (NiD3DPass* pkPass = GetPass(ui))
        {
            pkPass->LoadVertexProgram(pkDeclaration);
            pkPass->LoadPixelProgram();
        }
    }
    m_bInitialized = 1;
    return true;
}

std::uint32_t NiBinaryShader::SetupTransformations(NiGeometry* pkGeometry, const NiSkinInstance* pkSkin,
                                                   const Partition* pkPartition, NiDX9GeometryBufferData* pkBuffers,
                                                   const NiPropertySet* pkState, const NiEffectSet* pkEffects,
                                                   const NiXform& kWorld, const NiBoundSphere& kBound)
{
    const bool bShaderSkinning = m_uiBonesPerPartition >= 5 && pkPartition != nullptr;
    const bool bVertexProgram = m_spCurrentPass != nullptr && m_spCurrentPass->HasVertexProgram();
    if (!bShaderSkinning && !bVertexProgram)
        return NiD3DShader::SetupTransformations(pkGeometry, pkSkin, pkPartition, pkBuffers, pkState, pkEffects,
                                                 kWorld, kBound);
    if (m_pkRenderer == nullptr || m_pkRenderState == nullptr)
        return 0;
    // The programs blend the bones: their matrices once, on the first pass.
    if (m_uiCurrentPass == 0 && pkPartition != nullptr && pkSkin != nullptr)
        m_pkRenderer->CalculateBoneMatrices(const_cast<NiSkinInstance*>(pkSkin), kWorld, true,
                                            m_uiBoneMatrixRegisters, m_uiBoneCalcMethod == 1);
    m_pkRenderState->SetBoneCount(pkPartition != nullptr ? pkPartition->m_usBones : 0);
    m_pkRenderer->SetModelTransform(kWorld, false);
    return 0;
}
