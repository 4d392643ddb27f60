#pragma once
// Description parser tests: the binary shader fixture (factory, reports,
// live objects) plus the parser's process-wide state reset around each
// test, a temporary folder for description files, and a token lister.

#include "tests/engine/shaders/nsb/NsbTestSupport.h"

#include <filesystem>
#include <string>
#include <vector>

namespace nsf_test
{
struct Token
{
    int m_iToken = 0;
    std::string m_kValue; // text, number or bits as text; "" for keywords
    int m_iLine = 0;
};

class NsfTest : public nsb_test::NsbTest
{
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes a file under the temporary folder; its full path.
    std::string Write(const std::string& kName, const std::string& kText);
    // Every token of a text up to the end of input.
    std::vector<Token> Scan(const std::string& kText);
    // Parses a text written to a file; the result of ParseNSFFile, with
    // what it printed on stdout.
    int Parse(const std::string& kText, std::string* pkStdout = nullptr, const std::string& kName = "t.nsf");
    [[nodiscard]] static std::vector<unsigned char> ReadFile(const std::string& kPath);

    std::filesystem::path m_kRoot;
};
} // namespace nsf_test
