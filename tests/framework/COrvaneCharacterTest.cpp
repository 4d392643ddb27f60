#include "framework/COrvaneCharacter.h"

#include "engine/core/NiRandom.h"
#include "framework/COrvaneAStar.h"
#include "framework/COrvaneBlock.h"
#include "framework/COrvaneBlockGrid.h"
#include "framework/COrvaneComposite.h"
#include "framework/COrvaneObjectDesc.h"
#include "framework/COrvanePathSpline.h"
#include "platform/os/OsTime.h"
#include "tests/framework/FrameworkTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace
{
class Walker : public COrvaneCharacter
{
public:
    std::int32_t GetEntityKind() const override { return 2; }
    void OnPathEnd() override
    {
        ++m_iPathEnds;
        COrvaneCharacter::OnPathEnd();
    }
    int m_iPathEnds = 0;
};

// The millisecond tick reads from a list, then keeps the last value.
class ScriptedTicks : public os::Clock
{
public:
    explicit ScriptedTicks(std::vector<std::uint64_t> kTicks) : m_kTicks(std::move(kTicks)) {}
    std::uint64_t Milliseconds() override
    {
        std::uint64_t uiNow = m_kTicks[std::min(m_uiNext, m_kTicks.size() - 1)];
        ++m_uiNext;
        return uiNow;
    }
    std::uint64_t Counter() override { return 0; }
    std::uint64_t Frequency() override { return 1000; }
    std::int64_t UnixMilliseconds() override { return 0; }

private:
    std::vector<std::uint64_t> m_kTicks;
    std::size_t m_uiNext = 0;
};

class COrvaneCharacterTest : public FrameworkTest
{
protected:
    void SetUp() override
    {
        FrameworkTest::SetUp();
        NiResetRandom();
    }
    void TearDown() override
    {
        os::SetClock(nullptr);
        FrameworkTest::TearDown();
    }

    static void Spawn(Walker& kWalker, COrvaneBlockGrid& kGrid, std::int32_t iCell)
    {
        COrvaneObjectDesc kDesc;
        kDesc.m_pkGrid = &kGrid;
        ASSERT_EQ(kWalker.Load(kDesc), 1);
        EXPECT_EQ(kDesc.m_ucMode, 1);
        NiVec3 kAt;
        ASSERT_NE(kGrid.CellPosition(iCell, kAt, true), nullptr);
        kWalker.SetPosition(kAt, 0);
        kWalker.Update(0.0f);
        ASSERT_EQ(kWalker.GetCurrentCell(), iCell);
    }

    static void ExpectAllowedSteps(const COrvaneBlockGrid& kGrid, const std::vector<std::int32_t>& kPath)
    {
        for (std::size_t i = 1; i < kPath.size(); ++i)
        {
            bool bAllowed = false;
            for (int d = 0; d < 8; ++d)
                bAllowed |= kPath[i] - kPath[i - 1] == COrvaneBlockGrid::DirectionOffset(d, kGrid.GetColumns()) &&
                            kGrid.CanLeaveCell(d, kPath[i - 1]);
            EXPECT_TRUE(bAllowed) << kPath[i - 1] << " -> " << kPath[i];
        }
    }
};
} // namespace

TEST_F(COrvaneCharacterTest, SpeedComesFromTheProjectRandomSource)
{
    COrvaneBlockGrid kGrid;
    kGrid.Setup(4, 4, NiVec3::ZERO, 1, 1);
    for (std::uint32_t uiSeed : {1u, 2u, 3u, 40u, 500u})
    {
        NiSeedRandom(uiSeed);
        const float fExpected = 1.0f + 0.05f * static_cast<float>(NiRand() % 11);
        NiSeedRandom(uiSeed);
        Walker kWalker;
        Spawn(kWalker, kGrid, 5);
        EXPECT_FLOAT_EQ(kWalker.GetSpeed(), fExpected);
        EXPECT_GE(kWalker.GetSpeed(), 1.0f);
        EXPECT_LE(kWalker.GetSpeed(), 1.5f);
        ASSERT_NE(kWalker.GetFinder(), nullptr);
    }
}

