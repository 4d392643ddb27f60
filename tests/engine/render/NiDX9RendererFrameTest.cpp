// The renderer's frame: call order, device loss, clears, the camera and the
// model transform, target switches and back-buffer captures; on `null` by
// the recorded calls and the device's state, on `gl` by the pixels.
#include "engine/render/NiDX9Renderer.h"
#include "engine/render/NiDX9RenderTarget.h"

#include "engine/core/NiXform.h"
#include "engine/scene/NiCamera.h"
#include "tests/engine/render/RendererTestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

using namespace gfx;

namespace
{
class NiDX9RendererFrameTest : public rendertest::RendererTest
{
public:
    NiDX9RendererPtr Create(std::uint32_t uiWidth, std::uint32_t uiHeight, std::uint32_t uiFlags = 0,
                            std::int32_t iFBMode = NiDX9Renderer::FBMODE_LOCKABLE,
                            std::uint32_t eFBFormat = NiDX9Renderer::FBFMT_UNKNOWN)
    {
        return NiDX9Renderer::Create(uiWidth, uiHeight, uiFlags, nullptr, nullptr, 0, NiDX9Renderer::DEVDESC_PURE,
                                     eFBFormat, 0, NiDX9Renderer::PRESENT_INTERVAL_ONE,
                                     NiDX9Renderer::SWAPEFFECT_DEFAULT, iFBMode, 1, 0);
    }

    [[nodiscard]] bool IsGl() const { return GetParam() == BackendKind::Gl; }
    void CaptureAfterAClearAndAQuad(bool bWindow);

    std::vector<RecordedCall::Kind> RecordedKinds() const
    {
        std::vector<RecordedCall::Kind> kKinds;
        for (const RecordedCall& kCall : m_spRenderer->GetD3DDevice()->RecordedCalls())
            kKinds.push_back(kCall.kind);
        return kKinds;
    }

    // Colour of one captured 32-bit pixel as 0xRRGGBB.
    static std::uint32_t Pixel(const NiPixelData& kData, std::uint32_t uiX, std::uint32_t uiY)
    {
        const std::uint8_t* pucPixel = kData.GetPixels() + (uiY * kData.GetWidth() + uiX) * 4;
        return (std::uint32_t(pucPixel[2]) << 16) | (std::uint32_t(pucPixel[1]) << 8) | pucPixel[0];
    }
};
RENDERER_BOTH_BACKENDS(NiDX9RendererFrameTest);

// Row-vector product p M, divided by w.
std::array<float, 3> Project(const std::array<float, 4>& afPoint, const D3DMATRIX& kMatrix)
{
    std::array<float, 4> afOut{};
    for (int iCol = 0; iCol < 4; ++iCol)
    {
        for (int iRow = 0; iRow < 4; ++iRow)
            afOut[iCol] += afPoint[iRow] * kMatrix.m[iRow][iCol];
    }
    return {afOut[0] / afOut[3], afOut[1] / afOut[3], afOut[2] / afOut[3]};
}

D3DMATRIX Multiply(const D3DMATRIX& kA, const D3DMATRIX& kB)
{
    D3DMATRIX kOut{};
    for (int i = 0; i < 4; ++i)
    {
        for (int j = 0; j < 4; ++j)
        {
            for (int k = 0; k < 4; ++k)
                kOut.m[i][j] += kA.m[i][k] * kB.m[k][j];
        }
    }
    return kOut;
}

void ExpectMatrix(const D3DMATRIX& kActual, const std::array<std::array<float, 4>, 4>& aafExpected)
{
    for (int i = 0; i < 4; ++i)
    {
        for (int j = 0; j < 4; ++j)
            EXPECT_NEAR(kActual.m[i][j], aafExpected[i][j], 1e-5f) << "row " << i << " column " << j;
    }
}

bool SameMatrix(const D3DMATRIX& kA, const D3DMATRIX& kB)
{
    return std::memcmp(&kA, &kB, sizeof(D3DMATRIX)) == 0;
}
} // namespace

