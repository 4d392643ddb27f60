#include "engine/shaders/effect/NiD3DXEffectFile.h"
#include "engine/shaders/effect/NiD3DXEffectParameter.h"
#include "engine/shaders/effect/NiD3DXEffectShaderLib.h"
#include "engine/shaders/effect/NiD3DXEffectStateManager.h"
#include "engine/render/NiDX9RenderState.h"
#include "engine/scene/NiFloatExtraData.h"
#include "engine/scene/NiIntegerExtraData.h"
#include "engine/scene/NiMaterialProperty.h"
#include "engine/scene/NiPropertySet.h"
#include "engine/scene/NiTexturingProperty.h"
#include "engine/scene/NiTriShape.h"
#include "engine/shaders/effect/NiD3DXEffectTechnique.h"
#include "engine/shaders/framework/NiD3DShaderFactory.h"
#include "engine/shaders/framework/NiD3DVertexShaderConstantMap.h"
#include "engine/shaders/nsb/NiD3DShaderLibraryStatics.h"
#include "engine/shaders/nsb/NiShaderLibraryDesc.h"
#include "tests/engine/shaders/framework/ShaderTestSupport.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace
{
std::uint32_t Predefined(const char* pcName)
{
    std::uint32_t uiCount = 0;
    const auto* pkNames = NiD3DVertexShaderConstantMap::GetPredefinedNames(uiCount);
    for (std::uint32_t ui = 0; ui < uiCount; ++ui)
        if (std::string(pkNames[ui].m_pcName) == pcName)
            return pkNames[ui].m_uiMapping;
    return 0;
}

gfx::ID3DXEffectCompiler* Compile(const std::string& kText)
{
    gfx::ID3DXEffectCompiler* pkCompiler = nullptr;
    gfx::ID3DXBuffer* pkErrors = nullptr;
    gfx::D3DXCreateEffectCompiler(kText.data(), static_cast<std::uint32_t>(kText.size()), nullptr, nullptr, 0,
                                  &pkCompiler, &pkErrors);
    if (pkErrors != nullptr)
    {
        ADD_FAILURE() << static_cast<const char*>(pkErrors->GetBufferPointer());
        pkErrors->Release();
    }
    return pkCompiler;
}

class EffectTest : public shader_test::ShaderTest
{
protected:
    void SetUp() override
    {
        ShaderTest::SetUp();
        m_kRoot = fs::temp_directory_path() /
                  ("effect_" + std::to_string(::getpid()) + "_" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_kRoot);
        fs::create_directories(m_kRoot);
    }
    void TearDown() override
    {
        NiD3DXEffectShaderLib::ReleaseEffectFileList();
        NiD3DXEffectFactory::Shutdown();
        fs::remove_all(m_kRoot);
        ShaderTest::TearDown();
    }
    void Write(const fs::path& kFile, const std::string& kText)
    {
        fs::create_directories(kFile.parent_path());
        std::ofstream(kFile) << kText;
    }
    fs::path m_kRoot;
};
} // namespace

// The suffix rules on semantics, both majors.
TEST(NiD3DXEffectParameterTest, SemanticsFindPredefinedValuesByTheSuffixRules)
{
    struct Row
    {
        const char* pcSemantic;
        bool bColumnMajor;
        const char* pcExpected; // null: none
    };
    const Row akRows[] = {
        {"WorldViewProjection", false, "WorldViewProjection"},
        {"worldviewprojection", true, "WorldViewProjection"},
        {"WorldViewProjIT", false, "InvWorldViewProjTranspose"},
        {"WorldViewProjIT", true, "InvWorldViewProj"},
        {"WorldTrans", false, "WorldTranspose"},
        {"WorldTranspose", true, "WorldTranspose"}, // found as written first
        {"ViewI", false, "InvView"},
        {"ViewInverse", false, "InvView"},
        {"ViewInverseTranspose", true, "InvView"},
        {"Attribute", false, nullptr},
        {"Wibble", false, nullptr},
        {"it", false, nullptr},
    };
    for (const Row& kRow : akRows)
    {
        std::uint32_t uiArray = 0;
        const std::uint32_t uiNumber = NiD3DXEffectParameter::LookUpPredefined(kRow.pcSemantic, kRow.bColumnMajor, 5, uiArray);
        EXPECT_EQ(uiNumber, kRow.pcExpected ? Predefined(kRow.pcExpected) : 0u) << kRow.pcSemantic;
        EXPECT_EQ(uiArray, 1u);
    }
    std::uint32_t uiArray = 0;
    EXPECT_EQ(NiD3DXEffectParameter::LookUpPredefined("SkinBoneMatrix3", false, 20, uiArray), Predefined("SkinBoneMatrix3"));
    EXPECT_EQ(uiArray, 20u);
}

