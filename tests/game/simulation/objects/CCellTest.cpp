#include "game/simulation/objects/CCell.h"

#include "engine/core/NiObjectStream.h"
#include "engine/scene/NiNode.h"
#include "framework/COrvaneObjectDesc.h"
#include "framework/COrvaneTagTree.h"
#include "game/simulation/objects/CAdminRoom.h"
#include "game/simulation/objects/CDynamicObjectManager.h"
#include "game/simulation/objects/CPrisonStatistics.h"
#include "tests/game/simulation/objects/PrisonTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace
{
// A model: "Scene Root" over "Model", under which one node per name.
void WriteModel(const std::string& kPath, const std::vector<std::string>& kNodes)
{
    std::filesystem::create_directories(std::filesystem::path(kPath).parent_path());
    NiObjectStream kStream;
    NiRefPtr<NiNode> spTop = new NiNode;
    spTop->SetName("Scene Root");
    NiRefPtr<NiNode> spModel = new NiNode;
    spModel->SetName("Model");
    spTop->AttachChild(spModel);
    for (const std::string& kName : kNodes)
    {
        NiRefPtr<NiNode> spChild = new NiNode;
        spChild->SetName(kName.c_str());
        spModel->AttachChild(spChild);
    }
    kStream.InsertTopObject(spTop);
    ASSERT_TRUE(kStream.SaveFile(kPath.c_str()));
}

// A prisoner as a cell sees it: it notes losing its home and answers as a
// prisoner for the waiting list.
class HousedCharacter : public TestCharacter
{
public:
    void OnPostLost(CBaseObject&) override { m_kTold.push_back("home lost"); }
    // The list only keeps the link; the test compares it and never follows it.
    CAIPrisoner* AsPrisoner() override { return reinterpret_cast<CAIPrisoner*>(this); }
};

const char* const ROOMS =
    "<TEMPLATES>\r\n<PRISON1>\r\n<ROOMS>\r\n<plans>\r\n"
    // width, depth, price, places, level, string, score, staff count
    "<cell_2bed>\r\nprison1/cell/cell2bed.nif\r\n2\r\n2\r\n500\r\n2\r\n2\r\nsleep\r\n5\r\n0\r\n</cell_2bed>\r\n"
    "<block_level1>\r\nprison1/block/block_level1.nif\r\n4\r\n4\r\n100\r\n0\r\n1\r\nblock\r\n0\r\n0\r\n</block_level1>\r\n"
    "<block_level2>\r\nprison1/block/block_level2.nif\r\n4\r\n4\r\n100\r\n0\r\n2\r\nblock\r\n0\r\n0\r\n</block_level2>\r\n"
    "<block_high>\r\nprison1/block/block_high.nif\r\n4\r\n4\r\n100\r\n0\r\n65535\r\nblock\r\n0\r\n0\r\n</block_high>\r\n"
    "<planning2>\r\nprison1/admin/planning2.nif\r\n2\r\n2\r\n300\r\n0\r\n0\r\nplan\r\n7\r\n0\r\n</planning2>\r\n"
    "<clerical3>\r\nprison1/admin/clerical3.nif\r\n2\r\n2\r\n300\r\n0\r\n0\r\nclerk\r\n7\r\n0\r\n</clerical3>\r\n"
    "<both1>\r\nprison1/admin/planning_clerical1.nif\r\n2\r\n2\r\n300\r\n0\r\n0\r\nplan\r\n7\r\n0\r\n</both1>\r\n"
    "<execution>\r\nprison1/admin/execution.nif\r\n2\r\n2\r\n800\r\n0\r\n0\r\nexec\r\n9\r\n0\r\n</execution>\r\n"
    "</plans>\r\n</ROOMS>\r\n</PRISON1>\r\n</TEMPLATES>\r\n";

class CCellTest : public PrisonTest
{
protected:
    void SetUp() override
    {
        PrisonTest::SetUp();
        WriteModel("prison1/cell/cell2bed.nif", {"door01", "SP_sleep01", "SP_sleep02"});
        for (const char* pcBlock : {"block_level1", "block_level2", "block_high"})
            WriteModel(std::string("prison1/block/") + pcBlock + ".nif", {});
        WriteModel("prison1/admin/planning2.nif", {});
        WriteModel("prison1/admin/clerical3.nif", {});
        WriteModel("prison1/admin/planning_clerical1.nif", {});
        WriteModel("prison1/admin/execution.nif", {});
        WriteFileBytes("rooms.xml", ROOMS);
        COrvaneTagTree kDocument;
        ASSERT_TRUE(kDocument.Load("rooms.xml"));
        m_pkManager->LoadPrisonTemplates(kDocument);
    }

    CPrisonStatistics& Ledger() { return *m_pkManager->GetStatistics(); }
    // Templates are found by their model's name.
    CCell* Cell() { return dynamic_cast<CCell*>(Make("CellFactory", "cell2bed")); }
    CAdminRoom* Room(const char* pcTemplate) { return dynamic_cast<CAdminRoom*>(Make("AdminRoomFactory", pcTemplate)); }
    // A building stand-in of the template's level, selected through the host.
    CBaseObject* SelectBuilding(const char* pcTemplate)
    {
        CBaseObject* pkBuilding = dynamic_cast<CBaseObject*>(Make("PathableObjectFactory", pcTemplate));
        m_kHost.m_pkSelectedBuildingObject = pkBuilding;
        return pkBuilding;
    }
};
} // namespace

