#include "engine/render/NiTexture.h"

#include "engine/core/NiRecursiveLock.h"
#include "engine/core/NiSharedTextureTable.h"
#include "engine/render/NiRenderLibrary.h"
#include "engine/render/NiSourceTexture.h"
#include "tests/engine/render/TextureTestSupport.h"

#include <atomic>
#include <thread>

using namespace texture_test;

namespace
{
class NiTextureTest : public TextureTest
{
};

class NiTextureThreadsTest : public TextureTest
{
};

bool IsListed(const NiTexture* pkTexture)
{
    NiRecursiveLockGuard kGuard(NiTextureListLock());
    for (NiTexture* pk = NiTexture::GetListHead(); pk != nullptr; pk = pk->GetListNext())
    {
        if (pk == pkTexture)
            return true;
    }
    return false;
}

// Notes, while its own destructor runs, whether it can still be found.
class ProbeTexture : public NiSourceTexture
{
public:
    explicit ProbeTexture(int* piListedAtDeath) : m_piListedAtDeath(piListedAtDeath) { SetFileNames("probe.tga"); }
    ~ProbeTexture() override { *m_piListedAtDeath = IsListed(this) ? 1 : 0; }

private:
    int* m_piListedAtDeath;
};

std::vector<NiTexture*> ListFrom(NiTexture* pkFirst)
{
    NiRecursiveLockGuard kGuard(NiTextureListLock());
    std::vector<NiTexture*> k;
    for (NiTexture* pk = pkFirst; pk != nullptr; pk = pk->GetListNext())
        k.push_back(pk);
    return k;
}

NiSourceTexturePtr Named(const char* pcName)
{
    return NiSourceTexture::CreateFromFile(pcName, NiTexture::FormatPrefs());
}

NiPixelDataPtr Image()
{
    return new NiPixelData(16, 4, NiPixelFormat::RGBA32, 0);
}
} // namespace

TEST_F(NiTextureTest, ListKeepsConstructionOrderAcrossDeletes)
{
    const std::uint32_t uiBefore = NiTexture::GetListCount();
    NiSourceTexturePtr spA = Named("a"), spB = Named("b"), spC = Named("c"), spD = Named("d");
    EXPECT_EQ(NiTexture::GetListCount(), uiBefore + 4);
    EXPECT_EQ(ListFrom(spA), (std::vector<NiTexture*>{spA, spB, spC, spD}));
    spB.Clear();
    spD.Clear();
    EXPECT_EQ(ListFrom(spA), (std::vector<NiTexture*>{spA, spC}));
    EXPECT_EQ(NiTexture::GetListTail(), spC.Get());
    spA.Clear();
    EXPECT_EQ(spC->GetListPrev(), nullptr);
    NiSourceTexturePtr spE = Named("e");
    EXPECT_EQ(ListFrom(spC), (std::vector<NiTexture*>{spC, spE}));
    spC.Clear();
    spE.Clear();
    EXPECT_EQ(NiTexture::GetListCount(), uiBefore);

    std::vector<std::thread> kThreads;
    for (int t = 0; t < 4; ++t)
    {
        kThreads.emplace_back([] {
            std::vector<NiSourceTexturePtr> kHeld;
            for (int i = 0; i < 300; ++i)
            {
                kHeld.push_back(Named("t.tga"));
                if (i % 3 == 2)
                    kHeld.erase(kHeld.begin() + (i % 2));
                (void)NiTexture::GetListCount();
            }
        });
    }
    for (std::thread& k : kThreads)
        k.join();
    EXPECT_EQ(NiTexture::GetListCount(), uiBefore) << "four threads creating and freeing";
}

