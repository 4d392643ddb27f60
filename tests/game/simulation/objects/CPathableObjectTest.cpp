#include "game/simulation/objects/CPathableObject.h"

#include "engine/animation/NiTimeController.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiRandom.h"
#include "engine/scene/NiMaterialProperty.h"
#include "engine/scene/NiNode.h"
#include "framework/COrvaneAnimationSpline.h"
#include "framework/COrvaneComposite.h"
#include "framework/COrvaneObjectDesc.h"
#include "framework/COrvaneSceneNode.h"
#include "framework/COrvaneTagTree.h"
#include "game/simulation/objects/CBlock.h"
#include "game/simulation/objects/CBlockGrid.h"
#include "game/simulation/objects/CBlockGridManager.h"
#include "game/simulation/objects/CDynamicObjectManager.h"
#include "game/simulation/objects/CObjectQuery.h"
#include "game/simulation/objects/CPrisonStatistics.h"
#include "game/simulation/objects/CScalableObject.h"
#include "game/simulation/objects/CWorld.h"
#include "tests/game/simulation/objects/PrisonTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace
{
struct ModelNode
{
    std::string m_kName;
    NiVec3 m_kAt;
};

// A model: "Scene Root" over "Model", under which the named nodes at their
// local translations.
void WriteModel(const std::string& kPath, const std::vector<ModelNode>& kNodes)
{
    std::filesystem::create_directories(std::filesystem::path(kPath).parent_path());
    NiObjectStream kStream;
    NiRefPtr<NiNode> spTop = new NiNode;
    spTop->SetName("Scene Root");
    NiRefPtr<NiNode> spModel = new NiNode;
    spModel->SetName("Model");
    spTop->AttachChild(spModel);
    for (const ModelNode& kNode : kNodes)
    {
        NiRefPtr<NiNode> spChild = new NiNode;
        spChild->SetName(kNode.m_kName.c_str());
        spChild->SetTranslate(kNode.m_kAt);
        spModel->AttachChild(spChild);
    }
    kStream.InsertTopObject(spTop);
    ASSERT_TRUE(kStream.SaveFile(kPath.c_str()));
}

// Walks its node 3 units along +x over one second.
class WalkIn : public NiTimeController
{
public:
    explicit WalkIn(NiAVObject* pkNode) : m_pkNode(pkNode)
    {
        SetBeginKeyTime(0.0f);
        SetEndKeyTime(1.0f);
    }
    void Update(float fTime) override { m_pkNode->SetTranslate(NiVec3(3.0f * fTime, 0.0f, 1.0f)); }

private:
    NiAVObject* m_pkNode;
};

// A staff member that notes losing its post.
class PostedCharacter : public TestCharacter
{
public:
    void OnPostLost(CBaseObject&) override { m_kTold.push_back("home lost"); }
};

// Counts the staff it was asked for.
class StaffedRoom : public CPathableObject
{
public:
    int m_iRequested = 0;

protected:
    void RequestStaffUnit() override { ++m_iRequested; }
};

const char* const ROOMS =
    "<TEMPLATES>\r\n<PRISON1>\r\n<ROOMS>\r\n<plans>\r\n"
    // width, depth, price, places, level, string, score, staff count
    "<canteen>\r\nprison1/canteen/canteen.nif\r\n4\r\n2\r\n600\r\n2\r\n1\r\neat\r\n15\r\n3\r\n</canteen>\r\n"
    "<sentry_tower>\r\nprison1/tower/tower.nif\r\n2\r\n2\r\n90\r\n</sentry_tower>\r\n"
    "<wall>\r\nprison1/wall/wall.nif\r\n2\r\n2\r\n10\r\n</wall>\r\n"
    "<balcony>\r\nprison1/balcony/balcony.nif\r\n2\r\n2\r\n10\r\n</balcony>\r\n"
    // One-cell rooms whose one door lies two cells off: along +x, -x, +z, -z.
    "<far_xp>\r\nprison1/far/far_xp.nif\r\n2\r\n2\r\n10\r\n1\r\n0\r\nx\r\n0\r\n0\r\n</far_xp>\r\n"
    "<far_xm>\r\nprison1/far/far_xm.nif\r\n2\r\n2\r\n10\r\n1\r\n0\r\nx\r\n0\r\n0\r\n</far_xm>\r\n"
    "<far_zp>\r\nprison1/far/far_zp.nif\r\n2\r\n2\r\n10\r\n1\r\n0\r\nx\r\n0\r\n0\r\n</far_zp>\r\n"
    "<far_zm>\r\nprison1/far/far_zm.nif\r\n2\r\n2\r\n10\r\n1\r\n0\r\nx\r\n0\r\n0\r\n</far_zm>\r\n"
    "</plans>\r\n</ROOMS>\r\n</PRISON1>\r\n</TEMPLATES>\r\n";

class CPathableObjectTest : public PrisonTest
{
protected:
    void SetUp() override
    {
        PrisonTest::SetUp();
        // Two entrances: three places beside the first, two beside the
        // second, one place by no door.
        WriteModel("prison1/canteen/canteen.nif", {{"door01", NiVec3(0.5f, 0.0f, -0.5f)},
                                                    {"SP_eat01", NiVec3(0.55f, 0.0f, -0.45f)},
                                                    {"SP_eat02", NiVec3(0.5f, 1.0f, -0.5f)},
                                                    {"door02", NiVec3(-1.5f, 0.0f, 0.5f)},
                                                    {"SP_eat03", NiVec3(-1.45f, 0.0f, 0.59f)},
                                                    {"SP_eat04", NiVec3(0.41f, 0.0f, -0.59f)},
                                                    {"SP_eat05", NiVec3(-1.5f, 0.0f, 0.5f)},
                                                    {"SP_far", NiVec3(0.5f, 0.0f, -0.8f)}});
        WriteModel("prison1/tower/tower.nif", {});
        WriteModel("prison1/wall/wall.nif", {});
        WriteModel("prison1/balcony/balcony.nif", {});
        // The nearest door places that still round to two cells off: column
        // offset near((x + 0.5) / 2), row offset near((z - 0.5) / 2).
        WriteModel("prison1/far/far_xp.nif", {{"door01", NiVec3(2.5f, 0.0f, 0.5f)}});
        WriteModel("prison1/far/far_xm.nif", {{"door01", NiVec3(-3.5f, 0.0f, 0.5f)}});
        WriteModel("prison1/far/far_zp.nif", {{"door01", NiVec3(-0.5f, 0.0f, 3.5f)}});
        WriteModel("prison1/far/far_zm.nif", {{"door01", NiVec3(-0.5f, 0.0f, -2.5f)}});
        WriteFileBytes("rooms.xml", ROOMS);
        COrvaneTagTree kDocument;
        ASSERT_TRUE(kDocument.Load("rooms.xml"));
        m_pkManager->LoadPrisonTemplates(kDocument);
    }

    CPrisonStatistics& Ledger() { return *m_pkManager->GetStatistics(); }

    // An outside area of 8 x 8 cells of size 2, numbered 1.
    CBlockGrid* Floor()
    {
        CGridDesc kDesc;
        kDesc.m_aiNumbers[0] = 1;
        kDesc.m_aiNumbers[1] = 8;
        kDesc.m_aiNumbers[2] = 8;
        kDesc.m_aiNumbers[3] = 0;
        kDesc.m_aiNumbers[4] = 2;
        kDesc.m_ucOwnStack = 1;
        return CBlockGridManager::GetInstance()->CreateGrid(kDesc);
    }

    CPathableObject* Canteen(const char* pcFactory = "PathableObjectFactory")
    {
        return dynamic_cast<CPathableObject*>(Make(pcFactory, "canteen"));
    }

    // Loads the canteen into an object of the test's own kind.
    void Build(CPathableObject& kObject)
    {
        COrvaneObjectDesc kDesc;
        kDesc.m_pkTemplate = m_pkManager->FindTemplate("canteen");
        kDesc.m_ucMode = 1;
        kObject.Load(kDesc);
    }

    // Stands the object at the centre of the cell, turned to the heading,
    // its model's nodes moved with it.
    static void Stand(CPathableObject& kObject, CBlockGrid& kFloor, std::int32_t iCell, float fHeading)
    {
        kObject.Rotate(NiVec3(0.0f, 1.0f, 0.0f), fHeading, false);
        NiVec3 kAt;
        ASSERT_NE(kFloor.CellPosition(iCell, kAt, false), nullptr);
        kObject.SetPosition(kAt, 0);
        kObject.PlaceAt(kAt, &kFloor);
        kObject.Update(0.0f);
        if (COrvaneComposite* pkModel = kObject.GetModel())
            pkModel->UpdateNode(0.0f);
    }
};
} // namespace

