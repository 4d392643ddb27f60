#include "engine/shaders/framework/NiD3DPass.h"

#include "engine/render/NiDX9GeometryBufferGroup.h"
#include "engine/render/NiDX9Renderer.h"
#include "engine/scene/NiGeometry.h"
#include "engine/scene/NiPropertySet.h"
#include "engine/scene/NiTexturingProperty.h"
#include "engine/shaders/framework/NiD3DRenderStateGroup.h"
#include "engine/shaders/framework/NiD3DShaderProgramFactory.h"
#include "engine/shaders/framework/NiD3DTextureStageGroup.h"
#include "engine/shaders/framework/NiD3DUtility.h"

#include <string>

std::uint32_t NiD3DPass::ms_uiMaxTextureBlendStages = NiD3DPass::DEFAULT_STAGES;
std::uint32_t NiD3DPass::ms_uiMaxSimultaneousTextures = NiD3DPass::DEFAULT_STAGES;
std::uint32_t NiD3DPass::ms_uiMaxSamplers = NiD3DPass::DEFAULT_STAGES;
NiDX9Renderer* NiD3DPass::ms_pkRenderer = nullptr;
gfx::IDirect3DDevice9* NiD3DPass::ms_pkD3DDevice = nullptr;
NiD3DRenderState* NiD3DPass::ms_pkRenderState = nullptr;
std::unique_ptr<NiD3DPool<NiD3DPass>> NiD3DPass::ms_spPool;

NiD3DPass::NiD3DPass()
{
    m_kStages.reserve(ms_uiMaxTextureBlendStages);
}

NiD3DPass::~NiD3DPass()
{
    NiD3DRenderStateGroup::DeleteRenderStateGroup(m_pkRenderStateGroup);
    m_pkRenderStateGroup = nullptr;
}

void NiD3DPass::ResetStageLimits()
{
    ms_uiMaxTextureBlendStages = DEFAULT_STAGES;
    ms_uiMaxSimultaneousTextures = DEFAULT_STAGES;
    ms_uiMaxSamplers = DEFAULT_STAGES;
}

void NiD3DPass::DecRefCount()
{
    if (m_uiRefCount == 0 || --m_uiRefCount != 0)
        return;
    if (m_bPooled == 0)
    {
        delete this;
        return;
    }
    Empty();
    if (ms_spPool != nullptr)
        ms_spPool->Return(this);
}

void NiD3DPass::Empty()
{
    NiD3DRenderStateGroup::DeleteRenderStateGroup(m_pkRenderStateGroup);
    m_pkRenderStateGroup = nullptr;
    m_spPixelShader = nullptr;
    m_spVertexShader = nullptr;
    for (auto& spString : m_aspStrings)
        spString.reset();
    m_spPixelConstantMap = nullptr;
    m_spVertexConstantMap = nullptr;
    // The array keeps its storage for the pass's next use.
    for (NiD3DTextureStagePtr& spStage : m_kStages)
        spStage = nullptr;
    m_uiStageCount = 0;
    m_uiStagesSet = 0;
    m_uiStagesWithTexture = 0;
    m_bSoftwareVP = 0;
}

void NiD3DPass::CreateNewPass(NiRefPtr<NiD3DPass>& spPass)
{
    spPass = nullptr;
    if (ms_spPool == nullptr)
        return;
    NiD3DPass* pkPass = ms_spPool->Take();
    pkPass->m_bPooled = 1;
    spPass = pkPass;
}

std::uint32_t NiD3DPass::SetStage(std::uint32_t uiIndex, NiD3DTextureStage* pkStage)
{
    if (uiIndex >= ms_uiMaxSamplers)
        return 1;
    // Every accepted index is stored: the array grows to hold it.
    if (uiIndex >= m_kStages.size())
        m_kStages.resize(uiIndex + 1);
    NiD3DTextureStagePtr& spSlot = m_kStages[uiIndex];
    if (spSlot != nullptr)
    {
        --m_uiStagesSet;
        if (spSlot->GetTexture() != nullptr)
            --m_uiStagesWithTexture;
    }
    spSlot = pkStage;
    if (pkStage == nullptr)
    {
        if (m_uiStageCount == uiIndex + 1)
            --m_uiStageCount;
        return 0;
    }
    pkStage->SetStage(uiIndex);
    if (uiIndex == m_uiStageCount)
        ++m_uiStageCount;
    ++m_uiStagesSet;
    if (pkStage->GetTexture() != nullptr)
        ++m_uiStagesWithTexture;
    return 0;
}

NiD3DTextureStage* NiD3DPass::GetStage(std::uint32_t uiIndex) const
{
    return uiIndex < m_kStages.size() ? m_kStages[uiIndex].Get() : nullptr;
}

