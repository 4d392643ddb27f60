#include "engine/core/NiBoundSphere.h"
#include "engine/render/NiD3DRenderState.h"
#include "engine/scene/NiAlphaProperty.h"
#include "engine/scene/NiNode.h"
#include "engine/scene/NiSkinData.h"
#include "engine/scene/NiSkinInstance.h"
#include "engine/scene/NiTriShape.h"
#include "engine/shaders/framework/NiD3DRenderStateGroup.h"
#include "engine/shaders/framework/NiD3DShaderProgramCreator.h"
#include "engine/shaders/framework/NiD3DShaderProgramFactory.h"
#include "engine/shaders/framework/NiD3DTimeSyncController.h"
#include "engine/shaders/nsb/NSBShader.h"
#include "engine/shaders/nsb/NSBShaderLib.h"
#include "engine/shaders/nsb/NiBinaryShader.h"
#include "tests/engine/shaders/framework/ShaderTestSupport.h"

#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

using namespace shader_test;

namespace
{
// Language render-state numbers.
constexpr std::uint32_t LANG_ALPHABLENDENABLE = 2;
constexpr std::uint32_t LANG_ALPHATESTENABLE = 3;
constexpr std::uint32_t LANG_ZFUNC = 0;

// Every program request, as the program factory's creators see it; none is
// made.
class RecordingCreator : public NiD3DShaderProgramCreator
{
public:
    NiD3DVertexShader* CreateVertexShaderFromFile(const char* pcFileName, const char* pcShaderName,
                                                  const char* pcEntryPoint, const char* pcShaderTarget,
                                                  gfx::IDirect3DVertexDeclaration9*, std::uint32_t,
                                                  bool bSoftwareVP) override
    {
        m_kCalls.push_back(std::string("V ") + pcFileName + " | " + Text(pcShaderName) + " | " + Text(pcEntryPoint) +
                           " | " + Text(pcShaderTarget) + (bSoftwareVP ? " | sw" : ""));
        return nullptr;
    }
    NiD3DVertexShader* CreateVertexShaderFromBuffer(const void*, std::uint32_t, const char*, const char*,
                                                    const char*, gfx::IDirect3DVertexDeclaration9*, std::uint32_t,
                                                    bool) override
    {
        return nullptr;
    }
    NiD3DPixelShader* CreatePixelShaderFromFile(const char* pcFileName, const char* pcShaderName,
                                                const char* pcEntryPoint, const char* pcShaderTarget) override
    {
        m_kCalls.push_back(std::string("P ") + pcFileName + " | " + Text(pcShaderName) + " | " + Text(pcEntryPoint) +
                           " | " + Text(pcShaderTarget));
        return nullptr;
    }
    NiD3DPixelShader* CreatePixelShaderFromBuffer(const void*, std::uint32_t, const char*, const char*,
                                                  const char*) override
    {
        return nullptr;
    }
    static std::string Text(const char* pc) { return pc ? pc : "-"; }
    std::vector<std::string> m_kCalls;
};

class NiBinaryShaderTest : public ShaderTest
{
protected:
    void SetUp() override
    {
        ShaderTest::SetUp();
        CreateRenderer();
        m_spShader->SetName("Material");
        m_pkImplementation = m_spShader->AddImplementation("Only", true, 0);
    }

    NiBinaryShaderPtr Build()
    {
        NiBinaryShaderPtr spBuilt = m_spShader->GetD3DShader(m_spRenderer, 0);
        EXPECT_NE(spBuilt, nullptr);
        return spBuilt;
    }
    static NiRefPtr<NiTriShape> Geometry() { return new NiTriShape; }

    NSBShaderPtr m_spShader = new NSBShader;
    NSBImplementation* m_pkImplementation = nullptr;
};
} // namespace

