#pragma once

#include "engine/core/NiVec3.h"
#include "framework/COrvaneGridEntity.h"

#include <cstdint>

// A grid object's record: the entity's values and "anchor,rows,columns".
struct COrvaneGridObjectState : COrvaneGridEntityState
{
    std::int32_t m_iAnchor = -1;
    std::int32_t m_iRows = 0;
    std::int32_t m_iColumns = 0;
};

// A grid entity with a rectangular footprint of cells that it occupies and
// frees.
class COrvaneGridObject : public COrvaneGridEntity
{
public:
    COrvaneGridObject();
    ~COrvaneGridObject() override;

    void Reset() override;
    int Load(COrvaneObjectDesc& kDesc) override;
    // The entity state, then "anchor,rows,columns".
    int LoadState(COrvaneFile& kFile) override;
    int SaveState(COrvaneFile& kFile) override;
    [[nodiscard]] std::unique_ptr<COrvaneIOState> NewState() const override;
    [[nodiscard]] bool ParseState(COrvaneFile& kFile, COrvaneIOState& kState) const override;
    void ApplyState(const COrvaneIOState& kState) override;

    virtual int ClearFootprint();
    virtual int OccupyFootprint();
    [[nodiscard]] virtual bool UsesFootprint() const { return true; }
    virtual int Occupy();
    [[nodiscard]] virtual bool CanPlace() const;
    [[nodiscard]] virtual std::int32_t GetRows() const;
    [[nodiscard]] virtual std::int32_t GetColumns() const;
    [[nodiscard]] virtual std::int32_t GetWidth() const;
    [[nodiscard]] virtual std::int32_t GetDepth() const;
    [[nodiscard]] virtual bool IsTemporary() const { return false; }
    // Rows and columns from width and depth, swapped unless the heading is
    // exactly 0 or 180.
    virtual int ComputeFootprint();
    // Anchors the footprint around the position; false without a grid, for
    // an empty footprint or off the grid.
    virtual bool PlaceAt(const NiVec3& kPosition, COrvaneBlockGrid* pkGrid);

    [[nodiscard]] std::int32_t GetReferenceCell() const override { return m_iAnchor; }
    [[nodiscard]] std::int32_t GetAnchor() const { return m_iAnchor; }
    [[nodiscard]] const NiVec3& GetPlacedPosition() const { return m_kPlacedPosition; }

protected:
    NiVec3 m_kPlacedPosition;
    std::int32_t m_iRows = 0;
    std::int32_t m_iColumns = 0;
    std::int32_t m_iAnchor = -1;
    std::int32_t m_iWidth = 0;
    std::int32_t m_iDepth = 0;
};
