#include "engine/animation/NiQuaternionInterpolator.h"

#include "engine/core/NiCloneContext.h"
#include "engine/core/NiEndian.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"

NiImplementTypeInfo(NiQuaternionInterpolator, NiKeyBasedInterpolator)
NiImplementCreateClone(NiQuaternionInterpolator)

NiObject* NiQuaternionInterpolator::CreateObject()
{
    return new NiQuaternionInterpolator;
}

void NiQuaternionInterpolator::CopyMembers(NiQuaternionInterpolator* pkDest, NiCloneContext& kCloning)
{
    NiKeyBasedInterpolator::CopyMembers(pkDest, kCloning);
    pkDest->m_kQuaternionValue = m_kQuaternionValue;
    pkDest->m_spQuaternionData = m_spQuaternionData;
    pkDest->m_uiLastIdx = m_uiLastIdx;
}

bool NiQuaternionInterpolator::UpdateQuaternion(float fTime, NiObjectNET*, NiQuat& kValue)
{
    if (fTime == m_fLastTime)
    {
        kValue = m_kQuaternionValue;
        return IsValueValid(m_kQuaternionValue);
    }
    if (m_spQuaternionData && m_spQuaternionData->GetNumKeys() > 0)
    {
        m_kQuaternionValue = NiRotKey::EvaluateAt(fTime, m_spQuaternionData->GetKeys(), m_spQuaternionData->GetKeyType(), m_spQuaternionData->GetNumKeys(), m_uiLastIdx,
                                m_spQuaternionData->GetKeyStride());
    }
    if (!IsValueValid(m_kQuaternionValue))
        return false;
    kValue = m_kQuaternionValue;
    m_fLastTime = fTime;
    return true;
}

void NiQuaternionInterpolator::SetPoseValue(const NiQuat& kPose)
{
    m_spQuaternionData = nullptr;
    m_kQuaternionValue = kPose;
}

void NiQuaternionInterpolator::Collapse()
{
    if (!m_spQuaternionData)
        return;
    std::uint32_t uiCount = m_spQuaternionData->GetNumKeys();
    NiAnimKey* pkKeys = m_spQuaternionData->GetKeys();
    std::uint32_t uiType = m_spQuaternionData->GetKeyType();
    std::uint8_t ucStride = m_spQuaternionData->GetKeyStride();
    if (uiCount == 0 || pkKeys == nullptr)
    {
        m_spQuaternionData = nullptr;
        m_kQuaternionValue = NiQuat::INVALID_QUATERNION;
        return;
    }
    auto fnValue = [&](std::uint32_t i) { return static_cast<const NiRotKey*>(NiAnimKey::At(pkKeys, i, ucStride))->m_kQuat; };
    bool bCollapse = uiCount == 1 && uiType != NI_EULERKEY;
    if (!bCollapse && (uiType == NI_LINKEY || uiType == NI_STEPKEY))
    {
        bCollapse = true;
        for (std::uint32_t i = 1; i < uiCount && bCollapse; ++i)
            bCollapse = fnValue(i) == fnValue(0);
    }
    if (!bCollapse)
        return;
    m_kQuaternionValue = fnValue(0);
    m_spQuaternionData = nullptr;
}

void NiQuaternionInterpolator::GuaranteeTimeRange(float fStart, float fEnd)
{
    if (m_spQuaternionData)
        m_spQuaternionData->GuaranteeKeysAtStartAndEnd(fStart, fEnd);
}

NiInterpolator* NiQuaternionInterpolator::GetSequenceInterpolator(float fBegin, float fEnd)
{
    auto* pkClone = static_cast<NiQuaternionInterpolator*>(NiInterpolator::GetSequenceInterpolator(fBegin, fEnd));
    if (pkClone != nullptr && m_spQuaternionData)
    {
        pkClone->m_spQuaternionData = m_spQuaternionData->GetSequenceData(fBegin, fEnd);
        pkClone->m_uiLastIdx = 0;
    }
    return pkClone;
}

std::uint32_t NiQuaternionInterpolator::GetKeyCount(std::uint16_t usChannel) const
{
    return (usChannel == 0 && m_spQuaternionData) ? m_spQuaternionData->GetNumKeys() : 0;
}

std::uint32_t NiQuaternionInterpolator::GetKeyType(std::uint16_t usChannel) const
{
    return (usChannel == 0 && m_spQuaternionData) ? m_spQuaternionData->GetKeyType() : 0;
}

std::uint32_t NiQuaternionInterpolator::GetKeyContent(std::uint16_t) const
{
    return NI_ROTKEY;
}

NiAnimKey* NiQuaternionInterpolator::GetKeyArray(std::uint16_t usChannel) const
{
    return (usChannel == 0 && m_spQuaternionData) ? m_spQuaternionData->GetKeys() : nullptr;
}

std::uint8_t NiQuaternionInterpolator::GetKeyStride(std::uint16_t usChannel) const
{
    return (usChannel == 0 && m_spQuaternionData) ? m_spQuaternionData->GetKeyStride() : 0;
}

bool NiQuaternionInterpolator::GetChannelPosed(std::uint16_t usChannel) const
{
    return usChannel == 0 && !m_spQuaternionData && IsValueValid(m_kQuaternionValue);
}

void NiQuaternionInterpolator::ReadFromStream(NiObjectStream& kStream)
{
    NiKeyBasedInterpolator::ReadFromStream(kStream);
    float af[4];
    if (kStream.ReadLE(af, 4))
        m_kQuaternionValue = NiQuat(af[0], af[1], af[2], af[3]);
    NiObject* pkData = kStream.ReadObjectRef();
    m_spQuaternionData = NiDynamicCast<NiRotData>(pkData);
    if (pkData != nullptr && !m_spQuaternionData)
        kStream.SetCorrupt();
}

bool NiQuaternionInterpolator::RegisterForSave(NiObjectStream& kStream)
{
    if (!NiKeyBasedInterpolator::RegisterForSave(kStream))
        return false;
    if (m_spQuaternionData)
        m_spQuaternionData->RegisterForSave(kStream);
    return true;
}

void NiQuaternionInterpolator::WriteToStream(NiObjectStream& kStream)
{
    NiKeyBasedInterpolator::WriteToStream(kStream);
    const float af[4] = {m_kQuaternionValue.w, m_kQuaternionValue.x, m_kQuaternionValue.y, m_kQuaternionValue.z};
    kStream.WriteLE(af, 4);
    kStream.WriteLinkID(m_spQuaternionData);
}

bool NiQuaternionInterpolator::IsEqual(NiObject* pkOther)
{
    if (!NiKeyBasedInterpolator::IsEqual(pkOther))
        return false;
    auto* pkInterp = static_cast<NiQuaternionInterpolator*>(pkOther);
    if (m_kQuaternionValue != pkInterp->m_kQuaternionValue)
        return false;
    if (!m_spQuaternionData || !pkInterp->m_spQuaternionData)
        return !m_spQuaternionData && !pkInterp->m_spQuaternionData;
    return m_spQuaternionData->IsEqual(pkInterp->m_spQuaternionData);
}

void NiQuaternionInterpolator::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiKeyBasedInterpolator::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiQuaternionInterpolator::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerQuat("m_kQuaternionValue", m_kQuaternionValue));
    kStrings.AddTail(NiViewerPointer("m_spQuaternionData", m_spQuaternionData.Get()));
}
