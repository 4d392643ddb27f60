#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class COrvaneBlockGrid;
class COrvaneSceneNode;

// The floors of one building: floor n (from 1) is element n - 1; the current
// floor is shown by a translucent rectangle once the scene nodes exist.
class COrvaneBlockGridStack
{
public:
    COrvaneBlockGridStack();
    virtual ~COrvaneBlockGridStack();

    // Takes the grid as floor number iFloorNumber and makes the first floor
    // current; numbers below 1 are refused (the grid is dropped, false).
    virtual bool Build(std::unique_ptr<COrvaneBlockGrid> pkGrid, std::int32_t iFloorNumber);
    // The next (previous) floor that exists, made current; null at the end.
    virtual COrvaneBlockGrid* NextFloor();
    virtual COrvaneBlockGrid* PreviousFloor();

    [[nodiscard]] COrvaneBlockGrid* FindFloor(std::int32_t iId) const;
    void SelectFirstFloor();
    void UpdateFloorDisplay();
    void ReleaseFloors();

    [[nodiscard]] COrvaneBlockGrid* GetCurrentFloor() const;
    [[nodiscard]] std::size_t GetFloorSlots() const { return m_kFloors.size(); }
    [[nodiscard]] COrvaneSceneNode* GetFloorDisplay() const { return m_pkFloorDisplay.get(); }

protected:
    // The translucent rectangle over the current floor, made by the first
    // Build; in the game's world when there is one.
    std::unique_ptr<COrvaneSceneNode> m_pkFloorDisplay;
    std::vector<std::unique_ptr<COrvaneBlockGrid>> m_kFloors;
    std::size_t m_uiCurrent = 0;
};
