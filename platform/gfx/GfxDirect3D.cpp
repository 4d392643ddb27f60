#include "platform/gfx/Gfx.h"

#include "platform/gfx/GfxBackendLocal.h"
#include "platform/gfx/GfxFormat.h"
#include "platform/os/OsSdl.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace gfx {

D3DFORMAT DisplayFormatFromSdl(std::uint32_t sdlFormat) {
    switch (sdlFormat) {
    case SDL_PIXELFORMAT_RGB888:
    case SDL_PIXELFORMAT_ARGB8888: return D3DFMT_X8R8G8B8;
    case SDL_PIXELFORMAT_RGB565: return D3DFMT_R5G6B5;
    case SDL_PIXELFORMAT_RGB555: return D3DFMT_X1R5G5B5;
    default: return D3DFMT_UNKNOWN;
    }
}

D3DFORMAT DisplayFormatForBackBuffer(D3DFORMAT backBuffer) {
    if (backBuffer == D3DFMT_A8R8G8B8) return D3DFMT_X8R8G8B8;
    if (backBuffer == D3DFMT_A1R5G5B5) return D3DFMT_X1R5G5B5;
    return backBuffer;
}

namespace {
std::string& LastFailure() {
    static std::string text;
    return text;
}
} // namespace

const std::string& GetLastFailureText() { return LastFailure(); }
void ClearLastFailureText() { LastFailure().clear(); }

void ReportFailure(const std::string& text) {
    LastFailure() = text;
    std::fprintf(stderr, "%s\n", text.c_str());
}

namespace {

bool IsDisplayFormat(D3DFORMAT f) { return f == D3DFMT_X8R8G8B8 || f == D3DFMT_R5G6B5 || f == D3DFMT_X1R5G5B5; }

// The back-buffer formats a display format accepts full screen: itself and its alpha twin.
bool MatchesDisplay(D3DFORMAT display, D3DFORMAT back) {
    if (back == display) return true;
    return (display == D3DFMT_X8R8G8B8 && back == D3DFMT_A8R8G8B8) ||
           (display == D3DFMT_X1R5G5B5 && back == D3DFMT_A1R5G5B5);
}

std::vector<IDirect3D9::Adapter> ReadAdapters() {
    std::vector<IDirect3D9::Adapter> adapters;
    const int displays = SDL_GetNumVideoDisplays();
    for (int d = 0; d < displays; ++d) {
        IDirect3D9::Adapter a;
        const char* name = SDL_GetDisplayName(d);
        a.description = name ? name : "";
        SDL_DisplayMode desktop{};
        if (SDL_GetDesktopDisplayMode(d, &desktop) == 0) {
            D3DFORMAT f = DisplayFormatFromSdl(desktop.format);
            if (f == D3DFMT_UNKNOWN) f = D3DFMT_X8R8G8B8;
            a.desktop = D3DDISPLAYMODE{std::uint32_t(desktop.w), std::uint32_t(desktop.h),
                                       std::uint32_t(desktop.refresh_rate), f};
        }
        const int count = SDL_GetNumDisplayModes(d);
        for (int i = 0; i < count; ++i) {
            SDL_DisplayMode m{};
            if (SDL_GetDisplayMode(d, i, &m) != 0 || m.w <= 0 || m.h <= 0) continue;
            const D3DFORMAT f = DisplayFormatFromSdl(m.format);
            if (f == D3DFMT_UNKNOWN) continue;
            a.modes.push_back(D3DDISPLAYMODE{std::uint32_t(m.w), std::uint32_t(m.h), std::uint32_t(m.refresh_rate), f});
        }
        // Some drivers (offscreen) list no usable mode: the desktop mode is always one.
        if (a.modes.empty() && a.desktop.Width > 0) a.modes.push_back(a.desktop);
        adapters.push_back(std::move(a));
    }
    return adapters;
}

BackendKind ResolveKind(BackendKind kind) {
    if (kind != BackendKind::Auto) return kind;
    if (const char* env = std::getenv("ORVANE_GFX_BACKEND")) {
        const std::string_view v(env);
        if (v == "null") return BackendKind::Null;
        if (v == "gl") return BackendKind::Gl;
    }
    // A driver without OpenGL is reported, not covered up by a device that shows nothing.
    return BackendKind::Gl;
}

} // namespace

