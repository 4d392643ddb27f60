#include "engine/scene/NiParticles.h"

#include "engine/scene/NiLinesData.h"
#include "engine/scene/NiLight.h"
#include "engine/scene/NiScreenGeometry.h"
#include "engine/scene/NiTextureEffect.h"
#include "tests/engine/scene/GeometryTestSupport.h"

namespace scene_test
{
namespace
{
NiRefPtr<NiParticlesData> ThreeParticles(bool bMeshes = false)
{
    NiVec3* pkVertex = NewArray<NiVec3>({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}});
    NiColorRGBA* pkColor = NewArray<NiColorRGBA>({{1, 0, 0, 1}, {0, 1, 0, 1}, {0, 0, 1, 1}});
    NiVec2* pkTexture = NewArray<NiVec2>({{0, 0}, {0.5f, 0}, {1, 0}});
    NiParticlesData* pkData = bMeshes ? new NiParticleMeshesData(3, pkVertex, nullptr, pkColor, pkTexture, 1, 0)
                                      : new NiParticlesData(3, pkVertex, nullptr, pkColor, pkTexture, 1, 0);
    for (int i = 0; i < 3; ++i)
    {
        pkData->GetRadii()[i] = 0.1f * static_cast<float>(i + 1);
        pkData->GetSizes()[i] = 2.0f + static_cast<float>(i);
    }
    return pkData;
}

// Particle data of three vertices in the old form (before radii per
// particle), with the active count given.
Bytes OldParticleBody(std::uint32_t uiVersion, float fRadius, std::uint16_t usActive, bool bRotationsFlag)
{
    DataRecord kData;
    kData.m_kVertices = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}};
    Bytes k = DataBody(uiVersion, kData);
    if (uiVersion < V(4, 1, 0, 7))
        k.U16(0);
    k.F32(fRadius).U16(usActive);
    if (uiVersion >= V(4, 1, 0, 7))
        k.U8(0);
    else
        k.U32(0);
    if (bRotationsFlag)
    {
        if (uiVersion >= V(4, 1, 0, 0))
            k.U8(0);
        else
            k.U32(0);
    }
    else if (uiVersion >= V(5, 0, 0, 8))
    {
        k.U8(0);
    }
    return k;
}

Bytes ParticlesGeometry(std::uint32_t uiVersion, std::uint32_t uiData)
{
    return GeometryRecord(uiVersion, uiData);
}
} // namespace

using NiParticlesTest = GeometryTest;

TEST_F(NiParticlesTest, ActiveCountAndRemoval)
{
    NiRefPtr<NiParticlesData> spData = ThreeParticles();
    EXPECT_EQ(spData->GetConsistency(), NiGeometryData::VOLATILE);
    spData->SetActiveVertexCount(7);
    EXPECT_EQ(spData->GetActiveVertexCount(), 3);

    spData->RemoveParticle(0);
    EXPECT_EQ(spData->GetActiveVertexCount(), 2);
    EXPECT_EQ(spData->GetVertices()[0], NiVec3(2, 0, 0));
    EXPECT_EQ(spData->GetColors()[0].b, 1.0f);
    EXPECT_FLOAT_EQ(spData->GetRadii()[0], 0.3f);
    EXPECT_EQ(spData->GetSizes()[0], 4.0f);
    EXPECT_EQ(spData->GetTextures()[0].x, 0.0f); // coordinates stay with the slot

    spData->RemoveParticle(2); // past the active ones: nothing
    EXPECT_EQ(spData->GetActiveVertexCount(), 2);
    spData->RemoveParticle(1); // the last one only drops
    EXPECT_EQ(spData->GetVertices()[1], NiVec3(1, 0, 0));
    spData->RemoveParticle(0);
    spData->RemoveParticle(0);
    EXPECT_EQ(spData->GetActiveVertexCount(), 0);
}

