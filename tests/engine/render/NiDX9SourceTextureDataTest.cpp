#include "engine/render/NiDX9SourceTextureData.h"

#include "engine/render/NiDX9TextureManager.h"
#include "engine/render/NiSourceCubeMap.h"
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
Prefs MakePrefs(std::uint32_t eLayout, std::uint32_t eMip = Prefs::MIP_DEFAULT, std::uint32_t eAlpha = Prefs::ALPHA_DEFAULT)
{
    Prefs kPrefs;
    kPrefs.m_ePixelLayout = eLayout;
    kPrefs.m_eMipMapped = eMip;
    kPrefs.m_eAlphaFmt = eAlpha;
    return kPrefs;
}

// Every level's bytes differ from every other level's.
void Fill(NiPixelData& kImage, std::uint32_t uiSeed)
{
    for (std::uint32_t uiLevel = 0; uiLevel < kImage.GetNumMipmapLevels(); ++uiLevel)
    {
        std::uint8_t* puc = kImage.GetPixels(uiLevel);
        for (std::uint32_t i = 0; i < kImage.GetSizeInBytes(uiLevel); ++i)
            puc[i] = static_cast<std::uint8_t>(i * 13 + uiLevel * 31 + uiSeed);
    }
}

NiPixelDataPtr MakeImage(std::uint32_t uiWidth, std::uint32_t uiHeight, const NiPixelFormat& kFormat,
                         std::uint32_t uiLevels = 1, std::uint32_t uiSeed = 1)
{
    NiPixelDataPtr spImage = new NiPixelData(uiWidth, uiHeight, kFormat, uiLevels);
    Fill(*spImage, uiSeed);
    return spImage;
}

// The device level's rows hold these bytes, rowBytes a row (block rows for
// compressed formats).
void ExpectLevel(IDirect3DBaseTexture9* pkBase, std::uint32_t uiLevel, const std::uint8_t* pucExpected,
                 std::size_t uiBytes)
{
    ASSERT_NE(pkBase, nullptr);
    ASSERT_EQ(pkBase->GetType(), D3DRTYPE_TEXTURE);
    IDirect3DSurface9* pkSurface = static_cast<IDirect3DTexture9*>(pkBase)->Level(uiLevel);
    const std::uint32_t uiRowBytes = FormatPitch(pkSurface->Format(), pkSurface->Width());
    const std::uint32_t uiRows = FormatRows(pkSurface->Format(), pkSurface->Height());
    ASSERT_EQ(std::size_t(uiRowBytes) * uiRows, uiBytes);
    D3DLOCKED_RECT kLocked{};
    ASSERT_EQ(pkSurface->LockRect(&kLocked, nullptr, D3DLOCK_READONLY), D3D_OK);
    for (std::uint32_t uiRow = 0; uiRow < uiRows; ++uiRow)
        EXPECT_EQ(std::memcmp(static_cast<const std::uint8_t*>(kLocked.pBits) + std::size_t(uiRow) * kLocked.Pitch,
                              pucExpected + std::size_t(uiRow) * uiRowBytes, uiRowBytes),
                  0)
            << "level " << uiLevel << " row " << uiRow;
    pkSurface->UnlockRect();
}

NiDX9SourceTextureData* SourceData(NiTexture* pkTexture)
{
    NiDX9TextureData* pkData = NiDX9TextureManager::GetData(pkTexture);
    return pkData != nullptr ? pkData->GetAsSourceTextureData() : nullptr;
}

// An uncompressed 32-bit TGA, rows from the top.
std::vector<std::uint8_t> TgaFile(std::uint16_t uiWidth, std::uint16_t uiHeight)
{
    std::vector<std::uint8_t> kBytes(18, 0);
    kBytes[2] = 2;
    kBytes[12] = static_cast<std::uint8_t>(uiWidth);
    kBytes[13] = static_cast<std::uint8_t>(uiWidth >> 8);
    kBytes[14] = static_cast<std::uint8_t>(uiHeight);
    kBytes[15] = static_cast<std::uint8_t>(uiHeight >> 8);
    kBytes[16] = 32;
    kBytes[17] = 0x28;
    for (std::uint32_t i = 0; i < std::uint32_t(uiWidth) * uiHeight; ++i)
    {
        kBytes.push_back(static_cast<std::uint8_t>(i * 16));      // blue
        kBytes.push_back(static_cast<std::uint8_t>(255 - i * 8)); // green
        kBytes.push_back(static_cast<std::uint8_t>(i * 3 + 7));   // red
        kBytes.push_back(0xFF);
    }
    return kBytes;
}
} // namespace