TEST_F(CPathableObjectTest, CreateReadsTheRecordAndUpkeepFollowsTheClericalLevel)
{
    Ledger().m_usClericalLevel = 2;
    CPathableObject* pkCanteen = Canteen();
    ASSERT_NE(pkCanteen, nullptr);
    const CObjectRecord& kRecord = pkCanteen->GetRecord();
    EXPECT_EQ(kRecord.m_usPrice, 600);
    EXPECT_EQ(kRecord.m_usPlaces, 2);
    EXPECT_EQ(kRecord.m_usRequiredLevel, 1);
    EXPECT_EQ(pkCanteen->GetStringParameter(), "eat");
    EXPECT_EQ(kRecord.m_sScoreValue, 15);
    EXPECT_EQ(kRecord.m_usStaffCount, 3);
    EXPECT_EQ(kRecord.m_usUpkeep, 200);
    Ledger().m_usClericalLevel = 0;
    pkCanteen->Update(0.0f);
    EXPECT_EQ(pkCanteen->GetRecord().m_usUpkeep, 600);
    EXPECT_TRUE(pkCanteen->IsOpen());
    EXPECT_TRUE(pkCanteen->AddsPostsToFloorStaff());
    EXPECT_FLOAT_EQ(pkCanteen->GetUseRadius(), 30.0f);

    // The work, food and hospital factories make the same kind.
    EXPECT_NE(Canteen("WorkObjectFactory"), nullptr);
    EXPECT_NE(Canteen("FoodObjectFactory"), nullptr);
    EXPECT_NE(Canteen("HospitalObjectFactory"), nullptr);
}