TEST_F(COrvaneCharacterTest, PathToItselfIsReadyAtOnceWithoutASpline)
{
    COrvaneBlockGrid kGrid;
    kGrid.Setup(5, 5, NiVec3::ZERO, 1, 1);
    Walker kWalker;
    Spawn(kWalker, kGrid, 12);
    EXPECT_TRUE(kWalker.PathStep(-1, 12, 5, 0));
    EXPECT_EQ(kWalker.GetPathState(), COrvaneCharacter::PATH_READY);
    EXPECT_EQ(kWalker.GetSpline(), nullptr);
    EXPECT_EQ(kWalker.GetLastGoal(), 12);
    EXPECT_EQ(kWalker.GetDestination(), 12);
    EXPECT_FALSE(kWalker.PathStep(-1, 3, 5, 0)); // ready: nothing until cleared
}

TEST_F(COrvaneCharacterTest, BlockedOrMissingEndsFailAtOnce)
{
    COrvaneBlockGrid kGrid;
    kGrid.Setup(5, 5, NiVec3::ZERO, 1, 1);
    kGrid.GetBlock(18)->SetState(COrvaneBlock::STATE_BLOCKING);
    Walker kWalker;
    Spawn(kWalker, kGrid, 12);
    for (std::int32_t iTo : {18, 25, -7})
    {
        kWalker.ClearPath();
        EXPECT_TRUE(kWalker.PathStep(12, iTo, 5, 0)) << iTo;
        EXPECT_EQ(kWalker.GetPathState(), COrvaneCharacter::PATH_FAILED);
    }
}

TEST_F(COrvaneCharacterTest, StraightDiagonalWalkNeedsNoSearch)
{
    COrvaneBlockGrid kGrid;
    kGrid.Setup(6, 6, NiVec3::ZERO, 1, 1);
    Walker kWalker;
    Spawn(kWalker, kGrid, 0);
    kWalker.SetDestination(21);
    EXPECT_TRUE(kWalker.PathToDestination(5, 0));
    EXPECT_EQ(kWalker.GetPathState(), COrvaneCharacter::PATH_READY);
    EXPECT_EQ(kWalker.GetCellPath(), (std::vector<std::int32_t>{0, 7, 14, 21}));
    EXPECT_EQ(kWalker.GetPathCount(), 4);
    ASSERT_NE(kWalker.GetSpline(), nullptr);
    EXPECT_EQ(kWalker.GetSpline()->GetPointCount(), 4u);
    EXPECT_EQ(kWalker.GetFinder()->GetSteps(), 0u);
    // Straight walks step along the larger difference first.
    kWalker.ClearPath();
    EXPECT_EQ(kWalker.WalkStraight(0, 13), 13);
    EXPECT_EQ(kWalker.GetCellPath(), (std::vector<std::int32_t>{0, 6, 13}));
}

TEST_F(COrvaneCharacterTest, BlockedStraightWalkContinuesWithTheSearch)
{
    COrvaneBlockGrid kGrid;
    kGrid.Setup(8, 8, NiVec3::ZERO, 1, 1);
    for (std::int32_t iRow = 0; iRow < 4; ++iRow)
        kGrid.GetBlock(iRow * 8 + 3)->SetState(COrvaneBlock::STATE_BLOCKING);
    Walker kWalker;
    Spawn(kWalker, kGrid, 0);
    EXPECT_TRUE(kWalker.PathStep(0, 6, 0, 9));
    EXPECT_EQ(kWalker.GetPathState(), COrvaneCharacter::PATH_READY);
    const std::vector<std::int32_t>& kPath = kWalker.GetCellPath();
    ASSERT_GE(kPath.size(), 5u);
    EXPECT_EQ(kPath[0], 0);
    EXPECT_EQ(kPath[1], 1);
    EXPECT_EQ(kPath[2], 2); // the search's first cell, where the walk stopped
    EXPECT_EQ(kPath.back(), 6);
    EXPECT_EQ(static_cast<std::size_t>(kWalker.GetPathCount()), kPath.size());
    ExpectAllowedSteps(kGrid, kPath);
    ASSERT_NE(kWalker.GetSpline(), nullptr);
    EXPECT_EQ(kWalker.GetSpline()->GetPointCount(), std::max<std::size_t>(4, kPath.size()));
    EXPECT_EQ(kWalker.GetFinder()->GetPool()->GetFreeCount(), kWalker.GetFinder()->GetPool()->GetNodeCount());
}

