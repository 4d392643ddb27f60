#include "engine/shaders/effect/NiD3DXEffectShader.h"

#include "engine/render/NiDX9RenderState.h"
#include "engine/scene/NiBooleanExtraData.h"
#include "engine/scene/NiColorExtraData.h"
#include "engine/scene/NiFloatExtraData.h"
#include "engine/scene/NiFloatsExtraData.h"
#include "engine/scene/NiIntegerExtraData.h"
#include "engine/scene/NiPropertySet.h"
#include "engine/scene/NiTexturingProperty.h"
#include "engine/scene/NiUIntExtraData.h"
#include "engine/scene/NiTriShape.h"
#include "engine/shaders/effect/NiD3DXEffectFile.h"
#include "engine/shaders/effect/NiD3DXEffectParameter.h"
#include "engine/shaders/effect/NiD3DXEffectShaderLib.h"
#include "engine/shaders/effect/NiD3DXEffectStateManager.h"
#include "engine/shaders/effect/NiD3DXEffectTechnique.h"
#include "engine/shaders/framework/NiD3DShaderDeclaration.h"
#include "engine/shaders/framework/NiD3DShaderFactory.h"
#include "engine/shaders/framework/NiD3DTimeSyncController.h"
#include "engine/shaders/framework/NiD3DUtility.h"
#include "engine/shaders/nsb/NSBAttributeDesc.h"
#include "engine/shaders/nsb/NSBAttributeTable.h"
#include "tests/engine/render/DrawTestSupport.h"
#include "tests/engine/shaders/framework/ShaderTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace
{
// One state per pass, so the cache shows which pass was applied last.
const char* const PASSES_TEXT = "technique Zero { }\n"
                                "technique One { pass P0 { TextureFactor = 0x10; } }\n"
                                "technique Two { pass P0 { TextureFactor = 0x10; } pass P1 { TextureFactor = 0x20; } }\n";

std::vector<std::string>* s_pkLog = nullptr;

class EffectShaderTest : public shader_test::ShaderTest
{
protected:
    void SetUp() override
    {
        ShaderTest::SetUp();
        m_kRoot = fs::temp_directory_path() /
                  ("effect_shader_" + std::to_string(::getpid()) + "_" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_kRoot);
        fs::create_directories(m_kRoot);
        s_pkLog = &m_kLog;
        NiD3DUtility::SetLogHook(+[](const char* pcText) { s_pkLog->emplace_back(pcText); });
    }
    void TearDown() override
    {
        NiD3DUtility::SetLogHook(nullptr);
        s_pkLog = nullptr;
        m_spLibrary = nullptr;
        NiD3DXEffectShaderLib::ReleaseEffectFileList();
        NiD3DXEffectFactory::Shutdown();
        NiD3DXEffectParameter::ReleaseBonePalette();
        fs::remove_all(m_kRoot);
        ShaderTest::TearDown();
    }
    void Write(const fs::path& kFile, const std::string& kText)
    {
        fs::create_directories(kFile.parent_path());
        std::ofstream(kFile) << kText;
    }
    // The library over one file of the given text, on the renderer.
    NiD3DXEffectShaderLib* Library(const std::string& kText, const char* pcFile = "effect.fx")
    {
        Write(m_kRoot / pcFile, kText);
        const std::string kFolder = m_kRoot.string();
        const char* apcFolders[] = {kFolder.c_str()};
        NiD3DXEffectShaderLib* pkLibrary = NiD3DXEffectShaderLib::Create(m_spRenderer, 1, apcFolders, false);
        m_spLibrary = pkLibrary;
        return pkLibrary;
    }
    bool Logged(const std::string& kText) const
    {
        for (const std::string& kLine : m_kLog)
            if (kLine.find(kText) != std::string::npos)
                return true;
        return false;
    }

    // Drives a batch of two geometries the way the renderer does, noting
    // after each step where the effect stands and which pass's state the
    // cache holds.
    std::string DriveBatch(NiD3DXEffectShader* pkShader)
    {
        NiRefPtr<NiTriShape> aspShapes[2] = {drawtest::MakeQuad(), drawtest::MakeQuad(0.5f)};
        NiRefPtr<NiPropertySet> spState = new NiPropertySet();
        NiDX9RenderState* pkCache = m_spRenderer->GetRenderState();
        const NiXform kWorld;
        const NiBoundSphere kBound;
        if (pkShader->PreProcessPipeline(aspShapes[0], nullptr, nullptr, spState, nullptr, kWorld, kBound) != 0)
            return "skipped";
        gfx::ID3DXEffect* pkEffect = pkShader->GetD3DXEffect();
        std::string kOut;
        for (std::uint32_t uiLeft = pkShader->FirstPass(); uiLeft != 0; uiLeft = pkShader->NextPass())
        {
            kOut += "P" + std::to_string(pkShader->GetCurrentPassIndex()) + (pkEffect->IsBegun() ? "[" : "!begun[");
            for (const NiRefPtr<NiTriShape>& spShape : aspShapes)
            {
                pkCache->SetRenderState(gfx::D3DRS_TEXTUREFACTOR, 0, false);
                pkShader->SetupRenderingPass(spShape, nullptr, nullptr, spState, nullptr, kWorld, kBound);
                pkShader->SetupTransformations(spShape, nullptr, nullptr, nullptr, spState, nullptr, kWorld, kBound);
                pkShader->SetupShaderPrograms(spShape, nullptr, nullptr, nullptr, spState, nullptr, kWorld, kBound);
                char acStep[48];
                std::snprintf(acStep, sizeof(acStep), "open%d tf%x ", pkEffect->GetOpenPass(),
                              pkCache->GetRenderState(gfx::D3DRS_TEXTUREFACTOR));
                kOut += acStep;
                pkShader->PostRender(spShape, nullptr, nullptr, nullptr, spState, nullptr, kWorld, kBound);
                kOut += pkEffect->GetOpenPass() < 0 ? "closed;" : "left open;";
            }
            kOut += "]";
        }
        kOut += pkEffect->IsBegun() ? "begun" : "ended";
        pkShader->PostProcessPipeline(aspShapes[0], nullptr, nullptr, spState, nullptr, kWorld, kBound);
        return kOut;
    }

    fs::path m_kRoot;
    NiShaderLibraryBasePtr m_spLibrary;
    std::vector<std::string> m_kLog;
};
} // namespace

