#pragma once

#include "platform/gfx/Gfx.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

// The machine as the device describes it before any device exists: the
// adapters, their display modes with refresh rates, and for each device type
// the display formats it can use with the depth/stencil formats that go with
// each framebuffer format. Built once by NiDX9Renderer::GetSystemInfo; the
// launcher lists it and device creation picks its formats and mode from it.

// One display mode with every refresh rate it is offered at.
class NiDX9ModeDesc
{
public:
    std::uint32_t m_uiWidth = 0;
    std::uint32_t m_uiHeight = 0;
    std::uint32_t m_uiBitsPerPixel = 0;
    gfx::D3DFORMAT m_eD3DFormat = gfx::D3DFMT_UNKNOWN;
    std::vector<std::uint32_t> m_kRefreshRates; // in enumeration order
};

// What one display format allows.
class NiDX9DisplayFormatInfo
{
public:
    // Depth/stencil candidates in the order they are tried.
    static constexpr std::uint32_t DEPTH_CANDIDATES = 9;
    // Framebuffer format codes run 1 to 11.
    static constexpr std::uint32_t FRAMEBUFFER_CODES = 12;

    // Whether a depth/stencil candidate (by index) matches a framebuffer format code.
    [[nodiscard]] bool MatchesDepthStencil(std::uint32_t uiFramebufferCode, std::uint32_t uiCandidate) const;
    // Marks the framebuffer code as a valid target and adds a matching candidate.
    void AddDepthStencilMatch(std::uint32_t uiFramebufferCode, std::uint32_t uiCandidate);
    // Forgets every depth/stencil match (tests build descriptions without).
    void ClearDepthStencilMatches() { m_auiDepthMatches.fill(0); }

    gfx::D3DFORMAT m_eD3DFormat = gfx::D3DFMT_UNKNOWN;
    bool m_bWindowed = false;
    bool m_bFullscreen = false;

private:
    // Per framebuffer code, one bit per depth/stencil candidate.
    std::array<std::uint16_t, FRAMEBUFFER_CODES> m_auiDepthMatches{};
};

// One device type (HAL or REF) of one adapter.
class NiDX9DeviceDesc
{
public:
    // Reads the caps of the device type and lists the display formats it can
    // use, full screen or in a window on the given desktop format.
    NiDX9DeviceDesc(gfx::IDirect3D9& kD3D, std::uint32_t uiAdapter, std::uint32_t uiDeviceType,
                    gfx::D3DFORMAT eDesktopFormat, const std::vector<gfx::D3DFORMAT>& kDisplayFormats);
    // An empty description of a device type (tests build their own).
    explicit NiDX9DeviceDesc(std::uint32_t uiDeviceType);

    // Usable only when its caps could be read.
    [[nodiscard]] bool IsValid() const { return m_kD3DCaps9.DeviceType != 0; }
    [[nodiscard]] std::uint32_t GetDeviceType() const { return m_uiDeviceType; }
    [[nodiscard]] const gfx::D3DCAPS9& GetCaps() const { return m_kD3DCaps9; }
    [[nodiscard]] bool CanRenderWindowed() const { return m_bRenderWindowed; }

    // Full screen: the first full-screen-capable display format of that bit
    // depth; windowed: the first windowed-capable one, whatever its depth.
    // Its framebuffer format code, or 0.
    [[nodiscard]] std::uint32_t FindFramebufferFormat(bool bWindowed, std::uint32_t uiBitDepth) const;
    // The depth/stencil format closest to (24, 8) when stencil is wanted,
    // else to (bit depth, 0), among those that match the back-buffer format
    // on that display format. 0 when none matches or the display format is
    // not listed.
    [[nodiscard]] gfx::D3DFORMAT FindDepthStencilFormat(gfx::D3DFORMAT eDisplayFormat, gfx::D3DFORMAT eBackBufferFormat,
                                                        std::uint32_t uiBitDepth, bool bStencil) const;
    // The same search aiming at any (depth, stencil) pair.
    [[nodiscard]] gfx::D3DFORMAT FindClosestDepthStencil(gfx::D3DFORMAT eDisplayFormat,
                                                         gfx::D3DFORMAT eBackBufferFormat, std::uint32_t uiDepth,
                                                         std::uint32_t uiStencil) const;

