#include "engine/render/NiDX9Renderer.h"
#include "engine/render/NiDX9BltSourceData.h"

#include "engine/scene/NiEffectSet.h"
#include "engine/scene/NiPropertySet.h"
#include "engine/shaders/framework/NiD3DShaderInterface.h"
#include "engine/render/NiDX9RenderTarget.h"
#include "engine/render/NiDX9RenderedTextureData.h"
#include "engine/render/NiDX9SourceTextureData.h"
#include "engine/render/NiDX9TextureData.h"
#include "engine/render/NiRenderedTexture.h"

#include "engine/core/NiXform.h"
#include "engine/scene/NiCamera.h"
#include "engine/scene/NiLight.h"
#include "engine/shaders/framework/NiD3DPass.h"
#include "engine/shaders/framework/NiD3DDefaultShader.h"
#include "engine/shaders/framework/NiD3DShaderFramework.h"
#include "platform/gfx/GfxFormat.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string_view>

NiImplementTypeInfo(NiDX9Renderer, NiRenderer)

namespace
{
// The process-wide error text keeps at most this many characters: the
// framework shows it in a message box, and longer texts carry nothing more.
constexpr std::size_t MAX_ERROR_TEXT = 255;
std::string g_kLastError;

gfx::IDirect3D9* CreatePlatformDirect3D(std::uint32_t uiSDKVersion)
{
    return gfx::Direct3DCreate9(uiSDKVersion);
}

// Written at device set-up, read by the shaders.
struct ClampModes
{
    std::uint32_t m_uiU;
    std::uint32_t m_uiV;
};
struct FilterModes
{
    std::uint32_t m_uiMag;
    std::uint32_t m_uiMin;
    std::uint32_t m_uiMip;
};
constexpr std::array<ClampModes, 4> CLAMP_MODES = {{
    {gfx::D3DTADDRESS_CLAMP, gfx::D3DTADDRESS_CLAMP},
    {gfx::D3DTADDRESS_CLAMP, gfx::D3DTADDRESS_WRAP},
    {gfx::D3DTADDRESS_WRAP, gfx::D3DTADDRESS_CLAMP},
    {gfx::D3DTADDRESS_WRAP, gfx::D3DTADDRESS_WRAP},
}};
constexpr std::array<FilterModes, 6> FILTER_MODES = {{
    {gfx::D3DTEXF_POINT, gfx::D3DTEXF_POINT, gfx::D3DTEXF_NONE},
    {gfx::D3DTEXF_LINEAR, gfx::D3DTEXF_LINEAR, gfx::D3DTEXF_NONE},
    {gfx::D3DTEXF_LINEAR, gfx::D3DTEXF_LINEAR, gfx::D3DTEXF_LINEAR},
    {gfx::D3DTEXF_POINT, gfx::D3DTEXF_POINT, gfx::D3DTEXF_POINT},
    {gfx::D3DTEXF_POINT, gfx::D3DTEXF_POINT, gfx::D3DTEXF_LINEAR},
    {gfx::D3DTEXF_LINEAR, gfx::D3DTEXF_LINEAR, gfx::D3DTEXF_POINT},
}};
std::array<ClampModes, 4> g_akClampModes{};
std::array<FilterModes, 6> g_akFilterModes{};

// Device formats of the fourteen texture format entries (0: none).
constexpr std::array<gfx::D3DFORMAT, NiDX9Renderer::TEX_NUM> TEXTURE_TABLE_FORMATS = {
    gfx::D3DFMT_X1R5G5B5, gfx::D3DFMT_R5G6B5, gfx::D3DFMT_X8R8G8B8, gfx::D3DFMT_A1R5G5B5, gfx::D3DFMT_A4R4G4B4,
    gfx::D3DFMT_A8R8G8B8, 0, 0, gfx::D3DFMT_DXT1, gfx::D3DFMT_DXT3, gfx::D3DFMT_DXT5, gfx::D3DFMT_V8U8,
    gfx::D3DFMT_L6V5U5, gfx::D3DFMT_X8L8V8U8,
};

// The first entry found in this order becomes a table's default.
constexpr std::array<std::uint32_t, 6> DEFAULT_FORMAT_ORDER = {
    NiDX9Renderer::TEX_RGB565, NiDX9Renderer::TEX_RGB555,   NiDX9Renderer::TEX_RGB888,
    NiDX9Renderer::TEX_RGBA4444, NiDX9Renderer::TEX_RGBA5551, NiDX9Renderer::TEX_RGBA8888,
};

NiPixelFormat PixelFormatForEntry(std::uint32_t eFormat)
{
    switch (eFormat)
    {
    case NiDX9Renderer::TEX_RGB555: return NiPixelFormat(0x7C00, 0x03E0, 0x001F, 0, 16);
    case NiDX9Renderer::TEX_RGB565: return NiPixelFormat::R5G6B5;
    case NiDX9Renderer::TEX_RGB888: return NiPixelFormat(0xFF0000, 0x00FF00, 0x0000FF, 0, 32);
    case NiDX9Renderer::TEX_RGBA5551: return NiPixelFormat::A1R5G5B5;
    case NiDX9Renderer::TEX_RGBA4444: return NiPixelFormat::A4R4G4B4;
    case NiDX9Renderer::TEX_RGBA8888: return NiPixelFormat::A8R8G8B8;
    case NiDX9Renderer::TEX_DXT1: return NiPixelFormat::DXT1;
    case NiDX9Renderer::TEX_DXT3: return NiPixelFormat::DXT3;
    case NiDX9Renderer::TEX_DXT5: return NiPixelFormat::DXT5;
    case NiDX9Renderer::TEX_BUMP88: return NiPixelFormat(0x00FF, 0xFF00, 0, 16);
    case NiDX9Renderer::TEX_BUMPLUMA556: return NiPixelFormat(0x001F, 0x03E0, 0xFC00, 16);
    case NiDX9Renderer::TEX_BUMPLUMA888: return NiPixelFormat(0x0000FF, 0x00FF00, 0xFF0000, 32);
    default: return NiPixelFormat();
    }
}

// The display format a full-screen back buffer runs on: its alpha twins
// show as the plain format.
gfx::D3DFORMAT DisplayFormatFor(gfx::D3DFORMAT eBackBuffer)
{
    if (eBackBuffer == gfx::D3DFMT_A8R8G8B8)
        return gfx::D3DFMT_X8R8G8B8;
    if (eBackBuffer == gfx::D3DFMT_A1R5G5B5)
        return gfx::D3DFMT_X1R5G5B5;
    return eBackBuffer;
}

bool HasStencil(gfx::D3DFORMAT eFormat)
{
    return eFormat == gfx::D3DFMT_D15S1 || eFormat == gfx::D3DFMT_D24X4S4 || eFormat == gfx::D3DFMT_D24S8;
}

// Device type and behaviour of each device kind.
struct KindRecord
{
    std::uint32_t m_uiDeviceType;
    std::uint32_t m_uiBehavior;
};
constexpr std::array<KindRecord, NiDX9Renderer::DEVDESC_NUM> DEVICE_KINDS = {{
    {gfx::D3DDEVTYPE_HAL, gfx::D3DCREATE_PUREDEVICE | gfx::D3DCREATE_HARDWARE_VERTEXPROCESSING},
    {gfx::D3DDEVTYPE_HAL, gfx::D3DCREATE_HARDWARE_VERTEXPROCESSING},
    {gfx::D3DDEVTYPE_HAL, gfx::D3DCREATE_MIXED_VERTEXPROCESSING},
    {gfx::D3DDEVTYPE_HAL, gfx::D3DCREATE_SOFTWARE_VERTEXPROCESSING},
    {gfx::D3DDEVTYPE_REF, gfx::D3DCREATE_SOFTWARE_VERTEXPROCESSING},
    {gfx::D3DDEVTYPE_REF, gfx::D3DCREATE_HARDWARE_VERTEXPROCESSING},
    {gfx::D3DDEVTYPE_REF, gfx::D3DCREATE_MIXED_VERTEXPROCESSING},
}};

void SetCreationError(const char* pcReason)
{
    NiDX9Renderer::SetLastErrorString((std::string("Creation failed: ") + pcReason).c_str());
}

// With the graphics layer's own account of the failure after it, when it gave
// one (why OpenGL could not start, in the window layer's and driver's words).
void SetCreationErrorWithPlatformReason(const char* pcReason)
{
    const std::string& kPlatform = gfx::GetLastFailureText();
    if (kPlatform.empty())
    {
        SetCreationError(pcReason);
        return;
    }
    SetCreationError((std::string(pcReason) + " (" + kPlatform + ")").c_str());
}

// One colour channel as a byte: times 255, truncated, low eight bits kept.
std::uint32_t ChannelByte(float fValue)
{
    if (std::isnan(fValue))
        return 0;
    const float fScaled = std::clamp(fValue * 255.0f, -2147483648.0f, 2147483520.0f);
    return static_cast<std::uint32_t>(static_cast<std::int64_t>(fScaled)) & 0xFF;
}

// A pixel count truncated towards zero, as the device takes it; out-of-range
// values keep their low 32 bits (the device refuses them) instead of being
// undefined.
std::uint32_t TruncatePixels(float fValue)
{
    if (std::isnan(fValue))
        return 0;
    const float fClamped = std::clamp(fValue, -2147483648.0f, 2147483520.0f);
    return static_cast<std::uint32_t>(static_cast<std::int64_t>(fClamped));
}

gfx::D3DMATRIX IdentityMatrix()
{
    gfx::D3DMATRIX kMatrix{};
    for (int i = 0; i < 4; ++i)
        kMatrix.m[i][i] = 1.0f;
    return kMatrix;
}
} // namespace

