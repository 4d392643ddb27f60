#include "engine/shaders/framework/NiD3DTextureStageGroup.h"

#include "engine/render/NiD3DRenderState.h"
#include "engine/shaders/framework/NiD3DPass.h"

NiD3DRenderState* NiD3DTextureStageGroup::ms_pkRenderState = nullptr;
std::unique_ptr<NiD3DPool<NiD3DTextureStageGroup>> NiD3DTextureStageGroup::ms_spPool;

template <std::uint32_t N>
void NiD3DTextureStageGroup::StateSets<N>::Set(std::uint32_t uiState, std::uint32_t uiValue, bool bSave)
{
    if (uiState >= N)
        return;
    auto& abThis = bSave ? m_abSaved : m_abUnsaved;
    auto& auiThis = bSave ? m_auiSaved : m_auiUnsaved;
    auto& abOther = bSave ? m_abUnsaved : m_abSaved;
    std::uint32_t& uiThisCount = bSave ? m_uiSavedCount : m_uiUnsavedCount;
    std::uint32_t& uiOtherCount = bSave ? m_uiUnsavedCount : m_uiSavedCount;
    if (!abThis[uiState])
    {
        if (abOther[uiState])
        {
            abOther[uiState] = false;
            --uiOtherCount;
        }
        abThis[uiState] = true;
        ++uiThisCount;
    }
    auiThis[uiState] = uiValue;
}

template <std::uint32_t N>
bool NiD3DTextureStageGroup::StateSets<N>::Get(std::uint32_t uiState, std::uint32_t& uiValue, bool& bSave) const
{
    if (uiState >= N)
        return false;
    if (m_abSaved[uiState])
    {
        uiValue = m_auiSaved[uiState];
        bSave = true;
        return true;
    }
    if (m_abUnsaved[uiState])
    {
        uiValue = m_auiUnsaved[uiState];
        bSave = false;
        return true;
    }
    return false;
}

void NiD3DTextureStageGroup::SetStageState(std::uint32_t uiState, std::uint32_t uiValue, bool bSave)
{
    m_kStage.Set(uiState, uiValue, bSave);
    Changed();
}

void NiD3DTextureStageGroup::SetSamplerState(std::uint32_t uiState, std::uint32_t uiValue, bool bSave)
{
    m_kSampler.Set(uiState, uiValue, bSave);
    Changed();
}

bool NiD3DTextureStageGroup::GetStageState(std::uint32_t uiState, std::uint32_t& uiValue, bool& bSave) const
{
    return m_kStage.Get(uiState, uiValue, bSave);
}

bool NiD3DTextureStageGroup::GetSamplerState(std::uint32_t uiState, std::uint32_t& uiValue, bool& bSave) const
{
    return m_kSampler.Get(uiState, uiValue, bSave);
}

void NiD3DTextureStageGroup::RemoveAllStageStates()
{
    m_kStage.Clear();
    Changed();
}

void NiD3DTextureStageGroup::RemoveAllSamplerStates()
{
    m_kSampler.Clear();
    Changed();
}

std::uint32_t NiD3DTextureStageGroup::SetToDevice(std::uint32_t uiStage) const
{
    if (ms_pkRenderState == nullptr)
        return 0;
    const std::uint32_t uiBlendStages = NiD3DPass::GetMaxTextureBlendStages();
    if (m_pkAppliedTo == ms_pkRenderState && m_uiAppliedStage == uiStage && m_uiAppliedBlendStages == uiBlendStages &&
        m_uiAppliedSerial == ms_pkRenderState->GetStageStateSerial())
        return 0;
    if (uiStage < uiBlendStages)
    {
        for (std::uint32_t ui = 0; ui < STAGE_STATES; ++ui)
        {
            if (m_kStage.m_abUnsaved[ui])
                ms_pkRenderState->SetTextureStageState(uiStage, ui, m_kStage.m_auiUnsaved[ui], false);
            else if (m_kStage.m_abSaved[ui])
                ms_pkRenderState->SetTextureStageState(uiStage, ui, m_kStage.m_auiSaved[ui], false);
        }
    }
    for (std::uint32_t ui = 0; ui < SAMPLER_STATES; ++ui)
    {
        if (m_kSampler.m_abUnsaved[ui])
            ms_pkRenderState->SetSamplerState(uiStage, ui, m_kSampler.m_auiUnsaved[ui], false);
        else if (m_kSampler.m_abSaved[ui])
            ms_pkRenderState->SetSamplerState(uiStage, ui, m_kSampler.m_auiSaved[ui], false);
    }
    m_pkAppliedTo = ms_pkRenderState;
    m_uiAppliedStage = uiStage;
    m_uiAppliedBlendStages = uiBlendStages;
    m_uiAppliedSerial = ms_pkRenderState->GetStageStateSerial();
    return 0;
}

NiD3DTextureStageGroup* NiD3DTextureStageGroup::GetFreeGroup()
{
    if (ms_spPool == nullptr)
        return nullptr;
    NiD3DTextureStageGroup* pkGroup = ms_spPool->Take();
    pkGroup->m_bPooled = 1;
    return pkGroup;
}

std::uint32_t NiD3DTextureStageGroup::ReleaseGroup(NiD3DTextureStageGroup* pkGroup)
{
    if (pkGroup == nullptr || pkGroup->m_bPooled == 0 || ms_spPool == nullptr)
        return 0;
    pkGroup->m_kStage.Clear();
    pkGroup->m_kSampler.Clear();
    pkGroup->Changed();
    ms_spPool->Return(pkGroup);
    return 1;
}

void NiD3DTextureStageGroup::CreatePool()
{
    if (ms_spPool == nullptr)
        ms_spPool = std::make_unique<NiD3DPool<NiD3DTextureStageGroup>>(BLOCK);
}

void NiD3DTextureStageGroup::DestroyPool()
{
    ms_spPool.reset();
}
