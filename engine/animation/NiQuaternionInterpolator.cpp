#include "engine/animation/NiQuaternionInterpolator.h"

#include "engine/animation/NiAnimValueStream.h"
#include "engine/core/NiCloneContext.h"
#include "engine/core/NiViewerStrings.h"

NiImplementTypeInfo(NiQuaternionInterpolator, NiKeyBasedInterpolator)
NiImplementCreateClone(NiQuaternionInterpolator)

NiObject* NiQuaternionInterpolator::CreateObject()
{
    return new NiQuaternionInterpolator;
}

void NiQuaternionInterpolator::CopyMembers(NiQuaternionInterpolator* pkDest, NiCloneContext& kCloning)
{
    NiSingleChannelInterpolator::CopyMembers(pkDest, kCloning);
    pkDest->m_kQuaternionValue = m_kQuaternionValue;
}

bool NiQuaternionInterpolator::UpdateQuaternion(float fTime, NiObjectNET*, NiQuat& kValue)
{
    if (!RefreshPose(fTime))
        return false;
    kValue = m_kQuaternionValue;
    return IsValueValid(m_kQuaternionValue);
}

void NiQuaternionInterpolator::SetPoseValue(const NiQuat& kPose)
{
    m_spData = nullptr;
    m_kQuaternionValue = kPose;
}

void NiQuaternionInterpolator::EvaluatePose(float fTime)
{
    const NiKeyData& kData = *m_spData;
    if (kData.GetChannel().InterpolateAt(fTime, m_uiLastIdx, &m_kQuaternionValue))
        return;
    m_kQuaternionValue = NiRotKey::EvaluateAt(fTime, kData.GetKeys(), kData.GetKeyType(), kData.GetNumKeys(),
                                              m_uiLastIdx, kData.GetKeyStride());
}

void NiQuaternionInterpolator::SetPoseFromKey(const NiAnimKey& kKey)
{
    m_kQuaternionValue = static_cast<const NiRotKey&>(kKey).m_kQuat;
}

bool NiQuaternionInterpolator::KeyValuesEqual(const NiAnimKey& kKey0, const NiAnimKey& kKey1) const
{
    return static_cast<const NiRotKey&>(kKey0).m_kQuat == static_cast<const NiRotKey&>(kKey1).m_kQuat;
}

void NiQuaternionInterpolator::ReadPose(NiObjectStream& kStream)
{
    NiReadAnimValue(kStream, m_kQuaternionValue);
}

void NiQuaternionInterpolator::WritePose(NiObjectStream& kStream) const
{
    NiWriteAnimValue(kStream, m_kQuaternionValue);
}

bool NiQuaternionInterpolator::IsEqual(NiObject* pkOther)
{
    return NiSingleChannelInterpolator::IsEqual(pkOther) &&
           m_kQuaternionValue == static_cast<NiQuaternionInterpolator*>(pkOther)->m_kQuaternionValue;
}

void NiQuaternionInterpolator::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    AppendChannelStrings(kStrings, TypeInfo(), NiViewerQuat("m_kQuaternionValue", m_kQuaternionValue),
                         "m_spQuaternionData");
}
