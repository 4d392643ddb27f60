#include "platform/gfx/GfxFormat.h"

#include <gtest/gtest.h>

using namespace gfx;

TEST(GfxFormat, BitsPerPixelFollowTheTable) {
    EXPECT_EQ(FormatBitsPerPixel(D3DFMT_R8G8B8), 24u);
    EXPECT_EQ(FormatBitsPerPixel(D3DFMT_A8R8G8B8), 32u);
    EXPECT_EQ(FormatBitsPerPixel(D3DFMT_R5G6B5), 16u);
    EXPECT_EQ(FormatBitsPerPixel(D3DFMT_P8), 8u);
    EXPECT_EQ(FormatBitsPerPixel(D3DFMT_D16), 16u);
    EXPECT_EQ(FormatBitsPerPixel(D3DFMT_D24S8), 32u);
    EXPECT_EQ(FormatBitsPerPixel(D3DFMT_A16B16G16R16), 64u);
    EXPECT_EQ(FormatBitsPerPixel(D3DFMT_A32B32G32R32F), 128u);
    EXPECT_EQ(FormatBitsPerPixel(D3DFMT_CxV8U8), 16u);
    EXPECT_EQ(FormatBitsPerPixel(D3DFMT_VERTEXDATA), 0u);
    EXPECT_EQ(FormatBitsPerPixel(D3DFMT_UNKNOWN), 0u);
    EXPECT_EQ(FormatBitsPerPixel(19), 0u);  // no format has this value
    EXPECT_EQ(FormatBitsPerPixel(118), 0u); // past the table
    EXPECT_EQ(FormatBitsPerPixel(D3DFMT_DXT1), 0u);
}

TEST(GfxFormat, NamesAreTheEnumeratorNames) {
    EXPECT_EQ(FormatName(D3DFMT_A8R8G8B8), "D3DFMT_A8R8G8B8");
    EXPECT_EQ(FormatName(D3DFMT_DXT1), "D3DFMT_DXT1");
    EXPECT_EQ(FormatName(D3DFMT_D24X8), "D3DFMT_D24X8");
    EXPECT_EQ(FormatName(D3DFMT_INDEX16), "D3DFMT_INDEX16");
    EXPECT_EQ(FormatName(12345), "UNKNOWN");
}

TEST(GfxFormat, PublishedCodes) {
    EXPECT_EQ(D3DFMT_DXT1, 0x31545844u);
    EXPECT_EQ(D3DFMT_DXT5, 0x35545844u);
    EXPECT_EQ(D3DFMT_X8R8G8B8, 22u);
    EXPECT_EQ(D3DFMT_D24S8, 75u);
    EXPECT_EQ(std::uint32_t(D3DERR_INVALIDCALL), 0x8876086Cu);
    EXPECT_EQ(std::uint32_t(D3DERR_DEVICELOST), 0x88760868u);
    EXPECT_EQ(std::uint32_t(D3DERR_DEVICENOTRESET), 0x88760869u);
    EXPECT_EQ(std::uint32_t(D3DERR_NOTAVAILABLE), 0x8876086Au);
    EXPECT_EQ(D3DVS_VERSION(1, 1), 0xFFFE0101u);
    EXPECT_EQ(D3DPS_VERSION(2, 0), 0xFFFF0200u);
    EXPECT_EQ(D3DFVF_TEXn(3), 0x300u);
}

TEST(GfxFormat, PitchesInBlocksForCompressedFormats) {
    EXPECT_EQ(FormatPitch(D3DFMT_DXT1, 256), 512u);
    EXPECT_EQ(FormatPitch(D3DFMT_DXT3, 256), 1024u);
    EXPECT_EQ(FormatPitch(D3DFMT_DXT5, 2), 16u); // one block at least
    EXPECT_EQ(FormatRows(D3DFMT_DXT1, 6), 2u);
    EXPECT_EQ(FormatPitch(D3DFMT_A8R8G8B8, 10), 40u);
    EXPECT_EQ(FormatPitch(D3DFMT_R5G6B5, 3), 6u);
    EXPECT_EQ(FormatLevelSize(D3DFMT_DXT1, 8, 8), 32u);
}

TEST(GfxFormat, PackColorTruncatesEachChannel) {
    std::uint8_t px[4] = {};
    ASSERT_EQ(PackColor(D3DFMT_R5G6B5, 0xFFFF0000u, px), 2u);
    EXPECT_EQ(px[0] | (px[1] << 8), 0xF800);
    PackColor(D3DFMT_A1R5G5B5, 0x8000FF00u, px);
    EXPECT_EQ(px[0] | (px[1] << 8), 0x83E0);
    PackColor(D3DFMT_A4R4G4B4, 0x12345678u, px);
    EXPECT_EQ(px[0] | (px[1] << 8), 0x1357);
    ASSERT_EQ(PackColor(D3DFMT_A8R8G8B8, 0x11223344u, px), 4u);
    EXPECT_EQ(px[0], 0x44);
    EXPECT_EQ(px[3], 0x11);
}
