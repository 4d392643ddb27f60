#include "framework/COrvaneAStar.h"

#include "engine/core/NiRandom.h"
#include "framework/COrvaneBlock.h"
#include "framework/COrvaneBlockGrid.h"
#include "framework/COrvanePathSpline.h"
#include "tests/framework/FrameworkTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <random>
#include <utility>

namespace
{
class COrvaneAStarTest : public FrameworkTest
{
protected:
    void SetUp() override
    {
        FrameworkTest::SetUp();
        NiResetRandom();
    }

    static std::int32_t RunToEnd(COrvaneAStar& kFinder)
    {
        std::int32_t iState = kFinder.GetState();
        do
            iState = kFinder.SearchStep();
        while (iState == COrvaneAStar::STATE_SEARCHING || iState == COrvaneAStar::STATE_STARTED);
        return iState;
    }

    // The walls of a test grid, blocking state 4.
    static void Block(COrvaneBlockGrid& kGrid, std::initializer_list<std::int32_t> kCells)
    {
        for (std::int32_t iCell : kCells)
            kGrid.GetBlock(iCell)->SetState(COrvaneBlock::STATE_BLOCKING);
    }

    // A seeded grid of n x n cells with about a quarter blocking; the start
    // and goal corners are kept free.
    static void SeededGrid(COrvaneBlockGrid& kGrid, std::int32_t iSize, std::uint32_t uiSeed)
    {
        kGrid.Setup(iSize, iSize, NiVec3::ZERO, 1, 1);
        NiSeedRandom(uiSeed);
        for (std::int32_t iCell = 0; iCell < iSize * iSize; ++iCell)
            if (NiRand() % 4 == 0)
                kGrid.GetBlock(iCell)->SetState(COrvaneBlock::STATE_BLOCKING);
        kGrid.GetBlock(0)->SetState(0);
        kGrid.GetBlock(iSize * iSize - 1)->SetState(0);
    }
};

// The search the plain way, without the finder's cell index: linear scans of
// the open list from its front and of the closed list from its back, the
// same heap moves.
struct ReferenceResult
{
    std::int32_t iState = 0;
    std::uint32_t uiSteps = 0;
    std::vector<std::int32_t> kPath;
};

ReferenceResult ReferenceSearch(const COrvaneBlockGrid& kGrid, std::int32_t iStart, std::int32_t iGoal)
{
    struct Node
    {
        std::int32_t iCell;
        Node* pkParent;
        std::uint32_t uiF, uiG;
    };
    std::vector<std::unique_ptr<Node>> kNodes;
    auto Make = [&](std::int32_t iCell) {
        kNodes.push_back(std::make_unique<Node>(Node{iCell, nullptr, 0, 0}));
        return kNodes.back().get();
    };
    auto H = [&](std::int32_t iCell) {
        return static_cast<std::uint32_t>(std::abs(kGrid.RowOf(iCell, true) - kGrid.RowOf(iGoal, true)) +
                                          std::abs(kGrid.ColumnOf(iCell, true) - kGrid.ColumnOf(iGoal, true)));
    };
    auto Greater = [](const Node* a, const Node* b) { return a->uiF > b->uiF; };
    std::vector<std::uint8_t> kVisited(static_cast<std::size_t>(kGrid.GetCellCount()));
    std::vector<Node*> kOpen, kClosed;
    Node* pkStart = Make(iStart);
    pkStart->uiF = H(iStart);
    kOpen.push_back(pkStart);
    kVisited[static_cast<std::size_t>(iStart)] = 1;
    ReferenceResult kResult;
    for (;;)
    {
        if (kOpen.empty())
        {
            kResult.iState = 3;
            return kResult;
        }
        if (kClosed.size() > kVisited.size() / 2)
        {
            kResult.iState = 7;
            return kResult;
        }
        ++kResult.uiSteps;
        std::pop_heap(kOpen.begin(), kOpen.end(), Greater);
        Node* pkNode = kOpen.back();
        kOpen.pop_back();
        if (pkNode->iCell == iGoal)
        {
            for (Node* p = pkNode; p; p = p->pkParent)
                kResult.kPath.insert(kResult.kPath.begin(), p->iCell);
            kResult.iState = 8;
            return kResult;
        }
        for (int d = 0; d < 8; ++d)
        {
            if (!kGrid.CanLeaveCell(d, pkNode->iCell))
                continue;
            std::int32_t iCell = pkNode->iCell + COrvaneBlockGrid::DirectionOffset(d, kGrid.GetColumns());
            std::uint32_t uiG = pkNode->uiG + 1;
            auto kOpenIt = kOpen.end();
            auto kClosedIt = kClosed.end();
            if (kVisited[static_cast<std::size_t>(iCell)] == 1)
            {
                kOpenIt = std::find_if(kOpen.begin(), kOpen.end(), [&](Node* n) { return n->iCell == iCell; });
                if (kOpenIt != kOpen.end() && (*kOpenIt)->uiG <= uiG)
                    continue;
            }
            else if (kVisited[static_cast<std::size_t>(iCell)] == 2)
            {
                auto kBack = std::find_if(kClosed.rbegin(), kClosed.rend(), [&](Node* n) { return n->iCell == iCell; });
                if (kBack != kClosed.rend())
                {
                    if ((*kBack)->uiG <= uiG)
                        continue;
                    kClosedIt = std::next(kBack).base();
                }
            }
            Node* pkSuccessor = Make(iCell);
            pkSuccessor->pkParent = pkNode;
            pkSuccessor->uiG = uiG;
            pkSuccessor->uiF = uiG + H(iCell);
            if (kClosedIt != kClosed.end())
                kClosed.erase(kClosedIt);
            if (kOpenIt != kOpen.end())
            {
                kOpen.erase(kOpenIt);
                if (kOpen.size() > 1)
                    std::make_heap(kOpen.begin(), kOpen.end(), Greater);
            }
            kOpen.push_back(pkSuccessor);
            std::push_heap(kOpen.begin(), kOpen.end(), Greater);
            kVisited[static_cast<std::size_t>(iCell)] = 1;
        }
        kClosed.push_back(pkNode);
        kVisited[static_cast<std::size_t>(pkNode->iCell)] = 2;
    }
}
} // namespace

