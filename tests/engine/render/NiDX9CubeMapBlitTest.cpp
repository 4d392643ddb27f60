// Source cube maps and blit sources on the device: the six faces' data and
// their replacements, one level only, refreshing changed faces; blit-source
// surfaces and blits cut to the source and the target. On `gl` each cube face
// is sampled and each blit read back.
#include "engine/render/NiBltSource.h"
#include "engine/render/NiDX9BltSourceData.h"
#include "engine/render/NiDX9RenderTarget.h"
#include "engine/render/NiDX9SourceCubeMapData.h"
#include "engine/render/NiSourceCubeMap.h"
#include "engine/render/image/NiImageFileConverter.h"
#include "tests/engine/render/RendererTestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

using namespace gfx;
using Prefs = NiTexture::FormatPrefs;

namespace
{
// One solid colour per face, 0xAARRGGBB.
constexpr std::array<std::uint32_t, 6> FACE_COLORS = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF,
                                                      0xFFFFFF00, 0xFF00FFFF, 0xFFFF00FF};

NiPixelDataPtr Solid(std::uint32_t uiEdge, std::uint32_t uiColor, std::uint32_t uiLevels = 1,
                     const NiPixelFormat& kFormat = NiPixelFormat::A8R8G8B8)
{
    NiPixelDataPtr spImage = new NiPixelData(uiEdge, uiEdge, kFormat, uiLevels);
    for (std::uint32_t uiLevel = 0; uiLevel < uiLevels; ++uiLevel)
    {
        auto* pui = reinterpret_cast<std::uint32_t*>(spImage->GetPixels(uiLevel));
        for (std::uint32_t i = 0; i < spImage->GetSizeInBytes(uiLevel) / 4; ++i)
            pui[i] = uiColor;
    }
    return spImage;
}

class NiDX9CubeMapBlitTest : public rendertest::RendererTest
{
public:
    void SetUp() override
    {
        RendererTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        NiImageConverter::SetCurrent(new NiImageFileConverter);
    }
    void TearDown() override
    {
        m_spCube = nullptr;
        NiImageConverter::ReleaseCurrent();
        RendererTest::TearDown();
    }

    NiDX9RendererPtr Create(std::uint32_t uiWidth = 64, std::uint32_t uiHeight = 48)
    {
        return NiDX9Renderer::Create(uiWidth, uiHeight, 0, nullptr, nullptr, 0, NiDX9Renderer::DEVDESC_PURE, 0, 0,
                                     NiDX9Renderer::PRESENT_INTERVAL_ONE, NiDX9Renderer::SWAPEFFECT_DEFAULT,
                                     NiDX9Renderer::FBMODE_LOCKABLE, 1, 0);
    }

    // A cube map of six faces of the given pixel data.
    NiSourceCubeMap* MakeCube(const std::array<NiPixelDataPtr, 6>& aspFaces, const Prefs& kPrefs = Prefs())
    {
        m_spCube = new NiSourceCubeMap;
        m_spCube->SetFormatPreferences(kPrefs);
        for (std::uint32_t uiFace = 0; uiFace < 6; ++uiFace)
            m_spCube->SetFacePixelData(uiFace, aspFaces[uiFace]);
        return m_spCube;
    }

    // The renderer's data of a cube of these faces, mip-mapped by preference.
    NiDX9SourceCubeMapData* MipMappedCubeData(const std::array<NiPixelDataPtr, 6>& aspFaces)
    {
        Prefs kPrefs;
        kPrefs.m_eMipMapped = Prefs::YES;
        MakeCube(aspFaces, kPrefs);
        NiDX9SourceCubeMapData* pkData = NiDX9SourceCubeMapData::Create(m_spCube, m_spRenderer);
        EXPECT_NE(pkData, nullptr);
        EXPECT_TRUE(pkData == nullptr || !pkData->IsReplacementData());
        return pkData;
    }

    NiDX9SourceCubeMapData* CubeData() const
    {
        return dynamic_cast<NiDX9SourceCubeMapData*>(m_spCube->GetRendererData());
    }

