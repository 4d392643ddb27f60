// A small prison run by the game for whole game days on the demo data:
// nobody may be lost, the money must add up, nobody may stand stuck, and the
// same seed must give the same days.

#include "game/shell/CGame.h"

#include "engine/core/NiRandom.h"
#include "engine/scene/NiNode.h"
#include "framework/COrvaneAICharacterController.h"
#include "framework/COrvaneAnimationSpline.h"
#include "framework/COrvaneBlock.h"
#include "framework/COrvaneApplication.h"
#include "framework/COrvaneComposite.h"
#include "framework/COrvaneFile.h"
#include "framework/COrvaneGridEntity.h"
#include "framework/COrvaneObjectDesc.h"
#include "framework/COrvaneSplineBase.h"
#include "game/shell/CCamera.h"
#include "game/shell/CFrontEndScreens.h"
#include "game/shell/ui/CBuildPlacement.h"
#include "game/shell/ui/CInterface.h"
#include "game/simulation/characters/CAIPrisoner.h"
#include "game/simulation/characters/CAIStaff.h"
#include "game/simulation/characters/CSpawnManager.h"
#include "game/simulation/objects/CBlockGrid.h"
#include "game/simulation/objects/CBlockGridManager.h"
#include "game/simulation/objects/CBlockGridStack.h"
#include "game/simulation/objects/CCell.h"
#include "game/simulation/objects/CConnector.h"
#include "game/simulation/objects/CDynamicObjectManager.h"
#include "game/simulation/objects/CPathableObject.h"
#include "game/simulation/objects/CPrisonStatistics.h"
#include "game/simulation/objects/CWorld.h"
#include "game/simulation/objects/CWorldObject.h"
#include "platform/os/OsTime.h"
#include "tests/support/SanitizedBuild.h"
#include "tests/framework/FrameworkTestSupport.h"
#include "tests/framework/TestClock.h"
#include "tests/game/support/CHeadlessPrison.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace
{
constexpr float FRAME = 0.05f;
constexpr float SPEED = 12.0f;
constexpr int DAYS = 12;
// Game minutes (scaled seconds) a character may keep its controller, state
// and cell during the day.
constexpr float STUCK_MINUTES = 120.0f;

// A message the game posted: its number, and its value when numbered.
struct PostedMessage
{
    int m_iMessage = 0;
    int m_iValue = 0;
    bool m_bNumbered = false;
    bool operator==(const PostedMessage&) const = default;
};

// The game with its messages recorded on their way to the interface.
class RecordingGame : public CGame
{
public:
    void PostMessage(int iMessage) override
    {
        m_kMessages.push_back({iMessage, 0, false});
        CGame::PostMessage(iMessage);
    }
    void PostNumberedMessage(int iMessage, int iValue) override
    {
        m_kMessages.push_back({iMessage, iValue, true});
        CGame::PostNumberedMessage(iMessage, iValue);
    }
    std::vector<PostedMessage> m_kMessages;
};

using Placed = CHeadlessPrison::Placed;

// What a run leaves to compare.
struct DayRun
{
    std::string m_kStatistics;
    std::vector<PostedMessage> m_kMessages;
    std::vector<std::string> m_kFailures;
    int m_iMornings = 0;
    int m_iPrisonersSeen = 0;
    // Brought by the daily arrival, counted as they appear in the registry.
    int m_iArrived = 0;
    // The prison as saved at the end and as loaded into a fresh level.
    std::string m_kSaved;
    std::string m_kLoaded;
    bool m_bReloaded = false;
    int m_iReceived = 0;
    int m_iDeparted = 0;
    int m_iServices = 0;
    // Parole granted at the desk top.
    int m_iParoled = 0;
};

// Where a character was last seen changing.
struct Seen
{
    std::string m_kController;
    std::uint8_t m_ucState = 0;
    std::int32_t m_iCell = -1;
    // Off every cell (on the arrival road) the position tells the move.
    NiVec3 m_kAt;
    const void* m_pkGrid = nullptr;
    float m_fSince = 0.0f;
};

class DayHarnessTest : public EngineFrameworkTest
{
protected:
    void SetUp() override
    {
        EngineFrameworkTest::SetUp();
        std::filesystem::copy(ORVANE_DEMO_DATA, Folder(),
                              std::filesystem::copy_options::recursive |
                                  std::filesystem::copy_options::overwrite_existing);
        COrvaneApplication::LoadSettings();
        // Path searches never split: the tick stands still.
        os::SetClock(&m_kTick);
        // The cursor is never over a panel.
        CBuildPlacement::SetPanelTest([] { return false; });
    }

    void TearDown() override
    {
        CBuildPlacement::Destroy();
        CBuildPlacement::SetPanelTest(nullptr);
        os::SetClock(nullptr);
        COrvaneApplication::ResetSettings();
        CCamera::ResetCurrent();
        CGame::ResetStatics();
        EngineFrameworkTest::TearDown();
    }

    // An object put straight onto the floor's cell, without the build
    // placement.
    static CPathableObject* Stand(CGame& kGame, const Placed& kWhat, CBlockGrid& kFloor, std::int32_t iCell)
    {
        CDynamicObjectManager* pkManager = CDynamicObjectManager::GetInstance();
        COrvaneObjectDesc kDesc;
        kDesc.m_pkTemplate = pkManager->FindTemplate(kWhat.m_pcTemplate);
        kDesc.m_ucMode = 1;
        kDesc.m_ucAddToWorld = 1;
        auto* pkObject = dynamic_cast<CPathableObject*>(
            pkManager->CreateObject(pkManager->FindFactory(kWhat.m_pcFactory, kGame.GetWorld()), kDesc));
        NiVec3 kAt;
        if (!pkObject || !kFloor.CellPosition(iCell, kAt, true))
            return nullptr;
        pkObject->SetPosition(kAt, 0);
        pkObject->PlaceAt(kAt, &kFloor);
        pkObject->Update(0.0f);
        if (COrvaneComposite* pkModel = pkObject->GetModel())
            pkModel->UpdateNode(0.0f);
        pkObject->Place();
        return pkObject;
    }

    // Built as the player builds: a committed room hires its staff, who
    // come down the arrival road.
    static CBaseObject* Commit(CGame& kGame, const Placed& kWhat, const CBlockGrid& kFloor, std::int32_t iFrom)
    {
        return CHeadlessPrison::Commit(kGame, kWhat, kFloor, iFrom);
    }

    static std::set<const CAIPrisoner*> Prisoners()
    {
        std::set<const CAIPrisoner*> kFound;
        CDynamicObjectManager* pkManager = CDynamicObjectManager::GetInstance();
        for (std::uint32_t i = 0; COrvaneObject* pkObject = pkManager->GetObjectAt(i); ++i)
            if (const auto* pkPrisoner = dynamic_cast<const CAIPrisoner*>(pkObject))
                kFound.insert(pkPrisoner);
        return kFound;
    }

    // Prisoners off the arrival road into cells, or waiting for one.
    static int Admit(CGame& kGame, int iCount) { return CHeadlessPrison::Admit(kGame, iCount); }

    // A started game in level 0, its front end skipped, random draws seeded.
    static bool EnterLevel(CGame& kGame, std::uint32_t uiSeed) { return CHeadlessPrison::EnterLevel(kGame, uiSeed); }

    // Level 0 entered with money for everything: its yard, or null.
    static CBlockGrid* EnterRichLevel(CGame& kGame, std::uint32_t uiSeed)
    {
        CBlockGrid* pkYard = EnterLevel(kGame, uiSeed) ? CBlockGridManager::GetInstance()->FindGrid(1) : nullptr;
        if (pkYard == nullptr || kGame.GetStatistics() == nullptr)
            return nullptr;
        kGame.GetStatistics()->m_iStartingFunds = 1000000;
        kGame.GetStatistics()->UpdateTotals();
        return pkYard;
    }

    // The prison, committed as the player builds it: a secure cell block
    // in the middle of the yard with eight two-bed cells, two of each
    // security level; on the yard a table, a workbench, a sick bed, a
    // bench, the two administration rooms, an execution room and the
    // guard, medical, counselling and repair rooms. Then the first
    // prisoners.
    static bool Build(CGame& kGame)
    {
        CBlockGrid* pkYard = CBlockGridManager::GetInstance()->FindGrid(1);
        CPrisonStatistics* pkLedger = kGame.GetStatistics();
        if (!pkYard || !pkLedger)
            return false;
        // A rich prison of the highest level: everything may be bought.
        // The ledger works the level out afresh as objects join.
        pkLedger->m_iStartingFunds = 1000000;
        pkLedger->UpdateTotals();
        const auto Build = [&kGame, pkLedger](const Placed& kWhat, const CBlockGrid& kFloor, std::int32_t iFrom) {
            pkLedger->m_usPrisonLevel = 3;
            return Commit(kGame, kWhat, kFloor, iFrom);
        };
        auto* pkBlock = dynamic_cast<CWorldObject*>(
            Build({"WorldObjectFactory", "cellblock_secure"}, *pkYard, 20 * pkYard->GetColumns() + 20));
        if (!pkBlock || !pkBlock->GetStack())
            return false;

        // Inside, from the ground floor up.
        kGame.SetSelectedBuilding(pkBlock);
        while (pkBlock->GoDownFloor())
        {
        }
        const char* const apcCells[] = {"cell_double",      "cell_double",      "cell_double_medium",
                                        "cell_double_medium", "cell_double_high", "cell_double_high",
                                        "cell_double_max",  "cell_double_max"};
        int iCells = 0;
        for (const char* pcCell : apcCells)
        {
            for (;;)
            {
                const CBlockGrid* pkFloor = pkBlock->GetStack()->GetCurrentGrid();
                if (pkFloor && Build({"CellFactory", pcCell}, *pkFloor, 0))
                {
                    ++iCells;
                    break;
                }
                if (!pkBlock->GoUpFloor(true))
                    break;
            }
        }
        while (pkBlock->GoUpFloor(false))
        {
        }
        kGame.SetSelectedBuilding(nullptr);
        if (iCells != 8)
            return false;

        int iSpot = 0;
        auto Next = [&iSpot, pkYard] {
            const int iRow = 4 + (iSpot / 6) * 6;
            const int iColumn = 4 + (iSpot % 6) * 6;
            ++iSpot;
            return iRow * pkYard->GetColumns() + iColumn;
        };
        // The factories the inside build page picks by each plan's kind
        // word; the administration rooms by their own.
        const Placed akObjects[] = {
            {"FoodObjectFactory", "dining_table"},     {"WorkObjectFactory", "work_bench"},
            {"HospitalObjectFactory", "sick_bed"},     {"FoodObjectFactory", "bench"},
            {"AdminRoomFactory", "planning1"},         {"AdminRoomFactory", "clerical1"},
            {"AdminRoomFactory", "execution_room"},    {"PathableObjectFactory", "guard_room"},
            {"HospitalObjectFactory", "medical_room"}, {"HospitalObjectFactory", "therapy_room"},
            {"PathableObjectFactory", "repair_room"},
        };
        for (const Placed& kObject : akObjects)
            if (!Build(kObject, *pkYard, Next()))
                return false;
        return Admit(kGame, 12) == 12;
    }

    // The checks of a morning, once the night's departures have gone.
    static void CheckBooks(DayRun& kRun, int iDay, const std::vector<PostedMessage>& kMessages)
    {
        CDynamicObjectManager* pkManager = CDynamicObjectManager::GetInstance();
        const CPrisonStatistics& kLedger = *pkManager->GetStatistics();
        const CSpawnManager* pkSpawn = CGameHost::Get() ? CGameHost::Get()->GetSpawnManager() : nullptr;
        auto Fail = [&kRun, iDay](const std::string& kWhat) {
            kRun.m_kFailures.push_back("day " + std::to_string(iDay) + ": " + kWhat);
        };
        std::vector<CAIPrisoner*> kPrisoners;
        int aiStaff[CPrisonStatistics::CATEGORY_COUNT] = {};
        int iOccupancy = 0;
        for (std::uint32_t i = 0; COrvaneObject* pkObject = pkManager->GetObjectAt(i); ++i)
        {
            if (auto* pkPrisoner = dynamic_cast<CAIPrisoner*>(pkObject))
                kPrisoners.push_back(pkPrisoner);
            else if (auto* pkStaff = dynamic_cast<CAIStaff*>(pkObject))
                ++aiStaff[pkStaff->GetStaffCategory()];
            if (auto* pkCell = dynamic_cast<CCell*>(pkObject))
                iOccupancy += pkCell->GetOccupancy();
            if (auto* pkPlaced = dynamic_cast<CBaseObject*>(pkObject))
                for (const std::unique_ptr<CStaffPost>& pkPost : pkPlaced->GetPosts())
                    if (pkPost->m_usMoodIntensity < CPrisonStatistics::CATEGORY_COUNT)
                        ++aiStaff[pkPost->m_usMoodIntensity];
        }
        // Nobody lost.
        std::int64_t iReoffences = 0;
        for (const PostedMessage& kMessage : kMessages)
            if (kMessage.m_bNumbered && (kMessage.m_iMessage == 20 || kMessage.m_iMessage == 14))
                iReoffences += kMessage.m_iMessage == 20 ? kMessage.m_iValue : -kMessage.m_iValue;
        // Sentences ended since the last report (parole granted this
        // morning) are reported at the next day's start.
        iReoffences += kLedger.m_usTodayCompleted - kLedger.m_usTodayReleases;
        const std::int64_t iAccounted = static_cast<std::int64_t>(kLedger.m_usPrisonersNow) +
                                        kLedger.m_usPrisonersReleased + kLedger.m_usPrisonersGone +
                                        kLedger.m_usEscapes + iReoffences;
        if (kLedger.m_usPrisonersReceived != iAccounted)
            Fail("received " + std::to_string(kLedger.m_usPrisonersReceived) + " but accounted " +
                 std::to_string(iAccounted));
        if (kPrisoners.size() != kLedger.m_usPrisonersNow || kLedger.m_kPrisoners.size() != kPrisoners.size())
            Fail("prisoners: " + std::to_string(kPrisoners.size()) + " in the registry, " +
                 std::to_string(kLedger.m_usPrisonersNow) + " now, " + std::to_string(kLedger.m_kPrisoners.size()) +
                 " records");
        for (CAIPrisoner* pkPrisoner : kPrisoners)
        {
            if (std::count(kLedger.m_kPrisoners.begin(), kLedger.m_kPrisoners.end(), &pkPrisoner->GetStats()) != 1)
                Fail("a prisoner's record is not listed once");
            const auto* pkCell = dynamic_cast<const CCell*>(pkPrisoner->GetHome());
            const bool bHoused =
                pkCell && std::count(pkCell->GetPrisoners().begin(), pkCell->GetPrisoners().end(), pkPrisoner) == 1;
            const bool bWaiting = pkSpawn && std::count(pkSpawn->m_kWaitingPrisoners.begin(),
                                                        pkSpawn->m_kWaitingPrisoners.end(), pkPrisoner) == 1;
            if (bHoused == bWaiting)
                Fail("a prisoner is neither housed nor waiting, or both");
        }
        if (kLedger.m_usBedsTaken != iOccupancy)
            Fail("beds taken " + std::to_string(kLedger.m_usBedsTaken) + ", occupancy " + std::to_string(iOccupancy));
        for (int i = 0; i < CPrisonStatistics::CATEGORY_COUNT; ++i)
            if (kLedger.GetStaffGroup(i)->m_usCount != aiStaff[i])
                Fail("staff category " + std::to_string(i) + ": " + std::to_string(kLedger.GetStaffGroup(i)->m_usCount) +
                     " counted, " + std::to_string(aiStaff[i]) + " present");
        // The money.
        const int iItems = kLedger.m_iStartingFunds + kLedger.m_iPrisonerPayments + kLedger.m_iOtherIncome +
                           kLedger.m_iWorkIncome - kLedger.m_iPurchases - kLedger.m_iWages - kLedger.m_iRunningCosts -
                           kLedger.m_iFoodCosts - kLedger.m_iIncidentCosts - kLedger.m_iAdminCosts;
        if (kLedger.GetBalance() != iItems)
            Fail("the balance is not the sum of the items");
        if (kLedger.m_iOrder < 0 || kLedger.m_iOrder > 1000)
            Fail("order " + std::to_string(kLedger.m_iOrder));
    }

    // The items of the ledger that may only grow.
    static std::vector<int> Items(const CPrisonStatistics& kLedger)
    {
        return {kLedger.m_iPrisonerPayments, kLedger.m_iOtherIncome, kLedger.m_iWorkIncome, kLedger.m_iPurchases,
                kLedger.m_iWages,           kLedger.m_iRunningCosts, kLedger.m_iFoodCosts, kLedger.m_iIncidentCosts,
                kLedger.m_iAdminCosts};
    }

    // What a morning adds: the day's administration, the objects' upkeep,
    // the staff's and posts' wages.
    static void ExpectedMorning(int& iAdmin, int& iUpkeep, int& iWages)
    {
        CDynamicObjectManager* pkManager = CDynamicObjectManager::GetInstance();
        const CPrisonStatistics& kLedger = *pkManager->GetStatistics();
        iAdmin = 2500 * (kLedger.m_usUpgradeLevel + 1) / (kLedger.m_usClericalLevel + 1);
        iUpkeep = 0;
        iWages = 0;
        for (std::uint32_t i = 0; COrvaneObject* pkObject = pkManager->GetObjectAt(i); ++i)
        {
            if (auto* pkStaff = dynamic_cast<CAIStaff*>(pkObject))
                iWages += pkStaff->GetStats().m_usWage;
            if (auto* pkUsable = dynamic_cast<CPathableObject*>(pkObject); pkUsable && pkUsable->IsPlaced())
                iUpkeep += pkUsable->GetRecord().m_usUpkeep;
            if (auto* pkBuilding = dynamic_cast<CWorldObject*>(pkObject); pkBuilding && pkBuilding->IsPlaced())
                iUpkeep += pkBuilding->GetRecord().m_usUpkeep;
            if (auto* pkPlaced = dynamic_cast<CBaseObject*>(pkObject))
                for (const std::unique_ptr<CStaffPost>& pkPost : pkPlaced->GetPosts())
                    iWages += pkPost->m_usWage;
        }
    }

    // The objects per factory, the ledger's line and every character's
    // controller, as text: the controller a save records, the one waiting
    // to take over when there is one.
    static std::string Summary()
    {
        CDynamicObjectManager* pkManager = CDynamicObjectManager::GetInstance();
        std::map<std::string, int> kFactories;
        std::vector<std::string> kControllers;
        for (std::uint32_t i = 0; COrvaneObject* pkObject = pkManager->GetObjectAt(i); ++i)
        {
            if (pkManager->IsPending(pkObject))
                continue;
            const auto* pkEntity = dynamic_cast<const COrvaneGridEntity*>(pkObject);
            const COrvaneBase* pkFactory = pkEntity ? pkEntity->GetTypeObject() : nullptr;
            ++kFactories[pkFactory && pkFactory->GetName() ? pkFactory->GetName() : "-"];
            if (auto* pkCharacter = dynamic_cast<CGameCharacter*>(pkObject))
            {
                const COrvaneAICharacterController* pkSaved = pkCharacter->GetPendingController() != nullptr
                                                                  ? pkCharacter->GetPendingController()
                                                                  : pkCharacter->GetActiveController();
                kControllers.push_back(pkSaved && pkSaved->GetName() ? pkSaved->GetName() : "-");
            }
        }
        std::sort(kControllers.begin(), kControllers.end());
        std::string kText = pkManager->GetStatistics()->FormatLine() + "\n";
        for (const auto& [kName, iCount] : kFactories)
            kText += kName + " " + std::to_string(iCount) + "\n";
        for (const std::string& kName : kControllers)
            kText += kName + "\n";
        return kText;
    }

    // The morning's parole hearing at the desk top, as its widgets act: the
    // first candidate is granted parole (widget 1), the next refused (widget
    // 2), then the desk top is left (widget 3: the list emptied, the desk
    // top hidden, the saved speed back).
    static void Hearing(CGame& kGame, DayRun& kRun)
    {
        if (CSpawnManager* pkSpawn = kGame.GetSpawnManager())
        {
            if (!pkSpawn->GetParoleCandidates().empty())
            {
                CAIPrisoner* pkGranted = pkSpawn->GetParoleCandidates().front();
                pkGranted->ResolveSentenceEnd();
                pkSpawn->RemoveParoleCandidate(pkGranted);
                ++kRun.m_iParoled;
            }
            if (!pkSpawn->GetParoleCandidates().empty())
                pkSpawn->RemoveParoleCandidate(pkSpawn->GetParoleCandidates().front());
            pkSpawn->ClearParoleCandidates();
        }
        if (CInterface* pkInterface = CInterface::Get())
            pkInterface->ShowDeskTop(false);
        kGame.SetGameSpeed(kGame.GetSavedSpeed());
    }

    DayRun Run(std::uint32_t uiSeed, int iDays, bool bReload = false)
    {
        DayRun kRun;
        RecordingGame kGame;
        EXPECT_TRUE(EnterLevel(kGame, uiSeed));
        if (!Build(kGame))
        {
            kRun.m_kFailures.push_back("the prison could not be built");
            return kRun;
        }
        kGame.SetGameSpeed(SPEED);
        // The speed the desk top brings back when it is left.
        kGame.SetSavedSpeed(SPEED);
        CPrisonStatistics& kLedger = *kGame.GetStatistics();
        std::map<const CGameCharacter*, Seen> kSeen;
        std::vector<int> kItems = Items(kLedger);
        std::uint16_t usDay = kGame.GetGameClock().m_usDay;
        std::int16_t sYear = kGame.GetGameClock().m_sYearOffset;
        int iDaysRun = 0;
        bool bMorningChecked = true;
        while (iDaysRun < iDays && kRun.m_kFailures.size() < 20)
        {
            int iAdmin = 0, iUpkeep = 0, iWages = 0;
            ExpectedMorning(iAdmin, iUpkeep, iWages);
            const int iPayments = kLedger.m_iPrisonerPayments;
            const std::vector<int> kBefore = Items(kLedger);
            const std::set<const CAIPrisoner*> kPresent = Prisoners();
            kGame.StepSimulation(FRAME);
            for (const CAIPrisoner* pkPrisoner : Prisoners())
                if (!kPresent.count(pkPrisoner))
                    ++kRun.m_iArrived;
            if (kLedger.m_iPrisonerPayments != iPayments)
            {
                int iOwed = 0;
                for (const CCharacterStats* pkRecord : kLedger.m_kPrisoners)
                    iOwed += (pkRecord->m_usSecurityLevel + 1) * 1000;
                if (kLedger.m_iPrisonerPayments - iPayments != iOwed)
                    kRun.m_kFailures.push_back("payments rose by " + std::to_string(kLedger.m_iPrisonerPayments - iPayments) +
                                               ", owed " + std::to_string(iOwed));
            }
            const CGameClock& kClock = kGame.GetGameClock();
            if (kClock.m_usDay != usDay || kClock.m_sYearOffset != sYear)
            {
                // The morning: its step has run in this frame.
                usDay = kClock.m_usDay;
                sYear = kClock.m_sYearOffset;
                ++iDaysRun;
                ++kRun.m_iMornings;
                if (kLedger.m_iAdminCosts - kBefore[8] != iAdmin)
                    kRun.m_kFailures.push_back("administration rose by " +
                                               std::to_string(kLedger.m_iAdminCosts - kBefore[8]));
                if (kLedger.m_iRunningCosts - kBefore[5] != iUpkeep)
                    kRun.m_kFailures.push_back("running costs rose by " +
                                               std::to_string(kLedger.m_iRunningCosts - kBefore[5]) + ", upkeep " +
                                               std::to_string(iUpkeep));
                if (kLedger.m_iWages - kBefore[4] != iWages)
                    kRun.m_kFailures.push_back("wages rose by " + std::to_string(kLedger.m_iWages - kBefore[4]) +
                                               ", owed " + std::to_string(iWages));
                Hearing(kGame, kRun);
                kRun.m_iPrisonersSeen += Admit(kGame, 2);
                bMorningChecked = false;
            }
            const std::vector<int> kNow = Items(kLedger);
            for (std::size_t i = 0; i < kNow.size(); ++i)
                if (kNow[i] < kItems[i])
                    kRun.m_kFailures.push_back("ledger item " + std::to_string(i) + " fell");
            kItems = kNow;
            const float fMinutes = kClock.m_fMinutes;
            if (!bMorningChecked && fMinutes >= 7.0f * 60.0f)
            {
                CheckBooks(kRun, iDaysRun, kGame.m_kMessages);
                bMorningChecked = true;
            }
            WatchForStuck(kRun, kSeen, kGame.GetGameTime(), fMinutes >= 6.0f * 60.0f && fMinutes <= 22.0f * 60.0f);
        }
        kRun.m_kStatistics = kLedger.FormatLine();
        kRun.m_iReceived = kLedger.m_usPrisonersReceived;
        kRun.m_iDeparted = kLedger.m_usPrisonersReceived - kLedger.m_usPrisonersNow;
        for (int i = 0; i < CPrisonStatistics::CATEGORY_COUNT; ++i)
            kRun.m_iServices += kLedger.GetStaffGroup(i)->m_usServices;
        kRun.m_kMessages = kGame.m_kMessages;
        if (bReload)
        {
            // The objects section written now reads back into a fresh level.
            kRun.m_kSaved = Summary();
            {
                COrvaneFile kFile;
                EXPECT_EQ(kFile.Open("days.txt", COrvaneFile::MODE_WRITE), 1);
                EXPECT_TRUE(CDynamicObjectManager::GetInstance()->SaveObjects(kFile));
                EXPECT_TRUE(kFile.Flush());
            }
            const CGameClock kSavedClock = kGame.GetGameClock();
            kGame.ResetGame();
            kGame.LoadLevelData();
            // As a save would: the clock of the saved moment (mid-day, so no
            // day's payments are booked as the objects relink).
            kGame.GetGameClock() = kSavedClock;
            // Read in the version the game writes, as a load of its save.
            kGame.SetSaveVersion(CGame::SAVE_VERSION);
            COrvaneFile kFile;
            EXPECT_EQ(kFile.Open("days.txt", COrvaneFile::MODE_READ), 1);
            kRun.m_bReloaded = CDynamicObjectManager::GetInstance()->LoadObjects(kFile) &&
                               CDynamicObjectManager::GetInstance()->RelinkAfterLoad();
            kRun.m_kLoaded = Summary();
        }
        kGame.ResetGame();
        return kRun;
    }

    static void WatchForStuck(DayRun& kRun, std::map<const CGameCharacter*, Seen>& kSeen, float fTime, bool bDaytime)
    {
        CDynamicObjectManager* pkManager = CDynamicObjectManager::GetInstance();
        std::map<const CGameCharacter*, Seen> kNow;
        for (std::uint32_t i = 0; COrvaneObject* pkObject = pkManager->GetObjectAt(i); ++i)
        {
            auto* pkCharacter = dynamic_cast<CGameCharacter*>(pkObject);
            if (!pkCharacter)
                continue;
            const COrvaneAICharacterController* pkActive = pkCharacter->GetActiveController();
            Seen kHere;
            kHere.m_kController = pkActive && pkActive->GetName() ? pkActive->GetName() : "";
            kHere.m_ucState = pkCharacter->GetStateBlock().m_ucCurrentState;
            kHere.m_iCell = pkCharacter->GetCurrentCell();
            kHere.m_pkGrid = pkCharacter->GetGrid();
            if (kHere.m_iCell < 0 && pkCharacter->GetModelPosition())
                kHere.m_kAt = *pkCharacter->GetModelPosition();
            kHere.m_fSince = fTime;
            auto kWas = kSeen.find(pkCharacter);
            if (kWas != kSeen.end() && kWas->second.m_kController == kHere.m_kController &&
                kWas->second.m_ucState == kHere.m_ucState && kWas->second.m_iCell == kHere.m_iCell &&
                kWas->second.m_pkGrid == kHere.m_pkGrid && (kWas->second.m_kAt - kHere.m_kAt).Length() < 0.01f)
                kHere.m_fSince = kWas->second.m_fSince;
            auto* pkPrisoner = dynamic_cast<CAIPrisoner*>(pkCharacter);
            const bool bEndlessUse = pkPrisoner && pkPrisoner->GetStats().m_usSecurityLevel == 3 &&
                                     kHere.m_kController == "objectUse" && kHere.m_ucState == 3;
            if (!bDaytime)
                kHere.m_fSince = fTime;
            else if (!bEndlessUse && fTime - kHere.m_fSince > STUCK_MINUTES)
            {
                kRun.m_kFailures.push_back(pkCharacter->DebugText() + " stuck in " + kHere.m_kController + " state " +
                                           std::to_string(kHere.m_ucState) + " cell " + std::to_string(kHere.m_iCell) + " at " +
                                           std::to_string(pkCharacter->GetModelPosition() ? pkCharacter->GetModelPosition()->x : 0.0f) + "," +
                                           std::to_string(pkCharacter->GetModelPosition() ? pkCharacter->GetModelPosition()->z : 0.0f) + " grid " +
                                           std::to_string(pkCharacter->GetGrid() ? pkCharacter->GetGrid()->GetId() : -1) +
                                           " since " + std::to_string(kHere.m_fSince) + " now " + std::to_string(fTime));
                kHere.m_fSince = fTime;
            }
            kNow[pkCharacter] = kHere;
        }
        kSeen.swap(kNow);
    }

    TestClock m_kTick{0};
};

std::string Failures(const DayRun& kRun)
{
    std::ostringstream kOut;
    for (const std::string& kFailure : kRun.m_kFailures)
        kOut << kFailure << "\n";
    return kOut.str();
}

// Everyone of a kind in the registry.
template <typename T> std::vector<T*> People()
{
    std::vector<T*> kFound;
    CDynamicObjectManager* pkManager = CDynamicObjectManager::GetInstance();
    for (std::uint32_t i = 0; COrvaneObject* pkObject = pkManager->GetObjectAt(i); ++i)
        if (auto* pkPerson = dynamic_cast<T*>(pkObject))
            kFound.push_back(pkPerson);
    return kFound;
}

TEST_F(DayHarnessTest, TwelveDaysLoseNobodyKeepTheBooksAndLeaveNobodyStuck)
{
    const DayRun kRun = Run(2005, DAYS, true);
    EXPECT_EQ(kRun.m_iMornings, DAYS);
    EXPECT_TRUE(kRun.m_kFailures.empty()) << Failures(kRun);
    // The prison lived: arrivals every morning (the harness's two and the
    // daily arrival's), some left over three years, and the staff served.
    EXPECT_EQ(kRun.m_iReceived, 12 + kRun.m_iPrisonersSeen + kRun.m_iArrived);
    EXPECT_EQ(kRun.m_iPrisonersSeen, 2 * DAYS);
    EXPECT_GT(kRun.m_iArrived, 0);
    EXPECT_GT(kRun.m_iDeparted, 0);
    EXPECT_GT(kRun.m_iServices, 0);
    EXPECT_GT(kRun.m_iParoled, 0);
    std::printf("after %d days: %s\n", DAYS, kRun.m_kStatistics.c_str());
    // Saved and loaded into a fresh level: the same objects of each
    // factory, the same ledger and the same controllers.
    EXPECT_TRUE(kRun.m_bReloaded);
    EXPECT_EQ(kRun.m_kLoaded, kRun.m_kSaved);
}

TEST_F(DayHarnessTest, TheSameSeedGivesTheSameDays)
{
    // The same game run twice and compared: sanitized, its code runs in the
    // suite's other tests.
    ORVANE_OPTIMISED_ONLY();
    const DayRun kFirst = Run(77, 2);
    const DayRun kSecond = Run(77, 2);
    EXPECT_TRUE(kFirst.m_kFailures.empty()) << Failures(kFirst);
    EXPECT_EQ(kFirst.m_kStatistics, kSecond.m_kStatistics);
    EXPECT_EQ(kFirst.m_kMessages, kSecond.m_kMessages);
}

// A save made while the clock's day-rolled flag is still set (a new prison
// before its first frame, or the frame the day changed) holds the day's
// payments still owed: the loaded game must show the saved books and pay
// them once, in its first frame, as the saving game would have.
TEST_F(DayHarnessTest, ALoadedGameShowsTheSavedBooksAndPaysTheDayOnce)
{
    RecordingGame kGame;
    ASSERT_TRUE(EnterLevel(kGame, 40));
    ASSERT_TRUE(Build(kGame));
    // The reset makes a fresh ledger: always the game's current one.
    const auto Ledger = [&kGame]() -> CPrisonStatistics& { return *kGame.GetStatistics(); };
    const auto Owed = [&Ledger] {
        const CPrisonStatistics& kLedger = Ledger();
        int iOwed = 0;
        for (const CCharacterStats* pkRecord : kLedger.m_kPrisoners)
            iOwed += (pkRecord->m_usSecurityLevel + 1) * 1000;
        return iOwed;
    };
    // The money the items make (the totals are only brought up to date by
    // a frame's step).
    const auto Money = [&Ledger] {
        const CPrisonStatistics& kLedger = Ledger();
        return kLedger.m_iStartingFunds + kLedger.m_iPrisonerPayments + kLedger.m_iOtherIncome +
               kLedger.m_iWorkIncome - kLedger.m_iPurchases - kLedger.m_iWages - kLedger.m_iRunningCosts -
               kLedger.m_iFoodCosts - kLedger.m_iIncidentCosts - kLedger.m_iAdminCosts;
    };
    const auto CheckLoad = [&](const char* pcName) {
        SCOPED_TRACE(pcName);
        ASSERT_EQ(kGame.GetGameClock().m_ucDayRolled, 1);
        const float fMinutes = kGame.GetGameClock().m_fMinutes;
        ASSERT_TRUE(fMinutes >= 6.0f * 60.0f && fMinutes <= 22.0f * 60.0f);
        ASSERT_GT(Owed(), 0);
        const std::string kSavedLine = Ledger().FormatLine();
        const int iSavedMoney = Money();
        const std::string kPath = std::string("maps/") + pcName + ".fds";
        ASSERT_TRUE(kGame.SaveGame(kPath));
        const std::string kSaved = ReadFileBytes(kPath);

        kGame.ResetGame();
        ASSERT_TRUE(kGame.LoadGame(kPath));
        EXPECT_EQ(Ledger().FormatLine(), kSavedLine);
        EXPECT_EQ(Money(), iSavedMoney);
        EXPECT_EQ(Ledger().GetBalance(), iSavedMoney);
        // Saved again, the ledger's line is the one saved.
        const auto StatisticsLine = [](const std::string& kBytes) {
            const std::size_t uiAt = kBytes.find("<STATISTICS>\r\n");
            return uiAt == std::string::npos ? std::string() : kBytes.substr(uiAt);
        };
        ASSERT_TRUE(kGame.SaveGame(kPath + ".again"));
        EXPECT_NE(StatisticsLine(kSaved), "");
        EXPECT_EQ(StatisticsLine(ReadFileBytes(kPath + ".again")), StatisticsLine(kSaved));

        // The day's payments once, in the first frame; none in the next.
        CPrisonStatistics& kLedger = Ledger();
        const int iPayments = kLedger.m_iPrisonerPayments;
        const int iOwed = Owed();
        kGame.StepSimulation(FRAME);
        EXPECT_EQ(kLedger.m_iPrisonerPayments - iPayments, iOwed);
        EXPECT_EQ(kGame.GetGameClock().m_ucDayRolled, 0);
        kGame.StepSimulation(FRAME);
        EXPECT_EQ(kLedger.m_iPrisonerPayments - iPayments, iOwed);
    };
    std::filesystem::create_directories("maps");

    // A new prison: the level's start moved the clock to its first morning.
    CheckLoad("first_morning");

    // A prison that has run half a day, saved in the frame its day changed.
    kGame.SetGameSpeed(SPEED);
    for (int i = 0; i < 400; ++i)
        kGame.StepSimulation(FRAME);
    ASSERT_GT(Ledger().m_iPrisonerPayments, 0);
    kGame.GetGameClock().m_ucDayRolled = 1;
    CheckLoad("day_changed");
    kGame.ResetGame();
}
// Saving a loaded prison again gives back the objects it was loaded from: a
// building's position line is the world position, read back into the
// model's own frame (the world's scene turns it), not added to it; people
// hang upright in the level's scene, so theirs is their placement. One
// prisoner is still on the arrival road when the game is saved.
TEST_F(DayHarnessTest, ALoadedPrisonSavesTheSamePlacedObjectsAgain)
{
    RecordingGame kGame;
    ASSERT_TRUE(EnterLevel(kGame, 40));
    ASSERT_TRUE(Build(kGame));
    // The objects section as records: each starts with its template line,
    // which ends in its model's top node ("|Scene Root"), then its factory
    // and position lines. People's models lie in the staff and prisoners'
    // folders.
    using Records = std::vector<std::vector<std::string>>;
    const auto Objects = [](const std::string& kBytes) {
        Records kRecords;
        const std::size_t uiFrom = kBytes.find("<OBJECTS>\r\n");
        const std::size_t uiTo = kBytes.find("</OBJECTS>", uiFrom == std::string::npos ? 0 : uiFrom);
        if (uiFrom == std::string::npos || uiTo == std::string::npos)
            return kRecords;
        std::vector<std::string> kLines;
        std::istringstream kIn(kBytes.substr(uiFrom, uiTo - uiFrom));
        std::string kLine;
        std::getline(kIn, kLine);
        while (std::getline(kIn, kLine))
            kLines.push_back(kLine);
        for (std::size_t i = 0; i < kLines.size(); ++i)
        {
            const bool bStarts = kLines[i].ends_with("|Scene Root\r");
            if (bStarts || kRecords.empty())
                kRecords.emplace_back();
            kRecords.back().push_back(kLines[i]);
        }
        return kRecords;
    };
    const auto IsCharacter = [](const std::vector<std::string>& kRecord) {
        return kRecord[0].starts_with("prison1/staff/") || kRecord[0].starts_with("prison1/criminals/");
    };
    // Every person is drawn in the level's scene.
    const auto PeopleInTheWorld = [&kGame] {
        int iPeople = 0;
        CDynamicObjectManager* pkManager = CDynamicObjectManager::GetInstance();
        for (std::uint32_t i = 0; COrvaneObject* pkObject = pkManager->GetObjectAt(i); ++i)
            if (dynamic_cast<CGameCharacter*>(pkObject))
                iPeople += pkObject->GetWorld() == kGame.GetWorld() ? 1 : -1000;
        return iPeople;
    };
    // bWhole: every line of a building's record; otherwise its position
    // line (a record saved before the first frame has not yet been given
    // its description, which the load works out). People's records are
    // compared whole.
    // People saved on the arrival road in the last round trip.
    int iOnRoad = 0;
    const auto CheckRoundTrip = [&](const char* pcName, bool bWhole) {
        SCOPED_TRACE(pcName);
        iOnRoad = 0;
        int iChanged = 0;
        const std::string kPath = std::string("maps/") + pcName + ".fds";
        EXPECT_GT(PeopleInTheWorld(), 12);
        ASSERT_TRUE(kGame.SaveGame(kPath));
        const Records kSaved = Objects(ReadFileBytes(kPath));
        kGame.ResetGame();
        ASSERT_TRUE(kGame.LoadGame(kPath));
        EXPECT_GT(PeopleInTheWorld(), 12);
        ASSERT_TRUE(kGame.SaveGame(kPath + ".again"));
        const Records kAgain = Objects(ReadFileBytes(kPath + ".again"));
        ASSERT_EQ(kAgain.size(), kSaved.size());
        int iBuildings = 0;
        int iPeople = 0;
        for (std::size_t i = 0; i < kSaved.size(); ++i)
        {
            ASSERT_GT(kSaved[i].size(), 3u);
            ASSERT_GT(kAgain[i].size(), 3u);
            ASSERT_EQ(kAgain[i][0], kSaved[i][0]);
            const bool bPerson = IsCharacter(kSaved[i]);
            iPeople += bPerson ? 1 : 0;
            iBuildings += bPerson ? 0 : 1;
            const auto kRoad = std::find(kSaved[i].begin(), kSaved[i].end(), "spawn\r");
            if (bPerson && kRoad != kSaved[i].end() && kRoad + 1 != kSaved[i].end())
            {
                // On the road a person is saved with the road's end, where
                // it is loaded, wandering.
                ++iOnRoad;
                const std::string kEnd = kRoad[1].substr(0, kRoad[1].size() - 1) + ",";
                EXPECT_EQ(kAgain[i][2].substr(0, kEnd.size()), kEnd);
                EXPECT_NE(std::find(kAgain[i].begin(), kAgain[i].end(), "wander\r"), kAgain[i].end());
            }
            else if (bPerson && kAgain[i] != kSaved[i])
            {
                // Saved on the stairs or in a doorway, or standing where
                // nobody may stand (in a footprint it was about to leave):
                // loaded wandering, at the connector's position its
                // controller stored when it was on one, else at its home's
                // door and heading there.
                ++iChanged;
                // The home line is the last but one of each record (one on
                // its way to an object is saved with a position line more).
                ASSERT_GT(kAgain[i].size(), 5u);
                const std::size_t uiHome = kSaved[i].size() - 2;
                const std::size_t uiHomeAgain = kAgain[i].size() - 2;
                const auto kConnector = std::find(kSaved[i].begin(), kSaved[i].end(), "connectorUse\r");
                const bool bAtConnector = kConnector != kSaved[i].end() && kConnector + 1 != kSaved[i].end() &&
                                          kAgain[i][2].starts_with(kConnector[1].substr(0, kConnector[1].size() - 1) + ",");
                EXPECT_TRUE(bAtConnector || kAgain[i][5] == kSaved[i][uiHome]) << kSaved[i][2] << kAgain[i][2];
                EXPECT_NE(std::find(kAgain[i].begin(), kAgain[i].end(), "wander\r"), kAgain[i].end());
                EXPECT_EQ(kAgain[i][uiHomeAgain], kSaved[i][uiHome]);
                EXPECT_EQ(kAgain[i].back(), kSaved[i].back());
            }
            else if (bWhole || bPerson)
                EXPECT_EQ(kAgain[i], kSaved[i]) << kSaved[i][0];
            else
                EXPECT_EQ(kAgain[i][2], kSaved[i][2]) << kSaved[i][0];
        }
        // Most people are saved and loaded as they were.
        EXPECT_LT(iChanged, iPeople / 2);
        EXPECT_GT(iBuildings, 10);
        EXPECT_GT(iPeople, 12);
    };
    std::filesystem::create_directories("maps");
    CheckRoundTrip("before_first_frame", false);
    kGame.SetGameSpeed(SPEED);
    for (int i = 0; i < 400; ++i)
        kGame.StepSimulation(FRAME);
    // A newcomer half way down the arrival road, off every cell.
    CAIPrisoner* pkNewcomer = kGame.GetSpawnManager()->CreateArrivingPrisoner();
    ASSERT_NE(pkNewcomer, nullptr);
    for (int i = 0; i < 10; ++i)
        kGame.StepSimulation(FRAME);
    ASSERT_NE(pkNewcomer->GetActiveController(), nullptr);
    ASSERT_STREQ(pkNewcomer->GetActiveController()->GetName(), "spawn");
    CheckRoundTrip("half_a_day", true);
    EXPECT_EQ(iOnRoad, 1);
    // Once nobody is between floors or on the road (they are loaded
    // wandering), the whole file comes back.
    for (CGameCharacter* pkPerson : People<CGameCharacter>())
    {
        const COrvaneAICharacterController* pkActive = pkPerson->GetActiveController();
        const std::string kName = pkActive && pkActive->GetName() ? pkActive->GetName() : "";
        ASSERT_TRUE(kName != "spawn" && kName != "connectorUse") << pkPerson->DebugText() << " in " << kName;
    }
    ASSERT_TRUE(kGame.SaveGame("maps/whole.fds"));
    kGame.ResetGame();
    ASSERT_TRUE(kGame.LoadGame("maps/whole.fds"));
    ASSERT_TRUE(kGame.SaveGame("maps/whole.fds.again"));
    EXPECT_EQ(ReadFileBytes("maps/whole.fds.again"), ReadFileBytes("maps/whole.fds"));
    kGame.ResetGame();
}
} // namespace