TEST_F(COrvaneAStarTest, StepBeforeAnySearchAnswersFive)
{
    COrvaneAStar kFinder;
    kFinder.Init(nullptr);
    EXPECT_EQ(kFinder.SearchStep(), COrvaneAStar::STATE_NO_SEARCH);
    EXPECT_EQ(kFinder.GetState(), COrvaneAStar::STATE_NO_SEARCH);
    std::vector<std::int32_t> kCells{42};
    EXPECT_EQ(kFinder.GetPath(kCells, false), 0u);
    EXPECT_TRUE(kCells.empty());
}

TEST_F(COrvaneAStarTest, StartEqualToGoalSucceedsOnTheFirstStep)
{
    COrvaneBlockGrid kGrid;
    kGrid.Setup(5, 5, NiVec3::ZERO, 1, 1);
    COrvaneAStar kFinder;
    kFinder.Init(&kGrid);
    kFinder.StartSearch(12, 12, &kGrid, 77);
    EXPECT_EQ(kFinder.GetState(), COrvaneAStar::STATE_STARTED);
    EXPECT_EQ(kFinder.SearchStep(), COrvaneAStar::STATE_FOUND);
    EXPECT_EQ(kFinder.GetSteps(), 1u);
    EXPECT_EQ(kFinder.GetPathLength(), 1u);
    EXPECT_EQ(kFinder.GetTag(), 77);
    std::vector<std::int32_t> kCells{3};
    EXPECT_EQ(kFinder.GetPath(kCells, true), 1u);
    EXPECT_EQ(kCells, (std::vector<std::int32_t>{3, 12}));
}

