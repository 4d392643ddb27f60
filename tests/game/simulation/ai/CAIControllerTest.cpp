#include "game/simulation/ai/CAIControllerManager.h"

#include "engine/core/NiRandom.h"
#include "engine/scene/NiCamera.h"
#include "framework/COrvaneAIStateBlock.h"
#include "framework/COrvaneAnim.h"
#include "framework/COrvaneAnimationSpline.h"
#include "framework/COrvaneCamera.h"
#include "framework/COrvaneComposite.h"
#include "framework/COrvaneFile.h"
#include "framework/COrvaneIOObject.h"
#include "framework/COrvaneObjectDesc.h"
#include "game/simulation/ai/CAIMovementControllers.h"
#include "game/simulation/ai/CAIUseControllers.h"
#include "game/simulation/characters/CAIPrisoner.h"
#include "game/simulation/characters/CAIStaff.h"
#include "game/simulation/objects/CBlock.h"
#include "game/simulation/objects/CBlockGrid.h"
#include "game/simulation/objects/CBlockGridManager.h"
#include "game/simulation/objects/CBlockGridStack.h"
#include "game/simulation/objects/CConnector.h"
#include "game/simulation/objects/CDynamicObjectManager.h"
#include "game/simulation/objects/CGameFactories.h"
#include "game/simulation/objects/CPathableObject.h"
#include "game/simulation/objects/CPrisonStatistics.h"
#include "game/simulation/objects/CSpawnObject.h"
#include "game/simulation/objects/CWorld.h"
#include "game/simulation/objects/CWorldObject.h"
#include "tests/framework/TestClock.h"
#include "tests/game/simulation/characters/CharacterTestSupport.h"
#include "tools/COrvaneDemoLevel.h"
#include "tools/COrvaneDemoModel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <string>

namespace
{
constexpr float FRAME = 1.0f / 60.0f;

class CAIControllerTest : public CharacterTest
{
protected:
    void SetUp() override
    {
        CharacterTest::SetUp();
        // Path searches never split: the tick stands still.
        os::SetClock(&m_kClock);
        auto pkControllers = std::make_unique<CAIControllerManager>();
        pkControllers->RegisterControllers();
        m_pkControllers = std::move(pkControllers);
        m_kHost.m_pkControllerManager = m_pkControllers.get();
        m_kHost.m_pkWorld = &m_kWorld;
    }

    void TearDown() override
    {
        CharacterTest::TearDown();
        os::SetClock(nullptr);
    }

    // The demo level's yard (1) and field (2) with their connectors.
    void LoadDemoLevel()
    {
        ASSERT_TRUE(WriteDemoLevel("."));
        ASSERT_TRUE(m_kWorld.LoadLevel(DEMO_LEVEL_FILE, nullptr));
        m_pkYard = CBlockGridManager::GetInstance()->FindGrid(1);
        m_pkField = CBlockGridManager::GetInstance()->FindGrid(2);
        ASSERT_TRUE(m_pkYard && m_pkField);
    }

    // A demo usable object standing on the cell, placed.
    CPathableObject* Stand(const char* pcTemplate, CBlockGrid& kFloor, std::int32_t iCell,
                           const char* pcFactory = "FoodObjectFactory", float fHeading = 0.0f)
    {
        COrvaneObjectDesc kDesc;
        kDesc.m_pkTemplate = m_pkManager->FindTemplate(pcTemplate);
        kDesc.m_ucMode = 1;
        auto* pkObject = dynamic_cast<CPathableObject*>(
            m_pkManager->CreateObject(m_pkManager->FindFactory(pcFactory, nullptr), kDesc));
        NiVec3 kAt;
        if (!pkObject || !kFloor.CellPosition(iCell, kAt, true))
            return nullptr;
        if (fHeading != 0.0f)
            pkObject->Rotate(NiVec3::UNIT_Y, fHeading, false);
        pkObject->SetPosition(kAt, 0);
        pkObject->PlaceAt(kAt, &kFloor);
        pkObject->Update(0.0f);
        if (COrvaneComposite* pkModel = pkObject->GetModel())
            pkModel->UpdateNode(0.0f);
        pkObject->Place();
        return pkObject;
    }

    // Frames of the registry until the test holds or the time runs out.
    bool RunUntil(float fSeconds, const std::function<bool()>& kDone)
    {
        for (float fTime = 0.0f; fTime < fSeconds; fTime += FRAME)
        {
            m_pkManager->UpdateObjects(FRAME);
            // The level's scene update places the models in the game.
            m_fSceneTime += FRAME;
            for (std::uint32_t i = 0; COrvaneObject* pkObject = m_pkManager->GetObjectAt(i); ++i)
                if (COrvaneComposite* pkModel = pkObject->GetModel())
                    pkModel->UpdateNode(m_fSceneTime);
            if (kDone())
                return true;
        }
        return false;
    }

    static std::string Controller(const CGameCharacter& kCharacter)
    {
        const COrvaneAICharacterController* pkActive = kCharacter.GetActiveController();
        return pkActive && pkActive->GetName() ? pkActive->GetName() : "";
    }

    static std::string Animation(const COrvaneObject& kObject)
    {
        const COrvaneAnim* pkAnimation = kObject.GetCurrentAnimation();
        return pkAnimation && pkAnimation->GetName() ? pkAnimation->GetName() : "";
    }

    std::string SaveController(CGameCharacter& kCharacter)
    {
        {
            COrvaneFile kFile;
            EXPECT_EQ(kFile.Open("controller.txt", COrvaneFile::MODE_WRITE), 1);
            kCharacter.GetActiveController()->Save(kFile, kCharacter.GetStateBlock());
        }
        return ReadFileBytes(Folder() / "controller.txt");
    }

    // A character on the grid's cell, in the controller now.
    CGameCharacter* Place(const char* pcFactory, const char* pcTemplate, CBlockGrid& kFloor, std::int32_t iCell)
    {
        CGameCharacter* pkCharacter = Make(pcFactory, pcTemplate, &kFloor);
        if (pkCharacter)
            StandOn(*pkCharacter, iCell);
        return pkCharacter;
    }

    TestClock m_kClock{0};
    float m_fSceneTime = 0.0f;
    CWorld m_kWorld;
    CBlockGrid* m_pkYard = nullptr;
    CBlockGrid* m_pkField = nullptr;
};

// Asks for the next state on every enter.
class Restless : public CAIGameController
{
public:
    Restless() : CAIGameController("restless") {}
    int HandleEvent(std::int32_t iEvent, std::uint8_t ucState) override
    {
        if (iEvent == EVENT_ENTER)
        {
            ++m_iEnters;
            RequestState(static_cast<std::uint8_t>(ucState + 1));
        }
        return 1;
    }
    int m_iEnters = 0;
};
} // namespace

TEST_F(CAIControllerTest, TheSevenAreFoundByNameInRegistrationOrder)
{
    const char* apcNames[] = {"wander",       "objectUse",      "characterUse", "usedByCharacter",
                              "connectorUse", "pathToSpecific", "spawn"};
    ASSERT_EQ(m_pkControllers->GetCount(), 7u);
    for (const char* pcName : apcNames)
    {
        COrvaneAICharacterController* pkFound = m_pkControllers->FindController(pcName);
        ASSERT_NE(pkFound, nullptr) << pcName;
        EXPECT_STREQ(pkFound->GetName(), pcName);
        EXPECT_EQ(pkFound->GetManager(), m_pkControllers.get());
    }
    EXPECT_STREQ(m_pkControllers->FindController("Use")->GetName(), "objectUse");
    EXPECT_EQ(m_pkControllers->FindController("Wander"), nullptr);
}