gfx::IDirect3D9* NiDX9Renderer::ms_pkD3D9 = nullptr;
NiDX9SystemInfo* NiDX9Renderer::ms_pkSystemInfo = nullptr;
std::vector<gfx::D3DFORMAT> NiDX9Renderer::ms_kDisplayFormats;
NiDX9Renderer::Direct3DCreateFunction NiDX9Renderer::ms_pfnD3DCreate = &CreatePlatformDirect3D;
NiDX9Renderer::DeviceCapsFunction NiDX9Renderer::ms_pfnDeviceCaps = nullptr;
std::uint32_t NiDX9Renderer::ms_uiProjectedTextureFlags = 0;
bool NiDX9Renderer::ms_b16BitDepthBuffer = false;
std::uint32_t NiDX9Renderer::ms_uiMipmapSkipLevel = 0;

// ---- error text ----

const char* NiDX9Renderer::GetLastErrorString()
{
    return g_kLastError.c_str();
}

void NiDX9Renderer::SetLastErrorString(const char* pcText)
{
    if (pcText == nullptr)
    {
        g_kLastError.clear();
        return;
    }
    g_kLastError.assign(pcText, strnlen(pcText, MAX_ERROR_TEXT));
}

// ---- the device top object and the machine's description ----

int NiDX9Renderer::LoadD3D9()
{
    if (ms_pkD3D9 != nullptr)
        return 0;
    // The creation function stands for the platform library's entry: a
    // platform without the library has none.
    if (ms_pfnD3DCreate == nullptr)
        return -1;
    ms_pkD3D9 = ms_pfnD3DCreate(gfx::D3D_SDK_VERSION);
    return ms_pkD3D9 != nullptr ? 0 : -1;
}

NiDX9SystemInfo* NiDX9Renderer::GetSystemInfo()
{
    if (ms_pkSystemInfo != nullptr)
        return ms_pkSystemInfo;
    if (ms_pfnD3DCreate == nullptr)
        return nullptr;
    // The library's start-up lists the display formats; after a shut-down
    // they are listed again here.
    if (ms_kDisplayFormats.empty())
        ms_kDisplayFormats = {gfx::D3DFMT_X8R8G8B8, gfx::D3DFMT_R5G6B5, gfx::D3DFMT_X1R5G5B5};
    gfx::IDirect3D9* pkD3D = ms_pfnD3DCreate(gfx::D3D_SDK_VERSION);
    if (pkD3D == nullptr)
        return nullptr;
    ms_pkSystemInfo = new NiDX9SystemInfo(*pkD3D, ms_kDisplayFormats);
    pkD3D->Release();
    return ms_pkSystemInfo;
}

void NiDX9Renderer::ShutdownDirect3D()
{
    if (ms_pkD3D9 != nullptr)
        ms_pkD3D9->Release();
    ms_pkD3D9 = nullptr;
    delete ms_pkSystemInfo;
    ms_pkSystemInfo = nullptr;
    ms_kDisplayFormats.clear();
}

void NiDX9Renderer::SetDirect3DCreateFunction(Direct3DCreateFunction pfnCreate)
{
    ms_pfnD3DCreate = pfnCreate;
}

void NiDX9Renderer::ResetStatics()
{
    ShutdownDirect3D();
    ms_pfnD3DCreate = &CreatePlatformDirect3D;
    ms_pfnDeviceCaps = nullptr;
    ms_uiProjectedTextureFlags = 0;
    ms_b16BitDepthBuffer = false;
    ms_uiMipmapSkipLevel = 0;
    g_akClampModes = {};
    g_akFilterModes = {};
    g_kLastError.clear();
    NiD3DPass::ResetStageLimits();
}

// ---- formats ----

gfx::D3DFORMAT NiDX9Renderer::FramebufferFormatToD3DFormat(std::uint32_t eFBFormat)
{
    switch (eFBFormat)
    {
    case FBFMT_R8G8B8: return gfx::D3DFMT_R8G8B8;
    case FBFMT_A8R8G8B8: return gfx::D3DFMT_A8R8G8B8;
    case FBFMT_X8R8G8B8: return gfx::D3DFMT_X8R8G8B8;
    case FBFMT_R5G6B5: return gfx::D3DFMT_R5G6B5;
    case FBFMT_X1R5G5B5: return gfx::D3DFMT_X1R5G5B5;
    case FBFMT_A1R5G5B5: return gfx::D3DFMT_A1R5G5B5;
    case FBFMT_A4R4G4B4: return gfx::D3DFMT_A4R4G4B4;
    case FBFMT_R3G3B2: return gfx::D3DFMT_R3G3B2;
    case FBFMT_A8: return gfx::D3DFMT_A8;
    case FBFMT_A8R3G3B2: return gfx::D3DFMT_A8R3G3B2;
    case FBFMT_X4R4G4B4: return gfx::D3DFMT_X4R4G4B4;
    default: return gfx::D3DFMT_UNKNOWN;
    }
}

std::uint32_t NiDX9Renderer::D3DFormatToFramebufferFormat(gfx::D3DFORMAT eFormat)
{
    for (std::uint32_t uiCode = FBFMT_R8G8B8; uiCode < FBFMT_NUM; ++uiCode)
    {
        if (FramebufferFormatToD3DFormat(uiCode) == eFormat)
            return uiCode;
    }
    return FBFMT_UNKNOWN;
}

std::uint32_t NiDX9Renderer::GetFormatBitsPerPixel(gfx::D3DFORMAT eFormat)
{
    return gfx::FormatBitsPerPixel(eFormat);
}

int NiDX9Renderer::GetD3DFormatBits(gfx::D3DFORMAT eFormat)
{
    if (gfx::FormatName(eFormat) == "UNKNOWN")
        return -1;
    // Values beyond the numbered table are four-character codes: block,
    // video and multi-element formats without a plain pixel size.
    if (eFormat > gfx::D3DFMT_CxV8U8)
        return 0;
    return static_cast<int>(gfx::FormatBitsPerPixel(eFormat));
}

const char* NiDX9Renderer::GetFormatName(gfx::D3DFORMAT eFormat)
{
    // The names are string literals: their views end in a terminator.
    return gfx::FormatName(eFormat).data();
}

bool NiDX9Renderer::GetDepthStencilBits(gfx::D3DFORMAT eFormat, std::uint32_t& uiDepth, std::uint32_t& uiStencil)
{
    switch (eFormat)
    {
    case gfx::D3DFMT_D16_LOCKABLE: uiDepth = 16; uiStencil = 0; return true;
    case gfx::D3DFMT_D32: uiDepth = 32; uiStencil = 0; return true;
    case gfx::D3DFMT_D15S1: uiDepth = 15; uiStencil = 1; return true;
    case gfx::D3DFMT_D24S8: uiDepth = 24; uiStencil = 8; return true;
    case gfx::D3DFMT_D24X8: uiDepth = 24; uiStencil = 0; return true;
    case gfx::D3DFMT_D24X4S4: uiDepth = 24; uiStencil = 4; return true;
    // The two float formats are listed without bit counts: every search
    // treats them as (0, 0).
    case gfx::D3DFMT_D32F_LOCKABLE:
    case gfx::D3DFMT_D24FS8: uiDepth = 0; uiStencil = 0; return true;
    case gfx::D3DFMT_D16: uiDepth = 16; uiStencil = 0; return true;
    default: return false;
    }
}

// ---- sampler tables ----

bool NiDX9Renderer::GetClampAddressModes(std::uint32_t uiClamp, std::uint32_t& uiU, std::uint32_t& uiV)
{
    if (uiClamp >= g_akClampModes.size())
        return false;
    uiU = g_akClampModes[uiClamp].m_uiU;
    uiV = g_akClampModes[uiClamp].m_uiV;
    return true;
}

bool NiDX9Renderer::GetFilterModeStates(std::uint32_t uiFilter, std::uint32_t& uiMag, std::uint32_t& uiMin,
                                        std::uint32_t& uiMip)
{
    if (uiFilter >= g_akFilterModes.size())
        return false;
    uiMag = g_akFilterModes[uiFilter].m_uiMag;
    uiMin = g_akFilterModes[uiFilter].m_uiMin;
    uiMip = g_akFilterModes[uiFilter].m_uiMip;
    return true;
}

// ---- creation ----

