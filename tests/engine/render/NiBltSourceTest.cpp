#include "engine/render/NiBltSource.h"

#include "engine/core/NiFile.h"
#include "engine/core/NiInstanceList.h"
#include "engine/core/NiRecursiveLock.h"
#include "tests/engine/render/TextureTestSupport.h"

#include <algorithm>
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

bool IsListed(const NiBltSource* pkSource)
{
    NiRecursiveLockGuard kGuard(NiBltSourceLock());
    for (NiBltSource* pk = NiBltSource::GetListHead(); pk != nullptr; pk = pk->GetListNext())
    {
        if (pk == pkSource)
            return true;
    }
    return false;
}

// Notes, while its own destructor runs, whether a walk of the list still
// meets it.
class ProbeBltSource : public NiBltSource
{
public:
    explicit ProbeBltSource(int* piListedAtDeath) : m_piListedAtDeath(piListedAtDeath) {}
    ~ProbeBltSource() override { *m_piListedAtDeath = IsListed(this) ? 1 : 0; }

private:
    int* m_piListedAtDeath;
};

Record BltRecord(const Bytes& kBody)
{
    return {"NiBltSource", kBody};
}
} // namespace

TEST_F(NiBltSourceTest, ABlitSourceLeavesItsListBeforeItsPartsAreDestroyed)
{
    int iListedAtDeath = -1;
    auto* pkProbe = new ProbeBltSource(&iListedAtDeath);
    EXPECT_TRUE(IsListed(pkProbe));
    {
        NiRecursiveLockGuard kGuard(NiBltSourceLock());
        EXPECT_EQ(NiInstanceListTake<NiBltSource>(pkProbe), nullptr) << "no owner yet: not to be handed out";
    }
    NiBltSourcePtr spProbe = pkProbe;
    {
        NiRecursiveLockGuard kGuard(NiBltSourceLock());
        EXPECT_EQ(NiInstanceListTake<NiBltSource>(pkProbe), spProbe.Get());
    }
    spProbe.Clear();
    EXPECT_EQ(iListedAtDeath, 0) << "still listed while its destructor runs";
}

TEST_F(NiBltSourceTest, ListAndSize)
{
    const std::uint32_t uiBefore = NiBltSource::GetListCount();
    NiBltSourcePtr spA = new NiBltSource, spB = new NiBltSource, spC = new NiBltSource;
    EXPECT_EQ(NiBltSource::GetListCount(), uiBefore + 3);
    spB.Clear();
    EXPECT_EQ(spA->GetListNext(), spC.Get());
    spC.Clear();
    EXPECT_EQ(spA->GetListNext(), nullptr);
    EXPECT_EQ(NiBltSource::GetListCount(), uiBefore + 1);

    EXPECT_EQ(spA->GetWidth(), 0u);
    spA->SetSourcePixelData(NiPixelDataPtr(new NiPixelData(8, 2, NiPixelFormat::RGB24, 1)));
    EXPECT_EQ(spA->GetWidth(), 8u);
    EXPECT_EQ(spA->GetHeight(), 2u);
    spA->SetRendererData(std::make_unique<SizedData>());
    EXPECT_EQ(spA->GetWidth(), 33u);
    EXPECT_EQ(spA->GetHeight(), 44u);

    // The base object's lines and its own header, nothing more.
    const std::vector<std::string> kLines = ViewerLines(spA);
    ASSERT_GE(kLines.size(), 2u);
    EXPECT_EQ(kLines.back(), "--- NiBltSource ---");
    EXPECT_EQ(std::count(kLines.begin(), kLines.end(), "--- NiBltSource ---"), 1);
}

TEST_F(NiBltSourceTest, RecordsRoundTripAndAskTheRendererForItsData)
{
    const std::uint32_t uiVersion = NiObjectStream::CURRENT_VERSION;
    NiBltSourcePtr spImage = new NiBltSource;
    NiPixelDataPtr spPixels = new NiPixelData(2, 2, NiPixelFormat::RGBA32, 1);
    spPixels->GetPixels()[5] = 9;
    spImage->SetSourcePixelData(spPixels);
    auto* pk = static_cast<NiBltSource*>(RoundTrip(spImage));
    ASSERT_NE(pk, nullptr);
    EXPECT_EQ(pk->GetSourcePixelData()->GetPixels()[5], 9);
    ExpectEveryTruncationFails(Save({spImage}));

    NiBltSourcePtr spEmpty = new NiBltSource;
    EXPECT_EQ(Save({spEmpty}), BuildFile(uiVersion, {BltRecord(Bytes().U8(0).U8(0))}, {0}));
    ASSERT_NE(RoundTrip(spEmpty), nullptr);
    NiBltSourcePtr spNamed = new NiBltSource;
    spNamed->SetFileName("maps\\missing.tga");
    EXPECT_EQ(Save({spNamed}), BuildFile(uiVersion, {BltRecord(Bytes().U8(1).Str("maps\\missing.tga"))}, {0}));
    ASSERT_NE(RoundTrip(spNamed), nullptr);
    ExpectEveryTruncationFails(Save({spNamed}));

    NiRefPtr<RecordingRenderer> spRenderer = new RecordingRenderer;
    ASSERT_TRUE(Load(Save({spImage})));
    EXPECT_EQ(spRenderer->m_kBltSources, (std::vector<const void*>{m_kLoaded[0].Get()}));

    // Links to the blit source itself and past the file; a name longer
    // than the file.
    for (const Bytes& kBody : {Bytes().U8(0).U8(1).U32(0), Bytes().U8(0).U8(1).U32(7), Bytes().U8(1).U32(0x7FFFFFF0)})
    {
        EXPECT_FALSE(Load(BuildFile(uiVersion, {BltRecord(kBody)}, {0})));
        EXPECT_EQ(Stream().GetLastError(), NiObjectStream::ERROR_CORRUPT);
    }
}

TEST_F(NiBltSourceTest, ExternalImageIsFoundBesideTheScene)
{
    TempFolder kFolder;
    std::filesystem::create_directories(kFolder.Path() / "data" / "models");
    std::ofstream(kFolder.Path() / "data" / "models" / "Splash.TGA", std::ios::binary) << "image";
    const std::string kScene = (kFolder.Path() / "data" / "models" / "menu.nif").string();
    NiBltSourcePtr sp = new NiBltSource;
    sp->SetFileName("art\\splash.tga");
    NiObjectStream kStream;
    kStream.InsertTopObject(sp);
    ASSERT_TRUE(kStream.SaveFile(kScene.c_str()));
    ASSERT_TRUE(LoadPath(kScene));
    auto* pk = static_cast<NiBltSource*>(m_kLoaded[0].Get());
    EXPECT_EQ(pk->GetFileName(), "art\\splash.tga");
    EXPECT_NE(pk->GetPlatformSpecificFileName(), "art\\splash.tga");
    EXPECT_TRUE(NiFileAccessible(pk->GetPlatformSpecificFileName().c_str(), 0)) << pk->GetPlatformSpecificFileName();
}
