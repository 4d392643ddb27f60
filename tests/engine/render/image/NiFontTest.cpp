#include "engine/render/image/NiFont.h"

#include "engine/core/NiFile.h"
#include "engine/core/NiRefObject.h"
#include "engine/render/NiRenderer.h"
#include "engine/render/NiSourceTexture.h"
#include "engine/render/image/NiFontWriter.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
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
        static int s_iFolder = 0;
        m_kFolder = std::filesystem::temp_directory_path() /
                    ("ni_fonts_" + std::to_string(getpid()) + "_" + std::to_string(++s_iFolder));
        std::filesystem::create_directories(m_kFolder);
        m_uiObjects = NiRefObject::GetTotalObjectCount();
    }
    void TearDown() override
    {
        NiRenderer::ResetRenderer();
        std::error_code kError;
        std::filesystem::remove_all(m_kFolder, kError);
        EXPECT_EQ(NiRefObject::GetTotalObjectCount(), m_uiObjects) << "every font and texture went";
    }

    std::string WriteBytes(const std::vector<std::uint8_t>& kBytes, const std::string& kName = "font.nff")
    {
        const std::string kPath = (m_kFolder / kName).string();
        std::ofstream kOut(kPath, std::ios::binary | std::ios::trunc);
        kOut.write(reinterpret_cast<const char*>(kBytes.data()), static_cast<std::streamsize>(kBytes.size()));
        return kPath;
    }

    // Loads the bytes into a fresh font; the font is kept for its error.
    bool Load(const std::vector<std::uint8_t>& kBytes, NiFontPtr& spFont)
    {
        spFont = new NiFont(nullptr);
        return spFont->Load(WriteBytes(kBytes).c_str());
    }

    std::filesystem::path m_kFolder;
    std::uint32_t m_uiObjects = 0;
};

// 96 glyphs (every printable character) 8 texels wide on a 16-texel row.
NiFontWriter PrintableFont()
{
    return NiFontWriter::MakeGrid(96, 8, 16);
}
} // namespace

TEST_F(NiFontTest, LoadsWhatTheWriterWrites)
{
    NiFontWriter kFile = PrintableFont();
    kFile.m_uiHeight = 18;
    kFile.m_uiCharHeight = 16;
    kFile.m_uiFlags = 5;
    kFile.m_fTextureScale = 0.5f;
    kFile.m_kPixels[0] = 0x12; // something to find in the texture
    ASSERT_TRUE(kFile.WriteFile((m_kFolder / "sans.nff").string().c_str()));

    NiFontPtr spFont = NiFont::Create(nullptr, (m_kFolder / "sans.nff").string().c_str());
    ASSERT_TRUE(spFont);
    EXPECT_EQ(spFont->GetLastError(), NiFont::ERROR_NONE);
    EXPECT_STREQ(spFont->GetTypeInfo()->GetName(), "NiFont");
    EXPECT_EQ(spFont->GetHeight(), 18u);
    EXPECT_EQ(spFont->GetCharHeight(), 16u);
    EXPECT_EQ(spFont->GetFlags(), 5u);
    EXPECT_EQ(spFont->GetGlyphCount(), 96);
    ASSERT_EQ(spFont->GetCharTable().size(), 96u);
    EXPECT_EQ(spFont->GetCharTable()[33], 'A');
    EXPECT_EQ(spFont->GetTextureWidth(), 1024u) << "96 x 8 texels padded to a power of two";
    EXPECT_EQ(spFont->GetTextureHeight(), 16u);
    EXPECT_EQ(spFont->GetTextureScale(), 0.5f);

    // The pixels went into the texture, and the font let them go.
    EXPECT_EQ(spFont->GetPixelData(), nullptr);
    NiSourceTexture* pkTexture = spFont->GetTexture();
    ASSERT_NE(pkTexture, nullptr);
    NiPixelData* pkImage = pkTexture->GetSourcePixelData();
    ASSERT_NE(pkImage, nullptr);
    EXPECT_EQ(pkImage->GetPixelFormat(), NiPixelFormat::RGBA32);
    EXPECT_EQ(pkImage->GetWidth(), 1024u);
    EXPECT_EQ(pkImage->GetHeight(), 16u);
    EXPECT_EQ(pkImage->GetNumMipmapLevels(), 1u);
    EXPECT_EQ(pkImage->GetPixels()[0], 0x12);
    EXPECT_EQ(pkImage->GetPixels()[1], 0xFF);
    const NiTexture::FormatPrefs& kPrefs = pkTexture->GetFormatPreferences();
    EXPECT_EQ(kPrefs.m_ePixelLayout, 6u);
    EXPECT_EQ(kPrefs.m_eMipMapped, 2u);
    EXPECT_EQ(kPrefs.m_eAlphaFmt, 3u);

    const NiFont::Glyph* pkA = spFont->GetGlyph('A');
    ASSERT_NE(pkA, nullptr);
    EXPECT_FLOAT_EQ(pkA->m_fLeft, 33.0f * 8 / 1024);
    EXPECT_FLOAT_EQ(pkA->m_fRight, 34.0f * 8 / 1024);
    float fWidth = 0;
    float fHeight = 0;
    spFont->GetCharExtent('A', fWidth, fHeight);
    EXPECT_FLOAT_EQ(fWidth, 8.0f);
    EXPECT_FLOAT_EQ(fHeight, 16.0f);
}

