#include "tools/COrvaneDemoPrison.h"

#include "engine/core/NiObjectStream.h"
#include "engine/scene/NiMaterialProperty.h"
#include "engine/scene/NiNode.h"
#include "engine/scene/NiTriShape.h"
#include "tests/tools/DemoTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

namespace
{
class COrvaneDemoPrisonTest : public demotest::EngineFolderTest
{
protected:
    COrvaneDemoPrisonTest() : EngineFolderTest("prison", {}) {}

    // The model node under "Scene Root" of a written model; null when the
    // file does not load.
    NiRefPtr<NiNode> LoadModel(const std::string& kPath)
    {
        NiObjectStream kStream;
        if (!kStream.LoadFile((m_kFolder / kPath).c_str()) || kStream.GetObjectCount() == 0)
            return nullptr;
        NiRefPtr<NiNode> spRoot = NiDynamicCast<NiNode>(kStream.GetObjectAt(0));
        if (spRoot == nullptr || spRoot->GetArrayCount() == 0)
            return nullptr;
        return NiDynamicCast<NiNode>(spRoot->GetAt(0));
    }
    // A build plan's written model, as LoadModel.
    NiRefPtr<NiNode> LoadPlanModel(const DemoBuildPlan& kPlan)
    {
        return LoadModel("prison1/" + kPlan.m_kKey + "/" + kPlan.m_kName + ".nif");
    }
};

// What the renderer draws of a model: shapes shown, lit (a normal per
// vertex) and coloured.
struct Drawn
{
    int m_iShapes = 0;
    int m_iUnlit = 0;
    int m_iUncoloured = 0;
    NiVec3 m_kMin{FLT_MAX, FLT_MAX, FLT_MAX};
    NiVec3 m_kMax{-FLT_MAX, -FLT_MAX, -FLT_MAX};
    std::vector<NiVec3> m_kPoints;
};

// The shapes under the object in the model's frame; a floor node's
// children (which the game shows and hides with their floor) are left out
// unless the floor node is the object itself, and then stand in its frame.
void Collect(NiAVObject* pkObject, Drawn& kDrawn, const NiVec3& kShift = NiVec3(0.0f, 0.0f, 0.0f))
{
    if (pkObject == nullptr || pkObject->GetAppCulled())
        return;
    if (auto* pkNode = NiDynamicCast<NiNode>(pkObject))
    {
        for (std::uint32_t i = 0; i < pkNode->GetArrayCount(); ++i)
        {
            NiAVObject* pkChild = pkNode->GetAt(i);
            const char* pcName = pkChild != nullptr ? pkChild->GetName() : nullptr;
            if (pcName == nullptr || std::string(pcName).rfind("floor", 0) != 0)
                Collect(pkChild, kDrawn, kShift);
        }
        return;
    }
    auto* pkShape = NiDynamicCast<NiTriShape>(pkObject);
    if (pkShape == nullptr || pkShape->GetModelData() == nullptr)
        return;
    ++kDrawn.m_iShapes;
    NiGeometryData* pkData = pkShape->GetModelData();
    if (pkData->GetNormals() == nullptr)
        ++kDrawn.m_iUnlit;
    if (NiDynamicCast<NiMaterialProperty>(pkShape->GetProperty(NiProperty::MATERIAL)) == nullptr)
        ++kDrawn.m_iUncoloured;
    for (std::uint16_t v = 0; v < pkData->GetVertexCount(); ++v)
    {
        const NiVec3 k = pkData->GetVertices()[v] + kShift;
        kDrawn.m_kMin = NiVec3(std::min(kDrawn.m_kMin.x, k.x), std::min(kDrawn.m_kMin.y, k.y), std::min(kDrawn.m_kMin.z, k.z));
        kDrawn.m_kMax = NiVec3(std::max(kDrawn.m_kMax.x, k.x), std::max(kDrawn.m_kMax.y, k.y), std::max(kDrawn.m_kMax.z, k.z));
        kDrawn.m_kPoints.push_back(k);
    }
}

bool IsBuildingWithFloors(const DemoBuildPlan& kPlan)
{
    return kPlan.m_bGrounds && kPlan.m_kCategory != "BUILDINGSFENCES";
}
} // namespace

