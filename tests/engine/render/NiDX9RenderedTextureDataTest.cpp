// Rendered textures and cube maps: their format choice, device textures,
// targets and depth surfaces, the binding rules of targets, target switches,
// and on `gl` what was drawn into a texture as it is sampled.
#include "engine/render/NiDX9RenderedTextureData.h"

#include "engine/render/NiRenderedTexture.h"
#include "platform/gfxutil/GfxUtilShader.h"
#include "tests/engine/render/RendererTestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

using namespace gfx;

namespace
{
using Prefs = NiTexture::FormatPrefs;

NiDX9Renderer::TextureFormatTable TableOf(std::initializer_list<std::uint32_t> kPresent)
{
    NiDX9Renderer::TextureFormatTable kTable{};
    for (std::uint32_t eFormat : kPresent)
    {
        kTable[eFormat].m_bValid = true;
        kTable[eFormat].m_uiIndex = eFormat;
    }
    return kTable;
}

Prefs PrefsOf(std::uint32_t eLayout, std::uint32_t eAlpha)
{
    Prefs kPrefs;
    kPrefs.m_ePixelLayout = eLayout;
    kPrefs.m_eAlphaFmt = eAlpha;
    return kPrefs;
}

class NiDX9RenderedTextureDataTest : public rendertest::RendererTest
{
public:
    void CreateRenderer(std::uint32_t uiFlags = 0)
    {
        // The target limits are the first renderer's of the process: this one's.
        NiDX9RenderTarget::ResetStatics();
        m_spRenderer = NiDX9Renderer::Create(64, 48, uiFlags, nullptr, nullptr, 0, NiDX9Renderer::DEVDESC_PURE, 0, 0,
                                             NiDX9Renderer::PRESENT_INTERVAL_ONE, NiDX9Renderer::SWAPEFFECT_DEFAULT,
                                             NiDX9Renderer::FBMODE_LOCKABLE, 1, 0);
        ASSERT_NE(m_spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();
    }

    static NiDX9RenderedTextureData* DataOf(NiTexture* pkTexture)
    {
        auto* pkData = dynamic_cast<NiDX9TextureData*>(pkTexture->GetRendererData());
        return pkData != nullptr ? pkData->GetAsRenderedTextureData() : nullptr;
    }
};
RENDERER_BOTH_BACKENDS(NiDX9RenderedTextureDataTest);
} // namespace

TEST(NiDX9RenderedTextureFormat, ChoiceFollowsLayoutAndAlphaWishes)
{
    using R = NiDX9Renderer;
    struct Case
    {
        Prefs m_kPrefs;
        NiDX9Renderer::TextureFormatTable m_kTable;
        std::uint32_t m_eExpected; // TEX_NUM: none
    };
    const std::vector<Case> kCases = {
        {PrefsOf(Prefs::HIGH_COLOR_16, Prefs::SMOOTH), TableOf({R::TEX_RGB565, R::TEX_RGBA8888}), R::TEX_RGB565},
        {PrefsOf(Prefs::HIGH_COLOR_16, Prefs::NONE), TableOf({R::TEX_RGB555, R::TEX_RGB888}), R::TEX_RGB555},
        {PrefsOf(Prefs::HIGH_COLOR_16, Prefs::SMOOTH), TableOf({R::TEX_RGB888, R::TEX_RGBA4444}), R::TEX_RGBA4444},
        {PrefsOf(Prefs::TRUE_COLOR_32, Prefs::BINARY), TableOf({R::TEX_RGB565, R::TEX_RGBA5551}), R::TEX_RGBA5551},
        {PrefsOf(Prefs::PIX_DEFAULT, Prefs::SMOOTH),
         TableOf({R::TEX_RGB555, R::TEX_RGB565, R::TEX_RGB888, R::TEX_RGBA8888}), R::TEX_RGBA8888},
        {PrefsOf(Prefs::PIX_DEFAULT, Prefs::SMOOTH), TableOf({R::TEX_RGB555, R::TEX_RGB565}), R::TEX_RGB565},
        {PrefsOf(Prefs::PIX_DEFAULT, Prefs::ALPHA_DEFAULT),
         TableOf({R::TEX_RGB555, R::TEX_RGB565, R::TEX_RGB888, R::TEX_RGBA8888}), R::TEX_RGB888},
        {PrefsOf(Prefs::PIX_DEFAULT, Prefs::NONE), TableOf({R::TEX_RGB555, R::TEX_RGB565, R::TEX_RGBA8888}),
         R::TEX_RGBA8888},
        {PrefsOf(Prefs::PIX_DEFAULT, Prefs::NONE), TableOf({R::TEX_RGB555, R::TEX_RGB565}), R::TEX_RGB565},
        {PrefsOf(Prefs::PIX_DEFAULT, Prefs::NONE), TableOf({R::TEX_RGBA5551, R::TEX_RGBA4444}), R::TEX_RGBA4444},
        // Only entries 0 to 5 are render-target formats.
        {PrefsOf(Prefs::PIX_DEFAULT, Prefs::NONE), TableOf({R::TEX_DXT1, R::TEX_BUMP88}), R::TEX_NUM},
        {PrefsOf(Prefs::HIGH_COLOR_16, Prefs::NONE), TableOf({}), R::TEX_NUM},
    };
    for (std::size_t i = 0; i < kCases.size(); ++i)
    {
        const NiDX9Renderer::TextureFormatEntry* pkEntry =
            NiDX9RenderedTextureData::ChooseTargetFormat(kCases[i].m_kPrefs, kCases[i].m_kTable);
        if (kCases[i].m_eExpected == R::TEX_NUM)
        {
            EXPECT_EQ(pkEntry, nullptr) << "case " << i;
            continue;
        }
        ASSERT_NE(pkEntry, nullptr) << "case " << i;
        EXPECT_EQ(pkEntry->m_uiIndex, kCases[i].m_eExpected) << "case " << i;
    }
}

TEST_P(NiDX9RenderedTextureDataTest, ARenderedTextureGetsAOneLevelTargetTextureWithDepth)
{
    CreateRenderer();
    NiRefPtr<NiRenderedTexture> spTexture = NiRenderedTexture::Create(32, 16, m_spRenderer);
    ASSERT_NE(spTexture, nullptr);
    NiDX9RenderedTextureData* pkData = DataOf(spTexture);
    ASSERT_NE(pkData, nullptr);
    EXPECT_TRUE(pkData->HasDeviceTexture());
    EXPECT_EQ(pkData->GetWidth(), 32u);
    EXPECT_EQ(pkData->GetHeight(), 16u);
    EXPECT_EQ(pkData->GetLevels(), 1u);
    EXPECT_EQ(m_spRenderer->GetRenderedTextureCount(), 1u);

    auto* pkD3DTexture = static_cast<IDirect3DTexture9*>(pkData->GetD3DTexture());
    ASSERT_NE(pkD3DTexture, nullptr);
    EXPECT_EQ(pkD3DTexture->GetLevelCount(), 1u);
    EXPECT_EQ(pkD3DTexture->Pool(), std::uint32_t(D3DPOOL_DEFAULT));
    EXPECT_EQ(pkD3DTexture->Usage(), std::uint32_t(D3DUSAGE_RENDERTARGET));
    // Default preferences (alpha 3): X8R8G8B8 first.
    EXPECT_EQ(pkD3DTexture->Format(), D3DFMT_X8R8G8B8);
    EXPECT_EQ(pkData->GetPixelFormat().m_uiIndex, std::uint32_t(NiDX9Renderer::TEX_RGB888));

    NiDX9RenderTarget* pkTarget = pkData->GetRenderTarget();
    ASSERT_NE(pkTarget, nullptr);
    EXPECT_EQ(pkTarget->GetWidth(), 32u);
    EXPECT_EQ(pkTarget->GetHeight(), 16u);
    EXPECT_EQ(pkTarget->GetColorSurface(), pkD3DTexture->Level(0));
    EXPECT_EQ(pkTarget->GetFormat()->m_eD3DFormat, D3DFMT_X8R8G8B8);
    // The depth surface has the format of the one the device draws with.
    ASSERT_NE(pkTarget->GetDepthStencilSurface(), nullptr);
    EXPECT_EQ(pkTarget->GetDepthStencilSurface()->Format(), m_spRenderer->GetPresentParams().AutoDepthStencilFormat);
    EXPECT_EQ(pkTarget->GetDepthStencilSurface()->Width(), 32u);
    EXPECT_TRUE(pkTarget->Display());

    // Data already there: true, nothing added.
    EXPECT_TRUE(m_spRenderer->CreateRenderedTextureData(spTexture));
    EXPECT_EQ(m_spRenderer->GetRenderedTextureCount(), 1u);

    // A 16-bit wish on a device with 16-bit targets.
    const NiDX9Renderer::TextureFormatEntry& k565 =
        m_spRenderer->GetTextureFormat(NiDX9Renderer::TEXUSE_RENDERED_TEX, NiDX9Renderer::TEX_RGB565);
    NiRefPtr<NiRenderedTexture> spHigh =
        NiRenderedTexture::Create(8, 8, m_spRenderer, PrefsOf(Prefs::HIGH_COLOR_16, Prefs::SMOOTH));
    ASSERT_NE(spHigh, nullptr);
    if (k565.m_bValid)
    {
        EXPECT_EQ(DataOf(spHigh)->GetD3DTexture()->Format(), D3DFMT_R5G6B5);
    }
    EXPECT_EQ(m_spRenderer->GetRenderedTextureCount(), 2u);

    spTexture = nullptr;
    spHigh = nullptr;
    EXPECT_EQ(m_spRenderer->GetRenderedTextureCount(), 0u);
    EXPECT_EQ(m_spRenderer->GetD3DDevice()->LiveDefaultPoolResources(), 0u);
}

TEST_P(NiDX9RenderedTextureDataTest, SwitchingToATextureAndBack)
{
    CreateRenderer();
    NiRefPtr<NiRenderedTexture> spTexture = NiRenderedTexture::Create(32, 16, m_spRenderer);
    ASSERT_NE(spTexture, nullptr);
    NiDX9RenderTarget* pkTarget = DataOf(spTexture)->GetRenderTarget();
    IDirect3DDevice9* pkDevice = m_spRenderer->GetD3DDevice();

    ASSERT_TRUE(m_spRenderer->SetRenderTarget(spTexture));
    EXPECT_EQ(m_spRenderer->GetCurrentRenderTarget(), pkTarget);
    EXPECT_EQ(m_spRenderer->GetWidth(), 32u);
    EXPECT_EQ(m_spRenderer->GetHeight(), 16u);
    EXPECT_EQ(pkDevice->State().renderTargets[0], pkTarget->GetColorSurface());
    EXPECT_EQ(pkDevice->State().depthStencil, pkTarget->GetDepthStencilSurface());

    // Clears run on the texture's target, depth included.
    pkDevice->SetCallRecording(true);
    m_spRenderer->ClearBuffer(nullptr, NiRenderer::CLEAR_ALL);
    ASSERT_EQ(pkDevice->RecordedCalls().size(), 1u);
    EXPECT_EQ(pkDevice->RecordedCalls()[0].flags, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER);
    D3DVIEWPORT9 kViewport;
    ASSERT_EQ(pkDevice->GetViewport(&kViewport), D3D_OK);
    EXPECT_EQ(kViewport.Width, 32u);

    // Not inside a scene.
    ASSERT_TRUE(m_spRenderer->BeginScene());
    EXPECT_FALSE(m_spRenderer->SetRenderTarget(nullptr));
    EXPECT_EQ(m_spRenderer->GetCurrentRenderTarget(), pkTarget);
    m_spRenderer->EndScene();

    ASSERT_TRUE(m_spRenderer->SetRenderTarget(nullptr));
    EXPECT_EQ(m_spRenderer->GetCurrentRenderTarget(), m_spRenderer->GetDefaultRenderTarget());
    EXPECT_EQ(pkDevice->State().renderTargets[0], m_spRenderer->GetDefaultRenderTarget()->GetColorSurface());
    EXPECT_EQ(m_spRenderer->GetWidth(), 64u);

    // A texture whose data is gone is refused.
    spTexture->SetRendererData(nullptr);
    EXPECT_EQ(m_spRenderer->GetRenderedTextureCount(), 0u);
    EXPECT_FALSE(m_spRenderer->SetRenderTarget(spTexture));
    EXPECT_EQ(m_spRenderer->GetCurrentRenderTarget(), m_spRenderer->GetDefaultRenderTarget());
}

TEST_P(NiDX9RenderedTextureDataTest, ATargetThatGoesStopsBeingDrawnInto)
{
    CreateRenderer();
    NiRefPtr<NiRenderedTexture> spTexture = NiRenderedTexture::Create(16, 16, m_spRenderer);
    ASSERT_NE(spTexture, nullptr);
    ASSERT_TRUE(m_spRenderer->SetRenderTarget(spTexture));
    spTexture = nullptr;
    EXPECT_EQ(m_spRenderer->GetCurrentRenderTarget(), m_spRenderer->GetDefaultRenderTarget());
    EXPECT_EQ(m_spRenderer->GetWidth(), 64u);

    // Inside a scene the switch back is refused, yet the renderer lets go of
    // the dead target.
    spTexture = NiRenderedTexture::Create(16, 16, m_spRenderer);
    ASSERT_NE(spTexture, nullptr);
    ASSERT_TRUE(m_spRenderer->SetRenderTarget(spTexture));
    ASSERT_TRUE(m_spRenderer->BeginScene());
    spTexture = nullptr;
    EXPECT_EQ(m_spRenderer->GetCurrentRenderTarget(), m_spRenderer->GetDefaultRenderTarget());
    m_spRenderer->ClearBuffer(nullptr, NiRenderer::CLEAR_BACKBUFFER);
    m_spRenderer->EndScene();

    // A texture that outlives its renderer loses its data with it.
    spTexture = NiRenderedTexture::Create(16, 16, m_spRenderer);
    ASSERT_NE(spTexture, nullptr);
    m_spRenderer = nullptr;
    EXPECT_EQ(spTexture->GetRendererData(), nullptr);
    EXPECT_EQ(spTexture->GetWidth(), 16u);
}

TEST_P(NiDX9RenderedTextureDataTest, BoundSurfacesAreNotBoundAgainButANewDepthSurfaceIs)
{
    CreateRenderer();
    IDirect3DDevice9* pkDevice = m_spRenderer->GetD3DDevice();
    IDirect3DTexture9* pkTexture = nullptr;
    ASSERT_EQ(pkDevice->CreateTexture(16, 16, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &pkTexture,
                                      nullptr),
              D3D_OK);
    // Two targets on the same level, each with its own depth surface.
    std::unique_ptr<NiDX9TextureRenderTarget> spFirst =
        NiDX9TextureRenderTarget::Create(pkTexture, D3DFMT_D16, pkDevice);
    std::unique_ptr<NiDX9TextureRenderTarget> spSecond =
        NiDX9TextureRenderTarget::Create(pkTexture, D3DFMT_D16, pkDevice);
    pkTexture->Release();
    ASSERT_NE(spFirst, nullptr);
    ASSERT_NE(spSecond, nullptr);
    ASSERT_NE(spFirst->GetDepthStencilSurface(), spSecond->GetDepthStencilSurface());

    ASSERT_TRUE(spFirst->SetRenderTarget(pkDevice, 0));
    D3DVIEWPORT9 kSmall{1, 1, 4, 4, 0.0f, 1.0f};
    ASSERT_EQ(pkDevice->SetViewport(&kSmall), D3D_OK);
    ASSERT_TRUE(spSecond->SetRenderTarget(pkDevice, 0));
    D3DVIEWPORT9 kViewport;
    ASSERT_EQ(pkDevice->GetViewport(&kViewport), D3D_OK);
    EXPECT_EQ(kViewport.Width, 4u); // the colour surface was not bound again
    EXPECT_EQ(pkDevice->State().depthStencil, spSecond->GetDepthStencilSurface());
    EXPECT_EQ(NiDX9RenderTarget::GetBoundDepthStencil(), spSecond->GetDepthStencilSurface());

    ASSERT_TRUE(m_spRenderer->SetRenderTarget(nullptr));
    EXPECT_EQ(pkDevice->State().depthStencil, m_spRenderer->GetDefaultRenderTarget()->GetDepthStencilSurface());
}

TEST_P(NiDX9RenderedTextureDataTest, CompatibilityAtOtherIndices)
{
    CreateRenderer();
    NiRefPtr<NiRenderedTexture> spLarge = NiRenderedTexture::Create(64, 48, m_spRenderer);
    NiRefPtr<NiRenderedTexture> spSmall = NiRenderedTexture::Create(32, 24, m_spRenderer);
    NiRefPtr<NiRenderedTexture> spHigh =
        NiRenderedTexture::Create(64, 48, m_spRenderer, PrefsOf(Prefs::HIGH_COLOR_16, Prefs::NONE));
    ASSERT_NE(spLarge, nullptr);
    ASSERT_NE(spSmall, nullptr);
    ASSERT_NE(spHigh, nullptr);
    NiDX9RenderTarget* pkLarge = DataOf(spLarge)->GetRenderTarget();
    NiDX9RenderTarget* pkSmall = DataOf(spSmall)->GetRenderTarget();
    NiDX9RenderTarget* pkHigh = DataOf(spHigh)->GetRenderTarget();
    IDirect3DDevice9* pkDevice = m_spRenderer->GetD3DDevice();

    // The device takes four targets of any bit depth; for a device of one,
    // index 1 is beyond the highest index.
    EXPECT_EQ(NiDX9RenderTarget::GetHighestIndex(), 3u);
    NiDX9RenderTarget::SetTargetLimits(0, false);
    EXPECT_FALSE(pkLarge->SetRenderTarget(pkDevice, 1));

    ASSERT_TRUE(m_spRenderer->SetRenderTarget(spLarge));
    // Nothing bound at an index: compatible.
    EXPECT_TRUE(pkSmall->IsCompatible(1));
    EXPECT_TRUE(pkLarge->IsCompatible(0));
    EXPECT_FALSE(pkSmall->IsCompatible(0)); // other size
    const bool bSixteen = pkHigh->GetBitDepth() == 16;
    EXPECT_EQ(pkHigh->IsCompatible(0), !bSixteen); // other bit depth

    // A device of four targets refuses the small one at index 1, which stays empty.
    NiDX9RenderTarget::SetTargetLimits(3, false);
    EXPECT_FALSE(pkSmall->SetRenderTarget(pkDevice, 1));
    EXPECT_EQ(NiDX9RenderTarget::GetBoundTarget(1), nullptr);
    if (bSixteen)
    {
        EXPECT_FALSE(pkHigh->SetRenderTarget(pkDevice, 1));
        NiDX9RenderTarget::SetTargetLimits(3, true);
        EXPECT_TRUE(pkHigh->IsCompatible(0));
    }
    // Through the renderer: index 0 is the plain switch; index 1 takes only
    // a compatible target; null unbinds; nothing inside a scene.
    EXPECT_TRUE(m_spRenderer->SetMultipleRenderTarget(0, spLarge));
    EXPECT_EQ(m_spRenderer->GetCurrentRenderTarget(), pkLarge);
    EXPECT_FALSE(m_spRenderer->SetMultipleRenderTarget(1, spSmall));
    EXPECT_TRUE(m_spRenderer->SetMultipleRenderTarget(1, nullptr));
    EXPECT_EQ(NiDX9RenderTarget::GetBoundTarget(1), nullptr);
    ASSERT_TRUE(m_spRenderer->BeginScene());
    EXPECT_FALSE(m_spRenderer->SetMultipleRenderTarget(1, nullptr));
    EXPECT_FALSE(m_spRenderer->SetMultipleRenderTarget(0, nullptr));
    m_spRenderer->EndScene();
    // Index 0 is never unbound; an empty index is left alone.
    NiDX9RenderTarget::ClearRenderTarget(pkDevice, 0);
    NiDX9RenderTarget::ClearRenderTarget(pkDevice, 2);
    EXPECT_EQ(NiDX9RenderTarget::GetBoundTarget(0), pkLarge->GetColorSurface());
    EXPECT_EQ(pkDevice->State().renderTargets[0], pkLarge->GetColorSurface());
    NiDX9RenderTarget::SetTargetLimits(0, false);
    ASSERT_TRUE(m_spRenderer->SetRenderTarget(nullptr));
}

TEST_P(NiDX9RenderedTextureDataTest, CubeFacesShareFaceZerosSixteenBitDepth)
{
    CreateRenderer();
    if (!m_spRenderer->GetDefaultTextureFormat(NiDX9Renderer::TEXUSE_RENDERED_CUBE))
        GTEST_SKIP() << "no cube render targets on this device";
    NiRefPtr<NiRenderedCubeMap> spCube = NiRenderedCubeMap::Create(16, m_spRenderer);
    ASSERT_NE(spCube, nullptr);
    EXPECT_EQ(m_spRenderer->GetRenderedCubeMapCount(), 1u);
    EXPECT_EQ(m_spRenderer->GetRenderedTextureCount(), 0u);
    auto* pkData = dynamic_cast<NiDX9RenderedCubeMapData*>(DataOf(spCube));
    ASSERT_NE(pkData, nullptr);
    ASSERT_EQ(pkData->GetD3DTexture()->GetType(), std::uint32_t(D3DRTYPE_CUBETEXTURE));
    auto* pkCube = static_cast<IDirect3DCubeTexture9*>(pkData->GetD3DTexture());
    EXPECT_EQ(pkCube->GetLevelCount(), 1u);
    EXPECT_EQ(pkCube->Pool(), std::uint32_t(D3DPOOL_DEFAULT));

    IDirect3DSurface9* pkDepth = pkData->GetFaceTarget(0)->GetDepthStencilSurface();
    ASSERT_NE(pkDepth, nullptr);
    EXPECT_EQ(pkDepth->Format(), D3DFMT_D16);
    for (std::uint32_t uiFace = 0; uiFace < 6; ++uiFace)
    {
        NiDX9RenderTarget* pkFace = pkData->GetFaceTarget(uiFace);
        ASSERT_NE(pkFace, nullptr);
        EXPECT_EQ(pkFace->GetColorSurface(), pkCube->Face(uiFace, 0));
        EXPECT_EQ(pkFace->GetDepthStencilSurface(), pkDepth);
        EXPECT_EQ(pkFace->GetWidth(), 16u);
    }
    // The current face is the one drawn into.
    spCube->SetCurrentCubeFace(NiRenderedCubeMap::FACE_NEG_Y);
    EXPECT_EQ(pkData->GetRenderTarget(), pkData->GetFaceTarget(3));
    ASSERT_TRUE(m_spRenderer->SetRenderTarget(spCube));
    IDirect3DDevice9* pkDevice = m_spRenderer->GetD3DDevice();
    EXPECT_EQ(pkDevice->State().renderTargets[0], pkCube->Face(3, 0));

    // Face +X cleared red, -Y blue; sampled along +x the cube gives red.
    m_spRenderer->SetBackgroundColor(NiColorRGB(0.0f, 0.0f, 1.0f));
    m_spRenderer->ClearBuffer(nullptr, NiRenderer::CLEAR_ALL);
    spCube->SetCurrentCubeFace(NiRenderedCubeMap::FACE_POS_X);
    ASSERT_TRUE(m_spRenderer->SetRenderTarget(spCube));
    m_spRenderer->SetBackgroundColor(NiColorRGB(1.0f, 0.0f, 0.0f));
    m_spRenderer->ClearBuffer(nullptr, NiRenderer::CLEAR_ALL);
    ASSERT_TRUE(m_spRenderer->SetRenderTarget(nullptr));
    m_spRenderer->SetBackgroundColor(NiColorRGB(0.0f, 0.0f, 0.0f));
    ASSERT_TRUE(m_spRenderer->BeginScene());
    m_spRenderer->ClearBuffer(nullptr, NiRenderer::CLEAR_ALL);
    NiDX9RenderState* pkState = m_spRenderer->GetRenderState();
    pkState->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    pkState->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    pkState->SetRenderState(D3DRS_LIGHTING, 0);
    pkState->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    pkState->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    pkState->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    struct Direction
    {
        float x, y, z, rhw;
        float u, v, w;
    };
    const Direction akQuad[4] = {{-0.5f, -0.5f, 0.5f, 1, 1, 0, 0},
                                 {7.5f, -0.5f, 0.5f, 1, 1, 0, 0},
                                 {-0.5f, 7.5f, 0.5f, 1, 1, 0, 0},
                                 {7.5f, 7.5f, 0.5f, 1, 1, 0, 0}};
    pkState->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1 | (1u << 16));
    ASSERT_EQ(pkDevice->SetTexture(0, pkCube), D3D_OK);
    ASSERT_EQ(pkDevice->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, akQuad, sizeof(Direction)), D3D_OK);
    m_spRenderer->EndScene();
    ASSERT_EQ(pkDevice->SetTexture(0, nullptr), D3D_OK);
    NiRefPtr<NiPixelData> spCapture = m_spRenderer->CaptureBackBuffer(nullptr);
    ASSERT_NE(spCapture, nullptr);
    if (GetParam() == BackendKind::Gl)
    {
        const std::uint8_t* pucPixel = spCapture->GetPixels() + (4 * 64 + 4) * 4;
        EXPECT_EQ(pucPixel[2], 0xFF);
        EXPECT_EQ(pucPixel[0], 0x00);
    }
    spCube = nullptr;
    EXPECT_EQ(m_spRenderer->GetRenderedCubeMapCount(), 0u);
    EXPECT_EQ(m_spRenderer->GetCurrentRenderTarget(), m_spRenderer->GetDefaultRenderTarget());
    EXPECT_EQ(m_spRenderer->GetD3DDevice()->LiveDefaultPoolResources(), 0u);
}

