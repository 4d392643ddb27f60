#include "game/simulation/objects/CBlockGridManager.h"

#include "game/simulation/objects/CBlockGrid.h"
#include "game/simulation/objects/CBlockGridStack.h"
#include "game/simulation/objects/CGameHost.h"
#include "game/simulation/objects/CWorld.h"

#include <algorithm>
#include <functional>
#include <limits>

namespace
{
std::unique_ptr<CBlockGridManager> g_pkInstance;

// Bounds on what a description may ask for: a level or building text
// names these, and nothing larger is ever laid out.
constexpr std::int32_t MAX_CELLS_PER_SIDE = 512;
constexpr std::int32_t MAX_FLOOR_INDEX = 255;

constexpr float NOWHERE = std::numeric_limits<float>::max();

const CWorld* LevelWorld()
{
    const CGameHost* pkHost = CGameHost::Get();
    return pkHost ? pkHost->GetWorld() : nullptr;
}
} // namespace

CBlockGridManager* CBlockGridManager::GetInstance()
{
    if (!g_pkInstance)
        g_pkInstance = std::make_unique<CBlockGridManager>();
    return g_pkInstance.get();
}

void CBlockGridManager::DestroyInstance()
{
    g_pkInstance.reset();
}

CBlockGridManager* CBlockGridManager::GetExisting()
{
    return g_pkInstance.get();
}

CBlockGridManager::CBlockGridManager()
{
    ResetPick();
}

CBlockGridManager::~CBlockGridManager()
{
    Clear();
}

void CBlockGridManager::Clear()
{
    // Later stacks may hold connectors into earlier ones: newest first.
    m_pkBuilding.reset();
    while (!m_kStacks.empty())
        m_kStacks.pop_back();
    ResetPick();
}

void CBlockGridManager::ResetPick()
{
    m_pkPickGrid = nullptr;
    m_pkPickStack = nullptr;
    m_iPickCell = -1;
    m_kPickPoint = NiVec3(NOWHERE, NOWHERE, NOWHERE);
}

CBlockGrid* CBlockGridManager::FindGrid(std::int32_t iNumber) const
{
    for (const std::unique_ptr<CBlockGridStack>& pkStack : m_kStacks)
        if (auto* pkGrid = dynamic_cast<CBlockGrid*>(pkStack->FindFloor(iNumber)))
            return pkGrid;
    return nullptr;
}

std::int32_t CBlockGridManager::HighestGridNumber() const
{
    std::int32_t iHighest = 0;
    auto Scan = [&iHighest](const CBlockGridStack& kStack)
    {
        for (std::size_t i = 0; i < kStack.GetFloorSlots(); ++i)
            if (const CBlockGrid* pkFloor = kStack.GetFloor(i))
                iHighest = std::max(iHighest, pkFloor->GetId());
    };
    for (const std::unique_ptr<CBlockGridStack>& pkStack : m_kStacks)
        Scan(*pkStack);
    if (m_pkBuilding)
        Scan(*m_pkBuilding);
    return iHighest;
}

CBlockGrid* CBlockGridManager::CreateGrid(const CGridDesc& kDesc)
{
    const std::int32_t iNumber = kDesc.m_aiNumbers[0];
    const std::int32_t iRows = kDesc.m_aiNumbers[1];
    const std::int32_t iColumns = kDesc.m_aiNumbers[2];
    const std::int32_t iFloorIndex = kDesc.m_aiNumbers[3];
    const std::int32_t iCellSize = kDesc.m_aiNumbers[4];
    if (iRows < 1 || iColumns < 1 || iRows > MAX_CELLS_PER_SIDE || iColumns > MAX_CELLS_PER_SIDE ||
        iCellSize < 1 || iFloorIndex < 0 || iFloorIndex > MAX_FLOOR_INDEX)
        return nullptr;

    CBlockGridStack* pkStack = nullptr;
    std::int64_t iGridNumber = iNumber;
    if (kDesc.m_ucOwnStack)
    {
        m_kStacks.push_back(std::make_unique<CBlockGridStack>());
        pkStack = m_kStacks.back().get();
    }
    else
    {
        if (!m_pkBuilding)
        {
            m_pkBuilding = std::make_unique<CBlockGridStack>();
            // Every building numbers its floors after the grids already in
            // use, so two buildings never share a number.
            m_iBuildingBase = HighestGridNumber();
        }
        pkStack = m_pkBuilding.get();
        if (!pkStack->GetOwner())
            pkStack->SetOwner(kDesc.m_pkOwner);
        iGridNumber += kDesc.m_ucNumberedBase ? iFloorIndex : m_iBuildingBase;
    }
    iGridNumber = std::clamp<std::int64_t>(iGridNumber, std::numeric_limits<std::int32_t>::min(),
                                           std::numeric_limits<std::int32_t>::max());

    auto pkGrid = std::make_unique<CBlockGrid>();
    CBlockGrid* pkMade = pkGrid.get();
    pkMade->Setup(iRows, iColumns, kDesc.m_kOrigin, iCellSize, static_cast<std::int32_t>(iGridNumber), iFloorIndex,
                  pkStack, kDesc.m_kDoors, kDesc.m_fRotation);
    if (!pkStack->Build(std::move(pkGrid), iFloorIndex + 1))
        return nullptr;
    return pkMade;
}

