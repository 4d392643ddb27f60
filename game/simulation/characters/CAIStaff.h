#pragma once

#include "game/simulation/characters/CGameCharacter.h"

#include <cstdint>
#include <string>

class CAIPrisoner;

// The staff base: hiring and wages, the daily return to the post, ageing
// out and the player's recall. Three bytes of duty state: a recall asked
// for, a wider search owed by the recall, and the ledger let go of.
class CAIStaff : public CGameCharacter
{
public:
    // The ledger's staff categories.
    static constexpr int CATEGORY_SECURITY = 0;
    static constexpr int CATEGORY_MAINTENANCE = 1;
    static constexpr int CATEGORY_CARE = 2;
    static constexpr int CATEGORY_OTHER = 3;
    // Staff older than this are replaced at the start of a year.
    static constexpr int RETIREMENT_AGE = 60;

    CAIStaff();
    ~CAIStaff() override;

    // Off its post's list and (once) off the ledger.
    void Destroy() override;
    void Reset() override;
    void Release() override;
    // Creation: the hiring year.
    int Load(COrvaneObjectDesc& kDesc) override;
    // A recall, the AI step, and the year's service and ageing.
    void UpdateAI(float fDt) override;
    // A connector's cell now and then, else a random walk.
    bool ChooseWanderTarget() override;
    // The first post stays; the post lists its staff.
    void SetHome(CBaseObject* pkHome) override;
    // Back at the post, everything dropped, the day's wage booked; from a
    // staff building out to its first entrance.
    void FinishActivity() override;
    // Standing; the pause plays unless a task is in progress.
    void OnPathEnd() override;
    [[nodiscard]] int GetHeadVariantCount() const override { return 3; }
    [[nodiscard]] int GetBodyVariantCount() const override { return 0; }
    [[nodiscard]] Role GetFloorRole() const override { return Role::Staff; }

    // What one of the staff costs on the day he is hired: his wage is
    // booked when he is hired (Hire) and again as the spawn finishes his
    // first activity (FinishActivity), the day's wage as every morning.
    // The demo data's build pages state it by this.
    [[nodiscard]] static int CostOnHiringDay(std::uint16_t usWage);
    // The daily wage of one of the staff the factory of that name makes,
    // made from the template model of that name (a guard's grade is in
    // it); 0 for a factory that makes no staff.
    [[nodiscard]] static std::uint16_t WageOf(const std::string& kFactory, const char* pcModel);

    // No partner, no target and free.
    [[nodiscard]] virtual bool IsIdle() const;
    // The player's recall, taken only while idle.
    virtual void RequestRecall();
    [[nodiscard]] virtual int GetStaffCategory() const { return CATEGORY_OTHER; }
    // Into the "jobtitles" text list.
    [[nodiscard]] virtual int GetJobTitleIndex() const { return 3; }

    [[nodiscard]] bool IsRecallRequested() const { return m_aucDuty[0] != 0; }
    [[nodiscard]] bool HasWiderSearch() const { return m_aucDuty[1] != 0; }
    [[nodiscard]] const std::uint8_t* GetDutyState() const { return m_aucDuty; }

protected:
    // The squared reach of the prisoner search, before a wider search.
    [[nodiscard]] virtual float GetServeRange() const { return 0.0f; }
    // How much a wider search widens the reach.
    [[nodiscard]] virtual float GetWiderFactor() const { return 2.0f; }
    // The prisoner search shared by the kinds that serve prisoners.
    bool ServePrisoner();
    // The kinds' fallback: now and then a connector (one in n), else as the
    // base.
    bool FallbackWander(int iConnectorOdds);
    // The kind's wage and the ledger's registration.
    void Hire(std::uint16_t usWage);
    // The service of the kind counted: services done, work count, sample.
    void CountService(int iSample);

    std::uint8_t m_aucDuty[3] = {};
};

// Security guards: they stop fights.
class CAISecurity : public CAIStaff
{
public:
    static constexpr int SAMPLE_KNOCKDOWN = 3;

