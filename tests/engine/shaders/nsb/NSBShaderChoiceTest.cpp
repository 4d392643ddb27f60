#include "engine/shaders/framework/NiD3DShaderFactory.h"
#include "engine/shaders/nsb/NSBShader.h"
#include "engine/shaders/nsb/NiBinaryShader.h"
#include "tests/engine/shaders/framework/ShaderTestSupport.h"

#include <cstring>
#include <string>
#include <vector>

using namespace shader_test;

namespace
{
constexpr std::uint32_t PS(std::uint32_t uiMajor, std::uint32_t uiMinor)
{
    return 0xFFFF0000u | (uiMajor << 8) | uiMinor;
}
constexpr std::uint32_t VS(std::uint32_t uiMajor, std::uint32_t uiMinor)
{
    return 0xFFFE0000u | (uiMajor << 8) | uiMinor;
}
constexpr std::uint32_t ANY = NSBShader::ANY_IMPLEMENTATION;

// A device as the renderer describes it: the user range is the single
// value 0xFFFE0000 and the platform DX9.
NSBCapsSnapshot Device(std::uint32_t uiPS, std::uint32_t uiVS, bool bSoftwareVP)
{
    NSBCapsSnapshot k;
    k.m_uiMaxPSVersion = k.m_uiCurrPSVersion = uiPS;
    k.m_uiMinPSVersion = PS(0, 0);
    k.m_uiMaxVSVersion = k.m_uiCurrVSVersion = uiVS;
    k.m_uiMinVSVersion = VS(0, 0);
    k.m_uiMaxUserVersion = k.m_uiMinUserVersion = k.m_uiCurrUserVersion = VS(0, 0);
    k.m_uiPlatform = 2;
    k.m_bSoftwareVPAvailable = bSoftwareVP;
    return k;
}

struct Needs
{
    std::uint32_t m_uiPS = 0;
    std::uint32_t m_uiVS = 0;
    std::uint32_t m_uiUser = 0;
    std::uint32_t m_uiPlatform = 0;
    bool m_bRequired = false;
    bool m_bFallback = false;
};

void Require(NSBImplementation& kImplementation, const Needs& k)
{
    NSBRequirements* pkReq = kImplementation.GetRequirements();
    pkReq->SetPSVersion(k.m_uiPS);
    pkReq->SetVSVersion(k.m_uiVS);
    pkReq->SetUserVersion(k.m_uiUser);
    pkReq->SetPlatformFlags(k.m_uiPlatform);
    pkReq->SetSoftwareVPRequired(k.m_bRequired);
    pkReq->SetSoftwareVPFallback(k.m_bFallback);
}

class NSBShaderChoiceTest : public ShaderTest
{
protected:
    void SetUp() override
    {
        ShaderTest::SetUp();
        CreateRenderer();
    }
    void TearDown() override
    {
        NSBShader::SetCapsSnapshotOverride(nullptr);
        ShaderTest::TearDown();
    }

    // Implementation i, told apart on the built shader by its bone count i + 1.
    NSBImplementation* Add(const Needs& k)
    {
        const std::uint32_t uiIndex = m_spShader->GetImplementationArraySize();
        NSBImplementation* pkImplementation =
            m_spShader->AddImplementation(("Impl" + std::to_string(uiIndex)).c_str(), true, uiIndex);
        Require(*pkImplementation, k);
        pkImplementation->GetRequirements()->SetBonesPerPartition(uiIndex + 1);
        pkImplementation->GetPass(0, true);
        return pkImplementation;
    }
    // The implementation built (-1 for none) and the number reported.
    std::pair<int, std::uint32_t> Build(std::uint32_t uiRequested)
    {
        NiBinaryShaderPtr spBuilt = m_spShader->GetD3DShader(m_spRenderer, uiRequested);
        if (spBuilt == nullptr)
            return {-1, 0};
        return {static_cast<int>(spBuilt->GetBonesPerPartition()) - 1, spBuilt->GetImplementation()};
    }
    std::vector<std::string> ReportTexts()
    {
        std::vector<std::string> kTexts;
        for (const Report& k : TakeReports())
            kTexts.push_back(k.m_kText);
        return kTexts;
    }
    static std::uint32_t GlobalCount(const char* pcName)
    {
        const NiD3DGlobalDataEntry* pkEntry = NiD3DShaderFactory::GetGlobalDataEntry(pcName);
        return pkEntry != nullptr ? pkEntry->GetRefCount() : 0;
    }

