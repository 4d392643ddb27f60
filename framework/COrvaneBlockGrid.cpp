#include "framework/COrvaneBlockGrid.h"

#include "engine/core/NiRandom.h"
#include "framework/COrvaneApplication.h"
#include "framework/COrvaneBlock.h"
#include "framework/COrvanePathSpline.h"
#include "framework/COrvaneRenderer.h"
#include "framework/COrvaneWindow.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace
{
// The origin's X and Z are rounded half away from zero to whole units.
std::int32_t RoundHalfAway(float fValue)
{
    double dValue = fValue > 0.0f ? std::trunc(static_cast<double>(fValue) + 0.5)
                                  : std::trunc(static_cast<double>(fValue) - 0.5);
    dValue = std::clamp(dValue, static_cast<double>(std::numeric_limits<std::int32_t>::min()),
                        static_cast<double>(std::numeric_limits<std::int32_t>::max()));
    return static_cast<std::int32_t>(dValue);
}
} // namespace

std::int32_t COrvaneBlockGrid::DirectionOffset(int iDirection, std::int32_t iColumns)
{
    switch (iDirection)
    {
    case 0: return 1;
    case 1: return iColumns + 1;
    case 2: return iColumns;
    case 3: return iColumns - 1;
    case 4: return -1;
    case 5: return -iColumns - 1;
    case 6: return -iColumns;
    case 7: return -iColumns + 1;
    default: return 0;
    }
}

COrvaneBlockGrid::COrvaneBlockGrid()
{
    Reset();
}

COrvaneBlockGrid::~COrvaneBlockGrid()
{
    Destroy();
    m_kSpecialCells.clear();
}

void COrvaneBlockGrid::Destroy()
{
    m_kBlocks.clear();
    while (!m_kMarkers.empty())
        FreeMarker(m_kMarkers.size() - 1);
    Reset();
}

void COrvaneBlockGrid::Reset()
{
    m_kBlocks.clear();
    m_kPassage.clear();
    m_iRows = 0;
    m_iColumns = 0;
    m_iCellCount = 0;
    m_fArea = 0.0f;
    m_fExtentX = 0.0f;
    m_fExtentZ = 0.0f;
    m_usSpecialCount = 0;
}

COrvaneGridMarker* COrvaneBlockGrid::RandomMarker()
{
    if (m_kMarkers.empty())
        return nullptr;
    return m_kMarkers[static_cast<std::size_t>(NiRand()) % m_kMarkers.size()].get();
}

void COrvaneBlockGrid::OnMarkerAdded(COrvaneGridMarker*)
{
}

std::unique_ptr<COrvaneBlock> COrvaneBlockGrid::CreateBlock()
{
    return std::make_unique<COrvaneBlock>();
}

int COrvaneBlockGrid::SetAreaState(std::int32_t iCell, std::int32_t iRows, std::int32_t iCols, std::int32_t iState,
                                   bool bWithBorder)
{
    if (!IsAreaValid(iCell, iRows, iCols, bWithBorder) || !IsAreaFree(iCell, iRows, iCols, true))
        return 0;
    for (std::int32_t i = 0; i < iRows; ++i)
        for (std::int32_t j = 0; j < iCols; ++j)
            m_kBlocks[static_cast<std::size_t>(iCell + m_iColumns * i + j)]->SetState(iState);
    return 1;
}

