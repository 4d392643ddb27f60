#include "engine/render/image/NiDDSReader.h"

#include "tests/engine/render/image/ImageFileWriters.h"

#include <gtest/gtest.h>

namespace
{
constexpr std::uint32_t CAPS_COMPLEX = 0x8;
constexpr std::uint32_t CAPS_TEXTURE = 0x1000;
constexpr std::uint32_t CAPS_MIPMAP = 0x400000;
constexpr std::uint32_t FOURCC_DXT5 = 0x35545844;

class NiDDSReaderTest : public ::testing::Test
{
protected:
    bool Header(const Bytes& kFile, std::uint32_t& w, std::uint32_t& h, NiPixelFormat& kFormat, bool& bMip)
    {
        NiMemoryStream kStream(kFile.data(), static_cast<std::uint32_t>(kFile.size()));
        return m_kReader.ReadHeader(kStream, w, h, kFormat, bMip);
    }

    NiDDSReader m_kReader;
};

DdsHeader Rgb(std::uint32_t w, std::uint32_t h, std::uint32_t uiBits, std::uint32_t r, std::uint32_t g,
              std::uint32_t b, std::uint32_t a)
{
    DdsHeader d;
    d.uiWidth = w;
    d.uiHeight = h;
    d.uiPFFlags = 0x40 | (a ? 0x1 : 0);
    d.uiFourCC = 0;
    d.uiBitCount = uiBits;
    d.auiMasks[0] = r;
    d.auiMasks[1] = g;
    d.auiMasks[2] = b;
    d.auiMasks[3] = a;
    return d;
}

Bytes Counting(std::size_t n)
{
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<std::uint8_t>(i * 7 + 1);
    return b;
}
} // namespace

TEST_F(NiDDSReaderTest, BitReplication)
{
    EXPECT_EQ(NiDDSReader::Replicate(31, 0x1F), 255);
    EXPECT_EQ(NiDDSReader::Replicate(16, 0x1F), 132);
    EXPECT_EQ(NiDDSReader::Replicate(63 << 5, 0x7E0), 255);
    EXPECT_EQ(NiDDSReader::Replicate(0x8000, 0x8000), 255);
    EXPECT_EQ(NiDDSReader::Replicate(0x7FFF, 0x8000), 0);
    EXPECT_EQ(NiDDSReader::Replicate(0x5, 0xF), 0x55);
    EXPECT_EQ(NiDDSReader::Replicate(0xFFFFFFFF, 0), 0);
    EXPECT_EQ(NiDDSReader::Replicate(0x3FF << 10, 0x3FF << 10), 255);
    EXPECT_EQ(NiDDSReader::Replicate(0x200 << 10, 0x3FF << 10), 128);
}

TEST_F(NiDDSReaderTest, CompressedLevelsAreKept)
{
    const Bytes kBlock = Counting(8);
    NiPixelDataPtr spImage = ReadWith(m_kReader, DdsFile(DdsHeader{}, kBlock));
    ASSERT_TRUE(spImage);
    EXPECT_EQ(spImage->GetPixelFormat(), NiPixelFormat::DXT1);
    EXPECT_EQ(spImage->GetNumMipmapLevels(), 1u);
    EXPECT_EQ(PixelBytes(*spImage), kBlock);

    // 256 x 256 DXT5 with nine levels.
    DdsHeader d;
    d.uiWidth = d.uiHeight = 256;
    d.uiFourCC = FOURCC_DXT5;
    d.uiMipCount = 9;
    d.uiCaps1 = CAPS_COMPLEX | CAPS_TEXTURE | CAPS_MIPMAP;
    const Bytes kChain = Counting(87408);
    spImage = ReadWith(m_kReader, DdsFile(d, kChain));
    ASSERT_TRUE(spImage);
    EXPECT_EQ(spImage->GetPixelFormat(), NiPixelFormat::DXT5);
    ASSERT_EQ(spImage->GetNumMipmapLevels(), 9u);
    EXPECT_EQ(spImage->GetTotalSizeInBytes(), 87408u);
    EXPECT_EQ(PixelBytes(*spImage, 8), Bytes(kChain.end() - 16, kChain.end()));

    // Without the complex cap only the first level counts.
    d.uiCaps1 = CAPS_TEXTURE | CAPS_MIPMAP;
    spImage = ReadWith(m_kReader, DdsFile(d, kChain));
    ASSERT_TRUE(spImage);
    EXPECT_EQ(spImage->GetNumMipmapLevels(), 1u);
    EXPECT_EQ(PixelBytes(*spImage), Bytes(kChain.begin(), kChain.begin() + 65536));
}