NiDX9Renderer::NiDX9Renderer()
{
    m_kD3DIdentity = IdentityMatrix();
    m_kD3DModel.m[3][3] = 1.0f;
    // Screen polygons: (0, 1) to (-1, 1) in x and y; z terms follow the camera.
    m_kScreenSpaceProj.m[0][0] = 2.0f;
    m_kScreenSpaceProj.m[1][1] = 2.0f;
    m_kScreenSpaceProj.m[2][0] = -1.0f;
    m_kScreenSpaceProj.m[2][1] = -1.0f;
    m_kScreenSpaceProj.m[2][2] = 1.0f;
    m_kScreenSpaceProj.m[2][3] = 1.0f;
    m_kScreenSpaceProj.m[3][2] = 0.0f;
    m_kPixelToUnit = IdentityMatrix();
    m_kClearViewport.MinZ = 0.0f;
    m_kClearViewport.MaxZ = 1.0f;
}

NiRefPtr<NiDX9Renderer> NiDX9Renderer::Create(std::uint32_t uiWidth, std::uint32_t uiHeight, std::uint32_t uiUseFlags,
                                              gfx::WindowHandle kWndDevice, gfx::WindowHandle kWndFocus,
                                              std::uint32_t uiAdapter, std::uint32_t eDesc, std::uint32_t eFBFormat,
                                              gfx::D3DFORMAT eDSFormat, std::uint32_t ePresentationInterval,
                                              std::uint32_t eSwapEffect, std::int32_t iFBMode,
                                              std::uint32_t uiBackBufferCount, std::uint32_t uiRefreshRate)
{
    gfx::ClearLastFailureText();
    if (LoadD3D9() != 0)
    {
        SetCreationErrorWithPlatformReason("Could not initialize DirectX9");
        return nullptr;
    }

    CreationParameters kParams;
    kParams.m_uiWidth = uiWidth;
    kParams.m_uiHeight = uiHeight;
    kParams.m_uiUseFlags = uiUseFlags;
    kParams.m_kWndDevice = kWndDevice;
    kParams.m_kWndFocus = kWndFocus;
    kParams.m_uiAdapter = uiAdapter;
    kParams.m_eDesc = eDesc;
    kParams.m_eFBFormat = eFBFormat;
    kParams.m_eDSFormat = eDSFormat;
    kParams.m_ePresentationInterval = ePresentationInterval;
    kParams.m_eSwapEffect = eSwapEffect;
    kParams.m_iFBMode = iFBMode;
    kParams.m_uiBackBufferCount = uiBackBufferCount;
    kParams.m_uiRefreshRate = uiRefreshRate;

    // Nothing half-built survives: a failed renderer goes with its pointer.
    NiRefPtr<NiDX9Renderer> spRenderer = new NiDX9Renderer;
    if (!spRenderer->Initialize(kParams))
        return nullptr;
    return spRenderer;
}

bool NiDX9Renderer::Initialize(const CreationParameters& kParams)
{
    m_kCreation = kParams;
    m_kWndDevice = kParams.m_kWndDevice;
    m_kWndFocus = kParams.m_kWndFocus;
    m_uiAdapter = kParams.m_uiAdapter;

    NiDX9SystemInfo* pkInfo = GetSystemInfo();
    if (pkInfo == nullptr)
    {
        SetCreationError("Could not initialize DirectX9");
        return false;
    }

    std::uint32_t eKind = kParams.m_eDesc;
    if (eKind >= DEVDESC_NUM)
    {
        SetCreationError("Invalid 3D device type");
        return false;
    }
    std::uint32_t uiExtraBehavior = 0;
    if ((kParams.m_uiUseFlags & USE_FPU_PRESERVE) != 0)
        uiExtraBehavior |= gfx::D3DCREATE_FPU_PRESERVE;
    if ((kParams.m_uiUseFlags & USE_MULTITHREADED) != 0)
        uiExtraBehavior |= gfx::D3DCREATE_MULTITHREADED;

    if (m_uiAdapter >= pkInfo->GetAdapterCount())
    {
        SetCreationError("Invalid Adapter");
        return false;
    }
    const NiDX9AdapterDesc* pkAdapter = pkInfo->GetAdapter(m_uiAdapter);
    m_pkAdapterDesc = pkAdapter;
    const NiDX9DeviceDesc* pkRequested = pkAdapter->GetDevice(DEVICE_KINDS[eKind].m_uiDeviceType);
    if (pkRequested == nullptr || !pkRequested->IsValid())
    {
        SetCreationError("Invalid 3D device type");
        return false;
    }

    // A HAL request falls back through the HAL kinds down to software
    // vertex processing, never to the reference device.
    for (;;)
    {
        m_eDevType = DEVICE_KINDS[eKind].m_uiDeviceType;
        m_uiBehaviorFlags = DEVICE_KINDS[eKind].m_uiBehavior | uiExtraBehavior;
        m_pkDeviceDesc = pkAdapter->GetDevice(m_eDevType);
        // Every kind the loop reaches shares the requested kind's device type,
        // whose description was found valid above and is never rebuilt during
        // a creation; the check stays as the guard of the link taken here.
        if (m_pkDeviceDesc == nullptr || !m_pkDeviceDesc->IsValid())
        {
            SetCreationError("Requested device not valid");
        }
        else
        {
            gfx::D3DPRESENT_PARAMETERS kPresent;
            if (ChooseFormatsAndMode(kPresent))
            {
                const std::uint32_t uiCount = kPresent.BackBufferCount;
                gfx::HRESULT hr = ms_pkD3D9->CreateDevice(m_uiAdapter, m_eDevType, m_kWndFocus, m_uiBehaviorFlags,
                                                          &kPresent, &m_pkD3DDevice9);
                // The device may lower the back-buffer count it refuses: try
                // once more with its count.
                if (gfx::FAILED(hr) && kPresent.BackBufferCount != uiCount)
                    hr = ms_pkD3D9->CreateDevice(m_uiAdapter, m_eDevType, m_kWndFocus, m_uiBehaviorFlags, &kPresent,
                                                 &m_pkD3DDevice9);
                if (gfx::SUCCEEDED(hr))
                {
                    m_kD3DPresentParams = kPresent;
                    break;
                }
                m_pkD3DDevice9 = nullptr;
                // Said at once, so that running out of kinds leaves the reason.
                SetCreationErrorWithPlatformReason(m_eDevType == gfx::D3DDEVTYPE_REF
                                                       ? "Could not create reference device"
                                                       : "Could not create hardware device");
            }
        }

        if (eKind == DEVDESC_REF)
        {
            SetCreationError("Could not create reference device");
            return false;
        }
        ++eKind;
        if (eKind == DEVDESC_REF)
            return false;
        if (eKind >= DEVDESC_NUM)
        {
            SetCreationError("Invalid 3D device type");
            return false;
        }
    }

    if (m_pkD3DDevice9 == nullptr)
    {
        SetCreationError("Could not create hardware device");
        return false;
    }

    if (!CheckDeviceCaps())
        return false;

    m_bSWVertexCapable = (m_uiBehaviorFlags & gfx::D3DCREATE_HARDWARE_VERTEXPROCESSING) == 0;
    m_bSWVertexSwitchable = (m_uiBehaviorFlags & gfx::D3DCREATE_MIXED_VERTEXPROCESSING) != 0;

    std::unique_ptr<NiDX9BackBufferTarget> spBackBuffer = NiDX9BackBufferTarget::Create(m_pkD3DDevice9,
                                                                                        m_kD3DPresentParams);
    if (spBackBuffer == nullptr)
    {
        SetCreationError("Could not create back-buffer target");
        return false;
    }
    m_pkDefaultTarget = spBackBuffer.get();
    m_pkCurrentTarget = m_pkDefaultTarget;
    m_kWindowTargets[m_kWndDevice] = std::move(spBackBuffer);

    if (!RebuildDefaults())
        return false;

    // The state cache takes the depth flag the previous renderer left, then
    // the flag follows this renderer's depth buffer.
    m_spRenderState = NiDX9RenderState::Create(this, m_kD3DCaps9, true, true, ms_b16BitDepthBuffer,
                                               (m_uiRendFlags & CAPS_STENCIL) != 0);
    const gfx::D3DFORMAT eDepth = m_kD3DPresentParams.AutoDepthStencilFormat;
    ms_b16BitDepthBuffer =
        eDepth == gfx::D3DFMT_D16_LOCKABLE || eDepth == gfx::D3DFMT_D15S1 || eDepth == gfx::D3DFMT_D16;
    NiD3DShaderFramework::SetRenderer(this);
    m_spDefaultShader = new NiD3DDefaultShader;
    m_spDefaultShader->Initialize(this);
    m_spVBManager = new NiDX9VertexBufferManager(m_pkD3DDevice9);
    m_spIBManager = new NiDX9IndexBufferManager(m_pkD3DDevice9);
    m_spTextureManager = new NiDX9TextureManager(this);
    m_spGeometryManager = NiDX9GeometryDataManager::Create(m_pkD3DDevice9, (m_uiRendFlags & 0x200) != 0);
    if (m_spGeometryManager == nullptr)
        return false;
    m_spGeometryManager->CreateGroup(1, 0);
    m_spGeometryManager->CreateGroup(2, 0);
    m_spLightManager = new NiDX9LightManager(m_spRenderState, m_pkD3DDevice9);
    if (m_kD3DPresentParams.MultiSampleType != gfx::D3DMULTISAMPLE_NONE)
        m_spRenderState->SetRenderState(gfx::D3DRS_MULTISAMPLEANTIALIAS, 1);

    BuildDriverInfo();

    // A default camera, so that the first frame has a view and a viewport.
    NiViewFrustum kFrustum;
    kFrustum.Set(-1.0f, 1.0f, 1.0f, -1.0f, 0.1f, 1.0f, false);
    SetCameraData(NiVec3(0.0f, 0.0f, 0.0f), NiVec3(1.0f, 0.0f, 0.0f), NiVec3(0.0f, 1.0f, 0.0f),
                  NiVec3(0.0f, 0.0f, 1.0f), kFrustum, NiRect<float>(0.0f, 1.0f, 1.0f, 0.0f));
    return true;
}

