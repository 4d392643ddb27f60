#include "engine/shaders/nsb/NSBAttributeDesc.h"
#include "engine/shaders/nsb/NSBConstantMap.h"
#include "engine/shaders/nsb/NSBImplementation.h"
#include "engine/shaders/nsb/NSBPackingDef.h"
#include "engine/shaders/nsb/NSBPass.h"
#include "engine/shaders/nsb/NSBRequirements.h"
#include "engine/shaders/nsb/NSBShader.h"
#include "engine/shaders/nsb/NSBStateGroup.h"
#include "engine/shaders/nsb/NSBTextureStage.h"
#include "engine/shaders/nsb/NSBUserDefinedDataBlock.h"
#include "engine/shaders/nsb/NSBUserDefinedDataSet.h"
#include "engine/shaders/nsf/NSFGrammarActions.h"
#include "engine/shaders/nsf/NSFParserLib.h"

#include "tests/engine/shaders/nsf/NsfTestSupport.h"

using namespace nsf_test;

namespace fs = std::filesystem;

namespace
{
class NSFGrammarTest : public NsfTest
{
protected:
    // Parses one text that must give no syntax error; its first shader.
    NSBShader* Shader(const std::string& kText)
    {
        std::string kOut;
        EXPECT_EQ(Parse(kText, &kOut), 0) << kOut;
        auto& kShaders = NSFGrammarActions::GetParsedShaders();
        return kShaders.empty() ? nullptr : kShaders[0].Get();
    }
    static std::string Implementation(const std::string& kBody)
    {
        return "NSFShader S { Implementation I { " + kBody + " } }";
    }
    static std::string Pass(const std::string& kBody)
    {
        return Implementation("Pass { " + kBody + " }");
    }
    static NSBPass* FirstPass(NSBShader* pkShader)
    {
        return pkShader->GetImplementationByIndex(0)->GetPass(0, false);
    }
    static std::pair<std::uint32_t, std::uint32_t> State(const NSBStateGroup* pkGroup, std::uint32_t uiState)
    {
        const NSBStateGroupEntry* pkEntry = pkGroup ? pkGroup->FindState(uiState) : nullptr;
        if (pkEntry == nullptr)
            return {0xDEAD, 0xDEAD};
        return {pkEntry->m_uiValue, pkEntry->UsesSave() ? 1u : 0u};
    }
};

using Pair = std::pair<std::uint32_t, std::uint32_t>;
} // namespace

// Packing entries: the stream carries over into the next definition, the
// short form gets tessellator 0, usage 14 and index 0, no type 0x7FFFFFFF.
TEST_F(NSFGrammarTest, PackingEntriesTakeTheCurrentStreamAndDefaults)
{
    NSBShader* pkShader = Shader("NSFShader S { PackingDef A { PD_Stream 1 PDP_TexCoord0 7 PDT_Float2 }\n"
                                 "PackingDef B { PDP_ExtraData 2 9 PDT_Float4 PDTESS_Default PDU_TexCoord 3\n"
                                 "PDP_Color2 4 } }");
    ASSERT_NE(pkShader, nullptr);
    const NSBPackingDef::Entry* pkA = pkShader->GetPackingDef("A", false)->GetEntry(0);
    EXPECT_EQ((std::vector<std::uint32_t>{pkA->m_uiStream, pkA->m_uiRegister, static_cast<std::uint32_t>(pkA->m_iInput),
                                          pkA->m_uiType, pkA->m_uiTesselator, pkA->m_uiUsage, pkA->m_uiUsageIndex}),
              (std::vector<std::uint32_t>{1, 7, 5, 1, 0, 14, 0}));
    const NSBPackingDef* pkB = pkShader->GetPackingDef("B", false);
    const NSBPackingDef::Entry* pkExtra = pkB->GetEntry(0);
    EXPECT_EQ((std::vector<std::uint32_t>{pkExtra->m_uiStream, pkExtra->m_uiRegister,
                                          static_cast<std::uint32_t>(pkExtra->m_iInput), pkExtra->m_uiType,
                                          pkExtra->m_uiTesselator, pkExtra->m_uiUsage, pkExtra->m_uiUsageIndex}),
              (std::vector<std::uint32_t>{1, 9, 0x80000002, 3, 0, 5, 3}));
    EXPECT_EQ(pkB->GetEntry(1)->m_uiType, 0x7FFFFFFFu);
    EXPECT_EQ(pkB->GetEntry(1)->m_iInput, 0);
}