TEST_F(CPathableObjectTest, EachDoorGetsTheUsePlacesBesideIt)
{
    CPathableObject* pkCanteen = Canteen();
    ASSERT_NE(pkCanteen, nullptr);
    const auto& kLists = pkCanteen->GetUseSlotLists();
    ASSERT_EQ(kLists.size(), 2u);
    EXPECT_EQ(pkCanteen->GetCapacity(), 5);
    ASSERT_EQ(kLists[0]->m_kSlots.size(), 3u);
    ASSERT_EQ(kLists[1]->m_kSlots.size(), 2u);
    EXPECT_STREQ(pkCanteen->GetSlotSpline(0, 0)->GetName(), "SP_eat01");
    EXPECT_STREQ(pkCanteen->GetSlotSpline(0, 2)->GetName(), "SP_eat04");
    EXPECT_STREQ(pkCanteen->GetSlotSpline(1, 1)->GetName(), "SP_eat05");
    EXPECT_EQ(kLists[0]->m_kEntrance, NiVec3(0.5f, 0.0f, -0.5f));
    // (0.5 + 1.5) / 2 = 1; (-0.5 - 0.5) / 2 = -0.5, away from zero.
    EXPECT_EQ(kLists[0]->m_fColumnOffset, 1.0f);
    EXPECT_EQ(kLists[0]->m_fRowOffset, -1.0f);
    EXPECT_EQ(kLists[1]->m_fColumnOffset, 0.0f);
    EXPECT_EQ(kLists[1]->m_fRowOffset, 0.0f);
    EXPECT_EQ(pkCanteen->GetSlotSpline(2, 0), nullptr);
    EXPECT_EQ(pkCanteen->GetSlotPosition(0, 3), nullptr);
    EXPECT_EQ(pkCanteen->GetSlotHeading(-1, 0), 0.0f);

    EXPECT_EQ(NearestWhole(0.5f), 1.0f);
    EXPECT_EQ(NearestWhole(-0.5f), -1.0f);
    EXPECT_EQ(NearestWhole(1.49f), 1.0f);
    EXPECT_EQ(NearestWhole(-2.5f), -3.0f);
}