int COrvaneBlockGrid::SetRectangleState(std::int32_t iCornerA, std::int32_t iCornerB, std::int32_t iState,
                                        bool bSkipOccupied)
{
    if (iCornerA == -1)
        return 0;
    if (iCornerA == iCornerB)
    {
        COrvaneBlock* pkBlock = GetBlock(iCornerA);
        if (!pkBlock)
            return 1;
        if (bSkipOccupied && pkBlock->IsOccupied(nullptr))
            return 0;
        pkBlock->SetState(iState);
        return 1;
    }
    std::int32_t iRowA = RowOf(iCornerA, true), iColA = ColumnOf(iCornerA, true);
    std::int32_t iRowB = RowOf(iCornerB, true), iColB = ColumnOf(iCornerB, true);
    std::int32_t iRowStep = iRowB >= iRowA ? 1 : -1;
    std::int32_t iColStep = iColB >= iColA ? 1 : -1;
    for (std::int32_t iRow = iRowA;; iRow += iRowStep)
    {
        for (std::int32_t iCol = iColA;; iCol += iColStep)
        {
            // A corner off the grid gives row or column -1: such lines hold
            // no cell, even where C x row + column would land on one.
            if (iRow >= 0 && iRow < m_iRows && iCol >= 0 && iCol < m_iColumns)
            {
                COrvaneBlock* pkBlock = m_kBlocks[static_cast<std::size_t>(m_iColumns * iRow + iCol)].get();
                if (!bSkipOccupied || !pkBlock->IsOccupied(nullptr))
                    pkBlock->SetState(iState);
            }
            if (iCol == iColB)
                break;
        }
        if (iRow == iRowB)
            break;
    }
    return 1;
}

int COrvaneBlockGrid::OccupyArea(std::int32_t iCell, COrvaneBase* pkObject, std::int32_t iRows, std::int32_t iCols,
                                 bool bBlocking)
{
    for (std::int64_t i = 0; i < iRows; ++i)
    {
        if (iCell + static_cast<std::int64_t>(m_iColumns) * i >= m_iCellCount)
            break;
        for (std::int64_t j = 0; j < iCols; ++j)
        {
            std::int64_t iAt = iCell + static_cast<std::int64_t>(m_iColumns) * i + j;
            if (iAt >= m_iCellCount)
                break;
            // Cells off the grid are skipped rather than written through.
            if (!InRange(iAt))
                continue;
            std::int32_t iAreaCell = static_cast<std::int32_t>(iAt);
            COrvaneBlock* pkBlock = m_kBlocks[static_cast<std::size_t>(iAreaCell)].get();
            if (pkBlock->IsSpecial() && IsValidCell(iAreaCell, false))
            {
                pkBlock->SetState(COrvaneBlock::STATE_FREE);
                pkBlock->SetMark(0);
                auto kIt = std::find(m_kSpecialCells.begin(), m_kSpecialCells.end(), iAreaCell);
                if (kIt != m_kSpecialCells.end())
                    m_kSpecialCells.erase(kIt);
                --m_usSpecialCount;
            }
            if (pkBlock->IsSpecial())
                pkBlock->SetMark(COrvaneBlock::MARK_COVERED);
            pkBlock->SetOccupant(pkObject);
            if (bBlocking)
                pkBlock->SetState(COrvaneBlock::STATE_BLOCKING);
        }
    }
    return 1;
}

int COrvaneBlockGrid::OccupyAreaChecked(std::int32_t iCell, COrvaneBase* pkObject, std::int32_t iRows,
                                        std::int32_t iCols, bool bBlocking)
{
    if (!IsAreaValid(iCell, iRows, iCols, true))
        return 0;
    OccupyArea(iCell, pkObject, iRows, iCols, bBlocking);
    for (std::int32_t i = 0; i < iRows; ++i)
        for (std::int32_t j = 0; j < iCols; ++j)
            m_kBlocks[static_cast<std::size_t>(iCell + m_iColumns * i + j)]->SetState(
                bBlocking ? COrvaneBlock::STATE_BLOCKING : COrvaneBlock::STATE_FREE);
    return 1;
}

int COrvaneBlockGrid::ClearArea(std::int32_t iCell, std::int32_t iRows, std::int32_t iCols, bool bWithBorder,
                                std::int32_t)
{
    if (!IsAreaValid(iCell, iRows, iCols, bWithBorder))
        return 0;
    for (std::int32_t i = 0; i < iRows; ++i)
    {
        for (std::int32_t j = 0; j < iCols; ++j)
        {
            COrvaneBlock* pkBlock = m_kBlocks[static_cast<std::size_t>(iCell + m_iColumns * i + j)].get();
            pkBlock->ClearOccupant();
            pkBlock->SetState(COrvaneBlock::STATE_FREE);
        }
    }
    return 1;
}

std::int32_t COrvaneBlockGrid::GetCellSize() const
{
    return m_iCellSize;
}

