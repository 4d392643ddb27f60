#include "engine/animation/NiBlendBoolInterpolator.h"

#include "engine/animation/NiAnimValueStream.h"
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
    return RunUpdate(
        fTime, [&] { return StoreSingleValue(fTime, pkTarget, kValue); },
        [&] { return BlendValues(fTime, pkTarget, kValue); });
}

bool NiBlendBoolInterpolator::StoreSingleValue(float fTime, NiObjectNET* pkTarget, std::uint8_t& kValue)
{
    std::uint8_t kItemValue = 0;
    SingleAnswer eAnswer = AskSingle(fTime, pkTarget, &NiInterpolator::UpdateBool, kItemValue);
    if (eAnswer == SingleAnswer::NO_TIME)
        return false;
    bool bValid = eAnswer == SingleAnswer::VALID;
    kValue = bValid ? kItemValue : std::uint8_t(0);
    m_bBoolValue = bValid ? kItemValue : INVALID_BOOL;
    return bValid;
}

// A weighted vote: true when the answering items holding true have at least
// half of the weight that answered.
bool NiBlendBoolInterpolator::BlendValues(float fTime, NiObjectNET* pkTarget, std::uint8_t& kValue)
{
    float fSum = 0.0f;
    float fTotal = 1.0f;
    bool bAny = false;
    AskItems(fTime, pkTarget, &NiInterpolator::UpdateBool, [&](float w, bool bAnswered, std::uint8_t kItemValue) {
        if (!bAnswered)
        {
            fTotal -= w;
            return;
        }
        fSum += (kItemValue ? 1.0f : 0.0f) * w;
        bAny = true;
    });
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
    NiReadAnimValue(kStream, m_bBoolValue);
}

void NiBlendBoolInterpolator::WriteToStream(NiObjectStream& kStream)
{
    NiBlendInterpolator::WriteToStream(kStream);
    NiWriteAnimValue(kStream, m_bBoolValue);
}

bool NiBlendBoolInterpolator::IsEqual(NiObject* pkOther)
{
    return NiBlendInterpolator::IsEqual(pkOther) &&
           m_bBoolValue == static_cast<NiBlendBoolInterpolator*>(pkOther)->m_bBoolValue;
}

void NiBlendBoolInterpolator::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiBlendInterpolator::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiBlendBoolInterpolator::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerUChar("m_bBoolValue", m_bBoolValue));
}
