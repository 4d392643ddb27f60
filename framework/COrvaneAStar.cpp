#include "framework/COrvaneAStar.h"

#include "framework/COrvaneBlockGrid.h"
#include "framework/COrvanePathSpline.h"

#include <algorithm>
#include <cassert>
#include <cstdlib>
#include <cstring>

namespace
{
using OpenEntry = COrvaneAStarOpenEntry;

// The open heap keeps the smallest f at the front. The moves below are the
// classic vector heap's, step for step: which of several equal-f nodes comes
// out first depends on exactly these moves.

// Moves the value up from the hole while the parent's f is greater (a parent
// with an equal f stays above), not past uiTop.
inline void SiftUp(OpenEntry* pkHeap, std::size_t uiHole, std::size_t uiTop, OpenEntry kValue)
{
    while (uiHole > uiTop)
    {
        const std::size_t uiParent = (uiHole - 1) / 2;
        if (pkHeap[uiParent].m_uiF <= kValue.m_uiF)
            break;
        pkHeap[uiHole] = pkHeap[uiParent];
        uiHole = uiParent;
    }
    pkHeap[uiHole] = kValue;
}

// Moves the value down from the hole, at each level along the child with the
// smaller f (the left one only when the right one's f is greater), past every
// child whose f is not greater than its own. The classic move takes the hole
// to a leaf first and the value back up past the greater f values; below the
// hole lies a heap, so the children on that way never decrease and both
// leave every node in the same place. This one stops early.
inline void SiftDown(OpenEntry* pkHeap, std::size_t uiHole, std::size_t uiLength, OpenEntry kValue)
{
    for (;;)
    {
        std::size_t uiChild = 2 * uiHole + 2;
        if (uiChild < uiLength)
            // Without a branch: the choice is a coin toss to the predictor.
            uiChild -= static_cast<std::size_t>(pkHeap[uiChild].m_uiF > pkHeap[uiChild - 1].m_uiF);
        else if (uiChild == uiLength)
            uiChild = uiLength - 1; // a lone left child
        else
            break;
        if (pkHeap[uiChild].m_uiF > kValue.m_uiF)
            break;
        pkHeap[uiHole] = pkHeap[uiChild];
        uiHole = uiChild;
    }
    pkHeap[uiHole] = kValue;
}

void PushHeap(std::vector<OpenEntry>& kHeap, OpenEntry kValue)
{
    kHeap.push_back(kValue);
    SiftUp(kHeap.data(), kHeap.size() - 1, 0, kValue);
}

OpenEntry PopHeap(std::vector<OpenEntry>& kHeap)
{
    OpenEntry kFront = kHeap.front();
    const std::size_t uiLength = kHeap.size() - 1;
    if (uiLength > 0)
        SiftDown(kHeap.data(), 0, uiLength, kHeap[uiLength]);
    kHeap.pop_back();
    return kFront;
}

// SiftDown from a parent whose children are leaves: at most one step, taken
// or not without a branch. Many open nodes share their f, so whether the
// step is taken is a coin toss to the predictor, and half the parents of a
// heap are of this kind.
inline void SiftDownOneLevel(OpenEntry* pkHeap, std::size_t uiParent, std::size_t uiLength)
{
    std::size_t uiChild = 2 * uiParent + 2;
    if (uiChild < uiLength)
        uiChild -= static_cast<std::size_t>(pkHeap[uiChild].m_uiF > pkHeap[uiChild - 1].m_uiF);
    else
        uiChild = uiLength - 1; // a lone left child
    // The entry that ends on top, chosen by arithmetic: a compiler turns a
    // choice between whole entries back into a branch.
    const std::size_t uiStep = static_cast<std::size_t>(!(pkHeap[uiChild].m_uiF > pkHeap[uiParent].m_uiF));
    const std::size_t uiTop = uiParent + (uiChild - uiParent) * uiStep;
    const std::size_t uiBottom = uiParent + uiChild - uiTop;
    const OpenEntry kTop = pkHeap[uiTop];
    const OpenEntry kBottom = pkHeap[uiBottom];
    pkHeap[uiParent] = kTop;
    pkHeap[uiChild] = kBottom;
}

// Bottom-up construction over the whole vector.
void MakeHeap(std::vector<OpenEntry>& kHeap)
{
    const std::size_t uiLength = kHeap.size();
    if (uiLength < 2)
        return;
    OpenEntry* pkHeap = kHeap.data();
    std::size_t uiParent = (uiLength - 2) / 2 + 1;
    // A parent's left child 2p + 1 is a leaf when 2(2p + 1) + 1 >= length.
    while (uiParent > 0 && 4 * (uiParent - 1) + 3 >= uiLength)
    {
        --uiParent;
        SiftDownOneLevel(pkHeap, uiParent, uiLength);
    }
    while (uiParent-- > 0)
        SiftDown(pkHeap, uiParent, uiLength, pkHeap[uiParent]);
}

// Where list markers would be drawn; nothing draws them in this system.
void DebugMarker(const NiVec3&, float, int)
{
}
} // namespace