TEST_F(CPathableObjectTest, AccessCellsTurnWithTheHeading)
{
    CBlockGrid* pkFloor = Floor();
    ASSERT_NE(pkFloor, nullptr);
    CPathableObject* pkCanteen = Canteen();
    ASSERT_NE(pkCanteen, nullptr);
    EXPECT_EQ(pkCanteen->GetAccessCell(0), -1); // no grid yet

    // W = 8, a = 4 / 2 - 1 = 1, b = 2 / 2 - 1 = 0; list 0 has c = 1, r = -1.
    Stand(*pkCanteen, *pkFloor, 27, 0.0f);
    std::int32_t iAnchor = pkCanteen->GetAnchor();
    ASSERT_GE(iAnchor, 0);
    EXPECT_EQ(pkCanteen->GetAccessCell(0), iAnchor + 9);
    EXPECT_EQ(pkCanteen->GetAccessCell(-1), iAnchor + 9);
    EXPECT_EQ(pkCanteen->GetAccessCell(1), iAnchor + 0);
    EXPECT_EQ(pkCanteen->GetAccessCell(2), -1);
    EXPECT_EQ(pkCanteen->GetAccessCell(-2), -1);

    Stand(*pkCanteen, *pkFloor, 27, 90.0f);
    iAnchor = pkCanteen->GetAnchor();
    EXPECT_EQ(pkCanteen->GetAccessCell(0), iAnchor + 8);
    Stand(*pkCanteen, *pkFloor, 27, 180.0f);
    iAnchor = pkCanteen->GetAnchor();
    EXPECT_EQ(pkCanteen->GetAccessCell(0), iAnchor - 1);
    EXPECT_EQ(pkCanteen->GetAccessCell(1), iAnchor + 8);
    Stand(*pkCanteen, *pkFloor, 27, 270.0f);
    iAnchor = pkCanteen->GetAnchor();
    EXPECT_EQ(pkCanteen->GetAccessCell(0), iAnchor - 7);
    Stand(*pkCanteen, *pkFloor, 27, 45.0f);
    EXPECT_EQ(pkCanteen->GetAccessCell(0), -1);
}

// The access cell is index arithmetic on the grid: a door two cells off
// past the first or last column (or row) gives an index in the next or
// previous row. Such a square must never let the room stand: at every cell
// a room may take, every heading and each door, a square whose row or
// column lies off the grid is refused, and one on the grid is the one the
// turned offsets give.
TEST_F(CPathableObjectTest, ADoorPastTheGridsEdgeNeverLetsTheRoomStand)
{
    CWorld kWorld;
    m_kHost.m_pkWorld = &kWorld;
    CBlockGrid* pkFloor = Floor();
    ASSERT_NE(pkFloor, nullptr);
    const std::int32_t iW = pkFloor->GetColumns();
    const std::int32_t iRows = pkFloor->GetRows();
    struct Door
    {
        const char* pcTemplate;
        std::int32_t iC, iR; // the list's column and row offsets
    };
    const Door akDoors[] = {{"far_xp", 2, 0}, {"far_xm", -2, 0}, {"far_zp", 0, 2}, {"far_zm", 0, -2}};
    int iWrapped = 0, iTaken = 0;
    for (const Door& kDoor : akDoors)
    {
        CPathableObject* pkRoom = dynamic_cast<CPathableObject*>(Make("PathableObjectFactory", kDoor.pcTemplate));
        ASSERT_NE(pkRoom, nullptr);
        ASSERT_EQ(pkRoom->GetUseSlotLists().size(), 1u);
        EXPECT_EQ(pkRoom->GetUseSlotLists()[0]->m_fColumnOffset, static_cast<float>(kDoor.iC));
        EXPECT_EQ(pkRoom->GetUseSlotLists()[0]->m_fRowOffset, static_cast<float>(kDoor.iR));
        for (const float fHeading : {0.0f, 90.0f, 180.0f, 270.0f})
        {
            // Rows and columns the square lies on from the anchor, by heading
            // (a = b = 0 for one cell).
            const std::int32_t iRowStep = fHeading == 0.0f ? kDoor.iC : fHeading == 90.0f ? -kDoor.iR
                                        : fHeading == 180.0f                             ? -kDoor.iC
                                                                                         : kDoor.iR;
            const std::int32_t iColumnStep = fHeading == 0.0f ? -kDoor.iR : fHeading == 90.0f ? -kDoor.iC
                                           : fHeading == 180.0f                             ? kDoor.iR
                                                                                            : kDoor.iC;
            for (std::int32_t iCell = 0; iCell < iW * iRows; ++iCell)
            {
                SCOPED_TRACE(testing::Message() << kDoor.pcTemplate << " at " << fHeading << " on cell " << iCell);
                NiVec3 kAt;
                // A room stands on inner cells only: the first and last
                // columns it may take are the second and the last but one.
                if (pkFloor->CellPosition(iCell, kAt, false) == nullptr)
                    continue;
                CBlockGridManager::GetInstance()->PickCell(kAt);
                Stand(*pkRoom, *pkFloor, iCell, fHeading);
                ASSERT_EQ(pkRoom->GetAnchor(), iCell);
                const std::int32_t iRow = iCell / iW + iRowStep;
                const std::int32_t iColumn = iCell % iW + iColumnStep;
                const bool bOnGrid = iRow >= 0 && iRow < iRows && iColumn >= 0 && iColumn < iW;
                const bool bValid = pkRoom->IsPlacementValid(true);
                if (bOnGrid)
                {
                    EXPECT_EQ(pkRoom->GetAccessCell(0), iRow * iW + iColumn);
                    iTaken += bValid ? 1 : 0;
                }
                else
                {
                    EXPECT_FALSE(bValid) << "access cell " << pkRoom->GetAccessCell(0);
                    ++iWrapped;
                }
            }
        }
    }
    // Both happen: for each door and heading, squares past one edge all
    // along it, and rooms that may stand.
    EXPECT_EQ(iWrapped, 4 * 4 * (iRows - 2));
    EXPECT_GT(iTaken, 0);
}

