#pragma once

#include <bit>
#include <cstdint>

class NiObjectStream;

// How the pixels of an image in memory are laid out: nine 32-bit words. Two
// formats are the same layout when their descriptor and shift words agree;
// the masks, bits per pixel and flag word do not take part in that test.
class NiPixelFormat
{
public:
    enum Kind : std::uint32_t
    {
        RGB = 0,
        RGBA = 1,
        PALETTE = 2,
        PALETTE_ALPHA = 3,
        DXT1_KIND = 4,
        DXT3_KIND = 5,
        DXT5_KIND = 6,
        RGB_PLANAR = 7,
        BUMP = 8,
        BUMP_LUMA = 9,
        SIZE_ONLY = 10,
    };

    // Channel numbers of the mask words (bump kinds: U, V, -, luminance).
    enum Channel : std::uint32_t
    {
        RED = 0,
        GREEN = 1,
        BLUE = 2,
        ALPHA = 3,
    };

    // The layout a default-made pixel data starts with.
    constexpr NiPixelFormat() = default;
    constexpr NiPixelFormat(std::uint32_t uiRed, std::uint32_t uiGreen, std::uint32_t uiBlue, std::uint32_t uiAlpha,
                            std::uint32_t uiBitsPerPixel)
    {
        InitFromMasks(uiRed, uiGreen, uiBlue, uiAlpha, uiBitsPerPixel);
        m_uiFlags = 0;
    }
    constexpr NiPixelFormat(std::uint32_t uiUMask, std::uint32_t uiVMask, std::uint32_t uiLuminanceMask,
                            std::uint32_t uiBitsPerPixel)
    {
        InitFormat8Or9(uiUMask, uiVMask, uiLuminanceMask, uiBitsPerPixel);
        m_uiFlags = 0;
    }
    constexpr NiPixelFormat(std::uint32_t uiKind, std::uint32_t uiBitsPerPixel)
    {
        InitFromKind(uiKind, uiBitsPerPixel);
        m_uiFlags = 0;
    }

    constexpr void InitFromMasks(std::uint32_t uiRed, std::uint32_t uiGreen, std::uint32_t uiBlue,
                                 std::uint32_t uiAlpha, std::uint32_t uiBitsPerPixel)
    {
        m_auiMasks[RED] = uiRed;
        m_auiMasks[GREEN] = uiGreen;
        m_auiMasks[BLUE] = uiBlue;
        m_auiMasks[ALPHA] = uiAlpha;
        m_uiBitsPerPixel = uiBitsPerPixel;
        m_uiKind = uiAlpha != 0 ? RGBA : RGB;
        ComputeChannelWords(SizeCode(uiBitsPerPixel), 4);
    }

    constexpr void InitFormat8Or9(std::uint32_t uiUMask, std::uint32_t uiVMask, std::uint32_t uiLuminanceMask,
                                  std::uint32_t uiBitsPerPixel)
    {
        m_auiMasks[RED] = uiUMask;
        m_auiMasks[GREEN] = uiVMask;
        m_auiMasks[BLUE] = 0;
        m_auiMasks[ALPHA] = uiLuminanceMask;
        m_uiBitsPerPixel = uiBitsPerPixel;
        m_uiKind = uiLuminanceMask != 0 ? BUMP_LUMA : BUMP;
        // Bump layouts only know the widths a bump device format can have.
        std::uint32_t uiCode = 0;
        if (uiBitsPerPixel == 4 || uiBitsPerPixel == 16 || uiBitsPerPixel == 24 || uiBitsPerPixel == 32)
            uiCode = SizeCode(uiBitsPerPixel);
        ComputeChannelWords(uiCode, 4);
    }

    constexpr void InitPalette(bool bHasAlpha, std::uint32_t uiBitsPerPixel)
    {
        m_uiKind = bHasAlpha ? PALETTE_ALPHA : PALETTE;
        for (std::uint32_t& uiMask : m_auiMasks)
            uiMask = 0;
        m_uiBitsPerPixel = uiBitsPerPixel == 4 ? 4 : 8;
        m_uiDescriptor = m_uiKind | (SizeCode(m_uiBitsPerPixel) << 5);
        m_uiShift = 0;
    }

    constexpr void InitFromKind(std::uint32_t uiKind, std::uint32_t uiBitsPerPixel);

