#include "platform/gfxutil/GfxUtilImage.h"

#include "platform/gfx/GfxFormat.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace gfx {
namespace {

// The DirectDraw Surface layout: a four-byte magic, a 124-byte header with a
// 32-byte pixel-format record inside, then every level of every face.
constexpr std::uint32_t DDS_MAGIC = 0x20534444; // "DDS "
constexpr std::uint32_t DDS_HEADER_BYTES = 124;
constexpr std::uint32_t DDS_PIXELFORMAT_BYTES = 32;
constexpr std::uint32_t DDS_DATA_OFFSET = 4 + DDS_HEADER_BYTES;

constexpr std::uint32_t DDSD_MIPMAPCOUNT = 0x20000;
constexpr std::uint32_t DDSD_DEPTH = 0x800000;
constexpr std::uint32_t DDPF_ALPHAPIXELS = 0x1;
constexpr std::uint32_t DDPF_ALPHA = 0x2;
constexpr std::uint32_t DDPF_FOURCC = 0x4;
constexpr std::uint32_t DDPF_PALETTEINDEXED8 = 0x20;
constexpr std::uint32_t DDPF_RGB = 0x40;
constexpr std::uint32_t DDPF_LUMINANCE = 0x20000;
constexpr std::uint32_t DDPF_BUMPLUMINANCE = 0x40000;
constexpr std::uint32_t DDPF_BUMPDUDV = 0x80000;
constexpr std::uint32_t DDSCAPS2_CUBEMAP = 0x200;
constexpr std::uint32_t DDSCAPS2_ALLFACES = 0xFC00;
constexpr std::uint32_t DDSCAPS2_VOLUME = 0x200000;
// A palettized file carries its 256 colours ahead of the pixels.
constexpr std::uint32_t PALETTE_BYTES = 256 * 4;

std::uint32_t Word(const std::uint8_t* bytes, std::uint32_t offset) {
    return std::uint32_t(bytes[offset]) | (std::uint32_t(bytes[offset + 1]) << 8) |
           (std::uint32_t(bytes[offset + 2]) << 16) | (std::uint32_t(bytes[offset + 3]) << 24);
}

struct Masks {
    std::uint32_t bits, r, g, b, a;
    bool Is(std::uint32_t bits_, std::uint32_t r_, std::uint32_t g_, std::uint32_t b_, std::uint32_t a_) const {
        return bits == bits_ && r == r_ && g == g_ && b == b_ && a == a_;
    }
};

D3DFORMAT RgbFormat(const Masks& m) {
    struct Known { Masks masks; D3DFORMAT format; };
    static constexpr Known KNOWN[] = {
        {{32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000}, D3DFMT_A8R8G8B8},
        {{32, 0xFF0000, 0xFF00, 0xFF, 0}, D3DFMT_X8R8G8B8},
        {{32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000}, D3DFMT_A8B8G8R8},
        {{32, 0xFF, 0xFF00, 0xFF0000, 0}, D3DFMT_X8B8G8R8},
        {{32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000}, D3DFMT_A2R10G10B10},
        {{32, 0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000}, D3DFMT_A2B10G10R10},
        {{32, 0xFFFF, 0xFFFF0000, 0, 0}, D3DFMT_G16R16},
        {{24, 0xFF0000, 0xFF00, 0xFF, 0}, D3DFMT_R8G8B8},
        {{16, 0xF800, 0x7E0, 0x1F, 0}, D3DFMT_R5G6B5},
        {{16, 0x7C00, 0x3E0, 0x1F, 0x8000}, D3DFMT_A1R5G5B5},
        {{16, 0x7C00, 0x3E0, 0x1F, 0}, D3DFMT_X1R5G5B5},
        {{16, 0xF00, 0xF0, 0xF, 0xF000}, D3DFMT_A4R4G4B4},
        {{16, 0xF00, 0xF0, 0xF, 0}, D3DFMT_X4R4G4B4},
        {{16, 0xE0, 0x1C, 0x3, 0xFF00}, D3DFMT_A8R3G3B2},
        {{8, 0xE0, 0x1C, 0x3, 0}, D3DFMT_R3G3B2},
    };
    for (const Known& k : KNOWN)
        if (k.masks.Is(m.bits, m.r, m.g, m.b, m.a)) return k.format;
    return D3DFMT_UNKNOWN;
}

D3DFORMAT PixelFormatOf(const std::uint8_t* pf) {
    const std::uint32_t flags = Word(pf, 4);
    Masks m{Word(pf, 12), Word(pf, 16), Word(pf, 20), Word(pf, 24), Word(pf, 28)};
    if (flags & DDPF_FOURCC) {
        const D3DFORMAT code = Word(pf, 8);
        switch (code) {
        case D3DFMT_DXT1:
        case D3DFMT_DXT2:
        case D3DFMT_DXT3:
        case D3DFMT_DXT4:
        case D3DFMT_DXT5: return code;
        default:
            // Files may name a plain format by its number.
            if (code < 118 && FormatBitsPerPixel(code) >= 8 && FormatBitsPerPixel(code) % 8 == 0) return code;
            return D3DFMT_UNKNOWN;
        }
    }
    if (flags & DDPF_PALETTEINDEXED8) return m.bits == 8 ? D3DFMT_P8 : D3DFMT_UNKNOWN;
    if ((flags & DDPF_ALPHAPIXELS) == 0) m.a = 0;
    if (flags & DDPF_RGB) return RgbFormat(m);
    if (flags & DDPF_LUMINANCE) {
        if (m.Is(8, 0xFF, 0, 0, 0)) return D3DFMT_L8;
        if (m.Is(16, 0xFF, 0, 0, 0xFF00)) return D3DFMT_A8L8;
        if (m.Is(8, 0xF, 0, 0, 0xF0)) return D3DFMT_A4L4;
        if (m.Is(16, 0xFFFF, 0, 0, 0)) return D3DFMT_L16;
        return D3DFMT_UNKNOWN;
    }
    if (flags & DDPF_BUMPDUDV) {
        if (m.Is(16, 0xFF, 0xFF00, 0, 0)) return D3DFMT_V8U8;
        if (m.Is(32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000) || m.Is(32, 0xFF, 0xFF00, 0xFF0000, 0))
            return D3DFMT_Q8W8V8U8;
        if (m.Is(32, 0xFFFF, 0xFFFF0000, 0, 0)) return D3DFMT_V16U16;
        return D3DFMT_UNKNOWN;
    }
    if (flags & DDPF_BUMPLUMINANCE) {
        if (m.Is(16, 0x1F, 0x3E0, 0xFC00, 0)) return D3DFMT_L6V5U5;
        if (m.Is(32, 0xFF, 0xFF00, 0xFF0000, 0)) return D3DFMT_X8L8V8U8;
        return D3DFMT_UNKNOWN;
    }
    if ((flags & DDPF_ALPHA) && m.bits == 8 && m.a == 0xFF) return D3DFMT_A8;
    return D3DFMT_UNKNOWN;
}

std::uint64_t LevelBytes(D3DFORMAT format, std::uint32_t width, std::uint32_t height) {
    return FormatLevelSize(format, width, height);
}

struct Parsed {
    D3DXIMAGE_INFO info;
    std::uint32_t dataOffset = DDS_DATA_OFFSET;
    std::uint32_t faces = 1;
};

// Everything the header says, checked against the limits and against the
// bytes actually there.
bool Parse(const std::uint8_t* bytes, std::uint64_t size, Parsed& out) {
    if (size < DDS_DATA_OFFSET || Word(bytes, 0) != DDS_MAGIC || Word(bytes, 4) != DDS_HEADER_BYTES ||
        Word(bytes, 76) != DDS_PIXELFORMAT_BYTES)
        return false;
    const std::uint32_t flags = Word(bytes, 8);
    const std::uint32_t height = Word(bytes, 12);
    const std::uint32_t width = Word(bytes, 16);
    const std::uint32_t caps2 = Word(bytes, 112);
    const bool volume = (caps2 & DDSCAPS2_VOLUME) != 0 && (flags & DDSD_DEPTH) != 0;
    const bool cube = (caps2 & DDSCAPS2_CUBEMAP) != 0;
    if (volume && cube) return false;
    const std::uint32_t depth = volume ? Word(bytes, 24) : 1;
    if (width == 0 || height == 0 || depth == 0) return false;
    if (width > D3DX_MAX_IMAGE_SIDE || height > D3DX_MAX_IMAGE_SIDE || depth > D3DX_MAX_IMAGE_SIDE) return false;
    if (std::uint64_t(width) * height * depth > D3DX_MAX_IMAGE_PIXELS) return false;
    // Only whole cubes: every face, square.
    if (cube && ((caps2 & DDSCAPS2_ALLFACES) != DDSCAPS2_ALLFACES || width != height)) return false;

    const std::uint32_t chain = std::bit_width(std::max({width, height, depth}));
    std::uint32_t levels = (flags & DDSD_MIPMAPCOUNT) != 0 ? Word(bytes, 28) : 1;
    if (levels == 0) levels = 1;
    if (levels > chain) return false;

    const D3DFORMAT format = PixelFormatOf(bytes + 76);
    if (format == D3DFMT_UNKNOWN) return false;

    std::uint64_t need = 0;
    for (std::uint32_t level = 0; level < levels; ++level) {
        const std::uint32_t w = std::max(width >> level, 1u), h = std::max(height >> level, 1u);
        const std::uint32_t d = std::max(depth >> level, 1u);
        need += LevelBytes(format, w, h) * d;
    }
    const std::uint32_t faces = cube ? 6 : 1;
    need *= faces;
    const std::uint32_t offset = DDS_DATA_OFFSET + (format == D3DFMT_P8 ? PALETTE_BYTES : 0);
    if (size < offset || size - offset < need) return false;

    out.info.Width = width;
    out.info.Height = height;
    out.info.Depth = depth;
    out.info.MipLevels = levels;
    out.info.Format = format;
    out.info.ResourceType = volume ? D3DRTYPE_VOLUMETEXTURE : cube ? D3DRTYPE_CUBETEXTURE : D3DRTYPE_TEXTURE;
    out.info.ImageFileFormat = D3DXIFF_DDS;
    out.dataOffset = offset;
    out.faces = faces;
    return true;
}

// One level's rows from the file into the locked level, row by row at the
// lock's pitch. The level's memory starts unset: a wider pitch's padding is
// zeroed, so every byte is written.
void CopyLevel(const std::uint8_t* src, D3DFORMAT format, std::uint32_t width, std::uint32_t height,
               const D3DLOCKED_RECT& locked) {
    const std::uint32_t rowBytes = FormatPitch(format, width);
    const std::uint32_t rows = FormatRows(format, height);
    auto* dst = static_cast<std::uint8_t*>(locked.pBits);
    const std::uint32_t pitch = static_cast<std::uint32_t>(locked.Pitch);
    if (pitch == rowBytes) {
        std::memcpy(dst, src, std::size_t(rowBytes) * rows);
        return;
    }
    const std::uint32_t copy = std::min(rowBytes, pitch);
    for (std::uint32_t row = 0; row < rows; ++row) {
        std::memcpy(dst + std::size_t(row) * pitch, src + std::size_t(row) * rowBytes, copy);
        std::memset(dst + std::size_t(row) * pitch + copy, 0, pitch - copy);
    }
}

} // namespace

