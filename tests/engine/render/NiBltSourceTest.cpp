#include "engine/render/NiBltSource.h"

#include "engine/core/NiFile.h"
#include "tests/engine/render/TextureTestSupport.h"

#include <filesystem>
#include <fstream>

using namespace texture_test;

namespace
{
class NiBltSourceTest : public TextureTest
{
};

class SizedData : public NiBltSource::RendererData
{
public:
    [[nodiscard]] std::uint32_t GetWidth() const override { return 33; }
    [[nodiscard]] std::uint32_t GetHeight() const override { return 44; }
};
} // namespace

TEST_F(NiBltSourceTest, ListKeepsEveryLiveSourceInOrder)
{
    const std::uint32_t uiBefore = NiBltSource::GetListCount();
    NiBltSourcePtr spA = new NiBltSource;
    NiBltSourcePtr spB = new NiBltSource;
    NiBltSourcePtr spC = new NiBltSource;
    EXPECT_EQ(NiBltSource::GetListCount(), uiBefore + 3);
    spB.Clear();
    EXPECT_EQ(NiBltSource::GetListCount(), uiBefore + 2);
    EXPECT_EQ(spA->GetListNext(), spC.Get());
    spC.Clear();
    EXPECT_EQ(spA->GetListNext(), nullptr);
    spA.Clear();
    EXPECT_EQ(NiBltSource::GetListCount(), uiBefore);
}

TEST_F(NiBltSourceTest, SizeFromRendererDataElsePixelData)
{
    NiBltSourcePtr sp = new NiBltSource;
    EXPECT_EQ(sp->GetWidth(), 0u);
    EXPECT_EQ(sp->GetHeight(), 0u);
    sp->SetSourcePixelData(NiPixelDataPtr(new NiPixelData(8, 2, NiPixelFormat::RGB24, 1)));
    EXPECT_EQ(sp->GetWidth(), 8u);
    EXPECT_EQ(sp->GetHeight(), 2u);
    sp->SetRendererData(std::make_unique<SizedData>());
    EXPECT_EQ(sp->GetWidth(), 33u);
    EXPECT_EQ(sp->GetHeight(), 44u);
}

TEST_F(NiBltSourceTest, RecordsRoundTripAndAskTheRendererForItsData)
{
    NiBltSourcePtr spImage = new NiBltSource;
    NiPixelDataPtr spPixels = new NiPixelData(2, 2, NiPixelFormat::RGBA32, 1);
    spPixels->GetPixels()[5] = 9;
    spImage->SetSourcePixelData(spPixels);
    auto* pkLoaded = static_cast<NiBltSource*>(RoundTrip(spImage));
    ASSERT_NE(pkLoaded, nullptr);
    ASSERT_NE(pkLoaded->GetSourcePixelData(), nullptr);
    EXPECT_EQ(pkLoaded->GetSourcePixelData()->GetPixels()[5], 9);

    NiBltSourcePtr spEmpty = new NiBltSource;
    const std::vector<std::uint8_t> kEmpty = Save({spEmpty});
    EXPECT_EQ(kEmpty, BuildFile(NiObjectStream::CURRENT_VERSION, {{"NiBltSource", Bytes().U8(0).U8(0)}}, {0}));
    ASSERT_NE(RoundTrip(spEmpty), nullptr);

    NiBltSourcePtr spNamed = new NiBltSource;
    spNamed->SetFileName("maps\\missing.tga");
    EXPECT_EQ(Save({spNamed}),
              BuildFile(NiObjectStream::CURRENT_VERSION, {{"NiBltSource", Bytes().U8(1).Str("maps\\missing.tga")}}, {0}));
    auto* pkNamed = static_cast<NiBltSource*>(RoundTrip(spNamed));
    ASSERT_NE(pkNamed, nullptr);
    EXPECT_EQ(pkNamed->GetPlatformSpecificFileName(), "maps\\missing.tga") << "no candidate exists";

    NiRefPtr<RecordingRenderer> spRenderer = new RecordingRenderer;
    ASSERT_TRUE(Load(Save({spImage})));
    ASSERT_EQ(spRenderer->m_kBltSources.size(), 1u);
    EXPECT_EQ(spRenderer->m_kBltSources[0], m_kLoaded[0].Get());
}

TEST_F(NiBltSourceTest, ExternalImageIsFoundBesideTheScene)
{
    TempFolder kFolder;
    std::filesystem::create_directories(kFolder.Path() / "data" / "models");
    std::ofstream(kFolder.Path() / "data" / "models" / "Splash.TGA", std::ios::binary) << "image";
    const std::string kScene = (kFolder.Path() / "data" / "models" / "menu.nif").string();
    const std::vector<std::uint8_t> kFile =
        BuildFile(NiObjectStream::CURRENT_VERSION, {{"NiBltSource", Bytes().U8(1).Str("art\\splash.tga")}}, {0});
    std::ofstream(kScene, std::ios::binary).write(reinterpret_cast<const char*>(kFile.data()),
                                                   static_cast<std::streamsize>(kFile.size()));

    ASSERT_TRUE(LoadPath(kScene));
    auto* pk = static_cast<NiBltSource*>(m_kLoaded[0].Get());
    EXPECT_EQ(pk->GetFileName(), "art\\splash.tga");
    EXPECT_NE(pk->GetPlatformSpecificFileName(), "art\\splash.tga");
    EXPECT_TRUE(NiFileAccessible(pk->GetPlatformSpecificFileName().c_str(), 0))
        << pk->GetPlatformSpecificFileName();
}

TEST_F(NiBltSourceTest, HostileRecordsFail)
{
    const std::uint32_t uiVersion = NiObjectStream::CURRENT_VERSION;
    // The pixel-data link names the blit source itself.
    EXPECT_FALSE(Load(BuildFile(uiVersion, {{"NiBltSource", Bytes().U8(0).U8(1).U32(0)}}, {0})));
    EXPECT_EQ(m_kStream.GetLastError(), NiObjectStream::ERROR_CORRUPT);
    EXPECT_FALSE(Load(BuildFile(uiVersion, {{"NiBltSource", Bytes().U8(0).U8(1).U32(7)}}, {0})));
    EXPECT_EQ(m_kStream.GetLastError(), NiObjectStream::ERROR_CORRUPT);
    EXPECT_FALSE(Load(BuildFile(uiVersion, {{"NiBltSource", Bytes().U8(1).U32(0x7FFFFFF0)}}, {0})));
    EXPECT_EQ(m_kStream.GetLastError(), NiObjectStream::ERROR_CORRUPT);

    NiBltSourcePtr sp = new NiBltSource;
    sp->SetSourcePixelData(NiPixelDataPtr(new NiPixelData(2, 2, NiPixelFormat::RGBA32, 1)));
    ExpectEveryTruncationFails(Save({sp}));
    sp->SetFileName("a.tga");
    ExpectEveryTruncationFails(Save({sp}));
}