TEST_F(NiBinaryShaderTest, SetUpCopiesRequirementsStatesAndPassesAndFailsOnTooManyStages)
{
    NSBRequirements* pkReq = m_pkImplementation->GetRequirements();
    pkReq->SetUsesNiRenderState(true);
    pkReq->SetBonesPerPartition(6);
    pkReq->SetBoneMatrixRegisters(3);
    pkReq->SetBoneCalcMethod(1);
    pkReq->SetBinormalTangentMethod(2);
    m_pkImplementation->GetRenderStateGroup()->SetState(LANG_ZFUNC, 3, true); // LESSEQUAL, saved
    NSBPass* pkPass = m_pkImplementation->GetPass(1, true);
    pkPass->SetVertexShaderProgramFile(NSBPass::SLOT_DX8, "old.vsh");
    pkPass->SetVertexShaderProgramFile(NSBPass::SLOT_DX9, "Shaders/Skin.vsh");
    pkPass->SetVertexShaderProgramEntryPoint("main");
    pkPass->SetVertexShaderProgramShaderTarget("vs_2_0");
    pkPass->SetPixelShaderProgramFile(NSBPass::SLOT_DX9, "");
    NSBTextureStage* pkStage = pkPass->GetStage(1, true);
    pkStage->SetTextureFlags(0x10000002);
    pkStage->GetTextureStageGroup()->SetState(0, 3, false);  // COLOROP MODULATE
    pkStage->GetSamplerStageGroup()->SetState(0, 2, false); // ADDRESSU CLAMP
    const float afMatrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0.25f, 0.5f, 0, 1};
    pkStage->SetTextureTransformation(afMatrix);

    NiBinaryShaderPtr spBuilt = Build();
    ASSERT_NE(spBuilt, nullptr);
    EXPECT_TRUE(spBuilt->GetUsesNiRenderState());
    EXPECT_FALSE(spBuilt->GetUsesNiLightState());
    EXPECT_EQ(spBuilt->GetBonesPerPartition(), 6u);
    EXPECT_EQ(spBuilt->GetBoneMatrixRegisters(), 3u);
    EXPECT_EQ(spBuilt->GetBoneCalcMethod(), 1u);
    EXPECT_EQ(spBuilt->GetBinormalTangentMethod(), 2u);
    std::uint32_t uiValue = 0;
    bool bSave = false;
    ASSERT_NE(spBuilt->GetRenderStateGroup(), nullptr);
    EXPECT_TRUE(spBuilt->GetRenderStateGroup()->GetRenderState(gfx::D3DRS_ZFUNC, uiValue, bSave));
    EXPECT_EQ(uiValue, 4u);
    EXPECT_TRUE(bSave);

    // Pass 1 is the shader's first; it had no states, so no group.
    ASSERT_EQ(spBuilt->GetPassCount(), 1u);
    NiD3DPass* pkD3DPass = spBuilt->GetPass(0);
    EXPECT_EQ(pkD3DPass->GetRenderStateGroup(), nullptr);
    EXPECT_STREQ(pkD3DPass->GetProgramString(NiD3DPass::VERTEX_FILE), "Shaders/Skin.vsh");
    EXPECT_STREQ(pkD3DPass->GetProgramString(NiD3DPass::VERTEX_ENTRY), "main");
    EXPECT_STREQ(pkD3DPass->GetProgramString(NiD3DPass::VERTEX_TARGET), "vs_2_0");
    EXPECT_EQ(pkD3DPass->GetProgramString(NiD3DPass::PIXEL_FILE), nullptr);
    EXPECT_EQ(pkD3DPass->GetPixelConstantMap(), nullptr);
    NiD3DTextureStage* pkD3DStage = pkD3DPass->GetStage(1);
    ASSERT_NE(pkD3DStage, nullptr);
    EXPECT_EQ(pkD3DStage->GetTextureSelector(), 0x10000002u);
    EXPECT_EQ(pkD3DStage->GetTextureMatrix().m[3][0], 0.25f);
    EXPECT_EQ(pkD3DStage->GetTextureMatrix().m[3][1], 0.5f);
    EXPECT_TRUE(pkD3DStage->GetStageGroup()->GetStageState(gfx::D3DTSS_COLOROP, uiValue, bSave));
    EXPECT_EQ(uiValue, 4u);
    EXPECT_TRUE(pkD3DStage->GetStageGroup()->GetSamplerState(0, uiValue, bSave));
    EXPECT_EQ(uiValue, 3u);

    // One stage more than the device has samplers: no shader.
    const std::uint32_t uiMax = NiD3DPass::GetMaxSamplers();
    ASSERT_GT(uiMax, 1u);
    for (std::uint32_t ui = 0; ui <= uiMax; ++ui)
        pkPass->GetStage(ui, true);
    EXPECT_EQ(m_spShader->GetD3DShader(m_spRenderer, 0), nullptr);
}

