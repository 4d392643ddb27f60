#pragma once

#include "engine/core/NiRefObject.h"
#include "engine/core/NiRefPtr.h"
#include "engine/core/NiTList.h"

class NiDynamicEffect;
class NiTextureEffect;

// The lights and texture effects in force at a point of the scene graph.
// Sets are shared down the tree and copied only where a node changes them;
// they hold no references: the scene graph keeps the effects alive.
class NiEffectSet : public NiRefObject
{
public:
    using EffectList = NiTList<NiDynamicEffect>;

    NiEffectSet() = default;
    ~NiEffectSet() override = default;

    // An independent set with the same contents.
    [[nodiscard]] NiEffectSet* Copy() const;

    // Lights and projected effects are kept sorted by effect index, one per
    // index; environment and fog maps replace the one held. Null is ignored.
    void AddEffect(NiDynamicEffect* pkEffect);
    void RemoveEffect(NiDynamicEffect* pkEffect);

    [[nodiscard]] bool HasTextureEffects() const
    {
        return !m_kProjLights.IsEmpty() || !m_kProjShadows.IsEmpty() || m_pkEnvMap != nullptr || m_pkFogMap != nullptr;
    }
    [[nodiscard]] const EffectList& GetLights() const { return m_kLights; }
    [[nodiscard]] const EffectList& GetProjectedLights() const { return m_kProjLights; }
    [[nodiscard]] const EffectList& GetProjectedShadows() const { return m_kProjShadows; }
    [[nodiscard]] NiTextureEffect* GetEnvironmentMap() const;
    [[nodiscard]] NiTextureEffect* GetFogMap() const;

    // Every effect of the set: the three lists, then the two maps.
    template <class F>
    void ForEachEffect(F&& fn) const;

private:
    static void SortedInsert(EffectList& kList, NiDynamicEffect* pkEffect);
    static void SortedRemove(EffectList& kList, NiDynamicEffect* pkEffect);
    static void CopyList(const EffectList& kFrom, EffectList& kTo);

    EffectList m_kLights;
    EffectList m_kProjLights;
    EffectList m_kProjShadows;
    NiDynamicEffect* m_pkEnvMap = nullptr; // a texture effect
    NiDynamicEffect* m_pkFogMap = nullptr; // a texture effect
};

using NiEffectSetPtr = NiRefPtr<NiEffectSet>;

template <class F>
void NiEffectSet::ForEachEffect(F&& fn) const
{
    for (const EffectList* pkList : {&m_kLights, &m_kProjLights, &m_kProjShadows})
    {
        for (NiListPos kPos = pkList->GetHeadPos(); kPos != nullptr;)
            fn(EffectList::GetNext(kPos));
    }
    if (m_pkEnvMap != nullptr)
        fn(m_pkEnvMap);
    if (m_pkFogMap != nullptr)
        fn(m_pkFogMap);
}
