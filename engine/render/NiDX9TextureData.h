#pragma once

#include "engine/render/NiDX9Renderer.h"
#include "engine/render/NiTexture.h"
#include "engine/render/image/NiPixelFormat.h"
#include "platform/gfx/Gfx.h"

#include <cstdint>

// The device format of an engine pixel layout (0: the device has no such
// format). Size-only layouts carry their device code in the red mask word.
[[nodiscard]] gfx::D3DFORMAT NiDX9PixelFormatToD3D(const NiPixelFormat& kFormat);

// The engine layout of a device format; formats without an engine layout
// become size-only layouts holding the code and the format's width.
[[nodiscard]] NiPixelFormat NiDX9PixelFormatFromD3D(gfx::D3DFORMAT eD3DFormat);
// Fills a format entry from a device format; the entry's table index is 0.
void NiDX9PixelFormatFromD3D(NiDX9Renderer::TextureFormatEntry& kEntry, gfx::D3DFORMAT eD3DFormat);

// The renderer's data of one engine texture: the device texture and what it
// was made with.
class NiDX9TextureData
{
public:
    using FormatTable = NiDX9Renderer::TextureFormatTable;

    // The table entry an image of the source layout is converted to, under
    // the texture's preferences and the current image converter; null when
    // none fits or the source carries flags.
    [[nodiscard]] static const NiDX9Renderer::TextureFormatEntry* ChooseFormat(
        const NiPixelFormat& kSource, const NiTexture::FormatPrefs& kPrefs, const FormatTable& kTable);

    // The entry the preferences alone point at; null when none is present.
    [[nodiscard]] static const NiDX9Renderer::TextureFormatEntry* FindClosestFormat(
        const NiTexture::FormatPrefs& kPrefs, const FormatTable& kTable);
};
