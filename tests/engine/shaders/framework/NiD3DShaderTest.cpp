#include "engine/shaders/framework/NiD3DShader.h"

#include "engine/scene/NiIntegerExtraData.h"
#include "engine/scene/NiTriShape.h"
#include "engine/shaders/framework/NiD3DRenderStateGroup.h"
#include "tests/engine/shaders/framework/ShaderDriver.h"
#include "tests/engine/shaders/framework/ShaderTestSupport.h"

namespace shader_test
{
namespace
{
using Kind = gfx::StateCall::Kind;

// A shader of passes that records the pipeline calls it gets.
class CountingShader : public NiD3DShader
{
public:
    std::uint32_t PreProcessPipeline(NiGeometry* pkGeometry, const NiSkinInstance* pkSkin,
                                     NiDX9GeometryBufferData* pkBuffers, const NiPropertySet* pkState,
                                     const NiEffectSet* pkEffects, const NiXform& kWorld,
                                     const NiBoundSphere& kBound) override
    {
        m_kCalls.push_back("pre");
        return NiD3DShader::PreProcessPipeline(pkGeometry, pkSkin, pkBuffers, pkState, pkEffects, kWorld, kBound);
    }
    std::uint32_t PostProcessPipeline(NiGeometry* pkGeometry, const NiSkinInstance* pkSkin,
                                      NiDX9GeometryBufferData* pkBuffers, const NiPropertySet* pkState,
                                      const NiEffectSet* pkEffects, const NiXform& kWorld,
                                      const NiBoundSphere& kBound) override
    {
        m_kCalls.push_back("post");
        return NiD3DShader::PostProcessPipeline(pkGeometry, pkSkin, pkBuffers, pkState, pkEffects, kWorld, kBound);
    }
    std::vector<std::string> m_kCalls;
};

// A declaration over a device declaration of one position.
class TestDeclaration : public NiDX9ShaderDeclaration
{
public:
    explicit TestDeclaration(gfx::IDirect3DDevice9* pkDevice)
    {
        const gfx::D3DVERTEXELEMENT9 akElements[] = {{0, 0, gfx::D3DDECLTYPE_FLOAT3, 0, gfx::D3DDECLUSAGE_POSITION, 0},
                                                     {0xFF, 0, gfx::D3DDECLTYPE_UNUSED, 0, 0, 0}};
        pkDevice->CreateVertexDeclaration(akElements, &m_pkDeclaration);
    }
    ~TestDeclaration() override
    {
        if (m_pkDeclaration != nullptr)
            m_pkDeclaration->Release();
    }
    gfx::IDirect3DVertexDeclaration9* GetD3DDeclaration() override { return m_pkDeclaration; }
    gfx::IDirect3DVertexDeclaration9* m_pkDeclaration = nullptr;
};

class NiD3DShaderTest : public ShaderTest
{
protected:
    void SetUp() override
    {
        ShaderTest::SetUp();
        CreateRenderer();
        m_pkDevice = m_spRenderer->GetD3DDevice();
        m_spState = new NiPropertySet;
        m_spQuad = std::make_unique<QuadBuffers>(
            m_pkDevice, std::vector<QuadVertex>{{-1, -1, 0.5f, 0xFFFFFFFF, 0, 1},
                                                {-1, 1, 0.5f, 0xFFFFFFFF, 0, 0},
                                                {1, -1, 0.5f, 0xFFFFFFFF, 1, 1},
                                                {1, 1, 0.5f, 0xFFFFFFFF, 1, 0}});
    }
    void TearDown() override
    {
        m_spQuad.reset();
        m_spState = nullptr;
        ShaderTest::TearDown();
    }
    // A shader of n passes, pass i with alpha-blend source i + 1 in a group.
    NiRefPtr<CountingShader> MakeShader(std::uint32_t uiPasses)
    {
        NiRefPtr<CountingShader> spShader = new CountingShader;
        for (std::uint32_t ui = 0; ui < uiPasses; ++ui)
        {
            NiD3DPassPtr spPass;
            NiD3DPass::CreateNewPass(spPass);
            NiD3DRenderStateGroup* pkGroup = NiD3DRenderStateGroup::CreateRenderStateGroup();
            pkGroup->SetRenderState(gfx::D3DRS_SRCBLEND, ui + 1, false);
            spPass->SetRenderStateGroup(pkGroup);
            spShader->SetPass(ui, spPass);
        }
        spShader->SetPassCount(uiPasses);
        EXPECT_TRUE(spShader->Initialize(m_spRenderer));
        return spShader;
    }
    std::vector<gfx::RecordedCall::Kind> Draws() const
    {
        std::vector<gfx::RecordedCall::Kind> kDraws;
        for (const gfx::RecordedCall& k : m_pkDevice->RecordedCalls())
            kDraws.push_back(k.kind);
        return kDraws;
    }