TEST_F(COrvaneDemoPrisonTest, BuildingsStandInLitWallsOpenAtTheirEntrance)
{
    ASSERT_TRUE(WriteDemoPrisonModels(m_kFolder.string()));
    int iBuildings = 0;
    for (const DemoBuildPlan& kPlan : DemoBuildPlans())
    {
        if (!IsBuildingWithFloors(kPlan))
            continue;
        ++iBuildings;
        SCOPED_TRACE(kPlan.m_kName);
        NiRefPtr<NiNode> spModel = LoadPlanModel(kPlan);
        ASSERT_NE(spModel, nullptr);
        Drawn kDrawn;
        Collect(spModel, kDrawn);
        EXPECT_GE(kDrawn.m_iShapes, 4);
        EXPECT_EQ(kDrawn.m_iUnlit, 0);
        EXPECT_EQ(kDrawn.m_iUncoloured, 0);
        // Round the footprint, low; the drawn floor's top just over the
        // floor display at height 0 and under the posts' squares.
        EXPECT_LT(kDrawn.m_kMin.y, 0.0f);
        EXPECT_GT(kDrawn.m_kMin.y, -0.2f);
        EXPECT_LE(kDrawn.m_kMax.y, 1.0f);
        int iFloor = 0;
        for (const NiVec3& k : kDrawn.m_kPoints)
        {
            if (k.y > 0.0f && k.y < DEMO_POST_LIFT)
                ++iFloor;
        }
        // The floor's top reaches the inner corners of the walls.
        EXPECT_GE(iFloor, 4);
        // Nothing drawn stands inside, nor in the entrance's gap where the
        // ways in and out start.
        for (const NiVec3& k : kDrawn.m_kPoints)
        {
            EXPECT_FALSE(k.x > -7.0f && k.x < 7.0f && k.z > -7.0f && k.z < 7.0f) << k.x << ", " << k.z;
            EXPECT_FALSE(k.x > -1.5f && k.x < 1.5f && k.z > 7.0f) << k.x << ", " << k.z;
        }

        // The upper floor, shown and hidden with its floor node: joists and
        // ledges from wall to wall inside the walls, their tops where the
        // ground floor's drawn floor has its top over that floor's height,
        // the joists no further apart than a cell, so that every room of
        // the floor stands on some.
        auto* pkUpper = NiDynamicCast<NiNode>(spModel->GetObjectByName("floor1"));
        ASSERT_NE(pkUpper, nullptr);
        const NiVec3 kAt = pkUpper->GetTranslate();
        Drawn kUpper;
        Collect(pkUpper, kUpper, kAt);
        EXPECT_GE(kUpper.m_iShapes, 9);
        EXPECT_EQ(kUpper.m_iUnlit, 0);
        EXPECT_EQ(kUpper.m_iUncoloured, 0);
        EXPECT_GT(kUpper.m_kMax.y, kAt.y);
        EXPECT_LT(kUpper.m_kMax.y, kAt.y + DEMO_POST_LIFT);
        float fSlabTop = 0.0f;
        for (const NiVec3& k : kDrawn.m_kPoints)
            if (k.y < DEMO_POST_LIFT)
                fSlabTop = std::max(fSlabTop, k.y);
        EXPECT_NEAR(kUpper.m_kMax.y - kAt.y, fSlabTop, 1e-4f);
        EXPECT_GT(kUpper.m_kMin.y, kAt.y - 0.5f);
        EXPECT_NEAR(kUpper.m_kMin.x, -7.7f, 0.01f);
        EXPECT_NEAR(kUpper.m_kMax.x, 7.7f, 0.01f);
        EXPECT_NEAR(kUpper.m_kMin.z, -7.7f, 0.01f);
        EXPECT_NEAR(kUpper.m_kMax.z, 7.7f, 0.01f);
        std::vector<float> kTops;
        for (const NiVec3& k : kUpper.m_kPoints)
            if (k.y > kAt.y && std::find_if(kTops.begin(), kTops.end(), [&k](float z) { return std::fabs(z - k.z) < 0.01f; }) == kTops.end())
                kTops.push_back(k.z);
        std::sort(kTops.begin(), kTops.end());
        ASSERT_GE(kTops.size(), 2u);
        for (std::size_t i = 1; i < kTops.size(); ++i)
            EXPECT_LE(kTops[i] - kTops[i - 1], 2.0f) << kTops[i - 1] << " to " << kTops[i];
    }
    EXPECT_EQ(iBuildings, 7);
}