TEST_F(NiTextureTest, DefaultsSettingsAndSize)
{
    const NiTexture::FormatPrefs kPrefs;
    EXPECT_EQ(kPrefs.m_ePixelLayout, 6u);
    EXPECT_EQ(kPrefs.m_eMipMapped, 2u);
    EXPECT_EQ(kPrefs.m_eAlphaFmt, 3u);
    NiRefPtr<NiSourceTexture> sp = new NiSourceTexture;
    EXPECT_EQ(sp->GetFormatPreferences(), kPrefs);
    EXPECT_TRUE(sp->GetStatic());
    EXPECT_FALSE(sp->GetLoadDirectToRendererHint());
    EXPECT_EQ(sp->GetWidth(), 0u) << "neither renderer data nor pixel data";
    NiTexture::SetPrecacheOnCreation(false);
    NiTexture::SetDestroyAfterPrecache(true);
    NiTexture::SetDefaultMipmap(true);
    NiTexture::ResetSettings();
    EXPECT_TRUE(NiTexture::GetPrecacheOnCreation());
    EXPECT_FALSE(NiTexture::GetDestroyAfterPrecache());
    EXPECT_FALSE(NiTexture::GetDefaultMipmap());

    sp = NiSourceTexture::CreateFromPixelData(Image(), kPrefs);
    EXPECT_EQ(sp->GetWidth(), 16u);
    EXPECT_EQ(sp->GetHeight(), 4u);
    int iLive = 0;
    sp->SetRendererData(std::make_unique<SizedRendererData>(&iLive));
    EXPECT_EQ(sp->GetWidth(), 64u);
    EXPECT_EQ(sp->GetHeight(), 32u);
    sp.Clear();
    EXPECT_EQ(iLive, 0) << "the renderer data goes with the texture";
}

TEST_F(NiTextureTest, CreationWithoutAcceptingAndRefusingRenderers)
{
    NiSourceTexturePtr spNone = Named("maps\\a.tga");
    ASSERT_TRUE(spNone);
    EXPECT_EQ(spNone->GetPlatformSpecificFileName(), "maps\\a.tga");
    EXPECT_EQ(spNone->GetSourcePixelData(), nullptr) << "nothing is loaded without a renderer";
    EXPECT_TRUE(spNone->GetLoadDirectToRendererHint());
    EXPECT_FALSE(NiSourceTexture::CreateFromFile("b.tga", {}, false)->GetLoadDirectToRendererHint());
    EXPECT_EQ(Named(""), nullptr);
    EXPECT_EQ(NiSourceTexture::CreateFromPixelData(nullptr, {}), nullptr);

    NiRefPtr<RecordingRenderer> spRenderer = new RecordingRenderer;
    NiSourceTexturePtr spAccepted = Named("c.tga");
    EXPECT_EQ(spRenderer->m_kPrecached, (std::vector<const void*>{spAccepted.Get()}));

    const std::uint32_t uiLive = NiRefObject::GetTotalObjectCount();
    const std::uint32_t uiListed = NiTexture::GetListCount();
    spRenderer->m_bRefuse = true;
    EXPECT_EQ(Named("d.tga"), nullptr);
    EXPECT_EQ(NiSourceTexture::CreateFromPixelData(Image(), {}), nullptr);
    EXPECT_EQ(NiRefObject::GetTotalObjectCount(), uiLive) << "the refused textures are gone";
    EXPECT_EQ(NiTexture::GetListCount(), uiListed);

    NiTexture::SetPrecacheOnCreation(false);
    EXPECT_TRUE(Named("e.tga")) << "not asked while precaching on creation is off";
    EXPECT_EQ(spRenderer->m_kPrecached.size(), 3u);
}

TEST_F(NiTextureTest, DestroyAfterPrecacheDropsOnlyStaticImagesWithRendererData)
{
    NiTexture::SetDestroyAfterPrecache(true);
    NiPixelDataPtr spImage = Image();
    NiRefPtr<RecordingRenderer> spRenderer = new RecordingRenderer;
    EXPECT_EQ(NiSourceTexture::CreateFromPixelData(spImage, {})->GetSourcePixelData(), spImage.Get())
        << "no renderer data: the image stays";
    spRenderer->m_bMakeData = true;
    EXPECT_EQ(NiSourceTexture::CreateFromPixelData(spImage, {})->GetSourcePixelData(), nullptr);
    NiTexture::SetPrecacheOnCreation(false);
    NiSourceTexturePtr spDynamic = NiSourceTexture::CreateFromPixelData(spImage, {});
    spDynamic->SetStatic(false);
    EXPECT_TRUE(spDynamic->Precache());
    EXPECT_EQ(spDynamic->GetSourcePixelData(), spImage.Get()) << "a changing image stays";
}

