#include "engine/scene/NiSceneLibrary.h"

#include "engine/core/NiBufferedFile.h"
#include "engine/core/NiInstanceList.h"
#include "engine/core/NiRecursiveLock.h"
#include "engine/core/NiSharedTextureTable.h"
#include "engine/render/NiSourceTexture.h"
#include "engine/render/NiTexture.h"
#include "engine/scene/NiAlphaProperty.h"
#include "engine/scene/NiBinaryExtraData.h"
#include "engine/scene/NiBooleanExtraData.h"
#include "engine/scene/NiColorExtraData.h"
#include "engine/scene/NiFloatExtraData.h"
#include "engine/scene/NiFloatsExtraData.h"
#include "engine/scene/NiIntegerExtraData.h"
#include "engine/scene/NiIntegersExtraData.h"
#include "engine/scene/NiNode.h"
#include "engine/scene/NiSCMExtraData.h"
#include "engine/scene/NiStringExtraData.h"
#include "engine/scene/NiStringsExtraData.h"
#include "engine/scene/NiSwitchStringExtraData.h"
#include "engine/scene/NiTexturingProperty.h"
#include "engine/scene/NiUIntExtraData.h"
#include "engine/scene/NiVectorExtraData.h"
#include "engine/scene/NiVertWeightsExtraData.h"
#include "tests/engine/scene/SceneTestSupport.h"

#include <atomic>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

using namespace scene_test;

namespace
{
const char* const REGISTERED[] = {
    "NiBinaryExtraData",  "NiBooleanExtraData",  "NiColorExtraData",        "NiExtraData",
    "NiFloatExtraData",   "NiFloatsExtraData",   "NiIntegerExtraData",      "NiIntegersExtraData",
    "NiStringExtraData",  "NiStringsExtraData",  "NiSwitchStringExtraData", "NiVectorExtraData",
    "NiVertWeightsExtraData", "NiCollisionData",
};

class NiSceneLibraryTest : public SceneTest
{
protected:
    // Two positioned objects sharing properties, every streamable extra
    // data kind, and a chain of controllers.
    std::vector<NiObjectPtr> BuildGraph()
    {
        NiRefPtr<TestAVObject> spFirst = new TestAVObject;
        NiRefPtr<TestAVObject> spSecond = new TestAVObject;
        spFirst->SetName("first");
        spSecond->SetName("second");
        spFirst->SetTranslate(NiVec3(1, -2, 3.5f));
        NiMatrix3x3 kRotate;
        kRotate.MakeZRotation(0.5f);
        spSecond->SetRotate(kRotate);
        spSecond->SetScale(0.25f);
        spSecond->SetAppCulled(true);

        NiRefPtr<TestProperty> spShared = new TestProperty;
        spShared->m_iType = NiProperty::MATERIAL;
        spShared->m_uFlags = 0x1234;
        spShared->SetName("shared");
        NiRefPtr<TestProperty> spOwn = new TestProperty;
        spOwn->m_iType = NiProperty::ALPHA;
        spOwn->PrependController(new TestController);
        spFirst->AttachProperty(spShared);
        spFirst->AttachProperty(spOwn);
        spSecond->AttachProperty(spShared);

        NiRefPtr<TestController> spC1 = new TestController;
        NiRefPtr<TestController> spC2 = new TestController;
        spC1->SetFlags(1);
        spC2->SetFlags(2);
        spFirst->PrependController(spC2);
        spFirst->PrependController(spC1);

        std::uint8_t* pucBytes = new std::uint8_t[4]{1, 2, 3, 4};
        spFirst->AddExtraData(new NiBinaryExtraData(4, pucBytes));
        spFirst->AddExtraData(new NiBooleanExtraData(true));
        NiRefPtr<NiColorExtraData> spColor = new NiColorExtraData;
        spColor->SetValue(1, 0.5f, 0.25f, 0.125f);
        spFirst->AddExtraData(spColor);
        spFirst->AddExtraData(new NiExtraData("plain"));
        spFirst->AddExtraData(new NiFloatExtraData(1.5f));
        const float af[] = {1, 2, 3};
        NiRefPtr<NiFloatsExtraData> spFloats = new NiFloatsExtraData;
        spFloats->SetArray(3, af);
        spFirst->AddExtraData(spFloats);
        spFirst->AddExtraData(new NiIntegerExtraData(-7));
        const std::int32_t ai[] = {4, 5};
        NiRefPtr<NiIntegersExtraData> spIntegers = new NiIntegersExtraData;
        spIntegers->SetArray(2, ai);
        spSecond->AddExtraData(spIntegers);
        spSecond->AddExtraData(new NiStringExtraData("a.nif\r\n"));
        const char* apc[] = {"x", "yy"};
        NiRefPtr<NiStringsExtraData> spStrings = new NiStringsExtraData;
        spStrings->SetValue(2, apc);
        spSecond->AddExtraData(spStrings);
        NiRefPtr<NiSwitchStringExtraData> spSwitch = new NiSwitchStringExtraData;
        spSwitch->SetValue(2, apc);
        spSwitch->SetIndex(1);
        spSecond->AddExtraData(spSwitch);
        NiRefPtr<NiVectorExtraData> spVector = new NiVectorExtraData;
        spVector->SetValue(1, 2, 3, 4);
        spSecond->AddExtraData(spVector);
        return {spFirst, spSecond};
    }

