#include "engine/render/image/NiImageFileConverter.h"

#include "engine/core/NiFile.h"
#include "engine/core/NiMemoryStream.h"
#include "engine/core/NiObjectStream.h"
#include "engine/render/NiPalette.h"
#include "engine/render/NiPixelData.h"
#include "engine/render/image/NiBMPReader.h"
#include "engine/render/image/NiDDSReader.h"
#include "engine/render/image/NiNIFImageReader.h"
#include "engine/render/image/NiSGIReader.h"
#include "engine/render/image/NiTGAReader.h"
#include "tests/engine/render/image/ImageFileWriters.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <unistd.h>

namespace
{
NiPixelDataPtr Image(std::uint32_t w, std::uint32_t h, const NiPixelFormat& kFormat, const Bytes& kPixels,
                     std::uint32_t uiLevels = 1)
{
    NiPixelDataPtr spImage = new NiPixelData(w, h, kFormat, uiLevels);
    std::copy(kPixels.begin(), kPixels.end(), spImage->GetPixels());
    return spImage;
}

NiPalettePtr Palette(bool bAlpha, std::initializer_list<NiPalette::PaletteEntry> kEntries)
{
    std::vector<NiPalette::PaletteEntry> k(kEntries);
    return new NiPalette(bAlpha, static_cast<std::uint32_t>(k.size()), k.data());
}

class NiImageFileConverterTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        NiImageConverter::ReleaseCurrent();
        NiSetOpenFileFunction(nullptr);
        static int s_iFolder = 0;
        m_kFolder = std::filesystem::temp_directory_path() /
                    ("image_converter_" + std::to_string(getpid()) + "_" + std::to_string(++s_iFolder));
        std::filesystem::create_directories(m_kFolder);
    }
    void TearDown() override
    {
        NiSetOpenFileFunction(nullptr);
        NiImageConverter::ReleaseCurrent();
        std::error_code kError;
        std::filesystem::remove_all(m_kFolder, kError);
    }
    std::string Write(const std::string& kName, const Bytes& kBytes)
    {
        const std::string kPath = (m_kFolder / kName).string();
        std::ofstream kOut(kPath, std::ios::binary);
        kOut.write(reinterpret_cast<const char*>(kBytes.data()), static_cast<std::streamsize>(kBytes.size()));
        return kPath;
    }

    std::filesystem::path m_kFolder;
    NiImageFileConverter m_kConverter;
};

TgaHeader Tga(std::uint16_t w, std::uint16_t h, std::uint8_t ucDepth)
{
    TgaHeader t;
    t.usWidth = w;
    t.usHeight = h;
    t.ucDepth = ucDepth;
    return t;
}
} // namespace

TEST_F(NiImageFileConverterTest, WideningShiftsWithoutReplication)
{
    // A1R5G5B5 red 31, green 1, blue 0, alpha 1.
    const std::uint16_t us = 0x8000 | (31 << 10) | (1 << 5);
    NiPixelDataPtr spSrc = Image(1, 1, NiPixelFormat::A1R5G5B5, {static_cast<std::uint8_t>(us), static_cast<std::uint8_t>(us >> 8)});
    NiPixelDataPtr spDest = new NiPixelData(1, 1, NiPixelFormat::RGBA32);
    ASSERT_TRUE(m_kConverter.ConvertPixelDataInto(*spDest, *spSrc, -1));
    EXPECT_EQ(PixelBytes(*spDest), (Bytes{248, 8, 0, 128}));

    // R5G6B5 white: no alpha channel, so opaque; the pair is still refused
    // by the capability test.
    spSrc = Image(1, 1, NiPixelFormat::R5G6B5, {0xFF, 0xFF});
    ASSERT_TRUE(m_kConverter.ConvertPixelDataInto(*spDest, *spSrc, -1));
    EXPECT_EQ(PixelBytes(*spDest), (Bytes{248, 252, 248, 255}));
    EXPECT_FALSE(m_kConverter.CanConvertPixelData(NiPixelFormat::R5G6B5, NiPixelFormat::RGBA32));

    NiPixelDataPtr spRgb = new NiPixelData(1, 1, NiPixelFormat::RGB24);
    ASSERT_TRUE(m_kConverter.ConvertPixelDataInto(*spRgb, *spSrc, -1));
    EXPECT_EQ(PixelBytes(*spRgb), (Bytes{248, 252, 248}));
}

TEST_F(NiImageFileConverterTest, NarrowingTruncates)
{
    NiPixelDataPtr spSrc = Image(1, 1, NiPixelFormat::RGB24, {200, 100, 50});
    NiPixelDataPtr spDest = m_kConverter.ConvertPixelData(*spSrc, NiPixelFormat::R5G6B5, nullptr, false);
    ASSERT_TRUE(spDest);
    EXPECT_EQ(PixelBytes(*spDest), (Bytes{0x26, 0xCB}));

    // A destination alpha channel is filled with ones.
    spDest = m_kConverter.ConvertPixelData(*spSrc, NiPixelFormat::A4R4G4B4, nullptr, false);
    ASSERT_TRUE(spDest);
    EXPECT_EQ(PixelBytes(*spDest), (Bytes{0x63, 0xFC}));

    spDest = m_kConverter.ConvertPixelData(*spSrc, NiPixelFormat::A8R8G8B8, nullptr, false);
    ASSERT_TRUE(spDest);
    EXPECT_EQ(PixelBytes(*spDest), (Bytes{50, 100, 200, 255}));

    const NiPixelFormat kBgr24(0xFF0000, 0xFF00, 0xFF, 0, 24);
    spDest = m_kConverter.ConvertPixelData(*spSrc, kBgr24, nullptr, false);
    ASSERT_TRUE(spDest);
    EXPECT_EQ(PixelBytes(*spDest), (Bytes{50, 100, 200}));

    // Other 24-bit layouts are no destination; nor is a compressed one.
    EXPECT_FALSE(m_kConverter.ConvertPixelData(*spSrc, NiPixelFormat(0xFF, 0xFF0000, 0xFF00, 0, 24), nullptr, false));
    EXPECT_FALSE(m_kConverter.ConvertPixelData(*spSrc, NiPixelFormat::DXT1, nullptr, false));
}

