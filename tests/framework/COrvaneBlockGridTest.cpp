#include "framework/COrvaneBlockGrid.h"

#include "engine/core/NiRandom.h"
#include "framework/COrvaneBlock.h"
#include "framework/COrvaneBlockGridStack.h"
#include "framework/COrvaneFile.h"
#include "framework/COrvanePathSpline.h"
#include "tests/framework/FrameworkTestSupport.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>

namespace
{
// The game keeps the special-cell list; this grid lets a test fill it.
class SpecialGrid : public COrvaneBlockGrid
{
public:
    void AddSpecial(std::int32_t iCell, std::int32_t iKind)
    {
        GetBlock(iCell)->SetState(iKind);
        m_kSpecialCells.push_back(iCell);
        ++m_usSpecialCount;
    }
};

class Named : public COrvaneBase
{
public:
    explicit Named(const char* pcName) { SetName(pcName); }
};

class Owner : public COrvaneMarkerOwner
{
public:
    explicit Owner(std::int32_t iKey) : m_iKey(iKey) {}
    std::int32_t GetMarkerKey() const override { return m_iKey; }

private:
    std::int32_t m_iKey;
};

// Counts its own deletion, so a test sees the grid free what it holds.
class Attached : public COrvaneBase
{
public:
    explicit Attached(int& iDeleted) : m_iDeleted(iDeleted) {}
    ~Attached() override { ++m_iDeleted; }

private:
    int& m_iDeleted;
};

class COrvaneBlockGridTest : public FrameworkTest
{
protected:
    void SetUp() override
    {
        FrameworkTest::SetUp();
        NiResetRandom();
    }

    std::unique_ptr<COrvaneGridMarker> Marker(const NiVec3& kAt, Owner* pkOwner, int& iDeleted)
    {
        auto pkMarker = std::make_unique<COrvaneGridMarker>();
        pkMarker->m_kPosition = kAt;
        pkMarker->m_pkOwner = pkOwner;
        pkMarker->m_pkAttached = std::make_unique<Attached>(iDeleted);
        return pkMarker;
    }
};
} // namespace

TEST_F(COrvaneBlockGridTest, CellAtCoversTheSquareAroundEachCellCentre)
{
    for (const NiVec3& kOrigin : {NiVec3(10.4f, 1.0f, -3.6f), NiVec3(-2.5f, 0.0f, -2.5f), NiVec3(2.5f, 0.0f, 7.5f)})
    {
        SCOPED_TRACE(kOrigin.x);
        COrvaneBlockGrid kGrid;
        kGrid.Setup(4, 5, kOrigin, 2, 7);
        for (std::int32_t iCell = 0; iCell < kGrid.GetCellCount(); ++iCell)
        {
            NiVec3 kCentre;
            ASSERT_NE(kGrid.CellPosition(iCell, kCentre, true), nullptr);
            EXPECT_EQ(kGrid.CellAt(kCentre), iCell);
            EXPECT_EQ(kGrid.RowOf(iCell, true), iCell / 5);
            EXPECT_EQ(kGrid.ColumnOf(iCell, true), iCell % 5);
        }
    }
}

TEST_F(COrvaneBlockGridTest, CellAtEdgesFollowTheRoundedOrigin)
{
    COrvaneBlockGrid kGrid;
    // The origin rounds half away from zero: X 10.5 -> 11, Z -3.5 -> -4.
    kGrid.Setup(4, 5, NiVec3(10.5f, 0.0f, -3.5f), 2, 1);
    EXPECT_EQ(kGrid.CellX(0, true), 11);
    EXPECT_EQ(kGrid.CellZ(0, true), -4);
    EXPECT_EQ(kGrid.CellX(7, true), 13);
    EXPECT_EQ(kGrid.CellZ(7, true), -8);
    // a = (x - 11) + 1: x = 10 gives a = 0, row 0; x = 18 gives a = 8 = extentX.
    EXPECT_EQ(kGrid.CellAt(NiVec3(10.0f, 0.0f, -4.0f)), 0);
    EXPECT_EQ(kGrid.CellAt(NiVec3(9.99f, 0.0f, -4.0f)), -1);
    EXPECT_EQ(kGrid.CellAt(NiVec3(17.99f, 0.0f, -4.0f)), 15);
    EXPECT_EQ(kGrid.CellAt(NiVec3(18.0f, 0.0f, -4.0f)), -1);
    // b = (z + 4) - 1: z = -3 gives b = 0, column 0; z = -13 gives |b| = extentZ.
    EXPECT_EQ(kGrid.CellAt(NiVec3(10.0f, 0.0f, -3.0f)), 0);
    EXPECT_EQ(kGrid.CellAt(NiVec3(10.0f, 0.0f, -2.99f)), -1);
    EXPECT_EQ(kGrid.CellAt(NiVec3(10.0f, 0.0f, -12.99f)), 4);
    EXPECT_EQ(kGrid.CellAt(NiVec3(10.0f, 0.0f, -13.0f)), -1);
    EXPECT_EQ(kGrid.CellIndex(3, 4, true), 19);
    EXPECT_EQ(kGrid.CellIndex(3, 4, false), -1);
    EXPECT_EQ(kGrid.CellIndex(2, 3, false), 13);
}