    // The renderer's own device runs programs up to 3.0: of an
    // implementation needing vertex and pixel programs 3.0 and a
    // fixed-function one after it, the first is chosen.
    void ExpectTheProgramImplementationChosen()
    {
        NSBCapsSnapshot kCaps;
        NSBShader::TakeCapsSnapshot(m_spRenderer, kCaps);
        EXPECT_EQ(kCaps.m_uiMaxPSVersion, PS(3, 0));
        EXPECT_EQ(kCaps.m_uiMaxVSVersion, VS(3, 0));
        Add({PS(3, 0), VS(3, 0)});
        Add({});
        EXPECT_EQ(Build(ANY), std::make_pair(0, ANY));
        EXPECT_EQ(Build(0), std::make_pair(0, 0u));
        EXPECT_EQ(Build(1), std::make_pair(1, 1u));
        EXPECT_TRUE(ReportTexts().empty());
    }

    NSBShaderPtr m_spShader = new NSBShader;
};

// The same choice on a gl renderer: both back ends share one caps table.
class NSBShaderChoiceGlTest : public NSBShaderChoiceTest
{
protected:
    void SetUp() override
    {
        ShaderTest::SetUp();
        CreateRenderer(gfx::BackendKind::Gl);
    }
};
} // namespace

TEST_F(NSBShaderChoiceTest, UsabilityOfRequirementsAgainstDevices)
{
    struct Case
    {
        const char* m_pcWhat;
        NSBCapsSnapshot m_kCaps;
        Needs m_kNeeds;
        std::uint32_t m_uiResult;
        bool m_bMarkedSoftware;
    };
    const NSBCapsSnapshot kPS2 = Device(PS(2, 0), VS(2, 0), false);
    const NSBCapsSnapshot kMixed = Device(PS(2, 0), VS(2, 0), true);
    const NSBCapsSnapshot kZero = Device(PS(0, 0), VS(0, 0), false);
    NSBCapsSnapshot kLowCurrent = kPS2;
    kLowCurrent.m_uiCurrPSVersion = PS(1, 4);
    const std::vector<Case> kCases = {
        {"nothing asked on 0.0", kZero, {}, 2, false},
        {"nothing asked on 2.0", kPS2, {}, 1, false},
        {"exact 2.0", kPS2, {PS(2, 0), VS(2, 0)}, 2, false},
        {"exact against current, not maximum", kLowCurrent, {PS(1, 4), VS(2, 0)}, 2, false},
        {"pixel above maximum", kPS2, {PS(3, 0)}, 0, false},
        {"pixel 1.1 on 0.0", kZero, {PS(1, 1)}, 0, false},
        {"vertex above maximum", kPS2, {0, VS(3, 0)}, 0, false},
        {"vertex above, fallback without software", kPS2, {0, VS(3, 0), 0, 0, false, true}, 0, false},
        {"vertex above, fallback on mixed", kMixed, {0, VS(3, 0), 0, 0, false, true}, 1, true},
        {"software required on hardware", kPS2, {0, 0, 0, 0, true}, 0, false},
        {"software required on mixed", kMixed, {0, 0, 0, 0, true}, 1, true},
        {"platform XBOX only", kPS2, {0, 0, 0, 4}, 0, false},
        {"platform DX8 or DX9", kPS2, {0, 0, 0, 3}, 1, false},
        {"user version 0x100", kPS2, {0, 0, 0x100}, 0, false},
        {"user version exactly the device's", kPS2, {0, 0, VS(0, 0)}, 1, false},
        {"pixel below the minimum", kPS2, {0x00000200}, 0, false},
    };
    for (const Case& k : kCases)
    {
        SCOPED_TRACE(k.m_pcWhat);
        NSBImplementation kImplementation;
        Require(kImplementation, k.m_kNeeds);
        EXPECT_EQ(NSBShader::IsImplementationUsable(&kImplementation, k.m_kCaps), k.m_uiResult);
        EXPECT_EQ(kImplementation.GetSoftwareVP(), k.m_bMarkedSoftware);
    }
    EXPECT_EQ(NSBShader::IsImplementationUsable(nullptr, kPS2), 0u);
}

