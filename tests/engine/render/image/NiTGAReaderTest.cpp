#include "engine/render/image/NiTGAReader.h"

#include "tests/engine/render/image/ImageFileWriters.h"

#include <gtest/gtest.h>

namespace
{
class NiTGAReaderTest : public ::testing::Test
{
protected:
    NiTGAReader m_kReader;
};

TgaHeader TrueColor(std::uint16_t w, std::uint16_t h, std::uint8_t ucDepth, std::uint8_t ucType = 2)
{
    TgaHeader t;
    t.ucType = ucType;
    t.usWidth = w;
    t.usHeight = h;
    t.ucDepth = ucDepth;
    return t;
}

TgaHeader Mapped(std::uint16_t w, std::uint16_t h, std::uint8_t ucDepth, std::uint16_t usLength,
                 std::uint8_t ucEntrySize, std::uint8_t ucType = 1)
{
    TgaHeader t = TrueColor(w, h, ucDepth, ucType);
    t.ucMapType = 1;
    t.usMapLength = usLength;
    t.ucMapEntrySize = ucEntrySize;
    return t;
}

// A 16-entry 24-bit map: entry i is (i, 2i, 3i) stored blue first.
Bytes Map16()
{
    Bytes b;
    for (std::uint8_t i = 0; i < 16; ++i)
        Append(b, {static_cast<std::uint8_t>(3 * i), static_cast<std::uint8_t>(2 * i), i});
    return b;
}
} // namespace

TEST_F(NiTGAReaderTest, AcceptsItsExtensionsInAnyCase)
{
    EXPECT_TRUE(m_kReader.CanReadFile(".tga"));
    EXPECT_TRUE(m_kReader.CanReadFile(".TGA"));
    EXPECT_TRUE(m_kReader.CanReadFile(".Targa"));
    EXPECT_FALSE(m_kReader.CanReadFile(".tg"));
    EXPECT_FALSE(m_kReader.CanReadFile(""));
    EXPECT_FALSE(m_kReader.CanReadFile(nullptr));
}

TEST_F(NiTGAReaderTest, TrueColorDepthsAndOrientation)
{
    TgaHeader t = TrueColor(2, 2, 24);
    t.ucDescriptor = 0; // bottom-up: the last stored row is the first image row
    t.ucIDLength = 3;
    const Bytes k24 = TgaFile(t, {1, 2, 3, 4, 5, 6, /**/ 7, 8, 9, 10, 11, 12});
    NiPixelDataPtr spImage = ReadWith(m_kReader, k24);
    ASSERT_TRUE(spImage);
    EXPECT_EQ(spImage->GetPixelFormat(), NiPixelFormat::RGB24);
    EXPECT_EQ(PixelBytes(*spImage), (Bytes{9, 8, 7, 12, 11, 10, 3, 2, 1, 6, 5, 4}));

    const Bytes k32 = TgaFile(TrueColor(1, 2, 32), {1, 2, 3, 4, 5, 6, 7, 8});
    spImage = ReadWith(m_kReader, k32);
    ASSERT_TRUE(spImage);
    EXPECT_EQ(spImage->GetPixelFormat(), NiPixelFormat::RGBA32);
    EXPECT_EQ(PixelBytes(*spImage), (Bytes{3, 2, 1, 4, 7, 6, 5, 8}));

    // 5-5-5 pixels lose the attribute bit: 0x7FFF and 0xFFFF both give 248s.
    const Bytes k16 = TgaFile(TrueColor(3, 1, 16), {0xFF, 0x7F, 0xFF, 0xFF, 0x1F, 0x00});
    spImage = ReadWith(m_kReader, k16);
    ASSERT_TRUE(spImage);
    EXPECT_EQ(spImage->GetPixelFormat(), NiPixelFormat::RGB24);
    EXPECT_EQ(PixelBytes(*spImage), (Bytes{248, 248, 248, 248, 248, 248, 0, 0, 248}));
}

