#include "framework/COrvaneTagTree.h"

#include "tests/framework/FrameworkTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace
{
using namespace std::string_literals;

class COrvaneTagTreeTest : public FrameworkTest
{
protected:
    // Loads the bytes as a file and saves the tree again.
    std::string RoundTrip(const std::string& kBytes)
    {
        WriteFileBytes("in.xml", kBytes);
        COrvaneTagTree kTree;
        EXPECT_TRUE(kTree.Load("in.xml"));
        EXPECT_TRUE(kTree.Save("out.xml"));
        return ReadFileBytes("out.xml");
    }

    // Nested <L> nodes, depth levels deep.
    static std::string Nested(int iLevels)
    {
        std::string kText;
        for (int i = 0; i < iLevels; ++i)
            kText += "<L>\n";
        for (int i = 0; i < iLevels; ++i)
            kText += "</L>\n";
        return kText;
    }

    // A settings-like document with the cursor on the root.
    void LoadSample(COrvaneTagTree& kTree)
    {
        WriteFileBytes("sample.xml", "<Game_Data>\r\n<BGr>\r\n10\r\n</BGr>\r\n<Extra>\r\n1\r\n</Extra>\r\n"
                                     "<BGg>\r\n20\r\n</BGg>\r\n</Game_Data>\r\n<Other>\r\n<Game_Data_Copy>\r\n"
                                     "</Game_Data_Copy>\r\n</Other>\r\n");
        ASSERT_TRUE(kTree.Load("sample.xml"));
    }
};

TEST_F(COrvaneTagTreeTest, ThreeLinesLoadAndSaveByteExact)
{
    WriteFileBytes("a.xml", "<A>\nx\n</A>\n");
    COrvaneTagTree kTree;
    ASSERT_TRUE(kTree.Load("a.xml"));
    const COrvaneTagNode* pkRoot = kTree.GetRoot();
    ASSERT_NE(pkRoot, nullptr);
    EXPECT_EQ(pkRoot->GetName(), "root");
    EXPECT_EQ(kTree.GetCursor(), pkRoot);
    ASSERT_EQ(pkRoot->GetChildCount(), 1u);
    const COrvaneTagNode* pkA = pkRoot->GetChild(0);
    EXPECT_EQ(pkA->GetName(), "<A>");
    EXPECT_EQ(pkA->GetDepth(), 1);
    ASSERT_EQ(pkA->GetValues().size(), 1u);
    EXPECT_EQ(pkA->GetValues()[0], "x");

    ASSERT_TRUE(kTree.Save("a2.xml"));
    EXPECT_EQ(ReadFileBytes("a2.xml"), "<A>\r\nx\r\n</A>\r\n");
}

TEST_F(COrvaneTagTreeTest, EmptyNodeGetsALoneLineThatTheNextSaveDrops)
{
    const std::string kFirst = RoundTrip("<E>\r\n</E>\r\n");
    EXPECT_EQ(kFirst, "<E>\r\n\r\n</E>\r\n");
    // Reloaded, the lone line is an empty value, and empty values write nothing.
    EXPECT_EQ(RoundTrip(kFirst), "<E>\r\n</E>\r\n");
}

TEST_F(COrvaneTagTreeTest, CommentsRootValuesAndClosingNamesAreNotKept)
{
    EXPECT_EQ(RoundTrip("loose value\n# a comment\n<A>\n#hidden\nv\n</Anything at all>\n<B>\n</B>\n"),
              "<A>\r\nv\r\n</A>\r\n<B>\r\n\r\n</B>\r\n");
}

TEST_F(COrvaneTagTreeTest, ExtraClosingLinesStayAtTheRootAndALoneBracketIsAChild)
{
    WriteFileBytes("odd.xml", "</X>\n</Y>\n<A>\n</A>\n</Z>\n<\nin\n</>\n");
    COrvaneTagTree kTree;
    ASSERT_TRUE(kTree.Load("odd.xml"));
    const COrvaneTagNode* pkRoot = kTree.GetRoot();
    ASSERT_EQ(pkRoot->GetChildCount(), 2u);
    EXPECT_EQ(pkRoot->GetChild(0)->GetName(), "<A>");
    EXPECT_EQ(pkRoot->GetChild(1)->GetName(), "<");
    ASSERT_EQ(pkRoot->GetChild(1)->GetValues().size(), 1u);
    EXPECT_EQ(pkRoot->GetChild(1)->GetValues()[0], "in");
}

TEST_F(COrvaneTagTreeTest, NamesAreCutAtLineEndsAndNulWhenSaved)
{
    WriteFileBytes("nul.xml", "<A\0B>\nv\n</A>\n"s);
    COrvaneTagTree kTree;
    ASSERT_TRUE(kTree.Load("nul.xml"));
    kTree.AddChild("Added");
    ASSERT_TRUE(kTree.Save("out.xml"));
    EXPECT_EQ(ReadFileBytes("out.xml"), "<A\r\nv\r\n</A\r\n<Added>\r\n\r\n</Added>\r\n");
}

TEST_F(COrvaneTagTreeTest, ValuesEndingInLineFeedGetNoSecondLineEnd)
{
    COrvaneTagTree kTree;
    EXPECT_FALSE(kTree.Load("missing.xml")); // an empty root to build on
    ASSERT_TRUE(kTree.AddChild("<V>"));
    ASSERT_TRUE(kTree.FindChild("<V>"));
    kTree.AddValue("one\n");
    kTree.AddValue("");
    kTree.AddValue("two");
    ASSERT_TRUE(kTree.Save("v.xml"));
    EXPECT_EQ(ReadFileBytes("v.xml"), "<V>\r\none\ntwo\r\n</V>\r\n");
}

TEST_F(COrvaneTagTreeTest, TwoHundredFiftyFiveLevelsLoadAndOneMoreFails)
{
    WriteFileBytes("deep.xml", Nested(255));
    COrvaneTagTree kTree;
    ASSERT_TRUE(kTree.Load("deep.xml"));
    EXPECT_EQ(kTree.GetDeepestLevel(), 255);
    ASSERT_TRUE(kTree.SelectSection("<L>", true));
    while (kTree.FindChild(nullptr))
    {
    }
    EXPECT_EQ(kTree.GetCursor()->GetDepth(), 255);
    // A child here would need depth 256, which a byte cannot hold.
    EXPECT_FALSE(kTree.AddChild("<Deeper>"));
    EXPECT_EQ(kTree.GetCursor()->GetChildCount(), 0u);
    ASSERT_TRUE(kTree.Save("deep2.xml"));
    EXPECT_TRUE(kTree.Load("deep2.xml"));

    WriteFileBytes("deeper.xml", Nested(256));
    EXPECT_FALSE(kTree.Load("deeper.xml"));
    ASSERT_NE(kTree.GetRoot(), nullptr);
    EXPECT_EQ(kTree.GetRoot()->GetChildCount(), 0u); // nothing half-read stays
    EXPECT_EQ(kTree.GetCursor(), kTree.GetRoot());
}

TEST_F(COrvaneTagTreeTest, MissingOrEmptyFilesLeaveAnEmptyRoot)
{
    WriteFileBytes("empty.xml", "");
    COrvaneTagTree kTree;
    EXPECT_EQ(kTree.GetRoot(), nullptr);
    EXPECT_TRUE(kTree.GetValues().empty()); // no cursor yet: an empty list
    EXPECT_FALSE(kTree.FindChild(nullptr));
    EXPECT_FALSE(kTree.AddChild("<A>"));
    for (const char* pcName : {"missing.xml", "empty.xml"})
    {
        EXPECT_FALSE(kTree.Load(pcName));
        ASSERT_NE(kTree.GetRoot(), nullptr);
        EXPECT_EQ(kTree.GetCursor(), kTree.GetRoot());
        EXPECT_FALSE(kTree.SelectSection("Game_Data", true));
    }
}

TEST_F(COrvaneTagTreeTest, LoadingAgainReplacesTheDocument)
{
    WriteFileBytes("one.xml", "<One>\n1\n</One>\n");
    WriteFileBytes("two.xml", "<Two>\n2\n</Two>\n");
    COrvaneTagTree kTree;
    ASSERT_TRUE(kTree.Load("one.xml"));
    ASSERT_TRUE(kTree.Load("two.xml"));
    EXPECT_FALSE(kTree.SelectSection("One", true));
    EXPECT_EQ(kTree.GetLevelSize(1), 1u);
    ASSERT_TRUE(kTree.Save("out.xml"));
    EXPECT_EQ(ReadFileBytes("out.xml"), "<Two>\r\n2\r\n</Two>\r\n");
}

TEST_F(COrvaneTagTreeTest, SplitSaveWritesTagsAndFirstValues)
{
    WriteFileBytes("s.xml", "<A>\nx\ny\n<B>\n\n</B>\n<C>\nlast\n</C>\n</A>\n");
    COrvaneTagTree kTree;
    ASSERT_TRUE(kTree.Load("s.xml"));
    ASSERT_TRUE(kTree.FindChild("<A>"));
    kTree.AddChild("D"); // stored as "<D>\n": the tags file keeps the LF
    ASSERT_TRUE(kTree.SaveSplit("split"));
    // <B> reloads with one empty value (its lone line): value marks, no TAB.
    EXPECT_EQ(ReadFileBytes("split_TAGS.xml"), "<A>\x17\x17<B>\x17\x17</B>\x17<C>\x17\x17</C>\x17<D>\n\x17\x17</D>\n\x17</A>\x17");
    EXPECT_EQ(ReadFileBytes("split_DATA.txt"), "x\t\x17\x17last\t\x17");
}

TEST_F(COrvaneTagTreeTest, SplitSaveKeepsEveryMarkWhenTextsHoldNul)
{
    // A text ends at its NUL, as every C-string reader sees it; the marks and
    // the TAB after it still go out.
    WriteFileBytes("nul.xml", "<A\0x>\nv\0w\n<B>\n\0\n</B>\n</A>\n"s);
    COrvaneTagTree kTree;
    ASSERT_TRUE(kTree.Load("nul.xml"));
    ASSERT_TRUE(kTree.FindChild("<A"));
    ASSERT_EQ(kTree.GetCursor()->GetName(), "<A\0x>"s);
    ASSERT_TRUE(kTree.SaveSplit("split"));
    EXPECT_EQ(ReadFileBytes("split_TAGS.xml"), "<A\x17\x17<B>\x17\x17</B>\x17</A\x17");
    EXPECT_EQ(ReadFileBytes("split_DATA.txt"), "v\t\x17\t\x17");
}

TEST_F(COrvaneTagTreeTest, SavingFailsIntoAMissingFolderOrAFullDisk)
{
    WriteFileBytes("a.xml", "<A>\nx\n</A>\n");
    COrvaneTagTree kTree;
    ASSERT_TRUE(kTree.Load("a.xml"));
    EXPECT_FALSE(kTree.Save("missing/a.xml"));
    EXPECT_FALSE(kTree.SaveSplit("missing/a"));
    EXPECT_FALSE(std::filesystem::exists("missing"));
    if (std::filesystem::exists("/dev/full"))
    {
        EXPECT_FALSE(kTree.Save("/dev/full"));
    }
}

// Saved into a file the caller holds open, the document is the same bytes
// as saved by name; the file stays open, and a full disk fails the save.
TEST_F(COrvaneTagTreeTest, SavingIntoAnOpenFileWritesTheSameBytes)
{
    WriteFileBytes("a.xml", "<A>\nx\n<B>\n</B>\n</A>\n<C>\ny\n</C>\n");
    COrvaneTagTree kTree;
    ASSERT_TRUE(kTree.Load("a.xml"));
    ASSERT_TRUE(kTree.Save("by-name.xml"));
    std::FILE* pkFile = std::fopen("open.xml", "wb");
    ASSERT_NE(pkFile, nullptr);
    EXPECT_TRUE(kTree.Save(pkFile));
    EXPECT_EQ(std::fputc('#', pkFile), '#');
    ASSERT_EQ(std::fclose(pkFile), 0);
    EXPECT_EQ(ReadFileBytes("open.xml"), ReadFileBytes("by-name.xml") + "#");
    EXPECT_FALSE(kTree.Save(static_cast<std::FILE*>(nullptr)));
    if (std::filesystem::exists("/dev/full"))
    {
        std::FILE* pkFull = std::fopen("/dev/full", "wb");
        ASSERT_NE(pkFull, nullptr);
        EXPECT_FALSE(kTree.Save(pkFull));
        std::fclose(pkFull);
    }
}

TEST_F(COrvaneTagTreeTest, FindChildMatchesSubstringsCaseSensitively)
{
    COrvaneTagTree kTree;
    LoadSample(kTree);
    ASSERT_TRUE(kTree.SelectSection("Game_Data", true));
    COrvaneTagNode* pkGame = kTree.GetCursor();
    EXPECT_TRUE(kTree.HasChild("BG"));
    EXPECT_FALSE(kTree.HasChild("bg"));
    EXPECT_TRUE(kTree.HasChild(nullptr));
    EXPECT_EQ(kTree.GetCursor(), pkGame); // HasChild does not move
    EXPECT_FALSE(kTree.FindChild("bgr"));
    EXPECT_EQ(kTree.GetCursor(), pkGame);
    ASSERT_TRUE(kTree.FindChild("BG"));
    EXPECT_EQ(kTree.GetCursor()->GetName(), "<BGr>");
    ASSERT_EQ(kTree.GetValues().size(), 1u);
    EXPECT_EQ(kTree.GetValues()[0], "10");
}

TEST_F(COrvaneTagTreeTest, NextSiblingLooksAtOneSiblingOnly)
{
    COrvaneTagTree kTree;
    LoadSample(kTree);
    ASSERT_TRUE(kTree.SelectSection("Game_Data", true));
    ASSERT_TRUE(kTree.FindChild("BGr"));
    COrvaneTagNode* pkRed = kTree.GetCursor();
    EXPECT_FALSE(kTree.NextSibling("BGg")); // <Extra> stands between
    EXPECT_EQ(kTree.GetCursor(), pkRed);
    ASSERT_TRUE(kTree.NextSibling(nullptr));
    EXPECT_EQ(kTree.GetCursor()->GetName(), "<Extra>");
    ASSERT_TRUE(kTree.NextSibling("BGg"));
    EXPECT_FALSE(kTree.NextSibling(nullptr)); // the last child
    ASSERT_TRUE(kTree.SelectSection("root", true));
    EXPECT_FALSE(kTree.NextSibling(nullptr)); // the root has no siblings
}

TEST_F(COrvaneTagTreeTest, SelectSectionSearchesLevelByLevel)
{
    COrvaneTagTree kTree;
    LoadSample(kTree);
    EXPECT_FALSE(kTree.SelectSection(nullptr, true));
    ASSERT_TRUE(kTree.SelectSection("Game_Data", true));
    EXPECT_EQ(kTree.GetCursor()->GetName(), "<Game_Data>"); // shallowest first
    ASSERT_TRUE(kTree.SelectSection("Other", true));
    // From the cursor's own level: its cousins and itself count too.
    ASSERT_TRUE(kTree.SelectSection("Game_Data", false));
    EXPECT_EQ(kTree.GetCursor()->GetName(), "<Game_Data>");
    ASSERT_TRUE(kTree.SelectSection("Copy", false));
    EXPECT_EQ(kTree.GetCursor()->GetName(), "<Game_Data_Copy>");
    EXPECT_FALSE(kTree.SelectSection("Other", false)); // shallower than the cursor
    EXPECT_EQ(kTree.GetCursor()->GetName(), "<Game_Data_Copy>");
}

TEST_F(COrvaneTagTreeTest, AddChildWrapsTheNameAndLeavesTheCursor)
{
    COrvaneTagTree kTree;
    LoadSample(kTree);
    ASSERT_TRUE(kTree.SelectSection("Other", true));
    COrvaneTagNode* pkOther = kTree.GetCursor();
    ASSERT_TRUE(kTree.AddChild("New"));
    ASSERT_TRUE(kTree.AddChild("<Full>"));
    EXPECT_EQ(kTree.GetCursor(), pkOther);
    ASSERT_EQ(pkOther->GetChildCount(), 3u);
    EXPECT_EQ(pkOther->GetChild(1)->GetName(), "<New>\n");
    EXPECT_EQ(pkOther->GetChild(2)->GetName(), "<Full>\n");
    EXPECT_EQ(pkOther->GetChild(2)->GetDepth(), 2);
    EXPECT_EQ(kTree.GetLevelSize(2), 6u);
    ASSERT_TRUE(kTree.SelectSection("Full", true));
    EXPECT_EQ(kTree.GetCursor(), pkOther->GetChild(2));
}

TEST_F(COrvaneTagTreeTest, RemoveNodeTakesTheSubtreeAndIsANoOpAtTheRoot)
{
    COrvaneTagTree kTree;
    LoadSample(kTree);
    kTree.RemoveNode(); // the root stays
    ASSERT_EQ(kTree.GetRoot()->GetChildCount(), 2u);
    ASSERT_TRUE(kTree.SelectSection("Other", true));
    kTree.RemoveNode();
    EXPECT_EQ(kTree.GetCursor(), kTree.GetRoot());
    EXPECT_EQ(kTree.GetRoot()->GetChildCount(), 1u);
    EXPECT_FALSE(kTree.SelectSection("Copy", true)); // gone from the levels too
    EXPECT_EQ(kTree.GetLevelSize(2), 3u);
    ASSERT_TRUE(kTree.Save("out.xml"));
    EXPECT_EQ(ReadFileBytes("out.xml"), "<Game_Data>\r\n<BGr>\r\n10\r\n</BGr>\r\n<Extra>\r\n1\r\n</Extra>\r\n"
                                        "<BGg>\r\n20\r\n</BGg>\r\n</Game_Data>\r\n");
}
TEST_F(COrvaneTagTreeTest, SelectParentReturnsFromAChildAndStopsAtTheRoot)
{
    COrvaneTagTree kTree;
    EXPECT_FALSE(kTree.SelectParent()); // no cursor yet
    LoadSample(kTree);
    EXPECT_FALSE(kTree.SelectParent()); // the root has no parent
    EXPECT_EQ(kTree.GetCursor(), kTree.GetRoot());
    // A walk over the children of <Game_Data>, back to it at the end.
    ASSERT_TRUE(kTree.SelectSection("Game_Data", true));
    COrvaneTagNode* pkGame = kTree.GetCursor();
    ASSERT_TRUE(kTree.FindChild(nullptr));
    std::string kSeen;
    do
        kSeen += kTree.GetCursor()->GetName();
    while (kTree.NextSibling(nullptr));
    EXPECT_EQ(kSeen, "<BGr><Extra><BGg>");
    ASSERT_TRUE(kTree.SelectParent());
    EXPECT_EQ(kTree.GetCursor(), pkGame);
    ASSERT_TRUE(kTree.SelectParent());
    EXPECT_EQ(kTree.GetCursor(), kTree.GetRoot());
    EXPECT_FALSE(kTree.SelectParent());
    EXPECT_EQ(kTree.GetCursor(), kTree.GetRoot());
}

TEST_F(COrvaneTagTreeTest, ReplaceValueRewritesASettingInPlace)
{
    WriteFileBytes("setup.xml", "<In_Game_Settings>\r\n<Music>\r\n1\r\nkept\r\n</Music>\r\n<SFX>\r\n1\r\n</SFX>\r\n"
                                "<Detail>\r\n\r\n</Detail>\r\n</In_Game_Settings>\r\n");
    COrvaneTagTree kTree;
    EXPECT_FALSE(kTree.ReplaceValue(0, "x")); // no cursor yet
    ASSERT_TRUE(kTree.Load("setup.xml"));
    ASSERT_TRUE(kTree.SelectSection("In_Game_Settings", true));
    COrvaneTagNode* pkSection = kTree.GetCursor();
    // Each setting's first value becomes the flag with its line end, and the
    // cursor goes back to the section for the next.
    const char* apcKeys[] = {"Music", "SFX", "Detail"};
    const char* apcFlags[] = {"0\r\n", "1\r\n", "0\r\n"};
    for (int i = 0; i < 3; ++i)
    {
        SCOPED_TRACE(apcKeys[i]);
        ASSERT_TRUE(kTree.FindChild(apcKeys[i]));
        EXPECT_TRUE(kTree.ReplaceValue(0, apcFlags[i]));
        ASSERT_TRUE(kTree.SelectParent());
        EXPECT_EQ(kTree.GetCursor(), pkSection);
    }
    ASSERT_TRUE(kTree.FindChild("Music"));
    ASSERT_EQ(kTree.GetValues().size(), 2u);
    EXPECT_EQ(kTree.GetValues()[0], "0\r\n");
    EXPECT_EQ(kTree.GetValues()[1], "kept");
    EXPECT_TRUE(kTree.ReplaceValue(1, "second\r\n"));
    EXPECT_FALSE(kTree.ReplaceValue(2, "beyond\r\n")); // no third value: nothing added
    EXPECT_EQ(kTree.GetValues().size(), 2u);
    ASSERT_TRUE(kTree.Save("out.xml"));
    // <Detail>'s lone line read back as an empty value, now replaced.
    EXPECT_EQ(ReadFileBytes("out.xml"), "<In_Game_Settings>\r\n<Music>\r\n0\r\nsecond\r\n</Music>\r\n<SFX>\r\n1\r\n"
                                        "</SFX>\r\n<Detail>\r\n0\r\n</Detail>\r\n</In_Game_Settings>\r\n");
}
} // namespace
