#include "game/simulation/characters/CSpawnManager.h"

#include "framework/COrvaneTagTree.h"
#include "tests/framework/FrameworkTestSupport.h"
#include "tools/COrvaneDemoData.h"

namespace
{

using CSpawnManagerTest = FrameworkTest;

TEST_F(CSpawnManagerTest, NameListsComeFromTheirSectionsInOrder)
{
    WriteFileBytes("data.xml", "<TEMPLATES>\r\n</TEMPLATES>\r\n"
                               "<MALE_NAMES>\r\nAdam\r\nBert\r\nCyril\r\n</MALE_NAMES>\r\n"
                               "<SURNAMES>\r\nFrost\r\nGale\r\n</SURNAMES>\r\n");
    COrvaneTagTree kDocument;
    ASSERT_TRUE(kDocument.Load("data.xml"));
    CSpawnManager kSpawn;
    kSpawn.LoadRosters(kDocument);
    EXPECT_EQ(kSpawn.GetMaleNames(), (std::vector<std::string>{"Adam", "Bert", "Cyril"}));
    EXPECT_EQ(kSpawn.m_usMaleNameCount, 3);
    // The missing section leaves its list empty.
    EXPECT_TRUE(kSpawn.GetFemaleNames().empty());
    EXPECT_EQ(kSpawn.m_usFemaleNameCount, 0);
    EXPECT_EQ(kSpawn.GetSurnames(), (std::vector<std::string>{"Frost", "Gale"}));
    EXPECT_EQ(kSpawn.m_usSurnameCount, 2);

    kSpawn.Clear();
    EXPECT_TRUE(kSpawn.GetMaleNames().empty());
    EXPECT_EQ(kSpawn.m_usSurnameCount, 0);
}

TEST_F(CSpawnManagerTest, TheDemoDataHoldsTwentyNamesInEachList)
{
    ASSERT_TRUE(BuildDemoData("."));
    COrvaneTagTree kDocument;
    ASSERT_TRUE(kDocument.Load("data.xml"));
    CSpawnManager kSpawn;
    kSpawn.LoadRosters(kDocument);
    // "MALE_NAMES" lies inside "FEMALE_NAMES": the male list comes first.
    ASSERT_EQ(kSpawn.m_usMaleNameCount, 20);
    ASSERT_EQ(kSpawn.m_usFemaleNameCount, 20);
    ASSERT_EQ(kSpawn.m_usSurnameCount, 20);
    EXPECT_EQ(kSpawn.GetMaleNames().front(), "Abel");
    EXPECT_EQ(kSpawn.GetFemaleNames().front(), "Alda");
    EXPECT_EQ(kSpawn.GetSurnames().back(), "Thorne");
}

TEST(CSpawnManager, ResetClearsTheArrivalAndTheCarry)
{
    CSpawnManager kSpawn;
    EXPECT_EQ(kSpawn.GetArrivalState(), CSpawnManager::ARRIVAL_IDLE);
    EXPECT_EQ(kSpawn.m_iCarryGrid, -1);
    EXPECT_EQ(kSpawn.m_iCarryCell, -1);
    kSpawn.MakeArrivalsDue();
    kSpawn.m_usPrisonersToUnload = 4;
    kSpawn.m_fUnloadTimer = 2.5f;
    kSpawn.m_ucNoCell = 1;
    kSpawn.m_pkArrivalPath = std::make_unique<CSpawnManager::ArrivalPath>();
    kSpawn.m_kReoffenders.push_back({"prison1/criminals/thug", CCharacterStats()});
    kSpawn.AddParoleCandidate(nullptr);
    EXPECT_TRUE(kSpawn.GetParoleCandidates().empty());
    EXPECT_EQ(kSpawn.GetArrivalState(), CSpawnManager::ARRIVAL_DUE);
    kSpawn.Reset();
    EXPECT_EQ(kSpawn.GetArrivalState(), CSpawnManager::ARRIVAL_IDLE);
    EXPECT_EQ(kSpawn.m_usPrisonersToUnload, 0);
    EXPECT_EQ(kSpawn.m_fUnloadTimer, 0.0f);
    EXPECT_EQ(kSpawn.m_ucNoCell, 0);
    EXPECT_EQ(kSpawn.m_pkArrivalPath, nullptr);
    // The lists keep their entries.
    EXPECT_EQ(kSpawn.m_kReoffenders.size(), 1u);
}

} // namespace
