// A block is entered by a click on whatever of it the yard's view draws:
// the bars of its upper floor, its walls, its floor, the way in at its door,
// and the rooms seen through them, which the pick takes for objects of their
// own. Each drawn part is clicked where it is the nearest thing drawn under
// the pointer, with a canteen standing behind the block; the Build that
// follows opens the block's own page, not the yard's with the canteen held
// again.

#include "tests/game/support/CPlayScript.h"

#include "engine/scene/NiCamera.h"
#include "engine/scene/NiNode.h"
#include "engine/scene/NiPicker.h"
#include "engine/scene/NiTriBasedGeom.h"
#include "framework/COrvaneComposite.h"
#include "framework/COrvaneObjectTemplate.h"
#include "framework/COrvaneSceneLink.h"
#include "game/shell/CCamera.h"
#include "game/shell/CGame.h"
#include "game/shell/ui/CBuildPlacement.h"
#include "game/shell/ui/CInterface.h"
#include "game/shell/ui/CMainPanel.h"
#include "game/simulation/objects/CBlockGrid.h"
#include "game/simulation/objects/CBlockGridManager.h"
#include "game/simulation/objects/CDynamicObjectManager.h"
#include "game/simulation/objects/CWorld.h"
#include "game/simulation/objects/CWorldObject.h"
#include "tests/framework/FrameworkTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace
{
// The drawn parts of a block and of the rooms in it, by their shapes' names.
enum class Part
{
    Bars,  // the upper floor's joists and ledges
    Walls,
    Floor, // the ground floor's slab
    Door,  // the slab where the way in crosses the front wall's gap
    Room,  // what a room inside draws
    Other
};

const char* PartName(Part ePart)
{
    switch (ePart)
    {
    case Part::Bars: return "roof bars";
    case Part::Walls: return "walls";
    case Part::Floor: return "floor";
    case Part::Door: return "door";
    case Part::Room: return "a room inside";
    default: return "other";
    }
}

Part PartOf(const NiAVObject* pkShape)
{
    const char* pcName = pkShape != nullptr ? pkShape->GetName() : nullptr;
    if (pcName == nullptr)
        return Part::Other;
    const std::string kName = pcName;
    if (kName == "joist" || kName == "ledge")
        return Part::Bars;
    if (kName.rfind("wall_", 0) == 0)
        return Part::Walls;
    if (kName == "slab")
        return Part::Floor;
    if (kName == "tile" || kName.rfind("bunk", 0) == 0)
        return Part::Room;
    return Part::Other;
}

// Shown: neither the shape nor any node above it is culled.
bool Drawn(const NiAVObject* pkShape)
{
    for (const NiAVObject* pk = pkShape; pk != nullptr; pk = pk->GetParent())
        if (pk->GetAppCulled())
            return false;
    return true;
}

void CollectShapes(NiAVObject* pkObject, std::vector<NiTriBasedGeom*>& kOut)
{
    if (auto* pkShape = NiDynamicCast<NiTriBasedGeom>(pkObject))
    {
        kOut.push_back(pkShape);
        return;
    }
    if (auto* pkNode = NiDynamicCast<NiNode>(pkObject))
        for (std::uint32_t i = 0; i < pkNode->GetArrayCount(); ++i)
            CollectShapes(pkNode->GetAt(i), kOut);
}

// Points on the top of a box-like shape, in the world: a grid over its
// top face in its own axes, a little in from the edges.
std::vector<NiVec3> TopPoints(NiTriBasedGeom& kShape, int iAcross)
{
    std::vector<NiVec3> kPoints;
    const auto* pkData = NiDynamicCast<NiTriBasedGeomData>(kShape.GetModelData());
    if (pkData == nullptr || pkData->GetVertices() == nullptr || pkData->GetVertexCount() == 0)
        return kPoints;
    NiVec3 kMin(FLT_MAX, FLT_MAX, FLT_MAX);
    NiVec3 kMax(-FLT_MAX, -FLT_MAX, -FLT_MAX);
    for (std::uint16_t i = 0; i < pkData->GetVertexCount(); ++i)
    {
        const NiVec3& kV = pkData->GetVertices()[i];
        kMin = NiVec3(std::min(kMin.x, kV.x), std::min(kMin.y, kV.y), std::min(kMin.z, kV.z));
        kMax = NiVec3(std::max(kMax.x, kV.x), std::max(kMax.y, kV.y), std::max(kMax.z, kV.z));
    }
    for (int i = 0; i < iAcross; ++i)
        for (int j = 0; j < iAcross; ++j)
        {
            const float fU = (static_cast<float>(i) + 0.5f) / static_cast<float>(iAcross);
            const float fV = (static_cast<float>(j) + 0.5f) / static_cast<float>(iAcross);
            const NiVec3 kLocal(kMin.x + fU * (kMax.x - kMin.x), kMax.y, kMin.z + fV * (kMax.z - kMin.z));
            kPoints.push_back(kShape.GetWorldTransform() * kLocal);
        }
    return kPoints;
}

class BlockEntryClickTest : public FrameworkTest
{
protected:
    void SetUp() override
    {
        FrameworkTest::SetUp();
        setenv("ORVANE_GFX_BACKEND", "null", 0);
        ASSERT_TRUE(CPlayScript::CopyDemoData(ORVANE_DEMO_DATA, Folder().string()));
    }
};

// The nearest drawn shape on the ray through the window pixel, as the eye
// sees it (culled shapes and never-drawn pick plates left out); null for
// none.
NiAVObject* NearestDrawn(CGame& kGame, int iX, int iY)
{
    const NiCamera* pkCamera = kGame.GetCamera()->GetEngineCamera();
    NiVec3 kOrigin;
    NiVec3 kDirection;
    if (!pkCamera->WindowPointToRay(iX, iY, kOrigin, kDirection))
        return nullptr;
    COrvaneSceneLink kLink;
    if (!kGame.GetWorld()->ProvideRoot(kLink, true) || kLink.m_pkTarget == nullptr)
        return nullptr;
    NiPicker kPicker;
    kPicker.SetPickType(NiPicker::FIND_ALL);
    kPicker.SetSortType(NiPicker::SORT);
    kPicker.SetObserveAppCullFlag(true);
    kPicker.SetTarget(kLink.m_pkTarget);
    if (!kPicker.Pick(kOrigin, kDirection))
        return nullptr;
    for (std::uint32_t i = 0; i < kPicker.GetSize(); ++i)
        if (NiAVObject* pkShape = kPicker.GetAt(i)->GetAVObject(); pkShape != nullptr && Drawn(pkShape))
            return pkShape;
    return nullptr;
}
} // namespace

