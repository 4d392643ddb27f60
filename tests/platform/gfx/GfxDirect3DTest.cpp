#include "tests/platform/gfx/GfxBackendFixture.h"

#include "platform/gfx/GfxBackendLocal.h"
#include "platform/gfx/GfxFormat.h"

#include <SDL2/SDL.h>

#include <cstdlib>
#include <cstring>
#include <string>

using namespace gfx;
using gfxtest::BackendTest;

class GfxDirect3D : public BackendTest {};
GFX_BOTH_BACKENDS(GfxDirect3D);

TEST_P(GfxDirect3D, WrongSdkVersionGivesNoObject) {
    EXPECT_EQ(Direct3DCreate9(31, GetParam()), nullptr);
}

TEST_P(GfxDirect3D, AdapterDescriptionIsTheSdlDisplayName) {
    ASSERT_GE(d3d->GetAdapterCount(), 1u);
    D3DADAPTER_IDENTIFIER9 id;
    ASSERT_EQ(d3d->GetAdapterIdentifier(0, 0, &id), D3D_OK);
    EXPECT_STREQ(id.Description, SDL_GetDisplayName(0));
    EXPECT_EQ(d3d->GetAdapterIdentifier(d3d->GetAdapterCount(), 0, &id), D3DERR_INVALIDCALL);
}

TEST_P(GfxDirect3D, ModesAndDesktopMode) {
    D3DDISPLAYMODE desktop;
    ASSERT_EQ(d3d->GetAdapterDisplayMode(0, &desktop), D3D_OK);
    EXPECT_GT(desktop.Width, 0u);
    EXPECT_EQ(desktop.Format, D3DFMT_X8R8G8B8);
    const std::uint32_t n = d3d->GetAdapterModeCount(0, D3DFMT_X8R8G8B8);
    ASSERT_GE(n, 1u);
    bool desktopListed = false;
    for (std::uint32_t i = 0; i < n; ++i) {
        D3DDISPLAYMODE m;
        ASSERT_EQ(d3d->EnumAdapterModes(0, D3DFMT_X8R8G8B8, i, &m), D3D_OK);
        EXPECT_EQ(m.Format, D3DFMT_X8R8G8B8);
        desktopListed |= m.Width == desktop.Width && m.Height == desktop.Height;
    }
    EXPECT_TRUE(desktopListed);
    D3DDISPLAYMODE m;
    EXPECT_EQ(d3d->EnumAdapterModes(0, D3DFMT_X8R8G8B8, n, &m), D3DERR_INVALIDCALL);
}

// Only the three display formats are listed; SDL's other pixel formats are left out.
TEST(GfxDisplayFormat, SdlFormatsMapToTheThreeDisplayFormats) {
    EXPECT_EQ(DisplayFormatFromSdl(SDL_PIXELFORMAT_RGB888), D3DFMT_X8R8G8B8);
    EXPECT_EQ(DisplayFormatFromSdl(SDL_PIXELFORMAT_ARGB8888), D3DFMT_X8R8G8B8);
    EXPECT_EQ(DisplayFormatFromSdl(SDL_PIXELFORMAT_RGB565), D3DFMT_R5G6B5);
    EXPECT_EQ(DisplayFormatFromSdl(SDL_PIXELFORMAT_RGB555), D3DFMT_X1R5G5B5);
    EXPECT_EQ(DisplayFormatFromSdl(SDL_PIXELFORMAT_BGR565), D3DFMT_UNKNOWN);
    EXPECT_EQ(DisplayFormatFromSdl(SDL_PIXELFORMAT_RGBA8888), D3DFMT_UNKNOWN);
    EXPECT_EQ(DisplayFormatFromSdl(SDL_PIXELFORMAT_UNKNOWN), D3DFMT_UNKNOWN);
}

TEST_P(GfxDirect3D, HalOnly) {
    D3DCAPS9 caps;
    EXPECT_EQ(d3d->GetDeviceCaps(0, D3DDEVTYPE_REF, &caps), D3DERR_NOTAVAILABLE);
    ASSERT_EQ(d3d->GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps), D3D_OK);
    EXPECT_EQ(caps.DeviceType, D3DDEVTYPE_HAL);
    EXPECT_EQ(d3d->CheckDeviceType(0, D3DDEVTYPE_REF, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, 1), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d3d->CheckDeviceType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, 1), D3D_OK);
    EXPECT_EQ(d3d->CheckDeviceType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, 0), D3D_OK);
    EXPECT_EQ(d3d->CheckDeviceType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, 0), D3DERR_NOTAVAILABLE);
    D3DPRESENT_PARAMETERS p = gfxtest::Windowed(16, 16);
    IDirect3DDevice9* dev = nullptr;
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_REF, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p, &dev),
              D3DERR_NOTAVAILABLE);
    EXPECT_EQ(dev, nullptr);
}