TEST_F(NiImageFileConverterTest, OtherSourceLayouts)
{
    // 24 bits, blue first, into the working formats.
    NiPixelDataPtr spBgr = Image(1, 1, NiPixelFormat(0xFF0000, 0xFF00, 0xFF, 0, 24), {1, 2, 3});
    NiPixelDataPtr spDest = new NiPixelData(1, 1, NiPixelFormat::RGBA32);
    ASSERT_TRUE(m_kConverter.ConvertPixelDataInto(*spDest, *spBgr, -1));
    EXPECT_EQ(PixelBytes(*spDest), (Bytes{3, 2, 1, 255}));

    // A 24-bit source whose green is not the middle byte cannot be read.
    NiPixelDataPtr spOdd = Image(1, 1, NiPixelFormat(0xFF0000, 0xFF, 0xFF00, 0, 24), {1, 2, 3});
    EXPECT_FALSE(m_kConverter.ConvertPixelDataInto(*spDest, *spOdd, -1));

    // 32-bit A8R8G8B8 into RGB24 and RGBA32.
    NiPixelDataPtr spArgb = Image(1, 1, NiPixelFormat::A8R8G8B8, {1, 2, 3, 4});
    ASSERT_TRUE(m_kConverter.ConvertPixelDataInto(*spDest, *spArgb, -1));
    EXPECT_EQ(PixelBytes(*spDest), (Bytes{3, 2, 1, 4}));

    // The two 1-5-5-5 layouts swap red and blue.
    const std::uint16_t us = 0x8000 | (3 << 10) | (7 << 5) | 9;
    NiPixelDataPtr spA = Image(1, 1, NiPixelFormat::A1R5G5B5, {static_cast<std::uint8_t>(us), static_cast<std::uint8_t>(us >> 8)});
    ASSERT_TRUE(m_kConverter.CanConvertPixelData(NiPixelFormat::A1R5G5B5, NiPixelFormat::A1B5G5R5));
    NiPixelDataPtr spB = m_kConverter.ConvertPixelData(*spA, NiPixelFormat::A1B5G5R5, nullptr, false);
    ASSERT_TRUE(spB);
    const std::uint16_t usB = 0x8000 | (9 << 10) | (7 << 5) | 3;
    EXPECT_EQ(PixelBytes(*spB), (Bytes{static_cast<std::uint8_t>(usB), static_cast<std::uint8_t>(usB >> 8)}));

    // Bump to bump: luminance all ones from a two-channel source.
    NiPixelDataPtr spBump = Image(1, 1, NiPixelFormat::BUMP16, {5, 250});
    NiPixelDataPtr spLuma = new NiPixelData(1, 1, NiPixelFormat::BUMPLUMA32);
    ASSERT_TRUE(m_kConverter.ConvertPixelDataInto(*spLuma, *spBump, -1));
    EXPECT_EQ(PixelBytes(*spLuma), (Bytes{5, 250, 255, 0}));
}

TEST_F(NiImageFileConverterTest, PaletteSources)
{
    NiPixelDataPtr spPal8 = Image(3, 1, NiPixelFormat::PAL8, {0, 1, 7});
    EXPECT_FALSE(m_kConverter.ConvertPixelData(*spPal8, NiPixelFormat::RGBA32, nullptr, false));
    spPal8->SetPalette(Palette(false, {{10, 20, 30, 0}, {40, 50, 60, 7}}));
    NiPixelDataPtr spDest = m_kConverter.ConvertPixelData(*spPal8, NiPixelFormat::RGBA32, nullptr, false);
    ASSERT_TRUE(spDest);
    // Index 7 lies past the palette: an all-zero entry, made opaque.
    EXPECT_EQ(PixelBytes(*spDest), (Bytes{10, 20, 30, 255, 40, 50, 60, 255, 0, 0, 0, 255}));

    spDest = m_kConverter.ConvertPixelData(*spPal8, NiPixelFormat::R5G6B5, nullptr, false);
    ASSERT_TRUE(spDest);
    EXPECT_EQ(NiGetLE16(spDest->GetPixels()), ((10 >> 3) << 11) | ((20 >> 2) << 5) | (30 >> 3));

    NiPixelDataPtr spPala8 = Image(2, 1, NiPixelFormat::PALA8, {1, 0});
    spPala8->SetPalette(Palette(true, {{1, 2, 3, 4}, {5, 6, 7, 8}}));
    spDest = m_kConverter.ConvertPixelData(*spPala8, NiPixelFormat::RGBA32, nullptr, false);
    ASSERT_TRUE(spDest);
    EXPECT_EQ(PixelBytes(*spDest), (Bytes{5, 6, 7, 8, 1, 2, 3, 4}));
    spDest = m_kConverter.ConvertPixelData(*spPala8, NiPixelFormat::RGB24, nullptr, false);
    ASSERT_TRUE(spDest);
    EXPECT_EQ(PixelBytes(*spDest), (Bytes{5, 6, 7, 1, 2, 3}));

    // 4-bit indices, high nibble first; an odd pixel count misses its last
    // nibble, which reads as index 0.
    NiPixelDataPtr spPal4 = Image(3, 1, NiPixelFormat::PAL4, {0x12});
    spPal4->SetPalette(Palette(false, {{9, 9, 9, 9}, {1, 1, 1, 1}, {2, 2, 2, 2}}));
    spDest = m_kConverter.ConvertPixelData(*spPal4, NiPixelFormat::RGB24, nullptr, false);
    ASSERT_TRUE(spDest);
    EXPECT_EQ(PixelBytes(*spDest), (Bytes{1, 1, 1, 2, 2, 2, 9, 9, 9}));
    EXPECT_FALSE(m_kConverter.ConvertPixelData(*spPal4, NiPixelFormat::R5G6B5, nullptr, false));
}