// Requirements: pixel versions get the pixel form, vertex versions stay;
// closing widens the shader's ranges, zero for fields no entry set; bone
// matrices set the record too.
TEST_F(NSFGrammarTest, RequirementsAndBoneMatricesFillTheRecordAndTheShaderRanges)
{
    NSBShader* pkShader =
        Shader(Implementation("Requirements { PSVersion = v2.0 VSVersion = v1.1 Platform = dx9 | XBOX "
                              "USESNIRENDERSTATE = TRUE BonesPerPartition = 20 }\n"
                              "VS_ConstantMap { CM_Defined BONEMATRIX4 40 0 20 }"));
    ASSERT_NE(pkShader, nullptr);
    NSBImplementation* pkImplementation = pkShader->GetImplementationByIndex(0);
    const NSBRequirements* pkRequirements = pkImplementation->PeekRequirements();
    EXPECT_EQ(pkRequirements->GetPSVersion(), 0xFFFF0200u);
    EXPECT_EQ(pkRequirements->GetVSVersion(), 0xFFFE0101u);
    EXPECT_EQ(pkRequirements->GetPlatformFlags(), 6u);
    EXPECT_TRUE(pkRequirements->UsesNiRenderState());
    EXPECT_EQ(pkRequirements->GetBonesPerPartition(), 20u);
    EXPECT_EQ(pkRequirements->GetBoneMatrixRegisters(), 4u);
    EXPECT_EQ(pkRequirements->GetBoneCalcMethod(), 1u);
    EXPECT_EQ(pkShader->GetMinUserVersion(), 0u);
    EXPECT_EQ(pkShader->GetMaxPixelShaderVersion(), 0xFFFF0200u);
    const auto* pkEntry = pkImplementation->PeekVertexConstantMap()->FindEntry("BoneMatrix4");
    ASSERT_NE(pkEntry, nullptr);
    EXPECT_EQ(pkEntry->GetFlags(), 0x20000000u);
    EXPECT_EQ(pkEntry->GetShaderRegister(), 40u);
    EXPECT_EQ(pkEntry->GetRegisterCount(), 80u);
    EXPECT_EQ(pkEntry->GetExtra(), 20u * 65536u);
}

// Render states: names and words ignoring case, numbers and float bits as
// they stand, SAVE kept; an unknown name or word is reported and the pair
// still recorded.
TEST_F(NSFGrammarTest, RenderStatesRecordTheirPairsAndReportUnknownWords)
{
    NSBShader* pkShader = Shader(Pass("RenderStates { zfunc = always SAVE FogStart = 1.5 AlphaRef = 0x80 "
                                      "StencilRef = 3 Lighting = TRUE Bogus = 5 CullMode = Sideways "
                                      "TextureFactor = <Tint> }"));
    ASSERT_NE(pkShader, nullptr);
    const NSBStateGroup* pkGroup = FirstPass(pkShader)->PeekRenderStateGroup();
    EXPECT_EQ(State(pkGroup, 0), Pair(7, 1));
    EXPECT_EQ(State(pkGroup, 29), Pair(0x3FC00000, 0));
    EXPECT_EQ(State(pkGroup, 4), Pair(0x80, 0));
    EXPECT_EQ(State(pkGroup, 14), Pair(3, 0));
    EXPECT_EQ(State(pkGroup, 41), Pair(1, 0));
    EXPECT_EQ(State(pkGroup, 0x7FFFFFFF), Pair(5, 0));
    EXPECT_EQ(State(pkGroup, 77), Pair(0, 0));
    EXPECT_EQ(State(pkGroup, 78), Pair(0xDEAD, 0xDEAD));
    const std::string kPath = (m_kRoot / "t.nsf").string();
    EXPECT_EQ(TakeReports(), (std::vector<std::string>{
                                 "* PARSE ERROR: " + kPath + "\n    InvalidRenderState (Bogus)\n    at line 1\n",
                                 "* PARSE ERROR: " + kPath + "\n    Invalid RenderStateValue (Sideways)\n    at line 1\n",
                             }));
}