TEST_F(NSBShaderChoiceTest, SnapshotOfThisRendererAcceptsImplementationsWithPrograms)
{
    NSBCapsSnapshot kCaps;
    NSBShader::TakeCapsSnapshot(m_spRenderer, kCaps);
    EXPECT_EQ(kCaps.m_uiMaxPSVersion, m_spRenderer->GetPixelShaderVersion());
    EXPECT_EQ(kCaps.m_uiMinPSVersion, PS(0, 0));
    EXPECT_EQ(kCaps.m_uiMinVSVersion, VS(0, 0));
    EXPECT_EQ(kCaps.m_uiMaxUserVersion, VS(0, 0));
    EXPECT_EQ(kCaps.m_uiMinUserVersion, VS(0, 0));
    EXPECT_EQ(kCaps.m_uiCurrUserVersion, VS(0, 0));
    EXPECT_EQ(kCaps.m_uiPlatform, 2u);
    EXPECT_FALSE(kCaps.m_bSoftwareVPAvailable); // made with hardware vertex processing

    Add({PS(1, 1)});
    Add({0, VS(1, 1)});
    Add({0, 0, 0, 0, true});
    Add({0, 0, 0x100});
    Add({0, 0, VS(0, 0), 2});
    // The device runs programs up to 3.0: the pixel 1.1 and vertex 1.1 ones are usable.
    EXPECT_EQ(kCaps.m_uiMaxVSVersion, VS(3, 0));
    EXPECT_EQ(Build(ANY), std::make_pair(0, ANY));
    EXPECT_EQ(Build(0), std::make_pair(0, 0u));
    EXPECT_EQ(Build(1), std::make_pair(1, 1u));
    EXPECT_TRUE(ReportTexts().empty());
}

TEST_F(NSBShaderChoiceTest, TheNullRendererChoosesTheImplementationWithPrograms)
{
    ExpectTheProgramImplementationChosen();
}

TEST_F(NSBShaderChoiceGlTest, TheGlRendererChoosesTheImplementationWithPrograms)
{
    if (m_spRenderer == nullptr)
        return;
    ExpectTheProgramImplementationChosen();
}

TEST_F(NSBShaderChoiceTest, TheRequestIsBuiltWhenUsableElseTheLowestUsableUnderItsNumber)
{
    // PS 2.0 / VS 2.0 hardware: the 3.0 implementation is skipped.
    NSBCapsSnapshot kCaps = Device(PS(2, 0), VS(2, 0), false);
    NSBShader::SetCapsSnapshotOverride(&kCaps);
    Add({PS(3, 0), VS(3, 0)});
    Add({PS(1, 1), VS(1, 1)});
    Add({PS(2, 0), VS(2, 0)});
    EXPECT_EQ(Build(ANY), std::make_pair(1, ANY));
    EXPECT_EQ(Build(2), std::make_pair(2, 2u));
    EXPECT_EQ(Build(0), std::make_pair(1, 0u));
    // An index past the array is an empty slot.
    EXPECT_EQ(Build(7), std::make_pair(1, 7u));

    // VS 1.1 hardware: implementation 1 needs VS 3.0; the first usable one
    // is built and still reports 1.
    m_spShader = new NSBShader;
    kCaps = Device(PS(1, 4), VS(1, 1), false);
    NSBShader::SetCapsSnapshotOverride(&kCaps);
    Add({PS(1, 1), VS(1, 1)});
    Add({PS(1, 1), VS(3, 0)});
    EXPECT_EQ(Build(1), std::make_pair(0, 1u));

    // A choice needs the current versions: with the current pixel version
    // below the maximum, the implementation above the current one is
    // usable when asked for but never chosen.
    m_spShader = new NSBShader;
    kCaps = Device(PS(2, 0), VS(2, 0), false);
    kCaps.m_uiCurrPSVersion = PS(1, 4);
    NSBShader::SetCapsSnapshotOverride(&kCaps);
    Add({PS(2, 0)});
    Add({PS(1, 4)});
    EXPECT_EQ(Build(0), std::make_pair(0, 0u));
    EXPECT_EQ(Build(ANY), std::make_pair(1, ANY));
    EXPECT_TRUE(ReportTexts().empty());
}

