#include "framework/COrvaneFile.h"

#include "tests/framework/FrameworkTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace
{
using namespace std::string_literals;

class COrvaneFileTest : public FrameworkTest
{
};

TEST_F(COrvaneFileTest, ReadLineDropsEveryCrAndTakesAnyLength)
{
    const std::string k255(255, 'x');
    const std::string k256(256, 'y');
    const std::string k1000(1000, 'z');
    // Mid-line CRs, LF-only and CR LF ends, and a last line without LF.
    WriteFileBytes("lines.txt", "a\rb\r\n\r\n" + k255 + "\n" + k256 + "\r\n" + k1000);

    COrvaneFile kFile;
    ASSERT_EQ(kFile.Open("lines.txt", COrvaneFile::MODE_READ), 1);
    std::string kLine;
    const std::string akExpected[] = {"ab", "", k255, k256, k1000};
    for (const std::string& kExpected : akExpected)
    {
        ASSERT_FALSE(kFile.IsEof());
        kFile.ReadLine(kLine);
        EXPECT_EQ(kLine, kExpected);
    }
    EXPECT_TRUE(kFile.IsEof());
    EXPECT_TRUE(kFile.IsEof()); // asking again moves nothing
    kFile.ReadLine(kLine);
    EXPECT_EQ(kLine, "");
}

TEST_F(COrvaneFileTest, ReadOpenRefusesMissingAndEmptyFilesAndKeepsTheEarlierName)
{
    WriteFileBytes("empty.txt", "");
    WriteFileBytes("one.txt", "1");
    COrvaneFile kFile;
    EXPECT_EQ(kFile.Open("missing.txt", COrvaneFile::MODE_READ), 0);
    EXPECT_EQ(kFile.Open("empty.txt", COrvaneFile::MODE_READ), 0);
    ASSERT_EQ(kFile.Open("one.txt", COrvaneFile::MODE_READ), 1);
    EXPECT_EQ(kFile.Open("empty.txt", COrvaneFile::MODE_READ), 0);
    EXPECT_FALSE(kFile.IsOpen()); // the earlier file was closed first
    EXPECT_EQ(kFile.GetFileName(), "one.txt");
    EXPECT_EQ(kFile.GetMode(), COrvaneFile::MODE_READ);
    EXPECT_EQ(kFile.Close(), 0);
    EXPECT_EQ(kFile.Open("one.txt", 7), 0); // no such mode
}

TEST_F(COrvaneFileTest, NamesResolveWithBackslashesAndAnyCase)
{
    std::filesystem::create_directory("Data");
    WriteFileBytes("Data/Level.txt", "found\n");
    COrvaneFile kFile;
    ASSERT_EQ(kFile.Open("DATA\\level.TXT", COrvaneFile::MODE_READ), 1);
    std::string kLine;
    kFile.ReadLine(kLine);
    EXPECT_EQ(kLine, "found");
}

TEST_F(COrvaneFileTest, WriteStringWritesUpToTheFirstNulAndNoLineEnd)
{
    COrvaneFile kFile;
    ASSERT_EQ(kFile.Open("out.txt", COrvaneFile::MODE_WRITE), 1);
    EXPECT_TRUE(kFile.WriteString("one\r\n"));
    EXPECT_TRUE(kFile.WriteString("two\0three"));
    EXPECT_TRUE(kFile.WriteString(""));
    EXPECT_TRUE(kFile.Flush());
    EXPECT_EQ(kFile.Close(), 1);
    EXPECT_EQ(ReadFileBytes("out.txt"), "one\r\ntwo");

    // A file opened for reading takes no writes.
    ASSERT_EQ(kFile.Open("out.txt", COrvaneFile::MODE_READ), 1);
    EXPECT_FALSE(kFile.WriteString("x"));
}

TEST_F(COrvaneFileTest, WriteOpenFailsWhenTheFileCannotBeCreated)
{
    COrvaneFile kFile;
    EXPECT_EQ(kFile.Open("no-such-folder/out.txt", COrvaneFile::MODE_WRITE), 0);
    EXPECT_FALSE(kFile.IsOpen());
    EXPECT_FALSE(kFile.WriteString("lost"));
}

TEST_F(COrvaneFileTest, AFullDiskShowsAsAFailedFlush)
{
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    COrvaneFile kFile;
    ASSERT_EQ(kFile.Open("/dev/full", COrvaneFile::MODE_WRITE), 1);
    EXPECT_TRUE(kFile.WriteString("buffered for now"));
    EXPECT_FALSE(kFile.Flush());
}

TEST_F(COrvaneFileTest, ReadUntilReadsWholeFieldsOfAnyLength)
{
    const std::string kLong(600, 'f');
    WriteFileBytes("fields.txt", kLong + ",ab\0cd,tail"s);
    COrvaneFile kFile;
    ASSERT_EQ(kFile.Open("fields.txt", COrvaneFile::MODE_READ), 1);
    std::string kText;
    kFile.ReadUntil(kText, ",");
    EXPECT_EQ(kText, kLong + "\n");
    kFile.ReadUntil(kText, ",");
    EXPECT_EQ(kText, "ab\n"); // cut at the NUL, the rest of the field consumed
    kFile.ReadUntil(kText, ",");
    EXPECT_EQ(kText, "tail\n");
    EXPECT_TRUE(kFile.IsEof());
    kFile.ReadUntil(kText, ",");
    EXPECT_EQ(kText, "\n");
}

TEST_F(COrvaneFileTest, FindLineStartsOverAndMissesAMatchOnTheLastLine)
{
    WriteFileBytes("find.txt", "alpha\r\nbeta gamma\r\nlast line\r\n");
    COrvaneFile kFile;
    ASSERT_EQ(kFile.Open("find.txt", COrvaneFile::MODE_READ), 1);
    std::string kLine;
    EXPECT_EQ(kFile.FindLine("gamma"), 1);
    kFile.ReadLine(kLine);
    EXPECT_EQ(kLine, "last line");
    EXPECT_EQ(kFile.FindLine("alpha"), 1); // found again from the start
    kFile.ReadLine(kLine);
    EXPECT_EQ(kLine, "beta gamma");
    EXPECT_EQ(kFile.FindLine("eta g"), 1); // substring
    EXPECT_EQ(kFile.FindLine("last"), 0);  // the last line: kept as it always was
    EXPECT_EQ(kFile.FindLine("Alpha"), 0); // case counts
    EXPECT_EQ(kFile.FindLine("nowhere"), 0);
}

TEST_F(COrvaneFileTest, LinesAreCountedFromEachOpeningAlsoPastTheEnd)
{
    WriteFileBytes("count.txt", "one\r\ntwo\r\nthree");
    COrvaneFile kFile;
    ASSERT_EQ(kFile.Open("count.txt", COrvaneFile::MODE_READ), 1);
    std::string kLine;
    EXPECT_EQ(kFile.GetLinesRead(), 0u);
    kFile.ReadLine(kLine);
    EXPECT_EQ(kFile.GetLinesRead(), 1u);
    EXPECT_EQ(kFile.FindLine("two"), 1); // reopened: counted from the start again
    EXPECT_EQ(kFile.GetLinesRead(), 2u);
    kFile.ReadLine(kLine);
    EXPECT_EQ(kLine, "three");
    EXPECT_EQ(kFile.GetLinesRead(), 3u);
    // A read at the end is the line that would have followed.
    kFile.ReadLine(kLine);
    EXPECT_TRUE(kLine.empty());
    EXPECT_EQ(kFile.GetLinesRead(), 4u);
    kFile.Close();
    EXPECT_EQ(kFile.GetLinesRead(), 0u);
}

TEST_F(COrvaneFileTest, FindLineNeverReopensAFileBeingWritten)
{
    COrvaneFile kFile;
    ASSERT_EQ(kFile.Open("log.txt", COrvaneFile::MODE_WRITE), 1);
    ASSERT_TRUE(kFile.WriteString("kept\r\nmore\r\n"));
    EXPECT_EQ(kFile.FindLine("kept"), 0);
    EXPECT_TRUE(kFile.Flush());
    kFile.Close();
    EXPECT_EQ(ReadFileBytes("log.txt"), "kept\r\nmore\r\n");
}

// Writing into a file the caller holds open: the bytes reach it by Close,
// the file stays the caller's to write on and close, and a full disk still
// shows as a failed flush.
TEST_F(COrvaneFileTest, AFileOfTheCallerIsWrittenAndLeftOpen)
{
    COrvaneFile kFile;
    EXPECT_EQ(kFile.OpenForWrite(nullptr), 0);
    EXPECT_FALSE(kFile.IsOpen());
    std::FILE* pkFile = std::fopen("given.txt", "wb");
    ASSERT_NE(pkFile, nullptr);
    ASSERT_EQ(kFile.OpenForWrite(pkFile), 1);
    EXPECT_EQ(kFile.GetMode(), COrvaneFile::MODE_WRITE);
    EXPECT_TRUE(kFile.WriteString("first\r\n"));
    EXPECT_EQ(kFile.FindLine("first"), 0);
    EXPECT_EQ(kFile.Close(), 1);
    EXPECT_GE(std::fputs("after\r\n", pkFile), 0);
    ASSERT_EQ(std::fclose(pkFile), 0);
    EXPECT_EQ(ReadFileBytes("given.txt"), "first\r\nafter\r\n");

    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    std::FILE* pkFull = std::fopen("/dev/full", "wb");
    ASSERT_NE(pkFull, nullptr);
    ASSERT_EQ(kFile.OpenForWrite(pkFull), 1);
    EXPECT_TRUE(kFile.WriteString("buffered for now"));
    EXPECT_FALSE(kFile.Flush());
    kFile.Close();
    std::fclose(pkFull);
}
} // namespace
