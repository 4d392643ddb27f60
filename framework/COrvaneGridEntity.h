#pragma once

#include "framework/COrvaneIOObject.h"

#include <cstdint>

class COrvaneBlockGrid;

// A grid entity's record: the object's values and its floor's id.
struct COrvaneGridEntityState : COrvaneIOState
{
    std::int32_t m_iGridNumber = -1;
};

// An object bound to one floor.
class COrvaneGridEntity : public COrvaneIOObject
{
public:
    COrvaneGridEntity();
    ~COrvaneGridEntity() override;

    void Destroy() override;
    void Reset() override;
    // The object state, then the floor's id ("-1" without a floor).
    int LoadState(COrvaneFile& kFile) override;
    int SaveState(COrvaneFile& kFile) override;
    [[nodiscard]] std::unique_ptr<COrvaneIOState> NewState() const override;
    [[nodiscard]] bool ParseState(COrvaneFile& kFile, COrvaneIOState& kState) const override;
    void ApplyState(const COrvaneIOState& kState) override;

    // Each kind of grid object answers its own kind.
    [[nodiscard]] virtual std::int32_t GetEntityKind() const = 0;
    [[nodiscard]] virtual bool IsOnGrid(const COrvaneBlockGrid* pkGrid) const;
    virtual void SetGrid(COrvaneBlockGrid* pkGrid);
    // The cell by which others refer to this object; -1 when it has none.
    [[nodiscard]] virtual std::int32_t GetReferenceCell() const { return -1; }

    [[nodiscard]] COrvaneBlockGrid* GetGrid() const { return m_pkGrid; }
    // The floor id read by LoadState; the game finds the floor by it.
    [[nodiscard]] std::int32_t GetGridNumber() const { return m_iGridNumber; }

protected:
    COrvaneBlockGrid* m_pkGrid = nullptr; // link
    std::int32_t m_iGridNumber = -1;
};
