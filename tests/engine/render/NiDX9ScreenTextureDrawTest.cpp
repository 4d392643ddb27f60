// Screen textures on the device renderer: what is drawn and when, the four
// corners of each rectangle half a pixel up and left, wrapped into the
// target, the private state and the caller's sets given back; on `gl` a
// point-filtered texture lands texel for texel.
#include "engine/render/NiDX9GeometryBufferGroup.h"
#include "engine/render/NiDX9RendererLibrary.h"
#include "engine/render/NiScreenTexture.h"
#include "engine/render/NiSourceTexture.h"
#include "engine/render/image/NiImageFileConverter.h"
#include "engine/scene/NiEffectSet.h"
#include "engine/scene/NiPropertySet.h"
#include "engine/scene/NiTexturingProperty.h"
#include "tests/engine/render/RendererTestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

using namespace gfx;

namespace
{
class NiDX9ScreenTextureDrawTest : public rendertest::RendererTest
{
public:
    void SetUp() override
    {
        NiDX9RendererLibraryReset();
        NiDX9RendererLibraryStartup();
        RendererTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        NiImageConverter::SetCurrent(new NiImageFileConverter);
        m_spRenderer = NiDX9Renderer::Create(64, 48, 0, nullptr, nullptr, 0, NiDX9Renderer::DEVDESC_PURE, 0, 0,
                                             NiDX9Renderer::PRESENT_INTERVAL_ONE, NiDX9Renderer::SWAPEFFECT_DEFAULT,
                                             NiDX9Renderer::FBMODE_LOCKABLE, 1, 0);
        ASSERT_NE(m_spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();
        m_pkDevice = m_spRenderer->GetD3DDevice();

        // An 8 x 8 texture, every texel its own colour, sampled point by point.
        NiPixelDataPtr spImage = new NiPixelData(8, 8, NiPixelFormat::RGBA32, 1);
        std::uint8_t* puc = spImage->GetPixels();
        for (std::uint32_t uiY = 0; uiY < 8; ++uiY)
        {
            for (std::uint32_t uiX = 0; uiX < 8; ++uiX)
            {
                const std::uint8_t aucTexel[4] = {std::uint8_t(uiX * 32 + 7), std::uint8_t(uiY * 32 + 3),
                                                  std::uint8_t((uiX + uiY) * 16), 255};
                std::memcpy(puc + 4 * (uiY * 8 + uiX), aucTexel, 4);
                m_auiTexels[uiY * 8 + uiX] =
                    (std::uint32_t(aucTexel[0]) << 16) | (std::uint32_t(aucTexel[1]) << 8) | aucTexel[2];
            }
        }
        m_spTexture = NiSourceTexture::CreateFromPixelData(spImage, NiTexture::FormatPrefs());
        ASSERT_NE(m_spTexture, nullptr);
        m_spScreen = new NiScreenTexture(m_spTexture);
        m_spScreen->GetTexturingProperty()->GetMap(NiTexturingProperty::BASE_INDEX)->SetFilterMode(
            NiTextureMap::FILTER_NEAREST);
    }
    void TearDown() override
    {
        m_spScreen = nullptr;
        m_spTexture = nullptr;
        RendererTest::TearDown();
        NiImageConverter::ReleaseCurrent();
        NiDX9RendererLibraryReset();
    }

    std::vector<RecordedCall> Draws() const
    {
        std::vector<RecordedCall> k;
        for (const RecordedCall& c : m_pkDevice->RecordedCalls())
            if (c.kind == RecordedCall::Kind::DrawPrimitive || c.kind == RecordedCall::Kind::DrawIndexedPrimitive)
                k.push_back(c);
        return k;
    }

    // The packed vertices: x, y, z, rhw, colour, u, v.
    struct Vertex
    {
        float x, y, z, rhw;
        std::uint32_t color;
        float u, v;
    };
    std::vector<Vertex> Vertices() const
    {
        std::vector<Vertex> kVertices;
        auto* pkRecord = static_cast<NiDX9GeometryBufferData*>(m_spScreen->GetRendererData());
        if (pkRecord == nullptr || pkRecord->GetStream(0) == nullptr || pkRecord->GetStride(0) != sizeof(Vertex))
            return kVertices;
        NiDX9VertexBufferRange* pkRange = pkRecord->GetStream(0);
        void* pv = nullptr;
        if (pkRange->m_pkVB->Lock(pkRange->m_uiOffset, pkRecord->m_uiVertCount * sizeof(Vertex), &pv,
                                  D3DLOCK_READONLY) != D3D_OK)
            return kVertices;
        kVertices.resize(pkRecord->m_uiVertCount);
        std::memcpy(kVertices.data(), pv, kVertices.size() * sizeof(Vertex));
        pkRange->m_pkVB->Unlock();
        return kVertices;
    }

    std::uint32_t StateOnDevice(std::uint32_t uiState) const
    {
        std::uint32_t uiValue = 0;
        m_pkDevice->GetRenderState(uiState, &uiValue);
        return uiValue;
    }

    IDirect3DDevice9* m_pkDevice = nullptr;
    NiSourceTexturePtr m_spTexture;
    NiScreenTexturePtr m_spScreen;
    std::array<std::uint32_t, 64> m_auiTexels{};
};
RENDERER_BOTH_BACKENDS(NiDX9ScreenTextureDrawTest);

TEST_P(NiDX9ScreenTextureDrawTest, NothingIsDrawnOutsideASceneOrWithoutRectangles)
{
    m_pkDevice->SetCallRecording(true);
    m_spRenderer->RenderScreenTexture(m_spScreen); // no rectangles
    m_spScreen->AddScreenRect(0, 0, 8, 8, 0, 0, NiColorRGBA(1, 1, 1, 1));
    m_spRenderer->RenderScreenTexture(m_spScreen); // no scene
    ASSERT_TRUE(m_spRenderer->BeginScene());
    m_spRenderer->RenderScreenTexture(nullptr);
    m_spScreen->RemoveAllScreenRects();
    m_spRenderer->RenderScreenTexture(m_spScreen);
    m_spRenderer->EndScene();
    EXPECT_TRUE(Draws().empty());
    EXPECT_EQ(m_spScreen->GetRendererData(), nullptr);
}

TEST_P(NiDX9ScreenTextureDrawTest, RectanglesBecomeFourCornersAndSixIndicesEach)
{
    m_spScreen->AddScreenRect(10, 20, 8, 16, 0, 4, NiColorRGBA(1.0f, 0.5f, 0.0f, 1.0f));
    // Left and top outside the 64 x 48 target wrap into it.
    m_spScreen->AddScreenRect(-6, 70, 2, 3, 1, 2, NiColorRGBA(0.0f, 0.0f, 1.0f, 0.5f));
    NiRefPtr<NiPropertySet> spCallerSet = new NiPropertySet;
    NiRefPtr<NiEffectSet> spCallerEffects = new NiEffectSet;
    m_spRenderer->SetPropertyState(spCallerSet);
    m_spRenderer->SetEffectState(spCallerEffects);
    m_spScreen->MarkAsChanged(NiScreenTexture::EVERYTHING_MASK);

    ASSERT_TRUE(m_spRenderer->BeginScene());
    m_pkDevice->SetCallRecording(true);
    m_spRenderer->RenderScreenTexture(m_spScreen);
    const std::vector<RecordedCall> kDraws = Draws();
    ASSERT_EQ(kDraws.size(), 1u);
    EXPECT_EQ(kDraws[0].kind, RecordedCall::Kind::DrawIndexedPrimitive);
    EXPECT_EQ(kDraws[0].primitiveType, D3DPT_TRIANGLELIST);
    EXPECT_EQ(kDraws[0].primitiveCount, 4u);
    EXPECT_EQ(kDraws[0].numVertices, 8u);
    EXPECT_EQ(kDraws[0].startIndex, 0u);
    auto* pkRecord = static_cast<NiDX9GeometryBufferData*>(m_spScreen->GetRendererData());
    ASSERT_NE(pkRecord, nullptr);
    EXPECT_EQ(pkRecord->m_uiVertCount, 8u);
    EXPECT_EQ(pkRecord->m_uiIndexCount, 12u);
    EXPECT_EQ(m_spScreen->GetChangeFlags(), 0u);

    // The private state it was drawn with: blending, no depth, unlit.
    EXPECT_EQ(StateOnDevice(D3DRS_ALPHABLENDENABLE), 1u);
    EXPECT_EQ(StateOnDevice(D3DRS_ZENABLE), std::uint32_t(D3DZB_FALSE));
    EXPECT_EQ(StateOnDevice(D3DRS_ZWRITEENABLE), 0u);
    EXPECT_EQ(StateOnDevice(D3DRS_SRCBLEND), std::uint32_t(D3DBLEND_SRCALPHA));
    EXPECT_EQ(StateOnDevice(D3DRS_DESTBLEND), std::uint32_t(D3DBLEND_INVSRCALPHA));
    EXPECT_EQ(StateOnDevice(D3DRS_LIGHTING), 0u);
    // The caller's sets come back.
    EXPECT_EQ(m_spRenderer->GetPropertyState(), spCallerSet.Get());
    EXPECT_EQ(m_spRenderer->GetEffectState(), spCallerEffects.Get());
    m_spRenderer->EndScene();

    const std::vector<Vertex> kVertices = Vertices();
    ASSERT_EQ(kVertices.size(), 8u);
    const std::array<std::array<float, 4>, 4> aafFirst = {{{19.5f, 9.5f, 0.5f, 0.0f},
                                                            {19.5f, 25.5f, 0.5f, 2.0f},
                                                            {27.5f, 9.5f, 1.5f, 0.0f},
                                                            {27.5f, 25.5f, 1.5f, 2.0f}}};
    for (std::uint32_t i = 0; i < 4; ++i)
    {
        EXPECT_FLOAT_EQ(kVertices[i].x, aafFirst[i][0]) << i;
        EXPECT_FLOAT_EQ(kVertices[i].y, aafFirst[i][1]) << i;
        EXPECT_FLOAT_EQ(kVertices[i].u, aafFirst[i][2]) << i;
        EXPECT_FLOAT_EQ(kVertices[i].v, aafFirst[i][3]) << i;
        EXPECT_EQ(kVertices[i].color, 0xFFFF8000u) << i;
    }
    // 70 - 64 = 6, -6 + 48 = 42.
    EXPECT_FLOAT_EQ(kVertices[4].x, 5.5f);
    EXPECT_FLOAT_EQ(kVertices[4].y, 41.5f);
    EXPECT_FLOAT_EQ(kVertices[7].x, 7.5f);
    EXPECT_FLOAT_EQ(kVertices[7].y, 44.5f);
    EXPECT_FLOAT_EQ(kVertices[4].u, 2.0f / 8.0f);
    EXPECT_FLOAT_EQ(kVertices[4].v, 1.0f / 8.0f);
    EXPECT_EQ(kVertices[5].color, 0x800000FFu);

    // Unchanged rectangles are not written again; a third one is.
    m_spScreen->GetScreenRect(0).m_sPixLeft = 0;
    ASSERT_TRUE(m_spRenderer->BeginScene());
    m_spRenderer->RenderScreenTexture(m_spScreen);
    m_spRenderer->EndScene();
    EXPECT_FLOAT_EQ(Vertices()[0].x, 19.5f);
    m_spScreen->AddScreenRect(0, 0, 1, 1, 0, 0, NiColorRGBA(1, 1, 1, 1));
    m_spScreen->MarkAsChanged(NiScreenTexture::EVERYTHING_MASK);
    m_pkDevice->ClearRecordedCalls();
    ASSERT_TRUE(m_spRenderer->BeginScene());
    m_spRenderer->RenderScreenTexture(m_spScreen);
    m_spRenderer->EndScene();
    ASSERT_EQ(Draws().size(), 1u);
    EXPECT_EQ(Draws()[0].primitiveCount, 6u);
    EXPECT_FLOAT_EQ(Vertices()[0].x, -0.5f);

    // The record goes with the screen texture.
    m_spScreen = nullptr;
    EXPECT_EQ(NiDX9GeometryBufferGroup::GetStaticInstance()->GetGeometryCount(), 0u);
}

TEST_P(NiDX9ScreenTextureDrawTest, APointFilteredTextureLandsTexelForTexel)
{
    m_spScreen->AddScreenRect(10, 20, 8, 8, 0, 0, NiColorRGBA(1, 1, 1, 1));
    m_spRenderer->SetBackgroundColor(NiColorRGB(0.0f, 0.0f, 0.0f));
    ASSERT_TRUE(m_spRenderer->BeginScene());
    m_spRenderer->ClearBuffer(nullptr, NiRenderer::CLEAR_ALL);
    m_spRenderer->RenderScreenTexture(m_spScreen);
    m_spRenderer->EndScene();
    NiRefPtr<NiPixelData> spCapture = m_spRenderer->CaptureBackBuffer(nullptr);
    ASSERT_NE(spCapture, nullptr);
    if (GetParam() != BackendKind::Gl)
        return;
    auto Pixel = [&](std::uint32_t uiX, std::uint32_t uiY)
    {
        const std::uint8_t* puc = spCapture->GetPixels() + (uiY * 64 + uiX) * 4;
        return (std::uint32_t(puc[2]) << 16) | (std::uint32_t(puc[1]) << 8) | puc[0];
    };
    for (std::uint32_t uiY = 0; uiY < 8; ++uiY)
    {
        for (std::uint32_t uiX = 0; uiX < 8; ++uiX)
            EXPECT_EQ(Pixel(20 + uiX, 10 + uiY), m_auiTexels[uiY * 8 + uiX]) << uiX << "," << uiY;
    }
    for (std::uint32_t uiAt = 0; uiAt < 10; ++uiAt)
    {
        EXPECT_EQ(Pixel(19, 10 + uiAt), 0u);
        EXPECT_EQ(Pixel(28, 10 + uiAt), 0u);
        EXPECT_EQ(Pixel(19 + uiAt, 9), 0u);
        EXPECT_EQ(Pixel(19 + uiAt, 18), 0u);
    }
}
} // namespace
