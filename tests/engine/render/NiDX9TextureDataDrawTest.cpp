// Textures made by the renderer's two roads (the platform loader, and the
// engine's readers and converter) drawn texel for texel on the `gl` back end
// and read back.

#include "engine/render/NiDX9SourceTextureData.h"

#include "engine/render/image/NiImageFileConverter.h"
#include "tests/engine/render/RendererTestSupport.h"
#include "tests/platform/gfxutil/DdsFixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

using namespace gfx;
using Prefs = NiTexture::FormatPrefs;

namespace
{
struct TexVertex
{
    float x, y, z, rhw;
    std::uint32_t color;
    float u, v;
};
constexpr std::uint32_t TEX_FVF = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

int Channel(std::uint32_t uiPixel, int iShift)
{
    return int((uiPixel >> iShift) & 0xFF);
}

// A 4 x 4 DXT1 block of four colours, each row running through all four
// codes: yellow, blue and the two thirds between.
std::vector<std::uint8_t> Dxt1File()
{
    ddsfixture::Spec kSpec;
    kSpec.format = D3DFMT_DXT1;
    std::vector<std::uint8_t> kFile = ddsfixture::Build(kSpec);
    const std::uint8_t aucBlock[8] = {0xE0, 0xFF, 0x1F, 0x00, 0xE4, 0x1B, 0x4E, 0xB1};
    std::memcpy(kFile.data() + 128, aucBlock, 8);
    return kFile;
}

std::vector<std::uint8_t> TgaFile()
{
    std::vector<std::uint8_t> kBytes(18, 0);
    kBytes[2] = 2;
    kBytes[12] = 4;
    kBytes[14] = 4;
    kBytes[16] = 32;
    kBytes[17] = 0x28; // rows from the top, 8 alpha bits
    for (std::uint32_t i = 0; i < 16; ++i)
    {
        kBytes.push_back(static_cast<std::uint8_t>(i * 16));
        kBytes.push_back(static_cast<std::uint8_t>(255 - i * 8));
        kBytes.push_back(static_cast<std::uint8_t>(i * 3 + 7));
        kBytes.push_back(0xFF);
    }
    return kBytes;
}
} // namespace

class NiDX9TextureDataDrawTest : public rendertest::RendererTest
{
public:
    void SetUp() override
    {
        RendererTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        NiTexture::ResetSettings();
        NiTexture::SetPrecacheOnCreation(false);
        NiImageConverter::SetCurrent(new NiImageFileConverter);
        static int s_iFolder = 0;
        m_kFolder = std::filesystem::temp_directory_path() /
                    ("srctexdraw_" + std::to_string(getpid()) + "_" + std::to_string(++s_iFolder));
        std::filesystem::create_directories(m_kFolder);
    }

    void TearDown() override
    {
        m_spRenderer = nullptr;
        gfx::SetGlCompressedTexturesForTests(-1);
        NiImageConverter::ReleaseCurrent();
        NiTexture::ResetSettings();
        std::error_code kError;
        std::filesystem::remove_all(m_kFolder, kError);
        RendererTest::TearDown();
    }

