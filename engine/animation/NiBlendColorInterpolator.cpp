#include "engine/animation/NiBlendColorInterpolator.h"

#include "engine/core/NiCloneContext.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"

NiImplementTypeInfo(NiBlendColorInterpolator, NiBlendInterpolator)
NiImplementCreateClone(NiBlendColorInterpolator)

NiObject* NiBlendColorInterpolator::CreateObject()
{
    return new NiBlendColorInterpolator;
}

void NiBlendColorInterpolator::CopyMembers(NiBlendColorInterpolator* pkDest, NiCloneContext& kCloning)
{
    NiBlendInterpolator::CopyMembers(pkDest, kCloning);
    pkDest->m_kColorValue = m_kColorValue;
    pkDest->m_bValidValue = m_bValidValue;
}

bool NiBlendColorInterpolator::UpdateColor(float fTime, NiObjectNET* pkTarget, NiColorRGBA& kValue)
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

bool NiBlendColorInterpolator::StoreSingleValue(float fTime, NiObjectNET* pkTarget, NiColorRGBA& kValue)
{
    float fItemTime = GetSingleUpdateTime(fTime);
    if (fItemTime == NI_MIN_FLOAT || m_pkSingleInterpolator == nullptr)
    {
        return false;
    }
    NiColorRGBA kItemValue;
    if (!m_pkSingleInterpolator->UpdateColor(fItemTime, pkTarget, kItemValue))
    {
        m_kColorValue = INVALID_COLOR;
        m_bValidValue = 0;
        kValue = INVALID_COLOR;
        return false;
    }
    m_kColorValue = kItemValue;
    m_bValidValue = 1;
    kValue = kItemValue;
    return true;
}

bool NiBlendColorInterpolator::BlendValues(float fTime, NiObjectNET* pkTarget, NiColorRGBA& kValue)
{
    m_kColorValue = NiColorRGBA(0.0f, 0.0f, 0.0f, 0.0f);
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
        NiColorRGBA kItemValue;
        bool bFailed = fItemTime == NI_MIN_FLOAT || !kItem.m_spInterpolator->UpdateColor(fItemTime, pkTarget, kItemValue);
        if (bFailed)
        {
            fTotal -= w;
            continue;
        }
        m_kColorValue = m_kColorValue + kItemValue * w;
        bAny = true;
    }
    m_bValidValue = bAny ? 1 : 0;
    if (!bAny)
    {
        m_kColorValue = INVALID_COLOR;
        kValue = INVALID_COLOR;
        return false;
    }
    m_kColorValue = m_kColorValue * (1.0f / fTotal);
    kValue = m_kColorValue;
    return true;
}

void NiBlendColorInterpolator::ReadFromStream(NiObjectStream& kStream)
{
    NiBlendInterpolator::ReadFromStream(kStream);
    float af[4];
    if (kStream.ReadLE(af, 4))
        m_kColorValue = NiColorRGBA(af[0], af[1], af[2], af[3]);
    m_bValidValue = IsColorValid(m_kColorValue) ? 1 : 0;
}

void NiBlendColorInterpolator::WriteToStream(NiObjectStream& kStream)
{
    NiBlendInterpolator::WriteToStream(kStream);
    const float af[4] = {m_kColorValue.r, m_kColorValue.g, m_kColorValue.b, m_kColorValue.a};
    kStream.WriteLE(af, 4);
}

bool NiBlendColorInterpolator::IsEqual(NiObject* pkOther)
{
    if (!NiBlendInterpolator::IsEqual(pkOther))
        return false;
    return m_kColorValue == static_cast<NiBlendColorInterpolator*>(pkOther)->m_kColorValue;
}

void NiBlendColorInterpolator::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiBlendInterpolator::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiBlendColorInterpolator::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerFormat("m_kColorValue = (%g,%g,%g,%g)", double(m_kColorValue.r), double(m_kColorValue.g),
                                    double(m_kColorValue.b), double(m_kColorValue.a)));
}
