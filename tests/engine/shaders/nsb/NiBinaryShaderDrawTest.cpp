#include "engine/core/NiObjectStream.h"
#include "engine/render/image/NiImageFileConverter.h"
#include "engine/scene/NiAlphaProperty.h"
#include "engine/scene/NiCamera.h"
#include "engine/scene/NiColorExtraData.h"
#include "engine/scene/NiNode.h"
#include "engine/scene/NiSkinData.h"
#include "engine/scene/NiSkinInstance.h"
#include "engine/scene/NiSkinPartition.h"
#include "engine/scene/NiStencilProperty.h"
#include "engine/scene/NiTexturingProperty.h"
#include "engine/scene/NiTriShape.h"
#include "engine/scene/NiVertexColorProperty.h"
#include "engine/shaders/framework/NiD3DHLSLShaderProgram.h"
#include "engine/shaders/framework/NiD3DPass.h"
#include "engine/shaders/framework/NiD3DShaderFactory.h"
#include "engine/shaders/nsb/NSBShader.h"
#include "engine/shaders/nsb/NSBShaderLib.h"
#include "engine/shaders/nsb/NiBinaryShader.h"
#include "tests/engine/shaders/framework/ShaderTestSupport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

// A binary shader written by the engine's writer, found by its name when a
// scene file's quad is loaded, and drawn on the `gl` device.
namespace shader_test
{
namespace
{
namespace fs = std::filesystem;

// Language numbers of the states the shader sets, and of their values.
constexpr std::uint32_t RS_ALPHABLENDENABLE = 2;
constexpr std::uint32_t RS_SRCBLEND = 5;
constexpr std::uint32_t RS_DESTBLEND = 6;
constexpr std::uint32_t RS_CULLMODE = 77;
constexpr std::uint32_t CULL_NONE = 0;
constexpr std::uint32_t BLEND_SRCALPHA = 4;
constexpr std::uint32_t BLEND_INVSRCALPHA = 5;
constexpr std::uint32_t TS_COLOROP = 0;
constexpr std::uint32_t TS_COLORARG1 = 2;
constexpr std::uint32_t TS_COLORARG2 = 3;
constexpr std::uint32_t TS_ALPHAOP = 4;
constexpr std::uint32_t TS_ALPHAARG2 = 7;
constexpr std::uint32_t OP_MODULATE = 3;
constexpr std::uint32_t OP_SELECTARG1 = 1;
constexpr std::uint32_t OP_SELECTARG2 = 2;
constexpr std::uint32_t ARG_DIFFUSE = 1;
constexpr std::uint32_t ARG_TEXTURE = 5;
// The stage's texture: the base map, with its coordinate set.
constexpr std::uint32_t BASE_MAP_SELECTOR = 0x10200000;

int Channel(std::uint32_t uiPixel, int iShift)
{
    return static_cast<int>((uiPixel >> iShift) & 0xFF);
}

// A quad over the whole view (-1..1 in x and y) in one vertex colour, with
// the base map's coordinates running from fLo to fHi.
NiRefPtr<NiTriShape> MakeQuad(const NiColorRGBA& kColor, float fLo = 0.0f, float fHi = 1.0f)
{
    auto* pkVerts = new NiVec3[4]{{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0}};
    auto* pkColors = new NiColorRGBA[4]{kColor, kColor, kColor, kColor};
    auto* pkUVs = new NiVec2[4]{{fLo, fHi}, {fHi, fHi}, {fHi, fLo}, {fLo, fLo}};
    auto* pusTris = new std::uint16_t[6]{0, 1, 2, 0, 2, 3};
    return new NiTriShape(4, pkVerts, nullptr, pkColors, pkUVs, 1, 0, 2, pusTris);
}

// The texture as the base map, sampled nearest so a texel reads back exact.
void AttachNearestBaseMap(NiTriShape& kQuad, NiSourceTexture* pkTexture)
{
    NiRefPtr<NiTexturingProperty> spTexturing = new NiTexturingProperty;
    auto* pkMap = new NiTextureMap(pkTexture);
    pkMap->SetFilterMode(NiTextureMap::FILTER_NEAREST);
    spTexturing->SetMap(NiTexturingProperty::BASE_INDEX, pkMap);
    kQuad.AttachProperty(spTexturing);
}

// Implementation 0 of the shader, drawing a MakeQuad quad through version 2
// programs the caller names on the pass returned.
NSBPass* AddQuadProgramPass(NSBShader& kShader, const char* pcImplementation)
{
    NSBImplementation* pkPrograms = kShader.AddImplementation(pcImplementation, true, 0);
    pkPrograms->GetRequirements()->SetPlatformFlags(NSBConstantMap::PLATFORM_DX9);
    pkPrograms->GetRequirements()->SetVSVersion(0xFFFE0200u);
    pkPrograms->GetRequirements()->SetPSVersion(0xFFFF0200u);
    // The programs read a declaration: position and the base map's coordinates.
    NSBPackingDef* pkPacking = kShader.GetPackingDef("Quad", true);
    pkPacking->AddPackingEntry(0, 0, NSBPackingDef::INPUT_POSITION, 2, 0, NSBPackingDef::USAGE_NONE, 0);
    pkPacking->AddPackingEntry(0, 1, NSBPackingDef::INPUT_TEXCOORD0, 1, 0, NSBPackingDef::USAGE_NONE, 0);
    pkPrograms->SetPackingDef("Quad");
    // The programs draw the quad as given, without the camera's turn: either face shows.
    pkPrograms->GetRenderStateGroup()->SetState(RS_CULLMODE, CULL_NONE, true);
    return pkPrograms->GetPass(0, true);
}

class NiBinaryShaderDrawTest : public ShaderTest
{
protected:
    void SetUp() override
    {
        ShaderTest::SetUp();
        NiImageConverter::SetCurrent(new NiImageFileConverter);
        m_kRoot = fs::temp_directory_path() / ("nsb_draw_" + std::to_string(::getpid()));
        fs::remove_all(m_kRoot);
        fs::create_directories(m_kRoot);
        CreateRenderer(gfx::BackendKind::Gl, NiDX9Renderer::FBMODE_LOCKABLE);
    }
    void TearDown() override
    {
        m_spRenderer = nullptr;
        ShaderTest::TearDown();
        NiImageConverter::ReleaseCurrent();
        fs::remove_all(m_kRoot);
    }

