#pragma once

#include "engine/render/NiDX9RenderTarget.h"
#include "engine/render/NiDX9TextureData.h"
#include "engine/render/NiRenderedTexture.h"

#include <array>
#include <memory>

// The renderer's data of a rendered texture: a one-level render-target
// texture in the default pool (released before a device reset, made again
// after it) and the target drawing into it with a depth surface of its own.
class NiDX9RenderedTextureData : public NiDX9TextureData
{
public:
    // The data, attached to the texture (which owns it); null when the
    // device texture or its target cannot be made.
    static NiDX9RenderedTextureData* Create(NiRenderedTexture* pkTexture, NiDX9Renderer* pkRenderer);
    ~NiDX9RenderedTextureData() override;

    [[nodiscard]] bool HasDeviceTexture() const override { return m_pkD3DTexture != nullptr; }
    [[nodiscard]] gfx::IDirect3DBaseTexture9* GetD3DTexture() const override { return m_pkD3DTexture; }
    [[nodiscard]] NiDX9RenderedTextureData* GetAsRenderedTextureData() override { return this; }
    [[nodiscard]] virtual NiDX9RenderTarget* GetRenderTarget() const { return m_spRenderTarget.get(); }

    // The render-target entry (indices 0 to 5 of a table) the preferences
    // choose: 16-bit layouts take R5G6B5, else X1R5G5B5, when present; an
    // alpha format of 1 or 2 tries 5, 4, 3, 2, 1, 0, others 2, 5, 1, 0, 4, 3.
    // Null when none is present.
    [[nodiscard]] static const NiDX9Renderer::TextureFormatEntry* ChooseTargetFormat(
        const NiTexture::FormatPrefs& kPrefs, const FormatTable& kTable);

protected:
    NiDX9RenderedTextureData(NiRenderedTexture* pkTexture, NiDX9Renderer* pkRenderer);
    // The device texture in the format chosen over the given table.
    bool CreateSurf(std::uint32_t eUsage);
    // The renderer draws into the back buffer again if it drew into this
    // target; then the target goes.
    void ReleaseTarget(std::unique_ptr<NiDX9TextureRenderTarget>& spTarget);

    NiDX9Renderer::TextureFormatEntry m_kTargetFormat; // kept clear
    gfx::IDirect3DTexture9* m_pkD3DTexture = nullptr;  // one reference
    std::unique_ptr<NiDX9TextureRenderTarget> m_spRenderTarget;
};

// A rendered cube map: a one-level cube render-target texture and a target
// per face; faces 1 to 5 share face 0's 16-bit depth surface.
class NiDX9RenderedCubeMapData : public NiDX9RenderedTextureData
{
public:
    static NiDX9RenderedCubeMapData* Create(NiRenderedCubeMap* pkCubeMap, NiDX9Renderer* pkRenderer);
    ~NiDX9RenderedCubeMapData() override;

    [[nodiscard]] bool HasDeviceTexture() const override { return m_pkCubeTexture != nullptr; }
    [[nodiscard]] gfx::IDirect3DBaseTexture9* GetD3DTexture() const override { return m_pkCubeTexture; }
    // The face the cube map currently selects.
    [[nodiscard]] NiDX9RenderTarget* GetRenderTarget() const override;
    [[nodiscard]] NiDX9RenderTarget* GetFaceTarget(std::uint32_t uiFace) const;

private:
    NiDX9RenderedCubeMapData(NiRenderedCubeMap* pkCubeMap, NiDX9Renderer* pkRenderer);
    bool CreateCubeSurf();

    gfx::IDirect3DCubeTexture9* m_pkCubeTexture = nullptr; // one reference
    std::array<std::unique_ptr<NiDX9TextureRenderTarget>, NiRenderedCubeMap::FACE_NUM> m_aspFaceTargets;
};