TEST_F(COrvaneCharacterTest, BudgetZeroRunsALongSearchInOneCall)
{
    COrvaneBlockGrid kGrid;
    kGrid.Setup(40, 40, NiVec3::ZERO, 1, 1);
    for (std::int32_t iRow = 0; iRow < 39; ++iRow)
        kGrid.GetBlock(iRow * 40 + 20)->SetState(COrvaneBlock::STATE_BLOCKING);
    Walker kWalker;
    Spawn(kWalker, kGrid, 0);
    EXPECT_TRUE(kWalker.PathStep(0, 39, 0, 0));
    EXPECT_EQ(kWalker.GetPathState(), COrvaneCharacter::PATH_READY);
    EXPECT_GE(kWalker.GetFinder()->GetSteps(), 500u);
    EXPECT_EQ(kWalker.GetCellPath().back(), 39);
    ExpectAllowedSteps(kGrid, kWalker.GetCellPath());
}

TEST_F(COrvaneCharacterTest, OverrunWaitsTenBudgetsAndSaysSo)
{
    COrvaneBlockGrid kGrid;
    kGrid.Setup(8, 8, NiVec3::ZERO, 1, 1);
    for (std::int32_t iRow = 0; iRow < 7; ++iRow)
        kGrid.GetBlock(iRow * 8 + 3)->SetState(COrvaneBlock::STATE_BLOCKING);
    Walker kWalker;
    Spawn(kWalker, kGrid, 0);
    // Start, then 20 ms later: the first slice overruns an 8 ms budget; the
    // clock stands still afterwards, so the next slice finishes.
    ScriptedTicks kTicks({0, 20});
    os::SetClock(&kTicks);
    // Frames of 1/64 s (exact in binary): the 0.08 s wait spans six frames.
    constexpr float kFrame = 1.0f / 64.0f;
    int iFrame = 0;
    bool bPlanned = false;
    while (!bPlanned && iFrame < 10000)
    {
        ++iFrame;
        kWalker.Update(kFrame);
        testing::internal::CaptureStderr();
        bPlanned = kWalker.PathStep(0, 6, 8, 0);
        const std::string kSaid = testing::internal::GetCapturedStderr();
        if (iFrame == 1)
        {
            EXPECT_FALSE(bPlanned);
            EXPECT_EQ(kSaid, "\nAStar taking more than one step\n");
            EXPECT_EQ(kWalker.GetPathState(), COrvaneCharacter::PATH_SEARCHING);
            EXPECT_FLOAT_EQ(kWalker.GetSearchWait(), 0.08f);
            EXPECT_EQ(kWalker.GetFinder()->GetSteps(), 1u);
        }
    }
    EXPECT_EQ(iFrame, 8);
    ASSERT_EQ(kWalker.GetPathState(), COrvaneCharacter::PATH_READY);
    EXPECT_EQ(kWalker.GetCellPath().back(), 6);

    // The planned walk starts in the very next frame.
    std::unique_ptr<COrvaneSplineBase> pkPlan = kWalker.GetSpline()->Clone();
    kWalker.SetSpline(pkPlan.get(), true);
    EXPECT_EQ(kWalker.GetT(), 0.0f);
    kWalker.Update(kFrame);
    EXPECT_GT(kWalker.GetT(), 0.0f);
}

