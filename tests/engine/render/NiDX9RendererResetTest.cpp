// Device loss, reset and mode change of the renderer: the lost and reset
// functions, the order of the reset's steps, what comes back after it, the
// three outcomes of a mode change, and the renderer's data purges.
#include "engine/render/NiDX9Renderer.h"
#include "engine/render/NiDX9GeometryBufferGroup.h"
#include "engine/render/NiDX9RenderTarget.h"
#include "engine/render/NiDX9RenderedTextureData.h"
#include "engine/render/NiRenderedTexture.h"
#include "engine/render/NiScreenTexture.h"

#include "engine/scene/NiEffectSet.h"
#include "engine/scene/NiLight.h"
#include "engine/scene/NiTextureEffect.h"
#include "engine/scene/NiVertexColorProperty.h"
#include "engine/shaders/framework/NiD3DShaderInterface.h"
#include "tests/engine/render/RendererTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace gfx;

namespace
{
// What the reset's steps leave to be seen, in the order they ran.
struct ResetLog
{
    std::vector<std::string> m_kEvents;
    IDirect3DDevice9* m_pkDevice = nullptr;
    NiDX9Renderer* m_pkRenderer = nullptr;
    NiRenderedTexture* m_pkTexture = nullptr;
    std::size_t m_uiDefaultPoolBefore = 99;
    bool m_bTextureListedBefore = false;
    bool m_bTextureHadDataBefore = true;
    std::uint32_t m_uiRefusals = 0;      // OnReset answers false this often
    std::uint32_t m_uiAfterRefusals = 0; // and after a reset this often
    std::uint32_t m_uiLostCalls = 0;
    bool m_bLostAnswer = true;
};

bool OnReset(bool bBefore, void* pvData)
{
    auto* pkLog = static_cast<ResetLog*>(pvData);
    pkLog->m_kEvents.push_back(bBefore ? "before" : "after");
    if (bBefore && pkLog->m_pkDevice != nullptr)
    {
        pkLog->m_uiDefaultPoolBefore = pkLog->m_pkDevice->LiveDefaultPoolResources();
        if (pkLog->m_pkTexture != nullptr)
        {
            pkLog->m_bTextureListedBefore = pkLog->m_pkRenderer->IsRenderedTextureListed(pkLog->m_pkTexture);
            pkLog->m_bTextureHadDataBefore = pkLog->m_pkTexture->GetRendererData() != nullptr;
        }
    }
    if (!bBefore && pkLog->m_uiAfterRefusals > 0)
    {
        --pkLog->m_uiAfterRefusals;
        return false;
    }
    if (pkLog->m_uiRefusals > 0)
    {
        --pkLog->m_uiRefusals;
        return false;
    }
    return true;
}

bool OnResetSecond(bool bBefore, void* pvData)
{
    static_cast<ResetLog*>(pvData)->m_kEvents.push_back(bBefore ? "second before" : "second after");
    return true;
}

bool OnLost(void* pvData)
{
    auto* pkLog = static_cast<ResetLog*>(pvData);
    ++pkLog->m_uiLostCalls;
    pkLog->m_kEvents.push_back("lost");
    return pkLog->m_bLostAnswer;
}

bool OnLostSecond(void* pvData)
{
    static_cast<ResetLog*>(pvData)->m_kEvents.push_back("second lost");
    return true;
}

// A shader that notes what the renderer tells it.
class RecordingShader : public NiD3DShaderInterface
{
public:
    RecordingShader(std::vector<std::string>& kEvents, std::string kName)
        : m_kEvents(kEvents), m_kName(std::move(kName))
    {
    }
    void HandleLostDevice() override { m_kEvents.push_back(m_kName + " lost"); }
    void HandleResetDevice() override { m_kEvents.push_back(m_kName + " reset"); }
    void ReleaseDeviceObjects() override { m_kEvents.push_back(m_kName + " released"); }

private:
    std::vector<std::string>& m_kEvents;
    std::string m_kName;
};

class NiDX9RendererResetTest : public rendertest::RendererTest
{
public:
    NiDX9RendererPtr Create(std::uint32_t uiWidth, std::uint32_t uiHeight, std::uint32_t uiFlags = 0)
    {
        return NiDX9Renderer::Create(uiWidth, uiHeight, uiFlags, nullptr, nullptr, 0, NiDX9Renderer::DEVDESC_PURE,
                                     0, 0, NiDX9Renderer::PRESENT_INTERVAL_ONE, NiDX9Renderer::SWAPEFFECT_DEFAULT,
                                     NiDX9Renderer::FBMODE_LOCKABLE, 1, 0);
    }