// The library hands out the technique's shader, compiled on the renderer's
// device; the renderer draws with it, one draw per pass.
TEST_F(EffectShaderTest, TheLibraryGivesAShaderTheRendererDrawsWith)
{
    CreateRenderer();
    NiD3DXEffectShaderLib* pkLibrary = Library(PASSES_TEXT);
    ASSERT_NE(pkLibrary, nullptr);
    NiShader* pkShader = pkLibrary->GetShader(m_spRenderer, "Two", 0);
    ASSERT_NE(pkShader, nullptr);
    auto* pkEffectShader = NiDynamicCast<NiD3DXEffectShader>(pkShader);
    ASSERT_NE(pkEffectShader, nullptr);
    EXPECT_STREQ(pkEffectShader->GetName(), "Two");
    EXPECT_EQ(pkLibrary->GetShader(m_spRenderer, "Two", 0), pkShader); // made once
    EXPECT_EQ(pkLibrary->GetShader(m_spRenderer, "Nothing", 0), nullptr);
    // Every effect holds the one state manager.
    ASSERT_NE(NiD3DXEffectStateManager::PeekInstance(), nullptr);
    EXPECT_GE(NiD3DXEffectStateManager::PeekInstance()->GetRefCount(), 1u);

    NiD3DShaderFactory* pkFactory = NiD3DShaderFactory::GetD3DShaderFactory();
    ASSERT_NE(pkFactory, nullptr);
    pkFactory->InsertLibrary(pkLibrary);
    NiRefPtr<NiTriShape> spQuad = drawtest::MakeQuad();
    ASSERT_TRUE(pkFactory->AttachShader(spQuad, pkShader));
    EXPECT_TRUE(pkEffectShader->IsInitialized());
    // Fixed-function passes read no vertex inputs: the buffers keep their FVF.
    EXPECT_EQ(pkEffectShader->GetShaderDecl(), nullptr);

    gfx::IDirect3DDevice9* pkDevice = m_spRenderer->GetD3DDevice();
    ASSERT_TRUE(m_spRenderer->BeginScene());
    pkDevice->ClearRecordedCalls();
    spQuad->RenderImmediate(m_spRenderer);
    m_spRenderer->EndScene();
    std::size_t uiDraws = 0;
    for (const gfx::RecordedCall& kCall : pkDevice->RecordedCalls())
        uiDraws += kCall.kind == gfx::RecordedCall::Kind::DrawIndexedPrimitive ? 1 : 0;
    EXPECT_EQ(uiDraws, 2u);
    // The last pass's state went through the cache to the device.
    EXPECT_EQ(m_spRenderer->GetRenderState()->GetRenderState(gfx::D3DRS_TEXTUREFACTOR), 0x20u);
    EXPECT_EQ(pkDevice->State().renderStates[gfx::D3DRS_TEXTUREFACTOR], 0x20u);
    EXPECT_FALSE(pkEffectShader->GetD3DXEffect()->IsBegun());
    spQuad = nullptr;
    pkFactory->RemoveLibrary("NiD3DXEffectShaderLib");
}

// Begin once, BeginPass / CommitChanges / EndPass for every pass and
// geometry, End after the last pass; with no pass, End at once.
TEST_F(EffectShaderTest, PassesNestInsideOneBeginAndEnd)
{
    CreateRenderer();
    NiD3DXEffectShaderLib* pkLibrary = Library(PASSES_TEXT);
    ASSERT_NE(pkLibrary, nullptr);
    const struct
    {
        const char* pcTechnique;
        const char* pcExpected;
    } akCases[] = {
        {"Zero", "ended"},
        {"One", "P0[open0 tf10 closed;open0 tf10 closed;]ended"},
        {"Two", "P0[open0 tf10 closed;open0 tf10 closed;]P1[open1 tf20 closed;open1 tf20 closed;]ended"},
    };
    for (const auto& kCase : akCases)
    {
        SCOPED_TRACE(kCase.pcTechnique);
        auto* pkShader = NiDynamicCast<NiD3DXEffectShader>(pkLibrary->GetShader(m_spRenderer, kCase.pcTechnique, 0));
        ASSERT_NE(pkShader, nullptr);
        ASSERT_TRUE(pkShader->Initialize(m_spRenderer));
        EXPECT_EQ(DriveBatch(pkShader), kCase.pcExpected);
        // And again: nothing was left open.
        EXPECT_EQ(DriveBatch(pkShader), kCase.pcExpected);
    }
    EXPECT_FALSE(Logged("NiD3DXEffectShader::"));
}

// A Begin that fails draws nothing and ends nothing.
TEST_F(EffectShaderTest, AFailedBeginGivesNoPassAndNoEnd)
{
    CreateRenderer();
    NiD3DXEffectShaderLib* pkLibrary = Library(PASSES_TEXT);
    ASSERT_NE(pkLibrary, nullptr);
    auto* pkShader = NiDynamicCast<NiD3DXEffectShader>(pkLibrary->GetShader(m_spRenderer, "Two", 0));
    ASSERT_NE(pkShader, nullptr);
    ASSERT_TRUE(pkShader->Initialize(m_spRenderer));
    gfx::ID3DXEffect* pkEffect = pkShader->GetD3DXEffect();
    // Someone else's Begin is open: the shader's own must fail.
    std::uint32_t uiPasses = 0;
    ASSERT_EQ(pkEffect->Begin(&uiPasses, 0), gfx::D3D_OK);
    EXPECT_EQ(pkShader->FirstPass(), 0u);
    EXPECT_EQ(pkShader->GetPassCount(), 0u);
    EXPECT_TRUE(Logged("NiD3DXEffectShader::FirstPass - Two - ID3DXEffect::Begin failed"));
    // The other Begin is still open: the shader did not end it.
    EXPECT_TRUE(pkEffect->IsBegun());
    EXPECT_EQ(pkEffect->End(), gfx::D3D_OK);
}

