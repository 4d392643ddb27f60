#include "engine/scene/NiEffectSet.h"

#include "engine/scene/NiDynamicEffect.h"
#include "engine/scene/NiTextureEffect.h"

NiEffectSet* NiEffectSet::Copy() const
{
    auto* pkCopy = new NiEffectSet;
    CopyList(m_kLights, pkCopy->m_kLights);
    CopyList(m_kProjLights, pkCopy->m_kProjLights);
    CopyList(m_kProjShadows, pkCopy->m_kProjShadows);
    pkCopy->m_pkEnvMap = m_pkEnvMap;
    pkCopy->m_pkFogMap = m_pkFogMap;
    return pkCopy;
}

NiTextureEffect* NiEffectSet::GetEnvironmentMap() const
{
    return static_cast<NiTextureEffect*>(m_pkEnvMap);
}

NiTextureEffect* NiEffectSet::GetFogMap() const
{
    return static_cast<NiTextureEffect*>(m_pkFogMap);
}

void NiEffectSet::AddEffect(NiDynamicEffect* pkEffect)
{
    if (pkEffect == nullptr)
        return;
    if (pkEffect->GetEffectType() < NiDynamicEffect::TEXTURE_EFFECT)
    {
        SortedInsert(m_kLights, pkEffect);
        return;
    }
    switch (static_cast<NiTextureEffect*>(pkEffect)->GetTextureType())
    {
    case NiTextureEffect::PROJECTED_LIGHT:
        SortedInsert(m_kProjLights, pkEffect);
        break;
    case NiTextureEffect::PROJECTED_SHADOW:
        SortedInsert(m_kProjShadows, pkEffect);
        break;
    case NiTextureEffect::ENVIRONMENT_MAP:
        m_pkEnvMap = pkEffect;
        break;
    case NiTextureEffect::FOG_MAP:
        m_pkFogMap = pkEffect;
        break;
    default:
        break;
    }
}

void NiEffectSet::RemoveEffect(NiDynamicEffect* pkEffect)
{
    if (pkEffect == nullptr)
        return;
    if (pkEffect->GetEffectType() < NiDynamicEffect::TEXTURE_EFFECT)
    {
        SortedRemove(m_kLights, pkEffect);
        return;
    }
    switch (static_cast<NiTextureEffect*>(pkEffect)->GetTextureType())
    {
    case NiTextureEffect::PROJECTED_LIGHT:
        SortedRemove(m_kProjLights, pkEffect);
        break;
    case NiTextureEffect::PROJECTED_SHADOW:
        SortedRemove(m_kProjShadows, pkEffect);
        break;
    case NiTextureEffect::ENVIRONMENT_MAP:
        if (m_pkEnvMap == pkEffect)
            m_pkEnvMap = nullptr;
        break;
    case NiTextureEffect::FOG_MAP:
        if (m_pkFogMap == pkEffect)
            m_pkFogMap = nullptr;
        break;
    default:
        break;
    }
}

void NiEffectSet::SortedInsert(EffectList& kList, NiDynamicEffect* pkEffect)
{
    std::uint32_t uiKey = pkEffect->GetIndex();
    NiListPos kPos = kList.GetHeadPos();
    if (kPos == nullptr || uiKey < EffectList::Get(kPos)->GetIndex())
    {
        kList.AddHead(pkEffect);
        return;
    }
    // The list has no insert-before: rebuild the tail after the slot.
    for (; kPos != nullptr; kPos = NiListBase::GetNextPos(kPos))
    {
        std::uint32_t uiIndex = EffectList::Get(kPos)->GetIndex();
        if (uiIndex == uiKey)
            return;
        if (uiIndex > uiKey)
            break;
    }
    if (kPos == nullptr)
    {
        kList.AddTail(pkEffect);
        return;
    }
    EffectList kRest;
    while (kPos != nullptr)
        kRest.AddTail(kList.RemovePos(kPos));
    kList.AddTail(pkEffect);
    for (NiListPos k = kRest.GetHeadPos(); k != nullptr;)
        kList.AddTail(EffectList::GetNext(k));
}

void NiEffectSet::SortedRemove(EffectList& kList, NiDynamicEffect* pkEffect)
{
    std::uint32_t uiKey = pkEffect->GetIndex();
    for (NiListPos kPos = kList.GetHeadPos(); kPos != nullptr; kPos = NiListBase::GetNextPos(kPos))
    {
        std::uint32_t uiIndex = EffectList::Get(kPos)->GetIndex();
        if (uiIndex > uiKey)
            return;
        if (uiIndex == uiKey)
        {
            kList.RemovePos(kPos);
            return;
        }
    }
}

void NiEffectSet::CopyList(const EffectList& kFrom, EffectList& kTo)
{
    for (NiListPos kPos = kFrom.GetHeadPos(); kPos != nullptr;)
        kTo.AddTail(EffectList::GetNext(kPos));
}