bool NiDX9Renderer::ChooseFormatsAndMode(gfx::D3DPRESENT_PARAMETERS& kPresent) const
{
    const std::uint32_t uiFlags = m_kCreation.m_uiUseFlags;
    const std::uint32_t uiBitDepth = (uiFlags & USE_16BITBUFFERS) != 0 ? 16 : 32;
    const bool bWindowed = (uiFlags & USE_FULLSCREEN) == 0;

    std::uint32_t eFBFormat = m_kCreation.m_eFBFormat;
    if (eFBFormat == FBFMT_UNKNOWN)
        eFBFormat = m_pkDeviceDesc->FindFramebufferFormat(bWindowed, uiBitDepth);
    const gfx::D3DFORMAT eBackBuffer = FramebufferFormatToD3DFormat(eFBFormat);
    if (eBackBuffer == gfx::D3DFMT_UNKNOWN)
    {
        SetCreationError("Could not find desired framebuffer format");
        return false;
    }
    const gfx::D3DFORMAT eDisplay = bWindowed ? m_pkAdapterDesc->GetDesktopMode().Format : DisplayFormatFor(eBackBuffer);

    const bool bDepthBuffer = (uiFlags & USE_MANUALDEPTHSTENCIL) == 0;
    gfx::D3DFORMAT eDepthStencil = m_kCreation.m_eDSFormat;
    if (eDepthStencil == 0 && bDepthBuffer)
    {
        eDepthStencil = m_pkDeviceDesc->FindDepthStencilFormat(eDisplay, eBackBuffer, uiBitDepth,
                                                               (uiFlags & USE_STENCIL) != 0);
        if (eDepthStencil == 0)
        {
            SetCreationError("Could not find desired depth/stencil format");
            return false;
        }
    }

    kPresent = gfx::D3DPRESENT_PARAMETERS{};
    kPresent.BackBufferWidth = m_kCreation.m_uiWidth;
    kPresent.BackBufferHeight = m_kCreation.m_uiHeight;
    kPresent.BackBufferFormat = eBackBuffer;

    const std::int32_t iFBMode = m_kCreation.m_iFBMode;
    bool bRealMultisample = false;
    if (iFBMode < 0)
    {
        kPresent.MultiSampleType = gfx::D3DMULTISAMPLE_NONMASKABLE;
        kPresent.MultiSampleQuality = static_cast<std::uint32_t>(iFBMode) & 0x7FFFFFFF;
        bRealMultisample = true;
    }
    else if (iFBMode >= 2 && iFBMode <= 16)
    {
        kPresent.MultiSampleType = static_cast<std::uint32_t>(iFBMode);
        bRealMultisample = true;
    }

    switch (m_kCreation.m_eSwapEffect)
    {
    case SWAPEFFECT_FLIP: kPresent.SwapEffect = gfx::D3DSWAPEFFECT_FLIP; break;
    case SWAPEFFECT_COPY: kPresent.SwapEffect = gfx::D3DSWAPEFFECT_COPY; break;
    default: kPresent.SwapEffect = gfx::D3DSWAPEFFECT_DISCARD; break;
    }
    if (bRealMultisample)
        kPresent.SwapEffect = gfx::D3DSWAPEFFECT_DISCARD;

    kPresent.hDeviceWindow = m_kWndDevice;
    kPresent.Windowed = bWindowed ? 1 : 0;
    kPresent.EnableAutoDepthStencil = bDepthBuffer ? 1 : 0;
    kPresent.AutoDepthStencilFormat = eDepthStencil;
    if (iFBMode == FBMODE_LOCKABLE)
        kPresent.Flags = gfx::D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
    kPresent.FullScreen_RefreshRateInHz = m_kCreation.m_uiRefreshRate;
    switch (m_kCreation.m_ePresentationInterval)
    {
    case PRESENT_INTERVAL_IMMEDIATE: kPresent.PresentationInterval = gfx::D3DPRESENT_INTERVAL_IMMEDIATE; break;
    case PRESENT_INTERVAL_ONE: kPresent.PresentationInterval = gfx::D3DPRESENT_INTERVAL_ONE; break;
    case PRESENT_INTERVAL_TWO: kPresent.PresentationInterval = gfx::D3DPRESENT_INTERVAL_TWO; break;
    case PRESENT_INTERVAL_THREE: kPresent.PresentationInterval = gfx::D3DPRESENT_INTERVAL_THREE; break;
    case PRESENT_INTERVAL_FOUR: kPresent.PresentationInterval = gfx::D3DPRESENT_INTERVAL_FOUR; break;
    default: kPresent.PresentationInterval = gfx::D3DPRESENT_INTERVAL_DEFAULT; break;
    }

    std::uint32_t uiLevels = 0;
    if (gfx::FAILED(ms_pkD3D9->CheckDeviceMultiSampleType(m_uiAdapter, m_eDevType, eBackBuffer, kPresent.Windowed,
                                                          kPresent.MultiSampleType, &uiLevels)))
    {
        kPresent.MultiSampleType = gfx::D3DMULTISAMPLE_NONE;
        kPresent.MultiSampleQuality = 0;
    }
    else if (uiLevels > 0 && kPresent.MultiSampleQuality >= uiLevels)
    {
        kPresent.MultiSampleQuality = uiLevels - 1;
    }

    kPresent.BackBufferCount = std::clamp<std::uint32_t>(m_kCreation.m_uiBackBufferCount, 1, 3);

    if (bWindowed)
    {
        kPresent.FullScreen_RefreshRateInHz = 0;
        kPresent.PresentationInterval = gfx::D3DPRESENT_INTERVAL_IMMEDIATE;
    }
    else
    {
        std::uint32_t uiRefresh = kPresent.FullScreen_RefreshRateInHz;
        if (m_pkAdapterDesc->FindMode(eDisplay, kPresent.BackBufferWidth, kPresent.BackBufferHeight, uiRefresh) ==
            nullptr)
        {
            SetCreationError("Could not match desired fullscreen mode");
            return false;
        }
        kPresent.FullScreen_RefreshRateInHz = uiRefresh;
        if ((kPresent.PresentationInterval & m_pkDeviceDesc->GetCaps().PresentationIntervals) == 0)
            kPresent.PresentationInterval = gfx::D3DPRESENT_INTERVAL_ONE;
    }
    return true;
}

bool NiDX9Renderer::CheckDeviceCaps()
{
    const gfx::HRESULT hr = ms_pfnDeviceCaps != nullptr ? ms_pfnDeviceCaps(m_pkD3DDevice9, &m_kD3DCaps9)
                                                        : m_pkD3DDevice9->GetDeviceCaps(&m_kD3DCaps9);
    if (gfx::FAILED(hr))
    {
        SetCreationError("Could not query device caps");
        return false;
    }
    if (m_kD3DCaps9.MaxTextureBlendStages < 2 || m_kD3DCaps9.MaxSimultaneousTextures < 2)
    {
        SetCreationError("Device does not support single-pass multi-texture");
        return false;
    }

    m_uiRendFlags = CAPS_BASE;
    if (m_kD3DPresentParams.EnableAutoDepthStencil != 0 && HasStencil(m_kD3DPresentParams.AutoDepthStencilFormat))
        m_uiRendFlags |= CAPS_STENCIL;
    if ((m_kD3DCaps9.RasterCaps & gfx::D3DPRASTERCAPS_WBUFFER) != 0)
        m_uiRendFlags |= CAPS_WBUFFER;
    // The power-of-two flag follows the square-only bit, not the
    // power-of-two bit: the texture code relies on exactly that.
    if ((m_kD3DCaps9.TextureCaps & gfx::D3DPTEXTURECAPS_SQUAREONLY) != 0)
        m_uiRendFlags |= CAPS_TEXTURE_POW2;
    if (m_kD3DCaps9.MaxVertexBlendMatrices >= 4)
        m_uiRendFlags |= CAPS_HARDWARE_SKINNING;

    const bool bSoftware = (m_uiBehaviorFlags & gfx::D3DCREATE_SOFTWARE_VERTEXPROCESSING) != 0;
    m_uiMaxNumBlendMatrices = bSoftware ? 4 : m_kD3DCaps9.MaxVertexBlendMatrices;
    m_uiMaxStreams = m_kD3DCaps9.MaxStreams;
    m_uiMaxPixelShaderVersion = m_kD3DCaps9.PixelShaderVersion;
    m_uiMaxVertexShaderVersion = m_kD3DCaps9.VertexShaderVersion;
    m_bMipmapCubeMaps = (m_kD3DCaps9.TextureCaps & gfx::D3DPTEXTURECAPS_MIPCUBEMAP) != 0;
    m_uiNumSimultaneousRTs =
        m_kD3DPresentParams.MultiSampleType != gfx::D3DMULTISAMPLE_NONE ? 1 : m_kD3DCaps9.NumSimultaneousRTs;
    m_bIndependentBitDepths = (m_kD3DCaps9.PrimitiveMiscCaps & gfx::D3DPMISCCAPS_MRTINDEPENDENTBITDEPTHS) != 0;
    m_bMRTPostPixelShaderBlending =
        (m_kD3DCaps9.PrimitiveMiscCaps & gfx::D3DPMISCCAPS_MRTPOSTPIXELSHADERBLENDING) != 0;

    const std::uint32_t uiPS = m_uiMaxPixelShaderVersion;
    const std::uint32_t uiVS = m_uiMaxVertexShaderVersion;
    m_auiShaderVersions = {uiPS,        gfx::D3DPS_VERSION(0, 0), uiPS, uiVS, gfx::D3DVS_VERSION(0, 0), uiVS,
                           gfx::D3DVS_VERSION(0, 0), gfx::D3DVS_VERSION(0, 0), gfx::D3DVS_VERSION(0, 0), 2};

    NiD3DPass::SetMaxTextureBlendStages(m_kD3DCaps9.MaxTextureBlendStages);
    NiD3DPass::SetMaxSimultaneousTextures(m_kD3DCaps9.MaxSimultaneousTextures);
    NiD3DPass::SetMaxSamplers((uiPS & 0xFFFF) >= 0x0200 ? 16 : m_kD3DCaps9.MaxTextureBlendStages);

    g_akClampModes = CLAMP_MODES;
    g_akFilterModes = FILTER_MODES;
    ms_uiProjectedTextureFlags =
        (m_kD3DCaps9.TextureCaps & gfx::D3DPTEXTURECAPS_PROJECTED) != 0
            ? (gfx::D3DTTFF_PROJECTED | gfx::D3DTTFF_COUNT3)
            : gfx::D3DTTFF_COUNT2;
    return true;
}