TEST_F(EffectTest, ParametersAreClassifiedByTypeSemanticAndAnnotations)
{
    Write(m_kRoot / "present.dds", "DDS ");
    const std::string kText =
        "float4x4 WVP : WorldViewProjection;\n"
        "float Weight : Attribute < float min = 1; float max = 3; > = 2;\n"
        "float LowGlobal : global = 1;\n"
        "float4 Tint : GLOBAL < bool color = true; > = {1, 0.5, 0.25, 1};\n"
        "float3 Shine : GLOBAL < string UIWidget = \"ColorSwatch\"; > = {1, 1, 1};\n"
        "float Ignored : StandardsGlobal;\n"
        "int Count < int min = 0; int max = 0; > = 7;\n"
        "bool Flag < bool hidden = true; > = true;\n"
        "float3 Offset = {1, 2, 3};\n"
        "row_major float3x3 Basis = {1, 2, 3, 4, 5, 6, 7, 8, 9};\n"
        "float4x4 Palette[20] : SkinBoneMatrix4;\n"
        "string Name = \"x\";\n"
        "texture Decal < string NTM = \"Decal\"; int NTMIndex = 2; >;\n"
        "texture First;\n"
        "texture Second < string name = \"missing.dds\"; >;\n"
        "texture Present < string name = \"" + (m_kRoot / "present.dds").string() + "\"; string type = \"cube\"; >;\n"
        "texture Made < string function = \"Noise\"; >;\n"
        "texture Base < string NTM = \"BASE\"; >;\n"
        "texture Own < string NTM = \"custom\"; int NTMIndex = 4; >;\n"
        "texture1D Line;\n";
    gfx::ID3DXEffectCompiler* pkEffect = Compile(kText);
    ASSERT_NE(pkEffect, nullptr);
    NSBAttributeTable kTable;
    std::uint32_t uiShaderMap = 0;
    struct Expect
    {
        const char* pcName;
        bool bDescribed;
        std::uint32_t uiKind;
        bool bGlobal;
    };
    const Expect akExpected[] = {
        {"WVP", true, 7, false},       {"Weight", true, 3, false},   {"LowGlobal", true, 3, false},
        {"Tint", true, 2, true},       {"Shine", true, 2, true},     {"Ignored", false, 0, false},
        {"Count", true, 5, false},     {"Flag", true, 4, false},     {"Offset", true, 2, false},
        {"Basis", true, 1, false},     {"Palette", true, 7, false},  {"Name", false, 0, false},
        {"Decal", true, 6, false},     {"First", true, 6, false},    {"Second", true, 6, false},
        {"Present", true, 6, false},   {"Made", true, 6, false},     {"Base", true, 6, false},
        {"Own", true, 6, false},       {"Line", false, 0, false},
    };
    std::vector<std::unique_ptr<NiD3DXEffectParameter>> kParameters;
    for (std::uint32_t ui = 0; ui < std::size(akExpected); ++ui)
    {
        const Expect& e = akExpected[ui];
        SCOPED_TRACE(e.pcName);
        NiD3DXEffectParameterDesc kDesc;
        const bool bDescribed =
            NiD3DXEffectParameter::DescribeParameter(pkEffect, pkEffect->GetParameter(nullptr, ui), uiShaderMap, kDesc);
        ASSERT_EQ(bDescribed, e.bDescribed);
        if (!bDescribed)
            continue;
        EXPECT_EQ(kDesc.m_uiKind, e.uiKind);
        EXPECT_EQ(kDesc.m_bGlobal, e.bGlobal);
        auto pkParameter = std::make_unique<NiD3DXEffectParameter>();
        EXPECT_TRUE(pkParameter->Initialize(kDesc, kTable));
        kParameters.push_back(std::move(pkParameter));
    }
    auto find = [&](const char* pcName) -> NiD3DXEffectParameter* {
        for (const auto& p : kParameters)
            if (std::string(p->GetName()) == pcName)
                return p.get();
        return nullptr;
    };
    EXPECT_EQ(find("WVP")->GetPredefined(), Predefined("WorldViewProjection"));
    EXPECT_EQ(find("Palette")->GetArrayCount(), 20u);
    EXPECT_EQ(find("Decal")->GetTextureMap(), 0x1000002u);
    EXPECT_EQ(find("First")->GetTextureMap(), 0x2000000u);
    EXPECT_EQ(find("Second")->GetTextureMap(), 0x2000001u); // its file is missing
    EXPECT_EQ(find("Present")->GetTextureMap(), 0u);
    EXPECT_EQ(find("Present")->GetFileName(), (m_kRoot / "present.dds").string());
    EXPECT_EQ(find("Present")->GetTextureType(), 3u);
    EXPECT_EQ(find("Made")->GetFunction(), "Noise");
    EXPECT_EQ(find("Made")->GetTarget(), "tx_1_0");
    EXPECT_EQ(find("Base")->GetTextureMap(), 0x200000u);
    EXPECT_EQ(find("Own")->GetTextureMap(), 0x2000004u);
    EXPECT_EQ(find("Basis")->GetElementCount(), 9u);

    // Attributes in the table, globals with the factory.
    EXPECT_NE(kTable.GetAttribDescByName("Weight"), nullptr);
    EXPECT_NE(kTable.GetAttribDescByName("LowGlobal"), nullptr); // "global" is not GLOBAL
    EXPECT_EQ(kTable.GetAttribDescByName("Tint"), nullptr);
    EXPECT_NE(kTable.GetAttribDescByName("Own"), nullptr);
    EXPECT_EQ(kTable.GetAttribDescByName("Decal"), nullptr);
    NSBAttributeDesc* pkCount = kTable.GetAttribDescByName("Count");
    ASSERT_NE(pkCount, nullptr);
    EXPECT_FALSE(pkCount->IsRanged());
    EXPECT_TRUE(kTable.GetAttribDescByName("Weight")->IsRanged());
    EXPECT_TRUE(kTable.GetAttribDescByName("Flag")->IsHidden());
    std::uint32_t uiSize = 0;
    const void* pvData = nullptr;
    ASSERT_TRUE(NiD3DShaderFactory::RetrieveGlobalData("Tint", uiSize, pvData));
    EXPECT_EQ(uiSize, 16u);
    ASSERT_TRUE(NiD3DShaderFactory::RetrieveGlobalData("Shine", uiSize, pvData));
    EXPECT_EQ(uiSize, 16u); // a colour is four floats whatever its components
    EXPECT_EQ(static_cast<const float*>(pvData)[0], 1.0f);
    NiD3DShaderFactory::ReleaseGlobalData("Tint");
    NiD3DShaderFactory::ReleaseGlobalData("Shine");
    pkEffect->Release();
}