TEST_F(NiImageFileConverterTest, PaletteKindChanges)
{
    NiPixelDataPtr spPal8 = Image(2, 1, NiPixelFormat::PAL8, {1, 0});
    spPal8->SetPalette(Palette(false, {{1, 2, 3, 0}, {4, 5, 6, 9}}));
    NiPixelDataPtr spAlpha = m_kConverter.ConvertPixelData(*spPal8, NiPixelFormat::PALA8, nullptr, false);
    ASSERT_TRUE(spAlpha);
    EXPECT_EQ(PixelBytes(*spAlpha), (Bytes{1, 0}));
    ASSERT_NE(spAlpha->GetPalette(), spPal8->GetPalette());
    EXPECT_TRUE(spAlpha->GetPalette()->GetHasAlpha());
    EXPECT_EQ(spAlpha->GetPalette()->GetEntry(0), (NiPalette::PaletteEntry{1, 2, 3, 255}));
    EXPECT_EQ(spAlpha->GetPalette()->GetEntry(1), (NiPalette::PaletteEntry{4, 5, 6, 255}));

    NiPixelDataPtr spBack = m_kConverter.ConvertPixelData(*spAlpha, NiPixelFormat::PAL8, nullptr, false);
    ASSERT_TRUE(spBack);
    EXPECT_FALSE(spBack->GetPalette()->GetHasAlpha());
    EXPECT_EQ(spBack->GetPalette()->GetNumEntries(), 256u);
    EXPECT_EQ(spBack->GetPalette()->GetEntry(1), (NiPalette::PaletteEntry{4, 5, 6, 255}));
    EXPECT_EQ(spBack->GetPalette()->GetEntry(2), (NiPalette::PaletteEntry{}));

    NiPixelDataPtr spPala4 = Image(2, 1, NiPixelFormat::PALA4, {0x10});
    spPala4->SetPalette(Palette(true, {{1, 1, 1, 1}}));
    NiPixelDataPtr spPal4 = m_kConverter.ConvertPixelData(*spPala4, NiPixelFormat::PAL4, nullptr, false);
    ASSERT_TRUE(spPal4);
    EXPECT_EQ(spPal4->GetPalette()->GetNumEntries(), 16u);
    EXPECT_FALSE(m_kConverter.CanConvertPixelData(NiPixelFormat::PAL4, NiPixelFormat::PAL8));
}

TEST_F(NiImageFileConverterTest, CapabilityTable)
{
    struct Case
    {
        const NiPixelFormat& kSrc;
        NiPixelFormat kDest;
        bool bCan;
    };
    const Case akCases[] = {
        {NiPixelFormat::RGB24, NiPixelFormat::RGB24, true},
        {NiPixelFormat::RGB24, NiPixelFormat::DXT1, false},
        {NiPixelFormat::RGB24, NiPixelFormat::R5G6B5, true},
        {NiPixelFormat::RGB24, NiPixelFormat::BUMP16, true},
        {NiPixelFormat::DXT5, NiPixelFormat::A4R4G4B4, true},
        {NiPixelFormat::PAL4, NiPixelFormat::R5G6B5, false},
        {NiPixelFormat::PAL4, NiPixelFormat::RGBA32, true},
        {NiPixelFormat::PAL8, NiPixelFormat::R5G6B5, true},
        {NiPixelFormat::PAL8, NiPixelFormat::BUMP16, false},
        {NiPixelFormat::BUMP16, NiPixelFormat::BUMPLUMA32, true},
        {NiPixelFormat::BUMP16, NiPixelFormat::RGBA32, false},
        {NiPixelFormat::A1B5G5R5, NiPixelFormat::A1R5G5B5, true},
        {NiPixelFormat::A1B5G5R5, NiPixelFormat::RGBA32, false},
        {NiPixelFormat::A8R8G8B8, NiPixelFormat::RGBA32, false},
        {NiPixelFormat::RGBA32, NiPixelFormat(0xFF, 0xFF00, 0xFF0000, 0, 24), true},
    };
    for (const Case& c : akCases)
        EXPECT_EQ(m_kConverter.CanConvertPixelData(c.kSrc, c.kDest), c.bCan)
            << c.kSrc.GetDescriptor() << " -> " << c.kDest.GetDescriptor();
}