TEST_F(COrvaneAStarTest, EnclosedGoalFailsByEmptyOpenListOrByTheClosedLimit)
{
    // Small: the start's side holds few cells, so the open list runs dry.
    COrvaneBlockGrid kSmall;
    kSmall.Setup(5, 5, NiVec3::ZERO, 1, 1);
    Block(kSmall, {2, 7, 10, 11, 12});
    COrvaneAStar kFinder;
    kFinder.StartSearch(0, 24, &kSmall, 0);
    EXPECT_EQ(RunToEnd(kFinder), COrvaneAStar::STATE_OPEN_EMPTY);
    // Only the goal node is still out until the search is cleared.
    EXPECT_EQ(kFinder.GetPool()->GetFreeCount() + 1, kFinder.GetPool()->GetNodeCount());

    // Large: the goal is walled in and the start's side is most of the grid.
    COrvaneBlockGrid kLarge;
    kLarge.Setup(20, 20, NiVec3::ZERO, 1, 1);
    Block(kLarge, {17 * 20 + 17, 17 * 20 + 18, 17 * 20 + 19, 18 * 20 + 17, 19 * 20 + 17});
    kFinder.StartSearch(0, 399, &kLarge, 0);
    EXPECT_EQ(RunToEnd(kFinder), COrvaneAStar::STATE_GAVE_UP);
    EXPECT_EQ(kFinder.GetMapSize(), 400u);
    EXPECT_GE(kFinder.GetSteps(), 201u);
    EXPECT_EQ(kFinder.GetSteps(), ReferenceSearch(kLarge, 0, 399).uiSteps);
    kFinder.ClearVisited();
    EXPECT_EQ(kFinder.GetPool()->GetFreeCount(), kFinder.GetPool()->GetNodeCount());
}

TEST_F(COrvaneAStarTest, BadCellsOrNoGridPushNothing)
{
    COrvaneBlockGrid kGrid;
    kGrid.Setup(4, 4, NiVec3::ZERO, 1, 1);
    COrvaneAStar kFinder;
    for (auto [iStart, iGoal] : {std::pair{-1, 5}, std::pair{5, 16}, std::pair{100000, 3}})
    {
        kFinder.StartSearch(iStart, iGoal, &kGrid, 0);
        EXPECT_EQ(kFinder.SearchStep(), COrvaneAStar::STATE_OPEN_EMPTY);
    }
    kFinder.StartSearch(0, 5, nullptr, 0);
    EXPECT_EQ(kFinder.GetMapSize(), 0u);
    EXPECT_EQ(kFinder.SearchStep(), COrvaneAStar::STATE_OPEN_EMPTY);
    kFinder.ClearVisited();
    EXPECT_EQ(kFinder.GetPool()->GetFreeCount(), kFinder.GetPool()->GetNodeCount());
}

TEST_F(COrvaneAStarTest, CornerToCornerPathIsMadeOfAllowedSteps)
{
    COrvaneBlockGrid kOpen;
    kOpen.Setup(5, 5, NiVec3::ZERO, 1, 1);
    COrvaneAStar kOpenFinder;
    kOpenFinder.StartSearch(0, 24, &kOpen, 0);
    ASSERT_EQ(RunToEnd(kOpenFinder), COrvaneAStar::STATE_FOUND);
    std::vector<std::int32_t> kDiagonal;
    kOpenFinder.GetPath(kDiagonal, false);
    EXPECT_EQ(kDiagonal, (std::vector<std::int32_t>{0, 6, 12, 18, 24}));

    COrvaneBlockGrid kGrid;
    kGrid.Setup(5, 5, NiVec3::ZERO, 1, 1);
    Block(kGrid, {6, 12, 18});
    COrvaneAStar kFinder;
    kFinder.Init(&kGrid);
    kFinder.StartSearch(0, 24, &kGrid, 0);
    ASSERT_EQ(RunToEnd(kFinder), COrvaneAStar::STATE_FOUND);
    std::vector<std::int32_t> kPath;
    ASSERT_EQ(kFinder.GetPath(kPath, false), kFinder.GetPathLength());
    ASSERT_GE(kPath.size(), 5u);
    EXPECT_EQ(kPath.front(), 0);
    EXPECT_EQ(kPath.back(), 24);
    for (std::size_t i = 1; i < kPath.size(); ++i)
    {
        bool bAllowed = false;
        for (int d = 0; d < 8; ++d)
            bAllowed |= kPath[i] - kPath[i - 1] == COrvaneBlockGrid::DirectionOffset(d, 5) &&
                        kGrid.CanLeaveCell(d, kPath[i - 1]);
        EXPECT_TRUE(bAllowed) << kPath[i - 1] << " -> " << kPath[i];
    }
    auto pkSpline = kFinder.BuildPathSpline();
    ASSERT_NE(pkSpline, nullptr);
    NiVec3 kEnd;
    ASSERT_TRUE(pkSpline->GetEndPosition(kEnd));
    EXPECT_EQ(kEnd, NiVec3(4.0f, 0.0f, -4.0f));
}

