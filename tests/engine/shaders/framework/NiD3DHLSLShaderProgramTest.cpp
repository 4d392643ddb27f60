#include "engine/shaders/framework/NiD3DHLSLShaderProgram.h"
#include "engine/shaders/framework/NiD3DShaderConstantMapEntry.h"
#include "engine/shaders/framework/NiD3DShaderProgramCreator.h"
#include "engine/shaders/framework/NiD3DShaderProgramFactory.h"
#include "engine/shaders/framework/NiD3DUtility.h"
#include "platform/gfx/GfxShaderContainer.h"
#include "platform/gfxutil/GfxUtilConstantTable.h"
#include "platform/gfxutil/GfxUtilShader.h"
#include "tests/engine/shaders/framework/ShaderTestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

using namespace shader_test;

namespace
{
using Entry = NiD3DShaderConstantMapEntry;

// Every kind of value a constant map hands over, used so that the compiler
// keeps them all.
const char kVertexSource[] = R"(
float4x4 Xform;
float4 Tint;
float2 Offset;
float Scale;
int Count;
bool Flag;
float4x3 Bones[4];
float4x4 Pair[2];
float4 Unused;
float4 main(float4 p : POSITION, float4 i : BLENDINDICES) : POSITION {
    float4 o = mul(p, Xform) * Tint + float4(Offset, Scale, Count);
    o.xyz += mul(p, Bones[(int)i.x]) + mul(p, Pair[(int)i.y]).xyz;
    return Flag ? o : -o;
}
)";

const char kPixelSource[] = R"(
float4 Colour;
float4x4 Grade[2];
float4 Shade(float4 c : COLOR0) : COLOR { return mul(c * Colour, Grade[(int)c.w]); }
)";

class NiD3DHLSLShaderProgramTest : public ShaderTest
{
protected:
    void SetUp() override
    {
        ShaderTest::SetUp();
        m_kFolder = MakeTempFolder("hlsl-programs");
        ASSERT_FALSE(m_kFolder.empty());
        s_kLog.clear();
        NiD3DUtility::SetLogHook(+[](const char* pcText) { s_kLog.emplace_back(pcText); });
        CreateRenderer();
        m_pkFactory = NiD3DShaderProgramFactory::GetInstance();
        ASSERT_NE(m_pkFactory, nullptr);
        m_pkFactory->AddProgramDirectory(m_kFolder.c_str());
        m_pkDevice = m_spRenderer->GetD3DDevice();
    }
    void TearDown() override
    {
        NiD3DUtility::SetLogHook(nullptr);
        ShaderTest::TearDown();
        std::filesystem::remove_all(m_kFolder);
    }
    void Write(const std::string& kName, const char* pcText)
    {
        WriteFile(m_kFolder + "/" + kName, pcText, std::strlen(pcText));
    }
    // The first register a constant of the program's table takes.
    static std::uint32_t RegisterOf(gfx::ID3DXConstantTable* pkTable, const char* pcName)
    {
        gfx::D3DXCONSTANT_DESC kDesc;
        std::uint32_t uiCount = 1;
        EXPECT_EQ(pkTable->GetConstantDesc(pcName, &kDesc, &uiCount), gfx::D3D_OK) << pcName;
        return kDesc.RegisterIndex;
    }
    std::array<float, 4> Vertex(std::uint32_t uiRegister) const
    {
        std::array<float, 4> af{};
        EXPECT_EQ(m_pkDevice->GetVertexShaderConstantF(uiRegister, af.data(), 1), gfx::D3D_OK);
        return af;
    }
    std::array<float, 4> Pixel(std::uint32_t uiRegister) const
    {
        std::array<float, 4> af{};
        EXPECT_EQ(m_pkDevice->GetPixelShaderConstantF(uiRegister, af.data(), 1), gfx::D3D_OK);
        return af;
    }
    static NiD3DShaderConstantMapEntryPtr MakeEntry(const char* pcKey, const char* pcVariable, std::uint32_t uiType,
                                                    std::uint32_t uiKind = Entry::SCME_MAP_CONSTANT)
    {
        NiD3DShaderConstantMapEntryPtr spEntry = new Entry;
        spEntry->SetKey(pcKey);
        spEntry->SetVariableName(pcVariable);
        spEntry->SetFlags(uiKind | uiType);
        return spEntry;
    }