TEST_F(CPathableObjectTest, UsersTakeAndReleaseSlots)
{
    CPathableObject* pkCanteen = Canteen();
    ASSERT_NE(pkCanteen, nullptr);
    TestCharacter kAnn;
    TestCharacter kBob;
    EXPECT_FALSE(pkCanteen->AssignUser(&kAnn, 0, 3));
    EXPECT_FALSE(pkCanteen->AssignUser(&kAnn, 2, 0));
    EXPECT_FALSE(pkCanteen->AssignUser(&kAnn, -1, 0));
    EXPECT_TRUE(pkCanteen->AssignUser(&kAnn, 1, 1));
    EXPECT_FALSE(pkCanteen->AssignUser(&kBob, 1, 1));
    EXPECT_EQ(pkCanteen->GetUsers(), 1);
    EXPECT_TRUE(pkCanteen->IsUserAt(&kAnn, 1, 1));
    EXPECT_FALSE(pkCanteen->IsUserAt(&kBob, 1, 1));
    EXPECT_FALSE(pkCanteen->IsUserAt(&kAnn, 1, 7));
    // Nobody releasing a free slot frees nothing and counts nothing off.
    EXPECT_FALSE(pkCanteen->ReleaseUser(nullptr, 0, 0));
    EXPECT_EQ(pkCanteen->GetUsers(), 1);

    std::int32_t iList = -1;
    std::int32_t iSlot = -1;
    ASSERT_TRUE(pkCanteen->FindFreeUseSlot(iList, iSlot));
    EXPECT_EQ(iList, 0);
    EXPECT_EQ(iSlot, 0);

    // A wrong slot in a valid list still frees the character's own slot.
    EXPECT_TRUE(pkCanteen->ReleaseUser(&kAnn, 0, 2));
    EXPECT_FALSE(pkCanteen->IsUserAt(&kAnn, 1, 1));
    EXPECT_EQ(pkCanteen->GetUsers(), 0);
    // Nothing held: nothing freed, users stay at 0.
    EXPECT_FALSE(pkCanteen->ReleaseUser(&kAnn, 0, 2));
    EXPECT_FALSE(pkCanteen->ReleaseUser(&kAnn, 5, 0));
    EXPECT_EQ(pkCanteen->GetUsers(), 0);

    TestCharacter akCrowd[5];
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(pkCanteen->AssignUser(&akCrowd[i], 0, i));
    for (int i = 0; i < 2; ++i)
        EXPECT_TRUE(pkCanteen->AssignUser(&akCrowd[3 + i], 1, i));
    EXPECT_EQ(pkCanteen->GetUsers(), 5);
    EXPECT_FALSE(pkCanteen->FindFreeUseSlot(iList, iSlot));
    EXPECT_TRUE(pkCanteen->ReleaseUser(&akCrowd[4], 1, 1));
    ASSERT_TRUE(pkCanteen->FindFreeUseSlot(iList, iSlot));
    EXPECT_EQ(iList, 1);
    EXPECT_EQ(iSlot, 1);
}