TEST_F(NiDDSReaderTest, MipCountsOfOneZeroAndTooMany)
{
    DdsHeader d;
    d.uiCaps1 = CAPS_COMPLEX | CAPS_TEXTURE | CAPS_MIPMAP;
    std::uint32_t w, h;
    NiPixelFormat kFormat;
    bool bMip = true;
    for (std::uint32_t uiCount : {0u, 1u})
    {
        SCOPED_TRACE(uiCount);
        d.uiMipCount = uiCount;
        ASSERT_TRUE(Header(DdsFile(d, Counting(8)), w, h, kFormat, bMip));
        EXPECT_FALSE(bMip);
        NiPixelDataPtr spImage = ReadWith(m_kReader, DdsFile(d, Counting(8)));
        ASSERT_TRUE(spImage);
        EXPECT_EQ(spImage->GetNumMipmapLevels(), 1u);
    }
    d.uiMipCount = 3; // 4 x 4: 4, 2, 1
    ASSERT_TRUE(Header(DdsFile(d, Counting(24)), w, h, kFormat, bMip));
    EXPECT_TRUE(bMip);
    for (std::uint32_t uiCount : {4u, 0xFFFFFFFFu})
    {
        SCOPED_TRACE(uiCount);
        d.uiMipCount = uiCount;
        EXPECT_EQ(ReadWith(m_kReader, DdsFile(d, Counting(64))), nullptr);
    }
}

TEST_F(NiDDSReaderTest, SixteenBitFilesWidenByReplication)
{
    // A1R5G5B5: (31, 16, 0, 1) and (0, 31, 1, 0).
    const DdsHeader kArgb = Rgb(2, 1, 16, 0x7C00, 0x3E0, 0x1F, 0x8000);
    const std::uint16_t us0 = 0x8000 | (31 << 10) | (16 << 5);
    const std::uint16_t us1 = (31 << 5) | 1;
    const Bytes kFile = DdsFile(kArgb, {static_cast<std::uint8_t>(us0), static_cast<std::uint8_t>(us0 >> 8),
                                        static_cast<std::uint8_t>(us1), static_cast<std::uint8_t>(us1 >> 8)});
    NiPixelDataPtr spImage = ReadWith(m_kReader, kFile);
    ASSERT_TRUE(spImage);
    EXPECT_EQ(spImage->GetPixelFormat(), NiPixelFormat::RGBA32);
    EXPECT_EQ(PixelBytes(*spImage), (Bytes{255, 132, 0, 255, 0, 255, 8, 0}));
    std::uint32_t w, h;
    NiPixelFormat kFormat;
    bool bMip;
    ASSERT_TRUE(Header(kFile, w, h, kFormat, bMip));
    EXPECT_EQ(kFormat, NiPixelFormat::A1R5G5B5);
    ExpectEveryTruncationFails(m_kReader, kFile);

    const Bytes k565 = DdsFile(Rgb(1, 1, 16, 0xF800, 0x7E0, 0x1F, 0), {0xE0, 0x07});
    spImage = ReadWith(m_kReader, k565);
    ASSERT_TRUE(spImage);
    EXPECT_EQ(spImage->GetPixelFormat(), NiPixelFormat::RGB24);
    EXPECT_EQ(PixelBytes(*spImage), (Bytes{0, 255, 0}));
    ASSERT_TRUE(Header(k565, w, h, kFormat, bMip));
    EXPECT_EQ(kFormat, NiPixelFormat::R5G6B5);
}