    std::string m_kFolder;
    NiD3DShaderProgramFactory* m_pkFactory = nullptr;
    gfx::IDirect3DDevice9* m_pkDevice = nullptr;
    static std::vector<std::string> s_kLog;
};
std::vector<std::string> NiD3DHLSLShaderProgramTest::s_kLog;

gfx::D3DXMATRIX Counting(float fStart)
{
    gfx::D3DXMATRIX k;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            k.m[r][c] = fStart + float(r * 4 + c);
    return k;
}
} // namespace

// The "hlsl" creator compiles from a file and from memory; a program made
// without entry point and target uses "main" and the device's best profile.
TEST_F(NiD3DHLSLShaderProgramTest, ProgramsAreCompiledFromFilesAndBuffers)
{
    Write("Tint.HLSL", kVertexSource);
    NiD3DShaderProgramCreator* pkCreator = NiD3DShaderProgramFactory::GetCreator("tint.hlsl");
    ASSERT_NE(pkCreator, nullptr);
    NiD3DVertexShader* pkVertex =
        m_pkFactory->CreateVertexShaderFromFile("tint.hlsl", "tint", nullptr, nullptr, nullptr, 3, true);
    ASSERT_NE(pkVertex, nullptr) << TakeFirstErrorText();
    auto* pkHLSL = dynamic_cast<NiD3DHLSLVertexShader*>(pkVertex);
    ASSERT_NE(pkHLSL, nullptr);
    EXPECT_STREQ(pkHLSL->GetEntryPoint(), "main");
    EXPECT_STREQ(pkHLSL->GetShaderTarget(), gfx::D3DXGetVertexShaderProfile(m_pkDevice));
    EXPECT_STREQ(pkHLSL->GetFilename(), "tint.hlsl");
    EXPECT_EQ(pkHLSL->GetCreator(), pkCreator);
    EXPECT_EQ(pkHLSL->GetUsage(), 3u);
    EXPECT_TRUE(pkHLSL->GetSoftwareVertexProcessing());
    EXPECT_NE(pkHLSL->GetVertexShader(), nullptr);
    ASSERT_NE(pkHLSL->GetConstantTable(), nullptr);
    // The code is the device's compiled-program block, whole.
    ASSERT_GE(pkHLSL->GetCodeSize(), 16u);
    const auto* puiCode = static_cast<const std::uint32_t*>(pkHLSL->GetCode());
    EXPECT_TRUE(gfx::IsShaderContainer(puiCode));
    EXPECT_EQ(gfx::ShaderContainerSize(puiCode), pkHLSL->GetCodeSize());
    EXPECT_EQ(m_pkFactory->GetVertexShader("tint"), pkVertex);

    // From memory, with its own entry point and target: no file name.
    NiD3DPixelShaderPtr spPixel = pkCreator->CreatePixelShaderFromBuffer(
        kPixelSource, static_cast<std::uint32_t>(std::strlen(kPixelSource)), "shade", "Shade", "ps_2_0");
    ASSERT_NE(spPixel, nullptr);
    auto* pkPixel = dynamic_cast<NiD3DHLSLPixelShader*>(static_cast<NiD3DPixelShader*>(spPixel));
    ASSERT_NE(pkPixel, nullptr);
    EXPECT_STREQ(pkPixel->GetEntryPoint(), "Shade");
    EXPECT_STREQ(pkPixel->GetShaderTarget(), "ps_2_0");
    EXPECT_EQ(pkPixel->GetFilename(), nullptr);
    EXPECT_STREQ(pkPixel->GetName(), "shade");
    EXPECT_NE(pkPixel->GetPixelShader(), nullptr);
    EXPECT_NE(pkPixel->GetConstantTable(), nullptr);
    NiD3DVertexShaderPtr spFromMemory = pkCreator->CreateVertexShaderFromBuffer(
        kVertexSource, static_cast<std::uint32_t>(std::strlen(kVertexSource)), "memory", nullptr, "vs_2_0", nullptr,
        0, false);
    ASSERT_NE(spFromMemory, nullptr);
    EXPECT_EQ(spFromMemory->GetFilename(), nullptr);
    EXPECT_TRUE(TakeErrorTexts().empty());
}