namespace
{
TEST_F(DayHarnessTest, AnArrivingPrisonerWalksTheArrivalRoadOnTheOutsideFloor)
{
    RecordingGame kGame;
    ASSERT_TRUE(EnterLevel(kGame, 38));
    CSpawnManager* pkSpawn = kGame.GetSpawnManager();
    ASSERT_NE(pkSpawn, nullptr);
    ASSERT_NE(pkSpawn->m_pkArrivalPath, nullptr);
    ASSERT_NE(pkSpawn->m_pkArrivalPath->m_pkSpline, nullptr);
    NiVec3 kRoadEnd;
    ASSERT_TRUE(pkSpawn->m_pkArrivalPath->m_pkSpline->GetEndPosition(kRoadEnd));

    CAIPrisoner* pkPrisoner = pkSpawn->CreateArrivingPrisoner();
    ASSERT_NE(pkPrisoner, nullptr);
    // Seen and walking: in the level's scene, on the outside floor.
    EXPECT_EQ(pkPrisoner->GetWorld(), kGame.GetWorld());
    EXPECT_EQ(pkPrisoner->GetGrid(), CBlockGridManager::GetInstance()->FindGrid(1));
    ASSERT_NE(pkPrisoner->GetModelPosition(), nullptr);
    const NiVec3 kStart = *pkPrisoner->GetModelPosition();
    EXPECT_GT((kStart - kRoadEnd).Length(), 5.0f);

    // Only the game's own frames move it: no model update by the test.
    kGame.SetGameSpeed(1.0f);
    float fClosest = (kStart - kRoadEnd).Length();
    bool bLeftRoad = false;
    // Frames on the road in which the drawn model came nearer the end: the
    // walk shows, not only its final placing.
    int iNearer = 0;
    int iOnRoad = 0;
    for (int i = 0; i < 20 * 120 && !bLeftRoad; ++i)
    {
        const float fBefore = (*pkPrisoner->GetModelPosition() - kRoadEnd).Length();
        kGame.StepSimulation(FRAME);
        const COrvaneAICharacterController* pkActive = pkPrisoner->GetActiveController();
        bLeftRoad = !pkActive || !pkActive->GetName() || std::string(pkActive->GetName()) != "spawn";
        const float fNow = (*pkPrisoner->GetModelPosition() - kRoadEnd).Length();
        if (!bLeftRoad)
        {
            ++iOnRoad;
            iNearer += fNow < fBefore ? 1 : 0;
        }
        fClosest = std::min(fClosest, fNow);
    }
    EXPECT_TRUE(bLeftRoad);
    EXPECT_GT(iOnRoad, 20);
    EXPECT_GT(iNearer, iOnRoad * 9 / 10);
    EXPECT_LT(fClosest, 2.0f);
    EXPECT_GT((*pkPrisoner->GetModelPosition() - kStart).Length(), 5.0f);
    kGame.ResetGame();
}
} // namespace

