#include "engine/render/image/NiFont.h"

#include "engine/render/NiRenderer.h"
#include "engine/render/NiSourceTexture.h"
#include "engine/render/image/NiFontWriter.h"
#include "tests/engine/render/TextureTestSupport.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace
{
class NiFontTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        NiRenderer::ResetRenderer();
        m_uiObjects = NiRefObject::GetTotalObjectCount();
    }
    void TearDown() override
    {
        std::error_code kError;
        std::filesystem::remove(m_kPath, kError);
        EXPECT_EQ(NiRefObject::GetTotalObjectCount(), m_uiObjects) << "every font and texture went";
    }
    // Loads the bytes into a fresh font, kept for its error code.
    bool Load(const std::vector<std::uint8_t>& kBytes, NiFontPtr& spFont)
    {
        std::ofstream(m_kPath, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(kBytes.data()), static_cast<std::streamsize>(kBytes.size()));
        spFont = new NiFont(nullptr);
        return spFont->Load(m_kPath.c_str());
    }

    std::string m_kPath = (std::filesystem::temp_directory_path() / ("ni_font_" + std::to_string(getpid()))).string();
    std::uint32_t m_uiObjects = 0;
};
} // namespace

TEST_F(NiFontTest, LoadsWhatTheWriterWrites)
{
    NiFontWriter kFile = NiFontWriter::MakeGrid(96, 8, 16); // every printable character
    kFile.m_uiHeight = 18;
    kFile.m_uiFlags = 5;
    kFile.m_fTextureScale = 0.5f;
    kFile.m_kPixels[0] = 0x12;
    ASSERT_TRUE(kFile.WriteFile(m_kPath.c_str()));
    NiFontPtr spFont = NiFont::Create(nullptr, m_kPath.c_str());
    ASSERT_TRUE(spFont);
    EXPECT_STREQ(spFont->GetTypeInfo()->GetName(), "NiFont");
    EXPECT_EQ(spFont->GetHeight(), 18u);
    EXPECT_EQ(spFont->GetCharHeight(), 16u);
    EXPECT_EQ(spFont->GetFlags(), 5u);
    EXPECT_EQ(spFont->GetGlyphCount(), 96);
    EXPECT_EQ(spFont->GetCharTable().at(33), 'A');
    EXPECT_EQ(spFont->GetTextureWidth(), 1024u) << "96 x 8 texels padded to a power of two";
    EXPECT_EQ(spFont->GetTextureScale(), 0.5f);
    EXPECT_FLOAT_EQ(spFont->GetGlyph('A')->m_fLeft, 33.0f * 8 / 1024);

    // The pixels went into a texture of the default preferences; the font
    // let them go.
    EXPECT_EQ(spFont->GetPixelData(), nullptr);
    ASSERT_NE(spFont->GetTexture(), nullptr);
    NiPixelData* pkImage = spFont->GetTexture()->GetSourcePixelData();
    ASSERT_NE(pkImage, nullptr);
    EXPECT_EQ(pkImage->GetPixelFormat(), NiPixelFormat::RGBA32);
    EXPECT_EQ(pkImage->GetWidth(), 1024u);
    EXPECT_EQ(pkImage->GetPixels()[0], 0x12);
    EXPECT_EQ(spFont->GetTexture()->GetFormatPreferences(), NiTexture::FormatPrefs());

    NiViewerStringArray kStrings;
    spFont->AppendViewerStrings(kStrings);
    std::vector<std::string> kLines;
    for (std::uint32_t i = 0; i < kStrings.GetSize(); ++i)
    {
        kLines.emplace_back(kStrings.GetAt(i));
        delete[] kStrings.GetAt(i);
    }
    EXPECT_EQ(kLines, (std::vector<std::string>{"--- NiFont ---", "m_uiHeight = 18", "m_uiCharHeight = 16",
                                                "m_uiFlags = 5", "m_iGlyphCount = 96", "m_uiTextureWidth = 1024",
                                                "m_uiTextureHeight = 16", "m_fTextureScale = 0.5"}));
}

