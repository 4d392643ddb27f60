#pragma once
// Texels the `gl` back end cannot hand to OpenGL as they are stored: block
// volumes (OpenGL makes no 3-D texture of S3TC blocks) and the bump formats
// with luminance (no OpenGL format mixes signed and unsigned channels).

#include "platform/gfx/GfxTypes.h"

#include <cstdint>

namespace gfx {

// DXT1/3/5 blocks of a w x h image (rows of 4x4 blocks) into w x h texels of
// B, G, R, A bytes.
void DecodeDxtBlocks(D3DFORMAT format, const std::uint8_t* blocks, std::uint32_t width, std::uint32_t height,
                     std::uint8_t* bgra);

// V8U8, L6V5U5 or X8L8V8U8 rows (at `pitch`) into texels of four signed
// normalised shorts: du, dv, luminance (1 where the format has none), 1.
void ExpandBumpTexels(D3DFORMAT format, const std::uint8_t* rows, std::uint32_t pitch, std::uint32_t width,
                      std::uint32_t height, std::int16_t* out);

} // namespace gfx
