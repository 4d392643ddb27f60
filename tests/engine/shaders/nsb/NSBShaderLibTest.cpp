#include "engine/shaders/nsb/NSBShaderLib.h"

#include "engine/shaders/nsb/NSBLoader.h"
#include "engine/shaders/nsb/NiShaderLibraryDesc.h"
#include "tests/engine/shaders/nsb/NsbTestSupport.h"

#include <filesystem>
#include <fstream>

using namespace nsb_test;
namespace fs = std::filesystem;

namespace
{
class NSBShaderLibTest : public NsbTest
{
protected:
    void SetUp() override
    {
        NsbTest::SetUp();
        m_kRoot = fs::temp_directory_path() /
                  ("nsb_lib_" + std::to_string(::getpid()) + "_" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_kRoot);
        fs::create_directories(m_kRoot);
    }
    void TearDown() override
    {
        fs::remove_all(m_kRoot);
        NsbTest::TearDown();
    }
    // A shader of the inner name whose one implementation needs the
    // pixel-shader version.
    void WriteShader(const fs::path& kFile, const char* pcName, std::uint32_t uiPSVersion)
    {
        fs::create_directories(kFile.parent_path());
        NSBShaderPtr spShader = new NSBShader;
        spShader->SetName(pcName);
        NSBImplementation* pkImplementation = spShader->AddImplementation("Only", true, 0);
        pkImplementation->GetRequirements()->SetPSVersion(uiPSVersion);
        pkImplementation->GetRequirements()->SetPlatformFlags(2);
        ASSERT_TRUE(spShader->SaveToFile(kFile.string().c_str()));
    }
    void WriteBytes(const fs::path& kFile, const std::string& kBytes)
    {
        fs::create_directories(kFile.parent_path());
        std::ofstream(kFile, std::ios::binary) << kBytes;
    }
    NSBShaderLibPtr Create(bool bRecurse = true)
    {
        const std::string kDirectory = m_kRoot.string();
        const char* apcDirectories[] = {kDirectory.c_str()};
        return NSBShaderLib::Create(1, apcDirectories, bRecurse);
    }

    fs::path m_kRoot;
};

std::vector<std::string> Names(const NSBShaderLib& kLibrary)
{
    std::vector<std::string> kNames;
    for (std::uint32_t ui = 0; ui < kLibrary.GetShaderCount(); ++ui)
        kNames.emplace_back(kLibrary.GetShaderAt(ui)->GetName());
    return kNames;
}
} // namespace

// Files of any extension case, a subfolder, a refused repeat of an inner
// name, a damaged file, a file skipped for its name and a link back to the
// root: each real folder is walked once.
TEST_F(NSBShaderLibTest, LoadsEveryShaderOfTheTreeByItsInnerName)
{
    WriteShader(m_kRoot / "B.NsB", "Beta", 0xFFFF0200);
    WriteShader(m_kRoot / "a.nsb", "Alpha", 0xFFFF0101);
    WriteBytes(m_kRoot / "bad.nsb", "nsb");
    WriteBytes(m_kRoot / "notes.txt", "not a shader");
    WriteShader(m_kRoot / "sub" / "d1.nsb", "Delta", 0xFFFF0300);
    WriteShader(m_kRoot / "sub" / "d2.nsb", "Delta", 0xFFFF0400);
    // Named like a loaded shader: never opened, whatever it holds.
    WriteBytes(m_kRoot / "sub" / "Alpha.nsb", "garbage");
    fs::create_directory_symlink(m_kRoot, m_kRoot / "sub" / "loop");

    NSBShaderLibPtr spLibrary = Create();
    ASSERT_TRUE(spLibrary);
    EXPECT_STREQ(spLibrary->GetName(), "NSBShaderLib");
    EXPECT_EQ(Names(*spLibrary), (std::vector<std::string>{"Beta", "Alpha", "Delta"}));
    EXPECT_EQ(spLibrary->FindShader("delta"), nullptr);
    ASSERT_NE(spLibrary->FindShader("Delta"), nullptr);
    EXPECT_EQ(spLibrary->FindShader("Delta")->GetMinPixelShaderVersion(), 0xFFFF0300u);

    NiShaderLibraryDesc* pkDesc = spLibrary->GetLibraryDesc();
    ASSERT_NE(pkDesc, nullptr);
    EXPECT_EQ(pkDesc->GetShaderCount(), 3u);
    EXPECT_EQ(pkDesc->GetMinPixelShaderVersion(), 0xFFFF0101u);
    EXPECT_EQ(pkDesc->GetMaxPixelShaderVersion(), 0xFFFF0300u);
    EXPECT_EQ(pkDesc->GetPlatformFlags(), 2u);
    EXPECT_NE(pkDesc->GetShaderDesc("Beta"), nullptr);

    // No renderer shader is built yet; an unknown name gives none either.
    EXPECT_EQ(spLibrary->GetShader(nullptr, "Alpha", 0), nullptr);
    EXPECT_EQ(spLibrary->GetShader(nullptr, "Nothing", 0), nullptr);

    testing::internal::CaptureStderr();
    spLibrary = nullptr;
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Releasing Binary Shaders!\n");
}