TEST_F(CAIControllerTest, SwitchingNowStartsAtZeroAndDeferredWaitsForTheNextStep)
{
    CBlockGrid* pkYard = Area(1);
    CGameCharacter* pkThug = Place("PrisonerFactory", "thug", *pkYard, 27);
    COrvaneAIStateBlock& kBlock = pkThug->GetStateBlock();
    kBlock.m_ucCurrentState = 3;
    kBlock.m_ucChangePending = 1;
    pkThug->SetControllerTimer(0.5f);
    pkThug->SetFree(true);
    ASSERT_TRUE(pkThug->SetController("Use", true, true));
    EXPECT_EQ(Controller(*pkThug), "objectUse");
    EXPECT_EQ(kBlock.m_ucCurrentState, 0);
    EXPECT_EQ(kBlock.m_ucChangePending, 0);
    EXPECT_EQ(pkThug->GetControllerTimer(), 0.0f);
    EXPECT_FALSE(pkThug->IsFree());

    ASSERT_TRUE(pkThug->SetController("usedBy", true, false));
    EXPECT_EQ(Controller(*pkThug), "objectUse");
    pkThug->Update(0.005f);
    EXPECT_EQ(Controller(*pkThug), "objectUse");
    pkThug->Update(0.01f);
    EXPECT_EQ(Controller(*pkThug), "usedByCharacter");
    // An unknown name leaves no pending switch.
    EXPECT_FALSE(pkThug->SetController("escape", true, false));
    EXPECT_EQ(pkThug->GetPendingController(), nullptr);

    // A handler asking for a state on every enter stops at ten a run.
    Restless* pkRestless = static_cast<Restless*>(m_pkControllers->Register(std::make_unique<Restless>()));
    pkThug->SwitchController(pkRestless);
    kBlock.m_ucChangePending = 1;
    kBlock.m_ucRequestedState = 1;
    pkRestless->UpdateFor(0.0f, kBlock);
    EXPECT_EQ(pkRestless->m_iEnters, 10);
    EXPECT_EQ(kBlock.m_ucCurrentState, 10);
    EXPECT_EQ(kBlock.m_ucChangePending, 1);
}

TEST_F(CAIControllerTest, EveryKindSavesItsLines)
{
    CBlockGrid* pkYard = Area(1);
    CGameCharacter* pkThug = Place("PrisonerFactory", "thug", *pkYard, 27);
    pkThug->SetPosition(NiVec3(2.5f, 0.0f, -4.0f), 0);
    COrvaneAIStateBlock& kBlock = pkThug->GetStateBlock();
    auto SavedIn = [&](const char* pcName, std::uint8_t ucState) {
        pkThug->SetController(pcName, true, true);
        kBlock.m_ucCurrentState = kBlock.m_ucRequestedState = ucState;
        return SaveController(*pkThug);
    };
    EXPECT_EQ(SavedIn("wander", 2), "2,2,0\r\n");
    EXPECT_EQ(SavedIn("wander", 4), "3,3,0\r\n");
    EXPECT_EQ(SavedIn("characterUse", 0), "0,0,0\r\n");
    EXPECT_EQ(SavedIn("characterUse", 2), "1,1,0\r\n");
    EXPECT_EQ(SavedIn("characterUse", 3), "1,1,0\r\n");
    EXPECT_EQ(SavedIn("usedByCharacter", 0), "0,0,0\r\n");
    EXPECT_EQ(SavedIn("pathToSpecific", 3), "1,1,0\r\n2.50000,0.00000,-4.00000\r\n");
    EXPECT_EQ(SavedIn("connectorUse", 1), "2.50000,0.00000,-4.00000\r\n");
    EXPECT_EQ(SavedIn("spawn", 1), "2.50000,0.00000,-4.00000\r\n");
    pkThug->SetUseSlot(1, 2);
    pkThug->SetSplineProgress(0.25f, true);
    EXPECT_EQ(SavedIn("objectUse", 2), "2,2,0\r\n1\r\n2\r\n0.250000\r\n1\r\n");
    pkThug->PlayAnimation("pause6", 1, 7.5f, 0, 1);
    EXPECT_EQ(SavedIn("objectUse", 3), "3,3,0\r\n1\r\n2\r\n" + Animation(*pkThug) + "\r\n7.50000\r\n1\r\n");
    EXPECT_EQ(SavedIn("objectUse", 1), "1,1,0\r\n1\r\n2\r\n");
}

TEST_F(CAIControllerTest, PositionControllersLoadIntoWanderAtThePositionOrNotAtAll)
{
    CBlockGrid* pkYard = Area(1);
    CGameCharacter* pkSaved = Place("PrisonerFactory", "thug", *pkYard, 27);
    pkSaved->SetController("connectorUse", true, true);
    pkSaved->SetPosition(NiVec3(6.0f, 0.0f, -8.0f), 0);
    const std::string kRecord = SaveText(*pkSaved);
    ASSERT_NE(kRecord.find("connectorUse\r\n6.00000,0.00000,-8.00000\r\n"), std::string::npos);
    CGameCharacter* pkLoaded = Make("PrisonerFactory", "thug");
    ASSERT_EQ(LoadText(*pkLoaded, kRecord), 1);
    EXPECT_EQ(Controller(*pkLoaded), "wander");
    EXPECT_EQ(pkLoaded->GetStateBlock().m_ucCurrentState, 0);
    EXPECT_EQ(*pkLoaded->GetModelPosition(), NiVec3(6.0f, 0.0f, -8.0f));

    // "pathToSpecific" keeps its controller and routes again from state 1.
    pkSaved->SetController("pathToSpecific", true, true);
    CGameCharacter* pkRouted = Make("PrisonerFactory", "thug");
    ASSERT_EQ(LoadText(*pkRouted, SaveText(*pkSaved)), 1);
    EXPECT_EQ(Controller(*pkRouted), "pathToSpecific");
    EXPECT_EQ(pkRouted->GetStateBlock().m_ucCurrentState, 1);

    // A short or unreadable position line fails the whole record.
    for (const char* pcLine : {"6.00000,0.00000", "6,x,8", ""})
    {
        SCOPED_TRACE(pcLine);
        std::string kBad = kRecord;
        kBad.replace(kBad.find("6.00000,0.00000,-8.00000"), 24, pcLine);
        CGameCharacter* pkUntouched = Make("PrisonerFactory", "thug");
        const std::string kBefore = SaveText(*pkUntouched);
        EXPECT_EQ(LoadText(*pkUntouched, kBad), 0);
        EXPECT_EQ(SaveText(*pkUntouched), kBefore);
    }
}

TEST_F(CAIControllerTest, WanderPausesChoosesPlansAndWalksToItsTarget)
{
    LoadDemoLevel();
    NiResetRandom();
    CGameCharacter* pkThug = Place("PrisonerFactory", "thug", *m_pkYard, m_pkYard->GetColumns() * 20 + 20);
    pkThug->SetFailedWalks(2);
    COrvaneAIStateBlock& kBlock = pkThug->GetStateBlock();
    // The pause lasts until the frame times add up past a second.
    ASSERT_TRUE(RunUntil(0.5f, [&] { return kBlock.m_ucCurrentState == 1; }));
    EXPECT_FALSE(RunUntil(0.9f, [&] { return kBlock.m_ucCurrentState > 1; }));
    std::int32_t iTarget = -1;
    ASSERT_TRUE(RunUntil(3.0f, [&] {
        iTarget = pkThug->GetDestination();
        return kBlock.m_ucCurrentState == 4;
    }));
    EXPECT_EQ(pkThug->GetFailedWalks(), 0);
    EXPECT_EQ(pkThug->GetWalkMode(), CGameCharacter::MODE_FOLLOWING);
    ASSERT_TRUE(RunUntil(30.0f, [&] { return kBlock.m_ucCurrentState == 1; }));
    NiVec3 kTarget;
    ASSERT_NE(m_pkYard->CellPosition(iTarget, kTarget, true), nullptr);
    const NiVec3 kAt = *pkThug->GetModelPosition();
    EXPECT_LT((kAt.x - kTarget.x) * (kAt.x - kTarget.x) + (kAt.z - kTarget.z) * (kAt.z - kTarget.z), 1.0f);
    EXPECT_EQ(pkThug->GetWalkMode(), CGameCharacter::MODE_INTERACTING);
}