TEST_F(NSBShaderChoiceTest, MixedDevicesTakeSoftwareImplementations)
{
    // VS 2.0 mixed: the VS 3.0 implementation with a software fallback is
    // chosen through its software flag; the passes run in software.
    NSBCapsSnapshot kCaps = Device(PS(2, 0), VS(2, 0), true);
    NSBShader::SetCapsSnapshotOverride(&kCaps);
    NSBImplementation* pkFallback = Add({0, VS(3, 0), 0, 0, false, true});
    Add({});
    NiBinaryShaderPtr spBuilt = m_spShader->GetD3DShader(m_spRenderer, ANY);
    ASSERT_NE(spBuilt, nullptr);
    EXPECT_EQ(spBuilt->GetBonesPerPartition(), 1u);
    EXPECT_TRUE(pkFallback->GetSoftwareVP());
    EXPECT_TRUE(spBuilt->GetPass(0)->GetSoftwareVertexProcessing());

    // The same device with hardware vertex processing: never usable.
    kCaps.m_bSoftwareVPAvailable = false;
    NSBShader::SetCapsSnapshotOverride(&kCaps);
    m_spShader = new NSBShader;
    Add({0, 0, 0, 0, true});
    Add({0, VS(3, 0), 0, 0, false, true});
    m_spShader->SetName("Skin");
    EXPECT_EQ(Build(ANY), std::make_pair(-1, 0u));
    EXPECT_EQ(ReportTexts(), std::vector<std::string>{"* ERROR: Unable to find usable implementation for Skin\n"});
    EXPECT_EQ(Build(0), std::make_pair(-1, 0u));
    EXPECT_EQ(ReportTexts().size(), 1u);
}

TEST_F(NSBShaderChoiceTest, TheShaderKeepsNameUserDataAndPassDataAtTheirCompactedPositions)
{
    m_spShader->SetName("Stone");
    NSBUserDefinedDataSetPtr spShaderData = new NSBUserDefinedDataSet;
    NSBUserDefinedDataSetPtr spImplData = new NSBUserDefinedDataSet;
    NSBUserDefinedDataSetPtr spPass0 = new NSBUserDefinedDataSet;
    NSBUserDefinedDataSetPtr spPass2 = new NSBUserDefinedDataSet;
    m_spShader->SetUserDefinedDataSet(spShaderData);
    NSBImplementation* pkImplementation = Add({});
    pkImplementation->SetUserDefinedDataSet(spImplData);
    pkImplementation->GetPass(0, true)->SetUserDefinedDataSet(spPass0);
    pkImplementation->GetPass(2, true)->SetUserDefinedDataSet(spPass2);

    NiBinaryShaderPtr spBuilt = m_spShader->GetD3DShader(m_spRenderer, ANY);
    ASSERT_NE(spBuilt, nullptr);
    EXPECT_STREQ(spBuilt->GetName(), "Stone");
    EXPECT_EQ(spBuilt->GetRenderer(), m_spRenderer.Get());
    EXPECT_EQ(spBuilt->GetShaderUserDefinedDataSet(), spShaderData.Get());
    EXPECT_EQ(spBuilt->GetImplementationUserDefinedDataSet(), spImplData.Get());
    EXPECT_EQ(spBuilt->GetPassCount(), 2u);
    EXPECT_NE(spBuilt->GetPass(1), nullptr);
    EXPECT_EQ(spBuilt->GetPassUserDefinedDataSet(0), spPass0.Get());
    EXPECT_EQ(spBuilt->GetPassUserDefinedDataSet(1), spPass2.Get());
    EXPECT_EQ(spBuilt->GetPassUserDefinedDataSet(2), nullptr);
    // Held by this test, the binary pass and the built shader.
    EXPECT_EQ(spPass2->GetRefCount(), 3u);
    EXPECT_EQ(spShaderData->GetRefCount(), 3u);
    EXPECT_EQ(spBuilt->GetShaderDecl(), nullptr);
    spBuilt = nullptr;
    EXPECT_EQ(spPass2->GetRefCount(), 2u);
    EXPECT_EQ(spShaderData->GetRefCount(), 2u);
}