TEST_F(CCellTest, TheCellFactoryMakesAnOpenCellWithItsBedsAndLevel)
{
    CCell* pkCell = Cell();
    ASSERT_NE(pkCell, nullptr);
    EXPECT_TRUE(pkCell->IsOpen());
    EXPECT_EQ(pkCell->GetRecord().m_usPlaces, 2);
    EXPECT_EQ(pkCell->GetRequiredLevel(), 2);
    EXPECT_EQ(pkCell->GetOccupancy(), 0);
    EXPECT_EQ(pkCell->GetCapacity(), 2);
}

TEST_F(CCellTest, ACellNeedsASelectedBuildingOfAtLeastItsLevel)
{
    Ledger().m_usPrisonLevel = 3;
    CCell* pkCell = Cell();
    ASSERT_NE(pkCell, nullptr);
    EXPECT_FALSE(pkCell->CanBuild()) << "no building selected";
    SelectBuilding("block_level1");
    EXPECT_FALSE(pkCell->CanBuild()) << "a level 2 cell in a level 1 building";
    SelectBuilding("block_level2");
    EXPECT_TRUE(pkCell->CanBuild());
    // 65535 read as signed 16 bits is -1: below every cell.
    SelectBuilding("block_high");
    EXPECT_FALSE(pkCell->CanBuild());
    // The usable object's own test still holds: level above the prison's.
    SelectBuilding("block_level2");
    Ledger().m_usPrisonLevel = 1;
    EXPECT_FALSE(pkCell->CanBuild());
    Ledger().m_usPrisonLevel = 3;
    Ledger().m_iStartingFunds = 100;
    Ledger().UpdateTotals();
    EXPECT_FALSE(pkCell->CanBuild()) << "price above the balance";
}

TEST_F(CCellTest, PrisonersAreHousedOnceAndLeaveOnlyTheirOwnCell)
{
    CCell* pkCell = Cell();
    CCell* pkOther = Cell();
    ASSERT_NE(pkCell, nullptr);
    HousedCharacter kFirst;
    HousedCharacter kSecond;
    HousedCharacter kThird;
    pkCell->AddPrisoner(&kFirst);
    pkCell->AddPrisoner(&kSecond);
    pkCell->AddPrisoner(&kFirst);
    pkCell->AddPrisoner(nullptr);
    EXPECT_EQ(pkCell->GetOccupancy(), 2);
    EXPECT_EQ(Ledger().m_usBedsTaken, 2);
    EXPECT_EQ(pkCell->GetPrisoners(), (std::vector<CGridCharacter*>{&kFirst, &kSecond}));

    pkOther->RemovePrisoner(&kFirst);
    pkCell->RemovePrisoner(&kThird);
    EXPECT_EQ(pkCell->GetOccupancy(), 2);
    EXPECT_EQ(Ledger().m_usBedsTaken, 2);
    EXPECT_TRUE(kFirst.m_kTold.empty());

    pkCell->AddPrisoner(&kThird);
    pkCell->RemovePrisoner(&kFirst);
    EXPECT_EQ(pkCell->GetPrisoners(), (std::vector<CGridCharacter*>{&kSecond, &kThird}));
    EXPECT_EQ(pkCell->GetOccupancy(), 2);
    EXPECT_EQ(Ledger().m_usBedsTaken, 2);
    EXPECT_EQ(kFirst.m_kTold, std::vector<std::string>{"home lost"});

    // The ledger's count never wraps below zero.
    Ledger().m_usBedsTaken = 0;
    pkCell->RemovePrisoner(&kSecond);
    EXPECT_EQ(Ledger().m_usBedsTaken, 0);
    EXPECT_EQ(pkCell->GetOccupancy(), 1);
    // Gone before the prisoners they link to.
    m_pkManager->DestroyObject(pkCell, true);
    m_pkManager->DestroyObject(pkOther, true);
}

