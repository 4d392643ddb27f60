#pragma once

#include "game/simulation/characters/CGameCharacter.h"

#include <cstdint>

class CAISecurity;

// A prisoner: its mood over the day, what it goes for, its fights and talks,
// how it is hurt and healed, and how it leaves the prison (sentence end,
// death, escape). Every rule books its effect in the prison's ledger.
class CAIPrisoner : public CGameCharacter
{
public:
    enum Mood : std::uint32_t
    {
        MOOD_HAPPY = 0,
        MOOD_INDIFFERENT = 1,
        MOOD_BORED = 2,
        MOOD_ANGRY = 3,
        MOOD_HUNGRY = 4,
        MOOD_INJURED = 5,
    };
    // Scaled seconds between two steps of the mood's decay.
    static constexpr float MOOD_DECAY_SECONDS = 45.0f;
    static constexpr int SAMPLE_FIGHT = 14;
    static constexpr int SAMPLE_TALK = 21;
    static constexpr int MESSAGE_MOVED_TO_CELL = 21;
    static constexpr int MESSAGE_ESCAPE = 64;

    CAIPrisoner();
    ~CAIPrisoner() override;

    // Out of its cell, the ledger, and the waiting and parole lists.
    void Destroy() override;
    void Reset() override;
    void Update(float fDt) override;
    // Creation: level, arrival, mood, term and gang drawn.
    int Load(COrvaneObjectDesc& kDesc) override;
    // A loaded record is counted by the ledger.
    void ApplyState(const COrvaneIOState& kState) override;
    // Without a home it waits for a cell.
    void ResolveReferences() override;
    // The mood's decay.
    void UpdateHook() override;
    void OnPartnerTask() override;
    bool ChooseWanderTarget() override;
    void Recover(CGameCharacter* pkUser) override;
    bool FindObjectForMood() override;
    bool FindCharacterToServe() override;
    [[nodiscard]] bool IsCellFree(const COrvaneBlockGrid* pkGrid, std::int32_t iCell) const override;
    // The first cell given: it counts the prisoner and its bed.
    void SetHome(CBaseObject* pkHome) override;
    // Dropped by the hand tool on a cell that may take it: moved in.
    void OnDropped(bool bPlayPause) override;
    void PlayPauseAnimation() override;
    void PlayWalkAnimation() override;
    bool Interact(CGameCharacter* pkPartner) override;
    [[nodiscard]] CGameCharacter* IsCandidateFor(CObjectQuery& kQuery) override;
    // The daily step: mood, death, sentence end, ageing, the night in the
    // cell, maybe an escape, maybe parole.
    void FinishActivity() override;
    void SetMood(std::uint32_t uiMood, bool bForced) override;
    void SetStats(const CCharacterStats& kStats) override;

    // Once: gone, with the ledger's incident booked.
    virtual void Escape();
    // A free guard of this grid within its reach, else null.
    [[nodiscard]] CAISecurity* FindNearbyGuard();
    // The end of the sentence applied now (the parole board's release):
    // execution, re-offence or release; the prisoner is gone.
    void ResolveSentenceEnd();

    [[nodiscard]] Role GetFloorRole() const override { return Role::Prisoner; }
    [[nodiscard]] CAIPrisoner* AsPrisoner() override { return this; }

    [[nodiscard]] bool HasEscaped() const { return m_ucEscaped != 0; }
    [[nodiscard]] float GetMoodTimer() const { return m_fMoodTimer; }

protected:
    // The whole years since arrival (may be negative for a damaged record).
    [[nodiscard]] int YearsServed() const;
    [[nodiscard]] bool IsAngry() const { return m_kStats.m_uiMood == MOOD_ANGRY; }

    float m_fMoodTimer = 0.0f;
    std::uint8_t m_ucEscaped = 0;
};