std::int32_t COrvaneBlockGrid::GetId() const
{
    return m_iId;
}

void COrvaneBlockGrid::AddMarker(std::unique_ptr<COrvaneGridMarker> pkMarker)
{
    if (!pkMarker)
        return;
    COrvaneGridMarker* pkRecord = pkMarker.get();
    m_kMarkers.push_back(std::move(pkMarker));
    if (COrvaneBlock* pkBlock = GetBlock(CellAt(pkRecord->m_kPosition)))
        pkBlock->SetState(COrvaneBlock::STATE_MARKER);
    OnMarkerAdded(pkRecord);
}

void COrvaneBlockGrid::FreeMarker(std::size_t uiIndex)
{
    std::unique_ptr<COrvaneGridMarker> pkRecord = std::move(m_kMarkers[uiIndex]);
    m_kMarkers.erase(m_kMarkers.begin() + static_cast<std::ptrdiff_t>(uiIndex));
    pkRecord->m_pkAttached.reset();
    pkRecord->m_pkOwner = nullptr;
}

void COrvaneBlockGrid::RemoveMarker(COrvaneGridMarker* pkMarker)
{
    for (std::size_t i = 0; i < m_kMarkers.size(); ++i)
    {
        if (m_kMarkers[i].get() != pkMarker)
            continue;
        // A marker standing off the grid frees no cell.
        if (COrvaneBlock* pkBlock = GetBlock(CellAt(pkMarker->m_kPosition)))
            pkBlock->SetState(COrvaneBlock::STATE_FREE);
        FreeMarker(i);
        return;
    }
}

void COrvaneBlockGrid::RemoveMarkersOfOwner(const COrvaneMarkerOwner* pkOwner)
{
    std::size_t i = 0;
    while (i < m_kMarkers.size())
    {
        if (m_kMarkers[i]->m_pkOwner == pkOwner)
            RemoveMarker(m_kMarkers[i].get());
        else
            ++i;
    }
}

COrvaneGridMarker* COrvaneBlockGrid::FindMarker(std::int32_t iKey)
{
    if (m_kMarkers.empty())
        return nullptr;
    if (iKey < 0)
        return RandomMarker();
    for (const std::unique_ptr<COrvaneGridMarker>& pkRecord : m_kMarkers)
        if (pkRecord->m_pkOwner && pkRecord->m_pkOwner->GetMarkerKey() == iKey)
            return pkRecord.get();
    return nullptr;
}

std::unique_ptr<COrvaneBlock>* COrvaneBlockGrid::GetBlockSlot(std::int32_t iCell)
{
    if (!IsValidCell(iCell, true))
        return nullptr;
    // The caller may put another block here: from now on the cell's block
    // is asked directly, and the present one may leave the grid.
    if (InRange(iCell) && static_cast<std::size_t>(iCell) < m_kPassage.size())
    {
        m_kPassage[static_cast<std::size_t>(iCell)] = PASSAGE_UNCACHED;
        if (COrvaneBlock* pkBlock = m_kBlocks[static_cast<std::size_t>(iCell)].get())
            pkBlock->m_kPassageLink.m_pkGrid = nullptr;
    }
    return &m_kBlocks[static_cast<std::size_t>(iCell)];
}

COrvaneBlock* COrvaneBlockGrid::GetBlock(std::int32_t iCell) const
{
    if (!IsValidCell(iCell, true))
        return nullptr;
    return m_kBlocks[static_cast<std::size_t>(iCell)].get();
}

bool COrvaneBlockGrid::AreaTouchesInterior(std::int32_t iCell, std::int32_t iRows, std::int32_t iCols) const
{
    for (std::int64_t i = 0; i < iRows; ++i)
    {
        for (std::int64_t j = 0; j < iCols; ++j)
        {
            std::int64_t iAt = iCell + static_cast<std::int64_t>(m_iColumns) * i + j;
            if (InRange(iAt) && IsValidCell(static_cast<std::int32_t>(iAt), false))
                return true;
        }
    }
    return false;
}