TEST_F(COrvaneDemoPrisonTest, PickPlatesKeepTheirPlaceAndStayUndrawn)
{
    ASSERT_TRUE(WriteDemoPrisonModels(m_kFolder.string()));
    for (const DemoBuildPlan& kPlan : DemoBuildPlans())
    {
        if (!IsBuildingWithFloors(kPlan))
            continue;
        SCOPED_TRACE(kPlan.m_kName);
        NiRefPtr<NiNode> spModel = LoadPlanModel(kPlan);
        ASSERT_NE(spModel, nullptr);
        // The posts (each over its undrawn square) first, then the floors'
        // nodes, the undrawn building plate, and only then what is drawn.
        int iPlate = -1;
        int iFirstDrawn = -1;
        int iLastPost = -1;
        int iFlightsUp = 0;
        for (std::uint32_t i = 0; i < spModel->GetArrayCount(); ++i)
        {
            NiAVObject* pkChild = spModel->GetAt(i);
            ASSERT_NE(pkChild, nullptr);
            const std::string kName = pkChild->GetName() != nullptr ? pkChild->GetName() : "";
            if (kName.rfind("path_1_2", 0) == 0)
                ++iFlightsUp;
            if (kName.rfind("Staff_Root", 0) == 0)
            {
                iLastPost = static_cast<int>(i);
                auto* pkPost = NiDynamicCast<NiNode>(pkChild);
                ASSERT_NE(pkPost, nullptr);
                ASSERT_EQ(pkPost->GetArrayCount(), 1u);
                EXPECT_TRUE(pkPost->GetAt(0)->GetAppCulled());
            }
            if (kName == "building_area")
            {
                iPlate = static_cast<int>(i);
                EXPECT_TRUE(pkChild->GetAppCulled());
            }
            if (iFirstDrawn < 0 && NiDynamicCast<NiTriShape>(pkChild) != nullptr && !pkChild->GetAppCulled())
                iFirstDrawn = static_cast<int>(i);
        }
        ASSERT_GE(iPlate, 0);
        EXPECT_LT(iLastPost, iPlate);
        // The nodes of the floors, roof, door, ways and stairs lie between:
        // nine, and the flights up, which outnumber the one way out.
        EXPECT_EQ(iFlightsUp, 8);
        EXPECT_EQ(iPlate, iLastPost + 1 + 9 + iFlightsUp);
        EXPECT_EQ(iFirstDrawn, iPlate + 1);
    }
}