namespace
{
// Steps the game until the arrival that is due has unloaded and gone back
// to waiting; false when it never does.
bool RunTheArrival(CGame& kGame, int iFrames)
{
    CSpawnManager* pkSpawn = kGame.GetSpawnManager();
    bool bStarted = false;
    for (int i = 0; i < iFrames; ++i)
    {
        kGame.StepSimulation(FRAME);
        bStarted = bStarted || pkSpawn->GetArrivalState() != CSpawnManager::ARRIVAL_IDLE;
        if (bStarted && pkSpawn->GetArrivalState() == CSpawnManager::ARRIVAL_IDLE)
            return true;
    }
    return false;
}

// The demo level with two level-0 two-bed cells and a guard room: at 13:00
// of a seeded game the game loop's arrival brings one to three prisoners
// for the four free beds at order 500, houses each; the room's guards,
// hired through the game, stand at their post; everyone stands on the
// ground of the level's scene.
TEST_F(DayHarnessTest, TheOneOClockArrivalInTheGameLoopHousesEveryoneAndTheGuardsStandAtTheirPost)
{
    RecordingGame kGame;
    ASSERT_TRUE(EnterLevel(kGame, 13));
    CBlockGrid* pkYard = CBlockGridManager::GetInstance()->FindGrid(1);
    ASSERT_NE(pkYard, nullptr);
    CPathableObject* pkCellA = Stand(kGame, {"CellFactory", "cell_double"}, *pkYard, 4 * 40 + 4);
    CPathableObject* pkCellB = Stand(kGame, {"CellFactory", "cell_double"}, *pkYard, 4 * 40 + 10);
    ASSERT_TRUE(pkCellA && pkCellB);
    EXPECT_EQ(pkCellA->GetRequiredLevel(), 0);
    CPrisonStatistics& kLedger = *kGame.GetStatistics();
    EXPECT_EQ(kLedger.m_usBeds, 4);
    EXPECT_EQ(kLedger.m_usBedsTaken, 0);
    CPathableObject* pkRoom = Stand(kGame, {"AdminRoomFactory", "guard_room"}, *pkYard, 16 * 40 + 16);
    ASSERT_NE(pkRoom, nullptr);
    EXPECT_EQ(pkRoom->SpawnStaff(), 2);
    NiVec3 kPost;
    ASSERT_NE(pkYard->CellPosition(pkRoom->GetAccessCell(0), kPost, true), nullptr);
    // Guards in the level's scene on the yard: at their post, or anywhere
    // on the ground once they go about their work.
    const auto Guards = [&](bool bAtPost) {
        int iGuards = 0;
        for (CAISecurity* pkGuard : People<CAISecurity>())
        {
            if (pkGuard->GetHome() != pkRoom)
                continue;
            EXPECT_EQ(pkGuard->GetWorld(), kGame.GetWorld());
            EXPECT_EQ(pkGuard->GetGrid(), pkYard);
            const NiVec3* pkAt = pkGuard->GetModelPosition();
            if (pkAt && pkAt->y == kPost.y && (!bAtPost || (pkAt->x == kPost.x && pkAt->z == kPost.z)))
                ++iGuards;
        }
        return iGuards;
    };
    EXPECT_EQ(Guards(true), 2);

    kLedger.m_iOrder = 500;
    kGame.GetGameClock().m_fMinutes = 12.0f * 60.0f + 58.0f;
    kGame.SetGameSpeed(1.0f);
    ASSERT_TRUE(RunTheArrival(kGame, 20 * 120));
    const std::vector<CAIPrisoner*> kArrived = People<CAIPrisoner>();
    EXPECT_GE(kArrived.size(), 1u);
    EXPECT_LE(kArrived.size(), 3u);
    EXPECT_EQ(kLedger.m_kPrisoners.size(), kArrived.size());
    EXPECT_TRUE(kGame.GetSpawnManager()->m_kWaitingPrisoners.empty());
    for (CAIPrisoner* pkPrisoner : kArrived)
    {
        EXPECT_TRUE(pkPrisoner->GetHome() == pkCellA || pkPrisoner->GetHome() == pkCellB);
        EXPECT_EQ(pkPrisoner->GetWorld(), kGame.GetWorld());
    }
    EXPECT_EQ(kLedger.m_usBedsTaken, kArrived.size());

    // They walk the road off, on the ground.
    bool bOnTheGround = true;
    bool bOnTheRoad = true;
    for (int i = 0; i < 20 * 120 && bOnTheRoad; ++i)
    {
        kGame.StepSimulation(FRAME);
        bOnTheRoad = false;
        for (CAIPrisoner* pkPrisoner : kArrived)
        {
            const COrvaneAICharacterController* pkActive = pkPrisoner->GetActiveController();
            bOnTheRoad = bOnTheRoad || (pkActive && pkActive->GetName() && std::string(pkActive->GetName()) == "spawn");
            bOnTheGround = bOnTheGround && std::fabs(pkPrisoner->GetModelPosition()->y) < 1e-3f;
        }
    }
    EXPECT_FALSE(bOnTheRoad);
    EXPECT_TRUE(bOnTheGround);
    EXPECT_EQ(Guards(false), 2);
    kGame.ResetGame();
}

// A save whose person counter is lower than a loaded person's number (an
// older or edited file): the loaded game numbers the people it makes next,
// in its own loop, above everyone loaded.
TEST_F(DayHarnessTest, ALoadedGameNumbersItsNewPeopleAboveEveryLoadedOne)
{
    RecordingGame kGame;
    ASSERT_TRUE(EnterLevel(kGame, 41));
    ASSERT_TRUE(Build(kGame));
    kGame.SetGameSpeed(SPEED);
    for (int i = 0; i < 20; ++i)
        kGame.StepSimulation(FRAME);
    const auto Numbers = [] {
        std::vector<int> kNumbers;
        for (CGameCharacter* pkPerson : People<CGameCharacter>())
            kNumbers.push_back(pkPerson->GetStats().m_usPersonNumber);
        std::sort(kNumbers.begin(), kNumbers.end());
        return kNumbers;
    };
    const std::vector<int> kSavedNumbers = Numbers();
    ASSERT_GT(kSavedNumbers.size(), 12u);
    const int iHighest = kSavedNumbers.back();
    ASSERT_EQ(kGame.GetPersonCounter(), iHighest + 1);

    std::filesystem::create_directories("maps");
    ASSERT_TRUE(kGame.SaveGame("maps/people.fds"));
    std::string kBytes = ReadFileBytes("maps/people.fds");
    // <WORLD>, the level, the counter.
    const std::string kWorld = "<WORLD>\r\n0\r\n" + std::to_string(iHighest + 1) + "\r\n";
    const std::size_t uiAt = kBytes.find(kWorld);
    ASSERT_NE(uiAt, std::string::npos);
    kBytes.replace(uiAt, kWorld.size(), "<WORLD>\r\n0\r\n1\r\n");
    WriteFileBytes("maps/people.fds", kBytes);

    kGame.ResetGame();
    ASSERT_TRUE(kGame.LoadGame("maps/people.fds"));
    EXPECT_EQ(Numbers(), kSavedNumbers);
    EXPECT_EQ(kGame.GetPersonCounter(), iHighest + 1);

    // The day's arrival, through the game's own frames.
    kGame.GetStatistics()->m_iOrder = 500;
    kGame.GetGameClock().m_fMinutes = 12.0f * 60.0f + 58.0f;
    kGame.SetGameSpeed(1.0f);
    ASSERT_TRUE(RunTheArrival(kGame, 20 * 120));
    const std::vector<int> kNow = Numbers();
    ASSERT_GT(kNow.size(), kSavedNumbers.size());
    EXPECT_EQ(std::adjacent_find(kNow.begin(), kNow.end()), kNow.end());
    for (std::size_t i = kSavedNumbers.size(); i < kNow.size(); ++i)
        EXPECT_GT(kNow[i], iHighest);
    EXPECT_EQ(kGame.GetPersonCounter(), kNow.back() + 1);
    kGame.ResetGame();
}
} // namespace

