#include "engine/animation/NiMorphData.h"

#include "engine/animation/NiAnimKeyTables.h"
#include "engine/animation/NiFloatData.h"
#include "engine/animation/NiFloatInterpolator.h"
#include "engine/core/NiCloneContext.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"

#include <cstdio>
#include <cstring>
#include <strings.h>

NiImplementTypeInfo(NiMorphData, NiObject)
NiImplementCreateClone(NiMorphData)

namespace
{
constexpr std::uint32_t NAMED_TARGETS_FROM = NiStreamVersion(10, 1, 0, 104);

bool NamesEqual(const char* pcA, const char* pcB)
{
    if (pcA == nullptr || pcB == nullptr)
        return pcA == pcB;
    return strcasecmp(pcA, pcB) == 0;
}

// Old targets: u32 key count and type, the keys, wrapped in a collapsed
// float interpolator. Null without keys or on bad keys (the load is then
// marked corrupt).
NiInterpolatorPtr ReadOldWeightKeys(NiObjectStream& kStream)
{
    std::uint32_t uiCount = 0;
    std::uint32_t uiType = 0;
    if (!kStream.ReadLE(uiCount) || !kStream.ReadLE(uiType) || uiCount == 0)
        return nullptr;
    NiByteStream* pkIn = kStream.GetInStream();
    NiAnimKey* pkKeys =
        pkIn ? NiAnimKeyTables::ReadArray(*pkIn, kStream.GetFileVersion(), NI_FLOATKEY, uiType, uiCount) : nullptr;
    if (pkKeys == nullptr)
    {
        kStream.SetCorrupt();
        return nullptr;
    }
    NiFloatDataPtr spData = new NiFloatData;
    spData->ReplaceKeys(pkKeys, uiCount, uiType);
    if (auto pfnFill = NiAnimKeyTables::GetFillDerivedFunction(NI_FLOATKEY, uiType))
        pfnFill(spData->GetKeys(), spData->GetNumKeys(), spData->GetKeyStride());
    NiInterpolatorPtr spInterp = new NiFloatInterpolator(spData);
    spInterp->Collapse();
    return spInterp;
}
} // namespace

NiObject* NiMorphData::CreateObject()
{
    return new NiMorphData;
}

void NiMorphData::MorphTarget::SetName(const char* pcName)
{
    if (pcName == nullptr)
    {
        m_spName.reset();
        return;
    }
    const std::size_t uiLen = std::strlen(pcName);
    auto spCopy = std::make_unique<char[]>(uiLen + 1);
    std::memcpy(spCopy.get(), pcName, uiLen + 1);
    m_spName = std::move(spCopy);
}

void NiMorphData::SetTargets(std::uint32_t uiTargets, std::uint32_t uiVerts)
{
    m_uiNumTargets = uiTargets;
    m_uiNumVertsPerTarget = uiVerts;
    m_spTargets = uiTargets > 0 ? std::make_unique<MorphTarget[]>(uiTargets) : nullptr;
    for (std::uint32_t i = 0; i < uiTargets; ++i)
        m_spTargets[i].m_spVerts = std::make_unique<NiVec3[]>(uiVerts);
}

std::int32_t NiMorphData::FindTarget(const char* pcName) const
{
    if (pcName == nullptr)
        return -1;
    for (std::uint32_t i = 0; i < m_uiNumTargets; ++i)
    {
        const char* pcTarget = m_spTargets[i].GetName();
        if (pcTarget != nullptr && strcasecmp(pcTarget, pcName) == 0)
            return static_cast<std::int32_t>(i);
    }
    return -1;
}

void NiMorphData::CopyMembers(NiMorphData* pkDest, NiCloneContext& kCloning)
{
    NiObject::CopyMembers(pkDest, kCloning);
    pkDest->SetTargets(m_uiNumTargets, m_uiNumVertsPerTarget);
    pkDest->m_bRelativeTargets = m_bRelativeTargets;
    for (std::uint32_t i = 0; i < m_uiNumTargets; ++i)
    {
        const MorphTarget& kFrom = m_spTargets[i];
        MorphTarget& kTo = pkDest->m_spTargets[i];
        kTo.SetName(kFrom.GetName());
        kTo.m_fLegacyWeight = kFrom.m_fLegacyWeight;
        std::copy(kFrom.m_spVerts.get(), kFrom.m_spVerts.get() + m_uiNumVertsPerTarget, kTo.m_spVerts.get());
        if (kFrom.m_spInterpolator)
            kTo.m_spInterpolator = static_cast<NiInterpolator*>(kFrom.m_spInterpolator->CreateClone(kCloning));
    }
}

