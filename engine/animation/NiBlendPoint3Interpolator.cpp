#include "engine/animation/NiBlendPoint3Interpolator.h"

#include "engine/animation/NiAnimValueStream.h"
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
    return RunUpdate(
        fTime, [&] { return StoreSingleValue(fTime, pkTarget, kValue); },
        [&] { return BlendValues(fTime, pkTarget, kValue); });
}

bool NiBlendPoint3Interpolator::StoreSingleValue(float fTime, NiObjectNET* pkTarget, NiVec3& kValue)
{
    NiVec3 kItemValue;
    SingleAnswer eAnswer = AskSingle(fTime, pkTarget, &NiInterpolator::UpdatePoint3, kItemValue);
    if (eAnswer == SingleAnswer::NO_TIME)
        return false;
    bool bValid = eAnswer == SingleAnswer::VALID;
    m_kPoint3Value = bValid ? kItemValue : INVALID_POINT3;
    m_bValidValue = bValid ? 1 : 0;
    kValue = m_kPoint3Value;
    return bValid;
}

bool NiBlendPoint3Interpolator::BlendValues(float fTime, NiObjectNET* pkTarget, NiVec3& kValue)
{
    m_kPoint3Value = NiVec3::ZERO;
    bool bAny = WeightedMean(fTime, pkTarget, &NiInterpolator::UpdatePoint3, m_kPoint3Value);
    m_bValidValue = bAny ? 1 : 0;
    if (!bAny)
        m_kPoint3Value = INVALID_POINT3;
    kValue = m_kPoint3Value;
    return bAny;
}

void NiBlendPoint3Interpolator::ReadFromStream(NiObjectStream& kStream)
{
    NiBlendInterpolator::ReadFromStream(kStream);
    NiReadAnimValue(kStream, m_kPoint3Value);
    m_bValidValue = IsPoint3Valid(m_kPoint3Value) ? 1 : 0;
}

void NiBlendPoint3Interpolator::WriteToStream(NiObjectStream& kStream)
{
    NiBlendInterpolator::WriteToStream(kStream);
    NiWriteAnimValue(kStream, m_kPoint3Value);
}

bool NiBlendPoint3Interpolator::IsEqual(NiObject* pkOther)
{
    return NiBlendInterpolator::IsEqual(pkOther) &&
           m_kPoint3Value == static_cast<NiBlendPoint3Interpolator*>(pkOther)->m_kPoint3Value;
}

void NiBlendPoint3Interpolator::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiBlendInterpolator::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiBlendPoint3Interpolator::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerVec3("m_kPoint3Value", m_kPoint3Value));
}