TEST_F(EffectTest, TechniquesFormSetsByShaderNameAndImplementation)
{
    const fs::path kFile = m_kRoot / "Skin.FX";
    Write(kFile,
          "float4 Colour : Attribute;\n"
          "float Unused;\n"
          "float4x4 Palette[30] : BoneMatrix3;\n"
          "float T : time;\n"
          "technique A < string ShaderName = \"Skin\"; int IMPLEMENTATION = 0; string nbtmethod = \"max\";\n"
          "              string desc = \"first\"; int BonesPerPartition = 20; >\n"
          "{ pass { VertexShader = asm { vs_2_0\ndcl_position v0\nmov oPos, v0\n}; TextureFactor = <Colour>; }\n"
          "  pass { VertexShader = asm { vs_1_1\ndcl_position v0\nmov oPos, v0\n}; } }\n"
          "technique B < string shadername = \"Skin\"; int implementation = 1; string nbtmethod = \"other\"; >\n"
          "{ pass { FogStart = <T>; } }\n"
          "technique C < string shadername = \"Skin\"; int implementation = 1; > { pass { } }\n"
          "technique Alone { pass { Lighting = false; } }\n"
          "technique Far < int implementation = 300; > { pass { } }\n");
    CreateRenderer();
    NiD3DXEffectFactory::SetD3DDevice(m_spRenderer->GetD3DDevice());
    NiD3DXEffectFile* pkFile = nullptr;
    ASSERT_TRUE(NiD3DXEffectFactory::CompileEffectFile(kFile.c_str(), pkFile));
    ASSERT_NE(pkFile, nullptr);
    EXPECT_TRUE(pkFile->IsCreatedWithDevice());
    ASSERT_EQ(pkFile->GetTechniqueSetCount(), 2u);
    NiD3DXEffectTechniqueSet* pkSkin = pkFile->GetTechniqueSet("Skin");
    ASSERT_NE(pkSkin, nullptr);
    EXPECT_EQ(pkSkin->GetTechniqueCount(), 2u);
    NiD3DXEffectTechnique* pkA = pkSkin->GetTechnique(0);
    ASSERT_NE(pkA, nullptr);
    EXPECT_EQ(pkA->GetTechniqueName(), "A");
    EXPECT_EQ(pkSkin->GetTechnique(1)->GetTechniqueName(), "C"); // the later one replaces B
    EXPECT_NE(pkFile->GetTechniqueSet("Alone"), nullptr);
    EXPECT_EQ(pkFile->GetTechniqueSet("Far"), nullptr);
    EXPECT_EQ(pkFile->GetRejectedTechniqueCount(), 1u);
    EXPECT_EQ(pkA->GetRequirements()->GetBinormalTangentMethod(), 0x2000u);
    EXPECT_EQ(pkA->GetRequirements()->GetMaxVertexShaderVersion(), gfx::D3DVS_VERSION(2, 0));
    EXPECT_EQ(pkA->GetRequirements()->GetBonesPerPartition(), 20u);
    EXPECT_EQ(pkA->GetPassCount(), 2u);
    EXPECT_TRUE(pkA->AllPassesHaveVertexShaders());
    EXPECT_FALSE(pkA->AnyPassHasPixelShader());
    EXPECT_NE(pkA->GetTechniqueHandle(), nullptr);
    // Parameters: only used ones stay; the time value marks B.
    EXPECT_EQ(pkFile->GetParameterCount(), 2u);
    ASSERT_EQ(pkA->GetParameters().size(), 1u);
    EXPECT_STREQ(pkA->GetParameters()[0]->GetName(), "Colour");
    EXPECT_FALSE(pkA->UsesTime());

    // The set's description.
    NiShaderDesc* pkDesc = pkSkin->CreateShaderDesc(pkFile->GetAttributeTable());
    EXPECT_EQ(pkSkin->CreateShaderDesc(pkFile->GetAttributeTable()), pkDesc);
    EXPECT_STREQ(pkDesc->GetName(), "Skin");
    EXPECT_STREQ(pkDesc->GetDescription(), "first");
    EXPECT_EQ(pkDesc->GetNumberOfImplementations(), 2u);
    EXPECT_EQ(pkDesc->GetMaxVertexShaderVersion(), gfx::D3DVS_VERSION(2, 0));
    EXPECT_NE(pkDesc->GetAttribute("Colour"), nullptr);

    // The device goes: the effect object with it, the parse stays.
    NiD3DXEffectFactory::GetInstance()->AddFile(pkFile);
    NiD3DXEffectFactory::SetD3DDevice(nullptr);
    EXPECT_EQ(pkFile->GetEffect(), nullptr);
    EXPECT_EQ(pkA->GetTechniqueHandle(), nullptr);
    EXPECT_EQ(NiD3DXEffectFactory::GetInstance()->GetReleaseCount(), 1u);
    EXPECT_EQ(pkFile->GetTechniqueSetCount(), 2u);
    delete pkFile;
    EXPECT_EQ(NiD3DXEffectFactory::GetInstance()->GetFile(kFile.c_str()), nullptr);
}

