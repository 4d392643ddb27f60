#include "engine/animation/NiPoint3Interpolator.h"

#include "engine/animation/NiAnimValueStream.h"
#include "engine/core/NiCloneContext.h"
#include "engine/core/NiViewerStrings.h"

NiImplementTypeInfo(NiPoint3Interpolator, NiKeyBasedInterpolator)
NiImplementCreateClone(NiPoint3Interpolator)

NiObject* NiPoint3Interpolator::CreateObject()
{
    return new NiPoint3Interpolator;
}

void NiPoint3Interpolator::CopyMembers(NiPoint3Interpolator* pkDest, NiCloneContext& kCloning)
{
    NiSingleChannelInterpolator::CopyMembers(pkDest, kCloning);
    pkDest->m_kPoint3Value = m_kPoint3Value;
}

bool NiPoint3Interpolator::UpdatePoint3(float fTime, NiObjectNET*, NiVec3& kValue)
{
    if (!RefreshPose(fTime))
        return false;
    kValue = m_kPoint3Value;
    return IsValueValid(m_kPoint3Value);
}

void NiPoint3Interpolator::SetPoseValue(const NiVec3& kPose)
{
    m_spData = nullptr;
    m_kPoint3Value = kPose;
}

void NiPoint3Interpolator::EvaluatePose(float fTime)
{
    const NiKeyData& kData = *m_spData;
    if (kData.GetChannel().InterpolateAt(fTime, m_uiLastIdx, &m_kPoint3Value))
        return;
    m_kPoint3Value = NiPosKey::EvaluateAt(fTime, kData.GetKeys(), kData.GetKeyType(), kData.GetNumKeys(), m_uiLastIdx,
                                          kData.GetKeyStride());
}

void NiPoint3Interpolator::SetPoseFromKey(const NiAnimKey& kKey)
{
    m_kPoint3Value = static_cast<const NiPosKey&>(kKey).m_kPos;
}

bool NiPoint3Interpolator::KeyValuesEqual(const NiAnimKey& kKey0, const NiAnimKey& kKey1) const
{
    return static_cast<const NiPosKey&>(kKey0).m_kPos == static_cast<const NiPosKey&>(kKey1).m_kPos;
}

void NiPoint3Interpolator::ReadPose(NiObjectStream& kStream)
{
    NiReadAnimValue(kStream, m_kPoint3Value);
}

void NiPoint3Interpolator::WritePose(NiObjectStream& kStream) const
{
    NiWriteAnimValue(kStream, m_kPoint3Value);
}

bool NiPoint3Interpolator::IsEqual(NiObject* pkOther)
{
    return NiSingleChannelInterpolator::IsEqual(pkOther) &&
           m_kPoint3Value == static_cast<NiPoint3Interpolator*>(pkOther)->m_kPoint3Value;
}

void NiPoint3Interpolator::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    AppendChannelStrings(kStrings, TypeInfo(), NiViewerVec3("m_kPoint3Value", m_kPoint3Value), "m_spPoint3Data");
}
