#include "game/simulation/objects/CWorld.h"

CWorld::CWorld()
{
    CWorld::Reset();
}

CWorld::~CWorld() = default;

void CWorld::Reset()
{
    COrvaneWorld::Reset();
    m_pkProtesters = nullptr;
    m_iUpgradeLevel = 0;
    m_iHighestMapNumber = 0;
    m_ucDetailsShown = 1;
}

void CWorld::SetUpgradeLevel(std::int32_t iLevel)
{
    SelectFloor(iLevel);
    m_iUpgradeLevel = iLevel;
}
