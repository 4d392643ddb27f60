#include "engine/render/NiSourceTexture.h"

#include "engine/core/NiFile.h"
#include "engine/core/NiSharedTextureTable.h"
#include "engine/scene/NiStringExtraData.h"
#include "tests/engine/render/TextureTestSupport.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <strings.h>
#include <thread>

using namespace texture_test;

namespace
{
constexpr std::uint32_t NONE = 0xFFFFFFFF;

struct Fields
{
    std::uint8_t m_ucExternal = 1;
    std::string m_kName;
    std::uint8_t m_ucHasPixels = 0;
    std::uint32_t m_uiLink = NONE;
    std::uint32_t m_uiLayout = 6;
    std::uint8_t m_ucDirect = 0;
};

// A source texture's record as a file of the version holds it: an unnamed
// object without extra data or controller, mip-map mode 1, alpha format 0,
// not static.
Bytes SourceRecord(std::uint32_t uiVersion, const Fields& k)
{
    Bytes b;
    b.Str("").U32(uiVersion >= V(5, 0, 0, 11) ? 0 : NONE).U32(NONE).U8(k.m_ucExternal);
    if (uiVersion >= V(10, 0, 1, 4))
        b.Str(k.m_kName).U32(k.m_uiLink);
    else if (k.m_ucExternal != 0)
        b.Str(k.m_kName);
    else if (b.U8(k.m_ucHasPixels); k.m_ucHasPixels != 0)
        b.U32(k.m_uiLink);
    b.U32(k.m_uiLayout).U32(1).U32(0).U8(0);
    if (uiVersion >= V(10, 1, 0, 103))
        b.U8(k.m_ucDirect);
    return b;
}

NiSourceTexturePtr Named(const char* pcName)
{
    return NiSourceTexture::CreateFromFile(pcName, NiTexture::FormatPrefs());
}

class NiSourceTextureTest : public TextureTest
{
protected:
    // Loads a file of one texture record; every shorter cut of it fails.
    NiSourceTexture* LoadOne(std::uint32_t uiVersion, const Fields& k, bool bCutEveryLength = false)
    {
        const std::vector<std::uint8_t> kFile =
            BuildFile(uiVersion, {{"NiSourceTexture", SourceRecord(uiVersion, k)}}, {0});
        if (bCutEveryLength)
            ExpectEveryTruncationFails(kFile);
        if (!Load(kFile) || m_kLoaded.size() != 1)
            return nullptr;
        return NiDynamicCast<NiSourceTexture>(m_kLoaded[0].Get());
    }
};

// Loads data/models/cell.nif from a temporary working folder.
class NiSourceTextureFolderTest : public NiSourceTextureTest
{
protected:
    void SetUp() override
    {
        NiSourceTextureTest::SetUp();
        m_kOldCwd = std::filesystem::current_path();
        std::filesystem::create_directories(m_kFolder.Path() / "data" / "models" / "maps");
        std::filesystem::current_path(m_kFolder.Path());
    }
    void TearDown() override
    {
        std::filesystem::current_path(m_kOldCwd);
        NiSourceTextureTest::TearDown();
    }
    static void Touch(const std::string& kPath) { std::ofstream(kPath, std::ios::binary) << "image"; }
    bool SaveAndLoad(const std::vector<NiObject*>& kTops)
    {
        NiObjectStream kStream;
        for (NiObject* pk : kTops)
            kStream.InsertTopObject(pk);
        return kStream.SaveFile("data/models/cell.nif") && LoadPath("data/models/cell.nif") &&
               m_kLoaded.size() == kTops.size();
    }
    NiSourceTexture* Loaded(std::size_t i) const { return NiDynamicCast<NiSourceTexture>(m_kLoaded.at(i).Get()); }

    TempFolder m_kFolder;
    std::filesystem::path m_kOldCwd;
};
} // namespace