// An effect that cannot be had skips the whole batch.
TEST_F(EffectShaderTest, AMissingEffectSkipsTheBatch)
{
    CreateRenderer();
    NiD3DXEffectShaderLib* pkLibrary = Library(PASSES_TEXT);
    ASSERT_NE(pkLibrary, nullptr);
    auto* pkShader = NiDynamicCast<NiD3DXEffectShader>(pkLibrary->GetShader(m_spRenderer, "One", 0));
    ASSERT_NE(pkShader, nullptr);
    ASSERT_TRUE(pkShader->Initialize(m_spRenderer));
    NiD3DXEffectFile* pkFile = pkShader->GetTechnique()->GetFile();

    // Lost and found again: the effect comes back through its file.
    pkShader->PurgeRendererData();
    EXPECT_EQ(pkShader->GetD3DXEffect(), nullptr);
    EXPECT_EQ(pkFile->GetEffect(), nullptr);
    EXPECT_EQ(DriveBatch(pkShader), "P0[open0 tf10 closed;open0 tf10 closed;]ended");
    EXPECT_NE(pkShader->GetD3DXEffect(), nullptr);

    // Lost with its file gone: nothing is drawn.
    pkShader->PurgeRendererData();
    fs::remove(m_kRoot / "effect.fx");
    EXPECT_EQ(DriveBatch(pkShader), "skipped");
    EXPECT_TRUE(Logged("NiD3DXEffectShader::PreProcessPipeline - One - Effect failed to load"));
    EXPECT_EQ(pkShader->FirstPass(), 0u);
}

namespace
{
// The effect's parameters, described and made the way a file makes them,
// on the renderer's device.
struct BoundEffect
{
    gfx::ID3DXEffect* m_pkEffect = nullptr;
    NSBAttributeTable m_kTable;
    std::vector<std::unique_ptr<NiD3DXEffectParameter>> m_kParameters;

    ~BoundEffect()
    {
        m_kParameters.clear();
        if (m_pkEffect != nullptr)
            m_pkEffect->Release();
    }
    NiD3DXEffectParameter* Get(const char* pcName) const
    {
        for (const auto& p : m_kParameters)
            if (std::string(p->GetName()) == pcName)
                return p.get();
        return nullptr;
    }
    // The parameter's value as a 4 x 4 matrix in the parameter's own order.
    gfx::D3DXMATRIX Matrix(const char* pcName) const
    {
        gfx::D3DXPARAMETER_DESC kDesc;
        m_pkEffect->GetParameterDesc(pcName, &kDesc);
        gfx::D3DXMATRIX kMatrix{};
        if (kDesc.Class == gfx::D3DXPC_MATRIX_COLUMNS)
            m_pkEffect->GetMatrixTranspose(pcName, &kMatrix);
        else
            m_pkEffect->GetMatrix(pcName, &kMatrix);
        return kMatrix;
    }
    gfx::D3DXVECTOR4 Vector(const char* pcName) const
    {
        gfx::D3DXVECTOR4 kVector;
        m_pkEffect->GetVector(pcName, &kVector);
        return kVector;
    }
};

std::vector<float> Rows(const gfx::D3DXMATRIX& kMatrix, std::uint32_t uiRows, std::uint32_t uiColumns)
{
    std::vector<float> kOut;
    for (std::uint32_t r = 0; r < uiRows; ++r)
        for (std::uint32_t c = 0; c < uiColumns; ++c)
            kOut.push_back(kMatrix.m[r][c]);
    return kOut;
}

std::vector<float> Of(const gfx::D3DXVECTOR4& k)
{
    return {k.x, k.y, k.z, k.w};
}

template <typename T>
T* Named(T* pkExtra, const char* pcName)
{
    pkExtra->SetName(pcName);
    return pkExtra;
}

NiFloatsExtraData* Floats(const char* pcName, std::vector<float> kValues)
{
    auto* pkExtra = Named(new NiFloatsExtraData(), pcName);
    pkExtra->SetArray(static_cast<std::uint32_t>(kValues.size()), kValues.data());
    return pkExtra;
}
} // namespace

class EffectBindTest : public EffectShaderTest
{
protected:
    void Make(BoundEffect& kOut, const std::string& kText)
    {
        gfx::ID3DXBuffer* pkErrors = nullptr;
        ASSERT_EQ(gfx::D3DXCreateEffect(m_spRenderer->GetD3DDevice(), kText.data(), std::uint32_t(kText.size()), nullptr,
                                        nullptr, 0, nullptr, &kOut.m_pkEffect, &pkErrors),
                  gfx::D3D_OK)
            << (pkErrors ? static_cast<const char*>(pkErrors->GetBufferPointer()) : "");
        std::uint32_t uiShaderMap = 0;
        for (std::uint32_t ui = 0;; ++ui)
        {
            gfx::D3DXHANDLE h = kOut.m_pkEffect->GetParameter(nullptr, ui);
            if (h == nullptr)
                break;
            NiD3DXEffectParameterDesc kDesc;
            if (!NiD3DXEffectParameter::DescribeParameter(kOut.m_pkEffect, h, uiShaderMap, kDesc))
                continue;
            auto spParameter = std::make_unique<NiD3DXEffectParameter>();
            if (!spParameter->Initialize(kDesc, kOut.m_kTable))
                continue;
            spParameter->LinkHandle(kOut.m_pkEffect);
            kOut.m_kParameters.push_back(std::move(spParameter));
        }
    }
    bool Bind(const BoundEffect& kEffect, const char* pcName, NiGeometry* pkGeometry)
    {
        NiD3DXEffectParameter* pkParameter = kEffect.Get(pcName);
        EXPECT_NE(pkParameter, nullptr) << pcName;
        if (pkParameter == nullptr)
            return false;
        return pkParameter->BindValue(kEffect.m_pkEffect, m_spRenderer, pkGeometry, nullptr, nullptr, nullptr, m_spState,
                                      nullptr, NiXform(), NiBoundSphere(), 0);
    }

    NiRefPtr<NiPropertySet> m_spState = new NiPropertySet();
};

