#include "engine/core/NiObjectStream.h"
#include "engine/render/NiDX9RenderState.h"
#include "engine/render/NiDX9TextureData.h"
#include "engine/render/NiDX9TextureManager.h"
#include "engine/render/image/NiImageFileConverter.h"
#include "engine/scene/NiCamera.h"
#include "engine/scene/NiFloatExtraData.h"
#include "engine/scene/NiFloatsExtraData.h"
#include "engine/scene/NiTexturingProperty.h"
#include "engine/scene/NiTriShape.h"
#include "engine/scene/NiVertexColorProperty.h"
#include "engine/shaders/effect/NiD3DXEffectFile.h"
#include "engine/shaders/effect/NiD3DXEffectShader.h"
#include "engine/shaders/effect/NiD3DXEffectShaderLib.h"
#include "engine/shaders/framework/NiD3DShaderFactory.h"
#include "engine/shaders/framework/NiD3DShaderProgramFactory.h"
#include "tests/engine/shaders/framework/ShaderTestSupport.h"
#include "tests/platform/gfxutil/DdsFixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

// An effect file's fixed-function technique found by name when a scene
// file's quad is loaded, and drawn on the `gl` device through the effect's
// own passes and state manager.
namespace
{
namespace fs = std::filesystem;

int Channel(std::uint32_t uiPixel, int iShift)
{
    return static_cast<int>((uiPixel >> iShift) & 0xFF);
}

// A volume DDS of A8R8G8B8 texels given as 0xAARRGGBB, slice by slice and
// row by row, without mip levels.
void WriteVolumeDds(const fs::path& kPath, std::uint32_t uiWidth, std::uint32_t uiHeight, std::uint32_t uiDepth,
                    const std::vector<std::uint32_t>& kTexels)
{
    ddsfixture::Spec kSpec;
    kSpec.width = uiWidth;
    kSpec.height = uiHeight;
    kSpec.depth = uiDepth;
    kSpec.volume = true;
    std::vector<std::uint8_t> kBytes = ddsfixture::Build(kSpec);
    const std::size_t uiStart = ddsfixture::LevelOffset(kSpec, 0, 0);
    ASSERT_EQ(kBytes.size(), uiStart + kTexels.size() * 4);
    for (std::size_t ui = 0; ui < kTexels.size(); ++ui)
        ddsfixture::Put(kBytes, static_cast<std::uint32_t>(uiStart + ui * 4), kTexels[ui]);
    std::ofstream(kPath, std::ios::binary).write(reinterpret_cast<const char*>(kBytes.data()),
                                                 static_cast<std::streamsize>(kBytes.size()));
}

class NiD3DXEffectDrawTest : public shader_test::ShaderTest
{
protected:
    void SetUp() override
    {
        ShaderTest::SetUp();
        m_kRoot = fs::temp_directory_path() / ("effect_draw_" + std::to_string(::getpid()));
        fs::remove_all(m_kRoot);
        fs::create_directories(m_kRoot);
        CreateRenderer(gfx::BackendKind::Gl, NiDX9Renderer::FBMODE_LOCKABLE);
    }
    void TearDown() override
    {
        if (NiD3DShaderFactory* pkFactory = NiD3DShaderFactory::GetD3DShaderFactory())
            pkFactory->RemoveAllLibraries();
        NiD3DXEffectShaderLib::ReleaseEffectFileList();
        NiD3DXEffectFactory::Shutdown();
        m_spRenderer = nullptr;
        ShaderTest::TearDown();
        NiImageConverter::ReleaseCurrent();
        fs::remove_all(m_kRoot);
    }