TEST_F(NiFontTest, TheTextureIsPrecachedByTheCurrentRenderer)
{
    ASSERT_TRUE(NiFontWriter::MakeGrid(4, 2, 2).WriteFile(m_kPath.c_str()));
    NiRefPtr<texture_test::RecordingRenderer> spRenderer = new texture_test::RecordingRenderer;
    NiFontPtr spFont = NiFont::Create(spRenderer, m_kPath.c_str());
    ASSERT_TRUE(spFont);
    EXPECT_EQ(spFont->GetRenderer(), spRenderer.Get());
    EXPECT_EQ(spRenderer->m_kPrecached, (std::vector<const void*>{spFont->GetTexture()}));
    EXPECT_EQ(spFont->GetPixelData(), nullptr);

    spRenderer->m_bRefuse = true;
    const std::uint32_t uiLive = NiRefObject::GetTotalObjectCount();
    EXPECT_EQ(NiFont::Create(spRenderer, m_kPath.c_str()), nullptr) << "a refused texture fails the font";
    EXPECT_EQ(NiRefObject::GetTotalObjectCount(), uiLive) << "the font, its image and texture are gone";
    EXPECT_EQ(spRenderer->m_kPrecached.size(), 2u);
}

TEST_F(NiFontTest, VersionsMagicAndMissingFiles)
{
    NiFontWriter kOld = NiFontWriter::MakeGrid(2, 1, 1);
    kOld.m_uiVersion = 0; // 128 bytes follow its version word
    kOld.m_uiCharHeight = 7;
    NiFontPtr spFont;
    EXPECT_TRUE(Load(kOld.ToBytes(), spFont));
    EXPECT_EQ(spFont->GetCharHeight(), 7u);

    kOld.m_uiVersion = 2;
    EXPECT_FALSE(Load(kOld.ToBytes(), spFont));
    EXPECT_EQ(spFont->GetLastError(), 0x80000002u);
    std::vector<std::uint8_t> kBytes = NiFontWriter::MakeGrid(2, 1, 1).ToBytes();
    kBytes[3] = 1;
    EXPECT_FALSE(Load(kBytes, spFont));
    EXPECT_EQ(spFont->GetLastError(), 0x80000001u);
    EXPECT_FALSE(spFont->Load("/nonexistent/font.nff"));
    EXPECT_EQ(spFont->GetLastError(), 0x80000001u);
    EXPECT_EQ(NiFont::Create(nullptr, "/nonexistent/font.nff"), nullptr);
}

TEST_F(NiFontTest, TruncatedAtEveryLengthFails)
{
    for (std::uint32_t uiVersion : {0u, 1u})
    {
        NiFontWriter kFile = NiFontWriter::MakeGrid(3, 2, 2);
        kFile.m_uiVersion = uiVersion;
        const std::vector<std::uint8_t> kBytes = kFile.ToBytes();
        for (std::size_t n = 0; n < kBytes.size(); ++n)
        {
            SCOPED_TRACE(n);
            NiFontPtr spFont;
            EXPECT_FALSE(Load({kBytes.begin(), kBytes.begin() + static_cast<std::ptrdiff_t>(n)}, spFont));
            EXPECT_EQ(spFont->GetLastError(), n < 4 ? 0x80000001u : 0x80000003u);
            EXPECT_EQ(spFont->GetTexture(), nullptr);
        }
    }
}