TEST_P(GfxDirect3D, FormatChecks) {
    const D3DFORMAT display = D3DFMT_X8R8G8B8;
    for (D3DFORMAT f : {D3DFMT_X1R5G5B5, D3DFMT_R5G6B5, D3DFMT_X8R8G8B8, D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4,
                        D3DFMT_A8R8G8B8, D3DFMT_DXT1, D3DFMT_DXT3, D3DFMT_DXT5}) {
        SCOPED_TRACE(f);
        EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, display, 0, D3DRTYPE_TEXTURE, f), D3D_OK);
        EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, display, D3DUSAGE_RENDERTARGET, D3DRTYPE_TEXTURE, f),
                  IsCompressedFormat(f) ? D3DERR_NOTAVAILABLE : D3D_OK);
    }
    // Vertex programs sample what pixel programs sample; surfaces and buffers are never sampled.
    for (std::uint32_t type : {D3DRTYPE_TEXTURE, D3DRTYPE_CUBETEXTURE, D3DRTYPE_VOLUMETEXTURE})
        EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, display, D3DUSAGE_QUERY_VERTEXTEXTURE, type,
                                         D3DFMT_A8R8G8B8),
                  D3D_OK);
    EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, display, D3DUSAGE_QUERY_VERTEXTEXTURE, D3DRTYPE_TEXTURE,
                                     D3DFMT_P8),
              D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, display, D3DUSAGE_QUERY_VERTEXTEXTURE, D3DRTYPE_SURFACE,
                                     D3DFMT_A8R8G8B8),
              D3DERR_NOTAVAILABLE);
    // Bump texels are sampled (never drawn into); volumes take what plain textures take, blocks too.
    for (D3DFORMAT f : {D3DFMT_V8U8, D3DFMT_L6V5U5, D3DFMT_X8L8V8U8}) {
        SCOPED_TRACE(f);
        EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, display, 0, D3DRTYPE_TEXTURE, f), D3D_OK);
        EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, display, D3DUSAGE_RENDERTARGET, D3DRTYPE_TEXTURE, f),
                  D3DERR_NOTAVAILABLE);
    }
    for (D3DFORMAT f : {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_DXT1, D3DFMT_DXT5, D3DFMT_V8U8}) {
        SCOPED_TRACE(f);
        EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, display, 0, D3DRTYPE_VOLUMETEXTURE, f), D3D_OK);
        EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, display, D3DUSAGE_RENDERTARGET, D3DRTYPE_VOLUMETEXTURE, f),
                  D3DERR_NOTAVAILABLE);
    }
    // Every format sampled is filtered; depth surfaces are not sampled at all.
    for (D3DFORMAT f : {D3DFMT_A8R8G8B8, D3DFMT_DXT5, D3DFMT_V8U8, D3DFMT_R32F, D3DFMT_A16B16G16R16F})
        for (std::uint32_t type : {D3DRTYPE_TEXTURE, D3DRTYPE_CUBETEXTURE, D3DRTYPE_VOLUMETEXTURE})
            EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, display, D3DUSAGE_QUERY_FILTER, type, f), D3D_OK) << f;
    EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, display, D3DUSAGE_QUERY_FILTER, D3DRTYPE_TEXTURE, D3DFMT_P8),
              D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, display, D3DUSAGE_QUERY_FILTER | D3DUSAGE_DEPTHSTENCIL,
                                     D3DRTYPE_SURFACE, D3DFMT_D24S8),
              D3DERR_NOTAVAILABLE);
    for (D3DFORMAT f : {D3DFMT_Q8W8V8U8, D3DFMT_P8, D3DFMT_L8, D3DFMT_A16B16G16R16, D3DFMT_V16U16}) {
        SCOPED_TRACE(f);
        EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, display, 0, D3DRTYPE_TEXTURE, f), D3DERR_NOTAVAILABLE);
        EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, display, 0, D3DRTYPE_VOLUMETEXTURE, f), D3DERR_NOTAVAILABLE);
    }
    for (D3DFORMAT f : {D3DFMT_D16, D3DFMT_D24X8, D3DFMT_D24S8}) {
        EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, display, D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE, f), D3D_OK);
        EXPECT_EQ(d3d->CheckDepthStencilMatch(0, D3DDEVTYPE_HAL, display, D3DFMT_R5G6B5, f), D3D_OK);
    }
    for (D3DFORMAT f : {D3DFMT_D16_LOCKABLE, D3DFMT_D32, D3DFMT_D15S1, D3DFMT_D24X4S4, D3DFMT_D32F_LOCKABLE, D3DFMT_D24FS8})
        EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, display, D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE, f),
                  D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_REF, display, 0, D3DRTYPE_TEXTURE, D3DFMT_A8R8G8B8),
              D3DERR_NOTAVAILABLE);
}

