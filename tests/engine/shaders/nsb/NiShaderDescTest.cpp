#include "engine/core/NiLibraryRegistry.h"
#include "engine/shaders/nsb/NSBShaderLib.h"
#include "engine/shaders/nsb/NiD3DShaderLibraryStatics.h"
#include "engine/shaders/nsb/NiShaderDesc.h"
#include "engine/shaders/nsb/NiShaderLibraryDesc.h"
#include "engine/shaders/nsb/NiShaderRequirementDesc.h"
#include "tests/engine/shaders/nsb/NsbTestSupport.h"

using namespace nsb_test;

using NiShaderDescTest = NsbTest;

TEST_F(NiShaderDescTest, FreshRequirementRangesAreEmptyUntilTheFirstAdd)
{
    NiShaderRequirementDescPtr spDesc = new NiShaderRequirementDesc;
    EXPECT_EQ(Save(*spDesc), Words({0, 0, 0xFFFFFFFF, 0, 0xFFFFFFFF, 0, 0xFFFFFFFF, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(spDesc->AddPixelShaderVersion(0x200), 0x200u);
    spDesc->AddPixelShaderVersion(0x100);
    EXPECT_EQ(spDesc->GetMinPixelShaderVersion(), 0x100u);
    EXPECT_EQ(spDesc->GetMaxPixelShaderVersion(), 0x200u);
}

TEST_F(NiShaderDescTest, RequirementRecordRoundTrips)
{
    NiShaderRequirementDescPtr spDesc = new NiShaderRequirementDesc;
    spDesc->SetName("Impl");
    spDesc->SetDescription("Two passes");
    spDesc->AddPixelShaderVersion(0xFFFF0101);
    spDesc->AddVertexShaderVersion(0xFFFE0200);
    spDesc->AddUserDefinedVersion(7);
    spDesc->SetDX9(true);
    spDesc->SetXBox(true);
    spDesc->SetXBox(false);
    spDesc->SetBonesPerPartition(20);
    spDesc->SetBinormalTangentMethod(2);
    spDesc->SetSoftwareVPRequired(true);
    const Bytes kBytes = Save(*spDesc);
    EXPECT_EQ(kBytes, Text("Impl") + Text("Two passes") +
                          Words({0xFFFF0101, 0xFFFF0101, 0xFFFE0200, 0xFFFE0200, 7, 7, 2, 20, 2, 0, 1}));

    NiShaderRequirementDescPtr spRead = new NiShaderRequirementDesc;
    ASSERT_TRUE(Load(*spRead, kBytes));
    EXPECT_STREQ(spRead->GetName(), "Impl");
    EXPECT_TRUE(spRead->IsDX9());
    EXPECT_FALSE(spRead->IsXBox());
    EXPECT_TRUE(spRead->GetSoftwareVPRequired());
    EXPECT_FALSE(spRead->GetSoftwareVPFallback());
    EXPECT_EQ(Save(*spRead), kBytes);
    for (std::size_t ui = 0; ui < kBytes.size(); ++ui)
    {
        NiShaderRequirementDescPtr spCut = new NiShaderRequirementDesc;
        EXPECT_FALSE(Load(*spCut, Bytes(kBytes.begin(), kBytes.begin() + static_cast<std::ptrdiff_t>(ui)))) << ui;
    }
}

TEST_F(NiShaderDescTest, ImplementationSlotsGrowAndAttributesMatchExactly)
{
    NiShaderDescPtr spDesc = new NiShaderDesc;
    spDesc->SetImplementationDescription(3, new NiShaderRequirementDesc);
    EXPECT_EQ(spDesc->GetImplementationCapacity(), 4u);
    EXPECT_EQ(spDesc->GetImplementationDescription(2), nullptr);
    EXPECT_NE(spDesc->GetImplementationDescription(3), nullptr);

    NSBAttributeDescPtr spGloss = new NSBAttributeDesc;
    spGloss->SetName("gloss");
    spDesc->AddAttribute(spGloss);
    spDesc->AddAttribute(nullptr);
    EXPECT_EQ(spDesc->GetAttributeCount(), 1u);
    EXPECT_EQ(spDesc->GetAttribute("Gloss"), nullptr);
    EXPECT_EQ(spDesc->GetAttribute("gloss"), spGloss.Get());
    EXPECT_EQ(spDesc->GetAttribute(nullptr), nullptr);
}

TEST_F(NiShaderDescTest, LibraryStaticsRegisterOnceByExplicitCall)
{
    NiLibraryRegistry::Reset();
    NiD3DShaderLibraryStatics::Reset();
    NSBShaderLib::ResetRegistration();
    EXPECT_EQ(NiLibraryRegistry::GetLibraryCount(), 0u);
    NiD3DShaderLibraryStatics::Register();
    NiD3DShaderLibraryStatics::Register();
    EXPECT_EQ(NiLibraryRegistry::GetLibraryCount(), 1u);
    NSBShaderLib::RegisterLibrary();
    NSBShaderLib::RegisterLibrary();
    EXPECT_EQ(NiLibraryRegistry::GetLibraryCount(), 2u);

    EXPECT_FALSE(NiD3DShaderLibraryStatics::Startup());
    EXPECT_TRUE(NiD3DShaderLibraryStatics::Startup());
    NiD3DShaderLibraryStatics::Shutdown();
    EXPECT_FALSE(NiD3DShaderLibraryStatics::IsStarted());
    NiLibraryRegistry::Reset();
    NiD3DShaderLibraryStatics::Reset();
    NSBShaderLib::ResetRegistration();
}