TEST_F(NiTGAReaderTest, GreyFiles)
{
    NiPixelDataPtr spImage = ReadWith(m_kReader, TgaFile(TrueColor(2, 1, 8, 3), {10, 200}));
    ASSERT_TRUE(spImage);
    EXPECT_EQ(spImage->GetPixelFormat(), NiPixelFormat::RGB24);
    EXPECT_EQ(PixelBytes(*spImage), (Bytes{10, 10, 10, 200, 200, 200}));

    // Grey and alpha bytes, not 5-5-5 colour.
    spImage = ReadWith(m_kReader, TgaFile(TrueColor(2, 1, 16, 3), {10, 20, 200, 255}));
    ASSERT_TRUE(spImage);
    EXPECT_EQ(spImage->GetPixelFormat(), NiPixelFormat::RGBA32);
    EXPECT_EQ(PixelBytes(*spImage), (Bytes{10, 10, 10, 20, 200, 200, 200, 255}));

    // Run-length grey with alpha.
    spImage = ReadWith(m_kReader, TgaFile(TrueColor(2, 1, 16, 11), {0x81, 7, 9}));
    ASSERT_TRUE(spImage);
    EXPECT_EQ(PixelBytes(*spImage), (Bytes{7, 7, 7, 9, 7, 7, 7, 9}));
}

TEST_F(NiTGAReaderTest, RunLengthPacketsRunAcrossRows)
{
    // 3 x 2: two raw pixels, then a run of 3 that starts on row 0's last
    // pixel and fills two of row 1, then one raw pixel.
    const Bytes kFile = TgaFile(TrueColor(3, 2, 24, 10),
                                {0x01, 1, 2, 3, 4, 5, 6, /**/ 0x82, 30, 20, 10, /**/ 0x00, 9, 8, 7});
    NiPixelDataPtr spImage = ReadWith(m_kReader, kFile);
    ASSERT_TRUE(spImage);
    EXPECT_EQ(PixelBytes(*spImage),
              (Bytes{3, 2, 1, 6, 5, 4, 10, 20, 30, /**/ 10, 20, 30, 10, 20, 30, 7, 8, 9}));
    ExpectEveryTruncationFails(m_kReader, kFile);
}

TEST_F(NiTGAReaderTest, ColorMappedEightBit)
{
    TgaHeader t = Mapped(3, 1, 8, 3, 24);
    t.usMapFirst = 2;
    // Map (blue, green, red); indices are stored plus the first index.
    const Bytes kFile = TgaFile(t, {3, 2, 1, 6, 5, 4, 9, 8, 7, /**/ 2, 4, 3});
    NiPixelDataPtr spImage = ReadWith(m_kReader, kFile);
    ASSERT_TRUE(spImage);
    EXPECT_EQ(spImage->GetPixelFormat(), NiPixelFormat::PAL8);
    EXPECT_EQ(PixelBytes(*spImage), (Bytes{0, 2, 1}));
    NiPalette* pkPalette = spImage->GetPalette();
    ASSERT_NE(pkPalette, nullptr);
    ASSERT_EQ(pkPalette->GetNumEntries(), 3u);
    EXPECT_FALSE(pkPalette->GetHasAlpha());
    EXPECT_EQ(pkPalette->GetEntry(1), (NiPalette::PaletteEntry{4, 5, 6, 255}));
    ExpectEveryTruncationFails(m_kReader, kFile);

    // Run-length indices.
    spImage = ReadWith(m_kReader, TgaFile(Mapped(3, 1, 8, 3, 24, 9), {3, 2, 1, 6, 5, 4, 9, 8, 7, 0x82, 1}));
    ASSERT_TRUE(spImage);
    EXPECT_EQ(PixelBytes(*spImage), (Bytes{1, 1, 1}));
}

TEST_F(NiTGAReaderTest, MapEntrySizesExpandToRGBA)
{
    NiPixelDataPtr spImage = ReadWith(m_kReader, TgaFile(Mapped(1, 1, 8, 2, 32), {1, 2, 3, 4, 5, 6, 7, 8, 1}));
    ASSERT_TRUE(spImage);
    EXPECT_EQ(spImage->GetPixelFormat(), NiPixelFormat::PALA8);
    EXPECT_TRUE(spImage->GetPalette()->GetHasAlpha());
    EXPECT_EQ(spImage->GetPalette()->GetEntry(1), (NiPalette::PaletteEntry{7, 6, 5, 8}));

    spImage = ReadWith(m_kReader, TgaFile(Mapped(1, 1, 8, 1, 16), {0x1F, 0x7C, 0}));
    ASSERT_TRUE(spImage);
    EXPECT_EQ(spImage->GetPalette()->GetEntry(0), (NiPalette::PaletteEntry{248, 0, 248, 255}));

    spImage = ReadWith(m_kReader, TgaFile(Mapped(1, 1, 8, 1, 8), {77, 0}));
    ASSERT_TRUE(spImage);
    EXPECT_EQ(spImage->GetPalette()->GetEntry(0), (NiPalette::PaletteEntry{77, 77, 77, 255}));
}