TEST_P(GfxDirect3D, MultisampleTypesAsTheBackEndOffers) {
    std::uint32_t levels = 0;
    EXPECT_EQ(d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 1, D3DMULTISAMPLE_NONE, &levels), D3D_OK);
    EXPECT_EQ(levels, 1u);
    // null offers every count; gl at least 2 and 4 on any OpenGL 3.3 driver, up to what the driver has.
    std::uint32_t most = 1;
    for (std::uint32_t t = 2; t <= 16; ++t) {
        levels = 7;
        const HRESULT hr = d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 1, t, &levels);
        if (hr == D3D_OK) {
            EXPECT_EQ(levels, 1u) << t;
            EXPECT_EQ(most, t - 1) << "the counts had are 2 to the most, without gaps";
            most = t;
        } else {
            EXPECT_EQ(hr, D3DERR_NOTAVAILABLE);
            EXPECT_EQ(levels, 0u);
        }
    }
    EXPECT_GE(most, 4u);
    if (GetParam() == BackendKind::Null) {
        EXPECT_EQ(most, 16u);
    }
    // Non-maskable: a quality level per count.
    ASSERT_EQ(d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_A8R8G8B8, 0, D3DMULTISAMPLE_NONMASKABLE, &levels),
              D3D_OK);
    EXPECT_GE(levels, 1u);
    EXPECT_LE(levels, 15u);
    // Depth surfaces share the counts; textures, other devices and types beyond 16 do not.
    EXPECT_EQ(d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_D24S8, 1, 4, nullptr), D3D_OK);
    EXPECT_EQ(d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_DXT1, 1, 4, &levels), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_REF, D3DFMT_X8R8G8B8, 1, 4, &levels), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 1, 17, &levels), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d3d->CheckDeviceMultiSampleType(1, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 1, 4, &levels), D3DERR_INVALIDCALL);
}

TEST_P(GfxDirect3D, MultisampledDevicesAreDiscardedNeverLockedAndReportTheirType) {
    IDirect3DDevice9* dev = nullptr;
    D3DPRESENT_PARAMETERS p = gfxtest::Windowed(16, 16, D3DFMT_X8R8G8B8, false);
    p.MultiSampleType = 4;
    p.SwapEffect = D3DSWAPEFFECT_COPY;
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, &dev),
              D3DERR_INVALIDCALL);
    p.SwapEffect = D3DSWAPEFFECT_DISCARD;
    p.MultiSampleQuality = 1; // one level only
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, &dev),
              D3DERR_INVALIDCALL);
    p.MultiSampleQuality = 0;
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, &dev), D3D_OK);
    IDirect3DSurface9* back = nullptr;
    ASSERT_EQ(dev->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    D3DSURFACE_DESC desc;
    ASSERT_EQ(back->GetDesc(&desc), D3D_OK);
    EXPECT_EQ(desc.MultiSampleType, 4u);
    D3DLOCKED_RECT lr;
    EXPECT_EQ(back->LockRect(&lr, nullptr, D3DLOCK_READONLY), D3DERR_INVALIDCALL);
    back->Release();
    IDirect3DSurface9* depth = nullptr;
    ASSERT_EQ(dev->GetDepthStencilSurface(&depth), D3D_OK);
    ASSERT_EQ(depth->GetDesc(&desc), D3D_OK);
    EXPECT_EQ(desc.MultiSampleType, 4u);
    depth->Release();
    // A Reset goes back to one sample, and the back buffer says so.
    p = gfxtest::Windowed(16, 16);
    ASSERT_EQ(dev->Reset(&p), D3D_OK);
    ASSERT_EQ(dev->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    ASSERT_EQ(back->GetDesc(&desc), D3D_OK);
    EXPECT_EQ(desc.MultiSampleType, D3DMULTISAMPLE_NONE);
    back->Release();
    EXPECT_EQ(dev->PresentParameters().MultiSampleType, D3DMULTISAMPLE_NONE);
    EXPECT_EQ(dev->Release(), 0u);
}

TEST_P(GfxDirect3D, CreateDeviceValidatesItsArguments) {
    IDirect3DDevice9* dev = nullptr;
    D3DPRESENT_PARAMETERS p = gfxtest::Windowed(16, 16);
    EXPECT_EQ(d3d->CreateDevice(d3d->GetAdapterCount(), D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, &dev),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, 0, &p, &dev), D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_PUREDEVICE | D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                                &p, &dev),
              D3DERR_INVALIDCALL);
    p.MultiSampleType = 2; // with a lockable back buffer
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, &dev),
              D3DERR_INVALIDCALL);
    p = gfxtest::Windowed(16, 16);
    p.BackBufferCount = 5; // too many: the count comes back changed, as the renderer retries with it
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, &dev),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(p.BackBufferCount, 3u);
    EXPECT_EQ(dev, nullptr);
    // A pure hardware device, as the renderer's first kind asks.
    p = gfxtest::Windowed(16, 16);
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_PUREDEVICE | D3DCREATE_HARDWARE_VERTEXPROCESSING,
                                &p, &dev),
              D3D_OK);
    EXPECT_STREQ(dev->BackendName(), GetParam() == BackendKind::Gl ? "gl" : "null");
    D3DDEVICE_CREATION_PARAMETERS cp;
    ASSERT_EQ(dev->GetCreationParameters(&cp), D3D_OK);
    EXPECT_EQ(cp.BehaviorFlags, D3DCREATE_PUREDEVICE | D3DCREATE_HARDWARE_VERTEXPROCESSING);
    EXPECT_EQ(dev->Release(), 0u);
}