TEST_F(NiParticlesTest, RoundTripOfEveryParticleClass)
{
    NiRefPtr<NiParticlesData> spData = ThreeParticles();
    spData->SetRotations(NewArray<NiQuat>({{1, 0, 0, 0}, {0, 1, 0, 0}, {0.5f, 0.5f, 0.5f, 0.5f}}));
    spData->SetActiveVertexCount(2);
    NiRefPtr<NiParticles> spParticles = new NiParticles(spData);

    NiRefPtr<NiParticlesData> spMeshData = ThreeParticles(true);
    auto* pkMeshData = static_cast<NiParticleMeshesData*>(spMeshData.Get());
    pkMeshData->GetContainerNode()->AttachChild(new NiNode);
    // Mesh data read from a file always has rotations.
    pkMeshData->SetRotations(NewArray<NiQuat>({{1, 0, 0, 0}, {1, 0, 0, 0}, {1, 0, 0, 0}}));
    NiRefPtr<NiParticleMeshes> spMeshes = new NiParticleMeshes(pkMeshData);

    NiRefPtr<NiLinesData> spLines = new NiLinesData(4, NewArray<NiVec3>({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}),
                                                    nullptr, nullptr, 0, 0, nullptr);
    ASSERT_TRUE(RoundTrip({spParticles, spMeshes, spLines}));
    ASSERT_EQ(m_kLoaded.size(), 3u);
    EXPECT_TRUE(m_kLoaded[0]->IsEqual(spParticles));
    EXPECT_TRUE(m_kLoaded[1]->IsEqual(spMeshes));
    EXPECT_TRUE(m_kLoaded[2]->IsEqual(spLines));

    spData->GetSizes()[2] = 9.0f;
    EXPECT_FALSE(m_kLoaded[0]->IsEqual(spParticles));
}

TEST_F(NiParticlesTest, OldRecordsAndOldClassNames)
{
    for (std::uint32_t uiVersion : {V(4, 0, 0, 2), V(4, 1, 0, 7), V(5, 0, 0, 8), V(10, 0, 1, 12)})
    {
        SCOPED_TRACE(uiVersion);
        ASSERT_TRUE(LoadFile(uiVersion,
                             {{"NiAutoNormalParticles", ParticlesGeometry(uiVersion, 1)},
                              {"NiAutoNormalParticlesData", OldParticleBody(uiVersion, 0.5f, 4, false)}},
                             {0}))
            << m_kStream.GetLastErrorMessage();
        auto* pkParticles = NiDynamicCast<NiParticles>(m_kLoaded[0].Get());
        ASSERT_NE(pkParticles, nullptr);
        auto* pkData = static_cast<NiParticlesData*>(pkParticles->GetModelData());
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(pkData->GetRadii()[i], 0.5f);
        EXPECT_EQ(pkData->GetSizes()[2], 1.0f);
        EXPECT_EQ(pkData->GetActiveVertexCount(), 3); // 4 in the file: clamped
        EXPECT_EQ(pkData->GetConsistency(), NiGeometryData::VOLATILE);
        EXPECT_EQ(pkData->GetRotations(), nullptr);
    }
    const std::uint32_t v = V(10, 0, 1, 12);
    ASSERT_TRUE(LoadFile(v,
                         {{"NiRotatingParticles", ParticlesGeometry(v, 1)},
                          {"NiRotatingParticlesData", OldParticleBody(v, 1.0f, 2, true)}},
                         {0}));
    auto* pkData = static_cast<NiParticlesData*>(static_cast<NiParticles*>(m_kLoaded[0].Get())->GetModelData());
    EXPECT_TRUE(pkData->GetRotationsFlag());
    ASSERT_NE(pkData->GetRotations(), nullptr);
    EXPECT_EQ(pkData->GetRotations()[1], NiQuat(1, 0, 0, 0));
    EXPECT_STREQ(pkData->GetTypeInfo()->GetName(), "NiParticlesData");

    // Particles take only particle data.
    Bytes kShapeData = DataBody(v, DataRecord{}).U16(0).U32(0).U16(0);
    EXPECT_FALSE(LoadFile(v, {{"NiParticles", ParticlesGeometry(v, 1)}, {"NiTriShapeData", kShapeData}}, {0}));
}

