#include "game/simulation/characters/CGameCharacter.h"

#include "engine/core/NiRandom.h"
#include "framework/COrvaneAICharacterController.h"
#include "framework/COrvaneAIControllerManager.h"
#include "framework/COrvaneAnim.h"
#include "framework/COrvaneBlock.h"
#include "framework/COrvaneComposite.h"
#include "framework/COrvaneObjectDesc.h"
#include "game/simulation/characters/CAIPrisoner.h"
#include "game/simulation/characters/CAIStaff.h"
#include "game/simulation/objects/CBlockGrid.h"
#include "game/simulation/objects/CBlockGridManager.h"
#include "game/simulation/objects/CDynamicObjectManager.h"
#include "game/simulation/objects/CObjectQuery.h"
#include "game/simulation/objects/CPathableObject.h"
#include "tests/game/simulation/characters/CharacterTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace
{
class CGameCharacterTest : public CharacterTest
{
protected:
    void SetUp() override
    {
        CharacterTest::SetUp();
        UseStubControllers();
    }

    // The lines of a record, without their line ends.
    static std::vector<std::string> Lines(const std::string& kText)
    {
        std::vector<std::string> kLines;
        for (std::size_t uiAt = 0; uiAt < kText.size();)
        {
            const std::size_t uiEnd = kText.find("\r\n", uiAt);
            kLines.push_back(kText.substr(uiAt, uiEnd - uiAt));
            uiAt = uiEnd + 2;
        }
        return kLines;
    }
};
} // namespace

TEST_F(CGameCharacterTest, CreationDrawsHeadBodySpeedNamesAndAgeInOrder)
{
    m_kHost.m_usPersonCounter = 41;
    CGameCharacter* pkWoman = Make("PrisonerFactory", "con_female");
    ASSERT_NE(pkWoman, nullptr);
    CCharacterStats& kStats = pkWoman->GetStats();
    EXPECT_EQ(kStats.m_uiGender, 1u);
    EXPECT_GE(kStats.m_usHeadTexture, 1);
    EXPECT_LE(kStats.m_usHeadTexture, 5);
    EXPECT_LT(kStats.m_usFirstName, 20);
    EXPECT_LT(kStats.m_usStarSign, 12);
    EXPECT_EQ(kStats.m_usPersonNumber, 41);
    EXPECT_EQ(m_kHost.m_usPersonCounter, 42);
    EXPECT_GE(kStats.m_usAge, 20);
    EXPECT_LE(kStats.m_usAge, 49);
    const float fSteps = (pkWoman->GetSpeed() - 1.25f) / 0.05f;
    EXPECT_NEAR(fSteps, std::round(fSteps), 1e-4f);
    EXPECT_LE(fSteps, 4.01f);
    ASSERT_NE(pkWoman->GetActiveController(), nullptr);
    EXPECT_STREQ(pkWoman->GetActiveController()->GetName(), "wander");

    // The draws come in the stated order from the seeded source.
    NiResetRandom();
    (void)NiRand(); // the framework's own walking speed
    const int iHead = NiRand() % 5 + 1;
    (void)NiRand(); // body
    (void)NiRand(); // speed
    const int iFirst = NiRand() % 20;
    const int iSurname = NiRand() % 20;
    const int iSign = NiRand() % 12;
    const int iAge = 20 + NiRand() % 30;
    NiResetRandom();
    CGameCharacter* pkAgain = Make("PrisonerFactory", "con_female");
    EXPECT_EQ(pkAgain->GetStats().m_usHeadTexture, iHead);
    EXPECT_EQ(pkAgain->GetStats().m_usFirstName, iFirst);
    EXPECT_EQ(pkAgain->GetStats().m_usSurname, iSurname);
    EXPECT_EQ(pkAgain->GetStats().m_usStarSign, iSign);
    EXPECT_EQ(pkAgain->GetStats().m_usAge, iAge);

    for (int i = 0; i < 20; ++i)
    {
        CGameCharacter* pkOld = Make("PrisonerFactory", "old_lag");
        EXPECT_EQ(pkOld->GetStats().m_uiGender, 0u);
        EXPECT_GE(pkOld->GetStats().m_usAge, 60);
        EXPECT_LE(pkOld->GetStats().m_usAge, 70);
        CGameCharacter* pkMedic = Make("MedicalFactory", "doctor");
        EXPECT_EQ(pkMedic->GetStats().m_usHeadTexture, 1);
    }
}

