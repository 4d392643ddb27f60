#include "engine/core/NiBufferedFile.h"

#include "tests/engine/core/NiStreamFixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <numeric>
#include <vector>

using stream_test::TempFolder;

namespace
{
std::vector<std::uint8_t> ReadAll(const std::string& kPath)
{
    std::ifstream kIn(kPath, std::ios::binary);
    return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(kIn)), std::istreambuf_iterator<char>());
}

void WriteAll(const std::string& kPath, const std::vector<std::uint8_t>& kBytes)
{
    std::ofstream kOut(kPath, std::ios::binary);
    kOut.write(reinterpret_cast<const char*>(kBytes.data()), static_cast<std::streamsize>(kBytes.size()));
}

std::vector<std::uint8_t> Sequence(std::size_t n)
{
    std::vector<std::uint8_t> k(n);
    for (std::size_t i = 0; i < n; ++i)
        k[i] = static_cast<std::uint8_t>(i * 13 + 1);
    return k;
}
} // namespace

TEST(NiBufferedFileTest, WritesAndReadsBackThroughEveryBufferSize)
{
    TempFolder kFolder;
    std::vector<std::uint8_t> kData = Sequence(1000);
    for (std::uint32_t uiBuffer : {0u, 1u, 7u, 64u, 4096u})
    {
        SCOPED_TRACE(uiBuffer);
        std::string kPath = kFolder.File("data.bin");
        {
            NiBufferedFile kOut(kPath.c_str(), NiBufferedFile::WRITE_ONLY, uiBuffer);
            ASSERT_TRUE(kOut.IsGood());
            // Pieces of mixed sizes cross the buffer in every way.
            std::size_t uiDone = 0;
            for (std::size_t uiPiece = 1; uiDone < kData.size(); uiPiece = uiPiece * 3 % 97 + 1)
            {
                std::uint32_t n = static_cast<std::uint32_t>(std::min(uiPiece, kData.size() - uiDone));
                EXPECT_EQ(kOut.Write(kData.data() + uiDone, n), n);
                uiDone += n;
            }
        }
        EXPECT_EQ(ReadAll(kPath), kData);

        NiBufferedFile kIn(kPath.c_str(), NiBufferedFile::READ_ONLY, uiBuffer);
        EXPECT_EQ(kIn.GetSize(), 1000u);
        std::vector<std::uint8_t> kBack(kData.size() + 10);
        std::size_t uiDone = 0;
        for (std::size_t uiPiece = 5; uiDone < kData.size(); uiPiece = uiPiece * 5 % 89 + 1)
            uiDone += kIn.Read(kBack.data() + uiDone, static_cast<std::uint32_t>(uiPiece));
        EXPECT_EQ(uiDone, kData.size());
        kBack.resize(uiDone);
        EXPECT_EQ(kBack, kData);
        EXPECT_EQ(kIn.Read(kBack.data(), 1), 0u) << "nothing past the end";
    }
}

TEST(NiBufferedFileTest, SeeksInsideTheBufferAndThroughTheFile)
{
    TempFolder kFolder;
    std::string kPath = kFolder.File("seek.bin");
    std::vector<std::uint8_t> kData = Sequence(100);
    WriteAll(kPath, kData);

    NiBufferedFile kIn(kPath.c_str(), NiBufferedFile::READ_ONLY, 16);
    std::uint8_t ab[4];
    ASSERT_EQ(kIn.Read(ab, 4), 4u);
    // Back by two inside the buffer: the file is not touched, the buffered
    // bytes are read again.
    std::filesystem::remove(kPath);
    EXPECT_TRUE(kIn.Seek(-2, NiBufferedFile::SEEK_FROM_CURRENT));
    ASSERT_EQ(kIn.Read(ab, 2), 2u);
    EXPECT_EQ(ab[0], kData[2]);
    EXPECT_EQ(ab[1], kData[3]);
    EXPECT_EQ(kIn.GetPosition(), 4u);

    // Beyond the buffer: the file position follows the logical one.
    EXPECT_TRUE(kIn.Seek(50, NiBufferedFile::SEEK_FROM_CURRENT));
    ASSERT_EQ(kIn.Read(ab, 1), 1u);
    EXPECT_EQ(ab[0], kData[54]);
    EXPECT_TRUE(kIn.Seek(-1, NiBufferedFile::SEEK_FROM_END));
    ASSERT_EQ(kIn.Read(ab, 1), 1u);
    EXPECT_EQ(ab[0], kData[99]);
    EXPECT_TRUE(kIn.Seek(10, NiBufferedFile::SEEK_FROM_START));
    ASSERT_EQ(kIn.Read(ab, 1), 1u);
    EXPECT_EQ(ab[0], kData[10]);
}

