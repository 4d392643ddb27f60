#include "engine/render/image/NiBMPReader.h"

#include "tests/engine/render/image/ImageFileWriters.h"

#include <climits>

#include <gtest/gtest.h>

namespace
{
class NiBMPReaderTest : public ::testing::Test
{
protected:
    NiBMPReader m_kReader;
};

BmpHeader Bmp(std::int32_t w, std::int32_t h, std::uint16_t usBits)
{
    BmpHeader b;
    b.iWidth = w;
    b.iHeight = h;
    b.usBitCount = usBits;
    return b;
}

Bytes GreyPalette(std::uint32_t uiEntries)
{
    Bytes b;
    for (std::uint32_t i = 0; i < uiEntries; ++i)
        Append(b, {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i + 1), static_cast<std::uint8_t>(i + 2), 0});
    return b;
}
} // namespace

TEST_F(NiBMPReaderTest, TrueColorRowsArePaddedAndBottomUp)
{
    // 3 pixels at 24 bits: 9 data bytes and 3 padding bytes per row.
    const Bytes kPixels = {1, 2, 3, 4, 5, 6, 7, 8, 9, 0xEE, 0xEE, 0xEE,
                           11, 12, 13, 14, 15, 16, 17, 18, 19, 0xEE, 0xEE, 0xEE};
    const Bytes kFile = BmpFile(Bmp(3, 2, 24), {}, kPixels);
    NiPixelDataPtr spImage = ReadWith(m_kReader, kFile);
    ASSERT_TRUE(spImage);
    EXPECT_EQ(spImage->GetPixelFormat(), NiPixelFormat::RGB24);
    EXPECT_EQ(PixelBytes(*spImage), (Bytes{13, 12, 11, 16, 15, 14, 19, 18, 17, 3, 2, 1, 6, 5, 4, 9, 8, 7}));
    ExpectEveryTruncationFails(m_kReader, kFile);

    // A negative height keeps the stored order.
    spImage = ReadWith(m_kReader, BmpFile(Bmp(3, -2, 24), {}, kPixels));
    ASSERT_TRUE(spImage);
    EXPECT_EQ(PixelBytes(*spImage), (Bytes{3, 2, 1, 6, 5, 4, 9, 8, 7, 13, 12, 11, 16, 15, 14, 19, 18, 17}));

    // The fourth byte is alpha as stored, 0 included.
    spImage = ReadWith(m_kReader, BmpFile(Bmp(2, 1, 32), {}, {1, 2, 3, 0, 4, 5, 6, 200}));
    ASSERT_TRUE(spImage);
    EXPECT_EQ(spImage->GetPixelFormat(), NiPixelFormat::RGBA32);
    EXPECT_EQ(PixelBytes(*spImage), (Bytes{3, 2, 1, 0, 6, 5, 4, 200}));
}

TEST_F(NiBMPReaderTest, PalettedFilesGiveEightBitIndices)
{
    // 4 bits, colours used 0: 16 entries from the file, the rest zero.
    const Bytes kFile = BmpFile(Bmp(3, 1, 4), GreyPalette(16), {0x1F, 0x20, 0, 0});
    NiPixelDataPtr spImage = ReadWith(m_kReader, kFile);
    ASSERT_TRUE(spImage);
    EXPECT_EQ(spImage->GetPixelFormat(), NiPixelFormat::PAL8);
    EXPECT_EQ(PixelBytes(*spImage), (Bytes{1, 15, 2}));
    NiPalette* pkPalette = spImage->GetPalette();
    ASSERT_NE(pkPalette, nullptr);
    EXPECT_EQ(pkPalette->GetNumEntries(), 256u);
    EXPECT_FALSE(pkPalette->GetHasAlpha());
    EXPECT_EQ(pkPalette->GetEntry(15), (NiPalette::PaletteEntry{17, 16, 15, 255}));
    EXPECT_EQ(pkPalette->GetEntry(16), (NiPalette::PaletteEntry{0, 0, 0, 0}));
    ExpectEveryTruncationFails(m_kReader, kFile);

    BmpHeader kEight = Bmp(2, 2, 8);
    kEight.uiColorsUsed = 3;
    spImage = ReadWith(m_kReader, BmpFile(kEight, GreyPalette(3), {0, 1, 0, 0, 2, 2, 0, 0}));
    ASSERT_TRUE(spImage);
    EXPECT_EQ(PixelBytes(*spImage), (Bytes{2, 2, 0, 1}));
    EXPECT_EQ(spImage->GetPalette()->GetEntry(2), (NiPalette::PaletteEntry{4, 3, 2, 255}));
}

TEST_F(NiBMPReaderTest, LongerHeadersAndGapsBeforeThePixels)
{
    BmpHeader kLong = Bmp(1, 1, 24);
    kLong.uiInfoSize = 124;
    kLong.iDataOffset = 14 + 124 + 10;
    NiPixelDataPtr spImage = ReadWith(m_kReader, BmpFile(kLong, {}, {1, 2, 3, 0}));
    ASSERT_TRUE(spImage);
    EXPECT_EQ(PixelBytes(*spImage), (Bytes{3, 2, 1}));

    BmpHeader kPal = Bmp(1, 1, 8);
    kPal.uiInfoSize = 108;
    kPal.uiColorsUsed = 2;
    spImage = ReadWith(m_kReader, BmpFile(kPal, GreyPalette(2), {1, 0, 0, 0}));
    ASSERT_TRUE(spImage);
    EXPECT_EQ(spImage->GetPalette()->GetEntry(1), (NiPalette::PaletteEntry{3, 2, 1, 255}));
}