TEST_F(NiD3DHLSLShaderProgramTest, FailuresAreReportedAndMakeNothing)
{
    Write("bad.hlsl", "float4 main() : POSITION\n{\n    return missing;\n}\n");
    NiD3DShaderProgramCreator* pkCreator = NiD3DShaderProgramFactory::GetCreator("hlsl");
    ASSERT_NE(pkCreator, nullptr);
    EXPECT_EQ(m_pkFactory->CreateVertexShaderFromFile("bad.hlsl", "bad", nullptr, "vs_2_0", nullptr, 0, false),
              nullptr);
    const char acBad[] = "float4 Shade() : COLOR { return nothing; }";
    EXPECT_EQ(pkCreator->CreatePixelShaderFromBuffer(acBad, sizeof(acBad) - 1, "bad", "Shade", "ps_2_0"), nullptr);
    EXPECT_EQ(pkCreator->CreatePixelShaderFromBuffer(nullptr, 10, "bad", "Shade", "ps_2_0"), nullptr);
    EXPECT_EQ(pkCreator->CreateVertexShaderFromBuffer(acBad, 0, "bad", nullptr, nullptr, nullptr, 0, false), nullptr);
    EXPECT_EQ(pkCreator->CreatePixelShaderFromFile("", "bad", nullptr, nullptr), nullptr);
    EXPECT_EQ(pkCreator->CreatePixelShaderFromFile("none.hlsl", "none", nullptr, nullptr), nullptr);
    // A pixel entry point compiled for a vertex profile is the compiler's refusal too.
    EXPECT_EQ(pkCreator->CreateVertexShaderFromBuffer(acBad, sizeof(acBad) - 1, "bad", "Missing", "vs_2_0", nullptr,
                                                      0, false),
              nullptr);
    std::vector<std::string> kTexts = TakeErrorTexts();
    ASSERT_GE(kTexts.size(), 7u);
    // The compiler's messages name the file and line.
    EXPECT_EQ(kTexts[0].rfind("Failed to compile shader main in file bad.hlsl\nError: ", 0), 0u) << kTexts[0];
    EXPECT_NE(kTexts[0].find("bad.hlsl(3,"), std::string::npos) << kTexts[0];
    EXPECT_EQ(kTexts[1].rfind("Failed to assemble shader Shade from memory\nError: ", 0), 0u) << kTexts[1];
    EXPECT_NE(kTexts[1].find("nothing"), std::string::npos) << kTexts[1];
    EXPECT_EQ(kTexts[2], "Invalid shader buffer\n");
    EXPECT_EQ(kTexts[3], "Invalid shader buffer\n");
    EXPECT_EQ(kTexts[4], "Invalid shader file name\n");
    EXPECT_EQ(kTexts.back().rfind("Failed to assemble shader Missing from memory\nError: ", 0), 0u) << kTexts.back();
    EXPECT_NE(std::find(kTexts.begin(), kTexts.end(), "Failed to find shader program file none.hlsl\n"),
              kTexts.end());
    EXPECT_EQ(m_pkFactory->GetVertexShaderCount(), 0u);
}