TEST_F(CAIControllerTest, NoPathClosesTheObjectAndRemembersIt)
{
    CBlockGrid* pkYard = Area(1, 12, 12);
    CPathableObject* pkCounter = Stand("serving_counter", *pkYard, 12 * 6 + 6);
    ASSERT_NE(pkCounter, nullptr);
    CGameCharacter* pkThug = Place("PrisonerFactory", "thug", *pkYard, 12 * 2 + 2);
    // A ring of blocked cells about the cell aimed at.
    const std::int32_t iShut = 12 * 9 + 9;
    for (int r = -1; r <= 1; ++r)
        for (int c = -1; c <= 1; ++c)
            if (r || c)
                static_cast<CBlock*>(pkYard->GetBlock(iShut + 12 * r + c))->SetState(COrvaneBlock::STATE_BLOCKING);
    pkThug->SetTargetObject(pkCounter);
    pkThug->SetDestination(iShut);
    COrvaneAIStateBlock& kBlock = pkThug->GetStateBlock();
    kBlock.m_ucCurrentState = 3;
    ASSERT_TRUE(RunUntil(1.0f, [&] { return kBlock.m_ucCurrentState == 1; }));
    EXPECT_FALSE(pkCounter->IsOpen());
    EXPECT_EQ(pkThug->GetPreviousTarget(), pkCounter);
    EXPECT_EQ(pkThug->GetTargetObject(), nullptr);
    EXPECT_EQ(pkThug->GetFailedWalks(), 1);
}

TEST_F(CAIControllerTest, UsingAnObjectWalksInUsesWalksOutAndReleases)
{
    CBlockGrid* pkYard = Area(1, 12, 12);
    CPathableObject* pkCounter = Stand("serving_counter", *pkYard, 12 * 6 + 6);
    ASSERT_NE(pkCounter, nullptr);
    ASSERT_EQ(pkCounter->GetCapacity(), 1);
    CGameCharacter* pkThug = Place("PrisonerFactory", "thug", *pkYard, pkCounter->GetAccessCell(0));
    ASSERT_TRUE(pkCounter->AssignUser(pkThug, 0, 0));
    pkThug->SetTargetObject(pkCounter);
    pkThug->SetUseSlot(0, 0);
    pkThug->SetController("objectUse", true, true);
    COrvaneAIStateBlock& kBlock = pkThug->GetStateBlock();
    ASSERT_TRUE(RunUntil(40.0f, [&] { return kBlock.m_ucCurrentState == 3; }));
    EXPECT_EQ(Animation(*pkThug).substr(Animation(*pkThug).rfind('/') + 1), "pause3");
    EXPECT_EQ(*pkThug->GetModelPosition(), *pkCounter->GetSlotPosition(0, 0));
    // Three times the animation's length, then out again.
    ASSERT_TRUE(RunUntil(40.0f, [&] { return Controller(*pkThug) == "wander"; }));
    EXPECT_FALSE(pkCounter->IsUserAt(pkThug, 0, 0));
    EXPECT_EQ(pkThug->GetUseSlot(), -1);
    EXPECT_EQ(pkThug->GetPreviousTarget(), pkCounter);

    // A prisoner at the highest level uses it without end.
    pkThug->GetStats().m_usSecurityLevel = 3;
    ASSERT_TRUE(pkCounter->AssignUser(pkThug, 0, 0));
    pkThug->SetTargetObject(pkCounter);
    pkThug->SetUseSlot(0, 0);
    pkThug->SetController("objectUse", true, true);
    ASSERT_TRUE(RunUntil(40.0f, [&] { return kBlock.m_ucCurrentState == 3; }));
    EXPECT_FALSE(RunUntil(30.0f, [&] { return kBlock.m_ucCurrentState != 3; }));

    // A maintenance worker works there; the object plays nothing.
    CGameCharacter* pkWorker =
        Place("MaintenanceStaffFactory", "maint_worker", *pkYard, pkCounter->GetAccessCell(0));
    m_pkManager->DestroyObject(pkThug, true);
    EXPECT_FALSE(pkCounter->IsUserAt(pkThug, 0, 0));
    ASSERT_TRUE(pkCounter->AssignUser(pkWorker, 0, 0));
    pkWorker->SetTargetObject(pkCounter);
    pkWorker->SetUseSlot(0, 0);
    pkWorker->SetController("objectUse", true, true);
    ASSERT_TRUE(RunUntil(40.0f, [&] { return pkWorker->GetStateBlock().m_ucCurrentState == 3; }));
    EXPECT_NE(Animation(*pkWorker).find("work"), std::string::npos);
    EXPECT_EQ(pkCounter->GetCurrentAnimation(), nullptr);
}

TEST_F(CAIControllerTest, AnObjectUseSavedWalkingOrUsingRestoresItsSlotAndWalk)
{
    CBlockGrid* pkYard = Area(1, 12, 12);
    CPathableObject* pkCounter = Stand("serving_counter", *pkYard, 12 * 6 + 6);
    ASSERT_NE(pkCounter, nullptr);
    for (std::uint8_t ucState : {2, 3, 4})
    {
        SCOPED_TRACE(ucState);
        CGameCharacter* pkSaved = Place("PrisonerFactory", "thug", *pkYard, pkCounter->GetAccessCell(0));
        ASSERT_TRUE(pkCounter->AssignUser(pkSaved, 0, 0));
        pkSaved->SetTargetObject(pkCounter);
        pkSaved->SetUseSlot(0, 0);
        pkSaved->SetController("objectUse", true, true);
        ASSERT_TRUE(RunUntil(40.0f, [&] { return pkSaved->GetStateBlock().m_ucCurrentState == ucState; }));
        const std::string kRecord = SaveText(*pkSaved);
        m_pkManager->DestroyObject(pkSaved, true);
        EXPECT_FALSE(pkCounter->IsUserAt(pkSaved, 0, 0));

        CGameCharacter* pkLoaded = Make("PrisonerFactory", "thug");
        ASSERT_EQ(LoadText(*pkLoaded, kRecord), 1);
        pkLoaded->ResolveReferences();

        EXPECT_EQ(Controller(*pkLoaded), "objectUse");
        EXPECT_TRUE(pkCounter->IsUserAt(pkLoaded, 0, 0));
        EXPECT_EQ(pkLoaded->GetTargetObject(), pkCounter);
        ASSERT_NE(pkLoaded->GetSpline(), nullptr);
        EXPECT_EQ(pkLoaded->IsReversed(), ucState == 4);
        ASSERT_TRUE(RunUntil(60.0f, [&] { return Controller(*pkLoaded) == "wander"; }));
        EXPECT_FALSE(pkCounter->IsUserAt(pkLoaded, 0, 0));
        m_pkManager->DestroyObject(pkLoaded, true);
    }
}

// A use saved in the frame its animation ran out (its time left at or below
// 0) is loaded run out, not with a whole further round of the animation,
// and saved again the same.
TEST_F(CAIControllerTest, AnObjectUseSavedAsItsAnimationRanOutLoadsRunOut)
{
    CBlockGrid* pkYard = Area(1, 12, 12);
    CPathableObject* pkCounter = Stand("serving_counter", *pkYard, 12 * 6 + 6);
    ASSERT_NE(pkCounter, nullptr);
    for (const float fLeft : {-0.2f, 0.0f})
    {
        SCOPED_TRACE(fLeft);
        CGameCharacter* pkSaved = Place("PrisonerFactory", "thug", *pkYard, pkCounter->GetAccessCell(0));
        ASSERT_TRUE(pkCounter->AssignUser(pkSaved, 0, 0));
        pkSaved->SetTargetObject(pkCounter);
        pkSaved->SetUseSlot(0, 0);
        pkSaved->SetController("objectUse", true, true);
        ASSERT_TRUE(RunUntil(40.0f, [&] { return pkSaved->GetStateBlock().m_ucCurrentState == 3; }));
        ASSERT_NE(pkSaved->GetCurrentAnimation(), nullptr);
        pkSaved->SetTimer(fLeft);
        const std::string kRecord = SaveText(*pkSaved);
        m_pkManager->DestroyObject(pkSaved, true);

        CGameCharacter* pkLoaded = Make("PrisonerFactory", "thug");
        ASSERT_EQ(LoadText(*pkLoaded, kRecord), 1);
        pkLoaded->ResolveReferences();
        EXPECT_EQ(Controller(*pkLoaded), "objectUse");
        EXPECT_FLOAT_EQ(pkLoaded->GetTimer(), fLeft);
        EXPECT_EQ(SaveText(*pkLoaded), kRecord);
        m_pkManager->DestroyObject(pkLoaded, true);
    }
}

