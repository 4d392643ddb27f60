#include "engine/render/image/NiFontString.h"

#include "engine/render/NiScreenTexture.h"
#include "engine/render/NiSourceTexture.h"
#include "engine/render/image/NiFontWriter.h"
#include "engine/scene/NiTexturingProperty.h"
#include "tests/engine/render/TextureTestSupport.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>

namespace
{
using texture_test::RecordingRenderer;

// A stand-in font: glyphs 8 x 10 texels side by side in one row of a
// 1024 x 16 texture, the space first.
class NiFontStringScreenTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        NiRenderer::ResetRenderer();
        m_uiObjects = NiRefObject::GetTotalObjectCount();
        m_spFont = MakeFont(96);
    }
    void TearDown() override
    {
        m_spFont.Clear();
        NiRenderer::ResetRenderer();
        EXPECT_EQ(NiRefObject::GetTotalObjectCount(), m_uiObjects);
    }

    static NiFontPtr MakeFont(std::uint32_t uiGlyphs)
    {
        static int s_iFile = 0;
        const std::filesystem::path kPath =
            std::filesystem::temp_directory_path() /
            ("ni_fontscreen_" + std::to_string(getpid()) + "_" + std::to_string(++s_iFile) + ".nff");
        NiFontWriter kFile = NiFontWriter::MakeGrid(uiGlyphs, 8, 10);
        kFile.m_uiCharHeight = 16;
        if (!kFile.WriteFile(kPath.string().c_str()))
            return nullptr;
        NiFontPtr spFont = NiFont::Create(nullptr, kPath.string().c_str());
        std::error_code kError;
        std::filesystem::remove(kPath, kError);
        return spFont;
    }

    NiFontStringPtr Make(const char* pcText, std::int16_t sX, std::int16_t sY, std::uint32_t uiFlags = 0)
    {
        return new NiFontString(m_spFont, uiFlags, 0, pcText, NiColorRGBA(1, 0, 0, 0.5f), sX, sY);
    }

    // The texel column of a character's glyph in the stand-in font.
    static std::uint16_t TexLeft(char c) { return static_cast<std::uint16_t>((c - 0x20) * 8); }

    static void ExpectRect(const NiScreenTexture::NiScreenRect& k, std::int16_t sTop, std::int16_t sLeft, char c)
    {
        EXPECT_EQ(k.m_sPixTop, sTop);
        EXPECT_EQ(k.m_sPixLeft, sLeft);
        EXPECT_EQ(k.m_usPixWidth, 8);
        EXPECT_EQ(k.m_usPixHeight, 10);
        EXPECT_EQ(k.m_usTexTop, 0);
        EXPECT_EQ(k.m_usTexLeft, TexLeft(c));
    }

    NiFontPtr m_spFont;
    std::uint32_t m_uiObjects = 0;
};
} // namespace

TEST_F(NiFontStringScreenTest, LinesGoDownFromTheStartColumn)
{
    ASSERT_TRUE(m_spFont);
    ASSERT_EQ(m_spFont->GetTextureWidth(), 1024u);
    NiFontStringPtr sp = Make("AB\nC", 100, 50);
    NiScreenTexture* pkScreen = sp->GetScreenTexture();
    ASSERT_NE(pkScreen, nullptr);
    EXPECT_EQ(pkScreen->GetTexture(), static_cast<NiTexture*>(m_spFont->GetTexture()));
    EXPECT_EQ(pkScreen->GetTexturingProperty()->GetApplyMode(), 2u);
    EXPECT_EQ(pkScreen->GetChangeFlags(), NiScreenTexture::EVERYTHING_MASK);
    ASSERT_EQ(pkScreen->GetNumScreenRects(), 3u);
    ExpectRect(pkScreen->GetScreenRect(0), 50, 100, 'A');
    ExpectRect(pkScreen->GetScreenRect(1), 50, 108, 'B');
    ExpectRect(pkScreen->GetScreenRect(2), 60, 100, 'C');
    // Without the colour flag the text is opaque white.
    EXPECT_EQ(pkScreen->GetScreenRect(0).m_kColor, NiColorRGBA(1, 1, 1, 1));

    NiFontStringPtr spColored = Make("A", 0, 0, NiFontString::COLORED);
    ASSERT_NE(spColored->GetScreenTexture(), nullptr);
    EXPECT_EQ(spColored->GetScreenTexture()->GetScreenRect(0).m_kColor, NiColorRGBA(1, 0, 0, 0.5f));
}

