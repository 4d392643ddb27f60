#include "engine/shaders/nsb/NSBAttributeDesc.h"
#include "engine/shaders/nsb/NSBImplementation.h"
#include "engine/shaders/nsb/NSBShader.h"
#include "engine/shaders/nsb/NSBUserDefinedDataBlock.h"
#include "engine/shaders/nsb/NSBUserDefinedDataSet.h"
#include "engine/shaders/nsf/NSFGrammarActions.h"
#include "engine/shaders/nsf/NSFParserLib.h"
#include "engine/shaders/nsf/NSFScannerState.h"

#include "tests/engine/shaders/nsf/NsfTestSupport.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

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

namespace
{
std::string ReadText(const std::string& kPath)
{
    std::ifstream kIn(kPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(kIn), std::istreambuf_iterator<char>());
}

// The offsets just past each token of a description: words are split at
// blanks; comments and quoted texts are skipped whole, so no cut falls
// inside one.
std::vector<std::size_t> TokenEnds(const std::string& kText)
{
    std::vector<std::size_t> kEnds;
    std::size_t ui = 0;
    while (ui < kText.size())
    {
        if (std::isspace(static_cast<unsigned char>(kText[ui])))
            ++ui;
        else if (kText.compare(ui, 2, "//") == 0)
            ui = std::min(kText.find('\n', ui), kText.size());
        else if (kText.compare(ui, 2, "/*") == 0)
            ui = std::min(kText.find("*/", ui + 2), kText.size() - 2) + 2;
        else if (kText[ui] == '"')
        {
            ui = std::min(kText.find('"', ui + 1), kText.size() - 1) + 1;
            kEnds.push_back(ui);
        }
        else
        {
            while (ui < kText.size() && !std::isspace(static_cast<unsigned char>(kText[ui])) &&
                   kText.compare(ui, 2, "//") != 0 && kText.compare(ui, 2, "/*") != 0)
                ++ui;
            kEnds.push_back(ui);
        }
    }
    return kEnds;
}
} // namespace

// A constant-map operator whose operands are not there, followed by a
// comment that never closes: the scanner fails (and lets go of its text)
// before the entry is reduced. The file fails with the scanner's one error;
// the entry's own checks report nothing, so no freed token text is read.
TEST_F(NSFParserTest, AFailingEntryBeforeAnUnclosedCommentCountsOnlyTheScannersError)
{
    const std::string kFixture = ReadText(std::string(NSF_FIXTURE_DIR) + "/failing-operator-then-open-comment.nsf");
    ASSERT_EQ(kFixture.size(), 110u);
    const std::string kClosed = kFixture.substr(0, kFixture.find(" /*"));
    const struct
    {
        const char* m_pcName;
        std::string m_kText;
    } akCases[] = {
        {"operator", kFixture},
        {"operator, line comment", "NSFShader A { Implementation I { Pass P { PS_ConstantMap {\n"
                                   "CM_Operator Op 0 1 NoSuch + NoSuch2 INVERSE // closed\n/*"},
    };
    for (const auto& kCase : akCases)
    {
        SCOPED_TRACE(kCase.m_pcName);
        std::string kOut;
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(Parse(kCase.m_kText, &kOut), 1);
        const std::string kErr = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(kOut, "err: EOF in comment!\n*FAILURE! 1 errors found.\n");
        EXPECT_EQ(kErr, "");
        EXPECT_EQ(TakeReports(), std::vector<std::string>{"* PARSE ERROR: " + (m_kRoot / "t.nsf").string() +
                                                          "\n    FAILED - 1 errors found\n"});
        EXPECT_EQ(NSFScannerState::LiveBlocks(), 0u);
        NSFGrammarActions::Reset();
    }
    // Without the comment the entry's checks do report, naming its last token.
    std::string kOut;
    ::testing::internal::CaptureStderr();
    EXPECT_GE(Parse(kClosed + " } } } }", &kOut), 1);
    ::testing::internal::GetCapturedStderr();
    EXPECT_NE(kOut.find("(CM_Operator operand not found\n)"), std::string::npos) << kOut;
    TakeReports();
}

// The rich description and a shader whose operators name operands that are
// not there (each reports twice), cut after each token and ended by a
// comment that never closes: the scanner's failure is one error, and an
// operator counts only when it was reduced before the failure: once a
// token after it was read, or at its last token when that ends the rule
// (TRANSPOSE). The sanitizers watch every report.
TEST_F(NSFParserTest, EveryCutFollowedByAnUnclosedCommentCountsTheScannersErrorOnce)
{
    const std::string kFaulty = "\nNSFShader Faulty\n{\n    Implementation F\n    {\n        VS_ConstantMap\n"
                                "        {\n            CM_Defined WorldViewProj 0 0\n"
                                "            CM_Operator Lost 4 1 NoSuch * WorldViewProj\n"
                                "            CM_Operator Lost2 5 1 WorldViewProj + NoSuch2 INVERSE\n        }\n"
                                "        Pass P { PS_ConstantMap { CM_Operator Lost3 0 1 A - B TRANSPOSE } }\n"
                                "    }\n}\n";
    const std::string kText = ReadText(std::string(NSF_CORPUS_DIR) + "/everything.nsf") + kFaulty;
    // Where each faulty operator is reduced without reading on.
    std::vector<std::size_t> kReducedAt;
    for (const char* pcLast : {"NoSuch * WorldViewProj", "NoSuch2 INVERSE", "A - B TRANSPOSE"})
        kReducedAt.push_back(kText.find(pcLast) + std::strlen(pcLast) + (std::strstr(pcLast, "TRANSPOSE") ? 0 : 1));
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(Parse(kText), 6);
    ::testing::internal::GetCapturedStderr();
    NSFGrammarActions::Reset();
    TakeReports();

    const std::vector<std::size_t> kEnds = TokenEnds(kText);
    ASSERT_GT(kEnds.size(), 500u);
    for (std::size_t uiEnd : kEnds)
    {
        int iExpected = 1;
        for (std::size_t uiFault : kReducedAt)
            iExpected += uiEnd >= uiFault ? 2 : 0;
        std::string kOut;
        ::testing::internal::CaptureStderr();
        const int iErrors = Parse(kText.substr(0, uiEnd) + " /* never closed", &kOut);
        ::testing::internal::GetCapturedStderr();
        ASSERT_EQ(iErrors, iExpected) << uiEnd << ": " << kText.substr(uiEnd > 40 ? uiEnd - 40 : 0, 40);
        ASSERT_NE(kOut.find("err: EOF in comment!\n"), std::string::npos) << uiEnd;
        ASSERT_EQ(NSFScannerState::LiveBlocks(), 0u) << uiEnd;
        NSFGrammarActions::Reset();
        TakeReports();
    }
}