TEST_F(NiSourceTextureTest, RecordsRoundTrip)
{
    NiPixelDataPtr spImage = new NiPixelData(4, 4, NiPixelFormat::RGBA32, 0);
    spImage->GetPixels()[9] = 42;
    const NiTexture::FormatPrefs kPrefs{1, 1, 2};
    NiSourceTexturePtr spInternal = NiSourceTexture::CreateFromPixelData(spImage, kPrefs);
    spInternal->SetStatic(false);
    spInternal->SetLoadDirectToRendererHint(true);
    spInternal->SetName("inside");
    auto* pk = NiDynamicCast<NiSourceTexture>(RoundTrip(spInternal));
    ASSERT_NE(pk, nullptr);
    EXPECT_EQ(pk->GetSourcePixelData()->GetPixels()[9], 42);
    EXPECT_EQ(pk->GetFormatPreferences(), kPrefs);
    EXPECT_FALSE(pk->GetStatic());
    EXPECT_TRUE(pk->GetLoadDirectToRendererHint());
    EXPECT_STREQ(pk->GetName(), "inside");

    NiSourceTexturePtr spExternal = Named("maps\\missing.tga");
    pk = NiDynamicCast<NiSourceTexture>(RoundTrip(spExternal));
    ASSERT_NE(pk, nullptr);
    EXPECT_EQ(pk->GetFileName(), "maps\\missing.tga");
    Fields k;
    k.m_kName = "maps\\missing.tga";
    k.m_ucDirect = 1;
    Bytes kRecord = SourceRecord(NiObjectStream::CURRENT_VERSION, k);
    kRecord.m_kBytes[kRecord.Size() - 10] = 2; // mip-map mode 2, alpha format 3, static
    kRecord.m_kBytes[kRecord.Size() - 6] = 3;
    kRecord.m_kBytes[kRecord.Size() - 2] = 1;
    EXPECT_EQ(Save({spExternal}), BuildFile(NiObjectStream::CURRENT_VERSION, {{"NiSourceTexture", kRecord}}, {0}));

    NiSourceTexturePtr spCopy = NiSourceTexture::CreateFromPixelData(spImage, kPrefs);
    spCopy->SetName("inside");
    spCopy->SetLoadDirectToRendererHint(true);
    EXPECT_FALSE(spCopy->IsEqual(spInternal)) << "static differs";
    spCopy->SetStatic(false);
    EXPECT_TRUE(spCopy->IsEqual(spInternal));
    spCopy->SetLoadDirectToRendererHint(false);
    EXPECT_FALSE(spCopy->IsEqual(spInternal));
    EXPECT_FALSE(spExternal->IsEqual(Named("maps\\other.tga")));
    EXPECT_FALSE(spExternal->IsEqual(spInternal));
}

TEST_F(NiSourceTextureTest, OldFilesAndTheirPixelLayouts)
{
    const std::uint32_t aauiCases[][3] = {
        {V(3, 3, 0, 11), 4, 6}, {V(3, 3, 0, 11), 5, 5}, {V(3, 3, 0, 12), 4, 4},  {V(3, 3, 0, 12), 5, 6},
        {V(5, 0, 0, 0), 5, 6},  {V(5, 0, 0, 1), 5, 5},  {V(10, 0, 1, 3), 5, 5}, {V(10, 2, 0, 0), 4, 4},
    };
    for (const auto& auiCase : aauiCases)
    {
        SCOPED_TRACE(std::to_string(auiCase[0]) + " layout " + std::to_string(auiCase[1]));
        Fields k;
        k.m_kName = "old.tga";
        k.m_uiLayout = auiCase[1];
        NiSourceTexture* pk = LoadOne(auiCase[0], k, true);
        ASSERT_NE(pk, nullptr);
        EXPECT_EQ(pk->GetFormatPreferences(), (NiTexture::FormatPrefs{auiCase[2], 1, 0}));
        EXPECT_FALSE(pk->GetStatic());
        EXPECT_EQ(pk->GetFileName(), "old.tga");
    }

    Fields k; // 10.0.1.3, internal without pixel data: no name, nothing linked
    k.m_ucExternal = 0;
    NiSourceTexture* pk = LoadOne(V(10, 0, 1, 3), k, true);
    ASSERT_NE(pk, nullptr);
    EXPECT_TRUE(pk->GetFileName().empty());
    EXPECT_EQ(pk->GetSourcePixelData(), nullptr);
    k.m_ucHasPixels = 1;
    ASSERT_NE(LoadOne(V(10, 0, 1, 3), k, true), nullptr);

    k.m_ucExternal = 1;
    k.m_kName = "d.tga";
    k.m_ucDirect = 1;
    EXPECT_TRUE(LoadOne(V(10, 1, 0, 103), k, true)->GetLoadDirectToRendererHint());
    EXPECT_FALSE(LoadOne(V(10, 1, 0, 102), k, true)->GetLoadDirectToRendererHint()) << "no byte for it yet";
}