TEST_F(COrvaneBlockGridTest, DegenerateSetupMakesNoBlocksAndNoCells)
{
    for (auto [iRows, iColumns, iSize] : {std::tuple{4, 4, 0}, std::tuple{0, 4, 1}, std::tuple{4, -1, 1},
                                          std::tuple{INT_MAX, INT_MAX, 1}})
    {
        COrvaneBlockGrid kGrid;
        kGrid.Setup(iRows, iColumns, NiVec3::ZERO, iSize, 1);
        NiVec3 kOut;
        EXPECT_EQ(kGrid.GetCellCount(), 0);
        EXPECT_EQ(kGrid.CellAt(NiVec3::ZERO), -1);
        EXPECT_FALSE(kGrid.IsValidCell(0, true));
        EXPECT_EQ(kGrid.CellPosition(0, kOut, true), nullptr);
        EXPECT_EQ(kGrid.GetBlockSlot(0), nullptr);
        EXPECT_FALSE(kGrid.CanLeaveCell(0, 0));
        EXPECT_FALSE(kGrid.IsAreaValid(0, 1, 1, true));
    }
}

TEST_F(COrvaneBlockGridTest, BorderCellsAndWrappingAreas)
{
    COrvaneBlockGrid kGrid;
    kGrid.Setup(4, 5, NiVec3::ZERO, 1, 1);
    EXPECT_TRUE(kGrid.IsAreaValid(0, 1, 1, true));
    EXPECT_FALSE(kGrid.IsAreaValid(0, 1, 1, false));
    EXPECT_TRUE(kGrid.IsAreaValid(6, 2, 3, false));
    EXPECT_FALSE(kGrid.IsAreaValid(6, 2, 4, false)); // reaches the border column
    EXPECT_FALSE(kGrid.IsAreaValid(4, 1, 3, true));  // last column: wraps into row 1
    EXPECT_FALSE(kGrid.IsAreaValid(15, 2, 1, true)); // runs off the last row
    EXPECT_TRUE(kGrid.IsAreaValid(7, 0, 1, true));   // empty area
    EXPECT_FALSE(kGrid.AreaTouchesInterior(0, 1, 5));
    EXPECT_TRUE(kGrid.AreaTouchesInterior(0, 2, 2));
    EXPECT_FALSE(kGrid.AreaTouchesInterior(6, 0, 3));
    EXPECT_EQ(kGrid.GetBlockSlot(20), nullptr);
    EXPECT_EQ(kGrid.GetBlockSlot(-1), nullptr);
    ASSERT_NE(kGrid.GetBlockSlot(19), nullptr);
}