// Attributes come from the geometry's extra data of their name, each kind
// from its own class; any other class sets nothing.
TEST_F(EffectBindTest, AttributesComeFromExtraDataOfTheirOwnClass)
{
    CreateRenderer();
    BoundEffect kEffect;
    Make(kEffect, "float Weight = 9;\nint Count = 9;\nbool Flag = false;\nfloat4 Pair = {9, 9, 9, 9};\n"
                  "float4 Quad = {9, 9, 9, 9};\nfloat3 Colour = {9, 9, 9};\nfloat4 Tint = {9, 9, 9, 9};\n"
                  "float4 Single = {9, 9, 9, 9};\nfloat4x4 Whole;\n");
    ASSERT_EQ(kEffect.m_kParameters.size(), 9u);
    NiRefPtr<NiTriShape> spShape = drawtest::MakeQuad();
    // Nothing of the name: false.
    EXPECT_FALSE(Bind(kEffect, "Weight", spShape));
    EXPECT_FALSE(Bind(kEffect, "Weight", nullptr));

    spShape->AddExtraData(Named(new NiFloatExtraData(0.25f), "Weight"));
    spShape->AddExtraData(Named(new NiIntegerExtraData(-7), "Count"));
    spShape->AddExtraData(Named(new NiBooleanExtraData(true), "Flag"));
    spShape->AddExtraData(Floats("Pair", {1, 2}));
    spShape->AddExtraData(Floats("Quad", {1, 2, 3, 4, 5}));
    spShape->AddExtraData(Floats("Single", {6}));
    auto* pkColour = Named(new NiColorExtraData(), "Colour");
    pkColour->SetValue(0.1f, 0.2f, 0.3f, 0.4f);
    spShape->AddExtraData(pkColour);
    auto* pkTint = Named(new NiColorExtraData(), "Tint");
    pkTint->SetValue(0.1f, 0.2f, 0.3f, 0.4f);
    spShape->AddExtraData(pkTint);
    for (const char* pcName : {"Weight", "Count", "Flag", "Pair", "Quad", "Single", "Colour", "Tint"})
        EXPECT_TRUE(Bind(kEffect, pcName, spShape)) << pcName;
    float f = 0;
    std::int32_t i = 0;
    kEffect.m_pkEffect->GetFloat("Weight", &f);
    EXPECT_EQ(f, 0.25f);
    kEffect.m_pkEffect->GetInt("Count", &i);
    EXPECT_EQ(i, -7);
    kEffect.m_pkEffect->GetBool("Flag", &i);
    EXPECT_EQ(i, 1);
    EXPECT_EQ(Of(kEffect.Vector("Pair")), (std::vector<float>{1, 2, 0, 1}));
    EXPECT_EQ(Of(kEffect.Vector("Quad")), (std::vector<float>{1, 2, 3, 4}));
    EXPECT_EQ(Of(kEffect.Vector("Single")), (std::vector<float>{6, 0, 0, 1}));
    EXPECT_EQ(Of(kEffect.Vector("Tint")), (std::vector<float>{0.1f, 0.2f, 0.3f, 0.4f}));
    // Three components: the colour's alpha stands in as 1.
    const gfx::D3DXVECTOR4 kColour = kEffect.Vector("Colour");
    EXPECT_EQ(kColour.x, 0.1f);
    EXPECT_EQ(kColour.z, 0.3f);

    // A value of another class sets nothing and the old value stays.
    NiRefPtr<NiTriShape> spWrong = drawtest::MakeQuad();
    spWrong->AddExtraData(Named(new NiIntegerExtraData(3), "Weight"));
    spWrong->AddExtraData(Named(new NiFloatExtraData(3.0f), "Count"));
    spWrong->AddExtraData(Named(new NiIntegerExtraData(0), "Flag"));
    spWrong->AddExtraData(Named(new NiFloatExtraData(3.0f), "Pair"));
    spWrong->AddExtraData(Named(new NiIntegerExtraData(3), "Whole"));
    spWrong->AddExtraData(Floats("Quad", {}));
    for (const char* pcName : {"Weight", "Count", "Flag", "Pair", "Whole", "Quad"})
        EXPECT_FALSE(Bind(kEffect, pcName, spWrong)) << pcName;
    kEffect.m_pkEffect->GetFloat("Weight", &f);
    EXPECT_EQ(f, 0.25f);
    kEffect.m_pkEffect->GetInt("Count", &i);
    EXPECT_EQ(i, -7);
    kEffect.m_pkEffect->GetBool("Flag", &i);
    EXPECT_EQ(i, 1);
    EXPECT_EQ(Of(kEffect.Vector("Pair")), (std::vector<float>{1, 2, 0, 1}));
    EXPECT_EQ(Of(kEffect.Vector("Quad")), (std::vector<float>{1, 2, 3, 4}));

    // Run-time unsigned values count as integers.
    NiRefPtr<NiTriShape> spRunTime = drawtest::MakeQuad();
    spRunTime->AddExtraData(new NiUIntExtraData("Count", 12));
    EXPECT_TRUE(Bind(kEffect, "Count", spRunTime));
    kEffect.m_pkEffect->GetInt("Count", &i);
    EXPECT_EQ(i, 12);
}

// Matrices: 16 floats as they are, 12 filled out to four rows, 9 only for a
// 3 x 3 parameter; column-major parameters get the same matrix.
TEST_F(EffectBindTest, MatricesAreFilledOutFromTheirSourceFloats)
{
    CreateRenderer();
    BoundEffect kEffect;
    Make(kEffect, "row_major float4x4 Whole;\nfloat4x4 Columns;\nrow_major float3x4 ThreeRows;\n"
                  "row_major float3x3 Basis;\n");
    ASSERT_EQ(kEffect.m_kParameters.size(), 4u);
    std::vector<float> k16(16), k12(12), k9(9);
    for (int n = 0; n < 16; ++n)
        k16[n] = float(n + 1);
    for (int n = 0; n < 12; ++n)
        k12[n] = float(n + 1);
    for (int n = 0; n < 9; ++n)
        k9[n] = float(n + 1);

    NiRefPtr<NiTriShape> spShape = drawtest::MakeQuad();
    spShape->AddExtraData(Floats("Whole", k16));
    spShape->AddExtraData(Floats("Columns", k12));
    spShape->AddExtraData(Floats("ThreeRows", k12));
    spShape->AddExtraData(Floats("Basis", k9));
    for (const char* pcName : {"Whole", "Columns", "ThreeRows", "Basis"})
        EXPECT_TRUE(Bind(kEffect, pcName, spShape)) << pcName;
    EXPECT_EQ(Rows(kEffect.Matrix("Whole"), 4, 4), k16);
    EXPECT_EQ(Rows(kEffect.Matrix("Columns"), 4, 4),
              (std::vector<float>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 0, 0, 0, 1}));
    EXPECT_EQ(Rows(kEffect.Matrix("ThreeRows"), 3, 4), (std::vector<float>{1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0}));
    EXPECT_EQ(Rows(kEffect.Matrix("Basis"), 3, 3), k9);

    // Nine for a 4 x 4, or a count no matrix has: nothing set.
    NiRefPtr<NiTriShape> spOdd = drawtest::MakeQuad();
    spOdd->AddExtraData(Floats("Whole", k9));
    spOdd->AddExtraData(Floats("Basis", {1, 2, 3, 4, 5}));
    EXPECT_FALSE(Bind(kEffect, "Whole", spOdd));
    EXPECT_FALSE(Bind(kEffect, "Basis", spOdd));
    EXPECT_EQ(Rows(kEffect.Matrix("Whole"), 4, 4), k16);
    EXPECT_EQ(Rows(kEffect.Matrix("Basis"), 3, 3), k9);
}

