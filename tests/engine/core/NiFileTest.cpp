#include "engine/core/NiFile.h"

#include "tests/engine/core/NiStreamFixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

using stream_test::TempFolder;

namespace
{
void WriteAll(const std::string& kPath, const std::vector<std::uint8_t>& kBytes)
{
    std::ofstream kOut(kPath, std::ios::binary);
    kOut.write(reinterpret_cast<const char*>(kBytes.data()), static_cast<std::streamsize>(kBytes.size()));
}
} // namespace

TEST(NiFileTest, PathsResolveAndAccessTestsLeaveFilesAlone)
{
    TempFolder kFolder;
    std::filesystem::create_directory(kFolder.Path() / "Data");
    std::string kReal = (kFolder.Path() / "Data" / "Wall.TGA").string();
    WriteAll(kReal, std::vector<std::uint8_t>(12, 0x5A));
    std::string kAsTheGameNamesIt = kFolder.Path().string() + "\\data\\wall.tga";

    EXPECT_EQ(NiGetFileSize(kAsTheGameNamesIt.c_str()), 12u);
    EXPECT_EQ(NiGetFileSize(kFolder.File("missing").c_str()), 0u);
    WriteAll(kFolder.File("empty"), {});
    EXPECT_EQ(NiGetFileSize(kFolder.File("empty").c_str()), 0u);

    std::unique_ptr<NiByteStream> spIn = NiOpenFile(kAsTheGameNamesIt.c_str(), 0, 64);
    ASSERT_NE(spIn, nullptr);
    EXPECT_TRUE(spIn->IsGood());
    std::unique_ptr<NiByteStream> spMissing = NiOpenFile(kFolder.File("nope").c_str(), 0, 64);
    ASSERT_NE(spMissing, nullptr) << "a stream even when the file did not open";
    EXPECT_FALSE(spMissing->IsGood());

    EXPECT_TRUE(NiFileAccessible(kAsTheGameNamesIt.c_str(), 0));
    EXPECT_FALSE(NiFileAccessible(kFolder.File("nope").c_str(), 0));
    std::string kFolderAsGiven = kFolder.Path().string() + "\\DATA";
    EXPECT_FALSE(NiFileAccessible(kFolderAsGiven.c_str(), 0)) << "a folder is no file";
    EXPECT_FALSE(NiFileAccessible(kFolderAsGiven.c_str(), 1));
    EXPECT_EQ(NiGetFileSize(kFolderAsGiven.c_str()), 0u);
    // A writability test neither truncates nor creates.
    EXPECT_TRUE(NiFileAccessible(kAsTheGameNamesIt.c_str(), 1));
    EXPECT_EQ(NiGetFileSize(kReal.c_str()), 12u);
    EXPECT_TRUE(NiFileAccessible(kFolder.File("new.bin").c_str(), 1));
    EXPECT_FALSE(std::filesystem::exists(kFolder.File("new.bin")));
    EXPECT_FALSE(NiFileAccessible(kFolder.File("no/folder/new.bin").c_str(), 1));
}

TEST(NiFileTest, HooksReplaceAndRestore)
{
    static int s_iOpens;
    s_iOpens = 0; // the test may run more than once in one process
    NiSetOpenFileFunction(+[](const char*, std::uint32_t, std::uint32_t) -> std::unique_ptr<NiByteStream> {
        ++s_iOpens;
        return nullptr;
    });
    NiSetFileAccessFunction(+[](const char*, std::uint32_t) { return true; });
    EXPECT_EQ(NiOpenFile("x", 0, 0), nullptr);
    EXPECT_EQ(s_iOpens, 1);
    EXPECT_TRUE(NiFileAccessible("/definitely/not/here", 0));
    NiSetOpenFileFunction(nullptr);
    NiSetFileAccessFunction(nullptr);
    EXPECT_FALSE(NiFileAccessible("/definitely/not/here", 0));
    EXPECT_NE(NiOpenFile("/definitely/not/here", 0, 0), nullptr);
}