TEST_F(COrvaneBlockGridTest, OccupyingSpecialCellsFreesInteriorOnesAndMarksBorderOnes)
{
    SpecialGrid kGrid;
    kGrid.Setup(4, 5, NiVec3::ZERO, 1, 1);
    kGrid.AddSpecial(6, COrvaneBlock::STATE_SPECIAL_1);  // interior
    kGrid.AddSpecial(1, COrvaneBlock::STATE_SPECIAL_2);  // border
    kGrid.AddSpecial(13, COrvaneBlock::STATE_SPECIAL_1); // not covered
    Named kBed("bed");
    EXPECT_EQ(kGrid.OccupyArea(1, &kBed, 2, 2, false), 1);
    EXPECT_EQ(kGrid.GetBlock(6)->GetState(), COrvaneBlock::STATE_FREE);
    EXPECT_EQ(kGrid.GetBlock(6)->GetMark(), 0u);
    EXPECT_EQ(kGrid.GetBlock(1)->GetState(), COrvaneBlock::STATE_SPECIAL_2);
    EXPECT_EQ(kGrid.GetBlock(1)->GetMark(), COrvaneBlock::MARK_COVERED);
    EXPECT_EQ(kGrid.GetSpecialCount(), 2);
    EXPECT_EQ(kGrid.GetSpecialCells(), (std::list<std::int32_t>{1, 13}));
    for (std::int32_t iCell : {1, 2, 6, 7})
        EXPECT_EQ(kGrid.GetBlock(iCell)->GetOccupant(), &kBed);
    EXPECT_TRUE(kGrid.GetBlock(7)->IsOccupied("be"));
    EXPECT_FALSE(kGrid.GetBlock(7)->IsOccupied("chair"));
    EXPECT_FALSE(kGrid.IsAreaFree(2, 1, 1, true));

    EXPECT_EQ(kGrid.OccupyArea(12, &kBed, 1, 2, true), 1);
    EXPECT_EQ(kGrid.GetBlock(12)->GetState(), COrvaneBlock::STATE_BLOCKING);
    EXPECT_EQ(kGrid.GetBlock(13)->GetState(), COrvaneBlock::STATE_BLOCKING);
    EXPECT_EQ(kGrid.GetSpecialCount(), 1);

    EXPECT_EQ(kGrid.ClearArea(12, 1, 2, true, 0), 1);
    EXPECT_EQ(kGrid.GetBlock(13)->GetState(), COrvaneBlock::STATE_FREE);
    EXPECT_EQ(kGrid.GetBlock(13)->GetOccupant(), nullptr);
    EXPECT_EQ(kGrid.ClearArea(4, 1, 2, true, 0), 0);
}

TEST_F(COrvaneBlockGridTest, HostileAreasTouchOnlyCellsOnTheGrid)
{
    COrvaneBlockGrid kGrid;
    kGrid.Setup(3, 3, NiVec3::ZERO, 1, 1);
    Named kThing("thing");
    for (auto [iCell, iRows, iCols] : {std::tuple{-4, 3, 3}, std::tuple{7, 5, 5}, std::tuple{INT_MAX, 2, 2},
                                       std::tuple{INT_MIN, 2, 2}, std::tuple{0, INT_MAX, INT_MAX}})
    {
        EXPECT_EQ(kGrid.OccupyArea(iCell, &kThing, iRows, iCols, true), 1);
        EXPECT_EQ(kGrid.OccupyAreaChecked(iCell, &kThing, iRows, iCols, true), 0);
        EXPECT_FALSE(kGrid.IsAreaValid(iCell, iRows, iCols, true));
        EXPECT_EQ(kGrid.SetAreaState(iCell, iRows, iCols, 2, true), 0);
    }
    // -4 + 3 i + j lands on cells 0-4 for i = 1, 2; the second area on 7, 8.
    EXPECT_EQ(kGrid.GetBlock(2)->GetOccupant(), &kThing);
    EXPECT_EQ(kGrid.GetBlock(8)->GetState(), COrvaneBlock::STATE_BLOCKING);
}

TEST_F(COrvaneBlockGridTest, RectangleStateStaysInsideTheGrid)
{
    COrvaneBlockGrid kGrid;
    kGrid.Setup(4, 5, NiVec3::ZERO, 1, 1);
    Named kThing("thing");
    kGrid.OccupyArea(12, &kThing, 1, 1, false);
    EXPECT_EQ(kGrid.SetRectangleState(-1, 3, 2, false), 0);
    EXPECT_EQ(kGrid.SetRectangleState(18, 6, 2, true), 1); // rows 3..1, columns 3..1
    for (std::int32_t iCell = 0; iCell < 20; ++iCell)
    {
        std::int32_t iRow = iCell / 5, iColumn = iCell % 5;
        bool bInside = iRow >= 1 && iRow <= 3 && iColumn >= 1 && iColumn <= 3 && iCell != 12;
        EXPECT_EQ(kGrid.GetBlock(iCell)->GetState(), bInside ? 2 : 0) << iCell;
    }
    EXPECT_EQ(kGrid.SetRectangleState(12, 12, 3, true), 0);
    EXPECT_EQ(kGrid.SetRectangleState(12, 12, 3, false), 1);
    EXPECT_EQ(kGrid.GetBlock(12)->GetState(), 3);
    // A corner off the grid gives column -1 lines, which must not land on
    // the previous row's last cell.
    EXPECT_EQ(kGrid.SetRectangleState(0, 99, 1, false), 1);
    EXPECT_EQ(kGrid.GetBlock(0)->GetState(), 1);
    EXPECT_EQ(kGrid.GetBlock(4)->GetState(), 0);
}

