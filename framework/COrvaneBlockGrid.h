#pragma once

#include "engine/core/NiVec3.h"
#include "framework/COrvaneBase.h"

#include <cstdint>
#include <list>
#include <memory>
#include <vector>

class COrvaneBlock;
class COrvanePathSpline;

// Anything that puts markers on a grid answers a key by which they are found.
class COrvaneMarkerOwner
{
public:
    virtual ~COrvaneMarkerOwner() = default;
    [[nodiscard]] virtual std::int32_t GetMarkerKey() const = 0;
};

// A record standing on a cell; the grid owns the records it holds.
struct COrvaneGridMarker
{
    NiVec3 m_kPosition;
    std::uint32_t m_auiReserved[3] = {};
    COrvaneMarkerOwner* m_pkOwner = nullptr;   // link
    std::unique_ptr<COrvaneBase> m_pkAttached; // goes with the record
};

// One walkable floor: R rows along +X, C columns along -Z, one block per
// cell, cell index C x row + column, -1 for none.
class COrvaneBlockGrid : public COrvaneBase
{
public:
    // Index steps of directions 0-7 on a grid of C columns: +1, +C+1, +C,
    // +C-1, -1, -C-1, -C, -C+1.
    [[nodiscard]] static std::int32_t DirectionOffset(int iDirection, std::int32_t iColumns);

    COrvaneBlockGrid();
    ~COrvaneBlockGrid() override;

    void Destroy() override;
    virtual void Reset();

    // A held marker picked at random; null when none is held.
    [[nodiscard]] virtual COrvaneGridMarker* RandomMarker();
    virtual void OnMarkerAdded(COrvaneGridMarker* pkMarker);
    [[nodiscard]] virtual std::unique_ptr<COrvaneBlock> CreateBlock();
    virtual int SetAreaState(std::int32_t iCell, std::int32_t iRows, std::int32_t iCols, std::int32_t iState,
                             bool bWithBorder);
    virtual int SetRectangleState(std::int32_t iCornerA, std::int32_t iCornerB, std::int32_t iState,
                                  bool bSkipOccupied);
    virtual int OccupyArea(std::int32_t iCell, COrvaneBase* pkObject, std::int32_t iRows, std::int32_t iCols,
                           bool bBlocking);
    virtual int OccupyAreaChecked(std::int32_t iCell, COrvaneBase* pkObject, std::int32_t iRows,
                                  std::int32_t iCols, bool bBlocking);
    virtual int ClearArea(std::int32_t iCell, std::int32_t iRows, std::int32_t iCols, bool bWithBorder,
                          std::int32_t iIgnored);
    [[nodiscard]] virtual std::int32_t GetCellSize() const;
    [[nodiscard]] virtual std::int32_t GetId() const;
    virtual void AddMarker(std::unique_ptr<COrvaneGridMarker> pkMarker);
    virtual void RemoveMarker(COrvaneGridMarker* pkMarker);
    virtual void RemoveMarkersOfOwner(const COrvaneMarkerOwner* pkOwner);
    // A negative key picks a random marker.
    [[nodiscard]] virtual COrvaneGridMarker* FindMarker(std::int32_t iKey);
    // The cell's entry in the block array; null for an invalid cell.
    [[nodiscard]] virtual std::unique_ptr<COrvaneBlock>* GetBlockSlot(std::int32_t iCell);
    [[nodiscard]] virtual bool AreaTouchesInterior(std::int32_t iCell, std::int32_t iRows, std::int32_t iCols) const;
    [[nodiscard]] virtual bool IsValidCell(std::int32_t iCell, bool bWithBorder) const;
    [[nodiscard]] virtual bool IsAreaValid(std::int32_t iCell, std::int32_t iRows, std::int32_t iCols,
                                           bool bWithBorder) const;
    [[nodiscard]] virtual std::int32_t CellX(std::int32_t iCell, bool bWithBorder) const;
    [[nodiscard]] virtual std::int32_t CellZ(std::int32_t iCell, bool bWithBorder) const;
    [[nodiscard]] virtual std::int32_t RowOf(std::int32_t iCell, bool bWithBorder) const;
    [[nodiscard]] virtual std::int32_t ColumnOf(std::int32_t iCell, bool bWithBorder) const;
    [[nodiscard]] virtual std::int32_t CellAt(const NiVec3& kPosition) const;
    [[nodiscard]] virtual std::int32_t CellIndex(std::int32_t iRow, std::int32_t iColumn, bool bWithBorder) const;
    [[nodiscard]] virtual std::int32_t GetRows() const;
    [[nodiscard]] virtual std::int32_t GetColumns() const;
    // The centre of the cell written to kOut; null for an invalid cell.
    virtual NiVec3* CellPosition(std::int32_t iCell, NiVec3& kOut, bool bWithBorder) const;
    // Whether a walker may step from the cell in the direction (0-7).
    [[nodiscard]] virtual bool CanLeaveCell(int iDirection, std::int32_t iCell) const;
    // CanLeaveCell for all eight directions at once, bit d for direction d
    // (AllowMove asked for each direction the cells leave open, in order): a
    // path search asks it of every cell it expands, and the eight answers
    // share one division and the neighbours' bytes. A grid that overrides
    // CanLeaveCell overrides this to match.
    [[nodiscard]] virtual std::uint8_t LeavableDirections(std::int32_t iCell) const;
    [[nodiscard]] virtual bool AllowMove(int iDirection, std::int32_t iCell) const;
    // Cell borders are drawn once the renderer holder offers grid lines.
    virtual void DebugDraw();
    [[nodiscard]] virtual const NiVec3* GetOrigin() const;
    // A path spline through the cells' centres (at least four points, the
    // last repeated); null for an empty list or an invalid cell.
    [[nodiscard]] virtual std::unique_ptr<COrvanePathSpline> BuildSpline(const std::vector<std::int32_t>& kCells,
                                                                         std::int32_t iMinimumPoints) const;
    // Gives the grid its shape; cell size, rows or columns below 1 leave it
    // without blocks.
    virtual void Setup(std::int32_t iRows, std::int32_t iColumns, const NiVec3& kOrigin, std::int32_t iCellSize,
                       std::int32_t iId);

