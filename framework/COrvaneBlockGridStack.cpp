#include "framework/COrvaneBlockGridStack.h"

#include "framework/COrvaneBlockGrid.h"

COrvaneBlockGridStack::COrvaneBlockGridStack() = default;

COrvaneBlockGridStack::~COrvaneBlockGridStack()
{
    ReleaseFloors();
}

bool COrvaneBlockGridStack::Build(std::unique_ptr<COrvaneBlockGrid> pkGrid, std::int32_t iFloorNumber)
{
    // Floor 0 would be element -1.
    if (iFloorNumber < 1)
        return false;
    std::size_t uiSlot = static_cast<std::size_t>(iFloorNumber) - 1;
    if (m_kFloors.size() <= uiSlot)
        m_kFloors.resize(uiSlot + 1);
    SelectFirstFloor();
    m_kFloors[uiSlot] = std::move(pkGrid);
    UpdateFloorDisplay();
    return true;
}

COrvaneBlockGrid* COrvaneBlockGridStack::NextFloor()
{
    for (std::size_t i = m_uiCurrent + 1; i < m_kFloors.size(); ++i)
    {
        if (m_kFloors[i])
        {
            m_uiCurrent = i;
            UpdateFloorDisplay();
            return m_kFloors[i].get();
        }
    }
    return nullptr;
}

COrvaneBlockGrid* COrvaneBlockGridStack::PreviousFloor()
{
    for (std::size_t i = m_uiCurrent; i-- > 0;)
    {
        if (m_kFloors[i])
        {
            m_uiCurrent = i;
            UpdateFloorDisplay();
            return m_kFloors[i].get();
        }
    }
    return nullptr;
}

COrvaneBlockGrid* COrvaneBlockGridStack::FindFloor(std::int32_t iId) const
{
    for (const std::unique_ptr<COrvaneBlockGrid>& pkFloor : m_kFloors)
        if (pkFloor && pkFloor->GetId() == iId)
            return pkFloor.get();
    return nullptr;
}

void COrvaneBlockGridStack::SelectFirstFloor()
{
    m_uiCurrent = 0;
}

void COrvaneBlockGridStack::UpdateFloorDisplay()
{
    // Moves the display over the current floor once the display exists.
}

void COrvaneBlockGridStack::ReleaseFloors()
{
    m_kFloors.clear();
    m_uiCurrent = 0;
    m_pkFloorDisplay = nullptr;
}

COrvaneBlockGrid* COrvaneBlockGridStack::GetCurrentFloor() const
{
    return m_uiCurrent < m_kFloors.size() ? m_kFloors[m_uiCurrent].get() : nullptr;
}
