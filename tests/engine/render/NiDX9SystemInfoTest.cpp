#include "engine/render/NiDX9SystemInfo.h"

#include "tests/engine/render/RendererTestSupport.h"

#include <gtest/gtest.h>

using namespace gfx;

namespace
{
NiDX9DisplayFormatInfo FormatInfo(D3DFORMAT eFormat, bool bWindowed, bool bFullscreen)
{
    NiDX9DisplayFormatInfo kInfo;
    kInfo.m_eD3DFormat = eFormat;
    kInfo.m_bWindowed = bWindowed;
    kInfo.m_bFullscreen = bFullscreen;
    return kInfo;
}

// Candidate index of a depth/stencil format.
std::uint32_t Candidate(D3DFORMAT eFormat)
{
    for (std::uint32_t i = 0; i < NiDX9DisplayFormatInfo::DEPTH_CANDIDATES; ++i)
    {
        if (NiDX9Renderer::DEPTH_STENCIL_CANDIDATES[i] == eFormat)
            return i;
    }
    ADD_FAILURE() << "not a candidate: " << eFormat;
    return 0;
}

// An X8R8G8B8 display whose 32-bit back buffer matches the given depth formats.
NiDX9DeviceDesc DeviceWithDepths(std::initializer_list<D3DFORMAT> kDepths)
{
    NiDX9DeviceDesc kDevice(D3DDEVTYPE_HAL);
    NiDX9DisplayFormatInfo kInfo = FormatInfo(D3DFMT_X8R8G8B8, true, true);
    for (D3DFORMAT eDepth : kDepths)
        kInfo.AddDepthStencilMatch(NiDX9Renderer::FBFMT_X8R8G8B8, Candidate(eDepth));
    kDevice.GetFormats().push_back(kInfo);
    return kDevice;
}
} // namespace

TEST(NiDX9DeviceDescTest, FramebufferSearchFullScreenByDepthWindowedByOrderOnly)
{
    NiDX9DeviceDesc kDevice(D3DDEVTYPE_HAL);
    kDevice.GetFormats().push_back(FormatInfo(D3DFMT_X8R8G8B8, false, true));
    kDevice.GetFormats().push_back(FormatInfo(D3DFMT_R5G6B5, true, true));

    EXPECT_EQ(kDevice.FindFramebufferFormat(false, 32), NiDX9Renderer::FBFMT_X8R8G8B8);
    EXPECT_EQ(kDevice.FindFramebufferFormat(false, 16), NiDX9Renderer::FBFMT_R5G6B5);
    EXPECT_EQ(kDevice.FindFramebufferFormat(false, 24), 0u);
    // A window takes the first format usable there, whatever its depth.
    EXPECT_EQ(kDevice.FindFramebufferFormat(true, 32), NiDX9Renderer::FBFMT_R5G6B5);
    EXPECT_EQ(kDevice.FindFramebufferFormat(true, 16), NiDX9Renderer::FBFMT_R5G6B5);

    NiDX9DeviceDesc kNone(D3DDEVTYPE_HAL);
    EXPECT_EQ(kNone.FindFramebufferFormat(true, 32), 0u);
}