COrvaneAStarNode* COrvaneAStarNodePool::Allocate()
{
    if (!m_kFree.empty())
    {
        COrvaneAStarNode* pkNode = m_kFree.front();
        // The first free node is taken; swap the last into its place so the
        // free list stays a plain vector.
        m_kFree.front() = m_kFree.back();
        m_kFree.pop_back();
        return pkNode;
    }
    return &m_kStorage.emplace_back();
}

void COrvaneAStarNodePool::Free(COrvaneAStarNode* pkNode)
{
    // Every node the finder hands back came from this pool: a null one is a
    // lost node somewhere in the caller's bookkeeping.
    assert(pkNode != nullptr && "node pool asked to free null");
    if (pkNode)
        m_kFree.push_back(pkNode);
}

COrvaneAStar::COrvaneAStar()
{
    Reset();
}

COrvaneAStar::~COrvaneAStar()
{
    Destroy();
}

void COrvaneAStar::Destroy()
{
    m_pucVisited.reset();
    FreeAllNodes();
    Reset();
}

void COrvaneAStar::Reset()
{
    m_iState = STATE_NOT_STARTED;
    m_uiPathLength = 0;
    m_iTag = 0;
    // The lists point into the pool: they go with it.
    m_kOpen.clear();
    m_kClosed.clear();
    m_uiClosedCount = 0;
    m_kSuccessors.clear();
    m_pkPoolOwner.reset();
    m_pkGrid = nullptr;
    m_pucVisited.reset();
    m_pkNodeOfCell.reset();
    m_puiClosedIndexOfCell.reset();
    m_uiMapSize = 0;
    m_pkStart = nullptr;
    m_pkGoal = nullptr;
    m_bStartListed = false;
}

void COrvaneAStar::FreeAllNodes()
{
    for (const OpenEntry& kEntry : m_kOpen)
        FreeNode(kEntry.m_pkNode);
    for (COrvaneAStarNode* pkNode : m_kClosed)
        if (pkNode)
            FreeNode(pkNode);
    m_kOpen.clear();
    m_kClosed.clear();
    m_uiClosedCount = 0;
}

void COrvaneAStar::FreeNodesOffPath()
{
    for (const OpenEntry& kEntry : m_kOpen)
        if (!kEntry.m_pkNode->m_pkChild)
            FreeNode(kEntry.m_pkNode);
    for (COrvaneAStarNode* pkNode : m_kClosed)
        if (pkNode && !pkNode->m_pkChild)
            FreeNode(pkNode);
    m_kOpen.clear();
    m_kClosed.clear();
    m_uiClosedCount = 0;
}

void COrvaneAStar::PushOpen(COrvaneAStarNode* pkNode)
{
    PushHeap(m_kOpen, OpenEntry{pkNode->m_uiF, pkNode});
}

