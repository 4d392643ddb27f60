#include "engine/animation/NiPoint3Interpolator.h"

#include "engine/core/NiCloneContext.h"
#include "engine/core/NiEndian.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"

NiImplementTypeInfo(NiPoint3Interpolator, NiKeyBasedInterpolator)
NiImplementCreateClone(NiPoint3Interpolator)

NiObject* NiPoint3Interpolator::CreateObject()
{
    return new NiPoint3Interpolator;
}

void NiPoint3Interpolator::CopyMembers(NiPoint3Interpolator* pkDest, NiCloneContext& kCloning)
{
    NiKeyBasedInterpolator::CopyMembers(pkDest, kCloning);
    pkDest->m_kPoint3Value = m_kPoint3Value;
    pkDest->m_spPoint3Data = m_spPoint3Data;
    pkDest->m_uiLastIdx = m_uiLastIdx;
}

bool NiPoint3Interpolator::UpdatePoint3(float fTime, NiObjectNET*, NiVec3& kValue)
{
    if (fTime == m_fLastTime)
    {
        kValue = m_kPoint3Value;
        return IsValueValid(m_kPoint3Value);
    }
    if (m_spPoint3Data && m_spPoint3Data->GetNumKeys() > 0)
    {
        m_kPoint3Value = NiPosKey::EvaluateAt(fTime, m_spPoint3Data->GetKeys(), m_spPoint3Data->GetKeyType(), m_spPoint3Data->GetNumKeys(), m_uiLastIdx,
                                m_spPoint3Data->GetKeyStride());
    }
    if (!IsValueValid(m_kPoint3Value))
        return false;
    kValue = m_kPoint3Value;
    m_fLastTime = fTime;
    return true;
}

void NiPoint3Interpolator::SetPoseValue(const NiVec3& kPose)
{
    m_spPoint3Data = nullptr;
    m_kPoint3Value = kPose;
}

void NiPoint3Interpolator::Collapse()
{
    if (!m_spPoint3Data)
        return;
    std::uint32_t uiCount = m_spPoint3Data->GetNumKeys();
    NiAnimKey* pkKeys = m_spPoint3Data->GetKeys();
    std::uint32_t uiType = m_spPoint3Data->GetKeyType();
    std::uint8_t ucStride = m_spPoint3Data->GetKeyStride();
    if (uiCount == 0 || pkKeys == nullptr)
    {
        m_spPoint3Data = nullptr;
        m_kPoint3Value = INVALID_POINT3;
        return;
    }
    auto fnValue = [&](std::uint32_t i) { return static_cast<const NiPosKey*>(NiAnimKey::At(pkKeys, i, ucStride))->m_kPos; };
    bool bCollapse = uiCount == 1;
    if (!bCollapse && (uiType == NI_LINKEY || uiType == NI_STEPKEY))
    {
        bCollapse = true;
        for (std::uint32_t i = 1; i < uiCount && bCollapse; ++i)
            bCollapse = fnValue(i) == fnValue(0);
    }
    if (!bCollapse)
        return;
    m_kPoint3Value = fnValue(0);
    m_spPoint3Data = nullptr;
}

void NiPoint3Interpolator::GuaranteeTimeRange(float fStart, float fEnd)
{
    if (m_spPoint3Data)
        m_spPoint3Data->GuaranteeKeysAtStartAndEnd(fStart, fEnd);
}

NiInterpolator* NiPoint3Interpolator::GetSequenceInterpolator(float fBegin, float fEnd)
{
    auto* pkClone = static_cast<NiPoint3Interpolator*>(NiInterpolator::GetSequenceInterpolator(fBegin, fEnd));
    if (pkClone != nullptr && m_spPoint3Data)
    {
        pkClone->m_spPoint3Data = m_spPoint3Data->GetSequenceData(fBegin, fEnd);
        pkClone->m_uiLastIdx = 0;
    }
    return pkClone;
}

std::uint32_t NiPoint3Interpolator::GetKeyCount(std::uint16_t usChannel) const
{
    return (usChannel == 0 && m_spPoint3Data) ? m_spPoint3Data->GetNumKeys() : 0;
}

std::uint32_t NiPoint3Interpolator::GetKeyType(std::uint16_t usChannel) const
{
    return (usChannel == 0 && m_spPoint3Data) ? m_spPoint3Data->GetKeyType() : 0;
}

std::uint32_t NiPoint3Interpolator::GetKeyContent(std::uint16_t) const
{
    return NI_POSKEY;
}

NiAnimKey* NiPoint3Interpolator::GetKeyArray(std::uint16_t usChannel) const
{
    return (usChannel == 0 && m_spPoint3Data) ? m_spPoint3Data->GetKeys() : nullptr;
}

std::uint8_t NiPoint3Interpolator::GetKeyStride(std::uint16_t usChannel) const
{
    return (usChannel == 0 && m_spPoint3Data) ? m_spPoint3Data->GetKeyStride() : 0;
}

bool NiPoint3Interpolator::GetChannelPosed(std::uint16_t usChannel) const
{
    return usChannel == 0 && !m_spPoint3Data && IsValueValid(m_kPoint3Value);
}

void NiPoint3Interpolator::ReadFromStream(NiObjectStream& kStream)
{
    NiKeyBasedInterpolator::ReadFromStream(kStream);
    float af[3];
    if (kStream.ReadLE(af, 3))
        m_kPoint3Value = NiVec3(af[0], af[1], af[2]);
    NiObject* pkData = kStream.ReadObjectRef();
    m_spPoint3Data = NiDynamicCast<NiPosData>(pkData);
    if (pkData != nullptr && !m_spPoint3Data)
        kStream.SetCorrupt();
}

bool NiPoint3Interpolator::RegisterForSave(NiObjectStream& kStream)
{
    if (!NiKeyBasedInterpolator::RegisterForSave(kStream))
        return false;
    if (m_spPoint3Data)
        m_spPoint3Data->RegisterForSave(kStream);
    return true;
}

void NiPoint3Interpolator::WriteToStream(NiObjectStream& kStream)
{
    NiKeyBasedInterpolator::WriteToStream(kStream);
    const float af[3] = {m_kPoint3Value.x, m_kPoint3Value.y, m_kPoint3Value.z};
    kStream.WriteLE(af, 3);
    kStream.WriteLinkID(m_spPoint3Data);
}

bool NiPoint3Interpolator::IsEqual(NiObject* pkOther)
{
    if (!NiKeyBasedInterpolator::IsEqual(pkOther))
        return false;
    auto* pkInterp = static_cast<NiPoint3Interpolator*>(pkOther);
    if (m_kPoint3Value != pkInterp->m_kPoint3Value)
        return false;
    if (!m_spPoint3Data || !pkInterp->m_spPoint3Data)
        return !m_spPoint3Data && !pkInterp->m_spPoint3Data;
    return m_spPoint3Data->IsEqual(pkInterp->m_spPoint3Data);
}

void NiPoint3Interpolator::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiKeyBasedInterpolator::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiPoint3Interpolator::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerVec3("m_kPoint3Value", m_kPoint3Value));
    kStrings.AddTail(NiViewerPointer("m_spPoint3Data", m_spPoint3Data.Get()));
}