TEST_F(NiTextureTest, LoadPixelDataOnlyForANamedTextureWithoutAnImage)
{
    TempFolder kFolder;
    NiPixelDataPtr spImage = Image();
    spImage->GetPixels()[3] = 77;
    NiObjectStream kStream; // an engine pixel-data file, what the default converter reads
    kStream.InsertTopObject(spImage);
    ASSERT_TRUE(kStream.SaveFile(kFolder.File("image.nif").c_str()));
    NiSourceTexturePtr sp = Named(kFolder.File("image.nif").c_str());
    sp->LoadPixelData();
    ASSERT_NE(sp->GetSourcePixelData(), nullptr);
    EXPECT_EQ(sp->GetSourcePixelData()->GetPixels()[3], 77);
    NiPixelData* pkFirst = sp->GetSourcePixelData();
    sp->LoadPixelData();
    EXPECT_EQ(sp->GetSourcePixelData(), pkFirst) << "an image already held stays";
    sp->DestroyAppPixelData();
    EXPECT_EQ(sp->GetSourcePixelData(), nullptr);
    NiSourceTexturePtr spMissing = Named(kFolder.File("none.nif").c_str());
    spMissing->LoadPixelData();
    EXPECT_EQ(spMissing->GetSourcePixelData(), nullptr);
}

TEST_F(NiTextureTest, ReplacementImages)
{
    using Rgba = std::vector<std::uint8_t>;
    const Rgba MAGENTA{255, 0, 255, 255}, BLUE{0, 0, 255, 255}, YELLOW{255, 255, 0, 255}, GREEN{0, 255, 0, 255},
        RED{255, 0, 0, 255}, CYAN{0, 255, 255, 255};
    const Rgba akColors[7][2] = {{MAGENTA, MAGENTA}, {BLUE, YELLOW},     {GREEN, RED}, {CYAN, YELLOW},
                                 {RED, YELLOW},      {MAGENTA, MAGENTA}, {CYAN, CYAN}};
    for (std::uint32_t i = 0; i < 7; ++i)
    {
        SCOPED_TRACE(i);
        NiPixelDataPtr sp = NiTexture::GetReplacementPixelData(nullptr, 0x80000000 | i);
        ASSERT_TRUE(sp);
        EXPECT_EQ(sp->GetWidth(), 8u);
        EXPECT_EQ(sp->GetHeight(), 8u);
        EXPECT_EQ(sp->GetPixelFormat(), NiPixelFormat::RGBA32);
        for (std::uint32_t r = 0; r < 8; ++r)
        {
            for (std::uint32_t c = 0; c < 8; ++c)
            {
                const std::uint8_t* puc = sp->GetPixels() + (r * 8 + c) * 4;
                EXPECT_EQ(Rgba(puc, puc + 4), akColors[i][r / 4 == c / 4 ? 0 : 1]) << r << ", " << c;
            }
        }
    }
    EXPECT_EQ(NiTexture::GetReplacementPixelData(nullptr, 0x80000007), nullptr);
    EXPECT_EQ(NiTexture::GetReplacementPixelData(nullptr, 0x00000005), nullptr);
    NiPixelDataPtr spFirst = NiTexture::GetReplacementPixelData(nullptr, 0x80000006);
    EXPECT_EQ(NiTexture::GetReplacementPixelData(nullptr, 0x80000006), spFirst) << "made once";

    NiTexture::SetReplacementPixelFormat(NiPixelFormat::R5G6B5); // drops the cache
    EXPECT_NE(NiTexture::GetReplacementPixelData(nullptr, 0x80000006), spFirst);
    NiPixelDataPtr sp565 = NiTexture::GetReplacementPixelData(nullptr, 0x80000004);
    EXPECT_EQ(sp565->GetPixelFormat(), NiPixelFormat::R5G6B5);
    const std::uint8_t* puc = sp565->GetPixels();
    EXPECT_EQ(Rgba(puc, puc + 2), (Rgba{0x00, 0xF8})) << "(0, 0) red";
    EXPECT_EQ(Rgba(puc + 8, puc + 10), (Rgba{0xE0, 0xFF})) << "(0, 4) yellow";

    static NiTexture* s_pkSeen = nullptr;
    NiTexture::SetReplacementHook([](NiTexture* pk, std::uint32_t) -> NiPixelDataPtr {
        s_pkSeen = pk;
        return Image();
    });
    NiSourceTexturePtr spTexture = Named("x.tga");
    EXPECT_EQ(NiTexture::GetReplacementPixelData(spTexture, 0x80000009)->GetWidth(), 16u);
    EXPECT_EQ(s_pkSeen, spTexture.Get());
}