TEST_F(NiSourceTextureTest, HostileRecordsFailAsCorrupt)
{
    Fields k;
    k.m_ucExternal = 0;
    k.m_ucHasPixels = 1;
    for (std::uint32_t uiVersion : {V(10, 0, 1, 3), NiObjectStream::CURRENT_VERSION})
    {
        for (std::uint32_t uiLink : {0u, 5u}) // the texture itself; beyond the file
        {
            k.m_uiLink = uiLink;
            EXPECT_EQ(LoadOne(uiVersion, k), nullptr);
            EXPECT_EQ(Stream().GetLastError(), NiObjectStream::ERROR_CORRUPT);
        }
    }
    Bytes b; // a name longer than the file
    b.Str("").U32(0).U32(NONE).U8(1).U32(0x7FFFFFFF);
    EXPECT_FALSE(Load(BuildFile(NiObjectStream::CURRENT_VERSION, {{"NiSourceTexture", b}}, {0})));
    EXPECT_EQ(Stream().GetLastError(), NiObjectStream::ERROR_CORRUPT);
    NiPixelDataPtr spImage = new NiPixelData(2, 2, NiPixelFormat::RGBA32, 1);
    ExpectEveryTruncationFails(Save({NiSourceTexture::CreateFromPixelData(spImage, {})}));
}

TEST_F(NiSourceTextureTest, PostLinkPrecachesEveryLoadedTextureOnce)
{
    const std::vector<std::uint8_t> kFile = Save({Named("a.tga"), Named("b.tga"), Named("a.tga")});
    NiRefPtr<RecordingRenderer> spRenderer = new RecordingRenderer;
    ASSERT_TRUE(Load(kFile));
    EXPECT_EQ(spRenderer->m_kPrecached, (std::vector<const void*>{m_kLoaded[0], m_kLoaded[1], m_kLoaded[2]}));
    spRenderer->m_bRefuse = true;
    EXPECT_TRUE(Load(kFile)) << "a refusing renderer does not fail the load";
}

TEST_F(NiSourceTextureFolderTest, ExternalNamesWalkTheSearchPath)
{
    Touch("data/models/maps/wall.tga");
    Touch("data/models/roof.tga");
    Touch("floor.tga");
    ASSERT_TRUE(SaveAndLoad({Named("Maps\\WALL.tga"), Named("textures\\Roof.TGA"), Named("FLOOR.TGA"),
                             Named("maps\\gone.tga")}));
    // The candidates: the name, the bare name, both below the scene's folder.
    EXPECT_EQ(Loaded(0)->GetPlatformSpecificFileName(), "data/models/Maps\\WALL.tga");
    EXPECT_EQ(Loaded(1)->GetPlatformSpecificFileName(), "data/models/Roof.TGA");
    EXPECT_EQ(Loaded(2)->GetPlatformSpecificFileName(), "FLOOR.TGA");
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_TRUE(NiFileAccessible(Loaded(i)->GetPlatformSpecificFileName().c_str(), 0)) << i;
    EXPECT_EQ(Loaded(0)->GetFileName(), "Maps\\WALL.tga");
    EXPECT_EQ(Loaded(3)->GetPlatformSpecificFileName(), "maps\\gone.tga") << "nothing found: names as read";
    EXPECT_EQ(Stream().GetSharedTextureTable()->GetCount(), 3u);
}

TEST_F(NiSourceTextureFolderTest, SameCandidateMakesOneTextureThatKeepsItsOwnLinks)
{
    Touch("data/models/maps/wall.tga");
    NiSourceTexturePtr spSecond = Named("maps\\wall.tga");
    spSecond->SetStatic(false);
    spSecond->AddExtraData(NiRefPtr<NiStringExtraData>(new NiStringExtraData("second's")));
    // A record after the duplicate must still get its own links.
    NiPixelDataPtr spImage = new NiPixelData(2, 2, NiPixelFormat::RGBA32, 1);
    NiSourceTexturePtr spAfter = NiSourceTexture::CreateFromPixelData(spImage, {});
    spAfter->AddExtraData(NiRefPtr<NiStringExtraData>(new NiStringExtraData("after's")));
    NiRefPtr<RecordingRenderer> spRenderer = new RecordingRenderer;
    ASSERT_TRUE(SaveAndLoad({Named("maps\\wall.tga"), spSecond, Named("MAPS\\WALL.TGA"), spAfter}));

    EXPECT_EQ(Loaded(0), Loaded(1)) << "one object for one file";
    EXPECT_EQ(Loaded(0)->GetExtraDataSize(), 0u) << "the duplicate's links were dropped";
    EXPECT_TRUE(Loaded(0)->GetStatic()) << "the first record's own values";
    EXPECT_NE(Loaded(2), Loaded(0)) << "the table compares names exactly";
    ASSERT_NE(Loaded(3)->GetSourcePixelData(), nullptr);
    ASSERT_EQ(Loaded(3)->GetExtraDataSize(), 1u);
    EXPECT_STREQ(static_cast<NiStringExtraData*>(Loaded(3)->GetExtraDataAt(0))->GetValue(), "after's");
    EXPECT_EQ(std::count(spRenderer->m_kPrecached.end() - 3, spRenderer->m_kPrecached.end(), Loaded(0)), 1)
        << "post-linked once";
}