bool NiDX9Renderer::RebuildDefaults()
{
    ReleaseDefaults();
    const gfx::D3DFORMAT eDisplay = m_kD3DPresentParams.Windowed != 0
                                        ? m_pkAdapterDesc->GetDesktopMode().Format
                                        : DisplayFormatFor(m_kD3DPresentParams.BackBufferFormat);

    for (std::uint32_t eUsage = 0; eUsage < TEXUSE_NUM; ++eUsage)
    {
        const bool bTarget = eUsage == TEXUSE_RENDERED_TEX || eUsage == TEXUSE_RENDERED_CUBE;
        const bool bCube = eUsage == TEXUSE_CUBE || eUsage == TEXUSE_RENDERED_CUBE;
        for (std::uint32_t eFormat = 0; eFormat < TEX_NUM; ++eFormat)
        {
            const gfx::D3DFORMAT eD3DFormat = TEXTURE_TABLE_FORMATS[eFormat];
            if (eD3DFormat == 0 ||
                gfx::FAILED(ms_pkD3D9->CheckDeviceFormat(m_uiAdapter, m_eDevType, eDisplay,
                                                         bTarget ? gfx::D3DUSAGE_RENDERTARGET : 0,
                                                         bCube ? gfx::D3DRTYPE_CUBETEXTURE : gfx::D3DRTYPE_TEXTURE,
                                                         eD3DFormat)))
                continue;
            TextureFormatEntry& kEntry = m_aakTextureFormats[eUsage][eFormat];
            kEntry.m_bValid = true;
            kEntry.m_kPixelFormat = PixelFormatForEntry(eFormat);
            kEntry.m_uiIndex = eFormat;
            kEntry.m_eD3DFormat = eD3DFormat;
        }

        for (std::uint32_t eFormat : DEFAULT_FORMAT_ORDER)
        {
            if (m_aakTextureFormats[eUsage][eFormat].m_bValid)
            {
                m_apkDefaultTextureFormat[eUsage] = &m_aakTextureFormats[eUsage][eFormat];
                break;
            }
        }
        if (m_apkDefaultTextureFormat[eUsage] != nullptr)
        {
            NiRefPtr<NiPixelData> spData = new NiPixelData(4, 4, m_apkDefaultTextureFormat[eUsage]->m_kPixelFormat);
            if (spData->GetPixels() == nullptr)
                return false;
            std::memset(spData->GetPixels(), 0xFF, spData->GetSizeInBytes());
            m_aspDefaultTextureData[eUsage] = spData;
        }
    }

    for (std::uint32_t eFormat = 0; eFormat < TEX_NUM; ++eFormat)
    {
        const TextureFormatEntry& kEntry = m_aakTextureFormats[TEXUSE_RENDERED_TEX][eFormat];
        if (!kEntry.m_bValid)
            continue;
        m_aeRenderTargetDepth[eFormat] =
            m_pkDeviceDesc->FindClosestDepthStencil(eDisplay, kEntry.m_eD3DFormat, 32, 8);
        // Textures that cannot be made are replaced by images in a format
        // the device renders to: each direct-colour target format is handed
        // on, so the last one listed wins, as it does for the default entry.
        const std::uint32_t uiKind = kEntry.m_kPixelFormat.GetKind();
        if (uiKind == NiPixelFormat::RGB || uiKind == NiPixelFormat::RGBA)
        {
            NiTexture::SetReplacementPixelFormat(kEntry.m_kPixelFormat);
            m_eDefaultRenderTargetFormat = eFormat;
        }
    }

    if (const TextureFormatEntry* pkDefault = m_apkDefaultTextureFormat[TEXUSE_TEX])
    {
        NiRefPtr<NiPixelData> spImage = new NiPixelData(2, 1, pkDefault->m_kPixelFormat);
        if (spImage->GetPixels() == nullptr)
            return false;
        const std::uint32_t uiStride = spImage->GetPixelStride();
        std::memset(spImage->GetPixels(), 0x00, uiStride);
        std::memset(spImage->GetPixels() + uiStride, 0xFF, uiStride);
        m_spDefaultTexture = NiSourceTexture::CreateFromPixelData(spImage, NiTexture::FormatPrefs());
    }
    return true;
}

void NiDX9Renderer::ReleaseDefaults()
{
    m_aakTextureFormats = {};
    m_apkDefaultTextureFormat = {};
    for (NiRefPtr<NiPixelData>& spData : m_aspDefaultTextureData)
        spData = nullptr;
    m_aeRenderTargetDepth = {};
    m_eDefaultRenderTargetFormat = TEX_NUM;
    m_spDefaultTexture = nullptr;
}

void NiDX9Renderer::BuildDriverInfo()
{
    m_kBehavior.clear();
    if ((m_uiBehaviorFlags & gfx::D3DCREATE_PUREDEVICE) != 0)
        m_kBehavior += "PURE";
    if ((m_uiBehaviorFlags & gfx::D3DCREATE_MULTITHREADED) != 0)
        m_kBehavior += " MT";
    if ((m_uiBehaviorFlags & gfx::D3DCREATE_HARDWARE_VERTEXPROCESSING) != 0)
        m_kBehavior += " HWVP";
    if ((m_uiBehaviorFlags & gfx::D3DCREATE_MIXED_VERTEXPROCESSING) != 0)
        m_kBehavior += " MIXVP";
    if ((m_uiBehaviorFlags & gfx::D3DCREATE_SOFTWARE_VERTEXPROCESSING) != 0)
        m_kBehavior += " SWVP";

    m_kDriverInfo.clear();
    if (m_pkAdapterDesc == nullptr || !m_pkAdapterDesc->HasIdentifier())
        return;
    const char* pcType = m_eDevType == gfx::D3DDEVTYPE_HAL   ? "HAL"
                         : m_eDevType == gfx::D3DDEVTYPE_REF ? "REF"
                         : m_eDevType == gfx::D3DDEVTYPE_SW  ? "SW"
                                                             : "???";
    m_kDriverInfo = std::string(m_pkAdapterDesc->GetStringDescription()) + " (" + pcType + "-" + m_kBehavior + ")";
}