TEST_F(NiTextureTest, ViewerStrings)
{
    const char* const apcClamp[] = {"m = CLAMP_S_CLAMP_T", "m = CLAMP_S_WRAP_T", "m = WRAP_S_CLAMP_T",
                                    "m = WRAP_S_WRAP_T", ""};
    const char* const apcFilter[] = {"m = FILTER_NEAREST",         "m = FILTER_BILERP",
                                     "m = FILTER_TRILERP",         "m = FILTER_NEAREST_MIPNEAREST",
                                     "m = FILTER_NEAREST_MIPLERP", "m = FILTER_BILERP_MIPNEAREST", ""};
    for (std::uint32_t i = 0; i < 7; ++i)
    {
        std::unique_ptr<char[]> spClamp(GetClampModeViewerString("m", i));
        std::unique_ptr<char[]> spFilter(GetFilterModeViewerString("m", i));
        EXPECT_STREQ(spClamp.get(), apcClamp[std::min(i, 4u)]);
        EXPECT_STREQ(spFilter.get(), apcFilter[i]);
    }
    const std::vector<std::string> kLines = ViewerLines(Named("a.tga"));
    ASSERT_GE(kLines.size(), 2u);
    EXPECT_EQ(kLines[kLines.size() - 2], "--- NiTexture ---");
    EXPECT_EQ(kLines.back(), "--- NiSourceTexture ---");
}

TEST_F(NiTextureTest, SearchOfEveryLiveTextureIsCaseBlindAndSkipsTheReader)
{
    NiSourceTexturePtr spWall = Named("Maps\\Wall.TGA");
    NiSharedTextureTable kTable;
    EXPECT_EQ(kTable.FindTexture("maps\\wall.tga", nullptr), nullptr) << "search-all is off";
    kTable.SetSearchAll(true);
    EXPECT_EQ(kTable.FindTexture("MAPS\\WALL.tga", nullptr), spWall.Get());
    EXPECT_EQ(kTable.FindTexture("maps\\wall.tga", spWall), nullptr) << "the reader is skipped";
    NiTexture::StaticShutdown();
    EXPECT_EQ(kTable.FindTexture("maps\\wall.tga", nullptr), nullptr) << "shut-down removes the search";
    NiTexture::StaticInit();
}

TEST_F(NiTextureTest, ATextureLeavesTheListBeforeItsPartsAreDestroyed)
{
    int iListedAtDeath = -1;
    const std::uint32_t uiBefore = NiTexture::GetListCount();
    NiRefPtr<ProbeTexture> spProbe = new ProbeTexture(&iListedAtDeath);
    EXPECT_FALSE(IsListed(spProbe)) << "made, not yet added by its maker";
    spProbe->AddToTextureList();
    spProbe->AddToTextureList();
    EXPECT_EQ(NiTexture::GetListCount(), uiBefore + 1) << "adding twice lists it once";
    ASSERT_TRUE(IsListed(spProbe));
    EXPECT_EQ(NiTexture::FindTextureByName("PROBE.TGA", nullptr), spProbe.Get());
    spProbe.Clear();
    EXPECT_EQ(iListedAtDeath, 0) << "still listed while its destructor runs";
}