TEST_F(CCellTest, ADestroyedCellLeavesItsThreePrisonersWaitingForACell)
{
    CCell* pkCell = Cell();
    ASSERT_NE(pkCell, nullptr);
    pkCell->AddToStatistics();
    EXPECT_EQ(Ledger().m_usBeds, 2);
    HousedCharacter akPrisoners[3];
    for (HousedCharacter& kPrisoner : akPrisoners)
        pkCell->AddPrisoner(&kPrisoner);
    // Another cell's prisoner keeps its bed.
    Ledger().m_usBedsTaken = 4;
    m_kHost.ClearCalls();

    m_pkManager->DestroyObject(pkCell, true);

    EXPECT_EQ(m_kHost.CallsNamed("PostMessage"), std::vector<std::string>{"17"});
    EXPECT_EQ(Ledger().m_usBedsTaken, 1);
    EXPECT_EQ(Ledger().m_usBeds, 0);
    EXPECT_TRUE(Ledger().m_kCellsByLevel.size() < 3 || Ledger().m_kCellsByLevel[2].empty());
    ASSERT_EQ(m_kSpawn.m_kWaitingPrisoners.size(), 3u);
    auto kWaiting = m_kSpawn.m_kWaitingPrisoners.begin();
    for (HousedCharacter& kPrisoner : akPrisoners)
    {
        EXPECT_EQ(kPrisoner.m_kTold, std::vector<std::string>{"home lost"});
        EXPECT_EQ(*kWaiting++, kPrisoner.AsPrisoner());
    }
}

TEST_F(CCellTest, AnEmptyCellGoesQuietlyAndWithoutASpawnManagerNoOneWaits)
{
    CCell* pkEmpty = Cell();
    m_kHost.ClearCalls();
    m_pkManager->DestroyObject(pkEmpty, true);
    EXPECT_TRUE(m_kHost.CallsNamed("PostMessage").empty());

    CCell* pkCell = Cell();
    HousedCharacter kPrisoner;
    pkCell->AddPrisoner(&kPrisoner);
    m_kHost.m_pkSpawnManager = nullptr;
    m_pkManager->DestroyObject(pkCell, true);
    EXPECT_TRUE(m_kSpawn.m_kWaitingPrisoners.empty());
    EXPECT_EQ(kPrisoner.m_kTold, std::vector<std::string>{"home lost"});
    EXPECT_EQ(Ledger().m_usBedsTaken, 0);
}

TEST_F(CCellTest, CellsAreCountedOncePerLevel)
{
    CCell* pkCell = Cell();
    pkCell->AddToStatistics();
    pkCell->AddToStatistics();
    EXPECT_EQ(Ledger().m_usBeds, 2);
    ASSERT_GE(Ledger().m_kCellsByLevel.size(), 3u);
    EXPECT_EQ(Ledger().m_kCellsByLevel[2].size(), 1u);
    EXPECT_EQ(Ledger().FindCellFor(2), &pkCell->GetRecord());
    pkCell->RemoveFromStatistics();
    pkCell->RemoveFromStatistics();
    EXPECT_EQ(Ledger().m_usBeds, 0);
    EXPECT_TRUE(Ledger().m_kCellsByLevel[2].empty());
}