TEST_F(CGameCharacterTest, TheSixFactoriesMakeTheirKinds)
{
    EXPECT_NE(dynamic_cast<CAIPrisoner*>(Make("PrisonerFactory", "thug")), nullptr);
    EXPECT_NE(dynamic_cast<CAISecurity*>(Make("SecurityGuardFactory", "guard1")), nullptr);
    EXPECT_NE(dynamic_cast<CAIMedical*>(Make("MedicalFactory", "doctor")), nullptr);
    EXPECT_NE(dynamic_cast<CAISupportStaff*>(Make("SupportStaffFactory", "chaplain")), nullptr);
    CGameCharacter* pkWorker = Make("MaintenanceStaffFactory", "maint_worker");
    ASSERT_NE(dynamic_cast<CAIMaintenance*>(pkWorker), nullptr);
    CGameCharacter* pkPlain = Make("GameCharacterFactory", "thug");
    ASSERT_NE(pkPlain, nullptr);
    EXPECT_EQ(dynamic_cast<CAIStaff*>(pkPlain), nullptr);
    EXPECT_EQ(dynamic_cast<CAIPrisoner*>(pkPlain), nullptr);
    const int aiJobs[] = {
        dynamic_cast<CAIStaff*>(Make("SecurityGuardFactory", "guard1"))->GetJobTitleIndex(),
        dynamic_cast<CAIStaff*>(Make("MedicalFactory", "doctor"))->GetJobTitleIndex(),
        dynamic_cast<CAIStaff*>(Make("SupportStaffFactory", "chaplain"))->GetJobTitleIndex(),
        dynamic_cast<CAIStaff*>(pkWorker)->GetJobTitleIndex()};
    EXPECT_EQ(std::vector<int>(std::begin(aiJobs), std::end(aiJobs)), (std::vector<int>{0, 2, 2, 1}));
    EXPECT_TRUE(pkWorker->PlayWorkAnimation());
    EXPECT_NE(std::strstr(pkWorker->GetCurrentAnimation()->GetName(), "work"), nullptr);
    EXPECT_FALSE(pkPlain->PlayWorkAnimation());
    // A staff member asked for a duty while free marks it; a busy one not.
    auto* pkGuard = dynamic_cast<CAIStaff*>(Make("SecurityGuardFactory", "guard1"));
    EXPECT_FALSE(pkGuard->IsIdle()); // entering "wander" engaged it
    pkGuard->RequestRecall();
    EXPECT_EQ(pkGuard->GetDutyState()[0], 0);
    pkGuard->SetFree(true);
    EXPECT_TRUE(pkGuard->IsIdle());
    pkGuard->RequestRecall();
    EXPECT_EQ(pkGuard->GetDutyState()[0], 1);
}

TEST_F(CGameCharacterTest, EmptyNameListsGiveIndexZeroWithoutADraw)
{
    m_kSpawn.m_kMaleNames.clear();
    m_kSpawn.m_kSurnames.clear();
    NiResetRandom();
    (void)NiRand();
    (void)NiRand(); // head
    (void)NiRand(); // body
    (void)NiRand(); // speed
    const int iSign = NiRand() % 12;
    NiResetRandom();
    CGameCharacter* pkThug = Make("PrisonerFactory", "thug");
    EXPECT_EQ(pkThug->GetStats().m_usFirstName, 0);
    EXPECT_EQ(pkThug->GetStats().m_usSurname, 0);
    EXPECT_EQ(pkThug->GetStats().m_usStarSign, iSign);
}