TEST_F(NSBShaderLibTest, WithoutRecursionOnlyTheTopFolderCounts)
{
    WriteShader(m_kRoot / "sub" / "deep.nsb", "Deep", 0);
    EXPECT_FALSE(Create(false));
    NSBShaderLibPtr spLibrary = Create(true);
    ASSERT_TRUE(spLibrary);
    EXPECT_EQ(Names(*spLibrary), std::vector<std::string>{"Deep"});
    testing::internal::CaptureStderr();
    spLibrary = nullptr;
    testing::internal::GetCapturedStderr();
}

TEST_F(NSBShaderLibTest, NoShaderMeansNoLibrary)
{
    WriteBytes(m_kRoot / "broken.nsb", std::string(40, '\xFF'));
    EXPECT_FALSE(Create());
    EXPECT_FALSE(NSBShaderLib::Create(0, nullptr, true));
    const char* apcMissing[] = {"/nonexistent/folder/for/shaders"};
    EXPECT_FALSE(NSBShaderLib::Create(1, apcMissing, true));

    NSBShaderPtr spShader = new NSBShader;
    EXPECT_FALSE(spShader->LoadFromFile((m_kRoot / "missing.nsb").string().c_str()));
    EXPECT_FALSE(spShader->SaveToFile((m_kRoot / "no" / "folder.nsb").string().c_str()));
}

TEST_F(NSBShaderLibTest, ProcessFileMatchesTheExtensionIgnoringCase)
{
    std::vector<std::string> kList;
    EXPECT_TRUE(NSBLoader::ProcessFile("models/x.NsB", ".NSB", kList));
    EXPECT_FALSE(NSBLoader::ProcessFile("models/x.nsbx", ".NSB", kList));
    EXPECT_FALSE(NSBLoader::ProcessFile("models.nsb/x", ".NSB", kList));
    EXPECT_FALSE(NSBLoader::ProcessFile("", ".NSB", kList));
    EXPECT_EQ(kList, std::vector<std::string>{"models/x.NsB"});
}

// The library holds one reference on its description: a new one replaces
// it, the same one changes nothing, and the library's end lets it go.
TEST_F(NSBShaderLibTest, LibraryDescriptionIsCountedOnce)
{
    WriteShader(m_kRoot / "a.nsb", "Alpha", 0);
    NSBShaderLibPtr spLibrary = Create();
    ASSERT_TRUE(spLibrary);
    NiShaderLibraryDescPtr spDesc = new NiShaderLibraryDesc;
    spLibrary->SetLibraryDesc(spDesc);
    spLibrary->SetLibraryDesc(spDesc);
    EXPECT_EQ(spDesc->GetRefCount(), 2u);
    EXPECT_EQ(spLibrary->GetLibraryDesc(), spDesc.Get());
    testing::internal::CaptureStderr();
    spLibrary = nullptr;
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(spDesc->GetRefCount(), 1u);
}
