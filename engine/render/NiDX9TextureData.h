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

class NiDX9RenderedTextureData;
class NiDX9SourceTextureData;

// The renderer's data of one engine texture: the device texture and what it
// was made with. The texture owns it; it only links back.
class NiDX9TextureData : public NiTexture::RendererData
{
public:
    using FormatTable = NiDX9Renderer::TextureFormatTable;

    NiDX9TextureData(NiTexture* pkTexture, NiDX9Renderer* pkRenderer);
    ~NiDX9TextureData() override;
    NiDX9TextureData(const NiDX9TextureData&) = delete;
    NiDX9TextureData& operator=(const NiDX9TextureData&) = delete;

    [[nodiscard]] virtual bool HasDeviceTexture() const = 0;
    [[nodiscard]] std::uint32_t GetWidth() const override { return m_uiWidth; }
    [[nodiscard]] std::uint32_t GetHeight() const override { return m_uiHeight; }
    // Table index and code 0 until a format is chosen.
    [[nodiscard]] const NiDX9Renderer::TextureFormatEntry& GetPixelFormat() const { return m_kPixelFormat; }
    [[nodiscard]] std::uint32_t GetLevels() const { return m_uiLevels; }
    [[nodiscard]] virtual gfx::IDirect3DBaseTexture9* GetD3DTexture() const = 0;
    [[nodiscard]] virtual NiDX9RenderedTextureData* GetAsRenderedTextureData() { return nullptr; }
    [[nodiscard]] virtual NiDX9SourceTextureData* GetAsSourceTextureData() { return nullptr; }
    // Takes size, level count and format from the device texture's top
    // level; palettized device formats are refused. The texture is not kept.
    virtual bool InitializeFromD3DTexture(gfx::IDirect3DBaseTexture9* pkD3DTexture);

    [[nodiscard]] NiTexture* GetTexture() const { return m_pkTexture; }
    [[nodiscard]] NiDX9Renderer* GetRenderer() const { return m_pkRenderer; }

    // Deletes the renderer data of every live texture (renderer teardown and
    // purges); each texture's link is cleared before its data goes.
    static void PurgeAllRendererData();

    // The table entry an image of the source layout is converted to, under
    // the texture's preferences and the current image converter; null when
    // none fits or the source carries flags.
    [[nodiscard]] static const NiDX9Renderer::TextureFormatEntry* ChooseFormat(
        const NiPixelFormat& kSource, const NiTexture::FormatPrefs& kPrefs, const FormatTable& kTable);

    // The entry the preferences alone point at; null when none is present.
    [[nodiscard]] static const NiDX9Renderer::TextureFormatEntry* FindClosestFormat(
        const NiTexture::FormatPrefs& kPrefs, const FormatTable& kTable);

protected:
    // Width, height and format of a level of a plain, cube or volume texture
    // (with the volume's depth, 1 for the others, when asked); false for
    // other resources or a level out of range.
    static bool GetLevelDesc(gfx::IDirect3DBaseTexture9* pkD3DTexture, std::uint32_t uiLevel,
                             gfx::D3DSURFACE_DESC& kDesc, std::uint32_t* puiDepth = nullptr);

    NiTexture* m_pkTexture;
    NiDX9Renderer* m_pkRenderer;
    NiDX9Renderer::TextureFormatEntry m_kPixelFormat;
    std::uint32_t m_uiWidth = 0;
    std::uint32_t m_uiHeight = 0;
    std::uint32_t m_uiLevels = 0;
};
