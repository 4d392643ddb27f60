#include "engine/render/image/NiPixelFormat.h"

#include "engine/core/NiObjectStream.h"

#include <gtest/gtest.h>

namespace
{
struct Golden
{
    const char* pcName;
    const NiPixelFormat& kFormat;
    std::uint32_t uiDescriptor;
    std::uint32_t uiShift;
};
} // namespace

TEST(NiPixelFormat, StandardFormatsHaveTheirPackedWords)
{
    const Golden akGolden[] = {
        {"RGB24", NiPixelFormat::RGB24, 0x00820860, 0x00100800},
        {"RGBA32", NiPixelFormat::RGBA32, 0x20820881, 0x18100800},
        {"R5G6B5", NiPixelFormat::R5G6B5, 0x00518540, 0x0000050B},
        {"A1R5G5B5", NiPixelFormat::A1R5G5B5, 0x04514541, 0x0F00050A},
        {"PAL4", NiPixelFormat::PAL4, 0xA2, 0},
        {"PALA4", NiPixelFormat::PALA4, 0xA3, 0},
        {"PAL8", NiPixelFormat::PAL8, 0x22, 0},
        {"PALA8", NiPixelFormat::PALA8, 0x23, 0},
        {"DXT1", NiPixelFormat::DXT1, 4, 0},
        {"DXT3", NiPixelFormat::DXT3, 5, 0},
        {"DXT5", NiPixelFormat::DXT5, 6, 0},
    };
    for (const Golden& g : akGolden)
    {
        SCOPED_TRACE(g.pcName);
        EXPECT_EQ(g.kFormat.GetDescriptor(), g.uiDescriptor);
        EXPECT_EQ(g.kFormat.GetShiftWord(), g.uiShift);
        EXPECT_EQ(g.kFormat.GetFlags(), 0u);
    }
    EXPECT_EQ(NiPixelFormat::A3R4G4B4.GetChannelBits(NiPixelFormat::ALPHA), 3u);
    EXPECT_EQ(NiPixelFormat::A3R4G4B4.GetChannelShift(NiPixelFormat::ALPHA), 12u);
    EXPECT_EQ(NiPixelFormat::BUMPLUMA32.GetKind(), NiPixelFormat::BUMP_LUMA);
    EXPECT_EQ(NiPixelFormat::BUMP16.GetKind(), NiPixelFormat::BUMP);
    EXPECT_TRUE(NiPixelFormat::PALA4.IsPalettized());
    EXPECT_TRUE(NiPixelFormat::DXT5.IsCompressed());
    EXPECT_FALSE(NiPixelFormat::RGBA32.IsCompressed());
}

TEST(NiPixelFormat, EqualityComparesDescriptorAndShiftOnly)
{
    const NiPixelFormat kWide(0xFF, 0xFF00, 0xFF0000, 0, 32);
    EXPECT_EQ(kWide.GetDescriptor(), 0x00820880u);
    EXPECT_NE(kWide, NiPixelFormat::RGB24);

    NiPixelFormat kFlagged = NiPixelFormat::RGB24;
    kFlagged.SetFlags(7);
    EXPECT_EQ(kFlagged, NiPixelFormat::RGB24);

    // Same packed words from different masks: equal by design.
    const NiPixelFormat kGappy(0x0F0F, 0, 0, 0, 16);
    const NiPixelFormat kLowRun(0x000F, 0, 0, 0, 16);
    EXPECT_EQ(kGappy.GetChannelBits(0), 4u);
    EXPECT_EQ(kGappy.GetChannelShift(0), 0u);
    EXPECT_EQ(kGappy, kLowRun);
}

TEST(NiPixelFormat, InitFromKindBuildsEachKind)
{
    EXPECT_EQ(NiPixelFormat(NiPixelFormat::RGB, 0), NiPixelFormat::RGB24);
    EXPECT_EQ(NiPixelFormat(NiPixelFormat::PALETTE_ALPHA, 0), NiPixelFormat::PALA8);
    EXPECT_EQ(NiPixelFormat(NiPixelFormat::DXT3_KIND, 99), NiPixelFormat::DXT3);
    const NiPixelFormat kPlanar(NiPixelFormat::RGB_PLANAR, 0);
    EXPECT_EQ(kPlanar.GetDescriptor(), 7u | (3u << 5));
    EXPECT_EQ(kPlanar.GetBitsPerPixel(), 24u);
    const NiPixelFormat kSize(NiPixelFormat::SIZE_ONLY, 64);
    EXPECT_EQ(kSize.GetDescriptor(), 10u | (6u << 5));
    const NiPixelFormat kOdd(NiPixelFormat::SIZE_ONLY, 12);
    EXPECT_EQ(kOdd.GetDescriptor(), 10u);

    NiPixelFormat kKept = NiPixelFormat::R5G6B5;
    kKept.InitFromKind(42, 8);
    EXPECT_EQ(kKept, NiPixelFormat::R5G6B5);

    // Bump layouts only know 4, 16, 24 and 32 bits.
    NiPixelFormat kBump;
    kBump.InitFormat8Or9(0xFF, 0xFF00, 0, 8);
    EXPECT_EQ(kBump.GetDescriptor() >> 5 & 7, 0u);
    kBump.InitFormat8Or9(0xFF, 0xFF00, 0, 24);
    EXPECT_EQ(kBump.GetDescriptor() >> 5 & 7, 3u);
}

TEST(NiPixelFormat, OldRecordsAreFixedUp)
{
    const std::uint32_t auiKindFlag[8] = {0x10001, 0xFF, 0xFF00, 0xFF0000, 0xFF000000, 32, 0x20820881, 0x18100800};
    const NiPixelFormat kFlag = NiPixelFormat::FromRecord(auiKindFlag, 0, NiStreamVersion(10, 0, 1, 0));
    EXPECT_EQ(kFlag.GetKind(), 1u);
    EXPECT_EQ(kFlag.GetFlags(), 1u);

    // Only that one version carried the flag in the kind.
    const NiPixelFormat kOther = NiPixelFormat::FromRecord(auiKindFlag, 0, NiStreamVersion(10, 0, 1, 11));
    EXPECT_EQ(kOther.GetKind(), 0x10001u);

    const std::uint32_t uiFiveBit = 0 | (8u << 5) | (16u << 10) | (24u << 15);
    const std::uint32_t auiShifts[8] = {1, 0xFF, 0xFF00, 0xFF0000, 0xFF000000, 32, 0x20820881, uiFiveBit};
    const NiPixelFormat kOld = NiPixelFormat::FromRecord(auiShifts, 0, NiStreamVersion(10, 1, 0, 102));
    EXPECT_EQ(kOld.GetShiftWord(), 0x18100800u);
    EXPECT_EQ(kOld, NiPixelFormat::RGBA32);
    const NiPixelFormat kNew = NiPixelFormat::FromRecord(auiShifts, 3, NiStreamVersion(10, 1, 0, 103));
    EXPECT_EQ(kNew.GetShiftWord(), uiFiveBit);
    EXPECT_EQ(kNew.GetFlags(), 3u);
}