// Each value type reaches its variable through the table as the published
// setters write it: a column-major matrix a column a register.
TEST_F(NiD3DHLSLShaderProgramTest, ConstantsAreSetByVariableNameForEveryType)
{
    Write("all.hlsl", kVertexSource);
    NiD3DVertexShader* pkProgram =
        m_pkFactory->CreateVertexShaderFromFile("all.hlsl", "all", nullptr, "vs_3_0", nullptr, 0, false);
    ASSERT_NE(pkProgram, nullptr) << TakeFirstErrorText();
    auto* pkHLSL = static_cast<NiD3DHLSLVertexShader*>(pkProgram);
    gfx::ID3DXConstantTable* pkTable = pkHLSL->GetConstantTable();
    ASSERT_NE(pkTable, nullptr);

    const gfx::D3DXMATRIX kXform = Counting(1.0f);
    NiD3DShaderConstantMapEntryPtr spXform = MakeEntry("WorldViewProj", "Xform", Entry::SCME_TYPE_MATRIX4);
    ASSERT_TRUE(pkProgram->SetVertexShaderConstant(spXform, &kXform, 0, 4));
    const std::uint32_t uiXform = RegisterOf(pkTable, "Xform");
    for (std::uint32_t c = 0; c < 4; ++c)
    {
        const std::array<float, 4> af = Vertex(uiXform + c);
        for (std::uint32_t r = 0; r < 4; ++r)
            EXPECT_EQ(af[r], kXform.m[r][c]) << r << " " << c;
    }

    // The key names the variable when the entry has no variable name.
    const float afTint[4] = {0.25f, 0.5f, 0.75f, 1.0f};
    ASSERT_TRUE(pkProgram->SetVertexShaderConstant(MakeEntry("Tint", nullptr, Entry::SCME_TYPE_COLOR), afTint, 0, 1));
    EXPECT_EQ(Vertex(RegisterOf(pkTable, "Tint")), (std::array<float, 4>{0.25f, 0.5f, 0.75f, 1.0f}));
    const float afOffset[4] = {3.0f, 4.0f, 9.0f, 9.0f};
    ASSERT_TRUE(
        pkProgram->SetVertexShaderConstant(MakeEntry("o", "Offset", Entry::SCME_TYPE_POINT2), afOffset, 0, 1));
    const std::array<float, 4> afOffsetSet = Vertex(RegisterOf(pkTable, "Offset"));
    EXPECT_EQ(afOffsetSet[0], 3.0f);
    EXPECT_EQ(afOffsetSet[1], 4.0f);
    // The entry's own data when no values are given.
    NiD3DShaderConstantMapEntryPtr spScale = MakeEntry("s", "Scale", Entry::SCME_TYPE_FLOAT);
    const float fScale = 2.5f;
    spScale->SetData(sizeof(fScale), sizeof(fScale), &fScale, true);
    ASSERT_TRUE(pkProgram->SetVertexShaderConstant(spScale));
    EXPECT_EQ(Vertex(RegisterOf(pkTable, "Scale"))[0], 2.5f);
    const std::uint32_t auiCount[4] = {7, 7, 7, 7};
    ASSERT_TRUE(
        pkProgram->SetVertexShaderConstant(MakeEntry("n", "Count", Entry::SCME_TYPE_UNSIGNEDINT), auiCount, 0, 1));
    EXPECT_EQ(Vertex(RegisterOf(pkTable, "Count"))[0], 7.0f);
    const std::int32_t iFlag = 1;
    ASSERT_TRUE(pkProgram->SetVertexShaderConstant(MakeEntry("f", "Flag", Entry::SCME_TYPE_BOOL), &iFlag, 0, 1));
    EXPECT_EQ(Vertex(RegisterOf(pkTable, "Flag"))[0], 1.0f);

    // A variable the code does not have, or a type no setter takes: false,
    // the device untouched.
    const std::array<float, 4> kBefore = Vertex(uiXform);
    EXPECT_FALSE(pkProgram->SetVertexShaderConstant(MakeEntry("x", "Nope", Entry::SCME_TYPE_POINT4), afTint, 0, 1));
    ASSERT_EQ(s_kLog.size(), 1u);
    EXPECT_EQ(s_kLog[0], "NiD3DHLSLVertexShader::SetVertexShaderConstant - all - variable Nope not found\n");
    EXPECT_FALSE(pkProgram->SetVertexShaderConstant(MakeEntry("t", "Xform", Entry::SCME_TYPE_TEXTURE), afTint, 0, 1));
    EXPECT_FALSE(pkProgram->SetVertexShaderConstant(MakeEntry("t", "Xform", Entry::SCME_TYPE_MATRIX4), nullptr, 0, 0));
    EXPECT_EQ(Vertex(uiXform), kBefore);
    // A pixel operation on a vertex program takes nothing.
    EXPECT_FALSE(pkProgram->SetPixelShaderConstant(MakeEntry("Tint", nullptr, Entry::SCME_TYPE_POINT4), afTint, 0, 1));

    // Without its table (a lost device) nothing is set.
    pkHLSL->DestroyRendererData();
    EXPECT_EQ(pkHLSL->GetConstantTable(), nullptr);
    EXPECT_FALSE(pkProgram->SetVertexShaderConstant(spXform, &kXform, 0, 4));
}