TEST_F(CAIControllerTest, BoutsFacePartnersAtTheInteractionDistance)
{
    CBlockGrid* pkYard = Area(1, 16, 16);
    CGameCharacter* pkAttacker = Place("PrisonerFactory", "thug", *pkYard, 16 * 4 + 4);
    CGameCharacter* pkVictim = Place("PrisonerFactory", "old_lag", *pkYard, 16 * 4 + 9);
    pkVictim->SetFree(true);
    // An angry prisoner with no guard about fights.
    pkAttacker->SetMood(3, true);
    ASSERT_TRUE(pkVictim->BeUsedByCharacter(pkAttacker));
    pkAttacker->SetPartner(pkVictim);
    pkAttacker->SetDestination(pkVictim->GetCurrentCell());
    pkAttacker->SetController("characterUse", true, true);
    COrvaneAIStateBlock& kBlock = pkAttacker->GetStateBlock();
    ASSERT_TRUE(RunUntil(20.0f, [&] { return kBlock.m_ucCurrentState == 3; }));
    EXPECT_EQ(Controller(*pkVictim), "usedByCharacter");
    const std::string kBout = Animation(*pkAttacker);
    ASSERT_NE(kBout.find("fight"), std::string::npos);
    ASSERT_EQ(kBout.substr(kBout.size() - 2), "_a");
    EXPECT_EQ(Animation(*pkVictim), kBout.substr(0, kBout.size() - 1) + "d");
    const NiVec3 kGap = *pkVictim->GetModelPosition() - *pkAttacker->GetModelPosition();
    EXPECT_NEAR(std::sqrt(kGap.x * kGap.x + kGap.z * kGap.z), pkAttacker->GetInteractionDistance(), 1e-3f);
    ASSERT_TRUE(RunUntil(20.0f, [&] { return Controller(*pkAttacker) == "wander"; }));
    EXPECT_EQ(pkAttacker->GetPreviousPartner(), pkVictim);
    EXPECT_EQ(pkVictim->GetPreviousPartner(), pkAttacker);
    EXPECT_EQ(pkVictim->GetPartner(), nullptr);
    EXPECT_TRUE(pkVictim->IsFree() || Controller(*pkVictim) == "wander" ||
                pkVictim->GetPendingController() == m_pkControllers->FindController("wander"));

    EXPECT_EQ(CAIControllerCharacterUse::PartnerAnimation("people/fight3_a"), "fight3_d");
    EXPECT_EQ(CAIControllerCharacterUse::PartnerAnimation("talk_"), "");
    EXPECT_EQ(CAIControllerCharacterUse::PartnerAnimation("talk"), "");
}

TEST_F(CAIControllerTest, ARefusedReleaseLeavesBothFree)
{
    CBlockGrid* pkYard = Area(1, 16, 16);
    CGameCharacter* pkAttacker = Place("PrisonerFactory", "thug", *pkYard, 16 * 4 + 4);
    CGameCharacter* pkStranger = Place("PrisonerFactory", "old_lag", *pkYard, 16 * 4 + 5);
    // The partner never accepted: it will not be released by this one.
    pkAttacker->SetPartner(pkStranger);
    pkAttacker->SetDestination(pkAttacker->GetCurrentCell());
    pkAttacker->SetController("characterUse", true, true);
    ASSERT_TRUE(RunUntil(20.0f, [&] { return Controller(*pkAttacker) == "wander"; }));
    EXPECT_EQ(pkAttacker->GetPartner(), nullptr);
    EXPECT_EQ(pkStranger->GetPartner(), nullptr);
    EXPECT_EQ(Controller(*pkStranger), "wander");
}

TEST_F(CAIControllerTest, PathToSpecificCrossesToTheFieldAndUsesTheObject)
{
    LoadDemoLevel();
    CPathableObject* pkCounter = Stand("serving_counter", *m_pkField, 8 * 3 + 3);
    ASSERT_NE(pkCounter, nullptr);
    ASSERT_GE(pkCounter->GetAccessCell(0), 0);
    CGameCharacter* pkThug = Place("PrisonerFactory", "thug", *m_pkYard, m_pkYard->GetColumns() * 20 + 20);
    bool bNeeded = false;
    EXPECT_EQ(CAIControllerPathToSpecificObject::ChooseLeg(*pkThug, *pkCounter, bNeeded), m_pkYard->GetConnector(2));
    ASSERT_TRUE(pkCounter->AssignUser(pkThug, 0, 0));
    pkThug->SetTargetObject(pkCounter);
    pkThug->SetUseSlot(0, 0);
    pkThug->SetController("pathToSpecific", true, true);
    ASSERT_TRUE(RunUntil(120.0f, [&] { return pkThug->GetGrid() == m_pkField; }));
    EXPECT_TRUE(pkThug->IsModelVisible()); // an outside area: seen
    EXPECT_TRUE(m_pkField->IsMember(pkThug));
    EXPECT_FALSE(m_pkYard->IsMember(pkThug));
    ASSERT_TRUE(RunUntil(60.0f, [&] { return Controller(*pkThug) == "objectUse"; }));
    ASSERT_TRUE(RunUntil(90.0f, [&] { return Controller(*pkThug) == "wander"; }));
    EXPECT_EQ(pkThug->GetPreviousTarget(), pkCounter);
}

TEST_F(CAIControllerTest, SpawnWalksTheRoadHomeAndOnToItsPlace)
{
    LoadDemoLevel();
    ASSERT_NE(m_kSpawn.m_pkArrivalPath, nullptr);
    NiVec3 kEnd;
    ASSERT_TRUE(m_kSpawn.m_pkArrivalPath->m_pkSpline->GetEndPosition(kEnd));
    const std::int32_t iArrival = m_pkYard->CellAt(kEnd);
    CPathableObject* pkBunk = Stand("cell_single", *m_pkYard, iArrival + 6);
    ASSERT_NE(pkBunk, nullptr);
    CGameCharacter* pkNew = Make("PrisonerFactory", "thug", m_pkYard);
    pkNew->FollowSpline(m_kSpawn.m_pkArrivalPath->m_pkSpline.get(), true);
    pkNew->SetTargetObject(pkBunk);
    pkNew->SetController("spawn", true, true);
    ASSERT_TRUE(RunUntil(30.0f, [&] { return Controller(*pkNew) == "pathToSpecific"; }));
    EXPECT_EQ(pkNew->GetHome(), pkBunk);
    EXPECT_TRUE(pkBunk->IsUserAt(pkNew, 0, 0));
    EXPECT_TRUE(pkNew->GetStateBlock().m_ucExtraUpdate);
    ASSERT_TRUE(RunUntil(60.0f, [&] { return Controller(*pkNew) == "objectUse"; }));

    // A home without a free place: "wander".
    CGameCharacter* pkLate = Make("PrisonerFactory", "thug", m_pkYard);
    pkLate->FollowSpline(m_kSpawn.m_pkArrivalPath->m_pkSpline.get(), true);
    pkLate->SetTargetObject(pkBunk);
    pkLate->SetController("spawn", true, true);
    ASSERT_TRUE(RunUntil(30.0f, [&] { return Controller(*pkLate) != "spawn"; }));
    EXPECT_EQ(Controller(*pkLate), "wander");
}

