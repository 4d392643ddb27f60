#include "engine/animation/NiBlendQuaternionInterpolator.h"

#include "engine/animation/NiAnimValueStream.h"
#include "engine/core/NiCloneContext.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"

NiImplementTypeInfo(NiBlendQuaternionInterpolator, NiBlendInterpolator)
NiImplementCreateClone(NiBlendQuaternionInterpolator)

NiObject* NiBlendQuaternionInterpolator::CreateObject()
{
    return new NiBlendQuaternionInterpolator;
}

void NiBlendQuaternionInterpolator::CopyMembers(NiBlendQuaternionInterpolator* pkDest, NiCloneContext& kCloning)
{
    NiBlendInterpolator::CopyMembers(pkDest, kCloning);
    pkDest->m_kQuaternionValue = m_kQuaternionValue;
}

bool NiBlendQuaternionInterpolator::UpdateQuaternion(float fTime, NiObjectNET* pkTarget, NiQuat& kValue)
{
    return RunUpdate(
        fTime, [&] { return StoreSingleValue(fTime, pkTarget, kValue); },
        [&] { return BlendValues(fTime, pkTarget, kValue); });
}

bool NiBlendQuaternionInterpolator::StoreSingleValue(float fTime, NiObjectNET* pkTarget, NiQuat& kValue)
{
    NiQuat kItemValue;
    bool bValid = AskSingle(fTime, pkTarget, &NiInterpolator::UpdateQuaternion, kItemValue) == SingleAnswer::VALID;
    m_kQuaternionValue = bValid ? kItemValue : NiQuat::INVALID_QUATERNION;
    kValue = m_kQuaternionValue;
    return bValid;
}

// A running mean kept at unit length; each answer is first put in the
// hemisphere of the mean so far.
bool NiBlendQuaternionInterpolator::BlendValues(float fTime, NiObjectNET* pkTarget, NiQuat& kValue)
{
    m_kQuaternionValue = NiQuat(0.0f, 0.0f, 0.0f, 0.0f);
    float fSumWeights = 0.0f;
    bool bAny = false;
    AskItems(fTime, pkTarget, &NiInterpolator::UpdateQuaternion, [&](float w, bool bAnswered, NiQuat kItemValue) {
        if (!bAnswered)
            return;
        if (fSumWeights > 0.0f && NiQuat::Dot(kItemValue, m_kQuaternionValue) < 0.0f)
            kItemValue = -kItemValue;
        m_kQuaternionValue = m_kQuaternionValue * fSumWeights + kItemValue * w;
        m_kQuaternionValue.Normalize();
        fSumWeights += w;
        bAny = true;
    });
    if (!bAny)
        m_kQuaternionValue = NiQuat::INVALID_QUATERNION;
    kValue = m_kQuaternionValue;
    return bAny;
}

void NiBlendQuaternionInterpolator::ReadFromStream(NiObjectStream& kStream)
{
    NiBlendInterpolator::ReadFromStream(kStream);
    NiReadAnimValue(kStream, m_kQuaternionValue);
}

void NiBlendQuaternionInterpolator::WriteToStream(NiObjectStream& kStream)
{
    NiBlendInterpolator::WriteToStream(kStream);
    NiWriteAnimValue(kStream, m_kQuaternionValue);
}

bool NiBlendQuaternionInterpolator::IsEqual(NiObject* pkOther)
{
    return NiBlendInterpolator::IsEqual(pkOther) &&
           m_kQuaternionValue == static_cast<NiBlendQuaternionInterpolator*>(pkOther)->m_kQuaternionValue;
}

void NiBlendQuaternionInterpolator::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiBlendInterpolator::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiBlendQuaternionInterpolator::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerQuat("m_kQuaternionValue", m_kQuaternionValue));
}
