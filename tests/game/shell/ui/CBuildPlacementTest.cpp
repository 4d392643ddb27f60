#include "game/shell/ui/CBuildPlacement.h"

#include "engine/scene/NiNode.h"
#include "framework/COrvaneComposite.h"
#include "framework/COrvaneObjectFactory.h"
#include "framework/COrvaneSceneNode.h"
#include "game/simulation/objects/CBaseObject.h"
#include "game/simulation/objects/CBlockGrid.h"
#include "game/simulation/objects/CBlockGridManager.h"
#include "game/simulation/objects/CDynamicObjectManager.h"
#include "game/simulation/objects/CPrisonStatistics.h"
#include "tests/game/simulation/objects/PrisonTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
bool g_bOverPanel = false;

bool OverPanel()
{
    return g_bOverPanel;
}

// The registry's "ROOMS" group of the prison fixture: the guard room (4 x 2
// with three staffed posts), the visits room (2 x 2).
class CBuildPlacementTest : public PrisonTest
{
protected:
    void SetUp() override
    {
        PrisonTest::SetUp();
        CBuildPlacement::Destroy();
        g_bOverPanel = false;
        CBuildPlacement::SetPanelTest(&OverPanel);
        CGridDesc kDesc;
        kDesc.m_aiNumbers[0] = 1;
        kDesc.m_aiNumbers[1] = 20;
        kDesc.m_aiNumbers[2] = 20;
        kDesc.m_aiNumbers[3] = 0;
        kDesc.m_aiNumbers[4] = 2;
        kDesc.m_ucOwnStack = 1;
        m_pkFloor = CBlockGridManager::GetInstance()->CreateGrid(kDesc);
        m_usGroup = static_cast<std::uint16_t>(m_pkManager->FindTemplateGroup("ROOMS"));
        m_pkFactory = m_pkManager->FindFactory("BaseObjectFactory", nullptr);
    }

    void TearDown() override
    {
        CBuildPlacement::Destroy();
        CBuildPlacement::SetPanelTest(nullptr);
        PrisonTest::TearDown();
    }

    // The cursor over the centre of the cell.
    void PointAt(std::int32_t iCell)
    {
        NiVec3 kAt;
        ASSERT_NE(m_pkFloor->CellPosition(iCell, kAt, false), nullptr);
        (void)CBlockGridManager::GetInstance()->PickCell(kAt);
    }

    // Where the object's model stands once the scene has caught up.
    static NiVec3 Position(CBaseObject& kObject)
    {
        if (COrvaneComposite* pkModel = kObject.GetModel())
            pkModel->UpdateNode(0.0f);
        const NiVec3* pkAt = kObject.GetModelPosition();
        return pkAt ? *pkAt : NiVec3(-1.0f, -1.0f, -1.0f);
    }

    std::size_t ObjectCount() const
    {
        std::size_t uiCount = 0;
        while (m_pkManager->GetObjectAt(static_cast<std::uint32_t>(uiCount)))
            ++uiCount;
        return uiCount;
    }

    CPrisonStatistics& Ledger() { return *m_pkManager->GetStatistics(); }

    CBlockGrid* m_pkFloor = nullptr;
    std::uint16_t m_usGroup = 0;
    COrvaneObjectFactory* m_pkFactory = nullptr;
};
} // namespace