// Stage and sampler values; a second engine map replaces the first; the
// transform flag is cleared by a stage block only.
TEST_F(NSFGrammarTest, StagesAndSamplersRecordTheirStatesAndTextureFlags)
{
    NSBShader* pkShader = Shader(
        "NSFShader S { Attributes { Attrib_Texture Tex Artist 3 } Global_Attributes { Attrib_Texture G Artist 4 } "
        "Implementation I { Pass {\n"
        "Stage 0 { TSS_ColorOp = TOP_Modulate TSS_ColorArg1 = TA_Texture TA_Complement SAVE "
        "TSS_TexCoordIndex = TCI_SphereMap 1 TSS_TextureTransformFlags = TTFF_Count3 TTFF_Projected "
        "TSS_Texture = NTM_Glow TSS_Texture = NTM_Base TSS_BumpEnvMat00 = 0.5 }\n"
        "Sampler 0 { TSAMP_ColorSign = RGBA TSAMP_MinFilter = TEXF_Linear TSAMP_MaxMipLevel = <Tex> }\n"
        "Stage 1 { TSS_Texture = NTM_Decal 2 TSS_TexCoordIndex = UseMapIndex }\n"
        "Stage 2 { TSS_Texture = <Tex> TSS_Texture = <G> }\n"
        "Sampler 3 { TSAMP_ColorSign = rb } Sampler 4 { TSAMP_ColorSign = xyz }\n"
        "Stage 5 { TSS_TexTransMatrix = TTSRC_Global TT_WorldPerspective Proj } Stage 5 { }\n"
        "} } }");
    ASSERT_NE(pkShader, nullptr);
    NSBPass* pkPass = FirstPass(pkShader);
    NSBTextureStage* pkStage = pkPass->GetStage(0, false);
    EXPECT_EQ(State(pkStage->PeekTextureStageGroup(), 0), Pair(3, 0));
    EXPECT_EQ(State(pkStage->PeekTextureStageGroup(), 2), Pair(0x80000005, 1));
    EXPECT_EQ(State(pkStage->PeekTextureStageGroup(), 16), Pair(0x40000001, 0));
    EXPECT_EQ(State(pkStage->PeekTextureStageGroup(), 17), Pair(0x103, 0));
    EXPECT_EQ(State(pkStage->PeekTextureStageGroup(), 10), Pair(0x3F000000, 0));
    EXPECT_EQ(pkStage->GetTextureFlags(), 0x200000u);
    EXPECT_TRUE(pkStage->GetUseTextureTransformation());
    EXPECT_EQ(State(pkStage->PeekSamplerStageGroup(), 15), Pair(0xF0000000, 0));
    EXPECT_EQ(State(pkStage->PeekSamplerStageGroup(), 5), Pair(2, 0));
    EXPECT_EQ(State(pkStage->PeekSamplerStageGroup(), 8), Pair(0xDEAD, 0xDEAD));
    EXPECT_EQ(pkPass->GetStage(1, false)->GetTextureFlags(), 0x11000002u);
    EXPECT_EQ(State(pkPass->GetStage(1, false)->PeekTextureStageGroup(), 16), Pair(0, 0));
    EXPECT_EQ(pkPass->GetStage(2, false)->GetTextureFlags(), 0x2000003u);
    EXPECT_EQ(State(pkPass->GetStage(3, false)->PeekSamplerStageGroup(), 15), Pair(0xA0000000, 0));
    EXPECT_EQ(State(pkPass->GetStage(4, false)->PeekSamplerStageGroup(), 15), Pair(0, 0));
    NSBTextureStage* pkFifth = pkPass->GetStage(5, false);
    EXPECT_EQ(pkFifth->GetTextureTransformFlags(), 0x10000002u);
    EXPECT_STREQ(pkFifth->GetGlobalName(), "Proj");
    EXPECT_FALSE(pkFifth->GetUseTextureTransformation());
}

