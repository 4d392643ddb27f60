#include "engine/shaders/framework/NiD3DShaderFactory.h"

#include "engine/core/NiMemoryStream.h"
#include "engine/core/NiObjectStream.h"
#include "engine/scene/NiTriShape.h"
#include "engine/shaders/framework/NiD3DPass.h"
#include "engine/shaders/framework/NiD3DShaderFramework.h"
#include "engine/shaders/framework/NiD3DUtility.h"
#include "tests/engine/shaders/framework/ShaderTestSupport.h"

#include <cstring>

namespace shader_test
{
namespace
{
NiRefPtr<NiTriShape> Triangle()
{
    auto* pkVertex = new NiVec3[3]{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    auto* pusList = new std::uint16_t[3]{0, 1, 2};
    return new NiTriShape(new NiTriShapeData(3, pkVertex, nullptr, nullptr, nullptr, 0, 0, 1, pusList));
}

std::vector<std::uint8_t> Save(NiObject* pkTop)
{
    NiObjectStream kStream;
    kStream.InsertTopObject(pkTop);
    std::unique_ptr<std::uint8_t[]> spBuffer;
    std::uint32_t uiSize = 0;
    EXPECT_TRUE(kStream.SaveBuffer(spBuffer, uiSize));
    return std::vector<std::uint8_t>(spBuffer.get(), spBuffer.get() + uiSize);
}

// The first top object of the load, or null when it failed (the stream's
// error left in uiError).
NiRefPtr<NiTriShape> Load(const std::vector<std::uint8_t>& kBytes, std::uint32_t& uiError)
{
    NiObjectStream kStream;
    const bool bLoaded = kStream.LoadBuffer(kBytes.data(), static_cast<std::uint32_t>(kBytes.size()));
    uiError = kStream.GetLastError();
    NiRefPtr<NiTriShape> spShape = bLoaded && kStream.GetObjectCount() > 0
                                       ? NiDynamicCast<NiTriShape>(kStream.GetObjectAt(0))
                                       : nullptr;
    kStream.RemoveAllTopObjects();
    return spShape;
}

class NiD3DShaderFactoryTest : public ShaderTest
{
protected:
    NiD3DShaderFactory* Factory() { return NiD3DShaderFactory::GetD3DShaderFactory(); }
};
} // namespace

TEST_F(NiD3DShaderFactoryTest, TheStartUpMakesOneCurrentFactory)
{
    NiD3DShaderFactory* pkFactory = Factory();
    ASSERT_NE(pkFactory, nullptr);
    EXPECT_EQ(NiShaderFactory::GetInstance(), pkFactory);
    NiD3DShaderFactory::Create();
    EXPECT_EQ(Factory(), pkFactory);
    EXPECT_STREQ(pkFactory->GetPlatformName(), "DX9");
    EXPECT_EQ(pkFactory->CreatePixelShaderVersion(2, 0), 0xFFFF0200u);
    EXPECT_EQ(pkFactory->CreateVertexShaderVersion(1, 1), 0xFFFE0101u);
    EXPECT_EQ(pkFactory->GetMajorPixelShaderVersion(0xFFFF0104u), 1u);
    EXPECT_EQ(pkFactory->GetMinorVertexShaderVersion(0xFFFE0302u), 2u);
    std::uint32_t uiPos = 0;
    EXPECT_EQ(pkFactory->GetFirstProgramDirectory(uiPos), nullptr); // no program factory yet

    NiD3DShaderFactory::Destroy();
    EXPECT_EQ(NiShaderFactory::GetInstance(), nullptr);
    EXPECT_FALSE(NiShaderFactory::SetRunParserCallback(nullptr));
    EXPECT_EQ(NiShaderFactory::RunParser("NSFParserLib.np9", "models", true), 0u);
    EXPECT_FALSE(NiShaderFactory::LoadAndRegisterShaderLibrary("NSBShaderLib.nl9", 0, nullptr, true));
    EXPECT_EQ(NiShaderFactory::ReportError(1, true, "x"), 0);
    NiRefPtr<NiTriShape> spShape = Triangle();
    EXPECT_FALSE(NiShaderFactory::AttachShaderByNameToGeometry(spShape, "Gloss", 0));
    EXPECT_FALSE(NiShaderFactory::ReleaseGeometry(spShape));
}

TEST_F(NiD3DShaderFactoryTest, ShadersAreKeyedByNameAndImplementation)
{
    CreateRenderer();
    NiD3DShaderFactory* pkFactory = Factory();
    NiRefPtr<TestShader> spGloss0 = new TestShader("Gloss", 0);
    NiRefPtr<TestShader> spGloss1 = new TestShader("Gloss", 1);
    NiRefPtr<TestShader> spGlossDefault = new TestShader("Gloss", 7);
    pkFactory->InsertShader(spGloss0, 0);
    pkFactory->InsertShader(spGloss1, 1);
    pkFactory->InsertShader(spGlossDefault, 0xFFFFFFFFu);
    pkFactory->InsertShader(nullptr, 2);
    EXPECT_EQ(pkFactory->GetShaderCount(), 3u);
    EXPECT_EQ(pkFactory->FindShader("Gloss", 0), spGloss0.Get());
    EXPECT_EQ(pkFactory->FindShader("Gloss", 1), spGloss1.Get());
    EXPECT_EQ(pkFactory->FindShader("Gloss", 0xFFFFFFFFu), spGlossDefault.Get());
    EXPECT_EQ(pkFactory->FindShader("Gloss", 7), nullptr);
    // "Gloss1" with implementation 0 is another key than "Gloss" with 10.
    EXPECT_EQ(pkFactory->FindShader("Glos", 10), nullptr);
    EXPECT_EQ(spGloss1->GetRefCount(), 2u);

    EXPECT_EQ(pkFactory->RetrieveShader("Gloss", 1, true), spGloss1.Get());
    pkFactory->RemoveShader("Gloss", 1);
    EXPECT_EQ(spGloss1->GetRefCount(), 1u);
    EXPECT_EQ(pkFactory->FindShader("Gloss", 1), nullptr);
    pkFactory->RemoveAllShaders();
    EXPECT_EQ(pkFactory->GetShaderCount(), 0u);
    EXPECT_TRUE(TakeReports().empty());
}

TEST_F(NiD3DShaderFactoryTest, LibrariesAreAskedInMapOrderAndTheFirstShaderIsCached)
{
    CreateRenderer();
    NiD3DShaderFactory* pkFactory = Factory();
    NiRefPtr<TestLibrary> spEffects = new TestLibrary("NiD3DXEffectShaderLib", {"Water", "Fire"});
    NiRefPtr<TestLibrary> spBinary = new TestLibrary("NSBShaderLib", {"Water"});
    pkFactory->InsertLibrary(spEffects);
    pkFactory->InsertLibrary(spBinary);
    EXPECT_EQ(pkFactory->GetLibraryCount(), 2u);
    EXPECT_EQ(pkFactory->GetFirstLibrary(), spBinary.Get());
    EXPECT_EQ(pkFactory->GetNextLibrary(), spEffects.Get());
    EXPECT_EQ(pkFactory->GetNextLibrary(), nullptr);
    EXPECT_EQ(pkFactory->FindLibrary("NSBShaderLib"), spBinary.Get());

    NiShader* pkWater = pkFactory->RetrieveShader("Water", 0, true);
    ASSERT_NE(pkWater, nullptr);
    EXPECT_EQ(spBinary->m_kAsked, std::vector<std::string>{"Water/0"});
    EXPECT_TRUE(spEffects->m_kAsked.empty());
    EXPECT_EQ(static_cast<TestShader*>(pkWater)->GetRenderer(), m_spRenderer.Get());
    EXPECT_EQ(pkFactory->RetrieveShader("Water", 0, true), pkWater); // cached: nobody asked
    EXPECT_EQ(spBinary->m_kAsked.size(), 1u);

    NiShader* pkFire = pkFactory->RetrieveShader("Fire", 2, true);
    ASSERT_NE(pkFire, nullptr);
    EXPECT_EQ(spBinary->m_kAsked.back(), "Fire/2");
    EXPECT_EQ(spEffects->m_kAsked, std::vector<std::string>{"Fire/2"});

    EXPECT_EQ(pkFactory->RetrieveShader("Smoke", 0, false), nullptr);
    EXPECT_TRUE(TakeReports().empty());
    EXPECT_EQ(pkFactory->RetrieveShader("Smoke", 3, true), nullptr);
    const std::vector<Report> kReports = TakeReports();
    ASSERT_EQ(kReports.size(), 1u);
    EXPECT_EQ(kReports[0].m_kText, "Failed to find shader Smoke, Implementation 3\n");
    EXPECT_EQ(kReports[0].m_uiCode, 1u);
}

TEST_F(NiD3DShaderFactoryTest, ALibraryAnotherHolderKeepsStaysRegistered)
{
    NiD3DShaderFactory* pkFactory = Factory();
    NiRefPtr<TestLibrary> spHeld = new TestLibrary("Held", {});
    pkFactory->InsertLibrary(spHeld);
    pkFactory->InsertLibrary(new TestLibrary("Alone", {}));
    pkFactory->RemoveLibrary("Held");
    EXPECT_EQ(pkFactory->FindLibrary("Held"), spHeld.Get());
    pkFactory->RemoveLibrary("Alone");
    EXPECT_EQ(pkFactory->FindLibrary("Alone"), nullptr);
    pkFactory->RemoveLibrary("Nobody");
    EXPECT_EQ(pkFactory->GetLibraryCount(), 1u);
    pkFactory->RemoveAllLibraries();
    EXPECT_EQ(pkFactory->GetFirstLibrary(), nullptr);
    EXPECT_EQ(spHeld->GetRefCount(), 1u);
}

TEST_F(NiD3DShaderFactoryTest, GlobalDataKeepsItsFirstBytesAndCountsItsUsers)
{
    const float afFirst[2] = {1.0f, 2.0f};
    const float afSecond[2] = {3.0f, 4.0f};
    EXPECT_TRUE(NiD3DShaderFactory::AddGlobalData("Matrix", 8, sizeof(afFirst), afFirst));
    EXPECT_TRUE(NiD3DShaderFactory::AddGlobalData("Matrix", 8, sizeof(afSecond), afSecond));
    EXPECT_FALSE(NiD3DShaderFactory::AddGlobalData("Matrix", 9, sizeof(afSecond), afSecond));
    NiD3DGlobalDataEntry* pkEntry = NiD3DShaderFactory::GetGlobalDataEntry("Matrix");
    ASSERT_NE(pkEntry, nullptr);
    EXPECT_EQ(pkEntry->GetRefCount(), 2u);
    std::uint32_t uiSize = 0;
    const void* pvData = nullptr;
    ASSERT_TRUE(NiD3DShaderFactory::RetrieveGlobalData("Matrix", uiSize, pvData));
    EXPECT_EQ(uiSize, sizeof(afFirst));
    EXPECT_EQ(std::memcmp(pvData, afFirst, sizeof(afFirst)), 0);

    // The buffer only grows; a smaller block keeps the capacity.
    pkEntry->SetOwnedDataBlock(4, afSecond);
    EXPECT_EQ(pkEntry->GetSize(), 8u);
    EXPECT_EQ(reinterpret_cast<const float*>(pkEntry->GetData())[0], 3.0f);

    EXPECT_TRUE(NiD3DShaderFactory::ReleaseGlobalData("Matrix"));
    EXPECT_NE(NiD3DShaderFactory::GetGlobalDataEntry("Matrix"), nullptr);
    EXPECT_TRUE(NiD3DShaderFactory::ReleaseGlobalData("Matrix"));
    EXPECT_EQ(NiD3DShaderFactory::GetGlobalDataEntry("Matrix"), nullptr);
    EXPECT_FALSE(NiD3DShaderFactory::ReleaseGlobalData("Matrix"));
    EXPECT_FALSE(NiD3DShaderFactory::RetrieveGlobalData("Matrix", uiSize, pvData));

    // Entries still held when the factory goes are freed with it.
    EXPECT_TRUE(NiD3DShaderFactory::AddGlobalData("Left", 3, 4, nullptr));
    EXPECT_TRUE(NiD3DShaderFactory::AddGlobalData("Left", 3, 4, nullptr));
    NiD3DShaderFactory::Destroy();
    EXPECT_FALSE(NiD3DShaderFactory::AddGlobalData("Left", 3, 4, nullptr));
    EXPECT_EQ(NiRefObject::GetTotalObjectCount(), m_uiLive - 1); // the factory itself
}

TEST_F(NiD3DShaderFactoryTest, EveryMessageReachesTheErrorCallback)
{
    // Without a renderer: the debugger text and nothing asked.
    NiRefPtr<TestLibrary> spLibrary = new TestLibrary("NSBShaderLib", {"Water"});
    Factory()->InsertLibrary(spLibrary);
    testing::internal::CaptureStderr();
    EXPECT_EQ(Factory()->RetrieveShader("Water", 0, true), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Attempting to RetrieveShader w/out a valid renderer!\n");
    EXPECT_TRUE(spLibrary->m_kAsked.empty());
    EXPECT_TRUE(TakeReports().empty());

    CreateRenderer();
    EXPECT_EQ(Factory()->RetrieveShader("", 0, true), nullptr);
    EXPECT_EQ(Factory()->RetrieveShader(nullptr, 0, true), nullptr);
    EXPECT_TRUE(spLibrary->m_kAsked.empty());
    std::vector<Report> kReports = TakeReports();
    ASSERT_EQ(kReports.size(), 2u);
    EXPECT_EQ(kReports[0].m_kText, "Attempting to RetrieveShader w/out a valid name!\n");
    EXPECT_EQ(kReports[0].m_uiCode, 1u);

    NiRefPtr<NiTriShape> spShape = Triangle();
    EXPECT_FALSE(NiShaderFactory::AttachShaderByNameToGeometry(spShape, "Smoke", 4));
    EXPECT_EQ(spShape->GetShader(), nullptr);
    kReports = TakeReports();
    ASSERT_EQ(kReports.size(), 2u);
    EXPECT_EQ(kReports[0].m_kText, "Failed to find shader Smoke, Implementation 4\n");
    EXPECT_EQ(kReports[1].m_kText, "Cannot find shader Smoke, Implementation 4\n");
    EXPECT_EQ(kReports[1].m_uiCode, 256u);

    ms_iReportResult = 17;
    EXPECT_EQ(NiShaderFactory::ReportError(5, false, "%s %d", "seven", 7), 17);
    EXPECT_EQ(TakeReports()[0].m_kText, "seven 7");
    // Long texts are kept whole.
    const std::string kLong(5000, 'x');
    NiShaderFactory::ReportError(1, true, "%s!", kLong.c_str());
    EXPECT_EQ(TakeReports()[0].m_kText, kLong + "!");

    EXPECT_FALSE(NiShaderFactory::LoadAndRegisterShaderLibrary("NSBShaderLib.nl9", 0, nullptr, true));
    EXPECT_EQ(NiShaderFactory::RunParser("NSFParserLib.np9", "models", true), 0u);
    kReports = TakeReports();
    ASSERT_EQ(kReports.size(), 2u);
    EXPECT_EQ(kReports[0].m_kText, "LoadAndRegisterShaderLibrary: No valid ClassCreate call\n");
    EXPECT_EQ(kReports[1].m_kText, "LoadAndRegisterShaderLibrary: No valid RunParser call\n");

    NiShaderFactory::SetErrorCallback(nullptr);
    EXPECT_EQ(NiShaderFactory::ReportError(1, true, "quiet"), 0);
}

TEST_F(NiD3DShaderFactoryTest, CallbacksMakeAndRegisterLibraries)
{
    CreateRenderer();
    static NiRenderer* s_pkSeen = nullptr;
    static std::string s_kCall;
    ASSERT_TRUE(NiShaderFactory::SetClassCreateCallback(
        +[](const char* pcName, NiRenderer* pkRenderer, std::uint32_t uiCount, const char* const* ppcDirs, bool bRecurse,
            NiShaderLibraryBase** ppkLibrary) {
            s_pkSeen = pkRenderer;
            s_kCall = std::string(pcName) + " " + std::to_string(uiCount) + " " + ppcDirs[0] + (bRecurse ? " r" : "");
            *ppkLibrary = std::string(pcName) == "good" ? new TestLibrary("Good", {"Water"}) : nullptr;
            return std::string(pcName) != "bad";
        }));
    ASSERT_TRUE(NiShaderFactory::SetRunParserCallback(
        +[](const char*, NiRenderer*, const char*, bool) -> std::uint32_t { return 5; }));
    const char* const apcDirs[] = {"models"};
    EXPECT_TRUE(NiShaderFactory::LoadAndRegisterShaderLibrary("good", 1, apcDirs, true));
    EXPECT_EQ(s_kCall, "good 1 models r");
    EXPECT_EQ(s_pkSeen, m_spRenderer.Get());
    EXPECT_NE(Factory()->FindLibrary("Good"), nullptr);
    EXPECT_FALSE(NiShaderFactory::LoadAndRegisterShaderLibrary("bad", 1, apcDirs, false));
    EXPECT_TRUE(NiShaderFactory::LoadAndRegisterShaderLibrary("empty", 1, apcDirs, false));
    EXPECT_EQ(Factory()->GetLibraryCount(), 1u);
    EXPECT_EQ(NiShaderFactory::RunParser("NSFParserLib.np9", "models", true), 5u);
}

TEST_F(NiD3DShaderFactoryTest, AttachingSetsTheGeometryUpAndMarksDefaultImplementations)
{
    CreateRenderer();
    NiRefPtr<TestLibrary> spLibrary = new TestLibrary("NSBShaderLib", {"Water"});
    Factory()->InsertLibrary(spLibrary);
    NiRefPtr<NiTriShape> spShape = Triangle();
    ASSERT_TRUE(NiShaderFactory::AttachShaderByNameToGeometry(spShape, "Water", 0xFFFFFFFFu));
    auto* pkShader = NiDynamicCast<TestShader>(spShape->GetShader());
    ASSERT_NE(pkShader, nullptr);
    EXPECT_TRUE(pkShader->IsDefaultImplementation());
    EXPECT_TRUE(pkShader->IsInitialized());
    EXPECT_EQ(pkShader->m_iInitializes, 1);
    EXPECT_EQ(pkShader->m_kSetUp, std::vector<NiGeometry*>{spShape.Get()});
    EXPECT_EQ(Factory()->FindShader("Water", 0xFFFFFFFFu), pkShader);

    // A failing set-up is reported, and the shader is attached all the same.
    pkShader->m_bSetupResult = false;
    NiRefPtr<NiTriShape> spOther = Triangle();
    EXPECT_TRUE(NiShaderFactory::AttachShaderByNameToGeometry(spOther, "Water", 0xFFFFFFFFu));
    EXPECT_EQ(spOther->GetShader(), pkShader);
    const std::vector<Report> kReports = TakeReports();
    ASSERT_EQ(kReports.size(), 1u);
    EXPECT_EQ(kReports[0].m_kText, "SetupGeometry on Water failed\n");
    EXPECT_EQ(kReports[0].m_uiCode, 1u);

    EXPECT_TRUE(NiShaderFactory::ReleaseGeometry(spOther));
    EXPECT_EQ(spOther->GetShader(), nullptr);
    EXPECT_FALSE(Factory()->DetachGeometry(nullptr));
}

TEST_F(NiD3DShaderFactoryTest, AttachedShadersKeepTheImplementationTheyWereStoredWith)
{
    CreateRenderer();
    NiRefPtr<NiTriShape> spFirst = Triangle();
    NiRefPtr<NiTriShape> spSecond = Triangle();
    NiRefPtr<TestShader> spUnnamed0 = new TestShader(nullptr, 0);
    NiRefPtr<TestShader> spUnnamed1 = new TestShader(nullptr, 3);
    EXPECT_TRUE(Factory()->AttachShader(spFirst, spUnnamed0));
    EXPECT_TRUE(Factory()->AttachShader(spSecond, spUnnamed1));
    EXPECT_STREQ(spUnnamed0->GetName(), "NiD3DShader0");
    EXPECT_STREQ(spUnnamed1->GetName(), "NiD3DShader1");
    EXPECT_EQ(spFirst->GetShader(), spUnnamed0.Get());
    // Stored under 3 and looked up under 3, not 0.
    EXPECT_EQ(spSecond->GetShader(), spUnnamed1.Get());
    EXPECT_EQ(Factory()->FindShader("NiD3DShader1", 3), spUnnamed1.Get());
    EXPECT_EQ(Factory()->FindShader("NiD3DShader1", 0), nullptr);

    NiRefPtr<TestShader> spDefault = new TestShader("Sky", 2);
    spDefault->SetDefaultImplementation(true);
    EXPECT_TRUE(Factory()->AttachShader(spFirst, spDefault));
    EXPECT_EQ(Factory()->FindShader("Sky", 0xFFFFFFFFu), spDefault.Get());
    EXPECT_EQ(spFirst->GetShader(), spDefault.Get());

    // Another object under the same key is refused.
    NiRefPtr<TestShader> spImpostor = new TestShader("NiD3DShader1", 3);
    EXPECT_FALSE(Factory()->AttachShader(spFirst, spImpostor));
    EXPECT_EQ(spFirst->GetShader(), spDefault.Get());
    EXPECT_TRUE(TakeReports().empty());
}

TEST_F(NiD3DShaderFactoryTest, TheFrameworkHandsTheRendererOutAndTakesItBack)
{
    NiRefPtr<TestLibrary> spLibrary = new TestLibrary("NSBShaderLib", {});
    Factory()->InsertLibrary(spLibrary);
    CreateRenderer();
    NiDX9Renderer* pkRenderer = m_spRenderer;
    EXPECT_EQ(Factory()->GetRenderer(), pkRenderer);
    EXPECT_EQ(spLibrary->m_kRenderers, std::vector<NiDX9Renderer*>{pkRenderer});
    EXPECT_EQ(NiD3DPass::GetRenderer(), pkRenderer);
    EXPECT_EQ(NiD3DPass::GetRenderState(), static_cast<NiD3DRenderState*>(pkRenderer->GetRenderState()));
    EXPECT_EQ(NiD3DShaderFactory::GetRendererStatic(), pkRenderer);
    gfx::IDirect3DDevice9* pkDevice = pkRenderer->GetD3DDevice();
    EXPECT_EQ(NiD3DShaderFactory::GetD3DDeviceStatic(), pkDevice);
    // Same renderer again: the libraries hear nothing new.
    NiD3DShaderFramework::SetRenderer(pkRenderer);
    EXPECT_EQ(spLibrary->m_kRenderers.size(), 1u);

    NiRefPtr<TestShader> spShader = new TestShader("Kept", 0);
    Factory()->InsertShader(spShader, 0);
    m_spRenderer = nullptr;
    EXPECT_EQ(Factory()->GetRenderer(), nullptr);
    EXPECT_EQ(Factory()->GetShaderCount(), 0u);
    EXPECT_EQ(spShader->GetRefCount(), 1u);
    EXPECT_EQ(spLibrary->m_kRenderers.back(), nullptr);
    EXPECT_EQ(NiD3DPass::GetRenderer(), nullptr);
    EXPECT_EQ(NiD3DPass::GetD3DDevice(), nullptr);
    EXPECT_EQ(NiD3DShaderFactory::GetD3DDeviceStatic(), nullptr);
}

TEST_F(NiD3DShaderFactoryTest, InitializeShadersRestoresThosePurged)
{
    CreateRenderer();
    NiRefPtr<TestShader> spPurged = new TestShader("Purged", 0);
    NiRefPtr<TestShader> spReady = new TestShader("Ready", 0);
    ASSERT_TRUE(spReady->Initialize(m_spRenderer));
    Factory()->InsertShader(spPurged, 0);
    Factory()->InsertShader(spReady, 0);
    m_spRenderer->RegisterD3DShader(spReady);
    Factory()->InitializeShaders();
    EXPECT_EQ(spPurged->m_iRecreates, 1);
    EXPECT_EQ(spPurged->GetRenderer(), m_spRenderer.Get());
    EXPECT_EQ(spReady->m_iRecreates, 0);
    // The restored shader joins the renderer's list of live shaders.
    const auto& kLive = m_spRenderer->GetD3DShaders();
    ASSERT_EQ(kLive.size(), 2u);
    EXPECT_EQ(kLive[0], spPurged.Get());
    // The renderer purges every shader it tracks: renderer data gone, renderer let go.
    Factory()->PurgeAllShaderRendererData();
    EXPECT_TRUE(m_spRenderer->GetD3DShaders().empty());
    EXPECT_FALSE(spReady->IsInitialized());
    EXPECT_FALSE(spPurged->IsInitialized());
    EXPECT_EQ(spReady->GetRenderer(), nullptr);
    // And they come back with the next initialisation.
    Factory()->InitializeShaders();
    EXPECT_EQ(spReady->m_iRecreates, 1);
    EXPECT_EQ(spReady->GetRenderer(), m_spRenderer.Get());
    EXPECT_EQ(m_spRenderer->GetD3DShaders().size(), 2u);
}

TEST_F(NiD3DShaderFactoryTest, ShadersTheFactoryHandsOutJoinTheRenderersLiveList)
{
    NiRefPtr<TestLibrary> spLibrary = new TestLibrary("NSBShaderLib", {"Gloss"});
    Factory()->InsertLibrary(spLibrary);
    CreateRenderer();
    NiShader* pkFound = Factory()->RetrieveShader("Gloss", 0, true);
    ASSERT_NE(pkFound, nullptr);
    auto* pkGloss = NiDynamicCast<NiD3DShaderInterface>(pkFound);
    ASSERT_NE(pkGloss, nullptr);
    EXPECT_EQ(pkGloss->GetRenderer(), m_spRenderer.Get());
    const auto& kLive = m_spRenderer->GetD3DShaders();
    ASSERT_EQ(kLive.size(), 1u);
    EXPECT_EQ(kLive[0], pkGloss);
    // Found again in the map: not registered twice.
    EXPECT_EQ(Factory()->RetrieveShader("Gloss", 0, true), pkFound);
    EXPECT_EQ(m_spRenderer->GetD3DShaders().size(), 1u);

    // A shader attached directly is handed over too.
    NiRefPtr<TestShader> spOwn = new TestShader("Own", 0);
    NiRefPtr<NiTriShape> spShape = Triangle();
    EXPECT_TRUE(Factory()->AttachShader(spShape, spOwn));
    ASSERT_EQ(m_spRenderer->GetD3DShaders().size(), 2u);
    EXPECT_EQ(m_spRenderer->GetD3DShaders()[0], spOwn.Get());
}

// ---- the binder: loading, cloning and destroying geometry ----

TEST_F(NiD3DShaderFactoryTest, ALoadedGeometryIsBoundToTheShaderItNames)
{
    CreateRenderer();
    Factory()->InsertLibrary(new TestLibrary("NSBShaderLib", {"Water"}));
    NiRefPtr<NiTriShape> spSource = Triangle();
    spSource->SetShader(new NiShader("Water", 2));
    const std::vector<std::uint8_t> kBytes = Save(spSource);
    spSource = nullptr;

    std::uint32_t uiError = 0;
    NiRefPtr<NiTriShape> spLoaded = Load(kBytes, uiError);
    ASSERT_NE(spLoaded, nullptr);
    auto* pkShader = NiDynamicCast<TestShader>(spLoaded->GetShader());
    ASSERT_NE(pkShader, nullptr);
    EXPECT_STREQ(pkShader->GetName(), "Water");
    EXPECT_EQ(pkShader->GetImplementation(), 2u);
    EXPECT_EQ(pkShader->m_kSetUp, std::vector<NiGeometry*>{spLoaded.Get()});
    EXPECT_EQ(pkShader->GetRefCount(), 3u); // the factory's, the renderer's list's and the geometry's

    // A clone of a bound geometry is bound through the factory as well.
    NiRefPtr<NiTriShape> spClone = NiDynamicCast<NiTriShape>(spLoaded->Clone());
    ASSERT_NE(spClone, nullptr);
    EXPECT_EQ(spClone->GetShader(), pkShader);
    EXPECT_EQ(pkShader->m_kSetUp.size(), 2u);
    EXPECT_EQ(pkShader->m_kSetUp.back(), spClone.Get());
    EXPECT_EQ(pkShader->GetRefCount(), 4u);

    spClone = nullptr;
    spLoaded = nullptr;
    EXPECT_EQ(pkShader->GetRefCount(), 2u);
}

TEST_F(NiD3DShaderFactoryTest, AnUnknownNameKeepsThePlaceholder)
{
    CreateRenderer();
    NiRefPtr<NiTriShape> spSource = Triangle();
    spSource->SetShader(new NiShader("Missing", 1));
    std::uint32_t uiError = 0;
    NiRefPtr<NiTriShape> spLoaded = Load(Save(spSource), uiError);
    ASSERT_NE(spLoaded, nullptr);
    NiShader* pkPlaceholder = spLoaded->GetShader();
    ASSERT_NE(pkPlaceholder, nullptr);
    EXPECT_TRUE(NiIsExactKindOf(NiShader::TypeInfo(), pkPlaceholder));
    EXPECT_STREQ(pkPlaceholder->GetName(), "Missing");
    EXPECT_EQ(TakeReports().back().m_uiCode, 256u);

    // Placeholders still give placeholders, copied.
    NiRefPtr<NiTriShape> spClone = NiDynamicCast<NiTriShape>(spLoaded->Clone());
    ASSERT_NE(spClone->GetShader(), nullptr);
    EXPECT_NE(spClone->GetShader(), pkPlaceholder);
    EXPECT_STREQ(spClone->GetShader()->GetName(), "Missing");
    EXPECT_EQ(spClone->GetShader()->GetImplementation(), 1u);

    // A geometry naming no shader stays without one.
    NiRefPtr<NiTriShape> spPlain = Load(Save(Triangle()), uiError);
    ASSERT_NE(spPlain, nullptr);
    EXPECT_EQ(spPlain->GetShader(), nullptr);

    // Without a factory nothing is bound either.
    NiD3DShaderFactory::Destroy();
    NiRefPtr<NiTriShape> spUnbound = Load(Save(spSource), uiError);
    ASSERT_NE(spUnbound, nullptr);
    EXPECT_TRUE(NiIsExactKindOf(NiShader::TypeInfo(), spUnbound->GetShader()));
}

TEST_F(NiD3DShaderFactoryTest, TheShaderReferenceRecord)
{
    NiShader kShader;
    kShader.SetName("");
    EXPECT_EQ(kShader.GetName(), nullptr);
    kShader.SetName("Bump");
    kShader.SetName(nullptr);
    EXPECT_EQ(kShader.GetName(), nullptr);

    NiRefPtr<NiTriShape> spSource = Triangle();
    spSource->SetShader(new NiShader("Gloss", 0xFFFFFFFFu));
    const std::vector<std::uint8_t> kBytes = Save(spSource);
    // The record: length 5, "Gloss", implementation -1.
    const std::uint8_t aucRecord[] = {5, 0, 0, 0, 'G', 'l', 'o', 's', 's', 0xFF, 0xFF, 0xFF, 0xFF};
    auto kAt = std::search(kBytes.begin(), kBytes.end(), std::begin(aucRecord), std::end(aucRecord));
    ASSERT_NE(kAt, kBytes.end());
    NiD3DShaderFactory::Destroy(); // placeholders kept as loaded
    std::uint32_t uiError = 0;
    NiRefPtr<NiTriShape> spLoaded = Load(kBytes, uiError);
    ASSERT_NE(spLoaded, nullptr);
    EXPECT_STREQ(spLoaded->GetShader()->GetName(), "Gloss");
    EXPECT_EQ(spLoaded->GetShader()->GetImplementation(), 0xFFFFFFFFu);

    // Cut inside the name or the implementation: a corrupt load.
    const std::size_t uiRecord = static_cast<std::size_t>(kAt - kBytes.begin());
    for (std::size_t uiCut : {uiRecord + 2, uiRecord + 6, uiRecord + 11})
    {
        SCOPED_TRACE(uiCut);
        std::vector<std::uint8_t> kCut(kBytes.begin(), kBytes.begin() + static_cast<std::ptrdiff_t>(uiCut));
        EXPECT_EQ(Load(kCut, uiError), nullptr);
        EXPECT_EQ(uiError, NiObjectStream::ERROR_CORRUPT);
    }
}

// ---- utility routines ----

TEST(NiD3DUtilityTest, SplitPathTakesDriveDirectoryNameAndLastExtension)
{
    std::string kDrive, kDirectory, kName, kExtension;
    EXPECT_TRUE(NiD3DUtility::_splitpath("C:\\a\\b.c.nsb", kDrive, kDirectory, kName, kExtension));
    EXPECT_EQ(kDrive, "C:");
    EXPECT_EQ(kDirectory, "\\a\\");
    EXPECT_EQ(kName, "b.c");
    EXPECT_EQ(kExtension, ".nsb");
    NiD3DUtility::_splitpath("models/sub/water", kDrive, kDirectory, kName, kExtension);
    EXPECT_EQ(kDrive, "");
    EXPECT_EQ(kDirectory, "models/sub/");
    EXPECT_EQ(kName, "water");
    EXPECT_EQ(kExtension, "");
    NiD3DUtility::_splitpath("dir.x\\file", kDrive, kDirectory, kName, kExtension);
    EXPECT_EQ(kName, "file");
    EXPECT_EQ(kExtension, "");

    char acOut[8];
    EXPECT_TRUE(NiD3DUtility::GetPath("C:\\a\\b.nsb", acOut, sizeof(acOut)));
    EXPECT_STREQ(acOut, "C:\\a\\");
    EXPECT_FALSE(NiD3DUtility::GetPath("C:\\abcdef\\b.nsb", acOut, sizeof(acOut)));
    EXPECT_TRUE(NiD3DUtility::GetFileName("x\\water.nsb", acOut, sizeof(acOut)));
    EXPECT_STREQ(acOut, "water");
    EXPECT_FALSE(NiD3DUtility::GetFileName("x\\waterfall.nsb", acOut, sizeof(acOut)));
    char acShort[4];
    EXPECT_TRUE(NiD3DUtility::GetFileExtension("x\\water.hlsl", acShort, sizeof(acShort)));
    EXPECT_STREQ(acShort, ".hl");
}

TEST(NiD3DUtilityTest, OwnedStringsAndBlocks)
{
    std::unique_ptr<char[]> spText;
    NiD3DUtility::SetString(spText, "longer text");
    char* pcBuffer = spText.get();
    NiD3DUtility::SetString(spText, "short");
    EXPECT_EQ(spText.get(), pcBuffer); // reused
    EXPECT_STREQ(spText.get(), "short");
    NiD3DUtility::SetString(spText, "");
    EXPECT_EQ(spText, nullptr);

    NiMemoryStream kOut;
    const std::uint8_t aucData[5] = {1, 2, 3, 4, 5};
    EXPECT_TRUE(NiD3DUtility::WriteData(kOut, aucData, 5));
    EXPECT_TRUE(NiD3DUtility::WriteData(kOut, nullptr, 0));
    const std::uint32_t auiWords[2] = {7, 9};
    EXPECT_TRUE(NiD3DUtility::WriteData(kOut, auiWords, 0)); // an empty block
    NiMemoryStream kIn(kOut.GetBuffer(), kOut.GetSize());
    std::unique_ptr<std::uint8_t[]> spData;
    std::uint32_t uiSize = 0;
    ASSERT_TRUE(NiD3DUtility::ReadData(kIn, spData, uiSize));
    EXPECT_EQ(uiSize, 5u);
    EXPECT_EQ(spData[4], 5);
    ASSERT_TRUE(NiD3DUtility::ReadData(kIn, spData, uiSize));
    EXPECT_EQ(spData, nullptr);
    EXPECT_EQ(uiSize, 0u);

    // A size beyond the bytes left is refused before anything is allocated.
    const std::uint8_t aucHostile[] = {0xFF, 0xFF, 0xFF, 0x7F, 1, 2};
    NiMemoryStream kHostile(aucHostile, sizeof(aucHostile));
    EXPECT_FALSE(NiD3DUtility::ReadData(kHostile, spData, uiSize));
    EXPECT_EQ(spData, nullptr);

    const std::uint8_t aucWords[] = {1, 0, 0, 0, 2, 0, 0, 0, 3, 0};
    NiMemoryStream kWords(aucWords, sizeof(aucWords));
    std::uint32_t auiRead[3] = {};
    EXPECT_FALSE(NiD3DUtility::ReadU32Array(kWords, auiRead, 3));
    EXPECT_EQ(auiRead[1], 2u);
}
} // namespace shader_test