TEST_F(NSBShaderChoiceTest, GlobalStageMatricesAreSharedWhileBuildingAndReleasedOnEveryPath)
{
    const float afMatrix[16] = {2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 0.5f, 0.5f, 0, 1};
    NSBAttributeDescPtr spMatrix = new NSBAttributeDesc;
    spMatrix->SetName("gProjector");
    spMatrix->SetValue_Matrix4(afMatrix);
    m_spShader->GetGlobalAttributeTable().AddAttribDesc(spMatrix);
    NSBAttributeDescPtr spFloat = new NSBAttributeDesc;
    spFloat->SetName("gNotAMatrix");
    spFloat->SetValue_Float(3.0f);
    m_spShader->GetGlobalAttributeTable().AddAttribDesc(spFloat);

    NSBImplementation* pkImplementation = Add({});
    NSBPass* pkPass = pkImplementation->GetPass(0, true);
    NSBTextureStage* pkStage0 = pkPass->GetStage(0, true);
    pkStage0->SetTextureTransformFlags(0x10000000);
    pkStage0->SetGlobalName("gProjector");
    NSBTextureStage* pkStage1 = pkPass->GetStage(1, true);
    pkStage1->SetTextureTransformFlags(0x10000000);
    pkStage1->SetGlobalName("gNotAMatrix");

    // Someone else shares the projector already.
    ASSERT_TRUE(NiD3DShaderFactory::AddGlobalData("gProjector", NSBAttributeDesc::ATTRIB_TYPE_MATRIX4, 64, afMatrix));
    {
        NiBinaryShaderPtr spBuilt = m_spShader->GetD3DShader(m_spRenderer, ANY);
        ASSERT_NE(spBuilt, nullptr);
        // Each stage holds one use while the shader lives.
        EXPECT_EQ(GlobalCount("gProjector"), 2u);
        EXPECT_EQ(GlobalCount("gNotAMatrix"), 1u);
        const NiD3DGlobalDataEntry* pkSource = spBuilt->GetPass(0)->GetStage(1)->GetGlobalTransformSource();
        ASSERT_NE(pkSource, nullptr);
        const float afIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        EXPECT_EQ(std::memcmp(pkSource->GetData(), afIdentity, 64), 0);
        EXPECT_EQ(spBuilt->GetPass(0)->GetStage(0)->GetGlobalTransformSource(),
                  NiD3DShaderFactory::GetGlobalDataEntry("gProjector"));
    }
    EXPECT_EQ(GlobalCount("gProjector"), 1u);
    EXPECT_EQ(GlobalCount("gNotAMatrix"), 0u);

    // A set-up that fails (more stages than samplers) and a missing packing
    // definition both give null and leave the counts as they were.
    for (std::uint32_t ui = 2; ui <= NiD3DPass::GetMaxSamplers(); ++ui)
        pkPass->GetStage(ui, true);
    EXPECT_EQ(Build(ANY), std::make_pair(-1, 0u));
    EXPECT_EQ(GlobalCount("gProjector"), 1u);
    EXPECT_EQ(GlobalCount("gNotAMatrix"), 0u);

    m_spShader = new NSBShader;
    m_spShader->GetGlobalAttributeTable().AddAttribDesc(spMatrix);
    pkImplementation = Add({});
    pkImplementation->SetPackingDef("Absent");
    pkStage0 = pkImplementation->GetPass(0, true)->GetStage(0, true);
    pkStage0->SetTextureTransformFlags(0x10000000);
    pkStage0->SetGlobalName("gProjector");
    EXPECT_EQ(Build(ANY), std::make_pair(-1, 0u));
    EXPECT_EQ(GlobalCount("gProjector"), 1u);

    // A stage naming no global attribute still gets its shader.
    pkImplementation->SetPackingDef(nullptr);
    pkStage0->SetGlobalName("gMissing");
    EXPECT_EQ(Build(ANY).first, 0);
    EXPECT_EQ(GlobalCount("gMissing"), 0u);
    EXPECT_TRUE(NiD3DShaderFactory::ReleaseGlobalData("gProjector"));
    EXPECT_TRUE(ReportTexts().empty());
}
