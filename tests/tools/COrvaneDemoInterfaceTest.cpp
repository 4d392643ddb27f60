#include "tools/COrvaneDemoInterface.h"

#include "engine/render/image/NiFont.h"
#include "engine/render/image/NiImageFileConverter.h"
#include "framework/COrvaneCanvas.h"
#include "framework/COrvaneFont.h"
#include "framework/COrvaneImageTexture.h"
#include "framework/COrvaneWidget.h"
#include "platform/text/TextRaster.h"
#include "tests/tools/DemoTestSupport.h"
#include "tools/COrvaneDemoText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

namespace
{
class COrvaneDemoInterfaceTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_kFolder = demotest::MakeTempFolder("demo-ui");
        ASSERT_FALSE(m_kFolder.empty());
        m_kPrevious = std::filesystem::current_path();
        NiImageConverter::SetCurrent(new NiImageFileConverter);
        ASSERT_TRUE(WriteDemoInterface(m_kFolder.string()));
        std::filesystem::current_path(m_kFolder);
    }

    void TearDown() override
    {
        NiImageConverter::ReleaseCurrent();
        std::error_code kError;
        std::filesystem::current_path(m_kPrevious, kError);
        demotest::RemoveFolder(m_kFolder);
    }

    std::filesystem::path m_kFolder;
    std::filesystem::path m_kPrevious;
};
} // namespace

TEST_F(COrvaneDemoInterfaceTest, TheDemoPanelLaysOutWithTwoHotAreasAndTwoOverlays)
{
    COrvaneCanvas kPanel;
    kPanel.Create("images/demo/panel.tga", 100.0f, 100.0f, false);
    ASSERT_EQ(kPanel.GetWidgetCount(), 3);
    EXPECT_EQ(kPanel.GetWidget(0)->GetRect().m_fWidth, 256.0f);
    EXPECT_STREQ(kPanel.GetWidget(1)->GetName(), "images/demo/panel1_s.tga");
    EXPECT_EQ(kPanel.GetWidget(1)->GetRect().m_fX, 20.0f);
    EXPECT_EQ(kPanel.GetWidget(2)->GetRect().m_fX, 140.0f);
    EXPECT_EQ(kPanel.GetWidget(2)->GetRect().m_fWidth, 80.0f);
    ASSERT_EQ(kPanel.GetHotAreaCount(), 2);
    EXPECT_EQ(kPanel.GetHotArea(0)->GetRect().m_fY, 30.0f);
    EXPECT_EQ(kPanel.GetHotArea(1)->GetRect().m_fX, 140.0f);
    EXPECT_EQ(kPanel.GetHotArea(1)->GetRect().m_fWidth, 80.0f);
    EXPECT_EQ(kPanel.GetHotArea(1)->GetRect().m_fHeight, 40.0f);
    // The overlays are translucent, never fully transparent: hit all over.
    const NiVec2 kInside(150.0f, 40.0f);
    EXPECT_TRUE(kPanel.GetWidget(2)->HitTest(&kInside));

    COrvaneCanvas kRow;
    kRow.Create("images/demo/row.tga", 0.0f, 0.0f, false);
    ASSERT_EQ(kRow.GetWidgetCount(), 3);
    EXPECT_EQ(kRow.GetWidget(1)->GetRect().m_fX, 64.0f);
    EXPECT_EQ(kRow.GetWidget(2)->GetRect().m_fX, 96.0f);
}

TEST_F(COrvaneDemoInterfaceTest, TheDemoFontsHaveTheirGlyphs)
{
    COrvaneFont kFont;
    ASSERT_TRUE(kFont.Create("fonts/demo.txt", nullptr));
    ASSERT_NE(kFont.GetTexture(), nullptr);
    EXPECT_EQ(kFont.GetCellHeight(), 8u);
    for (const char* pcText : {"ABCDEFGHIJKLMNOPQRSTUVWXYZ", "abcdefghijklmnopqrstuvwxyz", "0123456789", " .,:!?-*"})
    {
        SCOPED_TRACE(pcText);
        for (const char* pc = pcText; *pc != '\0'; ++pc)
        {
            const COrvaneGlyph* pkGlyph = kFont.GetGlyph(static_cast<std::uint8_t>(*pc));
            ASSERT_NE(pkGlyph, nullptr) << *pc;
            EXPECT_EQ(pkGlyph->m_uiWidth, 6u);
            EXPECT_EQ(pkGlyph->m_uiHeight, 8u);
        }
    }
    EXPECT_EQ(kFont.GetTextWidth("Hello, cell 7!"), 14u * 6u);

    NiFontPtr spEngineFont = NiFont::Create(nullptr, "fonts/demo.nff");
    ASSERT_NE(spEngineFont, nullptr);
    EXPECT_EQ(spEngineFont->GetGlyphCount(), 96);
    float fWidth = 0.0f;
    float fHeight = 0.0f;
    spEngineFont->GetCharExtent('A', fWidth, fHeight);
    EXPECT_GT(fWidth, 0.0f);

    COrvaneImageTexture kCursor;
    COrvaneWidgetRect kRect;
    CWidgetDesc kDesc;
    ASSERT_TRUE(kCursor.Load(kDesc, kRect, "cursor.tga"));
    EXPECT_EQ(kRect.m_fWidth, 16.0f);
    const NiVec2 kTip(0.5f, 0.5f);
    const NiVec2 kCorner(15.0f, 0.5f);
    EXPECT_TRUE(kCursor.HitTest(&kTip, kRect));
    EXPECT_FALSE(kCursor.HitTest(&kCorner, kRect));
}

// The panels' icons come from the font's symbols beyond Latin-1: a symbol
// the font has is drawn; one it lacks leaves an empty picture; a Latin-1
// letter is the same picture either way.
TEST(COrvaneDemoSymbolTest, SymbolsBeyondLatinOneDrawAndMissingOnesStayEmpty)
{
    std::vector<text::GlyphPicture> kSymbols;
    std::string kError;
    ASSERT_TRUE(text::RenderSymbols(DEMO_TRUETYPE, 20, u"\u2692\uE000A", kSymbols, kError)) << kError;
    ASSERT_EQ(kSymbols.size(), 3u);
    const auto Covered = [](const text::GlyphPicture& kPicture) {
        return std::count_if(kPicture.coverage.begin(), kPicture.coverage.end(), [](std::uint8_t uc) { return uc > 128; });
    };
    EXPECT_GT(Covered(kSymbols[0]), 20);
    EXPECT_EQ(kSymbols[1].width, 0u);
    EXPECT_EQ(Covered(kSymbols[1]), 0);
    std::vector<text::GlyphPicture> kLetters;
    ASSERT_TRUE(text::RenderGlyphs(DEMO_TRUETYPE, 20, "A", kLetters, kError)) << kError;
    ASSERT_EQ(kLetters.size(), 1u);
    EXPECT_EQ(kLetters[0].coverage, kSymbols[2].coverage);
    EXPECT_EQ(kLetters[0].character, 'A');
}