// Drawn into a texture, sampled from it: what was drawn at the top left is
// at texture (0, 0).
TEST_P(NiDX9RenderedTextureDataTest, WhatIsDrawnIntoATextureIsSampledUpright)
{
    CreateRenderer();
    NiRefPtr<NiRenderedTexture> spTexture = NiRenderedTexture::Create(8, 8, m_spRenderer);
    ASSERT_NE(spTexture, nullptr);
    IDirect3DDevice9* pkDevice = m_spRenderer->GetD3DDevice();
    NiDX9RenderState* pkState = m_spRenderer->GetRenderState();
    pkState->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    pkState->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    pkState->SetRenderState(D3DRS_LIGHTING, 0);

    // Into the texture: black, with red over its top-left 4 x 4 pixels.
    ASSERT_TRUE(m_spRenderer->SetRenderTarget(spTexture));
    m_spRenderer->SetBackgroundColor(NiColorRGB(0.0f, 0.0f, 0.0f));
    ASSERT_TRUE(m_spRenderer->BeginScene());
    m_spRenderer->ClearBuffer(nullptr, NiRenderer::CLEAR_ALL);
    struct Coloured
    {
        float x, y, z, rhw;
        std::uint32_t color;
    };
    const Coloured akRed[4] = {{-0.5f, -0.5f, 0.5f, 1, 0xFFFF0000u},
                               {3.5f, -0.5f, 0.5f, 1, 0xFFFF0000u},
                               {-0.5f, 3.5f, 0.5f, 1, 0xFFFF0000u},
                               {3.5f, 3.5f, 0.5f, 1, 0xFFFF0000u}};
    pkState->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    ASSERT_EQ(pkDevice->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, akRed, sizeof(Coloured)), D3D_OK);
    m_spRenderer->EndScene();

    // Onto the back buffer, grey, the texture 1:1 at (16, 8) with texture
    // (0, 0) at its top left.
    ASSERT_TRUE(m_spRenderer->SetRenderTarget(nullptr));
    m_spRenderer->SetBackgroundColor(NiColorRGB(0x80 / 255.0f, 0x80 / 255.0f, 0x80 / 255.0f));
    ASSERT_TRUE(m_spRenderer->BeginScene());
    m_spRenderer->ClearBuffer(nullptr, NiRenderer::CLEAR_ALL);
    struct Textured
    {
        float x, y, z, rhw;
        float u, v;
    };
    const Textured akQuad[4] = {{15.5f, 7.5f, 0.5f, 1, 0, 0},
                                {23.5f, 7.5f, 0.5f, 1, 1, 0},
                                {15.5f, 15.5f, 0.5f, 1, 0, 1},
                                {23.5f, 15.5f, 0.5f, 1, 1, 1}};
    pkState->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1);
    pkState->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    pkState->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    pkState->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
    pkState->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    ASSERT_EQ(pkDevice->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT), D3D_OK);
    ASSERT_EQ(pkDevice->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT), D3D_OK);
    ASSERT_EQ(pkDevice->SetTexture(0, DataOf(spTexture)->GetD3DTexture()), D3D_OK);
    ASSERT_EQ(pkDevice->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, akQuad, sizeof(Textured)), D3D_OK);
    m_spRenderer->EndScene();
    ASSERT_EQ(pkDevice->SetTexture(0, nullptr), D3D_OK);

    NiRefPtr<NiPixelData> spCapture = m_spRenderer->CaptureBackBuffer(nullptr);
    ASSERT_NE(spCapture, nullptr);
    if (GetParam() != BackendKind::Gl)
        return;
    auto Pixel = [&](std::uint32_t uiX, std::uint32_t uiY) {
        const std::uint8_t* pucPixel = spCapture->GetPixels() + (uiY * 64 + uiX) * 4;
        return (std::uint32_t(pucPixel[2]) << 16) | (std::uint32_t(pucPixel[1]) << 8) | pucPixel[0];
    };
    for (std::uint32_t uiY = 8; uiY < 16; ++uiY)
    {
        for (std::uint32_t uiX = 16; uiX < 24; ++uiX)
        {
            const bool bRed = uiX < 20 && uiY < 12;
            EXPECT_EQ(Pixel(uiX, uiY), bRed ? 0xFF0000u : 0u) << uiX << ", " << uiY;
        }
    }
    EXPECT_EQ(Pixel(15, 8), 0x808080u);
    EXPECT_EQ(Pixel(16, 7), 0x808080u);
    EXPECT_EQ(Pixel(24, 15), 0x808080u);
}