    void Start()
    {
        m_spRenderer = CreateWindowed(0, NiDX9Renderer::DEVDESC_PURE, NiDX9Renderer::FBMODE_LOCKABLE);
        ASSERT_NE(m_spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();
        IDirect3DDevice9* pkDevice = m_spRenderer->GetD3DDevice();
        pkDevice->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        pkDevice->SetRenderState(D3DRS_ZENABLE, 0);
        pkDevice->SetRenderState(D3DRS_LIGHTING, 0);
        pkDevice->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
        pkDevice->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
        pkDevice->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_NONE);
        ASSERT_EQ(pkDevice->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0), D3D_OK);
    }

    std::string Write(const std::string& kName, const std::vector<std::uint8_t>& kBytes)
    {
        const std::filesystem::path kPath = m_kFolder / kName;
        std::ofstream kOut(kPath, std::ios::binary);
        kOut.write(reinterpret_cast<const char*>(kBytes.data()), static_cast<std::streamsize>(kBytes.size()));
        return kPath.string();
    }

    NiDX9SourceTextureData* Load(NiSourceTexturePtr& spTexture, const std::string& kFile, bool bDirect,
                                 const Prefs& kPrefs = Prefs{})
    {
        spTexture = NiSourceTexture::CreateFromFile(kFile.c_str(), kPrefs, bDirect);
        EXPECT_NE(spTexture, nullptr);
        if (!spTexture)
            return nullptr;
        NiDX9TextureData* pkData = NiDX9SourceTextureData::Create(spTexture, m_spRenderer);
        return pkData != nullptr ? pkData->GetAsSourceTextureData() : nullptr;
    }

    // The texture's 4 x 4 texels drawn 1:1 with their top left at (x, y).
    void Draw(NiDX9SourceTextureData* pkData, float fX, float fY)
    {
        ASSERT_NE(pkData, nullptr);
        ASSERT_TRUE(pkData->HasDeviceTexture());
        IDirect3DDevice9* pkDevice = m_spRenderer->GetD3DDevice();
        const float x0 = fX - 0.5f, y0 = fY - 0.5f, x1 = fX + 3.5f, y1 = fY + 3.5f;
        const TexVertex akQuad[4] = {{x0, y0, 0.5f, 1, 0xFFFFFFFFu, 0, 0},
                                     {x1, y0, 0.5f, 1, 0xFFFFFFFFu, 1, 0},
                                     {x0, y1, 0.5f, 1, 0xFFFFFFFFu, 0, 1},
                                     {x1, y1, 0.5f, 1, 0xFFFFFFFFu, 1, 1}};
        pkDevice->SetTexture(0, pkData->GetD3DTexture());
        pkDevice->SetFVF(TEX_FVF);
        ASSERT_EQ(pkDevice->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, akQuad, sizeof(TexVertex)), D3D_OK);
        pkDevice->SetTexture(0, nullptr);
    }

    // The back buffer as 0x00RRGGBB words, rows top-down.
    std::vector<std::uint32_t> ReadBack()
    {
        std::vector<std::uint32_t> kOut;
        IDirect3DSurface9* pkBack = nullptr;
        EXPECT_EQ(m_spRenderer->GetD3DDevice()->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &pkBack), D3D_OK);
        if (pkBack == nullptr)
            return kOut;
        m_uiWidth = pkBack->Width();
        D3DLOCKED_RECT kLocked{};
        if (pkBack->LockRect(&kLocked, nullptr, D3DLOCK_READONLY) == D3D_OK)
        {
            for (std::uint32_t y = 0; y < pkBack->Height(); ++y)
                for (std::uint32_t x = 0; x < pkBack->Width(); ++x)
                    kOut.push_back(reinterpret_cast<const std::uint32_t*>(static_cast<const std::uint8_t*>(kLocked.pBits) +
                                                                          y * kLocked.Pitch)[x] & 0xFFFFFFu);
            pkBack->UnlockRect();
        }
        pkBack->Release();
        return kOut;
    }

    // The 4 x 4 pixels at (ax, 0) and (bx, 0) agree within iSteps (one
    // unless said otherwise).
    void ExpectSameTexels(const std::vector<std::uint32_t>& kPixels, std::uint32_t uiAX, std::uint32_t uiBX,
                          int iSteps = 1)
    {
        ASSERT_FALSE(kPixels.empty());
        for (std::uint32_t y = 0; y < 4; ++y)
            for (std::uint32_t x = 0; x < 4; ++x)
            {
                const std::uint32_t a = kPixels[y * m_uiWidth + uiAX + x];
                const std::uint32_t b = kPixels[y * m_uiWidth + uiBX + x];
                for (int iShift : {0, 8, 16})
                    EXPECT_NEAR(Channel(a, iShift), Channel(b, iShift), iSteps) << x << "," << y << " shift " << iShift;
            }
    }

    std::filesystem::path m_kFolder;
    std::uint32_t m_uiWidth = 0;
};

TEST_P(NiDX9TextureDataDrawTest, A32BitDdsDrawsTheSameByBothRoads)
{
    Start();
    const std::string kFile = Write("wall.dds", ddsfixture::Build(ddsfixture::Spec{}));
    NiSourceTexturePtr spDirect;
    NiSourceTexturePtr spEngine;
    NiDX9SourceTextureData* pkDirect = Load(spDirect, kFile, true);
    NiDX9SourceTextureData* pkEngine = Load(spEngine, kFile, false);
    ASSERT_NE(pkDirect, nullptr);
    ASSERT_NE(pkEngine, nullptr);
    EXPECT_EQ(pkDirect->GetSourceSize(), 64u);
    EXPECT_FALSE(pkEngine->IsReplacementData());
    Draw(pkDirect, 0, 0);
    Draw(pkEngine, 8, 0);
    const std::vector<std::uint32_t> kPixels = ReadBack();
    ExpectSameTexels(kPixels, 0, 8);
    // Both are the file's texels.
    const std::vector<std::uint8_t> kBytes = ddsfixture::Build(ddsfixture::Spec{});
    std::uint32_t uiTexel = 0;
    std::memcpy(&uiTexel, kBytes.data() + 128 + 5 * 4, 4);
    EXPECT_EQ(kPixels[1 * m_uiWidth + 1], uiTexel & 0xFFFFFFu);
}