IDirect3D9* Direct3DCreate9(std::uint32_t sdkVersion, BackendKind kind) {
    ClearLastFailureText();
    if (sdkVersion != D3D_SDK_VERSION) return nullptr;
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        ReportFailure(std::string("gfx: SDL video failed: ") + SDL_GetError());
        return nullptr;
    }
    kind = ResolveKind(kind);
    if (kind == BackendKind::Gl && !GlAvailable()) {
        const char* driver = SDL_GetCurrentVideoDriver();
        ReportFailure(std::string("gfx gl: the video driver \"") + (driver ? driver : "") +
                      "\" offers no OpenGL: " + SDL_GetError());
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return nullptr;
    }
    return new IDirect3D9(kind, ReadAdapters());
}

IDirect3D9::IDirect3D9(BackendKind kind, std::vector<Adapter> adapters)
    : m_kind(kind), m_adapters(std::move(adapters)) {}

IDirect3D9::~IDirect3D9() { SDL_QuitSubSystem(SDL_INIT_VIDEO); }

std::uint32_t IDirect3D9::GetAdapterCount() const { return static_cast<std::uint32_t>(m_adapters.size()); }

HRESULT IDirect3D9::GetAdapterIdentifier(std::uint32_t adapter, std::uint32_t, D3DADAPTER_IDENTIFIER9* id) const {
    if (!id || adapter >= m_adapters.size()) return D3DERR_INVALIDCALL;
    std::memset(id, 0, sizeof *id);
    std::snprintf(id->Driver, sizeof id->Driver, "%s", m_kind == BackendKind::Gl ? "orvane-gfx-gl" : "orvane-gfx-null");
    std::snprintf(id->Description, sizeof id->Description, "%s", m_adapters[adapter].description.c_str());
    std::snprintf(id->DeviceName, sizeof id->DeviceName, "\\\\.\\DISPLAY%u", adapter + 1);
    return D3D_OK;
}

std::uint32_t IDirect3D9::GetAdapterModeCount(std::uint32_t adapter, D3DFORMAT format) const {
    if (adapter >= m_adapters.size()) return 0;
    return static_cast<std::uint32_t>(std::count_if(m_adapters[adapter].modes.begin(), m_adapters[adapter].modes.end(),
                                                    [&](const D3DDISPLAYMODE& m) { return m.Format == format; }));
}

HRESULT IDirect3D9::EnumAdapterModes(std::uint32_t adapter, D3DFORMAT format, std::uint32_t mode,
                                     D3DDISPLAYMODE* out) const {
    if (!out || adapter >= m_adapters.size()) return D3DERR_INVALIDCALL;
    std::uint32_t n = 0;
    for (const D3DDISPLAYMODE& m : m_adapters[adapter].modes) {
        if (m.Format != format) continue;
        if (n++ == mode) {
            *out = m;
            return D3D_OK;
        }
    }
    return D3DERR_INVALIDCALL;
}

HRESULT IDirect3D9::GetAdapterDisplayMode(std::uint32_t adapter, D3DDISPLAYMODE* mode) const {
    if (!mode || adapter >= m_adapters.size()) return D3DERR_INVALIDCALL;
    *mode = m_adapters[adapter].desktop;
    return D3D_OK;
}

bool IDirect3D9::HasModeFormat(std::uint32_t adapter, D3DFORMAT format) const {
    return GetAdapterModeCount(adapter, format) > 0;
}

HRESULT IDirect3D9::CheckDeviceType(std::uint32_t adapter, std::uint32_t deviceType, D3DFORMAT displayFormat,
                                    D3DFORMAT backBufferFormat, std::int32_t windowed) const {
    if (adapter >= m_adapters.size()) return D3DERR_INVALIDCALL;
    if (deviceType != D3DDEVTYPE_HAL) return D3DERR_NOTAVAILABLE;
    if (!IsDisplayFormat(displayFormat)) return D3DERR_NOTAVAILABLE;
    if (windowed) {
        if (backBufferFormat == D3DFMT_UNKNOWN) return D3D_OK;
        return IsRenderTargetColorFormat(backBufferFormat) ? D3D_OK : D3DERR_NOTAVAILABLE;
    }
    if (!HasModeFormat(adapter, displayFormat) || !MatchesDisplay(displayFormat, backBufferFormat))
        return D3DERR_NOTAVAILABLE;
    return D3D_OK;
}

