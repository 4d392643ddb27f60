#include "engine/render/image/NiFontString.h"

#include "engine/core/NiMemoryStream.h"
#include "engine/core/NiRefObject.h"
#include "engine/render/NiRenderer.h"
#include "engine/render/image/NiFontWriter.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>

namespace
{
// Glyphs 8 texels wide on a 10-texel row, while the file's character height
// is 16: one-line texts measure 10 high, several lines 16 a line.
class NiFontStringTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        NiRenderer::ResetRenderer();
        m_uiObjects = NiRefObject::GetTotalObjectCount();
        static int s_iFile = 0;
        m_kPath = std::filesystem::temp_directory_path() /
                  ("ni_fontstring_" + std::to_string(getpid()) + "_" + std::to_string(++s_iFile) + ".nff");
        NiFontWriter kFile = NiFontWriter::MakeGrid(96, 8, 10);
        kFile.m_uiCharHeight = 16;
        ASSERT_TRUE(kFile.WriteFile(m_kPath.string().c_str()));
        m_spFont = NiFont::Create(nullptr, m_kPath.string().c_str());
        ASSERT_TRUE(m_spFont);
    }
    void TearDown() override
    {
        m_spFont.Clear();
        std::error_code kError;
        std::filesystem::remove(m_kPath, kError);
        EXPECT_EQ(NiRefObject::GetTotalObjectCount(), m_uiObjects);
    }

    NiFontStringPtr Make(const char* pcText, std::uint32_t uiCapacity = 0, std::uint32_t uiFlags = 0)
    {
        return new NiFontString(m_spFont, uiFlags, uiCapacity, pcText, NiColorRGBA(1, 0, 0, 1));
    }
    static void ExpectExtent(const NiFontString& k, std::uint32_t uiLines, float fWidth, float fHeight)
    {
        EXPECT_EQ(k.GetLineCount(), uiLines);
        EXPECT_EQ(k.GetWidth(), fWidth);
        EXPECT_EQ(k.GetHeight(), fHeight);
    }

    std::filesystem::path m_kPath;
    NiFontPtr m_spFont;
    std::uint32_t m_uiObjects = 0;
};
} // namespace

TEST_F(NiFontStringTest, ConstructionMeasuresTheText)
{
    NiFontStringPtr sp = Make("abc", 0, NiFontString::CENTERED);
    EXPECT_STREQ(sp->GetTypeInfo()->GetName(), "NiFontString");
    EXPECT_EQ(sp->GetFont(), m_spFont.Get());
    EXPECT_EQ(sp->GetFlags(), NiFontString::CENTERED);
    EXPECT_STREQ(sp->GetText(), "abc");
    EXPECT_EQ(sp->GetLength(), 4u);
    EXPECT_EQ(sp->GetCapacity(), 4u);
    EXPECT_EQ(sp->GetColor(), NiColorRGBA(1, 0, 0, 1));
    EXPECT_TRUE(sp->IsModified());
    ExpectExtent(*sp, 1, 24, 10); // the font's own line height, not the character height
}

TEST_F(NiFontStringTest, SeveralLinesCountTheCharacterHeightPerLine)
{
    ExpectExtent(*Make("ab\ncde"), 2, 24, 32);
    ExpectExtent(*Make("ab\n"), 2, 16, 32);
    ExpectExtent(*Make("\n\n"), 3, 0, 48);
    ExpectExtent(*Make(""), 1, 0, 10);

    // A line far longer than any fixed line buffer is measured whole.
    const std::string kText = "ab\n" + std::string(1000, 'x') + "\ncd";
    ExpectExtent(*Make(kText.c_str()), 3, 8000, 48);
    const std::string kLast = "ab\ncd\n" + std::string(1000, 'x');
    ExpectExtent(*Make(kLast.c_str()), 3, 8000, 48);
}

TEST_F(NiFontStringTest, SameTextChangesOnlyTheFlags)
{
    NiFontStringPtr sp = Make("abc");
    sp->ClearModified();
    const char* pcBuffer = sp->GetText();
    sp->SetText("abc", 2);
    EXPECT_EQ(sp->GetFlags(), 2u);
    EXPECT_FALSE(sp->IsModified());
    EXPECT_EQ(sp->GetText(), pcBuffer);
    ExpectExtent(*sp, 1, 24, 10);

    sp->SetText("ab", NiFontString::KEEP_FLAGS);
    EXPECT_EQ(sp->GetFlags(), 2u) << "0xFFFFFFFF keeps the flags";
    EXPECT_TRUE(sp->IsModified());
    ExpectExtent(*sp, 1, 16, 10);
}

TEST_F(NiFontStringTest, BufferGrowsOnlyWhenTheTextDoesNotFit)
{
    NiFontStringPtr sp = Make("abcde", 6);
    EXPECT_EQ(sp->GetCapacity(), 6u);
    EXPECT_EQ(sp->GetLength(), 6u);

    // n = 6 is not below the capacity: a new buffer of n + 1 bytes.
    sp->SetText("vwxyz", 0);
    EXPECT_EQ(sp->GetCapacity(), 7u);
    EXPECT_EQ(sp->GetLength(), 6u);
    EXPECT_STREQ(sp->GetText(), "vwxyz");
    const char* pcBuffer = sp->GetText();

    sp->ClearModified();
    sp->SetText("hi", 0);
    EXPECT_EQ(sp->GetText(), pcBuffer) << "copied in place";
    EXPECT_EQ(sp->GetCapacity(), 7u);
    EXPECT_EQ(sp->GetLength(), 3u);
    EXPECT_STREQ(sp->GetText(), "hi");
    EXPECT_TRUE(sp->IsModified());

    // A larger first capacity is kept for the first text.
    EXPECT_EQ(Make("ab", 32)->GetCapacity(), 32u);
}

TEST_F(NiFontStringTest, NullTextClearsTheString)
{
    NiFontStringPtr sp = Make("ab\ncd");
    sp->ClearModified();
    sp->SetText(nullptr, 1);
    EXPECT_EQ(sp->GetText(), nullptr);
    EXPECT_EQ(sp->GetLength(), 0u);
    EXPECT_EQ(sp->GetFlags(), 1u);
    EXPECT_TRUE(sp->IsModified());
    ExpectExtent(*sp, 0, 0, 0);
    sp->ComputeTextExtent();
    ExpectExtent(*sp, 0, 0, 0);

    NiFontStringPtr spNone = Make(nullptr);
    EXPECT_EQ(spNone->GetText(), nullptr);
    spNone->SetText("a", NiFontString::KEEP_FLAGS);
    EXPECT_STREQ(spNone->GetText(), "a");
    ExpectExtent(*spNone, 1, 8, 10);
}

TEST_F(NiFontStringTest, EveryByteValue)
{
    NiFontStringPtr sp = Make("");
    for (int i = 1; i < 256; ++i)
    {
        SCOPED_TRACE(i);
        const char acText[] = {'a', static_cast<char>(i), 'b', '\0'};
        sp->SetText(acText, NiFontString::KEEP_FLAGS);
        EXPECT_EQ(sp->GetLength(), 4u);
        if (i == '\n')
        {
            ExpectExtent(*sp, 2, 8, 32);
        }
        else
        {
            ExpectExtent(*sp, 1, (i >= 0x20 && i < 0x80) ? 24.0f : 16.0f, 10);
        }
    }
}

TEST_F(NiFontStringTest, WithoutAFontNothingIsMeasured)
{
    NiFontStringPtr sp = new NiFontString(nullptr, 0, 0, "ab\nc", NiColorRGBA());
    ExpectExtent(*sp, 2, 0, 0);
}