TEST_F(NiBinaryShaderTest, AlphaPropertiesFollowTheBlendAndTestStates)
{
    m_pkImplementation->GetRenderStateGroup()->SetState(LANG_ALPHABLENDENABLE, 1, false);
    m_pkImplementation->GetPass(0, true)->GetRenderStateGroup()->SetState(LANG_ALPHATESTENABLE, 1, false);
    NiBinaryShaderPtr spBuilt = Build();
    ASSERT_NE(spBuilt, nullptr);

    // None yet: one that blends and tests.
    NiRefPtr<NiTriShape> spPlain = Geometry();
    EXPECT_TRUE(spBuilt->SetupGeometry(spPlain));
    auto* pkMade = static_cast<NiAlphaProperty*>(spPlain->GetProperty(NiProperty::ALPHA));
    ASSERT_NE(pkMade, nullptr);
    EXPECT_EQ(pkMade->GetFlags() & 0x0201, 0x0201);

    // One that already blends is kept.
    NiRefPtr<NiTriShape> spBlending = Geometry();
    NiAlphaPropertyPtr spOwn = new NiAlphaProperty;
    spOwn->SetAlphaBlending(true);
    spBlending->AttachProperty(spOwn);
    EXPECT_TRUE(spBuilt->SetupGeometry(spBlending));
    EXPECT_EQ(spBlending->GetProperty(NiProperty::ALPHA), spOwn.Get());
    EXPECT_FALSE(spOwn->GetAlphaTesting());

    // One that does neither makes way.
    NiRefPtr<NiTriShape> spOpaque = Geometry();
    NiAlphaPropertyPtr spOff = new NiAlphaProperty;
    spOpaque->AttachProperty(spOff);
    EXPECT_TRUE(spBuilt->SetupGeometry(spOpaque));
    auto* pkNew = static_cast<NiAlphaProperty*>(spOpaque->GetProperty(NiProperty::ALPHA));
    ASSERT_NE(pkNew, nullptr);
    EXPECT_NE(pkNew, spOff.Get());
    EXPECT_TRUE(pkNew->GetAlphaBlending());
    EXPECT_EQ(spOff->GetRefCount(), 1u);
    EXPECT_EQ(spOpaque->GetPropertyList().GetSize(), 1u);

    EXPECT_FALSE(spBuilt->SetupGeometry(nullptr));

    // States at other values, or only in a later pass, make nothing.
    m_spShader = new NSBShader;
    m_pkImplementation = m_spShader->AddImplementation("Only", true, 0);
    m_pkImplementation->GetRenderStateGroup()->SetState(LANG_ALPHABLENDENABLE, 0, false);
    m_pkImplementation->GetPass(0, true);
    m_pkImplementation->GetPass(1, true)->GetRenderStateGroup()->SetState(LANG_ALPHATESTENABLE, 1, false);
    spBuilt = Build();
    ASSERT_NE(spBuilt, nullptr);
    NiRefPtr<NiTriShape> spUntouched = Geometry();
    EXPECT_TRUE(spBuilt->SetupGeometry(spUntouched));
    EXPECT_EQ(spUntouched->GetProperty(NiProperty::ALPHA), nullptr);
}

