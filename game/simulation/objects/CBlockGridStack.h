#pragma once

#include "framework/COrvaneBlockGridStack.h"

#include <cstdint>
#include <memory>

class CBlockGrid;

// The floors of one building or one outside area. Moving between floors
// shows the members of the floor entered and hides those of the floor
// left; deleting the stack destroys every floor's members.
class CBlockGridStack : public COrvaneBlockGridStack
{
public:
    CBlockGridStack();
    ~CBlockGridStack() override;

    // The framework's Build, then the highest floor is current.
    bool Build(std::unique_ptr<COrvaneBlockGrid> pkGrid, std::int32_t iFloorNumber) override;
    // One floor up; the new floor's members are shown.
    COrvaneBlockGrid* NextFloor() override;
    // The current floor's members are hidden, then one floor down (at the
    // first floor they stay hidden and the floor stays current).
    COrvaneBlockGrid* PreviousFloor() override;

    void ShowAllFloors();
    void HideAllFloors();

    // The building the stack belongs to (a value of the first grid
    // description that names one); null for an outside area.
    [[nodiscard]] const void* GetOwner() const { return m_pkOwner; }
    void SetOwner(const void* pkOwner) { m_pkOwner = pkOwner; }

    // The floor at a position of the floor vector; null past its end or
    // for an empty slot.
    [[nodiscard]] CBlockGrid* GetFloor(std::size_t uiIndex) const;
    [[nodiscard]] CBlockGrid* GetCurrentGrid() const;

private:
    template <typename Call> void ForEachFloor(Call&& kCall);

    const void* m_pkOwner = nullptr; // link
};