TEST_P(NiDX9RendererFrameTest, AFrameRunsInOrderAndEndsOnlyABegunScene)
{
    m_spRenderer = Create(64, 48);
    ASSERT_NE(m_spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();
    IDirect3DDevice9* pkDevice = m_spRenderer->GetD3DDevice();
    pkDevice->SetCallRecording(true);
    const std::uint32_t uiFrame = m_spRenderer->GetVBManager()->GetFrameNumber();

    // EndScene without a scene does not reach the device.
    m_spRenderer->EndScene();
    EXPECT_EQ(pkDevice->EndScene(), D3DERR_INVALIDCALL);

    ASSERT_TRUE(m_spRenderer->BeginScene());
    EXPECT_TRUE(m_spRenderer->IsInScene());
    EXPECT_EQ(pkDevice->BeginScene(), D3DERR_INVALIDCALL); // the device is in its scene
    m_spRenderer->ClearBuffer(nullptr, NiRenderer::CLEAR_ALL);
    m_spRenderer->EndScene();
    EXPECT_FALSE(m_spRenderer->IsInScene());
    m_spRenderer->DisplayFrame();
    EXPECT_EQ(RecordedKinds(), (std::vector<RecordedCall::Kind>{RecordedCall::Kind::Clear,
                                                                RecordedCall::Kind::Present}));
    EXPECT_EQ(m_spRenderer->GetVBManager()->GetFrameNumber(), uiFrame + 1);
}

TEST_P(NiDX9RendererFrameTest, ALostDeviceTurnsTheFrameIntoNoOps)
{
    m_spRenderer = Create(64, 48);
    ASSERT_NE(m_spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();
    IDirect3DDevice9* pkDevice = m_spRenderer->GetD3DDevice();
    D3DVIEWPORT9 kViewport;
    ASSERT_EQ(pkDevice->GetViewport(&kViewport), D3D_OK);
    const D3DMATRIX kView = m_spRenderer->GetD3DView();
    const std::uint32_t uiFrame = m_spRenderer->GetVBManager()->GetFrameNumber();

    pkDevice->SetCallRecording(true);
    pkDevice->SimulateDeviceLoss();
    EXPECT_FALSE(m_spRenderer->BeginScene());
    EXPECT_FALSE(m_spRenderer->IsInScene());
    m_spRenderer->ClearBuffer(nullptr, NiRenderer::CLEAR_ALL);
    NiViewFrustum kFrustum;
    m_spRenderer->SetCameraData(NiVec3(5.0f, 0.0f, 0.0f), NiVec3(0.0f, 0.0f, 1.0f), NiVec3(0.0f, 1.0f, 0.0f),
                                NiVec3(1.0f, 0.0f, 0.0f), kFrustum, NiRect<float>(0.5f, 1.0f, 1.0f, 0.5f));
    m_spRenderer->EndScene();
    m_spRenderer->DisplayFrame();

    EXPECT_TRUE(pkDevice->RecordedCalls().empty());
    EXPECT_TRUE(SameMatrix(m_spRenderer->GetD3DView(), kView));
    D3DVIEWPORT9 kAfter;
    ASSERT_EQ(pkDevice->GetViewport(&kAfter), D3D_OK);
    EXPECT_EQ(kAfter.Width, kViewport.Width);
    EXPECT_EQ(kAfter.X, kViewport.X);
    EXPECT_EQ(m_spRenderer->GetVBManager()->GetFrameNumber(), uiFrame);

    // A scene begun before the loss is not ended on the lost device either.
    pkDevice->EndDeviceLoss();
    ASSERT_EQ(pkDevice->Reset(const_cast<D3DPRESENT_PARAMETERS*>(&pkDevice->PresentParameters())),
              D3DERR_INVALIDCALL); // the back-buffer target still holds the surfaces
}

TEST_P(NiDX9RendererFrameTest, ClearFlagsFollowTheTargetsDepthAndStencil)
{
    struct Case
    {
        std::uint32_t m_uiCreateFlags;
        std::uint32_t m_uiClearFlags;
        std::uint32_t m_uiDeviceFlags; // 0: no clear at all
    };
    const Case akCases[] = {
        {0, NiRenderer::CLEAR_ALL, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER}, // no stencil bits
        {0, NiRenderer::CLEAR_BACKBUFFER, D3DCLEAR_TARGET},
        {0, NiRenderer::CLEAR_ZBUFFER, D3DCLEAR_ZBUFFER},
        {0, NiRenderer::CLEAR_STENCIL, 0},
        {0, 5, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER}, // the framework camera's kind 3
        {NiDX9Renderer::USE_STENCIL, NiRenderer::CLEAR_ALL, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL},
        {NiDX9Renderer::USE_STENCIL, NiRenderer::CLEAR_STENCIL, D3DCLEAR_STENCIL},
        {NiDX9Renderer::USE_STENCIL, 6, D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL},
        {NiDX9Renderer::USE_MANUALDEPTHSTENCIL, NiRenderer::CLEAR_ALL, D3DCLEAR_TARGET},
        {NiDX9Renderer::USE_MANUALDEPTHSTENCIL, NiRenderer::CLEAR_ZBUFFER, 0},
        {NiDX9Renderer::USE_MANUALDEPTHSTENCIL | NiDX9Renderer::USE_STENCIL, NiRenderer::CLEAR_STENCIL, 0},
        {0, 0, 0},
    };
    for (const Case& kCase : akCases)
    {
        SCOPED_TRACE(::testing::Message() << "create " << kCase.m_uiCreateFlags << " clear " << kCase.m_uiClearFlags);
        m_spRenderer = nullptr;
        m_spRenderer = Create(64, 48, kCase.m_uiCreateFlags);
        ASSERT_NE(m_spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();
        IDirect3DDevice9* pkDevice = m_spRenderer->GetD3DDevice();
        // A camera viewport on the right half, which the clear replaces by the full target.
        NiViewFrustum kFrustum;
        m_spRenderer->SetCameraData(NiVec3(), NiVec3(0.0f, 0.0f, 1.0f), NiVec3(0.0f, 1.0f, 0.0f),
                                    NiVec3(1.0f, 0.0f, 0.0f), kFrustum, NiRect<float>(0.5f, 1.0f, 1.0f, 0.0f));
        D3DVIEWPORT9 kViewport;
        ASSERT_EQ(pkDevice->GetViewport(&kViewport), D3D_OK);
        ASSERT_EQ(kViewport.X, 32u);

        pkDevice->SetCallRecording(true);
        m_spRenderer->ClearBuffer(nullptr, kCase.m_uiClearFlags);
        const std::vector<RecordedCall>& kCalls = pkDevice->RecordedCalls();
        if (kCase.m_uiDeviceFlags == 0)
        {
            EXPECT_TRUE(kCalls.empty());
        }
        else
        {
            ASSERT_EQ(kCalls.size(), 1u);
            EXPECT_EQ(kCalls[0].flags, kCase.m_uiDeviceFlags);
            EXPECT_EQ(kCalls[0].color, 0xFF808080u);
            EXPECT_EQ(kCalls[0].z, 1.0f);
        }
        ASSERT_EQ(pkDevice->GetViewport(&kViewport), D3D_OK);
        EXPECT_EQ(kViewport.X, 0u);
        EXPECT_EQ(kViewport.Width, 64u);
        EXPECT_EQ(kViewport.Height, 48u);
    }
}

TEST_P(NiDX9RendererFrameTest, ClearValuesReachTheDevice)
{
    m_spRenderer = Create(64, 48, NiDX9Renderer::USE_STENCIL);
    ASSERT_NE(m_spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();
    IDirect3DDevice9* pkDevice = m_spRenderer->GetD3DDevice();
    m_spRenderer->SetDepthClear(0.25f);
    m_spRenderer->SetStencilClear(7);
    m_spRenderer->SetBackgroundColor(NiColorRGBA(1.0f, 0.0f, 0.0f, 1.0f));
    pkDevice->SetCallRecording(true);
    m_spRenderer->ClearBuffer(nullptr, NiRenderer::CLEAR_ALL);
    ASSERT_EQ(pkDevice->RecordedCalls().size(), 1u);
    EXPECT_EQ(pkDevice->RecordedCalls()[0].z, 0.25f);
    EXPECT_EQ(pkDevice->RecordedCalls()[0].stencil, 7u);
    EXPECT_EQ(pkDevice->RecordedCalls()[0].color, 0xFFFF0000u);
    EXPECT_EQ(pkDevice->RecordedCalls()[0].rectCount, 1u);
}

TEST_P(NiDX9RendererFrameTest, ClearRectanglesAreTargetFractionsRowsDownwards)
{
    m_spRenderer = Create(1024, 768);
    ASSERT_NE(m_spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();
    IDirect3DDevice9* pkDevice = m_spRenderer->GetD3DDevice();
    ASSERT_EQ(pkDevice->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0), D3D_OK);
    m_spRenderer->SetBackgroundColor(NiColorRGB(1.0f, 1.0f, 1.0f));
    const NiRect<float> kMiddle(0.25f, 0.75f, 0.75f, 0.25f);
    m_spRenderer->ClearBuffer(&kMiddle, NiRenderer::CLEAR_BACKBUFFER);
    NiRefPtr<NiPixelData> spMiddle = m_spRenderer->CaptureBackBuffer(nullptr);
    ASSERT_NE(spMiddle, nullptr);

    // The whole target by fractions (0, 1, 1, 0), in another colour.
    m_spRenderer->SetBackgroundColor(NiColorRGB(0.0f, 0.0f, 1.0f));
    const NiRect<float> kAll(0.0f, 1.0f, 1.0f, 0.0f);
    m_spRenderer->ClearBuffer(&kAll, NiRenderer::CLEAR_BACKBUFFER);
    NiRefPtr<NiPixelData> spAll = m_spRenderer->CaptureBackBuffer(nullptr);
    ASSERT_NE(spAll, nullptr);
    if (!IsGl())
        return;
    // (256, 192) to (768, 576), right and bottom excluded.
    EXPECT_EQ(Pixel(*spMiddle, 256, 192), 0xFFFFFFu);
    EXPECT_EQ(Pixel(*spMiddle, 767, 575), 0xFFFFFFu);
    EXPECT_EQ(Pixel(*spMiddle, 255, 192), 0u);
    EXPECT_EQ(Pixel(*spMiddle, 256, 191), 0u);
    EXPECT_EQ(Pixel(*spMiddle, 768, 575), 0u);
    EXPECT_EQ(Pixel(*spMiddle, 767, 576), 0u);
    EXPECT_EQ(Pixel(*spAll, 0, 0), 0x0000FFu);
    EXPECT_EQ(Pixel(*spAll, 1023, 767), 0x0000FFu);
}

TEST_P(NiDX9RendererFrameTest, CameraDataBuildsViewProjectionViewportAndPixelMatrix)
{
    m_spRenderer = Create(64, 48);
    ASSERT_NE(m_spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();
    IDirect3DDevice9* pkDevice = m_spRenderer->GetD3DDevice();
    const NiVec3 kLoc(1.0f, 2.0f, 3.0f);
    const NiVec3 kDir(0.0f, 0.0f, -1.0f);
    const NiVec3 kUp(0.0f, 1.0f, 0.0f);
    const NiVec3 kRight(-1.0f, 0.0f, 0.0f);
    NiViewFrustum kFrustum;
    kFrustum.Set(-0.5f, 1.5f, 1.0f, -0.25f, 2.0f, 10.0f, false);
    m_spRenderer->SetCameraData(kLoc, kDir, kUp, kRight, kFrustum, NiRect<float>(0.25f, 0.75f, 0.9f, 0.1f));

    ExpectMatrix(m_spRenderer->GetD3DView(),
                 {{{-1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, -1, 0}, {1, -2, 3, 1}}});
    ExpectMatrix(m_spRenderer->GetInvView(), {{{-1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, -1, 0}, {1, 2, 3, 1}}});
    // 2 / (r - l) = 1, 2 / (t - b) = 1.6, -(l + r) / (r - l) = -0.5, -(t + b) / (t - b) = -0.6,
    // f / (f - n) = 1.25, -n f / (f - n) = -2.5.
    ExpectMatrix(m_spRenderer->GetD3DProj(),
                 {{{1, 0, 0, 0}, {0, 1.6f, 0, 0}, {-0.5f, -0.6f, 1.25f, 1}, {0, 0, -2.5f, 0}}});
    D3DMATRIX kDevice;
    ASSERT_EQ(pkDevice->GetTransform(D3DTS_VIEW, &kDevice), D3D_OK);
    EXPECT_TRUE(SameMatrix(kDevice, m_spRenderer->GetD3DView()));
    ASSERT_EQ(pkDevice->GetTransform(D3DTS_PROJECTION, &kDevice), D3D_OK);
    EXPECT_TRUE(SameMatrix(kDevice, m_spRenderer->GetD3DProj()));
    ExpectMatrix(m_spRenderer->GetScreenSpaceProjection(),
                 {{{2, 0, 0, 0}, {0, 2, 0, 0}, {-1, -1, 1.25f, 1}, {0, 0, -2.5f, 0}}});

    // x 16, y (1 - 0.9) 48 = 4.8, width 32, height 0.8 x 48 = 38.4: truncated.
    D3DVIEWPORT9 kViewport;
    ASSERT_EQ(pkDevice->GetViewport(&kViewport), D3D_OK);
    EXPECT_EQ(kViewport.X, 16u);
    EXPECT_EQ(kViewport.Y, 4u);
    EXPECT_EQ(kViewport.Width, 32u);
    EXPECT_EQ(kViewport.Height, 38u);
    EXPECT_EQ(kViewport.MinZ, 0.0f);
    EXPECT_EQ(kViewport.MaxZ, 1.0f);

    ExpectMatrix(m_spRenderer->GetPixelToUnit(),
                 {{{1 / 64.0f, 0, 0, 0}, {0, -1 / 48.0f, 0, 0}, {0, 0, 1, 0}, {-0.5f / 64, 1 + 0.5f / 48, 0, 1}}});
    EXPECT_EQ(m_spRenderer->GetCameraRight(), kRight);
    EXPECT_EQ(m_spRenderer->GetCameraUp(), kUp);
    EXPECT_EQ(m_spRenderer->GetCameraNear(), 2.0f);
    EXPECT_EQ(m_spRenderer->GetCameraDepthRange(), 8.0f);
    EXPECT_EQ(m_spRenderer->GetRenderState()->GetCameraNear(), 2.0f);
    EXPECT_EQ(m_spRenderer->GetRenderState()->GetCameraFar(), 10.0f);

    // Mirrored: the x scale and the x shift change sign.
    EXPECT_TRUE(m_spRenderer->SetLeftRightSwap(true));
    EXPECT_TRUE(m_spRenderer->GetLeftRightSwap());
    m_spRenderer->SetCameraData(kLoc, kDir, kUp, kRight, kFrustum, NiRect<float>(0.25f, 0.75f, 0.9f, 0.1f));
    ExpectMatrix(m_spRenderer->GetD3DProj(),
                 {{{-1, 0, 0, 0}, {0, 1.6f, 0, 0}, {0.5f, -0.6f, 1.25f, 1}, {0, 0, -2.5f, 0}}});

    // Orthographic, mirrored: third row (0, 0, 1 / (f - n), 0), fourth row
    // (shifts, -n / (f - n), 1).
    kFrustum.m_bOrtho = true;
    m_spRenderer->SetCameraData(kLoc, kDir, kUp, kRight, kFrustum, NiRect<float>(0.0f, 1.0f, 1.0f, 0.0f));
    ExpectMatrix(m_spRenderer->GetD3DProj(),
                 {{{-1, 0, 0, 0}, {0, 1.6f, 0, 0}, {0, 0, 0.125f, 0}, {0.5f, -0.6f, -0.25f, 1}}});
    m_spRenderer->SetLeftRightSwap(false);
    m_spRenderer->SetCameraData(kLoc, kDir, kUp, kRight, kFrustum, NiRect<float>(0.0f, 1.0f, 1.0f, 0.0f));
    ExpectMatrix(m_spRenderer->GetD3DProj(),
                 {{{1, 0, 0, 0}, {0, 1.6f, 0, 0}, {0, 0, 0.125f, 0}, {-0.5f, -0.6f, -0.25f, 1}}});
    ExpectMatrix(m_spRenderer->GetScreenSpaceProjection(),
                 {{{2, 0, 0, 0}, {0, 2, 0, 0}, {-1, -1, 0.125f, 1}, {0, 0, -0.25f, 0}}});
}

TEST_P(NiDX9RendererFrameTest, AFrustumWithoutExtentChangesNothing)
{
    m_spRenderer = Create(64, 48);
    ASSERT_NE(m_spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();
    IDirect3DDevice9* pkDevice = m_spRenderer->GetD3DDevice();
    D3DMATRIX kView;
    D3DMATRIX kProj;
    D3DVIEWPORT9 kViewport;
    ASSERT_EQ(pkDevice->GetTransform(D3DTS_VIEW, &kView), D3D_OK);
    ASSERT_EQ(pkDevice->GetTransform(D3DTS_PROJECTION, &kProj), D3D_OK);
    ASSERT_EQ(pkDevice->GetViewport(&kViewport), D3D_OK);
    const D3DMATRIX kRendererProj = m_spRenderer->GetD3DProj();

    const std::array<std::array<float, 6>, 3> aafFrusta = {{
        {0.5f, 0.5f, 1.0f, -1.0f, 1.0f, 2.0f},  // l = r
        {-1.0f, 1.0f, 0.3f, 0.3f, 1.0f, 2.0f},  // t = b
        {-1.0f, 1.0f, 1.0f, -1.0f, 4.0f, 4.0f}, // n = f
    }};
    for (const std::array<float, 6>& afF : aafFrusta)
    {
        for (bool bOrtho : {false, true})
        {
            NiViewFrustum kFrustum;
            kFrustum.Set(afF[0], afF[1], afF[2], afF[3], afF[4], afF[5], bOrtho);
            m_spRenderer->SetCameraData(NiVec3(9.0f, 9.0f, 9.0f), NiVec3(0.0f, 0.0f, 1.0f), NiVec3(0.0f, 1.0f, 0.0f),
                                        NiVec3(1.0f, 0.0f, 0.0f), kFrustum, NiRect<float>(0.5f, 1.0f, 1.0f, 0.5f));
            D3DMATRIX kAfter;
            ASSERT_EQ(pkDevice->GetTransform(D3DTS_VIEW, &kAfter), D3D_OK);
            EXPECT_TRUE(SameMatrix(kAfter, kView));
            ASSERT_EQ(pkDevice->GetTransform(D3DTS_PROJECTION, &kAfter), D3D_OK);
            EXPECT_TRUE(SameMatrix(kAfter, kProj));
            EXPECT_TRUE(SameMatrix(m_spRenderer->GetD3DProj(), kRendererProj));
            D3DVIEWPORT9 kPort;
            ASSERT_EQ(pkDevice->GetViewport(&kPort), D3D_OK);
            EXPECT_EQ(kPort.X, kViewport.X);
            EXPECT_EQ(kPort.Width, kViewport.Width);
            EXPECT_EQ(m_spRenderer->GetRenderState()->GetCameraFar(), 1.0f);
        }
    }
}

TEST_P(NiDX9RendererFrameTest, TheStartUpCameraLooksAlongXFromNearToFar)
{
    m_spRenderer = Create(64, 48);
    ASSERT_NE(m_spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();
    const D3DMATRIX kViewProj = Multiply(m_spRenderer->GetD3DView(), m_spRenderer->GetD3DProj());
    // 1 ahead is the far plane, 0.1 ahead the near one; right is +z, up +y.
    EXPECT_NEAR(Project({1.0f, 0.0f, 0.0f, 1.0f}, kViewProj)[2], 1.0f, 1e-6f);
    EXPECT_NEAR(Project({0.1f, 0.0f, 0.0f, 1.0f}, kViewProj)[2], 0.0f, 1e-6f);
    const std::array<float, 3> afCorner = Project({0.5f, 0.5f, 0.5f, 1.0f}, kViewProj);
    EXPECT_NEAR(afCorner[0], 1.0f, 1e-6f);
    EXPECT_NEAR(afCorner[1], 1.0f, 1e-6f);
    EXPECT_EQ(m_spRenderer->GetRenderState()->GetCameraNear(), 0.1f);
    EXPECT_EQ(m_spRenderer->GetRenderState()->GetCameraFar(), 1.0f);
    D3DVIEWPORT9 kViewport;
    ASSERT_EQ(m_spRenderer->GetD3DDevice()->GetViewport(&kViewport), D3D_OK);
    EXPECT_EQ(kViewport.Width, 64u);
    EXPECT_EQ(kViewport.Height, 48u);
}

TEST_P(NiDX9RendererFrameTest, ModelTransformRowsRenormalisationAndCameraAxes)
{
    m_spRenderer = Create(64, 48);
    ASSERT_NE(m_spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();
    IDirect3DDevice9* pkDevice = m_spRenderer->GetD3DDevice();
    NiViewFrustum kFrustum;
    m_spRenderer->SetCameraData(NiVec3(), NiVec3(0.0f, 0.0f, 1.0f), NiVec3(0.0f, 1.0f, 0.0f),
                                NiVec3(1.0f, 0.0f, 0.0f), kFrustum, NiRect<float>(0.0f, 1.0f, 1.0f, 0.0f));

    // A quarter turn about z (x to y), scale 2, moved to (3, 4, 5).
    NiMatrix3x3 kRotate;
    kRotate.SetColumns(NiVec3(0.0f, 1.0f, 0.0f), NiVec3(-1.0f, 0.0f, 0.0f), NiVec3(0.0f, 0.0f, 1.0f));
    const NiXform kXform(kRotate, NiVec3(3.0f, 4.0f, 5.0f), 2.0f);
    m_spRenderer->SetModelTransform(kXform, false);
    ExpectMatrix(m_spRenderer->GetD3DModel(), {{{0, 2, 0, 0}, {-2, 0, 0, 0}, {0, 0, 2, 0}, {3, 4, 5, 1}}});
    // A point through the rows lands where the transform puts it.
    const std::array<float, 3> afPoint = Project({1.0f, 0.0f, 0.0f, 1.0f}, m_spRenderer->GetD3DModel());
    const NiVec3 kExpected = kXform.TransformPoint(NiVec3(1.0f, 0.0f, 0.0f));
    EXPECT_NEAR(afPoint[0], kExpected.x, 1e-6f);
    EXPECT_NEAR(afPoint[1], kExpected.y, 1e-6f);
    EXPECT_NEAR(afPoint[2], kExpected.z, 1e-6f);
    D3DMATRIX kWorld;
    ASSERT_EQ(pkDevice->GetTransform(D3DTS_WORLD, &kWorld), D3D_OK);
    EXPECT_FALSE(SameMatrix(kWorld, m_spRenderer->GetD3DModel())); // not pushed
    EXPECT_EQ(m_spRenderer->GetRenderState()->GetRenderState(D3DRS_NORMALIZENORMALS), 1u);
    // World right (1, 0, 0) is the model's -y, up (0, 1, 0) its +x; both times the scale.
    EXPECT_EQ(m_spRenderer->GetModelCameraRight(), NiVec3(0.0f, -2.0f, 0.0f));
    EXPECT_EQ(m_spRenderer->GetModelCameraUp(), NiVec3(2.0f, 0.0f, 0.0f));

    m_spRenderer->SetModelTransform(NiXform(NiMatrix3x3(), NiVec3(1.0f, 0.0f, 0.0f), 1.005f), true);
    ASSERT_EQ(pkDevice->GetTransform(D3DTS_WORLD, &kWorld), D3D_OK);
    EXPECT_TRUE(SameMatrix(kWorld, m_spRenderer->GetD3DModel()));
    EXPECT_EQ(m_spRenderer->GetRenderState()->GetRenderState(D3DRS_NORMALIZENORMALS), 0u);
}

TEST_P(NiDX9RendererFrameTest, TargetSwitchesOutsideAScene)
{
    m_spRenderer = Create(64, 48);
    ASSERT_NE(m_spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();
    NiDX9BackBufferTarget* pkBack = m_spRenderer->GetDefaultRenderTarget();
    ASSERT_NE(pkBack, nullptr);
    EXPECT_EQ(m_spRenderer->GetCurrentRenderTarget(), pkBack);
    EXPECT_EQ(m_spRenderer->GetWidth(), 64u);
    EXPECT_EQ(m_spRenderer->GetHeight(), 48u);
    EXPECT_EQ(m_spRenderer->GetBitDepth(), 32u);
    EXPECT_EQ(pkBack->GetFormat()->m_eD3DFormat, D3DFMT_X8R8G8B8);
    EXPECT_NE(pkBack->GetDepthStencilSurface(), nullptr);

    EXPECT_TRUE(m_spRenderer->SetRenderTarget(nullptr));
    EXPECT_EQ(m_spRenderer->GetCurrentRenderTarget(), pkBack);
    EXPECT_EQ(NiDX9RenderTarget::GetBoundTarget(0), pkBack->GetColorSurface());
    EXPECT_EQ(NiDX9RenderTarget::GetBoundDepthStencil(), pkBack->GetDepthStencilSurface());

    ASSERT_TRUE(m_spRenderer->BeginScene());
    EXPECT_FALSE(m_spRenderer->SetRenderTarget(nullptr));
    m_spRenderer->EndScene();

    // The bound surface is not bound again: the device would reset the
    // viewport to the whole target if it were.
    IDirect3DDevice9* pkDevice = m_spRenderer->GetD3DDevice();
    D3DVIEWPORT9 kSmall{1, 2, 3, 4, 0.0f, 1.0f};
    ASSERT_EQ(pkDevice->SetViewport(&kSmall), D3D_OK);
    EXPECT_TRUE(m_spRenderer->SetRenderTarget(nullptr));
    D3DVIEWPORT9 kViewport;
    ASSERT_EQ(pkDevice->GetViewport(&kViewport), D3D_OK);
    EXPECT_EQ(kViewport.Width, 3u);
    // Index 0 is never unbound.
    NiDX9RenderTarget::ClearRenderTarget(pkDevice, 0);
    EXPECT_EQ(NiDX9RenderTarget::GetBoundTarget(0), pkBack->GetColorSurface());
}

TEST_P(NiDX9RendererFrameTest, TheBackBufferTargetGivesTheDeviceBackOnceOverAReset)
{
    m_spRenderer = Create(64, 48);
    ASSERT_NE(m_spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();
    IDirect3DDevice9* pkDevice = m_spRenderer->GetD3DDevice();
    NiDX9BackBufferTarget* pkBack = m_spRenderer->GetDefaultRenderTarget();
    const std::uint32_t uiDeviceRefs = pkDevice->RefCount();
    EXPECT_EQ(pkBack->GetD3DDevice(), pkDevice);

    EXPECT_TRUE(pkBack->OnDeviceLost());
    EXPECT_EQ(pkBack->GetColorSurface(), nullptr);
    EXPECT_EQ(pkBack->GetDepthStencilSurface(), nullptr);
    EXPECT_EQ(pkBack->GetFormat(), nullptr);
    EXPECT_EQ(pkBack->GetD3DDevice(), nullptr);
    EXPECT_EQ(pkDevice->RefCount(), uiDeviceRefs - 1);
    pkBack->ReleaseSurfaces(); // again: nothing more is let go
    EXPECT_EQ(pkDevice->RefCount(), uiDeviceRefs - 1);
    EXPECT_FALSE(pkBack->Display());

    // Nothing of the device is held any more: it resets, to a new size.
    D3DPRESENT_PARAMETERS kParams = pkDevice->PresentParameters();
    kParams.BackBufferWidth = 32;
    kParams.BackBufferHeight = 16;
    ASSERT_EQ(pkDevice->Reset(&kParams), D3D_OK);
    ASSERT_TRUE(pkBack->Recreate(pkDevice));
    EXPECT_EQ(pkDevice->RefCount(), uiDeviceRefs);
    EXPECT_EQ(pkBack->GetWidth(), 32u);
    EXPECT_EQ(pkBack->GetHeight(), 16u);
    EXPECT_EQ(m_spRenderer->GetWidth(), 32u);
    EXPECT_NE(pkBack->GetDepthStencilSurface(), nullptr);
    EXPECT_EQ(NiDX9RenderTarget::GetBoundTarget(0), nullptr); // forgotten: the reset rebound it
    EXPECT_TRUE(m_spRenderer->SetRenderTarget(nullptr));

    // Recreate while holding everything lets go of the old references first.
    ASSERT_TRUE(pkBack->Recreate(pkDevice));
    EXPECT_EQ(pkDevice->RefCount(), uiDeviceRefs);
    EXPECT_TRUE(pkBack->Display());

    pkDevice->AddRef();
    m_spRenderer = nullptr;
    EXPECT_EQ(pkDevice->Release(), 0u);
}

TEST_P(NiDX9RendererFrameTest, CaptureCopiesTheBackBufferRowsTopDown)
{
    // Twice: drawing into a buffer of the device's own, then straight into
    // the window, whose rows run upwards.
    for (bool bWindow : {false, true})
    {
        SCOPED_TRACE(bWindow ? "window" : "own buffer");
        m_spRenderer = nullptr;
        CaptureAfterAClearAndAQuad(bWindow);
    }
}

void NiDX9RendererFrameTest::CaptureAfterAClearAndAQuad(bool bWindow)
{
    gfxtest::TestWindow kWindow(64, 48);
    ASSERT_NE(kWindow.handle, nullptr);
    const WindowHandle kHandle = bWindow ? kWindow.handle : nullptr;
    m_spRenderer = NiDX9Renderer::Create(64, 48, 0, kHandle, kHandle, 0, NiDX9Renderer::DEVDESC_PURE, 0, 0,
                                         NiDX9Renderer::PRESENT_INTERVAL_ONE, NiDX9Renderer::SWAPEFFECT_DEFAULT,
                                         NiDX9Renderer::FBMODE_LOCKABLE, 1, 0);
    ASSERT_NE(m_spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();
    IDirect3DDevice9* pkDevice = m_spRenderer->GetD3DDevice();
    m_spRenderer->SetBackgroundColor(NiColorRGBA(0x80 / 255.0f, 0x80 / 255.0f, 0x80 / 255.0f, 1.0f));
    ASSERT_TRUE(m_spRenderer->BeginScene());
    m_spRenderer->ClearBuffer(nullptr, NiRenderer::CLEAR_ALL);
    m_spRenderer->EndScene();

    NiRefPtr<NiPixelData> spWhole = m_spRenderer->CaptureBackBuffer(nullptr);
    ASSERT_NE(spWhole, nullptr);
    EXPECT_EQ(spWhole->GetWidth(), 64u);
    EXPECT_EQ(spWhole->GetHeight(), 48u);
    EXPECT_EQ(spWhole->GetNumMipmapLevels(), 1u);
    EXPECT_EQ(spWhole->GetPixelFormat(), m_spRenderer->GetDefaultRenderTarget()->GetFormat()->m_kPixelFormat);
    EXPECT_EQ(spWhole->GetPixelFormat().GetBitsPerPixel(), 32u);
    if (IsGl())
    {
        for (std::uint32_t uiY = 0; uiY < 48; uiY += 7)
        {
            for (std::uint32_t uiX = 0; uiX < 64; uiX += 5)
                ASSERT_EQ(Pixel(*spWhole, uiX, uiY), 0x808080u) << uiX << ", " << uiY;
        }
    }

    // A red quad over pixels (8, 4) to (23, 19), drawn pre-transformed.
    struct V
    {
        float x, y, z, rhw;
        std::uint32_t color;
    };
    const V akQuad[4] = {{7.5f, 3.5f, 0.5f, 1, 0xFFFF0000u},
                         {23.5f, 3.5f, 0.5f, 1, 0xFFFF0000u},
                         {7.5f, 19.5f, 0.5f, 1, 0xFFFF0000u},
                         {23.5f, 19.5f, 0.5f, 1, 0xFFFF0000u}};
    NiDX9RenderState* pkState = m_spRenderer->GetRenderState();
    pkState->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    pkState->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    pkState->SetRenderState(D3DRS_LIGHTING, 0);
    pkState->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    ASSERT_TRUE(m_spRenderer->BeginScene());
    ASSERT_EQ(pkDevice->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, akQuad, sizeof(V)), D3D_OK);
    m_spRenderer->EndScene();

    // The inclusive rectangle (6, 2)-(25, 21): the quad with a 2-pixel grey frame.
    const NiRect<std::int32_t> kAround(6, 25, 2, 21);
    NiRefPtr<NiPixelData> spPart = m_spRenderer->CaptureBackBuffer(&kAround);
    ASSERT_NE(spPart, nullptr);
    EXPECT_EQ(spPart->GetWidth(), 20u);
    EXPECT_EQ(spPart->GetHeight(), 20u);
    if (IsGl())
    {
        for (std::uint32_t uiY = 0; uiY < 20; ++uiY)
        {
            for (std::uint32_t uiX = 0; uiX < 20; ++uiX)
            {
                const bool bInside = uiX >= 2 && uiX < 18 && uiY >= 2 && uiY < 18;
                ASSERT_EQ(Pixel(*spPart, uiX, uiY), bInside ? 0xFF0000u : 0x808080u) << uiX << ", " << uiY;
            }
        }
    }
    m_spRenderer->DisplayFrame();
    m_spRenderer = nullptr;
}

TEST_P(NiDX9RendererFrameTest, CaptureRectanglesAreCutOrRefused)
{
    m_spRenderer = Create(64, 48);
    ASSERT_NE(m_spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();
    struct Case
    {
        NiRect<std::int32_t> m_kRect;
        std::uint32_t m_uiWidth; // 0: refused
        std::uint32_t m_uiHeight;
    };
    const Case akCases[] = {
        {{60, 100, 40, 100}, 4, 8},     // cut at the right and bottom edges
        {{0, 0, 0, 0}, 1, 1},           // one pixel
        {{63, 63, 47, 47}, 1, 1},       // the last pixel
        {{0, 63, 0, 47}, 64, 48},       // the whole buffer, inclusive
        {{64, 70, 0, 10}, 0, 0},        // left = width
        {{0, 10, 48, 50}, 0, 0},        // top = height
        {{-1, 10, 0, 10}, 0, 0},        // left outside
        {{0, 10, -5, 10}, 0, 0},        // top outside
        {{10, 9, 0, 10}, 0, 0},         // right < left
        {{0, 10, 10, 9}, 0, 0},         // bottom < top
    };
    for (const Case& kCase : akCases)
    {
        SCOPED_TRACE(::testing::Message() << kCase.m_kRect.m_left << " " << kCase.m_kRect.m_right << " "
                                          << kCase.m_kRect.m_top << " " << kCase.m_kRect.m_bottom);
        NiRefPtr<NiPixelData> spData = m_spRenderer->CaptureBackBuffer(&kCase.m_kRect);
        if (kCase.m_uiWidth == 0)
        {
            EXPECT_EQ(spData, nullptr);
            continue;
        }
        ASSERT_NE(spData, nullptr);
        EXPECT_EQ(spData->GetWidth(), kCase.m_uiWidth);
        EXPECT_EQ(spData->GetHeight(), kCase.m_uiHeight);
    }
}

TEST_P(NiDX9RendererFrameTest, ABackBufferThatCannotBeLockedGivesNoCapture)
{
    m_spRenderer = Create(64, 48, 0, NiDX9Renderer::FBMODE_DEFAULT);
    ASSERT_NE(m_spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();
    EXPECT_EQ(m_spRenderer->CaptureBackBuffer(nullptr), nullptr);
}

TEST_P(NiDX9RendererFrameTest, SixteenBitCapturesKeepTwoBytesAPixelWithoutPadding)
{
    m_spRenderer = Create(64, 48, NiDX9Renderer::USE_16BITBUFFERS, NiDX9Renderer::FBMODE_LOCKABLE,
                          NiDX9Renderer::FBFMT_R5G6B5);
    ASSERT_NE(m_spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();
    ASSERT_EQ(m_spRenderer->GetPresentParams().BackBufferFormat, D3DFMT_R5G6B5);
    EXPECT_EQ(m_spRenderer->GetBitDepth(), 16u);
    IDirect3DDevice9* pkDevice = m_spRenderer->GetD3DDevice();
    ASSERT_EQ(pkDevice->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FFu, 1.0f, 0), D3D_OK); // blue
    m_spRenderer->SetBackgroundColor(NiColorRGB(1.0f, 0.0f, 0.0f));
    const NiRect<float> kLeft(0.0f, 0.5f, 1.0f, 0.0f);
    m_spRenderer->ClearBuffer(&kLeft, NiRenderer::CLEAR_BACKBUFFER); // red on columns 0-31

    // Five pixels wide: rows of 10 bytes, the third pixel the last red one.
    const NiRect<std::int32_t> kRect(29, 33, 10, 12);
    NiRefPtr<NiPixelData> spData = m_spRenderer->CaptureBackBuffer(&kRect);
    ASSERT_NE(spData, nullptr);
    EXPECT_EQ(spData->GetPixelFormat(), NiPixelFormat::R5G6B5);
    EXPECT_EQ(spData->GetPixelStride(), 2u);
    EXPECT_EQ(spData->GetSizeInBytes(), 5u * 3u * 2u);
    if (!IsGl())
        return;
    const std::uint8_t* pucBytes = spData->GetPixels();
    for (std::uint32_t uiRow = 0; uiRow < 3; ++uiRow)
    {
        for (std::uint32_t uiX = 0; uiX < 5; ++uiX)
        {
            const std::uint16_t usPixel =
                std::uint16_t(pucBytes[uiRow * 10 + uiX * 2] | (pucBytes[uiRow * 10 + uiX * 2 + 1] << 8));
            EXPECT_EQ(usPixel, uiX < 3 ? 0xF800u : 0x001Fu) << uiRow << ", " << uiX;
        }
    }
}

TEST_P(NiDX9RendererFrameTest, AWorldTriangleThroughTheCameraCoversTheComputedPixels)
{
    m_spRenderer = Create(64, 48);
    ASSERT_NE(m_spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();
    IDirect3DDevice9* pkDevice = m_spRenderer->GetD3DDevice();
    NiDX9RenderState* pkState = m_spRenderer->GetRenderState();
    pkState->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    pkState->SetRenderState(D3DRS_LIGHTING, 0);
    pkState->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);

    // Looking down +z from the origin, 90 degrees each way, near 1, far 10.
    NiViewFrustum kFrustum;
    kFrustum.Set(-1.0f, 1.0f, 1.0f, -1.0f, 1.0f, 10.0f, false);
    m_spRenderer->SetCameraData(NiVec3(), NiVec3(0.0f, 0.0f, 1.0f), NiVec3(0.0f, 1.0f, 0.0f),
                                NiVec3(1.0f, 0.0f, 0.0f), kFrustum, NiRect<float>(0.0f, 1.0f, 1.0f, 0.0f));
    m_spRenderer->SetBackgroundColor(NiColorRGB(0.0f, 0.0f, 0.0f));
    ASSERT_TRUE(m_spRenderer->BeginScene());
    m_spRenderer->ClearBuffer(nullptr, NiRenderer::CLEAR_ALL);
    // The model sits 1 further away: its triangle at z 1 lands at world z 2,
    // with corners at x/z, y/z of (0, 0), (1, 0), (0, 1): pixels (32, 24),
    // (64, 24) and (32, 0).
    m_spRenderer->SetModelTransform(NiXform(NiMatrix3x3(), NiVec3(0.0f, 0.0f, 1.0f), 1.0f), true);
    struct V
    {
        float x, y, z;
        std::uint32_t color;
    };
    const V akTriangle[3] = {{0, 0, 1, 0xFF00FF00u}, {2, 0, 1, 0xFF00FF00u}, {0, 2, 1, 0xFF00FF00u}};
    ASSERT_EQ(pkDevice->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, akTriangle, sizeof(V)), D3D_OK);
    m_spRenderer->EndScene();
    NiRefPtr<NiPixelData> spData = m_spRenderer->CaptureBackBuffer(nullptr);
    ASSERT_NE(spData, nullptr);
    if (!IsGl())
        return;
    // Inside: x > 32, y < 24 and (x - 32) / 32 + (24 - y) / 24 < 1.
    for (const std::array<std::uint32_t, 2>& auiIn :
         {std::array<std::uint32_t, 2>{36, 20}, {50, 22}, {34, 5}, {40, 12}})
        EXPECT_EQ(Pixel(*spData, auiIn[0], auiIn[1]), 0x00FF00u) << auiIn[0] << ", " << auiIn[1];
    for (const std::array<std::uint32_t, 2>& auiOut :
         {std::array<std::uint32_t, 2>{30, 20}, {36, 26}, {60, 4}, {20, 30}, {50, 8}})
        EXPECT_EQ(Pixel(*spData, auiOut[0], auiOut[1]), 0u) << auiOut[0] << ", " << auiOut[1];
}