// A tree of files: ".fx" in any case, never ".fxo", folders only when asked;
// a file that does not compile is skipped; a later file wins a technique name.
TEST_F(EffectTest, TheLibraryCollectsCompilesAndRegistersFiles)
{
    Write(m_kRoot / "a.fx", "technique Shared { pass { } }\ntechnique OnlyA < string shadername = \"SetA\"; > { pass { } }\n");
    Write(m_kRoot / "b.FX", "technique Shared { pass { Lighting = true; } }\n");
    Write(m_kRoot / "c.fxo", "technique Never { pass { } }\n");
    Write(m_kRoot / "broken.fx", "float x = ;\n");
    Write(m_kRoot / "deeper" / "d.fx", "technique Deep { pass { } }\n");
    const std::string kRoot = m_kRoot.string();
    const char* apcDirectories[] = {kRoot.c_str()};

    CreateRenderer();
    NiD3DXEffectShaderLib* pkLibrary = NiD3DXEffectShaderLib::Create(m_spRenderer, 1, apcDirectories, false);
    ASSERT_NE(pkLibrary, nullptr);
    NiShaderLibraryBasePtr spKeep = pkLibrary;
    EXPECT_EQ(pkLibrary->GetFileCount(), 2u);
    NiD3DXEffectFile* pkShared = pkLibrary->GetFileOfTechnique("Shared");
    ASSERT_NE(pkShared, nullptr);
    EXPECT_NE(std::string(pkShared->GetName()).find("b.FX"), std::string::npos);
    EXPECT_NE(pkLibrary->GetFileOfTechnique("OnlyA"), nullptr);
    EXPECT_EQ(pkLibrary->GetFileOfTechnique("SetA"), nullptr); // a set's name is no technique name
    EXPECT_EQ(pkLibrary->GetFileOfTechnique("Never"), nullptr);
    EXPECT_EQ(pkLibrary->GetFileOfTechnique("Deep"), nullptr);
    ASSERT_NE(pkLibrary->GetLibraryDesc(), nullptr);
    EXPECT_EQ(pkLibrary->GetLibraryDesc()->GetShaderCount(), 3u);
    bool bFailed = false;
    for (const shader_test::Report& kReport : TakeReports())
        bFailed |= kReport.m_kText.find("Failed to compile D3D Effect using Temp Device:\n ") == 0 &&
                   kReport.m_kText.find("broken.fx(1): value expected before ';'") != std::string::npos;
    EXPECT_TRUE(bFailed);
    // Compiled on the renderer's device at once.
    EXPECT_TRUE(pkShared->IsCreatedWithDevice());
    spKeep = nullptr;
    NiD3DXEffectShaderLib::ReleaseEffectFileList();

    apcDirectories[0] = kRoot.c_str();
    NiD3DXEffectShaderLib* pkDeep = NiD3DXEffectShaderLib::Create(m_spRenderer, 1, apcDirectories, true);
    ASSERT_NE(pkDeep, nullptr);
    spKeep = pkDeep;
    EXPECT_NE(pkDeep->GetFileOfTechnique("Deep"), nullptr);
    spKeep = nullptr;

    EXPECT_EQ(NiD3DXEffectShaderLib::Create(nullptr, 1, apcDirectories, true), nullptr);
    const std::string kEmpty = (m_kRoot / "deeper" / "none").string();
    fs::create_directories(kEmpty);
    const char* apcEmpty[] = {kEmpty.c_str()};
    NiD3DXEffectShaderLib::ReleaseEffectFileList();
    EXPECT_EQ(NiD3DXEffectShaderLib::Create(m_spRenderer, 1, apcEmpty, true), nullptr);

    // The shader libraries' shut-down lets the list and the factory go.
    ASSERT_NE(NiD3DXEffectFactory::GetInstance(), nullptr);
    NiD3DShaderLibraryStatics::Startup();
    NiD3DShaderLibraryStatics::Shutdown();
    EXPECT_EQ(NiD3DXEffectFactory::PeekInstance(), nullptr);
    EXPECT_EQ(NiD3DXEffectShaderLib::GetEffectFileList(), nullptr);
}