    // The first texel of a face's level on the device (its own copy).
    static std::uint32_t FaceTexel(IDirect3DCubeTexture9* pkCube, std::uint32_t uiFace, std::uint32_t uiLevel = 0)
    {
        IDirect3DSurface9* pkSurface = pkCube->Face(uiFace, uiLevel);
        D3DLOCKED_RECT kLocked{};
        if (pkSurface->LockRect(&kLocked, nullptr, D3DLOCK_READONLY) != D3D_OK)
            return 0;
        std::uint32_t uiTexel = 0;
        std::memcpy(&uiTexel, kLocked.pBits, 4);
        pkSurface->UnlockRect();
        return uiTexel;
    }

    // A back-buffer pixel as 0xRRGGBB.
    std::uint32_t Pixel(const NiPixelData& kCapture, std::uint32_t uiX, std::uint32_t uiY) const
    {
        const std::uint8_t* puc = kCapture.GetPixels() + (uiY * kCapture.GetWidth() + uiX) * 4;
        return (std::uint32_t(puc[2]) << 16) | (std::uint32_t(puc[1]) << 8) | puc[0];
    }

    // Each face drawn into its own 8 x 8 square of the top row, sampled
    // along its axis; the capture of the frame.
    NiRefPtr<NiPixelData> DrawFaces(IDirect3DCubeTexture9* pkCube)
    {
        IDirect3DDevice9* pkDevice = m_spRenderer->GetD3DDevice();
        m_spRenderer->SetBackgroundColor(NiColorRGB(0.0f, 0.0f, 0.0f));
        if (!m_spRenderer->BeginScene())
            return nullptr;
        m_spRenderer->ClearBuffer(nullptr, NiRenderer::CLEAR_ALL);
        NiDX9RenderState* pkState = m_spRenderer->GetRenderState();
        pkState->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        pkState->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
        pkState->SetRenderState(D3DRS_LIGHTING, 0);
        pkState->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        pkState->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        pkState->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
        pkState->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1 | (1u << 16));
        pkDevice->SetTexture(0, pkCube);
        struct Direction
        {
            float x, y, z, rhw;
            float u, v, w;
        };
        const std::array<std::array<float, 3>, 6> aafAxes = {
            {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}}};
        for (std::uint32_t uiFace = 0; uiFace < 6; ++uiFace)
        {
            const float fLeft = 8.0f * float(uiFace) - 0.5f;
            const std::array<float, 3>& af = aafAxes[uiFace];
            const Direction akQuad[4] = {{fLeft, -0.5f, 0.5f, 1, af[0], af[1], af[2]},
                                         {fLeft + 8.0f, -0.5f, 0.5f, 1, af[0], af[1], af[2]},
                                         {fLeft, 7.5f, 0.5f, 1, af[0], af[1], af[2]},
                                         {fLeft + 8.0f, 7.5f, 0.5f, 1, af[0], af[1], af[2]}};
            pkDevice->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, akQuad, sizeof(Direction));
        }
        m_spRenderer->EndScene();
        pkDevice->SetTexture(0, nullptr);
        return m_spRenderer->CaptureBackBuffer(nullptr);
    }

    [[nodiscard]] bool IsGl() const { return GetParam() == BackendKind::Gl; }

    NiRefPtr<NiSourceCubeMap> m_spCube;
};
RENDERER_BOTH_BACKENDS(NiDX9CubeMapBlitTest);

