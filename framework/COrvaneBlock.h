#pragma once

#include "framework/COrvaneBase.h"

#include <cstdint>

class COrvaneBlockGrid;
class COrvaneFile;

// One cell of a block grid: what lies on it and whether its sides are closed.
class COrvaneBlock : public COrvaneBase
{
public:
    // Cell states; a block is walkable below STATE_BLOCKING.
    static constexpr std::int32_t STATE_FREE = 0;
    static constexpr std::int32_t STATE_SPECIAL_1 = 1;
    static constexpr std::int32_t STATE_SPECIAL_2 = 2;
    static constexpr std::int32_t STATE_MARKER = 3;
    static constexpr std::int32_t STATE_BLOCKING = 4;
    // The mark of a special cell that an object has been placed over.
    static constexpr std::uint32_t MARK_COVERED = 9999;

    COrvaneBlock();
    ~COrvaneBlock() override;

    void Destroy() override;
    virtual void Reset();

    virtual int OnOccupantSet();
    virtual int OnOccupantCleared();
    // The state as decimal text, no separator, no line end.
    virtual int Save(COrvaneFile& kFile);
    // One field up to the next "," back into the state.
    virtual int Load(COrvaneFile& kFile);
    virtual int SetOccupant(COrvaneBase* pkObject);
    virtual int ClearOccupant();
    [[nodiscard]] virtual bool IsClosedTowardNextColumn() const;
    [[nodiscard]] virtual bool IsClosedTowardPreviousColumn() const;
    [[nodiscard]] virtual bool IsClosedTowardNextRow() const;
    [[nodiscard]] virtual bool IsClosedTowardPreviousRow() const;
    // With a filter, only an occupant whose name contains it counts.
    [[nodiscard]] virtual bool IsOccupied(const char* pcFilter) const;
    [[nodiscard]] virtual bool IsWalkable() const;
    [[nodiscard]] virtual bool IsSpecial() const;
    [[nodiscard]] virtual bool IsSpecialKind2() const;
    virtual void SetState(std::int32_t iState);

    [[nodiscard]] std::int32_t GetState() const { return m_iState; }
    [[nodiscard]] std::uint32_t GetMark() const { return m_uiMark; }
    void SetMark(std::uint32_t uiMark) { m_uiMark = uiMark; }
    [[nodiscard]] COrvaneBase* GetOccupant() const { return m_pkOccupant; }

protected:
    // A subclass whose walkability or side tests answer on more than the
    // state calls this when such an answer may have changed: the grid
    // holding the block keeps a copy of them for its step test.
    void PassageChanged();

    std::int32_t m_iState = STATE_FREE;
    std::uint32_t m_uiMark = 0;
    COrvaneBase* m_pkOccupant = nullptr; // link: the placed object owns itself

private:
    friend class COrvaneBlockGrid;

    // The grid and cell whose copy of the answers this block keeps current;
    // a copied block belongs to no grid.
    struct PassageLink
    {
        PassageLink() = default;
        PassageLink(const PassageLink&) {}
        PassageLink& operator=(const PassageLink&) { return *this; }

        COrvaneBlockGrid* m_pkGrid = nullptr;
        std::int32_t m_iCell = -1;
    };
    PassageLink m_kPassageLink;
};
