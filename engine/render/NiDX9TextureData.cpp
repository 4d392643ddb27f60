#include "engine/render/NiDX9TextureData.h"

#include "engine/render/image/NiImageConverter.h"

#include <initializer_list>

using namespace gfx;

namespace
{
NiPixelFormat Masks(std::uint32_t uiRed, std::uint32_t uiGreen, std::uint32_t uiBlue, std::uint32_t uiAlpha,
                    std::uint32_t uiBits)
{
    return NiPixelFormat(uiRed, uiGreen, uiBlue, uiAlpha, uiBits);
}

// Width of the device formats that have no engine layout of their own.
std::uint32_t SizeOnlyBits(D3DFORMAT eFormat)
{
    switch (eFormat)
    {
    case D3DFMT_A16B16G16R16:
    case D3DFMT_Q16W16V16U16:
    case D3DFMT_A16B16G16R16F:
    case D3DFMT_G32R32F: return 64;
    case D3DFMT_A8P8:
    case D3DFMT_D15S1:
    case D3DFMT_D16:
    case D3DFMT_D16_LOCKABLE:
    case D3DFMT_R16F:
    case D3DFMT_CxV8U8: return 16;
    case D3DFMT_Q8W8V8U8:
    case D3DFMT_V16U16:
    case D3DFMT_A2W10V10U10:
    case D3DFMT_D32:
    case D3DFMT_D24S8:
    case D3DFMT_D24X8:
    case D3DFMT_D24X4S4:
    case D3DFMT_D32F_LOCKABLE:
    case D3DFMT_D24FS8:
    case D3DFMT_G16R16F:
    case D3DFMT_R32F: return 32;
    case D3DFMT_A32B32G32R32F: return 128;
    default: return 0;
    }
}

D3DFORMAT RGBToD3D(const NiPixelFormat& kFormat)
{
    const std::uint32_t uiRed = kFormat.GetMask(NiPixelFormat::RED);
    switch (kFormat.GetBitsPerPixel())
    {
    case 8:
        if (uiRed == 0xE0)
            return D3DFMT_R3G3B2;
        return uiRed == 0 ? D3DFMT_L8 : D3DFMT_UNKNOWN;
    case 16:
        switch (uiRed)
        {
        case 0xF800: return D3DFMT_R5G6B5;
        case 0x7C00: return D3DFMT_X1R5G5B5;
        case 0xF00: return D3DFMT_X4R4G4B4;
        case 0: return D3DFMT_L16;
        default: return D3DFMT_UNKNOWN;
        }
    case 24: return D3DFMT_R8G8B8;
    case 32:
        switch (uiRed)
        {
        case 0xFF0000: return D3DFMT_X8R8G8B8;
        case 0xFF: return D3DFMT_X8B8G8R8;
        case 0xFFFF0000: return D3DFMT_G16R16;
        default: return D3DFMT_UNKNOWN;
        }
    default: return D3DFMT_UNKNOWN;
    }
}

D3DFORMAT RGBAToD3D(const NiPixelFormat& kFormat)
{
    const std::uint32_t uiRed = kFormat.GetMask(NiPixelFormat::RED);
    switch (kFormat.GetBitsPerPixel())
    {
    case 8:
        switch (kFormat.GetMask(NiPixelFormat::ALPHA))
        {
        case 0: return D3DFMT_A8;
        case 0xF: return D3DFMT_A4L4;
        default: return D3DFMT_UNKNOWN;
        }
    case 16:
        switch (uiRed)
        {
        case 0x7C00: return D3DFMT_A1R5G5B5;
        case 0xF00: return D3DFMT_A4R4G4B4;
        case 0xE0: return D3DFMT_A8R3G3B2;
        case 0: return D3DFMT_A8L8;
        default: return D3DFMT_UNKNOWN;
        }
    case 32:
        switch (uiRed)
        {
        case 0xFF0000: return D3DFMT_A8R8G8B8;
        case 0x3FF: return D3DFMT_A2B10G10R10;
        case 0xFF: return D3DFMT_A8B8G8R8;
        case 0x3FF00000: return D3DFMT_A2R10G10B10;
        default: return D3DFMT_UNKNOWN;
        }
    default: return D3DFMT_UNKNOWN;
    }
}

using Entry = NiDX9Renderer::TextureFormatEntry;

// The first present entry of the candidates the test accepts.
template <typename Accept>
const Entry* FirstOf(const NiDX9TextureData::FormatTable& kTable, std::initializer_list<std::uint32_t> kOrder,
                     const Accept& kAccept)
{
    for (std::uint32_t uiIndex : kOrder)
    {
        const Entry& kEntry = kTable[uiIndex];
        if (kEntry.m_bValid && kAccept(kEntry))
            return &kEntry;
    }
    return nullptr;
}
} // namespace

