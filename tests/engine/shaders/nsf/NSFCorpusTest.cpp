#include "engine/shaders/nsb/NSBShader.h"
#include "engine/shaders/nsf/NSFGrammarActions.h"
#include "engine/shaders/nsf/NSFParserLib.h"

#include "tests/engine/shaders/nsf/NsfTestSupport.h"

#include <algorithm>
#include <fstream>
#include <regex>
#include <set>

using namespace nsf_test;

using NSFCorpusTest = NsfTest;

namespace fs = std::filesystem;

namespace
{
std::set<int> s_kReduced;

void Record(int iRule)
{
    s_kReduced.insert(iRule);
}

struct Rule
{
    int m_iNumber;
    std::string m_kLeft;
    std::string m_kRight;
};

// The rule list of the grammar's report.
std::vector<Rule> ReportRules()
{
    std::ifstream kIn(NSF_GRAMMAR_REPORT);
    std::vector<Rule> kRules;
    const std::regex kLine(R"(^\s*(\d+)\s+(\S+):\s*(.*)$)");
    const std::regex kAlternative(R"(^\s*(\d+)\s+\|\s*(.*)$)");
    bool bGrammar = false;
    std::string kLeft;
    for (std::string k; std::getline(kIn, k);)
    {
        if (k == "Grammar")
        {
            bGrammar = true;
            continue;
        }
        if (!bGrammar)
            continue;
        if (k.rfind("Terminals", 0) == 0)
            break;
        std::smatch kMatch;
        if (std::regex_match(k, kMatch, kLine))
        {
            kLeft = kMatch[2];
            kRules.push_back({std::stoi(kMatch[1]), kLeft, kMatch[3]});
        }
        else if (std::regex_match(k, kMatch, kAlternative))
            kRules.push_back({std::stoi(kMatch[1]), kLeft, kMatch[2]});
    }
    return kRules;
}

std::vector<std::string> CorpusFiles()
{
    std::vector<std::string> kFiles;
    for (const auto& kEntry : fs::directory_iterator(NSF_CORPUS_DIR))
        if (kEntry.path().extension() == ".nsf")
            kFiles.push_back(kEntry.path().string());
    std::sort(kFiles.begin(), kFiles.end());
    return kFiles;
}
} // namespace

// The corpus reduces every rule of the grammar except the error
// alternatives and the colour-sign form the scanner cannot produce.
TEST_F(NSFCorpusTest, TheCorpusReducesEveryReachableRule)
{
    const std::vector<Rule> kRules = ReportRules();
    ASSERT_GT(kRules.size(), 500u);
    s_kReduced.clear();
    NSFGrammarActions::SetRuleRecorder(&Record);
    for (const std::string& kFile : CorpusFiles())
    {
        SCOPED_TRACE(kFile);
        EXPECT_EQ(ParseNSFFile(kFile.c_str()), 0);
    }
    NSFGrammarActions::SetRuleRecorder(nullptr);
    int iUnreachable = 0;
    for (const Rule& kRule : kRules)
    {
        if (kRule.m_iNumber == 0)
            continue;
        const bool bUnreachable =
            kRule.m_kRight == "error '\\n'" || kRule.m_kRight == "TSAMP_COLORSIGN ASSIGN '0'";
        iUnreachable += bUnreachable ? 1 : 0;
        EXPECT_EQ(s_kReduced.count(kRule.m_iNumber) != 0, !bUnreachable)
            << kRule.m_iNumber << " " << kRule.m_kLeft << ": " << kRule.m_kRight;
    }
    EXPECT_EQ(iUnreachable, 17);
    NSFGrammarActions::Reset();
    TakeReports();
}

// A compiled description, byte for byte against records written here: the
// shader head, both attribute tables and a packing definition.
TEST_F(NSFCorpusTest, ACompiledFileEqualsIndependentlyWrittenRecords)
{
    Write("bytes.nsf", "NSFShader Bytes { \"Desc\" \"ribed\"\n"
                       "Global_Attributes { Attrib_Float G Artist 0.5 [0.0 1.0] }\n"
                       "Attributes { Attrib_UInt U Hidden 3 [1.9 7.5] Attrib_Texture T Artist 2 \"t.dds\"\n"
                       "Attrib_Color C Artist 0.5, 0.25, 1.0 }\n"
                       "PackingDef P { PD_Stream 1 PD_FixedFunction TRUE PDP_Normal 3 PDT_Float3\n"
                       "PDP_ExtraData 2 9 PDT_Float4 PDTESS_UV PDU_TexCoord 3 } }");
    EXPECT_EQ(RunNSFParserEntry(m_kRoot.string().c_str(), false), 1);
    nsb_test::ByteWriter w;
    w.U32(0x0062736E);
    w.U32(0x00010007);
    w.Str("Bytes");
    w.Str("Described");
    w.U32(0);
    // Global attributes: a float whose range the global table drops.
    w.U32(1);
    w.Str("G");
    w.Str("");
    w.U32(0);
    w.U32(4);
    w.F32(0.5f);
    w.U32(3);
    w.Str("U");
    w.Str("");
    w.U32(3);
    w.U32(3);
    for (std::uint32_t ui : {3u, 1u, 7u})
        w.U32(ui);
    w.Str("T");
    w.Str("");
    w.U32(0);
    w.U32(11);
    w.U32(2);
    w.Str("t.dds");
    w.Str("C");
    w.Str("");
    w.U32(0);
    w.U32(10);
    for (float f : {0.5f, 0.25f, 1.0f, 1.0f})
        w.F32(f);
    w.U32(1);
    w.Str("P");
    w.U32(1);
    w.U32(2);
    for (std::uint32_t ui : {1u, 3u, 3u, 2u, 0u, 14u, 0u, 1u, 9u, 0x80000002u, 3u, 4u, 5u, 3u})
        w.U32(ui);
    w.U32(0);
    EXPECT_EQ(ReadFile((m_kRoot / "Bytes.NSB").string()), w.m_kBytes);
}

