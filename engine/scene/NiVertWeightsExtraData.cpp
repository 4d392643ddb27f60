#include "engine/scene/NiVertWeightsExtraData.h"

#include "engine/core/NiObjectStream.h"

NiImplementTypeInfo(NiVertWeightsExtraData, NiExtraData)
NiImplementCreateClone(NiVertWeightsExtraData)

void NiVertWeightsExtraData::CopyMembers(NiVertWeightsExtraData* pkDest, NiCloneContext& kCloning)
{
    NiExtraData::CopyMembers(pkDest, kCloning);
}

void NiVertWeightsExtraData::ReadFromStream(NiObjectStream& kStream)
{
    NiExtraData::ReadFromStream(kStream);
    if (kStream.GetFileVersion() >= NiStreamVersion(5, 0, 0, 16))
        return;
    std::uint32_t uiCount = 0;
    if (!kStream.ReadCount(uiCount, 4))
        return;
    for (std::uint32_t i = 0; i < uiCount; ++i)
    {
        float fWeight = 0.0f;
        if (!kStream.ReadLE(fWeight))
            return;
    }
}