D3DFORMAT NiDX9PixelFormatToD3D(const NiPixelFormat& kFormat)
{
    switch (kFormat.GetKind())
    {
    case NiPixelFormat::RGB: return RGBToD3D(kFormat);
    case NiPixelFormat::RGBA: return RGBAToD3D(kFormat);
    case NiPixelFormat::PALETTE: return D3DFMT_P8;
    case NiPixelFormat::DXT1_KIND: return D3DFMT_DXT1;
    case NiPixelFormat::DXT3_KIND: return D3DFMT_DXT3;
    case NiPixelFormat::DXT5_KIND: return D3DFMT_DXT5;
    case NiPixelFormat::BUMP: return D3DFMT_V8U8;
    case NiPixelFormat::BUMP_LUMA:
        if (kFormat.GetBitsPerPixel() == 16)
            return D3DFMT_L6V5U5;
        return kFormat.GetBitsPerPixel() == 32 ? D3DFMT_X8L8V8U8 : D3DFMT_UNKNOWN;
    case NiPixelFormat::SIZE_ONLY: return kFormat.GetMask(NiPixelFormat::RED);
    default: return D3DFMT_UNKNOWN;
    }
}

NiPixelFormat NiDX9PixelFormatFromD3D(D3DFORMAT eD3DFormat)
{
    switch (eD3DFormat)
    {
    case D3DFMT_R3G3B2: return Masks(0xE0, 0x1C, 0x03, 0, 8);
    case D3DFMT_L8: return Masks(0, 0, 0xFF, 0, 8);
    case D3DFMT_R5G6B5: return NiPixelFormat::R5G6B5;
    case D3DFMT_X1R5G5B5: return Masks(0x7C00, 0x3E0, 0x1F, 0, 16);
    case D3DFMT_X4R4G4B4: return Masks(0xF00, 0xF0, 0xF, 0, 16);
    case D3DFMT_L16: return Masks(0, 0, 0xFFFF, 0, 16);
    case D3DFMT_R8G8B8: return Masks(0xFF0000, 0xFF00, 0xFF, 0, 24);
    case D3DFMT_X8R8G8B8: return Masks(0xFF0000, 0xFF00, 0xFF, 0, 32);
    case D3DFMT_X8B8G8R8: return Masks(0xFF, 0xFF00, 0xFF0000, 0, 32);
    case D3DFMT_G16R16: return Masks(0xFFFF0000, 0xFFFF, 0, 0, 32);
    case D3DFMT_A8: return Masks(0, 0, 0, 0xFF, 8);
    case D3DFMT_A4L4: return Masks(0, 0, 0xF, 0xF0, 8);
    case D3DFMT_A1R5G5B5: return NiPixelFormat::A1R5G5B5;
    case D3DFMT_A4R4G4B4: return NiPixelFormat::A4R4G4B4;
    case D3DFMT_A8R3G3B2: return Masks(0xE0, 0x1C, 0x03, 0xFF00, 16);
    case D3DFMT_A8L8: return Masks(0, 0, 0xFF, 0xFF00, 16);
    case D3DFMT_A8R8G8B8: return NiPixelFormat::A8R8G8B8;
    case D3DFMT_A2B10G10R10: return Masks(0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000, 32);
    case D3DFMT_A8B8G8R8: return Masks(0xFF, 0xFF00, 0xFF0000, 0xFF000000, 32);
    case D3DFMT_A2R10G10B10: return Masks(0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000, 32);
    case D3DFMT_P8: return NiPixelFormat::PAL8;
    case D3DFMT_DXT1: return NiPixelFormat::DXT1;
    case D3DFMT_DXT3: return NiPixelFormat::DXT3;
    case D3DFMT_DXT5: return NiPixelFormat::DXT5;
    case D3DFMT_V8U8: return NiPixelFormat(0xFF, 0xFF00, 0, 16u);
    case D3DFMT_L6V5U5: return NiPixelFormat(0x1F, 0x3E0, 0xFC00, 16u);
    case D3DFMT_X8L8V8U8: return NiPixelFormat(0xFF, 0xFF00, 0xFF0000, 32u);
    default:
    {
        NiPixelFormat kFormat(NiPixelFormat::SIZE_ONLY, SizeOnlyBits(eD3DFormat));
        kFormat.SetMask(NiPixelFormat::RED, eD3DFormat);
        return kFormat;
    }
    }
}

