// Every program the demo data carries, as the tools write it, made on the
// gl device and drawn: each must put its geometry on the screen (so it
// writes its position) with no device or GL error.

#include "tools/COrvaneDemoEffect.h"
#include "tools/COrvaneDemoShader.h"

#include "platform/gfx/GfxShaderContainer.h"
#include "platform/gfxutil/GfxUtilConstantTable.h"
#include "platform/gfxutil/GfxUtilEffect.h"
#include "platform/gfxutil/GfxUtilShader.h"
#include "platform/os/OsFiles.h"
#include "tests/platform/gfx/GfxProgramFixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace
{
using namespace gfx;

// Position, normal and one texture coordinate: what the demo programs read.
struct DemoVertex
{
    float x, y, z;
    float nx, ny, nz;
    float u, v;
};
constexpr std::uint32_t kDemoVertexFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;

class COrvaneDemoProgramsTest : public gfxtest::GlProgramTest
{
protected:
    void SetUp() override
    {
        GlProgramTest::SetUp();
        if (Stopped())
            return;
        char acFolder[] = "/tmp/orvane-demo-programs-XXXXXX";
        ASSERT_NE(mkdtemp(acFolder), nullptr);
        m_kFolder = acFolder;
        ASSERT_TRUE(WriteDemoShader(m_kFolder));
        ASSERT_TRUE(WriteDemoHlslShader(m_kFolder));
        ASSERT_TRUE(WriteDemoEffect(m_kFolder));
        // A white texture on the first stage, for programs that sample it.
        m_pkWhite = OneTexel(0xFFFFFFFFu);
        ASSERT_NE(m_pkWhite, nullptr);
        ASSERT_EQ(device->SetTexture(0, m_pkWhite), D3D_OK);
    }
    void TearDown() override
    {
        if (device)
            device->SetTexture(0, nullptr);
        if (m_pkWhite)
            m_pkWhite->Release();
        if (!m_kFolder.empty())
            std::filesystem::remove_all(m_kFolder);
        GlProgramTest::TearDown();
    }
    std::string Read(const char* pcName)
    {
        std::string kText;
        EXPECT_TRUE(os::ReadWholeFile(m_kFolder + "/" + pcName, kText)) << pcName;
        return kText;
    }
    // The full-target quad facing along x, so that every shade is its brightest.
    void DrawDemoQuad()
    {
        const DemoVertex akQuad[4] = {{-1, 1, 0.5f, 1, 0, 0, 0, 0}, {1, 1, 0.5f, 1, 0, 0, 1, 0},
                                      {-1, -1, 0.5f, 1, 0, 0, 0, 1}, {1, -1, 0.5f, 1, 0, 0, 1, 1}};
        ASSERT_EQ(device->SetFVF(kDemoVertexFvf), D3D_OK);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, akQuad, sizeof(DemoVertex)), D3D_OK);
    }
    // The centre pixel is no longer the clear colour: the program put its quad there.
    void ExpectDrawn(const std::string& kWhat)
    {
        EXPECT_NE(At(8, 8) & 0xFFFFFFu, 0u) << kWhat << " drew nothing";
    }

    std::string m_kFolder;
    IDirect3DTexture9* m_pkWhite = nullptr;
};
INSTANTIATE_TEST_SUITE_P(, COrvaneDemoProgramsTest, ::testing::Bool(), gfxtest::GlReadBackParamName);

D3DXMATRIX Identity()
{
    D3DXMATRIX kM{};
    for (int i = 0; i < 4; ++i)
        kM.m[i][i] = 1.f;
    return kM;
}
} // namespace

// The assembly material's two programs, from the files the tools write.
TEST_P(COrvaneDemoProgramsTest, TheAssemblyMaterialDraws)
{
    if (Stopped())
        return;
    IDirect3DVertexShader9* pkVertex = Vertex(Read(DEMO_MATERIAL_VERTEX_FILE));
    IDirect3DPixelShader9* pkPixel = Pixel(Read(DEMO_MATERIAL_PIXEL_FILE));
    ASSERT_TRUE(pkVertex && pkPixel);
    const D3DXMATRIX kIdentity = Identity();
    ASSERT_EQ(device->SetVertexShaderConstantF(0, &kIdentity.m[0][0], 4), D3D_OK);
    SetVsConstant(4, 1, 1, 1, 1);
    ASSERT_EQ(device->SetVertexShader(pkVertex), D3D_OK);
    ASSERT_EQ(device->SetPixelShader(pkPixel), D3D_OK);
    DrawDemoQuad();
    ExpectPixel(8, 8, 255 * DEMO_MATERIAL_WARMTH[0], 255 * DEMO_MATERIAL_WARMTH[1], 255 * DEMO_MATERIAL_WARMTH[2],
                "the warmed white texel");
}