// Without a device the file is read through a compiler object, kept parsed,
// and compiled on the device at its first use.
TEST_F(EffectTest, AFileReadWithoutADeviceIsCompiledOnTheDeviceLater)
{
    const fs::path kFile = m_kRoot / "late.fx";
    Write(kFile, "float4 C : Attribute;\nfloat Unused;\ntechnique T { pass { TextureFactor = <C>; } }\n");
    NiD3DXEffectFile* pkFile = NiD3DXEffectFactory::LoadEffectFile(kFile.c_str());
    ASSERT_NE(pkFile, nullptr);
    EXPECT_FALSE(pkFile->IsCreatedWithDevice());
    EXPECT_EQ(pkFile->GetEffect(), nullptr);
    EXPECT_TRUE(pkFile->IsParsed());
    EXPECT_EQ(pkFile->GetParameterCount(), 2u); // without the effect interface every parameter counts as used
    EXPECT_EQ(NiD3DXEffectFactory::LoadEffectFile(kFile.c_str()), pkFile); // no renderer: as it is

    CreateRenderer();
    NiD3DXEffectFactory::SetRenderer(m_spRenderer);
    EXPECT_EQ(NiD3DXEffectFactory::LoadEffectFile(kFile.c_str()), pkFile);
    EXPECT_TRUE(pkFile->IsCreatedWithDevice());
    EXPECT_NE(pkFile->GetTechnique("T", 0)->GetTechniqueHandle(), nullptr);
    EXPECT_EQ(NiD3DXEffectFactory::LoadEffectFile((m_kRoot / "late.fxo").c_str()), nullptr);
    NiD3DXEffectFactory::SetRenderer(nullptr);
    EXPECT_EQ(pkFile->GetEffect(), nullptr);
    delete pkFile;
}