TEST_F(NiImageFileConverterTest, BlockDecoding)
{
    // c0 red, c1 blue, row 0 indices 0, 1, 2, 3 (lowest bits leftmost).
    Bytes kBlock = {0x00, 0xF8, 0x1F, 0x00, 0xE4, 0x00, 0x00, 0x00};
    NiPixelDataPtr spDxt = Image(4, 4, NiPixelFormat::DXT1, kBlock);
    NiPixelDataPtr spRgba = m_kConverter.ConvertPixelData(*spDxt, NiPixelFormat::RGBA32, nullptr, false);
    ASSERT_TRUE(spRgba);
    Bytes kRow0(spRgba->GetPixels(), spRgba->GetPixels() + 16);
    EXPECT_EQ(kRow0, (Bytes{248, 0, 0, 255, 0, 0, 248, 255, 165, 0, 82, 255, 82, 0, 165, 255}));
    EXPECT_EQ(Bytes(spRgba->GetPixels() + 16, spRgba->GetPixels() + 20), (Bytes{248, 0, 0, 255}));

    // c0 <= c1: three colours and a transparent fourth.
    kBlock = {0x1F, 0x00, 0x00, 0xF8, 0xE4, 0, 0, 0};
    spRgba = m_kConverter.ConvertPixelData(*Image(4, 4, NiPixelFormat::DXT1, kBlock), NiPixelFormat::RGBA32, nullptr, false);
    ASSERT_TRUE(spRgba);
    EXPECT_EQ(Bytes(spRgba->GetPixels() + 8, spRgba->GetPixels() + 16), (Bytes{124, 0, 124, 255, 124, 0, 124, 0}));

    // DXT3: explicit alpha n x 17, low nibble first; colours always opaque
    // four-colour even with c0 <= c1.
    Bytes kDxt3 = {0x10, 0xFF, 0, 0, 0, 0, 0, 0, 0x1F, 0x00, 0x00, 0xF8, 0xE4, 0, 0, 0};
    spRgba = m_kConverter.ConvertPixelData(*Image(4, 4, NiPixelFormat::DXT3, kDxt3), NiPixelFormat::RGBA32, nullptr, false);
    ASSERT_TRUE(spRgba);
    const std::uint8_t* p = spRgba->GetPixels();
    EXPECT_EQ(p[3], 0);
    EXPECT_EQ(p[7], 17);
    EXPECT_EQ(p[11], 255);
    EXPECT_EQ(p[15], 255);
    EXPECT_EQ(Bytes(p + 8, p + 11), (Bytes{82, 0, 165}));

    // DXT5 both alpha modes; indices 2..7 in pixels 0..5.
    std::uint64_t uiIndices = 0;
    for (int i = 0; i < 6; ++i)
        uiIndices |= static_cast<std::uint64_t>(i + 2) << (3 * i);
    Bytes kDxt5 = {255, 0};
    for (int i = 0; i < 6; ++i)
        kDxt5.push_back(static_cast<std::uint8_t>(uiIndices >> (8 * i)));
    Append(kDxt5, {0, 0, 0, 0, 0, 0, 0, 0});
    spRgba = m_kConverter.ConvertPixelData(*Image(4, 4, NiPixelFormat::DXT5, kDxt5), NiPixelFormat::RGBA32, nullptr, false);
    ASSERT_TRUE(spRgba);
    Bytes kAlpha;
    for (int i = 0; i < 6; ++i)
        kAlpha.push_back(spRgba->GetPixels()[4 * i + 3]);
    EXPECT_EQ(kAlpha, (Bytes{218, 182, 145, 109, 72, 36}));
    kDxt5[0] = 0;
    kDxt5[1] = 255;
    spRgba = m_kConverter.ConvertPixelData(*Image(4, 4, NiPixelFormat::DXT5, kDxt5), NiPixelFormat::RGBA32, nullptr, false);
    ASSERT_TRUE(spRgba);
    kAlpha.clear();
    for (int i = 0; i < 6; ++i)
        kAlpha.push_back(spRgba->GetPixels()[4 * i + 3]);
    EXPECT_EQ(kAlpha, (Bytes{51, 102, 153, 204, 0, 255}));
}

TEST_F(NiImageFileConverterTest, EdgeBlocksAreClipped)
{
    // 5 x 2: two blocks across; the second gives one column. 2 x 1 chain
    // below it uses a corner of one block.
    Bytes kBlocks = {0x00, 0xF8, 0x1F, 0x00, 0x00, 0x00, 0, 0, /**/ 0x1F, 0x00, 0x00, 0xF8, 0x00, 0x00, 0, 0,
                     /**/ 0x00, 0xF8, 0x00, 0xF8, 0, 0, 0, 0};
    NiPixelDataPtr spDxt = Image(5, 2, NiPixelFormat::DXT1, kBlocks, 2);
    ASSERT_EQ(spDxt->GetTotalSizeInBytes(), 24u);
    NiPixelDataPtr spRgba = m_kConverter.ConvertPixelData(*spDxt, NiPixelFormat::RGBA32, nullptr, false);
    ASSERT_TRUE(spRgba);
    ASSERT_EQ(spRgba->GetNumMipmapLevels(), 2u);
    EXPECT_EQ(spRgba->GetSizeInBytes(0), 40u);
    EXPECT_EQ(Bytes(spRgba->GetPixels() + 16, spRgba->GetPixels() + 20), (Bytes{0, 0, 248, 255}));
    EXPECT_EQ(Bytes(spRgba->GetPixels() + 36, spRgba->GetPixels() + 40), (Bytes{0, 0, 248, 255}));
    EXPECT_EQ(PixelBytes(*spRgba, 1), (Bytes{248, 0, 0, 255, 248, 0, 0, 255}));
}

TEST_F(NiImageFileConverterTest, GenerateMipmapsAverages)
{
    NiPixelDataPtr spRow = Image(4, 1, NiPixelFormat::RGB24, {10, 20, 30, 11, 21, 31, 100, 0, 255, 201, 1, 0});
    NiPixelDataPtr spChain = m_kConverter.GenerateMipmaps(*spRow, nullptr);
    ASSERT_TRUE(spChain);
    ASSERT_EQ(spChain->GetNumMipmapLevels(), 3u);
    EXPECT_EQ(PixelBytes(*spChain, 1), (Bytes{10, 20, 30, 150, 0, 127}));
    EXPECT_EQ(PixelBytes(*spChain, 2), (Bytes{80, 10, 78}));

    NiPixelDataPtr spSquare = Image(2, 2, NiPixelFormat::RGBA32, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 17});
    spChain = m_kConverter.GenerateMipmaps(*spSquare, nullptr);
    ASSERT_TRUE(spChain);
    EXPECT_EQ(PixelBytes(*spChain, 1), (Bytes{7, 8, 9, 10}));

    // A tall column averages vertically.
    spChain = m_kConverter.GenerateMipmaps(*Image(1, 2, NiPixelFormat::RGB24, {0, 0, 0, 3, 5, 7}), nullptr);
    ASSERT_TRUE(spChain);
    EXPECT_EQ(PixelBytes(*spChain, 1), (Bytes{1, 2, 3}));

    EXPECT_FALSE(m_kConverter.GenerateMipmaps(*Image(2, 2, NiPixelFormat::R5G6B5, Bytes(8, 0)), nullptr));
    EXPECT_TRUE(m_kConverter.CanGenerateMipmaps(NiPixelFormat::PALA4));
    EXPECT_FALSE(m_kConverter.CanGenerateMipmaps(NiPixelFormat::DXT1));

    // Asked for through a conversion: a palette image grows a chain.
    NiPixelDataPtr spPal = Image(2, 2, NiPixelFormat::PAL8, {0, 0, 1, 1});
    spPal->SetPalette(Palette(false, {{0, 0, 0, 0}, {100, 50, 2, 0}}));
    NiPixelDataPtr spMipped = m_kConverter.ConvertPixelData(*spPal, NiPixelFormat::RGBA32, nullptr, true);
    ASSERT_TRUE(spMipped);
    ASSERT_EQ(spMipped->GetNumMipmapLevels(), 2u);
    EXPECT_EQ(PixelBytes(*spMipped, 1), (Bytes{50, 25, 1, 255}));
}

