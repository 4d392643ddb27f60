#include "engine/animation/NiBlendFloatInterpolator.h"

#include "engine/animation/NiAnimValueStream.h"
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
    return RunUpdate(
        fTime, [&] { return StoreSingleValue(fTime, pkTarget, kValue); },
        [&] { return BlendValues(fTime, pkTarget, kValue); });
}

bool NiBlendFloatInterpolator::StoreSingleValue(float fTime, NiObjectNET* pkTarget, float& kValue)
{
    float kItemValue = 0.0f;
    SingleAnswer eAnswer = AskSingle(fTime, pkTarget, &NiInterpolator::UpdateFloat, kItemValue);
    if (eAnswer == SingleAnswer::NO_TIME)
        return false;
    m_fFloatValue = eAnswer == SingleAnswer::VALID ? kItemValue : NI_MIN_FLOAT;
    kValue = m_fFloatValue;
    return eAnswer == SingleAnswer::VALID;
}

bool NiBlendFloatInterpolator::BlendValues(float fTime, NiObjectNET* pkTarget, float& kValue)
{
    float fMean = 0.0f;
    bool bAny = WeightedMean(fTime, pkTarget, &NiInterpolator::UpdateFloat, fMean);
    m_fFloatValue = bAny ? fMean : NI_MIN_FLOAT;
    kValue = m_fFloatValue;
    return bAny;
}

void NiBlendFloatInterpolator::ReadFromStream(NiObjectStream& kStream)
{
    NiBlendInterpolator::ReadFromStream(kStream);
    NiReadAnimValue(kStream, m_fFloatValue);
}

void NiBlendFloatInterpolator::WriteToStream(NiObjectStream& kStream)
{
    NiBlendInterpolator::WriteToStream(kStream);
    NiWriteAnimValue(kStream, m_fFloatValue);
}

bool NiBlendFloatInterpolator::IsEqual(NiObject* pkOther)
{
    return NiBlendInterpolator::IsEqual(pkOther) &&
           m_fFloatValue == static_cast<NiBlendFloatInterpolator*>(pkOther)->m_fFloatValue;
}

void NiBlendFloatInterpolator::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiBlendInterpolator::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiBlendFloatInterpolator::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerFloat("m_fFloatValue", m_fFloatValue));
}
