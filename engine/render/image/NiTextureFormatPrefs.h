#pragma once

#include <cstdint>

// A texture's wishes for the layout its image takes on a device.
struct FormatPrefs
{
    enum PixelLayout : std::uint32_t
    {
        PALETTIZED_8 = 0,
        HIGH_COLOR_16 = 1,
        TRUE_COLOR_32 = 2,
        COMPRESSED = 3,
        BUMPMAP = 4,
        PALETTIZED_4 = 5,
        PIX_DEFAULT = 6,
    };
    enum MipFlag : std::uint32_t
    {
        NO = 0,
        YES = 1,
        MIP_DEFAULT = 2,
    };
    enum AlphaFormat : std::uint32_t
    {
        NONE = 0,
        BINARY = 1,
        SMOOTH = 2,
        ALPHA_DEFAULT = 3,
    };

    PixelLayout m_ePixelLayout = PIX_DEFAULT;
    MipFlag m_eMipMapped = MIP_DEFAULT;
    AlphaFormat m_eAlphaFmt = ALPHA_DEFAULT;
};