TEST_F(NiFontTest, VersionsAndRefusals)
{
    NiFontWriter kOld = NiFontWriter::MakeGrid(2, 1, 1);
    kOld.m_uiVersion = 0; // 128 bytes follow its version word
    kOld.m_uiCharHeight = 7;
    NiFontPtr spFont;
    EXPECT_TRUE(Load(kOld.ToBytes(), spFont));
    EXPECT_EQ(spFont->GetCharHeight(), 7u);

    NiFontWriter kNew = NiFontWriter::MakeGrid(2, 1, 1);
    kNew.m_uiVersion = 2;
    EXPECT_FALSE(Load(kNew.ToBytes(), spFont));
    EXPECT_EQ(spFont->GetLastError(), NiFont::ERROR_VERSION);
    EXPECT_EQ(spFont->GetLastError(), 0x80000002u);

    std::vector<std::uint8_t> kBytes = NiFontWriter::MakeGrid(2, 1, 1).ToBytes();
    kBytes[3] = 1; // the magic's last byte
    EXPECT_FALSE(Load(kBytes, spFont));
    EXPECT_EQ(spFont->GetLastError(), 0x80000001u);

    spFont = new NiFont(nullptr);
    EXPECT_FALSE(spFont->Load((m_kFolder / "missing.nff").string().c_str()));
    EXPECT_EQ(spFont->GetLastError(), 0x80000001u);
    EXPECT_FALSE(spFont->Load(nullptr));
    EXPECT_EQ(NiFont::Create(nullptr, (m_kFolder / "missing.nff").string().c_str()), nullptr);
}

TEST_F(NiFontTest, TruncatedAtEveryLengthFails)
{
    for (std::uint32_t uiVersion : {0u, 1u})
    {
        NiFontWriter kFile = NiFontWriter::MakeGrid(3, 2, 2);
        kFile.m_uiVersion = uiVersion;
        const std::vector<std::uint8_t> kBytes = kFile.ToBytes();
        NiFontPtr spFont;
        ASSERT_TRUE(Load(kBytes, spFont));
        for (std::size_t n = 0; n < kBytes.size(); ++n)
        {
            SCOPED_TRACE(n);
            EXPECT_FALSE(Load({kBytes.begin(), kBytes.begin() + static_cast<std::ptrdiff_t>(n)}, spFont));
            EXPECT_EQ(spFont->GetLastError(), n < 4 ? 0x80000001u : 0x80000003u);
            EXPECT_EQ(spFont->GetTexture(), nullptr);
        }
    }
}