// Bone palettes go element by element from the palette's index list,
// transposed back, so by name they land where the register path puts them;
// other matrix arrays go as they are.
TEST_F(NiD3DHLSLShaderProgramTest, ArraysAndBonePalettesAreSetByName)
{
    Write("all.hlsl", kVertexSource);
    NiD3DVertexShader* pkProgram =
        m_pkFactory->CreateVertexShaderFromFile("all.hlsl", "all", nullptr, "vs_3_0", nullptr, 0, false);
    ASSERT_NE(pkProgram, nullptr);
    gfx::ID3DXConstantTable* pkTable = static_cast<NiD3DHLSLVertexShader*>(pkProgram)->GetConstantTable();
    ASSERT_NE(pkTable, nullptr);

    // Four bones of three registers each, packed; the partition uses bones 3 and 1.
    std::vector<float> kPalette(4 * 12);
    for (std::size_t i = 0; i < kPalette.size(); ++i)
        kPalette[i] = float(i) + 0.5f;
    NiD3DShaderConstantMapEntryPtr spBones =
        MakeEntry("BoneMatrix3", "Bones", Entry::SCME_TYPE_MATRIX3, Entry::SCME_MAP_DEFINED);
    spBones->SetInternal(33);
    const std::uint16_t ausIndices[2] = {3, 1};
    ASSERT_TRUE(pkProgram->SetVertexShaderConstantArray(spBones, kPalette.data(), 2, 3, ausIndices));
    const std::uint32_t uiBones = RegisterOf(pkTable, "Bones");
    for (std::uint32_t i = 0; i < 2; ++i)
        for (std::uint32_t k = 0; k < 3; ++k)
        {
            SCOPED_TRACE(std::to_string(i) + " " + std::to_string(k));
            const std::array<float, 4> af = Vertex(uiBones + i * 3 + k);
            for (std::uint32_t j = 0; j < 4; ++j)
                EXPECT_EQ(af[j], kPalette[ausIndices[i] * 12 + k * 4 + j]);
        }
    // An index past the variable's elements fails.
    const std::uint16_t ausTooMany[5] = {0, 1, 2, 3, 0};
    EXPECT_FALSE(pkProgram->SetVertexShaderConstantArray(spBones, kPalette.data(), 5, 3, ausTooMany));

    // A plain matrix array: whole matrices, set as they are.
    const gfx::D3DXMATRIX akPair[2] = {Counting(100.0f), Counting(200.0f)};
    NiD3DShaderConstantMapEntryPtr spPair = MakeEntry("p", "Pair", Entry::SCME_TYPE_MATRIX4);
    ASSERT_TRUE(pkProgram->SetVertexShaderConstantArray(spPair, akPair, 2, 4, nullptr));
    const std::uint32_t uiPair = RegisterOf(pkTable, "Pair");
    for (std::uint32_t i = 0; i < 2; ++i)
        for (std::uint32_t c = 0; c < 4; ++c)
            for (std::uint32_t r = 0; r < 4; ++r)
                EXPECT_EQ(Vertex(uiPair + i * 4 + c)[r], akPair[i].m[r][c]) << i << r << c;
    // With an index list: element i from matrix index[i].
    const std::uint16_t ausSwap[2] = {1, 0};
    ASSERT_TRUE(pkProgram->SetVertexShaderConstantArray(spPair, akPair, 2, 4, ausSwap));
    EXPECT_EQ(Vertex(uiPair)[0], akPair[1].m[0][0]);
    EXPECT_EQ(Vertex(uiPair + 4)[0], akPair[0].m[0][0]);
    // Only matrices form arrays.
    EXPECT_FALSE(pkProgram->SetVertexShaderConstantArray(MakeEntry("t", "Tint", Entry::SCME_TYPE_POINT4), akPair, 1,
                                                         1, nullptr));
    EXPECT_FALSE(pkProgram->SetVertexShaderConstantArray(MakeEntry("x", "Nope", Entry::SCME_TYPE_MATRIX4), akPair, 1,
                                                         4, nullptr));
    ASSERT_EQ(s_kLog.size(), 1u);
    EXPECT_EQ(s_kLog[0], "NiD3DHLSLVertexShader::SetVertexShaderConstantArray - all - variable Nope not found\n");

    // Pixel programs take the same forms; even a bone mapping is not transposed there.
    NiD3DPixelShader* pkPixel = m_pkFactory->CreatePixelShaderFromFile("all.hlsl", "shade", "Shade", "ps_3_0");
    EXPECT_EQ(pkPixel, nullptr); // the file has no "Shade"
    TakeReports();
    Write("shade.hlsl", kPixelSource);
    pkPixel = m_pkFactory->CreatePixelShaderFromFile("shade.hlsl", "shade", "Shade", "ps_3_0");
    ASSERT_NE(pkPixel, nullptr);
    gfx::ID3DXConstantTable* pkPixelTable = static_cast<NiD3DHLSLPixelShader*>(pkPixel)->GetConstantTable();
    NiD3DShaderConstantMapEntryPtr spGrade = MakeEntry("BoneMatrix4", "Grade", Entry::SCME_TYPE_MATRIX4,
                                                       Entry::SCME_MAP_DEFINED);
    spGrade->SetInternal(34);
    ASSERT_TRUE(pkPixel->SetPixelShaderConstantArray(spGrade, akPair, 2, 4, ausSwap));
    const std::uint32_t uiGrade = RegisterOf(pkPixelTable, "Grade");
    for (std::uint32_t c = 0; c < 4; ++c)
        for (std::uint32_t r = 0; r < 4; ++r)
            EXPECT_EQ(Pixel(uiGrade + c)[r], akPair[1].m[r][c]) << r << c;
    const float afColour[4] = {1.0f, 0.5f, 0.25f, 0.0f};
    ASSERT_TRUE(pkPixel->SetPixelShaderConstant(MakeEntry("Colour", nullptr, Entry::SCME_TYPE_POINT4), afColour, 0, 1));
    EXPECT_EQ(Pixel(RegisterOf(pkPixelTable, "Colour")), (std::array<float, 4>{1.0f, 0.5f, 0.25f, 0.0f}));
}