TEST_F(CPathableObjectTest, AttractionDecidesWhoIsWantedAndTheDayResetsAll)
{
    CPathableObject* pkCanteen = Canteen();
    ASSERT_NE(pkCanteen, nullptr);
    pkCanteen->AdjustAttraction(30);
    EXPECT_EQ(pkCanteen->GetRecord().m_usAttraction, 100);
    pkCanteen->AdjustAttraction(-130);
    EXPECT_EQ(pkCanteen->GetRecord().m_usAttraction, 0);

    // Attraction 0 is never above 25..49 and always below 50..74.
    EXPECT_FALSE(pkCanteen->WantsUser());
    EXPECT_TRUE(pkCanteen->IsUnattractive());
    pkCanteen->AdjustAttraction(75);
    for (int i = 0; i < 20; ++i)
    {
        EXPECT_TRUE(pkCanteen->WantsUser());
        EXPECT_FALSE(pkCanteen->IsUnattractive());
    }
    // The draw decides between the bounds, as seeded.
    pkCanteen->AdjustAttraction(-40);
    NiSeedRandom(7);
    std::vector<bool> kWanted;
    for (int i = 0; i < 8; ++i)
        kWanted.push_back(pkCanteen->WantsUser());
    NiSeedRandom(7);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(35 > static_cast<int>(NiRand() % 25 + 25), kWanted[static_cast<std::size_t>(i)]);

    pkCanteen->AdjustAttraction(65);
    pkCanteen->SetOpen(false);
    EXPECT_FALSE(pkCanteen->WantsUser());
    EXPECT_FALSE(pkCanteen->IsUnattractive());

    TestCharacter kAnn;
    TestCharacter kBob;
    ASSERT_TRUE(pkCanteen->AssignUser(&kAnn, 0, 0));
    ASSERT_TRUE(pkCanteen->AssignUser(&kBob, 1, 0));
    const std::int32_t iCosts = Ledger().m_iRunningCosts;
    pkCanteen->DailyUpdate();
    // Not placed: no running costs, but everyone's slot is gone.
    EXPECT_EQ(Ledger().m_iRunningCosts, iCosts);
    EXPECT_EQ(pkCanteen->GetUsers(), 0);
    EXPECT_TRUE(pkCanteen->IsOpen());
    EXPECT_FALSE(pkCanteen->IsUserAt(&kAnn, 0, 0));
    EXPECT_FALSE(pkCanteen->IsUserAt(&kBob, 1, 0));
    EXPECT_TRUE(pkCanteen->WantsUser());
}

TEST_F(CPathableObjectTest, APlacedObjectHoldsItsAccessCellsAndPaysItsUpkeep)
{
    CWorld kWorld;
    m_kHost.m_pkWorld = &kWorld;
    CBlockGrid* pkFloor = Floor();
    ASSERT_NE(pkFloor, nullptr);
    CPathableObject* pkCanteen = Canteen();
    ASSERT_NE(pkCanteen, nullptr);
    Stand(*pkCanteen, *pkFloor, 27, 0.0f);
    const std::int32_t iFront = pkCanteen->GetAccessCell(0);
    const std::int32_t iBack = pkCanteen->GetAccessCell(1);
    ASSERT_TRUE(pkFloor->IsValidCell(iFront, false));

    // Without a current floor the doors stand nowhere.
    EXPECT_FALSE(pkCanteen->IsPlacementValid(false));
    NiVec3 kAt;
    ASSERT_NE(pkFloor->CellPosition(27, kAt, false), nullptr);
    CBlockGridManager::GetInstance()->PickCell(kAt);
    ASSERT_EQ(CBlockGridManager::GetInstance()->GetPickGrid(), pkFloor);
    EXPECT_TRUE(pkCanteen->IsPlacementValid(false));

    // A door cell in front of an entrance refuses the placement.
    static_cast<CBlock*>(pkFloor->GetBlock(iBack))->SetState(CBlock::STATE_DOOR);
    EXPECT_FALSE(pkCanteen->IsPlacementValid(false));
    static_cast<CBlock*>(pkFloor->GetBlock(iBack))->SetState(CBlock::STATE_FREE);
    ASSERT_TRUE(pkCanteen->IsPlacementValid(false));

    // A character about to step on an access cell is sent elsewhere.
    TestCharacter* pkWalker = MakeCharacter(pkFloor);
    ASSERT_NE(pkWalker, nullptr);
    pkWalker->m_kCellsAhead.insert(iFront);

    // The spline's route ends at the place of use.
    COrvaneAnimationSpline* pkSpline = pkCanteen->GetSlotSpline(0, 1);
    ASSERT_NE(pkSpline, nullptr);
    pkSpline->GetNode()->SetControllers(new WalkIn(pkSpline->GetNode()));

    pkCanteen->Place();
    EXPECT_TRUE(pkCanteen->IsPlaced());
    ASSERT_FALSE(pkWalker->m_kTold.empty());
    EXPECT_EQ(pkWalker->m_kTold.back(), "relocate");
    EXPECT_EQ(*pkCanteen->GetSlotPosition(0, 1), kAt + NiVec3(3.0f, 0.0f, 1.0f));
    EXPECT_EQ(*pkCanteen->GetSlotPosition(0, 0), NiVec3());
    // Occupied but walkable: the access cells belong to the object.
    EXPECT_FALSE(pkFloor->IsAreaFree(iFront, 1, 1, false));
    EXPECT_TRUE(pkFloor->GetBlock(iFront)->IsWalkable());
    EXPECT_FALSE(pkFloor->IsAreaFree(iBack, 1, 1, false));

    const std::int32_t iCosts = Ledger().m_iRunningCosts;
    pkCanteen->DailyUpdate();
    EXPECT_EQ(Ledger().m_iRunningCosts, iCosts + 600);

    m_pkManager->DestroyObject(pkCanteen, true);
    EXPECT_TRUE(pkFloor->IsAreaFree(iFront, 1, 1, false));
    EXPECT_TRUE(pkFloor->IsAreaFree(iBack, 1, 1, false));
}