TEST_F(NiFontStringScreenTest, CentringMovesHalfTheBlockUpAndLeft)
{
    // Widest line 24, two lines of 10.
    NiFontStringPtr sp = Make("ab\ncde", 100, 50, NiFontString::CENTERED);
    NiScreenTexture* pkScreen = sp->GetScreenTexture();
    ASSERT_NE(pkScreen, nullptr);
    ASSERT_EQ(pkScreen->GetNumScreenRects(), 5u);
    ExpectRect(pkScreen->GetScreenRect(0), 40, 88, 'a');
    ExpectRect(pkScreen->GetScreenRect(2), 50, 88, 'c');
    ExpectRect(pkScreen->GetScreenRect(4), 50, 104, 'e');
}

TEST_F(NiFontStringScreenTest, CharactersWithoutAGlyphTakeNoRoom)
{
    // Tab, carriage return and a byte from 0x80 on have no glyph here.
    NiFontStringPtr sp = Make("A\tB\rC\x80" "D", 0, 0);
    ASSERT_NE(sp->GetScreenTexture(), nullptr);
    ASSERT_EQ(sp->GetScreenTexture()->GetNumScreenRects(), 4u);
    ExpectRect(sp->GetScreenTexture()->GetScreenRect(3), 0, 24, 'D');

    // A font whose table ends before 'z'.
    m_spFont = MakeFont(40);
    ASSERT_TRUE(m_spFont);
    NiFontStringPtr spShort = Make("AzA", 0, 0);
    ASSERT_NE(spShort->GetScreenTexture(), nullptr);
    ASSERT_EQ(spShort->GetScreenTexture()->GetNumScreenRects(), 2u);
    EXPECT_EQ(spShort->GetScreenTexture()->GetScreenRect(1).m_sPixLeft, 8);
}

TEST_F(NiFontStringScreenTest, RebuildsOnlyAfterAChange)
{
    NiRefPtr<RecordingRenderer> spRenderer = new RecordingRenderer;
    NiFontStringPtr sp = Make("AB", 10, 20);
    NiScreenTexture* pkScreen = sp->GetScreenTexture();
    ASSERT_NE(pkScreen, nullptr);
    pkScreen->ClearChangeFlags();
    sp->Draw(spRenderer);
    sp->Draw(spRenderer);
    EXPECT_EQ(pkScreen->GetChangeFlags(), 0);
    EXPECT_EQ(spRenderer->m_kDrawn, (std::vector<const void*>{pkScreen, pkScreen}));

    sp->SetText("XYZ", NiFontString::KEEP_FLAGS);
    sp->Draw(spRenderer);
    EXPECT_EQ(pkScreen->GetChangeFlags(), NiScreenTexture::EVERYTHING_MASK);
    EXPECT_EQ(pkScreen->GetNumScreenRects(), 3u);
    pkScreen->ClearChangeFlags();
    sp->Draw(spRenderer);
    EXPECT_EQ(pkScreen->GetChangeFlags(), 0);

    sp->SetPosition(10, 20); // the same place: no change
    sp->Draw(spRenderer);
    EXPECT_EQ(pkScreen->GetChangeFlags(), 0);
    sp->SetPosition(30, 20);
    sp->Draw(spRenderer);
    EXPECT_EQ(pkScreen->GetChangeFlags(), NiScreenTexture::EVERYTHING_MASK);
    EXPECT_EQ(pkScreen->GetScreenRect(0).m_sPixLeft, 30);
    pkScreen->ClearChangeFlags();
    sp->Draw(spRenderer);
    sp->Draw(nullptr);
    EXPECT_EQ(pkScreen->GetChangeFlags(), 0);
    EXPECT_EQ(spRenderer->m_kDrawn.size(), 7u);

    sp = nullptr; // the screen texture goes with the string
    EXPECT_EQ(spRenderer->m_kPurged, std::vector<const void*>{pkScreen});
}

TEST_F(NiFontStringScreenTest, NoTextHoldsNoScreenTexture)
{
    NiRefPtr<RecordingRenderer> spRenderer = new RecordingRenderer;
    for (const char* pcText : {static_cast<const char*>(nullptr), ""})
    {
        NiFontStringPtr sp = Make(pcText, 5, 5);
        EXPECT_EQ(sp->GetScreenTexture(), nullptr);
        sp->Draw(spRenderer);
        EXPECT_EQ(sp->GetScreenTexture(), nullptr);
    }
    EXPECT_TRUE(spRenderer->m_kDrawn.empty());

    NiFontStringPtr sp = Make("A", 5, 5);
    ASSERT_NE(sp->GetScreenTexture(), nullptr);
    sp->SetText("", NiFontString::KEEP_FLAGS);
    sp->Draw(spRenderer);
    EXPECT_EQ(sp->GetScreenTexture(), nullptr);
    sp->SetText("BC", NiFontString::KEEP_FLAGS);
    sp->Draw(spRenderer);
    ASSERT_NE(sp->GetScreenTexture(), nullptr);
    EXPECT_EQ(sp->GetScreenTexture()->GetNumScreenRects(), 2u);
    EXPECT_EQ(spRenderer->m_kDrawn.size(), 1u);
}