HRESULT D3DXGetImageInfoFromFileInMemory(const void* data, std::uint32_t size, D3DXIMAGE_INFO* info) {
    if (data == nullptr || info == nullptr) return D3DERR_INVALIDCALL;
    Parsed parsed;
    if (!Parse(static_cast<const std::uint8_t*>(data), size, parsed)) return D3DXERR_INVALIDDATA;
    *info = parsed.info;
    return D3D_OK;
}

HRESULT D3DXCreateTextureFromFileInMemory(IDirect3DDevice9* device, const void* data, std::uint32_t size,
                                          IDirect3DTexture9** texture) {
    if (device == nullptr || data == nullptr || texture == nullptr) return D3DERR_INVALIDCALL;
    *texture = nullptr;
    Parsed parsed;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    if (!Parse(bytes, size, parsed)) return D3DXERR_INVALIDDATA;
    const D3DXIMAGE_INFO& info = parsed.info;
    if (info.ResourceType != D3DRTYPE_TEXTURE) return D3DERR_INVALIDCALL;

    IDirect3DTexture9* made = nullptr;
    // Every byte of every level is copied from the file below.
    HRESULT hr = device->CreateTextureToFill(info.Width, info.Height, info.MipLevels, 0, info.Format,
                                             D3DPOOL_MANAGED, &made);
    if (FAILED(hr)) return hr;
    const std::uint8_t* src = bytes + parsed.dataOffset;
    for (std::uint32_t level = 0; level < info.MipLevels; ++level) {
        const std::uint32_t w = std::max(info.Width >> level, 1u), h = std::max(info.Height >> level, 1u);
        D3DLOCKED_RECT locked{};
        hr = made->LockRect(level, &locked, nullptr, 0);
        if (FAILED(hr)) {
            made->Release();
            return hr;
        }
        CopyLevel(src, info.Format, w, h, locked);
        made->UnlockRect(level);
        src += LevelBytes(info.Format, w, h);
    }
    *texture = made;
    return D3D_OK;
}