TEST_F(CPathableObjectTest, StaffAreAskedPerUnitAndLoseTheirHomeWithTheRoom)
{
    auto pkRoom = std::make_unique<StaffedRoom>();
    Build(*pkRoom);
    EXPECT_EQ(pkRoom->SpawnStaff(), 3);
    EXPECT_EQ(pkRoom->m_iRequested, 3);

    PostedCharacter kGuard;
    PostedCharacter kCook;
    pkRoom->AddStaffMember(&kGuard);
    pkRoom->AddStaffMember(&kGuard);
    pkRoom->AddStaffMember(&kCook);
    pkRoom->RemoveStaffMember(&kCook);
    ASSERT_EQ(pkRoom->GetStaffMembers().size(), 1u);
    pkRoom.reset();
    EXPECT_EQ(kGuard.m_kTold, std::vector<std::string>{"home lost"});
    EXPECT_TRUE(kCook.m_kTold.empty());
}

TEST_F(CPathableObjectTest, TowersAndScalableObjects)
{
    auto* pkTower = dynamic_cast<CPathableObject*>(Make("PathableObjectFactory", "prison1/tower/"));
    ASSERT_NE(pkTower, nullptr);
    EXPECT_FALSE(pkTower->IsNotTower()) << (pkTower->GetName() ? pkTower->GetName() : "(none)");
    EXPECT_TRUE(Canteen()->IsNotTower());

    CBlockGrid* pkFloor = Floor();
    ASSERT_NE(pkFloor, nullptr);
    auto* pkWall = dynamic_cast<CScalableObject*>(Make("ScalableObjectFactory", "wall"));
    ASSERT_NE(pkWall, nullptr);
    EXPECT_EQ(pkWall->GetWidthScale(), 1.0f);
    EXPECT_EQ(pkWall->GetWidth(), 2);
    pkWall->SetScale(2.9f, 1.0f, 1.6f);
    EXPECT_EQ(pkWall->GetWidth(), 5);
    EXPECT_EQ(pkWall->GetDepth(), 3);
    pkWall->SetScale(3.0f, 1.0f, 1.0f);
    NiVec3 kAt;
    ASSERT_NE(pkFloor->CellPosition(27, kAt, false), nullptr);
    ASSERT_TRUE(pkWall->PlaceAt(kAt, pkFloor));
    // 6 x 2 units on cells of 2: three along, one across.
    EXPECT_EQ(pkWall->GetRows() * pkWall->GetColumns(), 3);
    EXPECT_EQ(pkWall->OccupyFootprint(), 1);
    const std::int32_t iAnchor = pkWall->GetAnchor();
    EXPECT_FALSE(pkFloor->GetBlock(iAnchor)->IsWalkable());

    auto* pkBalcony = dynamic_cast<CScalableObject*>(Make("ScalableObjectFactory", "balcony"));
    ASSERT_NE(pkBalcony, nullptr);
    ASSERT_NE(pkFloor->CellPosition(49, kAt, false), nullptr);
    ASSERT_TRUE(pkBalcony->PlaceAt(kAt, pkFloor));
    EXPECT_EQ(pkBalcony->OccupyFootprint(), 1);
    EXPECT_FALSE(pkFloor->IsAreaFree(pkBalcony->GetAnchor(), 1, 1, false));
    EXPECT_TRUE(pkFloor->GetBlock(pkBalcony->GetAnchor())->IsWalkable());
}