TEST_F(NiTGAReaderTest, SixteenEntryMapsGiveFourBitImages)
{
    // 8-bit indices are packed two to a byte, high nibble first.
    TgaHeader t = Mapped(4, 1, 8, 16, 24);
    t.usMapFirst = 1;
    Bytes kBody = Map16();
    Append(kBody, {2, 1, 16, 5});
    NiPixelDataPtr spImage = ReadWith(m_kReader, TgaFile(t, kBody));
    ASSERT_TRUE(spImage);
    EXPECT_EQ(spImage->GetPixelFormat(), NiPixelFormat::PAL4);
    EXPECT_EQ(PixelBytes(*spImage), (Bytes{0x10, 0xF4}));
    EXPECT_EQ(spImage->GetPalette()->GetEntry(15), (NiPalette::PaletteEntry{15, 30, 45, 255}));

    // 4-bit indices: the first index comes off each nibble.
    kBody = Map16();
    Append(kBody, {0x21, 0x0F});
    t.ucDepth = 4;
    spImage = ReadWith(m_kReader, TgaFile(t, kBody));
    ASSERT_TRUE(spImage);
    EXPECT_EQ(spImage->GetPixelFormat(), NiPixelFormat::PAL4);
    EXPECT_EQ(PixelBytes(*spImage), (Bytes{0x10, 0xFE}));
}

TEST_F(NiTGAReaderTest, FourBitPixelsWithLongerMapsUnpack)
{
    Bytes kBody;
    for (std::uint8_t i = 0; i < 20; ++i)
        Append(kBody, {i, i, i});
    Append(kBody, {0x3C, 0x01});
    NiPixelDataPtr spImage = ReadWith(m_kReader, TgaFile(Mapped(4, 1, 4, 20, 24), kBody));
    ASSERT_TRUE(spImage);
    EXPECT_EQ(spImage->GetPixelFormat(), NiPixelFormat::PAL8);
    EXPECT_EQ(PixelBytes(*spImage), (Bytes{3, 12, 0, 1}));
}

TEST_F(NiTGAReaderTest, TrueColorFilesSkipTheirMap)
{
    TgaHeader t = TrueColor(1, 1, 24);
    t.ucMapType = 1;
    t.usMapLength = 2;
    t.ucMapEntrySize = 15;
    NiPixelDataPtr spImage = ReadWith(m_kReader, TgaFile(t, {0xAA, 0xAA, 0xAA, 0xAA, 1, 2, 3}));
    ASSERT_TRUE(spImage);
    EXPECT_EQ(PixelBytes(*spImage), (Bytes{3, 2, 1}));
    EXPECT_EQ(spImage->GetPalette(), nullptr);
}

TEST_F(NiTGAReaderTest, HeaderReportsWithoutReadingPixels)
{
    const Bytes kFile = TgaFile(TrueColor(5, 7, 32), {});
    NiMemoryStream kStream(kFile.data(), static_cast<std::uint32_t>(kFile.size()));
    std::uint32_t w = 0, h = 0;
    NiPixelFormat kFormat;
    bool bMip = true;
    ASSERT_TRUE(m_kReader.ReadHeader(kStream, w, h, kFormat, bMip));
    EXPECT_EQ(w, 5u);
    EXPECT_EQ(h, 7u);
    EXPECT_EQ(kFormat, NiPixelFormat::RGBA32);
    EXPECT_FALSE(bMip);
}

TEST_F(NiTGAReaderTest, ReusesAFittingImage)
{
    NiPixelDataPtr spReuse = new NiPixelData(1, 1, NiPixelFormat::RGB24);
    NiPixelDataPtr spImage = ReadWith(m_kReader, TgaFile(TrueColor(1, 1, 24), {1, 2, 3}), spReuse);
    EXPECT_EQ(spImage.Get(), spReuse.Get());
    EXPECT_EQ(PixelBytes(*spReuse), (Bytes{3, 2, 1}));
    spImage = ReadWith(m_kReader, TgaFile(TrueColor(2, 1, 24), {1, 2, 3, 4, 5, 6}), spReuse);
    ASSERT_TRUE(spImage);
    EXPECT_NE(spImage.Get(), spReuse.Get());
}