// People saved mid-route under the three controllers that store where they
// are: loaded, each stands where its controller stored, not at the record's
// own position (the connector's for one on a connector, the road's end for
// one coming in, the stored one for one routing to an object).
TEST_F(CAIControllerTest, MidRouteCharactersComeBackWhereTheirControllerStored)
{
    LoadDemoLevel();
    // The stored position line of a record: the one after the controller's
    // name (and "1,1,0" for "pathToSpecific").
    const auto StoredPosition = [](const std::string& kRecord, const std::string& kController) {
        const std::size_t uiName = kRecord.find("\r\n" + kController + "\r\n");
        EXPECT_NE(uiName, std::string::npos) << kController;
        std::size_t uiAt = uiName + kController.size() + 4;
        if (kController == "pathToSpecific")
            uiAt = kRecord.find("\r\n", uiAt) + 2;
        std::vector<float> kValues;
        EXPECT_TRUE(COrvaneIOObject::SplitFloats(kRecord.substr(uiAt, kRecord.find("\r\n", uiAt) - uiAt), kValues));
        return kValues.size() == 3 ? NiVec3(kValues[0], kValues[1], kValues[2]) : NiVec3(-1.0f, -1.0f, -1.0f);
    };
    const auto OwnPosition = [](const std::string& kRecord) {
        std::vector<float> kValues;
        EXPECT_TRUE(COrvaneIOObject::SplitFloats(kRecord.substr(0, kRecord.find("\r\n")), kValues));
        return kValues.size() == 4 ? NiVec3(kValues[0], kValues[1], kValues[2]) : NiVec3(-1.0f, -1.0f, -1.0f);
    };
    const auto Near = [](const NiVec3& kA, const NiVec3& kB) {
        return std::fabs(kA.x - kB.x) < 1e-3f && std::fabs(kA.y - kB.y) < 1e-3f && std::fabs(kA.z - kB.z) < 1e-3f;
    };

    // Coming in down the arrival road, half way.
    ASSERT_NE(m_kSpawn.m_pkArrivalPath, nullptr);
    NiVec3 kRoadEnd;
    ASSERT_TRUE(m_kSpawn.m_pkArrivalPath->m_pkSpline->GetEndPosition(kRoadEnd));
    CGameCharacter* pkNew = Make("PrisonerFactory", "thug", m_pkYard);
    pkNew->FollowSpline(m_kSpawn.m_pkArrivalPath->m_pkSpline.get(), true);
    pkNew->SetController("spawn", true, true);
    (void)RunUntil(1.0f, [] { return false; });
    ASSERT_EQ(Controller(*pkNew), "spawn");
    const std::string kOnRoad = SaveText(*pkNew);
    EXPECT_TRUE(Near(StoredPosition(kOnRoad, "spawn"), kRoadEnd));
    EXPECT_FALSE(Near(OwnPosition(kOnRoad), kRoadEnd));

    // On the yard's connector to the field, part way along its spline.
    COrvaneGridMarker* pkConnector = m_pkYard->GetConnector(2);
    ASSERT_NE(pkConnector, nullptr);
    CGameCharacter* pkCrossing = Place("PrisonerFactory", "thug", *m_pkYard, m_pkYard->GetColumns() * 20 + 20);
    const NiVec3 kStart = *pkCrossing->GetModelPosition();
    pkCrossing->SetConnector(pkConnector);
    pkCrossing->FollowSpline(CConnector::GetSpline(*pkConnector), false);
    pkCrossing->SetController("connectorUse", true, true);
    ASSERT_TRUE(RunUntil(3.0f, [&] {
        const NiVec3& kAt = *pkCrossing->GetModelPosition();
        return !Near(kAt, kStart) && (kAt - pkConnector->m_kPosition).Length() > 0.5f;
    }));
    ASSERT_EQ(Controller(*pkCrossing), "connectorUse");
    const std::string kOnConnector = SaveText(*pkCrossing);
    EXPECT_TRUE(Near(StoredPosition(kOnConnector, "connectorUse"), pkConnector->m_kPosition));
    EXPECT_FALSE(Near(OwnPosition(kOnConnector), pkConnector->m_kPosition));

    // Routing to an object on the field, saved walking; its record's own
    // position line moved away, so the two differ as a connector's end
    // makes them.
    CPathableObject* pkCounter = Stand("serving_counter", *m_pkField, 8 * 3 + 3);
    ASSERT_NE(pkCounter, nullptr);
    CGameCharacter* pkRouted = Place("PrisonerFactory", "thug", *m_pkYard, m_pkYard->GetColumns() * 20 + 22);
    ASSERT_TRUE(pkCounter->AssignUser(pkRouted, 0, 0));
    pkRouted->SetTargetObject(pkCounter);
    pkRouted->SetUseSlot(0, 0);
    pkRouted->SetController("pathToSpecific", true, true);
    ASSERT_TRUE(RunUntil(5.0f, [&] { return pkRouted->GetStateBlock().m_ucCurrentState == 3; }));
    std::string kRouting = SaveText(*pkRouted);
    kRouting.replace(0, kRouting.find("\r\n"), "5.00000,0.00000,5.00000,0.00000");
    const NiVec3 kStored = StoredPosition(kRouting, "pathToSpecific");
    EXPECT_FALSE(Near(kStored, NiVec3(5.0f, 0.0f, 5.0f)));

    struct Case
    {
        const char* m_pcName;
        const std::string& m_kRecord;
        NiVec3 m_kWhere;
        const char* m_pcResumes;
    };
    const Case akCases[] = {
        {"spawn", kOnRoad, kRoadEnd, "wander"},
        {"connectorUse", kOnConnector, pkConnector->m_kPosition, "wander"},
        {"pathToSpecific", kRouting, kStored, "pathToSpecific"},
    };
    for (const Case& kCase : akCases)
    {
        SCOPED_TRACE(kCase.m_pcName);
        CGameCharacter* pkLoaded = Make("PrisonerFactory", "thug", m_pkYard);
        ASSERT_EQ(LoadText(*pkLoaded, kCase.m_kRecord), 1);
        EXPECT_EQ(Controller(*pkLoaded), kCase.m_pcResumes);
        ASSERT_NE(pkLoaded->GetModelPosition(), nullptr);
        EXPECT_TRUE(Near(*pkLoaded->GetModelPosition(), kCase.m_kWhere))
            << pkLoaded->GetModelPosition()->x << "," << pkLoaded->GetModelPosition()->z << " for "
            << kCase.m_kWhere.x << "," << kCase.m_kWhere.z;
        // Saved again, the position line is where it stands.
        const std::string kAgain = SaveText(*pkLoaded);
        EXPECT_TRUE(Near(OwnPosition(kAgain), kCase.m_kWhere));
    }
}

TEST_F(CAIControllerTest, ThingsThatGoMidWalkLeaveNoLinkBehind)
{
    LoadDemoLevel();
    CPathableObject* pkCounter = Stand("serving_counter", *m_pkField, 8 * 3 + 3);
    CGameCharacter* pkThug = Place("PrisonerFactory", "thug", *m_pkYard, m_pkYard->GetColumns() * 20 + 20);
    CGameCharacter* pkOther = Place("PrisonerFactory", "old_lag", *m_pkYard, m_pkYard->GetColumns() * 20 + 25);
    ASSERT_TRUE(pkCounter->AssignUser(pkThug, 0, 0));
    pkThug->SetTargetObject(pkCounter);
    pkThug->SetUseSlot(0, 0);
    pkThug->SetController("pathToSpecific", true, true);
    ASSERT_TRUE(RunUntil(5.0f, [&] { return pkThug->GetStateBlock().m_ucCurrentState == 3; }));
    ASSERT_NE(pkThug->GetConnector(), nullptr);
    m_pkManager->DestroyObject(pkCounter, true);
    EXPECT_EQ(pkThug->GetTargetObject(), nullptr);
    EXPECT_EQ(Controller(*pkThug), "wander");

    // The partner goes mid-bout.
    pkOther->SetFree(true);
    ASSERT_TRUE(pkOther->BeUsedByCharacter(pkThug));
    pkThug->SetPartner(pkOther);
    pkThug->SetDestination(pkOther->GetCurrentCell());
    pkThug->SetController("characterUse", true, true);
    ASSERT_TRUE(RunUntil(2.0f, [&] { return pkThug->GetStateBlock().m_ucCurrentState >= 2; }));
    m_pkManager->DestroyObject(pkOther, true);
    EXPECT_EQ(pkThug->GetPartner(), nullptr);
    RunUntil(1.0f, [] { return false; });

    // The connector's grid goes mid-walk.
    CPathableObject* pkSecond = Stand("serving_counter", *m_pkField, 8 * 4 + 3);
    ASSERT_NE(pkSecond, nullptr);
    ASSERT_TRUE(pkSecond->AssignUser(pkThug, 0, 0));
    pkThug->SetTargetObject(pkSecond);
    pkThug->SetUseSlot(0, 0);
    pkThug->SetController("pathToSpecific", true, true);
    ASSERT_TRUE(RunUntil(5.0f, [&] { return pkThug->GetConnector() != nullptr; }));
    m_pkField->Destroy();
    EXPECT_EQ(pkThug->GetConnector(), nullptr);
    RunUntil(1.0f, [] { return false; });
}