namespace
{
const NiMaterialProperty& MarkerMaterial(const CUseSlotList& kList)
{
    return *static_cast<NiMaterialProperty*>(kList.m_pkMarker->GetSceneRoot()->GetProperty(NiProperty::MATERIAL));
}

void ExpectColour(const CUseSlotList& kList, const NiColorRGB& kColour, float fAlpha)
{
    ASSERT_NE(kList.m_pkMarker, nullptr);
    EXPECT_EQ(MarkerMaterial(kList).GetAmbientColor(), kColour);
    // A signal glows its colour, whatever the level's light.
    EXPECT_EQ(MarkerMaterial(kList).GetEmittance(), kColour);
    EXPECT_FLOAT_EQ(MarkerMaterial(kList).GetAlpha(), fAlpha);
}
} // namespace

TEST_F(CPathableObjectTest, MarkersShowWhereTheEntrancesWouldBeWhileHeld)
{
    CWorld kWorld;
    m_kHost.m_pkWorld = &kWorld;
    CBlockGrid* pkFloor = Floor();
    ASSERT_NE(pkFloor, nullptr);
    CPathableObject* pkCanteen = Canteen();
    ASSERT_NE(pkCanteen, nullptr);
    const auto& kLists = pkCanteen->GetUseSlotLists();
    ASSERT_EQ(kLists.size(), 2u);
    const NiColorRGB kRed(1.0f, 0.0f, 0.0f);
    const NiColorRGB kGreen(0.0f, 1.0f, 0.0f);
    ExpectColour(*kLists[0], NiColorRGB(0.0f, 0.0f, 1.0f), 0.25f);

    // No current floor: every marker red.
    Stand(*pkCanteen, *pkFloor, 27, 0.0f);
    ExpectColour(*kLists[0], kRed, 0.45f);
    ExpectColour(*kLists[1], kRed, 0.45f);

    NiVec3 kAt;
    ASSERT_NE(pkFloor->CellPosition(27, kAt, false), nullptr);
    CBlockGridManager::GetInstance()->PickCell(kAt);
    pkCanteen->Update(0.0f);
    ExpectColour(*kLists[0], kGreen, 0.45f);
    ExpectColour(*kLists[1], kGreen, 0.45f);
    // The marker stands on the access cell, a little above the floor.
    const std::int32_t iFront = pkCanteen->GetAccessCell(0);
    EXPECT_EQ(kLists[0]->m_pkMarker->GetRoot()->GetTranslate(),
              NiVec3(static_cast<float>(pkFloor->CellX(iFront, false)), 0.1f,
                     static_cast<float>(pkFloor->CellZ(iFront, false))));

    // Something in front of one entrance: both markers turn red.
    static_cast<CBlock*>(pkFloor->GetBlock(iFront))->SetState(CBlock::STATE_CONNECTOR);
    pkCanteen->Update(0.0f);
    ExpectColour(*kLists[0], kRed, 0.45f);
    ExpectColour(*kLists[1], kRed, 0.45f);
    static_cast<CBlock*>(pkFloor->GetBlock(iFront))->SetState(CBlock::STATE_FREE);

    // Standing, the object has no markers and is on its own floor only.
    pkCanteen->Place();
    EXPECT_EQ(kLists[0]->m_pkMarker, nullptr);
    EXPECT_EQ(kLists[1]->m_pkMarker, nullptr);
    pkCanteen->Update(0.0f);
    pkCanteen->NotifyUsers();
    EXPECT_TRUE(pkCanteen->IsOnSameBuilding(pkFloor));
    EXPECT_FALSE(pkCanteen->IsOnSameBuilding(nullptr));
    CGridDesc kOther;
    kOther.m_aiNumbers[0] = 2;
    kOther.m_aiNumbers[1] = 4;
    kOther.m_aiNumbers[2] = 4;
    kOther.m_aiNumbers[3] = 0;
    kOther.m_aiNumbers[4] = 2;
    kOther.m_ucOwnStack = 1;
    kOther.m_kOrigin = NiVec3(100.0f, 0.0f, 0.0f);
    CBlockGrid* pkField = CBlockGridManager::GetInstance()->CreateGrid(kOther);
    ASSERT_NE(pkField, nullptr);
    EXPECT_FALSE(pkCanteen->IsOnSameBuilding(pkField));
}