TEST_F(NiTGAReaderTest, RefusesWhatItCannotRead)
{
    struct Case
    {
        const char* pcWhy;
        TgaHeader kHeader;
        Bytes kBody;
    };
    TgaHeader kOddFour = Mapped(3, 1, 4, 20, 24);
    TgaHeader kOddPacked = Mapped(3, 1, 8, 16, 24);
    TgaHeader kBigMap = Mapped(1, 1, 8, 16000, 24);
    kBigMap.usMapFirst = 383;
    TgaHeader kNoMap = Mapped(1, 1, 8, 2, 24);
    kNoMap.ucMapType = 0;
    const Case akCases[] = {
        {"no image", TrueColor(1, 1, 24, 0), {1, 2, 3}},
        {"unknown type", TrueColor(1, 1, 24, 32), {1, 2, 3}},
        {"zero width", TrueColor(0, 1, 24), {1, 2, 3}},
        {"too high", TrueColor(1, 20000, 8), Bytes(20000, 0)},
        {"depth 4 without map", TrueColor(2, 1, 4), {0}},
        {"depth 12", TrueColor(1, 1, 12), {0, 0}},
        {"mapped without map", kNoMap, {0}},
        {"16-bit indices", Mapped(1, 1, 16, 2, 24), Bytes(8, 0)},
        {"entry size 12", Mapped(1, 1, 8, 2, 12), Bytes(5, 0)},
        {"odd 4-bit width", kOddFour, Bytes(62, 0)},
        {"odd 4-bit image", kOddPacked, Bytes(51, 0)},
        {"run-length 4-bit", Mapped(2, 1, 4, 20, 24, 9), Bytes(62, 0)},
        {"map beyond 16383", kBigMap, {}},
    };
    for (const Case& c : akCases)
    {
        SCOPED_TRACE(c.pcWhy);
        EXPECT_EQ(ReadWith(m_kReader, TgaFile(c.kHeader, c.kBody)), nullptr);
    }
    // The largest image the readers make, with no pixels behind it.
    EXPECT_EQ(ReadWith(m_kReader, TgaFile(TrueColor(16384, 4096, 32), {1, 2, 3})), nullptr);
    EXPECT_EQ(ReadWith(m_kReader, TgaFile(TrueColor(16384, 4097, 32), {})), nullptr);
    // The largest map that is still taken.
    TgaHeader kEdge = Mapped(1, 1, 8, 16382, 8);
    EXPECT_TRUE(ReadWith(m_kReader, TgaFile(kEdge, Bytes(16383, 1))));
}

TEST_F(NiTGAReaderTest, DamagedFilesFailCleanly)
{
    const std::vector<Bytes> kSeeds = {
        TgaFile(TrueColor(3, 2, 24, 10), {0x01, 1, 2, 3, 4, 5, 6, 0x82, 30, 20, 10, 0x00, 9, 8, 7}),
        TgaFile(Mapped(4, 1, 8, 16, 24), [] { Bytes b = Map16(); Append(b, {1, 2, 3, 4}); return b; }()),
        TgaFile(Mapped(2, 2, 8, 2, 32, 9), {1, 2, 3, 4, 5, 6, 7, 8, 0x83, 1}),
        TgaFile(TrueColor(2, 2, 32), Bytes(16, 9)),
        TgaFile(TrueColor(2, 2, 16, 3), Bytes(8, 9)),
    };
    for (const Bytes& kSeed : kSeeds)
        ExpectEveryTruncationFails(m_kReader, kSeed);
    MutateAndRead(m_kReader, kSeeds, 3000, 1234);
}

