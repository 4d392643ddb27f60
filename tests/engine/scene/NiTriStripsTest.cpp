#include "engine/scene/NiTriStrips.h"

#include "tests/engine/scene/GeometryTestSupport.h"

#include <array>

namespace scene_test
{
namespace
{
using Triangle = std::array<std::uint16_t, 3>;

// Six vertices on a zig-zag in the z = 0 plane; strips given by lengths and
// indices.
NiRefPtr<NiTriStripsData> Strips(const std::vector<std::uint16_t>& kLengths, const std::vector<std::uint16_t>& kList,
                                 std::uint16_t usTriangles)
{
    NiVec3* pkVertex = NewArray<NiVec3>({{0, 0, 0}, {0, 1, 0}, {1, 0, 0}, {1, 1, 0}, {2, 0, 0}, {2, 1, 0}});
    return new NiTriStripsData(6, pkVertex, nullptr, nullptr, nullptr, 0, 0, usTriangles,
                               static_cast<std::uint16_t>(kLengths.size()), NewArray(kLengths), NewArray(kList));
}

Triangle Ask(const NiTriStripsData* pkData, std::uint16_t usTriangle)
{
    Triangle k{0xFFFF, 0xFFFF, 0xFFFF};
    EXPECT_TRUE(pkData->GetTriangleIndices(usTriangle, k[0], k[1], k[2]));
    return k;
}

// The strips record after the data part.
Bytes StripsBody(std::uint32_t uiVersion, std::uint16_t usTriangles, const std::vector<std::uint16_t>& kLengths,
                 const std::vector<std::uint16_t>& kList)
{
    DataRecord kData;
    kData.m_kVertices = {{0, 0, 0}, {0, 1, 0}, {1, 0, 0}, {1, 1, 0}};
    Bytes k = DataBody(uiVersion, kData);
    k.U16(usTriangles).U16(static_cast<std::uint16_t>(kLengths.size()));
    if (kLengths.empty())
        return k;
    for (std::uint16_t us : kLengths)
        k.U16(us);
    if (uiVersion >= V(10, 0, 1, 17))
        k.U8(kList.empty() ? 0 : 1);
    for (std::uint16_t us : kList)
        k.U16(us);
    return k;
}
} // namespace

using NiTriStripsTest = GeometryTest;

TEST_F(NiTriStripsTest, TrianglesAlternateTheirWinding)
{
    NiRefPtr<NiTriStripsData> spData = Strips({4, 3}, {0, 1, 2, 3, 3, 4, 5}, 3);
    EXPECT_EQ(Ask(spData, 0), (Triangle{0, 1, 2}));
    EXPECT_EQ(Ask(spData, 1), (Triangle{2, 1, 3}));
    EXPECT_EQ(Ask(spData, 2), (Triangle{3, 4, 5}));
    std::uint16_t a = 7, b = 7, c = 7;
    EXPECT_FALSE(spData->GetTriangleIndices(3, a, b, c));
    EXPECT_EQ(a, 7);

    // Out of order the cursor starts over and gives the same answers.
    NiTriStripsData::ResetStripCursor();
    EXPECT_EQ(Ask(spData, 2), (Triangle{3, 4, 5}));
    EXPECT_EQ(Ask(spData, 0), (Triangle{0, 1, 2}));
    EXPECT_EQ(Ask(spData, 1), (Triangle{2, 1, 3}));

    // A strip of two points holds no triangle.
    NiRefPtr<NiTriStripsData> spEdge = Strips({2, 3}, {0, 1, 2, 3, 4}, 1);
    EXPECT_EQ(Ask(spEdge, 0), (Triangle{2, 3, 4}));
}

TEST_F(NiTriStripsTest, CursorIsKeyedByTheObject)
{
    NiRefPtr<NiTriStripsData> spA = Strips({5}, {0, 1, 2, 3, 4}, 3);
    NiRefPtr<NiTriStripsData> spB = Strips({3, 3}, {5, 4, 3, 2, 1, 0}, 2);
    // Alternating objects.
    EXPECT_EQ(Ask(spA, 0), (Triangle{0, 1, 2}));
    EXPECT_EQ(Ask(spB, 1), (Triangle{2, 1, 0}));
    EXPECT_EQ(Ask(spA, 1), (Triangle{2, 1, 3}));
    EXPECT_EQ(Ask(spB, 0), (Triangle{5, 4, 3}));
    EXPECT_EQ(Ask(spA, 2), (Triangle{2, 3, 4}));

    // Two objects with one identifier (the counter wrapped) stay apart.
    NiGeometryData::SetNextID(40);
    NiRefPtr<NiTriStripsData> spC = Strips({5}, {0, 1, 2, 3, 4}, 3);
    NiGeometryData::SetNextID(40);
    NiRefPtr<NiTriStripsData> spD = Strips({3, 3}, {5, 4, 3, 2, 1, 0}, 2);
    NiGeometryData::SetNextID(0);
    ASSERT_EQ(spC->GetID(), spD->GetID());
    EXPECT_EQ(Ask(spC, 0), (Triangle{0, 1, 2}));
    EXPECT_EQ(Ask(spD, 1), (Triangle{2, 1, 0}));

    // Replace forgets where the walk was.
    EXPECT_EQ(Ask(spA, 0), (Triangle{0, 1, 2}));
    spA->Replace(2, NewArray<std::uint16_t>({3, 4}), NewArray<std::uint16_t>({5, 4, 3, 0, 1, 2, 3}));
    EXPECT_EQ(Ask(spA, 1), (Triangle{0, 1, 2}));

    // A new object where a destroyed one stood starts afresh.
    EXPECT_EQ(Ask(spB, 0), (Triangle{5, 4, 3}));
    spB = nullptr;
    NiRefPtr<NiTriStripsData> spE = Strips({4}, {1, 0, 3, 2}, 2);
    EXPECT_EQ(Ask(spE, 1), (Triangle{3, 0, 2}));
}

TEST_F(NiTriStripsTest, NormalsAndModelTriangles)
{
    NiRefPtr<NiTriStripsData> spData = Strips({6}, {0, 2, 1, 3, 5, 4}, 4);
    NiRefPtr<NiTriStrips> spStrips = new NiTriStrips(spData);
    spStrips->CalculateNormals();
    for (int i = 0; i < 6; ++i)
        ExpectNear(spData->GetNormals()[i], NiVec3(0, 0, 1), 1e-3f); // every other triangle turned

    NiVec3* p0 = nullptr;
    NiVec3* p1 = nullptr;
    NiVec3* p2 = nullptr;
    ASSERT_TRUE(spStrips->GetModelTriangle(1, p0, p1, p2));
    EXPECT_EQ(*p0, NiVec3(0, 1, 0));
    EXPECT_EQ(*p1, NiVec3(1, 0, 0));
    EXPECT_EQ(*p2, NiVec3(1, 1, 0));
    EXPECT_FALSE(spStrips->GetModelTriangle(4, p0, p1, p2));

    std::uint16_t usStrips = 0;
    const std::uint16_t* pusLengths = nullptr;
    const std::uint16_t* pusList = nullptr;
    std::uint32_t uiLength = 0;
    spData->GetStripData(usStrips, pusLengths, pusList, uiLength);
    EXPECT_EQ(usStrips, 1);
    EXPECT_EQ(uiLength, 6u);
    // Positions and normals of six vertices, one length and six indices.
    EXPECT_EQ(spData->GetBlockAllocationSize(), sizeof(NiGeometryData) + 2 * 12 * 6 + 2 * (1 + 6));
}

TEST_F(NiTriStripsTest, RoundTripAndOldRecords)
{
    NiRefPtr<NiTriStrips> spStrips = new NiTriStrips(Strips({4, 3}, {0, 1, 2, 3, 3, 4, 5}, 3));
    ASSERT_TRUE(RoundTrip({spStrips}));
    EXPECT_TRUE(m_kLoaded[0]->IsEqual(spStrips));

    for (std::uint32_t uiVersion : {V(4, 2, 2, 0), V(10, 0, 1, 16), V(10, 0, 1, 17), V(10, 2, 0, 0)})
    {
        SCOPED_TRACE(uiVersion);
        ASSERT_TRUE(LoadFile(uiVersion,
                             {{"NiTriStrips", GeometryRecord(uiVersion, 1)},
                              {"NiTriStripsData", StripsBody(uiVersion, 2, {4}, {0, 1, 2, 3})}},
                             {0}));
        auto* pkData = static_cast<NiTriStripsData*>(static_cast<NiTriStrips*>(m_kLoaded[0].Get())->GetModelData());
        EXPECT_EQ(Ask(pkData, 1), (Triangle{2, 1, 3}));
    }
    // No strips: the record ends after the count.
    ASSERT_TRUE(LoadFile(V(10, 2, 0, 0),
                         {{"NiTriStrips", GeometryRecord(V(10, 2, 0, 0), 1)},
                          {"NiTriStripsData", StripsBody(V(10, 2, 0, 0), 0, {}, {})}},
                         {0}));
}

TEST_F(NiTriStripsTest, BadStripRecordsFail)
{
    const std::uint32_t v = V(10, 2, 0, 0);
    struct Case
    {
        const char* m_pcWhy;
        std::uint16_t m_usTriangles;
        std::vector<std::uint16_t> m_kLengths;
        std::vector<std::uint16_t> m_kList;
    };
    const Case kCases[] = {
        {"index equal to the vertex count", 2, {4}, {0, 1, 2, 4}},
        {"length 1 hides behind a long strip", 2, {1, 5}, {0, 1, 2, 3, 0, 1}},
        {"length 0 with a longer strip", 2, {0, 6}, {0, 1, 2, 3, 0, 1}},
        {"lengths too short for the triangles", 3, {4}, {0, 1, 2, 3}},
        {"triangles without strips", 2, {}, {}},
    };
    for (const Case& k : kCases)
    {
        SCOPED_TRACE(k.m_pcWhy);
        EXPECT_FALSE(LoadFile(v,
                              {{"NiTriStrips", GeometryRecord(v, 1)},
                               {"NiTriStripsData", StripsBody(v, k.m_usTriangles, k.m_kLengths, k.m_kList)}},
                              {0}));
        EXPECT_EQ(m_kStream.GetLastError(), NiObjectStream::ERROR_CORRUPT);
    }
    // Length 2 beside a real strip is fine.
    EXPECT_TRUE(LoadFile(
        v, {{"NiTriStrips", GeometryRecord(v, 1)}, {"NiTriStripsData", StripsBody(v, 1, {2, 3}, {0, 1, 1, 2, 3})}}, {0}));

    NiRefPtr<NiTriStrips> spStrips = new NiTriStrips(Strips({4, 3}, {0, 1, 2, 3, 3, 4, 5}, 3));
    std::vector<std::uint8_t> kBytes = Save({spStrips});
    for (std::size_t n = 0; n < kBytes.size(); ++n)
    {
        SCOPED_TRACE(n);
        EXPECT_FALSE(Load(std::vector<std::uint8_t>(kBytes.begin(), kBytes.begin() + static_cast<std::ptrdiff_t>(n))));
    }
}

TEST_F(NiTriStripsTest, DynamicShapeClampsItsActiveCounts)
{
    NiVec3* pkVertex = NewArray<NiVec3>({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}});
    NiRefPtr<NiTriShapeDynamicData> spData = new NiTriShapeDynamicData(
        4, pkVertex, nullptr, nullptr, nullptr, 0, 0, 2, NewArray<std::uint16_t>({0, 1, 2, 0, 2, 3}));
    spData->SetActiveVertexCount(9);
    spData->SetActiveTriangleCount(9);
    EXPECT_EQ(spData->GetActiveVertexCount(), 4);
    EXPECT_EQ(spData->GetActiveTriangleCount(), 2);
    spData->SetActiveTriangleCount(1);
    std::uint16_t usStrips = 0;
    const std::uint16_t* pusLengths = nullptr;
    const std::uint16_t* pusList = nullptr;
    std::uint32_t uiLength = 0;
    spData->GetStripData(usStrips, pusLengths, pusList, uiLength);
    EXPECT_EQ(uiLength, 3u);

    NiRefPtr<NiTriShape> spShape = new NiTriShape(spData);
    ASSERT_TRUE(RoundTrip({spShape}));
    EXPECT_TRUE(m_kLoaded[0]->IsEqual(spShape));

    // Active counts past the arrays in a file are clamped.
    std::vector<std::uint8_t> kBytes = Save({spShape});
    // The file ends with the two active counts and the top-level list.
    kBytes[kBytes.size() - 12] = 0x50;
    kBytes[kBytes.size() - 10] = 0x50;
    ASSERT_TRUE(Load(kBytes));
    auto* pkData = static_cast<NiTriShapeDynamicData*>(static_cast<NiTriShape*>(m_kLoaded[0].Get())->GetModelData());
    EXPECT_EQ(pkData->GetActiveVertexCount(), 4);
    EXPECT_EQ(pkData->GetActiveTriangleCount(), 2);
}
} // namespace scene_test
