#include "engine/core/NiObjectStream.h"
#include "engine/render/image/NiImageFileConverter.h"
#include "engine/scene/NiAlphaProperty.h"
#include "engine/scene/NiCamera.h"
#include "engine/scene/NiTexturingProperty.h"
#include "engine/scene/NiTriShape.h"
#include "engine/scene/NiVertexColorProperty.h"
#include "engine/shaders/framework/NiD3DShaderFactory.h"
#include "engine/shaders/nsb/NSBShader.h"
#include "engine/shaders/nsb/NSBShaderLib.h"
#include "engine/shaders/nsb/NiBinaryShader.h"
#include "tests/engine/shaders/framework/ShaderTestSupport.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>

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
constexpr std::uint32_t OP_SELECTARG2 = 2;
constexpr std::uint32_t ARG_DIFFUSE = 1;
constexpr std::uint32_t ARG_TEXTURE = 5;
// The stage's texture: the base map, with its coordinate set.
constexpr std::uint32_t BASE_MAP_SELECTOR = 0x10200000;

int Channel(std::uint32_t uiPixel, int iShift)
{
    return static_cast<int>((uiPixel >> iShift) & 0xFF);
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
    NiRefPtr<NiTriShape> LoadQuad(const NiColorRGBA& kColor)
    {
        auto* pkVerts = new NiVec3[4]{{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0}};
        auto* pkColors = new NiColorRGBA[4]{kColor, kColor, kColor, kColor};
        auto* pkUVs = new NiVec2[4]{{0, 1}, {1, 1}, {1, 0}, {0, 0}};
        auto* pusTris = new std::uint16_t[6]{0, 1, 2, 0, 2, 3};
        NiRefPtr<NiTriShape> spSource = new NiTriShape(4, pkVerts, nullptr, pkColors, pkUVs, 1, 0, 2, pusTris);
        spSource->SetShader(new NiShader("GlassPane", NSBShader::ANY_IMPLEMENTATION));
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

    // 0xRRGGBB of the centre after the scene ends.
    std::uint32_t CentrePixel()
    {
        NiRefPtr<NiPixelData> spImage = m_spRenderer->CaptureBackBuffer(nullptr);
        if (spImage == nullptr)
            return 0xDEADBEEF;
        const std::uint32_t x = spImage->GetWidth() / 2;
        const std::uint32_t y = spImage->GetHeight() / 2;
        const std::uint8_t* puc = spImage->GetPixels() + (std::size_t(y) * spImage->GetWidth() + x) * 4;
        return (std::uint32_t(puc[2]) << 16) | (std::uint32_t(puc[1]) << 8) | puc[0];
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
    const std::string kFolder = m_kRoot.string();
    const char* apcFolders[] = {kFolder.c_str()};
    NSBShaderLib* pkLibrary = NSBShaderLib::Create(1, apcFolders, false);
    ASSERT_NE(pkLibrary, nullptr);
    pkLibrary->SetRenderer(m_spRenderer);
    NiD3DShaderFactory* pkFactory = NiD3DShaderFactory::GetD3DShaderFactory();
    ASSERT_NE(pkFactory, nullptr);
    pkFactory->InsertLibrary(pkLibrary);

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
    NiRefPtr<NiVertexColorProperty> spColors = new NiVertexColorProperty;
    spColors->SetSourceMode(NiVertexColorProperty::SOURCE_EMISSIVE);
    spColors->SetLightingMode(NiVertexColorProperty::LIGHTING_E);
    spQuad->AttachProperty(spColors);
    spQuad->UpdateProperties();
    spQuad->Update(0.0f);

    // Orthographic, looking down -z: x and y in -1..1 fill the target.
    NiViewFrustum kFrustum;
    kFrustum.Set(-1.0f, 1.0f, 1.0f, -1.0f, 1.0f, 10.0f, true);
    m_spRenderer->SetCameraData(NiVec3(0, 0, 5), NiVec3(0, 0, -1), NiVec3(0, 1, 0), NiVec3(1, 0, 0), kFrustum,
                                NiRect<float>(0.0f, 1.0f, 1.0f, 0.0f));
    m_spRenderer->SetBackgroundColor(NiColorRGBA(0.0f, 0.0f, 1.0f, 1.0f));
    ASSERT_TRUE(m_spRenderer->BeginScene());
    m_spRenderer->ClearBuffer(nullptr, NiRenderer::CLEAR_BACKBUFFER | NiRenderer::CLEAR_ZBUFFER);
    spQuad->RenderImmediate(m_spRenderer);
    m_spRenderer->EndScene();

    // (0x80, 0xFF, 0x40) x white, half over blue.
    const std::uint32_t uiPixel = CentrePixel();
    const std::uint32_t uiExpected = 0x4080A0;
    for (int iShift : {0, 8, 16})
        EXPECT_NEAR(Channel(uiPixel, iShift), Channel(uiExpected, iShift), 2)
            << std::hex << uiPixel << " vs " << uiExpected;
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
        NSBImplementation* pkPrograms = spShader->AddImplementation("Programs", true, 0);
        pkPrograms->GetRequirements()->SetPlatformFlags(NSBConstantMap::PLATFORM_DX9);
        pkPrograms->GetRequirements()->SetVSVersion(0xFFFE0200u);
        pkPrograms->GetRequirements()->SetPSVersion(0xFFFF0200u);
        // The programs read a declaration: position and the base map's coordinates.
        NSBPackingDef* pkPacking = spShader->GetPackingDef("Quad", true);
        pkPacking->AddPackingEntry(0, 0, NSBPackingDef::INPUT_POSITION, 2, 0, NSBPackingDef::USAGE_NONE, 0);
        pkPacking->AddPackingEntry(0, 1, NSBPackingDef::INPUT_TEXCOORD0, 1, 0, NSBPackingDef::USAGE_NONE, 0);
        pkPrograms->SetPackingDef("Quad");
        // The programs draw the quad as given, without the camera's turn: either face shows.
        pkPrograms->GetRenderStateGroup()->SetState(RS_CULLMODE, CULL_NONE, true);
        NSBPass* pkPass = pkPrograms->GetPass(0, true);
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
    const std::string kFolder = m_kRoot.string();
    const char* apcFolders[] = {kFolder.c_str()};
    NSBShaderLib* pkLibrary = NSBShaderLib::Create(1, apcFolders, false);
    ASSERT_NE(pkLibrary, nullptr);
    pkLibrary->SetRenderer(m_spRenderer);
    NiD3DShaderFactory* pkFactory = NiD3DShaderFactory::GetD3DShaderFactory();
    ASSERT_NE(pkFactory, nullptr);
    pkFactory->InsertLibrary(pkLibrary);
    pkFactory->AddProgramDirectory(kFolder.c_str());

    NiSourceTexturePtr spTexture = MakeTexture(2, 0xFF80FF40);
    auto Draw = [&](std::uint32_t uiImplementation) {
        auto* pkVerts = new NiVec3[4]{{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0}};
        const NiColorRGBA kWhite(1.0f, 1.0f, 1.0f, 1.0f);
        auto* pkColors = new NiColorRGBA[4]{kWhite, kWhite, kWhite, kWhite};
        auto* pkUVs = new NiVec2[4]{{0, 1}, {1, 1}, {1, 0}, {0, 0}};
        auto* pusTris = new std::uint16_t[6]{0, 1, 2, 0, 2, 3};
        NiRefPtr<NiTriShape> spQuad = new NiTriShape(4, pkVerts, nullptr, pkColors, pkUVs, 1, 0, 2, pusTris);
        if (!pkFactory->AttachShaderByName(spQuad, "Tinted", uiImplementation) ||
            NiDynamicCast<NiBinaryShader>(spQuad->GetShader()) == nullptr)
            return std::uint32_t(0xDEADBEEF);
        NiRefPtr<NiTexturingProperty> spTexturing = new NiTexturingProperty;
        auto* pkMap = new NiTextureMap(spTexture);
        pkMap->SetFilterMode(NiTextureMap::FILTER_NEAREST);
        spTexturing->SetMap(NiTexturingProperty::BASE_INDEX, pkMap);
        spQuad->AttachProperty(spTexturing);
        NiRefPtr<NiVertexColorProperty> spColors = new NiVertexColorProperty;
        spColors->SetSourceMode(NiVertexColorProperty::SOURCE_EMISSIVE);
        spColors->SetLightingMode(NiVertexColorProperty::LIGHTING_E);
        spQuad->AttachProperty(spColors);
        spQuad->UpdateProperties();
        spQuad->Update(0.0f);
        NiViewFrustum kFrustum;
        kFrustum.Set(-1.0f, 1.0f, 1.0f, -1.0f, 1.0f, 10.0f, true);
        m_spRenderer->SetCameraData(NiVec3(0, 0, 5), NiVec3(0, 0, -1), NiVec3(0, 1, 0), NiVec3(1, 0, 0), kFrustum,
                                    NiRect<float>(0.0f, 1.0f, 1.0f, 0.0f));
        m_spRenderer->SetBackgroundColor(NiColorRGBA(0.0f, 0.0f, 1.0f, 1.0f));
        if (!m_spRenderer->BeginScene())
            return std::uint32_t(0xDEADBEEF);
        m_spRenderer->ClearBuffer(nullptr, NiRenderer::CLEAR_BACKBUFFER | NiRenderer::CLEAR_ZBUFFER);
        spQuad->RenderImmediate(m_spRenderer);
        m_spRenderer->EndScene();
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
} // namespace shader_test