bool COrvaneBlockGrid::IsValidCell(std::int32_t iCell, bool bWithBorder) const
{
    if (m_kBlocks.empty())
        return false;
    if (bWithBorder)
        return m_iCellCount > 0 && iCell >= 0 && iCell < m_iCellCount;
    return m_iCellCount >= 1 && iCell >= m_iColumns + 1 && iCell < m_iCellCount - m_iColumns - 1 &&
           iCell % m_iColumns != 0 && (iCell + 1) % m_iColumns != 0;
}

bool COrvaneBlockGrid::IsAreaValid(std::int32_t iCell, std::int32_t iRows, std::int32_t iCols,
                                   bool bWithBorder) const
{
    if (m_kBlocks.empty() || m_iCellCount < 1)
        return false;
    std::int64_t iRowEnd = static_cast<std::int64_t>(iCell) + iCols - 1;
    std::int32_t iEndRow = InRange(iRowEnd) ? RowOf(static_cast<std::int32_t>(iRowEnd), true) : -1;
    if (iEndRow != RowOf(iCell, true))
        return false;
    for (std::int64_t i = 0; i < iRows; ++i)
    {
        for (std::int64_t j = 0; j < iCols; ++j)
        {
            std::int64_t iAt = iCell + static_cast<std::int64_t>(m_iColumns) * i + j;
            if (!InRange(iAt) || !IsValidCell(static_cast<std::int32_t>(iAt), bWithBorder))
                return false;
        }
    }
    return true;
}

bool COrvaneBlockGrid::IsAreaFree(std::int32_t iCell, std::int32_t iRows, std::int32_t iCols, bool bWithBorder) const
{
    if (!IsAreaValid(iCell, iRows, iCols, bWithBorder))
        return false;
    for (std::int32_t i = 0; i < iRows; ++i)
        for (std::int32_t j = 0; j < iCols; ++j)
            if (m_kBlocks[static_cast<std::size_t>(iCell + m_iColumns * i + j)]->IsOccupied(nullptr))
                return false;
    return true;
}

std::int32_t COrvaneBlockGrid::CellX(std::int32_t iCell, bool bWithBorder) const
{
    if (!IsValidCell(iCell, bWithBorder))
        return -1;
    return m_iOriginX + (iCell / m_iColumns) * m_iCellSize;
}

std::int32_t COrvaneBlockGrid::CellZ(std::int32_t iCell, bool bWithBorder) const
{
    if (!IsValidCell(iCell, bWithBorder))
        return -1;
    return m_iOriginZ - (iCell % m_iColumns) * m_iCellSize;
}

std::int32_t COrvaneBlockGrid::RowOf(std::int32_t iCell, bool bWithBorder) const
{
    if (!IsValidCell(iCell, bWithBorder))
        return -1;
    return iCell / m_iColumns;
}

std::int32_t COrvaneBlockGrid::ColumnOf(std::int32_t iCell, bool bWithBorder) const
{
    if (!IsValidCell(iCell, bWithBorder))
        return -1;
    return iCell % m_iColumns;
}

std::int32_t COrvaneBlockGrid::CellAt(const NiVec3& kPosition) const
{
    // Without blocks the cell size may be 0: answer before dividing by it.
    if (m_kBlocks.empty())
        return -1;
    float fSize = static_cast<float>(m_iCellSize);
    float fInverse = 1.0f / fSize;
    float fA = (kPosition.x - static_cast<float>(m_iOriginX)) + fSize * 0.5f;
    float fB = (kPosition.z - static_cast<float>(m_iOriginZ)) - fSize * 0.5f;
    // The bounds come first so only in-range quotients are converted (the
    // conversion drops the fraction toward zero).
    if (!(std::fabs(fA) < m_fExtentX && std::fabs(fB) < m_fExtentZ && fA >= 0.0f && fB <= 0.0f))
        return -1;
    std::int64_t iRow = static_cast<std::int64_t>(fA * fInverse);
    std::int64_t iNegColumn = static_cast<std::int64_t>(fB * fInverse);
    std::int64_t iCell = m_iColumns * iRow - iNegColumn;
    if (!InRange(iCell))
        return -1;
    return static_cast<std::int32_t>(iCell);
}