// After a lost device the program is made again from its stored code, and
// the table comes back with it from the same code.
TEST_F(NiD3DHLSLShaderProgramTest, RecreationRestoresTheProgramAndItsTable)
{
    Write("all.hlsl", kVertexSource);
    Write("shade.hlsl", kPixelSource);
    NiD3DVertexShader* pkVertex =
        m_pkFactory->CreateVertexShaderFromFile("all.hlsl", "all", nullptr, nullptr, nullptr, 0, false);
    NiD3DPixelShader* pkPixel = m_pkFactory->CreatePixelShaderFromFile("shade.hlsl", "shade", "Shade", nullptr);
    ASSERT_TRUE(pkVertex && pkPixel);
    auto* pkHLSL = static_cast<NiD3DHLSLVertexShader*>(pkVertex);
    auto* pkPixelHLSL = static_cast<NiD3DHLSLPixelShader*>(pkPixel);
    const std::uint32_t uiTint = RegisterOf(pkHLSL->GetConstantTable(), "Tint");

    // Still there: nothing to do.
    gfx::IDirect3DVertexShader9* pkDeviceShader = pkHLSL->GetVertexShader();
    EXPECT_TRUE(pkHLSL->RecreateRendererData());
    EXPECT_EQ(pkHLSL->GetVertexShader(), pkDeviceShader);

    pkHLSL->DestroyRendererData();
    pkPixelHLSL->DestroyRendererData();
    EXPECT_EQ(pkHLSL->GetVertexShader(), nullptr);
    EXPECT_EQ(pkHLSL->GetConstantTable(), nullptr);
    EXPECT_EQ(pkPixelHLSL->GetConstantTable(), nullptr);
    EXPECT_TRUE(m_pkFactory->RecreateVertexShader(pkVertex));
    EXPECT_TRUE(pkPixelHLSL->RecreateRendererData());
    EXPECT_NE(pkHLSL->GetVertexShader(), nullptr);
    EXPECT_NE(pkPixelHLSL->GetPixelShader(), nullptr);
    ASSERT_NE(pkHLSL->GetConstantTable(), nullptr);
    ASSERT_NE(pkPixelHLSL->GetConstantTable(), nullptr);
    EXPECT_EQ(RegisterOf(pkHLSL->GetConstantTable(), "Tint"), uiTint);
    const float afTint[4] = {0.5f, 0.25f, 0.125f, 1.0f};
    EXPECT_TRUE(pkVertex->SetVertexShaderConstant(MakeEntry("Tint", nullptr, Entry::SCME_TYPE_POINT4), afTint, 0, 1));
    EXPECT_EQ(Vertex(uiTint), (std::array<float, 4>{0.5f, 0.25f, 0.125f, 1.0f}));
    EXPECT_TRUE(TakeErrorTexts().empty());
}
