#pragma once

#include "engine/core/NiVec3.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

class CBlockGrid;
class CBlockGridStack;
class COrvaneBlockGrid;

// What a grid is made from: an outside area of the level map or a floor of
// a building.
struct CGridDesc
{
    // N1 grid number (of the area, or of the floor within its building),
    // N2 rows, N3 columns, N4 floor index, N5 cell size.
    std::int32_t m_aiNumbers[5] = {-1, -1, -1, -1, -1};
    NiVec3 m_kOrigin;
    // An outside area: a stack of its own, numbered N1.
    std::uint8_t m_ucOwnStack = 0;
    // Floors numbered on from N4 rather than after the grids in use.
    std::uint8_t m_ucNumberedBase = 0;
    // The building whose stack the floor joins.
    const void* m_pkOwner = nullptr;
    std::vector<std::pair<float, float>> m_kDoors;
    float m_fRotation = 0.0f;
};

// Owns every stack of grids of the prison (the outside areas first, then
// the buildings), builds grids from their descriptions and keeps the result
// of the mouse pick: which grid and cell lie under the cursor.
class CBlockGridManager
{
public:
    // The manager, made empty on first use.
    [[nodiscard]] static CBlockGridManager* GetInstance();
    // Deletes every stack and the manager.
    static void DestroyInstance();
    // The manager when one was made, else null (nothing is made).
    [[nodiscard]] static CBlockGridManager* GetExisting();

    CBlockGridManager();
    ~CBlockGridManager();
    CBlockGridManager(const CBlockGridManager&) = delete;
    CBlockGridManager& operator=(const CBlockGridManager&) = delete;

    // Every stack goes (a new game); the pick is forgotten.
    void Clear();
    void ResetPick();
    // The first grid, stack by stack, of the number; null when none.
    [[nodiscard]] CBlockGrid* FindGrid(std::int32_t iNumber) const;
    // A new grid: an outside area in a stack of its own, or the next floor
    // of the building under construction. Null when the description gives
    // no grid (no rows, columns or cell size).
    CBlockGrid* CreateGrid(const CGridDesc& kDesc);
    // The building's floors are complete: its stack joins the list. The
    // stack's first floor, or null when nothing was under construction.
    CBlockGrid* CommitStack();
    // The stack leaves the list and is deleted with its floors; false when
    // it is not one of the list (nothing changes).
    bool RemoveStack(const CBlockGridStack* pkStack);
    // The grid and cell at the point: the selected building's current
    // floor, else the current floors of the open outside areas (upgrade
    // level + 1 stacks). The pick point, the cell's centre at the grid's
    // height, or all largest floats when nothing is there.
    const NiVec3& PickCell(const NiVec3& kPoint);
    // As PickCell, each candidate floor taken where the ray from the
    // cursor crosses its height: the cell seen on that floor, whatever
    // the mouse's pick met on the way (the floor under an upper storey, a
    // person, a post). A floor the ray does not come down onto takes the
    // point.
    const NiVec3& PickCellOnRay(const NiVec3& kOrigin, const NiVec3& kDirection, const NiVec3& kPoint);
    // Once a frame: the pick at the point under the mouse, when the game
    // has one (on the ray through it, when given).
    void UpdatePick(const NiVec3* pkMousePoint, const NiVec3* pkRayOrigin = nullptr,
                    const NiVec3* pkRayDirection = nullptr);
    // The n-th floor slot of the stack under construction; null past its
    // end or without one.
    [[nodiscard]] CBlockGrid* GetStackFloor(std::size_t uiIndex) const;

    [[nodiscard]] const std::vector<std::unique_ptr<CBlockGridStack>>& GetStacks() const { return m_kStacks; }
    [[nodiscard]] CBlockGridStack* GetStackUnderConstruction() const { return m_pkBuilding.get(); }
    [[nodiscard]] std::int32_t GetPickCell() const { return m_iPickCell; }
    [[nodiscard]] CBlockGrid* GetPickGrid() const { return m_pkPickGrid; }
    [[nodiscard]] CBlockGridStack* GetPickStack() const { return m_pkPickStack; }
    [[nodiscard]] const NiVec3& GetPickPoint() const { return m_kPickPoint; }

private:
    // The highest grid number of every stack and the building under
    // construction.
    [[nodiscard]] std::int32_t HighestGridNumber() const;
    // The pick with the point each candidate floor is looked at.
    const NiVec3& PickCellWith(const std::function<NiVec3(const CBlockGrid&)>& fnPointOn);

    std::vector<std::unique_ptr<CBlockGridStack>> m_kStacks;
    std::unique_ptr<CBlockGridStack> m_pkBuilding;
    // Where the floors of the building under construction number from.
    std::int32_t m_iBuildingBase = 0;
    std::int32_t m_iPickCell = -1;
    CBlockGrid* m_pkPickGrid = nullptr;       // link
    CBlockGridStack* m_pkPickStack = nullptr; // link
    NiVec3 m_kPickPoint;
};
