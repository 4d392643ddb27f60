#include "engine/animation/NiBlendTransformInterpolator.h"

#include "engine/core/NiCloneContext.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"

NiImplementTypeInfo(NiBlendTransformInterpolator, NiBlendInterpolator)
NiImplementCreateClone(NiBlendTransformInterpolator)

NiObject* NiBlendTransformInterpolator::CreateObject()
{
    return new NiBlendTransformInterpolator;
}

void NiBlendTransformInterpolator::CopyMembers(NiBlendTransformInterpolator* pkDest, NiCloneContext& kCloning)
{
    NiBlendInterpolator::CopyMembers(pkDest, kCloning);
}

bool NiBlendTransformInterpolator::UpdateTransform(float fTime, NiObjectNET* pkTarget, NiQuatTransform& kValue)
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

bool NiBlendTransformInterpolator::StoreSingleValue(float fTime, NiObjectNET* pkTarget, NiQuatTransform& kValue)
{
    float fItemTime = GetSingleUpdateTime(fTime);
    if (fItemTime == NI_MIN_FLOAT || m_pkSingleInterpolator == nullptr)
    {
        kValue.MakeInvalid();
        return false;
    }
    NiQuatTransform kItemValue;
    if (!m_pkSingleInterpolator->UpdateTransform(fItemTime, pkTarget, kItemValue))
    {
        kValue.MakeInvalid();
        return false;
    }
    kValue = kItemValue;
    return true;
}

bool NiBlendTransformInterpolator::BlendValues(float fTime, NiObjectNET* pkTarget, NiQuatTransform& kValue)
{
    NiVec3 kTranslateSum = NiVec3::ZERO;
    NiQuat kRotateSum(0.0f, 0.0f, 0.0f, 0.0f);
    float fScaleSum = 0.0f;
    float fTranslateTotal = 1.0f;
    float fScaleTotal = 1.0f;
    bool bTranslate = false, bRotate = false, bScale = false, bFirstRotation = true;
    for (std::uint8_t i = 0; i < m_ucArraySize; ++i)
    {
        const NiBlendInterpItem& kItem = m_pkInterpArray[i];
        if (!kItem.m_spInterpolator)
            continue;
        float w = kItem.m_fNormalizedWeight;
        if (!(w > 0.0f))
            continue;
        float fItemTime = GetItemTime(fTime, kItem);
        NiQuatTransform kItemValue;
        bool bFailed = fItemTime == NI_MIN_FLOAT || !kItem.m_spInterpolator->UpdateTransform(fItemTime, pkTarget, kItemValue);
        if (bFailed)
        {
            fTranslateTotal -= w;
            fScaleTotal -= w;
            continue;
        }
        if (kItemValue.IsTranslateValid())
        {
            kTranslateSum += kItemValue.m_kTranslate * w;
            bTranslate = true;
        }
        else
        {
            fTranslateTotal -= w;
        }
        if (kItemValue.IsRotateValid())
        {
            NiQuat q = kItemValue.m_kRotate;
            if (!bFirstRotation && NiQuat::Dot(q, kRotateSum) < 0.0f)
                q = -q;
            bFirstRotation = false;
            kRotateSum = kRotateSum + q * w;
            bRotate = true;
        }
        if (kItemValue.IsScaleValid())
        {
            fScaleSum += kItemValue.m_fScale * w;
            bScale = true;
        }
        else
        {
            fScaleTotal -= w;
        }
    }
    kValue.MakeInvalid();
    if (bTranslate)
        kValue.m_kTranslate = kTranslateSum * (1.0f / fTranslateTotal);
    if (bRotate)
    {
        kRotateSum.Normalize();
        kValue.m_kRotate = kRotateSum;
    }
    if (bScale)
        kValue.m_fScale = fScaleSum * (1.0f / fScaleTotal);
    return !kValue.IsTransformInvalid();
}

void NiBlendTransformInterpolator::ReadFromStream(NiObjectStream& kStream)
{
    NiBlendInterpolator::ReadFromStream(kStream);
    // Files before 10.1.0.110 stored a transform value here that nothing
    // uses; it is read past.
    if (kStream.GetFileVersion() < NiStreamVersion(10, 1, 0, 110))
    {
        NiQuatTransform kUnused;
        NiByteStream* pkIn = kStream.GetInStream();
        if (pkIn == nullptr || !kUnused.LoadBinary(*pkIn, kStream.GetFileVersion()))
            kStream.SetCorrupt();
    }
}

void NiBlendTransformInterpolator::WriteToStream(NiObjectStream& kStream)
{
    NiBlendInterpolator::WriteToStream(kStream);
}

bool NiBlendTransformInterpolator::IsEqual(NiObject* pkOther)
{
    if (!NiBlendInterpolator::IsEqual(pkOther))
        return false;
    return true;
}

void NiBlendTransformInterpolator::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiBlendInterpolator::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiBlendTransformInterpolator::TypeInfo()->GetName()));
}