TEST_F(CBuildPlacementTest, AHeldObjectSnapsToTheCellsUnderTheCursor)
{
    CBuildPlacement* pkPlacement = CBuildPlacement::GetInstance();
    EXPECT_FALSE(pkPlacement->IsPlacing());
    EXPECT_FALSE(pkPlacement->CanPlace());
    EXPECT_FALSE(pkPlacement->FollowCursor());
    // The guard room: 4 x 2 world units, two rows (along x) and one
    // column at heading 0.
    ASSERT_TRUE(pkPlacement->BeginPlacing(m_usGroup, 0, m_pkFactory));
    ASSERT_TRUE(pkPlacement->IsPlacing());
    CBaseObject* pkRoom = pkPlacement->GetObject();
    ASSERT_NE(pkRoom, nullptr);
    EXPECT_EQ(Position(*pkRoom).y, CBuildPlacement::OUT_OF_SIGHT);
    ASSERT_NE(pkPlacement->GetMarker(), nullptr);

    // Nothing under the cursor: red, not placeable.
    CBlockGridManager::GetInstance()->ResetPick();
    EXPECT_FALSE(pkPlacement->FollowCursor());

    PointAt(5 * 20 + 5);
    EXPECT_TRUE(pkPlacement->FollowCursor());
    EXPECT_EQ(pkRoom->GetRows(), 2);
    EXPECT_EQ(pkRoom->GetColumns(), 1);
    // Rows run along x, columns along -z: the even row count moves half a
    // cell (1) along x, the odd column count stays on the cell.
    EXPECT_FLOAT_EQ(Position(*pkRoom).x, 10.0f + 1.0f);
    EXPECT_FLOAT_EQ(Position(*pkRoom).y, 1.0f);
    EXPECT_FLOAT_EQ(Position(*pkRoom).z, -10.0f);

    // After a quarter turn, one row and two columns: the half cell moves
    // to -z.
    ASSERT_TRUE(pkPlacement->Rotate());
    EXPECT_TRUE(pkPlacement->FollowCursor());
    EXPECT_EQ(pkRoom->GetRows(), 1);
    EXPECT_EQ(pkRoom->GetColumns(), 2);
    EXPECT_FLOAT_EQ(Position(*pkRoom).x, 10.0f);
    EXPECT_FLOAT_EQ(Position(*pkRoom).z, -10.0f - 1.0f);

    // Over a panel the object goes out of sight.
    g_bOverPanel = true;
    EXPECT_FALSE(pkPlacement->FollowCursor());
    EXPECT_EQ(Position(*pkRoom).y, CBuildPlacement::OUT_OF_SIGHT);
    EXPECT_EQ(pkPlacement->Commit(), 0);
    EXPECT_TRUE(pkPlacement->IsPlacing());
}

// The marker lies under the held object, and both over the middle of the
// cells the object would take, at every turn: for the 4 x 2 guard room, the
// 2 x 2 visits room and cursors on either side of the floor.
TEST_F(CBuildPlacementTest, TheMarkerLiesUnderTheCellsTheHeldObjectTakes)
{
    CBuildPlacement* pkPlacement = CBuildPlacement::GetInstance();
    for (std::uint16_t usEntry : {std::uint16_t{0}, std::uint16_t{1}})
    {
        ASSERT_TRUE(pkPlacement->BeginPlacing(m_usGroup, usEntry, m_pkFactory));
        CBaseObject* pkRoom = pkPlacement->GetObject();
        ASSERT_NE(pkRoom, nullptr);
        for (int iTurn = 0; iTurn < 4; ++iTurn)
        {
            for (const std::int32_t iCell : {5 * 20 + 5, 12 * 20 + 9})
            {
                SCOPED_TRACE(std::to_string(usEntry) + " turn " + std::to_string(iTurn) + " cell " +
                             std::to_string(iCell));
                PointAt(iCell);
                ASSERT_TRUE(pkPlacement->FollowCursor());
                // The middle of the first and the last cell taken.
                const std::int32_t iAnchor = pkRoom->GetAnchor();
                const std::int32_t iLast =
                    iAnchor + (pkRoom->GetRows() - 1) * m_pkFloor->GetColumns() + pkRoom->GetColumns() - 1;
                NiVec3 kFirst;
                NiVec3 kEnd;
                ASSERT_NE(m_pkFloor->CellPosition(iAnchor, kFirst, false), nullptr);
                ASSERT_NE(m_pkFloor->CellPosition(iLast, kEnd, false), nullptr);
                const NiVec3 kMiddle = (kFirst + kEnd) * 0.5f;
                NiNode* pkMarker = pkPlacement->GetMarker()->GetRoot();
                ASSERT_NE(pkMarker, nullptr);
                const NiVec3& kMarker = pkMarker->GetTranslate();
                EXPECT_FLOAT_EQ(kMarker.x, kMiddle.x);
                EXPECT_FLOAT_EQ(kMarker.z, kMiddle.z);
                EXPECT_FLOAT_EQ(kMarker.y, Position(*pkRoom).y - 0.9f);
                EXPECT_FLOAT_EQ(Position(*pkRoom).x, kMiddle.x);
                EXPECT_FLOAT_EQ(Position(*pkRoom).z, kMiddle.z);
            }
            ASSERT_TRUE(pkPlacement->Rotate());
        }
        (void)pkPlacement->Clear(false);
    }
}

