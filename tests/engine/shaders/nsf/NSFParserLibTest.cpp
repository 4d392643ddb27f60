#include "engine/shaders/nsb/NSBShader.h"
#include "engine/shaders/nsf/NSFParserLib.h"
#include "engine/shaders/nsf/NSFScannerState.h"

#include "tests/engine/shaders/nsf/NsfTestSupport.h"

#include <algorithm>

using namespace nsf_test;

using NSFParserLibTest = NsfTest;

namespace fs = std::filesystem;

namespace
{
std::vector<std::string> FilesUnder(const fs::path& kRoot, const std::string& kExtension)
{
    std::vector<std::string> kFiles;
    for (const auto& kEntry : fs::recursive_directory_iterator(kRoot))
    {
        if (kEntry.is_regular_file() && kEntry.path().extension() == kExtension)
            kFiles.push_back(fs::relative(kEntry.path(), kRoot).generic_string());
    }
    std::sort(kFiles.begin(), kFiles.end());
    return kFiles;
}
} // namespace

// Descriptions in any case of the extension, in subfolders only when
// recursing; each shader stored under its own name beside its source.
TEST_F(NSFParserLibTest, CompilesEveryDescriptionOfTheTreeBesideItsSource)
{
    Write("two.nsf", "NSFShader Foo { }\nNSFShader Bar { }");
    Write("sub/deeper/one.NSF", "NSFShader Deep { }");
    Write("sub/notes.txt", "NSFShader Ignored { }");
    Write("sub/bad.Nsf", "NSFShader Broken {");
    const std::string kRoot = m_kRoot.string();

    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(RunNSFParserEntry(kRoot.c_str(), false), 2);
    EXPECT_EQ(FilesUnder(m_kRoot, ".NSB"), (std::vector<std::string>{"Bar.NSB", "Foo.NSB"}));
    for (const char* pcSuffix : {"", "/", "\\"})
    {
        SCOPED_TRACE(pcSuffix);
        fs::remove(m_kRoot / "Bar.NSB");
        EXPECT_EQ(RunNSFParserEntry((kRoot + pcSuffix).c_str(), true), 3);
        EXPECT_EQ(FilesUnder(m_kRoot, ".NSB"),
                  (std::vector<std::string>{"Bar.NSB", "Foo.NSB", "sub/deeper/Deep.NSB"}));
    }
    const std::string kOut = ::testing::internal::GetCapturedStdout();
    ::testing::internal::GetCapturedStderr();
    EXPECT_NE(kOut.find("*FAILURE! 1 errors found.\n"), std::string::npos);
    EXPECT_EQ(NSFParserLib::GetInstance(), nullptr);

    NSBShader kLoaded;
    ASSERT_TRUE(kLoaded.LoadFromFile((m_kRoot / "sub/deeper/Deep.NSB").string().c_str()));
    EXPECT_STREQ(kLoaded.GetName(), "Deep");
    EXPECT_EQ(RunNSFParserEntry("", true), 0);
    EXPECT_EQ(RunNSFParserEntry((kRoot + "/none").c_str(), true), 0);
}

// A damaged file fails alone, before a good one: its text, one error, no
// file; the scanner is rebuilt for the next file and nothing is leaked.
TEST_F(NSFParserLibTest, ADamagedFileFailsAloneAndTheNextIsWritten)
{
    const std::string kGood = "NSFShader Good { Attributes { Attrib_Bool b Artist TRUE } }";
    std::string kLongQuote = "NSFShader Long { \"" + std::string(20000, 'q') + "\" }";
    const struct
    {
        const char* m_pcName;
        std::string m_kText;
        int m_iFailAllocation;
        int m_iFailReallocation;
        std::string m_kStdout;
        std::string m_kStderr;
    } akCases[] = {
        {"comment", "NSFShader A { /* never closed", 0, 0, "err: EOF in comment!\n", ""},
        {"structure", "NSFShader A { }", 2, 0, "", "out of dynamic memory in yy_create_buffer()\n"},
        {"array", "NSFShader A { }", 3, 0, "", "out of dynamic memory in yy_create_buffer()\n"},
        {"overflow", kLongQuote, 0, 1, "", "fatal error - scanner input buffer overflow\n"},
    };
    for (const auto& kCase : akCases)
    {
        SCOPED_TRACE(kCase.m_pcName);
        fs::remove_all(m_kRoot);
        Write("a.nsf", kCase.m_kText);
        Write("b.nsf", kGood);
        NSFScannerState::FailAllocation(kCase.m_iFailAllocation);
        NSFScannerState::FailReallocation(kCase.m_iFailReallocation);
        ::testing::internal::CaptureStdout();
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(RunNSFParserEntry(m_kRoot.string().c_str(), false), 1);
        const std::string kOut = ::testing::internal::GetCapturedStdout();
        const std::string kErr = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(kOut, kCase.m_kStdout + "*FAILURE! 1 errors found.\n");
        EXPECT_EQ(kErr, kCase.m_kStderr);
        EXPECT_EQ(FilesUnder(m_kRoot, ".NSB"), std::vector<std::string>{"Good.NSB"});
        EXPECT_EQ(TakeReports(), std::vector<std::string>{"* PARSE ERROR: " + m_kRoot.string() + "\\a.nsf" +
                                                          "\n    FAILED - 1 errors found\n"});
        EXPECT_EQ(NSFScannerState::LiveBlocks(), 0u);
    }
}