TEST_F(CGameCharacterTest, TheRecordHasItsLinesExactlyAndRoundTripsForEveryKind)
{
    CBlockGrid* pkYard = Area(1);
    m_kHost.m_usPersonCounter = 7;
    CGameCharacter* pkPartner = Make("SecurityGuardFactory", "guard1", pkYard);
    CGameCharacter* pkThug = Make("PrisonerFactory", "thug", pkYard);
    StandOn(*pkThug, 9);
    pkThug->SetDestination(12);
    pkThug->SetPartner(pkPartner);
    pkThug->GetStats().m_usWage = 70000 & 0xFFFF;
    const std::vector<std::string> kLines = Lines(SaveText(*pkThug));
    ASSERT_EQ(kLines.size(), 12u);
    EXPECT_EQ(kLines[1], "1");   // grid number
    EXPECT_EQ(kLines[2], "12");  // target cell
    EXPECT_EQ(kLines[3], "-1");  // target
    EXPECT_EQ(kLines[4], "-1");  // previous target
    EXPECT_EQ(kLines[5], "7");   // the partner's person number
    EXPECT_EQ(kLines[6], "-1");  // previous partner: never written
    EXPECT_EQ(kLines[7], "4");
    EXPECT_EQ(kLines[8], "wander");
    EXPECT_EQ(kLines[9], "0,0,0");
    EXPECT_EQ(kLines[10], "-1"); // home
    EXPECT_EQ(kLines[11], pkThug->GetStats().FormatLine());

    for (auto [pcFactory, pcTemplate] : {std::pair{"PrisonerFactory", "con_female"},
                                         {"SecurityGuardFactory", "guard_female"},
                                         {"MedicalFactory", "doctor"},
                                         {"SupportStaffFactory", "counsellor"},
                                         {"MaintenanceStaffFactory", "maint_worker"},
                                         {"GameCharacterFactory", "thug"}})
    {
        SCOPED_TRACE(pcFactory);
        CGameCharacter* pkSaved = Make(pcFactory, pcTemplate, pkYard);
        StandOn(*pkSaved, 20);
        pkSaved->GetStats().m_usArrivalYear = 2001;
        pkSaved->GetStats().m_usTerm = 9;
        const std::string kText = SaveText(*pkSaved);
        CGameCharacter* pkLoaded = Make(pcFactory, pcTemplate);
        ASSERT_EQ(LoadText(*pkLoaded, kText), 1);
        EXPECT_EQ(pkLoaded->GetStats(), pkSaved->GetStats());
        pkLoaded->ResolveReferences();
        EXPECT_EQ(pkLoaded->GetGrid(), pkYard);
        EXPECT_EQ(SaveText(*pkLoaded), kText);
    }
}

TEST_F(CGameCharacterTest, ReferencesResolveByGridCellAndPersonNumber)
{
    CBlockGrid* pkYard = Area(1);
    m_kHost.m_usPersonCounter = 30;
    CGameCharacter* pkPartner = Make("PrisonerFactory", "thug", pkYard);
    CGameCharacter* pkLoaded = Make("PrisonerFactory", "thug");
    const std::string kRecord = "3.00000,0.00000,-5.00000,0.00000\r\n1\r\n-1\r\n-1\r\n-7,5\r\n30\r\n-1\r\n4\r\nwander\r\n"
                                "0,0,0\r\n-1\r\n0,0,1,0,100,2,3,4,77,30,2007,5,0,3,0,0,0,2\r\n";
    ASSERT_EQ(LoadText(*pkLoaded, kRecord), 1);
    // A first number below 0 stands for no object.
    EXPECT_EQ(pkLoaded->GetObjectReferences(),
              (std::vector<std::array<std::int32_t, 2>>{{-1, -1}, {-1, -1}, {-1, -1}}));
    EXPECT_EQ(pkLoaded->GetPersonReferences(), (std::vector<std::int32_t>{30, -1}));
    EXPECT_EQ(pkLoaded->GetStats().m_usPersonNumber, 77);
    // Arrival years after this year are brought back to it.
    EXPECT_EQ(pkLoaded->GetStats().m_usArrivalYear, 2005);
    pkLoaded->ResolveReferences();
    EXPECT_EQ(pkLoaded->GetPartner(), pkPartner);
    EXPECT_EQ(pkLoaded->GetPreviousPartner(), nullptr);
    EXPECT_EQ(pkLoaded->GetGrid(), pkYard);
    EXPECT_EQ(*pkLoaded->GetModelPosition(), NiVec3(3.0f, 0.0f, -5.0f));
    EXPECT_TRUE(pkLoaded->GetObjectReferences().empty());
    EXPECT_EQ(CGameCharacter::FindCharacterByNumber(77), pkLoaded);
    EXPECT_EQ(CGameCharacter::FindCharacterByNumber(-1), nullptr);
}

