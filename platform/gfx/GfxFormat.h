#pragma once
// Facts about D3DFORMAT values: bits per pixel (the published table 0-117),
// enumerator names, memory layout (pitch, level size, block compression),
// and packing of clear colours and depth values into a format's bytes.

#include "platform/gfx/GfxTypes.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace gfx {

// Bits per pixel of the D3DFORMAT values 0 to 117 (0 where a value has none);
// 0 for 118 and above. Four-character-code formats: see FormatBlockBytes.
[[nodiscard]] std::uint32_t FormatBitsPerPixel(D3DFORMAT format);
// The enumerator name ("D3DFMT_A8R8G8B8"), or "UNKNOWN" for a value that has none.
[[nodiscard]] std::string_view FormatName(D3DFORMAT format);

[[nodiscard]] bool IsCompressedFormat(D3DFORMAT format); // DXT1-5
[[nodiscard]] bool IsDepthFormat(D3DFORMAT format);      // the nine depth formats
[[nodiscard]] bool FormatHasStencil(D3DFORMAT format);
// The six colour formats of back buffers and display modes.
[[nodiscard]] bool IsRenderTargetColorFormat(D3DFORMAT format);
// Formats of created render targets and render-target textures: the six
// colour formats and the six float formats (OpenGL 3.3 draws into each).
[[nodiscard]] bool IsCreatedTargetFormat(D3DFORMAT format);
// Formats the device accepts for textures: the six colour formats, DXT1/3/5,
// the three bump formats and the six float formats.
[[nodiscard]] bool IsTextureFormat(D3DFORMAT format);
// Signed du/dv texels, with or without luminance: V8U8, L6V5U5, X8L8V8U8.
[[nodiscard]] bool IsBumpFormat(D3DFORMAT format);
// Half or single floats per channel, red first in memory: R16F, G16R16F,
// A16B16G16R16F, R32F, G32R32F, A32B32G32R32F.
[[nodiscard]] bool IsFloatFormat(D3DFORMAT format);
// Depth formats the device creates: D16, D24X8, D24S8.
[[nodiscard]] bool IsSupportedDepthFormat(D3DFORMAT format);

// Bytes per row of a level: width x bytes per pixel, or for DXT blocks per row
// (at least one) x 8 (DXT1) or 16 (DXT2-5).
[[nodiscard]] std::uint32_t FormatPitch(D3DFORMAT format, std::uint32_t width);
// Number of rows in memory: height, or block rows for DXT.
[[nodiscard]] std::uint32_t FormatRows(D3DFORMAT format, std::uint32_t height);
[[nodiscard]] std::size_t FormatLevelSize(D3DFORMAT format, std::uint32_t width, std::uint32_t height);

// Writes a 0xAARRGGBB colour into one pixel of the format (truncating each
// channel to its width); returns the pixel's byte count, 0 for formats it cannot pack.
std::uint32_t PackColor(D3DFORMAT format, D3DCOLOR color, std::uint8_t* out);
// Depth z in 0..1 and stencil into one pixel of a depth format: the stencil
// is taken only when mask says so (existing bits kept otherwise).
void PackDepthStencil(D3DFORMAT format, float z, std::uint32_t stencil, bool writeDepth, bool writeStencil,
                      std::uint8_t* pixel);

} // namespace gfx
