#include "platform/gfx/GfxFormat.h"

#include <algorithm>
#include <cstring>

namespace gfx {
namespace {

struct FormatFact {
    D3DFORMAT format;
    std::uint32_t bits;
    std::string_view name;
};

// One row per named D3DFORMAT value; bits per pixel as the published table gives them.
constexpr FormatFact kFormats[] = {
    {D3DFMT_UNKNOWN, 0, "D3DFMT_UNKNOWN"},
    {D3DFMT_R8G8B8, 24, "D3DFMT_R8G8B8"},
    {D3DFMT_A8R8G8B8, 32, "D3DFMT_A8R8G8B8"},
    {D3DFMT_X8R8G8B8, 32, "D3DFMT_X8R8G8B8"},
    {D3DFMT_R5G6B5, 16, "D3DFMT_R5G6B5"},
    {D3DFMT_X1R5G5B5, 16, "D3DFMT_X1R5G5B5"},
    {D3DFMT_A1R5G5B5, 16, "D3DFMT_A1R5G5B5"},
    {D3DFMT_A4R4G4B4, 16, "D3DFMT_A4R4G4B4"},
    {D3DFMT_R3G3B2, 8, "D3DFMT_R3G3B2"},
    {D3DFMT_A8, 8, "D3DFMT_A8"},
    {D3DFMT_A8R3G3B2, 16, "D3DFMT_A8R3G3B2"},
    {D3DFMT_X4R4G4B4, 16, "D3DFMT_X4R4G4B4"},
    {D3DFMT_A2B10G10R10, 32, "D3DFMT_A2B10G10R10"},
    {D3DFMT_A8B8G8R8, 32, "D3DFMT_A8B8G8R8"},
    {D3DFMT_X8B8G8R8, 32, "D3DFMT_X8B8G8R8"},
    {D3DFMT_G16R16, 32, "D3DFMT_G16R16"},
    {D3DFMT_A2R10G10B10, 32, "D3DFMT_A2R10G10B10"},
    {D3DFMT_A16B16G16R16, 64, "D3DFMT_A16B16G16R16"},
    {D3DFMT_A8P8, 16, "D3DFMT_A8P8"},
    {D3DFMT_P8, 8, "D3DFMT_P8"},
    {D3DFMT_L8, 8, "D3DFMT_L8"},
    {D3DFMT_A8L8, 16, "D3DFMT_A8L8"},
    {D3DFMT_A4L4, 8, "D3DFMT_A4L4"},
    {D3DFMT_V8U8, 16, "D3DFMT_V8U8"},
    {D3DFMT_L6V5U5, 16, "D3DFMT_L6V5U5"},
    {D3DFMT_X8L8V8U8, 32, "D3DFMT_X8L8V8U8"},
    {D3DFMT_Q8W8V8U8, 32, "D3DFMT_Q8W8V8U8"},
    {D3DFMT_V16U16, 32, "D3DFMT_V16U16"},
    {D3DFMT_A2W10V10U10, 32, "D3DFMT_A2W10V10U10"},
    {D3DFMT_D16_LOCKABLE, 16, "D3DFMT_D16_LOCKABLE"},
    {D3DFMT_D32, 32, "D3DFMT_D32"},
    {D3DFMT_D15S1, 16, "D3DFMT_D15S1"},
    {D3DFMT_D24S8, 32, "D3DFMT_D24S8"},
    {D3DFMT_D24X8, 32, "D3DFMT_D24X8"},
    {D3DFMT_D24X4S4, 32, "D3DFMT_D24X4S4"},
    {D3DFMT_D16, 16, "D3DFMT_D16"},
    {D3DFMT_L16, 16, "D3DFMT_L16"},
    {D3DFMT_D32F_LOCKABLE, 32, "D3DFMT_D32F_LOCKABLE"},
    {D3DFMT_D24FS8, 32, "D3DFMT_D24FS8"},
    {D3DFMT_VERTEXDATA, 0, "D3DFMT_VERTEXDATA"},
    {D3DFMT_INDEX16, 16, "D3DFMT_INDEX16"},
    {D3DFMT_INDEX32, 32, "D3DFMT_INDEX32"},
    {D3DFMT_Q16W16V16U16, 64, "D3DFMT_Q16W16V16U16"},
    {D3DFMT_R16F, 16, "D3DFMT_R16F"},
    {D3DFMT_G16R16F, 32, "D3DFMT_G16R16F"},
    {D3DFMT_A16B16G16R16F, 64, "D3DFMT_A16B16G16R16F"},
    {D3DFMT_R32F, 32, "D3DFMT_R32F"},
    {D3DFMT_G32R32F, 64, "D3DFMT_G32R32F"},
    {D3DFMT_A32B32G32R32F, 128, "D3DFMT_A32B32G32R32F"},
    {D3DFMT_CxV8U8, 16, "D3DFMT_CxV8U8"},
    {D3DFMT_UYVY, 0, "D3DFMT_UYVY"},
    {D3DFMT_R8G8_B8G8, 0, "D3DFMT_R8G8_B8G8"},
    {D3DFMT_YUY2, 0, "D3DFMT_YUY2"},
    {D3DFMT_G8R8_G8B8, 0, "D3DFMT_G8R8_G8B8"},
    {D3DFMT_DXT1, 0, "D3DFMT_DXT1"},
    {D3DFMT_DXT2, 0, "D3DFMT_DXT2"},
    {D3DFMT_DXT3, 0, "D3DFMT_DXT3"},
    {D3DFMT_DXT4, 0, "D3DFMT_DXT4"},
    {D3DFMT_DXT5, 0, "D3DFMT_DXT5"},
    {D3DFMT_MULTI2_ARGB8, 0, "D3DFMT_MULTI2_ARGB8"},
};

const FormatFact* Find(D3DFORMAT f) {
    for (const FormatFact& fact : kFormats) {
        if (fact.format == f) return &fact;
    }
    return nullptr;
}

std::uint32_t BlockBytes(D3DFORMAT f) { return f == D3DFMT_DXT1 ? 8u : 16u; }

std::uint32_t Scale(std::uint32_t v8, int bits) { return v8 >> (8 - bits); }

} // namespace

std::uint32_t FormatBitsPerPixel(D3DFORMAT format) {
    if (format > 117) return 0;
    const FormatFact* fact = Find(format);
    return fact ? fact->bits : 0;
}

std::string_view FormatName(D3DFORMAT format) {
    const FormatFact* fact = Find(format);
    return fact ? fact->name : std::string_view("UNKNOWN");
}

bool IsCompressedFormat(D3DFORMAT f) {
    return f == D3DFMT_DXT1 || f == D3DFMT_DXT2 || f == D3DFMT_DXT3 || f == D3DFMT_DXT4 || f == D3DFMT_DXT5;
}

bool IsDepthFormat(D3DFORMAT f) {
    switch (f) {
    case D3DFMT_D16_LOCKABLE: case D3DFMT_D32: case D3DFMT_D15S1: case D3DFMT_D24S8: case D3DFMT_D24X8:
    case D3DFMT_D24X4S4: case D3DFMT_D16: case D3DFMT_D32F_LOCKABLE: case D3DFMT_D24FS8:
        return true;
    default:
        return false;
    }
}

bool FormatHasStencil(D3DFORMAT f) {
    return f == D3DFMT_D15S1 || f == D3DFMT_D24S8 || f == D3DFMT_D24X4S4 || f == D3DFMT_D24FS8;
}

bool IsRenderTargetColorFormat(D3DFORMAT f) {
    switch (f) {
    case D3DFMT_X1R5G5B5: case D3DFMT_R5G6B5: case D3DFMT_X8R8G8B8: case D3DFMT_A1R5G5B5:
    case D3DFMT_A4R4G4B4: case D3DFMT_A8R8G8B8:
        return true;
    default:
        return false;
    }
}

bool IsCreatedTargetFormat(D3DFORMAT f) { return IsRenderTargetColorFormat(f) || IsFloatFormat(f); }

bool IsTextureFormat(D3DFORMAT f) {
    return IsRenderTargetColorFormat(f) || f == D3DFMT_DXT1 || f == D3DFMT_DXT3 || f == D3DFMT_DXT5 ||
           IsBumpFormat(f) || IsFloatFormat(f);
}

bool IsBumpFormat(D3DFORMAT f) { return f == D3DFMT_V8U8 || f == D3DFMT_L6V5U5 || f == D3DFMT_X8L8V8U8; }

bool IsFloatFormat(D3DFORMAT f) { return f >= D3DFMT_R16F && f <= D3DFMT_A32B32G32R32F; }

bool IsSupportedDepthFormat(D3DFORMAT f) { return f == D3DFMT_D16 || f == D3DFMT_D24X8 || f == D3DFMT_D24S8; }

std::uint32_t FormatPitch(D3DFORMAT format, std::uint32_t width) {
    if (IsCompressedFormat(format)) return std::max(1u, (width + 3) / 4) * BlockBytes(format);
    return width * (FormatBitsPerPixel(format) / 8);
}

std::uint32_t FormatRows(D3DFORMAT format, std::uint32_t height) {
    if (IsCompressedFormat(format)) return std::max(1u, (height + 3) / 4);
    return height;
}

std::size_t FormatLevelSize(D3DFORMAT format, std::uint32_t width, std::uint32_t height) {
    return std::size_t(FormatPitch(format, width)) * FormatRows(format, height);
}

std::uint32_t PackColor(D3DFORMAT format, D3DCOLOR c, std::uint8_t* out) {
    const std::uint32_t a = c >> 24, r = (c >> 16) & 0xFF, g = (c >> 8) & 0xFF, b = c & 0xFF;
    std::uint32_t v = 0;
    switch (format) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8:
        v = (format == D3DFMT_X8R8G8B8 ? 0xFF000000u : (a << 24)) | (r << 16) | (g << 8) | b;
        std::memcpy(out, &v, 4);
        return 4;
    case D3DFMT_R5G6B5: v = (Scale(r, 5) << 11) | (Scale(g, 6) << 5) | Scale(b, 5); break;
    case D3DFMT_X1R5G5B5: v = 0x8000u | (Scale(r, 5) << 10) | (Scale(g, 5) << 5) | Scale(b, 5); break;
    case D3DFMT_A1R5G5B5: v = ((a >> 7) << 15) | (Scale(r, 5) << 10) | (Scale(g, 5) << 5) | Scale(b, 5); break;
    case D3DFMT_A4R4G4B4: v = (Scale(a, 4) << 12) | (Scale(r, 4) << 8) | (Scale(g, 4) << 4) | Scale(b, 4); break;
    default: return 0;
    }
    const std::uint16_t v16 = static_cast<std::uint16_t>(v);
    std::memcpy(out, &v16, 2);
    return 2;
}

void PackDepthStencil(D3DFORMAT format, float z, std::uint32_t stencil, bool writeDepth, bool writeStencil,
                      std::uint8_t* pixel) {
    z = std::clamp(z, 0.0f, 1.0f);
    if (format == D3DFMT_D16 || format == D3DFMT_D16_LOCKABLE) {
        if (!writeDepth) return;
        const std::uint16_t v = static_cast<std::uint16_t>(z * 65535.0f + 0.5f);
        std::memcpy(pixel, &v, 2);
        return;
    }
    // D24X8 / D24S8: depth in the high 24 bits, stencil (or X) in the low 8.
    std::uint32_t v = 0;
    std::memcpy(&v, pixel, 4);
    // In double: 16777215.5 has no float, which rounds it up to 2^24, and
    // the depth of a clear to 1.0 would wrap to 0.
    if (writeDepth) v = (v & 0xFFu) | (static_cast<std::uint32_t>(double(z) * 16777215.0 + 0.5) << 8);
    if (writeStencil && format == D3DFMT_D24S8) v = (v & ~0xFFu) | (stencil & 0xFFu);
    std::memcpy(pixel, &v, 4);
}

} // namespace gfx