class NiDX9SourceTextureDataTest : public rendertest::RendererTest
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
        NiDX9SourceTextureData::ResetLastDiagnostic();
        static int s_iFolder = 0;
        m_kFolder = std::filesystem::temp_directory_path() /
                    ("srctexdata_" + std::to_string(getpid()) + "_" + std::to_string(++s_iFolder));
        std::filesystem::create_directories(m_kFolder);
        m_spRenderer = CreateWindowed();
        ASSERT_NE(m_spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();
    }

    void TearDown() override
    {
        m_spRenderer = nullptr;
        NiImageConverter::ReleaseCurrent();
        NiTexture::ResetSettings();
        std::error_code kError;
        std::filesystem::remove_all(m_kFolder, kError);
        RendererTest::TearDown();
    }

    std::string Write(const std::string& kName, const std::vector<std::uint8_t>& kBytes)
    {
        const std::filesystem::path kPath = m_kFolder / kName;
        std::ofstream kOut(kPath, std::ios::binary);
        kOut.write(reinterpret_cast<const char*>(kBytes.data()), static_cast<std::streamsize>(kBytes.size()));
        return kPath.string();
    }

    NiSourceTexturePtr FromImage(NiPixelData* pkImage, const Prefs& kPrefs = Prefs{})
    {
        NiSourceTexturePtr spTexture = NiSourceTexture::CreateFromPixelData(pkImage, kPrefs);
        EXPECT_NE(spTexture, nullptr);
        return spTexture;
    }

    NiDX9SourceTextureData* Make(NiSourceTexture* pkTexture)
    {
        NiDX9TextureData* pkData = NiDX9SourceTextureData::Create(pkTexture, m_spRenderer);
        EXPECT_NE(pkData, nullptr);
        EXPECT_EQ(pkTexture->GetRendererData(), pkData);
        return pkData != nullptr ? pkData->GetAsSourceTextureData() : nullptr;
    }

    std::filesystem::path m_kFolder;
};

TEST_P(NiDX9SourceTextureDataTest, PixelDataBecomesAManagedTextureOfTheChosenEntry)
{
    NiPixelDataPtr spImage = MakeImage(8, 4, NiPixelFormat::A8R8G8B8);
    NiSourceTexturePtr spTexture = FromImage(spImage);
    NiDX9SourceTextureData* pkData = Make(spTexture);
    ASSERT_NE(pkData, nullptr);

    EXPECT_FALSE(pkData->IsReplacementData());
    EXPECT_EQ(pkData->GetPixelFormat().m_uiIndex, NiDX9Renderer::TEX_RGBA8888);
    EXPECT_EQ(pkData->GetWidth(), 8u);
    EXPECT_EQ(pkData->GetHeight(), 4u);
    EXPECT_EQ(pkData->GetLevels(), 1u);
    EXPECT_FALSE(pkData->GetMipmap());
    EXPECT_EQ(pkData->GetSourceSize(), 8u * 4u * 4u);
    EXPECT_EQ(pkData->GetSourceRevID(), spImage->GetRevisionID());
    EXPECT_EQ(pkData->GetAsSourceTextureData(), pkData);
    EXPECT_EQ(pkData->GetAsRenderedTextureData(), nullptr);
    ASSERT_TRUE(pkData->HasDeviceTexture());
    IDirect3DBaseTexture9* pkD3D = pkData->GetD3DTexture();
    EXPECT_EQ(pkD3D->Pool(), D3DPOOL_MANAGED);
    EXPECT_EQ(pkD3D->Format(), D3DFMT_A8R8G8B8);
    EXPECT_EQ(pkD3D->RefCount(), 1u);
    ExpectLevel(pkD3D, 0, spImage->GetPixels(), spImage->GetSizeInBytes());

    // A texture of 16-bit preferences is converted on the way.
    NiSourceTexturePtr spSmall = FromImage(MakeImage(4, 4, NiPixelFormat::RGB24), MakePrefs(Prefs::HIGH_COLOR_16));
    NiDX9SourceTextureData* pkSmall = Make(spSmall);
    ASSERT_NE(pkSmall, nullptr);
    EXPECT_EQ(pkSmall->GetPixelFormat().m_eD3DFormat, D3DFMT_R5G6B5);
    EXPECT_EQ(pkSmall->GetSourceSize(), 4u * 4u * 2u);
}