TEST_F(NiParticlesTest, TruncatedParticleFilesFail)
{
    NiRefPtr<NiParticlesData> spData = ThreeParticles(true);
    static_cast<NiParticleMeshesData*>(spData.Get())->GetContainerNode()->AttachChild(new NiNode);
    NiRefPtr<NiParticleMeshes> spMeshes = new NiParticleMeshes(static_cast<NiParticleMeshesData*>(spData.Get()));
    NiRefPtr<NiLinesData> spLines =
        new NiLinesData(2, NewArray<NiVec3>({{0, 0, 0}, {1, 0, 0}}), nullptr, nullptr, 0, 0, nullptr);
    std::vector<std::uint8_t> kBytes = Save({spMeshes, spLines});
    for (std::size_t n = 0; n < kBytes.size(); ++n)
    {
        SCOPED_TRACE(n);
        EXPECT_FALSE(Load(std::vector<std::uint8_t>(kBytes.begin(), kBytes.begin() + static_cast<std::ptrdiff_t>(n))));
    }
    EXPECT_TRUE(Load(kBytes));
}

TEST_F(NiParticlesTest, TruncatedPlainParticleAndDynamicShapeFilesFail)
{
    NiRefPtr<NiParticlesData> spData = ThreeParticles();
    spData->SetRotations(NewArray<NiQuat>({{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}}));
    NiRefPtr<NiParticles> spParticles = new NiParticles(spData);
    NiRefPtr<NiTriShapeDynamicData> spDynamic =
        new NiTriShapeDynamicData(3, NewArray<NiVec3>({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}), nullptr, nullptr, nullptr, 0,
                                  0, 1, NewArray<std::uint16_t>({0, 1, 2}));
    NiRefPtr<NiTriShape> spShape = new NiTriShape(spDynamic);
    std::vector<std::uint8_t> kBytes = Save({spParticles, spShape});
    for (std::size_t n = 0; n < kBytes.size(); ++n)
    {
        SCOPED_TRACE(n);
        EXPECT_FALSE(Load(std::vector<std::uint8_t>(kBytes.begin(), kBytes.begin() + static_cast<std::ptrdiff_t>(n))));
    }
    ASSERT_TRUE(Load(kBytes));
    EXPECT_TRUE(m_kLoaded[0]->IsEqual(spParticles));
    EXPECT_TRUE(m_kLoaded[1]->IsEqual(spShape));
}

TEST_F(NiParticlesTest, MeshesFollowTheirParticles)
{
    NiRefPtr<NiParticlesData> spData = ThreeParticles(true);
    auto* pkData = static_cast<NiParticleMeshesData*>(spData.Get());
    NiNode* pkContainer = pkData->GetContainerNode();
    NiAVObjectPtr aspMesh[3] = {new NiNode, new NiNode, new NiNode};
    for (auto& sp : aspMesh)
        pkContainer->AttachChild(sp);
    NiRefPtr<NiParticleMeshes> spMeshes = new NiParticleMeshes(pkData);
    spMeshes->SetTranslate(NiVec3(0, 0, 10));
    spMeshes->Update(1.5f);
    EXPECT_EQ(aspMesh[2]->GetTranslate(), NiVec3(2, 0, 0));
    EXPECT_FLOAT_EQ(aspMesh[1]->GetScale(), 0.2f * 3.0f);
    EXPECT_EQ(pkContainer->GetTranslate(), NiVec3(0, 0, 10));
    EXPECT_EQ(aspMesh[2]->GetWorldTransform().m_kTranslate, NiVec3(2, 0, 10));
    EXPECT_EQ(spMeshes->GetUpdateTime(), 1.5f);

    // Removing particle 0 puts the last mesh in its place.
    pkData->RemoveParticle(0);
    EXPECT_EQ(pkContainer->GetAt(0), aspMesh[2].Get());
    EXPECT_EQ(pkContainer->GetAt(2), nullptr);
    EXPECT_EQ(aspMesh[0]->GetParent(), nullptr);
    pkData->SetActiveVertexCount(1);
    EXPECT_EQ(pkContainer->GetAt(1), nullptr);
    EXPECT_EQ(pkData->GetActiveVertexCount(), 1);
}

