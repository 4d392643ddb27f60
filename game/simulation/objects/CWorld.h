#pragma once

#include "framework/COrvaneWorld.h"

#include <cstdint>

class COrvaneObject;

// The game's world: the framework world of a level plus the prison's
// upgrade level (which fence the level shows and how many outdoor areas are
// open) and the highest map-grid number among the level's areas. The level
// build fills in the rest.
class CWorld : public COrvaneWorld
{
public:
    CWorld();
    ~CWorld() override;

    void Reset() override;

    // The fence switch shows child n and the upgrade level becomes n.
    void SetUpgradeLevel(std::int32_t iLevel);
    [[nodiscard]] std::int32_t GetUpgradeLevel() const { return m_iUpgradeLevel; }
    [[nodiscard]] std::int32_t GetHighestMapNumber() const { return m_iHighestMapNumber; }
    void SetHighestMapNumber(std::int32_t iNumber) { m_iHighestMapNumber = iNumber; }
    [[nodiscard]] bool AreDetailsShown() const { return m_ucDetailsShown != 0; }
    // The protesters' object (the registry owns it), or null.
    [[nodiscard]] COrvaneObject* GetProtesters() const { return m_pkProtesters; }
    void SetProtesters(COrvaneObject* pkProtesters) { m_pkProtesters = pkProtesters; }

private:
    std::int32_t m_iUpgradeLevel = 0;
    std::int32_t m_iHighestMapNumber = 0;
    std::uint8_t m_ucDetailsShown = 1;
    COrvaneObject* m_pkProtesters = nullptr; // link
};
