#include "engine/shaders/nsb/NSBImplementation.h"

#include "engine/shaders/nsb/NSBStream.h"
#include "tests/engine/shaders/nsb/NsbTestSupport.h"

using namespace nsb_test;

using NSBImplementationTest = NsbTest;

namespace
{
// An implementation record with nothing in it but what is given.
Bytes BareImplementation(const Bytes& kRequirements, std::uint32_t uiPasses, const Bytes& kPasses)
{
    return Text("I") + Text("") + Text("") + Words({0}) + kRequirements + Words({0}) + Text("") + Words({0, 0, 0}) +
           Words({uiPasses}) + kPasses + Words({0});
}

// A pass with nothing in it but the software-vertex-processing flag.
Bytes BarePass(std::uint32_t uiSoftwareVP)
{
    Bytes k = Text("P") + Words({0, 0});
    for (int i = 0; i < 5; ++i)
        k = k + Text("");
    k = k + Words({0});
    for (int i = 0; i < 5; ++i)
        k = k + Text("");
    return k + Words({0, uiSoftwareVP, 0});
}
} // namespace

TEST_F(NSBImplementationTest, RequirementsAreTwelveWordsAndTenBeforeSoftwareVertexProcessing)
{
    NSBRequirements kRequirements;
    kRequirements.SetPSVersion(0xFFFF0200);
    kRequirements.SetVSVersion(0xFFFE0101);
    kRequirements.SetUserVersion(3);
    kRequirements.SetPlatformFlags(2);
    kRequirements.SetUsesNiRenderState(true);
    kRequirements.SetBonesPerPartition(30);
    kRequirements.SetBoneMatrixRegisters(4);
    kRequirements.SetBoneCalcMethod(1);
    kRequirements.SetBinormalTangentMethod(2);
    kRequirements.SetSoftwareVPRequired(true);
    const Bytes kBytes = Save(kRequirements);
    EXPECT_EQ(kBytes, Words({0xFFFF0200, 0xFFFE0101, 3, 2, 1, 0, 30, 4, 1, 2, 0, 1}));

    NSBStream::SetCurrentVersion(0x00010006);
    const Bytes kOld = Words({1, 2, 3, 4, 7, 0, 5, 3, 0, 1, 0xAA});
    NiMemoryStream kIn(kOld.data(), static_cast<std::uint32_t>(kOld.size()));
    NSBRequirements kRead;
    ASSERT_TRUE(kRead.LoadBinary(kIn));
    EXPECT_EQ(kIn.GetBytesLeft(), 4u);
    EXPECT_TRUE(kRead.UsesNiRenderState());
    EXPECT_FALSE(kRead.GetSoftwareVPRequired());
}

TEST_F(NSBImplementationTest, RequirementsFlagOtherThanOneMeansNone)
{
    for (std::uint32_t uiFlag : {0u, 2u})
    {
        SCOPED_TRACE(uiFlag);
        const Bytes kBytes = BareImplementation(Words({uiFlag}), 0, {});
        NSBImplementation kImplementation;
        ASSERT_TRUE(Load(kImplementation, kBytes));
        EXPECT_EQ(kImplementation.PeekRequirements(), nullptr);
        EXPECT_EQ(Save(kImplementation), BareImplementation(Words({0}), 0, {}));
    }
}