std::int32_t COrvaneBlockGrid::CellIndex(std::int32_t iRow, std::int32_t iColumn, bool bWithBorder) const
{
    std::int32_t iMargin = bWithBorder ? 0 : 1;
    if (iRow < iMargin || iRow >= m_iRows - iMargin || iColumn < iMargin || iColumn >= m_iColumns - iMargin)
        return -1;
    return m_iColumns * iRow + iColumn;
}

std::int32_t COrvaneBlockGrid::GetRows() const
{
    return m_iRows;
}

std::int32_t COrvaneBlockGrid::GetColumns() const
{
    return m_iColumns;
}

NiVec3* COrvaneBlockGrid::CellPosition(std::int32_t iCell, NiVec3& kOut, bool bWithBorder) const
{
    std::int32_t iRow = RowOf(iCell, bWithBorder);
    std::int32_t iColumn = ColumnOf(iCell, bWithBorder);
    if (iRow < 0 || iColumn < 0)
        return nullptr;
    float fSize = static_cast<float>(m_iCellSize);
    kOut = NiVec3(m_kOrigin.x + fSize * static_cast<float>(iRow), m_kOrigin.y,
                  m_kOrigin.z - fSize * static_cast<float>(iColumn));
    return &kOut;
}

std::uint8_t COrvaneBlockGrid::ReadPassage(std::int32_t iCell) const
{
    COrvaneBlock* pkBlock = m_kBlocks[static_cast<std::size_t>(iCell)].get();
    std::uint8_t& ucEntry = m_kPassage[static_cast<std::size_t>(iCell)];
    if (!pkBlock)
        return ucEntry & PASSAGE_UNCACHED;
    std::uint8_t ucPassage = 0;
    if (pkBlock->IsWalkable())
        ucPassage |= PASSAGE_WALKABLE;
    if (pkBlock->IsClosedTowardNextColumn())
        ucPassage |= PASSAGE_CLOSED_NEXT_COLUMN;
    if (pkBlock->IsClosedTowardPreviousColumn())
        ucPassage |= PASSAGE_CLOSED_PREVIOUS_COLUMN;
    if (pkBlock->IsClosedTowardNextRow())
        ucPassage |= PASSAGE_CLOSED_NEXT_ROW;
    if (pkBlock->IsClosedTowardPreviousRow())
        ucPassage |= PASSAGE_CLOSED_PREVIOUS_ROW;
    if (ucEntry & PASSAGE_UNCACHED)
        return ucPassage | PASSAGE_UNCACHED;
    pkBlock->m_kPassageLink.m_pkGrid = const_cast<COrvaneBlockGrid*>(this);
    pkBlock->m_kPassageLink.m_iCell = iCell;
    ucEntry = ucPassage | PASSAGE_KNOWN;
    return ucEntry;
}

void COrvaneBlockGrid::ForgetPassage(std::int32_t iCell)
{
    if (InRange(iCell) && static_cast<std::size_t>(iCell) < m_kPassage.size())
        m_kPassage[static_cast<std::size_t>(iCell)] &= static_cast<std::uint8_t>(~PASSAGE_KNOWN);
}

