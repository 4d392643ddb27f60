#include "engine/animation/NiFloatData.h"

#include "engine/core/NiCloneContext.h"

NiImplementTypeInfo(NiFloatData, NiObject)
NiImplementCreateClone(NiFloatData)

NiObject* NiFloatData::CreateObject()
{
    return new NiFloatData;
}

void NiFloatData::CopyMembers(NiFloatData* pkDest, NiCloneContext& kCloning)
{
    NiKeyData::CopyMembers(pkDest, kCloning);
}

NiRefPtr<NiFloatData> NiFloatData::GetSequenceData(float fBegin, float fEnd)
{
    return static_cast<NiFloatData*>(GetSequenceKeyData(fBegin, fEnd).Get());
}
