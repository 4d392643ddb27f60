// Geometry drawing on the null device: the order of the shader pipeline's
// calls and the draws between them, strips, batches, skin partitions,
// lines, points, screen polygons and the repack queue.
#include "tests/engine/render/DrawTestSupport.h"
#include "tests/engine/render/RendererTestSupport.h"

#include "engine/render/NiDX9GeometryBufferGroup.h"
#include "engine/render/NiDX9RendererLibrary.h"
#include "engine/scene/NiCamera.h"
#include "engine/scene/NiMaterialProperty.h"
#include "engine/scene/NiStencilProperty.h"
#include "engine/scene/NiScreenPolygon.h"
#include "engine/scene/NiVertexColorProperty.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace gfx;
using namespace drawtest;

namespace
{
class NiDX9RendererDrawTest : public rendertest::RendererTest
{
public:
    void SetUp() override
    {
        // The shader framework's pools, as the game's start-up makes them.
        NiDX9RendererLibraryReset();
        NiDX9RendererLibraryStartup();
        RendererTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        m_spRenderer = CreateWindowed();
        ASSERT_NE(m_spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();
        m_pkDevice = m_spRenderer->GetD3DDevice();
        m_spShader = new RecordingShader(m_pkDevice);
        ASSERT_TRUE(m_spShader->Initialize(m_spRenderer));
        m_spProperties = new NiPropertySet;
        m_spRenderer->SetPropertyState(m_spProperties);
    }
    void TearDown() override
    {
        m_spShader = nullptr;
        m_spProperties = nullptr;
        RendererTest::TearDown();
        NiDX9RendererLibraryReset();
    }

    std::vector<RecordedCall> Draws() const
    {
        std::vector<RecordedCall> k;
        for (const RecordedCall& c : m_pkDevice->RecordedCalls())
            if (c.kind == RecordedCall::Kind::DrawPrimitive || c.kind == RecordedCall::Kind::DrawIndexedPrimitive)
                k.push_back(c);
        return k;
    }
    void Begin()
    {
        ASSERT_TRUE(m_spRenderer->BeginScene());
        m_pkDevice->ClearRecordedCalls();
    }

    IDirect3DDevice9* m_pkDevice = nullptr;
    NiRefPtr<RecordingShader> m_spShader;
    NiRefPtr<NiPropertySet> m_spProperties;
};

TEST_P(NiDX9RendererDrawTest, ASingleGeometryGoesThroughThePipelineInOrder)
{
    NiRefPtr<NiTriShape> spQuad = MakeQuad();
    spQuad->SetShader(m_spShader);
    Begin();
    m_spRenderer->DrawTriShape(spQuad);
    EXPECT_EQ(Join(m_spShader->m_kCalls),
              "Pre Update Pass Transform Prepare Programs PostRender(draws 1) PostProcess");
    const auto kDraws = Draws();
    ASSERT_EQ(kDraws.size(), 1u);
    EXPECT_EQ(kDraws[0].kind, RecordedCall::Kind::DrawIndexedPrimitive);
    EXPECT_EQ(kDraws[0].primitiveType, D3DPT_TRIANGLELIST);
    EXPECT_EQ(kDraws[0].primitiveCount, 2u);
    EXPECT_EQ(kDraws[0].numVertices, 4u);
    // Packed into the static group; change bits cleared after the passes.
    auto* pkRecord = static_cast<NiDX9GeometryBufferData*>(spQuad->GetModelData()->GetRendererData());
    ASSERT_NE(pkRecord, nullptr);
    EXPECT_EQ(pkRecord->m_pkGroup, NiDX9GeometryBufferGroup::GetStaticInstance());
    EXPECT_EQ(spQuad->GetModelData()->GetDirtyFlags() & 0x0FFF, 0);
    m_spRenderer->EndScene();
}

TEST_P(NiDX9RendererDrawTest, ANonZeroPreProcessStopsAndANullRecordSkipsOnlyThatDraw)
{
    NiRefPtr<NiTriShape> spQuad = MakeQuad();
    spQuad->SetShader(m_spShader);
    Begin();
    m_spShader->m_uiPreResult = 1;
    m_spRenderer->DrawTriShape(spQuad);
    EXPECT_EQ(Join(m_spShader->m_kCalls), "Pre");
    EXPECT_TRUE(Draws().empty());

    m_spShader->m_kCalls.clear();
    m_spShader->m_uiPreResult = 0;
    m_spShader->m_uiNullPrepareAt = 0;
    m_spRenderer->DrawTriShape(spQuad);
    EXPECT_EQ(Join(m_spShader->m_kCalls), "Pre Update Pass Transform Prepare PostProcess");
    EXPECT_TRUE(Draws().empty());
    m_spRenderer->EndScene();
}

TEST_P(NiDX9RendererDrawTest, NothingIsPackedOrDrawnOutsideASceneOrWithoutActiveVertices)
{
    auto* pkVerts = new NiVec3[4]{{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0}};
    auto* pusTris = new std::uint16_t[6]{0, 1, 2, 0, 2, 3};
    NiRefPtr<NiTriShape> spQuad =
        new NiTriShape(new NiTriShapeDynamicData(4, pkVerts, nullptr, nullptr, nullptr, 0, 0, 2, pusTris));
    spQuad->Update(0.0f);
    m_pkDevice->ClearRecordedCalls();
    m_spRenderer->DrawTriShape(spQuad);
    EXPECT_EQ(spQuad->GetModelData()->GetRendererData(), nullptr);
    Begin();
    spQuad->GetModelData()->SetActiveVertexCount(0);
    m_spRenderer->DrawTriShape(spQuad);
    EXPECT_EQ(spQuad->GetModelData()->GetRendererData(), nullptr);
    EXPECT_TRUE(Draws().empty());
    // Without a shader of its own the default shader draws it.
    spQuad->GetModelData()->SetActiveVertexCount(4);
    m_spRenderer->DrawTriShape(spQuad);
    EXPECT_EQ(Draws().size(), 1u);
    m_spRenderer->EndScene();
}

TEST_P(NiDX9RendererDrawTest, StripsOfFiveFourAndThreeAreThreeIndexedDraws)
{
    NiRefPtr<NiTriStrips> spStrips = MakeStrips({5, 4, 3});
    Begin();
    m_spRenderer->DrawTriStrips(spStrips);
    const auto kDraws = Draws();
    ASSERT_EQ(kDraws.size(), 3u);
    const std::uint32_t auiCount[3] = {3, 2, 1}, auiStart[3] = {0, 5, 9};
    for (int i = 0; i < 3; ++i)
    {
        EXPECT_EQ(kDraws[i].kind, RecordedCall::Kind::DrawIndexedPrimitive);
        EXPECT_EQ(kDraws[i].primitiveType, D3DPT_TRIANGLESTRIP);
        EXPECT_EQ(kDraws[i].primitiveCount, auiCount[i]);
        EXPECT_EQ(kDraws[i].startIndex, auiStart[i]);
    }
    m_spRenderer->EndScene();
}

TEST_P(NiDX9RendererDrawTest, ARecordWithoutIndicesIsDrawnWithDrawPrimitive)
{
    NiRefPtr<NiTriShape> spQuad = MakeQuad();
    Begin();
    m_spRenderer->DrawTriShape(spQuad);
    auto* pkRecord = static_cast<NiDX9GeometryBufferData*>(spQuad->GetModelData()->GetRendererData());
    ASSERT_NE(pkRecord, nullptr);
    pkRecord->ReleaseIndexBuffer();
    pkRecord->m_uiPrimitiveCount = 1; // four vertices as a list: one triangle
    // Static data is not repacked: the record stays without indices.
    spQuad->GetModelData()->SetConsistency(NiGeometryData::STATIC);
    m_pkDevice->ClearRecordedCalls();
    m_spRenderer->DrawTriShape(spQuad);
    const auto kDraws = Draws();
    ASSERT_EQ(kDraws.size(), 1u);
    EXPECT_EQ(kDraws[0].kind, RecordedCall::Kind::DrawPrimitive);
    EXPECT_EQ(kDraws[0].primitiveCount, 1u);
    m_spRenderer->EndScene();
}

TEST_P(NiDX9RendererDrawTest, ChangedTrianglesRepackIntoANewIndexBufferAndTheOldOneIsReleased)
{
    NiRefPtr<NiTriShape> spQuad = MakeQuad();
    Begin();
    m_spRenderer->DrawTriShape(spQuad);
    auto* pkRecord = static_cast<NiDX9GeometryBufferData*>(spQuad->GetModelData()->GetRendererData());
    ASSERT_NE(pkRecord->m_pkIB, nullptr);
    IDirect3DIndexBuffer9* pkOld = pkRecord->m_pkIB;
    pkOld->AddRef();
    // Four triangles: the old buffer is too small and is replaced.
    auto* pkData = static_cast<NiTriShapeData*>(spQuad->GetModelData());
    pkData->SetTriangles(4, new std::uint16_t[12]{0, 1, 2, 0, 2, 3, 0, 1, 2, 0, 2, 3});
    pkData->SetActiveTriangleCount(4);
    pkData->SetDirtyFlags(static_cast<std::uint16_t>(pkData->GetDirtyFlags() | 0x10));
    m_spRenderer->DrawTriShape(spQuad);
    EXPECT_NE(pkRecord->m_pkIB, pkOld);
    // Only the test's reference is left on the old buffer.
    EXPECT_EQ(pkOld->Release(), 0u);
    m_spRenderer->EndScene();
}

TEST_P(NiDX9RendererDrawTest, BatchesSetUpThePipelineOnceAndTakeEntriesFromTheFreeList)
{
    NiRefPtr<NiTriShape> spA = MakeQuad();
    NiRefPtr<NiTriShape> spB = MakeQuad(0.5f);
    spA->SetShader(m_spShader);
    Begin();
    // An empty batch only clears the flag.
    m_spRenderer->BeginBatch(m_spProperties, nullptr);
    EXPECT_TRUE(m_spRenderer->IsBatching());
    m_spRenderer->EndBatch();
    EXPECT_FALSE(m_spRenderer->IsBatching());
    EXPECT_TRUE(m_spShader->m_kCalls.empty());

    m_spRenderer->BeginBatch(m_spProperties, nullptr);
    m_spRenderer->RenderTriShape(spA);
    m_spRenderer->RenderTriShape(spB); // the batch's shader is the first one's
    EXPECT_TRUE(Draws().empty());
    m_spRenderer->EndBatch();
    EXPECT_EQ(Join(m_spShader->m_kCalls), "Pre Update Pass Transform Prepare Programs PostRender(draws 1) Transform "
                                          "Prepare Programs PostRender(draws 2) PostProcess");
    EXPECT_FALSE(m_spRenderer->IsBatching());
    const std::uint32_t uiFree = NiDX9Renderer::GetFreeBatchEntryCount();
    EXPECT_GE(uiFree, 2u);
    // The next batch takes its entries from the list again.
    m_spRenderer->BeginBatch(m_spProperties, nullptr);
    m_spRenderer->RenderTriShape(spA);
    m_spRenderer->RenderTriShape(spB);
    EXPECT_EQ(NiDX9Renderer::GetFreeBatchEntryCount(), uiFree - 2);
    m_spRenderer->EndBatch();
    EXPECT_EQ(NiDX9Renderer::GetFreeBatchEntryCount(), uiFree);
    m_spRenderer->EndScene();
}

TEST_P(NiDX9RendererDrawTest, HardwareSkinnedPartitionsDrawThroughThePartitionLoop)
{
    ASSERT_NE(m_spRenderer->GetFlags() & NiDX9Renderer::CAPS_HARDWARE_SKINNING, 0u);
    SkinnedBar kBar = MakeSkinnedBar(true);
    kBar.m_spShape->SetShader(m_spShader);
    Begin();
    m_spRenderer->DrawTriShape(kBar.m_spShape);
    EXPECT_EQ(Join(m_spShader->m_kCalls),
              "Pre Update Pass Transform(partition) Prepare Programs PostRender(draws 1) PostProcess");
    NiSkinPartition::Partition& kPart = kBar.m_spShape->GetSkinInstance()->GetSkinPartition()->GetPartitions()[0];
    auto* pkRecord = static_cast<NiDX9GeometryBufferData*>(kPart.m_pvRendererData);
    ASSERT_NE(pkRecord, nullptr);
    EXPECT_EQ(kBar.m_spShape->GetModelData()->GetRendererData(), nullptr);
    EXPECT_EQ(pkRecord->m_uiFVF & D3DFVF_POSITION_MASK, D3DFVF_XYZB3);
    EXPECT_EQ(pkRecord->m_pkGroup, NiDX9GeometryBufferGroup::GetStaticInstance());
    // Two bones a vertex: one weight; world 0 and 1 are the bones, 2 and 3 identity.
    std::uint32_t uiBlend = 0;
    m_pkDevice->GetRenderState(D3DRS_VERTEXBLEND, &uiBlend);
    EXPECT_EQ(uiBlend, static_cast<std::uint32_t>(D3DVBF_1WEIGHTS));
    D3DMATRIX kWorld1{}, kWorld2{};
    m_pkDevice->GetTransform(D3DTS_WORLD1, &kWorld1);
    m_pkDevice->GetTransform(D3DTS_WORLD2, &kWorld2);
    // Bone 1, bound unturned at x = 1, turned there: x -> (0, -1), origin -> (1, 1).
    EXPECT_NEAR(kWorld1.m[0][0], 0.0f, 1e-6f);
    EXPECT_NEAR(kWorld1.m[0][1], -1.0f, 1e-6f);
    EXPECT_NEAR(kWorld1.m[3][0], 1.0f, 1e-6f);
    EXPECT_NEAR(kWorld1.m[3][1], 1.0f, 1e-6f);
    EXPECT_EQ(kWorld2.m[0][0], 1.0f);
    EXPECT_EQ(kWorld2.m[3][0], 0.0f);
    m_spRenderer->EndScene();
}

TEST_P(NiDX9RendererDrawTest, ANullPartitionRecordEndsTheDrawingButThePipelineCloses)
{
    SkinnedBar kBar = MakeSkinnedBar(true);
    kBar.m_spShape->SetShader(m_spShader);
    m_spShader->m_uiNullPrepareAt = 0;
    Begin();
    m_spRenderer->DrawTriShape(kBar.m_spShape);
    EXPECT_EQ(Join(m_spShader->m_kCalls), "Pre Update Pass Transform(partition) Prepare PostProcess");
    EXPECT_TRUE(Draws().empty());
    m_spRenderer->EndScene();
}

// Positions the hardware-skinning test's bone matrices give the bar's
// vertices: bone 0 the identity, bone 1 turns x to -y about x = 1.
const NiVec3 akBentBar[6] = {{0, -0.25f, 0},     {0, 0.25f, 0},    {0.875f, -0.125f, 0},
                             {1.125f, 0.125f, 0}, {0.75f, -1, 0},   {1.25f, -1, 0}};

TEST_P(NiDX9RendererDrawTest, TheDefaultShaderSkinsPartitionsWithMoreBonesThanTheDeviceBlendsInSoftware)
{
    ASSERT_LT(m_spRenderer->GetMaxVertexBlendMatrices(), 6u);
    SkinnedBar kBar = MakeSkinnedBar(true, 6);
    NiSkinPartition::Partition& kPart = kBar.m_spShape->GetSkinInstance()->GetSkinPartition()->GetPartitions()[0];
    auto ReadPositions = [&](std::uint32_t uiStride) {
        std::vector<NiVec3> kOut(6);
        auto* pkRecord = static_cast<NiDX9GeometryBufferData*>(kPart.m_pvRendererData);
        NiDX9VertexBufferRange* pkRange = pkRecord != nullptr ? pkRecord->GetStream(0) : nullptr;
        void* pv = nullptr;
        if (pkRange == nullptr || pkRange->m_pkVB->Lock(pkRange->m_uiOffset, 6 * uiStride, &pv, D3DLOCK_READONLY) != D3D_OK)
            return kOut;
        for (int v = 0; v < 6; ++v)
            std::memcpy(&kOut[v], static_cast<std::uint8_t*>(pv) + v * uiStride, 12);
        pkRange->m_pkVB->Unlock();
        return kOut;
    };
    Begin();
    m_spRenderer->DrawTriShape(kBar.m_spShape);
    // All four triangles, drawn without blending from positions skinned here.
    auto kDraws = Draws();
    ASSERT_EQ(kDraws.size(), 1u);
    EXPECT_EQ(kDraws[0].kind, RecordedCall::Kind::DrawIndexedPrimitive);
    EXPECT_EQ(kDraws[0].primitiveCount, 4u);
    EXPECT_EQ(kDraws[0].numVertices, 6u);
    auto* pkRecord = static_cast<NiDX9GeometryBufferData*>(kPart.m_pvRendererData);
    ASSERT_NE(pkRecord, nullptr);
    EXPECT_EQ(pkRecord->m_uiFVF, D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1);
    std::uint32_t uiBlend = 0xFFu;
    m_pkDevice->GetRenderState(D3DRS_VERTEXBLEND, &uiBlend);
    EXPECT_EQ(uiBlend, static_cast<std::uint32_t>(D3DVBF_DISABLE));
    std::vector<NiVec3> kPositions = ReadPositions(pkRecord->GetStride(0));
    for (int v = 0; v < 6; ++v)
    {
        SCOPED_TRACE(v);
        EXPECT_NEAR(kPositions[v].x, akBentBar[v].x, 1e-5f);
        EXPECT_NEAR(kPositions[v].y, akBentBar[v].y, 1e-5f);
        EXPECT_NEAR(kPositions[v].z, akBentBar[v].z, 1e-5f);
    }
    m_spRenderer->EndScene();

    // The bones move: the next frame's draw follows them, though the data is static.
    kBar.m_aspBones[1]->SetRotate(NiMatrix3x3::IDENTITY);
    kBar.m_spRoot->Update(0.0f);
    m_spRenderer->DisplayFrame();
    Begin();
    m_spRenderer->DrawTriShape(kBar.m_spShape);
    kPositions = ReadPositions(pkRecord->GetStride(0));
    EXPECT_NEAR(kPositions[4].x, 2.0f, 1e-5f);
    EXPECT_NEAR(kPositions[4].y, -0.25f, 1e-5f);

    // Through another shader the partition is blended on the device again.
    kBar.m_spShape->SetShader(m_spShader);
    m_pkDevice->ClearRecordedCalls();
    m_spRenderer->DrawTriShape(kBar.m_spShape);
    kDraws = Draws();
    ASSERT_EQ(kDraws.size(), 1u);
    EXPECT_EQ(kDraws[0].primitiveCount, 4u);
    EXPECT_EQ(pkRecord->m_uiFVF & D3DFVF_POSITION_MASK, D3DFVF_XYZB3);
    m_spRenderer->EndScene();
}

TEST_P(NiDX9RendererDrawTest, ABatchedPartitionWithTooManyBonesIsDrawnToo)
{
    SkinnedBar kBar = MakeSkinnedBar(true, 6);
    Begin();
    m_spRenderer->BeginBatch(m_spProperties, nullptr);
    m_spRenderer->RenderTriShape(kBar.m_spShape);
    m_spRenderer->EndBatch();
    const auto kDraws = Draws();
    ASSERT_EQ(kDraws.size(), 1u);
    EXPECT_EQ(kDraws[0].primitiveCount, 4u);
    m_spRenderer->EndScene();
}

TEST_P(NiDX9RendererDrawTest, SkinsWithoutPartitionsDeformInSoftwareThroughTheDynamicGroup)
{
    SkinnedBar kBar = MakeSkinnedBar(false);
    Begin();
    m_spRenderer->DrawTriShape(kBar.m_spShape);
    auto* pkRecord = static_cast<NiDX9GeometryBufferData*>(kBar.m_spShape->GetModelData()->GetRendererData());
    ASSERT_NE(pkRecord, nullptr);
    EXPECT_EQ(pkRecord->m_pkGroup, NiDX9GeometryBufferGroup::GetDynamicInstance());
    EXPECT_EQ(kBar.m_spShape->GetModelData()->GetConsistency(), NiGeometryData::VOLATILE);
    EXPECT_EQ(pkRecord->m_uiFVF & D3DFVF_POSITION_MASK, D3DFVF_XYZ);
    EXPECT_EQ(Draws().size(), 1u);
    m_spRenderer->EndScene();
}

TEST_P(NiDX9RendererDrawTest, LinesAreDrawnByTheDefaultShaderWithoutPrepare)
{
    auto* pkVerts = new NiVec3[4]{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    auto* pkColors = new NiColorRGBA[4]{{2, -1, 0.5f, 1}, {1, 1, 1, 1}, {1, 1, 1, 1}, {1, 1, 1, 1}};
    auto* pucFlags = new std::uint8_t[4]{1, 1, 1, 0};
    NiRefPtr<NiLines> spLines = new NiLines(4, pkVerts, pkColors, nullptr, 0, 0, pucFlags);
    spLines->SetShader(m_spShader); // not used: lines always take the default shader
    spLines->Update(0.0f);
    Begin();
    m_spRenderer->DrawLines(spLines, m_spProperties, nullptr);
    EXPECT_TRUE(m_spShader->m_kCalls.empty());
    const auto kDraws = Draws();
    ASSERT_EQ(kDraws.size(), 1u);
    EXPECT_EQ(kDraws[0].primitiveType, D3DPT_LINELIST);
    EXPECT_EQ(kDraws[0].primitiveCount, 3u);
    // Colours clamped per channel: (2, -1, 0.5, 1) is 0xFFFF0080.
    auto* pkRecord = static_cast<NiDX9GeometryBufferData*>(spLines->GetModelData()->GetRendererData());
    ASSERT_NE(pkRecord, nullptr);
    EXPECT_EQ(pkRecord->m_uiFVF, D3DFVF_XYZ | D3DFVF_DIFFUSE);
    NiDX9VertexBufferRange* pkRange = pkRecord->GetStream(0);
    void* pv = nullptr;
    ASSERT_EQ(pkRange->m_pkVB->Lock(pkRange->m_uiOffset, 16, &pv, D3DLOCK_READONLY), D3D_OK);
    std::uint32_t uiColor = 0;
    std::memcpy(&uiColor, static_cast<std::uint8_t*>(pv) + 12, 4);
    pkRange->m_pkVB->Unlock();
    EXPECT_EQ(uiColor, 0xFFFF0080u);
    m_spRenderer->EndScene();
}

TEST_P(NiDX9RendererDrawTest, LongLineSetsAreDrawnInBatchesTheTemporaryIndicesReach)
{
    // 70,000 vertices joined in one line with a closing segment: 70,000 segments.
    constexpr std::uint32_t N = 65535; // u16 vertex counts: the largest set
    auto* pkVerts = new NiVec3[N];
    auto* pucFlags = new std::uint8_t[N];
    for (std::uint32_t i = 0; i < N; ++i)
        pkVerts[i] = NiVec3(static_cast<float>(i % 100), static_cast<float>(i / 100), 0.0f), pucFlags[i] = 1;
    NiRefPtr<NiLines> spLines = new NiLines(static_cast<std::uint16_t>(N), pkVerts, nullptr, nullptr, 0, 0, pucFlags);
    spLines->Update(0.0f);
    Begin();
    m_spRenderer->DrawLines(spLines, m_spProperties, nullptr);
    std::uint32_t uiSegments = 0;
    for (const RecordedCall& k : Draws())
        uiSegments += k.primitiveCount;
    EXPECT_EQ(uiSegments, N);
    m_spRenderer->EndScene();
}

TEST_P(NiDX9RendererDrawTest, PointsBecomeCameraFacingQuads)
{
    auto* pkVerts = new NiVec3[3]{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    NiRefPtr<NiParticles> spPoints = new NiParticles(new NiParticlesData(3, pkVerts, nullptr, nullptr, nullptr, 0, 0));
    spPoints->Update(0.0f);
    Begin();
    m_spRenderer->DrawPoints(spPoints);
    const auto kDraws = Draws();
    ASSERT_EQ(kDraws.size(), 1u);
    EXPECT_EQ(kDraws[0].primitiveType, D3DPT_TRIANGLELIST);
    EXPECT_EQ(kDraws[0].primitiveCount, 6u);
    EXPECT_EQ(kDraws[0].numVertices, 12u);
    m_spRenderer->EndScene();
}

TEST_P(NiDX9RendererDrawTest, ScreenPolygonsDrawInScreenSpaceAndTheCameraComesBack)
{
    const NiVec3 akVerts[4] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    NiRefPtr<NiScreenPolygon> spPolygon = new NiScreenPolygon(4, akVerts, nullptr, nullptr);
    ASSERT_NE(spPolygon, nullptr);
    Begin();
    D3DMATRIX kViewBefore{}, kProjBefore{};
    m_pkDevice->GetTransform(D3DTS_VIEW, &kViewBefore);
    m_pkDevice->GetTransform(D3DTS_PROJECTION, &kProjBefore);
    m_spRenderer->RenderScreenPolygon(spPolygon);
    const auto kDraws = Draws();
    ASSERT_EQ(kDraws.size(), 1u);
    EXPECT_EQ(kDraws[0].kind, RecordedCall::Kind::DrawPrimitive);
    EXPECT_EQ(kDraws[0].primitiveType, D3DPT_TRIANGLEFAN);
    EXPECT_EQ(kDraws[0].primitiveCount, 2u);
    D3DMATRIX kView{}, kProj{};
    m_pkDevice->GetTransform(D3DTS_VIEW, &kView);
    m_pkDevice->GetTransform(D3DTS_PROJECTION, &kProj);
    EXPECT_EQ(std::memcmp(&kView, &kViewBefore, sizeof kView), 0);
    EXPECT_EQ(std::memcmp(&kProj, &kProjBefore, sizeof kProj), 0);
    m_spRenderer->EndScene();
    // Its record goes with it.
    spPolygon = nullptr;
    EXPECT_EQ(NiDX9GeometryBufferGroup::GetStaticInstance()->GetGeometryCount(), 0u);
}

TEST_P(NiDX9RendererDrawTest, PrecacheQueuesAndBeginSceneWritesThenStaticArraysGo)
{
    NiRefPtr<NiTriShape> spKept = MakeQuad();
    NiRefPtr<NiTriShape> spDropped = MakeQuad();
    spKept->GetModelData()->SetKeepFlags(NiDX9Renderer::KEEP_POSITIONS);
    EXPECT_TRUE(m_spRenderer->PrecacheGeometry(spKept));
    EXPECT_TRUE(m_spRenderer->PrecacheGeometry(spDropped));
    EXPECT_EQ(m_spRenderer->GetPendingRepackCount(), 2u);
    EXPECT_EQ(spKept->GetModelData()->GetConsistency(), NiGeometryData::STATIC);
    // A purge drops a queued record.
    NiRefPtr<NiTriShape> spPurged = MakeQuad();
    EXPECT_TRUE(m_spRenderer->PrecacheGeometry(spPurged));
    EXPECT_EQ(m_spRenderer->GetPendingRepackCount(), 3u);
    m_spRenderer->PurgeGeometryRendererData(spPurged->GetModelData());
    EXPECT_EQ(m_spRenderer->GetPendingRepackCount(), 2u);

    Begin();
    EXPECT_EQ(m_spRenderer->GetPendingRepackCount(), 0u);
    EXPECT_NE(spKept->GetModelData()->GetVertices(), nullptr);
    EXPECT_EQ(spKept->GetModelData()->GetColors(), nullptr);
    EXPECT_EQ(spDropped->GetModelData()->GetVertices(), nullptr);
    // Still drawn from what was packed.
    m_spRenderer->DrawTriShape(spDropped);
    ASSERT_EQ(Draws().size(), 1u);
    EXPECT_EQ(Draws()[0].primitiveCount, 2u);
    m_spRenderer->EndScene();
}

TEST_P(NiDX9RendererDrawTest, AVolatileBatchLargerThanTheDynamicBufferIsDrawnFromLiveBytesOnly)
{
    // A hundred volatile quads: the dynamic buffer starts again with DISCARD
    // several times while the batch is packed. Strict mode counts every draw
    // of bytes written before a DISCARD (the fixture expects none).
    std::vector<NiRefPtr<NiTriShape>> kQuads;
    for (int i = 0; i < 100; ++i)
    {
        kQuads.push_back(MakeQuad(0.1f));
        kQuads.back()->GetModelData()->SetConsistency(NiGeometryData::VOLATILE);
    }
    Begin();
    m_spRenderer->BeginBatch(m_spProperties, nullptr);
    const std::uint32_t uiEpoch = m_spRenderer->GetVBManager()->GetDiscardEpoch();
    for (const NiRefPtr<NiTriShape>& spQuad : kQuads)
        m_spRenderer->RenderTriShape(spQuad);
    EXPECT_GT(m_spRenderer->GetVBManager()->GetDiscardEpoch(), uiEpoch + 1); // it did wrap
    m_spRenderer->EndBatch();
    const auto kDraws = Draws();
    ASSERT_EQ(kDraws.size(), 100u);
    for (const RecordedCall& k : kDraws)
        EXPECT_EQ(k.primitiveCount, 2u);
    EXPECT_EQ(gfx::StrictBufferViolations(), 0u);
    m_spRenderer->EndScene();
}

// Two renderers alive at once share the process-wide buffer groups: each
// one's release lets go of its own share only, and the one left still draws.
TEST_P(NiDX9RendererDrawTest, TwoRenderersDrawAndGoInEitherOrder)
{
    auto DrawQuadWith = [this](NiDX9Renderer* pkRenderer) -> std::size_t {
        NiRefPtr<NiTriShape> spQuad = MakeQuad(0.5f);
        IDirect3DDevice9* pkDevice = pkRenderer->GetD3DDevice();
        pkRenderer->SetPropertyState(m_spProperties);
        if (!pkRenderer->BeginScene())
            return 0;
        pkDevice->ClearRecordedCalls();
        pkRenderer->DrawTriShape(spQuad);
        std::size_t n = 0;
        for (const RecordedCall& c : pkDevice->RecordedCalls())
            n += c.kind == RecordedCall::Kind::DrawIndexedPrimitive && c.primitiveCount == 2;
        pkRenderer->EndScene();
        return n;
    };
    m_spShader = nullptr; // it was made for the fixture's renderer
    for (bool bFirstGoesFirst : {true, false})
    {
        SCOPED_TRACE(bFirstGoesFirst ? "first made goes first" : "last made goes first");
        if (m_spRenderer == nullptr)
            m_spRenderer = CreateWindowed();
        ASSERT_NE(m_spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();
        EXPECT_EQ(DrawQuadWith(m_spRenderer), 1u);
        // The process-wide groups work for the newest renderer's device.
        NiDX9RendererPtr spOther = CreateWindowed();
        ASSERT_NE(spOther, nullptr) << NiDX9Renderer::GetLastErrorString();
        EXPECT_EQ(DrawQuadWith(spOther), 1u);
        ASSERT_NE(NiDX9GeometryBufferGroup::GetStaticInstance(), nullptr);
        ASSERT_NE(NiDX9GeometryBufferGroup::GetDynamicInstance(), nullptr);

        // The one going is checked to leave nothing on its device; the
        // process-wide groups stay for the one left, on that one's device.
        if (!bFirstGoesFirst)
            std::swap(m_spRenderer, spOther);
        ReleaseRendererAndCheckDevice();
        m_spRenderer = std::move(spOther);
        ASSERT_NE(NiDX9GeometryBufferGroup::GetStaticInstance(), nullptr);
        EXPECT_EQ(NiDX9GeometryBufferGroup::GetStaticInstance()->GetDevice(), m_spRenderer->GetD3DDevice());
        EXPECT_EQ(NiDX9GeometryBufferGroup::GetDynamicInstance()->GetDevice(), m_spRenderer->GetD3DDevice());
        NiRenderer::SetRenderer(m_spRenderer);
        EXPECT_EQ(DrawQuadWith(m_spRenderer), 1u);

        ReleaseRendererAndCheckDevice();
        EXPECT_EQ(NiDX9GeometryBufferGroup::GetStaticInstance(), nullptr);
        EXPECT_EQ(NiDX9GeometryBufferGroup::GetDynamicInstance(), nullptr);
    }
}

INSTANTIATE_TEST_SUITE_P(, NiDX9RendererDrawTest, ::testing::Values(gfx::BackendKind::Null), rendertest::BackendName);

// The same drawing on the gl device, read back: screen polygons, lines and
// points land where they should, in their vertex colour.
class NiDX9RendererDrawGlTest : public rendertest::RendererTest
{
public:
    void SetUp() override
    {
        NiDX9RendererLibraryReset();
        NiDX9RendererLibraryStartup();
        RendererTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        m_spRenderer = CreateWindowed(0, NiDX9Renderer::DEVDESC_PURE, NiDX9Renderer::FBMODE_LOCKABLE);
        ASSERT_NE(m_spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();
        m_spRenderer->SetBackgroundColor(NiColorRGBA(0.0f, 0.0f, 0.0f, 1.0f));
        // Vertex colours as they are: emissive from the vertices, no lighting.
        m_spProperties = new NiPropertySet;
        NiRefPtr<NiVertexColorProperty> spColors = new NiVertexColorProperty;
        spColors->SetSourceMode(1);
        spColors->SetLightingMode(0);
        m_spProperties->SetProperty(spColors);
        m_spRenderer->SetPropertyState(m_spProperties);
        // Orthographic, looking down -z: world x and y in -1..1 fill the 64 x 48 target.
        NiViewFrustum kFrustum;
        kFrustum.Set(-1.0f, 1.0f, 1.0f, -1.0f, 1.0f, 10.0f, true);
        m_spRenderer->SetCameraData(NiVec3(0, 0, 5), NiVec3(0, 0, -1), NiVec3(0, 1, 0), NiVec3(1, 0, 0), kFrustum,
                                    NiRect<float>(0.0f, 1.0f, 1.0f, 0.0f));
        ASSERT_TRUE(m_spRenderer->BeginScene());
        m_spRenderer->ClearBuffer(nullptr, NiRenderer::CLEAR_BACKBUFFER | NiRenderer::CLEAR_ZBUFFER);
    }
    void TearDown() override
    {
        m_spProperties = nullptr;
        RendererTest::TearDown();
        NiDX9RendererLibraryReset();
    }
    // 0xRRGGBB of a pixel after the scene ends.
    std::uint32_t Pixel(std::uint32_t x, std::uint32_t y)
    {
        if (m_spRenderer->IsInScene())
            m_spRenderer->EndScene();
        NiRefPtr<NiPixelData> spImage = m_spRenderer->CaptureBackBuffer(nullptr);
        if (spImage == nullptr)
            return 0xDEADBEEF;
        const std::uint8_t* puc = spImage->GetPixels() + (std::size_t(y) * spImage->GetWidth() + x) * 4;
        return (std::uint32_t(puc[2]) << 16) | (std::uint32_t(puc[1]) << 8) | puc[0];
    }
    NiRefPtr<NiPropertySet> m_spProperties;
};

TEST_P(NiDX9RendererDrawGlTest, AScreenPolygonCoversItsPartOfTheScreen)
{
    // The left half, in green (screen x and y run 0 to 1, y down).
    const NiVec3 akVerts[4] = {{0, 0, 0.5f}, {0.5f, 0, 0.5f}, {0.5f, 1, 0.5f}, {0, 1, 0.5f}};
    const NiColorRGBA akColors[4] = {{0, 1, 0, 1}, {0, 1, 0, 1}, {0, 1, 0, 1}, {0, 1, 0, 1}};
    NiRefPtr<NiScreenPolygon> spPolygon = new NiScreenPolygon(4, akVerts, nullptr, akColors);
    m_spRenderer->RenderScreenPolygon(spPolygon);
    EXPECT_EQ(Pixel(10, 24), 0x00FF00u);
    EXPECT_EQ(Pixel(50, 24), 0x000000u);
}

TEST_P(NiDX9RendererDrawGlTest, LinesAreDrawnInTheirClampedColours)
{
    // One horizontal segment through the middle row; colour (2, 0.5, -1) clamps to (255, 128, 0).
    auto* pkVerts = new NiVec3[2]{{-1, 0.02f, 0}, {1, 0.02f, 0}};
    auto* pkColors = new NiColorRGBA[2]{{2, 0.5f, -1, 1}, {2, 0.5f, -1, 1}};
    auto* pucFlags = new std::uint8_t[2]{1, 0};
    NiRefPtr<NiLines> spLines = new NiLines(2, pkVerts, pkColors, nullptr, 0, 0, pucFlags);
    spLines->Update(0.0f);
    m_spRenderer->DrawLines(spLines, m_spProperties, nullptr);
    std::uint32_t uiLit = 0;
    for (std::uint32_t y = 20; y < 28; ++y)
        uiLit += Pixel(32, y) == 0xFF8000u;
    EXPECT_EQ(uiLit, 1u); // one pixel wide
    EXPECT_EQ(Pixel(32, 5), 0x000000u);
}

TEST_P(NiDX9RendererDrawGlTest, PointsAreQuadsOfTheirSizeAroundThemselves)
{
    auto* pkVerts = new NiVec3[1]{{0, 0, 0}};
    auto* pkColors = new NiColorRGBA[1]{{1, 0, 1, 1}};
    NiRefPtr<NiParticles> spPoints =
        new NiParticles(new NiParticlesData(1, pkVerts, nullptr, pkColors, nullptr, 0, 0));
    static_cast<NiParticlesData*>(spPoints->GetModelData())->GetRadii()[0] = 0.25f;
    spPoints->Update(0.0f);
    m_spRenderer->DrawPoints(spPoints);
    // Half a side of 0.25 of the -1..1 view: 8 of 64 pixels across, 6 of 48 up.
    EXPECT_EQ(Pixel(32, 24), 0xFF00FFu);
    EXPECT_EQ(Pixel(27, 24), 0xFF00FFu);
    EXPECT_EQ(Pixel(20, 24), 0x000000u);
    EXPECT_EQ(Pixel(32, 15), 0x000000u);
}

TEST_P(NiDX9RendererDrawGlTest, APartitionWithMoreBonesThanTheDeviceBlendsShowsBent)
{
    ASSERT_LT(m_spRenderer->GetMaxVertexBlendMatrices(), 6u);
    // The bar moved left and up by half a unit, so the bent half is on screen.
    SkinnedBar kBar = MakeSkinnedBar(true, 6);
    // The bar has no vertex colours: lit by nothing, it glows white.
    NiRefPtr<NiVertexColorProperty> spLit = new NiVertexColorProperty;
    spLit->SetSourceMode(0);
    spLit->SetLightingMode(1);
    m_spProperties->SetProperty(spLit);
    NiRefPtr<NiMaterialProperty> spMaterial = new NiMaterialProperty;
    spMaterial->SetEmittance(NiColorRGB(1.0f, 1.0f, 1.0f));
    m_spProperties->SetProperty(spMaterial);
    // Its triangles turn the other way from the quads': both faces drawn.
    NiRefPtr<NiStencilProperty> spBoth = new NiStencilProperty;
    spBoth->SetDrawMode(NiStencilProperty::DRAW_BOTH);
    m_spProperties->SetProperty(spBoth);
    kBar.m_spRoot->SetTranslate(NiVec3(-0.5f, 0.5f, 0.0f));
    kBar.m_spRoot->Update(0.0f);
    m_spRenderer->DrawTriShape(kBar.m_spShape);
    EXPECT_EQ(Pixel(32, 12), 0xFFFFFFu); // the unbent half, world (0, 0.5)
    EXPECT_EQ(Pixel(50, 20), 0xFFFFFFu); // the bent half, world (0.58, 0.17)
    EXPECT_EQ(Pixel(60, 12), 0x000000u); // where the half would be unbent, world (0.9, 0.5)
}

INSTANTIATE_TEST_SUITE_P(, NiDX9RendererDrawGlTest, ::testing::Values(gfx::BackendKind::Gl), rendertest::BackendName);
} // namespace