namespace
{
// The window closed while a level runs: the game shuts down with its
// prison standing (buildings, the cells on their floors, people).
// The way out of a building ends on the yard cell in front of its door,
// which placing a building keeps free: one that ended a row further on
// stood inside a neighbour built one row off, where nobody can walk, and
// a load sent it home.
TEST_F(DayHarnessTest, TheWayOutOfABuildingEndsOnTheCellInFrontOfItsDoor)
{
    RecordingGame kGame;
    CBlockGrid* pkYard = EnterRichLevel(kGame, 11);
    ASSERT_NE(pkYard, nullptr);
    auto* pkBlock = dynamic_cast<CWorldObject*>(
        Commit(kGame, {"WorldObjectFactory", "cellblock_small"}, *pkYard, 20 * pkYard->GetColumns() + 20));
    ASSERT_TRUE(pkBlock != nullptr && pkBlock->GetStack() != nullptr && pkBlock->GetStack()->GetFloor(0) != nullptr);
    ASSERT_EQ(pkBlock->GetEntrances().size(), 1u);
    const std::int32_t iFront = pkBlock->GetEntrances().front()->m_iCell;
    ASSERT_GE(iFront, 0);
    EXPECT_TRUE(pkYard->GetBlock(iFront)->IsWalkable());
    int iWaysOut = 0;
    for (const std::unique_ptr<COrvaneGridMarker>& pkConnector : pkBlock->GetStack()->GetFloor(0)->GetMarkers())
    {
        if (CConnector::GetDestination(*pkConnector) != pkYard)
            continue;
        ++iWaysOut;
        NiVec3 kEnd;
        ASSERT_TRUE(CConnector::GetSpline(*pkConnector) != nullptr &&
                    CConnector::GetSpline(*pkConnector)->GetEndPosition(kEnd));
        EXPECT_EQ(pkYard->CellAt(kEnd), iFront);
    }
    EXPECT_EQ(iWaysOut, 1);
}

TEST_F(DayHarnessTest, TheGameShutsDownWithItsPrisonStanding)
{
    {
        RecordingGame kGame;
        ASSERT_TRUE(EnterLevel(kGame, 9));
        ASSERT_TRUE(Build(kGame));
        for (int i = 0; i < 20; ++i)
            kGame.StepSimulation(FRAME);
        kGame.Shutdown();
        EXPECT_EQ(CDynamicObjectManager::GetExisting(), nullptr);
    }
    EXPECT_EQ(CGame::Get(), nullptr);
}
} // namespace

