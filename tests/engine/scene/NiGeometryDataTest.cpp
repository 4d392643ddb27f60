#include "engine/scene/NiGeometryData.h"

#include "engine/core/NiBatch.h"
#include "engine/scene/NiGeometry.h"
#include "engine/scene/NiGeometryLibrary.h"
#include "engine/scene/NiScreenGeometry.h"
#include "engine/scene/NiSkinInstance.h"
#include "engine/scene/NiTriShape.h"
#include "engine/scene/NiTriStrips.h"
#include "tests/engine/scene/GeometryTestSupport.h"

#include <cstring>

namespace scene_test
{
namespace
{
class VertexController : public TestController
{
public:
    [[nodiscard]] bool IsVertexController() const override { return true; }
};

// The square's shape record pair at the version: geometry, then its data.
std::vector<Record> SquareRecords(std::uint32_t uiVersion, const DataRecord& kData, std::uint16_t usTriangles = 2,
                                  const std::vector<std::uint16_t>& kList = {0, 1, 2, 0, 2, 3})
{
    Bytes kBody = DataBody(uiVersion, kData);
    kBody.U16(usTriangles).U32(static_cast<std::uint32_t>(kList.size()));
    if (uiVersion >= V(10, 0, 1, 17))
        kBody.U8(kList.empty() ? 0 : 1);
    for (std::uint16_t us : kList)
        kBody.U16(us);
    kBody.U16(0); // no shared normals
    return {{"NiTriShape", GeometryRecord(uiVersion, 1)}, {"NiTriShapeData", kBody}};
}

DataRecord SquareRecord()
{
    DataRecord k;
    k.m_kVertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    return k;
}
} // namespace

using NiGeometryDataTest = GeometryTest;

TEST_F(NiGeometryDataTest, StartUpRegistersTheClassesAndThePool)
{
    for (const char* pcName : NI_GEOMETRY_CLASS_NAMES)
        EXPECT_NE(NiObjectStream::GetCreateFunction(pcName), nullptr) << pcName;
    EXPECT_TRUE(NiScreenElementPool::IsInitialized());
    NiMainLibrary::Shutdown();
    for (const char* pcName : NI_GEOMETRY_CLASS_NAMES)
        EXPECT_EQ(NiObjectStream::GetCreateFunction(pcName), nullptr) << pcName;
    EXPECT_FALSE(NiScreenElementPool::IsInitialized());
    NiMainLibrary::Init();
}

TEST_F(NiGeometryDataTest, IdentifiersAreConsecutiveAndWrap)
{
    NiGeometryData::SetNextID(65534);
    NiRefPtr<NiTriShapeData> spA = new NiTriShapeData;
    NiRefPtr<NiTriShapeData> spB = new NiTriShapeData;
    NiRefPtr<NiTriShapeData> spC = new NiTriShapeData;
    EXPECT_EQ(spA->GetID(), 65534);
    EXPECT_EQ(spB->GetID(), 65535);
    EXPECT_EQ(spC->GetID(), 0);
    NiGeometryData::SetNextID(0);
}

TEST_F(NiGeometryDataTest, RoundTripKeepsEveryArrayAndOnlyTheConsistency)
{
    NiRefPtr<NiTriShapeData> spData = SquareData(true, 2);
    spData->CreateNormals(true);
    spData->SetKeepFlags(3);
    spData->SetCompressFlags(5);
    spData->SetDirtyFlags(NiGeometryData::STATIC | 0x0123);
    NiRefPtr<NiTriShape> spShape = new NiTriShape(spData);
    spShape->SetShader(new NiShader("skin.fx", 7));
    ASSERT_TRUE(RoundTrip({spShape}));
    auto* pkLoaded = NiDynamicCast<NiTriShape>(m_kLoaded[0].Get());
    ASSERT_NE(pkLoaded, nullptr);
    EXPECT_TRUE(pkLoaded->IsEqual(spShape));
    NiGeometryData* pkData = pkLoaded->GetModelData();
    EXPECT_EQ(pkData->GetDirtyFlags(), NiGeometryData::STATIC);
    EXPECT_EQ(pkData->GetTextureSets(), 2);
    EXPECT_EQ(pkData->GetTextureSet(1)->x, spData->GetTextureSet(1)->x);
    EXPECT_EQ(pkData->GetTextureSet(2), nullptr);
    ASSERT_NE(pkLoaded->GetShader(), nullptr);
    EXPECT_STREQ(pkLoaded->GetShader()->GetName(), "skin.fx");
    EXPECT_EQ(pkLoaded->GetShader()->GetImplementation(), 7u);

    spData->SetKeepFlags(4);
    EXPECT_FALSE(pkLoaded->IsEqual(spShape));
}

TEST_F(NiGeometryDataTest, NormalBinormalTangentDataKeepsThreeVectorsPerVertex)
{
    NiVec3* pkVertex = NewArray<NiVec3>({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    NiRefPtr<NiTriShapeData> spData =
        new NiTriShapeData(3, pkVertex, nullptr, nullptr, nullptr, 0, 0x1000, 1, NewArray<std::uint16_t>({0, 1, 2}));
    spData->CreateNormals(true);
    for (std::uint32_t i = 0; i < 9; ++i)
        spData->GetNormals()[i] = NiVec3(static_cast<float>(i), 0, 1);
    NiRefPtr<NiTriShape> spShape = new NiTriShape(spData);
    ASSERT_TRUE(RoundTrip({spShape}));
    auto* pkData = static_cast<NiTriShape*>(m_kLoaded[0].Get())->GetModelData();
    EXPECT_EQ(pkData->GetNormalVectorCount(), 9u);
    EXPECT_EQ(pkData->GetNormals()[8], NiVec3(8, 0, 1));
    EXPECT_TRUE(pkData->IsEqual(spData));
}

TEST_F(NiGeometryDataTest, EmptyDataWritesNoVertices)
{
    NiRefPtr<NiTriShape> spShape = new NiTriShape(new NiTriShapeData);
    std::vector<std::uint8_t> kBytes = Save({spShape});
    ASSERT_TRUE(Load(kBytes));
    auto* pkData = static_cast<NiTriShape*>(m_kLoaded[0].Get())->GetModelData();
    EXPECT_EQ(pkData->GetVertices(), nullptr);
    EXPECT_EQ(pkData->GetVertexCount(), 0);
}

// The same square in the form of each version where the record changed.
TEST_F(NiGeometryDataTest, LoadsEveryRecordVersion)
{
    for (std::uint32_t uiVersion : {V(3, 3, 0, 13), V(4, 0, 0, 2), V(4, 1, 0, 0), V(5, 0, 0, 6), V(5, 0, 0, 10),
                                    V(10, 0, 0, 2), V(10, 0, 1, 16), V(10, 0, 1, 17), V(10, 1, 0, 114), V(10, 2, 0, 0)})
    {
        SCOPED_TRACE(uiVersion);
        DataRecord kData = SquareRecord();
        kData.m_usSets = 1;
        kData.m_kTextures = {0, 0, 1, 0, 1, 1, 0, 1};
        kData.m_usConsistency = NiGeometryData::VOLATILE;
        ASSERT_TRUE(LoadFile(uiVersion, SquareRecords(uiVersion, kData), {0})) << m_kStream.GetLastErrorMessage();
        auto* pkShape = NiDynamicCast<NiTriShape>(m_kLoaded[0].Get());
        ASSERT_NE(pkShape, nullptr);
        auto* pkData = static_cast<NiTriShapeData*>(pkShape->GetModelData());
        EXPECT_EQ(pkData->GetVertices()[2], NiVec3(1, 1, 0));
        EXPECT_EQ(pkData->GetTextureSets(), 1);
        EXPECT_EQ(pkData->GetTextureSet(0)[2].y, 1.0f);
        EXPECT_EQ(pkData->GetTriListLength(), 6u);
        EXPECT_EQ(pkData->GetConsistency(), uiVersion >= V(5, 0, 0, 10) ? NiGeometryData::VOLATILE : 0);
    }
}

TEST_F(NiGeometryDataTest, CountsBeyondTheBytesLeftFail)
{
    // 63 texture sets of 4 vertices need 2016 bytes the file does not have.
    DataRecord kData = SquareRecord();
    kData.m_usSets = 63;
    kData.m_kTextures = {0, 0, 1, 0};
    EXPECT_FALSE(LoadFile(V(10, 2, 0, 0), SquareRecords(V(10, 2, 0, 0), kData), {0}));
    EXPECT_EQ(m_kStream.GetLastError(), NiObjectStream::ERROR_CORRUPT);

    DataRecord kHuge = SquareRecord();
    kHuge.m_usCount = 0xFFF0; // vertex arrays of that many
    EXPECT_FALSE(LoadFile(V(10, 2, 0, 0), SquareRecords(V(10, 2, 0, 0), kHuge), {0}));
    EXPECT_EQ(m_kStream.GetLastError(), NiObjectStream::ERROR_CORRUPT);
}

TEST_F(NiGeometryDataTest, TriangleListMustMatchAndStayInsideTheVertices)
{
    const std::uint32_t v = V(10, 2, 0, 0);
    // Index 4 of four vertices.
    EXPECT_FALSE(LoadFile(v, SquareRecords(v, SquareRecord(), 2, {0, 1, 2, 0, 2, 4}), {0}));
    EXPECT_EQ(m_kStream.GetLastError(), NiObjectStream::ERROR_CORRUPT);
    // A list of 5 for two triangles.
    EXPECT_FALSE(LoadFile(v, SquareRecords(v, SquareRecord(), 2, {0, 1, 2, 0, 2}), {0}));
    // Index 3 is the last vertex: fine.
    EXPECT_TRUE(LoadFile(v, SquareRecords(v, SquareRecord(), 2, {0, 1, 3, 0, 2, 3}), {0}));
}

TEST_F(NiGeometryDataTest, DataOfTheWrongClassFailsAndANullLinkLoads)
{
    const std::uint32_t v = V(10, 2, 0, 0);
    std::vector<Record> kRecords = SquareRecords(v, SquareRecord());
    Bytes kStrips = DataBody(v, SquareRecord()).U16(0).U16(0);
    EXPECT_FALSE(LoadFile(v, {kRecords[0], {"NiTriStripsData", kStrips}}, {0}));
    EXPECT_EQ(m_kStream.GetLastError(), NiObjectStream::ERROR_CORRUPT);
    EXPECT_FALSE(LoadFile(v, {{"NiTriStrips", GeometryRecord(v, 1)}, kRecords[1]}, {0}));

    ASSERT_TRUE(LoadFile(v, {{"NiTriShape", GeometryRecord(v, NONE)}}, {0}));
    EXPECT_EQ(static_cast<NiGeometry*>(m_kLoaded[0].Get())->GetModelData(), nullptr);
}

TEST_F(NiGeometryDataTest, TruncationAtEveryLengthFails)
{
    NiRefPtr<NiTriShapeData> spData = SquareData(true, 1);
    spData->CreateNormals(true);
    NiRefPtr<NiTriShape> spShape = new NiTriShape(spData);
    std::vector<std::uint8_t> kBytes = Save({spShape});
    for (std::size_t n = 0; n < kBytes.size(); ++n)
    {
        SCOPED_TRACE(n);
        EXPECT_FALSE(Load(std::vector<std::uint8_t>(kBytes.begin(), kBytes.begin() + static_cast<std::ptrdiff_t>(n))));
    }
    EXPECT_TRUE(Load(kBytes));
}

TEST_F(NiGeometryDataTest, NormalsOfASquareAndADegenerateTriangle)
{
    NiBuildSqrtTable();
    NiRefPtr<NiTriShapeData> spData = SquareData();
    spData->CalculateNormals();
    for (int i = 0; i < 4; ++i)
        ExpectNear(spData->GetNormals()[i], NiVec3(0, 0, 1), 1e-3f);
    EXPECT_NE(spData->GetDirtyFlags() & NiGeometryData::NORMALS_DIRTY, 0);

    // A triangle folded onto a line adds nothing: its vertex keeps zero.
    NiVec3* pkVertex = NewArray<NiVec3>({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}});
    NiRefPtr<NiTriShapeData> spLine =
        new NiTriShapeData(3, pkVertex, nullptr, nullptr, nullptr, 0, 0, 1, NewArray<std::uint16_t>({0, 1, 2}));
    spLine->CalculateNormals();
    EXPECT_EQ(spLine->GetNormals()[1], NiVec3::ZERO);

    EXPECT_EQ(NiTriBasedGeomData::FastUnit(NiVec3::ZERO), NiVec3::ZERO);
    ExpectNear(NiTriBasedGeomData::FastUnit(NiVec3(0, 3, 4)), NiVec3(0, 0.6f, 0.8f), 1e-2f);
    NiFreeSqrtTable();
}

TEST_F(NiGeometryDataTest, SharedNormalsCountOnlyWithOneEntryPerVertex)
{
    // Two triangles of opposite facing that do not share vertex 3.
    NiVec3* pkVertex = NewArray<NiVec3>({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 0}, {0, 1, 0}, {1, 0, 1}});
    NiRefPtr<NiTriShapeData> spData = new NiTriShapeData(6, pkVertex, nullptr, nullptr, nullptr, 0, 0, 2,
                                                         NewArray<std::uint16_t>({0, 1, 2, 3, 4, 5}));
    ASSERT_TRUE(spData->SetSharedNormals({{3}, {}, {}, {0}, {}, {}}));
    spData->CalculateNormals();
    NiVec3 kShared = spData->GetNormals()[0];
    EXPECT_EQ(kShared, spData->GetNormals()[3]); // both faces summed into both
    EXPECT_NE(kShared, NiVec3(0, 0, 1));

    ASSERT_TRUE(spData->SetSharedNormals({{3}, {}, {}, {0}}));
    spData->CalculateNormals();
    ExpectNear(spData->GetNormals()[0], NiVec3(0, 0, 1));
    EXPECT_FALSE(spData->SetSharedNormals({{6}}));
}

TEST_F(NiGeometryDataTest, ApplyTransformBakesPositionsAndNormals)
{
    NiRefPtr<NiTriShapeData> spData = SquareData();
    spData->CreateNormals(true);
    for (int i = 0; i < 4; ++i)
        spData->GetNormals()[i] = NiVec3(1, 0, 0);
    NiRefPtr<NiTriShape> spShape = new NiTriShape(spData);
    // Stretch x by 2 and move by (0, 0, 5): normals go through the inverse
    // transpose and are left unnormalised.
    NiMatrix3x3 kStretch(2, 0, 0, 0, 1, 0, 0, 0, 1);
    spShape->ApplyTransform(kStretch, NiVec3(0, 0, 5), false);
    EXPECT_EQ(spData->GetVertices()[2], NiVec3(2, 1, 5));
    ExpectNear(spData->GetNormals()[0], NiVec3(0.5f, 0, 0));
    ExpectNear(spData->GetBound().m_kCenter, NiVec3(1, 0.5f, 5));

    // On the left: a quarter turn of the parent's frame applied to an object
    // turned a quarter itself and placed at (1, 0, 0).
    NiRefPtr<NiTriShapeData> spOther = SquareData();
    NiRefPtr<NiTriShape> spTurned = new NiTriShape(spOther);
    spTurned->SetRotate(QuarterTurnZ());
    spTurned->SetTranslate(NiVec3(1, 0, 0));
    spTurned->ApplyTransform(NiMatrix3x3(), NiVec3(0, 3, 0), true);
    // A move of (0, 3, 0) in the parent is (3, 0, 0) in the turned frame.
    ExpectNear(spOther->GetVertices()[0], NiVec3(3, 0, 0));

    // A turn of the parent's frame on a scaled object keeps every vertex's
    // place in the parent: vertex (1, 0, 0) sat at (3, 0, 0) and goes to
    // (0, 3, 0), which is (-0.5, 1.5, 0) in the object's own frame.
    NiRefPtr<NiTriShapeData> spScaled = SquareData();
    NiRefPtr<NiTriShape> spBig = new NiTriShape(spScaled);
    spBig->SetTranslate(NiVec3(1, 0, 0));
    spBig->SetScale(2.0f);
    spBig->ApplyTransform(QuarterTurnZ(), NiVec3::ZERO, true);
    ExpectNear(spScaled->GetVertices()[1], NiVec3(-0.5f, 1.5f, 0));
}

TEST_F(NiGeometryDataTest, ConsistencyFollowsControllersSkinAndRenderer)
{
    NiRefPtr<NiTriShapeData> spData = SquareData();
    NiRefPtr<NiTriShape> spShape = new NiTriShape(spData);
    spData->SetDirtyFlags(0x0005);
    spShape->SetConsistency(false);
    EXPECT_EQ(spData->GetDirtyFlags(), NiGeometryData::STATIC | 0x0005);

    spShape->PrependController(new VertexController);
    spShape->SetConsistency(false);
    EXPECT_EQ(spData->GetConsistency(), NiGeometryData::VOLATILE);
    spShape->SetControllers(nullptr);

    NiRefPtr<NiSkinInstance> spSkin = new NiSkinInstance;
    spSkin->SetSkinData(new NiSkinData);
    spShape->SetSkinInstance(spSkin);
    spShape->SetConsistency(true);
    EXPECT_EQ(spData->GetConsistency(), NiGeometryData::VOLATILE); // no partition
    spSkin->SetSkinPartition(new NiSkinPartition);
    spShape->SetConsistency(true);
    EXPECT_EQ(spData->GetConsistency(), NiGeometryData::STATIC);

    NiRefPtr<GeomRenderer> spRenderer = new GeomRenderer;
    NiRenderer::SetRenderer(spRenderer);
    spShape->SetConsistency(false);
    EXPECT_EQ(spData->GetConsistency(), NiGeometryData::VOLATILE);
    spRenderer->m_uiFlags = 0x200;
    spShape->SetConsistency(false);
    EXPECT_EQ(spData->GetConsistency(), NiGeometryData::STATIC);

    // The animation library's hook for vertex controllers.
    NiGeometry::MarkDataVolatile(spShape);
    EXPECT_EQ(spData->GetConsistency(), NiGeometryData::VOLATILE);
    NiRenderer::ResetRenderer();
}

TEST_F(NiGeometryDataTest, CloneSharesDataAndCopiesAPlaceholderShader)
{
    NiRefPtr<NiTriShape> spShape = new NiTriShape(SquareData());
    spShape->SetShader(new NiShader("water", 2));
    NiRefPtr<NiTriShape> spClone = static_cast<NiTriShape*>(spShape->Clone());
    ASSERT_NE(spClone, nullptr);
    EXPECT_EQ(spClone->GetModelData(), spShape->GetModelData());
    ASSERT_NE(spClone->GetShader(), nullptr);
    EXPECT_NE(spClone->GetShader(), spShape->GetShader());
    EXPECT_STREQ(spClone->GetShader()->GetName(), "water");
    EXPECT_EQ(spClone->GetShader()->GetImplementation(), 2u);
    EXPECT_EQ(spClone->GetPlaneMask(), NiGeometry::ALL_PLANES);
}

TEST_F(NiGeometryDataTest, RendererIsToldOfDrawsAndPurges)
{
    NiRefPtr<GeomRenderer> spRenderer = new GeomRenderer;
    NiRenderer::SetRenderer(spRenderer);
    NiRefPtr<NiTriShape> spShape = new NiTriShape(SquareData());
    const void* pvData = spShape->GetModelData();

    NiRefPtr<NiCamera> spCamera = PosedCamera(NiVec3(0, 0, 0));
    spCamera->SetRenderer(spRenderer);
    spCamera->GetActivePlaneMask() = 5;
    spShape->OnVisible(spCamera);
    ASSERT_EQ(spRenderer->m_kShapes.size(), 1u);
    EXPECT_EQ(spRenderer->m_kShapes[0], spShape.Get());
    EXPECT_EQ(spRenderer->GetPlaneMask(), 5u);

    // A sorter that takes the geometry draws it later itself.
    NiRefPtr<TestAccumulator> spSorter = new TestAccumulator;
    spRenderer->SetAccumulator(spSorter);
    spShape->OnVisible(spCamera);
    EXPECT_EQ(spRenderer->m_kShapes.size(), 1u);
    spRenderer->SetAccumulator(nullptr);

    spShape->PurgeRendererData(spRenderer);
    ASSERT_EQ(spRenderer->m_kPurgedData.size(), 1u);
    spShape = nullptr;
    ASSERT_EQ(spRenderer->m_kPurgedData.size(), 2u);
    EXPECT_EQ(spRenderer->m_kPurgedData[1], pvData);
    spCamera = nullptr;
    NiRenderer::ResetRenderer();
}
TEST_F(NiGeometryDataTest, ModelDataAndArraysAreReplacedInPlace)
{
    NiRefPtr<NiTriShapeData> spData = SquareData();
    NiRefPtr<NiTriShape> spShape = new NiTriShape(spData);
    spShape->SetModelData(nullptr);
    EXPECT_EQ(spShape->GetModelData(), spData.Get());
    NiRefPtr<NiTriShapeData> spOther = SquareData();
    spShape->SetModelData(spOther);
    EXPECT_EQ(spShape->GetModelData(), spOther.Get());
    EXPECT_EQ(spData->GetRefCount(), 1u);

    // The vertex array is kept, the others are swapped; the bound follows.
    NiVec3* pkVertex = spData->GetVertices();
    pkVertex[2] = NiVec3(4, 0, 0);
    NiColorRGBA* pkColor = NewArray<NiColorRGBA>({{1, 1, 1, 1}, {1, 1, 1, 1}, {1, 1, 1, 1}});
    spData->Replace(3, pkVertex, nullptr, pkColor, nullptr, 0, 0);
    EXPECT_EQ(spData->GetVertexCount(), 3);
    EXPECT_EQ(spData->GetVertices(), pkVertex);
    EXPECT_EQ(spData->GetColors(), pkColor);
    ExpectNear(spData->GetBound().m_kCenter, NiVec3(2, 0, 0));

    // SetTriangles with the list already held keeps it.
    std::uint16_t* pusList = spData->GetTriList();
    spData->SetTriangles(1, pusList);
    EXPECT_EQ(spData->GetTriList(), pusList);
    EXPECT_EQ(spData->GetTriListLength(), 3u);
    std::uint16_t a = 9, b = 9, c = 9;
    EXPECT_FALSE(spData->GetTriangleIndices(1, a, b, c));
    spData->SetTriangles(1, nullptr);
    EXPECT_FALSE(spData->GetTriangleIndices(0, a, b, c));
    EXPECT_EQ(a, 9);
    NiVec3* p0 = nullptr;
    NiVec3* p1 = nullptr;
    NiVec3* p2 = nullptr;
    EXPECT_FALSE(NiRefPtr<NiTriShape>(new NiTriShape(spData))->GetModelTriangle(0, p0, p1, p2));
}

TEST_F(NiGeometryDataTest, ReplaceKeepsTheMiddleFlagBitsOfAFile)
{
    const std::uint32_t v = V(10, 2, 0, 0);
    DataRecord kData = SquareRecord();
    kData.m_usNBT = 0x0140; // bits the engine does not use, kept as read
    ASSERT_TRUE(LoadFile(v, SquareRecords(v, kData), {0}));
    NiGeometryData* pkData = static_cast<NiGeometry*>(m_kLoaded[0].Get())->GetModelData();
    EXPECT_EQ(pkData->GetDataFlags(), 0x0140);
    pkData->Replace(4, pkData->GetVertices(), nullptr, nullptr, nullptr, 2, 0x1000);
    EXPECT_EQ(pkData->GetDataFlags(), 0x1000 | 0x0140 | 2);
}

TEST_F(NiGeometryDataTest, BlockGroupIsKeptOnlyForSaving)
{
    const std::uint32_t v = V(10, 2, 0, 0);
    std::vector<Record> kRecords = SquareRecords(v, SquareRecord());
    kRecords[1].m_kBody.m_kBytes[0] = 1; // group 1 of the table
    ASSERT_TRUE(Load(BuildFile(v, kRecords, {0}, {4096}))) << m_kStream.GetLastErrorMessage();
    NiGeometryData* pkData = static_cast<NiGeometry*>(m_kLoaded[0].Get())->GetModelData();
    ASSERT_NE(pkData->GetBlockGroup(), nullptr);
    EXPECT_EQ(pkData->GetBlockGroup()->m_uiSize, 4096u);
    EXPECT_EQ(pkData->GetVertices()[3], NiVec3(0, 1, 0));
    EXPECT_EQ(pkData->GetBlockAllocationSize(), sizeof(NiGeometryData) + 12u * 4);

    // Saved again, the data names its group once more.
    NiObjectPtr spShape = m_kLoaded[0];
    std::vector<std::uint8_t> kBytes = Save({spShape});
    ASSERT_TRUE(Load(kBytes));
    EXPECT_NE(static_cast<NiGeometry*>(m_kLoaded[0].Get())->GetModelData()->GetBlockGroup(), nullptr);

    // A group past the table.
    kRecords[1].m_kBody.m_kBytes[0] = 2;
    EXPECT_FALSE(Load(BuildFile(v, kRecords, {0}, {4096})));
    EXPECT_EQ(m_kStream.GetLastError(), NiObjectStream::ERROR_CORRUPT);
}
} // namespace scene_test