    // One whole frame; false when it could not begin.
    bool Frame()
    {
        const bool bBegun = m_spRenderer->BeginScene();
        m_spRenderer->ClearBuffer(nullptr, NiRenderer::CLEAR_ALL);
        m_spRenderer->EndScene();
        m_spRenderer->DisplayFrame();
        return bBegun;
    }

    // Every frame operation retries a failed reset: one attempt each.
    bool Begin()
    {
        const bool bBegun = m_spRenderer->BeginScene();
        m_spRenderer->EndScene();
        return bBegun;
    }

    // The colour of a back-buffer pixel as 0xRRGGBB (32-bit back buffer).
    std::uint32_t BackBufferPixel(std::uint32_t uiX, std::uint32_t uiY)
    {
        const auto iX = static_cast<std::int32_t>(uiX);
        const auto iY = static_cast<std::int32_t>(uiY);
        const NiRect<std::int32_t> kRect{iX, iX, iY, iY};
        NiRefPtr<NiPixelData> spCapture = m_spRenderer->CaptureBackBuffer(&kRect);
        if (spCapture == nullptr)
            return 0xDEADBEEF;
        const std::uint8_t* puc = spCapture->GetPixels();
        return (std::uint32_t(puc[2]) << 16) | (std::uint32_t(puc[1]) << 8) | puc[0];
    }

    [[nodiscard]] bool IsGl() const { return GetParam() == BackendKind::Gl; }