    CAISecurity();
    ~CAISecurity() override;
    void Reset() override;
    // Creation: the grade from the name, its wage, registration.
    int Load(COrvaneObjectDesc& kDesc) override;
    bool ChooseWanderTarget() override;
    bool FindCharacterToServe() override;
    bool Interact(CGameCharacter* pkPartner) override;
    void PlayPauseAnimation() override;
    [[nodiscard]] CGameCharacter* IsCandidateFor(CObjectQuery& kQuery) override;
    void OnCharacterRemoved(CGameCharacter* pkCharacter) override;
    [[nodiscard]] int GetStaffCategory() const override { return CATEGORY_SECURITY; }
    [[nodiscard]] int GetJobTitleIndex() const override { return 0; }

    // An angry prisoner about to fight calls the guard over.
    void Summon(CAIPrisoner* pkPrisoner);
    // The digit just before the name's last ".", else 0.
    [[nodiscard]] static int GradeOf(const char* pcName);
    // A guard's daily wage by his grade.
    [[nodiscard]] static std::uint16_t WageOfGrade(int iGrade);

    [[nodiscard]] CAIPrisoner* GetPrisoner() const { return m_pkPrisoner; }

protected:
    [[nodiscard]] float GetServeRange() const override;

    CAIPrisoner* m_pkPrisoner = nullptr; // link: the summoning prisoner
};

// Medical staff: they heal injured prisoners.
class CAIMedical : public CAIStaff
{
public:
    static constexpr int SAMPLE_HEAL = 4;
    // A doctor's daily wage.
    static constexpr std::uint16_t WAGE = 250;

    ~CAIMedical() override;
    int Load(COrvaneObjectDesc& kDesc) override;
    bool ChooseWanderTarget() override;
    bool FindCharacterToServe() override;
    bool Interact(CGameCharacter* pkPartner) override;
    [[nodiscard]] int GetHeadVariantCount() const override { return 1; }
    [[nodiscard]] int GetStaffCategory() const override { return CATEGORY_CARE; }
    [[nodiscard]] int GetJobTitleIndex() const override { return 2; }

protected:
    [[nodiscard]] float GetServeRange() const override { return 225.0f; }
};

// Chaplains and other counsellors: they calm bored prisoners.
class CAISupportStaff : public CAIStaff
{
public:
    static constexpr int SAMPLE_COUNSEL = 6;
    // A chaplain's or counsellor's daily wage.
    static constexpr std::uint16_t WAGE = 150;

    CAISupportStaff();
    ~CAISupportStaff() override;
    void Reset() override;
    int Load(COrvaneObjectDesc& kDesc) override;
    bool ChooseWanderTarget() override;
    bool FindCharacterToServe() override;
    bool Interact(CGameCharacter* pkPartner) override;
    [[nodiscard]] int GetHeadVariantCount() const override { return 1; }
    [[nodiscard]] int GetStaffCategory() const override { return CATEGORY_CARE; }
    [[nodiscard]] int GetJobTitleIndex() const override { return 2; }

    [[nodiscard]] bool IsChaplain() const { return m_ucChaplain != 0; }

protected:
    [[nodiscard]] float GetServeRange() const override { return 100.0f; }
    [[nodiscard]] float GetWiderFactor() const override { return 3.0f; }

    std::uint8_t m_ucChaplain = 0;
};

// Maintenance staff: they service worn objects instead of using them.
class CAIMaintenance : public CAIStaff
{
public:
    static constexpr int SAMPLE_SERVICE = 5;
    // A maintenance worker's daily wage.
    static constexpr std::uint16_t WAGE = 250;

    ~CAIMaintenance() override;
    int Load(COrvaneObjectDesc& kDesc) override;
    bool ChooseWanderTarget() override;
    bool FindObjectForMood() override;
    void OnPartnerTask() override;
    [[nodiscard]] int GetHeadVariantCount() const override { return 1; }
    [[nodiscard]] int GetStaffCategory() const override { return CATEGORY_MAINTENANCE; }
    [[nodiscard]] int GetJobTitleIndex() const override { return 1; }
    bool PlayWorkAnimation() override;
};