TEST_F(COrvaneDemoPrisonTest, RoomsShowATileUnderTheirPostsAndTwoBedCellsTwoBunks)
{
    ASSERT_TRUE(WriteDemoPrisonModels(m_kFolder.string()));
    // The top of the cell block's drawn floor, which the rooms lie over.
    float fFloorTop = -FLT_MAX;
    {
        NiRefPtr<NiNode> spBlock = LoadModel("prison1/cellblocks/cellblock_small.nif");
        ASSERT_NE(spBlock, nullptr);
        Drawn kBlock;
        Collect(spBlock, kBlock);
        for (const NiVec3& k : kBlock.m_kPoints)
            if (k.y < DEMO_POST_LIFT)
                fFloorTop = std::max(fFloorTop, k.y);
    }
    ASSERT_GT(fFloorTop, 0.0f);
    int iRooms = 0;
    for (const DemoBuildPlan& kPlan : DemoBuildPlans())
    {
        if (kPlan.m_bGrounds)
            continue;
        ++iRooms;
        SCOPED_TRACE(kPlan.m_kName);
        NiRefPtr<NiNode> spModel = LoadPlanModel(kPlan);
        ASSERT_NE(spModel, nullptr);
        Drawn kDrawn;
        Collect(spModel, kDrawn);
        const bool bTwoBeds = kPlan.m_kName.rfind("cell_double", 0) == 0;
        // The rim's four sides, and the bunks.
        EXPECT_EQ(kDrawn.m_iShapes, bTwoBeds ? 6 : 4);
        EXPECT_EQ(kDrawn.m_iUnlit, 0);
        EXPECT_EQ(kDrawn.m_iUncoloured, 0);
        // Above the building's floor and below a post's square, within a
        // footprint of at most 4 x 4 about the model's origin.
        EXPECT_GT(kDrawn.m_kMin.y, fFloorTop);
        EXPECT_LE(kDrawn.m_kMin.y, DEMO_POST_LIFT);
        EXPECT_GE(kDrawn.m_kMin.x, -2.0f);
        EXPECT_LE(kDrawn.m_kMax.x, 2.0f);
        EXPECT_GE(kDrawn.m_kMin.z, -2.0f);
        EXPECT_LE(kDrawn.m_kMax.z, 2.0f);
        EXPECT_LT(kDrawn.m_kMin.x, 0.0f);
        EXPECT_GT(kDrawn.m_kMax.x, 0.0f);
        // The tile's top lies under the posts' squares.
        for (const NiVec3& k : kDrawn.m_kPoints)
        {
            if (k.y < 0.1f)
            {
                EXPECT_LT(k.y, DEMO_POST_LIFT);
            }
        }
        if (bTwoBeds)
        {
            EXPECT_GT(kDrawn.m_kMax.y, DEMO_POST_LIFT);
        }
        // Places of use beside the door: two bunks, four at the games
        // table, one elsewhere.
        int iPlaces = 0;
        for (std::uint32_t i = 0; i < spModel->GetArrayCount(); ++i)
        {
            const char* pcName = spModel->GetAt(i) != nullptr ? spModel->GetAt(i)->GetName() : nullptr;
            iPlaces += pcName != nullptr && std::string(pcName).rfind("SP_", 0) == 0 ? 1 : 0;
        }
        EXPECT_EQ(iPlaces, bTwoBeds ? 2 : kPlan.m_kName == "games_table" ? 4 : 1);
    }
    EXPECT_EQ(iRooms, 23);
}