    [[nodiscard]] bool IsAreaFree(std::int32_t iCell, std::int32_t iRows, std::int32_t iCols, bool bWithBorder) const;

    [[nodiscard]] COrvaneBlock* GetBlock(std::int32_t iCell) const;
    // RowOf and ColumnOf (with the border) with one division: -1 and -1 for
    // an invalid cell. Inline, for a search's heuristic on every successor.
    void RowAndColumn(std::int32_t iCell, std::int32_t& iRow, std::int32_t& iColumn) const
    {
        if (m_kBlocks.empty() || !InRange(iCell))
        {
            iRow = iColumn = -1;
            return;
        }
        iRow = iCell / m_iColumns;
        iColumn = iCell - iRow * m_iColumns;
    }
    [[nodiscard]] std::int32_t GetCellCount() const { return m_iCellCount; }
    [[nodiscard]] float GetExtentX() const { return m_fExtentX; }
    [[nodiscard]] float GetExtentZ() const { return m_fExtentZ; }
    [[nodiscard]] float GetArea() const { return m_fArea; }
    [[nodiscard]] const std::vector<std::unique_ptr<COrvaneGridMarker>>& GetMarkers() const { return m_kMarkers; }
    [[nodiscard]] const std::list<std::int32_t>& GetSpecialCells() const { return m_kSpecialCells; }
    [[nodiscard]] std::uint16_t GetSpecialCount() const { return m_usSpecialCount; }

protected:
    // The game keeps the special-cell list; the grid only takes cells off it.
    std::list<std::int32_t> m_kSpecialCells;
    std::uint16_t m_usSpecialCount = 0;

private:
    friend class COrvaneBlock;

    // Bits of a cell's entry in m_kPassage.
    static constexpr std::uint8_t PASSAGE_KNOWN = 0x01;
    static constexpr std::uint8_t PASSAGE_WALKABLE = 0x02;
    static constexpr std::uint8_t PASSAGE_CLOSED_NEXT_COLUMN = 0x04;
    static constexpr std::uint8_t PASSAGE_CLOSED_PREVIOUS_COLUMN = 0x08;
    static constexpr std::uint8_t PASSAGE_CLOSED_NEXT_ROW = 0x10;
    static constexpr std::uint8_t PASSAGE_CLOSED_PREVIOUS_ROW = 0x20;
    // The slot was handed out: whatever block sits there is asked each time.
    static constexpr std::uint8_t PASSAGE_UNCACHED = 0x40;

    // The block's answers, from the copy while it is known.
    [[nodiscard]] std::uint8_t Passage(std::int32_t iCell) const
    {
        const std::uint8_t ucPassage = m_kPassage[static_cast<std::size_t>(iCell)];
        return (ucPassage & PASSAGE_KNOWN) ? ucPassage : ReadPassage(iCell);
    }
    [[nodiscard]] std::uint8_t ReadPassage(std::int32_t iCell) const;
    // The directions the cells leave open from a cell (CanLeaveCell before
    // AllowMove), bit d for direction d; 0 for an invalid cell.
    [[nodiscard]] std::uint8_t OpenDirections(std::int32_t iCell) const;
    // The block of the cell says its answers may have changed.
    void ForgetPassage(std::int32_t iCell);
    void FreeMarker(std::size_t uiIndex);
    [[nodiscard]] bool InRange(std::int64_t iCell) const { return iCell >= 0 && iCell < m_iCellCount; }

    std::int32_t m_iId = 0;
    std::vector<std::unique_ptr<COrvaneBlock>> m_kBlocks;
    std::int32_t m_iRows = 0;
    std::int32_t m_iColumns = 0;
    std::int32_t m_iCellCount = 0;
    float m_fArea = 0.0f;
    float m_fExtentX = 0.0f;
    float m_fExtentZ = 0.0f;
    NiVec3 m_kOrigin;
    // The origin rounded to whole units, as the cell lookups measure from
    // it: every walking person asks for a cell each frame.
    std::int32_t m_iOriginX = 0;
    std::int32_t m_iOriginZ = 0;
    std::int32_t m_iCellSize = 0;
    std::vector<std::unique_ptr<COrvaneGridMarker>> m_kMarkers;
    // One byte a cell: its block's walkability and side tests as last read.
    // A search asks about every neighbour of every cell it expands; the
    // blocks themselves lie scattered over the heap, these bytes together.
    // A block of the grid clears its cell's known bit whenever an answer
    // may change (COrvaneBlock::PassageChanged).
    mutable std::vector<std::uint8_t> m_kPassage;
};