TEST_F(CGameCharacterTest, AShortPersonLineKeepsTheFreshValuesPastItsEnd)
{
    CGameCharacter* pkLoaded = Make("PrisonerFactory", "thug");
    const std::string kRecord = "0.00000,0.00000,0.00000,0.00000\r\n-1\r\n-1\r\n-1\r\n-1\r\n-1\r\n-1\r\n4\r\nwander\r\n"
                                "0,0,0\r\n-1\r\n1,2,3,1,50,3,4,5,6,30,2000,5,0,3,1,2,3\r\n";
    ASSERT_EQ(LoadText(*pkLoaded, kRecord), 1);
    EXPECT_EQ(pkLoaded->GetStats().m_uiGender, 1u);
    EXPECT_EQ(pkLoaded->GetStats().m_usWage, 3);
    EXPECT_EQ(pkLoaded->GetStats().m_usHeadTexture, 0);
}

TEST_F(CGameCharacterTest, ACutOrDamagedRecordChangesNothing)
{
    CBlockGrid* pkYard = Area(1);
    CGameCharacter* pkSaved = Make("PrisonerFactory", "thug", pkYard);
    StandOn(*pkSaved, 18);
    pkSaved->SetDestination(3);
    const std::string kGood = SaveText(*pkSaved);
    CGameCharacter* pkVictim = Make("SecurityGuardFactory", "guard1", pkYard);
    StandOn(*pkVictim, 30);
    pkVictim->SetController("objectUse", true, true);
    const std::string kBefore = SaveText(*pkVictim);
    const std::vector<std::string> kLines = Lines(kGood);
    // Cut after every line (the last one's cut is a whole record).
    for (std::size_t n = 0; n + 1 < kLines.size(); ++n)
    {
        SCOPED_TRACE(n);
        std::string kCut;
        for (std::size_t i = 0; i <= n; ++i)
            kCut += kLines[i] + "\r\n";
        EXPECT_EQ(LoadText(*pkVictim, kCut), 0);
        EXPECT_EQ(SaveText(*pkVictim), kBefore);
    }
    // A bad number in each line.
    for (std::size_t n = 0; n < kLines.size(); ++n)
    {
        SCOPED_TRACE(n);
        std::string kBad;
        for (std::size_t i = 0; i < kLines.size(); ++i)
            kBad += (i == n ? (n == 8 ? std::string("escape") : "x" + kLines[i]) : kLines[i]) + "\r\n";
        EXPECT_EQ(LoadText(*pkVictim, kBad), 0);
        EXPECT_EQ(SaveText(*pkVictim), kBefore);
    }
    // A fresh character, as the registry loads into, takes the whole record.
    CGameCharacter* pkFresh = Make("PrisonerFactory", "thug");
    EXPECT_EQ(LoadText(*pkFresh, kGood), 1);
    pkFresh->ResolveReferences();
    EXPECT_EQ(SaveText(*pkFresh), kGood);
}