// Globals come from the factory's global data, padded to four components;
// a size the kind cannot hold sets nothing.
TEST_F(EffectBindTest, GlobalsComeFromTheFactorysData)
{
    CreateRenderer();
    using A = NSBAttributeDesc;
    // Registered first with shorter sizes: the parameters share them.
    const float afPair[2] = {1, 2}, afTriple[3] = {1, 2, 3}, afOne[1] = {5};
    ASSERT_TRUE(NiD3DShaderFactory::AddGlobalData("GPair", A::ATTRIB_TYPE_POINT4, 8, afPair));
    ASSERT_TRUE(NiD3DShaderFactory::AddGlobalData("GTriple", A::ATTRIB_TYPE_POINT4, 12, afTriple));
    ASSERT_TRUE(NiD3DShaderFactory::AddGlobalData("GOne", A::ATTRIB_TYPE_POINT4, 4, afOne));
    ASSERT_TRUE(NiD3DShaderFactory::AddGlobalData("GShortFloat", A::ATTRIB_TYPE_FLOAT, 2, afOne));
    BoundEffect kEffect;
    Make(kEffect, "float GFloat : GLOBAL = 0.5;\nint GInt : GLOBAL = 4;\nbool GBool : GLOBAL = true;\n"
                  "float4 GPair : GLOBAL;\nfloat4 GTriple : GLOBAL;\nfloat4 GOne : GLOBAL;\n"
                  "float4 GQuad : GLOBAL = {1, 2, 3, 4};\nfloat GShortFloat : GLOBAL;\n"
                  "row_major float4x4 GWhole : GLOBAL = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};\n"
                  "float3x3 GBasis : GLOBAL = {1, 2, 3, 4, 5, 6, 7, 8, 9};\nfloat GMissing : GLOBAL;\n");
    ASSERT_EQ(kEffect.m_kParameters.size(), 11u);
    ASSERT_TRUE(NiD3DShaderFactory::ReleaseGlobalData("GMissing"));
    // The effect starts from other values, so what is read back was bound.
    kEffect.m_pkEffect->SetFloat("GFloat", 0);
    kEffect.m_pkEffect->SetInt("GInt", 0);
    kEffect.m_pkEffect->SetBool("GBool", 0);
    const gfx::D3DXVECTOR4 kZero{};
    for (const char* pcName : {"GPair", "GTriple", "GOne", "GQuad"})
        kEffect.m_pkEffect->SetVector(pcName, &kZero);
    gfx::D3DXMATRIX kIdentity;
    gfx::D3DXMatrixIdentity(&kIdentity);
    kEffect.m_pkEffect->SetMatrix("GWhole", &kIdentity);
    kEffect.m_pkEffect->SetMatrix("GBasis", &kIdentity);

    NiRefPtr<NiTriShape> spShape = drawtest::MakeQuad();
    for (const char* pcName : {"GFloat", "GInt", "GBool", "GPair", "GTriple", "GOne", "GQuad", "GWhole", "GBasis"})
        EXPECT_TRUE(Bind(kEffect, pcName, spShape)) << pcName;
    float f = 0;
    std::int32_t i = 0;
    kEffect.m_pkEffect->GetFloat("GFloat", &f);
    EXPECT_EQ(f, 0.5f);
    kEffect.m_pkEffect->GetInt("GInt", &i);
    EXPECT_EQ(i, 4);
    kEffect.m_pkEffect->GetBool("GBool", &i);
    EXPECT_EQ(i, 1);
    EXPECT_EQ(Of(kEffect.Vector("GPair")), (std::vector<float>{1, 2, 0, 1}));
    EXPECT_EQ(Of(kEffect.Vector("GTriple")), (std::vector<float>{1, 2, 3, 1}));
    EXPECT_EQ(Of(kEffect.Vector("GOne")), (std::vector<float>{5, 0, 0, 1}));
    EXPECT_EQ(Of(kEffect.Vector("GQuad")), (std::vector<float>{1, 2, 3, 4}));
    // The global holds the row-major matrix as its description read it, transposed.
    EXPECT_EQ(Rows(kEffect.Matrix("GWhole"), 4, 4),
              (std::vector<float>{1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15, 4, 8, 12, 16}));
    // A 3 x 3 global is kept as three rows of four and read back as it was.
    EXPECT_EQ(Rows(kEffect.Matrix("GBasis"), 3, 3), (std::vector<float>{1, 2, 3, 4, 5, 6, 7, 8, 9}));

    // Unregistered, or too short for its kind: nothing.
    EXPECT_FALSE(Bind(kEffect, "GMissing", spShape));
    EXPECT_FALSE(Bind(kEffect, "GShortFloat", spShape));
    // Without a geometry nothing but engine values and textures is bound.
    EXPECT_FALSE(Bind(kEffect, "GFloat", nullptr));
}

// The shader binds every parameter of its technique before each draw and
// reports the ones it could not set.
TEST_F(EffectShaderTest, EveryParameterIsBoundBeforeTheDraw)
{
    CreateRenderer();
    NiD3DXEffectShaderLib* pkLibrary =
        Library("float Weight = 3;\nfloat4x4 WVP : WorldViewProjection;\n"
                "technique T { pass { VertexShaderConstantF[0] = <Weight>; VertexShaderConstantF[4] = <WVP>; } }\n");
    ASSERT_NE(pkLibrary, nullptr);
    auto* pkShader = NiDynamicCast<NiD3DXEffectShader>(pkLibrary->GetShader(m_spRenderer, "T", 0));
    ASSERT_NE(pkShader, nullptr);
    ASSERT_TRUE(pkShader->Initialize(m_spRenderer));
    ASSERT_EQ(pkShader->GetTechnique()->GetParameters().size(), 2u);
    NiRefPtr<NiTriShape> spShape = drawtest::MakeQuad();
    NiRefPtr<NiPropertySet> spState = new NiPropertySet();
    pkShader->SetupTransformations(spShape, nullptr, nullptr, nullptr, spState, nullptr, NiXform(), NiBoundSphere());
    EXPECT_TRUE(Logged("NiD3DXEffectShader::SetupTransformations - T - Parameter Weight failed to be set"));
    EXPECT_FALSE(Logged("Parameter WVP"));
    m_kLog.clear();
    spShape->AddExtraData(Named(new NiFloatExtraData(0.75f), "Weight"));
    pkShader->SetupTransformations(spShape, nullptr, nullptr, nullptr, spState, nullptr, NiXform(), NiBoundSphere());
    EXPECT_FALSE(Logged("failed to be set"));
    float f = 0;
    pkShader->GetD3DXEffect()->GetFloat("Weight", &f);
    EXPECT_EQ(f, 0.75f);
}