TEST_F(NiImageFileConverterTest, BumpMapsFromHeights)
{
    // Heights (red) 10, 30, 25 over 0, 100, 5.
    NiPixelDataPtr spHeights =
        Image(3, 2, NiPixelFormat::RGB24, {10, 0, 0, 30, 0, 0, 25, 0, 0, 0, 0, 0, 100, 0, 0, 5, 0, 0});
    NiPixelDataPtr spBump = m_kConverter.ConvertToBumpMap(*spHeights, NiPixelFormat::BUMP16);
    ASSERT_TRUE(spBump);
    EXPECT_EQ(spBump->GetPixelFormat(), NiPixelFormat::BUMP16);
    const auto Low = [](int v) { return static_cast<std::uint8_t>(v & 0xFF); };
    EXPECT_EQ(PixelBytes(*spBump), (Bytes{Low(20), Low(-10), Low(-5), Low(70), Low(-5), Low(-20),
                                          Low(100), Low(-10), Low(-95), Low(70), Low(-95), Low(-20)}));

    spBump = m_kConverter.ConvertToBumpMap(*Image(1, 1, NiPixelFormat::RGBA32, {9, 1, 2, 77}), NiPixelFormat::BUMP16);
    ASSERT_TRUE(spBump);
    EXPECT_EQ(spBump->GetPixelFormat(), NiPixelFormat::BUMPLUMA32);
    EXPECT_EQ(PixelBytes(*spBump), (Bytes{0, 0, 77, 9}));

    spBump = m_kConverter.ConvertToBumpMap(*Image(1, 1, NiPixelFormat::RGB24, {9, 1, 2}), NiPixelFormat::BUMPLUMA32);
    ASSERT_TRUE(spBump);
    EXPECT_EQ(PixelBytes(*spBump), (Bytes{0, 0, 255, 9}));
    EXPECT_FALSE(m_kConverter.ConvertToBumpMap(*Image(1, 1, NiPixelFormat::R5G6B5, {0, 0}), NiPixelFormat::BUMP16));

    // Through a conversion to a bump layout.
    NiPixelDataPtr spConverted = m_kConverter.ConvertPixelData(*spHeights, NiPixelFormat::BUMPLUMA32, nullptr, false);
    ASSERT_TRUE(spConverted);
    EXPECT_EQ(spConverted->GetPixels()[0], 20);
    EXPECT_EQ(spConverted->GetPixels()[2], 255);
}

TEST_F(NiImageFileConverterTest, ReuseObjects)
{
    NiPixelDataPtr spSrc = Image(1, 1, NiPixelFormat::RGB24, {1, 2, 3});
    NiPixelDataPtr spReuse = new NiPixelData(1, 1, NiPixelFormat::RGBA32);
    EXPECT_EQ(m_kConverter.ConvertPixelData(*spSrc, NiPixelFormat::RGBA32, spReuse, false).Get(), spReuse.Get());
    EXPECT_EQ(PixelBytes(*spReuse), (Bytes{1, 2, 3, 255}));
    EXPECT_EQ(m_kConverter.ConvertPixelData(*spSrc, NiPixelFormat::RGB24, spSrc, false).Get(), spSrc.Get());

    // The base converter copies only what already fits.
    NiImageConverter kBase;
    EXPECT_FALSE(kBase.ConvertPixelData(*spSrc, NiPixelFormat::RGBA32, nullptr, false));
    NiPixelDataPtr spCopy = kBase.ConvertPixelData(*spSrc, NiPixelFormat::RGB24, nullptr, false);
    ASSERT_TRUE(spCopy);
    EXPECT_NE(spCopy.Get(), spSrc.Get());
    EXPECT_TRUE(spCopy->IsEqual(spSrc));
    NiPixelDataPtr spTarget = new NiPixelData(1, 1, NiPixelFormat::RGB24);
    EXPECT_EQ(kBase.ConvertPixelData(*spSrc, NiPixelFormat::RGB24, spTarget, false).Get(), spTarget.Get());
    EXPECT_EQ(PixelBytes(*spTarget), (Bytes{1, 2, 3}));
    EXPECT_TRUE(kBase.CanConvertPixelData(NiPixelFormat::RGB24, NiPixelFormat::RGB24));
    EXPECT_FALSE(kBase.CanConvertPixelData(NiPixelFormat::RGB24, NiPixelFormat::RGBA32));
}