// Effect passes set states through the one manager into the renderer's
// cache: cache and device agree afterwards.
TEST_F(EffectTest, TheStateManagerKeepsTheCacheTrue)
{
    CreateRenderer();
    NiDX9RenderState* pkCache = m_spRenderer->GetRenderState();
    gfx::IDirect3DDevice9* pkDevice = m_spRenderer->GetD3DDevice();
    EXPECT_EQ(NiD3DXEffectStateManager::GetInstance(nullptr), nullptr);
    NiD3DXEffectStateManager* pkManager = NiD3DXEffectStateManager::GetInstance(m_spRenderer);
    ASSERT_NE(pkManager, nullptr);
    EXPECT_EQ(NiD3DXEffectStateManager::GetInstance(m_spRenderer), pkManager);
    EXPECT_EQ(pkManager->GetRefCount(), 0u);

    void* pvOut = reinterpret_cast<void*>(1);
    EXPECT_EQ(pkManager->QueryInterface(gfx::IID_ID3DXEffect, &pvOut), gfx::E_NOINTERFACE);
    EXPECT_EQ(pvOut, nullptr);
    ASSERT_EQ(pkManager->QueryInterface(gfx::IID_IUnknown, &pvOut), gfx::D3D_OK);
    EXPECT_EQ(pvOut, static_cast<gfx::ID3DXEffectStateManager*>(pkManager));
    EXPECT_EQ(pkManager->GetRefCount(), 1u);

    const std::string kText = "technique T { pass {\n"
                              "  AlphaBlendEnable = true; SrcBlend = SrcAlpha; DestBlend = InvSrcAlpha;\n"
                              "  ColorOp[0] = Modulate; MagFilter[1] = Point; AddressU[15] = Mirror; } }\n";
    gfx::ID3DXEffect* pkEffect = nullptr;
    ASSERT_EQ(gfx::D3DXCreateEffect(pkDevice, kText.data(), std::uint32_t(kText.size()), nullptr, nullptr, 0, nullptr,
                                    &pkEffect, nullptr),
              gfx::D3D_OK);
    ASSERT_EQ(pkEffect->SetStateManager(pkManager), gfx::D3D_OK);
    EXPECT_EQ(pkManager->GetRefCount(), 2u);
    pkManager->Release();
    EXPECT_EQ(pkManager->GetRefCount(), 1u);
    std::uint32_t uiPasses = 0;
    ASSERT_EQ(pkEffect->Begin(&uiPasses, 7), gfx::D3D_OK);
    ASSERT_EQ(pkEffect->BeginPass(0), gfx::D3D_OK);
    struct Render
    {
        std::uint32_t uiState, uiValue;
    };
    for (const Render& k : {Render{gfx::D3DRS_ALPHABLENDENABLE, 1}, Render{gfx::D3DRS_SRCBLEND, gfx::D3DBLEND_SRCALPHA},
                            Render{gfx::D3DRS_DESTBLEND, gfx::D3DBLEND_INVSRCALPHA}})
    {
        std::uint32_t uiDevice = 0;
        ASSERT_EQ(pkDevice->GetRenderState(k.uiState, &uiDevice), gfx::D3D_OK);
        EXPECT_EQ(uiDevice, k.uiValue);
        EXPECT_EQ(pkCache->GetRenderState(k.uiState), k.uiValue);
    }
    std::uint32_t uiDevice = 0;
    ASSERT_EQ(pkDevice->GetTextureStageState(0, gfx::D3DTSS_COLOROP, &uiDevice), gfx::D3D_OK);
    EXPECT_EQ(uiDevice, gfx::D3DTOP_MODULATE);
    EXPECT_EQ(pkCache->GetTextureStageState(0, gfx::D3DTSS_COLOROP), gfx::D3DTOP_MODULATE);
    ASSERT_EQ(pkDevice->GetSamplerState(1, gfx::D3DSAMP_MAGFILTER, &uiDevice), gfx::D3D_OK);
    EXPECT_EQ(uiDevice, gfx::D3DTEXF_POINT);
    EXPECT_EQ(pkCache->GetSamplerState(1, gfx::D3DSAMP_MAGFILTER - 1), gfx::D3DTEXF_POINT);
    ASSERT_EQ(pkDevice->GetSamplerState(15, gfx::D3DSAMP_ADDRESSU, &uiDevice), gfx::D3D_OK);
    EXPECT_EQ(uiDevice, gfx::D3DTADDRESS_MIRROR);
    ASSERT_EQ(pkEffect->EndPass(), gfx::D3D_OK);
    ASSERT_EQ(pkEffect->End(), gfx::D3D_OK);

    // Registers the cache does not have: refused as an invalid call.
    const float afValue[4] = {1, 2, 3, 4};
    const std::int32_t aiValue[4] = {1, 2, 3, 4};
    NiDX9ShaderConstantCache* pkConstants = pkCache->GetShaderConstantCache();
    const std::uint32_t uiFloats =
        pkConstants->GetRegisterCount(NiD3DShaderConstantCache::KIND_FLOAT, NiD3DShaderConstantCache::STAGE_PIXEL);
    EXPECT_EQ(pkManager->SetVertexShaderConstantF(100000, afValue, 1), gfx::D3DERR_INVALIDCALL);
    EXPECT_EQ(pkManager->SetPixelShaderConstantF(uiFloats, afValue, 1), gfx::D3DERR_INVALIDCALL);
    EXPECT_EQ(pkManager->SetPixelShaderConstantB(100000, aiValue, 1), gfx::D3DERR_INVALIDCALL);
    EXPECT_EQ(pkManager->SetSamplerState(300, gfx::D3DSAMP_ADDRESSU, 1), gfx::D3D_OK); // straight on
    EXPECT_EQ(pkManager->SetSamplerState(0, 99, 1), gfx::D3D_OK);

    // The last reference goes with the effect; the next request makes a new one.
    EXPECT_EQ(pkEffect->Release(), 0u);
    EXPECT_EQ(NiD3DXEffectStateManager::PeekInstance(), nullptr);
}

