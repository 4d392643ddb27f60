// Every program the demo data carries, held to a GLSL compiler without a
// driver: the GLSL the device makes of each (its stage as compiled when the
// program is made, and beside the fixed-function pipeline) goes through
// glslang as GLSL 3.30 core. A failure names the program and gives the log,
// so a build with no OpenGL still sees a program no driver would run.

#include "tools/COrvaneDemoEffect.h"
#include "tools/COrvaneDemoShader.h"

#include "platform/gfx/Gfx.h"
#include "platform/gfx/GfxShaderContainer.h"
#include "platform/gfx/GfxShaderTranslator.h"
#include "platform/gfxutil/GfxUtilEffect.h"
#include "platform/gfxutil/GfxUtilShader.h"
#include "platform/os/OsFiles.h"
#include "tests/platform/gfx/GfxGlslCheck.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace
{
using namespace gfx;

class COrvaneDemoGlslTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char acFolder[] = "/tmp/orvane-demo-glsl-XXXXXX";
        ASSERT_NE(mkdtemp(acFolder), nullptr);
        m_kFolder = acFolder;
        ASSERT_TRUE(WriteDemoShader(m_kFolder));
        ASSERT_TRUE(WriteDemoHlslShader(m_kFolder));
        ASSERT_TRUE(WriteDemoEffect(m_kFolder));
    }
    void TearDown() override
    {
        if (!m_kFolder.empty())
            std::filesystem::remove_all(m_kFolder);
    }
    std::string Read(const char* pcName)
    {
        std::string kText;
        EXPECT_TRUE(os::ReadWholeFile(m_kFolder + "/" + pcName, kText)) << pcName;
        return kText;
    }
    // The program's GLSL through glslang.
    static void ExpectAccepted(const std::string& kName, const TranslatedShader& kProgram)
    {
        std::string kLog;
        EXPECT_TRUE(gfxtest::GlslangAcceptsProgram(kProgram, kLog)) << kName << ": " << kLog;
    }

    std::string m_kFolder;
};

// The assembly material's two program files.
TEST_F(COrvaneDemoGlslTest, TheAssemblyProgramsCompile)
{
    for (const char* pcFile : {DEMO_MATERIAL_VERTEX_FILE, DEMO_MATERIAL_PIXEL_FILE})
    {
        const std::string kText = Read(pcFile);
        ID3DXBuffer* pkCode = nullptr;
        ASSERT_EQ(D3DXAssembleShader(kText.data(), std::uint32_t(kText.size()), 0, &pkCode, nullptr), D3D_OK)
            << pcFile;
        const auto* puiWords = static_cast<const std::uint32_t*>(pkCode->GetBufferPointer());
        TranslatedShader kProgram;
        std::string kError;
        EXPECT_TRUE(TranslateShader(puiWords, pkCode->GetBufferSize() / 4, kProgram, kError)) << pcFile << ": " << kError;
        pkCode->Release();
        ExpectAccepted(pcFile, kProgram);
    }
}

// Both entry points of the high-level material, at the targets its pass names.
TEST_F(COrvaneDemoGlslTest, TheHighLevelProgramsCompile)
{
    const std::string kPath = m_kFolder + "/" + DEMO_HLSL_PROGRAM_FILE;
    for (const auto& [pcEntry, pcProfile] : {std::pair{"DemoVertex", "vs_2_0"}, std::pair{"DemoPixel", "ps_2_0"}})
    {
        const std::string kName = std::string(DEMO_HLSL_PROGRAM_FILE) + " " + pcEntry;
        ID3DXBuffer* pkCode = nullptr;
        ID3DXBuffer* pkErrors = nullptr;
        const HRESULT hr = D3DXCompileShaderFromFile(kPath.c_str(), pcEntry, pcProfile, 0, &pkCode, &pkErrors, nullptr);
        EXPECT_EQ(hr, D3D_OK) << kName << ": "
                              << (pkErrors ? static_cast<const char*>(pkErrors->GetBufferPointer()) : "");
        if (pkErrors)
            pkErrors->Release();
        ASSERT_NE(pkCode, nullptr) << kName;
        ShaderContainer kContainer;
        const bool bRead = ReadShaderContainer(pkCode->GetBufferPointer(), pkCode->GetBufferSize(), kContainer);
        pkCode->Release();
        ASSERT_TRUE(bRead) << kName;
        TranslatedShader kProgram;
        std::string kError;
        ASSERT_TRUE(TranslateShaderContainer(kContainer, kProgram, kError)) << kName << ": " << kError;
        ExpectAccepted(kName, kProgram);
    }
}

// The effect file's programs, made as the effect is created on a null
// device: its check (glslang in these tests) refuses any it cannot compile,
// and the effect with it.
int g_iEffectPrograms = 0;

TEST_F(COrvaneDemoGlslTest, TheEffectProgramsCompile)
{
    // glslang, counting the programs it is given.
    g_iEffectPrograms = 0;
    SetNullProgramCheckForTests([](const TranslatedShader& kProgram, std::string& kFailure) {
        ++g_iEffectPrograms;
        return gfxtest::GlslangAcceptsProgram(kProgram, kFailure);
    });
    IDirect3D9* pkD3D = Direct3DCreate9(D3D_SDK_VERSION, BackendKind::Null);
    ASSERT_NE(pkD3D, nullptr);
    D3DPRESENT_PARAMETERS kParams;
    kParams.BackBufferWidth = 16;
    kParams.BackBufferHeight = 16;
    kParams.BackBufferFormat = D3DFMT_X8R8G8B8;
    kParams.BackBufferCount = 1;
    kParams.SwapEffect = D3DSWAPEFFECT_DISCARD;
    kParams.Windowed = 1;
    IDirect3DDevice9* pkDevice = nullptr;
    ASSERT_EQ(pkD3D->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &kParams, &pkDevice),
              D3D_OK);
    ID3DXEffect* pkEffect = nullptr;
    ID3DXBuffer* pkErrors = nullptr;
    const std::string kPath = m_kFolder + "/" + DEMO_EFFECT_FILE;
    ::testing::internal::CaptureStderr();
    const HRESULT hr =
        D3DXCreateEffectFromFileA(pkDevice, kPath.c_str(), nullptr, nullptr, 0, nullptr, &pkEffect, &pkErrors);
    const std::string kSaid = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(hr, D3D_OK) << DEMO_EFFECT_FILE << ": " << kSaid
                          << (pkErrors ? static_cast<const char*>(pkErrors->GetBufferPointer()) : "");
    EXPECT_EQ(kSaid.find("cannot be run"), std::string::npos) << kSaid;
    gfxtest::UseGlslangOnNullDevices();
    // The signal post's vertex and pixel programs.
    EXPECT_GE(g_iEffectPrograms, 2);
    if (pkErrors)
        pkErrors->Release();
    if (pkEffect)
        pkEffect->Release();
    EXPECT_EQ(pkDevice->Release(), 0u);
    EXPECT_EQ(pkD3D->Release(), 0u);
}
} // namespace
