#include "engine/animation/NiBoolData.h"

#include "engine/core/NiCloneContext.h"

NiImplementTypeInfo(NiBoolData, NiObject)
NiImplementCreateClone(NiBoolData)

NiObject* NiBoolData::CreateObject()
{
    return new NiBoolData;
}

void NiBoolData::CopyMembers(NiBoolData* pkDest, NiCloneContext& kCloning)
{
    NiKeyData::CopyMembers(pkDest, kCloning);
}

NiRefPtr<NiBoolData> NiBoolData::GetSequenceData(float fBegin, float fEnd)
{
    return static_cast<NiBoolData*>(GetSequenceKeyData(fBegin, fEnd).Get());
}
