#include "engine/shaders/nsb/NSBShader.h"
#include "engine/shaders/nsf/NSFGrammarActions.h"
#include "engine/shaders/nsf/NSFParserLib.h"

#include "tests/engine/shaders/nsf/NsfTestSupport.h"

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