    gfx::IDirect3DDevice9* m_pkDevice = nullptr;
    NiPropertySetPtr m_spState;
    std::unique_ptr<QuadBuffers> m_spQuad;
};
} // namespace

TEST_F(NiD3DShaderTest, ThreePassesAreDrawnInOrder)
{
    NiRefPtr<CountingShader> spShader = MakeShader(3);
    EXPECT_EQ(spShader->FirstPass(), 3u);
    EXPECT_EQ(spShader->NextPass(), 2u);
    EXPECT_EQ(spShader->NextPass(), 1u);
    EXPECT_EQ(spShader->NextPass(), 0u);

    m_pkDevice->ClearStateCalls();
    m_pkDevice->ClearRecordedCalls();
    m_pkDevice->SetCallRecording(true);
    EXPECT_EQ(DrawBatch(*spShader, m_pkDevice, nullptr, m_spQuad->Get(), m_spState, nullptr), 3u);
    EXPECT_EQ(Draws(), std::vector<gfx::RecordedCall::Kind>(3, gfx::RecordedCall::Kind::DrawPrimitive));
    EXPECT_EQ(m_pkDevice->RecordedCalls()[0].primitiveCount, 2u);
    EXPECT_EQ(spShader->m_kCalls, (std::vector<std::string>{"pre", "post"}));
    // Each pass's blend source reached the device before its draw.
    std::vector<std::uint32_t> kSources;
    for (const gfx::StateCall& k : m_pkDevice->StateCalls())
    {
        if (k.kind == Kind::SetRenderState && k.index == gfx::D3DRS_SRCBLEND)
            kSources.push_back(k.value);
    }
    EXPECT_EQ(kSources, (std::vector<std::uint32_t>{1, 2, 3}));
    // The stream and the fixed-function format were bound.
    gfx::IDirect3DVertexBuffer9* pkBound = nullptr;
    std::uint32_t uiOffset = 0, uiStride = 0;
    m_pkDevice->GetStreamSource(0, &pkBound, &uiOffset, &uiStride);
    EXPECT_NE(pkBound, nullptr);
    EXPECT_EQ(uiStride, sizeof(QuadVertex));
    if (pkBound != nullptr)
        pkBound->Release();
    EXPECT_EQ(m_spRenderer->GetRenderState()->GetFVF(), QuadBuffers::FVF);
}

TEST_F(NiD3DShaderTest, WithoutPassesNothingIsDrawnButThePipelineRuns)
{
    NiRefPtr<CountingShader> spShader = MakeShader(0);
    EXPECT_EQ(spShader->FirstPass(), 0u);
    EXPECT_TRUE(spShader->AllPassesHaveVertexShader());
    EXPECT_FALSE(spShader->AnyPassHasVertexShader());
    EXPECT_TRUE(spShader->AllPassesHavePixelShader());
    EXPECT_FALSE(spShader->AnyPassHasPixelShader());
    m_pkDevice->ClearRecordedCalls();
    m_pkDevice->SetCallRecording(true);
    EXPECT_EQ(DrawBatch(*spShader, m_pkDevice, nullptr, m_spQuad->Get(), m_spState, nullptr), 0u);
    EXPECT_TRUE(Draws().empty());
    EXPECT_EQ(spShader->m_kCalls, (std::vector<std::string>{"pre", "post"}));

    NiRefPtr<CountingShader> spOne = MakeShader(1);
    EXPECT_FALSE(spOne->AllPassesHaveVertexShader());
}

TEST_F(NiD3DShaderTest, AShaderNotInitialisedSkipsTheBatch)
{
    NiRefPtr<CountingShader> spShader = new CountingShader;
    EXPECT_FALSE(spShader->Initialize(nullptr));
    const NiXform kWorld;
    const NiBoundSphere kBound;
    EXPECT_EQ(spShader->PreProcessPipeline(nullptr, nullptr, nullptr, m_spState, nullptr, kWorld, kBound), 0xFFFFFFFFu);
    ASSERT_TRUE(spShader->Initialize(m_spRenderer));
    EXPECT_EQ(spShader->PreProcessPipeline(nullptr, nullptr, nullptr, m_spState, nullptr, kWorld, kBound), 0u);
    spShader->PurgeRendererData();
    EXPECT_FALSE(spShader->IsInitialized());
    spShader->RecreateRendererData();
    EXPECT_TRUE(spShader->IsInitialized());
}

TEST_F(NiD3DShaderTest, TheDeclarationIsSetOnTheFirstPassOnly)
{
    NiRefPtr<CountingShader> spShader = MakeShader(2);
    NiRefPtr<TestDeclaration> spDeclaration = new TestDeclaration(m_pkDevice);
    ASSERT_NE(spDeclaration->m_pkDeclaration, nullptr);
    spShader->SetShaderDecl(spDeclaration);
    m_pkDevice->ClearStateCalls();
    m_pkDevice->SetCallRecording(true);
    DrawBatch(*spShader, m_pkDevice, nullptr, m_spQuad->Get(), m_spState, nullptr);
    // Pass 0: the buffers' format, then the shader's declaration; pass 1
    // leaves it in place after the format.
    std::vector<std::pair<Kind, const void*>> kVertexInput;
    for (const gfx::StateCall& k : m_pkDevice->StateCalls())
    {
        if (k.kind == Kind::SetVertexDeclaration || k.kind == Kind::SetFVF)
            kVertexInput.emplace_back(k.kind, k.kind == Kind::SetFVF ? nullptr : k.object);
    }
    ASSERT_GE(kVertexInput.size(), 2u);
    EXPECT_EQ(kVertexInput[1], std::make_pair(Kind::SetVertexDeclaration,
                                              static_cast<const void*>(spDeclaration->m_pkDeclaration)));
    std::size_t uiDeclarations = 0;
    for (const auto& k : kVertexInput)
        uiDeclarations += k.first == Kind::SetVertexDeclaration && k.second == spDeclaration->m_pkDeclaration ? 1 : 0;
    EXPECT_EQ(uiDeclarations, 1u);
    spShader = nullptr;
}

TEST_F(NiD3DShaderTest, SetupGeometryDropsTheConstantMapCache)
{
    NiRefPtr<CountingShader> spShader = MakeShader(1);
    auto* pkVertex = new NiVec3[3]{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    NiRefPtr<NiTriShape> spShape =
        new NiTriShape(new NiTriShapeData(3, pkVertex, nullptr, nullptr, nullptr, 0, 0, 1, new std::uint16_t[3]{0, 1, 2}));
    NiIntegerExtraData* pkOld = new NiIntegerExtraData(5);
    pkOld->SetName(NiD3DShader::SCM_EXTRA_DATA);
    spShape->AddExtraData(pkOld);
    ASSERT_NE(spShape->GetExtraData(NiD3DShader::SCM_EXTRA_DATA), nullptr);
    EXPECT_TRUE(spShader->SetupGeometry(spShape));
    // No constant entry reads the geometry's extra data: none is rebuilt.
    EXPECT_EQ(spShape->GetExtraData(NiD3DShader::SCM_EXTRA_DATA), nullptr);
}

TEST_F(NiD3DShaderTest, ADestroyedShaderLeavesTheFactoryOnlyWhenItIsTheOneThere)
{
    NiD3DShaderFactory* pkFactory = NiD3DShaderFactory::GetD3DShaderFactory();
    NiRefPtr<CountingShader> spShader = MakeShader(1);
    spShader->SetName("Own");
    pkFactory->InsertShader(spShader, 0);
    EXPECT_EQ(spShader->GetRefCount(), 2u);
    pkFactory->RemoveAllShaders();
    NiRefPtr<CountingShader> spOther = MakeShader(1);
    spOther->SetName("Own");
    pkFactory->InsertShader(spOther, 0);
    spShader = nullptr; // another object holds the name: it stays
    EXPECT_EQ(pkFactory->FindShader("Own", 0), spOther.Get());
}
} // namespace shader_test