NiDX9Renderer::~NiDX9Renderer()
{
    if (m_pkD3DDevice9 != nullptr)
    {
        for (std::uint32_t uiStage = 0; uiStage < m_kD3DCaps9.MaxSimultaneousTextures; ++uiStage)
            m_pkD3DDevice9->SetTexture(uiStage, nullptr);
        for (std::uint32_t uiStream = 0; uiStream < m_kD3DCaps9.MaxStreams; ++uiStream)
            m_pkD3DDevice9->SetStreamSource(uiStream, nullptr, 0, 0);
        m_pkD3DDevice9->SetIndices(nullptr);
    }
    // Batch entries and queued repacks point at geometry the renderer does not hold.
    while (m_pkBatchHead != nullptr)
    {
        BatchEntry* pkNext = m_pkBatchHead->m_pkNext;
        GiveBatchEntry(m_pkBatchHead);
        m_pkBatchHead = pkNext;
    }
    m_pkBatchTail = nullptr;
    m_kPendingRepacks.clear();
    m_kBoneMatrices.clear();
    m_spBatchShader = nullptr;
    // Kept passes hold textures: they go before the textures' data.
    if (m_spDefaultShader != nullptr)
        m_spDefaultShader->ForgetBuilds();
    // Texture data releases its device textures through the state cache.
    NiDX9TextureData::PurgeAllRendererData();
    NiDX9BltSourceData::PurgeAllBltSourceRendererData();
    ReleaseDefaults();
    // Rendered textures may outlive the renderer: their data, which calls
    // back into it, goes now.
    std::vector<NiTexture*> kRendered;
    for (const auto& kEntry : m_kRenderedTextures)
        kRendered.push_back(kEntry.first);
    for (const auto& kEntry : m_kRenderedCubeMaps)
        kRendered.push_back(kEntry.first);
    for (NiTexture* pkTexture : kRendered)
        pkTexture->SetRendererData(nullptr);
    m_kRenderedTextures.clear();
    m_kRenderedCubeMaps.clear();
    PurgeAllD3DShaders();
    NiD3DShaderFramework::ReleaseRenderer();
    // The targets hold the device's surfaces and a device reference each.
    m_pkCurrentTarget = nullptr;
    m_pkDefaultTarget = nullptr;
    m_kWindowTargets.clear();
    NiDX9RenderTarget::ForgetBindings();
    m_spVBManager = nullptr;
    m_spIBManager = nullptr;
    m_spGeometryManager = nullptr;
    m_spRenderState = nullptr;
    m_spTextureManager = nullptr;
    m_spLightManager = nullptr;
    if (m_pkD3DDevice9 != nullptr)
        m_pkD3DDevice9->Release();
    m_pkD3DDevice9 = nullptr;
    m_spDefaultShader = nullptr;
}

void NiDX9Renderer::GetCreationParameters(std::uint32_t& uiWidth, std::uint32_t& uiHeight, std::uint32_t& uiUseFlags,
                                          gfx::WindowHandle& kWndDevice, gfx::WindowHandle& kWndFocus,
                                          std::uint32_t& uiAdapter, std::uint32_t& eDesc, std::uint32_t& eFBFormat,
                                          gfx::D3DFORMAT& eDSFormat, std::uint32_t& ePresentationInterval,
                                          std::uint32_t& eSwapEffect, std::int32_t& iFBMode,
                                          std::uint32_t& uiBackBufferCount, std::uint32_t& uiRefreshRate) const
{
    uiWidth = m_kCreation.m_uiWidth;
    uiHeight = m_kCreation.m_uiHeight;
    uiUseFlags = m_kCreation.m_uiUseFlags;
    kWndDevice = m_kCreation.m_kWndDevice;
    kWndFocus = m_kCreation.m_kWndFocus;
    uiAdapter = m_kCreation.m_uiAdapter;
    eDesc = m_kCreation.m_eDesc;
    eFBFormat = m_kCreation.m_eFBFormat;
    eDSFormat = m_kCreation.m_eDSFormat;
    ePresentationInterval = m_kCreation.m_ePresentationInterval;
    eSwapEffect = m_kCreation.m_eSwapEffect;
    iFBMode = m_kCreation.m_iFBMode;
    uiBackBufferCount = m_kCreation.m_uiBackBufferCount;
    uiRefreshRate = m_kCreation.m_uiRefreshRate;
}

// ---- format tables ----

const NiDX9Renderer::TextureFormatEntry& NiDX9Renderer::GetTextureFormat(std::uint32_t eUsage,
                                                                          std::uint32_t eFormat) const
{
    static const TextureFormatEntry s_kNone;
    if (eUsage >= TEXUSE_NUM || eFormat >= TEX_NUM)
        return s_kNone;
    return m_aakTextureFormats[eUsage][eFormat];
}

const NiDX9Renderer::TextureFormatEntry* NiDX9Renderer::GetDefaultTextureFormat(std::uint32_t eUsage) const
{
    return eUsage < TEXUSE_NUM ? m_apkDefaultTextureFormat[eUsage] : nullptr;
}

const NiDX9Renderer::TextureFormatTable& NiDX9Renderer::GetTextureFormats(std::uint32_t eUsage) const
{
    static const TextureFormatTable s_kNone{};
    return eUsage < TEXUSE_NUM ? m_aakTextureFormats[eUsage] : s_kNone;
}

const NiPixelFormat* NiDX9Renderer::FindClosestPixelFormat(const NiTexture::FormatPrefs& kPrefs) const
{
    const TextureFormatEntry* pkEntry = NiDX9TextureData::FindClosestFormat(kPrefs, m_aakTextureFormats[TEXUSE_TEX]);
    return pkEntry != nullptr ? &pkEntry->m_kPixelFormat : nullptr;
}

NiPixelData* NiDX9Renderer::GetDefaultTextureData(std::uint32_t eUsage) const
{
    return eUsage < TEXUSE_NUM ? m_aspDefaultTextureData[eUsage].Get() : nullptr;
}

gfx::D3DFORMAT NiDX9Renderer::GetRenderTargetDepthFormat(std::uint32_t eFormat) const
{
    return eFormat < TEX_NUM ? m_aeRenderTargetDepth[eFormat] : 0;
}

// ---- frame ----

bool NiDX9Renderer::PurgeTextureRendererData(NiTexture* pkTexture)
{
    if (pkTexture == nullptr)
        return true;
    pkTexture->SetRendererData(nullptr);
    // A rendered texture may be listed without data (between the halves of a
    // reset): it must not be made again after it is gone.
    m_kRenderedTextures.erase(pkTexture);
    m_kRenderedCubeMaps.erase(pkTexture);
    return true;
}

bool NiDX9Renderer::PrecacheTexture(NiTexture* pkTexture)
{
    if (pkTexture == nullptr)
        return false;
    LockPrecache();
    if (pkTexture->GetRendererData() == nullptr)
    {
        if (auto* pkSource = NiDynamicCast<NiSourceTexture>(pkTexture))
            (void)NiDX9SourceTextureData::Create(pkSource, this);
    }
    const bool bHasData = pkTexture->GetRendererData() != nullptr;
    UnlockPrecache();
    return bHasData;
}

bool NiDX9Renderer::PurgeAllTextureRendererData()
{
    NiDX9TextureData::PurgeAllRendererData();
    return true;
}

void NiDX9Renderer::ReleaseSpareMemory()
{
    if (m_pkD3DDevice9 != nullptr)
        (void)m_pkD3DDevice9->EvictManagedResources();
}

bool NiDX9Renderer::SetMipmapSkipLevel(std::uint32_t uiLevel)
{
    ms_uiMipmapSkipLevel = uiLevel;
    return true;
}

void NiDX9Renderer::PurgeMaterialRendererData(NiMaterialProperty* pkMaterial)
{
    if (m_spRenderState != nullptr)
        m_spRenderState->PurgeMaterial(pkMaterial);
}

void NiDX9Renderer::PurgeEffectRendererData(NiDynamicEffect* pkEffect)
{
    NiLight* pkLight = NiDynamicCast<NiLight>(pkEffect);
    if (pkLight != nullptr && m_spLightManager != nullptr)
        m_spLightManager->RemoveLight(pkLight);
}

void NiDX9Renderer::SetBackgroundColor(const NiColorRGBA& kColor)
{
    m_uiBackground = (ChannelByte(kColor.a) << 24) | (ChannelByte(kColor.r) << 16) | (ChannelByte(kColor.g) << 8) |
                     ChannelByte(kColor.b);
}

NiColorRGBA NiDX9Renderer::GetBackgroundColor() const
{
    constexpr float fScale = 1.0f / 255.0f;
    return NiColorRGBA(static_cast<float>((m_uiBackground >> 16) & 0xFF) * fScale,
                       static_cast<float>((m_uiBackground >> 8) & 0xFF) * fScale,
                       static_cast<float>(m_uiBackground & 0xFF) * fScale,
                       static_cast<float>((m_uiBackground >> 24) & 0xFF) * fScale);
}

bool NiDX9Renderer::BeginScene()
{
    if (!CheckDevice())
    {
        m_bInScene = false;
        return false;
    }
    UpdatePendingRepacks();
    if (m_spLightManager != nullptr)
        m_spLightManager->BeginFrame();
    if (m_spDefaultShader != nullptr)
        m_spDefaultShader->ResetPassCache();
    if (gfx::FAILED(m_pkD3DDevice9->BeginScene()))
        return false;
    m_bInScene = true;
    return true;
}

void NiDX9Renderer::EndScene()
{
    if (!m_bInScene)
        return;
    m_pkD3DDevice9->EndScene();
    m_bInScene = false;
}