TEST_F(NiFontTest, HostileCountsAndSizesAreRefused)
{
    using Damage = void (*)(NiFontWriter&);
    const Damage apfnDamage[] = {
        [](NiFontWriter& k) { k.m_bOverrideGlyphCount = true, k.m_iGlyphCount = -1; },
        [](NiFontWriter& k) { k.m_bOverrideGlyphCount = true, k.m_iGlyphCount = 0x7FFFFFFF; },
        [](NiFontWriter& k) { k.m_bOverrideGlyphCount = true, k.m_iGlyphCount = 5; },
        [](NiFontWriter& k) { k.m_auiPixelSize[0] = 8, k.m_auiPixelSize[1] = 2, k.m_auiPixelSize[2] = 16; },
        [](NiFontWriter& k) { k.m_auiPixelSize[0] = 8, k.m_auiPixelSize[1] = 2, k.m_auiPixelSize[2] = 64; },
        [](NiFontWriter& k) { k.m_auiPixelSize[0] = k.m_auiPixelSize[1] = k.m_auiPixelSize[2] = 0xFFFFFFFF; },
        [](NiFontWriter& k) { k.m_auiPixelSize[1] = 16; }, // a zero size word
        [](NiFontWriter& k) { k.m_uiTextureWidth = 0; },
        [](NiFontWriter& k) { k.m_uiTextureWidth = 16385, k.m_uiTextureHeight = 1; },
        // Sizes that agree, for pixels the file does not hold.
        [](NiFontWriter& k) { k.m_uiTextureWidth = k.m_uiTextureHeight = 16384; },
    };
    for (std::size_t i = 0; i < std::size(apfnDamage); ++i)
    {
        SCOPED_TRACE(i);
        NiFontWriter kFile = NiFontWriter::MakeGrid(4, 2, 2); // 8 x 2 texels
        apfnDamage[i](kFile);
        NiFontPtr spFont;
        EXPECT_FALSE(Load(kFile.ToBytes(), spFont));
        EXPECT_EQ(spFont->GetLastError(), 0x80000003u);
        EXPECT_EQ(spFont->GetTexture(), nullptr);
    }
    // 16 x 2 x 32 bits spell the same 8 x 2 image another way.
    NiFontWriter kOther = NiFontWriter::MakeGrid(4, 2, 2);
    kOther.m_auiPixelSize[0] = 16, kOther.m_auiPixelSize[1] = 2, kOther.m_auiPixelSize[2] = 16;
    NiFontPtr spFont;
    EXPECT_TRUE(Load(kOther.ToBytes(), spFont));
}

TEST_F(NiFontTest, GlyphsAndExtentsForEveryByte)
{
    NiFontPtr spFull;
    ASSERT_TRUE(Load(NiFontWriter::MakeGrid(96, 8, 16).ToBytes(), spFull));
    NiFontPtr spShort;
    ASSERT_TRUE(Load(NiFontWriter::MakeGrid(10, 8, 16).ToBytes(), spShort)); // space to ')'
    for (int i = 0; i < 256; ++i)
    {
        SCOPED_TRACE(i);
        const char c = static_cast<char>(i);
        const bool bPrintable = i >= 0x20 && i < 0x80;
        EXPECT_EQ(spFull->GetGlyph(c) != nullptr, bPrintable);
        EXPECT_EQ(spShort->GetGlyph(c) != nullptr, i >= 0x20 && i < 0x2A);
        float fWidth = -1;
        float fHeight = -1;
        const char acMiddle[] = {'a', c, 'b', '\0'};
        spFull->GetTextExtent(acMiddle, fWidth, fHeight);
        const float fExpected = (i == '\n' || i == 0) ? 8.0f : (bPrintable ? 24.0f : 16.0f);
        EXPECT_EQ(fWidth, fExpected);
        EXPECT_EQ(fHeight, i == '\n' ? 32.0f : 16.0f);
        spShort->GetCharExtent(c, fWidth, fHeight);
        EXPECT_EQ(fWidth, (i >= 0x20 && i < 0x2A) ? 8.0f : 0.0f);
        EXPECT_EQ(fHeight, 16.0f);
    }
    float fWidth = -1;
    float fHeight = -1;
    spFull->GetTextExtent("", fWidth, fHeight);
    EXPECT_EQ(fWidth, 0.0f);
    EXPECT_EQ(fHeight, 16.0f) << "an empty text is one line high";
    spFull->GetTextExtent("a\nbcd\n", fWidth, fHeight);
    EXPECT_EQ(fWidth, 24.0f);
    EXPECT_EQ(fHeight, 48.0f);
    spFull->GetTextExtent("abcdef", 2, fWidth, fHeight);
    EXPECT_EQ(fWidth, 16.0f) << "only the given length";

    NiFontPtr spEmpty;
    ASSERT_TRUE(Load(NiFontWriter::MakeGrid(0, 8, 16).ToBytes(), spEmpty));
    spEmpty->GetTextExtent("abc\nd", fWidth, fHeight);
    EXPECT_EQ(fHeight, 0.0f) << "no glyphs, no line height";
}