// An implementation with requirements, user data, states, both maps (one
// platform entry), a pass with programs of both forms, a stage and a
// sampler, byte for byte against records written here.
TEST_F(NSFCorpusTest, ACompiledImplementationEqualsIndependentlyWrittenRecords)
{
    Write("impl.nsf",
          "NSFShader Impl { Implementation Main { \"Only\" ClassName = NiCustom\n"
          "Requirements { PSVersion = v2.0 VSVersion = v1.1 UserVersion = v0.3 Platform = DX9\n"
          "  UsesNiLightState = TRUE SoftwareVPFallback = TRUE BonesPerPartition = 30\n"
          "  BinormalTangentMethod = NBTMethod_Max }\n"
          "RenderStates { ZEnable = ZB_True SAVE }\n"
          "UserDefinedData U { Scale = 2.0 }\n"
          "PS_ConstantMap { CM_Constant Color 0 1 1.0, 0.5, 0.25, 1.0 { Platform = DX9 CM_Defined Fog 1 1 } }\n"
          "Pass P { PSProgram shade.psh main ps_2_0\n"
          "  VSProgram { Platform = XBOX Program = shade.xvs EntryPoint = vmain ShaderTarget = vs_2_0 SoftwareVP = TRUE }\n"
          "  VS_ConstantMap { CM_Defined WorldViewProj 0 0 }\n"
          "  Stage 0 Base { TSS_ColorOp = TOP_Modulate SAVE\n"
          "    TSS_TexTransMatrix = TTSRC_Constant TT_WorldParallel 2.0, 0.0, 0.0, 0.0, 0.0, 2.0, 0.0, 0.0,\n"
          "      0.0, 0.0, 2.0, 0.0, 0.5, 0.0, 0.0, 1.0 }\n"
          "  Sampler 0 { TSAMP_AddressU = TADDR_Clamp } } } }");
    EXPECT_EQ(RunNSFParserEntry(m_kRoot.string().c_str(), false), 1);
    nsb_test::ByteWriter w;
    auto Words = [&](std::initializer_list<std::uint32_t> kWords) {
        for (std::uint32_t ui : kWords)
            w.U32(ui);
    };
    auto Entry = [&](const char* pcKey, std::uint32_t uiFlags, std::uint32_t uiExtra, std::uint32_t uiRegister,
                     std::uint32_t uiCount, std::initializer_list<float> kData) {
        w.Str(pcKey);
        Words({uiFlags, uiExtra, uiRegister, uiCount});
        w.Str("");
        const std::uint32_t uiSize = static_cast<std::uint32_t>(4 * kData.size());
        Words({uiSize, kData.size() ? 4u : 0u, uiSize});
        for (float f : kData)
            w.F32(f);
    };
    Words({0x0062736E, 0x00010007});
    w.Str("Impl");
    w.Str("");
    // No user data, no attributes, no packing definitions; one implementation.
    Words({0, 0, 0, 0, 1});
    w.Str("Main");
    w.Str("Only");
    w.Str("NiCustom");
    Words({0, 1, 0xFFFF0200, 0xFFFE0101, 0xFFFE0003, 2, 0, 1, 30, 0, 0, 0x2000, 1, 0});
    // User data: one block of one float, no register.
    Words({1, 1});
    w.Str("U");
    Words({0, 1});
    Entry("Scale", 0x30000004, 0, 0xFFFFFFFF, 1, {2.0f});
    Words({0, 0, 0});
    w.Str("");
    // States: ZENABLE (73) = 1, saved.
    Words({1, 1, 1, 73, 1});
    w.Str("");
    // Pixel map: a constant in the common list, a defined entry for DX9.
    Words({1, 1, 1});
    Entry("Color", 0x10000000, 0, 0, 1, {1.0f, 0.5f, 0.25f, 1.0f});
    Words({0, 1});
    Entry("Fog", 0x20000000, 1, 1, 0, {});
    Words({0});
    // No vertex map; one pass.
    Words({0, 1});
    w.Str("");
    Words({0, 0});
    for (const char* pc : {"shade.psh", "shade.psh", "shade.psh", "main", "ps_2_0"})
        w.Str(pc);
    Words({0});
    for (const char* pc : {"shade.xvs", "", "", "vmain", "vs_2_0"})
        w.Str(pc);
    Words({1, 2, 1});
    Entry("WorldViewProj", 0x20000000, 0, 0, 0, {});
    Words({0, 0, 0});
    // Software processing, one stage: COLOROP = MODULATE saved, ADDRESSU =
    // CLAMP, the constant transform with its source word.
    Words({1, 1});
    w.Str("");
    Words({0, 0, 1, 1, 1, 0, 3});
    w.Str("");
    Words({1, 1, 0, 0, 2});
    w.Str("");
    Words({1});
    for (float f : {2.0f, 0.0f, 0.0f, 0.0f, 0.0f, 2.0f, 0.0f, 0.0f, 0.0f, 0.0f, 2.0f, 0.0f, 0.5f, 0.0f, 0.0f, 1.0f})
        w.F32(f);
    Words({0x20000001});
    w.Str("");
    // The implementation's own software-processing flag.
    Words({0});
    EXPECT_EQ(ReadFile((m_kRoot / "Impl.NSB").string()), w.m_kBytes);
}