TEST_F(NiDDSReaderTest, TwentyFourAndThirtyTwoBitFiles)
{
    NiPixelDataPtr spImage = ReadWith(m_kReader, DdsFile(Rgb(2, 1, 24, 0xFF0000, 0xFF00, 0xFF, 0), {1, 2, 3, 4, 5, 6}));
    ASSERT_TRUE(spImage);
    EXPECT_EQ(spImage->GetPixelFormat(), NiPixelFormat::RGB24);
    EXPECT_EQ(PixelBytes(*spImage), (Bytes{3, 2, 1, 6, 5, 4}));

    spImage = ReadWith(m_kReader, DdsFile(Rgb(2, 1, 24, 0xFF, 0xFF00, 0xFF0000, 0), {1, 2, 3, 4, 5, 6}));
    ASSERT_TRUE(spImage);
    EXPECT_EQ(PixelBytes(*spImage), (Bytes{1, 2, 3, 4, 5, 6}));

    // A8R8G8B8 stored as little-endian words: bytes B, G, R, A.
    spImage = ReadWith(m_kReader, DdsFile(Rgb(1, 1, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000), {1, 2, 3, 4}));
    ASSERT_TRUE(spImage);
    EXPECT_EQ(spImage->GetPixelFormat(), NiPixelFormat::RGBA32);
    EXPECT_EQ(PixelBytes(*spImage), (Bytes{3, 2, 1, 4}));

    // No alpha flag: alpha 255 whatever the fourth byte holds.
    spImage = ReadWith(m_kReader, DdsFile(Rgb(1, 1, 32, 0xFF0000, 0xFF00, 0xFF, 0), {1, 2, 3, 4}));
    ASSERT_TRUE(spImage);
    EXPECT_EQ(PixelBytes(*spImage), (Bytes{3, 2, 1, 255}));

    // Ten-bit channels keep their top eight bits.
    const std::uint32_t uiPixel = (0x3FFu << 20) | (0x200u << 10) | 0x001u;
    spImage = ReadWith(m_kReader, DdsFile(Rgb(1, 1, 32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000),
                                          {static_cast<std::uint8_t>(uiPixel), static_cast<std::uint8_t>(uiPixel >> 8),
                                           static_cast<std::uint8_t>(uiPixel >> 16),
                                           static_cast<std::uint8_t>(uiPixel >> 24)}));
    ASSERT_TRUE(spImage);
    EXPECT_EQ(PixelBytes(*spImage), (Bytes{255, 128, 0, 0}));
}

TEST_F(NiDDSReaderTest, RefusesWhatItCannotRead)
{
    struct Case
    {
        const char* pcWhy;
        Bytes kFile;
    };
    auto Patched = [](std::size_t uiAt, std::uint32_t uiValue) {
        Bytes b = DdsFile(DdsHeader{}, Counting(8));
        for (int i = 0; i < 4; ++i)
            b[uiAt + i] = static_cast<std::uint8_t>(uiValue >> (8 * i));
        return b;
    };
    DdsHeader kCube, kVolume, kDepth, kCode, kKind, kBits, kCaps, kZero, kHuge;
    kCube.uiCaps2 = 0x200 | 0xFC00;
    kVolume.uiCaps2 = 0x200000;
    kDepth.uiFlags = 0x1007 | 0x800000;
    kDepth.uiDepth = 2;
    kCode.uiFourCC = 0x32545844; // "DXT2"
    kKind.uiPFFlags = 0x2;
    kBits = Rgb(1, 1, 8, 0xE0, 0x1C, 0x3, 0);
    kCaps.uiCaps1 = 0x2;
    kZero.uiWidth = 0;
    kHuge.uiWidth = kHuge.uiHeight = 0x10000;
    const Case akCases[] = {
        {"magic", Patched(0, 0x20534445)},
        {"header size", Patched(4, 120)},
        {"flags", Patched(8, 0x1006)},
        {"cube map", DdsFile(kCube, Counting(48))},
        {"volume", DdsFile(kVolume, Counting(8))},
        {"depth", DdsFile(kDepth, Counting(16))},
        {"other code", DdsFile(kCode, Counting(16))},
        {"neither code nor RGB", DdsFile(kKind, Counting(16))},
        {"8-bit RGB", DdsFile(kBits, Counting(1))},
        {"no caps", DdsFile(kCaps, Counting(8))},
        {"zero width", DdsFile(kZero, Counting(8))},
        {"huge", DdsFile(kHuge, Counting(8))},
    };
    for (const Case& c : akCases)
    {
        SCOPED_TRACE(c.pcWhy);
        EXPECT_EQ(ReadWith(m_kReader, c.kFile), nullptr);
    }
    // The largest image the readers make, with no pixels behind it.
    EXPECT_EQ(ReadWith(m_kReader, DdsFile(Rgb(16384, 4096, 32, 0xFF, 0xFF00, 0xFF0000, 0), Counting(64))), nullptr);
    // A depth of 0 with the depth flag is an ordinary texture.
    kDepth.uiDepth = 0;
    EXPECT_TRUE(ReadWith(m_kReader, DdsFile(kDepth, Counting(8))));
}

