#include "engine/render/NiDX9Renderer.h"

#include "engine/shaders/framework/NiD3DPass.h"
#include "tests/engine/render/RendererTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

using namespace gfx;

namespace
{
using NiDX9RendererTest = rendertest::RendererTest;

NiDX9DeviceDesc* HALDevice()
{
    return NiDX9Renderer::GetSystemInfo()->GetAdapter(0)->GetDevice(D3DDEVTYPE_HAL);
}

HRESULT CapsFail(IDirect3DDevice9*, D3DCAPS9*)
{
    return E_FAIL;
}

HRESULT CapsOneStage(IDirect3DDevice9* pkDevice, D3DCAPS9* pkCaps)
{
    const HRESULT hr = pkDevice->GetDeviceCaps(pkCaps);
    pkCaps->MaxTextureBlendStages = 1;
    return hr;
}

// The device's own caps with the bits of a richer device added, so that each
// derived flag can be seen rising with its bit.
D3DCAPS9 g_kExtraCaps{};
std::uint32_t g_uiRemovedTextureCaps = 0; // and the texture caps bits of a poorer one taken away
HRESULT CapsWithExtras(IDirect3DDevice9* pkDevice, D3DCAPS9* pkCaps)
{
    const HRESULT hr = pkDevice->GetDeviceCaps(pkCaps);
    // Without the device's own mip-mapped cube maps: each case says what its bits add.
    pkCaps->TextureCaps &= ~(g_uiRemovedTextureCaps | D3DPTEXTURECAPS_MIPCUBEMAP);
    pkCaps->TextureCaps |= g_kExtraCaps.TextureCaps;
    pkCaps->RasterCaps |= g_kExtraCaps.RasterCaps;
    if (g_kExtraCaps.MaxVertexBlendMatrices != 0)
        pkCaps->MaxVertexBlendMatrices = g_kExtraCaps.MaxVertexBlendMatrices;
    if (g_kExtraCaps.PixelShaderVersion != 0)
        pkCaps->PixelShaderVersion = g_kExtraCaps.PixelShaderVersion;
    return hr;
}

// The back buffer's first pixel as the device reads it back, B, G, R.
std::array<std::uint8_t, 3> FirstPixel(IDirect3DDevice9* pkDevice)
{
    std::array<std::uint8_t, 3> aucPixel{};
    gfxtest::Ref<IDirect3DSurface9> spBack;
    if (pkDevice->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &spBack) != D3D_OK)
        return aucPixel;
    D3DLOCKED_RECT kLocked;
    if (spBack->LockRect(&kLocked, nullptr, D3DLOCK_READONLY) != D3D_OK)
        return aucPixel;
    const auto* pucBytes = static_cast<const std::uint8_t*>(kLocked.pBits);
    aucPixel = {pucBytes[0], pucBytes[1], pucBytes[2]};
    spBack->UnlockRect();
    return aucPixel;
}
} // namespace

RENDERER_BOTH_BACKENDS(NiDX9RendererTest);

