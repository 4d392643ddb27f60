#include "engine/animation/NiColorData.h"

#include "engine/core/NiCloneContext.h"

NiImplementTypeInfo(NiColorData, NiObject)
NiImplementCreateClone(NiColorData)

NiObject* NiColorData::CreateObject()
{
    return new NiColorData;
}

void NiColorData::CopyMembers(NiColorData* pkDest, NiCloneContext& kCloning)
{
    NiKeyData::CopyMembers(pkDest, kCloning);
}

NiRefPtr<NiColorData> NiColorData::GetSequenceData(float fBegin, float fEnd)
{
    return static_cast<NiColorData*>(GetSequenceKeyData(fBegin, fEnd).Get());
}
