#include "engine/scene/NiAccumulator.h"

NiImplementTypeInfo(NiAccumulator, NiObject)

bool NiAccumulator::StartAccumulating(NiCamera* pkCamera)
{
    if (m_pkCamera != nullptr)
        return false;
    m_pkCamera = pkCamera;
    return true;
}

void NiAccumulator::FinishAccumulating()
{
    m_pkCamera = nullptr;
}
