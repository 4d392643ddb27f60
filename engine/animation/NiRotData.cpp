#include "engine/animation/NiRotData.h"

#include "engine/core/NiCloneContext.h"

NiImplementTypeInfo(NiRotData, NiObject)
NiImplementCreateClone(NiRotData)

NiObject* NiRotData::CreateObject()
{
    return new NiRotData;
}

void NiRotData::CopyMembers(NiRotData* pkDest, NiCloneContext& kCloning)
{
    NiKeyData::CopyMembers(pkDest, kCloning);
}

NiRefPtr<NiRotData> NiRotData::GetSequenceData(float fBegin, float fEnd)
{
    return static_cast<NiRotData*>(GetSequenceKeyData(fBegin, fEnd).Get());
}
