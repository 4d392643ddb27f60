#include "engine/shaders/nsb/NSBPackingDef.h"

#include "tests/engine/shaders/nsb/NsbTestSupport.h"

using namespace nsb_test;

using NSBPackingDefTest = NsbTest;

TEST_F(NSBPackingDefTest, RepeatedStreamAndRegisterOverwritesInPlaceWithAWarning)
{
    NSBPackingDef kDef;
    kDef.SetName("Skin");
    EXPECT_TRUE(kDef.AddPackingEntry(0, 3, 3, 2, 0, 14, 0));
    EXPECT_TRUE(kDef.AddPackingEntry(1, 0, 5, 1, 0, 5, 0));
    EXPECT_TRUE(kDef.AddPackingEntry(0, 3, 0, 3, 1, 0, 2));
    EXPECT_EQ(TakeReports(), std::vector<std::string>{"* WARNING: NSBPackingDef::AddPackingEntry\n    Skin - "
                                                      "overwriting stream 0, register 3\n"});
    ASSERT_EQ(kDef.GetEntryCount(), 2u);
    const NSBPackingDef::Entry* pkFirst = kDef.GetFirstEntry();
    EXPECT_EQ(pkFirst->m_iInput, 0);
    EXPECT_EQ(pkFirst->m_uiType, 3u);
    EXPECT_EQ(pkFirst->m_uiUsageIndex, 2u);
    EXPECT_EQ(kDef.GetNextEntry()->m_uiStream, 1u);
}

TEST_F(NSBPackingDefTest, RecordIsNameFlagCountAndSevenWordsPerEntry)
{
    NSBPackingDef kDef;
    kDef.SetName("Skin");
    kDef.SetFixedFunction(true);
    kDef.AddPackingEntry(0, 1, static_cast<std::int32_t>(0x80000002), 6, 2, 14, 1);
    const Bytes kBytes = Save(kDef);
    EXPECT_EQ(kBytes, Text("Skin") + Words({1, 1, 0, 1, 0x80000002, 6, 2, 14, 1}));
    NSBPackingDef kRead;
    ASSERT_TRUE(Load(kRead, kBytes));
    EXPECT_TRUE(kRead.GetFixedFunction());
    EXPECT_EQ(Save(kRead), kBytes);

    NSBPackingDef kEmpty;
    kEmpty.SetName("E");
    EXPECT_EQ(Save(kEmpty), Text("E") + Words({0, 0}));
    for (std::uint32_t uiCount : {0xFFFFFFFFu, 2u})
    {
        Bytes kHostile = kBytes;
        kHostile[12] = static_cast<std::uint8_t>(uiCount);
        kHostile[13] = kHostile[14] = kHostile[15] = static_cast<std::uint8_t>(uiCount >> 8);
        NSBPackingDef kBad;
        EXPECT_FALSE(Load(kBad, kHostile));
        EXPECT_EQ(kBad.GetEntryCount(), 0u);
    }
}

TEST_F(NSBPackingDefTest, InputAndTypeNames)
{
    EXPECT_STREQ(NSBPackingDef::GetParameterName(static_cast<std::int32_t>(0x80000002)), "ExtraData");
    EXPECT_STREQ(NSBPackingDef::GetParameterName(0), "NiPosition");
    EXPECT_STREQ(NSBPackingDef::GetParameterName(12), "NiTexCoord7");
    EXPECT_STREQ(NSBPackingDef::GetParameterName(14), "NiBinormal");
    EXPECT_STREQ(NSBPackingDef::GetParameterName(15), "UNKNOWN");
    EXPECT_STREQ(NSBPackingDef::GetParameterTypeName(6), "Short1");
    EXPECT_STREQ(NSBPackingDef::GetParameterTypeName(19), "Float2H");
    for (std::uint32_t ui = 20; ui <= 27; ++ui)
        EXPECT_STREQ(NSBPackingDef::GetParameterTypeName(ui), "UNKNOWN");
    EXPECT_EQ(NSBPackingDef::ConvertPackingDefType(6), -1);
    EXPECT_EQ(NSBPackingDef::ConvertPackingDefType(7), 6);
    EXPECT_EQ(NSBPackingDef::ConvertPackingDefType(20), 8);
    EXPECT_EQ(NSBPackingDef::ConvertPackingDefType(26), 16);
    EXPECT_EQ(NSBPackingDef::ConvertPackingDefType(27), -1);
}

TEST_F(NSBPackingDefTest, StreamInfoCountsStreamsAndRefusesStreamsPastTheLast)
{
    NSBPackingDef kDef;
    kDef.AddPackingEntry(0, 0, 0, 2, 0, 14, 0);
    kDef.AddPackingEntry(1, 1, 3, 2, 0, 14, 0);
    kDef.AddPackingEntry(0, 2, 5, 1, 0, 14, 0);
    std::uint32_t uiStreams = 0, uiPerStream = 0;
    ASSERT_TRUE(kDef.GetStreamInfo(uiStreams, uiPerStream));
    EXPECT_EQ(uiStreams, 2u);
    EXPECT_EQ(uiPerStream, 2u);
    kDef.AddPackingEntry(64, 3, 5, 1, 0, 14, 0);
    EXPECT_FALSE(kDef.GetStreamInfo(uiStreams, uiPerStream));
}