TEST_F(COrvaneBlockGridTest, LeavingACellFollowsTheCornerRule)
{
    COrvaneBlockGrid kGrid;
    kGrid.Setup(5, 5, NiVec3::ZERO, 1, 1);
    const std::int32_t iCentre = 12;
    for (int iDirection = 0; iDirection < 8; ++iDirection)
        EXPECT_TRUE(kGrid.CanLeaveCell(iDirection, iCentre)) << iDirection;
    EXPECT_FALSE(kGrid.CanLeaveCell(8, iCentre));
    EXPECT_FALSE(kGrid.CanLeaveCell(-1, iCentre));

    // Blocking the next column (cell 13) closes 0, 1 and 7 but not 2 or 6.
    kGrid.GetBlock(13)->SetState(COrvaneBlock::STATE_BLOCKING);
    EXPECT_FALSE(kGrid.CanLeaveCell(0, iCentre));
    EXPECT_FALSE(kGrid.CanLeaveCell(1, iCentre));
    EXPECT_FALSE(kGrid.CanLeaveCell(7, iCentre));
    EXPECT_TRUE(kGrid.CanLeaveCell(2, iCentre));
    EXPECT_TRUE(kGrid.CanLeaveCell(3, iCentre));
    // State 3 (a marker) is still walkable.
    kGrid.GetBlock(13)->SetState(COrvaneBlock::STATE_MARKER);
    EXPECT_TRUE(kGrid.CanLeaveCell(1, iCentre));
    // Only the diagonal blocked: its own move closes.
    kGrid.GetBlock(18)->SetState(COrvaneBlock::STATE_BLOCKING);
    EXPECT_FALSE(kGrid.CanLeaveCell(1, iCentre));
    EXPECT_TRUE(kGrid.CanLeaveCell(0, iCentre));

    // Border cells: never outward, along the border while walkable.
    EXPECT_FALSE(kGrid.CanLeaveCell(4, 0));
    EXPECT_FALSE(kGrid.CanLeaveCell(6, 0));
    EXPECT_FALSE(kGrid.CanLeaveCell(5, 0));
    EXPECT_FALSE(kGrid.CanLeaveCell(0, 4)); // last column does not wrap
    EXPECT_FALSE(kGrid.CanLeaveCell(1, 4));
    EXPECT_TRUE(kGrid.CanLeaveCell(0, 0));
    EXPECT_TRUE(kGrid.CanLeaveCell(2, 4));
    EXPECT_FALSE(kGrid.CanLeaveCell(2, 24));
    EXPECT_FALSE(kGrid.CanLeaveCell(0, 25));
}

TEST_F(COrvaneBlockGridTest, RowAndColumnAnswerAsRowOfAndColumnOf)
{
    COrvaneBlockGrid kGrid;
    std::int32_t iRow = 0, iColumn = 0;
    // Without blocks every cell is invalid.
    kGrid.RowAndColumn(0, iRow, iColumn);
    EXPECT_EQ(iRow, -1);
    EXPECT_EQ(iColumn, -1);
    kGrid.Setup(4, 7, NiVec3::ZERO, 1, 1);
    for (std::int32_t iCell = -3; iCell < kGrid.GetCellCount() + 3; ++iCell)
    {
        SCOPED_TRACE(iCell);
        kGrid.RowAndColumn(iCell, iRow, iColumn);
        EXPECT_EQ(iRow, kGrid.RowOf(iCell, true));
        EXPECT_EQ(iColumn, kGrid.ColumnOf(iCell, true));
    }
}

namespace
{
class NoEastGrid : public COrvaneBlockGrid
{
public:
    bool AllowMove(int iDirection, std::int32_t) const override { return iDirection != 2; }
};
} // namespace

TEST_F(COrvaneBlockGridTest, AllowMoveHasTheLastWord)
{
    NoEastGrid kGrid;
    kGrid.Setup(3, 3, NiVec3::ZERO, 1, 1);
    EXPECT_FALSE(kGrid.CanLeaveCell(2, 4));
    EXPECT_TRUE(kGrid.CanLeaveCell(1, 4));
    // All eight at once ask it too: the centre of an open 3 x 3 grid may go
    // every way but the one refused.
    EXPECT_EQ(kGrid.LeavableDirections(4), 0xFF & ~(1u << 2));
    EXPECT_EQ(kGrid.LeavableDirections(-1), 0u);
    EXPECT_EQ(kGrid.LeavableDirections(9), 0u);
}