TEST_P(GfxDirect3D, InjectedCreationFailure) {
    d3d->FailNextCreateDevice(D3DERR_NOTAVAILABLE);
    IDirect3DDevice9* dev = nullptr;
    D3DPRESENT_PARAMETERS p = gfxtest::Windowed(16, 16);
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, &dev),
              D3DERR_NOTAVAILABLE);
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, &dev), D3D_OK);
    EXPECT_EQ(dev->Release(), 0u);
}

TEST_P(GfxDirect3D, FullScreenInTheDesktopMode) {
    D3DDISPLAYMODE desktop;
    ASSERT_EQ(d3d->GetAdapterDisplayMode(0, &desktop), D3D_OK);
    gfxtest::TestWindow window(64, 64);
    ASSERT_NE(window.handle, nullptr);
    D3DPRESENT_PARAMETERS p = gfxtest::Windowed(desktop.Width, desktop.Height);
    p.Windowed = 0;
    p.PresentationInterval = D3DPRESENT_INTERVAL_ONE;
    IDirect3DDevice9* dev = nullptr;
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, window.handle, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, &dev), D3D_OK);
    EXPECT_EQ(dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF102030u, 1.0f, 0), D3D_OK);
    EXPECT_EQ(dev->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(dev->Release(), 0u);
    // A mode the adapter does not list is refused.
    p = gfxtest::Windowed(desktop.Width + 1, desktop.Height);
    p.Windowed = 0;
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, window.handle, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, &dev),
              D3DERR_INVALIDCALL);
}

// A driver without OpenGL gives no gl top object, and says why in the driver's
// words; only ORVANE_GFX_BACKEND=null asks for the device that shows nothing.
class GfxWithoutGl : public BackendTest {};
INSTANTIATE_TEST_SUITE_P(, GfxWithoutGl, ::testing::Values(BackendKind::Null), gfxtest::BackendParamName);

TEST_P(GfxWithoutGl, GlStartFailureIsReportedWithItsReasonAndNeverFallsBack) {
    if (std::strcmp(SDL_GetCurrentVideoDriver(), "dummy") != 0) GTEST_SKIP() << "needs the dummy video driver";
    const char* chosen = std::getenv("ORVANE_GFX_BACKEND");
    const std::string saved = chosen ? chosen : "";
    unsetenv("ORVANE_GFX_BACKEND");
    for (const BackendKind kind : {BackendKind::Gl, BackendKind::Auto}) {
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(Direct3DCreate9(D3D_SDK_VERSION, kind), nullptr);
        const std::string text = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(GetLastFailureText().find("gfx gl: the video driver \"dummy\" offers no OpenGL: "), std::string::npos)
            << GetLastFailureText();
        EXPECT_NE(GetLastFailureText().find("(dummy)"), std::string::npos) << GetLastFailureText(); // SDL's text
        EXPECT_NE(text.find(GetLastFailureText()), std::string::npos) << text;
    }
    setenv("ORVANE_GFX_BACKEND", "null", 1);
    IDirect3D9* asked = Direct3DCreate9(D3D_SDK_VERSION, BackendKind::Auto);
    ASSERT_NE(asked, nullptr);
    EXPECT_EQ(asked->Kind(), BackendKind::Null);
    EXPECT_EQ(GetLastFailureText(), ""); // a success clears the text
    asked->Release();
    if (chosen) {
        setenv("ORVANE_GFX_BACKEND", saved.c_str(), 1);
    } else {
        unsetenv("ORVANE_GFX_BACKEND");
    }
}
