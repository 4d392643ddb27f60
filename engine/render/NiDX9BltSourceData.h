#pragma once

#include "engine/render/NiBltSource.h"
#include "platform/gfx/Gfx.h"

#include <cstdint>

class NiDX9Renderer;

// The renderer's data of a blit source: the image in the back buffer's
// format in a system-memory surface, ready to be copied into a target.
class NiDX9BltSourceData : public NiBltSource::RendererData
{
public:
    // The data, attached to the blit source; null when there is no image or
    // it cannot be converted. A surface that cannot be made or filled leaves
    // the data attached but without a surface.
    static NiDX9BltSourceData* Create(NiBltSource* pkBltSource, NiDX9Renderer* pkRenderer);
    ~NiDX9BltSourceData() override;
    NiDX9BltSourceData(const NiDX9BltSourceData&) = delete;
    NiDX9BltSourceData& operator=(const NiDX9BltSourceData&) = delete;

    [[nodiscard]] std::uint32_t GetWidth() const override { return m_uiWidth; }
    [[nodiscard]] std::uint32_t GetHeight() const override { return m_uiHeight; }
    [[nodiscard]] gfx::IDirect3DSurface9* GetSurface() const { return m_pkSurface; }
    [[nodiscard]] NiBltSource* GetBltSource() const { return m_pkBltSource; }

    // Deletes the data of every live blit source (each link cleared first).
    static void PurgeAllBltSourceRendererData();

private:
    NiDX9BltSourceData(NiBltSource* pkBltSource, NiDX9Renderer* pkRenderer, std::uint32_t uiWidth,
                       std::uint32_t uiHeight);
    // The surface filled from the converted image's top level.
    bool CreateSurf(const NiPixelData& kImage, gfx::D3DFORMAT eFormat);

    NiBltSource* m_pkBltSource;
    NiDX9Renderer* m_pkRenderer;
    gfx::IDirect3DSurface9* m_pkSurface = nullptr; // one reference
    std::uint32_t m_uiWidth;
    std::uint32_t m_uiHeight;
};