    [[nodiscard]] constexpr std::uint32_t GetKind() const { return m_uiKind; }
    [[nodiscard]] constexpr std::uint32_t GetFlags() const { return m_uiFlags; }
    void SetFlags(std::uint32_t uiFlags) { m_uiFlags = uiFlags; }
    [[nodiscard]] constexpr std::uint32_t GetMask(std::uint32_t uiChannel) const { return m_auiMasks[uiChannel & 3]; }
    // Sets one mask word alone; the descriptor and shift words are left as
    // they are (a size-only layout keeps its device code in the red word).
    constexpr void SetMask(std::uint32_t uiChannel, std::uint32_t uiMask) { m_auiMasks[uiChannel & 3] = uiMask; }
    [[nodiscard]] constexpr std::uint32_t GetBitsPerPixel() const { return m_uiBitsPerPixel; }
    [[nodiscard]] constexpr std::uint32_t GetDescriptor() const { return m_uiDescriptor; }
    [[nodiscard]] constexpr std::uint32_t GetShiftWord() const { return m_uiShift; }
    // Channel width and lowest bit as the packed words hold them.
    [[nodiscard]] constexpr std::uint32_t GetChannelBits(std::uint32_t uiChannel) const
    {
        return (m_uiDescriptor >> (8 + 6 * (uiChannel & 3))) & 0x3F;
    }
    [[nodiscard]] constexpr std::uint32_t GetChannelShift(std::uint32_t uiChannel) const
    {
        return (m_uiShift >> (8 * (uiChannel & 3))) & 0xFF;
    }

    [[nodiscard]] constexpr bool IsPalettized() const { return m_uiKind == PALETTE || m_uiKind == PALETTE_ALPHA; }
    [[nodiscard]] constexpr bool IsCompressed() const
    {
        return m_uiKind == DXT1_KIND || m_uiKind == DXT3_KIND || m_uiKind == DXT5_KIND;
    }
    [[nodiscard]] constexpr bool IsDirect() const { return m_uiKind == RGB || m_uiKind == RGBA; }
    [[nodiscard]] constexpr bool IsBump() const { return m_uiKind == BUMP || m_uiKind == BUMP_LUMA; }

    constexpr bool operator==(const NiPixelFormat& kOther) const
    {
        return m_uiDescriptor == kOther.m_uiDescriptor && m_uiShift == kOther.m_uiShift;
    }
    constexpr bool operator!=(const NiPixelFormat& kOther) const { return !(*this == kOther); }

    // The scene-file record; both leave the stream's error to the caller and
    // return false on a short transfer.
    [[nodiscard]] bool LoadBinary(NiObjectStream& kStream);
    bool SaveBinary(NiObjectStream& kStream) const;

    // The record's eight leading words (kind, masks, bits, descriptor,
    // shift) and flag word as a file of that version holds them, with the
    // fix-ups older files need.
    [[nodiscard]] static NiPixelFormat FromRecord(const std::uint32_t (&auiWords)[8], std::uint32_t uiFlags,
                                                  std::uint32_t uiVersion);

    // Size code of the descriptor's bits 5-7 for a bits-per-pixel value.
    [[nodiscard]] static constexpr std::uint32_t SizeCode(std::uint32_t uiBitsPerPixel)
    {
        switch (uiBitsPerPixel)
        {
        case 4: return 5;
        case 8: return 1;
        case 16: return 2;
        case 24: return 3;
        case 32: return 4;
        case 64: return 6;
        case 128: return 7;
        default: return 0;
        }
    }

    static const NiPixelFormat RGB24;
    static const NiPixelFormat RGBA32;
    static const NiPixelFormat PAL4;
    static const NiPixelFormat PALA4;
    static const NiPixelFormat PAL8;
    static const NiPixelFormat PALA8;
    static const NiPixelFormat DXT1;
    static const NiPixelFormat DXT3;
    static const NiPixelFormat DXT5;
    static const NiPixelFormat BUMP16;
    static const NiPixelFormat BUMPLUMA32;
    static const NiPixelFormat A1B5G5R5;
    static const NiPixelFormat A1R5G5B5;
    static const NiPixelFormat R5G6B5;
    static const NiPixelFormat A4R4G4B4;
    static const NiPixelFormat A3R4G4B4;
    static const NiPixelFormat A8R8G8B8;

private:
    // Width and lowest bit of a mask; a mask with gaps counts its lowest run.
    static constexpr void MaskFields(std::uint32_t uiMask, std::uint32_t& uiBits, std::uint32_t& uiShift)
    {
        if (uiMask == 0)
        {
            uiBits = 0;
            uiShift = 0;
            return;
        }
        uiShift = static_cast<std::uint32_t>(std::countr_zero(uiMask));
        uiBits = static_cast<std::uint32_t>(std::countr_one(uiMask >> uiShift));
    }

    constexpr void ComputeChannelWords(std::uint32_t uiSizeCode, std::uint32_t uiChannels)
    {
        m_uiDescriptor = (m_uiKind & 0x1F) | ((uiSizeCode & 7) << 5);
        m_uiShift = 0;
        for (std::uint32_t c = 0; c < uiChannels; ++c)
        {
            std::uint32_t uiBits = 0;
            std::uint32_t uiShift = 0;
            MaskFields(m_auiMasks[c], uiBits, uiShift);
            m_uiDescriptor |= (uiBits & 0x3F) << (8 + 6 * c);
            m_uiShift |= (uiShift & 0xFF) << (8 * c);
        }
    }