namespace
{
// A building as the floors see it: a placed object that says it is one.
class TestBuilding : public CBaseObject
{
public:
    [[nodiscard]] bool IsBuilding() const override { return true; }
};

std::unique_ptr<COrvaneObject> MakeTestBuilding()
{
    return std::make_unique<TestBuilding>();
}

void Connect(CBlockGrid& kFrom, std::int32_t iCell, CBlockGrid& kTo)
{
    NiVec3 kAt;
    ASSERT_NE(kFrom.CellPosition(iCell, kAt, true), nullptr);
    kFrom.AddMarker(CConnector::Make(kAt, kAt, &kTo, std::make_unique<CSplineHolder>(nullptr)));
}
} // namespace

TEST_F(CAIControllerTest, EachLegRuleChoosesItsConnector)
{
    CBlockGrid* pkYard = Area(1, 12, 12);
    static_cast<CGameObjectFactory*>(m_pkManager->FactoryNamed("WorldObjectFactory"))->SetMaker(&MakeTestBuilding);
    COrvaneObjectDesc kDesc;
    kDesc.m_pkTemplate = m_pkManager->FindTemplate("cellblock_small");
    kDesc.m_ucMode = 1;
    auto* pkBuilding = dynamic_cast<CBaseObject*>(
        m_pkManager->CreateObject(m_pkManager->FindFactory("WorldObjectFactory", nullptr), kDesc));
    ASSERT_NE(pkBuilding, nullptr);
    pkBuilding->PlaceAt(NiVec3(4.0f, 0.0f, -4.0f), pkYard);
    ASSERT_EQ(pkBuilding->GetGrid(), pkYard);
    CBlockGrid* apkFloors[2] = {};
    for (std::int32_t i = 0; i < 2; ++i)
    {
        CGridDesc kFloor;
        kFloor.m_aiNumbers[0] = i + 1;
        kFloor.m_aiNumbers[1] = kFloor.m_aiNumbers[2] = 6;
        kFloor.m_aiNumbers[3] = i;
        kFloor.m_aiNumbers[4] = 2;
        kFloor.m_pkOwner = dynamic_cast<const void*>(pkBuilding);
        apkFloors[i] = CBlockGridManager::GetInstance()->CreateGrid(kFloor);
        ASSERT_NE(apkFloors[i], nullptr);
    }
    CBlockGridManager::GetInstance()->CommitStack();
    CBlockGrid& kGround = *apkFloors[0];
    CBlockGrid& kUpper = *apkFloors[1];
    ASSERT_EQ(kGround.GetId() + 1, kUpper.GetId());
    Connect(*pkYard, 20, kGround);
    Connect(kGround, 8, *pkYard);
    Connect(kGround, 9, kUpper);
    Connect(kUpper, 9, kGround);

    CPathableObject* pkUpstairs = Stand("serving_counter", kUpper, 14);
    CPathableObject* pkDownstairs = Stand("serving_counter", kGround, 14);
    CPathableObject* pkOutside = Stand("serving_counter", *pkYard, 80);
    ASSERT_TRUE(pkUpstairs && pkDownstairs && pkOutside);
    struct Case
    {
        CBlockGrid* m_pkFrom;
        CPathableObject* m_pkTo;
        const COrvaneGridMarker* m_pkExpected;
        bool m_bNeeded;
    };
    const Case akCases[] = {
        {pkYard, pkOutside, nullptr, false},                        // 1: the same grid
        {&kGround, pkUpstairs, kGround.GetConnector(kUpper.GetId()), true}, // 2: up
        {&kUpper, pkDownstairs, kUpper.GetConnector(kGround.GetId()), true}, // 2: down
        {pkYard, pkUpstairs, pkYard->GetConnector(kGround.GetId()), true},   // 3: into the building
        {&kGround, pkOutside, kGround.GetConnector(1), true},                // 4: out at floor 0
        {&kUpper, pkOutside, kUpper.GetConnector(kGround.GetId()), true},    // 4: down first
    };
    for (const Case& kCase : akCases)
    {
        SCOPED_TRACE(kCase.m_pkFrom->GetId());
        CGameCharacter* pkWalker = Place("PrisonerFactory", "thug", *kCase.m_pkFrom, 7);
        bool bNeeded = !kCase.m_bNeeded;
        EXPECT_EQ(CAIControllerPathToSpecificObject::ChooseLeg(*pkWalker, *kCase.m_pkTo, bNeeded), kCase.m_pkExpected);
        EXPECT_EQ(bNeeded, kCase.m_bNeeded);
    }
}

TEST_F(CAIControllerTest, OnTheDemoLevelAPrisonerUsesAnUpperFloorPlaceOfACellBlockAndTwoOthersFight)
{
    LoadDemoLevel();
    COrvaneObjectDesc kDesc;
    kDesc.m_pkTemplate = m_pkManager->FindTemplate("cellblock_small");
    kDesc.m_ucMode = 1;
    auto* pkBlock = dynamic_cast<CWorldObject*>(
        m_pkManager->CreateObject(m_pkManager->FindFactory("WorldObjectFactory", nullptr), kDesc));
    ASSERT_NE(pkBlock, nullptr);
    NiVec3 kAt;
    ASSERT_NE(m_pkYard->CellPosition(40 * 24 + 24, kAt, true), nullptr);
    pkBlock->SetPosition(kAt, 0);
    pkBlock->PlaceAt(kAt, m_pkYard);
    pkBlock->Update(0.0f);
    pkBlock->GetModel()->UpdateNode(0.0f);
    pkBlock->Place();
    ASSERT_NE(pkBlock->GetStack(), nullptr);
    CBlockGrid* pkGround = pkBlock->GetStack()->GetFloor(0);
    CBlockGrid* pkUpper = pkBlock->GetStack()->GetFloor(1);
    ASSERT_TRUE(pkGround && pkUpper);
    CPathableObject* pkBunk = Stand("cell_single", *pkUpper, 8 * 2 + 2);
    ASSERT_NE(pkBunk, nullptr);

    CGameCharacter* pkNew = Place("PrisonerFactory", "thug", *m_pkYard, 40 * 10 + 10);
    bool bNeeded = false;
    EXPECT_EQ(CAIControllerPathToSpecificObject::ChooseLeg(*pkNew, *pkBunk, bNeeded),
              m_pkYard->GetConnector(pkGround->GetId()));
    ASSERT_TRUE(pkBunk->AssignUser(pkNew, 0, 0));
    pkNew->SetTargetObject(pkBunk);
    pkNew->SetUseSlot(0, 0);
    pkNew->SetController("pathToSpecific", true, true);
    CGameCharacter* pkAttacker = Place("PrisonerFactory", "thug", *m_pkYard, 40 * 30 + 5);
    CGameCharacter* pkVictim = Place("PrisonerFactory", "con_female", *m_pkYard, 40 * 30 + 9);
    pkVictim->SetFree(true);
    // An angry prisoner with no guard about fights.
    pkAttacker->SetMood(3, true);
    ASSERT_TRUE(pkVictim->BeUsedByCharacter(pkAttacker));
    pkAttacker->SetPartner(pkVictim);
    pkAttacker->SetDestination(pkVictim->GetCurrentCell());
    pkAttacker->SetController("characterUse", true, true);

    // Ten game minutes at most: a game minute is a scaled second.
    bool bEntered = false;
    bool bUpstairs = false;
    bool bUsed = false;
    EXPECT_TRUE(RunUntil(600.0f, [&] {
        bEntered = bEntered || pkNew->GetGrid() == pkGround;
        bUpstairs = bUpstairs || pkNew->GetGrid() == pkUpper;
        bUsed = bUsed || (Controller(*pkNew) == "objectUse" && pkNew->GetStateBlock().m_ucCurrentState == 3);
        return bUsed && Controller(*pkNew) == "wander" && Controller(*pkAttacker) == "wander";
    }));
    EXPECT_TRUE(bEntered);
    EXPECT_TRUE(bUpstairs);
    EXPECT_TRUE(bUsed);
    EXPECT_TRUE(pkUpper->IsMember(pkNew));
    EXPECT_FALSE(pkBunk->IsUserAt(pkNew, 0, 0));
    EXPECT_EQ(pkAttacker->GetPreviousPartner(), pkVictim);
    // The fighters go: a hurt and angry prisoner would pick the walker.
    m_pkManager->DestroyObject(pkAttacker, true);
    m_pkManager->DestroyObject(pkVictim, true);

    // Down the stairs and out of the door to a place on the yard, from the
    // bunk's entry cell (the demo bunk's walk out ends inside it).
    pkNew->ReturnToCell(pkUpper->GetId(), pkBunk->GetAccessCell(0));
    ASSERT_EQ(pkNew->GetGrid(), pkUpper);
    CPathableObject* pkTable = Stand("dining_table", *m_pkYard, 40 * 12 + 30);
    ASSERT_NE(pkTable, nullptr);
    ASSERT_TRUE(pkTable->AssignUser(pkNew, 0, 0));
    pkNew->SetTargetObject(pkTable);
    pkNew->SetUseSlot(0, 0);
    pkNew->SetController("pathToSpecific", true, true);
    bool bDown = false;
    EXPECT_TRUE(RunUntil(600.0f, [&] {
        bDown = bDown || pkNew->GetGrid() == pkGround;
        return bDown && pkNew->GetGrid() == m_pkYard && Controller(*pkNew) == "objectUse";
    }));
    EXPECT_TRUE(m_pkYard->IsMember(pkNew));

    // The building going sends its walkers out onto the yard.
    pkNew->SetGrid(pkUpper);
    m_pkManager->DestroyObject(pkBlock, true);
    EXPECT_EQ(pkNew->GetGrid(), m_pkYard);
    EXPECT_EQ(Controller(*pkNew), "wander");
    RunUntil(1.0f, [] { return false; });
}