// Predefined values per draw, read back from the effect.
TEST_F(EffectTest, PredefinedValuesAreSetPerDraw)
{
    CreateRenderer();
    const std::string kText = "float4x4 W : World; float4x4 WT : WorldTranspose; float4x4 IV : ViewI;\n"
                              "float4 D : MaterialDiffuse; float P : MaterialPower; float4 S : TaylorSin;\n"
                              "float4 C : TaylorCos; float T : time; float4 SCT : time_sin_cos_tan;\n"
                              "float4x4 TB : TexTransformBase; float4x4 TD : TexTransformDecal < int NTMIndex = 2; >;\n"
                              "float4 E : EyePos;\n"
                              "technique X { pass { } }\n";
    gfx::ID3DXEffect* pkEffect = nullptr;
    ASSERT_EQ(gfx::D3DXCreateEffect(m_spRenderer->GetD3DDevice(), kText.data(), std::uint32_t(kText.size()), nullptr,
                                    nullptr, 0, nullptr, &pkEffect, nullptr),
              gfx::D3D_OK);
    NSBAttributeTable kTable;
    std::uint32_t uiMap = 0;
    std::vector<std::unique_ptr<NiD3DXEffectParameter>> kParameters;
    for (std::uint32_t ui = 0; pkEffect->GetParameter(nullptr, ui); ++ui)
    {
        NiD3DXEffectParameterDesc kDesc;
        ASSERT_TRUE(NiD3DXEffectParameter::DescribeParameter(pkEffect, pkEffect->GetParameter(nullptr, ui), uiMap, kDesc));
        ASSERT_EQ(kDesc.m_uiKind, NiD3DXEffectParameterDesc::KIND_PREDEFINED) << kDesc.m_kName;
        kParameters.push_back(std::make_unique<NiD3DXEffectParameter>());
        ASSERT_TRUE(kParameters.back()->Initialize(kDesc, kTable));
        kParameters.back()->LinkHandle(pkEffect);
    }
    auto* pkVertex = new NiVec3[3]{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    auto* pusList = new std::uint16_t[3]{0, 1, 2};
    NiRefPtr<NiTriShape> spShape =
        new NiTriShape(new NiTriShapeData(3, pkVertex, nullptr, nullptr, nullptr, 0, 0, 1, pusList));
    NiRefPtr<NiPropertySet> spState = new NiPropertySet();
    NiRefPtr<NiMaterialProperty> spMaterial = new NiMaterialProperty();
    spMaterial->SetDiffuseColor(NiColorRGB(0.25f, 0.5f, 0.75f));
    spMaterial->SetAlpha(0.5f);
    spMaterial->SetShineness(12.0f);
    spState->SetProperty(spMaterial);

    // Without "ZRB_UpdateTime" the time values fail; the others succeed.
    for (const auto& p : kParameters)
        EXPECT_EQ(p->SetParameter(pkEffect, m_spRenderer, spShape, nullptr, nullptr, spState), !p->IsTimeValue())
            << p->GetName();
    auto* pkTime = new NiFloatExtraData(0.5f);
    pkTime->SetName("ZRB_UpdateTime");
    ASSERT_TRUE(spShape->AddExtraData(pkTime));
    for (const auto& p : kParameters)
        EXPECT_TRUE(p->SetParameter(pkEffect, m_spRenderer, spShape, nullptr, nullptr, spState)) << p->GetName();

    gfx::D3DXMATRIX kM, kWorld = m_spRenderer->GetD3DModel();
    ASSERT_EQ(pkEffect->GetMatrix("W", &kM), gfx::D3D_OK);
    EXPECT_EQ(std::memcmp(&kM, &kWorld, sizeof(kM)), 0);
    ASSERT_EQ(pkEffect->GetMatrixTranspose("WT", &kM), gfx::D3D_OK); // set transposed: reads back as written
    EXPECT_EQ(std::memcmp(&kM, &kWorld, sizeof(kM)), 0);
    gfx::D3DXVECTOR4 kV;
    ASSERT_EQ(pkEffect->GetVector("D", &kV), gfx::D3D_OK);
    EXPECT_EQ(kV.y, 0.5f);
    EXPECT_EQ(kV.w, 0.5f);
    float f = 0;
    ASSERT_EQ(pkEffect->GetFloat("P", &f), gfx::D3D_OK);
    EXPECT_EQ(f, 12.0f);
    ASSERT_EQ(pkEffect->GetVector("S", &kV), gfx::D3D_OK);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(kV.y), 0xBE257EB5u);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(kV.w), 0xB9500C47u);
    ASSERT_EQ(pkEffect->GetVector("C", &kV), gfx::D3D_OK);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(kV.w), 0x37D00D01u);
    ASSERT_EQ(pkEffect->GetFloat("T", &f), gfx::D3D_OK);
    EXPECT_EQ(f, 0.5f);
    ASSERT_EQ(pkEffect->GetVector("SCT", &kV), gfx::D3D_OK);
    EXPECT_EQ(kV.x, std::sin(0.5f));
    EXPECT_EQ(kV.w, 0.5f);
    // Missing maps give identity.
    ASSERT_EQ(pkEffect->GetMatrix("TD", &kM), gfx::D3D_OK);
    EXPECT_EQ(kM.m[0][0], 1.0f);
    EXPECT_EQ(kM.m[3][3], 1.0f);
    ASSERT_EQ(pkEffect->GetVector("E", &kV), gfx::D3D_OK);
    EXPECT_EQ(kV.x, 0.0f); // eye values set nothing

    // A time of another class is no time.
    spShape->RemoveExtraData("ZRB_UpdateTime");
    auto* pkOther = new NiIntegerExtraData(3);
    pkOther->SetName("ZRB_UpdateTime");
    ASSERT_TRUE(spShape->AddExtraData(pkOther));
    for (const auto& p : kParameters)
    {
        if (p->IsTimeValue())
        {
            EXPECT_FALSE(p->SetParameter(pkEffect, m_spRenderer, spShape, nullptr, nullptr, spState));
        }
    }
    kParameters.clear();
    EXPECT_EQ(pkEffect->Release(), 0u);
}