TEST_F(COrvaneBlockGridTest, MarkersAreFoundRemovedAndFreed)
{
    // What the markers point at outlives the grid that frees them.
    Owner kA(5), kB(9);
    int iDeleted = 0;
    COrvaneBlockGrid kGrid;
    kGrid.Setup(4, 4, NiVec3::ZERO, 1, 1);
    EXPECT_EQ(kGrid.RandomMarker(), nullptr);
    EXPECT_EQ(kGrid.FindMarker(-1), nullptr);
    kGrid.AddMarker(Marker(NiVec3(0.0f, 0.0f, 0.0f), &kA, iDeleted));      // cell 0
    kGrid.AddMarker(Marker(NiVec3(1.0f, 0.0f, 0.0f), &kA, iDeleted));      // cell 4
    kGrid.AddMarker(Marker(NiVec3(2.0f, 0.0f, -1.0f), &kB, iDeleted));     // cell 9
    kGrid.AddMarker(Marker(NiVec3(50.0f, 0.0f, 0.0f), &kA, iDeleted));     // off the grid
    EXPECT_EQ(kGrid.GetBlock(0)->GetState(), COrvaneBlock::STATE_MARKER);
    EXPECT_EQ(kGrid.GetBlock(4)->GetState(), COrvaneBlock::STATE_MARKER);
    EXPECT_EQ(kGrid.GetBlock(9)->GetState(), COrvaneBlock::STATE_MARKER);
    EXPECT_EQ(kGrid.FindMarker(9)->m_pkOwner, &kB);
    EXPECT_EQ(kGrid.FindMarker(5), kGrid.GetMarkers()[0].get());
    EXPECT_EQ(kGrid.FindMarker(6), nullptr);
    ASSERT_NE(kGrid.FindMarker(-3), nullptr);

    // Adjacent records of one owner, and the off-grid last one.
    kGrid.RemoveMarkersOfOwner(&kA);
    EXPECT_EQ(iDeleted, 3);
    ASSERT_EQ(kGrid.GetMarkers().size(), 1u);
    EXPECT_EQ(kGrid.GetBlock(0)->GetState(), COrvaneBlock::STATE_FREE);
    EXPECT_EQ(kGrid.GetBlock(4)->GetState(), COrvaneBlock::STATE_FREE);
    kGrid.RemoveMarker(kGrid.GetMarkers()[0].get());
    EXPECT_EQ(iDeleted, 4);
    EXPECT_TRUE(kGrid.GetMarkers().empty());
    EXPECT_EQ(kGrid.GetBlock(9)->GetState(), COrvaneBlock::STATE_FREE);

    COrvaneGridMarker kStranger;
    kGrid.RemoveMarker(&kStranger); // not held: nothing happens
    kGrid.AddMarker(Marker(NiVec3::ZERO, &kB, iDeleted));
    kGrid.Destroy();
    EXPECT_EQ(iDeleted, 5);
}

TEST_F(COrvaneBlockGridTest, RandomMarkerFollowsTheProjectRandomSource)
{
    Owner kA(1);
    int iDeleted = 0;
    COrvaneBlockGrid kGrid;
    kGrid.Setup(4, 4, NiVec3::ZERO, 1, 1);
    for (int i = 0; i < 3; ++i)
        kGrid.AddMarker(Marker(NiVec3(static_cast<float>(i), 0.0f, 0.0f), &kA, iDeleted));
    NiSeedRandom(77);
    std::vector<int> kExpected;
    for (int i = 0; i < 20; ++i)
        kExpected.push_back(NiRand() % 3);
    NiSeedRandom(77);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(kGrid.RandomMarker(), kGrid.GetMarkers()[static_cast<std::size_t>(kExpected[i])].get());
}

TEST_F(COrvaneBlockGridTest, BuildSplinePadsWithTheLastCell)
{
    COrvaneBlockGrid kGrid;
    kGrid.Setup(4, 4, NiVec3(1.0f, 2.0f, 3.0f), 2, 1);
    auto pkSpline = kGrid.BuildSpline({0, 5}, 0);
    ASSERT_NE(pkSpline, nullptr);
    const std::vector<NiVec3>& kPoints = pkSpline->GetPoints();
    ASSERT_EQ(kPoints.size(), 4u);
    EXPECT_EQ(kPoints[0], NiVec3(1.0f, 2.0f, 3.0f));
    EXPECT_EQ(kPoints[1], NiVec3(3.0f, 2.0f, 1.0f));
    EXPECT_EQ(kPoints[2], kPoints[1]);
    EXPECT_EQ(kPoints[3], kPoints[1]);

    auto pkSix = kGrid.BuildSpline({0, 1, 2, 3, 7, 11, 15, 14}, 6);
    ASSERT_NE(pkSix, nullptr);
    EXPECT_EQ(pkSix->GetPointCount(), 6u);
    NiVec3 kSeventh;
    kGrid.CellPosition(7, kSeventh, true);
    EXPECT_EQ(pkSix->GetPoints()[4], kSeventh);

    EXPECT_EQ(kGrid.BuildSpline({}, 4), nullptr);
    EXPECT_EQ(kGrid.BuildSpline({0, 99}, 4), nullptr);
}