TEST_P(NiDX9RenderedTextureDataTest, TwoTargetsTakeAProgramsTwoColours)
{
    CreateRenderer();
    ASSERT_EQ(m_spRenderer->GetMaxSimultaneousRenderTargets(), 4u);
    NiRefPtr<NiRenderedTexture> spFirst = NiRenderedTexture::Create(8, 8, m_spRenderer);
    NiRefPtr<NiRenderedTexture> spSecond = NiRenderedTexture::Create(8, 8, m_spRenderer);
    ASSERT_TRUE(spFirst != nullptr && spSecond != nullptr);
    IDirect3DDevice9* pkDevice = m_spRenderer->GetD3DDevice();
    NiDX9RenderState* pkState = m_spRenderer->GetRenderState();
    pkState->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    pkState->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);

    ASSERT_TRUE(m_spRenderer->SetMultipleRenderTarget(0, spFirst));
    ASSERT_TRUE(m_spRenderer->SetMultipleRenderTarget(1, spSecond));
    IDirect3DSurface9* pkFirst = DataOf(spFirst)->GetRenderTarget()->GetColorSurface();
    IDirect3DSurface9* pkSecond = DataOf(spSecond)->GetRenderTarget()->GetColorSurface();
    EXPECT_EQ(pkDevice->State().renderTargets[0], pkFirst);
    EXPECT_EQ(pkDevice->State().renderTargets[1], pkSecond);

    // Both cleared grey, then red into the first and green into the second.
    m_spRenderer->SetBackgroundColor(NiColorRGB(0x80 / 255.0f, 0x80 / 255.0f, 0x80 / 255.0f));
    ASSERT_TRUE(m_spRenderer->BeginScene());
    m_spRenderer->ClearBuffer(nullptr, NiRenderer::CLEAR_ALL);
    const char* pcProgram = "ps_2_0\ndef c0, 1, 0, 0, 1\ndef c1, 0, 1, 0, 1\nmov oC0, c0\nmov oC1, c1\n";
    ID3DXBuffer* pkCode = nullptr;
    ASSERT_EQ(D3DXAssembleShader(pcProgram, static_cast<std::uint32_t>(std::strlen(pcProgram)), 0, &pkCode, nullptr),
              D3D_OK);
    IDirect3DPixelShader9* pkProgram = nullptr;
    ASSERT_EQ(pkDevice->CreatePixelShader(static_cast<const std::uint32_t*>(pkCode->GetBufferPointer()),
                                          pkCode->GetBufferSize(), &pkProgram),
              D3D_OK);
    pkCode->Release();
    pkState->SetPixelShader(pkProgram);
    struct Corner
    {
        float x, y, z, rhw;
    };
    const Corner akLeftHalf[4] = {{-0.5f, -0.5f, 0.5f, 1}, {3.5f, -0.5f, 0.5f, 1}, {-0.5f, 7.5f, 0.5f, 1},
                                  {3.5f, 7.5f, 0.5f, 1}};
    pkState->SetFVF(D3DFVF_XYZRHW);
    ASSERT_EQ(pkDevice->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, akLeftHalf, sizeof(Corner)), D3D_OK);
    m_spRenderer->EndScene();
    pkState->SetPixelShader(nullptr);
    pkProgram->Release();

    // Pixels 1 (drawn) and 6 (cleared) of row 4 of each target.
    auto Row = [&](IDirect3DSurface9* pkTarget) {
        std::array<std::uint32_t, 2> auiPixels{};
        IDirect3DSurface9* pkCopy = nullptr;
        EXPECT_EQ(pkDevice->CreateOffscreenPlainSurface(8, 8, pkTarget->Format(), D3DPOOL_SYSTEMMEM, &pkCopy, nullptr),
                  D3D_OK);
        if (pkCopy == nullptr)
            return auiPixels;
        EXPECT_EQ(pkDevice->GetRenderTargetData(pkTarget, pkCopy), D3D_OK);
        D3DLOCKED_RECT kLocked{};
        if (pkCopy->LockRect(&kLocked, nullptr, D3DLOCK_READONLY) == D3D_OK)
        {
            const auto* puiRow =
                reinterpret_cast<const std::uint32_t*>(static_cast<const std::uint8_t*>(kLocked.pBits) + 4 * kLocked.Pitch);
            auiPixels = {puiRow[1] & 0xFFFFFFu, puiRow[6] & 0xFFFFFFu};
            pkCopy->UnlockRect();
        }
        pkCopy->Release();
        return auiPixels;
    };
    const std::array<std::uint32_t, 2> auiFirst = Row(pkFirst), auiSecond = Row(pkSecond);
    EXPECT_EQ(auiFirst[1], 0x808080u) << "cleared";
    EXPECT_EQ(auiSecond[1], 0x808080u) << "cleared";
    if (GetParam() == BackendKind::Gl)
    {
        EXPECT_EQ(auiFirst[0], 0xFF0000u);
        EXPECT_EQ(auiSecond[0], 0x00FF00u);
    }
    ASSERT_TRUE(m_spRenderer->SetMultipleRenderTarget(1, nullptr));
    EXPECT_EQ(pkDevice->State().renderTargets[1], nullptr);
    ASSERT_TRUE(m_spRenderer->SetRenderTarget(nullptr));
}