TEST_F(NiImageFileConverterTest, PlatformChoices)
{
    using FormatPrefs = NiTexture::FormatPrefs;
    // Layout 6 is the default; 5 asks for 4-bit palettes.
    constexpr std::uint32_t LAYOUT_DEFAULT = 6;
    FormatPrefs kPrefs;
    kPrefs.m_ePixelLayout = FormatPrefs::COMPRESSED;
    kPrefs.m_eAlphaFmt = FormatPrefs::SMOOTH;
    const NiPixelFormat& kRef = NiPixelFormat::RGBA32;
    EXPECT_EQ(m_kConverter.FindPlatformFormat(2, kPrefs, NiPixelFormat::RGBA32, kRef), NiPixelFormat::DXT5);
    kPrefs.m_eAlphaFmt = FormatPrefs::BINARY;
    EXPECT_EQ(m_kConverter.FindPlatformFormat(2, kPrefs, NiPixelFormat::RGBA32, kRef), NiPixelFormat::DXT1);
    EXPECT_EQ(m_kConverter.FindPlatformFormat(2, kPrefs, NiPixelFormat::RGB24, kRef), NiPixelFormat::DXT1);

    kPrefs.m_ePixelLayout = FormatPrefs::HIGH_COLOR_16;
    const NiPixelFormat kChoice = m_kConverter.FindPlatformFormat(3, kPrefs, NiPixelFormat::RGBA32, kRef);
    EXPECT_EQ(kChoice, NiPixelFormat::A3R4G4B4);
    EXPECT_EQ(kChoice.GetChannelBits(NiPixelFormat::ALPHA), 3u);
    EXPECT_EQ(m_kConverter.FindPlatformFormat(3, kPrefs, NiPixelFormat::RGB24, kRef), NiPixelFormat::R5G6B5);
    EXPECT_EQ(m_kConverter.FindPlatformFormat(1, kPrefs, NiPixelFormat::RGB24, kRef), NiPixelFormat::A1B5G5R5);
    EXPECT_EQ(m_kConverter.FindPlatformFormat(2, kPrefs, NiPixelFormat::PALA8, kRef), NiPixelFormat::A1R5G5B5);
    kPrefs.m_eAlphaFmt = FormatPrefs::SMOOTH;
    EXPECT_EQ(m_kConverter.FindPlatformFormat(2, kPrefs, NiPixelFormat::PALA8, kRef), NiPixelFormat::A4R4G4B4);
    EXPECT_EQ(m_kConverter.FindPlatformFormat(2, kPrefs, NiPixelFormat::PAL8, kRef), NiPixelFormat::R5G6B5);

    kPrefs.m_ePixelLayout = LAYOUT_DEFAULT;
    EXPECT_EQ(m_kConverter.FindPlatformFormat(1, kPrefs, NiPixelFormat::RGB24, NiPixelFormat::PAL4), NiPixelFormat::PALA4);
    EXPECT_EQ(m_kConverter.FindPlatformFormat(2, kPrefs, NiPixelFormat::RGB24, NiPixelFormat::DXT3), NiPixelFormat::DXT3);
    EXPECT_EQ(m_kConverter.FindPlatformFormat(3, kPrefs, NiPixelFormat::RGB24, NiPixelFormat::DXT3), NiPixelFormat::DXT1);
    EXPECT_EQ(m_kConverter.FindPlatformFormat(0, kPrefs, NiPixelFormat::RGB24, NiPixelFormat::R5G6B5), NiPixelFormat::R5G6B5);
    EXPECT_EQ(m_kConverter.FindPlatformFormat(9, kPrefs, NiPixelFormat::RGB24, NiPixelFormat::R5G6B5), NiPixelFormat::R5G6B5);
    kPrefs.m_ePixelLayout = 5;
    EXPECT_EQ(m_kConverter.FindPlatformFormat(1, kPrefs, NiPixelFormat::RGB24, NiPixelFormat::RGB24), NiPixelFormat::PALA4);
    EXPECT_EQ(m_kConverter.FindPlatformFormat(3, kPrefs, NiPixelFormat::RGB24, NiPixelFormat::RGB24), NiPixelFormat::PAL8);
    kPrefs.m_ePixelLayout = FormatPrefs::BUMPMAP;
    EXPECT_EQ(m_kConverter.FindPlatformFormat(0, kPrefs, NiPixelFormat::RGB24, NiPixelFormat::R5G6B5), NiPixelFormat::RGBA32);

    // Converting to the platform's choice.
    NiPixelDataPtr spSrc = Image(1, 1, NiPixelFormat::RGB24, {200, 100, 50});
    kPrefs.m_ePixelLayout = FormatPrefs::HIGH_COLOR_16;
    NiPixelDataPtr spOut = m_kConverter.ConvertToPlatformFormat(3, kPrefs, *spSrc, kRef);
    ASSERT_TRUE(spOut);
    EXPECT_EQ(spOut->GetPixelFormat(), NiPixelFormat::R5G6B5);
    EXPECT_EQ(PixelBytes(*spOut), (Bytes{0x26, 0xCB}));
    kPrefs.m_ePixelLayout = FormatPrefs::TRUE_COLOR_32;
    EXPECT_EQ(m_kConverter.ConvertToPlatformFormat(1, kPrefs, *spSrc, kRef).Get(), spSrc.Get());
    kPrefs.m_ePixelLayout = FormatPrefs::COMPRESSED;
    EXPECT_FALSE(m_kConverter.ConvertToPlatformFormat(3, kPrefs, *spSrc, kRef));
}

TEST_F(NiImageFileConverterTest, ScaleAlphaAndPlanarRGB)
{
    NiPixelDataPtr spImage = Image(2, 1, NiPixelFormat::RGBA32, {1, 2, 3, 255, 4, 5, 6, 100});
    EXPECT_TRUE(m_kConverter.ScaleAlpha(spImage, 255.0f));
    EXPECT_EQ(PixelBytes(*spImage), (Bytes{1, 2, 3, 255, 4, 5, 6, 100}));
    EXPECT_TRUE(m_kConverter.ScaleAlpha(spImage, 127.5f));
    EXPECT_EQ(PixelBytes(*spImage), (Bytes{1, 2, 3, 127, 4, 5, 6, 50}));
    // Out-of-range factors clamp instead of wrapping.
    EXPECT_TRUE(m_kConverter.ScaleAlpha(spImage, 1000.0f));
    EXPECT_EQ(PixelBytes(*spImage), (Bytes{1, 2, 3, 255, 4, 5, 6, 196}));
    EXPECT_TRUE(m_kConverter.ScaleAlpha(spImage, -5.0f));
    EXPECT_EQ(PixelBytes(*spImage), (Bytes{1, 2, 3, 0, 4, 5, 6, 0}));
    EXPECT_FALSE(m_kConverter.ScaleAlpha(nullptr, 1.0f));
    EXPECT_FALSE(m_kConverter.ScaleAlpha(Image(1, 1, NiPixelFormat::RGB24, {1, 2, 3}), 1.0f));

    NiPixelDataPtr spPal = Image(1, 1, NiPixelFormat::PALA8, {0});
    spPal->SetPalette(Palette(true, {{1, 1, 1, 200}}));
    EXPECT_TRUE(m_kConverter.ScaleAlpha(spPal, 127.5f));
    EXPECT_EQ(spPal->GetPalette()->GetEntry(0).m_ucAlpha, 100);

    NiPixelDataPtr spPlanar = m_kConverter.ConvertToPlanarRGB(*Image(2, 1, NiPixelFormat::RGBA32, {10, 20, 30, 0, 40, 50, 60, 0}), 255.0f);
    ASSERT_TRUE(spPlanar);
    EXPECT_EQ(spPlanar->GetPixelFormat().GetKind(), NiPixelFormat::RGB_PLANAR);
    EXPECT_EQ(PixelBytes(*spPlanar), (Bytes{10, 40, 20, 50, 30, 60}));
    spPlanar = m_kConverter.ConvertToPlanarRGB(*Image(1, 1, NiPixelFormat::RGB24, {10, 20, 31}), 127.5f);
    ASSERT_TRUE(spPlanar);
    EXPECT_EQ(PixelBytes(*spPlanar), (Bytes{5, 10, 15}));
    EXPECT_FALSE(m_kConverter.ConvertToPlanarRGB(*Image(1, 1, NiPixelFormat::BUMP16, {1, 2}), 1.0f));
}

