#include "engine/render/image/NiFontString.h"

#include "engine/render/NiRenderer.h"
#include "engine/render/image/NiFontWriter.h"
#include "engine/scene/NiStringExtraData.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>

namespace
{
// Glyphs 8 texels wide and 10 high, while the file's character height is
// 16: one-line texts measure 10 high, several lines 16 a line.
class NiFontStringTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        NiRenderer::ResetRenderer();
        m_uiObjects = NiRefObject::GetTotalObjectCount();
        NiFontWriter kFile = NiFontWriter::MakeGrid(96, 8, 10);
        kFile.m_uiCharHeight = 16;
        ASSERT_TRUE(kFile.WriteFile(m_kPath.c_str()));
        m_spFont = NiFont::Create(nullptr, m_kPath.c_str());
        ASSERT_TRUE(m_spFont);
    }
    void TearDown() override
    {
        m_spFont.Clear();
        std::error_code kError;
        std::filesystem::remove(m_kPath, kError);
        EXPECT_EQ(NiRefObject::GetTotalObjectCount(), m_uiObjects);
    }
    NiFontStringPtr Make(const char* pcText, std::uint32_t uiCapacity = 0)
    {
        return new NiFontString(m_spFont, 0, uiCapacity, pcText, NiColorRGBA(1, 0, 0, 1));
    }
    static void ExpectExtent(const NiFontString& k, std::uint32_t uiLines, float fWidth, float fHeight)
    {
        EXPECT_EQ(k.GetLineCount(), uiLines);
        EXPECT_EQ(k.GetWidth(), fWidth);
        EXPECT_EQ(k.GetHeight(), fHeight);
    }

    std::string m_kPath = (std::filesystem::temp_directory_path() / ("ni_fontstr_" + std::to_string(getpid()))).string();
    NiFontPtr m_spFont;
    std::uint32_t m_uiObjects = 0;
};
} // namespace

TEST_F(NiFontStringTest, ExtentOfOneAndSeveralLines)
{
    NiFontStringPtr sp = new NiFontString(m_spFont, NiFontString::CENTERED, 0, "abc", NiColorRGBA(1, 0, 0, 1));
    EXPECT_STREQ(sp->GetTypeInfo()->GetName(), "NiFontString");
    EXPECT_EQ(sp->GetFlags(), NiFontString::CENTERED);
    EXPECT_EQ(sp->GetLength(), 4u);
    EXPECT_EQ(sp->GetColor(), NiColorRGBA(1, 0, 0, 1));
    EXPECT_TRUE(sp->IsModified());
    ExpectExtent(*sp, 1, 24, 10); // the font's own line height, not the character height
    ExpectExtent(*Make("ab\ncde"), 2, 24, 32);
    ExpectExtent(*Make("ab\n"), 2, 16, 32);
    ExpectExtent(*Make(""), 1, 0, 10);
    // A line far longer than any fixed line buffer is measured whole.
    ExpectExtent(*Make(("ab\n" + std::string(1000, 'x') + "\ncd").c_str()), 3, 8000, 48);
    ExpectExtent(*NiFontStringPtr(new NiFontString(nullptr, 0, 0, "ab\nc", NiColorRGBA())), 2, 0, 0);
}

TEST_F(NiFontStringTest, SetTextKeepsFlagsBufferAndExtentAsTheRulesSay)
{
    NiFontStringPtr sp = Make("abcde", 6);
    EXPECT_EQ(sp->GetCapacity(), 6u);
    sp->ClearModified();
    sp->SetText("abcde", 2); // the same text: only the flags change
    EXPECT_EQ(sp->GetFlags(), 2u);
    EXPECT_FALSE(sp->IsModified());

    sp->SetText("vwxyz", NiFontString::KEEP_FLAGS); // n = 6 is not below the capacity
    EXPECT_EQ(sp->GetFlags(), 2u);
    EXPECT_EQ(sp->GetCapacity(), 7u);
    EXPECT_EQ(sp->GetLength(), 6u);
    EXPECT_TRUE(sp->IsModified());
    const char* pcBuffer = sp->GetText();
    sp->SetText("hi", 0);
    EXPECT_EQ(sp->GetText(), pcBuffer) << "copied in place";
    EXPECT_STREQ(sp->GetText(), "hi");
    EXPECT_EQ(sp->GetLength(), 3u);
    ExpectExtent(*sp, 1, 16, 10);
    EXPECT_EQ(Make("ab", 32)->GetCapacity(), 32u);

    sp->ClearModified();
    sp->SetText(nullptr, 1); // a null text clears the string
    EXPECT_EQ(sp->GetText(), nullptr);
    EXPECT_EQ(sp->GetLength(), 0u);
    EXPECT_TRUE(sp->IsModified());
    ExpectExtent(*sp, 0, 0, 0);
    sp->SetText("a", NiFontString::KEEP_FLAGS);
    ExpectExtent(*sp, 1, 8, 10);
}

TEST_F(NiFontStringTest, EveryByteValue)
{
    NiFontStringPtr sp = Make("");
    for (int i = 1; i < 256; ++i)
    {
        SCOPED_TRACE(i);
        const char acText[] = {'a', static_cast<char>(i), 'b', '\0'};
        sp->SetText(acText, NiFontString::KEEP_FLAGS);
        if (i == '\n')
            ExpectExtent(*sp, 2, 8, 32);
        else
            ExpectExtent(*sp, 1, (i >= 0x20 && i < 0x80) ? 24.0f : 16.0f, 10);
    }
}

// The text a scene object carries; the stream's own class, checked here for
// what fonts rely on.
TEST(NiStringExtraDataTest, EqualityCloneAndViewer)
{
    NiRefPtr<NiStringExtraData> spNull = new NiStringExtraData;
    NiRefPtr<NiStringExtraData> spText = new NiStringExtraData("text");
    EXPECT_TRUE(spNull->IsEqual(NiRefPtr<NiStringExtraData>(new NiStringExtraData)));
    EXPECT_FALSE(spNull->IsEqual(spText));
    EXPECT_FALSE(spText->IsEqual(spNull));
    EXPECT_FALSE(spText->IsEqual(nullptr));
    EXPECT_TRUE(spText->IsEqual(NiRefPtr<NiStringExtraData>(new NiStringExtraData("text"))));
    EXPECT_FALSE(spText->IsEqual(NiRefPtr<NiStringExtraData>(new NiStringExtraData("texT"))));

    NiObjectPtr spClone = spText->Clone();
    auto* pkClone = static_cast<NiStringExtraData*>(spClone.Get());
    EXPECT_NE(pkClone->GetValue(), spText->GetValue()) << "a copy of its own";
    spText->SetValue("changed");
    EXPECT_STREQ(pkClone->GetValue(), "text");

    NiViewerStringArray kStrings;
    spText->AppendViewerStrings(kStrings);
    ASSERT_GT(kStrings.GetSize(), 0u);
    EXPECT_STREQ(kStrings.GetAt(kStrings.GetSize() - 1), "m_pString = changed");
    for (std::uint32_t i = 0; i < kStrings.GetSize(); ++i)
        delete[] kStrings.GetAt(i);
}