TEST(NiBufferedFileTest, BytesLeftFollowTheLogicalPosition)
{
    TempFolder kFolder;
    const std::string kPath = kFolder.File("left.bin");
    WriteAll(kPath, Sequence(100));
    NiBufferedFile kIn(kPath.c_str(), NiBufferedFile::READ_ONLY, 16);
    EXPECT_EQ(kIn.GetBytesLeft(), 100u);
    std::uint8_t ab[8];
    ASSERT_EQ(kIn.Read(ab, 3), 3u);
    EXPECT_EQ(kIn.GetBytesLeft(), 97u) << "the buffer read ahead; the count does not";
    EXPECT_TRUE(kIn.Seek(-1, NiBufferedFile::SEEK_FROM_END));
    EXPECT_EQ(kIn.GetBytesLeft(), 1u);
    ASSERT_EQ(kIn.Read(ab, 8), 1u);
    EXPECT_EQ(kIn.GetBytesLeft(), 0u);

    NiBufferedFile kOut(kFolder.File("out.bin").c_str(), NiBufferedFile::WRITE_ONLY, 16);
    EXPECT_EQ(kOut.GetBytesLeft(), NiByteStream::UNKNOWN_SIZE) << "nothing to read in a file being written";
    NiBufferedFile kMissing(kFolder.File("missing.bin").c_str(), NiBufferedFile::READ_ONLY, 16);
    EXPECT_EQ(kMissing.GetBytesLeft(), NiByteStream::UNKNOWN_SIZE);
}

TEST(NiBufferedFileTest, MissingFilesAndFullDisksFailCleanly)
{
    TempFolder kFolder;
    NiBufferedFile kMissing(kFolder.File("missing.bin").c_str(), NiBufferedFile::READ_ONLY, 32);
    EXPECT_FALSE(kMissing.IsGood());
    std::uint8_t ab[4];
    EXPECT_EQ(kMissing.Read(ab, 4), 0u);
    EXPECT_EQ(kMissing.GetSize(), 0u);

    // The C library opens a folder for reading and then claims an endless
    // length for it; it must fail like a missing file.
    std::filesystem::create_directory(kFolder.Path() / "Maps");
    std::string kFolderAsGiven = kFolder.Path().string() + "\\maps";
    NiBufferedFile kFolderFile(kFolderAsGiven.c_str(), NiBufferedFile::READ_ONLY, 32);
    EXPECT_FALSE(kFolderFile.IsGood());
    EXPECT_EQ(kFolderFile.Read(ab, 4), 0u);
    EXPECT_EQ(kFolderFile.GetSize(), 0u);

    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    NiBufferedFile kFull("/dev/full", NiBufferedFile::WRITE_ONLY, 8);
    ASSERT_TRUE(kFull.IsGood());
    EXPECT_EQ(kFull.Write("1234", 4), 4u) << "still in our buffer";
    EXPECT_FALSE(kFull.Flush());
    EXPECT_FALSE(kFull.IsGood());
    EXPECT_EQ(kFull.Write("1234", 4), 0u);
}

TEST(NiBufferedFileTest, AppendModeAddsAtTheEnd)
{
    TempFolder kFolder;
    std::string kPath = kFolder.File("log.txt");
    WriteAll(kPath, {'a', 'b'});
    {
        NiBufferedFile kOut(kPath.c_str(), NiBufferedFile::APPEND_ONLY, 4);
        EXPECT_EQ(kOut.Write("cdefg", 5), 5u);
    }
    EXPECT_EQ(ReadAll(kPath), (std::vector<std::uint8_t>{'a', 'b', 'c', 'd', 'e', 'f', 'g'}));
}

// Over a file the caller opened, the buffer flushes into it and leaves it
// open: the caller writes on after it and closes it; a null file is no file.
TEST(NiBufferedFileTest, AFileOfTheCallerIsFlushedIntoAndLeftOpen)
{
    TempFolder kFolder;
    const std::string kPath = kFolder.File("given.bin");
    std::FILE* pkFile = std::fopen(kPath.c_str(), "wb");
    ASSERT_NE(pkFile, nullptr);
    const std::vector<std::uint8_t> kData = Sequence(300);
    {
        NiBufferedFile kOut(pkFile, NiBufferedFile::WRITE_ONLY, 64);
        ASSERT_TRUE(kOut.IsGood());
        EXPECT_EQ(kOut.Write(kData.data(), 300), 300u);
    }
    EXPECT_EQ(std::fputc('!', pkFile), '!');
    ASSERT_EQ(std::fclose(pkFile), 0);
    std::vector<std::uint8_t> kWant = kData;
    kWant.push_back('!');
    EXPECT_EQ(ReadAll(kPath), kWant);

    NiBufferedFile kNone(static_cast<std::FILE*>(nullptr), NiBufferedFile::WRITE_ONLY, 64);
    EXPECT_FALSE(kNone.IsGood());
    EXPECT_EQ(kNone.Write("1234", 4), 0u);
}