TEST_P(NiDX9CubeMapBlitTest, SixFacesFillTheCubeFaceByFace)
{
    m_spRenderer = Create();
    ASSERT_NE(m_spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();
    std::array<NiPixelDataPtr, 6> aspFaces;
    for (std::uint32_t uiFace = 0; uiFace < 6; ++uiFace)
        aspFaces[uiFace] = Solid(8, FACE_COLORS[uiFace]);
    MakeCube(aspFaces);
    ASSERT_TRUE(m_spRenderer->PrecacheCubeMap(m_spCube));
    NiDX9SourceCubeMapData* pkData = CubeData();
    ASSERT_NE(pkData, nullptr);
    EXPECT_FALSE(pkData->IsReplacementData());
    IDirect3DCubeTexture9* pkCube = pkData->GetCubeTexture();
    ASSERT_NE(pkCube, nullptr);
    EXPECT_EQ(pkData->GetD3DTexture(), pkCube);
    EXPECT_EQ(pkCube->Pool(), std::uint32_t(D3DPOOL_MANAGED));
    EXPECT_EQ(pkData->GetWidth(), 8u);
    EXPECT_EQ(pkData->GetLevels(), 1u);
    EXPECT_EQ(pkData->GetSourceSize(), 6u * 8u * 8u * 4u);
    for (std::uint32_t uiFace = 0; uiFace < 6; ++uiFace)
    {
        EXPECT_EQ(pkData->GetFaceError(uiFace), 0u);
        EXPECT_EQ(FaceTexel(pkCube, uiFace), FACE_COLORS[uiFace]) << "face " << uiFace;
    }
    // A second precache keeps the data.
    EXPECT_TRUE(m_spRenderer->PrecacheCubeMap(m_spCube));
    EXPECT_EQ(CubeData(), pkData);

    NiRefPtr<NiPixelData> spCapture = DrawFaces(pkCube);
    ASSERT_NE(spCapture, nullptr);
    if (IsGl())
    {
        for (std::uint32_t uiFace = 0; uiFace < 6; ++uiFace)
        {
            for (std::uint32_t uiAt : {0u, 3u, 7u})
                EXPECT_EQ(Pixel(*spCapture, 8 * uiFace + uiAt, uiAt), FACE_COLORS[uiFace] & 0xFFFFFF)
                    << "face " << uiFace;
        }
        EXPECT_EQ(Pixel(*spCapture, 48, 0), 0u);
        EXPECT_EQ(Pixel(*spCapture, 0, 8), 0u);
    }
}

TEST_P(NiDX9CubeMapBlitTest, AFaceOfAnotherSizeMakesSixReplacementFaces)
{
    m_spRenderer = Create();
    ASSERT_NE(m_spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();
    std::array<NiPixelDataPtr, 6> aspFaces;
    for (std::uint32_t uiFace = 0; uiFace < 6; ++uiFace)
        aspFaces[uiFace] = Solid(uiFace == 3 ? 128 : 256, FACE_COLORS[uiFace]);
    MakeCube(aspFaces);
    NiDX9SourceCubeMapData* pkData = NiDX9SourceCubeMapData::Create(m_spCube, m_spRenderer);
    ASSERT_NE(pkData, nullptr);
    EXPECT_EQ(m_spCube->GetRendererData(), pkData);
    EXPECT_TRUE(pkData->IsReplacementData());
    for (std::uint32_t uiFace = 0; uiFace < 6; ++uiFace)
        EXPECT_EQ(pkData->GetFaceError(uiFace), uiFace == 3 ? 0x80000006u : 0x80000002u) << "face " << uiFace;
    EXPECT_EQ(pkData->GetWidth(), NiTexture::REPLACEMENT_SIDE);
    ASSERT_NE(pkData->GetCubeTexture(), nullptr);
    // The faces hold the replacement images of their codes.
    const NiPixelDataPtr spCyan = NiTexture::GetReplacementPixelData(m_spCube, 0x80000006u);
    const NiPixelDataPtr spOther = NiTexture::GetReplacementPixelData(m_spCube, 0x80000002u);
    ASSERT_NE(spCyan, nullptr);
    std::uint32_t uiCyan = 0, uiOther = 0;
    std::memcpy(&uiCyan, spCyan->GetPixels(), 4);
    std::memcpy(&uiOther, spOther->GetPixels(), 4);
    EXPECT_NE(uiCyan, uiOther);
    EXPECT_EQ(FaceTexel(pkData->GetCubeTexture(), 3), uiCyan);
    EXPECT_EQ(FaceTexel(pkData->GetCubeTexture(), 0), uiOther);
    EXPECT_EQ(pkData->GetSourceSize(), 6u * spCyan->GetTotalSizeInBytes());

    // A missing face and a face of another format.
    aspFaces = {};
    for (std::uint32_t uiFace = 0; uiFace < 6; ++uiFace)
        aspFaces[uiFace] = Solid(16, FACE_COLORS[uiFace]);
    aspFaces[1] = nullptr;
    aspFaces[5] = new NiPixelData(16, 16, NiPixelFormat::RGB24, 1);
    MakeCube(aspFaces);
    pkData = NiDX9SourceCubeMapData::Create(m_spCube, m_spRenderer);
    ASSERT_NE(pkData, nullptr);
    EXPECT_EQ(pkData->GetFaceError(1), 0x80000005u);
    EXPECT_EQ(pkData->GetFaceError(5), 0x80000002u);
    EXPECT_EQ(pkData->GetFaceError(0), 0x80000002u);
    // A face 0 that is not square.
    aspFaces[1] = Solid(16, 0);
    aspFaces[5] = Solid(16, 0);
    aspFaces[0] = new NiPixelData(16, 8, NiPixelFormat::A8R8G8B8, 1);
    MakeCube(aspFaces);
    pkData = NiDX9SourceCubeMapData::Create(m_spCube, m_spRenderer);
    ASSERT_NE(pkData, nullptr);
    EXPECT_EQ(pkData->GetFaceError(0), 0x80000006u);
    EXPECT_EQ(pkData->GetFaceError(2), 0x80000006u); // not face 0's size either
}

// A device that mip-maps cube maps: mip-mapped faces make their whole chain,
// every level of every face filled, and a draw reads the level its sampler
// states choose.
TEST_P(NiDX9CubeMapBlitTest, MipMappedFacesMakeTheirWholeChain)
{
    m_spRenderer = Create();
    ASSERT_NE(m_spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();
    ASSERT_TRUE(m_spRenderer->GetMipmapCubeMaps());
    // Level k of face f holds the colour of face f + k.
    std::array<NiPixelDataPtr, 6> aspFaces;
    for (std::uint32_t uiFace = 0; uiFace < 6; ++uiFace)
    {
        aspFaces[uiFace] = Solid(64, FACE_COLORS[uiFace], 7);
        for (std::uint32_t uiLevel = 1; uiLevel < 7; ++uiLevel)
        {
            auto* pui = reinterpret_cast<std::uint32_t*>(aspFaces[uiFace]->GetPixels(uiLevel));
            for (std::uint32_t i = 0; i < aspFaces[uiFace]->GetSizeInBytes(uiLevel) / 4; ++i)
                pui[i] = FACE_COLORS[(uiFace + uiLevel) % 6];
        }
    }
    NiDX9SourceCubeMapData* pkData = MipMappedCubeData(aspFaces);
    ASSERT_NE(pkData, nullptr);
    IDirect3DCubeTexture9* pkCube = pkData->GetCubeTexture();
    ASSERT_NE(pkCube, nullptr);
    EXPECT_EQ(pkCube->GetLevelCount(), 7u);
    EXPECT_EQ(pkData->GetLevels(), 7u);
    for (std::uint32_t uiFace = 0; uiFace < 6; ++uiFace)
        for (std::uint32_t uiLevel = 0; uiLevel < 7; ++uiLevel)
            EXPECT_EQ(FaceTexel(pkCube, uiFace, uiLevel), FACE_COLORS[(uiFace + uiLevel) % 6])
                << "face " << uiFace << " level " << uiLevel;
    bool bChanged = false, bMipmapped = false;
    EXPECT_EQ(m_spRenderer->GetTextureManager()->GetD3DTextureForRendering(m_spCube, bChanged, bMipmapped), pkCube);
    EXPECT_TRUE(bMipmapped);

    // Level 3 as the most detailed one, chosen by the mip filter (the cache
    // numbers sampler states from 0 for the device's 1).
    NiDX9RenderState* pkState = m_spRenderer->GetRenderState();
    pkState->SetSamplerState(0, D3DSAMP_MIPFILTER - 1, D3DTEXF_POINT);
    pkState->SetSamplerState(0, D3DSAMP_MAXMIPLEVEL - 1, 3);
    NiRefPtr<NiPixelData> spCapture = DrawFaces(pkCube);
    pkState->SetSamplerState(0, D3DSAMP_MAXMIPLEVEL - 1, 0);
    pkState->SetSamplerState(0, D3DSAMP_MIPFILTER - 1, D3DTEXF_NONE);
    ASSERT_NE(spCapture, nullptr);
    if (IsGl())
    {
        for (std::uint32_t uiFace = 0; uiFace < 6; ++uiFace)
            EXPECT_EQ(Pixel(*spCapture, 8 * uiFace + 3, 3), FACE_COLORS[(uiFace + 3) % 6] & 0xFFFFFF)
                << "face " << uiFace;
    }
}

namespace
{
// The device's caps without mip-mapped cube maps.
HRESULT CapsWithoutMipCubes(IDirect3DDevice9* pkDevice, D3DCAPS9* pkCaps)
{
    const HRESULT hr = pkDevice->GetDeviceCaps(pkCaps);
    pkCaps->TextureCaps &= ~D3DPTEXTURECAPS_MIPCUBEMAP;
    return hr;
}
} // namespace

TEST_P(NiDX9CubeMapBlitTest, MipMappedFacesMakeOneLevelWithoutMipmappedCubesAndChangedFacesAreCopiedAgain)
{
    NiDX9Renderer::SetDeviceCapsFunction(&CapsWithoutMipCubes);
    m_spRenderer = Create();
    NiDX9Renderer::SetDeviceCapsFunction(nullptr);
    ASSERT_NE(m_spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();
    ASSERT_FALSE(m_spRenderer->GetMipmapCubeMaps());
    std::array<NiPixelDataPtr, 6> aspFaces;
    for (std::uint32_t uiFace = 0; uiFace < 6; ++uiFace)
        aspFaces[uiFace] = Solid(64, FACE_COLORS[uiFace], 7);
    NiDX9SourceCubeMapData* pkData = MipMappedCubeData(aspFaces);
    ASSERT_NE(pkData, nullptr);
    ASSERT_NE(pkData->GetCubeTexture(), nullptr);
    EXPECT_EQ(pkData->GetCubeTexture()->GetLevelCount(), 1u);
    EXPECT_EQ(pkData->GetLevels(), 1u);
    EXPECT_EQ(pkData->GetWidth(), 64u);

    // Face 2 changes: only it is copied again, and its counter follows.
    const std::uint32_t uiOldRev = pkData->GetFaceRevID(2);
    auto* pui = reinterpret_cast<std::uint32_t*>(aspFaces[2]->GetPixels());
    pui[0] = 0xFF123456;
    aspFaces[2]->MarkAsChanged();
    // Face 4 changes its bytes without saying so: not copied.
    reinterpret_cast<std::uint32_t*>(aspFaces[4]->GetPixels())[0] = 0xFF654321;
    pkData->Update();
    EXPECT_NE(pkData->GetFaceRevID(2), uiOldRev);
    EXPECT_EQ(FaceTexel(pkData->GetCubeTexture(), 2), 0xFF123456u);
    EXPECT_EQ(FaceTexel(pkData->GetCubeTexture(), 4), FACE_COLORS[4]);
    EXPECT_EQ(FaceTexel(pkData->GetCubeTexture(), 0), FACE_COLORS[0]);

    // The texture manager refreshes it the same way.
    pui[0] = 0xFF0F0F0F;
    aspFaces[2]->MarkAsChanged();
    m_spCube->SetStatic(false);
    bool bChanged = false, bMipmapped = true;
    EXPECT_EQ(m_spRenderer->GetTextureManager()->GetD3DTextureForRendering(m_spCube, bChanged, bMipmapped),
              pkData->GetCubeTexture());
    EXPECT_EQ(FaceTexel(pkData->GetCubeTexture(), 2), 0xFF0F0F0Fu);
    EXPECT_FALSE(bMipmapped);
}

TEST_P(NiDX9CubeMapBlitTest, ADeviceWithoutCubeFormatsMakesNoCubeData)
{
    ASSERT_EQ(NiDX9Renderer::LoadD3D9(), 0);
    NiDX9Renderer::GetDirect3D()->RefuseResourceType(D3DRTYPE_CUBETEXTURE);
    m_spRenderer = Create();
    NiDX9Renderer::GetDirect3D()->RefuseResourceType(0);
    ASSERT_NE(m_spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();
    EXPECT_EQ(m_spRenderer->GetDefaultTextureFormat(NiDX9Renderer::TEXUSE_CUBE), nullptr);
    std::array<NiPixelDataPtr, 6> aspFaces;
    for (std::uint32_t uiFace = 0; uiFace < 6; ++uiFace)
        aspFaces[uiFace] = Solid(8, FACE_COLORS[uiFace]);
    MakeCube(aspFaces);
    EXPECT_EQ(NiDX9SourceCubeMapData::Create(m_spCube, m_spRenderer), nullptr);
    EXPECT_FALSE(m_spRenderer->PrecacheCubeMap(m_spCube));
    EXPECT_EQ(m_spCube->GetRendererData(), nullptr);
}

TEST_P(NiDX9CubeMapBlitTest, ABlitSourceBecomesASystemMemorySurfaceInTheBackBufferFormat)
{
    m_spRenderer = Create();
    ASSERT_NE(m_spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();
    const NiDX9Renderer::TextureFormatEntry* pkFormat = m_spRenderer->GetDefaultRenderTarget()->GetFormat();
    ASSERT_NE(pkFormat, nullptr);

    // A 5 x 3 image as the image readers give it (R, G, B, A bytes): every
    // texel differs.
    NiPixelDataPtr spImage = new NiPixelData(5, 3, NiPixelFormat::RGBA32, 1);
    std::uint8_t* puc = spImage->GetPixels();
    std::array<std::uint32_t, 15> auiExpected{};
    for (std::uint32_t i = 0; i < 15; ++i)
    {
        const std::uint8_t aucTexel[4] = {std::uint8_t(i * 17), std::uint8_t(255 - i * 9), std::uint8_t(i * 5 + 3),
                                          255};
        std::memcpy(puc + 4 * i, aucTexel, 4);
        auiExpected[i] = (std::uint32_t(aucTexel[0]) << 16) | (std::uint32_t(aucTexel[1]) << 8) | aucTexel[2];
    }
    NiBltSourcePtr spSource = new NiBltSource;
    spSource->SetSourcePixelData(spImage);
    ASSERT_TRUE(m_spRenderer->CreateBltSourceData(spSource));
    auto* pkData = dynamic_cast<NiDX9BltSourceData*>(spSource->GetRendererData());
    ASSERT_NE(pkData, nullptr);
    EXPECT_EQ(spSource->GetWidth(), 5u);
    EXPECT_EQ(spSource->GetHeight(), 3u);
    IDirect3DSurface9* pkSurface = pkData->GetSurface();
    ASSERT_NE(pkSurface, nullptr);
    EXPECT_EQ(pkSurface->Pool(), std::uint32_t(D3DPOOL_SYSTEMMEM));
    EXPECT_EQ(pkSurface->Format(), pkFormat->m_eD3DFormat);
    D3DLOCKED_RECT kLocked{};
    ASSERT_EQ(pkSurface->LockRect(&kLocked, nullptr, D3DLOCK_READONLY), D3D_OK);
    for (std::uint32_t uiRow = 0; uiRow < 3; ++uiRow)
    {
        for (std::uint32_t uiCol = 0; uiCol < 5; ++uiCol)
        {
            std::uint32_t uiTexel = 0;
            std::memcpy(&uiTexel, static_cast<const std::uint8_t*>(kLocked.pBits) + uiRow * kLocked.Pitch + uiCol * 4,
                        4);
            EXPECT_EQ(uiTexel & 0xFFFFFF, auiExpected[uiRow * 5 + uiCol]);
        }
    }
    pkSurface->UnlockRect();
    // Made once.
    EXPECT_TRUE(m_spRenderer->CreateBltSourceData(spSource));
    EXPECT_EQ(spSource->GetRendererData(), pkData);

    // Without an image there is nothing to make.
    NiBltSourcePtr spEmpty = new NiBltSource;
    EXPECT_FALSE(m_spRenderer->CreateBltSourceData(spEmpty));
    EXPECT_EQ(NiDX9BltSourceData::Create(spEmpty, m_spRenderer), nullptr);

    // The renderer's teardown drops the data of sources that outlive it.
    m_spRenderer = nullptr;
    EXPECT_EQ(spSource->GetRendererData(), nullptr);
}

TEST_P(NiDX9CubeMapBlitTest, BlitsAreCutToTheSourceAndTheTargetAndReadBackExactly)
{
    m_spRenderer = Create();
    ASSERT_NE(m_spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();
    const NiPixelFormat kFormat = m_spRenderer->GetDefaultRenderTarget()->GetFormat()->m_kPixelFormat;
    NiPixelDataPtr spImage = new NiPixelData(4, 3, kFormat, 1);
    auto* pui = reinterpret_cast<std::uint32_t*>(spImage->GetPixels());
    for (std::uint32_t i = 0; i < 12; ++i)
        pui[i] = 0xFF000000u | ((i + 1) * 0x140A05u);
    NiBltSourcePtr spSource = new NiBltSource;
    spSource->SetSourcePixelData(spImage);
    auto Texel = [&](std::uint32_t uiX, std::uint32_t uiY) { return pui[uiY * 4 + uiX] & 0xFFFFFF; };

    m_spRenderer->SetBackgroundColor(NiColorRGB(0.0f, 0.0f, 0.0f));
    ASSERT_TRUE(m_spRenderer->BeginScene());
    m_spRenderer->ClearBuffer(nullptr, NiRenderer::CLEAR_ALL);
    m_spRenderer->EndScene();
    // Whole, at (10, 5): the data is made on the way.
    m_spRenderer->Blit(spSource, nullptr, 10, 5);
    EXPECT_NE(spSource->GetRendererData(), nullptr);
    // A rectangle (left 1, right 3, top 1, bottom 9: cut to the source's
    // three rows) at (20, 20).
    const NiRect<std::uint32_t> kPart(1, 3, 1, 9);
    m_spRenderer->Blit(spSource, &kPart, 20, 20);
    // Over the right and bottom edges: only the 2 x 2 inside is copied.
    m_spRenderer->Blit(spSource, nullptr, 62, 46);
    // Outside the target: nothing, and nothing breaks.
    m_spRenderer->Blit(spSource, nullptr, 64, 0);
    m_spRenderer->Blit(spSource, nullptr, 0, 48);
    m_spRenderer->Blit(nullptr, nullptr, 0, 0);
    const NiRect<std::uint32_t> kEmpty(3, 3, 0, 3);
    m_spRenderer->Blit(spSource, &kEmpty, 30, 30);

    NiRefPtr<NiPixelData> spCapture = m_spRenderer->CaptureBackBuffer(nullptr);
    ASSERT_NE(spCapture, nullptr);
    for (std::uint32_t uiY = 0; uiY < 3; ++uiY)
    {
        for (std::uint32_t uiX = 0; uiX < 4; ++uiX)
            EXPECT_EQ(Pixel(*spCapture, 10 + uiX, 5 + uiY), Texel(uiX, uiY)) << uiX << "," << uiY;
    }
    for (std::uint32_t uiY = 0; uiY < 2; ++uiY)
    {
        for (std::uint32_t uiX = 0; uiX < 2; ++uiX)
        {
            EXPECT_EQ(Pixel(*spCapture, 20 + uiX, 20 + uiY), Texel(1 + uiX, 1 + uiY));
            EXPECT_EQ(Pixel(*spCapture, 62 + uiX, 46 + uiY), Texel(uiX, uiY));
        }
    }
    // Around them the clear colour.
    EXPECT_EQ(Pixel(*spCapture, 9, 5), 0u);
    EXPECT_EQ(Pixel(*spCapture, 14, 5), 0u);
    EXPECT_EQ(Pixel(*spCapture, 10, 8), 0u);
    EXPECT_EQ(Pixel(*spCapture, 22, 20), 0u);
    EXPECT_EQ(Pixel(*spCapture, 20, 22), 0u);
    EXPECT_EQ(Pixel(*spCapture, 0, 0), 0u);
    EXPECT_EQ(Pixel(*spCapture, 30, 30), 0u);
}
} // namespace
