#include "engine/animation/NiBoolInterpolator.h"

#include "engine/animation/NiAnimValueStream.h"
#include "engine/core/NiCloneContext.h"
#include "engine/core/NiViewerStrings.h"

NiImplementTypeInfo(NiBoolInterpolator, NiKeyBasedInterpolator)
NiImplementCreateClone(NiBoolInterpolator)

NiObject* NiBoolInterpolator::CreateObject()
{
    return new NiBoolInterpolator;
}

void NiBoolInterpolator::CopyMembers(NiBoolInterpolator* pkDest, NiCloneContext& kCloning)
{
    NiSingleChannelInterpolator::CopyMembers(pkDest, kCloning);
    pkDest->m_bBoolValue = m_bBoolValue;
}

bool NiBoolInterpolator::UpdateBool(float fTime, NiObjectNET*, std::uint8_t& kValue)
{
    if (!RefreshPose(fTime))
        return false;
    kValue = IsValueValid(m_bBoolValue) ? m_bBoolValue : std::uint8_t(0);
    return IsValueValid(m_bBoolValue);
}

void NiBoolInterpolator::SetPoseValue(std::uint8_t kPose)
{
    m_spData = nullptr;
    m_bBoolValue = kPose;
}

void NiBoolInterpolator::EvaluatePose(float fTime)
{
    const NiKeyData& kData = *m_spData;
    m_bBoolValue = NiBoolKey::EvaluateAt(fTime, kData.GetKeys(), kData.GetKeyType(), kData.GetNumKeys(), m_uiLastIdx,
                                         kData.GetKeyStride()) ? 1 : 0;
}

void NiBoolInterpolator::SetPoseFromKey(const NiAnimKey& kKey)
{
    m_bBoolValue = std::uint8_t(static_cast<const NiBoolKey&>(kKey).m_bValue != 0 ? 1 : 0);
}

bool NiBoolInterpolator::KeyValuesEqual(const NiAnimKey& kKey0, const NiAnimKey& kKey1) const
{
    return (static_cast<const NiBoolKey&>(kKey0).m_bValue != 0) == (static_cast<const NiBoolKey&>(kKey1).m_bValue != 0);
}

void NiBoolInterpolator::ReadPose(NiObjectStream& kStream)
{
    NiReadAnimValue(kStream, m_bBoolValue);
}

void NiBoolInterpolator::WritePose(NiObjectStream& kStream) const
{
    NiWriteAnimValue(kStream, m_bBoolValue);
}

bool NiBoolInterpolator::IsEqual(NiObject* pkOther)
{
    return NiSingleChannelInterpolator::IsEqual(pkOther) &&
           m_bBoolValue == static_cast<NiBoolInterpolator*>(pkOther)->m_bBoolValue;
}

void NiBoolInterpolator::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    AppendChannelStrings(kStrings, TypeInfo(), NiViewerUChar("m_bBoolValue", m_bBoolValue), "m_spBoolData");
}