TEST_F(CCellTest, RoomNumbersComeFromTheDigitBeforeTheFirstDot)
{
    EXPECT_EQ(CAdminRoom::RoomNumberOf("planning2.nif"), 2);
    EXPECT_EQ(CAdminRoom::RoomNumberOf("prison1/admin/clerical3.nif"), 3);
    EXPECT_EQ(CAdminRoom::RoomNumberOf("clerical12.x.nif"), 2);
    EXPECT_EQ(CAdminRoom::RoomNumberOf("clericalB.nif"), 0);
    EXPECT_EQ(CAdminRoom::RoomNumberOf("clerical3"), 0);
    EXPECT_EQ(CAdminRoom::RoomNumberOf(".3"), 0);
    EXPECT_EQ(CAdminRoom::RoomNumberOf(""), 0);
    EXPECT_EQ(CAdminRoom::RoomNumberOf(nullptr), 0);
}

TEST_F(CCellTest, RoomsTakeTheirKindAndNumberFromTheName)
{
    CAdminRoom* pkPlanning = Room("planning2");
    CAdminRoom* pkClerical = Room("clerical3");
    CAdminRoom* pkBoth = Room("planning_clerical1");
    CAdminRoom* pkExecution = Room("execution");
    ASSERT_NE(pkPlanning, nullptr);
    ASSERT_NE(pkExecution, nullptr);
    EXPECT_EQ(pkPlanning->GetRoomKind(), CAdminRoom::KIND_PLANNING);
    EXPECT_EQ(pkPlanning->GetRoomNumber(), 2);
    EXPECT_EQ(pkClerical->GetRoomKind(), CAdminRoom::KIND_CLERICAL);
    EXPECT_EQ(pkClerical->GetRoomNumber(), 3);
    EXPECT_EQ(pkBoth->GetRoomKind(), CAdminRoom::KIND_PLANNING);
    EXPECT_EQ(pkBoth->GetRoomNumber(), 1);
    EXPECT_EQ(pkExecution->GetRoomKind(), CAdminRoom::KIND_OTHER);
    EXPECT_EQ(pkExecution->GetRoomNumber(), 0);
    pkPlanning->Reset();
    EXPECT_EQ(pkPlanning->GetRoomKind(), CAdminRoom::KIND_OTHER);
    EXPECT_EQ(pkPlanning->GetRoomNumber(), 0);
}

TEST_F(CCellTest, RoomsAreBuiltInOrder)
{
    CAdminRoom* pkClerical = Room("clerical3");
    CAdminRoom* pkPlanning = Room("planning2");
    ASSERT_NE(pkClerical, nullptr);
    Ledger().m_usClericalLevel = 1;
    EXPECT_FALSE(pkClerical->CanBuild());
    Ledger().m_usClericalLevel = 2;
    EXPECT_TRUE(pkClerical->CanBuild());
    // The planning room follows the upgrade level, not the clerical one.
    Ledger().m_usUpgradeLevel = 0;
    EXPECT_FALSE(pkPlanning->CanBuild());
    Ledger().m_usUpgradeLevel = 1;
    EXPECT_TRUE(pkPlanning->CanBuild());
    // In order, but still within the balance.
    Ledger().m_iStartingFunds = 10;
    Ledger().UpdateTotals();
    EXPECT_FALSE(pkPlanning->CanBuild());
}

TEST_F(CCellTest, RoomsRaiseTheirLevelAndExecutionRoomsAreCounted)
{
    CAdminRoom* pkClerical = Room("clerical3");
    CAdminRoom* pkExecution = Room("execution");
    const int iPurchases = Ledger().m_iPurchases;
    pkClerical->AddToStatistics();
    pkClerical->AddToStatistics();
    EXPECT_EQ(Ledger().m_usClericalLevel, 3);
    EXPECT_EQ(Ledger().m_iPurchases, iPurchases + 300);
    EXPECT_EQ(Ledger().m_usExecutionRooms, 0);

    pkExecution->AddToStatistics();
    EXPECT_EQ(Ledger().m_usExecutionRooms, 1);
    EXPECT_EQ(Ledger().m_iPurchases, iPurchases + 1100);
    EXPECT_EQ(Ledger().m_usClericalLevel, 3);

    const int iScore = Ledger().m_iScore;
    m_pkManager->DestroyObject(pkExecution, true);
    EXPECT_EQ(Ledger().m_usExecutionRooms, 0);
    EXPECT_EQ(Ledger().m_iScore, iScore - 9);
    m_pkManager->DestroyObject(pkClerical, true);
    EXPECT_EQ(Ledger().m_iScore, iScore - 16);
    EXPECT_EQ(Ledger().m_usClericalLevel, 3) << "levels reached stay";
}
