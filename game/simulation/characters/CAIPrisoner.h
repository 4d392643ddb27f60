#pragma once

#include "game/simulation/characters/CGameCharacter.h"

#include <cstdint>

// A prisoner. Its behaviour (moods, fights, cells, sentences) comes with
// the prisoner rules; until then it keeps the game character's.
class CAIPrisoner : public CGameCharacter
{
public:
    CAIPrisoner();
    ~CAIPrisoner() override;

    // Off the spawn manager's lists, then the game character's.
    void Destroy() override;
    void Reset() override;
    void PlayPauseAnimation() override;
    // Leaves the prison: off the ledger, then gone. The prisoner rules
    // give it its way out.
    virtual void Escape();

    [[nodiscard]] Role GetFloorRole() const override { return Role::Prisoner; }
    [[nodiscard]] CAIPrisoner* AsPrisoner() override { return this; }

    [[nodiscard]] std::uint8_t GetPrisonerState() const { return m_ucPrisonerState; }

protected:
    std::uint8_t m_ucPrisonerState = 0;
};