TEST_F(NiBinaryShaderTest, ATimeConstantInAnyPassGivesTheGeometryATimeController)
{
    m_pkImplementation->GetPass(0, true)->GetVertexConstantMap()->AddEntry("Bright", 0x10000004, 0, 0, 1, nullptr,
                                                                           0, 0, nullptr, false);
    m_pkImplementation->GetPass(2, true)->GetVertexConstantMap()->AddEntry("sin_time", 0x20000000, 0, 4, 1, nullptr,
                                                                           0, 0, nullptr, false);
    NiBinaryShaderPtr spBuilt = Build();
    ASSERT_NE(spBuilt, nullptr);
    ASSERT_EQ(spBuilt->GetPassCount(), 2u);
    ASSERT_NE(spBuilt->GetPass(1)->GetVertexConstantMap(), nullptr);

    NiRefPtr<NiNode> spRoot = new NiNode;
    NiRefPtr<NiNode> spMiddle = new NiNode;
    spRoot->AttachChild(spMiddle);
    NiRefPtr<NiTriShape> spShape = Geometry();
    spMiddle->AttachChild(spShape);
    spRoot->SetFlags(0);
    spMiddle->SetFlags(0);
    spShape->SetFlags(0);
    EXPECT_TRUE(spBuilt->SetupGeometry(spShape));
    ASSERT_NE(spShape->GetControllers(), nullptr);
    EXPECT_NE(NiDynamicCast<NiD3DTimeSyncController>(spShape->GetControllers()), nullptr);
    EXPECT_NE(spShape->GetExtraData(NiD3DTimeSyncController::TIME_NAME), nullptr);
    for (NiAVObject* pk : {static_cast<NiAVObject*>(spShape), static_cast<NiAVObject*>(spMiddle),
                           static_cast<NiAVObject*>(spRoot)})
        EXPECT_EQ(pk->GetFlags(), NiAVObject::SELECTIVE_UPDATE);

    // Without a time constant: no controller.
    m_spShader = new NSBShader;
    m_pkImplementation = m_spShader->AddImplementation("Only", true, 0);
    m_pkImplementation->GetPass(0, true)->GetPixelConstantMap()->AddEntry("sin_timer", 0x10000004, 0, 0, 1, nullptr,
                                                                          0, 0, nullptr, false);
    spBuilt = Build();
    ASSERT_NE(spBuilt, nullptr);
    NiRefPtr<NiTriShape> spStill = Geometry();
    spStill->SetFlags(0);
    EXPECT_TRUE(spBuilt->SetupGeometry(spStill));
    EXPECT_EQ(spStill->GetControllers(), nullptr);
    EXPECT_EQ(spStill->GetFlags(), 0u);
}

TEST_F(NiBinaryShaderTest, ProgramsAreRequestedByBareFileNameAndKeyOnceOnFirstInitialisation)
{
    RecordingCreator kCreator;
    NiD3DShaderProgramCreator* pkVsh = NiD3DShaderProgramFactory::GetCreator("x.vsh");
    NiD3DShaderProgramCreator* pkPsh = NiD3DShaderProgramFactory::GetCreator("x.psh");
    NiD3DShaderProgramCreator* pkHlsl = NiD3DShaderProgramFactory::GetCreator("x.hlsl");
    ASSERT_TRUE(NiD3DShaderProgramFactory::RegisterCreator("vsh", &kCreator));
    ASSERT_TRUE(NiD3DShaderProgramFactory::RegisterCreator("psh", &kCreator));
    ASSERT_TRUE(NiD3DShaderProgramFactory::RegisterCreator("hlsl", &kCreator));

    NSBPass* pkPass0 = m_pkImplementation->GetPass(0, true);
    pkPass0->SetVertexShaderProgramFile(NSBPass::SLOT_DX9, "Data/Shaders/Skin.hlsl");
    pkPass0->SetVertexShaderProgramEntryPoint("SkinVS");
    pkPass0->SetVertexShaderProgramShaderTarget("vs_2_0");
    pkPass0->SetPixelShaderProgramFile(NSBPass::SLOT_DX9, "Data/Shaders/Skin");
    pkPass0->SetSoftwareVertexProcessing(true);
    NSBPass* pkPass1 = m_pkImplementation->GetPass(1, true);
    pkPass1->SetVertexShaderProgramFile(NSBPass::SLOT_DX9, "C:\\Art\\Glow");
    pkPass1->SetPixelShaderProgramFile(NSBPass::SLOT_DX9, "Glow.hlsl");
    pkPass1->SetPixelShaderProgramEntryPoint("GlowPS");
    pkPass1->SetPixelShaderProgramShaderTarget("ps_2_0");

    NiBinaryShaderPtr spBuilt = Build();
    ASSERT_NE(spBuilt, nullptr);
    EXPECT_TRUE(kCreator.m_kCalls.empty());
    EXPECT_TRUE(spBuilt->Initialize(m_spRenderer));
    EXPECT_TRUE(spBuilt->IsInitialized());
    EXPECT_TRUE(spBuilt->Initialize(m_spRenderer));
    EXPECT_EQ(kCreator.m_kCalls,
              (std::vector<std::string>{"V Skin.hlsl | Data/Shaders/Skin.hlsl##SkinVS | SkinVS | vs_2_0 | sw",
                                        "P Skin.psh | Data/Shaders/Skin | - | -", "V Glow.vsh | C:\\Art\\Glow | - | -",
                                        "P Glow.hlsl | Glow.hlsl##GlowPS | GlowPS | ps_2_0"}));
    // Nothing was made, so the passes stay without programs.
    EXPECT_FALSE(spBuilt->GetPass(0)->HasVertexProgram());
    EXPECT_FALSE(spBuilt->GetPass(1)->HasPixelProgram());

    NiD3DShaderProgramFactory::RegisterCreator("vsh", pkVsh);
    NiD3DShaderProgramFactory::RegisterCreator("psh", pkPsh);
    NiD3DShaderProgramFactory::RegisterCreator("hlsl", pkHlsl);
}