TEST_F(BlockEntryClickTest, AClickOnAnyDrawnPartOfABlockEntersItAndBuildOpensItsPage)
{
    CPlayScript kScript(41);
    ASSERT_TRUE(kScript.Start()) << kScript.Why();
    ASSERT_TRUE(kScript.EnterFreeGame()) << kScript.Why();
    ASSERT_TRUE(kScript.SetSpeedButton(0)) << kScript.Why();
    CGame& kGame = kScript.Game();
    const CBlockGrid* pkYard = CBlockGridManager::GetInstance()->FindGrid(1);
    ASSERT_NE(pkYard, nullptr);
    auto* pkBlock =
        dynamic_cast<CWorldObject*>(kScript.BuildOnYard("cellblock_small", 2 * pkYard->GetColumns() + 2));
    ASSERT_NE(pkBlock, nullptr) << kScript.Why();
    // Cells on both floors, then a canteen last on the yard's page.
    for (int i = 0; i < 12; ++i)
        ASSERT_TRUE(kScript.BuildInside(*pkBlock, i % 2 == 0 ? "cell_double" : "cell_single"))
            << i << ": " << kScript.Why();
    kScript.LeaveBuilding();
    ASSERT_NE(kScript.BuildOnYard("canteen_food", 2 * pkYard->GetColumns() + 22), nullptr) << kScript.Why();
    kScript.LeaveBuilding();
    kScript.Frame(2);
    ASSERT_EQ(kGame.GetSelectedBuilding(), nullptr);
    ASSERT_EQ(CBuildPlacement::GetExisting()->GetObject(), nullptr);

    // The yard seen from above the block's front, looking down at it.
    const NiVec3* pkAt = pkBlock->GetModelPosition();
    ASSERT_NE(pkAt, nullptr);
    const NiVec3 kBlock = *pkAt;
    CCamera* pkCamera = kGame.GetGameCamera();
    ASSERT_NE(pkCamera, nullptr);
    pkCamera->SetPosition(kBlock + NiVec3(4.0f, 22.0f, 20.0f));
    ASSERT_TRUE(pkCamera->LookAt(kBlock));
    kScript.Frame(2);

    // The shapes the block and the rooms in it draw, by part.
    std::vector<NiTriBasedGeom*> kShapes;
    CollectShapes(pkBlock->GetModel()->GetRoot(), kShapes);
    const std::size_t uiBlockShapes = kShapes.size();
    {
        COrvaneSceneLink kLink;
        ASSERT_TRUE(kGame.GetWorld()->ProvideRoot(kLink, true));
        std::vector<NiTriBasedGeom*> kAll;
        CollectShapes(kLink.m_pkTarget, kAll);
        for (NiTriBasedGeom* pkShape : kAll)
            if (PartOf(pkShape) == Part::Room &&
                std::find(kShapes.begin(), kShapes.end(), pkShape) == kShapes.end())
                kShapes.push_back(pkShape);
    }
    ASSERT_GT(kShapes.size(), uiBlockShapes) << "no room inside to see";

    std::map<Part, int> kEntered;
    int iRoomPickedFirst = 0;
    int iClicks = 0;
    bool bBuildChecked = false;
    for (NiTriBasedGeom* pkShape : kShapes)
    {
        Part ePart = PartOf(pkShape);
        if (ePart == Part::Other || !Drawn(pkShape))
            continue;
        // Fewer points on the many small shapes.
        const int iAcross = ePart == Part::Room ? 1 : ePart == Part::Floor ? 4 : 2;
        std::vector<NiVec3> kPoints = TopPoints(*pkShape, iAcross);
        if (ePart == Part::Floor)
        {
            // The door: the way in, through the gap the front wall leaves
            // past the slab's edge, where the yard's ground shows under the
            // block's footprint.
            kPoints.push_back(pkShape->GetWorldTransform() * NiVec3(0.0f, 0.0f, 7.85f));
        }
        for (std::size_t p = 0; p < kPoints.size(); ++p)
        {
            const bool bDoor = ePart == Part::Floor && p + 1 == kPoints.size();
            float fX = 0.0f;
            float fY = 0.0f;
            if (!kScript.ProjectPoint(kPoints[p], fX, fY))
                continue;
            const int iX = static_cast<int>(std::lround(fX));
            const int iY = static_cast<int>(std::lround(fY));
            if (iX < 8 || iY < 8 || iX > 1016 || iY > 600)
                continue;
            // Only where the part itself is what the eye sees there; at
            // the door, nothing of the block's own (the land shows, drawn
            // outside the scene's picked part).
            const NiAVObject* pkSeen = NearestDrawn(kGame, iX, iY);
            if (bDoor ? pkSeen != nullptr && PartOf(pkSeen) != Part::Other : pkSeen != pkShape)
                continue;
            // The frame's pick is taken where the pointer stood before the
            // frame's messages: a second frame reads it here.
            kScript.MoveTo(fX, fY);
            kScript.Frame();
            const bool bRoomFirst = kGame.GetPickedObject() != pkBlock;
            iRoomPickedFirst += bRoomFirst ? 1 : 0;
            kScript.Click(fX, fY);
            ++iClicks;
            const Part eShown = bDoor ? Part::Door : ePart;
            EXPECT_EQ(kGame.GetSelectedBuilding(), pkBlock)
                << "a click on the " << PartName(eShown) << " at " << iX << "," << iY
                << " did not enter the block but "
                << (kGame.GetSelectedBuilding() != nullptr ? kGame.GetSelectedBuilding()->GetName() : "none");
            if (kGame.GetSelectedBuilding() != pkBlock)
            {
                kScript.LeaveBuilding();
                continue;
            }
            ++kEntered[eShown];
            if (!bBuildChecked && bRoomFirst)
            {
                // Build: the block's own page and one of its items held,
                // not the yard's page with the canteen again.
                bBuildChecked = true;
                ASSERT_TRUE(kScript.ClickWidget(*CInterface::Get()->GetMainPanel(), CMainPanel::WIDGET_BUILD));
                EXPECT_TRUE(CInterface::Get()->IsCanvasOpen(CInterface::Get()->GetPanel(CInterface::PANEL_BUILD_INTERNAL), true));
                EXPECT_FALSE(CInterface::Get()->IsCanvasOpen(CInterface::Get()->GetPanel(CInterface::PANEL_BUILD_EXTERNAL), true));
                const CBaseObject* pkHeld = CBuildPlacement::GetExisting()->GetObject();
                ASSERT_NE(pkHeld, nullptr);
                const char* pcHeld = pkHeld->GetName();
                ASSERT_NE(pcHeld, nullptr);
                EXPECT_EQ(std::strstr(pcHeld, "canteen"), nullptr) << pcHeld;
                EXPECT_NE(std::strstr(pcHeld, "cellblocks/"), nullptr) << pcHeld;
            }
            kScript.LeaveBuilding();
            kScript.Frame();
            ASSERT_EQ(kGame.GetSelectedBuilding(), nullptr);
            // Back in the yard's view.
            pkCamera->SetPosition(kBlock + NiVec3(4.0f, 22.0f, 20.0f));
            (void)pkCamera->LookAt(kBlock);
            kScript.Frame();
        }
    }
    for (const Part ePart : {Part::Bars, Part::Walls, Part::Floor, Part::Door, Part::Room})
        EXPECT_GT(kEntered[ePart], 0) << "no click on the " << PartName(ePart);
    // The clicks include those where the pick met a room before the block.
    EXPECT_GT(iRoomPickedFirst, 0) << iClicks << " clicks";
    EXPECT_TRUE(bBuildChecked);
    // Nothing was bought on the way: one canteen stands.
    int iCanteens = 0;
    const CDynamicObjectManager* pkManager = CDynamicObjectManager::GetInstance();
    for (std::uint32_t i = 0; const COrvaneObject* pkObject = pkManager->GetObjectAt(i); ++i)
        if (const auto* pkPlaced = dynamic_cast<const CWorldObject*>(pkObject);
            pkPlaced != nullptr && pkPlaced->IsPlaced() && pkPlaced->GetName() != nullptr &&
            std::strstr(pkPlaced->GetName(), "canteen") != nullptr)
            ++iCanteens;
    EXPECT_EQ(iCanteens, 1);
    EXPECT_TRUE(kScript.Boxes().empty());
}
