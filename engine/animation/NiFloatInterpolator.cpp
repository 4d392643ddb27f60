#include "engine/animation/NiFloatInterpolator.h"

#include "engine/animation/NiAnimValueStream.h"
#include "engine/core/NiCloneContext.h"
#include "engine/core/NiViewerStrings.h"

NiImplementTypeInfo(NiFloatInterpolator, NiKeyBasedInterpolator)
NiImplementCreateClone(NiFloatInterpolator)

NiObject* NiFloatInterpolator::CreateObject()
{
    return new NiFloatInterpolator;
}

void NiFloatInterpolator::CopyMembers(NiFloatInterpolator* pkDest, NiCloneContext& kCloning)
{
    NiSingleChannelInterpolator::CopyMembers(pkDest, kCloning);
    pkDest->m_fFloatValue = m_fFloatValue;
}

bool NiFloatInterpolator::UpdateFloat(float fTime, NiObjectNET*, float& kValue)
{
    if (!RefreshPose(fTime))
        return false;
    kValue = m_fFloatValue;
    return IsValueValid(m_fFloatValue);
}

void NiFloatInterpolator::SetPoseValue(float kPose)
{
    m_spData = nullptr;
    m_fFloatValue = kPose;
}

void NiFloatInterpolator::EvaluatePose(float fTime)
{
    const NiKeyData& kData = *m_spData;
    if (kData.GetChannel().InterpolateAt(fTime, m_uiLastIdx, &m_fFloatValue))
        return;
    m_fFloatValue = NiFloatKey::EvaluateAt(fTime, kData.GetKeys(), kData.GetKeyType(), kData.GetNumKeys(), m_uiLastIdx,
                                           kData.GetKeyStride());
}

void NiFloatInterpolator::SetPoseFromKey(const NiAnimKey& kKey)
{
    m_fFloatValue = static_cast<const NiFloatKey&>(kKey).m_fValue;
}

bool NiFloatInterpolator::KeyValuesEqual(const NiAnimKey& kKey0, const NiAnimKey& kKey1) const
{
    return static_cast<const NiFloatKey&>(kKey0).m_fValue == static_cast<const NiFloatKey&>(kKey1).m_fValue;
}

void NiFloatInterpolator::ReadPose(NiObjectStream& kStream)
{
    NiReadAnimValue(kStream, m_fFloatValue);
}

void NiFloatInterpolator::WritePose(NiObjectStream& kStream) const
{
    NiWriteAnimValue(kStream, m_fFloatValue);
}

bool NiFloatInterpolator::IsEqual(NiObject* pkOther)
{
    return NiSingleChannelInterpolator::IsEqual(pkOther) &&
           m_fFloatValue == static_cast<NiFloatInterpolator*>(pkOther)->m_fFloatValue;
}

void NiFloatInterpolator::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    AppendChannelStrings(kStrings, TypeInfo(), NiViewerFloat("m_fFloatValue", m_fFloatValue), "m_spFloatData");
}