TEST_F(NiImageFileConverterTest, ReaderOrderAndExtensions)
{
    const auto& kReaders = m_kConverter.GetReaderList();
    ASSERT_EQ(kReaders.size(), 5u);
    auto it = kReaders.begin();
    EXPECT_NE(dynamic_cast<NiNIFImageReader*>((it++)->get()), nullptr);
    EXPECT_NE(dynamic_cast<NiTGAReader*>((it++)->get()), nullptr);
    EXPECT_NE(dynamic_cast<NiSGIReader*>((it++)->get()), nullptr);
    EXPECT_NE(dynamic_cast<NiDDSReader*>((it++)->get()), nullptr);
    EXPECT_NE(dynamic_cast<NiBMPReader*>((it++)->get()), nullptr);

    const std::string kUpper = Write("PICTURE.TGA", TgaFile(Tga(1, 1, 24), {1, 2, 3}));
    NiPixelDataPtr spImage = m_kConverter.ReadImageFile(kUpper.c_str(), nullptr);
    ASSERT_TRUE(spImage);
    EXPECT_EQ(PixelBytes(*spImage), (Bytes{3, 2, 1}));
    EXPECT_TRUE(m_kConverter.CanReadImageFile(kUpper.c_str()));

    NiPixelFormat kFormat;
    bool bMip = true;
    std::uint32_t w = 0, h = 0;
    ASSERT_TRUE(m_kConverter.ReadImageFileInfo(kUpper.c_str(), kFormat, bMip, w, h));
    EXPECT_EQ(kFormat, NiPixelFormat::RGB24);
    EXPECT_EQ(w, 1u);
    EXPECT_FALSE(bMip);

    const std::string kMissing = (m_kFolder / "missing.tga").string();
    EXPECT_FALSE(m_kConverter.CanReadImageFile(kMissing.c_str()));
    EXPECT_FALSE(m_kConverter.ReadImageFile(kMissing.c_str(), nullptr));
    const std::string kBare = Write("noextension", TgaFile(Tga(1, 1, 24), {1, 2, 3}));
    EXPECT_FALSE(m_kConverter.CanReadImageFile(kBare.c_str()));
    EXPECT_FALSE(m_kConverter.ReadImageFile(kBare.c_str(), nullptr));
    EXPECT_FALSE(m_kConverter.ReadImageFileInfo(kBare.c_str(), kFormat, bMip, w, h));

    // The base converter only reads engine pixel-data files.
    NiImageConverter kBase;
    EXPECT_FALSE(kBase.ReadImageFile(kUpper.c_str(), nullptr));
    EXPECT_FALSE(kBase.ReadImageFileInfo(kUpper.c_str(), kFormat, bMip, w, h));
}

namespace
{
// A reader that takes ".tga" and answers from a fixed image, or refuses.
class FixedReader : public NiImageReader
{
public:
    FixedReader(bool bSucceed, int& iCalls) : m_bSucceed(bSucceed), m_iCalls(iCalls) {}
    bool CanReadFile(const char* pcExtension) const override { return ExtensionIs(pcExtension, ".tga"); }
    NiPixelDataPtr ReadFile(NiByteStream&, NiPixelData*) override
    {
        ++m_iCalls;
        return m_bSucceed ? new NiPixelData(7, 7, NiPixelFormat::RGB24) : nullptr;
    }
    bool ReadHeader(NiByteStream&, std::uint32_t& w, std::uint32_t& h, NiPixelFormat& f, bool& m) override
    {
        ++m_iCalls;
        w = h = 7;
        f = NiPixelFormat::RGB24;
        m = false;
        return m_bSucceed;
    }

private:
    bool m_bSucceed;
    int& m_iCalls;
};

std::map<std::string, Bytes>& MemoryFiles()
{
    static std::map<std::string, Bytes> s_kFiles;
    return s_kFiles;
}

std::uint32_t s_uiLastBufferSize = 0;

std::unique_ptr<NiByteStream> OpenFromMemory(const char* pcPath, std::uint32_t uiMode, std::uint32_t uiBufferSize)
{
    s_uiLastBufferSize = uiBufferSize;
    auto it = MemoryFiles().find(pcPath);
    if (uiMode != 0 || it == MemoryFiles().end())
        return nullptr;
    return std::make_unique<NiMemoryStream>(it->second.data(), static_cast<std::uint32_t>(it->second.size()));
}
} // namespace

TEST_F(NiImageFileConverterTest, LaterReadersComeFirstAndFailuresFallThrough)
{
    const std::string kPath = Write("a.tga", TgaFile(Tga(1, 1, 24), {1, 2, 3}));
    int iFailing = 0;
    m_kConverter.AddReader(std::make_unique<FixedReader>(false, iFailing));
    NiPixelDataPtr spImage = m_kConverter.ReadImageFile(kPath.c_str(), nullptr);
    ASSERT_TRUE(spImage);
    EXPECT_EQ(iFailing, 1);
    EXPECT_EQ(spImage->GetWidth(), 1u);

    int iWinning = 0;
    m_kConverter.AddReader(std::make_unique<FixedReader>(true, iWinning));
    spImage = m_kConverter.ReadImageFile(kPath.c_str(), nullptr);
    ASSERT_TRUE(spImage);
    EXPECT_EQ(spImage->GetWidth(), 7u);
    EXPECT_EQ(iWinning, 1);
    EXPECT_EQ(iFailing, 1);
}

