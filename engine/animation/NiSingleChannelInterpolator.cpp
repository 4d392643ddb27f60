#include "engine/animation/NiSingleChannelInterpolator.h"

#include "engine/core/NiCloneContext.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"

void NiSingleChannelInterpolator::CopyMembers(NiSingleChannelInterpolator* pkDest, NiCloneContext& kCloning)
{
    NiKeyBasedInterpolator::CopyMembers(pkDest, kCloning);
    pkDest->m_spData = m_spData;
    pkDest->m_uiLastIdx = m_uiLastIdx;
}

bool NiSingleChannelInterpolator::RefreshPose(float fTime)
{
    if (fTime == m_fLastTime)
        return true;
    if (m_spData && m_spData->GetNumKeys() > 0)
        EvaluatePose(fTime);
    if (!IsPoseValid())
        return false;
    m_fLastTime = fTime;
    return true;
}

void NiSingleChannelInterpolator::Collapse()
{
    if (!m_spData)
        return;
    std::uint32_t uiCount = m_spData->GetNumKeys();
    NiAnimKey* pkKeys = m_spData->GetKeys();
    std::uint32_t uiType = m_spData->GetKeyType();
    std::uint8_t ucStride = m_spData->GetKeyStride();
    if (uiCount == 0 || pkKeys == nullptr)
    {
        m_spData = nullptr;
        InvalidatePose();
        return;
    }
    // An Euler key's own value says nothing; its axes hold the keys.
    bool bCollapse = uiCount == 1 && !(uiType == NI_EULERKEY && GetKeyContent(0) == NI_ROTKEY);
    if (!bCollapse && (uiType == NI_LINKEY || uiType == NI_STEPKEY))
    {
        bCollapse = true;
        for (std::uint32_t i = 1; i < uiCount && bCollapse; ++i)
            bCollapse = KeyValuesEqual(*NiAnimKey::At(pkKeys, i, ucStride), *pkKeys);
    }
    if (!bCollapse)
        return;
    SetPoseFromKey(*pkKeys);
    m_spData = nullptr;
}

void NiSingleChannelInterpolator::GuaranteeTimeRange(float fStart, float fEnd)
{
    if (m_spData)
        m_spData->GuaranteeKeysAtStartAndEnd(fStart, fEnd);
}

NiInterpolator* NiSingleChannelInterpolator::GetSequenceInterpolator(float fBegin, float fEnd)
{
    auto* pkClone = static_cast<NiSingleChannelInterpolator*>(NiInterpolator::GetSequenceInterpolator(fBegin, fEnd));
    if (pkClone != nullptr && m_spData)
    {
        pkClone->m_spData = m_spData->GetSequenceKeyData(fBegin, fEnd);
        pkClone->m_uiLastIdx = 0;
    }
    return pkClone;
}

std::uint32_t NiSingleChannelInterpolator::GetKeyCount(std::uint16_t usChannel) const
{
    return (usChannel == 0 && m_spData) ? m_spData->GetNumKeys() : 0;
}

std::uint32_t NiSingleChannelInterpolator::GetKeyType(std::uint16_t usChannel) const
{
    return (usChannel == 0 && m_spData) ? m_spData->GetKeyType() : 0;
}

NiAnimKey* NiSingleChannelInterpolator::GetKeyArray(std::uint16_t usChannel) const
{
    return (usChannel == 0 && m_spData) ? m_spData->GetKeys() : nullptr;
}

std::uint8_t NiSingleChannelInterpolator::GetKeyStride(std::uint16_t usChannel) const
{
    return (usChannel == 0 && m_spData) ? m_spData->GetKeyStride() : 0;
}

bool NiSingleChannelInterpolator::GetChannelPosed(std::uint16_t usChannel) const
{
    return usChannel == 0 && !m_spData && IsPoseValid();
}

void NiSingleChannelInterpolator::ReadFromStream(NiObjectStream& kStream)
{
    NiKeyBasedInterpolator::ReadFromStream(kStream);
    ReadPose(kStream);
    NiObject* pkData = kStream.ReadObjectRef();
    m_spData = static_cast<NiKeyData*>(NiDynamicCast(GetDataTypeInfo(), pkData));
    if (pkData != nullptr && !m_spData)
        kStream.SetCorrupt();
}

void NiSingleChannelInterpolator::DropCountedLinks()
{
    NiKeyBasedInterpolator::DropCountedLinks();
    m_spData = nullptr;
}

bool NiSingleChannelInterpolator::RegisterForSave(NiObjectStream& kStream)
{
    if (!NiKeyBasedInterpolator::RegisterForSave(kStream))
        return false;
    if (m_spData)
        m_spData->RegisterForSave(kStream);
    return true;
}

void NiSingleChannelInterpolator::WriteToStream(NiObjectStream& kStream)
{
    NiKeyBasedInterpolator::WriteToStream(kStream);
    WritePose(kStream);
    kStream.WriteLinkID(m_spData);
}

bool NiSingleChannelInterpolator::IsEqual(NiObject* pkOther)
{
    if (!NiKeyBasedInterpolator::IsEqual(pkOther))
        return false;
    auto* pkInterp = static_cast<NiSingleChannelInterpolator*>(pkOther);
    if (!m_spData || !pkInterp->m_spData)
        return !m_spData && !pkInterp->m_spData;
    return m_spData->IsEqual(pkInterp->m_spData);
}

void NiSingleChannelInterpolator::AppendChannelStrings(NiViewerStringArray& kStrings, const NiTypeInfo* pkClass,
                                                       char* pcPose, const char* pcDataName)
{
    NiKeyBasedInterpolator::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(pkClass->GetName()));
    kStrings.AddTail(pcPose);
    kStrings.AddTail(NiViewerPointer(pcDataName, m_spData.Get()));
}
