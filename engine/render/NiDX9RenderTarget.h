#pragma once

#include "engine/render/NiDX9Renderer.h"
#include "platform/gfx/Gfx.h"

#include <cstdint>
#include <memory>

// What the renderer draws into: a colour surface and an optional depth/stencil
// surface, bound to the device's render-target indices. The binding state is
// process-wide, as the device it mirrors is the program's one device.
class NiDX9RenderTarget
{
public:
    static constexpr std::uint32_t MAX_TARGETS = 4;

    NiDX9RenderTarget(const NiDX9RenderTarget&) = delete;
    NiDX9RenderTarget& operator=(const NiDX9RenderTarget&) = delete;
    virtual ~NiDX9RenderTarget();

    // Shows what was drawn (the back buffer presents; textures keep it).
    virtual bool Display() = 0;
    // Drops both surfaces and the format; the target stays, empty.
    virtual void ReleaseSurfaces();

    // Binds the colour surface at the index (index 0 also binds the depth
    // surface); a surface already bound there is not bound again.
    bool SetRenderTarget(gfx::IDirect3DDevice9* pkDevice, std::uint32_t uiIndex);
    // Unbinds an index other than 0; index 0 always keeps a target.
    static void ClearRenderTarget(gfx::IDirect3DDevice9* pkDevice, std::uint32_t uiIndex);
    // Whether this target may be bound beside what is bound at the index:
    // not multisampled, same size, and same bit depth unless the device
    // allows different ones.
    [[nodiscard]] bool IsCompatible(std::uint32_t uiIndex) const;

    [[nodiscard]] std::uint32_t GetWidth() const { return m_uiWidth; }
    [[nodiscard]] std::uint32_t GetHeight() const { return m_uiHeight; }
    [[nodiscard]] gfx::IDirect3DSurface9* GetColorSurface() const { return m_pkColor; }
    [[nodiscard]] gfx::IDirect3DSurface9* GetDepthStencilSurface() const { return m_pkDepthStencil; }
    // Null once the surfaces are released.
    [[nodiscard]] const NiDX9Renderer::TextureFormatEntry* GetFormat() const { return m_spFormat.get(); }
    // Bits per pixel of the colour format; 0 without one.
    [[nodiscard]] std::uint32_t GetBitDepth() const;

    // ---- the binding state ----
    [[nodiscard]] static gfx::IDirect3DSurface9* GetBoundTarget(std::uint32_t uiIndex);
    [[nodiscard]] static gfx::IDirect3DSurface9* GetBoundDepthStencil() { return ms_pkBoundDepthStencil; }
    [[nodiscard]] static std::uint32_t GetHighestIndex() { return ms_uiHighestIndex; }
    [[nodiscard]] static bool GetIndependentBitDepths() { return ms_bIndependentBitDepths; }
    // Taken from the renderer when the first back-buffer target is made.
    static void SetTargetLimits(std::uint32_t uiHighestIndex, bool bIndependentBitDepths);
    // The device's bindings are no longer known (a new or dying device).
    static void ForgetBindings();
    // Everything back to a fresh process (tests).
    static void ResetStatics();

protected:
    NiDX9RenderTarget() = default;
    // Width, height and format from the colour surface; false when it cannot
    // be described.
    bool DescribeColorSurface();

    std::uint32_t m_uiWidth = 0;
    std::uint32_t m_uiHeight = 0;
    gfx::IDirect3DSurface9* m_pkColor = nullptr;        // one reference
    gfx::IDirect3DSurface9* m_pkDepthStencil = nullptr; // one reference, or none
    std::unique_ptr<NiDX9Renderer::TextureFormatEntry> m_spFormat;

    // Raw: what the device was last told, never dereferenced to release.
    static gfx::IDirect3DSurface9* ms_apkBoundTargets[MAX_TARGETS];
    static gfx::IDirect3DSurface9* ms_pkBoundDepthStencil;
    static std::uint32_t ms_uiHighestIndex;
    static bool ms_bIndependentBitDepths;
};

// A target drawing into level 0 of a texture (or one face of a cube texture).
class NiDX9TextureRenderTarget : public NiDX9RenderTarget
{
public:
    ~NiDX9TextureRenderTarget() override;

    // Level 0 of the texture with a new depth surface of the given format
    // (none when the device refuses it); null when the level cannot be had.
    [[nodiscard]] static std::unique_ptr<NiDX9TextureRenderTarget> Create(gfx::IDirect3DTexture9* pkTexture,
                                                                          gfx::D3DFORMAT eDepthFormat,
                                                                          gfx::IDirect3DDevice9* pkDevice);
    // Level 0 of one cube face; the depth surface is the shared target's
    // when it has one, else a new 16-bit one.
    [[nodiscard]] static std::unique_ptr<NiDX9TextureRenderTarget> CreateCubeFace(
        gfx::IDirect3DCubeTexture9* pkCube, std::uint32_t uiFace, const NiDX9RenderTarget* pkShared,
        gfx::IDirect3DDevice9* pkDevice);

    bool Display() override { return true; }
    void ReleaseSurfaces() override;
    [[nodiscard]] gfx::IDirect3DBaseTexture9* GetTexture() const { return m_pkTexture; }

private:
    NiDX9TextureRenderTarget() = default;
    gfx::IDirect3DBaseTexture9* m_pkTexture = nullptr; // one reference
};

// The device's back buffer and automatic depth surface for one window.
class NiDX9BackBufferTarget : public NiDX9RenderTarget
{
public:
    ~NiDX9BackBufferTarget() override;

    // Null when the device's target 0 cannot be fetched or described.
    [[nodiscard]] static std::unique_ptr<NiDX9BackBufferTarget> Create(gfx::IDirect3DDevice9* pkDevice,
                                                                       const gfx::D3DPRESENT_PARAMETERS& kParams);

    // Presents the frame; false without a device or when presenting fails.
    bool Display() override;
    // Also lets go of the device (once: the pointer is cleared).
    void ReleaseSurfaces() override;
    // Before a device reset: nothing of the device may stay held.
    virtual bool OnDeviceLost();
    // After a reset: the device's new back buffer and depth surface.
    virtual bool Recreate(gfx::IDirect3DDevice9* pkDevice);

    [[nodiscard]] gfx::D3DPRESENT_PARAMETERS& GetPresentParams() { return m_kPresentParams; }
    [[nodiscard]] const gfx::D3DPRESENT_PARAMETERS& GetPresentParams() const { return m_kPresentParams; }
    [[nodiscard]] gfx::IDirect3DDevice9* GetD3DDevice() const { return m_pkDevice; }

private:
    NiDX9BackBufferTarget() = default;
    // The device's target 0 and depth surface, described.
    bool FetchSurfaces();

    gfx::D3DPRESENT_PARAMETERS m_kPresentParams;
    gfx::IDirect3DDevice9* m_pkDevice = nullptr; // one reference, or none
};