CBlockGrid* CBlockGridManager::CommitStack()
{
    if (!m_pkBuilding)
        return nullptr;
    CBlockGrid* pkFirst = m_pkBuilding->GetFloor(0);
    m_kStacks.push_back(std::move(m_pkBuilding));
    m_iBuildingBase = 0;
    return pkFirst;
}

bool CBlockGridManager::RemoveStack(const CBlockGridStack* pkStack)
{
    for (auto it = m_kStacks.begin(); it != m_kStacks.end(); ++it)
    {
        if (it->get() != pkStack)
            continue;
        if (m_pkPickStack == pkStack)
            ResetPick();
        // Out of the list first: floors going tell others, who must not
        // find the stack any more.
        std::unique_ptr<CBlockGridStack> pkGone = std::move(*it);
        m_kStacks.erase(it);
        pkGone.reset();
        return true;
    }
    return false;
}

CBlockGrid* CBlockGridManager::GetStackFloor(std::size_t uiIndex) const
{
    return m_pkBuilding ? m_pkBuilding->GetFloor(uiIndex) : nullptr;
}

const NiVec3& CBlockGridManager::PickCell(const NiVec3& kPoint)
{
    return PickCellWith([&kPoint](const CBlockGrid&) { return kPoint; });
}

const NiVec3& CBlockGridManager::PickCellOnRay(const NiVec3& kOrigin, const NiVec3& kDirection, const NiVec3& kPoint)
{
    return PickCellWith([&](const CBlockGrid& kGrid) {
        const NiVec3* pkOrigin = kGrid.GetOrigin();
        if (pkOrigin == nullptr || !(kDirection.y < 0.0f) || !(kOrigin.y > pkOrigin->y))
            return kPoint;
        const float fAlong = (pkOrigin->y - kOrigin.y) / kDirection.y;
        return NiVec3(kOrigin.x + fAlong * kDirection.x, pkOrigin->y, kOrigin.z + fAlong * kDirection.z);
    });
}

const NiVec3& CBlockGridManager::PickCellWith(const std::function<NiVec3(const CBlockGrid&)>& fnPointOn)
{
    m_iPickCell = -1;
    m_pkPickGrid = nullptr;
    m_pkPickStack = nullptr;
    const CGameHost* pkHost = CGameHost::Get();
    const void* pkBuilding = pkHost ? static_cast<const void*>(pkHost->GetSelectedBuilding()) : nullptr;
    if (pkBuilding)
    {
        for (const std::unique_ptr<CBlockGridStack>& pkStack : m_kStacks)
        {
            if (pkStack->GetOwner() != pkBuilding)
                continue;
            m_pkPickStack = pkStack.get();
            m_pkPickGrid = pkStack->GetCurrentGrid();
            m_iPickCell = m_pkPickGrid ? m_pkPickGrid->CellAt(fnPointOn(*m_pkPickGrid)) : -1;
            break;
        }
    }
    else
    {
        const CWorld* pkWorld = LevelWorld();
        const std::int64_t iOpen = static_cast<std::int64_t>(pkWorld ? pkWorld->GetUpgradeLevel() : 0) + 1;
        for (std::size_t i = 0; i < m_kStacks.size() && static_cast<std::int64_t>(i) < iOpen; ++i)
        {
            CBlockGrid* pkFloor = m_kStacks[i]->GetCurrentGrid();
            const std::int32_t iCell = pkFloor ? pkFloor->CellAt(fnPointOn(*pkFloor)) : -1;
            if (iCell < 0)
                continue;
            m_pkPickStack = m_kStacks[i].get();
            m_pkPickGrid = pkFloor;
            m_iPickCell = iCell;
            break;
        }
    }
    NiVec3 kCentre;
    if (m_iPickCell < 0 || !m_pkPickGrid || !m_pkPickGrid->CellPosition(m_iPickCell, kCentre, true))
    {
        ResetPick();
        return m_kPickPoint;
    }
    m_kPickPoint = NiVec3(kCentre.x, m_pkPickGrid->GetOrigin()->y, kCentre.z);
    return m_kPickPoint;
}

void CBlockGridManager::UpdatePick(const NiVec3* pkMousePoint, const NiVec3* pkRayOrigin, const NiVec3* pkRayDirection)
{
    if (!pkMousePoint)
        return;
    if (pkRayOrigin && pkRayDirection)
        (void)PickCellOnRay(*pkRayOrigin, *pkRayDirection, *pkMousePoint);
    else
        (void)PickCell(*pkMousePoint);
}
