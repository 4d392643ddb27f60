#pragma once

#include "engine/core/NiObject.h"

#include <cstdint>

// Base of every engine texture. The texture code fills in the image side;
// the scene graph only holds textures by reference and compares them.
class NiTexture : public NiObject
{
    NiDeclareTypeInfo()

public:
    // How a texture made from an image should be laid out in video memory.
    struct FormatPrefs
    {
        enum PixelLayout : std::uint32_t
        {
            PALETTIZED_8 = 0,
            HIGH_COLOR_16 = 1,
            TRUE_COLOR_32 = 2,
            COMPRESSED = 3,
            BUMPMAP = 4,
            PIX_DEFAULT = 5,
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

        std::uint32_t m_ePixelLayout = PIX_DEFAULT;
        std::uint32_t m_eMipMapped = MIP_DEFAULT;
        std::uint32_t m_eAlphaFmt = ALPHA_DEFAULT;
    };

    NiTexture() = default;
    ~NiTexture() override = default;

    // The one process-wide preferences record textures made from files and
    // pixel data use.
    [[nodiscard]] static FormatPrefs& GetDefaultFormatPrefs();
    static void ResetDefaultFormatPrefs();
};

using NiTexturePtr = NiRefPtr<NiTexture>;
