#include "engine/shaders/nsb/NSBUserDefinedDataSet.h"

#include "tests/engine/shaders/nsb/NsbTestSupport.h"

using namespace nsb_test;

using NSBUserDefinedDataSetTest = NsbTest;

TEST_F(NSBUserDefinedDataSetTest, BlocksAreFoundIgnoringCaseAndCreatedOnce)
{
    NSBUserDefinedDataSetPtr spSet = new NSBUserDefinedDataSet;
    EXPECT_EQ(spSet->GetBlock("Lights", false), nullptr);
    EXPECT_EQ(spSet->GetBlockCount(), 0u);
    NSBUserDefinedDataBlock* pkBlock = spSet->GetBlock("Lights", true);
    ASSERT_NE(pkBlock, nullptr);
    EXPECT_TRUE(TakeReports().empty());
    EXPECT_EQ(spSet->GetBlock("lights", false), pkBlock);
    EXPECT_EQ(spSet->GetBlock("LIGHTS", true), pkBlock);
    EXPECT_EQ(TakeReports(), std::vector<std::string>{"* WARNING: NSBUserDefinedDataSet::GetBlock\n    Block LIGHTS "
                                                      "already in set\n    Create was true - POTENTIAL OVERWRITE "
                                                      "ISSUE!\n"});
    EXPECT_EQ(spSet->GetBlockCount(), 1u);
}

TEST_F(NSBUserDefinedDataSetTest, BlockEntriesCarryDataOnlyAndRefuseRepeatedKeys)
{
    NSBUserDefinedDataSetPtr spSet = new NSBUserDefinedDataSet;
    NSBUserDefinedDataBlock* pkBlock = spSet->GetBlock("Wind", true);
    const float fSpeed = 3.0f;
    EXPECT_TRUE(pkBlock->AddEntry("Speed", 0x10000004, 4, 4, &fSpeed, true));
    EXPECT_FALSE(pkBlock->AddEntry("Speed", 0x10000004, 4, 4, &fSpeed, true));
    EXPECT_EQ(TakeReports(), std::vector<std::string>{"* ERROR: NSBUserDefinedDataBlock::AddEntry\n    Failed to add "
                                                      "entry Speed\n    It already exists!\n"});
    EXPECT_EQ(pkBlock->GetEntryCount(), 1u);
    const Bytes kBytes = Save(*spSet);
    std::uint32_t uiBits;
    std::memcpy(&uiBits, &fSpeed, 4);
    EXPECT_EQ(kBytes, Words({1}) + Text("Wind") + Words({0, 1}) + Text("Speed") +
                          Words({0x10000004, 0, 0xFFFFFFFF, 1, 0, 4, 4, 4, uiBits, 0, 0, 0}));

    NSBUserDefinedDataSetPtr spRead = new NSBUserDefinedDataSet;
    ASSERT_TRUE(Load(*spRead, kBytes));
    EXPECT_EQ(Save(*spRead), kBytes);
    NSBUserDefinedDataSetPtr spEmpty = new NSBUserDefinedDataSet;
    EXPECT_EQ(Save(*spEmpty), Words({0}));
}

TEST_F(NSBUserDefinedDataSetTest, FailureOnTheThirdOfFiveBlocksKeepsTwo)
{
    NSBUserDefinedDataSetPtr spSet = new NSBUserDefinedDataSet;
    for (const char* pc : {"A", "B", "C", "D", "E"})
        spSet->GetBlock(pc, true);
    Bytes kBytes = Save(*spSet);
    // Each block: name (5 bytes) and five words.
    kBytes.resize(4 + 2 * 25 + 10);
    NSBUserDefinedDataSetPtr spRead = new NSBUserDefinedDataSet;
    EXPECT_FALSE(Load(*spRead, kBytes));
    EXPECT_EQ(spRead->GetBlockCount(), 2u);
    EXPECT_EQ(TakeReports(),
              std::vector<std::string>{"* ERROR: NSBUserDefinedDataSet::LoadBinary\n    Failed to read block  2 of  5\n"});

    NSBUserDefinedDataSetPtr spEmpty = new NSBUserDefinedDataSet;
    EXPECT_FALSE(Load(*spEmpty, Bytes{1, 0}));
    EXPECT_EQ(TakeReports(),
              std::vector<std::string>{"* ERROR: NSBUserDefinedDataSet::LoadBinary\n    Failed to read count!\n"});
    NSBUserDefinedDataSetPtr spHostile = new NSBUserDefinedDataSet;
    EXPECT_FALSE(Load(*spHostile, Words({0xFFFFFFFF, 0, 0, 0})));
    EXPECT_EQ(spHostile->GetBlockCount(), 0u);
}
