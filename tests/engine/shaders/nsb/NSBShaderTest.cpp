#include "engine/shaders/nsb/NSBShader.h"

#include "engine/shaders/nsb/NSBStream.h"
#include "tests/engine/shaders/nsb/NsbTestSupport.h"
#include "tests/support/HeapCounter.h"

#include <fstream>
#include <iterator>
#include <random>
#include <string>

using namespace nsb_test;

using NSBShaderTest = NsbTest;

namespace
{
constexpr std::uint32_t V17 = 0x00010007;

// The packing-definition table's bucket of a name.
std::uint32_t Bucket(const std::string& k)
{
    std::uint32_t h = 0;
    for (char c : k)
        h = h * 33 + static_cast<std::uint32_t>(static_cast<int>(static_cast<signed char>(c)));
    return h % 37;
}

void FillMap(NSBConstantMap& kMap, const char* pcPrefix)
{
    const float af[4] = {1.0f, 0.5f, 0.25f, 0.125f};
    const std::string k = pcPrefix;
    kMap.AddEntry((k + "Common").c_str(), 0x1000000A, 0, 0, 1, "gCommon", 16, 4, af, true);
    kMap.AddEntry((k + "Defined").c_str(), 0x20000009, 7, 4, 4, nullptr, 0, 0, nullptr, false);
    kMap.AddPlatformSpecificEntry(1, (k + "DX8").c_str(), 0x10000004, 0, 8, 1, "g8", 4, 4, af, true);
    kMap.AddPlatformSpecificEntry(2, (k + "DX9").c_str(), 0x40000004, 0, 9, 1, "g9", 4, 4, af + 1, true);
    kMap.AddPlatformSpecificEntry(4, (k + "Box").c_str(), 0x50000004, 0x102, 10, 1, nullptr, 0, 0, nullptr, false);
}

void FillUserData(NSBUserDefinedDataSetPtr& spSet, const char* pcBlock)
{
    spSet = new NSBUserDefinedDataSet;
    const std::uint32_t auiData[2] = {11, 22};
    spSet->GetBlock(pcBlock, true)->AddEntry("Pair", 0x10000003, 8, 4, auiData, true);
    spSet->GetBlock("Empty", true);
}

// Every attribute type, ranged or not; user data on shader, implementation
// and pass; two packing definitions; implementations 0 and 2; passes with
// stages; constants in all four lists.
NSBShaderPtr MakeRich()
{
    NSBShaderPtr spShader = new NSBShader;
    spShader->SetName("Rich");
    spShader->SetDescription("Everything a file holds");
    NSBUserDefinedDataSetPtr spSet;
    FillUserData(spSet, "ShaderData");
    spShader->SetUserDefinedDataSet(spSet);

    const float af[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    const float afLo[4] = {-1, -2, -3, -4};
    NSBAttributeTable& kTable = spShader->GetAttributeTable();
    auto Add = [&](const char* pcName, auto kFill, bool bRanged) {
        NSBAttributeDescPtr spDesc = new NSBAttributeDesc;
        spDesc->SetName(pcName);
        spDesc->SetDescription(bRanged ? "ranged" : nullptr);
        kFill(*spDesc);
        spDesc->SetRanged(bRanged);
        kTable.AddAttribDesc(spDesc);
    };
    for (bool bRanged : {false, true})
    {
        const std::string kSuffix = bRanged ? "R" : "";
        Add(("Bool" + kSuffix).c_str(), [](NSBAttributeDesc& d) { d.SetValue_Bool(true); }, false);
        Add(("String" + kSuffix).c_str(), [](NSBAttributeDesc& d) { d.SetValue_String("abc"); d.SetRange_UnsignedInt(0, 8); }, bRanged);
        Add(("Uint" + kSuffix).c_str(), [](NSBAttributeDesc& d) { d.SetValue_UnsignedInt(5); d.SetRange_UnsignedInt(1, 9); }, bRanged);
        Add(("Float" + kSuffix).c_str(), [](NSBAttributeDesc& d) { d.SetValue_Float(0.5f); d.SetRange_Float(0, 1); }, bRanged);
        Add(("Point2" + kSuffix).c_str(), [&](NSBAttributeDesc& d) { d.SetValue_Point2(af); d.SetRange_Point2(afLo, af); }, bRanged);
        Add(("Point3" + kSuffix).c_str(), [&](NSBAttributeDesc& d) { d.SetValue_Point3(af); d.SetRange_Point3(afLo, af); }, bRanged);
        Add(("Point4" + kSuffix).c_str(), [&](NSBAttributeDesc& d) { d.SetValue_Point4(af); d.SetRange_Point4(afLo, af); }, bRanged);
        Add(("Matrix3" + kSuffix).c_str(), [&](NSBAttributeDesc& d) { d.SetValue_Matrix3(af); }, false);
        Add(("Matrix4" + kSuffix).c_str(), [&](NSBAttributeDesc& d) { d.SetValue_Matrix4(af); }, false);
        Add(("Color" + kSuffix).c_str(), [&](NSBAttributeDesc& d) { d.SetValue_Color(af); d.SetRange_Color(afLo, af); }, bRanged);
        Add(("Texture" + kSuffix).c_str(), [](NSBAttributeDesc& d) { d.SetValue_Texture(2, "bump.dds"); }, false);
    }
    NSBAttributeDescPtr spGlobal = new NSBAttributeDesc;
    spGlobal->SetName("Projection");
    spGlobal->SetValue_Matrix4(af);
    spGlobal->SetHidden(true);
    spShader->GetGlobalAttributeTable().AddAttribDesc(spGlobal);

    NSBPackingDef* pkSkin = spShader->GetPackingDef("Skin", true);
    pkSkin->AddPackingEntry(0, 0, 0, 2, 0, 0, 0);
    pkSkin->AddPackingEntry(0, 1, 1, 2, 0, 1, 0);
    pkSkin->AddPackingEntry(1, 2, static_cast<std::int32_t>(0x80000001), 1, 0, 14, 0);
    NSBPackingDef* pkRigid = spShader->GetPackingDef("Rigid", true);
    pkRigid->SetFixedFunction(true);
    pkRigid->AddPackingEntry(0, 0, 0, 2, 0, 14, 0);

    for (std::uint32_t uiIndex : {0u, 2u})
    {
        NSBImplementation* pkImplementation =
            spShader->AddImplementation(uiIndex == 0 ? "Fast" : "Fancy", true, uiIndex);
        pkImplementation->SetDesc("an implementation");
        pkImplementation->SetPackingDef(uiIndex == 0 ? "Rigid" : "Skin");
        NSBRequirements* pkRequirements = pkImplementation->GetRequirements();
        pkRequirements->SetPSVersion(0xFFFF0100 + uiIndex);
        pkRequirements->SetVSVersion(0xFFFE0100 + uiIndex);
        pkRequirements->SetUserVersion(uiIndex);
        pkRequirements->SetPlatformFlags(uiIndex == 0 ? 2 : 1 | 2);
        pkRequirements->SetBonesPerPartition(20 + uiIndex);
        pkRequirements->SetBinormalTangentMethod(1);
        pkImplementation->GetRenderStateGroup()->SetState(7, 1, true);
        FillMap(*pkImplementation->GetPixelConstantMap(), "IP");
        if (uiIndex == 2)
        {
            pkImplementation->SetClassName("NiCustomShader");
            NSBUserDefinedDataSetPtr spImplementationSet;
            FillUserData(spImplementationSet, "ImplData");
            pkImplementation->SetUserDefinedDataSet(spImplementationSet);
            FillMap(*pkImplementation->GetVertexConstantMap(), "IV");
            pkImplementation->SetSoftwareVP(true);
        }
        for (std::uint32_t uiPass = 0; uiPass < 2; ++uiPass)
        {
            NSBPass* pkPass = pkImplementation->GetPass(uiPass, true);
            pkPass->SetName(uiPass == 0 ? "Base" : "Detail");
            pkPass->SetPixelShaderProgramFile(NSBPass::SLOT_DX9, "rich.psh");
            pkPass->SetPixelShaderProgramFile(NSBPass::SLOT_DX8, "rich8.psh");
            pkPass->SetPixelShaderProgramEntryPoint("main");
            pkPass->SetPixelShaderProgramShaderTarget("ps_2_0");
            pkPass->SetVertexShaderProgramFile(NSBPass::SLOT_XBOX, "rich.xvs");
            pkPass->SetVertexShaderProgramShaderTarget("vs_2_0");
            pkPass->GetRenderStateGroup()->SetState(27, 0, false);
            FillMap(*pkPass->GetVertexConstantMap(), "PV");
            if (uiPass == 1)
            {
                NSBUserDefinedDataSetPtr spPassSet;
                FillUserData(spPassSet, "PassData");
                pkPass->SetUserDefinedDataSet(spPassSet);
                FillMap(*pkPass->GetPixelConstantMap(), "PP");
            }
            NSBTextureStage* pkStage = pkPass->GetStage(uiPass + 1, true);
            pkStage->SetName("Detail");
            pkStage->SetTextureFlags(0x11);
            pkStage->GetTextureStageGroup()->SetState(1, 4, false);
            pkStage->GetSamplerStageGroup()->SetState(5, 2, true);
            pkStage->SetUseTextureTransformation(true);
            pkStage->SetTextureTransformation(af);
            pkStage->SetTextureTransformFlags(2);
            pkStage->SetGlobalName("Projection");
        }
    }
    return spShader;
}

bool LoadShader(NSBShader& kShader, const Bytes& kBytes)
{
    return Load(kShader, kBytes);
}
} // namespace

TEST_F(NSBShaderTest, MinimalFileIsThirtySixBytesAndTheName)
{
    NSBShaderPtr spShader = new NSBShader;
    spShader->SetName("Water");
    const Bytes kBytes = Save(*spShader);
    EXPECT_EQ(kBytes.size(), 36u + 5u);
    EXPECT_EQ(kBytes, WriteMinimal("Water"));
    NSBShaderPtr spRead = new NSBShader;
    ASSERT_TRUE(LoadShader(*spRead, kBytes));
    EXPECT_STREQ(spRead->GetName(), "Water");
    EXPECT_EQ(spRead->GetDescription(), nullptr);
    EXPECT_EQ(spRead->GetMinPixelShaderVersion(), 0xFFFFFFFFu);
    EXPECT_EQ(spRead->GetMaxVertexShaderVersion(), 0u);
    EXPECT_EQ(spRead->GetImplementationCount(), 0u);
}

// The fixture at every version with its own fields reads back and re-saves
// in the current form, fields of later versions empty.
TEST_F(NSBShaderTest, EveryVersionReadsAndResavesInTheCurrentForm)
{
    for (std::uint32_t uiVersion : {0x00010001u, 0x00010004u, 0x00010005u, 0x00010006u, 0x00010007u})
    {
        SCOPED_TRACE(uiVersion);
        NSBShaderPtr spShader = new NSBShader;
        ASSERT_TRUE(LoadShader(*spShader, WriteFixture(uiVersion, uiVersion)));
        EXPECT_EQ(NSBStream::GetCurrentVersion(), uiVersion);
        EXPECT_EQ(Save(*spShader), WriteFixture(uiVersion, V17));

        NSBImplementation* pkImplementation = spShader->GetImplementationByIndex(0);
        ASSERT_NE(pkImplementation, nullptr);
        NSBPass* pkPass = pkImplementation->GetPass(0, false);
        ASSERT_NE(pkPass, nullptr);
        EXPECT_EQ(pkImplementation->GetClassName() != nullptr, uiVersion >= 0x00010005);
        EXPECT_EQ(spShader->GetUserDefinedDataSet() != nullptr, uiVersion >= 0x00010006);
        EXPECT_EQ(pkPass->GetUserDefinedDataSet() != nullptr, uiVersion >= 0x00010006);
        EXPECT_EQ(pkImplementation->GetSoftwareVP(), uiVersion >= 0x00010007);
        EXPECT_EQ(pkImplementation->PeekPixelConstantMap()->GetPlatformEntryCount(2), uiVersion >= 0x00010004 ? 1u : 0u);
        EXPECT_STREQ(pkPass->GetPixelShaderProgramFile(NSBPass::SLOT_XBOX),
                     uiVersion == 0x00010001 ? "shade.psh" : "shade.xps");
        EXPECT_STREQ(pkPass->GetVertexShaderProgramEntryPoint(), "vmain");
        EXPECT_EQ(spShader->GetMinPixelShaderVersion(), 0xFFFF0200u);
        EXPECT_EQ(spShader->GetPlatformFlags(), 2u);
        EXPECT_EQ(spShader->GetPackingDef("Skin", false)->GetEntryCount(), 2u);
    }
}

TEST_F(NSBShaderTest, NonZeroUserDataFlagReadsAsPresentAndResavesAsOne)
{
    NSBShaderPtr spShader = new NSBShader;
    ASSERT_TRUE(LoadShader(*spShader, WriteFixture(V17, V17, nullptr, 5)));
    ASSERT_NE(spShader->GetUserDefinedDataSet(), nullptr);
    EXPECT_EQ(Save(*spShader), WriteFixture(V17, V17));
}

TEST_F(NSBShaderTest, WrongMagicOrNewerVersionFailsBeforeAnythingElse)
{
    Bytes kBytes = WriteFixture(V17, V17);
    for (std::size_t uiAt : {0u, 3u})
    {
        Bytes kBad = kBytes;
        kBad[uiAt] ^= 0x20;
        NSBShaderPtr spShader = new NSBShader;
        NiMemoryStream kStream(kBad.data(), static_cast<std::uint32_t>(kBad.size()));
        EXPECT_FALSE(spShader->LoadBinary(kStream));
        EXPECT_EQ(kStream.GetPosition(), 4u);
    }
    kBytes[4] = 8;
    NSBShaderPtr spShader = new NSBShader;
    NiMemoryStream kStream(kBytes.data(), static_cast<std::uint32_t>(kBytes.size()));
    EXPECT_FALSE(spShader->LoadBinary(kStream));
    EXPECT_EQ(kStream.GetPosition(), 8u);
    EXPECT_EQ(spShader->GetName(), nullptr);
}

TEST_F(NSBShaderTest, RichShaderRoundTripsFieldByFieldAndResavesIdentical)
{
    NSBShaderPtr spRich = MakeRich();
    ASSERT_NE(Bucket("Skin"), Bucket("Rigid"));
    const Bytes kBytes = Save(*spRich);
    ASSERT_FALSE(kBytes.empty());
    NSBShaderPtr spRead = new NSBShader;
    ASSERT_TRUE(LoadShader(*spRead, kBytes));
    EXPECT_EQ(Save(*spRead), kBytes);

    EXPECT_STREQ(spRead->GetDescription(), "Everything a file holds");
    EXPECT_EQ(spRead->GetAttributeTable().GetAttribCount(), 22u);
    float af[16];
    ASSERT_TRUE(spRead->GetAttributeTable().GetAttribDescByName("Matrix4")->GetValue_Matrix4(af));
    EXPECT_EQ(af[15], 16.0f);
    float afMin[4], afMax[4];
    ASSERT_TRUE(spRead->GetAttributeTable().GetAttribDescByName("ColorR")->GetRange_Color(afMin, afMax));
    EXPECT_EQ(afMin[0], -1.0f);
    EXPECT_EQ(afMax[3], 1.0f);
    EXPECT_TRUE(spRead->GetGlobalAttributeTable().GetAttribDescByName("Projection")->IsHidden());
    EXPECT_TRUE(spRead->GetPackingDef("Rigid", false)->GetFixedFunction());
    EXPECT_EQ(spRead->GetPackingDef("Skin", false)->GetEntry(2)->m_iInput, static_cast<std::int32_t>(0x80000001));
    EXPECT_NE(spRead->GetUserDefinedDataSet()->GetBlock("shaderdata", false), nullptr);

    // Implementations 0 and 2 come back at 0 and 1; the second keeps its
    // stored index.
    EXPECT_EQ(spRead->GetImplementationCount(), 2u);
    NSBImplementation* pkFancy = spRead->GetImplementationByIndex(1);
    ASSERT_NE(pkFancy, nullptr);
    EXPECT_STREQ(pkFancy->GetName(), "Fancy");
    EXPECT_EQ(pkFancy->GetIndex(), 2u);
    EXPECT_STREQ(pkFancy->GetClassName(), "NiCustomShader");
    EXPECT_TRUE(pkFancy->GetSoftwareVP());
    EXPECT_EQ(spRead->GetImplementation("Fancy"), pkFancy);
    EXPECT_EQ(spRead->GetMinPixelShaderVersion(), 0xFFFF0100u);
    EXPECT_EQ(spRead->GetMaxPixelShaderVersion(), 0xFFFF0102u);
    EXPECT_EQ(spRead->GetMaxUserVersion(), 2u);
    EXPECT_EQ(spRead->GetPlatformFlags(), 3u);
    NSBConstantMap* pkMap = pkFancy->PeekVertexConstantMap();
    ASSERT_NE(pkMap, nullptr);
    EXPECT_EQ(pkMap->GetProgramType(), 2u);
    EXPECT_STREQ(pkMap->GetFirstPlatformEntry(1)->GetKey(), "IVDX8");
    EXPECT_STREQ(pkMap->GetFirstPlatformEntry(4)->GetKey(), "IVBox");
    EXPECT_STREQ(pkMap->FindEntry("IVCommon")->GetVariableName(), "gCommon");
    NSBPass* pkDetail = pkFancy->GetPass(1, false);
    ASSERT_NE(pkDetail, nullptr);
    EXPECT_NE(pkDetail->GetUserDefinedDataSet(), nullptr);
    EXPECT_EQ(pkDetail->GetStageCount(), 3u);
    EXPECT_STREQ(pkDetail->GetStage(2, false)->GetGlobalName(), "Projection");
    EXPECT_TRUE(pkDetail->GetStage(2, false)->PeekSamplerStageGroup()->FindState(5)->UsesSave());
    EXPECT_STREQ(pkDetail->GetPixelShaderProgramFile(NSBPass::SLOT_DX8), "rich8.psh");
    EXPECT_EQ(pkDetail->GetVertexShaderProgramEntryPoint(), nullptr);

    NiShaderDesc* pkDesc = spRead->GetShaderDesc();
    EXPECT_EQ(spRead->GetShaderDesc(), pkDesc);
    EXPECT_EQ(pkDesc->GetNumberOfImplementations(), 2u);
    EXPECT_EQ(pkDesc->GetAttributeCount(), 22u);
    EXPECT_EQ(pkDesc->GetBonesPerPartition(), 20u);
    EXPECT_EQ(pkDesc->GetImplementationDescription(1)->GetMinPixelShaderVersion(), 0xFFFF0102u);
    EXPECT_EQ(pkDesc->GetMinVertexShaderVersion(), 0xFFFE0100u);
}

TEST_F(NSBShaderTest, PackingNamesSharingABucketSwapOnEveryResave)
{
    std::string kA, kB;
    for (int i = 0; kB.empty(); ++i)
    {
        const std::string k = "P" + std::to_string(i);
        if (kA.empty() || Bucket(k) != Bucket(kA))
        {
            if (kA.empty())
                kA = k;
            continue;
        }
        kB = k;
    }
    NSBShaderPtr spShader = new NSBShader;
    spShader->GetPackingDef(kA.c_str(), true)->AddPackingEntry(0, 0, 0, 2, 0, 14, 0);
    spShader->GetPackingDef(kB.c_str(), true)->AddPackingEntry(0, 1, 3, 2, 0, 14, 0);
    const Bytes kFirst = Save(*spShader);
    NSBShaderPtr spSecond = new NSBShader;
    ASSERT_TRUE(LoadShader(*spSecond, kFirst));
    const Bytes kSecond = Save(*spSecond);
    ASSERT_EQ(kSecond.size(), kFirst.size());
    EXPECT_NE(kSecond, kFirst);
    // The two records change places: a chain is written newest first and
    // read back in file order.
    const Bytes kRecordA = Save(*spShader->GetPackingDef(kA.c_str(), false));
    const Bytes kRecordB = Save(*spShader->GetPackingDef(kB.c_str(), false));
    const Bytes kHead(kFirst.begin(), kFirst.begin() + 32);
    const Bytes kTail = Words({0});
    EXPECT_EQ(kFirst, kHead + kRecordB + kRecordA + kTail);
    EXPECT_EQ(kSecond, kHead + kRecordA + kRecordB + kTail);
    NSBShaderPtr spThird = new NSBShader;
    ASSERT_TRUE(LoadShader(*spThird, kSecond));
    EXPECT_EQ(Save(*spThird), kFirst);
    EXPECT_NE(spThird->GetPackingDef(kA.c_str(), false), nullptr);
    EXPECT_NE(spThird->GetPackingDef(kB.c_str(), false), nullptr);
}

namespace
{
// An unnamed shader with one packing definition per name given and one
// implementation whose requirements word is given.
Bytes ShaderWith(std::initializer_list<const char*> kPackingNames, const Bytes& kRequirements)
{
    Bytes k = Words({0x0062736E, V17, 0, 0, 0, 0, 0, static_cast<std::uint32_t>(kPackingNames.size())});
    std::uint32_t uiEntry = 0;
    for (const char* pc : kPackingNames)
        k = k + Text(pc) + Words({0, 1, 0, 0, uiEntry++, 2, 0, 14, 0});
    return k + Words({1}) + Text("I") + Text("") + Text("") + Words({0}) + kRequirements + Words({0}) + Text("") +
           Words({0, 0, 0, 0, 0});
}
} // namespace

TEST_F(NSBShaderTest, ImplementationWithoutRequirementsGetsEmptyOnes)
{
    for (std::uint32_t uiFlag : {0u, 2u})
    {
        SCOPED_TRACE(uiFlag);
        NSBShaderPtr spShader = new NSBShader;
        ASSERT_TRUE(LoadShader(*spShader, ShaderWith({}, Words({uiFlag}))));
        EXPECT_EQ(spShader->GetMinPixelShaderVersion(), 0u);
        EXPECT_EQ(spShader->GetMinVertexShaderVersion(), 0u);
        EXPECT_EQ(spShader->GetMinUserVersion(), 0u);
        EXPECT_EQ(Save(*spShader), ShaderWith({}, Words({1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})));
    }
}

TEST_F(NSBShaderTest, RepeatedPackingNameKeepsTheLastRead)
{
    NSBShaderPtr spShader = new NSBShader;
    const Bytes kRequirements = Words({1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    ASSERT_TRUE(LoadShader(*spShader, ShaderWith({"Same", "Same"}, kRequirements)));
    EXPECT_EQ(spShader->GetPackingDefCount(), 1u);
    EXPECT_EQ(spShader->GetPackingDef("Same", false)->GetEntry(0)->m_iInput, 1);
    Bytes kExpected = ShaderWith({"Same"}, kRequirements);
    kExpected[4 * 8 + 8 + 4 * 4] = 1; // the last definition's input
    EXPECT_EQ(Save(*spShader), kExpected);
}

TEST_F(NSBShaderTest, SparseImplementationsWriteTheirCountAndComeBackInOrder)
{
    NSBShaderPtr spShader = new NSBShader;
    spShader->AddImplementation("A", true, 0);
    spShader->AddImplementation("C", true, 2);
    EXPECT_EQ(spShader->AddImplementation("C", true, 5), spShader->GetImplementationByIndex(2));
    EXPECT_EQ(spShader->AddImplementation("D", false, 1), nullptr);
    EXPECT_EQ(spShader->GetImplementationCount(), 2u);
    EXPECT_EQ(spShader->GetImplementationArraySize(), 3u);
    const Bytes kBytes = Save(*spShader);
    EXPECT_EQ(Bytes(kBytes.begin() + 32, kBytes.begin() + 36), Words({2}));
    NSBShaderPtr spRead = new NSBShader;
    ASSERT_TRUE(LoadShader(*spRead, kBytes));
    EXPECT_STREQ(spRead->GetImplementationByIndex(1)->GetName(), "C");
    EXPECT_EQ(spRead->GetImplementationByIndex(1)->GetIndex(), 2u);
    EXPECT_EQ(spRead->GetImplementationByIndex(2), nullptr);
}

TEST_F(NSBShaderTest, CutAtEveryLengthFailsCleanly)
{
    NSBShaderPtr spRich = MakeRich();
    const Bytes kBytes = Save(*spRich);
    spRich = nullptr;
    const std::uint32_t uiLive = NiRefObject::GetTotalObjectCount();
    for (std::size_t ui = 0; ui < kBytes.size(); ++ui)
    {
        NSBShaderPtr spShader = new NSBShader;
        EXPECT_FALSE(LoadShader(*spShader, Bytes(kBytes.begin(), kBytes.begin() + static_cast<std::ptrdiff_t>(ui))))
            << ui;
        spShader = nullptr;
        ASSERT_EQ(NiRefObject::GetTotalObjectCount(), uiLive) << ui;
    }
    TakeReports();
}

// Every count, length and byte count of the fixture set to the largest
// value and to one past the bytes that follow it.
TEST_F(NSBShaderTest, HostileCountsAndLengthsFailWithoutAllocatingForThem)
{
    ByteWriter kWriter;
    const Bytes kBytes = WriteFixture(V17, V17, &kWriter);
    ASSERT_GT(kWriter.m_kCounts.size(), 40u);
    for (std::size_t uiAt : kWriter.m_kCounts)
    {
        const auto uiPastEnd = static_cast<std::uint32_t>(kBytes.size() - uiAt - 4 + 1);
        for (std::uint32_t uiValue : {0xFFFFFFFFu, uiPastEnd})
        {
            SCOPED_TRACE(std::to_string(uiAt) + ": " + std::to_string(uiValue));
            Bytes kBad = kBytes;
            for (int i = 0; i < 4; ++i)
                kBad[uiAt + i] = static_cast<std::uint8_t>(uiValue >> (8 * i));
            NSBShaderPtr spShader = new NSBShader;
            heap_test::HeapCounter kHeap;
            EXPECT_FALSE(LoadShader(*spShader, kBad));
            EXPECT_LT(kHeap.GetLargest(), heap_test::ONE_MIB);
        }
    }
    TakeReports();
}

// Seeded random damage: whatever loads saves and loads again, and nothing
// is left alive.
TEST_F(NSBShaderTest, MutatedFilesNeverCrashOrLeak)
{
    NSBShaderPtr spRich = MakeRich();
    const Bytes kBytes = Save(*spRich);
    spRich = nullptr;
    const std::uint32_t uiLive = NiRefObject::GetTotalObjectCount();
    std::mt19937 kRandom(25);
    std::uint32_t uiLoaded = 0;
    for (int iRun = 0; iRun < 10000; ++iRun)
    {
        Bytes kBad = kBytes;
        const int iChanges = 1 + static_cast<int>(kRandom() % 4);
        for (int i = 0; i < iChanges; ++i)
        {
            const std::size_t uiAt = kRandom() % kBad.size();
            switch (kRandom() % 3)
            {
            case 0:
                kBad[uiAt] = static_cast<std::uint8_t>(kRandom());
                break;
            case 1:
                kBad[uiAt] ^= static_cast<std::uint8_t>(1u << (kRandom() % 8));
                break;
            default:
                kBad.resize(uiAt + 1);
                break;
            }
        }
        NSBShaderPtr spShader = new NSBShader;
        if (LoadShader(*spShader, kBad))
        {
            ++uiLoaded;
            const Bytes kAgain = Save(*spShader);
            NSBShaderPtr spAgain = new NSBShader;
            ASSERT_TRUE(LoadShader(*spAgain, kAgain)) << iRun;
            // Packing names that came to share a bucket swap on each save.
            NSBShaderPtr spThird = new NSBShader;
            ASSERT_TRUE(LoadShader(*spThird, Save(*spAgain))) << iRun;
            ASSERT_EQ(Save(*spThird), kAgain) << iRun;
        }
        spShader = nullptr;
        ASSERT_EQ(NiRefObject::GetTotalObjectCount(), uiLive) << iRun;
    }
    EXPECT_GT(uiLoaded, 0u);
    TakeReports();
}

namespace
{
// Counts the writes it takes, and refuses the one it is told to.
class RefusingStream : public NiByteStream
{
public:
    explicit RefusingStream(std::uint32_t uiRefused) : m_uiRefused(uiRefused) {}
    [[nodiscard]] bool IsGood() const override { return true; }
    std::uint32_t Read(void*, std::uint32_t) override { return 0; }
    std::uint32_t Write(const void*, std::uint32_t uiBytes) override
    {
        return m_uiWrites++ == m_uiRefused ? 0 : uiBytes;
    }
    std::uint32_t m_uiWrites = 0;

private:
    std::uint32_t m_uiRefused;
};
} // namespace

// Every write is checked, the user-data flag's included: a save where any
// one write fails reports failure.
TEST_F(NSBShaderTest, SaveWithAnyOneWriteRefusedFails)
{
    NSBShaderPtr spRich = MakeRich();
    RefusingStream kCount(0xFFFFFFFF);
    ASSERT_TRUE(spRich->SaveBinary(kCount));
    ASSERT_GT(kCount.m_uiWrites, 100u);
    for (std::uint32_t ui = 0; ui < kCount.m_uiWrites; ++ui)
    {
        RefusingStream kStream(ui);
        EXPECT_FALSE(spRich->SaveBinary(kStream)) << ui;
    }
    TakeReports();

    NSBShaderPtr spParsed;
    NSBShader* pkShader = NSBShader::GetOrCreate(spParsed);
    ASSERT_NE(pkShader, nullptr);
    EXPECT_EQ(NSBShader::GetOrCreate(spParsed), pkShader);
}

namespace
{
// Shader "M" with empty tables and one implementation "I" without
// requirements that claims uiPasses passes, of which one follows: a pass
// whose strings are all empty, without maps or stages, in the version's
// own layout.
Bytes OneEmptyPass(std::uint32_t uiVersion, std::uint32_t uiPasses)
{
    ByteWriter w;
    w.U32(0x0062736E);
    w.U32(uiVersion);
    w.Str("M");
    w.Str("");
    if (uiVersion >= 0x00010006)
        w.U32(0);
    for (int i = 0; i < 3; ++i)
        w.Count(0);
    w.Count(1);
    w.Str("I");
    w.Str("");
    if (uiVersion >= 0x00010005)
        w.Str("");
    w.U32(0);
    w.U32(0);
    if (uiVersion >= 0x00010006)
        w.U32(0);
    w.Str("");
    for (int i = 0; i < 3; ++i)
        w.U32(0);
    w.Count(uiPasses);
    const std::size_t uiPassAt = w.m_kBytes.size();
    w.Str("");
    if (uiVersion >= 0x00010006)
        w.U32(0);
    w.U32(0);
    const int iPrograms = uiVersion == 0x00010001 ? 1 : 3;
    for (int i = 0; i < iPrograms; ++i)
        w.Str("");
    if (uiVersion != 0x00010001)
    {
        w.Str("");
        w.Str("");
    }
    w.U32(0);
    for (int i = 0; i < iPrograms + 2; ++i)
        w.Str("");
    w.U32(0);
    w.U32(0);
    w.Count(0);
    EXPECT_EQ(w.m_kBytes.size() - uiPassAt, NSBPass::MinRecordBytes(uiVersion)) << uiVersion;
    if (uiVersion >= 0x00010007)
        w.U32(0);
    return w.m_kBytes;
}
} // namespace

// The oldest version's smallest pass is ten words: a file holding one, as
// the fixture beside these tests does, loads.
TEST_F(NSBShaderTest, OldestVersionFileWithOneEmptyPassLoads)
{
    const std::string kPath = std::string(NSB_FIXTURE_DIR) + "/one-empty-pass-0x00010001.nsb";
    std::ifstream kIn(kPath, std::ios::binary);
    const Bytes kFile{std::istreambuf_iterator<char>(kIn), std::istreambuf_iterator<char>()};
    ASSERT_EQ(kFile.size(), 110u);
    EXPECT_EQ(kFile, OneEmptyPass(0x00010001, 1));

    NSBShaderPtr spShader = new NSBShader;
    ASSERT_TRUE(spShader->LoadFromFile(kPath.c_str()));
    EXPECT_STREQ(spShader->GetName(), "M");
    ASSERT_EQ(spShader->GetImplementationCount(), 1u);
    NSBImplementation* pkImplementation = spShader->GetImplementationByIndex(0);
    ASSERT_NE(pkImplementation, nullptr);
    EXPECT_STREQ(pkImplementation->GetName(), "I");
    ASSERT_EQ(pkImplementation->GetPassCount(), 1u);
    NSBPass* pkPass = pkImplementation->GetPass(0, false);
    ASSERT_NE(pkPass, nullptr);
    EXPECT_EQ(pkPass->GetName(), nullptr);
    EXPECT_EQ(pkPass->GetStageCount(), 0u);
    EXPECT_EQ(pkPass->GetPixelShaderProgramFile(NSBPass::SLOT_DX9), nullptr);
}

// Each version's smallest pass (the writer above checks its size) is what
// a count of passes is checked against: one such pass loads, a count one
// higher is refused, and the current version's is what an empty pass saves.
TEST_F(NSBShaderTest, PassCountIsCheckedAgainstTheVersionsOwnSmallestPass)
{
    for (std::uint32_t uiVersion : {0x00010001u, 0x00010004u, 0x00010005u, 0x00010006u, 0x00010007u})
    {
        SCOPED_TRACE(uiVersion);
        NSBShaderPtr spShader = new NSBShader;
        ASSERT_TRUE(LoadShader(*spShader, OneEmptyPass(uiVersion, 1)));
        ASSERT_NE(spShader->GetImplementationByIndex(0), nullptr);
        EXPECT_EQ(spShader->GetImplementationByIndex(0)->GetPassCount(), 1u);

        NSBShaderPtr spTwo = new NSBShader;
        EXPECT_FALSE(LoadShader(*spTwo, OneEmptyPass(uiVersion, 2)));
    }
    NSBPass kEmpty;
    EXPECT_EQ(Save(kEmpty).size(), NSBPass::MinRecordBytes(NSBStream::VERSION_CURRENT));
    TakeReports();
}