HRESULT IDirect3D9::CheckDeviceFormat(std::uint32_t adapter, std::uint32_t deviceType, D3DFORMAT adapterFormat,
                                      std::uint32_t usage, std::uint32_t resourceType, D3DFORMAT format) const {
    if (adapter >= m_adapters.size()) return D3DERR_INVALIDCALL;
    if (deviceType != D3DDEVTYPE_HAL || !IsDisplayFormat(adapterFormat)) return D3DERR_NOTAVAILABLE;
    const std::uint32_t known = D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL | D3DUSAGE_DYNAMIC |
                                D3DUSAGE_WRITEONLY | D3DUSAGE_SOFTWAREPROCESSING | D3DUSAGE_QUERY_VERTEXTEXTURE |
                                D3DUSAGE_QUERY_FILTER;
    if (usage & ~known) return D3DERR_NOTAVAILABLE;
    // Every format sampled is filtered linearly too: OpenGL 3.3 filters each
    // of them, floats of both widths included.
    if ((usage & D3DUSAGE_QUERY_FILTER) && (usage & D3DUSAGE_DEPTHSTENCIL)) return D3DERR_NOTAVAILABLE;
    // Vertex programs sample every texture format pixel programs do.
    if ((usage & D3DUSAGE_QUERY_VERTEXTEXTURE) && resourceType != D3DRTYPE_TEXTURE &&
        resourceType != D3DRTYPE_CUBETEXTURE && resourceType != D3DRTYPE_VOLUMETEXTURE)
        return D3DERR_NOTAVAILABLE;
    if (m_refusedType != 0 && resourceType == m_refusedType) return D3DERR_NOTAVAILABLE;
    switch (resourceType) {
    case D3DRTYPE_SURFACE:
        if (usage & D3DUSAGE_DEPTHSTENCIL) return IsSupportedDepthFormat(format) ? D3D_OK : D3DERR_NOTAVAILABLE;
        if (usage & D3DUSAGE_RENDERTARGET) return IsCreatedTargetFormat(format) ? D3D_OK : D3DERR_NOTAVAILABLE;
        return IsTextureFormat(format) ? D3D_OK : D3DERR_NOTAVAILABLE;
    case D3DRTYPE_TEXTURE:
    case D3DRTYPE_CUBETEXTURE:
        if (usage & D3DUSAGE_DEPTHSTENCIL) return D3DERR_NOTAVAILABLE;
        if (usage & D3DUSAGE_RENDERTARGET) return IsCreatedTargetFormat(format) ? D3D_OK : D3DERR_NOTAVAILABLE;
        // Blocks go to GL as they are; a GL that cannot sample them leaves
        // the engine's decoder to serve.
        if (IsCompressedFormat(format) && m_kind == BackendKind::Gl && !GlHasCompressedTextures())
            return D3DERR_NOTAVAILABLE;
        return IsTextureFormat(format) ? D3D_OK : D3DERR_NOTAVAILABLE;
    case D3DRTYPE_VOLUMETEXTURE:
        // Never drawn into; block volumes are unpacked by `gl` as they go up.
        if (usage & (D3DUSAGE_DEPTHSTENCIL | D3DUSAGE_RENDERTARGET)) return D3DERR_NOTAVAILABLE;
        return IsTextureFormat(format) ? D3D_OK : D3DERR_NOTAVAILABLE;
    case D3DRTYPE_VERTEXBUFFER: return format == D3DFMT_VERTEXDATA ? D3D_OK : D3DERR_NOTAVAILABLE;
    case D3DRTYPE_INDEXBUFFER:
        return format == D3DFMT_INDEX16 || format == D3DFMT_INDEX32 ? D3D_OK : D3DERR_NOTAVAILABLE;
    default: return D3DERR_NOTAVAILABLE;
    }
}

HRESULT IDirect3D9::CheckDeviceMultiSampleType(std::uint32_t adapter, std::uint32_t deviceType,
                                               D3DFORMAT surfaceFormat, std::int32_t, std::uint32_t multiSampleType,
                                               std::uint32_t* qualityLevels) const {
    if (adapter >= m_adapters.size()) return D3DERR_INVALIDCALL;
    if (qualityLevels) *qualityLevels = 0;
    if (deviceType != D3DDEVTYPE_HAL || multiSampleType > D3DMULTISAMPLE_16_SAMPLES) return D3DERR_NOTAVAILABLE;
    if (multiSampleType == D3DMULTISAMPLE_NONE) {
        if (qualityLevels) *qualityLevels = 1;
        return D3D_OK;
    }
    // Colour buffers and the depth formats made, as the driver samples them.
    if (!IsRenderTargetColorFormat(surfaceFormat) && !IsSupportedDepthFormat(surfaceFormat))
        return D3DERR_NOTAVAILABLE;
    const std::vector<std::uint32_t>& counts = m_kind == BackendKind::Gl ? GlSampleCounts() : NullSampleCounts();
    if (SamplesFor(multiSampleType, 0, counts) == 0) return D3DERR_NOTAVAILABLE;
    // Non-maskable: one quality level per count the driver has; a count: one.
    if (qualityLevels)
        *qualityLevels = multiSampleType == D3DMULTISAMPLE_NONMASKABLE ? std::uint32_t(counts.size()) : 1;
    return D3D_OK;
}