TEST_F(COrvaneAStarTest, RestartOnALargerGridFollowsItsSize)
{
    COrvaneBlockGrid kSmall, kLarge;
    kSmall.Setup(3, 3, NiVec3::ZERO, 1, 1);
    kLarge.Setup(12, 10, NiVec3::ZERO, 1, 2);
    COrvaneAStar kFinder;
    kFinder.Init(&kSmall);
    EXPECT_EQ(kFinder.GetMapSize(), 9u);
    kFinder.StartSearch(0, 8, &kSmall, 0);
    EXPECT_EQ(RunToEnd(kFinder), COrvaneAStar::STATE_FOUND);
    kFinder.StartSearch(0, 119, &kLarge, 0);
    EXPECT_EQ(kFinder.GetMapSize(), 120u);
    EXPECT_EQ(RunToEnd(kFinder), COrvaneAStar::STATE_FOUND);
    // The same grid set up anew is measured again too.
    kSmall.Setup(6, 6, NiVec3::ZERO, 1, 1);
    kFinder.StartSearch(0, 35, &kSmall, 0);
    EXPECT_EQ(kFinder.GetMapSize(), 36u);
    EXPECT_EQ(RunToEnd(kFinder), COrvaneAStar::STATE_FOUND);
}

TEST_F(COrvaneAStarTest, PoolStaysFlatOverManySearches)
{
    COrvaneBlockGrid kGrid;
    SeededGrid(kGrid, 16, 3);
    COrvaneAStar kFinder;
    kFinder.Init(&kGrid);
    std::size_t uiNodesAfterWarmUp = 0;
    for (int i = 0; i < 10000; ++i)
    {
        std::int32_t iStart = (i * 37) % 256, iGoal = (i * 101 + 7) % 256;
        kFinder.StartSearch(iStart, iGoal, &kGrid, i);
        std::int32_t iState = RunToEnd(kFinder);
        std::vector<std::int32_t> kPath;
        if (iState == COrvaneAStar::STATE_FOUND)
            kFinder.GetPath(kPath, false);
        // Every other search is left for the next StartSearch to clear.
        if (i % 2 == 0)
            kFinder.ClearVisited();
        if (i == 100)
            uiNodesAfterWarmUp = kFinder.GetPool()->GetNodeCount();
    }
    kFinder.ClearVisited();
    EXPECT_EQ(kFinder.GetPool()->GetNodeCount(), uiNodesAfterWarmUp);
    EXPECT_EQ(kFinder.GetPool()->GetFreeCount(), kFinder.GetPool()->GetNodeCount());
}

TEST_F(COrvaneAStarTest, SeededGridsGiveTheDescribedPathsAndStepCounts)
{
    struct Pinned
    {
        std::uint32_t uiSeed;
        std::int32_t iState;
        std::uint32_t uiSteps;
        std::size_t uiLength;
    };
    // Checked against the list-scanning search below, and pinned so a change
    // of either shows.
    for (const Pinned& kPinned : {Pinned{11, 8, 102, 50}, Pinned{12, 8, 122, 52}, Pinned{13, 7, 1054, 0}})
    {
        SCOPED_TRACE(kPinned.uiSeed);
        COrvaneBlockGrid kGrid;
        SeededGrid(kGrid, 32, kPinned.uiSeed);
        ReferenceResult kReference = ReferenceSearch(kGrid, 0, 32 * 32 - 1);
        COrvaneAStar kFinder;
        kFinder.Init(&kGrid);
        kFinder.StartSearch(0, 32 * 32 - 1, &kGrid, 0);
        std::int32_t iState = RunToEnd(kFinder);
        std::vector<std::int32_t> kPath;
        kFinder.GetPath(kPath, false);
        EXPECT_EQ(iState, kReference.iState);
        EXPECT_EQ(kFinder.GetSteps(), kReference.uiSteps);
        EXPECT_EQ(kPath, kReference.kPath);
        EXPECT_EQ(iState, kPinned.iState);
        EXPECT_EQ(kFinder.GetSteps(), kPinned.uiSteps);
        EXPECT_EQ(kPath.size(), kPinned.uiLength);
    }
}