TEST_F(CGameCharacterTest, PersonRulesHomeStatsAgeAndDebugText)
{
    CGameCharacter* pkThug = Make("PrisonerFactory", "thug");
    CCharacterStats kStats;
    kStats.m_usArrivalYear = 2010;
    kStats.m_usAge = 30;
    kStats.m_usHeadTexture = 4;
    pkThug->SetStats(kStats);
    EXPECT_EQ(pkThug->GetStats().m_usArrivalYear, 2005);
    // The age rises only on the frame the day counter wraps to 0.
    m_kHost.m_kClock.m_ucDayRolled = 1;
    m_kHost.m_kClock.m_usDay = 2;
    pkThug->Update(0.0f);
    EXPECT_EQ(pkThug->GetStats().m_usAge, 30);
    m_kHost.m_kClock.m_usDay = 0;
    pkThug->Update(0.0f);
    EXPECT_EQ(pkThug->GetStats().m_usAge, 31);
    m_kHost.m_kClock.m_ucDayRolled = 0;
    pkThug->Update(0.0f);
    EXPECT_EQ(pkThug->GetStats().m_usAge, 31);

    pkThug->GetStats().m_usSurname = 2;
    pkThug->GetStats().m_usFirstName = 1;
    EXPECT_EQ(pkThug->DebugText(), m_kSpawn.m_kSurnames[2] + ",\n" + m_kSpawn.m_kMaleNames[1] +
                                       " : CONTROLLER = wander: STATE = 0");
    pkThug->SetMood(3, false);
    EXPECT_EQ(pkThug->GetStats().m_uiMood, 3u);
    EXPECT_EQ(pkThug->GetStats().m_usMoodIntensity, 2);
}

TEST_F(CGameCharacterTest, PartnersAreTakenAndLetGoOnlyWhenFree)
{
    CBlockGrid* pkYard = Area(1, 20, 20);
    CGameCharacter* pkUser = Make("PrisonerFactory", "thug", pkYard);
    CGameCharacter* pkUsed = Make("PrisonerFactory", "old_lag", pkYard);
    StandOn(*pkUser, 0);
    StandOn(*pkUsed, 4); // 8 units away
    pkUsed->SetFree(true);
    CObjectQuery kQuery;
    kQuery.m_pkSeeker = pkUser;
    kQuery.m_fMaxDistanceSquared = 100.0f;
    EXPECT_EQ(pkUsed->IsCandidateFor(kQuery), pkUsed);
    kQuery.m_fMaxDistanceSquared = 50.0f;
    EXPECT_EQ(pkUsed->IsCandidateFor(kQuery), nullptr);
    StandOn(*pkUsed, 1); // closer than three units
    kQuery.m_fMaxDistanceSquared = 100.0f;
    EXPECT_EQ(pkUsed->IsCandidateFor(kQuery), nullptr);
    kQuery.m_fMaxDistanceSquared = 0.0f;
    EXPECT_EQ(pkUsed->IsCandidateFor(kQuery), pkUsed);
    kQuery.m_pkSkip = pkUsed;
    EXPECT_EQ(pkUsed->IsCandidateFor(kQuery), nullptr);

    EXPECT_FALSE(pkUsed->BeUsedByCharacter(nullptr));
    ASSERT_TRUE(pkUsed->BeUsedByCharacter(pkUser));
    EXPECT_EQ(pkUsed->GetPartner(), pkUser);
    EXPECT_FALSE(pkUsed->IsFree());
    EXPECT_STREQ(pkUsed->GetPendingController()->GetName(), "usedByCharacter");
    EXPECT_EQ(pkUsed->GetWalkMode(), CGameCharacter::MODE_INTERACTING);
    EXPECT_FALSE(pkUsed->BeUsedByCharacter(pkUser)); // busy
    EXPECT_FALSE(pkUsed->ReleasePartner(pkUsed));    // not its partner
    ASSERT_TRUE(pkUsed->ReleasePartner(pkUser));
    EXPECT_TRUE(pkUsed->IsFree());
    EXPECT_EQ(pkUsed->GetPartner(), nullptr);
    EXPECT_EQ(pkUsed->GetPreviousPartner(), pkUser);
    EXPECT_STREQ(pkUsed->GetPendingController()->GetName(), "wander");

    // The partner going leaves nothing behind.
    ASSERT_TRUE(pkUsed->BeUsedByCharacter(pkUser));
    m_pkManager->DestroyObject(pkUser, true);
    EXPECT_EQ(pkUsed->GetPartner(), nullptr);
    EXPECT_EQ(pkUsed->GetPreviousPartner(), nullptr);
    EXPECT_STREQ(pkUsed->GetActiveController()->GetName(), "wander");
}