// The high-level material: both entry points of its one file, compiled at
// the targets its pass names.
TEST_P(COrvaneDemoProgramsTest, TheHighLevelMaterialDraws)
{
    if (Stopped())
        return;
    const std::string kPath = m_kFolder + "/" + DEMO_HLSL_PROGRAM_FILE;
    struct Program
    {
        std::vector<std::uint32_t> m_kCode;
        ID3DXConstantTable* m_pkTable = nullptr;
        ~Program()
        {
            if (m_pkTable)
                m_pkTable->Release();
        }
    } kVertex, kPixel;
    auto compile = [&](const char* pcEntry, const char* pcProfile, Program& kOut) {
        ID3DXBuffer* pkCode = nullptr;
        ID3DXBuffer* pkErrors = nullptr;
        const HRESULT hr =
            D3DXCompileShaderFromFile(kPath.c_str(), pcEntry, pcProfile, 0, &pkCode, &pkErrors, &kOut.m_pkTable);
        EXPECT_EQ(hr, D3D_OK) << (pkErrors ? static_cast<const char*>(pkErrors->GetBufferPointer()) : "");
        if (pkErrors)
            pkErrors->Release();
        if (!pkCode)
            return;
        const auto* puiWords = static_cast<const std::uint32_t*>(pkCode->GetBufferPointer());
        kOut.m_kCode.assign(puiWords, puiWords + pkCode->GetBufferSize() / 4);
        pkCode->Release();
    };
    compile("DemoVertex", "vs_2_0", kVertex);
    compile("DemoPixel", "ps_2_0", kPixel);
    ASSERT_FALSE(kVertex.m_kCode.empty());
    ASSERT_FALSE(kPixel.m_kCode.empty());
    ShaderContainer kContainer;
    ASSERT_TRUE(ReadShaderContainer(kVertex.m_kCode.data(), kVertex.m_kCode.size() * 4, kContainer));
    bool bPosition = false;
    for (const ShaderSemantic& kOut : kContainer.outputs)
        bPosition = bPosition || kOut.usage == D3DDECLUSAGE_POSITION;
    EXPECT_TRUE(bPosition);

    IDirect3DVertexShader9* pkVertex = nullptr;
    IDirect3DPixelShader9* pkPixel = nullptr;
    ASSERT_EQ(device->CreateVertexShader(kVertex.m_kCode.data(), std::uint32_t(kVertex.m_kCode.size() * 4), &pkVertex),
              D3D_OK);
    m_vertexShaders.push_back(pkVertex);
    ASSERT_EQ(device->CreatePixelShader(kPixel.m_kCode.data(), std::uint32_t(kPixel.m_kCode.size() * 4), &pkPixel),
              D3D_OK);
    m_pixelShaders.push_back(pkPixel);
    const D3DXMATRIX kIdentity = Identity();
    ASSERT_EQ(kVertex.m_pkTable->SetMatrix(device, "WorldViewProj", &kIdentity), D3D_OK);
    const D3DXVECTOR4 kGlow{DEMO_HLSL_GLOW[0], DEMO_HLSL_GLOW[1], DEMO_HLSL_GLOW[2], 1.f};
    ASSERT_EQ(kPixel.m_pkTable->SetVector(device, "Glow", &kGlow), D3D_OK);
    ASSERT_EQ(device->SetVertexShader(pkVertex), D3D_OK);
    ASSERT_EQ(device->SetPixelShader(pkPixel), D3D_OK);
    DrawDemoQuad();
    ExpectPixel(8, 8, 255 * DEMO_HLSL_GLOW[0], 255 * DEMO_HLSL_GLOW[1], 255 * DEMO_HLSL_GLOW[2], "the glow");
}

// The effect file: every pass of every technique drawn through the effect.
TEST_P(COrvaneDemoProgramsTest, EveryPassOfTheEffectDraws)
{
    if (Stopped())
        return;
    ID3DXEffect* pkEffect = nullptr;
    ID3DXBuffer* pkErrors = nullptr;
    const std::string kPath = m_kFolder + "/" + DEMO_EFFECT_FILE;
    ASSERT_EQ(D3DXCreateEffectFromFileA(device, kPath.c_str(), nullptr, nullptr, 0, nullptr, &pkEffect, &pkErrors),
              D3D_OK)
        << (pkErrors ? static_cast<const char*>(pkErrors->GetBufferPointer()) : "");
    if (pkErrors)
        pkErrors->Release();
    const D3DXMATRIX kIdentity = Identity();
    ASSERT_EQ(pkEffect->SetMatrix(pkEffect->GetParameterByName(nullptr, "WorldViewProj"), &kIdentity), D3D_OK);
    for (const char* pcTechnique : {DEMO_EFFECT_NAME, DEMO_PROGRAM_EFFECT_NAME})
    {
        D3DXHANDLE hTechnique = pkEffect->GetTechniqueByName(pcTechnique);
        ASSERT_NE(hTechnique, nullptr) << pcTechnique;
        ASSERT_EQ(pkEffect->SetTechnique(hTechnique), D3D_OK);
        std::uint32_t uiPasses = 0;
        ASSERT_EQ(pkEffect->Begin(&uiPasses, 0), D3D_OK);
        EXPECT_GT(uiPasses, 0u);
        for (std::uint32_t uiPass = 0; uiPass < uiPasses; ++uiPass)
        {
            Clear();
            ASSERT_EQ(pkEffect->BeginPass(uiPass), D3D_OK);
            DrawDemoQuad();
            EXPECT_EQ(pkEffect->EndPass(), D3D_OK);
            ExpectDrawn(std::string(pcTechnique) + " pass " + std::to_string(uiPass));
        }
        EXPECT_EQ(pkEffect->End(), D3D_OK);
    }
    pkEffect->Release();
}
