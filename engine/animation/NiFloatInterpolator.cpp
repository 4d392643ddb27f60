#include "engine/animation/NiFloatInterpolator.h"

#include "engine/core/NiCloneContext.h"
#include "engine/core/NiEndian.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"

NiImplementTypeInfo(NiFloatInterpolator, NiKeyBasedInterpolator)
NiImplementCreateClone(NiFloatInterpolator)

NiObject* NiFloatInterpolator::CreateObject()
{
    return new NiFloatInterpolator;
}

void NiFloatInterpolator::CopyMembers(NiFloatInterpolator* pkDest, NiCloneContext& kCloning)
{
    NiKeyBasedInterpolator::CopyMembers(pkDest, kCloning);
    pkDest->m_fFloatValue = m_fFloatValue;
    pkDest->m_spFloatData = m_spFloatData;
    pkDest->m_uiLastIdx = m_uiLastIdx;
}

bool NiFloatInterpolator::UpdateFloat(float fTime, NiObjectNET*, float& kValue)
{
    if (fTime == m_fLastTime)
    {
        kValue = m_fFloatValue;
        return IsValueValid(m_fFloatValue);
    }
    if (m_spFloatData && m_spFloatData->GetNumKeys() > 0)
    {
        m_fFloatValue = NiFloatKey::EvaluateAt(fTime, m_spFloatData->GetKeys(), m_spFloatData->GetKeyType(), m_spFloatData->GetNumKeys(), m_uiLastIdx,
                                m_spFloatData->GetKeyStride());
    }
    if (!IsValueValid(m_fFloatValue))
        return false;
    kValue = m_fFloatValue;
    m_fLastTime = fTime;
    return true;
}

void NiFloatInterpolator::SetPoseValue(float kPose)
{
    m_spFloatData = nullptr;
    m_fFloatValue = kPose;
}

void NiFloatInterpolator::Collapse()
{
    if (!m_spFloatData)
        return;
    std::uint32_t uiCount = m_spFloatData->GetNumKeys();
    NiAnimKey* pkKeys = m_spFloatData->GetKeys();
    std::uint32_t uiType = m_spFloatData->GetKeyType();
    std::uint8_t ucStride = m_spFloatData->GetKeyStride();
    if (uiCount == 0 || pkKeys == nullptr)
    {
        m_spFloatData = nullptr;
        m_fFloatValue = NI_MIN_FLOAT;
        return;
    }
    auto fnValue = [&](std::uint32_t i) { return static_cast<const NiFloatKey*>(NiAnimKey::At(pkKeys, i, ucStride))->m_fValue; };
    bool bCollapse = uiCount == 1;
    if (!bCollapse && (uiType == NI_LINKEY || uiType == NI_STEPKEY))
    {
        bCollapse = true;
        for (std::uint32_t i = 1; i < uiCount && bCollapse; ++i)
            bCollapse = fnValue(i) == fnValue(0);
    }
    if (!bCollapse)
        return;
    m_fFloatValue = fnValue(0);
    m_spFloatData = nullptr;
}

void NiFloatInterpolator::GuaranteeTimeRange(float fStart, float fEnd)
{
    if (m_spFloatData)
        m_spFloatData->GuaranteeKeysAtStartAndEnd(fStart, fEnd);
}

NiInterpolator* NiFloatInterpolator::GetSequenceInterpolator(float fBegin, float fEnd)
{
    auto* pkClone = static_cast<NiFloatInterpolator*>(NiInterpolator::GetSequenceInterpolator(fBegin, fEnd));
    if (pkClone != nullptr && m_spFloatData)
    {
        pkClone->m_spFloatData = m_spFloatData->GetSequenceData(fBegin, fEnd);
        pkClone->m_uiLastIdx = 0;
    }
    return pkClone;
}

std::uint32_t NiFloatInterpolator::GetKeyCount(std::uint16_t usChannel) const
{
    return (usChannel == 0 && m_spFloatData) ? m_spFloatData->GetNumKeys() : 0;
}

std::uint32_t NiFloatInterpolator::GetKeyType(std::uint16_t usChannel) const
{
    return (usChannel == 0 && m_spFloatData) ? m_spFloatData->GetKeyType() : 0;
}

std::uint32_t NiFloatInterpolator::GetKeyContent(std::uint16_t) const
{
    return NI_FLOATKEY;
}

NiAnimKey* NiFloatInterpolator::GetKeyArray(std::uint16_t usChannel) const
{
    return (usChannel == 0 && m_spFloatData) ? m_spFloatData->GetKeys() : nullptr;
}

std::uint8_t NiFloatInterpolator::GetKeyStride(std::uint16_t usChannel) const
{
    return (usChannel == 0 && m_spFloatData) ? m_spFloatData->GetKeyStride() : 0;
}

bool NiFloatInterpolator::GetChannelPosed(std::uint16_t usChannel) const
{
    return usChannel == 0 && !m_spFloatData && IsValueValid(m_fFloatValue);
}

void NiFloatInterpolator::ReadFromStream(NiObjectStream& kStream)
{
    NiKeyBasedInterpolator::ReadFromStream(kStream);
    (void)kStream.ReadLE(m_fFloatValue);
    NiObject* pkData = kStream.ReadObjectRef();
    m_spFloatData = NiDynamicCast<NiFloatData>(pkData);
    if (pkData != nullptr && !m_spFloatData)
        kStream.SetCorrupt();
}

bool NiFloatInterpolator::RegisterForSave(NiObjectStream& kStream)
{
    if (!NiKeyBasedInterpolator::RegisterForSave(kStream))
        return false;
    if (m_spFloatData)
        m_spFloatData->RegisterForSave(kStream);
    return true;
}

void NiFloatInterpolator::WriteToStream(NiObjectStream& kStream)
{
    NiKeyBasedInterpolator::WriteToStream(kStream);
    kStream.WriteLE(m_fFloatValue);
    kStream.WriteLinkID(m_spFloatData);
}

bool NiFloatInterpolator::IsEqual(NiObject* pkOther)
{
    if (!NiKeyBasedInterpolator::IsEqual(pkOther))
        return false;
    auto* pkInterp = static_cast<NiFloatInterpolator*>(pkOther);
    if (m_fFloatValue != pkInterp->m_fFloatValue)
        return false;
    if (!m_spFloatData || !pkInterp->m_spFloatData)
        return !m_spFloatData && !pkInterp->m_spFloatData;
    return m_spFloatData->IsEqual(pkInterp->m_spFloatData);
}

void NiFloatInterpolator::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiKeyBasedInterpolator::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiFloatInterpolator::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerFloat("m_fFloatValue", m_fFloatValue));
    kStrings.AddTail(NiViewerPointer("m_spFloatData", m_spFloatData.Get()));
}