bool NiD3DPass::CanAddStages(std::uint32_t uiStages, std::uint32_t uiTextures) const
{
    return m_uiStageCount + uiStages <= ms_uiMaxTextureBlendStages &&
           m_uiStagesWithTexture + uiTextures <= ms_uiMaxSimultaneousTextures &&
           m_uiStageCount + uiTextures <= ms_uiMaxSimultaneousTextures;
}

void NiD3DPass::SetRenderStateGroup(NiD3DRenderStateGroup* pkGroup)
{
    if (pkGroup == m_pkRenderStateGroup)
        return;
    NiD3DRenderStateGroup::DeleteRenderStateGroup(m_pkRenderStateGroup);
    m_pkRenderStateGroup = pkGroup;
}

void NiD3DPass::SetProgramString(ProgramString eWhich, const char* pcText)
{
    if (eWhich < PROGRAM_STRINGS)
        NiD3DUtility::SetString(m_aspStrings[eWhich], pcText);
}

namespace
{
struct ProgramNames
{
    std::string m_kFile; // what the factory looks for
    std::string m_kKey;  // what the program is kept under
};

// The file part of a path (after the last '/', '\\' or drive colon) with
// the default extension added when it has none; the key is the path as
// given, with "##" and the entry point when there is one.
ProgramNames NamesOf(const char* pcPath, const char* pcEntry, const char* pcDefaultExtension)
{
    const std::string kPath(pcPath);
    const std::size_t uiSlash = kPath.find_last_of("/\\:");
    std::string kFile = uiSlash == std::string::npos ? kPath : kPath.substr(uiSlash + 1);
    if (kFile.find('.') == std::string::npos)
        kFile += pcDefaultExtension;
    ProgramNames kNames{kFile, kPath};
    if (pcEntry != nullptr && pcEntry[0] != '\0')
        kNames.m_kKey += std::string("##") + pcEntry;
    return kNames;
}
} // namespace

bool NiD3DPass::LoadVertexProgram(gfx::IDirect3DVertexDeclaration9* pkDeclaration)
{
    const char* pcFile = GetProgramString(VERTEX_FILE);
    if (pcFile == nullptr || pcFile[0] == '\0')
        return true;
    NiD3DShaderProgramFactory* pkFactory = NiD3DShaderProgramFactory::GetInstance();
    if (pkFactory == nullptr)
        return false;
    const ProgramNames kNames = NamesOf(pcFile, GetProgramString(VERTEX_ENTRY), ".vsh");
    NiD3DVertexShader* pkProgram = pkFactory->CreateVertexShaderFromFile(
        kNames.m_kFile.c_str(), kNames.m_kKey.c_str(), GetProgramString(VERTEX_ENTRY),
        GetProgramString(VERTEX_TARGET), pkDeclaration, 0, m_bSoftwareVP != 0);
    if (pkProgram == nullptr)
        return false;
    m_spVertexShader = pkProgram;
    return true;
}

bool NiD3DPass::LoadPixelProgram()
{
    const char* pcFile = GetProgramString(PIXEL_FILE);
    if (pcFile == nullptr || pcFile[0] == '\0')
        return true;
    NiD3DShaderProgramFactory* pkFactory = NiD3DShaderProgramFactory::GetInstance();
    if (pkFactory == nullptr)
        return false;
    const ProgramNames kNames = NamesOf(pcFile, GetProgramString(PIXEL_ENTRY), ".psh");
    NiD3DPixelShader* pkProgram = pkFactory->CreatePixelShaderFromFile(
        kNames.m_kFile.c_str(), kNames.m_kKey.c_str(), GetProgramString(PIXEL_ENTRY), GetProgramString(PIXEL_TARGET));
    if (pkProgram == nullptr)
        return false;
    m_spPixelShader = pkProgram;
    return true;
}