TEST_F(NiFontTest, HostileCountsAndSizesAreRefused)
{
    struct Case
    {
        const char* m_pcName;
        void (*m_pfnDamage)(NiFontWriter&);
    };
    const Case akCases[] = {
        {"glyph count -1", [](NiFontWriter& k) { k.m_bOverrideGlyphCount = true, k.m_iGlyphCount = -1; }},
        {"glyph count past the file",
         [](NiFontWriter& k) { k.m_bOverrideGlyphCount = true, k.m_iGlyphCount = 0x7FFFFFFF; }},
        {"glyph count one too many", [](NiFontWriter& k) { k.m_bOverrideGlyphCount = true, k.m_iGlyphCount = 5; }},
        {"a x b x c short of the image",
         [](NiFontWriter& k) { k.m_auiPixelSize[0] = 8, k.m_auiPixelSize[1] = 2, k.m_auiPixelSize[2] = 16; }},
        {"a x b x c past the image",
         [](NiFontWriter& k) { k.m_auiPixelSize[0] = 8, k.m_auiPixelSize[1] = 2, k.m_auiPixelSize[2] = 64; }},
        {"a x b x c overflowing 64 bits",
         [](NiFontWriter& k) {
             k.m_auiPixelSize[0] = 0xFFFFFFFF, k.m_auiPixelSize[1] = 0xFFFFFFFF, k.m_auiPixelSize[2] = 0xFFFFFFFF;
         }},
        {"a zero size word", [](NiFontWriter& k) { k.m_auiPixelSize[0] = 0, k.m_auiPixelSize[1] = 16; }},
        {"texture width 0", [](NiFontWriter& k) { k.m_uiTextureWidth = 0; }},
        {"texture side beyond 16384",
         [](NiFontWriter& k) {
             k.m_uiTextureWidth = 16385, k.m_uiTextureHeight = 1;
             k.m_auiPixelSize[0] = 16385, k.m_auiPixelSize[1] = 1, k.m_auiPixelSize[2] = 32;
         }},
        {"a huge texture the file does not hold",
         [](NiFontWriter& k) {
             k.m_uiTextureWidth = 16384, k.m_uiTextureHeight = 16384;
             k.m_auiPixelSize[0] = 16384, k.m_auiPixelSize[1] = 16384, k.m_auiPixelSize[2] = 32;
         }},
    };
    for (const Case& kCase : akCases)
    {
        SCOPED_TRACE(kCase.m_pcName);
        NiFontWriter kFile = NiFontWriter::MakeGrid(4, 2, 2); // 8 x 2 texels, 64 bytes
        kCase.m_pfnDamage(kFile);
        NiFontPtr spFont;
        EXPECT_FALSE(Load(kFile.ToBytes(), spFont));
        EXPECT_EQ(spFont->GetLastError(), 0x80000003u);
        EXPECT_EQ(spFont->GetTexture(), nullptr);
    }

    // The same sizes spelt another way (16 x 2 x 32 bits) are one image.
    NiFontWriter kOther = NiFontWriter::MakeGrid(4, 2, 2);
    kOther.m_auiPixelSize[0] = 16, kOther.m_auiPixelSize[1] = 2, kOther.m_auiPixelSize[2] = 16;
    NiFontPtr spFont;
    EXPECT_TRUE(Load(kOther.ToBytes(), spFont));
}