TEST_P(NiDX9SourceTextureDataTest, UnusableImagesGetTheReplacementOfTheirCode)
{
    const NiDX9Renderer::TextureFormatEntry& kReplacementEntry =
        m_spRenderer->GetTextureFormat(NiDX9Renderer::TEXUSE_TEX, m_spRenderer->GetDefaultRenderTargetFormat());
    ASSERT_TRUE(kReplacementEntry.m_bValid);

    NiPixelFormat kFlagged = NiPixelFormat::A8R8G8B8;
    kFlagged.SetFlags(1);
    struct Case
    {
        const char* m_pcWhat;
        NiSourceTexturePtr m_spTexture;
        std::uint32_t m_uiCode;
    };
    const Case aCases[] = {
        {"missing file", NiSourceTexture::CreateFromFile((m_kFolder / "missing.tga").c_str(), Prefs{}, false),
         NiTexture::REPLACE_NO_IMAGE},
        {"100 x 64", FromImage(MakeImage(100, 64, NiPixelFormat::A8R8G8B8)), NiTexture::REPLACE_BAD_SIZE},
        {"64 x 3", FromImage(MakeImage(64, 3, NiPixelFormat::RGB24)), NiTexture::REPLACE_BAD_SIZE},
        {"flagged format", FromImage(MakeImage(4, 4, kFlagged)), NiTexture::REPLACE_NO_FORMAT},
        {"no bump format", FromImage(MakeImage(4, 4, NiPixelFormat::A8R8G8B8), MakePrefs(Prefs::BUMPMAP)),
         NiTexture::REPLACE_NO_FORMAT},
    };
    for (const Case& kCase : aCases)
    {
        SCOPED_TRACE(kCase.m_pcWhat);
        ASSERT_NE(kCase.m_spTexture, nullptr);
        NiDX9SourceTextureData* pkData = Make(kCase.m_spTexture);
        ASSERT_NE(pkData, nullptr);
        EXPECT_TRUE(pkData->IsReplacementData());
        EXPECT_EQ(pkData->GetPixelFormat().m_uiIndex, kReplacementEntry.m_uiIndex);
        EXPECT_EQ(pkData->GetPixelFormat().m_eD3DFormat, kReplacementEntry.m_eD3DFormat);
        EXPECT_EQ(pkData->GetWidth(), NiTexture::REPLACEMENT_SIDE);
        NiPixelDataPtr spExpected = NiTexture::GetReplacementPixelData(kCase.m_spTexture, kCase.m_uiCode);
        ASSERT_NE(spExpected, nullptr);
        ExpectLevel(pkData->GetD3DTexture(), 0, spExpected->GetPixels(), spExpected->GetSizeInBytes());

        // The replacement never refreshes, whatever happens to the image.
        if (NiPixelData* pkImage = kCase.m_spTexture->GetSourcePixelData())
        {
            const std::uint32_t uiSeen = pkData->GetSourceRevID();
            pkImage->MarkAsChanged();
            pkData->Update();
            EXPECT_EQ(pkData->GetSourceRevID(), uiSeen);
        }
    }
    // The size code's image is cyan.
    NiPixelDataPtr spCyan = NiTexture::GetReplacementPixelData(nullptr, NiTexture::REPLACE_BAD_SIZE);
    ASSERT_EQ(spCyan->GetPixelFormat(), NiPixelFormat::A8R8G8B8);
    std::uint32_t uiPixel = 0;
    std::memcpy(&uiPixel, spCyan->GetPixels(), 4);
    EXPECT_EQ(uiPixel & 0xFFFFFF, 0x00FFFFu);
}

TEST_P(NiDX9SourceTextureDataTest, SkippedTopLevelsShrinkTheDeviceTexture)
{
    NiPixelDataPtr spImage = MakeImage(256, 256, NiPixelFormat::A8R8G8B8, 9);
    NiSourceTexturePtr spTexture = FromImage(spImage, MakePrefs(Prefs::PIX_DEFAULT, Prefs::YES));
    ASSERT_TRUE(m_spRenderer->SetMipmapSkipLevel(2));
    NiDX9SourceTextureData* pkData = Make(spTexture);
    ASSERT_NE(pkData, nullptr);
    EXPECT_EQ(pkData->GetSkipLevels(), 2u);
    EXPECT_EQ(pkData->GetWidth(), 64u);
    EXPECT_EQ(pkData->GetHeight(), 64u);
    EXPECT_EQ(pkData->GetLevels(), 7u);
    EXPECT_TRUE(pkData->GetMipmap());
    // The source size is the whole converted image's.
    EXPECT_EQ(pkData->GetSourceSize(), spImage->GetTotalSizeInBytes());
    ASSERT_EQ(pkData->GetD3DTexture()->GetLevelCount(), 7u);
    for (std::uint32_t j = 0; j < 7; ++j)
        ExpectLevel(pkData->GetD3DTexture(), j, spImage->GetPixels(j + 2), spImage->GetSizeInBytes(j + 2));
    // The texture asks its data first.
    EXPECT_EQ(spTexture->GetWidth(), 64u);

    // A one-level image keeps its one level, however many are skipped.
    ASSERT_TRUE(m_spRenderer->SetMipmapSkipLevel(20));
    NiSourceTexturePtr spOne = FromImage(MakeImage(16, 16, NiPixelFormat::A8R8G8B8), MakePrefs(Prefs::PIX_DEFAULT, Prefs::NO));
    NiDX9SourceTextureData* pkOne = Make(spOne);
    ASSERT_NE(pkOne, nullptr);
    EXPECT_EQ(pkOne->GetSkipLevels(), 0u);
    EXPECT_EQ(pkOne->GetLevels(), 1u);
    EXPECT_EQ(pkOne->GetWidth(), 16u);

    ASSERT_TRUE(m_spRenderer->SetMipmapSkipLevel(1));
    NiSourceTexturePtr spHalf = FromImage(MakeImage(256, 256, NiPixelFormat::A8R8G8B8, 9), MakePrefs(Prefs::PIX_DEFAULT, Prefs::YES));
    EXPECT_EQ(spHalf->GetWidth(), 256u);
    ASSERT_NE(Make(spHalf), nullptr);
    EXPECT_EQ(spHalf->GetWidth(), 128u);
    EXPECT_EQ(spHalf->GetHeight(), 128u);
}