HRESULT IDirect3D9::CheckDepthStencilMatch(std::uint32_t adapter, std::uint32_t deviceType, D3DFORMAT adapterFormat,
                                           D3DFORMAT renderTargetFormat, D3DFORMAT depthStencilFormat) const {
    if (adapter >= m_adapters.size()) return D3DERR_INVALIDCALL;
    if (deviceType != D3DDEVTYPE_HAL || !IsDisplayFormat(adapterFormat)) return D3DERR_NOTAVAILABLE;
    // Framebuffer objects combine any colour target with any depth surface.
    if (!IsCreatedTargetFormat(renderTargetFormat) || !IsSupportedDepthFormat(depthStencilFormat))
        return D3DERR_NOTAVAILABLE;
    return D3D_OK;
}

HRESULT IDirect3D9::GetDeviceCaps(std::uint32_t adapter, std::uint32_t deviceType, D3DCAPS9* caps) const {
    if (!caps || adapter >= m_adapters.size()) return D3DERR_INVALIDCALL;
    if (deviceType != D3DDEVTYPE_HAL) return D3DERR_NOTAVAILABLE;
    *caps = DeviceCaps(adapter);
    if (m_kind == BackendKind::Gl) ApplyDriverLimits(*caps, GlDriverLimits());
    return D3D_OK;
}

// Checks the presentation parameters and completes them as the device will use them.
HRESULT ValidatePresentParameters(const IDirect3D9& d3d, std::uint32_t adapter, WindowHandle focus,
                                  D3DPRESENT_PARAMETERS& p) {
    if (p.SwapEffect < D3DSWAPEFFECT_DISCARD || p.SwapEffect > D3DSWAPEFFECT_COPY) return D3DERR_INVALIDCALL;
    if (p.BackBufferCount > 3) {
        p.BackBufferCount = 3; // as Direct3D does: the caller may retry with the changed count
        return D3DERR_INVALIDCALL;
    }
    if (p.BackBufferCount == 0) p.BackBufferCount = 1;
    if (p.SwapEffect == D3DSWAPEFFECT_COPY && p.BackBufferCount != 1) return D3DERR_INVALIDCALL;
    D3DDISPLAYMODE desktop;
    d3d.GetAdapterDisplayMode(adapter, &desktop);
    if (p.Windowed) {
        if (p.BackBufferFormat == D3DFMT_UNKNOWN) p.BackBufferFormat = desktop.Format;
        WindowHandle window = p.hDeviceWindow ? p.hDeviceWindow : focus;
        if (p.BackBufferWidth == 0 || p.BackBufferHeight == 0) {
            int w = 0, h = 0;
            if (SDL_Window* sdl = window ? os::GetSdlWindow(window) : nullptr) SDL_GetWindowSize(sdl, &w, &h);
            if (w <= 0 || h <= 0) return D3DERR_INVALIDCALL;
            if (p.BackBufferWidth == 0) p.BackBufferWidth = std::uint32_t(w);
            if (p.BackBufferHeight == 0) p.BackBufferHeight = std::uint32_t(h);
        }
        if (p.FullScreen_RefreshRateInHz != 0) return D3DERR_INVALIDCALL;
        if (FAILED(d3d.CheckDeviceType(adapter, D3DDEVTYPE_HAL, desktop.Format, p.BackBufferFormat, 1)))
            return D3DERR_INVALIDCALL;
    } else {
        // Full screen: the mode must be listed for the format (SDL desktop full screen shows it scaled).
        bool found = false;
        const D3DFORMAT display = DisplayFormatForBackBuffer(p.BackBufferFormat);
        const std::uint32_t n = d3d.GetAdapterModeCount(adapter, display);
        for (std::uint32_t i = 0; i < n && !found; ++i) {
            D3DDISPLAYMODE m;
            d3d.EnumAdapterModes(adapter, display, i, &m);
            found = m.Width == p.BackBufferWidth && m.Height == p.BackBufferHeight &&
                    (p.FullScreen_RefreshRateInHz == 0 || m.RefreshRate == p.FullScreen_RefreshRateInHz);
        }
        if (!found || FAILED(d3d.CheckDeviceType(adapter, D3DDEVTYPE_HAL, display, p.BackBufferFormat, 0)))
            return D3DERR_INVALIDCALL;
    }
    if (p.EnableAutoDepthStencil && !IsSupportedDepthFormat(p.AutoDepthStencilFormat)) return D3DERR_INVALIDCALL;
    if (p.MultiSampleType != D3DMULTISAMPLE_NONE) {
        // A multisampled back buffer is discarded on present and never locked.
        std::uint32_t levels = 0;
        if (p.SwapEffect != D3DSWAPEFFECT_DISCARD || (p.Flags & D3DPRESENTFLAG_LOCKABLE_BACKBUFFER))
            return D3DERR_INVALIDCALL;
        if (d3d.Kind() == BackendKind::Gl && !GlSampleCountsKnown()) {
            // Checked by the device once its context exists.
            if (!IsRenderTargetColorFormat(p.BackBufferFormat)) return D3DERR_INVALIDCALL;
        } else if (FAILED(d3d.CheckDeviceMultiSampleType(adapter, D3DDEVTYPE_HAL, p.BackBufferFormat, p.Windowed,
                                                         p.MultiSampleType, &levels)) ||
                   p.MultiSampleQuality >= levels) {
            return D3DERR_INVALIDCALL;
        } else if (p.EnableAutoDepthStencil &&
            FAILED(d3d.CheckDeviceMultiSampleType(adapter, D3DDEVTYPE_HAL, p.AutoDepthStencilFormat, p.Windowed,
                                                  p.MultiSampleType, nullptr)))
            return D3DERR_INVALIDCALL;
    }
    const std::uint32_t intervals = DeviceCaps(adapter).PresentationIntervals;
    if (p.PresentationInterval != D3DPRESENT_INTERVAL_DEFAULT && (p.PresentationInterval & intervals) == 0)
        return D3DERR_INVALIDCALL;
    if (p.Flags & ~D3DPRESENTFLAG_LOCKABLE_BACKBUFFER) return D3DERR_INVALIDCALL;
    return D3D_OK;
}