namespace
{
// The play-through's prison put down headless as the game benchmarks put
// it: every building on the yard, every plan inside on a floor that takes
// it, each building left unselected on its top floor.
TEST_F(DayHarnessTest, ThePlayThroughsPrisonIsFurnishedWithEveryPlan)
{
    RecordingGame kGame;
    CBlockGrid* pkYard = EnterRichLevel(kGame, 5);
    ASSERT_NE(pkYard, nullptr);
    const auto Rich = [&kGame](const Placed& kWhat, const CBlockGrid& kFloor, std::int32_t iFrom) {
        kGame.GetStatistics()->m_usPrisonLevel = 3;
        return CHeadlessPrison::Commit(kGame, kWhat, kFloor, iFrom, true);
    };
    CDynamicObjectManager* pkManager = CDynamicObjectManager::GetInstance();
    std::map<const COrvaneObjectTemplate*, int> kWanted;
    CWorldObject* pkCellBlock = nullptr;
    for (const CHeadlessPrison::Building& kBuilding : CHeadlessPrison::PlayPrison())
    {
        auto* pkBuilding = dynamic_cast<CWorldObject*>(Rich({"WorldObjectFactory", kBuilding.m_pcTemplate}, *pkYard,
                                                            kBuilding.m_iRow * pkYard->GetColumns() + kBuilding.m_iColumn));
        ASSERT_NE(pkBuilding, nullptr) << kBuilding.m_pcTemplate;
        ASSERT_NE(pkBuilding->GetStack(), nullptr) << kBuilding.m_pcTemplate;
        if (!pkCellBlock)
            pkCellBlock = pkBuilding;
        EXPECT_EQ(CHeadlessPrison::Furnish(kGame, *pkBuilding, kBuilding.m_kInside, Rich), 0) << kBuilding.m_pcTemplate;
        EXPECT_EQ(kGame.GetSelectedBuilding(), nullptr);
        EXPECT_FALSE(pkBuilding->GoUpFloor(false)) << kBuilding.m_pcTemplate << " is not on its top floor";
        for (const char* pcItem : kBuilding.m_kInside)
            ++kWanted[pkManager->FindTemplate(pcItem)];
    }
    EXPECT_NE(Rich({"BaseObjectFactory", "fence"}, *pkYard,
                   CHeadlessPrison::FENCE_ROW * pkYard->GetColumns() + CHeadlessPrison::FENCE_COLUMN),
              nullptr);
    std::map<const COrvaneObjectTemplate*, int> kFound;
    for (std::uint32_t i = 0; COrvaneObject* pkObject = pkManager->GetObjectAt(i); ++i)
        if (kWanted.count(pkObject->GetTemplate()) != 0)
            ++kFound[pkObject->GetTemplate()];
    EXPECT_EQ(kFound, kWanted);
    EXPECT_EQ(kWanted[pkManager->FindTemplate("cell_double")], 7);

    // Plans nobody knows are counted as not taken.
    ASSERT_NE(pkCellBlock, nullptr);
    EXPECT_EQ(CHeadlessPrison::Furnish(kGame, *pkCellBlock, {"no_such_plan", "no_such_plan"}, Rich), 2);
    kGame.Shutdown();
}
} // namespace

