#include "engine/animation/NiBlendColorInterpolator.h"

#include "engine/animation/NiAnimValueStream.h"
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
    return RunUpdate(
        fTime, [&] { return StoreSingleValue(fTime, pkTarget, kValue); },
        [&] { return BlendValues(fTime, pkTarget, kValue); });
}

bool NiBlendColorInterpolator::StoreSingleValue(float fTime, NiObjectNET* pkTarget, NiColorRGBA& kValue)
{
    NiColorRGBA kItemValue;
    SingleAnswer eAnswer = AskSingle(fTime, pkTarget, &NiInterpolator::UpdateColor, kItemValue);
    if (eAnswer == SingleAnswer::NO_TIME)
        return false;
    bool bValid = eAnswer == SingleAnswer::VALID;
    m_kColorValue = bValid ? kItemValue : INVALID_COLOR;
    m_bValidValue = bValid ? 1 : 0;
    kValue = m_kColorValue;
    return bValid;
}

bool NiBlendColorInterpolator::BlendValues(float fTime, NiObjectNET* pkTarget, NiColorRGBA& kValue)
{
    m_kColorValue = NiColorRGBA(0.0f, 0.0f, 0.0f, 0.0f);
    bool bAny = WeightedMean(fTime, pkTarget, &NiInterpolator::UpdateColor, m_kColorValue);
    m_bValidValue = bAny ? 1 : 0;
    if (!bAny)
        m_kColorValue = INVALID_COLOR;
    kValue = m_kColorValue;
    return bAny;
}

void NiBlendColorInterpolator::ReadFromStream(NiObjectStream& kStream)
{
    NiBlendInterpolator::ReadFromStream(kStream);
    NiReadAnimValue(kStream, m_kColorValue);
    m_bValidValue = IsColorValid(m_kColorValue) ? 1 : 0;
}

void NiBlendColorInterpolator::WriteToStream(NiObjectStream& kStream)
{
    NiBlendInterpolator::WriteToStream(kStream);
    NiWriteAnimValue(kStream, m_kColorValue);
}

bool NiBlendColorInterpolator::IsEqual(NiObject* pkOther)
{
    return NiBlendInterpolator::IsEqual(pkOther) &&
           m_kColorValue == static_cast<NiBlendColorInterpolator*>(pkOther)->m_kColorValue;
}

void NiBlendColorInterpolator::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiBlendInterpolator::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiBlendColorInterpolator::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerFormat("m_kColorValue = (%g,%g,%g,%g)", double(m_kColorValue.r), double(m_kColorValue.g),
                                    double(m_kColorValue.b), double(m_kColorValue.a)));
}