std::uint8_t COrvaneBlockGrid::OpenDirections(std::int32_t iCell) const
{
    if (m_kBlocks.empty() || !InRange(iCell))
        return 0;
    const std::int32_t iW = m_iColumns;
    const std::int32_t iRow = iCell / iW;
    const std::int32_t iCol = iCell - iRow * iW;
    const bool bNextCol = iCol + 1 < iW;
    const bool bPrevCol = iCol > 0;
    const bool bNextRow = iRow + 1 < m_iRows;
    const bool bPrevRow = iRow > 0;
    // The blocks' answers come from the copy kept beside them (Passage); a
    // neighbour off the grid answers nothing walkable.
    auto At = [this](bool bOnGrid, std::int32_t iAt) -> std::uint8_t { return bOnGrid ? Passage(iAt) : 0; };
    const std::uint8_t ucFrom = Passage(iCell);
    const std::uint8_t ucNextCol = At(bNextCol, iCell + 1);
    const std::uint8_t ucPrevCol = At(bPrevCol, iCell - 1);
    const std::uint8_t ucNextRow = At(bNextRow, iCell + iW);
    const std::uint8_t ucPrevRow = At(bPrevRow, iCell - iW);
    // A side is open when the neighbour is on the grid and this cell has no
    // wall toward it.
    const bool bOpenNextCol = bNextCol && !(ucFrom & PASSAGE_CLOSED_NEXT_COLUMN);
    const bool bOpenPrevCol = bPrevCol && !(ucFrom & PASSAGE_CLOSED_PREVIOUS_COLUMN);
    const bool bOpenNextRow = bNextRow && !(ucFrom & PASSAGE_CLOSED_NEXT_ROW);
    const bool bOpenPrevRow = bPrevRow && !(ucFrom & PASSAGE_CLOSED_PREVIOUS_ROW);
    auto Walkable = [](std::uint8_t ucPassage) { return (ucPassage & PASSAGE_WALKABLE) != 0; };
    // A diagonal step: both sides open, the diagonal cell without a wall
    // toward either of them, and all three cells walkable.
    auto Diagonal = [&](bool bOpenCol, bool bOpenRow, std::uint8_t ucSide, std::uint8_t ucAhead,
                        std::int32_t iDiagonal, std::uint8_t ucColWall, std::uint8_t ucRowWall) {
        if (!bOpenCol || !bOpenRow)
            return false;
        const std::uint8_t ucDiagonal = Passage(iDiagonal);
        return !(ucDiagonal & (ucColWall | ucRowWall)) && Walkable(ucSide) && Walkable(ucAhead) &&
               Walkable(ucDiagonal);
    };
    std::uint8_t ucOpen = 0;
    if (bOpenNextCol && Walkable(ucNextCol))
        ucOpen |= 1u << 0;
    if (Diagonal(bOpenNextCol, bOpenNextRow, ucNextCol, ucNextRow, iCell + iW + 1, PASSAGE_CLOSED_PREVIOUS_COLUMN,
                 PASSAGE_CLOSED_PREVIOUS_ROW))
        ucOpen |= 1u << 1;
    if (bOpenNextRow && Walkable(ucNextRow))
        ucOpen |= 1u << 2;
    if (Diagonal(bOpenPrevCol, bOpenNextRow, ucPrevCol, ucNextRow, iCell + iW - 1, PASSAGE_CLOSED_NEXT_COLUMN,
                 PASSAGE_CLOSED_PREVIOUS_ROW))
        ucOpen |= 1u << 3;
    if (bOpenPrevCol && Walkable(ucPrevCol))
        ucOpen |= 1u << 4;
    if (Diagonal(bOpenPrevCol, bOpenPrevRow, ucPrevCol, ucPrevRow, iCell - iW - 1, PASSAGE_CLOSED_NEXT_COLUMN,
                 PASSAGE_CLOSED_NEXT_ROW))
        ucOpen |= 1u << 5;
    if (bOpenPrevRow && Walkable(ucPrevRow))
        ucOpen |= 1u << 6;
    if (Diagonal(bOpenNextCol, bOpenPrevRow, ucNextCol, ucPrevRow, iCell - iW + 1, PASSAGE_CLOSED_PREVIOUS_COLUMN,
                 PASSAGE_CLOSED_NEXT_ROW))
        ucOpen |= 1u << 7;
    return ucOpen;
}

bool COrvaneBlockGrid::CanLeaveCell(int iDirection, std::int32_t iCell) const
{
    if (!IsValidCell(iCell, true) || iDirection < 0 || iDirection > 7)
        return false;
    if (!((OpenDirections(iCell) >> iDirection) & 1u))
        return false;
    return AllowMove(iDirection, iCell);
}

std::uint8_t COrvaneBlockGrid::LeavableDirections(std::int32_t iCell) const
{
    if (!IsValidCell(iCell, true))
        return 0;
    std::uint8_t ucOpen = OpenDirections(iCell);
    for (int iDirection = 0; iDirection < 8; ++iDirection)
    {
        if (((ucOpen >> iDirection) & 1u) && !AllowMove(iDirection, iCell))
            ucOpen = static_cast<std::uint8_t>(ucOpen & ~(1u << iDirection));
    }
    return ucOpen;
}