TEST_F(CAIControllerTest, ASavedPrisonGivesItsCharactersTheirPartnersAndTargetsBack)
{
    CBlockGrid* pkYard = Area(1, 12, 12);
    CPathableObject* pkCounter = Stand("serving_counter", *pkYard, 12 * 6 + 6);
    ASSERT_NE(pkCounter, nullptr);
    m_kHost.m_usPersonCounter = 20;
    CGameCharacter* pkUser = Place("PrisonerFactory", "thug", *pkYard, 12 * 2 + 2);
    CGameCharacter* pkUsed = Place("PrisonerFactory", "old_lag", *pkYard, 12 * 2 + 5);
    pkUsed->SetFree(true);
    ASSERT_TRUE(pkUsed->BeUsedByCharacter(pkUser));
    pkUser->SetPartner(pkUsed);
    pkUser->SetTargetObject(pkCounter);
    {
        COrvaneFile kFile;
        ASSERT_EQ(kFile.Open("prison.fds", COrvaneFile::MODE_WRITE), 1);
        ASSERT_TRUE(m_pkManager->SaveObjects(kFile));
    }
    m_pkManager->RemoveAllObjects();
    COrvaneFile kFile;
    ASSERT_EQ(kFile.Open("prison.fds", COrvaneFile::MODE_READ), 1);
    ASSERT_TRUE(m_pkManager->LoadObjects(kFile));
    ASSERT_TRUE(m_pkManager->RelinkAfterLoad());
    CGameCharacter* pkLoadedUser = CGameCharacter::FindCharacterByNumber(20);
    CGameCharacter* pkLoadedUsed = CGameCharacter::FindCharacterByNumber(21);
    ASSERT_TRUE(pkLoadedUser && pkLoadedUsed);
    EXPECT_EQ(pkLoadedUser->GetPartner(), pkLoadedUsed);
    EXPECT_EQ(pkLoadedUsed->GetPartner(), pkLoadedUser);
    EXPECT_EQ(pkLoadedUser->GetGrid(), pkYard);
    ASSERT_NE(pkLoadedUser->GetTargetObject(), nullptr);
    EXPECT_EQ(pkLoadedUser->GetTargetObject()->GetReferenceCell(), 12 * 6 + 6);
    EXPECT_TRUE(pkLoadedUser->GetObjectReferences().empty());
}

namespace
{
TEST_F(CAIControllerTest, TheVehicleOfTheDemoLevelCarriesTheCameraAndTargetNodes)
{
    LoadDemoLevel();
    ASSERT_NE(m_kSpawn.m_pkArrivalPath, nullptr);
    auto* pkVan = dynamic_cast<CSpawnObject*>(m_kSpawn.m_pkArrivalPath->m_pkVehicle);
    ASSERT_NE(pkVan, nullptr);
    EXPECT_GT(pkVan->GetTimer(), 0.0f);
    NiVec3 kCamera;
    NiVec3 kTarget;
    ASSERT_TRUE(pkVan->GetCameraPosition(kCamera));
    ASSERT_TRUE(pkVan->GetTargetPosition(kTarget));
    // The nodes keep their distance wherever the body drives.
    const NiVec3 kApart(DEMO_VEHICLE_CAMERA[0] - DEMO_VEHICLE_TARGET[0], DEMO_VEHICLE_CAMERA[1] - DEMO_VEHICLE_TARGET[1],
                        DEMO_VEHICLE_CAMERA[2] - DEMO_VEHICLE_TARGET[2]);
    EXPECT_NEAR((kCamera - kTarget).Length(), kApart.Length(), 1e-4f);

    // A model without the nodes gives no positions.
    COrvaneObjectDesc kDesc;
    kDesc.m_pkTemplate = m_pkManager->FindTemplate("thug");
    kDesc.m_ucMode = 1;
    auto* pkPlain = dynamic_cast<CSpawnObject*>(
        m_pkManager->CreateObject(m_pkManager->FindFactory("SpawnObjectFactory", nullptr), kDesc));
    ASSERT_NE(pkPlain, nullptr);
    EXPECT_FALSE(pkPlain->GetCameraPosition(kCamera));
    EXPECT_FALSE(pkPlain->GetTargetPosition(kTarget));
}

TEST_F(CAIControllerTest, TheOneOClockArrivalOnTheDemoLevelHousesEveryoneAndTheRoomGetsItsGuards)
{
    LoadDemoLevel();
    COrvaneCamera kCamera;
    ASSERT_TRUE(kCamera.LoadSettings(0.0f, 0.0f, 0.0f));
    m_kHost.m_pkCamera = &kCamera;
    CPrisonStatistics* pkLedger = m_pkManager->GetStatistics();
    ASSERT_NE(pkLedger, nullptr);

    // A small cell block (level 0) with two double cells on its ground floor.
    COrvaneObjectDesc kDesc;
    kDesc.m_pkTemplate = m_pkManager->FindTemplate("cellblock_small");
    kDesc.m_ucMode = 1;
    auto* pkBlock = dynamic_cast<CWorldObject*>(
        m_pkManager->CreateObject(m_pkManager->FindFactory("WorldObjectFactory", nullptr), kDesc));
    ASSERT_NE(pkBlock, nullptr);
    NiVec3 kAt;
    ASSERT_NE(m_pkYard->CellPosition(40 * 24 + 24, kAt, true), nullptr);
    pkBlock->SetPosition(kAt, 0);
    pkBlock->PlaceAt(kAt, m_pkYard);
    pkBlock->Update(0.0f);
    pkBlock->GetModel()->UpdateNode(0.0f);
    pkBlock->Place();
    ASSERT_NE(pkBlock->GetStack(), nullptr);
    CBlockGrid* pkGround = pkBlock->GetStack()->GetFloor(0);
    ASSERT_NE(pkGround, nullptr);
    CPathableObject* pkCellA = Stand("cell_double", *pkGround, 9 * 2 + 2, "CellFactory");
    CPathableObject* pkCellB = Stand("cell_double", *pkGround, 9 * 5 + 2, "CellFactory");
    ASSERT_TRUE(pkCellA && pkCellB);
    EXPECT_EQ(pkCellA->GetRequiredLevel(), 0);
    EXPECT_EQ(pkLedger->m_usBeds, 4);
    EXPECT_EQ(pkLedger->m_usBedsTaken, 0);

    // The guard room asks for its two guards, who go to their post. (The
    // fixture read the rosters before the registry held the staff groups.)
    m_kSpawn.m_uiStaffGroupBase = static_cast<std::uint32_t>(m_pkManager->FindTemplateGroup("STAFF") -
                                                             m_pkManager->FindTemplateGroup("BUILDINGS"));
    CPathableObject* pkRoom = Stand("guard_room", *m_pkYard, 40 * 10 + 10, "AdminRoomFactory");
    ASSERT_NE(pkRoom, nullptr);
    EXPECT_EQ(pkRoom->SpawnStaff(), 2);
    NiVec3 kPost;
    ASSERT_NE(m_pkYard->CellPosition(pkRoom->GetAccessCell(0), kPost, true), nullptr);
    int iGuards = 0;
    for (std::uint32_t i = 0; COrvaneObject* pkObject = m_pkManager->GetObjectAt(i); ++i)
    {
        auto* pkGuard = dynamic_cast<CAISecurity*>(pkObject);
        if (!pkGuard || pkGuard->GetHome() != pkRoom)
            continue;
        ++iGuards;
        EXPECT_EQ(pkGuard->GetGrid(), m_pkYard);
        // Where the level's scene update shows it.
        pkGuard->GetModel()->UpdateNode(0.0f);
        ASSERT_NE(pkGuard->GetModelPosition(), nullptr);
        EXPECT_FLOAT_EQ(pkGuard->GetModelPosition()->x, kPost.x);
        EXPECT_FLOAT_EQ(pkGuard->GetModelPosition()->z, kPost.z);
    }
    EXPECT_EQ(iGuards, 2);

    // 13:00 of a seeded game: 4 free beds and order 500 bring 1 to 3.
    pkLedger->m_iOrder = 500;
    NiSeedRandom(23);
    const int iExpected = NiRand() % 3 + 1;
    NiSeedRandom(23);
    m_kSpawn.MakeArrivalsDue();
    auto* pkVan = dynamic_cast<CSpawnObject*>(m_kSpawn.m_pkArrivalPath->m_pkVehicle);
    ASSERT_NE(pkVan, nullptr);
    bool bFollowed = false;
    ASSERT_TRUE(RunUntil(60.0f, [&] {
        m_kSpawn.UpdateArrivals(FRAME);
        NiVec3 kNode;
        if (m_kSpawn.m_ucCameraFollows && pkVan->GetCameraPosition(kNode))
            bFollowed = bFollowed || (kCamera.GetEngineCamera()->GetTranslate() - kNode).Length() < 1e-4f;
        return m_kSpawn.GetArrivalState() == CSpawnManager::ARRIVAL_IDLE;
    }));
    EXPECT_TRUE(bFollowed);
    // The follow ended at the level's start view.
    EXPECT_EQ(kCamera.GetEngineCamera()->GetTranslate(), NiVec3(104.0f, 13.0f, -30.0f));
    ASSERT_EQ(pkLedger->m_kPrisoners.size(), static_cast<std::size_t>(iExpected));
    int iHoused = 0;
    for (std::uint32_t i = 0; COrvaneObject* pkObject = m_pkManager->GetObjectAt(i); ++i)
        if (auto* pkPrisoner = dynamic_cast<CAIPrisoner*>(pkObject))
            iHoused += pkPrisoner->GetHome() == pkCellA || pkPrisoner->GetHome() == pkCellB ? 1 : 0;
    EXPECT_EQ(iHoused, iExpected);
    EXPECT_TRUE(m_kSpawn.m_kWaitingPrisoners.empty());
    // Everyone walks the road off and on home.
    EXPECT_TRUE(RunUntil(120.0f, [&] {
        for (std::uint32_t i = 0; COrvaneObject* pkObject = m_pkManager->GetObjectAt(i); ++i)
            if (auto* pkPrisoner = dynamic_cast<CAIPrisoner*>(pkObject); pkPrisoner && Controller(*pkPrisoner) == "spawn")
                return false;
        return true;
    }));
    EXPECT_TRUE(m_kHost.CallsNamed("PostMessage").empty());
    m_kHost.m_pkCamera = nullptr;
    // The building takes what stands on its floors with it.
    m_pkManager->DestroyObject(pkBlock, true);
}

} // namespace

