#include "engine/render/image/NiSGIReader.h"

#include "tests/engine/render/image/ImageFileWriters.h"

#include <gtest/gtest.h>

namespace
{
class NiSGIReaderTest : public ::testing::Test
{
protected:
    NiSGIReader m_kReader;
};

SgiHeader Sgi(std::uint16_t w, std::uint16_t h, std::uint16_t uiChannels, std::uint8_t ucStorage = 0,
              std::uint8_t ucBytes = 1)
{
    SgiHeader s;
    s.usWidth = w;
    s.usHeight = h;
    s.usChannels = uiChannels;
    s.ucStorage = ucStorage;
    s.ucBytesPerChannel = ucBytes;
    return s;
}
} // namespace

TEST_F(NiSGIReaderTest, AcceptsItsExtensions)
{
    for (const char* pc : {".sgi", ".rgb", ".RGBA", ".int", ".inta"})
        EXPECT_TRUE(m_kReader.CanReadFile(pc)) << pc;
    EXPECT_FALSE(m_kReader.CanReadFile(".bw"));
}

TEST_F(NiSGIReaderTest, VerbatimChannelsAndRowOrder)
{
    // Rows bottom first: the image's first row is the file's last.
    const Bytes kRgb = SgiVerbatim(Sgi(2, 2, 3), {{{1, 2}, {3, 4}}, {{11, 12}, {13, 14}}, {{21, 22}, {23, 24}}});
    NiPixelDataPtr spImage = ReadWith(m_kReader, kRgb);
    ASSERT_TRUE(spImage);
    EXPECT_EQ(spImage->GetPixelFormat(), NiPixelFormat::RGB24);
    EXPECT_EQ(PixelBytes(*spImage), (Bytes{3, 13, 23, 4, 14, 24, 1, 11, 21, 2, 12, 22}));
    ExpectEveryTruncationFails(m_kReader, kRgb);

    spImage = ReadWith(m_kReader, SgiVerbatim(Sgi(2, 1, 1), {{{5, 6}}}));
    ASSERT_TRUE(spImage);
    EXPECT_EQ(PixelBytes(*spImage), (Bytes{5, 5, 5, 6, 6, 6}));

    spImage = ReadWith(m_kReader, SgiVerbatim(Sgi(2, 1, 2), {{{5, 6}}, {{100, 200}}}));
    ASSERT_TRUE(spImage);
    EXPECT_EQ(spImage->GetPixelFormat(), NiPixelFormat::RGBA32);
    EXPECT_EQ(PixelBytes(*spImage), (Bytes{5, 5, 5, 100, 6, 6, 6, 200}));

    spImage = ReadWith(m_kReader, SgiVerbatim(Sgi(1, 1, 4), {{{1}}, {{2}}, {{3}}, {{4}}}));
    ASSERT_TRUE(spImage);
    EXPECT_EQ(PixelBytes(*spImage), (Bytes{1, 2, 3, 4}));

    // Two bytes per channel keep the high byte.
    spImage = ReadWith(m_kReader, SgiVerbatim(Sgi(1, 1, 3, 0, 2), {{{0x12, 0x34}}, {{0x56, 0x78}}, {{0x9A, 0xBC}}}));
    ASSERT_TRUE(spImage);
    EXPECT_EQ(PixelBytes(*spImage), (Bytes{0x12, 0x56, 0x9A}));
}

TEST_F(NiSGIReaderTest, RunLengthRows)
{
    // Row 0 (bottom): a copy packet of 2 and a run of 2; row 1: a run of 9
    // that stops at the width, then a packet never reached.
    const Bytes kFile = SgiEncoded(Sgi(4, 2, 1, 1), {{{0x82, 7, 8, 0x02, 9, 0x00}, {0x09, 5, 0x81, 1, 0x00}}});
    NiPixelDataPtr spImage = ReadWith(m_kReader, kFile);
    ASSERT_TRUE(spImage);
    EXPECT_EQ(PixelBytes(*spImage), (Bytes{5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 7, 7, 7, 8, 8, 8, 9, 9, 9, 9, 9, 9}));
    ExpectEveryTruncationFails(m_kReader, kFile);

    // A count of 0 ends the row early; the rest stays 0.
    spImage = ReadWith(m_kReader, SgiEncoded(Sgi(3, 1, 1, 1), {{{0x01, 4, 0x00}}}));
    ASSERT_TRUE(spImage);
    EXPECT_EQ(PixelBytes(*spImage), (Bytes{4, 4, 4, 0, 0, 0, 0, 0, 0}));

    // Two bytes per value: packets are 16-bit words too.
    spImage = ReadWith(m_kReader, SgiEncoded(Sgi(3, 1, 1, 1, 2), {{{0x00, 0x82, 0xAB, 0x01, 0xCD, 0x02, 0x00, 0x01,
                                                                     0xEF, 0x00, 0x00, 0x00}}}));
    ASSERT_TRUE(spImage);
    EXPECT_EQ(PixelBytes(*spImage), (Bytes{0xAB, 0xAB, 0xAB, 0xCD, 0xCD, 0xCD, 0xEF, 0xEF, 0xEF}));
}

TEST_F(NiSGIReaderTest, RowsMayShareBytes)
{
    Bytes kFile = SgiHeaderBytes(Sgi(2, 2, 1, 1));
    const std::uint32_t uiData = 512 + 16;
    PutBE32(kFile, uiData);
    PutBE32(kFile, uiData);
    PutBE32(kFile, 3);
    PutBE32(kFile, 3);
    Append(kFile, {0x02, 42, 0x00});
    NiPixelDataPtr spImage = ReadWith(m_kReader, kFile);
    ASSERT_TRUE(spImage);
    EXPECT_EQ(PixelBytes(*spImage), Bytes(12, 42));
}