    static std::vector<NiObject*> Raw(const std::vector<NiObjectPtr>& k)
    {
        std::vector<NiObject*> kRaw;
        for (const NiObjectPtr& sp : k)
            kRaw.push_back(sp);
        return kRaw;
    }
};
} // namespace

TEST_F(NiSceneLibraryTest, StartUpRegistersTheStreamableExtraDataAndCollisionDataAndShutDownRemovesThem)
{
    for (const char* pc : REGISTERED)
    {
        NiObjectPtr sp = NiObjectStream::CreateObjectByName(pc);
        ASSERT_NE(sp, nullptr) << pc;
        EXPECT_STREQ(sp->GetTypeInfo()->GetName(), pc);
    }
    EXPECT_EQ(NiObjectStream::GetCreateFunction("NiSCMExtraData"), nullptr);
    EXPECT_EQ(NiObjectStream::GetCreateFunction("NiUIntExtraData"), nullptr);
    std::uint32_t uiHooks = NiMainLibrary::GetModuleHookCount();
    NiSceneLibraryRegister();
    EXPECT_EQ(NiMainLibrary::GetModuleHookCount(), uiHooks) << "registering twice adds nothing";

    NiMainLibrary::Shutdown();
    NiObjectStream::StaticInit();
    for (const char* pc : REGISTERED)
        EXPECT_EQ(NiObjectStream::GetCreateFunction(pc), nullptr) << pc;
    NiObjectStream::StaticShutdown();
    NiMainLibrary::Init();
}