TEST_F(COrvaneBlockGridTest, BlockStateSavesAndLoadsAsCommaFields)
{
    COrvaneBlock kSaved;
    kSaved.SetState(4);
    {
        COrvaneFile kFile;
        ASSERT_EQ(kFile.Open("blocks.txt", COrvaneFile::MODE_WRITE), 1);
        EXPECT_EQ(kSaved.Save(kFile), 1);
        kFile.WriteString(",");
        kSaved.SetState(-2);
        EXPECT_EQ(kSaved.Save(kFile), 1);
        kFile.Close();
    }
    EXPECT_EQ(ReadFileBytes(Folder() / "blocks.txt"), "4,-2");
    COrvaneFile kFile;
    ASSERT_EQ(kFile.Open("blocks.txt", COrvaneFile::MODE_READ), 1);
    COrvaneBlock kLoaded;
    EXPECT_EQ(kLoaded.Load(kFile), 1);
    EXPECT_EQ(kLoaded.GetState(), 4);
    EXPECT_TRUE(kLoaded.IsWalkable() == false);
    EXPECT_EQ(kLoaded.Load(kFile), 1);
    EXPECT_EQ(kLoaded.GetState(), -2);
    EXPECT_TRUE(kLoaded.IsWalkable()); // signed comparison
}

TEST_F(COrvaneBlockGridTest, StackRefusesFloorZeroAndSkipsMissingFloors)
{
    COrvaneBlockGridStack kStack;
    auto MakeGrid = [](std::int32_t iId) {
        auto pkGrid = std::make_unique<COrvaneBlockGrid>();
        pkGrid->Setup(2, 2, NiVec3::ZERO, 1, iId);
        return pkGrid;
    };
    EXPECT_FALSE(kStack.Build(MakeGrid(10), 0));
    EXPECT_FALSE(kStack.Build(MakeGrid(10), -3));
    EXPECT_EQ(kStack.GetFloorSlots(), 0u);
    EXPECT_TRUE(kStack.Build(MakeGrid(1), 1));
    EXPECT_EQ(kStack.NextFloor(), nullptr);
    EXPECT_EQ(kStack.PreviousFloor(), nullptr);
    EXPECT_EQ(kStack.GetCurrentFloor()->GetId(), 1);

    EXPECT_TRUE(kStack.Build(MakeGrid(3), 3));
    EXPECT_EQ(kStack.GetFloorSlots(), 3u);
    EXPECT_EQ(kStack.FindFloor(3)->GetId(), 3);
    EXPECT_EQ(kStack.FindFloor(2), nullptr);
    COrvaneBlockGrid* pkNext = kStack.NextFloor();
    ASSERT_NE(pkNext, nullptr);
    EXPECT_EQ(pkNext->GetId(), 3);
    EXPECT_EQ(kStack.NextFloor(), nullptr);
    EXPECT_EQ(kStack.PreviousFloor()->GetId(), 1);
    kStack.ReleaseFloors();
    EXPECT_EQ(kStack.GetCurrentFloor(), nullptr);
}