// Texture maps by code: the standard slots, decals and shader maps by index.
TEST_F(EffectTest, MapCodesFindTheObjectsTextures)
{
    CreateRenderer();
    NiRefPtr<NiPropertySet> spState = new NiPropertySet();
    EXPECT_EQ(NiD3DXEffectParameter::GetTexture(m_spRenderer, spState, NiD3DXEffectParameter::MAP_BASE), nullptr);
    NiRefPtr<NiTexturingProperty> spTexturing = new NiTexturingProperty();
    spTexturing->SetMap(NiTexturingProperty::BASE_INDEX, new NiTextureMap(shader_test::MakeTexture(4, 0xFF00FF00)));
    spTexturing->SetMap(NiTexturingProperty::GLOW_INDEX, new NiTextureMap(shader_test::MakeTexture(4, 0xFF0000FF)));
    spState->SetProperty(spTexturing);
    gfx::IDirect3DBaseTexture9* pkBase =
        NiD3DXEffectParameter::GetTexture(m_spRenderer, spState, NiD3DXEffectParameter::MAP_BASE);
    gfx::IDirect3DBaseTexture9* pkGlow =
        NiD3DXEffectParameter::GetTexture(m_spRenderer, spState, NiD3DXEffectParameter::MAP_GLOW);
    ASSERT_NE(pkBase, nullptr);
    ASSERT_NE(pkGlow, nullptr);
    EXPECT_NE(pkBase, pkGlow);
    EXPECT_EQ(NiD3DXEffectParameter::GetTexture(m_spRenderer, spState, NiD3DXEffectParameter::MAP_DARK), nullptr);
    EXPECT_EQ(NiD3DXEffectParameter::GetTexture(m_spRenderer, spState, NiD3DXEffectParameter::MAP_DECAL | 0), nullptr);
    EXPECT_EQ(NiD3DXEffectParameter::GetTexture(m_spRenderer, spState, NiD3DXEffectParameter::MAP_SHADER | 2), nullptr);
    EXPECT_EQ(NiD3DXEffectParameter::GetTexture(nullptr, spState, NiD3DXEffectParameter::MAP_BASE), nullptr);
}