TEST_F(NiFontTest, GlyphsOnlyForThePrintableCharactersTheFileHas)
{
    NiFontPtr spFull;
    ASSERT_TRUE(Load(PrintableFont().ToBytes(), spFull));
    NiFontPtr spShort;
    ASSERT_TRUE(Load(NiFontWriter::MakeGrid(10, 8, 16).ToBytes(), spShort)); // space to ')'
    for (int i = 0; i < 256; ++i)
    {
        SCOPED_TRACE(i);
        const char c = static_cast<char>(i);
        EXPECT_EQ(spFull->GetGlyph(c) != nullptr, i >= 0x20 && i < 0x80);
        EXPECT_EQ(spShort->GetGlyph(c) != nullptr, i >= 0x20 && i < 0x2A);

        // Each byte alone, and between two letters.
        const char acText[] = {c, '\0'};
        const char acMiddle[] = {'a', c, 'b', '\0'};
        float fWidth = -1;
        float fHeight = -1;
        spShort->GetTextExtent(acText, fWidth, fHeight);
        EXPECT_EQ(fWidth, (i >= 0x20 && i < 0x2A) ? 8.0f : 0.0f);
        EXPECT_EQ(fHeight, i == '\n' ? 32.0f : 16.0f);
        spFull->GetTextExtent(acMiddle, fWidth, fHeight);
        float fExpected = (i >= 0x20 && i < 0x80) ? 24.0f : 16.0f;
        if (i == '\n' || i == 0)
            fExpected = 8.0f; // a line of its own; the text ends at the zero
        EXPECT_EQ(fWidth, fExpected);
        spFull->GetCharExtent(c, fWidth, fHeight);
        EXPECT_EQ(fWidth, (i >= 0x20 && i < 0x80) ? 8.0f : 0.0f);
        EXPECT_EQ(fHeight, 16.0f);
    }
}

TEST_F(NiFontTest, TextExtentCountsLinesAndTheWidestLine)
{
    NiFontPtr spFont;
    ASSERT_TRUE(Load(PrintableFont().ToBytes(), spFont));
    float fWidth = -1;
    float fHeight = -1;
    spFont->GetTextExtent("", fWidth, fHeight);
    EXPECT_EQ(fWidth, 0.0f);
    EXPECT_EQ(fHeight, 16.0f) << "an empty text is one line high";
    spFont->GetTextExtent("ab\nc", fWidth, fHeight);
    EXPECT_EQ(fWidth, 16.0f);
    EXPECT_EQ(fHeight, 32.0f);
    spFont->GetTextExtent("a\nbcd\n", fWidth, fHeight);
    EXPECT_EQ(fWidth, 24.0f);
    EXPECT_EQ(fHeight, 48.0f);
    spFont->GetTextExtent("abcdef", 2, fWidth, fHeight);
    EXPECT_EQ(fWidth, 16.0f) << "only the given length";

    // Without glyphs a font has no line height.
    NiFontWriter kEmpty = NiFontWriter::MakeGrid(0, 8, 16);
    NiFontPtr spEmpty;
    ASSERT_TRUE(Load(kEmpty.ToBytes(), spEmpty));
    spEmpty->GetTextExtent("abc\nd", fWidth, fHeight);
    EXPECT_EQ(fWidth, 0.0f);
    EXPECT_EQ(fHeight, 0.0f);
    EXPECT_EQ(spEmpty->GetGlyph(' '), nullptr);
}

TEST_F(NiFontTest, ViewerStrings)
{
    NiFontWriter kFile = NiFontWriter::MakeGrid(2, 4, 2);
    kFile.m_uiHeight = 3;
    kFile.m_uiCharHeight = 2;
    kFile.m_uiFlags = 1;
    kFile.m_fTextureScale = 1.5f;
    NiFontPtr spFont;
    ASSERT_TRUE(Load(kFile.ToBytes(), spFont));
    NiViewerStringArray kStrings;
    spFont->AppendViewerStrings(kStrings);
    std::vector<std::string> kLines;
    for (std::uint32_t i = 0; i < kStrings.GetSize(); ++i)
    {
        kLines.emplace_back(kStrings.GetAt(i));
        delete[] kStrings.GetAt(i);
    }
    const std::vector<std::string> kExpected = {"--- NiFont ---",         "m_uiHeight = 3",
                                                "m_uiCharHeight = 2",     "m_uiFlags = 1",
                                                "m_iGlyphCount = 2",      "m_uiTextureWidth = 8",
                                                "m_uiTextureHeight = 2",  "m_fTextureScale = 1.5"};
    EXPECT_EQ(kLines, kExpected);
}