TEST_P(NiDX9RenderedTextureDataTest, AMultisampledRendererKeepsOneTarget)
{
    NiDX9RenderTarget::ResetStatics();
    m_spRenderer = NiDX9Renderer::Create(64, 48, 0, nullptr, nullptr, 0, NiDX9Renderer::DEVDESC_PURE, 0, 0,
                                         NiDX9Renderer::PRESENT_INTERVAL_ONE, NiDX9Renderer::SWAPEFFECT_DEFAULT, 4, 1, 0);
    ASSERT_NE(m_spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();
    if (m_spRenderer->GetPresentParams().MultiSampleType == D3DMULTISAMPLE_NONE)
        GTEST_SKIP() << "the driver has no four samples";
    EXPECT_EQ(m_spRenderer->GetMaxSimultaneousRenderTargets(), 1u);
    NiRefPtr<NiRenderedTexture> spFirst = NiRenderedTexture::Create(64, 48, m_spRenderer);
    NiRefPtr<NiRenderedTexture> spSecond = NiRenderedTexture::Create(64, 48, m_spRenderer);
    ASSERT_TRUE(spFirst != nullptr && spSecond != nullptr);
    EXPECT_TRUE(m_spRenderer->SetMultipleRenderTarget(0, spFirst));
    EXPECT_FALSE(m_spRenderer->SetMultipleRenderTarget(1, spSecond));
    EXPECT_EQ(m_spRenderer->GetD3DDevice()->State().renderTargets[1], nullptr);
    ASSERT_TRUE(m_spRenderer->SetRenderTarget(nullptr));
}