TEST(NiDX9DeviceDescTest, DepthSearchTakesTheClosestAndLaterEqualCandidatesWin)
{
    const NiDX9DeviceDesc kDevice = DeviceWithDepths({D3DFMT_D24S8, D3DFMT_D24X8, D3DFMT_D16});
    EXPECT_EQ(kDevice.FindDepthStencilFormat(D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, 32, true), D3DFMT_D24S8);
    EXPECT_EQ(kDevice.FindDepthStencilFormat(D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, 32, false), D3DFMT_D24X8);
    EXPECT_EQ(kDevice.FindDepthStencilFormat(D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, 16, false), D3DFMT_D16);
    // Stencil aims at 24/8 even for 16-bit colour.
    EXPECT_EQ(kDevice.FindDepthStencilFormat(D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, 16, true), D3DFMT_D24S8);

    // D16_LOCKABLE and D16 are equally near; the later one in the order wins.
    const NiDX9DeviceDesc kTwins = DeviceWithDepths({D3DFMT_D16_LOCKABLE, D3DFMT_D16});
    EXPECT_EQ(kTwins.FindDepthStencilFormat(D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, 16, false), D3DFMT_D16);

    // Every candidate: 24/8 is an exact match.
    const NiDX9DeviceDesc kAll = DeviceWithDepths({D3DFMT_D16_LOCKABLE, D3DFMT_D32, D3DFMT_D15S1, D3DFMT_D24S8,
                                                   D3DFMT_D24X8, D3DFMT_D24X4S4, D3DFMT_D32F_LOCKABLE,
                                                   D3DFMT_D24FS8, D3DFMT_D16});
    EXPECT_EQ(kAll.FindDepthStencilFormat(D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, 32, true), D3DFMT_D24S8);
    EXPECT_EQ(kAll.FindDepthStencilFormat(D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, 32, false), D3DFMT_D32);

    // Nothing for another back buffer, an unlisted display or no candidate.
    EXPECT_EQ(kDevice.FindDepthStencilFormat(D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, 16, false), 0u);
    EXPECT_EQ(kDevice.FindDepthStencilFormat(D3DFMT_R5G6B5, D3DFMT_X8R8G8B8, 32, false), 0u);
    EXPECT_EQ(DeviceWithDepths({}).FindDepthStencilFormat(D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, 32, true), 0u);
}

TEST(NiDX9AdapterDescTest, ModesMergeRefreshRatesAndFindModePicksTheNearest)
{
    // An adapter description without modes: the null device lists none for R5G6B5.
    gfxtest::UseDriverFor(BackendKind::Null);
    IDirect3D9* pkD3D = Direct3DCreate9(D3D_SDK_VERSION, BackendKind::Null);
    ASSERT_NE(pkD3D, nullptr);
    NiDX9AdapterDesc kAdapter(*pkD3D, 0, {});
    pkD3D->Release();
    ASSERT_EQ(kAdapter.GetModeCount(), 0u);

    kAdapter.AddMode(D3DDISPLAYMODE{800, 600, 60, D3DFMT_X8R8G8B8});
    kAdapter.AddMode(D3DDISPLAYMODE{1024, 768, 60, D3DFMT_X8R8G8B8});
    kAdapter.AddMode(D3DDISPLAYMODE{800, 600, 75, D3DFMT_X8R8G8B8});
    kAdapter.AddMode(D3DDISPLAYMODE{800, 600, 60, D3DFMT_R5G6B5});
    ASSERT_EQ(kAdapter.GetModeCount(), 3u);
    EXPECT_EQ(kAdapter.GetMode(0)->m_kRefreshRates, (std::vector<std::uint32_t>{60, 75}));
    EXPECT_EQ(kAdapter.GetMode(0)->m_uiBitsPerPixel, 32u);
    EXPECT_EQ(kAdapter.GetMode(2)->m_uiBitsPerPixel, 16u);
    EXPECT_EQ(kAdapter.GetMode(3), nullptr);

    struct Case
    {
        std::uint32_t m_uiAsked;
        std::uint32_t m_uiGiven;
    };
    for (const Case& kCase : {Case{0, 0}, Case{61, 60}, Case{75, 75}, Case{68, 75}, Case{200, 75}})
    {
        SCOPED_TRACE(kCase.m_uiAsked);
        std::uint32_t uiRefresh = kCase.m_uiAsked;
        EXPECT_EQ(kAdapter.FindMode(D3DFMT_X8R8G8B8, 800, 600, uiRefresh), kAdapter.GetMode(0));
        EXPECT_EQ(uiRefresh, kCase.m_uiGiven);
    }
    // A tie keeps the earlier rate.
    kAdapter.AddMode(D3DDISPLAYMODE{1024, 768, 70, D3DFMT_X8R8G8B8});
    std::uint32_t uiTie = 65;
    EXPECT_NE(kAdapter.FindMode(D3DFMT_X8R8G8B8, 1024, 768, uiTie), nullptr);
    EXPECT_EQ(uiTie, 60u);

    std::uint32_t uiRefresh = 60;
    EXPECT_EQ(kAdapter.FindMode(D3DFMT_X8R8G8B8, 640, 480, uiRefresh), nullptr);
    EXPECT_EQ(kAdapter.FindMode(D3DFMT_X1R5G5B5, 800, 600, uiRefresh), nullptr);
}