TEST_F(NiDDSReaderTest, DamagedFilesFailCleanly)
{
    DdsHeader kChain;
    kChain.uiWidth = 8;
    kChain.uiHeight = 4;
    kChain.uiMipCount = 4;
    kChain.uiCaps1 = CAPS_COMPLEX | CAPS_TEXTURE | CAPS_MIPMAP;
    const std::vector<Bytes> kSeeds = {
        DdsFile(kChain, Counting(16 + 8 + 8 + 8)),
        DdsFile(Rgb(3, 2, 16, 0x7C00, 0x3E0, 0x1F, 0x8000), Counting(12)),
        DdsFile(Rgb(3, 2, 32, 0xFF0000, 0xFF00, 0xFF, 0), Counting(24)),
        DdsFile(Rgb(3, 2, 24, 0xFF0000, 0xFF00, 0xFF, 0), Counting(18)),
    };
    for (const Bytes& kSeed : kSeeds)
    {
        ASSERT_TRUE(ReadWith(m_kReader, kSeed));
        ExpectEveryTruncationFails(m_kReader, kSeed);
    }
    MutateAndRead(m_kReader, kSeeds, 3000, 99);
}

TEST_F(NiDDSReaderTest, HeaderPromisingMoreThanTheFileHoldsIsRefusedBeforeAllocating)
{
    DdsHeader kRgb;
    kRgb.uiWidth = PROMISED_SIDE;
    kRgb.uiHeight = PROMISED_SIDE;
    kRgb.uiPFFlags = 0x40 | 0x1;
    kRgb.uiFourCC = 0;
    kRgb.uiBitCount = 32;
    kRgb.auiMasks[0] = 0xFF0000;
    kRgb.auiMasks[1] = 0xFF00;
    kRgb.auiMasks[2] = 0xFF;
    kRgb.auiMasks[3] = 0xFF000000;
    ExpectRefusedBeforeAllocating(m_kReader, DdsFile(kRgb, {}));
    kRgb.uiBitCount = 24;
    kRgb.uiPFFlags = 0x40;
    kRgb.auiMasks[3] = 0;
    ExpectRefusedBeforeAllocating(m_kReader, DdsFile(kRgb, Bytes(PROMISED_SIDE * 3u, 5)));

    // Compressed, with a whole level 0 but not the chain the header asks for.
    DdsHeader kDxt;
    kDxt.uiWidth = 2048;
    kDxt.uiHeight = 2048;
    ExpectRefusedBeforeAllocating(m_kReader, DdsFile(kDxt, {}));
    kDxt.uiMipCount = 12;
    kDxt.uiCaps1 = 0x1000 | 0x8 | 0x400000;
    ExpectRefusedBeforeAllocating(m_kReader, DdsFile(kDxt, Bytes(2048u * 2048u / 2u, 0)));
}