void COrvaneAStar::RemoveOpen(COrvaneAStarNode* pkNode)
{
    // Found, taken out with the rest moved down one place, and the heap built
    // again over the whole vector: the arrangement that decides the order of
    // equal f values is the rebuild's.
    auto kIt = std::find_if(m_kOpen.begin(), m_kOpen.end(),
                            [pkNode](const OpenEntry& kEntry) { return kEntry.m_pkNode == pkNode; });
    assert(kIt != m_kOpen.end() && "node marked open is not on the open list");
    if (kIt == m_kOpen.end())
        return;
    m_kOpen.erase(kIt);
    if (m_kOpen.size() > 1)
        MakeHeap(m_kOpen);
}

void COrvaneAStar::CloseNode(COrvaneAStarNode* pkNode)
{
    m_puiClosedIndexOfCell[static_cast<std::size_t>(pkNode->m_iCell)] = static_cast<std::uint32_t>(m_kClosed.size());
    m_kClosed.push_back(pkNode);
    ++m_uiClosedCount;
}

void COrvaneAStar::RemoveClosed(COrvaneAStarNode* pkNode)
{
    const std::uint32_t uiIndex = m_puiClosedIndexOfCell[static_cast<std::size_t>(pkNode->m_iCell)];
    assert(uiIndex < m_kClosed.size() && m_kClosed[uiIndex] == pkNode &&
           "node marked closed is not on the closed list");
    if (uiIndex >= m_kClosed.size() || m_kClosed[uiIndex] != pkNode)
        return;
    m_kClosed[uiIndex] = nullptr;
    --m_uiClosedCount;
}