    // A quad over the whole view in one vertex colour, naming the
    // technique, through a scene file; with bTextured, one set of texture
    // coordinates running 0..1 from the top left corner.
    NiRefPtr<NiTriShape> LoadQuad(const char* pcShader, std::uint32_t uiImplementation = 0, bool bTextured = false)
    {
        const NiColorRGBA kWhite(1.0f, 1.0f, 1.0f, 1.0f);
        auto* pkVerts = new NiVec3[4]{{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0}};
        auto* pkColors = new NiColorRGBA[4]{kWhite, kWhite, kWhite, kWhite};
        auto* pkUV = bTextured ? new NiVec2[4]{{0, 1}, {1, 1}, {1, 0}, {0, 0}} : nullptr;
        auto* pusTris = new std::uint16_t[6]{0, 1, 2, 0, 2, 3};
        NiRefPtr<NiTriShape> spSource =
            new NiTriShape(4, pkVerts, nullptr, pkColors, pkUV, bTextured ? 1 : 0, 0, 2, pusTris);
        spSource->SetShader(new NiShader(pcShader, uiImplementation));
        const std::string kPath = (m_kRoot / "quad.nif").string();
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

    // 0xRRGGBB of the pixel a quarter of the width in from the left or
    // right edge, on the middle row.
    std::uint32_t QuarterPixel(bool bRight)
    {
        NiRefPtr<NiPixelData> spImage = m_spRenderer->CaptureBackBuffer(nullptr);
        if (spImage == nullptr)
            return 0xDEADBEEF;
        const std::uint32_t x = bRight ? spImage->GetWidth() * 3 / 4 : spImage->GetWidth() / 4;
        const std::uint32_t y = spImage->GetHeight() / 2;
        const std::uint8_t* puc = spImage->GetPixels() + (std::size_t(y) * spImage->GetWidth() + x) * 4;
        return (std::uint32_t(puc[2]) << 16) | (std::uint32_t(puc[1]) << 8) | puc[0];
    }
    // Both quarter pixels, left and right, exactly.
    void ExpectQuarters(std::uint32_t uiLeft, std::uint32_t uiRight)
    {
        EXPECT_EQ(QuarterPixel(false), uiLeft) << std::hex << QuarterPixel(false) << " vs " << uiLeft;
        EXPECT_EQ(QuarterPixel(true), uiRight) << std::hex << QuarterPixel(true) << " vs " << uiRight;
    }

    // Each channel of the centre within iTolerance of 0xRRGGBB.
    void ExpectCentreNear(std::uint32_t uiExpected, int iTolerance)
    {
        const std::uint32_t uiPixel = CentrePixel();
        for (int iShift : {0, 8, 16})
            EXPECT_NEAR(Channel(uiPixel, iShift), Channel(uiExpected, iShift), iTolerance)
                << std::hex << uiPixel << " vs " << uiExpected;
    }

    // The effect files in the temporary folder, loaded into the factory for
    // this renderer. Null, with the failure recorded, when either is missing.
    NiD3DShaderFactory* InsertFolderLibrary()
    {
        const std::string kFolder = m_kRoot.string();
        const char* apcFolders[] = {kFolder.c_str()};
        NiD3DXEffectShaderLib* pkLibrary = NiD3DXEffectShaderLib::Create(m_spRenderer, 1, apcFolders, false);
        EXPECT_NE(pkLibrary, nullptr);
        if (pkLibrary == nullptr)
            return nullptr;
        NiD3DShaderFactory* pkFactory = NiD3DShaderFactory::GetD3DShaderFactory();
        EXPECT_NE(pkFactory, nullptr);
        if (pkFactory == nullptr)
            return nullptr;
        pkFactory->InsertLibrary(pkLibrary);
        return pkFactory;
    }

    fs::path m_kRoot;
};
} // namespace

// The texture factor (255, 128, 64, alpha 128) modulates the white vertex
// colour and is blended by its alpha over the blue background; afterwards
// the render-state cache holds what the device holds.
TEST_F(NiD3DXEffectDrawTest, AFixedFunctionTechniqueBlendsAQuadOverTheBackground)
{
    if (m_spRenderer == nullptr)
        return;
    std::ofstream(m_kRoot / "glass.fx") << "technique Glass\n"
                                           "{\n"
                                           "    pass P\n"
                                           "    {\n"
                                           "        Lighting = false;\n"
                                           "        AlphaBlendEnable = true;\n"
                                           "        SrcBlend = SrcAlpha;\n"
                                           "        DestBlend = InvSrcAlpha;\n"
                                           "        TextureFactor = 0x80FF8040;\n"
                                           "        ColorOp[0] = Modulate;\n"
                                           "        ColorArg1[0] = TFactor;\n"
                                           "        ColorArg2[0] = Diffuse;\n"
                                           "        AlphaOp[0] = SelectArg1;\n"
                                           "        AlphaArg1[0] = TFactor;\n"
                                           "        ColorOp[1] = Disable;\n"
                                           "        AlphaOp[1] = Disable;\n"
                                           "    }\n"
                                           "}\n";
    ASSERT_NE(InsertFolderLibrary(), nullptr);

    NiRefPtr<NiTriShape> spQuad = LoadQuad("Glass");
    ASSERT_NE(spQuad, nullptr);
    auto* pkShader = NiDynamicCast<NiD3DXEffectShader>(spQuad->GetShader());
    ASSERT_NE(pkShader, nullptr) << "the quad kept its placeholder";
    EXPECT_STREQ(pkShader->GetName(), "Glass");
    // Vertex colours as they are: no lights.
    shader_test::AttachUnlitVertexColors(*spQuad);
    spQuad->UpdateProperties();
    spQuad->Update(0.0f);

    // Orthographic, looking down -z: x and y in -1..1 fill the target.
    ASSERT_TRUE(shader_test::DrawOrthographic(*m_spRenderer, *spQuad, NiColorRGBA(0.0f, 0.0f, 1.0f, 1.0f)));

    // (255, 128, 64) x white, 128/255 of it over blue.
    const float fA = 128.0f / 255.0f;
    const std::uint32_t uiExpected = (std::uint32_t(255 * fA + 0.5f) << 16) | (std::uint32_t(128 * fA + 0.5f) << 8) |
                                     std::uint32_t(64 * fA + 255 * (1.0f - fA) + 0.5f);
    ExpectCentreNear(uiExpected, 2);

    // The cache and the device agree on what the pass set.
    NiDX9RenderState* pkCache = m_spRenderer->GetRenderState();
    gfx::IDirect3DDevice9* pkDevice = m_spRenderer->GetD3DDevice();
    for (std::uint32_t uiState : {gfx::D3DRS_ALPHABLENDENABLE, gfx::D3DRS_SRCBLEND, gfx::D3DRS_DESTBLEND,
                                  gfx::D3DRS_LIGHTING, gfx::D3DRS_TEXTUREFACTOR})
    {
        std::uint32_t uiDevice = 0;
        ASSERT_EQ(pkDevice->GetRenderState(uiState, &uiDevice), gfx::D3D_OK);
        EXPECT_EQ(pkCache->GetRenderState(uiState), uiDevice) << "render state " << uiState;
    }
    for (std::uint32_t uiType : {gfx::D3DTSS_COLOROP, gfx::D3DTSS_COLORARG1, gfx::D3DTSS_COLORARG2,
                                 gfx::D3DTSS_ALPHAOP, gfx::D3DTSS_ALPHAARG1})
    {
        std::uint32_t uiDevice = 0;
        ASSERT_EQ(pkDevice->GetTextureStageState(0, uiType, &uiDevice), gfx::D3D_OK);
        EXPECT_EQ(pkCache->GetTextureStageState(0, uiType), uiDevice) << "stage state " << uiType;
    }
    spQuad = nullptr;
}

// A technique of assembly programs validates on this device, is found by
// name, and draws what its pixel program computes from a definition and a
// constant the pass sets.
TEST_F(NiD3DXEffectDrawTest, AnAssemblyTechniqueValidatesAndDraws)
{
    if (m_spRenderer == nullptr)
        return;
    std::ofstream(m_kRoot / "tinted.fx") << "technique Tinted\n"
                                            "{\n"
                                            "    pass P\n"
                                            "    {\n"
                                            "        CullMode = None;\n"
                                            "        PixelShaderConstantF[1] = float4(0, 0.5, 0, 0);\n"
                                            "        VertexShader = asm { vs_1_1\n"
                                            "            dcl_position v0\n"
                                            "            mov oPos, v0\n"
                                            "            mov oD0, v0 };\n"
                                            "        PixelShader = asm { ps_1_1\n"
                                            "            def c0, 0.5f, 0.0f, 0.25f, 1.0f\n"
                                            "            add r0, c0, c1 };\n"
                                            "    }\n"
                                            "}\n";
    ASSERT_NE(InsertFolderLibrary(), nullptr);

    NiRefPtr<NiTriShape> spQuad = LoadQuad("Tinted");
    ASSERT_NE(spQuad, nullptr);
    auto* pkShader = NiDynamicCast<NiD3DXEffectShader>(spQuad->GetShader());
    ASSERT_NE(pkShader, nullptr) << "the technique did not validate";
    EXPECT_TRUE(pkShader->AllPassesHaveVertexShader());
    EXPECT_TRUE(pkShader->AnyPassHasPixelShader());
    spQuad->UpdateProperties();
    spQuad->Update(0.0f);

    ASSERT_TRUE(shader_test::DrawOrthographic(*m_spRenderer, *spQuad, NiColorRGBA(0.0f, 0.0f, 1.0f, 1.0f)));

    // (0.5, 0, 0.25) + (0, 0.5, 0).
    ExpectCentreNear(0x808040, 1);
    spQuad = nullptr;
}

// An effect file as the game loads it, with an HLSL technique and a
// fixed-function fallback under one shader name: asked for any
// implementation, the compiled one validates first and draws; its
// transform comes from the engine's matrices, and a parameter set by name on
// the geometry (its extra data) reaches the pixel program's constant.
TEST_F(NiD3DXEffectDrawTest, AnHlslTechniqueIsChosenOverItsFallbackAndDrawsItsParameters)
{
    if (m_spRenderer == nullptr)
        return;
    std::ofstream(m_kRoot / "tint.fx")
        << "float4x4 WorldViewProj : WORLDVIEWPROJECTION;\n"
           "float4 Tint = {1.0, 0.5, 0.25, 1.0};\n"
           "float Gain = 1.0;\n"
           "struct VOut { float4 pos : POSITION; float4 col : COLOR0; };\n"
           "VOut VS(float4 pos : POSITION, float4 col : COLOR0)\n"
           "{\n"
           "    VOut o;\n"
           "    o.pos = mul(pos, WorldViewProj);\n"
           "    o.col = col;\n"
           "    return o;\n"
           "}\n"
           "float4 PS(float4 col : COLOR0) : COLOR { return saturate(col * Tint * Gain); }\n"
           "technique Tint < string shadername = \"Tint\"; int implementation = 0; >\n"
           "{\n"
           "    pass P { CullMode = None; VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PS(); }\n"
           "}\n"
           "technique TintFixed < string shadername = \"Tint\"; int implementation = 1; >\n"
           "{\n"
           "    pass P { Lighting = false; TextureFactor = 0xFF0000FF; ColorOp[0] = SelectArg1; ColorArg1[0] = TFactor; }\n"
           "}\n";
    ASSERT_NE(InsertFolderLibrary(), nullptr);

    NiRefPtr<NiTriShape> spQuad = LoadQuad("Tint", 0xFFFFFFFF);
    ASSERT_NE(spQuad, nullptr);
    auto* pkShader = NiDynamicCast<NiD3DXEffectShader>(spQuad->GetShader());
    ASSERT_NE(pkShader, nullptr) << "no technique of the set validated";
    ASSERT_NE(pkShader->GetTechnique(), nullptr);
    EXPECT_EQ(pkShader->GetTechniqueImplementation(), 0u) << "the fallback was chosen";
    EXPECT_TRUE(pkShader->AllPassesHaveVertexShader());
    EXPECT_TRUE(pkShader->AllPassesHavePixelShader());
    shader_test::AttachUnlitVertexColors(*spQuad);
    spQuad->UpdateProperties();
    spQuad->Update(0.0f);

    // White vertices through the default tint.
    ASSERT_TRUE(shader_test::DrawOrthographic(*m_spRenderer, *spQuad, NiColorRGBA(0.0f, 0.0f, 1.0f, 1.0f)));
    ExpectCentreNear(0xFF8040, 2);

    // The geometry names new values: the tint and the gain reach the program.
    auto* pkTint = new NiFloatsExtraData;
    pkTint->SetName("Tint");
    const float afTint[4] = {0.25f, 1.0f, 0.5f, 1.0f};
    pkTint->SetArray(4, afTint);
    ASSERT_TRUE(spQuad->AddExtraData(pkTint));
    ASSERT_TRUE(shader_test::DrawOrthographic(*m_spRenderer, *spQuad, NiColorRGBA(0.0f, 0.0f, 1.0f, 1.0f)));
    ExpectCentreNear(0x40FF80, 2);

    // Set by name on the effect itself, a value the geometry does not give
    // stays: half the gain halves the colour.
    ASSERT_EQ(pkShader->GetD3DXEffect()->SetFloat("Gain", 0.5f), gfx::D3D_OK);
    ASSERT_TRUE(shader_test::DrawOrthographic(*m_spRenderer, *spQuad, NiColorRGBA(0.0f, 0.0f, 1.0f, 1.0f)));
    ExpectCentreNear(0x208040, 2);
    spQuad = nullptr;
}

// An effect's compiled pass takes its functions from an include found in the
// shader-program factory's directory (angle brackets) and in the effect
// library's own folder (quotes), and draws what they compute.
TEST_F(NiD3DXEffectDrawTest, AnHlslTechniqueIncludesFromTheProgramPathAndTheEffectFolder)
{
    if (m_spRenderer == nullptr)
        return;
    NiD3DShaderProgramFactory* pkPrograms = NiD3DShaderProgramFactory::GetInstance();
    ASSERT_NE(pkPrograms, nullptr);
    fs::create_directories(m_kRoot / "fx");
    fs::create_directories(m_kRoot / "programs");
    std::ofstream(m_kRoot / "programs" / "Colours.fxh") << "float4 Shade(float4 c) { return c * Level; }\n";
    std::ofstream(m_kRoot / "fx" / "level.fxh") << "float4 Level = {0.5, 1.0, 0.25, 1.0};\n";
    std::ofstream(m_kRoot / "fx" / "inc.fx")
        << "#include \"level.fxh\"\n"
           "#include <colours.fxh>\n"
           "float4 VS(float4 p : POSITION) : POSITION { return p; }\n"
           "float4 PS() : COLOR { return Shade(float4(1, 1, 1, 1)); }\n"
           "technique Inc { pass P { CullMode = None; VertexShader = compile vs_2_0 VS(); "
           "PixelShader = compile ps_2_0 PS(); } }\n";
    const std::string kPrograms = (m_kRoot / "programs").string();
    pkPrograms->AddProgramDirectory(kPrograms.c_str());
    const std::string kFolder = (m_kRoot / "fx").string();
    const char* apcFolders[] = {kFolder.c_str()};
    NiD3DXEffectShaderLib* pkLibrary = NiD3DXEffectShaderLib::Create(m_spRenderer, 1, apcFolders, false);
    pkPrograms->RemoveProgramDirectory(kPrograms.c_str());
    for (const shader_test::Report& kReport : TakeReports())
        ADD_FAILURE() << kReport.m_kText;
    ASSERT_NE(pkLibrary, nullptr);
    NiD3DShaderFactory::GetD3DShaderFactory()->InsertLibrary(pkLibrary);
    NiRefPtr<NiTriShape> spQuad = LoadQuad("Inc");
    ASSERT_NE(spQuad, nullptr);
    ASSERT_NE(NiDynamicCast<NiD3DXEffectShader>(spQuad->GetShader()), nullptr) << "the technique did not validate";
    spQuad->UpdateProperties();
    spQuad->Update(0.0f);
    ASSERT_TRUE(shader_test::DrawOrthographic(*m_spRenderer, *spQuad, NiColorRGBA(0.0f, 0.0f, 1.0f, 1.0f)));
    ExpectCentreNear(0x80FF40, 2);
    spQuad = nullptr;
}

namespace
{
// An effect whose technique shows what a volume sampler of the texture
// reads at three coordinates: two from the vertex input (pcInputs, the uv
// expression), the third the parameter Depth.
std::string VolumeEffect(const std::string& kTexture, const char* pcTechnique, const char* pcInputs,
                         const char* pcUV)
{
    return kTexture + "sampler3D VolumeSampler = sampler_state\n"
                      "{ Texture = <Volume>; MinFilter = Point; MagFilter = Point; MipFilter = None; };\n"
                      "float Depth = 0.25;\n"
                      "struct VOut { float4 pos : POSITION; float3 uvw : TEXCOORD0; };\n"
                      "VOut VS(" + pcInputs + ")\n"
                      "{\n"
                      "    VOut o;\n"
                      "    o.pos = pos;\n"
                      "    o.uvw = float3(" + pcUV + ", Depth);\n"
                      "    return o;\n"
                      "}\n"
                      "float4 PS(float3 uvw : TEXCOORD0) : COLOR { return tex3D(VolumeSampler, uvw); }\n"
                      "technique " + pcTechnique + "\n"
                      "{\n"
                      "    pass P { CullMode = None; VertexShader = compile vs_2_0 VS(); "
                      "PixelShader = compile ps_2_0 PS(); }\n"
                      "}\n";
}

// The quad drawn with the depth its extra data names (the effect's own
// default when not given).
void DrawAtDepth(NiRenderer& kRenderer, NiTriShape& kQuad, float fDepth)
{
    if (fDepth >= 0.0f)
    {
        auto* pkDepth = new NiFloatExtraData;
        pkDepth->SetName("Depth");
        pkDepth->SetValue(fDepth);
        kQuad.RemoveExtraData("Depth");
        ASSERT_TRUE(kQuad.AddExtraData(pkDepth));
    }
    ASSERT_TRUE(shader_test::DrawOrthographic(kRenderer, kQuad, NiColorRGBA(0.0f, 0.0f, 0.0f, 1.0f)));
}
} // namespace

// A volume texture named by an effect parameter, sampled by its technique at
// a depth the geometry sets: each slice shows on its own, and the two
// texels of a row keep their places.
TEST_F(NiD3DXEffectDrawTest, ATechniqueSamplesAVolumeTextureParameter)
{
    if (m_spRenderer == nullptr)
        return;
    WriteVolumeDds(m_kRoot / "slices.dds", 2, 1, 2, {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00});
    std::ofstream(m_kRoot / "slices.fx") << VolumeEffect("texture3D Volume < string name = \"" +
                                                             (m_kRoot / "slices.dds").string() +
                                                             "\"; string type = \"volume\"; >;\n",
                                                         "Slices", "float4 pos : POSITION",
                                                         "pos.x * 0.5 + 0.5, 0.5 - pos.y * 0.5");
    ASSERT_NE(InsertFolderLibrary(), nullptr);
    NiRefPtr<NiTriShape> spQuad = LoadQuad("Slices");
    ASSERT_NE(spQuad, nullptr);
    ASSERT_NE(NiDynamicCast<NiD3DXEffectShader>(spQuad->GetShader()), nullptr) << "the technique did not validate";
    spQuad->UpdateProperties();
    spQuad->Update(0.0f);

    DrawAtDepth(*m_spRenderer, *spQuad, -1.0f);
    ExpectQuarters(0xFF0000, 0x00FF00);
    DrawAtDepth(*m_spRenderer, *spQuad, 0.75f);
    ExpectQuarters(0x0000FF, 0xFFFF00);
    spQuad = nullptr;
}

// An engine texture made from a volume DDS file is the quad's base map; an
// effect's program reads it with three coordinates, the quad's own two and
// a depth, and shows the slice the depth picks.
TEST_F(NiD3DXEffectDrawTest, AVolumeSourceTextureIsDrawnWithThreeCoordinates)
{
    if (m_spRenderer == nullptr)
        return;
    // Engine textures reach the device through the current converter.
    NiImageConverter::SetCurrent(new NiImageFileConverter);
    const fs::path kFile = m_kRoot / "volume.dds";
    WriteVolumeDds(kFile, 2, 2, 2,
                   {0xFFFF0000, 0xFF00FF00, 0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF, 0xFF0000FF, 0xFFFFFFFF});
    std::ofstream(m_kRoot / "base3d.fx") << VolumeEffect("texture3D Volume < string NTM = \"base\"; >;\n", "Base3D",
                                                         "float4 pos : POSITION, float2 uv : TEXCOORD0", "uv");
    ASSERT_NE(InsertFolderLibrary(), nullptr);
    NiRefPtr<NiTriShape> spQuad = LoadQuad("Base3D", 0, true);
    ASSERT_NE(spQuad, nullptr);
    ASSERT_NE(NiDynamicCast<NiD3DXEffectShader>(spQuad->GetShader()), nullptr) << "the technique did not validate";

    NiSourceTexturePtr spVolume = NiSourceTexture::CreateFromFile(kFile.string().c_str(), NiTexture::FormatPrefs());
    ASSERT_NE(spVolume, nullptr);
    NiRefPtr<NiTexturingProperty> spTexturing = new NiTexturingProperty;
    auto* pkBase = new NiTextureMap(spVolume);
    pkBase->SetFilterMode(NiTextureMap::FILTER_NEAREST);
    spTexturing->SetMap(NiTexturingProperty::BASE_INDEX, pkBase);
    spQuad->AttachProperty(spTexturing);
    spQuad->UpdateProperties();
    spQuad->Update(0.0f);

    DrawAtDepth(*m_spRenderer, *spQuad, 0.75f);
    // The device texture is the file's volume.
    NiDX9TextureData* pkData = NiDX9TextureManager::GetData(spVolume);
    ASSERT_NE(pkData, nullptr);
    ASSERT_NE(pkData->GetD3DTexture(), nullptr);
    EXPECT_EQ(pkData->GetD3DTexture()->GetType(), gfx::D3DRTYPE_VOLUMETEXTURE);
    ExpectQuarters(0x0000FF, 0xFFFFFF);
    DrawAtDepth(*m_spRenderer, *spQuad, 0.25f);
    ExpectQuarters(0xFF0000, 0x00FF00);
    spQuad = nullptr;
    spTexturing = nullptr;
    spVolume = nullptr;
}
