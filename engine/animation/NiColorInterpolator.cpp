#include "engine/animation/NiColorInterpolator.h"

#include "engine/animation/NiAnimValueStream.h"
#include "engine/core/NiCloneContext.h"
#include "engine/core/NiViewerStrings.h"

NiImplementTypeInfo(NiColorInterpolator, NiKeyBasedInterpolator)
NiImplementCreateClone(NiColorInterpolator)

NiObject* NiColorInterpolator::CreateObject()
{
    return new NiColorInterpolator;
}

void NiColorInterpolator::CopyMembers(NiColorInterpolator* pkDest, NiCloneContext& kCloning)
{
    NiSingleChannelInterpolator::CopyMembers(pkDest, kCloning);
    pkDest->m_kColorValue = m_kColorValue;
}

bool NiColorInterpolator::UpdateColor(float fTime, NiObjectNET*, NiColorRGBA& kValue)
{
    if (!RefreshPose(fTime))
        return false;
    kValue = m_kColorValue;
    return IsValueValid(m_kColorValue);
}

void NiColorInterpolator::SetPoseValue(const NiColorRGBA& kPose)
{
    m_spData = nullptr;
    m_kColorValue = kPose;
}

void NiColorInterpolator::EvaluatePose(float fTime)
{
    const NiKeyData& kData = *m_spData;
    if (kData.GetChannel().InterpolateAt(fTime, m_uiLastIdx, &m_kColorValue))
        return;
    m_kColorValue = NiColorKey::EvaluateAt(fTime, kData.GetKeys(), kData.GetKeyType(), kData.GetNumKeys(), m_uiLastIdx,
                                           kData.GetKeyStride());
}

void NiColorInterpolator::SetPoseFromKey(const NiAnimKey& kKey)
{
    m_kColorValue = static_cast<const NiColorKey&>(kKey).m_kColor;
}

bool NiColorInterpolator::KeyValuesEqual(const NiAnimKey& kKey0, const NiAnimKey& kKey1) const
{
    return static_cast<const NiColorKey&>(kKey0).m_kColor == static_cast<const NiColorKey&>(kKey1).m_kColor;
}

void NiColorInterpolator::ReadPose(NiObjectStream& kStream)
{
    NiReadAnimValue(kStream, m_kColorValue);
}

void NiColorInterpolator::WritePose(NiObjectStream& kStream) const
{
    NiWriteAnimValue(kStream, m_kColorValue);
}

bool NiColorInterpolator::IsEqual(NiObject* pkOther)
{
    return NiSingleChannelInterpolator::IsEqual(pkOther) &&
           m_kColorValue == static_cast<NiColorInterpolator*>(pkOther)->m_kColorValue;
}

void NiColorInterpolator::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    AppendChannelStrings(kStrings, TypeInfo(), NiViewerFormat("m_kColorValue = (%g,%g,%g,%g)", double(m_kColorValue.r),
                                                          double(m_kColorValue.g), double(m_kColorValue.b),
                                                          double(m_kColorValue.a)), "m_spColorData");
}