// A user sent away (a footprint laid over its walk) lets go of the one it
// holds, which would otherwise wait for it for good; one held by another
// keeps its own partner.
TEST_F(CGameCharacterTest, AUserSentAwayLetsGoOfTheOneItHolds)
{
    CBlockGrid* pkYard = Area(1, 20, 20);
    CGameCharacter* pkUser = Make("PrisonerFactory", "thug", pkYard);
    CGameCharacter* pkUsed = Make("PrisonerFactory", "old_lag", pkYard);
    CGameCharacter* pkOther = Make("PrisonerFactory", "thug", pkYard);
    StandOn(*pkUser, 0);
    StandOn(*pkUsed, 4);
    StandOn(*pkOther, 8);
    pkUsed->SetFree(true);
    pkUser->SetPartner(pkUsed);
    ASSERT_TRUE(pkUsed->BeUsedByCharacter(pkUser));
    pkUser->ForceRelocate();
    EXPECT_EQ(pkUser->GetPartner(), nullptr);
    EXPECT_TRUE(pkUsed->IsFree());
    EXPECT_EQ(pkUsed->GetPartner(), nullptr);
    EXPECT_EQ(pkUsed->GetPreviousPartner(), pkUser);
    EXPECT_STREQ(pkUsed->GetPendingController()->GetName(), "wander");

    // Held by another: sending the first away leaves that hold alone.
    pkOther->SetPartner(pkUsed);
    ASSERT_TRUE(pkUsed->BeUsedByCharacter(pkOther));
    pkUser->SetPartner(pkUsed);
    pkUser->ForceRelocate();
    EXPECT_FALSE(pkUsed->IsFree());
    EXPECT_EQ(pkUsed->GetPartner(), pkOther);
}

TEST_F(CGameCharacterTest, RelocationGoesHomeElseToTheRoadElseToTheYard)
{
    CGameCharacter* pkLost = Make("PrisonerFactory", "thug");
    // Without a yard the character stays where it is.
    pkLost->SetPosition(NiVec3(50.0f, 0.0f, 50.0f), 0);
    pkLost->Relocate();
    EXPECT_EQ(*pkLost->GetModelPosition(), NiVec3(50.0f, 0.0f, 50.0f));
    EXPECT_STREQ(pkLost->GetActiveController()->GetName(), "wander");
    CBlockGrid* pkYard = Area(1);
    pkLost->Relocate();
    NiVec3 kCellZero;
    pkYard->CellPosition(0, kCellZero, true);
    EXPECT_EQ(*pkLost->GetModelPosition(), kCellZero);
    EXPECT_EQ(pkLost->GetGrid(), pkYard);
    EXPECT_TRUE(pkYard->IsMember(pkLost));

    CBlockGrid* pkField = Area(2);
    pkLost->SetGrid(pkField);
    EXPECT_FALSE(pkYard->IsMember(pkLost));
    EXPECT_TRUE(pkField->IsMember(pkLost));
    CGameCharacter* pkWalker = Make("PrisonerFactory", "thug", pkField);
    StandOn(*pkWalker, 10);
    EXPECT_TRUE(pkWalker->IsAboutToStandOn(*pkField, 10));
    pkWalker->ForceRelocate();
    EXPECT_EQ(pkWalker->GetGrid(), pkYard);
    EXPECT_TRUE(pkWalker->IsSkippingUpdate());
}