TEST_F(NiParticlesTest, ParticlesBelowTheirOwnContainerFail)
{
    const std::uint32_t v = V(10, 2, 0, 0);
    DataRecord kData;
    kData.m_kVertices = {{0, 0, 0}};
    auto MeshData = [&](std::uint32_t uiContainer) {
        return DataBody(v, kData).U8(0).U16(1).U8(0).U8(0).U32(uiContainer);
    };
    // 0: meshes -> data 1 -> container 2 -> meshes 0.
    EXPECT_FALSE(LoadFile(v,
                          {{"NiParticleMeshes", GeometryRecord(v, 1)},
                           {"NiParticleMeshesData", MeshData(2)},
                           {"NiNode", NodeRecord(v, "container", {0})}},
                          {2}));
    EXPECT_EQ(m_kStream.GetLastError(), NiObjectStream::ERROR_CORRUPT);
    // Through a nested system: 0 -> 1 -> node 2 -> meshes 3 -> data 4 -> node 5 -> meshes 0.
    EXPECT_FALSE(LoadFile(v,
                          {{"NiParticleMeshes", GeometryRecord(v, 1)},
                           {"NiParticleMeshesData", MeshData(2)},
                           {"NiNode", NodeRecord(v, "outer", {3})},
                           {"NiParticleMeshes", GeometryRecord(v, 4)},
                           {"NiParticleMeshesData", MeshData(5)},
                           {"NiNode", NodeRecord(v, "inner", {0})}},
                          {2}));
    // A container that is not a node.
    EXPECT_FALSE(LoadFile(v, {{"NiParticleMeshes", GeometryRecord(v, 1)}, {"NiParticleMeshesData", MeshData(0)}}, {0}));
    // Meshes need mesh data: plain particle data has no container.
    EXPECT_FALSE(LoadFile(
        v, {{"NiParticleMeshes", GeometryRecord(v, 1)}, {"NiParticlesData", DataBody(v, kData).U8(0).U16(1).U8(0).U8(0)}},
        {0}));
    EXPECT_EQ(m_kStream.GetLastError(), NiObjectStream::ERROR_CORRUPT);
    // The loop is formed by the link pass; a later record's bad link fails the
    // load before the check runs, and the loop is freed all the same (the
    // fixture's leak check).
    EXPECT_FALSE(LoadFile(v,
                          {{"NiParticleMeshes", GeometryRecord(v, 1)},
                           {"NiParticleMeshesData", MeshData(2)},
                           {"NiNode", NodeRecord(v, "container", {0})},
                           {"NiNode", NodeRecord(v, "bad", {99})}},
                          {2}));
    EXPECT_EQ(m_kStream.GetLastError(), NiObjectStream::ERROR_CORRUPT);
    // The plain case loads.
    EXPECT_TRUE(LoadFile(v,
                         {{"NiParticleMeshes", GeometryRecord(v, 1)},
                          {"NiParticleMeshesData", MeshData(2)},
                          {"NiNode", NodeRecord(v, "container", {})}},
                         {0}));
}

TEST_F(NiParticlesTest, ParticlesKeepOnlyLights)
{
    NiRefPtr<NiEffectSet> spSet = new NiEffectSet;
    NiRefPtr<NiPointLight> spLight = new NiPointLight;
    NiRefPtr<NiTextureEffect> spEnvironment = new NiTextureEffect;
    spEnvironment->SetTextureType(NiTextureEffect::ENVIRONMENT_MAP);
    spSet->AddEffect(spLight);
    NiRefPtr<NiParticles> spParticles = new NiParticles(ThreeParticles());
    spParticles->UpdateEffectsDownward(spSet);
    EXPECT_EQ(spParticles->GetEffectState(), spSet.Get()); // nothing to drop

    spSet->AddEffect(spEnvironment);
    spParticles->UpdateEffectsDownward(spSet);
    NiEffectSet* pkKept = spParticles->GetEffectState();
    ASSERT_NE(pkKept, nullptr);
    EXPECT_EQ(pkKept->GetEnvironmentMap(), nullptr);
    EXPECT_EQ(pkKept->GetLights().GetSize(), 1u);
    EXPECT_EQ(NiParticles::KeepLightsOnly(nullptr), nullptr);

    NiRefPtr<GeomRenderer> spRenderer = new GeomRenderer;
    spParticles->SetConsistency(false);
    EXPECT_EQ(spParticles->GetModelData()->GetConsistency(), NiGeometryData::VOLATILE);
    spParticles->RenderImmediate(spRenderer);
    ASSERT_EQ(spRenderer->m_kPoints.size(), 1u);
    NiRenderer::ResetRenderer();
}