TEST_F(NiBMPReaderTest, BitFieldsAreHonoured)
{
    // Masks of a 10-10-10 layout with red low: widened, alpha 255.
    BmpHeader kFields = Bmp(1, 1, 32);
    kFields.uiCompression = 3;
    Bytes kMasks;
    PutLE32(kMasks, 0x3FF);
    PutLE32(kMasks, 0xFFC00);
    PutLE32(kMasks, 0x3FF00000);
    const std::uint32_t uiPixel = 0x3FFu | (0x200u << 10) | (0x1u << 20);
    Bytes kPixel;
    PutLE32(kPixel, uiPixel);
    NiPixelDataPtr spImage = ReadWith(m_kReader, BmpFile(kFields, {}, kPixel, kMasks));
    ASSERT_TRUE(spImage);
    EXPECT_EQ(PixelBytes(*spImage), (Bytes{255, 128, 0, 255}));

    // The same masks inside a longer header.
    kFields.uiInfoSize = 56;
    Bytes kFile = BmpFile(kFields, {}, kPixel);
    std::copy(kMasks.begin(), kMasks.end(), kFile.begin() + 54);
    spImage = ReadWith(m_kReader, kFile);
    ASSERT_TRUE(spImage);
    EXPECT_EQ(PixelBytes(*spImage), (Bytes{255, 128, 0, 255}));
}

TEST_F(NiBMPReaderTest, RefusesWhatItCannotRead)
{
    struct Case
    {
        const char* pcWhy;
        BmpHeader kHeader;
    };
    Case akCases[] = {
        {"1 bit", Bmp(1, 1, 1)},       {"16 bits", Bmp(1, 1, 16)},    {"zero width", Bmp(0, 1, 24)},
        {"negative width", Bmp(-1, 1, 24)}, {"zero height", Bmp(1, 0, 24)}, {"INT_MIN height", Bmp(1, INT_MIN, 24)},
        {"huge", Bmp(20000, 1, 24)},   {"RLE8", Bmp(1, 1, 8)},        {"RLE4", Bmp(2, 1, 4)},
        {"300 colours", Bmp(1, 1, 8)}, {"short header", Bmp(1, 1, 24)}, {"offset inside", Bmp(1, 1, 24)},
        {"16-bit fields", Bmp(1, 1, 16)},
    };
    akCases[7].kHeader.uiCompression = 1;
    akCases[8].kHeader.uiCompression = 2;
    akCases[9].kHeader.uiColorsUsed = 300;
    akCases[10].kHeader.uiInfoSize = 12;
    akCases[11].kHeader.iDataOffset = 50;
    akCases[12].kHeader.uiCompression = 3;
    for (const Case& c : akCases)
    {
        SCOPED_TRACE(c.pcWhy);
        EXPECT_EQ(ReadWith(m_kReader, BmpFile(c.kHeader, GreyPalette(4), Bytes(64, 1))), nullptr);
    }
    // The largest image the readers make, with no pixels behind it.
    EXPECT_EQ(ReadWith(m_kReader, BmpFile(Bmp(16384, -4096, 32), {}, Bytes(64, 1))), nullptr);
    BmpHeader kManyColors = Bmp(1, 1, 24);
    kManyColors.uiColorsUsed = 0x40000000;
    Bytes kSkipMuch = BmpFile(kManyColors, {}, {1, 2, 3, 0});
    kSkipMuch[13] = 0x7F; // pixel data offset near 2 GiB
    EXPECT_EQ(ReadWith(m_kReader, kSkipMuch), nullptr);
    Bytes kNotBmp = BmpFile(Bmp(1, 1, 24), {}, {1, 2, 3, 0});
    kNotBmp[1] = 'A';
    EXPECT_EQ(ReadWith(m_kReader, kNotBmp), nullptr);
}

TEST_F(NiBMPReaderTest, DamagedFilesFailCleanly)
{
    BmpHeader kEight = Bmp(3, 2, 8);
    kEight.uiColorsUsed = 4;
    const std::vector<Bytes> kSeeds = {
        BmpFile(kEight, GreyPalette(4), Bytes(8, 2)),
        BmpFile(Bmp(3, -2, 32), {}, Bytes(24, 5)),
        BmpFile(Bmp(5, 2, 4), GreyPalette(16), Bytes(8, 0x12)),
    };
    for (const Bytes& kSeed : kSeeds)
    {
        ASSERT_TRUE(ReadWith(m_kReader, kSeed));
        ExpectEveryTruncationFails(m_kReader, kSeed);
    }
    MutateAndRead(m_kReader, kSeeds, 3000, 5150);
}

TEST_F(NiBMPReaderTest, HeaderPromisingMoreThanTheFileHoldsIsRefusedBeforeAllocating)
{
    for (std::uint16_t usBits : {8, 24, 32})
    {
        SCOPED_TRACE(usBits);
        BmpHeader h;
        h.iWidth = PROMISED_SIDE;
        h.iHeight = PROMISED_SIDE;
        h.usBitCount = usBits;
        const Bytes kPalette(usBits == 8 ? 4 * 256 : 0, 0x40);
        ExpectRefusedBeforeAllocating(m_kReader, BmpFile(h, kPalette, {}));
        h.iHeight = -PROMISED_SIDE; // top-down rows
        ExpectRefusedBeforeAllocating(m_kReader, BmpFile(h, kPalette, Bytes(PROMISED_SIDE * 4u, 1)));
    }
}