TEST_F(NiBinaryShaderTest, SkinnedPartitionsOfABigPaletteBlendThroughThePrograms)
{
    NiRefPtr<NiNode> spRoot = new NiNode;
    NiRefPtr<NiNode> spBone = new NiNode;
    spRoot->AttachChild(spBone);
    NiRefPtr<NiSkinData> spData = new NiSkinData;
    spData->SetBones(1, std::make_unique<NiSkinData::BoneData[]>(1));
    NiRefPtr<NiSkinInstance> spSkin = new NiSkinInstance;
    spSkin->SetSkinData(spData);
    spSkin->SetRootParent(spRoot);
    spSkin->SetBone(0, spBone);
    spRoot->Update(0.0f);
    NiSkinPartition::Partition kPartition;
    kPartition.m_usBones = 3;
    kPartition.m_usBonesPerVertex = 1;
    NiXform kWorld;
    kWorld.m_kTranslate = NiVec3(5, 6, 7);
    const NiBoundSphere kBound;

    m_pkImplementation->GetRequirements()->SetBonesPerPartition(20);
    m_pkImplementation->GetRequirements()->SetBoneMatrixRegisters(3);
    m_pkImplementation->GetRequirements()->SetBoneCalcMethod(1);
    m_pkImplementation->GetPass(0, true);
    m_pkImplementation->GetPass(1, true);
    NiBinaryShaderPtr spBuilt = Build();
    ASSERT_NE(spBuilt, nullptr);
    ASSERT_TRUE(spBuilt->Initialize(m_spRenderer));
    gfx::IDirect3DDevice9* pkDevice = m_spRenderer->GetD3DDevice();
    gfx::D3DMATRIX kBefore{};
    pkDevice->GetTransform(gfx::D3DTS_WORLD, &kBefore);
    pkDevice->SetCallRecording(true);
    pkDevice->ClearStateCalls();
    auto VertexBlends = [&] {
        std::vector<std::uint32_t> kValues;
        for (const gfx::StateCall& k : pkDevice->StateCalls())
        {
            if (k.kind == gfx::StateCall::Kind::SetRenderState && k.index == gfx::D3DRS_VERTEXBLEND)
                kValues.push_back(k.value);
        }
        pkDevice->ClearStateCalls();
        return kValues;
    };

    // Pass 1 first: no bone matrices, but the partition's bone count.
    spBuilt->FirstPass();
    spBuilt->NextPass();
    ASSERT_EQ(spBuilt->GetCurrentPassIndex(), 1u);
    EXPECT_EQ(spBuilt->SetupTransformations(nullptr, spSkin, &kPartition, nullptr, nullptr, nullptr, kWorld, kBound),
              0u);
    std::uint32_t uiMatrices = 0;
    EXPECT_EQ(m_spRenderer->GetBoneMatrices(spSkin, uiMatrices), nullptr);
    EXPECT_EQ(VertexBlends(), std::vector<std::uint32_t>{gfx::D3DVBF_2WEIGHTS});
    EXPECT_EQ(m_spRenderer->GetD3DModel().m[3][0], 5.0f);

    spBuilt->FirstPass();
    EXPECT_EQ(spBuilt->SetupTransformations(nullptr, spSkin, &kPartition, nullptr, nullptr, nullptr, kWorld, kBound),
              0u);
    EXPECT_NE(m_spRenderer->GetBoneMatrices(spSkin, uiMatrices), nullptr);
    EXPECT_EQ(uiMatrices, 1u);
    // The programs' buffer in the requirements' three registers, world-space
    // bones (calculation mode 1), so no skin matrix.
    std::uint32_t uiBuffered = 0, uiRegisters = 0;
    EXPECT_NE(m_spRenderer->GetBoneMatrixBuffer(spSkin, uiBuffered, uiRegisters), nullptr);
    EXPECT_EQ(uiBuffered, 1u);
    EXPECT_EQ(uiRegisters, 3u);
    gfx::D3DMATRIX kSkinMatrix{};
    EXPECT_FALSE(m_spRenderer->GetSkinMatrix(spSkin, kSkinMatrix));
    // The world matrix is the renderer's to push with the programs' constants.
    gfx::D3DMATRIX kAfter{};
    pkDevice->GetTransform(gfx::D3DTS_WORLD, &kAfter);
    EXPECT_EQ(std::memcmp(&kBefore, &kAfter, sizeof(kAfter)), 0);

    // A small palette without programs is the fixed-function blend: the
    // bones per vertex.
    m_spShader = new NSBShader;
    m_pkImplementation = m_spShader->AddImplementation("Only", true, 0);
    m_pkImplementation->GetRequirements()->SetBonesPerPartition(4);
    m_pkImplementation->GetPass(0, true);
    spBuilt = Build();
    ASSERT_NE(spBuilt, nullptr);
    spBuilt->FirstPass();
    VertexBlends();
    spBuilt->SetupTransformations(nullptr, spSkin, &kPartition, nullptr, nullptr, nullptr, kWorld, kBound);
    EXPECT_EQ(VertexBlends(), std::vector<std::uint32_t>{gfx::D3DVBF_1WEIGHTS});
    pkDevice->SetCallRecording(false);
}

