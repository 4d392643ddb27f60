#include "game/shell/CCamera.h"

#include "engine/scene/NiCamera.h"
#include "engine/scene/NiNode.h"
#include "engine/scene/NiTriShape.h"
#include "framework/COrvaneObject.h"
#include "framework/COrvaneWorld.h"
#include "tests/framework/FrameworkTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>

namespace
{
// A flat square of the given half size, centred on the origin.
NiRefPtr<NiTriShape> Square(float fHalf)
{
    auto* pkVertex = new NiVec3[4]{{-fHalf, -fHalf, 0}, {fHalf, -fHalf, 0}, {-fHalf, fHalf, 0}, {fHalf, fHalf, 0}};
    auto* pusList = new std::uint16_t[6]{0, 1, 2, 2, 1, 3};
    return new NiTriShape(new NiTriShapeData(4, pkVertex, nullptr, nullptr, nullptr, 0, 0, 2, pusList));
}

// An object standing where the test puts it.
class Walker : public COrvaneObject
{
public:
    [[nodiscard]] const NiVec3* GetModelPosition() const override { return &m_kAt; }
    NiVec3 m_kAt;
};

float Horizontal(const NiVec3& k)
{
    return std::sqrt(k.x * k.x + k.z * k.z);
}

class CCameraTest : public EngineFrameworkTest
{
protected:
    void SetUp() override
    {
        EngineFrameworkTest::SetUp();
        ASSERT_TRUE(m_kWorld.LoadLevel(nullptr, nullptr));
        m_kWorld.GetSceneRoot()->AttachChild(Square(50.0f));
        m_kWorld.GetSceneRoot()->Update(0.0f);
        m_fRadius = m_kWorld.GetSceneRoot()->GetWorldBound().m_fRadius;
        ASSERT_GT(m_fRadius, 60.0f);
        ASSERT_TRUE(m_kCamera.LoadSettings(1024.0f, 768.0f, 0.0f));
        m_kCamera.SetWorld(&m_kWorld);
        m_kCamera.SetPosition(NiVec3(0.0f, 40.0f, 0.0f));
    }
    void TearDown() override
    {
        CCamera::ResetCurrent();
        EngineFrameworkTest::TearDown();
    }