void NiDX9Renderer::ClearBuffer(const NiRect<float>* pkViewport, std::uint32_t uiFlags)
{
    if (!CheckDevice() || m_pkCurrentTarget == nullptr)
        return;
    const std::uint32_t uiWidth = m_pkCurrentTarget->GetWidth();
    const std::uint32_t uiHeight = m_pkCurrentTarget->GetHeight();
    const float fWidth = static_cast<float>(uiWidth);
    const float fHeight = static_cast<float>(uiHeight);
    gfx::D3DRECT kRect{0, 0, static_cast<std::int32_t>(uiWidth), static_cast<std::int32_t>(uiHeight)};
    if (pkViewport != nullptr)
    {
        // Rows run downwards, the rectangle's top and bottom upwards.
        kRect.x1 = static_cast<std::int32_t>(TruncatePixels(fWidth * pkViewport->m_left));
        kRect.y1 = static_cast<std::int32_t>(TruncatePixels((1.0f - pkViewport->m_top) * fHeight));
        kRect.x2 = static_cast<std::int32_t>(TruncatePixels(fWidth * pkViewport->m_right));
        kRect.y2 = static_cast<std::int32_t>(TruncatePixels((1.0f - pkViewport->m_bottom) * fHeight));
    }

    const bool bDepthSurface = m_pkCurrentTarget->GetDepthStencilSurface() != nullptr;
    std::uint32_t uiD3DFlags = 0;
    if ((uiFlags & CLEAR_BACKBUFFER) != 0)
        uiD3DFlags |= gfx::D3DCLEAR_TARGET;
    if ((uiFlags & CLEAR_ZBUFFER) != 0 && bDepthSurface)
        uiD3DFlags |= gfx::D3DCLEAR_ZBUFFER;
    if ((uiFlags & CLEAR_STENCIL) != 0 && bDepthSurface && (m_uiRendFlags & CAPS_STENCIL) != 0)
        uiD3DFlags |= gfx::D3DCLEAR_STENCIL;

    // A clear always runs with the full-target viewport; the camera's comes
    // back with the next SetCameraData.
    m_kClearViewport.Width = uiWidth;
    m_kClearViewport.Height = uiHeight;
    m_pkD3DDevice9->SetViewport(&m_kClearViewport);
    if (uiD3DFlags != 0)
        m_pkD3DDevice9->Clear(1, &kRect, uiD3DFlags, m_uiBackground, m_fZClear, m_uiStencilClear);
}

void NiDX9Renderer::SetCameraData(const NiVec3& kWorldLoc, const NiVec3& kWorldDir, const NiVec3& kWorldUp,
                                  const NiVec3& kWorldRight, const NiViewFrustum& kFrustum,
                                  const NiRect<float>& kPort)
{
    if (!CheckDevice() || m_pkCurrentTarget == nullptr)
        return;
    const float fL = kFrustum.m_fLeft;
    const float fR = kFrustum.m_fRight;
    const float fT = kFrustum.m_fTop;
    const float fB = kFrustum.m_fBottom;
    const float fN = kFrustum.m_fNear;
    const float fF = kFrustum.m_fFar;
    // A frustum without width, height or depth has no projection: the last
    // good camera stays on the device rather than infinities.
    if (fR == fL || fT == fB || fF == fN)
        return;

    const NiVec3& kR = kWorldRight;
    const NiVec3& kU = kWorldUp;
    const NiVec3& kD = kWorldDir;
    const NiVec3& kL = kWorldLoc;
    m_kD3DView = gfx::D3DMATRIX{{{kR.x, kU.x, kD.x, 0.0f},
                                 {kR.y, kU.y, kD.y, 0.0f},
                                 {kR.z, kU.z, kD.z, 0.0f},
                                 {-kL.Dot(kR), -kL.Dot(kU), -kL.Dot(kD), 1.0f}}};
    m_kInvView = gfx::D3DMATRIX{{{kR.x, kR.y, kR.z, 0.0f},
                                 {kU.x, kU.y, kU.z, 0.0f},
                                 {kD.x, kD.y, kD.z, 0.0f},
                                 {kL.x, kL.y, kL.z, 1.0f}}};
    m_pkD3DDevice9->SetTransform(gfx::D3DTS_VIEW, &m_kD3DView);

    m_kCamRight = kR;
    m_kCamUp = kU;
    m_kModelCamRight = kR;
    m_kModelCamUp = kU;
    m_fNearDepth = fN;
    m_fDepthRange = fF - fN;

    const bool bMirror = m_spRenderState != nullptr && m_spRenderState->GetLeftRightSwap();
    const float fInvWidth = 1.0f / (fR - fL);
    const float fInvHeight = 1.0f / (fT - fB);
    const float fInvDepth = 1.0f / (fF - fN);
    const float fXShift = -(fL + fR) * fInvWidth;
    const float fYShift = -(fT + fB) * fInvHeight;
    m_kD3DProj = gfx::D3DMATRIX{};
    m_kD3DProj.m[0][0] = (bMirror ? -2.0f : 2.0f) * fInvWidth;
    m_kD3DProj.m[1][1] = 2.0f * fInvHeight;
    if (kFrustum.m_bOrtho)
    {
        m_kD3DProj.m[2][2] = fInvDepth;
        m_kD3DProj.m[3][0] = bMirror ? -fXShift : fXShift;
        m_kD3DProj.m[3][1] = fYShift;
        m_kD3DProj.m[3][2] = -fN * fInvDepth;
        m_kD3DProj.m[3][3] = 1.0f;
    }
    else
    {
        m_kD3DProj.m[2][0] = bMirror ? -fXShift : fXShift;
        m_kD3DProj.m[2][1] = fYShift;
        m_kD3DProj.m[2][2] = fF * fInvDepth;
        m_kD3DProj.m[2][3] = 1.0f;
        m_kD3DProj.m[3][2] = -fN * fF * fInvDepth;
    }
    m_pkD3DDevice9->SetTransform(gfx::D3DTS_PROJECTION, &m_kD3DProj);
    m_kScreenSpaceProj.m[2][2] = m_kD3DProj.m[2][2];
    m_kScreenSpaceProj.m[3][2] = m_kD3DProj.m[3][2];

    const float fWidth = static_cast<float>(m_pkCurrentTarget->GetWidth());
    const float fHeight = static_cast<float>(m_pkCurrentTarget->GetHeight());
    gfx::D3DVIEWPORT9 kViewport;
    kViewport.X = TruncatePixels(fWidth * kPort.m_left);
    kViewport.Y = TruncatePixels((1.0f - kPort.m_top) * fHeight);
    kViewport.Width = TruncatePixels((kPort.m_right - kPort.m_left) * fWidth);
    kViewport.Height = TruncatePixels((kPort.m_top - kPort.m_bottom) * fHeight);
    kViewport.MinZ = 0.0f;
    kViewport.MaxZ = 1.0f;
    m_pkD3DDevice9->SetViewport(&kViewport);

    if (fWidth > 0.0f && fHeight > 0.0f)
    {
        m_kPixelToUnit = IdentityMatrix();
        m_kPixelToUnit.m[0][0] = 1.0f / fWidth;
        m_kPixelToUnit.m[1][1] = -1.0f / fHeight;
        m_kPixelToUnit.m[3][0] = -0.5f / fWidth;
        m_kPixelToUnit.m[3][1] = 1.0f + 0.5f / fHeight;
    }

    if (m_spRenderState != nullptr)
        m_spRenderState->SetCameraNearAndFar(fN, fF);
}

void NiDX9Renderer::SetModelTransform(const NiXform& kXform, bool bPush)
{
    const NiMatrix3x3& kM = kXform.m_kRotate;
    const float fS = kXform.m_fScale;
    for (int iRow = 0; iRow < 3; ++iRow)
    {
        for (int iCol = 0; iCol < 3; ++iCol)
            m_kD3DModel.m[iRow][iCol] = fS * kM.GetEntry(iCol, iRow);
        m_kD3DModel.m[iRow][3] = 0.0f;
    }
    m_kD3DModel.m[3][0] = kXform.m_kTranslate.x;
    m_kD3DModel.m[3][1] = kXform.m_kTranslate.y;
    m_kD3DModel.m[3][2] = kXform.m_kTranslate.z;
    m_kD3DModel.m[3][3] = 1.0f;
    if (bPush && m_pkD3DDevice9 != nullptr)
        m_pkD3DDevice9->SetTransform(gfx::D3DTS_WORLD, &m_kD3DModel);
    if (m_spRenderState != nullptr)
        m_spRenderState->UpdateNormalizeNormals(kXform);
    // Camera-facing geometry builds itself from these, in its own frame.
    m_kModelCamRight = kM.TransposeMultiplyVector(m_kCamRight) * fS;
    m_kModelCamUp = kM.TransposeMultiplyVector(m_kCamUp) * fS;
}

bool NiDX9Renderer::SetRenderTarget(NiRenderedTexture* pkTarget)
{
    if (m_bInScene || m_pkD3DDevice9 == nullptr)
        return false;
    for (std::uint32_t uiIndex = 1; uiIndex < NiDX9RenderTarget::MAX_TARGETS; ++uiIndex)
        NiDX9RenderTarget::ClearRenderTarget(m_pkD3DDevice9, uiIndex);
    NiDX9RenderTarget* pkNew = m_pkDefaultTarget;
    if (pkTarget != nullptr)
    {
        pkNew = RenderTargetOf(pkTarget);
        if (pkNew == nullptr)
            return false;
    }
    if (pkNew == nullptr || !pkNew->SetRenderTarget(m_pkD3DDevice9, 0))
        return false;
    m_pkCurrentTarget = pkNew;
    return true;
}