TEST_F(COrvaneCharacterTest, OverrunWaitsAtLeastOneFrame)
{
    COrvaneBlockGrid kGrid;
    kGrid.Setup(8, 8, NiVec3::ZERO, 1, 1);
    for (std::int32_t iRow = 0; iRow < 7; ++iRow)
        kGrid.GetBlock(iRow * 8 + 3)->SetState(COrvaneBlock::STATE_BLOCKING);
    Walker kWalker;
    Spawn(kWalker, kGrid, 0);
    kWalker.Update(0.25f); // a slow frame: longer than ten 2 ms budgets
    ScriptedTicks kTicks({0, 5});
    os::SetClock(&kTicks);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(kWalker.PathStep(0, 6, 2, 0));
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(kWalker.GetSearchWait(), 0.25f);
    // One call waits the frame out, the next finishes the search.
    EXPECT_FALSE(kWalker.PathStep(0, 6, 2, 0));
    EXPECT_TRUE(kWalker.PathStep(0, 6, 2, 0));
    EXPECT_EQ(kWalker.GetPathState(), COrvaneCharacter::PATH_READY);
}

namespace
{
// Refuses every step to the next column.
class NoColumnStepGrid : public COrvaneBlockGrid
{
public:
    bool AllowMove(int iDirection, std::int32_t) const override { return iDirection != 0; }
};
} // namespace

TEST_F(COrvaneCharacterTest, ASearchEndingAsTheBudgetRunsOutIsKept)
{
    NoColumnStepGrid kGrid;
    kGrid.Setup(4, 4, NiVec3::ZERO, 1, 1);
    Walker kWalker;
    Spawn(kWalker, kGrid, 0);
    // The straight walk cannot leave cell 0; the search goes round in three
    // steps, and the clock jumps past the budget during the last.
    ScriptedTicks kTicks({0, 0, 0, 100});
    os::SetClock(&kTicks);
    testing::internal::CaptureStderr();
    EXPECT_TRUE(kWalker.PathStep(0, 1, 5, 0));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(kWalker.GetFinder()->GetSteps(), 3u);
    EXPECT_EQ(kWalker.GetPathState(), COrvaneCharacter::PATH_READY);
    EXPECT_EQ(kWalker.GetCellPath(), (std::vector<std::int32_t>{0, 5, 1}));
}

TEST_F(COrvaneCharacterTest, ArrivalEndsTheWalk)
{
    COrvaneBlockGrid kGrid;
    kGrid.Setup(6, 6, NiVec3::ZERO, 1, 1);
    Walker kWalker;
    Spawn(kWalker, kGrid, 0);
    ASSERT_TRUE(kWalker.PathStep(0, 3, 0, 0));
    std::unique_ptr<COrvaneSplineBase> pkPlan = kWalker.GetSpline()->Clone();
    kWalker.SetSpline(pkPlan.get(), true);
    EXPECT_EQ(kWalker.GetWalkMode(), COrvaneCharacter::WALK_FOLLOWING);
    int iFrames = 0;
    while (kWalker.m_iPathEnds == 0 && iFrames < 1000)
    {
        kWalker.Update(1.0f / 30.0f);
        ++iFrames;
        EXPECT_TRUE(kWalker.IsNextPointWalkable());
    }
    EXPECT_EQ(kWalker.m_iPathEnds, 1);
    EXPECT_GT(iFrames, 10);
    EXPECT_EQ(kWalker.GetWalkMode(), COrvaneCharacter::WALK_STANDING);
    EXPECT_EQ(kWalker.GetT(), 0.0f);
    kWalker.Update(0.0f);
    EXPECT_EQ(kWalker.GetCurrentCell(), 3);
    EXPECT_EQ(kWalker.GetPreviousCell(), 3);
    // Walking toward -Z (the next columns) faces 180.
    EXPECT_NEAR(kWalker.GetModel()->GetAccumulatedAngle(), 180.0f, 1e-3f);
}

