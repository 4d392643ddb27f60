// Texels converted on their way to OpenGL: S3TC blocks of volumes unpacked
// to B, G, R, A bytes, and bump texels to signed shorts, against values
// worked out by hand from the block and field layouts.
#include "platform/gfx/GfxTexelConvert.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

using namespace gfx;

namespace {

std::array<std::uint8_t, 4> At(const std::vector<std::uint8_t>& bgra, std::uint32_t width, std::uint32_t x,
                               std::uint32_t y) {
    const std::size_t i = (std::size_t(y) * width + x) * 4;
    return {bgra[i], bgra[i + 1], bgra[i + 2], bgra[i + 3]};
}

} // namespace

TEST(GfxTexelConvert, Dxt1FourAndThreeColourBlocks) {
    // c0 = pure red (0xF800) > c1 = pure blue (0x001F): four colours; the
    // row indices 0, 1, 2, 3 give red, blue, 2/3 red + 1/3 blue, 1/3 + 2/3.
    const std::uint8_t four[8] = {0x00, 0xF8, 0x1F, 0x00, 0xE4, 0xE4, 0xE4, 0xE4};
    std::vector<std::uint8_t> out(16 * 4);
    DecodeDxtBlocks(D3DFMT_DXT1, four, 4, 4, out.data());
    EXPECT_EQ(At(out, 4, 0, 0), (std::array<std::uint8_t, 4>{0, 0, 255, 255}));
    EXPECT_EQ(At(out, 4, 1, 0), (std::array<std::uint8_t, 4>{255, 0, 0, 255}));
    EXPECT_EQ(At(out, 4, 2, 3), (std::array<std::uint8_t, 4>{85, 0, 170, 255}));
    EXPECT_EQ(At(out, 4, 3, 3), (std::array<std::uint8_t, 4>{170, 0, 85, 255}));
    // c0 <= c1: three colours, and index 3 is transparent black.
    const std::uint8_t three[8] = {0x1F, 0x00, 0x00, 0xF8, 0xE4, 0xE4, 0xE4, 0xE4};
    DecodeDxtBlocks(D3DFMT_DXT1, three, 4, 4, out.data());
    EXPECT_EQ(At(out, 4, 2, 0), (std::array<std::uint8_t, 4>{127, 0, 127, 255}));
    EXPECT_EQ(At(out, 4, 3, 0), (std::array<std::uint8_t, 4>{0, 0, 0, 0}));
}

TEST(GfxTexelConvert, Dxt3AndDxt5Alpha) {
    // DXT3: four bits a texel, low nibble first; colour block white.
    std::uint8_t dxt3[16] = {0x10, 0xF0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
    std::vector<std::uint8_t> out(16 * 4);
    DecodeDxtBlocks(D3DFMT_DXT3, dxt3, 4, 4, out.data());
    EXPECT_EQ(At(out, 4, 0, 0)[3], 0);
    EXPECT_EQ(At(out, 4, 1, 0)[3], 17);
    EXPECT_EQ(At(out, 4, 2, 0)[3], 0);
    EXPECT_EQ(At(out, 4, 3, 0)[3], 255);
    EXPECT_EQ(At(out, 4, 1, 0)[0], 255);
    // DXT5 with a0 > a1: eight steps; texel 0 index 0 (a0), texel 1 index 1
    // (a1), texel 2 index 2 ((6 a0 + a1) / 7). Three bits a texel: 0b010'001'000.
    std::uint8_t dxt5[16] = {210, 0, 0x88, 0x00, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
    DecodeDxtBlocks(D3DFMT_DXT5, dxt5, 4, 4, out.data());
    EXPECT_EQ(At(out, 4, 0, 0)[3], 210);
    EXPECT_EQ(At(out, 4, 1, 0)[3], 0);
    EXPECT_EQ(At(out, 4, 2, 0)[3], 180);
    // a0 <= a1: six steps, then 0 and 255 for indices 6 and 7 (texels 0 and 1).
    std::uint8_t dxt5b[16] = {0, 100, 0x7E, 0x00, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
    DecodeDxtBlocks(D3DFMT_DXT5, dxt5b, 4, 4, out.data());
    EXPECT_EQ(At(out, 4, 0, 0)[3], 0);
    EXPECT_EQ(At(out, 4, 1, 0)[3], 255);
}

TEST(GfxTexelConvert, BlocksOfALevelSmallerThanABlockAndOfSeveralBlocks) {
    // 6 x 2: two blocks across, red then green; only the texels inside are written.
    const std::uint8_t blocks[16] = {0x00, 0xF8, 0x00, 0xF8, 0, 0, 0, 0, 0xE0, 0x07, 0xE0, 0x07, 0, 0, 0, 0};
    std::vector<std::uint8_t> out(6 * 2 * 4, 0xAB);
    DecodeDxtBlocks(D3DFMT_DXT1, blocks, 6, 2, out.data());
    EXPECT_EQ(At(out, 6, 3, 1), (std::array<std::uint8_t, 4>{0, 0, 255, 255}));
    EXPECT_EQ(At(out, 6, 4, 0), (std::array<std::uint8_t, 4>{0, 255, 0, 255}));
    EXPECT_EQ(At(out, 6, 5, 1), (std::array<std::uint8_t, 4>{0, 255, 0, 255}));
}

TEST(GfxTexelConvert, BumpFieldsAreSignedLuminanceUnsigned) {
    // V8U8: u low byte; 127 is 1, -127 and -128 are -1; no luminance: 1.
    const std::uint8_t v8u8[4] = {0x7F, 0x81, 0x80, 0x00};
    std::int16_t out[8];
    ExpandBumpTexels(D3DFMT_V8U8, v8u8, 4, 2, 1, out);
    EXPECT_EQ(out[0], 32767);
    EXPECT_EQ(out[1], -32767);
    EXPECT_EQ(out[2], 32767);
    EXPECT_EQ(out[4], -32767);
    EXPECT_EQ(out[5], 0);
    // L6V5U5: u bits 0-4, v 5-9 (signed), l 10-15: u = 15, v = -15, l = 63.
    const std::uint16_t l6 = std::uint16_t(15 | (17u << 5) | (63u << 10));
    const std::uint8_t l6v5u5[2] = {std::uint8_t(l6 & 0xFF), std::uint8_t(l6 >> 8)};
    ExpandBumpTexels(D3DFMT_L6V5U5, l6v5u5, 2, 1, 1, out);
    EXPECT_EQ(out[0], 32767);
    EXPECT_EQ(out[1], -32767);
    EXPECT_EQ(out[2], 32767);
    // X8L8V8U8: u, v signed bytes, l unsigned; the X byte never read. Row pitch wider than the row.
    const std::uint8_t x8[8] = {0x40, 0xC0, 0x80, 0x55, 0, 0, 0, 0};
    ExpandBumpTexels(D3DFMT_X8L8V8U8, x8, 8, 1, 1, out);
    EXPECT_EQ(out[0], 64 * 32767 / 127);
    EXPECT_EQ(out[1], -64 * 32767 / 127);
    EXPECT_EQ(out[2], 128 * 32767 / 255);
    EXPECT_EQ(out[3], 32767);
}
