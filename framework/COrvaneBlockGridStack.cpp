#include "framework/COrvaneBlockGridStack.h"

#include "framework/COrvaneBlockGrid.h"
#include "framework/COrvaneLevelManager.h"
#include "framework/COrvaneSceneLink.h"
#include "framework/COrvaneSceneNode.h"
#include "framework/COrvaneWorld.h"

namespace
{
// The centre of a grid's cells: its origin names the centre of the first cell.
NiVec3 GridCentre(const COrvaneBlockGrid& kGrid)
{
    const NiVec3& kOrigin = *kGrid.GetOrigin();
    const float fHalfCell = static_cast<float>(kGrid.GetCellSize()) / 2.0f;
    return NiVec3(kOrigin.x + kGrid.GetExtentX() / 2.0f - fHalfCell, kOrigin.y,
                  kOrigin.z - kGrid.GetExtentZ() / 2.0f + fHalfCell);
}
} // namespace

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
    const COrvaneBlockGrid* pkStored = m_kFloors[uiSlot].get();
    if (m_pkFloorDisplay == nullptr && pkStored != nullptr)
    {
        m_pkFloorDisplay = CreateFlatQuad(pkStored->GetExtentX(), pkStored->GetExtentZ());
        if (COrvaneWorld* pkWorld = GetGameWorld())
            (void)AttachSceneNodeToWorld(*m_pkFloorDisplay, *pkWorld, false);
        m_pkFloorDisplay->ApplyChanges();
        m_pkFloorDisplay->SetVisible(true);
        m_pkFloorDisplay->SetPosition(GridCentre(*pkStored), false);
        m_pkFloorDisplay->ApplyChanges();
    }
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
    const COrvaneBlockGrid* pkFloor = GetCurrentFloor();
    if (m_pkFloorDisplay == nullptr || pkFloor == nullptr)
        return;
    m_pkFloorDisplay->SetPosition(GridCentre(*pkFloor), false);
    m_pkFloorDisplay->ApplyChanges();
}

void COrvaneBlockGridStack::ReleaseFloors()
{
    m_kFloors.clear();
    m_uiCurrent = 0;
    if (m_pkFloorDisplay != nullptr)
        m_pkFloorDisplay->Release();
    m_pkFloorDisplay.reset();
}

COrvaneBlockGrid* COrvaneBlockGridStack::GetCurrentFloor() const
{
    return m_uiCurrent < m_kFloors.size() ? m_kFloors[m_uiCurrent].get() : nullptr;
}