TEST_F(CGameCharacterTest, AWalkerOnABlockedCellOrPastTheEdgeStepsBackBeforeItChooses)
{
    UseStubControllers();
    CBlockGrid* pkYard = Area(1, 8, 8);
    CGameCharacter* pkWalker = Make("GameCharacterFactory", "thug", pkYard);
    ASSERT_NE(pkWalker, nullptr);
    // Inside a footprint: every cell blocked but one, diagonal to it.
    const std::int32_t iFree = pkYard->CellIndex(1, 2, true);
    for (std::int32_t i = 0; i < 64; ++i)
        if (i != iFree)
            pkYard->GetBlock(i)->SetState(COrvaneBlock::STATE_BLOCKING);
    StandOn(*pkWalker, pkYard->CellIndex(2, 3, true));
    EXPECT_TRUE(pkWalker->StepOffBlockedCell());
    EXPECT_EQ(pkWalker->GetCurrentCell(), iFree);
    // Placed there once the scene places the model.
    pkWalker->GetModel()->UpdateNode(0.0f);
    EXPECT_EQ(pkYard->CellAt(*pkWalker->GetModelPosition()), iFree);
    // Nothing walkable within two cells: it stays and chooses nothing.
    const std::int32_t iFar = pkYard->CellIndex(6, 6, true);
    StandOn(*pkWalker, iFar);
    EXPECT_FALSE(pkWalker->ChooseWanderTarget());
    EXPECT_EQ(pkWalker->GetCurrentCell(), iFar);

    // Just past the edge: back onto the nearest cell, then a walk.
    for (std::int32_t i = 0; i < 64; ++i)
        pkYard->GetBlock(i)->SetState(COrvaneBlock::STATE_FREE);
    NiVec3 kCorner;
    ASSERT_NE(pkYard->CellPosition(0, kCorner, true), nullptr);
    // Half a cell past the outer corner, whichever way the grid lies.
    NiVec3 kOther;
    ASSERT_NE(pkYard->CellPosition(pkYard->CellIndex(1, 1, true), kOther, true), nullptr);
    const NiVec3 kOff = kCorner + (kCorner - kOther) * 0.75f;
    pkWalker->SetPosition(kOff, 0);
    pkWalker->SetGrid(pkYard);
    ASSERT_EQ(pkWalker->GetCurrentCell(), -1);
    EXPECT_TRUE(pkWalker->ChooseWanderTarget());
    EXPECT_EQ(pkWalker->GetCurrentCell(), 0);
    EXPECT_GE(pkWalker->GetDestination(), 0);
}

