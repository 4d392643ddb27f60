#include "platform/gfx/GfxTexelConvert.h"

#include <algorithm>
#include <cstring>

namespace gfx {
namespace {

std::uint32_t Word16(const std::uint8_t* p) { return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8); }

// The four colours of a colour block as B, G, R, A; `threeColour` lets
// DXT1's ordering choose three colours and transparent black.
void BlockColours(const std::uint8_t* block, bool threeColour, std::uint8_t out[4][4]) {
    const std::uint32_t c0 = Word16(block), c1 = Word16(block + 2);
    auto expand = [](std::uint32_t c, std::uint8_t bgra[4]) {
        const std::uint32_t r = (c >> 11) & 31, g = (c >> 5) & 63, b = c & 31;
        bgra[0] = std::uint8_t((b << 3) | (b >> 2));
        bgra[1] = std::uint8_t((g << 2) | (g >> 4));
        bgra[2] = std::uint8_t((r << 3) | (r >> 2));
        bgra[3] = 255;
    };
    expand(c0, out[0]);
    expand(c1, out[1]);
    for (int k = 0; k < 3; ++k) {
        if (threeColour && c0 <= c1) {
            out[2][k] = std::uint8_t((out[0][k] + out[1][k]) / 2);
            out[3][k] = 0;
        } else {
            out[2][k] = std::uint8_t((2 * out[0][k] + out[1][k]) / 3);
            out[3][k] = std::uint8_t((out[0][k] + 2 * out[1][k]) / 3);
        }
    }
    out[2][3] = 255;
    out[3][3] = threeColour && c0 <= c1 ? 0 : 255;
}

// Signed `bits`-bit field to -1..1 in shorts (the most negative clamps to -1).
std::int16_t Signed(std::uint32_t v, int bits) {
    const int max = (1 << (bits - 1)) - 1;
    int s = int(v & ((1u << bits) - 1));
    if (s > max) s -= 1 << bits;
    s = std::max(s, -max);
    return std::int16_t(s * 32767 / max);
}

std::int16_t Unsigned(std::uint32_t v, int bits) {
    const int max = (1 << bits) - 1;
    return std::int16_t(int(v & std::uint32_t(max)) * 32767 / max);
}

} // namespace

void DecodeDxtBlocks(D3DFORMAT format, const std::uint8_t* blocks, std::uint32_t width, std::uint32_t height,
                     std::uint8_t* bgra) {
    const std::uint32_t blockBytes = format == D3DFMT_DXT1 ? 8 : 16;
    const std::uint32_t across = std::max(1u, (width + 3) / 4), down = std::max(1u, (height + 3) / 4);
    for (std::uint32_t by = 0; by < down; ++by)
        for (std::uint32_t bx = 0; bx < across; ++bx) {
            const std::uint8_t* block = blocks + (std::size_t(by) * across + bx) * blockBytes;
            const std::uint8_t* colour = format == D3DFMT_DXT1 ? block : block + 8;
            std::uint8_t palette[4][4];
            BlockColours(colour, format == D3DFMT_DXT1, palette);
            std::uint8_t alpha[16];
            for (int i = 0; i < 16; ++i) alpha[i] = 255;
            if (format == D3DFMT_DXT3) {
                for (int i = 0; i < 16; ++i) {
                    const std::uint32_t nibble = (block[i / 2] >> ((i % 2) * 4)) & 15;
                    alpha[i] = std::uint8_t(nibble * 17);
                }
            } else if (format == D3DFMT_DXT5) {
                const std::uint32_t a0 = block[0], a1 = block[1];
                std::uint8_t ramp[8] = {std::uint8_t(a0), std::uint8_t(a1)};
                for (int k = 1; k < 7; ++k) {
                    if (a0 > a1)
                        ramp[k + 1] = std::uint8_t(((7 - k) * a0 + k * a1) / 7);
                    else if (k < 5)
                        ramp[k + 1] = std::uint8_t(((5 - k) * a0 + k * a1) / 5);
                }
                if (a0 <= a1) {
                    ramp[6] = 0;
                    ramp[7] = 255;
                }
                std::uint64_t bits = 0;
                for (int k = 0; k < 6; ++k) bits |= std::uint64_t(block[2 + k]) << (8 * k);
                for (int i = 0; i < 16; ++i) alpha[i] = ramp[(bits >> (3 * i)) & 7];
            }
            const std::uint32_t indices = Word16(colour + 4) | (Word16(colour + 6) << 16);
            for (std::uint32_t y = 0; y < 4; ++y)
                for (std::uint32_t x = 0; x < 4; ++x) {
                    const std::uint32_t px = bx * 4 + x, py = by * 4 + y;
                    if (px >= width || py >= height) continue;
                    const std::uint32_t i = y * 4 + x;
                    std::uint8_t* out = bgra + (std::size_t(py) * width + px) * 4;
                    std::memcpy(out, palette[(indices >> (2 * i)) & 3], 4);
                    if (format != D3DFMT_DXT1) out[3] = alpha[i];
                }
        }
}

void ExpandBumpTexels(D3DFORMAT format, const std::uint8_t* rows, std::uint32_t pitch, std::uint32_t width,
                      std::uint32_t height, std::int16_t* out) {
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::uint8_t* row = rows + std::size_t(y) * pitch;
        for (std::uint32_t x = 0; x < width; ++x, out += 4) {
            out[3] = 32767;
            if (format == D3DFMT_L6V5U5) {
                const std::uint32_t v = Word16(row + 2 * x);
                out[0] = Signed(v, 5);
                out[1] = Signed(v >> 5, 5);
                out[2] = Unsigned(v >> 10, 6);
            } else if (format == D3DFMT_X8L8V8U8) {
                out[0] = Signed(row[4 * x], 8);
                out[1] = Signed(row[4 * x + 1], 8);
                out[2] = Unsigned(row[4 * x + 2], 8);
            } else { // V8U8
                out[0] = Signed(row[2 * x], 8);
                out[1] = Signed(row[2 * x + 1], 8);
                out[2] = 32767;
            }
        }
    }
}

} // namespace gfx