void NiDX9PixelFormatFromD3D(NiDX9Renderer::TextureFormatEntry& kEntry, D3DFORMAT eD3DFormat)
{
    kEntry.m_kPixelFormat = NiDX9PixelFormatFromD3D(eD3DFormat);
    kEntry.m_uiIndex = 0;
    kEntry.m_eD3DFormat = eD3DFormat;
}

const NiDX9Renderer::TextureFormatEntry* NiDX9TextureData::ChooseFormat(const NiPixelFormat& kSource,
                                                                         const NiTexture::FormatPrefs& kPrefs,
                                                                         const FormatTable& kTable)
{
    if (kSource.GetFlags() != 0)
        return nullptr;
    const NiImageConverter* pkConverter = NiImageConverter::GetCurrent();
    if (pkConverter == nullptr)
        return nullptr;
    const auto kConvertible = [&](const Entry& kEntry) {
        return pkConverter->CanConvertPixelData(kSource, kEntry.m_kPixelFormat);
    };
    const auto kFirst = [&](std::initializer_list<std::uint32_t> kOrder) {
        return FirstOf(kTable, kOrder, kConvertible);
    };

    using Prefs = NiTexture::FormatPrefs;
    const std::uint32_t eLayout = kPrefs.m_ePixelLayout;
    const std::uint32_t eKind = kSource.GetKind();
    const bool bBinaryAlpha = kPrefs.m_eAlphaFmt == Prefs::BINARY;

    const auto kAlphaRoad = [&]() -> const Entry* {
        if (eLayout == Prefs::COMPRESSED)
        {
            if (const Entry* pkEntry = bBinaryAlpha ? kFirst({8, 9, 10}) : kFirst({9, 10, 8}))
                return pkEntry;
        }
        if (eLayout == Prefs::HIGH_COLOR_16)
            return bBinaryAlpha ? kFirst({3, 4, 5}) : kFirst({4, 5, 3});
        return bBinaryAlpha ? kFirst({5, 3, 4}) : kFirst({5, 4, 3});
    };

    if (eLayout == Prefs::BUMPMAP)
    {
        if (eKind == NiPixelFormat::BUMP_LUMA || eKind == NiPixelFormat::RGBA)
            return kFirst({13, 12, 11});
        return kFirst({11, 13, 12});
    }

    switch (eKind)
    {
    case NiPixelFormat::RGB:
    case NiPixelFormat::PALETTE:
    {
        if (eLayout == Prefs::COMPRESSED)
        {
            if (const Entry* pkEntry = kFirst({8, 9, 10}))
                return pkEntry;
        }
        const Entry* pkEntry = eLayout == Prefs::HIGH_COLOR_16 ? kFirst({1, 0, 2, 5}) : kFirst({2, 5, 1, 0});
        return pkEntry != nullptr ? pkEntry : kFirst({3, 4});
    }
    case NiPixelFormat::DXT1_KIND:
    case NiPixelFormat::DXT3_KIND:
    case NiPixelFormat::DXT5_KIND:
        if (eLayout != Prefs::HIGH_COLOR_16 && eLayout != Prefs::TRUE_COLOR_32)
        {
            const std::uint32_t uiIndex = eKind == NiPixelFormat::DXT1_KIND   ? NiDX9Renderer::TEX_DXT1
                                          : eKind == NiPixelFormat::DXT3_KIND ? NiDX9Renderer::TEX_DXT3
                                                                              : NiDX9Renderer::TEX_DXT5;
            if (const Entry* pkEntry = kFirst({uiIndex}))
                return pkEntry;
        }
        return kAlphaRoad();
    case NiPixelFormat::RGBA:
    case NiPixelFormat::PALETTE_ALPHA: return kAlphaRoad();
    case NiPixelFormat::BUMP: return kFirst({11, 13, 12});
    case NiPixelFormat::BUMP_LUMA: return kFirst({12, 13, 11});
    default: return nullptr;
    }
}

