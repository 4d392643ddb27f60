#include "engine/animation/NiPosData.h"

#include "engine/core/NiCloneContext.h"

NiImplementTypeInfo(NiPosData, NiObject)
NiImplementCreateClone(NiPosData)

NiObject* NiPosData::CreateObject()
{
    return new NiPosData;
}

void NiPosData::CopyMembers(NiPosData* pkDest, NiCloneContext& kCloning)
{
    NiKeyData::CopyMembers(pkDest, kCloning);
}

NiRefPtr<NiPosData> NiPosData::GetSequenceData(float fBegin, float fEnd)
{
    return static_cast<NiPosData*>(GetSequenceKeyData(fBegin, fEnd).Get());
}