std::uint32_t NiD3DPass::SetupShaderPrograms(NiGeometry* pkGeometry, const NiSkinInstance* pkSkin,
                                             const NiSkinPartition::Partition* pkPartition,
                                             NiDX9GeometryBufferData* pkBuffers, const NiPropertySet* pkState,
                                             const NiEffectSet* pkEffects, const NiXform& kWorld,
                                             const NiBoundSphere& kBound, std::uint32_t uiPass)
{
    if (ms_pkRenderState == nullptr)
        return 0;
    ms_pkRenderState->SetPixelShader(m_spPixelShader != nullptr ? m_spPixelShader->GetPixelShader() : nullptr);
    if (m_spPixelShader != nullptr && m_spPixelConstantMap != nullptr)
        m_spPixelConstantMap->SetShaderConstants(m_spPixelShader, pkGeometry, pkSkin, pkPartition, pkBuffers, pkState,
                                                 pkEffects, kWorld, kBound, uiPass, false);
    if (m_spVertexShader != nullptr)
    {
        ms_pkRenderState->SetVertexShader(m_spVertexShader->GetVertexShader());
        if (m_spVertexConstantMap != nullptr)
            m_spVertexConstantMap->SetShaderConstants(m_spVertexShader, pkGeometry, pkSkin, pkPartition, pkBuffers,
                                                      pkState, pkEffects, kWorld, kBound, uiPass, false);
        // A program reads the coordinates of its own stage, transformed only
        // when the stage asks for a projection.
        for (std::uint32_t ui = 0; ui < ms_uiMaxTextureBlendStages; ++ui)
        {
            ms_pkRenderState->SetTextureStageState(ui, gfx::D3DTSS_TEXCOORDINDEX, ui, false);
            std::uint32_t uiFlags = 0;
            bool bSave = false;
            const NiD3DTextureStage* pkStage = GetStage(ui);
            const NiD3DTextureStageGroup* pkGroup = pkStage != nullptr ? pkStage->GetStageGroup() : nullptr;
            const bool bProjected = pkGroup != nullptr &&
                                    pkGroup->GetStageState(gfx::D3DTSS_TEXTURETRANSFORMFLAGS, uiFlags, bSave) &&
                                    (uiFlags & gfx::D3DTTFF_PROJECTED) != 0;
            ms_pkRenderState->SetTextureStageState(ui, gfx::D3DTSS_TEXTURETRANSFORMFLAGS,
                                                   bProjected ? gfx::D3DTTFF_PROJECTED : 0, false);
        }
        return 0;
    }
    ms_pkRenderState->SetVertexShader(nullptr);
    NiDX9GeometryBufferData* pkData = pkBuffers;
    if (pkData == nullptr && pkPartition != nullptr)
        pkData = static_cast<NiDX9GeometryBufferData*>(pkPartition->m_pvRendererData);
    if (pkData == nullptr && pkGeometry != nullptr && pkGeometry->GetModelData() != nullptr)
        pkData = static_cast<NiDX9GeometryBufferData*>(pkGeometry->GetModelData()->GetRendererData());
    if (pkData == nullptr)
        return 0;
    if (pkData->m_uiFVF != 0)
        ms_pkRenderState->SetFVF(pkData->m_uiFVF);
    else
        ms_pkRenderState->SetVertexDeclaration(pkData->m_pkDeclaration);
    return 0;
}

std::uint8_t NiD3DPass::SetupRenderingPass(NiGeometry*, const NiSkinInstance*, NiDX9GeometryBufferData*,
                                           const NiPropertySet* pkState, const NiEffectSet*, const NiXform&,
                                           const NiBoundSphere&)
{
    if (ms_pkRenderState != nullptr)
        ms_pkRenderState->SetSoftwareVertexProcessing(m_spVertexShader != nullptr
                                                          ? m_spVertexShader->GetSoftwareVertexProcessing()
                                                          : m_bSoftwareVP != 0);
    if (m_pkRenderStateGroup != nullptr)
        m_pkRenderStateGroup->SetRenderStates();
    const NiTexturingProperty* pkTexturing =
        pkState != nullptr ? static_cast<const NiTexturingProperty*>(pkState->GetProperty(NiProperty::TEXTURING))
                           : nullptr;
    std::uint8_t ucResult = 1;
    std::uint32_t uiApplied = 0;
    for (; uiApplied < m_uiStageCount; ++uiApplied)
    {
        NiD3DTextureStage* pkStage = GetStage(uiApplied);
        if (pkStage == nullptr)
            break;
        ucResult = pkStage->ApplyTextureStage(pkTexturing) ? 1 : 0;
    }
    if (uiApplied < ms_uiMaxSamplers)
        NiD3DTextureStage::DisableStagesFrom(uiApplied);
    return ucResult;
}

std::uint32_t NiD3DPass::PostProcessRenderingPass(std::uint32_t)
{
    if (m_pkRenderStateGroup != nullptr)
        m_pkRenderStateGroup->RestoreRenderStates();
    return 0;
}

void NiD3DPass::SetRenderer(NiDX9Renderer* pkRenderer)
{
    gfx::IDirect3DDevice9* pkDevice = pkRenderer != nullptr ? pkRenderer->GetD3DDevice() : nullptr;
    if (pkDevice != nullptr)
        pkDevice->AddRef();
    if (ms_pkD3DDevice != nullptr)
        ms_pkD3DDevice->Release();
    ms_pkD3DDevice = pkDevice;
    ms_pkRenderer = pkRenderer;
    ms_pkRenderState = pkRenderer != nullptr ? pkRenderer->GetRenderState() : nullptr;
}

void NiD3DPass::CreatePool()
{
    if (ms_spPool == nullptr)
        ms_spPool = std::make_unique<NiD3DPool<NiD3DPass>>(BLOCK);
}

void NiD3DPass::DestroyPool()
{
    ms_spPool.reset();
}