bool COrvaneBlockGrid::AllowMove(int, std::int32_t) const
{
    return true;
}

void COrvaneBlockGrid::DebugDraw()
{
    const COrvaneApplication* pkApplication = COrvaneApplication::GetExisting();
    const COrvaneWindow* pkWindow = pkApplication != nullptr ? pkApplication->GetWindow() : nullptr;
    const COrvaneRenderer* pkHolder = pkWindow != nullptr ? pkWindow->GetRenderer() : nullptr;
    if (pkHolder == nullptr)
        return;
    const std::int32_t iHalf = GetCellSize() / 2;
    const NiVec3& kOrigin = *GetOrigin();
    const NiVec3 kCorner(kOrigin.x - static_cast<float>(iHalf), kOrigin.y, kOrigin.z + static_cast<float>(iHalf));
    // Columns first, then rows, as the line builder takes them.
    pkHolder->CreateGridLines(kCorner, GetColumns(), GetRows(), static_cast<float>(GetCellSize()),
                              NiColorRGBA(0.0f, 0.8f, 0.0f, 1.0f));
}

const NiVec3* COrvaneBlockGrid::GetOrigin() const
{
    return &m_kOrigin;
}

std::unique_ptr<COrvanePathSpline> COrvaneBlockGrid::BuildSpline(const std::vector<std::int32_t>& kCells,
                                                                  std::int32_t iMinimumPoints) const
{
    // With no cell there is no point to pad with.
    if (kCells.empty())
        return nullptr;
    const std::size_t uiCount = iMinimumPoints < 5 ? 4 : static_cast<std::size_t>(iMinimumPoints);
    std::vector<NiVec3> kPoints(uiCount);
    std::size_t uiUsed = std::min(uiCount, kCells.size());
    for (std::size_t i = 0; i < uiUsed; ++i)
        if (!CellPosition(kCells[i], kPoints[i], true))
            return nullptr;
    for (std::size_t i = uiUsed; i < uiCount; ++i)
        kPoints[i] = kPoints[uiUsed - 1];
    auto pkSpline = std::make_unique<COrvanePathSpline>();
    pkSpline->SetPoints(kPoints.data(), static_cast<std::uint32_t>(uiCount), nullptr);
    return pkSpline;
}

void COrvaneBlockGrid::Setup(std::int32_t iRows, std::int32_t iColumns, const NiVec3& kOrigin,
                             std::int32_t iCellSize, std::int32_t iId)
{
    m_kBlocks.clear();
    m_kPassage.clear();
    m_kOrigin = kOrigin;
    m_iOriginX = RoundHalfAway(kOrigin.x);
    m_iOriginZ = RoundHalfAway(kOrigin.z);
    m_iRows = iRows;
    m_iCellSize = iCellSize;
    m_iColumns = iColumns;
    m_iId = iId;
    std::int64_t iCount = static_cast<std::int64_t>(iRows) * iColumns;
    // A grid without a positive size or one too large to index gets no blocks,
    // so every cell query answers "no cell" instead of dividing by zero.
    if (iRows < 1 || iColumns < 1 || iCellSize < 1 || iCount > std::numeric_limits<std::int32_t>::max())
    {
        m_iCellCount = 0;
        m_fExtentX = m_fExtentZ = m_fArea = 0.0f;
        return;
    }
    m_iCellCount = static_cast<std::int32_t>(iCount);
    m_fExtentX = static_cast<float>(iCellSize * static_cast<std::int64_t>(iRows));
    m_fExtentZ = static_cast<float>(iCellSize * static_cast<std::int64_t>(iColumns));
    m_fArea = m_fExtentX * m_fExtentZ;
    m_kBlocks.reserve(static_cast<std::size_t>(m_iCellCount));
    for (std::int32_t i = 0; i < m_iCellCount; ++i)
        m_kBlocks.push_back(CreateBlock());
    m_kPassage.assign(static_cast<std::size_t>(m_iCellCount), 0);
}
