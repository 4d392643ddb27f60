#include "engine/shaders/nsb/NSBAttributeDesc.h"
#include "engine/shaders/nsb/NSBImplementation.h"
#include "engine/shaders/nsb/NSBShader.h"
#include "engine/shaders/nsb/NSBUserDefinedDataBlock.h"
#include "engine/shaders/nsb/NSBUserDefinedDataSet.h"
#include "engine/shaders/nsf/NSFGrammarActions.h"
#include "engine/shaders/nsf/NSFParserLib.h"
#include "engine/shaders/nsf/NSFScannerState.h"

#include "tests/engine/shaders/nsf/NsfTestSupport.h"

using namespace nsf_test;

using NSFParserTest = NsfTest;

namespace
{
std::string ErrorLine(const std::string& kToken, int iLine, const std::string& kMessage)
{
    return "* ERROR: Invalid identifier '" + kToken + "' at line " + std::to_string(iLine) + " (" + kMessage +
           ")\n";
}

std::vector<std::string> ShaderNames()
{
    std::vector<std::string> kNames;
    for (const NiRefPtr<NSBShader>& spShader : NSFGrammarActions::GetParsedShaders())
        kNames.emplace_back(spShader->GetName() ? spShader->GetName() : "");
    return kNames;
}
} // namespace

// Each syntax error form: the one line printed, the count, what was built.
TEST_F(NSFParserTest, SyntaxErrorsPrintOneLineAndCountOnce)
{
    const struct
    {
        const char* m_pcText;
        std::string m_kLine;
    } akCases[] = {
        {"", ErrorLine("", 1, "syntax error, unexpected $end, expecting NSFSHADER")},
        {"NSFShader \"Quoted\" {}", ErrorLine("\"Quoted\"", 1, "syntax error, unexpected N_QUOTE, expecting N_STRING")},
        {"NSFShader A { Attributes { Attrib_Float f Artist 1 } }",
         ErrorLine("1", 1, "syntax error, unexpected N_INT, expecting N_FLOAT")},
        {"NSFShader A { Attributes { Attrib_UInt u Artist 1.5 } }",
         ErrorLine("1.5", 1, "syntax error, unexpected N_FLOAT, expecting N_INT")},
        {"NSFShader A { Attributes { } }", ErrorLine("}", 1, "syntax error, unexpected R_ACCOLADE")},
        {"NSFShader A {\n UserDefinedData D { } }", ErrorLine("}", 2, "syntax error, unexpected R_ACCOLADE, "
                                                                       "expecting N_STRING or N_QUOTE")},
        {"NSFShader A { Implementation I { Pass { Sampler 0 { TSAMP_COLORSIGN = 0 } } } }",
         ErrorLine("0", 1, "syntax error, unexpected N_INT, expecting N_STRING or '0'")},
        {"NSFShader A { Implementation I { Pass { Stage 0 { TSS_TextransMatrix = TTSRC_Constant 1.0, 2.0 } } } }",
         ErrorLine("}", 1, "syntax error, unexpected R_ACCOLADE, expecting COMMA")},
        {"NSFShader A { EOLN }", ErrorLine("EOLN", 1, "syntax error, unexpected N_STRING, expecting R_ACCOLADE")},
        {"NSFShader A { Attributes { Attrib Artist } }", ErrorLine("Attrib", 1, "syntax error, unexpected ATTRIB")},
    };
    for (const auto& kCase : akCases)
    {
        SCOPED_TRACE(kCase.m_pcText);
        std::string kOut;
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(Parse(kCase.m_pcText, &kOut), 1);
        ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(kOut, kCase.m_kLine + "*FAILURE! 1 errors found.\n");
        const std::vector<std::string> kReports = TakeReports();
        ASSERT_EQ(kReports.size(), 2u);
        EXPECT_EQ(kReports[1], "* PARSE ERROR: " + (m_kRoot / "t.nsf").string() + "\n    FAILED - 1 errors found\n");
    }
}

// After an error the rest of the file is dropped: the first shader keeps
// what it had, the later ones never start.
TEST_F(NSFParserTest, AfterASyntaxErrorLaterShadersAreAbsent)
{
    std::string kOut;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(Parse("NSFShader First { \"d\" Attributes { Attrib_Bool b Artist TRUE Attrib_Bool 7 } }\n"
                    "NSFShader Second { }\nNSFShader Third { }",
                    &kOut),
              1);
    ::testing::internal::GetCapturedStderr();
    ASSERT_EQ(ShaderNames(), std::vector<std::string>{"First"});
    NSBShader* pkFirst = NSFGrammarActions::GetParsedShaders()[0].Get();
    EXPECT_STREQ(pkFirst->GetDescription(), "d");
    EXPECT_EQ(pkFirst->GetAttributeTable().GetAttribCount(), 1u);
    NSFGrammarActions::Reset();
}

// The stacks grow to 10000 entries: a right-recursive list of 5000 entries
// parses, one of 12000 overflows, is counted and abandoned.
TEST_F(NSFParserTest, DeepInputOverflowsTheStackAtItsLimit)
{
    auto Text = [](int iEntries) {
        std::string k = "NSFShader A { UserDefinedData D {\n";
        for (int i = 0; i < iEntries; ++i)
            k += "k" + std::to_string(i) + " = " + std::to_string(i) + "\n";
        return k + "} }\nNSFShader B { }";
    };
    EXPECT_EQ(Parse(Text(5000)), 0);
    ASSERT_EQ(ShaderNames(), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(NSFGrammarActions::GetParsedShaders()[0]->GetUserDefinedDataSet()->GetBlock("D", false)->GetEntryCount(),
              5000u);
    NSFGrammarActions::Reset();
    std::string kOut;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(Parse(Text(12000), &kOut), 1);
    ::testing::internal::GetCapturedStderr();
    EXPECT_NE(kOut.find("(parser stack overflow)\n*FAILURE! 1 errors found.\n"), std::string::npos) << kOut;
    EXPECT_EQ(ShaderNames(), std::vector<std::string>{"A"});
    NSFGrammarActions::Reset();
    // The abandoned file leaves nothing behind for the next one.
    EXPECT_EQ(Parse("NSFShader C { }"), 0);
    EXPECT_EQ(ShaderNames(), std::vector<std::string>{"C"});
}

// Missing path and missing file.
TEST_F(NSFParserTest, NoPathOrNoFileGivesMinusOne)
{
    EXPECT_EQ(ParseNSFFile(nullptr), -1);
    EXPECT_STREQ(GetNSFLastMessage(), "err: need input file\n");
    EXPECT_EQ(ParseNSFFile((m_kRoot / "none.nsf").string().c_str()), -1);
    EXPECT_STREQ(GetNSFLastMessage(), "err: file not found!\n");
}
