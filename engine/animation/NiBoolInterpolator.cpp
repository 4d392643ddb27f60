#include "engine/animation/NiBoolInterpolator.h"

#include "engine/core/NiCloneContext.h"
#include "engine/core/NiEndian.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"

NiImplementTypeInfo(NiBoolInterpolator, NiKeyBasedInterpolator)
NiImplementCreateClone(NiBoolInterpolator)

NiObject* NiBoolInterpolator::CreateObject()
{
    return new NiBoolInterpolator;
}

void NiBoolInterpolator::CopyMembers(NiBoolInterpolator* pkDest, NiCloneContext& kCloning)
{
    NiKeyBasedInterpolator::CopyMembers(pkDest, kCloning);
    pkDest->m_bBoolValue = m_bBoolValue;
    pkDest->m_spBoolData = m_spBoolData;
    pkDest->m_uiLastIdx = m_uiLastIdx;
}

bool NiBoolInterpolator::UpdateBool(float fTime, NiObjectNET*, std::uint8_t& kValue)
{
    if (fTime == m_fLastTime)
    {
        kValue = IsValueValid(m_bBoolValue) ? m_bBoolValue : std::uint8_t(0);
        return IsValueValid(m_bBoolValue);
    }
    if (m_spBoolData && m_spBoolData->GetNumKeys() > 0)
    {
        m_bBoolValue = NiBoolKey::EvaluateAt(fTime, m_spBoolData->GetKeys(), m_spBoolData->GetKeyType(), m_spBoolData->GetNumKeys(), m_uiLastIdx,
                                m_spBoolData->GetKeyStride()) ? 1 : 0;
    }
    if (!IsValueValid(m_bBoolValue))
        return false;
    kValue = m_bBoolValue;
    m_fLastTime = fTime;
    return true;
}

void NiBoolInterpolator::SetPoseValue(std::uint8_t kPose)
{
    m_spBoolData = nullptr;
    m_bBoolValue = kPose;
}

void NiBoolInterpolator::Collapse()
{
    if (!m_spBoolData)
        return;
    std::uint32_t uiCount = m_spBoolData->GetNumKeys();
    NiAnimKey* pkKeys = m_spBoolData->GetKeys();
    std::uint32_t uiType = m_spBoolData->GetKeyType();
    std::uint8_t ucStride = m_spBoolData->GetKeyStride();
    if (uiCount == 0 || pkKeys == nullptr)
    {
        m_spBoolData = nullptr;
        m_bBoolValue = INVALID_BOOL;
        return;
    }
    auto fnValue = [&](std::uint32_t i) { return std::uint8_t(static_cast<const NiBoolKey*>(NiAnimKey::At(pkKeys, i, ucStride))->m_bValue != 0 ? 1 : 0); };
    bool bCollapse = uiCount == 1;
    if (!bCollapse && (uiType == NI_LINKEY || uiType == NI_STEPKEY))
    {
        bCollapse = true;
        for (std::uint32_t i = 1; i < uiCount && bCollapse; ++i)
            bCollapse = fnValue(i) == fnValue(0);
    }
    if (!bCollapse)
        return;
    m_bBoolValue = fnValue(0);
    m_spBoolData = nullptr;
}

void NiBoolInterpolator::GuaranteeTimeRange(float fStart, float fEnd)
{
    if (m_spBoolData)
        m_spBoolData->GuaranteeKeysAtStartAndEnd(fStart, fEnd);
}

NiInterpolator* NiBoolInterpolator::GetSequenceInterpolator(float fBegin, float fEnd)
{
    auto* pkClone = static_cast<NiBoolInterpolator*>(NiInterpolator::GetSequenceInterpolator(fBegin, fEnd));
    if (pkClone != nullptr && m_spBoolData)
    {
        pkClone->m_spBoolData = m_spBoolData->GetSequenceData(fBegin, fEnd);
        pkClone->m_uiLastIdx = 0;
    }
    return pkClone;
}

std::uint32_t NiBoolInterpolator::GetKeyCount(std::uint16_t usChannel) const
{
    return (usChannel == 0 && m_spBoolData) ? m_spBoolData->GetNumKeys() : 0;
}

std::uint32_t NiBoolInterpolator::GetKeyType(std::uint16_t usChannel) const
{
    return (usChannel == 0 && m_spBoolData) ? m_spBoolData->GetKeyType() : 0;
}

std::uint32_t NiBoolInterpolator::GetKeyContent(std::uint16_t) const
{
    return NI_BOOLKEY;
}

NiAnimKey* NiBoolInterpolator::GetKeyArray(std::uint16_t usChannel) const
{
    return (usChannel == 0 && m_spBoolData) ? m_spBoolData->GetKeys() : nullptr;
}

std::uint8_t NiBoolInterpolator::GetKeyStride(std::uint16_t usChannel) const
{
    return (usChannel == 0 && m_spBoolData) ? m_spBoolData->GetKeyStride() : 0;
}

bool NiBoolInterpolator::GetChannelPosed(std::uint16_t usChannel) const
{
    return usChannel == 0 && !m_spBoolData && IsValueValid(m_bBoolValue);
}

void NiBoolInterpolator::ReadFromStream(NiObjectStream& kStream)
{
    NiKeyBasedInterpolator::ReadFromStream(kStream);
    (void)kStream.ReadLE(m_bBoolValue);
    NiObject* pkData = kStream.ReadObjectRef();
    m_spBoolData = NiDynamicCast<NiBoolData>(pkData);
    if (pkData != nullptr && !m_spBoolData)
        kStream.SetCorrupt();
}

bool NiBoolInterpolator::RegisterForSave(NiObjectStream& kStream)
{
    if (!NiKeyBasedInterpolator::RegisterForSave(kStream))
        return false;
    if (m_spBoolData)
        m_spBoolData->RegisterForSave(kStream);
    return true;
}

void NiBoolInterpolator::WriteToStream(NiObjectStream& kStream)
{
    NiKeyBasedInterpolator::WriteToStream(kStream);
    kStream.WriteLE(m_bBoolValue);
    kStream.WriteLinkID(m_spBoolData);
}

bool NiBoolInterpolator::IsEqual(NiObject* pkOther)
{
    if (!NiKeyBasedInterpolator::IsEqual(pkOther))
        return false;
    auto* pkInterp = static_cast<NiBoolInterpolator*>(pkOther);
    if (m_bBoolValue != pkInterp->m_bBoolValue)
        return false;
    if (!m_spBoolData || !pkInterp->m_spBoolData)
        return !m_spBoolData && !pkInterp->m_spBoolData;
    return m_spBoolData->IsEqual(pkInterp->m_spBoolData);
}

void NiBoolInterpolator::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiKeyBasedInterpolator::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiBoolInterpolator::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerUChar("m_bBoolValue", m_bBoolValue));
    kStrings.AddTail(NiViewerPointer("m_spBoolData", m_spBoolData.Get()));
}