std::int32_t COrvaneAStar::SearchStep()
{
    if (m_iState == STATE_NOT_STARTED)
    {
        m_iState = STATE_NO_SEARCH;
        return m_iState;
    }
    if (m_kOpen.empty())
    {
        m_iState = STATE_OPEN_EMPTY;
        FreeAllNodes();
        return m_iState;
    }
    if (m_uiClosedCount > m_uiMapSize / 2)
    {
        m_iState = STATE_GAVE_UP;
        FreeAllNodes();
        return m_iState;
    }

    ++m_uiSteps;
    COrvaneAStarNode* pkNode = PopHeap(m_kOpen).m_pkNode;
    // Every open node is its cell's one listed node, marked open.
    assert(pkNode->m_iCell >= 0 && static_cast<std::uint32_t>(pkNode->m_iCell) < m_uiMapSize);
    assert(m_pucVisited[static_cast<std::size_t>(pkNode->m_iCell)] == 1 &&
           m_pkNodeOfCell[static_cast<std::size_t>(pkNode->m_iCell)] == pkNode && "open list out of step with the map");

    if (IsGoal(pkNode))
    {
        m_pkGoal->m_pkParent = pkNode->m_pkParent;
        m_uiPathLength = 1;
        if (pkNode != m_pkStart)
        {
            FreeNode(pkNode);
            COrvaneAStarNode* pkFollower = m_pkGoal;
            for (COrvaneAStarNode* pkStep = m_pkGoal->m_pkParent; pkStep; pkStep = pkStep->m_pkParent)
            {
                pkStep->m_pkChild = pkFollower;
                ++m_uiPathLength;
                if (pkStep == m_pkStart)
                    break;
                pkFollower = pkStep;
            }
        }
        else
        {
            m_bStartListed = false;
        }
        FreeNodesOffPath();
        m_iState = STATE_FOUND;
        return m_iState;
    }

    m_kSuccessors.clear();
    if (!GenerateSuccessors(pkNode, pkNode->m_pkParent))
    {
        for (COrvaneAStarNode* pkSuccessor : m_kSuccessors)
            FreeNode(pkSuccessor);
        m_kSuccessors.clear();
        // The refused node is off both lists: close it so it goes back too.
        m_kClosed.push_back(pkNode);
        FreeAllNodes();
        m_iState = STATE_REFUSED;
        return m_iState;
    }

    for (COrvaneAStarNode* pkSuccessor : m_kSuccessors)
    {
        const std::int32_t iCell = pkSuccessor->m_iCell;
        // A grid set up anew in the middle of a search may have shrunk.
        if (iCell < 0 || static_cast<std::uint32_t>(iCell) >= m_uiMapSize)
        {
            FreeNode(pkSuccessor);
            continue;
        }
        const std::uint32_t uiNewG = StepCost(pkSuccessor) + pkNode->m_uiG;
        const std::uint8_t ucVisited = m_pucVisited[static_cast<std::size_t>(iCell)];
        COrvaneAStarNode* pkListed = ucVisited != 0 ? m_pkNodeOfCell[static_cast<std::size_t>(iCell)] : nullptr;
        // A successor is a fresh node from NewNode, never one already listed
        // (nor the node being expanded).
        assert(pkSuccessor != pkListed && pkSuccessor != pkNode && "successor is a node already listed");
        assert((pkListed == nullptr || pkListed->m_iCell == iCell) && "cell map points at another cell's node");
        if (pkListed && pkListed->m_uiG <= uiNewG)
        {
            FreeNode(pkSuccessor);
            continue;
        }
        pkSuccessor->m_pkParent = pkNode;
        pkSuccessor->m_uiG = uiNewG;
        pkSuccessor->m_uiH = Heuristic(pkSuccessor, m_pkGoal->m_iCell);
        pkSuccessor->m_uiF = pkSuccessor->m_uiG + pkSuccessor->m_uiH;
        if (pkListed)
        {
            FreeNode(pkListed);
            if (ucVisited == 2)
                RemoveClosed(pkListed);
            else
                RemoveOpen(pkListed);
        }
        PushOpen(pkSuccessor);
        m_pucVisited[static_cast<std::size_t>(iCell)] = 1;
        m_pkNodeOfCell[static_cast<std::size_t>(iCell)] = pkSuccessor;
    }
    m_kSuccessors.clear();

    assert(m_pucVisited[static_cast<std::size_t>(pkNode->m_iCell)] == 1 && "node closed twice");
    CloseNode(pkNode);
    m_pucVisited[static_cast<std::size_t>(pkNode->m_iCell)] = 2;
    m_iState = STATE_SEARCHING;
    return m_iState;
}

void COrvaneAStar::SizeMapToGrid()
{
    std::uint32_t uiSize = m_pkGrid ? static_cast<std::uint32_t>(std::max(m_pkGrid->GetCellCount(), 0)) : 0;
    if (m_pucVisited && uiSize == m_uiMapSize)
        return;
    m_uiMapSize = uiSize;
    m_pucVisited = std::make_unique<std::uint8_t[]>(uiSize);
    m_pkNodeOfCell = std::make_unique_for_overwrite<COrvaneAStarNode*[]>(uiSize);
    m_puiClosedIndexOfCell = std::make_unique_for_overwrite<std::uint32_t[]>(uiSize);
}

void COrvaneAStar::ReturnLooseNodes()
{
    bool bGoalReturned = false;
    if (m_iState == STATE_FOUND && m_pkStart)
    {
        // A traced path's nodes are on no list: walk the chain.
        COrvaneAStarNode* pkNext = nullptr;
        for (COrvaneAStarNode* pkStep = m_pkStart; pkStep; pkStep = pkNext)
        {
            pkNext = pkStep->m_pkChild;
            pkStep->m_pkChild = nullptr;
            if (pkStep == m_pkGoal)
                bGoalReturned = true;
            FreeNode(pkStep);
        }
    }
    else if (m_pkStart && !m_bStartListed)
    {
        FreeNode(m_pkStart);
    }
    if (m_pkGoal && !bGoalReturned)
        FreeNode(m_pkGoal);
    m_pkStart = nullptr;
    m_pkGoal = nullptr;
    m_bStartListed = false;
}

