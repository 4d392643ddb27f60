#include "engine/animation/NiBlendQuaternionInterpolator.h"

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

bool NiBlendQuaternionInterpolator::StoreSingleValue(float fTime, NiObjectNET* pkTarget, NiQuat& kValue)
{
    float fItemTime = GetSingleUpdateTime(fTime);
    if (fItemTime == NI_MIN_FLOAT || m_pkSingleInterpolator == nullptr)
    {
        m_kQuaternionValue = NiQuat::INVALID_QUATERNION;
        kValue = m_kQuaternionValue;
        return false;
    }
    NiQuat kItemValue;
    if (!m_pkSingleInterpolator->UpdateQuaternion(fItemTime, pkTarget, kItemValue))
    {
        m_kQuaternionValue = NiQuat::INVALID_QUATERNION;
        kValue = m_kQuaternionValue;
        return false;
    }
    m_kQuaternionValue = kItemValue;
    kValue = kItemValue;
    return true;
}

bool NiBlendQuaternionInterpolator::BlendValues(float fTime, NiObjectNET* pkTarget, NiQuat& kValue)
{
    m_kQuaternionValue = NiQuat(0.0f, 0.0f, 0.0f, 0.0f);
    float fSumWeights = 0.0f;
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
        NiQuat kItemValue;
        bool bFailed = fItemTime == NI_MIN_FLOAT || !kItem.m_spInterpolator->UpdateQuaternion(fItemTime, pkTarget, kItemValue);
        if (bFailed)
            continue;
        if (fSumWeights > 0.0f && NiQuat::Dot(kItemValue, m_kQuaternionValue) < 0.0f)
            kItemValue = -kItemValue;
        m_kQuaternionValue = m_kQuaternionValue * fSumWeights + kItemValue * w;
        m_kQuaternionValue.Normalize();
        fSumWeights += w;
        bAny = true;
    }
    if (!bAny)
        m_kQuaternionValue = NiQuat::INVALID_QUATERNION;
    kValue = m_kQuaternionValue;
    return bAny;
}

void NiBlendQuaternionInterpolator::ReadFromStream(NiObjectStream& kStream)
{
    NiBlendInterpolator::ReadFromStream(kStream);
    float af[4];
    if (kStream.ReadLE(af, 4))
        m_kQuaternionValue = NiQuat(af[0], af[1], af[2], af[3]);
}

void NiBlendQuaternionInterpolator::WriteToStream(NiObjectStream& kStream)
{
    NiBlendInterpolator::WriteToStream(kStream);
    const float af[4] = {m_kQuaternionValue.w, m_kQuaternionValue.x, m_kQuaternionValue.y, m_kQuaternionValue.z};
    kStream.WriteLE(af, 4);
}

bool NiBlendQuaternionInterpolator::IsEqual(NiObject* pkOther)
{
    if (!NiBlendInterpolator::IsEqual(pkOther))
        return false;
    return m_kQuaternionValue == static_cast<NiBlendQuaternionInterpolator*>(pkOther)->m_kQuaternionValue;
}

void NiBlendQuaternionInterpolator::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiBlendInterpolator::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiBlendQuaternionInterpolator::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerQuat("m_kQuaternionValue", m_kQuaternionValue));
}