TEST_F(NiTextureThreadsTest, SearchNeverHandsOutATextureWhoseLastReferenceIsGone)
{
    // One thread makes and drops "race.tga" while another searches for it,
    // in rounds: the maker drops its texture only once the searcher is busy
    // searching, and the searcher goes on until the texture is gone, so each
    // drop lands among searches. Handing out the dying texture would revive
    // it and delete it twice.
    constexpr int ROUNDS = 10000;
    std::atomic<int> iMade{-1}, iSearching{-1}, iGone{-1};
    std::thread kMaker([&] {
        for (int i = 0; i < ROUNDS; ++i)
        {
            NiSourceTexturePtr spTexture = Named("race.tga");
            iMade = i;
            while (iSearching != i)
                std::this_thread::yield();
            spTexture.Clear();
            while (iGone != i)
                std::this_thread::yield();
        }
    });
    std::uint32_t uiHits = 0;
    std::uint32_t uiWrongHits = 0;
    for (int i = 0; i < ROUNDS; ++i)
    {
        while (iMade != i)
            std::this_thread::yield();
        auto kSearch = [&] {
            NiObjectPtr spFound = NiTexture::FindTextureByName("RACE.tga", nullptr);
            if (spFound == nullptr)
                return false;
            ++uiHits;
            auto* pkSource = NiDynamicCast<NiSourceTexture>(spFound.Get());
            if (pkSource == nullptr || pkSource->GetFileName() != "race.tga" || spFound->GetRefCount() == 0)
                ++uiWrongHits;
            return true;
        };
        // The maker still holds this round's texture, so this first search
        // must find it; the drop can only come after the signal.
        const bool bFoundWhileHeld = kSearch();
        EXPECT_TRUE(bFoundWhileHeld) << "round " << i;
        iSearching = i;
        while (kSearch())
        {
        }
        iGone = i;
    }
    kMaker.join();
    EXPECT_EQ(uiWrongHits, 0u);
    EXPECT_GE(uiHits, static_cast<std::uint32_t>(ROUNDS)) << "the searcher saw each texture before it went";
    EXPECT_EQ(NiTexture::FindTextureByName("race.tga", nullptr), nullptr) << "every one was dropped";
}

TEST(NiTextureLibraryTest, StartUpMakesTheTextureClassesCreatableAndShutDownUndoesIt)
{
    const char* const apcNames[] = {"NiBltSource", "NiScreenTexture", "NiSourceTexture", "NiSourceCubeMap"};
    NiMainLibrary::Reset();
    NiRenderLibraryRegister();
    NiMainLibrary::Init();
    for (const char* pcName : apcNames)
    {
        NiObjectPtr sp = NiObjectStream::CreateObjectByName(pcName);
        ASSERT_TRUE(sp) << pcName;
        EXPECT_STREQ(sp->GetTypeInfo()->GetName(), pcName);
    }
    NiTexture::SetReplacementPixelFormat(NiPixelFormat::R5G6B5);
    NiPixelDataPtr spImage = NiTexture::GetReplacementPixelData(nullptr, 0x80000001);
    NiMainLibrary::Shutdown();
    EXPECT_EQ(spImage->GetRefCount(), 1u) << "shut-down released the cached replacement images";
    for (const char* pcName : apcNames)
        EXPECT_EQ(NiObjectStream::GetCreateFunction(pcName), nullptr) << pcName;
    NiMainLibrary::Init();
    EXPECT_EQ(NiTexture::GetReplacementPixelFormat(), NiPixelFormat::RGBA32) << "start-up restores the format";
    NiMainLibrary::Reset();
    NiObjectStream::StaticShutdown();
}
