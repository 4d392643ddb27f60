#include "engine/animation/NiColorInterpolator.h"

#include "engine/core/NiCloneContext.h"
#include "engine/core/NiEndian.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"

NiImplementTypeInfo(NiColorInterpolator, NiKeyBasedInterpolator)
NiImplementCreateClone(NiColorInterpolator)

NiObject* NiColorInterpolator::CreateObject()
{
    return new NiColorInterpolator;
}

void NiColorInterpolator::CopyMembers(NiColorInterpolator* pkDest, NiCloneContext& kCloning)
{
    NiKeyBasedInterpolator::CopyMembers(pkDest, kCloning);
    pkDest->m_kColorValue = m_kColorValue;
    pkDest->m_spColorData = m_spColorData;
    pkDest->m_uiLastIdx = m_uiLastIdx;
}

bool NiColorInterpolator::UpdateColor(float fTime, NiObjectNET*, NiColorRGBA& kValue)
{
    if (fTime == m_fLastTime)
    {
        kValue = m_kColorValue;
        return IsValueValid(m_kColorValue);
    }
    if (m_spColorData && m_spColorData->GetNumKeys() > 0)
    {
        m_kColorValue = NiColorKey::EvaluateAt(fTime, m_spColorData->GetKeys(), m_spColorData->GetKeyType(), m_spColorData->GetNumKeys(), m_uiLastIdx,
                                m_spColorData->GetKeyStride());
    }
    if (!IsValueValid(m_kColorValue))
        return false;
    kValue = m_kColorValue;
    m_fLastTime = fTime;
    return true;
}

void NiColorInterpolator::SetPoseValue(const NiColorRGBA& kPose)
{
    m_spColorData = nullptr;
    m_kColorValue = kPose;
}

void NiColorInterpolator::Collapse()
{
    if (!m_spColorData)
        return;
    std::uint32_t uiCount = m_spColorData->GetNumKeys();
    NiAnimKey* pkKeys = m_spColorData->GetKeys();
    std::uint32_t uiType = m_spColorData->GetKeyType();
    std::uint8_t ucStride = m_spColorData->GetKeyStride();
    if (uiCount == 0 || pkKeys == nullptr)
    {
        m_spColorData = nullptr;
        m_kColorValue = INVALID_COLOR;
        return;
    }
    auto fnValue = [&](std::uint32_t i) { return static_cast<const NiColorKey*>(NiAnimKey::At(pkKeys, i, ucStride))->m_kColor; };
    bool bCollapse = uiCount == 1;
    if (!bCollapse && (uiType == NI_LINKEY || uiType == NI_STEPKEY))
    {
        bCollapse = true;
        for (std::uint32_t i = 1; i < uiCount && bCollapse; ++i)
            bCollapse = fnValue(i) == fnValue(0);
    }
    if (!bCollapse)
        return;
    m_kColorValue = fnValue(0);
    m_spColorData = nullptr;
}

void NiColorInterpolator::GuaranteeTimeRange(float fStart, float fEnd)
{
    if (m_spColorData)
        m_spColorData->GuaranteeKeysAtStartAndEnd(fStart, fEnd);
}

NiInterpolator* NiColorInterpolator::GetSequenceInterpolator(float fBegin, float fEnd)
{
    auto* pkClone = static_cast<NiColorInterpolator*>(NiInterpolator::GetSequenceInterpolator(fBegin, fEnd));
    if (pkClone != nullptr && m_spColorData)
    {
        pkClone->m_spColorData = m_spColorData->GetSequenceData(fBegin, fEnd);
        pkClone->m_uiLastIdx = 0;
    }
    return pkClone;
}

std::uint32_t NiColorInterpolator::GetKeyCount(std::uint16_t usChannel) const
{
    return (usChannel == 0 && m_spColorData) ? m_spColorData->GetNumKeys() : 0;
}

std::uint32_t NiColorInterpolator::GetKeyType(std::uint16_t usChannel) const
{
    return (usChannel == 0 && m_spColorData) ? m_spColorData->GetKeyType() : 0;
}

std::uint32_t NiColorInterpolator::GetKeyContent(std::uint16_t) const
{
    return NI_COLORKEY;
}

NiAnimKey* NiColorInterpolator::GetKeyArray(std::uint16_t usChannel) const
{
    return (usChannel == 0 && m_spColorData) ? m_spColorData->GetKeys() : nullptr;
}

std::uint8_t NiColorInterpolator::GetKeyStride(std::uint16_t usChannel) const
{
    return (usChannel == 0 && m_spColorData) ? m_spColorData->GetKeyStride() : 0;
}

bool NiColorInterpolator::GetChannelPosed(std::uint16_t usChannel) const
{
    return usChannel == 0 && !m_spColorData && IsValueValid(m_kColorValue);
}

void NiColorInterpolator::ReadFromStream(NiObjectStream& kStream)
{
    NiKeyBasedInterpolator::ReadFromStream(kStream);
    float af[4];
    if (kStream.ReadLE(af, 4))
        m_kColorValue = NiColorRGBA(af[0], af[1], af[2], af[3]);
    NiObject* pkData = kStream.ReadObjectRef();
    m_spColorData = NiDynamicCast<NiColorData>(pkData);
    if (pkData != nullptr && !m_spColorData)
        kStream.SetCorrupt();
}

bool NiColorInterpolator::RegisterForSave(NiObjectStream& kStream)
{
    if (!NiKeyBasedInterpolator::RegisterForSave(kStream))
        return false;
    if (m_spColorData)
        m_spColorData->RegisterForSave(kStream);
    return true;
}

void NiColorInterpolator::WriteToStream(NiObjectStream& kStream)
{
    NiKeyBasedInterpolator::WriteToStream(kStream);
    const float af[4] = {m_kColorValue.r, m_kColorValue.g, m_kColorValue.b, m_kColorValue.a};
    kStream.WriteLE(af, 4);
    kStream.WriteLinkID(m_spColorData);
}

bool NiColorInterpolator::IsEqual(NiObject* pkOther)
{
    if (!NiKeyBasedInterpolator::IsEqual(pkOther))
        return false;
    auto* pkInterp = static_cast<NiColorInterpolator*>(pkOther);
    if (m_kColorValue != pkInterp->m_kColorValue)
        return false;
    if (!m_spColorData || !pkInterp->m_spColorData)
        return !m_spColorData && !pkInterp->m_spColorData;
    return m_spColorData->IsEqual(pkInterp->m_spColorData);
}

void NiColorInterpolator::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiKeyBasedInterpolator::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiColorInterpolator::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerFormat("m_kColorValue = (%g,%g,%g,%g)", double(m_kColorValue.r), double(m_kColorValue.g), double(m_kColorValue.b), double(m_kColorValue.a)));
    kStrings.AddTail(NiViewerPointer("m_spColorData", m_spColorData.Get()));
}