TEST_F(NiSceneLibraryTest, AWholeGraphRoundTripsEqualAndByteIdentical)
{
    std::vector<NiObjectPtr> kGraph = BuildGraph();
    std::vector<std::uint8_t> kSaved = Save(Raw(kGraph));
    ASSERT_TRUE(Load(kSaved));
    ASSERT_EQ(m_kLoaded.size(), 2u);
    EXPECT_TRUE(m_kLoaded[0]->IsEqual(kGraph[0]));
    EXPECT_TRUE(m_kLoaded[1]->IsEqual(kGraph[1]));
    EXPECT_FALSE(m_kLoaded[0]->IsEqual(kGraph[1]));
    auto* pkFirst = static_cast<TestAVObject*>(m_kLoaded[0].Get());
    auto* pkSecond = static_cast<TestAVObject*>(m_kLoaded[1].Get());
    EXPECT_EQ(pkFirst->GetProperty(NiProperty::MATERIAL), pkSecond->GetProperty(NiProperty::MATERIAL))
        << "a shared property is one object again";
    EXPECT_EQ(Save(Raw(m_kLoaded)), kSaved);

    NiObjectPtr spDeep = kGraph[0]->DeepCopy();
    ASSERT_NE(spDeep, nullptr);
    EXPECT_TRUE(spDeep->IsEqual(kGraph[0]));

    // The same through a file named with other letter case and backslashes.
    TempFolder kFolder;
    std::filesystem::create_directory(kFolder.Path() / "Scenes");
    NiObjectStream kFileStream;
    kFileStream.InsertTopObject(kGraph[0]);
    kFileStream.InsertTopObject(kGraph[1]);
    ASSERT_TRUE(kFileStream.SaveFile(kFolder.File("Scenes/Cell.nif").c_str()));
    std::string kOtherCase = kFolder.Path().string() + "\\SCENES\\cell.NIF";
    NiObjectStream kReader;
    ASSERT_TRUE(kReader.LoadFile(kOtherCase.c_str()));
    ASSERT_EQ(kReader.GetObjectCount(), 2u);
    EXPECT_TRUE(kReader.GetObjectAt(0)->IsEqual(kGraph[0]));
    EXPECT_TRUE(kReader.GetObjectAt(1)->IsEqual(kGraph[1]));
}

TEST_F(NiSceneLibraryTest, WeightsAndRunTimeEntriesDoNotSurviveTheLoad)
{
    std::vector<NiObjectPtr> kGraph = BuildGraph();
    auto* pkFirst = static_cast<TestAVObject*>(kGraph[0].Get());
    NiRefPtr<NiVertWeightsExtraData> spWeights = new NiVertWeightsExtraData;
    spWeights->SetName("weights");
    pkFirst->AddExtraData(spWeights);
    pkFirst->AddExtraData(new NiSCMExtraData("__ZRB_SCMData", 1, 1));
    pkFirst->AddExtraData(new NiUIntExtraData("id", 12));
    ASSERT_TRUE(Load(Save(Raw(kGraph))));
    auto* pkBack = static_cast<TestAVObject*>(m_kLoaded[0].Get());
    EXPECT_EQ(pkBack->GetExtraData("weights"), nullptr);
    EXPECT_EQ(pkBack->GetExtraData("__ZRB_SCMData"), nullptr);
    NiExtraData* pkId = pkBack->GetExtraData("id");
    ASSERT_NE(pkId, nullptr);
    EXPECT_TRUE(NiIsExactKindOf(NiExtraData::TypeInfo(), pkId));
}

TEST_F(NiSceneLibraryTest, TheGraphFileCutAtEveryLengthFailsCleanly)
{
    std::vector<std::uint8_t> kSaved = Save(Raw(BuildGraph()));
    for (std::size_t n = 0; n < kSaved.size(); ++n)
    {
        SCOPED_TRACE(n);
        std::vector<std::uint8_t> kCut(kSaved.begin(), kSaved.begin() + static_cast<std::ptrdiff_t>(n));
        EXPECT_FALSE(Load(kCut));
        EXPECT_NE(m_kStream.GetLastError(), 0u);
        EXPECT_TRUE(m_kLoaded.empty());
    }
}

TEST_F(NiSceneLibraryTest, EveryWordOfTheGraphFileSetHostileFailsOrLoadsWithoutHarm)
{
    // Each aligned 32-bit word after the header set to a huge value, to the
    // object count and to 0x7FFFFFFF: the load either fails with a code or
    // gives objects; the sanitizers and the fixture's live-object check
    // catch any harm.
    std::vector<std::uint8_t> kSaved = Save(Raw(BuildGraph()));
    const std::uint32_t uiObjects = kSaved[47] | (kSaved[48] << 8);
    for (std::size_t uiOffset = 39; uiOffset + 4 <= kSaved.size(); ++uiOffset)
    {
        for (std::uint32_t uiValue : {0xFFFFFFFEu, uiObjects, 0x7FFFFFFFu})
        {
            SCOPED_TRACE(uiOffset);
            std::vector<std::uint8_t> kBad = kSaved;
            for (int i = 0; i < 4; ++i)
                kBad[uiOffset + i] = static_cast<std::uint8_t>(uiValue >> (8 * i));
            if (!Load(kBad))
            {
                EXPECT_NE(m_kStream.GetLastError(), 0u);
            }
            m_kLoaded.clear();
        }
    }
}