// Software vertex processing: a technique that needs it gets a shader only
// where the device can give it, and the device is left in its mode.
TEST_F(EffectShaderTest, VertexProcessingSwitchesAreUndoneBeforeTheShaderIsGiven)
{
    const std::string kText =
        "float4 mainVS(float4 p : POSITION) : POSITION { return p; }\n"
        "technique Needs < bool softwarevprequired = true; > { pass { } }\n"
        "technique Falls < bool softwarevpfallback = true; > { pass { } }\n"
        "technique NeverValid < bool softwarevpfallback = true; > { pass { Wibble = 1; } }\n";
    const struct
    {
        std::uint32_t uiDevice;
        bool bStartSoftware;
        const char* pcTechnique;
        int iShader; // -1 none, 0 hardware, 1 software
        std::size_t uiSwitches;
    } akCases[] = {
        {NiDX9Renderer::DEVDESC_HAL_MIXEDVERTEX, false, "Needs", 1, 2},
        {NiDX9Renderer::DEVDESC_HAL_MIXEDVERTEX, true, "Needs", 1, 0},
        {NiDX9Renderer::DEVDESC_HAL_MIXEDVERTEX, false, "Falls", 0, 0},
        {NiDX9Renderer::DEVDESC_HAL_MIXEDVERTEX, true, "Falls", 0, 2},
        {NiDX9Renderer::DEVDESC_HAL_MIXEDVERTEX, false, "NeverValid", -1, 2},
        {NiDX9Renderer::DEVDESC_HAL_HWVERTEX, false, "Needs", -1, 0},
        {NiDX9Renderer::DEVDESC_HAL_SWVERTEX, false, "Needs", 1, 0},
        {NiDX9Renderer::DEVDESC_HAL_SWVERTEX, false, "Falls", -1, 0},
    };
    for (const auto& kCase : akCases)
    {
        SCOPED_TRACE(std::string(kCase.pcTechnique) + " on device " + std::to_string(kCase.uiDevice) +
                     (kCase.bStartSoftware ? " in software mode" : ""));
        m_spLibrary = nullptr;
        NiD3DXEffectShaderLib::ReleaseEffectFileList();
        NiD3DXEffectFactory::Shutdown();
        m_spRenderer = nullptr;
        CreateRenderer(gfx::BackendKind::Null, NiDX9Renderer::FBMODE_DEFAULT, kCase.uiDevice);
        ASSERT_NE(m_spRenderer, nullptr);
        gfx::IDirect3DDevice9* pkDevice = m_spRenderer->GetD3DDevice();
        pkDevice->SetSoftwareVertexProcessing(kCase.bStartSoftware ? 1 : 0);
        const std::int32_t iMode = pkDevice->GetSoftwareVertexProcessing();
        NiD3DXEffectShaderLib* pkLibrary = Library(kText);
        ASSERT_NE(pkLibrary, nullptr);
        pkDevice->ClearStateCalls();
        auto* pkShader =
            NiDynamicCast<NiD3DXEffectShader>(pkLibrary->GetShader(m_spRenderer, kCase.pcTechnique, 0));
        EXPECT_EQ(pkShader == nullptr ? -1 : pkShader->GetSoftwareVertexProcessing() ? 1 : 0, kCase.iShader);
        std::size_t uiSwitches = 0;
        for (const gfx::StateCall& kCall : pkDevice->StateCalls())
            uiSwitches += kCall.kind == gfx::StateCall::Kind::SetSoftwareVertexProcessing ? 1 : 0;
        EXPECT_EQ(uiSwitches, kCase.uiSwitches);
        EXPECT_EQ(pkDevice->GetSoftwareVertexProcessing(), iMode);
    }
}

// Asked for an implementation it does not have, a set gives the first
// technique that validates, standing in for any implementation.
TEST_F(EffectShaderTest, ASetFallsBackToItsFirstValidTechnique)
{
    CreateRenderer();
    NiD3DXEffectShaderLib* pkLibrary =
        Library("float4 mainVS(float4 p : POSITION) : POSITION { return p; }\n"
                "technique Skin < string shadername = \"Skin\"; int implementation = 0; >"
                " { pass { Wibble = 1; } }\n"
                "technique SkinB < string shadername = \"Skin\"; int implementation = 1; > { pass { } }\n"
                "technique SkinC < string shadername = \"Skin\"; int implementation = 2; > { pass { } }\n");
    ASSERT_NE(pkLibrary, nullptr);
    EXPECT_EQ(pkLibrary->GetShader(m_spRenderer, "Skin", 0), nullptr); // does not validate here
    NiD3DXEffectFile* pkFile = pkLibrary->GetFileOfTechnique("Skin");
    ASSERT_NE(pkFile, nullptr);
    NiD3DXEffectShader* pkDefault = pkFile->GetD3DShader(m_spRenderer, "Skin", 7);
    ASSERT_NE(pkDefault, nullptr);
    EXPECT_EQ(pkDefault->GetTechnique(), pkFile->GetTechnique("Skin", 1));
    EXPECT_EQ(pkDefault->GetImplementation(), 0xFFFFFFFFu);
    EXPECT_EQ(pkDefault->GetTechniqueImplementation(), 1u);
    EXPECT_EQ(pkFile->GetD3DShader(m_spRenderer, "Skin", 9), pkDefault);
    NiD3DXEffectShader* pkThird = pkFile->GetD3DShader(m_spRenderer, "Skin", 2);
    ASSERT_NE(pkThird, nullptr);
    EXPECT_NE(pkThird, pkDefault);
    EXPECT_EQ(pkThird->GetImplementation(), 2u);
    EXPECT_EQ(pkFile->GetD3DShader(m_spRenderer, "SkinB", 0), nullptr); // a technique's name is no set's
}