    std::uint32_t m_uiKind = RGB;
    std::uint32_t m_uiFlags = 0;
    std::uint32_t m_auiMasks[4] = {0, 0, 0, 0};
    std::uint32_t m_uiBitsPerPixel = 0;
    std::uint32_t m_uiDescriptor = 0;
    std::uint32_t m_uiShift = 0;

    friend struct NiPixelFormatConstants;
};

// Constant data built at compile time, so every image made during static
// construction already sees the finished standard layouts.
struct NiPixelFormatConstants
{
    static constexpr NiPixelFormat Palette(bool bAlpha, std::uint32_t uiBits)
    {
        NiPixelFormat kFormat;
        kFormat.InitPalette(bAlpha, uiBits);
        return kFormat;
    }
    static constexpr NiPixelFormat Compressed(std::uint32_t uiKind)
    {
        NiPixelFormat kFormat;
        kFormat.m_uiKind = uiKind;
        kFormat.m_uiBitsPerPixel = 0;
        kFormat.m_uiDescriptor = uiKind;
        kFormat.m_uiShift = 0;
        return kFormat;
    }
};

inline constexpr NiPixelFormat NiPixelFormat::RGB24{0xFF, 0xFF00, 0xFF0000, 0, 24};
inline constexpr NiPixelFormat NiPixelFormat::RGBA32{0xFF, 0xFF00, 0xFF0000, 0xFF000000, 32};
inline constexpr NiPixelFormat NiPixelFormat::PAL4 = NiPixelFormatConstants::Palette(false, 4);
inline constexpr NiPixelFormat NiPixelFormat::PALA4 = NiPixelFormatConstants::Palette(true, 4);
inline constexpr NiPixelFormat NiPixelFormat::PAL8 = NiPixelFormatConstants::Palette(false, 8);
inline constexpr NiPixelFormat NiPixelFormat::PALA8 = NiPixelFormatConstants::Palette(true, 8);
inline constexpr NiPixelFormat NiPixelFormat::DXT1 = NiPixelFormatConstants::Compressed(NiPixelFormat::DXT1_KIND);
inline constexpr NiPixelFormat NiPixelFormat::DXT3 = NiPixelFormatConstants::Compressed(NiPixelFormat::DXT3_KIND);
inline constexpr NiPixelFormat NiPixelFormat::DXT5 = NiPixelFormatConstants::Compressed(NiPixelFormat::DXT5_KIND);
inline constexpr NiPixelFormat NiPixelFormat::BUMP16{0xFF, 0xFF00, 0, 16u};
inline constexpr NiPixelFormat NiPixelFormat::BUMPLUMA32{0xFF, 0xFF00, 0xFF0000, 32u};
inline constexpr NiPixelFormat NiPixelFormat::A1B5G5R5{0x1F, 0x3E0, 0x7C00, 0x8000, 16};
inline constexpr NiPixelFormat NiPixelFormat::A1R5G5B5{0x7C00, 0x3E0, 0x1F, 0x8000, 16};
inline constexpr NiPixelFormat NiPixelFormat::R5G6B5{0xF800, 0x7E0, 0x1F, 0, 16};
inline constexpr NiPixelFormat NiPixelFormat::A4R4G4B4{0xF00, 0xF0, 0xF, 0xF000, 16};
inline constexpr NiPixelFormat NiPixelFormat::A3R4G4B4{0xF00, 0xF0, 0xF, 0x7000, 16};
inline constexpr NiPixelFormat NiPixelFormat::A8R8G8B8{0xFF0000, 0xFF00, 0xFF, 0xFF000000, 32};

constexpr void NiPixelFormat::InitFromKind(std::uint32_t uiKind, std::uint32_t uiBitsPerPixel)
{
    switch (uiKind)
    {
    case RGB: *this = RGB24; break;
    case RGBA: *this = RGBA32; break;
    case PALETTE: *this = PAL8; break;
    case PALETTE_ALPHA: *this = PALA8; break;
    case BUMP: *this = BUMP16; break;
    case BUMP_LUMA: *this = BUMPLUMA32; break;
    case DXT1_KIND:
    case DXT3_KIND:
    case DXT5_KIND:
    case RGB_PLANAR:
    case SIZE_ONLY:
        m_uiKind = uiKind;
        for (std::uint32_t& uiMask : m_auiMasks)
            uiMask = 0;
        m_uiShift = 0;
        if (uiKind == RGB_PLANAR)
        {
            m_uiBitsPerPixel = 24;
            m_uiDescriptor = uiKind | (SizeCode(24) << 5);
        }
        else if (uiKind == SIZE_ONLY)
        {
            m_uiBitsPerPixel = uiBitsPerPixel;
            m_uiDescriptor = uiKind | (SizeCode(uiBitsPerPixel) << 5);
        }
        else
        {
            m_uiBitsPerPixel = 0;
            m_uiDescriptor = uiKind;
        }
        break;
    default: break;
    }
}