// Attribute ranges: unsigned bounds truncated and held to the unsigned
// range, none in a global table; a point without a range clause has no
// bounds even after an earlier entry had some.
TEST_F(NSFGrammarTest, AttributeRangesFollowTheirOwnClauseOnly)
{
    NSBShader* pkShader = Shader(
        "NSFShader S { \"one \" \"two\"\n"
        "Attributes { Attrib_UInt U Hidden 3 [1.9 7.5] Attrib_UInt N Artist 3 [-4.0 99999999999.0]\n"
        "Attrib_Point2 R Artist 1.0, 2.0 [(0.0, 0.0) (1.0, 1.0)] Attrib_Point2 P Artist 1.0, 2.0\n"
        "Attrib_Color C Artist 1.0, 1.0, 1.0 Attrib_Color D Artist 1.0, 1.0, 1.0, 0.5 [(0.0, 0.0, 0.0) (1.0, 1.0, 1.0)] }\n"
        "Global_Attributes { Attrib_UInt U Artist 3 [1.9 7.5] } }");
    ASSERT_NE(pkShader, nullptr);
    EXPECT_STREQ(pkShader->GetDescription(), "one two");
    NSBAttributeTable& kTable = pkShader->GetAttributeTable();
    std::uint32_t uiMin = 0, uiMax = 0;
    ASSERT_TRUE(kTable.GetAttribDescByName("U")->GetRange_UnsignedInt(uiMin, uiMax));
    EXPECT_EQ(Pair(uiMin, uiMax), Pair(1, 7));
    EXPECT_TRUE(kTable.GetAttribDescByName("U")->IsHidden());
    ASSERT_TRUE(kTable.GetAttribDescByName("N")->GetRange_UnsignedInt(uiMin, uiMax));
    EXPECT_EQ(Pair(uiMin, uiMax), Pair(0, 0xFFFFFFFF));
    EXPECT_TRUE(kTable.GetAttribDescByName("R")->IsRanged());
    EXPECT_FALSE(kTable.GetAttribDescByName("P")->IsRanged());
    EXPECT_FALSE(kTable.GetAttribDescByName("C")->IsRanged());
    float afMin[4] = {}, afMax[4] = {};
    ASSERT_TRUE(kTable.GetAttribDescByName("D")->GetRange_Color(afMin, afMax));
    EXPECT_EQ(afMax[3], 1.0f);
    EXPECT_FALSE(pkShader->GetGlobalAttributeTable().GetAttribDescByName("U")->IsRanged());
}

// Implementations are numbered by first appearance, a repeated name
// reopens its implementation; passes are numbered in file order.
TEST_F(NSFGrammarTest, ImplementationsAndPassesAreNumberedInOrder)
{
    NSBShader* pkShader = Shader("NSFShader S { Implementation A { Pass { PSProgram a } Pass x { PSProgram b } Pass y { PSProgram c } }\n"
                                 "Implementation B { } Implementation A { ClassName = Again }\n"
                                 "Implementation C { } }");
    ASSERT_NE(pkShader, nullptr);
    EXPECT_EQ(pkShader->GetImplementationCount(), 3u);
    EXPECT_STREQ(pkShader->GetImplementationByIndex(0)->GetClassName(), "Again");
    EXPECT_EQ(pkShader->GetImplementationByIndex(0)->GetPassCount(), 3u);
    EXPECT_STREQ(pkShader->GetImplementationByIndex(2)->GetName(), "C");
}