COrvaneAStarNode* COrvaneAStar::StartSearch(std::int32_t iStartCell, std::int32_t iGoalCell, COrvaneBlockGrid* pkGrid,
                                            std::int32_t iTag)
{
    // The map follows the grid, also when the same grid was set up anew.
    if (pkGrid != m_pkGrid || (pkGrid && static_cast<std::uint32_t>(pkGrid->GetCellCount()) != m_uiMapSize))
    {
        m_pkGrid = pkGrid;
        SizeMapToGrid();
    }
    FreeAllNodes();
    ReturnLooseNodes();
    if (m_uiMapSize > 0)
        std::memset(m_pucVisited.get(), 0, m_uiMapSize);
    m_iTag = iTag;

    m_pkStart = NewNode();
    m_pkGoal = NewNode();
    m_uiPathLength = 0;
    m_pkStart->m_iCell = iStartCell;
    m_pkGoal->m_iCell = iGoalCell;
    m_iState = STATE_STARTED;
    m_pkStart->m_uiG = 0;
    m_pkStart->m_uiH = Heuristic(m_pkStart, iGoalCell);
    m_pkStart->m_uiF = m_pkStart->m_uiG + m_pkStart->m_uiH;
    m_pkStart->m_pkParent = nullptr;
    m_pkGoal->m_pkChild = nullptr;

    // Without a grid or with a cell off it nothing is pushed, so the first
    // step reports the empty open list.
    if (m_pkGrid && m_pkGrid->IsValidCell(iStartCell, true) && m_pkGrid->IsValidCell(iGoalCell, true))
    {
        PushOpen(m_pkStart);
        m_pucVisited[static_cast<std::size_t>(iStartCell)] = 1;
        m_pkNodeOfCell[static_cast<std::size_t>(iStartCell)] = m_pkStart;
        m_bStartListed = true;
    }
    m_uiSteps = 0;
    return m_pkStart;
}

COrvaneAStarNode* COrvaneAStar::NewNode()
{
    if (!m_pkPoolOwner)
        m_pkPoolOwner = std::make_unique<COrvaneAStarNodePoolOwner>();
    COrvaneAStarNode* pkNode = m_pkPoolOwner->GetPool().Allocate();
    pkNode->m_pkParent = nullptr;
    pkNode->m_pkChild = nullptr;
    return pkNode;
}

void COrvaneAStar::FreeNode(COrvaneAStarNode* pkNode)
{
    if (m_pkPoolOwner)
        m_pkPoolOwner->GetPool().Free(pkNode);
}

void COrvaneAStar::ClearVisited()
{
    if (m_uiMapSize > 0)
        std::memset(m_pucVisited.get(), 0, m_uiMapSize);
    FreeAllNodes();
    ReturnLooseNodes();
}

std::int32_t COrvaneAStar::GetTag() const
{
    return m_iTag;
}

std::uint32_t COrvaneAStar::Heuristic(const COrvaneAStarNode* pkNode, std::int32_t iGoalCell) const
{
    if (!m_pkGrid)
        return 0;
    std::int32_t iRow, iColumn, iGoalRow, iGoalColumn;
    m_pkGrid->RowAndColumn(pkNode->m_iCell, iRow, iColumn);
    m_pkGrid->RowAndColumn(iGoalCell, iGoalRow, iGoalColumn);
    return static_cast<std::uint32_t>(std::abs(iRow - iGoalRow) + std::abs(iColumn - iGoalColumn));
}

bool COrvaneAStar::IsGoal(const COrvaneAStarNode* pkNode) const
{
    return m_pkGoal && pkNode->m_iCell == m_pkGoal->m_iCell;
}