const NiDX9Renderer::TextureFormatEntry* NiDX9TextureData::FindClosestFormat(const NiTexture::FormatPrefs& kPrefs,
                                                                              const FormatTable& kTable)
{
    using Prefs = NiTexture::FormatPrefs;
    const auto kAny = [](const Entry&) { return true; };
    const auto kFirst = [&](std::initializer_list<std::uint32_t> kOrder) { return FirstOf(kTable, kOrder, kAny); };

    std::uint32_t eLayout = kPrefs.m_ePixelLayout;
    const std::uint32_t eAlpha = kPrefs.m_eAlphaFmt;
    if (eLayout == Prefs::PIX_DEFAULT)
        eLayout = Prefs::TRUE_COLOR_32;

    const auto kSixteenBit = [&]() -> const Entry* {
        switch (eAlpha)
        {
        case Prefs::NONE: return kFirst({1, 0, 2, 5, 3, 4});
        case Prefs::BINARY: return kFirst({3, 4, 5});
        case Prefs::SMOOTH: return kFirst({4, 5});
        default: return nullptr;
        }
    };

    switch (eLayout)
    {
    case Prefs::PALETTIZED_8:
    case Prefs::COMPRESSED:
    {
        if (eLayout == Prefs::PALETTIZED_8)
        {
            const std::uint32_t uiPalette = (eAlpha == Prefs::BINARY || eAlpha == Prefs::SMOOTH)
                                                ? NiDX9Renderer::TEX_PALA8
                                                : NiDX9Renderer::TEX_PAL8;
            if (const Entry* pkEntry = kFirst({uiPalette}))
                return pkEntry;
        }
        const Entry* pkEntry = nullptr;
        if (eAlpha == Prefs::NONE || eAlpha == Prefs::BINARY)
            pkEntry = kFirst({NiDX9Renderer::TEX_DXT1});
        else if (eAlpha == Prefs::SMOOTH)
            pkEntry = kFirst({NiDX9Renderer::TEX_DXT3});
        return pkEntry != nullptr ? pkEntry : kSixteenBit();
    }
    case Prefs::HIGH_COLOR_16: return kSixteenBit();
    case Prefs::TRUE_COLOR_32:
        switch (eAlpha)
        {
        case Prefs::NONE: return kFirst({2, 5, 1, 0, 3, 4});
        case Prefs::BINARY: return kFirst({5, 3, 4});
        case Prefs::SMOOTH: return kFirst({5, 4});
        default: return nullptr;
        }
    default: return nullptr;
    }
}

NiDX9TextureData::NiDX9TextureData(NiTexture* pkTexture, NiDX9Renderer* pkRenderer)
    : m_pkTexture(pkTexture), m_pkRenderer(pkRenderer)
{
}

NiDX9TextureData::~NiDX9TextureData() = default;

bool NiDX9TextureData::GetLevelDesc(IDirect3DBaseTexture9* pkD3DTexture, std::uint32_t uiLevel,
                                    D3DSURFACE_DESC& kDesc, std::uint32_t* puiDepth)
{
    if (pkD3DTexture == nullptr)
        return false;
    if (puiDepth != nullptr)
        *puiDepth = 1;
    switch (pkD3DTexture->GetType())
    {
    case D3DRTYPE_TEXTURE:
        return SUCCEEDED(static_cast<IDirect3DTexture9*>(pkD3DTexture)->GetLevelDesc(uiLevel, &kDesc));
    case D3DRTYPE_CUBETEXTURE:
        return SUCCEEDED(static_cast<IDirect3DCubeTexture9*>(pkD3DTexture)->GetLevelDesc(uiLevel, &kDesc));
    case D3DRTYPE_VOLUMETEXTURE:
    {
        D3DVOLUME_DESC kVolume;
        if (FAILED(static_cast<IDirect3DVolumeTexture9*>(pkD3DTexture)->GetLevelDesc(uiLevel, &kVolume)))
            return false;
        kDesc = D3DSURFACE_DESC{};
        kDesc.Format = kVolume.Format;
        kDesc.Type = kVolume.Type;
        kDesc.Usage = kVolume.Usage;
        kDesc.Pool = kVolume.Pool;
        kDesc.Width = kVolume.Width;
        kDesc.Height = kVolume.Height;
        if (puiDepth != nullptr)
            *puiDepth = kVolume.Depth;
        return true;
    }
    default: return false;
    }
}

bool NiDX9TextureData::InitializeFromD3DTexture(IDirect3DBaseTexture9* pkD3DTexture)
{
    D3DSURFACE_DESC kDesc;
    if (!GetLevelDesc(pkD3DTexture, 0, kDesc))
        return false;
    if (kDesc.Format == D3DFMT_P8 || kDesc.Format == D3DFMT_A8P8)
        return false;
    m_uiLevels = pkD3DTexture->GetLevelCount();
    m_uiWidth = kDesc.Width;
    m_uiHeight = kDesc.Height;
    NiDX9PixelFormatFromD3D(m_kPixelFormat, kDesc.Format);
    return true;
}

void NiDX9TextureData::PurgeAllRendererData()
{
    NiRecursiveLockGuard kGuard(NiTextureListLock());
    for (NiTexture* pkTexture = NiTexture::GetListHead(); pkTexture != nullptr; pkTexture = pkTexture->GetListNext())
        pkTexture->SetRendererData(nullptr);
}
