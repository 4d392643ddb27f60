#include "game/simulation/characters/CCharacterStats.h"

#include "framework/COrvaneFile.h"
#include "tests/framework/FrameworkTestSupport.h"

namespace
{

using CCharacterStatsFileTest = FrameworkTest;

CCharacterStats MakeSample()
{
    CCharacterStats kStats;
    for (int i = 0; i < CCharacterStats::FIELD_COUNT; ++i)
    {
        kStats.SetField(i, static_cast<std::uint32_t>(i * 3 + 1));
    }
    return kStats;
}

TEST(CCharacterStats, ResetGivesANewPerson)
{
    CCharacterStats kStats = MakeSample();
    kStats.Reset();
    EXPECT_EQ(kStats.FormatLine(), "0,0,1,0,100,0,0,0,0,0,0,0,0,0,0,0,0,0");
    EXPECT_EQ(kStats, CCharacterStats());
}

TEST(CCharacterStats, FieldsByPositionFollowTheRecordOrder)
{
    CCharacterStats kStats;
    ASSERT_TRUE(kStats.SetField(0, 1));
    ASSERT_TRUE(kStats.SetField(5, 3));
    ASSERT_TRUE(kStats.SetField(11, 7));
    ASSERT_TRUE(kStats.SetField(16, 40));
    ASSERT_TRUE(kStats.SetField(17, 2));
    EXPECT_EQ(kStats.m_uiGender, 1u);
    EXPECT_EQ(kStats.m_usSecurityLevel, 3);
    EXPECT_EQ(kStats.m_usTerm, 7);
    EXPECT_EQ(kStats.m_usWage, 40);
    EXPECT_EQ(kStats.m_usHeadTexture, 2);

    // A 16-bit field keeps its low bits; a 32-bit one the whole value.
    ASSERT_TRUE(kStats.SetField(4, 0x12345u));
    EXPECT_EQ(kStats.m_usHealth, 0x2345);
    ASSERT_TRUE(kStats.SetField(1, 0x12345u));
    EXPECT_EQ(kStats.GetField(1), 0x12345u);

    const CCharacterStats kBefore = kStats;
    EXPECT_FALSE(kStats.SetField(-1, 9));
    EXPECT_FALSE(kStats.SetField(18, 9));
    EXPECT_EQ(kStats, kBefore);
    EXPECT_EQ(kStats.GetField(18), 0u);
}

TEST(CCharacterStats, LineWritesLowBitsOfTheWideFields)
{
    CCharacterStats kStats;
    kStats.m_uiGang = 0x10003u;
    EXPECT_EQ(kStats.FormatLine(), "0,3,1,0,100,0,0,0,0,0,0,0,0,0,0,0,0,0");
    CCharacterStats kRead;
    ASSERT_TRUE(CCharacterStats::ParseLine(kStats.FormatLine(), kRead));
    EXPECT_EQ(kRead.m_uiGang, 3u);
}

TEST(CCharacterStats, BadLinesLeaveTheRecordAlone)
{
    const CCharacterStats kSample = MakeSample();
    const std::string kGood = kSample.FormatLine();
    CCharacterStats kTarget;
    kTarget.m_usAge = 44;
    const CCharacterStats kBefore = kTarget;

    for (const std::string& kBad : {
             std::string(),
             std::string("1,2,3"),
             kGood + ",5",                     // 19 values
             kGood.substr(0, kGood.rfind(',')),// 17 values
             "x" + kGood,
             "-1" + kGood.substr(kGood.find(',')),
             "65536" + kGood.substr(kGood.find(',')),
             "99999999999999999999" + kGood.substr(kGood.find(',')),
             " 1" + kGood.substr(kGood.find(',')),
         })
    {
        EXPECT_FALSE(CCharacterStats::ParseLine(kBad, kTarget)) << kBad;
        EXPECT_EQ(kTarget, kBefore) << kBad;
    }

    // Empty pieces are skipped, as in every list line.
    ASSERT_TRUE(CCharacterStats::ParseLine("," + kGood + ",,", kTarget));
    EXPECT_EQ(kTarget, kSample);
}

TEST_F(CCharacterStatsFileTest, SaveIsByteExactAndReadsBack)
{
    const CCharacterStats kSample = MakeSample();
    COrvaneFile kFile;
    ASSERT_EQ(kFile.Open("person.txt", COrvaneFile::MODE_WRITE), 1);
    ASSERT_TRUE(kSample.Save(kFile));
    ASSERT_TRUE(kFile.Flush());
    kFile.Close();
    EXPECT_EQ(ReadFileBytes(Folder() / "person.txt"),
        "1,4,7,10,13,16,19,22,25,28,31,34,37,40,43,46,49,52\r\n");

    ASSERT_EQ(kFile.Open("person.txt", COrvaneFile::MODE_READ), 1);
    std::string kLine;
    kFile.ReadLine(kLine);
    CCharacterStats kRead;
    ASSERT_TRUE(CCharacterStats::ParseLine(kLine, kRead));
    EXPECT_EQ(kRead, kSample);

    COrvaneFile kClosed;
    EXPECT_FALSE(kSample.Save(kClosed));
}

} // namespace
