#pragma once

#include "game/simulation/objects/CPathableObject.h"

#include <cstdint>
#include <vector>

class CGridCharacter;

// A prison cell inside a building: it houses prisoners of its security
// level, which may not exceed the building's, and the ledger counts its
// places per level.
class CCell : public CPathableObject
{
public:
    CCell();
    ~CCell() override;

    // The housed prisoners lose their home and wait for another cell; then
    // the usable object goes.
    void Destroy() override;
    // Nothing of its own: the usable object's reset at construction opens
    // the cell.
    void Reset() override {}
    // The usable object's test, a selected building, and the cell's level
    // not above the building's.
    [[nodiscard]] bool CanBuild() const override;
    void AddToStatistics() override;
    void RemoveFromStatistics() override;
    // The security level the cell houses.
    [[nodiscard]] std::uint16_t GetRequiredLevel() const override;

    // A prisoner already housed here is not added again.
    void AddPrisoner(CGridCharacter* pkPrisoner);
    // Only a prisoner housed here: it loses its home and leaves the cell.
    void RemovePrisoner(CGridCharacter* pkPrisoner);

    [[nodiscard]] const std::vector<CGridCharacter*>& GetPrisoners() const { return m_kPrisoners; }
    [[nodiscard]] std::uint16_t GetOccupancy() const { return m_kRecord.m_usOccupancy; }

private:
    void Shutdown();

    std::vector<CGridCharacter*> m_kPrisoners; // links
};