bool NiDX9Renderer::SetMultipleRenderTarget(std::uint32_t uiIndex, NiRenderedTexture* pkTarget)
{
    if (m_bInScene || m_pkD3DDevice9 == nullptr)
        return false;
    if (uiIndex == 0)
        return SetRenderTarget(pkTarget);
    if (pkTarget == nullptr)
    {
        NiDX9RenderTarget::ClearRenderTarget(m_pkD3DDevice9, uiIndex);
        return true;
    }
    NiDX9RenderTarget* pkRenderTarget = RenderTargetOf(pkTarget);
    return pkRenderTarget != nullptr && pkRenderTarget->SetRenderTarget(m_pkD3DDevice9, uiIndex);
}

bool NiDX9Renderer::GetLeftRightSwap() const
{
    return m_spRenderState != nullptr && m_spRenderState->GetLeftRightSwap();
}

bool NiDX9Renderer::SetLeftRightSwap(bool bSwap)
{
    if (m_spRenderState == nullptr)
        return false;
    m_spRenderState->SetLeftRightSwap(bSwap);
    return true;
}

NiDX9RenderTarget* NiDX9Renderer::RenderTargetOf(NiRenderedTexture* pkTexture) const
{
    if (pkTexture == nullptr)
        return nullptr;
    auto* pkData = dynamic_cast<NiDX9TextureData*>(pkTexture->GetRendererData());
    NiDX9RenderedTextureData* pkRendered = pkData != nullptr ? pkData->GetAsRenderedTextureData() : nullptr;
    return pkRendered != nullptr ? pkRendered->GetRenderTarget() : nullptr;
}

bool NiDX9Renderer::CreateRenderedTextureData(NiRenderedTexture* pkTexture)
{
    if (pkTexture == nullptr)
        return false;
    if (pkTexture->GetRendererData() != nullptr)
        return true;
    NiDX9RenderedTextureData* pkData = NiDX9RenderedTextureData::Create(pkTexture, this);
    if (pkData == nullptr)
        return false;
    m_kRenderedTextures[pkTexture] = pkData;
    return true;
}

bool NiDX9Renderer::CreateRenderedCubeMapData(NiRenderedCubeMap* pkCubeMap)
{
    if (pkCubeMap == nullptr)
        return false;
    if (pkCubeMap->GetRendererData() != nullptr)
        return true;
    NiDX9RenderedCubeMapData* pkData = NiDX9RenderedCubeMapData::Create(pkCubeMap, this);
    if (pkData == nullptr)
        return false;
    m_kRenderedCubeMaps[pkCubeMap] = pkData;
    return true;
}

void NiDX9Renderer::RemoveRenderedTexture(NiTexture* pkTexture, NiDX9RenderedTextureData* pkData)
{
    auto kFound = m_kRenderedTextures.find(pkTexture);
    if (kFound != m_kRenderedTextures.end() && kFound->second == pkData)
        m_kRenderedTextures.erase(kFound);
}

void NiDX9Renderer::RemoveRenderedCubeMap(NiTexture* pkCubeMap, NiDX9RenderedTextureData* pkData)
{
    auto kFound = m_kRenderedCubeMaps.find(pkCubeMap);
    if (kFound != m_kRenderedCubeMaps.end() && kFound->second == pkData)
        m_kRenderedCubeMaps.erase(kFound);
}

void NiDX9Renderer::ForgetRenderTarget(const NiDX9RenderTarget* pkTarget)
{
    if (pkTarget != nullptr && m_pkCurrentTarget == pkTarget)
        m_pkCurrentTarget = m_pkDefaultTarget;
}

std::unique_ptr<NiDX9TextureRenderTarget> NiDX9Renderer::CreateRenderedTextureRendererData(
    gfx::IDirect3DCubeTexture9* pkCube, std::uint32_t uiFace, const NiDX9RenderTarget* pkShared,
    gfx::IDirect3DDevice9* pkDevice)
{
    return NiDX9TextureRenderTarget::CreateCubeFace(pkCube, uiFace, pkShared, pkDevice);
}

NiRefPtr<NiPixelData> NiDX9Renderer::CaptureBackBuffer(const NiRect<std::int32_t>* pkRect)
{
    NiDX9BackBufferTarget* pkTarget = m_pkDefaultTarget;
    if (pkTarget == nullptr || pkTarget->GetColorSurface() == nullptr || pkTarget->GetFormat() == nullptr)
        return nullptr;
    const std::int32_t iWidth = static_cast<std::int32_t>(pkTarget->GetWidth());
    const std::int32_t iHeight = static_cast<std::int32_t>(pkTarget->GetHeight());
    gfx::RECT kArea{0, 0, iWidth, iHeight};
    if (pkRect != nullptr)
    {
        if (pkRect->m_left < 0 || pkRect->m_left >= iWidth || pkRect->m_top < 0 || pkRect->m_top >= iHeight)
            return nullptr;
        // An inverted rectangle is empty, not a wrapped-around huge one.
        if (pkRect->m_right < pkRect->m_left || pkRect->m_bottom < pkRect->m_top)
            return nullptr;
        kArea.left = pkRect->m_left;
        kArea.top = pkRect->m_top;
        kArea.right = std::min(pkRect->m_right, iWidth - 1) + 1;
        kArea.bottom = std::min(pkRect->m_bottom, iHeight - 1) + 1;
    }

    const NiPixelFormat& kFormat = pkTarget->GetFormat()->m_kPixelFormat;
    const std::uint32_t uiBytesPerPixel = NiDX9Renderer::GetFormatBitsPerPixel(pkTarget->GetFormat()->m_eD3DFormat) / 8;
    if (uiBytesPerPixel == 0)
        return nullptr;
    gfx::D3DLOCKED_RECT kLocked{};
    gfx::IDirect3DSurface9* pkSurface = pkTarget->GetColorSurface();
    if (gfx::FAILED(pkSurface->LockRect(&kLocked, &kArea, gfx::D3DLOCK_READONLY)))
        return nullptr;
    const std::uint32_t uiWidth = static_cast<std::uint32_t>(kArea.right - kArea.left);
    const std::uint32_t uiHeight = static_cast<std::uint32_t>(kArea.bottom - kArea.top);
    // Every byte is copied from the surface below.
    NiRefPtr<NiPixelData> spData = NiPixelData::CreateToFill(uiWidth, uiHeight, kFormat);
    if (spData->GetPixels() == nullptr)
    {
        pkSurface->UnlockRect();
        return nullptr;
    }
    const std::size_t uiRowBytes = static_cast<std::size_t>(uiWidth) * uiBytesPerPixel;
    const auto* pucSource = static_cast<const std::uint8_t*>(kLocked.pBits);
    std::uint8_t* pucDest = spData->GetPixels();
    if (static_cast<std::size_t>(kLocked.Pitch) == uiRowBytes)
    {
        std::memcpy(pucDest, pucSource, uiRowBytes * uiHeight);
    }
    else
    {
        for (std::uint32_t uiRow = 0; uiRow < uiHeight; ++uiRow)
            std::memcpy(pucDest + uiRow * uiRowBytes, pucSource + static_cast<std::size_t>(uiRow) * kLocked.Pitch,
                        uiRowBytes);
    }
    pkSurface->UnlockRect();
    return spData;
}

void NiDX9Renderer::PurgeGeometryRendererData(NiGeometryData* pkData)
{
    if (pkData == nullptr || pkData->GetRendererData() == nullptr || m_spGeometryManager == nullptr)
        return;
    LockRenderer();
    DropPendingRepacks(pkData->GetRendererData());
    UnlockRenderer();
    m_spGeometryManager->ReleaseGeometryData(pkData, nullptr);
}

void NiDX9Renderer::PurgeSkinPartitionRendererData(NiSkinPartition* pkPartition)
{
    if (pkPartition == nullptr || pkPartition->GetPartitions() == nullptr)
        return;
    for (std::uint32_t i = 0; i < pkPartition->GetPartitionCount(); ++i)
    {
        NiSkinPartition::Partition& kPart = pkPartition->GetPartitions()[i];
        auto* pkRecord = static_cast<NiDX9GeometryBufferData*>(kPart.m_pvRendererData);
        if (pkRecord != nullptr && pkRecord->m_pkGroup != nullptr)
        {
            LockRenderer();
            DropPendingRepacks(pkRecord);
            UnlockRenderer();
            NiDX9GeometryBufferGroup* pkGroup = pkRecord->m_pkGroup;
            pkGroup->ReleasePartitionData(&kPart);
            if (pkGroup->GetGeometryCount() == 0)
                pkGroup->Purge();
        }
    }
}

void NiDX9Renderer::DisplayFrame()
{
    if (!CheckDevice())
        return;
    if (m_pkCurrentTarget != nullptr)
        m_pkCurrentTarget->Display();
    if (m_spVBManager != nullptr)
        m_spVBManager->AdvanceFrame();
}

std::uint32_t NiDX9Renderer::GetWidth() const
{
    return m_pkCurrentTarget != nullptr ? m_pkCurrentTarget->GetWidth() : 0;
}

std::uint32_t NiDX9Renderer::GetHeight() const
{
    return m_pkCurrentTarget != nullptr ? m_pkCurrentTarget->GetHeight() : 0;
}

std::uint32_t NiDX9Renderer::GetBitDepth() const
{
    return m_pkCurrentTarget != nullptr ? m_pkCurrentTarget->GetBitDepth() : 0;
}