TEST_F(NiTGAReaderTest, HeaderPromisingMoreThanTheFileHoldsIsRefusedBeforeAllocating)
{
    // 8192 x 8192 true colour and grey, uncompressed, without their pixels
    // (or with one row of them).
    for (std::uint8_t ucDepth : {24, 32})
    {
        SCOPED_TRACE(ucDepth);
        TgaHeader h;
        h.usWidth = PROMISED_SIDE;
        h.usHeight = PROMISED_SIDE;
        h.ucDepth = ucDepth;
        ExpectRefusedBeforeAllocating(m_kReader, TgaFile(h, {}));
        ExpectRefusedBeforeAllocating(m_kReader, TgaFile(h, Bytes(PROMISED_SIDE * (ucDepth / 8u), 7)));
    }
    TgaHeader kGrey;
    kGrey.ucType = 3;
    kGrey.ucDepth = 8;
    kGrey.usWidth = PROMISED_SIDE;
    kGrey.usHeight = PROMISED_SIDE;
    ExpectRefusedBeforeAllocating(m_kReader, TgaFile(kGrey, {}));

    // Exactly the promised bytes still read.
    TgaHeader kSmall;
    kSmall.usWidth = 2;
    kSmall.usHeight = 2;
    EXPECT_NE(ReadWith(m_kReader, TgaFile(kSmall, Bytes(12, 9))), nullptr);
}

// A run-length file can be no shorter than one count byte and one pixel
// value per 128 pixels (packets run on across rows): one that is, whatever
// its header claims, is refused before the image is made.
TEST_F(NiTGAReaderTest, RunLengthFileShorterThanItsTightestPackingIsRefusedBeforeAllocating)
{
    // 23 bytes: 8192 x 8192 run-length true colour, then one run of 128
    // pixels and a stray byte.
    const Bytes kFixture = {0x00, 0x00, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                            0x00, 0x20, 0x00, 0x20, 0x18, 0x20, 0xFF, 0x0A, 0x14, 0x1E, 0x00};
    ASSERT_EQ(kFixture.size(), 23u);
    ExpectRefusedBeforeAllocating(m_kReader, kFixture);
    // Grey, 32-bit and colour-mapped kinds, holding a whole row of runs.
    for (std::uint8_t ucDepth : {8, 16, 32})
    {
        SCOPED_TRACE(ucDepth);
        const std::uint8_t ucType = ucDepth == 8 ? 11 : 10;
        Bytes kRow;
        for (std::uint32_t i = 0; i < PROMISED_SIDE / 128u; ++i)
        {
            kRow.push_back(0xFF);
            kRow.insert(kRow.end(), ucDepth / 8u, 0x40);
        }
        ExpectRefusedBeforeAllocating(m_kReader, TgaFile(TrueColor(PROMISED_SIDE, PROMISED_SIDE, ucDepth, ucType), kRow));
    }
    ExpectRefusedBeforeAllocating(m_kReader,
                                  TgaFile(Mapped(PROMISED_SIDE, PROMISED_SIDE, 8, 256, 24, 9), Bytes(256 * 3 + 64, 0xFF)));

    // 256 x 3 in six full runs, the tightest packing there is, still reads;
    // one byte less is refused.
    Bytes kRuns;
    for (std::uint8_t i = 0; i < 6; ++i)
        Append(kRuns, {0xFF, i, static_cast<std::uint8_t>(2 * i), static_cast<std::uint8_t>(3 * i)});
    const Bytes kFile = TgaFile(TrueColor(256, 3, 24, 10), kRuns);
    NiPixelDataPtr spImage = ReadWith(m_kReader, kFile);
    ASSERT_TRUE(spImage);
    const Bytes kPixels = PixelBytes(*spImage);
    ASSERT_EQ(kPixels.size(), 256u * 3u * 3u);
    for (std::size_t i = 0; i < 256u * 3u; ++i)
    {
        const auto ucRun = static_cast<std::uint8_t>(i / 128);
        ASSERT_EQ(kPixels[3 * i], 3 * ucRun) << i;
        ASSERT_EQ(kPixels[3 * i + 2], ucRun) << i;
    }
    EXPECT_EQ(ReadWith(m_kReader, Bytes(kFile.begin(), kFile.end() - 1)), nullptr);
}

namespace
{
// Reaches the row unpacker of a reader that never parsed a header.
class UnparsedTGAReader : public NiTGAReader
{
public:
    void UnpackWithoutHeader() const
    {
        const std::uint8_t aucSrc[4] = {};
        std::uint8_t aucDest[4] = {};
        UnpackRow(aucSrc, aucDest);
    }
};
} // namespace

TEST(NiTGAReaderDeathTest, UnpackingBeforeAHeaderChoseHowStopsADebugBuild)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const UnparsedTGAReader kReader;
    EXPECT_DEBUG_DEATH(kReader.UnpackWithoutHeader(), "before a header chose how");
}
