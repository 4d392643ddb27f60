#include "engine/animation/NiBlendPoint3Interpolator.h"

#include "engine/core/NiCloneContext.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"

NiImplementTypeInfo(NiBlendPoint3Interpolator, NiBlendInterpolator)
NiImplementCreateClone(NiBlendPoint3Interpolator)

NiObject* NiBlendPoint3Interpolator::CreateObject()
{
    return new NiBlendPoint3Interpolator;
}

void NiBlendPoint3Interpolator::CopyMembers(NiBlendPoint3Interpolator* pkDest, NiCloneContext& kCloning)
{
    NiBlendInterpolator::CopyMembers(pkDest, kCloning);
    pkDest->m_kPoint3Value = m_kPoint3Value;
    pkDest->m_bValidValue = m_bValidValue;
}

bool NiBlendPoint3Interpolator::UpdatePoint3(float fTime, NiObjectNET* pkTarget, NiVec3& kValue)
{
    bool bResult = false;
    if (m_ucInterpCount == 1)
    {
        bResult = StoreSingleValue(fTime, pkTarget, kValue);
    }
    else if (m_ucInterpCount > 1)
    {
        ComputeNormalizedWeights();
        bResult = BlendValues(fTime, pkTarget, kValue);
    }
    m_fLastTime = fTime;
    return bResult;
}

bool NiBlendPoint3Interpolator::StoreSingleValue(float fTime, NiObjectNET* pkTarget, NiVec3& kValue)
{
    float fItemTime = GetSingleUpdateTime(fTime);
    if (fItemTime == NI_MIN_FLOAT || m_pkSingleInterpolator == nullptr)
    {
        return false;
    }
    NiVec3 kItemValue;
    if (!m_pkSingleInterpolator->UpdatePoint3(fItemTime, pkTarget, kItemValue))
    {
        m_kPoint3Value = INVALID_POINT3;
        m_bValidValue = 0;
        kValue = INVALID_POINT3;
        return false;
    }
    m_kPoint3Value = kItemValue;
    m_bValidValue = 1;
    kValue = kItemValue;
    return true;
}

bool NiBlendPoint3Interpolator::BlendValues(float fTime, NiObjectNET* pkTarget, NiVec3& kValue)
{
    m_kPoint3Value = NiVec3::ZERO;
    float fTotal = 1.0f;
    bool bAny = false;
    for (std::uint8_t i = 0; i < m_ucArraySize; ++i)
    {
        const NiBlendInterpItem& kItem = m_pkInterpArray[i];
        if (!kItem.m_spInterpolator)
            continue;
        float w = kItem.m_fNormalizedWeight;
        if (!(w > 0.0f))
            continue;
        float fItemTime = GetItemTime(fTime, kItem);
        NiVec3 kItemValue;
        bool bFailed = fItemTime == NI_MIN_FLOAT || !kItem.m_spInterpolator->UpdatePoint3(fItemTime, pkTarget, kItemValue);
        if (bFailed)
        {
            fTotal -= w;
            continue;
        }
        m_kPoint3Value += kItemValue * w;
        bAny = true;
    }
    m_bValidValue = bAny ? 1 : 0;
    if (!bAny)
    {
        m_kPoint3Value = INVALID_POINT3;
        kValue = INVALID_POINT3;
        return false;
    }
    m_kPoint3Value *= 1.0f / fTotal;
    kValue = m_kPoint3Value;
    return true;
}

void NiBlendPoint3Interpolator::ReadFromStream(NiObjectStream& kStream)
{
    NiBlendInterpolator::ReadFromStream(kStream);
    float af[3];
    if (kStream.ReadLE(af, 3))
        m_kPoint3Value = NiVec3(af[0], af[1], af[2]);
    m_bValidValue = IsPoint3Valid(m_kPoint3Value) ? 1 : 0;
}

void NiBlendPoint3Interpolator::WriteToStream(NiObjectStream& kStream)
{
    NiBlendInterpolator::WriteToStream(kStream);
    const float af[3] = {m_kPoint3Value.x, m_kPoint3Value.y, m_kPoint3Value.z};
    kStream.WriteLE(af, 3);
}

bool NiBlendPoint3Interpolator::IsEqual(NiObject* pkOther)
{
    if (!NiBlendInterpolator::IsEqual(pkOther))
        return false;
    return m_kPoint3Value == static_cast<NiBlendPoint3Interpolator*>(pkOther)->m_kPoint3Value;
}

void NiBlendPoint3Interpolator::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiBlendInterpolator::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiBlendPoint3Interpolator::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerVec3("m_kPoint3Value", m_kPoint3Value));
}
