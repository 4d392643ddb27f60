#include "engine/animation/NiBlendBoolInterpolator.h"

#include "engine/core/NiCloneContext.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"

NiImplementTypeInfo(NiBlendBoolInterpolator, NiBlendInterpolator)
NiImplementCreateClone(NiBlendBoolInterpolator)

NiObject* NiBlendBoolInterpolator::CreateObject()
{
    return new NiBlendBoolInterpolator;
}

void NiBlendBoolInterpolator::CopyMembers(NiBlendBoolInterpolator* pkDest, NiCloneContext& kCloning)
{
    NiBlendInterpolator::CopyMembers(pkDest, kCloning);
    pkDest->m_bBoolValue = m_bBoolValue;
}

bool NiBlendBoolInterpolator::UpdateBool(float fTime, NiObjectNET* pkTarget, std::uint8_t& kValue)
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

bool NiBlendBoolInterpolator::StoreSingleValue(float fTime, NiObjectNET* pkTarget, std::uint8_t& kValue)
{
    float fItemTime = GetSingleUpdateTime(fTime);
    if (fItemTime == NI_MIN_FLOAT || m_pkSingleInterpolator == nullptr)
    {
        return false;
    }
    std::uint8_t kItemValue = 0;
    if (!m_pkSingleInterpolator->UpdateBool(fItemTime, pkTarget, kItemValue))
    {
        kValue = 0;
        m_bBoolValue = INVALID_BOOL;
        return false;
    }
    kValue = kItemValue;
    m_bBoolValue = kItemValue;
    return true;
}

bool NiBlendBoolInterpolator::BlendValues(float fTime, NiObjectNET* pkTarget, std::uint8_t& kValue)
{
    float fSum = 0.0f;
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
        std::uint8_t kItemValue = 0;
        bool bFailed = fItemTime == NI_MIN_FLOAT || !kItem.m_spInterpolator->UpdateBool(fItemTime, pkTarget, kItemValue);
        if (bFailed)
        {
            fTotal -= w;
            continue;
        }
        fSum += (kItemValue ? 1.0f : 0.0f) * w;
        bAny = true;
    }
    if (!bAny)
    {
        kValue = 0;
        m_bBoolValue = INVALID_BOOL;
        return false;
    }
    m_bBoolValue = fSum / fTotal >= 0.5f ? 1 : 0;
    kValue = m_bBoolValue;
    return true;
}

void NiBlendBoolInterpolator::ReadFromStream(NiObjectStream& kStream)
{
    NiBlendInterpolator::ReadFromStream(kStream);
    (void)kStream.ReadLE(m_bBoolValue);
}

void NiBlendBoolInterpolator::WriteToStream(NiObjectStream& kStream)
{
    NiBlendInterpolator::WriteToStream(kStream);
    kStream.WriteLE(m_bBoolValue);
}

bool NiBlendBoolInterpolator::IsEqual(NiObject* pkOther)
{
    if (!NiBlendInterpolator::IsEqual(pkOther))
        return false;
    return m_bBoolValue == static_cast<NiBlendBoolInterpolator*>(pkOther)->m_bBoolValue;
}

void NiBlendBoolInterpolator::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiBlendInterpolator::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiBlendBoolInterpolator::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerUChar("m_bBoolValue", m_bBoolValue));
}
