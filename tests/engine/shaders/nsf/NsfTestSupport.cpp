#include "tests/engine/shaders/nsf/NsfTestSupport.h"

#include "engine/shaders/nsf/NSFGrammarActions.h"
#include "engine/shaders/nsf/NSFParserLib.h"
#include "engine/shaders/nsf/NSFScanner.h"
#include "engine/shaders/nsf/NSFScannerState.h"
#include "engine/shaders/nsf/NSFSourceFile.h"
#include "nsf_grammar.hpp"

#include <fstream>
#include <iterator>
#include <unistd.h>

namespace nsf_test
{
namespace fs = std::filesystem;

void NsfTest::SetUp()
{
    NsbTest::SetUp();
    NSFScannerState::Reset();
    NSFGrammarActions::Reset();
    m_kRoot = fs::temp_directory_path() /
              ("nsf_test_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(m_kRoot);
    fs::create_directories(m_kRoot);
}

void NsfTest::TearDown()
{
    NSFGrammarActions::Reset();
    NSFSourceFile::SetCurrent(nullptr);
    ReleaseScannerBuffer();
    EXPECT_EQ(NSFScannerState::LiveBlocks(), 0u) << "scanner blocks left";
    NSFScannerState::Reset();
    std::error_code kError;
    fs::remove_all(m_kRoot, kError);
    NsbTest::TearDown();
}

std::string NsfTest::Write(const std::string& kName, const std::string& kText)
{
    const fs::path kPath = m_kRoot / kName;
    fs::create_directories(kPath.parent_path());
    std::ofstream kFile(kPath, std::ios::binary);
    kFile << kText;
    return kPath.string();
}

std::vector<Token> NsfTest::Scan(const std::string& kText)
{
    NSFSourceFile kSource;
    EXPECT_EQ(kSource.Load(Write("scan.nsf", kText).c_str()), 0);
    NSFSourceFile::SetCurrent(&kSource);
    ResetScanner();
    ResetLineNumber();
    std::vector<Token> kTokens;
    for (int i = 0; i < 100000; ++i)
    {
        const int iToken = NextToken();
        if (iToken == 0)
            break;
        Token kToken;
        kToken.m_iToken = iToken;
        kToken.m_iLine = GetLineNumber();
        switch (iToken)
        {
        case N_INT: kToken.m_kValue = std::to_string(nsflval.iValue); break;
        case N_FLOAT: kToken.m_kValue = std::to_string(nsflval.fValue); break;
        case N_HEX:
        case N_VERSION: kToken.m_kValue = std::to_string(nsflval.uiValue); break;
        case N_BOOL: kToken.m_kValue = std::to_string(nsflval.bValue); break;
        case N_STRING:
        case N_QUOTE:
        case PATH:
            kToken.m_kValue = nsflval.pcValue;
            NSFGrammarActions::FreeString(nsflval.pcValue);
            break;
        default: break;
        }
        kTokens.push_back(kToken);
    }
    NSFSourceFile::SetCurrent(nullptr);
    return kTokens;
}

int NsfTest::Parse(const std::string& kText, std::string* pkStdout, const std::string& kName)
{
    const std::string kPath = Write(kName, kText);
    ::testing::internal::CaptureStdout();
    const int iResult = ParseNSFFile(kPath.c_str());
    const std::string kOut = ::testing::internal::GetCapturedStdout();
    if (pkStdout != nullptr)
        *pkStdout = kOut;
    return iResult;
}

std::vector<unsigned char> NsfTest::ReadFile(const std::string& kPath)
{
    std::ifstream kFile(kPath, std::ios::binary);
    return {std::istreambuf_iterator<char>(kFile), std::istreambuf_iterator<char>()};
}
} // namespace nsf_test
