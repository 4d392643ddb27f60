#include "engine/shaders/nsb/NSBStateGroup.h"

#include "tests/engine/shaders/nsb/NsbTestSupport.h"

using namespace nsb_test;

using NSBStateGroupTest = NsbTest;

TEST_F(NSBStateGroupTest, SetStateTwiceKeepsOneEntryInPlaceAndWarnsOnce)
{
    NSBStateGroup kGroup;
    kGroup.SetState(7, 1, true);
    kGroup.SetState(9, 2, false);
    EXPECT_TRUE(TakeReports().empty());
    kGroup.FindState(7)->m_uiFlags |= NSBStateGroupEntry::FLAG_IGNORE;
    kGroup.SetState(7, 0x20, false);
    EXPECT_EQ(TakeReports(), std::vector<std::string>{"* WARNING: NSBStateGroup::SetState\n    Overwriting State "
                                                      "0x00000007\n    Original Value = 0x00000001\n    New Value "
                                                      "     = 0x00000020\n"});
    ASSERT_EQ(kGroup.GetStateCount(), 2u);
    const NSBStateGroupEntry* pkFirst = kGroup.GetFirstState();
    EXPECT_EQ(pkFirst->m_uiState, 7u);
    EXPECT_EQ(pkFirst->m_uiValue, 0x20u);
    EXPECT_EQ(pkFirst->m_uiFlags, 0u);
    EXPECT_EQ(kGroup.GetNextState()->m_uiState, 9u);
    EXPECT_EQ(kGroup.GetNextState(), nullptr);
}

TEST_F(NSBStateGroupTest, RecordIsPresenceCountAndEntries)
{
    NSBStateGroup kGroup;
    kGroup.SetState(7, 1, true);
    kGroup.FindState(7)->m_kText = "ZENABLE";
    NiMemoryStream kStream;
    ASSERT_TRUE(NSBStateGroup::SaveOptional(kStream, &kGroup));
    ASSERT_TRUE(NSBStateGroup::SaveOptional(kStream, nullptr));
    NSBStateGroup kEmpty;
    ASSERT_TRUE(NSBStateGroup::SaveOptional(kStream, &kEmpty));
    const Bytes kBytes(kStream.GetBuffer(), kStream.GetBuffer() + kStream.GetSize());
    const Bytes kExpected = Words({1, 1, 1, 7, 1}) + Text("ZENABLE") + Words({0}) + Words({1, 0});
    ASSERT_EQ(kBytes, kExpected);

    NiMemoryStream kIn(kBytes.data(), static_cast<std::uint32_t>(kBytes.size()));
    std::unique_ptr<NSBStateGroup> spA, spB, spC;
    ASSERT_TRUE(NSBStateGroup::LoadOptional(kIn, spA));
    ASSERT_TRUE(NSBStateGroup::LoadOptional(kIn, spB));
    ASSERT_TRUE(NSBStateGroup::LoadOptional(kIn, spC));
    ASSERT_TRUE(spA);
    EXPECT_FALSE(spB);
    ASSERT_TRUE(spC);
    EXPECT_EQ(spC->GetStateCount(), 0u);
    EXPECT_EQ(spA->FindState(7)->m_kText, "ZENABLE");
    EXPECT_TRUE(spA->FindState(7)->UsesSave());
}

TEST_F(NSBStateGroupTest, DamagedRecordLeavesNoGroup)
{
    const Bytes kGood = Words({1, 2, 0, 1, 2, 0, 0, 3, 4, 0});
    for (std::size_t ui = 0; ui < kGood.size(); ++ui)
    {
        NiMemoryStream kIn(kGood.data(), static_cast<std::uint32_t>(ui));
        std::unique_ptr<NSBStateGroup> spGroup;
        EXPECT_FALSE(NSBStateGroup::LoadOptional(kIn, spGroup));
        EXPECT_FALSE(spGroup);
    }
    for (std::uint32_t uiCount : {0xFFFFFFFFu, 3u})
    {
        const Bytes kHostile = Words({1, uiCount, 0, 1, 2, 0, 0, 3, 4, 0});
        NiMemoryStream kIn(kHostile.data(), static_cast<std::uint32_t>(kHostile.size()));
        std::unique_ptr<NSBStateGroup> spGroup;
        EXPECT_FALSE(NSBStateGroup::LoadOptional(kIn, spGroup));
    }
}
