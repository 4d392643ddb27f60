#pragma once

#include "framework/COrvaneBase.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

class COrvaneBlockGrid;
class COrvanePathSpline;

// One search node; made only by the node pool.
struct COrvaneAStarNode
{
    std::int32_t m_iCell = -1;
    COrvaneAStarNode* m_pkParent = nullptr;
    COrvaneAStarNode* m_pkChild = nullptr;
    std::uint32_t m_uiF = 0;
    std::uint32_t m_uiG = 0;
    std::uint32_t m_uiH = 0;
    std::uint32_t m_uiUnused = 0;
};

// One place of the open heap: the node's f kept beside it, so the heap moves
// compare without visiting the nodes.
struct COrvaneAStarOpenEntry
{
    std::uint32_t m_uiF;
    COrvaneAStarNode* m_pkNode;
};

// Recycles nodes: every node ever made lives until the pool goes.
class COrvaneAStarNodePool
{
public:
    [[nodiscard]] COrvaneAStarNode* Allocate();
    void Free(COrvaneAStarNode* pkNode);
    // Nodes ever made, and how many of them are free.
    [[nodiscard]] std::size_t GetNodeCount() const { return m_kStorage.size(); }
    [[nodiscard]] std::size_t GetFreeCount() const { return m_kFree.size(); }

private:
    std::deque<COrvaneAStarNode> m_kStorage;
    std::vector<COrvaneAStarNode*> m_kFree;
};

class COrvaneAStarNodePoolOwner
{
public:
    // The pool grows on demand; a reservation changes nothing.
    void Reserve(std::uint32_t) {}
    [[nodiscard]] COrvaneAStarNodePool& GetPool() { return m_kPool; }

private:
    COrvaneAStarNodePool m_kPool;
};

// Incremental A* over a block grid: start a search, then advance it one
// expansion at a time.
class COrvaneAStar : public COrvaneBase
{
public:
    // Search states.
    static constexpr std::int32_t STATE_NOT_STARTED = 0;
    static constexpr std::int32_t STATE_STARTED = 1;
    static constexpr std::int32_t STATE_SEARCHING = 2;
    static constexpr std::int32_t STATE_OPEN_EMPTY = 3;
    static constexpr std::int32_t STATE_REFUSED = 4;
    static constexpr std::int32_t STATE_NO_SEARCH = 5;
    static constexpr std::int32_t STATE_GAVE_UP = 7;
    static constexpr std::int32_t STATE_FOUND = 8;

    COrvaneAStar();
    ~COrvaneAStar() override;

    void Destroy() override;
    virtual void Reset();
    virtual void FreeAllNodes();
    virtual void FreeNodesOffPath();
    virtual std::int32_t SearchStep();
    // Bad cells or no grid push nothing: the first step then answers 3.
    virtual COrvaneAStarNode* StartSearch(std::int32_t iStartCell, std::int32_t iGoalCell, COrvaneBlockGrid* pkGrid,
                                          std::int32_t iTag);
    [[nodiscard]] virtual COrvaneAStarNode* NewNode();
    virtual void FreeNode(COrvaneAStarNode* pkNode);
    // Ends a search and gives every node back, a traced path's too.
    virtual void ClearVisited();
    [[nodiscard]] virtual std::int32_t GetTag() const;
    [[nodiscard]] virtual std::uint32_t Heuristic(const COrvaneAStarNode* pkNode, std::int32_t iGoalCell) const;
    [[nodiscard]] virtual bool IsGoal(const COrvaneAStarNode* pkNode) const;
    virtual int GenerateSuccessors(COrvaneAStarNode* pkNode, COrvaneAStarNode* pkParent);
    [[nodiscard]] virtual std::uint32_t StepCost(const COrvaneAStarNode* pkSuccessor) const;
    [[nodiscard]] virtual bool SameCell(const COrvaneAStarNode* pkA, const COrvaneAStarNode* pkB) const;
    [[nodiscard]] virtual COrvaneAStarNode* GetStartNode() const;
    [[nodiscard]] virtual COrvaneAStarNode* GetGoalNode() const;
    virtual void AddSuccessor(COrvaneAStarNode* pkNode);
    virtual int Init(COrvaneBlockGrid* pkGrid);
    // The found path's cells from the start; the number appended.
    virtual std::uint32_t GetPath(std::vector<std::int32_t>& kCells, bool bAppend) const;
    [[nodiscard]] virtual std::unique_ptr<COrvanePathSpline> BuildPathSpline() const;
    virtual void DebugDrawLists() const;

    [[nodiscard]] std::int32_t GetState() const { return m_iState; }
    [[nodiscard]] std::uint32_t GetSteps() const { return m_uiSteps; }
    [[nodiscard]] std::uint32_t GetPathLength() const { return m_uiPathLength; }
    [[nodiscard]] std::uint32_t GetClosedCount() const { return m_uiClosedCount; }
    [[nodiscard]] std::uint32_t GetMapSize() const { return m_uiMapSize; }
    [[nodiscard]] const COrvaneAStarNodePool* GetPool() const;

private:
    void SizeMapToGrid();
    void ReturnLooseNodes();
    void PushOpen(COrvaneAStarNode* pkNode);
    void RemoveOpen(COrvaneAStarNode* pkNode);
    void CloseNode(COrvaneAStarNode* pkNode);
    void RemoveClosed(COrvaneAStarNode* pkNode);

    std::int32_t m_iState = 0;
    std::uint32_t m_uiSteps = 0;
    std::uint32_t m_uiPathLength = 0;
    std::int32_t m_iTag = 0;
    std::unique_ptr<COrvaneAStarNodePoolOwner> m_pkPoolOwner;
    COrvaneBlockGrid* m_pkGrid = nullptr; // link
    std::unique_ptr<std::uint8_t[]> m_pucVisited;
    std::uint32_t m_uiMapSize = 0;
    // A binary min-heap on f. Among equal f the pop order is whatever the
    // heap moves leave at the front, so every move is the classic one.
    std::vector<COrvaneAStarOpenEntry> m_kOpen;
    // Closing order; a node reopened from here leaves a null in its place.
    std::vector<COrvaneAStarNode*> m_kClosed;
    std::uint32_t m_uiClosedCount = 0;
    std::vector<COrvaneAStarNode*> m_kSuccessors;
    COrvaneAStarNode* m_pkStart = nullptr;
    COrvaneAStarNode* m_pkGoal = nullptr;
    // A cell has at most one listed node: this finds it where the lists
    // would be scanned. Read only where the visited map says 1 or 2.
    std::unique_ptr<COrvaneAStarNode*[]> m_pkNodeOfCell;
    // Where a closed cell's node sits in the closed list; read only where
    // the visited map says 2.
    std::unique_ptr<std::uint32_t[]> m_puiClosedIndexOfCell;
    bool m_bStartListed = false;
};
