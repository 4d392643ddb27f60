#include "game/shell/CLocale.h"

#include "engine/render/image/NiImageFileConverter.h"
#include "framework/COrvaneFont.h"
#include "framework/COrvaneTagTree.h"
#include "framework/COrvaneWidget.h"
#include "tests/framework/FrameworkTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace
{
// Every string drawn, with its font and place; characters are 10 wide.
class RecordingLocale : public CLocale
{
public:
    std::vector<std::string> m_kDrawn;

protected:
    void DrawLine(std::int32_t iFont, float fX, float fY, const std::string& kText) override
    {
        m_kDrawn.push_back(std::to_string(iFont) + " " + std::to_string(static_cast<int>(fX)) + "," +
                           std::to_string(static_cast<int>(fY)) + " " + kText);
    }
    std::int32_t DrawInBox(std::int32_t iFont, const COrvaneWidgetRect&, const std::string& kText) override
    {
        m_kDrawn.push_back(std::to_string(iFont) + " box " + kText);
        return 2;
    }
    float ScreenWidth() const override { return 800.0f; }
    float MeasureText(std::int32_t, const std::string& kText) const override
    {
        return 10.0f * static_cast<float>(kText.size());
    }
};

const char* const LANGUAGE = "<LANGUAGE>\r\n"
                             "<Menu>\r\n<0>\r\nguard on duty\r\nWache\r\n</0>\r\n<2>\r\ntwo\r\n</2>\r\n"
                             "<2>\r\nRiot\r\nRevolte\r\nEmeute\r\n</2>\r\n</Menu>\r\n"
                             "<InGameMessages>\r\n<0>\r\nM\xe4nner\r\n</0>\r\n</InGameMessages>\r\n"
                             "</LANGUAGE>\r\n";

class CLocaleTest : public EngineFrameworkTest
{
protected:
    // Font pictures are read through the current image converter.
    void SetUp() override
    {
        EngineFrameworkTest::SetUp();
        NiImageConverter::SetCurrent(new NiImageFileConverter);
    }
    void TearDown() override
    {
        NiImageConverter::ReleaseCurrent();
        EngineFrameworkTest::TearDown();
    }
};

TEST_F(CLocaleTest, EntriesInTheLanguageOrTheTextThatSaysWhy)
{
    WriteFileBytes("language.xml", LANGUAGE);
    RecordingLocale kLocale;
    kLocale.SetLanguage(2);
    ASSERT_TRUE(kLocale.Load());
    ASSERT_EQ(kLocale.GetListCount(), 2u);
    EXPECT_EQ(kLocale.FindList("InGameMessages"), 1);
    EXPECT_EQ(kLocale.FindList("Men"), 0);
    EXPECT_EQ(kLocale.FindList("Options"), -1);
    EXPECT_EQ(kLocale.GetEntryText(0, 0),
              "Missing Language Text. LIST: <Menu>, INDEX:0, LANGUAGE:2, ENGLISH:guard on duty");
    EXPECT_EQ(kLocale.GetEntryText(0, 1), "incorrect tag number. LIST:<Menu>, FOUND:2, WANTED:1, LANGUAGE:2");
    EXPECT_EQ(kLocale.GetEntryText(0, 2), "Emeute");
    EXPECT_EQ(kLocale.GetEntryText(1, 0), "Missing Language Text. LIST: <InGameMessages>, INDEX:0, LANGUAGE:2, "
                                          "ENGLISH:M\xe4nner");

    // A list index equal to the count, an entry past the end: drawn where
    // the text would stand, never centred.
    EXPECT_EQ(kLocale.DrawText(0, 2, 0, 5.0f, 6.0f, CLocale::ALIGN_CENTRE, nullptr), 0);
    EXPECT_EQ(kLocale.DrawText(0, 0, 3, 5.0f, 6.0f, CLocale::ALIGN_CENTRE, nullptr), 0);
    EXPECT_EQ(kLocale.DrawText(0, -1, 0, 5.0f, 6.0f, 0, nullptr), 0);
    EXPECT_EQ(kLocale.m_kDrawn, (std::vector<std::string>{
                                    "0 5,6 Invalid language vector. index 2",
                                    "0 5,6 Text out of range of selected language vector index 0",
                                    "0 5,6 Invalid language vector. index -1"}));
    kLocale.m_kDrawn.clear();
    // Centred on the screen: 5 + 400 - 30.
    EXPECT_EQ(kLocale.DrawText(1, 0, 2, 5.0f, 6.0f, CLocale::ALIGN_CENTRE, nullptr), 0);
    EXPECT_EQ(kLocale.DrawText(1, 0, 2, 5.0f, 6.0f, 0, nullptr), 0);
    const COrvaneWidgetRect kBox{10.0f, 10.0f, 50.0f, 50.0f};
    EXPECT_EQ(kLocale.DrawText(1, 0, 2, 5.0f, 6.0f, CLocale::ALIGN_CENTRE, &kBox), 2);
    EXPECT_EQ(kLocale.m_kDrawn, (std::vector<std::string>{"1 375,6 Emeute", "1 5,6 Emeute", "1 box Emeute"}));

    // Plurals: every number but 1, before the first space or at the end.
    kLocale.SetLanguage(0);
    ASSERT_TRUE(kLocale.Load());
    kLocale.m_kDrawn.clear();
    for (const int iNumber : {0, 1, 2})
        kLocale.DrawNumberedText(iNumber, 4, 0, 0, 0.0f, 0.0f, 0, nullptr);
    kLocale.DrawNumberedText(3, 4, 0, 2, 0.0f, 0.0f, 0, nullptr);
    kLocale.DrawNumberedText(3, 4, 0, 9, 0.0f, 0.0f, 0, nullptr);
    EXPECT_EQ(kLocale.m_kDrawn, (std::vector<std::string>{"4 0,0 0 guards on duty", "4 0,0 1 guard on duty",
                                                          "4 0,0 2 guards on duty", "4 0,0 3 Riots",
                                                          "4 0,0 Text out of range of selected language vector "
                                                          "index 0"}));
    // No fonts: no widths, nothing handed out.
    EXPECT_EQ(kLocale.GetEntryWidth(0, 0, 0), -1);
    EXPECT_EQ(kLocale.GetFont(0), nullptr);
    EXPECT_EQ(kLocale.GetTextObject(0), nullptr);

    // Without the file: no lists.
    std::filesystem::remove("language.xml");
    ASSERT_TRUE(kLocale.Load());
    EXPECT_EQ(kLocale.GetListCount(), 0u);
    EXPECT_EQ(kLocale.GetEntryText(0, 0), "Invalid language vector. index 0");
}

TEST_F(CLocaleTest, FontsThatDoNotLoadKeepTheirPlaceButAreNeverDrawnWith)
{
    WriteFileBytes("language.xml", LANGUAGE);
    const std::string kDemo = ORVANE_DEMO_DATA;
    const std::string kFont = std::filesystem::relative(kDemo + "/fonts/font1.txt").string();
    WriteFileBytes("data.xml", "<FONTS>\r\nmissing.nff\r\n</FONTS>\r\n<SCREENTEXT>\r\nmissing.txt\r\n" + kFont +
                                   "\r\n</SCREENTEXT>\r\n");
    COrvaneTagTree kData;
    ASSERT_TRUE(kData.Load("data.xml"));
    CLocale kLocale;
    ASSERT_TRUE(kLocale.Load());
    ASSERT_TRUE(kLocale.LoadFontsAndScreenText(&kData));
    EXPECT_EQ(kLocale.GetFontCount(), 2u);
    EXPECT_EQ(kLocale.GetTextObjectCount(), 1u);
    EXPECT_EQ(kLocale.GetFont(0), nullptr);
    EXPECT_EQ(kLocale.GetTextObject(0), nullptr);
    // Nothing to draw with: no crash, no width.
    EXPECT_EQ(kLocale.DrawText(0, 0, 2, 0.0f, 0.0f, CLocale::ALIGN_CENTRE, nullptr), 0);
    EXPECT_EQ(kLocale.GetEntryWidth(0, 0, 2), -1);
    // Font 1 keeps its index.
    ASSERT_NE(kLocale.GetFont(1), nullptr);
    EXPECT_EQ(kLocale.GetEntryWidth(1, 0, 2), static_cast<std::int32_t>(kLocale.GetFont(1)->GetTextWidth("Riot")));
    EXPECT_GT(kLocale.GetEntryWidth(1, 0, 2), 0);
    kLocale.ReleaseFontGlyphs();
    EXPECT_EQ(kLocale.GetEntryWidth(7, 0, 2), -1);
}

// The demo data: every entry in every language, and a glyph in every font
// for every byte of them.
TEST_F(CLocaleTest, TheDemoTextsAreWholeInThreeLanguagesAndEveryFontDrawsThem)
{
    const std::string kDemo = ORVANE_DEMO_DATA;
    std::filesystem::copy_file(kDemo + "/language.xml", "language.xml");
    for (std::int32_t iLanguage = 0; iLanguage < 3; ++iLanguage)
    {
        CLocale kLocale;
        kLocale.SetLanguage(iLanguage);
        ASSERT_TRUE(kLocale.Load());
        const std::int16_t sList = kLocale.FindList("InGameMessages");
        ASSERT_GE(sList, 0);
        const CLocale::TextList& kList = *kLocale.GetList(sList);
        ASSERT_EQ(kList.m_kEntries.size(), 84u); // 0-82 and the empty load panel's notice
        for (const std::string& kEntry : kList.m_kEntries)
        {
            EXPECT_FALSE(kEntry.empty());
            EXPECT_EQ(kEntry.find("Missing Language Text"), std::string::npos) << kEntry;
            EXPECT_EQ(kEntry.find("incorrect tag number"), std::string::npos) << kEntry;
        }
        for (int iFont = 0; iFont < 5; ++iFont)
        {
            COrvaneFont kFont;
            ASSERT_TRUE(kFont.Create((kDemo + "/fonts/font" + std::to_string(iFont) + ".txt").c_str(), nullptr));
            for (const std::string& kEntry : kList.m_kEntries)
                for (const char c : kEntry)
                {
                    const COrvaneGlyph* pkGlyph = kFont.GetGlyph(static_cast<std::uint8_t>(c));
                    ASSERT_NE(pkGlyph, nullptr) << iFont << " " << static_cast<int>(static_cast<std::uint8_t>(c));
                    EXPECT_GT(pkGlyph->m_uiWidth, 0u) << iFont << " " << c;
                }
        }
    }
}

// A language names the ending its counted words take for every number but
// 1: German "e" on its word for a prisoner; a language the entry has no
// text for, or an entry that is no ending, keeps "s".
TEST_F(CLocaleTest, ACountTakesTheLanguagesPluralEnding)
{
    WriteFileBytes("language.xml", "<LANGUAGE>\r\n"
                                   "<Counts>\r\n<0>\r\nprisoner today\r\nH\xe4""ftling heute\r\n"
                                   "d\xe9tenu aujourd'hui\r\n</0>\r\n<1>\r\nRiot\r\nRevolte\r\nEmeute\r\n</1>\r\n"
                                   "</Counts>\r\n"
                                   "<PluralEnding>\r\n<0>\r\ns\r\ne\r\n</0>\r\n</PluralEnding>\r\n"
                                   "</LANGUAGE>\r\n");
    const auto Counted = [](std::int32_t iLanguage) {
        RecordingLocale kLocale;
        kLocale.SetLanguage(iLanguage);
        EXPECT_TRUE(kLocale.Load());
        for (const int iNumber : {1, 2, 0})
            kLocale.DrawNumberedText(iNumber, 0, 0, 0, 0.0f, 0.0f, 0, nullptr);
        kLocale.DrawNumberedText(3, 0, 0, 1, 0.0f, 0.0f, 0, nullptr);
        return kLocale.m_kDrawn;
    };
    EXPECT_EQ(Counted(0), (std::vector<std::string>{"0 0,0 1 prisoner today", "0 0,0 2 prisoners today",
                                                    "0 0,0 0 prisoners today", "0 0,0 3 Riots"}));
    EXPECT_EQ(Counted(1), (std::vector<std::string>{"0 0,0 1 H\xe4""ftling heute", "0 0,0 2 H\xe4""ftlinge heute",
                                                    "0 0,0 0 H\xe4""ftlinge heute", "0 0,0 3 Revoltee"}));
    // No French ending: the entry reads "Missing Language Text...".
    EXPECT_EQ(Counted(2), (std::vector<std::string>{"0 0,0 1 d\xe9tenu aujourd'hui", "0 0,0 2 d\xe9tenus aujourd'hui",
                                                    "0 0,0 0 d\xe9tenus aujourd'hui", "0 0,0 3 Emeutes"}));

    // An entry longer than an ending, or holding a space, is none.
    for (const char* pcEnding : {"en en", "ending"})
    {
        WriteFileBytes("language.xml", std::string("<LANGUAGE>\r\n<Counts>\r\n<0>\r\nprisoner today\r\n</0>\r\n"
                                                   "</Counts>\r\n<PluralEnding>\r\n<0>\r\n") +
                                           pcEnding + "\r\n</0>\r\n</PluralEnding>\r\n</LANGUAGE>\r\n");
        RecordingLocale kLocale;
        kLocale.SetLanguage(0);
        ASSERT_TRUE(kLocale.Load());
        EXPECT_EQ(kLocale.PluralEnding(), "s") << pcEnding;
        kLocale.DrawNumberedText(2, 0, 0, 0, 0.0f, 0.0f, 0, nullptr);
        EXPECT_EQ(kLocale.m_kDrawn, std::vector<std::string>{"0 0,0 2 prisoners today"}) << pcEnding;
    }
}

// The demo's day counts read right for one and for more in each language:
// the German ones name a prisoner "H\xe4""ftling" as every other message
// does, and take the German plural.
TEST_F(CLocaleTest, TheDemoDayCountsReadRightForOneAndForMore)
{
    const std::string kDemo = ORVANE_DEMO_DATA;
    std::filesystem::copy_file(kDemo + "/language.xml", "language.xml");
    // Releases, deaths, escapes, other departures, executions, sentences
    // ended.
    constexpr std::int32_t COUNTS[] = {14, 15, 16, 18, 19, 20};
    const std::string FIRST_WORDS[3][2] = {{"prisoner ", "prisoners "},
                                           {"H\xe4""ftling ", "H\xe4""ftlinge "},
                                           {"", ""}};
    for (std::int32_t iLanguage = 0; iLanguage < 3; ++iLanguage)
    {
        RecordingLocale kLocale;
        kLocale.SetLanguage(iLanguage);
        ASSERT_TRUE(kLocale.Load());
        const std::int16_t sList = kLocale.FindList("InGameMessages");
        ASSERT_GE(sList, 0);
        for (const std::int32_t iEntry : COUNTS)
        {
            kLocale.m_kDrawn.clear();
            kLocale.DrawNumberedText(1, 0, sList, iEntry, 0.0f, 0.0f, 0, nullptr);
            kLocale.DrawNumberedText(3, 0, sList, iEntry, 0.0f, 0.0f, 0, nullptr);
            ASSERT_EQ(kLocale.m_kDrawn.size(), 2u);
            const std::string kOne = kLocale.m_kDrawn[0].substr(std::string("0 0,0 ").size());
            const std::string kMore = kLocale.m_kDrawn[1].substr(std::string("0 0,0 ").size());
            SCOPED_TRACE(kOne + " / " + kMore);
            EXPECT_EQ(kOne.find("Knacki"), std::string::npos);
            if (iEntry != 20 || iLanguage == 1)
            {
                EXPECT_EQ(kOne.rfind("1 " + FIRST_WORDS[iLanguage][0], 0), 0u);
                EXPECT_EQ(kMore.rfind("3 " + FIRST_WORDS[iLanguage][1], 0), 0u);
            }
            // The rest reads alike for one and for more.
            const std::size_t uiOne = kOne.find(' ', 2);
            const std::size_t uiMore = kMore.find(' ', 2);
            ASSERT_NE(uiOne, std::string::npos);
            ASSERT_NE(uiMore, std::string::npos);
            EXPECT_EQ(kOne.substr(uiOne), kMore.substr(uiMore));
        }
    }
}
} // namespace
