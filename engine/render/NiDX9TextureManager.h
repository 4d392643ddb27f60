#pragma once

#include "engine/core/NiRefObject.h"
#include "engine/core/NiRefPtr.h"
#include "engine/render/NiTexture.h"
#include "platform/gfx/Gfx.h"

#include <cstdint>

class NiDX9Renderer;
class NiDX9TextureData;

// Hands the renderer the device texture of an engine texture, making and
// refreshing the texture's data on the way.
class NiDX9TextureManager : public NiRefObject
{
public:
    // Takes a reference on the renderer's device.
    explicit NiDX9TextureManager(NiDX9Renderer* pkRenderer);
    ~NiDX9TextureManager() override;
    NiDX9TextureManager(const NiDX9TextureManager&) = delete;
    NiDX9TextureManager& operator=(const NiDX9TextureManager&) = delete;

    // The device texture to draw with; null when there is none. bChanged
    // says the data was made or refreshed, bMipmapped that it has levels.
    virtual gfx::IDirect3DBaseTexture9* GetD3DTextureForRendering(NiTexture* pkTexture, bool& bChanged,
                                                                  bool& bMipmapped);
    // Makes the texture's data ahead of drawing; false for a texture the
    // renderer cannot make data for.
    virtual bool PrecacheTexture(NiTexture* pkTexture);
    // The format table index of the texture's data, precaching a source
    // texture that has none; FORMAT_NONE when it has no usable data.
    virtual std::uint32_t GetFormatIndex(NiTexture* pkTexture);

    static constexpr std::uint32_t FORMAT_NONE = 14;

    // The texture's data when it is the device renderer's.
    [[nodiscard]] static NiDX9TextureData* GetData(NiTexture* pkTexture);

private:
    NiDX9Renderer* m_pkRenderer;
    gfx::IDirect3DDevice9* m_pkD3DDevice9;
};

using NiDX9TextureManagerPtr = NiRefPtr<NiDX9TextureManager>;