TEST_F(NiSceneLibraryTest, AnOldFileCutOrSetHostileFailsCleanly)
{
    // 4.2.2.0: class names before records, chained extra data (one plain
    // entry with bytes), property flags in the property part.
    const std::uint32_t v = V(4, 2, 2, 0);
    const std::vector<Record> kRecords = {
        {"TestAVObject", NETBody(v, "root", {1}, NONE).Append(AVBody(v, 0x0001, {4}))},
        {"NiExtraData", OldExtraHead(2, 3).U8(1).U8(2).U8(3)},
        {"NiStringExtraData", OldExtraHead(3, 7).Str("abc")},
        {"NiIntegersExtraData", OldExtraHead(NONE, 12).U32(2).I32(5).I32(6)},
        {"TestProperty", NETBody(v, "p", {}, NONE).U16(0x0003)},
    };
    const std::vector<std::uint8_t> kFile = BuildFile(v, kRecords, {0});
    ASSERT_TRUE(Load(kFile));
    auto* pkRoot = static_cast<TestAVObject*>(m_kLoaded[0].Get());
    EXPECT_EQ(pkRoot->GetExtraDataSize(), 3u);
    ASSERT_NE(pkRoot->GetProperty(NiProperty::ALPHA), nullptr);
    EXPECT_EQ(static_cast<TestProperty*>(pkRoot->GetProperty(NiProperty::ALPHA))->m_uFlags, 0x0003);

    for (std::size_t n = 0; n < kFile.size(); ++n)
    {
        SCOPED_TRACE(n);
        EXPECT_FALSE(Load(std::vector<std::uint8_t>(kFile.begin(), kFile.begin() + static_cast<std::ptrdiff_t>(n))));
    }
    for (std::size_t uiOffset = 39; uiOffset + 4 <= kFile.size(); ++uiOffset)
    {
        for (std::uint32_t uiValue : {0xFFFFFFFEu, 5u, 0u, 0x7FFFFFFFu})
        {
            SCOPED_TRACE(uiOffset);
            std::vector<std::uint8_t> kBad = kFile;
            for (int i = 0; i < 4; ++i)
                kBad[uiOffset + i] = static_cast<std::uint8_t>(uiValue >> (8 * i));
            if (!Load(kBad))
            {
                EXPECT_NE(m_kStream.GetLastError(), 0u);
            }
            m_kLoaded.clear();
        }
    }
}

namespace
{
class NiSceneLoadThreadsTest : public SceneTest
{
protected:
    // Source textures are the render library's: made here as it makes them.
    void SetUp() override
    {
        SceneTest::SetUp();
        NiObjectStream::RegisterCreateFunction("NiSourceTexture", &NiSourceTexture::CreateObject);
    }
    void TearDown() override
    {
        NiObjectStream::UnregisterCreateFunction("NiSourceTexture");
        SceneTest::TearDown();
    }
};

// A node with two children that share a property and a link-free entry;
// with bTexture the shared property is a texturing property over a source
// texture, which a load puts on the texture list.
std::vector<std::uint8_t> SceneBytes(
    const std::function<std::vector<std::uint8_t>(const std::vector<NiObject*>&)>& fnSave, bool bTexture)
{
    NiNodePtr spRoot = new NiNode;
    spRoot->SetName("root");
    NiRefPtr<NiStringExtraData> spNote = new NiStringExtraData("shared words");
    spNote->SetName("note");
    NiPropertyPtr spShared;
    if (bTexture)
        spShared = new NiTexturingProperty("wall.tga");
    else
        spShared = new NiAlphaProperty;
    for (const char* pcName : {"first", "second"})
    {
        NiNodePtr spChild = new NiNode;
        spChild->SetName(pcName);
        (void)spChild->AddExtraData(spNote);
        spChild->AttachProperty(spShared);
        spRoot->AttachChild(spChild);
    }
    return fnSave({spRoot});
}

// A load through a stream of its own, checked and freed: false when the
// scene did not come back whole.
bool LoadAndFree(const std::vector<std::uint8_t>& kBytes)
{
    NiObjectStream kStream;
    kStream.GetSharedTextureTable()->SetSearchAll(true);
    if (!kStream.LoadBuffer(kBytes.data(), static_cast<std::uint32_t>(kBytes.size())) || kStream.GetObjectCount() != 1)
        return false;
    auto* pkRoot = NiDynamicCast<NiNode>(kStream.GetObjectAt(0));
    if (pkRoot == nullptr || pkRoot->GetChildCount() != 2)
        return false;
    NiExtraData* pkNote = pkRoot->GetAt(0)->GetExtraData("note");
    auto* pkWords = NiDynamicCast<NiStringExtraData>(pkNote);
    if (pkWords == nullptr || pkRoot->GetAt(1)->GetExtraData("note") != pkNote || pkNote->GetRefCount() != 2 ||
        std::string(pkWords->GetValue()) != "shared words")
        return false;
    kStream.RemoveAllTopObjects();
    return true;
}
} // namespace

