#include "engine/scene/NiVertWeightsExtraData.h"

#include "engine/core/NiObjectStream.h"

#include <atomic>
#include <cstdint>

NiImplementTypeInfo(NiVertWeightsExtraData, NiExtraData)
NiImplementCreateClone(NiVertWeightsExtraData)

namespace
{
// Entries alive in the process (subclasses included).
std::atomic<std::uint32_t> s_uiAlive{0};
} // namespace

NiVertWeightsExtraData::NiVertWeightsExtraData()
{
    s_uiAlive.fetch_add(1, std::memory_order_relaxed);
}

NiVertWeightsExtraData::~NiVertWeightsExtraData()
{
    s_uiAlive.fetch_sub(1, std::memory_order_relaxed);
}

bool NiVertWeightsExtraData::AnyAlive()
{
    return s_uiAlive.load(std::memory_order_relaxed) != 0;
}

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