TEST_F(CBuildPlacementTest, FourTurnsComeBackToZeroAndCopiesKeepTheAngle)
{
    CBuildPlacement* pkPlacement = CBuildPlacement::GetInstance();
    EXPECT_TRUE(pkPlacement->Rotate());
    EXPECT_FLOAT_EQ(pkPlacement->GetAngle(), 0.0f);
    ASSERT_TRUE(pkPlacement->BeginPlacing(m_usGroup, 1, m_pkFactory));
    const std::vector<float> kAngles = {90.0f, 180.0f, 270.0f, 0.0f, 90.0f};
    for (float fAngle : kAngles)
    {
        pkPlacement->Rotate();
        EXPECT_FLOAT_EQ(pkPlacement->GetAngle(), fAngle);
        EXPECT_FLOAT_EQ(pkPlacement->GetObject()->GetHeading(), fAngle == 0.0f ? 0.0f : fAngle);
    }
    PointAt(3 * 20 + 3);
    ASSERT_EQ(pkPlacement->Commit(), 1);
    EXPECT_FALSE(pkPlacement->IsPlacing());
    EXPECT_EQ(pkPlacement->GetMarker(), nullptr);
    EXPECT_EQ(m_kHost.CallsNamed("PlaySample"), std::vector<std::string>{"24,255,0"});

    // The next copy starts turned.
    ASSERT_TRUE(pkPlacement->BeginPlacing(m_usGroup, 1, m_pkFactory));
    EXPECT_FLOAT_EQ(pkPlacement->GetObject()->GetHeading(), 90.0f);
    // The cell is taken now.
    PointAt(3 * 20 + 3);
    EXPECT_EQ(pkPlacement->Commit(), 0);
    EXPECT_TRUE(pkPlacement->IsPlacing());
    PointAt(8 * 20 + 8);
    EXPECT_EQ(pkPlacement->Commit(), 1);
    EXPECT_TRUE(pkPlacement->GetObject() == nullptr);
}

TEST_F(CBuildPlacementTest, ClearingACancelledPreviewCostsNothing)
{
    CBuildPlacement* pkPlacement = CBuildPlacement::GetInstance();
    const int iWages = Ledger().m_iWages;
    const std::size_t uiObjects = ObjectCount();
    ASSERT_TRUE(pkPlacement->BeginPlacing(m_usGroup, 0, m_pkFactory));
    // Three staffed posts, none of them employed while held: the balance
    // shows no wage of a room not yet built.
    ASSERT_EQ(pkPlacement->GetObject()->GetPosts().size(), 3u);
    EXPECT_TRUE(pkPlacement->GetObject()->ArePostsHeldBack());
    EXPECT_EQ(Ledger().m_iWages, iWages);
    for (const auto& pkPost : pkPlacement->GetObject()->GetPosts())
        EXPECT_FALSE(Ledger().HoldsStaff(pkPost.get()));
    EXPECT_TRUE(pkPlacement->Clear());
    EXPECT_EQ(Ledger().m_iWages, iWages);
    EXPECT_EQ(pkPlacement->GetObject(), nullptr);
    EXPECT_EQ(pkPlacement->GetMarker(), nullptr);
    EXPECT_EQ(ObjectCount(), uiObjects);

    // A template out of range or missing leaves the tool idle.
    EXPECT_TRUE(pkPlacement->BeginPlacing(m_usGroup, 99, m_pkFactory));
    EXPECT_FALSE(pkPlacement->IsPlacing());
    EXPECT_TRUE(pkPlacement->BeginPlacing(999, 0, m_pkFactory));
    EXPECT_FALSE(pkPlacement->IsPlacing());
}