// Loads count their objects' references without locked instructions while
// no other thread can reach them, the instance lists being the only way
// out. Two threads load and free scenes (every other one with a texture,
// which its load lists and the other loader may share) while a third walks
// the texture list, taking each texture it finds and letting it go. Under
// ThreadSanitizer a count changed unlocked on anything another thread
// reaches is a reported race; anywhere, a scene comes back whole and
// everything dies.
TEST_F(NiSceneLoadThreadsTest, TwoLoadersFreeScenesWhileAThirdWalksTheInstanceList)
{
    const auto fnSave = [this](const std::vector<NiObject*>& kTops) { return Save(kTops); };
    const std::vector<std::uint8_t> akScenes[2] = {SceneBytes(fnSave, false), SceneBytes(fnSave, true)};
    ASSERT_EQ(NiRefObject::GetTotalObjectCount(), m_uiLive);
    ASSERT_EQ(NiTexture::GetListCount(), 0u);
    constexpr int ROUNDS = 300;
    constexpr int MOST_ROUNDS = 100 * ROUNDS;
    std::atomic<int> iLoadersLeft{2};
    std::atomic<int> iFailed{0};
    std::atomic<int> iTaken{0};
    std::vector<std::thread> kThreads;
    for (int t = 0; t < 2; ++t)
    {
        kThreads.emplace_back([&, t] {
            // On until the walker found textures too: on a busy machine the
            // loaders might otherwise finish before it runs.
            for (int i = 0; i < MOST_ROUNDS && (i < ROUNDS || iTaken < 10); ++i)
                if (!LoadAndFree(akScenes[(i + t) % 2]))
                    ++iFailed;
            --iLoadersLeft;
        });
    }
    kThreads.emplace_back([&] {
        std::vector<NiRefPtr<NiTexture>> kTaken;
        while (iLoadersLeft > 0)
        {
            {
                NiRecursiveLockGuard kGuard(NiTextureListLock());
                for (NiTexture* pk = NiTexture::GetListHead(); pk != nullptr; pk = pk->GetListNext())
                    if (NiRefPtr<NiTexture> sp = NiInstanceListTake(pk); sp != nullptr)
                        kTaken.push_back(sp);
            }
            iTaken += static_cast<int>(kTaken.size());
            // Let go outside the lock: a last reference deletes the texture,
            // which leaves the list under the lock itself.
            kTaken.clear();
        }
    });
    for (std::thread& k : kThreads)
        k.join();
    EXPECT_EQ(iFailed, 0);
    EXPECT_GT(iTaken, 0);
    EXPECT_EQ(NiTexture::GetListCount(), 0u);
    EXPECT_EQ(NiRefObject::GetTotalObjectCount(), m_uiLive);
}
