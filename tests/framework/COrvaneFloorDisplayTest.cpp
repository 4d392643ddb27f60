#include "engine/scene/NiLines.h"
#include "engine/scene/NiLinesData.h"
#include "engine/scene/NiNode.h"
#include "engine/scene/NiTriShape.h"
#include "engine/scene/NiVertexColorProperty.h"
#include "framework/COrvaneBlockGrid.h"
#include "framework/COrvaneBlockGridStack.h"
#include "framework/COrvaneLevelManager.h"
#include "framework/COrvanePathSpline.h"
#include "framework/COrvaneSceneLink.h"
#include "framework/COrvaneSceneNode.h"
#include "framework/COrvaneWorld.h"
#include "tests/framework/UiTestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace
{
// The game's level manager holds a world with an empty scene.
class COrvaneFloorDisplayTest : public UiTest
{
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        auto pkWorld = std::make_unique<COrvaneWorld>();
        ASSERT_TRUE(pkWorld->LoadLevel(nullptr, nullptr));
        m_kLevels.SetWorld(std::move(pkWorld));
        Game().m_pkLevels = &m_kLevels;
    }
    void TearDown() override
    {
        Game().m_pkLevels = nullptr;
        UiTest::TearDown();
    }
    [[nodiscard]] NiNode* Root() const { return m_kLevels.GetWorld()->GetSceneRoot(); }

    static std::unique_ptr<COrvaneBlockGrid> Grid(std::int32_t iRows, std::int32_t iColumns, const NiVec3& kOrigin,
                                                  std::int32_t iCell)
    {
        auto pkGrid = std::make_unique<COrvaneBlockGrid>();
        pkGrid->Setup(iRows, iColumns, kOrigin, iCell, 1);
        return pkGrid;
    }

    COrvaneLevelManager m_kLevels;
};

void ExpectNear(const NiVec3& kA, const NiVec3& kB)
{
    EXPECT_NEAR(kA.x, kB.x, 1e-4f);
    EXPECT_NEAR(kA.y, kB.y, 1e-4f);
    EXPECT_NEAR(kA.z, kB.z, 1e-4f);
}
} // namespace

TEST_F(COrvaneFloorDisplayTest, TheDisplaySitsOverTheCurrentFloorAndGoesWithTheFloors)
{
    COrvaneBlockGridStack kStack;
    std::unique_ptr<COrvaneBlockGrid> pkFirst = Grid(4, 6, NiVec3(10, 0, 20), 2);
    const float fX = pkFirst->GetExtentX();
    const float fZ = pkFirst->GetExtentZ();
    ASSERT_GT(fX, 0.0f);
    ASSERT_NE(fX, fZ);
    const NiVec3 kCentre(10 + fX / 2 - 1, 0, 20 - fZ / 2 + 1);
    ASSERT_TRUE(kStack.Build(std::move(pkFirst), 1));
    COrvaneSceneNode* pkDisplay = kStack.GetFloorDisplay();
    ASSERT_NE(pkDisplay, nullptr);
    EXPECT_EQ(pkDisplay->GetSceneRoot()->GetParent(), Root());
    EXPECT_EQ(pkDisplay->GetWorld(), m_kLevels.GetWorld());
    // The centre of the cells: the origin is the first cell's centre.
    ExpectNear(pkDisplay->GetRoot()->GetTranslate(), kCentre);

    ASSERT_TRUE(kStack.Build(Grid(2, 2, NiVec3(0, 5, 0), 4), 2));
    EXPECT_EQ(kStack.GetFloorDisplay(), pkDisplay); // made once
    ASSERT_NE(kStack.NextFloor(), nullptr);
    ExpectNear(pkDisplay->GetRoot()->GetTranslate(), NiVec3(2, 5, -2));
    ASSERT_NE(kStack.PreviousFloor(), nullptr);
    ExpectNear(pkDisplay->GetRoot()->GetTranslate(), kCentre);

    const std::uint32_t uiChildren = Root()->GetChildCount();
    kStack.ReleaseFloors();
    EXPECT_EQ(kStack.GetFloorDisplay(), nullptr);
    EXPECT_EQ(Root()->GetChildCount(), uiChildren - 1);
}

TEST_F(COrvaneFloorDisplayTest, FlatAndTexturedQuadsLieInTheGroundPlane)
{
    std::unique_ptr<COrvaneSceneNode> pkFlat = CreateFlatQuad(4.0f, 2.0f);
    ASSERT_NE(pkFlat->GetImpl()->m_pkShape, nullptr);
    const NiGeometryData* pkData = pkFlat->GetImpl()->m_pkShape->GetModelData();
    ASSERT_EQ(pkData->GetVertexCount(), 4u);
    ExpectNear(pkData->GetVertices()[0], NiVec3(-2, 0, -1));
    ExpectNear(pkData->GetVertices()[1], NiVec3(2, 0, -1));
    ExpectNear(pkData->GetVertices()[2], NiVec3(-2, 0, 1));
    ExpectNear(pkData->GetVertices()[3], NiVec3(2, 0, 1));
    EXPECT_EQ(pkData->GetColors()[3], NiColorRGBA(0.0f, 0.0f, 0.0f, 0.1f));

    std::unique_ptr<COrvaneSceneNode> pkTiled = CreateTexturedQuad(4.0f, 2.0f, "", 3.0f, 5.0f);
    const NiGeometryData* pkTiles = pkTiled->GetImpl()->m_pkShape->GetModelData();
    ASSERT_NE(pkTiles->GetTextures(), nullptr);
    EXPECT_EQ(pkTiles->GetTextures()[1], NiVec2(3.0f, 0.0f));
    EXPECT_EQ(pkTiles->GetTextures()[3], NiVec2(3.0f, 5.0f));
    EXPECT_EQ(pkTiles->GetColors()[0], NiColorRGBA(1.0f, 1.0f, 1.0f, 1.0f));

    ASSERT_TRUE(AttachSceneNodeToWorld(*pkTiled, *m_kLevels.GetWorld(), false));
    EXPECT_EQ(pkTiled->GetSceneRoot()->GetParent(), Root());
    EXPECT_TRUE(DetachSceneNodeFromWorld(*pkTiled, *m_kLevels.GetWorld()));
    EXPECT_EQ(pkTiled->GetSceneRoot()->GetParent(), nullptr);
    EXPECT_EQ(pkTiled->GetWorld(), nullptr);
}