TEST_F(NiParticlesTest, LinesWithoutFlagsMakeSeparateSegments)
{
    NiRefPtr<NiLinesData> spLines = new NiLinesData(
        4, NewArray<NiVec3>({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}}), nullptr, nullptr, 0, 0, nullptr);
    EXPECT_EQ(spLines->GetFlags()[0], 1); // 0-1
    EXPECT_EQ(spLines->GetFlags()[1], 0); // not 1-2
    EXPECT_EQ(spLines->GetFlags()[2], 1); // 2-3
    EXPECT_EQ(spLines->GetNormals(), nullptr);
}

// ---- Screen geometry ----

namespace
{
NiRefPtr<NiScreenGeometryData> ScreenData(std::uint32_t uiSlots, std::uint32_t uiEmptyEvery)
{
    NiRefPtr<NiScreenGeometryData> spData = new NiScreenGeometryData;
    spData->SetPixelAccurate(true);
    for (std::uint32_t s = 0; s < uiSlots; ++s)
    {
        if (uiEmptyEvery != 0 && s % uiEmptyEvery == 0)
        {
            spData->SetElementAt(s, nullptr);
            continue;
        }
        NiScreenElement* pkElement = NiScreenElementPool::Take();
        pkElement->SetElement(2, NewArray<NiVec2>({{0, 0}, {static_cast<float>(s), 1}}),
                              s % 2 ? NewArray<NiColorRGBA>({{1, 1, 1, 1}, {0, 0, 0, 1}}) : nullptr,
                              NewArray<NiVec2>({{0, 0}, {1, 1}, {0.5f, 0.5f}, {1, 0}}), 2);
        spData->SetElementAt(s, pkElement);
    }
    return spData;
}
} // namespace

TEST_F(NiParticlesTest, ScreenGeometryRoundTripAndPool)
{
    ASSERT_TRUE(NiScreenElementPool::IsInitialized());
    NiRefPtr<NiScreenGeometry> spScreen = new NiScreenGeometry(ScreenData(5, 3));
    auto* pkData = static_cast<NiScreenGeometryData*>(spScreen->GetModelData());
    EXPECT_EQ(pkData->GetElementSlotCount(), 5u);
    EXPECT_EQ(pkData->GetElementCount(), 3u);
    ASSERT_TRUE(RoundTrip({spScreen}));
    EXPECT_TRUE(m_kLoaded[0]->IsEqual(spScreen));
    auto* pkLoaded = static_cast<NiScreenGeometryData*>(static_cast<NiGeometry*>(m_kLoaded[0].Get())->GetModelData());
    EXPECT_EQ(pkLoaded->GetElement(0), nullptr);
    ASSERT_NE(pkLoaded->GetElement(4), nullptr);
    EXPECT_EQ(pkLoaded->GetElement(4)->m_pkPositions[1].x, 4.0f);
    EXPECT_TRUE(pkLoaded->GetPixelAccurate());

    m_kLoaded.clear();
    spScreen = nullptr;
    pkData = nullptr;
    EXPECT_EQ(NiScreenElementPool::GetFreeCount(), NiScreenElementPool::GetElementCount());

    // 30 elements need blocks of 8, 16 and 32.
    NiRefPtr<NiScreenGeometryData> spMany = ScreenData(30, 0);
    EXPECT_EQ(NiScreenElementPool::GetBlockCount(), 3u);
    EXPECT_EQ(NiScreenElementPool::GetElementCount(), 56u);
    EXPECT_EQ(NiScreenElementPool::GetNextBlockSize(), 64u);
    spMany = nullptr;
    EXPECT_EQ(NiScreenElementPool::GetFreeCount(), 56u);
}

