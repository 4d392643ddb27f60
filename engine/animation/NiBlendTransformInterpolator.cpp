#include "engine/animation/NiBlendTransformInterpolator.h"

#include "engine/animation/NiTransformMean.h"
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
    if (KeepTimeWhenNothingToAsk(fTime))
    {
        kValue.MakeInvalid();
        return false;
    }
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
    NiTransformMean kMean;
    AskItems(fTime, pkTarget, &NiInterpolator::UpdateTransform,
             [&kMean](float w, bool bAnswered, const NiQuatTransform& kItemValue) {
                 if (bAnswered)
                     kMean.Add(w, kItemValue);
                 else
                     kMean.Skip(w);
             });
    kValue.MakeInvalid();
    kMean.WriteTo(kValue);
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