// The declaration holds each vertex input of the passes' programs once, in
// pass order; inputs the engine has no data for are left out.
TEST_F(EffectShaderTest, TheDeclarationTakesThePassesInputsOnce)
{
    CreateRenderer();
    NiD3DXEffectShaderLib* pkLibrary =
        Library("technique D {\n"
                " pass P0 { VertexShader = asm { vs_1_1\n dcl_position v0\n dcl_texcoord v7\n"
                "  mov oPos, v0\n mov oT0, v7 }; }\n"
                " pass P1 { VertexShader = asm { vs_1_1\n dcl_position v0\n dcl_fog v2\n dcl_normal v3\n"
                "  mov oPos, v0\n mov oFog, v2.x }; }\n"
                "}\n");
    ASSERT_NE(pkLibrary, nullptr);
    // The device runs the vertex programs, so the technique gives a shader of
    // its own; one is made for it by hand as well, to look at its declaration.
    EXPECT_NE(pkLibrary->GetShader(m_spRenderer, "D", 0), nullptr);
    NiD3DXEffectFile* pkFile = pkLibrary->GetFileOfTechnique("D");
    ASSERT_NE(pkFile, nullptr);
    NiD3DXEffectShaderPtr spShader = new NiD3DXEffectShader();
    NiD3DXEffectShader* pkShader = spShader;
    pkShader->SetTechnique(pkFile->GetTechnique("D", 0));
    pkShader->SetName("D");
    pkShader->SetRenderer(m_spRenderer);
    pkShader->RecreateRendererData();
    ASSERT_NE(pkShader->GetD3DXEffect(), nullptr);
    EXPECT_TRUE(pkShader->AllPassesHaveVertexShader());
    EXPECT_FALSE(pkShader->AnyPassHasPixelShader());
    auto* pkDecl = NiDynamicCast<NiD3DShaderDeclaration>(pkShader->GetShaderDecl());
    ASSERT_NE(pkDecl, nullptr);
    const std::int32_t aiExpected[] = {NiD3DShaderDeclaration::SPTYPE_POSITION, NiD3DShaderDeclaration::SPTYPE_TEXCOORD0,
                                       NiD3DShaderDeclaration::SPTYPE_NORMAL};
    for (std::uint32_t ui = 0; ui < 3; ++ui)
    {
        const auto* pkEntry = pkDecl->GetEntry(ui, 0);
        ASSERT_NE(pkEntry, nullptr);
        EXPECT_EQ(pkEntry->m_iParameter, aiExpected[ui]) << ui;
    }
    const auto* pkLast = pkDecl->GetEntry(3, 0);
    EXPECT_TRUE(pkLast == nullptr || pkLast->m_uiType == NiD3DShaderDeclaration::TYPE_UNUSED);

    // Gone with the device, made again with the effect.
    pkShader->PurgeRendererData();
    EXPECT_EQ(pkShader->GetShaderDecl(), nullptr);
    pkShader->RecreateRendererData();
    EXPECT_NE(pkShader->GetShaderDecl(), nullptr);
    spShader = nullptr;
}

// The first bone palette a skinned technique reads with room for its bones
// sets the layout; a vertex program's pass has the renderer make that
// palette once per batch.
TEST_F(EffectShaderTest, TheBonePaletteSetsTheBoneLayout)
{
    CreateRenderer();
    NiD3DXEffectShaderLib* pkLibrary = Library(
        "float4x3 Few[2] : SkinBoneMatrix4;\n"
        "float4x3 Palette[20] : BoneMatrix3;\n"
        "technique Skinned < int bonesperpartition = 4; >"
        " { pass { VertexShaderConstantF[0] = <Few>; VertexShaderConstantF[8] = <Palette>; } }\n"
        "technique Plain { pass { VertexShaderConstantF[8] = <Palette>; } }\n"
        "technique Program < int bonesperpartition = 2; > { pass {\n"
        " VertexShader = asm { vs_1_1\n dcl_position v0\n mov oPos, v0 };\n"
        " VertexShaderConstantF[8] = <Palette>; } }\n");
    ASSERT_NE(pkLibrary, nullptr);
    auto* pkSkinned = NiDynamicCast<NiD3DXEffectShader>(pkLibrary->GetShader(m_spRenderer, "Skinned", 0));
    ASSERT_NE(pkSkinned, nullptr);
    EXPECT_EQ(pkSkinned->GetBoneMatrixRows(), 3u);
    EXPECT_TRUE(pkSkinned->GetBonePaletteKind());
    auto* pkPlain = NiDynamicCast<NiD3DXEffectShader>(pkLibrary->GetShader(m_spRenderer, "Plain", 0));
    ASSERT_NE(pkPlain, nullptr);
    EXPECT_EQ(pkPlain->GetBoneMatrixRows(), 4u);
    EXPECT_FALSE(pkPlain->GetBonePaletteKind());

    // This device runs no vertex programs: the program's shader is made by
    // hand with the layout its technique would give.
    NiD3DXEffectFile* pkFile = pkLibrary->GetFileOfTechnique("Program");
    ASSERT_NE(pkFile, nullptr);
    NiD3DXEffectShaderPtr spShader = new NiD3DXEffectShader();
    spShader->SetTechnique(pkFile->GetTechnique("Program", 0));
    spShader->SetName("Program");
    spShader->SetBoneMatrixRows(3);
    spShader->SetBonePaletteKind(true);
    spShader->SetRenderer(m_spRenderer);
    spShader->RecreateRendererData();
    ASSERT_NE(spShader->GetD3DXEffect(), nullptr);
    drawtest::SkinnedBar kBar = drawtest::MakeSkinnedBar(true);
    NiSkinInstance* pkSkin = kBar.m_spShape->GetSkinInstance();
    const NiSkinPartition::Partition* pkPartition = &pkSkin->GetSkinPartition()->GetPartitions()[0];
    NiRefPtr<NiPropertySet> spState = new NiPropertySet();
    std::uint32_t uiCount = 0, uiRegisters = 0;
    EXPECT_EQ(m_spRenderer->GetBoneMatrixBuffer(pkSkin, uiCount, uiRegisters), nullptr);
    spShader->SetupTransformations(kBar.m_spShape, pkSkin, pkPartition, nullptr, spState, nullptr,
                                   kBar.m_spShape->GetWorldTransform(), kBar.m_spShape->GetWorldBound());
    EXPECT_NE(m_spRenderer->GetBoneMatrixBuffer(pkSkin, uiCount, uiRegisters), nullptr);
    EXPECT_EQ(uiCount, 2u);
    EXPECT_EQ(uiRegisters, 3u);
    // The program blends: the device's own blending is told the partition's
    // bones per vertex.
    EXPECT_EQ(m_spRenderer->GetRenderState()->GetRenderState(gfx::D3DRS_VERTEXBLEND),
              std::uint32_t(gfx::D3DVBF_1WEIGHTS));
    EXPECT_FALSE(Logged("failed to be set"));
    spShader = nullptr;
}