TEST_F(NiParticlesTest, ReturningANullScreenElementStopsADebugBuild)
{
    ASSERT_TRUE(NiScreenElementPool::IsInitialized());
    NiScreenElement* pkElement = NiScreenElementPool::Take();
    const std::uint32_t uiFree = NiScreenElementPool::GetFreeCount();
#ifndef NDEBUG
    EXPECT_DEATH(NiScreenElementPool::Return(nullptr), "screen element pool asked to free null");
#else
    NiScreenElementPool::Return(nullptr);
#endif
    EXPECT_EQ(NiScreenElementPool::GetFreeCount(), uiFree);
    NiScreenElementPool::Return(pkElement);
    EXPECT_EQ(NiScreenElementPool::GetFreeCount(), uiFree + 1);
}

TEST_F(NiParticlesTest, ScreenGeometryRecordsOldAndHostile)
{
    // Old form: geometry data only, pixel byte, then the triangles, then
    // the slots; a slot of vertex count 0 has nothing more.
    const std::uint32_t vOld = V(10, 0, 1, 14);
    DataRecord kData;
    kData.m_kVertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    auto OldBody = [&](std::uint16_t usVertices, std::uint16_t usIndex) {
        return DataBody(vOld, kData)
            .U8(1)
            .U16(usVertices)
            .U16(1)
            .U16(3)
            .U16(0)
            .U16(1)
            .U16(usIndex)
            .U32(2)
            .U16(0)
            .U16(1)
            .U8(1)
            .F32(5)
            .F32(6)
            .U8(0)
            .U16(0);
    };
    ASSERT_TRUE(LoadFile(vOld,
                         {{"NiScreenGeometry", GeometryRecord(vOld, 1)}, {"NiScreenGeometryData", OldBody(3, 2)}},
                         {0}))
        << m_kStream.GetLastErrorMessage();
    auto* pkData = static_cast<NiScreenGeometryData*>(static_cast<NiGeometry*>(m_kLoaded[0].Get())->GetModelData());
    EXPECT_EQ(pkData->GetVertexCount(), 3);
    EXPECT_EQ(pkData->GetTriangleCount(), 1);
    EXPECT_EQ(pkData->GetElement(0), nullptr);
    ASSERT_NE(pkData->GetElement(1), nullptr);
    EXPECT_EQ(pkData->GetElement(1)->m_pkPositions[0].y, 6.0f);

    // A vertex count beyond the arrays, or an index at it, fails.
    EXPECT_FALSE(LoadFile(
        vOld, {{"NiScreenGeometry", GeometryRecord(vOld, 1)}, {"NiScreenGeometryData", OldBody(5, 2)}}, {0}));
    EXPECT_FALSE(LoadFile(
        vOld, {{"NiScreenGeometry", GeometryRecord(vOld, 1)}, {"NiScreenGeometryData", OldBody(3, 3)}}, {0}));

    // Slot count 0xFFFFFFFF in a current file.
    NiRefPtr<NiScreenGeometry> spScreen = new NiScreenGeometry(ScreenData(2, 0));
    std::vector<std::uint8_t> kBytes = Save({spScreen});
    for (std::size_t n = 0; n < kBytes.size(); ++n)
    {
        SCOPED_TRACE(n);
        EXPECT_FALSE(Load(std::vector<std::uint8_t>(kBytes.begin(), kBytes.begin() + static_cast<std::ptrdiff_t>(n))));
    }
    Bytes kHostile = DataBody(V(10, 2, 0, 0), DataRecord{}).U16(0).U32(0).U8(0).U16(0).U8(0).U32(0xFFFFFFFF);
    EXPECT_FALSE(LoadFile(V(10, 2, 0, 0),
                          {{"NiScreenGeometry", GeometryRecord(V(10, 2, 0, 0), 1)}, {"NiScreenGeometryData", kHostile}},
                          {0}));
    EXPECT_EQ(m_kStream.GetLastError(), NiObjectStream::ERROR_CORRUPT);
    // A triangle shape may not carry screen data's place the other way round.
    EXPECT_FALSE(LoadFile(V(10, 2, 0, 0),
                          {{"NiScreenGeometry", GeometryRecord(V(10, 2, 0, 0), 1)},
                           {"NiTriShapeData", DataBody(V(10, 2, 0, 0), DataRecord{}).U16(0).U32(0).U8(0).U16(0)}},
                          {0}));
}
} // namespace scene_test
