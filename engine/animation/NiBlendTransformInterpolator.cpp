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
    return RunUpdate(
        fTime, [&] { return StoreSingleValue(fTime, pkTarget, kValue); },
        [&] { return BlendValues(fTime, pkTarget, kValue); });
}

bool NiBlendTransformInterpolator::StoreSingleValue(float fTime, NiObjectNET* pkTarget, NiQuatTransform& kValue)
{
    NiQuatTransform kItemValue;
    if (AskSingle(fTime, pkTarget, &NiInterpolator::UpdateTransform, kItemValue) != SingleAnswer::VALID)
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
    AskItems(fTime, pkTarget, &NiInterpolator::UpdateTransform,
             [&](float w, bool bAnswered, const NiQuatTransform& kItemValue) {
                 if (!bAnswered)
                 {
                     fTranslateTotal -= w;
                     fScaleTotal -= w;
                     return;
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
             });
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