namespace
{
// An uncompressed 32-bit DDS of one level and one colour (0xAARRGGBB).
void WriteDds(const fs::path& kPath, std::uint32_t uiSide, std::uint32_t uiColor)
{
    std::uint32_t auiHeader[32] = {};
    auiHeader[0] = 0x20534444; // "DDS "
    auiHeader[1] = 124;
    auiHeader[2] = 0x1 | 0x2 | 0x4 | 0x1000 | 0x8; // caps, height, width, pixel format, pitch
    auiHeader[3] = uiSide;
    auiHeader[4] = uiSide;
    auiHeader[5] = uiSide * 4;
    auiHeader[19] = 32;   // pixel format size
    auiHeader[20] = 0x41; // RGB with alpha
    auiHeader[22] = 32;
    auiHeader[23] = 0x00FF0000;
    auiHeader[24] = 0x0000FF00;
    auiHeader[25] = 0x000000FF;
    auiHeader[26] = 0xFF000000;
    auiHeader[27] = 0x1000; // a texture
    std::ofstream kOut(kPath, std::ios::binary);
    kOut.write(reinterpret_cast<const char*>(auiHeader), sizeof(auiHeader));
    for (std::uint32_t ui = 0; ui < uiSide * uiSide; ++ui)
        kOut.write(reinterpret_cast<const char*>(&uiColor), 4);
}
} // namespace

// Textures: a map's from the object's texturing property, a file's loaded
// once, with or without a geometry.
TEST_F(EffectBindTest, TexturesComeFromTheObjectsMapsOrTheirFile)
{
    CreateRenderer();
    const fs::path kFile = m_kRoot / "pic.dds";
    WriteDds(kFile, 4, 0xFF336699);
    BoundEffect kEffect;
    Make(kEffect, "texture Base < string NTM = \"base\"; >;\n"
                  "texture Pic < string name = \"" + kFile.string() + "\"; >;\n");
    ASSERT_EQ(kEffect.m_kParameters.size(), 2u);
    NiRefPtr<NiTriShape> spShape = drawtest::MakeQuad();
    EXPECT_FALSE(Bind(kEffect, "Base", spShape)); // no texturing property
    NiRefPtr<NiTexturingProperty> spTexturing = new NiTexturingProperty();
    spTexturing->SetMap(NiTexturingProperty::BASE_INDEX, new NiTextureMap(shader_test::MakeTexture(4, 0xFF00FF00)));
    m_spState->SetProperty(spTexturing);
    EXPECT_TRUE(Bind(kEffect, "Base", spShape));
    gfx::IDirect3DBaseTexture9* pkSet = nullptr;
    kEffect.m_pkEffect->GetTexture("Base", &pkSet);
    ASSERT_NE(pkSet, nullptr);
    EXPECT_EQ(pkSet, NiD3DXEffectParameter::GetTexture(m_spRenderer, m_spState, NiD3DXEffectParameter::MAP_BASE));
    pkSet->Release();

    NiD3DXEffectParameter* pkPic = kEffect.Get("Pic");
    EXPECT_EQ(pkPic->GetDeviceTexture(), nullptr);
    EXPECT_TRUE(Bind(kEffect, "Pic", nullptr));
    gfx::IDirect3DBaseTexture9* pkLoaded = pkPic->GetDeviceTexture();
    ASSERT_NE(pkLoaded, nullptr);
    EXPECT_TRUE(Bind(kEffect, "Pic", spShape));
    EXPECT_EQ(pkPic->GetDeviceTexture(), pkLoaded); // once
    kEffect.m_pkEffect->GetTexture("Pic", &pkSet);
    EXPECT_EQ(pkSet, pkLoaded);
    if (pkSet != nullptr)
        pkSet->Release();
}

// A technique reading the time gives each geometry it is set up on a time
// controller, and the path to the root is updated selectively.
TEST_F(EffectShaderTest, ATimedTechniqueKeepsItsGeometrysTime)
{
    CreateRenderer();
    NiD3DXEffectShaderLib* pkLibrary =
        Library("float T : time;\ntechnique Timed { pass { VertexShaderConstantF[0] = <T>; } }\n");
    ASSERT_NE(pkLibrary, nullptr);
    auto* pkShader = NiDynamicCast<NiD3DXEffectShader>(pkLibrary->GetShader(m_spRenderer, "Timed", 0));
    ASSERT_NE(pkShader, nullptr);
    ASSERT_TRUE(pkShader->GetTechnique()->UsesTime());
    ASSERT_TRUE(pkShader->Initialize(m_spRenderer));
    EXPECT_FALSE(pkShader->SetupGeometry(nullptr));

    NiRefPtr<NiNode> spRoot = new NiNode;
    NiRefPtr<NiTriShape> spQuad = drawtest::MakeQuad();
    spRoot->AttachChild(spQuad);
    NiRefPtr<NiPropertySet> spState = new NiPropertySet();
    // Before set-up there is no time on the geometry to read.
    pkShader->SetupTransformations(spQuad, nullptr, nullptr, nullptr, spState, nullptr, NiXform(), NiBoundSphere());
    EXPECT_TRUE(Logged("Parameter T failed to be set"));

    ASSERT_TRUE(pkShader->SetupGeometry(spQuad));
    EXPECT_NE(spQuad->GetFlags() & NiAVObject::SELECTIVE_UPDATE, 0);
    EXPECT_NE(spRoot->GetFlags() & NiAVObject::SELECTIVE_UPDATE, 0);
    auto* pkController = NiDynamicCast<NiD3DTimeSyncController>(spQuad->GetControllers());
    ASSERT_NE(pkController, nullptr);
    pkController->Update(2.5f);
    m_kLog.clear();
    pkShader->SetupTransformations(spQuad, nullptr, nullptr, nullptr, spState, nullptr, NiXform(), NiBoundSphere());
    EXPECT_FALSE(Logged("failed to be set"));
    float f = 0;
    pkShader->GetD3DXEffect()->GetFloat("T", &f);
    EXPECT_EQ(f, 2.5f);
}