TEST_P(NiDX9RendererTest, FullScreenWithTheFrameworksValuesInTheDesktopMode)
{
    const D3DDISPLAYMODE kDesktop = NiDX9Renderer::GetSystemInfo()->GetAdapter(0)->GetDesktopMode();
    gfxtest::TestWindow kWindow(64, 48);
    ASSERT_NE(kWindow.handle, nullptr);
    NiDX9RendererPtr spRenderer = NiDX9Renderer::Create(
        kDesktop.Width, kDesktop.Height, NiDX9Renderer::USE_FULLSCREEN, kWindow.handle, kWindow.handle, 0,
        NiDX9Renderer::DEVDESC_PURE, 0, 0, NiDX9Renderer::PRESENT_INTERVAL_ONE, NiDX9Renderer::SWAPEFFECT_DEFAULT,
        NiDX9Renderer::FBMODE_DEFAULT, 1, 0);
    ASSERT_NE(spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();
    EXPECT_EQ(NiRenderer::GetRenderer(), spRenderer.Get());

    const D3DPRESENT_PARAMETERS& kPresent = spRenderer->GetPresentParams();
    EXPECT_EQ(kPresent.Windowed, 0);
    EXPECT_EQ(kPresent.BackBufferFormat, D3DFMT_X8R8G8B8);
    EXPECT_EQ(kPresent.BackBufferCount, 1u);
    EXPECT_EQ(kPresent.EnableAutoDepthStencil, 1);
    EXPECT_EQ(kPresent.AutoDepthStencilFormat, D3DFMT_D24X8); // 32 bits, no stencil asked
    EXPECT_EQ(kPresent.PresentationInterval, D3DPRESENT_INTERVAL_ONE);
    EXPECT_EQ(kPresent.SwapEffect, D3DSWAPEFFECT_DISCARD);
    EXPECT_EQ(kPresent.Flags, 0u);
    EXPECT_EQ(spRenderer->GetWidth(), kDesktop.Width);
    EXPECT_EQ(spRenderer->GetHeight(), kDesktop.Height);
    EXPECT_EQ(spRenderer->GetBitDepth(), 32u);

    EXPECT_EQ(spRenderer->GetFlags(), 0x26Du);
    const std::string kDescription = NiDX9Renderer::GetSystemInfo()->GetAdapter(0)->GetStringDescription();
    EXPECT_EQ(std::string(spRenderer->GetDriverInfo()), kDescription + " (HAL-PURE HWVP)");
    EXPECT_EQ(spRenderer->GetBehaviorFlags(), D3DCREATE_PUREDEVICE | D3DCREATE_HARDWARE_VERTEXPROCESSING);
    EXPECT_FALSE(spRenderer->GetSWVertexCapable());

    std::uint32_t auiValues[12] = {};
    WindowHandle kDevice = nullptr;
    WindowHandle kFocus = nullptr;
    std::int32_t iFBMode = -5;
    spRenderer->GetCreationParameters(auiValues[0], auiValues[1], auiValues[2], kDevice, kFocus, auiValues[3],
                                      auiValues[4], auiValues[5], auiValues[6], auiValues[7], auiValues[8], iFBMode,
                                      auiValues[9], auiValues[10]);
    EXPECT_EQ(auiValues[0], kDesktop.Width);
    EXPECT_EQ(auiValues[1], kDesktop.Height);
    EXPECT_EQ(auiValues[2], 4u);
    EXPECT_EQ(kDevice, kWindow.handle);
    EXPECT_EQ(kFocus, kWindow.handle);
    EXPECT_EQ(auiValues[7], 1u); // presentation interval as given
    EXPECT_EQ(auiValues[9], 1u); // back buffers
    EXPECT_EQ(iFBMode, 0);

    // A frame through the renderer reaches the window.
    EXPECT_TRUE(spRenderer->BeginScene());
    spRenderer->ClearBuffer(nullptr, NiRenderer::CLEAR_ALL);
    spRenderer->EndScene();
    EXPECT_EQ(spRenderer->GetD3DDevice()->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    spRenderer = nullptr;
    EXPECT_EQ(NiRenderer::GetRenderer(), nullptr);
}

TEST_P(NiDX9RendererTest, CapabilityRecordsAndTablesFollowTheDevice)
{
    m_spRenderer = CreateWindowed();
    ASSERT_NE(m_spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();
    const D3DCAPS9 kCaps = DeviceCaps(0);

    EXPECT_EQ(m_spRenderer->GetMaxStreams(), kCaps.MaxStreams);
    EXPECT_EQ(m_spRenderer->GetMaxVertexBlendMatrices(), kCaps.MaxVertexBlendMatrices);
    EXPECT_EQ(m_spRenderer->GetPixelShaderVersion(), D3DPS_VERSION(3, 0));
    EXPECT_EQ(m_spRenderer->GetVertexShaderVersion(), D3DVS_VERSION(3, 0));
    EXPECT_TRUE(m_spRenderer->GetMipmapCubeMaps());
    EXPECT_EQ(m_spRenderer->GetMaxSimultaneousRenderTargets(), 4u);
    EXPECT_EQ(m_spRenderer->GetShaderVersionWords(),
              (std::array<std::uint32_t, 10>{0xFFFF0300u, 0xFFFF0000u, 0xFFFF0300u, 0xFFFE0300u, 0xFFFE0000u,
                                             0xFFFE0300u, 0xFFFE0000u, 0xFFFE0000u, 0xFFFE0000u, 2u}));

    // Stage limits for the shaders: from pixel shader 2.0 on, 16 samplers.
    EXPECT_EQ(NiD3DPass::GetMaxTextureBlendStages(), 8u);
    EXPECT_EQ(NiD3DPass::GetMaxSimultaneousTextures(), 8u);
    EXPECT_EQ(NiD3DPass::GetMaxSamplers(), 16u);

    std::uint32_t uiU = 0;
    std::uint32_t uiV = 0;
    ASSERT_TRUE(NiDX9Renderer::GetClampAddressModes(1, uiU, uiV));
    EXPECT_EQ(uiU, D3DTADDRESS_CLAMP);
    EXPECT_EQ(uiV, D3DTADDRESS_WRAP);
    EXPECT_FALSE(NiDX9Renderer::GetClampAddressModes(4, uiU, uiV));
    std::uint32_t uiMag = 0;
    std::uint32_t uiMin = 0;
    std::uint32_t uiMip = 0;
    ASSERT_TRUE(NiDX9Renderer::GetFilterModeStates(5, uiMag, uiMin, uiMip));
    EXPECT_EQ(uiMag, D3DTEXF_LINEAR);
    EXPECT_EQ(uiMin, D3DTEXF_LINEAR);
    EXPECT_EQ(uiMip, D3DTEXF_POINT);
    EXPECT_FALSE(NiDX9Renderer::GetFilterModeStates(6, uiMag, uiMin, uiMip));
    // Projected texturing: three coordinates, divided.
    EXPECT_EQ(NiDX9Renderer::GetProjectedTextureFlags(), 0x103u);
}

TEST_P(NiDX9RendererTest, CapabilityFlagsRiseOnlyWithTheirCapsBits)
{
    // No device yet: the shaders work with two stages.
    EXPECT_EQ(NiD3DPass::GetMaxTextureBlendStages(), NiD3DPass::DEFAULT_STAGES);
    EXPECT_EQ(NiD3DPass::GetMaxSamplers(), NiD3DPass::DEFAULT_STAGES);

    struct Case
    {
        const char* m_pcWhat;
        D3DCAPS9 m_kExtra;
        std::uint32_t m_uiFlags;
        std::uint32_t m_uiProjected;
        std::uint32_t m_uiSamplers;
        bool m_bMipCube;
    };
    const auto Extra = [](std::uint32_t uiTexture, std::uint32_t uiRaster, std::uint32_t uiBlend, std::uint32_t uiPS) {
        D3DCAPS9 kCaps{};
        kCaps.TextureCaps = uiTexture;
        kCaps.RasterCaps = uiRaster;
        kCaps.MaxVertexBlendMatrices = uiBlend;
        kCaps.PixelShaderVersion = uiPS;
        return kCaps;
    };
    const Case akCases[] = {
        {"as the device is", Extra(0, 0, 0, 0), 0x26D, 0x103, 16, false},
        // The power-of-two flag follows the square-only bit; the power-of-two bit alone leaves it.
        {"square only", Extra(D3DPTEXTURECAPS_SQUAREONLY, 0, 0, 0), 0x26F, 0x103, 16, false},
        {"power of two", Extra(D3DPTEXTURECAPS_POW2, 0, 0, 0), 0x26D, 0x103, 16, false},
        {"w-buffer", Extra(0, D3DPRASTERCAPS_WBUFFER, 0, 0), 0x36D, 0x103, 16, false},
        {"four blend matrices", Extra(0, 0, 4, 0), 0x26D, 0x103, 16, false},
        {"three blend matrices", Extra(0, 0, 3, 0), 0x6D, 0x103, 16, false},
        {"no projected textures", Extra(0, 0, 0, 0), 0x26D, 2, 16, false},
        {"mipmapped cube maps", Extra(D3DPTEXTURECAPS_MIPCUBEMAP, 0, 0, 0), 0x26D, 0x103, 16, true},
        {"pixel shader 2.0", Extra(0, 0, 0, D3DPS_VERSION(2, 0)), 0x26D, 0x103, 16, false},
        {"pixel shader 1.4", Extra(0, 0, 0, D3DPS_VERSION(1, 4)), 0x26D, 0x103, 8, false},
    };
    for (const Case& kCase : akCases)
    {
        SCOPED_TRACE(kCase.m_pcWhat);
        g_kExtraCaps = kCase.m_kExtra;
        g_uiRemovedTextureCaps = kCase.m_uiProjected == 2 ? D3DPTEXTURECAPS_PROJECTED : 0;
        NiDX9Renderer::SetDeviceCapsFunction(&CapsWithExtras);
        NiDX9RendererPtr spRenderer = CreateWindowed();
        NiDX9Renderer::SetDeviceCapsFunction(nullptr);
        ASSERT_NE(spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();
        EXPECT_EQ(spRenderer->GetFlags(), kCase.m_uiFlags);
        EXPECT_EQ(NiDX9Renderer::GetProjectedTextureFlags(), kCase.m_uiProjected);
        EXPECT_EQ(NiD3DPass::GetMaxSamplers(), kCase.m_uiSamplers);
        EXPECT_EQ(spRenderer->GetMipmapCubeMaps(), kCase.m_bMipCube);
    }
    g_kExtraCaps = D3DCAPS9{};
    g_uiRemovedTextureCaps = 0;
}

TEST_P(NiDX9RendererTest, FormatTablesAndDefaultImages)
{
    m_spRenderer = CreateWindowed();
    ASSERT_NE(m_spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();

    // Plain textures take the six colour formats, the block formats and the
    // three bump formats; the two unused entries stay empty.
    const auto& kRGB565 = m_spRenderer->GetTextureFormat(NiDX9Renderer::TEXUSE_TEX, NiDX9Renderer::TEX_RGB565);
    ASSERT_TRUE(kRGB565.m_bValid);
    EXPECT_EQ(kRGB565.m_eD3DFormat, D3DFMT_R5G6B5);
    EXPECT_EQ(kRGB565.m_kPixelFormat, NiPixelFormat::R5G6B5);
    EXPECT_TRUE(m_spRenderer->GetTextureFormat(NiDX9Renderer::TEXUSE_TEX, NiDX9Renderer::TEX_DXT5).m_bValid);
    EXPECT_FALSE(m_spRenderer->GetTextureFormat(NiDX9Renderer::TEXUSE_TEX, NiDX9Renderer::TEX_PAL8).m_bValid);
    EXPECT_EQ(m_spRenderer->GetTextureFormat(NiDX9Renderer::TEXUSE_TEX, NiDX9Renderer::TEX_BUMP88).m_eD3DFormat,
              D3DFMT_V8U8);
    EXPECT_EQ(m_spRenderer->GetTextureFormat(NiDX9Renderer::TEXUSE_TEX, NiDX9Renderer::TEX_BUMPLUMA556).m_eD3DFormat,
              D3DFMT_L6V5U5);
    EXPECT_TRUE(m_spRenderer->GetTextureFormat(NiDX9Renderer::TEXUSE_TEX, NiDX9Renderer::TEX_BUMPLUMA888).m_bValid);
    // Bump texels are never drawn into.
    EXPECT_FALSE(
        m_spRenderer->GetTextureFormat(NiDX9Renderer::TEXUSE_RENDERED_TEX, NiDX9Renderer::TEX_BUMP88).m_bValid);
    // Render targets: colour formats only.
    EXPECT_FALSE(m_spRenderer->GetTextureFormat(NiDX9Renderer::TEXUSE_RENDERED_TEX, NiDX9Renderer::TEX_DXT1).m_bValid);
    EXPECT_TRUE(m_spRenderer->GetTextureFormat(NiDX9Renderer::TEXUSE_RENDERED_CUBE, NiDX9Renderer::TEX_RGBA8888).m_bValid);

    for (std::uint32_t eUsage = 0; eUsage < NiDX9Renderer::TEXUSE_NUM; ++eUsage)
    {
        SCOPED_TRACE(eUsage);
        // R5G6B5 comes first in the default order.
        ASSERT_NE(m_spRenderer->GetDefaultTextureFormat(eUsage), nullptr);
        EXPECT_EQ(m_spRenderer->GetDefaultTextureFormat(eUsage)->m_eD3DFormat, D3DFMT_R5G6B5);
        NiPixelData* pkData = m_spRenderer->GetDefaultTextureData(eUsage);
        ASSERT_NE(pkData, nullptr);
        EXPECT_EQ(pkData->GetWidth(), 4u);
        EXPECT_EQ(pkData->GetHeight(), 4u);
        EXPECT_EQ(pkData->GetPixelFormat(), NiPixelFormat::R5G6B5);
        const std::uint8_t* pucPixels = pkData->GetPixels();
        for (std::uint32_t i = 0; i < pkData->GetSizeInBytes(); ++i)
            ASSERT_EQ(pucPixels[i], 0xFF) << i;
    }

    // Each render-target entry gets the depth format nearest 32/8; the last
    // colour entry is the default target format.
    EXPECT_EQ(m_spRenderer->GetRenderTargetDepthFormat(NiDX9Renderer::TEX_RGB888), D3DFMT_D24S8);
    EXPECT_EQ(m_spRenderer->GetRenderTargetDepthFormat(NiDX9Renderer::TEX_DXT1), 0u);
    EXPECT_EQ(m_spRenderer->GetDefaultRenderTargetFormat(), NiDX9Renderer::TEX_RGBA8888);
    // Replacement images take the last direct-colour target format, not the
    // start-up's RGBA32.
    EXPECT_EQ(NiTexture::GetReplacementPixelFormat(),
              m_spRenderer->GetTextureFormat(NiDX9Renderer::TEXUSE_RENDERED_TEX, NiDX9Renderer::TEX_RGBA8888)
                  .m_kPixelFormat);
    EXPECT_NE(NiTexture::GetReplacementPixelFormat(), NiPixelFormat::RGBA32);

    // The missing-texture image: one black and one white pixel.
    NiSourceTexture* pkDefault = m_spRenderer->GetDefaultTexture();
    ASSERT_NE(pkDefault, nullptr);
    NiPixelData* pkImage = pkDefault->GetSourcePixelData();
    ASSERT_NE(pkImage, nullptr);
    EXPECT_EQ(pkImage->GetWidth(), 2u);
    EXPECT_EQ(pkImage->GetHeight(), 1u);
    const std::uint8_t* pucImage = pkImage->GetPixels();
    EXPECT_EQ(pucImage[0], 0x00);
    EXPECT_EQ(pucImage[1], 0x00);
    EXPECT_EQ(pucImage[2], 0xFF);
    EXPECT_EQ(pucImage[3], 0xFF);
}

TEST_P(NiDX9RendererTest, StencilWantedGivesD24S8AndTheStencilFlag)
{
    m_spRenderer = CreateWindowed(NiDX9Renderer::USE_STENCIL);
    ASSERT_NE(m_spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();
    EXPECT_EQ(m_spRenderer->GetPresentParams().AutoDepthStencilFormat, D3DFMT_D24S8);
    EXPECT_EQ(m_spRenderer->GetFlags(), 0x2EDu);
    // A window always presents at once and without a refresh rate.
    EXPECT_EQ(m_spRenderer->GetPresentParams().PresentationInterval, D3DPRESENT_INTERVAL_IMMEDIATE);
    EXPECT_EQ(m_spRenderer->GetPresentParams().FullScreen_RefreshRateInHz, 0u);
}

// The multisample value of Create and Recreate reaches the device: 2-16
// samples where the device has them, non-maskable with its quality clamped,
// and 1 stays "none, lockable back buffer".
TEST_P(NiDX9RendererTest, TheMultisampleChoiceReachesTheDevice)
{
    m_spRenderer = CreateWindowed(0, NiDX9Renderer::DEVDESC_PURE, 4);
    ASSERT_NE(m_spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();
    EXPECT_EQ(m_spRenderer->GetPresentParams().MultiSampleType, 4u);
    EXPECT_EQ(m_spRenderer->GetPresentParams().SwapEffect, D3DSWAPEFFECT_DISCARD);
    EXPECT_EQ(m_spRenderer->GetPresentParams().Flags & D3DPRESENTFLAG_LOCKABLE_BACKBUFFER, 0u);
    gfx::IDirect3DDevice9* pkDevice = m_spRenderer->GetD3DDevice();
    EXPECT_EQ(pkDevice->PresentParameters().MultiSampleType, 4u);
    EXPECT_EQ(pkDevice->State().renderStates[D3DRS_MULTISAMPLEANTIALIAS], 1u);

    ASSERT_EQ(m_spRenderer->Recreate(64, 48, 0, nullptr, 0, 0, 1, 0, NiDX9Renderer::FBMODE_LOCKABLE),
              std::uint32_t(NiDX9Renderer::RECREATE_OK));
    EXPECT_EQ(m_spRenderer->GetPresentParams().MultiSampleType, D3DMULTISAMPLE_NONE);
    EXPECT_EQ(m_spRenderer->GetPresentParams().Flags, D3DPRESENTFLAG_LOCKABLE_BACKBUFFER);

    // Non-maskable, quality far beyond the levels: the last level.
    ASSERT_EQ(m_spRenderer->Recreate(64, 48, 0, nullptr, 0, 0, 1, 0, std::int32_t(0x80000000u | 40u)),
              std::uint32_t(NiDX9Renderer::RECREATE_OK));
    std::uint32_t uiLevels = 0;
    ASSERT_EQ(m_spRenderer->GetDirect3D()->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 1,
                                                                       D3DMULTISAMPLE_NONMASKABLE, &uiLevels),
              D3D_OK);
    EXPECT_EQ(m_spRenderer->GetPresentParams().MultiSampleType, D3DMULTISAMPLE_NONMASKABLE);
    EXPECT_EQ(m_spRenderer->GetPresentParams().MultiSampleQuality, uiLevels - 1);

    // More samples than the device has: none, as the renderer falls back.
    ASSERT_EQ(m_spRenderer->Recreate(64, 48, 0, nullptr, 0, 0, 1, 0, 16), std::uint32_t(NiDX9Renderer::RECREATE_OK));
    const bool bSixteen = gfx::SUCCEEDED(m_spRenderer->GetDirect3D()->CheckDeviceMultiSampleType(
        0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 1, 16, nullptr));
    EXPECT_EQ(m_spRenderer->GetPresentParams().MultiSampleType, bSixteen ? 16u : 0u);
}

TEST_P(NiDX9RendererTest, HardwareKindsFallBackDownToSoftwareNeverToReference)
{
    struct Case
    {
        std::uint32_t m_uiRequested;
        std::uint32_t m_uiFailures;
        std::uint32_t m_uiBehavior; // of the device made; 0: none made
        const char* m_pcBehaviorText;
    };
    const Case akCases[] = {
        {NiDX9Renderer::DEVDESC_PURE, 1, D3DCREATE_HARDWARE_VERTEXPROCESSING, "HAL- HWVP"},
        {NiDX9Renderer::DEVDESC_PURE, 2, D3DCREATE_MIXED_VERTEXPROCESSING, "HAL- MIXVP"},
        {NiDX9Renderer::DEVDESC_PURE, 3, D3DCREATE_SOFTWARE_VERTEXPROCESSING, "HAL- SWVP"},
        {NiDX9Renderer::DEVDESC_PURE, 4, 0, nullptr},
        {NiDX9Renderer::DEVDESC_HAL_SWVERTEX, 1, 0, nullptr},
    };
    for (const Case& kCase : akCases)
    {
        SCOPED_TRACE(testing::Message() << kCase.m_uiRequested << " with " << kCase.m_uiFailures << " failures");
        NiDX9Renderer::GetDirect3D()->FailNextCreateDevice(E_FAIL, kCase.m_uiFailures);
        NiDX9RendererPtr spRenderer = CreateWindowed(0, kCase.m_uiRequested);
        NiDX9Renderer::GetDirect3D()->FailNextCreateDevice(D3D_OK, 0);
        if (kCase.m_uiBehavior == 0)
        {
            EXPECT_EQ(spRenderer, nullptr);
            // Had the reference device been tried, its text would be last.
            EXPECT_STREQ(NiDX9Renderer::GetLastErrorString(), "Creation failed: Could not create hardware device");
            EXPECT_EQ(NiRenderer::GetRenderer(), nullptr);
            continue;
        }
        ASSERT_NE(spRenderer, nullptr);
        EXPECT_EQ(spRenderer->GetDeviceType(), D3DDEVTYPE_HAL);
        EXPECT_EQ(spRenderer->GetBehaviorFlags(), kCase.m_uiBehavior);
        const std::string kInfo = spRenderer->GetDriverInfo();
        EXPECT_NE(kInfo.find(std::string("(") + kCase.m_pcBehaviorText + ")"), std::string::npos) << kInfo;
        // Software vertex processing blends four matrices itself; the device blends four too.
        EXPECT_EQ(spRenderer->GetMaxVertexBlendMatrices(), 4u);
        EXPECT_EQ(spRenderer->GetSWVertexCapable(), kCase.m_uiBehavior != D3DCREATE_HARDWARE_VERTEXPROCESSING);
        EXPECT_EQ(spRenderer->GetSWVertexSwitchable(), kCase.m_uiBehavior == D3DCREATE_MIXED_VERTEXPROCESSING);
    }
}

TEST_P(NiDX9RendererTest, EveryCreationFailureLeavesItsTextAndNoRenderer)
{
    struct Case
    {
        const char* m_pcText;
        std::function<void()> m_kArrange;
        std::function<NiDX9RendererPtr(NiDX9RendererTest&)> m_kCreate;
    };
    const auto Windowed = [](NiDX9RendererTest& kTest) { return kTest.CreateWindowed(); };
    const Case akCases[] = {
        {"Could not initialize DirectX9",
         [] {
             NiDX9Renderer::ShutdownDirect3D();
             NiDX9Renderer::SetDirect3DCreateFunction(nullptr);
             EXPECT_EQ(NiDX9Renderer::LoadD3D9(), -1);
             EXPECT_EQ(NiDX9Renderer::GetSystemInfo(), nullptr);
         },
         Windowed},
        {"Invalid 3D device type", [] {},
         [](NiDX9RendererTest& kTest) { return kTest.CreateWindowed(0, NiDX9Renderer::DEVDESC_NUM); }},
        {"Invalid 3D device type", [] {},
         [](NiDX9RendererTest& kTest) { return kTest.CreateWindowed(0, NiDX9Renderer::DEVDESC_REF); }},
        {"Invalid Adapter", [] {},
         [](NiDX9RendererTest& kTest) {
             return kTest.CreateWindowed(0, 0, 0, NiDX9Renderer::GetSystemInfo()->GetAdapterCount());
         }},
        {"Could not find desired framebuffer format", [] { HALDevice()->GetFormats().clear(); }, Windowed},
        {"Could not find desired depth/stencil format",
         [] {
             for (NiDX9DisplayFormatInfo& kInfo : HALDevice()->GetFormats())
                 kInfo.ClearDepthStencilMatches();
         },
         Windowed},
        {"Could not match desired fullscreen mode", [] {},
         [](NiDX9RendererTest&) {
             return NiDX9Renderer::Create(123, 45, NiDX9Renderer::USE_FULLSCREEN, nullptr, nullptr);
         }},
        {"Could not create hardware device", [] { NiDX9Renderer::GetDirect3D()->FailNextCreateDevice(E_FAIL, 4); },
         Windowed},
        {"Could not create reference device",
         [] {
             // A reference device the description believes in; the platform has none to make.
             D3DCAPS9 kCaps = HALDevice()->GetCaps();
             kCaps.DeviceType = D3DDEVTYPE_REF;
             NiDX9DeviceDesc* pkREF = NiDX9Renderer::GetSystemInfo()->GetAdapter(0)->GetDevice(D3DDEVTYPE_REF);
             pkREF->SetCaps(kCaps);
             pkREF->GetFormats() = HALDevice()->GetFormats();
         },
         [](NiDX9RendererTest& kTest) { return kTest.CreateWindowed(0, NiDX9Renderer::DEVDESC_REF); }},
        // The reference kinds with hardware or mixed processing run out past the last kind.
        {"Invalid 3D device type",
         [] {
             D3DCAPS9 kCaps = HALDevice()->GetCaps();
             kCaps.DeviceType = D3DDEVTYPE_REF;
             NiDX9DeviceDesc* pkREF = NiDX9Renderer::GetSystemInfo()->GetAdapter(0)->GetDevice(D3DDEVTYPE_REF);
             pkREF->SetCaps(kCaps);
             pkREF->GetFormats() = HALDevice()->GetFormats();
         },
         [](NiDX9RendererTest& kTest) { return kTest.CreateWindowed(0, NiDX9Renderer::DEVDESC_REF_HWVERTEX); }},
        {"Could not query device caps", [] { NiDX9Renderer::SetDeviceCapsFunction(&CapsFail); }, Windowed},
        {"Device does not support single-pass multi-texture",
         [] { NiDX9Renderer::SetDeviceCapsFunction(&CapsOneStage); }, Windowed},
    };
    for (const Case& kCase : akCases)
    {
        SCOPED_TRACE(kCase.m_pcText);
        NiDX9Renderer::ResetStatics();
        NiDX9Renderer::SetDirect3DCreateFunction(GetParam() == BackendKind::Gl ? &rendertest::CreateGl
                                                                               : &rendertest::CreateNull);
        ASSERT_NE(NiDX9Renderer::GetSystemInfo(), nullptr);
        ASSERT_EQ(NiDX9Renderer::LoadD3D9(), 0);
        kCase.m_kArrange();
        EXPECT_EQ(kCase.m_kCreate(*this), nullptr);
        EXPECT_EQ(std::string(NiDX9Renderer::GetLastErrorString()), std::string("Creation failed: ") + kCase.m_pcText);
        EXPECT_EQ(NiRenderer::GetRenderer(), nullptr);
        if (NiDX9Renderer::GetDirect3D() != nullptr)
            NiDX9Renderer::GetDirect3D()->FailNextCreateDevice(D3D_OK, 0);
    }
}

TEST_P(NiDX9RendererTest, ErrorTextKeepsAtMost255Characters)
{
    const std::string kLong(300, 'x');
    NiDX9Renderer::SetLastErrorString(kLong.c_str());
    EXPECT_EQ(std::string(NiDX9Renderer::GetLastErrorString()), kLong.substr(0, 255));
    NiDX9Renderer::SetLastErrorString("short");
    EXPECT_STREQ(NiDX9Renderer::GetLastErrorString(), "short");
    NiDX9Renderer::SetLastErrorString(nullptr);
    EXPECT_STREQ(NiDX9Renderer::GetLastErrorString(), "");
}

// The outcome: a renderer with a lockable back buffer on an offscreen window
// clears to its background colour through its device, reads it back and presents.
TEST_P(NiDX9RendererTest, ClearsToTheBackgroundColourAndPresents)
{
    gfxtest::TestWindow kWindow(64, 48);
    ASSERT_NE(kWindow.handle, nullptr);
    NiDX9RendererPtr spRenderer =
        NiDX9Renderer::Create(64, 48, 0, kWindow.handle, kWindow.handle, 0, NiDX9Renderer::DEVDESC_PURE, 0, 0,
                              NiDX9Renderer::PRESENT_INTERVAL_ONE, NiDX9Renderer::SWAPEFFECT_DEFAULT,
                              NiDX9Renderer::FBMODE_LOCKABLE, 1, 0);
    ASSERT_NE(spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();
    EXPECT_EQ(spRenderer->GetPresentParams().Flags, D3DPRESENTFLAG_LOCKABLE_BACKBUFFER);
    EXPECT_EQ(spRenderer->GetBackgroundColorARGB(), 0xFF808080u);

    IDirect3DDevice9* pkDevice = spRenderer->GetD3DDevice();
    ASSERT_EQ(pkDevice->BeginScene(), D3D_OK);
    ASSERT_EQ(pkDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, spRenderer->GetBackgroundColorARGB(),
                              1.0f, 0),
              D3D_OK);
    ASSERT_EQ(pkDevice->EndScene(), D3D_OK);
    EXPECT_EQ(FirstPixel(pkDevice), (std::array<std::uint8_t, 3>{0x80, 0x80, 0x80}));
    EXPECT_EQ(pkDevice->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);

    // The same through the renderer's own frame, after a new colour.
    spRenderer->SetBackgroundColor(NiColorRGBA(10 / 255.0f, 20 / 255.0f, 30 / 255.0f, 1.0f));
    EXPECT_TRUE(spRenderer->BeginScene());
    spRenderer->ClearBuffer(nullptr, NiRenderer::CLEAR_ALL);
    spRenderer->EndScene();
    EXPECT_EQ(FirstPixel(pkDevice), (std::array<std::uint8_t, 3>{30, 20, 10}));
    spRenderer->DisplayFrame();
    spRenderer = nullptr;
}

TEST_P(NiDX9RendererTest, ClearRectangleRunsUpwardsInTargetFractions)
{
    m_spRenderer = CreateWindowed(0, NiDX9Renderer::DEVDESC_PURE, NiDX9Renderer::FBMODE_LOCKABLE);
    ASSERT_NE(m_spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();
    IDirect3DDevice9* pkDevice = m_spRenderer->GetD3DDevice();
    ASSERT_EQ(pkDevice->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0), D3D_OK);

    // The lower half of the target: top 0.5, bottom 0 in upward fractions.
    m_spRenderer->SetBackgroundColor(NiColorRGB(1.0f, 1.0f, 1.0f));
    const NiRect<float> kLowerHalf(0.0f, 1.0f, 0.5f, 0.0f);
    m_spRenderer->ClearBuffer(&kLowerHalf, NiRenderer::CLEAR_BACKBUFFER);

    gfxtest::Ref<IDirect3DSurface9> spBack;
    ASSERT_EQ(pkDevice->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &spBack), D3D_OK);
    D3DLOCKED_RECT kLocked;
    ASSERT_EQ(spBack->LockRect(&kLocked, nullptr, D3DLOCK_READONLY), D3D_OK);
    const auto* pucBytes = static_cast<const std::uint8_t*>(kLocked.pBits);
    EXPECT_EQ(pucBytes[23 * kLocked.Pitch], 0x00);      // row 23: upper half
    EXPECT_EQ(pucBytes[24 * kLocked.Pitch], 0xFF);      // row 24: lower half
    EXPECT_EQ(pucBytes[47 * kLocked.Pitch + 63 * 4], 0xFF);
    spBack->UnlockRect();

    // Clears keep the full-target viewport.
    D3DVIEWPORT9 kViewport;
    ASSERT_EQ(pkDevice->GetViewport(&kViewport), D3D_OK);
    EXPECT_EQ(kViewport.Width, 64u);
    EXPECT_EQ(kViewport.Height, 48u);
}

TEST_P(NiDX9RendererTest, BackgroundColourKeepsTruncatedBytes)
{
    m_spRenderer = CreateWindowed();
    ASSERT_NE(m_spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();
    m_spRenderer->SetBackgroundColor(NiColorRGBA(0.5f, 0.5f, 0.5f, 1.0f));
    EXPECT_EQ(m_spRenderer->GetBackgroundColorARGB(), 0xFF7F7F7Fu);
    const NiColorRGBA kBack = m_spRenderer->GetBackgroundColor();
    EXPECT_FLOAT_EQ(kBack.r, 127.0f / 255.0f);
    EXPECT_FLOAT_EQ(kBack.a, 1.0f);
    // Out-of-range channels keep their low eight bits; not-a-number gives 0.
    m_spRenderer->SetBackgroundColor(NiColorRGBA(2.0f, -1.0f / 255.0f, std::nanf(""), 1.0f));
    EXPECT_EQ(m_spRenderer->GetBackgroundColorARGB(), 0xFFFEFF00u);
}

TEST_P(NiDX9RendererTest, TeardownReleasesTheDevice)
{
    m_spRenderer = CreateWindowed();
    ASSERT_NE(m_spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();
    IDirect3DDevice9* pkDevice = m_spRenderer->GetD3DDevice();
    pkDevice->AddRef();
    m_spRenderer = nullptr;
    EXPECT_EQ(NiRenderer::GetRenderer(), nullptr);
    // Ours was the last reference left.
    EXPECT_EQ(pkDevice->Release(), 0u);
}

TEST_P(NiDX9RendererTest, StateCacheAndLightManagerMadeWithTheDevice)
{
    m_spRenderer = CreateWindowed(NiDX9Renderer::USE_STENCIL);
    ASSERT_NE(m_spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();
    NiDX9RenderState* pkState = m_spRenderer->GetRenderState();
    ASSERT_NE(pkState, nullptr);
    ASSERT_NE(m_spRenderer->GetLightManager(), nullptr);
    // Table fog (the device has it and w-fog), option one, depth on, the
    // stencil flag and border addressing; the caps copy is the device's.
    EXPECT_EQ(pkState->GetFlags(), std::uint32_t(NiD3DRenderState::CAPS_TABLE_FOG | NiD3DRenderState::CAPS_OPTION_ONE |
                                                 NiD3DRenderState::CAPS_DEPTH_ON | NiD3DRenderState::CAPS_STENCIL |
                                                 NiD3DRenderState::CAPS_BORDER_ADDRESS));
    EXPECT_EQ(pkState->GetD3DCaps().MaxTextureBlendStages, m_spRenderer->GetD3DCaps().MaxTextureBlendStages);
    EXPECT_EQ(pkState->GetD3DDevice(), m_spRenderer->GetD3DDevice());
    // The light manager's reset went through the cache to the device.
    std::uint32_t uiValue = 1;
    ASSERT_EQ(m_spRenderer->GetD3DDevice()->GetRenderState(D3DRS_LIGHTING, &uiValue), D3D_OK);
    EXPECT_EQ(uiValue, 0u);
    EXPECT_EQ(pkState->GetRenderState(D3DRS_AMBIENT), 0u);
    EXPECT_EQ(pkState->GetRenderState(D3DRS_DIFFUSEMATERIALSOURCE), std::uint32_t(D3DMCS_MATERIAL));
    // The shader framework's start-up reset sent the default states; no
    // multisampling was asked, so antialiasing keeps the default table's value.
    EXPECT_EQ(pkState->GetRenderState(D3DRS_MULTISAMPLEANTIALIAS), 1u);
    EXPECT_EQ(pkState->GetRenderState(D3DRS_DITHERENABLE), 0u);
    EXPECT_FALSE(pkState->GetWBufferPreferred());
    EXPECT_FALSE(NiDX9Renderer::Get16BitDepthBuffer());
}

TEST_P(NiDX9RendererTest, TheSixteenBitDepthFlagReachesTheNextRenderersCache)
{
    m_spRenderer = CreateWindowed(NiDX9Renderer::USE_16BITBUFFERS);
    ASSERT_NE(m_spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();
    ASSERT_EQ(m_spRenderer->GetPresentParams().AutoDepthStencilFormat, D3DFMT_D16);
    // This renderer's cache took the flag as it was; the flag now follows its depth buffer.
    EXPECT_FALSE(m_spRenderer->GetRenderState()->GetWBufferPreferred());
    EXPECT_TRUE(NiDX9Renderer::Get16BitDepthBuffer());
    m_spRenderer = nullptr;
    m_spRenderer = CreateWindowed();
    ASSERT_NE(m_spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();
    EXPECT_TRUE(m_spRenderer->GetRenderState()->GetWBufferPreferred());
    EXPECT_FALSE(NiDX9Renderer::Get16BitDepthBuffer());
}