using NiDX9SystemInfoTest = rendertest::RendererTest;
RENDERER_BOTH_BACKENDS(NiDX9SystemInfoTest);

TEST_P(NiDX9SystemInfoTest, DescribesTheDeviceOnceUntilShutDown)
{
    NiDX9SystemInfo* pkInfo = NiDX9Renderer::GetSystemInfo();
    ASSERT_NE(pkInfo, nullptr);
    EXPECT_EQ(NiDX9Renderer::GetSystemInfo(), pkInfo);
    IDirect3D9* pkD3D = NiDX9Renderer::GetDirect3D();
    ASSERT_EQ(pkInfo->GetAdapterCount(), pkD3D->GetAdapterCount());
    ASSERT_GE(pkInfo->GetAdapterCount(), 1u);
    EXPECT_EQ(pkInfo->GetAdapter(pkInfo->GetAdapterCount()), nullptr);

    const NiDX9AdapterDesc* pkAdapter = pkInfo->GetAdapter(0);
    D3DADAPTER_IDENTIFIER9 kId;
    ASSERT_EQ(pkD3D->GetAdapterIdentifier(0, 0, &kId), D3D_OK);
    EXPECT_STREQ(pkAdapter->GetStringDescription(), kId.Description);

    // The desktop mode is among the listed modes.
    const D3DDISPLAYMODE kDesktop = pkAdapter->GetDesktopMode();
    std::uint32_t uiRefresh = 0;
    EXPECT_NE(pkAdapter->FindMode(kDesktop.Format, kDesktop.Width, kDesktop.Height, uiRefresh), nullptr);

    // The HAL device renders in a window on the desktop format; there is no reference device.
    const NiDX9DeviceDesc* pkHAL = pkAdapter->GetDevice(D3DDEVTYPE_HAL);
    ASSERT_NE(pkHAL, nullptr);
    EXPECT_TRUE(pkHAL->IsValid());
    EXPECT_TRUE(pkHAL->CanRenderWindowed());
    const NiDX9DisplayFormatInfo* pkDesktopFormat = pkHAL->GetFormatInfo(kDesktop.Format);
    ASSERT_NE(pkDesktopFormat, nullptr);
    EXPECT_TRUE(pkDesktopFormat->m_bWindowed);
    EXPECT_TRUE(pkDesktopFormat->m_bFullscreen);
    EXPECT_TRUE(pkDesktopFormat->MatchesDepthStencil(NiDX9Renderer::FBFMT_X8R8G8B8, Candidate(D3DFMT_D24S8)));
    EXPECT_FALSE(pkDesktopFormat->MatchesDepthStencil(NiDX9Renderer::FBFMT_X8R8G8B8, Candidate(D3DFMT_D32)));
    ASSERT_NE(pkAdapter->GetDevice(D3DDEVTYPE_REF), nullptr);
    EXPECT_FALSE(pkAdapter->GetDevice(D3DDEVTYPE_REF)->IsValid());
    EXPECT_EQ(pkAdapter->GetDevice(D3DDEVTYPE_SW), nullptr);

    NiDX9Renderer::ShutdownDirect3D();
    EXPECT_EQ(NiDX9Renderer::GetDirect3D(), nullptr);
    NiDX9SystemInfo* pkRebuilt = NiDX9Renderer::GetSystemInfo();
    ASSERT_NE(pkRebuilt, nullptr);
    EXPECT_GE(pkRebuilt->GetAdapterCount(), 1u);
    EXPECT_NE(pkRebuilt->GetAdapter(0)->GetDevice(D3DDEVTYPE_HAL)->GetFormatInfo(kDesktop.Format), nullptr);
}

