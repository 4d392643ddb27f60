// The yard view comes back after a visit to a block, as a player makes one:
// the view turned down with Ctrl and the mouse (down and a little to the
// side, as a hand moves) to see the site, a block placed and entered by a
// click, cells placed inside, the floor panel's home button. The camera
// stands where it stood, looks where it looked, and still answers the move
// keys and the mouse.

#include "tests/game/support/CPlayScript.h"

#include "engine/scene/NiCamera.h"
#include "game/shell/CCamera.h"
#include "game/shell/CGame.h"
#include "game/shell/ui/CFloorChangePanel.h"
#include "game/shell/ui/CInterface.h"
#include "game/shell/ui/CMainPanel.h"
#include "game/simulation/objects/CBlockGrid.h"
#include "game/simulation/objects/CBlockGridManager.h"
#include "game/simulation/objects/CWorldObject.h"
#include "tests/framework/FrameworkTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace
{

struct View
{
    NiVec3 kPosition;
    float afAngles[3] = {};
    NiVec3 kDirection;
    NiVec3 kUp;
};

View Read(CCamera& kCamera)
{
    View kView;
    kView.kPosition = kCamera.GetPosition();
    kView.afAngles[0] = kCamera.GetAngleA();
    kView.afAngles[1] = kCamera.GetAngleB();
    kView.afAngles[2] = kCamera.GetAngleC();
    NiCamera* pkCamera = kCamera.GetEngineCamera();
    pkCamera->Update(0.0f);
    kView.kDirection = pkCamera->GetWorldDirection();
    kView.kUp = pkCamera->GetWorldUpVector();
    return kView;
}

float Distance(const NiVec3& kA, const NiVec3& kB)
{
    return (kA - kB).Length();
}

class BlockVisitViewTest : public FrameworkTest
{
protected:
    void SetUp() override
    {
        FrameworkTest::SetUp();
        setenv("ORVANE_GFX_BACKEND", "null", 0);
        ASSERT_TRUE(CPlayScript::CopyDemoData(ORVANE_DEMO_DATA, Folder().string()));
    }
};

TEST_F(BlockVisitViewTest, LeavingABlockGivesTheTiltedYardViewBack)
{
    CPlayScript kScript(31);
    ASSERT_TRUE(kScript.Start()) << kScript.Why();
    ASSERT_TRUE(kScript.EnterFreeGame()) << kScript.Why();
    ASSERT_TRUE(kScript.SetSpeedButton(0)) << kScript.Why();
    CGame& kGame = kScript.Game();
    CCamera* pkCamera = kGame.GetGameCamera();
    ASSERT_NE(pkCamera, nullptr);

    // Down to the site, and a little to the side.
    const View kStart = Read(*pkCamera);
    // A degree a pixel, a tenth of it a frame: about 24 degrees down.
    kScript.TurnView(2.0f, 8.0f, 30);
    const View kTilted = Read(*pkCamera);
    EXPECT_GT(kTilted.afAngles[0] - kStart.afAngles[0], 0.3f);
    EXPECT_NE(kTilted.afAngles[1], kStart.afAngles[1]);
    EXPECT_LT(kTilted.kDirection.y, kStart.kDirection.y - 0.2f) << "the view did not turn down";
    EXPECT_LT(kTilted.kDirection.y, 0.0f);

    const CBlockGrid* pkYard = CBlockGridManager::GetInstance()->FindGrid(1);
    ASSERT_NE(pkYard, nullptr);
    auto* pkBlock =
        dynamic_cast<CWorldObject*>(kScript.BuildOnYard("cellblock_small", 2 * pkYard->GetColumns() + 2));
    ASSERT_NE(pkBlock, nullptr) << kScript.Why();
    // Building on the yard leaves the view as it was turned.
    const View kBefore = Read(*pkCamera);
    EXPECT_LT(Distance(kBefore.kDirection, kTilted.kDirection), 1e-4f);
    for (int i = 0; i < 2; ++i)
        ASSERT_TRUE(kScript.BuildInside(*pkBlock, "cell_single")) << i << ": " << kScript.Why();
    EXPECT_EQ(kScript.m_iEnteredWithoutClick, 0);
    ASSERT_EQ(kGame.GetSelectedBuilding(), pkBlock);
    // Inside, the camera looks at the block from elsewhere.
    EXPECT_GT(Distance(Read(*pkCamera).kPosition, kBefore.kPosition), 1.0f);

    // Home: the panels closed, the floor panel's button.
    kScript.PressScanCode(CPlayScript::SCAN_SPACE);
    CFloorChangePanel* pkFloors = CInterface::Get()->GetMainPanel()->GetFloorPanel();
    ASSERT_NE(pkFloors, nullptr);
    ASSERT_TRUE(kScript.ClickWidget(*pkFloors, CFloorChangePanel::WIDGET_LEAVE)) << kScript.Why();
    ASSERT_EQ(kGame.GetSelectedBuilding(), nullptr);

    const View kAfter = Read(*pkCamera);
    EXPECT_LT(Distance(kAfter.kPosition, kBefore.kPosition), 1e-3f);
    for (int i = 0; i < 3; ++i)
        EXPECT_FLOAT_EQ(kAfter.afAngles[i], kBefore.afAngles[i]) << "angle " << i;
    EXPECT_LT(Distance(kAfter.kDirection, kBefore.kDirection), 1e-4f)
        << "looking along " << kAfter.kDirection.x << " " << kAfter.kDirection.y << " " << kAfter.kDirection.z
        << " instead of " << kBefore.kDirection.x << " " << kBefore.kDirection.y << " " << kBefore.kDirection.z;
    EXPECT_LT(Distance(kAfter.kUp, kBefore.kUp), 1e-4f);
    EXPECT_LT(kAfter.kDirection.y, 0.0f) << "the view looks up into the sky";

    // The controls answer: W moves the camera, Ctrl and the mouse turn it.
    kScript.HoldScanCode(CPlayScript::SCAN_W, 20);
    const View kMoved = Read(*pkCamera);
    EXPECT_GT(Distance(kMoved.kPosition, kAfter.kPosition), 1.0f);
    kScript.TurnView(0.0f, -8.0f, 20);
    const View kTurned = Read(*pkCamera);
    EXPECT_LT(kTurned.afAngles[0], kMoved.afAngles[0] - 0.1f);
    EXPECT_GT(Distance(kTurned.kDirection, kMoved.kDirection), 0.05f);
    EXPECT_TRUE(kScript.Boxes().empty());
}
} // namespace
