#pragma once

#include "engine/render/NiDX9TextureData.h"
#include "engine/render/NiPalette.h"
#include "engine/render/NiPixelData.h"
#include "engine/render/NiSourceTexture.h"
#include "platform/gfx/Gfx.h"

#include <cstdint>
#include <string>

// The data of a source texture: the managed device texture filled from the
// texture's pixel data or its file, refreshed when the pixel data changes.
class NiDX9SourceTextureData : public NiDX9TextureData
{
public:
    // The texture's new data, already attached to it. An image that cannot
    // be read, sized or converted is replaced by the replacement image of
    // its error code; the data then never refreshes. Cube maps get cube-map
    // data instead.
    static NiDX9TextureData* Create(NiSourceTexture* pkTexture, NiDX9Renderer* pkRenderer);

    ~NiDX9SourceTextureData() override;

    [[nodiscard]] bool HasDeviceTexture() const override { return m_pkD3DTexture != nullptr; }
    [[nodiscard]] gfx::IDirect3DBaseTexture9* GetD3DTexture() const override { return m_pkD3DTexture; }
    [[nodiscard]] NiDX9SourceTextureData* GetAsSourceTextureData() override { return this; }
    // Keeps the device texture (its reference passes to the data) after
    // reading every level's size; palettized device formats are refused.
    bool InitializeFromD3DTexture(gfx::IDirect3DBaseTexture9* pkD3DTexture) override;

    [[nodiscard]] virtual NiPalette* GetPalette() const { return m_spPalette; }
    // Copies the texture's pixel data again when its change counter or its
    // palette moved since the last copy.
    virtual void Update();

    // True when the palette or its change counter differs from the kept one.
    bool SetPalette(NiPalette* pkPalette);

    // The file straight to the platform's loader (".bmp", ".tga", ".dds" in
    // any case); false when it cannot take the file, so the caller reads it.
    bool LoadFileDirect(const char* pcFileName, NiDX9Renderer* pkRenderer, const NiTexture::FormatPrefs& kPrefs);
    // The device texture for a converted image, less the skipped top levels.
    bool CreateSurf(const NiPixelData& kConverted);
    void CopyDataToSurfaces(const NiPixelData& kImage);
    void CopyDataToSurface(const NiPixelData& kImage, std::uint32_t uiLevel, gfx::IDirect3DSurface9* pkSurface);

    [[nodiscard]] bool IsReplacementData() const { return m_bReplacementData; }
    [[nodiscard]] bool GetMipmap() const { return m_bMipmap; }
    [[nodiscard]] std::uint32_t GetSourceSize() const { return m_uiSourceSize; }
    [[nodiscard]] std::uint32_t GetSkipLevels() const { return m_uiSkipLevels; }
    [[nodiscard]] std::uint32_t GetSourceRevID() const { return m_uiSourceRevID; }

    // The last device failure written (tests); the engine discards them.
    [[nodiscard]] static const std::string& GetLastDiagnostic();
    static void ResetLastDiagnostic();

protected:
    NiDX9SourceTextureData(NiSourceTexture* pkTexture, NiDX9Renderer* pkRenderer);

    [[nodiscard]] NiSourceTexture* GetSourceTexture() const { return static_cast<NiSourceTexture*>(m_pkTexture); }
    void ReleaseD3DTexture();

    bool m_bReplacementData = false;
    bool m_bMipmap = false;
    std::uint32_t m_uiSourceSize = 0;
    NiPalettePtr m_spPalette;
    std::uint32_t m_uiPalRevID = 0;
    std::uint32_t m_uiSkipLevels = 0;
    gfx::IDirect3DBaseTexture9* m_pkD3DTexture = nullptr; // one reference
    std::uint32_t m_uiSourceRevID = 0;
};