TEST(NiDX9RendererFormatTest, BitsNamesAndFramebufferCodes)
{
    struct Case
    {
        D3DFORMAT m_eFormat;
        int m_iBits;
        const char* m_pcName;
    };
    for (const Case& kCase : {Case{D3DFMT_A8R8G8B8, 32, "D3DFMT_A8R8G8B8"}, Case{D3DFMT_R8G8B8, 24, "D3DFMT_R8G8B8"},
                              Case{D3DFMT_R5G6B5, 16, "D3DFMT_R5G6B5"}, Case{D3DFMT_R3G3B2, 8, "D3DFMT_R3G3B2"},
                              Case{D3DFMT_A16B16G16R16, 64, "D3DFMT_A16B16G16R16"},
                              Case{D3DFMT_A32B32G32R32F, 128, "D3DFMT_A32B32G32R32F"},
                              Case{D3DFMT_INDEX16, 16, "D3DFMT_INDEX16"}, Case{D3DFMT_UNKNOWN, 0, "D3DFMT_UNKNOWN"},
                              Case{D3DFMT_VERTEXDATA, 0, "D3DFMT_VERTEXDATA"}, Case{D3DFMT_DXT1, 0, "D3DFMT_DXT1"},
                              Case{D3DFMT_YUY2, 0, "D3DFMT_YUY2"}, Case{1, -1, "UNKNOWN"}, Case{118, -1, "UNKNOWN"},
                              Case{0xFFFFFFFFu, -1, "UNKNOWN"}})
    {
        SCOPED_TRACE(kCase.m_eFormat);
        EXPECT_EQ(NiDX9Renderer::GetD3DFormatBits(kCase.m_eFormat), kCase.m_iBits);
        EXPECT_STREQ(NiDX9Renderer::GetFormatName(kCase.m_eFormat), kCase.m_pcName);
    }
    EXPECT_EQ(NiDX9Renderer::GetFormatBitsPerPixel(D3DFMT_X8R8G8B8), 32u);
    EXPECT_EQ(NiDX9Renderer::GetFormatBitsPerPixel(118), 0u);
    EXPECT_EQ(NiDX9Renderer::GetFormatBitsPerPixel(D3DFMT_DXT5), 0u);

    for (std::uint32_t uiCode = 1; uiCode < NiDX9Renderer::FBFMT_NUM; ++uiCode)
    {
        const D3DFORMAT eFormat = NiDX9Renderer::FramebufferFormatToD3DFormat(uiCode);
        EXPECT_NE(eFormat, D3DFMT_UNKNOWN);
        EXPECT_EQ(NiDX9Renderer::D3DFormatToFramebufferFormat(eFormat), uiCode);
    }
    EXPECT_EQ(NiDX9Renderer::FramebufferFormatToD3DFormat(3), D3DFMT_X8R8G8B8);
    EXPECT_EQ(NiDX9Renderer::FramebufferFormatToD3DFormat(12), D3DFMT_UNKNOWN);
    EXPECT_EQ(NiDX9Renderer::D3DFormatToFramebufferFormat(D3DFMT_DXT1), 0u);

    std::uint32_t uiDepth = 7;
    std::uint32_t uiStencil = 7;
    ASSERT_TRUE(NiDX9Renderer::GetDepthStencilBits(D3DFMT_D15S1, uiDepth, uiStencil));
    EXPECT_EQ(uiDepth, 15u);
    EXPECT_EQ(uiStencil, 1u);
    EXPECT_FALSE(NiDX9Renderer::GetDepthStencilBits(D3DFMT_X8R8G8B8, uiDepth, uiStencil));
}