    // Half-transparent blending of the texture modulated by the vertex
    // colour; the alpha is the vertex colour's.
    void WriteShaderFile()
    {
        NSBShaderPtr spShader = new NSBShader;
        spShader->SetName("GlassPane");
        NSBImplementation* pkImplementation = spShader->AddImplementation("FixedFunction", true, 0);
        pkImplementation->GetRequirements()->SetPlatformFlags(NSBConstantMap::PLATFORM_DX9);
        pkImplementation->GetRequirements()->SetUsesNiRenderState(true);
        pkImplementation->GetRequirements()->SetUsesNiLightState(true);
        NSBStateGroup* pkStates = pkImplementation->GetRenderStateGroup();
        pkStates->SetState(RS_ALPHABLENDENABLE, 1, true);
        pkStates->SetState(RS_SRCBLEND, BLEND_SRCALPHA, true);
        pkStates->SetState(RS_DESTBLEND, BLEND_INVSRCALPHA, true);
        NSBTextureStage* pkStage = pkImplementation->GetPass(0, true)->GetStage(0, true);
        pkStage->SetTextureFlags(BASE_MAP_SELECTOR);
        NSBStateGroup* pkStageStates = pkStage->GetTextureStageGroup();
        pkStageStates->SetState(TS_COLOROP, OP_MODULATE, false);
        pkStageStates->SetState(TS_COLORARG1, ARG_TEXTURE, false);
        pkStageStates->SetState(TS_COLORARG2, ARG_DIFFUSE, false);
        pkStageStates->SetState(TS_ALPHAOP, OP_SELECTARG2, false);
        pkStageStates->SetState(TS_ALPHAARG2, ARG_DIFFUSE, false);
        ASSERT_TRUE(spShader->SaveToFile((m_kRoot / "Glass.nsb").string().c_str()));
    }

    // A quad over the whole view in one vertex colour, naming the shader,
    // through a scene file.
    NiRefPtr<NiTriShape> LoadQuad(const NiColorRGBA& kColor, const char* pcShader = "GlassPane", float fLo = 0.0f,
                                  float fHi = 1.0f)
    {
        NiRefPtr<NiTriShape> spSource = MakeQuad(kColor, fLo, fHi);
        spSource->SetShader(new NiShader(pcShader, NSBShader::ANY_IMPLEMENTATION));
        const std::string kPath = (m_kRoot / "pane.nif").string();
        {
            NiObjectStream kOut;
            kOut.InsertTopObject(spSource);
            EXPECT_TRUE(kOut.SaveFile(kPath.c_str()));
        }
        NiObjectStream kIn;
        if (!kIn.LoadFile(kPath.c_str()) || kIn.GetObjectCount() == 0)
            return nullptr;
        NiRefPtr<NiTriShape> spQuad = NiDynamicCast<NiTriShape>(kIn.GetObjectAt(0));
        kIn.RemoveAllTopObjects();
        return spQuad;
    }

    // 0xRRGGBB of the centre (or of the point at fX, fY of the width and
    // height) after the scene ends.
    std::uint32_t CentrePixel(float fX = 0.5f, float fY = 0.5f)
    {
        NiRefPtr<NiPixelData> spImage = m_spRenderer->CaptureBackBuffer(nullptr);
        if (spImage == nullptr)
            return 0xDEADBEEF;
        const auto x = std::uint32_t(float(spImage->GetWidth()) * fX);
        const auto y = std::uint32_t(float(spImage->GetHeight()) * fY);
        const std::uint8_t* puc = spImage->GetPixels() + (std::size_t(y) * spImage->GetWidth() + x) * 4;
        return (std::uint32_t(puc[2]) << 16) | (std::uint32_t(puc[1]) << 8) | puc[0];
    }

    // The shader files in the temporary folder, loaded into the factory for
    // this renderer; with bPrograms the factory also finds program files
    // there. Null, with the failure recorded, when either is missing.
    NiD3DShaderFactory* InsertFolderLibrary(bool bPrograms)
    {
        const std::string kFolder = m_kRoot.string();
        const char* apcFolders[] = {kFolder.c_str()};
        NSBShaderLib* pkLibrary = NSBShaderLib::Create(1, apcFolders, false);
        EXPECT_NE(pkLibrary, nullptr);
        if (pkLibrary == nullptr)
            return nullptr;
        pkLibrary->SetRenderer(m_spRenderer);
        NiD3DShaderFactory* pkFactory = NiD3DShaderFactory::GetD3DShaderFactory();
        EXPECT_NE(pkFactory, nullptr);
        if (pkFactory == nullptr)
            return nullptr;
        pkFactory->InsertLibrary(pkLibrary);
        if (bPrograms)
            pkFactory->AddProgramDirectory(kFolder.c_str());
        return pkFactory;
    }

    static void WriteText(const fs::path& kPath, const std::string& kText)
    {
        std::FILE* pkFile = std::fopen(kPath.string().c_str(), "wb");
        ASSERT_NE(pkFile, nullptr);
        std::fwrite(kText.data(), 1, kText.size(), pkFile);
        std::fclose(pkFile);
    }