namespace
{
// How often the model hangs under its parent: once when it is in the
// world's scene, 0 when it is out.
int TimesInScene(const COrvaneObject& kObject)
{
    const COrvaneComposite* pkModel = kObject.GetModel();
    NiNode* pkRoot = pkModel ? pkModel->GetRoot() : nullptr;
    auto* pkParent = pkRoot ? NiDynamicCast<NiNode>(pkRoot->GetParent()) : nullptr;
    if (!pkParent)
        return 0;
    int iTimes = 0;
    for (std::uint32_t i = 0; i < pkParent->GetArrayCount(); ++i)
        iTimes += pkParent->GetAt(i) == pkRoot ? 1 : 0;
    return iTimes;
}

// What stands on a loaded building's floors shows from outside at once, the
// ground floor's rooms too, each room hung in the scene once; going in and
// out twice keeps it so.
TEST_F(DayHarnessTest, ALoadedBuildingsRoomsShowOnceFromOutsideAndInside)
{
    RecordingGame kGame;
    ASSERT_TRUE(EnterLevel(kGame, 40));
    ASSERT_TRUE(Build(kGame));
    ASSERT_TRUE(kGame.SaveGame("maps/rooms.fds"));
    kGame.ResetGame();
    ASSERT_TRUE(kGame.LoadGame("maps/rooms.fds"));

    // Each building with the rooms on its floors.
    std::map<CWorldObject*, std::vector<CBaseObject*>> kRooms;
    std::vector<CWorldObject*> kBuildings;
    CDynamicObjectManager* pkManager = CDynamicObjectManager::GetInstance();
    for (std::uint32_t i = 0; COrvaneObject* pkObject = pkManager->GetObjectAt(i); ++i)
        if (auto* pkBuilding = dynamic_cast<CWorldObject*>(pkObject); pkBuilding && pkBuilding->HasInteriorFloors())
            kBuildings.push_back(pkBuilding);
    for (std::uint32_t i = 0; COrvaneObject* pkObject = pkManager->GetObjectAt(i); ++i)
    {
        auto* pkRoom = dynamic_cast<CBaseObject*>(pkObject);
        auto* pkGrid = pkRoom && !pkRoom->IsBuilding() ? dynamic_cast<CBlockGrid*>(pkRoom->GetGrid()) : nullptr;
        for (CWorldObject* pkBuilding : kBuildings)
            if (pkGrid && pkGrid->GetStack() != nullptr && pkGrid->GetStack() == pkBuilding->GetStack())
                kRooms[pkBuilding].push_back(pkRoom);
    }
    ASSERT_GE(kRooms.size(), 1u);
    bool bGroundFloor = false;
    for (const auto& [pkBuilding, kInside] : kRooms)
        for (CBaseObject* pkRoom : kInside)
        {
            EXPECT_EQ(pkRoom->GetWorld(), kGame.GetWorld());
            EXPECT_EQ(TimesInScene(*pkRoom), 1) << "from outside after the load";
            bGroundFloor = bGroundFloor || pkRoom->GetGrid() == pkBuilding->GetStack()->GetFloor(0);
        }
    EXPECT_TRUE(bGroundFloor);

    for (const auto& [pkBuilding, kInside] : kRooms)
    {
        for (int iVisit = 0; iVisit < 2; ++iVisit)
        {
            SCOPED_TRACE(iVisit);
            kGame.SetSelectedBuilding(pkBuilding);
            kGame.EnterBuilding();
            for (CBaseObject* pkRoom : kInside)
            {
                EXPECT_EQ(pkRoom->GetWorld(), kGame.GetWorld());
                EXPECT_EQ(TimesInScene(*pkRoom), 1);
            }
            kGame.ActOnSelectedBuilding();
            kGame.SetSelectedBuilding(nullptr);
            for (CBaseObject* pkRoom : kInside)
                EXPECT_EQ(TimesInScene(*pkRoom), 1) << "left the building";
        }
    }
    kGame.ResetGame();
}
} // namespace