// The checks of the actions: each text goes to the factory report, the
// file still counts no error and is still written.
TEST_F(NSFGrammarTest, ActionChecksAreReportedButDoNotFailTheFile)
{
    const std::string kText =
        "NSFShader Checked { Attributes { Attrib_Float Gloss Artist 1.0 Attrib_Bool gloss Artist TRUE }\n"
        "UserDefinedData D { K = 1 } UserDefinedData D { K = 2 }\n"
        "Implementation I { PackingDef Later\n"
        "Pass { Stage 16 { } } } }";
    Write("dir/c.nsf", kText);
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(RunNSFParserEntry((m_kRoot / "dir").string().c_str(), false), 1);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_TRUE(fs::exists(m_kRoot / "dir" / "Checked.NSB"));
    const std::string kPath = (m_kRoot / "dir").string() + "\\c.nsf";
    EXPECT_EQ(TakeReports(),
              (std::vector<std::string>{
                  "* PARSE ERROR: " + kPath + "\n    AddAttribDesc_Bool at line 1\n    Desc name = gloss\n",
                  "* PARSE ERROR: " + kPath + "\n    UserDefinedDataBlock at line 2\n    Name = D\n\t ALREADY EXISTS!\n",
                  "* ERROR: NSBUserDefinedDataBlock::AddEntry\n    Failed to add entry K\n    It already exists!\n",
                  "* PARSE ERROR: " + kPath + "\n    UserDefinedData at line 2\n    Name = K\n\t Failed to add!\n",
                  "* PARSE ERROR: " + kPath + "\n    PackingDefinition Later\n    at line 3\n    NOT FOUND!\n",
                  "* PARSE ERROR: " + kPath + "\n    Stage 16 at line 4\n    OUT OF RANGE!\n",
              }));
}

// The constant-map checks that count as errors of the file.
TEST_F(NSFGrammarTest, OperatorAndGlobalChecksCountAsErrors)
{
    const struct
    {
        const char* m_pcEntries;
        std::vector<std::string> m_kMessages;
    } akCases[] = {
        {"CM_Operator X 0 1 A * Nowhere", {"CM_Operator operand not found\n", "Syntax Error: SetupOperatorEntry!"}},
        {"CM_Operator X 0 1 A * A CM_Operator Y 0 1 X * A",
         {"CM_Operator operand INVALID TYPE\n", "Syntax Error: SetupOperatorEntry!"}},
        {"CM_Attribute B 0 1 0 CM_Operator X 0 1 A * B",
         {"Invalid Operator Type", "Syntax Error: SetupOperatorEntry!"}},
        {"CM_Attribute P 0 1 0 CM_Operator X 0 1 P + A",
         {"Invalid Operator - Result was invalid", "Syntax Error: SetupOperatorEntry!"}},
        {"CM_Global T 0 1", {"Syntax Error: AddGlobalAttributeToConstantMap!"}},
        {"{ Platform = DX9 { Platform = DX8 CM_Constant K 0 1 1.0 } CM_Constant L 0 1 1.0 }",
         {"Syntax Error: Embedded ConstantMap Platform-block"}},
    };
    for (const auto& kCase : akCases)
    {
        SCOPED_TRACE(kCase.m_pcEntries);
        std::string kOut;
        ::testing::internal::CaptureStderr();
        const int iErrors =
            Parse(std::string("NSFShader S { Attributes { Attrib_Float A Artist 1.0 Attrib_Bool B Artist TRUE "
                              "Attrib_Point3 P Artist 1.0, 2.0, 3.0 }\n"
                              "Global_Attributes { Attrib_Texture T Artist 0 }\n"
                              "Implementation I { VS_ConstantMap { CM_Attribute A 0 1 0 ") +
                      kCase.m_pcEntries + " } } }",
                  &kOut);
        ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(iErrors, static_cast<int>(kCase.m_kMessages.size()));
        for (const std::string& kMessage : kCase.m_kMessages)
            EXPECT_NE(kOut.find("(" + kMessage + ")\n"), std::string::npos) << kMessage << "\n" << kOut;
        TakeReports();
        NSFGrammarActions::Reset();
    }
}

// An operand at entry 4096 or beyond does not fit the operator word.
TEST_F(NSFGrammarTest, OperandsBeyondTwelveBitsAreRefused)
{
    std::string kEntries;
    for (int i = 0; i < 4096; ++i)
        kEntries += "CM_Attribute A" + std::to_string(i) + " 0 1 0\n";
    std::string kOut;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(Parse("NSFShader S { Attributes { Attrib_Float A Artist 1.0 }\n"
                    "Implementation I { VS_ConstantMap { " + kEntries +
                        "CM_Attribute A 0 1 0 CM_Attribute B 0 1 0 CM_Operator X 0 1 A0 * A } } }",
                    &kOut),
              2);
    ::testing::internal::GetCapturedStderr();
    EXPECT_NE(kOut.find("(CM_Operator operand INVALID INDEX\n)"), std::string::npos) << kOut.substr(0, 400);
    TakeReports();
}