namespace
{
// Finders with the successor bugs a derived search could have.
class DoubleSuccessorFinder : public COrvaneAStar
{
public:
    // Hands the same fresh node over twice.
    int GenerateSuccessors(COrvaneAStarNode* pkNode, COrvaneAStarNode*) override
    {
        COrvaneAStarNode* pkSuccessor = NewNode();
        pkSuccessor->m_iCell = pkNode->m_iCell + 1;
        AddSuccessor(pkSuccessor);
        AddSuccessor(pkSuccessor);
        return 1;
    }
};

class SelfSuccessorFinder : public COrvaneAStar
{
public:
    // Hands back the node being expanded.
    int GenerateSuccessors(COrvaneAStarNode* pkNode, COrvaneAStarNode*) override
    {
        AddSuccessor(pkNode);
        return 1;
    }
};

template <class Finder>
std::int32_t FirstStep()
{
    COrvaneBlockGrid kGrid;
    kGrid.Setup(4, 4, NiVec3::ZERO, 1, 1);
    Finder kFinder;
    kFinder.Init(&kGrid);
    kFinder.StartSearch(0, 15, &kGrid, 0);
    return kFinder.SearchStep();
}
} // namespace

TEST_F(COrvaneAStarTest, ListBookkeepingBugsStopADebugBuild)
{
#ifdef NDEBUG
    GTEST_SKIP() << "asserts are compiled out";
#else
    // A listed node given back as a successor would be freed while a list
    // still holds it.
    EXPECT_DEATH(FirstStep<DoubleSuccessorFinder>(), "successor is a node already listed");
    EXPECT_DEATH(FirstStep<SelfSuccessorFinder>(), "successor is a node already listed");
    COrvaneAStar kFinder;
    kFinder.Init(nullptr);
    EXPECT_DEATH(kFinder.FreeNode(nullptr), "node pool asked to free null");
#endif
}

namespace
{
// Step costs for the order comparison: the system's 1 everywhere, or 0 to 3
// by cell, which gives many equal f values and many nodes reopened.
std::uint32_t UnitCost(std::int32_t)
{
    return 1;
}

std::uint32_t MixedCost(std::int32_t iCell)
{
    return static_cast<std::uint32_t>((iCell * 2654435761u) >> 30);
}

using CostFunction = std::uint32_t (*)(std::int32_t);

// What one search did: every expanded cell with the closed count before it
// closed, in order, then how it ended.
struct SearchTrace
{
    std::vector<std::pair<std::int32_t, std::uint32_t>> kExpanded;
    std::int32_t iState = 0;
    std::uint32_t uiSteps = 0;
    std::vector<std::int32_t> kPath;

