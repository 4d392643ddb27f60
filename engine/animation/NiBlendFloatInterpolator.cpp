#include "engine/animation/NiBlendFloatInterpolator.h"

#include "engine/core/NiCloneContext.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"

NiImplementTypeInfo(NiBlendFloatInterpolator, NiBlendInterpolator)
NiImplementCreateClone(NiBlendFloatInterpolator)

NiObject* NiBlendFloatInterpolator::CreateObject()
{
    return new NiBlendFloatInterpolator;
}

void NiBlendFloatInterpolator::CopyMembers(NiBlendFloatInterpolator* pkDest, NiCloneContext& kCloning)
{
    NiBlendInterpolator::CopyMembers(pkDest, kCloning);
    pkDest->m_fFloatValue = m_fFloatValue;
}

bool NiBlendFloatInterpolator::UpdateFloat(float fTime, NiObjectNET* pkTarget, float& kValue)
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

bool NiBlendFloatInterpolator::StoreSingleValue(float fTime, NiObjectNET* pkTarget, float& kValue)
{
    float fItemTime = GetSingleUpdateTime(fTime);
    if (fItemTime == NI_MIN_FLOAT || m_pkSingleInterpolator == nullptr)
    {
        return false;
    }
    float kItemValue = 0.0f;
    if (!m_pkSingleInterpolator->UpdateFloat(fItemTime, pkTarget, kItemValue))
    {
        m_fFloatValue = NI_MIN_FLOAT;
        kValue = NI_MIN_FLOAT;
        return false;
    }
    m_fFloatValue = kItemValue;
    kValue = kItemValue;
    return true;
}

bool NiBlendFloatInterpolator::BlendValues(float fTime, NiObjectNET* pkTarget, float& kValue)
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
        float kItemValue = 0.0f;
        bool bFailed = fItemTime == NI_MIN_FLOAT || !kItem.m_spInterpolator->UpdateFloat(fItemTime, pkTarget, kItemValue);
        if (bFailed)
        {
            fTotal -= w;
            continue;
        }
        fSum += kItemValue * w;
        bAny = true;
    }
    if (!bAny)
    {
        m_fFloatValue = NI_MIN_FLOAT;
        kValue = NI_MIN_FLOAT;
        return false;
    }
    m_fFloatValue = fSum * (1.0f / fTotal);
    kValue = m_fFloatValue;
    return true;
}

void NiBlendFloatInterpolator::ReadFromStream(NiObjectStream& kStream)
{
    NiBlendInterpolator::ReadFromStream(kStream);
    (void)kStream.ReadLE(m_fFloatValue);
}

void NiBlendFloatInterpolator::WriteToStream(NiObjectStream& kStream)
{
    NiBlendInterpolator::WriteToStream(kStream);
    kStream.WriteLE(m_fFloatValue);
}

bool NiBlendFloatInterpolator::IsEqual(NiObject* pkOther)
{
    if (!NiBlendInterpolator::IsEqual(pkOther))
        return false;
    return m_fFloatValue == static_cast<NiBlendFloatInterpolator*>(pkOther)->m_fFloatValue;
}

void NiBlendFloatInterpolator::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiBlendInterpolator::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiBlendFloatInterpolator::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerFloat("m_fFloatValue", m_fFloatValue));
}