// Built, the held room's posts take up their work: each is counted in its
// staff group and booked its wage once, as on the day a post is filled;
// demolished later, it stays paid for.
TEST_F(CBuildPlacementTest, ACommittedPreviewsPostsJoinTheLedgerOnce)
{
    CBuildPlacement* pkPlacement = CBuildPlacement::GetInstance();
    const int iWages = Ledger().m_iWages;
    const std::uint16_t usSecurity = Ledger().GetStaffGroup(CStaffPost::SECURITY)->m_usCount;
    ASSERT_TRUE(pkPlacement->BeginPlacing(m_usGroup, 0, m_pkFactory));
    CBaseObject* pkRoom = pkPlacement->GetObject();
    ASSERT_NE(pkRoom, nullptr);
    int iPosts = 0;
    int iSecurity = 0;
    for (const auto& pkPost : pkRoom->GetPosts())
    {
        iPosts += pkPost->GetCategory() <= CStaffPost::OTHER_STAFF ? 1 : 0;
        iSecurity += pkPost->GetCategory() == CStaffPost::SECURITY ? 1 : 0;
    }
    ASSERT_GT(iPosts, 0);
    PointAt(5 * 20 + 5);
    ASSERT_EQ(pkPlacement->Commit(), 1);
    EXPECT_FALSE(pkRoom->ArePostsHeldBack());
    EXPECT_EQ(Ledger().m_iWages, iWages + iPosts * CStaffPost::WAGE);
    EXPECT_EQ(Ledger().GetStaffGroup(CStaffPost::SECURITY)->m_usCount, usSecurity + iSecurity);
    for (const auto& pkPost : pkRoom->GetPosts())
        EXPECT_EQ(Ledger().HoldsStaff(pkPost.get()), pkPost->GetCategory() <= CStaffPost::OTHER_STAFF);
    // Placed again after a move, nothing is booked twice.
    pkRoom->Unplace();
    pkRoom->Place();
    EXPECT_EQ(Ledger().m_iWages, iWages + iPosts * CStaffPost::WAGE);
    m_pkManager->DestroyObject(pkRoom, true);
    EXPECT_EQ(Ledger().m_iWages, iWages + iPosts * CStaffPost::WAGE);
    EXPECT_EQ(Ledger().GetStaffGroup(CStaffPost::SECURITY)->m_usCount, usSecurity);
}

TEST_F(CBuildPlacementTest, TheDemolitionMarkerFollowsTheCursor)
{
    CBuildPlacement* pkPlacement = CBuildPlacement::GetInstance();
    ASSERT_TRUE(pkPlacement->BeginPlacing(m_usGroup, 1, m_pkFactory));
    pkPlacement->BeginMarker();
    EXPECT_EQ(pkPlacement->GetMode(), CBuildPlacement::MODE_MARKER);
    EXPECT_EQ(pkPlacement->GetObject(), nullptr);
    ASSERT_NE(pkPlacement->GetMarker(), nullptr);
    EXPECT_FALSE(pkPlacement->IsPlacing());
    PointAt(2 * 20 + 4);
    pkPlacement->Update();
    EXPECT_EQ(pkPlacement->Commit(), 0);
    pkPlacement->Clear();
    EXPECT_EQ(pkPlacement->GetMode(), CBuildPlacement::MODE_PLACING);
    EXPECT_EQ(pkPlacement->GetMarker(), nullptr);
}