HRESULT D3DXCreateVolumeTextureFromFileInMemory(IDirect3DDevice9* device, const void* data, std::uint32_t size,
                                                IDirect3DVolumeTexture9** texture) {
    if (device == nullptr || data == nullptr || texture == nullptr) return D3DERR_INVALIDCALL;
    *texture = nullptr;
    Parsed parsed;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    if (!Parse(bytes, size, parsed)) return D3DXERR_INVALIDDATA;
    const D3DXIMAGE_INFO& info = parsed.info;
    if (info.ResourceType != D3DRTYPE_VOLUMETEXTURE) return D3DERR_INVALIDCALL;

    IDirect3DVolumeTexture9* made = nullptr;
    HRESULT hr = device->CreateVolumeTextureToFill(info.Width, info.Height, info.Depth, info.MipLevels, 0, info.Format,
                                                   D3DPOOL_MANAGED, &made);
    if (FAILED(hr)) return hr;
    const std::uint8_t* src = bytes + parsed.dataOffset;
    // Each level holds its slices one after the other, each as a 2-D level would.
    for (std::uint32_t level = 0; level < info.MipLevels; ++level) {
        const std::uint32_t w = std::max(info.Width >> level, 1u), h = std::max(info.Height >> level, 1u);
        const std::uint32_t d = std::max(info.Depth >> level, 1u);
        D3DLOCKED_BOX box{};
        hr = made->LockBox(level, &box, nullptr, 0);
        if (FAILED(hr)) {
            made->Release();
            return hr;
        }
        for (std::uint32_t z = 0; z < d; ++z) {
            const D3DLOCKED_RECT slice{box.RowPitch, static_cast<std::uint8_t*>(box.pBits) + std::size_t(z) * box.SlicePitch};
            CopyLevel(src, info.Format, w, h, slice);
            src += LevelBytes(info.Format, w, h);
        }
        made->UnlockBox(level);
    }
    *texture = made;
    return D3D_OK;
}

