#include "engine/animation/NiPathInterpolator.h"

#include "engine/animation/NiQuatTransform.h"
#include "engine/core/NiCloneContext.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"

#include <algorithm>
#include <cfloat>

NiImplementTypeInfo(NiPathInterpolator, NiKeyBasedInterpolator)
NiImplementCreateClone(NiPathInterpolator)

NiPathInterpolator::NiPathInterpolator(NiPosData* pkPathData, NiFloatData* pkPercentData)
{
    m_kCurve.m_spPathData = pkPathData;
    m_kCurve.m_spPercentData = pkPercentData;
    m_kCurve.Prepare();
}

NiObject* NiPathInterpolator::CreateObject()
{
    return new NiPathInterpolator;
}

void NiPathInterpolator::CopyMembers(NiPathInterpolator* pkDest, NiCloneContext& kCloning)
{
    NiKeyBasedInterpolator::CopyMembers(pkDest, kCloning);
    pkDest->m_kCurve.CopyFrom(m_kCurve, kCloning);
}

bool NiPathInterpolator::UpdateTransform(float fTime, NiObjectNET*, NiQuatTransform& kValue)
{
    const bool bFollow = m_kCurve.GetBit(NiPathCurve::FOLLOW_MASK);
    if (fTime == m_fLastTime)
    {
        if (m_kPosition.x == NI_MIN_FLOAT)
        {
            kValue.MakeInvalid();
            return false;
        }
        kValue.m_kTranslate = m_kPosition;
        if (bFollow)
            kValue.m_kRotate = m_kRotation;
        return true;
    }
    NiVec3 kPosition;
    NiMatrix3x3 kRotate = NiMatrix3x3::IDENTITY;
    if (!m_kCurve.Evaluate(fTime, kPosition, kRotate))
        return false;
    ++m_uiEvaluations;
    if (bFollow)
    {
        m_kRotation.FromRotation(kRotate);
        kValue.m_kRotate = m_kRotation;
    }
    m_kPosition = kPosition;
    kValue.m_kTranslate = m_kPosition;
    m_fLastTime = fTime;
    return true;
}

void NiPathInterpolator::GetActiveTimeRange(float& fBegin, float& fEnd) const
{
    const NiFloatData* pkData = m_kCurve.m_spPercentData;
    if (pkData == nullptr || pkData->GetNumKeys() == 0 || pkData->GetKeys() == nullptr)
    {
        fBegin = 0.0f;
        fEnd = 0.0f;
        return;
    }
    const std::uint8_t ucStride = pkData->GetKeyStride();
    fBegin = std::min(FLT_MAX, NiAnimKey::At(pkData->GetKeys(), 0, ucStride)->m_fTime);
    fEnd = std::max(-FLT_MAX, NiAnimKey::At(pkData->GetKeys(), pkData->GetNumKeys() - 1, ucStride)->m_fTime);
}

void NiPathInterpolator::GuaranteeTimeRange(float fBegin, float fEnd)
{
    if (m_kCurve.m_spPercentData)
        m_kCurve.m_spPercentData->GuaranteeKeysAtStartAndEnd(fBegin, fEnd);
}

NiInterpolator* NiPathInterpolator::GetSequenceInterpolator(float fBegin, float fEnd)
{
    auto* pkCopy = static_cast<NiPathInterpolator*>(NiInterpolator::GetSequenceInterpolator(fBegin, fEnd));
    if (pkCopy != nullptr && m_kCurve.m_spPercentData)
    {
        pkCopy->m_kCurve.m_spPercentData = m_kCurve.m_spPercentData->GetSequenceData(fBegin, fEnd);
        pkCopy->m_kCurve.ResetPercentHint();
    }
    return pkCopy;
}

// ---- Key channels ----

const NiKeyData* NiPathInterpolator::GetChannelData(std::uint16_t usChannel) const
{
    if (usChannel == PATH)
        return m_kCurve.m_spPathData;
    if (usChannel == PERCENTAGE)
        return m_kCurve.m_spPercentData;
    return nullptr;
}

std::uint32_t NiPathInterpolator::GetKeyCount(std::uint16_t usChannel) const
{
    const NiKeyData* pk = GetChannelData(usChannel);
    return pk ? pk->GetNumKeys() : 0;
}

std::uint32_t NiPathInterpolator::GetKeyType(std::uint16_t usChannel) const
{
    const NiKeyData* pk = GetChannelData(usChannel);
    return pk ? pk->GetKeyType() : 0;
}

std::uint32_t NiPathInterpolator::GetKeyContent(std::uint16_t usChannel) const
{
    if (usChannel == PATH)
        return NI_POSKEY;
    if (usChannel == PERCENTAGE)
        return NI_FLOATKEY;
    return NI_NUMKEYCONTENTS;
}

NiAnimKey* NiPathInterpolator::GetKeyArray(std::uint16_t usChannel) const
{
    const NiKeyData* pk = GetChannelData(usChannel);
    return pk ? pk->GetKeys() : nullptr;
}

std::uint8_t NiPathInterpolator::GetKeyStride(std::uint16_t usChannel) const
{
    const NiKeyData* pk = GetChannelData(usChannel);
    return pk ? pk->GetKeyStride() : 0;
}

// ---- Records ----

void NiPathInterpolator::ReadFromStream(NiObjectStream& kStream)
{
    NiKeyBasedInterpolator::ReadFromStream(kStream);
    m_kCurve.Read(kStream, true, 0);
}

void NiPathInterpolator::ResolveLinks(NiObjectStream& kStream)
{
    NiKeyBasedInterpolator::ResolveLinks(kStream);
    m_kCurve.ResolveLinks(kStream);
}

void NiPathInterpolator::DropCountedLinks()
{
    NiKeyBasedInterpolator::DropCountedLinks();
    m_kCurve.DropCountedLinks();
}

bool NiPathInterpolator::RegisterForSave(NiObjectStream& kStream)
{
    if (!NiKeyBasedInterpolator::RegisterForSave(kStream))
        return false;
    m_kCurve.RegisterForSave(kStream);
    return true;
}

void NiPathInterpolator::WriteToStream(NiObjectStream& kStream)
{
    NiKeyBasedInterpolator::WriteToStream(kStream);
    m_kCurve.Write(kStream);
}

bool NiPathInterpolator::IsEqual(NiObject* pkOther)
{
    if (!NiKeyBasedInterpolator::IsEqual(pkOther))
        return false;
    return m_kCurve.IsEqual(static_cast<NiPathInterpolator*>(pkOther)->m_kCurve);
}

void NiPathInterpolator::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiKeyBasedInterpolator::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiPathInterpolator::TypeInfo()->GetName()));
}