    bool operator==(const SearchTrace&) const = default;
};

// The finder as first written, kept to hold the finder to its order: node
// pointers in a vector under the standard heap moves, the whole heap rebuilt
// after a removal, both lists searched linearly.
SearchTrace ClassicSearch(const COrvaneBlockGrid& kGrid, std::int32_t iStart, std::int32_t iGoal, CostFunction fnCost)
{
    struct Node
    {
        std::int32_t iCell;
        Node* pkParent;
        std::uint32_t uiF, uiG;
    };
    std::vector<std::unique_ptr<Node>> kNodes;
    auto Make = [&](std::int32_t iCell) {
        kNodes.push_back(std::make_unique<Node>(Node{iCell, nullptr, 0, 0}));
        return kNodes.back().get();
    };
    auto H = [&](std::int32_t iCell) {
        return static_cast<std::uint32_t>(std::abs(kGrid.RowOf(iCell, true) - kGrid.RowOf(iGoal, true)) +
                                          std::abs(kGrid.ColumnOf(iCell, true) - kGrid.ColumnOf(iGoal, true)));
    };
    auto Greater = [](const Node* a, const Node* b) { return a->uiF > b->uiF; };
    std::vector<std::uint8_t> kVisited(static_cast<std::size_t>(kGrid.GetCellCount()));
    std::vector<Node*> kOpen, kClosed;
    Node* pkStart = Make(iStart);
    pkStart->uiF = H(iStart);
    kOpen.push_back(pkStart);
    kVisited[static_cast<std::size_t>(iStart)] = 1;
    SearchTrace kTrace;
    for (;;)
    {
        if (kOpen.empty())
        {
            kTrace.iState = COrvaneAStar::STATE_OPEN_EMPTY;
            return kTrace;
        }
        if (kClosed.size() > kVisited.size() / 2)
        {
            kTrace.iState = COrvaneAStar::STATE_GAVE_UP;
            return kTrace;
        }
        ++kTrace.uiSteps;
        std::pop_heap(kOpen.begin(), kOpen.end(), Greater);
        Node* pkNode = kOpen.back();
        kOpen.pop_back();
        if (pkNode->iCell == iGoal)
        {
            for (Node* p = pkNode; p; p = p->pkParent)
                kTrace.kPath.insert(kTrace.kPath.begin(), p->iCell);
            kTrace.iState = COrvaneAStar::STATE_FOUND;
            return kTrace;
        }
        kTrace.kExpanded.emplace_back(pkNode->iCell, static_cast<std::uint32_t>(kClosed.size()));
        for (int d = 0; d < 8; ++d)
        {
            if (!kGrid.CanLeaveCell(d, pkNode->iCell))
                continue;
            std::int32_t iCell = pkNode->iCell + COrvaneBlockGrid::DirectionOffset(d, kGrid.GetColumns());
            std::uint32_t uiG = pkNode->uiG + fnCost(iCell);
            auto kOpenIt = kOpen.end();
            auto kClosedIt = kClosed.end();
            if (kVisited[static_cast<std::size_t>(iCell)] == 1)
            {
                kOpenIt = std::find_if(kOpen.begin(), kOpen.end(), [&](Node* n) { return n->iCell == iCell; });
                if (kOpenIt != kOpen.end() && (*kOpenIt)->uiG <= uiG)
                    continue;
            }
            else if (kVisited[static_cast<std::size_t>(iCell)] == 2)
            {
                auto kBack = std::find_if(kClosed.rbegin(), kClosed.rend(), [&](Node* n) { return n->iCell == iCell; });
                if (kBack != kClosed.rend())
                {
                    if ((*kBack)->uiG <= uiG)
                        continue;
                    kClosedIt = std::next(kBack).base();
                }
            }
            Node* pkSuccessor = Make(iCell);
            pkSuccessor->pkParent = pkNode;
            pkSuccessor->uiG = uiG;
            pkSuccessor->uiF = uiG + H(iCell);
            if (kClosedIt != kClosed.end())
                kClosed.erase(kClosedIt);
            if (kOpenIt != kOpen.end())
            {
                kOpen.erase(kOpenIt);
                if (kOpen.size() > 1)
                    std::make_heap(kOpen.begin(), kOpen.end(), Greater);
            }
            kOpen.push_back(pkSuccessor);
            std::push_heap(kOpen.begin(), kOpen.end(), Greater);
            kVisited[static_cast<std::size_t>(iCell)] = 1;
        }
        kClosed.push_back(pkNode);
        kVisited[static_cast<std::size_t>(pkNode->iCell)] = 2;
    }
}

// The finder with its expansions written down and a chosen step cost.
class TracingFinder : public COrvaneAStar
{
public:
    explicit TracingFinder(CostFunction fnCost) : m_fnCost(fnCost) {}