TEST_F(NSBImplementationTest, PassWithSoftwareVertexProcessingMarksRequirementsRequired)
{
    const Bytes kRequirements = Words({1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    const Bytes kBytes = BareImplementation(kRequirements, 2, BarePass(0) + BarePass(1));
    NSBImplementation kImplementation;
    ASSERT_TRUE(Load(kImplementation, kBytes));
    ASSERT_NE(kImplementation.PeekRequirements(), nullptr);
    EXPECT_TRUE(kImplementation.PeekRequirements()->GetSoftwareVPRequired());
    EXPECT_EQ(kImplementation.GetPassCount(), 2u);
    EXPECT_TRUE(kImplementation.GetPass(1, false)->GetSoftwareVertexProcessing());

    // Passes count only the ones there; the record writes them in order.
    NSBImplementation kSparse;
    kSparse.GetPass(2, true)->SetName("P");
    EXPECT_EQ(kSparse.GetPassCount(), 1u);
    EXPECT_EQ(Save(kSparse), Text("") + Text("") + Text("") + Words({0, 0, 0}) + Text("") + Words({0, 0, 0, 1}) +
                                 BarePass(0) + Words({0}));
}

TEST_F(NSBImplementationTest, StagesAreMadeUpToTheOneAskedForWithIdentityTransforms)
{
    NSBPass kPass;
    EXPECT_EQ(kPass.GetStage(0, false), nullptr);
    NSBTextureStage* pkStage = kPass.GetStage(3, true);
    ASSERT_NE(pkStage, nullptr);
    EXPECT_EQ(kPass.GetStageCount(), 4u);
    for (std::uint32_t ui = 0; ui < 4; ++ui)
        EXPECT_EQ(kPass.GetStage(ui, false)->GetStage(), ui);

    const Bytes kStage = Save(*kPass.GetStage(0, false));
    Bytes kExpected = Text("") + Words({0, 0, 0, 0, 0});
    for (int i = 0; i < 16; ++i)
        kExpected = kExpected + Words({i % 5 == 0 ? 0x3F800000u : 0u});
    EXPECT_EQ(kStage, kExpected + Words({0}) + Text(""));

    // Only 1 turns the transform on.
    Bytes kTwo = kStage;
    kTwo[20] = 2;
    NSBTextureStage kRead;
    ASSERT_TRUE(Load(kRead, kTwo));
    EXPECT_FALSE(kRead.GetUseTextureTransformation());
}

TEST_F(NSBImplementationTest, OldestPassesHaveOneProgramNameForEveryPlatform)
{
    NSBStream::SetCurrentVersion(0x00010001);
    const Bytes kBytes = Text("P") + Words({0}) + Text("a.psh") + Words({0}) + Text("a.vsh") + Text("main") +
                         Text("vs_1_1") + Words({0, 0, 0});
    NSBPass kPass;
    ASSERT_TRUE(Load(kPass, kBytes));
    for (std::uint32_t ui = 0; ui < NSBPass::SLOT_COUNT; ++ui)
    {
        EXPECT_STREQ(kPass.GetPixelShaderProgramFile(ui), "a.psh");
        EXPECT_STREQ(kPass.GetVertexShaderProgramFile(ui), "a.vsh");
    }
    EXPECT_EQ(kPass.GetPixelShaderProgramEntryPoint(), nullptr);
    EXPECT_STREQ(kPass.GetVertexShaderProgramEntryPoint(), "main");
    EXPECT_STREQ(kPass.GetVertexShaderProgramShaderTarget(), "vs_1_1");
}

TEST_F(NSBImplementationTest, EmptyRequirementsMadeForASaveAreMarkedByASoftwarePassWhenReadBack)
{
    // No requirements in the file, a software-processing pass: nothing to mark.
    NSBImplementation kImplementation;
    ASSERT_TRUE(Load(kImplementation, BareImplementation(Words({0}), 1, BarePass(1))));
    ASSERT_EQ(kImplementation.PeekRequirements(), nullptr);
    // Asked for (as a shader's save does), they are made empty and written so.
    ASSERT_NE(kImplementation.GetRequirements(), nullptr);
    const Bytes kEmpty = Words({1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    const Bytes kFirst = Save(kImplementation);
    EXPECT_EQ(kFirst, BareImplementation(kEmpty, 1, BarePass(1)));

    // Read back, the pass marks them; from then on the record stays as it is.
    NSBImplementation kSecond;
    ASSERT_TRUE(Load(kSecond, kFirst));
    ASSERT_NE(kSecond.PeekRequirements(), nullptr);
    EXPECT_TRUE(kSecond.PeekRequirements()->GetSoftwareVPRequired());
    const Bytes kMarked = Words({1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1});
    const Bytes kSaved = Save(kSecond);
    EXPECT_EQ(kSaved, BareImplementation(kMarked, 1, BarePass(1)));
    NSBImplementation kThird;
    ASSERT_TRUE(Load(kThird, kSaved));
    EXPECT_EQ(Save(kThird), kSaved);
}