namespace
{
// A block with walls of its own: its side tests answer on more than the
// state, so it reports each change.
class WalledBlock : public COrvaneBlock
{
public:
    bool IsClosedTowardNextColumn() const override { return (m_uiWalls & 1u) != 0; }
    bool IsClosedTowardPreviousColumn() const override { return (m_uiWalls & 2u) != 0; }
    bool IsClosedTowardNextRow() const override { return (m_uiWalls & 4u) != 0; }
    bool IsClosedTowardPreviousRow() const override { return (m_uiWalls & 8u) != 0; }
    void SetWalls(std::uint32_t uiWalls)
    {
        m_uiWalls = uiWalls;
        PassageChanged();
    }

private:
    std::uint32_t m_uiWalls = 0;
};

class WalledGrid : public COrvaneBlockGrid
{
public:
    std::unique_ptr<COrvaneBlock> CreateBlock() override { return std::make_unique<WalledBlock>(); }
};

// The step test asked of the blocks themselves, as the rule reads.
bool StepByTheBlocks(const COrvaneBlockGrid& kGrid, int iDirection, std::int32_t iCell)
{
    const std::int32_t iW = kGrid.GetColumns(), iRow = iCell / iW, iCol = iCell % iW;
    const COrvaneBlock* pkFrom = kGrid.GetBlock(iCell);
    const std::int32_t iDc = (iDirection == 0 || iDirection == 1 || iDirection == 7)   ? 1
                             : (iDirection == 3 || iDirection == 4 || iDirection == 5) ? -1
                                                                                       : 0;
    const std::int32_t iDr = (iDirection >= 1 && iDirection <= 3) ? 1 : (iDirection >= 5) ? -1 : 0;
    if (iCol + iDc < 0 || iCol + iDc >= iW || iRow + iDr < 0 || iRow + iDr >= kGrid.GetRows())
        return false;
    if (iDc != 0 && (iDc > 0 ? pkFrom->IsClosedTowardNextColumn() : pkFrom->IsClosedTowardPreviousColumn()))
        return false;
    if (iDr != 0 && (iDr > 0 ? pkFrom->IsClosedTowardNextRow() : pkFrom->IsClosedTowardPreviousRow()))
        return false;
    if (iDc != 0 && iDr != 0)
    {
        const COrvaneBlock* pkDiagonal = kGrid.GetBlock(iCell + iDr * iW + iDc);
        if (iDc > 0 ? pkDiagonal->IsClosedTowardPreviousColumn() : pkDiagonal->IsClosedTowardNextColumn())
            return false;
        if (iDr > 0 ? pkDiagonal->IsClosedTowardPreviousRow() : pkDiagonal->IsClosedTowardNextRow())
            return false;
        return kGrid.GetBlock(iCell + iDc)->IsWalkable() && kGrid.GetBlock(iCell + iDr * iW)->IsWalkable() &&
               pkDiagonal->IsWalkable();
    }
    return kGrid.GetBlock(iCell + iDr * iW + iDc)->IsWalkable();
}

void ExpectStepsAsTheBlocksSay(const COrvaneBlockGrid& kGrid, int iRound)
{
    for (std::int32_t iCell = 0; iCell < kGrid.GetCellCount(); ++iCell)
    {
        // Asked one direction at a time and all eight at once, in either
        // order (each question may fill the copy of the blocks' answers).
        const bool bMaskFirst = (iCell + iRound) % 2 == 0;
        const std::uint8_t ucBefore = bMaskFirst ? kGrid.LeavableDirections(iCell) : 0;
        for (int iDirection = 0; iDirection < 8; ++iDirection)
        {
            const bool bStep = StepByTheBlocks(kGrid, iDirection, iCell);
            ASSERT_EQ(kGrid.CanLeaveCell(iDirection, iCell), bStep)
                << "round " << iRound << ", cell " << iCell << ", direction " << iDirection;
            const std::uint8_t ucMask = bMaskFirst ? ucBefore : kGrid.LeavableDirections(iCell);
            ASSERT_EQ(((ucMask >> iDirection) & 1u) != 0, bStep)
                << "round " << iRound << ", cell " << iCell << ", direction " << iDirection << " (all at once)";
        }
    }
}
} // namespace