HRESULT IDirect3D9::CreateDevice(std::uint32_t adapter, std::uint32_t deviceType, WindowHandle focusWindow,
                                 std::uint32_t behaviorFlags, D3DPRESENT_PARAMETERS* params,
                                 IDirect3DDevice9** device) {
    ClearLastFailureText();
    if (!params || !device) return D3DERR_INVALIDCALL;
    *device = nullptr;
    if (adapter >= m_adapters.size()) return D3DERR_INVALIDCALL;
    if (deviceType != D3DDEVTYPE_HAL) return D3DERR_NOTAVAILABLE;
    const std::uint32_t vp = behaviorFlags & (D3DCREATE_SOFTWARE_VERTEXPROCESSING |
                                              D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_MIXED_VERTEXPROCESSING);
    if (vp != D3DCREATE_SOFTWARE_VERTEXPROCESSING && vp != D3DCREATE_HARDWARE_VERTEXPROCESSING &&
        vp != D3DCREATE_MIXED_VERTEXPROCESSING)
        return D3DERR_INVALIDCALL;
    if ((behaviorFlags & D3DCREATE_PUREDEVICE) && vp != D3DCREATE_HARDWARE_VERTEXPROCESSING)
        return D3DERR_INVALIDCALL;
    if (!focusWindow && !params->Windowed) return D3DERR_INVALIDCALL;
    D3DPRESENT_PARAMETERS p = *params;
    HRESULT hr = ValidatePresentParameters(*this, adapter, focusWindow, p);
    if (hr == D3DERR_INVALIDCALL && p.BackBufferCount != params->BackBufferCount)
        params->BackBufferCount = p.BackBufferCount;
    if (FAILED(hr)) return hr;
    if (m_failCreateCount > 0 && FAILED(m_failCreate)) {
        --m_failCreateCount;
        return m_failCreate;
    }
    std::unique_ptr<Backend> backend = m_kind == BackendKind::Gl ? CreateGlBackend() : CreateNullBackend();
    if (!backend) return D3DERR_NOTAVAILABLE;
    auto* d = new IDirect3DDevice9(this, std::move(backend), adapter, deviceType, focusWindow, behaviorFlags);
    hr = d->Open(p);
    if (FAILED(hr)) {
        d->Release();
        return hr;
    }
    *params = p;
    *device = d;
    return D3D_OK;
}

} // namespace gfx