TEST_F(CAIControllerTest, LeavingADemoUsableObjectEndsOnAWalkableCellOutsideItsFootprint)
{
    CBlockGrid* pkYard = Area(1, 12, 12);
    const std::int32_t iCell = 12 * 6 + 6;
    // The footprint: rows x columns from the anchor.
    auto InFootprint = [&](const CPathableObject& kObject, std::int32_t iAt) {
        const std::int32_t iRow = pkYard->RowOf(iAt, true) - pkYard->RowOf(kObject.GetAnchor(), true);
        const std::int32_t iColumn = pkYard->ColumnOf(iAt, true) - pkYard->ColumnOf(kObject.GetAnchor(), true);
        return iRow >= 0 && iRow < kObject.GetRows() && iColumn >= 0 && iColumn < kObject.GetColumns();
    };
    for (const char* pcTemplate :
         {"cell_single", "cell_double", "cell_secure", "serving_counter", "dining_table", "bench", "work_bench",
          "laundry_press", "repair_room", "sick_bed", "therapy_room", "medical_room", "counselling_room", "planning1",
          "planning2", "clerical1", "execution_room", "guard_room"})
        for (float fHeading : {0.0f, 90.0f, 180.0f, 270.0f})
        {
            SCOPED_TRACE(std::string(pcTemplate) + " turned " + std::to_string(static_cast<int>(fHeading)));
            CPathableObject* pkObject = Stand(pcTemplate, *pkYard, iCell, "FoodObjectFactory", fHeading);
            ASSERT_NE(pkObject, nullptr);
            const std::int32_t iAccess = pkObject->GetAccessCell(0);
            ASSERT_TRUE(pkYard->IsValidCell(iAccess, true));
            ASSERT_FALSE(InFootprint(*pkObject, iAccess));
            // Every place's route starts, and so a walk out ends, on a free
            // cell beside the object; unturned, on the access cell itself.
            for (std::int32_t iSlot = 0; iSlot < pkObject->GetCapacity(); ++iSlot)
            {
                COrvaneAnimationSpline* pkSpline = pkObject->GetSlotSpline(0, iSlot);
                NiVec3 kStart;
                ASSERT_TRUE(pkSpline && pkSpline->GetStartPosition(kStart));
                const std::int32_t iStart = pkYard->CellAt(kStart);
                ASSERT_TRUE(pkYard->IsValidCell(iStart, true));
                EXPECT_TRUE(pkYard->GetBlock(iStart)->IsWalkable());
                EXPECT_FALSE(InFootprint(*pkObject, iStart));
                if (fHeading == 0.0f)
                {
                    EXPECT_EQ(iStart, iAccess);
                }
            }
            // A whole use, walked: in from the access cell, out again.
            if (fHeading == 0.0f || std::string(pcTemplate) == "therapy_room" ||
                std::string(pcTemplate) == "serving_counter")
            {
                CGameCharacter* pkUser = Place("PrisonerFactory", "thug", *pkYard, iAccess);
                ASSERT_NE(pkUser, nullptr);
                ASSERT_TRUE(pkObject->AssignUser(pkUser, 0, 0));
                pkUser->SetTargetObject(pkObject);
                pkUser->SetUseSlot(0, 0);
                pkUser->SetController("objectUse", true, true);
                ASSERT_TRUE(RunUntil(40.0f, [&] { return pkUser->GetStateBlock().m_ucCurrentState == 3; }));
                ASSERT_TRUE(RunUntil(60.0f, [&] { return Controller(*pkUser) == "wander"; }));
                const std::int32_t iEnd = pkYard->CellAt(*pkUser->GetModelPosition());
                ASSERT_TRUE(pkYard->IsValidCell(iEnd, true));
                EXPECT_TRUE(pkYard->GetBlock(iEnd)->IsWalkable());
                EXPECT_FALSE(InFootprint(*pkObject, iEnd));
                EXPECT_EQ(pkUser->GetCurrentCell(), iEnd);
                if (fHeading == 0.0f)
                {
                    EXPECT_EQ(iEnd, iAccess);
                }
                m_pkManager->DestroyObject(pkUser, true);
            }
            m_pkManager->DestroyObject(pkObject, true);
        }
}