TEST_F(COrvaneCharacterTest, ReversedWalksTurnToTheirDirection)
{
    COrvaneBlockGrid kGrid;
    kGrid.Setup(6, 6, NiVec3::ZERO, 1, 1);
    Walker kWalker;
    Spawn(kWalker, kGrid, 0);
    ASSERT_TRUE(kWalker.PathStep(0, 4, 0, 0));
    std::unique_ptr<COrvaneSplineBase> pkPlan = kWalker.GetSpline()->Clone();
    kWalker.SetSpline(pkPlan.get(), false);
    kWalker.TurnBack(true);
    NiVec3 kEnd;
    ASSERT_TRUE(pkPlan->GetEndPosition(kEnd));
    kWalker.SetPosition(kEnd, 0);
    for (int i = 0; i < 20; ++i)
        kWalker.Update(1.0f / 30.0f);
    ASSERT_GT(kWalker.GetT(), 0.0f);
    ASSERT_LT(kWalker.GetT(), 1.0f);
    // The spline faces the model back toward -Z's opposite; the turn-back
    // adds 180, so it faces +Z, the way it walks.
    float fAngle = std::fmod(kWalker.GetModel()->GetAccumulatedAngle(), 360.0f);
    EXPECT_NEAR(fAngle, 0.0f, 1e-3f);
    EXPECT_TRUE(kWalker.IsReversed());
    EXPECT_LT(kWalker.GetModelPosition()->z, 0.0f);
    EXPECT_GT(kWalker.GetModelPosition()->z, kEnd.z);
}

TEST_F(COrvaneCharacterTest, TurningBackTwiceReturnsToTheStart)
{
    COrvaneBlockGrid kGrid;
    kGrid.Setup(6, 6, NiVec3::ZERO, 1, 1);
    Walker kWalker;
    Spawn(kWalker, kGrid, 0);
    EXPECT_EQ(kWalker.TurnBack(true), 0);
    EXPECT_FALSE(kWalker.IsReversed());
    EXPECT_EQ(kWalker.GetWalkMode(), COrvaneCharacter::WALK_STANDING);
    ASSERT_TRUE(kWalker.PathStep(0, 5, 0, 0));
    kWalker.SetT(0.5f);
    kWalker.TurnBack(false);
    EXPECT_TRUE(kWalker.IsReversed());
    EXPECT_EQ(kWalker.GetT(), 1.0f);
    EXPECT_EQ(kWalker.GetWalkMode(), COrvaneCharacter::WALK_STANDING);
    kWalker.TurnBack(true);
    EXPECT_FALSE(kWalker.IsReversed());
    EXPECT_EQ(kWalker.GetT(), 0.0f);
    EXPECT_EQ(kWalker.GetWalkMode(), COrvaneCharacter::WALK_FOLLOWING);
}