// Whom a load leaves where it was saved: someone on a free cell comes back
// the same; someone whose model stepped onto a blocked cell since its last
// update, or who only holds a place at an object it walks to, is moved.
TEST_F(CGameCharacterTest, ALoadLeavesWhereTheyStandExactlyThoseItSaysItKeeps)
{
    CBlockGrid* pkYard = Area(1);
    CGameCharacter* pkStanding = Make("PrisonerFactory", "thug", pkYard);
    StandOn(*pkStanding, 20);
    ASSERT_TRUE(pkStanding->StandsWhereALoadKeepsIt());
    const std::string kStanding = SaveText(*pkStanding);
    CGameCharacter* pkLoaded = Make("PrisonerFactory", "thug");
    ASSERT_EQ(LoadText(*pkLoaded, kStanding), 1);
    pkLoaded->ResolveReferences();
    EXPECT_EQ(SaveText(*pkLoaded), kStanding);

    // Its model moved onto a blocked cell; its current cell is still the
    // free one of the last update.
    pkYard->GetBlock(21)->SetState(COrvaneBlock::STATE_BLOCKING);
    NiVec3 kBlocked;
    ASSERT_NE(pkYard->CellPosition(21, kBlocked, true), nullptr);
    pkStanding->SetPosition(kBlocked, 0);
    pkStanding->GetModel()->UpdateNode(0.0f);
    ASSERT_EQ(pkStanding->GetCurrentCell(), 20);
    EXPECT_FALSE(pkStanding->StandsWhereALoadKeepsIt());
    CGameCharacter* pkMoved = Make("PrisonerFactory", "thug");
    ASSERT_EQ(LoadText(*pkMoved, SaveText(*pkStanding)), 1);
    pkMoved->ResolveReferences();
    NiVec3 kCellZero;
    ASSERT_NE(pkYard->CellPosition(0, kCellZero, true), nullptr);
    EXPECT_EQ(*pkMoved->GetModelPosition(), kCellZero);

    // A place held at a bench on the way there is not in the record: the
    // bench's blocked cells are no place to stand.
    COrvaneObjectDesc kDesc;
    kDesc.m_pkTemplate = m_pkManager->FindTemplate("work_bench");
    kDesc.m_ucMode = 1;
    auto* pkBench =
        dynamic_cast<CPathableObject*>(m_pkManager->CreateObject(m_pkManager->FindFactory("WorkObjectFactory", nullptr), kDesc));
    ASSERT_NE(pkBench, nullptr);
    NiVec3 kAt;
    ASSERT_NE(pkYard->CellPosition(36, kAt, true), nullptr);
    pkBench->SetPosition(kAt, 0);
    pkBench->PlaceAt(kAt, pkYard);
    pkBench->Update(0.0f);
    pkBench->GetModel()->UpdateNode(0.0f);
    pkBench->Place();
    CGameCharacter* pkWorker = Make("PrisonerFactory", "thug", pkYard);
    StandOn(*pkWorker, 36);
    ASSERT_FALSE(pkYard->GetBlock(36)->IsWalkable());
    ASSERT_TRUE(pkWorker->ReserveUseOf(pkBench));
    pkWorker->SetController("pathToSpecific", true, true);
    EXPECT_FALSE(pkWorker->StandsWhereALoadKeepsIt());
    // Using it, the object use's record keeps the place.
    pkWorker->SetController("objectUse", true, true);
    EXPECT_TRUE(pkWorker->StandsWhereALoadKeepsIt());
}

TEST_F(CGameCharacterTest, APlacedCharacterStandsOnItsNewCellAtOnce)
{
    UseStubControllers();
    CBlockGrid* pkYard = Area(1, 8, 8);
    CGameCharacter* pkWalker = Make("GameCharacterFactory", "thug", pkYard);
    ASSERT_NE(pkWalker, nullptr);
    const std::int32_t iFrom = pkYard->CellIndex(6, 6, true);
    StandOn(*pkWalker, iFrom);
    // A frame: the character steps, then the scene places its model.
    pkWalker->Update(0.0f);
    pkWalker->GetModel()->UpdateNode(0.0f);
    ASSERT_EQ(pkYard->CellAt(*pkWalker->GetModelPosition()), iFrom);
    ASSERT_EQ(pkWalker->GetCurrentCell(), iFrom);

    // Put back on a cell: the cell is the new one before any scene update.
    const std::int32_t iTo = pkYard->CellIndex(1, 2, true);
    pkWalker->ReturnToCell(1, iTo);
    EXPECT_EQ(pkWalker->GetCurrentCell(), iTo);
    EXPECT_EQ(pkYard->CellAt(*pkWalker->GetModelPosition()), iTo);
    // The next step of the character keeps it there.
    pkWalker->Update(0.0f);
    EXPECT_EQ(pkWalker->GetCurrentCell(), iTo);

    // Relocated without a home or road: cell 0 of the yard, at once too.
    pkWalker->Relocate();
    EXPECT_EQ(pkWalker->GetCurrentCell(), 0);
    pkWalker->Update(0.0f);
    EXPECT_EQ(pkWalker->GetCurrentCell(), 0);
}