TEST_F(NiSourceTextureFolderTest, InternalNamedTexturesShareByName)
{
    Fields k;
    k.m_ucExternal = 0;
    k.m_kName = "inside.tga";
    const std::uint32_t uiVersion = NiObjectStream::CURRENT_VERSION;
    const Record kRecord{"NiSourceTexture", SourceRecord(uiVersion, k)};
    ASSERT_TRUE(Load(BuildFile(uiVersion, {kRecord, kRecord}, {0, 1})));
    EXPECT_EQ(m_kLoaded.at(0), m_kLoaded.at(1));

    // Unnamed external records look nothing up (the scene's folder is a
    // readable candidate of the empty name).
    k.m_ucExternal = 1;
    k.m_kName.clear();
    const Record kUnnamed{"NiSourceTexture", SourceRecord(uiVersion, k)};
    const std::vector<std::uint8_t> kFile = BuildFile(uiVersion, {kUnnamed, kUnnamed}, {0, 1});
    std::ofstream("data/models/cell.nif", std::ios::binary)
        .write(reinterpret_cast<const char*>(kFile.data()), static_cast<std::streamsize>(kFile.size()));
    ASSERT_TRUE(LoadPath("data/models/cell.nif"));
    EXPECT_NE(m_kLoaded.at(0), m_kLoaded.at(1));
    EXPECT_EQ(Stream().GetSharedTextureTable()->GetCount(), 1u);
}

TEST_F(NiSourceTextureFolderTest, SearchAllFindsLiveTexturesOfAnyCase)
{
    NiSourceTexturePtr spLive = Named("Maps\\Wall.TGA");
    const std::vector<std::uint8_t> kFile = Save({Named("maps\\wall.tga"), Named("maps\\alone.tga")});
    Stream().GetSharedTextureTable()->SetSearchAll(true);
    ASSERT_TRUE(Load(kFile));
    EXPECT_EQ(m_kLoaded.at(0).Get(), spLive.Get());
    EXPECT_EQ(Loaded(1)->GetFileName(), "maps\\alone.tga") << "the reader never finds itself";
}

namespace
{
class NiSourceTextureThreadsTest : public NiSourceTextureFolderTest
{
};

// One load of kFile through a stream of its own with search-all on: both
// top-level objects must come back as live textures of the file (the same
// one, or textures other threads made meanwhile).
bool LoadsTexturesOfTheFile(const std::vector<std::uint8_t>& kFile)
{
    NiObjectStream kStream;
    kStream.GetSharedTextureTable()->SetSearchAll(true);
    if (!kStream.LoadBuffer(kFile.data(), static_cast<std::uint32_t>(kFile.size())) || kStream.GetObjectCount() != 2)
        return false;
    for (std::uint32_t i = 0; i < 2; ++i)
    {
        auto* pkTexture = NiDynamicCast<NiSourceTexture>(kStream.GetObjectAt(i));
        if (pkTexture == nullptr || pkTexture->GetRefCount() == 0 ||
            strcasecmp(pkTexture->GetFileName().c_str(), "race.tga") != 0)
            return false;
    }
    return true;
}
} // namespace

TEST_F(NiSourceTextureThreadsTest, LoadersShareTexturesWhileAnotherThreadMakesAndDropsThem)
{
    // Three threads load the same saved textures, each through its own
    // stream, finding each other's textures and the fourth thread's, which
    // makes and drops textures of that name all along. A texture is found
    // only once whole, and only while it has an owner.
    Touch("race.tga");
    const std::vector<std::uint8_t> kFile = Save({Named("race.tga"), Named("RACE.TGA")});
    constexpr int ROUNDS = 2000;
    std::atomic<int> iLoadersLeft{3};
    std::atomic<int> iFailedLoads{0};
    std::atomic<int> iMade{0};
    std::vector<std::thread> kThreads;
    for (int t = 0; t < 3; ++t)
    {
        kThreads.emplace_back([&] {
            // Keep loading until the maker has run too: on a busy machine the
            // loaders can otherwise finish before its thread is scheduled.
            for (int i = 0; i < ROUNDS || iMade < 10; ++i)
            {
                if (!LoadsTexturesOfTheFile(kFile))
                    ++iFailedLoads;
            }
            --iLoadersLeft;
        });
    }
    kThreads.emplace_back([&] {
        while (iLoadersLeft > 0)
        {
            NiSourceTexturePtr spTexture = Named(iMade % 2 ? "race.tga" : "Race.tga");
            if (spTexture != nullptr)
                ++iMade;
        }
    });
    for (std::thread& k : kThreads)
        k.join();
    EXPECT_EQ(iFailedLoads, 0);
    EXPECT_GT(iMade, 0);
    EXPECT_EQ(NiTexture::GetListCount(), 0u) << "every texture was let go";
}