TEST_F(COrvaneCharacterTest, OffsetsAreSeededAndBounded)
{
    COrvaneBlockGrid kGrid;
    kGrid.Setup(6, 6, NiVec3::ZERO, 2, 1);
    Walker kWalker;
    Spawn(kWalker, kGrid, 0);
    kWalker.RandomiseOffset(); // no spline: nothing
    EXPECT_EQ(kWalker.GetOffset(), NiVec3::ZERO);
    ASSERT_TRUE(kWalker.PathStep(0, 5, 0, 0));
    for (std::uint32_t uiSeed : {3u, 4u, 99u})
    {
        NiSeedRandom(uiSeed);
        float fX = static_cast<float>(NiRand() % 200 + 1);
        float fZ = static_cast<float>(NiRand() % 200 + 1);
        if (NiRand() % 2)
            fX = -fX;
        if (NiRand() % 2)
            fZ = -fZ;
        NiSeedRandom(uiSeed);
        kWalker.RandomiseOffset();
        EXPECT_EQ(kWalker.GetOffset(), NiVec3(fX / 500.0f, 0.0f, fZ / 500.0f));
    }
    for (int i = 0; i < 200; ++i)
    {
        kWalker.RandomiseOffset();
        for (float fPart : {kWalker.GetOffset().x, kWalker.GetOffset().z})
        {
            EXPECT_GE(std::fabs(fPart), 0.002f);
            EXPECT_LE(std::fabs(fPart), 0.4f);
        }
    }
    EXPECT_EQ(kWalker.ClearOffset(), 0);
    EXPECT_EQ(kWalker.GetOffset(), NiVec3::ZERO);
}

TEST_F(COrvaneCharacterTest, AGridWithoutCellSizeGivesNoOffset)
{
    COrvaneBlockGrid kGrid;
    kGrid.Setup(6, 6, NiVec3::ZERO, 1, 1);
    COrvaneBlockGrid kFlat;
    kFlat.Setup(6, 6, NiVec3::ZERO, 0, 1);
    Walker kWalker;
    Spawn(kWalker, kGrid, 0);
    ASSERT_TRUE(kWalker.PathStep(0, 5, 0, 0));
    kWalker.SetGrid(&kFlat);
    kWalker.RandomiseOffset();
    EXPECT_EQ(kWalker.GetOffset(), NiVec3::ZERO);
}

TEST_F(COrvaneCharacterTest, SplineEndsAnchorAndSnap)
{
    COrvaneBlockGrid kGrid;
    kGrid.Setup(6, 6, NiVec3::ZERO, 1, 1);
    Walker kWalker;
    Spawn(kWalker, kGrid, 0);
    ASSERT_TRUE(kWalker.PathStep(0, 4, 0, 0));
    auto* pkPath = dynamic_cast<COrvanePathSpline*>(kWalker.GetSpline());
    ASSERT_NE(pkPath, nullptr);
    kWalker.SetSplineEnd(NiVec3(9.0f, 0.0f, 9.0f));
    EXPECT_EQ(pkPath->GetPoints().back(), NiVec3(9.0f, 0.0f, 9.0f));
    kWalker.SetPosition(NiVec3(0.5f, 0.0f, 0.0f), 0);
    kWalker.AnchorSplineStart();
    EXPECT_EQ(pkPath->GetPoints().front(), NiVec3(0.5f, 0.0f, 0.0f));
    kWalker.TurnBack(false);
    kWalker.SetSplineEnd(NiVec3(1.0f, 0.0f, 0.0f));
    EXPECT_EQ(pkPath->GetPoints().front(), NiVec3(1.0f, 0.0f, 0.0f));
    // Half way on five points rounds down to point 2 going back.
    kWalker.SetT(0.5f);
    kWalker.SnapToPathPoint();
    EXPECT_EQ(kWalker.GetCurrentCell(), 2);
    // A blocked next point is reported.
    kGrid.GetBlock(2)->SetState(COrvaneBlock::STATE_BLOCKING);
    EXPECT_FALSE(kWalker.IsNextPointWalkable());
}

TEST_F(COrvaneCharacterTest, StraightWalksCarryCellsIn16Bits)
{
    // Kept: a cell past 65,535 wraps, which bounds grids to 65,536 cells.
    COrvaneBlockGrid kGrid;
    kGrid.Setup(300, 300, NiVec3::ZERO, 1, 1);
    Walker kWalker;
    Spawn(kWalker, kGrid, 0);
    kWalker.ClearPath();
    EXPECT_EQ(kWalker.WalkStraight(70000, 70001), 4465);
    EXPECT_EQ(kWalker.GetCellPath(), (std::vector<std::int32_t>{4464, 4465}));
}