// ---- Records ----

void NiMorphData::ReadFromStream(NiObjectStream& kStream)
{
    NiObject::ReadFromStream(kStream);
    std::uint32_t uiTargets = 0;
    std::uint32_t uiVerts = 0;
    std::uint8_t ucRelative = 0;
    if (!kStream.ReadLE(uiTargets) || !kStream.ReadLE(uiVerts) || !kStream.ReadLE(ucRelative))
        return;
    m_bRelativeTargets = ucRelative == 1;

    // Every target holds at least its vertices and a name length and weight
    // (or a key count and type): more than the file can hold is corrupt.
    const bool bNamed = kStream.GetFileVersion() >= NAMED_TARGETS_FROM;
    const std::uint64_t ulPerTarget = 8ull + 12ull * uiVerts;
    if (static_cast<std::uint64_t>(uiTargets) * ulPerTarget > kStream.GetBytesLeft())
    {
        kStream.SetCorrupt();
        return;
    }
    SetTargets(uiTargets, uiVerts);
    for (std::uint32_t i = 0; i < uiTargets && !kStream.IsCorrupt(); ++i)
    {
        MorphTarget& kTarget = m_spTargets[i];
        if (bNamed)
        {
            kTarget.m_spName.reset(kStream.ReadString());
            kStream.ReadLE(kTarget.m_fLegacyWeight);
        }
        else
        {
            kTarget.m_spInterpolator = ReadOldWeightKeys(kStream);
            char acName[16];
            std::snprintf(acName, sizeof(acName), "MT %u", i);
            kTarget.SetName(acName);
        }
        if (!kStream.ReadLE(&kTarget.m_spVerts[0].x, uiVerts * 3))
            return;
    }
}

void NiMorphData::WriteToStream(NiObjectStream& kStream)
{
    NiObject::WriteToStream(kStream);
    kStream.WriteLE(m_uiNumTargets);
    kStream.WriteLE(m_uiNumVertsPerTarget);
    kStream.WriteLE(static_cast<std::uint8_t>(m_bRelativeTargets ? 1 : 0));
    for (std::uint32_t i = 0; i < m_uiNumTargets; ++i)
    {
        const MorphTarget& kTarget = m_spTargets[i];
        kStream.WriteString(kTarget.GetName());
        kStream.WriteLE(kTarget.m_fLegacyWeight);
        kStream.WriteLE(&kTarget.m_spVerts[0].x, m_uiNumVertsPerTarget * 3);
    }
}

bool NiMorphData::IsEqual(NiObject* pkOther)
{
    if (!NiObject::IsEqual(pkOther))
        return false;
    auto* pkData = static_cast<NiMorphData*>(pkOther);
    if (m_uiNumTargets != pkData->m_uiNumTargets || m_uiNumVertsPerTarget != pkData->m_uiNumVertsPerTarget ||
        m_bRelativeTargets != pkData->m_bRelativeTargets)
        return false;
    for (std::uint32_t i = 0; i < m_uiNumTargets; ++i)
    {
        const MorphTarget& kMine = m_spTargets[i];
        const MorphTarget& kTheirs = pkData->m_spTargets[i];
        if (!NamesEqual(kMine.GetName(), kTheirs.GetName()))
            return false;
        for (std::uint32_t k = 0; k < m_uiNumVertsPerTarget; ++k)
        {
            if (kMine.m_spVerts[k] != kTheirs.m_spVerts[k])
                return false;
        }
    }
    return true;
}

void NiMorphData::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiObject::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiMorphData::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerUInt("m_uiNumTargets", m_uiNumTargets));
    kStrings.AddTail(NiViewerUInt("m_uiNumVertsPerTarget", m_uiNumVertsPerTarget));
    kStrings.AddTail(NiViewerHeader("MorphTargets"));
    for (std::uint32_t i = 0; i < m_uiNumTargets; ++i)
        kStrings.AddTail(NiViewerString("m_pcName", m_spTargets[i].GetName()));
}
