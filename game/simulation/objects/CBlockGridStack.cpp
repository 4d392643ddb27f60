#include "game/simulation/objects/CBlockGridStack.h"

#include "framework/COrvaneCastMemo.h"
#include "game/simulation/objects/CBlockGrid.h"

CBlockGridStack::CBlockGridStack() = default;

CBlockGridStack::~CBlockGridStack()
{
    ForEachFloor([](CBlockGrid& kFloor) { kFloor.DestroyMembers(); });
}

template <typename Call> void CBlockGridStack::ForEachFloor(Call&& kCall)
{
    for (std::size_t i = 0; i < m_kFloors.size(); ++i)
        if (CBlockGrid* pkFloor = GetFloor(i))
            kCall(*pkFloor);
}

bool CBlockGridStack::Build(std::unique_ptr<COrvaneBlockGrid> pkGrid, std::int32_t iFloorNumber)
{
    if (!COrvaneBlockGridStack::Build(std::move(pkGrid), iFloorNumber))
        return false;
    for (std::size_t i = m_kFloors.size(); i-- > 0;)
    {
        if (m_kFloors[i])
        {
            m_uiCurrent = i;
            break;
        }
    }
    UpdateFloorDisplay();
    return true;
}

COrvaneBlockGrid* CBlockGridStack::NextFloor()
{
    COrvaneBlockGrid* pkEntered = COrvaneBlockGridStack::NextFloor();
    if (CBlockGrid* pkCurrent = GetCurrentGrid())
        pkCurrent->ShowMembers();
    return pkEntered;
}

COrvaneBlockGrid* CBlockGridStack::PreviousFloor()
{
    if (CBlockGrid* pkCurrent = GetCurrentGrid())
        pkCurrent->HideMembers();
    return COrvaneBlockGridStack::PreviousFloor();
}

void CBlockGridStack::ShowAllFloors()
{
    ForEachFloor([](CBlockGrid& kFloor) { kFloor.ShowMembers(); });
}

void CBlockGridStack::HideAllFloors()
{
    ForEachFloor([](CBlockGrid& kFloor) { kFloor.HideMembers(); });
}

CBlockGrid* CBlockGridStack::GetFloor(std::size_t uiIndex) const
{
    static thread_local COrvaneCastMemo<CBlockGrid> s_kCast;
    return uiIndex < m_kFloors.size() ? s_kCast.Cast(m_kFloors[uiIndex].get()) : nullptr;
}

CBlockGrid* CBlockGridStack::GetCurrentGrid() const
{
    return dynamic_cast<CBlockGrid*>(GetCurrentFloor());
}