    COrvaneWorld m_kWorld;
    CCamera m_kCamera;
    float m_fRadius = 0.0f;
};

TEST_F(CCameraTest, MovesStayWithinThePrisonsCircle)
{
    EXPECT_EQ(CCamera::GetCurrent(), nullptr);
    ASSERT_TRUE(m_kCamera.Move(NiVec3(10.0f, 5.0f, -20.0f), false));
    EXPECT_EQ(CCamera::GetCurrent(), &m_kCamera);
    EXPECT_EQ(m_kCamera.GetPosition(), NiVec3(10.0f, 45.0f, -20.0f));

    // Out along a diagonal: pulled back onto the circle along the same line,
    // the height kept.
    ASSERT_TRUE(m_kCamera.Move(NiVec3(300.0f, 60.0f, 400.0f), true));
    const NiVec3 kAt = m_kCamera.GetPosition();
    EXPECT_NEAR(Horizontal(kAt), m_fRadius, 1e-3f);
    EXPECT_NEAR(kAt.x / kAt.z, 0.75f, 1e-5f);
    EXPECT_EQ(kAt.y, 60.0f);

    // The rule alone: inside nothing changes, on the circle nothing changes.
    NiVec3 kInside(1.0f, 2.0f, 3.0f);
    EXPECT_TRUE(m_kCamera.ConstrainPosition(kInside));
    EXPECT_EQ(kInside, NiVec3(1.0f, 2.0f, 3.0f));
    NiVec3 kFar(-1000.0f, 7.0f, 0.0f);
    EXPECT_TRUE(m_kCamera.ConstrainPosition(kFar));
    EXPECT_NEAR(kFar.x, -m_fRadius, 1e-3f);
    EXPECT_EQ(kFar.z, 0.0f);

    // Without a world scene, or with an empty one, there is no circle.
    COrvaneWorld kEmpty;
    m_kCamera.SetWorld(&kEmpty);
    NiVec3 kAnywhere(5000.0f, 1.0f, 5000.0f);
    EXPECT_TRUE(m_kCamera.ConstrainPosition(kAnywhere));
    EXPECT_EQ(kAnywhere, NiVec3(5000.0f, 1.0f, 5000.0f));
    ASSERT_TRUE(kEmpty.LoadLevel(nullptr, nullptr));
    kEmpty.GetSceneRoot()->Update(0.0f);
    EXPECT_TRUE(m_kCamera.ConstrainPosition(kAnywhere));
    EXPECT_EQ(kAnywhere, NiVec3(5000.0f, 1.0f, 5000.0f));
    EXPECT_EQ(m_kCamera.GetBoundsSide(), CCamera::NO_SIDE);
}

TEST_F(CCameraTest, HeightsStayBetweenFifteenAndAHundredAndFiftyOverTheGround)
{
    m_kCamera.SetGroundHeight(10.0f);
    m_kCamera.SetPositionClamped(NiVec3(0.0f, 500.0f, 0.0f));
    EXPECT_EQ(m_kCamera.GetPosition().y, 160.0f);
    m_kCamera.SetPositionClamped(NiVec3(0.0f, -3.0f, 0.0f));
    EXPECT_EQ(m_kCamera.GetPosition().y, 25.0f);
    // The raising keys stop at the limits too.
    m_kCamera.MoveVertical(NiVec3(0.0f, 1000.0f, 0.0f));
    EXPECT_EQ(m_kCamera.GetPosition().y, 160.0f);
    m_kCamera.MoveVertical(NiVec3(0.0f, -5.0f, 0.0f));
    EXPECT_EQ(m_kCamera.GetPosition().y, 155.0f);

    // ClampHeight: the circle first, then the range.
    NiVec3 kWanted(1000.0f, 1000.0f, 0.0f);
    EXPECT_TRUE(m_kCamera.ClampHeight(kWanted));
    EXPECT_NEAR(kWanted.x, m_fRadius, 1e-3f);
    EXPECT_EQ(kWanted.y, 160.0f);

    // A move that keeps the height is not clamped; nor is any in mode 16.
    m_kCamera.SetPosition(NiVec3(0.0f, 400.0f, 0.0f));
    m_kCamera.SetPositionClamped(NiVec3(5.0f, 400.0f, 0.0f));
    EXPECT_EQ(m_kCamera.GetPosition(), NiVec3(5.0f, 400.0f, 0.0f));
    m_kCamera.m_uiMode = COrvaneCamera::MODE_PITCH_LOCKED;
    m_kCamera.SetPositionClamped(NiVec3(5.0f, 900.0f, 0.0f));
    EXPECT_EQ(m_kCamera.GetPosition().y, 900.0f);
}

TEST_F(CCameraTest, AClampedMoveWithinTheLimitsLevelsACameraLookingUp)
{
    m_kCamera.RotateA(nullptr, -0.4f, 2);
    ASSERT_FLOAT_EQ(m_kCamera.GetAngleA(), -0.4f);
    const NiMatrix3x3 kTilted = m_kCamera.GetEngineCamera()->GetRotate();
    m_kCamera.SetPositionClamped(NiVec3(0.0f, 50.0f, 0.0f));
    EXPECT_EQ(m_kCamera.GetPosition().y, 50.0f);
    EXPECT_FLOAT_EQ(m_kCamera.GetAngleA(), 0.0f);
    EXPECT_NE(m_kCamera.GetEngineCamera()->GetRotate(), kTilted);

    // Looking down is left alone.
    m_kCamera.RotateA(nullptr, 0.3f, 2);
    m_kCamera.SetPositionClamped(NiVec3(0.0f, 60.0f, 0.0f));
    EXPECT_FLOAT_EQ(m_kCamera.GetAngleA(), 0.3f);
}

TEST_F(CCameraTest, AFollowedObjectDragsTheCameraUntilItIsDestroyed)
{
    Walker kWalker;
    Walker kOther;
    kWalker.m_kAt = NiVec3(1.0f, 0.0f, 1.0f);
    m_kCamera.SetFollowTarget(&kWalker);
    kWalker.m_kAt = NiVec3(11.0f, 2.0f, 6.0f);
    m_kCamera.Update();
    EXPECT_EQ(m_kCamera.GetPosition(), NiVec3(10.0f, 42.0f, 5.0f));
    // Never out of the circle.
    kWalker.m_kAt = NiVec3(5000.0f, 2.0f, 6.0f);
    m_kCamera.Update();
    EXPECT_NEAR(Horizontal(m_kCamera.GetPosition()), m_fRadius, 1e-3f);

    // Another object's end changes nothing; the target's ends the following.
    m_kCamera.ObjectDestroyed(&kOther);
    EXPECT_EQ(m_kCamera.GetFollowTarget(), &kWalker);
    m_kCamera.ObjectDestroyed(&kWalker);
    EXPECT_EQ(m_kCamera.GetFollowTarget(), nullptr);
    const NiVec3 kStill = m_kCamera.GetPosition();
    kWalker.m_kAt = NiVec3(0.0f, 0.0f, 0.0f);
    m_kCamera.Update();
    EXPECT_EQ(m_kCamera.GetPosition(), kStill);
}

TEST_F(CCameraTest, TheRememberedViewComesBack)
{
    m_kCamera.ResetAngles();
    m_kCamera.RotateC(nullptr, -1.5707964f, 0);
    m_kCamera.RotateA(nullptr, 0.6f, 2);
    m_kCamera.RotateB(nullptr, 0.9f, 2);
    m_kCamera.SetPosition(NiVec3(3.0f, 30.0f, -7.0f));
    const NiMatrix3x3 kRotation = m_kCamera.GetEngineCamera()->GetRotate();
    m_kCamera.SaveView();

    m_kCamera.RotateB(nullptr, 1.2f, 2);
    m_kCamera.RotateA(nullptr, -0.2f, 2);
    m_kCamera.SetPosition(NiVec3(20.0f, 90.0f, 20.0f));
    m_kCamera.RestoreView();

    EXPECT_EQ(m_kCamera.GetPosition(), NiVec3(3.0f, 30.0f, -7.0f));
    EXPECT_FLOAT_EQ(m_kCamera.GetAngleA(), 0.6f);
    EXPECT_FLOAT_EQ(m_kCamera.GetAngleB(), 0.9f);
    EXPECT_FLOAT_EQ(m_kCamera.GetAngleC(), -1.5707964f);
    const NiMatrix3x3 kBack = m_kCamera.GetEngineCamera()->GetRotate();
    for (int iRow = 0; iRow < 3; ++iRow)
        for (int iColumn = 0; iColumn < 3; ++iColumn)
            EXPECT_NEAR(kBack.GetEntry(iRow, iColumn), kRotation.GetEntry(iRow, iColumn), 1e-5f);

    m_kCamera.SetBounds(1.0f, 2.0f, 3.0f, 4.0f);
    EXPECT_EQ(m_kCamera.GetBounds(), (std::array<float, 4>{1.0f, 2.0f, 3.0f, 4.0f}));
}
// The player's turns alternate: each frame of a Ctrl drag tilts and turns a
// little, each turn following the last. From the start view of a prison
// facing 153 degrees, tilted down that way, the view left and restored must
// be the one turned to, not the summed angles turned again in one order,
// which there tilts the other way, up into the sky.
TEST_F(CCameraTest, AViewTurnedByAlternatingTiltsAndTurnsComesBackAsItWas)
{
    constexpr float DEGREE = 3.14159265f / 180.0f;
    m_kCamera.ResetAngles();
    m_kCamera.RotateA(nullptr, 0.0f, 0);
    m_kCamera.RotateA(nullptr, 9.0f * DEGREE, 1);
    m_kCamera.RotateB(nullptr, 153.0f * DEGREE, 1);
    m_kCamera.SetPosition(NiVec3(5.0f, 29.0f, 5.0f));
    NiCamera* pkEngine = m_kCamera.GetEngineCamera();
    m_kCamera.m_uiMode = COrvaneCamera::MODE_TURNING;
    for (int i = 0; i < 40; ++i)
    {
        m_kCamera.m_kTurn = NiVec3(0.25f, 0.1f, 0.0f);
        m_kCamera.Update();
    }
    m_kCamera.m_uiMode = COrvaneCamera::MODE_IDLE;
    pkEngine->Update(0.0f);
    const NiVec3 kLooking = pkEngine->GetWorldDirection();
    const NiVec3 kUp = pkEngine->GetWorldUpVector();
    const NiMatrix3x3 kRotation = pkEngine->GetRotate();
    ASSERT_LT(kLooking.y, -0.5f) << "the turns did not tilt the view down";
    const float afAngles[3] = {m_kCamera.GetAngleA(), m_kCamera.GetAngleB(), m_kCamera.GetAngleC()};
    m_kCamera.SaveView();

    // Inside a building: a corner view.
    m_kCamera.ResetAngles();
    m_kCamera.RotateB(nullptr, 0.5f, 0);
    m_kCamera.RotateA(nullptr, 0.7f, 2);
    m_kCamera.SetPosition(NiVec3(-20.0f, 60.0f, 10.0f));
    m_kCamera.RestoreView();

    pkEngine->Update(0.0f);
    EXPECT_EQ(m_kCamera.GetPosition(), NiVec3(5.0f, 29.0f, 5.0f));
    EXPECT_FLOAT_EQ(m_kCamera.GetAngleA(), afAngles[0]);
    EXPECT_FLOAT_EQ(m_kCamera.GetAngleB(), afAngles[1]);
    EXPECT_FLOAT_EQ(m_kCamera.GetAngleC(), afAngles[2]);
    for (int iRow = 0; iRow < 3; ++iRow)
        for (int iColumn = 0; iColumn < 3; ++iColumn)
            EXPECT_NEAR(pkEngine->GetRotate().GetEntry(iRow, iColumn), kRotation.GetEntry(iRow, iColumn), 1e-6f);
    EXPECT_LT((pkEngine->GetWorldDirection() - kLooking).Length(), 1e-5f);
    EXPECT_LT((pkEngine->GetWorldUpVector() - kUp).Length(), 1e-5f);

    // The tilt goes on from there: the pitch limits hold on the restored
    // angle, and a tilt still turns the view.
    m_kCamera.m_uiMode = COrvaneCamera::MODE_TURNING;
    m_kCamera.m_kTurn = NiVec3(-1.0f, 0.0f, 0.0f);
    m_kCamera.Update();
    pkEngine->Update(0.0f);
    EXPECT_FLOAT_EQ(m_kCamera.GetAngleA(), afAngles[0] - 0.1f);
    EXPECT_GT((pkEngine->GetWorldDirection() - kLooking).Length(), 0.05f);
}

// Nothing remembered yet: the view restored is the unturned one.
TEST_F(CCameraTest, RestoringWithoutARememberedViewGivesTheUnturnedView)
{
    m_kCamera.RotateB(nullptr, 1.0f, 0);
    m_kCamera.RotateA(nullptr, 0.4f, 2);
    m_kCamera.RestoreView();
    EXPECT_EQ(m_kCamera.GetPosition(), NiVec3());
    EXPECT_EQ(m_kCamera.GetAngleA(), 0.0f);
    EXPECT_EQ(m_kCamera.GetAngleB(), 0.0f);
    for (int iRow = 0; iRow < 3; ++iRow)
        for (int iColumn = 0; iColumn < 3; ++iColumn)
            EXPECT_EQ(m_kCamera.GetEngineCamera()->GetRotate().GetEntry(iRow, iColumn), iRow == iColumn ? 1.0f : 0.0f);
}
} // namespace