HRESULT D3DXCreateCubeTextureFromFileInMemory(IDirect3DDevice9* device, const void* data, std::uint32_t size,
                                              IDirect3DCubeTexture9** texture) {
    if (device == nullptr || data == nullptr || texture == nullptr) return D3DERR_INVALIDCALL;
    *texture = nullptr;
    Parsed parsed;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    if (!Parse(bytes, size, parsed)) return D3DXERR_INVALIDDATA;
    const D3DXIMAGE_INFO& info = parsed.info;
    if (info.ResourceType != D3DRTYPE_CUBETEXTURE) return D3DERR_INVALIDCALL;

    IDirect3DCubeTexture9* made = nullptr;
    HRESULT hr = device->CreateCubeTextureToFill(info.Width, info.MipLevels, 0, info.Format, D3DPOOL_MANAGED,
                                                 &made);
    if (FAILED(hr)) return hr;
    const std::uint8_t* src = bytes + parsed.dataOffset;
    // Faces follow each other, each with its whole chain.
    for (std::uint32_t face = 0; face < 6; ++face) {
        for (std::uint32_t level = 0; level < info.MipLevels; ++level) {
            const std::uint32_t edge = std::max(info.Width >> level, 1u);
            D3DLOCKED_RECT locked{};
            hr = made->LockRect(face, level, &locked, nullptr, 0);
            if (FAILED(hr)) {
                made->Release();
                return hr;
            }
            CopyLevel(src, info.Format, edge, edge, locked);
            made->UnlockRect(face, level);
            src += LevelBytes(info.Format, edge, edge);
        }
    }
    *texture = made;
    return D3D_OK;
}

} // namespace gfx