// The grid answers steps from a copy of its blocks' answers: every way a
// block's answer can change must reach it, between any two questions.
TEST_F(COrvaneBlockGridTest, StepsFollowEveryChangeOfTheBlocks)
{
    WalledGrid kGrid;
    kGrid.Setup(6, 7, NiVec3::ZERO, 1, 1);
    const std::int32_t iCells = kGrid.GetCellCount();
    std::vector<std::unique_ptr<COrvaneBlock>> kTakenOut;
    int iKinds[6] = {};
    for (int iRound = 0; iRound < 400; ++iRound)
    {
        const std::int32_t iCell = NiRand() % iCells;
        const int iKind = NiRand() % 6;
        ++iKinds[iKind];
        COrvaneBlock* pkBlock = kGrid.GetBlock(iCell);
        switch (iKind)
        {
        case 0: pkBlock->SetState(NiRand() % 3 == 0 ? COrvaneBlock::STATE_BLOCKING : COrvaneBlock::STATE_FREE); break;
        case 1: pkBlock->Reset(); break;
        case 2: pkBlock->Destroy(); break;
        case 3:
            if (auto* pkWalled = dynamic_cast<WalledBlock*>(pkBlock))
                pkWalled->SetWalls(static_cast<std::uint32_t>(NiRand() % 16));
            break;
        case 4: kGrid.SetRectangleState(iCell, NiRand() % iCells, NiRand() % 5, false); break;
        case 5:
        {
            // Another block put in the slot; the old one leaves the grid and
            // is changed afterwards, which must not reach the grid.
            std::unique_ptr<COrvaneBlock>* pkSlot = kGrid.GetBlockSlot(iCell);
            ASSERT_NE(pkSlot, nullptr);
            auto pkNew = std::make_unique<WalledBlock>();
            pkNew->SetWalls(static_cast<std::uint32_t>(NiRand() % 16));
            if (NiRand() % 2)
                pkNew->SetState(COrvaneBlock::STATE_BLOCKING);
            kTakenOut.push_back(std::move(*pkSlot));
            *pkSlot = std::move(pkNew);
            kTakenOut.back()->SetState(COrvaneBlock::STATE_FREE);
            break;
        }
        }
        ExpectStepsAsTheBlocksSay(kGrid, iRound);
        // A block in a slot handed out still counts when changed later.
        if (iKind == 5)
        {
            kGrid.GetBlock(iCell)->SetState(COrvaneBlock::STATE_BLOCKING);
            ExpectStepsAsTheBlocksSay(kGrid, iRound);
        }
    }
    for (int iKind = 0; iKind < 6; ++iKind)
        EXPECT_GT(iKinds[iKind], 20) << iKind;

    // Set up anew: fresh blocks, nothing of the old answers kept.
    kGrid.GetBlock(3)->SetState(COrvaneBlock::STATE_BLOCKING);
    EXPECT_FALSE(kGrid.CanLeaveCell(0, 2));
    kGrid.Setup(6, 7, NiVec3::ZERO, 1, 1);
    EXPECT_TRUE(kGrid.CanLeaveCell(0, 2));
    ExpectStepsAsTheBlocksSay(kGrid, -1);
}

// A block taken out of its grid outlives it and may still be changed.
TEST_F(COrvaneBlockGridTest, ABlockTakenOutOutlivesItsGrid)
{
    std::unique_ptr<COrvaneBlock> pkKept;
    std::unique_ptr<COrvaneBlock> pkCopyKept;
    {
        COrvaneBlockGrid kGrid;
        kGrid.Setup(3, 3, NiVec3::ZERO, 1, 1);
        EXPECT_TRUE(kGrid.CanLeaveCell(0, 3)); // the answers of 3 and 4 are read and kept
        pkCopyKept = std::make_unique<COrvaneBlock>(*kGrid.GetBlock(4));
        pkKept = std::move(*kGrid.GetBlockSlot(4));
        *kGrid.GetBlockSlot(4) = std::make_unique<COrvaneBlock>();
        pkKept->SetState(COrvaneBlock::STATE_BLOCKING);
        EXPECT_TRUE(kGrid.CanLeaveCell(0, 3));
        pkCopyKept->SetState(COrvaneBlock::STATE_BLOCKING);
        EXPECT_TRUE(kGrid.CanLeaveCell(0, 3));
        kGrid.GetBlock(4)->SetState(COrvaneBlock::STATE_BLOCKING);
        EXPECT_FALSE(kGrid.CanLeaveCell(0, 3));
    }
    // Under the sanitizers: neither block reaches back into the freed grid.
    pkKept->SetState(COrvaneBlock::STATE_FREE);
    pkCopyKept->Reset();
    EXPECT_TRUE(pkKept->IsWalkable());
}

// A state loaded from a file counts like one set.
TEST_F(COrvaneBlockGridTest, LoadedBlockStatesReachTheSteps)
{
    {
        COrvaneFile kFile;
        ASSERT_EQ(kFile.Open("states.txt", COrvaneFile::MODE_WRITE), 1);
        kFile.WriteString("4,0,");
        kFile.Close();
    }
    COrvaneBlockGrid kGrid;
    kGrid.Setup(3, 3, NiVec3::ZERO, 1, 1);
    EXPECT_TRUE(kGrid.CanLeaveCell(0, 4));
    COrvaneFile kFile;
    ASSERT_EQ(kFile.Open("states.txt", COrvaneFile::MODE_READ), 1);
    EXPECT_EQ(kGrid.GetBlock(5)->Load(kFile), 1);
    EXPECT_FALSE(kGrid.CanLeaveCell(0, 4));
    EXPECT_FALSE(kGrid.CanLeaveCell(1, 4));
    EXPECT_EQ(kGrid.GetBlock(5)->Load(kFile), 1);
    EXPECT_TRUE(kGrid.CanLeaveCell(0, 4));
}