TEST_F(NiImageFileConverterTest, FilesOnDiskHoldingLessThanTheirHeaderPromiseCostNoImage)
{
    // Read from disk, the file's length is what the readers check against.
    BmpHeader kBmp;
    kBmp.iWidth = PROMISED_SIDE;
    kBmp.iHeight = PROMISED_SIDE;
    SgiHeader kSgi;
    kSgi.usWidth = PROMISED_SIDE;
    kSgi.usHeight = PROMISED_SIDE;
    DdsHeader kDds;
    kDds.uiWidth = 4096;
    kDds.uiHeight = 4096;
    const std::string kPaths[] = {
        Write("big.tga", TgaFile(Tga(PROMISED_SIDE, PROMISED_SIDE, 32), Bytes(100, 1))),
        Write("big.bmp", BmpFile(kBmp, {}, Bytes(100, 1))),
        Write("big.sgi", SgiHeaderBytes(kSgi)),
        Write("big.dds", DdsFile(kDds, Bytes(100, 1))),
    };
    for (const std::string& kPath : kPaths)
    {
        SCOPED_TRACE(kPath);
        heap_test::HeapCounter kHeap;
        EXPECT_FALSE(m_kConverter.ReadImageFile(kPath.c_str(), nullptr));
        EXPECT_LT(kHeap.GetBytes(), heap_test::ONE_MIB) << "largest request: " << kHeap.GetLargest();
    }
}

TEST_F(NiImageFileConverterTest, FilesOpenThroughTheOpenHook)
{
    MemoryFiles().clear();
    MemoryFiles()["mem/x.dds"] = DdsFile(DdsHeader{}, Bytes(8, 0));
    NiSetOpenFileFunction(&OpenFromMemory);
    NiPixelDataPtr spImage = m_kConverter.ReadImageFile("mem/x.dds", nullptr);
    ASSERT_TRUE(spImage);
    EXPECT_EQ(spImage->GetPixelFormat(), NiPixelFormat::DXT1);
    EXPECT_EQ(s_uiLastBufferSize, NiImageConverter::FILE_BUFFER_SIZE);
    // A null stream from the hook is a file that does not open.
    EXPECT_FALSE(m_kConverter.ReadImageFile("mem/y.dds", nullptr));
    EXPECT_FALSE(m_kConverter.CanReadImageFile("mem/y.dds"));
}

TEST_F(NiImageFileConverterTest, ReadImageFileSequence)
{
    const std::string kLevel0 = Write("l0.tga", TgaFile(Tga(2, 2, 24), Bytes(12, 9)));
    const std::string kLevel1 = Write("l1.tga", TgaFile(Tga(1, 1, 24), {1, 2, 3}));
    const std::string kWrongSize = Write("big.tga", TgaFile(Tga(2, 1, 24), Bytes(6, 1)));
    const std::string kWrongFormat = Write("alpha.tga", TgaFile(Tga(1, 1, 32), {1, 2, 3, 4}));
    const char* apcGood[] = {kLevel0.c_str(), kLevel1.c_str()};
    NiPixelDataPtr spChain = m_kConverter.ReadImageFileSequence(apcGood, 2, nullptr);
    ASSERT_TRUE(spChain);
    EXPECT_EQ(spChain->GetNumMipmapLevels(), 2u);
    EXPECT_EQ(PixelBytes(*spChain, 0), Bytes(12, 9));
    EXPECT_EQ(PixelBytes(*spChain, 1), (Bytes{3, 2, 1}));

    const char* apcSize[] = {kLevel0.c_str(), kWrongSize.c_str()};
    EXPECT_FALSE(m_kConverter.ReadImageFileSequence(apcSize, 2, nullptr));
    const char* apcFormat[] = {kLevel0.c_str(), kWrongFormat.c_str()};
    EXPECT_FALSE(m_kConverter.ReadImageFileSequence(apcFormat, 2, nullptr));
    const char* apcShort[] = {kLevel0.c_str(), nullptr};
    EXPECT_FALSE(m_kConverter.ReadImageFileSequence(apcShort, 2, nullptr));
    EXPECT_FALSE(m_kConverter.ReadImageFileSequence(nullptr, 2, nullptr));

    NiPixelDataPtr spFirst = Image(2, 2, NiPixelFormat::RGB24, Bytes(12, 4));
    spChain = m_kConverter.ReadImageFileSequence(apcGood, 2, spFirst);
    ASSERT_TRUE(spChain);
    EXPECT_EQ(PixelBytes(*spChain, 0), Bytes(12, 4));
}

TEST_F(NiImageFileConverterTest, CurrentConverter)
{
    EXPECT_EQ(NiImageConverter::GetCurrent(), nullptr);
    NiImageConverter::CreateDefault();
    ASSERT_NE(NiImageConverter::GetCurrent(), nullptr);
    EXPECT_EQ(dynamic_cast<NiImageFileConverter*>(NiImageConverter::GetCurrent()), nullptr);
    NiImageConverter::SetCurrent(new NiImageFileConverter);
    EXPECT_NE(dynamic_cast<NiImageFileConverter*>(NiImageConverter::GetCurrent()), nullptr);
    EXPECT_EQ(NiImageConverter::GetCurrent()->GetRefCount(), 1u);
    NiImageConverter::ReleaseCurrent();
    EXPECT_EQ(NiImageConverter::GetCurrent(), nullptr);
    EXPECT_EQ(NiImageConverter::ConvertFilenameToPlatformSpecific("Data\\maps/wall.tga"), "Data\\maps/wall.tga");
}