// A room held for building floats over the red or green square of its
// footprint: seen from above, its drawn shapes leave a good part of that
// square open, the middle among it, and its entrance (where a red marker
// stands when the entrance has no square) lies outside the footprint, where
// nothing of the room covers it.
TEST_F(COrvaneDemoPrisonTest, AHeldRoomLeavesItsFootprintSquareAndEntranceMarkerInSight)
{
    ASSERT_TRUE(WriteDemoPrisonModels(m_kFolder.string()));
    int iRooms = 0;
    for (const DemoBuildPlan& kPlan : DemoBuildPlans())
    {
        if (kPlan.m_bGrounds)
            continue;
        ++iRooms;
        SCOPED_TRACE(kPlan.m_kName);
        NiRefPtr<NiNode> spModel = LoadPlanModel(kPlan);
        ASSERT_NE(spModel, nullptr);
        ASSERT_GT(kPlan.m_iWidth, 0);
        ASSERT_GT(kPlan.m_iDepth, 0);
        // Each drawn shape's extent on the floor plane (the shapes are boxes).
        struct Extent
        {
            float fMinX, fMinZ, fMaxX, fMaxZ;
        };
        std::vector<Extent> kExtents;
        for (std::uint32_t i = 0; i < spModel->GetArrayCount(); ++i)
        {
            Drawn kShape;
            Collect(spModel->GetAt(i), kShape);
            if (kShape.m_iShapes > 0)
                kExtents.push_back({kShape.m_kMin.x, kShape.m_kMin.z, kShape.m_kMax.x, kShape.m_kMax.z});
        }
        ASSERT_FALSE(kExtents.empty());
        const auto Covered = [&kExtents](float fX, float fZ) {
            return std::any_of(kExtents.begin(), kExtents.end(), [fX, fZ](const Extent& k) {
                return fX > k.fMinX && fX < k.fMaxX && fZ > k.fMinZ && fZ < k.fMaxZ;
            });
        };
        const float fHalfX = 0.5f * static_cast<float>(kPlan.m_iWidth);
        const float fHalfZ = 0.5f * static_cast<float>(kPlan.m_iDepth);
        int iOpen = 0, iSamples = 0;
        constexpr int STEPS = 40;
        for (int i = 0; i < STEPS; ++i)
            for (int j = 0; j < STEPS; ++j)
            {
                const float fX = -fHalfX + (static_cast<float>(i) + 0.5f) * 2.0f * fHalfX / STEPS;
                const float fZ = -fHalfZ + (static_cast<float>(j) + 0.5f) * 2.0f * fHalfZ / STEPS;
                ++iSamples;
                iOpen += Covered(fX, fZ) ? 0 : 1;
            }
        // A whole tile left only its edge open: a tenth to a fifth.
        EXPECT_GE(iOpen * 10, iSamples * 3) << iOpen << " of " << iSamples << " open";
        // The middle, or for a two-bed cell the half of it before the bunks.
        EXPECT_FALSE(Covered(0.0f, -0.25f));
        NiAVObject* pkDoor = spModel->GetObjectByName("door01");
        if (pkDoor == nullptr)
            continue;
        const NiVec3& kDoor = pkDoor->GetTranslate();
        EXPECT_TRUE(std::fabs(kDoor.x) > fHalfX || std::fabs(kDoor.z) > fHalfZ)
            << "entrance at " << kDoor.x << ", " << kDoor.z;
        EXPECT_FALSE(Covered(kDoor.x, kDoor.z));
    }
    EXPECT_EQ(iRooms, 23);
}

TEST_F(COrvaneDemoPrisonTest, OutdoorObjectsAndArrivalVehiclesAreDrawn)
{
    ASSERT_TRUE(WriteDemoPrisonModels(m_kFolder.string()));
    std::vector<std::string> kPaths;
    for (const DemoBuildPlan& kPlan : DemoBuildPlans())
        if (kPlan.m_kCategory == "BUILDINGSFENCES")
            kPaths.push_back("prison1/" + kPlan.m_kKey + "/" + kPlan.m_kName + ".nif");
    ASSERT_EQ(kPaths.size(), 4u);
    for (int iPrison = 1; iPrison <= DEMO_PRISON_COUNT; ++iPrison)
        kPaths.push_back("prison" + std::to_string(iPrison) + "/arrivals/spawn_van.nif");
    for (const std::string& kPath : kPaths)
    {
        SCOPED_TRACE(kPath);
        NiObjectStream kStream;
        ASSERT_TRUE(kStream.LoadFile((m_kFolder / kPath).c_str()));
        Drawn kDrawn;
        Collect(NiDynamicCast<NiAVObject>(kStream.GetObjectAt(0)), kDrawn);
        EXPECT_EQ(kDrawn.m_iShapes, 1);
        EXPECT_EQ(kDrawn.m_iUnlit, 0);
        EXPECT_EQ(kDrawn.m_iUncoloured, 0);
        EXPECT_GT(kDrawn.m_kMax.y - kDrawn.m_kMin.y, 1.0f);
    }
}