TEST_F(COrvaneFloorDisplayTest, GridLinesCoverEveryColumnAndRow)
{
    StartRenderer();
    // 3 rows, 5 columns, cells of 4 from the first cell's centre (10, 2, 30).
    std::unique_ptr<COrvaneBlockGrid> pkGrid = Grid(3, 5, NiVec3(10, 2, 30), 4);
    pkGrid->DebugDraw();
    ASSERT_EQ(Renderer().m_kLines.size(), 1u);
    const NiLines* pkLines = Renderer().m_kLines[0];
    const auto* pkData = static_cast<const NiLinesData*>(pkLines->GetModelData());
    ASSERT_EQ(pkData->GetVertexCount(), 2 * (5 + 3) + 4);
    const NiVec3* pkV = pkData->GetVertices();
    // Corner (8, 2, 32); rows run 5 x 4 along x, columns 3 x 4 towards -z.
    ExpectNear(pkV[0], NiVec3(8, 2.1f, 32));
    ExpectNear(pkV[1], NiVec3(28, 2.1f, 32));
    ExpectNear(pkV[7], NiVec3(28, 2.1f, 20)); // the last row line
    ExpectNear(pkV[8], NiVec3(8, 2.1f, 32));  // the first column line
    ExpectNear(pkV[9], NiVec3(8, 2.1f, 20));
    ExpectNear(pkV[19], NiVec3(28, 2.1f, 20));
    for (std::uint16_t i = 0; i < pkData->GetVertexCount(); ++i)
    {
        EXPECT_EQ(pkData->GetColors()[i], NiColorRGBA(0.0f, 0.8f, 0.0f, 1.0f));
        EXPECT_EQ(pkData->GetFlags()[i], i % 2 == 0 ? 1 : 0);
    }
    auto* pkVertexColor = NiDynamicCast<NiVertexColorProperty>(
        Renderer().m_kLineProperties[0]->GetProperty(NiProperty::VERTEX_COLOR));
    ASSERT_NE(pkVertexColor, nullptr);
    EXPECT_EQ(pkVertexColor->GetSourceMode(), 1u);
    EXPECT_EQ(pkVertexColor->GetLightingMode(), 1u);
    ASSERT_NE(Renderer().m_kLineEffects[0], nullptr);
}

TEST_F(COrvaneFloorDisplayTest, DebugLinesFollowThePathOnceAndLeaveWithIt)
{
    const NiVec3 akPoints[4] = {{0, 0, 0}, {4, 0, 0}, {4, 0, 4}, {8, 0, 4}};
    COrvanePathSpline kPath;
    kPath.SetPoints(akPoints, 4, "route");
    kPath.CreateDebugLines();
    NiLines* pkLines = kPath.GetDebugLines();
    ASSERT_NE(pkLines, nullptr);
    EXPECT_EQ(pkLines->GetParent(), Root());
    const auto* pkData = static_cast<const NiLinesData*>(pkLines->GetModelData());
    ASSERT_EQ(pkData->GetVertexCount(), 4u);
    ExpectNear(pkData->GetVertices()[2], NiVec3(4, 1, 4));
    EXPECT_EQ(pkData->GetColors()[1], NiColorRGBA(1.0f, 0.5f, 1.0f, 1.0f));
    EXPECT_EQ(pkData->GetFlags()[0], 1);
    EXPECT_EQ(pkData->GetFlags()[2], 1);
    EXPECT_EQ(pkData->GetFlags()[3], 0);
    kPath.CreateDebugLines();
    EXPECT_EQ(kPath.GetDebugLines(), pkLines);
    const std::uint32_t uiChildren = Root()->GetChildCount();
    kPath.ClearDebugLines();
    EXPECT_EQ(kPath.GetDebugLines(), nullptr);
    EXPECT_EQ(Root()->GetChildCount(), uiChildren - 1);

    // Without the game's world: a display not in any scene, and no lines.
    Game().m_pkLevels = nullptr;
    COrvaneBlockGridStack kStack;
    ASSERT_TRUE(kStack.Build(Grid(2, 2, NiVec3(), 2), 1));
    ASSERT_NE(kStack.GetFloorDisplay(), nullptr);
    EXPECT_EQ(kStack.GetFloorDisplay()->GetSceneRoot()->GetParent(), nullptr);
    kPath.CreateDebugLines();
    EXPECT_EQ(kPath.GetDebugLines(), nullptr);
}