    [[nodiscard]] const NiDX9DisplayFormatInfo* GetFormatInfo(gfx::D3DFORMAT eDisplayFormat) const;
    [[nodiscard]] std::vector<NiDX9DisplayFormatInfo>& GetFormats() { return m_kFormats; }
    [[nodiscard]] const std::vector<NiDX9DisplayFormatInfo>& GetFormats() const { return m_kFormats; }
    // Tests stand in for device types the platform lacks.
    void SetCaps(const gfx::D3DCAPS9& kCaps) { m_kD3DCaps9 = kCaps; }

private:
    std::uint32_t m_uiDeviceType;
    gfx::D3DCAPS9 m_kD3DCaps9{};
    std::vector<NiDX9DisplayFormatInfo> m_kFormats; // in the order found
    bool m_bRenderWindowed = false;
};

// One adapter.
class NiDX9AdapterDesc
{
public:
    NiDX9AdapterDesc(gfx::IDirect3D9& kD3D, std::uint32_t uiAdapter, const std::vector<gfx::D3DFORMAT>& kDisplayFormats);

    [[nodiscard]] std::uint32_t GetAdapter() const { return m_uiAdapter; }
    [[nodiscard]] const gfx::D3DADAPTER_IDENTIFIER9& GetIdentifier() const { return m_kIdentifier; }
    [[nodiscard]] const char* GetStringDescription() const { return m_kIdentifier.Description; }
    [[nodiscard]] bool HasIdentifier() const { return m_bHasIdentifier; }

    [[nodiscard]] std::uint32_t GetModeCount() const { return static_cast<std::uint32_t>(m_kModes.size()); }
    [[nodiscard]] const NiDX9ModeDesc* GetMode(std::uint32_t uiMode) const;
    // Adds a mode as enumeration does: a mode of the same format and size
    // only gains the refresh rate.
    void AddMode(const gfx::D3DDISPLAYMODE& kMode);
    // The mode of that format and size, or null. A requested refresh rate of
    // 0 stays 0; any other becomes the listed rate nearest to it (ties keep
    // the earlier rate).
    [[nodiscard]] const NiDX9ModeDesc* FindMode(gfx::D3DFORMAT eFormat, std::uint32_t uiWidth,
                                                std::uint32_t uiHeight, std::uint32_t& uiRefreshRate) const;

    [[nodiscard]] const gfx::D3DDISPLAYMODE& GetDesktopMode() const { return m_kDesktop; }
    // By device type; null for types other than HAL and REF.
    [[nodiscard]] NiDX9DeviceDesc* GetDevice(std::uint32_t uiDeviceType);
    [[nodiscard]] const NiDX9DeviceDesc* GetDevice(std::uint32_t uiDeviceType) const;

private:
    std::uint32_t m_uiAdapter;
    gfx::D3DADAPTER_IDENTIFIER9 m_kIdentifier{};
    bool m_bHasIdentifier = false;
    std::vector<NiDX9ModeDesc> m_kModes;
    gfx::D3DDISPLAYMODE m_kDesktop;
    std::unique_ptr<NiDX9DeviceDesc> m_pkHALDevice;
    std::unique_ptr<NiDX9DeviceDesc> m_pkREFDevice;
};

// Every adapter of the machine, by ordinal.
class NiDX9SystemInfo
{
public:
    NiDX9SystemInfo(gfx::IDirect3D9& kD3D, const std::vector<gfx::D3DFORMAT>& kDisplayFormats);

    [[nodiscard]] std::uint32_t GetAdapterCount() const { return static_cast<std::uint32_t>(m_kAdapters.size()); }
    [[nodiscard]] NiDX9AdapterDesc* GetAdapter(std::uint32_t uiAdapter);
    [[nodiscard]] const NiDX9AdapterDesc* GetAdapter(std::uint32_t uiAdapter) const;

private:
    std::vector<std::unique_ptr<NiDX9AdapterDesc>> m_kAdapters;
};