int COrvaneAStar::GenerateSuccessors(COrvaneAStarNode* pkNode, COrvaneAStarNode*)
{
    const std::int32_t iColumns = m_pkGrid->GetColumns();
    const std::uint8_t ucDirections = m_pkGrid->LeavableDirections(pkNode->m_iCell);
    for (int iDirection = 0; iDirection < 8; ++iDirection)
    {
        if (!((ucDirections >> iDirection) & 1u))
            continue;
        COrvaneAStarNode* pkSuccessor = NewNode();
        pkSuccessor->m_iCell = pkNode->m_iCell + COrvaneBlockGrid::DirectionOffset(iDirection, iColumns);
        AddSuccessor(pkSuccessor);
    }
    return 1;
}

std::uint32_t COrvaneAStar::StepCost(const COrvaneAStarNode*) const
{
    return 1;
}

bool COrvaneAStar::SameCell(const COrvaneAStarNode* pkA, const COrvaneAStarNode* pkB) const
{
    return pkA->m_iCell == pkB->m_iCell;
}

COrvaneAStarNode* COrvaneAStar::GetStartNode() const
{
    return m_pkStart;
}

COrvaneAStarNode* COrvaneAStar::GetGoalNode() const
{
    return m_pkGoal;
}

void COrvaneAStar::AddSuccessor(COrvaneAStarNode* pkNode)
{
    m_kSuccessors.push_back(pkNode);
}

int COrvaneAStar::Init(COrvaneBlockGrid* pkGrid)
{
    if (!m_pkPoolOwner)
        m_pkPoolOwner = std::make_unique<COrvaneAStarNodePoolOwner>();
    m_pkPoolOwner->Reserve(32);
    if (pkGrid)
    {
        m_pkGrid = pkGrid;
        SizeMapToGrid();
        std::memset(m_pucVisited.get(), 0, m_uiMapSize);
    }
    return 0;
}

std::uint32_t COrvaneAStar::GetPath(std::vector<std::int32_t>& kCells, bool bAppend) const
{
    if (!bAppend)
        kCells.clear();
    // Only a traced path is handed out: after a failure the start node is
    // already back in the pool.
    if (m_iState != STATE_FOUND || !m_pkStart)
        return 0;
    std::uint32_t uiCount = 0;
    for (const COrvaneAStarNode* pkStep = m_pkStart; pkStep && uiCount < m_uiPathLength; pkStep = pkStep->m_pkChild)
    {
        kCells.push_back(pkStep->m_iCell);
        ++uiCount;
    }
    return uiCount;
}

std::unique_ptr<COrvanePathSpline> COrvaneAStar::BuildPathSpline() const
{
    if (m_iState != STATE_FOUND || !m_pkStart || !m_pkGrid || m_uiPathLength == 0)
        return nullptr;
    std::vector<NiVec3> kPoints(m_uiPathLength);
    std::uint32_t uiCount = 0;
    for (const COrvaneAStarNode* pkStep = m_pkStart; pkStep && uiCount < m_uiPathLength; pkStep = pkStep->m_pkChild)
        m_pkGrid->CellPosition(pkStep->m_iCell, kPoints[uiCount++], true);
    auto pkSpline = std::make_unique<COrvanePathSpline>();
    pkSpline->SetPoints(kPoints.data(), uiCount, nullptr);
    return pkSpline;
}

void COrvaneAStar::DebugDrawLists() const
{
    if (!m_pkGrid)
        return;
    NiVec3 kPosition;
    for (const OpenEntry& kEntry : m_kOpen)
        if (m_pkGrid->CellPosition(kEntry.m_pkNode->m_iCell, kPosition, true))
            DebugMarker(kPosition + NiVec3(0.0f, 0.1f, 0.0f), 0.5f, 4);
    for (const COrvaneAStarNode* pkNode : m_kClosed)
        if (pkNode && m_pkGrid->CellPosition(pkNode->m_iCell, kPosition, true))
            DebugMarker(kPosition + NiVec3(0.0f, 0.1f, 0.0f), 0.75f, 5);
}

const COrvaneAStarNodePool* COrvaneAStar::GetPool() const
{
    return m_pkPoolOwner ? &m_pkPoolOwner->GetPool() : nullptr;
}