TEST_P(NiDX9SourceTextureDataTest, ASideShorterThanTheSkipStaysOneTexel)
{
    // 256 x 4 with 9 levels, 4 skipped: 16 x 1, 5 levels (the short side
    // does not shift to nothing).
    NiPixelDataPtr spImage = MakeImage(256, 4, NiPixelFormat::A8R8G8B8, 9);
    NiSourceTexturePtr spTexture = FromImage(spImage, MakePrefs(Prefs::PIX_DEFAULT, Prefs::YES));
    ASSERT_TRUE(m_spRenderer->SetMipmapSkipLevel(4));
    NiDX9SourceTextureData* pkData = Make(spTexture);
    ASSERT_NE(pkData, nullptr);
    ASSERT_TRUE(pkData->HasDeviceTexture());
    EXPECT_EQ(pkData->GetWidth(), 16u);
    EXPECT_EQ(pkData->GetHeight(), 1u);
    EXPECT_EQ(pkData->GetLevels(), 5u);
    for (std::uint32_t j = 0; j < 5; ++j)
        ExpectLevel(pkData->GetD3DTexture(), j, spImage->GetPixels(j + 4), spImage->GetSizeInBytes(j + 4));
}

TEST_P(NiDX9SourceTextureDataTest, CompressedLevelsCopyInBlockRows)
{
    NiPixelDataPtr spImage = MakeImage(256, 256, NiPixelFormat::DXT1, 9);
    NiSourceTexturePtr spTexture = FromImage(spImage, MakePrefs(Prefs::PIX_DEFAULT, Prefs::YES));
    NiDX9SourceTextureData* pkData = Make(spTexture);
    ASSERT_NE(pkData, nullptr);
    EXPECT_EQ(pkData->GetPixelFormat().m_eD3DFormat, D3DFMT_DXT1);
    ASSERT_EQ(pkData->GetLevels(), 9u);
    auto* pkD3D = static_cast<IDirect3DTexture9*>(pkData->GetD3DTexture());
    D3DLOCKED_RECT kLocked{};
    ASSERT_EQ(pkD3D->LockRect(0, &kLocked, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(kLocked.Pitch, 512);
    pkD3D->UnlockRect(0);
    for (std::uint32_t uiLevel = 0; uiLevel < 9; ++uiLevel)
        ExpectLevel(pkD3D, uiLevel, spImage->GetPixels(uiLevel), spImage->GetSizeInBytes(uiLevel));
    // The 1 x 1 level is one block.
    EXPECT_EQ(spImage->GetSizeInBytes(8), 8u);

    NiPixelDataPtr spDxt5 = MakeImage(8, 4, NiPixelFormat::DXT5, 4);
    NiSourceTexturePtr spTexture5 = FromImage(spDxt5, MakePrefs(Prefs::PIX_DEFAULT, Prefs::YES));
    NiDX9SourceTextureData* pkData5 = Make(spTexture5);
    ASSERT_NE(pkData5, nullptr);
    EXPECT_EQ(pkData5->GetPixelFormat().m_eD3DFormat, D3DFMT_DXT5);
    for (std::uint32_t uiLevel = 0; uiLevel < 4; ++uiLevel)
        ExpectLevel(pkData5->GetD3DTexture(), uiLevel, spDxt5->GetPixels(uiLevel), spDxt5->GetSizeInBytes(uiLevel));
}

TEST_P(NiDX9SourceTextureDataTest, RowsStepByTheLockedPitch)
{
    NiSourceTexturePtr spTexture = FromImage(MakeImage(4, 4, NiPixelFormat::A8R8G8B8));
    NiDX9SourceTextureData* pkData = Make(spTexture);
    ASSERT_NE(pkData, nullptr);

    // Wider rows than the surface's: each row is cut at the pitch.
    NiPixelDataPtr spWide = MakeImage(8, 8, NiPixelFormat::A8R8G8B8, 1, 77);
    IDirect3DTexture9* pkSmall = nullptr;
    ASSERT_EQ(m_spRenderer->GetD3DDevice()->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &pkSmall,
                                                          nullptr),
              D3D_OK);
    pkData->CopyDataToSurface(*spWide, 0, pkSmall->Level(0));
    std::vector<std::uint8_t> kExpected;
    for (std::uint32_t uiRow = 0; uiRow < 4; ++uiRow)
        kExpected.insert(kExpected.end(), spWide->GetPixels() + uiRow * 32, spWide->GetPixels() + uiRow * 32 + 16);
    ExpectLevel(pkSmall, 0, kExpected.data(), kExpected.size());

    // Narrower rows than the surface's: the rest of each row is left alone.
    NiPixelDataPtr spNarrow = MakeImage(2, 2, NiPixelFormat::A8R8G8B8, 1, 5);
    pkData->CopyDataToSurface(*spNarrow, 0, pkSmall->Level(0));
    std::memcpy(kExpected.data(), spNarrow->GetPixels(), 8);
    std::memcpy(kExpected.data() + 16, spNarrow->GetPixels() + 8, 8);
    ExpectLevel(pkSmall, 0, kExpected.data(), kExpected.size());
    pkSmall->Release();
}

TEST_P(NiDX9SourceTextureDataTest, UpdateCopiesOnlyWhenTheImageOrItsPaletteMoved)
{
    NiPixelDataPtr spImage = MakeImage(4, 4, NiPixelFormat::A8R8G8B8);
    NiSourceTexturePtr spTexture = FromImage(spImage);
    spTexture->SetStatic(false);
    NiDX9TextureManager* pkManager = m_spRenderer->GetTextureManager();
    ASSERT_NE(pkManager, nullptr);

    bool bChanged = false;
    bool bMipmapped = true;
    IDirect3DBaseTexture9* pkD3D = pkManager->GetD3DTextureForRendering(spTexture, bChanged, bMipmapped);
    ASSERT_NE(pkD3D, nullptr);
    EXPECT_TRUE(bChanged);
    EXPECT_FALSE(bMipmapped);

    // Bytes changed without telling: not copied.
    std::vector<std::uint8_t> kBefore(spImage->GetPixels(), spImage->GetPixels() + 64);
    spImage->GetPixels()[0] ^= 0xFF;
    EXPECT_EQ(pkManager->GetD3DTextureForRendering(spTexture, bChanged, bMipmapped), pkD3D);
    EXPECT_FALSE(bChanged);
    ExpectLevel(pkD3D, 0, kBefore.data(), kBefore.size());

    // Told: copied on the next draw.
    spImage->MarkAsChanged();
    EXPECT_EQ(pkManager->GetD3DTextureForRendering(spTexture, bChanged, bMipmapped), pkD3D);
    EXPECT_FALSE(bChanged);
    ExpectLevel(pkD3D, 0, spImage->GetPixels(), 64);
    EXPECT_EQ(SourceData(spTexture)->GetSourceRevID(), spImage->GetRevisionID());

    // A static texture is not refreshed while drawn.
    spTexture->SetStatic(true);
    std::vector<std::uint8_t> kStatic(spImage->GetPixels(), spImage->GetPixels() + 64);
    spImage->GetPixels()[1] ^= 0xFF;
    spImage->MarkAsChanged();
    (void)pkManager->GetD3DTextureForRendering(spTexture, bChanged, bMipmapped);
    ExpectLevel(pkD3D, 0, kStatic.data(), kStatic.size());
    // ... but refreshes when asked.
    SourceData(spTexture)->Update();
    ExpectLevel(pkD3D, 0, spImage->GetPixels(), 64);
}

TEST_P(NiDX9SourceTextureDataTest, APaletteChangeRefreshesAPalettizedImage)
{
    NiPalette::PaletteEntry akEntries[256] = {};
    akEntries[1] = {10, 20, 30, 255};
    NiPalettePtr spPalette = new NiPalette(false, 256, akEntries);
    NiPixelDataPtr spImage = new NiPixelData(4, 4, NiPixelFormat::PAL8, 1);
    std::memset(spImage->GetPixels(), 1, 16);
    spImage->SetPalette(spPalette);
    NiSourceTexturePtr spTexture = FromImage(spImage);
    NiDX9SourceTextureData* pkData = Make(spTexture);
    ASSERT_NE(pkData, nullptr);
    EXPECT_EQ(pkData->GetPalette(), static_cast<NiPalette*>(spPalette));
    EXPECT_EQ(pkData->GetPixelFormat().m_eD3DFormat, D3DFMT_X8R8G8B8);

    auto FirstTexel = [&] {
        auto* pkD3D = static_cast<IDirect3DTexture9*>(pkData->GetD3DTexture());
        D3DLOCKED_RECT kLocked{};
        EXPECT_EQ(pkD3D->LockRect(0, &kLocked, nullptr, D3DLOCK_READONLY), D3D_OK);
        std::uint32_t uiTexel = 0;
        std::memcpy(&uiTexel, kLocked.pBits, 4);
        pkD3D->UnlockRect(0);
        return uiTexel & 0xFFFFFF;
    };
    EXPECT_EQ(FirstTexel(), 0x0A141Eu);

    spPalette->GetEntries()[1] = {200, 100, 50, 255};
    pkData->Update();
    EXPECT_EQ(FirstTexel(), 0x0A141Eu); // the palette did not say it changed
    spPalette->MarkAsChanged();
    pkData->Update();
    EXPECT_EQ(FirstTexel(), 0xC86432u);

    // Another palette object counts as a change too.
    NiPalettePtr spOther = new NiPalette(*spPalette);
    spOther->GetEntries()[1] = {1, 2, 3, 255};
    spImage->SetPalette(spOther);
    pkData->Update();
    EXPECT_EQ(pkData->GetPalette(), static_cast<NiPalette*>(spOther));
    EXPECT_EQ(FirstTexel(), 0x010203u);
    EXPECT_FALSE(pkData->SetPalette(spOther));
    EXPECT_TRUE(pkData->SetPalette(spPalette));
}

TEST_P(NiDX9SourceTextureDataTest, TheManagerMakesDataAndReportsFormatIndices)
{
    NiDX9TextureManager* pkManager = m_spRenderer->GetTextureManager();
    ASSERT_NE(pkManager, nullptr);
    bool bChanged = true;
    bool bMipmapped = true;
    EXPECT_EQ(pkManager->GetD3DTextureForRendering(nullptr, bChanged, bMipmapped), nullptr);
    EXPECT_FALSE(bChanged);
    EXPECT_FALSE(bMipmapped);
    EXPECT_FALSE(pkManager->PrecacheTexture(nullptr));
    EXPECT_EQ(pkManager->GetFormatIndex(nullptr), 14u);

    NiSourceTexturePtr spMip = FromImage(MakeImage(16, 16, NiPixelFormat::RGB24), MakePrefs(Prefs::PIX_DEFAULT, Prefs::YES));
    EXPECT_EQ(spMip->GetRendererData(), nullptr);
    EXPECT_EQ(pkManager->GetFormatIndex(spMip), NiDX9Renderer::TEX_RGB888);
    ASSERT_NE(spMip->GetRendererData(), nullptr);
    EXPECT_TRUE(pkManager->PrecacheTexture(spMip));
    IDirect3DBaseTexture9* pkD3D = pkManager->GetD3DTextureForRendering(spMip, bChanged, bMipmapped);
    ASSERT_NE(pkD3D, nullptr);
    EXPECT_FALSE(bChanged); // made by the precache
    EXPECT_TRUE(bMipmapped);
    EXPECT_EQ(pkD3D->GetLevelCount(), 5u);

    // The renderer's precache makes source data too.
    NiSourceTexturePtr spOther = FromImage(MakeImage(4, 4, NiPixelFormat::A8R8G8B8));
    EXPECT_TRUE(m_spRenderer->PrecacheTexture(spOther));
    EXPECT_NE(SourceData(spOther), nullptr);
    EXPECT_FALSE(m_spRenderer->PrecacheTexture(nullptr));

    // Cube maps get cube data: without faces, six replacement faces.
    NiRefPtr<NiSourceCubeMap> spCube = new NiSourceCubeMap;
    NiDX9TextureData* pkCubeData = NiDX9SourceTextureData::Create(spCube, m_spRenderer);
    ASSERT_NE(pkCubeData, nullptr);
    EXPECT_EQ(pkCubeData->GetD3DTexture()->GetType(), D3DRTYPE_CUBETEXTURE);
    EXPECT_TRUE(pkCubeData->GetAsSourceTextureData()->IsReplacementData());
}

TEST_P(NiDX9SourceTextureDataTest, DroppingDataClearsItsTextureFromEveryStage)
{
    NiSourceTexturePtr spTexture = FromImage(MakeImage(4, 4, NiPixelFormat::A8R8G8B8));
    NiDX9SourceTextureData* pkData = Make(spTexture);
    ASSERT_NE(pkData, nullptr);
    IDirect3DBaseTexture9* pkD3D = pkData->GetD3DTexture();
    NiDX9RenderState* pkState = m_spRenderer->GetRenderState();
    IDirect3DDevice9* pkDevice = m_spRenderer->GetD3DDevice();
    pkState->SetTexture(0, pkD3D);
    pkState->SetTexture(3, pkD3D);
    EXPECT_EQ(pkDevice->State().textures[3], pkD3D);

    ASSERT_TRUE(m_spRenderer->PurgeTextureRendererData(spTexture));
    EXPECT_EQ(spTexture->GetRendererData(), nullptr);
    EXPECT_EQ(pkState->GetTexture(0), nullptr);
    EXPECT_EQ(pkState->GetTexture(3), nullptr);
    EXPECT_EQ(pkDevice->State().textures[0], nullptr);
    EXPECT_EQ(pkDevice->State().textures[3], nullptr);
}

TEST_P(NiDX9SourceTextureDataTest, LoadDirectFilesGoStraightToTheDevice)
{
    ddsfixture::Spec kSpec;
    kSpec.format = D3DFMT_DXT1;
    kSpec.width = 16;
    kSpec.height = 8;
    kSpec.levels = 5;
    const std::vector<std::uint8_t> kFile = ddsfixture::Build(kSpec);
    const std::string kName = Write("WALL.DDS", kFile);

    NiSourceTexturePtr spTexture = NiSourceTexture::CreateFromFile(kName.c_str(), Prefs{}, true);
    ASSERT_NE(spTexture, nullptr);
    NiDX9SourceTextureData* pkData = Make(spTexture);
    ASSERT_NE(pkData, nullptr);
    EXPECT_FALSE(pkData->IsReplacementData());
    EXPECT_EQ(pkData->GetWidth(), 16u);
    EXPECT_EQ(pkData->GetHeight(), 8u);
    EXPECT_EQ(pkData->GetLevels(), 5u);
    EXPECT_TRUE(pkData->GetMipmap());
    EXPECT_EQ(pkData->GetPixelFormat().m_eD3DFormat, D3DFMT_DXT1);
    EXPECT_EQ(pkData->GetPixelFormat().m_kPixelFormat, NiPixelFormat::DXT1);
    // 4 bits a texel over the five levels (16x8, 8x4, 4x2, 2x1, 1x1).
    EXPECT_EQ(pkData->GetSourceSize(), (16u * 8u + 8u * 4u + 4u * 2u + 2u * 1u + 1u * 1u) * 4u / 8u);
    EXPECT_EQ(spTexture->GetSourcePixelData(), nullptr); // nothing read into memory
    for (std::uint32_t uiLevel = 0; uiLevel < 5; ++uiLevel)
        ExpectLevel(pkData->GetD3DTexture(), uiLevel, kFile.data() + ddsfixture::LevelOffset(kSpec, 0, uiLevel),
                    ddsfixture::LevelBytes(kSpec.format, std::max(16u >> uiLevel, 1u), std::max(8u >> uiLevel, 1u)));

    // A cube file makes a cube texture of six faces' size.
    ddsfixture::Spec kCube;
    kCube.cube = true;
    kCube.width = kCube.height = 8;
    const std::string kCubeName = Write("sky.dds", ddsfixture::Build(kCube));
    NiSourceTexturePtr spCube = NiSourceTexture::CreateFromFile(kCubeName.c_str(), Prefs{}, true);
    NiDX9SourceTextureData* pkCube = Make(spCube);
    ASSERT_NE(pkCube, nullptr);
    EXPECT_EQ(pkCube->GetD3DTexture()->GetType(), D3DRTYPE_CUBETEXTURE);
    EXPECT_EQ(pkCube->GetSourceSize(), 8u * 8u * 4u * 6u);

    // A volume file makes a volume texture; its size counts every slice of every level.
    ddsfixture::Spec kVolume;
    kVolume.volume = true;
    kVolume.width = 8;
    kVolume.height = 4;
    kVolume.depth = 4;
    kVolume.levels = 3;
    kVolume.format = D3DFMT_X8R8G8B8;
    const std::vector<std::uint8_t> kVolumeFile = ddsfixture::Build(kVolume);
    const std::string kVolumeName = Write("fog.dds", kVolumeFile);
    NiSourceTexturePtr spVolume = NiSourceTexture::CreateFromFile(kVolumeName.c_str(), Prefs{}, true);
    NiDX9SourceTextureData* pkVolume = Make(spVolume);
    ASSERT_NE(pkVolume, nullptr);
    EXPECT_FALSE(pkVolume->IsReplacementData());
    ASSERT_EQ(pkVolume->GetD3DTexture()->GetType(), D3DRTYPE_VOLUMETEXTURE);
    EXPECT_EQ(pkVolume->GetWidth(), 8u);
    EXPECT_EQ(pkVolume->GetHeight(), 4u);
    EXPECT_EQ(pkVolume->GetLevels(), 3u);
    EXPECT_EQ(pkVolume->GetPixelFormat().m_eD3DFormat, D3DFMT_X8R8G8B8);
    EXPECT_EQ(pkVolume->GetSourceSize(), (8u * 4u * 4u + 4u * 2u * 2u + 2u * 1u * 1u) * 4u);
    auto* pkD3DVolume = static_cast<IDirect3DVolumeTexture9*>(pkVolume->GetD3DTexture());
    D3DLOCKED_BOX kBox;
    ASSERT_EQ(pkD3DVolume->LockBox(0, &kBox, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(std::memcmp(kBox.pBits, kVolumeFile.data() + 128, 8u * 4u * 4u * 4u), 0);
    pkD3DVolume->UnlockBox(0);
    // InitializeFromD3DTexture takes a volume made elsewhere, and keeps it.
    IDirect3DVolumeTexture9* pkMade = nullptr;
    ASSERT_EQ(m_spRenderer->GetD3DDevice()->CreateVolumeTexture(4, 4, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                                                &pkMade, nullptr),
              D3D_OK);
    ASSERT_TRUE(pkVolume->InitializeFromD3DTexture(pkMade));
    EXPECT_EQ(pkVolume->GetD3DTexture(), pkMade);
    EXPECT_EQ(pkVolume->GetLevels(), 1u);
    EXPECT_FALSE(pkVolume->GetMipmap());
    EXPECT_EQ(pkVolume->GetSourceSize(), 4u * 4u * 2u * 4u);
}

TEST_P(NiDX9SourceTextureDataTest, FilesTheDirectRoadRefusesTakeTheEngineReaders)
{
    // A TGA with the flag: the platform loader refuses it, the engine's
    // reader reads it.
    const std::string kTga = Write("sign.TGA", TgaFile(4, 4));
    NiSourceTexturePtr spTga = NiSourceTexture::CreateFromFile(kTga.c_str(), Prefs{}, true);
    NiDX9SourceTextureData* pkTga = Make(spTga);
    ASSERT_NE(pkTga, nullptr);
    EXPECT_FALSE(pkTga->IsReplacementData());
    EXPECT_EQ(pkTga->GetPixelFormat().m_eD3DFormat, D3DFMT_A8R8G8B8);
    const std::vector<std::uint8_t> kTgaBytes = TgaFile(4, 4);
    ExpectLevel(pkTga->GetD3DTexture(), 0, kTgaBytes.data() + 18, 64);
    EXPECT_FALSE(pkTga->LoadFileDirect(kTga.c_str(), m_spRenderer, Prefs{}));

    // A bump-map texture refuses a colour file on the direct road.
    ddsfixture::Spec kColour;
    const std::string kDds = Write("bump.dds", ddsfixture::Build(kColour));
    EXPECT_FALSE(pkTga->LoadFileDirect(kDds.c_str(), m_spRenderer, MakePrefs(Prefs::BUMPMAP)));
    EXPECT_TRUE(pkTga->LoadFileDirect(kDds.c_str(), m_spRenderer, Prefs{}));

    // A DDS the device cannot take (24-bit) is read by the engine instead.
    ddsfixture::Spec k24;
    k24.format = D3DFMT_R8G8B8;
    const std::string kDds24 = Write("old.dds", ddsfixture::Build(k24));
    NiSourceTexturePtr sp24 = NiSourceTexture::CreateFromFile(kDds24.c_str(), Prefs{}, true);
    NiDX9SourceTextureData* pk24 = Make(sp24);
    ASSERT_NE(pk24, nullptr);
    EXPECT_FALSE(pk24->IsReplacementData());
    EXPECT_EQ(pk24->GetPixelFormat().m_eD3DFormat, D3DFMT_X8R8G8B8);

    // Without the flag even a good DDS goes the engine road, and other
    // extensions always do.
    const std::string kPlain = Write("plain.dds", ddsfixture::Build(kColour));
    NiSourceTexturePtr spPlain = NiSourceTexture::CreateFromFile(kPlain.c_str(), Prefs{}, false);
    NiDX9SourceTextureData* pkPlain = Make(spPlain);
    ASSERT_NE(pkPlain, nullptr);
    EXPECT_FALSE(pkPlain->IsReplacementData());
    EXPECT_FALSE(pkPlain->LoadFileDirect((m_kFolder / "plain.png").c_str(), m_spRenderer, Prefs{}));
    EXPECT_FALSE(pkPlain->LoadFileDirect(kPlain.c_str(), nullptr, Prefs{}));

    // A damaged DDS with the flag falls back and ends as the replacement.
    std::vector<std::uint8_t> kCut = ddsfixture::Build(kColour);
    kCut.resize(kCut.size() - 1);
    const std::string kCutName = Write("cut.dds", kCut);
    NiSourceTexturePtr spCut = NiSourceTexture::CreateFromFile(kCutName.c_str(), Prefs{}, true);
    NiDX9SourceTextureData* pkCut = Make(spCut);
    ASSERT_NE(pkCut, nullptr);
    EXPECT_TRUE(pkCut->IsReplacementData());
}

// A texture that went leaves its level blocks with the device for the next
// of the same size; the renderer's release lets them go, and a texture made
// after it is whole.
TEST_P(NiDX9SourceTextureDataTest, TheSpareBlocksOfTexturesThatWentAreReleasedOnRequest)
{
    gfx::IDirect3DDevice9* pkDevice = m_spRenderer->GetD3DDevice();
    ASSERT_NE(pkDevice, nullptr);
    m_spRenderer->ReleaseSpareMemory();
    ASSERT_EQ(pkDevice->SpareSurfaceBytes(), 0u);
    {
        NiPixelDataPtr spImage = MakeImage(256, 256, NiPixelFormat::A8R8G8B8, 1, 3);
        NiSourceTexturePtr spTexture = FromImage(spImage, MakePrefs(Prefs::PIX_DEFAULT, Prefs::NO));
        ASSERT_NE(Make(spTexture), nullptr);
    }
    EXPECT_EQ(pkDevice->SpareSurfaceBytes(), std::size_t{256} * 256 * 4);
    m_spRenderer->ReleaseSpareMemory();
    EXPECT_EQ(pkDevice->SpareSurfaceBytes(), 0u);

    NiPixelDataPtr spAgain = MakeImage(256, 256, NiPixelFormat::A8R8G8B8, 1, 9);
    NiSourceTexturePtr spTexture = FromImage(spAgain, MakePrefs(Prefs::PIX_DEFAULT, Prefs::NO));
    NiDX9SourceTextureData* pkData = Make(spTexture);
    ASSERT_NE(pkData, nullptr);
    ExpectLevel(pkData->GetD3DTexture(), 0, spAgain->GetPixels(0), spAgain->GetSizeInBytes(0));
}

INSTANTIATE_TEST_SUITE_P(, NiDX9SourceTextureDataTest, ::testing::Values(gfx::BackendKind::Null),
                         rendertest::BackendName);