TEST_F(NiSGIReaderTest, RefusesWhatItCannotRead)
{
    SgiHeader kMagic = Sgi(1, 1, 3);
    kMagic.usMagic = 475;
    const Bytes kRow = {1};
    const std::vector<std::vector<Bytes>> kThree = {{kRow}, {kRow}, {kRow}};
    EXPECT_EQ(ReadWith(m_kReader, SgiVerbatim(kMagic, kThree)), nullptr);
    EXPECT_EQ(ReadWith(m_kReader, SgiVerbatim(Sgi(1, 1, 3, 2), kThree)), nullptr);
    EXPECT_EQ(ReadWith(m_kReader, SgiVerbatim(Sgi(1, 1, 3, 0, 3), kThree)), nullptr);
    EXPECT_EQ(ReadWith(m_kReader, SgiVerbatim(Sgi(1, 1, 5), {{kRow}, {kRow}, {kRow}, {kRow}, {kRow}})), nullptr);
    EXPECT_EQ(ReadWith(m_kReader, SgiVerbatim(Sgi(1, 1, 0), {})), nullptr);
    EXPECT_EQ(ReadWith(m_kReader, SgiVerbatim(Sgi(0, 1, 3), kThree)), nullptr);
    EXPECT_EQ(ReadWith(m_kReader, SgiVerbatim(Sgi(20000, 1, 1), {})), nullptr);

    // The largest image the readers make, with no pixels behind it, and a
    // run-length one whose tables claim far more data than there is.
    EXPECT_EQ(ReadWith(m_kReader, SgiVerbatim(Sgi(16384, 4096, 4), {{Bytes(100, 1)}})), nullptr);
    Bytes kTables = SgiHeaderBytes(Sgi(2, 1, 1, 1));
    PutBE32(kTables, 520);
    PutBE32(kTables, 0x7FFFFFFF);
    Append(kTables, {0x02, 9, 0});
    EXPECT_EQ(ReadWith(m_kReader, kTables), nullptr);

    // Row offsets inside the tables, or past the data read.
    for (std::uint32_t uiOffset : {0u, 511u, 512u + 4u, 0xFFFFFFF0u})
    {
        SCOPED_TRACE(uiOffset);
        Bytes kFile = SgiHeaderBytes(Sgi(1, 1, 1, 1));
        PutBE32(kFile, uiOffset);
        PutBE32(kFile, 3);
        Append(kFile, {0x01, 1, 0});
        EXPECT_EQ(ReadWith(m_kReader, kFile), nullptr);
    }
    Bytes kLong = SgiHeaderBytes(Sgi(1, 1, 1, 1));
    PutBE32(kLong, 520);
    PutBE32(kLong, 0xFFFFFFFF);
    Append(kLong, {0x01, 1, 0});
    EXPECT_EQ(ReadWith(m_kReader, kLong), nullptr);
}

TEST_F(NiSGIReaderTest, DamagedFilesFailCleanly)
{
    const std::vector<Bytes> kSeeds = {
        SgiEncoded(Sgi(4, 2, 2, 1), {{{0x82, 7, 8, 0x02, 9, 0x00}, {0x04, 5, 0x00}}, {{0x84, 1, 2, 3, 4, 0}, {0x7F, 1, 0}}}),
        SgiVerbatim(Sgi(2, 2, 3, 0, 2), {{Bytes(4, 1), Bytes(4, 2)}, {Bytes(4, 3), Bytes(4, 4)}, {Bytes(4, 5), Bytes(4, 6)}}),
    };
    for (const Bytes& kSeed : kSeeds)
        ASSERT_TRUE(ReadWith(m_kReader, kSeed));
    MutateAndRead(m_kReader, kSeeds, 3000, 7);
}

TEST_F(NiSGIReaderTest, HeaderPromisingMoreThanTheFileHoldsIsRefusedBeforeAllocating)
{
    for (std::uint16_t usChannels : {1, 3, 4})
    {
        SCOPED_TRACE(usChannels);
        const SgiHeader kVerbatim = Sgi(PROMISED_SIDE, PROMISED_SIDE, usChannels);
        ExpectRefusedBeforeAllocating(m_kReader, SgiHeaderBytes(kVerbatim));
        ExpectRefusedBeforeAllocating(m_kReader, SgiHeaderBytes(Sgi(PROMISED_SIDE, PROMISED_SIDE, usChannels, 0, 2)));

        // Run-length: no row tables at all.
        ExpectRefusedBeforeAllocating(m_kReader, SgiHeaderBytes(Sgi(PROMISED_SIDE, PROMISED_SIDE, usChannels, 1)));
    }

    // Run-length with whole row tables whose rows (3 bytes each, all at the
    // same place) lie past the 2 packet bytes the file holds: refused before
    // an image is made and cleared.
    const SgiHeader kEncoded = Sgi(PROMISED_SIDE, PROMISED_SIDE, 3, 1);
    Bytes kFile = SgiHeaderBytes(kEncoded);
    const std::uint32_t uiRows = 3u * PROMISED_SIDE;
    const std::uint32_t uiDataStart = 512 + 8 * uiRows;
    for (std::uint32_t i = 0; i < uiRows; ++i)
        PutBE32(kFile, uiDataStart);
    for (std::uint32_t i = 0; i < uiRows; ++i)
        PutBE32(kFile, 3);
    Append(kFile, {0x01, 0x00});
    ExpectRefusedBeforeAllocating(m_kReader, kFile);
}
