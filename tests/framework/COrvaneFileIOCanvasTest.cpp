#include "framework/COrvaneFileIOCanvas.h"

#include "framework/COrvaneWidget.h"
#include "platform/os/OsFiles.h"
#include "tests/framework/UiTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace
{
class COrvaneFileIOCanvasTest : public UiTest
{
protected:
    static std::vector<std::string> Names(const COrvaneFileIOCanvas& kList)
    {
        std::vector<std::string> kNames;
        for (const COrvaneFileIOCanvas::Entry& kEntry : kList.GetEntries())
            kNames.push_back(kEntry.m_kName + (kEntry.m_uiKind == COrvaneFileIOCanvas::KIND_FOLDER ? "/" : ""));
        return kNames;
    }
    static std::string NameField(const COrvaneFileIOCanvas& kList)
    {
        auto* pkField = dynamic_cast<COrvaneTextWidget*>(kList.GetWidget(kList.GetNameField()));
        return pkField != nullptr ? pkField->GetText() : std::string("<no field>");
    }
};
} // namespace

TEST_F(COrvaneFileIOCanvasTest, FilesComeFirstAndTheFirstOneIsSelected)
{
    WriteFileBytes("b.fds", "b");
    WriteFileBytes("a.fds", "a");
    WriteFileBytes("notes.txt", "n");
    WriteFileBytes("UPPER.FDS", "u");
    WriteFileBytes("a.fdp", "not a picture");
    std::filesystem::create_directory("old");
    std::filesystem::create_directory("old.saves");
    std::filesystem::create_directory(".hidden");

    COrvaneFileIOCanvas kList;
    EXPECT_EQ(kList.GetSelected(), -1);
    kList.Create("", 10.0f, 20.0f, false);
    EXPECT_EQ(kList.GetStartFolder(), os::GetCurrentFolder());
    EXPECT_EQ(kList.GetCurrentFolder(), "./");
    ASSERT_GE(kList.GetNameField(), 0);
    kList.ScanFolder();
    const std::vector<std::string> kExpected = {"a", "b", "old/", "old.saves/"};
    EXPECT_EQ(Names(kList), kExpected);
    EXPECT_TRUE(kList.HasFiles());
    EXPECT_EQ(kList.GetSelected(), 0);
    EXPECT_EQ(NameField(kList), "a");
    EXPECT_NE(kList.GetPreview(), nullptr); // a.fdp is there (not empty)

    kList.LoadPreview(1, true);
    EXPECT_EQ(kList.GetSelected(), 1);
    EXPECT_EQ(NameField(kList), "b");
    EXPECT_EQ(kList.GetPreview(), nullptr); // no b.fdp
    kList.LoadPreview(2, true); // a folder, staying
    EXPECT_EQ(kList.GetSelected(), 1);
    kList.LoadPreview(9, false);
    EXPECT_EQ(kList.GetSelected(), 1);
}

TEST_F(COrvaneFileIOCanvasTest, FoldersAreWalkedAndTheStartFolderIsFoundAgain)
{
    std::filesystem::create_directories("maps/deeper");
    WriteFileBytes("maps/deeper/x.fds", "x");
    COrvaneFileIOCanvas kList;
    kList.Create("", 0.0f, 0.0f, false);
    const std::string kStart = os::GetCurrentFolder();

    kList.OpenSaveFolder();
    EXPECT_EQ(kList.GetCurrentFolder(), "./maps/");
    EXPECT_FALSE(kList.HasFiles());
    EXPECT_EQ(Names(kList), std::vector<std::string>{"deeper/"});
    kList.LoadPreview(0, false); // walks in
    EXPECT_EQ(kList.GetCurrentFolder(), "./maps/deeper/");
    EXPECT_EQ(Names(kList), std::vector<std::string>{"x"});
    EXPECT_EQ(kList.GetSelected(), 0);

    // A failed change leaves the current folder as it was and rescans.
    EXPECT_FALSE(kList.ChangeFolder("missing"));
    EXPECT_EQ(kList.GetCurrentFolder(), "./maps/deeper/");
    EXPECT_EQ(Names(kList), std::vector<std::string>{"x"});
    EXPECT_EQ(NameField(kList), "x");

    kList.GoToStartFolder();
    EXPECT_EQ(kList.GetCurrentFolder(), "./");
    EXPECT_EQ(os::GetCurrentFolder(), kStart);
    EXPECT_EQ(Names(kList), std::vector<std::string>{"maps/"});
    EXPECT_EQ(kList.GetSelected(), -1);
    EXPECT_FALSE(kList.HasFiles());
}