TEST_F(NiBinaryShaderTest, ABatchSetsShaderThenPassStatesAndRestoresThemInReverse)
{
    constexpr std::uint32_t LANG_ZWRITEENABLE = 7;
    constexpr std::uint32_t LANG_DITHERENABLE = 8;
    m_pkImplementation->GetRenderStateGroup()->SetState(LANG_ZFUNC, 6, true); // GREATEREQUAL, saved
    NSBPass* pkPass0 = m_pkImplementation->GetPass(0, true);
    pkPass0->GetRenderStateGroup()->SetState(LANG_ZWRITEENABLE, 0, true);
    pkPass0->GetStage(0, true)->GetTextureStageGroup()->SetState(0, 3, false); // COLOROP MODULATE
    m_pkImplementation->GetPass(1, true)->GetRenderStateGroup()->SetState(LANG_DITHERENABLE, 1, true);
    NiBinaryShaderPtr spBuilt = Build();
    ASSERT_NE(spBuilt, nullptr);
    ASSERT_TRUE(spBuilt->Initialize(m_spRenderer));

    gfx::IDirect3DDevice9* pkDevice = m_spRenderer->GetD3DDevice();
    // Known values before the batch.
    NiD3DRenderState* pkCache = m_spRenderer->GetRenderState();
    pkCache->SetRenderState(gfx::D3DRS_ZFUNC, gfx::D3DCMP_ALWAYS);
    pkCache->SetRenderState(gfx::D3DRS_ZWRITEENABLE, 1);
    pkCache->SetRenderState(gfx::D3DRS_DITHERENABLE, 0);
    pkCache->SetTextureStageState(0, gfx::D3DTSS_COLOROP, gfx::D3DTOP_SELECTARG1);
    pkDevice->SetCallRecording(true);
    pkDevice->ClearStateCalls();
    const NiXform kWorld;
    const NiBoundSphere kBound;
    std::uint32_t uiPasses = 0;
    ASSERT_EQ(spBuilt->PreProcessPipeline(nullptr, nullptr, nullptr, nullptr, nullptr, kWorld, kBound), 0u);
    for (std::uint32_t uiLeft = spBuilt->FirstPass(); uiLeft != 0; uiLeft = spBuilt->NextPass())
    {
        spBuilt->SetupRenderingPass(nullptr, nullptr, nullptr, nullptr, nullptr, kWorld, kBound);
        ++uiPasses;
    }
    spBuilt->PostProcessPipeline(nullptr, nullptr, nullptr, nullptr, nullptr, kWorld, kBound);
    EXPECT_EQ(uiPasses, 2u);

    std::vector<std::string> kCalls;
    for (const gfx::StateCall& k : pkDevice->StateCalls())
    {
        if (k.kind == gfx::StateCall::Kind::SetRenderState &&
            (k.index == gfx::D3DRS_ZFUNC || k.index == gfx::D3DRS_ZWRITEENABLE || k.index == gfx::D3DRS_DITHERENABLE))
            kCalls.push_back("RS " + std::to_string(k.index) + "=" + std::to_string(k.value));
        else if (k.kind == gfx::StateCall::Kind::SetTextureStageState && k.index == 0 &&
                 k.type == gfx::D3DTSS_COLOROP)
            kCalls.push_back("TS0 COLOROP=" + std::to_string(k.value));
    }
    pkDevice->SetCallRecording(false);
    // The shader's state first and restored last; each pass's states and
    // stages inside, restored when the next pass begins (which has no
    // stages, so stage 0 is switched off).
    EXPECT_EQ(kCalls, (std::vector<std::string>{"RS 23=7", "RS 14=0", "TS0 COLOROP=4", "RS 14=1", "RS 26=1",
                                                "TS0 COLOROP=1", "RS 26=0", "RS 23=8"}));
}

