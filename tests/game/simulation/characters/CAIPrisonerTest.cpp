#include "game/simulation/characters/CAIPrisoner.h"

#include "engine/core/NiRandom.h"
#include "framework/COrvaneAIControllerManager.h"
#include "framework/COrvaneAnim.h"
#include "framework/COrvaneFile.h"
#include "framework/COrvaneObjectDesc.h"
#include "game/simulation/characters/CAIStaff.h"
#include "game/simulation/objects/CBlockGrid.h"
#include "game/simulation/objects/CCell.h"
#include "game/simulation/objects/CDynamicObjectManager.h"
#include "game/simulation/objects/CObjectQuery.h"
#include "game/simulation/objects/CPrisonStatistics.h"
#include "tests/game/simulation/characters/CharacterTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace
{
class CAIPrisonerTest : public CharacterTest
{
protected:
    void SetUp() override
    {
        CharacterTest::SetUp();
        UseStubControllers();
        m_pkLedger = m_pkManager->GetStatistics();
        m_pkYard = Area(1, 16, 16);
    }

    CAIPrisoner* Prisoner(std::int32_t iCell, const char* pcTemplate = "thug")
    {
        auto* pkPrisoner = dynamic_cast<CAIPrisoner*>(Make("PrisonerFactory", pcTemplate, m_pkYard));
        if (pkPrisoner)
            StandOn(*pkPrisoner, iCell);
        return pkPrisoner;
    }

    CAISecurity* Guard(std::int32_t iCell)
    {
        auto* pkGuard = dynamic_cast<CAISecurity*>(Make("SecurityGuardFactory", "guard1", m_pkYard));
        if (pkGuard)
        {
            StandOn(*pkGuard, iCell);
            pkGuard->SetFree(true);
        }
        return pkGuard;
    }

    // The clock enters the hour with this update.
    void EnterHour(int iHour)
    {
        m_kHost.m_kClock.m_fPreviousMinutes = static_cast<float>(iHour * 60 - 1);
        m_kHost.m_kClock.m_fMinutes = static_cast<float>(iHour * 60 + 1);
    }

    void NewYear(bool bNew)
    {
        m_kHost.m_kClock.m_ucDayRolled = bNew ? 1 : 0;
        m_kHost.m_kClock.m_usDay = 0;
    }

    std::size_t Calls(const std::string& kCall) const
    {
        return static_cast<std::size_t>(std::count(m_kHost.m_kCalls.begin(), m_kHost.m_kCalls.end(), kCall));
    }

    static std::string Animation(const CGameCharacter& kCharacter)
    {
        // The name without the model's folder.
        const COrvaneAnim* pkAnimation = kCharacter.GetCurrentAnimation();
        const std::string kName = pkAnimation && pkAnimation->GetName() ? pkAnimation->GetName() : "";
        return kName.substr(kName.rfind('/') == std::string::npos ? 0 : kName.rfind('/') + 1);
    }

    CPrisonStatistics* m_pkLedger = nullptr;
    CBlockGrid* m_pkYard = nullptr;
};

TEST_F(CAIPrisonerTest, CreationDrawsItsSentenceAndALoadedRecordIsCountedOnce)
{
    m_pkLedger->m_usHighestCellLevel = 3;
    bool bSawLevel3 = false;
    for (int i = 0; i < 40; ++i)
    {
        CAIPrisoner* pkPrisoner = Prisoner(0);
        ASSERT_NE(pkPrisoner, nullptr);
        const CCharacterStats& kStats = pkPrisoner->GetStats();
        ASSERT_LE(kStats.m_usSecurityLevel, 3);
        EXPECT_EQ(kStats.m_uiMood, CAIPrisoner::MOOD_INDIFFERENT);
        EXPECT_EQ(kStats.m_usMoodIntensity, 3);
        EXPECT_EQ(kStats.m_usArrivalYear, 2005);
        EXPECT_EQ(kStats.m_usTerm % (kStats.m_usSecurityLevel + 1), 0);
        EXPECT_GE(kStats.m_usTerm, kStats.m_usSecurityLevel + 1);
        EXPECT_LE(kStats.m_usTerm, 10 * (kStats.m_usSecurityLevel + 1));
        EXPECT_LE(kStats.m_uiGang, 2u);
        EXPECT_EQ(pkPrisoner->IsPickable(), kStats.m_usSecurityLevel != 3);
        bSawLevel3 = bSawLevel3 || kStats.m_usSecurityLevel == 3;
    }
    EXPECT_TRUE(bSawLevel3);
    // Creation alone does not count a prisoner (the arrival does); a
    // loaded record does, once.
    EXPECT_TRUE(m_pkLedger->m_kPrisoners.empty());
    CAIPrisoner* pkSaved = Prisoner(5);
    pkSaved->GetStats().m_usSecurityLevel = 7; // out of range: kept, never an index
    const std::string kRecord = SaveText(*pkSaved);
    CAIPrisoner* pkLoaded = Prisoner(6);
    WriteFileBytes(Folder() / "load.txt", kRecord);
    for (int i = 0; i < 2; ++i)
    {
        COrvaneFile kFile;
        ASSERT_EQ(kFile.Open("load.txt", COrvaneFile::MODE_READ), 1);
        std::unique_ptr<COrvaneIOState> pkState = pkLoaded->NewState();
        ASSERT_TRUE(pkLoaded->ParseState(kFile, *pkState));
        pkLoaded->ApplyState(*pkState);
    }
    EXPECT_EQ(pkLoaded->GetStats().m_usSecurityLevel, 7);
    EXPECT_EQ(std::count(m_pkLedger->m_kPrisoners.begin(), m_pkLedger->m_kPrisoners.end(), &pkLoaded->GetStats()), 1);
    m_pkManager->DestroyObject(pkLoaded, true);
    EXPECT_TRUE(m_pkLedger->m_kPrisoners.empty());
}

TEST_F(CAIPrisonerTest, GoingLeavesTheCellTheLedgerAndTheWaitingAndParoleLists)
{
    COrvaneObjectDesc kDesc;
    kDesc.m_pkTemplate = m_pkManager->FindTemplate("cell_single");
    kDesc.m_ucMode = 1;
    auto* pkCell = dynamic_cast<CCell*>(m_pkManager->CreateObject(m_pkManager->FindFactory("CellFactory", nullptr), kDesc));
    ASSERT_NE(pkCell, nullptr);
    CAIPrisoner* pkHoused = Prisoner(3);
    m_pkLedger->RegisterPrisoner(&pkHoused->GetStats());
    pkHoused->SetHome(pkCell);
    pkHoused->SetHome(pkCell); // the first home stays and is counted once
    EXPECT_EQ(pkCell->GetOccupancy(), 1);
    EXPECT_EQ(m_pkLedger->m_usBedsTaken, 1);
    CAIPrisoner* pkWaiting = Prisoner(4);
    m_kSpawn.AddWaitingPrisoner(pkWaiting);
    m_kSpawn.AddParoleCandidate(pkWaiting);
    m_kSpawn.AddParoleCandidate(pkHoused);

    m_pkManager->DestroyObject(pkHoused, true);
    m_pkManager->DestroyObject(pkWaiting, true);
    EXPECT_EQ(pkCell->GetOccupancy(), 0);
    EXPECT_EQ(m_pkLedger->m_usBedsTaken, 0);
    EXPECT_TRUE(m_pkLedger->m_kPrisoners.empty());
    EXPECT_EQ(m_pkLedger->m_usPrisonersNow, 0);
    EXPECT_TRUE(m_kSpawn.m_kWaitingPrisoners.empty());
    EXPECT_TRUE(m_kSpawn.GetParoleCandidates().empty());
}

TEST_F(CAIPrisonerTest, MoodsHoldHungerAndInjuryAndDecayEveryFortyFiveSeconds)
{
    CAIPrisoner* pkPrisoner = Prisoner(0);
    CCharacterStats& kStats = pkPrisoner->GetStats();
    pkPrisoner->SetMood(CAIPrisoner::MOOD_HUNGRY, true);
    pkPrisoner->SetMood(CAIPrisoner::MOOD_HAPPY, false);
    EXPECT_EQ(kStats.m_uiMood, CAIPrisoner::MOOD_HUNGRY);
    kStats.m_usHealth = 49;
    pkPrisoner->SetMood(CAIPrisoner::MOOD_INJURED, true);
    EXPECT_EQ(kStats.m_usMoodIntensity, 0);
    pkPrisoner->SetMood(CAIPrisoner::MOOD_ANGRY, false);
    EXPECT_EQ(kStats.m_uiMood, CAIPrisoner::MOOD_INJURED);
    kStats.m_usHealth = 50;
    pkPrisoner->SetMood(CAIPrisoner::MOOD_HAPPY, false);
    EXPECT_EQ(kStats.m_uiMood, CAIPrisoner::MOOD_HAPPY);
    EXPECT_EQ(kStats.m_usMoodIntensity, 2);

    // Each 45 s the intensity falls, then the mood worsens step by step
    // up to angry, where it stays.
    pkPrisoner->SetUpdateHook(true);
    std::vector<std::uint32_t> kMoods;
    for (int i = 0; i < 8 * 3; ++i)
    {
        pkPrisoner->Update(15.0f);
        if (i % 3 == 2)
            kMoods.push_back(kStats.m_uiMood * 10 + kStats.m_usMoodIntensity);
    }
    EXPECT_EQ(kMoods, (std::vector<std::uint32_t>{1, 0, 12, 11, 10, 22, 21, 20}));
    for (int i = 0; i < 3 * 9; ++i)
        pkPrisoner->Update(15.0f);
    EXPECT_EQ(kStats.m_uiMood, CAIPrisoner::MOOD_ANGRY);
}

TEST_F(CAIPrisonerTest, NoonMakesHungryAndTheHourlyRollNeverAngersLevelZero)
{
    CAIPrisoner* pkLow = Prisoner(0);
    CAIPrisoner* pkHigh = Prisoner(1);
    CAIPrisoner* pkSecure = Prisoner(2);
    pkLow->GetStats().m_usSecurityLevel = 0;
    pkHigh->GetStats().m_usSecurityLevel = 2;
    pkSecure->GetStats().m_usSecurityLevel = 3;
    m_pkLedger->m_iOrder = 0;
    int iHighAngry = 0;
    for (int i = 0; i < 50; ++i)
    {
        for (CAIPrisoner* pkPrisoner : {pkLow, pkHigh})
            pkPrisoner->SetMood(CAIPrisoner::MOOD_INDIFFERENT, true);
        EnterHour(9);
        pkLow->Update(0.05f);
        pkHigh->Update(0.05f);
        EXPECT_EQ(pkLow->GetStats().m_uiMood, CAIPrisoner::MOOD_INDIFFERENT);
        iHighAngry += pkHigh->GetStats().m_uiMood == CAIPrisoner::MOOD_ANGRY ? 1 : 0;
    }
    EXPECT_GT(iHighAngry, 20);
    // Order 950 and above keeps everyone calm.
    m_pkLedger->m_iOrder = 950;
    pkHigh->SetMood(CAIPrisoner::MOOD_INDIFFERENT, true);
    for (int i = 0; i < 50; ++i)
    {
        EnterHour(9);
        pkHigh->Update(0.05f);
    }
    EXPECT_EQ(pkHigh->GetStats().m_uiMood, CAIPrisoner::MOOD_INDIFFERENT);

    pkSecure->SetMood(CAIPrisoner::MOOD_HAPPY, true);
    EnterHour(12);
    pkHigh->Update(0.05f);
    pkSecure->Update(0.05f);
    EXPECT_EQ(pkHigh->GetStats().m_uiMood, CAIPrisoner::MOOD_HUNGRY);
    EXPECT_EQ(pkSecure->GetStats().m_uiMood, CAIPrisoner::MOOD_HAPPY);

    // A level-3 prisoner near its sentence's end with an execution room
    // brings the protesters and their sound, once.
    m_pkLedger->m_usExecutionRooms = 1;
    pkSecure->GetStats().m_usTerm = 1;
    pkSecure->Update(0.05f);
    pkSecure->Update(0.05f);
    EXPECT_EQ(m_pkLedger->m_ucExecutionAnnounced, 1);
    EXPECT_EQ(Calls("PlaySample 25,255,1"), 1u);
}

TEST_F(CAIPrisonerTest, AFightWithoutAGuardRunsFourBoutsAndAKnockdown)
{
    CAIPrisoner* pkAttacker = Prisoner(16 * 4 + 4);
    CAIPrisoner* pkVictim = Prisoner(16 * 4 + 8);
    pkAttacker->SetMood(CAIPrisoner::MOOD_ANGRY, true);
    const int iOrder = m_pkLedger->m_iOrder;
    std::vector<std::string> kBouts;
    for (int i = 0; i < 5; ++i)
    {
        ASSERT_TRUE(pkAttacker->Interact(pkVictim));
        kBouts.push_back(Animation(*pkAttacker));
        pkAttacker->SetControllerTimer(pkAttacker->GetControllerTimer() - 1.0f);
    }
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(kBouts[i] == "fight1_a" || kBouts[i] == "fight2_a" || kBouts[i] == "fight3_a") << kBouts[i];
    EXPECT_EQ(kBouts[4], "knockdown1_a");
    EXPECT_EQ(Calls("PlaySample 14,255,0"), 1u);
    EXPECT_EQ(m_pkLedger->m_usKnockdowns, 1);
    EXPECT_EQ(m_pkLedger->m_usTodayKnockdowns, 1);
    EXPECT_EQ(m_pkLedger->m_iOrder, iOrder - 1);
    EXPECT_EQ(pkAttacker->GetStats().m_usKnockdowns, 1);

    // A talk runs five bouts of "talk" n.
    pkAttacker->SetMood(CAIPrisoner::MOOD_BORED, true);
    pkAttacker->SetControllerTimer(0.0f);
    ASSERT_TRUE(pkAttacker->Interact(pkVictim));
    EXPECT_EQ(pkAttacker->GetControllerTimer(), 5.0f);
    EXPECT_EQ(Animation(*pkAttacker).rfind("talk", 0), 0u);
    EXPECT_EQ(Calls("PlaySample 21,255,0"), 1u);
}

TEST_F(CAIPrisonerTest, AGuardWithinReachStopsTheFightAndIsCalledOver)
{
    CAIPrisoner* pkAttacker = Prisoner(16 * 4 + 4);
    CAIPrisoner* pkVictim = Prisoner(16 * 4 + 8);
    CAISecurity* pkGuard = Guard(16 * 6 + 4); // 4 units away: within its 10
    ASSERT_NE(pkGuard, nullptr);
    EXPECT_EQ(pkGuard->GetStats().m_usSecurityLevel, 0);
    pkAttacker->SetMood(CAIPrisoner::MOOD_ANGRY, true);
    EXPECT_EQ(pkAttacker->FindNearbyGuard(), pkGuard);

    // A partner that lets go: the bout is refused and the guard comes.
    pkVictim->SetFree(true);
    ASSERT_TRUE(pkVictim->BeUsedByCharacter(pkAttacker));
    pkAttacker->SetPartner(pkVictim);
    EXPECT_FALSE(pkAttacker->Interact(pkVictim));
    EXPECT_EQ(pkGuard->GetPrisoner(), pkAttacker);
    EXPECT_TRUE(pkVictim->IsFree());
    EXPECT_EQ(pkAttacker->GetPartner(), nullptr);
    EXPECT_EQ(pkAttacker->GetControllerTimer(), 0.0f);
    EXPECT_TRUE(pkAttacker->IsFree());
    EXPECT_EQ(Calls("PlaySample 14,255,0"), 0u);
    // The guard's next choice takes the prisoner as its partner.
    EXPECT_TRUE(pkGuard->ChooseWanderTarget());
    EXPECT_EQ(pkGuard->GetPartner(), pkAttacker);
    EXPECT_EQ(pkGuard->GetDestination(), pkAttacker->GetCurrentCell());
    EXPECT_EQ(pkGuard->GetPrisoner(), nullptr);

    // A partner that does not let go: still refused, nobody summoned, and
    // no nameless animation plays.
    CAIPrisoner* pkOther = Prisoner(16 * 4 + 10);
    pkGuard->SetPartner(nullptr);
    pkGuard->SetFree(true);
    pkAttacker->SetPartner(pkOther);
    const std::string kBefore = Animation(*pkAttacker);
    EXPECT_FALSE(pkAttacker->Interact(pkOther));
    EXPECT_EQ(pkGuard->GetPrisoner(), nullptr);
    EXPECT_EQ(pkAttacker->GetPartner(), nullptr);
    EXPECT_EQ(Animation(*pkAttacker), kBefore);

    // Out of reach (14 units for a grade-1 guard's 10) the fight goes on.
    StandOn(*pkGuard, 16 * 11 + 4);
    EXPECT_EQ(pkAttacker->FindNearbyGuard(), nullptr);
}

TEST_F(CAIPrisonerTest, FightsHurtHealingStopsAtFullHealthAndAFatalFightKillsNextMorning)
{
    CAIPrisoner* pkAttacker = Prisoner(16 * 4 + 4);
    CAIPrisoner* pkVictim = Prisoner(16 * 4 + 8);
    pkAttacker->SetMood(CAIPrisoner::MOOD_ANGRY, true);
    CCharacterStats& kVictim = pkVictim->GetStats();
    kVictim.m_usHealth = 100;
    pkVictim->Recover(pkAttacker);
    EXPECT_GE(kVictim.m_usHealth, 66);
    EXPECT_LE(kVictim.m_usHealth, 90);
    EXPECT_EQ(kVictim.m_uiMood, CAIPrisoner::MOOD_ANGRY);
    EXPECT_EQ(Animation(*pkVictim), "recover");
    // A calm user leaves the partner as it is.
    pkAttacker->SetMood(CAIPrisoner::MOOD_BORED, true);
    const std::uint16_t usHealth = kVictim.m_usHealth;
    pkVictim->Recover(pkAttacker);
    EXPECT_EQ(kVictim.m_usHealth, usHealth);

    // Medical care never lifts health above 100.
    CGameCharacter* pkDoctor = Make("MedicalFactory", "doctor", m_pkYard);
    for (int i = 0; i < 30; ++i)
    {
        kVictim.m_usHealth = static_cast<std::uint16_t>(75 + i % 25);
        pkVictim->Recover(pkDoctor);
        EXPECT_EQ(kVictim.m_usHealth, 100);
    }
    kVictim.m_usHealth = 10;
    pkVictim->SetMood(CAIPrisoner::MOOD_INJURED, true);
    pkVictim->Recover(pkDoctor);
    EXPECT_GE(kVictim.m_usHealth, 35);
    EXPECT_LE(kVictim.m_usHealth, 100);
    EXPECT_EQ(kVictim.m_uiMood, kVictim.m_usHealth > 49 ? CAIPrisoner::MOOD_INDIFFERENT : CAIPrisoner::MOOD_INJURED);

    // Health 5 after a lost fight: 0 and injured, dead the next morning.
    pkAttacker->SetMood(CAIPrisoner::MOOD_ANGRY, true);
    kVictim.m_usHealth = 5;
    pkVictim->Recover(pkAttacker);
    EXPECT_EQ(kVictim.m_usHealth, 0);
    EXPECT_EQ(kVictim.m_uiMood, CAIPrisoner::MOOD_INJURED);
    const int iOrder = m_pkLedger->m_iOrder;
    pkVictim->FinishActivity();
    EXPECT_TRUE(pkVictim->IsGone());
    EXPECT_EQ(m_pkLedger->m_usPrisonersGone, 1);
    EXPECT_EQ(m_pkLedger->m_usTodayDeaths, 1);
    EXPECT_EQ(m_pkLedger->m_iOrder, iOrder - 10);
    EXPECT_GT(m_pkLedger->m_iIncidentCosts, 0);
    // Gone once: a second step changes nothing.
    pkVictim->FinishActivity();
    EXPECT_EQ(m_pkLedger->m_usPrisonersGone, 1);
}

TEST_F(CAIPrisonerTest, AngryPrisonersSpareTheirGangAndStaffSeekTheMoodTheyServe)
{
    CAIPrisoner* pkSeeker = Prisoner(16 * 4 + 4);
    CAIPrisoner* pkCandidate = Prisoner(16 * 4 + 8);
    pkSeeker->SetMood(CAIPrisoner::MOOD_ANGRY, true);
    pkCandidate->SetFree(true);
    CObjectQuery kQuery;
    kQuery.m_pkSeeker = pkSeeker;
    kQuery.m_fMaxDistanceSquared = 225.0f;
    auto Answer = [&](std::uint32_t uiSeekerGang, std::uint32_t uiGang) {
        pkSeeker->GetStats().m_uiGang = uiSeekerGang;
        pkCandidate->GetStats().m_uiGang = uiGang;
        return pkCandidate->IsCandidateFor(kQuery) != nullptr;
    };
    EXPECT_FALSE(Answer(1, 1));
    EXPECT_TRUE(Answer(1, 2));
    EXPECT_TRUE(Answer(0, 0));
    EXPECT_TRUE(Answer(0, 1));
    pkSeeker->SetMood(CAIPrisoner::MOOD_BORED, true);
    EXPECT_TRUE(Answer(1, 1));
    // The seeker's own search finds the candidate and makes it the partner.
    pkSeeker->SetMood(CAIPrisoner::MOOD_ANGRY, true);
    pkCandidate->GetStats().m_uiGang = 2;
    EXPECT_TRUE(pkSeeker->FindCharacterToServe());
    EXPECT_EQ(pkSeeker->GetPartner(), pkCandidate);

    // Staff: a guard wants the angry, a doctor the injured, a counsellor
    // the bored, unless they look for the nearest.
    CGameCharacter* pkGuard = Make("SecurityGuardFactory", "guard1", m_pkYard);
    StandOn(*pkGuard, 16 * 4 + 12);
    CGameCharacter* pkDoctor = Make("MedicalFactory", "doctor", m_pkYard);
    StandOn(*pkDoctor, 16 * 4 + 12);
    CGameCharacter* pkCounsellor = Make("SupportStaffFactory", "counsellor", m_pkYard);
    StandOn(*pkCounsellor, 16 * 4 + 12);
    auto Wanted = [&](CGameCharacter* pkStaff, std::uint32_t uiMood, bool bNearest) {
        pkCandidate->SetMood(uiMood, true);
        CObjectQuery kStaffQuery;
        kStaffQuery.m_pkSeeker = pkStaff;
        kStaffQuery.m_fMaxDistanceSquared = 225.0f;
        kStaffQuery.m_ucNearestOnly = bNearest ? 1 : 0;
        kStaffQuery.m_fBestDistance = 225.0f;
        return pkCandidate->IsCandidateFor(kStaffQuery) != nullptr;
    };
    EXPECT_TRUE(Wanted(pkGuard, CAIPrisoner::MOOD_ANGRY, false));
    EXPECT_FALSE(Wanted(pkGuard, CAIPrisoner::MOOD_BORED, false));
    EXPECT_TRUE(Wanted(pkDoctor, CAIPrisoner::MOOD_INJURED, false));
    EXPECT_FALSE(Wanted(pkDoctor, CAIPrisoner::MOOD_ANGRY, false));
    EXPECT_TRUE(Wanted(pkCounsellor, CAIPrisoner::MOOD_BORED, false));
    EXPECT_FALSE(Wanted(pkCounsellor, CAIPrisoner::MOOD_HAPPY, false));
    EXPECT_TRUE(Wanted(pkCounsellor, CAIPrisoner::MOOD_HAPPY, true));
}

// A query keeps what its seeker is only while the seeker stays: one query
// given to a guard, a doctor, an angry prisoner of the candidate's gang and
// nobody answers each of them as a fresh query would.
TEST_F(CAIPrisonerTest, AQueryGivenAnotherSeekerAnswersForTheNewOne)
{
    CAIPrisoner* pkCandidate = Prisoner(16 * 4 + 8);
    CAIPrisoner* pkRival = Prisoner(16 * 4 + 4);
    pkCandidate->SetFree(true);
    pkCandidate->SetMood(CAIPrisoner::MOOD_ANGRY, true);
    pkCandidate->GetStats().m_uiGang = 3;
    pkRival->SetMood(CAIPrisoner::MOOD_ANGRY, true);
    pkRival->GetStats().m_uiGang = 3;
    CGameCharacter* pkGuard = Make("SecurityGuardFactory", "guard1", m_pkYard);
    StandOn(*pkGuard, 16 * 4 + 12);
    CGameCharacter* pkDoctor = Make("MedicalFactory", "doctor", m_pkYard);
    StandOn(*pkDoctor, 16 * 4 + 12);

    CObjectQuery kQuery;
    kQuery.m_fMaxDistanceSquared = 225.0f;
    const auto Answers = [&](const COrvaneObject* pkSeeker) {
        kQuery.m_pkSeeker = pkSeeker;
        const bool bReused = pkCandidate->IsCandidateFor(kQuery) != nullptr;
        CObjectQuery kFresh;
        kFresh.m_fMaxDistanceSquared = 225.0f;
        kFresh.m_pkSeeker = pkSeeker;
        EXPECT_EQ(bReused, pkCandidate->IsCandidateFor(kFresh) != nullptr);
        return bReused;
    };
    EXPECT_TRUE(Answers(pkGuard));
    EXPECT_TRUE(Answers(pkGuard)); // asked twice by the same seeker
    EXPECT_FALSE(Answers(pkDoctor)); // wants the injured
    EXPECT_FALSE(Answers(pkRival)); // angry, same gang
    EXPECT_FALSE(Answers(nullptr));
    EXPECT_TRUE(Answers(pkGuard));
    EXPECT_EQ(CGameCharacter::SeekerOf(kQuery), pkGuard);
    pkCandidate->SetMood(CAIPrisoner::MOOD_INJURED, true);
    EXPECT_TRUE(Answers(pkDoctor));
    EXPECT_FALSE(Answers(pkGuard));
}

TEST_F(CAIPrisonerTest, SentencesEndOnlyAtTheYearStartAndTheOldDieThen)
{
    // A served term releases at the year's start, not before.
    CAIPrisoner* pkDue = Prisoner(0);
    pkDue->GetStats().m_usArrivalYear = 2000;
    pkDue->GetStats().m_usTerm = 3;
    pkDue->GetStats().m_usWorkCount = 4;
    pkDue->GetStats().m_usAge = 40;
    // A guard on the books: nobody escapes meanwhile.
    m_pkLedger->GetStaffGroup(0)->m_usCount = 1;
    NewYear(false);
    pkDue->FinishActivity();
    pkDue->FinishActivity();
    EXPECT_FALSE(pkDue->IsGone());
    EXPECT_EQ(m_pkLedger->m_usPrisonersReleased, 0);
    NewYear(true);
    CAIPrisoner* pkReleased = Prisoner(1);
    pkReleased->GetStats() = pkDue->GetStats();
    pkReleased->FinishActivity();
    EXPECT_TRUE(pkReleased->IsGone());
    EXPECT_EQ(m_pkLedger->m_usPrisonersReleased, 1);
    EXPECT_EQ(m_pkLedger->m_usTodayReleases, 1);
    EXPECT_EQ(m_pkLedger->m_usTodayCompleted, 1);
    EXPECT_GT(m_pkLedger->m_iOtherIncome, 0);

    // More fights than work: back to the roster, not released.
    CAIPrisoner* pkReoffender = Prisoner(2);
    pkReoffender->GetStats() = pkReleased->GetStats();
    pkReoffender->GetStats().m_usKnockdowns = 9;
    const std::size_t uiRoster = m_kSpawn.m_kReoffenders.size();
    pkReoffender->FinishActivity();
    EXPECT_TRUE(pkReoffender->IsGone());
    EXPECT_EQ(m_kSpawn.m_kReoffenders.size(), uiRoster + 1);
    EXPECT_EQ(m_pkLedger->m_usPrisonersReleased, 1);
    EXPECT_EQ(m_pkLedger->m_usTodayCompleted, 2);

    // Level 3 with an execution room: executed.
    m_pkLedger->m_usExecutionRooms = 1;
    CAIPrisoner* pkCondemned = Prisoner(3);
    pkCondemned->GetStats() = pkReleased->GetStats();
    pkCondemned->GetStats().m_usSecurityLevel = 3;
    pkCondemned->ResolveSentenceEnd();
    EXPECT_TRUE(pkCondemned->IsGone());
    EXPECT_EQ(m_pkLedger->m_usTodayExecutions, 1);
    EXPECT_EQ(m_pkLedger->m_usPrisonersGone, 1);

    // Age 76 dies at the year's start, unless rand() % 76 == 75.
    for (std::uint32_t uiSeed = 1; uiSeed < 2000; ++uiSeed)
    {
        NiSeedRandom(uiSeed);
        const bool bSpared = NiRand() % 76 == 75;
        if (!bSpared && uiSeed > 3)
            continue;
        CAIPrisoner* pkOld = Prisoner(4);
        pkOld->GetStats().m_usAge = 76;
        pkOld->GetStats().m_usTerm = 50;
        pkOld->GetStats().m_usArrivalYear = 2005;
        NiSeedRandom(uiSeed);
        pkOld->FinishActivity();
        EXPECT_EQ(pkOld->IsGone(), !bSpared) << uiSeed;
        m_pkManager->DestroyObject(pkOld, true);
        if (bSpared)
            break;
    }
    EXPECT_GE(m_pkLedger->m_usTodayOtherDepartures, 1);
}

TEST_F(CAIPrisonerTest, WithoutGuardsSomePrisonersEscapeAtNightAndWithOneNone)
{
    NewYear(false);
    int iEscapes = 0;
    for (int i = 0; i < 60; ++i)
    {
        CAIPrisoner* pkPrisoner = Prisoner(i % 16);
        pkPrisoner->GetStats().m_usTerm = 10;
        pkPrisoner->FinishActivity();
        iEscapes += pkPrisoner->HasEscaped() ? 1 : 0;
        if (pkPrisoner->HasEscaped())
        {
            EXPECT_TRUE(pkPrisoner->IsGone());
            EXPECT_EQ(pkPrisoner->GetStats().m_usWorkCount, 0);
            // Once only.
            pkPrisoner->Escape();
        }
    }
    EXPECT_GT(iEscapes, 0);
    EXPECT_EQ(m_pkLedger->m_usEscapes, iEscapes);
    EXPECT_EQ(m_pkLedger->m_usTodayEscapes, iEscapes);
    EXPECT_EQ(Calls("PostMessage 64"), static_cast<std::size_t>(iEscapes));

    ASSERT_NE(Guard(0), nullptr);
    EXPECT_EQ(m_pkLedger->GetStaffGroup(0)->m_usCount, 1);
    for (int i = 0; i < 60; ++i)
    {
        CAIPrisoner* pkPrisoner = Prisoner(i % 16);
        pkPrisoner->GetStats().m_usTerm = 10;
        pkPrisoner->FinishActivity();
        EXPECT_FALSE(pkPrisoner->HasEscaped());
    }
    EXPECT_EQ(m_pkLedger->m_usEscapes, iEscapes);
}
} // namespace