TEST_P(NiDX9TextureDataDrawTest, ADxt1DdsDrawsTheSameByBothRoads)
{
    Start();
    const std::string kFile = Write("floor.dds", Dxt1File());
    NiSourceTexturePtr spDirect;
    NiSourceTexturePtr spEngine;
    NiSourceTexturePtr spDecoded;
    NiDX9SourceTextureData* pkDirect = Load(spDirect, kFile, true);
    NiDX9SourceTextureData* pkEngine = Load(spEngine, kFile, false);
    // Asked for 32 bits, the engine's decoder turns the blocks to texels.
    Prefs kTrue;
    kTrue.m_ePixelLayout = Prefs::TRUE_COLOR_32;
    NiDX9SourceTextureData* pkDecoded = Load(spDecoded, kFile, false, kTrue);
    ASSERT_NE(pkDirect, nullptr);
    ASSERT_NE(pkEngine, nullptr);
    ASSERT_NE(pkDecoded, nullptr);
    EXPECT_EQ(pkDirect->GetD3DTexture()->Format(), D3DFMT_DXT1);
    EXPECT_EQ(pkEngine->GetD3DTexture()->Format(), D3DFMT_DXT1);
    EXPECT_EQ(pkDecoded->GetD3DTexture()->Format(), D3DFMT_A8R8G8B8);
    Draw(pkDirect, 0, 0);
    Draw(pkEngine, 8, 0);
    Draw(pkDecoded, 16, 0);
    const std::vector<std::uint32_t> kPixels = ReadBack();
    ExpectSameTexels(kPixels, 0, 8);
    // The engine's decoder widens the end colours by their top bits alone
    // (31 -> 248), where GL repeats them (31 -> 255): up to 7 apart.
    ExpectSameTexels(kPixels, 0, 16, 7);
    EXPECT_EQ(kPixels[16], 0xF8FC00u);
    // Code 0 is the first end colour, yellow; code 1 the second, blue.
    EXPECT_EQ(kPixels[0], 0xFFFF00u);
    EXPECT_EQ(kPixels[1], 0x0000FFu);
}

TEST_P(NiDX9TextureDataDrawTest, ALoadDirectTgaDrawsThroughTheEngineReader)
{
    Start();
    const std::vector<std::uint8_t> kTga = TgaFile();
    const std::string kFile = Write("sign.tga", kTga);
    NiSourceTexturePtr spTexture;
    NiDX9SourceTextureData* pkData = Load(spTexture, kFile, true);
    ASSERT_NE(pkData, nullptr);
    EXPECT_FALSE(pkData->IsReplacementData());
    Draw(pkData, 4, 0);
    const std::vector<std::uint32_t> kPixels = ReadBack();
    ASSERT_FALSE(kPixels.empty());
    for (std::uint32_t y = 0; y < 4; ++y)
        for (std::uint32_t x = 0; x < 4; ++x)
        {
            std::uint32_t uiTexel = 0;
            std::memcpy(&uiTexel, kTga.data() + 18 + (y * 4 + x) * 4, 4);
            EXPECT_EQ(kPixels[y * m_uiWidth + 4 + x], uiTexel & 0xFFFFFFu) << x << "," << y;
        }
}

TEST_P(NiDX9TextureDataDrawTest, WithoutS3tcDxtFilesAreDecodedByTheEngine)
{
    gfx::SetGlCompressedTexturesForTests(0);
    Start();
    EXPECT_FALSE(m_spRenderer->GetTextureFormat(NiDX9Renderer::TEXUSE_TEX, NiDX9Renderer::TEX_DXT1).m_bValid);
    EXPECT_TRUE(gfx::FAILED(NiDX9Renderer::GetDirect3D()->CheckDeviceFormat(
        0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE, D3DFMT_DXT5)));

    const std::string kFile = Write("floor.dds", Dxt1File());
    NiSourceTexturePtr spTexture;
    NiDX9SourceTextureData* pkData = Load(spTexture, kFile, true);
    ASSERT_NE(pkData, nullptr);
    EXPECT_FALSE(pkData->IsReplacementData());
    EXPECT_EQ(pkData->GetD3DTexture()->Format(), D3DFMT_A8R8G8B8);
    Draw(pkData, 0, 0);
    const std::vector<std::uint32_t> kPixels = ReadBack();
    ASSERT_FALSE(kPixels.empty());
    EXPECT_EQ(kPixels[0], 0xF8FC00u);
    EXPECT_EQ(kPixels[1], 0x0000F8u);

    gfx::SetGlCompressedTexturesForTests(-1);
    EXPECT_TRUE(gfx::SUCCEEDED(NiDX9Renderer::GetDirect3D()->CheckDeviceFormat(
        0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE, D3DFMT_DXT5)));
}

INSTANTIATE_TEST_SUITE_P(, NiDX9TextureDataDrawTest, ::testing::Values(gfx::BackendKind::Gl),
                         rendertest::BackendName);
