#include "game/simulation/objects/TextConvert.h"

#include "framework/COrvaneFile.h"
#include "tests/framework/FrameworkTestSupport.h"

#include <climits>

namespace
{

using TextConvertTest = FrameworkTest;

TEST(TextConvertNumbers, WriteDecimalText)
{
    EXPECT_EQ(IntToString(INT_MIN), "-2147483648");
    EXPECT_EQ(IntToString(0), "0");
    EXPECT_EQ(UIntToString(4294967295u), "4294967295");
    EXPECT_EQ(ShortToString(-32768), "-32768");
    EXPECT_EQ(ToString(static_cast<unsigned short>(65535)), "65535");
}

TEST(TextConvertNumbers, FailedReadsGiveZero)
{
    EXPECT_EQ(StringToShort("123"), 123);
    EXPECT_EQ(StringToShort(" -7"), -7);
    EXPECT_EQ(StringToShort("abc"), 0);
    EXPECT_EQ(StringToShort(""), 0);
    // Out of range is a failed read, not a wrapped value.
    EXPECT_EQ(StringToShort("70000"), 0);
    // A number followed by other text reads its number.
    EXPECT_EQ(StringToShort("12ab"), 12);
    EXPECT_EQ(FromString<int>("x1"), 0);
    EXPECT_FLOAT_EQ(FromString<float>("2.5"), 2.5f);
    EXPECT_FLOAT_EQ(FromString<float>("1e-3"), 0.001f);
    EXPECT_EQ(FromString<unsigned short>("7"), 7);
    EXPECT_EQ(FromString<std::string>("word rest"), "word");
}

TEST(TextConvertNumbers, SplitSkipsEmptyPieces)
{
    std::vector<int> kValues{9};
    SplitIntList(",1,,-2,  ,x,3,", kValues);
    // Appends; a blank piece is not empty and reads as 0, like "x".
    EXPECT_EQ(kValues, (std::vector<int>{9, 1, -2, 0, 0, 3}));

    std::vector<unsigned short> kShorts;
    SplitUShortList("5;65535;;6", kShorts, ';');
    EXPECT_EQ(kShorts, (std::vector<unsigned short>{5, 65535, 6}));

    kValues.clear();
    SplitIntList("", kValues);
    EXPECT_TRUE(kValues.empty());
}

TEST(TextConvertNumbers, CheckedReadingTakesWhatTheStreamTakesWithinTheRange)
{
    struct Case
    {
        const char* m_pcText;
        bool m_bRead;
        long long m_llValue;
    };
    const Case akCases[] = {
        {"12", true, 12},     {"12x", true, 12},  {" +7 ", true, 7},  {"\t-3", true, -3},
        {"65535", true, 65535}, {"0", true, 0},   {"x", false, 0},    {"", false, 0},
        {"-", false, 0},      {"+", false, 0},    {" ", false, 0},    {"x12", false, 0},
        {"65536", false, 0},  {"-4", false, 0},   {"99999999999999999999999", false, 0},
        {"--1", false, 0},
    };
    for (const Case& kCase : akCases)
    {
        SCOPED_TRACE(kCase.m_pcText);
        long long llValue = 555;
        EXPECT_EQ(ParseLeadingInt(kCase.m_pcText, -3, 65535, llValue), kCase.m_bRead);
        EXPECT_EQ(llValue, kCase.m_bRead ? kCase.m_llValue : 555);
    }

    std::vector<unsigned short> kValues{9};
    ASSERT_TRUE(ParseLeadingUShortList(",1,,65535x, 2", kValues));
    EXPECT_EQ(kValues, (std::vector<unsigned short>{9, 1, 65535, 2}));
    // One piece that does not read appends nothing.
    for (const char* pcLine : {"1,x", "1,65536", "1,-1", "1, ,2"})
    {
        SCOPED_TRACE(pcLine);
        EXPECT_FALSE(ParseLeadingUShortList(pcLine, kValues));
        EXPECT_EQ(kValues.size(), 4u);
    }
    EXPECT_TRUE(ParseLeadingUShortList("", kValues));
    EXPECT_EQ(kValues.size(), 4u);
}

// The line file's search says "not found" for a marker on the last line;
// the save readers must tell that from a marker that is not there.
TEST_F(TextConvertTest, ASectionMarkerOnTheLastLineIsToldFromAMissingOne)
{
    struct Case
    {
        const char* m_pcBytes;
        ESectionMarker m_eWhere;
        std::uint32_t m_uiLine;
    };
    const Case akCases[] = {
        {"a\r\n<TIME>\r\n1\r\n", ESectionMarker::FOUND, 2},
        {"a\r\n<TIME>\r\n", ESectionMarker::ENDS_FILE, 2},
        {"a\r\n<TIME>", ESectionMarker::ENDS_FILE, 2},
        {"a\r\n<TIME>\r", ESectionMarker::ENDS_FILE, 2},
        {"<TIME>\n", ESectionMarker::ENDS_FILE, 1},
        {"a\r\n<TIM", ESectionMarker::ABSENT, 0},
        {"a\r\nb\r\n", ESectionMarker::ABSENT, 0},
        // The first line holding it wins, as in the search.
        {"x<TIME>y\r\nb\r\n<TIME>\r\n", ESectionMarker::FOUND, 1},
    };
    for (const Case& kCase : akCases)
    {
        SCOPED_TRACE(kCase.m_pcBytes);
        WriteFileBytes(Folder() / "marker.txt", kCase.m_pcBytes);
        COrvaneFile kFile;
        ASSERT_EQ(kFile.Open("marker.txt", COrvaneFile::MODE_READ), 1);
        std::uint32_t uiLine = 0;
        EXPECT_EQ(FindSectionMarker(kFile, "<TIME>", uiLine), kCase.m_eWhere);
        EXPECT_EQ(uiLine, kCase.m_uiLine);
        if (kCase.m_eWhere == ESectionMarker::FOUND)
        {
            // Positioned after the marker's line.
            std::string kNext;
            kFile.ReadLine(kNext);
            EXPECT_EQ(kNext, kCase.m_uiLine == 1 ? "b" : "1");
        }
    }
}

TEST_F(TextConvertTest, ListLinesAreByteExact)
{
    COrvaneFile kFile;
    ASSERT_EQ(kFile.Open("lists.txt", COrvaneFile::MODE_WRITE), 1);
    EXPECT_TRUE(WriteIntListLine(kFile, {100000, 0, -5}));
    EXPECT_TRUE(WriteIntListLine(kFile, {}));
    EXPECT_TRUE(WriteUShortList(kFile, {65535, 1}));
    EXPECT_TRUE(WriteIntListLine(kFile, {7}, ';'));
    EXPECT_TRUE(WriteUShortList(kFile, {}));
    ASSERT_TRUE(kFile.Flush());
    kFile.Close();

    EXPECT_EQ(ReadFileBytes(Folder() / "lists.txt"),
        "100000,0,-5\r\n\r\n65535,1\r\n7\r\n\r\n");
}

TEST_F(TextConvertTest, ListLinesRoundTripAndStopAtTheEnd)
{
    WriteFileBytes(Folder() / "lists.txt", "1,2,3\r\n\r\n4,,5,\r\n65535,12\r\n");
    COrvaneFile kFile;
    ASSERT_EQ(kFile.Open("lists.txt", COrvaneFile::MODE_READ), 1);

    std::vector<int> kValues;
    ASSERT_TRUE(ReadIntListLine(kFile, kValues));
    EXPECT_EQ(kValues, (std::vector<int>{1, 2, 3}));
    kValues.clear();
    ASSERT_TRUE(ReadIntListLine(kFile, kValues));
    EXPECT_TRUE(kValues.empty());
    ASSERT_TRUE(ReadIntListLine(kFile, kValues));
    EXPECT_EQ(kValues, (std::vector<int>{4, 5}));
    std::vector<unsigned short> kShorts;
    ASSERT_TRUE(ReadUShortList(kFile, kShorts));
    EXPECT_EQ(kShorts, (std::vector<unsigned short>{65535, 12}));

    kValues.clear();
    kShorts.clear();
    EXPECT_FALSE(ReadIntListLine(kFile, kValues));
    EXPECT_FALSE(ReadUShortList(kFile, kShorts));
    EXPECT_TRUE(kValues.empty());
    EXPECT_TRUE(kShorts.empty());
}

TEST_F(TextConvertTest, WriteFailsWithoutAFile)
{
    COrvaneFile kFile;
    EXPECT_FALSE(WriteIntListLine(kFile, {1}));
    std::vector<int> kValues;
    EXPECT_FALSE(ReadIntListLine(kFile, kValues));
}

} // namespace