    // The effects' lights made device lights, as a lit draw makes them.
    void LightWith(NiEffectSet* pkEffects)
    {
        NiRefPtr<NiVertexColorProperty> spVertexColor = new NiVertexColorProperty;
        m_spRenderer->GetLightManager()->ApplyVertexColorMode(pkEffects, nullptr, spVertexColor);
    }
};
RENDERER_BOTH_BACKENDS(NiDX9RendererResetTest);

TEST_P(NiDX9RendererResetTest, ALongLossCallsTheLostFunctionsOnceAndTheNextFrameResets)
{
    m_spRenderer = Create(64, 48);
    ASSERT_NE(m_spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();
    IDirect3DDevice9* pkDevice = m_spRenderer->GetD3DDevice();
    ResetLog kLog;
    m_spRenderer->AddLostDeviceNotifyFunc(&OnLost, &kLog);
    m_spRenderer->AddLostDeviceNotifyFunc(&OnLostSecond, &kLog);
    m_spRenderer->AddResetNotifyFunc(&OnReset, &kLog);
    EXPECT_TRUE(Frame());

    pkDevice->SimulateDeviceLoss();
    for (int i = 0; i < 10; ++i)
        EXPECT_FALSE(Frame());
    EXPECT_EQ(kLog.m_kEvents, (std::vector<std::string>{"lost", "second lost"}));
    EXPECT_TRUE(m_spRenderer->IsDeviceLost());
    EXPECT_EQ(m_spRenderer->GetResetCounter(), 0u);

    // The device may be reset now: the next frame operation does it.
    pkDevice->EndDeviceLoss();
    m_spRenderer->SetBackgroundColor(NiColorRGB(0.0f, 1.0f, 0.0f));
    EXPECT_TRUE(Frame());
    EXPECT_FALSE(m_spRenderer->IsDeviceLost());
    EXPECT_EQ(m_spRenderer->GetResetCounter(), 1u);
    EXPECT_EQ(kLog.m_kEvents, (std::vector<std::string>{"lost", "second lost", "before", "after"}));
    EXPECT_EQ(kLog.m_uiLostCalls, 1u);
    if (IsGl())
    {
        EXPECT_EQ(BackBufferPixel(10, 10), 0x00FF00u);
    }

    // A second loss calls them again; a lost function saying false stops
    // the list.
    kLog.m_kEvents.clear();
    kLog.m_bLostAnswer = false;
    pkDevice->SimulateDeviceLoss();
    EXPECT_FALSE(Frame());
    EXPECT_FALSE(Frame());
    EXPECT_EQ(kLog.m_kEvents, (std::vector<std::string>{"lost"}));

    // Removed functions are not called.
    m_spRenderer->RemoveLostDeviceNotifyFunc(&OnLost, &kLog);
    m_spRenderer->RemoveResetNotifyFunc(&OnReset, &kLog);
    pkDevice->EndDeviceLoss();
    EXPECT_TRUE(Frame());
    EXPECT_EQ(kLog.m_kEvents, (std::vector<std::string>{"lost"}));
    EXPECT_EQ(m_spRenderer->GetResetCounter(), 2u);
}

TEST_P(NiDX9RendererResetTest, TheResetReleasesTheDefaultPoolAndBuildsItAgainInOrder)
{
    m_spRenderer = Create(64, 48);
    ASSERT_NE(m_spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();
    IDirect3DDevice9* pkDevice = m_spRenderer->GetD3DDevice();

    ResetLog kLog;
    kLog.m_pkDevice = pkDevice;
    kLog.m_pkRenderer = m_spRenderer;
    m_spRenderer->AddResetNotifyFunc(&OnReset, &kLog);
    m_spRenderer->AddResetNotifyFunc(&OnResetSecond, &kLog);
    NiRefPtr<RecordingShader> spOld = new RecordingShader(kLog.m_kEvents, "old");
    NiRefPtr<RecordingShader> spNew = new RecordingShader(kLog.m_kEvents, "new");
    ASSERT_TRUE(spOld->Initialize(m_spRenderer));
    ASSERT_TRUE(spNew->Initialize(m_spRenderer));
    m_spRenderer->RegisterD3DShader(spOld);
    m_spRenderer->RegisterD3DShader(spNew);

    // Default-pool objects of every kind: a rendered texture and cube map,
    // a dynamic vertex buffer bound as a stream, temporary indices bound, a
    // device light.
    NiRefPtr<NiRenderedTexture> spTexture = NiRenderedTexture::Create(32, 32, m_spRenderer);
    NiRefPtr<NiRenderedCubeMap> spCube = NiRenderedCubeMap::Create(16, m_spRenderer);
    ASSERT_NE(spTexture, nullptr);
    ASSERT_NE(spCube, nullptr);
    kLog.m_pkTexture = spTexture;
    NiRefPtr<NiScreenTexture> spScreen = new NiScreenTexture(nullptr);
    NiDX9GeometryDataManager* pkManager = m_spRenderer->GetGeometryGroupManager();
    NiDX9GeometryBufferGroup* pkDynamic = NiDX9GeometryBufferGroup::GetDynamicInstance();
    ASSERT_NE(pkDynamic, nullptr);
    ASSERT_TRUE(pkManager->CreateScreenTextureData(pkDynamic, spScreen, 0));
    auto* pkRecord = static_cast<NiDX9GeometryBufferData*>(spScreen->GetRendererData());
    const float afPositions[12] = {0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0};
    NiDX9VertexBufferRange* pkRange = m_spRenderer->GetVBManager()->PackScreenTextureVertices(
        pkRecord, 4, afPositions, nullptr, nullptr, 1, nullptr, nullptr);
    ASSERT_NE(pkRange, nullptr);
    ASSERT_NE(pkRange->m_pkVB, nullptr);
    ASSERT_EQ(pkDevice->SetStreamSource(0, pkRange->m_pkVB, 0, pkRecord->GetStride(0)), D3D_OK);
    NiRefPtr<NiDirectionalLight> spSun = new NiDirectionalLight;
    NiRefPtr<NiEffectSet> spEffects = new NiEffectSet;
    spEffects->AddEffect(spSun);
    LightWith(spEffects);
    ASSERT_NE(spSun->GetRendererData(), nullptr);
    EXPECT_GT(pkDevice->LiveDefaultPoolResources(), 0u);
    // Temporary line indices in the default pool.
    const std::uint8_t aucConnect[3] = {1, 1, 0};
    std::uint32_t uiLineIndices = 0;
    ASSERT_NE(m_spRenderer->GetIBManager()->ResizeTempLineConnectivity(
                  3, aucConnect, uiLineIndices, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY, D3DPOOL_DEFAULT),
              nullptr);
    ASSERT_EQ(pkDevice->SetIndices(m_spRenderer->GetIBManager()->GetTempLineBuffer()), D3D_OK);
    // A state the reset's defaults must put back.
    m_spRenderer->GetRenderState()->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);

    pkDevice->SimulateDeviceLoss();
    EXPECT_FALSE(m_spRenderer->BeginScene());
    pkDevice->EndDeviceLoss();
    ASSERT_TRUE(m_spRenderer->BeginScene());
    m_spRenderer->EndScene();

    // Shaders newest first, then the reset functions in order, each half.
    EXPECT_EQ(kLog.m_kEvents, (std::vector<std::string>{"new lost", "old lost", "before", "second before", "new reset",
                                                        "old reset", "after", "second after"}));
    // Nothing of the default pool lived when the device was reset.
    EXPECT_EQ(kLog.m_uiDefaultPoolBefore, 0u);
    EXPECT_TRUE(kLog.m_bTextureListedBefore);
    EXPECT_FALSE(kLog.m_bTextureHadDataBefore);
    EXPECT_EQ(m_spRenderer->GetResetCounter(), 1u);

    // The rendered textures are still listed, with new data and targets.
    EXPECT_EQ(m_spRenderer->GetRenderedTextureCount(), 1u);
    EXPECT_EQ(m_spRenderer->GetRenderedCubeMapCount(), 1u);
    auto* pkData = static_cast<NiDX9TextureData*>(spTexture->GetRendererData());
    ASSERT_NE(pkData, nullptr);
    ASSERT_NE(pkData->GetAsRenderedTextureData(), nullptr);
    EXPECT_NE(pkData->GetD3DTexture(), nullptr);
    ASSERT_NE(spCube->GetRendererData(), nullptr);
    EXPECT_TRUE(m_spRenderer->SetRenderTarget(spTexture));
    EXPECT_EQ(m_spRenderer->GetWidth(), 32u);
    EXPECT_TRUE(m_spRenderer->SetRenderTarget(nullptr));

    // The light and the dynamic buffer come back when next asked for; the
    // states are the cache's defaults again.
    EXPECT_EQ(spSun->GetRendererData(), nullptr);
    LightWith(spEffects);
    EXPECT_NE(spSun->GetRendererData(), nullptr);
    pkRange = m_spRenderer->GetVBManager()->PackScreenTextureVertices(pkRecord, 4, afPositions, nullptr, nullptr, 1,
                                                                      nullptr, nullptr);
    ASSERT_NE(pkRange, nullptr);
    EXPECT_NE(pkRange->m_pkVB, nullptr);
    EXPECT_EQ(m_spRenderer->GetIBManager()->GetTempLineBuffer(), nullptr);
    EXPECT_NE(m_spRenderer->GetIBManager()->ResizeTempLineConnectivity(
                  3, aucConnect, uiLineIndices, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY, D3DPOOL_DEFAULT),
              nullptr);
    EXPECT_EQ(uiLineIndices, 4u);
    std::uint32_t uiCull = 0;
    ASSERT_EQ(pkDevice->GetRenderState(D3DRS_CULLMODE, &uiCull), D3D_OK);
    EXPECT_EQ(uiCull, std::uint32_t(D3DCULL_CW));
    EXPECT_EQ(m_spRenderer->GetRenderState()->GetRenderState(D3DRS_CULLMODE), std::uint32_t(D3DCULL_CW));

    spScreen = nullptr;
    EXPECT_EQ(spOld->GetRenderer(), m_spRenderer.Get());
    m_spRenderer->PurgeAllD3DShaders(); // they write into this test's log
    EXPECT_TRUE(m_spRenderer->GetD3DShaders().empty());
}

TEST_P(NiDX9RendererResetTest, ALossWhileDrawingIntoARenderedTextureResetsWithNothingOfItLeft)
{
    m_spRenderer = Create(64, 48);
    ASSERT_NE(m_spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();
    IDirect3DDevice9* pkDevice = m_spRenderer->GetD3DDevice();
    ResetLog kLog;
    kLog.m_pkDevice = pkDevice;
    kLog.m_pkRenderer = m_spRenderer;
    m_spRenderer->AddResetNotifyFunc(&OnReset, &kLog);
    NiRefPtr<NiRenderedTexture> spTexture = NiRenderedTexture::Create(16, 16, m_spRenderer);
    ASSERT_NE(spTexture, nullptr);
    kLog.m_pkTexture = spTexture;

    ASSERT_TRUE(m_spRenderer->SetRenderTarget(spTexture));
    ASSERT_TRUE(m_spRenderer->BeginScene());
    m_spRenderer->ClearBuffer(nullptr, NiRenderer::CLEAR_ALL);
    pkDevice->SimulateDeviceLoss();
    m_spRenderer->ClearBuffer(nullptr, NiRenderer::CLEAR_ALL);
    m_spRenderer->EndScene();
    m_spRenderer->DisplayFrame();
    pkDevice->EndDeviceLoss();

    // The first operation after the loss resets, inside the scene it began.
    m_spRenderer->ClearBuffer(nullptr, NiRenderer::CLEAR_ALL);
    EXPECT_EQ(m_spRenderer->GetResetCounter(), 1u);
    EXPECT_EQ(kLog.m_uiDefaultPoolBefore, 0u);
    EXPECT_FALSE(kLog.m_bTextureHadDataBefore);
    EXPECT_EQ(m_spRenderer->GetCurrentRenderTarget(), m_spRenderer->GetDefaultRenderTarget());
    EXPECT_EQ(pkDevice->State().renderTargets[0], pkDevice->BackBufferSurface());
    EXPECT_FALSE(m_spRenderer->IsInScene());
    ASSERT_NE(spTexture->GetRendererData(), nullptr);

    // Drawing goes on: into the texture, then the back buffer.
    EXPECT_TRUE(m_spRenderer->SetRenderTarget(spTexture));
    EXPECT_EQ(m_spRenderer->GetWidth(), 16u);
    EXPECT_TRUE(m_spRenderer->SetRenderTarget(nullptr));
    m_spRenderer->SetBackgroundColor(NiColorRGB(1.0f, 0.0f, 0.0f));
    EXPECT_TRUE(Frame());
    if (IsGl())
    {
        EXPECT_EQ(BackBufferPixel(63, 47), 0xFF0000u);
    }
}

TEST_P(NiDX9RendererResetTest, ARefusingResetFunctionFailsTheResetAndLaterFramesTryAgain)
{
    m_spRenderer = Create(64, 48);
    ASSERT_NE(m_spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();
    IDirect3DDevice9* pkDevice = m_spRenderer->GetD3DDevice();
    ResetLog kLog;
    kLog.m_uiRefusals = 2;
    m_spRenderer->AddResetNotifyFunc(&OnReset, &kLog);
    m_spRenderer->AddResetNotifyFunc(&OnResetSecond, &kLog);
    NiRefPtr<NiRenderedTexture> spTexture = NiRenderedTexture::Create(16, 16, m_spRenderer);
    NiRefPtr<NiRenderedTexture> spGone = NiRenderedTexture::Create(8, 8, m_spRenderer);
    ASSERT_NE(spGone, nullptr);

    pkDevice->SimulateDeviceLoss();
    EXPECT_FALSE(Frame());
    pkDevice->EndDeviceLoss();
    EXPECT_FALSE(Begin()); // refused before the device reset
    EXPECT_TRUE(m_spRenderer->IsDeviceLost());
    EXPECT_EQ(m_spRenderer->GetResetCounter(), 0u);
    EXPECT_EQ(spTexture->GetRendererData(), nullptr);
    // A rendered texture that goes while it has no data is forgotten.
    spGone = nullptr;
    EXPECT_EQ(m_spRenderer->GetRenderedTextureCount(), 1u);

    EXPECT_FALSE(Begin()); // refused again
    EXPECT_TRUE(Begin());  // and now it works
    EXPECT_FALSE(m_spRenderer->IsDeviceLost());
    EXPECT_EQ(m_spRenderer->GetResetCounter(), 1u);
    EXPECT_EQ(kLog.m_kEvents, (std::vector<std::string>{"before", "before", "before", "second before", "after",
                                                        "second after"}));
    EXPECT_NE(spTexture->GetRendererData(), nullptr);

    // Refused after the device reset: counted, and the next frame runs the
    // whole reset again.
    kLog.m_kEvents.clear();
    m_spRenderer->RemoveResetNotifyFunc(&OnReset, &kLog);
    m_spRenderer->AddResetNotifyFunc(&OnReset, &kLog); // now last
    kLog.m_uiAfterRefusals = 1;
    pkDevice->SimulateDeviceLoss();
    EXPECT_FALSE(Frame());
    pkDevice->EndDeviceLoss();
    EXPECT_FALSE(Begin());
    EXPECT_EQ(m_spRenderer->GetResetCounter(), 2u);
    EXPECT_TRUE(m_spRenderer->IsDeviceLost());
    EXPECT_TRUE(Begin());
    EXPECT_EQ(kLog.m_kEvents, (std::vector<std::string>{"second before", "before", "second after", "after",
                                                        "second before", "before", "second after", "after"}));
    EXPECT_EQ(m_spRenderer->GetResetCounter(), 3u);
    EXPECT_NE(spTexture->GetRendererData(), nullptr);
}

TEST_P(NiDX9RendererResetTest, AWindowedModeChangeGivesANewBackBuffer)
{
    m_spRenderer = Create(1024, 768);
    ASSERT_NE(m_spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();
    IDirect3DDevice9* pkDevice = m_spRenderer->GetD3DDevice();
    NiDX9BackBufferTarget* pkBack = m_spRenderer->GetDefaultRenderTarget();
    const D3DFORMAT eFormat = pkBack->GetPresentParams().BackBufferFormat;

    EXPECT_EQ(m_spRenderer->Recreate(800, 600, 0, nullptr, 0, 0, 1, 0, NiDX9Renderer::FBMODE_LOCKABLE), std::uint32_t(NiDX9Renderer::RECREATE_OK));
    EXPECT_EQ(m_spRenderer->GetResetCounter(), 1u);
    EXPECT_EQ(m_spRenderer->GetDefaultRenderTarget(), pkBack);
    EXPECT_EQ(m_spRenderer->GetWidth(), 800u);
    EXPECT_EQ(m_spRenderer->GetHeight(), 600u);
    EXPECT_EQ(pkBack->GetColorSurface(), pkDevice->BackBufferSurface());
    EXPECT_EQ(pkDevice->BackBufferSurface()->Width(), 800u);
    EXPECT_EQ(pkDevice->PresentParameters().BackBufferHeight, 600u);
    EXPECT_EQ(pkBack->GetPresentParams().BackBufferFormat, eFormat);
    EXPECT_EQ(m_spRenderer->GetPresentParams().BackBufferWidth, 800u);
    std::uint32_t auiValues[14]{};
    WindowHandle kWindow = nullptr, kFocus = nullptr;
    D3DFORMAT eDepth = 0;
    std::int32_t iFBMode = 7;
    m_spRenderer->GetCreationParameters(auiValues[0], auiValues[1], auiValues[2], kWindow, kFocus, auiValues[3],
                                        auiValues[4], auiValues[5], eDepth, auiValues[6], auiValues[7], iFBMode,
                                        auiValues[8], auiValues[9]);
    EXPECT_EQ(auiValues[0], 800u);
    EXPECT_EQ(iFBMode, NiDX9Renderer::FBMODE_LOCKABLE);
    EXPECT_EQ(auiValues[2], 0u);

    m_spRenderer->SetBackgroundColor(NiColorRGB(0.0f, 0.0f, 1.0f));
    EXPECT_TRUE(Frame());
    if (IsGl())
    {
        EXPECT_EQ(BackBufferPixel(799, 599), 0x0000FFu);
    }

    // And back.
    EXPECT_EQ(m_spRenderer->Recreate(1024, 768, 0, nullptr, 0, 0, 1, 0, NiDX9Renderer::FBMODE_LOCKABLE), std::uint32_t(NiDX9Renderer::RECREATE_OK));
    EXPECT_EQ(m_spRenderer->GetWidth(), 1024u);
    EXPECT_TRUE(Frame());
    if (IsGl())
    {
        EXPECT_EQ(BackBufferPixel(1023, 767), 0x0000FFu);
    }
}

TEST_P(NiDX9RendererResetTest, AModeChangeThatFailsBringsTheOldModeBack)
{
    m_spRenderer = Create(1024, 768);
    ASSERT_NE(m_spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();
    ResetLog kLog;
    kLog.m_uiRefusals = 1;
    m_spRenderer->AddResetNotifyFunc(&OnReset, &kLog);

    EXPECT_EQ(m_spRenderer->Recreate(800, 600, 0, nullptr), std::uint32_t(NiDX9Renderer::RECREATE_OLD_MODE));
    EXPECT_EQ(m_spRenderer->GetResetCounter(), 1u);
    EXPECT_EQ(m_spRenderer->GetWidth(), 1024u);
    EXPECT_EQ(m_spRenderer->GetD3DDevice()->PresentParameters().BackBufferWidth, 1024u);
    EXPECT_FALSE(m_spRenderer->IsDeviceLost());
    EXPECT_TRUE(Frame());

    // Refused both times: no working mode, and frames keep trying.
    kLog.m_uiRefusals = 2;
    EXPECT_EQ(m_spRenderer->Recreate(800, 600, 0, nullptr), std::uint32_t(NiDX9Renderer::RECREATE_FAILED));
    EXPECT_TRUE(m_spRenderer->IsDeviceLost());
    EXPECT_TRUE(Frame());
    EXPECT_EQ(m_spRenderer->GetWidth(), 1024u);
    EXPECT_EQ(m_spRenderer->GetResetCounter(), 2u);
}

TEST_P(NiDX9RendererResetTest, AnUnlistedFullScreenModeChangesNothing)
{
    m_spRenderer = Create(1024, 768);
    ASSERT_NE(m_spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();
    IDirect3DDevice9* pkDevice = m_spRenderer->GetD3DDevice();
    const D3DPRESENT_PARAMETERS kBefore = m_spRenderer->GetDefaultRenderTarget()->GetPresentParams();
    IDirect3DSurface9* pkBackBuffer = pkDevice->BackBufferSurface();

    EXPECT_EQ(m_spRenderer->Recreate(1234, 567, NiDX9Renderer::USE_FULLSCREEN, nullptr),
              std::uint32_t(NiDX9Renderer::RECREATE_FAILED));
    EXPECT_EQ(m_spRenderer->GetResetCounter(), 0u);
    EXPECT_FALSE(m_spRenderer->IsDeviceLost());
    EXPECT_EQ(pkDevice->BackBufferSurface(), pkBackBuffer);
    const D3DPRESENT_PARAMETERS& kAfter = m_spRenderer->GetDefaultRenderTarget()->GetPresentParams();
    EXPECT_EQ(kAfter.BackBufferWidth, kBefore.BackBufferWidth);
    EXPECT_EQ(kAfter.Windowed, kBefore.Windowed);
    EXPECT_EQ(std::string(NiDX9Renderer::GetLastErrorString()),
              "Creation failed: Could not match desired fullscreen mode");
    std::uint32_t uiWidth = 0, uiHeight = 0, uiFlags = 9, uiOther = 0;
    WindowHandle kWindow = nullptr, kFocus = nullptr;
    D3DFORMAT eDepth = 0;
    std::int32_t iFBMode = 0;
    m_spRenderer->GetCreationParameters(uiWidth, uiHeight, uiFlags, kWindow, kFocus, uiOther, uiOther, uiOther, eDepth,
                                        uiOther, uiOther, iFBMode, uiOther, uiOther);
    EXPECT_EQ(uiWidth, 1024u);
    EXPECT_EQ(uiFlags, 0u);
    EXPECT_TRUE(Frame());
}

TEST_P(NiDX9RendererResetTest, ThePreviewRoadLocksTheBackBufferAndGoesBack)
{
    m_spRenderer = NiDX9Renderer::Create(1024, 768, 0, nullptr, nullptr);
    ASSERT_NE(m_spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();
    EXPECT_EQ(m_spRenderer->GetPresentParams().Flags & D3DPRESENTFLAG_LOCKABLE_BACKBUFFER, 0u);

    ASSERT_EQ(m_spRenderer->Recreate(1024, 768, 0, nullptr, 0, 0, 1, 0, NiDX9Renderer::FBMODE_LOCKABLE, 1, 0),
              std::uint32_t(NiDX9Renderer::RECREATE_OK));
    EXPECT_NE(m_spRenderer->GetPresentParams().Flags & D3DPRESENTFLAG_LOCKABLE_BACKBUFFER, 0u);
    m_spRenderer->SetBackgroundColor(NiColorRGB(1.0f, 1.0f, 0.0f));
    ASSERT_TRUE(m_spRenderer->BeginScene());
    m_spRenderer->ClearBuffer(nullptr, NiRenderer::CLEAR_ALL);
    m_spRenderer->EndScene();
    NiRefPtr<NiPixelData> spCapture = m_spRenderer->CaptureBackBuffer(nullptr);
    ASSERT_NE(spCapture, nullptr);
    EXPECT_EQ(spCapture->GetWidth(), 1024u);
    EXPECT_EQ(spCapture->GetHeight(), 768u);
    if (IsGl())
    {
        EXPECT_EQ(BackBufferPixel(512, 384), 0xFFFF00u);
    }

    ASSERT_EQ(m_spRenderer->Recreate(1024, 768, 0, nullptr, 0, 0, 1, 0, NiDX9Renderer::FBMODE_DEFAULT, 1, 0),
              std::uint32_t(NiDX9Renderer::RECREATE_OK));
    EXPECT_EQ(m_spRenderer->GetPresentParams().Flags & D3DPRESENTFLAG_LOCKABLE_BACKBUFFER, 0u);
    EXPECT_EQ(m_spRenderer->GetResetCounter(), 2u);
    EXPECT_TRUE(Frame());
}

TEST_P(NiDX9RendererResetTest, RendererDataPurges)
{
    m_spRenderer = Create(64, 48);
    ASSERT_NE(m_spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();

    // A texture with data is not listed again.
    NiRefPtr<NiRenderedTexture> spTexture = NiRenderedTexture::Create(16, 16, m_spRenderer);
    ASSERT_NE(spTexture, nullptr);
    NiTexture::RendererData* pkData = spTexture->GetRendererData();
    EXPECT_TRUE(m_spRenderer->CreateRenderedTextureData(spTexture));
    EXPECT_EQ(spTexture->GetRendererData(), pkData);
    EXPECT_EQ(m_spRenderer->GetRenderedTextureCount(), 1u);
    EXPECT_TRUE(m_spRenderer->IsRenderedTextureListed(spTexture));
    // A purged one is forgotten.
    EXPECT_TRUE(m_spRenderer->PurgeTextureRendererData(spTexture));
    EXPECT_EQ(m_spRenderer->GetRenderedTextureCount(), 0u);
    EXPECT_FALSE(m_spRenderer->IsRenderedTextureListed(spTexture));

    // A texture effect's purge does nothing; a light's removes it.
    NiRefPtr<NiDirectionalLight> spSun = new NiDirectionalLight;
    NiRefPtr<NiEffectSet> spEffects = new NiEffectSet;
    spEffects->AddEffect(spSun);
    LightWith(spEffects);
    ASSERT_EQ(m_spRenderer->GetLightManager()->GetActiveLightCount(), 1u);
    NiRefPtr<NiTextureEffect> spEffect = new NiTextureEffect;
    m_spRenderer->PurgeEffectRendererData(spEffect);
    EXPECT_EQ(m_spRenderer->GetLightManager()->GetActiveLightCount(), 1u);
    EXPECT_NE(spSun->GetRendererData(), nullptr);
    m_spRenderer->PurgeEffectRendererData(spSun);
    EXPECT_EQ(m_spRenderer->GetLightManager()->GetActiveLightCount(), 0u);
    EXPECT_EQ(spSun->GetRendererData(), nullptr);

    // A screen texture's record goes with its purge.
    NiRefPtr<NiScreenTexture> spScreen = new NiScreenTexture(nullptr);
    EXPECT_FALSE(m_spRenderer->PurgeScreenTextureRendererData(spScreen));
    ASSERT_TRUE(m_spRenderer->GetGeometryGroupManager()->CreateScreenTextureData(
        NiDX9GeometryBufferGroup::GetStaticInstance(), spScreen, 0));
    ASSERT_NE(spScreen->GetRendererData(), nullptr);
    EXPECT_TRUE(m_spRenderer->PurgeScreenTextureRendererData(spScreen));
    EXPECT_EQ(spScreen->GetRendererData(), nullptr);
}

TEST_P(NiDX9RendererResetTest, TheShaderListIsNewestFirstAndPurgedShadersLetGoOfTheDevice)
{
    m_spRenderer = Create(64, 48);
    ASSERT_NE(m_spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();
    std::vector<std::string> kEvents;
    NiRefPtr<RecordingShader> spA = new RecordingShader(kEvents, "a");
    NiRefPtr<RecordingShader> spB = new RecordingShader(kEvents, "b");
    NiRefPtr<RecordingShader> spC = new RecordingShader(kEvents, "c");
    for (RecordingShader* pkShader : {spA.Get(), spB.Get(), spC.Get()})
    {
        ASSERT_TRUE(pkShader->Initialize(m_spRenderer));
        m_spRenderer->RegisterD3DShader(pkShader);
    }
    m_spRenderer->RegisterD3DShader(spA); // once only
    ASSERT_EQ(m_spRenderer->GetD3DShaders().size(), 3u);
    EXPECT_EQ(m_spRenderer->GetD3DShaders()[0], spC.Get());
    EXPECT_EQ(m_spRenderer->GetD3DShaders()[2], spA.Get());

    m_spRenderer->UnregisterD3DShader(spB);
    EXPECT_EQ(spB->GetRenderer(), nullptr);
    EXPECT_EQ(spB->GetD3DDevice(), nullptr);
    EXPECT_TRUE(kEvents.empty());
    m_spRenderer->PurgeD3DShader(spC);
    EXPECT_EQ(kEvents, (std::vector<std::string>{"c released"}));
    EXPECT_EQ(spC->GetD3DDevice(), nullptr);
    ASSERT_EQ(m_spRenderer->GetD3DShaders().size(), 1u);

    // The renderer's teardown purges what is left.
    const std::uint32_t uiRefs = spA->GetRefCount();
    IDirect3DDevice9* pkDevice = m_spRenderer->GetD3DDevice();
    pkDevice->AddRef();
    m_spRenderer = nullptr;
    EXPECT_EQ(kEvents, (std::vector<std::string>{"c released", "a released"}));
    EXPECT_EQ(spA->GetD3DDevice(), nullptr);
    EXPECT_EQ(spA->GetRefCount(), uiRefs - 1);
    EXPECT_EQ(pkDevice->Release(), 0u);
}
} // namespace