TEST_F(NiBinaryShaderTest, TheLibraryBuildsForTheRendererThatAsks)
{
    namespace fs = std::filesystem;
    m_pkImplementation->GetPass(0, true);
    const fs::path kRoot = fs::temp_directory_path() / ("nsb_asks_" + std::to_string(::getpid()));
    fs::create_directories(kRoot);
    ASSERT_TRUE(m_spShader->SaveToFile((kRoot / "Material.nsb").string().c_str()));
    const std::string kFolder = kRoot.string();
    const char* apcFolders[] = {kFolder.c_str()};
    NiRefPtr<NSBShaderLib> spLibrary = NSBShaderLib::Create(1, apcFolders, false);
    fs::remove_all(kRoot);
    ASSERT_NE(spLibrary, nullptr);

    // Never handed a renderer: the caller's is used.
    NiRefPtr<NiShader> spShader = spLibrary->GetShader(m_spRenderer, "Material", 0);
    auto* pkBuilt = NiDynamicCast<NiBinaryShader>(spShader.Get());
    ASSERT_NE(pkBuilt, nullptr);
    EXPECT_EQ(pkBuilt->GetRenderer(), m_spRenderer.Get());
    EXPECT_EQ(spLibrary->GetShader(nullptr, "Material", 0), nullptr);
    // Its own renderer stands in only when the caller names none.
    spLibrary->SetRenderer(m_spRenderer);
    spShader = spLibrary->GetShader(nullptr, "Material", 0);
    ASSERT_NE(NiDynamicCast<NiBinaryShader>(spShader.Get()), nullptr);
    EXPECT_EQ(NiDynamicCast<NiBinaryShader>(spShader.Get())->GetRenderer(), m_spRenderer.Get());
}