    fs::path m_kRoot;
};
} // namespace

TEST_F(NiBinaryShaderDrawTest, ALoadedQuadNamingTheShaderIsDrawnBlendedOverTheBackground)
{
    if (m_spRenderer == nullptr)
        return;
    WriteShaderFile();
    NiD3DShaderFactory* pkFactory = InsertFolderLibrary(false);
    ASSERT_NE(pkFactory, nullptr);

    NiRefPtr<NiTriShape> spQuad = LoadQuad(NiColorRGBA(1.0f, 1.0f, 1.0f, 0.5f));
    ASSERT_NE(spQuad, nullptr);
    auto* pkShader = NiDynamicCast<NiBinaryShader>(spQuad->GetShader());
    ASSERT_NE(pkShader, nullptr) << "the quad kept its placeholder";
    EXPECT_STREQ(pkShader->GetName(), "GlassPane");
    EXPECT_TRUE(pkShader->IsInitialized());
    // The blend state gave the quad an alpha property that says so.
    auto* pkAlpha = static_cast<NiAlphaProperty*>(spQuad->GetProperty(NiProperty::ALPHA));
    ASSERT_NE(pkAlpha, nullptr);
    EXPECT_TRUE(pkAlpha->GetAlphaBlending());

    NiRefPtr<NiTexturingProperty> spTexturing = new NiTexturingProperty;
    NiSourceTexturePtr spTexture = MakeTexture(2, 0xFF80FF40);
    auto* pkMap = new NiTextureMap(spTexture);
    pkMap->SetFilterMode(NiTextureMap::FILTER_NEAREST);
    spTexturing->SetMap(NiTexturingProperty::BASE_INDEX, pkMap);
    spQuad->AttachProperty(spTexturing);
    // Vertex colours as they are: no lights.
    shader_test::AttachUnlitVertexColors(*spQuad);
    spQuad->UpdateProperties();
    spQuad->Update(0.0f);

    // Orthographic, looking down -z: x and y in -1..1 fill the target.
    ASSERT_TRUE(shader_test::DrawOrthographic(*m_spRenderer, *spQuad, NiColorRGBA(0.0f, 0.0f, 1.0f, 1.0f)));

    // (0x80, 0xFF, 0x40) x white, half over blue.
    const std::uint32_t uiPixel = CentrePixel();
    const std::uint32_t uiExpected = 0x4080A0;
    for (int iShift : {0, 8, 16})
        EXPECT_NEAR(Channel(uiPixel, iShift), Channel(uiExpected, iShift), 2)
            << std::hex << uiPixel << " vs " << uiExpected;
    spQuad = nullptr;
}
// A shader file's stage addressing its texture by border in U and V, with a
// border colour: coordinates -0.5..1.5 show the texture in the middle half
// of the view and the border colour around it.
TEST_F(NiBinaryShaderDrawTest, AStageAddressedByBorderShowsTheBorderColourAroundItsTexture)
{
    if (m_spRenderer == nullptr)
        return;
    // Language numbers: sampler states ADDRESSU 0, ADDRESSV 1, BORDERCOLOR
    // 3, MAGFILTER 4, MINFILTER 5; address BORDER 3, filter POINT 1.
    NSBShaderPtr spShader = new NSBShader;
    spShader->SetName("Bordered");
    NSBImplementation* pkImplementation = spShader->AddImplementation("FixedFunction", true, 0);
    pkImplementation->GetRequirements()->SetPlatformFlags(NSBConstantMap::PLATFORM_DX9);
    pkImplementation->GetRequirements()->SetUsesNiRenderState(true);
    pkImplementation->GetRenderStateGroup()->SetState(RS_CULLMODE, CULL_NONE, true);
    NSBTextureStage* pkStage = pkImplementation->GetPass(0, true)->GetStage(0, true);
    pkStage->SetTextureFlags(BASE_MAP_SELECTOR);
    pkStage->GetTextureStageGroup()->SetState(TS_COLOROP, OP_SELECTARG1, false);
    pkStage->GetTextureStageGroup()->SetState(TS_COLORARG1, ARG_TEXTURE, false);
    NSBStateGroup* pkSampler = pkStage->GetSamplerStageGroup();
    pkSampler->SetState(0, 3, false);
    pkSampler->SetState(1, 3, false);
    pkSampler->SetState(3, 0xFF0000FFu, false);
    pkSampler->SetState(4, 1, false);
    pkSampler->SetState(5, 1, false);
    ASSERT_TRUE(spShader->SaveToFile((m_kRoot / "Bordered.nsb").string().c_str()));
    ASSERT_NE(InsertFolderLibrary(false), nullptr);

    NiRefPtr<NiTriShape> spQuad = LoadQuad(NiColorRGBA(1.0f, 1.0f, 1.0f, 1.0f), "Bordered", -0.5f, 1.5f);
    ASSERT_NE(spQuad, nullptr);
    ASSERT_NE(NiDynamicCast<NiBinaryShader>(spQuad->GetShader()), nullptr) << "the quad kept its placeholder";
    NiSourceTexturePtr spTexture = MakeTexture(2, 0xFF00FF00);
    AttachNearestBaseMap(*spQuad, spTexture);
    spQuad->UpdateProperties();
    spQuad->Update(0.0f);
    ASSERT_TRUE(shader_test::DrawOrthographic(*m_spRenderer, *spQuad, NiColorRGBA(0.0f, 0.0f, 0.0f, 1.0f)));
    EXPECT_EQ(CentrePixel(), 0x00FF00u);
    EXPECT_EQ(CentrePixel(0.3f, 0.7f), 0x00FF00u);
    for (const auto& kAt : {std::pair{0.1f, 0.1f}, std::pair{0.9f, 0.5f}, std::pair{0.5f, 0.95f}})
        EXPECT_EQ(CentrePixel(kAt.first, kAt.second), 0x0000FFu) << kAt.first << ", " << kAt.second;
    spQuad = nullptr;
}

// An implementation that needs vertex and pixel programs 2.0 (assembly
// files beside the shader) before a fixed-function one: the device runs
// programs, so the first is chosen, and its pixels are what the pixel
// program makes of the texture (green only) where the fixed-function one
// passes the texture on.
TEST_F(NiBinaryShaderDrawTest, AnImplementationWithProgramsIsChosenAndDrawsAsItsProgramsSay)
{
    if (m_spRenderer == nullptr)
        return;
    {
        NSBShaderPtr spShader = new NSBShader;
        spShader->SetName("Tinted");
        NSBPass* pkPass = AddQuadProgramPass(*spShader, "Programs");
        pkPass->SetVertexShaderProgramFile(NSBPass::SLOT_DX9, "Tint.vsh");
        pkPass->SetPixelShaderProgramFile(NSBPass::SLOT_DX9, "Tint.psh");
        pkPass->GetStage(0, true)->SetTextureFlags(BASE_MAP_SELECTOR);
        NSBImplementation* pkFixed = spShader->AddImplementation("FixedFunction", true, 1);
        pkFixed->GetRequirements()->SetPlatformFlags(NSBConstantMap::PLATFORM_DX9);
        NSBTextureStage* pkStage = pkFixed->GetPass(0, true)->GetStage(0, true);
        pkStage->SetTextureFlags(BASE_MAP_SELECTOR);
        NSBStateGroup* pkStageStates = pkStage->GetTextureStageGroup();
        pkStageStates->SetState(TS_COLOROP, OP_MODULATE, false);
        pkStageStates->SetState(TS_COLORARG1, ARG_TEXTURE, false);
        pkStageStates->SetState(TS_COLORARG2, ARG_DIFFUSE, false);
        ASSERT_TRUE(spShader->SaveToFile((m_kRoot / "Tinted.nsb").string().c_str()));
    }
    // The quad's model coordinates are already the view's; C float suffixes as authors write them.
    WriteText(m_kRoot / "Tint.vsh", "vs_2_0\ndcl_position v0\ndcl_texcoord v1\nmov oPos, v0\nmov oT0, v1\n");
    WriteText(m_kRoot / "Tint.psh", "ps_2_0\ndcl t0.xy\ndcl_2d s0\ndef c0, 0.0f, 1.0f, 0.0f, 1.0f\n"
                                    "texld r0, t0, s0\nmul r0, r0, c0\nmov oC0, r0\n");
    NiD3DShaderFactory* pkFactory = InsertFolderLibrary(true);
    ASSERT_NE(pkFactory, nullptr);

    NiSourceTexturePtr spTexture = MakeTexture(2, 0xFF80FF40);
    auto Draw = [&](std::uint32_t uiImplementation) {
        NiRefPtr<NiTriShape> spQuad = MakeQuad(NiColorRGBA(1.0f, 1.0f, 1.0f, 1.0f));
        if (!pkFactory->AttachShaderByName(spQuad, "Tinted", uiImplementation) ||
            NiDynamicCast<NiBinaryShader>(spQuad->GetShader()) == nullptr)
            return std::uint32_t(0xDEADBEEF);
        AttachNearestBaseMap(*spQuad, spTexture);
        shader_test::AttachUnlitVertexColors(*spQuad);
        spQuad->UpdateProperties();
        spQuad->Update(0.0f);
        if (!shader_test::DrawOrthographic(*m_spRenderer, *spQuad, NiColorRGBA(0.0f, 0.0f, 1.0f, 1.0f)))
            return std::uint32_t(0xDEADBEEF);
        return CentrePixel();
    };
    // The shader asked for by name alone is implementation 0's: the programs.
    const std::uint32_t uiChosen = Draw(NSBShader::ANY_IMPLEMENTATION);
    const std::uint32_t uiPrograms = Draw(0);
    const std::uint32_t uiFixed = Draw(1);
    EXPECT_EQ(uiChosen, uiPrograms) << std::hex << uiChosen << " vs " << uiPrograms;
    // Programs: the texel's green only. Fixed function: the texel x white.
    for (int iShift : {0, 8, 16})
    {
        EXPECT_NEAR(Channel(uiPrograms, iShift), Channel(0x00FF00, iShift), 1) << std::hex << uiPrograms;
        EXPECT_NEAR(Channel(uiFixed, iShift), Channel(0x80FF40, iShift), 1) << std::hex << uiFixed;
    }
}

// Passes naming high-level programs by file and entry point (both in one
// file): the vertex program transforms by "WorldViewProj" set by name, the
// pixel program multiplies the texel by the "Tint" variable, fed from the
// geometry's extra data of that name; a new tint changes the pixels, and
// the programs and their tables come back after a lost device.
TEST_F(NiBinaryShaderDrawTest, HighLevelProgramsDrawWithConstantsSetByName)
{
    if (m_spRenderer == nullptr)
        return;
    {
        NSBShaderPtr spShader = new NSBShader;
        spShader->SetName("HighLevel");
        // The tint is an attribute of the shader: white unless the geometry says otherwise.
        NSBAttributeDescPtr spTint = new NSBAttributeDesc;
        spTint->SetName("Tint");
        const float afWhite3[3] = {1.0f, 1.0f, 1.0f};
        spTint->SetValue_Color(afWhite3);
        spShader->GetAttributeTable().AddAttribDesc(spTint);
        NSBPass* pkPass = AddQuadProgramPass(*spShader, "Compiled");
        pkPass->SetVertexShaderProgramFile(NSBPass::SLOT_DX9, "Tint.hlsl");
        pkPass->SetVertexShaderProgramEntryPoint("TintVS");
        pkPass->SetVertexShaderProgramShaderTarget("vs_2_0");
        pkPass->SetPixelShaderProgramFile(NSBPass::SLOT_DX9, "Tint.hlsl");
        pkPass->SetPixelShaderProgramEntryPoint("TintPS");
        pkPass->SetPixelShaderProgramShaderTarget("ps_2_0");
        pkPass->GetStage(0, true)->SetTextureFlags(BASE_MAP_SELECTOR);
        // Registers are given as the register path would need them; by name they do not matter.
        ASSERT_TRUE(pkPass->GetVertexConstantMap()->AddEntry("WorldViewProj", NiD3DShaderConstantMapEntry::SCME_MAP_DEFINED,
                                                             0, 40, 4, nullptr, 0, 0, nullptr, false));
        const float afWhite[4] = {1.0f, 1.0f, 1.0f, 1.0f};
        ASSERT_TRUE(pkPass->GetPixelConstantMap()->AddEntry(
            "Tint", NiD3DShaderConstantMapEntry::SCME_MAP_ATTRIBUTE | NiD3DShaderConstantMapEntry::SCME_TYPE_COLOR, 0,
            30, 1, "Tint", sizeof(afWhite), sizeof(afWhite), afWhite, true));
        ASSERT_TRUE(spShader->SaveToFile((m_kRoot / "HighLevel.nsb").string().c_str()));
    }
    WriteText(m_kRoot / "Tint.hlsl", R"(
float4x4 WorldViewProj;
float4 Tint;
sampler2D Base : register(s0);
struct VOut { float4 pos : POSITION; float2 uv : TEXCOORD0; };
VOut TintVS(float4 pos : POSITION, float2 uv : TEXCOORD0)
{
    VOut o;
    o.pos = mul(pos, WorldViewProj);
    o.uv = uv;
    return o;
}
float4 TintPS(float2 uv : TEXCOORD0) : COLOR { return tex2D(Base, uv) * Tint; }
)");
    NiD3DShaderFactory* pkFactory = InsertFolderLibrary(true);
    ASSERT_NE(pkFactory, nullptr);

    NiRefPtr<NiTriShape> spQuad = MakeQuad(NiColorRGBA(1.0f, 1.0f, 1.0f, 1.0f));
    auto* pkTint = new NiColorExtraData;
    pkTint->SetName("Tint");
    pkTint->SetValue(1.0f, 0.5f, 0.0f, 1.0f);
    spQuad->AddExtraData(pkTint);
    ASSERT_TRUE(pkFactory->AttachShaderByName(spQuad, "HighLevel", 0));
    auto* pkShader = NiDynamicCast<NiBinaryShader>(spQuad->GetShader());
    ASSERT_NE(pkShader, nullptr) << "the quad kept its placeholder";
    NiD3DPass* pkPass = pkShader->GetPass(0);
    ASSERT_NE(pkPass, nullptr);
    auto* pkVertex = dynamic_cast<NiD3DHLSLVertexShader*>(pkPass->GetVertexShader());
    auto* pkPixel = dynamic_cast<NiD3DHLSLPixelShader*>(pkPass->GetPixelShader());
    ASSERT_TRUE(pkVertex && pkPixel) << "the pass's programs are not high-level ones";
    EXPECT_STREQ(pkVertex->GetEntryPoint(), "TintVS");
    EXPECT_STREQ(pkPixel->GetShaderTarget(), "ps_2_0");
    EXPECT_STREQ(pkVertex->GetName(), "Tint.hlsl##TintVS");

    AttachNearestBaseMap(*spQuad, MakeTexture(2, 0xFF80FF40));
    spQuad->UpdateProperties();
    spQuad->Update(0.0f);
    auto Expect = [&](std::uint32_t uiExpected, const char* pcWhat) {
        SCOPED_TRACE(pcWhat);
        ASSERT_TRUE(shader_test::DrawOrthographic(*m_spRenderer, *spQuad, NiColorRGBA(0.0f, 0.0f, 1.0f, 1.0f)));
        const std::uint32_t uiPixel = CentrePixel();
        for (int iShift : {0, 8, 16})
            EXPECT_NEAR(Channel(uiPixel, iShift), Channel(uiExpected, iShift), 2)
                << std::hex << uiPixel << " vs " << uiExpected;
    };
    // The texel (0x80, 0xFF, 0x40) x (1, 0.5, 0): the quad fills the view, so
    // the transform reached the vertex program too.
    Expect(0x808000, "orange tint");
    pkTint->SetValue(0.0f, 1.0f, 1.0f, 1.0f);
    Expect(0x00FF40, "cyan tint");

    // A lost device: the shader lets go of its device programs and their
    // tables, and makes both again from the kept code.
    gfx::IDirect3DDevice9* pkDevice = m_spRenderer->GetD3DDevice();
    pkDevice->SimulateDeviceLoss();
    pkShader->PurgeRendererData();
    EXPECT_EQ(pkVertex->GetVertexShader(), nullptr);
    EXPECT_EQ(pkVertex->GetConstantTable(), nullptr);
    EXPECT_EQ(pkPixel->GetConstantTable(), nullptr);
    pkDevice->EndDeviceLoss();
    ASSERT_TRUE(m_spRenderer->BeginScene());
    m_spRenderer->EndScene();
    m_spRenderer->DisplayFrame();
    pkShader->RecreateRendererData();
    EXPECT_NE(pkVertex->GetVertexShader(), nullptr);
    EXPECT_NE(pkPixel->GetConstantTable(), nullptr);
    pkTint->SetValue(1.0f, 1.0f, 1.0f, 1.0f);
    Expect(0x80FF40, "white tint after the loss");
    for (const Report& kReport : TakeReports())
        ADD_FAILURE() << kReport.m_kText;
}

namespace
{
constexpr std::uint16_t BAND_BONES = 20;
constexpr std::uint16_t BAND_COLUMNS = 20;

// A band across the view, two vertices a column, each vertex weighted to
// four of twenty bones that each turn and shift it a little, in one
// partition of all twenty. The partition lists the bones shuffled, so a
// palette slot is not its bone's number. Vertex colours run red to blue
// along the band.
struct SkinnedBand
{
    NiRefPtr<NiNode> m_spRoot;
    NiRefPtr<NiTriShape> m_spShape;
};

SkinnedBand MakeSkinnedBand()
{
    SkinnedBand kBand;
    kBand.m_spRoot = new NiNode;
    NiRefPtr<NiNode> aspBones[BAND_BONES];
    for (std::uint16_t b = 0; b < BAND_BONES; ++b)
    {
        aspBones[b] = new NiNode;
        aspBones[b]->SetTranslate(NiVec3(0.04f * std::sin(b * 1.7f), 0.05f * std::cos(b * 1.3f), 0.0f));
        NiMatrix3x3 kTurn;
        kTurn.MakeZRotation(0.03f * (b - 10));
        aspBones[b]->SetRotate(kTurn);
        kBand.m_spRoot->AttachChild(aspBones[b]);
    }
    constexpr std::uint16_t usVerts = BAND_COLUMNS * 2;
    constexpr std::uint16_t usTris = (BAND_COLUMNS - 1) * 2;
    auto* pkVerts = new NiVec3[usVerts];
    auto* pkColors = new NiColorRGBA[usVerts];
    for (std::uint16_t v = 0; v < usVerts; ++v)
    {
        const float fAlong = static_cast<float>(v / 2) / (BAND_COLUMNS - 1);
        pkVerts[v] = NiVec3(-0.8f + 1.6f * fAlong, (v % 2) ? 0.3f : -0.3f, 0.0f);
        pkColors[v] = NiColorRGBA(1.0f - fAlong, 0.5f, fAlong, 1.0f);
    }
    auto* pusTris = new std::uint16_t[usTris * 3];
    for (std::uint16_t c = 0; c + 1 < BAND_COLUMNS; ++c)
    {
        const std::uint16_t v = static_cast<std::uint16_t>(2 * c);
        const std::uint16_t aus[6] = {v, std::uint16_t(v + 1), std::uint16_t(v + 3),
                                      v, std::uint16_t(v + 3), std::uint16_t(v + 2)};
        std::copy(aus, aus + 6, pusTris + 6 * c);
    }
    auto* pkData = new NiTriShapeData(usVerts, pkVerts, nullptr, pkColors, nullptr, 0, 0, usTris, pusTris);
    kBand.m_spShape = new NiTriShape(pkData);
    kBand.m_spRoot->AttachChild(kBand.m_spShape);

    // Partition slot p holds bone (7 p) mod 20; vertex v of column k weighs
    // slots k, k + 5, k + 10, k + 15 (mod 20) by 0.4, 0.3, 0.2, 0.1.
    const float afWeights[4] = {0.4f, 0.3f, 0.2f, 0.1f};
    std::uint16_t ausBoneOfSlot[BAND_BONES];
    for (std::uint16_t p = 0; p < BAND_BONES; ++p)
        ausBoneOfSlot[p] = static_cast<std::uint16_t>((7 * p) % BAND_BONES);
    std::vector<std::vector<NiSkinData::SkinWeight>> kPerBone(BAND_BONES);
    NiRefPtr<NiSkinPartition> spPartition = new NiSkinPartition;
    auto spParts = std::make_unique<NiSkinPartition::Partition[]>(1);
    NiSkinPartition::Partition& kPart = spParts[0];
    kPart.m_usVertices = usVerts;
    kPart.m_usTriangles = usTris;
    kPart.m_usBones = BAND_BONES;
    kPart.m_usBonesPerVertex = 4;
    kPart.m_pusBones.reset(new std::uint16_t[BAND_BONES]);
    std::copy(ausBoneOfSlot, ausBoneOfSlot + BAND_BONES, kPart.m_pusBones.get());
    kPart.m_pfWeights.reset(new float[usVerts * 4]);
    kPart.m_pucBonePalette.reset(new std::uint8_t[usVerts * 4]);
    kPart.m_pusVertexMap.reset(new std::uint16_t[usVerts]);
    for (std::uint16_t v = 0; v < usVerts; ++v)
    {
        kPart.m_pusVertexMap[v] = v;
        for (std::uint16_t i = 0; i < 4; ++i)
        {
            const auto uiSlot = static_cast<std::uint8_t>((v / 2 + 5 * i) % BAND_BONES);
            kPart.m_pfWeights[4 * v + i] = afWeights[i];
            kPart.m_pucBonePalette[4 * v + i] = uiSlot;
            kPerBone[ausBoneOfSlot[uiSlot]].push_back({v, afWeights[i]});
        }
    }
    kPart.m_pusTriList.reset(new std::uint16_t[usTris * 3]);
    std::copy(pusTris, pusTris + usTris * 3, kPart.m_pusTriList.get());
    spPartition->SetPartitions(1, std::move(spParts));

    NiRefPtr<NiSkinData> spSkinData = new NiSkinData;
    auto spBones = std::make_unique<NiSkinData::BoneData[]>(BAND_BONES);
    for (std::uint16_t b = 0; b < BAND_BONES; ++b)
        spBones[b].m_kBound.m_fRadius = 3.0f;
    spSkinData->SetBones(BAND_BONES, std::move(spBones));
    for (std::uint16_t b = 0; b < BAND_BONES; ++b)
    {
        const auto usCount = static_cast<std::uint16_t>(kPerBone[b].size());
        auto spWeights = std::make_unique<NiSkinData::SkinWeight[]>(usCount);
        std::copy(kPerBone[b].begin(), kPerBone[b].end(), spWeights.get());
        spSkinData->SetBoneWeights(b, usCount, std::move(spWeights));
    }
    NiRefPtr<NiSkinInstance> spSkin = new NiSkinInstance;
    spSkin->SetSkinData(spSkinData);
    spSkin->SetRootParent(kBand.m_spRoot);
    for (std::uint16_t b = 0; b < BAND_BONES; ++b)
        spSkin->SetBone(b, aspBones[b]);
    spSkin->SetSkinPartition(spPartition);
    kBand.m_spShape->SetSkinInstance(spSkin);
    return kBand;
}
} // namespace

namespace
{
// A binary shader that skins the band from the "BoneMatrix3" palette
// (from the register given, for programs that take registers) and
// transforms by the view-projection constant of that name.
struct ProgramName
{
    const char* m_pcFile;
    const char* m_pcEntry; // null: none
};
bool WriteSkinShader(const std::string& kPath, const char* pcName, ProgramName kVertex, ProgramName kPixel,
                     const char* pcViewProj, std::uint32_t uiPaletteRegister)
{
    NSBShaderPtr spShader = new NSBShader;
    spShader->SetName(pcName);
    NSBImplementation* pkImplementation = spShader->AddImplementation("Palette", true, 0);
    NSBRequirements* pkRequirements = pkImplementation->GetRequirements();
    pkRequirements->SetPlatformFlags(NSBConstantMap::PLATFORM_DX9);
    pkRequirements->SetVSVersion(0xFFFE0101u);
    pkRequirements->SetPSVersion(0xFFFF0200u);
    pkRequirements->SetBonesPerPartition(BAND_BONES);
    pkRequirements->SetBoneMatrixRegisters(3);
    // The bones carry the skin into the world: the program needs the view and projection only.
    pkRequirements->SetBoneCalcMethod(1);
    NSBPackingDef* pkPacking = spShader->GetPackingDef("Skinned", true);
    pkPacking->AddPackingEntry(0, 0, NSBPackingDef::INPUT_POSITION, 2, 0, NSBPackingDef::USAGE_NONE, 0);
    pkPacking->AddPackingEntry(0, 1, NSBPackingDef::INPUT_BLENDWEIGHT, 2, 0, NSBPackingDef::USAGE_NONE, 0);
    pkPacking->AddPackingEntry(0, 2, NSBPackingDef::INPUT_BLENDINDICES, 5, 0, NSBPackingDef::USAGE_NONE, 0);
    pkPacking->AddPackingEntry(0, 3, NSBPackingDef::INPUT_COLOR, 4, 0, NSBPackingDef::USAGE_NONE, 0);
    pkImplementation->SetPackingDef("Skinned");
    pkImplementation->GetRenderStateGroup()->SetState(RS_CULLMODE, CULL_NONE, true);
    NSBPass* pkPass = pkImplementation->GetPass(0, true);
    pkPass->SetVertexShaderProgramFile(NSBPass::SLOT_DX9, kVertex.m_pcFile);
    pkPass->SetVertexShaderProgramEntryPoint(kVertex.m_pcEntry);
    pkPass->SetPixelShaderProgramFile(NSBPass::SLOT_DX9, kPixel.m_pcFile);
    pkPass->SetPixelShaderProgramEntryPoint(kPixel.m_pcEntry);
    NSBConstantMap* pkConstants = pkPass->GetVertexConstantMap();
    return pkConstants != nullptr &&
           pkConstants->AddEntry(pcViewProj, NiD3DShaderConstantMapEntry::SCME_MAP_DEFINED, 0, 0, 4, nullptr, 0, 0,
                                 nullptr, false) &&
           pkConstants->AddEntry("BoneMatrix3", NiD3DShaderConstantMapEntry::SCME_MAP_DEFINED, 0, uiPaletteRegister,
                                 3 * BAND_BONES, nullptr, 0, 0, nullptr, false) &&
           spShader->SaveToFile(kPath.c_str());
}

// The band drawn by the default shader (software skinning) or by the named
// shader; null when the shader was not attached or the frame not captured.
NiRefPtr<NiPixelData> DrawSkinnedBand(NiDX9Renderer& kRenderer, NiD3DShaderFactory& kFactory, const char* pcShader)
{
    NiRefPtr<NiPixelData> spImage;
    SkinnedBand kBand = MakeSkinnedBand();
    if (pcShader != nullptr && (!kFactory.AttachShaderByName(kBand.m_spShape, pcShader, 0) ||
                                NiDynamicCast<NiBinaryShader>(kBand.m_spShape->GetShader()) == nullptr))
        return spImage;
    // Vertex colours as they are, no lights, both faces.
    shader_test::AttachUnlitVertexColors(*kBand.m_spShape);
    NiRefPtr<NiStencilProperty> spBoth = new NiStencilProperty;
    spBoth->SetDrawMode(NiStencilProperty::DRAW_BOTH);
    kBand.m_spShape->AttachProperty(spBoth);
    kBand.m_spRoot->UpdateProperties();
    kBand.m_spRoot->Update(0.0f);
    if (!shader_test::DrawOrthographic(kRenderer, *kBand.m_spShape, NiColorRGBA(0.0f, 0.0f, 0.0f, 1.0f)))
        return spImage;
    spImage = kRenderer.CaptureBackBuffer(nullptr);
    return spImage;
}

// The two frames alike within 1 per channel, the band covering about a
// quarter of the view (1.6 x 0.6 of 2 x 2).
void ExpectSameBand(const NiPixelData* spSoftware, const NiPixelData* spProgram)
{
    ASSERT_NE(spSoftware, nullptr);
    ASSERT_NE(spProgram, nullptr) << "the shader was not attached or the frame not captured";
    ASSERT_EQ(spSoftware->GetWidth(), spProgram->GetWidth());
    ASSERT_EQ(spSoftware->GetHeight(), spProgram->GetHeight());
    const std::uint32_t uiWidth = spSoftware->GetWidth();
    const std::uint32_t uiHeight = spSoftware->GetHeight();
    std::uint32_t uiCovered = 0;
    std::uint32_t uiDiffering = 0;
    std::string kFirst;
    for (std::uint32_t y = 0; y < uiHeight; ++y)
        for (std::uint32_t x = 0; x < uiWidth; ++x)
        {
            const std::size_t uiAt = (std::size_t(y) * uiWidth + x) * 4;
            const std::uint8_t* pucSoftware = spSoftware->GetPixels() + uiAt;
            const std::uint8_t* pucProgram = spProgram->GetPixels() + uiAt;
            uiCovered += (pucSoftware[0] | pucSoftware[1] | pucSoftware[2]) != 0;
            for (int c = 0; c < 3; ++c)
                if (std::abs(int(pucSoftware[c]) - int(pucProgram[c])) > 1)
                {
                    if (uiDiffering++ == 0)
                        kFirst = "(" + std::to_string(x) + ", " + std::to_string(y) + ") channel " +
                                 std::to_string(c) + ": " + std::to_string(pucSoftware[c]) + " vs " +
                                 std::to_string(pucProgram[c]);
                    break;
                }
        }
    EXPECT_GT(uiCovered, uiWidth * uiHeight / 6) << "the software-skinned band is missing";
    EXPECT_LT(uiCovered, uiWidth * uiHeight / 3);
    EXPECT_EQ(uiDiffering, 0u) << "first difference at " << kFirst;
}
} // namespace

// The band skinned by a vertex program from the "BoneMatrix3" palette,
// indexed by each vertex's blend indices, matches the band the default
// shader skins on the CPU (its twenty bones are more than the device
// blends) pixel for pixel, within rounding.
TEST_F(NiBinaryShaderDrawTest, APaletteSkinningProgramDrawsAsTheSoftwareSkinnedMesh)
{
    if (m_spRenderer == nullptr)
        return;
    ASSERT_LT(m_spRenderer->GetMaxVertexBlendMatrices(), std::uint32_t(BAND_BONES));
    constexpr std::uint32_t PALETTE_REGISTER = 10;
    ASSERT_TRUE(WriteSkinShader((m_kRoot / "PaletteSkin.nsb").string(), "PaletteSkin", {"Palette.vsh", nullptr},
                                {"Palette.psh", nullptr}, "ViewProjTranspose", PALETTE_REGISTER));
    // Each of the four bones: three rows of the palette from slot x 3, the
    // fourth weight what the three given leave.
    std::string kProgram = "vs_1_1\ndcl_position v0\ndcl_blendweight v1\ndcl_blendindices v2\ndcl_color v3\n"
                           "def c4, 3.0f, 1.0f, 0.0f, 0.0f\n"
                           "mul r0, v2, c4.x\n"
                           "dp3 r3.x, v1.xyz, c4.yyy\nadd r3.x, c4.y, -r3.x\n";
    const char* apcWeight[4] = {"v1.x", "v1.y", "v1.z", "r3.x"};
    const char* apcSlot[4] = {"r0.x", "r0.y", "r0.z", "r0.w"};
    for (int i = 0; i < 4; ++i)
    {
        kProgram += std::string("mov a0.x, ") + apcSlot[i] + "\n";
        for (int r = 0; r < 3; ++r)
            kProgram += "dp4 r1." + std::string(1, "xyz"[r]) + ", v0, c[a0.x + " +
                        std::to_string(PALETTE_REGISTER + r) + "]\n";
        kProgram += i == 0 ? std::string("mul r2.xyz, r1.xyz, ") + apcWeight[i] + "\n"
                           : std::string("mad r2.xyz, r1.xyz, ") + apcWeight[i] + ", r2.xyz\n";
    }
    kProgram += "mov r2.w, c4.y\nm4x4 oPos, r2, c0\nmov oD0, v3\n";
    WriteText(m_kRoot / "Palette.vsh", kProgram);
    WriteText(m_kRoot / "Palette.psh", "ps_2_0\ndcl v0\nmov oC0, v0\n");
    NiD3DShaderFactory* pkFactory = InsertFolderLibrary(true);
    ASSERT_NE(pkFactory, nullptr);

    const NiRefPtr<NiPixelData> spSoftware = DrawSkinnedBand(*m_spRenderer, *pkFactory, nullptr);
    const NiRefPtr<NiPixelData> spProgram = DrawSkinnedBand(*m_spRenderer, *pkFactory, "PaletteSkin");
    ExpectSameBand(spSoftware, spProgram);
}


// The same band skinned by a compiled high-level program: the palette is a
// float4x3 array indexed by the blend indices, set by name element by
// element (each bone transposed back from its registers), and the picture
// is the software-skinned one.
TEST_F(NiBinaryShaderDrawTest, AHighLevelPaletteSkinningProgramDrawsAsTheSoftwareSkinnedMesh)
{
    if (m_spRenderer == nullptr)
        return;
    ASSERT_TRUE(WriteSkinShader((m_kRoot / "HighLevelSkin.nsb").string(), "HighLevelSkin",
                                {"Skin.hlsl", "SkinVertex"}, {"Skin.hlsl", "SkinPixel"}, "ViewProj", 0));
    WriteText(m_kRoot / "Skin.hlsl", R"(
float4x4 ViewProj;
float4x3 BoneMatrix3[20];
struct VertexOut { float4 Position : POSITION; float4 Colour : COLOR0; };
VertexOut SkinVertex(float4 kPosition : POSITION, float4 kWeights : BLENDWEIGHT, float4 kIndices : BLENDINDICES,
                     float4 kColour : COLOR0)
{
    int4 aiBone = (int4)kIndices;
    float fLast = 1.0 - dot(kWeights.xyz, float3(1, 1, 1));
    float3 kSkinned = mul(kPosition, BoneMatrix3[aiBone.x]) * kWeights.x +
                      mul(kPosition, BoneMatrix3[aiBone.y]) * kWeights.y +
                      mul(kPosition, BoneMatrix3[aiBone.z]) * kWeights.z +
                      mul(kPosition, BoneMatrix3[aiBone.w]) * fLast;
    VertexOut kOut;
    kOut.Position = mul(float4(kSkinned, 1.0), ViewProj);
    kOut.Colour = kColour;
    return kOut;
}
float4 SkinPixel(float4 kColour : COLOR0) : COLOR { return kColour; }
)");
    NiD3DShaderFactory* pkFactory = InsertFolderLibrary(true);
    ASSERT_NE(pkFactory, nullptr);

    const NiRefPtr<NiPixelData> spSoftware = DrawSkinnedBand(*m_spRenderer, *pkFactory, nullptr);
    const NiRefPtr<NiPixelData> spProgram = DrawSkinnedBand(*m_spRenderer, *pkFactory, "HighLevelSkin");
    for (const Report& kReport : TakeReports())
        ADD_FAILURE() << kReport.m_kText;
    ExpectSameBand(spSoftware, spProgram);
}
} // namespace shader_test
