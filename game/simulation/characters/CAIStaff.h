#pragma once

#include "game/simulation/characters/CGameCharacter.h"

#include <cstdint>

class CAIPrisoner;

// The staff base: three bytes of duty state, the first two marking a task
// in progress. The kinds' duties come with the staff rules.
class CAIStaff : public CGameCharacter
{
public:
    CAIStaff();
    ~CAIStaff() override;

    void Destroy() override;
    void Reset() override;
    void Release() override;
    // Standing; the pause plays unless a task is in progress.
    void OnPathEnd() override;
    [[nodiscard]] int GetHeadVariantCount() const override { return 3; }
    [[nodiscard]] int GetBodyVariantCount() const override { return 0; }
    [[nodiscard]] Role GetFloorRole() const override { return Role::Staff; }

    // Uses no object, has no partner and is free.
    [[nodiscard]] virtual bool IsAvailable() const;
    // Marks a duty asked for by the player when available.
    virtual void RequestDuty();
    // Into the "jobtitles" text list.
    [[nodiscard]] virtual int GetJobTitleIndex() const { return 3; }

    [[nodiscard]] const std::uint8_t* GetDutyState() const { return m_aucDuty; }

protected:
    std::uint8_t m_aucDuty[3] = {};
};

// Security guards.
class CAISecurity : public CAIStaff
{
public:
    CAISecurity();
    ~CAISecurity() override;
    void Reset() override;
    [[nodiscard]] int GetJobTitleIndex() const override { return 0; }

    [[nodiscard]] CAIPrisoner* GetPrisoner() const { return m_pkPrisoner; }

protected:
    CAIPrisoner* m_pkPrisoner = nullptr; // link: the prisoner being dealt with
};

// Medical staff.
class CAIMedical : public CAIStaff
{
public:
    [[nodiscard]] int GetHeadVariantCount() const override { return 1; }
    [[nodiscard]] int GetJobTitleIndex() const override { return 2; }
};

// Chaplains and other counsellors.
class CAISupportStaff : public CAIStaff
{
public:
    CAISupportStaff();
    ~CAISupportStaff() override;
    void Reset() override;
    [[nodiscard]] int GetHeadVariantCount() const override { return 1; }
    [[nodiscard]] int GetJobTitleIndex() const override { return 2; }

protected:
    std::uint8_t m_ucSupportState = 0;
};

// Maintenance staff: they work at objects instead of using them.
class CAIMaintenance : public CAIStaff
{
public:
    [[nodiscard]] int GetHeadVariantCount() const override { return 1; }
    [[nodiscard]] int GetJobTitleIndex() const override { return 1; }
    bool PlayWorkAnimation() override;
};