    int GenerateSuccessors(COrvaneAStarNode* pkNode, COrvaneAStarNode* pkParent) override
    {
        m_kExpanded.emplace_back(pkNode->m_iCell, GetClosedCount());
        return COrvaneAStar::GenerateSuccessors(pkNode, pkParent);
    }
    [[nodiscard]] std::uint32_t StepCost(const COrvaneAStarNode* pkSuccessor) const override
    {
        return m_fnCost(pkSuccessor->m_iCell);
    }

    CostFunction m_fnCost;
    std::vector<std::pair<std::int32_t, std::uint32_t>> m_kExpanded;
};
} // namespace

TEST_F(COrvaneAStarTest, RandomSearchesExpandInTheClassicHeapOrder)
{
    // Grids of many shapes and wall densities, both costs, one finder reused
    // over grids as a character does; every expansion, state, step count and
    // path must equal the classic finder's.
    std::mt19937 kRandom(20261207);
    int iFound = 0, iEmpty = 0, iGaveUp = 0, iReopenedOrder = 0;
    for (CostFunction fnCost : {&UnitCost, &MixedCost})
    {
        TracingFinder kFinder(fnCost);
        kFinder.Init(nullptr);
        for (int iGridIndex = 0; iGridIndex < 40; ++iGridIndex)
        {
            COrvaneBlockGrid kGrid;
            const std::int32_t iRows = 3 + static_cast<std::int32_t>(kRandom() % 38);
            const std::int32_t iColumns = 3 + static_cast<std::int32_t>(kRandom() % 38);
            kGrid.Setup(iRows, iColumns, NiVec3::ZERO, 1, 1);
            const std::uint32_t uiWalls = kRandom() % 45;
            for (std::int32_t iCell = 0; iCell < iRows * iColumns; ++iCell)
                if (kRandom() % 100 < uiWalls)
                    kGrid.GetBlock(iCell)->SetState(COrvaneBlock::STATE_BLOCKING);
            for (int iSearch = 0; iSearch < 8; ++iSearch)
            {
                const auto iStart = static_cast<std::int32_t>(kRandom() % static_cast<std::uint32_t>(iRows * iColumns));
                const auto iGoal = static_cast<std::int32_t>(kRandom() % static_cast<std::uint32_t>(iRows * iColumns));
                SCOPED_TRACE(testing::Message() << "grid " << iGridIndex << " " << iRows << "x" << iColumns
                                                << " search " << iStart << " to " << iGoal);
                SearchTrace kClassic = ClassicSearch(kGrid, iStart, iGoal, fnCost);

                kFinder.m_kExpanded.clear();
                kFinder.StartSearch(iStart, iGoal, &kGrid, iSearch);
                SearchTrace kTrace;
                kTrace.iState = RunToEnd(kFinder);
                kTrace.uiSteps = kFinder.GetSteps();
                kFinder.GetPath(kTrace.kPath, false);
                kTrace.kExpanded = kFinder.m_kExpanded;
                ASSERT_EQ(kTrace.kExpanded.size(), kClassic.kExpanded.size());
                ASSERT_TRUE(kTrace == kClassic);
                // Every other search is left for the next StartSearch to clear.
                if (iSearch % 2 == 0)
                    kFinder.ClearVisited();

                iFound += kTrace.iState == COrvaneAStar::STATE_FOUND;
                iEmpty += kTrace.iState == COrvaneAStar::STATE_OPEN_EMPTY;
                iGaveUp += kTrace.iState == COrvaneAStar::STATE_GAVE_UP;
                // A closed count that fell between two expansions: a closed
                // node was reopened.
                for (std::size_t i = 1; i < kTrace.kExpanded.size(); ++i)
                    iReopenedOrder += kTrace.kExpanded[i].second <= kTrace.kExpanded[i - 1].second;
            }
        }
    }
    // The comparison covered every way a search ends and reopened nodes.
    EXPECT_GT(iFound, 100);
    EXPECT_GT(iEmpty, 10);
    EXPECT_GT(iGaveUp, 10);
    EXPECT_GT(iReopenedOrder, 50);
}
